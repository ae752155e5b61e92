// The JNI natives in a real JVM: the check programs of tests/integration/java
// (standing in for the driver's Java half) run under java -Xcheck:jni with
// the library as built, in a private directory with its own mirodel.ini,
// against rdapeer where they need a server. A run fails on a non-zero exit,
// a failed check, or any "WARNING" line of the JVM's JNI checks (an
// exception left pending, local references over capacity). In the
// sanitizer build the sanitizer runtimes are preloaded into the JVM, which
// handles SIGSEGV itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/odbc_apps.h"
#include "support/peer_process.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

std::set<std::string> exportedNatives() {
  std::set<std::string> names;
  FILE* p = popen(("nm -D --defined-only " + std::string(RDADRIVER_PATH)).c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::istringstream in(line);
    std::string address, kind, name;
    if (in >> address >> kind >> name && name.rfind("Java_", 0) == 0) names.insert(name);
  }
  pclose(p);
  return names;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A JVM run of the checks in a private directory: its mirodel.ini is the
// peer's (when there is one) with the test's [JDBC] keys.
class Jvm {
 public:
  // The JDBC call trace at level 2, the ODBC call trace at `cliTraceOptions`.
  explicit Jvm(const std::string& peerIni = "", int cliTraceOptions = 2) : box_(RDADRIVER_PATH, "rdatest", "") {
    std::ofstream(box_.dir() / "mirodel.ini") << peerIni << "\n[JDBC]\nTraceOptions=2\nCLITraceOptions="
                                               << cliTraceOptions << "\nTraceFile=" << box_.traceFile().string()
                                               << "\n";
    // The JVM catches SIGSEGV itself (for its own null checks).
    box_.setEnv("ASAN_OPTIONS", "handle_segv=0:detect_leaks=0");
  }
  const OdbcAppSandbox& box() const { return box_; }

  ProgramRun run(const std::string& jar, const std::string& mainClass, std::vector<std::string> args,
                 std::vector<std::string> properties = {}, std::chrono::milliseconds limit = 120s) const {
    std::vector<std::string> argv = {JAVA_PATH, "-Xcheck:jni", "-XX:-CreateCoredumpOnCrash", "-cp", jar,
                                     "-Drdadriver.library=" + std::string(RDADRIVER_PATH)};
    for (std::string& p : properties) argv.push_back("-D" + p);
    argv.push_back(mainClass);
    argv.insert(argv.end(), args.begin(), args.end());
    return box_.run(argv, "", limit);
  }

  // A check group of JdbcChecks, held to the failure rules.
  ProgramRun checks(const std::string& group, std::vector<std::string> properties = {}) const {
    ProgramRun r = run(JDBC_CHECKS_JAR, "jdbc.sql.cli.JdbcChecks", {group}, std::move(properties));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(" passed, 0 failed\n"), std::string::npos) << r.out << r.err;
    for (const std::string& line : lines(r.out + "\n" + r.err))
      EXPECT_EQ(line.find("WARNING"), std::string::npos) << line;
    return r;
  }

 private:
  OdbcAppSandbox box_;
};

TEST(Jvm, JniNamesByReflectionAreTheLibrarysNatives) {
  Jvm jvm;
  const ProgramRun r = jvm.run(JDBC_CHECKS_JAR, "jdbc.sql.cli.JdbcChecks", {"names"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::set<std::string> declared;
  for (const std::string& line : lines(r.out)) {
    std::istringstream in(line);
    std::string tag, method, symbol;
    if (in >> tag >> method >> symbol && tag == "JNI") declared.insert(symbol);
  }
  EXPECT_EQ(declared.size(), 138u + 88u) << "every native of both classes is declared";
  EXPECT_TRUE(declared.count("Java_jdbc_sql_cli_qvclistmt_Execute__Ljava_lang_String_2"));
  EXPECT_TRUE(declared.count("Java_jdbc_sql_cli_qvclistmt_Execute__"));
  EXPECT_EQ(exportedNatives(), declared) << "the library exports exactly the declared natives";
}

TEST(Jvm, AStatementClassWithoutItsHandleFieldEndsTheVm) {
  Jvm jvm;
  const ProgramRun r = jvm.run(JDBC_BROKEN_JAR, "jdbc.sql.cli.qvclistmt", {});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("FATAL ERROR in native method: Undefined Field '_sql_hstmt' "), std::string::npos)
      << r.out << r.err;
  EXPECT_EQ(r.out.find("static initialiser passed"), std::string::npos);
}

std::vector<std::string> traceProperties(const Jvm& jvm) {
  return {"expect.traceLevel=2", "expect.traceFile=" + jvm.box().traceFile().string()};
}

TEST(Jvm, FrameChecks) {
  Jvm jvm;
  jvm.checks("frame", traceProperties(jvm));
  const std::string trace = jvm.box().trace();
  EXPECT_GE(count(trace, "QVCLIImpl: nativeSql"), 1u) << trace;
  EXPECT_GE(count(trace, "QVCLIStmtImpl: Execute"), 1u) << trace;
  EXPECT_NE(trace.find("    SQLRETURN  indicates: FATAL ERROR"), std::string::npos);
}

// unixODBC's libodbc in the process makes the exports speak UTF-16; the
// natives call the library's own 4-byte bodies and see no difference.
TEST(Jvm, FrameChecksWithUnixOdbcsLibraryLoadedFirst) {
  Jvm jvm;
  std::vector<std::string> properties = traceProperties(jvm);
  properties.push_back("preload.library=" + std::string(ODBC_RUNTIME_LIBRARY));
  jvm.checks("frame", properties);
  EXPECT_NE(jvm.box().trace().find("Wide characters at the ODBC interface: UTF-16"), std::string::npos)
      << jvm.box().trace();
}

TEST(Jvm, FourThreadsMakeTwoHundredThousandNativeCalls) {
  Jvm jvm;
  const ProgramRun r = jvm.checks("threads");
  EXPECT_NE(r.out.find("PASS native calls made"), std::string::npos) << r.out;
}

// The roads that need a server.
class JvmPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "rdajvmXXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    peer_ = std::make_unique<PeerProcess>(dir_ / "peer",
                                          std::vector<std::string>{"--user", "u:" + kPassword, "--record", record().string()});
    ASSERT_GT(peer_->port(), 0);
    // A resource whose name is 32 characters long.
    std::ofstream(dir_ / "peer" / "schema" / "qvdrd.ini", std::ios::app)
        << "[" << kDsn32 << "]\nPORT=" << peer_->port() << "\nADDRESS=127.0.0.1\n";
  }
  void TearDown() override {
    if (peer_) {
      EXPECT_EQ(peer_->stop(), 0);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path record() const { return dir_ / "record"; }
  // The peer's configuration, with the server's support of query
  // time-outs.
  std::string peerIni() const {
    std::string ini = readFile(dir_ / "peer" / "mirodel.ini");
    const size_t client = ini.find("[CLIENT]\n");
    if (client != std::string::npos) ini.insert(client + 9, "SupportQueryTimeout=1\n");
    return ini;
  }
  std::vector<std::string> peerProperties() const {
    return {"dsn=rdatest", "user=u", "password=" + kPassword, std::string("dsn32=") + kDsn32};
  }
  static constexpr const char* kDsn32 = "rdatest_resource_of_32_character";
  // A password that no trace line would show by chance.
  inline static const std::string kPassword = "Pw0rd7Xq";
  fs::path dir_;
  std::unique_ptr<PeerProcess> peer_;
};

TEST_F(JvmPeer, ConnectChecks) {
  static_assert(std::char_traits<char>::length(kDsn32) == 32);
  Jvm jvm(peerIni());
  jvm.checks("connect", peerProperties());
  // What the peer was sent: the connection string only when one was given,
  // then the options suffix with the values given (the defaults otherwise).
  std::vector<std::string> data;
  for (const PeerRecordLine& l : readPeerRecord(record()))
    if (l.kind == "R-Initialize") data.push_back(l.field("user-data").value_or(""));
  // A refused password, the connection with options, the one without.
  ASSERT_GE(data.size(), 3u);
  EXPECT_NE(data[1].find(",QVAPP=checks\xF0\x9F\x98\x80;;SQL_ACCESS_MODE=1;SQL_LOGIN_TIMEOUT=17;SQL_TXN_ISOLATION=2;"
                         "SQL_AUTOCOMMIT=1;"),
            std::string::npos)
      << data[1];
  EXPECT_NE(data[2].find(",;;SQL_ACCESS_MODE=0;SQL_LOGIN_TIMEOUT=3200;SQL_TXN_ISOLATION=1;SQL_AUTOCOMMIT=1;"),
            std::string::npos)
      << data[2];
}

TEST_F(JvmPeer, StatementChecksOnFourConnectionsFromFourThreads) {
  Jvm jvm(peerIni());
  jvm.checks("statements", peerProperties());
}

// The same with unixODBC's library in the process: its exports speak
// UTF-16, the natives' strings do not change.
TEST_F(JvmPeer, StatementChecksWithUnixOdbcsLibraryLoadedFirst) {
  Jvm jvm(peerIni());
  std::vector<std::string> properties = peerProperties();
  properties.push_back("preload.library=" + std::string(ODBC_RUNTIME_LIBRARY));
  jvm.checks("statements", properties);
  EXPECT_NE(jvm.box().trace().find("Wide characters at the ODBC interface: UTF-16"), std::string::npos);
}

// Prepared statements end to end: every setter and setNull over 1,000
// executions, a procedure's output parameters, 1,000 re-prepares. What
// the peer received: the NULL, the whole fraction of a timestamp, each
// earlier prepared statement released, and a direct text after a prepared
// execution on the same object without arguments.
TEST_F(JvmPeer, PreparedStatementChecks) {
  Jvm jvm(peerIni());
  jvm.checks("prepared", peerProperties());
  size_t prepares = 0;
  size_t releases = 0;
  bool null = false;
  bool fraction = false;
  bool bareSelect = false;
  for (const PeerRecordLine& l : readPeerRecord(record())) {
    if (l.kind != "R-ExecuteDBL") continue;
    const std::string text = l.field("text").value_or("");
    if (text.rfind("PREPARE stmt_id_", 0) == 0) ++prepares;
    if (text.rfind("RELEASE stmt_id_", 0) == 0) ++releases;
    const std::vector<std::string> args = l.all("arg");
    for (const std::string& a : args) {
      null = null || a.rfind("NULL", 0) == 0;
      fraction = fraction || a.find(".123456789") != std::string::npos;
    }
    bareSelect = bareSelect || (text.find("SELECT 1") != std::string::npos && args.empty());
  }
  EXPECT_GE(prepares, 1002u);
  EXPECT_GE(releases, 999u) << "every statement prepared before another on the object is released";
  EXPECT_TRUE(null) << "setNull reaches the peer as NULL";
  EXPECT_TRUE(fraction) << "123,456,789 ns reach the peer whole";
  EXPECT_TRUE(bareSelect) << "SELECT 1 after a prepared execution goes without arguments";
}

// The catalog result sets over three related tables, against the server's
// own lists; the texts the peer received carry the criteria asked for.
TEST_F(JvmPeer, CatalogChecks) {
  Jvm jvm(peerIni());
  jvm.checks("catalog", peerProperties());
  std::string texts;
  size_t tables = 0;
  size_t qualified = 0;
  for (const PeerRecordLine& l : readPeerRecord(record())) {
    if (l.kind != "R-ExecuteDBL") continue;
    // A catalog query travels as the argument of its PREPARE.
    std::string text = l.field("text").value_or("");
    for (const std::string& a : l.all("arg")) text += " " + a;
    texts += text + "\n";
    if (text.find("QV_TABLES") == std::string::npos || text.find("'cust'") == std::string::npos) continue;
    ++tables;
    // The qualifier as a criterion (it is always among the columns).
    if (text.find("TABLE_QUALIFIER LIKE") != std::string::npos || text.find("TABLE_QUALIFIER =") != std::string::npos)
      ++qualified;
  }
  // A null catalog asks no qualifier, an empty one asks for it.
  EXPECT_EQ(tables, 2u) << texts;
  EXPECT_EQ(qualified, 1u) << texts;
  EXPECT_NE(texts.find("(NON_UNIQUE = 0 OR QV_TYPE = 0)"), std::string::npos) << texts;
  EXPECT_NE(texts.find("QV_SCOPE >= 2)"), std::string::npos) << texts;
  EXPECT_NE(texts.find("(QV_NULLABLE = 0 OR QV_NULLABLE = 1)"), std::string::npos) << texts;
}

// Each of the 118 database metadata natives once, without an exception.
TEST_F(JvmPeer, MetadataChecks) {
  Jvm jvm(peerIni());
  jvm.checks("metadata", peerProperties());
}

// The server's diagnostic records in a real JVM: the last of three thrown,
// all three traced at TraceOptions 2; 40001 marks the connection bad once.
TEST_F(JvmPeer, DiagnosticsChecks) {
  Jvm jvm(peerIni());
  jvm.checks("diagnostics", peerProperties());
  const std::string trace = jvm.box().trace();
  EXPECT_EQ(count(trace, "Message:[Quenlow][Varenta JDBC]second SQLCode:42S02"), 1u) << trace;
  EXPECT_GE(count(trace, " SQLCode:"), 5u) << trace;
}

// The headers of a trace in order, an entry as "name(" and an exit as
// "name)", for the records of both call traces.
std::vector<std::string> headerTokens(const std::string& trace) {
  static const std::regex header(R"(^ \[TID = [0-9A-F]+\]:(\w+)(?: ([Cc]alled)|:? ?returns))");
  std::vector<std::string> out;
  for (const std::string& l : lines(trace)) {
    std::smatch m;
    if (std::regex_search(l, m, header)) out.push_back(std::string(m[1]) + (m[2].matched ? "(" : ")"));
  }
  return out;
}

std::string joined(const std::vector<std::string>& tokens) {
  std::string s;
  for (const std::string& t : tokens) s += (s.empty() ? "" : " ") + t;
  return s;
}

// One connection's life in a JVM at TraceOptions 2 and CLITraceOptions 1:
// each JDBC record holds the ODBC records of the calls its native made, the
// first initCLI of the process writes only its exit line (the trace starts
// with the driver), a failing Execute has no exit line, no wide line is
// dumped, and the password shows in neither trace.
TEST_F(JvmPeer, EachJdbcRecordHoldsTheOdbcRecordsOfItsCalls) {
  Jvm jvm(peerIni(), 1);
  jvm.checks("traced", peerProperties());
  const std::string t = jvm.box().trace();
  EXPECT_EQ(t.find(kPassword), std::string::npos) << t;
  EXPECT_EQ(t.find("<Unicode Trace:Hex>"), std::string::npos) << t;

  const std::string execute = "SQLFreeStmt( SQLFreeStmt) getAutoCommit( SQLGetConnectOption( SQLGetConnectOption) "
                              "getAutoCommit) SQLFreeStmt( SQLFreeStmt) SQLExecDirectW( SQLExecDirectW)";
  const std::vector<std::string> want = {
      "SQLAllocEnv( SQLAllocEnv) initCLI)",
      "openConnectionWithProperties( SQLAllocConnect( SQLAllocConnect) SQLSetConnectOption( SQLSetConnectOption) "
      "SQLConnectW( SQLConnectW) openConnectionWithProperties)",
      "createStmt( SQLAllocStmt( SQLAllocStmt) createStmt)",
      "setEscapeProcessing( SQLSetStmtOption( SQLSetStmtOption) setEscapeProcessing)",
      "Execute( " + execute + " SQLNumResultCols( SQLNumResultCols) Execute)",
      "Execute( " + execute + " SQLNumResultCols( SQLNumResultCols) Execute)",
      "Execute( " + execute + " SQLNumResultCols( SQLNumResultCols) Execute)",
      "next( SQLFetch( SQLFetch) next)",
      "getString( SQLGetData( SQLGetData) getString)",
      "next( SQLFetch( SQLFetch) next)",
      "Execute( " + execute + " SQLErrorW( SQLErrorW) SQLErrorW( SQLErrorW)",
      "closeStmt( SQLFreeStmt( SQLFreeStmt) SQLFreeStmt( SQLFreeStmt) closeStmt)",
      "closeConnection( SQLDisconnect( SQLDisconnect) SQLFreeConnect( SQLFreeConnect) closeConnection)",
      "freeCLI( SQLFreeEnv( SQLFreeEnv) freeCLI)"};
  EXPECT_EQ(joined(headerTokens(t)), joined(want)) << t;

  // The options a connection without properties sets, and escape
  // processing switched on; user and password as "***" in both traces.
  const std::regex tid("TID = [0-9A-F]+");
  const std::regex address("0x[0-9a-f]+");
  const std::string plain = std::regex_replace(std::regex_replace(t, tid, "TID"), address, "0x?");
  for (const char* record : {
           " [TID]:openConnectionWithProperties called\n\twuid = ***\n\twpwd = ***\n\twdbs = rdatest\n",
           " [TID]:SQLSetConnectOption called:\n    hdbc=0x?\n    fOption=SQL_AUTOCOMMIT\n    vParam=1\n"
           " [TID]:SQLSetConnectOption: returns SQL_SUCCESS\n [TID]:SQLConnectW called:\n",
           "    wszUID=\n ***\n    cbUID=SQL_NTS\n    wszAuthStr=\n ***\n",
           " [TID]:setEscapeProcessing called\n \tenable = 1\n [TID]:SQLSetStmtOption called:\n    hstmt=0x?\n"
           "    fOption=SQL_NOSCAN\n    vParam=0\n",
           " [TID]:Execute called\n\twsqlstr = SELEC wrong\n"})
    EXPECT_NE(plain.find(record), std::string::npos) << record << "\n" << plain;
}

}  // namespace
