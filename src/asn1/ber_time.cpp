// UTCTime and GeneralizedTime contents.
#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcComm = "src/rtp_comm";
constexpr const char* kSrcUni = "src/rtp_uni_";
constexpr const char* kSrcGen = "src/rtp_gen_";

// Fraction digits beyond these are read and ignored: nine keep the value
// and its power of ten within 32 bits.
constexpr int32_t kFractionDigits = 9;

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

uint32_t pow10(int32_t n) {
  uint32_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// Exactly n digits, at most max.
uint32_t ber_getfix(ContentsReader& r, int32_t n, uint32_t max) {
  uint32_t v = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!r.more()) aaRaise(AAE_UNKNOWN_ANY, kSrcComm, 131);
    const uint8_t c = r.next();
    if (!isDigit(c)) aaRaise(AAE_UNKNOWN_ANY, kSrcComm, 116);
    v = v * 10 + (c - '0');
  }
  if (v > max) aaRaise(AAE_UNKNOWN_ANY, kSrcComm, 140);
  return v;
}

// The digits up to the first non-digit or the end; the count of those used.
int32_t ber_getvar(ContentsReader& r, uint32_t* out) {
  uint32_t v = 0;
  int32_t used = 0;
  while (r.more() && isDigit(r.peek())) {
    const uint8_t c = r.next();
    if (used < kFractionDigits) {
      v = v * 10 + (c - '0');
      ++used;
    }
  }
  *out = v;
  return used;
}

// A decimal fraction of `digits` digits as sixtieths.
uint32_t x60(int32_t digits, uint32_t v) { return static_cast<uint32_t>(uint64_t{v} * 6 / pow10(digits - 1)); }

// A decimal fraction of `digits` digits as thousandths.
uint32_t x1000(int32_t digits, uint32_t v) {
  if (digits <= 3) return v * pow10(3 - digits);
  return v / pow10(digits - 3);
}

// A fraction after its comma or full stop: at least one digit.
int32_t fraction(ContentsReader& r, uint32_t* v) {
  r.next();
  const int32_t digits = ber_getvar(r, v);
  if (digits == 0) aaRaise(AAE_UNKNOWN_ANY, kSrcComm, __LINE__);
  return digits;
}

bool atFraction(const ContentsReader& r) {
  const uint8_t c = r.peek();
  return c == ',' || c == '.';
}

// Z, +hhmm or -hhmm at the read position, which must end the contents:
// 1 with the zone stored; 0 without a zone character (nothing consumed).
int32_t ber_getofs(ContentsReader& r, BerTime* t) {
  const uint8_t c = r.peek();
  if (c == 'Z' || c == 'z') {
    r.next();
    t->offHour = 0;
    t->offMin = 0;
  } else if (c == '+' || c == '-') {
    r.next();
    const int32_t h = static_cast<int32_t>(ber_getfix(r, 2, c == '+' ? 13 : 12));
    const int32_t m = static_cast<int32_t>(ber_getfix(r, 2, 59));
    t->offHour = c == '+' ? h : -h;
    t->offMin = c == '+' ? m : -m;
  } else {
    return 0;
  }
  if (r.more()) aaRaise(AAE_LENERR, kSrcUni, 108);
  t->zone = 1;
  return 1;
}

// The zone, written back to front: Z, or a sign and the offset.
int64_t addZone(const BerTime* t, const char* file, uint32_t line) {
  if (t->offHour == 0 && t->offMin == 0) {
    aa_putOctet('Z');
    return 1;
  }
  uint8_t sign = '+';
  int32_t h = t->offHour;
  int32_t m = t->offMin;
  if (h <= 0 && m <= 0) {
    sign = '-';
    h = -h;
    m = -m;
  } else if (h < 0 || m < 0) {
    aaRaise(AAE_BADOFS, file, line);
  }
  ber_addtim(static_cast<uint32_t>(m));
  ber_addtim(static_cast<uint32_t>(h));
  aa_putOctet(sign);
  return 5;
}

// ss, mm, hh, DD and MM in front of what was written.
int64_t addClock(const BerTime* t) {
  ber_addtim(t->sec);
  ber_addtim(t->min);
  ber_addtim(t->hour);
  ber_addtim(t->day);
  ber_addtim(t->month + 1);
  return 10;
}

}  // namespace

int64_t ber_addtim(uint32_t v) {
  if (v > 99) aaRaise(AAE_OVFLO, kSrcUni, __LINE__);
  aa_putOctet(static_cast<uint8_t>('0' + v % 10));
  aa_putOctet(static_cast<uint8_t>('0' + v / 10));
  return 2;
}

int64_t ber_addyear(uint32_t v) {
  if (v > 9999) aaRaise(AAE_OVFLO, kSrcGen, __LINE__);
  for (int32_t i = 0; i < 4; ++i, v /= 10) aa_putOctet(static_cast<uint8_t>('0' + v % 10));
  return 4;
}

int64_t ber_addmsec(uint32_t v) {
  for (int32_t i = 0; i < 3; ++i, v /= 10) aa_putOctet(static_cast<uint8_t>('0' + v % 10));
  return 3;
}

void ber_getutc(BerTime* t) {
  if (eopenv[lev].remaining < 1) aaRaise(AAE_LENERR, kSrcUni, 133);
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcUni, 142);
  ContentsReader r;
  const int64_t len = r.left();
  BerTime v{};
  v.year = ber_getfix(r, 2, 99);
  v.month = ber_getfix(r, 2, 12) - 1;
  v.day = ber_getfix(r, 2, 31);
  v.hour = ber_getfix(r, 2, 23);
  v.min = ber_getfix(r, 2, 59);
  if (len == 13 || len == 17) v.sec = ber_getfix(r, 2, 59);
  else if (len != 11 && len != 15) aaRaise(AAE_LENERR, kSrcUni, 199);
  if (!r.more() || ber_getofs(r, &v) == 0) aaRaise(AAE_BADOFS, kSrcUni, 210);
  aa_leaveLevel();
  *t = v;
}

int64_t ber_addutc(const BerTime* t) {
  int64_t n = addZone(t, kSrcUni, 269);
  n += addClock(t);
  n += ber_addtim(t->year % 100);
  cons = 0;
  return n;
}

void ber_gettime(BerTime* t) {
  if (eopenv[lev].remaining < 1) aaRaise(AAE_LENERR, kSrcGen, 58);
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcGen, 66);
  ContentsReader r;
  BerTime v{};
  v.year = ber_getfix(r, 4, 9999);
  v.month = ber_getfix(r, 2, 12) - 1;
  v.day = ber_getfix(r, 2, 31);
  v.hour = ber_getfix(r, 2, 23);
  // Each further field: a zone or the end finishes, a comma or full stop
  // starts the fraction of the field before.
  auto finished = [&] { return !r.more() || ber_getofs(r, &v) == 1; };
  auto afterFraction = [&] {
    if (r.more() && ber_getofs(r, &v) == 0) aaRaise(AAE_NOTEOC, kSrcGen, 178);
  };
  uint32_t f = 0;
  if (!finished()) {
    if (atFraction(r)) {
      const int32_t digits = fraction(r, &f);
      v.min = x60(digits, f);
      afterFraction();
    } else {
      v.min = ber_getfix(r, 2, 59);
      if (!finished()) {
        if (atFraction(r)) {
          const int32_t digits = fraction(r, &f);
          v.sec = x60(digits, f);
          afterFraction();
        } else {
          v.sec = ber_getfix(r, 2, 59);
          if (!finished()) {
            if (!atFraction(r)) aaRaise(AAE_NOTEOC, kSrcGen, 178);
            const int32_t digits = fraction(r, &f);
            v.msec = x1000(digits, f);
            afterFraction();
          }
        }
      }
    }
  }
  aa_leaveLevel();
  *t = v;
}

int64_t ber_addtime(const BerTime* t) {
  int64_t n = t->zone != 0 ? addZone(t, kSrcGen, 219) : 0;
  n += addClock(t);
  n += ber_addyear(t->year);
  cons = 0;
  return n;
}
