// Call-trace printers of the JNI natives, one per native (QVPrnt and the
// Java method name): phase 1 on entry with the scalar arguments, 3 with the
// wide-string arguments once the native has converted them, 2 on a normal
// return with the value handed back to Java. The natives call them while
// JDBCTrace is set.
//
// Minimal version: the printers write nothing until the JDBC call trace is
// built.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/odbc/odbcapi.h"

// Phases of a printer.
inline constexpr int kQvPrntEntry = 1;
inline constexpr int kQvPrntExit = 2;
inline constexpr int kQvPrntStrings = 3;

// ---- Connection natives ----

void QVPrntinitCLI(int phase, long result);
void QVPrntfreeCLI(int phase, long result);
void QVPrntopenConnectionWithProperties(int phase, long result, const wchar_t* wuid, const wchar_t* wpwd,
                                        const wchar_t* wdbs, const wchar_t* wcustomConnStr);
void QVPrntcloseConnection(int phase, long result);
void QVPrntnativeSql(int phase, long result, const wchar_t* wsqlstr, const wchar_t* wretsqlstr);
void QVPrntsetAutoCommit(int phase, long result, long bValue);
void QVPrntgetAutoCommit(int phase, long result);
void QVPrntcommit(int phase, long result);
void QVPrntrollback(int phase, long result);
void QVPrntsetReadOnly(int phase, long result, long bValue);
void QVPrntisReadOnly(int phase, long result);
void QVPrntsetCatalog(int phase, long result, const wchar_t* wCatalog);
void QVPrntgetCatalog(int phase, long result, const wchar_t* wCatalog);
void QVPrntsetTransactionIsolation(int phase, long result, long isolation);
void QVPrntgetTransactionIsolation(int phase, long result);
void QVPrntgetSubProtocol(int phase, const char* result);

// ---- Statement and result-set natives ----

void QVPrntcreateStmt(int phase, long result);
void QVPrntcloseStmt(int phase, long result);
void QVPrntcloseResultSet(int phase, long result);
void QVPrntExecute(int phase, long result, const wchar_t* wsqlstr);
void QVPrntgetRowCount(int phase, long result);
void QVPrntgetUpdateCount(int phase, long result);
void QVPrntgetMoreResults(int phase, long result);
void QVPrntcancel(int phase, long result);
void QVPrntsetCursorName(int phase, long result, const wchar_t* wszName);
void QVPrntgetCursorName(int phase, long result, const wchar_t* wszName);
void QVPrntgetMaxFieldSize(int phase, long result);
void QVPrntsetMaxFieldSize(int phase, long result, long max);
void QVPrntgetMaxRows(int phase, long result);
void QVPrntsetMaxRows(int phase, long result, long max);
void QVPrntgetQueryTimeout(int phase, long result);
void QVPrntsetQueryTimeout(int phase, long result, long x);
void QVPrntsetEscapeProcessing(int phase, long result, long enable);
void QVPrntnext(int phase, long result);
void QVPrntgetColumnCount(int phase, long result);
// Column getters: the numeric ones (family D) show their result, the text
// ones (family E) the wide text they read.
void QVPrntgetInt(int phase, long result, long column);
void QVPrntgetShort(int phase, long result, long column);
void QVPrntgetFloat(int phase, double result, long column);
void QVPrntgetDouble(int phase, double result, long column);
void QVPrntgetBytes(int phase, long bytes, long column);
void QVPrntgetString(int phase, long result, long column, const wchar_t* text);
void QVPrntgetDate(int phase, long result, long column, const DATE_STRUCT* value);
void QVPrntgetTime(int phase, long result, long column, const TIME_STRUCT* value);
void QVPrntgetTimestamp(int phase, long result, long column, const TIMESTAMP_STRUCT* value);
void QVPrntisAutoIncrement(int phase, long result, long column);
void QVPrntisCaseSensitive(int phase, long result, long column);
void QVPrntisSearchable(int phase, long result, long column);
void QVPrntisCurrency(int phase, long result, long column);
void QVPrntisNullable(int phase, long result, long column);
void QVPrntisSigned(int phase, long result, long column);
void QVPrntgetColumnDisplaySize(int phase, long result, long column);
void QVPrntgetPrecision(int phase, long result, long column);
void QVPrntgetScale(int phase, long result, long column);
void QVPrntgetColumnType(int phase, long result, long column);
void QVPrntisColReadOnly(int phase, long result, long column);
void QVPrntisWritable(int phase, long result, long column);
void QVPrntisDefinitelyWritable(int phase, long result, long column);
void QVPrntgetColumnLabel(int phase, long result, long column, const wchar_t* text);
void QVPrntgetColumnName(int phase, long result, long column, const wchar_t* text);
void QVPrntgetSchemaName(int phase, long result, long column, const wchar_t* text);
void QVPrntgetTableName(int phase, long result, long column, const wchar_t* text);
void QVPrntgetColumnTypeName(int phase, long result, long column, const wchar_t* text);
void QVPrntgetCatalogName(int phase, long result, long column, const wchar_t* text);
