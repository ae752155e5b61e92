#include "peer/peer_catalog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "peer/peer_sql.h"

namespace peer {

namespace {

// rdapeer_type(declared type, field): DATA_TYPE, TYPE_NAME, PRECISION,
// LENGTH, SCALE or RADIX of the type the peer describes such a column with.
void typeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* decl = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const auto* field = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const ColumnType t = columnTypeOf(decl, SQLITE_NULL);
  const std::string_view f = field != nullptr ? field : "";
  const bool numeric = t.type == ColType::Integer || t.type == ColType::Numeric || t.type == ColType::Double;
  if (f == "DATA_TYPE") {
    sqlite3_result_int(ctx, odbcTypeOf(t));
  } else if (f == "TYPE_NAME") {
    sqlite3_result_text(ctx, typeNameOf(t), -1, SQLITE_STATIC);
  } else if (f == "PRECISION") {
    sqlite3_result_int(ctx, columnSizeOf(t));
  } else if (f == "LENGTH") {
    sqlite3_result_int(ctx, octetLengthOf(t));
  } else if (f == "SCALE" && (t.type == ColType::Integer || t.type == ColType::Numeric ||
                              t.type == ColType::Time || t.type == ColType::Timestamp)) {
    sqlite3_result_int(ctx, t.scale);
  } else if (f == "RADIX" && numeric) {
    sqlite3_result_int(ctx, 10);
  } else {
    sqlite3_result_null(ctx);
  }
}

// The tables of the main and the attached databases a client sees.
constexpr const char* kUserTables =
    "pragma_table_list t WHERE t.schema <> 'temp' AND t.type IN ('table', 'view') "
    "AND t.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND t.name NOT LIKE 'rdapeer\\_%' ESCAPE '\\'";

std::string catalogScript() {
  const std::string from = kUserTables;
  const std::string where = from.substr(from.find("WHERE ") + 6);
  // A parameter's name and declared type, from the procedure table's body.
  const std::string param = "trim(body)";
  const std::string paramName = "CASE WHEN instr(" + param + ", ' ') > 0 THEN substr(" + param + ", 1, instr(" + param +
                                ", ' ') - 1) ELSE " + param + " END";
  const std::string paramType =
      "CASE WHEN instr(" + param + ", ' ') > 0 THEN trim(substr(" + param + ", instr(" + param + ", ' ') + 1)) END";
  auto typeOf = [](const std::string& decl, const char* field) {
    return "rdapeer_type(" + decl + ", '" + field + "')";
  };
  const std::string rule =
      " WHEN 'CASCADE' THEN 0 WHEN 'RESTRICT' THEN 1 WHEN 'SET NULL' THEN 2 WHEN 'SET DEFAULT' THEN 4 ELSE 3 END";
  std::string sql;
  sql += "CREATE TEMP VIEW QV_TABLES AS SELECT t.schema AS TABLE_QUALIFIER, '' AS TABLE_OWNER, t.name AS TABLE_NAME, "
         "CASE t.type WHEN 'view' THEN 'VIEW' ELSE 'TABLE' END AS TABLE_TYPE, NULL AS REMARKS FROM " +
         from + ";\n";
  sql += "CREATE TEMP VIEW QV_COLUMNS AS SELECT t.schema AS TABLE_QUALIFIER, '' AS TABLE_OWNER, t.name AS TABLE_NAME, "
         "c.name AS COLUMN_NAME, " +
         typeOf("c.type", "DATA_TYPE") + " AS DATA_TYPE, " + typeOf("c.type", "TYPE_NAME") + " AS TYPE_NAME, " +
         typeOf("c.type", "PRECISION") + " AS QV_PRECISION, " + typeOf("c.type", "LENGTH") + " AS QV_LENGTH, " +
         typeOf("c.type", "SCALE") + " AS QV_SCALE, " + typeOf("c.type", "RADIX") +
         " AS QV_RADIX, CASE WHEN c.\"notnull\" THEN 0 ELSE 1 END AS QV_NULLABLE, NULL AS REMARKS, "
         "1 AS PSEUDO_COLUMN, CASE WHEN c.pk > 0 THEN 2 END AS QV_SCOPE, CASE WHEN c.pk > 0 THEN 1 END AS QV_COLUMNTYPE, "
         "c.cid + 1 AS ORDINAL_POSITION FROM pragma_table_list t JOIN pragma_table_info(t.name, t.schema) c WHERE " +
         where + ";\n";
  sql += "CREATE TEMP VIEW QV_STATISTICS AS SELECT t.schema AS TABLE_QUALIFIER, '' AS TABLE_OWNER, "
         "t.name AS TABLE_NAME, NULL AS NON_UNIQUE, NULL AS INDEX_QUALIFIER, NULL AS INDEX_NAME, 0 AS QV_TYPE, "
         "NULL AS SEQ_IN_INDEX, NULL AS COLUMN_NAME, NULL AS QV_COLLATION, NULL AS QV_CARDINALITY, NULL AS QV_PAGES, "
         "NULL AS FILTER_CONDITIONS FROM " +
         from +
         " AND t.type = 'table' UNION ALL SELECT t.schema, '', t.name, 1 - il.\"unique\", t.schema, il.name, 3, "
         "ii.seqno + 1, ii.name, 'A', NULL, NULL, NULL FROM pragma_table_list t, pragma_index_list(t.name, t.schema) "
         "il, pragma_index_info(il.name) ii WHERE " +
         where + ";\n";
  sql += "CREATE TEMP VIEW QV_FKEYS AS SELECT t.schema AS PKTABLE_QUALIFIER, '' AS PKTABLE_OWNER, "
         "t.name AS PKTABLE_NAME, c.name AS PKCOLUMN_NAME, NULL AS FKTABLE_QUALIFIER, NULL AS FKTABLE_OWNER, "
         "NULL AS FKTABLE_NAME, NULL AS FKCOLUMN_NAME, c.pk AS KEY_SEQ, NULL AS UPDATE_RULE, NULL AS DELETE_RULE, "
         "NULL AS FK_NAME, NULL AS PK_NAME FROM pragma_table_list t JOIN pragma_table_info(t.name, t.schema) c "
         "WHERE c.pk > 0 AND " +
         where +
         " UNION ALL SELECT t.schema, '', f.\"table\", coalesce(f.\"to\", (SELECT p.name FROM "
         "pragma_table_info(f.\"table\", t.schema) p WHERE p.pk = f.seq + 1)), t.schema, '', t.name, f.\"from\", "
         "f.seq + 1, CASE f.on_update" +
         rule + ", CASE f.on_delete" + rule +
         ", NULL, NULL FROM pragma_table_list t JOIN pragma_foreign_key_list(t.name, t.schema) f WHERE " + where +
         ";\n";
  sql += "CREATE TEMP VIEW QV_PROC AS SELECT 'main' AS QV_QUALIFIER, '' AS QV_OWNER, name AS QV_NAME, "
         "sum(upper(kind) = 'IN') AS NUM_INPUT_PARAMS, sum(upper(kind) = 'OUT') AS NUM_OUTPUT_PARAMS, "
         "sum(upper(kind) = 'RESULT') AS NUM_RESULT_SETS, NULL AS REMARKS, 1 AS PROCEDURE_TYPE "
         "FROM main.rdapeer_procedures GROUP BY lower(name);\n";
  sql += "CREATE TEMP VIEW QV_PROCCOLUMNS AS SELECT 'main' AS QV_QUALIFIER, '' AS QV_OWNER, name AS QV_NAME, " +
         paramName + " AS COLUMN_NAME, CASE upper(kind) WHEN 'IN' THEN 1 ELSE 4 END AS QV_COLUMNTYPE, " +
         typeOf(paramType, "DATA_TYPE") + " AS DATA_TYPE, " + typeOf(paramType, "TYPE_NAME") + " AS TYPE_NAME, " +
         typeOf(paramType, "PRECISION") + " AS QV_PRECISION, " + typeOf(paramType, "LENGTH") + " AS QV_LENGTH, " +
         typeOf(paramType, "SCALE") + " AS QV_SCALE, " + typeOf(paramType, "RADIX") +
         " AS QV_RADIX, 1 AS QV_NULLABLE, NULL AS REMARKS, seq AS ORDINAL_POSITION FROM main.rdapeer_procedures "
         "WHERE upper(kind) IN ('IN', 'OUT');\n";
  // The types, each described by the function the columns use; the date
  // and time types also under their ODBC 3 codes.
  sql += "CREATE TEMP TABLE QV_TYPES (TYPE_NAME TEXT, DATA_TYPE INTEGER, QV_PRECISION INTEGER, LITERAL_PREFIX TEXT, "
         "LITERAL_SUFFIX TEXT, CREATE_PARAMS TEXT, QV_NULLABLE INTEGER, CASE_SENSITIVE INTEGER, "
         "QV_SEARCHABLE INTEGER, UNSIGNED_ATTRIB INTEGER, QV_MONEY INTEGER, AUTO_INCREMENT INTEGER, "
         "LOCAL_TYPE_NAME TEXT, MINIMUM_SCALE INTEGER, MAXIMUM_SCALE INTEGER);\n";
  sql += "INSERT INTO QV_TYPES SELECT " + typeOf("column1", "TYPE_NAME") + ", coalesce(column2, " +
         typeOf("column1", "DATA_TYPE") + "), " + typeOf("column1", "PRECISION") +
         ", column3, column4, column5, 1, column6, column7, column8, 0, column9, " + typeOf("column1", "TYPE_NAME") +
         ", column10, column11 FROM (VALUES "
         "('INTEGER', NULL, NULL, NULL, NULL, 0, 3, 0, 0, 0, 0), "
         "('DOUBLE', NULL, NULL, NULL, NULL, 0, 3, 0, 0, NULL, NULL), "
         "('NUMERIC(38,0)', NULL, NULL, NULL, 'precision,scale', 0, 3, 0, 0, 0, 38), "
         "('VARCHAR(255)', NULL, '''', '''', 'max length', 1, 3, NULL, NULL, NULL, NULL), "
         "('NVARCHAR(255)', NULL, 'N''', '''', 'max length', 1, 3, NULL, NULL, NULL, NULL), "
         "('VARBINARY(255)', NULL, 'X''', '''', 'max length', 0, 2, NULL, NULL, NULL, NULL), "
         "('BLOB', NULL, 'X''', '''', NULL, 0, 0, NULL, NULL, NULL, NULL), "
         "('DATE', NULL, '''', '''', NULL, 0, 2, NULL, NULL, NULL, NULL), "
         "('TIME', NULL, '''', '''', NULL, 0, 2, NULL, NULL, 0, 0), "
         "('TIMESTAMP', NULL, '''', '''', NULL, 0, 2, NULL, NULL, 0, 0), "
         "('DATE', 91, '''', '''', NULL, 0, 2, NULL, NULL, NULL, NULL), "
         "('TIME', 92, '''', '''', NULL, 0, 2, NULL, NULL, 0, 0), "
         "('TIMESTAMP', 93, '''', '''', NULL, 0, 2, NULL, NULL, 0, 0));\n";
  sql += "CREATE TEMP TABLE QV_INFO (INFO_NUM INTEGER, INFO_NAME TEXT, INFO_INT INTEGER, INFO_BITMASK INTEGER, "
         "INFO_TEXT TEXT);\n"
         "INSERT INTO QV_INFO VALUES (NULL, 'LMO_DRIVER_TYPE', NULL, NULL, 'SQLITE');\n";
  return sql;
}

}  // namespace

InfoValues defaultInfo() {
  return {
      {1, "0"},                 // SQL_ACTIVE_CONNECTIONS: no limit
      {14, "\\"},               // SQL_SEARCH_PATTERN_ESCAPE
      {16, "main"},             // SQL_DATABASE_NAME
      {17, "SQLite"},           // SQL_DBMS_NAME
      {18, sqlite3_libversion()},
      {21, "Y"},                // SQL_PROCEDURES
      {23, "2"},                // SQL_CURSOR_COMMIT_BEHAVIOR: preserve
      {24, "2"},                // SQL_CURSOR_ROLLBACK_BEHAVIOR: preserve
      {25, "N"},                // SQL_DATA_SOURCE_READ_ONLY
      {26, "8"},                // SQL_DEFAULT_TXN_ISOLATION: serializable
      {29, "\""},               // SQL_IDENTIFIER_QUOTE_CHAR
      {30, "128"},              // SQL_MAX_COLUMN_NAME_LEN
      {31, "128"},              // SQL_MAX_CURSOR_NAME_LEN
      {32, "128"},              // SQL_MAX_OWNER_NAME_LEN
      {34, "128"},              // SQL_MAX_QUALIFIER_NAME_LEN
      {35, "128"},              // SQL_MAX_TABLE_NAME_LEN
      {36, "Y"},                // SQL_MULT_RESULT_SETS
      {39, "owner"},            // SQL_OWNER_TERM
      {40, "procedure"},        // SQL_PROCEDURE_TERM
      {41, "."},                // SQL_QUALIFIER_NAME_SEPARATOR
      {42, "database"},         // SQL_QUALIFIER_TERM
      {45, "table"},            // SQL_TABLE_TERM
      {46, "2"},                // SQL_TXN_CAPABLE: all statements
      {72, "8"},                // SQL_TXN_ISOLATION_OPTION
      {111, "N"},               // SQL_NEED_LONG_DATA_LEN
      {8192, "2"},              // driver type number
      {8193, "0"},              // cursor option
      {8194, "."},              // decimal point
      {8195, "1"},              // max rows support
      {8196, "3"},              // statement options support; 2: parameters described
      {8197, "0"},              // always use cursor
      {10002, "Y"},             // SQL_DESCRIBE_PARAMETER
  };
}

std::string setUpCatalog(sqlite3* db, const InfoValues& info) {
  if (sqlite3_create_function(db, "rdapeer_type", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, typeFunction,
                              nullptr, nullptr) != SQLITE_OK)
    return sqlite3_errmsg(db);
  // The procedure table goes into the main database, where clients may
  // fill it; a database that cannot take it (read-only) has no procedures.
  (void)runPlain(db,
                 "CREATE TABLE IF NOT EXISTS main.rdapeer_procedures (name TEXT NOT NULL, kind TEXT NOT NULL, "
                 "seq INTEGER NOT NULL, body TEXT NOT NULL)");
  if (std::string failed = runPlain(db, catalogScript().c_str()); !failed.empty()) return failed;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO QV_INFO VALUES (?, NULL, ?, ?, ?)", -1, &raw, nullptr) != SQLITE_OK)
    return sqlite3_errmsg(db);
  Stmt insert(raw);
  for (const auto& [number, value] : info) {
    sqlite3_reset(insert.get());
    sqlite3_clear_bindings(insert.get());
    sqlite3_bind_int(insert.get(), 1, number);
    if (value.has_value()) {
      char* end = nullptr;
      errno = 0;
      const long long n = std::strtoll(value->c_str(), &end, 10);
      if (!value->empty() && *end == '\0' && errno == 0) {
        sqlite3_bind_int64(insert.get(), 2, n);
        sqlite3_bind_int64(insert.get(), 3, n);
      }
      sqlite3_bind_text(insert.get(), 4, value->c_str(), -1, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return sqlite3_errmsg(db);
  }
  return "";
}

std::optional<std::string> infoText(sqlite3* db, int32_t number) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NUM = ?", -1, &raw, nullptr) != SQLITE_OK)
    return std::nullopt;
  Stmt s(raw);
  sqlite3_bind_int(s.get(), 1, number);
  if (sqlite3_step(s.get()) != SQLITE_ROW || sqlite3_column_type(s.get(), 0) == SQLITE_NULL) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
}

}  // namespace peer
