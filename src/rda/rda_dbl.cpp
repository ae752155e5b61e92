// Builders of the data-resource and DBL GIDUs.
#include "common/charscpy.h"
#include "src/rda/rda_buildutil.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr uint32_t kSingleRowExec = 0x4004;    // R-ExecuteDBL arguments [4]
constexpr uint32_t kMultiRowExec = 0x4005;     // [5]
constexpr uint32_t kSingleRowInvoke = 0x4001;  // R-InvokeDBL arguments [1]
constexpr uint32_t kMultiRowInvoke = 0x4002;   // [2]
constexpr uint32_t kDropExcp = 0x4001;         // the one DropDBL exception

// The GIDU of a builder that takes over `valueTree`: the tree goes under the
// IDU's tree, or is freed when the GIDU cannot be made and `freeOnFailure`.
GIDU* withValues(const char* fn, const GIDU* ref, RdaEventCode event, int32_t opId, void** body, XmTree* valueTree,
                 bool freeOnFailure) {
  GIDU* g = rda_buildGidu(fn, ref, event, opId, body);
  if (g == nullptr) {
    if (freeOnFailure && valueTree != nullptr) _xm_freeTree(valueTree);
    return nullptr;
  }
  if (valueTree != nullptr) _xm_moveTree(rda_iduTree(g), valueTree);
  return g;
}

// The statement of R-ExecuteDBL and R-DefineDBL.
const char* copyStmt(RDASQLDBLStmt* dst, const ObjIdV* charSet, const OctStgV* text, XmTree* tree) {
  if (charSet != nullptr) {
    dst->mask |= 0x02;
    if (ul_objidvcpy(&dst->charSet, charSet, tree) == 0) return "can't copy character set for SQL statement";
  }
  if (ul_octstgvcpy(&dst->text, text, tree) == 0) return "can't copy SQL Statement";
  return nullptr;
}

// Descriptors of `count` specs put into `dst`, with `bit` in `mask`; false
// when a list node cannot be had.
bool copySpecs(uint32_t* mask, uint32_t bit, uint32_t count, void* const* specs, XmTree* tree, RDAList* dst) {
  if (count == 0) return true;
  *mask |= bit;
  return RDA_copyListOfSDTD(count, specs, tree, dst) != 0;
}

// The arguments of R-ExecuteDBL (`single`, `multi` 0x4004/0x4005) and
// R-InvokeDBL (0x4001/0x4002) from `count` > 0 value lists. An empty single
// list is left out: the decoder of a list wants at least one value. False
// when a row node cannot be had.
bool fillArgs(RDADBLArgs* args, uint32_t single, uint32_t multi, uint32_t count, RDASQLValList* const* lists,
              int32_t repetition, XmTree* tree) {
  if (count == 1) {
    args->code = single;
    RDASingleRow& row = args->single;
    if (repetition != 0) {
      row.mask |= 0x01;
      row.count = repetition;
    }
    RDASQLValList* l = lists != nullptr ? lists[0] : nullptr;
    if (l != nullptr && !rda_ringEmpty(l->values)) {
      row.mask |= 0x02;
      rda_moveValList(&row.values, l);
    }
    return true;
  }
  args->code = multi;
  rda_ringInit(&args->multi.rows);
  for (uint32_t i = 0; i < count; ++i) {
    if (lists == nullptr || lists[i] == nullptr) continue;
    auto* node = static_cast<RDARowNode*>(_xm_allocItem(tree, sizeof(RDARowNode), XM_ZERO));
    if (node == nullptr) return false;
    rda_moveValList(&node->row, lists[i]);
    rda_ringAppend(&args->multi.rows, &node->links);
  }
  return true;
}

// Result specs and rows of the R-ExecuteDBL and R-InvokeDBL responses.
GIDU* dblResult(const char* fn, const char* copyFn, RdaEventCode event, const GIDU* ref, int32_t opId,
                uint32_t specCount, void* const* specs, uint32_t valCount, void* const* vals, XmTree* valueTree) {
  void* body = nullptr;
  GIDU* g = withValues(fn, ref, event, opId, &body, valueTree, false);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* result = static_cast<RDADBLResult*>(body);
  if (!copySpecs(&result->mask, 0x01, specCount, specs, tree, &result->resultSpecs))
    return rda_buildFailed(g, 0x01, copyFn, "can't copy sQLDBLResultSpecs");
  if (valCount != 0) {
    result->mask |= 0x02;
    if (RDA_copyListOfResultVals(valCount, vals, tree, &result->rows) == 0)
      return rda_buildFailed(g, 0x01, copyFn, "can't copy listOfResultVals");
  }
  return g;
}

// The command handles of R-DropDBL, with the exception in the response.
GIDU* dropDBL(const char* fn, const char* nodeFailure, RdaEventCode event, const GIDU* ref, int32_t opId,
              uint32_t count, const int32_t* handles, bool response) {
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, event, opId, &body);
  if (g == nullptr) return nullptr;
  if (count == 0) return g;
  if (handles == nullptr) return rda_buildFailed(g, 0x01, fn, nodeFailure);
  XmTree* tree = rda_iduTree(g);
  auto* seq = static_cast<RDAListSeq*>(body);
  seq->mask |= 0x01;
  rda_ringInit(&seq->list);
  for (uint32_t i = 0; i < count; ++i) {
    UL_Link* node = nullptr;
    if (response) {
      auto* n = static_cast<RDAHandleExcpNode*>(_xm_allocItem(tree, sizeof(RDAHandleExcpNode), 0));
      if (n != nullptr) {
        n->excp.handle = handles[i];
        n->excp.code = kDropExcp;
        node = &n->links;
      }
    } else {
      auto* n = static_cast<RDAIntNode*>(_xm_allocItem(tree, sizeof(RDAIntNode), 0));
      if (n != nullptr) {
        n->value = handles[i];
        node = &n->links;
      }
    }
    if (node == nullptr) return rda_buildFailed(g, 0x01, fn, nodeFailure);
    rda_ringAppend(&seq->list, node);
  }
  return g;
}

}  // namespace

GIDU* rda_createSQLOpenReq(const GIDU* ref, int32_t opId, int32_t handle, const char* dataResourceName,
                           const RDAAccessCntlData* sQLAccessCntlData, const int32_t* usageMode, const ObjIdV* charSet,
                           const ObjIdV* sQLConformLevel) {
  constexpr const char* fn = "rda_createSQLOpenReq";
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_OPEN_REQ, opId, &body);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* req = static_cast<RDAOpen_Req*>(body);
  req->handle = handle;
  if (dataResourceName != nullptr) {
    req->mask |= 0x04;
    req->dataResourceName = ul_charscpy(dataResourceName, tree);
    if (req->dataResourceName == nullptr) return rda_buildFailed(g, 0x08, fn, "can't copy dataResourceName");
  }
  if (sQLAccessCntlData != nullptr) {
    req->mask |= 0x08;
    if (rda_copyAccessCntlData(&req->accessCntlData, sQLAccessCntlData, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy sQLAccessCntlData");
  }
  if (usageMode != nullptr) {
    req->mask |= 0x10;
    req->usageMode = *usageMode;
  }
  if (charSet != nullptr) {
    req->mask |= 0x20;
    req->sql.mask |= 0x01;
    if (ul_objidvcpy(&req->sql.charSet, charSet, tree) == 0) return rda_buildFailed(g, 0x08, fn, "can't copy charSet");
  }
  if (sQLConformLevel != nullptr) {
    req->mask |= 0x20;
    req->sql.mask |= 0x02;
    if (ul_objidvcpy(&req->sql.conformLevel, sQLConformLevel, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy sQLConformLevel");
  }
  return g;
}

GIDU* rda_createSQLOpenRsp(const GIDU* ref, int32_t opId, uint32_t flag, const ObjIdV* charSet,
                           const ObjIdV* sQLConformLevel) {
  constexpr const char* fn = "rda_createSQLOpenRsp";
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_OPEN_RSP, opId, &body);
  if (g == nullptr) return nullptr;
  if (flag == 0 && charSet == nullptr && sQLConformLevel == nullptr) return g;
  XmTree* tree = rda_iduTree(g);
  auto* result = static_cast<RDAOpen_Result*>(body);
  result->mask |= 0x01;
  if (flag != 0) {
    result->sql.mask |= 0x02;
    result->sql.flag = 1;
  }
  if (charSet != nullptr) {
    result->sql.mask |= 0x01;
    if (ul_objidvcpy(&result->sql.charSet, charSet, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy charSet ");
  }
  if (sQLConformLevel != nullptr) {
    result->sql.mask |= 0x04;
    if (ul_objidvcpy(&result->sql.conformLevel, sQLConformLevel, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy sQLConformLevel ");
  }
  return g;
}

GIDU* rda_createSQLCloseReq(const GIDU* ref, int32_t opId) {
  return rda_buildGidu("rda_createSQLCloseReq", ref, RDA_CLOSE_REQ, opId, nullptr);
}
GIDU* rda_createSQLCloseRsp(const GIDU* ref, int32_t opId) {
  return rda_buildGidu("rda_createSQLCloseRsp", ref, RDA_CLOSE_RSP, opId, nullptr);
}

GIDU* rda_createSQLExecDBLReq(const GIDU* ref, int32_t opId, const int32_t* handle, const ObjIdV* stmtCharSet,
                              const OctStgV* stmt, uint32_t argSpecCount, void* const* argSpecs,
                              uint32_t resultSpecCount, void* const* resultSpecs, uint32_t valListCount,
                              RDASQLValList* const* valLists, int32_t repetition, XmTree* valueTree) {
  constexpr const char* fn = "rda_createSQLExecDBLReq";
  void* body = nullptr;
  GIDU* g = withValues(fn, ref, RDA_EXECDBL_REQ, opId, &body, valueTree, true);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* req = static_cast<RDAExecDBL_Req*>(body);
  if (handle != nullptr) {
    req->mask |= 0x01;
    req->handle = *handle;
  }
  if (const char* failed = copyStmt(&req->stmt, stmtCharSet, stmt, tree); failed != nullptr)
    return rda_buildFailed(g, 0x01, fn, failed);
  if (!copySpecs(&req->mask, 0x04, argSpecCount, argSpecs, tree, &req->argSpecs))
    return rda_buildFailed(g, 0x01, "rda_createSQLExecReq", "can't copy sQLDBLArgSpecs");
  if (!copySpecs(&req->mask, 0x08, resultSpecCount, resultSpecs, tree, &req->resultSpecs))
    return rda_buildFailed(g, 0x01, "rda_createSQLExecReq", "can't copy sQLDBLResultSpecs");
  if (valListCount == 0) return g;
  req->mask |= 0x10;
  if (!fillArgs(&req->args, kSingleRowExec, kMultiRowExec, valListCount, valLists, repetition, tree))
    return rda_buildFailed(g, 0x08, "rda_createSQLExecReq", "can't create RDAListOfSDAV_Element");
  return g;
}

GIDU* rda_createSQLExecDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                              uint32_t resultValCount, void* const* resultVals, XmTree* valueTree) {
  return dblResult("rda_createSQLExecDBLRsp", "rda_createSQLExecRsp", RDA_EXECDBL_RSP, ref, opId, resultSpecCount,
                   resultSpecs, resultValCount, resultVals, valueTree);
}

GIDU* rda_createSQLDefineDBLReq(const GIDU* ref, int32_t opId, int32_t cmdHandle, const int32_t* handle,
                                const ObjIdV* stmtCharSet, const OctStgV* stmt, uint32_t argSpecCount,
                                void* const* argSpecs, uint32_t resultSpecCount, void* const* resultSpecs,
                                XmTree* valueTree) {
  constexpr const char* fn = "rda_createSQLDefineDBLReq";
  void* body = nullptr;
  GIDU* g = withValues(fn, ref, RDA_DEFINEDBL_REQ, opId, &body, valueTree, true);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* req = static_cast<RDADefineDBL_Req*>(body);
  req->cmdHandle = cmdHandle;
  if (handle != nullptr) {
    req->mask |= 0x02;
    req->handle = *handle;
  }
  if (const char* failed = copyStmt(&req->stmt, stmtCharSet, stmt, tree); failed != nullptr)
    return rda_buildFailed(g, 0x01, fn, failed);
  if (!copySpecs(&req->mask, 0x08, argSpecCount, argSpecs, tree, &req->argSpecs))
    return rda_buildFailed(g, 0x01, "rda_createSQLdefineReq", "can't copy sQLDBLArgSpecs");
  if (!copySpecs(&req->mask, 0x10, resultSpecCount, resultSpecs, tree, &req->resultSpecs))
    return rda_buildFailed(g, 0x01, "rda_createSQLdefineReq", "can't copy sQLDBLResultSpecs");
  return g;
}

GIDU* rda_createSQLDefineDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                                void* exception, XmTree* valueTree) {
  constexpr const char* fn = "rda_createSQLDefineDBLRsp";
  void* body = nullptr;
  GIDU* g = withValues(fn, ref, RDA_DEFINEDBL_RSP, opId, &body, valueTree, false);
  if (g == nullptr) return nullptr;
  auto* result = static_cast<RDADefineDBL_Result*>(body);
  if (!copySpecs(&result->mask, 0x01, resultSpecCount, resultSpecs, rda_iduTree(g), &result->resultSpecs))
    return rda_buildFailed(g, 0x01, fn, "can't copy sQLDBLResultSpecs");
  if (exception != nullptr) {
    result->mask |= 0x02;
    result->exception = static_cast<RDASQLDBLExcp*>(exception);
  }
  return g;
}

GIDU* rda_createSQLInvokeDBLReq(const GIDU* ref, int32_t opId, int32_t cmdHandle, uint32_t valListCount,
                                RDASQLValList* const* valLists, int32_t repetition, XmTree* valueTree) {
  constexpr const char* fn = "rda_createSQLInvokeDBLReq";
  void* body = nullptr;
  GIDU* g = withValues(fn, ref, RDA_INVOKEDBL_REQ, opId, &body, valueTree, true);
  if (g == nullptr) return nullptr;
  auto* req = static_cast<RDAInvokeDBL_Req*>(body);
  req->cmdHandle = cmdHandle;
  if (valListCount == 0) return g;
  req->mask |= 0x02;
  if (!fillArgs(&req->args, kSingleRowInvoke, kMultiRowInvoke, valListCount, valLists, repetition, rda_iduTree(g)))
    return rda_buildFailed(g, 0x08, fn, "can't create RDAListOfSDAV_Element");
  return g;
}

GIDU* rda_createSQLInvokeDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                                uint32_t resultValCount, void* const* resultVals, XmTree* valueTree) {
  return dblResult("rda_createSQLInvokeDBLRsp", "rda_createSQLInvokeDBLRsp", RDA_INVOKEDBL_RSP, ref, opId,
                   resultSpecCount, resultSpecs, resultValCount, resultVals, valueTree);
}

GIDU* rda_createSQLDropDBLReq(const GIDU* ref, int32_t opId, uint32_t count, const int32_t* cmdHandles) {
  return dropDBL("rda_createSQLDropDBLReq", "can't create RDAListOfCmdHndl_Element", RDA_DROPDBL_REQ, ref, opId, count,
                 cmdHandles, false);
}

GIDU* rda_createSQLDropDBLRsp(const GIDU* ref, int32_t opId, uint32_t count, const int32_t* cmdHandles) {
  return dropDBL("rda_createSQLDropDBLRsp", "can't create RDAListOfDropDBLExcp_Element", RDA_DROPDBL_RSP, ref, opId,
                 count, cmdHandles, true);
}
