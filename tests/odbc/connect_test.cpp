// The connect road of the driver against rdapeer, through the exports:
// SQLConnect, SQLDriverConnect and SQLBrowseConnect, their refusals, what
// reaches the server, fail-over to further addresses, disconnect and free.
// Each test's driver runs in a child process with a start-up of its own;
// the peers run beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/verinfo.h"
#include "driver_fixture.h"
#include "src/odbc/connstr.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/runtime/gutrace.h"
#include "src/session/tp0tcp.h"
#include "support/peer_process.h"
#include "support/sandbox.h"
#include "support/stack.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kPrefix = L"[Quenlow][Varenta JDBC]";

struct Diag {
  SQLRETURN rc = 0;
  std::wstring state;
  int32_t native = 0;
  std::wstring message;
};

Diag readError(SQLHENV env, SQLHDBC dbc) {
  Diag d;
  SQLWCHAR state[6] = {0};
  SQLINTEGER native = -1;
  SQLWCHAR message[2200] = {0};
  SQLSMALLINT length = -1;
  d.rc = SQLErrorW(env, dbc, nullptr, state, &native, message, 2200, &length);
  d.state = state;
  d.native = native;
  d.message = message;
  if (d.rc == SQL_SUCCESS) {
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(d.message.size()));
  }
  return d;
}

template <class Rec>
bool listed(const TLSFamily<Rec>& family, const Rec* record) {
  for (const Rec* r = family.first; r != nullptr; r = r->next)
    if (r == record) return true;
  return false;
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A driver with its environment and one connection, in the child.
struct Driver {
  Driver() {
    giQuietMode = 1;
    EXPECT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    EXPECT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  }
  LmoDbc* rec() const { return static_cast<LmoDbc*>(dbc); }
  SQLRETURN driverConnect(const std::wstring& in, std::wstring* out = nullptr, SQLSMALLINT outMax = 1024,
                          SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT) {
    std::vector<SQLWCHAR> buf(static_cast<size_t>(outMax > 0 ? outMax : 1) + 1, L'#');
    buf.back() = L'\0';
    SQLSMALLINT length = -1;
    std::wstring text = in;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, text.data(), SQL_NTS, out != nullptr ? buf.data() : nullptr,
                                           outMax, &length, completion);
    if (out != nullptr) {
      *out = std::wstring(buf.data());
      if (qvOk(rc)) {
        EXPECT_EQ(length, static_cast<SQLSMALLINT>(out->size()));
      }
    }
    return rc;
  }
  static bool qvOk(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
  Diag error() { return readError(nullptr, dbc); }
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
};

class Connect : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_ = (sandbox_.dir() / "shared").string();
    gpcQvTmpConfigDir = tmp_.c_str();
  }
  void TearDown() override { gpcQvTmpConfigDir = "/tmp"; }
  // rdapeer with u:p as its one user, recording what it is sent.
  PeerProcess& peer(std::vector<std::string> options = {}) {
    const std::string name = "peer" + std::to_string(peers_.size());
    options.insert(options.end(), {"--user", "u:p", "--record", record(peers_.size()).string()});
    peers_.push_back(std::make_unique<PeerProcess>(sandbox_.dir() / name, options));
    EXPECT_GT(peers_.back()->port(), 0);
    return *peers_.back();
  }
  fs::path record(size_t n) const { return sandbox_.dir() / ("record" + std::to_string(n)); }
  std::vector<PeerRecordLine> initializes(size_t n) const {
    std::vector<PeerRecordLine> lines;
    for (PeerRecordLine& l : readPeerRecord(record(n)))
      if (l.kind == "R-Initialize") lines.push_back(l);
    return lines;
  }
  // The client's configuration naming the resource "rdatest" at the port,
  // with more lines of qvdrd.ini and of mirodel.ini's [COMMON].
  void client(int port, const std::string& resources = "", const std::string& common = "") {
    StackConfig c;
    c.serverPort = port;
    c.extraCommon = common;
    const std::string ini = writeStackConfig(sandbox_.dir() / "client", c);
    std::ofstream(sandbox_.dir() / "client" / "schema" / "qvdrd.ini", std::ios::app) << resources;
    setenv("MIRODEL_INI", ini.c_str(), 1);
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::string tmp_;
  std::vector<std::unique_ptr<PeerProcess>> peers_;
};

TEST_F(Connect, SqlConnectConnectsDisconnectsAndFreesTheConnection) {
  client(peer().port());
  inChild([&] {
    Driver d;
    std::wstring dsn = L"rdatest";
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), -5, nullptr, 0, nullptr, 0), SQL_ERROR);
    Diag e = d.error();
    EXPECT_EQ(e.rc, SQL_SUCCESS);
    EXPECT_EQ(e.state, L"HY090") << "an ODBC 3 environment";
    EXPECT_EQ(e.message, kPrefix + L"Invalid string or buffer length - SQLConnectW: Bad length of DSN");
    e = d.error();
    EXPECT_EQ(e.rc, SQL_NO_DATA);
    EXPECT_EQ(e.state, L"00000");
    EXPECT_EQ(e.message, L"");

    auto* name = reinterpret_cast<SQLCHAR*>(const_cast<char*>("rdatest"));
    auto* user = reinterpret_cast<SQLCHAR*>(const_cast<char*>("u"));
    auto* password = reinterpret_cast<SQLCHAR*>(const_cast<char*>("p"));
    ASSERT_EQ(SQLConnect(d.dbc, name, SQL_NTS, user, SQL_NTS, password, SQL_NTS), SQL_SUCCESS) << narrow(d.error().message);
    EXPECT_STREQ(d.rec()->driverType, "DAM");
    EXPECT_EQ(d.rec()->driverTypeNumber, 2);
    EXPECT_STREQ(d.rec()->dataSourceName, L"rdatest");
    EXPECT_STREQ(d.rec()->serverName, L"rdatest");
    EXPECT_EQ(d.error().rc, SQL_NO_DATA) << "the look-ups that fell back to defaults left nothing";

    // Freed only once released: the connection stays, with the reason, its
    // records parked again and its mutex kept.
    const AllTLS set = d.rec()->tls;
    EXPECT_EQ(SQLFreeConnect(d.dbc), SQL_ERROR);
    EXPECT_EQ(set.lmo->ownerThreadId, 0u);
    EXPECT_EQ(set.session->ownerThreadId, 0u);
    EXPECT_NE(set.lmo->connMutex, nullptr);
    e = d.error();
    EXPECT_EQ(e.state, L"S1010");
    EXPECT_EQ(e.message, kPrefix + L"CLI error: Function sequence error - Connection has not been released");
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS) << "still there, with its stack";
    EXPECT_STREQ(d.rec()->connectStr, L"");
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS_WITH_INFO) << "not connected";
    EXPECT_EQ(d.error().state, L"08003");
    EXPECT_EQ(SQLFreeConnect(d.dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_INVALID_HANDLE);
    EXPECT_FALSE(listed(gLmoTLS, set.lmo)) << "no record of the connection under any thread id";
    EXPECT_FALSE(listed(gXmTLS, set.xm));
    EXPECT_FALSE(listed(gRdaCliTLS, set.rdaCli));
    EXPECT_FALSE(listed(gSessionTLS, set.session));
  });
  // What the server was sent: the options behind the (empty) connect string.
  const std::vector<PeerRecordLine> lines = initializes(0);
  ASSERT_EQ(lines.size(), 1u);
  const std::string data = lines[0].field("user-data").value_or("");
  const std::string options = std::string(";;SQL_ACCESS_MODE=0;SQL_LOGIN_TIMEOUT=3200;SQL_TXN_ISOLATION=1;SQL_AUTOCOMMIT=1;"
                                          "SQL_CURRENT_QUALIFIER=;QV_PRODUCT_CODE=3;ODBC_VER=3;CLIENT_VERSION=") +
                              QvGetProductVersion() + ";,V1";
  EXPECT_EQ(data.substr(data.size() - std::min(data.size(), options.size())), options) << data;
  EXPECT_EQ(lines[0].field("identity"), "v") << "u, scrambled";
}

// With multi-threading off every connection runs on the start-up's context
// and the environment's stack instance.
TEST_F(Connect, SingleThreadedConnectionsShareTheStartUpsContext) {
  client(peer().port(), "", "UseThreads=0\n");
  inChild([&] {
    Driver d;
    ASSERT_EQ(QvIsMultiThreaded(), 0);
    SQLHDBC other = nullptr;
    ASSERT_EQ(SQLAllocConnect(d.env, &other), SQL_SUCCESS);
    EXPECT_EQ(d.rec()->tls.lmo, static_cast<LmoDbc*>(other)->tls.lmo);
    for (SQLHDBC dbc : {d.dbc, other}) {
      std::swap(d.dbc, dbc);
      ASSERT_EQ(d.driverConnect(L"DSN=rdatest;UID=u;PWD=p"), SQL_SUCCESS) << narrow(d.error().message);
      std::swap(d.dbc, dbc);
    }
    for (SQLHDBC dbc : {d.dbc, other}) {
      EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
      EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
    }
  });
  EXPECT_EQ(initializes(0).size(), 2u);
}

TEST_F(Connect, DsnOf200CharactersNamesTheResourceByItsFirst128) {
  const std::string resource(128, 'r');
  const int port = peer().port();
  client(port, "[" + resource + "]\nPORT=" + std::to_string(port) + "\nADDRESS=127.0.0.1\n");
  inChild([&] {
    Driver d;
    std::wstring dsn = std::wstring(128, L'r') + std::wstring(72, L'x');
    std::wstring user = L"u", password = L"p";
    ASSERT_EQ(SQLConnectW(d.dbc, dsn.data(), 200, user.data(), SQL_NTS, password.data(), 1), SQL_SUCCESS)
        << narrow(d.error().message);
    EXPECT_EQ(std::wstring(d.rec()->dataSourceName), std::wstring(128, L'r'));
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
  });
}

TEST_F(Connect, WrongPasswordGivesTheServersTextWhole) {
  client(peer().port());
  inChild([&] {
    Driver d;
    std::wstring dsn = L"rdatest", user = L"u", password = L"wrong";
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), SQL_NTS, user.data(), SQL_NTS, password.data(), SQL_NTS), SQL_ERROR);
    const Diag e = d.error();
    EXPECT_EQ(e.rc, SQL_SUCCESS);
    EXPECT_EQ(e.message.rfind(kPrefix, 0), 0u) << narrow(e.message);
    EXPECT_NE(e.message.find(L"invalid user name or password"), std::wstring::npos) << narrow(e.message);
    EXPECT_STREQ(d.rec()->connectStr, L"") << "a failed connect keeps no connect string";
    // The narrow form reads the same into the driver manager's buffer.
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), SQL_NTS, user.data(), SQL_NTS, password.data(), SQL_NTS), SQL_ERROR);
    SQLCHAR state[6] = {0};
    SQLCHAR message[513] = {0};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLError(nullptr, d.dbc, nullptr, state, nullptr, message, sizeof message, &length), SQL_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(message)), narrow(e.message));
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(e.message.size()));
  });
}

// Credentials too long for their fields are refused, never cut; nothing is
// sent for them.
TEST_F(Connect, OverlongCredentialsAreRefusedBeforeConnecting) {
  client(peer().port());
  inChild([&] {
    Driver d;
    std::wstring dsn = L"rdatest", user = L"u";
    std::wstring password(600, L'p');
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), SQL_NTS, user.data(), SQL_NTS, password.data(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(d.error().message, kPrefix + L"Invalid string or buffer length - SQLConnectW: Bad length of PWD");
    // 512 characters of two UTF-8 bytes each are over 512 bytes too.
    std::wstring wideUser(512, L'\u00e9');
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), SQL_NTS, wideUser.data(), SQL_NTS, dsn.data(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(d.error().message, kPrefix + L"Invalid string or buffer length - SQLConnectW: Bad length of UID");
    EXPECT_EQ(SQLConnectW(d.dbc, dsn.data(), SQL_NTS, user.data(), -7, dsn.data(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(d.error().message, kPrefix + L"Invalid string or buffer length - SQLConnectW: Bad length of UID");

    EXPECT_EQ(d.driverConnect(L"DSN=rdatest;UID=u;PWD=" + std::wstring(513, L'p')), SQL_ERROR);
    EXPECT_EQ(d.error().message, kPrefix + L"Invalid string or buffer length - SQLDriverConnectW: Bad length of PWD");
    EXPECT_STREQ(d.rec()->connectStr, L"");
  });
  EXPECT_TRUE(initializes(0).empty());
}

TEST_F(Connect, TraceOptionsOfTheConnectStringSetTheProcesssTraceLevels) {
  client(peer().port());
  inChild([&] {
    Driver d;
    ASSERT_NE(htrODBC, nullptr);
    EXPECT_EQ(htrODBC->mask, 0u);
    EXPECT_EQ(ODBCTrace, 0);
    ASSERT_EQ(d.driverConnect(L"DSN=rdatest;UID=u;PWD=p;QVCLITraceOptions=3"), SQL_SUCCESS)
        << narrow(d.error().message);
    EXPECT_EQ(htrODBC->mask, 1023u);
    EXPECT_EQ(ODBCTrace, 1);
    EXPECT_EQ(htrJDBC->mask, 1u) << "its own level: none given";
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
  });
}

TEST_F(Connect, DriverConnectRebuildsTheOutputString) {
  const int port = peer().port();
  client(port);
  inChild([&] {
    Driver d;
    struct Case {
      std::wstring in;
      SQLSMALLINT outMax;
      std::wstring out;
    };
    const Case cases[] = {
        {L"DSN=rdatest;UID=u;PWD=p;X=1;Server=elsewhere", 1024, L"DSN=rdatest;UID=u;PWD=p;X=1;"},
        {L"Driver={rdadriver};Database=rdatest;UID=u;PWD=p;Y=2;", 1024,
         L"Driver={rdadriver};Server=Mirodel;Database=rdatest;UID=u;PWD=p;Y=2;"},
        {L"uid=u;pwd=p;driver=x;database=rdatest;ExtendedFunctions=MapDefaultWcharAsChar=1", 1024,
         L"Driver=x;Server=Mirodel;Database=rdatest;UID=u;PWD=p;ExtendedFunctions=MapDefaultWcharAsChar=1;"},
        {L"Driver={rdadriver};Database=rdatest;UID=u;PWD=p", 10, L"Driver={r"},
    };
    for (const Case& c : cases) {
      std::wstring out;
      ASSERT_EQ(d.driverConnect(c.in, &out, c.outMax), SQL_SUCCESS) << narrow(c.in) << narrow(d.error().message);
      EXPECT_EQ(out, c.out) << narrow(c.in);
      EXPECT_STREQ(d.rec()->driverType, "DAM") << "the set-up ran: " << narrow(c.in);
      EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
    }
    EXPECT_EQ(d.rec()->mapDefaultWcharAsChar, 0) << "from the last string";
    ASSERT_EQ(d.driverConnect(L"DSN=rdatest;UID=u;PWD=p;ExtendedFunctions=MapDefaultWcharAsChar=1"), SQL_SUCCESS);
    EXPECT_EQ(d.rec()->mapDefaultWcharAsChar, 1);
    EXPECT_EQ(d.rec()->rdaDbc->mapDefaultWcharAsChar, 1u) << "the client has it too";
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
  });
  // The DSN-less connect sends the application's string with the options.
  const std::vector<PeerRecordLine> lines = initializes(0);
  ASSERT_EQ(lines.size(), 5u);
  const std::string data = lines[1].field("user-data").value_or("");
  EXPECT_NE(data.find(",Driver={rdadriver};Database=rdatest;UID=*;PWD=*;Y=2;;;SQL_ACCESS_MODE=0;"), std::string::npos)
      << data;
}

TEST_F(Connect, DriverConnectRefusals) {
  client(peer().port());
  inChild([&] {
    Driver d;
    struct Case {
      std::wstring in;
      SQLUSMALLINT completion;
      bool out;
      std::wstring state;
      std::wstring message;
    };
    const Case cases[] = {
        {L"DSN=rdatest;UID=u;PWD=p", 4, true, L"HY110", L"Invalid driver completion"},
        {L"UID=u;PWD=p;X=1", 0, true, L"HY000", L"General error - Database keyword not present in the connect string"},
        {L"Driver=x;UID=u", 0, false, L"HY000", L"General error - Database keyword not present in the connect string"},
        // Custom properties go back to the application: checked first.
        {L"DSN=rdatest;UID=u;PWD=p;;", 0, true, L"HY090",
         L"Invalid string or buffer length - Connection string attribute not in the keyword=value format"},
        {L"DSN=rdatest;UID=u;PWD=p;A=" + std::wstring(1023, L'a'), 0, true, L"HY090",
         L"Invalid string or buffer length - Connection string attribute exceeds maximum limit"},
        {L"Database=" + std::wstring(129, L'd'), 0, true, L"HY090",
         L"Invalid string or buffer length - SQLDriverConnectW: Bad length of Database"},
    };
    for (const Case& c : cases) {
      std::wstring out;
      EXPECT_EQ(d.driverConnect(c.in, c.out ? &out : nullptr, 256, c.completion), SQL_ERROR) << narrow(c.in);
      const Diag e = d.error();
      EXPECT_EQ(e.state, c.state) << narrow(c.in);
      EXPECT_EQ(e.message, kPrefix + c.message) << narrow(c.in);
      EXPECT_EQ(d.error().rc, SQL_NO_DATA) << "one diagnostic: " << narrow(c.in);
    }
    std::wstring in = L"DSN=rdatest";
    EXPECT_EQ(SQLDriverConnectW(d.dbc, nullptr, in.data(), -9, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(d.error().message,
              kPrefix + L"Invalid string or buffer length - SQLDriverConnectW: Bad length of connection string");
    // A string beyond the store's 16384 characters is refused, not cut.
    EXPECT_EQ(d.driverConnect(L"Database=rdatest;UID=u;PWD=p;X=" + std::wstring(16384, L'x')), SQL_ERROR);
    EXPECT_EQ(d.error().message,
              kPrefix + L"Invalid string or buffer length - SQLDriverConnectW: Bad length of connection string");
    // Without an output string the custom properties are not looked at.
    ASSERT_EQ(d.driverConnect(L"DSN=rdatest;UID=u;PWD=p;;"), SQL_SUCCESS) << narrow(d.error().message);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
  });
  EXPECT_EQ(initializes(0).size(), 1u) << "nothing connected for a refused string";
}

TEST_F(Connect, BrowseConnectAsksForWhatIsMissing) {
  const int port = peer().port();
  client(port);
  inChild([&] {
    Driver d;
    auto browse = [&](const std::wstring& in, std::wstring* out) {
      std::wstring text = in;
      SQLWCHAR buf[512];
      SQLSMALLINT length = -1;
      const SQLRETURN rc = SQLBrowseConnectW(d.dbc, text.data(), SQL_NTS, buf, 512, &length);
      *out = rc == SQL_NEED_DATA || rc == SQL_SUCCESS ? std::wstring(buf) : L"";
      return rc;
    };
    std::wstring out;
    EXPECT_EQ(browse(L"UID=u", &out), SQL_ERROR);
    Diag e = d.error();
    EXPECT_EQ(e.state, L"01S00");
    EXPECT_EQ(e.message, kPrefix + L"SQLBrowseConnectW: Invalid connection string attribute");
    // A piece longer than 1024 characters is refused, not cut.
    EXPECT_EQ(browse(L"DSN=rdatest;X=" + std::wstring(1011, L'x'), &out), SQL_ERROR);
    EXPECT_EQ(d.error().message,
              kPrefix + L"Invalid string or buffer length - SQLBrowseConnectW: Bad length of connection string");

    // A fresh dialogue: the error left its step raised.
    SQLHDBC second = nullptr;
    ASSERT_EQ(SQLAllocConnect(d.env, &second), SQL_SUCCESS);
    std::swap(d.dbc, second);
    EXPECT_EQ(browse(L"Driver={x}", &out), SQL_NEED_DATA);
    EXPECT_EQ(out,
              L"Database:Database Name?;TYPE:IP Type?;CONNECT_STRING:Connection String?;SCHEMA_PATH:Schema Path?;"
              L"PORT:Server Port?;ADDRESS:Server Network Address?;*UID:User Name?;*PWD:Password?;");
    EXPECT_EQ(browse(L"Database=rdatest;TYPE=tcp", &out), SQL_NEED_DATA);
    EXPECT_EQ(out, L"CONNECT_STRING:Connection String?;SCHEMA_PATH:Schema Path?;PORT:Server Port?;"
                   L"ADDRESS:Server Network Address?;")
        << "the user attributes are asked at the first step only";
    ASSERT_EQ(browse(L"CONNECT_STRING=c;SCHEMA_PATH=s;PORT=" + std::to_wstring(port) + L";ADDRESS=127.0.0.1;UID=u;PWD=p",
                     &out),
              SQL_SUCCESS)
        << narrow(d.error().message);
    EXPECT_EQ(out.rfind(L"Driver={x};Database=rdatest;TYPE=tcp;", 0), 0u) << narrow(out);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);

    // The DSN form: the user attributes at the first step, then connect.
    // A narrow caller gets the list too.
    SQLCHAR narrowOut[64] = {0};
    SQLSMALLINT narrowLength = 0;
    EXPECT_EQ(SQLBrowseConnect(d.dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>("DSN=rdatest")), SQL_NTS, narrowOut,
                               sizeof narrowOut, &narrowLength),
              SQL_NEED_DATA);
    EXPECT_STREQ(reinterpret_cast<char*>(narrowOut), "*UID:User Name?;*PWD:Password?;");
    EXPECT_EQ(narrowLength, 31);
    ASSERT_EQ(browse(L"UID=u;PWD=p", &out), SQL_SUCCESS) << narrow(d.error().message);
    EXPECT_EQ(out.rfind(L"DSN=rdatest;UID=u;PWD=p;;SQL_ACCESS_MODE=0;", 0), 0u) << narrow(out);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);

    // Complete at once: the attributes after the DSN's value reach the
    // connect.
    ASSERT_EQ(browse(L"DSN=rdatest;UID=u;PWD=p;Z=9", &out), SQL_SUCCESS) << narrow(d.error().message);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(d.dbc), SQL_SUCCESS);
    d.dbc = second;
  });
  const std::vector<PeerRecordLine> lines = initializes(0);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[2].field("user-data").value_or("").find(",DSN=rdatest;UID=*;PWD=*;Z=9;;"), std::string::npos)
      << lines[2].field("user-data").value_or("");
}

// Three addresses of one resource on one port: the first two refuse with
// the load-balancing error and the third connects; another error on the
// second ends the road at once.
TEST_F(Connect, LoadBalancingRefusalsTryTheFurtherAddressesInOrder) {
  const std::string busy = "Busy, try another [-2130706431]";
  const int port = peer({"--fail-init-text", busy}).port();
  const std::string p = std::to_string(port);
  peer({"--listen", "127.0.0.2", "--port", p, "--fail-init-text", busy});
  peer({"--listen", "127.0.0.3", "--port", p});
  peer({"--listen", "127.0.0.2", "--port", "0", "--fail-init-text", "Not today"});
  const std::string other = std::to_string(peers_.back()->port());
  for (const auto& peer : peers_) ASSERT_GT(peer->port(), 0);
  client(port,
         "[spread]\nPORT=" + p + "\nADDRESS=127.0.0.1 127.0.0.2 127.0.0.3\n" + "[stopped]\nPORT=" + other +
             "\nADDRESS=127.0.0.1 127.0.0.2 127.0.0.3\n");
  // The second resource: the first address refuses to be balanced, the
  // second (127.0.0.2 at the other port) with another error.
  peer({"--listen", "127.0.0.1", "--port", other, "--fail-init-text", busy});
  inChild([&] {
    Driver d;
    ASSERT_EQ(d.driverConnect(L"DSN=spread;UID=u;PWD=p"), SQL_SUCCESS) << narrow(d.error().message);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS);
    EXPECT_EQ(d.driverConnect(L"DSN=stopped;UID=u;PWD=p"), SQL_ERROR);
    const Diag e = d.error();
    EXPECT_NE(e.message.find(L"Not today"), std::wstring::npos) << narrow(e.message);
    EXPECT_EQ(d.error().rc, SQL_NO_DATA);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS_WITH_INFO) << "nothing left standing";
  });
  EXPECT_EQ(initializes(0).size(), 1u);
  EXPECT_EQ(initializes(1).size(), 1u);
  EXPECT_EQ(initializes(2).size(), 1u) << "the third connected";
  EXPECT_EQ(initializes(3).size(), 1u) << "the other error";
  EXPECT_EQ(initializes(4).size(), 1u);
}

// When every address refuses, the last refusal is the connect's
// diagnostic, in the driver's own list.
TEST_F(Connect, EveryAddressRefusingEndsWithTheLastRefusal) {
  const std::string busy = "Busy, try another [-2130706431]";
  const int port = peer({"--fail-init-text", busy}).port();
  const std::string p = std::to_string(port);
  peer({"--listen", "127.0.0.2", "--port", p, "--fail-init-text", busy});
  client(port, "[pair]\nPORT=" + p + "\nADDRESS=127.0.0.1 127.0.0.2\n");
  inChild([&] {
    Driver d;
    EXPECT_EQ(d.driverConnect(L"DSN=pair;UID=u;PWD=p"), SQL_ERROR);
    EXPECT_EQ(d.rec()->errors.count, 1u) << "moved into the driver's list";
    const Diag e = d.error();
    EXPECT_NE(e.message.find(L"Busy, try another"), std::wstring::npos) << narrow(e.message);
    EXPECT_EQ(d.error().rc, SQL_NO_DATA);
    EXPECT_EQ(SQLDisconnect(d.dbc), SQL_SUCCESS_WITH_INFO) << "released";
  });
  EXPECT_EQ(initializes(0).size(), 1u);
  EXPECT_EQ(initializes(1).size(), 1u);
}

}  // namespace
