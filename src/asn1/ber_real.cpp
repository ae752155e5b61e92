// REAL contents: the binary form, the special values and the decimal forms
// NR1, NR2 and NR3 of X.690.
#include <cmath>

#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcReal = "src/rtp_real";

// Limits of the decimal forms: the integer part may not pass the first, a
// value may not be multiplied by ten above the second.
constexpr double kDecimalMax = 1.7014118346046924e308;
constexpr double kScaleMax = 1.7014118346046924e307;
// Exponent digits beyond this change nothing: scaling stops at 0 or fails
// on the range of a double long before.
constexpr int64_t kExponentCap = 100000;
// Fraction digits beyond these lie below the precision of a double.
constexpr int32_t kFractionDigits = 18;

[[noreturn]] void malformed(uint32_t line) { aaRaise(AAE_UNKNOWN_ANY, kSrcReal, line); }

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

double getBinaryReal(ContentsReader& r, uint8_t first) {
  const bool negative = (first & 0x40) != 0;
  const uint32_t baseCode = (first >> 4) & 0x03;
  if (baseCode == 3) malformed(174);
  const int32_t log2Base = baseCode == 0 ? 1 : baseCode == 1 ? 3 : 4;
  const int32_t scale = (first >> 2) & 0x03;
  int64_t expLen = (first & 0x03) + 1;
  if ((first & 0x03) == 3) {
    if (!r.more()) malformed(__LINE__);
    expLen = r.next();
    if (expLen == 0) malformed(__LINE__);
  }
  // The exponent is kept in 32 bits; a longer one cannot be used.
  if (expLen > 4) aaRaise(AAE_OVFLO, kSrcReal, __LINE__);
  if (r.left() < expLen) malformed(__LINE__);
  uint32_t e = 0;
  for (int64_t i = 0; i < expLen; ++i) {
    const uint8_t o = r.next();
    if (i == 0 && (o & 0x80) != 0) e = UINT32_MAX;
    e = (e << 8) | o;
  }
  const int64_t exponent = static_cast<int32_t>(e);
  // The mantissa: its first eight significant octets carry more than a
  // double holds; each further octet only moves the binary point.
  uint64_t mantissa = 0;
  int32_t significant = 0;
  int64_t extra = 0;
  while (r.more()) {
    const uint8_t o = r.next();
    if (significant == 0 && o == 0) continue;
    if (significant < 8) {
      mantissa = (mantissa << 8) | o;
      ++significant;
    } else {
      ++extra;
    }
  }
  if (mantissa == 0) return negative ? -0.0 : 0.0;
  int64_t shift = exponent * log2Base + scale + 8 * extra;
  if (shift > 4000) shift = 4000;
  if (shift < -4000) shift = -4000;
  const double v = std::ldexp(static_cast<double>(mantissa), static_cast<int>(shift));
  if (std::isinf(v)) aaRaise(AAE_OVFLO, kSrcReal, __LINE__);
  return negative ? -v : v;
}

double getSpecialReal(ContentsReader& r, uint8_t first) {
  if (r.more()) malformed(263);
  switch (first) {
    case 0x40: return INFINITY;
    case 0x41: return -INFINITY;
    case 0x42: return NAN;
    default: malformed(276);
  }
}

double getDecimalReal(ContentsReader& r, uint8_t first) {
  const uint32_t form = first & 0x3F;
  if (form < 1 || form > 3) malformed(308);
  while (r.more() && r.peek() == ' ') r.next();
  bool negative = false;
  if (r.more() && (r.peek() == '+' || r.peek() == '-')) negative = r.next() == '-';
  double v = 0.0;
  int32_t digits = 0;
  while (r.more() && isDigit(r.peek())) {
    const int32_t d = r.next() - '0';
    if (v > (kDecimalMax - d) / 10) aaRaise(AAE_OVFLO, kSrcReal, 338);
    v = v * 10 + d;
    ++digits;
  }
  if (form == 1) {
    if (digits == 0 || r.more()) malformed(348);
    return negative ? -v : v;
  }
  if (!r.more() || (r.peek() != ',' && r.peek() != '.')) malformed(358);
  r.next();
  double fraction = 0.0;
  double divisor = 1.0;
  int32_t fractionDigits = 0;
  while (r.more() && isDigit(r.peek())) {
    const int32_t d = r.next() - '0';
    ++digits;
    if (fractionDigits < kFractionDigits) {
      fraction = fraction * 10 + d;
      divisor *= 10;
      ++fractionDigits;
    }
  }
  if (digits == 0) malformed(377);
  v += fraction / divisor;
  if (form == 2) {
    if (r.more()) malformed(385);
    return negative ? -v : v;
  }
  if (!r.more() || (r.peek() != 'e' && r.peek() != 'E')) malformed(394);
  r.next();
  bool expNegative = false;
  if (r.more() && (r.peek() == '+' || r.peek() == '-')) expNegative = r.next() == '-';
  int64_t exponent = 0;
  int32_t expDigits = 0;
  while (r.more() && isDigit(r.peek())) {
    exponent = exponent * 10 + (r.next() - '0');
    if (exponent > kExponentCap) exponent = kExponentCap;
    ++expDigits;
  }
  if (expDigits == 0 || r.more()) malformed(424);
  for (int64_t i = 0; i < exponent && v != 0.0; ++i) {
    if (expNegative) {
      v /= 10;
    } else {
      if (v > kScaleMax) aaRaise(AAE_OVFLO, kSrcReal, 440);
      v *= 10;
    }
  }
  return negative ? -v : v;
}

}  // namespace

void ber_getdouble(double* out) {
  ContentsReader r;
  double v = 0.0;
  if (r.more()) {
    const uint8_t first = r.next();
    if ((first & 0x80) != 0) v = getBinaryReal(r, first);
    else if ((first & 0x40) != 0) v = getSpecialReal(r, first);
    else v = getDecimalReal(r, first);
  }
  aa_leaveLevel();
  if (out != nullptr) *out = v;
}

int64_t ber_adddouble(double x) {
  cons = 0;
  if (std::isnan(x)) {
    aa_putOctet(0x42);
    return 1;
  }
  if (std::isinf(x)) {
    aa_putOctet(x > 0 ? 0x40 : 0x41);
    return 1;
  }
  if (x == 0.0) return 0;
  // |x| = m * 2^e with 0.5 <= m < 1, then the mantissa octet by octet.
  int e = 0;
  double m = std::frexp(std::fabs(x), &e);
  uint8_t octets[8];
  int32_t count = 0;
  while (count < 8 && m != 0.0) {
    m *= 256;
    const double whole = std::floor(m);
    octets[count++] = static_cast<uint8_t>(whole);
    m -= whole;
    e -= 8;
  }
  for (int32_t i = count; i-- > 0;) aa_putOctet(octets[i]);
  const int64_t expLen = ber_addlong(e);
  aa_putOctet(static_cast<uint8_t>(0x80 | (x < 0 ? 0x40 : 0) | (expLen - 1)));
  cons = 0;
  return 1 + expLen + count;
}
