// Minimal version: the printers write nothing until the JDBC call trace is
// built (see qvprint.h).
#include "src/jdbc/qvprint.h"

void QVPrntinitCLI(int, long) {}
void QVPrntfreeCLI(int, long) {}
void QVPrntopenConnectionWithProperties(int, long, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntcloseConnection(int, long) {}
void QVPrntnativeSql(int, long, const wchar_t*, const wchar_t*) {}
void QVPrntsetAutoCommit(int, long, long) {}
void QVPrntgetAutoCommit(int, long) {}
void QVPrntcommit(int, long) {}
void QVPrntrollback(int, long) {}
void QVPrntsetReadOnly(int, long, long) {}
void QVPrntisReadOnly(int, long) {}
void QVPrntsetCatalog(int, long, const wchar_t*) {}
void QVPrntgetCatalog(int, long, const wchar_t*) {}
void QVPrntsetTransactionIsolation(int, long, long) {}
void QVPrntgetTransactionIsolation(int, long) {}
void QVPrntgetSubProtocol(int, const char*) {}
void QVPrntcreateStmt(int, long) {}
void QVPrntcloseStmt(int, long) {}
void QVPrntcloseResultSet(int, long) {}
void QVPrntExecute(int, long, const wchar_t*) {}
void QVPrntgetRowCount(int, long) {}
void QVPrntgetUpdateCount(int, long) {}
void QVPrntgetMoreResults(int, long) {}
void QVPrntcancel(int, long) {}
void QVPrntsetCursorName(int, long, const wchar_t*) {}
void QVPrntgetCursorName(int, long, const wchar_t*) {}
void QVPrntgetMaxFieldSize(int, long) {}
void QVPrntsetMaxFieldSize(int, long, long) {}
void QVPrntgetMaxRows(int, long) {}
void QVPrntsetMaxRows(int, long, long) {}
void QVPrntgetQueryTimeout(int, long) {}
void QVPrntsetQueryTimeout(int, long, long) {}
void QVPrntsetEscapeProcessing(int, long, long) {}
void QVPrntnext(int, long) {}
void QVPrntgetColumnCount(int, long) {}
void QVPrntgetInt(int, long, long) {}
void QVPrntgetShort(int, long, long) {}
void QVPrntgetFloat(int, double, long) {}
void QVPrntgetDouble(int, double, long) {}
void QVPrntgetBytes(int, long, long) {}
void QVPrntgetString(int, long, long, const wchar_t*) {}
void QVPrntgetDate(int, long, long, const DATE_STRUCT*) {}
void QVPrntgetTime(int, long, long, const TIME_STRUCT*) {}
void QVPrntgetTimestamp(int, long, long, const TIMESTAMP_STRUCT*) {}
void QVPrntisAutoIncrement(int, long, long) {}
void QVPrntisCaseSensitive(int, long, long) {}
void QVPrntisSearchable(int, long, long) {}
void QVPrntisCurrency(int, long, long) {}
void QVPrntisNullable(int, long, long) {}
void QVPrntisSigned(int, long, long) {}
void QVPrntgetColumnDisplaySize(int, long, long) {}
void QVPrntgetPrecision(int, long, long) {}
void QVPrntgetScale(int, long, long) {}
void QVPrntgetColumnType(int, long, long) {}
void QVPrntisColReadOnly(int, long, long) {}
void QVPrntisWritable(int, long, long) {}
void QVPrntisDefinitelyWritable(int, long, long) {}
void QVPrntgetColumnLabel(int, long, long, const wchar_t*) {}
void QVPrntgetColumnName(int, long, long, const wchar_t*) {}
void QVPrntgetSchemaName(int, long, long, const wchar_t*) {}
void QVPrntgetTableName(int, long, long, const wchar_t*) {}
void QVPrntgetColumnTypeName(int, long, long, const wchar_t*) {}
void QVPrntgetCatalogName(int, long, long, const wchar_t*) {}
void QVPrntdoPrepareQuery(int, long, const wchar_t*) {}
void QVPrntRegisterInputParam(int, long, const char*, long, long, long, const void*) {}
void QVPrntregisterOutParameter(int, long, long, long, long) {}
void QVPrntclearParameters(int, long) {}
void QVPrntgetParamInt(int, long, long) {}
void QVPrntgetParamShort(int, long, long) {}
void QVPrntgetParamFloat(int, double, long) {}
void QVPrntgetParamDouble(int, double, long) {}
void QVPrntgetParamString(int, long, long, const wchar_t*) {}
void QVPrntgetParamDate(int, long, long, const DATE_STRUCT*) {}
void QVPrntgetParamTime(int, long, long, const TIME_STRUCT*) {}
void QVPrntgetParamTimestamp(int, long, long, const TIMESTAMP_STRUCT*) {}
void QVPrntgetTables(int, long, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetColumns(int, long, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetProcedures(int, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetProcedureColumns(int, long, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetPrimaryKeys(int, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetImportedKeys(int, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetExportedKeys(int, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetVersionColumns(int, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetCrossReference(int, long, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetIndexInfo(int, long, long, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetBestRowIdentifier(int, long, long, long, const wchar_t*, const wchar_t*, const wchar_t*) {}
void QVPrntgetTypeInfo(int, long) {}
void QVPrntgetSchemas(int, long) {}
void QVPrntgetCatalogs(int, long) {}
void QVPrntgetTableTypes(int, long) {}
void QVPrntgetUserName(int, const char*) {}
void QVPrntgetDatabaseProductName(int, const char*) {}
void QVPrntgetDatabaseProductVersion(int, const char*) {}
void QVPrntgetDriverName(int, const char*) {}
void QVPrntgetDriverVersion(int, const char*) {}
void QVPrntgetIdentifierQuoteString(int, const char*) {}
void QVPrntgetSQLKeywords(int, const char*) {}
void QVPrntgetSearchStringEscape(int, const char*) {}
void QVPrntgetExtraNameCharacters(int, const char*) {}
void QVPrntgetSchemaTerm(int, const char*) {}
void QVPrntgetProcedureTerm(int, const char*) {}
void QVPrntgetCatalogTerm(int, const char*) {}
void QVPrntgetCatalogSeparator(int, const char*) {}
void QVPrntgetURL(int, const char*) {}
void QVPrntgetNumericFunctions(int, const char*) {}
void QVPrntgetStringFunctions(int, const char*) {}
void QVPrntgetSystemFunctions(int, const char*) {}
void QVPrntgetTimeDateFunctions(int, const char*) {}
void QVPrntallProceduresAreCallable(int, long) {}
void QVPrntallTablesAreSelectable(int, long) {}
void QVPrntsupportsColumnAliasing(int, long) {}
void QVPrntsupportsExpressionsInOrderBy(int, long) {}
void QVPrntsupportsOrderByUnrelated(int, long) {}
void QVPrntsupportsLikeEscapeClause(int, long) {}
void QVPrntsupportsMultipleResultSets(int, long) {}
void QVPrntsupportsMultipleTransactions(int, long) {}
void QVPrntsupportsIntegrityEnhancementFacility(int, long) {}
void QVPrntsupportsStoredProcedures(int, long) {}
void QVPrntdoesMaxRowSizeIncludeBlobs(int, long) {}
void QVPrntsupportsOuterJoins(int, long) {}
void QVPrntsupportsFullOuterJoins(int, long) {}
void QVPrntsupportsLimitedOuterJoins(int, long) {}
void QVPrntgetMaxBinaryLiteralLength(int, long) {}
void QVPrntgetMaxCharLiteralLength(int, long) {}
void QVPrntgetMaxColumnNameLength(int, long) {}
void QVPrntgetMaxColumnsInGroupBy(int, long) {}
void QVPrntgetMaxColumnsInIndex(int, long) {}
void QVPrntgetMaxColumnsInOrderBy(int, long) {}
void QVPrntgetMaxColumnsInSelect(int, long) {}
void QVPrntgetMaxColumnsInTable(int, long) {}
void QVPrntgetMaxConnections(int, long) {}
void QVPrntgetMaxCursorNameLength(int, long) {}
void QVPrntgetMaxIndexLength(int, long) {}
void QVPrntgetMaxSchemaNameLength(int, long) {}
void QVPrntgetMaxProcedureNameLength(int, long) {}
void QVPrntgetMaxCatalogNameLength(int, long) {}
void QVPrntgetMaxRowSize(int, long) {}
void QVPrntgetMaxStatementLength(int, long) {}
void QVPrntgetMaxStatements(int, long) {}
void QVPrntgetMaxTableNameLength(int, long) {}
void QVPrntgetMaxTablesInSelect(int, long) {}
void QVPrntgetMaxUserNameLength(int, long) {}
void QVPrntgetDefaultTransactionIsolation(int, long) {}
void QVPrntnullsAreSortedHigh(int, long) {}
void QVPrntnullsAreSortedLow(int, long) {}
void QVPrntnullsAreSortedAtStart(int, long) {}
void QVPrntnullsAreSortedAtEnd(int, long) {}
void QVPrntusesLocalFiles(int, long) {}
void QVPrntusesLocalFilePerTable(int, long) {}
void QVPrntsupportsMixedCaseIdentifiers(int, long) {}
void QVPrntstoresUpperCaseIdentifiers(int, long) {}
void QVPrntstoresLowerCaseIdentifiers(int, long) {}
void QVPrntstoresMixedCaseIdentifiers(int, long) {}
void QVPrntsupportsMixedCaseQuotedIdentifiers(int, long) {}
void QVPrntstoresUpperCaseQuotedIdentifiers(int, long) {}
void QVPrntstoresLowerCaseQuotedIdentifiers(int, long) {}
void QVPrntstoresMixedCaseQuotedIdentifiers(int, long) {}
void QVPrntsupportsAlterTableWithAddColumn(int, long) {}
void QVPrntsupportsAlterTableWithDropColumn(int, long) {}
void QVPrntnullPlusNonNullIsNull(int, long) {}
void QVPrntsupportsConvert(int, long) {}
void QVPrntsupportsTableCorrelationNames(int, long) {}
void QVPrntsupportsDifferentTableCorrelationNames(int, long) {}
void QVPrntsupportsGroupBy(int, long) {}
void QVPrntsupportsGroupByUnrelated(int, long) {}
void QVPrntsupportsGroupByBeyondSelect(int, long) {}
void QVPrntsupportsNonNullableColumns(int, long) {}
void QVPrntsupportsMinimumSQLGrammar(int, long) {}
void QVPrntsupportsCoreSQLGrammar(int, long) {}
void QVPrntsupportsExtendedSQLGrammar(int, long) {}
void QVPrntsupportsANSI92EntryLevelSQL(int, long) {}
void QVPrntsupportsANSI92IntermediateSQL(int, long) {}
void QVPrntsupportsANSI92FullSQL(int, long) {}
void QVPrntisCatalogAtStart(int, long) {}
void QVPrntsupportsSchemasInDataManipulation(int, long) {}
void QVPrntsupportsSchemasInProcedureCalls(int, long) {}
void QVPrntsupportsSchemasInTableDefinitions(int, long) {}
void QVPrntsupportsSchemasInIndexDefinitions(int, long) {}
void QVPrntsupportsSchemasInPrivilegeDefinitions(int, long) {}
void QVPrntsupportsCatalogsInDataManipulation(int, long) {}
void QVPrntsupportsCatalogsInProcedureCalls(int, long) {}
void QVPrntsupportsCatalogsInTableDefinitions(int, long) {}
void QVPrntsupportsCatalogsInIndexDefinitions(int, long) {}
void QVPrntsupportsCatalogsInPrivilegeDefinitions(int, long) {}
void QVPrntsupportsPositionedDelete(int, long) {}
void QVPrntsupportsPositionedUpdate(int, long) {}
void QVPrntsupportsSelectForUpdate(int, long) {}
void QVPrntsupportsSubqueriesInComparisons(int, long) {}
void QVPrntsupportsSubqueriesInExists(int, long) {}
void QVPrntsupportsSubqueriesInIns(int, long) {}
void QVPrntsupportsSubqueriesInQuantifieds(int, long) {}
void QVPrntsupportsCorrelatedSubqueries(int, long) {}
void QVPrntsupportsUnion(int, long) {}
void QVPrntsupportsUnionAll(int, long) {}
void QVPrntsupportsOpenCursorsAcrossCommit(int, long) {}
void QVPrntsupportsOpenCursorsAcrossRollback(int, long) {}
void QVPrntsupportsOpenStatementsAcrossCommit(int, long) {}
void QVPrntsupportsOpenStatementsAcrossRollback(int, long) {}
void QVPrntsupportsTransactions(int, long) {}
void QVPrntsupportsDataManipulationTransactionsOnly(int, long) {}
void QVPrntsupportsDataDefinitionAndDataManipulationTransactions(int, long) {}
void QVPrntdataDefinitionIgnoredInTransactions(int, long) {}
void QVPrntdataDefinitionCausesTransactionCommit(int, long) {}
void QVPrntgetAutoClose(int, long) {}
void QVPrntgetDriverMajorVersion(int, long) {}
void QVPrntgetDriverMinorVersion(int, long) {}
void QVPrntsupportsTransactionIsolationLevel(int, long, long) {}
void QVPrntsupportsSpecificConvert(int, long, long, long) {}
