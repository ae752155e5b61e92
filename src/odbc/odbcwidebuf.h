// SQL_C_WCHAR buffers at the application boundary.
//
// When unixODBC loaded the library, an application's SQL_C_WCHAR buffers
// (bound columns, SQLGetData, bound parameters, SQLPutData) hold UTF-16 with
// lengths in bytes, while everything behind the bodies works in 4-byte
// wchar_t. The functions here run a body for the application in its own
// form: with 4-byte applications (iODBC, the JNI natives) they are the body
// itself; in UTF-16 mode they put 4-byte shadows between the application's
// buffers and the cores:
//
// - a bound column: the core fills a shadow of the same character capacity,
//   converted into the application's buffer after each fetch that succeeds
//   (indicator in bytes, SQL_NO_TOTAL when a cut value's rest is unknown);
// - SQLGetData: the column's whole remaining value is taken from the core
//   once, converted, and handed out in pieces (cut at character
//   boundaries), 100 after the last; a new row, a restart (negative
//   column) or another column drops it;
// - a bound parameter: at each execution the application's current value is
//   converted and the core's parameter bound to the copy; output values
//   convert back; SQLPutData converts each piece, carrying a high surrogate
//   that ends one over to the next.
//
// The shadows belong to the statement (LmoStmt::wide) and go with an
// unbind, a reset of the parameters or the statement's drop.
#pragma once

#include "src/odbc/odbcapi.h"

struct LmoStmt;

// Frees every shadow of the statement.
void lmoFreeWideShadows(LmoStmt* stmt);

SQLRETURN qvAppBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength,
                       SQLLEN* indicator);
SQLRETURN qvAppFetch(SQLHSTMT stmt);
SQLRETURN qvAppExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                             SQLUSMALLINT* rowStatus);
SQLRETURN qvAppGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength,
                       SQLLEN* indicator);
SQLRETURN qvAppBindParameter(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType, SQLSMALLINT cType,
                             SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                             SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN qvAppExecute(SQLHSTMT stmt);
// The text is the body's (4-byte).
SQLRETURN qvAppExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
SQLRETURN qvAppExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
SQLRETURN qvAppParamData(SQLHSTMT stmt, SQLPOINTER* value);
SQLRETURN qvAppPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
SQLRETURN qvAppMoreResults(SQLHSTMT stmt);
SQLRETURN qvAppFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option);
