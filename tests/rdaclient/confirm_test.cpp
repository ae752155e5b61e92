// The confirm handlers: what R-Initialize's answer negotiates, what the
// transaction confirms leave, and how the exception part of an R-ExecuteDBL
// result becomes the statement's diagnostics and row count.
#include "src/rdaclient/rdacli_confirm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_gidu.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_trans.h"
#include "support/cli_blocks.h"
#include "support/cli_diag.h"
#include "support/trace_capture.h"

namespace {

// The blocks made by hand, with the client's optimisation level put back
// after each test.
class ClientConfirms : public CliBlocksTest {
 protected:
  void SetUp() override {
    CliBlocksTest::SetUp();
    savedLevel_ = giRdaStmtOptimizeLevel;
  }
  void TearDown() override {
    giRdaStmtOptimizeLevel = savedLevel_;
    CliBlocksTest::TearDown();
  }
  // A confirm of `event` for the connection; `body` its result record.
  GIDU* confirm(uint32_t event, int32_t opId, void** body) {
    GIDU* g = rda_createGiduWithRdaIdu(conn.tmpl, event, opId, body);
    EXPECT_NE(g, nullptr);
    return g;
  }

  int32_t savedLevel_ = 73;
};

TEST_F(ClientConfirms, InitializeAnswerNegotiatesTheLevelAndTheNumericFormat) {
  struct Case {
    int32_t clientLevel;
    const char* answer;  // NULL: no user data
    uint32_t level;
    uint32_t format;
  };
  const Case cases[] = {
      {1, "KVO_RDA_SERVER,65,0,0,V1", 1, 1}, {1, "KVO_RDA_SERVER,1,0,0,V1", 1, 0},
      {1, "KVO_RDA_SERVER,3,0,0,V1", 0, 0},  {1, "KVO_RDA_SERVER,64,0,0,V1", 0, 1},
      {1, nullptr, 0, 1},                    {1, "KVO_RDA_SERVER", 0, 1},
      {1, "KVO_RDA_SERVER,", 0, 1},          {1, "KVO_RDA_SERVE,65,0,0,V1", 0, 1},
      {73, "KVO_RDA_SERVER,65", 1, 1},       {72, "KVO_RDA_SERVER,1,0,0,V1", 0, 1},
      {3, "KVO_RDA_SERVER,2,0,0,V1", 2, 0},
  };
  for (const Case& c : cases) {
    giRdaStmtOptimizeLevel = c.clientLevel;
    conn.state = RDA_CLI_ST_ASSOCIATED;
    conn.optLevel = 9;
    conn.numericFormat = 9;
    void* body = nullptr;
    GIDU* g = confirm(RDA_INIT_CNF, 1, &body);
    auto* r = static_cast<RDAInit_Result*>(body);
    if (c.answer != nullptr) {
      r->mask |= 1u << 2;
      r->sql.mask = 1;
      r->sql.userData = OctStgV{static_cast<uint32_t>(std::strlen(c.answer)),
                                reinterpret_cast<uint8_t*>(const_cast<char*>(c.answer))};
    }
    cliRcv(g);
    const std::string what = c.answer != nullptr ? c.answer : "none";
    EXPECT_EQ(conn.state, RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE) << what;
    EXPECT_EQ(conn.optLevel, c.level) << what;
    EXPECT_EQ(conn.numericFormat, c.format) << what;
  }
}

TEST_F(ClientConfirms, TransactionConfirmsCloseTheTransactionAndBeginTheNext) {
  // A commit the server turned into a rollback.
  conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE | RDA_CLI_ST_TRANSACTION;
  const uint32_t op = gdwRDAOpID;
  void* body = nullptr;
  GIDU* g = confirm(RDA_COMMIT_CNF, 1, &body);
  auto* r = static_cast<RDAXOPENCommit_Result*>(body);
  r->value = 7;
  r->mask = 1;
  r->text = const_cast<char*>("deadlock, rolled back");
  cliRcv(g);
  ASSERT_EQ(conn.errors.count, 1u);
  EXPECT_EQ(lastDiag(conn.errors).state, "40000");
  EXPECT_EQ(lastDiag(conn.errors).native, 7);
  EXPECT_EQ(lastDiag(conn.errors).message, "Transaction rollback - deadlock, rolled back");
  EXPECT_EQ(gdwRDAOpID, op + 1) << "the next R-BeginTransaction was built";
  EXPECT_EQ(conn.state & RDA_CLI_ST_TRANSACTION, RDA_CLI_ST_TRANSACTION) << "and is the open transaction";
  EXPECT_EQ(conn.state & RDA_CLI_ST_ROLLED_BACK, RDA_CLI_ST_ROLLED_BACK) << "marked as rolled back";

  // A plain commit: no diagnostic.
  RDA_cliClearErrorList(&conn.errors);
  g = confirm(RDA_COMMIT_CNF, 1, &body);
  cliRcv(g);
  EXPECT_EQ(conn.errors.count, 0u);
  EXPECT_EQ(gdwRDAOpID, op + 2);

  // A rollback outside a disconnect begins the next transaction, one during
  // a disconnect does not.
  conn.state &= ~RDA_CLI_ST_ROLLED_BACK;
  cliRcv(confirm(RDA_ROLLBACK_CNF, 1, nullptr));
  EXPECT_EQ(conn.state & RDA_CLI_ST_ROLLED_BACK, RDA_CLI_ST_ROLLED_BACK);
  EXPECT_EQ(gdwRDAOpID, op + 3);
  conn.state |= RDA_CLI_ST_DISCONNECTING;
  cliRcv(confirm(RDA_ROLLBACK_CNF, 1, nullptr));
  EXPECT_EQ(gdwRDAOpID, op + 3) << "nothing begun";
  EXPECT_EQ(conn.state & RDA_CLI_ST_TRANSACTION, 0u);

  // The error of R-BeginTransaction closes the transaction it tried.
  conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_TRANSACTION;
  g = confirm(RDA_BGNTRANS_ECNF, 1, &body);
  static_cast<RDAErr*>(body)->code = RDA_ERR_BASE + 15;
  cliRcv(g);
  EXPECT_EQ(conn.state & RDA_CLI_ST_TRANSACTION, 0u);
  EXPECT_EQ(conn.errors.count, 1u);

  // Open, close and terminate move their bits.
  conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE;
  cliRcv(confirm(RDA_OPEN_CNF, 1, nullptr));
  EXPECT_EQ(conn.state & RDA_CLI_ST_RESOURCE_OPEN, RDA_CLI_ST_RESOURCE_OPEN);
  cliRcv(confirm(RDA_CLOSE_CNF, 1, nullptr));
  EXPECT_EQ(conn.state & RDA_CLI_ST_RESOURCE_OPEN, 0u);
  cliRcv(confirm(RDA_TERM_CNF, 1, nullptr));
  EXPECT_EQ(conn.state, RDA_CLI_ST_ASSOCIATED);
}

// The exception part of one result element, built by hand.
struct Exceptions {
  RDAXOPENSQLDBLExcp main{};
  std::vector<RDAExcpNode> nodes;
  RDAXOPENResultVals row{};

  Exceptions(const char* state, const std::vector<std::pair<const char*, const char*>>& more, int32_t count = -1)
      : nodes(more.size()) {
    if (state != nullptr) {
      main.mask = 1;
      main.sqlState = const_cast<char*>(state);
    }
    UL_Ring& list = main.diag.exceptions;
    list.links.next = list.links.prev = &list.links;
    for (size_t i = 0; i < more.size(); ++i) {
      RDAXOPENExcpInfo& x = nodes[i].info;
      x.returnedSQLState = const_cast<char*>(more[i].first);
      if (more[i].second != nullptr) {
        x.mask |= 1u << 3;
        x.messageText = const_cast<char*>(more[i].second);
      }
      nodes[i].links.next = &list.links;
      nodes[i].links.prev = list.links.prev;
      list.links.prev->next = &nodes[i].links;
      list.links.prev = &nodes[i].links;
      ++list.count;
    }
    if (!more.empty() || count >= 0) main.mask |= 8;
    if (count >= 0) {
      main.diag.mask |= 1;
      main.diag.number = count;
    }
    row.exception = &main;
  }
};

TEST_F(ClientConfirms, ExceptionsBecomeTheStatementsDiagnosticsAndRowCount) {
  Exceptions none(nullptr, {});
  EXPECT_EQ(copyDBLExcp(&none.row, &stmt), 1);
  EXPECT_EQ(stmt.resultKind, RDA_CLI_RESULT_ROWCOUNT);
  EXPECT_EQ(stmt.rowCount, 1u);
  EXPECT_EQ(stmt.errors.count, 0u);

  Exceptions counted("00000", {{"00000", nullptr}}, 42);
  EXPECT_EQ(copyDBLExcp(&counted.row, &stmt), 1);
  EXPECT_EQ(stmt.rowCount, 42u);
  EXPECT_EQ(stmt.errors.count, 0u) << "00000 is no diagnostic";

  Exceptions failed("23000", {{"44000", "with check option VIOLATION"}, {"01004", "cut"}, {"22001", nullptr}});
  failed.main.mask |= 2 | 4;
  failed.main.code = 19;
  failed.main.errText = const_cast<char*>("UNIQUE constraint failed");
  stmt.rowCount = 0;
  EXPECT_EQ(copyDBLExcp(&failed.row, &stmt), 1);
  const std::vector<CliDiag> d = cliDiags(stmt.errors);
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].state, "23000");
  EXPECT_EQ(d[0].native, 19);
  EXPECT_EQ(d[0].message, "UNIQUE constraint failed");
  EXPECT_EQ(d[1].state, "42000");
  EXPECT_EQ(d[1].message, "Syntax error or access violation. Client is not compatible with Server");
  EXPECT_EQ(d[2].state, "01004");
  EXPECT_EQ(d[2].message, "cut");
  EXPECT_EQ(d[3].state, "22001");
  EXPECT_EQ(d[3].message, "");
  EXPECT_EQ(stmt.rowCount, 0u) << "a failed statement counts no row";

  RDA_cliClearErrorList(&stmt.errors);
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  Exceptions malformed(nullptr, {{"01004", "first"}, {"4400", "short"}, {"01004", "never read"}});
  EXPECT_EQ(copyDBLExcp(&malformed.row, &stmt), 0);
  const std::vector<CliDiag> m = cliDiags(stmt.errors);
  ASSERT_EQ(m.size(), 2u) << "the walk stops at the bad one";
  EXPECT_EQ(m[1].native, RDA_CLI_ERR_BAD_SQLSTATE);
  EXPECT_TRUE(trace.contains("*** copyDBLExcp: length of returnedSQLState is not 5"));
}

TEST_F(ClientConfirms, ExecuteResultReachesItsStatementOnly) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  Exceptions e("00000", {{"01000", "warned"}}, 3);
  RDAXOPENResultNode node{};
  node.row = e.row;
  void* body = nullptr;
  GIDU* g = confirm(RDA_EXECDBL_CNF, 6, &body);
  cliRcv(g);
  EXPECT_TRUE(trace.contains("*** procExecDBLCnf: there is no outstanding request for the R-ExecuteDBL confirm"));
  EXPECT_EQ(stmt.state, 0u);

  g = confirm(RDA_EXECDBL_CNF, 5, &body);
  auto* r = static_cast<RDAExecDBL_Result*>(body);
  r->mask = 2;
  r->rows.links.next = r->rows.links.prev = &node.links;
  node.links.next = node.links.prev = &r->rows.links;
  r->rows.count = 1;
  cliRcv(g);
  EXPECT_EQ(stmt.state & RDA_CLI_STMT_CONFIRMED, RDA_CLI_STMT_CONFIRMED);
  EXPECT_EQ(stmt.rowCount, 3u);
  EXPECT_EQ(lastDiag(stmt.errors).state, "01000");
}

}  // namespace
