// RTSE APDUs: the SET APDUs with their defaults, duplicates and unknown
// elements, ConnectionData and the session connection identifier. Octets
// worked out by hand from X.690 and the ASN.1 of ISO 9066-2.
#include <functional>

#include "asn1/codec_fixture.h"
#include "src/asn1/rtse.h"

namespace {

class Rtse : public CodecTest {
 protected:
  void TearDown() override {
    aaextensibility = 0;
    aafreeall(aagetlist());
    CodecTest::TearDown();
  }
  // An APDU read with aRTS_apdus; the code of the pass in *err.
  static RTS_apdus* decode(const Bytes& bytes, int32_t* err) {
    SessionBuffer* chain = chainOf({bytes});
    RTS_apdus* out = nullptr;
    *err = parse(chain, [&] { out = aRTS_apdus(); });
    freeChain(chain);
    return out;
  }
  static int32_t decodeError(const Bytes& bytes) {
    int32_t err = 0;
    decode(bytes, &err);
    return err;
  }
};

// UTCTime 1999-12-31 23:59:30 UTC as written: 13 octets.
const Bytes kUtc = hex("17 0D 39 39 31 32 33 31 32 33 35 39 33 30 5A");

TEST_F(Rtse, RequestWithOnlyConnectionDataTakesTheDefaults) {
  int32_t err = -1;
  RTS_apdus* a = decode(hex("B0 06 A3 04 A0 02 05 00"), &err);
  ASSERT_EQ(err, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->kind, RTS_RTORQ);
  EXPECT_EQ(a->rtorq.mask, RTS_RQ_CONNDATA);
  EXPECT_EQ(a->rtorq.checkpointSize, 0);
  EXPECT_EQ(a->rtorq.windowSize, 3);
  EXPECT_EQ(a->rtorq.dialogueMode, 0);
  EXPECT_EQ(a->rtorq.connectionData.kind, RTS_CD_OPEN);
  EXPECT_EQ(Bytes(a->rtorq.connectionData.open.pointer, a->rtorq.connectionData.open.pointer + 2), hex("05 00"));
}

TEST_F(Rtse, RequestCarryingOpenIsWrittenAsWorkedOut) {
  uint8_t null[] = {0x05, 0x00};
  RTS_apdus a{};
  a.kind = RTS_RTORQ;
  a.rtorq.mask = RTS_RQ_CONNDATA;
  a.rtorq.windowSize = 3;  // defaults are written only by their bits
  a.rtorq.connectionData.kind = RTS_CD_OPEN;
  a.rtorq.connectionData.open = BerAny{2, null};
  EXPECT_EQ(formatted([&] { return fRTS_apdus(&a); }), hex("B0 06 A3 04 A0 02 05 00"));
}

TEST_F(Rtse, ApdusRoundTrip) {
  EXPECT_TRUE(ct_valid(kRtsApdus));
  const Bytes cases[] = {
      hex("02 01 05"),        // rttp
      hex("04 02 01 02"),     // rttr
      hex("B0 14 80 01 01 81 01 02 82 01 01 A3 04 A0 02 05 00 84 03 01 00 01"),  // every RTORQ element
      hex("B1 0C 80 01 00 81 01 05 A2 04 A0 02 05 00"),                          // RTOAC
      hex("B2 07 80 01 02 A1 02 05 00"),                                         // RTORJ with user data
      hex("B6 0C 80 01 01 81 03 00 AB CD A2 02 05 00"),                          // RTAB
      Bytes{0xB0, 0x17, 0xA3, 0x15, 0xA1, 0x13, 0x14, 0x02, 0x61, 0x62} + kUtc,  // RTORQ, recover
  };
  for (const Bytes& wire : cases) {
    int32_t err = -1;
    RTS_apdus* a = decode(wire, &err);
    ASSERT_EQ(err, 0) << ::testing::PrintToString(wire);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(formatted([&] { return fRTS_apdus(a); }), wire);
  }
  int32_t err = -1;
  RTS_apdus* ab = decode(hex("B6 0C 80 01 01 81 03 00 AB CD A2 02 05 00"), &err);
  ASSERT_NE(ab, nullptr);
  EXPECT_EQ(ab->rtab.mask, 7u);
  EXPECT_EQ(ab->rtab.reflectedParameter, 0xCDABu) << "the first octet is the word's low octet";
}

TEST_F(Rtse, MalformedApdusAreRefused) {
  struct Case {
    const char* what;
    Bytes wire;
    int32_t err;
  };
  const Case cases[] = {
      {"RTOAC without [2]", hex("B1 03 80 01 01"), AAE_MSGPARAM},
      {"RTORQ without [3]", hex("B0 03 80 01 01"), AAE_MSGPARAM},
      {"RTORJ without [0]", hex("B2 00"), AAE_MSGPARAM},
      {"RTAB with [1] twice", hex("B6 0A 81 03 00 AB CD 81 03 00 AB CD"), AAE_DUPPARAM},
      {"RTORQ with [3] twice", hex("B0 0C A3 04 A0 02 05 00 A3 04 A0 02 05 00"), AAE_DUPPARAM},
      {"RTORQ with an unknown element", hex("B0 09 89 01 00 A3 04 A0 02 05 00"), AAE_NOTINSET},
      {"RTORJ user data wrapper with more", hex("B2 09 80 01 02 A1 04 05 00 05 00"), AAE_REQEOC},
      {"RTORJ empty user data wrapper", hex("B2 05 80 01 02 A1 00"), AAE_MSGPARAM},
      {"RTORQ [3] holding no ConnectionData", hex("B0 02 A3 00"), AAE_MSGPARAM},
      {"RTORQ [3] holding [2]", hex("B0 04 A3 02 82 00"), AAE_NOTINCHOICE},
      {"unknown APDU", hex("B3 00"), AAE_NOTINCHOICE},
      {"rttr of 17 octets", tlv(0x04, Bytes(17, 0x01)), AAE_OVFLO},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeError(c.wire), c.err) << c.what;
}

TEST_F(Rtse, UnknownElementsAreSkippedWithExtensibility) {
  aaextensibility = 1;
  int32_t err = -1;
  RTS_apdus* a = decode(hex("B0 09 89 01 00 A3 04 A0 02 05 00"), &err);
  ASSERT_EQ(err, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->rtorq.mask, RTS_RQ_CONNDATA);
  EXPECT_EQ(aaextensibility, 1u) << "kept as it was";

  // An unknown APDU keeps its type code and cannot be written.
  a = decode(hex("B3 03 02 01 05"), &err);
  ASSERT_EQ(err, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->kind, 0x4013u);
  EXPECT_EQ(formatError([&] { return fRTS_apdus(a); }), AAE_NONSPEC);

  EXPECT_EQ(decode(Bytes{}, &err), nullptr) << "no element";
  EXPECT_EQ(err, 0);
}

TEST_F(Rtse, RefusalAlwaysWritesItsReason) {
  RtoRJapdu rj{};
  rj.refuseReason = 2;
  EXPECT_EQ(formatted([&] { return fRtoRJapdu(&rj); }), hex("80 01 02"));
}

TEST_F(Rtse, SessionConnectionIdentifierForms) {
  const Bytes t61 = hex("14 02 61 62") + kUtc;
  RtsSessConnId s{};
  s.mask = 0xFF;
  EXPECT_EQ(readOne(tlv(0x30, t61), [&] { aRtsSessConnId(&s); }), 0);
  EXPECT_EQ(s.mask, 0u);
  EXPECT_EQ(s.callingRef.kind, RTS_REF_T61);
  EXPECT_STREQ(s.callingRef.text, "ab");
  EXPECT_EQ(s.commonRef.year, 99u);
  EXPECT_EQ(s.commonRef.month, 11u);
  EXPECT_EQ(s.commonRef.sec, 30u);
  EXPECT_EQ(formatted([&] { return fRtsSessConnId(&s); }), t61);

  const Bytes octets = hex("04 02 01 02") + kUtc + hex("80 01 63");
  EXPECT_EQ(readOne(tlv(0x30, octets), [&] { aRtsSessConnId(&s); }), 0);
  EXPECT_EQ(s.mask, RTS_SCI_ADDITIONAL);
  EXPECT_EQ(s.callingRef.kind, RTS_REF_OCTETS);
  EXPECT_EQ(s.callingRef.octets.length, 2u);
  EXPECT_STREQ(s.additional, "c");
  EXPECT_EQ(formatted([&] { return fRtsSessConnId(&s); }), octets);

  EXPECT_EQ(readOne(tlv(0x30, hex("02 01 05") + kUtc), [&] { aRtsSessConnId(&s); }), AAE_NOTINCHOICE);
  EXPECT_EQ(readOne(hex("30 04 14 02 61 62"), [&] { aRtsSessConnId(&s); }), AAE_MSGPARAM) << "no UTCTime";
  EXPECT_EQ(readOne(tlv(0x30, tlv(0x14, text("0123456789abcdef")) + kUtc), [&] { aRtsSessConnId(&s); }), AAE_OVFLO)
      << "16 characters do not fit the 16-octet buffer with its NUL";
  const Bytes extra = tlv(0x30, t61 + hex("05 00"));
  EXPECT_EQ(readOne(extra, [&] { aRtsSessConnId(&s); }), AAE_REQEOC);
  aaextensibility = 1;
  EXPECT_EQ(readOne(extra, [&] { aRtsSessConnId(&s); }), 0) << "the rest skipped";

  s.callingRef.kind = 5;
  EXPECT_EQ(formatError([&] { return fRtsSessConnId(&s); }), AAE_NONSPEC);
  RtsConnectionData cd{};
  cd.kind = 16386;
  EXPECT_EQ(formatError([&] { return fRtsConnectionData(&cd); }), AAE_NONSPEC);
}

TEST_F(Rtse, ConnectionDataAbsentGivesZero) {
  RtsConnectionData cd{};
  cd.kind = 77;
  uint32_t got = 1;
  SessionBuffer* chain = chainOf({Bytes{}});
  EXPECT_EQ(parse(chain, [&] { got = aRtsConnectionData(&cd); }), 0);
  freeChain(chain);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(cd.kind, 77u);
}

}  // namespace
