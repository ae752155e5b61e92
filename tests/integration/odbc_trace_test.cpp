// The ODBC call trace of applications on driver managers against rdapeer:
// isql through unixODBC leaves the nested records of every call and no
// password; the test's wide client writes the same records of its calls on
// iODBC's road (4-byte text) as on unixODBC's (UTF-16 text), a character
// above U+FFFF and a failing statement included; eight threads of one
// program leave lines that each keep their form, every entry record paired
// with its exit record on its thread.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/odbc_apps.h"
#include "support/peer_process.h"
#include "support/stack.h"

namespace {

const std::string kPassword = "Pw0rd7Xq";

// rdapeer with one user, and an application directory whose configuration
// names it and asks for the ODBC call trace at `level`.
class TracedApp {
 public:
  explicit TracedApp(int level, const std::string& extraCommon = "") {
    box_ = std::make_unique<OdbcAppSandbox>(RDADRIVER_PATH, "rdatest", "");
    peer_ = std::make_unique<PeerProcess>(
        box_->dir() / "peer",
        std::vector<std::string>{"--user", "u:" + kPassword});
    StackConfig c;
    c.serverPort = peer_->port();
    c.extraCommon = extraCommon;
    writeStackConfig(box_->dir(), c);
    std::ofstream(box_->dir() / "mirodel.ini", std::ios::app)
        << "[JDBC]\nTraceOptions=0\nCLITraceOptions=" << level << "\nTraceFile=" << box_->traceFile().string()
        << "\n";
  }
  bool ready() const { return peer_->port() > 0; }
  ProgramRun run(const std::vector<std::string>& argv, const std::string& input = "") const {
    return box_->run(argv, input);
  }
  std::string trace() const { return box_->trace(); }
  // unixODBC serializes no calls: the driver sees the threads as they come.
  void noDriverManagerThreading() const { std::ofstream(box_->dir() / "odbcinst.ini", std::ios::app) << "Threading=0\n"; }
  // iODBC finds the driver by its path in the data source.
  void iodbcDataSource() const {
    std::ofstream(box_->dir() / "odbc.ini") << "[rdatest]\nDriver=" << RDADRIVER_PATH << "\n";
  }

 private:
  std::unique_ptr<OdbcAppSandbox> box_;
  std::unique_ptr<PeerProcess> peer_;
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

const std::regex kHeader(R"(^ \[TID = [0-9A-F]+\]:(\w+)(?: [Cc]alled|: ?returns))");

// Entry and exit headers by function.
std::map<std::string, std::pair<int, int>> headerCounts(const std::string& trace) {
  std::map<std::string, std::pair<int, int>> counts;
  for (const std::string& l : lines(trace)) {
    std::smatch m;
    if (!std::regex_search(l, m, kHeader)) continue;
    auto& c = counts[m[1]];
    (l.find("alled") != std::string::npos ? c.first : c.second) += 1;
  }
  return counts;
}

TEST(OdbcCallTrace, IsqlLeavesEveryCallsNestedRecordsAndNoPassword) {
  TracedApp app(2);
  ASSERT_TRUE(app.ready());
  const ProgramRun r = app.run({"isql", "-v", "-e", "rdatest", "u", kPassword},
                               "CREATE TABLE t(id INTEGER, s VARCHAR(10))\n"
                               "INSERT INTO t VALUES (1, 'one')\n"
                               "SELECT id, s FROM t\n"
                               "SELEC wrong\n"
                               "quit\n");
  expectCleanRun(r, "isql");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const std::string t = app.trace();
  EXPECT_EQ(t.find(kPassword), std::string::npos) << t;

  const auto counts = headerCounts(t);
  for (const char* f : {"SQLAllocEnv", "SQLAllocConnect", "SQLConnectW", "SQLAllocStmt", "SQLExecDirect",
                        "SQLExecDirectW", "SQLNumResultCols", "SQLFetch", "SQLFreeStmt", "SQLDisconnect",
                        "SQLFreeConnect", "SQLFreeEnv"}) {
    const auto it = counts.find(f);
    ASSERT_NE(it, counts.end()) << f << "\n" << t;
    EXPECT_GT(it->second.first, 0) << f;
    EXPECT_EQ(it->second.first, it->second.second) << f << ": every entry record has its exit record";
  }
  EXPECT_EQ(counts.at("SQLExecDirect").first, 4);
  EXPECT_EQ(counts.at("SQLExecDirectW").first, 4);
  EXPECT_TRUE(std::regex_search(t, std::regex(R"( \[TID: [0-9A-F]+\], \w+:\d+: \*{70}\n \[TID = [0-9A-F]+\]:SQLAllocEnv called:)")))
      << t;

  // Each narrow SQLExecDirect holds the records of its SQLExecDirectW (isql
  // -e executes directly).
  const std::vector<std::string> ls = lines(t);
  std::vector<std::string> headers;
  for (const std::string& l : ls) {
    std::smatch m;
    if (std::regex_search(l, m, kHeader) && (m[1] == "SQLExecDirect" || m[1] == "SQLExecDirectW"))
      headers.push_back(std::string(m[1]) + (l.find("called") != std::string::npos ? " in" : " out"));
  }
  std::vector<std::string> nested;
  for (int i = 0; i < 4; ++i)
    nested.insert(nested.end(), {"SQLExecDirect in", "SQLExecDirectW in", "SQLExecDirectW out", "SQLExecDirect out"});
  EXPECT_EQ(headers, nested);

  // The failing statement: its text, its error and the diagnostic queued.
  const size_t text = t.find("    szSqlStr=\n SELEC wrong\n");
  ASSERT_NE(text, std::string::npos) << t;
  const size_t failed = t.find("SQLExecDirectW: returns SQL_ERROR\n", text);
  ASSERT_NE(failed, std::string::npos) << t;
  EXPECT_NE(t.find("SQLState=", failed), std::string::npos) << t.substr(failed);
}

// The records of the application's own calls: headers and argument lines,
// wide values and the diagnostics, with addresses left out.
std::vector<std::string> records(const std::string& trace, const std::set<std::string>& functions) {
  std::vector<std::string> out;
  bool keep = false;
  bool wideValue = false;
  const std::regex argument(R"(^ {3,4}[A-Za-z*]+ ?=)");
  const std::regex address("0x[0-9a-f]+");
  const std::regex capacity("(cbColNameMax|cbValueMax|cbErrorMsgMax)=[0-9]+");
  for (const std::string& l : lines(trace)) {
    std::smatch m;
    if (std::regex_search(l, m, kHeader)) {
      keep = functions.count(m[1]) != 0;
      wideValue = false;
      if (keep) out.push_back(std::regex_replace(l, std::regex(R"(TID = [0-9A-F]+)"), "TID"));
      continue;
    }
    if (!keep) continue;
    if (wideValue) {
      out.push_back(l);
      wideValue = false;
    } else if (std::regex_search(l, argument)) {
      // The UTF-16 boundary gives the bodies buffers of its own for whole
      // texts: their sizes are not the application's.
      out.push_back(std::regex_replace(std::regex_replace(l, address, "0x?"), capacity, "$1=?"));
      wideValue = l.back() == '=';
    } else if (const size_t s = l.find("SQLState="); s != std::string::npos) {
      out.push_back(l.substr(s));
    } else if (l.find("<Unicode Trace:Hex>") != std::string::npos) {
      out.push_back("<dump>");
    }
  }
  return out;
}

TEST(OdbcCallTrace, TheWideClientWritesTheSameRecordsOnBothDriverManagers) {
  const std::vector<std::string> statements = {"CREATE TABLE w(s VARCHAR(20))", "INSERT INTO w VALUES ('a\xF0\x9F\x98\x80z')",
                                               "SELECT s FROM w", "SELEC wrong"};
  std::map<std::string, std::vector<std::string>> seen;
  for (const char* client : {ODBC_CLIENT_IODBC, ODBC_CLIENT_UNIXODBC}) {
    TracedApp app(3);
    ASSERT_TRUE(app.ready());
    if (std::string(client) == ODBC_CLIENT_IODBC) app.iodbcDataSource();
    std::vector<std::string> argv = {client, "execw", "rdatest", "u", kPassword};
    argv.insert(argv.end(), statements.begin(), statements.end());
    const ProgramRun r = app.run(argv);
    expectCleanRun(r, client);
    EXPECT_EQ(r.status, 0) << client << r.out << r.err;
    EXPECT_NE(r.out.find("exec 1 rc 0"), std::string::npos) << client << r.out;
    const std::string t = app.trace();
    EXPECT_EQ(t.find(kPassword), std::string::npos) << client;
    seen[client] = records(t, {"SQLConnectW", "SQLExecDirectW", "SQLDescribeColW", "SQLFetch", "SQLGetData"});
    const std::string joined = [&] {
      std::string s;
      for (const std::string& l : seen[client]) s += l + "\n";
      return s;
    }();
    EXPECT_NE(joined.find("    szSqlStr=\n INSERT INTO w VALUES ('a\xF0\x9F\x98\x80z')\n<dump>\n"), std::string::npos)
        << client << "\n" << joined;
    EXPECT_NE(joined.find("    szSqlStr=\n SELEC wrong\n<dump>\n    cbSqlStr=SQL_NTS\n [TID]:SQLExecDirectW: returns SQL_ERROR\nSQLState="),
              std::string::npos)
        << client << "\n" << joined;
  }
  const auto& a = seen[ODBC_CLIENT_IODBC];
  const auto& b = seen[ODBC_CLIENT_UNIXODBC];
  size_t same = 0;
  while (same < a.size() && same < b.size() && a[same] == b[same]) ++same;
  std::string where;
  for (size_t i = same > 3 ? same - 3 : 0; i < same + 3; ++i)
    where += (i < a.size() ? a[i] : "<end>") + "   |   " + (i < b.size() ? b[i] : "<end>") + "\n";
  EXPECT_TRUE(same == a.size() && same == b.size()) << "iODBC | unixODBC from record line " << same << ":\n" << where;
}

// The eight-thread program of the statements tests, traced at level 2. The
// threads' lines interleave, each written whole: every line is a record's
// header, an argument line, a line of the layers below with the writer's
// prefix (a text of theirs that ends in a newline leaves an empty line right
// after it), or a value line (one blank, then the text) that an argument
// line ending in "=" announced. Per thread every entry header has its exit
// header, nested calls inside their caller's record; only the allocation
// that starts the driver (and with it the trace) writes its exit alone.
TEST(OdbcCallTrace, EightThreadsLeaveEveryLineInARecordsFormAndEveryEntryWithItsExit) {
  TracedApp app(2, "LogFileMaxSize=262144\n");  // 256 MB: the texts of 1 MB make a large trace
  ASSERT_TRUE(app.ready());
  app.noDriverManagerThreading();
  const ProgramRun r = app.run({ODBC_STMT_UNIXODBC, "rdatest", "u", kPassword, "8", "20", "read"});
  expectCleanRun(r, "odbc_stmt");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string t = app.trace();
  EXPECT_EQ(t.find(kPassword), std::string::npos);
  EXPECT_EQ(t.find("LOG FILE TRUNCATED"), std::string::npos);

  const std::regex header(R"(^ \[TID = ([0-9A-F]+)\]:(\w+)(?: ([Cc]alled)|:? ?returns))");
  const std::regex prefixed(R"(^ \[TID: [0-9A-F]+\], \w+:\d+: )");
  const std::regex argument(R"(^ {3,5}[\w*]+ ?=)");
  std::map<std::string, std::vector<std::string>> open;  // entered and not left, by thread
  size_t announced = 0;
  size_t values = 0;
  size_t unpaired = 0;
  bool afterPrefixed = false;
  bool started = false;
  const std::vector<std::string> ls = lines(t);
  for (size_t i = 0; i < ls.size(); ++i) {
    const std::string& l = ls[i];
    // No line runs on into another's header or prefix.
    EXPECT_EQ(l.find("[TID", 2), std::string::npos) << "line " << i + 1 << ": " << l;
    std::smatch m;
    const bool wasAfterPrefixed = afterPrefixed;
    afterPrefixed = false;
    if (std::regex_search(l, m, header)) {
      std::vector<std::string>& stack = open[m[1]];
      if (m[3].matched) {
        stack.push_back(m[2]);
      } else if (!stack.empty() && stack.back() == m[2]) {
        stack.pop_back();
      } else if (!started && m[2] == "SQLAllocHandle") {
        started = true;
      } else if (++unpaired <= 5) {
        ADD_FAILURE() << "line " << i + 1 << ": exit without its entry: " << l;
      }
    } else if (std::regex_search(l, prefixed)) {
      afterPrefixed = true;
    } else if (std::regex_search(l, argument)) {
      announced += l.back() == '=';
    } else if (l.size() >= 2 && l[0] == ' ' && l[1] != ' ') {
      ++values;
    } else {
      EXPECT_TRUE(l.empty() && wasAfterPrefixed) << "line " << i + 1 << " has no record's form: " << l;
    }
  }
  EXPECT_EQ(unpaired, 0u);
  EXPECT_LE(values, announced);
  EXPECT_TRUE(started);
  // The eight workers (the driver manager allocates the driver's
  // environment on the first that connects).
  EXPECT_EQ(open.size(), 8u);
  for (const auto& [thread, stack] : open)
    EXPECT_TRUE(stack.empty()) << thread << " left " << stack.size() << " records open, the last " << stack.back();
}

}  // namespace
