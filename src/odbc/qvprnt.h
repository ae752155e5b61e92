// Call-trace printers of the exports that convert between narrow and wide
// text: phase 1 before the call (rc unused), phase 2 after it with its
// result. The callers run them while ODBCTrace is set (SQLExecDirect's
// printer looks at the flag itself).
//
// Minimal version: the printers write nothing until the ODBC call trace is
// built.
#pragma once

#include "src/odbc/odbcapi.h"

void QVPrntSQLColAttributes(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT attribute,
                            SQLPOINTER text, SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
void QVPrntSQLDescribeCol(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                          SQLSMALLINT bufferLength, SQLSMALLINT* nameLength, SQLSMALLINT* sqlType,
                          SQLULEN* columnSize, SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
void QVPrntSQLColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                      SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                      SQLCHAR* column, SQLSMALLINT columnLength);
void QVPrntSQLGetTypeInfo(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT sqlType);
void QVPrntSQLSpecialColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLCHAR* catalog,
                             SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                             SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable);
void QVPrntSQLStatistics(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                         SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                         SQLUSMALLINT unique, SQLUSMALLINT reserved);
void QVPrntSQLTables(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                     SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                     SQLCHAR* tableType, SQLSMALLINT tableTypeLength);
void QVPrntSQLForeignKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLength,
                          SQLCHAR* pkSchema, SQLSMALLINT pkSchemaLength, SQLCHAR* pkTable, SQLSMALLINT pkTableLength,
                          SQLCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLCHAR* fkSchema,
                          SQLSMALLINT fkSchemaLength, SQLCHAR* fkTable, SQLSMALLINT fkTableLength);
void QVPrntSQLPrimaryKeys(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                          SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength);
void QVPrntSQLProcedureColumns(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                               SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure,
                               SQLSMALLINT procedureLength, SQLCHAR* column, SQLSMALLINT columnLength);
void QVPrntSQLProcedures(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                         SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength);
void QVPrntSQLGetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufferLength,
                             SQLSMALLINT* nameLength);
void QVPrntSQLSetCursorNameW(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length);
void QVPrntSQLGetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value);
void QVPrntSQLSetConnectOptionW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value);
void QVPrntSQLGetInfoW(int phase, SQLRETURN rc, SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                       SQLSMALLINT bufferLength, SQLSMALLINT* length);
void QVPrntSQLExecDirect(int phase, SQLRETURN rc, SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length);
