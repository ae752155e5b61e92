// The frame of every native: the ODBC diagnostics read through SQLErrorW and
// thrown as a qvcliexception (the last record, or the method name and
// " fails:"), success with information chained as a qvcliwarning, the
// connection marked bad by 40001 and HZ520, and a broken Java half. The
// ODBC calls are scripted; the records sit in the driver's lists.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "jni_fixture.h"
#include "src/jdbc/QVCLIImpl.h"
#include "src/jdbc/qvjni.h"
#include "src/odbc/lmoinit.h"
#include "support/sandbox.h"

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

class Frame : public JniDriverTest {
 protected:
  // The connection option calls fail (or warn) with `rc`.
  void optionsAnswer(int16_t rc) {
    d_->script(QV_FN_SETCONNECTOPTION, [rc](uint64_t*) { return rc; });
    d_->script(QV_FN_GETCONNECTOPTION, [rc](uint64_t* w) {
      *arg<uint32_t*>(w, 2) = 4;
      return rc;
    });
  }
};

TEST_F(Frame, AFailureWithoutDiagnosticsThrowsTheMethodNameAndFails) {
  optionsAnswer(SQL_ERROR);
  Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_TRUE);
  const Thrown t = thrown();
  EXPECT_EQ(t.cls, "jdbc/sql/cli/qvcliexception");
  EXPECT_EQ(t.message, u"setAutoCommit fails:");
  EXPECT_EQ(t.sqlState, u"");
  EXPECT_EQ(t.code, 0);
}

TEST_F(Frame, TheLastOfThreeRecordsIsThrown) {
  optionsAnswer(SQL_ERROR);
  ScriptedDriver::diag(d_->dbcErrors(), L"42000", 1, L"first");
  ScriptedDriver::diag(d_->dbcErrors(), L"42S02", 2, L"second");
  ScriptedDriver::diag(d_->dbcErrors(), L"HY000", 3, L"third \U0001F600");
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTransactionIsolation(env(), cli_), 0);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"third \U0001F600");
  EXPECT_EQ(t.sqlState, u"HY000");
  EXPECT_EQ(t.code, 3);
  EXPECT_EQ(d_->dbcErrors()->count, 0u) << "every record was read";
}

TEST_F(Frame, FailedGetAutoCommitStillAnswersTrue) {
  optionsAnswer(SQL_ERROR);
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getAutoCommit(env(), cli_), JNI_TRUE);
  EXPECT_EQ(thrown().message, u"getAutoCommit fails:");
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isReadOnly(env(), cli_), JNI_FALSE);
  EXPECT_EQ(thrown().message, u"isReadOnly fails:");
}

// 40001 and HZ520 mark the connection bad through the object the native ran
// on, and the reading ends with that record.
TEST_F(Frame, BadConnectionStatesMarkTheObjectAndEndTheReading) {
  for (const wchar_t* state : {L"40001", L"HZ520"}) {
    for (bool statement : {false, true}) {
      jvm_.object(cli_)->badMarks = 0;
      jvm_.prim(cli_, "_badConnection") = 0;
      LmoErrorList* list = statement ? d_->stmtErrors() : d_->dbcErrors();
      ScriptedDriver::diag(list, L"01000", 1, L"before");
      ScriptedDriver::diag(list, state, 2, L"the bad one");
      ScriptedDriver::diag(list, L"HY000", 3, L"after");
      if (statement) {
        d_->script(QV_FN_ROWCOUNT, [](uint64_t*) { return int16_t{SQL_ERROR}; });
        Java_jdbc_sql_cli_qvclistmt_getRowCount(env(), stmt_);
      } else {
        optionsAnswer(SQL_ERROR);
        Java_jdbc_sql_cli_qvcli_setReadOnly(env(), cli_, JNI_TRUE);
      }
      const Thrown t = thrown();
      EXPECT_EQ(t.message, kPrefix + u"the bad one");
      EXPECT_EQ(t.sqlState, u16(state));
      EXPECT_EQ(t.code, 2);
      EXPECT_EQ(jvm_.object(cli_)->badMarks, 1) << "markConnectionAsBad runs once";
      EXPECT_EQ(jvm_.prim(cli_, "_badConnection"), 1);
      EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE);
      EXPECT_EQ(list->count, 1u) << "the record after it stays unread";
      lmoClearErrorList(list);
    }
  }
}

// A message that fills SQLErrorW's 513-character buffer is a record like any
// other: it is cut to 512 characters and the reading goes on.
TEST_F(Frame, AMessageFillingTheBufferIsCutTo512AndTheReadingGoesOn) {
  optionsAnswer(SQL_ERROR);
  const std::wstring text(600, L'm');
  ScriptedDriver::diag(d_->dbcErrors(), L"HY000", 7, text);
  Java_jdbc_sql_cli_qvcli_setTransactionIsolation(env(), cli_, 2);
  Thrown t = thrown();
  ASSERT_EQ(t.message.size(), 512u);
  EXPECT_EQ(t.message, (kPrefix + std::u16string(600, u'm')).substr(0, 512));
  EXPECT_EQ(t.code, 7);

  ScriptedDriver::diag(d_->dbcErrors(), L"HY000", 7, text);
  ScriptedDriver::diag(d_->dbcErrors(), L"HY001", 8, L"short");
  Java_jdbc_sql_cli_qvcli_setTransactionIsolation(env(), cli_, 2);
  t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"short");
  EXPECT_EQ(t.sqlState, u"HY001");
}

TEST_F(Frame, SuccessWithInformationChainsAWarningAndReturnsTheResult) {
  optionsAnswer(SQL_SUCCESS_WITH_INFO);
  ScriptedDriver::diag(d_->dbcErrors(), L"01S02", 0, L"Option value changed");
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTransactionIsolation(env(), cli_), 4);
  EXPECT_EQ(jvm_.pending(), nullptr);
  ASSERT_EQ(warnings(cli_).size(), 1u);
  EXPECT_EQ(warnings(cli_)[0]->cls->name, "jdbc/sql/cli/qvcliwarning");
  EXPECT_EQ(warnings(cli_)[0]->message, kPrefix + u"Option value changed");
  EXPECT_EQ(warnings(cli_)[0]->sqlState, u"01S02");

  // On the statement side the warning goes to the statement.
  d_->script(QV_FN_ROWCOUNT, [](uint64_t* w) {
    *arg<SQLLEN*>(w, 1) = 3;
    return int16_t{SQL_SUCCESS_WITH_INFO};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getUpdateCount(env(), stmt_), 3);
  EXPECT_EQ(warnings(stmt_).size(), 1u);
  EXPECT_EQ(warnings(stmt_)[0]->message, u"getUpdateCount fails:") << "no record: the method name";
}

TEST_F(Frame, AJavaHalfWithoutWarningsLosesThemQuietly) {
  optionsAnswer(SQL_SUCCESS_WITH_INFO);
  for (const char* missing : {"class", "constructor", "setNextWarning"}) {
    if (std::strcmp(missing, "class") == 0) jvm_.hideClass("jdbc/sql/cli/qvcliwarning");
    if (std::strcmp(missing, "constructor") == 0) jvm_.hideMethod("<init>");
    if (std::strcmp(missing, "setNextWarning") == 0) jvm_.hideMethod("setNextWarning");
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTransactionIsolation(env(), cli_), 4) << missing;
    EXPECT_EQ(jvm_.pending(), nullptr) << missing;
    EXPECT_TRUE(warnings(cli_).empty()) << missing;
  }
}

// An exception the Java half throws while taking a warning stays the one
// the caller sees, and the native makes no further call.
TEST_F(Frame, AWarningMethodThatThrowsEndsTheNative) {
  optionsAnswer(SQL_SUCCESS_WITH_INFO);
  jvm_.warningThrows = true;
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTransactionIsolation(env(), cli_), 0);
  const Thrown t = thrown();
  EXPECT_EQ(t.cls, "java/lang/RuntimeException");
}

TEST_F(Frame, AStatementWithoutItsHandleReadsNoDiagnostics) {
  ScriptedDriver::diag(d_->dbcErrors(), L"HY000", 1, L"the connection's");
  jvm_.prim(stmt_, "_sql_hstmt") = 0;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, nullptr), JNI_FALSE);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, u"Execute fails:");
  EXPECT_EQ(t.sqlState, u"");
  EXPECT_EQ(d_->dbcErrors()->count, 1u);
}

TEST_F(Frame, StatementDiagnosticsComeFromTheStatement) {
  ScriptedDriver::diag(d_->dbcErrors(), L"08S01", 1, L"the connection's");
  ScriptedDriver::diag(d_->stmtErrors(), L"42S02", 2, L"no such table");
  d_->script(QV_FN_GETSTMTOPTION, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  Java_jdbc_sql_cli_qvclistmt_getMaxRows(env(), stmt_);
  const Thrown t = thrown();
  EXPECT_EQ(t.message, kPrefix + u"no such table");
  EXPECT_EQ(t.code, 2);
  EXPECT_EQ(d_->dbcErrors()->count, 1u);
}

TEST_F(Frame, InvalidHandlesThrowTheMethodName) {
  jvm_.prim(cli_, "_sql_hdbc") = 0x7654321;
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getAutoCommit(env(), cli_), JNI_TRUE);
  EXPECT_EQ(thrown().message, u"getAutoCommit fails:");
  jvm_.prim(stmt_, "_sql_hstmt") = 0x1234567;
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getString(env(), stmt_, 1), nullptr);
  EXPECT_EQ(thrown().message, u"getString fails:");
}

// ---- A broken Java half ends the VM ----

using FrameDeathTest = Frame;

TEST_F(FrameDeathTest, AMissingExceptionClassOrConstructorEndsTheVm) {
  optionsAnswer(SQL_ERROR);
  EXPECT_EXIT(
      {
        jvm_.hideClass("jdbc/sql/cli/qvcliexception");
        Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_TRUE);
      },
      ::testing::ExitedWithCode(kFatalExit), "FATAL ERROR in native method: Unable to find SQL Exception Class\\.");
  EXPECT_EXIT(
      {
        jvm_.hideMethod("<init>");
        Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_TRUE);
      },
      ::testing::ExitedWithCode(kFatalExit), "Unable to find  SQL Exception\\(String,String,int\\) method\\.");
  EXPECT_EXIT(
      {
        jvm_.hideMethod("markConnectionAsBad");
        ScriptedDriver::diag(d_->dbcErrors(), L"40001", 1, L"deadlock");
        Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_TRUE);
      },
      ::testing::ExitedWithCode(kFatalExit), "Unable to find  markConnectionAsBad\\(\\) method\\.");
}

TEST_F(FrameDeathTest, AFieldMissingFromAClassEndsTheVmNamingIt) {
  const char* cliFields[] = {"_sql_hdbc", "_sql_henv", "_badConnection", "_inXATransaction", "_transactionLevel",
                             "_systemStmt"};
  for (const char* f : cliFields) {
    EXPECT_EXIT(
        {
          jvm_.hideField(f);
          Java_jdbc_sql_cli_qvcli_initStaticVarsCLI(env(), classRef("jdbc/sql/cli/qvcli"));
        },
        ::testing::ExitedWithCode(kFatalExit), std::string("Undefined Field '") + f + "' ");
  }
  const char* stmtFields[] = {"_sql_hdbc",    "_sql_hstmt",     "_sql_numParams", "_sql_paramDataArray",
                              "_sql_wasnull", "_param_wasnull", "_parentCli"};
  for (const char* f : stmtFields) {
    EXPECT_EXIT(
        {
          jvm_.hideField(f);
          Java_jdbc_sql_cli_qvclistmt_initStaticVarsCLISTMT(env(), classRef("jdbc/sql/cli/qvclistmt"));
        },
        ::testing::ExitedWithCode(kFatalExit), std::string("Undefined Field '") + f + "' ");
  }
}

// Every record read is traced with its Message: line at TraceOptions 2.
TEST_F(Frame, EveryRecordReadIsTraced) {
  ConfigSandbox sandbox({"MIRODEL_INI", "HOME"});
  const std::string trace = (sandbox.dir() / "calls.log").string();
  std::ofstream(sandbox.dir() / "mirodel.ini") << "[JDBC]\nTraceOptions=2\nTraceFile=" << trace << "\n";
  setenv("MIRODEL_INI", (sandbox.dir() / "mirodel.ini").c_str(), 1);
  inChild([&] {
    ASSERT_EQ(initODBC(), 1);
    ScriptedDriver d;
    useDriver(d);
    d.script(QV_FN_SETCONNECTOPTION, [](uint64_t*) { return int16_t{SQL_ERROR}; });
    ScriptedDriver::diag(d.dbcErrors(), L"42000", 1, L"first");
    ScriptedDriver::diag(d.dbcErrors(), L"42S02", 2, L"second");
    ScriptedDriver::diag(d.dbcErrors(), L"HY000", 3, L"third");
    Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_FALSE);
    EXPECT_EQ(thrown().message, kPrefix + u"third");
    EXPECT_EQ(countLines(trace, "QVCLIImpl: setAutoCommit"), 1);
    EXPECT_EQ(countLines(trace, "    SQLRETURN  indicates: FATAL ERROR"), 1);
    EXPECT_EQ(countLines(trace, "SQLCode:"), 3);
    EXPECT_EQ(countLines(trace, "Message:[Quenlow][Varenta JDBC]second SQLCode:42S02 NativeCode:2"), 1);
    // Each record's Full Message line ends with its message: nothing runs on
    // behind it.
    std::ifstream in(trace);
    int ended = 0;
    for (std::string line; std::getline(in, line);)
      ended += line.find("Full Message:setAutoCommit fails:[Quenlow][Varenta JDBC]") != std::string::npos &&
               (line.ends_with("]first") || line.ends_with("]second") || line.ends_with("]third"));
    EXPECT_EQ(ended, 3);
  });
}

}  // namespace
