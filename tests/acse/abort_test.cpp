// Orderly and quick aborts of an association, with and without memory, and
// the emptying of GIDU queues.
#include "acse/sao_fixture.h"
#include "src/acse/abort.h"
#include "src/acse/al_trace.h"
#include "support/trace_capture.h"

namespace {

using saofix::ref;

class Abort : public SaoTest {
 protected:
  void SetUp() override {
    SaoTest::SetUp();
    makeSao();
    cause = apduGidu(AL_IDU_RDA, 0x8008, 3);
    cause->ue = ref(0x1);
    cause->pe = ref(0x2);
    cause->pc = ref(0x4);
  }
  void TearDown() override {
    al_deleteGidu(cause);
    SaoTest::TearDown();
  }
  static const AcseApdu* apdu(const GIDU* g) {
    return static_cast<const AcseApdu*>(static_cast<const AeHDR*>(g->idu)->wrapped);
  }
  static const AeHDR* hdr(const GIDU* g) { return static_cast<const AeHDR*>(g->idu); }
  GIDU* cause = nullptr;
};

TEST_F(Abort, QuickAbortsSendTheReservedPairOnceWithTheCausesReferences) {
  AL_aeSendQuickAborts(sao, cause, sacfRcv, sacfSnd, 53009);
  EXPECT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"})) << "request first, then the indication";
  for (const saofix::Seen& s : seen) {
    EXPECT_EQ(s.event, AL_QABORT);
    EXPECT_EQ(s.errNo, 53009u);
    EXPECT_EQ(s.iduType, AL_IDU_RDA) << "the cause's type";
    EXPECT_EQ(s.gidu->ue, ref(0x1));
    EXPECT_EQ(s.gidu->pe, ref(0x2));
    EXPECT_EQ(s.gidu->uc, sao);
    EXPECT_EQ(s.gidu->pc, ref(0x4));
  }
  EXPECT_EQ(sao->saoFlags & SAO_DELETE_PENDING, SAO_DELETE_PENDING);
  EXPECT_EQ(sao->qabortReq, nullptr);
  EXPECT_EQ(sao->qabortInd, nullptr);

  sao->saoFlags = 0;
  AL_aeSendQuickAborts(sao, cause, sacfRcv, sacfSnd, 53009);
  EXPECT_EQ(seen.size(), 2u) << "each is sent once in the block's life";
  EXPECT_EQ(sao->saoFlags & SAO_DELETE_PENDING, SAO_DELETE_PENDING) << "but the block is marked again";
}

TEST_F(Abort, QuickAbortWithoutCauseKeepsTheReservedReferencesWithPcTheBlock) {
  AL_aeSendQuickAborts(sao, nullptr, sacfRcv, nullptr, 52618);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
  const GIDU* ind = seen[0].gidu;
  EXPECT_EQ(ind->uc, sao);
  EXPECT_EQ(ind->pc, sao);
  EXPECT_EQ(ind->ue, aei) << "as the creating GIDU had it";
  EXPECT_EQ(ind->iduType, AL_IDU_ACSE);
  EXPECT_EQ(ind->errNo, 52618u);
  EXPECT_NE(sao->qabortReq, nullptr) << "no provider routine: the request stays reserved";
}

TEST_F(Abort, OrderlyAbortsBuildAnAbortRequestAndAProviderAbortIndication) {
  AL_aeSendAAborts(sao, cause, sacfRcv, sacfSnd, 3);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"}));
  const GIDU* req = seen[0].gidu;
  EXPECT_EQ(req->event, AL_A_ABORT_REQ);
  EXPECT_EQ(req->iduType, AL_IDU_ACSE);
  EXPECT_EQ(req->ue, ref(0x1));
  EXPECT_EQ(req->pc, ref(0x4));
  EXPECT_EQ(hdr(req)->hdrOrigin, 3u);
  EXPECT_EQ(hdr(req)->pctxId, 1u) << "the ACSE context";
  EXPECT_EQ(apdu(req)->code, static_cast<uint32_t>(AC_APDU_ABRT));
  EXPECT_EQ(apdu(req)->abrt.presence, 0u);
  EXPECT_EQ(apdu(req)->abrt.source, AC_ABORT_PROVIDER);
  EXPECT_EQ(xm_getParentOfTree(xm_getParentOfItem(const_cast<AcseApdu*>(apdu(req)))),
            xm_getParentOfItem(const_cast<GIDU*>(req)))
      << "the APDU's tree hangs under the GIDU's";
  const GIDU* ind = seen[1].gidu;
  EXPECT_EQ(ind->event, 0x48054u);
  EXPECT_EQ(hdr(ind)->pctxId, 1u);
  EXPECT_EQ(hdr(ind)->hdrOrigin, 3u);
  EXPECT_EQ(apdu(ind)->code, static_cast<uint32_t>(AC_APDU_PABRT));
  EXPECT_NE(sao->qabortReq, nullptr) << "the reserved pair is untouched";
  EXPECT_EQ(sao->saoFlags & SAO_DELETE_PENDING, 0u);
}

TEST_F(Abort, OrderlyAbortWithOnlyAUserRoutineGivesOnlyTheIndication) {
  AL_aeSendAAborts(sao, cause, sacfRcv, nullptr, 9);
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfRcv"}));
  EXPECT_EQ(seen[0].event, 0x48054u);
  EXPECT_EQ(apdu(seen[0].gidu)->code, 24581u);
}

TEST_F(Abort, WithoutMemoryTheReservedQuickAbortsStillGo) {
  withoutMemoryAfter(0, [&] {
    AL_aeSendAAborts(sao, cause, sacfRcv, sacfSnd, 3);
    return 0;
  });
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"}));
  for (const saofix::Seen& s : seen) {
    EXPECT_EQ(s.event, AL_QABORT);
    EXPECT_EQ(s.errNo, 53009u);
  }
  EXPECT_EQ(sao->saoFlags & SAO_DELETE_PENDING, SAO_DELETE_PENDING);
}

TEST_F(Abort, WhenOnlyTheIndicationCannotBeMadeTheUserGetsTheQuickOne) {
  // What one abort GIDU takes.
  const long before = xmLive();
  GIDU* probe = AL_aeCreateAAbortReq(cause, sao, 3);
  const long perAbort = xmLive() - before;
  al_deleteGidu(probe);

  withoutMemoryAfter(perAbort, [&] {
    AL_aeSendAAborts(sao, cause, sacfRcv, sacfSnd, 3);
    return 0;
  });
  ASSERT_EQ(whoSaw(), (std::vector<std::string>{"sacfSnd", "sacfRcv"}));
  EXPECT_EQ(seen[0].event, AL_A_ABORT_REQ);
  EXPECT_EQ(seen[1].event, AL_QABORT);
  EXPECT_EQ(seen[1].errNo, 53009u);
  EXPECT_NE(sao->qabortReq, nullptr) << "the provider had its abort: its quick one stays";
}

TEST_F(Abort, WithoutAcseContextNoAbortIsBuilt) {
  sao->pctxTbl[1].ase = nullptr;
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR}});
  const long before = xmLive();
  EXPECT_EQ(AL_aeCreateAAbortReq(cause, sao, 3), nullptr);
  EXPECT_EQ(AL_aeCreateAPAbortInd(cause, sao, 3), nullptr);
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(trace.contains("*** AL_aeCreateAAbortReq: failed to get pctxid from R-INIT-RI with idu type 0xf0"))
      << (trace.lines().empty() ? "" : trace.lines()[0]);
  EXPECT_TRUE(trace.contains("*** AL_aeCreateAOAbortInd: failed to get pctxid from R-INIT-RI with idu type 0xf0"));
}

TEST_F(Abort, PurgingDeletesEveryQueuedGiduAndAnEmptyQueueOnlyTraces) {
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_TRIVIA}});
  GIDU q;
  al_selfLink(&q);
  const long before = xmLive();
  al_queueAppend(&q, apduGidu(AL_IDU_RDA, 0x8008, 3));
  al_queueAppend(&q, localEvent(AL_PSTOP_REQ));
  AL_aePurgeGiduQ(&q);
  EXPECT_TRUE(al_queueEmpty(&q));
  EXPECT_EQ(xmLive(), before);
  al_queueAppend(&q, apduGidu(AL_IDU_RDA, 0x8008, 3));
  al_purgeGiduQ(&q);
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(trace.lines().empty());
  AL_aePurgeGiduQ(&q);
  al_purgeGiduQ(&q);
  EXPECT_EQ(trace.lines().size(), 2u);
  EXPECT_TRUE(trace.contains("Queue is empty"));
  EXPECT_TRUE(trace.contains("al_purgeGiduQ: Queue is empty"));
}

}  // namespace
