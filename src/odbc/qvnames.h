// Names of the ODBC codes in the call trace: handle types, column and
// descriptor fields, connection and statement attributes, 2.x connection
// and statement options, C types, SQL types and information types. Each
// formatter writes one level-32 line on htrODBC for a code: "   " + label
// + "=" + the code's ODBC name, or the kind's fallback line when the code
// has no name here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/odbc/odbcapi.h"

enum class QvNameKind : int32_t {
  HandleType,
  ColAttr,
  ConnectAttr,
  StmtAttr,
  ConnectOption,
  StmtOption,
  CType,
  SqlType,
  InfoType,
};

// The line a formatter writes for `code` (taken at the kind's width) into
// `out`; false when it writes none (an unnamed field identifier).
bool QvNameLine(QvNameKind kind, int64_t code, char* out, size_t size);
// The ODBC name of a code, NULL when it has none (as the line writes it:
// a few names carry a blank or lost a letter).
const char* QvCodeName(QvNameKind kind, int64_t code);

void QVPrntHandleType(SQLSMALLINT type);
void QVPrntColAttrType(SQLUSMALLINT field);
void QVPrntConnectAttr(SQLINTEGER attribute);
void QVPrntStmtAttr(SQLINTEGER attribute);
// These two answer the C type of the option's value: SQL_C_CHAR for the
// text options, SQL_C_ULONG for every other.
SQLSMALLINT QVGetConnectOption(SQLUSMALLINT option);
SQLSMALLINT QVGetStmtOption(SQLUSMALLINT option);
void QVGetCType(SQLSMALLINT type);
void QVGetSQLType(SQLSMALLINT type);
void QVGetInfo(SQLUSMALLINT type);
