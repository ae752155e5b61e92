// The presentation state table as data, its invalid cells, and the entry
// psp.
#include <cstdio>
#include <set>

#include "presentation/pmfixture.h"

namespace {

using PresentationFsm = MachineTest;

// The valid cells, written out from the protocol's table: event -> states.
std::set<uint32_t> validIn(uint32_t e) {
  const std::set<uint32_t> every = {0, 1, 2, 3, 4, 5, 6};
  switch (e) {
    case 14:
    case 50:
      return {STAI0};
    case 51:
    case 52:
    case 53:
      return {STAI1};
    case 15:
    case 16:
      return {STAI2};
    case 22:
      return {STAI1, STAI2, STAt0};
    case 60:
    case 61:
      return {1, 2, 3, 4, 5, 6};
    case 19:
    case 56:
    case 57:
    case 62:
    case 63:
      return every;
    case 0:
    case 1:
    case 35:
    case 36:
    case 74:
    case 75:
      return {};
    default:
      return {STAt0};
  }
}

TEST(PresentationTable, EveryCellNamesItsEventOrAnInvalidRoutine) {
  for (uint32_t e = 0; e < kPfsmEvents; ++e) {
    const std::set<uint32_t> valid = validIn(e);
    const uint8_t invalid = e == 1 || e >= 37 ? 1 : 0;
    for (uint32_t s = 0; s < kPStates; ++s) {
      const uint8_t cell = Ptable[e * kPStates + s];
      EXPECT_EQ(cell, valid.count(s) != 0 ? e : invalid) << "event " << e << " state " << states[s];
    }
  }
  EXPECT_EQ(Pproc[0], paINVALID);
  EXPECT_EQ(Pproc[1], psINVALID);
  EXPECT_EQ(Pproc[35], paINVALID);
  EXPECT_EQ(Pproc[36], paINVALID);
  EXPECT_EQ(Pproc[74], psINVALID);
  EXPECT_EQ(Pproc[75], psINVALID);
  EXPECT_STREQ(ptrname[74], "psAC");
  EXPECT_STREQ(ptrname[50], "psCP");
  EXPECT_STREQ(states[3], "STAt0");
}

TEST_F(PresentationFsm, AnEventBeyondTheTableIsRefusedWithoutAction) {
  connected();
  PIDU* p = newPidu(76);
  element(p, 3, &one_);
  EXPECT_EQ(run(p), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_EVENT_INV));
  EXPECT_TRUE(sess_.requests.empty());
  EXPECT_EQ(pm_->state, STAt0);
}

TEST_F(PresentationFsm, UserRequestsInTheWrongStateAreRefused) {
  // Alter context in every state; a user abort while idle.
  for (uint32_t s = 0; s < kPStates; ++s) {
    pm_->state = s;
    QvSetOsiError(0);
    EXPECT_EQ(run(newPidu(P_ALTCTX_REQ)), 0u) << states[s];
    EXPECT_EQ(err(), static_cast<int32_t>(PE_STATE_INV)) << states[s];
    EXPECT_EQ(pm_->state, s);
  }
  pm_->state = STAI0;
  EXPECT_EQ(run(newPidu(P_UAB_REQ)), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_STATE_INV));
  EXPECT_TRUE(sess_.requests.empty());
  EXPECT_TRUE(live());
}

TEST_F(PresentationFsm, AReceiveRequestIsAcceptedInEveryState) {
  for (uint32_t s = 0; s < kPStates; ++s) {
    pm_->state = s;
    PIDU* p = newPidu(P_RCV_REQ);
    p->credit = 2;
    EXPECT_EQ(run(p), 1u) << states[s];
  }
  ASSERT_EQ(sess_.requests.size(), kPStates);
  for (const auto& r : sess_.requests) {
    EXPECT_EQ(r.sidu.event, 33u);
    EXPECT_EQ(r.sidu.credit, 2);
    EXPECT_TRUE(r.data.empty());
  }
}

// A session-side event in the wrong state: an ARP with the reason and event
// identifier of the protocol's table, a P-P-ABORT indication, the machine
// released.
TEST_F(PresentationFsm, UnexpectedPpdusAndSessionPrimitivesAbortWithTheirReason) {
  struct Case {
    uint32_t event;
    uint32_t state;
    const char* arp;  // the ARP-PPDU's octets
    int32_t reason;
    uint32_t eventId;
  };
  const Case cases[] = {
      {PS_AC, STAt0, "30 06 80 01 02 81 01 05", 2, 5},
      {PS_ACA, STAt0, "30 06 80 01 02 81 01 06", 2, 6},
      {PS_SYN_CNF, STAI1, "30 06 80 01 03 81 01 14", 3, 20},
      {PS_CPA, STAt0, "30 06 80 01 02 81 01 01", 2, 1},
      {PS_REL_IND, STAI2, "30 06 80 01 03 81 01 0E", 3, 14},
      {PS_ACTE_CNF, STAI1, "30 06 80 01 03 81 01 20", 3, 32},
      {PS_CONREF, STAt0, "30 00", -1, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    gSeenInd.clear();
    sess_.requests.clear();
    Pmachine* pm = pm_alloc(nullptr, sess_.connection(), user_, 0);
    pm->state = c.state;
    pm->sessVersion = 2;
    PIDU* p = newPidu(c.event);
    EXPECT_EQ(p_fsm(pm, p), 1u) << c.event;
    ASSERT_EQ(sess_.requests.size(), 1u) << c.event;
    EXPECT_EQ(sess_.requests[0].sidu.event, 31u) << "S-U-ABORT";
    EXPECT_EQ(sentHex(0), c.arp) << c.event;
    ASSERT_EQ(gSeenInd.size(), 1u) << c.event;
    EXPECT_EQ(gSeenInd[0].event, uint32_t{P_PAB_IND});
    EXPECT_EQ(gSeenInd[0].reason, c.reason) << c.event;
    EXPECT_EQ(gSeenInd[0].eventId, c.eventId) << c.event;
    EXPECT_FALSE(live(pm)) << c.event;
  }
}

// The whole table of reasons (2 unexpected PPDU, 3 unexpected session
// primitive, -1 none) and event identifiers, row by row as the protocol
// gives it. Each event is run where its cell is invalid; the events valid
// in every state reach the routine directly.
TEST_F(PresentationFsm, EverySessionSideEventAbortsWithTheReasonAndEventIdOfItsRow) {
  struct Row {
    int32_t reason;
    std::vector<uint32_t> events;  // event identifiers from `first` on
    uint32_t first;
  };
  const Row rows[] = {
      {2, {PS_CP, PS_CPA, PS_CPR, PS_ARU, PS_ARP, PS_AC, PS_ACA, PS_TD, PS_TTD, PS_TE}, 0},
      {2, {PS_CD_IND, PS_CD_CNF, PS_RS, PS_RSA}, 10},
      {3, {PS_REL_IND, PS_REL_CNF}, 14},
      {3, {PS_REL_REF}, 15},
      {3, {PS_GT_IND, PS_PT_IND, PS_CG_IND, PS_SYN_IND, PS_SYN_CNF, PS_SYNM_IND, PS_SYNM_CNF, PS_PER_IND, PS_UER_IND},
       16},
      {3, {PS_ACTS_IND, PS_ACTR_IND, PS_ACTI_IND, PS_ACTI_CNF, PS_ACTD_IND, PS_ACTD_CNF, PS_ACTE_IND, PS_ACTE_CNF}, 25},
      {-1, {1, PS_CONREF, PS_TF, PS_FC, PS_SAB_IND, PS_RAB_IND}, 0},
  };
  size_t checked = 0;
  for (const Row& row : rows) {
    for (size_t i = 0; i < row.events.size(); ++i) {
      const uint32_t e = row.events[i];
      const uint32_t id = row.reason < 0 ? 0xFFFFFFFFu : row.first + static_cast<uint32_t>(i);
      gSeenInd.clear();
      sess_.requests.clear();
      Pmachine* pm = pm_alloc(nullptr, sess_.connection(), user_, 0);
      pm->sessVersion = 2;
      const std::set<uint32_t> valid = validIn(e);
      uint32_t state = STAt0;
      while (valid.count(state) != 0 && state > 0) --state;
      pm->state = state;
      PIDU* p = newPidu(e);
      if (valid.count(state) != 0) {
        EXPECT_EQ(psINVALID(pm, p, 1), 1u) << e;
      } else {
        EXPECT_EQ(p_fsm(pm, p), 1u) << e;
      }
      ++checked;
      ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31}) << e;
      char arp[32];
      if (row.reason < 0) std::snprintf(arp, sizeof arp, "30 00");
      else std::snprintf(arp, sizeof arp, "30 06 80 01 %02X 81 01 %02X", row.reason, id);
      EXPECT_EQ(sentHex(0), arp) << "event " << e << " in " << states[state];
      ASSERT_EQ(gSeenInd.size(), 1u) << e;
      EXPECT_EQ(gSeenInd[0].event, uint32_t{P_PAB_IND}) << e;
      EXPECT_EQ(gSeenInd[0].reason, row.reason) << e;
      EXPECT_EQ(gSeenInd[0].eventId, id) << e;
      EXPECT_FALSE(live(pm)) << e;
    }
  }
  EXPECT_EQ(checked, 40u) << "events 37 to 75 and 1";
}

TEST_F(PresentationFsm, AQuickAbortThroughPspEndsTheConnectionAndFreesTheGidu) {
  connected();
  GIDU* g = al_createGidu(nullptr, AL_IDU_PRES, AL_QABORT);
  g->pc = pm_;
  EXPECT_EQ(psp(g), 1u);
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31});
  EXPECT_TRUE(sess_.requests[0].data.empty());
  EXPECT_FALSE(live()) << "nothing more can happen on it";
}

TEST_F(PresentationFsm, PspRefusesWhatNamesNoConnection) {
  connected();
  pm_->connRef = 77;
  struct Case {
    const char* what;
    void* pc;
    uint32_t uc;
    uint32_t event;
    uint32_t error;
  };
  Pmachine outside{};
  const Case cases[] = {
      {"no reference at all", nullptr, 0, P_DT_REQ, PE_SEQUENCE},
      {"an unknown reference", nullptr, 78, P_DT_REQ, PE_APREF_NOT},
      {"a machine not in the list", &outside, 0, P_DT_REQ, PE_PCEP_INVALID},
      {"a session-side event", pm_, 0, PS_TD, PE_EVENT_INV},
      // A reference to a machine that has gone can meet another
      // connection's machine at the same address: the user's reference
      // for the connection tells them apart.
      {"the machine of another connection", pm_, 78, P_DT_REQ, PE_PCEP_INVALID},
  };
  for (const Case& c : cases) {
    GIDU* g = nullptr;
    PIDU* p = newPidu(c.event, &g);
    element(p, 3, &one_);
    g->pc = c.pc;
    g->uc = reinterpret_cast<void*>(static_cast<uintptr_t>(c.uc));
    EXPECT_EQ(psp(g), 0u) << c.what;
    EXPECT_EQ(err(), static_cast<int32_t>(c.error)) << c.what;
  }
  EXPECT_EQ(psp(nullptr), 0u);
  EXPECT_EQ(err(), static_cast<int32_t>(PE_MISS_PARM));
  GIDU* stale = al_createGidu(nullptr, AL_IDU_PRES, AL_QABORT);
  stale->pc = pm_;
  stale->uc = reinterpret_cast<void*>(uintptr_t{78});
  EXPECT_EQ(psp(stale), 0u) << "a quick abort for another connection";
  EXPECT_EQ(err(), static_cast<int32_t>(PE_PCEP_INVALID));
  EXPECT_TRUE(live());
  EXPECT_TRUE(sess_.requests.empty());

  // Found by the user's reference for the connection, the data goes.
  GIDU* g = nullptr;
  PIDU* p = newPidu(P_DT_REQ, &g);
  element(p, 3, &one_);
  g->uc = reinterpret_cast<void*>(uintptr_t{77});
  EXPECT_EQ(psp(g), 1u) << err();
  EXPECT_EQ(sess_.events(), std::vector<uint32_t>{15});
}

}  // namespace
