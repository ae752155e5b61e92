// Statements through driver managers against rdapeer, tried as a new user
// would: isql (plain and -e) and iusql through unixODBC create a table,
// insert, select, and provoke a duplicate key, a syntax error and an error
// whose text is longer than 256 characters; python3-pyodbc inserts values
// of every Python type with parameters and many rows at once and reads
// them back. What the peer's SQLite file holds is read by the test too.
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

const std::string kPrefix = "[Quenlow][Varenta JDBC]";

class DriverManagerStatements : public ::testing::Test {
 protected:
  void SetUp() override {
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
  std::vector<std::string> sentTexts() const {
    std::vector<std::string> texts;
    for (const PeerRecordLine& l : readPeerRecord(box_->dir() / "record"))
      if (l.kind == "R-ExecuteDBL") texts.push_back(l.field("text").value_or(""));
    return texts;
  }
  // Rows of a query on the peer's database, columns joined by '|'.
  std::vector<std::string> query(const std::string& sql) const {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
      while (sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
          const auto* t = sqlite3_column_text(s, i);
          row += (i > 0 ? "|" : "") + std::string(t != nullptr ? reinterpret_cast<const char*>(t) : "NULL");
        }
        rows.push_back(row);
      }
    } else {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return rows;
  }

  MemoryDir memory_;
  std::unique_ptr<OdbcAppSandbox> box_;
  std::unique_ptr<PeerProcess> peer_;
};

// A table name long enough to give an error text beyond 256 characters.
const std::string kLongName = "t" + std::string(300, 'x');

TEST_F(DriverManagerStatements, IsqlAndIusqlRunStatementsAndShowEveryErrorWhole) {
  // iusql widens what is typed byte by byte: its text is plain ASCII.
  const struct {
    std::vector<std::string> argv;
    const char* table;
    std::string name;
    const char* hex;
  } apps[] = {
      {{"isql", "-v", "rdatest", "u", "p"}, "a", "\xC3\xA9t\xC3\xA9", "C3A974C3A9"},
      {{"isql", "-v", "-e", "rdatest", "u", "p"}, "b", "\xC3\xA9t\xC3\xA9", "C3A974C3A9"},
      {{"iusql", "-v", "rdatest", "u", "p"}, "c", "ete", "657465"},
  };
  for (const auto& app : apps) {
    const std::string t = app.table;
    const std::string input = "CREATE TABLE " + t + "(id INTEGER PRIMARY KEY, name VARCHAR(20), f DOUBLE)\n" +
                              "INSERT INTO " + t + " VALUES (1, '" + app.name + "', 2.5)\n" + "INSERT INTO " + t +
                              " VALUES (1, 'again', NULL)\n" + "INSERT INTO " + t + " VALUES (2, NULL, NULL)\n" +
                              "SELECT id, name AS label, f FROM " + t + " ORDER BY id\n" +
                              "SELECT char(233, 128512) AS e\n" + "SELEC wrong\n" +
                              "DELETE FROM " + kLongName + "\nquit\n";
    const ProgramRun r = box_->run(app.argv, input);
    const std::string what = app.argv[0] + " " + t;
    expectCleanRun(r, what);
    EXPECT_EQ(r.status, 0) << what << r.out << r.err;
    const std::string& out = r.out;
    EXPECT_NE(out.find("SQLRowCount returns 1"), std::string::npos) << what << out;
    // isql shows the SQLSTATE before the text, iusql the text alone.
    const std::string state = app.argv[0] == "isql" ? "[23000]" : "";
    EXPECT_NE(out.find(state + kPrefix + "UNIQUE constraint failed: " + t + ".id"), std::string::npos) << what << out;
    EXPECT_NE(out.find(kPrefix + "near \"SELEC\": syntax error"), std::string::npos) << what << out;
    // A character above U+FFFF comes back whole. iusql reads SQL_C_WCHAR
    // and shows each UTF-16 unit's low byte up to a zero one: U+00E9, then
    // the high surrogate D83D, then the low surrogate DE00 ends it.
    const std::string wide = app.argv[0] == "isql" ? "\xC3\xA9\xF0\x9F\x98\x80 " : "\xE9= ";
    EXPECT_NE(out.find("| " + wide), std::string::npos) << what << out;
    EXPECT_NE(out.find(kPrefix + "no such table: " + kLongName + "\n"), std::string::npos) << what << out;
    // The rows read back through the driver: labels, values and NULLs as
    // the programs show them (padded by bytes, not characters).
    for (const std::string& line :
         {std::string("| id         | label               | f                       |\n"),
          "| 1          | " + app.name + std::string(20 - app.name.size(), ' ') + "| 2.5                     |\n",
          std::string("| 2          |                     |                         |\n"),
          std::string("SQLRowCount returns -1\n2 rows fetched\n")})
      EXPECT_NE(out.find(line), std::string::npos) << what << "\n" << line << out;
    EXPECT_EQ(query("SELECT id, name, hex(name) FROM " + t),
              (std::vector<std::string>{"1|" + app.name + "|" + app.hex, "2|NULL|"}))
        << what;
  }
  // What was typed reached the peer as UTF-8.
  bool seen = false;
  for (const std::string& text : sentTexts()) seen = seen || text.find("VALUES (1, '\xC3\xA9t\xC3\xA9', 2.5)") != std::string::npos;
  EXPECT_TRUE(seen);
}

// The text comes back through SQLGetData as SQL_C_WCHAR: unixODBC hands
// the wide request to the driver, which gives U+1F600 as its surrogate pair.
TEST_F(DriverManagerStatements, PyodbcInsertsEveryKindOfParameterAndReadsItBack) {
  const ProgramRun r = box_->run(
      {"/usr/bin/python3", "-c",
       "import pyodbc, datetime\n"
       "c = pyodbc.connect('DSN=rdatest;UID=u;PWD=p', autocommit=True)\n"
       "cur = c.cursor()\n"
       "cur.execute('CREATE TABLE t(s VARCHAR(40), i INTEGER, f DOUBLE, b BLOB, n VARCHAR(5), d TIMESTAMP)')\n"
       "cur.execute('INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)', '\\u00e9\\U0001F600', 42, 2.5, b'\\x00\\x01\\xff', None,\n"
       "            datetime.datetime(2001, 2, 3, 4, 5, 6))\n"
       "cur.execute('CREATE TABLE m(i INTEGER, s VARCHAR(10))')\n"
       "cur.executemany('INSERT INTO m VALUES (?, ?)', [(i, 'r%d' % i) for i in range(1000)])\n"
       "c.setdecoding(pyodbc.SQL_CHAR, encoding='utf-16le', ctype=pyodbc.SQL_WCHAR)\n"
       "row = cur.execute('SELECT s, i, f, b, n, d FROM t').fetchone()\n"
       "print('row', ascii(tuple(row)))\n"
       "want = ('\\u00e9\\U0001F600', 42, 2.5, b'\\x00\\x01\\xff', None, datetime.datetime(2001, 2, 3, 4, 5, 6))\n"
       "print('row same' if tuple(row) == want else 'row differs')\n"

       "rows = cur.execute('SELECT i, s FROM m ORDER BY i').fetchall()\n"
       "print('many', len(rows), 'same' if [tuple(r) for r in rows] == [(i, 'r%d' % i) for i in range(1000)] else "
       "'differ')\n"
       "for text in ('INSERT INTO nowhere VALUES (?)', 'DELETE FROM " + kLongName + " WHERE 1 = ?'):\n"
       "    try:\n"
       "        cur.execute(text, 1)\n"
       "    except pyodbc.Error as e:\n"
       "        print('error', e.args[0], e.args[1])\n"
       "c.close()\n"});
  expectCleanRun(r, "pyodbc");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(query("SELECT s, hex(s), i, f, hex(b), quote(n), d FROM t"),
            std::vector<std::string>{"\xC3\xA9\xF0\x9F\x98\x80|C3A9F09F9880|42|2.5|0001FF|NULL|2001-02-03 04:05:06.000000000"});
  EXPECT_EQ(query("SELECT count(*), sum(i), min(s), max(s) FROM m"), std::vector<std::string>{"1000|499500|r0|r999"});
  EXPECT_NE(r.out.find("row same\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("many 1000 same\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("error 42000 [42000] " + kPrefix + "no such table: nowhere"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("error 42000 [42000] " + kPrefix + "no such table: " + kLongName + " "), std::string::npos)
      << r.out;
}

// A program of its own on unixODBC's library: eight threads on eight
// connections (each association with a database of its own at the peer)
// bind every C type the driver takes, execute 10,000 times in all, and send
// 1 MB texts through SQLPutData as SQL_C_CHAR and as UTF-16 SQL_C_WCHAR in
// pieces that split surrogate pairs; then read every row back through bound
// columns and the long texts through SQLGetData in pieces, comparing every
// value.
TEST_F(DriverManagerStatements, EightThreadsBindEveryCTypeAndSendLongTexts) {
  PeerProcess own(box_->dir() / "own", {"--user", "u:p"});
  ASSERT_GT(own.port(), 0);
  StackConfig c;
  c.serverPort = own.port();
  writeStackConfig(box_->dir(), c);
  std::ofstream(box_->dir() / "odbcinst.ini", std::ios::app) << "Threading=0\n";
  const ProgramRun r = box_->run({ODBC_STMT_UNIXODBC, "rdatest", "u", "p", "8", "1250", "read"}, "",
                                 std::chrono::seconds(120), false);
  expectCleanRun(r, "odbc_stmt");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (int t = 0; t < 8; ++t)
    EXPECT_NE(r.out.find("thread " + std::to_string(t) + " read 1250\n"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("done 8 of 8"), std::string::npos) << r.out << r.err;
}

// iODBC hands the driver 4-byte wide text: texts in three scripts and
// above U+FFFF reach the server as UTF-8, column names come back through
// SQLDescribeColW, and an error's text through SQLErrorW.
TEST_F(DriverManagerStatements, IodbcRunsWideStatementsInFourByteCharacters) {
  std::ofstream(box_->dir() / "odbc.ini") << "[rdatest]\nDriver=" << RDADRIVER_PATH << "\n";
  const ProgramRun r = box_->run({ODBC_CLIENT_IODBC, "execw", "rdatest", "u", "p",
                                  "CREATE TABLE x(\"n\xC3\xA9v\" VARCHAR(20), \"\xD0\xB8\xD0\xBC\xD1\x8F\" VARCHAR(20), "
                                  "\"\xE5\x90\x8D\xE5\x89\x8D\" VARCHAR(20))",
                                  "INSERT INTO x VALUES ('\xC3\xA9\xF0\x9F\x98\x80', '\xD0\x9F\xD1\x80\xD0\xB8', "
                                  "'\xE6\x97\xA5\xE6\x9C\xAC')",
                                  "SELECT * FROM x", "DELETE FROM \xC3\xA9t\xC3\xA9"},
                                 "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC execw");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* line : {"exec 0 rc 0\n", "exec 1 rc 0\n", "exec 2 rc 0\ncolumns 3\n",
                           "column 1 rc 0 n\xC3\xA9v length 3 type 12\n",
                           "column 2 rc 0 \xD0\xB8\xD0\xBC\xD1\x8F length 3 type 12\n",
                           "column 3 rc 0 \xE5\x90\x8D\xE5\x89\x8D length 2 type 12\n",
                           // Read back by SQLGetData SQL_C_WCHAR, lengths in bytes of 4-byte characters.
                           "value 1 rc 0 \xC3\xA9\xF0\x9F\x98\x80 bytes 8\n",
                           "value 2 rc 0 \xD0\x9F\xD1\x80\xD0\xB8 bytes 12\n",
                           "value 3 rc 0 \xE6\x97\xA5\xE6\x9C\xAC bytes 8\nfetch 100\n", "exec 3 rc -1\n",
                           "]no such table: \xC3\xA9t\xC3\xA9\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(query("SELECT hex(\"n\xC3\xA9v\"), \"\xD0\xB8\xD0\xBC\xD1\x8F\", \"\xE5\x90\x8D\xE5\x89\x8D\" FROM x"),
            std::vector<std::string>{"C3A9F09F9880|\xD0\x9F\xD1\x80\xD0\xB8|\xE6\x97\xA5\xE6\x9C\xAC"});
}

// Through iODBC: a procedure of the peer with two result sets and output
// values, walked by SQLFetch, SQLGetData SQL_C_WCHAR and SQLMoreResults; the
// output values are there once the last set has ended.
TEST_F(DriverManagerStatements, IodbcWalksAProceduresResultSetsAndOutputValues) {
  std::ofstream(box_->dir() / "odbc.ini") << "[rdatest]\nDriver=" << RDADRIVER_PATH << "\n";
  const ProgramRun r = box_->run(
      {ODBC_CLIENT_IODBC, "callw", "rdatest", "u", "p", "5",
       "INSERT INTO rdapeer_procedures VALUES ('p', 'IN', 1, 'a INTEGER'), ('p', 'OUT', 2, 'b INTEGER'), "
       "('p', 'OUT', 3, 'c VARCHAR(10)'), ('p', 'RESULT', 1, 'SELECT ?1 + 1 AS n UNION ALL SELECT ?1 + 2'), "
       "('p', 'RESULT', 2, 'SELECT ''s\xC3\xA9" "cond'' AS w, ?1 AS a'), "
       "('p', 'OUTPUT', 1, 'SELECT ?1 * 2, ''o\xC3\xBCt\xF0\x9F\x98\x80''')",
       "CALL p(?, ?, ?)"},
      "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC callw");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string want =
      "exec 1 rc 0\ncolumns 1\ncolumn 1 rc 0 n length 1 type 4\n"
      "value 1 rc 0 6 bytes 4\nvalue 1 rc 0 7 bytes 4\nfetch 100\nmore 0\n"
      "columns 2\ncolumn 1 rc 0 w length 1 type 12\ncolumn 2 rc 0 a length 1 type 4\n"
      "value 1 rc 0 s\xC3\xA9" "cond bytes 24\nvalue 2 rc 0 5 bytes 4\nfetch 100\nmore 100\n"
      "out 10 bytes 4 o\xC3\xBCt\xF0\x9F\x98\x80 bytes 16\n";
  EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
}

}  // namespace
