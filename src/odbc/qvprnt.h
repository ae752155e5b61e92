// The ODBC call trace: one printer per traced ODBC function, named QVPrnt
// and the function's name. A printer takes the phase (1: the entry record,
// written before the call does anything; 2: the exit record, with the
// call's result), the result (0 at entry) and the function's own arguments
// in the order and at the widths of its ODBC signature, and writes level-32
// lines on htrODBC. Any other phase writes nothing.
//
// Wide text is the library's 4-byte wchar_t: the printers run inside the
// bodies, after input text was converted from the application's form and
// before output text is converted back, so a record reads the same under
// either driver manager.
//
// The callers run the printers while ODBCTrace is set (SQLExecDirect's
// caller always; the mask then keeps the lines out).
#pragma once

#include <cstdint>

#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcapi.h"

// Environment, connection and transaction functions.
void QVPrntSQLAllocEnv(int phase, SQLRETURN rc, SQLHENV* phenv);
void QVPrntSQLAllocConnect(int phase, SQLRETURN rc, SQLHENV henv, SQLHDBC* phdbc);
void QVPrntSQLAllocStmt(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLHSTMT* phstmt);
void QVPrntSQLAllocHandle(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE input, SQLHANDLE* output);
void QVPrntSQLFreeEnv(int phase, SQLRETURN rc, SQLHENV henv);
void QVPrntSQLFreeConnect(int phase, SQLRETURN rc, SQLHDBC hdbc);
void QVPrntSQLFreeHandle(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);
void QVPrntSQLConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* uid,
                       SQLSMALLINT uidLength, SQLWCHAR* authStr, SQLSMALLINT authStrLength);
void QVPrntSQLDriverConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLHWND window, SQLWCHAR* in,
                             SQLSMALLINT inLength, SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                             SQLUSMALLINT completion);
void QVPrntSQLBrowseConnectW(int phase, SQLRETURN rc, SQLHDBC hdbc, SQLWCHAR* in, SQLSMALLINT inLength,
                             SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength);
void QVPrntSQLDisconnect(int phase, SQLRETURN rc, SQLHDBC hdbc);
void QVPrntSQLTransact(int phase, SQLRETURN rc, SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type);
void QVPrntSQLEndTran(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion);
void QVPrntSQLStartTransaction(int phase, SQLRETURN rc, SQLHDBC hdbc);
void QVPrntSQLSetEnvAttr(int phase, SQLRETURN rc, SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                         SQLINTEGER length);
void QVPrntSQLGetEnvAttr(int phase, SQLRETURN rc, SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                         SQLINTEGER bufferLength, SQLINTEGER* length);
void QVPrntSQLSetConnectAttr(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER length);
void QVPrntSQLSetConnectAttrW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER length);
void QVPrntSQLGetConnectAttr(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER bufferLength, SQLINTEGER* length);
void QVPrntSQLGetConnectAttrW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER bufferLength, SQLINTEGER* length);
void QVPrntSQLSetConnectOption(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
// The value of a text option is 4-byte text here.
void QVPrntSQLSetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
void QVPrntSQLGetConnectOption(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
void QVPrntSQLGetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
void QVPrntSQLGetInfo(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                      SQLSMALLINT bufferLength, SQLSMALLINT* length);
void QVPrntSQLGetInfoW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                       SQLSMALLINT bufferLength, SQLSMALLINT* length);
void QVPrntSQLGetFunctions(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT function, SQLUSMALLINT* exists);

// Statement functions.
void QVPrntSQLPrepare(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
void QVPrntSQLPrepareW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
void QVPrntSQLExecDirect(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
void QVPrntSQLExecDirectW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length);
void QVPrntSQLExecute(int phase, SQLRETURN rc, SQLHSTMT stmt);
void QVPrntSQLCancel(int phase, SQLRETURN rc, SQLHSTMT stmt);
void QVPrntSQLCloseCursor(int phase, SQLRETURN rc, SQLHSTMT stmt);
void QVPrntSQLFetch(int phase, SQLRETURN rc, SQLHSTMT stmt);
void QVPrntSQLMoreResults(int phase, SQLRETURN rc, SQLHSTMT stmt);
void QVPrntSQLExtendedFetch(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT fetchType, SQLLEN row,
                            SQLULEN* rowCount, SQLUSMALLINT* rowStatus);
void QVPrntSQLFetchScroll(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset);
void QVPrntSQLFreeStmt(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option);
void QVPrntSQLSetStmtAttr(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                          SQLINTEGER length);
void QVPrntSQLSetStmtAttrW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER length);
void QVPrntSQLGetStmtAttr(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                          SQLINTEGER bufferLength, SQLINTEGER* length);
void QVPrntSQLGetStmtAttrW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER bufferLength, SQLINTEGER* length);
void QVPrntSQLSetStmtOption(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value);
void QVPrntSQLGetStmtOption(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value);
void QVPrntSQLSetCursorName(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length);
void QVPrntSQLSetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length);
void QVPrntSQLGetCursorName(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufferLength,
                            SQLSMALLINT* nameLength);
void QVPrntSQLGetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength,
                             SQLSMALLINT* nameLength);
void QVPrntSQLNumResultCols(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT* columns);
void QVPrntSQLRowCount(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLLEN* rows);
void QVPrntSQLNumParams(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT* count);
void QVPrntSQLGetTypeInfo(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT sqlType);
void QVPrntSQLGetTypeInfoW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT sqlType);

// Column, parameter and data functions.
void QVPrntSQLBindCol(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                      SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
void QVPrntSQLGetData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                      SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
void QVPrntSQLPutData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLPOINTER data, SQLLEN length);
void QVPrntSQLParamData(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLPOINTER* value);
void QVPrntSQLBindParameter(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT ioType,
                            SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                            SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
void QVPrntSQLDescribeCol(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                          SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                          SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
void QVPrntSQLDescribeColW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                           SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                           SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
void QVPrntSQLDescribeParam(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT* sqlType,
                            SQLULEN* size, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
void QVPrntSQLColAttributes(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                            SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
// Byte counts, as the W function has them.
void QVPrntSQLColAttributesW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                             SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
void QVPrntSQLColAttribute(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                           SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
void QVPrntSQLColAttributeW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                            SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
void QVPrntSQLParamAttributes(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT parameter, SQLSMALLINT descType,
                              SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);

// Catalog functions.
void QVPrntSQLTables(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                     SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                     SQLCHAR* tableType, SQLSMALLINT tableTypeLength);
void QVPrntSQLTablesW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                      SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength,
                      SQLWCHAR* tableType, SQLSMALLINT tableTypeLength);
void QVPrntSQLColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                      SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                      SQLCHAR* column, SQLSMALLINT columnLength);
void QVPrntSQLColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                       SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength,
                       SQLWCHAR* column, SQLSMALLINT columnLength);
void QVPrntSQLStatistics(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                         SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                         SQLUSMALLINT unique, SQLUSMALLINT accuracy);
void QVPrntSQLStatisticsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                          SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength,
                          SQLUSMALLINT unique, SQLUSMALLINT accuracy);
void QVPrntSQLSpecialColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT colType, SQLCHAR* catalog,
                             SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                             SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable);
void QVPrntSQLSpecialColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT colType, SQLWCHAR* catalog,
                              SQLSMALLINT catalogLength, SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table,
                              SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable);
void QVPrntSQLPrimaryKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                          SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength);
void QVPrntSQLPrimaryKeysW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                           SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength);
void QVPrntSQLForeignKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLength,
                          SQLCHAR* pkSchema, SQLSMALLINT pkSchemaLength, SQLCHAR* pkTable, SQLSMALLINT pkTableLength,
                          SQLCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLCHAR* fkSchema,
                          SQLSMALLINT fkSchemaLength, SQLCHAR* fkTable, SQLSMALLINT fkTableLength);
void QVPrntSQLForeignKeysW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* pkCatalog, SQLSMALLINT pkCatalogLength,
                           SQLWCHAR* pkSchema, SQLSMALLINT pkSchemaLength, SQLWCHAR* pkTable,
                           SQLSMALLINT pkTableLength, SQLWCHAR* fkCatalog, SQLSMALLINT fkCatalogLength,
                           SQLWCHAR* fkSchema, SQLSMALLINT fkSchemaLength, SQLWCHAR* fkTable,
                           SQLSMALLINT fkTableLength);
void QVPrntSQLProcedures(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                         SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength);
void QVPrntSQLProceduresW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                          SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* procedure,
                          SQLSMALLINT procedureLength);
void QVPrntSQLProcedureColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                               SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure,
                               SQLSMALLINT procedureLength, SQLCHAR* column, SQLSMALLINT columnLength);
void QVPrntSQLProcedureColumnsW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* catalog,
                                SQLSMALLINT catalogLength, SQLWCHAR* schema, SQLSMALLINT schemaLength,
                                SQLWCHAR* procedure, SQLSMALLINT procedureLength, SQLWCHAR* column,
                                SQLSMALLINT columnLength);

// Diagnostic functions.
void QVPrntSQLGetDiagRec(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT record,
                         SQLCHAR* sqlState, SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT messageSize,
                         SQLSMALLINT* messageLength);
void QVPrntSQLGetDiagRecW(int phase, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT record,
                          SQLWCHAR* sqlState, SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT messageSize,
                          SQLSMALLINT* messageLength);
void QVPrntSQLErrorW(int phase, SQLRETURN rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlState,
                     SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT messageSize, SQLSMALLINT* messageLength);

// The records of a call the numbered dispatch runs: its entry (phase 1) or
// exit record from the call's argument words, on the connection's records
// (where the client's diagnostics of the call are found).
void QvTraceDispatched(int phase, int32_t number, int16_t rc, const uint64_t* words);

// Runs `body` between the entry and exit records of its printer.
template <class Printer, class Body, class... A>
SQLRETURN qvTraced(Printer printer, Body body, A... args) {
  if (ODBCTrace != 0) printer(1, SQL_SUCCESS, args...);
  const SQLRETURN rc = body();
  if (ODBCTrace != 0) printer(2, rc, args...);
  return rc;
}
