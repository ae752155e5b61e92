// Two stacks brought up by the end-to-end start-up with their application
// entities, the server in a child process: each activates in its role from
// its own directory entry in the sandbox configuration, and the user
// finds its invocation in the confirm.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rda_sur.h"
#include "src/session/tp0tcp.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "support/cli_diag.h"
#include "support/recordset.h"
#include "support/sandbox.h"
#include "support/server_user.h"
#include "support/stack.h"

namespace {

using namespace std::chrono_literals;

// What this process's RDA user got, kept until the records go.
std::vector<GIDU*> gGot;
int gUserRef = 0;  // the user's own reference

void user(GIDU* g) { gGot.push_back(g); }

std::string events() {
  std::string out;
  for (const GIDU* g : gGot) out += std::to_string(g->event) + "/" + std::to_string(g->errNo) + " ";
  return out;
}

GIDU* got(uint32_t event) {
  for (GIDU* g : gGot)
    if (g->event == event) return g;
  return nullptr;
}

// The server: activates in its role and tells the parent its port; with
// `associate`, serves one association with the default answers until it is
// released and the transport connection is gone. 0 when all of it went.
int serve(ChildProcess& me, const std::string& ini, bool associate) {
  ServerUser server(ini);
  if (!server.start()) return 10;
  me.ready(server.port());
  if (!associate) return 0;
  if (!server.runUntil([&] { return server.ended() == 1 && getSessionTLS(0)->tp0.activeCount == 0; }, 10s))
    return 13;
  return server.seen().size() == 3 && server.seen()[1].first == AL_A_ASSOC_IND &&
                 server.seen()[2].first == AL_A_RELEASE_IND
             ? 0
             : 14;
}

class RdaStacks : public StackTest {
 protected:
  void SetUp() override {
    StackTest::SetUp();
    gGot.clear();
  }
  void TearDown() override {
    gGot.clear();
    StackTest::TearDown();
  }
};

TEST_F(RdaStacks, BothRolesActivateFromTheirDirectoryEntries) {
  StackConfig config;
  config.serverPort = freeLoopbackPort();
  ASSERT_NE(config.serverPort, 0);
  const std::string ini = writeStackConfig(sandbox_.dir(), config);
  ChildProcess server([ini](ChildProcess& me) { return serve(me, ini, false); });
  int32_t port = 0;
  ASSERT_TRUE(server.awaitReady(10s, &port)) << "server start-up: " << server.wait(1s);
  EXPECT_EQ(port, config.serverPort);
  EXPECT_EQ(server.wait(10s), 0);

  StackSide client(StackSide::Role::Client, ini);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_EQ(client.startRda(), 1) << client.error();
  ASSERT_TRUE(client.activate(user, &gUserRef)) << client.error();
  ASSERT_EQ(gGot.size(), 1u) << events();
  const GIDU* act = got(AL_ACT_CNF);
  ASSERT_NE(act, nullptr);
  EXPECT_EQ(act->errNo, 0u);
  EXPECT_EQ(act->ue, &gUserRef);
  EXPECT_NE(act->pe, nullptr) << "the user's control block";
  EXPECT_EQ(client.startRda(), 0) << "the entity starts once per stack";
}

// The client's event engine sends the Activate with its receive entry and
// finds the confirm on the environment's queue.
TEST_F(RdaStacks, ClientActivatesThroughItsEventEngine) {
  StackConfig config;
  config.serverPort = freeLoopbackPort();
  const std::string ini = writeStackConfig(sandbox_.dir(), config);
  StackSide client(StackSide::Role::Client, ini);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_EQ(client.startRda(), 1) << client.error();
  StackClient c;
  ASSERT_TRUE(c.activate()) << QvGetOsiError();
  const RDA_CliHENV& env = c.env;
  EXPECT_EQ(env.flags & RDA_CLI_ENV_ACTIVATED, RDA_CLI_ENV_ACTIVATED);
  EXPECT_NE(env.tmpl.pe, nullptr) << "the UCB kept for later requests";
  EXPECT_EQ(env.errors.count, 0u);
  EXPECT_TRUE(al_queueEmpty(&env.tmpl)) << "the waiter took and deleted the confirm";
}

// The client associates with the database resource of its configuration
// through its event engine (the called address comes from the directory),
// the server user accepts, and the client releases.
TEST_F(RdaStacks, ClientAssociatesAndReleasesThroughItsEventEngine) {
  StackConfig config;
  config.serverPort = freeLoopbackPort();
  ASSERT_NE(config.serverPort, 0);
  const std::string ini = writeStackConfig(sandbox_.dir(), config);
  ChildProcess server([ini](ChildProcess& me) { return serve(me, ini, true); });
  ASSERT_TRUE(server.awaitReady(10s, nullptr)) << "server start-up: " << server.wait(1s);

  StackSide client(StackSide::Role::Client, ini);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_EQ(client.startRda(), 1) << client.error();
  StackClient c;
  ASSERT_TRUE(c.activate());
  RDA_CliHDBC& conn = c.conn;
  EXPECT_TRUE(c.associate()) << conn.errors.count << " " << lastDiag(conn.errors).native;

  RDA_cliSendEvent(rda_createRelReq(conn.tmpl, nullptr), RDA_CLI_SEND_WAIT);
  EXPECT_EQ(conn.state, 0u);
  EXPECT_EQ(conn.errors.count, 0u);
  EXPECT_EQ(server.wait(10s), 0);
}

}  // namespace
