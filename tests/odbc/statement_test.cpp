// Statements of the driver against rdapeer, through the exports: execution
// and the autocommit commit, driver commands, parameters bound to the
// client, data at execution, freeing, and the local refusals. Each test's
// driver runs in a child process with a start-up of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/odbc/lmoparam.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_param.h"
#include "stmt_fixture.h"

namespace {

std::vector<std::string> texts(const std::vector<PeerRecordLine>& lines) {
  std::vector<std::string> out;
  for (const PeerRecordLine& l : lines) out.push_back(l.field("text").value_or(""));
  return out;
}

TEST_F(Statements, AutocommitCommitsAStatementWithoutResultAtOnce) {
  // The peer turns its second commit into a rollback.
  start({"--commit-rollback", "2"});
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER, b VARCHAR(20))"), SQL_SUCCESS);  // commit 1
    EXPECT_EQ(s.exec("SELECT a FROM t"), SQL_SUCCESS) << "a result: no commit";
    EXPECT_EQ(s.exec("_qv_set_info SQL_AUTOCOMMIT '1'"), SQL_SUCCESS) << "a driver command: no commit";

    // The commit the server rolled back fails the statement, whose
    // diagnostics it becomes; nothing of it stays on the connection.
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLExecDirect(stmt, sqlText("INSERT INTO t VALUES (1, 'x')"), SQL_NTS), SQL_ERROR);
    const Diag d = nextError(nullptr, nullptr, stmt);
    EXPECT_EQ(d.rc, SQL_SUCCESS);
    EXPECT_EQ(d.state, L"40000") << narrowText(d.message);
    EXPECT_EQ(nextError(nullptr, s.dbc, nullptr).rc, SQL_NO_DATA) << "the connection keeps nothing of it";
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_TRUE(query("SELECT a FROM t").empty());

    // The next one is committed before SQLExecDirect returns.
    EXPECT_EQ(s.exec("INSERT INTO t VALUES (2, 'y')"), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT a, b FROM t"), std::vector<std::string>{"2|y"});
  });
  const std::vector<std::string> sent = texts(executes());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "EXECUTE IMMEDIATE :H"), sent.end())
      << "the lower-case command went as a driver command";
}

// The arguments of the last request that carried any.
std::vector<std::string> lastArguments(const std::vector<PeerRecordLine>& lines) {
  for (auto l = lines.rbegin(); l != lines.rend(); ++l)
    if (!l->all("arg").empty()) return l->all("arg");
  return {};
}

TEST_F(Statements, StatementOptionBit8LeavesTheCommitToTheApplication) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER)"), SQL_SUCCESS);
    s.rec()->stmtOptionsSupport |= 0x8;
    EXPECT_EQ(s.exec("INSERT INTO t VALUES (1)"), SQL_SUCCESS);
    EXPECT_TRUE(query("SELECT a FROM t").empty()) << "not committed";
    EXPECT_EQ(SQLTransact(nullptr, s.dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT a FROM t"), std::vector<std::string>{"1"});
  });
}

// Parameters go to the client numbered from 1 up to the first number that
// is not bound.
TEST_F(Statements, ParametersBoundAs1And3SendOnly1) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO t(a) VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    SQLINTEGER one = 7, three = 9;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &one, 0, nullptr),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &three, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    // The values are read at each execution.
    one = 8;
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT a FROM t ORDER BY a"), (std::vector<std::string>{"7", "8"}));
  });
  EXPECT_EQ(lastArguments(executes()), std::vector<std::string>{"INTEGER:8"});
}

TEST_F(Statements, DataAtExecutionRunsTheSavedTextOnceEveryValueIsThere) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE d(a INTEGER, b BLOB)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    SQLPOINTER token = nullptr;
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt),
              "S1DE0:" + narrowText(kMessagePrefix) +
                  "No data at execution values pending - LmParamData: No data at execution time for the parameter\n");
    SQLINTEGER a = 0;
    SQLLEN aInd = SQL_DATA_AT_EXEC;
    SQLLEN bInd = SQL_LEN_DATA_AT_EXEC(60000);
    auto* bToken = reinterpret_cast<SQLPOINTER>(uintptr_t{0x2});
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, bToken, 0, &bInd),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("INSERT INTO d VALUES (?, ?)"), SQL_NTS), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &a) << "the value pointer is the token";
    SQLINTEGER value = 41;
    EXPECT_EQ(SQLPutData(stmt, &value, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLPutData(stmt, &value, 0), SQL_ERROR) << "an integer takes one piece";
    const Diag d = nextError(nullptr, nullptr, stmt);
    EXPECT_EQ(d.state, L"01000");
    EXPECT_EQ(d.native, 99);
    EXPECT_EQ(d.message, kMessagePrefix + L"Success with warning - LmPutData: Native Error:SQLPutData does not "
                                          L"support long data values for SQLType=4");

    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, bToken);
    std::vector<uint8_t> piece(20000);
    for (int i = 0; i < 3; ++i) {
      std::fill(piece.begin(), piece.end(), static_cast<uint8_t>('a' + i));
      EXPECT_EQ(SQLPutData(stmt, piece.data(), 20000), SQL_SUCCESS);
    }
    // Three pieces of 20,000 bytes fill one chunk and most of a second.
    LmoParam* p = lmoFindParam(static_cast<LmoStmt*>(stmt), 2);
    ASSERT_NE(p, nullptr);
    std::vector<uint32_t> chunks;
    for (RdaCliLink* l = p->chunks.next; l != &p->chunks; l = l->next)
      chunks.push_back(reinterpret_cast<RDA_CliChunk*>(l)->used);
    EXPECT_EQ(chunks, (std::vector<uint32_t>{32000, 28000}));
    EXPECT_EQ(lmoChunkBytes(&p->chunks), 60000);

    EXPECT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_TRUE(lmoRingEmpty(reinterpret_cast<LmoLink*>(&p->chunks)) || p->chunks.next == &p->chunks)
        << "nothing of an execution is kept";
    EXPECT_EQ(SQLPutData(stmt, &value, 0), SQL_ERROR);
    EXPECT_EQ(nextError(nullptr, nullptr, stmt).state, L"S1DE0");
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT a, length(b), substr(b, 1, 1), substr(b, 20001, 1), substr(b, 60000, 1) FROM d"),
              std::vector<std::string>{"41|60000|a|b|c"});
  });
}

// A sequence given up half-way (the statement executed again) sends
// nothing of its pieces.
TEST_F(Statements, AnAbandonedDataAtExecutionSequenceSendsNothingOfIt) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE d(b BLOB)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    SQLLEN ind = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, &ind, 0, &ind),
              SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO d VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    SQLPOINTER token = nullptr;
    for (const char* text : {"stale", "fresh"}) {
      ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
      ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
      EXPECT_EQ(SQLPutData(stmt, const_cast<char*>(text), 5), SQL_SUCCESS);
    }
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    // An empty long value given as one empty piece.
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(SQLPutData(stmt, &ind, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(query("SELECT quote(b) FROM d ORDER BY rowid"), (std::vector<std::string>{"X'6672657368'", "X''"}));
  });
}

TEST_F(Statements, FreeStmtOptionsAndRefusals) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    // The client refuses the option first: its diagnostic alone.
    EXPECT_EQ(SQLFreeStmt(stmt, 4), SQL_ERROR);
    const std::string errors = allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(errors.find("S1092"), std::string::npos) << errors;
    EXPECT_NE(errors.find("SQLFreeStmt fOption 4 is invalid"), std::string::npos) << errors;
    SQLINTEGER v = 1;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(lmoFindParam(static_cast<LmoStmt*>(stmt), 1), nullptr);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_INVALID_HANDLE);
  });
}

TEST_F(Statements, DescribeParamPastTheMarkers) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER, b VARCHAR(10))"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO t VALUES (?, ?)"), SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLNumParams(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 2);
    SQLSMALLINT type = 0;
    EXPECT_EQ(SQLDescribeParam(stmt, 2, &type, nullptr, nullptr, nullptr), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLDescribeParam(stmt, 3, &type, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(allErrors(nullptr, nullptr, stmt), "S1093:" + narrowText(kMessagePrefix) + "Invalid parameter number\n");
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

}  // namespace

namespace {

// One bound value and what the peer receives of it.
struct Sent {
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
  std::vector<uint8_t> value;  // empty: no value pointer
  SQLLEN indicator;
  std::string received;  // the argument as the peer records it
  std::string stored;    // the value in its database, quoted
};

template <class T>
std::vector<uint8_t> bytesOf(const T& v) {
  std::vector<uint8_t> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
std::vector<uint8_t> textOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end() + 1); }
std::vector<uint8_t> wideOf(const std::wstring& s) {
  std::vector<uint8_t> b((s.size() + 1) * sizeof(wchar_t));
  std::memcpy(b.data(), s.c_str(), b.size());
  return b;
}

class Values : public Statements {
 protected:
  // The first argument of each execution of the prepared statement, and the
  // rows of table v.
  void expectSent(const std::vector<Sent>& cases) {
    std::vector<std::string> received;
    for (const PeerRecordLine& l : executes())
      if (l.field("text").value_or("").rfind("EXECUTE stmt_id", 0) == 0) received.push_back(l.all("arg").at(0));
    const std::vector<std::string> stored = query("SELECT quote(x) FROM v ORDER BY rowid");
    ASSERT_EQ(received.size(), cases.size());
    ASSERT_EQ(stored.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(received[i], cases[i].received) << i;
      EXPECT_EQ(stored[i], cases[i].stored) << i;
    }
  }
};

TEST_F(Values, BoundAtExecution) {
  // NULL(-2) is the wire's empty text.
  const std::vector<Sent> cases = {
      {SQL_C_CHAR, SQL_DATE, textOf("{d '2001-02-03'}"), SQL_NTS, "DATETIME:2001-02-03", "'2001-02-03'"},
      {SQL_C_CHAR, SQL_TIMESTAMP, textOf("2001-02-03 04:05:06"), SQL_NTS, "DATETIME:2001-02-03 04:05:06",
       "'2001-02-03 04:05:06'"},
      {SQL_C_WCHAR, SQL_TIME, wideOf(L"{t '10:11:12'}"), SQL_NTS, "DATETIME:10:11:12", "'10:11:12'"},
      {SQL_C_DATE, SQL_DATE, bytesOf(DATE_STRUCT{0, 0, 5}), 0, "DATETIME:1900-01-05", "'1900-01-05'"},
      {SQL_C_DATE, SQL_DATE, bytesOf(DATE_STRUCT{2001, 2, 3}), 0, "DATETIME:2001-02-03", "'2001-02-03'"},
      {SQL_C_TIME, SQL_TIME, bytesOf(TIME_STRUCT{10, 11, 12}), 0, "DATETIME:10:11:12", "'10:11:12'"},
      {SQL_C_TIMESTAMP, SQL_TIMESTAMP, bytesOf(TIMESTAMP_STRUCT{2001, 2, 3, 4, 5, 6, 7}), 0,
       "DATETIME:2001-02-03 04:05:06.000000007", "'2001-02-03 04:05:06.000000007'"},
      {SQL_C_CHAR, SQL_VARCHAR, textOf("abc"), 0, "NULL(-2)", "''"},
      {SQL_C_CHAR, SQL_VARCHAR, textOf("abc"), 2, "VARCHAR:ab", "'ab'"},
      {SQL_C_CHAR, SQL_VARCHAR, textOf("abc"), SQL_NULL_DATA, "NULL", "NULL"},
      {SQL_C_CHAR, SQL_VARCHAR, {}, 3, "NULL", "NULL"},
      {SQL_C_WCHAR, SQL_WVARCHAR, wideOf(L"w\u00e9"), SQL_NTS, "WVARCHAR:w\xC3\xA9", "'w\xC3\xA9'"},
      {SQL_C_WCHAR, SQL_WVARCHAR, wideOf(L"w\u00e9"), 0, "NULL(-2)", "''"},
      {SQL_C_LONG, SQL_INTEGER, bytesOf(SQLINTEGER{-5}), 0, "INTEGER:-5", "-5"},
      {SQL_C_DOUBLE, SQL_DOUBLE, bytesOf(2.5), 0, "DOUBLE:2.5", "2.5"},
      {SQL_C_BINARY, SQL_VARBINARY, textOf("ab"), 2, "BIT:6162", "X'6162'"},
      {SQL_C_BINARY, SQL_VARBINARY, textOf("ab"), 0, "NULL", "NULL"},
      {SQL_C_DEFAULT, SQL_INTEGER, bytesOf(SQLINTEGER{12}), 0, "INTEGER:12", "12"},
  };
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE v(x)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO v VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    for (const Sent& c : cases) {
      std::vector<uint8_t> value = c.value;
      SQLLEN indicator = c.indicator;
      ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 30, 0,
                                 value.empty() ? nullptr : value.data(), 0, &indicator),
                SQL_SUCCESS);
      EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << c.cType << "/" << c.sqlType << allErrors(nullptr, nullptr, stmt);
    }
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  expectSent(cases);
}

// The same through SQLPutData: date and time values become text of their
// own length (not of the room they were made in), NULL stays NULL.
TEST_F(Values, GivenBySQLPutData) {
  const std::vector<Sent> cases = {
      {SQL_C_DATE, SQL_DATE, bytesOf(DATE_STRUCT{2001, 2, 3}), 0, "CHAR:2001-02-03", "'2001-02-03'"},
      {SQL_C_TIMESTAMP, SQL_TIMESTAMP, bytesOf(TIMESTAMP_STRUCT{2001, 2, 3, 4, 5, 6, 7}), 0,
       "CHAR:2001-02-03 04:05:06.000000007", "'2001-02-03 04:05:06.000000007'"},
      {SQL_C_CHAR, SQL_DATE, textOf("{d '2001-02-03'}"), SQL_NTS, "DATETIME:2001-02-03", "'2001-02-03'"},
      {SQL_C_CHAR, SQL_CHAR, textOf("abc"), 2, "CHAR:ab", "'ab'"},
      {SQL_C_LONG, SQL_INTEGER, bytesOf(SQLINTEGER{-5}), 0, "INTEGER:-5", "-5"},
      {SQL_C_LONG, SQL_INTEGER, bytesOf(SQLINTEGER{-5}), SQL_NULL_DATA, "NULL", "NULL"},
      {SQL_C_CHAR, SQL_LONGVARCHAR, textOf("long"), SQL_NTS, "VARCHAR:long", "'long'"},
  };
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE v(x)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO v VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    SQLLEN indicator = SQL_DATA_AT_EXEC;
    for (const Sent& c : cases) {
      std::vector<uint8_t> value = c.value;
      ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 30, 0, &indicator, 0, &indicator),
                SQL_SUCCESS);
      ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
      SQLPOINTER token = nullptr;
      ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
      EXPECT_EQ(SQLPutData(stmt, value.data(), c.indicator), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
      EXPECT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << c.cType << "/" << c.sqlType
                                                         << allErrors(nullptr, nullptr, stmt);
    }
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  expectSent(cases);
}

// What SQLColAttributes answers itself, and what it asks of the client in
// another form.
TEST_F(Statements, ColumnAttributesAndDescriptions) {
  start();
  inChild([&] {
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE t(i INTEGER, f DOUBLE, b BLOB, v VARCHAR(20), d DATE)"), SQL_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO t VALUES (1, 2.5, x'00', 'x', '2001-02-03')"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLExecDirect(stmt, sqlText("SELECT i, f, b, v AS label, d FROM t"), SQL_NTS), SQL_SUCCESS)
        << allErrors(nullptr, nullptr, stmt);
    SQLSMALLINT columns = 0;
    EXPECT_EQ(SQLNumResultCols(stmt, &columns), SQL_SUCCESS);
    EXPECT_EQ(columns, 5);
    auto number = [&](SQLUSMALLINT column, SQLUSMALLINT attribute) {
      SQLLEN n = -99;
      EXPECT_EQ(SQLColAttributes(stmt, column, attribute, nullptr, 0, nullptr, &n), SQL_SUCCESS)
          << column << "/" << attribute << allErrors(nullptr, nullptr, stmt);
      return n;
    };
    const struct {
      SQLUSMALLINT column;
      SQLUSMALLINT attribute;
      SQLLEN value;
    } cases[] = {
        {1, SQL_COLUMN_DISPLAY_SIZE, 11}, {2, SQL_COLUMN_DISPLAY_SIZE, 24}, {4, SQL_COLUMN_DISPLAY_SIZE, 20},
        {5, SQL_COLUMN_DISPLAY_SIZE, 10}, {3, SQL_COLUMN_SEARCHABLE, SQL_LIKE_ONLY},
        {4, SQL_COLUMN_SEARCHABLE, SQL_SEARCHABLE}, {4, SQL_COLUMN_UNSIGNED, 1}, {1, SQL_COLUMN_UNSIGNED, 0},
        {1, SQL_COLUMN_UPDATABLE, 1}, {1, SQL_COLUMN_CASE_SENSITIVE, 1}, {1, SQL_COLUMN_MONEY, 0},
        {1, SQL_COLUMN_AUTO_INCREMENT, 0}, {1, SQL_COLUMN_TYPE, SQL_INTEGER},
    };
    for (const auto& c : cases) EXPECT_EQ(number(c.column, c.attribute), c.value) << c.column << "/" << c.attribute;

    SQLCHAR text[64];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLColAttributes(stmt, 4, SQL_COLUMN_LABEL, text, sizeof text, &length, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "label");
    EXPECT_EQ(length, 5);
    EXPECT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_TYPE_NAME, text, sizeof text, &length, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "INTEGER") << "the description's own name";

    // Dates in the codes of the environment's ODBC version.
    SQLSMALLINT type = 0;
    SQLCHAR name[16];
    SQLSMALLINT nameLength = 0;
    ASSERT_EQ(SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLDescribeCol(stmt, 5, name, sizeof name, &nameLength, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_TYPE_DATE);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "d");
    EXPECT_EQ(nameLength, 1);
    EXPECT_EQ(number(5, SQL_COLUMN_TYPE), SQL_TYPE_DATE);
    s.rec()->env->odbcVersion = 2;
    EXPECT_EQ(SQLDescribeCol(stmt, 5, name, sizeof name, &nameLength, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, SQL_DATE);
    EXPECT_EQ(number(5, SQL_COLUMN_TYPE), SQL_DATE);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// SQLError on a statement: the driver's own diagnostics first, then the
// client's.
TEST_F(Statements, ErrorReadsTheDriversListThenTheClients) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLExecDirect(stmt, sqlText("SELEC nonsense"), SQL_NTS), SQL_ERROR);
    lmoAddSQLState(&static_cast<LmoStmt*>(stmt)->errors, "01S99", 5, "the driver's own");
    const Diag first = nextError(nullptr, nullptr, stmt);
    EXPECT_EQ(first.state, L"01S99");
    EXPECT_EQ(first.native, 5);
    EXPECT_EQ(first.message, kMessagePrefix + L"the driver's own");
    const Diag second = nextError(nullptr, nullptr, stmt);
    EXPECT_EQ(second.rc, SQL_SUCCESS);
    EXPECT_EQ(second.state, L"42000") << narrowText(second.message);
    EXPECT_NE(second.message.find(L"syntax error"), std::wstring::npos) << narrowText(second.message);
    EXPECT_EQ(nextError(nullptr, nullptr, stmt).rc, SQL_NO_DATA);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

}  // namespace

namespace {

std::u16string utf16(const std::wstring& w) {
  std::u16string out;
  for (wchar_t c : w) {
    if (c > 0xFFFF) {
      const uint32_t v = static_cast<uint32_t>(c) - 0x10000;
      out += static_cast<char16_t>(0xD800 | (v >> 10));
      out += static_cast<char16_t>(0xDC00 | (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// Under unixODBC an application's SQL_C_WCHAR parameters are UTF-16 with
// byte lengths; the peer stores UTF-8.
TEST_F(Statements, Utf16ParametersUnderUnixOdbc) {
  start();
  inChild([&] {
    QvSetWideUnitForTest(2);
    Session s;
    ASSERT_EQ(s.exec("CREATE TABLE w(x)"), SQL_SUCCESS);
    SQLHSTMT stmt = s.newStatement();
    ASSERT_EQ(SQLPrepare(stmt, sqlText("INSERT INTO w VALUES (?)"), SQL_NTS), SQL_SUCCESS);
    // Bound once with a small buffer; each execution reads the current text.
    std::u16string text = utf16(L"a\u00e9\U0001F600");
    text.reserve(64);
    SQLLEN bytes = static_cast<SQLLEN>(text.size() * 2);
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, text.data(), bytes, &bytes),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    text = utf16(L"longer text \u00e9\u00e9\u00e9 \U0001F600\U0001F600");
    bytes = SQL_NTS;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, text.data(), 0, &bytes),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    bytes = SQL_NULL_DATA;
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    bytes = 0;
    EXPECT_EQ(SQLExecute(stmt), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);

    // Pieces of a long value split between the halves of a pair.
    bytes = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 0, 0, &bytes, 0, &bytes),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, &bytes) << "the application's token, not the driver's copy";
    const std::u16string whole = utf16(L"x\U0001F600y\U0001F601");
    EXPECT_EQ(SQLPutData(stmt, const_cast<char16_t*>(whole.data()), 4), SQL_SUCCESS);      // x and a high half
    EXPECT_EQ(SQLPutData(stmt, const_cast<char16_t*>(whole.data()) + 2, 6), SQL_SUCCESS);  // low half, y, high half
    EXPECT_EQ(SQLPutData(stmt, const_cast<char16_t*>(whole.data()) + 5, 2), SQL_SUCCESS);  // low half
    EXPECT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << allErrors(nullptr, nullptr, stmt);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
  EXPECT_EQ(query("SELECT quote(x) FROM w ORDER BY rowid"),
            (std::vector<std::string>{"'a\xC3\xA9\xF0\x9F\x98\x80'",
                                      "'longer text \xC3\xA9\xC3\xA9\xC3\xA9 \xF0\x9F\x98\x80\xF0\x9F\x98\x80'", "NULL",
                                      "''", "'x\xF0\x9F\x98\x80y\xF0\x9F\x98\x81'"}));
}

}  // namespace
