// Decimal text to the numeric wire form of a connection: the digit string
// with the connection's decimal point, and the 8-byte form (its octets
// worked out by hand), with the multi-word arithmetic behind it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "src/rdaclient/rdacli_numstr.h"
#include "stmt_fixture.h"

namespace {

using NumericText = ClientStmtTest;

std::string hexOf(const OctStgV& v) {
  std::string out;
  char b[4];
  for (uint32_t i = 0; i < v.length; ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", v.octets[i]);
    out += b;
  }
  return out;
}

TEST_F(NumericText, EachFormTurnsTextIntoItsWireForm) {
  const std::string digits41(41, '7');
  struct Case {
    const char* text;
    uint32_t format;  // 1 digit string, 0 the 8-byte form
    char point;
    int16_t scale;
    int32_t maxPrecision;
    int32_t result;
    const char* value;  // digit text, or the eight octets in hex
    int16_t outScale;
    int32_t precision;
    int32_t indicator;
    const char* state;  // diagnostic on the statement, "" none
  };
  const Case cases[] = {
      // Digit strings: fraction digits padded or cut (not rounded) to the
      // scale; an integer gets the point and the scale's zeros when they fit.
      {"12.5", 1, '.', 2, 10, 1, "12.50", 2, 10, 0, ""},
      {"12.567", 1, '.', 2, 10, 1, "12.56", 2, 10, 0, ""},
      {"12.5", 1, '.', 0, 10, 1, "12.", 0, 10, 0, ""},
      {"12", 1, '.', 2, 10, 1, "12.00", 2, 10, 0, ""},
      {"12", 1, ',', 2, 10, 1, "12,00", 2, 10, 0, ""},
      {"12,5", 1, ',', 2, 10, 1, "12,50", 2, 10, 0, ""},
      {digits41.c_str(), 1, '.', 3, 50, 1, digits41.c_str(), 0, 50, 0, ""},
      {"-1a.5", 1, '.', 1, 4, 1, "-1a.5", 1, 4, 0, ""},
      {"", 1, '.', 2, 10, 0, nullptr, 0, 0, 0, ""},
      // The 8-byte form: high word first, each word little-endian, the sign
      // in the top bit.
      {"-12.5", 0, '.', 2, 10, 1, "00 00 00 80 E2 04 00 00", 2, 4, 0, ""},
      {"12", 0, '.', 2, 0, 1, "00 00 00 00 B0 04 00 00", 2, 4, 0, ""},
      {"+7", 0, '.', 0, 0, 1, "00 00 00 00 07 00 00 00", 0, 1, 0, ""},
      {"-0", 0, '.', 0, 0, 1, "00 00 00 80 00 00 00 00", 0, 1, 0, ""},
      {"-", 0, '.', 0, 0, 1, "00 00 00 80 00 00 00 00", 0, 0, 0, ""},
      {"4294967296", 0, '.', 0, 0, 1, "01 00 00 00 00 00 00 00", 0, 10, 0, ""},
      {"1.234", 0, '.', 2, 0, 1, "00 00 00 00 D2 04 00 00", 3, 4, 0, ""},
      {"9223372036854775807", 0, '.', 0, 0, 1, "FF FF FF 7F FF FF FF FF", 0, 19, 0, ""},
      {"000000000000000000000000000001", 0, '.', 0, 0, 1, "00 00 00 00 01 00 00 00", 0, 1, 0, ""},
      {"12,5", 0, ',', 0, 0, 0, nullptr, 0, 0, 0, ""},
      {"12a4", 0, '.', 0, 0, 0, nullptr, 0, 0, 0, ""},
      {"1.2.3", 0, '.', 0, 0, 0, nullptr, 0, 0, 0, ""},
      {"", 0, '.', 0, 0, 0, nullptr, 0, 0, 0, ""},
      {digits41.c_str(), 0, '.', 0, 0, 0, nullptr, 0, 0, 0, "22003"},
      // Fraction digits beyond the column's precision go from the end and
      // are counted in the indicator; integer digits beyond it are refused.
      {"1.2345", 0, '.', 4, 3, 1, "00 00 00 00 7B 00 00 00", 2, 3, 2, ""},
      {".5", 0, '.', 0, 1, 1, "00 00 00 00 05 00 00 00", 1, 1, 0, ""},
      {"0.5", 0, '.', 0, 1, 1, "00 00 00 00 05 00 00 00", 1, 1, 0, ""},
      {"123456", 0, '.', 0, 3, 0, nullptr, 0, 0, 0, "22003"},
      {"123456", 0, '.', 0, 6, 1, "00 00 00 00 40 E2 01 00", 0, 6, 0, ""},
      // What 63 bits cannot hold is refused.
      {"9223372036854775808", 0, '.', 0, 0, 0, nullptr, 0, 0, 0, "22003"},
      {"99999999999999999999", 0, '.', 0, 0, 0, nullptr, 0, 0, 0, "22003"},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.text) + (c.format == 1 ? " as digits" : " in 8 octets");
    conn.numericFormat = c.format;
    conn.decimalPoint = c.point;
    RDA_cliClearErrorList(&stmt.errors);
    uint8_t buffer[kRdaCliNumericBuffer + 1];
    std::memset(buffer, 0xEE, sizeof buffer);
    OctStgV numeric{99, buffer};
    int32_t precision = -7;
    int16_t scale = c.scale;
    int32_t indicator = -7;
    ASSERT_EQ(RDA_cliCvrtNumStr(&stmt, c.text, c.maxPrecision, &numeric, &precision, &scale, &indicator), c.result)
        << what;
    EXPECT_EQ(stmt.errors.count == 0 ? "" : lastDiag(stmt.errors).state, c.state) << what;
    EXPECT_EQ(buffer[kRdaCliNumericBuffer], 0xEE) << what << ": nothing beyond the buffer";
    if (c.result == 0) {
      EXPECT_EQ(numeric.length, 99u) << what << ": unchanged";
      continue;
    }
    if (c.format == 1) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), numeric.length), c.value) << what;
      EXPECT_EQ(buffer[numeric.length], 0) << what << ": terminated";
    } else {
      EXPECT_EQ(hexOf(numeric), c.value) << what;
    }
    EXPECT_EQ(scale, c.outScale) << what;
    EXPECT_EQ(precision, c.precision) << what;
    EXPECT_EQ(indicator, c.indicator) << what;
  }
}

TEST_F(NumericText, LongTextsStopAtFortyTwoCharacters) {
  conn.numericFormat = 1;
  uint8_t buffer[kRdaCliNumericBuffer];
  OctStgV numeric{0, buffer};
  int32_t precision = 0, indicator = 0;
  int16_t scale = 5;
  // 40 digits leave room for the point and one zero only.
  const std::string forty(40, '1');
  ASSERT_EQ(RDA_cliCvrtNumStr(&stmt, forty.c_str(), 0, &numeric, &precision, &scale, &indicator), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), numeric.length), forty + ".0");
  EXPECT_EQ(scale, 1);
  scale = 5;
  const std::string padded = std::string(38, '1') + ".1";
  ASSERT_EQ(RDA_cliCvrtNumStr(&stmt, padded.c_str(), 0, &numeric, &precision, &scale, &indicator), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), numeric.length), padded + "00") << "at most 42 characters";
  EXPECT_EQ(RDA_cliCvrtNumStr(&stmt, std::string(43, '1').c_str(), 0, &numeric, &precision, &scale, &indicator), 0);
  conn.numericFormat = 0;
  EXPECT_EQ(RDA_cliCvrtNumStr(&stmt, ("-" + std::string(42, '1')).c_str(), 0, &numeric, &precision, &scale,
                              &indicator),
            0)
      << "43 characters with the sign";
  EXPECT_EQ(RDA_cliCvrtNumStr(&stmt, std::string(42, '0').c_str(), 0, &numeric, &precision, &scale, &indicator), 0)
      << "42 characters without a sign";
  EXPECT_EQ(RDA_cliCvrtNumStr(&stmt, ("-" + std::string(41, '0')).c_str(), 0, &numeric, &precision, &scale,
                              &indicator),
            1);
}

TEST(MultiWord, ProductsAndSumsOfFourSixteenBitWords) {
  const uint16_t max[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  uint16_t product[8];
  bmul(max, max, product);
  // (2^64 - 1)^2 = 2^128 - 2^65 + 1
  const uint16_t square[8] = {0x0001, 0, 0, 0, 0xFFFE, 0xFFFF, 0xFFFF, 0xFFFF};
  EXPECT_EQ(std::memcmp(product, square, sizeof square), 0);
  const uint16_t a[4] = {0x1234, 0x0001, 0, 0};  // 0x11234
  const uint16_t b[4] = {0x0010, 0, 0, 0x0002};  // 2^49 + 16
  bmul(a, b, product);
  // 0x11234 * 16 = 0x112340; 0x11234 * 2^49 = 0x11234 << 49
  const uint16_t ab[8] = {0x2340, 0x0011, 0, 0x2468, 0x0002, 0, 0, 0};
  EXPECT_EQ(std::memcmp(product, ab, sizeof ab), 0);

  uint16_t sum[4];
  const uint16_t one[4] = {1, 0, 0, 0};
  EXPECT_EQ(badd(max, one, sum), 1);
  EXPECT_EQ(sum[0] | sum[1] | sum[2] | sum[3], 0);
  const uint16_t c[4] = {0xFFFF, 0x0001, 0, 0};
  EXPECT_EQ(badd(c, one, sum), 0);
  const uint16_t cPlusOne[4] = {0, 0x0002, 0, 0};
  EXPECT_EQ(std::memcmp(sum, cPlusOne, sizeof sum), 0);
}

}  // namespace
