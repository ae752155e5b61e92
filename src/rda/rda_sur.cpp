// The service user's send and receive entries: reference translation
// between the user's view and the entity's, the making and marking of user
// and association control blocks as stack-control and ACSE events pass, and
// the pass loop that drives each RDA event along its association's route.
#include "src/rda/rda_sur.h"

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/rda/rda_asx.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rda_surint.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rdasur";

// Direction marks a pass leaves in pe for a GIDU that has no route table.
void* const kTowardsAe = nullptr;
void* const kTowardsUser = reinterpret_cast<void*>(static_cast<uintptr_t>(4));

constexpr uint32_t kSessionDefault = 2;  // duplex, when a request names no session requirements

unsigned long hexOf(const void* p) { return reinterpret_cast<unsigned long>(p); }

void traceEntry(const char* function, const GIDU* gidu) {
  AL_TRACE_GIDU(rda_surTMHandle, AL_TL_ENTRY, kSrc, function, gidu, 1);
}

void traceEvent(uint32_t bits, const char* format, const GIDU* gidu) {
  if (!tm_siteOn(rda_surTMHandle, bits)) return;
  char name[AL_EVENT_TEXT_SIZE];
  const char* e = al_traceEvent(gidu, name);
  tm_traceSite(rda_surTMHandle, bits, kSrc, __LINE__, format, e != nullptr ? e : "(null)");
}

const AcseApdu* apduOf(const GIDU* gidu) { return static_cast<const AcseApdu*>(gidu->idu); }

bool isLocal(const GIDU* gidu) { return gidu->event < AL_EV_PRIMITIVE; }
bool isNextEvent(const GIDU* gidu) {
  return gidu->iduType == kRdaIduType && gidu->event == RDA_SUR_NXTEVENT_REQ;
}

void deleteMarkedAcb(ACB* acb) {
  if (acb != nullptr && acb->deleteFlag != 0) AL_surDeleteACB(acb);
}

// An abort has ended the association in the entity, which has freed its
// block of it. The ACB may outlive it (a server user is told of the abort
// when it asks for its next event), but nothing sent on it may reach the
// entity from now on.
void endedInEntity(ACB* acb) { acb->aeAssocRef = nullptr; }

void deleteMarkedUcb(UCB* ucb) {
  if (rda_surUcbAlive(ucb) && ucb->deleteFlag != 0) AL_surDeleteUCB(ucb);
}

// Hands the GIDU on while holding the ACB, so that a nested pass that marks
// it for deletion leaves its deletion to us.
void handOnHolding(ACB* acb, GIDU* gidu, void (*to)(GIDU*)) {
  if (acb != nullptr) ++acb->linkCount;
  to(gidu);
  if (acb != nullptr) --acb->linkCount;
}

// ---------------------------------------------------------------------------
// References.

// 1 = go on (the GIDU carries the SUR's view), 0 = the GIDU is gone.
int32_t switchGiduRef(GIDU* gidu, AlGiduFn userEntry) {
  auto* ucb = static_cast<UCB*>(gidu->pe);
  const uint32_t ev = gidu->event;
  if (AL_surValidateUCB(ucb) != 0) {
    ucb->userRef = gidu->ue;
    gidu->ue = ucb;
    gidu->pe = ucb->aeUserRef;
    if (ev != AL_ACT_REQ && ev != AL_DEACT_REQ && ev != AL_FDEACT_REQ) {
      auto* acb = static_cast<ACB*>(gidu->pc);
      if (AL_surValidateACB(acb, ucb) != 0 && acb->ucb == ucb) {
        acb->userAssocRef = gidu->uc;
        gidu->uc = acb;
        gidu->pc = acb->aeAssocRef;
        return 1;
      }
      const bool needsNone = isNextEvent(gidu) || (ev < AL_EV_PRIMITIVE && ev != AL_QABORT) ||
                             (gidu->iduType == AL_IDU_ACSE && ev == AL_A_ASSOC_REQ);
      if (!needsNone) {
        TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** switchGiduRef: invalid ACB (0x%lx)\n", hexOf(acb));
        gidu->uc = gidu->pc = nullptr;
        QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_NO_SUCH_ACB));
        AL_surSendLocalError(gidu, RDA_SUR_ERR_NO_SUCH_ACB, AL_surGetConf()->opQueHndl);
        return 0;
      }
    }
    gidu->uc = gidu->pc = nullptr;
    return 1;
  }
  if (ev == AL_ACT_REQ) {
    gidu->ue = gidu->pe = gidu->uc = gidu->pc = nullptr;
    return 1;
  }
  TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** swithGiduRef: invalid UCB (0x%lx)\n", hexOf(ucb));
  gidu->ue = gidu->pe = gidu->uc = gidu->pc = nullptr;
  QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_NO_SUCH_UCB));
  if (userEntry != nullptr) AL_surSendLocalError(gidu, RDA_SUR_ERR_NO_SUCH_UCB, userEntry);
  else al_deleteGidu(gidu);
  return 0;
}

// The ACB of the user in ue whose entity association is the GIDU's pc:
// the association an abort names before the user knows of it.
ACB* findACBWithPconref(GIDU* gidu) {
  const bool abortEvent = gidu->event == AL_QABORT ||
                          (gidu->iduType == AL_IDU_ACSE &&
                           (gidu->event == AL_A_ABORT_IND || gidu->event == AL_A_PABORT_IND));
  auto* ucb = static_cast<UCB*>(gidu->ue);
  if (!abortEvent || ucb == nullptr || gidu->pc == nullptr) return nullptr;
  ACB* acb = AL_surFindACB(
      ucb, [](const ACB* a, const void* pc) { return a->aeAssocRef == pc; }, gidu->pc);
  if (acb != nullptr)
    TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc,
             "findACBWithPconref: an ABORT indication is received before A-Associate response is sent to the AE\n");
  return acb;
}

// ---------------------------------------------------------------------------
// The pass: one GIDU and whatever queues up behind it on the association.

// Routes `first` (its route set in the ACB) and then every GIDU that waits
// or comes to wait on the association's input queue, each with its own.
void passLoop(ACB* acb, GIDU* first) {
  acb->passFlag = 1;
  ++acb->linkCount;
  UCB* ucb = acb->ucb;
  for (GIDU* g = first; g != nullptr; g = AL_surRouteDQ(acb)) {
    if (acb->routeTbl != nullptr) {
      g->pe = ucb->userRef;
      AL_surRoute(g, AL_SUR_QUE, 0);
    } else {
      const bool down = g->pe == kTowardsAe;
      g->pe = ucb->userRef;
      if (down) rda_surToAe(g);
      else rda_surToUser(g);
    }
  }
  acb->passFlag = 0;
  --acb->linkCount;
}

void runPass(ACB* acb, GIDU* gidu, uint32_t startLevel, void* mark) {
  const AlGiduFn* table = AL_surGetRouteTbl(gidu->iduType);
  gidu->pe = mark;
  if (acb->passFlag != 0) {
    // A pass runs: queue the GIDU with the route it starts on and leave the
    // running pass's route as it stands.
    const AlGiduFn* runningTbl = acb->routeTbl;
    const uint32_t runningLevel = acb->routeLevel;
    acb->routeTbl = table;
    acb->routeLevel = startLevel;
    AL_surRouteQ(gidu);
    acb->routeTbl = runningTbl;
    acb->routeLevel = runningLevel;
    return;
  }
  acb->routeTbl = table;
  acb->routeLevel = startLevel;
  passLoop(acb, gidu);
}

}  // namespace

void rda_surRunQueue(ACB* acb) {
  if (acb == nullptr || acb->passFlag != 0) return;
  if (GIDU* first = AL_surRouteDQ(acb)) passLoop(acb, first);
  deleteMarkedAcb(acb);
}

namespace {

// ---------------------------------------------------------------------------
// Send side.

// A negative A-ASSOCIATE response built from a request or an indication;
// NULL (the GIDU kept) when it cannot be built.
GIDU* negativeAssocRsp(GIDU* gidu) {
  const AcseApdu* apdu = apduOf(gidu);
  if (apdu == nullptr || apdu->code != AC_APDU_AARQ) return nullptr;
  const uint32_t sess =
      apdu->aarq.connParams.sessRequirements != 0 ? apdu->aarq.connParams.sessRequirements : kSessionDefault;
  return rda_createAssocRsp(gidu, &apdu->aarq.contextName, AC_RESULT_REJECTED_TRANSIENT, nullptr, sess);
}

// The association of a request could not be made: the user gets a negative
// A-ASSOCIATE confirm, or a local error when none can be built.
void sendAssocErrCnf(GIDU* gidu, void* userConnRef) {
  auto* ucb = static_cast<UCB*>(gidu->ue);
  GIDU* cnf = negativeAssocRsp(gidu);
  GIDU* out = cnf != nullptr ? cnf : gidu;
  if (cnf != nullptr) {
    al_deleteGidu(gidu);
    cnf->event = AL_A_ASSOC_CNF;
  } else {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** sendAssocErrCnf: can't build A-Associate -rsp\n");
  }
  out->pe = ucb;
  out->ue = ucb != nullptr ? ucb->userRef : nullptr;
  out->pc = nullptr;
  out->uc = userConnRef;
  if (cnf == nullptr) {
    al_freeUnit(out);
    out->event = AL_LOCERR_IND;
    out->errNo = RDA_SUR_ERR_NO_RESOURCE;
  }
  if (ucb != nullptr && ucb->receiveEntry != nullptr) ucb->receiveEntry(out);
  else al_deleteGidu(out);
}

// 1 = go on, 0 = the GIDU is gone.
int32_t processAcseReqRsp(GIDU* gidu, void* userConnRef) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  const AcseApdu* apdu = apduOf(gidu);
  switch (gidu->event) {
    case AL_A_ASSOC_REQ:
      if (AL_surCreateACB(gidu) == 0) {
        TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** processAcseReqRsp: can't create ACB\n");
        sendAssocErrCnf(gidu, userConnRef);
        return 0;
      }
      acb = static_cast<ACB*>(gidu->uc);
      AL_surUpdateCurrentCB(kRdaIduType, acb);
      acb->userAssocRef = userConnRef;
      return 1;
    case AL_A_ASSOC_RSP:
      if (acb != nullptr && apdu != nullptr && apdu->code == AC_APDU_AARE && apdu->aare.result != AC_RESULT_ACCEPTED) {
        TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc,
                 "processAcseReqRsp: unsuccessful A-Associate rsp/cnf, about to mark ACB deleted\n");
        acb->deleteFlag = 1;
      }
      return 1;
    case AL_A_RELEASE_REQ:
      return 1;
    case AL_A_RELEASE_RSP:
      if (acb != nullptr && apdu != nullptr && apdu->code == AC_APDU_RLRE && apdu->rlre.releaseResult == 0)
        acb->deleteFlag = 1;
      return 1;
    case AL_A_ABORT_REQ:
      if (acb != nullptr) acb->deleteFlag = 1;
      return 1;
    default:
      traceEvent(AL_TL_ERROR, "*** processAcseReqRsp: No such ACSE event (%s)\n", gidu);
      QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_INVALID_EVENT));
      AL_surSendLocalError(gidu, RDA_SUR_ERR_INVALID_EVENT, AL_surGetConf()->opQueHndl);
      return 0;
  }
}

void sendLocal(GIDU* gidu, AlGiduFn userEntry, void* callerUe) {
  auto* ucb = static_cast<UCB*>(gidu->ue);
  auto* acb = static_cast<ACB*>(gidu->uc);
  switch (gidu->event) {
    case AL_ACT_REQ:
      if (AL_surCreateUCB(gidu, userEntry, callerUe) == 0) {
        TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surSnd: can't create UCB\n");
        QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_NO_RESOURCE));
        al_freeUnit(gidu);
        gidu->event = AL_ACT_CNF;
        gidu->errNo = RDA_SUR_ERR_NO_RESOURCE;
        gidu->ue = callerUe;
        if (userEntry != nullptr) userEntry(gidu);
        else al_deleteGidu(gidu);
        return;
      }
      break;
    case AL_DEACT_REQ:
      if (ucb->acbList.count >= 1) {
        QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_ACTIVE_ASSN));
        al_freeUnit(gidu);
        gidu->event = AL_DEACT_CNF;
        gidu->errNo = RDA_SUR_ERR_ACTIVE_ASSN;
        rda_surToUser(gidu);
        return;
      }
      break;
    case AL_QABORT:
      if (acb == nullptr) {
        QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_NO_SUCH_ACB));
        AL_surSendLocalError(gidu, RDA_SUR_ERR_NO_SUCH_ACB, AL_surGetConf()->opQueHndl);
        return;
      }
      AL_surPurgeInputQue(acb);
      acb->passFlag = 0;
      acb->deleteFlag = 1;
      break;
    default:
      break;
  }
  handOnHolding(acb, gidu, rda_surToAe);
  deleteMarkedAcb(acb);
}

// ---------------------------------------------------------------------------
// Receive side.

void sendAssocErrRsp(GIDU* gidu) {
  GIDU* rsp = negativeAssocRsp(gidu);
  if (rsp == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** sendAssocErrRsp: can't build A-Associate -rsp\n");
    al_deleteGidu(gidu);
    return;
  }
  al_deleteGidu(gidu);
  rda_surToAe(rsp);
}

// 1 = go on, 0 = the GIDU is gone.
int32_t processAcseIndCnf(GIDU* gidu) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  const AcseApdu* apdu = apduOf(gidu);
  switch (gidu->event) {
    case AL_A_ASSOC_IND:
      if (AL_surCreateACB(gidu) == 0) {
        TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** processAcseIndCnf: can't create ACB\n");
        sendAssocErrRsp(gidu);
        return 0;
      }
      acb = static_cast<ACB*>(gidu->uc);
      AL_surUpdateCurrentCB(kRdaIduType, acb);
      break;
    case AL_A_ASSOC_CNF:
      if (acb != nullptr && apdu != nullptr && apdu->code == AC_APDU_AARE && apdu->aare.result != AC_RESULT_ACCEPTED) {
        TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc,
                 "processAcseIndCnf: unsuccessful A-Associate rsp/cnf, about to mark ACB deleted\n");
        acb->deleteFlag = 1;
      }
      break;
    case AL_A_RELEASE_IND:
      break;
    case AL_A_RELEASE_CNF:
      if (acb != nullptr && apdu != nullptr && apdu->code == AC_APDU_RLRE && apdu->rlre.releaseResult == 0)
        acb->deleteFlag = 1;
      break;
    case AL_A_ABORT_IND:
    case AL_A_PABORT_IND:
      if (acb == nullptr) {
        acb = findACBWithPconref(gidu);
        gidu->uc = acb;
      }
      if (acb != nullptr) {
        acb->deleteFlag = 1;
        endedInEntity(acb);
      }
      return 1;
    default:
      traceEvent(AL_TL_ERROR, "*** processAcseIndCnf: No such ACSE event (%s)\n", gidu);
      if (acb != nullptr) acb->aeAssocRef = gidu->pc;
      al_deleteGidu(gidu);
      return 0;
  }
  if (acb != nullptr) acb->aeAssocRef = gidu->pc;
  return 1;
}

void rcvLocal(GIDU* gidu) {
  auto* ucb = static_cast<UCB*>(gidu->ue);
  auto* acb = static_cast<ACB*>(gidu->uc);
  switch (gidu->event) {
    case AL_ACT_CNF:
      if (gidu->errNo == 0) ucb->aeUserRef = gidu->pe;
      else ucb->deleteFlag = 1;
      break;
    case AL_DEACT_CNF:
    case AL_FDEACT_CNF:
      if (gidu->errNo == 0) ucb->deleteFlag = 1;
      break;
    case AL_QABORT:
      if (acb == nullptr) {
        acb = findACBWithPconref(gidu);
        if (acb == nullptr) {
          TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surRcv: ACB should not be NULL\n");
          al_deleteGidu(gidu);
          return;
        }
        gidu->uc = acb;
      }
      AL_surPurgeInputQue(acb);
      acb->passFlag = 0;
      acb->deleteFlag = 1;
      endedInEntity(acb);
      break;
    default:
      break;
  }
  handOnHolding(acb, gidu, rda_surToUser);
  deleteMarkedAcb(acb);
  deleteMarkedUcb(ucb);
}

}  // namespace

// The UCB is still one of the thread's users (it may have been deleted by
// a nested pass while a GIDU was with the user). Without a ring to look in
// the block is taken as it is.
bool rda_surUcbAlive(const UCB* ucb) { return AL_surUcbLive(ucb) != 0; }

// ---------------------------------------------------------------------------
// Entries.

void rda_surSnd(GIDU* gidu, AlGiduFn userEntry) {
  if (gidu == nullptr) return;
  getRdaSurTLS(0);
  traceEntry("rda_surSnd", gidu);
  void* callerUe = gidu->ue;
  void* callerUc = gidu->uc;
  if (AL_surGetConf() == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surSnd: SUR has not been initialized yet\n");
    al_deleteGidu(gidu);
    return;
  }
  if (switchGiduRef(gidu, userEntry) == 0) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surSnd: Bad gidu references\n");
    return;
  }
  if (isLocal(gidu)) {
    sendLocal(gidu, userEntry, callerUe);
    return;
  }
  if (isNextEvent(gidu)) {
    RDA_surOpQueHndl(gidu);
    return;
  }
  ACB* before = static_cast<ACB*>(gidu->uc);
  if (before != nullptr && before->aeAssocRef == nullptr) {
    // The entity holds no association for it: not yet (a request before
    // its A-ASSOCIATE confirm) or no longer (after an abort).
    traceEvent(AL_TL_ERROR, "*** rda_surSnd: no association in the AE, %s refused\n", gidu);
    QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_NO_SUCH_ACB));
    AL_surSendLocalError(gidu, RDA_SUR_ERR_NO_SUCH_ACB, AL_surGetConf()->opQueHndl);
    return;
  }
  if (gidu->iduType == AL_IDU_ACSE && processAcseReqRsp(gidu, callerUc) == 0) {
    deleteMarkedAcb(before);
    return;
  }
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "rda_surSnd: ACB is still null, pass straight down to AE\n");
    rda_surToAe(gidu);
    return;
  }
  runPass(acb, gidu, 0, kTowardsAe);
  deleteMarkedAcb(acb);
}

void rda_surRcv(GIDU* gidu) {
  if (gidu == nullptr) return;
  getRdaSurTLS(0);
  traceEntry("rda_surRcv", gidu);
  auto* ucb = static_cast<UCB*>(gidu->ue);
  if (AL_surValidateUCB(ucb) == 0) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surRcv: invalid UCB (0x%lx), GIDU deleted\n", hexOf(ucb));
    al_deleteGidu(gidu);
    return;
  }
  auto* given = static_cast<ACB*>(gidu->uc);
  if (given != nullptr && (AL_surValidateACB(given, ucb) == 0 || given->ucb != ucb)) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "rda_surSnd: ACB is invalid, free it\n");
    al_deleteGidu(gidu);
    return;
  }
  if (isLocal(gidu)) {
    rcvLocal(gidu);
    return;
  }
  if (gidu->iduType == AL_IDU_ACSE && processAcseIndCnf(gidu) == 0) {
    deleteMarkedAcb(given);
    deleteMarkedUcb(ucb);
    return;
  }
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "rda_surSnd: ACB is still null, pass straight up to user\n");
    rda_surToUser(gidu);
    deleteMarkedUcb(ucb);
    return;
  }
  runPass(acb, gidu, 2, kTowardsUser);
  deleteMarkedAcb(acb);
  deleteMarkedUcb(ucb);
}

// ---------------------------------------------------------------------------
// Execution rules: the client routes on; a server checks against its
// entities.

namespace {

void execRules(GIDU* gidu, void (*serverCheck)(GIDU*)) {
  if (gidu->iduType != kRdaIduType) {
    AL_surRoute(gidu, AL_SUR_QUE, 0);
    return;
  }
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (rda_surCurrentAcbElem(acb) == nullptr || acb->currentElem->ucbElem == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** RDA_surSeqRules: can't find RDA acb elem\n");
    rda_surQuickAborts(gidu, RDA_SUR_ERR_NO_SUCH_ACB_ELEM);
    return;
  }
  const auto* user = static_cast<const RdaUcbElem*>(acb->currentElem->ucbElem->rdaElem);
  if (user == nullptr || user->role == RDA_SUR_CLIENT) AL_surRoute(gidu, AL_SUR_QUE, 0);
  else serverCheck(gidu);
}

}  // namespace

void RDA_surExecRulesSnd(GIDU* gidu) {
  traceEntry("RDA_surExecRulesSnd", gidu);
  execRules(gidu, RDA_surExecCkServerSnd);
}

void RDA_surExecRulesRcv(GIDU* gidu) {
  traceEntry("RDA_surExecRulesRcv", gidu);
  execRules(gidu, RDA_surExecCkServerRcv);
}
