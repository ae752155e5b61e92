#include <string>
#include <vector>

#include "presentation/pfixture.h"
#include "src/runtime/xm.h"

namespace {

// What the event hook was given, report by report.
struct Event {
  uint32_t attribute;
  const void* remote;
  const void* responding;
  int32_t reason;
  uint32_t mask;
  std::string psel, ssel, tsel, naddr;
  uint32_t naddrs;
};
std::vector<Event> events;

std::string text(const OctStgV& o) { return std::string(reinterpret_cast<const char*>(o.octets), o.length); }

void recordEvent(uint32_t attribute, const void* remote, UL_Paddress* report, const void* responding,
                 int32_t reason) {
  Event e{attribute, remote, responding, reason, report->mask, "", "", "", "", report->nAddrs.count};
  if ((report->mask & UL_PADDR_PSEL) != 0) e.psel = text(report->pSel);
  if ((report->mask & UL_PADDR_SSEL) != 0) e.ssel = text(report->sSel);
  if ((report->mask & UL_PADDR_TSEL) != 0) e.tsel = text(report->tSel);
  if (report->nAddrs.count == 1) e.naddr = text(reinterpret_cast<UL_NaddrEntry*>(report->nAddrs.links.next)->addr);
  events.push_back(e);
  _xm_freeTree(xm_getParentOfItem(report));  // the hook owns the report
}

class PresentationManagement : public PresentationTest {
 protected:
  void SetUp() override {
    PresentationTest::SetUp();
    events.clear();
    UL_NaddrEntry n{};
    n.addr = sel("NET");
    UL_Paddress local{};
    local.mask = kPsInitSsel | kPsInitTsel;
    local.sSel = sel("SS");
    local.tSel = sel("TSEL");
    local.nAddrs.links.next = local.nAddrs.links.prev = &n.links;
    n.links.next = n.links.prev = &local.nAddrs.links;
    local.nAddrs.count = 1;
    const uint8_t mfg[kPsInfoSize] = {'m', 'f', 'g'};
    ASSERT_EQ(init_presentation(&local, recordEvent, mfg, nullptr), 1);
  }
};

uint32_t attr(uint32_t a) {
  uint32_t v = 0xDEAD;
  EXPECT_EQ(p_get_attr(a, &v), 1) << a;
  return v;
}

TEST_F(PresentationManagement, WithoutThresholdCountingNeverReports) {
  for (int i = 0; i < 10; ++i) P_increment(&cprRcvPermGrp, nullptr, nullptr, nullptr, 3);
  EXPECT_EQ(attr(kAttrCprRcvPermGrp), 10u);
  EXPECT_EQ(attr(kAttrCprRcvPermGrp + 1), 0u);
  EXPECT_TRUE(events.empty());
}

TEST_F(PresentationManagement, ThresholdReportsEveryNthEventWithTheLocalAddress) {
  PsUser* u = activate("PSEL");
  const OctStgV psel = sel("PSEL");
  Pmachine* pm = pm_alloc(&psel, nullptr, u, 0);
  ASSERT_NE(pm, nullptr);
  ASSERT_EQ(p_set_attr(16392, 3), 1);
  const int remote = 0, responding = 0;
  for (int i = 1; i <= 10; ++i) P_increment(&cprSndPermGrp, pm, &remote, &responding, i);
  ASSERT_EQ(events.size(), 3u);
  const int32_t reasons[] = {3, 6, 9};
  for (size_t i = 0; i < 3; ++i) {
    const Event& e = events[i];
    EXPECT_EQ(e.attribute, 16392u);
    EXPECT_EQ(e.reason, reasons[i]);
    EXPECT_EQ(e.remote, &remote);
    EXPECT_EQ(e.responding, &responding);
    EXPECT_EQ(e.mask, UL_PADDR_PSEL | UL_PADDR_SSEL | UL_PADDR_TSEL);
    EXPECT_EQ(e.psel, "PSEL");
    EXPECT_EQ(e.ssel, "SS");
    EXPECT_EQ(e.tsel, "TSEL");
    EXPECT_EQ(e.naddrs, 1u);
    EXPECT_EQ(e.naddr, "NET");
  }
  EXPECT_EQ(attr(kAttrCprSndPermGrp), 10u);
  // Without a hook the report is dropped; a machine without selector
  // leaves it out.
  events.clear();
  psEvent = nullptr;
  for (int i = 0; i < 3; ++i) P_increment(&cprSndPermGrp, pm, nullptr, nullptr, 0);
  EXPECT_TRUE(events.empty());
  psEvent = recordEvent;
  Pmachine* anonymous = pm_alloc(nullptr, nullptr, u, 0);
  for (int i = 0; i < 3; ++i) P_increment(&cprSndPermGrp, anonymous, nullptr, nullptr, 0);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].mask, UL_PADDR_SSEL | UL_PADDR_TSEL);
  pm_dealloc(anonymous);
  pm_dealloc(pm);
}

TEST_F(PresentationManagement, OnlyThresholdsCanBeSet) {
  struct Case {
    uint32_t attribute;
    bool settable;
  };
  const Case cases[] = {{16385, false}, {16386, false}, {16387, false}, {16388, true},  {16389, false}, {16390, true},
                        {16391, false}, {16392, true},  {16393, false}, {16394, false}, {16395, true}};
  for (const Case& c : cases) {
    QvSetOsiError(0);
    EXPECT_EQ(p_set_attr(c.attribute, 4), c.settable ? 1 : 0) << c.attribute;
    EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), c.settable ? 0 : PE_NO_ATTR) << c.attribute;
    EXPECT_EQ(attr(c.attribute), c.settable ? 4u : 0u) << c.attribute;
  }
  uint32_t v = 0;
  for (uint32_t outside : {16384u, 16396u}) {
    EXPECT_EQ(p_get_attr(outside, &v), 0);
    EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_NO_ATTR);
    EXPECT_EQ(p_set_attr(outside, 1), 0);
  }
  EXPECT_EQ(p_get_attr(16385, nullptr), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_MISS_PARM);
  // Start-up clears the counters again.
  P_increment(&arpSndNoReason, nullptr, nullptr, nullptr, -1);
  EXPECT_EQ(init_presentation(nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(attr(16393), 0u);
  EXPECT_EQ(attr(16395), 0u);
  EXPECT_EQ(arpSndPrErrGrp.attribute, 16395u);
}

TEST_F(PresentationManagement, ProfileGivesTheStartUpBlocks) {
  uint32_t functions = 0xFF;
  uint8_t mfg[kPsInfoSize], opt[kPsInfoSize];
  std::memset(opt, 0xEE, sizeof opt);
  ASSERT_EQ(p_get_profile(&functions, mfg, opt), 1);
  EXPECT_EQ(functions, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mfg)), "mfg");
  EXPECT_EQ(std::vector<uint8_t>(opt, opt + kPsInfoSize), std::vector<uint8_t>(kPsInfoSize, 0));
  EXPECT_EQ(p_get_profile(&functions, mfg, nullptr), 0);
  EXPECT_EQ(static_cast<uint32_t>(QvGetOsiError()), PE_MISS_PARM);
}

}  // namespace
