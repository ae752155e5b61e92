// The JDBC call trace: one printer per native, written on htrJDBC at level
// 32 (no writer prefix). Phase 1 writes the entry header and the scalar
// arguments, phase 3 the wide-string arguments once the native has them, 2
// the exit header with the value handed back to Java. A phase a printer has
// no lines for writes nothing.
#include "src/jdbc/qvprint.h"

#include <initializer_list>
#include <string>

#include "common/qvthread.h"
#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/qvinfo.h"

namespace {

constexpr const char* kSrc = "src/qvprint";

#define JPRNT(...) TR_TRACE(kSrc, htrJDBC, 32, __VA_ARGS__)
#define JPRNTW(...) TR_TRACEW(kSrc, htrJDBC, 32, __VA_ARGS__)

unsigned long tid() { return static_cast<unsigned long>(QvGetThreadId()); }

void enter(const char* method) { JPRNT("[TID = %lX]:%s called", tid(), method); }
void leave(const char* method) { JPRNT("[TID = %lX]:%s returns", tid(), method); }
void leaveWith(const char* method, long result) { JPRNT("[TID = %lX]:%s returns %ld", tid(), method, result); }

// A wide argument line: tab, name, " = ", the whole text (NULL when there
// is none).
void wideArg(const char* name, const wchar_t* text) {
  JPRNTW(L"\t%s = %ls\n", name, text != nullptr ? text : L"NULL");
}

// A text result on its own line after the exit header.
void wideResult(const wchar_t* text) { JPRNTW(L"\t%ls\n", text != nullptr ? text : L"NULL"); }

// A result that Java sees as a boolean is shown as 0 or 1.
long bit(long v) { return v != 0 ? 1 : 0; }

// ---- Families ----

// A: no arguments, no result.
void noResult(const char* method, int phase) {
  if (phase == kQvPrntEntry) enter(method);
  else if (phase == kQvPrntExit) leave(method);
}

// B: no arguments, a number (or a boolean as 0 or 1).
void number(const char* method, int phase, long result) {
  if (phase == kQvPrntEntry) enter(method);
  else if (phase == kQvPrntExit) leaveWith(method, result);
}
void flag(const char* method, int phase, long result) { number(method, phase, bit(result)); }

// C: no arguments, an 8-bit text.
void text8(const char* method, int phase, const char* result) {
  if (phase == kQvPrntEntry) enter(method);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:%s returns %s", tid(), method, result != nullptr ? result : "NULL");
}

void columnEntry(const char* method, long column) {
  enter(method);
  JPRNT("\tcolumn = %ld", column);
}

// D: a column, a number.
void columnNumber(const char* method, int phase, long result, long column) {
  if (phase == kQvPrntEntry) columnEntry(method, column);
  else if (phase == kQvPrntExit) leaveWith(method, result);
}
void columnFlag(const char* method, int phase, long result, long column) {
  columnNumber(method, phase, bit(result), column);
}

// E: a column, a text.
void columnText(const char* method, int phase, long column, const wchar_t* text) {
  if (phase == kQvPrntEntry) {
    columnEntry(method, column);
  } else if (phase == kQvPrntExit) {
    leave(method);
    wideResult(text);
  }
}

// F and G: the fields of a date, a time or a timestamp, one exit line each.
void fields(const char* method, std::initializer_list<long> values) {
  for (long v : values) JPRNT("[TID = %lX]:%s returns %d", tid(), method, static_cast<int>(v));
}
void dateFields(const char* method, const DATE_STRUCT* d) {
  if (d == nullptr) return leave(method);
  fields(method, {d->year, d->month, d->day});
}
void timeFields(const char* method, const TIME_STRUCT* t) {
  if (t == nullptr) return leave(method);
  fields(method, {t->hour, t->minute, t->second});
}
void timestampFields(const char* method, const TIMESTAMP_STRUCT* t) {
  if (t == nullptr) return leave(method);
  fields(method, {t->year, t->month, t->day, t->hour, t->minute, t->second, static_cast<long>(t->fraction)});
}

void paramEntry(const char* method, long param) {
  enter(method);
  JPRNT("\tparam = %ld", param);
}

// H: named scalar arguments.
void scalarEntry(const char* method, const char* name, long value) {
  enter(method);
  JPRNT("\t%s = %ld", name, value);
}
void setter(const char* method, int phase, const char* name, long value) {
  if (phase == kQvPrntEntry) scalarEntry(method, name, value);
  else if (phase == kQvPrntExit) leave(method);
}

// I: one string argument.
void oneString(const char* method, int phase, const char* name, const wchar_t* text) {
  if (phase == kQvPrntEntry) enter(method);
  else if (phase == kQvPrntStrings) wideArg(name, text);
  else if (phase == kQvPrntExit) leave(method);
}

// J: catalog lookups, the patterns at phase 3 and the ODBC return code.
struct Named {
  const char* name;
  const wchar_t* text;
};
void catalog(const char* method, int phase, long result, std::initializer_list<Named> args) {
  if (phase == kQvPrntEntry) {
    enter(method);
  } else if (phase == kQvPrntStrings) {
    for (const Named& a : args) wideArg(a.name, a.text);
  } else if (phase == kQvPrntExit) {
    leaveWith(method, result);
  }
}

// A user name or password is shown as "***" when given.
const wchar_t* hidden(const wchar_t* text) { return text != nullptr ? L"***" : nullptr; }

}  // namespace

// ---- Families A, B, C and the column getters of D and E ----

void QVPrntinitCLI(int phase, long) { noResult("initCLI", phase); }
void QVPrntfreeCLI(int phase, long) { noResult("freeCLI", phase); }
void QVPrntcloseConnection(int phase, long) { noResult("closeConnection", phase); }
void QVPrntgetAutoCommit(int phase, long result) { flag("getAutoCommit", phase, result); }
void QVPrntcommit(int phase, long) { noResult("commit", phase); }
void QVPrntrollback(int phase, long) { noResult("rollback", phase); }
void QVPrntisReadOnly(int phase, long result) { flag("isReadOnly", phase, result); }
void QVPrntgetTransactionIsolation(int phase, long result) { number("getTransactionIsolation", phase, result); }
void QVPrntgetSubProtocol(int phase, const char* result) { text8("getSubProtocol", phase, result); }
void QVPrntcreateStmt(int phase, long) { noResult("createStmt", phase); }
void QVPrntcloseStmt(int phase, long) { noResult("closeStmt", phase); }
void QVPrntcloseResultSet(int phase, long) { noResult("closeResultSet", phase); }
void QVPrntgetRowCount(int phase, long result) { number("getRowCount", phase, result); }
void QVPrntgetUpdateCount(int phase, long result) { number("getUpdateCount", phase, result); }
void QVPrntgetMoreResults(int phase, long result) { flag("getMoreResults", phase, result); }
void QVPrntcancel(int phase, long) { noResult("cancel", phase); }
void QVPrntgetMaxFieldSize(int phase, long result) { number("getMaxFieldSize", phase, result); }
void QVPrntgetMaxRows(int phase, long result) { number("getMaxRows", phase, result); }
void QVPrntgetQueryTimeout(int phase, long result) { number("getQueryTimeout", phase, result); }
void QVPrntnext(int phase, long result) { flag("next", phase, result); }
void QVPrntgetColumnCount(int phase, long result) { number("getColumnCount", phase, result); }
void QVPrntgetInt(int phase, long result, long column) { columnNumber("getInt", phase, result, column); }
void QVPrntgetString(int phase, long, long column, const wchar_t* text) { columnText("getString", phase, column, text); }
void QVPrntisAutoIncrement(int phase, long result, long column) { columnFlag("isAutoIncrement", phase, result, column); }
void QVPrntisCaseSensitive(int phase, long result, long column) { columnFlag("isCaseSensitive", phase, result, column); }
void QVPrntisSearchable(int phase, long result, long column) { columnFlag("isSearchable", phase, result, column); }
void QVPrntisCurrency(int phase, long result, long column) { columnFlag("isCurrency", phase, result, column); }
void QVPrntisNullable(int phase, long result, long column) { columnFlag("isNullable", phase, result, column); }
void QVPrntisSigned(int phase, long result, long column) { columnFlag("isSigned", phase, result, column); }
void QVPrntgetColumnDisplaySize(int phase, long result, long column) { columnNumber("getColumnDisplaySize", phase, result, column); }
void QVPrntgetPrecision(int phase, long result, long column) { columnNumber("getPrecision", phase, result, column); }
void QVPrntgetScale(int phase, long result, long column) { columnNumber("getScale", phase, result, column); }
void QVPrntgetColumnType(int phase, long result, long column) { columnNumber("getColumnType", phase, result, column); }
void QVPrntisColReadOnly(int phase, long result, long column) { columnFlag("isColReadOnly", phase, result, column); }
void QVPrntisWritable(int phase, long result, long column) { columnFlag("isWritable", phase, result, column); }
void QVPrntisDefinitelyWritable(int phase, long result, long column) { columnFlag("isDefinitelyWritable", phase, result, column); }
void QVPrntgetColumnLabel(int phase, long, long column, const wchar_t* text) { columnText("getColumnLabel", phase, column, text); }
void QVPrntgetColumnName(int phase, long, long column, const wchar_t* text) { columnText("getColumnName", phase, column, text); }
void QVPrntgetSchemaName(int phase, long, long column, const wchar_t* text) { columnText("getSchemaName", phase, column, text); }
void QVPrntgetTableName(int phase, long, long column, const wchar_t* text) { columnText("getTableName", phase, column, text); }
void QVPrntgetColumnTypeName(int phase, long, long column, const wchar_t* text) { columnText("getColumnTypeName", phase, column, text); }
void QVPrntgetCatalogName(int phase, long, long column, const wchar_t* text) { columnText("getCatalogName", phase, column, text); }
void QVPrntclearParameters(int phase, long) { noResult("clearParameters", phase); }
void QVPrntgetTypeInfo(int phase, long result) { number("getTypeInfo", phase, result); }
void QVPrntgetSchemas(int phase, long result) { number("getSchemas", phase, result); }
void QVPrntgetCatalogs(int phase, long result) { number("getCatalogs", phase, result); }
void QVPrntgetTableTypes(int phase, long result) { number("getTableTypes", phase, result); }
void QVPrntgetUserName(int phase, const char* result) { text8("getUserName", phase, result); }
void QVPrntgetDatabaseProductName(int phase, const char* result) { text8("getDatabaseProductName", phase, result); }
void QVPrntgetDatabaseProductVersion(int phase, const char* result) { text8("getDatabaseProductVersion", phase, result); }
void QVPrntgetDriverName(int phase, const char* result) { text8("getDriverName", phase, result); }
void QVPrntgetDriverVersion(int phase, const char* result) { text8("getDriverVersion", phase, result); }
void QVPrntgetIdentifierQuoteString(int phase, const char* result) { text8("getIdentifierQuoteString", phase, result); }
void QVPrntgetSQLKeywords(int phase, const char* result) { text8("getSQLKeywords", phase, result); }
void QVPrntgetSearchStringEscape(int phase, const char* result) { text8("getSearchStringEscape", phase, result); }
void QVPrntgetExtraNameCharacters(int phase, const char* result) { text8("getExtraNameCharacters", phase, result); }
void QVPrntgetSchemaTerm(int phase, const char* result) { text8("getSchemaTerm", phase, result); }
void QVPrntgetProcedureTerm(int phase, const char* result) { text8("getProcedureTerm", phase, result); }
void QVPrntgetCatalogTerm(int phase, const char* result) { text8("getCatalogTerm", phase, result); }
void QVPrntgetCatalogSeparator(int phase, const char* result) { text8("getCatalogSeparator", phase, result); }
void QVPrntgetURL(int phase, const char* result) { text8("getURL", phase, result); }
void QVPrntgetNumericFunctions(int phase, const char* result) { text8("getNumericFunctions", phase, result); }
void QVPrntgetStringFunctions(int phase, const char* result) { text8("getStringFunctions", phase, result); }
void QVPrntgetSystemFunctions(int phase, const char* result) { text8("getSystemFunctions", phase, result); }
void QVPrntgetTimeDateFunctions(int phase, const char* result) { text8("getTimeDateFunctions", phase, result); }
void QVPrntallProceduresAreCallable(int phase, long result) { flag("allProceduresAreCallable", phase, result); }
void QVPrntallTablesAreSelectable(int phase, long result) { flag("allTablesAreSelectable", phase, result); }
void QVPrntsupportsColumnAliasing(int phase, long result) { flag("supportsColumnAliasing", phase, result); }
void QVPrntsupportsExpressionsInOrderBy(int phase, long result) { flag("supportsExpressionsInOrderBy", phase, result); }
void QVPrntsupportsOrderByUnrelated(int phase, long result) { flag("supportsOrderByUnrelated", phase, result); }
void QVPrntsupportsLikeEscapeClause(int phase, long result) { flag("supportsLikeEscapeClause", phase, result); }
void QVPrntsupportsMultipleResultSets(int phase, long result) { flag("supportsMultipleResultSets", phase, result); }
void QVPrntsupportsMultipleTransactions(int phase, long result) { flag("supportsMultipleTransactions", phase, result); }
void QVPrntsupportsIntegrityEnhancementFacility(int phase, long result) { flag("supportsIntegrityEnhancementFacility", phase, result); }
void QVPrntsupportsStoredProcedures(int phase, long result) { flag("supportsStoredProcedures", phase, result); }
void QVPrntdoesMaxRowSizeIncludeBlobs(int phase, long result) { flag("doesMaxRowSizeIncludeBlobs", phase, result); }
void QVPrntsupportsOuterJoins(int phase, long result) { flag("supportsOuterJoins", phase, result); }
void QVPrntsupportsFullOuterJoins(int phase, long result) { flag("supportsFullOuterJoins", phase, result); }
void QVPrntsupportsLimitedOuterJoins(int phase, long result) { flag("supportsLimitedOuterJoins", phase, result); }
void QVPrntgetMaxBinaryLiteralLength(int phase, long result) { number("getMaxBinaryLiteralLength", phase, result); }
void QVPrntgetMaxCharLiteralLength(int phase, long result) { number("getMaxCharLiteralLength", phase, result); }
void QVPrntgetMaxColumnNameLength(int phase, long result) { number("getMaxColumnNameLength", phase, result); }
void QVPrntgetMaxColumnsInGroupBy(int phase, long result) { number("getMaxColumnsInGroupBy", phase, result); }
void QVPrntgetMaxColumnsInIndex(int phase, long result) { number("getMaxColumnsInIndex", phase, result); }
void QVPrntgetMaxColumnsInOrderBy(int phase, long result) { number("getMaxColumnsInOrderBy", phase, result); }
void QVPrntgetMaxColumnsInSelect(int phase, long result) { number("getMaxColumnsInSelect", phase, result); }
void QVPrntgetMaxColumnsInTable(int phase, long result) { number("getMaxColumnsInTable", phase, result); }
void QVPrntgetMaxConnections(int phase, long result) { number("getMaxConnections", phase, result); }
void QVPrntgetMaxCursorNameLength(int phase, long result) { number("getMaxCursorNameLength", phase, result); }
void QVPrntgetMaxIndexLength(int phase, long result) { number("getMaxIndexLength", phase, result); }
void QVPrntgetMaxSchemaNameLength(int phase, long result) { number("getMaxSchemaNameLength", phase, result); }
void QVPrntgetMaxProcedureNameLength(int phase, long result) { number("getMaxProcedureNameLength", phase, result); }
void QVPrntgetMaxCatalogNameLength(int phase, long result) { number("getMaxCatalogNameLength", phase, result); }
void QVPrntgetMaxRowSize(int phase, long result) { number("getMaxRowSize", phase, result); }
void QVPrntgetMaxStatementLength(int phase, long result) { number("getMaxStatementLength", phase, result); }
void QVPrntgetMaxStatements(int phase, long result) { number("getMaxStatements", phase, result); }
void QVPrntgetMaxTableNameLength(int phase, long result) { number("getMaxTableNameLength", phase, result); }
void QVPrntgetMaxTablesInSelect(int phase, long result) { number("getMaxTablesInSelect", phase, result); }
void QVPrntgetMaxUserNameLength(int phase, long result) { number("getMaxUserNameLength", phase, result); }
void QVPrntgetDefaultTransactionIsolation(int phase, long result) { number("getDefaultTransactionIsolation", phase, result); }
void QVPrntnullsAreSortedHigh(int phase, long result) { flag("nullsAreSortedHigh", phase, result); }
void QVPrntnullsAreSortedLow(int phase, long result) { flag("nullsAreSortedLow", phase, result); }
void QVPrntnullsAreSortedAtStart(int phase, long result) { flag("nullsAreSortedAtStart", phase, result); }
void QVPrntnullsAreSortedAtEnd(int phase, long result) { flag("nullsAreSortedAtEnd", phase, result); }
void QVPrntusesLocalFiles(int phase, long result) { flag("usesLocalFiles", phase, result); }
void QVPrntusesLocalFilePerTable(int phase, long result) { flag("usesLocalFilePerTable", phase, result); }
void QVPrntsupportsMixedCaseIdentifiers(int phase, long result) { flag("supportsMixedCaseIdentifiers", phase, result); }
void QVPrntstoresUpperCaseIdentifiers(int phase, long result) { flag("storesUpperCaseIdentifiers", phase, result); }
void QVPrntstoresLowerCaseIdentifiers(int phase, long result) { flag("storesLowerCaseIdentifiers", phase, result); }
void QVPrntstoresMixedCaseIdentifiers(int phase, long result) { flag("storesMixedCaseIdentifiers", phase, result); }
void QVPrntsupportsMixedCaseQuotedIdentifiers(int phase, long result) { flag("supportsMixedCaseQuotedIdentifiers", phase, result); }
void QVPrntstoresUpperCaseQuotedIdentifiers(int phase, long result) { flag("storesUpperCaseQuotedIdentifiers", phase, result); }
void QVPrntstoresLowerCaseQuotedIdentifiers(int phase, long result) { flag("storesLowerCaseQuotedIdentifiers", phase, result); }
void QVPrntstoresMixedCaseQuotedIdentifiers(int phase, long result) { flag("storesMixedCaseQuotedIdentifiers", phase, result); }
void QVPrntsupportsAlterTableWithAddColumn(int phase, long result) { flag("supportsAlterTableWithAddColumn", phase, result); }
void QVPrntsupportsAlterTableWithDropColumn(int phase, long result) { flag("supportsAlterTableWithDropColumn", phase, result); }
void QVPrntnullPlusNonNullIsNull(int phase, long result) { flag("nullPlusNonNullIsNull", phase, result); }
void QVPrntsupportsConvert(int phase, long result) { flag("supportsConvert", phase, result); }
void QVPrntsupportsTableCorrelationNames(int phase, long result) { flag("supportsTableCorrelationNames", phase, result); }
void QVPrntsupportsDifferentTableCorrelationNames(int phase, long result) { flag("supportsDifferentTableCorrelationNames", phase, result); }
void QVPrntsupportsGroupBy(int phase, long result) { flag("supportsGroupBy", phase, result); }
void QVPrntsupportsGroupByUnrelated(int phase, long result) { flag("supportsGroupByUnrelated", phase, result); }
void QVPrntsupportsGroupByBeyondSelect(int phase, long result) { flag("supportsGroupByBeyondSelect", phase, result); }
void QVPrntsupportsNonNullableColumns(int phase, long result) { flag("supportsNonNullableColumns", phase, result); }
void QVPrntsupportsMinimumSQLGrammar(int phase, long result) { flag("supportsMinimumSQLGrammar", phase, result); }
void QVPrntsupportsCoreSQLGrammar(int phase, long result) { flag("supportsCoreSQLGrammar", phase, result); }
void QVPrntsupportsExtendedSQLGrammar(int phase, long result) { flag("supportsExtendedSQLGrammar", phase, result); }
void QVPrntsupportsANSI92EntryLevelSQL(int phase, long result) { flag("supportsANSI92EntryLevelSQL", phase, result); }
void QVPrntsupportsANSI92IntermediateSQL(int phase, long result) { flag("supportsANSI92IntermediateSQL", phase, result); }
void QVPrntsupportsANSI92FullSQL(int phase, long result) { flag("supportsANSI92FullSQL", phase, result); }
void QVPrntisCatalogAtStart(int phase, long result) { flag("isCatalogAtStart", phase, result); }
void QVPrntsupportsSchemasInDataManipulation(int phase, long result) { flag("supportsSchemasInDataManipulation", phase, result); }
void QVPrntsupportsSchemasInProcedureCalls(int phase, long result) { flag("supportsSchemasInProcedureCalls", phase, result); }
void QVPrntsupportsSchemasInTableDefinitions(int phase, long result) { flag("supportsSchemasInTableDefinitions", phase, result); }
void QVPrntsupportsSchemasInIndexDefinitions(int phase, long result) { flag("supportsSchemasInIndexDefinitions", phase, result); }
void QVPrntsupportsSchemasInPrivilegeDefinitions(int phase, long result) { flag("supportsSchemasInPrivilegeDefinitions", phase, result); }
void QVPrntsupportsCatalogsInDataManipulation(int phase, long result) { flag("supportsCatalogsInDataManipulation", phase, result); }
void QVPrntsupportsCatalogsInProcedureCalls(int phase, long result) { flag("supportsCatalogsInProcedureCalls", phase, result); }
void QVPrntsupportsCatalogsInTableDefinitions(int phase, long result) { flag("supportsCatalogsInTableDefinitions", phase, result); }
void QVPrntsupportsCatalogsInIndexDefinitions(int phase, long result) { flag("supportsCatalogsInIndexDefinitions", phase, result); }
void QVPrntsupportsCatalogsInPrivilegeDefinitions(int phase, long result) { flag("supportsCatalogsInPrivilegeDefinitions", phase, result); }
void QVPrntsupportsPositionedDelete(int phase, long result) { flag("supportsPositionedDelete", phase, result); }
void QVPrntsupportsPositionedUpdate(int phase, long result) { flag("supportsPositionedUpdate", phase, result); }
void QVPrntsupportsSelectForUpdate(int phase, long result) { flag("supportsSelectForUpdate", phase, result); }
void QVPrntsupportsSubqueriesInComparisons(int phase, long result) { flag("supportsSubqueriesInComparisons", phase, result); }
void QVPrntsupportsSubqueriesInExists(int phase, long result) { flag("supportsSubqueriesInExists", phase, result); }
void QVPrntsupportsSubqueriesInIns(int phase, long result) { flag("supportsSubqueriesInIns", phase, result); }
void QVPrntsupportsSubqueriesInQuantifieds(int phase, long result) { flag("supportsSubqueriesInQuantifieds", phase, result); }
void QVPrntsupportsCorrelatedSubqueries(int phase, long result) { flag("supportsCorrelatedSubqueries", phase, result); }
void QVPrntsupportsUnion(int phase, long result) { flag("supportsUnion", phase, result); }
void QVPrntsupportsUnionAll(int phase, long result) { flag("supportsUnionAll", phase, result); }
void QVPrntsupportsOpenCursorsAcrossCommit(int phase, long result) { flag("supportsOpenCursorsAcrossCommit", phase, result); }
void QVPrntsupportsOpenCursorsAcrossRollback(int phase, long result) { flag("supportsOpenCursorsAcrossRollback", phase, result); }
void QVPrntsupportsOpenStatementsAcrossCommit(int phase, long result) { flag("supportsOpenStatementsAcrossCommit", phase, result); }
void QVPrntsupportsOpenStatementsAcrossRollback(int phase, long result) { flag("supportsOpenStatementsAcrossRollback", phase, result); }
void QVPrntsupportsTransactions(int phase, long result) { flag("supportsTransactions", phase, result); }
void QVPrntsupportsDataManipulationTransactionsOnly(int phase, long result) { flag("supportsDataManipulationTransactionsOnly", phase, result); }
void QVPrntsupportsDataDefinitionAndDataManipulationTransactions(int phase, long result) { flag("supportsDataDefinitionAndDataManipulationTransactions", phase, result); }
void QVPrntdataDefinitionIgnoredInTransactions(int phase, long result) { flag("dataDefinitionIgnoredInTransactions", phase, result); }
void QVPrntdataDefinitionCausesTransactionCommit(int phase, long result) { flag("dataDefinitionCausesTransactionCommit", phase, result); }
void QVPrntgetAutoClose(int phase, long result) { flag("getAutoClose", phase, result); }
void QVPrntgetDriverMajorVersion(int phase, long result) { number("getDriverMajorVersion", phase, result); }
void QVPrntgetDriverMinorVersion(int phase, long result) { number("getDriverMinorVersion", phase, result); }

void QVPrntgetShort(int phase, long result, long column) {
  if (phase == kQvPrntEntry) columnEntry("getShort", column);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getShort returns %hd", tid(), static_cast<short>(result));
}
void QVPrntgetFloat(int phase, double result, long column) {
  if (phase == kQvPrntEntry) columnEntry("getFloat", column);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getFloat returns %.7G", tid(), static_cast<double>(static_cast<float>(result)));
}
void QVPrntgetDouble(int phase, double result, long column) {
  if (phase == kQvPrntEntry) columnEntry("getDouble", column);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getDouble returns %.15G", tid(), result);
}
void QVPrntgetBytes(int phase, long bytes, long column) {
  if (phase == kQvPrntEntry) columnEntry("getBytes", column);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getBytes returns %d bytes", tid(), static_cast<int>(bytes));
}

// ---- F: dates and times of a column ----

void QVPrntgetDate(int phase, long, long column, const DATE_STRUCT* value) {
  if (phase == kQvPrntEntry) columnEntry("getDate", column);
  else if (phase == kQvPrntExit) dateFields("getDate", value);
}
void QVPrntgetTime(int phase, long, long column, const TIME_STRUCT* value) {
  if (phase == kQvPrntEntry) columnEntry("getTime", column);
  else if (phase == kQvPrntExit) timeFields("getTime", value);
}
void QVPrntgetTimestamp(int phase, long, long column, const TIMESTAMP_STRUCT* value) {
  if (phase == kQvPrntEntry) columnEntry("getTimestamp", column);
  else if (phase == kQvPrntExit) timestampFields("getTimestamp", value);
}

// ---- G: output parameters ----

void QVPrntgetParamInt(int phase, long result, long param) {
  if (phase == kQvPrntEntry) paramEntry("getParamInt", param);
  else if (phase == kQvPrntExit) leaveWith("getParamInt", result);
}
void QVPrntgetParamShort(int phase, long result, long param) {
  if (phase == kQvPrntEntry) paramEntry("getParamShort", param);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getParamShort returns %hd", tid(), static_cast<short>(result));
}
void QVPrntgetParamFloat(int phase, double result, long param) {
  if (phase == kQvPrntEntry) paramEntry("getParamFloat", param);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getParamFloat returns %f", tid(), result);
}
void QVPrntgetParamDouble(int phase, double result, long param) {
  if (phase == kQvPrntEntry) paramEntry("getParamDouble", param);
  else if (phase == kQvPrntExit) JPRNT("[TID = %lX]:getParamDouble returns %f", tid(), result);
}
// The parameter's whole text in one wide line.
void QVPrntgetParamString(int phase, long, long param, const wchar_t* text) {
  if (phase == kQvPrntEntry) paramEntry("getParamString", param);
  else if (phase == kQvPrntExit)
    JPRNTW(L" [TID = %lX]:getParamString returns %ls\n", tid(), text != nullptr ? text : L"NULL");
}
void QVPrntgetParamDate(int phase, long, long param, const DATE_STRUCT* value) {
  if (phase == kQvPrntEntry) paramEntry("getParamDate", param);
  else if (phase == kQvPrntExit) dateFields("getParamDate", value);
}
void QVPrntgetParamTime(int phase, long, long param, const TIME_STRUCT* value) {
  if (phase == kQvPrntEntry) paramEntry("getParamTime", param);
  else if (phase == kQvPrntExit) timeFields("getParamTime", value);
}
void QVPrntgetParamTimestamp(int phase, long, long param, const TIMESTAMP_STRUCT* value) {
  if (phase == kQvPrntEntry) paramEntry("getParamTimestamp", param);
  else if (phase == kQvPrntExit) timestampFields("getParamTimestamp", value);
}

// ---- H: scalar arguments ----

void QVPrntsetAutoCommit(int phase, long, long bValue) { setter("setAutoCommit", phase, "bValue", bValue); }
void QVPrntsetReadOnly(int phase, long, long bValue) { setter("setReadOnly", phase, "bValue", bValue); }
void QVPrntsetTransactionIsolation(int phase, long, long isolation) {
  setter("setTransactionIsolation", phase, "isolation", isolation);
}
void QVPrntsetMaxFieldSize(int phase, long, long max) { setter("setMaxFieldSize", phase, "max", max); }
void QVPrntsetMaxRows(int phase, long, long max) { setter("setMaxRows", phase, "max", max); }
void QVPrntsetEscapeProcessing(int phase, long, long enable) { setter("setEscapeProcessing", phase, "enable", enable); }
void QVPrntsetQueryTimeout(int phase, long, long x) { setter("setQueryTimeout", phase, "x", x); }
void QVPrntsupportsTransactionIsolationLevel(int phase, long result, long level) {
  if (phase == kQvPrntEntry) scalarEntry("supportsTransactionIsolationLevel", "level", level);
  else if (phase == kQvPrntExit) leaveWith("supportsTransactionIsolationLevel", bit(result));
}
void QVPrntsupportsSpecificConvert(int phase, long result, long lFromType, long lToType) {
  if (phase == kQvPrntEntry) {
    scalarEntry("supportsSpecificConvert", "lFromType", lFromType);
    JPRNT("\tlToType = %ld", lToType);
  } else if (phase == kQvPrntExit) {
    leaveWith("supportsSpecificConvert", bit(result));
  }
}
void QVPrntregisterOutParameter(int phase, long result, long parameterIndex, long jdbcType, long scale) {
  if (phase == kQvPrntEntry) {
    enter("registerOutParameter");
    JPRNT("\tparameterIndex = %d", static_cast<int>(parameterIndex));
    JPRNT("\tjdbcType = %d", static_cast<int>(jdbcType));
    JPRNT("\tscale = %d", static_cast<int>(scale));
  } else if (phase == kQvPrntExit) {
    leaveWith("registerOutParameter", result);
  }
}
void QVPrntRegisterInputParam(int phase, long result, const char* setter, long parameterIndex, long iCType,
                              long iSqlType, const void* pVal) {
  if (phase == kQvPrntEntry) {
    JPRNT("[TID = %lX]:RegisterInputParam (%s) called", tid(), setter != nullptr ? setter : "");
    JPRNT("\tparameterIndex = %d", static_cast<int>(parameterIndex));
    JPRNT("\tiCType = %d", static_cast<int>(iCType));
    JPRNT("\tiSqlType = %d", static_cast<int>(iSqlType));
    JPRNT("\tpVal = %p", pVal);
  } else if (phase == kQvPrntExit) {
    leaveWith("RegisterInputParam", result);
  }
}

// ---- I: string arguments ----

// The user name and password are shown as "***" when given, and the
// connection string with the values of its user and password keywords
// masked, as the ODBC trace shows them.
void QVPrntopenConnectionWithProperties(int phase, long, const wchar_t* wuid, const wchar_t* wpwd, const wchar_t* wdbs,
                                        const wchar_t* wcustomConnStr) {
  if (phase == kQvPrntEntry) {
    enter("openConnectionWithProperties");
  } else if (phase == kQvPrntStrings) {
    wideArg("wuid", hidden(wuid));
    wideArg("wpwd", hidden(wpwd));
    wideArg("wdbs", wdbs);
    if (wcustomConnStr == nullptr) {
      wideArg("wcustomConnStr", nullptr);
    } else {
      std::wstring masked(wcustomConnStr);
      HideAuthenticationDataForTracingW(masked.data());
      wideArg("wcustomConnStr", masked.c_str());
    }
  } else if (phase == kQvPrntExit) {
    leave("openConnectionWithProperties");
  }
}
void QVPrntExecute(int phase, long result, const wchar_t* wsqlstr) {
  if (phase == kQvPrntExit) leaveWith("Execute", result);
  else oneString("Execute", phase, "wsqlstr", wsqlstr);
}
void QVPrntdoPrepareQuery(int phase, long, const wchar_t* wsqlstr) { oneString("doPrepareQuery", phase, "wsqlstr", wsqlstr); }
void QVPrntnativeSql(int phase, long, const wchar_t* wsqlstr, const wchar_t* wretsqlstr) {
  if (phase == kQvPrntExit) {
    leave("nativeSql");
    wideArg("wretsqlstr", wretsqlstr);
  } else {
    oneString("nativeSql", phase, "wsqlstr", wsqlstr);
  }
}
void QVPrntsetCatalog(int phase, long, const wchar_t* wCatalog) { oneString("setCatalog", phase, "wCatalog", wCatalog); }
void QVPrntgetCatalog(int phase, long, const wchar_t* wCatalog) {
  if (phase == kQvPrntEntry) {
    enter("getCatalog");
  } else if (phase == kQvPrntExit) {
    leave("getCatalog");
    wideArg("wCatalog", wCatalog);
  }
}
void QVPrntsetCursorName(int phase, long, const wchar_t* wszName) { oneString("setCursorName", phase, "wszName", wszName); }
void QVPrntgetCursorName(int phase, long, const wchar_t* wszName) {
  if (phase == kQvPrntEntry) {
    enter("getCursorName");
  } else if (phase == kQvPrntExit) {
    leave("getCursorName");
    wideResult(wszName);
  }
}

// ---- J: catalog lookups ----

void QVPrntgetTables(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern,
                     const wchar_t* wszTableNamePattern, const wchar_t* wszTypes) {
  catalog("getTables", phase, result,
          {{"wszCatalog", wszCatalog}, {"wszSchemaPattern", wszSchemaPattern},
           {"wszTableNamePattern", wszTableNamePattern}, {"wszTypes", wszTypes}});
}
void QVPrntgetColumns(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern,
                      const wchar_t* wszTableNamePattern, const wchar_t* wszColumnNamePattern) {
  catalog("getColumns", phase, result,
          {{"wszCatalog", wszCatalog}, {"wszSchemaPattern", wszSchemaPattern},
           {"wszTableNamePattern", wszTableNamePattern}, {"wszColumnNamePattern", wszColumnNamePattern}});
}
void QVPrntgetProcedures(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern,
                         const wchar_t* wszProcedureNamePattern) {
  catalog("getProcedures", phase, result,
          {{"wszCatalog", wszCatalog}, {"wszSchemaPattern", wszSchemaPattern},
           {"wszProcedureNamePattern", wszProcedureNamePattern}});
}
void QVPrntgetProcedureColumns(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern,
                               const wchar_t* wszProcedureNamePattern, const wchar_t* wszColumnNamePattern) {
  catalog("getProcedureColumns", phase, result,
          {{"wszCatalog", wszCatalog}, {"wszSchemaPattern", wszSchemaPattern},
           {"wszProcedureNamePattern", wszProcedureNamePattern}, {"wszColumnNamePattern", wszColumnNamePattern}});
}

namespace {

void threeNames(const char* method, int phase, long result, const wchar_t* c, const wchar_t* s, const wchar_t* t) {
  catalog(method, phase, result, {{"wszCatalog", c}, {"wszSchema", s}, {"wszTable", t}});
}

}  // namespace

void QVPrntgetPrimaryKeys(int phase, long result, const wchar_t* c, const wchar_t* s, const wchar_t* t) {
  threeNames("getPrimaryKeys", phase, result, c, s, t);
}
void QVPrntgetImportedKeys(int phase, long result, const wchar_t* c, const wchar_t* s, const wchar_t* t) {
  threeNames("getImportedKeys", phase, result, c, s, t);
}
void QVPrntgetExportedKeys(int phase, long result, const wchar_t* c, const wchar_t* s, const wchar_t* t) {
  threeNames("getExportedKeys", phase, result, c, s, t);
}
void QVPrntgetVersionColumns(int phase, long result, const wchar_t* c, const wchar_t* s, const wchar_t* t) {
  threeNames("getVersionColumns", phase, result, c, s, t);
}
void QVPrntgetCrossReference(int phase, long result, const wchar_t* wszPkCatalog, const wchar_t* wszPkSchema,
                             const wchar_t* wszPkTable, const wchar_t* wszFkCatalog, const wchar_t* wszFkSchema,
                             const wchar_t* wszFkTable) {
  catalog("getCrossReference", phase, result,
          {{"wszPkCatalog", wszPkCatalog}, {"wszPkSchema", wszPkSchema}, {"wszPkTable", wszPkTable},
           {"wszFkCatalog", wszFkCatalog}, {"wszFkSchema", wszFkSchema}, {"wszFkTable", wszFkTable}});
}
void QVPrntgetIndexInfo(int phase, long result, long unique, long approximate, const wchar_t* c, const wchar_t* s,
                        const wchar_t* t) {
  if (phase == kQvPrntEntry) {
    scalarEntry("getIndexInfo", "unique", unique);
    JPRNT("\tapproximate = %ld", approximate);
  } else {
    threeNames("getIndexInfo", phase, result, c, s, t);
  }
}
void QVPrntgetBestRowIdentifier(int phase, long result, long scope, long nullable, const wchar_t* c, const wchar_t* s,
                                const wchar_t* t) {
  if (phase == kQvPrntEntry) {
    scalarEntry("getBestRowIdentifier", "scope", scope);
    JPRNT("\tnullable = %ld", nullable);
  } else {
    threeNames("getBestRowIdentifier", phase, result, c, s, t);
  }
}
