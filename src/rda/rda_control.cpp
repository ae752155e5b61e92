// Builders of the control GIDUs (R-Cancel, R-Status) and their copies.
#include "common/charscpy.h"
#include "common/timer2.h"
#include "src/rda/rda_buildutil.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdactl";
constexpr uint32_t kSuffixOctets = 0x4000;   // DlgIDSuffix [0]
constexpr uint32_t kStatusAborted = 0x4006;  // the status that carries a text

// R-Cancel and R-Status requests: one body.
GIDU* controlReq(const char* fn, RdaEventCode event, const GIDU* ref, int32_t opId,
                 const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix, const RDAAuthData* cntlAuthData,
                 uint32_t count, const int32_t* opIds) {
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, event, opId, &body);
  if (g == nullptr) return nullptr;
  XmTree* tree = rda_iduTree(g);
  auto* req = static_cast<RDACancel_Req*>(body);
  if (clientInvoc != nullptr || dlgIDSuffix != nullptr || cntlAuthData != nullptr) {
    req->mask |= 0x01;
    if (RDA_copyCntlledDlg(clientInvoc, dlgIDSuffix, cntlAuthData, tree, &req->dialogue) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy cntlledDlg");
  }
  if (count != 0) {
    req->mask |= 0x02;
    if (RDA_copyListOfOpID(count, opIds, tree, &req->opIds) == 0)
      return rda_buildFailed(g, 0x08, fn, "can't copy listOfOpID");
  }
  return g;
}

}  // namespace

int32_t RDA_copyCntlledDlg(const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix,
                           const RDAAuthData* cntlAuthData, XmTree* tree, RDACntlledDlg* dst) {
  if (clientInvoc != nullptr) {
    dst->mask |= 0x01;
    if (rda_copyClientInvocId(&dst->clientInvoc, clientInvoc, tree) == 0) {
      TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** RDA_copyCntlledDlg: can't copy dlgIDclientInvoc\n");
      return 0;
    }
  }
  if (dlgIDSuffix != nullptr) {
    dst->suffix.code = kSuffixOctets;
    if (ul_octstgvcpy(&dst->suffix.octets, dlgIDSuffix, tree) == 0) {
      TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** RDA_copyCntlledDlg: can't copy dlgIDSuffix\n");
      return 0;
    }
  }
  if (cntlAuthData != nullptr && rda_copyAuthData(&dst->authData, cntlAuthData, tree) == 0) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** RDA_copyCntlledDlg: can't copy cntlAuthData\n");
    return 0;
  }
  return 1;
}

int32_t RDA_copyListOfOpID(uint32_t count, const int32_t* opIds, XmTree* tree, RDAList* dst) {
  rda_ringInit(dst);
  for (uint32_t i = 0; i < count; ++i) {
    auto* node =
        opIds != nullptr ? static_cast<RDAIntNode*>(_xm_allocItem(tree, sizeof(RDAIntNode), XM_ZERO)) : nullptr;
    if (node == nullptr) {
      TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createCancelReq: can't copy cancel opID\n");
      return 0;
    }
    node->value = opIds[i];
    rda_ringAppend(dst, &node->links);
  }
  return 1;
}

GIDU* rda_createCancelReq(const GIDU* ref, int32_t opId, const RDADlgIDClientInvoc* clientInvoc,
                          const OctStgV* dlgIDSuffix, const RDAAuthData* cntlAuthData, uint32_t count,
                          const int32_t* opIds) {
  return controlReq("rda_createCancelReq", RDA_CANCEL_REQ, ref, opId, clientInvoc, dlgIDSuffix, cntlAuthData, count,
                    opIds);
}

GIDU* rda_createStatusReq(const GIDU* ref, int32_t opId, const RDADlgIDClientInvoc* clientInvoc,
                          const OctStgV* dlgIDSuffix, const RDAAuthData* cntlAuthData, uint32_t count,
                          const int32_t* opIds) {
  return controlReq("rda_createStatusReq", RDA_STATUS_REQ, ref, opId, clientInvoc, dlgIDSuffix, cntlAuthData, count,
                    opIds);
}

GIDU* rda_createCancelRsp(const GIDU* ref, int32_t opId) {
  return rda_buildGidu("rda_createCancelRsp", ref, RDA_CANCEL_RSP, opId, nullptr);
}

GIDU* rda_createStatusRsp(const GIDU* ref, int32_t opId, uint32_t count, const RDAStatusEntry* entries) {
  constexpr const char* fn = "rda_createStatusRsp";
  void* body = nullptr;
  GIDU* g = rda_buildGidu(fn, ref, RDA_STATUS_RSP, opId, &body);
  if (g == nullptr) return nullptr;
  if (count == 0) return g;
  XmTree* tree = rda_iduTree(g);
  auto* result = static_cast<RDAStatus_Result*>(body);
  result->mask |= 0x01;
  rda_ringInit(&result->infos);
  for (uint32_t i = 0; i < count; ++i) {
    auto* node =
        entries != nullptr ? static_cast<RDAStatusNode*>(_xm_allocItem(tree, sizeof(RDAStatusNode), XM_ZERO)) : nullptr;
    if (node == nullptr) return rda_buildFailed(g, 0x08, fn, "can't create statusInfo");
    rda_ringAppend(&result->infos, &node->links);
    node->info.opId = entries[i].opId;
    node->info.code = entries[i].code;
    if (entries[i].code == kStatusAborted && entries[i].text != nullptr) {
      node->info.text = ul_charscpy(entries[i].text, tree);
      if (node->info.text == nullptr) return rda_buildFailed(g, 0x08, fn, "can't copy status info for aborted");
    }
  }
  return g;
}

const ObjIdV* rda_getAppCtxName(const RDALocalName* localName) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_getAppCtxName () called");
  if (localName == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x04, kSrc, "*** rda_getAppCtxName: mandatory parameter localname is referencing NULL\n");
    QvSetOsiError(static_cast<int32_t>(RDA_ERR_NO_REQED_PARAM));
    return nullptr;
  }
  return &localName->appCtxName;
}
