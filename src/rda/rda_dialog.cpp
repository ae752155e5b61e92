// Builders of the dialogue and transaction GIDUs.
#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/rda/rda_buildutil.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rdadlg";
constexpr uint32_t kSuffixOctets = 0x4000;  // DlgIDSuffix [0]

// A builder whose message has no body beyond the operation identifier.
GIDU* bare(const char* fn, const GIDU* ref, RdaEventCode event, int32_t opId) {
  return rda_buildGidu(fn, ref, event, opId, nullptr);
}

}  // namespace

GIDU* rda_createSQLInitReq(const GIDU* ref, int32_t opId, const OctStgV* dlgIDSuffix, const char* identityOfUser,
                           const RDAAuthData* userAuthData, const uint32_t* cntlFlag, uint32_t functionalUnits,
                           const ObjIdV* sQLConformLevelDef, const OctStgV* userData) {
  constexpr const char* fn = "rda_createSQLInitReq";
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_INIT_REQ, opId, &body);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* req = static_cast<RDAInit_Req*>(body);

  req->suffix.code = kSuffixOctets;
  if (ul_octstgvcpy(&req->suffix.octets, dlgIDSuffix, tree) == 0)
    return rda_buildFailed(g, 0x08, fn, "can't copy dlgIDSuffix");
  req->identityOfUser = identityOfUser != nullptr ? ul_charscpy(identityOfUser, tree) : nullptr;
  if (req->identityOfUser == nullptr) return rda_buildFailed(g, 0x08, fn, "can't copy identityOfUser");
  if (userAuthData != nullptr) {
    req->mask |= 0x08;
    if (rda_copyAuthData(&req->userAuthData, userAuthData, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy userAuthData");
  }
  if (cntlFlag != nullptr) {
    req->mask |= 0x10;
    req->flag = *cntlFlag;
  }
  req->functionalUnits = functionalUnits;
  req->mask |= 0x40;
  if (sQLConformLevelDef != nullptr) {
    req->sql.mask |= 0x01;
    if (ul_objidvcpy(&req->sql.conformLevel, sQLConformLevelDef, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy sQLConformLevelDef");
  }
  if (userData != nullptr) {
    req->sql.mask |= 0x02;
    if (ul_octstgvcpy(&req->sql.userData, userData, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy userData");
  }
  return g;
}

GIDU* rda_createSQLInitRsp(const GIDU* ref, int32_t opId, uint32_t controlled, const uint32_t* cntlFlag,
                           const RDAAuthData* cntlAuthData, uint32_t functionalUnits, const OctStgV* userData) {
  constexpr const char* fn = "rda_createSQLInitRsp";
  // Control authentication data goes with a control flag that is absent
  // (TRUE by default) or set.
  const bool authWanted = cntlFlag == nullptr || *cntlFlag != 0;
  if (controlled != 0 && authWanted && cntlAuthData == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x80, kSrc, "%s() called\n", fn);
    TM_TRACE(rda_comTMHandle, 0x04, kSrc,
             "*** rda_createSQLInitRsp: mandatory parameter  cntlAuthData is currently referencing NULL\n");
    return nullptr;
  }
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_INIT_RSP, opId, &body);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* result = static_cast<RDAInit_Result*>(body);

  if (controlled != 0) {
    result->mask |= 0x01;
    if (cntlFlag != nullptr) {
      result->control.mask |= 0x01;
      result->control.flag = *cntlFlag;
    }
    if (cntlAuthData != nullptr && authWanted) {
      result->control.mask |= 0x02;
      if (rda_copyAuthData(&result->control.cntlAuthData, cntlAuthData, tree) == 0)
        return rda_buildFailed(g, 0x08, fn, "can't copy cntlAuthData");
    }
  }
  result->functionalUnits = functionalUnits;
  if (userData != nullptr) {
    result->mask |= 0x04;
    result->sql.mask |= 0x01;
    if (ul_octstgvcpy(&result->sql.userData, userData, tree) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy userData");
  }
  return g;
}

GIDU* rda_createSQLTermReq(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLTermReq", ref, RDA_TERM_REQ, opId);
}
GIDU* rda_createSQLTermRsp(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLTermRsp", ref, RDA_TERM_RSP, opId);
}
GIDU* rda_createSQLBgnTransReq(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLBgnTransReq", ref, RDA_BGNTRANS_REQ, opId);
}
GIDU* rda_createSQLCommitReq(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLCommitReq", ref, RDA_COMMIT_REQ, opId);
}
GIDU* rda_createSQLRollbackReq(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLRollbackReq", ref, RDA_ROLLBACK_REQ, opId);
}
GIDU* rda_createSQLRollbackRsp(const GIDU* ref, int32_t opId) {
  return bare("rda_createSQLRollbackRsp", ref, RDA_ROLLBACK_RSP, opId);
}

GIDU* rda_createSQLCommitRsp(const GIDU* ref, int32_t opId, int32_t value, const wchar_t* messageText) {
  constexpr const char* fn = "rda_createSQLCommitRsp";
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_COMMIT_RSP, opId, &body);
  if (g == nullptr) return nullptr;
  auto* result = static_cast<RDAXOPENCommit_Result*>(body);
  result->mask = 0;
  result->value = value;
  if (messageText != nullptr) {
    result->mask |= 0x01;
    result->text = ul_dupWcharToUtf8(rda_iduTree(g), messageText, QV_NTS);
    if (result->text == nullptr) {
      TM_TRACE(rda_comTMHandle, 0x01, kSrc, "*** rda_createSQLCommitRsp: can't copy messageText %ls\n", messageText);
      al_deleteGidu(g);
      return nullptr;
    }
  }
  return g;
}
