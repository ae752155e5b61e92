#include "src/odbc/odbcwidebuf.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "common/qvunicode.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmo.h"
#include "src/odbc/odbcwide.h"

namespace {

constexpr int64_t kUnit = 2;  // bytes of a UTF-16 unit
constexpr int64_t kChar = static_cast<int64_t>(sizeof(wchar_t));
constexpr size_t kFirstRead = 4096;  // characters asked of the core at first by SQLGetData

// A bound column: the core fills `buffer`, the application gets it in
// UTF-16 after each fetch.
struct ColShadow {
  SQLUSMALLINT column;
  SQLPOINTER appValue;
  SQLLEN appBufferLength;
  SQLLEN* appIndicator;
  std::vector<wchar_t> buffer;
  SQLLEN indicator = 0;
};

// A bound parameter: the core reads `buffer` (and, for an output
// parameter, writes it).
struct ParamShadow {
  SQLUSMALLINT number;
  SQLSMALLINT ioType;
  SQLSMALLINT sqlType;
  SQLULEN columnSize;
  SQLSMALLINT decimalDigits;
  SQLPOINTER appValue;
  SQLLEN appBufferLength;
  SQLLEN* appIndicator;
  std::vector<wchar_t> buffer;  // never empty: its address is the core's token for data at execution
  SQLLEN indicator = 0;
  uint16_t pendingHigh = 0;  // a high surrogate that ended the last SQLPutData piece
};

// The value SQLGetData hands out in pieces.
struct PieceState {
  bool active = false;
  bool done = false;
  SQLUSMALLINT column = 0;
  uint64_t rowSerial = 0;
  std::vector<uint16_t> units;
  size_t pos = 0;
};

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
bool isHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isOutput(SQLSMALLINT ioType) { return (ioType & 3) == 0; }
bool isLongSqlType(SQLSMALLINT t) { return t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR; }
bool dataAtExec(SQLLEN n) { return n == SQL_DATA_AT_EXEC || n <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

int64_t unitLength(const uint16_t* s) {
  int64_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

struct LmoWideShadows {
  std::vector<std::unique_ptr<ColShadow>> cols;
  std::vector<std::unique_ptr<ParamShadow>> params;
  PieceState piece;
  ParamShadow* putTarget = nullptr;
};

void lmoFreeWideShadows(LmoStmt* stmt) {
  delete stmt->wide;
  stmt->wide = nullptr;
}

namespace {

// The statement of a handle whose wide buffers need shadows: NULL when the
// application's form is the library's own, or the handle is not live (the
// body then answers for it).
LmoStmt* utf16Statement(SQLHSTMT stmt) { return QvWideIsUtf16() ? lmoLiveStmt(stmt) : nullptr; }

LmoWideShadows& shadowsOf(LmoStmt* s) {
  if (s->wide == nullptr) s->wide = new LmoWideShadows;
  return *s->wide;
}

template <class Shadow, class Key>
void dropShadow(std::vector<std::unique_ptr<Shadow>>& list, Key Shadow::*key, Key value) {
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& s) { return (*s).*key == value; }),
             list.end());
}

template <class Shadow, class Key>
void keepShadow(std::vector<std::unique_ptr<Shadow>>& list, Key Shadow::*key, std::unique_ptr<Shadow> shadow) {
  dropShadow(list, key, (*shadow).*key);
  list.push_back(std::move(shadow));
}

// The characters of a 4-byte value the core delivered into `buffer` with
// `indicator` (bytes, SQL_NTS or SQL_NO_TOTAL): how many are there, and
// whether that is the whole value.
void deliveredChars(const std::vector<wchar_t>& buffer, SQLLEN indicator, int64_t* chars, bool* whole) {
  const int64_t room = buffer.empty() ? 0 : static_cast<int64_t>(buffer.size()) - 1;
  if (indicator >= 0) {
    const int64_t all = indicator / kChar;
    *chars = std::min(all, room);
    *whole = all <= room;
  } else {
    *chars = static_cast<int64_t>(wcsnlen(buffer.data(), buffer.size()));
    *whole = indicator == SQL_NTS;
  }
}

// A 4-byte value of the core into the application's UTF-16 buffer and
// indicator; true when the application does not get it whole.
bool deliver(const std::vector<wchar_t>& buffer, SQLLEN indicator, SQLPOINTER appValue, SQLLEN appBufferLength,
             SQLLEN* appIndicator) {
  if (indicator == SQL_NULL_DATA) {
    if (appIndicator != nullptr) *appIndicator = SQL_NULL_DATA;
    return false;
  }
  int64_t chars = 0;
  bool whole = true;
  deliveredChars(buffer, indicator, &chars, &whole);
  const WideOut w = QvPutAppWide(buffer.data(), chars, appValue, appBufferLength > 0 ? appBufferLength / kUnit : 0);
  if (appIndicator != nullptr) *appIndicator = whole ? w.units * kUnit : SQL_NO_TOTAL;
  return w.truncated || !whole;
}

SQLRETURN afterFetch(LmoStmt* s, SQLHSTMT stmt, SQLRETURN rc) {
  if (!ok(rc) || s->wide == nullptr) return rc;
  bool cut = false;
  for (const auto& c : s->wide->cols)
    cut = deliver(c->buffer, c->indicator, c->appValue, c->appBufferLength, c->appIndicator) || cut;
  return qvCutResult(rc, cut, nullptr, stmt);
}

// Output parameters once the client has delivered them.
SQLRETURN outputsBack(LmoStmt* s, SQLHSTMT stmt, SQLRETURN rc) {
  if (s->wide == nullptr) return rc;
  bool cut = false;
  for (const auto& p : s->wide->params)
    if (isOutput(p->ioType))
      cut = deliver(p->buffer, p->indicator, p->appValue, p->appBufferLength, p->appIndicator) || cut;
  return ok(rc) ? qvCutResult(rc, cut, nullptr, stmt) : rc;
}

SQLRETURN bindParamShadow(SQLHSTMT stmt, ParamShadow& p) {
  return lmoSQLBindParameter(stmt, p.number, p.ioType, SQL_C_WCHAR, p.sqlType, p.columnSize, p.decimalDigits,
                             p.buffer.data(), static_cast<SQLLEN>(p.buffer.size()) * kChar, &p.indicator);
}

// The application's current input values, converted for the core.
SQLRETURN prepareParams(LmoStmt* s, SQLHSTMT stmt) {
  if (s->wide == nullptr) return SQL_SUCCESS;
  s->wide->putTarget = nullptr;
  for (const auto& p : s->wide->params) {
    p->pendingHigh = 0;
    if (isOutput(p->ioType)) continue;
    const SQLLEN given = p->appIndicator != nullptr ? *p->appIndicator : SQL_NTS;
    if (dataAtExec(given)) {
      p->indicator = given;
      continue;
    }
    if (given == SQL_NULL_DATA || p->appValue == nullptr) {
      p->indicator = SQL_NULL_DATA;
      continue;
    }
    if (given < 0 && given != SQL_NTS) {
      p->indicator = given;  // the core refuses it
      continue;
    }
    const auto* units = static_cast<const uint16_t*>(p->appValue);
    const int64_t n = given == SQL_NTS ? unitLength(units) : given / kUnit;
    if (n >= INT32_MAX) return SQL_ERROR;
    if (static_cast<int64_t>(p->buffer.size()) < n + 1) {
      p->buffer.assign(static_cast<size_t>(n) + 1, 0);
      const SQLRETURN rc = bindParamShadow(stmt, *p);
      if (!ok(rc)) return rc;
    }
    const int32_t chars =
        n > 0 ? utf16towcs(units, static_cast<int32_t>(n), p->buffer.data(), static_cast<int32_t>(p->buffer.size()))
              : 0;
    p->buffer[static_cast<size_t>(chars)] = L'\0';
    p->indicator = chars * kChar;
  }
  return SQL_SUCCESS;
}

template <class Body>
SQLRETURN runWithParams(SQLHSTMT stmt, Body body) {
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr || s->wide == nullptr || s->wide->params.empty()) return body();
  SQLRETURN rc = prepareParams(s, stmt);
  if (!ok(rc)) return rc;
  rc = body();
  return outputsBack(s, stmt, rc);
}

// Takes the column's whole remaining value from the core in 4-byte form
// into `piece` (*final false); or, for an error, no data or a NULL value,
// the core's answer with *final true (and the application's indicator set
// for a NULL).
SQLRETURN readWhole(SQLHSTMT stmt, SQLUSMALLINT column, PieceState& piece, SQLLEN* appIndicator, bool* final) {
  *final = true;
  std::vector<wchar_t> chars;
  std::vector<wchar_t> buffer(kFirstRead);
  SQLUSMALLINT ask = column;  // a restart the first time only
  for (bool first = true;; first = false) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = lmoSQLGetData(stmt, ask, SQL_C_WCHAR, buffer.data(),
                                       static_cast<SQLLEN>(buffer.size()) * kChar, &indicator);
    const auto signedColumn = static_cast<SQLSMALLINT>(column);
    ask = static_cast<SQLUSMALLINT>(signedColumn < 0 ? -signedColumn : signedColumn);
    if (rc == SQL_NO_DATA && !first) break;  // the client has no more of it
    if (!ok(rc)) return rc;
    if (indicator == SQL_NULL_DATA) {
      if (appIndicator != nullptr) *appIndicator = SQL_NULL_DATA;
      return rc;
    }
    int64_t got = 0;
    bool whole = true;
    deliveredChars(buffer, indicator, &got, &whole);
    chars.insert(chars.end(), buffer.begin(), buffer.begin() + got);
    if (rc == SQL_SUCCESS) break;
    if (got == 0) break;  // no progress: what came is all there is
    // The rest, in one more read when its length is known.
    const int64_t rest = indicator > 0 ? indicator / kChar - got : 0;
    const size_t next = rest > 0 ? static_cast<size_t>(rest) + 1 : buffer.size() * 2;
    if (next > buffer.size()) buffer.assign(next, 0);
  }
  const WideOut w = QvPutAppWide(chars.data(), static_cast<int64_t>(chars.size()), nullptr, 0);
  piece.units.assign(static_cast<size_t>(w.units) + 1, 0);
  QvPutAppWide(chars.data(), static_cast<int64_t>(chars.size()), piece.units.data(),
               static_cast<int64_t>(piece.units.size()));
  piece.units.pop_back();
  piece.pos = 0;
  piece.done = false;
  *final = false;
  return SQL_SUCCESS;
}

// The next piece of the value into the application's buffer.
SQLRETURN handOut(LmoStmt* s, SQLHSTMT stmt, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  PieceState& piece = s->wide->piece;
  if (piece.done) return SQL_NO_DATA;
  const size_t remaining = piece.units.size() - piece.pos;
  const int64_t room = value != nullptr && bufferLength > 0 ? bufferLength / kUnit : 0;
  size_t n = room > 0 ? std::min(remaining, static_cast<size_t>(room - 1)) : 0;
  // A surrogate pair stays whole.
  if (n > 0 && n < remaining && isHigh(piece.units[piece.pos + n - 1])) --n;
  if (room > 0) {
    auto* out = static_cast<uint16_t*>(value);
    std::copy_n(piece.units.begin() + static_cast<std::ptrdiff_t>(piece.pos), n, out);
    out[n] = 0;
  }
  if (indicator != nullptr) *indicator = static_cast<SQLLEN>(remaining) * kUnit;
  piece.pos += n;
  if (n < remaining) return qvCutResult(SQL_SUCCESS, true, nullptr, stmt);
  piece.done = true;
  return SQL_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------------------

SQLRETURN qvAppBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength,
                       SQLLEN* indicator) {
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr) return lmoSQLBindCol(stmt, column, cType, value, bufferLength, indicator);
  if (cType != SQL_C_WCHAR || value == nullptr || bufferLength < 0) {
    const SQLRETURN rc = lmoSQLBindCol(stmt, column, cType, value, bufferLength, indicator);
    if (ok(rc) && s->wide != nullptr) dropShadow(s->wide->cols, &ColShadow::column, column);
    return rc;
  }
  auto c = std::make_unique<ColShadow>();
  c->column = column;
  c->appValue = value;
  c->appBufferLength = bufferLength;
  c->appIndicator = indicator;
  // The same number of characters as the application's buffer has units.
  const int64_t units = bufferLength / kUnit;
  c->buffer.assign(static_cast<size_t>(std::max<int64_t>(units, 1)), 0);
  LmoWideShadows& w = shadowsOf(s);
  const SQLRETURN rc =
      lmoSQLBindCol(stmt, column, SQL_C_WCHAR, c->buffer.data(), units * kChar, &c->indicator);
  if (ok(rc)) keepShadow(w.cols, &ColShadow::column, std::move(c));
  return rc;
}

SQLRETURN qvAppFetch(SQLHSTMT stmt) {
  const SQLRETURN rc = lmoSQLFetch(stmt);
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr) return rc;
  return rc == SQL_NO_DATA ? outputsBack(s, stmt, rc) : afterFetch(s, stmt, rc);
}

SQLRETURN qvAppExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                             SQLUSMALLINT* rowStatus) {
  const SQLRETURN rc = lmoSQLExtendedFetch(stmt, orientation, offset, rowCount, rowStatus);
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr) return rc;
  return rc == SQL_NO_DATA ? outputsBack(s, stmt, rc) : afterFetch(s, stmt, rc);
}

SQLRETURN qvAppGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength,
                       SQLLEN* indicator) {
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr) return lmoSQLGetData(stmt, column, cType, value, bufferLength, indicator);
  const auto signedColumn = static_cast<SQLSMALLINT>(column);
  const auto number = static_cast<SQLUSMALLINT>(signedColumn < 0 ? -signedColumn : signedColumn);
  PieceState* piece = s->wide != nullptr ? &s->wide->piece : nullptr;
  const bool continuing = piece != nullptr && piece->active && signedColumn > 0 && piece->column == number &&
                          piece->rowSerial == s->rowSerial && cType == SQL_C_WCHAR;
  if (piece != nullptr && !continuing) piece->active = false;
  if (cType != SQL_C_WCHAR || bufferLength < 0)
    return lmoSQLGetData(stmt, column, cType, value, bufferLength, indicator);
  if (!continuing) {
    PieceState& p = shadowsOf(s).piece;
    bool final = true;
    const SQLRETURN rc = readWhole(stmt, column, p, indicator, &final);
    if (final) return rc;
    p.active = true;
    p.column = number;
    p.rowSerial = s->rowSerial;
  } else {
    lmoClearErrorList(&s->errors);
  }
  return handOut(s, stmt, value, bufferLength, indicator);
}

SQLRETURN qvAppBindParameter(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType, SQLSMALLINT cType,
                             SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                             SQLLEN bufferLength, SQLLEN* indicator) {
  LmoStmt* s = utf16Statement(stmt);
  const SQLSMALLINT c = qvOdbc2Type(cType);
  if (s == nullptr || c != SQL_C_WCHAR) {
    const SQLRETURN rc = lmoSQLBindParameter(stmt, parameter, ioType, cType, sqlType, columnSize, decimalDigits, value,
                                             bufferLength, indicator);
    if (ok(rc) && s != nullptr && s->wide != nullptr) dropShadow(s->wide->params, &ParamShadow::number, parameter);
    return rc;
  }
  auto p = std::make_unique<ParamShadow>();
  p->number = parameter;
  p->ioType = ioType;
  p->sqlType = sqlType;
  p->columnSize = columnSize;
  p->decimalDigits = decimalDigits;
  p->appValue = value;
  p->appBufferLength = bufferLength;
  p->appIndicator = indicator;
  // An output value has as many characters as the buffer has units; an
  // input one gets room at each execution.
  p->buffer.assign(static_cast<size_t>(std::max<int64_t>(bufferLength / kUnit, 1)), 0);
  LmoWideShadows& w = shadowsOf(s);
  const SQLRETURN rc = bindParamShadow(stmt, *p);
  if (ok(rc)) {
    if (w.putTarget != nullptr && w.putTarget->number == parameter) w.putTarget = nullptr;
    keepShadow(w.params, &ParamShadow::number, std::move(p));
  }
  return rc;
}

SQLRETURN qvAppExecute(SQLHSTMT stmt) {
  return runWithParams(stmt, [&] { return lmoSQLExecute(stmt); });
}

SQLRETURN qvAppExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return runWithParams(stmt, [&] { return lmoSQLExecDirectW(stmt, text, length); });
}

SQLRETURN qvAppExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return runWithParams(stmt, [&] { return lmoSQLExecDirect(stmt, text, length); });
}

SQLRETURN qvAppParamData(SQLHSTMT stmt, SQLPOINTER* value) {
  LmoStmt* s = utf16Statement(stmt);
  if (s == nullptr || s->wide == nullptr) return lmoSQLParamData(stmt, value);
  LmoWideShadows& w = *s->wide;
  // A high surrogate the last piece ended with has no partner: it goes as
  // it is, as in a text converted whole.
  if (w.putTarget != nullptr && w.putTarget->pendingHigh != 0) {
    wchar_t lone = w.putTarget->pendingHigh;
    w.putTarget->pendingHigh = 0;
    const SQLRETURN rc = lmoSQLPutData(stmt, &lone, kChar);
    if (!ok(rc)) return rc;
  }
  w.putTarget = nullptr;
  SQLPOINTER token = nullptr;
  const SQLRETURN rc = lmoSQLParamData(stmt, &token);
  if (rc == SQL_NEED_DATA) {
    for (const auto& p : w.params)
      if (p->buffer.data() == token) {
        w.putTarget = p.get();
        token = p->appValue;
      }
    if (value != nullptr) *value = token;
    return rc;
  }
  return ok(rc) ? outputsBack(s, stmt, rc) : rc;
}

SQLRETURN qvAppPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  LmoStmt* s = utf16Statement(stmt);
  ParamShadow* p = s != nullptr && s->wide != nullptr ? s->wide->putTarget : nullptr;
  if (p == nullptr || data == nullptr || (length < 0 && length != SQL_NTS)) return lmoSQLPutData(stmt, data, length);
  const auto* given = static_cast<const uint16_t*>(data);
  const int64_t n = length == SQL_NTS ? unitLength(given) : length / kUnit;
  if (n >= INT32_MAX - 1) return SQL_ERROR;
  std::vector<uint16_t> units;
  units.reserve(static_cast<size_t>(n) + 1);
  if (p->pendingHigh != 0) units.push_back(p->pendingHigh);
  units.insert(units.end(), given, given + n);
  p->pendingHigh = 0;
  // A piece of a long value may end between the two halves of a pair.
  if (isLongSqlType(p->sqlType) && !units.empty() && isHigh(units.back())) {
    p->pendingHigh = units.back();
    units.pop_back();
    if (units.empty()) {
      lmoClearErrorList(&s->errors);
      return SQL_SUCCESS;
    }
  }
  std::vector<wchar_t> chars(units.size() + 1);
  const int32_t count = units.empty() ? 0
                                      : utf16towcs(units.data(), static_cast<int32_t>(units.size()), chars.data(),
                                                   static_cast<int32_t>(chars.size()));
  chars[static_cast<size_t>(count)] = L'\0';
  return lmoSQLPutData(stmt, chars.data(), static_cast<SQLLEN>(count) * kChar);
}

SQLRETURN qvAppMoreResults(SQLHSTMT stmt) {
  const SQLRETURN rc = lmoSQLMoreResults(stmt);
  LmoStmt* s = utf16Statement(stmt);
  return s != nullptr && rc == SQL_NO_DATA ? outputsBack(s, stmt, rc) : rc;
}

SQLRETURN qvAppFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  LmoStmt* s = lmoLiveStmt(stmt);
  const SQLRETURN rc = lmoSQLFreeStmt(stmt, option);
  // A dropped statement took its shadows with it.
  if (!ok(rc) || s == nullptr || option == SQL_DROP || s->wide == nullptr) return rc;
  if (option == SQL_UNBIND) s->wide->cols.clear();
  if (option == SQL_RESET_PARAMS) {
    s->wide->params.clear();
    s->wide->putTarget = nullptr;
  }
  if (option == SQL_CLOSE) s->wide->piece.active = false;
  return rc;
}
