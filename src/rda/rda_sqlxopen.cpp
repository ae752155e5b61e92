// SQL descriptors, values and exceptions of the X/Open family.
#include <cstring>
#include <limits>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "common/timer2.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdaxsql";
constexpr auto kNoResource = static_cast<int32_t>(RDA_ERR_NO_RESOURCE);

// ---------------------------------------------------------------------------
// Descriptors.

// A descriptor of type `code`; `builder` names the failure trace (NULL: none).
RDAXOPENSQLDataDescr* typed(XmTree* tree, uint32_t nullable, const char* name, const char* builder, uint32_t code) {
  RDAXOPENSQLDataDescr* d = createXOPENDescr(tree, nullable, name);
  if (d == nullptr) {
    if (builder != nullptr) TM_TRACE(rda_comTMHandle, 8, kSrc, "*** %s: can't create RDAXOPENSQLDataDescr", builder);
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  d->type.code = code;
  return d;
}

RDAXOPENSQLDataDescr* twoInts(XmTree* tree, uint32_t nullable, const char* name, const char* builder, uint32_t code,
                              int32_t first, int32_t second) {
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, builder, code);
  if (d != nullptr) {
    d->type.number.first = first;
    d->type.number.second = second;
  }
  return d;
}

// Copies the character set into `mask`/`dst` when one is given; false (the
// descriptor freed, no resource) when it cannot be had.
bool charSetOf(XmTree* tree, RDAXOPENSQLDataDescr* d, const ObjIdV* charSet, uint32_t* mask, ObjIdV* dst,
               const char* builder) {
  if (charSet == nullptr) return true;
  *mask |= 1u << 0;
  if (ul_objidvcpy(dst, charSet, tree) != 0) return true;
  TM_TRACE(rda_comTMHandle, 8, kSrc, "*** %s: can't copy charSet", builder);
  _xm_freeItem(d);
  QvSetOsiError(kNoResource);
  return false;
}

RDAXOPENSQLDataDescr* charType(XmTree* tree, uint32_t nullable, const char* name, const char* builder, uint32_t code,
                               const ObjIdV* charSet, int32_t length, uint32_t flag) {
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, builder, code);
  if (d == nullptr) return nullptr;
  RDACharType& c = d->type.character;
  if (!charSetOf(tree, d, charSet, &c.mask, &c.charSet, builder)) return nullptr;
  c.length = length;
  c.flag = flag;
  return d;
}

RDAXOPENSQLDataDescr* varCharType(XmTree* tree, uint32_t nullable, const char* name, const char* builder, uint32_t code,
                                  const ObjIdV* charSet, int32_t maxLength) {
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, builder, code);
  if (d == nullptr) return nullptr;
  RDAVarCharType& v = d->type.varChar;
  if (!charSetOf(tree, d, charSet, &v.mask, &v.charSet, builder)) return nullptr;
  v.maxLength = maxLength;
  return d;
}

// ---------------------------------------------------------------------------
// Values: the list node, the value and the octets behind it in one piece.

struct ValPiece {
  RDAValNode node;
  RDAXOPENSQLVal val;
};

ValPiece* newPiece(XmTree* tree, uint64_t behind) {
  const uint64_t size = sizeof(ValPiece) + behind;
  if (size > std::numeric_limits<uint32_t>::max()) return nullptr;
  auto* p = static_cast<ValPiece*>(xm_allocItemFromPage(tree, static_cast<uint32_t>(size), XM_ZERO));
  if (p != nullptr) std::memset(static_cast<void*>(p), 0, sizeof(ValPiece));  // a page need not be clean
  return p;
}

uint8_t* behindOf(ValPiece* p) { return reinterpret_cast<uint8_t*>(p + 1); }

void append(RDAList* list, ValPiece* p) {
  p->node.val = &p->val;
  rda_ringAppend(list, &p->node.links);
}

bool knownValueType(uint32_t t) {
  switch (t) {
    case RDA_SQLVAL_CHAR:
    case RDA_SQLVAL_NUMERIC:
    case RDA_SQLVAL_DECIMAL:
    case RDA_SQLVAL_INTEGER:
    case RDA_SQLVAL_SMALLINT:
    case RDA_SQLVAL_FLOAT:
    case RDA_SQLVAL_REAL:
    case RDA_SQLVAL_DOUBLE:
    case RDA_SQLVAL_DATETIME:
    case RDA_SQLVAL_VARCHAR:
    case RDA_SQLVAL_BITVARYING:
    case RDA_SQLVAL_WCHAR:
    case RDA_SQLVAL_WVARCHAR:
      return true;
    default:
      return false;
  }
}

int32_t noResource() {
  QvSetOsiError(kNoResource);
  return 0;
}

// An octet-string value with a copy of `n` octets behind the record.
int32_t addOctets(XmTree* tree, RDAList* list, uint32_t code, const uint8_t* octets, uint32_t n, int32_t indicator) {
  if (n > 0 && octets == nullptr) return noResource();
  ValPiece* p = newPiece(tree, n);
  if (p == nullptr) return noResource();
  uint8_t* copy = behindOf(p);
  if (n > 0) std::memcpy(copy, octets, n);
  p->val.value.octets = OctStgV{n, copy};
  p->val.mask = 1u << 0;
  p->val.value.code = code;
  p->val.indicator = indicator;
  append(list, p);
  return 1;
}

// A value from `count` wide characters, in UTF-8 behind the record.
int32_t addWide(XmTree* tree, RDAList* list, uint32_t code, const OctStgV* item, int32_t indicator) {
  if (item == nullptr || item->length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return noResource();
  const auto* chars = reinterpret_cast<const wchar_t*>(item->octets);
  const auto count = static_cast<int32_t>(item->length);
  int32_t n = 0;
  if (count > 0) {
    if (chars == nullptr) return noResource();
    n = wcstoutf8(chars, count, nullptr, 0);
    if (n <= 0) return noResource();
  }
  ValPiece* p = newPiece(tree, static_cast<uint64_t>(n));
  if (p == nullptr) return noResource();
  char* utf8 = reinterpret_cast<char*>(behindOf(p));
  if (n > 0 && wcstoutf8(chars, count, utf8, n) != n) return noResource();  // the piece stays with the tree
  p->val.value.octets = OctStgV{static_cast<uint32_t>(n), behindOf(p)};
  p->val.mask = 1u << 0;
  p->val.value.code = code;
  p->val.indicator = indicator;
  append(list, p);
  return 1;
}

}  // namespace

RDAXOPENSQLDataDescr* createXOPENDescr(XmTree* tree, uint32_t nullable, const char* name) {
  auto* d = static_cast<RDAXOPENSQLDataDescr*>(_xm_allocItem(tree, sizeof(RDAXOPENSQLDataDescr), XM_ZERO));
  if (d == nullptr) {
    TM_TRACE(rda_comTMHandle, 1, kSrc, "*** createXOPENDescr: can't get mem to create RDAXOPENSQLDataDescr");
    return nullptr;
  }
  if (nullable == 0) {
    d->mask |= 1u << 0;
    d->nullable = 0;
  }
  if (name != nullptr) {
    d->mask |= 1u << 1;
    d->colName = ul_charscpy(name, tree);
    if (d->colName == nullptr) {
      _xm_freeItem(d);
      QvSetOsiError(kNoResource);
      return nullptr;
    }
  }
  return d;
}

RDAXOPENSQLDataDescr* rda_createXOPENCharType(XmTree* tree, uint32_t nullable, const char* name, const ObjIdV* charSet,
                                              int32_t length, uint32_t flag) {
  return charType(tree, nullable, name, "rda_createXOPENCharType", RDA_SQLTYPE_CHAR, charSet, length, flag);
}

RDAXOPENSQLDataDescr* rda_createXOPENDateTimeType(XmTree* tree, uint32_t nullable, const char* name, int32_t kind,
                                                  const int32_t* precision) {
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, "rda_createXOPENDateTimeType", RDA_SQLTYPE_DATETIME);
  if (d == nullptr) return nullptr;
  d->type.dateTime.kind = kind;
  if (precision != nullptr) {
    d->type.dateTime.mask |= 1u << 1;
    d->type.dateTime.precision = *precision;
  }
  return d;
}

RDAXOPENSQLDataDescr* rda_createXOPENNumericType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENNumericType", RDA_SQLTYPE_NUMERIC, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENDecimalType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENDecimalType", RDA_SQLTYPE_DECIMAL, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENIntegerType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                 int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENIntegerType", RDA_SQLTYPE_INTEGER, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENSmallIntType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                                  int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENSmallIntType", RDA_SQLTYPE_SMALLINT, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENFloatType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                               int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENFloatType", RDA_SQLTYPE_FLOAT, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENRealType(XmTree* tree, uint32_t nullable, const char* name, int32_t first,
                                              int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENRealType", RDA_SQLTYPE_REAL, first, second);
}
RDAXOPENSQLDataDescr* rda_createXOPENDoublePrecisionType(XmTree* tree, uint32_t nullable, const char* name,
                                                         int32_t first, int32_t second) {
  return twoInts(tree, nullable, name, "rda_createXOPENDoublePrecisionType", RDA_SQLTYPE_DOUBLE, first, second);
}

RDAXOPENSQLDataDescr* rda_createXOPENVarCharType(XmTree* tree, uint32_t nullable, const char* name,
                                                 const ObjIdV* charSet, int32_t maxLength) {
  return varCharType(tree, nullable, name, "rda_createXOPENVarCharType", RDA_SQLTYPE_VARCHAR, charSet, maxLength);
}

RDAXOPENSQLDataDescr* rda_createXOPENBitVaryingType(XmTree* tree, uint32_t nullable, const char* name, int32_t length) {
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, "rda_createXOPENBitVaryingType", RDA_SQLTYPE_BITVARYING);
  if (d != nullptr) d->type.length = length;
  return d;
}

RDAXOPENSQLDataDescr* rda_createXOPENVariantType(XmTree* tree, uint32_t nullable, const char* name, int32_t length) {
  // The variant type's one INTEGER is the word the encoder writes for it.
  RDAXOPENSQLDataDescr* d = typed(tree, nullable, name, nullptr, RDA_SQLTYPE_VARIANT);
  if (d != nullptr) d->type.length = length;
  return d;
}

RDAXOPENSQLDataDescr* rda_createXOPENWCharType(XmTree* tree, uint32_t nullable, const char* name, const ObjIdV* charSet,
                                               int32_t length, uint32_t flag) {
  if (gCharacterMode == 1) return rda_createXOPENCharType(tree, nullable, name, charSet, length, flag);
  return charType(tree, nullable, name, "rda_createXOPENWCharType", RDA_SQLTYPE_WCHAR, charSet, length, flag);
}

RDAXOPENSQLDataDescr* rda_createXOPENWVarCharType(XmTree* tree, uint32_t nullable, const char* name,
                                                  const ObjIdV* charSet, int32_t maxLength) {
  if (gCharacterMode == 1) return rda_createXOPENVarCharType(tree, nullable, name, charSet, maxLength);
  return varCharType(tree, nullable, name, "rda_createXOPENWVarCharType", RDA_SQLTYPE_WVARCHAR, charSet, maxLength);
}

// ---------------------------------------------------------------------------

int32_t rda_addXOPENSQLVal(XmTree* tree, RDAList* list, uint32_t valueType, const OctStgV* strItem, int32_t intVal,
                           int64_t longVal, const OctStgV* numericItem, const BitStgV* bitItem, int32_t indicator,
                           double realVal) {
  if (indicator < 0) {
    ValPiece* p = newPiece(tree, 0);
    if (p == nullptr) return noResource();
    p->val.mask = 1u << 1;
    p->val.indicator = indicator;
    append(list, p);
    return 1;
  }
  if (!knownValueType(valueType)) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_addXOPENSQLVal: Invalid valueType=%d", static_cast<int>(valueType));
    return 0;
  }
  switch (valueType) {
    case RDA_SQLVAL_CHAR:
    case RDA_SQLVAL_VARCHAR:
      if (strItem == nullptr) return noResource();
      return addOctets(tree, list, valueType, strItem->octets, strItem->length, indicator);
    case RDA_SQLVAL_WCHAR:
      return addWide(tree, list, gCharacterMode == 1 ? RDA_SQLVAL_CHAR : valueType, strItem, indicator);
    case RDA_SQLVAL_WVARCHAR:
      return addWide(tree, list, gCharacterMode == 1 ? RDA_SQLVAL_VARCHAR : valueType, strItem, indicator);
    default:
      break;
  }

  const uint8_t* bits = nullptr;
  uint32_t bitCount = 0;
  if (valueType == RDA_SQLVAL_NUMERIC || valueType == RDA_SQLVAL_DECIMAL) {
    const uint32_t n = numericItem != nullptr ? numericItem->length : 0;
    if (numericItem == nullptr || n > RDA_XOPEN_NUMERIC_BUILD_MAX || (n > 0 && numericItem->octets == nullptr)) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_addXOPENSQLVal: can't copy numericItem, length <%i>",
               static_cast<int>(n));
      return noResource();
    }
  } else if (valueType == RDA_SQLVAL_DATETIME) {
    const uint32_t n = strItem != nullptr ? strItem->length : 0;
    if (strItem == nullptr || n > RDA_DATETIME_MAX || strItem->octets == nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_addXOPENSQLVal: can't copy dateTimeItem, length <%i>",
               static_cast<int>(n));
      return noResource();
    }
  } else if (valueType == RDA_SQLVAL_BITVARYING) {
    if (bitItem == nullptr || (bitItem->count > 0 && bitItem->octets == nullptr)) return noResource();
    bits = bitItem->octets;
    bitCount = bitItem->count;
  }

  ValPiece* p = newPiece(tree, bitCount);
  if (p == nullptr) return noResource();
  RDAXOPENSQLValue& v = p->val.value;
  switch (valueType) {
    case RDA_SQLVAL_NUMERIC:
    case RDA_SQLVAL_DECIMAL:
      v.numeric.length = numericItem->length;
      if (numericItem->length > 0) std::memcpy(v.numeric.octets, numericItem->octets, numericItem->length);
      break;
    case RDA_SQLVAL_INTEGER:
      v.integer = static_cast<int32_t>(static_cast<uint32_t>(longVal));
      break;
    case RDA_SQLVAL_SMALLINT:
      v.integer = intVal;
      break;
    case RDA_SQLVAL_FLOAT:
    case RDA_SQLVAL_REAL:
    case RDA_SQLVAL_DOUBLE:
      v.real = realVal;
      break;
    case RDA_SQLVAL_DATETIME:
      // The count's octets, then the terminator (the text need not have one).
      std::memcpy(v.dateTime, strItem->octets, strItem->length);
      v.dateTime[strItem->length] = '\0';
      break;
    case RDA_SQLVAL_BITVARYING:
      if (bitCount > 0) std::memcpy(behindOf(p), bits, bitCount);
      v.bitString = BitStgV{bitItem->unused, bitCount, behindOf(p)};
      break;
    default:
      break;
  }
  p->val.mask = 1u << 0;
  v.code = valueType;
  p->val.indicator = indicator;
  append(list, p);
  return 1;
}

// ---------------------------------------------------------------------------

RDAXOPENSQLDBLExcp* rda_createXOPENDBLExcp(XmTree* tree, const int32_t* value) {
  auto* e = static_cast<RDAXOPENSQLDBLExcp*>(_xm_allocItem(tree, sizeof(RDAXOPENSQLDBLExcp), XM_ZERO));
  if (e == nullptr) {
    TM_TRACE(rda_comTMHandle, 8, kSrc, "*** rda_createXOPENDBLExcp: can't get mem to create RDAXOPENSQLDBLExcp");
    QvSetOsiError(kNoResource);
    return nullptr;
  }
  rda_ringInit(&e->diag.exceptions);
  if (value != nullptr) {
    e->diag.mask |= 1u << 0;
    e->diag.number = *value;
  }
  return e;
}

int32_t rda_addXOPENDBLExcp(XmTree* tree, RDAXOPENSQLDBLExcp* exception, const wchar_t* state,
                            const wchar_t* classOrigin, const wchar_t* subclassOrigin, const wchar_t* text) {
  if (exception == nullptr) return noResource();
  auto* node = static_cast<RDAExcpNode*>(_xm_allocItem(tree, sizeof(RDAExcpNode), XM_ZERO));
  if (node == nullptr) return noResource();
  struct Text {
    const wchar_t* src;
    char** dst;
    const char* what;
  };
  RDAXOPENExcpInfo& info = node->info;
  const Text texts[] = {
      {state, &info.returnedSQLState, "returnedSQLState"},
      {classOrigin, &info.classOrigin, "classOrigin"},
      {subclassOrigin, &info.subclassOrigin, "subclassOrigin"},
      {text, &info.messageText, "messageText"},
  };
  for (const Text& t : texts) {
    if (t.src == nullptr && t.dst == &info.messageText) break;  // the message text is optional
    *t.dst = t.src != nullptr ? ul_dupWcharToUtf8(tree, t.src, QV_NTS) : nullptr;
    if (*t.dst == nullptr) {
      TM_TRACE(rda_comTMHandle, 1, kSrc, "*** rda_addXOPENDBLExcp: can't copy %s %ls", t.what,
               t.src != nullptr ? t.src : L"(null)");
      for (const Text& u : texts) {
        if (*u.dst != nullptr) _xm_freeItem(*u.dst);
      }
      _xm_freeItem(node);
      return noResource();
    }
  }
  if (text != nullptr) info.mask |= 1u << 3;
  rda_ringAppend(&exception->diag.exceptions, &node->links);
  exception->mask |= 1u << 3;
  return 1;
}

int32_t ul_bitsDup(XmTree* tree, BitStgV* dst, const BitStgV* src) {
  if (dst == nullptr || src == nullptr || (src->count > 0 && src->octets == nullptr)) return 0;
  auto* octets = static_cast<uint8_t*>(_xm_allocItem(tree, src->count, 0));
  if (octets == nullptr) return 0;
  if (src->count > 0) std::memcpy(octets, src->octets, src->count);
  dst->unused = src->unused;
  dst->count = src->count;
  dst->octets = octets;
  return 1;
}
