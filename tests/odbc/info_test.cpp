// SQLGetInfo and the connection and statement options against rdapeer:
// the driver's own answers, the server's answers (by query on QV_INFO and by
// the special command) and the information file that keeps them per server
// driver type, and the options with the driver commands that tell an open
// session of a change. Each test's driver runs in a child process with a
// start-up of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "src/odbc/cores.h"
#include "src/odbc/lmoinfo.h"
#include "src/odbc/odbcwide.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/session/tp0tcp.h"
#include "stmt_fixture.h"

extern "C" {
SQLRETURN SQL_API SQLRequestInfoSpecialCmd(SQLHDBC dbc, SQLPOINTER buffer, SQLSMALLINT length,
                                           SQLUSMALLINT* lengthOut, SQLCHAR* key, SQLSMALLINT cType);
SQLRETURN SQL_API SQLRequestInfo(SQLHDBC dbc, SQLPOINTER buffer, SQLSMALLINT length, SQLUSMALLINT* lengthOut,
                                 SQLCHAR* text, SQLSMALLINT cType);
SQLRETURN SQL_API SQLExecuteCustomCommand(SQLHDBC dbc, SQLCHAR* command);
void SQL_API SQLbufcpy(SQLCHAR* destination, const SQLCHAR* source, SQLSMALLINT length, SQLUSMALLINT* lengthOut);
}

namespace fs = std::filesystem;

namespace {

// The section of the information file for the driver type a connection
// gets without LookUpFromDB.
constexpr const char* kSection = "DAM";

std::string readFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Text {
  SQLRETURN rc;
  std::string value;
  SQLSMALLINT length;
};

Text infoText(SQLHDBC dbc, SQLUSMALLINT type, SQLSMALLINT size = 512) {
  std::vector<char> buffer(static_cast<size_t>(std::max<SQLSMALLINT>(size, 1)) + 8, '#');
  Text t{};
  t.length = -7;
  t.rc = SQLGetInfo(dbc, type, buffer.data(), size, &t.length);
  // A failed call may leave the buffer as it was: no terminator.
  t.value = size > 0 ? std::string(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(size))) : "";
  return t;
}

template <class T>
T infoNumber(SQLHDBC dbc, SQLUSMALLINT type, SQLRETURN expected = SQL_SUCCESS) {
  T value{};
  SQLSMALLINT length = -7;
  EXPECT_EQ(SQLGetInfo(dbc, type, &value, sizeof value, &length), expected)
      << "type " << type << "\n" << allErrors(nullptr, dbc, nullptr);
  if (expected == SQL_SUCCESS) {
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(sizeof value)) << "type " << type;
  }
  return value;
}

// The one diagnostic a call left, as "STATE:message".
std::string onlyError(SQLHDBC dbc, SQLHSTMT stmt = nullptr) { return allErrors(nullptr, dbc, stmt); }

std::string state(const std::string& state, const std::string& text) {
  return state + ":" + narrowText(kMessagePrefix) + text + "\n";
}

class Info : public Statements {
 protected:
  fs::path clientIni() const { return sandbox_.dir() / "client" / "mirodel.ini"; }
  fs::path infoFile() const { return sandbox_.dir() / "client" / "schema" / "qvinfo.ini"; }
  // More lines of [CLIENT] (the last section of the client's file).
  void client(const std::string& lines) const { std::ofstream(clientIni(), std::ios::app) << lines; }
  void cache(const std::string& lines) const { std::ofstream(infoFile(), std::ios::app) << lines; }
  // Every argument the peer was sent.
  std::vector<std::string> arguments() const {
    std::vector<std::string> out;
    for (const PeerRecordLine& l : executes())
      for (const std::string& a : l.all("arg")) out.push_back(a);
    return out;
  }
  bool sent(const std::string& argument) const {
    const std::vector<std::string> a = arguments();
    return std::find(a.begin(), a.end(), argument) != a.end();
  }
  // The arguments sent that hold `part` (the driver's queries go as the
  // argument of a PREPARE).
  int argumentsHolding(const std::string& part) const {
    int n = 0;
    for (const std::string& a : arguments()) n += a.find(part) != std::string::npos;
    return n;
  }
};

// ---------------------------------------------------------------------------
// The driver's own answers, refusals and the cache read back

TEST_F(Info, LocalAnswersRefusalsAndCachedTexts) {
  start();
  // What the file holds for servers of this type: a text the server gave
  // as NULL, one of ten characters, and a 16-bit and a 32-bit number.
  cache(std::string("[") + kSection + "]\n29=NULL\n45=null\n17=ABCDEFGHIJ\n30=77\n72=4096\n");
  inChild([&] {
    Session s;
    const size_t before = executes().size();

    // Without a connection only the driver's version is answered.
    Text t = infoText(nullptr, SQL_DRIVER_VER);
    EXPECT_EQ(t.rc, SQL_SUCCESS);
    EXPECT_FALSE(t.value.empty());
    EXPECT_EQ(t.length, static_cast<SQLSMALLINT>(t.value.size()));
    EXPECT_EQ(infoText(nullptr, SQL_DBMS_NAME).rc, SQL_INVALID_HANDLE);

    const struct {
      SQLUSMALLINT type;
      const char* value;
    } texts[] = {{SQL_DATA_SOURCE_NAME, "rdatest"}, {SQL_SERVER_NAME, "rdatest"}, {SQL_DRIVER_NAME, "qvjdbc.a"},
                 {SQL_DRIVER_ODBC_VER, "03.51"},    {SQL_IDENTIFIER_QUOTE_CHAR, " "}, {SQL_TABLE_TERM, ""},
                 {SQL_DBMS_NAME, "ABCDEFGHIJ"}};
    for (const auto& c : texts) {
      t = infoText(s.dbc, c.type);
      EXPECT_EQ(t.rc, SQL_SUCCESS) << c.type << "\n" << onlyError(s.dbc);
      EXPECT_EQ(t.value, c.value) << c.type;
      EXPECT_EQ(t.length, static_cast<SQLSMALLINT>(std::strlen(c.value))) << c.type;
    }
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_ACTIVE_CONNECTIONS), 0);
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_ODBC_API_CONFORMANCE), 1);
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_MAX_COLUMN_NAME_LEN), 77);
    EXPECT_EQ(infoNumber<SQLUINTEGER>(s.dbc, SQL_TXN_ISOLATION_OPTION), 4096u);

    // A cached text of ten characters in a 4-byte buffer.
    t = infoText(s.dbc, SQL_DBMS_NAME, 4);
    EXPECT_EQ(t.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(t.value, "ABC");
    EXPECT_EQ(t.length, 10);
    EXPECT_EQ(onlyError(s.dbc), state("01004", "Success with warning - Data, right truncation"));
    // No buffer: the length alone; a buffer of no bytes is written nothing.
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_DBMS_NAME, nullptr, 0, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 10);
    char untouched[4] = "xyz";
    EXPECT_EQ(SQLGetInfo(s.dbc, SQL_DBMS_NAME, untouched, 0, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(untouched, "xyz");
    t = infoText(s.dbc, SQL_DRIVER_VER, 4);
    EXPECT_EQ(t.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(t.value.size(), 3u);
    EXPECT_GT(t.length, 3);

    // Types the driver does not answer.
    for (SQLUSMALLINT type : {SQLUSMALLINT{SQL_ODBC_VER}, SQLUSMALLINT{3}, SQLUSMALLINT{76}, SQLUSMALLINT{500},
                              SQLUSMALLINT{8199}, SQLUSMALLINT{10010}, SQLUSMALLINT{10023}}) {
      EXPECT_EQ(infoText(s.dbc, type).rc, SQL_ERROR) << type;
      EXPECT_EQ(onlyError(s.dbc),
                state("S1C00", "Driver not capable - SQLGetInfo(OptionType:" + std::to_string(type) +
                                   ") Driver not Capable"))
          << type;
    }
    EXPECT_EQ(executes().size(), before) << "nothing was asked of the server";

    // SQLGetInfoW: byte lengths, four per character.
    SQLSMALLINT bytes = 0;
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DATA_SOURCE_NAME, nullptr, 0, &bytes), SQL_SUCCESS);
    EXPECT_EQ(bytes, 4 * 7);
    SQLWCHAR wide[16] = {0};
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DBMS_NAME, wide, sizeof wide, &bytes), SQL_SUCCESS);
    EXPECT_EQ(std::wstring(wide), L"ABCDEFGHIJ");
    EXPECT_EQ(bytes, 4 * 10);
    // A driver manager that speaks UTF-16: two bytes a unit.
    QvSetWideUnitForTest(2);
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DATA_SOURCE_NAME, nullptr, 0, &bytes), SQL_SUCCESS);
    EXPECT_EQ(bytes, 2 * 7);
    uint16_t units[16];
    std::memset(units, 0xFF, sizeof units);
    EXPECT_EQ(SQLGetInfoW(s.dbc, SQL_DBMS_NAME, units, 8, &bytes), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(bytes, 2 * 10);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(units)), u"ABC");
    QvSetWideUnitForTest(4);
  });
}

// ---------------------------------------------------------------------------
// The server's answers and the information file

TEST_F(Info, ServerAnswersAreCachedPerDriverType) {
  start({"--info", "94=NULL", "--info", "87=two\r\nlines", "--info", "113= padded "});
  inChild([&] {
    Session s;
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_MAX_COLUMN_NAME_LEN), 128);
    EXPECT_EQ(infoNumber<SQLUINTEGER>(s.dbc, SQL_TXN_ISOLATION_OPTION), 8u);
    EXPECT_EQ(infoNumber<SQLUINTEGER>(s.dbc, SQL_DEFAULT_TXN_ISOLATION), 8u);
    EXPECT_EQ(infoText(s.dbc, SQL_DBMS_NAME).value, "SQLite");
    EXPECT_EQ(infoText(s.dbc, SQL_DATABASE_NAME).value, "main");
    EXPECT_EQ(infoText(s.dbc, SQL_IDENTIFIER_QUOTE_CHAR).value, "\"");
    EXPECT_EQ(infoText(s.dbc, SQL_DESCRIBE_PARAMETER).value, "Y");
    Text t = infoText(s.dbc, 8192);
    EXPECT_EQ(t.rc, SQL_SUCCESS);
    EXPECT_EQ(t.value, "2");
    EXPECT_EQ(infoNumber<SQLUINTEGER>(s.dbc, 8193), 0u);
    // A NULL text is empty; answers the file could not give back as they
    // came are answered all the same.
    t = infoText(s.dbc, SQL_SPECIAL_CHARACTERS);
    EXPECT_EQ(t.rc, SQL_SUCCESS);
    EXPECT_EQ(t.value, "");
    EXPECT_EQ(t.length, 0);
    EXPECT_EQ(infoText(s.dbc, SQL_MULT_RESULT_SETS).value, "Y");
    EXPECT_EQ(infoText(s.dbc, 87).value, "two\r\nlines");
    EXPECT_EQ(infoText(s.dbc, 113).value, " padded ");
    // A type the server has no value of.
    EXPECT_EQ(infoText(s.dbc, SQL_KEYWORDS).rc, SQL_ERROR);
    EXPECT_NE(onlyError(s.dbc).find("S1C00"), std::string::npos);
  });
  const std::string file = readFile(infoFile());
  for (const char* line : {"[DAM]\n", "\n30=128\n", "\n72=8\n", "\n17=SQLite\n", "\n29=\"\n", "\n94=NULL\n",
                           "\n23=2\n", "\n10002=Y\n"})
    EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
  // Never kept: the connection's own database name and default isolation,
  // the types asked every time, and answers with line breaks or end blanks.
  for (const char* key : {"\n16=", "\n26=", "\n8192=", "\n8193=", "\n87=", "\n113="})
    EXPECT_EQ(file.find(key), std::string::npos) << key << " in\n" << file;

  // A second connection to a server of the same type asks nothing the file
  // holds.
  const int asked = argumentsHolding("INFO_NUM = 30");
  EXPECT_EQ(asked, 1);
  inChild([&] {
    Session s;
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_MAX_COLUMN_NAME_LEN), 128);
    EXPECT_EQ(infoText(s.dbc, SQL_SPECIAL_CHARACTERS).value, "");
    EXPECT_EQ(infoText(s.dbc, SQL_DATABASE_NAME).value, "main");
    EXPECT_EQ(infoText(s.dbc, 8192).value, "2");
  });
  EXPECT_EQ(argumentsHolding("INFO_NUM = 30"), asked);
  EXPECT_EQ(argumentsHolding("INFO_NUM = 8192"), 2) << "asked every time";
  EXPECT_EQ(argumentsHolding("INFO_NUM = 94"), 1);
  EXPECT_EQ(argumentsHolding("INFO_NUM = 16"), 2) << "the database name is asked each time";
}

TEST_F(Info, CachingSwitchedOffWritesNothing) {
  start();
  client("DisableQvInfoCaching=1\n");
  inChild([&] {
    Session s;
    EXPECT_EQ(infoNumber<SQLUSMALLINT>(s.dbc, SQL_MAX_COLUMN_NAME_LEN), 128);
  });
  EXPECT_FALSE(fs::exists(infoFile())) << readFile(infoFile());
}

TEST_F(Info, SpecialCommandRoad) {
  start();
  client("GetInfoMethod=1\n");
  inChild([&] {
    Session s;
    const Text t = infoText(s.dbc, SQL_IDENTIFIER_QUOTE_CHAR);
    EXPECT_EQ(t.rc, SQL_SUCCESS) << onlyError(s.dbc);
    EXPECT_EQ(t.value, "\"");
    // The command and its key together up to 1,023 characters go; 1,024 are
    // refused without a request.
    char buffer[8];
    SQLUSMALLINT length = 0;
    std::string key(1023 - std::strlen("_QV_GET_INFO "), 'k');
    SQLRequestInfoSpecialCmd(s.dbc, buffer, sizeof buffer, &length, sqlText(key), SQL_C_CHAR);
    key += 'k';
    EXPECT_EQ(SQLRequestInfoSpecialCmd(s.dbc, buffer, sizeof buffer, &length, sqlText(key), SQL_C_CHAR), SQL_ERROR);
    EXPECT_NE(allErrors(nullptr, s.dbc, nullptr).find("Request too large for buffer"), std::string::npos);
    EXPECT_EQ(SQLRequestInfoSpecialCmd(nullptr, buffer, sizeof buffer, &length, sqlText("1"), SQL_C_CHAR),
              SQL_INVALID_HANDLE);
  });
  EXPECT_TRUE(sent("WCHAR:_QV_GET_INFO 29 INFO_TEXT"));
  EXPECT_TRUE(sent("WCHAR:_QV_GET_INFO 23 INFO_INT")) << "the connect's own information too";
  const std::vector<std::string> a = arguments();
  const auto longest = std::max_element(a.begin(), a.end(), [](auto& x, auto& y) { return x.size() < y.size(); });
  ASSERT_NE(longest, a.end());
  EXPECT_EQ(longest->size(), std::strlen("WCHAR:") + 1023);
}

// The exported request helpers run their steps through the dispatch, on
// the connection's context.
TEST_F(Info, ExportedRequestsAndCopy) {
  start();
  inChild([&] {
    Session s;
    char buffer[64] = "";
    SQLUSMALLINT length = 0;
    EXPECT_EQ(SQLRequestInfo(s.dbc, buffer, sizeof buffer, &length,
                             sqlText("SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NUM = 17"), SQL_C_CHAR),
              SQL_SUCCESS);
    EXPECT_STREQ(buffer, "SQLite");
    EXPECT_EQ(length, 6);
    SQLSMALLINT number = 0;
    EXPECT_EQ(SQLRequestInfoSpecialCmd(s.dbc, &number, sizeof number, &length, sqlText("30 INFO_INT"), SQL_C_SHORT),
              SQL_SUCCESS);
    EXPECT_EQ(number, 128);
    // A failed query leaves its diagnostics on the connection.
    EXPECT_EQ(SQLRequestInfo(s.dbc, buffer, sizeof buffer, &length, sqlText("SELECT x FROM nowhere"),
                             SQL_C_CHAR),
              SQL_ERROR);
    const std::string e = onlyError(s.dbc);
    EXPECT_NE(e.find("no such table: nowhere"), std::string::npos) << e;
  });
}

TEST(InfoCopy, SQLbufcpyCopiesWholeOrCutAndTerminated) {
  SQLCHAR out[6];
  SQLUSMALLINT length = 99;
  std::memset(out, '#', sizeof out);
  SQLbufcpy(out, sqlText("abc"), sizeof out, &length);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "abc");
  EXPECT_EQ(length, 3);
  SQLbufcpy(out, sqlText("abcdefgh"), sizeof out, &length);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "abcde");
  EXPECT_EQ(length, 6);
  std::memset(out, '#', sizeof out);
  length = 99;
  SQLbufcpy(out, sqlText("abc"), 0, &length);
  SQLbufcpy(out, sqlText("abc"), -1, &length);
  SQLbufcpy(out, nullptr, sizeof out, &length);
  SQLbufcpy(nullptr, sqlText("abc"), sizeof out, &length);
  EXPECT_EQ(out[0], '#');
  EXPECT_EQ(length, 99);
}

// ---------------------------------------------------------------------------
// Options

TEST_F(Info, ConnectionOptionsTellAnOpenSession) {
  start();
  inChild([&] {
    Session s;
    SQLUINTEGER value = 99;
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u);
    ASSERT_EQ(s.exec("CREATE TABLE t(a INTEGER)"), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS) << onlyError(s.dbc);
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 0u);
    // The client commits no more by itself: the row waits for the
    // application's commit.
    ASSERT_EQ(s.exec("INSERT INTO t VALUES (1)"), SQL_SUCCESS);
    EXPECT_TRUE(query("SELECT a FROM t").empty());
    EXPECT_EQ(SQLTransact(nullptr, s.dbc, SQL_COMMIT), SQL_SUCCESS) << onlyError(s.dbc);
    EXPECT_EQ(query("SELECT a FROM t"), std::vector<std::string>{"1"});

    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_TXN_ISOLATION, SQL_TXN_READ_COMMITTED), SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_TXN_ISOLATION, &value), SQL_SUCCESS);
    EXPECT_EQ(value, static_cast<SQLUINTEGER>(SQL_TXN_READ_COMMITTED));
    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("it's")), SQL_SUCCESS);
    EXPECT_STREQ(s.rec()->currentQualifier, "it's");

    // Kept by the driver.
    const struct {
      SQLUSMALLINT option;
      SQLULEN value;
    } kept[] = {{SQL_ACCESS_MODE, SQL_MODE_READ_ONLY}, {SQL_LOGIN_TIMEOUT, 17}, {SQL_OPT_TRACE, 1}};
    for (const auto& k : kept) {
      EXPECT_EQ(SQLSetConnectOption(s.dbc, k.option, k.value), SQL_SUCCESS) << k.option;
      value = 99;
      EXPECT_EQ(SQLGetConnectOption(s.dbc, k.option, &value), SQL_SUCCESS) << k.option;
      EXPECT_EQ(value, k.value) << k.option;
    }
    value = 99;
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_ODBC_CURSORS, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_ATTR_CONNECTION_DEAD, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 0u);
    for (SQLUSMALLINT option : {106, 107, 111, 112}) EXPECT_EQ(SQLSetConnectOption(s.dbc, option, 5), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_ODBC_CURSORS, SQL_CUR_USE_ODBC), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectOption(s.dbc, 1061, 1), SQL_SUCCESS);
  });
  EXPECT_TRUE(sent("WCHAR:_QV_SET_INFO SQL_AUTOCOMMIT '0'"));
  EXPECT_TRUE(sent("WCHAR:_QV_SET_INFO SQL_TXN_ISOLATION '2'"));
  EXPECT_TRUE(sent("WCHAR:_QV_SET_INFO SQL_CURRENT_QUALIFIER 'it''s'")) << "the quote doubled inside the quotes";
}

TEST_F(Info, ConnectionOptionRefusals) {
  start();
  inChild([&] {
    Session s;
    const size_t before = executes().size();
    const struct {
      SQLUSMALLINT option;
      SQLULEN value;
      const char* diagnostic;
    } refused[] = {
        {SQL_AUTOCOMMIT, 2, "S1009:Invalid argument value - SQLSetConnectOption(SQL_AUTOCOMMIT): Invalid Argument value"},
        {SQL_OPT_TRACE, 2, "S1009:Invalid argument value - SQLSetConnectOption(SQL_OPT_TRACE): Invalid Argument value"},
        {SQL_CURRENT_QUALIFIER, 0,
         "S1009:Invalid argument value - SQLSetConnectOption(SQL_CURRENT_QUALIFIER): Invalid Argument value"},
        {SQL_ODBC_CURSORS, SQL_CUR_USE_DRIVER,
         "S1C00:Driver not capable - SQLSetConnectOption:SQL_ODBC_CURSORS: Driver not capable"},
        {1061, 0, "S1C00:Driver not capable - SQLSetConnectOption: SQL_ATTR_APP_WCHAR_TYPE to UTF8: Driver not capable"},
        {SQL_ASYNC_ENABLE, 1, "S1C00:Driver not capable"},
        {5, 0, "S1C00:Driver not capable - SQLSetConnectOption(Option=5): Driver not capable"},
        {105, 0, "S1C00:Driver not capable - SQLSetConnectOption(Option=105): Driver not capable"},
    };
    for (const auto& r : refused) {
      EXPECT_EQ(SQLSetConnectOption(s.dbc, r.option, r.value), SQL_ERROR) << r.option;
      const std::string prefix = narrowText(kMessagePrefix);
      std::string expected = r.diagnostic;
      expected.insert(6, prefix);
      EXPECT_EQ(onlyError(s.dbc), expected + "\n") << r.option;
    }
    SQLUINTEGER value = 7;
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u) << "a refused value changes nothing";
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_AUTOCOMMIT, nullptr), SQL_ERROR);
    EXPECT_EQ(onlyError(s.dbc), state("S1C00", "Driver not capable - SQLGetConnectOption(Option=102): Driver not capable"));
    EXPECT_EQ(SQLGetConnectOption(s.dbc, 5, &value), SQL_ERROR);
    EXPECT_EQ(onlyError(s.dbc), state("S1C00", "Driver not capable - SQLGetConnectOption(Option=5): Driver not capable"));
    EXPECT_EQ(SQLSetConnectOption(nullptr, SQL_AUTOCOMMIT, 0), SQL_ERROR) << "no handle: no context";
    EXPECT_EQ(QVSQLSetConnectOption(nullptr, SQL_AUTOCOMMIT, 0), SQL_INVALID_HANDLE);
    EXPECT_EQ(QVSQLGetConnectOption(nullptr, SQL_AUTOCOMMIT, &value), SQL_INVALID_HANDLE);
    EXPECT_EQ(executes().size(), before);
  });
}

TEST_F(Info, StatementOptions) {
  start();
  inChild([&] {
    Session s;
    SQLHSTMT stmt = s.newStatement();
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 10), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(onlyError(nullptr, stmt),
              state("01S02", "Option value changed - SQLSetStmtOption:RowSet Size 10 requested, changed to 1"));
    SQLUINTEGER value = 99;
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(onlyError(nullptr, stmt),
              state("01S02", "Option value changed - SQLSetStmtOption:  Cursor Type 1 requested, changed to "
                             "SQL_CURSOR_FORWARD_ONLY."));
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ASYNC_ENABLE, 1), SQL_ERROR);
    EXPECT_EQ(onlyError(nullptr, stmt),
              state("S1C00", "Driver not capable - SQLSetStmtOption(SQL_ASYNC_ENABLE). Driver does not support the "
                             "option"));
    EXPECT_EQ(SQLSetStmtOption(stmt, 99, 1), SQL_ERROR);
    EXPECT_EQ(onlyError(nullptr, stmt),
              state("S1C00", "Driver not capable - SQLSetStmtOption(Option=99):  Driver does not support the option "
                             "specified"));
    // Accepted, some with a trace line only.
    const struct {
      SQLUSMALLINT option;
      SQLULEN value;
    } accepted[] = {{SQL_ASYNC_ENABLE, 0}, {SQL_BIND_TYPE, 16}, {SQL_CURSOR_TYPE, 0}, {SQL_NOSCAN, 1},
                    {SQL_MAX_LENGTH, 10}, {7, 1},          {11, 1},           {22, 4},
                    {27, 4},           {SQL_ROWSET_SIZE, 1}, {1001, 1},      {SQL_QUERY_TIMEOUT, 5}};
    for (const auto& a : accepted) {
      EXPECT_EQ(SQLSetStmtOption(stmt, a.option, a.value), SQL_SUCCESS) << a.option;
      EXPECT_EQ(onlyError(nullptr, stmt), "") << a.option;
    }
    SQLULEN fetched = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_EQ(SQLSetStmtOption(stmt, 26, reinterpret_cast<SQLULEN>(&fetched)), SQL_SUCCESS);
    EXPECT_EQ(fetched, 1u) << "every fetch brings one row";

    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 25), SQL_SUCCESS);
    value = 99;
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_ROWS, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 25u);
    const struct {
      SQLUSMALLINT option;
      SQLUINTEGER value;
    } fixed[] = {{SQL_MAX_LENGTH, 32768}, {SQL_ASYNC_ENABLE, 0}, {SQL_CURSOR_TYPE, 0}, {27, 1}};
    for (const auto& f : fixed) {
      value = 99;
      EXPECT_EQ(SQLGetStmtOption(stmt, f.option, &value), SQL_SUCCESS) << f.option;
      EXPECT_EQ(value, f.value) << f.option;
    }
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_NOSCAN, &value), SQL_ERROR);
    EXPECT_EQ(onlyError(nullptr, stmt), state("S1C00", "Driver not capable - SQLGetStmtOption(Option=2): Driver not capable"));
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_LENGTH, nullptr), SQL_ERROR);
    EXPECT_EQ(QVSQLSetStmtOption(nullptr, SQL_MAX_ROWS, 1), SQL_INVALID_HANDLE);
    EXPECT_EQ(QVSQLGetStmtOption(nullptr, SQL_MAX_ROWS, &value), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  });
}

// The peer drops the association after its next requests: the connection
// reads as dead, and an option the server was not told of is not changed.
TEST_F(Info, ADroppedSessionIsDeadAndKeepsItsOptions) {
  start({"--abort-after", "60"});
  inChild([&] {
    giQuietMode = 1;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    SQLUINTEGER dead = 7;
    EXPECT_EQ(SQLGetConnectOption(dbc, SQL_ATTR_CONNECTION_DEAD, &dead), SQL_SUCCESS);
    EXPECT_EQ(dead, 1u) << "not connected yet";
    ASSERT_EQ(SQLConnect(dbc, sqlText("rdatest"), SQL_NTS, sqlText("u"), SQL_NTS, sqlText("p"), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectOption(dbc, SQL_ATTR_CONNECTION_DEAD, &dead), SQL_SUCCESS);
    EXPECT_EQ(dead, 0u);
    // However many requests the connect made, the statements run into the
    // peer's abort.
    for (int i = 0; i < 100 && dead == 0; ++i) {
      SQLHSTMT stmt = nullptr;
      if (SQLAllocStmt(dbc, &stmt) != SQL_SUCCESS) break;
      SQLExecDirect(stmt, sqlText("SELECT 1"), SQL_NTS);
      SQLFreeStmt(stmt, SQL_DROP);
      EXPECT_EQ(SQLGetConnectOption(dbc, SQL_ATTR_CONNECTION_DEAD, &dead), SQL_SUCCESS);
    }
    EXPECT_EQ(SQLGetConnectOption(dbc, SQL_ATTR_CONNECTION_DEAD, &dead), SQL_SUCCESS);
    EXPECT_EQ(dead, 1u);
    SQLUINTEGER autocommit = 7;
    SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0);
    EXPECT_EQ(SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &autocommit), SQL_SUCCESS);
    EXPECT_EQ(autocommit, 0u) << "a dead session is not told: the driver keeps the value";
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
  });
}

// An isolation the server refuses: the option keeps its value, and the
// server's reason is on the connection.
TEST_F(Info, AnOptionTheServerRefusesIsNotChanged) {
  start();
  inChild([&] {
    Session s;
    SQLUINTEGER before = 0;
    SQLUINTEGER after = 0;
    ASSERT_EQ(SQLGetConnectOption(s.dbc, SQL_TXN_ISOLATION, &before), SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectOption(s.dbc, SQL_TXN_ISOLATION, 3), SQL_ERROR);
    EXPECT_NE(onlyError(s.dbc).find("S1009:" + narrowText(kMessagePrefix) + "no such isolation level"),
              std::string::npos);
    ASSERT_EQ(SQLGetConnectOption(s.dbc, SQL_TXN_ISOLATION, &after), SQL_SUCCESS);
    EXPECT_EQ(after, before);
  });
  EXPECT_TRUE(sent("WCHAR:_QV_SET_INFO SQL_TXN_ISOLATION '3'"));
}

// SQLGetConnectOptionW (SQL_CURRENT_QUALIFIER) gives the server's database
// name whole, up to the 255 bytes the core may write.
TEST_F(Info, CurrentQualifierOfTheLongestNameThroughTheWideExport) {
  const std::string name(255, 'd');
  start({"--info", "16=" + name});
  inChild([&] {
    Session s;
    SQLWCHAR wide[257];
    std::wmemset(wide, L'#', 257);
    EXPECT_EQ(SQLGetConnectOptionW(s.dbc, SQL_CURRENT_QUALIFIER, wide), SQL_SUCCESS) << onlyError(s.dbc);
    EXPECT_EQ(std::wstring(wide), std::wstring(255, L'd'));
    char narrow[256];
    EXPECT_EQ(SQLGetConnectOption(s.dbc, SQL_CURRENT_QUALIFIER, narrow), SQL_SUCCESS);
    EXPECT_EQ(std::string(narrow), name);
  });
}

}  // namespace
