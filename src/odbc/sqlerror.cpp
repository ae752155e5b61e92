// Exports of the diagnostics area.
#include "common/qvunicode.h"
#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/qvprnt.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/sqlerror";
constexpr SQLSMALLINT kNarrowMessageChars = 8192;  // the wide buffer behind SQLError
// Room for the longest message and its prefix: a pop cannot be repeated.
constexpr SQLSMALLINT kWholeMessageChars = 4096;



unsigned lowBits(const void* h) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)); }

}  // namespace

SQLRETURN lmoSQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* sqlState, SQLINTEGER* native,
                       SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  LmoEnv* env = lmoLiveEnv(henv);
  LmoDbc* dbc = lmoLiveDbc(hdbc);
  LmoStmt* stmt = lmoLiveStmt(hstmt);
  if ((henv != nullptr && env == nullptr) || (hdbc != nullptr && dbc == nullptr) ||
      (hstmt != nullptr && (stmt == nullptr || lmoLiveDbc(stmt->dbc) == nullptr)))
    return SQL_INVALID_HANDLE;
  LmoTLS* ctx = QvGetWorkingTLS(env, dbc, stmt);
  SQLRETURN rc;
  if (ctx != nullptr) {
    rc = qvDispatch(ctx, QV_FN_ERROR, henv, hdbc, hstmt, sqlState, native, message, &messageSize, messageLength);
  } else if (dbc != nullptr || stmt != nullptr) {
    TR_TRACE(kSrc, htrODBC, 2, "Could not find TLS for %X %s", lowBits(dbc != nullptr ? hdbc : hstmt),
             dbc != nullptr ? "connection" : "stmt");
    return SQL_ERROR;
  } else {
    rc = qvTraced(QVPrntSQLErrorW, [&] {
      QvDriverLock lock;
      return QVSQLErrorW(env, nullptr, nullptr, sqlState, native, message, messageSize, messageLength);
    }, henv, hdbc, hstmt, sqlState, native, message, messageSize, messageLength);
  }
  if (qvOk(rc) && sqlState != nullptr) {
    LmoEnv* owner = env != nullptr ? env : dbc != nullptr ? dbc->env : stmt != nullptr ? stmt->dbc->env : nullptr;
    QvMapSqlState(owner, sqlState);
  }
  return rc;
}

SQLRETURN lmoSQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlState, SQLINTEGER* native,
                      SQLCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  SQLWCHAR state[6] = {0};
  SQLWCHAR* wide = QvAllocateWstr(kNarrowMessageChars);
  if (wide == nullptr) return SQL_ERROR;
  SQLSMALLINT wideLength = 0;
  SQLRETURN rc = lmoSQLErrorW(env, dbc, stmt, state, native, wide, kNarrowMessageChars, &wideLength);
  if (qvOk(rc)) {
    if (sqlState != nullptr) qvPutNarrow(state, -3, sqlState, 6, nullptr);
    bool cut = false;
    const int64_t whole = qvPutNarrow(wide, -3, message, messageSize, &cut);
    if (messageLength != nullptr) *messageLength = qvClamp16(whole);
    // The diagnostic is gone: a cut message is reported by the result only.
    if (cut && rc == SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
    char traceState[6] = {0};
    char* traceMessage = QvWcsToMbs(wide, -3);
    QvNarrowText(state, -3, traceState, sizeof traceState);
    TR_TRACE(kSrc, htrODBC, 64, "SQLError Returns: ErrorMsg(%s), SqlState(%s)",
             traceMessage != nullptr ? traceMessage : "", traceState);
    std::free(traceMessage);
  }
  QvReleaseWstr(wide);
  return rc;
}

QV_EXPORT SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlState, SQLINTEGER* native,
                                     SQLCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  return qvExport([&] { return lmoSQLError(env, dbc, stmt, sqlState, native, message, messageSize, messageLength); });
}

// unixODBC reads diagnostics through SQLErrorW (for narrow applications too)
// until a call fails.
SQLRETURN qvAppErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState, SQLINTEGER* native,
                      SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  if (!QvWideIsUtf16()) return lmoSQLErrorW(env, dbc, stmt, sqlState, native, message, messageSize, messageLength);
  SQLWCHAR state[6] = {0};
  SQLWCHAR* whole = QvAllocateWstr(kWholeMessageChars);
  if (whole == nullptr) return SQLRETURN{SQL_ERROR};
  SQLSMALLINT wholeLength = 0;
  SQLRETURN rc = lmoSQLErrorW(env, dbc, stmt, state, native, whole, kWholeMessageChars, &wholeLength);
  if (qvOk(rc) || rc == SQL_NO_DATA) {
    if (sqlState != nullptr) QvPutAppWide(state, 5, sqlState, 6);
    const WideOut w = QvPutAppWide(whole, -3, message, messageSize);
    if (messageLength != nullptr) *messageLength = qvClamp16(w.units);
    if (w.truncated && message != nullptr && rc == SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
  }
  QvReleaseWstr(whole);
  return rc;
}

QV_EXPORT SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState, SQLINTEGER* native,
                                      SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength) {
  return qvExport([&] { return qvAppErrorW(env, dbc, stmt, sqlState, native, message, messageSize, messageLength); });
}
