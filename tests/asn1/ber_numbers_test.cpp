// INTEGER, BOOLEAN, OBJECT IDENTIFIER and REAL contents against encodings
// worked out by hand from X.690.
#include <cmath>
#include <cstring>
#include <limits>

#include "asn1/codec_fixture.h"

namespace {

using BerNumbers = CodecTest;

struct ErrorCase {
  const char* what;
  Bytes in;
  int32_t code;
};

TEST_F(BerNumbers, IntegersReadAsTwosComplementOfAtMostFourOctets) {
  struct Case {
    Bytes in;
    int32_t want;
  };
  const Case cases[] = {
      {hex("02 01 FF"), -1},
      {hex("02 02 00 80"), 128},
      {hex("02 01 7F"), 127},
      {hex("02 01 80"), -128},
      {hex("02 02 FF 7F"), -129},
      {hex("02 00"), 0},
      {hex("02 04 7F FF FF FF"), INT32_MAX},
      {hex("02 04 80 00 00 00"), INT32_MIN},
      {hex("0A 01 03"), 3},  // ENUMERATED
  };
  for (const Case& c : cases) {
    int32_t got = 99;
    int32_t gotLong = 99;
    EXPECT_EQ(readOne(c.in, [&] { ber_getint(&got); }), 0);
    EXPECT_EQ(readOne(c.in, [&] { ber_getlong(&gotLong); }), 0);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(gotLong, c.want);
  }
}

TEST_F(BerNumbers, IntegerErrors) {
  const ErrorCase cases[] = {
      {"five octets", hex("02 05 01 02 03 04 05"), 1},
      {"constructed", hex("22 03 02 01 05"), 20},
  };
  for (const ErrorCase& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(readOne(c.in, [&] { ber_getint(&v); }), c.code) << c.what;
    EXPECT_STREQ(aafile, "src/rtp_inte");
  }
  int32_t v = 0;
  readOne(hex("02 05 01 02 03 04 05"), [&] { ber_getint(&v); });
  EXPECT_EQ(aaline, 93u);
  readOne(hex("02 05 01 02 03 04 05"), [&] { ber_getlong(&v); });
  EXPECT_EQ(aaline, 137u);
}

TEST_F(BerNumbers, IntegersAreWrittenInTheFewestOctets) {
  struct Case {
    int32_t v;
    Bytes want;
  };
  const Case cases[] = {
      {0, hex("02 01 00")},
      {127, hex("02 01 7F")},
      {128, hex("02 02 00 80")},
      {255, hex("02 02 00 FF")},
      {256, hex("02 02 01 00")},
      {-1, hex("02 01 FF")},
      {-128, hex("02 01 80")},
      {-129, hex("02 02 FF 7F")},
      {-32768, hex("02 02 80 00")},
      {-32769, hex("02 03 FF 7F FF")},
      {INT32_MAX, hex("02 04 7F FF FF FF")},
      {INT32_MIN, hex("02 04 80 00 00 00")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatted([&] { return ber_addid(0, 2, ber_addint(c.v)); }), c.want) << c.v;
    EXPECT_EQ(formatted([&] { return ber_addid(0, 2, ber_addlong(c.v)); }), c.want) << c.v;
  }
}

TEST_F(BerNumbers, BooleansHoldOneOctet) {
  uint32_t v = 7;
  EXPECT_EQ(readOne(hex("01 01 FF"), [&] { ber_getbit(&v); }), 0);
  EXPECT_EQ(v, 0xFFu);
  EXPECT_EQ(readOne(hex("01 01 00"), [&] { ber_getbit(&v); }), 0);
  EXPECT_EQ(v, 0u);
  const ErrorCase errors[] = {
      {"empty", hex("01 00"), 25},
      {"two octets", hex("01 02 00 00"), 25},
      {"constructed", hex("21 01 00"), 20},
  };
  for (const ErrorCase& c : errors) EXPECT_EQ(readOne(c.in, [&] { ber_getbit(&v); }), c.code) << c.what;
  EXPECT_EQ(formatted([] { return ber_addid(0, 1, ber_addbit(5)); }), hex("01 01 FF"));
  EXPECT_EQ(formatted([] { return ber_addid(0, 1, ber_addbit(0)); }), hex("01 01 00"));
}

TEST_F(BerNumbers, NullIsAnEmptyUniversalFive) {
  EXPECT_EQ(formatted([] { return ber_addid(0, 5, 0); }), hex("05 00"));
  SessionBuffer* chain = chainOf({hex("05 00")});
  EXPECT_EQ(parse(chain,
                  [] {
                    EXPECT_EQ(ber_getid(0, 5), 0);
                    EXPECT_EQ(ber_chkend(), 1);
                  }),
            0);
  freeChain(chain);
}

// ---------------------------------------------------------------------------
// OBJECT IDENTIFIER

TEST_F(BerNumbers, ObjectIdentifiersReadIntoBothForms) {
  struct Case {
    Bytes in;
    std::vector<uint32_t> arcs;
  };
  const Case cases[] = {
      {hex("06 03 2B 06 01"), {1, 3, 6, 1}},
      {hex("06 02 87 67"), {2, 919}},  // first sub-identifier 999
      {hex("06 06 2A 86 48 86 F7 0D"), {1, 2, 840, 113549}},
      {hex("06 01 00"), {0, 0}},
      {hex("06 02 51 05"), {2, 1, 5}},
      {hex("06 06 2B 8F FF FF FF 7F"), {1, 3, 0xFFFFFFFFu}},  // an arc of 32 bits
      {hex("06 03 80 80 29"), {1, 1}},                        // leading 0x80 octets add nothing
  };
  for (const Case& c : cases) {
    ObjId id{};
    EXPECT_EQ(readOne(c.in, [&] { ber_getobj(16, &id); }), 0);
    EXPECT_EQ(std::vector<uint32_t>(id.arcs, id.arcs + id.count), c.arcs);
    ObjIdV v{};
    uint32_t n = 0;
    EXPECT_EQ(readOne(c.in, [&] { n = ber_getobjv(&v); }), 0);
    ASSERT_EQ(n, c.arcs.size());
    EXPECT_EQ(std::vector<uint32_t>(v.arcs, v.arcs + v.count), c.arcs);
    aafreeall(aagetlist());
  }
}

TEST_F(BerNumbers, ObjectIdentifierErrors) {
  const ErrorCase fixed[] = {
      {"empty", hex("06 00"), 11},
      {"last sub-identifier cut", hex("06 02 2B 86"), 11},
      {"arc beyond 32 bits", hex("06 06 2B 90 80 80 80 00"), 10},
      {"sub-identifier of 36 bits", hex("06 07 2B 81 80 80 80 80 00"), 10},
      {"more arcs than room", hex("06 10 2B 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01"), 10},
      {"constructed", hex("26 03 06 01 2B"), 20},
  };
  for (const ErrorCase& c : fixed) {
    ObjId id{};
    EXPECT_EQ(readOne(c.in, [&] { ber_getobj(16, &id); }), c.code) << c.what;
    EXPECT_STREQ(aafile, "src/rtp_obji");
  }
  ObjId small{};
  EXPECT_EQ(readOne(hex("06 03 2B 06 01"), [&] { ber_getobj(3, &small); }), 10);
  EXPECT_EQ(aaline, 121u);
  EXPECT_EQ(small.arcs[3], 0u) << "nothing stored beyond the maximum";

  const ErrorCase variable[] = {
      {"empty", hex("06 00"), 12},
      {"no sub-identifier ends", hex("06 01 81"), 12},
      {"last sub-identifier cut", hex("06 02 2B 86"), 11},
      {"arc beyond 32 bits", hex("06 06 2B 90 80 80 80 00"), 10},
      {"constructed", hex("26 03 06 01 2B"), 20},
  };
  for (const ErrorCase& c : variable) {
    ObjIdV id{};
    EXPECT_EQ(readOne(c.in, [&] { ber_getobjv(&id); }), c.code) << c.what;
  }
  aafreeall(aagetlist());
}

TEST_F(BerNumbers, ObjectIdentifiersAreWrittenInMinimalBase128) {
  struct Case {
    std::vector<uint32_t> arcs;
    Bytes want;
  };
  const Case cases[] = {
      {{1, 3, 6, 1}, hex("06 03 2B 06 01")},
      {{2, 919}, hex("06 02 87 67")},
      {{1, 2, 840, 113549}, hex("06 06 2A 86 48 86 F7 0D")},
      {{2, 1, 1}, hex("06 02 51 01")},
      {{0, 0}, hex("06 01 00")},
  };
  for (const Case& c : cases) {
    ObjId id{};
    id.count = static_cast<uint32_t>(c.arcs.size());
    std::memcpy(id.arcs, c.arcs.data(), c.arcs.size() * 4);
    EXPECT_EQ(formatted([&] { return ber_addid(0, 6, ber_addobj(&id)); }), c.want);
    std::vector<uint32_t> arcs = c.arcs;
    ObjIdV v{id.count, arcs.data()};
    EXPECT_EQ(formatted([&] { return ber_addid(0, 6, ber_addobjv(&v)); }), c.want);
  }
  ObjId bad{3, {1, 3, 0x80000000u}};
  EXPECT_EQ(formatError([&] { return ber_addobj(&bad); }), 12u) << "negative arc";
  ObjId one{1, {1}};
  EXPECT_EQ(formatError([&] { return ber_addobj(&one); }), 12u) << "a single arc";
  ObjId absent{kObjIdAbsent, {}};
  EXPECT_EQ(formatError([&] { return ber_addobj(&absent); }), 12u) << "absent reference";
}

// ---------------------------------------------------------------------------
// REAL

TEST_F(BerNumbers, RealFormsRead) {
  struct Case {
    const char* what;
    Bytes in;
    double want;
  };
  const Case cases[] = {
      {"empty", hex("09 00"), 0.0},
      {"binary 0.5", hex("09 03 80 F8 80"), 0.5},
      {"binary -1.0", hex("09 03 C0 F9 80"), -1.0},
      {"base 8", hex("09 03 90 01 01"), 8.0},
      {"base 16", hex("09 03 A0 FF 10"), 1.0},
      {"scale factor 1", hex("09 03 84 00 03"), 6.0},
      {"exponent length in the next octet", hex("09 04 83 01 F8 80"), 0.5},
      {"two exponent octets", hex("09 04 81 FF F8 80"), 0.5},
      {"nine mantissa octets", hex("09 0B 80 C0 01 00 00 00 00 00 00 00 00"), 1.0},
      {"leading zero mantissa octets", hex("09 05 80 F8 00 00 80"), 0.5},
      {"NR1 -12", hex("09 04 01") + text("-12"), -12.0},
      {"NR1 with blanks and plus", hex("09 05 01") + text("  +7"), 7.0},
      {"NR2 comma", hex("09 04 02") + text("1,5"), 1.5},
      {"NR2 no integer digits", hex("09 03 02") + text(".5"), 0.5},
      {"NR2 no fraction digits", hex("09 03 02") + text("3."), 3.0},
      {"NR3 -1.5E2", hex("09 07 03") + text("-1.5E2"), -150.0},
      {"NR3 negative exponent", hex("09 08 03") + text("25.0e-1"), 2.5},
      {"NR3 largest scaling", hex("09 08 03") + text("2.0E307"), 2.0e307},
  };
  for (const Case& c : cases) {
    double v = -99;
    EXPECT_EQ(readOne(c.in, [&] { ber_getdouble(&v); }), 0) << c.what;
    EXPECT_DOUBLE_EQ(v, c.want) << c.what;
  }
  double v = 0;
  EXPECT_EQ(readOne(hex("09 01 40"), [&] { ber_getdouble(&v); }), 0);
  EXPECT_EQ(v, std::numeric_limits<double>::infinity());
  EXPECT_EQ(readOne(hex("09 01 41"), [&] { ber_getdouble(&v); }), 0);
  EXPECT_EQ(v, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(readOne(hex("09 01 42"), [&] { ber_getdouble(&v); }), 0);
  EXPECT_TRUE(std::isnan(v));
}

TEST_F(BerNumbers, RealErrors) {
  Bytes longMantissa = hex("09 81 CA 80 7F");
  longMantissa.resize(longMantissa.size() + 200, 0xFF);
  const ErrorCase cases[] = {
      {"special with a second octet", hex("09 02 40 00"), 33},
      {"unknown special", hex("09 01 43"), 33},
      {"base code 11", hex("09 03 B0 00 01"), 33},
      {"exponent of five octets", hex("09 08 83 05 00 00 00 00 01 01"), 1},
      {"exponent past the contents", hex("09 02 81 00"), 33},
      {"exponent length 0", hex("09 03 83 00 01"), 33},
      {"mantissa overflows", longMantissa, 1},
      {"exponent overflows", hex("09 04 81 7F FF 01"), 1},
      {"decimal form 4", hex("09 02 04 31"), 33},
      {"NR1 with a point", hex("09 04 01") + text("1.5"), 33},
      {"NR1 without digits", hex("09 02 01") + text("-"), 33},
      {"NR2 without digits", hex("09 02 02") + text("."), 33},
      {"NR2 without a point", hex("09 02 02") + text("1"), 33},
      {"NR2 with an exponent", hex("09 05 02") + text("1.5E"), 33},
      {"NR3 without exponent letter", hex("09 04 03") + text("1.5"), 33},
      {"NR3 without exponent digits", hex("09 05 03") + text("1.5E"), 33},
      {"NR3 with trailing text", hex("09 07 03") + text("1.5E2x"), 33},
      {"NR3 beyond a double", hex("09 08 03") + text("2.0E308"), 1},
      {"NR3 exponent of many digits", hex("09 0E 03") + text("1.0E999999999"), 1},
  };
  for (const ErrorCase& c : cases) {
    double v = 0;
    EXPECT_EQ(readOne(c.in, [&] { ber_getdouble(&v); }), c.code) << c.what;
    EXPECT_STREQ(aafile, "src/rtp_real") << c.what;
  }
  Bytes digits = hex("09 82 01 5F 01");
  digits.resize(digits.size() + 350, '9');
  double v = 0;
  EXPECT_EQ(readOne(digits, [&] { ber_getdouble(&v); }), 1) << "integer part beyond the limit";
  EXPECT_EQ(aaline, 338u);
}

TEST_F(BerNumbers, DecimalScalingStopsAtZero) {
  // Without the stop these take a billion steps each.
  for (const char* s : {"1.0E-999999999", "0.0E999999999", "-0.5E-99999999999999999999"}) {
    const std::string t(s);
    double v = 1;
    EXPECT_EQ(readOne(hex("09") + Bytes{static_cast<uint8_t>(t.size() + 1), 0x03} + text(t),
                      [&] { ber_getdouble(&v); }),
              0)
        << s;
    EXPECT_EQ(v, 0.0) << s;
  }
}

TEST_F(BerNumbers, RealsAreWrittenInBaseTwo) {
  struct Case {
    double v;
    Bytes want;
  };
  const Case cases[] = {
      {0.5, hex("09 03 80 F8 80")},
      {-1.0, hex("09 03 C0 F9 80")},
      {1.0, hex("09 03 80 F9 80")},
      {3.0, hex("09 03 80 FA C0")},
      {0.0, hex("09 00")},
      {std::numeric_limits<double>::infinity(), hex("09 01 40")},
      {-std::numeric_limits<double>::infinity(), hex("09 01 41")},
      {std::numeric_limits<double>::quiet_NaN(), hex("09 01 42")},
      {256.0, hex("09 03 80 01 80")},
  };
  for (const Case& c : cases) EXPECT_EQ(formatted([&] { return ber_addid(0, 9, ber_adddouble(c.v)); }), c.want) << c.v;
}

TEST_F(BerNumbers, RealsReadBackExactly) {
  const double values[] = {0.1, -123.456, 1e-310, std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(), 6.02214076e23, -2.5};
  for (double x : values) {
    const Bytes enc = formatted([&] { return ber_addid(0, 9, ber_adddouble(x)); });
    ASSERT_FALSE(enc.empty());
    double back = 0;
    EXPECT_EQ(readOne(enc, [&] { ber_getdouble(&back); }), 0) << x;
    EXPECT_EQ(back, x);
  }
}

}  // namespace
