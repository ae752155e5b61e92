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
