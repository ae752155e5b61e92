// The catalog calls and the ODBC 3 road of the driver managers against
// rdapeer, on a schema of three tables with keys and indexes and a view:
// unixODBC treats the driver as an ODBC 3 driver (it exports
// SQLAllocHandle), isql's "help" asks for the tables and a table's columns,
// pyodbc reads the catalog and commits and rolls back with autocommit off,
// a program on libodbc asks SQLGetFunctions, and one on iODBC runs the
// wide catalog calls in 4-byte characters.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/memory_dir.h"
#include "support/odbc_apps.h"
#include "support/peer_process.h"
#include "support/stack.h"

namespace {

const std::string kLong = "a_column_name_longer_than_31_characters";

class DriverManagerCatalog : public ::testing::Test {
 protected:
  void SetUp() override {
    sql("CREATE TABLE dept(id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL);"
        "CREATE UNIQUE INDEX dept_name ON dept(name);"
        "CREATE TABLE emp(id INTEGER PRIMARY KEY, dept INTEGER REFERENCES dept(id), " + kLong + " VARCHAR(10));"
        "CREATE INDEX emp_dept ON emp(dept);"
        "CREATE TABLE proj(code VARCHAR(8), emp INTEGER REFERENCES emp(id), PRIMARY KEY(code, emp));"
        "CREATE VIEW staff AS SELECT e.id, d.name FROM emp e JOIN dept d ON e.dept = d.id;"
        "CREATE TABLE rdapeer_procedures(name TEXT, kind TEXT, seq INTEGER, body TEXT);"
        "INSERT INTO rdapeer_procedures VALUES ('headcount', 'IN', 1, 'd INTEGER'), "
        "('headcount', 'RESULT', 1, 'SELECT count(*) FROM emp WHERE dept = ?1');"
        "INSERT INTO dept VALUES (1, 'sales');");
    box_ = std::make_unique<OdbcAppSandbox>(RDADRIVER_PATH, "rdatest", "");
    peer_ = std::make_unique<PeerProcess>(
        box_->dir() / "peer",
        std::vector<std::string>{"--user", "u:p", "--db", database(), "--record", (box_->dir() / "record").string()});
    ASSERT_GT(peer_->port(), 0);
    StackConfig c;
    c.serverPort = peer_->port();
    writeStackConfig(box_->dir(), c);
  }
  std::string database() const { return (memory_.path() / "test.sqlite").string(); }
  void sql(const std::string& text) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  std::vector<std::string> query(const std::string& text) const {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &s, nullptr) == SQLITE_OK)
      while (sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
          const auto* t = sqlite3_column_text(s, i);
          row += (i > 0 ? "|" : "") + std::string(t != nullptr ? reinterpret_cast<const char*>(t) : "NULL");
        }
        rows.push_back(row);
      }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
  }
  // The texts of the requests and the values sent with them (a prepared
  // text travels as a value).
  std::vector<std::string> sentTexts() const {
    std::vector<std::string> texts;
    for (const PeerRecordLine& l : readPeerRecord(box_->dir() / "record")) {
      if (l.kind != "R-ExecuteDBL") continue;
      texts.push_back(l.field("text").value_or(""));
      for (const std::string& a : l.all("arg")) texts.push_back(a);
    }
    return texts;
  }
  bool sent(const std::string& part) const {
    for (const std::string& t : sentTexts())
      if (t.find(part) != std::string::npos) return true;
    return false;
  }

  MemoryDir memory_;
  std::unique_ptr<OdbcAppSandbox> box_;
  std::unique_ptr<PeerProcess> peer_;
};

TEST_F(DriverManagerCatalog, IsqlHelpListsTablesAndColumns) {
  const ProgramRun r = box_->run({"isql", "-v", "rdatest", "u", "p"},
                                 "help\nhelp emp\nSELECT " + kLong + " FROM emp\nquit\n");
  expectCleanRun(r, "isql");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(sent("FROM QV_TABLES ")) << r.out;
  EXPECT_TRUE(sent("FROM QV_COLUMNS  WHERE (PSEUDO_COLUMN IS NULL OR PSEUDO_COLUMN != 2) AND TABLE_NAME LIKE N'emp' "))
      << r.out;
  // The column's label, longer than 31 characters, heads its column whole.
  EXPECT_NE(r.out.find("| " + kLong), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Driver not capable"), std::string::npos) << r.out;
  for (const char* shown : {"| proj", "| staff", "| VIEW", "| INTEGER"})
    EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;
}

// pyodbc with autocommit off commits and rolls back, and reads the catalog.
TEST_F(DriverManagerCatalog, PyodbcCommitsRollsBackAndReadsTheCatalog) {
  const ProgramRun r = box_->run(
      {"/usr/bin/python3", "-c",
       "import pyodbc, sys\n"
       "try:\n"
       "    c = pyodbc.connect('DSN=rdatest;UID=u;PWD=p', autocommit=False)\n"
       "    cur = c.cursor()\n"
       "    cur.execute(\"INSERT INTO dept VALUES (2, 'it')\")\n"
       "    c.rollback()\n"
       "    cur.execute(\"INSERT INTO dept VALUES (3, 'hr')\")\n"
       "    c.commit()\n"
       "    own = lambda n: not n.lower().startswith(('rdapeer', 'sqlite', 'qv_'))\n"
       "    print('tables', sorted((r[2], r[3]) for r in cur.tables() if own(r[2])))\n"
       "    print('columns', [r[3] for r in cur.columns(table='emp')])\n"
       "    print('primarykeys', [(r[3], r[4]) for r in cur.primaryKeys('proj')])\n"
       "    print('foreignkeys', [(r[2], r[3], r[6], r[7]) for r in cur.foreignKeys(table='dept')])\n"
       "    print('statistics', sorted(set(r[5] for r in cur.statistics('dept') if r[5])))\n"
       "    print('procedures', [r[2] for r in cur.procedures()])\n"
       "    print('types', sorted(set(r[1] for r in cur.getTypeInfo(pyodbc.SQL_INTEGER))))\n"
       "    c.close()\n"
       "except pyodbc.Error as e:\n"
       "    print('error', e.args[0], e.args[1])\n"});
  expectCleanRun(r, "pyodbc");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
  EXPECT_EQ(query("SELECT id, name FROM dept ORDER BY id"), (std::vector<std::string>{"1|sales", "3|hr"}));
  for (const std::string& line : std::vector<std::string>{
           "tables [('dept', 'TABLE'), ('emp', 'TABLE'), ('proj', 'TABLE'), ('staff', 'VIEW')]\n",
        "columns ['id', 'dept', '" + kLong + "']\n", "primarykeys [('code', 1), ('emp', 2)]\n",
        "foreignkeys [('dept', 'id', 'emp', 'dept')]\n", "statistics ['dept_name']\n", "procedures ['headcount']\n",
        "types [4]\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

// The rows of odbc_client's catalogw in the order the calls come, each
// text with its length in bytes of `unit`-byte wide characters.
void expectCatalogRows(const std::string& out, size_t unit) {
  const auto value = [&](int column, const std::string& text) {
    return "value " + std::to_string(column) + " rc 0 " + text + " bytes " + std::to_string(text.size() * unit) + "\n";
  };
  size_t at = 0;
  for (const std::string& line :
       {value(3, "proj"), value(4, "TABLE"), value(3, "emp"), value(3, "dept"), value(3, "staff"), value(4, "VIEW"),
        std::string("fetch 100\n"),  // tables
        value(4, "id"), value(6, "INTEGER"), value(4, "dept"), value(4, kLong), value(6, "VARCHAR"),
        std::string("fetch 100\n"),  // columns
        value(3, "emp"), value(4, "id"), value(5, "1"), std::string("fetch 100\n"),  // primary key
        value(3, "emp"), value(4, "id"), value(7, "proj"), value(8, "emp"), std::string("fetch 100\n"),
        value(6, "emp_dept"), value(9, "dept"), std::string("fetch 100\n"),  // statistics
        value(3, "headcount"), std::string("fetch 100\n"),                   // procedures
        value(1, "INTEGER"), value(2, "4"), std::string("fetch 100\n")}) {
    const size_t found = out.find(line, at);
    EXPECT_NE(found, std::string::npos) << line << " after byte " << at << " of\n" << out;
    if (found != std::string::npos) at = found + line.size();
  }
}

// A program of its own on unixODBC's library: the driver manager asked the
// driver which functions it has.
TEST_F(DriverManagerCatalog, GetFunctionsThroughUnixOdbcAndWideCatalogCalls) {
  const ProgramRun r = box_->run({ODBC_CLIENT_UNIXODBC, "catalogw", "rdatest", "u", "p", "emp"});
  expectCleanRun(r, "odbc_client");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("functions moreresults 0 execdirect 1\n"), std::string::npos) << r.out;
  for (const char* line : {"tables rc 0\n", "columns rc 0\n", "primarykeys rc 0\n", "foreignkeys rc 0\n",
                           "statistics rc 0\n", "procedures rc 0\n", "types rc 0\n",
                           "column 3 rc 0 TABLE_NAME length 10", "column 4 rc 0 COLUMN_NAME length 11",
                           "column 1 rc 0 TYPE_NAME length 9"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  // The rows come back as SQL_C_WCHAR in UTF-16.
  expectCatalogRows(r.out, 2);
}

// iODBC hands the driver 4-byte wide text: the same calls give the same
// names.
TEST_F(DriverManagerCatalog, IodbcWideCatalogCallsInFourByteCharacters) {
  std::ofstream(box_->dir() / "odbc.ini") << "[rdatest]\nDriver=" << RDADRIVER_PATH << "\n";
  const ProgramRun r =
      box_->run({ODBC_CLIENT_IODBC, "catalogw", "rdatest", "u", "p", "emp"}, "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC catalogw");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* line : {"tables rc 0\n", "columns rc 0\n", "primarykeys rc 0\n", "foreignkeys rc 0\n",
                           "statistics rc 0\n", "procedures rc 0\n", "types rc 0\n",
                           "column 3 rc 0 TABLE_NAME length 10", "column 4 rc 0 COLUMN_NAME length 11"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  expectCatalogRows(r.out, 4);
  EXPECT_TRUE(sent("WHERE (TABLE_TYPE LIKE 'TABLE' OR TABLE_TYPE LIKE 'VIEW') ORDER BY TABLE_TYPE,TABLE_CAT,"
                   "TABLE_SCHEM"));
  EXPECT_TRUE(sent("WHERE PKTABLE_NAME = N'emp' AND FKTABLE_NAME is null "));
}

}  // namespace
