#include "src/rdaclient/rdacli_numstr.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "src/rdaclient/rdacli_handles.h"

namespace {

constexpr const char* kSrc = "src/rdacli_numstr";

constexpr uint32_t kWords = 4;
constexpr uint16_t kSignWordBit = 0x8000;

// A text that holds at most `max` characters before its terminator: its
// length, or max + 1 when it is longer.
size_t boundedLength(const char* text, size_t max) { return text != nullptr ? strnlen(text, max + 1) : 0; }

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The digit-string form.
int32_t digitString(char point, const char* text, int32_t maxPrecision, OctStgV* numeric, int32_t* precision,
                    int16_t* scale, int32_t* indicator) {
  *indicator = 0;
  *precision = maxPrecision;
  size_t len = boundedLength(text, kRdaCliNumericText);
  if (len == 0 || len > kRdaCliNumericText) return 0;
  char buf[kRdaCliNumericBuffer];
  std::memcpy(buf, text, len);
  const int32_t s = std::max<int32_t>(*scale, 0);
  const char* found = static_cast<const char*>(memrchr(buf, point, len));
  if (found != nullptr) {
    const auto pos = static_cast<size_t>(found - buf);
    size_t fraction = len - pos - 1;
    if (fraction < static_cast<size_t>(s)) {
      while (fraction < static_cast<size_t>(s) && len < kRdaCliNumericText) {
        buf[len++] = '0';
        ++fraction;
      }
    } else if (fraction > static_cast<size_t>(s)) {
      len = pos + 1 + static_cast<size_t>(s);  // cut, not rounded
    }
    *scale = static_cast<int16_t>(s);
  } else {
    // The point and the fraction must fit beside the digits.
    const int32_t room = static_cast<int32_t>(kRdaCliNumericText) - 1 - static_cast<int32_t>(len);
    const int32_t lowered = std::max(0, std::min(s, room));
    if (lowered >= 1) {
      buf[len++] = point;
      for (int32_t i = 0; i < lowered; ++i) buf[len++] = '0';
    }
    *scale = static_cast<int16_t>(lowered);
  }
  buf[len] = '\0';
  std::memcpy(numeric->octets, buf, len + 1);
  numeric->length = static_cast<uint32_t>(len);
  TM_TRACE(rda_cliTMHandle, 32, kSrc,
           "RDA_cliCvrtNumStr(): converted numeric to string result (%s,with precision=%d,scale=%d and "
           "indicator=%d) to char\n",
           buf, static_cast<int>(*precision), static_cast<int>(*scale), static_cast<int>(*indicator));
  return 1;
}

}  // namespace

void bmul(const uint16_t a[4], const uint16_t b[4], uint16_t product[8]) {
  for (uint32_t i = 0; i < 2 * kWords; ++i) product[i] = 0;
  for (uint32_t j = 0; j < kWords; ++j) {
    uint32_t carry = 0;
    for (uint32_t i = 0; i < kWords; ++i) {
      const uint32_t t = uint32_t{a[i]} * b[j] + product[i + j] + carry;
      product[i + j] = static_cast<uint16_t>(t & 0xFFFF);
      carry = t >> 16;
    }
    product[j + kWords] = static_cast<uint16_t>(carry);
  }
}

uint16_t badd(const uint16_t a[4], const uint16_t b[4], uint16_t sum[4]) {
  uint32_t carry = 0;
  for (uint32_t i = 0; i < kWords; ++i) {
    const uint32_t t = uint32_t{a[i]} + b[i] + carry;
    sum[i] = static_cast<uint16_t>(t & 0xFFFF);
    carry = t >> 16;
  }
  return static_cast<uint16_t>(carry);
}

int32_t RDA_cliCvrtNumStr_8ByteNumeric(const char* text, int32_t maxPrecision, OctStgV* numeric, int32_t* precision,
                                       int16_t* scale, int32_t* indicator) {
  TM_TRACE(rda_cliTMHandle, 32, kSrc, "RDA_cliCvrtNumStr(): numeric string(%s) with maxPrecision(%d) to numeric\n",
           text != nullptr ? text : "", static_cast<int>(maxPrecision));
  *indicator = 0;
  const size_t len = boundedLength(text, kRdaCliNumericText);
  if (len == 0) return 0;
  const bool sign = text[0] == '-' || text[0] == '+';
  if (len > (sign ? kRdaCliNumericText : kRdaCliNumericText - 1)) return 0;
  const bool negative = text[0] == '-';
  char t[kRdaCliNumericBuffer];
  size_t n = len - (sign ? 1 : 0);
  std::memcpy(t, text + (sign ? 1 : 0), n);

  // Fraction digits up to the scale asked for, within the longest text.
  const int32_t s = std::max<int32_t>(*scale, 0);
  const char* point = static_cast<const char*>(std::memchr(t, '.', n));
  if (point != nullptr) {
    size_t fraction = n - static_cast<size_t>(point - t) - 1;
    while (fraction < static_cast<size_t>(s) && n < kRdaCliNumericText) {
      t[n++] = '0';
      ++fraction;
    }
  } else if (s > 0 && n < kRdaCliNumericText) {
    t[n++] = '.';
    for (int32_t i = 0; i < s && n < kRdaCliNumericText; ++i) t[n++] = '0';
  }
  t[n] = '\0';

  // Only digits and one point; leading zeros of the integer part carry
  // nothing.
  size_t digits = 0;
  size_t integerDigits = 0;
  bool seenPoint = false;
  for (size_t i = 0; i < n; ++i) {
    if (isDigit(t[i])) {
      ++digits;
      if (!seenPoint) ++integerDigits;
    } else if (t[i] == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliCvrtNumStr: invalid character %c\n", t[i]);
      return 0;
    }
  }
  size_t from = 0;
  while (integerDigits > 1 && t[from] == '0') {
    ++from;
    --integerDigits;
    --digits;
  }
  if (integerDigits == 1 && t[from] == '0' && digits > 1) {
    ++from;  // "0.5" is ".5"
    --integerDigits;
    --digits;
  }

  // More digits than the column holds: fraction digits go from the end; the
  // integer digits must fit.
  if (maxPrecision > 0 && digits > static_cast<size_t>(maxPrecision)) {
    if (integerDigits > static_cast<size_t>(maxPrecision)) return RDA_CLI_NUM_OUT_OF_RANGE;
    const size_t drop = digits - static_cast<size_t>(maxPrecision);
    n -= drop;
    digits -= drop;
    *indicator = static_cast<int32_t>(drop);
  }

  uint16_t magnitude[kWords] = {0, 0, 0, 0};
  const uint16_t ten[kWords] = {10, 0, 0, 0};
  int32_t fractionDigits = 0;
  seenPoint = false;
  for (size_t i = from; i < n; ++i) {
    if (t[i] == '.') {
      seenPoint = true;
      continue;
    }
    uint16_t product[2 * kWords];
    bmul(magnitude, ten, product);
    if ((product[4] | product[5] | product[6] | product[7]) != 0) return RDA_CLI_NUM_OUT_OF_RANGE;
    const uint16_t digit[kWords] = {static_cast<uint16_t>(t[i] - '0'), 0, 0, 0};
    if (badd(product, digit, magnitude) != 0) return RDA_CLI_NUM_OUT_OF_RANGE;
    if (seenPoint) ++fractionDigits;
  }
  // The top bit is the sign.
  if ((magnitude[3] & kSignWordBit) != 0) return RDA_CLI_NUM_OUT_OF_RANGE;

  uint32_t high = (uint32_t{magnitude[3]} << 16) | magnitude[2];
  const uint32_t low = (uint32_t{magnitude[1]} << 16) | magnitude[0];
  if (negative) high |= 0x80000000u;
  uint8_t* o = numeric->octets;
  for (uint32_t i = 0; i < 4; ++i) {
    o[i] = static_cast<uint8_t>(high >> (8 * i));
    o[4 + i] = static_cast<uint8_t>(low >> (8 * i));
  }
  numeric->length = kRdaCliNumeric8;
  *precision = static_cast<int32_t>(digits);
  *scale = static_cast<int16_t>(fractionDigits);
  TM_TRACE(rda_cliTMHandle, 32, kSrc,
           "RDA_cliCvrtNumStr(): converted numeric to 8 byte numeric (%02X %02X %02X %02X %02X %02X %02X %02X,with "
           "precision=%d,scale=%d and indicator=%d)\n",
           o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7], static_cast<int>(*precision), static_cast<int>(*scale),
           static_cast<int>(*indicator));
  return 1;
}

int32_t RDA_cliCvrtNumStr(RDA_CliHSTMT* stmt, const char* text, int32_t maxPrecision, OctStgV* numeric,
                          int32_t* precision, int16_t* scale, int32_t* indicator) {
  const RDA_CliHDBC* conn = stmt != nullptr ? stmt->conn : nullptr;
  if (conn != nullptr && conn->numericFormat == 0) {
    const int32_t r = RDA_cliCvrtNumStr_8ByteNumeric(text, maxPrecision, numeric, precision, scale, indicator);
    if (r == RDA_CLI_NUM_OUT_OF_RANGE) {
      RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_OUT_OF_RANGE, 0, nullptr, stmt->tree);
      return 0;
    }
    return r;
  }
  TM_TRACE(rda_cliTMHandle, 32, kSrc, "RDA_cliCvrtNumStr(): numeric string(%s) with maxPrecision(%d) to numeric\n",
           text != nullptr ? text : "", static_cast<int>(maxPrecision));
  return digitString(conn != nullptr ? conn->decimalPoint : '.', text, maxPrecision, numeric, precision, scale,
                     indicator);
}
