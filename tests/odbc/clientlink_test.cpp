// Where the ODBC layer meets the RDA client: a connection's stack instance
// made and undone by the allocation and the free of a connection, the client's
// diagnostics moved into the driver's lists, and the error lists written to
// the call trace. Each runs in a child process with a start-up of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "driver_fixture.h"
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
