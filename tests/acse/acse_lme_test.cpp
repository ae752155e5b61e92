// ACSE layer management: counters moved by the counting codec wrappers,
// thresholds and the manager's callback, attributes and profiles.
#include <vector>

#include "acse/acse_fixture.h"
#include "src/acse/acse_lme.h"

namespace {

struct Call {
  uint32_t attribute;
  uint32_t count;
  uint32_t zero;
  AcseTLS* tls;
};
std::vector<Call> gCalls;
void record(uint32_t attribute, uint32_t count, uint32_t zero, AcseTLS* tls) {
  gCalls.push_back({attribute, count, zero, tls});
}

class AcseLme : public AcseCodec {
 protected:
  void SetUp() override {
    AcseCodec::SetUp();
    gCalls.clear();
    ac_lme_init(record, nullptr, nullptr);
  }
  // Reads `bytes` through the counting decoder.
  static void receive(const Bytes& bytes) {
    SessionBuffer* chain = chainOf({bytes});
    EXPECT_EQ(parse(chain, [] { EXPECT_NE(aACSE(nullptr), nullptr); }), 0);
    freeChain(chain);
  }
  static void send(AcseApdu* apdu) {
    EXPECT_FALSE(formatted([&] { return fACSE(apdu); }).empty());
  }
  static uint32_t attr(uint32_t id) {
    uint32_t v = 0xDEAD;
    EXPECT_EQ(ac_lme_get_attr(id, &v), 1);
    return v;
  }
  static Bytes aare(uint8_t result, uint8_t sourceTag) {
    return tlv(0x61, acsebytes::kContextName + hex("A2 03 02 01") + Bytes{result} +
                         tlv(0xA3, tlv(sourceTag, hex("02 01 01"))));
  }
};

const Bytes kProviderAbrt = hex("64 03 80 01 01");

TEST_F(AcseLme, ThresholdCallsTheManagerAtEachMultiple) {
  ASSERT_EQ(ac_lme_set_attr(AC_LME_ABRT_RCV_PROVIDER_THR, 3), 1);
  for (int i = 0; i < 7; ++i) receive(kProviderAbrt);
  receive(hex("64 03 80 01 00"));  // a user abort is not counted
  EXPECT_EQ(attr(AC_LME_ABRT_RCV_PROVIDER), 7u);
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[0].attribute, AC_LME_ABRT_RCV_PROVIDER);
  EXPECT_EQ(gCalls[0].count, 3u);
  EXPECT_EQ(gCalls[1].count, 6u);
  EXPECT_EQ(gCalls[1].zero, 0u);
  EXPECT_EQ(gCalls[1].tls, getAcseTLS(0));
}

TEST_F(AcseLme, ThresholdZeroNeverCalls) {
  for (int i = 0; i < 5; ++i) acAcpmAbrSnd();
  for (int i = 0; i < 5; ++i) acaPAborts();
  EXPECT_TRUE(gCalls.empty());
  EXPECT_EQ(attr(AC_LME_ABRT_SND_PROVIDER), 5u);
  EXPECT_EQ(attr(AC_LME_P_ABORTS), 5u);
  // Without a callback a threshold reached calls nothing.
  ac_lme_init(nullptr, nullptr, nullptr);
  ASSERT_EQ(ac_lme_set_attr(AC_LME_P_REJECTS_THR, 1), 1);
  acaAsPRej();
  EXPECT_EQ(attr(AC_LME_P_REJECTS), 1u);
}

TEST_F(AcseLme, RejectingAaresAreCountedBySource) {
  receive(aare(2, 0xA1));  // transient, service user
  EXPECT_EQ(attr(AC_LME_REJ_RCV), 1u);
  EXPECT_EQ(attr(AC_LME_REJ_RCV_PROVIDER), 0u);
  receive(aare(1, 0xA2));  // permanent, service provider
  EXPECT_EQ(attr(AC_LME_REJ_RCV), 2u);
  EXPECT_EQ(attr(AC_LME_REJ_RCV_PROVIDER), 1u);
  receive(aare(0, 0xA2));  // accepted
  EXPECT_EQ(attr(AC_LME_REJ_RCV), 2u);

  int32_t err = -1;
  AcseApdu* sent = decode(aare(1, 0xA2), &err);
  ASSERT_NE(sent, nullptr) << err;
  send(sent);
  sent->aare.resultSource = AC_SOURCE_USER;
  send(sent);
  EXPECT_EQ(attr(AC_LME_REJ_SND), 2u);
  EXPECT_EQ(attr(AC_LME_REJ_SND_PROVIDER), 1u);
  AcseApdu* abrt = decode(kProviderAbrt, &err);
  ASSERT_NE(abrt, nullptr) << err;
  send(abrt);
  EXPECT_EQ(attr(AC_LME_ABRT_SND_PROVIDER), 1u);
  EXPECT_EQ(attr(AC_LME_ABRT_RCV_PROVIDER), 0u);
  // Nothing written, nothing counted.
  AcseApdu bad{};
  bad.code = 1;
  EXPECT_EQ(formatError([&] { return fACSE(&bad); }), AAE_NONSPEC);
  EXPECT_EQ(attr(AC_LME_REJ_SND), 2u);
}

TEST_F(AcseLme, AttributesAndTheirErrors) {
  struct Case {
    uint32_t attribute;
    int32_t setResult;
    uint32_t setErrno;
    int32_t getResult;
    uint32_t getErrno;
  };
  const Case cases[] = {
      {0, 0, 12, 0, 12},
      {16384, 0, 15, 0, 15},
      {16385, 0, 15, 1, 0},
      {16386, 1, 0, 1, 0},
      {16390, 0, 15, 1, 0},
      {16398, 1, 0, 1, 0},
      {16399, 0, 15, 0, 15},
  };
  for (const Case& c : cases) {
    QvSetAcError(0);
    EXPECT_EQ(ac_lme_set_attr(c.attribute, 4), c.setResult) << c.attribute;
    EXPECT_EQ(QvGetAcError(), c.setErrno) << c.attribute;
    QvSetAcError(0);
    uint32_t v = 0;
    EXPECT_EQ(ac_lme_get_attr(c.attribute, &v), c.getResult) << c.attribute;
    EXPECT_EQ(QvGetAcError(), c.getErrno) << c.attribute;
    if (c.setResult == 1) {
      EXPECT_EQ(v, 4u) << c.attribute;
    }
  }
  QvSetAcError(0);
  EXPECT_EQ(ac_lme_get_attr(16385, nullptr), 0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_NULL_PARAMETER);
}

TEST_F(AcseLme, ProfilesAreKept) {
  const uint64_t a[2] = {1, 2}, b[2] = {3, 0xFFFFFFFFFFFFFFFFull};
  ac_lme_init(record, a, b);
  uint64_t ga[2] = {}, gb[2] = {};
  ASSERT_EQ(ac_lme_get_profile(ga, gb), 1);
  EXPECT_EQ(ga[1], 2u);
  EXPECT_EQ(gb[1], b[1]);
  QvSetAcError(0);
  EXPECT_EQ(ac_lme_get_profile(ga, nullptr), 0);
  EXPECT_EQ(QvGetAcError(), AC_ERR_NULL_PARAMETER);
}

}  // namespace
