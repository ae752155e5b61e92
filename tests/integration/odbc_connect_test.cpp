// Applications connecting to rdapeer through driver managers: isql, iusql
// and python3-pyodbc through unixODBC, and the test's own client on
// unixODBC's and on iODBC's library. Each gets a private odbcinst.ini,
// odbc.ini and mirodel.ini; the data source name is the resource name of
// qvdrd.ini (the driver reads no odbc.ini).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/odbc_apps.h"
#include "support/peer_process.h"
#include "support/stack.h"

namespace fs = std::filesystem;

namespace {

const std::string kPrefix = "[Quenlow][Varenta JDBC]";
const std::string kBadLogon = "invalid user name or password";

class DriverManagerConnect : public ::testing::Test {
 protected:
  // rdapeer with u:p as its one user, recording what it is sent, and an
  // application directory whose configuration names it.
  void SetUp() override {
    box_ = std::make_unique<OdbcAppSandbox>(RDADRIVER_PATH, "rdatest", "");
    peer_ = std::make_unique<PeerProcess>(box_->dir() / "peer",
                                          std::vector<std::string>{"--user", "u:p", "--record", record()});
    ASSERT_GT(peer_->port(), 0);
    StackConfig c;
    c.serverPort = peer_->port();
    writeStackConfig(box_->dir(), c);
  }
  std::string record() const { return (box_->dir() / "record").string(); }
  std::vector<std::string> userData() const {
    std::vector<std::string> data;
    for (const PeerRecordLine& l : readPeerRecord(record()))
      if (l.kind == "R-Initialize") data.push_back(l.field("user-data").value_or(""));
    return data;
  }

  std::unique_ptr<OdbcAppSandbox> box_;
  std::unique_ptr<PeerProcess> peer_;
};

TEST_F(DriverManagerConnect, IsqlConnectsWithTheDataSourceAndWithoutOne) {
  ProgramRun r = box_->run({"isql", "-v", "rdatest", "u", "p"}, "quit\n");
  expectCleanRun(r, "isql DSN");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Connected!"), std::string::npos) << r.out << r.err;

  r = box_->run({"isql", "-v", "-k", "Driver=rdadriver;Database=rdatest;UID=u;PWD=p"}, "quit\n");
  expectCleanRun(r, "isql -k");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Connected!"), std::string::npos) << r.out << r.err;

  const std::vector<std::string> data = userData();
  ASSERT_EQ(data.size(), 2u);
  EXPECT_NE(data[0].find(",;;SQL_ACCESS_MODE=0;"), std::string::npos) << "SQLConnect: the options alone: " << data[0];
  EXPECT_NE(data[1].find(",Driver=rdadriver;Database=rdatest;UID=*;PWD=*;;SQL_ACCESS_MODE=0;"), std::string::npos)
      << "the string as given, with the options: " << data[1];
}

// A wrong password: the server's text, whole and behind the prefix, through
// the narrow SQLError (isql) and through SQLErrorW's UTF-16 boundary
// (iusql, pyodbc).
TEST_F(DriverManagerConnect, WrongPasswordShowsTheServersText) {
  struct App {
    std::vector<std::string> argv;
    const char* name;
  };
  const App apps[] = {
      {{"isql", "-v", "rdatest", "u", "wrong"}, "isql"},
      {{"iusql", "-v", "rdatest", "u", "wrong"}, "iusql"},
      {{"/usr/bin/python3", "-c",
        "import pyodbc\n"
        "try:\n"
        "    pyodbc.connect('DSN=rdatest;UID=u;PWD=wrong', autocommit=True)\n"
        "except pyodbc.Error as e:\n"
        "    print(e.args[1])\n"},
       "python3-pyodbc"},
  };
  for (const App& app : apps) {
    const ProgramRun r = box_->run(app.argv, "quit\n");
    expectCleanRun(r, app.name);
    const std::string shown = r.out + r.err;
    const size_t at = shown.find(kPrefix);
    ASSERT_NE(at, std::string::npos) << app.name << ": " << shown;
    const size_t text = shown.find(kBadLogon, at);
    EXPECT_NE(text, std::string::npos) << app.name << ": " << shown;
    // Nothing between the prefix and the server's text is lost or garbled.
    EXPECT_EQ(shown.substr(at, text - at).find('\xef'), std::string::npos) << app.name << ": " << shown;
  }
}

TEST_F(DriverManagerConnect, PyodbcConnectsAndCloses) {
  const ProgramRun r = box_->run({"/usr/bin/python3", "-c",
                                  "import pyodbc\n"
                                  "c = pyodbc.connect('DSN=rdatest;UID=u;PWD=p', autocommit=True)\n"
                                  "c.close()\n"
                                  "print('closed')\n"});
  expectCleanRun(r, "pyodbc");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("closed"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(userData().size(), 1u);
}

// SQLGetInfo through unixODBC: the driver's own answers.
TEST_F(DriverManagerConnect, PyodbcReadsTheDriversInformation) {
  const ProgramRun r = box_->run({"/usr/bin/python3", "-c",
                                  "import pyodbc\n"
                                  "c = pyodbc.connect('DSN=rdatest;UID=u;PWD=p', autocommit=True)\n"
                                  "print('odbc', c.getinfo(pyodbc.SQL_DRIVER_ODBC_VER))\n"
                                  "print('dsn', c.getinfo(pyodbc.SQL_DATA_SOURCE_NAME))\n"
                                  "print('server', c.getinfo(pyodbc.SQL_SERVER_NAME))\n"
                                  "c.close()\n"});
  expectCleanRun(r, "pyodbc getinfo");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* line : {"odbc 03.51\n", "dsn rdatest\n", "server rdatest\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out << r.err;
}

// Eight threads of one program, each with its own connection, connect and
// disconnect at once: the peer sees eight associations.
TEST_F(DriverManagerConnect, EightThreadsConnectAtOnce) {
  // unixODBC serialises nothing itself: the driver's own locks are used.
  std::ofstream(box_->dir() / "odbcinst.ini", std::ios::app) << "Threading=0\n";
  const ProgramRun r = box_->run({ODBC_CLIENT_UNIXODBC, "threads", "8", "rdatest", "u", "p"}, "",
                                 std::chrono::seconds(60), false);
  expectCleanRun(r, "threads");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("connected 8 of 8"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(userData().size(), 8u);
}

// iODBC hands the driver 4-byte wide text: the driver connect's string and
// its output are wchar_t, a custom attribute reaches the server as UTF-8,
// and a failure's text comes back whole.
TEST_F(DriverManagerConnect, IodbcConnectsInFourByteCharacters) {
  const std::string library = RDADRIVER_PATH;
  ProgramRun r = box_->run({ODBC_CLIENT_IODBC, "driverconnectw",
                            "DRIVER=" + library + ";Database=rdatest;UID=u;PWD=p;X=\xc3\xa9\xf0\x9f\x98\x80"},
                           "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC driver connect");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  // 1 while the information the driver manager asks after the connect is
  // not served.
  EXPECT_TRUE(r.out.find("rc 0\n") != std::string::npos || r.out.find("rc 1\n") != std::string::npos) << r.out;
  EXPECT_NE(r.out.find("out Driver=" + library + ";Server=Mirodel;Database=rdatest;UID=u;PWD=p;X=\xc3\xa9\xf0\x9f\x98\x80;\n"),
            std::string::npos)
      << r.out;

  // The data source from the odbc.ini that ODBCINI names.
  std::ofstream(box_->dir() / "odbc.ini") << "[rdatest]\nDriver=" << library << "\n";
  r = box_->run({ODBC_CLIENT_IODBC, "connectw", "rdatest", "u", "p"}, "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC connect");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("disconnect 0\n"), std::string::npos) << r.out;

  r = box_->run({ODBC_CLIENT_IODBC, "connectw", "rdatest", "u", "wrong"}, "", std::chrono::seconds(30), false);
  expectCleanRun(r, "iODBC failed connect");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const size_t at = r.out.find("diag ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
  EXPECT_NE(line.find(kPrefix), std::string::npos) << line;
  EXPECT_NE(line.find(kBadLogon), std::string::npos) << line;

  const std::vector<std::string> data = userData();
  ASSERT_EQ(data.size(), 3u);
  EXPECT_NE(data[0].find(";X=\xc3\xa9\xf0\x9f\x98\x80;;SQL_ACCESS_MODE="), std::string::npos) << data[0];
}

}  // namespace
