// Exports of the catalog area.
#include "src/odbc/exports.h"
#include "src/odbc/lmoinit.h"
#include "src/odbc/odbcwide.h"
#include "src/odbc/qvprnt.h"

namespace {

constexpr int32_t kNameChars = 129;


// A narrow catalog name widened into a frame buffer; NULL for a name that is
// NULL or empty. Its length is always -3.
class Name {
 public:
  // `keepEmpty`: an empty name stays an empty text.
  Name(SQLCHAR* text, SQLSMALLINT length, bool keepEmpty = false) {
    if (text == nullptr) return;
    if (length != 0) QvSQLCnvrtMultiBytesToWideChar(buf_, kNameChars, reinterpret_cast<const char*>(text), length);
    if (buf_[0] != L'\0' || keepEmpty) ptr_ = buf_;
  }
  SQLWCHAR* get() { return ptr_; }

 private:
  SQLWCHAR buf_[kNameChars] = {0};
  SQLWCHAR* ptr_ = nullptr;
};

// An application's wide catalog name in 4-byte form.
class WName {
 public:
  WName(SQLWCHAR* text, SQLSMALLINT length) : in_(text, length) {}
  bool failed() const { return in_.failed(); }
  SQLWCHAR* get() const { return in_.text(); }
  SQLSMALLINT length() const { return qvClamp16(in_.length()); }

 private:
  WideIn in_;
};

constexpr SQLSMALLINT kNts = SQL_NTS;

bool emptyName(const SQLCHAR* text, SQLSMALLINT length) {
  return text != nullptr && (length == 0 || (length == SQL_NTS && text[0] == '\0'));
}
bool allName(const SQLCHAR* text, SQLSMALLINT length) {
  if (text == nullptr || text[0] != '%') return false;
  return length == 1 || (length == SQL_NTS && text[1] == '\0');
}

// SQLTables asks for the list of catalogs, of schemas or of table types
// with "%" beside empty names: those names stay empty on the way to the wide
// body, which tells the three lists by them.
bool tablesEnumeration(SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength,
                       SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* tableType, SQLSMALLINT tableTypeLength) {
  const bool c = emptyName(catalog, catalogLength), s = emptyName(schema, schemaLength);
  const bool t = emptyName(table, tableLength);
  return (allName(catalog, catalogLength) && s && t) || (allName(schema, schemaLength) && c && t) ||
         (allName(tableType, tableTypeLength) && c && s && t);
}

}  // namespace

SQLRETURN lmoSQLColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                         SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLWCHAR* column,
                         SQLSMALLINT columnLength) {
  return qvOnStmt(stmt, QV_FN_COLUMNS, stmt, catalog, &catalogLength, schema, &schemaLength, table, &tableLength,
                  column, &columnLength);
}

SQLRETURN lmoSQLColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                        SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* column,
                        SQLSMALLINT columnLength) {
  if (ODBCTrace != 0)
    QVPrntSQLColumns(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, column,
                     columnLength);
  Name c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength), col(column, columnLength);
  const SQLRETURN rc = lmoSQLColumnsW(stmt, c.get(), kNts, s.get(), kNts, t.get(), kNts, col.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLColumns(2, rc, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, column,
                     columnLength);
  return rc;
}

SQLRETURN lmoSQLTablesW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                        SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLWCHAR* tableType,
                        SQLSMALLINT tableTypeLength) {
  return qvOnStmt(stmt, QV_FN_TABLES, stmt, catalog, &catalogLength, schema, &schemaLength, table, &tableLength,
                  tableType, &tableTypeLength);
}

SQLRETURN lmoSQLTables(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                       SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* tableType,
                       SQLSMALLINT tableTypeLength) {
  if (ODBCTrace != 0)
    QVPrntSQLTables(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength,
                    tableType, tableTypeLength);
  const bool keep =
      tablesEnumeration(catalog, catalogLength, schema, schemaLength, table, tableLength, tableType, tableTypeLength);
  Name c(catalog, catalogLength, keep), s(schema, schemaLength, keep), t(table, tableLength, keep),
      ty(tableType, tableTypeLength, keep);
  const SQLRETURN rc = lmoSQLTablesW(stmt, c.get(), kNts, s.get(), kNts, t.get(), kNts, ty.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLTables(2, rc, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, tableType,
                    tableTypeLength);
  return rc;
}

SQLRETURN lmoSQLStatisticsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                            SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                            SQLUSMALLINT reserved) {
  return qvOnStmt(stmt, QV_FN_STATISTICS, stmt, catalog, &catalogLength, schema, &schemaLength, table, &tableLength,
                  &unique, &reserved);
}

SQLRETURN lmoSQLStatistics(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                           SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                           SQLUSMALLINT reserved) {
  if (ODBCTrace != 0)
    QVPrntSQLStatistics(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength,
                        unique, reserved);
  Name c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
  const SQLRETURN rc = lmoSQLStatisticsW(stmt, c.get(), kNts, s.get(), kNts, t.get(), kNts, unique, reserved);
  if (ODBCTrace != 0)
    QVPrntSQLStatistics(2, rc, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, unique,
                        reserved);
  return rc;
}

SQLRETURN lmoSQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLWCHAR* catalog,
                                SQLSMALLINT catalogLength, SQLWCHAR* schema, SQLSMALLINT schemaLength,
                                SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  return qvOnStmt(stmt, QV_FN_SPECIALCOLUMNS, stmt, &identifierType, catalog, &catalogLength, schema, &schemaLength,
                  table, &tableLength, &scope, &nullable);
}

SQLRETURN lmoSQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLCHAR* catalog,
                               SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                               SQLSMALLINT tableLength, SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  if (ODBCTrace != 0)
    QVPrntSQLSpecialColumns(1, SQL_SUCCESS, stmt, identifierType, catalog, catalogLength, schema, schemaLength,
                            table, tableLength, scope, nullable);
  Name c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
  const SQLRETURN rc =
      lmoSQLSpecialColumnsW(stmt, identifierType, c.get(), kNts, s.get(), kNts, t.get(), kNts, scope, nullable);
  if (ODBCTrace != 0)
    QVPrntSQLSpecialColumns(2, rc, stmt, identifierType, catalog, catalogLength, schema, schemaLength, table,
                            tableLength, scope, nullable);
  return rc;
}

SQLRETURN lmoSQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                             SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength) {
  return qvOnStmt(stmt, QV_FN_PRIMARYKEYS, stmt, catalog, &catalogLength, schema, &schemaLength, table, &tableLength);
}

SQLRETURN lmoSQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                            SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength) {
  if (ODBCTrace != 0)
    QVPrntSQLPrimaryKeys(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength);
  Name c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
  const SQLRETURN rc = lmoSQLPrimaryKeysW(stmt, c.get(), kNts, s.get(), kNts, t.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLPrimaryKeys(2, rc, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength);
  return rc;
}

SQLRETURN lmoSQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR* pkCatalog, SQLSMALLINT pkCatalogLength, SQLWCHAR* pkSchema,
                             SQLSMALLINT pkSchemaLength, SQLWCHAR* pkTable, SQLSMALLINT pkTableLength,
                             SQLWCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLWCHAR* fkSchema,
                             SQLSMALLINT fkSchemaLength, SQLWCHAR* fkTable, SQLSMALLINT fkTableLength) {
  return qvOnStmt(stmt, QV_FN_FOREIGNKEYS, stmt, pkCatalog, &pkCatalogLength, pkSchema, &pkSchemaLength, pkTable,
                  &pkTableLength, fkCatalog, &fkCatalogLength, fkSchema, &fkSchemaLength, fkTable, &fkTableLength);
}

SQLRETURN lmoSQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLength, SQLCHAR* pkSchema,
                            SQLSMALLINT pkSchemaLength, SQLCHAR* pkTable, SQLSMALLINT pkTableLength,
                            SQLCHAR* fkCatalog, SQLSMALLINT fkCatalogLength, SQLCHAR* fkSchema,
                            SQLSMALLINT fkSchemaLength, SQLCHAR* fkTable, SQLSMALLINT fkTableLength) {
  if (ODBCTrace != 0)
    QVPrntSQLForeignKeys(1, SQL_SUCCESS, stmt, pkCatalog, pkCatalogLength, pkSchema, pkSchemaLength, pkTable,
                         pkTableLength, fkCatalog, fkCatalogLength, fkSchema, fkSchemaLength, fkTable, fkTableLength);
  Name pc(pkCatalog, pkCatalogLength), ps(pkSchema, pkSchemaLength), pt(pkTable, pkTableLength);
  Name fc(fkCatalog, fkCatalogLength), fs(fkSchema, fkSchemaLength), ft(fkTable, fkTableLength);
  const SQLRETURN rc = lmoSQLForeignKeysW(stmt, pc.get(), kNts, ps.get(), kNts, pt.get(), kNts, fc.get(), kNts,
                                          fs.get(), kNts, ft.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLForeignKeys(2, rc, stmt, pkCatalog, pkCatalogLength, pkSchema, pkSchemaLength, pkTable, pkTableLength,
                         fkCatalog, fkCatalogLength, fkSchema, fkSchemaLength, fkTable, fkTableLength);
  return rc;
}

SQLRETURN lmoSQLProceduresW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                            SQLSMALLINT schemaLength, SQLWCHAR* procedure, SQLSMALLINT procedureLength) {
  return qvOnStmt(stmt, QV_FN_PROCEDURES, stmt, catalog, &catalogLength, schema, &schemaLength, procedure,
                  &procedureLength);
}

SQLRETURN lmoSQLProcedures(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                           SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength) {
  if (ODBCTrace != 0)
    QVPrntSQLProcedures(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, procedure,
                        procedureLength);
  Name c(catalog, catalogLength), s(schema, schemaLength), p(procedure, procedureLength);
  const SQLRETURN rc = lmoSQLProceduresW(stmt, c.get(), kNts, s.get(), kNts, p.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLProcedures(2, rc, stmt, catalog, catalogLength, schema, schemaLength, procedure, procedureLength);
  return rc;
}

SQLRETURN lmoSQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                                  SQLSMALLINT schemaLength, SQLWCHAR* procedure, SQLSMALLINT procedureLength,
                                  SQLWCHAR* column, SQLSMALLINT columnLength) {
  return qvOnStmt(stmt, QV_FN_PROCEDURECOLUMNS, stmt, catalog, &catalogLength, schema, &schemaLength, procedure,
                  &procedureLength, column, &columnLength);
}

SQLRETURN lmoSQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                 SQLSMALLINT schemaLength, SQLCHAR* procedure, SQLSMALLINT procedureLength,
                                 SQLCHAR* column, SQLSMALLINT columnLength) {
  if (ODBCTrace != 0)
    QVPrntSQLProcedureColumns(1, SQL_SUCCESS, stmt, catalog, catalogLength, schema, schemaLength, procedure,
                              procedureLength, column, columnLength);
  Name c(catalog, catalogLength), s(schema, schemaLength), p(procedure, procedureLength), col(column, columnLength);
  const SQLRETURN rc = lmoSQLProcedureColumnsW(stmt, c.get(), kNts, s.get(), kNts, p.get(), kNts, col.get(), kNts);
  if (ODBCTrace != 0)
    QVPrntSQLProcedureColumns(2, rc, stmt, catalog, catalogLength, schema, schemaLength, procedure, procedureLength,
                              column, columnLength);
  return rc;
}

SQLRETURN lmoSQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT sqlType) {
  return qvOnStmt(stmt, QV_FN_GETTYPEINFO, stmt, &sqlType);
}

SQLRETURN lmoSQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT sqlType) {
  if (ODBCTrace != 0) QVPrntSQLGetTypeInfo(1, SQL_SUCCESS, stmt, sqlType);
  const SQLRETURN rc = lmoSQLGetTypeInfoW(stmt, sqlType);
  if (ODBCTrace != 0) QVPrntSQLGetTypeInfo(2, rc, stmt, sqlType);
  return rc;
}

QV_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                       SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                                       SQLCHAR* column, SQLSMALLINT columnLength) {
  return qvExport([&] {
    return lmoSQLColumns(stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, column, columnLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                                        SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table,
                                        SQLSMALLINT tableLength, SQLWCHAR* column, SQLSMALLINT columnLength) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength), col(column, columnLength);
    if (c.failed() || s.failed() || t.failed() || col.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLColumnsW(stmt, c.get(), c.length(), s.get(), s.length(), t.get(), t.length(), col.get(),
                          col.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                                      SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength,
                                      SQLCHAR* tableType, SQLSMALLINT tableTypeLength) {
  return qvExport([&] {
    return lmoSQLTables(stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, tableType,
                        tableTypeLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength, SQLWCHAR* schema,
                                       SQLSMALLINT schemaLength, SQLWCHAR* table, SQLSMALLINT tableLength,
                                       SQLWCHAR* tableType, SQLSMALLINT tableTypeLength) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength), ty(tableType, tableTypeLength);
    if (c.failed() || s.failed() || t.failed() || ty.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLTablesW(stmt, c.get(), c.length(), s.get(), s.length(), t.get(), t.length(), ty.get(), ty.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                          SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                                          SQLSMALLINT tableLength, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return qvExport([&] {
    return lmoSQLStatistics(stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, unique, reserved);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                                           SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table,
                                           SQLSMALLINT tableLength, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
    if (c.failed() || s.failed() || t.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLStatisticsW(stmt, c.get(), c.length(), s.get(), s.length(), t.get(), t.length(), unique, reserved);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLCHAR* catalog,
                                              SQLSMALLINT catalogLength, SQLCHAR* schema, SQLSMALLINT schemaLength,
                                              SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT scope,
                                              SQLUSMALLINT nullable) {
  return qvExport([&] {
    return lmoSQLSpecialColumns(stmt, identifierType, catalog, catalogLength, schema, schemaLength, table,
                                tableLength, scope, nullable);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT identifierType, SQLWCHAR* catalog,
                                               SQLSMALLINT catalogLength, SQLWCHAR* schema, SQLSMALLINT schemaLength,
                                               SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT scope,
                                               SQLUSMALLINT nullable) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
    if (c.failed() || s.failed() || t.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLSpecialColumnsW(stmt, identifierType, c.get(), c.length(), s.get(), s.length(), t.get(), t.length(),
                                 scope, nullable);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                           SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                                           SQLSMALLINT tableLength) {
  return qvExport(
      [&] { return lmoSQLPrimaryKeys(stmt, catalog, catalogLength, schema, schemaLength, table, tableLength); });
}
QV_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                                            SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table,
                                            SQLSMALLINT tableLength) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), t(table, tableLength);
    if (c.failed() || s.failed() || t.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLPrimaryKeysW(stmt, c.get(), c.length(), s.get(), s.length(), t.get(), t.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLength,
                                           SQLCHAR* pkSchema, SQLSMALLINT pkSchemaLength, SQLCHAR* pkTable,
                                           SQLSMALLINT pkTableLength, SQLCHAR* fkCatalog, SQLSMALLINT fkCatalogLength,
                                           SQLCHAR* fkSchema, SQLSMALLINT fkSchemaLength, SQLCHAR* fkTable,
                                           SQLSMALLINT fkTableLength) {
  return qvExport([&] {
    return lmoSQLForeignKeys(stmt, pkCatalog, pkCatalogLength, pkSchema, pkSchemaLength, pkTable, pkTableLength,
                             fkCatalog, fkCatalogLength, fkSchema, fkSchemaLength, fkTable, fkTableLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR* pkCatalog, SQLSMALLINT pkCatalogLength,
                                            SQLWCHAR* pkSchema, SQLSMALLINT pkSchemaLength, SQLWCHAR* pkTable,
                                            SQLSMALLINT pkTableLength, SQLWCHAR* fkCatalog,
                                            SQLSMALLINT fkCatalogLength, SQLWCHAR* fkSchema,
                                            SQLSMALLINT fkSchemaLength, SQLWCHAR* fkTable, SQLSMALLINT fkTableLength) {
  return qvExport([&] {
    WName pc(pkCatalog, pkCatalogLength), ps(pkSchema, pkSchemaLength), pt(pkTable, pkTableLength);
    WName fc(fkCatalog, fkCatalogLength), fs(fkSchema, fkSchemaLength), ft(fkTable, fkTableLength);
    if (pc.failed() || ps.failed() || pt.failed() || fc.failed() || fs.failed() || ft.failed())
      return SQLRETURN{SQL_ERROR};
    return lmoSQLForeignKeysW(stmt, pc.get(), pc.length(), ps.get(), ps.length(), pt.get(), pt.length(), fc.get(),
                              fc.length(), fs.get(), fs.length(), ft.get(), ft.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLProcedures(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                          SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure,
                                          SQLSMALLINT procedureLength) {
  return qvExport([&] {
    return lmoSQLProcedures(stmt, catalog, catalogLength, schema, schemaLength, procedure, procedureLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                                           SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* procedure,
                                           SQLSMALLINT procedureLength) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), p(procedure, procedureLength);
    if (c.failed() || s.failed() || p.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLProceduresW(stmt, c.get(), c.length(), s.get(), s.length(), p.get(), p.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                                SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* procedure,
                                                SQLSMALLINT procedureLength, SQLCHAR* column,
                                                SQLSMALLINT columnLength) {
  return qvExport([&] {
    return lmoSQLProcedureColumns(stmt, catalog, catalogLength, schema, schemaLength, procedure, procedureLength,
                                  column, columnLength);
  });
}
QV_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                                                 SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* procedure,
                                                 SQLSMALLINT procedureLength, SQLWCHAR* column,
                                                 SQLSMALLINT columnLength) {
  return qvExport([&] {
    WName c(catalog, catalogLength), s(schema, schemaLength), p(procedure, procedureLength), col(column, columnLength);
    if (c.failed() || s.failed() || p.failed() || col.failed()) return SQLRETURN{SQL_ERROR};
    return lmoSQLProcedureColumnsW(stmt, c.get(), c.length(), s.get(), s.length(), p.get(), p.length(), col.get(),
                                   col.length());
  });
}
QV_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT sqlType) {
  return qvExport([&] { return lmoSQLGetTypeInfo(stmt, sqlType); });
}
QV_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT sqlType) {
  return qvExport([&] { return lmoSQLGetTypeInfoW(stmt, sqlType); });
}
