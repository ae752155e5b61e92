// The ACSE service element: its control blocks, the user's primitives it
// sends on in APDU form, the APDUs and presentation primitives it delivers,
// and what becomes of the events its machine refuses.
#include "acse/sao_fixture.h"
#include "src/acse/acse_ase.h"
#include "src/acse/acse_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/cvrt_apdu.h"
#include "src/presentation/pevents.h"
#include "support/trace_capture.h"

namespace {

XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

uint8_t kOwnPsel[] = {0x01, 0x02, 0x03};

class AcseAse : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    makeSao();
    sao->appContext = saofix::oid(saofix::kRdaBasic, 6);
    ASSERT_EQ(ac_aseInit(), 1);
    cb = static_cast<AcseAseCB*>(ac_aseEstab());
    ASSERT_NE(cb, nullptr);
    sao->pctxTbl[1].aseBlock = cb;
    sao->curAseBlock = cb;
    QvSetOsiError(0);
  }
  void TearDown() override {
    if (cb != nullptr) ac_aseRel(cb, 0);
    ac_aseTerm();
    SaoTest::TearDown();
  }

  // An ACSE GIDU of the association as the SACF hands it over: a header of
  // the ACSE context over a record of `code` in a tree of its own.
  GIDU* acse(uint32_t event, uint32_t code) {
    GIDU* g = apduGidu(AL_IDU_ACSE, event, 1);
    g->ue = saofix::ref(0x31);
    g->pe = saofix::ref(0x32);
    g->pc = saofix::ref(0x34);
    hdr(g)->hdrWord1 = 0;
    auto* a = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
    _xm_moveTree(treeOf(g), treeOf(a));
    a->code = code;
    hdr(g)->wrapped = a;
    return g;
  }
  // A received presentation primitive wrapped for the elements.
  GIDU* pres(uint32_t pev, int32_t reason = -1) {
    GIDU* g = presGidu(pev);
    static_cast<PIDU*>(g->idu)->reason = reason;
    AeHDR* h = AL_createAeHDR(g);
    h->hdrOrigin = 8;
    g->iduType = AL_IDU_PRES_RCV;
    return g;
  }
  static AeHDR* hdr(const GIDU* g) { return static_cast<AeHDR*>(g->idu); }
  static AcseApdu* apdu(const GIDU* g) { return static_cast<AcseApdu*>(hdr(g)->wrapped); }
  void send(GIDU* g) { ac_aseSnd(g, sao->pctxTbl, cb, sao); }
  void receive(GIDU* g) { ac_aseRcv(g, sao->pctxTbl, cb, sao); }
  bool deletePending() const { return (sao->saoFlags & SAO_DELETE_PENDING) != 0; }

  AcseAseCB* cb = nullptr;
};

// ---------------------------------------------------------------------------
// Control blocks

TEST_F(AcseAse, ControlBlocksLiveOnTheThreadsList) {
  EXPECT_EQ(cb->mark, 771u);
  EXPECT_EQ(cb->acpm.state, ACPM_IDLE);
  EXPECT_EQ(cb->acpm.initiator, 0u);
  EXPECT_EQ(ac_aseInit(), 0);
  EXPECT_EQ(QvGetOsiError(), 49248);

  auto* second = static_cast<AcseAseCB*>(ac_aseEstab());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(cb->next, second) << "appended at the tail";
  cb->acpm.state = ACPM_ASSOCIATED;
  EXPECT_EQ(ac_aseRel(cb, 1), 1) << "reset leaves the block";
  EXPECT_EQ(cb->acpm.state, ACPM_ASSOCIATED);
  EXPECT_EQ(cb->mark, 771u);
  EXPECT_EQ(ac_aseRel(cb, 2), 0);
  EXPECT_EQ(QvGetOsiError(), 49254);
  EXPECT_EQ(ac_aseRel(cb, -1), 0);
  EXPECT_EQ(QvGetOsiError(), 49254);
  AcseAseCB stranger{};
  EXPECT_EQ(ac_aseRel(&stranger, 0), 0);
  EXPECT_EQ(QvGetOsiError(), 49253);

  EXPECT_EQ(ac_aseTerm(), 0);
  EXPECT_EQ(QvGetOsiError(), 49250);
  EXPECT_EQ(ac_aseRel(second, 0), 1);
  EXPECT_EQ(cb->next, cb->prev) << "unlinked";
  EXPECT_EQ(ac_aseStart(), 0);
  EXPECT_EQ(QvGetOsiError(), 49252);
}

TEST_F(AcseAse, EntriesBeforeInitialisation) {
  ASSERT_EQ(ac_aseRel(cb, 0), 1);
  cb = nullptr;
  ASSERT_EQ(ac_aseTerm(), 1);
  for (auto check : {+[] { return ac_aseEstab() != nullptr ? 1 : 0; }, +[] { return ac_aseTerm(); },
                     +[] { return ac_aseRel(nullptr, 0); }}) {
    QvSetOsiError(0);
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(QvGetOsiError(), 49249);
  }
  const long before = xmLive();
  send(acse(AL_A_ASSOC_REQ, AC_APDU_AARQ));
  EXPECT_EQ(xmLive(), before) << "nothing is left of the GIDU";
  EXPECT_TRUE(seen.empty());
  ASSERT_EQ(ac_aseInit(), 1);
}

TEST_F(AcseAse, RowOfTheAseTableNamesTheEntries) {
  const AsxEntry& row = RDA_asxTBL[0];
  EXPECT_EQ(row.aseId, 240u);
  EXPECT_EQ(row.send, &ac_aseSnd);
  EXPECT_EQ(row.receive, &ac_aseRcv);
  EXPECT_EQ(row.init, &ac_aseInit);
  EXPECT_EQ(row.establish, &ac_aseEstab);
  EXPECT_EQ(row.release, &ac_aseRel);
  EXPECT_EQ(row.terminate, &ac_aseTerm);
}

// ---------------------------------------------------------------------------
// Send

TEST_F(AcseAse, UserPrimitivesGoDownInTheirApduForm) {
  struct Case {
    const char* what;
    uint32_t event, code;
    int32_t result;  // AARE result or release result
    int32_t state, newState;
    uint32_t apduEvent, pev;
    bool ends;
  };
  const Case cases[] = {
      {"A-ASSOCIATE request", AL_A_ASSOC_REQ, AC_APDU_AARQ, 0, 0, 1, AC_EV_AARQ, P_CON_REQ, false},
      {"A-ASSOCIATE response accepted", AL_A_ASSOC_RSP, AC_APDU_AARE, 0, 2, 5, AC_EV_AARE, P_CON_ACC, false},
      {"A-ASSOCIATE response rejected", AL_A_ASSOC_RSP, AC_APDU_AARE, 2, 2, 0, AC_EV_AARE, P_CON_REJ, true},
      {"A-RELEASE request", AL_A_RELEASE_REQ, AC_APDU_RLRQ, 0, 5, 3, AC_EV_RLRQ, P_REL_REQ, false},
      {"A-RELEASE response affirmative", AL_A_RELEASE_RSP, AC_APDU_RLRE, 0, 4, 0, AC_EV_RLRE, P_REL_ACC, true},
      {"A-RELEASE response negative", AL_A_RELEASE_RSP, AC_APDU_RLRE, 1, 4, 5, AC_EV_RLRE, P_REL_REJ, false},
      {"A-ABORT request", AL_A_ABORT_REQ, AC_APDU_ABRT, 0, 5, 0, AC_EV_ABRT, P_UAB_REQ, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    sao->saoFlags = 0;
    cb->acpm.state = c.state;
    GIDU* g = acse(c.event, c.code);
    if (c.code == AC_APDU_AARE) apdu(g)->aare.result = static_cast<uint32_t>(c.result);
    if (c.code == AC_APDU_RLRE) apdu(g)->rlre.releaseResult = c.result;
    AcseApdu* a = apdu(g);
    hdr(g)->pctxId = 0;
    send(g);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd"}));
    EXPECT_EQ(seen[0].gidu, g);
    EXPECT_EQ(g->event, c.apduEvent);
    EXPECT_EQ(g->iduType, AL_IDU_ACSE);
    EXPECT_EQ(hdr(g)->hdrWord1, c.pev);
    EXPECT_EQ(hdr(g)->hdrOrigin, 7u);
    EXPECT_EQ(hdr(g)->pctxId, 1u) << "the ACSE context";
    EXPECT_EQ(apdu(g), a);
    EXPECT_EQ(cb->acpm.state, c.newState);
    EXPECT_EQ(deletePending(), c.ends);
  }
}

TEST_F(AcseAse, RefusedUserPrimitiveComesBackAsALocalError) {
  struct Case {
    const char* what;
    uint32_t event, code;
    int32_t state;
  };
  const Case cases[] = {
      {"A-RELEASE request before the association", AL_A_RELEASE_REQ, AC_APDU_RLRQ, 1},
      {"A-ABORT request in state 0", AL_A_ABORT_REQ, AC_APDU_ABRT, 0},
      {"request carrying another APDU", AL_A_ASSOC_REQ, AC_APDU_ABRT, 0},
      {"no ACSE primitive", AL_A_ASSOC_CNF, AC_APDU_AARE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    cb->acpm.state = c.state;
    QvSetOsiError(0);
    send(acse(c.event, c.code));
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
    const GIDU* err = seen[0].gidu;
    EXPECT_EQ(err->event, AL_LOCERR_IND);
    EXPECT_EQ(err->errNo, 49255u);
    EXPECT_EQ(err->iduType, AL_IDU_ACSE);
    EXPECT_EQ(err->idu, nullptr) << "header and APDU are gone";
    EXPECT_EQ(err->ue, saofix::ref(0x31));
    EXPECT_EQ(QvGetOsiError(), 49255);
    EXPECT_EQ(cb->acpm.state, c.state) << "the machine stays";
  }
}

TEST_F(AcseAse, GiduTheCheckRefuses) {
  TraceCapture trace({{&ac_aseTMHandle, "ACSE: ", 8}});
  const long before = xmLive();
  GIDU* noSao = acse(AL_A_ASSOC_REQ, AC_APDU_AARQ);
  noSao->uc = nullptr;
  send(noSao);
  EXPECT_TRUE(trace.contains("Invalid user_con_ref in the IDU Received"));
  sao->curAseBlock = nullptr;
  receive(acse(AC_EV_AARE, AC_APDU_AARE));
  EXPECT_TRUE(trace.contains("Invalid aseCB in saoCB"));
  EXPECT_EQ(xmLive(), before) << "both deleted";
  EXPECT_TRUE(seen.empty());

  sao->curAseBlock = cb;
  GIDU* empty = acse(AL_A_ASSOC_REQ, AC_APDU_AARQ);
  hdr(empty)->wrapped = nullptr;
  send(empty);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
  EXPECT_EQ(seen[0].event, AL_LOCERR_IND);
  EXPECT_EQ(seen[0].errNo, 49255u);
  ac_aseSnd(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(QvGetOsiError(), 49255);
}

// ---------------------------------------------------------------------------
// Receive

TEST_F(AcseAse, ReceivedApdusGoUpAsIndicationsAndConfirms) {
  struct Case {
    const char* what;
    uint32_t event, code;
    int32_t result;
    int32_t state, newState;
    uint32_t delivered;
    bool ends;
  };
  const Case cases[] = {
      {"AARQ", AC_EV_AARQ, AC_APDU_AARQ, 0, 0, 2, AL_A_ASSOC_IND, false},
      {"AARE accepted", AC_EV_AARE, AC_APDU_AARE, 0, 1, 5, AL_A_ASSOC_CNF, false},
      {"AARE rejected", AC_EV_AARE, AC_APDU_AARE, 1, 1, 0, AL_A_ASSOC_CNF, true},
      {"RLRQ", AC_EV_RLRQ, AC_APDU_RLRQ, 0, 5, 4, AL_A_RELEASE_IND, false},
      {"RLRE affirmative", AC_EV_RLRE, AC_APDU_RLRE, 0, 3, 0, AL_A_RELEASE_CNF, true},
      {"RLRE negative", AC_EV_RLRE, AC_APDU_RLRE, 1, 3, 5, AL_A_RELEASE_CNF, false},
      {"ABRT", AC_EV_ABRT, AC_APDU_ABRT, 0, 5, 0, AL_A_ABORT_IND, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    sao->saoFlags = 0;
    cb->acpm.state = c.state;
    GIDU* g = acse(c.event, c.code);
    if (c.code == AC_APDU_AARE) apdu(g)->aare.result = static_cast<uint32_t>(c.result);
    if (c.code == AC_APDU_RLRE) apdu(g)->rlre.releaseResult = c.result;
    receive(g);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
    EXPECT_EQ(seen[0].gidu, g);
    EXPECT_EQ(g->event, c.delivered);
    EXPECT_EQ(apdu(g)->code, c.code);
    EXPECT_EQ(cb->acpm.state, c.newState);
    EXPECT_EQ(deletePending(), c.ends);
  }
}

TEST_F(AcseAse, ReceivedRlreKeepsOnlyItsReleaseResult) {
  cb->acpm.state = ACPM_AWAIT_RLRE;
  GIDU* g = acse(AC_EV_RLRE, AC_APDU_RLRE);
  AcRlre& r = apdu(g)->rlre;
  r.presence = AC_RLS_REASON | AC_RLS_USER_INFO | AC_RLRE_RELEASE_RESULT;
  r.reason = 1;
  r.userInfo.count = 1;
  receive(g);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
  EXPECT_EQ(g->event, AL_A_RELEASE_CNF);
  EXPECT_EQ(r.presence, 4u);
}

TEST_F(AcseAse, ApduRefusedInItsStateAbortsBothWays) {
  struct Case {
    const char* what;
    std::function<GIDU*()> make;
  };
  const Case cases[] = {
      {"AARE in state 0", [&] { return acse(AC_EV_AARE, AC_APDU_AARE); }},
      {"ABRT in state 0", [&] { return acse(AC_EV_ABRT, AC_APDU_ABRT); }},
      {"APDU that is not the event's", [&] { return acse(AC_EV_RLRQ, AC_APDU_AARQ); }},
      {"APDU of an unknown event", [&] { return acse(0x8058, AC_APDU_ABRT); }},
      {"presentation abort in state 0", [&] { return pres(P_PAB_IND); }},
      {"other presentation primitive", [&] { return pres(P_GT_IND); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    sao->saoFlags = 0;
    cb->acpm.state = ACPM_IDLE;
    GIDU* g = c.make();
    receive(g);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv", "sacfSnd"}));
    const GIDU* ind = seen[0].gidu;
    EXPECT_EQ(ind, g);
    EXPECT_EQ(ind->event, AL_A_ABORT_IND);
    EXPECT_EQ(ind->iduType, AL_IDU_ACSE);
    EXPECT_EQ(ind->errNo, 49255u);
    EXPECT_EQ(hdr(ind)->hdrOrigin, 7u);
    EXPECT_EQ(apdu(ind)->code, static_cast<uint32_t>(AC_APDU_ABRT));
    EXPECT_EQ(apdu(ind)->abrt.source, AC_ABORT_PROVIDER);
    const GIDU* req = seen[1].gidu;
    EXPECT_EQ(req->event, AC_EV_ABRT);
    EXPECT_EQ(req->errNo, 49255u);
    EXPECT_EQ(req->ue, g->ue);
    EXPECT_EQ(req->uc, sao);
    EXPECT_EQ(req->pc, g->pc);
    EXPECT_EQ(req->next, req);
    EXPECT_EQ(hdr(req)->hdrWord1, static_cast<uint32_t>(P_UAB_REQ));
    EXPECT_EQ(hdr(req)->pctxId, 1u);
    EXPECT_EQ(apdu(req)->code, static_cast<uint32_t>(AC_APDU_ABRT));
    EXPECT_EQ(apdu(req)->abrt.source, AC_ABORT_PROVIDER);
    EXPECT_EQ(apdu(req)->abrt.presence, 0u);
    EXPECT_TRUE(deletePending());
    EXPECT_EQ(QvGetOsiError(), 49255);
  }
}

TEST_F(AcseAse, PresentationPrimitivesBecomeAcseIndicationsAndConfirms) {
  struct Case {
    const char* what;
    uint32_t pev;
    int32_t reason;
    int32_t state;
    uint32_t delivered;
    uint32_t code;
  };
  const Case cases[] = {
      {"refused connection", P_CON_REF, -1, 1, AL_A_ASSOC_CNF, AC_APDU_AARE},
      {"provider abort with a reason", P_PAB_IND, 3, 5, AL_A_PABORT_IND, AC_APDU_PABRT},
      {"provider abort without one", P_PAB_IND, -1, 5, AL_A_PABORT_IND, AC_APDU_PABRT},
      {"user abort", P_UAB_IND, -1, 3, AL_A_ABORT_IND, AC_APDU_ABRT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    sao->saoFlags = 0;
    cb->acpm.state = c.state;
    GIDU* g = pres(c.pev, c.reason);
    receive(g);
    ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
    EXPECT_EQ(seen[0].gidu, g);
    EXPECT_EQ(g->iduType, AL_IDU_ACSE);
    EXPECT_EQ(g->event, c.delivered);
    EXPECT_EQ(hdr(g)->hdrOrigin, 7u);
    EXPECT_EQ(hdr(g)->pctxId, 1u);
    const AcseApdu* a = apdu(g);
    ASSERT_EQ(a->code, c.code);
    EXPECT_EQ(cb->acpm.state, ACPM_IDLE);
    EXPECT_TRUE(deletePending());
    if (c.code == AC_APDU_AARE) {
      EXPECT_EQ(a->aare.result, 1u);
      EXPECT_EQ(a->aare.resultSource, AC_SOURCE_PROVIDER);
      EXPECT_EQ(a->aare.diagnostic, 1u);
      EXPECT_EQ(a->aare.presence, 0u);
    } else if (c.code == AC_APDU_PABRT) {
      EXPECT_EQ(a->pabrt.reason, c.reason);
    } else {
      EXPECT_EQ(a->abrt.source, AC_ABORT_USER);
      EXPECT_EQ(a->abrt.presence, 0u);
    }
  }
}

TEST_F(AcseAse, RefusingAnAarqAnswersWithARejectingAare) {
  GIDU* g = acse(AC_EV_AARQ, AC_APDU_AARQ);
  hdr(g)->hdrWord1 = P_CON_IND;
  AcConnParams& cp = apdu(g)->aarq.connParams;
  cp.callingAddress.mask = UL_PADDR_PSEL;
  cp.callingAddress.pSel = OctStgV{3, kOwnPsel};
  cp.presRequirements = 0x40;
  cp.sessRequirements = 0x0102;
  AC_aseCreateAarqN(g);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd"}));
  EXPECT_EQ(g->event, AC_EV_AARE);
  EXPECT_EQ(hdr(g)->hdrWord1, static_cast<uint32_t>(P_CON_REJ));
  EXPECT_EQ(hdr(g)->hdrOrigin, 7u);
  const AcAare& a = apdu(g)->aare;
  EXPECT_EQ(apdu(g)->code, static_cast<uint32_t>(AC_APDU_AARE));
  EXPECT_EQ(a.protocolVersion, 128u);
  EXPECT_EQ(a.contextName.count, 6u);
  EXPECT_NE(a.contextName.arcs, saofix::kRdaBasic) << "a copy";
  EXPECT_EQ(a.result, 1u);
  EXPECT_EQ(a.resultSource, AC_SOURCE_PROVIDER);
  EXPECT_EQ(a.diagnostic, 1u);
  const AcConnResult& cr = a.connResult;
  EXPECT_EQ(cr.presence, 0x01u | 0x10 | 0x80);
  EXPECT_EQ(cr.presentationResult, 2);
  EXPECT_EQ(cr.presRequirements, 0x40u);
  EXPECT_EQ(cr.sessRequirements, 0x0102u);
  ASSERT_EQ(cr.respondingAddress.pSel.length, 3u);
  EXPECT_EQ(cr.respondingAddress.pSel.octets[2], 0x03);
  EXPECT_FALSE(deletePending());

  // Through the conversion it leaves as a negative P-CONNECT response.
  seen.clear();
  kept.clear();
  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<PIDU*>(p->idu)->event, static_cast<uint32_t>(P_CON_REJ));
  EXPECT_EQ(static_cast<PIDU*>(p->idu)->reason, 1);
  al_deleteGidu(p);

  GIDU* w = acse(AC_EV_AARQ, AC_APDU_AARQ);
  AC_aseCreateAarqNWithReason(w, 3);
  EXPECT_EQ(apdu(w)->aare.resultSource, AC_SOURCE_USER);
  EXPECT_EQ(apdu(w)->aare.diagnostic, 3u);
  EXPECT_TRUE(deletePending());
}

// The element's output continues into the conversion to a presentation
// primitive.
TEST_F(AcseAse, AssociateRequestReachesTheConversionReadyForTheWire) {
  GIDU* g = acse(AL_A_ASSOC_REQ, AC_APDU_AARQ);
  apdu(g)->aarq.presence = AC_AARQ_VERSION | AC_AARQ_CONN_PARAMS;
  apdu(g)->aarq.connParams.calledAddress.nAddrs.links.next = &apdu(g)->aarq.connParams.calledAddress.nAddrs.links;
  apdu(g)->aarq.connParams.calledAddress.nAddrs.links.prev = &apdu(g)->aarq.connParams.calledAddress.nAddrs.links;
  send(g);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd"}));
  kept.clear();
  GIDU* p = AL_cvrtApdu(g);
  ASSERT_NE(p, nullptr);
  const auto* d = static_cast<PIDU*>(p->idu);
  EXPECT_EQ(d->event, static_cast<uint32_t>(P_CON_REQ));
  EXPECT_EQ(d->ctxDefList[1], 7);
  EXPECT_EQ(d->ctxDefList[3], 8);
  ASSERT_NE(d->dataList.next, &d->dataList);
  EXPECT_EQ(static_cast<const DElem*>(d->dataList.next)->pctxId, 1);
  al_deleteGidu(p);
}

TEST_F(AcseAse, NoMemoryForTheAbortEndsInQuickAborts) {
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 30);
    seen.clear();
    for (GIDU* k : kept) al_deleteGidu(k);
    kept.clear();
    sao->saoFlags = 0;
    if (sao->qabortReq == nullptr) sao->qabortReq = al_createGidu(nullptr, AL_IDU_ACSE, AL_QABORT);
    if (sao->qabortInd == nullptr) sao->qabortInd = al_createGidu(nullptr, AL_IDU_ACSE, AL_QABORT);
    cb->acpm.state = ACPM_IDLE;
    GIDU* g = acse(AC_EV_AARE, AC_APDU_AARE);
    withBudget(n, [&] {
      receive(g);
      return 0;
    });
    if (count("sacfSnd") == 1 && count("sacfRcv") == 1 && seen[0].event == AL_A_ABORT_IND) break;
    bool quick = false;
    for (const saofix::Seen& s : seen) quick = quick || (s.event == AL_QABORT && s.errNo == 49251);
    EXPECT_TRUE(quick) << "without memory the association still ends";
    EXPECT_TRUE(deletePending());
  }
}

}  // namespace
