// Server rules for the server user's answers: answers held in arrival
// order, refusals back to the server user, and the changes answers make to
// the dialogue and its resources.
#include <gtest/gtest.h>

#include "rda/srv_fixture.h"

namespace {

class SrvSndTest : public SrvTest {
 protected:
  void SetUp() override {
    SrvTest::SetUp();
    dlg_ = openDialogue(acb_, 0x7E);  // everything but R-Terminate
  }

  // A received indication, passed on towards the server user.
  void arrive(GIDU* g) {
    rcv(g);
    clearHops();
  }
  // The server user's answer, from the send chain's execution step.
  void answer(GIDU* g) {
    acb_->routeLevel = 8;
    RDA_surExecCkServerSnd(g);
  }
  // The local error the last answer was refused with; 0 when none.
  uint32_t refusal() const {
    auto back = hopsAt(-1);
    return back.empty() || back.back().event != AL_LOCERR_IND ? 0 : back.back().errNo;
  }
  std::vector<int32_t> sent() const {
    std::vector<int32_t> ids;
    for (const auto& h : hopsAt(8)) ids.push_back(h.opId);
    return ids;
  }
  // An R-Initialize result allowing `fu`, with control data when `cntl`
  // (authentication data when `auth`, allowed value `allowed`).
  GIDU* initRsp(uint32_t fu, bool cntl = false, bool auth = false, uint32_t allowed = 1) {
    void* b = nullptr;
    GIDU* g = rsp(RDA_INIT_RSP, 100, &b);
    auto* res = static_cast<RDAInit_Result*>(b);
    res->functionalUnits = fu;
    if (cntl) {
      res->mask |= RDA_INITRSP_CNTL;
      res->control.flag = allowed;
      if (auth) {
        res->control.mask |= RDA_INITCNTL_AUTH;
        res->control.cntlAuthData.code = RDA_AUTH_TEXT;
        res->control.cntlAuthData.text = const_cast<char*>("secret");
      }
    }
    return g;
  }
  DlgEnt* dlg_ = nullptr;
};

TEST_F(SrvSndTest, AnAnswerWaitsForEarlierOperations) {
  arrive(ind(RDA_COMMIT_IND, 5));
  arrive(ind(RDA_ROLLBACK_IND, 7));
  answer(rsp(RDA_ROLLBACK_RSP, 7));
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(RDA_surGetOpEnt(7, dlg_)->opStatus, RDA_OPST_ANSWERED);
  answer(rsp(RDA_COMMIT_RSP, 5));
  EXPECT_EQ(sent(), (std::vector<int32_t>{5, 7}));
  EXPECT_EQ(dlg_->opList->count, 0u);
  EXPECT_EQ(dlg_->transRolledBack, 1u);
}

TEST_F(SrvSndTest, AnswersThatDoNotFitAreRefusedBackToTheServerUser) {
  answer(rsp(RDA_COMMIT_RSP, 9));
  EXPECT_EQ(refusal(), 52547u) << "no such operation";
  arrive(ind(RDA_COMMIT_IND, 1));
  arrive(ind(RDA_COMMIT_IND, 2));
  answer(rsp(RDA_COMMIT_RSP, 2));
  clearHops();
  answer(rsp(RDA_COMMIT_RSP, 2));
  EXPECT_EQ(refusal(), 52544u) << "second answer";
  EXPECT_TRUE(sent().empty());
  EXPECT_NE(RDA_surGetOpEnt(2, dlg_)->rsp, nullptr) << "the first answer still waits";
}

TEST_F(SrvSndTest, InitializeResponseChecksControlDataAndUnits) {
  struct Case {
    const char* what;
    uint32_t requested, allowed;
    bool cntl, auth;
    uint32_t allowedValue;
    uint32_t refused;
  } cases[] = {
      {"more units", 0x06, 0x0E, false, false, 0, 52549},
      {"control without auth, allowed 0", 0x06, 0x06, true, false, 0, 52554},
      {"control without auth, allowed 1", 0x06, 0x06, true, false, 1, 52554},
      {"fewer units", 0x06, 0x02, false, false, 0, 0},
      {"control with auth", 0x06, 0x06, true, true, 1, 0},
  };
  for (const Case& c : cases) {
    RDA_surDeleteDlgEnt(assoc(acb_)->dlgEnt);
    rcv(initInd(100, 'Q', acb_, c.requested));
    clearHops();
    DlgEnt* dlg = assoc(acb_)->dlgEnt;
    // The dialogue outlives its answered R-Initialize (the SQL send rule,
    // not on this route, clears what the operation made).
    RDA_surGetOpEnt(100, dlg)->refKind = OPREF_NONE;
    answer(initRsp(c.allowed, c.cntl, c.auth, c.allowedValue));
    EXPECT_EQ(refusal(), c.refused) << c.what;
    if (c.refused != 0) {
      // The dialogue is as it was, and the operation still waits.
      EXPECT_EQ(dlg->fuSet, c.requested) << c.what;
      EXPECT_EQ(dlg->cntlSvcAllowed, 0u) << c.what;
      EXPECT_EQ(dlg->cntlAuthData.code, 0u) << c.what;
      EXPECT_NE(RDA_surGetOpEnt(100, dlg), nullptr) << c.what;
    } else {
      EXPECT_EQ(dlg->fuSet, c.allowed) << c.what;
      EXPECT_EQ(dlg->cntlSvcAllowed, c.cntl ? c.allowedValue : 0u) << c.what;
      EXPECT_EQ(sent().size(), 1u) << c.what;
    }
    clearHops();
  }
}

TEST_F(SrvSndTest, InitializeResponseWithoutControlDataWhenControlWasRequested) {
  RDA_surDeleteDlgEnt(dlg_);
  GIDU* g = initInd(100, 'Q', acb_, 0x06);
  static_cast<RDAIdu*>(g->idu)->init_RI.req.flag = 1;
  rcv(g);
  clearHops();
  answer(initRsp(0x06));
  EXPECT_EQ(refusal(), 52555u);
}

TEST_F(SrvSndTest, InitializeErrorAndTerminateEndTheDialogueAndLeaveAtOnce) {
  ACB* other = addAcb(ucb_, 8);
  other->routeLevel = 10;
  rcv(initInd(100, 'B', other, 0xFE));
  clearHops();
  void* b = nullptr;
  GIDU* err = rsp(RDA_INIT_ERSP, 100, &b, other);
  static_cast<RDAErr*>(b)->code = 8192;
  other->routeLevel = 8;
  RDA_surExecCkServerSnd(err);
  EXPECT_EQ(assoc(other)->dlgEnt, nullptr);
  EXPECT_EQ(hopsAt(8).size(), 1u);

  arrive(ind(RDA_COMMIT_IND, 3));
  DlgEnt* d = assoc(acb_)->dlgEnt;
  ASSERT_NE(d, nullptr);
  d->fuSet |= RDA_FU_TERM;
  arrive(ind(RDA_TERM_IND, 4));
  clearHops();
  answer(rsp(RDA_TERM_RSP, 4));
  EXPECT_EQ(sent(), (std::vector<int32_t>{4})) << "not held behind the R-Commit";
  EXPECT_EQ(assoc(acb_)->dlgEnt, nullptr);
}

TEST_F(SrvSndTest, CloseResponseKeepsTheListedResourcesAndDeletesTheRest) {
  for (int32_t h : {10, 20, 30}) {
    arrive(openInd(h, h));
    OpEnt* op = RDA_surGetOpEnt(static_cast<uint32_t>(h), dlg_);
    op->refKind = OPREF_NONE;  // the resource stays after the answer
    RDA_surDeleteOpEnt(op);
  }
  void* b = nullptr;
  GIDU* close = ind(RDA_CLOSE_IND, 1, &b);
  initRing(&static_cast<RDAListSeq*>(b)->list);
  arrive(close);
  auto closeRsp = [&](std::initializer_list<int32_t> kept) {
    void* r = nullptr;
    GIDU* g = rsp(RDA_CLOSE_RSP, 1, &r);
    auto* res = static_cast<RDAListSeq*>(r);
    initRing(&res->list);
    res->mask |= RDA_LIST_PRESENT;
    for (int32_t h : kept) {
      auto* n = static_cast<RDAHandleExcpNode*>(
          _xm_allocItem(xm_getParentOfItem(g->idu), sizeof(RDAHandleExcpNode), XM_ZERO));
      n->excp.handle = h;
      link(&res->list, &n->links);
    }
    return g;
  };
  answer(closeRsp({20, 99}));
  EXPECT_EQ(refusal(), 52550u) << "99 was not closed";
  EXPECT_EQ(dlg_->rsrcList.count, 3u);
  clearHops();
  answer(closeRsp({20}));
  EXPECT_EQ(refusal(), 0u);
  EXPECT_EQ(sent(), (std::vector<int32_t>{1}));
  ASSERT_EQ(dlg_->rsrcList.count, 1u);
  EXPECT_NE(RDA_surGetRsrcEnt(20, dlg_), nullptr);
}

TEST_F(SrvSndTest, OpenErrorDeletesTheResourceItMade) {
  arrive(openInd(1, 10));
  ASSERT_NE(RDA_surGetRsrcEnt(10, dlg_), nullptr);
  void* b = nullptr;
  GIDU* err = rsp(RDA_OPEN_ERSP, 1, &b);
  static_cast<RDAErr*>(b)->code = 8200;
  answer(err);
  EXPECT_EQ(RDA_surGetRsrcEnt(10, dlg_), nullptr);
  EXPECT_EQ(sent(), (std::vector<int32_t>{1}));
  arrive(openInd(2, 10));
  EXPECT_NE(RDA_surGetRsrcEnt(10, dlg_), nullptr) << "the handle is free again";
}

}  // namespace
