// SQL descriptors, values and exceptions of the ISO family, and the list
// copies and value-list constructors of the DBL builders.
#include <cstring>
#include <limits>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "common/timer2.h"
#include "src/acse/al_trace.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasql";
constexpr auto kNoResource = static_cast<int32_t>(RDA_ERR_NO_RESOURCE);

RDASQLDataDescr* typed(XmTree* tree, uint32_t nullable, const char* colName, const char* builder, uint32_t code) {
  RDASQLDataDescr* d = createSQLDescr(tree, nullable, colName);
  if (d == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** %s: can't create RDASQLDataDescr", builder);
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  d->type.code = code;
  return d;
}

RDASQLDataDescr* twoInts(XmTree* tree, uint32_t nullable, const char* colName, const char* builder, uint32_t code,
                         int32_t first, int32_t second) {
  RDASQLDataDescr* d = typed(tree, nullable, colName, builder, code);
  if (d != nullptr) {
    d->type.number.first = first;
    d->type.number.second = second;
  }
  return d;
}

}  // namespace

RDASQLDataDescr* createSQLDescr(XmTree* tree, uint32_t nullable, const char* colName) {
  auto* d = static_cast<RDASQLDataDescr*>(_xm_allocItem(tree, sizeof(RDASQLDataDescr), XM_ZERO));
  if (d == nullptr) {
    TM_TRACE(rda_comTMHandle, 1, kSrc, "*** createSQLDescr: can't get mem to create RDASQLDataDescr");
    return nullptr;
  }
  if (nullable == 0) {
    d->mask |= 1u << 0;
    d->nullable = 0;
  }
  if (colName != nullptr) {
    d->mask |= 1u << 1;
    d->colName = ul_charscpy(colName, tree);
    if (d->colName == nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** createSQLDescr: can't copy colName %s", colName);
      _xm_freeItem(d);
      QvSetOsiError(kNoResource);
      return nullptr;
    }
  }
  return d;
}

RDASQLDataDescr* rda_createSQLCharType(XmTree* tree, uint32_t nullable, const char* colName, const ObjIdV* charSet,
                                       int32_t length, uint32_t flag) {
  RDASQLDataDescr* d = typed(tree, nullable, colName, "rda_createSQLCharType", RDA_SQLTYPE_CHAR);
  if (d == nullptr) return nullptr;
  if (charSet != nullptr) {
    d->type.character.mask |= 1u << 0;
    if (ul_objidvcpy(&d->type.character.charSet, charSet, tree) == 0) {
      TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createSQLCharType: can't copy charSet");
      _xm_freeItem(d);
      QvSetOsiError(kNoResource);
      return nullptr;
    }
  }
  d->type.character.length = length;
  d->type.character.flag = flag;
  return d;
}

RDASQLDataDescr* rda_createSQLNumericType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLNumericType", RDA_SQLTYPE_NUMERIC, first, second);
}
RDASQLDataDescr* rda_createSQLDecimalType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLDecimalType", RDA_SQLTYPE_DECIMAL, first, second);
}
RDASQLDataDescr* rda_createSQLIntegerType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                          int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLIntegerType", RDA_SQLTYPE_INTEGER, first, second);
}
RDASQLDataDescr* rda_createSQLSmallIntType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                           int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLSmallIntType", RDA_SQLTYPE_SMALLINT, first, second);
}
RDASQLDataDescr* rda_createSQLFloatType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                        int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLFloatType", RDA_SQLTYPE_FLOAT, first, second);
}
RDASQLDataDescr* rda_createSQLRealType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                       int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLRealType", RDA_SQLTYPE_REAL, first, second);
}
RDASQLDataDescr* rda_createSQLDoublePrecisionType(XmTree* tree, uint32_t nullable, const char* colName, int32_t first,
                                                  int32_t second) {
  return twoInts(tree, nullable, colName, "rda_createSQLDoublePrecisionType", RDA_SQLTYPE_DOUBLE, first, second);
}

// ---------------------------------------------------------------------------

int32_t ul_numericORdecimalcpy(RDAInlineOcts<RDA_NUMERIC_MAX>* dst, const OctStgV* src) {
  if (dst == nullptr || src == nullptr || src->length > RDA_NUMERIC_MAX) return 0;
  if (src->length > 0 && src->octets == nullptr) return 0;
  if (src->length > 0) std::memcpy(dst->octets, src->octets, src->length);
  dst->length = src->length;
  return 1;
}

int32_t ul_octstgcpy(OctStg* dst, const OctStg* src) {
  if (dst == nullptr || src == nullptr || src->length > 1) return 0;
  if (src->length > 0) dst->octets[0] = src->octets[0];
  dst->length = src->length;
  return 1;
}

int32_t rda_addSQLVal(XmTree* tree, RDAList* list, uint32_t valueType, const OctStgV* charItem, int32_t intVal,
                      int64_t longVal, const OctStgV* numericItem, int32_t indicator, double realVal) {
  auto* node = static_cast<RDAValNode*>(_xm_allocItem(tree, sizeof(RDAValNode), XM_ZERO));
  if (node == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createSQLVal: can't get mem to create RDAListOfSQLVal_Element");
    QvSetOsiError(kNoResource);
    return 0;
  }
  auto* v = static_cast<RDASQLVal*>(_xm_allocItem(tree, sizeof(RDASQLVal), XM_ZERO));
  if (v == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createSQLVal: can't get mem to create RDASQLVal");
    _xm_freeItem(node);
    QvSetOsiError(kNoResource);
    return 0;
  }
  v->indicator = indicator;
  if (indicator == -1) {
    v->mask = 1u << 1;
  } else {
    v->mask = 1u << 0;
    v->value.code = valueType;
    const char* failed = nullptr;
    switch (valueType) {
      case RDA_SQLVAL_CHAR:
        if (ul_octstgvcpy(&v->value.octets, charItem, tree) == 0) failed = "charItem";
        break;
      case RDA_SQLVAL_NUMERIC:
        if (ul_numericORdecimalcpy(&v->value.numeric, numericItem) == 0) failed = "numericItem";
        break;
      case RDA_SQLVAL_DECIMAL:
        if (ul_numericORdecimalcpy(&v->value.numeric, numericItem) == 0) failed = "decimalItem";
        break;
      case RDA_SQLVAL_INTEGER:
        v->value.integer = static_cast<int32_t>(static_cast<uint32_t>(longVal));
        break;
      case RDA_SQLVAL_SMALLINT:
        v->value.integer = intVal;
        break;
      case RDA_SQLVAL_FLOAT:
      case RDA_SQLVAL_REAL:
      case RDA_SQLVAL_DOUBLE:
        v->value.real = realVal;
        break;
      default:  // kept without a body; the encoder refuses it
        break;
    }
    if (failed != nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_createSQLVal: can't copy %s", failed);
      _xm_freeItem(v);
      _xm_freeItem(node);
      QvSetOsiError(kNoResource);
      return 0;
    }
  }
  node->val = v;
  rda_ringAppend(list, &node->links);
  return 1;
}

RDASQLDBLExcp* rda_createSQLDBLExcp(XmTree* tree, const wchar_t* sqlState, const int32_t* sqlCode,
                                    const wchar_t* errText) {
  auto* e = static_cast<RDASQLDBLExcp*>(_xm_allocItem(tree, sizeof(RDASQLDBLExcp), XM_ZERO));
  if (e == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createSQLDblExcp: can't get mem to create RDASQLDBLExcp");
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  if (sqlState != nullptr) {
    e->mask |= 1u << 0;
    e->sqlState = ul_dupWcharToUtf8(tree, sqlState, QV_NTS);
    if (e->sqlState == nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_createSQLDblExcp: can't copy sQLState %ls", sqlState);
      _xm_freeItem(e);
      QvSetOsiError(kNoResource);
      return nullptr;
    }
  }
  if (sqlCode != nullptr) {
    e->mask |= 1u << 1;
    e->code = *sqlCode == 8 ? 100 : *sqlCode;
  }
  if (errText != nullptr) {
    e->mask |= 1u << 2;
    e->errText = ul_dupWcharToUtf8(tree, errText, QV_NTS);
    if (e->errText == nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_createSQLDblExcp: can't copy sQLErrText %ls", errText);
      if (e->sqlState != nullptr) _xm_freeItem(e->sqlState);
      _xm_freeItem(e);
      QvSetOsiError(kNoResource);
      return nullptr;
    }
  }
  return e;
}

// ---------------------------------------------------------------------------
// List copies.

// The rows of both families are one layout.
static_assert(sizeof(RDAResultVals) == sizeof(RDAXOPENResultVals));
static_assert(offsetof(RDAResultVals, values) == offsetof(RDAXOPENResultVals, values));
static_assert(sizeof(RDAResultNode) == sizeof(RDAXOPENResultNode));
static_assert(offsetof(RDAResultNode, row) == offsetof(RDAXOPENResultNode, row));

int32_t RDA_copyListOfResultVals(uint32_t count, void* const* vals, XmTree* tree, RDAList* head) {
  rda_ringInit(head);
  if (count == 0) return 1;
  RDAResultNode* block = nullptr;
  if (vals != nullptr && count <= std::numeric_limits<uint32_t>::max() / sizeof(RDAResultNode))
    block = static_cast<RDAResultNode*>(_xm_allocItem(tree, count * static_cast<uint32_t>(sizeof(RDAResultNode)), 0));
  if (block == nullptr) {
    TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_createSQLExecRsp: can't create     RDAlistOfResultVals_Element");
    return 0;
  }
  for (uint32_t i = 0; i < count; ++i) {
    auto* src = static_cast<RDAResultVals*>(vals[i]);
    if (src == nullptr) {
      TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createSQLExecRsp: vals[%d] is NULL", static_cast<int>(i));
      return 0;
    }
    RDAResultNode* node = &block[i];
    node->row = *src;
    if ((src->mask & (1u << 1)) != 0)
      rda_ringAdopt(&node->row.values.values, src->values.values);
    else
      rda_ringInit(&node->row.values.values);
    rda_ringInit(&src->values.values);  // its entries are the copy's now
    rda_ringAppend(head, &node->links);
  }
  return 1;
}

int32_t RDA_copyListOfSDTD(uint32_t count, void* const* descrs, XmTree* tree, RDAList* head) {
  rda_ringInit(head);
  for (uint32_t i = 0; i < count; ++i) {
    auto* node = descrs != nullptr ? static_cast<RDADescrNode*>(_xm_allocItem(tree, sizeof(RDADescrNode), 0)) : nullptr;
    if (node == nullptr) {
      TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_copyListOfSDTD: can't create ListOFSDTD_Element");
      return 0;
    }
    node->descr = descrs[i];
    rda_ringAppend(head, &node->links);
  }
  return 1;
}

RDAList* RDA_dupListOfSDTD(XmTree* tree, const RDAList* list) {
  auto* out = static_cast<RDAList*>(_xm_allocItem(tree, sizeof(RDAList), 0));
  if (out == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_dupListOfSDTD: can't create ListOFSDTD.");
    return nullptr;
  }
  rda_ringInit(out);
  const UL_Link* p = list->links.next;
  for (uint32_t i = 0; i < list->count && p != nullptr && p != &list->links; ++i, p = p->next) {
    const auto* srcNode = reinterpret_cast<const RDADescrNode*>(p);
    auto* node = static_cast<RDADescrNode*>(_xm_allocItem(tree, sizeof(RDADescrNode), 0));
    if (node == nullptr) {
      TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_dupListOfSDTD: can't create ListOFSDTD_Element");
      return nullptr;
    }
    auto* d = static_cast<RDASQLDataDescr*>(_xm_allocItem(tree, sizeof(RDASQLDataDescr), 0));
    if (d == nullptr) {
      TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_dupListOfSDTD: can't create RDASQLDataTypeDescr");
      return nullptr;
    }
    *d = *static_cast<const RDASQLDataDescr*>(srcNode->descr);
    node->descr = d;
    rda_ringAppend(out, &node->links);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Value lists and result rows.

RDASQLValList* rda_createSQLValList(XmTree* tree) {
  auto* l = static_cast<RDASQLValList*>(xm_allocItemFromPage(tree, sizeof(RDASQLValList), XM_ZERO));
  if (l == nullptr) {
    TM_TRACE(al_comTMHandle, 1, kSrc, "*** rda_createSQLValList: can't create RDASQLValList\n");
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  l->code = 0x4001;
  rda_ringInit(&l->values);
  return l;
}

void* rda_createResultVal(XmTree* tree, void* exception, RDASQLValList* values) {
  auto* r = static_cast<RDAResultVals*>(xm_allocItemFromPage(tree, sizeof(RDAResultVals), XM_ZERO));
  if (r == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createResultVal: can't get mem to create RDAResultVal\n");
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  r->exception = static_cast<RDASQLDBLExcp*>(exception);
  rda_ringInit(&r->values.values);
  if (values != nullptr) {
    r->mask |= 1u << 1;
    r->values.code = values->code;
    rda_ringAdopt(&r->values.values, values->values);
    rda_ringInit(&values->values);
  }
  return r;
}
