// Where the ODBC layer meets the RDA client: a connection's stack instance
// made and undone by the allocation and the free of a connection, the client's
// diagnostics moved into the driver's lists, and the error lists written to
// the call trace. Each runs in a child process with a start-up of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver_fixture.h"
#include "src/odbc/cores.h"
#include "src/odbc/lmoerr.h"
#include "src/odbc/lmoinit.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/sandbox.h"
#include "support/stack.h"

namespace {

class ClientLink : public ::testing::Test {
 protected:
  void SetUp() override {
    StackConfig config;
    config.serverPort = 7000;  // nothing is connected here
    const std::string ini = writeStackConfig(sandbox_.dir(), config);
    std::ofstream(ini, std::ios::app) << "[JDBC]\nCLITraceOptions=2\nTraceFile=" << traceFile() << "\n";
    setenv("MIRODEL_INI", ini.c_str(), 1);
    tmp_ = (sandbox_.dir() / "shared").string();
    gpcQvTmpConfigDir = tmp_.c_str();
  }
  void TearDown() override { gpcQvTmpConfigDir = "/tmp"; }
  std::string traceFile() const { return (sandbox_.dir() / "calls.log").string(); }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::string tmp_;
};

int recordsOf(const TLSFamily<LmoTLS>& family) {
  int n = 0;
  for (const LmoTLS* r = family.first; r != nullptr; r = r->next) ++n;
  return n;
}

int32_t failingAeInit() { return 0; }
const RdaCliStackOps kFailAeInit = [] {
  RdaCliStackOps ops = kRdaCliStackOps;
  ops.aeInit = failingAeInit;
  return ops;
}();

// An allocation whose stack instance cannot start leaves nothing of what it
// made for the connection (record set, stack instance, mutex), so the next
// one meets the same state; one that succeeds makes one record set, which
// its free takes away again.
TEST_F(ClientLink, FailedConnectionAllocationLeavesNothing) {
  inChild([] {
    giQuietMode = 1;
    SQLHENV henv = nullptr;
    ASSERT_EQ(SQLAllocEnv(&henv), SQL_SUCCESS);
    const int before = recordsOf(gLmoTLS);
    gRdaCliStackOps = &kFailAeInit;
    for (int i = 0; i < 2; ++i) {
      SQLHDBC dbc = henv;
      EXPECT_EQ(SQLAllocConnect(henv, &dbc), SQL_ERROR);
      EXPECT_EQ(dbc, nullptr);
      EXPECT_EQ(recordsOf(gLmoTLS), before) << "the connection's record set went with it";
    }
    gRdaCliStackOps = &kRdaCliStackOps;
    SQLHDBC dbc = nullptr;
    ASSERT_EQ(SQLAllocConnect(henv, &dbc), SQL_SUCCESS);
    EXPECT_EQ(recordsOf(gLmoTLS), before + 1);
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(recordsOf(gLmoTLS), before);
    EXPECT_EQ(SQLAllocConnect(nullptr, &dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLAllocConnect(henv, nullptr), SQL_INVALID_HANDLE);
  });
}

// Blocks of the RDA client made by hand, with their lists.
struct RdaBlocks {
  RdaBlocks() {
    env.tag = RDA_CLI_TAG_HENV;
    conn.tag = RDA_CLI_TAG_HDBC;
    conn.env = &env;
    stmt.tag = RDA_CLI_TAG_HSTMT;
    stmt.conn = &conn;
    for (RDA_CliErrorList* l : {&env.errors, &conn.errors, &stmt.errors}) RDA_cliInitErrorList(l);
    for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                          static_cast<const void*>(&stmt)})
      RDA_cliLinkBlock(b);
  }
  ~RdaBlocks() {
    for (RDA_CliErrorList* l : {&env.errors, &conn.errors, &stmt.errors}) RDA_cliClearErrorList(l);
    for (const void* b : {static_cast<const void*>(&env), static_cast<const void*>(&conn),
                          static_cast<const void*>(&stmt)})
      RDA_cliUnlinkBlock(b);
  }
  RDA_CliHENV env{};
  RDA_CliHDBC conn{};
  RDA_CliHSTMT stmt{};
};

TEST_F(ClientLink, ClientDiagnosticMovesIntoTheDriversList) {
  inChild([] {
    ASSERT_EQ(initODBC(), 1);
    ASSERT_NE(xm_init(), nullptr);
    RdaBlocks rda;
    LmoDbc dbc{};
    dbc.rdaDbc = &rda.conn;
    RDA_cliAddSQLState(&rda.conn.errors, "08004", 77, "refused by the server", nullptr);
    EXPECT_EQ(QvAddRdaCliErrorToLmo(&rda.conn, &dbc), 0);
    EXPECT_EQ(rda.conn.errors.count, 0u);
    ASSERT_EQ(dbc.errors.count, 1u);
    wchar_t state[6];
    int32_t native = 0;
    wchar_t message[64];
    ASSERT_EQ(lmoError(nullptr, &dbc, nullptr, state, &native, message, 64, nullptr), 0);
    EXPECT_STREQ(state, L"08004");
    EXPECT_EQ(native, 77);
    EXPECT_STREQ(message, L"refused by the server");
    EXPECT_EQ(QvAddRdaCliErrorToLmo(&rda.conn, &dbc), 100) << "nothing to move";
    EXPECT_EQ(dbc.errors.count, 0u);
  });
}

TEST_F(ClientLink, ErrorListsOfACallGoToTheCallTrace) {
  inChild([&] {
    ASSERT_EQ(initODBC(), 1);
    ASSERT_NE(xm_init(), nullptr);
    RdaBlocks rda;
    LmoEnv env{};
    LmoDbc dbc{};
    LmoStmt stmt{};
    env.rdaEnv = &rda.env;
    dbc.rdaDbc = &rda.conn;
    stmt.rdaStmt = &rda.stmt;
    stmt.dbc = &dbc;
    lmoAddError(&stmt.errors, 80, 0, "driver side");
    RDA_cliAddSQLState(&rda.stmt.errors, "42000", 1, "client side one", nullptr);
    RDA_cliAddSQLState(&rda.stmt.errors, "42000", 2, "client side two", nullptr);
    EXPECT_EQ(printErrList(&env, &dbc, &stmt), 100);
    EXPECT_EQ(countLines(traceFile(), "   SQLState=S1C00, ErrorMsg=Driver not capable - driver side"), 1);
    EXPECT_EQ(countLines(traceFile(), "   SQLState=42000, ErrorMsg=client side one"), 1);
    EXPECT_EQ(countLines(traceFile(), "   SQLState=42000, ErrorMsg=client side two"), 1);
    EXPECT_EQ(stmt.errors.count, 1u) << "printing leaves the lists";
    EXPECT_EQ(rda.stmt.errors.count, 2u);
    lmoClearErrorList(&stmt.errors);
  });
}

}  // namespace

namespace {

struct ErrorRead {
  int16_t rc;
  std::wstring state;
  int32_t native;
  std::wstring message;
  int16_t length;
};

ErrorRead readCore(LmoDbc* dbc, wchar_t* buffer, int16_t size) {
  ErrorRead r{};
  wchar_t state[6] = L"#####";
  r.native = -1;
  r.length = -1;
  r.rc = QVSQLErrorW(nullptr, dbc, nullptr, state, &r.native, buffer, size, &r.length);
  r.state = state;
  r.message = buffer != nullptr && size > 0 ? buffer : L"";
  return r;
}

// SQLError's core: the driver's list first, then the client's, each message
// behind the prefix; a client message ending in a bracketed decimal number
// gives its native error there.
TEST_F(ClientLink, ErrorReadsTheDriversListThenTheClientsBehindThePrefix) {
  inChild([] {
    ASSERT_EQ(initODBC(), 1);
    ASSERT_NE(xm_init(), nullptr);
    const std::wstring prefix = L"[Quenlow][Varenta JDBC]";
    RdaBlocks rda;
    auto dbc = std::make_unique<LmoDbc>();
    dbc->rdaDbc = &rda.conn;
    ASSERT_EQ(lmoRegister(LmoKind::Dbc, dbc.get()), 1);
    std::vector<wchar_t> buffer(300);

    struct Case {
      const char* client;
      std::wstring message;
      int32_t native;
    };
    const Case cases[] = {
        {"refused [123]", L"refused ", 123},
        {"[-7]", L"", -7},
        {"x [+7]", L"x ", 7},
        {"bad value [x]", L"bad value [x]", 5},
        {"", L"", 5},
        {"x []", L"x []", 5},
        {"x [-]", L"x [-]", 5},
        {"x [12] y", L"x [12] y", 5},
        {"x [99999999999]", L"x [99999999999]", 5},
        {"a [1] [2]", L"a [1] ", 2},
    };
    for (const Case& c : cases) {
      RDA_cliAddSQLState(&rda.conn.errors, "HZ000", 5, c.client, nullptr);
      const ErrorRead r = readCore(dbc.get(), buffer.data(), 300);
      EXPECT_EQ(r.rc, 0) << c.client;
      EXPECT_EQ(r.state, L"HZ000") << c.client;
      EXPECT_EQ(r.message, prefix + c.message) << c.client;
      EXPECT_EQ(r.native, c.native) << c.client;
      EXPECT_EQ(r.length, static_cast<int16_t>(prefix.size() + c.message.size())) << c.client;
    }

    lmoAddError(&dbc->errors, kLmoErrGeneral, 9, "driver side");
    RDA_cliAddSQLState(&rda.conn.errors, "08004", 3, "client side", nullptr);
    ErrorRead r = readCore(dbc.get(), buffer.data(), 300);
    EXPECT_EQ(r.message, prefix + L"General error - driver side");
    EXPECT_EQ(r.native, 9);
    EXPECT_EQ(r.length, static_cast<int16_t>(r.message.size()));
    r = readCore(dbc.get(), buffer.data(), 300);
    EXPECT_EQ(r.message, prefix + L"client side");
    EXPECT_EQ(r.state, L"08004");
    r = readCore(dbc.get(), buffer.data(), 300);
    EXPECT_EQ(r.rc, 100);
    EXPECT_EQ(r.state, L"00000");
    EXPECT_EQ(r.native, 0);
    EXPECT_EQ(r.message, L"");
    EXPECT_EQ(r.length, 0);

    // A short buffer: the message cut, its whole length given.
    RDA_cliAddSQLState(&rda.conn.errors, "08004", 3, "a message of forty characters, at least", nullptr);
    r = readCore(dbc.get(), buffer.data(), 30);
    EXPECT_EQ(r.message, prefix + L"a mess");
    EXPECT_EQ(r.length, static_cast<int16_t>(prefix.size() + 39));
    // No room beyond the prefix: the message alone, without it.
    RDA_cliAddSQLState(&rda.conn.errors, "08004", 3, "abcdefgh", nullptr);
    r = readCore(dbc.get(), buffer.data(), static_cast<int16_t>(prefix.size()));
    EXPECT_EQ(r.message, L"abcdefgh");
    EXPECT_EQ(r.length, 8);
    // No buffer: nothing written, length 0.
    RDA_cliAddSQLState(&rda.conn.errors, "08004", 3, "gone [4]", nullptr);
    r = readCore(dbc.get(), nullptr, 50);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.length, 0);
    EXPECT_EQ(rda.conn.errors.count, 0u) << "read all the same";
    lmoUnregister(dbc.get());
  });
}

}  // namespace

namespace {

// A call that waits until a second call is inside at once, or a while.
std::atomic<int> gInside{0};
std::atomic<int> gMostInside{0};
int16_t overlapping(uint64_t*) {
  const int now = ++gInside;
  int most = gMostInside.load();
  while (now > most && !gMostInside.compare_exchange_weak(most, now)) {
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
  while (gInside.load() < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  --gInside;
  return 0;
}

// Connections as SQLAllocConnect makes them, each with its own mutex and
// stack instance: calls on two run at once, two calls on one in turn.
TEST_F(ClientLink, AllocatedConnectionsRunAtOnceAndOneConnectionsCallsInTurn) {
  inChild([] {
    giQuietMode = 1;
    SQLHENV env = nullptr;
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    SQLHDBC a = nullptr;
    SQLHDBC b = nullptr;
    ASSERT_EQ(SQLAllocConnect(env, &a), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(env, &b), SQL_SUCCESS);
    EXPECT_NE(static_cast<LmoDbc*>(a)->tls.lmo->connMutex, static_cast<LmoDbc*>(b)->tls.lmo->connMutex);
    {
      FuncTable table;
      table[QV_FN_GETINFO] = overlapping;
      auto twoCalls = [](SQLHDBC x, SQLHDBC y) {
        gMostInside = 0;
        std::thread t1([&] { SQLGetInfo(x, SQL_DRIVER_VER, nullptr, 0, nullptr); });
        std::thread t2([&] { SQLGetInfo(y, SQL_DRIVER_VER, nullptr, 0, nullptr); });
        t1.join();
        t2.join();
        return gMostInside.load();
      };
      EXPECT_EQ(twoCalls(a, b), 2);
      EXPECT_EQ(twoCalls(a, a), 1);
    }
    // Freed from threads that did not allocate them.
    std::thread([&] { EXPECT_EQ(SQLFreeConnect(a), SQL_SUCCESS); }).join();
    std::thread([&] { EXPECT_EQ(SQLFreeConnect(b), SQL_SUCCESS); }).join();
  });
}

}  // namespace
