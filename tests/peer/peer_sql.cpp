#include "peer/peer_sql.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "src/asn1/rda_idu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/runtime/xm.h"

namespace peer {

namespace {

constexpr int32_t kDefaultVarCharLength = 255;
constexpr int32_t kDefaultNumericPrecision = 38;

struct StmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// A failure of one statement: the SQLSTATE, the native code and the text.
struct Failure {
  std::string state;
  int32_t code = 0;
  std::string text;
};

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
bool addCell(sqlite3_stmt* s, int col, const ColumnType& type, XmTree* tree, RDAList* values, Failure* failure) {
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
    case ColType::VarBinary: {
      const void* b = sqlite3_column_blob(s, col);
      const BitStgV bits{0, static_cast<uint32_t>(sqlite3_column_bytes(s, col)),
                         static_cast<uint8_t*>(const_cast<void*>(b))};
      return add(RDA_SQLVAL_BITVARYING, nullptr, 0, nullptr, &bits, 0, 0);
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

// The descriptor of result column `col`.
void* describe(sqlite3* db, sqlite3_stmt* s, int col, const ColumnType& t, XmTree* tree) {
  const char* name = sqlite3_column_name(s, col);
  // Nullability where the column comes straight from a table.
  uint32_t nullable = 1;
  const char* table = sqlite3_column_table_name(s, col);
  const char* origin = sqlite3_column_origin_name(s, col);
  int notNull = 0;
  if (table != nullptr && origin != nullptr &&
      sqlite3_table_column_metadata(db, sqlite3_column_database_name(s, col), table, origin, nullptr, nullptr,
                                    &notNull, nullptr, nullptr) == SQLITE_OK &&
      notNull != 0)
    nullable = 0;
  switch (t.type) {
    case ColType::Integer:
      return rda_createXOPENIntegerType(tree, nullable, name, 10, 1);
    case ColType::Double:
      return rda_createXOPENDoublePrecisionType(tree, nullable, name, 15, 38);
    case ColType::VarChar:
      return rda_createXOPENVarCharType(tree, nullable, name, nullptr, t.precision);
    case ColType::VarBinary:
      return rda_createXOPENBitVaryingType(tree, nullable, name, t.precision);
    case ColType::Numeric:
      return rda_createXOPENNumericType(tree, nullable, name, t.precision, t.scale);
    case ColType::Date:
      return rda_createXOPENDateTimeType(tree, nullable, name, 1, nullptr);
    case ColType::Time:
      return rda_createXOPENDateTimeType(tree, nullable, name, 2, nullptr);
    case ColType::Timestamp:
      return rda_createXOPENDateTimeType(tree, nullable, name, 3, nullptr);
  }
  return nullptr;
}

// Binds argument `v` to marker `index`; false with `failure` set when the
// value cannot be bound.
bool bindValue(sqlite3_stmt* s, int index, const RDAXOPENSQLVal* v, Failure* failure) {
  int rc = SQLITE_OK;
  if (v == nullptr || (v->mask & 1u) == 0) {
    // Indicator -2 marks an empty text.
    rc = v != nullptr && (v->mask & 2u) != 0 && v->indicator == -2 ? sqlite3_bind_text(s, index, "", 0, SQLITE_STATIC)
                                                                  : sqlite3_bind_null(s, index);
  } else {
    const RDAXOPENSQLValue& x = v->value;
    switch (x.code) {
      case RDA_SQLVAL_CHAR:
      case RDA_SQLVAL_VARCHAR:
      case RDA_SQLVAL_WCHAR:
      case RDA_SQLVAL_WVARCHAR:
        rc = sqlite3_bind_text(s, index, reinterpret_cast<const char*>(x.octets.octets),
                               static_cast<int>(x.octets.length), SQLITE_TRANSIENT);
        break;
      case RDA_SQLVAL_NUMERIC:
      case RDA_SQLVAL_DECIMAL: {
        std::string digits(reinterpret_cast<const char*>(x.numeric.octets),
                           std::min<uint32_t>(x.numeric.length, RDA_XOPEN_NUMERIC_MAX));
        while (!digits.empty() && digits.back() == '\0') digits.pop_back();
        int64_t n = 0;
        rc = wholeNumber(digits, &n) ? sqlite3_bind_int64(s, index, n)
                                     : sqlite3_bind_text(s, index, digits.c_str(), -1, SQLITE_TRANSIENT);
        break;
      }
      case RDA_SQLVAL_INTEGER:
      case RDA_SQLVAL_SMALLINT:
        rc = sqlite3_bind_int(s, index, x.integer);
        break;
      case RDA_SQLVAL_FLOAT:
      case RDA_SQLVAL_REAL:
      case RDA_SQLVAL_DOUBLE:
        rc = sqlite3_bind_double(s, index, x.real);
        break;
      case RDA_SQLVAL_DATETIME:
        rc = sqlite3_bind_text(s, index, x.dateTime, static_cast<int>(strnlen(x.dateTime, RDA_DATETIME_MAX)),
                               SQLITE_TRANSIENT);
        break;
      case RDA_SQLVAL_BITVARYING:
        rc = sqlite3_bind_blob(s, index, x.bitString.count > 0 ? x.bitString.octets : reinterpret_cast<const uint8_t*>(""),
                               static_cast<int>(x.bitString.count), SQLITE_TRANSIENT);
        break;
      default:
        *failure = Failure{"HY000", 0, "argument " + std::to_string(index) + ": value type not supported"};
        return false;
    }
  }
  if (rc != SQLITE_OK) {
    *failure = Failure{sqlStateOf(rc, true), rc, sqlite3_errstr(rc)};
    return false;
  }
  return true;
}

std::vector<const RDAXOPENSQLVal*> valuesOf(const RDAList& list) {
  std::vector<const RDAXOPENSQLVal*> out;
  if (rda_ringEmpty(list)) return out;
  for (const UL_Link* p = list.links.next; p != &list.links; p = p->next)
    out.push_back(static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(p)->val));
  return out;
}

// The argument rows of a request (one empty row without arguments) and the
// rows it asks for per response.
std::vector<std::vector<const RDAXOPENSQLVal*>> argumentRows(const RDAExecDBL_Req& req, int32_t* repetition) {
  std::vector<std::vector<const RDAXOPENSQLVal*>> rows;
  *repetition = kDefaultRowsPerResponse;
  if ((req.mask & (1u << 4)) != 0 && req.args.code == 0x4004) {
    const RDASingleRow& one = req.args.single;
    if (one.count > 0) *repetition = one.count;
    rows.push_back((one.mask & 2u) != 0 ? valuesOf(one.values.values) : std::vector<const RDAXOPENSQLVal*>{});
  } else if ((req.mask & (1u << 4)) != 0 && req.args.code == 0x4005 && !rda_ringEmpty(req.args.multi.rows)) {
    const RDAList& list = req.args.multi.rows;
    for (const UL_Link* p = list.links.next; p != &list.links; p = p->next)
      rows.push_back(valuesOf(reinterpret_cast<const RDARowNode*>(p)->row.values));
  } else {
    rows.emplace_back();
  }
  return rows;
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

}  // namespace

std::string positionalMarkers(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
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
    } else if (c == ':' && i + 1 < text.size() &&
               (std::isalpha(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '_')) {
      size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) ++j;
      out += '?';
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
    if (has("TIMESTAMP") || has("DATETIME")) return {ColType::Timestamp, 0, 0};
    if (has("DATE")) return {ColType::Date, 0, 0};
    if (has("TIME")) return {ColType::Time, 0, 0};
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
      ColumnType t{ColType::VarChar, kDefaultVarCharLength, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.scale = 0;
      return t;
    }
    if (has("BLOB") || has("BINARY")) {
      ColumnType t{ColType::VarBinary, 0, 0};
      typeArgs(d, &t.precision, &t.scale);
      t.scale = 0;
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
      return {ColType::VarBinary, 0, 0};
    default:
      return {ColType::VarChar, kDefaultVarCharLength, 0};
  }
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

bool runExecDBL(sqlite3* db, const RDAExecDBL_Req& req, XmTree* tree, ExecAnswer* answer) {
  answer->specs.clear();
  answer->rows.clear();
  auto fail = [&](const Failure& f) {
    if (f.state.empty()) return false;  // out of memory
    answer->specs.clear();
    answer->rows.clear();
    const int32_t code = f.code;
    return addException(tree, answer, f.state.c_str(), f.code != 0 ? &code : nullptr, &f.text, nullptr);
  };

  const std::string text = positionalMarkers(
      std::string_view(reinterpret_cast<const char*>(req.stmt.text.octets), req.stmt.text.length));
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &raw, &tail);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) return fail(sqliteFailure(db, rc, false));
  if (!stmt) return fail(Failure{"42000", 0, "no statement"});
  while (tail != nullptr && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
  if (tail != nullptr && *tail != '\0' && *tail != ';')
    return fail(Failure{"42000", 0, "one statement at a time"});

  int32_t repetition = 0;
  const auto argRows = argumentRows(req, &repetition);
  const int markers = sqlite3_bind_parameter_count(stmt.get());
  const int columns = sqlite3_column_count(stmt.get());
  std::vector<ColumnType> types;
  int64_t changed = 0;
  bool more = false;
  int32_t sent = 0;
  for (const auto& row : argRows) {
    if (static_cast<int>(row.size()) != markers)
      return fail(Failure{"HY000", 0, "the statement has " + std::to_string(markers) + " parameter markers, " +
                                          std::to_string(row.size()) + " values were given"});
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    Failure f;
    for (int i = 0; i < markers; ++i)
      if (!bindValue(stmt.get(), i + 1, row[static_cast<size_t>(i)], &f)) return fail(f);
    const int before = sqlite3_total_changes(db);
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
      if (columns == 0) continue;
      if (types.empty()) {
        for (int c = 0; c < columns; ++c)
          types.push_back(columnTypeOf(sqlite3_column_decltype(stmt.get(), c), sqlite3_column_type(stmt.get(), c)));
      }
      if (sent == repetition) {
        more = true;
        break;
      }
      RDASQLValList* values = rda_createSQLValList(tree);
      if (values == nullptr) return false;
      for (int c = 0; c < columns; ++c)
        if (!addCell(stmt.get(), c, types[static_cast<size_t>(c)], tree, &values->values, &f)) return fail(f);
      void* r = rda_createResultVal(tree, nullptr, values);
      if (r == nullptr) return false;
      answer->rows.push_back(r);
      ++sent;
    }
    if (more) break;
    if (rc != SQLITE_DONE) return fail(sqliteFailure(db, rc, true));
    changed += sqlite3_total_changes(db) - before;
  }

  if (columns == 0) {
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(changed, INT32_MAX));
    return addException(tree, answer, nullptr, nullptr, nullptr, &count);
  }
  if (types.empty()) {
    // No row at all: the declared types alone.
    for (int c = 0; c < columns; ++c)
      types.push_back(columnTypeOf(sqlite3_column_decltype(stmt.get(), c), SQLITE_NULL));
  }
  for (int c = 0; c < columns; ++c) {
    void* d = describe(db, stmt.get(), c, types[static_cast<size_t>(c)], tree);
    if (d == nullptr) return false;
    answer->specs.push_back(d);
  }
  return more || addException(tree, answer, "02000", nullptr, nullptr, nullptr);
}

std::string runPlain(sqlite3* db, const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return "";
  std::string text = msg != nullptr ? msg : "failed";
  sqlite3_free(msg);
  return text;
}

GIDU* answerExecDBL(sqlite3* db, const GIDU* indication) {
  const auto* idu = static_cast<const RDAXOPENIdu*>(indication->idu);
  XmTree* tree = _xm_allocTree(nullptr);
  if (tree == nullptr) return nullptr;
  ExecAnswer answer;
  if (!runExecDBL(db, idu->execDBL_RI.req, tree, &answer)) {
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
