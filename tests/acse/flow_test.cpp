// SACF flow control: user stop and start, provider stop and start, credit
// and triggers, driven through the route table as the SACF passes drive it.
#include "acse/sao_fixture.h"
#include "src/acse/al_trace.h"
#include "src/presentation/pevents.h"
#include "support/trace_capture.h"

namespace {

class Flow : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    makeSao();
  }
  // Runs the GIDU from flow control's send entry (5), as a send pass does.
  void send(GIDU* g) {
    sao->routeIdx = 5;
    AL_sacfRoute(g, AL_SACF_NEXT);
    EXPECT_EQ(sao->routeIdx, 5);
  }
  void sendData(uint32_t trigger = 0) {
    GIDU* g = apduGidu(AL_IDU_RDA, 0x8088, 3);
    static_cast<AeHDR*>(g->idu)->hdrWord3 = trigger;
    send(g);
  }
  // Runs a received GIDU from flow control's receive entry (0), then what
  // the pass queued, as the receive pass does.
  void receive(GIDU* g) {
    sao->routeIdx = 0;
    AL_sacfRoute(g, AL_SACF_NEXT);
    EXPECT_EQ(sao->routeIdx, 0);
    drain();
  }
  void drain() {
    while (GIDU* q = AL_sacfRouteDQ(sao)) AL_sacfRoute(q, AL_SACF_NEXT);
  }
  // Ring of ASE GIDUs of context 3 for the next PPDU conversion.
  GIDU* aseRing(std::initializer_list<uint32_t> events) {
    GIDU* first = nullptr;
    for (uint32_t e : events) {
      GIDU* g = apduGidu(AL_IDU_RDA, e, 3);
      if (first == nullptr) first = g;
      else al_queueAppend(first, g);
    }
    return first;
  }
  const PIDU* piduSeen(size_t i) const { return static_cast<const PIDU*>(seen[i].gidu->idu); }
  std::vector<uint32_t> eventsOf(const std::string& who) const {
    std::vector<uint32_t> out;
    for (const saofix::Seen& s : seen)
      if (s.who == who) out.push_back(s.event);
    return out;
  }
  static void trigger(void* block) {
    Flow* f = static_cast<Flow*>(self);
    f->seen.push_back({"trigger", nullptr, 0, 0, f->sao->routeIdx, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block))});
  }
  static inline GIDU* prepared = nullptr;  // what preparedApdu yields
  static GIDU* preparedApdu(GIDU* g) {
    AL_deleteGiduWithAeHDR(g);
    GIDU* p = prepared;
    prepared = nullptr;
    return p;
  }
};

TEST_F(Flow, NinthUnconfirmedRequestGoesOutWithUserStopAndTheTenthWaits) {
  for (int i = 0; i < 10; ++i) sendData();
  EXPECT_EQ(count("cvrtApdu"), 10u);
  ASSERT_EQ(count("presentation"), 9u);
  EXPECT_EQ(sao->outstanding, 9);
  EXPECT_EQ(sao->uStopped, 1u);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(seen[2 * i + 1].who, "presentation");
    EXPECT_EQ(piduSeen(2 * i + 1)->event, 17u);
    EXPECT_EQ(piduSeen(2 * i + 1)->credit, i == 0 ? 5u : 0u) << "credit is granted up to 5 once";
  }
  EXPECT_EQ(al_ringCount(&sao->uStopQueue), 2u) << "the tenth waits behind the sentinel";
  // The stop goes up to the user once the pass ends: queued at the
  // receive chain's service element.
  GIDU* stop = AL_sacfRouteDQ(sao);
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->event, AL_USTOP_IND);
  EXPECT_EQ(stop->iduType, AL_IDU_NONE);
  EXPECT_EQ(sao->routeIdx, 2);
  EXPECT_EQ(AL_sacfRouteDQ(sao), nullptr);
  al_deleteGidu(stop);
}

TEST_F(Flow, EachConfirmWhileStoppedReleasesOneAndTheUserStartsWhenFewWait) {
  for (int i = 0; i < 11; ++i) sendData();
  drain();  // the user-stop indication reaches the user's side
  ASSERT_EQ(eventsOf("sacfRcv"), (std::vector<uint32_t>{AL_USTOP_IND}));
  seen.clear();

  receive(presGidu(93));
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"presentation"})) << "exactly one waiting request goes";
  EXPECT_EQ(seen[0].routeIdx, 9) << "sent from the bottom of the send chain";
  EXPECT_EQ(sao->outstanding, 9);
  receive(presGidu(93));
  EXPECT_EQ(count("presentation"), 2u);
  EXPECT_TRUE(al_queueEmpty(&sao->uStopQueue));
  for (int i = 0; i < 7; ++i) receive(presGidu(93));
  EXPECT_EQ(sao->outstanding, 2);
  EXPECT_EQ(sao->uStopped, 1u);
  EXPECT_TRUE(eventsOf("sacfRcv").empty());
  receive(presGidu(93));
  EXPECT_EQ(sao->outstanding, 1);
  EXPECT_EQ(sao->uStopped, 0u);
  EXPECT_EQ(eventsOf("sacfRcv"), (std::vector<uint32_t>{AL_USTART_IND})) << "up to the user";
  EXPECT_EQ(count("presentation"), 2u);
  EXPECT_EQ(count("cvrtPpdu"), 0u) << "confirms are not converted";
}

// An abort request is not held back while the user is stopped (a server
// that stops reading must not keep the client from ending the connection):
// it goes down at once, ahead of the data that waits, and is no data
// request to be confirmed.
TEST_F(Flow, AnAbortRequestPassesTheUserStop) {
  for (int i = 0; i < 10; ++i) sendData();
  ASSERT_EQ(sao->uStopped, 1u);
  ASSERT_EQ(count("presentation"), 9u);
  sao->cvrtApdu = preparedApdu;
  prepared = presGidu(P_UAB_REQ);
  send(apduGidu(AL_IDU_ACSE, AL_A_ABORT_REQ | AL_EV_APDU, 1));
  ASSERT_EQ(count("presentation"), 10u) << "the abort went down";
  EXPECT_EQ(static_cast<const PIDU*>(last("presentation")->gidu->idu)->event, uint32_t{P_UAB_REQ});
  EXPECT_EQ(sao->outstanding, 9);
  EXPECT_EQ(al_ringCount(&sao->uStopQueue), 2u) << "the waiting request stays where it was";
  drain();
}

// A P-DATA confirm that no request of this layer waits for (nothing is
// outstanding) leaves the count at 0: it cannot go negative and so let
// more requests out unconfirmed than the stop allows.
TEST_F(Flow, AConfirmWithNothingOutstandingLeavesTheCountAtZero) {
  receive(presGidu(93));
  EXPECT_EQ(sao->outstanding, 0);
  for (int i = 0; i < 9; ++i) sendData();
  EXPECT_EQ(sao->uStopped, 1u) << "the ninth unconfirmed request still stops the user";
  drain();
}

TEST_F(Flow, LowCreditAsksForMoreUnlessTheConnectionCloses) {
  struct Case {
    uint32_t pev;
    uint32_t credit;
    int32_t granted;  // -1 none asked for
  };
  const Case cases[] = {{92, 3, 2}, {92, 0, 5}, {92, 4, -1}, {98, 3, -1}, {103, 0, -1},
                        {87, 1, -1}, {91, 0, -1}, {101, 2, -1}, {96, 3, 2}};
  for (const Case& c : cases) {
    seen.clear();
    receive(presGidu(c.pev, c.credit));
    const saofix::Seen* down = last("presentation");
    if (c.granted < 0) {
      EXPECT_EQ(down, nullptr) << "event " << c.pev << " credit " << c.credit;
      EXPECT_EQ(sao->credit, static_cast<int32_t>(c.credit));
      continue;
    }
    ASSERT_NE(down, nullptr) << "event " << c.pev << " credit " << c.credit;
    EXPECT_EQ(down->event, AL_EV_PRIMITIVE);
    EXPECT_EQ(down->iduType, AL_IDU_PRES);
    EXPECT_EQ(static_cast<const PIDU*>(down->gidu->idu)->event, 19u) << "P-RECEIVE";
    EXPECT_EQ(static_cast<const PIDU*>(down->gidu->idu)->credit, static_cast<uint32_t>(c.granted));
    EXPECT_EQ(down->gidu->uc, sao);
    EXPECT_EQ(down->routeIdx, 9);
    EXPECT_EQ(sao->credit, 5);
  }
}

TEST_F(Flow, CreditOfFiveOrMoreGrantsNothing) {
  for (int32_t credit : {5, 7}) {
    seen.clear();
    sao->credit = credit;
    sendData();
    ASSERT_NE(last("presentation"), nullptr);
    EXPECT_EQ(static_cast<const PIDU*>(last("presentation")->gidu->idu)->credit, 0u);
    EXPECT_EQ(sao->credit, credit);
  }
}

TEST_F(Flow, FlowControlIndicationIsTracedAndDropped) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  receive(presGidu(94, 4));
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(trace.contains("*** AL_sacfFlowRcv(): P-FLOW-CONTROL rcv'd, credit=4"));
}

TEST_F(Flow, ReceivedApdusGoOnToTheirElementInOrder) {
  converted = aseRing({0x80D8, 0x80E8});
  receive(presGidu(92));
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"cvrtPpdu", "aseRcv", "aseRcv"}));
  EXPECT_EQ(eventsOf("aseRcv"), (std::vector<uint32_t>{0x80D8, 0x80E8}));
}

TEST_F(Flow, ProviderStopHoldsReceivedApdusAndStartReleasesThemInOrder) {
  send(localEvent(AL_PSTOP_REQ));
  EXPECT_EQ(sao->pStopped, 1u);
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  converted = aseRing({0x8018, 0x8028});
  receive(presGidu(92));
  for (uint32_t k = 0; k < 9; ++k) {
    converted = aseRing({0x8038 + 16 * k});
    receive(presGidu(92));
  }
  EXPECT_EQ(sao->pStopCount, 11);
  EXPECT_EQ(count("aseRcv"), 0u);
  EXPECT_EQ(trace.count("*** AL_sacfPstopRcv(): PROVIDER STOP Q overflow"), 1u) << "past 10, once";

  const long before = xmLive();
  send(localEvent(AL_PSTART_REQ));
  EXPECT_EQ(xmLive(), before) << "the start request is consumed";
  EXPECT_EQ(sao->pStopped, 0u);
  EXPECT_EQ(sao->pStopCount, 0);
  drain();
  std::vector<uint32_t> want{0x8018, 0x8028};
  for (uint32_t k = 0; k < 9; ++k) want.push_back(0x8038 + 16 * k);
  EXPECT_EQ(eventsOf("aseRcv"), want);
}

TEST_F(Flow, LocalErrorPassesOnUnchanged) {
  GIDU* err = localEvent(AL_LOCERR_IND);
  err->errNo = 52666;
  receive(err);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
  EXPECT_EQ(seen[0].gidu, err);
  EXPECT_EQ(seen[0].errNo, 52666u);
}

TEST_F(Flow, TriggerFiresOnceAtTheNextDataConfirmWithTheSendChainsIndex) {
  asx[1].trigger = trigger;
  sao->pctxTbl[3].aseBlock = saofix::ref(0x33);
  sendData(1);
  EXPECT_EQ(sao->triggerArmed, 1u);
  EXPECT_EQ(sao->pctxTbl[3].trigger, 1u);
  receive(presGidu(93));
  const saofix::Seen* fired = last("trigger");
  ASSERT_NE(fired, nullptr);
  EXPECT_EQ(fired->errNo, 0x33u) << "called with the element's block";
  EXPECT_EQ(fired->routeIdx, 3) << "the send chain's service element";
  EXPECT_EQ(sao->triggerArmed, 0u);
  EXPECT_EQ(sao->pctxTbl[3].trigger, 0u);
  receive(presGidu(93));
  EXPECT_EQ(count("trigger"), 1u);
}

TEST_F(Flow, WithoutMemoryTheStopAndTheCreditRequestEndTheAssociation) {
  // The ninth request still goes out; the stop cannot be made.
  sao->outstanding = 8;
  sao->cvrtApdu = preparedApdu;
  prepared = presGidu(17);
  GIDU* g = apduGidu(AL_IDU_RDA, 0x8088, 3);
  withoutMemoryAfter(0, [&] {
    send(g);
    return 0;
  });
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv", "presentation"}));
  EXPECT_EQ(eventsOf("sacfSnd"), (std::vector<uint32_t>{AL_QABORT}));
  EXPECT_EQ(last("sacfRcv")->errNo, 53009u);
  EXPECT_EQ(sao->uStopped, 1u);

  // A fresh association: the P-RECEIVE cannot be made.
  for (GIDU* k : kept) al_deleteGidu(k);
  kept.clear();
  seen.clear();
  AL_deleteSaoCB(sao);
  makeSao();
  GIDU* ind = presGidu(92, 1);
  withoutMemoryAfter(0, [&] {
    receive(ind);
    return 0;
  });
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv", "cvrtPpdu"}));
  EXPECT_EQ(last("sacfSnd")->errNo, 53009u);
}

}  // namespace
