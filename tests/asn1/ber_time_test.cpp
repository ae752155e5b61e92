// UTCTime and GeneralizedTime contents against their text forms (X.680,
// X.690).
#include "asn1/codec_fixture.h"

namespace {

using BerTimes = CodecTest;

Bytes utc(const std::string& s) { return Bytes{0x17, static_cast<uint8_t>(s.size())} + text(s); }
Bytes gen(const std::string& s) { return Bytes{0x18, static_cast<uint8_t>(s.size())} + text(s); }

struct Fields {
  uint32_t year, month, day, hour, min, sec, msec;
  int32_t offHour, offMin;
  uint32_t zone;
};

Fields fieldsOf(const BerTime& t) {
  return {t.year, t.month, t.day, t.hour, t.min, t.sec, t.msec, t.offHour, t.offMin, t.zone};
}

bool operator==(const Fields& a, const Fields& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.min == b.min &&
         a.sec == b.sec && a.msec == b.msec && a.offHour == b.offHour && a.offMin == b.offMin && a.zone == b.zone;
}

std::ostream& operator<<(std::ostream& os, const Fields& f) {
  return os << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.min << ":" << f.sec << "."
            << f.msec << " zone " << f.zone << " " << f.offHour << "/" << f.offMin;
}

TEST_F(BerTimes, UtcTimeLengthsAndZones) {
  struct Case {
    std::string in;
    Fields want;
  };
  const Case cases[] = {
      {"9912312359Z", {99, 11, 31, 23, 59, 0, 0, 0, 0, 1}},
      {"991231235930Z", {99, 11, 31, 23, 59, 30, 0, 0, 0, 1}},
      {"991231235930+0130", {99, 11, 31, 23, 59, 30, 0, 1, 30, 1}},
      {"9912312359-1200", {99, 11, 31, 23, 59, 0, 0, -12, 0, 1}},
      {"0001010000z", {0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    BerTime t{};
    EXPECT_EQ(readOne(utc(c.in), [&] { ber_getutc(&t); }), 0) << c.in;
    EXPECT_EQ(fieldsOf(t), c.want) << c.in;
  }
}

TEST_F(BerTimes, UtcTimeErrors) {
  struct Case {
    std::string in;
    int32_t code;
    uint32_t line;
  };
  const Case cases[] = {
      {"991231235930", 25, 199},     // 12 octets
      {"9912312359301", 14, 210},    // 13 octets without a zone
      {"99123123593", 14, 210},      // 11 octets, the last a digit: no zone where one must be
      {"9912312359Z0000", 25, 108},  // something after the zone
      {"9913312359Z", 33, 140},      // month 13
      {"9912312460Z", 33, 140},      // minute 60
      {"99123123A9Z", 33, 116},      // not a digit
      {"9912312359+1400", 33, 140},  // +14 hours
      {"9912312359-1300", 33, 140},  // -13 hours
      {"", 25, 133},
  };
  for (const Case& c : cases) {
    BerTime t{};
    EXPECT_EQ(readOne(utc(c.in), [&] { ber_getutc(&t); }), c.code) << c.in;
    if (c.line != 0) {
      EXPECT_EQ(aaline, c.line) << c.in;
    }
  }
  BerTime t{};
  EXPECT_EQ(readOne(hex("37 03 04 01 39"), [&] { ber_getutc(&t); }), 20) << "constructed";
}

TEST_F(BerTimes, UtcTimeIsWrittenWithTwoDigitFields) {
  BerTime t{30, 59, 23, 31, 11, 1999, 0, 0, 0, 1};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 23, ber_addutc(&t)); }), utc("991231235930Z"));
  t.offHour = 1;
  t.offMin = 30;
  EXPECT_EQ(formatted([&] { return ber_addid(0, 23, ber_addutc(&t)); }), utc("991231235930+0130"));
  t.offHour = -5;
  t.offMin = 0;
  EXPECT_EQ(formatted([&] { return ber_addid(0, 23, ber_addutc(&t)); }), utc("991231235930-0500"));
  t.offHour = 1;
  t.offMin = -30;
  EXPECT_EQ(formatError([&] { return ber_addutc(&t); }), 14u) << "offsets of different signs";
  BerTime bad{100, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(formatError([&] { return ber_addutc(&bad); }), 1u) << "a field of three digits";
}

TEST_F(BerTimes, GeneralizedTimeFractionsOfEachField) {
  struct Case {
    std::string in;
    Fields want;
  };
  const Case cases[] = {
      {"19991231235930.5Z", {1999, 11, 31, 23, 59, 30, 500, 0, 0, 1}},
      {"1999123123.5", {1999, 11, 31, 23, 30, 0, 0, 0, 0, 0}},
      {"1999123123,25Z", {1999, 11, 31, 23, 15, 0, 0, 0, 0, 1}},
      {"199912312359.5", {1999, 11, 31, 23, 59, 30, 0, 0, 0, 0}},
      {"19991231235930", {1999, 11, 31, 23, 59, 30, 0, 0, 0, 0}},
      {"1999123123", {1999, 11, 31, 23, 0, 0, 0, 0, 0, 0}},
      {"1999123123Z", {1999, 11, 31, 23, 0, 0, 0, 0, 0, 1}},
      {"19991231235930.25+0100", {1999, 11, 31, 23, 59, 30, 250, 1, 0, 1}},
      {"19991231235930.1234", {1999, 11, 31, 23, 59, 30, 123, 0, 0, 0}},
      // Fraction digits past the ninth are read and ignored.
      {"19991231235930.123456789123456789Z", {1999, 11, 31, 23, 59, 30, 123, 0, 0, 1}},
      {"1999123123.99999999999999999999", {1999, 11, 31, 23, 59, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    BerTime t{};
    EXPECT_EQ(readOne(gen(c.in), [&] { ber_gettime(&t); }), 0) << c.in;
    EXPECT_EQ(fieldsOf(t), c.want) << c.in;
  }
}

TEST_F(BerTimes, GeneralizedTimeErrors) {
  struct Case {
    std::string in;
    int32_t code;
  };
  const Case cases[] = {
      {"19991231235930X", 11},  {"19991231235930.5X", 11}, {"1999123123.", 33},
      {"19991231235960", 33},   {"1999123124", 33},        {"1999123", 33},
      {"19991231235930Z1", 25}, {"", 25},
  };
  for (const Case& c : cases) {
    BerTime t{};
    EXPECT_EQ(readOne(gen(c.in), [&] { ber_gettime(&t); }), c.code) << c.in;
  }
}

TEST_F(BerTimes, GeneralizedTimeWritesTheZoneOnlyWhenGiven) {
  BerTime t{30, 59, 23, 31, 11, 1999, 500, 0, 0, 0};
  EXPECT_EQ(formatted([&] { return ber_addid(0, 24, ber_addtime(&t)); }), gen("19991231235930"));
  t.zone = 1;
  EXPECT_EQ(formatted([&] { return ber_addid(0, 24, ber_addtime(&t)); }), gen("19991231235930Z"));
  t.offHour = -2;
  t.offMin = -15;
  EXPECT_EQ(formatted([&] { return ber_addid(0, 24, ber_addtime(&t)); }), gen("19991231235930-0215"));
  t.offMin = 15;
  EXPECT_EQ(formatError([&] { return ber_addtime(&t); }), 14u);
  EXPECT_EQ(formatted([] { return ber_addmsec(42); }), text("042"));
}

}  // namespace
