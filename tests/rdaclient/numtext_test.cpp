// NUMERIC and DECIMAL values of the 8-byte form made back into decimal
// text, and the four-word division under it.
#include "src/rdaclient/rdacli_numtext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "src/rdaclient/rdacli_cvrt.h"
#include "support/cli_blocks.h"
#include "support/cli_diag.h"

namespace {

class NumericFromWire : public CliBlocksTest {};

TEST_F(NumericFromWire, EightByteFormToText) {
  struct Case {
    std::vector<uint8_t> bytes;
    int16_t scale;
    int32_t precision;
    const char* text;
    const char* warning;  // message of a 01004, or NULL for none
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x00, 0x00, 0x7B, 0x00, 0x00, 0x00}, 2, 10, "1.23", nullptr},
      {{0x7B, 0x00, 0x00, 0x00}, 2, 10, "1.23", nullptr},
      {{0x7B, 0x00, 0x00, 0x00}, 3, 10, "0.123", nullptr},
      {{0x00, 0x00, 0x00, 0x80, 0x05, 0x00, 0x00, 0x00}, 0, 10, "-5", nullptr},
      {{0x00, 0x00, 0x00, 0x80, 0x05, 0x00, 0x00, 0x00}, 3, 10, "-0.005", nullptr},
      {{0x05, 0x00, 0x00, 0x00}, 3, 10, "0.005", nullptr},
      {{0x05}, 0, 10, "83886080", nullptr},  // one byte fills the last byte of the field
      {{}, 0, 10, "0", nullptr},
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 2, 10, "0.00", nullptr},
      // 2^32 - 1 on the 32-bit road, 2^32 on the four-word road.
      {{0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 19, "4294967295", nullptr},
      {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, 19, "4294967296", nullptr},
      {{0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, 10, 19, "0.4294967295", nullptr},
      {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 10, 19, ".4294967296", nullptr},
      {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 4, 19, "429496.7296", nullptr},
      // 2^63 - 1, both signs.
      {{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 19, "9223372036854775807", nullptr},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 19, "-9223372036854775807", nullptr},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 40, 19, "-0.0000000000000000000009223372036854775807", nullptr},
      // 12345678901 (11 digits) against a precision of 10: the integer
      // digits are all kept, fraction digits go.
      {{0x02, 0x00, 0x00, 0x00, 0x35, 0x1C, 0xDC, 0xDF}, 0, 10, "12345678901", nullptr},
      {{0x02, 0x00, 0x00, 0x00, 0x35, 0x1C, 0xDC, 0xDF}, 3, 10, "12345678.90",
       "Success with warning - string data, right truncation - Numeric string got truncated by 1 bytes"},
      {{0x02, 0x00, 0x00, 0x00, 0x35, 0x1C, 0xDC, 0xDF}, 2, 8, "123456789",
       "Success with warning - string data, right truncation - Numeric string got truncated by 2 bytes"},
      // The sign is no digit: -123.45 fits a precision of 5.
      {{0x00, 0x00, 0x00, 0x80, 0x39, 0x30, 0x00, 0x00}, 2, 5, "-123.45", nullptr},
      {{0x39, 0x30, 0x00, 0x00}, 2, 4, "123.4",
       "Success with warning - string data, right truncation - Numeric string got truncated by 1 bytes"},
  };
  for (const Case& c : cases) {
    RDA_cliClearErrorList(&stmt.errors);
    const char* text = RDA_cliCvrt8byteInt(&stmt, static_cast<uint32_t>(c.bytes.size()), c.bytes.data(), c.scale,
                                           c.precision);
    ASSERT_NE(text, nullptr) << c.text;
    EXPECT_STREQ(text, c.text);
    if (c.warning == nullptr) {
      EXPECT_EQ(stmt.errors.count, 0u) << c.text;
    } else {
      ASSERT_EQ(stmt.errors.count, 1u) << c.text;
      EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
      EXPECT_EQ(lastDiag(stmt.errors).message, c.warning);
    }
  }
}

TEST_F(NumericFromWire, ValuesItCannotWriteAreRefused) {
  const uint8_t nine[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  const uint8_t one[1] = {1};
  struct Case {
    uint32_t count;
    const uint8_t* bytes;
    int16_t scale;
  };
  for (const Case& c : {Case{9, nine, 0}, Case{1, one, 41}}) {
    RDA_cliClearErrorList(&stmt.errors);
    EXPECT_EQ(RDA_cliCvrt8byteInt(&stmt, c.count, c.bytes, c.scale, 10), nullptr);
    ASSERT_EQ(stmt.errors.count, 1u);
    EXPECT_EQ(lastDiag(stmt.errors).state, "00000");
    EXPECT_EQ(lastDiag(stmt.errors).native, RDA_CLI_ERR_BAD_NUMERIC);
  }
}

uint64_t join(const uint16_t* w) {
  return uint64_t{w[0]} | uint64_t{w[1]} << 16 | uint64_t{w[2]} << 32 | uint64_t{w[3]} << 48;
}

void split(uint64_t v, uint16_t* w) {
  for (int i = 0; i < kRdaBigWords; ++i) w[i] = static_cast<uint16_t>(v >> (16 * i));
}

TEST(BigDivision, AgreesWithSixtyFourBitArithmetic) {
  // Words that make the estimates and the add-back step go wrong when they
  // are wrong: zeros, ones, the top bit alone, all bits.
  const uint16_t edges[] = {0, 1, 2, 0x7FFF, 0x8000, 0x8001, 0xFFFE, 0xFFFF};
  std::mt19937_64 rng(45);
  auto word = [&]() -> uint16_t {
    const uint64_t r = rng();
    return (r & 3) == 0 ? static_cast<uint16_t>(r >> 16) : edges[(r >> 8) % std::size(edges)];
  };
  for (int i = 0; i < 200000; ++i) {
    uint16_t u[kRdaBigWords];
    uint16_t v[kRdaBigWords] = {};
    for (uint16_t& w : u) w = word();
    const int n = 1 + static_cast<int>(rng() % kRdaBigWords);
    for (int k = 0; k < n; ++k) v[k] = word();
    if (join(v) == 0) v[0] = 1;
    uint16_t q[kRdaBigWords];
    uint16_t r[kRdaBigWords];
    ASSERT_EQ(bdiv(u, v, q, r), 0);
    const uint64_t a = join(u);
    const uint64_t b = join(v);
    ASSERT_EQ(join(q), a / b) << std::hex << a << " / " << b;
    ASSERT_EQ(join(r), a % b) << std::hex << a << " % " << b;
  }
  // Cases that need the add-back step in base 65536.
  uint16_t u[kRdaBigWords], v[kRdaBigWords], q[kRdaBigWords], r[kRdaBigWords];
  const uint64_t addBack[][2] = {{0x7FFF800000000000ull, 0x800000000001ull}, {0x8000000000028001ull, 0x100000000C8F6ull}};
  for (const auto& c : addBack) {
    split(c[0], u);
    split(c[1], v);
    ASSERT_EQ(bdiv(u, v, q, r), 0);
    EXPECT_EQ(join(q), c[0] / c[1]);
    EXPECT_EQ(join(r), c[0] % c[1]);
  }

  const uint16_t zero[kRdaBigWords] = {};
  q[0] = 7;
  EXPECT_EQ(bdiv(u, zero, q, r), -1) << "a zero divisor is refused";
  EXPECT_EQ(q[0], 7) << "and nothing written";
}

TEST(BigDivision, ShiftCarriesBetweenWords) {
  const uint16_t src[3] = {0x8001, 0x4000, 0xC000};
  uint16_t dst[3];
  EXPECT_EQ(bshift(src, 1, dst, 1, 3), 1);
  EXPECT_EQ(dst[0], 0x0003);
  EXPECT_EQ(dst[1], 0x8001);
  EXPECT_EQ(dst[2], 0x8000);
  EXPECT_EQ(bshift(src, 0, dst, 0, 3), 0);
  EXPECT_EQ(std::memcmp(src, dst, sizeof src), 0);
}

}  // namespace
