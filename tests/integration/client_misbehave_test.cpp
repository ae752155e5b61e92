// The client against a server that misbehaves: the server's TPKTs pass a
// steering relay that repeats an answer, puts an answer where none was
// asked for, or sends data after the server's abort. Each call ends with
// its own answer or a clear error, never a hang, and nothing is left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "src/rda/rda_idubuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/session/tp0tcp.h"
#include "support/cli_diag.h"
#include "support/peer_process.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/tpkt_capture.h"
#include "support/xm_count.h"

namespace {

using namespace std::chrono_literals;

// The session SPDU a TPKT carries: its SPDU identifier after the TPKT
// header and the transport header (the first SPDU of a data TPDU is a
// Give Tokens of its own, then the Data Transfer).
int spduOf(const std::string& tpkt) {
  if (tpkt.size() < 7) return -1;
  const size_t at = 4 + 1 + static_cast<uint8_t>(tpkt[4]);
  return at < tpkt.size() ? static_cast<uint8_t>(tpkt[at]) : -1;
}
constexpr int kSpduAbort = 25;

class ClientMisbehave : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
  }
  void TearDown() override {
    if (conn_ != nullptr) {
      if ((conn_->state & RDA_CLI_ST_ASSOCIATED) != 0) rda_cliDisconnect(conn_);
      EXPECT_EQ(rda_cliFreeConnect(conn_), 0);
    }
    if (env_ != nullptr) {
      EXPECT_EQ(rda_cliFreeEnv(env_), 0);
    }
    relay_.reset();
    giQuietMode = savedQuiet_;
    ASSERT_NE(xm_init(), nullptr);
    XmCountTest::TearDown();
  }
  // The peer with `options` behind a relay steered by `steer`, and the
  // client's environment and connection naming the relay.
  void start(const std::vector<std::string>& options, RecordingRelay::Steer steer) {
    peer_ = std::make_unique<PeerProcess>(sandbox_.dir() / "peer", options);
    ASSERT_GT(peer_->port(), 0);
    relay_ = std::make_unique<RecordingRelay>();
    ASSERT_TRUE(relay_->ok());
    relay_->steerFromServer(std::move(steer));
    relay_->start(peer_->port());
    StackConfig c;
    c.serverPort = relay_->port();
    c.responseTimeOut = 10;
    c.extraCommon = "SessPollWaitTime=1\n";
    setenv("MIRODEL_INI", writeStackConfig(sandbox_.dir(), c).c_str(), 1);
    ASSERT_EQ(rda_cliAllocEnv(&env_), 0);
    ASSERT_EQ(rda_cliAllocConnect(env_, &conn_), 0);
  }
  int32_t connect() {
    return rda_cliConnect(conn_, "rdatest", RDA_CLI_NTS, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr);
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::unique_ptr<PeerProcess> peer_;
  std::unique_ptr<RecordingRelay> relay_;
  RDA_CliHENV* env_ = nullptr;
  RDA_CliHDBC* conn_ = nullptr;
  int32_t savedQuiet_ = 0;
};

// The server's TPKTs of a dialogue: 0 the transport's connect confirm, 1 the
// session accept with the association's answer, then one data TPDU per
// answer: 2 R-Initialize's, 3 R-Open's, 4 R-Close's, 5 R-Terminate's.
constexpr size_t kInitAnswer = 2;
constexpr size_t kCloseAnswer = 4;

TEST_F(ClientMisbehave, RepeatedAnswerLeavesTheNextRequestItsOwn) {
  start({}, [](size_t i, const std::string& t) { return i == kInitAnswer ? t + t : t; });
  EXPECT_EQ(connect(), 0) << lastDiag(conn_->errors).state << " " << lastDiag(conn_->errors).message;
  EXPECT_EQ(conn_->errors.count, 0u) << "the second answer is no error of the connect";
  EXPECT_EQ(conn_->state, RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE | RDA_CLI_ST_RESOURCE_OPEN);
  EXPECT_EQ(rda_cliDisconnect(conn_), 0);
}

TEST_F(ClientMisbehave, AnswerToNoRequestIsIgnoredAfterTheAnswerAndAnErrorBeforeIt) {
  struct Case {
    bool before;
    int32_t disconnect;
  };
  for (const Case& c : {Case{false, 0}, Case{true, 1}}) {
    SCOPED_TRACE(c.before ? "before the R-Close answer" : "after the R-Close answer");
    auto init = std::make_shared<std::string>();
    start({}, [init, c](size_t i, const std::string& t) {
      if (i == kInitAnswer) *init = t;
      if (i != kCloseAnswer) return t;
      return c.before ? *init + t : t + *init;
    });
    ASSERT_EQ(connect(), 0);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(rda_cliDisconnect(conn_), c.disconnect);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    if (c.before) {
      EXPECT_EQ(lastDiag(conn_->errors).state, "S4067") << "refused by the client's state check";
      EXPECT_EQ(lastDiag(conn_->errors).message, "RDA_ASE_ERR_BLANK_CELL");
    } else {
      EXPECT_EQ(conn_->errors.count, 0u);
    }
    EXPECT_EQ(conn_->state & RDA_CLI_ST_ASSOCIATED, 0u);
    EXPECT_EQ(rda_cliFreeConnect(conn_), 0);
    conn_ = nullptr;
    EXPECT_EQ(rda_cliFreeEnv(env_), 0);
    env_ = nullptr;
    relay_.reset();
    peer_.reset();
  }
}

TEST_F(ClientMisbehave, DataAfterTheServersAbortEndsNothingElse) {
  auto init = std::make_shared<std::string>();
  start({"--abort-after", "2"}, [init](size_t i, const std::string& t) {
    if (i == kInitAnswer) *init = t;
    return spduOf(t) == kSpduAbort ? t + *init + *init : t;
  });
  ASSERT_EQ(connect(), 0);
  ASSERT_EQ(RDA_cliBgnTransOnConnection(conn_), 1);
  const OctStgV text{8, reinterpret_cast<uint8_t*>(const_cast<char*>("SELECT 1"))};
  const auto begin = std::chrono::steady_clock::now();
  RDA_cliSendEvent(rda_createSQLExecDBLReq(conn_->tmpl, static_cast<int32_t>(++conn_->opId), nullptr, nullptr, &text,
                                           0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr),
                   RDA_CLI_SEND_WAIT);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  EXPECT_EQ(conn_->state, 0u);
  EXPECT_EQ(lastDiag(conn_->errors).state, "HZ520");
  EXPECT_EQ(rda_cliDisconnect(conn_), 1);
  EXPECT_EQ(lastDiag(conn_->errors).state, "08003");
  // The stack takes in whatever is still on its way, and nothing changes.
  RDA_cliSendEvent(rda_createSQLExecDBLReq(conn_->tmpl, static_cast<int32_t>(++conn_->opId), nullptr, nullptr, &text,
                                           0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr),
                   RDA_CLI_SEND_WAIT);
  EXPECT_EQ(conn_->state, 0u);
}

}  // namespace
