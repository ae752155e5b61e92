// The SPDU reader against units written out by hand from the SPDU coding:
// SI, LI (one octet, or FF and two octets), then code-LI-value parameters.
#include "spdu_fixture.h"
#include "src/session/session_ind.h"

namespace {

constexpr const char* kAbortProtocolError = "19 03 11 01 05";  // AB, PI 17 = 5

class SpduReader : public SpduTest {
 protected:
  void SetUp() override {
    SpduTest::SetUp();
    user_ = registerUser(selector({0x00, 0x02}));
  }
  // A connection in `state` owned by the test's user, with every action
  // recording its event.
  Smachine* recording(uint8_t state) {
    recordEvents();
    return connection(state, user_);
  }
  // The reader refused the unit: AB with value 5 queued, STA16.
  void expectAborted(Smachine* s, const std::string& what) {
    EXPECT_EQ(s->state, STA16) << what;
    EXPECT_EQ(toHex(queued(s)), kAbortProtocolError) << what;
  }
  SpduArea& area() { return tls()->spdu; }
  SsUser* user_ = nullptr;
};

TEST_F(SpduReader, ThreeOctetLengthBelow255IsBadAnd255IsALength) {
  Smachine* s = recording(STA03);
  receive(s, hex("0A FF 00 FE") + std::string(254, '\0'));
  expectAborted(s, "LI FF 00 FE");
  EXPECT_TRUE(gEvents.empty());

  // DN whose parameter field is 255 octets: PI 193 holding 253 octets.
  Smachine* s2 = recording(STA03);
  receive(s2, hex("0A FF 00 FF C1 FD") + std::string(253, 'u'));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_DN}));
  EXPECT_EQ(s2->state, STA03);
  EXPECT_TRUE(queued(s2).empty());
}

TEST_F(SpduReader, ConnectAcceptItemNeedsItsVersionAndAConnectWithoutItIsVersionOne) {
  Smachine* s = recording(STA01C);
  receive(s, hex("0D 05 05 03 13 01 00"));  // PGI 5 with PI 19 only
  expectAborted(s, "PGI 5 without PI 22");
  EXPECT_TRUE(gEvents.empty());

  Smachine* s2 = recording(STA01C);
  area().version = 7;
  receive(s2, hex("0D 00"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_CN}));
  EXPECT_EQ(area().version, 1);
  EXPECT_EQ(area().requirements, kDefaultRequirements);
  EXPECT_EQ(area().serial, kNoSerial);

  Smachine* s3 = recording(STA01C);
  receive(s3, hex("0D 08 05 06 13 01 00 16 01 00"));  // version item 0
  expectAborted(s3, "version 0");
}

TEST_F(SpduReader, ConnectUserDataTakesOneOfTheTwoFormsWithinItsLimits) {
  struct Case {
    std::string unit;
    bool accepted;
    uint32_t dataLength;
  };
  const Case cases[] = {
      {hex("0D 08 C1 02 61 62 C2 03 61 62 63"), false, 0},                 // both 193 and 194
      {hex("0D FF 02 04 C2 FF 02 00") + std::string(512, 'x'), false, 0},   // 194 of 512
      {hex("0D FF 02 05 C1 FF 02 01") + std::string(513, 'x'), false, 0},   // 193 of 513
      {hex("0D FF 02 04 C1 FF 02 00") + std::string(512, 'x'), true, 512},  // 193 of 512
      {hex("0D FF 02 05 C2 FF 02 01") + std::string(513, 'x'), true, 513},  // 194 of 513
  };
  for (const Case& c : cases) {
    gEvents.clear();
    Smachine* s = recording(STA01C);
    receive(s, c.unit);
    if (c.accepted) {
      EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_CN})) << toHex(c.unit.substr(0, 8));
      EXPECT_EQ(s->state, STA01C);
    } else {
      EXPECT_TRUE(gEvents.empty());
      expectAborted(s, toHex(c.unit.substr(0, 8)));
    }
  }
}

TEST_F(SpduReader, ConnectFollowedByAnyOctetIsBad) {
  Smachine* s = recording(STA01C);
  receive(s, hex("0D 00 00"));
  expectAborted(s, "CN + 00");
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(SpduReader, GiveTokensBeforeDataRaisesItsEventOnlyWithATokenAndAfterTheData) {
  Smachine* s = recording(STA713);
  receive(s, hex("01 00 01 00 61 62 63"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_DT}));

  gEvents.clear();
  receive(s, hex("01 03 10 01 01 01 00 61 62 63"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_DT, EV_GT}));
  EXPECT_EQ(area().tokenItem, 0x01);
  EXPECT_EQ(s->state, STA713);
}

TEST_F(SpduReader, DataReachesTheUserAndEveryReceivedBufferIsFreed) {
  Smachine* s = connection(STA713, user_);
  s->requirements = SR_DUPLEX;
  s->notOwned = 0xFF;
  receive(s, hex("01 00 01 00 61 62 63"));
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_DT_IND);
  EXPECT_EQ(gSeen[0].dataLength, 3u);
  EXPECT_TRUE(gSeen[0].dataStandsAlone);
  EXPECT_EQ(QvGetSbCount(), 0) << "every received buffer was freed";
}

TEST_F(SpduReader, AcceptWithATokenItemAsksForTokensAfterItsOwnEvent) {
  Smachine* s = recording(STA02A);
  receive(s, hex("0E 03 10 01 01"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_AC, EV_PT}));
}

TEST_F(SpduReader, MinorSyncTypeMustBeOneWhenPresent) {
  Smachine* s = recording(STA713);
  receive(s, hex("01 00 31 06 0F 01 00 2A 01 35"));
  expectAborted(s, "PI 15 = 0");
  EXPECT_TRUE(gEvents.empty());

  Smachine* s2 = recording(STA713);
  receive(s2, hex("01 00 31 03 2A 01 35"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_MIP}));
  EXPECT_EQ(area().serial, 5u);
  EXPECT_EQ(area().syncType, 0);
}

TEST_F(SpduReader, SerialNumbersAreOneToSixDigits) {
  const std::pair<const char*, bool> cases[] = {
      {"01 00 31 08 2A 06 39 39 39 39 39 39", true},
      {"01 00 31 09 2A 07 31 32 33 34 35 36 37", false},
      {"01 00 31 05 2A 03 31 41 32", false},
  };
  for (const auto& [unit, accepted] : cases) {
    gEvents.clear();
    Smachine* s = recording(STA713);
    receive(s, hex(unit));
    if (accepted) {
      EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_MIP})) << unit;
      EXPECT_EQ(area().serial, 999999u);
    } else {
      expectAborted(s, unit);
    }
  }
}

TEST_F(SpduReader, ExpeditedAndPrepareOnTheNormalFlowAreBad) {
  for (const char* unit : {"05 00 61", "07 03 18 01 01"}) {
    gEvents.clear();
    Smachine* s = recording(STA713);
    receive(s, hex(unit));
    expectAborted(s, unit);
    EXPECT_TRUE(gEvents.empty());
  }
  Smachine* s = recording(STA713);
  receive(s, hex("07 03 18 01 04"), SPDU_EXPEDITED);
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_PR_AB}));
}

TEST_F(SpduReader, BadUnitOnAnIdleTransportConnectionAbortsWithoutIndication) {
  Smachine* s = connection(STA01C, user_);
  receive(s, hex("0D 03 14 01 00"));  // PI 20 of one octet
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(toHex(queued(s)), kAbortProtocolError);
  EXPECT_TRUE(gSeen.empty());
}

TEST_F(SpduReader, BadUnitInDataTransferGivesProviderAbortReasonFour) {
  Smachine* s = connection(STA713, user_);
  receive(s, hex("0A 02 19 01"));
  EXPECT_EQ(s->state, STA16);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_PAB_IND);
  EXPECT_EQ(gSeen[0].sidu.reason, 4u);
}

TEST_F(SpduReader, BadUnitOnACallingConnectionSendsNoAbort) {
  Smachine* s = connection(STA713, user_);
  s->texp = 1;  // the abort would take the expedited flow, which is not offered
  receive(s, hex("0A 02 19 01"));
  EXPECT_EQ(s->state, STA16);
  EXPECT_TRUE(queued(s).empty());
}

TEST_F(SpduReader, BadUnitIsIgnoredWhereNoConnectionIsUp) {
  for (uint8_t state : {STA01B, STA16}) {
    Smachine* s = recording(state);
    receive(s, hex("0A 02 19 01"));
    EXPECT_EQ(s->state, state);
    EXPECT_TRUE(queued(s).empty());
  }
}

TEST_F(SpduReader, CodesMustRiseStrictly) {
  Smachine* s = recording(STA713);
  receive(s, hex("02 06 10 01 01 10 01 01"));
  expectAborted(s, "16, 16");
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(SpduReader, NoValueIsReadBeyondItsGroupSpduOrUnit) {
  // Each unit claims a value longer than what encloses it.
  const char* cases[] = {
      "0D 04 01 02 09 40",           // PI 9 of 64 octets in a group of 2
      "0D 06 01 02 09 02 41 42",     // PI 9 of 2 octets runs past its group
      "0A 04 C1 10 41 42",           // user data of 16 in an SPDU of 4
      "0A 10 C1 02 41 42",           // SPDU of 16 in a unit of 6
      "0D 05 05 03 16 FF 01",        // three-octet LI cut short
      "0D",                          // no LI at all
      "0E 04 34 10 00 00",           // responding selector of 16, 2 there
      "01 00 01",                    // second SPDU without its LI
      "01 00 1D 05 21 03 2A 01 31",  // AR: linking group without PI 41
  };
  for (const char* unit : cases) {
    gEvents.clear();
    Smachine* s = recording(unit[1] == 'D' || unit[1] == 'E' ? STA01C : STA713);
    if (unit[1] == 'E') s->state = STA02A;
    receive(s, hex(unit));
    EXPECT_TRUE(gEvents.empty()) << unit;
    EXPECT_EQ(s->state, STA16) << unit;
  }
}

TEST_F(SpduReader, EmptyUnitIsBad) {
  Smachine* s = recording(STA713);
  receive(s, "");
  expectAborted(s, "empty");
}

TEST_F(SpduReader, ParametersOfAConnectLandInTheArea) {
  Smachine* s = recording(STA01C);
  // PGI 1 (calling ref "AB", common "C"), PGI 5 (options 0, TSDU max, version
  // 2, ISN "12", token setting 0x15), PI 20 = 0x0009, PI 51 = 00 01,
  // PI 52 = 00 02, unknown PI 99 skipped, PI 193 "hi".
  receive(s, hex("0D 31 01 07 0A 02 41 42 0B 01 43 05 13 13 01 00 15 04 00 00 10 00 16 01 02 17 02 31 32 "
                 "1A 01 15 14 02 00 09 33 02 00 01 34 02 00 02 63 01 FF C1 02 68 69"));
  ASSERT_EQ(gEvents, (std::vector<int32_t>{EV_CN}));
  const SpduArea& a = area();
  EXPECT_EQ(a.cid.callingLen, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.cid.calling), 2), "AB");
  EXPECT_EQ(a.cid.commonLen, 1u);
  EXPECT_EQ(a.cid.calledLen, 0u);
  EXPECT_EQ(a.version, 2);
  EXPECT_EQ(a.serial, 12u);
  EXPECT_EQ(a.tokenSetting, 0x15);
  EXPECT_EQ(a.requirements, 9u);
  EXPECT_EQ(a.calling.ssap.len, 2);
  EXPECT_EQ(a.calling.ssap.sel[1], 0x01);
  EXPECT_EQ(a.called.ssap.sel[1], 0x02);
}

TEST_F(SpduReader, AbortRuleWeighsUserDataKindAndExpeditedFlag) {
  struct Case {
    const char* unit;
    uint8_t texp;
    uint32_t kind;
    int32_t event;  // -1: refused
  };
  const std::string ten = "C1 0A 30 31 32 33 34 35 36 37 38 39";
  const Case cases[] = {
      {"19 03 11 01 03", 0, SPDU_NORMAL, EV_AB_REL},
      {"19 03 11 01 02", 0, SPDU_NORMAL, EV_AB_KEEP},
      {"19 03 11 01 03", 1, SPDU_NORMAL, -1},  // a short AB must come expedited
      {"19 03 11 01 03", 1, SPDU_EXPEDITED, EV_AB_REL},
      {"19 00", 0, SPDU_NORMAL, -1},  // PI 17 is mandatory
  };
  for (const Case& c : cases) {
    gEvents.clear();
    Smachine* s = recording(STA713);
    s->texp = c.texp;
    s->version = 2;
    receive(s, hex(c.unit), c.kind);
    if (c.event >= 0) EXPECT_EQ(gEvents, (std::vector<int32_t>{c.event})) << c.unit;
    else EXPECT_EQ(s->state, STA16) << c.unit;
  }
  // Ten octets of user data (with the user-abort bit) in version 2.
  gEvents.clear();
  Smachine* s = recording(STA713);
  s->version = 2;
  receive(s, hex("19 0F 11 01 03 " + ten));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_AB_REL}));
}

TEST_F(SpduReader, DataThatEndsTheConnectionStopsThePair) {
  // GT with a token item + DT on an idle transport connection: the DT ends
  // the connection, and the GT's event must not run on the freed record.
  Smachine* s = connection(STA01C, user_);
  s->acc = 1;
  receive(s, hex("01 03 10 01 01 01 00 61"));
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(gTpi.calls, (std::vector<std::string>{"disconnect"}));
}

TEST_F(SpduReader, MajorSyncAndActivityEndShareTheirCode) {
  Smachine* s = recording(STA713);
  receive(s, hex("01 00 29 06 0F 01 01 2A 01 35"));
  receive(s, hex("01 00 29 03 2A 01 35"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_MAP, EV_AE}));

  gEvents.clear();
  s->state = STA04A;
  s->requirements = SR_MAJORSYNC;
  receive(s, hex("02 00 2A 03 2A 01 35"));
  s->state = STA04B;
  s->requirements = SR_ACTIVITY;
  receive(s, hex("02 00 2A 03 2A 01 35"));
  EXPECT_EQ(gEvents, (std::vector<int32_t>{EV_MAA, EV_AEA}));
}

TEST_F(SpduReader, SecondSpduMustBeOneThatMayFollowTheFirst) {
  for (const char* unit : {"01 00 30 03 32 01 01", "02 00 01 00 61", "01 00 3F 00"}) {
    Smachine* s = recording(STA713);
    receive(s, hex(unit));
    EXPECT_EQ(s->state, STA16) << unit;
  }
}

}  // namespace
