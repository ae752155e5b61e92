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
  EXPECT_EQ(arrive(SI_EX_IND, hex("02 01 06")), 1);
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
