// Server rules for received indications: functional units, resource and
// command checks, transactions rolled back, repetition counts, R-Close
// lists, R-Cancel and R-Status, and the quick aborts of internal failures.
#include <gtest/gtest.h>

#include "rda/srv_fixture.h"

namespace {

class SrvRcvTest : public SrvTest {
 protected:
  void SetUp() override {
    SrvTest::SetUp();
    acb_->routeLevel = 10;
  }

  // R-ExecuteDBL, on `hndl` when not negative, with a single row of
  // repetition count `count` when given.
  GIDU* execInd(int32_t opId, int32_t hndl = -1, std::optional<int32_t> count = std::nullopt) {
    void* b = nullptr;
    GIDU* g = ind(RDA_EXECDBL_IND, opId, &b);
    auto* req = static_cast<RDAExecDBL_Req*>(b);
    if (hndl >= 0) {
      req->mask |= RDA_EXEC_RSRC;
      req->handle = hndl;
    }
    if (count) {
      req->mask |= RDA_EXEC_ARGS;
      req->args.code = RDA_EXEC_SINGLE_ROW;
      req->args.single.mask = 0x01;
      req->args.single.count = *count;
    }
    return g;
  }
  GIDU* defineInd(int32_t opId, int32_t cmd) {
    void* b = nullptr;
    GIDU* g = ind(RDA_DEFINEDBL_IND, opId, &b);
    static_cast<RDADefineDBL_Req*>(b)->cmdHandle = cmd;
    return g;
  }
  GIDU* invokeInd(int32_t opId, int32_t cmd, std::optional<int32_t> count = std::nullopt) {
    void* b = nullptr;
    GIDU* g = ind(RDA_INVOKEDBL_IND, opId, &b);
    auto* req = static_cast<RDAInvokeDBL_Req*>(b);
    req->cmdHandle = cmd;
    if (count) {
      req->mask |= RDA_INVOKE_ARGS;
      req->args.code = RDA_INVOKE_SINGLE_ROW;
      req->args.single.mask = 0x01;
      req->args.single.count = *count;
    }
    return g;
  }
  // An indication of the R-Close or R-DropDBL form listing `handles`
  // (none: no list).
  GIDU* listInd(RdaEventCode event, int32_t opId, std::initializer_list<int32_t> handles) {
    void* b = nullptr;
    GIDU* g = ind(event, opId, &b);
    auto* req = static_cast<RDAListSeq*>(b);
    initRing(&req->list);
    if (handles.size() == 0) return g;
    req->mask |= RDA_LIST_PRESENT;
    for (int32_t h : handles) {
      auto* n = static_cast<RDAIntNode*>(_xm_allocItem(xm_getParentOfItem(g->idu), sizeof(RDAIntNode), XM_ZERO));
      n->value = h;
      link(&req->list, &n->links);
    }
    return g;
  }
  // R-Cancel or R-Status of the own dialogue listing `ids` (none: no list).
  GIDU* ctlInd(RdaEventCode event, int32_t opId, std::initializer_list<int32_t> ids) {
    void* b = nullptr;
    GIDU* g = ind(event, opId, &b);
    auto* req = static_cast<RDACancel_Req*>(b);
    initRing(&req->opIds);
    if (ids.size() == 0) return g;
    req->mask |= RDA_CNTL_OPIDS;
    for (int32_t id : ids) {
      auto* n = static_cast<RDAIntNode*>(_xm_allocItem(xm_getParentOfItem(g->idu), sizeof(RDAIntNode), XM_ZERO));
      n->value = id;
      link(&req->opIds, &n->links);
    }
    return g;
  }
  // Answers every pending operation of the dialogue away, keeping what it
  // made (as the server user's answers do).
  void forgetOps(DlgEnt* dlg) {
    while (dlg->opList->links.next != &dlg->opList->links) {
      auto* op = static_cast<OpEnt*>(dlg->opList->links.next);
      if (op->refKind != OPREF_CLOSE_LIST && op->refKind != OPREF_DROP_LIST) op->refKind = OPREF_NONE;
      RDA_surDeleteOpEnt(op);
    }
  }
};

TEST_F(SrvRcvTest, ServicesOutsideTheNegotiatedUnitsGetError22) {
  struct Case {
    RdaEventCode event;
    uint32_t fuMissing;
  } cases[] = {
      {RDA_TERM_IND, RDA_FU_TERM},       {RDA_BGNTRANS_IND, RDA_FU_TRANS}, {RDA_OPEN_IND, RDA_FU_OPEN},
      {RDA_CLOSE_IND, RDA_FU_OPEN},      {RDA_EXECDBL_IND, RDA_FU_EXEC},   {RDA_DEFINEDBL_IND, RDA_FU_DBL},
      {RDA_INVOKEDBL_IND, RDA_FU_DBL},   {RDA_DROPDBL_IND, RDA_FU_DBL},    {RDA_CANCEL_IND, RDA_FU_CANCEL},
      {RDA_STATUS_IND, RDA_FU_STATUS},
  };
  for (const Case& c : cases) {
    DlgEnt* dlg = openDialogue(acb_, 0xFE & ~c.fuMissing);
    GIDU* g = c.event == RDA_CLOSE_IND || c.event == RDA_DROPDBL_IND ? listInd(c.event, 1, {})
              : c.event == RDA_CANCEL_IND || c.event == RDA_STATUS_IND ? ctlInd(c.event, 1, {})
                                                                       : ind(c.event, 1);
    EXPECT_EQ(verdict(g), 22u) << std::hex << c.event;
    EXPECT_EQ(dlg->opList->count, 0u) << std::hex << c.event;
    RDA_surDeleteDlgEnt(dlg);
  }
}

TEST_F(SrvRcvTest, CommitWithoutTransactionUnitEndsTheAssociation) {
  // R-Commit has no error that could say so: the association is aborted.
  openDialogue(acb_, 0xFE & ~RDA_FU_TRANS);
  clearHops();
  rcv(ind(RDA_COMMIT_IND, 1));
  drainQueue();
  ASSERT_EQ(hopsAt(99).size(), 1u);
  EXPECT_EQ(hopsAt(99)[0].event, AL_QABORT);
}

TEST_F(SrvRcvTest, ExecuteWithoutHandleNeedsExactlyOneChildlessResource) {
  DlgEnt* dlg = openDialogue();
  EXPECT_EQ(verdict(execInd(1)), 18u) << "nothing open";
  EXPECT_EQ(verdict(openInd(2, 10)), 0u);
  EXPECT_EQ(verdict(execInd(3)), 0u);
  EXPECT_EQ(verdict(execInd(4, 77)), 7u);
  EXPECT_EQ(verdict(openInd(5, 20, 10)), 0u);
  EXPECT_EQ(verdict(execInd(6)), 6u) << "two open";
  forgetOps(dlg);
  RDA_surDeleteRsrcEnt(RDA_surGetRsrcEnt(20, dlg));
  EXPECT_EQ(verdict(openInd(7, 30)), 0u);
  forgetOps(dlg);
  RDA_surDeleteRsrcEnt(RDA_surGetRsrcEnt(30, dlg));
  EXPECT_EQ(verdict(execInd(8)), 0u) << "one childless resource";
  EXPECT_EQ(verdict(execInd(9, 10)), 0u);
}

TEST_F(SrvRcvTest, ExecuteAndInvokeAfterRollbackGetError23UntilTheNextTransaction) {
  DlgEnt* dlg = openDialogue();
  verdict(openInd(1, 10));
  verdict(defineInd(2, 5));
  EXPECT_EQ(verdict(ind(RDA_ROLLBACK_IND, 3)), 0u);
  EXPECT_EQ(dlg->transState, RDA_TRANS_NONE);
  EXPECT_EQ(verdict(execInd(4)), 23u);
  EXPECT_EQ(verdict(invokeInd(5, 5)), 23u);
  EXPECT_EQ(verdict(ind(RDA_BGNTRANS_IND, 6)), 0u);
  EXPECT_EQ(dlg->transState, RDA_TRANS_OPEN);
  EXPECT_EQ(verdict(execInd(7)), 0u);
  EXPECT_EQ(verdict(invokeInd(8, 5)), 0u);
  EXPECT_EQ(verdict(invokeInd(9, 6)), 3u) << "no such command";
}

TEST_F(SrvRcvTest, RepetitionCountMustBePositive) {
  openDialogue();
  verdict(openInd(1, 10));
  verdict(defineInd(2, 5));
  EXPECT_EQ(verdict(execInd(3, -1, 0)), 2u);
  EXPECT_EQ(verdict(execInd(4, -1, -3)), 2u);
  EXPECT_EQ(verdict(execInd(5, -1, 2)), 0u);
  EXPECT_EQ(verdict(invokeInd(6, 5, 0)), 2u);
  EXPECT_EQ(verdict(invokeInd(7, 5, 1)), 0u);
}

TEST_F(SrvRcvTest, CloseAndDropListOnlyTheEntitiesThatExist) {
  DlgEnt* dlg = openDialogue();
  verdict(openInd(1, 10));
  verdict(openInd(2, 20));
  verdict(defineInd(3, 5));  // two open: refused, none made
  EXPECT_EQ(RDA_surGetDBLEnt(5, dlg), nullptr);
  EXPECT_EQ(verdict(listInd(RDA_CLOSE_IND, 4, {20, 99})), 0u);
  OpEnt* close = RDA_surGetOpEnt(4, dlg);
  ASSERT_EQ(close->refKind, OPREF_CLOSE_LIST);
  auto* list = static_cast<RefList*>(close->ref);
  ASSERT_EQ(list->list.count, 1u);
  EXPECT_EQ(static_cast<RefItem*>(list->list.links.next)->ent, RDA_surGetRsrcEnt(20, dlg));
  EXPECT_TRUE(traced("validateCloseInd: can't find resource handle 99"));

  EXPECT_EQ(verdict(listInd(RDA_CLOSE_IND, 5, {})), 0u);
  EXPECT_EQ(static_cast<RefList*>(RDA_surGetOpEnt(5, dlg)->ref)->list.count, 2u) << "no list: every resource";
  EXPECT_EQ(verdict(listInd(RDA_DROPDBL_IND, 6, {1})), 0u);
  EXPECT_EQ(static_cast<RefList*>(RDA_surGetOpEnt(6, dlg)->ref)->list.count, 0u);
}

TEST_F(SrvRcvTest, StatusReportsEveryOperationAndUnknownIdsAs16385) {
  DlgEnt* dlg = openDialogue();
  verdict(ind(RDA_BGNTRANS_IND, 1));
  verdict(openInd(2, 10));
  RDA_surGetOpEnt(2, dlg)->opStatus = RDA_OPST_TAKEN;
  clearHops();
  rcv(ctlInd(RDA_STATUS_IND, 3, {2, 42}));
  drainQueue();
  ASSERT_EQ(hopsAt(99).size(), 1u);
  const auto* idu = static_cast<const RDAIdu*>(hopsAt(99)[0].gidu->idu);
  ASSERT_EQ(idu->tag, RDA_STATUS_RC);
  EXPECT_EQ(idu->status_RC.opId, 3);
  std::vector<std::pair<int32_t, uint32_t>> got;
  const RDAList& infos = idu->status_RC.result.infos;
  for (const UL_Link* l = infos.links.next; l != &infos.links; l = l->next) {
    const auto* n = reinterpret_cast<const RDAStatusNode*>(l);
    got.emplace_back(n->info.opId, n->info.code);
  }
  EXPECT_EQ(got, (std::vector<std::pair<int32_t, uint32_t>>{{2, 0x4003}, {42, 0x4001}}));
  EXPECT_EQ(RDA_surGetOpEnt(3, dlg), nullptr) << "answered at once";

  clearHops();
  rcv(ctlInd(RDA_STATUS_IND, 4, {}));
  drainQueue();
  ASSERT_EQ(hopsAt(99).size(), 1u);
  EXPECT_EQ(static_cast<const RDAIdu*>(hopsAt(99)[0].gidu->idu)->status_RC.result.infos.count, 2u)
      << "every operation but the R-Status itself";
}

TEST_F(SrvRcvTest, CancelTakesOnlyHeldIndicationsAndAnswersThemWithError20) {
  DlgEnt* dlg = openDialogue();
  verdict(openInd(1, 10));
  verdict(execInd(2));
  verdict(execInd(3));
  clearHops();
  // 2 waits in the operation queue; 3 was taken by the server user.
  GIDU queue{};
  al_selfLink(&queue);
  OpEnt* held = RDA_surGetOpEnt(2, dlg);
  held->heldInd = ind(RDA_EXECDBL_IND, 2);
  held->heldInd->pc = reinterpret_cast<void*>(1);  // the ACB's delete flag, parked while queued
  al_queueAppend(&queue, held->heldInd);
  RDA_surGetOpEnt(3, dlg)->opStatus = RDA_OPST_TAKEN;

  rcv(ctlInd(RDA_CANCEL_IND, 4, {}));
  drainQueue();
  EXPECT_TRUE(al_queueEmpty(&queue));
  EXPECT_EQ(acb_->deleteFlag, 1u) << "the parked flag went back to the ACB";
  acb_->deleteFlag = 0;
  EXPECT_EQ(held->opStatus, RDA_OPST_CANCELLED);
  ASSERT_NE(held->rsp, nullptr) << "waits behind operation 1";
  EXPECT_EQ(rda_getGenErr(held->rsp), 20u);
  EXPECT_EQ(RDA_surGetOpEnt(3, dlg)->rsp, nullptr);
  ASSERT_EQ(hopsAt(99).size(), 1u);
  EXPECT_EQ(hopsAt(99)[0].event, RDA_CANCEL_RSP);
  EXPECT_EQ(RDA_surGetOpEnt(4, dlg), nullptr);

  // Once 1 is answered, the cancelled 2 follows it.
  clearHops();
  acb_->routeLevel = 8;
  OpEnt* op1 = RDA_surGetOpEnt(1, dlg);
  op1->refKind = OPREF_NONE;
  op1->rsp = rsp(RDA_OPEN_RSP, 1);
  RDA_surSendNextRsp(dlg, op1, 0, AL_SUR_QUE);
  ASSERT_EQ(hops_.size(), 2u);
  EXPECT_EQ(hops_[1].opId, 2);
  EXPECT_EQ(hops_[1].event, RDA_EXECDBL_ERSP);
}

TEST_F(SrvRcvTest, ControlOfAnotherDialogueNeedsItAllowedAndAuthenticated) {
  openDialogue();
  ACB* other = addAcb(ucb_, 8);
  other->routeLevel = 10;
  DlgEnt* target = openDialogue(other, 0xFE, 'Z');
  auto named = [&](int32_t opId) {
    GIDU* g = ctlInd(RDA_STATUS_IND, opId, {});
    auto* req = &static_cast<RDAIdu*>(g->idu)->status_RI.req;
    req->mask |= RDA_CNTL_DLG;
    req->dialogue.mask |= RDA_CNTL_CLIENT;
    req->dialogue.clientInvoc = assoc(other)->clientInvoc;
    req->dialogue.suffix.octets = target->dlgIDSuffix;
    return g;
  };
  EXPECT_EQ(verdict(named(1)), 5u) << "control not allowed";
  target->cntlSvcAllowed = 1;
  RDA_surUserAuth.cntlSvcAuth = [](const ObjIdV*, const RDADlgIDClientInvoc*, const OctStgV*, const RDAAuthData*,
                                   const RDAAuthData*) { return 0; };
  EXPECT_EQ(verdict(named(2)), 4u);
  RDA_surUserAuth = auth_;
  EXPECT_EQ(verdict(named(3)), 0u) << "answered with a result";
  ASSERT_EQ(hopsAt(99).size(), 1u);
  EXPECT_EQ(hopsAt(99)[0].event, RDA_STATUS_RSP);
  GIDU* unknown = named(4);
  static_cast<RDAIdu*>(unknown->idu)->status_RI.req.dialogue.suffix.octets.length = 0;
  EXPECT_EQ(verdict(unknown), 12u);
}

TEST_F(SrvRcvTest, FailuresOfMemoryAbortTheAssociationAndLeakNothing) {
  DlgEnt* dlg = openDialogue();
  verdict(openInd(1, 10));
  verdict(openInd(2, 20));
  clearHops();
  struct Case {
    const char* what;
    std::function<GIDU*()> make;
  } cases[] = {
      {"operation entity", [&] { return ind(RDA_BGNTRANS_IND, 50); }},
      {"resource", [&] { return openInd(51, 30); }},
      {"error response", [&] { return execInd(52); }},
      {"close list", [&] { return listInd(RDA_CLOSE_IND, 53, {}); }},
      {"status response", [&] { return ctlInd(RDA_STATUS_IND, 54, {}); }},
  };
  quietEntries();
  for (const Case& c : cases) {
    int aborted = 0;
    for (long n = 0; n < 6; ++n) {
      al_deleteGidu(acb_->qabortReq);
      al_deleteGidu(acb_->qabortInd);
      const long base = liveBlocks.load();
      acb_->qabortReq = al_createGidu(nullptr, AL_IDU_RDA, AL_QABORT);
      acb_->qabortInd = al_createGidu(nullptr, AL_IDU_RDA, AL_QABORT);
      acb_->deleteFlag = 0;
      acb_->passFlag = 0;
      GIDU* g = c.make();
      const uint32_t ops = dlg->opList->count;
      {
        acb_->routeLevel = 10;
        FailingAlloc fail(n);
        RDA_surExecCkServerRcv(g);
      }
      drainQueue();
      if (acb_->deleteFlag != 0) {
        ++aborted;
        // Aborted: both quick aborts went out, nothing of the indication stayed.
        EXPECT_EQ(hopsAt(-1).size(), 1u) << c.what << " " << n;
        EXPECT_EQ(hopsAt(-2).size(), 1u) << c.what << " " << n;
        EXPECT_EQ(dlg->opList->count, ops) << c.what << " " << n;
        clearHops();
        EXPECT_EQ(liveBlocks.load(), base) << c.what << " " << n;  // the two reserved GIDUs were spent too
      } else {
        clearHops();
        forgetOps(dlg);
      }
    }
    EXPECT_GT(aborted, 0) << c.what;
  }
}

}  // namespace
