// The operation queue: the last step of the receive chain. A client gets
// every GIDU at once; a server user gets one at a time, the next only after
// it asks for it with the SUR-next-event. While a GIDU waits, the delete
// flags of its ACB and UCB are parked in it, so that the blocks outlive the
// pass that queued it.
#include <cstdint>

#include "src/acse/abort.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_asx.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_srvent.h"
#include "src/rda/rda_sur.h"
#include "src/rda/rda_surint.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rdasur";

// An RDA indication or confirm: the GIDU carries an operation of the
// association (its entity in pc while routed, in ue while queued).
bool isRdaIndCnf(const GIDU* gidu) {
  const uint32_t form = gidu->event & 0x800F;
  return gidu->iduType == kRdaIduType && gidu->event >= AL_EV_PRIMITIVE && (form == 0x8004 || form == 0x8006);
}

void* flagRef(uint32_t flag) { return reinterpret_cast<void*>(static_cast<uintptr_t>(flag)); }
uint32_t flagOf(const void* ref) { return reinterpret_cast<uintptr_t>(ref) != 0 ? 1 : 0; }

void queueOp(GIDU* gidu, RdaUcbElem* user) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  UCB* ucb = static_cast<UCB*>(gidu->ue);
  if (isRdaIndCnf(gidu) && acb != nullptr) {
    ucb = acb->ucb;
    auto* op = static_cast<OpEnt*>(gidu->pc);
    gidu->ue = op;
    if (op != nullptr) op->heldInd = gidu;
  }
  gidu->pc = flagRef(acb != nullptr ? acb->deleteFlag : 0);
  if (acb != nullptr) acb->deleteFlag = 0;
  gidu->pe = flagRef(ucb != nullptr ? ucb->deleteFlag : 0);
  if (ucb != nullptr) ucb->deleteFlag = 0;
  al_queueAppend(&user->opQueue, gidu);
}

// Gives the queued GIDU its references back with the parked delete flags.
void unpark(GIDU* gidu) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (isRdaIndCnf(gidu) && acb != nullptr) gidu->ue = acb->ucb;
  auto* ucb = static_cast<UCB*>(gidu->ue);
  if (acb != nullptr) acb->deleteFlag |= flagOf(gidu->pc);
  if (ucb != nullptr) ucb->deleteFlag |= flagOf(gidu->pe);
  gidu->pc = acb;
  gidu->pe = ucb;
}

void sendNextOp(RdaUcbElem* user) {
  while (GIDU* gidu = al_queueTake(&user->opQueue)) {
    user->busy = 1;
    OpEnt* op = isRdaIndCnf(gidu) && gidu->uc != nullptr ? static_cast<OpEnt*>(gidu->ue) : nullptr;
    unpark(gidu);
    if (op != nullptr && op->rsp != nullptr) {
      // The operation is answered already (its error response waits with
      // it): its indication is not for the user. Drop it and go on with
      // the next operation rather than leave the queue stalled.
      TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "sendNextOp: operation %u answered already, indication dropped\n",
               op->opID);
      if (op->heldInd == gidu) op->heldInd = nullptr;
      al_deleteGidu(gidu);
      user->busy = 0;
      continue;
    }
    if (op != nullptr) {
      op->heldInd = nullptr;
      op->opStatus = RDA_OPST_TAKEN;
    }
    AL_surSendToUser(gidu);
    return;
  }
}

// A delivery gives the parked delete flags back to their blocks. Taken on
// the user's request for the next event, it runs in no pass that would end
// by deleting them, so every block of the user so marked goes here, unless
// a pass still holds it (that pass then deletes it as it ends).
void deleteMarkedBlocks(UCB* ucb) {
  // A delivery made from within the user's receive entry may have ended
  // the user already.
  if (!rda_surUcbAlive(ucb)) return;
  // The user's associations may be made and ended on other record sets
  // meanwhile: each marked one is found under the list's lock, then deleted.
  while (ACB* acb = AL_surFindACB(
             ucb, [](const ACB* a, const void*) { return a->deleteFlag != 0 && a->linkCount == 0; }, nullptr))
    AL_surDeleteACB(acb);
  if (ucb->deleteFlag != 0) AL_surDeleteUCB(ucb);
}

}  // namespace

void rda_surPurgeOpQue(GIDU* queue, const ACB* acb) {
  GIDU* g = queue->next;
  while (g != queue) {
    GIDU* next = g->next;
    if (acb == nullptr || g->uc == acb) {
      if (isRdaIndCnf(g) && g->uc != nullptr) {
        if (auto* op = static_cast<OpEnt*>(g->ue)) {
          op->heldInd = nullptr;
          op->opStatus = RDA_OPST_REFUSED;
        }
      }
      // Taken out for one association, the flags parked in the GIDU go
      // back to their blocks; when the whole queue goes, so do they.
      if (acb != nullptr) unpark(g);
      al_unlinkGidu(g);
      al_deleteGidu(g);
    }
    g = next;
  }
}

void RDA_surOpQueHndl(GIDU* gidu) {
  AL_TRACE_GIDU(rda_surTMHandle, AL_TL_ENTRY, kSrc, "RDA_surOpQueHndl", gidu, 1);
  RdaUcbElem* user = rda_surUserElem(gidu);
  if (user == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** RDA_surOpQueHndl: Can't find RDA Specific UCB element\n");
    al_deleteGidu(gidu);
    return;
  }
  const bool nextEvent = gidu->iduType == kRdaIduType && gidu->event == RDA_SUR_NXTEVENT_REQ;
  if (user->role == RDA_SUR_CLIENT) {
    if (nextEvent) al_deleteGidu(gidu);
    else AL_surSendToUser(gidu);
    return;
  }
  if (gidu->event == AL_QABORT) {
    // Only the aborted association's GIDUs: the queue also serves the
    // user's other associations.
    rda_surPurgeOpQue(&user->opQueue, static_cast<ACB*>(gidu->uc));
    AL_surSendToUser(gidu);
    return;
  }
  if (nextEvent) {
    auto* ucb = static_cast<UCB*>(gidu->ue);
    user->busy = 0;
    al_deleteGidu(gidu);
    sendNextOp(user);
    deleteMarkedBlocks(ucb);
    return;
  }
  queueOp(gidu, user);
  if (user->busy == 0) sendNextOp(user);
}

void RDA_surDeleteDsm(RdaAcbElem* elem) {
  if (elem == nullptr) return;
  if (elem->dlgEnt != nullptr) {
    DlgEnt* dlg = elem->dlgEnt;
    elem->dlgEnt = nullptr;
    RDA_surDeleteDlgEnt(dlg);
  }
  while (elem->opList.links.next != &elem->opList.links) {
    UL_Link* first = elem->opList.links.next;
    RDA_surDeleteOpEnt(static_cast<OpEnt*>(first));
    if (elem->opList.links.next == first) break;  // not unlinked: stop rather than spin
  }
}
