// The SACF of RDA: its tables, the sequence check over an association of
// the application layer's test fixture, the typing of received RDA GIDUs
// and the SAO's quick abort.
#include <gtest/gtest.h>

#include "acse/sao_fixture.h"
#include "common/timer2.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_sacf.h"
#include "src/rda/rdatls.h"

namespace {

// The allowed cells, written out by hand: (event, state) -> next state.
struct Cell {
  uint32_t event, state, next;
};
constexpr Cell kAllowedCells[] = {
    {0, 0, 1}, {1, 1, 2}, {2, 1, 0}, {3, 2, 4}, {4, 4, 0},  {5, 4, 2},   {7, 2, 3},  {8, 3, 5},
    {9, 3, 2}, {10, 5, 6}, {11, 6, 2}, {12, 6, 5}, {13, 3, 3}, {13, 5, 5}, {14, 5, 5},
};

TEST(SacfTables, StateTableHoldsTheAllowedCellsAndRefusesTheRest) {
  std::array<uint32_t, kSacfEvents * kSacfStates> expect{};
  expect.fill(0xFF);
  for (const Cell& c : kAllowedCells) expect[c.event * 7 + c.state] = 0x100 | c.next;
  for (uint32_t s = 0; s < 7; ++s) expect[6 * 7 + s] = 0x100;
  EXPECT_EQ(sacfStateTbl, expect);
}

TEST(SacfTables, EventCodesMapToTheirSacfEvents) {
  struct Case {
    uint32_t iduType, event, sacfEvent;
  };
  const Case cases[] = {
      {240, 0x8000, 0},  {240, 0x8004, 0},  {240, 0x8012, 1},  {240, 0x8016, 1},      {240, 0x8020, 3},
      {240, 0x8024, 3},  {240, 0x8032, 4},  {240, 0x8036, 4},  {240, 0x8040, 6},      {240, 0x8044, 6},
      {240, 0x48054, 6}, {240, 0x8008, 255}, {240, 0x8060, 255}, {200, 0x8000, 7},     {200, 0x8004, 7},
      {200, 0x80D2, 8},  {200, 0x80D6, 8},  {200, 0x81A2, 9},  {200, 0x81A6, 9},      {200, 0x8010, 10},
      {200, 0x8014, 10}, {200, 0x80E2, 11}, {200, 0x80E6, 11}, {200, 0x81B2, 12},     {200, 0x81B6, 12},
      {200, 0x8020, 13}, {200, 0x80C4, 13}, {200, 0x80F2, 255} /* no R-BeginTransaction result */,
      {200, 0x8102, 14}, {200, 0x81C2, 14}, {200, 0x8266, 14}, {200, 0x8008, 255},    {200, 0x8018, 255},
      {200, 0x8268, 255}, {200, 0xFFFE, 255}, {20, 0x8000, 255},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rda_sacfEventOf(c.iduType, c.event), c.sacfEvent) << c.iduType << " 0x" << std::hex << c.event;
}

class Sacf : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    route[1] = route[4] = RDA_sacfSeqCk;
  }

  // A GIDU of the association with its APDU record in the header.
  GIDU* acse(uint32_t event, uint32_t code) {
    GIDU* g = apduGidu(AL_IDU_ACSE, event, 1);
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItem(xm_getParentOfItem(g), sizeof(AcseApdu), XM_ZERO));
    apdu->code = code;
    static_cast<AeHDR*>(g->idu)->wrapped = apdu;
    return g;
  }
  static AcseApdu* apdu(GIDU* g) { return static_cast<AcseApdu*>(static_cast<AeHDR*>(g->idu)->wrapped); }

  // Runs the GIDU through the sequence check as slot 1 (send) or 4
  // (receive) does.
  void check(GIDU* g, bool send) {
    sao->routeIdx = send ? 3 : 6;
    RDA_sacfSeqCk(g);
  }
};

TEST_F(Sacf, SequenceCheckMovesTheStateOrAbortsBothWays) {
  struct Case {
    const char* what;
    uint32_t state, iduType, event, code;
    uint32_t result;  // AARE result or release result
    bool send;
    uint32_t next;
    bool aborted;
  };
  const Case cases[] = {
      {"A-ASSOCIATE req in idle", 0, 240, 0x8000, AC_APDU_AARQ, 0, true, 1, false},
      {"accepted A-ASSOCIATE cnf", 1, 240, 0x8016, AC_APDU_AARE, 0, false, 2, false},
      {"rejected A-ASSOCIATE cnf", 1, 240, 0x8016, AC_APDU_AARE, 1, false, 0, false},
      {"A-RELEASE req", 2, 240, 0x8020, AC_APDU_RLRQ, 0, true, 4, false},
      {"affirmative A-RELEASE cnf", 4, 240, 0x8036, AC_APDU_RLRE, 0, false, 0, false},
      {"negative A-RELEASE cnf", 4, 240, 0x8036, AC_APDU_RLRE, 1, false, 2, false},
      {"R-Initialize req", 2, 200, RDA_INIT_REQ, 0, 0, true, 3, false},
      {"R-Open req before the R-Initialize cnf", 3, 200, RDA_OPEN_REQ, 0, 0, true, 3, false},
      {"R-Initialize cnf", 3, 200, RDA_INIT_CNF, 0, 0, false, 5, false},
      {"R-Initialize error cnf", 3, 200, RDA_INIT_ECNF, 0, 0, false, 2, false},
      {"R-Open cnf in the dialogue", 5, 200, RDA_OPEN_CNF, 0, 0, false, 5, false},
      {"R-Terminate cnf", 6, 200, RDA_TERM_CNF, 0, 0, false, 2, false},
      {"A-ABORT ind in the dialogue", 5, 240, 0x8044, AC_APDU_ABRT, 0, false, 0, false},
      {"R-Open rsp before the R-Initialize cnf", 3, 200, RDA_OPEN_RSP, 0, 0, true, 0, true},
      {"second A-ASSOCIATE req", 2, 240, 0x8000, AC_APDU_AARQ, 0, true, 0, true},
      {"R-Open ind before the dialogue", 2, 200, RDA_OPEN_IND, 0, 0, false, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    makeSao();
    sao->sacfState = c.state;
    GIDU* g = c.iduType == AL_IDU_ACSE ? acse(c.event, c.code) : apduGidu(AL_IDU_RDA, c.event, 3);
    if (c.code == AC_APDU_AARE) apdu(g)->aare.result = c.result;
    if (c.code == AC_APDU_RLRE) apdu(g)->rlre.releaseResult = static_cast<int32_t>(c.result);
    check(g, c.send);
    GIDU* queued = al_queueEmpty(&sao->sacfQueue) ? nullptr : AL_sacfRouteDQ(sao);
    EXPECT_EQ(sao->sacfState, c.next);
    if (c.aborted) {
      // The A-ABORT goes towards the peer, the A-P-ABORT to the user; the
      // one against the direction of the pass waits to turn round.
      ASSERT_NE(queued, nullptr);
      const saofix::Seen* on = last(c.send ? "aseSnd" : "user");
      ASSERT_NE(on, nullptr);
      EXPECT_EQ(on->event, c.send ? AL_A_ABORT_REQ : AL_A_PABORT_IND);
      EXPECT_EQ(queued->event, c.send ? AL_A_PABORT_IND : AL_A_ABORT_REQ);
      EXPECT_EQ(sao->routeIdx, c.send ? 6 : 3) << "continues after the twin of the sequence check";
      kept.push_back(queued);
    } else {
      EXPECT_EQ(queued, nullptr);
      const saofix::Seen* on = last(c.send ? "aseSnd" : "user");
      ASSERT_NE(on, nullptr);
      EXPECT_EQ(on->gidu, g);
    }
    for (GIDU* k : kept) al_deleteGidu(k);
    kept.clear();
    seen.clear();
    AL_deleteSaoCB(sao);
    sao = nullptr;
  }
}

TEST_F(Sacf, EventOfNoRowQuickAbortsWithInvalidEvent) {
  makeSao();
  check(apduGidu(AL_IDU_RDA, 0x8018, 3), true);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_SACF_ERR_INVALID_EVENT_TYPE);
  ASSERT_EQ(count("sacfSnd"), 1u);
  ASSERT_EQ(count("sacfRcv"), 1u);
  EXPECT_EQ(last("sacfSnd")->event, AL_QABORT);
  EXPECT_EQ(last("sacfRcv")->errNo, RDA_SACF_ERR_INVALID_EVENT_TYPE);
  EXPECT_NE(sao->saoFlags & SAO_DELETE_PENDING, 0u);
  EXPECT_EQ(count("aseSnd"), 0u);
}

TEST_F(Sacf, RefusedEventWithoutMemoryQuickAborts) {
  makeSao();
  sao->sacfState = SACF_ASSOCIATED;
  GIDU* g = acse(AL_A_ASSOC_REQ, AC_APDU_AARQ);
  withoutMemoryAfter(0, [&] {
    check(g, true);
    return 0;
  });
  ASSERT_EQ(count("sacfRcv"), 1u);
  EXPECT_EQ(last("sacfRcv")->errNo, RDA_SACF_ERR_NO_RESOURCE);
  EXPECT_EQ(count("aseSnd"), 0u);
  EXPECT_TRUE(al_queueEmpty(&sao->sacfQueue));
}

TEST_F(Sacf, PassesRunFromTheirStartAndQueueWhatArrivesMeanwhile) {
  makeSao();
  rda_sacfSnd(apduGidu(AL_IDU_RDA, RDA_INIT_REQ, 3));
  sao->sacfState = SACF_ASSOCIATED;
  seen.clear();
  // A receive pass that is busy when a send arrives: the send waits to
  // turn round after the twin of the running element.
  sao->saoFlags |= SAO_SACF_BUSY;
  sao->routeIdx = 4;
  GIDU* g = apduGidu(AL_IDU_RDA, RDA_INIT_REQ, 3);
  rda_sacfSnd(g);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(sao->sacfQueue.next, g);
  EXPECT_EQ(reinterpret_cast<intptr_t>(g->uc), 5);
  sao->saoFlags &= ~SAO_SACF_BUSY;
  al_unlinkGidu(g);
  g->uc = sao;
  rda_sacfSnd(g);
  ASSERT_EQ(count("aseSnd"), 1u);
  EXPECT_EQ(last("aseSnd")->routeIdx, 5);
  EXPECT_EQ(sao->sacfState, SACF_INIT_PENDING);
  EXPECT_EQ(sao->routeIdx, 1);
  EXPECT_EQ(sao->saoFlags & SAO_SACF_BUSY, 0u);
}

// A received RDA GIDU as the conversion hands it over: one header of the
// given context over an IDU of `tag` whose response outcome is `outcome`.
class SacfReceived : public Sacf {
 protected:
  GIDU* received(uint32_t tag, uint32_t outcome, uint32_t ctx = 3) {
    GIDU* g = apduGidu(AL_IDU_RDA, 0, ctx);
    auto* idu = static_cast<RDAXOPENIdu*>(_xm_allocItem(xm_getParentOfItem(g), sizeof(RDAXOPENIdu), XM_ZERO));
    idu->tag = tag;
    RdaRcFields f{};
    const RdaFamily family = ctx == 5 ? RdaFamily::Xopen : RdaFamily::Iso;
    if (rda_rcFields(idu, family, &f) && f.outcome != nullptr) *f.outcome = outcome;
    static_cast<AeHDR*>(g->idu)->wrapped = idu;
    return g;
  }
};

TEST_F(SacfReceived, TagAndOutcomeGiveTheEventCode) {
  makeSao();
  struct Case {
    uint32_t tag, outcome, event;
  };
  const Case cases[] = {
      {RDA_INIT_RI, 0, 0x8008},          {RDA_INIT_RC, 0x4000, 0x80DA},   {RDA_INIT_RC, 0x4001, 0x81AA},
      {RDA_TERM_RI, 0, 0x8018},          {RDA_TERM_RC, 0x4000, 0x80EA},   {RDA_TERM_RC, 0x4001, 0x81BA},
      {RDA_BGNTRANS_RC, 0x4000, 0x81CA}, {RDA_BGNTRANS_RC, 0x4001, 0x81CA}, {RDA_OPEN_RI, 0, 0x8078},
      {RDA_OPEN_RC, 0x4000, 0x814A},     {RDA_OPEN_RC, 0x4001, 0x821A},   {RDA_DROPDBL_RC, 0x4000, 0x819A},
      {RDA_DROPDBL_RC, 0x4001, 0x826A},  {RDA_EMPTY, 0, 0x80D8},
  };
  for (const Case& c : cases) {
    GIDU* g = received(c.tag, c.outcome);
    EXPECT_EQ(getRdaEventType(g), c.event) << std::hex << c.tag << " " << c.outcome;
    al_deleteGidu(g);
  }
  // An X/Open association reads the records of its own family.
  AL_deleteSaoCB(sao);
  sao = initiate(aarq(saofix::kXopenBasic, 9));
  ASSERT_NE(sao, nullptr);
  GIDU* x = received(RDA_COMMIT_RC, 0x4001, 5);
  EXPECT_EQ(getRdaEventType(x), 0x81DAu);
  al_deleteGidu(x);
}

TEST_F(SacfReceived, RingOfAllowedGidusIsTyped) {
  makeSao();
  GIDU* a = acse(0x8008, AC_APDU_AARQ);
  GIDU* r = received(RDA_INIT_RC, 0x4000);
  al_queueAppend(a, r);
  EXPECT_EQ(rda_sacfTypeRing(a, sao), a);
  EXPECT_EQ(r->event, 0x80DAu);
  EXPECT_EQ(a->event, 0x8008u);
  EXPECT_EQ(al_ringCount(a), 2u);
  EXPECT_TRUE(seen.empty());
  kept.push_back(al_ringTake(&a));
  kept.push_back(a);
}

TEST_F(SacfReceived, PrivateTagsAndForeignTypesEndTheAssociation) {
  struct Case {
    uint32_t tag;
    uint32_t iduType;
  };
  const Case cases[] = {{RDA_ACTIVATE_REQ, 200}, {RDA_EMPTY_PRIVATE, 200}, {0x401B, 200}, {RDA_INIT_RI, 180}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    makeSao();
    const long before = xmLive();
    GIDU* first = acse(0x8008, AC_APDU_AARQ);
    GIDU* bad = received(c.tag, 0);
    bad->iduType = c.iduType;
    al_queueAppend(first, bad);
    EXPECT_EQ(rda_sacfTypeRing(first, sao), nullptr);
    ASSERT_EQ(count("sacfRcv"), 1u);
    EXPECT_EQ(last("sacfRcv")->errNo, RDA_SACF_ERR_BAD_APDU);
    EXPECT_EQ(count("sacfSnd"), 1u);
    // The quick aborts were made with the association.
    EXPECT_EQ(xmLive(), before) << "every GIDU of the ring is deleted";
    for (GIDU* k : kept) al_deleteGidu(k);
    kept.clear();
    seen.clear();
    AL_deleteSaoCB(sao);
    sao = nullptr;
  }
}

// The SAO with the SACF's own entries.
class Sao : public Sacf {
 protected:
  void SetUp() override {
    Sacf::SetUp();
    for (ActxEntry& a : actx) {
      a.saoSnd = rda_saoSnd;
      a.saoRcv = rda_saoRcv;
      a.sacfSnd = rda_sacfSnd;
      a.sacfRcv = rda_sacfRcv;
    }
  }
};

TEST_F(Sao, QuickAbortEmptiesBothQueuesAndPassesWhileBusy) {
  makeSao();
  // A pass of the SAO and one of the SACF run and hold work back.
  AL_refSaoCB(sao);
  sao->saoFlags |= SAO_SAO_BUSY | SAO_SACF_BUSY;
  GIDU* waiting = apduGidu(AL_IDU_RDA, RDA_OPEN_REQ, 3);
  al_queueAppend(&sao->saoQueue, waiting);
  GIDU* routed = apduGidu(AL_IDU_RDA, RDA_OPEN_REQ, 3);
  sao->routeIdx = 3;
  AL_sacfRouteQ(routed);
  GIDU* q = localEvent(AL_QABORT);
  rda_saoSnd(q);
  ASSERT_EQ(count("aeDown"), 1u);
  EXPECT_EQ(last("aeDown")->gidu, q);
  EXPECT_TRUE(al_queueEmpty(&sao->saoQueue));
  EXPECT_TRUE(al_queueEmpty(&sao->sacfQueue));
  EXPECT_NE(sao->saoFlags & SAO_DELETE_PENDING, 0u);
  EXPECT_EQ(sao->refCount, 1u) << "the block outlives the running pass";
  // What reaches a delete-pending association goes. The quick abort ended
  // the running pass's busy mark with its own pass, but nothing sent or
  // received during the rest of the outer pass starts a nested one: it is
  // refused at the entry.
  EXPECT_EQ(sao->saoFlags & SAO_SAO_BUSY, 0u);
  const long before = xmLive();
  rda_saoRcv(localEvent(AL_LOCERR_IND));
  rda_saoSnd(apduGidu(AL_IDU_RDA, RDA_OPEN_REQ, 3));
  EXPECT_EQ(xmLive(), before);
  EXPECT_EQ(count("aeUp"), 0u);
  EXPECT_EQ(count("aeDown"), 1u) << "only the quick abort went down";
  EXPECT_TRUE(al_queueEmpty(&sao->saoQueue));
  AL_derefSaoCB(sao);
}

TEST_F(Sao, SecondAssociateRequestOnAnAssociatedSacfAborts) {
  makeSao();
  sao->sacfState = SACF_ASSOCIATED;
  GIDU* g = acse(AL_A_ASSOC_RSP, AC_APDU_AARE);
  g->event = AL_A_ASSOC_REQ;
  apdu(g)->code = AC_APDU_AARQ;
  rda_sacfSnd(g);
  ASSERT_EQ(count("aseSnd"), 1u);
  EXPECT_EQ(last("aseSnd")->event, AL_A_ABORT_REQ);
  ASSERT_EQ(count("user"), 1u);
  EXPECT_EQ(last("user")->event, AL_A_PABORT_IND);
  EXPECT_EQ(sao->sacfState, SACF_IDLE);
}

TEST_F(Sacf, SecondInitialisationIsRefusedAndTermMirrorsIt) {
  EXPECT_EQ(rda_sacfStart(), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_SACF_ERR_NOT_INITIALIZED);
  EXPECT_EQ(rda_saoInit(), 1);
  EXPECT_EQ(rda_sacfStart(), 1);
  EXPECT_EQ(rda_saoInit(), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_SACF_ERR_INITIALIZED_ALREADY);
  EXPECT_EQ(rda_saoTerm(), 1);
  EXPECT_EQ(rda_saoTerm(), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), RDA_SACF_ERR_NOT_INITIALIZED);
}

}  // namespace
