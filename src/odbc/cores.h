// The core functions of the ODBC layer: what each ODBC call does on the
// driver's records, reached through the numbered dispatch (or directly, for
// the environment-level calls). Wide text is 4-byte wchar_t; every core
// answers -2 for a handle that is not a live record of its kind.
#pragma once

#include <cstdint>
#include <cwchar>

struct LmoEnv;
struct LmoDbc;
struct LmoStmt;

int16_t QVSQLAllocEnv(LmoEnv** out);
int16_t QVSQLFreeEnv(LmoEnv* env);
int16_t QVSQLAllocConnect(LmoEnv* env, LmoDbc** out);
// Allocates a connection on the calling thread's record set.
int16_t QVSQLAllocConnectOnThread(LmoEnv* env, LmoDbc** out);

int16_t QVSQLAllocStmt(LmoDbc* dbc, LmoStmt** out);
int16_t QVSQLBindCol(LmoStmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufferLength,
                     int64_t* indicator);
int16_t QVSQLCancel(LmoStmt* stmt);
int16_t QVSQLColAttributesW(LmoStmt* stmt, uint16_t column, uint16_t attribute, void* text, int16_t bufferLength,
                            int16_t* textLength, int64_t* number);
int16_t QVSQLConnectW(LmoDbc* dbc, wchar_t* dsn, int16_t dsnLength, wchar_t* user, int16_t userLength,
                      wchar_t* password, int16_t passwordLength);
int16_t QVSQLDescribeColW(LmoStmt* stmt, uint16_t column, wchar_t* name, int16_t bufferLength, int16_t* nameLength,
                          int16_t* sqlType, uint64_t* columnSize, int16_t* decimalDigits, int16_t* nullable);
int16_t QVSQLDisconnect(LmoDbc* dbc);
int16_t QVSQLErrorW(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt, wchar_t* sqlState, int32_t* native, wchar_t* message,
                    int16_t messageSize, int16_t* messageLength);
int16_t QVSQLExecDirectW(LmoStmt* stmt, wchar_t* text, int32_t length);
int16_t QVSQLExecute(LmoStmt* stmt);
int16_t QVSQLFetch(LmoStmt* stmt);
int16_t QVSQLFreeConnect(LmoDbc* dbc);
int16_t QVSQLFreeStmt(LmoStmt* stmt, uint16_t option);
int16_t QVSQLGetCursorName(LmoStmt* stmt, char* name, int16_t bufferLength, int16_t* nameLength);
int16_t QVSQLNumResultCols(LmoStmt* stmt, int16_t* columns);
int16_t QVSQLPrepareW(LmoStmt* stmt, wchar_t* text, int32_t length);
// The 8-bit forms the driver's own queries use.
int16_t QVSQLPrepare(LmoStmt* stmt, char* text, int32_t length);
int16_t QVSQLExecDirect(LmoStmt* stmt, char* text, int32_t length);
int16_t QVSQLRowCount(LmoStmt* stmt, int64_t* rows);
int16_t QVSQLSetCursorName(LmoStmt* stmt, char* name, int16_t length);
int16_t QVSQLTransact(LmoEnv* env, LmoDbc* dbc, uint16_t completion);
int16_t QVSQLColumnsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema, int16_t schemaLength,
                      wchar_t* table, int16_t tableLength, wchar_t* column, int16_t columnLength);
int16_t QVSQLGetConnectOption(LmoDbc* dbc, uint16_t option, void* value);
int16_t QVSQLGetData(LmoStmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufferLength,
                     int64_t* indicator);
// QVSQLGetFunctions: src/odbc/lmoinfo.h
int16_t QVSQLGetInfo(LmoDbc* dbc, uint16_t type, void* value, int16_t bufferLength, int16_t* length);
int16_t QVSQLGetStmtOption(LmoStmt* stmt, uint16_t option, void* value);
int16_t QVSQLGetTypeInfoW(LmoStmt* stmt, int16_t sqlType);
int16_t QVSQLParamData(LmoStmt* stmt, void** value);
int16_t QVSQLPutData(LmoStmt* stmt, void* data, int64_t length);
int16_t QVSQLSetConnectOption(LmoDbc* dbc, uint16_t option, uint64_t value);
int16_t QVSQLSetStmtOption(LmoStmt* stmt, uint16_t option, uint64_t value);
int16_t QVSQLSpecialColumnsW(LmoStmt* stmt, uint16_t identifierType, wchar_t* catalog, int16_t catalogLength,
                             wchar_t* schema, int16_t schemaLength, wchar_t* table, int16_t tableLength, uint16_t scope,
                             uint16_t nullable);
int16_t QVSQLStatisticsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                         int16_t schemaLength, wchar_t* table, int16_t tableLength, uint16_t unique,
                         uint16_t reserved);
int16_t QVSQLTablesW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema, int16_t schemaLength,
                     wchar_t* table, int16_t tableLength, wchar_t* tableType, int16_t tableTypeLength);
int16_t QVSQLDriverConnectW(LmoDbc* dbc, void* window, wchar_t* in, int16_t inLength, wchar_t* out, int16_t outMax,
                            int16_t* outLength, uint16_t completion);
int16_t QVSQLDescribeParam(LmoStmt* stmt, uint16_t parameter, int16_t* sqlType, uint64_t* size, int16_t* decimals,
                           int16_t* nullable);
int16_t QVSQLForeignKeysW(LmoStmt* stmt, wchar_t* pkCatalog, int16_t pkCatalogLength, wchar_t* pkSchema,
                          int16_t pkSchemaLength, wchar_t* pkTable, int16_t pkTableLength, wchar_t* fkCatalog,
                          int16_t fkCatalogLength, wchar_t* fkSchema, int16_t fkSchemaLength, wchar_t* fkTable,
                          int16_t fkTableLength);
int16_t QVSQLNumParams(LmoStmt* stmt, int16_t* count);
int16_t QVSQLPrimaryKeysW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                          int16_t schemaLength, wchar_t* table, int16_t tableLength);
int16_t QVSQLProcedureColumnsW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                               int16_t schemaLength, wchar_t* procedure, int16_t procedureLength, wchar_t* column,
                               int16_t columnLength);
int16_t QVSQLProceduresW(LmoStmt* stmt, wchar_t* catalog, int16_t catalogLength, wchar_t* schema,
                         int16_t schemaLength, wchar_t* procedure, int16_t procedureLength);
int16_t QVSQLBindParameter(LmoStmt* stmt, uint16_t parameter, int16_t ioType, int16_t cType, int16_t sqlType,
                           uint64_t columnSize, int16_t decimalDigits, void* value, int64_t bufferLength,
                           int64_t* indicator);
int16_t QVSQLMoreResults(LmoStmt* stmt);
int16_t QVSQLExtendedFetch(LmoStmt* stmt, uint16_t orientation, int64_t offset, uint64_t* rowCount,
                           uint16_t* rowStatus);
int16_t QVSQLBrowseConnectW(LmoDbc* dbc, wchar_t* in, int16_t inLength, wchar_t* out, int16_t outMax,
                            int16_t* outLength);
int16_t QVSQLStartTransaction(LmoDbc* dbc);
int16_t QVSQLParamAttributes(LmoStmt* stmt, uint16_t parameter, int16_t first, int16_t second, int64_t length,
                             int16_t third, void* value, void* indicator);

// Maps an ODBC 2 SQLSTATE onto its ODBC 3 form for a version-3 environment.
void QvMapSqlState(LmoEnv* env, wchar_t* sqlState);
