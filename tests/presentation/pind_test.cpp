// Indications and confirms to the presentation user: the contexts of their
// data, the results of a CPA or CPR by context, the refusal counters, the
// user session requirements.
#include "presentation/pmfixture.h"
#include "src/presentation/management.h"
#include "src/presentation/pind.h"

namespace {

using PresentationIndications = MachineTest;

TEST_F(PresentationIndications, SimplyEncodedDataCarriesTheOneContextExpeditedDataNone) {
  define(1, 1, acse_);
  pm_->state = STAt0;
  EXPECT_EQ(arrive(SI_DT_IND, hex("02 01 05")), 1);
  EXPECT_EQ(pm_->expedited, 0u);
  EXPECT_EQ(arrive(SI_EX_IND, hex("02 01 06")), 1);
  EXPECT_EQ(pm_->expedited, 1u) << "the machine notes that expedited data came";
  ASSERT_EQ(gSeenInd.size(), 2u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_DT_IND});
  EXPECT_EQ(gSeenInd[0].contexts, std::vector<int32_t>{1});
  EXPECT_EQ(gSeenInd[0].values, std::vector<int32_t>{5});
  EXPECT_EQ(gSeenInd[1].event, uint32_t{P_EX_IND});
  EXPECT_EQ(gSeenInd[1].contexts, std::vector<int32_t>{-1});
  EXPECT_EQ(gSeenInd[1].values, std::vector<int32_t>{6});
}

// The results of a CPA land at the contexts the connection proposed, in
// slot order, whatever their identifiers.
TEST_F(PresentationIndications, TheResultsOfACpaLandAtTheProposedContexts) {
  const int32_t third = intSyntax(4);
  const Bytes accept = hex("30 07 80 01 00 81 02 51 01");
  const Bytes reject = hex("30 03 80 01 01");
  struct Case {
    const char* what;
    std::vector<int32_t> slots;
    Bytes results;  // contents of the [5] list
    std::vector<std::pair<int32_t, int32_t>> expected;  // slot, result
  };
  const Case cases[] = {
      {"contexts 1, 3 and 5", {1, 3, 5}, accept + reject + accept, {{1, 0}, {3, 1}, {5, 0}}},
      {"contexts 1 and 5", {1, 5}, accept + reject, {{1, 0}, {3, 0}, {5, 1}}},
  };
  for (const Case& c : cases) {
    gSeenInd.clear();
    pm_dealloc(pm_);
    Pmachine* pm = pm_alloc(nullptr, sess_.connection(), user_, 0);
    int32_t defs[kPsMaxContexts];
    for (int32_t& d : defs) d = -1;
    const int32_t syntaxes[] = {acse_, rda_, third};
    for (size_t i = 0; i < c.slots.size(); ++i) defs[c.slots[i]] = syntaxes[i];
    ASSERT_EQ(store_pcdl_pcdt(defs, pm), 1);
    pm->state = STAI1;
    pm_ = pm;
    const Bytes list = Bytes{0xA5, static_cast<uint8_t>(c.results.size())} + c.results;
    const Bytes normal = Bytes{0xA2, static_cast<uint8_t>(list.size())} + list;
    const Bytes mode = hex("A0 03 80 01 01");
    const Bytes cpa = Bytes{0x31, static_cast<uint8_t>(mode.size() + normal.size())} + mode + normal;
    EXPECT_EQ(arrive(SI_CON_CNF, cpa), 1) << c.what;
    ASSERT_EQ(gSeenInd.size(), 1u) << c.what;
    EXPECT_EQ(gSeenInd[0].event, uint32_t{P_CON_CNF}) << c.what;
    for (const auto& [slot, result] : c.expected) EXPECT_EQ(gSeenInd[0].results[slot], result) << c.what << slot;
    EXPECT_EQ(pm_->state, STAt0);
  }
}

// The results of a CPR land at the proposed contexts as a CPA's do. A list
// longer than the proposals (here as many results as the decoder takes)
// is refused while it is read: the connection ends with an ARP and a local
// abort, and no result is placed.
TEST_F(PresentationIndications, RefusalResultsLandAtTheProposedContextsAndLongerListsAreRefused) {
  auto results = [](int n, const char* each) {
    Bytes r;
    for (int i = 0; i < n; ++i) r = r + hex(each);
    return hex("A5 81") + Bytes{static_cast<uint8_t>(r.size())} + r;
  };
  const Bytes accept = hex("30 07 80 01 00 81 02 51 01");
  const Bytes reject = hex("30 03 80 01 01");
  const Bytes two = hex("A5 0E") + accept + reject;
  const Bytes many = results(32, "30 03 80 01 01");
  const Bytes mode = hex("A0 03 80 01 01");
  const Bytes normal = hex("A2 81") + Bytes{static_cast<uint8_t>(many.size())} + many;
  struct Case {
    const char* what;
    uint32_t sessionEvent;
    Bytes ppdu;
    uint32_t event;
    std::vector<std::pair<int32_t, int32_t>> expected;  // slot, result
  };
  const Case cases[] = {
      {"CPR, contexts 1 and 5", SI_CON_REF, hex("30 10") + two, P_CON_REF, {{1, 0}, {3, 0}, {5, 1}}},
      {"CPA of 32 results", SI_CON_CNF,
       hex("31 81") + Bytes{static_cast<uint8_t>(mode.size() + normal.size())} + mode + normal, P_RAB_IND, {}},
      {"CPR of 32 results", SI_CON_REF, hex("30 81") + Bytes{static_cast<uint8_t>(many.size())} + many, P_RAB_IND,
       {}},
  };
  for (const Case& c : cases) {
    gSeenInd.clear();
    sess_.requests.clear();
    if (live(pm_)) pm_dealloc(pm_);
    pm_ = pm_alloc(nullptr, sess_.connection(), user_, 0);
    int32_t defs[kPsMaxContexts];
    for (int32_t& d : defs) d = -1;
    defs[1] = acse_;
    defs[5] = rda_;
    ASSERT_EQ(store_pcdl_pcdt(defs, pm_), 1);
    pm_->state = STAI1;
    arrive(c.sessionEvent, c.ppdu);
    ASSERT_EQ(gSeenInd.size(), 1u) << c.what;
    EXPECT_EQ(gSeenInd[0].event, c.event) << c.what << " error " << gSeenInd[0].userError;
    for (int32_t slot = 0; slot < kPiduCtxCount; ++slot) {
      int32_t want = 0;
      for (const auto& [at, result] : c.expected)
        if (at == slot) want = result;
      EXPECT_EQ(gSeenInd[0].results[slot], want) << c.what << " slot " << slot;
    }
    if (c.event == P_RAB_IND) {
      EXPECT_EQ(sentHex(0), "30 03 80 01 00") << c.what << ": ARP, reason not specified";
    }
    EXPECT_FALSE(live()) << c.what;
  }
}

TEST_F(PresentationIndications, RefusalsAreCountedByTheGroupOfTheirReason) {
  struct Case {
    const char* cpr;
    int32_t reason;
    PsCounter* counter;
  };
  const Case cases[] = {
      {"30 03 8A 01 07", 7, &cprRcvTransGrp},
      {"30 03 8A 01 01", 1, &cprRcvTransGrp},
      {"30 00", -1, &cprRcvNoReason},
      {"30 03 8A 01 03", 3, &cprRcvPermGrp},
  };
  for (const Case& c : cases) {
    gSeenInd.clear();
    if (live(pm_)) pm_dealloc(pm_);
    Pmachine* pm = pm_alloc(nullptr, sess_.connection(), user_, 0);
    pm->state = STAI1;
    pm_ = pm;
    const uint32_t trans = cprRcvTransGrp.count, perm = cprRcvPermGrp.count, none = cprRcvNoReason.count;
    EXPECT_EQ(arrive(SI_CON_REF, hex(c.cpr)), 1) << c.cpr;
    ASSERT_EQ(gSeenInd.size(), 1u) << c.cpr;
    EXPECT_EQ(gSeenInd[0].event, uint32_t{P_CON_REF});
    EXPECT_EQ(gSeenInd[0].reason, c.reason);
    EXPECT_EQ(cprRcvTransGrp.count - trans + cprRcvPermGrp.count - perm + cprRcvNoReason.count - none, 1u);
    EXPECT_EQ(c.counter->count, (c.counter == &cprRcvTransGrp ? trans : c.counter == &cprRcvPermGrp ? perm : none) + 1)
        << c.cpr;
    EXPECT_FALSE(live(pm));
  }
}

TEST_F(PresentationIndications, UserSessionRequirementsMapToTheSessionWord) {
  // First octet in the low byte; string bit 0 is its 0x80.
  EXPECT_EQ(cnvtUsrSesReq(0x0080), SR_HALFDUPLEX);
  EXPECT_EQ(cnvtUsrSesReq(0x0040), SR_DUPLEX);
  EXPECT_EQ(cnvtUsrSesReq(0x0001 | 0x8000), SR_NEGOTIATED_RELEASE | SR_CAPABILITY);
  EXPECT_EQ(cnvtUsrSesReq(0x2000), SR_TYPEDDATA);
  QvSetOsiError(0);
  EXPECT_EQ(cnvtUsrSesReq(0x1000 | 0x0040), 0u) << "string bit 11";
  EXPECT_EQ(QvGetOsiError(), static_cast<int32_t>(PE_USER_SESS_INV));
}

}  // namespace
