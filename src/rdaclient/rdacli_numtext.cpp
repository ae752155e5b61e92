#include "src/rdaclient/rdacli_numtext.h"

#include <cstdio>
#include <cstring>

#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/tm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_numtext";

constexpr uint32_t kFieldBytes = 8;
constexpr uint32_t kSignBit = 0x80000000u;
constexpr uint32_t kBase = 0x10000;
// Most decimal digits of a 63-bit magnitude.
constexpr int kMaxDigits = 19;

void refuse(RDA_CliHSTMT* stmt, const char* what) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s\n", what);
  RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_NO_ERROR, RDA_CLI_ERR_BAD_NUMERIC, nullptr, stmt->tree);
}

// Places the text of `digits` (n decimal digits, most significant first) with
// `scale` digits after the point into the thread's numeric text area.
//
// Digits beyond the precision are cut from the fraction only, with the
// warning 01004; the integer digits are all kept. The 32-bit road writes a
// fraction without integer digits as "0.123" and does not check it against
// the precision, the 64-bit road as ".123" and checks it.
const char* place(RDA_CliHSTMT* stmt, RdaCliTLS* tls, const char* digits, int n, bool negative, int16_t scale,
                  int32_t precision, bool shortRoad) {
  char text[kRdaCliNumTextSize];
  int len = 0;
  auto put = [&](char c) { text[len++] = c; };
  int fraction = 0;  // digits after the point that may be cut
  bool check = true;
  if (negative) put('-');
  if (scale <= 0) {
    for (int i = 0; i < n; ++i) put(digits[i]);
  } else if (n > scale) {
    for (int i = 0; i < n - scale; ++i) put(digits[i]);
    put('.');
    for (int i = n - scale; i < n; ++i) put(digits[i]);
    fraction = scale;
  } else if (n == scale) {
    if (shortRoad) {
      put('0');
      check = false;
    }
    put('.');
    for (int i = 0; i < n; ++i) put(digits[i]);
    fraction = scale;
  } else {
    put('0');
    put('.');
    for (int i = n; i < scale; ++i) put('0');
    for (int i = 0; i < n; ++i) put(digits[i]);
    check = false;
  }
  if (check && precision > 0 && n > precision) {
    const int excess = n - precision;
    const int cut = excess < fraction ? excess : fraction;
    if (cut > 0) {
      len -= cut;
      if (cut == fraction) --len;  // the point goes with the last fraction digit
      char message[64];
      std::snprintf(message, sizeof message, "Numeric string got truncated by %ld bytes", static_cast<long>(cut));
      RDA_cliAddError(&stmt->errors, RDA_CLI_ROW_TRUNCATED, 0, message, stmt->tree);
    }
  }
  // Right-aligned in the area, the NUL in its last byte.
  char* area = tls->numText;
  char* start = area + (kRdaCliNumTextSize - 1 - len);
  std::memcpy(start, text, static_cast<size_t>(len));
  area[kRdaCliNumTextSize - 1] = '\0';
  return start;
}

RdaCliTLS* textArea(RDA_CliHSTMT* stmt, int16_t scale) {
  if (scale > kRdaCliMaxScale) {
    refuse(stmt, "RDA_cliCvrt8byteInt: scale too large for the numeric text");
    return nullptr;
  }
  return getRdaCliTLS(0);
}

// Decimal digits of a 32-bit magnitude, most significant first; their count.
int digits32(uint32_t value, char* out) {
  char rev[kMaxDigits];
  int n = 0;
  do {
    rev[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
  return n;
}

bool isZero(const uint16_t* w) { return (w[0] | w[1] | w[2] | w[3]) == 0; }

}  // namespace

const char* cvrt4byteInt(RDA_CliHSTMT* stmt, uint32_t value, int16_t scale, int32_t precision) {
  RdaCliTLS* tls = textArea(stmt, scale);
  if (tls == nullptr) return nullptr;
  char digits[kMaxDigits];
  const int n = digits32(value, digits);
  return place(stmt, tls, digits, n, false, scale, precision, true);
}

const char* RDA_cliCvrt8byteInt(RDA_CliHSTMT* stmt, uint32_t count, const uint8_t* bytes, int16_t scale,
                                int32_t precision) {
  if (count > kFieldBytes || (count > 0 && bytes == nullptr)) {
    refuse(stmt, "RDA_cliCvrt8byteInt: numeric value longer than 8 bytes");
    return nullptr;
  }
  RdaCliTLS* tls = textArea(stmt, scale);
  if (tls == nullptr) return nullptr;
  uint8_t field[kFieldBytes] = {};
  if (count > 0) std::memcpy(field + (kFieldBytes - count), bytes, count);
  auto word = [&](int at) {
    return static_cast<uint32_t>(field[at]) | static_cast<uint32_t>(field[at + 1]) << 8 |
           static_cast<uint32_t>(field[at + 2]) << 16 | static_cast<uint32_t>(field[at + 3]) << 24;
  };
  uint32_t high = word(0);
  const uint32_t low = word(4);
  const bool negative = (high & kSignBit) != 0;
  high &= ~kSignBit;

  char digits[kMaxDigits];
  int n = 0;
  if (high == 0) {
    n = digits32(low, digits);
  } else {
    // Divide the magnitude by ten again and again; each remainder is the
    // next digit from the right.
    uint16_t m[kRdaBigWords] = {static_cast<uint16_t>(low), static_cast<uint16_t>(low >> 16),
                                static_cast<uint16_t>(high), static_cast<uint16_t>(high >> 16)};
    const uint16_t ten[kRdaBigWords] = {10, 0, 0, 0};
    char rev[kMaxDigits];
    do {
      uint16_t q[kRdaBigWords];
      uint16_t r[kRdaBigWords];
      bdiv(m, ten, q, r);
      rev[n++] = static_cast<char>('0' + r[0]);
      std::memcpy(m, q, sizeof m);
    } while (!isZero(m) && n < kMaxDigits);
    for (int i = 0; i < n; ++i) digits[i] = rev[n - 1 - i];
  }
  const bool zero = high == 0 && low == 0;
  return place(stmt, tls, digits, n, negative && !zero, scale, precision, high == 0);
}

uint16_t bshift(const uint16_t* src, int bits, uint16_t* dst, uint16_t carryIn, int count) {
  uint16_t carry = carryIn;
  for (int i = 0; i < count; ++i) {
    const uint32_t w = src[i];
    dst[i] = static_cast<uint16_t>((w << bits) | carry);
    carry = bits == 0 ? 0 : static_cast<uint16_t>(w >> (16 - bits));
  }
  return carry;
}

int32_t bdiv(const uint16_t* dividend, const uint16_t* divisor, uint16_t* quotient, uint16_t* remainder) {
  int n = kRdaBigWords;
  while (n > 0 && divisor[n - 1] == 0) --n;
  if (n == 0) return -1;
  uint16_t q[kRdaBigWords] = {};
  uint16_t r[kRdaBigWords] = {};
  const int m = kRdaBigWords;
  if (n == 1) {
    // Short division from the top word down.
    const uint32_t d = divisor[0];
    uint32_t rest = 0;
    for (int i = m - 1; i >= 0; --i) {
      const uint32_t cur = rest << 16 | dividend[i];
      q[i] = static_cast<uint16_t>(cur / d);
      rest = cur % d;
    }
    r[0] = static_cast<uint16_t>(rest);
  } else {
    // Long division in base 65536: normalise so that the divisor's top bit
    // is set, estimate each quotient word from the top two words of the
    // running remainder, correct it with the divisor's second word, multiply
    // and subtract, and add back once when that went below zero.
    int s = 0;
    while ((divisor[n - 1] << s & 0x8000) == 0) ++s;
    uint16_t vn[kRdaBigWords] = {};
    uint16_t un[kRdaBigWords + 1] = {};
    bshift(divisor, s, vn, 0, n);
    un[m] = bshift(dividend, s, un, 0, m);
    for (int j = m - n; j >= 0; --j) {
      const uint64_t top = static_cast<uint64_t>(un[j + n]) * kBase + un[j + n - 1];
      uint64_t qhat = un[j + n] == vn[n - 1] ? kBase - 1 : top / vn[n - 1];
      while (static_cast<uint64_t>(vn[n - 2]) * qhat > (top - qhat * vn[n - 1]) * kBase + un[j + n - 2]) {
        --qhat;
        if (top - qhat * vn[n - 1] >= kBase) break;  // the test can no longer succeed
      }
      int64_t borrow = 0;
      uint64_t carry = 0;
      for (int i = 0; i < n; ++i) {
        const uint64_t p = qhat * vn[i] + carry;
        carry = p >> 16;
        const int64_t t = static_cast<int64_t>(un[i + j]) - static_cast<int64_t>(p & 0xFFFF) - borrow;
        un[i + j] = static_cast<uint16_t>(t);
        borrow = t < 0 ? 1 : 0;
      }
      const int64_t t = static_cast<int64_t>(un[j + n]) - static_cast<int64_t>(carry) - borrow;
      un[j + n] = static_cast<uint16_t>(t);
      if (t < 0) {
        --qhat;
        uint32_t c = 0;
        for (int i = 0; i < n; ++i) {
          const uint32_t sum = static_cast<uint32_t>(un[i + j]) + vn[i] + c;
          un[i + j] = static_cast<uint16_t>(sum);
          c = sum >> 16;
        }
        un[j + n] = static_cast<uint16_t>(un[j + n] + c);
      }
      q[j] = static_cast<uint16_t>(qhat);
    }
    // The remainder, shifted back.
    for (int i = 0; i < n; ++i)
      r[i] = static_cast<uint16_t>((un[i] >> s) | (s == 0 ? 0 : static_cast<uint32_t>(un[i + 1]) << (16 - s)));
  }
  std::memcpy(quotient, q, sizeof q);
  std::memcpy(remainder, r, sizeof r);
  return 0;
}
