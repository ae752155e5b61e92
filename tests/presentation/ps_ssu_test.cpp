// Session indications and confirms reaching the presentation layer:
// segments reassembled, data confirms swallowed, refusals of the session
// layer, unreadable and unexpected PPDUs, events for nobody.
#include "presentation/pmfixture.h"
#include "src/presentation/pind.h"
#include "src/presentation/ps_trace.h"
#include "src/session/session.h"
#include "support/counting_alloc.h"
#include "support/trace_capture.h"

namespace {

class PresentationReceive : public MachineTest {
 protected:
  // One segment of S-DATA: `end` says whether it closes the unit.
  int32_t segment(const Bytes& octets, bool end) {
    SIDU x{};
    x.event = SI_DT_IND;
    x.credit = 1;
    x.userData = chainOf(octets, 0);
    x.userData->endFlag = end ? 1 : 0;
    return ps_ssu(pm_->s, &x);
  }
};

// TD on contexts 1 and 3: one PDV-list of context 3 holding INTEGER 1.
const Bytes kTd = hex("61 0A 30 08 02 01 03 A0 03 02 01 01");

TEST_F(PresentationReceive, ThreeSegmentsMakeOneDataIndicationAfterTheLast) {
  connected();
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(segment(slice(kTd, 0, 4), false), 1);
  EXPECT_EQ(segment(slice(kTd, 4, 4), false), 1);
  EXPECT_TRUE(gSeenInd.empty());
  // Each held segment asks the session layer for the next one.
  ASSERT_EQ(sess_.events(), (std::vector<uint32_t>{33, 33}));
  EXPECT_EQ(sess_.requests[0].sidu.credit, 1);
  EXPECT_EQ(sess_.requests[1].sidu.credit, 1);
  EXPECT_EQ(segment(slice(kTd, 8, 4), true), 1);
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_DT_IND});
  EXPECT_EQ(gSeenInd[0].contexts, std::vector<int32_t>{3});
  EXPECT_EQ(gSeenInd[0].values, std::vector<int32_t>{1});
  EXPECT_EQ(sess_.requests.size(), 2u);
  EXPECT_EQ(pm_->heldChain, nullptr);
  EXPECT_EQ(QvGetSbCount(), before) << "the segments went back to the pool";
}

TEST_F(PresentationReceive, AUnitBeyondTheLimitEndsTheConnection) {
  connected();
  EXPECT_EQ(segment(slice(kTd, 0, 4), false), 1);
  // As if almost the whole limit had come already.
  pm_->heldLength = kPsMaxSsdu - 4;
  segment(slice(kTd, 4, 8), true);
  ASSERT_EQ(sess_.events(), (std::vector<uint32_t>{33, 31}));
  EXPECT_EQ(sentHex(1), "30 03 80 01 00") << "ARP, reason not specified";
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_RAB_IND});
  EXPECT_EQ(gSeenInd[0].userError, PE_DATA_MAX);
  EXPECT_EQ(gSeenInd[0].failedInd, uint32_t{P_DT_IND});
  EXPECT_FALSE(live());
}

TEST_F(PresentationReceive, DataConfirmsOfPiecesAreSwallowed) {
  connected();
  pm_->cnfSuppress = 2;
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(arrive(SI_DT_CNF, hex("01 02 03")), 1);
  EXPECT_EQ(pm_->cnfSuppress, 1u);
  EXPECT_TRUE(gSeenInd.empty());
  EXPECT_EQ(QvGetSbCount(), before);
  pm_->cnfSuppress = 0;
  EXPECT_EQ(arrive(SI_DT_CNF, hex("01 02 03")), 1);
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_DT_CNF});
  EXPECT_EQ(QvGetSbCount(), before);
}

TEST_F(PresentationReceive, ASessionRefusalWithoutUserDataIsANegativeConfirm) {
  pm_->state = STAI1;
  EXPECT_EQ(arrive(SI_CON_REF, {}, 1, 0, 2), 1);
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_CON_REF});
  EXPECT_EQ(gSeenInd[0].reason, 2);
  EXPECT_TRUE(gSeenInd[0].contexts.empty());
  EXPECT_FALSE(live());
  EXPECT_TRUE(sess_.requests.empty());
}

TEST_F(PresentationReceive, AlterContextInTypedDataAbortsTheConnection) {
  connected();
  EXPECT_EQ(arrive(SI_TD_IND, hex("A0 00")), 1);  // an empty AC-PPDU
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31});
  EXPECT_EQ(sentHex(0), "30 06 80 01 02 81 01 05");
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_PAB_IND});
  EXPECT_FALSE(live());
}

TEST_F(PresentationReceive, AnUnreadablePpduEndsTheConnectionWithALocalAbort) {
  connected();
  EXPECT_EQ(arrive(SI_REL_IND, hex("61 03 30 01")), 1);  // cut short
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31});
  EXPECT_EQ(sentHex(0), "30 03 80 01 00");
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].event, uint32_t{P_RAB_IND});
  EXPECT_EQ(gSeenInd[0].failedInd, uint32_t{P_REL_IND});
  EXPECT_NE(gSeenInd[0].userError, 0u);
  EXPECT_FALSE(live());
}

TEST_F(PresentationReceive, AnUnknownSessionEventEndsTheConnectionWithQuickAborts) {
  connected();
  pm_->connRef = 4;
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(arrive(123, hex("01")), 0);
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31});
  EXPECT_TRUE(sess_.requests[0].data.empty());
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].giduEvent, uint32_t{AL_QABORT});
  EXPECT_EQ(gSeenInd[0].pc, static_cast<void*>(pm_));
  EXPECT_FALSE(live());
  EXPECT_EQ(QvGetSbCount(), before);
}

// With no memory left a received unit cannot be taken up: the connection
// ends with an S-U-ABORT and the quick-abort indication the machine
// reserved when it was made.
TEST_F(PresentationReceive, WithoutMemoryAReceivedUnitEndsTheConnectionWithTheReservedQuickAbort) {
  connected();
  pm_->connRef = 4;
  const uint32_t before = QvGetSbCount();
  SIDU x{};
  x.event = SI_DT_IND;
  x.credit = 1;
  x.userData = chainOf(kTd, 0);
  xm_setDefaultAlloc(countingAlloc, countingFree);
  allocFailAfter = 0;
  const int32_t r = ps_ssu(pm_->s, &x);
  allocFailAfter = -1;
  xm_setDefaultAlloc(XM_malloc, XM_free);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(sess_.events(), std::vector<uint32_t>{31});
  EXPECT_TRUE(sess_.requests[0].data.empty());
  ASSERT_EQ(gSeenInd.size(), 1u);
  EXPECT_EQ(gSeenInd[0].giduEvent, uint32_t{AL_QABORT});
  EXPECT_EQ(gSeenInd[0].pc, static_cast<void*>(pm_));
  EXPECT_FALSE(live());
  EXPECT_EQ(QvGetSbCount(), before);
}

TEST_F(PresentationReceive, EventsForAConnectionWithoutMachineAreDroppedWithTheirData) {
  TraceCapture trace({{&ps_TM_handle, "PS : ", 0xFFFF}});
  alignas(Smachine) unsigned char nobody[sizeof(Smachine)] = {};
  const uint32_t before = QvGetSbCount();
  for (uint32_t event : {uint32_t{SI_REL_IND}, uint32_t{SI_DT_IND}, uint32_t{SI_DT_CNF}, uint32_t{SI_PAB_IND}}) {
    SIDU x{};
    x.event = event;
    x.userData = chainOf(hex("61 00"), 0);
    EXPECT_EQ(ps_ssu(reinterpret_cast<Smachine*>(nobody), &x), 0) << event;
  }
  EXPECT_EQ(QvGetSbCount(), before) << "no buffer kept";
  EXPECT_TRUE(gSeenInd.empty());
  EXPECT_TRUE(sess_.requests.empty());
  EXPECT_EQ(trace.count("Supressed extraneous event = 0x6f"), 1u);
  EXPECT_EQ(trace.count("Supressed extraneous event = 0x68"), 1u);
  EXPECT_EQ(trace.count("Supressed extraneous event"), 2u) << "confirms and provider aborts go silently";
}

// The pre-encoded values an indication carries lie in the received buffers:
// the user frees their chain, once however many values share it. The values
// are those of the context whose identifier is 5 (elements name the
// context's index in the connection's table).
std::vector<uint32_t> gPreEncodedEvents;
int32_t takePreEncoded(GIDU* g) {
  if (const auto* p = static_cast<const PIDU*>(g->idu); p != nullptr && g->event != AL_QABORT) {
    const auto* pm = static_cast<const Pmachine*>(g->pc);
    SessionBuffer* chain = nullptr;
    for (const DElemLink* l = p->dataList.next; l != &p->dataList; l = l->next) {
      const auto* e = static_cast<const DElem*>(l);
      const bool ofFive = e->pctxId >= 0 && e->pctxId < kPsMaxContexts && pm->pcdt[e->pctxId].ctxId == 5;
      if (ofFive && e->value != nullptr) chain = static_cast<SessionBuffer*>(e->value);
    }
    if (chain != nullptr) {
      gPreEncodedEvents.push_back(p->event);
      s_freeChain(chain);
    }
  }
  _xm_freeTree(xm_getParentOfItem(g));
  return 1;
}

// A token give whose user data holds an octet-aligned value of a
// pre-encoded syntax (context 5). Where it is out of place the connection
// ends and the buffers go back to the pool; where it is taken up the
// indication hands them to the user, who frees them (once: no double free
// under the sanitizer, and the pool count comes back exactly).
TEST_F(PresentationReceive, BuffersOfPreEncodedValuesReturnWhenNoIndicationCarriesThem) {
  const Bytes give = hex("61 0C 30 0A 02 01 05 81 05 01 02 03 FF FF");
  struct Case {
    const char* what;
    uint32_t state;
    bool callback;
    bool carried;
  };
  const Case cases[] = {
      {"unexpected before the connection is up", STAI0, true, false},
      {"taken up on a connection", STAt0, true, true},
      {"taken up by a user without callback", STAt0, false, false},
  };
  const OctStgV rda = sel("RDA");
  const uint32_t arcs[] = {1, 9, 7};
  const int32_t raw = p_asynreg(&rda, 3, arcs, nullptr, nullptr, 1);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(p_assoc(&rda, raw, ps_asn1_tsidx), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!live()) {
      pm_ = pm_alloc(nullptr, sess_.connection(), user_, 0);
      ASSERT_NE(pm_, nullptr);
      pm_->sessVersion = 2;
    }
    connected();
    define(5, 5, raw);
    pm_->state = c.state;
    gPreEncodedEvents.clear();
    user_->callback = c.callback ? takePreEncoded : nullptr;
    const uint32_t before = QvGetSbCount();
    for (size_t piece : {size_t{0}, size_t{3}}) {
      (void)arrive(SI_GT_IND, give, 1, piece);
      EXPECT_EQ(QvGetSbCount(), before) << "pieces of " << piece;
      if (!live()) break;
    }
    EXPECT_EQ(live(), c.state != STAI0);
    EXPECT_EQ(gPreEncodedEvents, c.carried ? (std::vector<uint32_t>{P_GT_IND, P_GT_IND}) : std::vector<uint32_t>{});
    EXPECT_EQ(p_keptChain, nullptr);
  }
}

// A connection that ends while a pre-encoded segment is handed to its user:
// the user's callback takes the value and quick-aborts (on the first
// segment of the unit, or on the next one, which comes through the
// pass-through), or the delivery itself fails for want of memory, at any
// allocation. Nothing of the machine is touched after it was freed (the
// sanitizer build reports any such read or write), and every buffer goes
// back to the pool.
int gAbortOnSegment = 0;  // the segment (1, 2) on whose indication the user aborts
int gSegmentsSeen = 0;
int32_t takeAndAbort(GIDU* g) {
  auto* pm = static_cast<Pmachine*>(g->pc);
  const bool data = g->event != AL_QABORT;
  // A later segment comes as it arrived, in one element without context.
  if (const auto* p = static_cast<const PIDU*>(g->idu); p != nullptr && data) {
    const auto* e = static_cast<const DElem*>(p->dataList.next);
    if (p->dataList.next != &p->dataList && e->pctxId == -1) {
      gPreEncodedEvents.push_back(p->event);
      s_freeChain(static_cast<SessionBuffer*>(e->value));
    }
  }
  (void)takePreEncoded(g);
  if (data && ++gSegmentsSeen == gAbortOnSegment) {
    GIDU* q = al_createGidu(nullptr, AL_IDU_PRES, AL_QABORT);
    q->pc = pm;
    EXPECT_EQ(psp(q), 1u);
  }
  return 1;
}

TEST_F(PresentationReceive, AConnectionEndedWhileAPreEncodedSegmentIsDeliveredLeavesNothingBehind) {
  const OctStgV rda = sel("RDA");
  const uint32_t arcs[] = {1, 9, 7};
  const int32_t raw = p_asynreg(&rda, 3, arcs, nullptr, nullptr, 1);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(p_assoc(&rda, raw, ps_asn1_tsidx), 1);
  const Bytes td = hex("61 0C 30 0A 02 01 05 81 05 01 02 03 FF FF");
  user_->callback = takeAndAbort;
  auto fresh = [&] {
    if (!live()) {
      pm_ = pm_alloc(nullptr, sess_.connection(), user_, 0);
      ASSERT_NE(pm_, nullptr);
      pm_->sessVersion = 2;
    }
    connected();
    define(5, 5, raw);
    gPreEncodedEvents.clear();
    gSegmentsSeen = 0;
    sess_.requests.clear();
  };
  for (int abortOn : {1, 2}) {
    SCOPED_TRACE(abortOn);
    fresh();
    gAbortOnSegment = abortOn;
    const uint32_t before = QvGetSbCount();
    (void)segment(slice(td, 0, 9), false);
    if (abortOn == 2) (void)segment(slice(td, 9, 5), true);
    EXPECT_EQ(gPreEncodedEvents, std::vector<uint32_t>(static_cast<size_t>(abortOn), P_DT_IND));
    EXPECT_FALSE(live());
    EXPECT_EQ(QvGetSbCount(), before);
    EXPECT_EQ(sess_.events(), std::vector<uint32_t>{31}) << "the S-U-ABORT of the quick abort, nothing more";
  }
  gAbortOnSegment = 0;
  for (int failIn : {1, 2}) {
    bool failed = true;
    for (long n = 0; failed && n < 200; ++n) {
      SCOPED_TRACE(std::to_string(failIn) + ": allocation " + std::to_string(n));
      fresh();
      const uint32_t before = QvGetSbCount();
      for (int seg = 1; seg <= 2 && live(); ++seg) {
        SIDU x{};
        x.event = SI_DT_IND;
        x.credit = 1;
        x.userData = chainOf(seg == 1 ? slice(td, 0, 9) : slice(td, 9, 5), 0);
        x.userData->endFlag = seg == 1 ? 0 : 1;
        if (seg == failIn) {
          xm_setDefaultAlloc(countingAlloc, countingFree);
          allocBudget = n;
        }
        (void)ps_ssu(pm_->s, &x);
        if (seg == failIn) {
          failed = allocBudget == -1;
          allocBudget = -1;
          xm_setDefaultAlloc(XM_malloc, XM_free);
        }
      }
      EXPECT_EQ(QvGetSbCount(), before);
    }
    EXPECT_FALSE(failed) << "an allocation failed at every step";
  }
}

// A CP whose user data holds an octet-aligned value of a pre-encoded syntax
// (context 5, defined by the CP itself): the P-CONNECT indication carries the
// value in the received buffers, which are the user's from then on. They
// used to go back to the pool before the indication was made, so the user
// was handed freed buffers (the sanitizer build reports the read).
TEST_F(PresentationReceive, AConnectIndicationHandsOverTheBuffersOfItsPreEncodedValues) {
  const OctStgV rda = sel("RDA");
  const uint32_t arcs[] = {1, 9, 7};
  const int32_t raw = p_asynreg(&rda, 3, arcs, nullptr, nullptr, 1);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(p_assoc(&rda, raw, ps_asn1_tsidx), 1);
  // Mode normal; called selector "RDA"; context 5 = {1 9 7} in BER {2 1 1};
  // user data: one PDV-list of context 5, octet-aligned 01 02 03 FF FF.
  const Bytes cp = hex("31 2B A0 03 80 01 01 A2 24 82 03 52 44 41"
                       " A4 0F 30 0D 02 01 05 06 02 31 07 30 04 06 02 51 01"
                       " 61 0C 30 0A 02 01 05 81 05 01 02 03 FF FF");
  user_->callback = takePreEncoded;
  gPreEncodedEvents.clear();
  alignas(Smachine) unsigned char other[sizeof(Smachine)] = {};
  const uint32_t before = QvGetSbCount();
  for (size_t piece : {size_t{0}, size_t{4}}) {
    SCOPED_TRACE(piece);
    SIDU x{};
    x.event = SI_CON_IND;
    x.version = 2;
    x.userData = chainOf(cp, piece);
    EXPECT_EQ(ps_ssu(reinterpret_cast<Smachine*>(other), &x), 1);
    EXPECT_EQ(p_keptChain, nullptr);
    EXPECT_EQ(QvGetSbCount(), before) << "the user freed the chain, once";
    if (Pmachine* pm = find_pm_sm(reinterpret_cast<Smachine*>(other))) pm_dealloc(pm);
  }
  EXPECT_EQ(gPreEncodedEvents, (std::vector<uint32_t>{P_CON_IND, P_CON_IND}));
}

}  // namespace
