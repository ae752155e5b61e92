#include "src/odbc/qvnames.h"

#include <array>
#include <cstdio>

#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/qvnames";

struct Name {
  int32_t code;
  const char* name;
};

constexpr Name kHandleTypes[] = {
    {1, "SQL_HANDLE_ENV"}, {2, "SQL_HANDLE_DBC"}, {3, "SQL_HANDLE_STMT"}, {4, "SQL_HANDLE_DESC"},
};

constexpr Name kColAttrs[] = {
    {2, "SQL_DESC_CONCISE_TYPE"},       {6, "SQL_DESC_DISPLAY_SIZE"},     {8, "SQL_DESC_UNSIGNED"},
    {9, "SQL_DESC_FIXED_PREC_SCALE"},   {10, "SQL_DESC_UPDATABLE"},       {11, "SQL_DESC_AUTO_UNIQUE_VALUE"},
    {12, "SQL_DESC_CASE_SENSITIVE"},    {13, "SQL_DESC_SEARCHABLE"},      {14, "SQL_DESC_TYPE_NAME"},
    {15, "SQL_DESC_TABLE_NAME"},        {16, "SQL_DESC_SCHEMA_NAME"},     {17, "SQL_DESC_CATALOG_NAME"},
    {18, "SQL_DESC_LABEL"},             {22, "SQL_DESC_BASE_COLUMN_NAME"}, {23, "SQL_DESC_BASE_TABLE_NAME"},
    {27, "SQL_DESC_LITERAL_PREFIX"},    {28, "SQL_DESC_LITERAL_SUFFIX"},  {29, "SQL_DESC_LOCAL_TYPE_NAME"},
    {32, "SQL_DESC_NUM_PREC_RADIX"},    {1001, "SQL_DESC_COUNT"},         {1002, "SQL_DESC_TYPE"},
    {1003, "SQL_DESC_LENGTH"},          {1005, "SQL_DESC_PRECISION"},     {1006, "SQL_DESC_SCALE"},
    {1008, "SQL_DESC_NULLABLE"},        {1011, "SQL_DESC_NAME"},          {1012, "SQL_DESC_UNNAMED"},
    {1013, "SQL_DESC_OCTET_LENGTH"},
};

constexpr Name kConnectAttrs[] = {
    {1, "SQL_ATTR_MAX_ROWS"},           {4, "SQL_ATTR_ASYNC_ENABLE"},         {101, "SQL_ATTR_ACCESS_MODE"},
    {102, "SQL_ATTR_AUTOCOMMIT"},       {103, "SQL_ATTR_LOGIN_TIMEOUT"},      {104, "SQL_ATTR_TRACE"},
    {105, "SQL_ATTR_TRACEFILE"},        {106, "SQL_ATTR_TRANSLATE_LIB"},      {107, "SQL_ATTR_TRANSLATE_OPTION"},
    {108, "SQL_ATTR_TXN_ISOLATION"},    {109, "SQL_ATTR_CURRENT_CATALOG"},    {110, "SQL_ATTR_ODBC_CURSORS"},
    {111, "SQL_ATTR_QUIET_MODE"},       {112, "SQL_ATTR_PACKET_SIZE"},        {113, "SQL_ATTR_CONNECTION_TIMEOUT"},
    {114, "SQL_ATTR_DISCONNECT_BEHAVIOR"}, {115, "SQL_ATTR_ANSI_APP"},        {1207, "SQL_ATTR_ENLIST_IN_DTC"},
    {1208, "SQL_ATTR_ENLIST_IN_XA"},    {1209, "SQL_ATTR_CONNECTION_DEAD"},
};

constexpr Name kStmtAttrs[] = {
    {-2, "SQL_ATTR_CURSOR_SENSITIVITY"},  {-1, "SQL_ATTR_CURSOR_SCROLLABLE"},   {0, "SQL_ATTR_QUERY_TIMEOUT"},
    {1, "SQL_ATTR_MAX_ROWS"},             {2, "SQL_ATTR_NOSCAN"},               {3, "SQL_ATTR_MAX_LENGTH"},
    {4, "SQL_ATTR_ASYNC_ENABLE"},         {5, "SQL_ATTR_ROW_BIND_TYPE"},        {6, "SQL_ATTR_CURSOR_TYPE"},
    {7, "SQL_ATTR_CONCURRENCY"},          {8, "SQL_ATTR_KEYSET_SIZE"},          {10, "SQL_ATTR_SIMULATE_CURSOR"},
    {11, "SQL_ATTR_RETRIEVE_DATA"},       {12, "SQL_ATTR_USE_BOOKMARKS"},       {14, "SQL_ATTR_ROW_NUMBER"},
    {15, "SQL_ATTR_ENABLE_AUTO_IPD"},     {16, "SQL_ATTR_FETCH_BOOKMARK_PTR"},  {17, "SQL_ATTR_PARAM_BIND_OFFSET_PTR"},
    {18, "SQL_ATTR_PARAM_BIND_TYPE"},     {19, "SQL_ATTR_PARAM_OPERATION_PTR"}, {20, "SQL_ATTR_PARAM_STATUS_PTR"},
    {21, "SQL_ATTR_PARAMS_PROCESSED_PTR"}, {22, "SQL_ATTR_PARAMSET_SIZE"},      {23, "SQL_ATTR_ROW_BIND_OFFSET_PTR"},
    {24, "SQL_ATTR_ROW_OPERATION_PTR"},   {25, "SQL_ATTR_ROW_STATUS_PTR"},      {26, "SQL_ATTR_ROWS_FETCHED_PTR"},
    {27, "SQL_ATTR_ROW_ARRAY_SIZE"},      {10010, "SQL_ATTR_APP_ROW_DESC"},     {10011, "SQL_ATTR_APP_PARAM_DESC"},
    {10012, "SQL_ATTR_IMP_ROW_DESC"},     {10013, "SQL_ATTR_IMP_PARAM_DESC"},   {10014, "SQL_ATTR_METADATA_ID"},
};

constexpr Name kConnectOptions[] = {
    {0, "SQL_QUERY_TIMEOUT"},   {1, "SQL_MAX_ROWS"},           {101, "SQL_ACCESS_MODE"},
    {102, "SQL_AUTOCOMMIT"},    {103, "SQL_LOGIN_TIMEOUT"},    {104, "SQL_OPT_TRACE"},
    {105, "SQL_OPT_TRACEFILE"}, {106, "SQL_TRANSLATE_DLL"},    {107, "SQL_TRANSLATE_OPTION"},
    {108, "SQL_TXN_ISOLATION"}, {109, "SQL_CURRENT_QUALIFIER"}, {110, "SQL_ODBC_CURSORS"},
    {111, "SQL_QUIET_MODE"},    {112, "SQL_PACKET_SIZE"},
};

// The two bookmark options are written with a blank after "=".
constexpr Name kStmtOptions[] = {
    {0, "SQL_QUERY_TIMEOUT"},  {1, "SQL_MAX_ROWS"},          {2, "SQL_NOSCAN"},
    {3, "SQL_MAX_LENGTH"},     {4, "SQL_ASYNC_ENABLE"},      {5, "SQL_BIND_TYPE"},
    {6, "SQL_CURSOR_TYPE"},    {7, "SQL_CONCURRENCY"},       {8, "SQL_KEYSET_SIZE"},
    {9, "SQL_ROWSET_SIZE"},    {10, "SQL_SIMULATE_CURSOR"},  {11, "SQL_RETRIEVE_DATA"},
    {12, " SQL_USE_BOOKMARKS"}, {13, " SQL_GET_BOOKMARK"},   {14, "SQL_ROW_NUMBER"},
    {1001, "QV_SQL_UNIQUEROW"},
};

constexpr Name kCTypes[] = {
    {-28, "SQL_C_UTINYINT"},     {-26, "SQL_C_STINYINT"}, {-18, "SQL_C_ULONG"},   {-17, "SQL_C_USHORT"},
    {-16, "SQL_C_SLONG"},        {-15, "SQL_C_SSHORT"},   {-10, "SQL_C_WLONGVARCHAR"}, {-9, "SQL_C_WVARCHAR"},
    {-8, "SQL_C_WCHAR"},         {-7, "SQL_C_BIT"},       {-6, "SQL_C_TINYINT"},  {-2, "SQL_C_BINARY"},
    {1, "SQL_C_CHAR"},           {4, "SQL_C_LONG"},       {5, "SQL_C_SHORT"},     {7, "SQL_C_FLOAT"},
    {8, "SQL_C_DOUBLE"},         {9, "SQL_C_DATE"},       {10, "SQL_C_TIME"},     {11, "SQL_C_TIMESTAMP"},
    {99, "SQL_C_DEFAULT"},
};

constexpr Name kSqlTypes[] = {
    {-9, "SQL_WVARCHAR"},   {-8, "SQL_WCHAR"},          {-7, "SQL_BIT"},          {-6, "SQL_TINYINT"},
    {-5, "SQL_BIGINT"},     {-4, "SQL_LONGVARBINARY"},  {-3, "SQL_VARBINARY"},    {-2, "SQL_BINARY"},
    {-1, "SQL_LONGVARCHAR"}, {0, "SQL_ALL_TYPES"},      {1, "SQL_CHAR"},          {2, "SQL_NUMERIC"},
    {3, "SQL_DECIMAL"},     {4, "SQL_INTEGER"},         {5, "SQL_SMALLINT"},      {6, "SQL_FLOAT"},
    {7, "SQL_REAL"},        {8, "SQL_DOUBLE"},          {9, "SQL_DATE"},          {10, "SQL_TIME"},
    {11, "SQL_TIMESTAMP"},  {12, "SQL_VARCHAR"},        {91, "SQL_TYPE_DATE"},    {92, "SQL_TYPE_TIME"},
    {93, "SQL_TYPE_TIMESTAMP"},
};

// Information types 0 to 115 by code; 91 to 93 have no name here. Four
// lines keep their own form: 1 and 26 end with a blank, 28 lost its S.
constexpr std::array<const char*, 116> kInfoTypes = {
    "SQL_ACTIVE_CONNECTIONS", "SQL_ACTIVE_STATEMENTS ", "SQL_DATA_SOURCE_NAME", "SQL_DRIVER_HDBC",
    "SQL_DRIVER_HENV", "SQL_DRIVER_HSTMT", "SQL_DRIVER_NAME", "SQL_DRIVER_VER",
    "SQL_FETCH_DIRECTION", "SQL_ODBC_API_CONFORMANCE", "SQL_ODBC_VER", "SQL_ROW_UPDATES",
    "ODBC_SAG_CLI_CONFORMANCE", "SQL_SERVER_NAME", "SQL_SEARCH_PATTERN_ESCAPE", "SQL_ODBC_SQL_CONFORMANCE",
    "SQL_DATABASE_NAME", "SQL_DBMS_NAME", "SQL_DBMS_VER", "SQL_ACCESSIBLE_TABLES",
    "SQL_ACCESSIBLE_PROCEDURES", "SQL_PROCEDURES", "SQL_CONCAT_NULL_BEHAVIOR", "SQL_CURSOR_COMMIT_BEHAVIOR",
    "SQL_CURSOR_ROLLBACK_BEHAVIOR", "SQL_DATA_SOURCE_READ_ONLY", "SQL_DEFAULT_TXN_ISOLATION ",
    "SQL_EXPRESSIONS_IN_ORDERBY", "QL_IDENTIFIER_CASE ", "SQL_IDENTIFIER_QUOTE_CHAR", "SQL_MAX_COLUMN_NAME_LEN",
    "SQL_MAX_CURSOR_NAME_LEN", "SQL_MAX_OWNER_NAME_LEN", "SQL_MAX_PROCEDURE_NAME_LEN", "SQL_MAX_QUALIFIER_NAME_LEN",
    "SQL_MAX_TABLE_NAME_LEN", "SQL_MULT_RESULT_SETS", "SQL_MULTIPLE_ACTIVE_TXN", "SQL_OUTER_JOINS",
    "SQL_OWNER_TERM", "SQL_PROCEDURE_TERM", "SQL_QUALIFIER_NAME_SEPARATOR", "SQL_QUALIFIER_TERM",
    "SQL_SCROLL_CONCURRENCY", "SQL_SCROLL_OPTIONS", "SQL_TABLE_TERM", "SQL_TXN_CAPABLE",
    "SQL_USER_NAME", "SQL_CONVERT_FUNCTIONS", "SQL_NUMERIC_FUNCTIONS", "SQL_STRING_FUNCTIONS",
    "SQL_SYSTEM_FUNCTIONS", "SQL_TIMEDATE_FUNCTIONS", "SQL_CONVERT_BIGINT", "SQL_CONVERT_BINARY",
    "SQL_CONVERT_BIT", "SQL_CONVERT_CHAR", "SQL_CONVERT_DATE", "SQL_CONVERT_DECIMAL",
    "SQL_CONVERT_DOUBLE", "SQL_CONVERT_FLOAT", "SQL_CONVERT_INTEGER", "SQL_CONVERT_LONGVARCHAR",
    "SQL_CONVERT_NUMERIC", "SQL_CONVERT_REAL", "SQL_CONVERT_SMALLINT", "SQL_CONVERT_TIME",
    "SQL_CONVERT_TIMESTAMP", "SQL_CONVERT_TINYINT", "SQL_CONVERT_VARBINARY", "SQL_CONVERT_VARCHAR",
    "SQL_CONVERT_LONGVARBINARY", "SQL_TXN_ISOLATION_OPTION", "SQL_ODBC_SQL_OPT_IEF", "SQL_CORRELATION_NAME",
    "SQL_NON_NULLABLE_COLUMNS", "SQL_DRIVER_HLIB", "SQL_DRIVER_ODBC_VER", "SQL_LOCK_TYPES",
    "SQL_POS_OPERATIONS", "SQL_POSITIONED_STATEMENTS", "SQL_GETDATA_EXTENSIONS", "SQL_BOOKMARK_PERSISTENCE",
    "SQL_STATIC_SENSITIVITY", "SQL_FILE_USAGE", "SQL_NULL_COLLATION", "SQL_ALTER_TABLE",
    "SQL_COLUMN_ALIAS", "SQL_GROUP_BY", "SQL_KEYWORDS", "SQL_ORDER_BY_COLUMNS_IN_SELECT",
    nullptr, nullptr, nullptr, "SQL_SPECIAL_CHARACTERS",
    "SQL_SUBQUERIES", "SQL_UNION", "SQL_MAX_COLUMNS_IN_GROUP_BY", "SQL_MAX_COLUMNS_IN_INDEX",
    "SQL_MAX_COLUMNS_IN_ORDER_BY", "SQL_MAX_COLUMNS_IN_SELECT", "SQL_MAX_COLUMNS_IN_TABLE", "SQL_MAX_INDEX_SIZE",
    "SQL_MAX_ROW_SIZE_INCLUDES_LONG", "SQL_MAX_ROW_SIZE", "SQL_MAX_STATEMENT_LEN", "SQL_MAX_TABLES_IN_SELECT",
    "SQL_MAX_USER_NAME_LEN", "SQL_MAX_CHAR_LITERAL_LEN", "SQL_TIMEDATE_ADD_INTERVALS", "SQL_TIMEDATE_DIFF_INTERVALS",
    "SQL_NEED_LONG_DATA_LEN", "SQL_MAX_BINARY_LITERAL_LEN", "SQL_LIKE_ESCAPE_CLAUSE", "SQL_QUALIFIER_LOCATION",
    "SQL_OJ_CAPABILITIES",
};

template <size_t N>
const char* find(const Name (&table)[N], int64_t code) {
  for (const Name& n : table)
    if (n.code == code) return n.name;
  return nullptr;
}

struct Kind {
  const char* label;
  bool invalidSuffix;  // the fallback ends with " <Invalid Type>"
  bool fallback;       // a code without a name still gets a line
};

Kind kindOf(QvNameKind kind) {
  switch (kind) {
    case QvNameKind::HandleType: return {"HandleType", true, true};
    case QvNameKind::ColAttr: return {"FieldIdentifier", false, false};
    case QvNameKind::ConnectAttr: return {"Attribute", false, true};
    case QvNameKind::StmtAttr: return {"Attribute", false, true};
    case QvNameKind::ConnectOption: return {"fOption", false, true};
    case QvNameKind::StmtOption: return {"fOption", false, true};
    case QvNameKind::CType: return {"fCType", true, true};
    case QvNameKind::SqlType: return {"fSqlType", true, true};
    case QvNameKind::InfoType: return {"fInfoType", false, true};
  }
  return {"", false, false};
}

void writeLine(QvNameKind kind, int64_t code) {
  char line[96];
  if (QvNameLine(kind, code, line, sizeof line)) TR_TRACE(kSrc, htrODBC, 32, "%s", line);
}

}  // namespace

const char* QvCodeName(QvNameKind kind, int64_t code) {
  switch (kind) {
    case QvNameKind::HandleType: return find(kHandleTypes, code);
    case QvNameKind::ColAttr: return find(kColAttrs, code);
    case QvNameKind::ConnectAttr: return find(kConnectAttrs, code);
    case QvNameKind::StmtAttr: return find(kStmtAttrs, code);
    case QvNameKind::ConnectOption: return find(kConnectOptions, code);
    case QvNameKind::StmtOption: return find(kStmtOptions, code);
    case QvNameKind::CType: return find(kCTypes, code);
    case QvNameKind::SqlType: return find(kSqlTypes, code);
    case QvNameKind::InfoType:
      return code >= 0 && code < static_cast<int64_t>(kInfoTypes.size()) ? kInfoTypes[static_cast<size_t>(code)]
                                                                          : nullptr;
  }
  return nullptr;
}

bool QvNameLine(QvNameKind kind, int64_t code, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  const Kind k = kindOf(kind);
  if (const char* name = QvCodeName(kind, code)) {
    std::snprintf(out, size, "   %s=%s", k.label, name);
    return true;
  }
  if (!k.fallback) return false;
  std::snprintf(out, size, "   %s=%lld%s", k.label, static_cast<long long>(code), k.invalidSuffix ? " <Invalid Type>" : "");
  return true;
}

void QVPrntHandleType(SQLSMALLINT type) { writeLine(QvNameKind::HandleType, type); }
void QVPrntColAttrType(SQLUSMALLINT field) { writeLine(QvNameKind::ColAttr, field); }
void QVPrntConnectAttr(SQLINTEGER attribute) { writeLine(QvNameKind::ConnectAttr, attribute); }
void QVPrntStmtAttr(SQLINTEGER attribute) { writeLine(QvNameKind::StmtAttr, attribute); }

SQLSMALLINT QVGetConnectOption(SQLUSMALLINT option) {
  writeLine(QvNameKind::ConnectOption, option);
  const bool text = option == SQL_OPT_TRACEFILE || option == SQL_TRANSLATE_DLL || option == SQL_CURRENT_QUALIFIER;
  return text ? SQL_C_CHAR : SQL_C_ULONG;
}

SQLSMALLINT QVGetStmtOption(SQLUSMALLINT option) {
  writeLine(QvNameKind::StmtOption, option);
  return SQL_C_ULONG;
}

void QVGetCType(SQLSMALLINT type) { writeLine(QvNameKind::CType, type); }
void QVGetSQLType(SQLSMALLINT type) { writeLine(QvNameKind::SqlType, type); }
void QVGetInfo(SQLUSMALLINT type) { writeLine(QvNameKind::InfoType, type); }
