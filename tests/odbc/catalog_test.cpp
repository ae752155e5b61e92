// The catalog calls against rdapeer, through the exports: each result comes
// with the columns the call promises, the narrow SQLTables keeps the empty
// names that ask for the lists of catalogs, schemas and table types, quotes
// in names reach the server doubled, and a server of driver type 1 has no
// procedures and no keys. Each test's driver runs in a child process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "src/odbc/lmocatalog.h"
#include "src/odbc/lmoinit.h"
#include "stmt_fixture.h"

namespace {

// The columns of the statement's result, by SQLDescribeCol.
std::vector<std::string> columns(SQLHSTMT stmt) {
  std::vector<std::string> names;
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLCHAR name[64] = {0};
    EXPECT_EQ(SQLDescribeCol(stmt, c, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    names.emplace_back(reinterpret_cast<char*>(name));
  }
  return names;
}

SQLCHAR* u(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

class Catalog : public Statements {
 protected:
  void schema(Session& s) {
    for (const char* text :
         {"CREATE TABLE dept(id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL)",
          "CREATE UNIQUE INDEX dept_name ON dept(name)",
          "CREATE TABLE emp(id INTEGER PRIMARY KEY, dept INTEGER REFERENCES dept(id))",
          "CREATE VIEW staff AS SELECT e.id, d.name FROM emp e JOIN dept d ON e.dept = d.id"})
      ASSERT_EQ(s.exec(text), SQL_SUCCESS) << text;
  }
};

TEST_F(Catalog, EveryCallAnswersWithItsColumns) {
  start();
  inChild([&] {
    Session s;
    schema(s);
    SQLHSTMT stmt = s.newStatement();
    const struct {
      const char* what;
      std::function<SQLRETURN()> call;
      std::vector<std::string> names;
    } calls[] = {
        {"tables", [&] { return SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, u("'TABLE', 'VIEW'"), SQL_NTS); },
         {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}},
        {"columns", [&] { return SQLColumns(stmt, nullptr, 0, nullptr, 0, u("emp"), SQL_NTS, nullptr, 0); },
         {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE",
          "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
          "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}},
        {"statistics",
         [&] { return SQLStatistics(stmt, nullptr, 0, nullptr, 0, u("dept"), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK); },
         {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME", "TYPE",
          "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES", "FILTER_CONDITION"}},
        {"special columns",
         [&] {
           return SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, u("emp"), SQL_NTS, SQL_SCOPE_CURROW,
                                    SQL_NULLABLE);
         },
         {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS",
          "PSEUDO_COLUMN"}},
        {"primary keys", [&] { return SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, u("emp"), SQL_NTS); },
         {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}},
        {"foreign keys",
         [&] { return SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, u("dept"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0); },
         {"PKTABLE_CAT", "PKTABLE_SCHEM", "PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_CAT", "FKTABLE_SCHEM",
          "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "FK_NAME", "PK_NAME",
          "DEFFERABILITY"}},
        {"procedures", [&] { return SQLProcedures(stmt, nullptr, 0, nullptr, 0, nullptr, 0); },
         {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "RESERVED_1", "RESERVED_2", "RESERVED_3", "REMARKS",
          "PROCEDURE_TYPE"}},
        {"procedure columns", [&] { return SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
         {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "DATA_TYPE",
          "TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS"}},
        {"types", [&] { return SQLGetTypeInfo(stmt, SQL_INTEGER); },
         {"TYPE_NAME", "DATA_TYPE", "PRECISION", "LITERAL_PREFIX", "LITERAL_SUFFIX", "CREATE_PARAMS", "NULLABLE",
          "CASE_SENSITIVE", "SEARCHABLE", "UNSIGNED_ATTRIBUTE", "FIXED_PREC_SCALE", "AUTO_INCREMENT",
          "LOCAL_TYPE_NAME", "MINIMUM_SCALE", "MAXIMUM_SCALE", "SQL_DATA_TYPE", "SQL_DATETIME_SUB",
          "NUM_PREC_RADIX"}},
    };
    for (const auto& c : calls) {
      EXPECT_EQ(c.call(), SQL_SUCCESS) << c.what << "\n" << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(columns(stmt), c.names) << c.what;
      EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// "%" beside empty names asks for a list of one column, in both forms.
TEST_F(Catalog, ListsOfCatalogsSchemasAndTypes) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLTables(stmt, u("%"), SQL_NTS, u(""), SQL_NTS, u(""), 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(columns(stmt), std::vector<std::string>{"TABLE_CAT"});
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLTables(stmt, u(""), 0, u("%"), 1, u(""), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(columns(stmt), std::vector<std::string>{"TABLE_SCHEM"});
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    SQLWCHAR all[] = L"%", none[] = L"";
    EXPECT_EQ(SQLTablesW(stmt, none, SQL_NTS, none, SQL_NTS, none, SQL_NTS, all, SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(columns(stmt), std::vector<std::string>{"TABLE_TYPE"});
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    // An empty name elsewhere stays what the narrow form makes of it: none.
    EXPECT_EQ(SQLTables(stmt, u("%"), SQL_NTS, nullptr, 0, u(""), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(columns(stmt).size(), 5u);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  std::vector<std::string> sent;
  for (const PeerRecordLine& l : executes())
    for (const std::string& a : l.all("arg")) sent.push_back(a);
  const std::vector<std::string> expected = {
      "SELECT DISTINCT TABLE_QUALIFIER as TABLE_CAT FROM QV_TABLES WHERE TABLE_QUALIFIER LIKE '%' ORDER BY TABLE_CAT",
      "SELECT DISTINCT TABLE_OWNER as TABLE_SCHEM FROM QV_TABLES WHERE TABLE_OWNER LIKE '%' ORDER BY TABLE_SCHEM",
      "SELECT DISTINCT TABLE_TYPE FROM QV_TABLES WHERE TABLE_TYPE LIKE '%' ORDER BY TABLE_TYPE"};
  for (const std::string& text : expected) {
    bool found = false;
    for (const std::string& a : sent) found = found || a.find(text) != std::string::npos;
    EXPECT_TRUE(found) << text;
  }
}

// Unescaped, "O'Brien" would end its literal and break the statement.
TEST_F(Catalog, QuotesInNamesReachTheServerDoubled) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE \"O'Brien\"(\"it's\" INTEGER)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    for (const char* name : {"O'Brien", "x' OR '1'='1", "'"}) {
      EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, u(name), SQL_NTS, u("it's"), SQL_NTS), SQL_SUCCESS)
          << name << "\n" << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
      SQLWCHAR wide[32];
      for (int i = 0;; ++i)
        if ((wide[i] = static_cast<unsigned char>(name[i])) == 0) break;
      EXPECT_EQ(SQLPrimaryKeysW(stmt, wide, SQL_NTS, nullptr, 0, wide, SQL_NTS), SQL_SUCCESS) << name;
      EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

TEST_F(Catalog, DriverTypeOneHasNoProceduresAndNoKeys) {
  start();
  inChild([&] {
    Session s;
    s.rec()->driverTypeNumber = 1;
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, u("emp"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt),
              "S1C00:" + narrowText(kMessagePrefix) +
                  "Driver not capable - SQLPrimaryKeysW: not supported by the current datasource.\n");
    EXPECT_EQ(SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, u("emp"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0),
              SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt),
              "S1C00:" + narrowText(kMessagePrefix) +
                  "Driver not capable - SQLForeignKeysW: not supported by the current datasource.\n");
    EXPECT_EQ(SQLProcedures(stmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt),
              "S1C00:" + narrowText(kMessagePrefix) +
                  "Driver not capable - SQLProceduresW: not supported by the current datasource.\n");
    EXPECT_EQ(SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt),
              "S1C00:" + narrowText(kMessagePrefix) +
                  "Driver not capable - SQLProcedureColumnsW is not supported by the current datasource.\n");
    // The others still answer.
    EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// The owner of the catalog tables and the escape clause come from the
// configuration, read at start-up.
TEST_F(Catalog, OwnerAndEscapeClauseFromTheConfiguration) {
  start();
  {
    const std::string ini = std::getenv("MIRODEL_INI");
    std::ifstream in(ini);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("[CLIENT]\n");
    ASSERT_NE(at, std::string::npos) << text;
    text.insert(at + 9, "SchemaOwner=SYS\nUseSchemaLikeEscapeClause=1\n");
    std::ofstream(ini) << text;
  }
  inChild([&] {
    Session s;
    EXPECT_STREQ(gsSchemaOwner, "SYS");
    EXPECT_EQ(giUseSchemaLikeEscapeClause, 1);
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, u("e%"), SQL_NTS, nullptr, 0), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  bool found = false;
  for (const PeerRecordLine& l : executes())
    for (const std::string& a : l.all("arg"))
      found = found || a.find("FROM SYS.QV_TABLES  WHERE TABLE_NAME LIKE N'e%'  ESCAPE '\\' ") != std::string::npos;
  EXPECT_TRUE(found);
}

TEST_F(Catalog, RefusedHandlesAndLengths) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    SQLWCHAR name[] = L"emp";
    EXPECT_EQ(SQLColumnsW(stmt, nullptr, 0, nullptr, 0, name, -7, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt), "S1090:" + narrowText(kMessagePrefix) + "Invalid string or buffer length\n");
    EXPECT_EQ(SQLTablesW(stmt, name, -100, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt), "S1090:" + narrowText(kMessagePrefix) + "Invalid string or buffer length\n");
    int bogus = 0;
    EXPECT_EQ(SQLGetTypeInfo(&bogus, SQL_ALL_TYPES), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLTables(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

}  // namespace
