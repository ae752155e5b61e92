// The operation queue of a server user: one operation at a time, the next
// on the SUR-next-event, parked delete flags, purging on a quick abort, an
// operation answered while its indication waits; and, on the real route of
// the server role, a dialogue's operations answered out of order, answers
// the rules make, aborts and cancels while indications wait, and answers
// that do not fit.
#include <gtest/gtest.h>

#include "rda/sur_fixture.h"
#include "src/rda/rda_srvent.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_stateck.h"
#include "support/counting_alloc.h"

namespace {

class SurQueueTest : public SurTest {
 protected:
  void SetUp() override {
    SurTest::SetUp();
    ucb_ = activate(1);
    ASSERT_NE(ucb_, nullptr);
    acb_ = acceptAssociation();
    ASSERT_NE(acb_, nullptr);
  }

  // An association indicated to the server user, who then asks for what
  // follows; its ACB.
  ACB* acceptAssociation() {
    GIDU* ind = acseUp(AL_A_ASSOC_REQ, ucb_, nullptr);
    ind->event = AL_A_ASSOC_IND;
    static_cast<AcseApdu*>(ind->idu)->aarq.contextName = {9, const_cast<uint32_t*>(kXopenBasic)};
    rda_surRcv(ind);
    if (toUser().empty() || toUser().back().event != AL_A_ASSOC_IND) return nullptr;
    auto* acb = static_cast<ACB*>(toUser().back().gidu->pc);
    nextEvent(ucb_, acb);
    return acb;
  }

  // An indication of operation `opId` with its entity, handed to the
  // queue as the receive chain's last step does; its entity.
  OpEnt* arrive(int32_t opId) {
    GIDU* ind = rdaUp(RDA_EXECDBL_IND, ucb_, acb_, opId);
    OpEnt* op = RDA_surCreateOpEnt(ind);
    if (op == nullptr || ind->pc != op) return nullptr;
    RDA_surOpQueHndl(ind);
    return op;
  }

  // A dialogue on the real route: an R-Initialize (with an SQL conformance
  // level, which the R-Open needs) and an R-Open of resource 10 arrive, are
  // answered by the server user, and the user asks for the next event
  // after each. On `acb` (else the fixture's association) with the
  // dialogue suffix at `suffix`; with `control`, the answer allows control
  // services on the dialogue. Its dialogue entity.
  DlgEnt* openDialogue(ACB* acb = nullptr, const uint8_t* suffix = nullptr, bool control = false) {
    acb = acb != nullptr ? acb : acb_;
    rda_surRcv(initUp(acb, suffix != nullptr ? suffix : &suffix_[0]));
    void* b = nullptr;
    GIDU* r = rdaDown(RDA_INIT_RSP, ucb_, acb, 1, &b);
    auto* res = static_cast<RDAInit_Result*>(b);
    res->functionalUnits = fu_;
    if (control) {
      res->mask |= RDA_INITRSP_CNTL;
      res->control.flag = 1;
      res->control.mask |= RDA_INITCNTL_AUTH;
      res->control.cntlAuthData.code = RDA_AUTH_TEXT;
      res->control.cntlAuthData.text = const_cast<char*>("secret");
    }
    rda_surSnd(r, nullptr);
    nextEvent(ucb_, acb);
    GIDU* open = rdaUp(RDA_OPEN_IND, ucb_, acb, 2, &b);
    static_cast<RDAOpen_Req*>(b)->handle = 10;
    rda_surRcv(open);
    rda_surSnd(rdaDown(RDA_OPEN_RSP, ucb_, acb, 2), nullptr);
    nextEvent(ucb_, acb);
    return acbElem(acb)->dlgEnt;
  }

  // An R-Initialize (operation 1) from the entity on `acb`, the units of
  // fu_ asked for, dialogue suffix the one octet at `suffix`.
  GIDU* initUp(ACB* acb, const uint8_t* suffix) {
    void* b = nullptr;
    GIDU* init = rdaUp(RDA_INIT_IND, ucb_, acb, 1, &b);
    auto* req = static_cast<RDAInit_Req*>(b);
    req->suffix.code = 0x4000;
    req->suffix.octets = {1, const_cast<uint8_t*>(suffix)};
    req->identityOfUser = const_cast<char*>("user");
    req->functionalUnits = fu_;
    req->mask |= RDA_INIT_SQL;
    req->sql.mask = 0x01;
    req->sql.conformLevel = {2, level_};
    return init;
  }

  // An R-ExecuteDBL from the entity, on resource `hndl`.
  GIDU* execUp(int32_t opId, int32_t hndl = 10, ACB* acb = nullptr) {
    void* b = nullptr;
    GIDU* g = rdaUp(RDA_EXECDBL_IND, ucb_, acb != nullptr ? acb : acb_, opId, &b);
    static_cast<RDAExecDBL_Req*>(b)->mask |= RDA_EXEC_RSRC;
    static_cast<RDAExecDBL_Req*>(b)->handle = hndl;
    return g;
  }
  // An R-Cancel or R-Status from the entity on the own dialogue, listing
  // `ids` (none: no list).
  GIDU* ctlUp(RdaEventCode event, int32_t opId, std::initializer_list<int32_t> ids) {
    void* b = nullptr;
    GIDU* g = rdaUp(event, ucb_, acb_, opId, &b);
    auto* req = static_cast<RDACancel_Req*>(b);
    req->opIds.links.next = req->opIds.links.prev = &req->opIds.links;
    if (ids.size() != 0) req->mask |= RDA_CNTL_OPIDS;
    for (int32_t id : ids) {
      auto* n = static_cast<RDAIntNode*>(_xm_allocItem(xm_getParentOfItem(g->idu), sizeof(RDAIntNode), XM_ZERO));
      n->value = id;
      n->links.prev = req->opIds.links.prev;
      n->links.next = &req->opIds.links;
      req->opIds.links.prev->next = &n->links;
      req->opIds.links.prev = &n->links;
      ++req->opIds.count;
    }
    return g;
  }

  void clearHops() {
    for (Hop& h : hops_) al_deleteGidu(h.gidu);
    hops_.clear();
  }
  // The operation ids of the answers that reached the entity, in order.
  std::vector<int32_t> sentOps(RdaEventCode event) const {
    std::vector<int32_t> ids;
    for (const Hop& h : toAe())
      if (h.event == event) ids.push_back(static_cast<const RDAIdu*>(h.gidu->idu)->term_RC.opId);
    return ids;
  }
  std::vector<uint32_t> events(bool user) const {
    std::vector<uint32_t> out;
    for (const Hop& h : hopsTo(user)) out.push_back(h.event);
    return out;
  }

  std::vector<int32_t> deliveredOps() const {
    std::vector<int32_t> ids;
    for (const Hop& h : toUser())
      if (h.event == RDA_EXECDBL_IND) ids.push_back(static_cast<const RDAIdu*>(h.gidu->idu)->execDBL_RI.opId);
    return ids;
  }

  UCB* ucb_ = nullptr;
  ACB* acb_ = nullptr;
  uint8_t suffix_[2] = {'A', 'B'};
  uint32_t fu_ = 0xFE;  // the functional units asked for and allowed
  uint32_t level_[2] = {1, 2};
};

TEST_F(SurQueueTest, AServerGetsOneOperationAtATimeTheNextOnRequest) {
  OpEnt* a = arrive(5);
  OpEnt* b = arrive(6);
  OpEnt* c = arrive(7);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5}));
  EXPECT_EQ(a->opStatus, RDA_OPST_TAKEN);
  EXPECT_EQ(a->heldInd, nullptr);
  EXPECT_EQ(b->opStatus, RDA_OPST_ARRIVED);
  ASSERT_NE(b->heldInd, nullptr) << "waits in the queue";
  const Hop first = toUser().back();
  EXPECT_EQ(first.gidu->ue, &userRef_);
  EXPECT_EQ(first.gidu->pe, ucb_);
  EXPECT_EQ(first.gidu->uc, &assocRef_);
  EXPECT_EQ(first.gidu->pc, acb_);

  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(b->opStatus, RDA_OPST_TAKEN);
  nextEvent(ucb_, acb_);
  nextEvent(ucb_, acb_);  // nothing left: nothing happens
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6, 7}));
}

// Delete flags set while an operation waits are parked in it and given back
// when it leaves the queue, delivered or dropped as answered already; the
// marked blocks then go, the delivery being made on the user's request for
// the next event.
TEST_F(SurQueueTest, DeleteFlagsWaitInTheQueuedOperation) {
  for (const bool answered : {false, true}) {
    SCOPED_TRACE(answered ? "dropped as answered" : "delivered");
    arrive(5);
    acb_->deleteFlag = 1;
    ucb_->deleteFlag = 1;
    OpEnt* b = arrive(6);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(acb_->deleteFlag, 0u) << "parked: the ACB outlives the pass that queued";
    EXPECT_EQ(ucb_->deleteFlag, 0u);
    EXPECT_EQ(b->heldInd->pc, reinterpret_cast<void*>(1));
    EXPECT_EQ(b->heldInd->pe, reinterpret_cast<void*>(1));
    if (answered) b->rsp = al_createGidu(nullptr, kRdaIduType, RDA_EXECDBL_ERSP);
    clearHops();
    nextEvent(ucb_, acb_);
    if (answered) {
      EXPECT_TRUE(toUser().empty());
    } else {
      EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{6}));
      EXPECT_EQ(toUser().back().gidu->pe, nullptr) << "delivered after the UCB was marked";
    }
    EXPECT_FALSE(ucbListed(ucb_)) << "the marks took effect: the user and its association are gone";
    ucb_ = activate(1);
    ASSERT_NE(ucb_, nullptr);
    acb_ = acceptAssociation();
    ASSERT_NE(acb_, nullptr);
  }
}

// An operation answered while its indication still waits (its answer stands
// in rsp): the indication is dropped and the queue goes on with the next
// operation instead of stalling.
TEST_F(SurQueueTest, AnAnsweredOperationIsSkippedAndTheQueueGoesOn) {
  arrive(5);
  OpEnt* b = arrive(6);
  OpEnt* c = arrive(7);
  ASSERT_TRUE(b && c);
  b->rsp = al_createGidu(nullptr, kRdaIduType, RDA_EXECDBL_ERSP);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 7}));
  EXPECT_EQ(b->heldInd, nullptr);
  EXPECT_EQ(c->opStatus, RDA_OPST_TAKEN);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 7}));
}

TEST_F(SurQueueTest, AQuickAbortPurgesTheQueueAndReachesTheUser) {
  arrive(5);
  OpEnt* b = arrive(6);
  ASSERT_NE(b, nullptr);
  GIDU* qa = rda_createQabortReq(nullptr);
  qa->ue = ucb_;
  qa->uc = acb_;
  qa->pc = &sao_;
  rda_surRcv(qa);
  EXPECT_EQ(toUser().back().event, AL_QABORT);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5}));
  EXPECT_EQ(ucb_->acbList.count, 0u) << "the association and its operations are gone";
}

// Three operations of one dialogue, on the real route of the server role:
// the server user gets them one at a time, each only after asking for the
// next; while they wait, each indication is parked with its operation; the
// answers, given out of order, leave in arrival order, every one from the
// same route position, and nothing is left behind.
TEST_F(SurQueueTest, ThreeOperationsAnsweredOutOfOrderLeaveInArrivalOrder) {
  DlgEnt* dlg = openDialogue();
  ASSERT_NE(dlg, nullptr);
  ASSERT_EQ(events(false), (std::vector<uint32_t>{RDA_INIT_RSP, RDA_OPEN_RSP}));
  ASSERT_NE(RDA_surGetRsrcEnt(10, dlg), nullptr);
  ASSERT_EQ(dlg->opList->count, 0u);
  ASSERT_EQ(acbElem(acb_)->stateCk->state, static_cast<uint32_t>(RDA_SA));
  RdaUcbElem* user = static_cast<RdaUcbElem*>(AL_surGetUcbElem(kRdaIduType, ucb_)->rdaElem);
  ASSERT_EQ(user->busy, 0u);
  clearHops();
  const long before = liveBlocks.load();
  std::vector<uint32_t> levels;  // the ACB's route position as each answer reaches the entity
  onAe_ = [&](GIDU*) { levels.push_back(acb_->routeLevel); };

  for (int32_t id : {5, 6, 7}) rda_surRcv(rdaUp(RDA_EXECDBL_IND, ucb_, acb_, id));
  OpEnt* op5 = RDA_surGetOpEnt(5, dlg);
  OpEnt* op6 = RDA_surGetOpEnt(6, dlg);
  OpEnt* op7 = RDA_surGetOpEnt(7, dlg);
  ASSERT_TRUE(op5 && op6 && op7);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5}));
  EXPECT_TRUE(toAe().empty());
  EXPECT_EQ(user->busy, 1u);
  EXPECT_EQ(op5->opStatus, RDA_OPST_TAKEN);
  EXPECT_EQ(op5->heldInd, nullptr);
  const Hop first = toUser().back();
  EXPECT_EQ(first.gidu->ue, &userRef_);
  EXPECT_EQ(first.gidu->pe, ucb_);
  EXPECT_EQ(first.gidu->uc, &assocRef_);
  EXPECT_EQ(first.gidu->pc, acb_);
  // The waiting ones: in the queue in arrival order, each indication naming
  // its operation, no delete flag parked in it.
  ASSERT_NE(op6->heldInd, nullptr);
  ASSERT_NE(op7->heldInd, nullptr);
  EXPECT_EQ(user->opQueue.next, op6->heldInd);
  EXPECT_EQ(op6->heldInd->next, op7->heldInd);
  EXPECT_EQ(op7->heldInd->next, &user->opQueue);
  for (OpEnt* op : {op6, op7}) {
    EXPECT_EQ(op->opStatus, RDA_OPST_ARRIVED);
    EXPECT_EQ(op->heldInd->ue, op);
    EXPECT_EQ(op->heldInd->uc, acb_);
    EXPECT_EQ(op->heldInd->pc, nullptr);
    EXPECT_EQ(op->heldInd->pe, nullptr);
  }

  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(op6->opStatus, RDA_OPST_TAKEN);
  EXPECT_EQ(op6->heldInd, nullptr);
  EXPECT_EQ(user->opQueue.next, op7->heldInd);
  EXPECT_EQ(toUser().back().gidu->pc, acb_) << "references given back";
  EXPECT_EQ(toUser().back().gidu->pe, ucb_);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6, 7}));
  EXPECT_EQ(op7->opStatus, RDA_OPST_TAKEN);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(user->busy, 0u) << "nothing left to give";

  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 7), nullptr);
  EXPECT_TRUE(toAe().empty()) << "7 waits for 5 and 6";
  EXPECT_EQ(op7->opStatus, RDA_OPST_ANSWERED);
  EXPECT_NE(op7->rsp, nullptr);
  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 5), nullptr);
  EXPECT_EQ(sentOps(RDA_EXECDBL_RSP), (std::vector<int32_t>{5}));
  EXPECT_EQ(RDA_surGetOpEnt(5, dlg), nullptr);
  EXPECT_EQ(dlg->opList->count, 2u);
  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 6), nullptr);
  EXPECT_EQ(sentOps(RDA_EXECDBL_RSP), (std::vector<int32_t>{5, 6, 7}));
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[2], levels[1]) << "7 left from where 6 did";
  EXPECT_EQ(levels[1], levels[0]);
  for (const Hop& h : toAe()) {
    EXPECT_EQ(h.gidu->pe, &aei_) << "the entity's view";
    EXPECT_EQ(h.gidu->pc, &sao_);
  }
  EXPECT_EQ(dlg->opList->count, 0u);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6, 7})) << "no refusal came back";
  EXPECT_EQ(acbElem(acb_)->stateCk->state, static_cast<uint32_t>(RDA_SA));
  EXPECT_EQ(acb_->passFlag, 0u);
  EXPECT_EQ(acb_->inputCount, 0u);
  onAe_ = nullptr;
  clearHops();
  EXPECT_EQ(liveBlocks.load(), before) << "every operation and GIDU freed";
  EXPECT_FALSE(traced("*** ")) << "no step of the route complained";
}

// An abort of the association while the server user holds an operation
// and another waits: the abort queues behind it, the association staying
// until the abort is taken; once the user has it, the association goes
// with its dialogue and operations. Also with a user that asks for the
// next event from within its receive entry, so that the deliveries nest.
TEST_F(SurQueueTest, AnAbortWaitingInTheQueueEndsTheAssociationWhenTaken) {
  for (const bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "asked from the receive entry" : "asked after each delivery");
    DlgEnt* dlg = openDialogue();
    ASSERT_NE(dlg, nullptr);
    clearHops();
    const long before = liveBlocks.load();
    rda_surRcv(rdaUp(RDA_EXECDBL_IND, ucb_, acb_, 5));
    rda_surRcv(rdaUp(RDA_EXECDBL_IND, ucb_, acb_, 6));
    GIDU* abrt = acseUp(AL_A_ABORT_REQ, ucb_, acb_);
    ASSERT_NE(abrt, nullptr);
    abrt->event = AL_A_ABORT_IND;
    rda_surRcv(abrt);
    EXPECT_EQ(events(true), (std::vector<uint32_t>{RDA_EXECDBL_IND}));
    EXPECT_EQ(ucb_->acbList.count, 1u) << "kept while the abort waits";
    EXPECT_EQ(acb_->deleteFlag, 0u) << "parked in the waiting abort";

    if (nested) {
      onUser_ = [this](GIDU*) { nextEvent(ucb_, nullptr); };
      nextEvent(ucb_, acb_);
      onUser_ = nullptr;
    } else {
      nextEvent(ucb_, acb_);
      EXPECT_EQ(events(true), (std::vector<uint32_t>{RDA_EXECDBL_IND, RDA_EXECDBL_IND}));
      EXPECT_EQ(ucb_->acbList.count, 1u);
      nextEvent(ucb_, acb_);
    }
    EXPECT_EQ(events(true), (std::vector<uint32_t>{RDA_EXECDBL_IND, RDA_EXECDBL_IND, AL_A_ABORT_IND}));
    EXPECT_EQ(toUser().back().gidu->pc, acb_);
    EXPECT_EQ(ucb_->acbList.count, 0u) << "the association is gone once the abort is taken";
    clearHops();
    // What the dialogue held (its resource, the R-Open's remains) went with it.
    EXPECT_LT(liveBlocks.load(), before);
    if (!nested) nextEvent(ucb_, nullptr);
    acb_ = acceptAssociation();
    ASSERT_NE(acb_, nullptr);
    clearHops();
  }
}

// Once an abort of an association has come while the server user works (an
// A-ABORT, an A-P-ABORT or a quick abort), what the user sends on that
// association is refused and never reaches the entity, which freed its
// block of the association with the abort: the answer to the operation the
// user holds, and an A-ABORT request on a second association whose abort
// waits behind that operation.
TEST_F(SurQueueTest, AfterAnAbortNothingTheUserSendsOnTheAssociationReachesTheEntity) {
  for (const uint32_t kind : {uint32_t{AL_A_ABORT_IND}, uint32_t{AL_A_PABORT_IND}, uint32_t{AL_QABORT}}) {
    SCOPED_TRACE(kind);
    ACB* second = acceptAssociation();
    ASSERT_NE(second, nullptr);
    ASSERT_NE(openDialogue(), nullptr);
    clearHops();
    rda_surRcv(execUp(5));
    ASSERT_EQ(events(true), std::vector<uint32_t>{RDA_EXECDBL_IND}) << "the user holds the operation";
    for (ACB* acb : {acb_, second}) {
      GIDU* abrt = nullptr;
      if (kind == AL_QABORT) {
        abrt = al_createGidu(nullptr, AL_IDU_NONE, AL_QABORT);
        abrt->ue = ucb_;
        abrt->uc = acb;
        abrt->pe = &aei_;
        abrt->pc = &sao_;
      } else {
        abrt = acseUp(AL_A_ABORT_REQ, ucb_, acb);
        abrt->event = kind;
      }
      rda_surRcv(abrt);
    }
    rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 5), nullptr);
    void* body = nullptr;
    GIDU* abortReq = rda_createGiduWithApdu(nullptr, AL_A_ABORT_REQ, &body);
    refs(abortReq, ucb_, second);
    rda_surSnd(abortReq, nullptr);
    EXPECT_TRUE(toAe().empty()) << "nothing reached the entity";
    for (int i = 0; i < 4; ++i) nextEvent(ucb_, nullptr);
    EXPECT_TRUE(toAe().empty());
    EXPECT_EQ(ucb_->acbList.count, 0u) << "both associations are gone";
    clearHops();
    acb_ = acceptAssociation();
    ASSERT_NE(acb_, nullptr);
    clearHops();
  }
}

// Indications the rules answer themselves never reach the server user, and
// their answers keep their place in the order: one refused on arrival (no
// such resource), one cancelled while it waits in the queue; R-Cancel and
// R-Status are answered at once, the status read from the parked state.
TEST_F(SurQueueTest, AnswersOfTheRulesKeepTheirPlaceAndCancelledOnesLeaveTheQueue) {
  DlgEnt* dlg = openDialogue();
  ASSERT_NE(dlg, nullptr);
  clearHops();
  const long before = liveBlocks.load();
  rda_surRcv(execUp(5));
  rda_surRcv(execUp(6, 99));  // no resource 99: error 7
  rda_surRcv(execUp(7));
  OpEnt* op6 = RDA_surGetOpEnt(6, dlg);
  OpEnt* op7 = RDA_surGetOpEnt(7, dlg);
  ASSERT_TRUE(op6 && op7);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5}));
  EXPECT_EQ(op6->heldInd, nullptr) << "never queued for the user";
  ASSERT_NE(op6->rsp, nullptr);
  EXPECT_EQ(rda_getGenErr(op6->rsp), 7u);
  ASSERT_NE(op7->heldInd, nullptr);
  EXPECT_TRUE(toAe().empty()) << "6's answer waits for 5";

  rda_surRcv(ctlUp(RDA_CANCEL_IND, 8, {7}));
  const RdaUcbElem* user = static_cast<RdaUcbElem*>(AL_surGetUcbElem(kRdaIduType, ucb_)->rdaElem);
  EXPECT_EQ(user->opQueue.next, &user->opQueue) << "the cancelled indication left the queue";
  EXPECT_EQ(op7->opStatus, RDA_OPST_CANCELLED);
  ASSERT_NE(op7->rsp, nullptr);
  EXPECT_EQ(rda_getGenErr(op7->rsp), 20u);
  EXPECT_EQ(acb_->deleteFlag, 0u);
  EXPECT_EQ(events(false), (std::vector<uint32_t>{RDA_CANCEL_RSP})) << "answered at once";

  rda_surRcv(ctlUp(RDA_STATUS_IND, 9, {}));
  ASSERT_EQ(events(false), (std::vector<uint32_t>{RDA_CANCEL_RSP, RDA_STATUS_RSP}));
  std::vector<std::pair<int32_t, uint32_t>> status;
  const RDAList& infos = static_cast<const RDAIdu*>(toAe().back().gidu->idu)->status_RC.result.infos;
  for (const UL_Link* l = infos.links.next; l != &infos.links; l = l->next)
    status.emplace_back(reinterpret_cast<const RDAStatusNode*>(l)->info.opId,
                        reinterpret_cast<const RDAStatusNode*>(l)->info.code);
  EXPECT_EQ(status, (std::vector<std::pair<int32_t, uint32_t>>{
                        {5, RDA_OPST_TAKEN}, {6, RDA_OPST_ANSWERED}, {7, RDA_OPST_CANCELLED}}));

  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5})) << "nothing left for the user";
  EXPECT_EQ(user->busy, 0u);
  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 5), nullptr);
  EXPECT_EQ(events(false), (std::vector<uint32_t>{RDA_CANCEL_RSP, RDA_STATUS_RSP, RDA_EXECDBL_RSP, RDA_EXECDBL_ERSP,
                                                  RDA_EXECDBL_ERSP}));
  EXPECT_EQ(sentOps(RDA_EXECDBL_RSP), (std::vector<int32_t>{5}));
  EXPECT_EQ(sentOps(RDA_EXECDBL_ERSP), (std::vector<int32_t>{6, 7}));
  EXPECT_EQ(dlg->opList->count, 0u);
  EXPECT_EQ(acbElem(acb_)->stateCk->state, static_cast<uint32_t>(RDA_SA));
  EXPECT_EQ(ucb_->acbList.count, 1u);
  clearHops();
  EXPECT_EQ(liveBlocks.load(), before);
  EXPECT_FALSE(traced("*** ")) << "no step of the route complained";
}

// The operation queue serves every association of the user: what one
// association's end takes out of it is that association's own.
TEST_F(SurQueueTest, AnAssociationsEndTakesOnlyItsOwnGidusOutOfTheQueue) {
  ACB* other = acceptAssociation();
  ASSERT_NE(other, nullptr);
  ASSERT_NE(openDialogue(), nullptr);
  rda_surRcv(execUp(5));  // the user holds it
  rda_surRcv(initUp(other, &suffix_[1]));
  GIDU* rel = acseUp(AL_A_RELEASE_REQ, ucb_, acb_);
  rel->event = AL_A_RELEASE_IND;
  rda_surRcv(rel);
  ASSERT_EQ(events(true).back(), RDA_EXECDBL_IND);
  clearHops();

  // A quick abort of the first association.
  GIDU* qa = rda_createQabortReq(nullptr);
  qa->ue = ucb_;
  qa->uc = acb_;
  qa->pc = &sao_;
  rda_surRcv(qa);
  EXPECT_EQ(events(true), (std::vector<uint32_t>{AL_QABORT}));
  ASSERT_EQ(ucb_->acbList.count, 1u);
  nextEvent(ucb_, nullptr);
  EXPECT_EQ(events(true), (std::vector<uint32_t>{AL_QABORT, RDA_INIT_IND})) << "the other's indication is kept";
  EXPECT_EQ(toUser().back().gidu->pc, other);
  ASSERT_NE(acbElem(other)->dlgEnt, nullptr);
  EXPECT_EQ(RDA_surGetOpEnt(1, acbElem(other)->dlgEnt)->opStatus, RDA_OPST_TAKEN);
  nextEvent(ucb_, nullptr);
  EXPECT_EQ(events(true).size(), 2u) << "the aborted association's release went with it";
}

// The server user ends an association (A-ABORT request) while an indication
// of it still waits in the queue: the waiting GIDU goes with the
// association, never to be delivered with references to a block that is
// gone.
TEST_F(SurQueueTest, AnAssociationAbortedByTheUserTakesItsWaitingGidusWithIt) {
  ASSERT_NE(openDialogue(), nullptr);
  rda_surRcv(execUp(5));
  GIDU* rel = acseUp(AL_A_RELEASE_REQ, ucb_, acb_);
  rel->event = AL_A_RELEASE_IND;
  rda_surRcv(rel);
  rda_surRcv(execUp(6));
  clearHops();
  void* body = nullptr;
  GIDU* abrt = rda_createGiduWithApdu(nullptr, AL_A_ABORT_REQ, &body);
  ASSERT_NE(abrt, nullptr);
  refs(abrt, ucb_, acb_);
  rda_surSnd(abrt, nullptr);
  EXPECT_EQ(events(false), (std::vector<uint32_t>{AL_A_ABORT_REQ}));
  EXPECT_EQ(ucb_->acbList.count, 0u);
  const RdaUcbElem* user = static_cast<RdaUcbElem*>(AL_surGetUcbElem(kRdaIduType, ucb_)->rdaElem);
  EXPECT_EQ(user->opQueue.next, &user->opQueue) << "nothing of the association waits";
  nextEvent(ucb_, nullptr);
  EXPECT_TRUE(toUser().empty());
}

// An R-BeginTransaction gets no answer on success, so a later operation's
// answer passes it; but while its indication still waits for the server
// user it is not dropped with it: the user still gets it, and only then is
// the operation passed over for good.
TEST_F(SurQueueTest, AWaitingBeginTransactionIsStillDeliveredWhenALaterAnswerPassesIt) {
  DlgEnt* dlg = openDialogue();
  ASSERT_NE(dlg, nullptr);
  rda_surRcv(execUp(4));
  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 4), nullptr);  // the user holds on, not asking for more
  clearHops();
  rda_surRcv(rdaUp(RDA_BGNTRANS_IND, ucb_, acb_, 6));
  rda_surRcv(execUp(7, 99));  // refused by the rules: no resource 99
  EXPECT_EQ(sentOps(RDA_EXECDBL_ERSP), (std::vector<int32_t>{7})) << "nothing to wait for";
  OpEnt* bgn = RDA_surGetOpEnt(6, dlg);
  ASSERT_NE(bgn, nullptr) << "kept while its indication waits";
  EXPECT_NE(bgn->heldInd, nullptr);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(events(true), (std::vector<uint32_t>{RDA_BGNTRANS_IND}));
  EXPECT_EQ(bgn->opStatus, RDA_OPST_TAKEN);
  EXPECT_EQ(dlg->transState, RDA_TRANS_OPEN);

  nextEvent(ucb_, acb_);
  rda_surRcv(execUp(8));
  rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 8), nullptr);
  EXPECT_EQ(sentOps(RDA_EXECDBL_RSP), (std::vector<int32_t>{8}));
  EXPECT_EQ(dlg->opList->count, 0u) << "the taken R-BeginTransaction passed over";
}

// An answer the rules make goes through the sequencing rule whether it
// leaves at once or after the operations before it: an R-Terminate refused
// (its unit not negotiated) while an R-ExecuteDBL is with the server user
// takes the dialogue back to active when it leaves, and the client goes on.
TEST_F(SurQueueTest, ARefusalHeldBehindEarlierOperationsPassesTheSequencingRule) {
  fu_ = 0xFE & ~RDA_FU_TERM;
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held behind 5" : "at once");
    DlgEnt* dlg = openDialogue();
    ASSERT_NE(dlg, nullptr);
    clearHops();
    if (held) rda_surRcv(execUp(5));
    rda_surRcv(rdaUp(RDA_TERM_IND, ucb_, acb_, 6));
    if (held) rda_surSnd(rdaDown(RDA_EXECDBL_RSP, ucb_, acb_, 5), nullptr);
    EXPECT_EQ(sentOps(RDA_TERM_ERSP), (std::vector<int32_t>{6}));
    EXPECT_EQ(acbElem(acb_)->stateCk->state, static_cast<uint32_t>(RDA_SA));
    if (held) nextEvent(ucb_, acb_);
    rda_surRcv(execUp(7));
    EXPECT_EQ(events(true).back(), RDA_EXECDBL_IND) << "the dialogue goes on";
    ASSERT_EQ(ucb_->acbList.count, 1u);
    // A fresh association for the next round.
    GIDU* abrt = rda_createAbortReq(nullptr);
    refs(abrt, ucb_, acb_);
    rda_surSnd(abrt, nullptr);
    nextEvent(ucb_, nullptr);
    clearHops();
    acb_ = acceptAssociation();
    ASSERT_NE(acb_, nullptr);
  }
}

// An R-Cancel on one association naming the dialogue of another: the
// cancelled operation's answer leaves on that other association, without
// waiting for something else to happen there.
TEST_F(SurQueueTest, ACancelOfAnotherAssociationsDialogueAnswersThereAtOnce) {
  ACB* other = acceptAssociation();
  ASSERT_NE(other, nullptr);
  ASSERT_NE(openDialogue(), nullptr);
  DlgEnt* controlled = openDialogue(other, &suffix_[1], true);
  ASSERT_NE(controlled, nullptr);
  rda_surRcv(execUp(5));             // the user holds it
  rda_surRcv(execUp(6, 10, other));  // waits in the queue
  ASSERT_NE(RDA_surGetOpEnt(6, controlled)->heldInd, nullptr);
  clearHops();

  GIDU* cancel = ctlUp(RDA_CANCEL_IND, 7, {6});
  auto* req = &static_cast<RDAIdu*>(cancel->idu)->cancel_RI.req;
  req->mask |= RDA_CNTL_DLG;
  req->dialogue.suffix.code = 0x4000;
  req->dialogue.suffix.octets = {1, &suffix_[1]};
  rda_surRcv(cancel);
  EXPECT_EQ(events(false), (std::vector<uint32_t>{RDA_EXECDBL_ERSP, RDA_CANCEL_RSP}));
  EXPECT_EQ(sentOps(RDA_EXECDBL_ERSP), (std::vector<int32_t>{6}));
  EXPECT_EQ(other->inputCount, 0u) << "nothing left waiting on the other association";
  EXPECT_EQ(controlled->opList->count, 0u);
  EXPECT_EQ(other->passFlag, 0u);
  EXPECT_FALSE(traced("*** ")) << "no step of the route complained";
}

// An answer of another service than the operation's indication is refused
// back to the server user, and the operation waits for its own answer.
TEST_F(SurQueueTest, AnAnswerOfAnotherServiceIsRefused) {
  DlgEnt* dlg = openDialogue();
  ASSERT_NE(dlg, nullptr);
  clearHops();
  const long before = liveBlocks.load();
  void* b = nullptr;
  GIDU* close = rdaUp(RDA_CLOSE_IND, ucb_, acb_, 5, &b);
  auto* list = &static_cast<RDAListSeq*>(b)->list;
  list->links.next = list->links.prev = &list->links;
  rda_surRcv(close);
  GIDU* wrong = rdaDown(RDA_OPEN_ERSP, ucb_, acb_, 5, &b);
  static_cast<RDAErr*>(b)->code = 8200;
  rda_surSnd(wrong, nullptr);
  EXPECT_TRUE(toAe().empty()) << "nothing went to the client";
  nextEvent(ucb_, acb_);
  ASSERT_EQ(events(true), (std::vector<uint32_t>{RDA_CLOSE_IND, AL_LOCERR_IND}));
  EXPECT_EQ(toUser().back().errNo, RDA_SUR_ERR_NO_SUCH_OP_ENT);
  ASSERT_NE(RDA_surGetOpEnt(5, dlg), nullptr);
  EXPECT_EQ(RDA_surGetOpEnt(5, dlg)->refKind, static_cast<uint32_t>(OPREF_CLOSE_LIST));

  void* r = nullptr;
  GIDU* right = rdaDown(RDA_CLOSE_RSP, ucb_, acb_, 5, &r);
  static_cast<RDAListSeq*>(r)->list.links.next = static_cast<RDAListSeq*>(r)->list.links.prev =
      &static_cast<RDAListSeq*>(r)->list.links;
  rda_surSnd(right, nullptr);
  EXPECT_EQ(events(false), (std::vector<uint32_t>{RDA_CLOSE_RSP}));
  EXPECT_EQ(dlg->rsrcList.count, 0u) << "closed";
  nextEvent(ucb_, acb_);
  clearHops();
  EXPECT_LT(liveBlocks.load(), before) << "the resource and the close list went";
}

}  // namespace
