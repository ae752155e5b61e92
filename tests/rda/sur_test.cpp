// The service user: start and end, activation, associations, the client's
// sequencing rule with its refusals, aborts and re-entry from the user's
// receive entry.
#include <gtest/gtest.h>

#include "rda/sur_fixture.h"

namespace {

uint32_t osiErr() { return static_cast<uint32_t>(QvGetOsiError()); }

// ---------------------------------------------------------------------------
// Start and end.

TEST_F(SurTest, StartAndEndRefuseWhatTheStateForbids) {
  EXPECT_EQ(rda_surInit(), 0);
  EXPECT_EQ(osiErr(), RDA_SUR_ERR_INITIALIZED_ALREADY);
  EXPECT_TRUE(traced("rda_surInit: SUR has already been initialized"));

  UCB* ucb = activate(RDA_SUR_CLIENT);
  ASSERT_NE(ucb, nullptr);
  EXPECT_EQ(rda_surTerm(), 0);
  EXPECT_EQ(osiErr(), RDA_SUR_ERR_ACTIVE_USERS);
  EXPECT_TRUE(traced("*** rda_surTerm: 1 Active users running"));
  ASSERT_NE(rda_surUcbQueue(), nullptr) << "the SUR stays";

  // Deactivated (the entity confirms at once), the user is gone and the
  // SUR can end; once.
  GIDU* deact = rda_createDeactivateReq(nullptr);
  refs(deact, ucb, nullptr);
  rda_surSnd(deact, nullptr);
  ASSERT_EQ(toUser().back().event, AL_DEACT_CNF);
  EXPECT_EQ(toUser().back().gidu->pe, nullptr) << "delivered after the UCB was marked";
  EXPECT_FALSE(ucbListed(ucb));
  EXPECT_EQ(rda_surTerm(), 1);
  EXPECT_EQ(rda_surTerm(), 0);
  EXPECT_EQ(osiErr(), RDA_SUR_ERR_NOT_INITIALIZED);
  EXPECT_EQ(rda_surInit(), 1);
}

TEST_F(SurTest, StartRefusesAConfigurationWithoutTheEntity) {
  ASSERT_EQ(rda_surTerm(), 1);
  AlSurConf bad = conf_;
  bad.aeSnd = nullptr;
  AL_surSetConf(&bad);
  EXPECT_EQ(rda_surInit(), 0);
  EXPECT_EQ(osiErr(), RDA_SUR_ERR_BAD_CONFIG_PARAM);
  EXPECT_TRUE(traced("validateSurConf: AL_surConf is not set up correctly"));
  AL_surSetConf(&conf_);
  EXPECT_EQ(rda_surInit(), 1);
}

// ---------------------------------------------------------------------------
// Activation.

TEST_F(SurTest, ActivateMakesAUserOfTheRoleAndDeliversTheConfirm) {
  UCB* ucb = activate(7);
  ASSERT_NE(ucb, nullptr);
  const Hop cnf = toUser().back();
  EXPECT_EQ(cnf.gidu->ue, &userRef_);
  EXPECT_EQ(ucb->aeUserRef, &aei_) << "the entity's invocation recorded from the confirm";
  const UcbElem* e = AL_surGetUcbElem(kRdaIduType, ucb);
  ASSERT_NE(e, nullptr);
  const auto* rda = static_cast<const RdaUcbElem*>(e->rdaElem);
  EXPECT_EQ(rda->role, 7u);
  EXPECT_EQ(rda->eventTbl, &RDA_surServerEventTbl);
  EXPECT_EQ(rda->stateCk, &RDA_serverStateCk);
  EXPECT_TRUE(traced("RDA_surCreateUCB: I'm a server"));
}

TEST_F(SurTest, ActivateWithoutMemoryComesBackAsAFailedConfirm) {
  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(nullptr, AL_ACT_REQ, 0, &body);
  ASSERT_NE(g, nullptr);
  g->ue = &userRef_;
  quietEntries();
  {
    FailingAlloc failNext(0);
    rda_surSnd(g, userRcv);
  }
  ASSERT_EQ(hops_.size(), 1u);
  EXPECT_TRUE(hops_[0].toUser);
  EXPECT_EQ(hops_[0].event, AL_ACT_CNF);
  EXPECT_EQ(hops_[0].errNo, RDA_SUR_ERR_NO_RESOURCE);
  EXPECT_EQ(hops_[0].gidu->ue, &userRef_);
  EXPECT_EQ(rda_surUcbQueue()->count, 0u);
}

TEST_F(SurTest, DeactivateWithAnAssociationIsRefusedAndNothingGoesDown) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ASSERT_NE(associate(ucb), nullptr);
  const size_t downBefore = toAe().size();
  GIDU* deact = rda_createDeactivateReq(nullptr);
  refs(deact, ucb, nullptr);
  rda_surSnd(deact, nullptr);
  EXPECT_EQ(toAe().size(), downBefore);
  EXPECT_EQ(toUser().back().event, AL_DEACT_CNF);
  EXPECT_EQ(toUser().back().errNo, RDA_SUR_ERR_ACTIVE_ASSN);
  EXPECT_TRUE(ucbListed(ucb));
}

TEST_F(SurTest, AGiduOfNoUserIsAnsweredThroughTheGivenEntryOrDropped) {
  GIDU* g = rdaDown(RDA_INIT_REQ, nullptr, nullptr);
  rda_surSnd(g, userRcv);
  ASSERT_EQ(hops_.size(), 1u);
  EXPECT_EQ(hops_[0].event, AL_LOCERR_IND);
  EXPECT_EQ(hops_[0].errNo, RDA_SUR_ERR_NO_SUCH_UCB);
  const long live = liveBlocks.load();
  rda_surSnd(rdaDown(RDA_INIT_REQ, nullptr, nullptr), nullptr);
  EXPECT_EQ(hops_.size(), 1u);
  EXPECT_LT(liveBlocks.load(), live + 1) << "dropped";
}

// ---------------------------------------------------------------------------
// Associations.

TEST_F(SurTest, AnAssociationRequestMakesItsAcbAndTheConfirmReachesTheUser) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  EXPECT_EQ(acb->ucb, ucb);
  EXPECT_EQ(acb->aeAssocRef, &sao_);
  EXPECT_EQ(acb->userAssocRef, &assocRef_);
  const Hop down = toAe().back();
  EXPECT_EQ(down.gidu->pe, &aei_) << "the entity's view";
  const Hop up = toUser().back();
  EXPECT_EQ(up.event, AL_A_ASSOC_CNF);
  EXPECT_EQ(up.gidu->pc, acb);
  EXPECT_EQ(up.gidu->uc, &assocRef_);
  EXPECT_EQ(up.gidu->pe, ucb);

  RdaAcbElem* e = acbElem(acb);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->clientInvoc.apTitle.kind, UL_TITLE_OBJID);
  ASSERT_EQ(e->clientInvoc.apTitle.objId.count, 5u);
  EXPECT_NE(e->clientInvoc.apTitle.objId.arcs, kCallingTitle) << "arcs copied";
  EXPECT_EQ(e->clientInvoc.apTitle.objId.arcs[2], 9999u);
  EXPECT_EQ(e->clientInvoc.aeQual.integer, 3);
  EXPECT_EQ(e->clientInvoc.aeInvokeId, 9);
  EXPECT_EQ(e->clientInvoc.apInvokeId, 0) << "absent";
  EXPECT_EQ(e->stateCk->family, RdaFamily::Xopen);
  EXPECT_EQ(e->stateCk->state, 0u);
}

TEST_F(SurTest, ADirectoryNameApTitleIsRefusedAtAcbCreation) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  const size_t downBefore = toAe().size();
  rda_surSnd(assocReq(ucb, UL_TITLE_DN), nullptr);
  EXPECT_EQ(toAe().size(), downBefore);
  EXPECT_TRUE(traced("*** RDA_surCreateACB: DN form of APTitle not supported"));
  const Hop cnf = toUser().back();
  ASSERT_EQ(cnf.event, AL_A_ASSOC_CNF);
  const auto* apdu = static_cast<const AcseApdu*>(cnf.gidu->idu);
  ASSERT_EQ(apdu->code, AC_APDU_AARE);
  EXPECT_EQ(apdu->aare.result, AC_RESULT_REJECTED_TRANSIENT);
  EXPECT_EQ(cnf.gidu->uc, &assocRef_);
  EXPECT_EQ(cnf.gidu->pc, nullptr);
  EXPECT_EQ(ucb->acbList.count, 0u);
}

TEST_F(SurTest, ARequestWhosePcIsNoAcbOfTheUserIsALocalError) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  UCB* other = activate(RDA_SUR_CLIENT);
  ACB* othersAcb = associate(other);
  ASSERT_NE(othersAcb, nullptr);
  ACB notAnAcb{};
  const size_t downBefore = toAe().size();
  for (ACB* pc : {static_cast<ACB*>(nullptr), &notAnAcb, othersAcb}) {
    rda_surSnd(rdaDown(RDA_INIT_REQ, ucb, pc), nullptr);
    EXPECT_EQ(toAe().size(), downBefore);
    EXPECT_EQ(toUser().back().event, AL_LOCERR_IND);
    EXPECT_EQ(toUser().back().errNo, RDA_SUR_ERR_NO_SUCH_ACB);
  }
}

TEST_F(SurTest, ReleaseAndAbortRemoveTheAssociation) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  void* body = nullptr;
  GIDU* rel = rda_createGiduWithApdu(nullptr, AL_A_RELEASE_REQ, &body);
  refs(rel, ucb, acb);
  rda_surSnd(rel, nullptr);
  EXPECT_EQ(toAe().back().event, AL_A_RELEASE_REQ);
  EXPECT_EQ(ucb->acbList.count, 1u);
  GIDU* cnf = acseUp(AL_A_RELEASE_RSP, ucb, acb);
  cnf->event = AL_A_RELEASE_CNF;
  rda_surRcv(cnf);
  EXPECT_EQ(toUser().back().event, AL_A_RELEASE_CNF);
  EXPECT_EQ(ucb->acbList.count, 0u);

  acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  GIDU* abrt = rda_createAbortReq(nullptr);
  refs(abrt, ucb, acb);
  rda_surSnd(abrt, nullptr);
  EXPECT_EQ(toAe().back().event, AL_A_ABORT_REQ);
  EXPECT_EQ(ucb->acbList.count, 0u);
}

// ---------------------------------------------------------------------------
// The client's sequencing rule.

TEST_F(SurTest, ARequestAndItsConfirmPassAndMoveTheState) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  rda_surSnd(rdaDown(RDA_INIT_REQ, ucb, acb), nullptr);
  const Hop down = toAe().back();
  ASSERT_EQ(down.event, RDA_INIT_REQ);
  EXPECT_EQ(down.gidu->pc, &sao_);
  EXPECT_EQ(down.gidu->pe, &aei_);
  const uint32_t afterRequest = acbElem(acb)->stateCk->state;
  EXPECT_NE(afterRequest, 0u);

  rda_surRcv(rdaUp(RDA_INIT_CNF, ucb, acb));
  const Hop up = toUser().back();
  ASSERT_EQ(up.event, RDA_INIT_CNF);
  EXPECT_EQ(up.gidu->ue, &userRef_);
  EXPECT_EQ(up.gidu->pe, ucb);
  EXPECT_EQ(up.gidu->uc, &assocRef_);
  EXPECT_EQ(up.gidu->pc, acb);
  EXPECT_NE(acbElem(acb)->stateCk->state, afterRequest);
}

TEST_F(SurTest, ARequestInABlankCellIsALocalErrorAndNothingIsSent) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  const size_t downBefore = toAe().size();
  rda_surSnd(rdaDown(RDA_COMMIT_REQ, ucb, acb), nullptr);  // no dialogue yet
  EXPECT_EQ(toAe().size(), downBefore);
  EXPECT_EQ(toUser().back().event, AL_LOCERR_IND);
  EXPECT_EQ(toUser().back().errNo, RDA_SUR_ERR_INVALID_SEQ);
  EXPECT_EQ(toUser().back().gidu->pc, acb);
  EXPECT_EQ(ucb->acbList.count, 1u) << "the association stays";
  EXPECT_EQ(acbElem(acb)->stateCk->state, 0u);
}

// Received primitives that the client's tables refuse end the association
// with quick aborts both ways, with the reason.
TEST_F(SurTest, AReceivedConfirmThatIsRefusedAbortsBothWays) {
  struct Case {
    const char* what;
    RdaEventCode event;
    uint32_t reason;
  };
  const Case cases[] = {
      {"confirm in a blank cell", RDA_COMMIT_CNF, RDA_SUR_ERR_INVALID_SEQ},
      {"an event of no row", RDA_INIT_REQ | AL_EV_APDU, RDA_ERR_INVALID_EVENT_TYPE},
  };
  UCB* ucb = activate(RDA_SUR_CLIENT);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ACB* acb = associate(ucb);
    ASSERT_NE(acb, nullptr);
    hops_.push_back({true, nullptr, 0, 0});  // a mark
    const size_t mark = hops_.size();
    rda_surRcv(rdaUp(c.event, ucb, acb));
    ASSERT_EQ(hops_.size(), mark + 2);
    const Hop& down = hops_[mark];
    const Hop& up = hops_[mark + 1];
    EXPECT_FALSE(down.toUser);
    EXPECT_EQ(down.event, AL_QABORT);
    EXPECT_EQ(down.errNo, c.reason);
    EXPECT_EQ(down.gidu->pc, &sao_);
    EXPECT_TRUE(up.toUser);
    EXPECT_EQ(up.event, AL_QABORT);
    EXPECT_EQ(up.errNo, c.reason);
    EXPECT_EQ(up.gidu->uc, &assocRef_);
    EXPECT_EQ(ucb->acbList.count, 0u) << "the association is gone";
    EXPECT_EQ(osiErr(), c.reason);
  }
}

TEST_F(SurTest, RollbackOnlyFollowsTheActionsAndNextStateSevenIsTwoForAServer) {
  struct Case {
    uint32_t role;
    RdaStateAction action;
    uint32_t rollbackBefore;
    uint32_t next;
    uint32_t state;
    uint32_t rollback;
  };
  const Case cases[] = {
      {RDA_SUR_CLIENT, RDA_surGoToNextState, 1, 7, 7, 1},  {5, RDA_surGoToNextState, 0, 7, 2, 0},
      {5, RDA_surGoToNextState, 0, 3, 3, 0},               {RDA_SUR_CLIENT, RDA_surTransRBTrue, 0, 99, 4, 1},
      {RDA_SUR_CLIENT, RDA_surTransRBFalse, 1, 5, 5, 0},
  };
  for (const Case& c : cases) {
    UCB* ucb = activate(c.role);
    ASSERT_NE(ucb, nullptr);
    GIDU* ind = acseUp(AL_A_ASSOC_REQ, ucb, nullptr);  // an AARQ climbs as the indication
    ind->event = AL_A_ASSOC_IND;
    static_cast<AcseApdu*>(ind->idu)->aarq.contextName = {9, const_cast<uint32_t*>(kXopenBasic)};
    rda_surRcv(ind);
    ASSERT_EQ(toUser().back().event, AL_A_ASSOC_IND);
    auto* acb = static_cast<ACB*>(toUser().back().gidu->pc);
    stateCkCB* cb = acbElem(acb)->stateCk;
    cb->state = 4;
    cb->rollbackOnly = c.rollbackBefore;
    GIDU* g = rdaUp(RDA_INIT_IND, ucb, acb);
    acb->routeTbl = nullptr;  // routing on finds no step: the GIDU is dropped
    c.action(cb, g, c.next);
    EXPECT_EQ(cb->state, c.state) << "role " << c.role << " next " << c.next;
    EXPECT_EQ(cb->rollbackOnly, c.rollback);
  }
}

// ---------------------------------------------------------------------------
// Aborts and re-entry.

TEST_F(SurTest, AQuickAbortWithoutUcIsMatchedByItsEntityAssociationElseDropped) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  int elsewhere = 0;
  GIDU* stray = rda_createQabortReq(nullptr);
  stray->ue = ucb;
  stray->pc = &elsewhere;
  const size_t before = hops_.size();
  rda_surRcv(stray);
  EXPECT_EQ(hops_.size(), before);
  EXPECT_TRUE(traced("*** rda_surRcv: ACB should not be NULL"));
  EXPECT_EQ(ucb->acbList.count, 1u);

  GIDU* qa = rda_createQabortReq(nullptr);
  qa->ue = ucb;
  qa->pc = &sao_;
  rda_surRcv(qa);
  ASSERT_EQ(hops_.size(), before + 1);
  EXPECT_EQ(toUser().back().event, AL_QABORT);
  EXPECT_EQ(toUser().back().gidu->pc, acb);
  EXPECT_EQ(toUser().back().gidu->uc, &assocRef_);
  EXPECT_EQ(ucb->acbList.count, 0u);
}

TEST_F(SurTest, GidusSentFromTheReceiveEntryFollowTheDeliveryInOrder) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ACB* acb = associate(ucb);
  ASSERT_NE(acb, nullptr);
  rda_surSnd(rdaDown(RDA_INIT_REQ, ucb, acb), nullptr);
  std::vector<std::string> order;
  onUser_ = [&](GIDU* g) {
    if (g->event != RDA_INIT_CNF) return;
    order.push_back("delivery begins");
    rda_surSnd(rdaDown(RDA_OPEN_REQ, ucb, acb, 2), nullptr);
    rda_surSnd(rdaDown(RDA_BGNTRANS_REQ, ucb, acb, 3), nullptr);
    order.push_back(toAe().back().event == RDA_INIT_REQ ? "nothing sent yet" : "sent too early");
    order.push_back("delivery ends");
  };
  rda_surRcv(rdaUp(RDA_INIT_CNF, ucb, acb));
  onUser_ = nullptr;
  EXPECT_EQ(order, (std::vector<std::string>{"delivery begins", "nothing sent yet", "delivery ends"}));
  const std::vector<Hop> down = toAe();
  ASSERT_GE(down.size(), 3u);
  EXPECT_EQ(down[down.size() - 2].event, RDA_OPEN_REQ);
  EXPECT_EQ(down.back().event, RDA_BGNTRANS_REQ);
  EXPECT_EQ(acb->passFlag, 0u);
  EXPECT_EQ(acb->linkCount, 0u);
}

}  // namespace
