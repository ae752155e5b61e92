// The SACF of RDA: the passes along the route table, the sequence check and
// the typing of received GIDUs.
#include "src/rda/rda_sacf.h"

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/acse/flow.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_trace.h"
#include "src/rda/rdatls.h"

namespace {

constexpr const char* kSrc = "src/rda_sacf";

constexpr uint32_t kOriginSacf = 3;

// A received empty alternative [2]: the code the server's state check
// knows it by.
constexpr uint32_t kEmptyReceived = 0x80D8;

// SACF events.
enum : uint8_t {
  EV_ASSOC = 0,
  EV_ASSOC_ACCEPTED = 1,
  EV_ASSOC_REJECTED = 2,
  EV_RELEASE = 3,
  EV_RELEASE_AFFIRMATIVE = 4,
  EV_RELEASE_NEGATIVE = 5,
  EV_ABORT = 6,
  EV_INIT = 7,
  EV_INIT_RSP = 8,
  EV_INIT_ERR = 9,
  EV_TERM = 10,
  EV_TERM_RSP = 11,
  EV_TERM_ERR = 12,
  EV_OTHER_REQ = 13,
  EV_OTHER_RSP = 14,
};

constexpr uint32_t row(uint32_t code) { return (code & AL_EV_CODE_MASK) >> 1; }

// An event and its delivered form (+4) share a SACF event.
template <size_t N>
constexpr void setPair(std::array<uint8_t, N>& t, uint32_t code, uint8_t ev) {
  t[row(code)] = ev;
  t[row(code + AL_EV_DELIVERED)] = ev;
}

constexpr std::array<uint8_t, kSacfRdaEventRows> makeRdaEventTbl() {
  std::array<uint8_t, kSacfRdaEventRows> t{};
  for (uint8_t& c : t) c = kSacfNoEvent;
  setPair(t, rdaRequestEvent(0), EV_INIT);
  setPair(t, rdaResponseEvent(0), EV_INIT_RSP);
  setPair(t, rdaErrorEvent(0), EV_INIT_ERR);
  setPair(t, rdaRequestEvent(1), EV_TERM);
  setPair(t, rdaResponseEvent(1), EV_TERM_RSP);
  setPair(t, rdaErrorEvent(1), EV_TERM_ERR);
  for (uint32_t k = 2; k < kRdaServiceCount; ++k) {
    setPair(t, rdaRequestEvent(k), EV_OTHER_REQ);
    // R-BeginTransaction (2) answers with an error only.
    if (k >= 3) setPair(t, rdaResponseEvent(k), EV_OTHER_RSP);
    setPair(t, rdaErrorEvent(k), EV_OTHER_RSP);
  }
  return t;
}

constexpr std::array<uint8_t, kSacfAcseEventRows> makeAcseEventTbl() {
  std::array<uint8_t, kSacfAcseEventRows> t{};
  for (uint8_t& c : t) c = kSacfNoEvent;
  setPair(t, AL_A_ASSOC_REQ, EV_ASSOC);
  setPair(t, AL_A_ASSOC_RSP, EV_ASSOC_ACCEPTED);
  setPair(t, AL_A_RELEASE_REQ, EV_RELEASE);
  setPair(t, AL_A_RELEASE_RSP, EV_RELEASE_AFFIRMATIVE);
  setPair(t, AL_A_ABORT_REQ, EV_ABORT);
  t[row(AL_A_PABORT_IND)] = EV_ABORT;
  return t;
}

constexpr uint32_t kGoOn = 1u << 8;  // action0
constexpr uint32_t kRefuse = 0xFF;   // actionBC

struct Allowed {
  uint8_t event;
  uint8_t state;
  uint8_t next;
};

constexpr Allowed kAllowed[] = {
    {EV_ASSOC, SACF_IDLE, SACF_ASSOC_PENDING},
    {EV_ASSOC_ACCEPTED, SACF_ASSOC_PENDING, SACF_ASSOCIATED},
    {EV_ASSOC_REJECTED, SACF_ASSOC_PENDING, SACF_IDLE},
    {EV_RELEASE, SACF_ASSOCIATED, SACF_RELEASE_PENDING},
    {EV_RELEASE_AFFIRMATIVE, SACF_RELEASE_PENDING, SACF_IDLE},
    {EV_RELEASE_NEGATIVE, SACF_RELEASE_PENDING, SACF_ASSOCIATED},
    {EV_INIT, SACF_ASSOCIATED, SACF_INIT_PENDING},
    {EV_INIT_RSP, SACF_INIT_PENDING, SACF_DIALOGUE},
    {EV_INIT_ERR, SACF_INIT_PENDING, SACF_ASSOCIATED},
    {EV_TERM, SACF_DIALOGUE, SACF_TERM_PENDING},
    {EV_TERM_RSP, SACF_TERM_PENDING, SACF_ASSOCIATED},
    {EV_TERM_ERR, SACF_TERM_PENDING, SACF_DIALOGUE},
    {EV_OTHER_REQ, SACF_INIT_PENDING, SACF_INIT_PENDING},
    {EV_OTHER_REQ, SACF_DIALOGUE, SACF_DIALOGUE},
    {EV_OTHER_RSP, SACF_DIALOGUE, SACF_DIALOGUE},
};

constexpr std::array<uint32_t, kSacfEvents * kSacfStates> makeStateTbl() {
  std::array<uint32_t, kSacfEvents * kSacfStates> t{};
  for (uint32_t& c : t) c = kRefuse;
  for (const Allowed& a : kAllowed) t[a.event * kSacfStates + a.state] = kGoOn | a.next;
  for (uint32_t s = 0; s < kSacfStates; ++s) t[EV_ABORT * kSacfStates + s] = kGoOn | SACF_IDLE;
  return t;
}

void setError(uint32_t err) { QvSetOsiError(static_cast<int32_t>(err)); }

SaoCB* saoOf(const GIDU* g) { return static_cast<SaoCB*>(g->uc); }

const AcseApdu* acseOf(const GIDU* g) {
  if (g->iduType != AL_IDU_ACSE || g->idu == nullptr) return nullptr;
  return static_cast<const AcseApdu*>(static_cast<const AeHDR*>(g->idu)->wrapped);
}

// An A-ASSOCIATE response or confirm whose result is not "accepted" (or
// that carries no AARE), and a negative A-RELEASE answer, are events of
// their own.
uint32_t reviseEventNo(const GIDU* g, uint32_t ev) {
  const AcseApdu* apdu = acseOf(g);
  if (ev == EV_ASSOC_ACCEPTED &&
      (apdu == nullptr || apdu->code != AC_APDU_AARE || apdu->aare.result != AC_RESULT_ACCEPTED))
    return EV_ASSOC_REJECTED;
  if (ev == EV_RELEASE_AFFIRMATIVE && apdu != nullptr && apdu->code == AC_APDU_RLRE && apdu->rlre.releaseResult != 0)
    return EV_RELEASE_NEGATIVE;
  return ev;
}

void action0(GIDU* g, uint32_t next) {
  SaoCB* sao = saoOf(g);
  AL_sacfRoute(g, AL_SACF_NEXT);
  sao->sacfState = next;
}

// The event is not allowed in the state: the association is aborted
// towards both sides and the offending GIDU goes.
void actionBC(GIDU* g, uint32_t) {
  SaoCB* sao = saoOf(g);
  GIDU* req = AL_aeCreateAAbortReq(g, sao, kOriginSacf);
  GIDU* ind = AL_aeCreateAPAbortInd(g, sao, kOriginSacf);
  if (req != nullptr && ind != nullptr) {
    const uint32_t form = g->event & (AL_EV_PRIMITIVE | 0xF);
    const bool fromUser = al_isPrimitive(g->event) && g->iduType != AL_IDU_PRES && g->iduType != AL_IDU_PRES_RCV &&
                          (form == AL_EV_PRIMITIVE || form == (AL_EV_PRIMITIVE | AL_EV_RESPONSE));
    if (fromUser) {
      AL_sacfRoute(ind, AL_SACF_QUEUE_REVERSED);
      AL_sacfRoute(req, AL_SACF_NEXT);
    } else {
      AL_sacfRoute(req, AL_SACF_QUEUE_REVERSED);
      AL_sacfRoute(ind, AL_SACF_NEXT);
    }
    AL_deleteGiduWithAeHDR(g);
    sao->sacfState = SACF_IDLE;
    return;
  }
  if (req == nullptr) TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** actionBC: can't create A-Abort request\n");
  if (ind == nullptr)
    TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** actionBC: can't create A-P-Abort indication\n");
  al_deleteGidu(req);
  al_deleteGidu(ind);
  AL_aeSendQuickAborts(sao, g, sao->sacfRcv, sao->sacfSnd, RDA_SACF_ERR_NO_RESOURCE);
  AL_deleteGiduWithAeHDR(g);
}

using SacfAction = void (*)(GIDU* g, uint32_t next);
constexpr SacfAction actionTbl[] = {actionBC, action0};

// The shared body of rda_sacfSnd and rda_sacfRcv.
void sacfPass(GIDU* g, bool send) {
  const char* fn = send ? "rda_sacfSnd" : "rda_sacfRcv";
  AL_TRACE_GIDU(rda_sacfTMHandle, AL_TL_ENTRY, kSrc, fn, g, 1);
  SaoCB* sao = saoOf(g);
  if (sao == nullptr) {
    TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** %s: no SaoCB\n", fn);
    AL_deleteGiduWithAeHDR(g);
    return;
  }
  if (g->event == AL_QABORT) {
    TM_TRACE(rda_sacfTMHandle, AL_TL_ROUTE, kSrc, "%s: PurgeQ SACF event queue\n", fn);
    AL_aePurgeGiduQ(&sao->sacfQueue);
    TM_TRACE(rda_sacfTMHandle, AL_TL_ROUTE, kSrc, "%s: PurgeQ SAO event queue\n", fn);
    AL_aePurgeGiduQ(&sao->saoQueue);
    sao->saoFlags |= SAO_DELETE_PENDING;
    if (send) {
      if (sao->aeDown != nullptr) sao->aeDown(g);
      else al_deleteGidu(g);
    } else {
      if (sao->aeUp != nullptr) sao->aeUp(g);
      else al_deleteGidu(g);
    }
    return;
  }
  if ((sao->saoFlags & SAO_SACF_BUSY) != 0) {
    // A pass runs: the GIDU continues once it has ended, from the element
    // after the one that sent it, in its own direction.
    const bool sendPass = (sao->routeIdx & 1) != 0;
    if (sendPass == send) AL_sacfRouteQ(g);
    else AL_sacfRoute(g, AL_SACF_QUEUE_REVERSED);
    return;
  }
  AL_sacfRouteSet(sao, send ? AL_SACF_SND_START : AL_SACF_RCV_START);
  sao->saoFlags |= SAO_SACF_BUSY;
  for (GIDU* cur = g; cur != nullptr; cur = AL_sacfRouteDQ(sao)) AL_sacfRoute(cur, AL_SACF_NEXT);
  sao->saoFlags &= ~SAO_SACF_BUSY;
}

}  // namespace

const std::array<uint32_t, kSacfEvents * kSacfStates> sacfStateTbl = makeStateTbl();
const std::array<uint8_t, kSacfRdaEventRows> rdaEventTbl = makeRdaEventTbl();
const std::array<uint8_t, kSacfAcseEventRows> acseEventTbl = makeAcseEventTbl();

uint32_t rda_sacfEventOf(uint32_t iduType, uint32_t event) {
  const uint32_t r = row(event);
  if (iduType == AL_IDU_RDA) return r < rdaEventTbl.size() ? rdaEventTbl[r] : kSacfNoEvent;
  if (iduType == AL_IDU_ACSE) return r < acseEventTbl.size() ? acseEventTbl[r] : kSacfNoEvent;
  return kSacfNoEvent;
}

void rda_sacfSnd(GIDU* gidu) {
  if (gidu != nullptr) sacfPass(gidu, true);
}

void rda_sacfRcv(GIDU* gidu) {
  if (gidu != nullptr) sacfPass(gidu, false);
}

void RDA_sacfSeqCk(GIDU* gidu) {
  AL_TRACE_GIDU(rda_sacfTMHandle, AL_TL_ENTRY, kSrc, "RDA_sacfSeqCk", gidu, 1);
  if (gidu == nullptr) return;
  if (!al_isPrimitive(gidu->event) || (gidu->iduType != AL_IDU_RDA && gidu->iduType != AL_IDU_ACSE)) {
    AL_sacfRoute(gidu, AL_SACF_NEXT);
    return;
  }
  SaoCB* sao = saoOf(gidu);
  char name[AL_EVENT_TEXT_SIZE];
  if (tm_siteOn(rda_sacfTMHandle, AL_TL_ROUTE))
    tm_traceSite(rda_sacfTMHandle, AL_TL_ROUTE, kSrc, __LINE__, "Input_State: %d; %s\n", sao->sacfState,
                 al_traceEvent(gidu, name));
  QvSetOsiError(0);
  uint32_t ev = rda_sacfEventOf(gidu->iduType, gidu->event);
  if (ev == kSacfNoEvent) {
    if (gidu->iduType == AL_IDU_RDA)
      TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** RDA_sacfSeqCk: invalid RDA event 0x%lx\n",
               static_cast<unsigned long>(gidu->event));
    else
      TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** RDA_sacfSeqCk: invalid ACSE event 0x%lx\n",
               static_cast<unsigned long>(gidu->event));
    setError(RDA_SACF_ERR_INVALID_EVENT_TYPE);
    AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, RDA_SACF_ERR_INVALID_EVENT_TYPE);
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  ev = reviseEventNo(gidu, ev);
  const uint32_t state = sao->sacfState < kSacfStates ? sao->sacfState : SACF_IDLE;
  const uint32_t cell = sacfStateTbl[ev * kSacfStates + state];
  const uint32_t action = (cell >> 8) & 0xFF;
  actionTbl[action < 2 ? action : 0](gidu, cell & 0xFF);
  TM_TRACE(rda_sacfTMHandle, AL_TL_ROUTE, kSrc, "Output_State: %d; uc=%lx\n", sao->sacfState,
           reinterpret_cast<unsigned long>(sao));
}

uint32_t getRdaEventType(GIDU* gidu) {
  const auto* hdr = gidu != nullptr && gidu->idu != nullptr ? static_cast<const AeHDR*>(gidu->idu) : nullptr;
  void* idu = hdr != nullptr ? hdr->wrapped : nullptr;
  if (idu == nullptr) return 0;
  const uint32_t tag = *static_cast<const uint32_t*>(idu);
  // Only the context-specific alternatives [0] to [26] travel between
  // peers; the private ones are the stack's own.
  if (tag < RDA_INIT_RI || tag > RDA_DROPDBL_RC) return 0;
  // The empty alternative answers an R-BeginTransaction error; it has no
  // outcome to read.
  if (tag == RDA_EMPTY) return kEmptyReceived;
  if (tag == RDA_BGNTRANS_RC) return rdaErrorEvent(2) + AL_EV_APDU;
  if (tag == RDA_INIT_RI) return rdaRequestEvent(0) + AL_EV_APDU;
  const SaoCB* sao = saoOf(gidu);
  RdaFamily family = RdaFamily::Iso;
  if (sao != nullptr && sao->pctxTbl != nullptr && hdr->pctxId < static_cast<uint32_t>(kPctxEntries)) {
    const AsxEntry* ase = sao->pctxTbl[hdr->pctxId].ase;
    if (ase != nullptr && ase->decode == aRDAXOPENIdu) family = RdaFamily::Xopen;
  }
  RdaRcFields fields{};
  const bool result = rda_rcFields(idu, family, &fields) && fields.outcome != nullptr && *fields.outcome == 0x4000;
  if (tag == RDA_INIT_RC) return result ? rdaResponseEvent(0) + AL_EV_APDU : rdaErrorEvent(0) + AL_EV_APDU;
  const uint32_t n = tag - RDA_INIT_RI;
  if ((n & 1) != 0) return (n >> 1) * 16 + rdaRequestEvent(0) + AL_EV_APDU;
  const uint32_t k = (tag - 0x3FFF) >> 1;
  return result ? k * 16 + 0x80CA : k * 16 + 0x819A;
}

GIDU* rda_sacfTypeRing(GIDU* ring, SaoCB* sao) {
  if (ring == nullptr) return nullptr;
  GIDU* bad = nullptr;
  GIDU* g = ring;
  do {
    if (g->iduType == AL_IDU_RDA) {
      const uint32_t ev = getRdaEventType(g);
      if (ev == 0) {
        TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** RDA_sacfCvrtPpdu: RDA IDU of no allowed tag\n");
        bad = g;
      } else {
        g->event = ev;
      }
    } else if (g->iduType != AL_IDU_PRES_RCV && g->iduType != AL_IDU_ACSE) {
      TM_TRACE(rda_sacfTMHandle, AL_TL_ERROR, kSrc, "*** RDA_sacfCvrtPpdu: illegal idu type %d\n", g->iduType);
      bad = g;
    }
    g = g->next;
  } while (bad == nullptr && g != ring);
  if (bad == nullptr) return ring;
  if (sao != nullptr) AL_aeSendQuickAborts(sao, bad, sao->sacfRcv, sao->sacfSnd, RDA_SACF_ERR_BAD_APDU);
  while (ring != nullptr) AL_deleteGiduWithAeHDR(al_ringTake(&ring));
  return nullptr;
}

// ---------------------------------------------------------------------------
// Start and stop

int32_t rda_sacfInit() {
  QvSetOsiError(0);
  RdaSacfTLS* tls = getRdaSacfTLS(0);
  if (tls == nullptr) {
    setError(RDA_SACF_ERR_NO_RESOURCE);
    return 0;
  }
  if (tls->initialised != 0) {
    setError(RDA_SACF_ERR_INITIALIZED_ALREADY);
    return 0;
  }
  if (AL_uStopLow > AL_uStopHigh || AL_creditLow > AL_creditHigh) {
    setError(RDA_SACF_ERR_CONFIG_VALUE);
    return 0;
  }
  tls->initialised = 1;
  return 1;
}

int32_t rda_sacfStart() {
  RdaSacfTLS* tls = getRdaSacfTLS(0);
  if (tls != nullptr && tls->initialised != 0) return 1;
  setError(RDA_SACF_ERR_NOT_INITIALIZED);
  return 0;
}

int32_t rda_sacfTerm() {
  RdaSacfTLS* tls = getRdaSacfTLS(0);
  if (tls == nullptr || tls->initialised == 0) {
    setError(RDA_SACF_ERR_NOT_INITIALIZED);
    return 0;
  }
  tls->initialised = 0;
  return 1;
}
