// Action routines of tokens, expedited, typed and capability data and
// exception reports, run through the protocol machine on one record set with
// a recording transport interface, and over the in-memory wire.
#include "spdu_fixture.h"
#include "src/session/session_ind.h"
#include "src/session/spm_actions.h"
#include "support/session_wire.h"

namespace {

// Events of the user's requests.
constexpr uint32_t kEvCapabilityReq = 9;
constexpr uint32_t kEvCapabilityRsp = 10;
constexpr uint32_t kEvData = 15;
constexpr uint32_t kEvExpedited = 16;
constexpr uint32_t kEvGive = 17;
constexpr uint32_t kEvPlease = 18;
constexpr uint32_t kEvTyped = 30;
constexpr uint32_t kEvException = 32;

constexpr uint32_t kHalfDuplex = SR_HALFDUPLEX | SR_MINORSYNC | SR_MAJORSYNC;

uint8_t gStateAtIndication = 0xFF;
int32_t stateRecordingUser(Smachine* s, SIDU* sidu) {
  gStateAtIndication = s->state;
  return recordingUser(s, sidu);
}

class XdataActions : public SpduTest {
 protected:
  void SetUp() override {
    SpduTest::SetUp();
    user_ = registerUser(own_);
  }
  // A connection in `state` with the given units and the tokens `owned`.
  Smachine* connected(uint32_t requirements, uint8_t owned, uint8_t state = STA713, uint8_t version = 2) {
    Smachine* s = connection(state, user_);
    s->requirements = requirements;
    s->version = version;
    s_setAvailable(s);
    s_setOwned(s, owned);
    return s;
  }
  uint32_t run(Smachine* s, uint32_t event, SIDU* sidu) { return s_fsm(s, sidu, s->state, event); }
  SIDU request(uint32_t event, const std::string& data = "") {
    SIDU r{};
    r.event = event;
    if (!data.empty()) r.userData = bufferWith(data);
    return r;
  }
  const SSAPaddr own_ = selector({0x00, 0x01});
  SsUser* user_ = nullptr;
};

TEST_F(XdataActions, SegmentedDataUnitGoesAsOneDtWithoutFurtherHeadersOrTokenChecks) {
  Smachine* s = connected(kHalfDuplex, TK_ALL);
  SIDU first = request(kEvData, "abc");
  first.userData->endFlag = 0;
  ASSERT_EQ(run(s, kEvData, &first), 0u);
  EXPECT_EQ(s->segmenting, 1);
  // GT with no parameters, then DT with no parameters, then the data.
  EXPECT_EQ(toHex(queued(s)), "01 00 01 00 61 62 63");

  s_setOwned(s, 0);  // the data token is no longer usable here
  SIDU more = request(kEvData, "de");
  more.userData->endFlag = 0;
  ASSERT_EQ(run(s, kEvData, &more), 0u);
  SIDU last = request(kEvData, "f");
  ASSERT_EQ(run(s, kEvData, &last), 0u);
  EXPECT_EQ(s->segmenting, 0);
  int units = 0;
  EXPECT_EQ(toHex(queued(s, &units)), "01 00 01 00 61 62 63 64 65 66");
  EXPECT_EQ(units, 1);

  SIDU next = request(kEvData, "g");
  EXPECT_EQ(run(s, kEvData, &next), S_NO_EXPEDITED) << "a new unit needs the data token";
  s_freeChain(next.userData);
}

TEST_F(XdataActions, TypedDataNeedsItsUnitAndGoesAsTd) {
  Smachine* s = connected(kHalfDuplex, 0);
  SIDU td = request(kEvTyped, "xy");
  EXPECT_EQ(run(s, kEvTyped, &td), S_NO_EXPEDITED);
  s->requirements |= SR_TYPEDDATA;
  ASSERT_EQ(run(s, kEvTyped, &td), 0u) << "typed data goes without the data token";
  EXPECT_EQ(toHex(queued(s)), "21 00 78 79");
  SIDU empty = request(kEvTyped);
  EXPECT_EQ(run(s, kEvTyped, &empty), S_PROTOCOL_ERROR);

  receive(s, hex("21 00 70 71"));
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_TD_IND);
  EXPECT_EQ(gSeen[0].dataLength, 2u);
}

TEST_F(XdataActions, ExpeditedDataLengthAndUnitChecks) {
  struct Case {
    uint32_t requirements;
    uint32_t length;
    uint32_t result;
  };
  const Case cases[] = {
      {kHalfDuplex | SR_EXPEDITED, 14, 0},
      {kHalfDuplex | SR_EXPEDITED, 15, S_USER_DATA_OVERFLOW},
      {kHalfDuplex | SR_EXPEDITED, 0, S_PROTOCOL_ERROR},
      {kHalfDuplex, 5, S_NO_EXPEDITED},
  };
  for (const Case& c : cases) {
    Smachine* s = connected(c.requirements, 0);
    SIDU ex = request(kEvExpedited, std::string(c.length, 'e'));
    EXPECT_EQ(run(s, kEvExpedited, &ex), c.result) << c.length;
    if (c.length > 0) {
      EXPECT_EQ(ex.userData == nullptr, c.result == 0) << "the data is taken only when sent";
    }
    s_freeChain(ex.userData);
    EXPECT_TRUE(queued(s).empty()) << "expedited data never goes on the normal flow";
  }
  EXPECT_EQ(QvGetSbCount(), 0);
}

TEST_F(XdataActions, ExpeditedDataBeforeTheAcceptIsIndicatedOnceConnected) {
  Smachine* s = connection(STA02A, user_);
  s->requirements = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY | SR_EXPEDITED;
  s->version = 2;
  s->texp = 1;
  receive(s, hex("05 00 68 69"), SPDU_EXPEDITED);
  EXPECT_TRUE(gSeen.empty());
  EXPECT_EQ(s->exQ.count, 1u);
  // AC: version 2, token setting 0x11, requirements 0x4D (expedited in use).
  receive(s, hex("0E 13 05 09 13 01 00 16 01 02 1A 01 11 14 02 00 4D 34 02 00 02"));
  EXPECT_EQ(s->state, STA713);
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_CON_CNF);
  EXPECT_EQ(gSeen[1].sidu.event, SI_EX_IND);
  EXPECT_EQ(gSeen[1].dataLength, 2u);
  EXPECT_EQ(s->exQ.count, 0u);
}

TEST_F(XdataActions, TokenGiveChecksOwnershipAndGivesTheTokensAway) {
  Smachine* s = connected(kHalfDuplex, TK_MINOR);
  SIDU give = request(kEvGive);
  give.tokens = TK_DATA;
  EXPECT_EQ(run(s, kEvGive, &give), S_NO_EXPEDITED);
  EXPECT_EQ(s->owned, TK_MINOR);
  give.tokens = 0;
  EXPECT_EQ(run(s, kEvGive, &give), S_NO_EXPEDITED);
  s->version = 1;
  SIDU withData = request(kEvGive, "u");
  withData.tokens = TK_MINOR;
  EXPECT_EQ(run(s, kEvGive, &withData), S_USER_DATA_OVERFLOW);
  s_freeChain(withData.userData);
  s->version = 2;
  EXPECT_TRUE(queued(s).empty());

  give.tokens = TK_MINOR;
  ASSERT_EQ(run(s, kEvGive, &give), 0u);
  EXPECT_EQ(toHex(queued(s)), "01 03 10 01 04");  // GT, token item: minor
  EXPECT_EQ(s->owned, 0);
  EXPECT_EQ(s->peer, TK_MINOR | TK_MAJOR | TK_DATA);
}

TEST_F(XdataActions, TokenPleaseNeedsAvailableTokens) {
  Smachine* s = connected(SR_HALFDUPLEX, 0);
  SIDU please = request(kEvPlease);
  please.tokens = TK_MINOR;
  EXPECT_EQ(run(s, kEvPlease, &please), S_NO_EXPEDITED);
  please.tokens = TK_DATA;
  ASSERT_EQ(run(s, kEvPlease, &please), 0u);
  EXPECT_EQ(toHex(queued(s)), "02 03 10 01 01");

  receive(s, hex("02 03 10 01 01"));
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_PT_IND);
  EXPECT_EQ(gSeen[0].sidu.tokens, TK_DATA);
}

TEST_F(XdataActions, GivenTokensJoinOwnedAndAnOwnedTokenGivenAborts) {
  Smachine* s = connected(kHalfDuplex, TK_MINOR);
  receive(s, hex("01 03 10 01 01"));
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_GT_IND);
  EXPECT_EQ(s->owned, TK_MINOR | TK_DATA);
  gSeen.clear();
  receive(s, hex("01 03 10 01 04"));  // minor token, already owned here
  EXPECT_EQ(s->state, STA16);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_PAB_IND);
}

TEST_F(XdataActions, DataTokenGivenDuringAnExceptionReturnsToTransferFirst) {
  ASSERT_EQ(s_deactivate(&own_), 1);
  user_ = registerUser(own_, stateRecordingUser);
  Smachine* s = connected(kHalfDuplex | SR_EXCEPTIONS, 0, STA20);
  receive(s, hex("01 03 10 01 01"));
  EXPECT_EQ(gStateAtIndication, STA713);
  EXPECT_EQ(s->owned, TK_DATA);
}

TEST_F(XdataActions, ExceptionReportIsSentOnlyWhileThePeerHoldsTheDataToken) {
  Smachine* s = connected(kHalfDuplex | SR_EXCEPTIONS, TK_DATA);
  SIDU er = request(kEvException);
  er.reason = 3;
  EXPECT_EQ(run(s, kEvException, &er), S_NO_EXPEDITED);
  s_setOwned(s, 0);
  ASSERT_EQ(run(s, kEvException, &er), 0u);
  EXPECT_EQ(toHex(queued(s)), "02 00 30 03 32 01 03");  // PT, then ED with reason 3
  EXPECT_EQ(s->state, STA19);
}

TEST_F(XdataActions, ReceivedExceptionsByState) {
  struct Case {
    uint8_t state;
    uint32_t requirements;
    uint8_t owned;
    uint8_t vact;
    int32_t event;
    uint32_t result;
    uint8_t newState;
    uint32_t indication;  // 0: none
  };
  const uint32_t hd = kHalfDuplex | SR_EXCEPTIONS;
  const Case cases[] = {
      {STA713, hd, TK_DATA, 0, EV_ED, 0, STA20, SI_UER_IND},
      {STA713, hd, 0, 0, EV_ER, 0, STA713, SI_PER_IND},
      {STA713, hd | SR_ACTIVITY, 0, 0, EV_ED, S_NO_EXPEDITED, STA713, 0},  // no activity
      {STA713, kHalfDuplex, 0, 0, EV_ED, S_NO_EXPEDITED, STA713, 0},
      {STA03, hd, TK_DATA, 0, EV_ER, 0, STA20, SI_PER_IND},
      {STA03, hd, 0, 0, EV_ED, S_NO_EXPEDITED, STA03, 0},
      {STA04A, hd, TK_DATA, 0, EV_ED, 0, STA20, SI_UER_IND},
      {STA04A, hd, 0, 0, EV_ED, 0, STA713, SI_UER_IND},
      {STA19, hd | SR_ACTIVITY, 0, 1, EV_ED, 0, STA19, SI_UER_IND},
      {STA05A, hd, 0, 0, EV_ED, 0, STA05A, 0},
      {STA05A, kHalfDuplex, 0, 0, EV_ER, S_NO_EXPEDITED, STA05A, 0},
  };
  for (const Case& c : cases) {
    gSeen.clear();
    Smachine* s = connected(c.requirements, c.owned, c.state);
    s->vact = c.vact;
    tls()->spdu.reason = 7;
    EXPECT_EQ(run(s, static_cast<uint32_t>(c.event), nullptr), c.result) << int(c.state) << " " << c.event;
    EXPECT_EQ(s->state, c.newState) << int(c.state) << " " << c.event;
    ASSERT_EQ(gSeen.size(), c.indication != 0 ? 1u : 0u) << int(c.state) << " " << c.event;
    if (c.indication != 0) {
      EXPECT_EQ(gSeen[0].sidu.event, c.indication);
    }
  }
}

TEST_F(XdataActions, CapabilityDataExchange) {
  const uint32_t units = kHalfDuplex | SR_ACTIVITY | SR_CAPABILITY;
  Smachine* s = connected(units, TK_ALL);
  s->vact = 1;
  SIDU cd = request(kEvCapabilityReq, "c");
  EXPECT_EQ(run(s, kEvCapabilityReq, &cd), S_NO_EXPEDITED) << "not during an activity";
  s->vact = 0;
  ASSERT_EQ(run(s, kEvCapabilityReq, &cd), 0u);
  EXPECT_EQ(toHex(queued(s)), "01 00 3D 03 C1 01 63");  // GT, CD with user data "c"
  EXPECT_EQ(s->state, STA21);
  receive(s, hex("02 00 3E 00"));  // PT, CDA
  EXPECT_EQ(s->state, STA713);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_CD_CNF);

  gSeen.clear();
  Smachine* peer = connected(units, 0);
  receive(peer, hex("01 00 3D 00"));
  EXPECT_EQ(peer->state, STA22);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_CD_IND);
  SIDU answer = request(kEvCapabilityRsp);
  ASSERT_EQ(run(peer, kEvCapabilityRsp, &answer), 0u);
  EXPECT_EQ(toHex(queued(peer)), "02 00 3E 00");
  EXPECT_EQ(peer->state, STA713);
}

TEST(XdataOverTp0, ExpeditedDataIsNeverInUseAfterAConnect) {
  SessionWire w;
  SAddress peer{};
  peer.ssap = w.selector(SessionWire::B).ssap;
  SIDU req{};
  req.requirements = SR_DUPLEX | SR_EXPEDITED;
  req.version = 2;
  req.address = &peer;
  w.enter(SessionWire::A);
  ASSERT_NE(w.connect(&req), nullptr);
  w.pump();
  SIDU acc{};
  acc.event = 13;
  acc.requirements = SR_DUPLEX;
  w.enter(SessionWire::B);
  ASSERT_EQ(w.request(SessionWire::B, &acc), 1);
  w.pump();
  Smachine* a = w.connection(SessionWire::A);
  ASSERT_EQ(a->state, STA713);
  EXPECT_EQ(a->texp, 0);
  EXPECT_EQ(a->requirements & SR_EXPEDITED, 0u);
  w.enter(SessionWire::A);
  SIDU ex{};
  ex.event = kEvExpedited;
  ex.userData = w.buffer("urgent");
  EXPECT_EQ(w.request(SessionWire::A, &ex), 0);
  EXPECT_EQ(QvGetSessionError(), S_NO_EXPEDITED);
  s_freeChain(ex.userData);
}

}  // namespace
