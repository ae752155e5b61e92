// Session requests of the presentation layer.
#include "src/presentation/psend.h"

#include <cstring>

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pgidu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/ps_trace.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"

PsSendFn psSend = ps_send_request;

namespace {

constexpr const char* kSrc = "src/ps_send";

const PsSessionService kSessionLayer{session, s_connect};

// Session request events.
enum : uint32_t {
  kSActdReq = 1,
  kSActdRsp = 2,
  kSActeReq = 3,
  kSActeRsp = 4,
  kSActiReq = 5,
  kSActiRsp = 6,
  kSActrReq = 7,
  kSActsReq = 8,
  kSCdReq = 9,
  kSCdRsp = 10,
  kSCgReq = 11,
  kSConReq = 12,
  kSConAcc = 13,
  kSConRej = 14,
  kSDtReq = 15,
  kSExReq = 16,
  kSGtReq = 17,
  kSPtReq = 18,
  kSRelReq = 19,
  kSRelAcc = 20,
  kSRelRej = 21,
  kSRsynAb = 22,
  kSRsynRes = 23,
  kSRsynSet = 24,
  kSRsynRsp = 25,
  kSSynmReq = 26,
  kSSynmRsp = 27,
  kSSynReq = 28,
  kSSynRsp = 29,
  kSTdReq = 30,
  kSUabReq = 31,
  kSUerReq = 32,
  kSRcvReq = 33,
};

// What a sender encodes.
enum class Enc { UserData, DataOrSimple, Simple, CP, CPA, CPR, Abort, RS, RSA };

// PIDU parameters a sender copies into the SIDU.
enum : uint32_t {
  kPReason = 1,
  kPSerial = 2,
  kPTokens = 4,
  kPSync = 8,
  kPActId = 16,
  kPOldActId = 32,
  kPCid = 64,
  kPRequirements = 128,
  kPConnectWord = 256,
  kPVersion = 512,
};

struct Sender {
  uint32_t sessionEvent;
  Enc enc;
  uint32_t params;
  uint32_t presEvent;  // for the size checks
  const char* sentTrace;  // the transport trace line after a good send; NULL = none
};

int32_t fail(uint32_t err) {
  QvSetOsiError(static_cast<int32_t>(err));
  return 0;
}

uint8_t octetCredit(uint32_t credit) { return static_cast<uint8_t>(credit > 0xFF ? 0xFF : credit); }

uint32_t chainLength(const SessionBuffer* chain) {
  uint32_t n = 0;
  for (const SessionBuffer* b = chain; b != nullptr;) {
    n += b->length;
    b = b->next != chain ? b->next : nullptr;
  }
  return n;
}

AaFormatFn encoderOf(Enc enc, void** record) {
  switch (enc) {
    case Enc::UserData:
      *record = &inf;
      return psFormatUserData;
    case Enc::DataOrSimple:
      *record = &inf;
      return inf.kind == kUserDataSimple ? psFormatSimple : psFormatUserData;
    case Enc::Simple:
      *record = &inf;
      return psFormatSimple;
    case Enc::CP:
      *record = &cp;
      return psFormatCP;
    case Enc::CPA:
      *record = &cpa;
      return psFormatCPA;
    case Enc::CPR:
      *record = &cpr;
      return psFormatCPR;
    case Enc::Abort:
      *record = &abrt;
      return psFormatAbort;
    case Enc::RS:
      *record = &rs;
      return psFormatRS;
    case Enc::RSA:
      *record = &rsa;
      return psFormatRSA;
  }
  *record = nullptr;
  return nullptr;
}

// The record encoded into a fresh chain that becomes the SIDU's user data,
// checked for the event; false (nothing left) on failure.
bool encode(Pmachine* pm, SIDU* sidu, Enc enc, uint32_t presEvent, uint32_t mult) {
  void* record = nullptr;
  const AaFormatFn fn = encoderOf(enc, &record);
  if (px_setup(pm, sidu) == 0) return false;
  directMult = mult;
  QvSetOsiError(0);
  (void)p_format(fn, record, reinterpret_cast<uint32_t*>(&pm->lastError));
  directMult = 0;
  SessionBuffer* chain = nullptr;
  (void)fGetf(&chain);
  sidu->userData = chain;
  if (QvGetOsiError() != 0 || pvDataMax(pm, chain, presEvent) == 0) {
    s_freeChain(chain);
    sidu->userData = nullptr;
    return false;
  }
  return true;
}

// The chain of session buffers a continuation of pre-encoded data is.
SessionBuffer* preEncodedChain(const PIDU* pidu) {
  if (pidu->dataList.next == &pidu->dataList) return nullptr;
  return static_cast<SessionBuffer*>(static_cast<const DElem*>(pidu->dataList.next)->value);
}

void copyParams(uint32_t params, const PIDU* pidu, SIDU* sidu) {
  if ((params & kPReason) != 0) sidu->reason = static_cast<uint32_t>(pidu->reason);
  if ((params & kPSerial) != 0) sidu->serial = pidu->serial;
  if ((params & kPTokens) != 0) sidu->tokens = static_cast<uint8_t>(pidu->tokenItem);
  if ((params & kPSync) != 0) sidu->syncType = pidu->syncType;
  if ((params & kPActId) != 0) p_actIdToSession(pidu->activityId, &sidu->activityId);
  if ((params & kPOldActId) != 0) p_actIdToSession(pidu->oldActivityId, &sidu->oldActivityId);
  if ((params & kPCid) != 0) sidu->cid = pidu->cid;
  if ((params & kPRequirements) != 0) sidu->requirements = pidu->sessRequirements;
  if ((params & kPConnectWord) != 0) sidu->userRef = pidu->connectWord;
  if ((params & kPVersion) != 0) sidu->version = static_cast<uint8_t>(pidu->sessVersion);
  sidu->credit = octetCredit(pidu->credit);
}

// The common form of a sender.
int32_t send(Pmachine* pm, PIDU* pidu, const Sender& x, uint32_t noData) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  SIDU sidu{};
  if (noData == 0) {
    if (pm->segSend == 0) {
      if (!encode(pm, &sidu, x.enc, x.presEvent, 0)) return 0;
    } else {
      sidu.userData = preEncodedChain(pidu);
    }
  }
  copyParams(x.params, pidu, &sidu);
  sidu.event = x.sessionEvent;
  pm->segSend = pidu->endOfSdu == 0 ? 1 : 0;
  const int32_t r = ps_session(pm->s, &sidu);
  if (r != 0 && x.sentTrace != nullptr) TM_TRACE(tm_ts_modCB, 16384, kSrc, "%s", x.sentTrace);
  return r;
}

constexpr Sender kActdReq{kSActdReq, Enc::UserData, kPReason, P_ACTD_REQ, nullptr};
constexpr Sender kActdRsp{kSActdRsp, Enc::UserData, 0, P_ACTD_RSP, nullptr};
constexpr Sender kActeReq{kSActeReq, Enc::UserData, 0, P_ACTE_REQ, nullptr};
constexpr Sender kActeRsp{kSActeRsp, Enc::UserData, 0, P_ACTE_RSP, nullptr};
constexpr Sender kActiReq{kSActiReq, Enc::UserData, kPReason, P_ACTI_REQ, nullptr};
constexpr Sender kActiRsp{kSActiRsp, Enc::UserData, 0, P_ACTI_RSP, nullptr};
constexpr Sender kActrReq{kSActrReq, Enc::UserData, kPSerial | kPActId | kPOldActId | kPCid, P_ACTR_REQ, nullptr};
constexpr Sender kActsReq{kSActsReq, Enc::UserData, kPActId, P_ACTS_REQ, nullptr};
constexpr Sender kCdReq{kSCdReq, Enc::DataOrSimple, 0, P_CD_REQ, nullptr};
constexpr Sender kCdRsp{kSCdRsp, Enc::DataOrSimple, 0, P_CD_RSP, nullptr};
constexpr Sender kCgReq{kSCgReq, Enc::UserData, 0, P_CG_REQ, nullptr};
constexpr Sender kConAcc{kSConAcc, Enc::CPA, kPRequirements | kPTokens | kPSerial | kPCid, P_CON_ACC,
                         "Sent a SCONACC\n\n"};
constexpr Sender kConRej{kSConRej, Enc::CPR, kPRequirements | kPCid, P_CON_REJ, "Sent a SCONREJ\n\n"};
constexpr Sender kExReq{kSExReq, Enc::Simple, 0, P_EX_REQ, nullptr};
constexpr Sender kGtReq{kSGtReq, Enc::UserData, kPTokens, P_GT_REQ, nullptr};
constexpr Sender kPtReq{kSPtReq, Enc::UserData, kPTokens, P_PT_REQ, nullptr};
constexpr Sender kRelReq{kSRelReq, Enc::UserData, 0, P_REL_REQ, "Sent a SRELREQ\n\n"};
constexpr Sender kRelAcc{kSRelAcc, Enc::UserData, 0, P_REL_ACC, "Sent a SRELACC\n\n"};
constexpr Sender kRelRej{kSRelRej, Enc::UserData, 0, P_REL_REJ, "Sent a SRELREJ\n\n"};
constexpr Sender kRsynAb{kSRsynAb, Enc::RS, kPTokens, P_RSYN_AB, nullptr};
constexpr Sender kRsynRes{kSRsynRes, Enc::RS, kPSerial | kPTokens, P_RSYN_RES, nullptr};
constexpr Sender kRsynSet{kSRsynSet, Enc::RS, kPSerial | kPTokens, P_RSYN_SET, nullptr};
constexpr Sender kRsynRsp{kSRsynRsp, Enc::RSA, kPSerial | kPTokens, P_RSYN_RSP, nullptr};
constexpr Sender kSynmReq{kSSynmReq, Enc::UserData, 0, P_SYNM_REQ, nullptr};
constexpr Sender kSynmRsp{kSSynmRsp, Enc::UserData, 0, P_SYNM_RSP, nullptr};
constexpr Sender kSynReq{kSSynReq, Enc::UserData, kPSync, P_SYN_REQ, nullptr};
constexpr Sender kSynRsp{kSSynRsp, Enc::UserData, kPSerial, P_SYN_RSP, nullptr};
constexpr Sender kTdReq{kSTdReq, Enc::UserData, 0, P_TD_REQ, nullptr};
constexpr Sender kAbort{kSUabReq, Enc::Abort, 0, P_UAB_REQ, "Sent a SUABREQ\n\n"};
constexpr Sender kUerReq{kSUerReq, Enc::UserData, kPReason, P_UER_REQ, nullptr};

// The called address of an S-CONNECT request from the PIDU, in an item of
// the PIDU's tree; 0 or the error.
uint32_t calledAddress(const PIDU* pidu, SAddress** out) {
  const UL_Paddress& r = pidu->remote;
  auto given = [](const OctStgV& v) { return v.length != static_cast<uint32_t>(-1) && v.length != 0; };
  if (given(r.sSel) && (r.sSel.length > kSsapMaxLen || r.sSel.octets == nullptr)) return PE_SSELECTOR;
  // The session address holds fewer transport-selector octets than a
  // presentation address may carry: a longer one is refused, not cut.
  if (given(r.tSel) && (r.tSel.length > kTsapMaxLen || r.tSel.octets == nullptr)) return PE_TSELECTOR;
  const UL_NaddrEntry* n = nullptr;
  if (r.nAddrs.count > 0 && r.nAddrs.links.next != nullptr && r.nAddrs.links.next != &r.nAddrs.links)
    n = reinterpret_cast<const UL_NaddrEntry*>(r.nAddrs.links.next);
  if (n != nullptr && (n->addr.length > kNsapMaxLen || (n->addr.length > 0 && n->addr.octets == nullptr)))
    return PE_NADDRESS;
  XmTree* tree = xm_getParentOfItem(const_cast<PIDU*>(pidu));
  auto* a = tree != nullptr ? static_cast<SAddress*>(_xm_allocItem(tree, sizeof(SAddress), XM_ZERO)) : nullptr;
  if (a == nullptr) return PE_MALLOC;
  if (given(r.sSel)) {
    a->ssap.len = static_cast<uint8_t>(r.sSel.length);
    std::memcpy(a->ssap.sel, r.sSel.octets, r.sSel.length);
  }
  if (given(r.tSel)) {
    a->tsap.len = r.tSel.length;
    std::memcpy(a->tsap.sel, r.tSel.octets, r.tSel.length);
  }
  if (n != nullptr && n->addr.length > 0) {
    a->nsap.len = n->addr.length;
    std::memcpy(a->nsap.addr, n->addr.octets, n->addr.length);
  }
  *out = a;
  return 0;
}

// The transport provider of the connect, by the PIDU's transport kind.
void chooseProvider(const PIDU* pidu) {
  StpParams* p = QvGetStpParams();
  if (p == nullptr) return;
  switch (pidu->transportKind) {
    case 1:
      p->providerName = "TP024";
      p->providerKind = 0;
      break;
    case 2:
      p->providerName = "TP0TCP";
      p->providerKind = 1;
      break;
    default:
      p->providerName = "TP4";
      p->providerKind = 1;
      break;
  }
  if ((pidu->local.flags & kPiduLocalTClassGiven) != 0) p->transportClass = pidu->transportClass;
}

}  // namespace

const PsSessionService* psSessionService = &kSessionLayer;

// ---------------------------------------------------------------------------
// Set-up and checks

int32_t px_setup(Pmachine* pm, SIDU* sidu) {
  set_Pcalled(pm);
  directMult = 0;
  SessionBuffer* b = balloc(-1);
  if (b == nullptr) return fail(PE_BALLOC);
  sidu->userData = b;
  fSetUp(b);
  return 1;
}

int32_t pvDataMax(Pmachine* pm, SessionBuffer* chain, uint32_t event) {
  const uint32_t total = chainLength(chain);
  if (event != P_DT_REQ && event != P_TD_REQ) {
    if (pm->sessVersion == 1 && event != P_EX_REQ && total > kPsDataMaxV1) return fail(PE_DATA_MAX);
    if (event == P_EX_REQ && total > kPsExpeditedMax) return fail(PE_DATA_MAX);
  }
  if (pm->dataLimit != 0 && pm->dataLimit < total) return fail(PE_DATA_USER_MAX);
  return 1;
}

int32_t pvDataAbr(Pmachine* pm, uint32_t length) {
  if (pm != nullptr && pm->sessVersion == 1 && length >= 9) return fail(PE_DATA_MAX);
  return 1;
}

// ---------------------------------------------------------------------------
// Senders

int32_t pxACTDREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActdReq, noData); }
int32_t pxACTDRSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActdRsp, noData); }
int32_t pxACTEREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActeReq, noData); }
int32_t pxACTERSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActeRsp, noData); }
int32_t pxACTIREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActiReq, noData); }
int32_t pxACTIRSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActiRsp, noData); }
int32_t pxACTRREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActrReq, noData); }
int32_t pxACTSREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kActsReq, noData); }
int32_t pxPCDREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kCdReq, noData); }
int32_t pxPCDRSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kCdRsp, noData); }
int32_t pxCGREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kCgReq, noData); }
int32_t pxPCONACC(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kConAcc, 0); }
int32_t pxPCONREJ(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kConRej, 0); }
int32_t pxPEXREQ(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kExReq, 0); }
int32_t pxPGTREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kGtReq, noData); }
int32_t pxPPTREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kPtReq, noData); }
int32_t pxPRELREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kRelReq, noData); }
int32_t pxPRELACC(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kRelAcc, noData); }
int32_t pxPRELREJ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kRelRej, noData); }
int32_t pxRSYNAB(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kRsynAb, 0); }
int32_t pxRSYNRES(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kRsynRes, 0); }
int32_t pxRSYNSET(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kRsynSet, 0); }
int32_t pxRSYNRSP(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kRsynRsp, 0); }
int32_t pxSYNMREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kSynmReq, noData); }
int32_t pxSYNMRSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kSynmRsp, noData); }
int32_t pxSYNREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kSynReq, noData); }
int32_t pxSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kSynRsp, noData); }
int32_t pxPTDREQ(Pmachine* pm, PIDU* pidu) { return send(pm, pidu, kTdReq, 0); }
int32_t pxUERREQ(Pmachine* pm, PIDU* pidu, uint32_t noData) { return send(pm, pidu, kUerReq, noData); }

int32_t pxPDTREQ(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  if (pm->x410Mode == 0 && pm->segSend == 0) {
    SIDU sidu{};
    if (!encode(pm, &sidu, Enc::DataOrSimple, P_DT_REQ, 0)) return 0;
    // The unit ends with this request only when the PIDU says so.
    sidu.userData->prev->endFlag = pidu->endOfSdu != 0 ? 1 : 0;
    copyParams(0, pidu, &sidu);
    sidu.event = kSDtReq;
    pm->segSend = pidu->endOfSdu == 0 ? 1 : 0;
    return ps_session(pm->s, &sidu);
  }
  // X.410 mode and continuations: the buffers of the first element as they are.
  SIDU sidu{};
  sidu.userData = preEncodedChain(pidu);
  copyParams(0, pidu, &sidu);
  sidu.event = kSDtReq;
  pm->segSend = pm->x410Mode == 0 && pidu->endOfSdu == 0 ? 1 : 0;
  return ps_session(pm->s, &sidu);
}

int32_t pxPCONREQ(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  SIDU sidu{};
  if (pm->segSend == 0) {
    if (!encode(pm, &sidu, Enc::CP, P_CON_REQ, 0xFFFFFFFFu)) return 0;
  } else {
    sidu.userData = preEncodedChain(pidu);
  }
  auto failWith = [&](uint32_t err) {
    if (pm->segSend == 0) s_freeChain(sidu.userData);
    return fail(err);
  };
  chooseProvider(pidu);
  SAddress* called = nullptr;
  if (const uint32_t err = calledAddress(pidu, &called)) return failWith(err);
  SSAPaddr calling{};
  calling.ssap = local_ssap.ssel;
  sidu.callingSsap = &calling;
  sidu.address = called;
  copyParams(kPTokens | kPSerial | kPConnectWord | kPCid | kPRequirements | kPVersion, pidu, &sidu);
  sidu.event = kSConReq;
  pm->segSend = pidu->endOfSdu == 0 ? 1 : 0;
  TM_TRACE(ps_TM_handle, 16, kSrc, "\npxPCONREQ: s_connect() pidu->event=%d\n\n", static_cast<int>(pidu->event));
  Smachine* s = psSessionService->connect(&sidu);
  if (s == nullptr) {
    s_freeChain(sidu.userData);
    return fail(PE_SCONNECT);
  }
  pm->s = s;
  TM_TRACE(tm_ts_modCB, 16384, kSrc, "Sent a SCONREQ\n\n");
  return 1;
}

int32_t pxPPABREQ(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr) return fail(PE_MISS_PARM);
  SIDU sidu{};
  // A session of version 1 carries no ARP-PPDU in its abort.
  if (pm->sessVersion != 1 && !encode(pm, &sidu, Enc::Abort, P_UAB_REQ, 0)) return 0;
  sidu.credit = pidu != nullptr ? octetCredit(pidu->credit) : 0;
  sidu.event = kSUabReq;
  pm->segSend = 0;
  const int32_t r = ps_session(pm->s, &sidu);
  if (r != 0) TM_TRACE(tm_ts_modCB, 16384, kSrc, "Sent a SUABREQ\n\n");
  return r;
}

int32_t pxPUABREQ(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  pm->segSend = 0;
  return send(pm, pidu, kAbort, 0);
}

int32_t pxPRECEIVE(Pmachine* pm, PIDU* pidu) {
  if (pm == nullptr || pidu == nullptr) return fail(PE_MISS_PARM);
  SIDU sidu{};
  sidu.event = kSRcvReq;
  sidu.credit = octetCredit(pidu->credit);
  return ps_session(pm->s, &sidu);
}

int32_t ps_send_request(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData) {
  switch (request) {
    case PsRequest::ConnectRequest:
      return pxPCONREQ(pm, pidu);
    case PsRequest::ConnectAccept:
      return pxPCONACC(pm, pidu);
    case PsRequest::ConnectRefuse:
      return pxPCONREJ(pm, pidu);
    case PsRequest::UserAbort:
      return pxPUABREQ(pm, pidu);
    case PsRequest::ProviderAbort:
      return pxPPABREQ(pm, pidu);
    case PsRequest::Data:
      return pxPDTREQ(pm, pidu);
    case PsRequest::Expedited:
      return pxPEXREQ(pm, pidu);
    case PsRequest::CapabilityRequest:
      return pxPCDREQ(pm, pidu, noData);
    case PsRequest::CapabilityResponse:
      return pxPCDRSP(pm, pidu, noData);
    case PsRequest::TypedData:
      return pxPTDREQ(pm, pidu);
    case PsRequest::ResyncAbandon:
      return pxRSYNAB(pm, pidu);
    case PsRequest::ResyncRestart:
      return pxRSYNRES(pm, pidu);
    case PsRequest::ResyncSet:
      return pxRSYNSET(pm, pidu);
    case PsRequest::ResyncResponse:
      return pxRSYNRSP(pm, pidu);
    case PsRequest::QuickAbort:
      return PsendQabortDown(pm);
  }
  return fail(PE_MISS_PARM);
}

// ---------------------------------------------------------------------------
// The session entry

int32_t ps_session(Smachine* s, SIDU* sidu) {
  PsLock lock;
  TM_TRACE(ps_TM_handle, 64, kSrc, "\nps_session: Smachine=%lx sidu->event=%d\n\n", reinterpret_cast<unsigned long>(s),
           static_cast<int>(sidu->event));
  // Only a data unit may leave in pieces: the session layer carries the
  // pieces of one S-DATA or S-TYPED-DATA as the segments of its SSDU.
  const bool pieces = sidu->event == kSDtReq || sidu->event == kSTdReq;
  for (;;) {
    SessionBuffer* rest = nullptr;
    SessionBuffer* first = sidu->userData;
    if (pieces && first != nullptr && first->next != nullptr && first->next != first) {
      rest = first->next;
      first->prev->next = rest;
      rest->prev = first->prev;
      first->next = first->prev = first;
    }
    if (psSessionService->request(s, sidu) == 0) {
      const uint32_t err = QvGetSessionError();
      TM_TRACE(ps_TM_handle, 8, kSrc, "\nps_session: session() returns FALSE!!!!!!!\n\n");
      TM_TRACE(ps_TM_handle, 8, kSrc, "\nps_session: session error = 0x%x\n\n", static_cast<unsigned>(err));
      TM_TRACE(tm_ts_modCB, 4096, kSrc, "\nps_session: session() returns FALSE!!!!!!!\n\n");
      TM_TRACE(tm_ts_modCB, 4096, kSrc, "\nps_session: session error = 0x%x\n\n", static_cast<unsigned>(err));
      s_freeChain(rest);
      // 32769: the session layer already freed the data.
      if (err != S_EVENT_IGNORED) s_freeChain(sidu->userData);
      sidu->userData = nullptr;
      QvSetOsiError(static_cast<int32_t>(err));
      return 0;
    }
    TM_TRACE(ps_TM_handle, 64, kSrc, "\nps_session: session() returns true\n\n");
    if (rest == nullptr) return 1;
    // Each piece comes back as a data confirm; the user hears of the last.
    if (Pmachine* owner = find_pm_sm(s)) {
      ++owner->cnfSuppress;
      TM_TRACE(ps_TM_handle, 32, kSrc, "Total SDTCNF to be supressed is now %d for user %x\n",
               static_cast<int>(owner->cnfSuppress), static_cast<unsigned>(reinterpret_cast<uintptr_t>(owner->user)));
    }
    sidu->userData = rest;
    sidu->credit = 0;
  }
}

// ---------------------------------------------------------------------------
// Quick aborts

int32_t PsendQabortDown(Pmachine* pm) {
  if (find_pm_pm(pm) == nullptr) {
    TM_TRACE(ps_TM_handle, 2, kSrc, "OOPS: invalid pmachine passed to PsendQabortDown()\n\n");
    return fail(PE_PCEP_INVALID);
  }
  if (pm->s != nullptr) {
    SIDU sidu{};
    sidu.event = kSUabReq;
    sidu.credit = 1;
    TM_TRACE(tm_ts_modCB, 16384, kSrc, "Sent a SUABREQ\n\n");
    (void)ps_session(pm->s, &sidu);
  }
  return 1;
}

void PquickAbort(Pmachine* pm, PIDU* pidu) {
  PsLock lock;
  if (PsendQabortDown(pm) != 0) {
    GIDU* g = pm->abortGidu;
    pm->abortGidu = nullptr;
    PsIndication deliver = pm->user != nullptr ? pm->user->callback : nullptr;
    if (g != nullptr) {
      g->event = AL_QABORT;
      g->iduType = AL_IDU_PRES;
      g->idu = nullptr;
      g->pc = pm;
      g->ue = reinterpret_cast<void*>(static_cast<uintptr_t>(pm->userRef));
      if (pm->connRef != 0) g->uc = reinterpret_cast<void*>(static_cast<uintptr_t>(pm->connRef));
      if (g->extra != nullptr) std::memcpy(g->extra, kPsQuickAbortTag, sizeof kPsQuickAbortTag);
      al_selfLink(g);
      _xm_moveTree(nullptr, xm_getParentOfItem(g));
      if (deliver != nullptr) (void)deliver(g);
      else _xm_freeTree(xm_getParentOfItem(g));
    }
    if (find_pm_pm(pm) != nullptr) pm_dealloc(pm);
  }
  if (pidu != nullptr) p_free_pidu(pidu);
}
