// Exports of the result area: binding, fetching and describing columns.
#include <algorithm>

#include "common/qvunicode.h"
#include "src/odbc/exports.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/odbcwidebuf.h"
#include "src/odbc/qvprnt.h"

namespace {

constexpr SQLSMALLINT kNameChars = 129;         // the wide name buffer behind SQLDescribeCol
constexpr SQLSMALLINT kAttributeChars = 128;    // the wide text buffer behind SQLColAttributes
constexpr int64_t kWholeTextChars = 1024;       // room for a whole name or attribute text



// The column attributes whose value is text.
bool textAttribute(SQLUSMALLINT attribute) {
  switch (attribute) {
    case SQL_COLUMN_NAME: case SQL_COLUMN_TYPE_NAME: case SQL_COLUMN_TABLE_NAME: case SQL_COLUMN_OWNER_NAME:
    case SQL_COLUMN_QUALIFIER_NAME: case SQL_COLUMN_LABEL:
      return true;
    default:
      return false;
  }
}

}  // namespace

SQLRETURN lmoSQLBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator) {
  cType = qvOdbc2Type(cType);
  return qvOnStmt(stmt, QV_FN_BINDCOL, stmt, &column, &cType, value, &bufferLength, indicator);
}

SQLRETURN lmoSQLFetch(SQLHSTMT stmt) { return qvOnStmt(stmt, QV_FN_FETCH, stmt); }

SQLRETURN lmoSQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                              SQLUSMALLINT* rowStatus) {
  return qvOnStmt(stmt, QV_FN_EXTENDEDFETCH, stmt, &orientation, &offset, rowCount, rowStatus);
}

SQLRETURN lmoSQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator) {
  cType = qvOdbc2Type(cType);
  return qvOnStmt(stmt, QV_FN_GETDATA, stmt, &column, &cType, value, &bufferLength, indicator);
}

SQLRETURN lmoSQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) {
  return qvOnStmt(stmt, QV_FN_NUMRESULTCOLS, stmt, columns);
}

SQLRETURN lmoSQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name, SQLSMALLINT bufferLength,
                             SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                             SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  return qvOnStmt(stmt, QV_FN_DESCRIBECOL, stmt, &column, name, &bufferLength, nameLength, sqlType, columnSize,
                  decimalDigits, nullable);
}

SQLRETURN lmoSQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                            SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                            SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  if (ODBCTrace != 0)
    QVPrntSQLDescribeCol(1, SQL_SUCCESS, stmt, column, name, bufferLength, nameLength, sqlType, columnSize,
                         decimalDigits, nullable);
  SQLWCHAR wide[kNameChars] = {0};
  SQLSMALLINT wideLength = 0;
  SQLRETURN rc =
      lmoSQLDescribeColW(stmt, column, wide, kNameChars, &wideLength, sqlType, columnSize, decimalDigits, nullable);
  if (qvOk(rc)) {
    bool cut = false;
    const int64_t whole = qvPutNarrow(wide, -3, name, bufferLength, &cut);
    if (nameLength != nullptr) *nameLength = qvClamp16(whole);
    rc = qvCutResult(rc, cut, nullptr, stmt);
  }
  if (ODBCTrace != 0)
    QVPrntSQLDescribeCol(2, rc, stmt, column, name, bufferLength, nameLength, sqlType, columnSize, decimalDigits,
                         nullable);
  return rc;
}

SQLRETURN lmoSQLColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                               SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  return qvOnStmt(stmt, QV_FN_COLATTRIBUTES, stmt, &column, &attribute, text, &bufferLength, textLength, number);
}

SQLRETURN lmoSQLColAttributes(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (ODBCTrace != 0)
    QVPrntSQLColAttributes(1, SQL_SUCCESS, stmt, column, attribute, text, bufferLength, textLength, number);
  SQLWCHAR wide[kAttributeChars] = {0};
  SQLSMALLINT wideLength = 0;
  SQLRETURN rc = lmoSQLColAttributesW(stmt, column, attribute, wide, kAttributeChars * sizeof(SQLWCHAR), &wideLength,
                                      number);
  if (qvOk(rc)) {
    if (textAttribute(attribute)) {
      bool cut = false;
      const int64_t whole = qvPutNarrow(wide, -3, static_cast<SQLCHAR*>(text), bufferLength, &cut);
      if (textLength != nullptr) *textLength = qvClamp16(whole);
      rc = qvCutResult(rc, cut, nullptr, stmt);
    } else if (textLength != nullptr) {
      *textLength = wideLength;
    }
  }
  if (ODBCTrace != 0) QVPrntSQLColAttributes(2, rc, stmt, column, attribute, text, bufferLength, textLength, number);
  return rc;
}

SQLRETURN lmoSQLRowCount(SQLHSTMT stmt, SQLLEN* rows) { return qvOnStmt(stmt, QV_FN_ROWCOUNT, stmt, rows); }

SQLRETURN lmoSQLMoreResults(SQLHSTMT stmt) { return qvOnStmt(stmt, QV_FN_MORERESULTS, stmt); }

QV_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                                       SQLLEN bufferLength, SQLLEN* indicator) {
  return qvExport([&] { return qvAppBindCol(stmt, column, cType, value, bufferLength, indicator); });
}
QV_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) { return qvExport([&] { return qvAppFetch(stmt); }); }
QV_EXPORT SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN offset,
                                             SQLULEN* rowCount, SQLUSMALLINT* rowStatus) {
  return qvExport([&] { return qvAppExtendedFetch(stmt, orientation, offset, rowCount, rowStatus); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                                       SQLLEN bufferLength, SQLLEN* indicator) {
  return qvExport([&] { return qvAppGetData(stmt, column, cType, value, bufferLength, indicator); });
}
QV_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) {
  return qvExport([&] { return lmoSQLNumResultCols(stmt, columns); });
}
QV_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                           SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                                           SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  return qvExport([&] {
    return lmoSQLDescribeCol(stmt, column, name, bufferLength, nameLength, sqlType, columnSize, decimalDigits,
                             nullable);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                                            SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                                            SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  return qvExport([&] {
    if (!QvWideIsUtf16() || name == nullptr)
      return lmoSQLDescribeColW(stmt, column, name, bufferLength, nameLength, sqlType, columnSize, decimalDigits,
                                nullable);
    const int64_t chars = std::max<int64_t>(bufferLength, kWholeTextChars) + 1;
    SQLWCHAR* whole = QvAllocateWstr(chars);
    if (whole == nullptr) return SQLRETURN{SQL_ERROR};
    SQLSMALLINT wholeLength = 0;
    SQLRETURN rc = lmoSQLDescribeColW(stmt, column, whole, qvClamp16(chars), &wholeLength, sqlType, columnSize,
                                      decimalDigits, nullable);
    if (qvOk(rc)) {
      const WideOut w = QvPutAppWide(whole, -3, name, bufferLength);
      if (nameLength != nullptr) *nameLength = qvClamp16(w.units);
      rc = qvCutResult(rc, w.truncated, nullptr, stmt);
    }
    QvReleaseWstr(whole);
    return rc;
  });
}
QV_EXPORT SQLRETURN SQL_API SQLColAttributes(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                                             SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                                             SQLLEN* number) {
  return qvExport([&] { return lmoSQLColAttributes(stmt, column, attribute, text, bufferLength, textLength, number); });
}
SQLRETURN qvAppColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number) {
  if (!QvWideIsUtf16() || text == nullptr || !textAttribute(attribute))
    return lmoSQLColAttributesW(stmt, column, attribute, text, bufferLength, textLength, number);
  const int64_t units = bufferLength > 0 ? bufferLength / 2 : 0;
  const int64_t chars = std::min<int64_t>(std::max<int64_t>(units, kWholeTextChars) + 1, 32767 / sizeof(SQLWCHAR));
  SQLWCHAR* whole = QvAllocateWstr(chars);
  if (whole == nullptr) return SQLRETURN{SQL_ERROR};
  SQLSMALLINT wholeBytes = 0;
  SQLRETURN rc = lmoSQLColAttributesW(stmt, column, attribute, whole, qvClamp16(chars * sizeof(SQLWCHAR)),
                                      &wholeBytes, number);
  if (qvOk(rc)) {
    const WideOut w = QvPutAppWide(whole, -3, text, units);
    if (textLength != nullptr) *textLength = qvClamp16(w.units * 2);
    rc = qvCutResult(rc, w.truncated, nullptr, stmt);
  }
  QvReleaseWstr(whole);
  return rc;
}

// Byte counts: UTF-16 units are two bytes each.
QV_EXPORT SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                                              SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength,
                                              SQLLEN* number) {
  return qvExport([&] { return qvAppColAttributesW(stmt, column, attribute, text, bufferLength, textLength, number); });
}
QV_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* rows) {
  return qvExport([&] { return lmoSQLRowCount(stmt, rows); });
}
QV_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) { return qvExport([&] { return qvAppMoreResults(stmt); }); }
