// Action routines of connection set-up, release and abort, each run
// through the protocol machine on one record set with a recording
// transport interface.
#include "spdu_fixture.h"
#include "src/session/session_ind.h"
#include "src/session/spm_actions.h"

namespace {

class ConnActions : public SpduTest {
 protected:
  void SetUp() override {
    SpduTest::SetUp();
    user_ = registerUser(own_);
  }
  // An S-CONNECT request with the given units and version.
  SIDU connectRequest(uint32_t requirements, uint8_t version = 2) {
    SIDU req{};
    req.event = kEvConnectReq;
    req.callingSsap = &own_;
    req.requirements = requirements;
    req.version = version;
    peer_ = SAddress{};
    peer_.ssap = selector({0x00, 0x02}).ssap;
    req.address = &peer_;
    return req;
  }
  // A connection in STA713 with the given units, tokens all owned here.
  Smachine* connected(uint32_t requirements, uint8_t version = 2) {
    Smachine* s = connection(STA713, user_);
    s->requirements = requirements;
    s->version = version;
    s_setAvailable(s);
    s_setOwned(s, s->av);
    return s;
  }

  const SSAPaddr own_ = selector({0x00, 0x01});
  SAddress peer_{};
  SsUser* user_ = nullptr;
};

TEST_F(ConnActions, ConnectRequestChecksComeBeforeAnyTransportCall) {
  struct Case {
    uint32_t requirements;
    uint8_t version;
    uint64_t isn;
    uint32_t dataLength;
    uint32_t error;
  };
  const Case cases[] = {
      {SR_DUPLEX | SR_EXCEPTIONS, 2, 0, 0, S_BAD_FUS},
      {SR_EXPEDITED, 2, 0, 0, S_BAD_FUS},                      // neither half-duplex nor duplex
      {SR_DUPLEX | 0x800, 2, 0, 0, S_BAD_FUS},
      {SR_DUPLEX, 4, 0, 0, S_BAD_VERSION},
      {SR_DUPLEX, 0, 0, 0, S_BAD_VERSION},
      {SR_DUPLEX, 1, 0, 513, S_USER_DATA_OVERFLOW},
      {SR_DUPLEX | SR_MINORSYNC, 2, 1000000, 0, S_INVALID_ISN},
  };
  for (const Case& c : cases) {
    gTpi.calls.clear();
    SIDU req = connectRequest(c.requirements, c.version);
    req.serial = c.isn;
    if (c.dataLength > 0) req.userData = bufferWith(std::string(c.dataLength, 'd'));
    EXPECT_EQ(s_connect(&req), nullptr);
    EXPECT_EQ(QvGetSessionError(), c.error) << std::hex << c.requirements;
    EXPECT_TRUE(gTpi.calls.empty()) << std::hex << c.requirements;
    s_freeChain(req.userData);
  }
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(ConnActions, ConnectRequestWithActivitiesIgnoresTheSerialNumber) {
  SIDU req = connectRequest(SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY);
  req.serial = 1000000;
  Smachine* s = s_connect(&req);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(gTpi.calls, (std::vector<std::string>{"TCONreq", "s_transmit"}));
  EXPECT_EQ(s->state, STA01B);
  EXPECT_EQ(s->texp, 0) << "TP0 has no expedited flow";
  EXPECT_EQ(s->acc, 0);
  // The CN waits in the output queue for the T-CONNECT confirm.
  EXPECT_EQ(toHex(queued(s).substr(0, 2)), "0D 17");
}

TEST_F(ConnActions, ConnectRequestCutsAnOverlongAddressListToFourAddresses) {
  SIDU req = connectRequest(SR_DUPLEX);
  peer_.nsap.len = 79;  // sixteen addresses claimed by the list
  Smachine* s = s_connect(&req);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->peerAddr.nsap.len, 19u);
  EXPECT_EQ(s->peerAddr.ssap.len, 2);
}

TEST_F(ConnActions, FailedTransportConnectReturnsItsErrorAndFreesTheEmptyBuffer) {
  recordTransport();
  static const TpiHooks failing = [] {
    TpiHooks h = kRecordingTpi;
    h.tconReq = [](Smachine*) -> uint32_t { return kTpiConnectFailed; };
    return h;
  }();
  gTpiHooks = &failing;
  SIDU req = connectRequest(SR_DUPLEX);
  EXPECT_EQ(s_connect(&req), nullptr);
  EXPECT_EQ(QvGetSessionError(), kTpiConnectFailed);
  EXPECT_EQ(QvGetSbCount(), 0);
}

TEST_F(ConnActions, CalledSelectorWithoutUserIsRefusedWithReason129) {
  Smachine* s = connection(STA01, nullptr);
  ASSERT_EQ(s_fsm(s, nullptr, STA01, kEvTConnectInd), 0u);
  EXPECT_EQ(s->state, STA01C);
  EXPECT_EQ(s->acc, 1);
  receive(s, hex("0D 0C 05 06 13 01 00 16 01 02 34 02 00 09"));  // called 00 09
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(toHex(queued(s)), "0C 06 11 01 01 32 01 81");
  EXPECT_TRUE(gSeen.empty());
  // The connection ends after 10 seconds.
  clock_.set(1010, 0);
  do_timer_queue();
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(ConnActions, RefusalWithoutBufferForItsHeaderDisconnects) {
  // Pool buffers of 4 octets: the RF's 8 octets find no room in the empty
  // buffer nor a buffer of their own.
  ASSERT_EQ(init_buffers(20, 4), 1);
  recordTransport();
  Smachine* s = connection(STA01, nullptr);
  ASSERT_EQ(s_fsm(s, nullptr, STA01, kEvTConnectInd), 0u);
  gTpi.calls.clear();
  receive(s, hex("0D 00"));  // no called selector: no user, reason 129
  EXPECT_EQ(gTpi.calls, std::vector<std::string>{"disconnect"}) << "the peer is not left waiting for an answer";
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(QvGetSbCount(), 0u);
}

TEST_F(ConnActions, ConnectWithoutAnyVersionOfOursIsRefusedWithReason132) {
  Smachine* s = connection(STA01, nullptr);
  ASSERT_EQ(s_fsm(s, nullptr, STA01, kEvTConnectInd), 0u);
  receive(s, hex("0D 0C 05 06 13 01 00 16 01 04 34 02 00 01"));
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(toHex(queued(s)), "0C 06 11 01 01 32 01 84");
}

TEST_F(ConnActions, ConnectIsIndicatedWithItsItems) {
  Smachine* s = connection(STA01, nullptr);
  ASSERT_EQ(s_fsm(s, nullptr, STA01, kEvTConnectInd), 0u);
  receive(s, hex("0D 1E 05 0C 13 01 00 16 01 03 17 01 31 1A 01 05 14 02 00 09 33 02 00 07 34 02 00 01 C1 02 68 69"));
  EXPECT_EQ(s->state, STA08);
  EXPECT_EQ(s->owner, user_);
  EXPECT_EQ(s->version, 2);
  EXPECT_EQ(s->peerAddr.ssap.sel[1], 0x07);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_CON_IND);
  EXPECT_EQ(gSeen[0].sidu.tokens, 0x05);
  EXPECT_EQ(gSeen[0].sidu.requirements, 9u);
  EXPECT_EQ(gSeen[0].dataLength, 2u);
}

TEST_F(ConnActions, ConnectWithSerialNumberButNoSynchronisationAborts) {
  Smachine* s = connection(STA01, nullptr);
  ASSERT_EQ(s_fsm(s, nullptr, STA01, kEvTConnectInd), 0u);
  receive(s, hex("0D 13 05 09 13 01 00 16 01 02 17 01 31 14 02 00 02 34 02 00 01"));
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(toHex(queued(s)), "19 03 11 01 05");
  EXPECT_TRUE(gSeen.empty());
}

TEST_F(ConnActions, AcceptResponseChecksItsTokenSettingAndUnits) {
  struct Case {
    uint8_t tokens;
    uint32_t requirements;
    uint32_t error;
  };
  const Case cases[] = {
      {0x02, SR_HALFDUPLEX, S_CONREQ_FAIL},  // data token: acceptor chooses
      {0x80, SR_HALFDUPLEX, S_CONREQ_FAIL},
      {0x00, SR_HALFDUPLEX | SR_DUPLEX, S_BAD_FUS},
      {0x00, SR_DUPLEX | 0x1000, S_BAD_FUS},
      {0x00, SR_DUPLEX | SR_EXPEDITED, S_INVALID_TSI},
  };
  for (const Case& c : cases) {
    Smachine* s = connection(STA08, user_);
    s->requirements = SR_HALFDUPLEX | SR_DUPLEX;
    SIDU acc{};
    acc.event = 13;
    acc.tokens = c.tokens;
    acc.requirements = c.requirements;
    EXPECT_EQ(session(s, &acc), 0);
    EXPECT_EQ(QvGetSessionError(), c.error);
    EXPECT_EQ(s->state, STA08);
    EXPECT_TRUE(queued(s).empty());
  }
}

TEST_F(ConnActions, AcceptGivesTheAcceptorTheTokensSetToItsSide) {
  Smachine* s = connection(STA08, user_);
  s->requirements = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  s->version = 2;
  SIDU acc{};
  acc.event = 13;
  acc.tokens = 0x01 | 0x10;  // data and major tokens on the acceptor's side
  acc.requirements = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  EXPECT_EQ(session(s, &acc), 1);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->av, TK_DATA | TK_MINOR | TK_MAJOR);
  EXPECT_EQ(s->owned, TK_DATA | TK_MAJOR);
  EXPECT_EQ(toHex(queued(s)), "0E 13 05 09 13 01 00 16 01 02 1A 01 11 14 02 00 49 34 02 00 01");
}

TEST_F(ConnActions, AcceptConfirmsTheConnectionWithTheInitiatorsTokens) {
  Smachine* s = connection(STA02A, user_);
  s->requirements = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  s->version = 3;
  s->texp = 1;
  // AC: version 2, token setting 0x11 (data and major to the acceptor),
  // requirements 0x49, responding selector 00 02.
  receive(s, hex("0E 13 05 09 13 01 00 16 01 02 1A 01 11 14 02 00 49 34 02 00 02"));
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->version, 2);
  EXPECT_EQ(s->owned, TK_MINOR);
  EXPECT_EQ(s->peerAddr.ssap.sel[1], 0x02);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_CON_CNF);
}

TEST_F(ConnActions, AcceptFromAForeignCallingSelectorOrVersionAborts) {
  for (const char* unit : {"0E 0C 05 06 13 01 00 16 01 02 33 02 00 05",   // not our selector
                           "0E 08 05 06 13 01 00 16 01 01"}) {             // version 1 only
    gSeen.clear();
    Smachine* s = connection(STA02A, user_);
    s->version = 2;
    s->texp = 1;
    receive(s, hex(unit));
    EXPECT_EQ(s->state, STA16) << unit;
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].sidu.event, SI_PAB_IND);
  }
}

TEST_F(ConnActions, RefuseGivesTheReasonFromItsFirstOctet) {
  struct Case {
    const char* unit;
    uint32_t reason;
    uint32_t dataLength;
  };
  const Case cases[] = {
      {"0C 03 32 01 02", 2, 0},
      {"0C 05 32 03 02 6E 6F", 2, 2},
      {"0C 00", 0, 0},
      {"0C 06 11 01 00 32 01 81", 129, 0},
  };
  for (const Case& c : cases) {
    gSeen.clear();
    Smachine* s = connection(STA02A, user_);
    receive(s, hex(c.unit));
    ASSERT_EQ(gSeen.size(), 1u) << c.unit;
    EXPECT_EQ(gSeen[0].sidu.event, SI_CON_REF);
    EXPECT_EQ(gSeen[0].sidu.reason, c.reason) << c.unit;
    EXPECT_EQ(gSeen[0].dataLength, c.dataLength) << c.unit;
    EXPECT_EQ(gSeen[0].sidu.userData == nullptr, c.dataLength == 0);
  }
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(QvGetSbCount(), 0);
}

TEST_F(ConnActions, RefuseCarryingRequirementsMustGiveReasonTwo) {
  Smachine* s = connection(STA02A, user_);
  receive(s, hex("0C 07 14 02 00 02 32 01 81"));
  EXPECT_EQ(s->state, STA16);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_PAB_IND);
}

TEST_F(ConnActions, ReleaseNeedsEveryAvailableTokenAndNoActivity) {
  Smachine* s = connected(SR_HALFDUPLEX);
  s_setOwned(s, 0);
  SIDU rel{};
  rel.event = 19;
  EXPECT_EQ(session(s, &rel), 0);
  EXPECT_EQ(QvGetSessionError(), S_NO_EXPEDITED);

  Smachine* s2 = connected(SR_HALFDUPLEX | SR_ACTIVITY);
  s2->vact = 1;
  EXPECT_EQ(session(s2, &rel), 0);
  EXPECT_EQ(QvGetSessionError(), S_NO_EXPEDITED);

  Smachine* s3 = connected(SR_HALFDUPLEX, 1);
  rel.userData = bufferWith(std::string(513, 'r'));
  EXPECT_EQ(session(s3, &rel), 0);
  EXPECT_EQ(QvGetSessionError(), S_USER_DATA_OVERFLOW);
  s_freeChain(rel.userData);
  rel.userData = nullptr;

  Smachine* s4 = connected(SR_HALFDUPLEX);
  EXPECT_EQ(session(s4, &rel), 1);
  EXPECT_EQ(s4->state, STA03);
  EXPECT_EQ(toHex(queued(s4)), "09 03 11 01 01");
}

TEST_F(ConnActions, ReleaseCollisionIsAnsweredByTheCallingSide) {
  // Both sides sent FN: the calling side (ACC 0) answers first with DN and
  // waits in STA03, the called side waits for that DN.
  Smachine* s = connected(SR_DUPLEX);
  SIDU rel{};
  rel.event = 19;
  ASSERT_EQ(session(s, &rel), 1);
  receive(s, hex("09 03 11 01 01"));
  EXPECT_EQ(s->state, STA09);
  EXPECT_EQ(s->relCollision, 1);
  ASSERT_EQ(gSeen.back().sidu.event, SI_REL_IND);
  SIDU accept{};
  accept.event = 20;
  ASSERT_EQ(session(s, &accept), 1);
  EXPECT_EQ(s->state, STA03);
  receive(s, hex("0A 00"));
  EXPECT_EQ(gSeen.back().sidu.event, SI_REL_CNF);
  EXPECT_EQ(connectionCount(), 0u);

  Smachine* called = connected(SR_DUPLEX);
  called->acc = 1;
  ASSERT_EQ(session(called, &rel), 1);
  receive(called, hex("09 03 11 01 01"));
  EXPECT_EQ(session(called, &accept), 0) << "the called side waits for the DN";
  EXPECT_EQ(QvGetSessionError(), S_NO_EXPEDITED);
  receive(called, hex("0A 00"));
  EXPECT_EQ(called->collisionAnswered, 1);
  EXPECT_EQ(called->state, STA09);
  EXPECT_EQ(session(called, &accept), 1);
  EXPECT_EQ(called->state, STA16);
}

TEST_F(ConnActions, FinishAskingToKeepTheTransportIsRefusedOnTheCallingSide) {
  Smachine* s = connected(SR_DUPLEX);
  s->texp = 1;
  receive(s, hex("09 03 11 01 00"));  // event 60
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(gSeen.back().sidu.event, SI_PAB_IND);
}

TEST_F(ConnActions, UserAbortLimitsItsDataAndSendsAbort) {
  Smachine* s = connected(SR_DUPLEX, 1);
  SIDU ab{};
  ab.event = kEvUserAbort;
  ab.userData = bufferWith("0123456789");
  EXPECT_EQ(session(s, &ab), 0);
  EXPECT_EQ(QvGetSessionError(), S_USER_DATA_OVERFLOW);
  EXPECT_EQ(s->state, STA713);
  s_freeChain(ab.userData);
  ab.userData = nullptr;

  EXPECT_EQ(session(s, &ab), 1);
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(toHex(queued(s)), "19 03 11 01 03");
}

TEST_F(ConnActions, AbortReceivedEndsTheConnectionWithTheRightIndication) {
  struct Case {
    const char* unit;
    uint32_t event;
    uint32_t dataLength;
  };
  const Case cases[] = {
      {"19 03 11 01 03", SI_UAB_IND, 0},
      {"19 08 11 01 02 C1 03 61 62 63", SI_UAB_IND, 3},
      {"19 03 11 01 05", SI_PAB_IND, 0},
  };
  for (const Case& c : cases) {
    gSeen.clear();
    Smachine* s = connected(SR_DUPLEX);
    receive(s, hex(c.unit));
    ASSERT_EQ(gSeen.size(), 1u) << c.unit;
    EXPECT_EQ(gSeen[0].sidu.event, c.event) << c.unit;
    EXPECT_EQ(gSeen[0].dataLength, c.dataLength) << c.unit;
    EXPECT_EQ(gSeen[0].sidu.credit, 0);
  }
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(QvGetSbCount(), 0);
}

TEST_F(ConnActions, TransportDisconnectIsAProviderAbortInAConnectedState) {
  Smachine* s = connected(SR_DUPLEX);
  EXPECT_EQ(s_fsm(s, nullptr, s->state, kEvTDisconnect), 0u);
  EXPECT_EQ(connectionCount(), 0u);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_PAB_IND);
  EXPECT_EQ(gSeen[0].sidu.reason, 1u);
}

TEST_F(ConnActions, NegotiatedReleaseRefusal) {
  Smachine* s = connection(STA09, user_);
  s->requirements = SR_HALFDUPLEX;
  SIDU rej{};
  rej.event = 21;
  EXPECT_EQ(session(s, &rej), 0) << "negotiated release not in use";
  s->requirements |= SR_NEGOTIATED_RELEASE;
  EXPECT_EQ(session(s, &rej), 1);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(toHex(queued(s)), "08 00");

  s->state = STA03;
  receive(s, hex("08 00"));
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(gSeen.back().sidu.event, SI_REL_REF);
}

}  // namespace
