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
#include "support/recordset.h"
#include "support/sandbox.h"
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

// The server: activates in its role and tells the parent its port. 0 when
// it could.
int serve(ChildProcess& me, const std::string& ini, bool associate) {
  StackSide side(StackSide::Role::Server, ini);
  if (!side.ok() || side.startRda() != 1) return 10;
  if (!side.activate(user, &gUserRef)) return 11;
  const GIDU* cnf = got(AL_ACT_CNF);
  if (cnf == nullptr || cnf->errNo != 0 || cnf->ue != &gUserRef || cnf->pe == nullptr) return 12;
  me.ready(side.port());
  if (!associate) return 0;
  rda_surSnd(rda_createSurNextEventReq(cnf), nullptr);
  // A server user gets one indication at a time: the next comes only when
  // it asks for it, also after the Activate confirm.
  if (!side.runUntil([] { return got(AL_A_ASSOC_IND) != nullptr; }, 10s)) return 13;
  GIDU* rsp = rda_createAssocRsp(got(AL_A_ASSOC_IND), rda_xopenAppCtxName, AC_RESULT_ACCEPTED, nullptr, SR_DUPLEX);
  if (rsp == nullptr) return 14;
  rda_surSnd(rsp, nullptr);
  rda_surSnd(rda_createSurNextEventReq(got(AL_A_ASSOC_IND)), nullptr);
  if (!side.runUntil([] { return got(AL_A_RELEASE_IND) != nullptr; }, 10s)) return 15;
  GIDU* rel = rda_createRelRsp(got(AL_A_RELEASE_IND), nullptr, 0);
  if (rel == nullptr) return 16;
  rda_surSnd(rel, nullptr);
  if (!side.runUntil([] { return getSessionTLS(0)->tp0.activeCount == 0; }, 10s)) return 17;
  return 0;
}

class RdaStacks : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    savedSwitch_ = QvMultiThread;
    QvSetMultiThread(1);
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
    gGot.clear();
  }
  void TearDown() override {
    gGot.clear();
    giQuietMode = savedQuiet_;
    QvSetMultiThread(savedSwitch_);
  }
  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID"};
  int32_t savedSwitch_ = 1;
  int32_t savedQuiet_ = 0;
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
  RDA_CliHENV env{};
  env.tag = RDA_CLI_TAG_HENV;
  al_selfLink(&env.tmpl);
  env.tmpl.ue = &env;
  GIDU* act = rda_createActivateReq(&env.tmpl, "qvclient", kRdaRoleClient);
  ASSERT_NE(act, nullptr) << QvGetOsiError();
  RDA_cliSendEvent(act, RDA_CLI_SEND_WAIT);
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
  RDA_CliHENV env{};
  env.tag = RDA_CLI_TAG_HENV;
  al_selfLink(&env.tmpl);
  env.tmpl.ue = &env;
  RDA_cliSendEvent(rda_createActivateReq(&env.tmpl, "qvclient", kRdaRoleClient), RDA_CLI_SEND_WAIT);
  ASSERT_EQ(env.flags & RDA_CLI_ENV_ACTIVATED, RDA_CLI_ENV_ACTIVATED);
  RDA_CliHDBC conn{};
  conn.tag = RDA_CLI_TAG_HDBC;
  conn.env = &env;
  conn.tmpl = rda_createTemplateGidu(&env, &conn, env.tmpl.pe, nullptr);
  ASSERT_NE(conn.tmpl, nullptr);

  GIDU* req = rda_createAssocReq(conn.tmpl, "qvclient", kStackResource, rda_xopenAppCtxName, nullptr, SR_DUPLEX, nullptr);
  ASSERT_NE(req, nullptr) << QvGetOsiError();
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  EXPECT_EQ(conn.state, RDA_CLI_ST_ASSOCIATED) << conn.errors.count << " " << conn.errors.lastNative;
  EXPECT_NE(conn.tmpl->pc, nullptr) << "the ACB kept for later requests";

  RDA_cliSendEvent(rda_createRelReq(conn.tmpl, nullptr), RDA_CLI_SEND_WAIT);
  EXPECT_EQ(conn.state, 0u);
  EXPECT_EQ(conn.errors.count, 0u);
  EXPECT_EQ(server.wait(10s), 0);
  al_deleteGidu(conn.tmpl);
}

}  // namespace
