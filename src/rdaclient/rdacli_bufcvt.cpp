#include "src/rdaclient/rdacli_bufcvt.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_numstr.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdacli_bufcvt";

constexpr int32_t kRadixDecimal = 1;
constexpr int32_t kFloatSecond = 38;  // second number of FLOAT, REAL and DOUBLE PRECISION descriptors
constexpr int32_t kWideUnit = sizeof(wchar_t);

// Nullable field of a descriptor: left out (nullable) for a NULL value,
// sent as not nullable otherwise.
constexpr uint32_t kNullableDefault = 1;
constexpr uint32_t kNotNullable = 0;

constexpr int32_t kIndNull = -1;
constexpr int32_t kIndEmptyText = -2;

// Room of a printed number: "%lf" of the largest double takes 316
// characters.
constexpr size_t kPrinted = 512;

// Date-time field codes and the longest text of each SQL type.
constexpr int32_t kFieldDate = 1;
constexpr int32_t kFieldTime = 2;
constexpr int32_t kFieldTimestamp = 3;
constexpr uint32_t kDateMax = 10;
constexpr uint32_t kTimeMax = 8;
constexpr uint32_t kTimestampMax = 32;

constexpr const char* kNotDateLiteral = "Data value is not a valid ODBC-date-literal or ODBC-timestamp-literal";

// ---------------------------------------------------------------------------
// The length/indicator of a parameter.

enum class LenKind { Null, Empty, Nts, Given, Bad };
struct Len {
  LenKind kind;
  uint32_t n;  // octets, for Given
};

Len lengthOf(const RDA_CliParm* p) {
  if (p->lenInd == nullptr) return {LenKind::Nts, 0};
  const int64_t v = *p->lenInd;
  if (v == RDA_CLI_NULL_DATA) return {LenKind::Null, 0};
  if (v == RDA_CLI_LEN_NTS) return {LenKind::Nts, 0};
  if (v == RDA_CLI_EMPTY_TEXT) return {LenKind::Empty, 0};
  // A length the wire cannot carry, or one that is no length at all.
  if (v < 0 || v > std::numeric_limits<int32_t>::max()) return {LenKind::Bad, 0};
  return {LenKind::Given, static_cast<uint32_t>(v)};
}

// A NULL value: the indicator says so, or there is no value to send (an
// empty text comes without a buffer).
bool nullValue(const RDA_CliParm* p, const Len& len) {
  return len.kind == LenKind::Null || (p->value == nullptr && len.kind != LenKind::Empty);
}

bool isNullInd(const RDA_CliParm* p) { return p->lenInd != nullptr && *p->lenInd == RDA_CLI_NULL_DATA; }

int32_t sizeOf(const RDA_CliParm* p) {
  return p->columnSize > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(p->columnSize);
}

bool chunked(const RDA_CliParm* p) { return p->value == nullptr && p->chunks != nullptr && !isNullInd(p); }

// ---------------------------------------------------------------------------
// Failures: a trace line, 0.

int32_t specFailed(const char* fn, const char* item) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: can't build sQLDBLArgSpec for %s\n", fn, item);
  return 0;
}
int32_t valFailed(const char* fn, const char* item) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: can't build sQLDBLArgVal for %s\n", fn, item);
  return 0;
}
int32_t badLength(const char* fn, const RDA_CliParm* p) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid length %lld of parameter %d\n", fn,
           static_cast<long long>(p->lenInd != nullptr ? *p->lenInd : 0), static_cast<int>(p->number));
  return 0;
}
// A value the parameter's SQL type cannot take: the diagnostic on the
// statement.
int32_t refused(RDA_CliHSTMT* stmt, const char* fn, uint32_t row) {
  TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: value refused\n", fn);
  RDA_cliAddError(&stmt->errors, row, 0, nullptr, stmt->tree);
  return 0;
}

// ---------------------------------------------------------------------------
// Values.

bool addNull(XmTree* tree, RDASQLValList* list, int32_t indicator) {
  return rda_addXOPENSQLVal(tree, &list->values, RDA_SQLVAL_CHAR, nullptr, 0, 0, nullptr, nullptr, indicator, 0) != 0;
}
// A text value: octets, or wide characters for the wide kinds.
bool addText(XmTree* tree, RDASQLValList* list, uint32_t kind, const void* data, uint32_t units, int32_t indicator) {
  OctStgV s{units, static_cast<uint8_t*>(const_cast<void*>(data))};
  return rda_addXOPENSQLVal(tree, &list->values, kind, &s, 0, 0, nullptr, nullptr, indicator, 0) != 0;
}
bool addInteger(XmTree* tree, RDASQLValList* list, uint32_t kind, int32_t v) {
  return rda_addXOPENSQLVal(tree, &list->values, kind, nullptr, v, v, nullptr, nullptr, 0, 0) != 0;
}
bool addReal(XmTree* tree, RDASQLValList* list, uint32_t kind, double v) {
  return rda_addXOPENSQLVal(tree, &list->values, kind, nullptr, 0, 0, nullptr, nullptr, 0, v) != 0;
}
bool addNumeric(XmTree* tree, RDASQLValList* list, const void* data, uint32_t n, int32_t indicator) {
  OctStgV s{n, static_cast<uint8_t*>(const_cast<void*>(data))};
  return rda_addXOPENSQLVal(tree, &list->values, RDA_SQLVAL_NUMERIC, nullptr, 0, 0, &s, nullptr, indicator, 0) != 0;
}
bool addBits(XmTree* tree, RDASQLValList* list, const void* data, uint32_t n) {
  BitStgV b{0, n, static_cast<uint8_t*>(const_cast<void*>(data))};
  return rda_addXOPENSQLVal(tree, &list->values, RDA_SQLVAL_BITVARYING, nullptr, 0, 0, nullptr, &b, 0, 0) != 0;
}

// ---------------------------------------------------------------------------
// Texts: a pointer and a count of units (octets, or wide characters).

struct Text {
  const void* data;
  uint32_t units;
};

// Every chunk's octets in one new item of the tree, with room for a wide
// terminator; false when they cannot be had.
bool joinChunks(const RDA_CliParm* p, XmTree* tree, uint8_t** out, uint32_t* octets) {
  uint64_t total = 0;
  for (const RdaCliLink* l = p->chunks->next; l != nullptr && l != p->chunks; l = l->next)
    total += reinterpret_cast<const RDA_CliChunk*>(l)->used;
  if (total > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) - kWideUnit) return false;
  auto* buf = static_cast<uint8_t*>(_xm_allocItem(tree, static_cast<uint32_t>(total) + kWideUnit, XM_ZERO));
  if (buf == nullptr) return false;
  uint64_t at = 0;
  for (const RdaCliLink* l = p->chunks->next; l != nullptr && l != p->chunks; l = l->next) {
    const auto* c = reinterpret_cast<const RDA_CliChunk*>(l);
    if (c->used > 0 && c->data != nullptr) std::memcpy(buf + at, c->data, c->used);
    at += c->used;
  }
  *out = buf;
  *octets = static_cast<uint32_t>(total);
  return true;
}

// The narrow text of `units` wide characters, as a new item of the tree.
bool narrow(const wchar_t* w, uint32_t units, XmTree* tree, Text* out) {
  if (units == 0) {
    *out = {"", 0};
    return true;
  }
  wchar_t* tmp = ul_wcharncpy(w, static_cast<int32_t>(units), tree);
  if (tmp == nullptr) return false;
  const size_t bytes = std::wcstombs(nullptr, tmp, 0);
  char* dst = nullptr;
  if (bytes != static_cast<size_t>(-1) && bytes < static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    dst = static_cast<char*>(_xm_allocItem(tree, static_cast<uint32_t>(bytes) + 1, 0));
  const bool ok = dst != nullptr && qvwcstombs(dst, tmp, bytes + 1) == bytes;
  _xm_freeItem(tmp);
  if (!ok) return false;
  *out = {dst, static_cast<uint32_t>(bytes)};
  return true;
}

// The wide text of `units` octets, as a new item of the tree.
bool widen(const char* s, uint32_t units, XmTree* tree, Text* out) {
  if (units == 0) {
    *out = {L"", 0};
    return true;
  }
  char* tmp = ul_charncpy(s, static_cast<int32_t>(units), tree);
  if (tmp == nullptr) return false;
  const size_t chars = qvmbstowcs(nullptr, tmp, 0);
  wchar_t* dst = nullptr;
  if (chars != static_cast<size_t>(-1) && chars < static_cast<size_t>(std::numeric_limits<int32_t>::max() / kWideUnit))
    dst = static_cast<wchar_t*>(_xm_allocItem(tree, static_cast<uint32_t>(chars + 1) * kWideUnit, 0));
  const bool ok = dst != nullptr && qvmbstowcs(dst, tmp, chars + 1) == chars;
  _xm_freeItem(tmp);
  if (!ok) return false;
  *out = {dst, static_cast<uint32_t>(chars)};
  return true;
}

// The text of a bound value (not NULL, not in chunks) in units of its C
// type; `max` bounds the search for a terminator (the text is longer than
// `max` when the count says so).
Text boundText(const RDA_CliParm* p, const Len& len, bool wide, uint32_t max) {
  if (len.kind == LenKind::Empty) return {wide ? static_cast<const void*>(L"") : "", 0};
  if (len.kind == LenKind::Given) return {p->value, wide ? len.n / kWideUnit : len.n};
  if (wide) {
    const auto* w = static_cast<const wchar_t*>(p->value);
    return {w, static_cast<uint32_t>(wcsnlen(w, max))};
  }
  return {p->value, static_cast<uint32_t>(strnlen(static_cast<const char*>(p->value), max))};
}

constexpr uint32_t kNoLimit = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());

// ---------------------------------------------------------------------------
// The character converters.

enum class Form { Narrow, Wide };
enum class Chunks { None, Split, Join };
struct CharConv {
  const char* name;
  const char* item;
  Form source;
  Form target;
  bool varying;
  Chunks chunks;
};

RDAXOPENSQLDataDescr* charDescr(const CharConv& c, XmTree* tree, uint32_t nullable, int32_t size) {
  if (c.target == Form::Narrow)
    return c.varying ? rda_createXOPENVarCharType(tree, nullable, nullptr, nullptr, size)
                     : rda_createXOPENCharType(tree, nullable, nullptr, nullptr, size, 0);
  return c.varying ? rda_createXOPENWVarCharType(tree, nullable, nullptr, nullptr, size)
                   : rda_createXOPENWCharType(tree, nullable, nullptr, nullptr, size, 0);
}

uint32_t charKind(const CharConv& c) {
  if (c.target == Form::Narrow) return c.varying ? RDA_SQLVAL_VARCHAR : RDA_SQLVAL_CHAR;
  return c.varying ? RDA_SQLVAL_WVARCHAR : RDA_SQLVAL_WCHAR;
}

// One value per chunk, and a NULL one after a last chunk of exactly the
// chunk size; an empty value when there is no chunk.
template <class AddPart>
bool splitChunks(const RDA_CliParm* p, XmTree* tree, RDASQLValList* list, AddPart addPart) {
  const RDA_CliChunk* last = nullptr;
  for (const RdaCliLink* l = p->chunks->next; l != nullptr && l != p->chunks; l = l->next) {
    last = reinterpret_cast<const RDA_CliChunk*>(l);
    if (!addPart(last->data, last->used)) return false;
  }
  if (last == nullptr) return addPart(nullptr, 0);
  return last->used != kRdaCliChunkSize || addNull(tree, list, kIndNull);
}

int32_t charFamily(const CharConv& c, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list,
                   XmTree* tree) {
  const Len len = lengthOf(p);
  if (len.kind == LenKind::Bad) return badLength(c.name, p);
  const bool inChunks = c.chunks != Chunks::None && chunked(p);
  const bool isNull = len.kind == LenKind::Null || len.kind == LenKind::Empty || (p->value == nullptr && !inChunks);
  *spec = charDescr(c, tree, isNull ? kNullableDefault : kNotNullable, sizeOf(p));
  if (*spec == nullptr) return specFailed(c.name, c.item);
  const uint32_t kind = charKind(c);
  if (isNull) {
    return addNull(tree, list, len.kind == LenKind::Empty ? kIndEmptyText : kIndNull) ? 1 : valFailed(c.name, c.item);
  }
  if (inChunks && c.chunks == Chunks::Split) {
    const bool ok = splitChunks(p, tree, list, [&](const uint8_t* data, uint32_t n) {
      return addText(tree, list, kind, data, n, 0);
    });
    return ok ? 1 : valFailed(c.name, c.item);
  }
  Text text;
  if (inChunks) {
    uint8_t* joined = nullptr;
    uint32_t octets = 0;
    if (!joinChunks(p, tree, &joined, &octets)) return valFailed(c.name, c.item);
    text = {joined, c.source == Form::Wide ? octets / kWideUnit : octets};
  } else {
    text = boundText(p, len, c.source == Form::Wide, kNoLimit);
  }
  if (c.source == Form::Wide && c.target == Form::Narrow) {
    if (!narrow(static_cast<const wchar_t*>(text.data), text.units, tree, &text)) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: qvwcstombs failed to convert from WCHAR to CHAR\n", c.name);
      return 0;
    }
  } else if (c.source == Form::Narrow && c.target == Form::Wide) {
    if (!widen(static_cast<const char*>(text.data), text.units, tree, &text)) {
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: qvmbstowcs failed to convert from CHAR to WCHAR\n", c.name);
      return 0;
    }
  }
  return addText(tree, list, kind, text.data, text.units, 0) ? 1 : valFailed(c.name, c.item);
}

// ---------------------------------------------------------------------------
// Text to numbers.

// The text of a text-to-number parameter (narrowed when wide), at most
// kRdaCliNumericText characters; false after a trace when it cannot be had.
bool numberText(const char* fn, const RDA_CliParm* p, const Len& len, bool wide, XmTree* tree, Text* out,
                const char* tooLong) {
  Text t = boundText(p, len, wide, kRdaCliNumericText + 1);
  if (t.units > kRdaCliNumericText) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "%s", tooLong);
    return false;
  }
  if (wide && !narrow(static_cast<const wchar_t*>(t.data), t.units, tree, &t)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: qvwcstombs failed to convert from WCHAR to CHAR\n", fn);
    return false;
  }
  if (t.units > kRdaCliNumericText) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "%s", tooLong);
    return false;
  }
  *out = t;
  return true;
}

bool blanksOnly(const char* s) {
  while (*s != '\0' && std::isspace(static_cast<unsigned char>(*s))) ++s;
  return *s == '\0';
}

// The descriptor and value of cToX and wcToX.
int32_t textToNumber(const char* fn, bool wide, RDA_CliHSTMT* stmt, const RDA_CliParm* p,
                     RDAXOPENSQLDataDescr** spec, RDASQLValList* list, XmTree* tree) {
  const Len len = lengthOf(p);
  if (len.kind == LenKind::Bad) return badLength(fn, p);
  const bool isNull = nullValue(p, len);
  const uint32_t nullable = isNull ? kNullableDefault : kNotNullable;
  const int32_t size = sizeOf(p);
  uint32_t kind = 0;
  const char* item = nullptr;
  switch (p->sqlType) {
    case RDA_CLI_SQL_BIT:
    case RDA_CLI_SQL_TINYINT:
    case RDA_CLI_SQL_SMALLINT:
      *spec = rda_createXOPENSmallIntType(tree, nullable, nullptr, size, kRadixDecimal);
      kind = RDA_SQLVAL_SMALLINT;
      item = "smallIntItem";
      break;
    case RDA_CLI_SQL_INTEGER:
      *spec = rda_createXOPENIntegerType(tree, nullable, nullptr, size, kRadixDecimal);
      kind = RDA_SQLVAL_INTEGER;
      item = "integerItem";
      break;
    case RDA_CLI_SQL_FLOAT:
      *spec = rda_createXOPENFloatType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_FLOAT;
      item = "floatItem";
      break;
    case RDA_CLI_SQL_REAL:
      *spec = rda_createXOPENRealType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_REAL;
      item = "realItem";
      break;
    case RDA_CLI_SQL_DOUBLE:
      *spec = rda_createXOPENDoublePrecisionType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_DOUBLE;
      item = "doubleItem";
      break;
    default:
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid SQL type %d\n", fn, static_cast<int>(p->sqlType));
      return 0;
  }
  if (*spec == nullptr) return specFailed(fn, item);
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, item);

  char tooLong[64];
  std::snprintf(tooLong, sizeof tooLong, "*** %s: input string length exceeds limit\n", fn);
  Text t;
  if (!numberText(fn, p, len, wide, tree, &t, tooLong)) return 0;
  char buf[kRdaCliNumericBuffer];
  std::memcpy(buf, t.data, t.units);
  buf[t.units] = '\0';
  // The C library reads the point of the locale.
  const char localePoint = *std::localeconv()->decimal_point;
  if (localePoint != '.') {
    if (char* dot = std::strchr(buf, '.')) *dot = localePoint;
  }
  char* end = nullptr;
  errno = 0;
  if (kind == RDA_SQLVAL_SMALLINT || kind == RDA_SQLVAL_INTEGER) {
    const long v = std::strtol(buf, &end, 10);
    if (end == buf || !blanksOnly(end)) return refused(stmt, fn, RDA_CLI_ROW_ASSIGNMENT);
    if (errno == ERANGE || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
      return refused(stmt, fn, RDA_CLI_ROW_OUT_OF_RANGE);
    return addInteger(tree, list, kind, static_cast<int32_t>(v)) ? 1 : valFailed(fn, item);
  }
  const double v = std::strtod(buf, &end);
  if (end == buf || !blanksOnly(end) || std::isnan(v)) return refused(stmt, fn, RDA_CLI_ROW_ASSIGNMENT);
  if (std::isinf(v)) return refused(stmt, fn, RDA_CLI_ROW_OUT_OF_RANGE);
  return addReal(tree, list, kind, v) ? 1 : valFailed(fn, item);
}

// ---------------------------------------------------------------------------
// Dates and times as text.

int32_t textToDateTime(const char* fn, bool wide, RDA_CliHSTMT* stmt, const RDA_CliParm* p,
                       RDAXOPENSQLDataDescr** spec, RDASQLValList* list, XmTree* tree) {
  const Len len = lengthOf(p);
  if (len.kind == LenKind::Bad) return badLength(fn, p);
  if (len.kind == LenKind::Empty) {
    RDA_cliStmtMessage(stmt, RDA_CLI_ROW_COMPLETION_UNKNOWN, "%s", kNotDateLiteral);
    return 0;
  }
  int32_t field = 0;
  uint32_t max = 0;
  switch (p->sqlType) {
    case RDA_CLI_SQL_DATE:
      field = kFieldDate;
      max = kDateMax;
      break;
    case RDA_CLI_SQL_TIME:
      field = kFieldTime;
      max = kTimeMax;
      break;
    case RDA_CLI_SQL_TIMESTAMP:
      field = kFieldTimestamp;
      max = kTimestampMax;
      break;
    default:
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid SQL type %d\n", fn, static_cast<int>(p->sqlType));
      return 0;
  }
  const bool isNull = nullValue(p, len);
  *spec = rda_createXOPENDateTimeType(tree, isNull ? kNullableDefault : kNotNullable, nullptr, field, nullptr);
  if (*spec == nullptr) return specFailed(fn, "dateTimeItem");
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, "dateTimeItem");
  // A counted text is cut to the type's longest; one that is longer still
  // is refused by the value builder.
  Text t = boundText(p, len, wide, kTimestampMax + 1);
  if (len.kind == LenKind::Given && t.units > max) t.units = max;
  if (wide && !narrow(static_cast<const wchar_t*>(t.data), t.units, tree, &t)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: qvwcstombs failed to convert from WCHAR to CHAR\n", fn);
    return 0;
  }
  return addText(tree, list, RDA_SQLVAL_DATETIME, t.data, t.units, 0) ? 1 : valFailed(fn, "dateTimeItem");
}

// ---------------------------------------------------------------------------
// Binary numbers.

// The integer at the value pointer, read as its C type; 0 without a value.
int64_t integerOf(const RDA_CliParm* p) {
  if (p->value == nullptr) return 0;
  switch (p->cType) {
    case RDA_CLI_C_ULONG: {
      uint32_t v;
      std::memcpy(&v, p->value, sizeof v);
      return v;
    }
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG: {
      int32_t v;
      std::memcpy(&v, p->value, sizeof v);
      return v;
    }
    case RDA_CLI_C_USHORT: {
      uint16_t v;
      std::memcpy(&v, p->value, sizeof v);
      return v;
    }
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT: {
      int16_t v;
      std::memcpy(&v, p->value, sizeof v);
      return v;
    }
    default:  // BIT, TINYINT: one unsigned byte
      return *static_cast<const uint8_t*>(p->value);
  }
}

double realOf(const RDA_CliParm* p) {
  if (p->value == nullptr) return 0;
  if (p->cType == RDA_CLI_C_FLOAT) {
    float f;
    std::memcpy(&f, p->value, sizeof f);
    return f;
  }
  double d;
  std::memcpy(&d, p->value, sizeof d);
  return d;
}

// The number printed as xToV, lToN and sToN print it.
size_t printNumber(const RDA_CliParm* p, char* out, bool shortForms) {
  int n = 0;
  switch (p->cType) {
    case RDA_CLI_C_ULONG:
      n = std::snprintf(out, kPrinted, "%lu", static_cast<unsigned long>(integerOf(p)));
      break;
    case RDA_CLI_C_USHORT:
      n = shortForms ? std::snprintf(out, kPrinted, "%hu", static_cast<unsigned short>(integerOf(p)))
                     : std::snprintf(out, kPrinted, "%u", static_cast<unsigned>(integerOf(p)));
      break;
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG:
      n = std::snprintf(out, kPrinted, "%ld", static_cast<long>(integerOf(p)));
      break;
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT:
      n = shortForms ? std::snprintf(out, kPrinted, "%hd", static_cast<short>(integerOf(p)))
                     : std::snprintf(out, kPrinted, "%d", static_cast<int>(integerOf(p)));
      break;
    case RDA_CLI_C_FLOAT:
      n = std::snprintf(out, kPrinted, "%f", realOf(p));
      break;
    default:
      n = std::snprintf(out, kPrinted, "%lf", realOf(p));
      break;
  }
  return n < 0 ? 0 : std::min(static_cast<size_t>(n), kPrinted - 1);
}

int32_t numberToText(const char* fn, bool wide, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec,
                     RDASQLValList* list, XmTree* tree) {
  const bool isNull = isNullInd(p);
  const uint32_t nullable = isNull ? kNullableDefault : kNotNullable;
  *spec = wide ? rda_createXOPENWVarCharType(tree, nullable, nullptr, nullptr, sizeOf(p))
               : rda_createXOPENVarCharType(tree, nullable, nullptr, nullptr, sizeOf(p));
  const char* item = wide ? "wvarcharItem" : "varcharItem";
  if (*spec == nullptr) return specFailed(fn, item);
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, item);
  char printed[kPrinted];
  const size_t n = printNumber(p, printed, false);
  if (!wide) return addText(tree, list, RDA_SQLVAL_VARCHAR, printed, static_cast<uint32_t>(n), 0) ? 1 : valFailed(fn, item);
  wchar_t widened[kPrinted];
  for (size_t i = 0; i < n; ++i) widened[i] = static_cast<unsigned char>(printed[i]);
  return addText(tree, list, RDA_SQLVAL_WVARCHAR, widened, static_cast<uint32_t>(n), 0) ? 1 : valFailed(fn, item);
}

int32_t numberToNumeric(const char* fn, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list,
                        XmTree* tree) {
  if (isNullInd(p)) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: Null data\n", fn);
    *spec = rda_createXOPENNumericType(tree, kNullableDefault, nullptr, 0, p->scale);
    if (*spec == nullptr) return specFailed(fn, "numericItem");
    return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, "numericItem");
  }
  char printed[kPrinted];
  const size_t n = printNumber(p, printed, true);
  *spec = rda_createXOPENNumericType(tree, kNotNullable, nullptr, static_cast<int32_t>(n), p->scale);
  if (*spec == nullptr) return specFailed(fn, "numericItem");
  return addNumeric(tree, list, printed, static_cast<uint32_t>(n), 0) ? 1 : valFailed(fn, "numericItem");
}

// INTEGER or SMALLINT of a binary integer.
int32_t integerTo(const char* fn, bool smallint, RDA_CliHSTMT* stmt, const RDA_CliParm* p,
                  RDAXOPENSQLDataDescr** spec, RDASQLValList* list, XmTree* tree) {
  const bool isNull = isNullInd(p);
  const uint32_t nullable = isNull ? kNullableDefault : kNotNullable;
  const char* item = smallint ? "smallIntItem" : "integerItem";
  *spec = smallint ? rda_createXOPENSmallIntType(tree, nullable, nullptr, sizeOf(p), kRadixDecimal)
                   : rda_createXOPENIntegerType(tree, nullable, nullptr, sizeOf(p), kRadixDecimal);
  if (*spec == nullptr) return specFailed(fn, item);
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, item);
  const int64_t v = integerOf(p);
  // An unsigned value beyond the signed range would arrive as another number.
  if (v > std::numeric_limits<int32_t>::max()) return refused(stmt, fn, RDA_CLI_ROW_OUT_OF_RANGE);
  return addInteger(tree, list, smallint ? RDA_SQLVAL_SMALLINT : RDA_SQLVAL_INTEGER, static_cast<int32_t>(v))
             ? 1
             : valFailed(fn, item);
}

constexpr CharConv kCToC{"cToC", "charItem", Form::Narrow, Form::Narrow, false, Chunks::None};
constexpr CharConv kCToV{"cToV", "varcharItem", Form::Narrow, Form::Narrow, true, Chunks::Split};
constexpr CharConv kCToWC{"cToWC", "wcharItem", Form::Narrow, Form::Wide, false, Chunks::None};
constexpr CharConv kCToWV{"cToWV", "wvarcharItem", Form::Narrow, Form::Wide, true, Chunks::Join};
constexpr CharConv kWcToC{"wcToC", "charItem", Form::Wide, Form::Narrow, false, Chunks::None};
constexpr CharConv kWcToV{"wcToV", "varcharItem", Form::Wide, Form::Narrow, true, Chunks::Join};
constexpr CharConv kWcToWC{"wcToWC", "wcharItem", Form::Wide, Form::Wide, false, Chunks::None};
constexpr CharConv kWcToWV{"wcToWV", "wvarcharItem", Form::Wide, Form::Wide, true, Chunks::Join};

}  // namespace

// ---------------------------------------------------------------------------
// The converters.

int32_t cToC(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kCToC, p, spec, l, t);
}
int32_t cToV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kCToV, p, spec, l, t);
}
int32_t cToWC(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kCToWC, p, spec, l, t);
}
int32_t cToWV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kCToWV, p, spec, l, t);
}
int32_t wcToC(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kWcToC, p, spec, l, t);
}
int32_t wcToV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kWcToV, p, spec, l, t);
}
int32_t wcToWC(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kWcToWC, p, spec, l, t);
}
int32_t wcToWV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return charFamily(kWcToWV, p, spec, l, t);
}

int32_t cToN(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list, XmTree* tree) {
  const Len len = lengthOf(p);
  if (len.kind == LenKind::Bad) return badLength("cToN", p);
  const bool isNull = nullValue(p, len);
  Text t{"", 0};
  if (!isNull && !numberText("cToN", p, len, false, tree, &t,
                             "*** cToN: input string length exceeds limit for numericItem\n"))
    return 0;
  *spec = rda_createXOPENNumericType(tree, isNull ? kNullableDefault : kNotNullable, nullptr, 0, p->scale);
  if (*spec == nullptr) return specFailed("cToN", "numericItem");
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed("cToN", "numericItem");
  return addNumeric(tree, list, t.data, t.units, 0) ? 1 : valFailed("cToN", "numericItem");
}

int32_t wcToN(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list,
              XmTree* tree) {
  const Len len = lengthOf(p);
  if (len.kind == LenKind::Bad) return badLength("wcToN", p);
  if (nullValue(p, len)) {
    *spec = rda_createXOPENNumericType(tree, kNullableDefault, nullptr, sizeOf(p), p->scale);
    if (*spec == nullptr) return specFailed("wcToN", "numericItem");
    return addNull(tree, list, kIndNull) ? 1 : valFailed("wcToN", "numericItem");
  }
  Text t;
  if (!numberText("wcToN", p, len, true, tree, &t, "*** wcToN: can't convert character to numeric\n")) return 0;
  char text[kRdaCliNumericBuffer];
  std::memcpy(text, t.data, t.units);
  text[t.units] = '\0';
  auto* octets = static_cast<uint8_t*>(_xm_allocItem(tree, kRdaCliNumericBuffer, 0));
  if (octets == nullptr) return valFailed("wcToN", "numericItem");
  OctStgV numeric{0, octets};
  int32_t precision = 0;
  int16_t scale = p->scale;
  int32_t indicator = 0;
  if (RDA_cliCvrtNumStr(stmt, text, sizeOf(p), &numeric, &precision, &scale, &indicator) == 0) {
    TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** wcToN: can't convert character to numeric\n");
    return 0;
  }
  *spec = rda_createXOPENNumericType(tree, kNotNullable, nullptr, precision, scale);
  if (*spec == nullptr) return specFailed("wcToN", "numericItem");
  return addNumeric(tree, list, numeric.octets, numeric.length, indicator) ? 1 : valFailed("wcToN", "numericItem");
}

int32_t cToX(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return textToNumber("cToX", false, stmt, p, spec, l, t);
}
int32_t wcToX(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return textToNumber("wcToX", true, stmt, p, spec, l, t);
}
int32_t cToT(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return textToDateTime("cToT", false, stmt, p, spec, l, t);
}
int32_t wcToT(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return textToDateTime("wcToT", true, stmt, p, spec, l, t);
}

int32_t xToV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return numberToText("xToV", false, p, spec, l, t);
}
int32_t xToWV(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return numberToText("xToWV", true, p, spec, l, t);
}
int32_t lToN(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return numberToNumeric("lToN", p, spec, l, t);
}
int32_t sToN(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return numberToNumeric("sToN", p, spec, l, t);
}
int32_t lToI(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("lToI", false, stmt, p, spec, l, t);
}
int32_t ulToI(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("ulToI", false, stmt, p, spec, l, t);
}
int32_t lToS(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("lToS", true, stmt, p, spec, l, t);
}
int32_t sToS(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("sToS", true, stmt, p, spec, l, t);
}
int32_t usToS(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("usToS", true, stmt, p, spec, l, t);
}
int32_t bitToBit(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l,
                 XmTree* t) {
  return integerTo("bitToBit", true, stmt, p, spec, l, t);
}
int32_t tiToTi(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* l, XmTree* t) {
  return integerTo("tiToTi", true, stmt, p, spec, l, t);
}

int32_t dbOrFToX(RDA_CliHSTMT* stmt, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list,
                 XmTree* tree) {
  constexpr const char* fn = "dbOrFToX";
  const bool isNull = isNullInd(p);
  const uint32_t nullable = isNull ? kNullableDefault : kNotNullable;
  const int32_t size = sizeOf(p);
  uint32_t kind = 0;
  const char* item = nullptr;
  switch (p->sqlType) {
    case RDA_CLI_SQL_NUMERIC:
    case RDA_CLI_SQL_DOUBLE:
      *spec = rda_createXOPENDoublePrecisionType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_DOUBLE;
      item = "doubleItem";
      break;
    case RDA_CLI_SQL_INTEGER:
      *spec = rda_createXOPENIntegerType(tree, nullable, nullptr, size, kRadixDecimal);
      kind = RDA_SQLVAL_INTEGER;
      item = "integerItem";
      break;
    case RDA_CLI_SQL_SMALLINT:
      *spec = rda_createXOPENSmallIntType(tree, nullable, nullptr, size, kRadixDecimal);
      kind = RDA_SQLVAL_SMALLINT;
      item = "smallIntItem";
      break;
    case RDA_CLI_SQL_FLOAT:
      *spec = rda_createXOPENFloatType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_FLOAT;
      item = "floatItem";
      break;
    case RDA_CLI_SQL_REAL:
      *spec = rda_createXOPENRealType(tree, nullable, nullptr, size, kFloatSecond);
      kind = RDA_SQLVAL_REAL;
      item = "realItem";
      break;
    default:
      TM_TRACE(rda_cliTMHandle, 8, kSrc, "*** %s: invalid SQL type %d\n", fn, static_cast<int>(p->sqlType));
      return 0;
  }
  if (*spec == nullptr) return specFailed(fn, item);
  if (isNull) return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, item);
  const double v = realOf(p);
  if (kind == RDA_SQLVAL_INTEGER || kind == RDA_SQLVAL_SMALLINT) {
    // Truncated toward zero; what the 32-bit value cannot hold is refused.
    if (std::isnan(v) || v <= -2147483649.0 || v >= 2147483648.0) return refused(stmt, fn, RDA_CLI_ROW_OUT_OF_RANGE);
    return addInteger(tree, list, kind, static_cast<int32_t>(v)) ? 1 : valFailed(fn, item);
  }
  return addReal(tree, list, kind, v) ? 1 : valFailed(fn, item);
}

int32_t lbToB(RDA_CliHSTMT*, const RDA_CliParm* p, RDAXOPENSQLDataDescr** spec, RDASQLValList* list,
              XmTree* tree) {
  constexpr const char* fn = "lbtoB";
  constexpr const char* item = "BinaryItem";
  const Len len = p->lenInd == nullptr ? Len{LenKind::Null, 0} : lengthOf(p);
  if (len.kind == LenKind::Bad || len.kind == LenKind::Nts) return badLength(fn, p);
  const bool inChunks = chunked(p);
  if (len.kind == LenKind::Null || (p->value == nullptr && !inChunks)) {
    *spec = rda_createXOPENBitVaryingType(tree, kNullableDefault, nullptr, 0);
    if (*spec == nullptr) return specFailed(fn, item);
    return addNull(tree, list, kIndNull) ? 1 : valFailed(fn, item);
  }
  if (inChunks) {
    uint64_t total = 0;
    for (const RdaCliLink* l = p->chunks->next; l != nullptr && l != p->chunks; l = l->next)
      total += reinterpret_cast<const RDA_CliChunk*>(l)->used;
    const auto length = static_cast<int32_t>(std::min<uint64_t>(total, std::numeric_limits<int32_t>::max()));
    *spec = rda_createXOPENBitVaryingType(tree, kNotNullable, nullptr, length);
    if (*spec == nullptr) return specFailed(fn, item);
    const bool ok =
        splitChunks(p, tree, list, [&](const uint8_t* data, uint32_t n) { return addBits(tree, list, data, n); });
    return ok ? 1 : valFailed(fn, item);
  }
  const uint32_t n = len.kind == LenKind::Given ? len.n : 0;  // an empty value
  *spec = rda_createXOPENBitVaryingType(tree, kNotNullable, nullptr, static_cast<int32_t>(n));
  if (*spec == nullptr) return specFailed(fn, item);
  return addBits(tree, list, p->value, n) ? 1 : valFailed(fn, item);
}

// ---------------------------------------------------------------------------
// The matrix.

const std::array<int16_t, kRdaCliCTypes> mapCType = {
    0,   1,   2,   3,                 // -18 ULONG, -17 USHORT, -16 SLONG, -15 SSHORT
    -999, -999, -999, -999, -999, -999,  // -14 .. -9
    4,   5,   6,                      // -8 WCHAR, -7 BIT, -6 TINYINT
    -999, -999, -999,                 // -5 .. -3
    7,                                // -2 BINARY
    -999, -999,                       // -1, 0
    8,                                // 1 CHAR
    -999, -999,                       // 2, 3
    9,   10,                          // 4 LONG, 5 SHORT
    -999,                             // 6
    11,  12,  13,  14,  15,           // 7 FLOAT, 8 DOUBLE, 9 DATE, 10 TIME, 11 TIMESTAMP
};

namespace {
// An empty cell: the pair is refused.
constexpr RdaCliParamConverter o = nullptr;
}  // namespace

// Columns: ULONG USHORT SLONG SSHORT WCHAR BIT TINYINT BINARY CHAR LONG SHORT
// FLOAT DOUBLE DATE TIME TIMESTAMP.
const std::array<RdaCliConverterRow, kRdaCliSqlRows> bufToSQLTBL = {{
    /* -10 WLONGVARCHAR */ {o, o, o, o, wcToWV, o, o, o, cToWV, o, o, o, o, o, o, o},
    /*  -9 WVARCHAR */ {xToWV, xToWV, xToWV, xToWV, wcToWV, o, o, o, cToWV, xToWV, xToWV, xToWV, xToWV, cToT, cToT, cToT},
    /*  -8 WCHAR */ {xToWV, xToWV, xToWV, xToWV, wcToWC, o, o, o, cToWC, xToWV, xToWV, xToWV, xToWV, o, o, o},
    /*  -7 BIT */ {o, usToS, lToS, sToS, o, bitToBit, tiToTi, o, cToX, o, o, o, o, o, o, o},
    /*  -6 TINYINT */ {o, usToS, lToS, sToS, o, bitToBit, tiToTi, o, cToX, o, o, o, o, o, o, o},
    /*  -5 BIGINT */ {o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o},
    /*  -4 LONGVARBINARY */ {o, o, o, o, o, o, o, lbToB, o, o, o, o, o, o, o, o},
    /*  -3 VARBINARY */ {o, o, o, o, o, o, o, lbToB, o, o, o, o, o, o, o, o},
    /*  -2 BINARY */ {o, o, o, o, o, o, o, lbToB, o, o, o, o, o, o, o, o},
    /*  -1 LONGVARCHAR */ {xToV, xToV, xToV, xToV, wcToV, o, o, o, cToV, xToV, xToV, xToV, xToV, cToT, cToT, cToT},
    /*   0 */ {o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o},
    /*   1 CHAR */ {o, o, o, o, wcToC, o, o, o, cToC, o, o, o, o, o, o, o},
    /*   2 NUMERIC */ {lToN, sToN, lToN, sToN, wcToN, o, o, o, cToN, lToN, sToN, dbOrFToX, dbOrFToX, o, o, o},
    /*   3 DECIMAL */ {o, o, o, o, wcToN, o, o, o, cToN, lToN, sToN, o, o, o, o, o},
    /*   4 INTEGER */ {ulToI, o, lToI, o, wcToX, o, o, o, cToX, lToI, o, dbOrFToX, dbOrFToX, o, o, o},
    /*   5 SMALLINT */ {o, usToS, lToS, sToS, wcToX, o, o, o, cToX, o, sToS, dbOrFToX, dbOrFToX, o, o, o},
    /*   6 FLOAT */ {o, o, o, o, wcToX, o, o, o, cToX, o, o, dbOrFToX, dbOrFToX, o, o, o},
    /*   7 REAL */ {o, o, o, o, wcToX, o, o, o, cToX, o, o, dbOrFToX, dbOrFToX, o, o, o},
    /*   8 DOUBLE */ {o, o, o, o, wcToX, o, o, o, cToX, o, o, dbOrFToX, dbOrFToX, o, o, o},
    /*   9 DATE */ {o, o, o, o, wcToT, o, o, o, cToT, o, o, o, o, cToT, o, cToT},
    /*  10 TIME */ {o, o, o, o, wcToT, o, o, o, cToT, o, o, o, o, o, cToT, cToT},
    /*  11 TIMESTAMP */ {o, o, o, o, wcToT, o, o, o, cToT, o, o, o, o, cToT, cToT, cToT},
    /*  12 VARCHAR */ {xToV, xToV, xToV, xToV, wcToV, o, o, o, cToV, xToV, xToV, xToV, xToV, cToT, cToT, cToT},
}};

int32_t getCParamIndex(int16_t cType) {
  const int32_t index = (cType == RDA_CLI_C_DEFAULT ? 0 : cType) + kRdaCliCTypeBase;
  if (index < 0 || index >= static_cast<int32_t>(kRdaCliCTypes)) return -1;
  return mapCType[static_cast<size_t>(index)];
}

RdaCliParamConverter RDA_cliParamConverter(int16_t cType, int16_t sqlType) {
  const int32_t row = sqlType + kRdaCliSqlTypeBase;
  const int32_t column = getCParamIndex(cType);
  if (row < 0 || row >= static_cast<int32_t>(kRdaCliSqlRows) || column < 0) return nullptr;
  return bufToSQLTBL[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

int32_t rda_cliBindConvCheck(int16_t cType, int16_t sqlType) {
  return RDA_cliParamConverter(cType, sqlType) != nullptr ? 1 : 0;
}
