// AE invocations, the checks of activation parameters and of an incoming
// A-ASSOCIATE, the choice of the answering invocation, and the SAO blocks
// with their presentation-context tables.
#include <functional>
#include <vector>

#include "acse/sao_fixture.h"
#include "common/timer2.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/altls.h"
#include "support/trace_capture.h"

namespace {

using saofix::oid;
using saofix::ref;

std::vector<uint32_t> arcs(const ObjIdV& o) { return std::vector<uint32_t>(o.arcs, o.arcs + o.count); }
std::vector<uint8_t> octets(const OctStgV& o) { return std::vector<uint8_t>(o.octets, o.octets + o.length); }

// ---------------------------------------------------------------------------
// Invocations

using AeInvocation = SaoTest;

TEST_F(AeInvocation, TakesTheUserAndItsParametersWhoseTreeItShares) {
  UL_AEId* p = newParams(5, 0);
  GIDU* act = al_createGidu(nullptr, AL_IDU_RDA, AL_ACT_REQ);
  act->ue = ref(0x22);
  AeiCB* a = createAei(act, aeiUser, p);
  al_deleteGidu(act);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->cbId, 258u);
  EXPECT_EQ(a->ucb, ref(0x22));
  EXPECT_EQ(a->userEntry, &aeiUser);
  EXPECT_EQ(a->actxTable, actx);
  EXPECT_EQ(a->asxTable, asx);
  EXPECT_EQ(a->actParams, p);
  EXPECT_EQ(a->presRef, nullptr);
  EXPECT_EQ(a->next, a) << "self-linked";
  EXPECT_EQ(a->saoList.links.next, &a->saoList.links);
  XmTree* paramTree = xm_getParentOfItem(p);
  EXPECT_EQ(xm_getParentOfTree(paramTree), xm_getParentOfItem(a));
  // The parameters' first holder lets go of them: the invocation keeps them.
  _xm_freeTree(paramTree);
  EXPECT_EQ(a->actParams->aeQual.integer, 5);
  AL_deleteAeiCB(a);  // frees the rest, as the fixture's count shows
}

TEST_F(AeInvocation, NoMemoryGives53009AndLeavesNothing) {
  const long before = xmLive();
  for (long n = 0; n < 2; ++n) {
    AeiCB* a = withBudget(n, [&] { return createAei(nullptr, aeiUser, nullptr); });
    EXPECT_EQ(a, nullptr) << "allocation " << n;
    EXPECT_EQ(QvGetOsiError(), 53009);
    EXPECT_EQ(xmLive(), before);
  }
}

TEST_F(AeInvocation, ActivationParametersAreCheckedInOrderTheLastFailureWins) {
  struct Case {
    const char* what;
    std::function<void(UL_AEId*)> spoil;
    int32_t result;
    int32_t err;
  };
  const Case cases[] = {
      {"complete", [](UL_AEId*) {}, 1, 0},
      {"no P-selector", [](UL_AEId* p) { p->pAddress.mask = 0; }, 0, 53005},
      {"no network address", [](UL_AEId* p) { p->pAddress.nAddrs.count = 0; }, 0, 53005},
      {"no AP title", [](UL_AEId* p) { p->mask &= ~UL_AEID_APTITLE; }, 0, 53006},
      {"no AE qualifier", [](UL_AEId* p) { p->mask &= ~UL_AEID_AEQUAL; }, 0, 53007},
      {"no AE invocation", [](UL_AEId* p) { p->mask &= ~UL_AEID_AEINVOKE; }, 0, 53008},
      {"no address, no AE qualifier", [](UL_AEId* p) { p->pAddress.mask = 0, p->mask &= ~UL_AEID_AEQUAL; }, 0, 53007},
      {"AP title a directory name", [](UL_AEId* p) { p->apTitle.kind = UL_TITLE_DN; }, 0, 53006},
      {"AE qualifier an RDN", [](UL_AEId* p) { p->aeQual.kind = UL_QUAL_RDN; }, 0, 53007},
      {"both in directory forms", [](UL_AEId* p) { p->apTitle.kind = UL_TITLE_DN, p->aeQual.kind = UL_QUAL_RDN; },
       0, 53007},
  };
  for (const Case& c : cases) {
    UL_AEId p = *params;
    c.spoil(&p);
    QvSetOsiError(1);
    EXPECT_EQ(AL_chkActParams(&p), c.result) << c.what;
    EXPECT_EQ(QvGetOsiError(), c.err) << c.what;
  }
  EXPECT_EQ(AL_chkActParams(nullptr), 0);
  EXPECT_EQ(QvGetOsiError(), 53008);
}

TEST_F(AeInvocation, IncomingAssociationIsCheckedInOrder) {
  struct Case {
    const char* what;
    std::function<void(AcAarq*)> spoil;
    uint32_t result;
  };
  const Case cases[] = {
      {"acceptable", [](AcAarq*) {}, 52992},
      {"called AP invocation without AP title",
       [](AcAarq* a) { a->presence = (a->presence & ~AC_AARQ_CALLED_AP_TITLE) | AC_AARQ_CALLED_AP_INVOKE; }, 53000},
      {"called AP title a directory name", [](AcAarq* a) { a->calledApTitle.kind = UL_TITLE_DN; }, 52999},
      {"called AE qualifier an RDN", [](AcAarq* a) { a->calledAeQual.kind = UL_QUAL_RDN; }, 53001},
      {"calling AP title a directory name", [](AcAarq* a) { a->callingApTitle.kind = UL_TITLE_DN; }, 52995},
      {"calling AE qualifier an RDN", [](AcAarq* a) { a->callingAeQual.kind = UL_QUAL_RDN; }, 52997},
      {"called and calling faults: the called first",
       [](AcAarq* a) { a->callingApTitle.kind = UL_TITLE_DN, a->calledAeQual.kind = UL_QUAL_RDN; }, 53001},
      {"forms of absent items do not count",
       [](AcAarq* a) { a->presence &= ~AC_AARQ_CALLED_AP_TITLE, a->calledApTitle.kind = UL_TITLE_DN; }, 52992},
  };
  for (const Case& c : cases) {
    AcAarq a = aarq();
    c.spoil(&a);
    GIDU* g = pconnInd(&a);
    EXPECT_EQ(AL_chkAAssocParams(g), c.result) << c.what;
    al_deleteGidu(g);
  }
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_PARAM}});
  GIDU* g = pconnInd(nullptr);
  static_cast<PIDU*>(g->idu)->userError = 6;
  EXPECT_EQ(AL_chkAAssocParams(g), 52993u);
  EXPECT_TRUE(trace.contains("*** AL_chkAAssocParms: No user data in PCONN.ind, parse error 6")) << trace.lines().size();
  al_deleteGidu(g);
}

class AssignAei : public SaoTest {
 protected:
  // Invocations of AP title {1 2 3} with the qualifiers given, listed in
  // that order; the i-th has AE invocation i + 1.
  void listed(std::initializer_list<int64_t> quals) {
    int32_t i = 0;
    for (int64_t q : quals) {
      AeiCB* a = createAei(nullptr, aeiUser, newParams(q, ++i));
      ASSERT_NE(a, nullptr);
      extraAeis.push_back(a);
      a->prev = ring.links.prev;
      a->next = &ring.links;
      ring.links.prev->next = a;
      ring.links.prev = a;
      ++ring.count;
    }
  }
  // A P-CONNECT indication whose request calls AP title {1 2 3} and the
  // items `set` gives.
  AeiCB* assign(const std::function<void(AcAarq*)>& set) {
    AcAarq a = aarq();
    a.presence &= ~(AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL);
    a.calledApTitle.objId = oid(saofix::kOwnApTitle, 3);
    set(&a);
    GIDU* g = pconnInd(&a);
    QvSetOsiError(0);
    AeiCB* chosen = AL_assignAEI(g, &ring);
    al_deleteGidu(g);
    return chosen;
  }
  static void calls(AcAarq* a, uint32_t bits) { a->presence |= bits; }
};

TEST_F(AssignAei, WithoutCalledTitleOrQualifierTheFirstAnswers) {
  listed({4, 5});
  EXPECT_EQ(assign([](AcAarq*) {}), extraAeis[0]);
}

TEST_F(AssignAei, TenInvocationsAreWeighedWholeAnEleventhIsIgnoredWithTheTrace) {
  listed({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  {
    TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
    EXPECT_EQ(assign([](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AE_QUAL, a->calledAeQual.integer = 10; }),
              extraAeis[9]);
    EXPECT_TRUE(trace.lines().empty());
  }
  listed({11});
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  EXPECT_EQ(assign([](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AE_QUAL, a->calledAeQual.integer = 11; }), nullptr);
  EXPECT_EQ(QvGetOsiError(), 53001);
  EXPECT_TRUE(trace.contains("*** AL_assignAEI: too many AeiCBs, some ignored"));
}

TEST_F(AssignAei, FiltersKeepTheOrderAndTheOneThatEmptiesTheSetNamesTheError) {
  listed({7, 8, 8});  // AE invocations 1, 2, 3
  extraAeis[1]->actParams->mask |= UL_AEID_APINVOKE;
  extraAeis[1]->actParams->apInvokeId = 5;
  struct Case {
    const char* what;
    std::function<void(AcAarq*)> set;
    int chosen;  // index into the list, -1 none
    int32_t err;
  };
  const Case cases[] = {
      {"AP title of nobody",
       [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AP_TITLE, a->calledApTitle.objId = oid(saofix::kPeerApTitle, 3); },
       -1, 52999},
      {"AP title of all", [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AP_TITLE; }, 0, 0},
      {"qualifier of nobody", [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AE_QUAL, a->calledAeQual.integer = 9; },
       -1, 53001},
      {"qualifier of two: the first of them",
       [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AE_QUAL, a->calledAeQual.integer = 8; }, 1, 0},
      {"AP invocation that only one has",
       [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AP_INVOKE, a->calledApInvoke = 5; }, 1,
       0},
      {"AP invocation of nobody",
       [](AcAarq* a) { a->presence |= AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AP_INVOKE, a->calledApInvoke = 6; },
       -1, 53000},
      {"qualifier, then AE invocation",
       [](AcAarq* a) {
         a->presence |= AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLED_AE_INVOKE, a->calledAeQual.integer = 8,
             a->calledAeInvoke = 3;
       },
       2, 0},
      {"AE invocation of one that the qualifier dropped",
       [](AcAarq* a) {
         a->presence |= AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLED_AE_INVOKE, a->calledAeQual.integer = 8,
             a->calledAeInvoke = 1;
       },
       -1, 53002},
  };
  for (const Case& c : cases) {
    AeiCB* chosen = assign(c.set);
    EXPECT_EQ(chosen, c.chosen < 0 ? nullptr : extraAeis[static_cast<size_t>(c.chosen)]) << c.what;
    if (c.chosen < 0) {
      EXPECT_EQ(QvGetOsiError(), c.err) << c.what;
    }
  }
}

TEST_F(AssignAei, NoInvocationGives52993) {
  EXPECT_EQ(assign([](AcAarq*) {}), nullptr);
  EXPECT_EQ(QvGetOsiError(), 52993);
}

// ---------------------------------------------------------------------------
// SAO blocks

using SaoBlock = SaoTest;

TEST_F(SaoBlock, InitiatorTakesTheCalledSideAsPeerAndReservesTwoQuickAborts) {
  AcAarq a = aarq();
  a.presence |= AC_AARQ_CALLED_AP_INVOKE | AC_AARQ_CALLED_AE_INVOKE;
  a.calledApInvoke = 31;
  a.calledAeInvoke = 32;
  a.connParams.presence = AC_CP_TCLASS | AC_CP_NSERVICE;
  a.connParams.transportClass = 0;
  a.connParams.networkService = 2;
  sao = initiate(a);
  ASSERT_NE(sao, nullptr);
  EXPECT_EQ(QvGetOsiError(), 0);
  EXPECT_EQ(sao->tag, 257u);
  EXPECT_EQ(sao->role, SAO_ROLE_INITIATOR);
  EXPECT_EQ(sao->aeiCB, aei);
  EXPECT_EQ(sao->next, sao) << "self-linked";
  EXPECT_EQ(sao->peerTitle.kind, UL_TITLE_OBJID);
  EXPECT_EQ(arcs(sao->peerTitle.objId), (std::vector<uint32_t>{1, 2, 4, 9}));
  EXPECT_EQ(arcs(sao->localTitle.objId), (std::vector<uint32_t>{1, 2, 3, 7}));
  EXPECT_EQ(arcs(sao->appContext), (std::vector<uint32_t>{1, 0, 9579, 2, 2, 1}));
  EXPECT_NE(sao->appContext.arcs, saofix::kRdaBasic) << "a copy";
  EXPECT_EQ(sao->idFlags, SAO_ID_APINVOKE | SAO_ID_AEINVOKE | SAO_ID_TCLASS | SAO_ID_NSERVICE);
  EXPECT_EQ(sao->peerApInvoke, 31u);
  EXPECT_EQ(sao->peerAeInvoke, 32u);
  EXPECT_EQ(sao->tClass, 0u);
  EXPECT_EQ(sao->nService, 2u);
  EXPECT_EQ(sao->peerAddress.mask, UL_PADDR_PSEL);
  EXPECT_EQ(octets(sao->peerAddress.pSel), (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_NE(sao->peerAddress.pSel.octets, saofix::kPsel) << "a copy";
  for (GIDU* q : {sao->qabortInd, sao->qabortReq}) {
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->event, AL_QABORT);
    EXPECT_EQ(q->iduType, AL_IDU_ACSE) << "the creating GIDU's type";
    EXPECT_EQ(q->ue, aei);
    EXPECT_EQ(q->uc, sao);
  }
  EXPECT_NE(sao->qabortInd, sao->qabortReq);
  EXPECT_EQ(sao->sacfSnd, &sacfSnd);
  EXPECT_EQ(sao->aeDown, &aeDown);
  EXPECT_EQ(sao->cvrtApdu, &cvrtApdu);
  EXPECT_EQ(sao->routeTbl, route);
  EXPECT_EQ(sao->lastRouteIdx, 7);
  for (GIDU* q : {&sao->saoQueue, &sao->sacfQueue, &sao->pStopQueue, &sao->uStopQueue}) EXPECT_TRUE(al_queueEmpty(q));
}

TEST_F(SaoBlock, WithoutProposedListTheContextsAreAcse1AndRda3Or5) {
  makeSao();
  for (int id = 0; id < kPctxEntries; ++id) {
    if (id == 1 || id == 3) continue;
    EXPECT_EQ(sao->pctxTbl[id].ase, nullptr) << id;
  }
  EXPECT_EQ(sao->pctxTbl[1].ase, &asx[0]);
  EXPECT_EQ(sao->pctxTbl[1].aseId, 240u);
  EXPECT_EQ(sao->pctxTbl[3].ase, &asx[1]);
  EXPECT_EQ(sao->pctxTbl[3].aseId, 200u);
  EXPECT_EQ(AL_cnvrtIduType(sao, 240), 1u);
  EXPECT_EQ(AL_cnvrtIduType(sao, 200), 3u);
  EXPECT_EQ(AL_cnvrtIduType(sao, 220), 0u);

  SaoCB* xopen = initiate(aarq(saofix::kXopenBasic, 9));
  ASSERT_NE(xopen, nullptr);
  EXPECT_EQ(xopen->pctxTbl[1].ase, &asx[0]);
  EXPECT_EQ(xopen->pctxTbl[3].ase, nullptr);
  EXPECT_EQ(xopen->pctxTbl[5].ase, &asx[2]);
  EXPECT_EQ(AL_cnvrtIduType(xopen, 200), 5u);
  AL_deleteSaoCB(xopen);
}

TEST_F(SaoBlock, InitiatorRefusals) {
  struct Case {
    const char* what;
    std::function<void(AcAarq*)> spoil;
    int32_t err;
  };
  static uint32_t unknown[] = {1, 2, 9};
  const Case cases[] = {
      {"no calling AP title", [](AcAarq* a) { a->presence &= ~AC_AARQ_CALLING_AP_TITLE; }, 52995},
      {"no calling AE qualifier", [](AcAarq* a) { a->presence &= ~AC_AARQ_CALLING_AE_QUAL; }, 52997},
      {"context not in the table", [](AcAarq* a) { a->contextName = oid(unknown, 3); }, 52994},
  };
  const long before = xmLive();
  for (const Case& c : cases) {
    AcAarq a = aarq();
    c.spoil(&a);
    EXPECT_EQ(initiate(a), nullptr) << c.what;
    EXPECT_EQ(QvGetOsiError(), c.err) << c.what;
    EXPECT_EQ(xmLive(), before) << c.what;
  }
}

TEST_F(SaoBlock, ResponderTakesTheCallingSideAndTheProposedContexts) {
  AcAarq a = aarq();
  std::swap(a.callingApTitle, a.calledApTitle);
  std::swap(a.callingAeQual, a.calledAeQual);
  a.presence |= AC_AARQ_CALLING_AE_INVOKE;
  a.callingAeInvoke = 44;
  GIDU* ind = pconnInd(&a, 8, 7);  // context 1 the RDA syntax, 3 the ACSE
  ind->ue = aei;
  sao = AL_createSaoCB(ind, &static_cast<AcseApdu*>(static_cast<DElem*>(static_cast<PIDU*>(ind->idu)->dataList.next)->value)->aarq);
  ASSERT_NE(sao, nullptr);
  EXPECT_EQ(sao->role, SAO_ROLE_RESPONDER);
  EXPECT_EQ(arcs(sao->peerTitle.objId), (std::vector<uint32_t>{1, 2, 4, 9}));
  EXPECT_EQ(sao->idFlags, SAO_ID_AEINVOKE);
  EXPECT_EQ(sao->peerAeInvoke, 44u);
  EXPECT_EQ(octets(sao->peerAddress.pSel), (std::vector<uint8_t>{0xAA, 0xBB})) << "the calling address";
  EXPECT_EQ(sao->pctxTbl[1].ase, &asx[1]);
  EXPECT_EQ(sao->pctxTbl[3].ase, &asx[0]);
  EXPECT_EQ(AL_cnvrtIduType(sao, 240), 3u);
  EXPECT_EQ(sao->qabortReq->iduType, AL_IDU_PRES);
  al_deleteGidu(ind);

  // An abstract syntax the thread does not know fails the whole table.
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_TABLE}});
  const long before = xmLive();
  ind = pconnInd(&a, 7, 12);
  ind->ue = aei;
  EXPECT_EQ(AL_createSaoCB(ind, &a), nullptr);
  EXPECT_EQ(QvGetOsiError(), 52993);
  EXPECT_TRUE(trace.contains("*** AL_createPctxTBL: bad asidx=c"));
  al_deleteGidu(ind);
  EXPECT_EQ(xmLive(), before);
}

TEST_F(SaoBlock, EveryAllocationFailingInTurnLeavesNothing) {
  const AcAarq a = aarq();
  GIDU* req = al_createGidu(nullptr, AL_IDU_ACSE, AL_A_ASSOC_REQ);
  req->ue = aei;
  const long before = xmLive();
  long n = 0;
  for (; n < 40; ++n) {
    SaoCB* made = withBudget(n, [&] { return AL_createSaoCB(req, &a); });
    if (made != nullptr) {
      sao = made;
      break;
    }
    EXPECT_EQ(QvGetOsiError(), 52993) << "allocation " << n;
    EXPECT_EQ(xmLive(), before) << "allocation " << n;
  }
  al_deleteGidu(req);
  EXPECT_GT(n, 5) << "the block needs several allocations";
  EXPECT_NE(sao, nullptr);
}

TEST_F(SaoBlock, SurvivesDeletionWhileReferencedAndTakesItsQueuesAlong) {
  makeSao();
  AL_refSaoCB(sao);
  AL_refSaoCB(sao);
  EXPECT_EQ(AL_deleteSaoCB(sao), 1);
  EXPECT_EQ(sao->tag, 257u) << "still alive";
  AL_derefSaoCB(sao);
  AL_deleteSaoCB(sao);
  EXPECT_EQ(sao->tag, 257u);
  AL_derefSaoCB(sao);
  EXPECT_EQ(sao->refCount, 0u);
  AL_derefSaoCB(sao);
  EXPECT_EQ(sao->refCount, 0u) << "never below 0";
  for (GIDU* q : {&sao->saoQueue, &sao->sacfQueue, &sao->pStopQueue, &sao->uStopQueue})
    al_queueAppend(q, apduGidu(AL_IDU_RDA, 0x8008, 3));
  AL_deleteSaoCB(sao);
  sao = nullptr;  // the fixture's count shows every GIDU went with it
}

TEST_F(SaoBlock, ConfirmGivesTheRespondingIdentity) {
  makeSao();
  AcAare r{};
  static uint32_t responding[] = {1, 2, 5};
  r.presence = AC_AARE_RESP_AP_TITLE | AC_AARE_RESP_AE_QUAL | AC_AARE_RESP_AP_INVOKE | AC_AARE_RESP_AE_INVOKE;
  r.respApTitle.kind = UL_TITLE_OBJID;
  r.respApTitle.objId = oid(responding, 3);
  r.respAeQual = UL_AEQual{UL_QUAL_INTEGER, {3}};
  r.respApInvoke = 4;
  r.respAeInvoke = 6;

  GIDU* other = apduGidu(AL_IDU_ACSE, AL_A_ASSOC_RSP, 1);
  EXPECT_EQ(AL_updateSaoCB(other, &r), 1);
  EXPECT_EQ(arcs(sao->peerTitle.objId), (std::vector<uint32_t>{1, 2, 4, 9})) << "only a P-CONNECT confirm counts";
  al_deleteGidu(other);

  GIDU* cnf = presGidu(90);
  static uint8_t sel[] = {0xCC};
  static_cast<PIDU*>(cnf->idu)->responding.pSel = PSelector{1, sel};
  EXPECT_EQ(AL_updateSaoCB(cnf, &r), 1);
  EXPECT_EQ(arcs(sao->peerTitle.objId), (std::vector<uint32_t>{1, 2, 5, 3}));
  EXPECT_EQ(sao->idFlags & (SAO_ID_APINVOKE | SAO_ID_AEINVOKE), SAO_ID_APINVOKE | SAO_ID_AEINVOKE);
  EXPECT_EQ(sao->peerApInvoke, 4u);
  EXPECT_EQ(sao->peerAeInvoke, 6u);
  EXPECT_EQ(octets(sao->peerAddress.pSel), (std::vector<uint8_t>{0xCC}));
  al_deleteGidu(cnf);
}

}  // namespace
