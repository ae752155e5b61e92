package jdbc.sql.cli;

import java.sql.SQLWarning;

/**
 * Stands in for the connection class of the driver's Java half: the fields
 * and methods the natives use, and every native the library binds for it.
 * The library is the file named by the property rdadriver.library.
 */
public class qvcli {
    // Read and written by the natives.
    long _sql_hdbc;
    long _sql_henv;
    boolean _badConnection;
    boolean _inXATransaction;
    int _transactionLevel;
    qvclistmt _systemStmt;

    // The Java half's own: what the natives reported through the methods below.
    int badMarks;
    SQLWarning warnings;

    static {
        System.load(System.getProperty("rdadriver.library"));
        initStaticVarsCLI();
    }

    void markConnectionAsBad() {
        _badConnection = true;
        badMarks++;
    }

    void setNextWarning(qvcliwarning w) {
        if (warnings == null) warnings = w;
        else warnings.setNextWarning(w);
    }

    int warningCount() {
        int n = 0;
        for (SQLWarning w = warnings; w != null; w = w.getNextWarning()) n++;
        return n;
    }

    private static native void initStaticVarsCLI();

    // ---- Connection ----
    native void initCLI() throws qvcliexception;
    native void freeCLI() throws qvcliexception;
    native void openConnectionWithProperties(String user, String password, String dataSource, String connectString,
            boolean traceGiven, boolean traceOn, boolean readOnly, boolean notRead, boolean queryTimeoutGiven,
            int queryTimeout, boolean loginTimeoutGiven, int loginTimeout, boolean isolationGiven, int isolation)
            throws qvcliexception;
    native void closeConnection() throws qvcliexception;
    native String nativeSql(String sql) throws qvcliexception;
    native void internalSetAutoCommit(boolean on) throws qvcliexception;
    native boolean getAutoCommit() throws qvcliexception;
    native void internalCommit() throws qvcliexception;
    native void internalRollback() throws qvcliexception;
    native void setReadOnly(boolean readOnly) throws qvcliexception;
    native boolean isReadOnly() throws qvcliexception;
    native void setCatalog(String catalog) throws qvcliexception;
    native String getCatalog() throws qvcliexception;
    native void setTransactionIsolation(int level) throws qvcliexception;
    native int getTransactionIsolation() throws qvcliexception;
    native boolean isConnected();
    native String getSubProtocol();
    native String getTraceFileName();
    native int getTraceLevel();

    // ---- Database metadata ----
    native String getUserName() throws qvcliexception;
    native String getDatabaseProductName() throws qvcliexception;
    native String getDatabaseProductVersion() throws qvcliexception;
    native String getDriverName() throws qvcliexception;
    native String getDriverVersion() throws qvcliexception;
    native String getIdentifierQuoteString() throws qvcliexception;
    native String getSQLKeywords() throws qvcliexception;
    native String getSearchStringEscape() throws qvcliexception;
    native String getExtraNameCharacters() throws qvcliexception;
    native String getSchemaTerm() throws qvcliexception;
    native String getProcedureTerm() throws qvcliexception;
    native String getCatalogTerm() throws qvcliexception;
    native String getCatalogSeparator() throws qvcliexception;
    native String getURL() throws qvcliexception;
    native String getNumericFunctions() throws qvcliexception;
    native String getStringFunctions() throws qvcliexception;
    native String getSystemFunctions() throws qvcliexception;
    native String getTimeDateFunctions() throws qvcliexception;

    native boolean allProceduresAreCallable() throws qvcliexception;
    native boolean allTablesAreSelectable() throws qvcliexception;
    native boolean supportsColumnAliasing() throws qvcliexception;
    native boolean supportsExpressionsInOrderBy() throws qvcliexception;
    native boolean supportsOrderByUnrelated() throws qvcliexception;
    native boolean supportsLikeEscapeClause() throws qvcliexception;
    native boolean supportsMultipleResultSets() throws qvcliexception;
    native boolean supportsMultipleTransactions() throws qvcliexception;
    native boolean supportsIntegrityEnhancementFacility() throws qvcliexception;
    native boolean supportsStoredProcedures() throws qvcliexception;
    native boolean doesMaxRowSizeIncludeBlobs() throws qvcliexception;
    native boolean supportsOuterJoins() throws qvcliexception;
    native boolean supportsFullOuterJoins() throws qvcliexception;
    native boolean supportsLimitedOuterJoins() throws qvcliexception;

    native int getMaxBinaryLiteralLength() throws qvcliexception;
    native int getMaxCharLiteralLength() throws qvcliexception;
    native int getMaxColumnNameLength() throws qvcliexception;
    native int getMaxColumnsInGroupBy() throws qvcliexception;
    native int getMaxColumnsInIndex() throws qvcliexception;
    native int getMaxColumnsInOrderBy() throws qvcliexception;
    native int getMaxColumnsInSelect() throws qvcliexception;
    native int getMaxColumnsInTable() throws qvcliexception;
    native int getMaxConnections() throws qvcliexception;
    native int getMaxCursorNameLength() throws qvcliexception;
    native int getMaxIndexLength() throws qvcliexception;
    native int getMaxSchemaNameLength() throws qvcliexception;
    native int getMaxProcedureNameLength() throws qvcliexception;
    native int getMaxCatalogNameLength() throws qvcliexception;
    native int getMaxRowSize() throws qvcliexception;
    native int getMaxStatementLength() throws qvcliexception;
    native int getMaxStatements() throws qvcliexception;
    native int getMaxTableNameLength() throws qvcliexception;
    native int getMaxTablesInSelect() throws qvcliexception;
    native int getMaxUserNameLength() throws qvcliexception;
    native int getDefaultTransactionIsolation() throws qvcliexception;

    native boolean nullsAreSortedHigh() throws qvcliexception;
    native boolean nullsAreSortedLow() throws qvcliexception;
    native boolean nullsAreSortedAtStart() throws qvcliexception;
    native boolean nullsAreSortedAtEnd() throws qvcliexception;
    native boolean usesLocalFiles() throws qvcliexception;
    native boolean usesLocalFilePerTable() throws qvcliexception;
    native boolean supportsMixedCaseIdentifiers() throws qvcliexception;
    native boolean storesUpperCaseIdentifiers() throws qvcliexception;
    native boolean storesLowerCaseIdentifiers() throws qvcliexception;
    native boolean storesMixedCaseIdentifiers() throws qvcliexception;
    native boolean supportsMixedCaseQuotedIdentifiers() throws qvcliexception;
    native boolean storesUpperCaseQuotedIdentifiers() throws qvcliexception;
    native boolean storesLowerCaseQuotedIdentifiers() throws qvcliexception;
    native boolean storesMixedCaseQuotedIdentifiers() throws qvcliexception;
    native boolean supportsAlterTableWithAddColumn() throws qvcliexception;
    native boolean supportsAlterTableWithDropColumn() throws qvcliexception;
    native boolean nullPlusNonNullIsNull() throws qvcliexception;
    native boolean supportsConvert() throws qvcliexception;
    native boolean supportsTableCorrelationNames() throws qvcliexception;
    native boolean supportsDifferentTableCorrelationNames() throws qvcliexception;
    native boolean supportsGroupBy() throws qvcliexception;
    native boolean supportsGroupByUnrelated() throws qvcliexception;
    native boolean supportsGroupByBeyondSelect() throws qvcliexception;
    native boolean supportsNonNullableColumns() throws qvcliexception;
    native boolean supportsMinimumSQLGrammar() throws qvcliexception;
    native boolean supportsCoreSQLGrammar() throws qvcliexception;
    native boolean supportsExtendedSQLGrammar() throws qvcliexception;
    native boolean supportsANSI92EntryLevelSQL() throws qvcliexception;
    native boolean supportsANSI92IntermediateSQL() throws qvcliexception;
    native boolean supportsANSI92FullSQL() throws qvcliexception;
    native boolean isCatalogAtStart() throws qvcliexception;
    native boolean supportsSchemasInDataManipulation() throws qvcliexception;
    native boolean supportsSchemasInProcedureCalls() throws qvcliexception;
    native boolean supportsSchemasInTableDefinitions() throws qvcliexception;
    native boolean supportsSchemasInIndexDefinitions() throws qvcliexception;
    native boolean supportsSchemasInPrivilegeDefinitions() throws qvcliexception;
    native boolean supportsCatalogsInDataManipulation() throws qvcliexception;
    native boolean supportsCatalogsInProcedureCalls() throws qvcliexception;
    native boolean supportsCatalogsInTableDefinitions() throws qvcliexception;
    native boolean supportsCatalogsInIndexDefinitions() throws qvcliexception;
    native boolean supportsCatalogsInPrivilegeDefinitions() throws qvcliexception;
    native boolean supportsPositionedDelete() throws qvcliexception;
    native boolean supportsPositionedUpdate() throws qvcliexception;
    native boolean supportsSelectForUpdate() throws qvcliexception;
    native boolean supportsSubqueriesInComparisons() throws qvcliexception;
    native boolean supportsSubqueriesInExists() throws qvcliexception;
    native boolean supportsSubqueriesInIns() throws qvcliexception;
    native boolean supportsSubqueriesInQuantifieds() throws qvcliexception;
    native boolean supportsCorrelatedSubqueries() throws qvcliexception;
    native boolean supportsUnion() throws qvcliexception;
    native boolean supportsUnionAll() throws qvcliexception;
    native boolean supportsOpenCursorsAcrossCommit() throws qvcliexception;
    native boolean supportsOpenCursorsAcrossRollback() throws qvcliexception;
    native boolean supportsOpenStatementsAcrossCommit() throws qvcliexception;
    native boolean supportsOpenStatementsAcrossRollback() throws qvcliexception;
    native boolean supportsTransactions() throws qvcliexception;
    native boolean supportsDataManipulationTransactionsOnly() throws qvcliexception;
    native boolean supportsDataDefinitionAndDataManipulationTransactions() throws qvcliexception;
    native boolean dataDefinitionIgnoredInTransactions() throws qvcliexception;
    native boolean dataDefinitionCausesTransactionCommit() throws qvcliexception;
    native boolean supportsTransactionIsolationLevel(int level) throws qvcliexception;

    native boolean getAutoClose() throws qvcliexception;
    native int getDriverMajorVersion() throws qvcliexception;
    native int getDriverMinorVersion() throws qvcliexception;
    native boolean supportsSpecificConvert(int fromType, int toType) throws qvcliexception;
}
