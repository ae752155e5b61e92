// The SPDU builders against octets written out by hand from the SPDU coding.
#include "spdu_fixture.h"

namespace {

class SpduBuilder : public SpduTest {
 protected:
  void SetUp() override {
    SpduTest::SetUp();
    user_ = registerUser(selector({0x00, 0x01}));
    s_ = connection(STA713, user_);
    s_->version = 2;
  }
  std::string sent() { return toHex(queued(s_)); }

  SsUser* user_ = nullptr;
  Smachine* s_ = nullptr;
};

TEST_F(SpduBuilder, ConnectCarriesItsItemsInAscendingOrder) {
  s_->requirements = SR_DUPLEX;
  s_->version = 3;
  s_->peerAddr.ssap = selector({0x00, 0x02}).ssap;
  ScidBlock cid{};
  cid.calledLen = 1;  // a CN never carries the called reference
  cid.called[0] = 'Z';
  cid.callingLen = 2;
  cid.calling[0] = 'A';
  cid.calling[1] = 'B';
  cid.commonLen = 1;
  cid.common[0] = 'C';
  cid.additionalLen = 1;
  cid.additional[0] = 'D';
  EXPECT_EQ(pduCN(s_, 0, &cid, 0, bufferWith("hello CN")), 0u);
  EXPECT_EQ(sent(),
            "0D 2A "
            "01 0A 0A 02 41 42 0B 01 43 0C 01 44 "  // PGI 1: PIs 10, 11, 12
            "05 06 13 01 00 16 01 03 "              // PGI 5: options 0, version 3
            "14 02 00 02 "                          // requirements
            "33 02 00 01 "                          // calling selector
            "34 02 00 02 "                          // called selector
            "C1 08 68 65 6C 6C 6F 20 43 4E");
}

TEST_F(SpduBuilder, ConnectUserDataOver512TravelsAsExtendedUserData) {
  s_->requirements = SR_DUPLEX;
  EXPECT_EQ(pduCN(s_, 0, nullptr, 0, bufferWith(std::string(512, 'x'))), 0u);
  std::string q = queued(s_);
  EXPECT_EQ(toHex(q.substr(0, 16)), "0D FF 02 14 05 06 13 01 00 16 01 02 14 02 00 02");
  EXPECT_EQ(toHex(q.substr(16, 8)), "33 02 00 01 C1 FF 02 00");
  EXPECT_EQ(q.size(), 24u + 512u);

  Smachine* s2 = connection(STA713, user_);
  s2->requirements = SR_DUPLEX;
  s2->version = 2;
  EXPECT_EQ(pduCN(s2, 0, nullptr, 0, bufferWith(std::string(513, 'x'))), 0u);
  q = queued(s2);
  EXPECT_EQ(toHex(q.substr(0, 4)), "0D FF 02 15");
  EXPECT_EQ(toHex(q.substr(20, 4)), "C2 FF 02 01");
}

TEST_F(SpduBuilder, ConnectAcceptItemCarriesSerialNumberAndTokenSettingWhenTheUnitsNeedThem) {
  s_->requirements = SR_HALFDUPLEX | SR_MINORSYNC;
  s_->version = 2;
  EXPECT_EQ(pduCN(s_, 0x05, nullptr, 999999, balloc(0)), 0u);
  EXPECT_EQ(sent(),
            "0D 1B 05 11 13 01 00 16 01 02 17 06 39 39 39 39 39 39 1A 01 05 "
            "14 02 00 09 33 02 00 01");
}

TEST_F(SpduBuilder, LengthOf254IsOneOctetAnd255IsThree) {
  EXPECT_EQ(pduDN(s_, bufferWith(std::string(254, 'a'))), 0u);
  EXPECT_EQ(toHex(queued(s_).substr(0, 6)), "0A FF 01 00 C1 FE");
  Smachine* s2 = connection(STA713, user_);
  EXPECT_EQ(pduDN(s2, bufferWith(std::string(255, 'a'))), 0u);
  EXPECT_EQ(toHex(queued(s2).substr(0, 8)), "0A FF 01 03 C1 FF 00 FF");
}

TEST_F(SpduBuilder, SerialNumbersAreWrittenAsDecimalDigits) {
  EXPECT_EQ(pduMIP(s_, 0, 0, balloc(0)), 0u);
  EXPECT_EQ(sent(), "01 00 31 03 2A 01 30");
  Smachine* s2 = connection(STA713, user_);
  EXPECT_EQ(pduMIP(s2, 999999, 1, balloc(0)), 0u);
  EXPECT_EQ(toHex(queued(s2)), "01 00 31 0B 0F 01 01 2A 06 39 39 39 39 39 39");
}

TEST_F(SpduBuilder, RefuseForAnyReasonButTwoCarriesOnlyTheReasonOctet) {
  EXPECT_EQ(pduRF(s_, 0, nullptr, 132, bufferWith("xyz")), 0u);
  EXPECT_EQ(sent(), "0C 06 11 01 01 32 01 84");

  Smachine* s2 = connection(STA713, user_);
  s2->requirements = SR_DUPLEX;
  s2->version = 2;
  EXPECT_EQ(pduRF(s2, 1, nullptr, 2, bufferWith("xyz")), 0u);
  EXPECT_EQ(toHex(queued(s2)), "0C 10 11 01 00 14 02 00 02 16 01 02 32 04 02 78 79 7A");
}

TEST_F(SpduBuilder, DataGoesBehindAnEmptyGiveTokens) {
  EXPECT_EQ(pduDT(s_, bufferWith("0123456789")), 0u);
  const std::string q = queued(s_);
  EXPECT_EQ(q.size(), 14u);
  EXPECT_EQ(toHex(q), "01 00 01 00 30 31 32 33 34 35 36 37 38 39");
}

TEST_F(SpduBuilder, MajorSyncDiffersFromActivityEndOnlyBySyncType) {
  EXPECT_EQ(pduMAP(s_, 5, balloc(0)), 0u);
  Smachine* s2 = connection(STA713, user_);
  EXPECT_EQ(pduAE(s2, 5, balloc(0)), 0u);
  EXPECT_EQ(sent(), "01 00 29 06 0F 01 01 2A 01 35");
  EXPECT_EQ(toHex(queued(s2)), "01 00 29 03 2A 01 35");
}

TEST_F(SpduBuilder, ResynchronizeCarriesTokenSettingOnlyWhenTokensExist) {
  s_->av = 0;
  EXPECT_EQ(pduRS(s_, 0, 0x01, 7, balloc(0)), 0u);
  EXPECT_EQ(sent(), "01 00 35 06 1B 01 00 2A 01 37");
  Smachine* s2 = connection(STA713, user_);
  s2->av = 0x01;
  EXPECT_EQ(pduRS(s2, 0, 0x01, 7, balloc(0)), 0u);
  EXPECT_EQ(toHex(queued(s2)), "01 00 35 09 1A 01 01 1B 01 00 2A 01 37");
}

TEST_F(SpduBuilder, ReleaseAndAbortSpdus) {
  EXPECT_EQ(pduFN(s_, 0, bufferWith("ok")), 0u);
  EXPECT_EQ(pduAB(s_, 3, bufferWith("bye")), 0u);
  EXPECT_EQ(pduAA(s_, bufferWith("dropped")), 0u);
  EXPECT_EQ(pduGTA(s_, bufferWith("q")), 0u);
  int units = 0;
  EXPECT_EQ(toHex(queued(s_, &units)), "09 07 11 01 01 C1 02 6F 6B 19 08 11 01 03 C1 03 62 79 65 1A 00 16 01 71");
  EXPECT_EQ(units, 4);
}

TEST_F(SpduBuilder, ActivityResumeHoldsItsLinkingInformation) {
  ScidBlock cid{};
  cid.calledLen = 1;
  cid.called[0] = 'E';
  cid.callingLen = 1;
  cid.calling[0] = 'R';
  ActId oldId{1, {'o'}};
  ActId newId{2, {'n', 'w'}};
  EXPECT_EQ(pduAR(s_, &cid, &oldId, &newId, 41, balloc(0)), 0u);
  EXPECT_EQ(sent(), "01 00 1D 13 21 0D 09 01 45 0A 01 52 29 01 6F 2A 02 34 31 29 02 6E 77");
}

TEST_F(SpduBuilder, AbortTakesTheExpeditedFlowWithoutUserDataOrWhenShortWithExpedited) {
  EXPECT_EQ(pduAB(s_, 3, nullptr), 0u);
  s_->texp = 1;
  EXPECT_EQ(pduAB(s_, 3, bufferWith("short")), 0u);
  EXPECT_TRUE(queued(s_).empty());
  EXPECT_EQ(QvGetSbCount(), 0) << "the given buffer is freed";
  EXPECT_EQ(pduAB(s_, 3, bufferWith("0123456789")), 0u);
  EXPECT_EQ(toHex(queued(s_).substr(0, 6)), "19 0F 11 01 03 C1");
}

TEST_F(SpduBuilder, HeaderWithoutRoomInFrontGetsABufferOfItsOwn) {
  s_->requirements = SR_DUPLEX;
  s_->peerAddr.ssap = selector({0x00, 0x02}).ssap;
  SessionBuffer* full = balloc(-1);  // data start at the area's start
  ASSERT_NE(full, nullptr);
  ASSERT_EQ(full->data, full->area);
  std::memset(full->data, 'f', full->length);
  const uint32_t capacity = full->capacity;
  uint8_t* const area = full->area;
  EXPECT_EQ(pduCN(s_, 0, nullptr, 0, full), 0u);
  int units = 0;
  const std::string q = queued(s_, &units);
  EXPECT_EQ(units, 1) << "one unit in two buffers";
  EXPECT_EQ(toHex(q.substr(0, 24)), "0D FF 04 18 05 06 13 01 00 16 01 02 14 02 00 02 33 02 00 01 34 02 00 02");
  EXPECT_EQ(toHex(q.substr(24, 4)), "C2 FF 04 00");
  EXPECT_EQ(q.size(), 28u + 1024u);
  EXPECT_EQ(full->area, area);
  EXPECT_EQ(full->capacity, capacity);
  EXPECT_EQ(full->data, area);
}

TEST_F(SpduBuilder, NoBufferForAHeaderThatDoesNotFitGivesNoBuffer) {
  close_buffers();
  ASSERT_EQ(init_buffers(20, 64), 1);
  s_->requirements = SR_DUPLEX;
  ScidBlock cid{};
  cid.callingLen = 64;
  cid.commonLen = 64;
  SessionBuffer* full = balloc(-1);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(pduCN(s_, 0, &cid, 0, full), uint32_t{S_NO_BUFFER});
  EXPECT_TRUE(queued(s_).empty());
  EXPECT_EQ(full->data, full->area) << "the caller's buffer is left as it was";
  EXPECT_EQ(full->length, 64u);
}

TEST_F(SpduBuilder, EncodersWriteBackToFront) {
  SessionTLS* t = tls();
  uint8_t area[16] = {};
  t->writeBase = area;
  t->writePtr = area + sizeof area;
  t->writeOverflow = 0;
  EXPECT_EQ(add_ascii(0), 1u);
  EXPECT_EQ(add_int(2, 0x1234), 2u);
  EXPECT_EQ(add_id(0x2A, 3), 5u);
  EXPECT_EQ(toHex(std::string(reinterpret_cast<char*>(t->writePtr), area + sizeof area - t->writePtr)),
            "2A 03 12 34 30");
  EXPECT_EQ(add_blk(20, area), 0u) << "no room: nothing written";
  EXPECT_NE(t->writeOverflow, 0u);
  t->writeBase = t->writePtr = nullptr;
}

}  // namespace
