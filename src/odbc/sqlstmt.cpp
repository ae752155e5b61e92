// Exports of the statement area: prepare, execute, parameters, data at
// execution and cursor names.
#include <algorithm>
#include <cstdlib>

#include "common/qvunicode.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/qvprnt.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/sqlstmt";
constexpr SQLSMALLINT kCursorNameBytes = 200;  // the narrow buffer behind SQLGetCursorNameW
constexpr int32_t kSetCursorNameBytes = 128;



// A narrow SQL text widened for the wide body.
template <class Body>
SQLRETURN narrowSql(SQLCHAR* text, SQLINTEGER length, Body body) {
  NarrowIn wide(text, length);
  if (wide.failed()) {
    TR_TRACE(kSrc, htrODBC, 2, "Can't allocate memory for wide-character SQL string");
    return SQL_ERROR;
  }
  return body(wide.text(), qvClamp32(wide.length()));
}

}  // namespace

SQLRETURN lmoSQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return qvOnStmt(stmt, QV_FN_PREPARE, stmt, text, &length);
}

SQLRETURN lmoSQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return narrowSql(text, length, [&](SQLWCHAR* w, SQLINTEGER l) { return lmoSQLPrepareW(stmt, w, l); });
}

SQLRETURN lmoSQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return qvOnStmt(stmt, QV_FN_EXECDIRECT, stmt, text, &length);
}

SQLRETURN lmoSQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  QVPrntSQLExecDirect(1, SQL_SUCCESS, stmt, text, length);
  const SQLRETURN rc =
      narrowSql(text, length, [&](SQLWCHAR* w, SQLINTEGER l) { return lmoSQLExecDirectW(stmt, w, l); });
  QVPrntSQLExecDirect(2, rc, stmt, text, length);
  return rc;
}

SQLRETURN lmoSQLExecute(SQLHSTMT stmt) { return qvOnStmt(stmt, QV_FN_EXECUTE, stmt); }

SQLRETURN lmoSQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType, SQLSMALLINT cType,
                              SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                              SQLLEN bufferLength, SQLLEN* indicator) {
  cType = qvOdbc2Type(cType);
  sqlType = qvOdbc2Type(sqlType);
  return qvOnStmt(stmt, QV_FN_BINDPARAMETER, stmt, &parameter, &ioType, &cType, &sqlType, &columnSize,
                  &decimalDigits, value, &bufferLength, indicator);
}

SQLRETURN lmoSQLParamData(SQLHSTMT stmt, SQLPOINTER* value) { return qvOnStmt(stmt, QV_FN_PARAMDATA, stmt, value); }

SQLRETURN lmoSQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  return qvOnStmt(stmt, QV_FN_PUTDATA, stmt, data, &length);
}

SQLRETURN lmoSQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) { return qvOnStmt(stmt, QV_FN_NUMPARAMS, stmt, count); }

SQLRETURN lmoSQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT* sqlType, SQLULEN* size,
                              SQLSMALLINT* decimals, SQLSMALLINT* nullable) {
  return qvOnStmt(stmt, QV_FN_DESCRIBEPARAM, stmt, &parameter, sqlType, size, decimals, nullable);
}

SQLRETURN lmoSQLParamAttributes(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT first, SQLSMALLINT second,
                                SQLLEN length, SQLSMALLINT third, SQLPOINTER value, SQLPOINTER indicator) {
  return qvOnStmt(stmt, QV_FN_PARAMATTRIBUTES, stmt, &parameter, &first, &second, &length, &third, value, indicator);
}

SQLRETURN lmoSQLGetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
  return qvOnStmt(stmt, QV_FN_GETCURSORNAME, stmt, name, &bufferLength, nameLength);
}

SQLRETURN lmoSQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
  if (ODBCTrace != 0) QVPrntSQLGetCursorNameW(1, SQL_SUCCESS, stmt, name, bufferLength, nameLength);
  SQLCHAR narrow[kCursorNameBytes] = {0};
  SQLSMALLINT narrowLength = 0;
  // The narrow buffer holds 200 bytes, whatever the caller's size.
  const SQLSMALLINT asked = std::min(bufferLength, kCursorNameBytes);
  SQLRETURN rc = lmoSQLGetCursorName(stmt, narrow, asked, &narrowLength);
  if (qvOk(rc)) {
    wchar_t wide[kCursorNameBytes + 1];
    const int32_t chars = QvWidenText(reinterpret_cast<char*>(narrow), -3, wide, kCursorNameBytes + 1);
    const WideOut w = QvPutWide(wide, chars, name, bufferLength);
    // A name the narrow call had to cut counts whole.
    if (nameLength != nullptr) *nameLength = narrowLength >= asked ? narrowLength : qvClamp16(w.units);
    rc = qvCutResult(rc, w.truncated, nullptr, stmt);
  }
  if (ODBCTrace != 0) QVPrntSQLGetCursorNameW(2, rc, stmt, name, bufferLength, nameLength);
  return rc;
}

SQLRETURN lmoSQLSetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length) {
  return qvOnStmt(stmt, QV_FN_SETCURSORNAME, stmt, name, &length);
}

SQLRETURN lmoSQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length) {
  if (ODBCTrace != 0) QVPrntSQLSetCursorNameW(1, SQL_SUCCESS, stmt, name, length);
  SQLRETURN rc = SQL_ERROR;
  if (name != nullptr && length < 0 && length != SQL_NTS) {
    // Refused by the core; nothing of the name is read.
    rc = lmoSQLSetCursorName(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("")), length);
  } else {
    // A name too long for the buffer goes whole, for the client to refuse,
    // rather than cut to another name.
    char narrow[kSetCursorNameBytes] = {0};
    int32_t spill = 0;
    char* whole = QvSQLCnvrtWideCharToMultiBytes(name, length, narrow, kSetCursorNameBytes, &spill);
    if (whole != nullptr || name == nullptr)
      rc = lmoSQLSetCursorName(stmt, whole != nullptr && whole[0] != '\0' ? reinterpret_cast<SQLCHAR*>(whole) : nullptr,
                               SQL_NTS);
    if (spill != 0) std::free(whole);
  }
  if (ODBCTrace != 0) QVPrntSQLSetCursorNameW(2, rc, stmt, name, length);
  return rc;
}

QV_EXPORT SQLRETURN SQL_API SQLParamAttributes(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT first,
                                               SQLSMALLINT second, SQLLEN length, SQLSMALLINT third, SQLPOINTER value,
                                               SQLPOINTER indicator);

QV_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return qvExport([&] { return lmoSQLPrepare(stmt, text, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return qvExport([&] {
    WideIn w(text, length);
    return w.failed() ? SQLRETURN{SQL_ERROR} : lmoSQLPrepareW(stmt, w.text(), qvClamp32(w.length()));
  });
}
QV_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return qvExport([&] { return qvAppExecDirect(stmt, text, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return qvExport([&] {
    WideIn w(text, length);
    return w.failed() ? SQLRETURN{SQL_ERROR} : qvAppExecDirectW(stmt, w.text(), qvClamp32(w.length()));
  });
}
QV_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) { return qvExport([&] { return qvAppExecute(stmt); }); }
QV_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType,
                                             SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                                             SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength,
                                             SQLLEN* indicator) {
  return qvExport([&] {
    return qvAppBindParameter(stmt, parameter, ioType, cType, sqlType, columnSize, decimalDigits, value,
                              bufferLength, indicator);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT stmt, SQLPOINTER* value) {
  return qvExport([&] { return qvAppParamData(stmt, value); });
}
QV_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  return qvExport([&] { return qvAppPutData(stmt, data, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) {
  return qvExport([&] { return lmoSQLNumParams(stmt, count); });
}
QV_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT* sqlType,
                                             SQLULEN* size, SQLSMALLINT* decimals, SQLSMALLINT* nullable) {
  return qvExport([&] { return lmoSQLDescribeParam(stmt, parameter, sqlType, size, decimals, nullable); });
}
QV_EXPORT SQLRETURN SQL_API SQLParamAttributes(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT first,
                                               SQLSMALLINT second, SQLLEN length, SQLSMALLINT third, SQLPOINTER value,
                                               SQLPOINTER indicator) {
  return qvExport([&] { return lmoSQLParamAttributes(stmt, parameter, first, second, length, third, value, indicator); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength,
                                             SQLSMALLINT* nameLength) {
  return qvExport([&] { return lmoSQLGetCursorName(stmt, name, bufferLength, nameLength); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength,
                                              SQLSMALLINT* nameLength) {
  return qvExport([&] {
    if (!QvWideIsUtf16() || name == nullptr) return lmoSQLGetCursorNameW(stmt, name, bufferLength, nameLength);
    wchar_t whole[kCursorNameBytes + 1];
    SQLSMALLINT wholeLength = 0;
    SQLRETURN rc = lmoSQLGetCursorNameW(stmt, whole, kCursorNameBytes + 1, &wholeLength);
    if (qvOk(rc)) {
      const WideOut w = QvPutAppWide(whole, -3, name, bufferLength);
      if (nameLength != nullptr) *nameLength = qvClamp16(w.units);
      rc = qvCutResult(rc, w.truncated, nullptr, stmt);
    }
    return rc;
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length) {
  return qvExport([&] { return lmoSQLSetCursorName(stmt, name, length); });
}
QV_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length) {
  return qvExport([&] {
    WideIn w(name, length);
    return w.failed() ? SQLRETURN{SQL_ERROR} : lmoSQLSetCursorNameW(stmt, w.text(), qvClamp16(w.length()));
  });
}
