// The connection natives of qvcli: environment and connection, the connect
// with its options (the option calls scripted where a test watches them),
// transactions, the local-transaction bookkeeping, the
// configuration the bridge reports, and a connect against rdapeer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "jni_fixture.h"
#include "src/jdbc/QVCLIImpl.h"
#include "src/odbc/lmoinit.h"
#include "support/peer_process.h"
#include "support/sandbox.h"
#include "src/session/tp0tcp.h"
#include "support/stack.h"

// The statement natives' own declarations, checked against what javac
// generates from the Java half's classes.
#include "jdbc_sql_cli_qvcli.h"
#include "jdbc_sql_cli_qvclistmt.h"

namespace fs = std::filesystem;

namespace {

const std::u16string kPrefix = u"[Quenlow][Varenta JDBC]";

class Connection : public JniTest {};

TEST_F(Connection, IsConnectedReadsTheFieldsOnly) {
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE) << "_sql_hdbc 0";
  jvm_.prim(cli_, "_sql_hdbc") = 42;
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_TRUE);
  jvm_.prim(cli_, "_badConnection") = 1;
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE);
}

TEST_F(Connection, NativeSqlGivesTheTextBackUpTo32768Characters) {
  // 32768 characters, one of them above U+FFFF (two units).
  std::u16string sql = u"SELECT {fn UCASE(x)} FROM t WHERE d = {d '1999-12-31'} -- \U0001F600 ";
  while (sql.size() < 32769) sql += u"{oj a LEFT OUTER JOIN b ON a.k = b.k} ";
  sql.resize(32769);
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvcli_nativeSql(env(), cli_, jvm_.str(sql))), sql);
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_nativeSql(env(), cli_, jvm_.str(sql + u"x")), nullptr);
  Thrown t = thrown();
  EXPECT_EQ(t.sqlState, u"S1090");
  EXPECT_NE(t.message.find(u"nativeSql: SQL text longer than 32768 characters"), std::u16string::npos);

  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_nativeSql(env(), cli_, nullptr), nullptr);
  t = thrown();
  EXPECT_EQ(t.message, u"nativeSql fails:");
  EXPECT_EQ(t.sqlState, u"");
  EXPECT_EQ(t.code, 0);
}

TEST_F(Connection, BogusHandlesThrowAndTheLocalTransactionStillEnds) {
  jvm_.prim(cli_, "_sql_hdbc") = 0x7654321;
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getAutoCommit(env(), cli_), JNI_TRUE) << "true also after an error";
  EXPECT_EQ(thrown().message, u"getAutoCommit fails:");
  for (bool commit : {true, false}) {
    jvm_.prim(cli_, "_transactionLevel") = 1;
    (commit ? Java_jdbc_sql_cli_qvcli_internalCommit : Java_jdbc_sql_cli_qvcli_internalRollback)(env(), cli_);
    EXPECT_EQ(thrown().message, commit ? u"commit fails:" : u"rollback fails:");
    EXPECT_EQ(jvm_.prim(cli_, "_transactionLevel"), 0);
  }
  Java_jdbc_sql_cli_qvcli_setCatalog(env(), cli_, nullptr);
  EXPECT_EQ(thrown().message, u"setCatalog fails:");
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getCatalog(env(), cli_), nullptr);
  EXPECT_EQ(thrown().message, u"getCatalog fails:");
}

TEST_F(Connection, TraceSettingsComeFromTheStartUp) {
  const std::string savedFile = gpcTraceFile;
  const int32_t savedLevel = JDBCTraceLevel;
  std::strcpy(gpcTraceFile, "/tmp/calls \xc3\xa9.log");
  JDBCTraceLevel = 5;
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvcli_getTraceFileName(env(), cli_)), u"/tmp/calls \u00e9.log");
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTraceLevel(env(), cli_), 5);
  std::strcpy(gpcTraceFile, savedFile.c_str());
  JDBCTraceLevel = savedLevel;
}

// getSubProtocol reads [JDBC] URLSubProtocol again from MIRODEL_INI each
// time; without a file it can read it keeps what it had.
TEST_F(Connection, SubProtocolFollowsTheConfigurationFile) {
  ConfigSandbox sandbox({"MIRODEL_INI"});
  const std::string saved = gszSubProtocol;
  std::strcpy(gszSubProtocol, "AtStartUp");
  auto sub = [&] { return jvm_.text(Java_jdbc_sql_cli_qvcli_getSubProtocol(env(), cli_)); };
  EXPECT_EQ(sub(), u"AtStartUp") << "no MIRODEL_INI";
  const fs::path ini = sandbox.dir() / "mirodel.ini";
  setenv("MIRODEL_INI", ini.c_str(), 1);
  EXPECT_EQ(sub(), u"AtStartUp") << "no such file";
  const std::pair<std::string, std::u16string> cases[] = {
      {"[COMMON]\nx=1\n", u"Varenta"},
      {"[JDBC]\nURLSubProtocol=  Other one  \n", u"Other one"},
      {"[JDBC]\nURLSubProtocol=\n", u""},
      {"[JDBC]\nURLSubProtocol=" + std::string(200, 'p') + "\n", std::u16string(127, u'p')},
  };
  for (const auto& [text, expected] : cases) {
    std::ofstream(ini) << text;
    EXPECT_EQ(sub(), expected) << text;
  }
  std::strcpy(gszSubProtocol, "Kept");
  // A path longer than the 512-byte buffer is not read.
  const fs::path deep = sandbox.dir() / std::string(250, 'd') / std::string(250, 'e') / "mirodel.ini";
  fs::create_directories(deep.parent_path());
  std::ofstream(deep) << "[JDBC]\nURLSubProtocol=Deep\n";
  setenv("MIRODEL_INI", deep.c_str(), 1);
  EXPECT_EQ(sub(), u"Kept");
  std::strcpy(gszSubProtocol, saved.c_str());
}

// ---- With the driver's records ----

class ConnectionDriver : public JniDriverTest {
 protected:
  // SQL_AUTOCOMMIT as the connection reports it.
  void autocommit(int value) {
    d_->script(QV_FN_GETCONNECTOPTION, [value](uint64_t* w) {
      EXPECT_EQ(arg<uint16_t>(w, 1), SQL_AUTOCOMMIT);
      *arg<uint32_t*>(w, 2) = static_cast<uint32_t>(value);
      return int16_t{0};
    });
  }
};

TEST_F(ConnectionDriver, CondStartLocalTranStartsOneOnlyWhenAutocommitIsOff) {
  struct Case {
    const char* name;
    int autocommit;
    bool system;
    bool xa;
    int level;
    int levelAfter;
    int questions;  // SQL_AUTOCOMMIT asked
  };
  const Case cases[] = {
      {"autocommit off", 0, false, false, 0, 1, 1},
      {"autocommit on", 1, false, false, 0, 0, 1},
      {"the connection's system statement", 0, true, false, 0, 0, 0},
      {"in an XA transaction", 0, false, true, 0, 0, 0},
      {"a local transaction already", 0, false, false, 1, 1, 0},
  };
  for (const Case& c : cases) {
    autocommit(c.autocommit);
    const int before = d_->calls(QV_FN_GETCONNECTOPTION);
    jvm_.ref(cli_, "_systemStmt") = c.system ? jvm_.object(stmt_) : nullptr;
    jvm_.prim(cli_, "_inXATransaction") = c.xa ? 1 : 0;
    jvm_.prim(cli_, "_transactionLevel") = c.level;
    EXPECT_TRUE(CondStartLocalTran(env(), stmt_, cli_)) << c.name;
    EXPECT_EQ(jvm_.prim(cli_, "_transactionLevel"), c.levelAfter) << c.name;
    EXPECT_EQ(d_->calls(QV_FN_GETCONNECTOPTION) - before, c.questions) << c.name;
  }
  EXPECT_TRUE(CondStartLocalTran(env(), stmt_, nullptr)) << "a statement without a connection";
  // Rollback ends the local transaction.
  d_->script(QV_FN_TRANSACT, [](uint64_t* w) {
    EXPECT_EQ(arg<uint16_t>(w, 2), SQL_ROLLBACK);
    return int16_t{0};
  });
  jvm_.prim(cli_, "_transactionLevel") = 1;
  Java_jdbc_sql_cli_qvcli_internalRollback(env(), cli_);
  EXPECT_EQ(jvm_.prim(cli_, "_transactionLevel"), 0);
  EXPECT_EQ(d_->calls(QV_FN_TRANSACT), 1);
}

// A failing question for autocommit leaves its exception for the Java
// caller, and the statement is not run.
TEST_F(ConnectionDriver, AFailedAutocommitQuestionKeepsTheStatementFromRunning) {
  d_->script(QV_FN_GETCONNECTOPTION, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  EXPECT_FALSE(CondStartLocalTran(env(), stmt_, cli_));
  EXPECT_EQ(thrown().message, u"getAutoCommit fails:");

  d_->script(QV_FN_FREESTMT, [](uint64_t*) { return int16_t{0}; });
  d_->script(QV_FN_EXECDIRECT, [](uint64_t*) { return int16_t{0}; });
  EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt_, jvm_.str(u"DELETE FROM t")),
            JNI_FALSE);
  EXPECT_EQ(thrown().message, u"getAutoCommit fails:");
  EXPECT_EQ(d_->calls(QV_FN_EXECDIRECT), 0) << "nothing sent";
  EXPECT_EQ(jvm_.prim(cli_, "_transactionLevel"), 0);
}

TEST_F(ConnectionDriver, OptionNativesSetAndReadTheirOptions) {
  std::vector<std::pair<uint16_t, uint64_t>> set;
  d_->script(QV_FN_SETCONNECTOPTION, [&](uint64_t* w) {
    set.emplace_back(arg<uint16_t>(w, 1), arg<uint64_t>(w, 2));
    if (arg<uint16_t>(w, 1) == SQL_CURRENT_QUALIFIER) {
      EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(arg<uint64_t>(w, 2))), "sales");
    }
    return int16_t{0};
  });
  Java_jdbc_sql_cli_qvcli_internalSetAutoCommit(env(), cli_, JNI_FALSE);
  Java_jdbc_sql_cli_qvcli_setReadOnly(env(), cli_, JNI_TRUE);
  Java_jdbc_sql_cli_qvcli_setTransactionIsolation(env(), cli_, 8);
  Java_jdbc_sql_cli_qvcli_setCatalog(env(), cli_, jvm_.str(u"sales"));
  ASSERT_EQ(set.size(), 4u);
  EXPECT_EQ(set[0], (std::pair<uint16_t, uint64_t>{SQL_AUTOCOMMIT, 0}));
  EXPECT_EQ(set[1], (std::pair<uint16_t, uint64_t>{SQL_ACCESS_MODE, 1}));
  EXPECT_EQ(set[2], (std::pair<uint16_t, uint64_t>{SQL_TXN_ISOLATION, 8}));
  EXPECT_EQ(set[3].first, SQL_CURRENT_QUALIFIER);

  Java_jdbc_sql_cli_qvcli_setCatalog(env(), cli_, jvm_.str(std::u16string(129, u'c')));
  EXPECT_EQ(thrown().sqlState, u"S1090");
  EXPECT_EQ(set.size(), 4u) << "no call for a name over 128 characters";

  d_->script(QV_FN_GETCONNECTOPTION, [](uint64_t* w) {
    const uint16_t option = arg<uint16_t>(w, 1);
    if (option == SQL_CURRENT_QUALIFIER) {
      std::strcpy(arg<char*>(w, 2), "sales");
    } else {
      *arg<uint32_t*>(w, 2) = option == SQL_ACCESS_MODE ? 1 : option == SQL_TXN_ISOLATION ? 8 : 0;
    }
    return int16_t{0};
  });
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getAutoCommit(env(), cli_), JNI_FALSE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isReadOnly(env(), cli_), JNI_TRUE);
  EXPECT_EQ(Java_jdbc_sql_cli_qvcli_getTransactionIsolation(env(), cli_), 8);
  EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvcli_getCatalog(env(), cli_)), u"sales");
}

TEST_F(ConnectionDriver, CloseConnectionStopsAtAFailingDisconnect) {
  d_->script(QV_FN_DISCONNECT, [](uint64_t*) { return int16_t{SQL_ERROR}; });
  d_->script(QV_FN_FREECONNECT, [](uint64_t*) { return int16_t{0}; });
  const int64_t handle = jvm_.prim(cli_, "_sql_hdbc");
  Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
  EXPECT_EQ(thrown().message, u"closeConnection fails:");
  EXPECT_EQ(d_->calls(QV_FN_FREECONNECT), 0);
  EXPECT_EQ(jvm_.prim(cli_, "_sql_hdbc"), handle);
}

// ---- The connect, in a child with a driver of its own ----

// The client's configuration naming the resource "rdatest" (and a resource
// with a 32-character name) at a port, as MIRODEL_INI.
class Connect : public JniTest {
 protected:
  void client(int port) {
    StackConfig c;
    c.serverPort = port;
    const std::string ini = writeStackConfig(sandbox_.dir() / "client", c);
    std::ofstream(sandbox_.dir() / "client" / "schema" / "qvdrd.ini", std::ios::app)
        << "[" << kDsn32 << "]\nPORT=" << port << "\nADDRESS=127.0.0.1\n";
    setenv("MIRODEL_INI", ini.c_str(), 1);
    tmp_ = (sandbox_.dir() / "shared").string();
    gpcQvTmpConfigDir = tmp_.c_str();
  }
  void TearDown() override {
    gpcQvTmpConfigDir = "/tmp";
    JniTest::TearDown();
  }
  // openConnectionWithProperties with the flags of the options given.
  struct Options {
    bool traceGiven = false, traceOn = false, readOnly = false, queryTimeoutGiven = false;
    jint queryTimeout = 0;
    bool loginTimeoutGiven = false;
    jint loginTimeout = 0;
    bool isolationGiven = false;
    jint isolation = 0;
  };
  void open(jobject cli, const std::u16string& user, const std::u16string& password, const std::u16string* dsn,
            const std::u16string* connect) {
    open(cli, user, password, dsn, connect, Options{});
  }
  void open(jobject cli, const std::u16string& user, const std::u16string& password, const std::u16string* dsn,
            const std::u16string* connect, const Options& o) {
    Java_jdbc_sql_cli_qvcli_openConnectionWithProperties(
        env(), cli, jvm_.str(user), jvm_.str(password), dsn != nullptr ? jvm_.str(*dsn) : nullptr,
        connect != nullptr ? jvm_.str(*connect) : nullptr, o.traceGiven, o.traceOn, o.readOnly, JNI_FALSE,
        o.queryTimeoutGiven, o.queryTimeout, o.loginTimeoutGiven, o.loginTimeout, o.isolationGiven, o.isolation);
  }

  static constexpr const char* kDsn32 = "rdatest_resource_of_32_character";
  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::string tmp_;
};

// The options given go to SQLSetConnectOption in their order, autocommit
// last and always; the connection string only when it is not empty.
TEST_F(Connect, OptionsAreSetInTheirOrderBeforeTheConnect) {
  client(freeLoopbackPort());
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    EXPECT_NE(jvm_.prim(cli_, "_sql_henv"), 0);
    EXPECT_EQ(jvm_.prim(cli_, "_badConnection"), 0);
    Scripts s;
    std::vector<std::pair<uint16_t, int64_t>> options;
    std::wstring connectStr;
    std::vector<std::wstring> connected;
    s.script(QV_FN_SETCONNECTOPTION, [&](uint64_t* w) {
      options.emplace_back(arg<uint16_t>(w, 1), static_cast<int64_t>(arg<uint64_t>(w, 2)));
      return int16_t{0};
    });
    s.script(QV_FN_CONNECT, [&](uint64_t* w) {
      connectStr = arg<LmoDbc*>(w, 0)->connectStr;
      for (int i : {1, 3, 5}) connected.emplace_back(arg<wchar_t*>(w, i));
      EXPECT_EQ(arg<int16_t>(w, 2), SQL_NTS);
      return int16_t{0};
    });
    const std::u16string dsn = u"rdatest";
    const std::u16string empty;
    open(cli_, u"u", u"p", &dsn, &empty);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    EXPECT_EQ(options, (std::vector<std::pair<uint16_t, int64_t>>{{SQL_AUTOCOMMIT, 1}}));
    EXPECT_EQ(connectStr, L"");
    EXPECT_EQ(connected, (std::vector<std::wstring>{L"rdatest", L"u", L"p"}));
    EXPECT_NE(jvm_.prim(cli_, "_sql_hdbc"), 0);

    options.clear();
    connected.clear();
    Options all;
    all.traceGiven = all.traceOn = all.readOnly = all.queryTimeoutGiven = all.loginTimeoutGiven =
        all.isolationGiven = true;
    all.queryTimeout = -1;
    all.loginTimeout = 17;
    all.isolation = 2;
    const std::u16string connect = u"QVAPP=x\U0001F600;A=b";
    jobject other = jvm_.newObject("jdbc/sql/cli/qvcli");
    jvm_.prim(other, "_sql_henv") = jvm_.prim(cli_, "_sql_henv");
    const std::u16string dsn32 = u"rdatest_resource_of_32_character";
    open(other, u"\U0001F600", u"", &dsn32, &connect, all);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    EXPECT_EQ(options, (std::vector<std::pair<uint16_t, int64_t>>{
                           {SQL_OPT_TRACE, 1}, {SQL_ACCESS_MODE, 1}, {SQL_QUERY_TIMEOUT, -1},
                           {SQL_LOGIN_TIMEOUT, 17}, {SQL_TXN_ISOLATION, 2}, {SQL_AUTOCOMMIT, 1}}));
    EXPECT_EQ(connectStr, L"QVAPP=x\U0001F600;A=b");
    EXPECT_EQ(connected, (std::vector<std::wstring>{L"rdatest_resource_of_32_character", L"\U0001F600", L""}));

    // The first option refused ends it: the connection stays allocated.
    s.script(QV_FN_SETCONNECTOPTION, [](uint64_t*) { return int16_t{SQL_ERROR}; });
    connected.clear();
    jobject third = jvm_.newObject("jdbc/sql/cli/qvcli");
    jvm_.prim(third, "_sql_henv") = jvm_.prim(cli_, "_sql_henv");
    open(third, u"u", u"p", &dsn, nullptr, all);
    EXPECT_EQ(thrown().message, u"openConnectionWithProperties fails:");
    EXPECT_TRUE(connected.empty());
    EXPECT_NE(jvm_.prim(third, "_sql_hdbc"), 0);
  });
}

TEST_F(Connect, RefusalsBeforeAnythingIsAllocated) {
  client(freeLoopbackPort());
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn33(33, u'd');
    open(cli_, u"u", u"p", &dsn33, nullptr);
    Thrown t = thrown();
    EXPECT_EQ(t.sqlState, u"S1090");
    EXPECT_NE(t.message.find(u"openConnectionWithProperties: data source name longer than 32 characters"),
              std::u16string::npos);
    const std::u16string dsn = u"rdatest";
    open(cli_, std::u16string(513, u'u'), u"p", &dsn, nullptr);
    EXPECT_NE(thrown().message.find(u"user name longer than 512 characters"), std::u16string::npos);
    open(cli_, u"u", std::u16string(513, u'p'), &dsn, nullptr);
    EXPECT_NE(thrown().message.find(u"password longer than 512 characters"), std::u16string::npos);
    const std::u16string longConnect(16385, u'c');
    open(cli_, u"u", u"p", &dsn, &longConnect);
    EXPECT_NE(thrown().message.find(u"connection string longer than 16384 characters"), std::u16string::npos);
    EXPECT_EQ(jvm_.prim(cli_, "_sql_hdbc"), 0) << "nothing allocated";
    open(cli_, u"u", u"p", nullptr, nullptr);
    t = thrown();
    EXPECT_EQ(t.message, u"openConnectionWithProperties fails:");
    EXPECT_EQ(jvm_.prim(cli_, "_sql_hdbc"), 0);
  });
}

// Against rdapeer: a wrong password throws the peer's text; a connection
// made is closed and its handle cleared; the connection string reaches the
// peer in UTF-8, a character above U+FFFF as one.
TEST_F(Connect, AgainstThePeer) {
  const fs::path record = sandbox_.dir() / "record";
  PeerProcess peer(sandbox_.dir() / "peer", {"--user", "u:p", "--record", record.string()});
  ASSERT_GT(peer.port(), 0);
  client(peer.port());
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn = u"rdatest";
    const std::u16string connect = u"QVAPP=x\U0001F600";
    open(cli_, u"u", u"wrong", &dsn, &connect);
    const Thrown t = thrown();
    EXPECT_EQ(t.message.rfind(kPrefix, 0), 0u) << narrow(t.message);
    EXPECT_NE(t.message.find(u"invalid user name or password"), std::u16string::npos) << narrow(t.message);
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_TRUE) << "allocated, not connected";
    // Not connected: the disconnect warns (08003) and the connection is freed.
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    EXPECT_EQ(jvm_.pending(), nullptr);
    EXPECT_EQ(jvm_.prim(cli_, "_sql_hdbc"), 0);

    open(cli_, u"u", u"p", &dsn, &connect);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_TRUE);
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    EXPECT_EQ(jvm_.prim(cli_, "_sql_hdbc"), 0) << "the freed handle is not kept";
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE);

    const std::u16string dsn32 = u"rdatest_resource_of_32_character";
    open(cli_, u"u", u"p", &dsn32, nullptr);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    Java_jdbc_sql_cli_qvcli_freeCLI(env(), cli_);
    EXPECT_EQ(jvm_.pending(), nullptr);
  });
  std::vector<std::string> data;
  for (const PeerRecordLine& l : readPeerRecord(record))
    if (l.kind == "R-Initialize") data.push_back(l.field("user-data").value_or(""));
  ASSERT_EQ(data.size(), 3u);
  EXPECT_NE(data[1].find(",QVAPP=x\xF0\x9F\x98\x80;;SQL_ACCESS_MODE=0;"), std::string::npos) << data[1];
  EXPECT_NE(data[2].find(",;;SQL_ACCESS_MODE=0;"), std::string::npos) << "no connection string: " << data[2];
}

// The server's diagnostic records reach Java as the frame reads them: the
// last of three is thrown and all three are traced; with 40001 among them
// the connection is marked bad once and that record is thrown; a server
// that aborts the association leaves a connection isConnected reports gone.
TEST_F(Connect, TheServersDiagnosticRecords) {
  PeerProcess peer(sandbox_.dir() / "peer", {"--user", "u:p"});
  ASSERT_GT(peer.port(), 0);
  client(peer.port());
  const std::string trace = (sandbox_.dir() / "calls.log").string();
  std::ofstream(getenv("MIRODEL_INI"), std::ios::app) << "\n[JDBC]\nTraceOptions=2\nTraceFile=" << trace << "\n";
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn = u"rdatest";
    open(cli_, u"u", u"p", &dsn, nullptr);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    jobject stmt = jvm_.newStatement(cli_);
    const auto run = [&](const std::u16string& sql) {
      return Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt, jvm_.str(sql));
    };
    EXPECT_EQ(run(u"CALL rdapeer_diagnostics('42000', 7, 'first', '42S02', 0, 'second', 'HY000', 0, 'third')"),
              JNI_FALSE);
    Thrown t = thrown();
    EXPECT_EQ(t.message, kPrefix + u"third");
    EXPECT_EQ(t.sqlState, u"HY000");
    EXPECT_EQ(t.code, 0) << "the third record's code: its wire form has none";
    EXPECT_EQ(countLines(trace, "SQLCode:"), 3) << "each record's Message: line";
    EXPECT_EQ(countLines(trace, "Message:[Quenlow][Varenta JDBC]first SQLCode:42000 NativeCode:7"), 1);
    EXPECT_EQ(jvm_.object(cli_)->badMarks, 0);

    EXPECT_EQ(run(u"CALL rdapeer_diagnostics('42000', 7, 'first', '40001', 0, 'deadlock', 'HY000', 0, 'third')"),
              JNI_FALSE);
    t = thrown();
    EXPECT_EQ(t.message, kPrefix + u"deadlock");
    EXPECT_EQ(t.sqlState, u"40001");
    EXPECT_EQ(jvm_.object(cli_)->badMarks, 1) << "marked once, through the statement's connection";
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE);
    jvm_.prim(cli_, "_badConnection") = 0;
    Java_jdbc_sql_cli_qvclistmt_closeStmt(env(), stmt);
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    EXPECT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
  });
}

// The connect itself makes some twenty requests (association, dialogue and
// the server information it reads), so the abort after 30 lands on one of
// the statements that follow.
TEST_F(Connect, AServerThatAbortsLeavesNoConnection) {
  PeerProcess peer(sandbox_.dir() / "peer", {"--user", "u:p", "--abort-after", "30"});
  ASSERT_GT(peer.port(), 0);
  client(peer.port());
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn = u"rdatest";
    open(cli_, u"u", u"p", &dsn, nullptr);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    jobject stmt = jvm_.newStatement(cli_);
    Thrown t;
    for (int i = 0; i < 20 && t.cls.empty(); ++i) {
      Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt, jvm_.str(u"SELECT 1"));
      t = thrown();
    }
    EXPECT_EQ(t.sqlState, u"HZ520") << narrow(t.message);
    EXPECT_GE(jvm_.object(cli_)->badMarks, 1);
    EXPECT_EQ(Java_jdbc_sql_cli_qvcli_isConnected(env(), cli_), JNI_FALSE);
  });
}

// Prepared statements against rdapeer, read off the peer's record: a NULL
// set with setNull arrives as NULL, a timestamp's fraction whole, every
// statement prepared before another on the object is released, and a
// direct text after a prepared execution on the object has no arguments.
TEST_F(Connect, PreparedStatementsAsThePeerReceivesThem) {
  const fs::path record = sandbox_.dir() / "record";
  PeerProcess peer(sandbox_.dir() / "peer", {"--user", "u:p", "--record", record.string()});
  ASSERT_GT(peer.port(), 0);
  client(peer.port());
  constexpr int kPrepares = 1000;
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn = u"rdatest";
    open(cli_, u"u", u"p", &dsn, nullptr);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    jobject stmt = jvm_.newStatement(cli_);
    Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt,
                                                             jvm_.str(u"CREATE TABLE p (v VARCHAR(10), ts TIMESTAMP)"));
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    for (int i = 0; i < kPrepares; ++i) {
      Java_jdbc_sql_cli_qvclistmt_doPrepareQuery(env(), stmt, jvm_.str(u"INSERT INTO p VALUES (?, ?)"), JNI_FALSE);
      ASSERT_EQ(jvm_.pending(), nullptr) << i << ": " << narrow(thrown().message);
    }
    EXPECT_EQ(jvm_.prim(stmt, "_sql_numParams"), 2);
    Java_jdbc_sql_cli_qvclistmt_setNull(env(), stmt, 1);
    Java_jdbc_sql_cli_qvclistmt_setTimestamp(env(), stmt, 2, 2001, 2, 3, 4, 5, 6, 123456789);
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_Execute__(env(), stmt), JNI_FALSE);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt, jvm_.str(u"SELECT 1"));
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    Java_jdbc_sql_cli_qvclistmt_clearParameters(env(), stmt);
    Java_jdbc_sql_cli_qvclistmt_closeStmt(env(), stmt);
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    EXPECT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
  });
  int prepares = 0;
  int releases = 0;
  std::vector<std::string> insertArgs;
  std::vector<std::string> selectArgs{"none seen"};
  for (const PeerRecordLine& l : readPeerRecord(record)) {
    if (l.kind != "R-ExecuteDBL") continue;
    const std::string text = l.field("text").value_or("");
    // The connect prepares the server information queries of its own; the
    // test's statements carry their text as the PREPARE's argument.
    const std::vector<std::string> args = l.all("arg");
    if (text.rfind("PREPARE stmt_id_", 0) == 0 && args.size() == 1 &&
        args[0].find("INSERT INTO p VALUES (?, ?)") != std::string::npos)
      ++prepares;
    if (text.rfind("RELEASE stmt_id_", 0) == 0) ++releases;
    if (text.rfind("EXECUTE stmt_id_", 0) == 0) insertArgs = l.all("arg");
    if (text.find("SELECT 1") != std::string::npos) selectArgs = l.all("arg");
  }
  EXPECT_EQ(prepares, kPrepares);
  EXPECT_GE(releases, kPrepares - 1) << "each statement prepared before another is released";
  ASSERT_EQ(insertArgs.size(), 2u);
  EXPECT_EQ(insertArgs[0].rfind("NULL", 0), 0u) << insertArgs[0];
  EXPECT_NE(insertArgs[1].find(".123456789"), std::string::npos) << insertArgs[1];
  EXPECT_TRUE(selectArgs.empty()) << selectArgs.front();
}

// The result-set metadata natives against the peer's description of a row
// of every type it describes.
TEST_F(Connect, ResultSetMetadataAgreesWithThePeersDescription) {
  PeerProcess peer(sandbox_.dir() / "peer", {"--user", "u:p"});
  ASSERT_GT(peer.port(), 0);
  client(peer.port());
  inChild([&] {
    giQuietMode = 1;
    Java_jdbc_sql_cli_qvcli_initCLI(env(), cli_);
    const std::u16string dsn = u"rdatest";
    open(cli_, u"u", u"p", &dsn, nullptr);
    ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
    jobject stmt = jvm_.newStatement(cli_);
    const auto run = [&](const std::u16string& sql) {
      const jboolean r = Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2(env(), stmt, jvm_.str(sql));
      EXPECT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
      return r;
    };
    run(u"CREATE TABLE every (i INTEGER, d DOUBLE, v VARCHAR(30), w NVARCHAR(20), b VARBINARY(16), "
        u"n DECIMAL(10,2), dt DATE, tm TIME, ts TIMESTAMP, l BLOB)");
    ASSERT_EQ(run(u"SELECT * FROM every"), JNI_TRUE);
    struct Column {
      std::u16string name;
      jint jdbcType;
      std::u16string typeName;
    };
    const Column columns[] = {{u"i", 4, u"INTEGER"},    {u"d", 8, u"DOUBLE"},  {u"v", 12, u"VARCHAR"},
                              {u"w", 12, u"NVARCHAR"},  {u"b", -3, u"VARBINARY"}, {u"n", 2, u"NUMERIC"},
                              {u"dt", 91, u"DATE"},     {u"tm", 92, u"TIME"},  {u"ts", 93, u"TIMESTAMP"},
                              {u"l", -4, u"BLOB"}};
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnCount(env(), stmt), 10);
    jint col = 1;
    for (const Column& c : columns) {
      EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getColumnName(env(), stmt, col)), c.name);
      EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getColumnType(env(), stmt, col), c.jdbcType) << narrow(c.name);
      EXPECT_EQ(jvm_.text(Java_jdbc_sql_cli_qvclistmt_getColumnTypeName(env(), stmt, col)), c.typeName);
      EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_isNullable(env(), stmt, col), JNI_TRUE) << narrow(c.name);
      ASSERT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
      ++col;
    }
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getScale(env(), stmt, 6), 2) << "DECIMAL(10,2)";
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getPrecision(env(), stmt, 6), 10);
    EXPECT_EQ(Java_jdbc_sql_cli_qvclistmt_getPrecision(env(), stmt, 3), 30) << "VARCHAR(30)";
    Java_jdbc_sql_cli_qvclistmt_closeStmt(env(), stmt);
    Java_jdbc_sql_cli_qvcli_closeConnection(env(), cli_);
    EXPECT_EQ(jvm_.pending(), nullptr) << narrow(thrown().message);
  });
}

}  // namespace
