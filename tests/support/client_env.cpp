#include "support/client_env.h"

#include <cstdlib>

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/cli_diag.h"
#include "support/stack.h"

void ClientEnvTest::SetUp() {
  XmCountTest::SetUp();
  savedQuiet_ = giQuietMode;
  giQuietMode = 1;
}

void ClientEnvTest::TearDown() {
  for (RDA_CliHDBC* c : conns_) {
    if (!RDA_cliIsLiveBlock(c, RDA_CLI_TAG_HDBC)) continue;
    // Without an association the disconnect still frees the statements.
    rda_cliDisconnect(c);
    EXPECT_EQ(rda_cliFreeConnect(c), 0) << lastDiag(c->errors).message;
  }
  if (env_ != nullptr) {
    EXPECT_EQ(rda_cliFreeEnv(env_), 0);
  }
  giQuietMode = savedQuiet_;
  ASSERT_NE(xm_init(), nullptr);
  XmCountTest::TearDown();
}

void ClientEnvTest::start(int port, int responseTimeOut, const std::string& common) {
  StackConfig c;
  c.serverPort = port;
  c.responseTimeOut = responseTimeOut;
  c.extraCommon = common;
  const std::string ini = writeStackConfig(sandbox_.dir(), c);
  setenv("MIRODEL_INI", ini.c_str(), 1);
  ASSERT_EQ(rda_cliAllocEnv(&env_), 0);
}

RDA_CliHDBC* ClientEnvTest::conn() {
  RDA_CliHDBC* c = nullptr;
  EXPECT_EQ(rda_cliAllocConnect(env_, &c), 0);
  conns_.push_back(c);
  return c;
}

int32_t ClientEnvTest::connect(RDA_CliHDBC* c, const char* name, const char* connectString, const char* user,
                               const char* password) {
  return rda_cliConnect(c, name, RDA_CLI_NTS, user, RDA_CLI_NTS, password, RDA_CLI_NTS, connectString);
}
