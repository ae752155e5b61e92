// The client's transactions against rdapeer: what rda_cliTransact sends and
// answers on a connection and on the whole environment, and the commit the
// server turns into a rollback.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_trans.h"
#include "support/cli_diag.h"
#include "support/client_env.h"
#include "support/peer_process.h"

namespace {

using namespace std::chrono_literals;
using ClientTrans = ClientEnvTest;

bool inTransaction(const RDA_CliHDBC* c) { return (c->state & RDA_CLI_ST_TRANSACTION) != 0; }

TEST_F(ClientTrans, TransactEndsTheOpenTransactionAndTheConfirmBeginsTheNext) {
  PeerProcess peer(dir("peer"), {});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  ASSERT_EQ(connect(c, "rdatest"), 0) << lastDiag(c->errors).message;

  // Nothing to end: nothing is sent.
  uint32_t op = gdwRDAOpID;
  EXPECT_EQ(rda_cliTransact(nullptr, c, RDA_CLI_COMMIT), 0);
  EXPECT_EQ(rda_cliTransact(nullptr, c, RDA_CLI_ROLLBACK), 0);
  EXPECT_EQ(gdwRDAOpID, op) << "no request";

  EXPECT_EQ(rda_cliStartTransaction(c), 0);
  EXPECT_EQ(c->transStarts, 1u);
  ASSERT_EQ(RDA_cliBgnTransOnConnection(c), 1);
  ASSERT_TRUE(inTransaction(c));
  EXPECT_EQ(gdwRDAOpID, op + 1);
  EXPECT_EQ(rda_cliTransact(nullptr, c, RDA_CLI_COMMIT), 0) << lastDiag(c->errors).message;
  EXPECT_TRUE(inTransaction(c)) << "the commit's confirm began the next";
  EXPECT_EQ(gdwRDAOpID, op + 3) << "R-Commit, then R-BeginTransaction";
  EXPECT_EQ(c->transStarts, 0u);
  EXPECT_EQ(rda_cliTransact(nullptr, c, RDA_CLI_ROLLBACK), 0) << lastDiag(c->errors).message;
  EXPECT_TRUE(inTransaction(c));
  EXPECT_EQ(c->state & RDA_CLI_ST_ROLLED_BACK, 0u) << "the rollback's mark is read and cleared";
  EXPECT_EQ(c->errors.count, 0u);

  EXPECT_EQ(rda_cliTransact(nullptr, c, 5), -1);
  EXPECT_EQ(lastDiag(c->errors).state, "S1012");
  EXPECT_EQ(lastDiag(c->errors).message, "CLI error: Invalid transaction operation code - Invalid transaction option 5");
  EXPECT_EQ(rda_cliTransact(env_, nullptr, 7), -1);
  EXPECT_EQ(lastDiag(env_->errors).message, "CLI error: Invalid transaction operation code - Invalid Transaction option 7");

  // Handles of the wrong kind.
  EXPECT_EQ(rda_cliTransact(nullptr, reinterpret_cast<RDA_CliHDBC*>(env_), RDA_CLI_COMMIT), -2);
  EXPECT_EQ(rda_cliTransact(reinterpret_cast<RDA_CliHENV*>(c), nullptr, RDA_CLI_COMMIT), -2);
  EXPECT_EQ(rda_cliTransact(nullptr, nullptr, RDA_CLI_COMMIT), -2);
  EXPECT_EQ(rda_cliStartTransaction(reinterpret_cast<RDA_CliHDBC*>(env_)), -2);
}

TEST_F(ClientTrans, CommitTurnedIntoRollbackIsReportedOnTheConnectionAndTheEnvironment) {
  // Each association's first R-Commit is rolled back (answer code 7).
  PeerProcess peer(dir("peer"), {"--commit-rollback", "1"});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* a = conn();
  RDA_CliHDBC* b = conn();
  for (RDA_CliHDBC* c : {a, b}) {
    ASSERT_EQ(connect(c, "rdatest"), 0) << lastDiag(c->errors).message;
    ASSERT_EQ(RDA_cliBgnTransOnConnection(c), 1);
  }

  EXPECT_EQ(rda_cliTransact(nullptr, a, RDA_CLI_COMMIT), -1);
  ASSERT_EQ(a->errors.count, 1u);
  EXPECT_EQ(lastDiag(a->errors).state, "40000");
  EXPECT_EQ(lastDiag(a->errors).native, 7);
  EXPECT_TRUE(inTransaction(a)) << "the next transaction is begun all the same";
  EXPECT_EQ(a->state & RDA_CLI_ST_ROLLED_BACK, 0u);

  // Over the environment: a's second commit goes through, b's first is
  // rolled back.
  EXPECT_EQ(rda_cliTransact(env_, nullptr, RDA_CLI_COMMIT), -1);
  ASSERT_EQ(env_->errors.count, 1u);
  EXPECT_EQ(lastDiag(env_->errors).state, "25S03");
  EXPECT_EQ(lastDiag(b->errors).state, "40000");
  EXPECT_EQ(cliDiags(b->errors).front().native, 7) << "the server's code and text come first";
  EXPECT_EQ(b->state & RDA_CLI_ST_ROLLED_BACK, 0u);
  EXPECT_EQ(a->errors.count, 1u) << "nothing new on the committed one";
  // a still holds the 40000 of its own commit: the transaction its second
  // commit's confirm began is open all the same.
  EXPECT_TRUE(inTransaction(a));
  EXPECT_TRUE(inTransaction(b));

  // Now both commit.
  EXPECT_EQ(rda_cliTransact(env_, nullptr, RDA_CLI_COMMIT), 0);
  EXPECT_EQ(env_->errors.count, 0u);
}

TEST_F(ClientTrans, EnvironmentRollbackGoesToEveryAssociatedConnection) {
  PeerProcess peer(dir("peer"), {});
  ASSERT_GT(peer.port(), 0);
  start(peer.port(), 30);
  RDA_CliHDBC* open = conn();
  RDA_CliHDBC* idle = conn();
  RDA_CliHDBC* never = conn();
  ASSERT_EQ(connect(open, "rdatest"), 0);
  ASSERT_EQ(connect(idle, "rdatest"), 0);
  ASSERT_EQ(RDA_cliBgnTransOnConnection(open), 1);
  ASSERT_FALSE(inTransaction(idle));

  const uint32_t op = gdwRDAOpID;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(rda_cliTransact(env_, nullptr, RDA_CLI_ROLLBACK), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s) << "no wait on the connection without association";
  // R-Rollback and the next R-BeginTransaction on the one with an open
  // transaction; R-Rollback also on the associated one without, which the
  // stack refuses there and then.
  EXPECT_EQ(gdwRDAOpID, op + 3);
  EXPECT_TRUE(inTransaction(open));
  EXPECT_EQ(open->errors.count, 0u) << lastDiag(open->errors).message;
  EXPECT_FALSE(inTransaction(idle));
  EXPECT_EQ(lastDiag(idle->errors).message, "RDA_SUR_ERR_INVALID_SEQ");
  EXPECT_EQ(never->errors.count, 0u);
  EXPECT_EQ(never->state, 0u);
  for (RDA_CliHDBC* c : {open, idle, never}) EXPECT_EQ(c->state & RDA_CLI_ST_ROLLED_BACK, 0u);
}

}  // namespace
