#include "peer/peer_sql.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "common/charscpy.h"
#include "common/qvunicode.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/runtime/xm.h"

namespace peer {

namespace {

constexpr int32_t kDefaultVarCharLength = 255;
constexpr int32_t kDefaultNumericPrecision = 38;
constexpr int32_t kLongLength = INT32_MAX;  // the described length of a long binary column
// Descriptor attribute bits.
constexpr int32_t kAttrLong = 1 << 2;
constexpr int32_t kAttrParameter = 1 << 30;
constexpr int32_t kAttrOutput = 1 << 0;

std::string upper(const char* s) {
  std::string u = s != nullptr ? s : "";
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// The numbers in the parentheses of a declared type ("NUMERIC(10,2)").
void typeArgs(const std::string& decl, int32_t* first, int32_t* second) {
  const size_t open = decl.find('(');
  if (open == std::string::npos) return;
  const char* p = decl.c_str() + open + 1;
  char* end = nullptr;
  const long a = std::strtol(p, &end, 10);
  if (end == p || a <= 0 || a > INT32_MAX) return;
  *first = static_cast<int32_t>(a);
  while (*end == ' ') ++end;
  if (*end != ',') return;
  p = end + 1;
  const long b = std::strtol(p, &end, 10);
  if (end != p && b >= 0 && b <= a) *second = static_cast<int32_t>(b);
}

char* dupText(XmTree* tree, const std::string& s) {
  auto* t = static_cast<char*>(_xm_allocItem(tree, static_cast<uint32_t>(s.size() + 1), 0));
  if (t != nullptr) std::memcpy(t, s.c_str(), s.size() + 1);
  return t;
}

// A result entry that holds only an exception.
bool addException(XmTree* tree, ExecAnswer* answer, const char* state, const int32_t* code, const std::string* text,
                  const int32_t* rowCount) {
  RDAXOPENSQLDBLExcp* e = rda_createXOPENDBLExcp(tree, rowCount);
  if (e == nullptr) return false;
  // A row count travels in the diagnostics area, whose list of records is
  // never empty: one "00000" record, which says nothing more.
  if (rowCount != nullptr && rda_addXOPENDBLExcp(tree, e, L"00000", L"", L"", nullptr) != 1) return false;
  if (state != nullptr) {
    e->sqlState = dupText(tree, state);
    if (e->sqlState == nullptr) return false;
    e->mask |= 1u << 0;
  }
  if (code != nullptr) {
    e->code = *code;
    e->mask |= 1u << 1;
  }
  if (text != nullptr) {
    e->errText = dupText(tree, *text);
    if (e->errText == nullptr) return false;
    e->mask |= 1u << 2;
  }
  void* row = rda_createResultVal(tree, e, nullptr);
  if (row == nullptr) return false;
  answer->rows.push_back(row);
  return true;
}

// A decimal number in text: optional sign, digits, optional fraction.
bool splitDecimal(std::string_view t, bool* negative, std::string* whole, std::string* fraction) {
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  *negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) *negative = t[i++] == '-';
  whole->clear();
  fraction->clear();
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) *whole += t[i++];
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) *fraction += t[i++];
  }
  while (i < t.size() && t[i] == ' ') ++i;
  return i == t.size() && !(whole->empty() && fraction->empty());
}

// The digit string of a value with `scale` digits after the point; false
// when the text is no number.
bool digitString(std::string_view text, int32_t scale, std::string* out) {
  bool negative = false;
  std::string whole, fraction;
  if (!splitDecimal(text, &negative, &whole, &fraction)) return false;
  const size_t nz = whole.find_first_not_of('0');
  whole = nz == std::string::npos ? "0" : whole.substr(nz);
  fraction.resize(static_cast<size_t>(scale), '0');
  *out = (negative && (whole != "0" || fraction.find_first_not_of('0') != std::string::npos) ? "-" : "") + whole;
  if (scale > 0) *out += "." + fraction;
  return true;
}

bool wholeNumber(std::string_view text, int64_t* v) {
  std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(s.c_str(), &end, 10);
  while (*end == ' ') ++end;
  if (errno != 0 || *end != '\0') return false;
  *v = n;
  return true;
}

bool realNumber(std::string_view text, double* v) {
  std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *v = d;
  return true;
}

std::string_view textOf(sqlite3_stmt* s, int col) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
  return t != nullptr ? std::string_view(t, static_cast<size_t>(sqlite3_column_bytes(s, col))) : std::string_view();
}

Failure mismatch(int col, const char* what) {
  return Failure{"22018", 0, "column " + std::to_string(col + 1) + ": value is not " + what};
}

// Appends column `col` of the current row, coerced to `type`, to `values`.
// False with `failure` set when the value does not fit the type (or memory
// ran out: state empty).
bool addCell(const Session& session, sqlite3_stmt* s, int col, const ColumnType& type, XmTree* tree, RDAList* values,
             Failure* failure) {
  const int storage = sqlite3_column_type(s, col);
  auto add = [&](uint32_t valueType, const OctStgV* str, int64_t longVal, const OctStgV* num, const BitStgV* bits,
                 int32_t indicator, double real) {
    if (rda_addXOPENSQLVal(tree, values, valueType, str, 0, longVal, num, bits, indicator, real) == 1) return true;
    *failure = Failure{};
    return false;
  };
  if (storage == SQLITE_NULL) return add(RDA_SQLVAL_VARCHAR, nullptr, 0, nullptr, nullptr, -1, 0);
  switch (type.type) {
    case ColType::Integer: {
      int64_t v = 0;
      if (storage == SQLITE_INTEGER) {
        v = sqlite3_column_int64(s, col);
      } else if (storage == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(s, col);
        if (!(d > -2147483649.0 && d < 2147483648.0)) v = INT64_MAX;
        else v = static_cast<int64_t>(std::trunc(d));
      } else if (storage != SQLITE_TEXT || !wholeNumber(textOf(s, col), &v)) {
        *failure = mismatch(col, "an integer");
        return false;
      }
      if (v < INT32_MIN || v > INT32_MAX) {
        *failure = Failure{"22003", 0, "column " + std::to_string(col + 1) + ": integer out of range"};
        return false;
      }
      return add(RDA_SQLVAL_INTEGER, nullptr, v, nullptr, nullptr, 0, 0);
    }
    case ColType::Double: {
      double d = 0;
      if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
        d = sqlite3_column_double(s, col);
      } else if (storage != SQLITE_TEXT || !realNumber(textOf(s, col), &d)) {
        *failure = mismatch(col, "a number");
        return false;
      }
      return add(RDA_SQLVAL_DOUBLE, nullptr, 0, nullptr, nullptr, 0, d);
    }
    case ColType::Numeric: {
      std::string digits;
      bool ok = false;
      if (storage == SQLITE_INTEGER) {
        ok = digitString(std::to_string(sqlite3_column_int64(s, col)), type.scale, &digits);
      } else if (storage == SQLITE_FLOAT) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(type.scale), sqlite3_column_double(s, col));
        ok = digitString(buf, type.scale, &digits);
      } else if (storage == SQLITE_TEXT) {
        ok = digitString(textOf(s, col), type.scale, &digits);
      }
      if (!ok) {
        *failure = mismatch(col, "a decimal number");
        return false;
      }
      uint8_t eight[8];
      if (session.eightByteNumerics) {
        if (!encodeNumeric8(digits, eight)) {
          *failure = Failure{"22003", 0, "column " + std::to_string(col + 1) + ": decimal number out of the 8-byte range"};
          return false;
        }
        const OctStgV num{sizeof eight, eight};
        return add(RDA_SQLVAL_NUMERIC, nullptr, 0, &num, nullptr, 0, 0);
      }
      if (digits.size() > RDA_XOPEN_NUMERIC_BUILD_MAX) {
        *failure = Failure{"22003", 0, "column " + std::to_string(col + 1) + ": decimal number too long"};
        return false;
      }
      const OctStgV num{static_cast<uint32_t>(digits.size()), reinterpret_cast<uint8_t*>(digits.data())};
      return add(RDA_SQLVAL_NUMERIC, nullptr, 0, &num, nullptr, 0, 0);
    }
    case ColType::VarChar: {
      const std::string_view t = textOf(s, col);
      const OctStgV str{static_cast<uint32_t>(t.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(t.data()))};
      return add(RDA_SQLVAL_VARCHAR, &str, 0, nullptr, nullptr, 0, 0);
    }
    case ColType::WVarChar: {
      // The value builder takes wide characters and sends them in UTF-8.
      const std::string_view t = textOf(s, col);
      wchar_t* w = ul_dupUtf8ToWchar(tree, t.data(), static_cast<int32_t>(t.size()));
      if (w == nullptr) {
        *failure = mismatch(col, "UTF-8 text");
        return false;
      }
      const OctStgV str{static_cast<uint32_t>(std::wcslen(w)), reinterpret_cast<uint8_t*>(w)};
      return add(RDA_SQLVAL_WVARCHAR, &str, 0, nullptr, nullptr, 0, 0);
    }
    case ColType::VarBinary: {
      const auto* b = static_cast<const uint8_t*>(sqlite3_column_blob(s, col));
      const auto n = static_cast<uint32_t>(sqlite3_column_bytes(s, col));
      static const uint8_t kNone[1] = {0};
      if (!type.isLong) {
        const BitStgV bits{0, n, const_cast<uint8_t*>(b != nullptr ? b : kNone)};
        return add(RDA_SQLVAL_BITVARYING, nullptr, 0, nullptr, &bits, 0, 0);
      }
      // In parts of 32000 octets; after an exact multiple a part of none
      // tells the value's end.
      uint32_t at = 0;
      do {
        const uint32_t part = std::min(n - at, kLongPart);
        const BitStgV bits{0, part, const_cast<uint8_t*>(part > 0 ? b + at : kNone)};
        if (!add(RDA_SQLVAL_BITVARYING, nullptr, 0, nullptr, &bits, 0, 0)) return false;
        at += part;
        if (part < kLongPart) return true;
      } while (true);
    }
    case ColType::Date:
    case ColType::Time:
    case ColType::Timestamp: {
      const std::string_view t = textOf(s, col);
      if (storage != SQLITE_TEXT || t.empty() || t.size() > RDA_DATETIME_MAX) {
        *failure = mismatch(col, "a date or time text");
        return false;
      }
      const OctStgV str{static_cast<uint32_t>(t.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(t.data()))};
      return add(RDA_SQLVAL_DATETIME, &str, 0, nullptr, nullptr, 0, 0);
    }
  }
  return false;
}

// The descriptor of result column `col`, with its attribute text.
void* describe(sqlite3* db, sqlite3_stmt* s, int col, const ColumnType& t, XmTree* tree) {
  const char* name = sqlite3_column_name(s, col);
  // Nullability where the column comes straight from a table.
  uint32_t nullable = 1;
  const char* database = sqlite3_column_database_name(s, col);
  const char* table = sqlite3_column_table_name(s, col);
  const char* origin = sqlite3_column_origin_name(s, col);
  int notNull = 0;
  if (table != nullptr && origin != nullptr &&
      sqlite3_table_column_metadata(db, database, table, origin, nullptr, nullptr, &notNull, nullptr, nullptr) ==
          SQLITE_OK &&
      notNull != 0)
    nullable = 0;
  RDAXOPENSQLDataDescr* d = nullptr;
  switch (t.type) {
    case ColType::Integer:
      d = rda_createXOPENIntegerType(tree, nullable, name, 10, 1);
      break;
    case ColType::Double:
      d = rda_createXOPENDoublePrecisionType(tree, nullable, name, 15, 38);
      break;
    case ColType::VarChar:
      d = rda_createXOPENVarCharType(tree, nullable, name, nullptr, t.precision);
      if (d != nullptr && t.isLong) d->number |= kAttrLong;
      break;
    case ColType::WVarChar:
      d = rda_createXOPENWVarCharType(tree, nullable, name, nullptr, t.precision);
      break;
    case ColType::VarBinary:
      d = rda_createXOPENBitVaryingType(tree, nullable, name, t.isLong ? kLongLength : t.precision);
      if (d != nullptr && t.isLong) d->number |= kAttrLong;
      break;
    case ColType::Numeric:
      d = rda_createXOPENNumericType(tree, nullable, name, t.precision, t.scale);
      break;
    case ColType::Date:
      d = rda_createXOPENDateTimeType(tree, nullable, name, 1, nullptr);
      break;
    case ColType::Time:
      d = rda_createXOPENDateTimeType(tree, nullable, name, 2, nullptr);
      break;
    case ColType::Timestamp:
      d = rda_createXOPENDateTimeType(tree, nullable, name, 3, t.precision > 0 ? &t.precision : nullptr);
      break;
  }
  if (d == nullptr) return nullptr;
  // catalog|schema|table|base column|label|type name
  const std::string attributes = std::string(table != nullptr && database != nullptr ? database : "") + "||" +
                                 (table != nullptr ? table : "") + "|" + (origin != nullptr ? origin : "") + "|" +
                                 (name != nullptr ? name : "") + "|" + typeNameOf(t);
  d->name = dupText(tree, attributes);
  if (d->name == nullptr) return nullptr;
  d->mask |= 1u << 4;
  return d;
}

// The octets a value carries, for long data sent in parts.
std::string_view octetsOf(const RDAXOPENSQLVal* v) {
  if (v == nullptr || (v->mask & 1u) == 0) return {};
  const RDAXOPENSQLValue& x = v->value;
  switch (x.code) {
    case RDA_SQLVAL_CHAR:
    case RDA_SQLVAL_VARCHAR:
    case RDA_SQLVAL_WCHAR:
    case RDA_SQLVAL_WVARCHAR:
      return x.octets.octets != nullptr
                 ? std::string_view(reinterpret_cast<const char*>(x.octets.octets), x.octets.length)
                 : std::string_view();
    case RDA_SQLVAL_BITVARYING:
      return x.bitString.octets != nullptr
                 ? std::string_view(reinterpret_cast<const char*>(x.bitString.octets), x.bitString.count)
                 : std::string_view();
    default:
      return {};
  }
}

bool decimalText(std::string_view t) {
  return std::all_of(t.begin(), t.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || std::strchr("+-. ", c); });
}

// The value argument `a` binds; false with `failure` set when it cannot be
// bound.
bool toHeld(const Arg& a, size_t index, Held* h, Failure* failure) {
  const RDAXOPENSQLVal* v = a.value;
  *h = Held{};
  if (a.joined) {
    h->type = v->value.code == RDA_SQLVAL_BITVARYING ? SQLITE_BLOB : SQLITE_TEXT;
    h->bytes = a.parts;
    return true;
  }
  if (v == nullptr || (v->mask & 1u) == 0) {
    // Indicator -2 marks an empty text.
    if (v != nullptr && (v->mask & 2u) != 0 && v->indicator == -2) h->type = SQLITE_TEXT;
    return true;
  }
  const RDAXOPENSQLValue& x = v->value;
  switch (x.code) {
    case RDA_SQLVAL_CHAR:
    case RDA_SQLVAL_VARCHAR:
    case RDA_SQLVAL_WCHAR:
    case RDA_SQLVAL_WVARCHAR:
    case RDA_SQLVAL_BITVARYING:
      h->type = x.code == RDA_SQLVAL_BITVARYING ? SQLITE_BLOB : SQLITE_TEXT;
      h->bytes = std::string(octetsOf(v));
      return true;
    case RDA_SQLVAL_NUMERIC:
    case RDA_SQLVAL_DECIMAL: {
      std::string digits(reinterpret_cast<const char*>(x.numeric.octets),
                         std::min<uint32_t>(x.numeric.length, RDA_XOPEN_NUMERIC_MAX));
      // The 8-byte form: eight octets that are no decimal text, over 10 to
      // the scale of the argument's descriptor.
      if (digits.size() == 8 && !decimalText(digits)) {
        const bool numeric = a.spec != nullptr && (a.spec->type.code == RDA_SQLTYPE_NUMERIC ||
                                                   a.spec->type.code == RDA_SQLTYPE_DECIMAL);
        digits = decodeNumeric8(x.numeric.octets, numeric ? a.spec->type.number.second : 0);
      }
      while (!digits.empty() && digits.back() == '\0') digits.pop_back();
      if (wholeNumber(digits, &h->integer)) {
        h->type = SQLITE_INTEGER;
      } else {
        h->type = SQLITE_TEXT;
        h->bytes = digits;
      }
      return true;
    }
    case RDA_SQLVAL_INTEGER:
    case RDA_SQLVAL_SMALLINT:
      h->type = SQLITE_INTEGER;
      h->integer = x.integer;
      return true;
    case RDA_SQLVAL_FLOAT:
    case RDA_SQLVAL_REAL:
    case RDA_SQLVAL_DOUBLE:
      h->type = SQLITE_FLOAT;
      h->real = x.real;
      return true;
    case RDA_SQLVAL_DATETIME:
      h->type = SQLITE_TEXT;
      h->bytes = std::string(x.dateTime, strnlen(x.dateTime, RDA_DATETIME_MAX));
      return true;
    default:
      *failure = Failure{"HY000", 0, "argument " + std::to_string(index) + ": value type not supported"};
      return false;
  }
}

int bindHeld(sqlite3_stmt* s, int index, const Held& h) {
  switch (h.type) {
    case SQLITE_INTEGER:
      return sqlite3_bind_int64(s, index, h.integer);
    case SQLITE_FLOAT:
      return sqlite3_bind_double(s, index, h.real);
    case SQLITE_TEXT:
      return sqlite3_bind_text(s, index, h.bytes.data(), static_cast<int>(h.bytes.size()), SQLITE_TRANSIENT);
    case SQLITE_BLOB:
      return sqlite3_bind_blob(s, index, h.bytes.data(), static_cast<int>(h.bytes.size()), SQLITE_TRANSIENT);
    default:
      return sqlite3_bind_null(s, index);
  }
}

template <class T>
std::vector<const T*> listOf(const RDAList& list) {
  std::vector<const T*> out;
  if (rda_ringEmpty(list)) return out;
  for (const UL_Link* p = list.links.next; p != &list.links; p = p->next) {
    if constexpr (std::is_same_v<T, RDAXOPENSQLVal>)
      out.push_back(static_cast<const T*>(reinterpret_cast<const RDAValNode*>(p)->val));
    else
      out.push_back(static_cast<const T*>(reinterpret_cast<const RDADescrNode*>(p)->descr));
  }
  return out;
}

Failure sqliteFailure(sqlite3* db, int rc, bool prepared) {
  if ((rc & 0xFF) == SQLITE_AUTH) return Failure{sqlStateOf(rc, prepared), rc, kFileStatementsRefused};
  return Failure{sqlStateOf(rc, prepared), rc, sqlite3_errmsg(db)};
}

int fileAuthorizer(void* guard, int action, const char* first, const char*, const char*, const char*) {
  if (static_cast<const FileGuard*>(guard)->own) return SQLITE_OK;
  if (action == SQLITE_ATTACH) return first == nullptr || *first == '\0' ? SQLITE_OK : SQLITE_DENY;
  return action == SQLITE_DETACH ? SQLITE_DENY : SQLITE_OK;
}

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// The catalog tables whose owner prefix the peer drops.
bool catalogTable(std::string_view name) {
  static constexpr std::string_view kTables[] = {"QV_TABLES", "QV_COLUMNS",  "QV_STATISTICS", "QV_PROCCOLUMNS",
                                                 "QV_PROC",   "QV_FKEYS",    "QV_TYPES",      "QV_INFO"};
  for (std::string_view t : kTables)
    if (t.size() == name.size() &&
        std::equal(t.begin(), t.end(), name.begin(), [](char a, char b) { return a == std::toupper(b); }))
      return true;
  return false;
}

}  // namespace

std::string sqliteText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const bool boundary = i == 0 || !identChar(text[i - 1]);
    if ((c == 'N' || c == 'n') && boundary && i + 1 < text.size() && text[i + 1] == '\'') {
      // N'x' is a literal of national characters: SQLite reads it as the
      // name N followed by a literal, so the N goes.
      ++i;
    } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
      // A literal or quoted name, copied to its closing quote (doubled
      // quotes stay inside).
      const char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < text.size()) {
        if (text[j] == close) {
          if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = std::min(j + 1, text.size());
      out.append(text.substr(i, j - i));
      i = j;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      const size_t j = std::min(text.find('\n', i), text.size());
      out.append(text.substr(i, j - i));
      i = j;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const size_t e = text.find("*/", i + 2);
      const size_t j = e == std::string_view::npos ? text.size() : e + 2;
      out.append(text.substr(i, j - i));
      i = j;
    } else if (c == ':' && i + 1 < text.size() && identStart(text[i + 1])) {
      size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) ++j;
      out += '?';
      i = j;
    } else if (identStart(c) && boundary) {
      // A name; an owner in front of a catalog table is dropped.
      size_t j = i;
      while (j < text.size() && identChar(text[j])) ++j;
      if (j < text.size() && text[j] == '.' && j + 1 < text.size() && identStart(text[j + 1])) {
        size_t k = j + 1;
        while (k < text.size() && identChar(text[k])) ++k;
        if (catalogTable(text.substr(j + 1, k - j - 1))) {
          out.append(text.substr(j + 1, k - j - 1));
          i = k;
          continue;
        }
      }
      out.append(text.substr(i, j - i));
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

ColumnType columnTypeOf(const char* declType, int storageClass) {
  const std::string d = upper(declType);
  auto has = [&](const char* w) { return d.find(w) != std::string::npos; };
  if (!d.empty()) {
    if (has("INT")) return {ColType::Integer, 10, 0};
    if (has("NUMERIC") || has("DECIMAL")) {
      ColumnType t{ColType::Numeric, kDefaultNumericPrecision, 0};
      typeArgs(d, &t.precision, &t.scale);
      return t;
    }
    if (has("TIMESTAMP") || has("DATETIME")) {
      // TIMESTAMP(n): n digits of fraction (at most 9).
      ColumnType t{ColType::Timestamp, 0, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.precision = std::min(t.precision, 9);
      t.scale = 0;
      return t;
    }
    if (has("DATE")) return {ColType::Date, 0, 0};
    if (has("TIME")) return {ColType::Time, 0, 0};
    if (has("NCHAR") || has("NVARCHAR") || has("NTEXT")) {
      ColumnType t{ColType::WVarChar, kDefaultVarCharLength, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.scale = 0;
      return t;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
      ColumnType t{ColType::VarChar, kDefaultVarCharLength, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.scale = 0;
      t.isLong = has("LONG");
      return t;
    }
    if (has("BLOB") || has("BINARY")) {
      ColumnType t{ColType::VarBinary, 0, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.scale = 0;
      t.isLong = t.precision == 0;
      return t;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) return {ColType::Double, 15, 0};
  }
  switch (storageClass) {
    case SQLITE_INTEGER:
      return {ColType::Integer, 10, 0};
    case SQLITE_FLOAT:
      return {ColType::Double, 15, 0};
    case SQLITE_BLOB:
      return {ColType::VarBinary, 0, 0, true};
    default:
      return {ColType::VarChar, kDefaultVarCharLength, 0};
  }
}

namespace {

// What a client is told of each column type, by ColType: the ODBC 2 code
// and name, and the column size and octet length where they do not follow
// from the precision (0).
struct TypeFacts {
  int32_t code;
  const char* name;
  int32_t size;
  int32_t octets;
};
constexpr TypeFacts kTypeFacts[] = {{4, "INTEGER", 10, 4}, {8, "DOUBLE", 15, 8},    {12, "VARCHAR", 0, 0},
                                    {-9, "NVARCHAR", 0, 0}, {-3, "VARBINARY", 0, 0}, {2, "NUMERIC", 0, 0},
                                    {9, "DATE", 10, 6},     {10, "TIME", 8, 6},      {11, "TIMESTAMP", 19, 16}};
constexpr TypeFacts kLongBinary{-4, "BLOB", kLongLength, kLongLength};
constexpr TypeFacts kLongText{-1, "LONG VARCHAR", 0, 0};

const TypeFacts& factsOf(const ColumnType& t) {
  if (t.isLong) return t.type == ColType::VarBinary ? kLongBinary : kLongText;
  return kTypeFacts[static_cast<size_t>(t.type)];
}

}  // namespace

int32_t odbcTypeOf(const ColumnType& t) { return factsOf(t).code; }
const char* typeNameOf(const ColumnType& t) { return factsOf(t).name; }
int32_t columnSizeOf(const ColumnType& t) {
  if (t.type == ColType::Timestamp && t.precision > 0) return 20 + t.precision;
  return factsOf(t).size != 0 ? factsOf(t).size : t.precision;
}

int32_t octetLengthOf(const ColumnType& t) {
  if (factsOf(t).octets != 0) return factsOf(t).octets;
  if (t.type == ColType::Numeric) return t.precision + 2;
  if (t.type == ColType::WVarChar) return t.precision > INT32_MAX / 4 ? INT32_MAX : t.precision * 4;
  return t.precision;
}

bool encodeNumeric8(std::string_view digits, uint8_t out[8]) {
  bool negative = false;
  std::string whole, fraction;
  if (!splitDecimal(digits, &negative, &whole, &fraction)) return false;
  uint64_t magnitude = 0;
  for (const char c : whole + fraction) {
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (magnitude > (static_cast<uint64_t>(INT64_MAX) - d) / 10) return false;
    magnitude = magnitude * 10 + d;
  }
  const uint32_t high = static_cast<uint32_t>(magnitude >> 32) | (negative && magnitude != 0 ? 0x80000000u : 0);
  const uint32_t low = static_cast<uint32_t>(magnitude);
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(high >> (8 * i));
    out[4 + i] = static_cast<uint8_t>(low >> (8 * i));
  }
  return true;
}

std::string decodeNumeric8(const uint8_t in[8], int32_t scale) {
  uint32_t high = 0, low = 0;
  for (int i = 3; i >= 0; --i) {
    high = high << 8 | in[i];
    low = low << 8 | in[4 + i];
  }
  const bool negative = (high & 0x80000000u) != 0;
  const uint64_t magnitude = static_cast<uint64_t>(high & 0x7FFFFFFFu) << 32 | low;
  std::string digits = std::to_string(magnitude);
  const size_t s = static_cast<size_t>(std::clamp(scale, 0, 40));
  if (digits.size() <= s) digits.insert(0, s + 1 - digits.size(), '0');
  if (s > 0) digits.insert(digits.size() - s, ".");
  return (negative && magnitude != 0 ? "-" : "") + digits;
}

void guardFiles(sqlite3* db, FileGuard* guard) { sqlite3_set_authorizer(db, fileAuthorizer, guard); }

const char* sqlStateOf(int sqliteCode, bool prepared) {
  switch (sqliteCode & 0xFF) {
    case SQLITE_CONSTRAINT:
      return "23000";
    case SQLITE_AUTH:
      return "42000";
    case SQLITE_MISMATCH:
      return "22018";
    case SQLITE_ERROR:
      // Preparing fails on syntax and on unknown tables and columns.
      return prepared ? "HY000" : "42000";
    default:
      return "HY000";
  }
}

Session::~Session() {
  cursors.clear();
  calls.clear();
  if (db == nullptr) return;
  if (sqlite3_get_autocommit(db) == 0) (void)runPlain(db, "ROLLBACK");
  sqlite3_close(db);
}

bool Arg::output() const { return spec != nullptr && (spec->number & kAttrOutput) != 0; }

std::vector<Arg> argumentsOf(const RDAExecDBL_Req& req, int32_t* repetition) {
  *repetition = kDefaultRowsPerResponse;
  std::vector<Arg> out;
  if ((req.mask & (1u << 4)) == 0 || req.args.code != 0x4004) return out;
  const RDASingleRow& one = req.args.single;
  if (one.count > 0) *repetition = one.count;
  const auto values = (one.mask & 2u) != 0 ? listOf<RDAXOPENSQLVal>(one.values.values) : std::vector<const RDAXOPENSQLVal*>{};
  const auto specs = (req.mask & (1u << 2)) != 0 ? listOf<RDAXOPENSQLDataDescr>(req.argSpecs)
                                                 : std::vector<const RDAXOPENSQLDataDescr*>{};
  size_t i = 0;
  for (size_t k = 0; i < values.size(); ++k) {
    Arg a;
    a.value = values[i++];
    a.spec = k < specs.size() ? specs[k] : nullptr;
    // More values than descriptors are left for this one: long data in parts.
    auto spare = [&] { return values.size() - i > (k + 1 < specs.size() ? specs.size() - k - 1 : 0); };
    if (a.spec != nullptr && octetsOf(a.value).size() == kLongPart && spare()) {
      a.joined = true;
      a.parts = std::string(octetsOf(a.value));
      std::string_view last = octetsOf(a.value);
      while (last.size() == kLongPart && spare()) {
        const RDAXOPENSQLVal* next = values[i++];
        if (next == nullptr || (next->mask & 1u) == 0) break;  // a NULL ends an exact multiple
        last = octetsOf(next);
        a.parts += last;
      }
    }
    out.push_back(std::move(a));
  }
  return out;
}

namespace {

// A UTF-8 text as wide characters (empty when it is no UTF-8).
std::wstring wideOf(const std::string& text) {
  if (text.empty()) return L"";
  const int32_t n = unix_utf8towcslen(text.data(), static_cast<int32_t>(text.size()));
  if (n <= 0) return L"";
  std::wstring w(static_cast<size_t>(n), L'\0');
  unix_utf8towcs(text.data(), static_cast<int32_t>(text.size()), w.data(), n);
  return w;
}

}  // namespace

bool addFailure(XmTree* tree, ExecAnswer* answer, const Failure& f) {
  if (f.state.empty()) return false;  // out of memory
  answer->specs.clear();
  answer->rows.clear();
  const int32_t code = f.code;
  if (!addException(tree, answer, f.state.c_str(), f.code != 0 ? &code : nullptr, &f.text, nullptr)) return false;
  if (f.more.empty()) return true;
  auto* row = static_cast<RDAXOPENResultVals*>(answer->rows.back());
  for (const auto& [state, text] : f.more) {
    const std::wstring ws = wideOf(state);
    const std::wstring wt = wideOf(text);
    if (rda_addXOPENDBLExcp(tree, row->exception, ws.c_str(), L"", L"", wt.c_str()) != 1) return false;
  }
  return true;
}

bool addState(XmTree* tree, ExecAnswer* answer, const char* state) {
  return addException(tree, answer, state, nullptr, nullptr, nullptr);
}

bool addRowCount(XmTree* tree, ExecAnswer* answer, int32_t count) {
  return addException(tree, answer, nullptr, nullptr, nullptr, &count);
}

bool addParamSpecs(XmTree* tree, ExecAnswer* answer, const std::vector<int>& directions) {
  for (const int direction : directions) {
    RDAXOPENSQLDataDescr* d = rda_createXOPENVarCharType(tree, 1, nullptr, nullptr, 999);
    if (d == nullptr) return false;
    d->number = kAttrParameter | (direction & 7);
    answer->specs.push_back(d);
  }
  return true;
}

bool heldValues(const std::vector<Arg>& args, std::vector<Held>* out, Failure* f) {
  out->clear();
  for (const Arg& a : args) {
    if (a.output()) continue;
    out->emplace_back();
    if (!toHeld(a, out->size(), &out->back(), f)) return false;
  }
  return true;
}

bool openCursor(Session& s, std::string_view text, const std::vector<Held>& values, Cursor* c, Failure* f, bool some) {
  const std::string sql = sqliteText(text);
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int prepared = sqlite3_prepare_v2(s.db, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
  Stmt stmt(raw);
  if (prepared != SQLITE_OK) {
    *f = sqliteFailure(s.db, prepared, false);
    return false;
  }
  if (!stmt) {
    *f = Failure{"42000", 0, "no statement"};
    return false;
  }
  while (tail != nullptr && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
  if (tail != nullptr && *tail != '\0' && *tail != ';') {
    *f = Failure{"42000", 0, "one statement at a time"};
    return false;
  }
  const int markers = sqlite3_bind_parameter_count(stmt.get());
  if (some ? static_cast<int>(values.size()) < markers : static_cast<int>(values.size()) != markers) {
    *f = Failure{"HY000", 0, "the statement has " + std::to_string(markers) + " parameter markers, " +
                                 std::to_string(values.size()) + " values were given"};
    return false;
  }
  for (int i = 0; i < markers; ++i)
    if (const int rc = bindHeld(stmt.get(), i + 1, values[static_cast<size_t>(i)]); rc != SQLITE_OK) {
      *f = Failure{sqlStateOf(rc, true), rc, sqlite3_errstr(rc)};
      return false;
    }
  c->columns = sqlite3_column_count(stmt.get());
  const int before = sqlite3_total_changes(s.db);
  int rc = sqlite3_step(stmt.get());
  while (rc == SQLITE_ROW && c->columns == 0) rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    *f = sqliteFailure(s.db, rc, true);
    return false;
  }
  c->row = rc == SQLITE_ROW;
  if (c->columns == 0) c->changed = std::max(0, sqlite3_total_changes(s.db) - before);
  c->types.clear();
  for (int col = 0; col < c->columns; ++col)
    c->types.push_back(columnTypeOf(sqlite3_column_decltype(stmt.get(), col),
                                    c->row ? sqlite3_column_type(stmt.get(), col) : SQLITE_NULL));
  c->sent = 0;
  c->stmt = std::move(stmt);
  return true;
}

bool describeCursor(Session& s, const Cursor& c, XmTree* tree, ExecAnswer* answer, bool returnStatus) {
  if (returnStatus) {
    RDAXOPENSQLDataDescr* d = rda_createXOPENIntegerType(tree, 1, "RETURN_VALUE", 10, 1);
    if (d == nullptr) return false;
    answer->specs.push_back(d);
  }
  for (int col = 0; col < c.columns; ++col) {
    void* d = describe(s.db, c.stmt.get(), col, c.types[static_cast<size_t>(col)], tree);
    if (d == nullptr) return false;
    answer->specs.push_back(d);
  }
  return true;
}

bool describeText(Session& s, std::string_view text, XmTree* tree, ExecAnswer* answer, int* markers, Failure* f) {
  const std::string sql = sqliteText(text);
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(s.db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  Stmt stmt(raw);
  if (rc != SQLITE_OK || !stmt) {
    *f = rc != SQLITE_OK ? sqliteFailure(s.db, rc, false) : Failure{"42000", 0, "no statement"};
    return false;
  }
  *markers = sqlite3_bind_parameter_count(stmt.get());
  for (int col = 0; col < sqlite3_column_count(stmt.get()); ++col) {
    void* d = describe(s.db, stmt.get(), col, columnTypeOf(sqlite3_column_decltype(stmt.get(), col), SQLITE_NULL), tree);
    if (d == nullptr) {
      *f = Failure{};
      return false;
    }
    answer->specs.push_back(d);
  }
  return true;
}

bool sendRows(Session& s, Cursor& c, int32_t count, XmTree* tree, ExecAnswer* answer, Failure* f, bool returnStatus) {
  for (int32_t n = 0; n < count && !c.finished(); ++n) {
    RDASQLValList* values = rda_createSQLValList(tree);
    if (values == nullptr ||
        (returnStatus && rda_addXOPENSQLVal(tree, &values->values, RDA_SQLVAL_INTEGER, nullptr, 0, 0, nullptr,
                                            nullptr, -1, 0) != 1)) {
      *f = Failure{};
      return false;
    }
    for (int col = 0; col < c.columns; ++col)
      if (!addCell(s, c.stmt.get(), col, c.types[static_cast<size_t>(col)], tree, &values->values, f)) return false;
    void* r = rda_createResultVal(tree, nullptr, values);
    if (r == nullptr) {
      *f = Failure{};
      return false;
    }
    answer->rows.push_back(r);
    ++c.sent;
    const int rc = sqlite3_step(c.stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      *f = sqliteFailure(s.db, rc, true);
      return false;
    }
    c.row = rc == SQLITE_ROW;
  }
  return true;
}

std::vector<std::vector<Arg>> plainRows(const RDAExecDBL_Req& req, int32_t* repetition) {
  std::vector<std::vector<Arg>> rows;
  *repetition = kDefaultRowsPerResponse;
  if ((req.mask & (1u << 4)) != 0 && req.args.code == 0x4005) {
    const RDAList& list = req.args.multi.rows;
    if (!rda_ringEmpty(list))
      for (const UL_Link* p = list.links.next; p != &list.links; p = p->next) {
        std::vector<Arg> row;
        for (const RDAXOPENSQLVal* v : listOf<RDAXOPENSQLVal>(reinterpret_cast<const RDARowNode*>(p)->row.values)) {
          row.emplace_back();
          row.back().value = v;
        }
        rows.push_back(std::move(row));
      }
  } else {
    rows.push_back(argumentsOf(req, repetition));
  }
  if (rows.empty()) rows.emplace_back();
  return rows;
}

bool runPlainRoad(Session& s, std::string_view text, const std::vector<std::vector<Arg>>& rows, int32_t repetition,
                  XmTree* tree, ExecAnswer* answer) {
  answer->specs.clear();
  answer->rows.clear();
  Failure f;
  int32_t changed = 0;
  int32_t left = repetition;
  bool described = false;
  bool more = false;
  for (const auto& args : rows) {
    Cursor c;
    std::vector<Held> values;
    if (!heldValues(args, &values, &f) || !openCursor(s, text, values, &c, &f)) return addFailure(tree, answer, f);
    if (c.columns == 0) {
      changed = static_cast<int32_t>(std::min<int64_t>(int64_t{changed} + c.changed, INT32_MAX));
      continue;
    }
    if (!described) {
      if (!describeCursor(s, c, tree, answer)) return false;
      described = true;
    }
    if (!sendRows(s, c, left, tree, answer, &f)) return addFailure(tree, answer, f);
    left -= static_cast<int32_t>(c.sent);
    if (!c.finished()) {
      more = true;
      break;
    }
  }
  if (!described) return addRowCount(tree, answer, changed);
  return more || addState(tree, answer, "02000");
}

std::string runPlain(sqlite3* db, const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return "";
  std::string text = msg != nullptr ? msg : "failed";
  sqlite3_free(msg);
  return text;
}

GIDU* answerExecDBL(Session& s, const GIDU* indication) {
  const auto* idu = static_cast<const RDAXOPENIdu*>(indication->idu);
  XmTree* tree = _xm_allocTree(nullptr);
  if (tree == nullptr) return nullptr;
  ExecAnswer answer;
  if (!runExecDBL(s, idu->execDBL_RI.req, tree, &answer)) {
    _xm_freeTree(tree);
    return nullptr;
  }
  GIDU* rsp = rda_createSQLExecDBLRsp(indication, idu->execDBL_RI.opId, static_cast<uint32_t>(answer.specs.size()),
                                      answer.specs.data(), static_cast<uint32_t>(answer.rows.size()),
                                      answer.rows.data(), tree);
  if (rsp == nullptr) _xm_freeTree(tree);
  return rsp;
}

}  // namespace peer
