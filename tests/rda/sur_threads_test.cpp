// The service user with several record sets: the associations of one user
// run on the stack instances of its connections, each a record set of its
// own, while the user's block was made on the instance its Activate came
// through.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "rda/sur_fixture.h"
#include "src/odbc/alltls.h"
#include "src/runtime/xm.h"

namespace {

// The records of a record set on the calling thread, with the service user
// started in them.
class ThreadSur {
 public:
  ThreadSur() { ok_ = QvCreateAllTLS() == 1 && xm_init() != nullptr && rda_surInit() == 1; }
  ~ThreadSur() {
    EXPECT_EQ(rda_surTerm(), 1);
    xm_shutdown();
    QvRemoveAllTLS();
  }
  ThreadSur(const ThreadSur&) = delete;
  ThreadSur& operator=(const ThreadSur&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

using SurThreads = SurTest;

TEST_F(SurThreads, AUserOfAnotherRecordSetAssociatesThroughThisOne) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ASSERT_NE(ucb, nullptr);
  std::thread([&] {
    ThreadSur own;
    ASSERT_TRUE(own.ok());
    EXPECT_EQ(rda_surUcbQueue()->count, 0u) << "the user is none of this record set's";
    EXPECT_EQ(AL_surValidateUCB(ucb), 1);
    const size_t before = hops_.size();
    ACB* acb = associate(ucb);
    EXPECT_NE(acb, nullptr) << "the request went down and the confirm came up";
    if (acb != nullptr) {
      EXPECT_EQ(AL_surValidateACB(acb, ucb), 1);
      EXPECT_EQ(toUser().back().event, AL_A_ASSOC_CNF);
      EXPECT_EQ(toUser().back().gidu->ue, &userRef_);
      AL_surDeleteACB(acb);
    }
    // What this record set made goes with it.
    for (size_t i = before; i < hops_.size(); ++i) al_deleteGidu(hops_[i].gidu);
    hops_.resize(before);
  }).join();
  EXPECT_EQ(ucb->acbList.count, 0u);
  EXPECT_EQ(AL_surValidateUCB(ucb), 1);
  AL_surDeleteUCB(ucb);
  // Freed now: refused without a read of its memory.
  EXPECT_EQ(AL_surValidateUCB(ucb), 0);
}

TEST_F(SurThreads, AssociationsOfOneUserComeAndGoOnSeveralRecordSetsAtOnce) {
  UCB* ucb = activate(RDA_SUR_CLIENT);
  ASSERT_NE(ucb, nullptr);
  // No lines: the threads would write them at once.
  for (TmHandle h : {rda_comTMHandle, al_comTMHandle, rda_aseTMHandle, rda_surTMHandle}) tm_setMask(h, 0);
  std::atomic<int> wrong{0};
  auto worker = [&] {
    ThreadSur own;
    if (!own.ok()) {
      ++wrong;
      return;
    }
    for (int i = 0; i < 300; ++i) {
      GIDU* g = assocReq(ucb);
      g->ue = ucb;
      g->uc = nullptr;
      if (AL_surCreateACB(g) == 0) {
        ++wrong;
        al_deleteGidu(g);
        continue;
      }
      auto* acb = static_cast<ACB*>(g->uc);
      al_deleteGidu(g);
      if (AL_surValidateACB(acb, ucb) != 1) ++wrong;
      AL_surDeleteACB(acb);
      if (AL_surValidateACB(acb, ucb) != 0) ++wrong;
    }
  };
  std::thread a(worker);
  std::thread b(worker);
  std::thread c(worker);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(ucb->acbList.count, 0u);
  EXPECT_EQ(ucb->acbList.links.next, &ucb->acbList.links) << "the ring is whole";
}

}  // namespace
