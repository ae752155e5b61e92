// The JDBC call trace: the printers of every family called directly, with
// fixed argument values, against the records written out by hand (the
// writer's blank before each 8-bit line, none before a wide one).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/qvthread.h"
#include "jni_fixture.h"
#include "odbc/driver_fixture.h"
#include "src/jdbc/qvjtypes.h"
#include "src/jdbc/qvprint.h"
#include "src/odbc/lmoinit.h"
#include "src/runtime/gutrace.h"
#include "src/runtime/tm.h"
#include "support/call_trace.h"
#include "support/recordset.h"

namespace {

// The writer on the test's file with htrJDBC open at `mask` and the JDBC
// trace switched on; the driver's own handles and switch come back
// afterwards.
class JdbcTrace : public CallTrace {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    attachDriverOnce();
    CallTrace::SetUp();
    savedOdbc_ = htrODBC;
    savedJdbc_ = htrJDBC;
    savedFlag_ = JDBCTrace;
    start();
    htrODBC = nullptr;
    open(63);
    JDBCTrace = 1;
  }
  void TearDown() override {
    htrODBC = savedOdbc_;
    htrJDBC = savedJdbc_;
    JDBCTrace = savedFlag_;
    CallTrace::TearDown();
  }
  void open(uint64_t mask) { htrJDBC = tr_open("qvjdbc", mask); }

  TrHandle savedOdbc_ = nullptr;
  TrHandle savedJdbc_ = nullptr;
  int32_t savedFlag_ = 0;
};

// Family A: the header and "returns" alone; the string phase writes nothing.
TEST_F(JdbcTrace, NoArgumentsNoResult) {
  QVPrntcommit(kQvPrntEntry, 0);
  QVPrntcommit(kQvPrntStrings, 0);
  QVPrntcommit(kQvPrntExit, 0);
  QVPrntclearParameters(9, 0);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:commit called\n"
            " [TID = 7F2A]:commit returns\n");
}

// Families B and D as tables: each member's exit line, a boolean shown as 0
// or 1 whatever the native passed, a number as it is.
TEST_F(JdbcTrace, NumericAndBooleanResultsByMember) {
  struct Case {
    void (*printer)(int, long);
    long result;
    const char* line;
  };
  const Case cases[] = {
      {QVPrntgetRowCount, -1, " [TID = 7F2A]:getRowCount returns -1\n"},
      {QVPrntgetMaxRowSize, 70000, " [TID = 7F2A]:getMaxRowSize returns 70000\n"},
      {QVPrntgetTypeInfo, 0, " [TID = 7F2A]:getTypeInfo returns 0\n"},
      {QVPrntnext, 1, " [TID = 7F2A]:next returns 1\n"},
      {QVPrntsupportsUnion, 255, " [TID = 7F2A]:supportsUnion returns 1\n"},
      {QVPrntgetAutoCommit, 0, " [TID = 7F2A]:getAutoCommit returns 0\n"},
      {QVPrntnullsAreSortedHigh, -3, " [TID = 7F2A]:nullsAreSortedHigh returns 1\n"},
      {QVPrntdataDefinitionIgnoredInTransactions, 1,
       " [TID = 7F2A]:dataDefinitionIgnoredInTransactions returns 1\n"},
  };
  std::string want;
  for (const Case& c : cases) {
    c.printer(kQvPrntExit, c.result);
    want += c.line;
  }
  QVPrntgetMaxRows(kQvPrntEntry, 0);
  want += " [TID = 7F2A]:getMaxRows called\n";
  EXPECT_EQ(trace(), want);
}

TEST_F(JdbcTrace, ColumnGetters) {
  struct Case {
    void (*printer)(int, long, long);
    long result;
    const char* line;
  };
  const Case cases[] = {
      {QVPrntgetInt, -2147483648L, " [TID = 7F2A]:getInt returns -2147483648\n"},
      {QVPrntgetShort, 70000, " [TID = 7F2A]:getShort returns 4464\n"},
      {QVPrntgetBytes, 12, " [TID = 7F2A]:getBytes returns 12 bytes\n"},
      {QVPrntgetColumnType, 93, " [TID = 7F2A]:getColumnType returns 93\n"},
      {QVPrntisNullable, 2, " [TID = 7F2A]:isNullable returns 1\n"},
  };
  std::string want;
  for (const Case& c : cases) {
    c.printer(kQvPrntExit, c.result, 3);
    want += c.line;
  }
  QVPrntgetFloat(kQvPrntEntry, 0, 4);
  QVPrntgetFloat(kQvPrntExit, 1.25e-7, 4);
  QVPrntgetDouble(kQvPrntExit, 3.14159265358979, 4);
  want +=
      " [TID = 7F2A]:getFloat called\n"
      " \tcolumn = 4\n"
      " [TID = 7F2A]:getFloat returns 1.25E-07\n"
      " [TID = 7F2A]:getDouble returns 3.14159265358979\n";
  EXPECT_EQ(trace(), want);
}

// Family C: the 8-bit text after "returns".
TEST_F(JdbcTrace, TextResults) {
  QVPrntgetSubProtocol(kQvPrntEntry, nullptr);
  QVPrntgetSubProtocol(kQvPrntExit, "qvsql");
  QVPrntgetSchemaTerm(kQvPrntExit, nullptr);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:getSubProtocol called\n"
            " [TID = 7F2A]:getSubProtocol returns qvsql\n"
            " [TID = 7F2A]:getSchemaTerm returns NULL\n");
}

// Family E: the wide text on its own line, whole; getString shows the
// buffer the native last read into (the last piece), NULL without one.
TEST_F(JdbcTrace, ColumnTexts) {
  std::wstring longText(3000, L'x');
  longText += L"\u00e9nd";
  QVPrntgetColumnLabel(kQvPrntEntry, 0, 2, nullptr);
  QVPrntgetColumnLabel(kQvPrntExit, 0, 2, L"NAME");
  QVPrntgetString(kQvPrntExit, 0, 1, longText.c_str());
  QVPrntgetString(kQvPrntExit, 0, 1, nullptr);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:getColumnLabel called\n"
            " \tcolumn = 2\n"
            " [TID = 7F2A]:getColumnLabel returns\n"
            "\tNAME\n"
            " [TID = 7F2A]:getString returns\n"
            "\t" + std::string(3000, 'x') + "\xC3\xA9nd\n"
            " [TID = 7F2A]:getString returns\n"
            "\tNULL\n");
}

// Families F and G: one exit line per field.
TEST_F(JdbcTrace, DatesAndParameters) {
  const DATE_STRUCT d{1999, 12, 31};
  const TIMESTAMP_STRUCT ts{-5, 2, 29, 13, 5, 9, 500000000};
  QVPrntgetDate(kQvPrntEntry, 0, 5, nullptr);
  QVPrntgetDate(kQvPrntExit, 0, 5, &d);
  QVPrntgetParamTimestamp(kQvPrntExit, 0, 2, &ts);
  QVPrntgetParamInt(kQvPrntEntry, 0, 3);
  QVPrntgetParamInt(kQvPrntExit, -7, 3);
  QVPrntgetParamShort(kQvPrntExit, -2, 3);
  QVPrntgetParamDouble(kQvPrntExit, 2.5, 3);
  QVPrntgetParamString(kQvPrntExit, 0, 4, L"caf\u00e9");
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:getDate called\n"
            " \tcolumn = 5\n"
            " [TID = 7F2A]:getDate returns 1999\n"
            " [TID = 7F2A]:getDate returns 12\n"
            " [TID = 7F2A]:getDate returns 31\n"
            " [TID = 7F2A]:getParamTimestamp returns -5\n"
            " [TID = 7F2A]:getParamTimestamp returns 2\n"
            " [TID = 7F2A]:getParamTimestamp returns 29\n"
            " [TID = 7F2A]:getParamTimestamp returns 13\n"
            " [TID = 7F2A]:getParamTimestamp returns 5\n"
            " [TID = 7F2A]:getParamTimestamp returns 9\n"
            " [TID = 7F2A]:getParamTimestamp returns 500000000\n"
            " [TID = 7F2A]:getParamInt called\n"
            " \tparam = 3\n"
            " [TID = 7F2A]:getParamInt returns -7\n"
            " [TID = 7F2A]:getParamShort returns -2\n"
            " [TID = 7F2A]:getParamDouble returns 2.500000\n"
            " [TID = 7F2A]:getParamString returns caf\xC3\xA9\n");
}

// Family H.
TEST_F(JdbcTrace, ScalarArguments) {
  int value = 0;
  QVPrntsetEscapeProcessing(kQvPrntEntry, 0, 1);
  QVPrntsetEscapeProcessing(kQvPrntExit, 0, 1);
  QVPrntsupportsSpecificConvert(kQvPrntEntry, 0, 4, 12);
  QVPrntsupportsSpecificConvert(kQvPrntExit, 0, 4, 12);
  QVPrntregisterOutParameter(kQvPrntEntry, 0, 2, 3, 4);
  QVPrntregisterOutParameter(kQvPrntExit, 0, 2, 3, 4);
  QVPrntRegisterInputParam(kQvPrntEntry, 0, "setString", 1, -8, 12, reinterpret_cast<const void*>(0x40));
  QVPrntRegisterInputParam(kQvPrntExit, 0, "setString", 1, -8, 12, &value);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:setEscapeProcessing called\n"
            " \tenable = 1\n"
            " [TID = 7F2A]:setEscapeProcessing returns\n"
            " [TID = 7F2A]:supportsSpecificConvert called\n"
            " \tlFromType = 4\n"
            " \tlToType = 12\n"
            " [TID = 7F2A]:supportsSpecificConvert returns 0\n"
            " [TID = 7F2A]:registerOutParameter called\n"
            " \tparameterIndex = 2\n"
            " \tjdbcType = 3\n"
            " \tscale = 4\n"
            " [TID = 7F2A]:registerOutParameter returns 0\n"
            " [TID = 7F2A]:RegisterInputParam (setString) called\n"
            " \tparameterIndex = 1\n"
            " \tiCType = -8\n"
            " \tiSqlType = 12\n"
            " \tpVal = 0x40\n"
            " [TID = 7F2A]:RegisterInputParam returns 0\n");
}

// Family I: the strings at phase 3; the user name and password as "***"
// (NULL stays NULL) and the connection string's user and password values
// masked character by character.
TEST_F(JdbcTrace, StringArgumentsWithCredentialsHidden) {
  QVPrntopenConnectionWithProperties(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
  QVPrntopenConnectionWithProperties(kQvPrntStrings, 0, L"scott", L"tiger", L"DB1",
                                     L"DSN=DB1;UID=scott; PWD=tiger;QVTraceOptions=2");
  QVPrntopenConnectionWithProperties(kQvPrntExit, 0, L"scott", L"tiger", L"DB1", nullptr);
  QVPrntopenConnectionWithProperties(kQvPrntStrings, 0, nullptr, L"", nullptr, nullptr);
  QVPrntExecute(kQvPrntEntry, 0, nullptr);
  QVPrntExecute(kQvPrntStrings, 0, L"SELECT 1");
  QVPrntExecute(kQvPrntExit, 3, L"SELECT 1");
  QVPrntnativeSql(kQvPrntStrings, 0, L"{fn now()}", nullptr);
  QVPrntnativeSql(kQvPrntExit, 0, L"{fn now()}", L"now()");
  QVPrntgetCatalog(kQvPrntStrings, 0, L"C1");
  QVPrntgetCatalog(kQvPrntExit, 0, L"C1");
  QVPrntgetCursorName(kQvPrntExit, 0, L"SQLCUR1");
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:openConnectionWithProperties called\n"
            "\twuid = ***\n"
            "\twpwd = ***\n"
            "\twdbs = DB1\n"
            "\twcustomConnStr = DSN=DB1;UID=*****; PWD=*****;QVTraceOptions=2\n"
            " [TID = 7F2A]:openConnectionWithProperties returns\n"
            "\twuid = NULL\n"
            "\twpwd = ***\n"
            "\twdbs = NULL\n"
            "\twcustomConnStr = NULL\n"
            " [TID = 7F2A]:Execute called\n"
            "\twsqlstr = SELECT 1\n"
            " [TID = 7F2A]:Execute returns 3\n"
            "\twsqlstr = {fn now()}\n"
            " [TID = 7F2A]:nativeSql returns\n"
            "\twretsqlstr = now()\n"
            " [TID = 7F2A]:getCatalog returns\n"
            "\twCatalog = C1\n"
            " [TID = 7F2A]:getCursorName returns\n"
            "\tSQLCUR1\n");
}

// Family J: the patterns at phase 3 with NULL for a missing one, and the
// ODBC return code.
TEST_F(JdbcTrace, CatalogLookups) {
  QVPrntgetTables(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
  QVPrntgetTables(kQvPrntStrings, 0, nullptr, L"S%", L"T\u00e9", nullptr);
  QVPrntgetTables(kQvPrntExit, 0, nullptr, L"S%", L"T\u00e9", nullptr);
  QVPrntgetIndexInfo(kQvPrntEntry, 0, 1, 0, nullptr, nullptr, nullptr);
  QVPrntgetIndexInfo(kQvPrntStrings, 0, 1, 0, L"C", L"S", L"T");
  QVPrntgetIndexInfo(kQvPrntExit, -1, 1, 0, L"C", L"S", L"T");
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:getTables called\n"
            "\twszCatalog = NULL\n"
            "\twszSchemaPattern = S%\n"
            "\twszTableNamePattern = T\xC3\xA9\n"
            "\twszTypes = NULL\n"
            " [TID = 7F2A]:getTables returns 0\n"
            " [TID = 7F2A]:getIndexInfo called\n"
            " \tunique = 1\n"
            " \tapproximate = 0\n"
            "\twszCatalog = C\n"
            "\twszSchema = S\n"
            "\twszTable = T\n"
            " [TID = 7F2A]:getIndexInfo returns -1\n");
}

// TraceOptions other than 0 to 3 leave the mask at 1: the printers run and
// the file gets none of their lines; level 3 dumps each wide line.
TEST_F(JdbcTrace, LevelsChooseTheLines) {
  open(1);
  QVPrntgetTables(kQvPrntEntry, 0, nullptr, nullptr, nullptr, nullptr);
  QVPrntgetTables(kQvPrntStrings, 0, L"C", nullptr, nullptr, nullptr);
  QVPrntgetTables(kQvPrntExit, 0, L"C", nullptr, nullptr, nullptr);
  EXPECT_EQ(trace(), "");
  open(1023);
  QVPrntsetCatalog(kQvPrntStrings, 0, L"C");
  const std::string t = trace();
  EXPECT_EQ(t.rfind("\twCatalog = C\n", 0), 0u) << t;
  EXPECT_NE(t.find("<Unicode Trace:Hex>"), std::string::npos) << t;
}

// The natives over scripted ODBC calls, with the writer on a file of the
// test's and only the JDBC trace's handle open.
class JdbcNativeTrace : public JniDriverTest {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    attachDriverOnce();
    JniDriverTest::SetUp();
    char tmpl[] = "/tmp/jtraceXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    savedThreadId_ = glMainThreadId;
    savedSwitch_ = QvMultiThread;
    savedOdbc_ = htrODBC;
    savedJdbc_ = htrJDBC;
    savedOdbcFlag_ = ODBCTrace;
    savedFlag_ = JDBCTrace;
    QvSetMultiThread(0);
    glMainThreadId = 0x7F2A;
    savedCap_ = giTmLogFileMaxSize;
    tr_shutdown();
    gTraceCB = TraceCB{};
    ASSERT_EQ(tr_init("prog", (dir_ / "calls.log").c_str(), 0, 0, 0), 1);
    giTmLogFileMaxSize = 0;
    htrODBC = nullptr;
    ODBCTrace = 0;
    htrJDBC = tr_open("qvjdbc", 63);
    JDBCTrace = 1;
  }
  void TearDown() override {
    tr_shutdown();
    gTraceCB = TraceCB{};
    giTmLogFileMaxSize = savedCap_;
    htrODBC = savedOdbc_;
    htrJDBC = savedJdbc_;
    ODBCTrace = savedOdbcFlag_;
    JDBCTrace = savedFlag_;
    glMainThreadId = savedThreadId_;
    QvSetMultiThread(savedSwitch_);
    std::filesystem::remove_all(dir_);
    JniDriverTest::TearDown();
  }
  std::string trace() {
    tr_shutdown();
    return readWholeFile(dir_ / "calls.log");
  }

  std::filesystem::path dir_;
  uint64_t savedThreadId_ = 0;
  int32_t savedSwitch_ = 1;
  int32_t savedCap_ = 0;
  TrHandle savedOdbc_ = nullptr;
  TrHandle savedJdbc_ = nullptr;
  int32_t savedOdbcFlag_ = 0;
  int32_t savedFlag_ = 0;
};

// A value read in three pieces: the exit record shows the last one only.
TEST_F(JdbcNativeTrace, GetStringShowsTheLastPiece) {
  const size_t room = kQvjStringPieceChars - 1;
  std::wstring text(room, L'a');
  text += std::wstring(room, L'b');
  text += L"last";
  size_t at = 0;
  d_->script(QV_FN_GETDATA, [&](uint64_t* w) {
    const size_t n = std::min(static_cast<size_t>(arg<int64_t>(w, 4)) / sizeof(wchar_t) - 1, text.size() - at);
    auto* out = arg<wchar_t*>(w, 3);
    std::wmemcpy(out, text.data() + at, n);
    out[n] = L'\0';
    *arg<SQLLEN*>(w, 5) = static_cast<SQLLEN>((text.size() - at) * sizeof(wchar_t));
    at += n;
    return static_cast<int16_t>(at < text.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
  });
  jstring s = Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 2);
  EXPECT_EQ(jvm_.text(s), u16(text));
  EXPECT_EQ(d_->calls(QV_FN_GETDATA), 3);
  EXPECT_EQ(trace(),
            " [TID = 7F2A]:getString called\n"
            " \tcolumn = 2\n"
            " [TID = 7F2A]:getString returns\n"
            "\tlast\n");
}

// A native that raises an exception leaves its entry lines and no exit
// record; with the trace off (TraceOptions 0) it writes nothing.
TEST_F(JdbcNativeTrace, FailingExecuteWritesNoExitRecord) {
  d_->script(QV_FN_FREESTMT, [](uint64_t*) { return int16_t{0}; });
  d_->script(QV_FN_EXECDIRECT, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"DROP TABLE T")),
            JNI_FALSE);
  EXPECT_EQ(thrown().cls, "jdbc/sql/cli/qvcliexception");
  const std::string t = trace();
  EXPECT_EQ(t.rfind(" [TID = 7F2A]:Execute called\n"
                    "\twsqlstr = DROP TABLE T\n",
                    0),
            0u)
      << t;
  EXPECT_EQ(t.find("Execute returns"), std::string::npos) << t;
  EXPECT_NE(t.find("QVCLIStmtImpl: Execute\n"), std::string::npos) << "the error lines: " << t;

  // TraceOptions 0: the switch off and the mask at 1.
  JDBCTrace = 0;
  ASSERT_EQ(tr_init("prog", (dir_ / "calls.log").c_str(), 0, 0, 0), 1);
  htrJDBC = tr_open("qvjdbc", 1);
  std::filesystem::remove(dir_ / "calls.log");
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"DROP TABLE T")),
            JNI_FALSE);
  thrown();
  EXPECT_EQ(trace(), "");
}

}  // namespace
