// Exports of the information and option area.
#include <cstring>

#include "src/odbc/cores.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/qvprnt.h"

namespace {

constexpr SQLSMALLINT kInfoBytes = 1024;        // the narrow buffer behind SQLGetInfoW
constexpr int32_t kOptionChars = 129;           // the buffer behind a wide text option that is set
// What the core may write for a text option that is read: the database
// name of SQL_CURRENT_QUALIFIER, terminator included.
constexpr int32_t kOptionOutChars = kQvQualifierOutBytes;
constexpr int64_t kAppOptionUnits = 128;        // what a UTF-16 caller's option buffer is taken to hold

}  // namespace

bool qvIsTextInfoType(SQLUSMALLINT type) {
  if ((type >= 16 && type <= 21) || (type >= 36 && type <= 42)) return true;
  switch (type) {
    case 2: case 6: case 7: case 11: case 13: case 14: case 25: case 27: case 29: case 45: case 47: case 73: case 77:
    case 87: case 89: case 90: case 94: case 103: case 111: case 113: case 171: case 8192: case 8194: case 8195:
    case 8196: case 8198: case 10000: case 10002: case 10003: case 10004:
      return true;
    default:
      return false;
  }
}

bool qvIsTextConnectOption(SQLUSMALLINT option) {
  return option == SQL_OPT_TRACEFILE || option == SQL_TRANSLATE_DLL || option == SQL_CURRENT_QUALIFIER;
}

SQLRETURN lmoSQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                        SQLSMALLINT* length) {
  if (dbc != nullptr) return qvOnDbc(dbc, QV_FN_GETINFO, dbc, &type, value, &bufferLength, length);
  return qvTraced(QVPrntSQLGetInfo, [&] {
    QvDriverLock lock;
    return QVSQLGetInfo(nullptr, type, value, bufferLength, length);
  }, dbc, type, value, bufferLength, length);
}

// Byte counts; the text answers are widened from the narrow ones.
SQLRETURN lmoSQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                         SQLSMALLINT* length) {
  if (ODBCTrace != 0) QVPrntSQLGetInfoW(1, SQL_SUCCESS, dbc, type, value, bufferLength, length);
  SQLRETURN rc;
  if (!qvIsTextInfoType(type)) {
    rc = lmoSQLGetInfo(dbc, type, value, bufferLength, length);
  } else {
    char narrow[kInfoBytes] = {0};
    SQLSMALLINT narrowLength = 0;
    rc = lmoSQLGetInfo(dbc, type, narrow, kInfoBytes, &narrowLength);
    if (qvOk(rc)) {
      wchar_t wide[kInfoBytes];
      const int32_t chars = QvWidenText(narrow, -3, wide, kInfoBytes);
      const int64_t units = value != nullptr && bufferLength > 0 ? bufferLength / sizeof(SQLWCHAR) : 0;
      const WideOut w = QvPutWide(wide, chars, value != nullptr ? static_cast<SQLWCHAR*>(value) : nullptr, units);
      // A text the narrow call had to cut counts whole.
      const int64_t whole = narrowLength > static_cast<SQLSMALLINT>(std::strlen(narrow)) ? narrowLength : w.units;
      if (length != nullptr) *length = qvClamp16(whole * static_cast<int64_t>(sizeof(SQLWCHAR)));
      rc = qvCutResult(rc, w.truncated, dbc, nullptr);
    }
  }
  if (ODBCTrace != 0) QVPrntSQLGetInfoW(2, rc, dbc, type, value, bufferLength, length);
  return rc;
}

SQLRETURN lmoSQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  return qvOnDbc(dbc, QV_FN_GETFUNCTIONS, dbc, &id, supported);
}

SQLRETURN lmoSQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return qvOnDbc(dbc, QV_FN_GETCONNECTOPTION, dbc, &option, value);
}

SQLRETURN lmoSQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  if (ODBCTrace != 0) QVPrntSQLGetConnectOptionW(1, SQL_SUCCESS, dbc, option, value);
  SQLRETURN rc;
  if (!qvIsTextConnectOption(option)) {
    rc = lmoSQLGetConnectOption(dbc, option, value);
  } else {
    char narrow[kOptionOutChars] = {0};
    rc = lmoSQLGetConnectOption(dbc, option, narrow);
    if (qvOk(rc) && value != nullptr) QvWidenText(narrow, -3, static_cast<SQLWCHAR*>(value), kOptionOutChars);
  }
  if (ODBCTrace != 0) QVPrntSQLGetConnectOptionW(2, rc, dbc, option, value);
  return rc;
}

SQLRETURN lmoSQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return qvOnDbc(dbc, QV_FN_SETCONNECTOPTION, dbc, &option, &value);
}

SQLRETURN lmoSQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  if (ODBCTrace != 0) QVPrntSQLSetConnectOptionW(1, SQL_SUCCESS, dbc, option, value);
  SQLRETURN rc;
  if (!qvIsTextConnectOption(option)) {
    rc = lmoSQLSetConnectOption(dbc, option, value);
  } else {
    char narrow[kOptionChars] = {0};
    const auto* text = reinterpret_cast<const SQLWCHAR*>(static_cast<uintptr_t>(value));
    QvSQLCnvrtWideCharToMultiBytes(text, SQL_NTS, narrow, kOptionChars, nullptr);
    rc = lmoSQLSetConnectOption(dbc, option, text != nullptr ? reinterpret_cast<uintptr_t>(narrow) : 0);
  }
  if (ODBCTrace != 0) QVPrntSQLSetConnectOptionW(2, rc, dbc, option, value);
  return rc;
}

SQLRETURN lmoSQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  return qvOnStmt(stmt, QV_FN_GETSTMTOPTION, stmt, &option, value);
}

SQLRETURN lmoSQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  return qvOnStmt(stmt, QV_FN_SETSTMTOPTION, stmt, &option, &value);
}

QV_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                                       SQLSMALLINT* length) {
  return qvExport([&] { return lmoSQLGetInfo(dbc, type, value, bufferLength, length); });
}
// Byte counts: UTF-16 units are two bytes each.
QV_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                                        SQLSMALLINT* length) {
  return qvExport([&] {
    if (!QvWideIsUtf16() || !qvIsTextInfoType(type)) return lmoSQLGetInfoW(dbc, type, value, bufferLength, length);
    SQLWCHAR whole[kInfoBytes + 1] = {0};
    SQLSMALLINT wholeBytes = 0;
    SQLRETURN rc = lmoSQLGetInfoW(dbc, type, whole, sizeof whole, &wholeBytes);
    if (qvOk(rc)) {
      const WideOut w = QvPutAppWide(whole, -3, value, bufferLength > 0 ? bufferLength / 2 : 0);
      if (length != nullptr) *length = qvClamp16(w.units * 2);
      rc = qvCutResult(rc, w.truncated, dbc, nullptr);
    }
    return rc;
  });
}
QV_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  return qvExport([&] { return lmoSQLGetFunctions(dbc, id, supported); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return qvExport([&] { return lmoSQLGetConnectOption(dbc, option, value); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return qvExport([&] {
    if (!QvWideIsUtf16() || !qvIsTextConnectOption(option) || value == nullptr)
      return lmoSQLGetConnectOptionW(dbc, option, value);
    SQLWCHAR whole[kOptionOutChars] = {0};
    const SQLRETURN rc = lmoSQLGetConnectOptionW(dbc, option, whole);
    if (qvOk(rc)) QvPutAppWide(whole, -3, value, kAppOptionUnits);
    return rc;
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return qvExport([&] { return lmoSQLSetConnectOption(dbc, option, value); });
}
QV_EXPORT SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return qvExport([&] {
    if (!QvWideIsUtf16() || !qvIsTextConnectOption(option) || value == 0)
      return lmoSQLSetConnectOptionW(dbc, option, value);
    WideIn w(reinterpret_cast<const void*>(static_cast<uintptr_t>(value)), SQL_NTS);
    if (w.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLSetConnectOptionW(dbc, option, reinterpret_cast<uintptr_t>(w.text()));
  });
}
QV_EXPORT SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  return qvExport([&] { return lmoSQLGetStmtOption(stmt, option, value); });
}
QV_EXPORT SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  return qvExport([&] { return lmoSQLSetStmtOption(stmt, option, value); });
}
