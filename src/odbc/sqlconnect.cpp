// Exports of the connect area.
#include "common/qvunicode.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/sqlconnect";
constexpr SQLSMALLINT kConnectOutChars = 16384;  // the longest connect string


// A driver or browse connect of a narrow caller: the wide body writes into
// a zeroed buffer of the longest connect string, which is then narrowed
// into the caller's buffer (a browse step that needs more attributes lists
// them there too).
template <class Body>
SQLRETURN narrowConnect(SQLHDBC dbc, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out, SQLSMALLINT outMax,
                        SQLSMALLINT* outLength, Body body) {
  NarrowIn win(in, inLength);
  if (win.failed()) {
    TR_TRACE(kSrc, htrODBC, 2, "Can't allocate memory for wide-character string");
    return SQL_ERROR;
  }
  SQLWCHAR* wout = QvAllocateWstr(kConnectOutChars + 1);
  if (wout == nullptr) return SQL_ERROR;
  SQLSMALLINT woutLength = 0;
  SQLRETURN rc = body(win.text(), qvClamp16(win.length()), wout, kConnectOutChars, &woutLength);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NEED_DATA) {
    bool cut = false;
    const int64_t whole = qvPutNarrow(wout, -3, out, outMax, &cut);
    if (outLength != nullptr) *outLength = qvClamp16(whole);
    rc = qvCutResult(rc, cut, dbc, nullptr);
  }
  QvReleaseWstr(wout);
  return rc;
}

// A driver or browse connect of a UTF-16 caller: the body writes the whole
// connect string in 4-byte form, which is then converted into the caller's
// buffer.
template <class Body>
SQLRETURN utf16Connect(SQLHDBC dbc, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out, SQLSMALLINT outMax,
                       SQLSMALLINT* outLength, Body body) {
  WideIn win(in, inLength);
  if (win.failed()) return SQL_ERROR;
  if (out == nullptr || outMax <= 0) return body(win.text(), qvClamp16(win.length()), out, outMax, outLength);
  SQLWCHAR* wout = QvAllocateWstr(kConnectOutChars + 1);
  if (wout == nullptr) return SQL_ERROR;
  SQLSMALLINT woutLength = 0;
  SQLRETURN rc = body(win.text(), qvClamp16(win.length()), wout, kConnectOutChars + 1, &woutLength);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NEED_DATA) {
    const WideOut w = QvPutAppWide(wout, -3, out, outMax);
    if (outLength != nullptr) *outLength = qvClamp16(w.units);
    rc = qvCutResult(rc, w.truncated, dbc, nullptr);
  }
  QvReleaseWstr(wout);
  return rc;
}

}  // namespace

SQLRETURN lmoSQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* user, SQLSMALLINT userLength,
                         SQLWCHAR* password, SQLSMALLINT passwordLength) {
  return qvOnDbc(dbc, QV_FN_CONNECT, dbc, dsn, &dsnLength, user, &userLength, password, &passwordLength);
}

SQLRETURN lmoSQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user, SQLSMALLINT userLength,
                        SQLCHAR* password, SQLSMALLINT passwordLength) {
  const unsigned long tid = static_cast<unsigned long>(QvGetThreadId());
  TR_TRACE(kSrc, htrODBC, 32, "[TID = %lX]:SQLConnect called:", tid);
  NarrowIn wdsn(dsn, dsnLength);
  NarrowIn wuser(user, userLength);
  NarrowIn wpassword(password, passwordLength);
  if (wdsn.failed() || wuser.failed() || wpassword.failed()) {
    TR_TRACE(kSrc, htrODBC, 2, "Can't allocate memory for wide-character string");
    return SQL_ERROR;
  }
  const SQLRETURN rc = lmoSQLConnectW(dbc, wdsn.text(), qvClamp16(wdsn.length()), wuser.text(),
                                      qvClamp16(wuser.length()), wpassword.text(), qvClamp16(wpassword.length()));
  TR_TRACE(kSrc, htrODBC, 32, "[TID = %lX]:SQLConnect returns:%s", tid, MapRetCodeToStr(rc));
  return rc;
}

SQLRETURN lmoSQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                               SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
  return qvOnDbc(dbc, QV_FN_DRIVERCONNECT, dbc, window, in, &inLength, out, &outMax, outLength, &completion);
}

SQLRETURN lmoSQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                              SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
  return narrowConnect(dbc, in, inLength, out, outMax, outLength,
                       [&](SQLWCHAR* wi, SQLSMALLINT wl, SQLWCHAR* wo, SQLSMALLINT wm, SQLSMALLINT* wol) {
                         return lmoSQLDriverConnectW(dbc, window, wi, wl, wo, wm, wol, completion);
                       });
}

SQLRETURN lmoSQLBrowseConnectW(SQLHDBC dbc, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out, SQLSMALLINT outMax,
                               SQLSMALLINT* outLength) {
  return qvOnDbc(dbc, QV_FN_BROWSECONNECT, dbc, in, &inLength, out, &outMax, outLength);
}

SQLRETURN lmoSQLBrowseConnect(SQLHDBC dbc, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out, SQLSMALLINT outMax,
                              SQLSMALLINT* outLength) {
  return narrowConnect(dbc, in, inLength, out, outMax, outLength,
                       [&](SQLWCHAR* wi, SQLSMALLINT wl, SQLWCHAR* wo, SQLSMALLINT wm, SQLSMALLINT* wol) {
                         return lmoSQLBrowseConnectW(dbc, wi, wl, wo, wm, wol);
                       });
}

SQLRETURN lmoSQLDisconnect(SQLHDBC dbc) { return qvOnDbc(dbc, QV_FN_DISCONNECT, dbc); }

QV_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                                       SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) {
  return qvExport([&] { return lmoSQLConnect(dbc, dsn, dsnLength, user, userLength, password, passwordLength); });
}

QV_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* user,
                                        SQLSMALLINT userLength, SQLWCHAR* password, SQLSMALLINT passwordLength) {
  return qvExport([&] {
    WideIn wdsn(dsn, dsnLength);
    WideIn wuser(user, userLength);
    WideIn wpassword(password, passwordLength);
    if (wdsn.failed() || wuser.failed() || wpassword.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLConnectW(dbc, wdsn.text(), qvClamp16(wdsn.length()), wuser.text(), qvClamp16(wuser.length()),
                          wpassword.text(), qvClamp16(wpassword.length()));
  });
}

QV_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                             SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                             SQLUSMALLINT completion) {
  return qvExport([&] { return lmoSQLDriverConnect(dbc, window, in, inLength, out, outMax, outLength, completion); });
}

QV_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT inLength,
                                              SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                              SQLUSMALLINT completion) {
  return qvExport([&] {
    if (!QvWideIsUtf16()) return lmoSQLDriverConnectW(dbc, window, in, inLength, out, outMax, outLength, completion);
    return utf16Connect(dbc, in, inLength, out, outMax, outLength,
                        [&](SQLWCHAR* wi, SQLSMALLINT wl, SQLWCHAR* wo, SQLSMALLINT wm, SQLSMALLINT* wol) {
                          return lmoSQLDriverConnectW(dbc, window, wi, wl, wo, wm, wol, completion);
                        });
  });
}

QV_EXPORT SQLRETURN SQL_API SQLBrowseConnect(SQLHDBC dbc, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                             SQLSMALLINT outMax, SQLSMALLINT* outLength) {
  return qvExport([&] { return lmoSQLBrowseConnect(dbc, in, inLength, out, outMax, outLength); });
}

QV_EXPORT SQLRETURN SQL_API SQLBrowseConnectW(SQLHDBC dbc, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                                              SQLSMALLINT outMax, SQLSMALLINT* outLength) {
  return qvExport([&] {
    if (!QvWideIsUtf16()) return lmoSQLBrowseConnectW(dbc, in, inLength, out, outMax, outLength);
    return utf16Connect(dbc, in, inLength, out, outMax, outLength,
                        [&](SQLWCHAR* wi, SQLSMALLINT wl, SQLWCHAR* wo, SQLSMALLINT wm, SQLSMALLINT* wol) {
                          return lmoSQLBrowseConnectW(dbc, wi, wl, wo, wm, wol);
                        });
  });
}

QV_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) { return qvExport([&] { return lmoSQLDisconnect(dbc); }); }
