// The bodies of the ODBC 3.51 exports: thin translations of handle types,
// attributes, descriptor fields and SQLSTATEs onto the ODBC 2 bodies of
// exports.h. Wide text is 4-byte wchar_t with byte lengths of 4 per
// character; the exports convert where the application's form differs.
#pragma once

#include "src/odbc/odbcapi.h"

SQLRETURN lmoSQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out);
SQLRETURN lmoSQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN lmoSQLCloseCursor(SQLHSTMT stmt);
SQLRETURN lmoSQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion);
SQLRETURN lmoSQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset);

// The record number is not used: each call returns the next pending
// diagnostic of the handle.
SQLRETURN lmoSQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* sqlState,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength, SQLSMALLINT* textLength);
SQLRETURN lmoSQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* sqlState,
                            SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT bufferLength,
                            SQLSMALLINT* textLength);

SQLRETURN lmoSQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN lmoSQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                           SQLINTEGER* lengthOut);

SQLRETURN lmoSQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN lmoSQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                               SQLINTEGER* lengthOut);
SQLRETURN lmoSQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN lmoSQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                                SQLINTEGER* lengthOut);

// The statement attributes have no text: one body serves both forms.
SQLRETURN lmoSQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN lmoSQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                            SQLINTEGER* lengthOut);

SQLRETURN lmoSQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                             SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
SQLRETURN lmoSQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                              SQLSMALLINT bufferLength, SQLSMALLINT* textLength, SQLLEN* number);
