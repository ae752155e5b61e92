// The operation queue of a server user: one operation at a time, the next
// on the SUR-next-event, parked delete flags, purging on a quick abort, and
// an operation answered while its indication waits.
#include <gtest/gtest.h>

#include "rda/sur_fixture.h"
#include "src/rda/rda_srvent.h"

namespace {

class SurQueueTest : public SurTest {
 protected:
  void SetUp() override {
    SurTest::SetUp();
    ucb_ = activate(1);
    ASSERT_NE(ucb_, nullptr);
    GIDU* ind = acseUp(AL_A_ASSOC_REQ, ucb_, nullptr);
    ind->event = AL_A_ASSOC_IND;
    static_cast<AcseApdu*>(ind->idu)->aarq.contextName = {9, const_cast<uint32_t*>(kXopenBasic)};
    rda_surRcv(ind);
    ASSERT_EQ(toUser().back().event, AL_A_ASSOC_IND);
    acb_ = static_cast<ACB*>(toUser().back().gidu->pc);
    nextEvent(ucb_, acb_);
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

  std::vector<int32_t> deliveredOps() const {
    std::vector<int32_t> ids;
    for (const Hop& h : toUser())
      if (h.event == RDA_EXECDBL_IND) ids.push_back(static_cast<const RDAIdu*>(h.gidu->idu)->execDBL_RI.opId);
    return ids;
  }

  UCB* ucb_ = nullptr;
  ACB* acb_ = nullptr;
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

TEST_F(SurQueueTest, DeleteFlagsWaitInTheQueuedOperation) {
  arrive(5);
  acb_->deleteFlag = 1;
  ucb_->deleteFlag = 1;
  OpEnt* b = arrive(6);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(acb_->deleteFlag, 0u) << "parked: the ACB outlives the pass that queued";
  EXPECT_EQ(ucb_->deleteFlag, 0u);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(acb_->deleteFlag, 1u) << "given back with the delivery";
  EXPECT_EQ(ucb_->deleteFlag, 1u);
  EXPECT_EQ(toUser().back().gidu->pe, nullptr) << "delivered after the UCB was marked";
  acb_->deleteFlag = 0;
  ucb_->deleteFlag = 0;
}

// An operation answered while its indication still waits (its answer stands
// in rsp): the indication is dropped, its parked flags given back, and the
// queue goes on with the next operation instead of stalling.
TEST_F(SurQueueTest, AnAnsweredOperationIsSkippedAndTheQueueGoesOn) {
  arrive(5);
  acb_->deleteFlag = 1;
  OpEnt* b = arrive(6);
  OpEnt* c = arrive(7);
  ASSERT_TRUE(b && c);
  b->rsp = al_createGidu(nullptr, kRdaIduType, RDA_EXECDBL_ERSP);
  nextEvent(ucb_, acb_);
  EXPECT_EQ(deliveredOps(), (std::vector<int32_t>{5, 7}));
  EXPECT_EQ(b->heldInd, nullptr);
  EXPECT_EQ(c->opStatus, RDA_OPST_TAKEN);
  EXPECT_EQ(acb_->deleteFlag, 1u) << "the dropped indication's flag is given back";
  acb_->deleteFlag = 0;
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

}  // namespace
