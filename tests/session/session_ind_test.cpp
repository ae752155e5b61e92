#include "src/session/session_ind.h"

#include <functional>

#include "session_fixture.h"
#include "src/presentation/ps_ssu.h"

namespace {

class Indications : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    user_ = registerUser(sel_);
    s_ = connection(STA713, user_);
    s_->credit = 5;
  }
  SpduArea& area() { return tls()->spdu; }
  // Puts `buf` on the held-buffer ring, as the transport does before parsing.
  void hold(SessionBuffer* buf) {
    SessionBuffer* held = &tls()->tp0.held;
    buf->next = held;
    buf->prev = held->prev;
    held->prev->next = buf;
    held->prev = buf;
  }
  bool heldEmpty() { return tls()->tp0.held.next == &tls()->tp0.held; }

  const SSAPaddr sel_ = selector({0x05, 0x06});
  SsUser* user_ = nullptr;
  Smachine* s_ = nullptr;
};

TEST_F(Indications, EachRoutineRaisesItsEventWithTheConnectionsCredit) {
  struct Case {
    uint32_t event;
    std::function<int32_t(Smachine*)> raise;
    uint8_t credit;
  };
  const Case cases[] = {
      {SI_ACTD_IND, [](Smachine* s) { return SACTDind(s, 1); }, 5},
      {SI_ACTD_CNF, SACTDcnf, 5},
      {SI_ACTE_IND, SACTEind, 5},
      {SI_ACTE_CNF, SACTEcnf, 5},
      {SI_ACTI_IND, [](Smachine* s) { return SACTIind(s, 1); }, 5},
      {SI_ACTI_CNF, SACTIcnf, 5},
      {SI_ACTR_IND, SACTRind, 5},
      {SI_ACTS_IND, SACTSind, 5},
      {SI_CD_IND, SCDind, 5},
      {SI_CD_CNF, SCDcnf, 5},
      {SI_CG_IND, SCGind, 5},
      {SI_CON_IND, SCONind, 5},
      {SI_CON_CNF, SCONcnf, 5},
      {SI_CON_REF, [](Smachine* s) { return SCONref(s, 2); }, 5},
      {SI_DT_IND, [](Smachine* s) { return SDTind(s, nullptr); }, 5},
      {SI_DT_CNF, [](Smachine* s) { return SDTcnf(s, nullptr); }, 5},
      {SI_EX_IND, [](Smachine* s) { return SEXind(s, nullptr); }, 5},
      {SI_GT_IND, [](Smachine* s) { return SGTind(s, 0x01); }, 5},
      {SI_PAB_IND, [](Smachine* s) { return SPABind(s, 1); }, 0},
      {SI_PER_IND, SPERind, 5},
      {SI_PT_IND, [](Smachine* s) { return SPTind(s, 0x01); }, 5},
      {SI_REL_IND, SRELind, 5},
      {SI_REL_CNF, SRELcnf, 5},
      {SI_REL_REF, SRELref, 5},
      {SI_RSYN_IND, [](Smachine* s) { return SRSYNind(s, 3); }, 5},
      {SI_RSYN_CNF, SRSYNcnf, 5},
      {SI_SYNMA_IND, SSYNMAind, 5},
      {SI_SYNMA_CNF, SSYNMAcnf, 5},
      {SI_SYNMI_IND, SSYNmind, 5},
      {SI_SYNMI_CNF, SSYNmcnf, 5},
      {SI_TD_IND, [](Smachine* s) { return STDind(s, nullptr); }, 5},
      {SI_UAB_IND, SUABind, 0},
      {SI_UER_IND, SUERind, 5},
      {SI_FLO_IND, SFLOind, 5},
  };
  for (const Case& c : cases) {
    gSeen.clear();
    EXPECT_EQ(c.raise(s_), 7) << "the callback's result, for event " << c.event;
    ASSERT_EQ(gSeen.size(), 1u) << c.event;
    EXPECT_EQ(gSeen[0].s, s_);
    EXPECT_EQ(gSeen[0].sidu.event, c.event);
    EXPECT_EQ(gSeen[0].sidu.credit, c.credit) << c.event;
  }
}

TEST_F(Indications, AProviderAbortCarriesNoCreditAndNoUserData) {
  SessionBuffer* d = bufferWith("AB user data");
  hold(d);
  area().userData = d;
  EXPECT_EQ(SPABind(s_, kPAbortProtocol), 7);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.credit, 0);
  EXPECT_EQ(gSeen[0].sidu.reason, kPAbortProtocol);
  EXPECT_EQ(gSeen[0].sidu.userData, nullptr);
  EXPECT_EQ(area().userData, d) << "left for the held ring to free";
  EXPECT_FALSE(heldEmpty());
}

TEST_F(Indications, AReceivedAbortIsAUserAbortOnlyWithTheUserAbortBit) {
  area().transportDisconnect = 0x03;
  SABind(s_);
  area().transportDisconnect = 0x01;
  SABind(s_);
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].sidu.event, uint32_t{SI_UAB_IND});
  EXPECT_EQ(gSeen[0].sidu.credit, 0);
  EXPECT_EQ(gSeen[1].sidu.event, uint32_t{SI_PAB_IND});
  EXPECT_EQ(gSeen[1].sidu.reason, kPAbortProtocol);
}

TEST_F(Indications, TheReceivedUserDataIsHandedOverStandingAlone) {
  SessionBuffer* d = bufferWith("release data");
  hold(d);
  area().userData = d;
  SRELind(s_);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].dataLength, 12u);
  EXPECT_TRUE(gSeen[0].dataStandsAlone);
  EXPECT_TRUE(heldEmpty()) << "taken off the held ring, so it is not freed twice";
  EXPECT_EQ(area().userData, nullptr);
}

TEST_F(Indications, DataIndicationsTakeTheirBufferAndNoteTheDataKind) {
  SessionBuffer* d = bufferWith("0123456789");
  hold(d);
  area().delivered = d;
  SDTind(s_, d);
  EXPECT_EQ(s_->lastDataKind, 'h');
  STDind(s_, bufferWith("typed"));
  EXPECT_EQ(s_->lastDataKind, 'x');
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].dataLength, 10u);
  EXPECT_TRUE(gSeen[0].dataStandsAlone);
  EXPECT_TRUE(heldEmpty());
  EXPECT_EQ(area().delivered, nullptr);
  EXPECT_EQ(gSeen[1].dataLength, 5u);
}

TEST_F(Indications, WithoutAUserNothingIsCalledAndGivenBuffersAreFreed) {
  s_->owner = nullptr;
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(SDTcnf(s_, bufferWith("sent")), 0);
  EXPECT_EQ(SDTind(s_, bufferWith("data")), 0);
  EXPECT_EQ(SEXind(s_, bufferWith("x")), 0);
  EXPECT_EQ(STDind(s_, bufferWith("td")), 0);
  EXPECT_EQ(SCONind(s_), 0);
  EXPECT_EQ(SFLOind(s_), 0);
  EXPECT_EQ(QvGetSbCount(), before);
  EXPECT_TRUE(gSeen.empty());
}

TEST_F(Indications, ConnectIndicationDescribesTheConnection) {
  s_->version = 2;
  s_->requirements = SR_DUPLEX | SR_EXPEDITED;
  s_->userRef = 0x1234;
  s_->peerAddr.ssap.len = 1;
  area().serial = 42;
  area().tokenSetting = 0x15;
  area().cid.callingLen = 3;
  std::memcpy(area().cid.calling, "abc", 3);
  SCONind(s_);
  ASSERT_EQ(gSeen.size(), 1u);
  const SIDU& x = gSeen[0].sidu;
  EXPECT_EQ(x.version, 2);
  EXPECT_EQ(x.callingSsap, &user_->ssap) << "the user's own selector";
  EXPECT_EQ(x.address, &s_->peerAddr);
  EXPECT_EQ(x.userRef, 0x1234u);
  EXPECT_EQ(x.requirements, SR_DUPLEX | SR_EXPEDITED);
  EXPECT_EQ(x.serial, 42u);
  EXPECT_EQ(x.tokens, 0x15);
  EXPECT_EQ(x.cid.callingLen, 3u);
  EXPECT_EQ(std::memcmp(x.cid.calling, "abc", 3), 0);

  SCONref(s_, 2);
  EXPECT_EQ(gSeen[1].sidu.reason, 2u);
  EXPECT_EQ(gSeen[1].sidu.requirements, SR_DUPLEX | SR_EXPEDITED);
}

TEST_F(Indications, ItemsOfTheReceivedSpduFillTheirPrimitives) {
  area().serial = 17;
  area().syncType = 1;
  area().resyncType = 2;
  area().tokenSetting = 0x44;
  area().reason = 9;
  area().activityId = ActId{2, {'A', 'B'}};
  area().arActivityId = ActId{1, {'N'}};
  area().oldActivityId = ActId{1, {'O'}};
  SSYNmind(s_);
  SRSYNind(s_, 99);
  SRSYNcnf(s_);
  SUERind(s_);
  SACTSind(s_);
  SACTRind(s_);
  SGTind(s_, 0x11);
  ASSERT_EQ(gSeen.size(), 7u);
  EXPECT_EQ(gSeen[0].sidu.syncType, 1);
  EXPECT_EQ(gSeen[0].sidu.serial, 17u);
  EXPECT_EQ(gSeen[1].sidu.syncType, 2);
  EXPECT_EQ(gSeen[1].sidu.tokens, 0x44);
  EXPECT_EQ(gSeen[1].sidu.serial, 99u) << "given by the action";
  EXPECT_EQ(gSeen[2].sidu.serial, 17u);
  EXPECT_EQ(gSeen[3].sidu.reason, 9u);
  EXPECT_EQ(gSeen[4].sidu.activityId.len, 2u);
  EXPECT_EQ(gSeen[5].sidu.activityId.id[0], 'N');
  EXPECT_EQ(gSeen[5].sidu.oldActivityId.id[0], 'O');
  EXPECT_EQ(gSeen[5].sidu.serial, 17u);
  EXPECT_EQ(gSeen[6].sidu.tokens, 0x11);
}

TEST_F(Indications, CreditAboveAnOctetIsShownAsTheLargestOctet) {
  s_->credit = 300;
  SRELind(s_);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.credit, 255);
}

// A peer that keeps sending on a connection the presentation layer has no
// machine for (after an abort, say) must not drain the buffer pool.
TEST_F(Indications, ThePresentationLayerFreesTheDataOfEventsItHasNoConnectionFor) {
  const SSAPaddr p = selector({0x70});
  SsUser* pres = registerUser(p, ps_ssu);
  Smachine* s = connection(STA713, pres);
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(SDTind(s, bufferWith("ppdu")), 0);
  EXPECT_EQ(STDind(s, bufferWith("typed")), 0);
  EXPECT_EQ(SEXind(s, bufferWith("x")), 0);
  for (int i = 0; i < 3; ++i) {
    SessionBuffer* d = bufferWith("release data");
    hold(d);
    area().userData = d;
    EXPECT_EQ(SRELind(s), 0);
    EXPECT_TRUE(heldEmpty());
  }
  EXPECT_EQ(QvGetSbCount(), before);
}

}  // namespace
