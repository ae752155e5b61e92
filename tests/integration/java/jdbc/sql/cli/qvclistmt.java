package jdbc.sql.cli;

import java.sql.SQLWarning;

/**
 * Stands in for the statement class of the driver's Java half (at once the
 * Statement, its ResultSet and their metadata): the fields and methods the
 * natives use, and every native the library binds for it.
 */
public class qvclistmt {
    // Read and written by the natives.
    long _sql_hdbc;
    long _sql_hstmt;
    long _sql_numParams;
    long _sql_paramDataArray;
    long _sql_wasnull;
    long _param_wasnull;
    qvcli _parentCli;

    // The Java half's own.
    SQLWarning warnings;

    static {
        System.load(System.getProperty("rdadriver.library"));
        initStaticVarsCLISTMT();
    }

    qvclistmt(qvcli parent) {
        _parentCli = parent;
        if (parent != null) _sql_hdbc = parent._sql_hdbc;
    }

    void markConnectionAsBad() {
        if (_parentCli != null) _parentCli.markConnectionAsBad();
    }

    void setNextWarning(qvcliwarning w) {
        if (warnings == null) warnings = w;
        else warnings.setNextWarning(w);
    }

    private static native void initStaticVarsCLISTMT();

    // ---- Statement ----
    native int createStmt() throws qvcliexception;
    native void closeStmt() throws qvcliexception;
    native void closeResultSet() throws qvcliexception;
    native boolean Execute(String sql) throws qvcliexception;
    native int getRowCount() throws qvcliexception;
    native int getUpdateCount() throws qvcliexception;
    native boolean getMoreResults() throws qvcliexception;
    native void cancel() throws qvcliexception;
    native void setCursorName(String name) throws qvcliexception;
    native String getCursorName() throws qvcliexception;
    native int getMaxFieldSize() throws qvcliexception;
    native void setMaxFieldSize(int max) throws qvcliexception;
    native int getMaxRows() throws qvcliexception;
    native void setMaxRows(int max) throws qvcliexception;
    native int getQueryTimeout() throws qvcliexception;
    native void setQueryTimeout(int seconds) throws qvcliexception;
    native void setEscapeProcessing(boolean enable) throws qvcliexception;
    native int getFetchSize();

    // ---- Result set ----
    native boolean next() throws qvcliexception;
    native String getString(int column) throws qvcliexception;
    native byte[] getBytes(int column) throws qvcliexception;
    native int getInt(int column) throws qvcliexception;
    native short getShort(int column) throws qvcliexception;
    native float getFloat(int column) throws qvcliexception;
    native double getDouble(int column) throws qvcliexception;
    native int[] getDate(int column) throws qvcliexception;
    native int[] getTime(int column) throws qvcliexception;
    native int[] getTimestamp(int column) throws qvcliexception;

    // ---- Result-set metadata ----
    native int getColumnCount() throws qvcliexception;
    native boolean isAutoIncrement(int column) throws qvcliexception;
    native boolean isCaseSensitive(int column) throws qvcliexception;
    native boolean isSearchable(int column) throws qvcliexception;
    native boolean isCurrency(int column) throws qvcliexception;
    native boolean isNullable(int column) throws qvcliexception;
    native boolean isSigned(int column) throws qvcliexception;
    native int getColumnDisplaySize(int column) throws qvcliexception;
    native String getColumnLabel(int column) throws qvcliexception;
    native String getColumnName(int column) throws qvcliexception;
    native String getSchemaName(int column) throws qvcliexception;
    native int getPrecision(int column) throws qvcliexception;
    native int getScale(int column) throws qvcliexception;
    native String getTableName(int column) throws qvcliexception;
    native String getCatalogName(int column) throws qvcliexception;
    native int getColumnType(int column) throws qvcliexception;
    native String getColumnTypeName(int column) throws qvcliexception;
    native boolean isColReadOnly(int column) throws qvcliexception;
    native boolean isWritable(int column) throws qvcliexception;
    native boolean isDefinitelyWritable(int column) throws qvcliexception;

    // ---- Catalog result sets ----
    native int getTables(String catalog, String schemaPattern, String tablePattern, String types)
            throws qvcliexception;
    native int getSchemas() throws qvcliexception;
    native int getCatalogs() throws qvcliexception;
    native int getTableTypes() throws qvcliexception;
    native int getColumns(String catalog, String schemaPattern, String tablePattern, String columnPattern)
            throws qvcliexception;
    native int getProcedures(String catalog, String schemaPattern, String procedurePattern) throws qvcliexception;
    native int getProcedureColumns(String catalog, String schemaPattern, String procedurePattern,
            String columnPattern) throws qvcliexception;
    native int getPrimaryKeys(String catalog, String schema, String table) throws qvcliexception;
    native int getImportedKeys(String catalog, String schema, String table) throws qvcliexception;
    native int getExportedKeys(String catalog, String schema, String table) throws qvcliexception;
    native int getCrossReference(String primaryCatalog, String primarySchema, String primaryTable,
            String foreignCatalog, String foreignSchema, String foreignTable) throws qvcliexception;
    native int getTypeInfo() throws qvcliexception;
    native int getIndexInfo(String catalog, String schema, String table, boolean unique, boolean approximate)
            throws qvcliexception;
    native int getBestRowIdentifier(String catalog, String schema, String table, int scope, boolean nullable)
            throws qvcliexception;
    native int getVersionColumns(String catalog, String schema, String table) throws qvcliexception;

    // ---- Prepared statements and parameters ----
    native void doPrepareQuery(String sql, boolean keepParameters) throws qvcliexception;
    native boolean Execute() throws qvcliexception;
    native void setInt(int index, int value) throws qvcliexception;
    native void setShort(int index, short value) throws qvcliexception;
    native void setFloat(int index, float value) throws qvcliexception;
    native void setDouble(int index, double value) throws qvcliexception;
    native void setString(int index, String value) throws qvcliexception;
    native void setBytes(int index, byte[] value) throws qvcliexception;
    native void setDate(int index, int year, int month, int day) throws qvcliexception;
    native void setTime(int index, int hour, int minute, int second) throws qvcliexception;
    native void setTimestamp(int index, int year, int month, int day, int hour, int minute, int second,
            int fraction) throws qvcliexception;
    native void setNull(int index) throws qvcliexception;
    native void clearParameters() throws qvcliexception;
    native void registerOutParameter(int index, int jdbcType, int scale) throws qvcliexception;
    native int getParamInt(int index) throws qvcliexception;
    native short getParamShort(int index) throws qvcliexception;
    native float getParamFloat(int index) throws qvcliexception;
    native double getParamDouble(int index) throws qvcliexception;
    native String getParamString(int index) throws qvcliexception;
    native byte[] getParamBytes(int index) throws qvcliexception;
    native int[] getParamDate(int index) throws qvcliexception;
    native int[] getParamTime(int index) throws qvcliexception;
    native int[] getParamTimestamp(int index) throws qvcliexception;
    native int getParamType(int index) throws qvcliexception;
}
