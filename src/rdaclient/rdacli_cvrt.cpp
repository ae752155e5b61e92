#include "src/rdaclient/rdacli_cvrt.h"

#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_deliver.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_numtext.h"
#include "src/runtime/tm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_cvrt";

// ---------------------------------------------------------------------------
// Type tables

constexpr int16_t valtagToSQLTBL[30] = {
    RDA_CLI_SQL_CHAR, RDA_CLI_SQL_NUMERIC, RDA_CLI_SQL_DECIMAL, RDA_CLI_SQL_INTEGER, RDA_CLI_SQL_SMALLINT,  // 0-4
    RDA_CLI_SQL_FLOAT, RDA_CLI_SQL_REAL, RDA_CLI_SQL_DOUBLE, RDA_CLI_SQL_TIMESTAMP, 0,                 // 5-9
    RDA_CLI_SQL_VARCHAR, RDA_CLI_SQL_BINARY, RDA_CLI_SQL_VARBINARY, RDA_CLI_SQL_WCHAR, RDA_CLI_SQL_WVARCHAR,  // 10-14
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                         // 15-29
};

// Matrix column of each C type -18..11 (SQL_C_DEFAULT is looked up as 0).
constexpr int16_t kNone = -999;
constexpr int16_t mapCOutDataType[30] = {
    0,     1,     2,     3,      // -18 ULONG, -17 USHORT, -16 SLONG, -15 SSHORT
    kNone, kNone, 16,    kNone,  // -14, -13, -12 VARIANT, -11
    kNone, kNone, 17,    4,      // -10, -9, -8 WCHAR, -7 BIT
    5,     kNone, kNone, kNone,  // -6 TINYINT, -5, -4, -3
    6,     kNone, 7,     8,      // -2 BINARY, -1, 0 DEFAULT, 1 CHAR
    kNone, kNone, 9,     10,     // 2, 3, 4 LONG, 5 SHORT
    kNone, 11,    12,    13,     // 6, 7 FLOAT, 8 DOUBLE, 9 DATE
    14,    15,                   // 10 TIME, 11 TIMESTAMP
};

constexpr int16_t mapSQLTypeToVariantItemType[24] = {
    kNone, kNone, kNone, kNone,      // -12..-9
    -8,    kNone, kNone, kNone,      // -8, -7..-5
    -2,    -2,    -2,    kNone,      // -4, -3, -2, -1
    kNone, 1,     1,     1,          // 0, 1, 2, 3
    4,     5,     8,     7,  8,      // 4, 5, 6, 7, 8
    11,    11,    11,                // 9, 10, 11
};

// ---------------------------------------------------------------------------
// Small helpers

void addError(RDA_CliHSTMT* stmt, uint32_t index, const char* text) {
  RDA_cliAddError(&stmt->errors, index, 0, text, stmt->tree);
}

void truncated(RDA_CliHSTMT* stmt) { addError(stmt, RDA_CLI_ROW_TRUNCATED, nullptr); }

void outOfRange(RDA_CliHSTMT* stmt, const char* text) { addError(stmt, RDA_CLI_ROW_OUT_OF_RANGE, text); }

void setInd(RDA_CliBind* bind, int64_t value) {
  if (bind->ind != nullptr) *bind->ind = value;
}

template <class T>
void put(RDA_CliBind* bind, T value, int64_t ind) {
  if (bind->buffer != nullptr) std::memcpy(bind->buffer, &value, sizeof value);
  setInd(bind, ind);
}

int32_t intOf(const void* data) { return static_cast<const RDA_CliValueData*>(data)->integer; }
double realOf(const void* data) { return static_cast<const RDA_CliValueData*>(data)->real; }
const RDA_CliText& textOf(const void* data) { return static_cast<const RDA_CliValueData*>(data)->text; }
const char* dateTimeOf(const void* data) { return static_cast<const RDA_CliValueData*>(data)->dateTime; }

// Copies `n` bytes of `text` and a NUL into the buffer.
void copyText(RDA_CliBind* bind, const char* text, size_t n) {
  auto* out = static_cast<char*>(bind->buffer);
  std::memcpy(out, text, n);
  out[n] = '\0';
}

// The ways a text is cut to the buffer.
enum class Cut {
  Warn,          // bufLen - 1 bytes and a NUL, 01004, indicator the full length
  WarnShort,     // bufLen - 1 bytes and a NUL, 01004, indicator bufLen - 1
  WarnBufLen,    // bufLen - 1 bytes and a NUL, 01004, indicator bufLen
  Refuse,        // nothing written, 22003
  RefuseButFraction,  // as Refuse, unless only fraction digits are cut (then Warn)
};

// Delivers `len` bytes of `text` as 8-bit text. A buffer that cannot hold
// even the NUL (length 0 or below) receives nothing: 01004 and the full
// length; without a buffer only the length is given. A value delivered cut
// marks the column: this value keeps no read position, so it has been read.
void deliverText(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const char* text, size_t len, Cut cut) {
  const auto full = static_cast<int64_t>(len);
  if (bind->buffer == nullptr) {
    setInd(bind, full);
    return;
  }
  if (bind->bufLen > full) {
    copyText(bind, text, len);
    setInd(bind, full);
    return;
  }
  if (bind->bufLen <= 0) {
    truncated(stmt);
    setInd(bind, full);
    return;
  }
  auto keep = static_cast<size_t>(bind->bufLen - 1);
  switch (cut) {
    case Cut::Refuse:
      outOfRange(stmt, nullptr);
      return;
    case Cut::RefuseButFraction: {
      // Only a text without exponent whose cut leaves every integer digit.
      const char* point = static_cast<const char*>(std::memchr(text, '.', len));
      if (std::memchr(text, 'E', len) != nullptr || point == nullptr || keep < static_cast<size_t>(point - text)) {
        outOfRange(stmt, nullptr);
        return;
      }
      if (keep == static_cast<size_t>(point - text) + 1) --keep;  // no point without a digit after it
      copyText(bind, text, keep);
      truncated(stmt);
      setInd(bind, full);
      col->flags |= RDA_CLI_COL_CUT_READ;
      return;
    }
    case Cut::Warn:
      setInd(bind, full);
      break;
    case Cut::WarnShort:
      setInd(bind, static_cast<int64_t>(keep));
      break;
    case Cut::WarnBufLen:
      setInd(bind, bind->bufLen);
      break;
  }
  copyText(bind, text, keep);
  truncated(stmt);
  col->flags |= RDA_CLI_COL_CUT_READ;
}

// ---------------------------------------------------------------------------
// Number texts

// The texts of a number that does not fit its target, by the form it came
// in.
struct RangeTexts {
  const char* ulong;
  const char* ushort;
  const char* slong;
  const char* sshort;
};
constexpr RangeTexts kDigitTexts = {
    "Numeric value incompatible with conversion to Unsigned integer",
    "Numeric value incompatible with conversion to Small integer",
    "Numeric value incompatible with conversion to Integer",
    "Numeric value incompatible with conversion to small integer",
};
constexpr RangeTexts kEightByteTexts = {
    "Numeric value incompatible with conversion to Unsigned integer",
    "Numeric value incompatible with conversion to Unsigned short integer",
    "Numeric value incompatible with conversion to Integer",
    "Numeric value incompatible with conversion to Small Integer",
};
constexpr const char* kNumToBit = "Numeric value incompatible with conversion to SQL_C_BIT";
constexpr const char* kNumToTinyInt = "Numeric value incompatible with conversion to SQL_C_TINYINT";
constexpr const char* kNumToFloat = "Numeric value incompatible with conversion to Float";

constexpr const char* kIntToSmallInt = "Integer value incompatible with conversion to Small integer";
constexpr const char* kIntToUInt = "Integer value incompatible with conversion to unsigned integer";
constexpr const char* kIntToBit = "Integer value incompatible with conversion to SQL_C_BIT";
constexpr const char* kIntToTinyInt = "Integer value incompatible with conversion to SQL_C_TINYINT";
constexpr const char* kDblToInt = "Double value incompatible with conversion to Integer";
constexpr const char* kDblToUInt = "Double value incompatible with conversion to unsigned integer";
constexpr const char* kDblToSmallInt = "Double value incompatible with conversion to Small integer";
constexpr const char* kDblToUSmallInt = "Double value incompatible with conversion to Unsigned Integer";
constexpr const char* kDblToFloat = "Double value incompatible with conversion to Float";

// Longest number text parsed; a longer one is no number any target holds.
constexpr size_t kNumberTextMax = 255;

// The locale's decimal point when it is one character, else '.'.
char localePoint() {
  const char* dp = std::localeconv()->decimal_point;
  return dp != nullptr && dp[0] != '\0' && dp[1] == '\0' ? dp[0] : '.';
}

// A number text made ready for the C library's parsers: blanks around it
// dropped, its first '.' made the locale's decimal point, NUL-terminated.
// False when nothing is left or it is longer than kNumberTextMax.
bool numberText(const char* text, size_t len, char (&out)[kNumberTextMax + 1]) {
  while (len > 0 && text[0] == ' ') ++text, --len;
  while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\0')) --len;
  if (len == 0 || len > kNumberTextMax) return false;
  std::memcpy(out, text, len);
  out[len] = '\0';
  if (char* point = static_cast<char*>(std::memchr(out, '.', len))) *point = localePoint();
  return true;
}

// Writes a number text into the binding as C type `cType` (one of the
// numeric targets), with the range texts of its form. A text that holds no
// number gives 22005.
void parseNumber(RDA_CliHSTMT* stmt, RDA_CliBind* bind, const char* text, size_t len, const RangeTexts& texts) {
  const int16_t c = bind->cType;
  const char* range = nullptr;  // the text of a value out of the target's range
  switch (c) {
    case RDA_CLI_C_ULONG: range = texts.ulong; break;
    case RDA_CLI_C_USHORT: range = texts.ushort; break;
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG: range = texts.slong; break;
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT: range = texts.sshort; break;
    case RDA_CLI_C_TINYINT: range = kNumToTinyInt; break;
    case RDA_CLI_C_FLOAT: range = kNumToFloat; break;
    default: break;
  }
  char buf[kNumberTextMax + 1];
  if (!numberText(text, len, buf)) {
    // Blank, or too long for any number.
    size_t blanks = 0;
    while (blanks < len && text[blanks] == ' ') ++blanks;
    if (blanks < len) return outOfRange(stmt, range);
    return addError(stmt, RDA_CLI_ROW_ASSIGNMENT, nullptr);
  }
  char* end = nullptr;
  const double d = std::strtod(buf, &end);
  if (end == buf) return addError(stmt, RDA_CLI_ROW_ASSIGNMENT, nullptr);
  if (c == RDA_CLI_C_DOUBLE) return put(bind, d, 8);
  if (c == RDA_CLI_C_FLOAT) {
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return outOfRange(stmt, range);
    return put(bind, static_cast<float>(d), 4);
  }
  // Integer targets take the integer part, in base 10.
  errno = 0;
  long long v = std::strtoll(buf, &end, 10);
  const bool huge = errno == ERANGE;
  if (end == buf) v = 0;  // no integer digits: ".5"
  auto fits = [&](long long lo, long long hi) { return !huge && v >= lo && v <= hi; };
  switch (c) {
    case RDA_CLI_C_ULONG:
      if (!fits(0, UINT32_MAX)) return outOfRange(stmt, range);
      return put(bind, static_cast<uint32_t>(v), 4);
    case RDA_CLI_C_USHORT:
      if (!fits(0, UINT16_MAX)) return outOfRange(stmt, range);
      return put(bind, static_cast<uint16_t>(v), 2);
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG:
      if (!fits(INT32_MIN, INT32_MAX)) return outOfRange(stmt, range);
      return put(bind, static_cast<int32_t>(v), 4);
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT:
      if (!fits(INT16_MIN, INT16_MAX)) return outOfRange(stmt, range);
      return put(bind, static_cast<int16_t>(v), 2);
    case RDA_CLI_C_TINYINT:
      if (!fits(-128, 255)) return outOfRange(stmt, range);
      return put(bind, static_cast<uint8_t>(v), 1);
    default:
      return;
  }
}

bool numericTarget(int16_t c) {
  switch (c) {
    case RDA_CLI_C_ULONG:
    case RDA_CLI_C_USHORT:
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_LONG:
    case RDA_CLI_C_SHORT:
    case RDA_CLI_C_FLOAT:
    case RDA_CLI_C_DOUBLE:
      return true;
    default:
      return false;
  }
}

// The connection's numerics travel as digit strings (else as 8 bytes).
bool digitStrings(const RDA_CliHSTMT* stmt) { return stmt->conn == nullptr || stmt->conn->numericFormat != 0; }

// The decimal text of an 8-byte numeric value, or NULL (diagnostic added).
const char* eightByteText(RDA_CliHSTMT* stmt, const RDA_CliCol* col, const RDA_CliText& t) {
  return RDA_cliCvrt8byteInt(stmt, t.length, t.text, col->scale, static_cast<int32_t>(col->colSize));
}

// ---------------------------------------------------------------------------
// Dates and times

enum class Stamp { Date, Time, Timestamp };

struct Parsed {
  RdaCliTimestamp ts{};
  bool ok = false;
};

// Reads a date, time or timestamp text; a timestamp's fraction only when
// `withFraction`, its digits taken as the leading digits of nanoseconds.
Parsed parseStamp(const char* text, Stamp kind, bool withFraction) {
  Parsed p;
  RdaCliTimestamp& t = p.ts;
  int at = 0;
  switch (kind) {
    case Stamp::Date:
      p.ok = std::sscanf(text, "%4hd-%2hd-%2hd", &t.year, &t.month, &t.day) == 3;
      break;
    case Stamp::Time:
      p.ok = std::sscanf(text, "%2hd:%2hd:%2hd", &t.hour, &t.minute, &t.second) == 3;
      break;
    case Stamp::Timestamp:
      p.ok = std::sscanf(text, "%4hd-%2hd-%2hd %2hd:%2hd:%2hd%n", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                         &t.second, &at) == 6;
      if (p.ok && withFraction && text[at] == '.') {
        uint32_t fraction = 0;
        int digits = 0;
        for (const char* s = text + at + 1; *s >= '0' && *s <= '9' && digits < 9; ++s, ++digits)
          fraction = fraction * 10 + static_cast<uint32_t>(*s - '0');
        for (; digits < 9; ++digits) fraction *= 10;
        t.fraction = fraction;
      }
      break;
  }
  return p;
}

// Writes a parsed value as C type 9, 10 or 11 (99 takes the value's own
// kind). A date target is not cleared first; time and timestamp targets are.
void putStamp(RDA_CliHSTMT* stmt, RDA_CliBind* bind, const Parsed& p, Stamp kind) {
  if (!p.ok) {
    addError(stmt, RDA_CLI_ROW_ASSIGNMENT, nullptr);
    return;
  }
  int16_t c = bind->cType;
  if (c == RDA_CLI_C_DEFAULT) c = kind == Stamp::Date ? RDA_CLI_C_DATE : kind == Stamp::Time ? RDA_CLI_C_TIME : RDA_CLI_C_TIMESTAMP;
  void* out = bind->buffer;
  switch (c) {
    case RDA_CLI_C_DATE:
      if (out != nullptr) {
        auto* d = static_cast<RdaCliDate*>(out);
        d->year = p.ts.year;
        d->month = p.ts.month;
        d->day = p.ts.day;
      }
      setInd(bind, sizeof(RdaCliDate));
      break;
    case RDA_CLI_C_TIME: {
      RdaCliTime t{p.ts.hour, p.ts.minute, p.ts.second};
      put(bind, t, sizeof t);
      break;
    }
    case RDA_CLI_C_TIMESTAMP: {
      RdaCliTimestamp ts = p.ts;
      if (kind == Stamp::Date) ts.hour = ts.minute = ts.second = 0, ts.fraction = 0;
      if (kind == Stamp::Time) ts.year = 1970, ts.month = 1, ts.day = 1, ts.fraction = 0;
      put(bind, ts, sizeof ts);
      break;
    }
    default:
      break;
  }
}

void stampToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data, Stamp kind) {
  const char* text = dateTimeOf(data);
  const size_t len = strnlen(text, RDA_CLI_DATETIME_SIZE - 1);
  if (bind->cType == RDA_CLI_C_CHAR || bind->cType == RDA_CLI_C_BINARY) {
    size_t n = len;
    if (kind == Stamp::Timestamp) {
      // Cut to the column: 19 characters without a fraction, else the size
      // the column's fraction digits give.
      const size_t size = col->colSize <= 19 ? 19 : col->colSize;
      if (n > size) n = size;
    }
    deliverText(stmt, bind, col, text, n, Cut::WarnShort);
    return;
  }
  putStamp(stmt, bind, parseStamp(text, kind, col->colSize >= 20), kind);
}

// ---------------------------------------------------------------------------
// Storage of a value and of a column

enum class Storage { None, Text, WText, Digits, Int, Dbl, DateTime, Bits };

Storage storageOf(int16_t sqlType) {
  switch (sqlType) {
    case RDA_CLI_SQL_CHAR:
    case RDA_CLI_SQL_VARCHAR:
    case RDA_CLI_SQL_LONGVARCHAR:
      return Storage::Text;
    case RDA_CLI_SQL_WCHAR:
    case RDA_CLI_SQL_WVARCHAR:
    case RDA_CLI_SQL_WLONGVARCHAR:
      return Storage::WText;
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DECIMAL:
      return Storage::Digits;
    case RDA_CLI_SQL_INTEGER:
    case RDA_CLI_SQL_SMALLINT:
    case RDA_CLI_SQL_BIT:
    case RDA_CLI_SQL_TINYINT:
      return Storage::Int;
    case RDA_CLI_SQL_FLOAT:
    case RDA_CLI_SQL_REAL:
    case RDA_CLI_SQL_DOUBLE:
      return Storage::Dbl;
    case RDA_CLI_SQL_DATE:
    case RDA_CLI_SQL_TIME:
    case RDA_CLI_SQL_TIMESTAMP:
      return Storage::DateTime;
    case RDA_CLI_SQL_BINARY:
    case RDA_CLI_SQL_VARBINARY:
    case RDA_CLI_SQL_LONGVARBINARY:
      return Storage::Bits;
    default:
      return Storage::None;
  }
}

// 1-byte and larger fixed-size C types, whose buffers need no length.
bool fixedSize(int16_t c) {
  return numericTarget(c) || c == RDA_CLI_C_BIT || c == RDA_CLI_C_TINYINT || c == RDA_CLI_C_DATE || c == RDA_CLI_C_TIME ||
         c == RDA_CLI_C_TIMESTAMP;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tables

int16_t RDA_cliCvrtValTagToSQLType(uint32_t tag) {
  const uint32_t i = tag - 0x4000u;
  return i < std::size(valtagToSQLTBL) ? valtagToSQLTBL[i] : 0;
}

int32_t getCTypeIndex(int16_t cType) {
  const int32_t c = cType == RDA_CLI_C_DEFAULT ? 0 : cType;
  const int32_t i = c + 18;
  if (i < 0 || i >= static_cast<int32_t>(std::size(mapCOutDataType))) return -1;
  return mapCOutDataType[i] == kNone ? -1 : mapCOutDataType[i];
}

int32_t getSQLTypeToVariantItem(int16_t sqlType) {
  const int32_t i = sqlType + 12;
  if (i < 0 || i >= static_cast<int32_t>(std::size(mapSQLTypeToVariantItemType))) return -1;
  return mapSQLTypeToVariantItemType[i] == kNone ? -1 : mapSQLTypeToVariantItemType[i];
}

// ---------------------------------------------------------------------------
// Integers

void getInt(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  if (bind->bufLen == 2) return put(bind, static_cast<int16_t>(intOf(data)), 2);
  put(bind, intOf(data), 4);
}

void cvrtIntToUInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const int32_t v = intOf(data);
  if (v < 0) return outOfRange(stmt, kIntToUInt);
  put(bind, static_cast<uint32_t>(v), 4);
}

void cvrtIntToSmallInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const int32_t v = intOf(data);
  if (v < INT16_MIN || v > INT16_MAX) return outOfRange(stmt, kIntToSmallInt);
  put(bind, static_cast<int16_t>(v), 2);
}

void cvrtIntToUSmallInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const int32_t v = intOf(data);
  if (v < 0 || v > UINT16_MAX) return outOfRange(stmt, kIntToSmallInt);
  put(bind, static_cast<uint16_t>(v), 2);
}

void cvrtIntToBit(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const int32_t v = intOf(data);
  if (v != 0 && v != 1) return outOfRange(stmt, kIntToBit);
  put(bind, static_cast<uint8_t>(v), 1);
}

void cvrtIntToTinyInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const int32_t v = intOf(data);
  if (v < -128 || v > 255) return outOfRange(stmt, kIntToTinyInt);
  put(bind, static_cast<uint8_t>(v), 1);
}

void cvrtIntToFloat(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  put(bind, static_cast<float>(intOf(data)), 4);
}

void cvrtIntToDble(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  put(bind, static_cast<double>(intOf(data)), 8);
}

void cvrtIntToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%d", static_cast<int>(intOf(data)));
  deliverText(stmt, bind, col, text, static_cast<size_t>(n), Cut::Refuse);
}

void getSmallInt(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  put(bind, static_cast<int16_t>(intOf(data)), 2);
}

void cvrtSmallIntToUInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToUInt(stmt, bind, col, data);
}

void cvrtSmallIntToUSmallInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToUSmallInt(stmt, bind, col, data);
}

void cvrtSmallIntToInt(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) { put(bind, intOf(data), 4); }

void cvrtSmallIntToBit(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToBit(stmt, bind, col, data);
}

void cvrtSmallIntToTinyInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToTinyInt(stmt, bind, col, data);
}

void cvrtSmallIntToFloat(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToFloat(stmt, bind, col, data);
}

void cvrtSmallIntToDble(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToDble(stmt, bind, col, data);
}

void cvrtSmallIntToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  cvrtIntToChar(stmt, bind, col, data);
}

// ---------------------------------------------------------------------------
// Doubles

void getDbl(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) { put(bind, realOf(data), 8); }

void getFloat(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const double v = realOf(data);
  if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return outOfRange(stmt, kDblToFloat);
  put(bind, static_cast<float>(v), 4);
}

void cvrtDbleToFloat(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  getFloat(stmt, bind, col, data);
}

// The comparisons are written so that NaN fails every one of them.
void cvrtDbleToInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const double v = realOf(data);
  if (!(v > -2147483649.0 && v < 2147483648.0)) return outOfRange(stmt, kDblToInt);
  put(bind, static_cast<int32_t>(v), 4);
}

void cvrtDbleToUInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const double v = realOf(data);
  if (!(v > -1.0 && v < 4294967296.0)) return outOfRange(stmt, kDblToUInt);
  put(bind, static_cast<uint32_t>(v), 4);
}

void cvrtDbleToSmallInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const double v = realOf(data);
  if (!(v > -32769.0 && v < 32768.0)) return outOfRange(stmt, kDblToSmallInt);
  put(bind, static_cast<int16_t>(v), 2);
}

void cvrtDbleToUSmallInt(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const double v = realOf(data);
  if (!(v > -1.0 && v < 65536.0)) return outOfRange(stmt, kDblToUSmallInt);
  put(bind, static_cast<uint16_t>(v), 2);
}

void cvrtDblToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%.15G", realOf(data));
  const char point = localePoint();
  if (point != '.') {
    if (char* p = std::strchr(text, point)) *p = '.';
  }
  deliverText(stmt, bind, col, text, static_cast<size_t>(n), Cut::RefuseButFraction);
}

// ---------------------------------------------------------------------------
// Bits and tiny integers: the low byte, unsigned.

namespace {
uint8_t lowByte(const void* data) { return static_cast<uint8_t>(intOf(data)); }

void byteToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, const void* data) {
  const uint8_t v = lowByte(data);
  switch (bind->cType) {
    case RDA_CLI_C_FLOAT:
      return put(bind, static_cast<float>(v), 4);
    case RDA_CLI_C_DOUBLE:
      return put(bind, static_cast<double>(v), 8);
    case RDA_CLI_C_ULONG:
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG:
      return put(bind, static_cast<int32_t>(v), 4);
    case RDA_CLI_C_USHORT:
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT:
      return put(bind, static_cast<int16_t>(v), 2);
    case RDA_CLI_C_BINARY:
      if (bind->bufLen < 1) return truncated(stmt);
      return put(bind, v, 1);
    default:
      return;
  }
}
}  // namespace

void getBit(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) { put(bind, lowByte(data), 1); }

void getTinyint(RDA_CliHSTMT*, RDA_CliBind* bind, RDA_CliCol*, const void* data) { put(bind, lowByte(data), 1); }

void cvrtBitToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) { byteToX(stmt, bind, data); }

void cvrtTinyintToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  byteToX(stmt, bind, data);
}

void cvrtBitToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  if (bind->bufLen < 2) return truncated(stmt);
  if (bind->buffer != nullptr) copyText(bind, lowByte(data) != 0 ? "1" : "0", 1);
  setInd(bind, 1);
}

void cvrtTinyintToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  char text[8];
  const int n = std::snprintf(text, sizeof text, "%d", static_cast<int>(lowByte(data)));
  deliverText(stmt, bind, col, text, static_cast<size_t>(n), Cut::Refuse);
}

// ---------------------------------------------------------------------------
// NUMERIC and DECIMAL

void cvrtNumToChar(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  const RDA_CliText& t = textOf(data);
  if (digitStrings(stmt)) {
    deliverText(stmt, bind, col, reinterpret_cast<const char*>(t.text), t.length, Cut::Warn);
    return;
  }
  const char* text = eightByteText(stmt, col, t);
  if (text == nullptr) return;
  col->flags |= RDA_CLI_COL_CUT_READ;  // fraction digits beyond the precision are gone, not left
  deliverText(stmt, bind, col, text, std::strlen(text), Cut::WarnBufLen);
}

void cvrtNumToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  if (!numericTarget(bind->cType)) return;
  const RDA_CliText& t = textOf(data);
  if (digitStrings(stmt)) {
    parseNumber(stmt, bind, reinterpret_cast<const char*>(t.text), t.length, kDigitTexts);
    return;
  }
  const char* text = eightByteText(stmt, col, t);
  if (text == nullptr) return;
  col->flags |= RDA_CLI_COL_CUT_READ;
  parseNumber(stmt, bind, text, std::strlen(text), kEightByteTexts);
}

// ---------------------------------------------------------------------------
// Character values to numbers, dates and times

void cvrtCharToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol*, const void* data) {
  const RDA_CliText& t = textOf(data);
  const auto* text = reinterpret_cast<const char*>(t.text);
  const int16_t c = bind->cType;
  if (c == RDA_CLI_C_BIT) {
    if (t.length > 0 && (text[0] == '0' || text[0] == '1')) return put(bind, static_cast<uint8_t>(text[0] - '0'), 1);
    return outOfRange(stmt, kNumToBit);
  }
  if (numericTarget(c) || c == RDA_CLI_C_TINYINT) return parseNumber(stmt, bind, text, t.length, kDigitTexts);
  if (c == RDA_CLI_C_DATE || c == RDA_CLI_C_TIME || c == RDA_CLI_C_TIMESTAMP) {
    char stamp[32];
    const size_t n = t.length < sizeof stamp - 1 ? t.length : sizeof stamp - 1;
    std::memcpy(stamp, text, n);
    stamp[n] = '\0';
    const Stamp kind = c == RDA_CLI_C_DATE ? Stamp::Date : c == RDA_CLI_C_TIME ? Stamp::Time : Stamp::Timestamp;
    putStamp(stmt, bind, parseStamp(stamp, kind, n >= 20), kind);
  }
}

void cvrtDateToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  stampToX(stmt, bind, col, data, Stamp::Date);
}

void cvrtTimeToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  stampToX(stmt, bind, col, data, Stamp::Time);
}

void cvrtTsToX(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  stampToX(stmt, bind, col, data, Stamp::Timestamp);
}

// ---------------------------------------------------------------------------
// The matrix: a row per SQL type -12..12, a column per C type in the order
// of mapCOutDataType: ULONG, USHORT, SLONG, SSHORT, BIT, TINYINT, BINARY,
// DEFAULT, CHAR, LONG, SHORT, FLOAT, DOUBLE, DATE, TIME, TIMESTAMP, VARIANT,
// WCHAR.

namespace {
constexpr RdaCliCvrtFn nil = nullptr;
}  // namespace

const RdaCliCvrtFn fSqlType2CTypeFunc[kRdaCliCvrtRows][kRdaCliCvrtColumns] = {
    /* -12 variant */ {nil, nil, nil, nil, nil, nil, nil, getVariant, nil, nil, nil, nil, nil, nil, nil, nil, getVariant, nil},
    /* -11 */ {nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil},
    /* -10 WLONGVARCHAR */ {nil, nil, nil, nil, nil, nil, nil, getWChar, cvrtWCharToChar, nil, nil, nil, nil, nil, nil, nil, nil, getWChar},
    /* -9 WVARCHAR */ {nil, nil, nil, nil, nil, nil, nil, getWChar, cvrtWCharToChar, nil, nil, nil, nil, nil, nil, nil, nil, getWChar},
    /* -8 WCHAR */ {nil, nil, nil, nil, nil, nil, nil, getWChar, cvrtWCharToChar, nil, nil, nil, nil, nil, nil, nil, nil, getWChar},
    /* -7 BIT */
    {cvrtBitToX, cvrtBitToX, cvrtBitToX, cvrtBitToX, getBit, getBit, cvrtBitToX, getBit, cvrtBitToChar, cvrtBitToX,
     cvrtBitToX, cvrtBitToX, cvrtBitToX, nil, nil, nil, nil, cvrtBitToWChar},
    /* -6 TINYINT */
    {cvrtTinyintToX, cvrtTinyintToX, cvrtTinyintToX, cvrtTinyintToX, getTinyint, getTinyint, cvrtTinyintToX,
     getTinyint, cvrtTinyintToChar, cvrtTinyintToX, cvrtTinyintToX, cvrtTinyintToX, cvrtTinyintToX, nil, nil, nil, nil,
     cvrtTinyintToWChar},
    /* -5 */ {nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil},
    /* -4 LONGVARBINARY */
    {nil, nil, nil, nil, nil, nil, getLongVarBinary, getLongVarBinary, cvrtLongVB2Char, nil, nil, nil, nil, nil, nil, nil, nil,
     cvrtLongVB2WChar},
    /* -3 VARBINARY */
    {nil, nil, nil, nil, nil, nil, getLongVarBinary, getLongVarBinary, cvrtLongVB2Char, nil, nil, nil, nil, nil, nil, nil, nil,
     cvrtLongVB2WChar},
    /* -2 BINARY */
    {nil, nil, nil, nil, nil, nil, getLongVarBinary, getLongVarBinary, cvrtLongVB2Char, nil, nil, nil, nil, nil, nil, nil, nil,
     cvrtLongVB2WChar},
    /* -1 LONGVARCHAR */
    {cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, getChar, getChar, getChar,
     cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, nil, nil, nil, nil, cvrtCharToWChar},
    /* 0 */ {nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil, nil},
    /* 1 CHAR */
    {cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, getChar, getChar, getChar,
     cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, nil, cvrtCharToWChar},
    /* 2 NUMERIC */
    {cvrtNumToX, cvrtNumToX, cvrtNumToX, cvrtNumToX, nil, nil, nil, cvrtNumToChar, cvrtNumToChar, cvrtNumToX, cvrtNumToX,
     cvrtNumToX, cvrtNumToX, nil, nil, nil, nil, cvrtNumToWChar},
    /* 3 DECIMAL */
    {nil, nil, nil, nil, nil, nil, nil, cvrtNumToChar, cvrtNumToChar, nil, nil, nil, nil, nil, nil, nil, nil, cvrtNumToWChar},
    /* 4 INTEGER */
    {cvrtIntToUInt, cvrtIntToUSmallInt, getInt, cvrtIntToSmallInt, cvrtIntToBit, cvrtIntToTinyInt, nil, getInt,
     cvrtIntToChar, getInt, cvrtIntToSmallInt, cvrtIntToFloat, cvrtIntToDble, nil, nil, nil, nil, cvrtIntToWChar},
    /* 5 SMALLINT */
    {cvrtSmallIntToUInt, cvrtSmallIntToUSmallInt, cvrtSmallIntToInt, getSmallInt, cvrtSmallIntToBit,
     cvrtSmallIntToTinyInt, nil, getSmallInt, cvrtSmallIntToChar, cvrtSmallIntToInt, getSmallInt, cvrtSmallIntToFloat,
     cvrtSmallIntToDble, nil, nil, nil, nil, cvrtSmallIntToWChar},
    /* 6 FLOAT */
    {cvrtDbleToUInt, cvrtDbleToUSmallInt, cvrtDbleToInt, cvrtDbleToSmallInt, nil, nil, nil, getDbl, cvrtDblToChar,
     cvrtDbleToInt, cvrtDbleToSmallInt, cvrtDbleToFloat, getDbl, nil, nil, nil, nil, cvrtDblToWChar},
    /* 7 REAL */
    {cvrtDbleToUInt, cvrtDbleToUSmallInt, cvrtDbleToInt, cvrtDbleToSmallInt, nil, nil, nil, getFloat, cvrtDblToChar,
     cvrtDbleToInt, cvrtDbleToSmallInt, getFloat, getDbl, nil, nil, nil, nil, cvrtDblToWChar},
    /* 8 DOUBLE */
    {cvrtDbleToUInt, cvrtDbleToUSmallInt, cvrtDbleToInt, cvrtDbleToSmallInt, nil, nil, nil, getDbl, cvrtDblToChar,
     cvrtDbleToInt, cvrtDbleToSmallInt, cvrtDbleToFloat, getDbl, nil, nil, nil, nil, cvrtDblToWChar},
    /* 9 DATE */
    {nil, nil, nil, nil, nil, nil, cvrtDateToX, cvrtDateToX, cvrtDateToX, nil, nil, nil, nil, cvrtDateToX, nil, cvrtDateToX, nil,
     cvrtDateToWChar},
    /* 10 TIME */
    {nil, nil, nil, nil, nil, nil, cvrtTimeToX, cvrtTimeToX, cvrtTimeToX, nil, nil, nil, nil, nil, cvrtTimeToX, cvrtTimeToX, nil,
     cvrtTimeToWChar},
    /* 11 TIMESTAMP */
    {nil, nil, nil, nil, nil, nil, cvrtTsToX, cvrtTsToX, cvrtTsToX, nil, nil, nil, nil, cvrtTsToX, cvrtTsToX, cvrtTsToX, nil,
     cvrtTsToWChar},
    /* 12 VARCHAR */
    {cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, getChar, getChar, getChar,
     cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, cvrtCharToX, nil, cvrtCharToWChar},
};

// ---------------------------------------------------------------------------
// Dispatch

void RDA_cliCvrtSQLToCol(RDA_CliHSTMT* stmt, RDA_CliBind* bind, RDA_CliCol* col, const void* data) {
  char text[96];
  if (data == nullptr) {
    // A NULL value, whatever the C type: the buffer's first byte is cleared
    // when it has one.
    if (bind->buffer != nullptr && (bind->bufLen > 0 || fixedSize(bind->cType)))
      *static_cast<char*>(bind->buffer) = '\0';
    setInd(bind, -1);
    return;
  }
  if (bind->cType == RDA_CLI_C_ARRAY && col->arrayFlag != 0) {
    // An array value starts with its element count.
    if (storageOf(col->curType) != Storage::Int) {
      addError(stmt, RDA_CLI_ROW_RESTRICTED_TYPE, nullptr);
      return;
    }
    getArray(stmt, bind, col, data);
    return;
  }
  const int32_t row = col->sqlType + 12;
  if (row < 0 || row >= kRdaCliCvrtRows) {
    std::snprintf(text, sizeof text, "Invalid SQL type %d", static_cast<int>(col->sqlType));
    addError(stmt, RDA_CLI_ROW_DATA_TYPE, text);
    return;
  }
  const int32_t column = getCTypeIndex(bind->cType);
  if (column < 0) {
    std::snprintf(text, sizeof text, "Invalid SQL C type %d", static_cast<int>(bind->cType));
    addError(stmt, RDA_CLI_ROW_DATA_TYPE, text);
    return;
  }
  RdaCliCvrtFn fn = fSqlType2CTypeFunc[row][column];
  const bool wide = col->sqlType == RDA_CLI_SQL_WCHAR || col->sqlType == RDA_CLI_SQL_WVARCHAR ||
                    col->sqlType == RDA_CLI_SQL_WLONGVARCHAR;
  if (wide && bind->cType == RDA_CLI_C_DEFAULT && stmt->conn != nullptr && stmt->conn->mapDefaultWcharAsChar != 0) {
    TM_TRACE(rda_cliTMHandle, 128, kSrc, "Mapping WCHAR as CHAR\n");
    fn = cvrtWCharToChar;
  }
  if (fn == nullptr) {
    std::snprintf(text, sizeof text, "Cannot convert fSQLType %d to fBufType %d", static_cast<int>(col->sqlType),
                  static_cast<int>(bind->cType));
    addError(stmt, RDA_CLI_ROW_PROGRAM_TYPE, text);
    return;
  }
  // The converter reads the value in the layout of the column's type: a
  // value stored in another layout is refused (a variant takes any).
  if (col->sqlType != RDA_CLI_SQL_VARIANT && storageOf(col->curType) != storageOf(col->sqlType)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** RDA_cliCvrtSQLToCol: value of SQL type %d in a column of SQL type %d\n",
             static_cast<int>(col->curType), static_cast<int>(col->sqlType));
    addError(stmt, RDA_CLI_ROW_RESTRICTED_TYPE, nullptr);
    return;
  }
  fn(stmt, bind, col, data);
}
