#include "src/rda/rda_gidu.h"

#include <algorithm>
#include <cstddef>

#include "common/charscpy.h"
#include "src/acse/acse_apdu.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdagidu";

// Every member of the top-level CHOICE starts at one place in both
// families and begins with opId; a response continues with outcome; the
// request, result or error record then starts at one offset in all of them.
constexpr size_t kMember = offsetof(RDAIdu, init_RI);
constexpr size_t kOutcome = offsetof(RDAInit_RC, outcome);
constexpr size_t kBody = offsetof(RDAInit_RI, req);

static_assert(offsetof(RDAXOPENIdu, init_RI) == kMember);
static_assert(offsetof(RDAIdu, activate) == kMember && offsetof(RDAXOPENIdu, activate) == kMember);
static_assert(offsetof(RDAActivate_Req, aeId) == 0);
static_assert(offsetof(RDACancel_RI, req) == kBody && offsetof(RDAStatus_RI, req) == kBody &&
              offsetof(RDAOpen_RI, req) == kBody && offsetof(RDAClose_RI, req) == kBody &&
              offsetof(RDAExecDBL_RI, req) == kBody && offsetof(RDADefineDBL_RI, req) == kBody &&
              offsetof(RDAInvokeDBL_RI, req) == kBody && offsetof(RDADropDBL_RI, req) == kBody);
static_assert(offsetof(RDATerm_RC, outcome) == kOutcome && offsetof(RDACommit_RC, outcome) == kOutcome &&
              offsetof(RDAXOPENCommit_RC, outcome) == kOutcome && offsetof(RDARollback_RC, outcome) == kOutcome &&
              offsetof(RDACancel_RC, outcome) == kOutcome && offsetof(RDAStatus_RC, outcome) == kOutcome &&
              offsetof(RDAOpen_RC, outcome) == kOutcome && offsetof(RDAClose_RC, outcome) == kOutcome &&
              offsetof(RDAExecDBL_RC, outcome) == kOutcome && offsetof(RDADefineDBL_RC, outcome) == kOutcome &&
              offsetof(RDAXOPENDefineDBL_RC, outcome) == kOutcome &&
              offsetof(RDAInvokeDBL_RC, outcome) == kOutcome && offsetof(RDADropDBL_RC, outcome) == kOutcome);
static_assert(offsetof(RDAInit_RC, result) == kBody && offsetof(RDAInit_RC, error) == kBody &&
              offsetof(RDATerm_RC, error) == kBody && offsetof(RDABgnTrans_RC, error) == kBody &&
              offsetof(RDACommit_RC, result) == kBody && offsetof(RDAXOPENCommit_RC, result) == kBody &&
              offsetof(RDACommit_RC, error) == kBody && offsetof(RDARollback_RC, error) == kBody &&
              offsetof(RDACancel_RC, error) == kBody && offsetof(RDAStatus_RC, result) == kBody &&
              offsetof(RDAOpen_RC, result) == kBody && offsetof(RDAClose_RC, result) == kBody &&
              offsetof(RDAExecDBL_RC, result) == kBody && offsetof(RDADefineDBL_RC, result) == kBody &&
              offsetof(RDAXOPENDefineDBL_RC, result) == kBody && offsetof(RDAInvokeDBL_RC, result) == kBody &&
              offsetof(RDADropDBL_RC, error) == kBody);

constexpr uint32_t kIduSize = static_cast<uint32_t>(std::max(sizeof(RDAIdu), sizeof(RDAXOPENIdu)));

}  // namespace

GIDU* rda_createGiduWithRdaIdu(const GIDU* ref, RdaEventCode event, int32_t opId, void** body) {
  if (body != nullptr) *body = nullptr;
  GIDU* gidu = al_createGidu(ref, AL_IDU_RDA, event);
  if (gidu == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createGiduWithRdaIdu: can't create gidu\n");
    return nullptr;
  }
  auto* idu = static_cast<RDAIdu*>(_xm_allocItemWithTree(kIduSize, XM_ZERO));
  if (idu == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createGiduWithRdaIdu: can't create rdaIdu content\n");
    al_deleteGidu(gidu);
    return nullptr;
  }
  _xm_moveTree(xm_getParentOfItem(gidu), xm_getParentOfItem(idu));
  al_selfLink(gidu);
  gidu->idu = idu;

  auto* member = reinterpret_cast<uint8_t*>(idu) + kMember;
  if (event == AL_ACT_REQ) {
    idu->tag = RDA_ACTIVATE_REQ;
    if (body != nullptr) *body = &idu->activate.aeId;
    return gidu;
  }
  const uint32_t n = al_serviceOf(event);
  TM_TRACE(rda_comTMHandle, 0x40, kSrc, "RDA event type=%x\n", event);
  idu->tag = rda_getRdaEventTag(event);
  TM_TRACE(rda_comTMHandle, 0x40, kSrc, "RDA idu tag=%x\n", idu->tag);
  if (idu->tag == RDA_EMPTY) return gidu;

  // Every member begins with opId (the common initial sequence).
  idu->init_RI.opId = opId;
  void* place = member + kBody;
  if (n >= kRdaResponseFamily && idu->tag != RDA_BGNTRANS_RC)
    idu->init_RC.outcome = n >= kRdaErrorFamily ? RDA_OUTCOME_ERROR : RDA_OUTCOME_RESULT;
  if (body != nullptr) *body = place;
  return gidu;
}

GIDU* rda_createGiduWithApdu(const GIDU* ref, uint32_t event, void** body) {
  if (body != nullptr) *body = nullptr;
  GIDU* gidu = al_createGidu(ref, AL_IDU_ACSE, event);
  if (gidu == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createGiduWithApdu: can't create gidu\n");
    return nullptr;
  }
  auto* apdu = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
  if (apdu == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createGiduWithApdu: can't create apdu content\n");
    al_deleteGidu(gidu);
    return nullptr;
  }
  _xm_moveTree(xm_getParentOfItem(gidu), xm_getParentOfItem(apdu));
  gidu->event = event;
  al_selfLink(gidu);
  gidu->idu = apdu;
  // A-ASSOCIATE (service 0 and 1) to A-ABORT (service 4): the APDU codes in
  // service order.
  apdu->code = al_serviceOf(event) + AC_APDU_AARQ;
  if (body != nullptr) *body = &apdu->aarq;
  return gidu;
}

TemplateGidu* rda_createTemplateGidu(void* ue, void* uc, void* pe, void* pc) {
  auto* tmpl = static_cast<TemplateGidu*>(_xm_allocItemWithTree(sizeof(TemplateGidu), XM_ZERO));
  if (tmpl == nullptr) return nullptr;
  al_selfLink(tmpl);
  rda_updateTemplateGidu(tmpl, ue, uc, pe, pc);
  return tmpl;
}

void rda_updateTemplateGidu(TemplateGidu* tmpl, void* ue, void* uc, void* pe, void* pc) {
  if (tmpl == nullptr) return;
  tmpl->ue = ue;
  tmpl->uc = uc;
  tmpl->pe = pe;
  tmpl->pc = pc;
}

int32_t rda_copyAuthData(RDAAuthData* dst, const RDAAuthData* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return 0;
  dst->code = src->code;
  switch (src->code) {
    case RDA_AUTH_TEXT:
      dst->text = src->text != nullptr ? ul_charscpy(src->text, tree) : nullptr;
      if (dst->text == nullptr) {
        TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** copyAuthData: can't get memory for character string\n");
        return 0;
      }
      return 1;
    case RDA_AUTH_OCTETS:
      if (ul_octstgvcpy(&dst->octets, &src->octets, tree) == 0) {
        dst->octets = OctStgV{};
        TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** copyAuthData: can't get memory for octet string\n");
        return 0;
      }
      return 1;
    case RDA_AUTH_BITS:
      if (ul_bitscpy(&dst->bits, &src->bits, tree) == 0) {
        dst->bits = BitStgV{};
        TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** copyAuthData: can't get memory for bit string\n");
        return 0;
      }
      return 1;
    default:
      TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** copyAuthData: bad tag number for RDAAuthData\n");
      return 0;
  }
}

int32_t rda_copyAccessCntlData(RDAAccessCntlData* dst, const RDAAccessCntlData* src, XmTree* tree) {
  return rda_copyAuthData(dst, src, tree);
}

int32_t rda_copyClientInvocId(RDADlgIDClientInvoc* dst, const RDADlgIDClientInvoc* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return 0;
  if (src->apTitle.kind == UL_TITLE_DN || src->aeQual.kind == UL_QUAL_RDN) return 0;
  *dst = *src;
  // The arcs are the copy's own or none: never the source's.
  dst->apTitle.objId = ObjIdV{};
  return ul_objidvcpy(&dst->apTitle.objId, &src->apTitle.objId, tree);
}
