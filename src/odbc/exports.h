// What the exported ODBC functions share: the guard every export runs its
// body in, the lookup of a handle's execution context, and the hidden
// bodies behind the exports. Nothing in the library calls an exported name
// (a driver manager's function of the same name may come first in the
// global scope): the narrow bodies, the 3.51 functions and the JNI natives
// call the bodies declared here, whose wide text is 4-byte wchar_t.
#pragma once

#include <cstdint>

#include "common/export.h"
#include "src/odbc/dispatch.h"
#include "src/odbc/lmo.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcapi.h"


// Runs an export's body: -1 before start-up, and no exception leaves it.
template <class F>
SQLRETURN qvExport(F&& body) noexcept {
  if (!QvOdbcAttached()) return SQL_ERROR;
  try {
    return body();
  } catch (...) {
    return SQL_ERROR;
  }
}

// A dispatched call on a connection or on a statement (its connection's
// context): -2 for a handle that is no live record, -1 with a trace line
// when there is no handle or context.
template <class... A>
SQLRETURN qvOnDbc(SQLHDBC hdbc, int32_t number, A*... args);
template <class... A>
SQLRETURN qvOnStmt(SQLHSTMT hstmt, int32_t number, A*... args);

// The context of a live connection or statement; NULL when there is none.
// *rc gets -2 for a handle that is no live record, else -1.
LmoTLS* qvDbcContext(SQLHDBC hdbc, SQLRETURN* rc);
LmoTLS* qvStmtContext(SQLHSTMT hstmt, SQLRETURN* rc);

template <class... A>
SQLRETURN qvOnDbc(SQLHDBC hdbc, int32_t number, A*... args) {
  SQLRETURN rc = SQL_ERROR;
  LmoTLS* ctx = qvDbcContext(hdbc, &rc);
  return ctx != nullptr ? qvDispatch(ctx, number, args...) : rc;
}

template <class... A>
SQLRETURN qvOnStmt(SQLHSTMT hstmt, int32_t number, A*... args) {
  SQLRETURN rc = SQL_ERROR;
  LmoTLS* ctx = qvStmtContext(hstmt, &rc);
  return ctx != nullptr ? qvDispatch(ctx, number, args...) : rc;
}

// Adds 01004 to the list of a live handle (after a text was cut at the
// boundary).
void qvNoteTruncated(SQLHDBC hdbc, SQLHSTMT hstmt);

// A narrow input text widened for the wide body: NULL stays NULL; the
// length is -3 for a terminated text, the widened character count for a
// counted one, and any other negative length as given (the core refuses
// it).
class NarrowIn {
 public:
  NarrowIn(const SQLCHAR* text, int64_t length);
  ~NarrowIn();
  NarrowIn(const NarrowIn&) = delete;
  NarrowIn& operator=(const NarrowIn&) = delete;
  SQLWCHAR* text() const { return text_; }
  int64_t length() const { return length_; }
  bool failed() const { return failed_; }

 private:
  SQLWCHAR* text_ = nullptr;
  int64_t length_ = 0;
  bool failed_ = false;
};

// Narrows a wide text into an application's 8-bit buffer of `size` bytes:
// cut at a character boundary and terminated. The whole text's byte length;
// *cut tells whether a buffer was given and the text did not fit.
int64_t qvPutNarrow(const SQLWCHAR* text, int64_t chars, SQLCHAR* out, int64_t size, bool* cut);

// A text written back to the application was cut: a success becomes one
// with information, and 01004 is added to the live handle's list.
SQLRETURN qvCutResult(SQLRETURN rc, bool cut, SQLHDBC hdbc, SQLHSTMT hstmt);

inline bool qvOk(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

inline SQLSMALLINT qvClamp16(int64_t n) {
  return static_cast<SQLSMALLINT>(n > INT16_MAX ? INT16_MAX : n < INT16_MIN ? INT16_MIN : n);
}
inline SQLINTEGER qvClamp32(int64_t n) {
  return static_cast<SQLINTEGER>(n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : n);
}

// hSerializeMutex around an environment-level call, in both modes.
class QvDriverLock {
 public:
  QvDriverLock() { QvWaitForThreadSafeObject(hSerializeMutex); }
  ~QvDriverLock() { QvReleaseThreadSafeMutex(hSerializeMutex); }
  QvDriverLock(const QvDriverLock&) = delete;
  QvDriverLock& operator=(const QvDriverLock&) = delete;
};

// The ODBC 3 date and time type codes as their 2.x codes.
SQLSMALLINT qvOdbc2Type(SQLSMALLINT type);

// ---- Bodies ----

SQLRETURN lmoSQLAllocEnv(SQLHENV* env);
SQLRETURN lmoSQLAllocConnect(SQLHENV env, SQLHDBC* dbc);
SQLRETURN lmoSQLFreeEnv(SQLHENV env);
SQLRETURN lmoSQLFreeConnect(SQLHDBC dbc);
SQLRETURN lmoSQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt);
SQLRETURN lmoSQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option);
SQLRETURN lmoSQLCancel(SQLHSTMT stmt);
SQLRETURN lmoSQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion);
SQLRETURN lmoSQLStartTransaction(SQLHDBC dbc);

SQLRETURN lmoSQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user, SQLSMALLINT userLength,
                        SQLCHAR* password, SQLSMALLINT passwordLength);
SQLRETURN lmoSQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* user,
                         SQLSMALLINT userLength, SQLWCHAR* password, SQLSMALLINT passwordLength);
SQLRETURN lmoSQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                              SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion);
SQLRETURN lmoSQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                               SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion);
SQLRETURN lmoSQLBrowseConnect(SQLHDBC dbc, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out, SQLSMALLINT outMax,
                              SQLSMALLINT* outLength);
SQLRETURN lmoSQLBrowseConnectW(SQLHDBC dbc, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out, SQLSMALLINT outMax,
                               SQLSMALLINT* outLength);
SQLRETURN lmoSQLDisconnect(SQLHDBC dbc);

SQLRETURN lmoSQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
SQLRETURN lmoSQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
SQLRETURN lmoSQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
SQLRETURN lmoSQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
SQLRETURN lmoSQLExecute(SQLHSTMT stmt);
SQLRETURN lmoSQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType, SQLSMALLINT cType,
                              SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits, SQLPOINTER value,
                              SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN lmoSQLParamData(SQLHSTMT stmt, SQLPOINTER* value);
SQLRETURN lmoSQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
SQLRETURN lmoSQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count);
SQLRETURN lmoSQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT* sqlType, SQLULEN* size,
                              SQLSMALLINT* decimals, SQLSMALLINT* nullable);
SQLRETURN lmoSQLParamAttributes(SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT first, SQLSMALLINT second,
                                SQLLEN length, SQLSMALLINT third, SQLPOINTER value, SQLPOINTER indicator);
SQLRETURN lmoSQLGetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength);
SQLRETURN lmoSQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength);
SQLRETURN lmoSQLSetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length);
SQLRETURN lmoSQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length);

SQLRETURN lmoSQLBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN lmoSQLFetch(SQLHSTMT stmt);
SQLRETURN lmoSQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                              SQLUSMALLINT* rowStatus);
SQLRETURN lmoSQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                        SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN lmoSQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns);
SQLRETURN lmoSQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                            SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                            SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
SQLRETURN lmoSQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name, SQLSMALLINT bufferLength,
                             SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                             SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
SQLRETURN lmoSQLColAttributes(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
SQLRETURN lmoSQLColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                               SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
// The same in the application's wide form (UTF-16 with byte lengths under
// unixODBC).
SQLRETURN qvAppColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
SQLRETURN lmoSQLRowCount(SQLHSTMT stmt, SQLLEN* rows);
SQLRETURN lmoSQLMoreResults(SQLHSTMT stmt);

SQLRETURN lmoSQLColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                        SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* column,
                        SQLSMALLINT columnLength);
SQLRETURN lmoSQLColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                         SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLWCHAR* column,
                         SQLSMALLINT columnLength);
SQLRETURN lmoSQLTables(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                       SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* tableType,
                       SQLSMALLINT tableTypeLength);
SQLRETURN lmoSQLTablesW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                        SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLWCHAR* tableType,
                        SQLSMALLINT tableTypeLength);
SQLRETURN lmoSQLStatistics(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                           SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                           SQLUSMALLINT reserved);
SQLRETURN lmoSQLStatisticsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                            SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                            SQLUSMALLINT reserved);
SQLRETURN lmoSQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLCHAR* catalog,
                               SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                               SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable);
SQLRETURN lmoSQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLWCHAR* catalog,
                                SQLSMALLINT catalogLength, SQLWCHAR* schema, SQLSMALLINT schemaLength,
                                SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable);
SQLRETURN lmoSQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                            SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength);
SQLRETURN lmoSQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                             SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength);
SQLRETURN lmoSQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLength, SQLCHAR* pkSchema,
                            SQLSMALLINT pkSchemaLength, SQLCHAR* pkTable, SQLSMALLINT pkTableLength,
                            SQLCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLCHAR* fkSchema,
                            SQLSMALLINT fkSchemaLength, SQLCHAR* fkTable, SQLSMALLINT fkTableLength);
SQLRETURN lmoSQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR* pkCatalog, SQLSMALLINT pkCatalogLength, SQLWCHAR* pkSchema,
                             SQLSMALLINT pkSchemaLength, SQLWCHAR* pkTable, SQLSMALLINT pkTableLength,
                             SQLWCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLWCHAR* fkSchema,
                             SQLSMALLINT fkSchemaLength, SQLWCHAR* fkTable, SQLSMALLINT fkTableLength);
SQLRETURN lmoSQLProcedures(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                           SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength);
SQLRETURN lmoSQLProceduresW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                            SQLSMALLINT schemaLength, SQLWCHAR* procedure, SQLSMALLINT procedureLength);
SQLRETURN lmoSQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                 SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength,
                                 SQLCHAR* column, SQLSMALLINT columnLength);
SQLRETURN lmoSQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                                  SQLSMALLINT schemaLength, SQLWCHAR* procedure, SQLSMALLINT procedureLength,
                                  SQLWCHAR* column, SQLSMALLINT columnLength);
SQLRETURN lmoSQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT sqlType);
SQLRETURN lmoSQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT sqlType);

SQLRETURN lmoSQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                        SQLSMALLINT* length);
SQLRETURN lmoSQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                         SQLSMALLINT* length);
// Whether an information type's answer is text.
bool qvIsTextInfoType(SQLUSMALLINT type);
SQLRETURN lmoSQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT id, SQLUSMALLINT* supported);
SQLRETURN lmoSQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN lmoSQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN lmoSQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
SQLRETURN lmoSQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
SQLRETURN lmoSQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN lmoSQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value);
// Whether a connection option's value is text (105, 106, 109).
bool qvIsTextConnectOption(SQLUSMALLINT option);

SQLRETURN lmoSQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlState, SQLINTEGER* native,
                      SQLCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength);
SQLRETURN lmoSQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState, SQLINTEGER* native,
                       SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength);
// The same in the application's wide form.
SQLRETURN qvAppErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState, SQLINTEGER* native,
                      SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength);
