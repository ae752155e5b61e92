// The ACSE service element: control blocks, send and receive entries, and
// the error paths.
#include "src/acse/acse_ase.h"

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acpm.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/acse_errno.h"
#include "src/acse/al_psap.h"
#include "src/acse/al_trace.h"
#include "src/acse/sao.h"
#include "src/asn1/decode_tree.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/acseAse";

constexpr uint32_t kEntry = 128;
constexpr uint32_t kProgress = 16;
constexpr uint32_t kError = 8;
constexpr uint32_t kMemory = 1;

void setOsi(uint32_t error) { QvSetOsiError(static_cast<int32_t>(error)); }

SaoCB* saoOf(const GIDU* g) { return static_cast<SaoCB*>(g->uc); }
AeHDR* hdrOf(const GIDU* g) { return static_cast<AeHDR*>(g->idu); }
AcseApdu* apduOf(const GIDU* g) { return static_cast<AcseApdu*>(hdrOf(g)->wrapped); }
XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

// The element's control block of the association: the SaoCB's current ASE
// block, when it is a live one.
AcseAseCB* cbOf(const SaoCB* sao) {
  auto* cb = sao != nullptr ? static_cast<AcseAseCB*>(sao->curAseBlock) : nullptr;
  return cb != nullptr && cb->mark == kAcseAseCbAlive ? cb : nullptr;
}

AcseAseTLS* initialisedTls() {
  AcseAseTLS* t = getAcseAseTLS(0);
  return t != nullptr && t->initialised != 0 && t->head != nullptr ? t : nullptr;
}

void progress(const char* message) { TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "%s\n", message); }
void called(const char* handler) { TM_TRACE(ac_aseTMHandle, kEntry, kSrc, "%s() Called\n", handler); }

void checkFailed(int32_t line, const char* message) {
  if (tm_siteOn(ac_aseTMHandle, kError))
    tm_traceSite(ac_aseTMHandle, kError, kSrc, line, "*** Error in file %s, line %d, -- %s\n", kSrc, line, message);
}

void dropGidu(GIDU* g, const char* line1, const char* line2) {
  TM_TRACE(ac_aseTMHandle, kError, kSrc, "%s\n", line1);
  TM_TRACE(ac_aseTMHandle, kError, kSrc, "%s\n", line2);
  AL_deleteGiduWithAeHDR(g);
}

// Going on with the running SACF pass: down towards the presentation layer
// through the SACF send entry, up towards the user through the receive
// entry. A SaoCB without the entry drops the GIDU.
void down(GIDU* g) {
  SaoCB* sao = saoOf(g);
  if (sao != nullptr && sao->sacfSnd != nullptr) return sao->sacfSnd(g);
  TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** ac_ase: no SACF send entry, GIDU deleted\n");
  AL_deleteGiduWithAeHDR(g);
}
void up(GIDU* g) {
  SaoCB* sao = saoOf(g);
  if (sao != nullptr && sao->sacfRcv != nullptr) return sao->sacfRcv(g);
  TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** ac_ase: no SACF receive entry, GIDU deleted\n");
  AL_deleteGiduWithAeHDR(g);
}

void deletePending(SaoCB* sao) { sao->saoFlags |= SAO_DELETE_PENDING; }

uint32_t acseContext(const SaoCB* sao) { return AL_cnvrtIduType(sao, AL_IDU_ACSE); }

// Frees what the GIDU's header wraps (an APDU or a PIDU) with the tree of
// its own that holds it, and clears the header's hold on it.
void freeWrapped(GIDU* g) {
  AeHDR* hdr = hdrOf(g);
  if (hdr == nullptr || hdr->wrapped == nullptr) return;
  void* top = g->idu;
  g->idu = hdr->wrapped;
  al_freeUnit(g);
  g->idu = top;
  hdr->wrapped = nullptr;
}

// A zeroed record of `code` in a new tree under the GIDU's; NULL after
// the memory-failure line of `who` and quick aborts (the GIDU consumed).
AcseApdu* allocApdu(GIDU* g, uint32_t code, const char* who) {
  auto* a = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
  if (a == nullptr) {
    TM_TRACE(ac_aseTMHandle, kMemory, kSrc, "*** MEMORY ALLOCATION FAILURE (in %s()) \n", who);
    AC_aseCreateErr(g, AC_ASE_ERR_NO_RESOURCE, AC_ERR_MODE_QUICK);
    return nullptr;
  }
  _xm_moveTree(treeOf(g), treeOf(a));
  a->code = code;
  return a;
}

AcseApdu* AC_aseAllocAbt(GIDU* g, uint32_t source) {
  AcseApdu* a = allocApdu(g, AC_APDU_ABRT, "AC_aseAllocAbt");
  if (a != nullptr) a->abrt.source = source;
  return a;
}

AcseApdu* AC_aseAllocPAbt(GIDU* g, int32_t reason) {
  AcseApdu* a = allocApdu(g, AC_APDU_PABRT, "AC_aseAllocPAbt");
  if (a != nullptr) a->pabrt.reason = reason;
  return a;
}

AcseApdu* AC_aseAllocAssoc(GIDU* g) {
  AcseApdu* a = allocApdu(g, AC_APDU_AARE, "AC_aseAllocAssoc");
  if (a != nullptr) {
    a->aare.result = AC_RESULT_REJECTED_PERMANENT;
    a->aare.resultSource = AC_SOURCE_PROVIDER;
    a->aare.diagnostic = 1;
  }
  return a;
}

// A refused event: downward it comes back to the user as a local error,
// upward it ends the association both ways.
enum class Dir { Up = 1, Down = 2 };

void AC_aseInvalidEventHandler(GIDU* g, Dir dir) {
  TM_TRACE(ac_aseTMHandle, kEntry, kSrc, "ac_aseInvalidEventHandler() Called\n");
  freeWrapped(g);
  if (dir == Dir::Up) {
    deletePending(saoOf(g));
    AC_aseCreateAbt(g, AC_ASE_ERR_INVALID_EVENT);
    return;
  }
  AL_deleteAeHDR(g);
  g->idu = nullptr;
  AC_aseCreateErr(g, AC_ASE_ERR_INVALID_EVENT, AC_ERR_MODE_LOCAL);
}

// The machine refused the event: its result (or ac_errno) in errNo.
void refusedByMachine(GIDU* g, int32_t result) {
  if (result == ACPM_NO_RECORD) {
    g->errNo = QvGetAcError();
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** acseFsm sets ac_errno: %d\n", static_cast<int32_t>(g->errNo));
  } else {
    g->errNo = static_cast<uint32_t>(result);
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** acseFsm does not like the event, return code: %d\n", result);
  }
}

int32_t runMachine(GIDU* g, int32_t event) {
  AcseAseCB* cb = cbOf(saoOf(g));
  return acseFsm(cb != nullptr ? &cb->acpm : nullptr, event);
}

// One row of the dispatch of an entry: the machine's event and the result
// that lets the GIDU go on with its new event, down in presentation event
// `pev` or up when that is 0.
struct Step {
  const char* handler;
  int32_t acpmEvent;
  int32_t expected;
  uint32_t pev;
  uint32_t newEvent;
  enum Mark { None, After, First } mark;
  const char* done;
  const char* refused;
};

constexpr const char* kAscReq = "Sending an Association Request to the peer";
constexpr const char* kAscReqBad = "Invalid Association Request event in ACSE State Machine";
constexpr const char* kAscRsp = "Sending an Association Response to the peer";
constexpr const char* kAscRspBad = "Invalid Association Response event in ACSE State Machine";
constexpr const char* kRlsReq = "Sending an Association Release Request to the peer";
constexpr const char* kRlsReqBad = "Invalid Association Release Request event in ACSE State Machine";
constexpr const char* kRlsRsp = "Sending an Association Release Response to the peer";
constexpr const char* kRlsRspBad = "Invalid Association Release Response event in ACSE State Machine";
constexpr const char* kAbrReq = "Sending an Association Abort Request to the peer";
constexpr const char* kAbrReqBad = "Invalid Association Abort Request event in ACSE State Machine";

constexpr Step kSndAarq{"AC_aseAARQReqHandler", ACPM_EV_ASC_REQ, ACPM_SEND_AARQ, P_CON_REQ, AC_EV_AARQ,
                        Step::None, kAscReq, kAscReqBad};
constexpr Step kSndAareAcc{"AC_aseAARQRspHandler", ACPM_EV_ASC_RSP_ACC, ACPM_SEND_AARE_ACC, P_CON_ACC, AC_EV_AARE,
                           Step::None, kAscRsp, kAscRspBad};
constexpr Step kSndAareRej{"AC_aseAARQRspHandler", ACPM_EV_ASC_RSP_REJ, ACPM_SEND_AARE_REJ, P_CON_REJ, AC_EV_AARE,
                           Step::After, kAscRsp, kAscRspBad};
constexpr Step kSndRlrq{"AC_aseAAREReqHandler", ACPM_EV_RLS_REQ, ACPM_SEND_RLRQ, P_REL_REQ, AC_EV_RLRQ,
                        Step::None, kRlsReq, kRlsReqBad};
constexpr Step kSndRlreAcc{"AC_aseAARERspHandler", ACPM_EV_RLS_RSP_ACC, ACPM_SEND_RLRE_ACC, P_REL_ACC, AC_EV_RLRE,
                           Step::After, kRlsRsp, kRlsRspBad};
constexpr Step kSndRlreRej{"AC_aseAARERspHandler", ACPM_EV_RLS_RSP_REJ, ACPM_SEND_RLRE_REJ, P_REL_REJ, AC_EV_RLRE,
                           Step::None, kRlsRsp, kRlsRspBad};
constexpr Step kSndAbrt{"AC_aseACABReqHandler", ACPM_EV_ABRT_REQ, ACPM_SEND_ABRT, P_UAB_REQ, AC_EV_ABRT,
                        Step::First, kAbrReq, kAbrReqBad};

constexpr const char* kRc = "Receiving an Association RC from the peer";
constexpr const char* kRcBad = "Invalid Association RC event in ACSE State Machine";

constexpr Step kRcvAareAcc{"AC_aseAARQRcHandler", ACPM_EV_AARE_ACC, ACPM_ASC_CNF_ACC, 0, AL_A_ASSOC_CNF,
                           Step::None, kRc, kRcBad};
constexpr Step kRcvAareRej{"AC_aseAARQRcHandler", ACPM_EV_AARE_REJ, ACPM_ASC_CNF_REJ, 0, AL_A_ASSOC_CNF,
                           Step::After, kRc, kRcBad};
constexpr Step kRcvRlrq{"AC_aseAARERiHandler", ACPM_EV_RLRQ, ACPM_RLS_IND, 0, AL_A_RELEASE_IND, Step::None,
                        "Receiving an Association Release RI from the peer",
                        "Invalid Association Release RI event in ACSE State Machine"};
constexpr Step kRcvRlreAcc{"AC_aseAARERcHandler", ACPM_EV_RLRE_ACC, ACPM_RLS_CNF_ACC, 0, AL_A_RELEASE_CNF,
                           Step::After, "Receiving an Association Release RC from the peer",
                           "Invalid Association Release RC event in ACSE State Machine"};
constexpr Step kRcvRlreRej{"AC_aseAARERcHandler", ACPM_EV_RLRE_REJ, ACPM_RLS_CNF_REJ, 0, AL_A_RELEASE_CNF,
                           Step::None, "Receiving an Association Release RC from the peer",
                           "Invalid Association Release RC event in ACSE State Machine"};
constexpr Step kRcvAbrt{"AC_aseACABRiHandler", ACPM_EV_ABRT, ACPM_ABRT_IND, 0, AL_A_ABORT_IND, Step::First,
                        "Receiving an Association Abort RI from the peer",
                        "Invalid Association Abort RI event in ACSE State Machine"};

// AC_aseEnterFsm: runs the machine for the step; on the expected result
// the GIDU takes its new event and goes on. False when refused (errNo and
// the machine's lines traced).
bool enterFsm(GIDU* g, const Step& s, int32_t result) {
  TM_TRACE(ac_aseTMHandle, kEntry, kSrc, "AC_aseEnterFsm() Called\n");
  if (result != s.expected) {
    refusedByMachine(g, result);
    return false;
  }
  g->event = s.newEvent;
  if (s.pev == 0) {
    up(g);
    return true;
  }
  AeHDR* hdr = hdrOf(g);
  hdr->hdrWord1 = s.pev;
  hdr->hdrOrigin = AC_ORIGIN_ACSE;
  if (const uint32_t ctx = acseContext(saoOf(g)); ctx != 0) hdr->pctxId = ctx;
  down(g);
  return true;
}

// A handler of a step: the GIDU goes on, or is refused in direction `dir`.
void handle(GIDU* g, const Step& s, Dir dir) {
  called(s.handler);
  SaoCB* sao = saoOf(g);
  if (s.mark == Step::First) deletePending(sao);
  if (enterFsm(g, s, runMachine(g, s.acpmEvent))) {
    if (s.mark == Step::After) deletePending(sao);
    progress(s.done);
    return;
  }
  progress(s.refused);
  AC_aseInvalidEventHandler(g, dir);
}

// The APDU the GIDU must carry for its event.
bool carries(const GIDU* g, uint32_t code) { return apduOf(g)->code == code; }

// A received AARQ: delivered, or answered with a rejecting AARE when this
// side refuses it.
void AC_aseAARQRiHandler(GIDU* g) {
  called("AC_aseAARQRiHandler");
  const Step s{"AC_aseAARQRiHandler", ACPM_EV_AARQ, ACPM_ASC_IND, 0, AL_A_ASSOC_IND, Step::None,
               "Receiving  an Association Indication from the peer", "Invalid Association RI event in ACSE State Machine"};
  const int32_t r = runMachine(g, s.acpmEvent);
  if (r == ACPM_REFUSE_AARQ) {
    deletePending(saoOf(g));
    progress("Receiving  an Association RI from the peer");
    progress("and Sending a negative Association RC to  the peer");
    AC_aseCreateAarqN(g);
    return;
  }
  if (enterFsm(g, s, r)) {
    progress(s.done);
    return;
  }
  progress(s.refused);
  AC_aseInvalidEventHandler(g, Dir::Up);
}

// The presentation primitives that end or refuse a connection become ACSE
// GIDUs carrying a record made here.
struct PresStep {
  enum Kind { UAbort, PAbort, ConRef } kind;
  const char* handler;
  int32_t acpmEvent;
  int32_t expected;
  int32_t alsoAccepted;
  uint32_t newEvent;
  const char* done;
  const char* refused;
};

constexpr PresStep kPUAbort{PresStep::UAbort, "AC_asePUABIndHandler", ACPM_EV_ABRT, ACPM_ABRT_IND, ACPM_ABRT_IND, AL_A_ABORT_IND,
                            "Receiving a Presentation U-Abort Indication",
                            "*** Invalid Presentation User Abort indication in ACSE State Machine"};
constexpr PresStep kPPAbort{PresStep::PAbort, "AC_asePPABIndHandler", ACPM_EV_PP_ABORT, ACPM_PABRT_IND, ACPM_PABRT_IND,
                            AL_A_PABORT_IND, "Receiving a Presentation Abort Indication",
                            "Invalid Presentation Provider Abort indication in ACSE State Machine"};
constexpr PresStep kPConRef{PresStep::ConRef, "AC_asePCONRefHandler", ACPM_EV_PCON_REFUSED, ACPM_ASC_CNF_REJ, 10, AL_A_ASSOC_CNF,
                            "Receiving a P-CONNECTION (Reject) Confirm",
                            "Invalid Presentation Connection (Reject) Confirm in ACSE State Machine"};

void presHandler(GIDU* g, const PresStep& s) {
  called(s.handler);
  SaoCB* sao = saoOf(g);
  deletePending(sao);
  const int32_t r = runMachine(g, s.acpmEvent);
  if (r != s.expected && r != s.alsoAccepted) {
    refusedByMachine(g, r);
    progress(s.refused);
    AC_aseInvalidEventHandler(g, Dir::Up);
    return;
  }
  const auto* pidu = static_cast<const PIDU*>(hdrOf(g)->wrapped);
  const int32_t reason = pidu->reason;
  freeWrapped(g);
  g->iduType = AL_IDU_ACSE;
  g->event = s.newEvent;
  AeHDR* hdr = hdrOf(g);
  hdr->hdrOrigin = AC_ORIGIN_ACSE;
  hdr->pctxId = acseContext(sao);
  AcseApdu* a = s.kind == PresStep::UAbort   ? AC_aseAllocAbt(g, AC_ABORT_USER)
                : s.kind == PresStep::PAbort ? AC_aseAllocPAbt(g, reason)
                                             : AC_aseAllocAssoc(g);
  if (a == nullptr) return;
  hdr->wrapped = a;
  progress(s.done);
  up(g);
}

// The trace lines around a dispatch.
struct StateTrace {
  StateTrace(const GIDU* g) : cb(cbOf(saoOf(g))), uc(g->uc) {
    if (!tm_siteOn(ac_aseTMHandle, kEntry)) return;
    char name[AL_EVENT_TEXT_SIZE];
    const char* e = al_traceEvent(g, name);
    tm_traceSite(ac_aseTMHandle, kEntry, kSrc, __LINE__, "Input_State: %d; %s\n", cb->acpm.state, e);
  }
  ~StateTrace() {
    TM_TRACE(ac_aseTMHandle, kEntry, kSrc, "Output_State: %d; uc=%lx\n", cb->acpm.state,
             reinterpret_cast<unsigned long>(uc));
  }
  const AcseAseCB* cb;
  const void* uc;
};

// AC_aseCheckParam: what both entries need before they look at the GIDU.
bool checkParam(GIDU* g) {
  if (initialisedTls() == nullptr) {
    checkFailed(__LINE__, "the ACSE ASE is not initialized.");
    AL_deleteGiduWithAeHDR(g);
    return false;
  }
  if (g == nullptr) {
    checkFailed(__LINE__, "Invalid IDU Received");
    setOsi(AC_ASE_ERR_INVALID_EVENT);
    return false;
  }
  SaoCB* sao = saoOf(g);
  if (sao == nullptr) {
    checkFailed(__LINE__, "Invalid user_con_ref in the IDU Received");
    AL_deleteGiduWithAeHDR(g);
    return false;
  }
  if (cbOf(sao) == nullptr) {
    checkFailed(__LINE__, "Invalid aseCB in saoCB");
    AL_deleteGiduWithAeHDR(g);
    return false;
  }
  if (!al_isPrimitive(g->event) || g->iduType == AL_IDU_PRES || g->idu == nullptr || hdrOf(g)->wrapped == nullptr) {
    checkFailed(__LINE__, "Invalid IDU Received");
    AC_aseCreateErr(g, AC_ASE_ERR_INVALID_EVENT, AC_ERR_MODE_LOCAL);
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries

void ac_aseSnd(GIDU* gidu, PctxEntry*, void*, SaoCB*) {
  AL_TRACE_GIDU(ac_aseTMHandle, kEntry, kSrc, "ac_aseSnd()", gidu, 1);
  if (!checkParam(gidu)) return;
  StateTrace states(gidu);
  if (gidu->iduType != AL_IDU_ACSE) {
    checkFailed(__LINE__, "Not a ACSE ASE Service request or response");
    return AC_aseInvalidEventHandler(gidu, Dir::Down);
  }
  const AcseApdu* apdu = apduOf(gidu);
  switch (gidu->event) {
    case AL_A_ASSOC_REQ:
      if (carries(gidu, AC_APDU_AARQ)) return handle(gidu, kSndAarq, Dir::Down);
      break;
    case AL_A_ASSOC_RSP:
      if (carries(gidu, AC_APDU_AARE))
        return handle(gidu, apdu->aare.result == AC_RESULT_ACCEPTED ? kSndAareAcc : kSndAareRej, Dir::Down);
      break;
    case AL_A_RELEASE_REQ:
      if (carries(gidu, AC_APDU_RLRQ)) return handle(gidu, kSndRlrq, Dir::Down);
      break;
    case AL_A_RELEASE_RSP:
      if (carries(gidu, AC_APDU_RLRE))
        return handle(gidu, apdu->rlre.releaseResult == 0 ? kSndRlreAcc : kSndRlreRej, Dir::Down);
      break;
    case AL_A_ABORT_REQ:
      if (carries(gidu, AC_APDU_ABRT)) return handle(gidu, kSndAbrt, Dir::Down);
      break;
    default:
      break;
  }
  checkFailed(__LINE__, "Not a ACSE ASE Service request or response");
  AC_aseInvalidEventHandler(gidu, Dir::Down);
}

void ac_aseRcv(GIDU* gidu, PctxEntry*, void*, SaoCB*) {
  AL_TRACE_GIDU(ac_aseTMHandle, kEntry, kSrc, "ac_aseRcv()", gidu, 1);
  if (!checkParam(gidu)) return;
  StateTrace states(gidu);
  if (gidu->iduType == AL_IDU_PRES_RCV) {
    switch (static_cast<const PIDU*>(hdrOf(gidu)->wrapped)->event) {
      case P_UAB_IND: return presHandler(gidu, kPUAbort);
      case P_PAB_IND: return presHandler(gidu, kPPAbort);
      case P_CON_REF: return presHandler(gidu, kPConRef);
      default: break;
    }
  } else if (gidu->iduType == AL_IDU_ACSE) {
    AcseApdu* apdu = apduOf(gidu);
    switch (gidu->event) {
      case AC_EV_AARQ:
        if (carries(gidu, AC_APDU_AARQ)) return AC_aseAARQRiHandler(gidu);
        break;
      case AC_EV_AARE:
        if (carries(gidu, AC_APDU_AARE))
          return handle(gidu, apdu->aare.result == AC_RESULT_ACCEPTED ? kRcvAareAcc : kRcvAareRej, Dir::Up);
        break;
      case AC_EV_RLRQ:
        if (carries(gidu, AC_APDU_RLRQ)) return handle(gidu, kRcvRlrq, Dir::Up);
        break;
      case AC_EV_RLRE:
        if (carries(gidu, AC_APDU_RLRE)) {
          // Only the release result is delivered.
          apdu->rlre.presence = AC_RLRE_RELEASE_RESULT;
          return handle(gidu, apdu->rlre.releaseResult == 0 ? kRcvRlreAcc : kRcvRlreRej, Dir::Up);
        }
        break;
      case AC_EV_ABRT:
        if (carries(gidu, AC_APDU_ABRT)) return handle(gidu, kRcvAbrt, Dir::Up);
        break;
      default:
        break;
    }
  }
  checkFailed(__LINE__, "Neither an ACSE nor a Pres event");
  AC_aseInvalidEventHandler(gidu, Dir::Up);
}

// ---------------------------------------------------------------------------
// Control blocks

int32_t ac_aseInit() {
  AcseAseTLS* t = getAcseAseTLS(0);
  if (t == nullptr) {
    setOsi(AC_ASE_ERR_NO_RESOURCE);
    return 0;
  }
  if (t->initialised != 0) {
    setOsi(AC_ASE_ERR_INITIALIZED_ALREADY);
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "AC ASE already initialized\n");
    return 0;
  }
  auto* head = static_cast<AcseAseCB*>(_xm_allocItemWithTree(sizeof(AcseAseCB), XM_ZERO));
  if (head == nullptr) {
    setOsi(AC_ASE_ERR_NO_RESOURCE);
    TM_TRACE(ac_aseTMHandle, kMemory, kSrc, "*** MEMORY ALLOCATION FAILURE (in ac_aseInit()) \n");
    return 0;
  }
  head->next = head->prev = head;
  t->head = head;
  t->initialised = 1;
  TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "ACSE ASE initialized.\n");
  return 1;
}

void* ac_aseEstab() {
  AcseAseTLS* t = initialisedTls();
  if (t == nullptr) {
    setOsi(AC_ASE_ERR_NOT_INITIALIZED);
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "ACSE ASE not initialized\n");
    return nullptr;
  }
  auto* cb = static_cast<AcseAseCB*>(_xm_allocItem(treeOf(t->head), sizeof(AcseAseCB), XM_ZERO));
  if (cb == nullptr) {
    setOsi(AC_ASE_ERR_NO_RESOURCE);
    TM_TRACE(ac_aseTMHandle, kMemory, kSrc, "*** MEMORY ALLOCATION FAILURE (in ac_aseEstab()) \n");
    return nullptr;
  }
  cb->mark = kAcseAseCbAlive;
  cb->acpm = AcpmRecord{ACPM_IDLE, 0};
  cb->prev = t->head->prev;
  cb->next = t->head;
  t->head->prev->next = cb;
  t->head->prev = cb;
  TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "an instant of ACSE ASE has been established: the acse ase CB: 0x%lx)\n",
           reinterpret_cast<unsigned long>(cb));
  return cb;
}

int32_t ac_aseRel(void* aseCB, int32_t mode) {
  TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "Terminating association for ACSE ASE cb = 0x%lx\n",
           reinterpret_cast<unsigned long>(aseCB));
  AcseAseTLS* t = initialisedTls();
  if (t == nullptr) {
    setOsi(AC_ASE_ERR_NOT_INITIALIZED);
    return 0;
  }
  AcseAseCB* cb = t->head->next;
  while (cb != t->head && cb != aseCB) cb = cb->next;
  if (cb == t->head) {
    setOsi(AC_ASE_ERR_INVALID_CB);
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** the ACSE ASE cb does not exist,acse aseCB = 0x%lx, ac_aseHead = 0x%lx\n",
             reinterpret_cast<unsigned long>(aseCB), reinterpret_cast<unsigned long>(t->head));
    return 0;
  }
  if (mode != 0 && mode != 1) {
    setOsi(AC_ASE_ERR_INVALID_PARAMETERS);
    return 0;
  }
  if (mode == 1) return 1;
  cb->prev->next = cb->next;
  cb->next->prev = cb->prev;
  cb->mark = kAcseAseCbReleased;
  _xm_freeItem(cb);
  TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "ACSE ASE is released successfully\n");
  return 1;
}

int32_t ac_aseTerm() {
  AcseAseTLS* t = initialisedTls();
  if (t == nullptr) {
    setOsi(AC_ASE_ERR_NOT_INITIALIZED);
    return 0;
  }
  if (t->head->next != t->head) {
    setOsi(AC_ASE_ERR_ACTIVE_USERS);
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "The ACSE ASE still active, can not terminate\n");
    return 0;
  }
  _xm_freeTree(treeOf(t->head));
  t->head = nullptr;
  t->initialised = 0;
  TM_TRACE(ac_aseTMHandle, kProgress, kSrc, "ACSE ASE terminated successfully\n");
  return 1;
}

int32_t ac_aseStart() {
  TM_TRACE(ac_aseTMHandle, kError, kSrc, "*** ac_aseStart: starting the ACSE ASE is not supported\n");
  setOsi(AC_ASE_ERR_NO_START);
  return 0;
}

// ---------------------------------------------------------------------------
// Error paths

void AC_aseCreateErr(GIDU* gidu, uint32_t error, int32_t mode) {
  if (gidu == nullptr) {
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "invalid idu passed to ac_aseCreateErr\n");
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "no error is generated\n");
    return;
  }
  SaoCB* sao = saoOf(gidu);
  if (sao != nullptr && cbOf(sao) == nullptr)
    return dropGidu(gidu, "illegal  cb in the saoCB passed to ac_aseCreateErr", "no error is generated");
  setOsi(error);
  if (mode == AC_ERR_MODE_LOCAL) {
    AL_createLocalError(gidu, error);
    gidu->iduType = AL_IDU_ACSE;
    return up(gidu);
  }
  if (sao == nullptr)
    return dropGidu(gidu, "Invalid SAO CB in IDU passed to AC_aseCreateErr", "No Quick Aborts is generated");
  deletePending(sao);
  AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, error);
  AL_deleteGiduWithAeHDR(gidu);
}

void AC_aseCreateAbt(GIDU* gidu, uint32_t error) {
  if (gidu == nullptr) {
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "invalid idu passed to AC_aseCreateAbt\n");
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "no abort is generated\n");
    return;
  }
  SaoCB* sao = saoOf(gidu);
  if (sao == nullptr)
    return dropGidu(gidu, "Invalid SAO CB in IDU passed to AC_aseCreateAbt", "No  Aborts are generated");
  if (cbOf(sao) == nullptr)
    return dropGidu(gidu, "illegal  cb in the saoCB passed to AC_aseCreateAbt", "no abort is generated");
  deletePending(sao);
  setOsi(error);
  const uint32_t ctx = acseContext(sao);

  GIDU* req = al_createGidu(nullptr, AL_IDU_ACSE, AC_EV_ABRT);
  AeHDR* reqHdr = req != nullptr ? AL_createAeHDR(req) : nullptr;
  AeHDR* hdr = gidu->idu != nullptr ? hdrOf(gidu) : AL_createAeHDR(gidu);
  if (reqHdr == nullptr || hdr == nullptr) {
    TM_TRACE(ac_aseTMHandle, kMemory, kSrc, "*** MEMORY ALLOCATION FAILURE (in AC_aseAllocAbt()) \n");
    al_deleteGidu(req);
    return AC_aseCreateErr(gidu, AC_ASE_ERR_NO_RESOURCE, AC_ERR_MODE_QUICK);
  }
  req->errNo = error;
  reqHdr->hdrOrigin = AC_ORIGIN_ACSE;
  reqHdr->pctxId = ctx;
  reqHdr->hdrWord1 = P_UAB_REQ;

  freeWrapped(gidu);
  gidu->iduType = AL_IDU_ACSE;
  gidu->event = AL_A_ABORT_IND;
  gidu->errNo = error;
  hdr->hdrOrigin = AC_ORIGIN_ACSE;
  hdr->pctxId = ctx;
  req->ue = gidu->ue;
  req->pe = gidu->pe;
  req->uc = gidu->uc;
  req->pc = gidu->pc;
  AcseApdu* ind = AC_aseAllocAbt(gidu, AC_ABORT_PROVIDER);
  if (ind == nullptr) {
    al_deleteGidu(req);
    return;
  }
  hdr->wrapped = ind;
  up(gidu);
  AcseApdu* abrt = AC_aseAllocAbt(req, AC_ABORT_PROVIDER);
  if (abrt == nullptr) return;
  reqHdr->wrapped = abrt;
  down(req);
}

namespace {

// A rejecting AARE in place of the received AARQ, sent down in a negative
// P-CONNECT response. The AARE carries the connection result, which the
// conversion hands to the presentation layer.
void createAarqN(GIDU* gidu, uint32_t source, uint32_t diagnostic, bool markDeletion) {
  constexpr const char* kWho = "AC_aseCreateAarqN";
  if (gidu == nullptr || gidu->idu == nullptr || hdrOf(gidu)->wrapped == nullptr ||
      apduOf(gidu)->code != AC_APDU_AARQ) {
    if (gidu != nullptr) return dropGidu(gidu, "invalid idu passed to AC_aseCreateAarqN", "no A-Association-RC is generated");
    TM_TRACE(ac_aseTMHandle, kError, kSrc, "invalid idu passed to AC_aseCreateAarqN\n");
    return;
  }
  SaoCB* sao = saoOf(gidu);
  if (cbOf(sao) == nullptr)
    return dropGidu(gidu, "illegal  cb in the saoCB passed to AC_aseCreateAarqN", "no abort is generated");
  if (markDeletion) deletePending(sao);
  const AcAarq& aarq = apduOf(gidu)->aarq;
  auto* rsp = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
  XmTree* tree = rsp != nullptr ? treeOf(rsp) : nullptr;
  AcAare* aare = rsp != nullptr ? &rsp->aare : nullptr;
  if (aare != nullptr) {
    aare->connResult.respondingAddress.nAddrs.links.next = &aare->connResult.respondingAddress.nAddrs.links;
    aare->connResult.respondingAddress.nAddrs.links.prev = &aare->connResult.respondingAddress.nAddrs.links;
  }
  if (aare == nullptr || ul_objidvcpy(&aare->contextName, &sao->appContext, tree) == 0 ||
      al_copyPSAP(&aare->connResult.respondingAddress, &aarq.connParams.callingAddress, tree) == nullptr) {
    if (tree != nullptr) _xm_freeTree(tree);
    TM_TRACE(ac_aseTMHandle, kMemory, kSrc, "*** MEMORY ALLOCATION FAILURE (in %s()) \n", kWho);
    return AC_aseCreateErr(gidu, AC_ASE_ERR_NO_RESOURCE, AC_ERR_MODE_QUICK);
  }
  rsp->code = AC_APDU_AARE;
  aare->presence = AC_AARE_VERSION | AC_AARE_CONN_RESULT;
  aare->protocolVersion = kAcProtocolVersion1;
  aare->result = AC_RESULT_REJECTED_PERMANENT;
  aare->resultSource = source;
  aare->diagnostic = diagnostic;
  AcConnResult& cr = aare->connResult;
  cr.presentationResult = 2;  // provider rejection
  cr.presRequirements = aarq.connParams.presRequirements;
  cr.sessRequirements = aarq.connParams.sessRequirements;
  cr.initialTokens = 0;
  cr.presence = AC_CR_RESPONDING_ADDRESS | AC_CR_PRES_REQUIREMENTS | AC_CR_TOKENS;
  freeWrapped(gidu);
  _xm_moveTree(treeOf(gidu), tree);
  AeHDR* hdr = hdrOf(gidu);
  hdr->wrapped = rsp;
  hdr->hdrOrigin = AC_ORIGIN_ACSE;
  hdr->pctxId = acseContext(sao);
  hdr->hdrWord1 = P_CON_REJ;
  gidu->iduType = AL_IDU_ACSE;
  gidu->event = AC_EV_AARE;
  down(gidu);
}

}  // namespace

void AC_aseCreateAarqN(GIDU* gidu) { createAarqN(gidu, AC_SOURCE_PROVIDER, 1, false); }

void AC_aseCreateAarqNWithReason(GIDU* gidu, uint32_t diagnostic) {
  createAarqN(gidu, AC_SOURCE_USER, diagnostic, true);
}
