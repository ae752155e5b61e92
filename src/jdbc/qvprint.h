// Call-trace printers of the JNI natives, one per native (QVPrnt and the
// Java method name): phase 1 on entry with the scalar arguments, 3 with the
// wide-string arguments once the native has converted them, 2 on a normal
// return with the value handed back to Java. The natives call them while
// JDBCTrace is set.
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

// ---- Prepared statements and parameters ----

void QVPrntdoPrepareQuery(int phase, long result, const wchar_t* wsqlstr);
void QVPrntRegisterInputParam(int phase, long result, const char* setter, long parameterIndex, long iCType, long iSqlType, const void* pVal);
void QVPrntregisterOutParameter(int phase, long result, long parameterIndex, long jdbcType, long scale);
void QVPrntclearParameters(int phase, long result);
void QVPrntgetParamInt(int phase, long result, long param);
void QVPrntgetParamShort(int phase, long result, long param);
void QVPrntgetParamFloat(int phase, double result, long param);
void QVPrntgetParamDouble(int phase, double result, long param);
void QVPrntgetParamString(int phase, long result, long param, const wchar_t* text);
void QVPrntgetParamDate(int phase, long result, long param, const DATE_STRUCT* value);
void QVPrntgetParamTime(int phase, long result, long param, const TIME_STRUCT* value);
void QVPrntgetParamTimestamp(int phase, long result, long param, const TIMESTAMP_STRUCT* value);

// ---- Catalog result sets ----

void QVPrntgetTables(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern, const wchar_t* wszTableNamePattern, const wchar_t* wszTypes);
void QVPrntgetColumns(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern, const wchar_t* wszTableNamePattern, const wchar_t* wszColumnNamePattern);
void QVPrntgetProcedures(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern, const wchar_t* wszProcedureNamePattern);
void QVPrntgetProcedureColumns(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchemaPattern, const wchar_t* wszProcedureNamePattern, const wchar_t* wszColumnNamePattern);
void QVPrntgetPrimaryKeys(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetImportedKeys(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetExportedKeys(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetVersionColumns(int phase, long result, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetCrossReference(int phase, long result, const wchar_t* wszPkCatalog, const wchar_t* wszPkSchema, const wchar_t* wszPkTable, const wchar_t* wszFkCatalog, const wchar_t* wszFkSchema, const wchar_t* wszFkTable);
void QVPrntgetIndexInfo(int phase, long result, long unique, long approximate, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetBestRowIdentifier(int phase, long result, long scope, long nullable, const wchar_t* wszCatalog, const wchar_t* wszSchema, const wchar_t* wszTable);
void QVPrntgetTypeInfo(int phase, long result);
void QVPrntgetSchemas(int phase, long result);
void QVPrntgetCatalogs(int phase, long result);
void QVPrntgetTableTypes(int phase, long result);

// ---- Database metadata ----

void QVPrntgetUserName(int phase, const char* result);
void QVPrntgetDatabaseProductName(int phase, const char* result);
void QVPrntgetDatabaseProductVersion(int phase, const char* result);
void QVPrntgetDriverName(int phase, const char* result);
void QVPrntgetDriverVersion(int phase, const char* result);
void QVPrntgetIdentifierQuoteString(int phase, const char* result);
void QVPrntgetSQLKeywords(int phase, const char* result);
void QVPrntgetSearchStringEscape(int phase, const char* result);
void QVPrntgetExtraNameCharacters(int phase, const char* result);
void QVPrntgetSchemaTerm(int phase, const char* result);
void QVPrntgetProcedureTerm(int phase, const char* result);
void QVPrntgetCatalogTerm(int phase, const char* result);
void QVPrntgetCatalogSeparator(int phase, const char* result);
void QVPrntgetURL(int phase, const char* result);
void QVPrntgetNumericFunctions(int phase, const char* result);
void QVPrntgetStringFunctions(int phase, const char* result);
void QVPrntgetSystemFunctions(int phase, const char* result);
void QVPrntgetTimeDateFunctions(int phase, const char* result);
void QVPrntallProceduresAreCallable(int phase, long result);
void QVPrntallTablesAreSelectable(int phase, long result);
void QVPrntsupportsColumnAliasing(int phase, long result);
void QVPrntsupportsExpressionsInOrderBy(int phase, long result);
void QVPrntsupportsOrderByUnrelated(int phase, long result);
void QVPrntsupportsLikeEscapeClause(int phase, long result);
void QVPrntsupportsMultipleResultSets(int phase, long result);
void QVPrntsupportsMultipleTransactions(int phase, long result);
void QVPrntsupportsIntegrityEnhancementFacility(int phase, long result);
void QVPrntsupportsStoredProcedures(int phase, long result);
void QVPrntdoesMaxRowSizeIncludeBlobs(int phase, long result);
void QVPrntsupportsOuterJoins(int phase, long result);
void QVPrntsupportsFullOuterJoins(int phase, long result);
void QVPrntsupportsLimitedOuterJoins(int phase, long result);
void QVPrntgetMaxBinaryLiteralLength(int phase, long result);
void QVPrntgetMaxCharLiteralLength(int phase, long result);
void QVPrntgetMaxColumnNameLength(int phase, long result);
void QVPrntgetMaxColumnsInGroupBy(int phase, long result);
void QVPrntgetMaxColumnsInIndex(int phase, long result);
void QVPrntgetMaxColumnsInOrderBy(int phase, long result);
void QVPrntgetMaxColumnsInSelect(int phase, long result);
void QVPrntgetMaxColumnsInTable(int phase, long result);
void QVPrntgetMaxConnections(int phase, long result);
void QVPrntgetMaxCursorNameLength(int phase, long result);
void QVPrntgetMaxIndexLength(int phase, long result);
void QVPrntgetMaxSchemaNameLength(int phase, long result);
void QVPrntgetMaxProcedureNameLength(int phase, long result);
void QVPrntgetMaxCatalogNameLength(int phase, long result);
void QVPrntgetMaxRowSize(int phase, long result);
void QVPrntgetMaxStatementLength(int phase, long result);
void QVPrntgetMaxStatements(int phase, long result);
void QVPrntgetMaxTableNameLength(int phase, long result);
void QVPrntgetMaxTablesInSelect(int phase, long result);
void QVPrntgetMaxUserNameLength(int phase, long result);
void QVPrntgetDefaultTransactionIsolation(int phase, long result);
void QVPrntnullsAreSortedHigh(int phase, long result);
void QVPrntnullsAreSortedLow(int phase, long result);
void QVPrntnullsAreSortedAtStart(int phase, long result);
void QVPrntnullsAreSortedAtEnd(int phase, long result);
void QVPrntusesLocalFiles(int phase, long result);
void QVPrntusesLocalFilePerTable(int phase, long result);
void QVPrntsupportsMixedCaseIdentifiers(int phase, long result);
void QVPrntstoresUpperCaseIdentifiers(int phase, long result);
void QVPrntstoresLowerCaseIdentifiers(int phase, long result);
void QVPrntstoresMixedCaseIdentifiers(int phase, long result);
void QVPrntsupportsMixedCaseQuotedIdentifiers(int phase, long result);
void QVPrntstoresUpperCaseQuotedIdentifiers(int phase, long result);
void QVPrntstoresLowerCaseQuotedIdentifiers(int phase, long result);
void QVPrntstoresMixedCaseQuotedIdentifiers(int phase, long result);
void QVPrntsupportsAlterTableWithAddColumn(int phase, long result);
void QVPrntsupportsAlterTableWithDropColumn(int phase, long result);
void QVPrntnullPlusNonNullIsNull(int phase, long result);
void QVPrntsupportsConvert(int phase, long result);
void QVPrntsupportsTableCorrelationNames(int phase, long result);
void QVPrntsupportsDifferentTableCorrelationNames(int phase, long result);
void QVPrntsupportsGroupBy(int phase, long result);
void QVPrntsupportsGroupByUnrelated(int phase, long result);
void QVPrntsupportsGroupByBeyondSelect(int phase, long result);
void QVPrntsupportsNonNullableColumns(int phase, long result);
void QVPrntsupportsMinimumSQLGrammar(int phase, long result);
void QVPrntsupportsCoreSQLGrammar(int phase, long result);
void QVPrntsupportsExtendedSQLGrammar(int phase, long result);
void QVPrntsupportsANSI92EntryLevelSQL(int phase, long result);
void QVPrntsupportsANSI92IntermediateSQL(int phase, long result);
void QVPrntsupportsANSI92FullSQL(int phase, long result);
void QVPrntisCatalogAtStart(int phase, long result);
void QVPrntsupportsSchemasInDataManipulation(int phase, long result);
void QVPrntsupportsSchemasInProcedureCalls(int phase, long result);
void QVPrntsupportsSchemasInTableDefinitions(int phase, long result);
void QVPrntsupportsSchemasInIndexDefinitions(int phase, long result);
void QVPrntsupportsSchemasInPrivilegeDefinitions(int phase, long result);
void QVPrntsupportsCatalogsInDataManipulation(int phase, long result);
void QVPrntsupportsCatalogsInProcedureCalls(int phase, long result);
void QVPrntsupportsCatalogsInTableDefinitions(int phase, long result);
void QVPrntsupportsCatalogsInIndexDefinitions(int phase, long result);
void QVPrntsupportsCatalogsInPrivilegeDefinitions(int phase, long result);
void QVPrntsupportsPositionedDelete(int phase, long result);
void QVPrntsupportsPositionedUpdate(int phase, long result);
void QVPrntsupportsSelectForUpdate(int phase, long result);
void QVPrntsupportsSubqueriesInComparisons(int phase, long result);
void QVPrntsupportsSubqueriesInExists(int phase, long result);
void QVPrntsupportsSubqueriesInIns(int phase, long result);
void QVPrntsupportsSubqueriesInQuantifieds(int phase, long result);
void QVPrntsupportsCorrelatedSubqueries(int phase, long result);
void QVPrntsupportsUnion(int phase, long result);
void QVPrntsupportsUnionAll(int phase, long result);
void QVPrntsupportsOpenCursorsAcrossCommit(int phase, long result);
void QVPrntsupportsOpenCursorsAcrossRollback(int phase, long result);
void QVPrntsupportsOpenStatementsAcrossCommit(int phase, long result);
void QVPrntsupportsOpenStatementsAcrossRollback(int phase, long result);
void QVPrntsupportsTransactions(int phase, long result);
void QVPrntsupportsDataManipulationTransactionsOnly(int phase, long result);
void QVPrntsupportsDataDefinitionAndDataManipulationTransactions(int phase, long result);
void QVPrntdataDefinitionIgnoredInTransactions(int phase, long result);
void QVPrntdataDefinitionCausesTransactionCommit(int phase, long result);
void QVPrntgetAutoClose(int phase, long result);
void QVPrntgetDriverMajorVersion(int phase, long result);
void QVPrntgetDriverMinorVersion(int phase, long result);
void QVPrntsupportsTransactionIsolationLevel(int phase, long result, long level);
void QVPrntsupportsSpecificConvert(int phase, long result, long lFromType, long lToType);
