// SACF route stepping and the hand-over of GIDUs to the service element of
// their presentation context.
#include "acse/sao_fixture.h"
#include "common/timer2.h"
#include "src/acse/al_trace.h"
#include "support/trace_capture.h"

namespace {

class Sacf : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    makeSao();
  }
  // Starts a fresh association (the reserved quick aborts are spent once).
  void renew() {
    for (GIDU* g : kept) al_deleteGidu(g);
    kept.clear();
    seen.clear();
    AL_deleteSaoCB(sao);
    sao = nullptr;
    makeSao();
  }
  // A route step that notes its index and passes the GIDU on.
  static void step(GIDU* g) {
    note("step", g);
    AL_sacfRoute(g, AL_SACF_NEXT);
  }
  static void acseRcv(GIDU* g, PctxEntry*, void*, SaoCB*) { keep("acseRcv", g); }
  static void rdaRcv(GIDU* g, PctxEntry*, void*, SaoCB*) { keep("rdaRcv", g); }
  static void rdaSnd(GIDU* g, PctxEntry* tbl, void* block, SaoCB* s) {
    keep("rdaSnd", g);
    static_cast<Sacf*>(self)->args = {tbl, block, s};
  }
  // An undecoded presentation primitive of event `pev`.
  GIDU* undecoded(uint32_t pev) {
    GIDU* g = presGidu(pev);
    AL_createAeHDR(g);
    g->iduType = AL_IDU_PRES_RCV;
    return g;
  }
  struct {
    PctxEntry* tbl;
    void* block;
    SaoCB* sao;
  } args{};
};

TEST_F(Sacf, RouteSettingsAndTheirErrors) {
  struct Case {
    int32_t from;
    int32_t how;
    int32_t to;
  };
  const Case cases[] = {{5, 0, 0}, {5, 1, 1}, {3, 2, 6}, {6, 2, 3}, {5, 3, 0}, {2, 3, 3}, {7, 4, 5}};
  for (const Case& c : cases) {
    sao->routeIdx = c.from;
    EXPECT_EQ(AL_sacfRouteSet(sao, c.how), 1);
    EXPECT_EQ(sao->routeIdx, c.to) << "from " << c.from << " how " << c.how;
  }
  for (int32_t from = 0; from <= 7; ++from) {
    sao->routeIdx = from;
    AL_sacfRouteSet(sao, AL_SACF_REVERSE);
    AL_sacfRouteSet(sao, AL_SACF_REVERSE);
    EXPECT_EQ(sao->routeIdx, from) << "reversing twice is no change";
  }
  sao->routeIdx = 5;
  QvSetOsiError(0);
  EXPECT_EQ(AL_sacfRouteSet(sao, 5), 0);
  EXPECT_EQ(QvGetOsiError(), 53016);
  EXPECT_EQ(sao->routeIdx, 5);
}

TEST_F(Sacf, SendPassVisitsTheOddEntriesAndEndsAtItsStart) {
  route[1] = route[3] = route[5] = step;
  AL_sacfRouteSet(sao, AL_SACF_SND_START);
  AL_sacfRoute(apduGidu(AL_IDU_RDA, 0x8008, 3), AL_SACF_NEXT);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"step", "step", "step", "presentation"}));
  EXPECT_EQ(seen[0].routeIdx, 3);
  EXPECT_EQ(seen[1].routeIdx, 5);
  EXPECT_EQ(seen[2].routeIdx, 7);
  EXPECT_EQ(seen[3].routeIdx, 9) << "the presentation exit runs with the index beyond the table";
  EXPECT_EQ(sao->routeIdx, 1);
}

TEST_F(Sacf, ReversedGiduContinuesBeyondTheTwinOfTheRunningHandler) {
  struct Case {
    int32_t running;  // the handler's index
    int32_t continuesAt;
  };
  for (const Case c : {Case{5, 2}, Case{0, 7}, Case{3, 4}}) {
    GIDU* g = localEvent(AL_USTOP_IND);
    sao->routeIdx = c.running + 2;
    AL_sacfRoute(g, AL_SACF_QUEUE_REVERSED);
    EXPECT_EQ(sao->routeIdx, c.running + 2) << "the running pass keeps its index";
    EXPECT_EQ(g->uc, reinterpret_cast<void*>(static_cast<intptr_t>(c.continuesAt)));
    sao->routeIdx = 99;
    EXPECT_EQ(AL_sacfRouteDQ(sao), g);
    EXPECT_EQ(sao->routeIdx, c.continuesAt) << "from " << c.running;
    EXPECT_EQ(g->uc, sao);
    EXPECT_EQ(g->next, g);
    al_deleteGidu(g);
  }
}

TEST_F(Sacf, QueueKeepsOrderAndAnEmptyQueueLeavesTheIndex) {
  GIDU* a = localEvent(AL_PSTOP_REQ);
  GIDU* b = localEvent(AL_PSTART_REQ);
  sao->routeIdx = 4;
  AL_sacfRouteQ(a);
  sao->routeIdx = 1;
  AL_sacfRouteQ(b);
  EXPECT_EQ(AL_sacfRouteDQ(sao), a);
  EXPECT_EQ(sao->routeIdx, 4);
  EXPECT_EQ(AL_sacfRouteDQ(sao), b);
  EXPECT_EQ(sao->routeIdx, 1);
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_TRIVIA}});
  EXPECT_EQ(AL_sacfRouteDQ(sao), nullptr);
  EXPECT_EQ(sao->routeIdx, 1);
  EXPECT_TRUE(trace.contains("SACF event queue is empty"));
  al_deleteGidu(a);
  al_deleteGidu(b);
}

TEST_F(Sacf, GiduThatMeetsNoHandlerIsDroppedWithATrace) {
  route[1] = nullptr;
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  for (int32_t at : {1, 9, -1}) {
    sao->routeIdx = at;
    AL_sacfRoute(apduGidu(AL_IDU_RDA, 0x8008, 3), AL_SACF_NEXT);
    EXPECT_EQ(sao->routeIdx, at);
    EXPECT_TRUE(trace.contains("*** AL_sacfRoute: no handler at route index " + std::to_string(at))) << at;
  }
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(seen.empty());
}

TEST_F(Sacf, SendEntryCallsTheElementOfTheHeadersContext) {
  asx[1].send = rdaSnd;
  sao->pctxTbl[3].aseBlock = saofix::ref(0x77);
  GIDU* g = apduGidu(AL_IDU_RDA, 0x8008, 3);
  AL_sacfAseSnd(g);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"rdaSnd"}));
  EXPECT_EQ(args.tbl, sao->pctxTbl);
  EXPECT_EQ(args.block, saofix::ref(0x77));
  EXPECT_EQ(args.sao, sao);
  EXPECT_EQ(sao->curAseBlock, saofix::ref(0x77));

  // Local events and undecoded primitives go on through the SACF.
  AL_sacfAseSnd(localEvent(AL_PSTOP_REQ));
  AL_sacfAseSnd(undecoded(22));
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"rdaSnd", "sacfSnd", "sacfSnd"}));
}

TEST_F(Sacf, ReceiveEntryPicksTheElementOfUndecodedPrimitivesByTheirEvent) {
  asx[0].receive = acseRcv;
  asx[1].receive = rdaRcv;
  struct Case {
    const char* what;
    std::function<GIDU*()> make;
    const char* who;
  };
  const Case cases[] = {
      {"decoded APDU of context 1", [&] { return apduGidu(AL_IDU_ACSE, 0x8048, 1); }, "acseRcv"},
      {"decoded APDU of context 3", [&] { return apduGidu(AL_IDU_RDA, 0x8008, 3); }, "rdaRcv"},
      {"refused connection", [&] { return undecoded(91); }, "acseRcv"},
      {"provider abort", [&] { return undecoded(98); }, "acseRcv"},
      {"token given with data of context 3",
       [&] {
         GIDU* g = undecoded(96);
         addData(g, 3, saofix::ref(0x5));
         return g;
       },
       "rdaRcv"},
      {"token given without data", [&] { return undecoded(96); }, "sacfRcv"},
      {"token given with an empty element",
       [&] {
         GIDU* g = undecoded(96);
         addData(g, 3, nullptr);
         return g;
       },
       "sacfRcv"},
      {"flow control bypasses the elements", [&] { return undecoded(94); }, "sacfRcv"},
      {"data indication bypasses the elements", [&] { return undecoded(92); }, "sacfRcv"},
      {"local event", [&] { return localEvent(AL_USTART_IND); }, "sacfRcv"},
  };
  for (const Case& c : cases) {
    seen.clear();
    AL_sacfAseRcv(c.make());
    EXPECT_EQ(whoSaw(), (std::vector<std::string>{c.who})) << c.what;
  }
}

TEST_F(Sacf, ContextOfNoElementAbortsTheAssociation) {
  struct Case {
    const char* what;
    std::function<GIDU*()> make;
    bool send;
  };
  const Case cases[] = {
      {"context 0", [&] { return apduGidu(AL_IDU_RDA, 0x8008, 0); }, false},
      {"even context", [&] { return apduGidu(AL_IDU_RDA, 0x8008, 2); }, false},
      {"unused odd context", [&] { return apduGidu(AL_IDU_RDA, 0x8008, 5); }, false},
      {"context beyond 31", [&] { return apduGidu(AL_IDU_RDA, 0x8008, 33); }, false},
      {"token given for context -1",
       [&] {
         GIDU* g = undecoded(96);
         addData(g, -1, saofix::ref(0x5));
         return g;
       },
       false},
      {"token given for an unused context",
       [&] {
         GIDU* g = undecoded(96);
         addData(g, 7, saofix::ref(0x5));
         return g;
       },
       false},
      {"element without a receive entry",
       [&] {
         asx[1].receive = nullptr;
         return apduGidu(AL_IDU_RDA, 0x8008, 3);
       },
       false},
      {"send of an unused context", [&] { return apduGidu(AL_IDU_RDA, 0x8000, 9); }, true},
  };
  for (const Case& c : cases) {
    renew();
    const long before = xmLive();
    GIDU* g = c.make();
    if (c.send) AL_sacfAseSnd(g);
    else AL_sacfAseRcv(g);
    EXPECT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"})) << c.what;
    for (const saofix::Seen& s : seen) {
      EXPECT_EQ(s.event, AL_QABORT) << c.what;
      EXPECT_EQ(s.errNo, 52618u) << c.what;
    }
    EXPECT_EQ(sao->saoFlags & SAO_DELETE_PENDING, SAO_DELETE_PENDING) << c.what;
    EXPECT_EQ(xmLive(), before) << c.what << ": the GIDU is gone; the reserved pair was handed on";
    asx[1].receive = aseRcv;
  }
}

}  // namespace
