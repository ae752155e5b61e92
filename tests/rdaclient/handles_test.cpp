// The client's blocks: allocation and release of environments,
// connections and statements, the checks on their handles, operation ids,
// and the connection and statement options.
#include "src/rdaclient/rdacli_handles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_options.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/session/tp0tcp.h"
#include "support/cli_diag.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/xm_count.h"

namespace {

const std::string kSequence = "CLI error: Function sequence error - ";

class ClientHandles : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
    StackConfig c;
    c.serverPort = 7000;
    const std::string ini = writeStackConfig(sandbox_.dir(), c);
    std::ofstream(sandbox_.dir() / "schema" / "qvdrd.ini", std::ios::app) << "[user3]\nPORT=7003\nADDRESS=127.0.0.1\n";
    setenv("MIRODEL_INI", ini.c_str(), 1);
  }
  void TearDown() override {
    for (RDA_CliHENV* e : envs_) {
      if (RDA_cliIsLiveBlock(e, RDA_CLI_TAG_HENV)) {
        EXPECT_EQ(rda_cliFreeEnv(e), 0);
      }
    }
    EXPECT_EQ(henvList, nullptr) << "the last environment stopped the stack";
    giQuietMode = savedQuiet_;
    ASSERT_NE(xm_init(), nullptr);
    XmCountTest::TearDown();
  }
  RDA_CliHENV* env() {
    RDA_CliHENV* e = nullptr;
    EXPECT_EQ(rda_cliAllocEnv(&e), 0);
    if (e != nullptr) envs_.push_back(e);
    return e;
  }
  RDA_CliHDBC* conn(RDA_CliHENV* e) {
    RDA_CliHDBC* c = nullptr;
    EXPECT_EQ(rda_cliAllocConnect(e, &c), 0);
    return c;
  }
  // A statement of `c`, made while the connection counts as associated.
  RDA_CliHSTMT* stmt(RDA_CliHDBC* c) {
    const uint32_t state = c->state;
    c->state = RDA_CLI_ST_ASSOCIATED;
    RDA_CliHSTMT* s = nullptr;
    EXPECT_EQ(rda_cliAllocStmt(c, &s), 0);
    c->state = state;
    return s;
  }

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID", "DEFAULT_TRACE_OUTPUT"};
  std::vector<RDA_CliHENV*> envs_;
  int32_t savedQuiet_ = 0;
};

TEST_F(ClientHandles, EnvironmentsActivateTakeTheirUserAndStopTheStackWithTheLast) {
  RDA_CliHENV* first = env();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(henvList, nullptr);
  EXPECT_EQ(first->flags & RDA_CLI_ENV_ACTIVATED, RDA_CLI_ENV_ACTIVATED);
  EXPECT_NE(first->tmpl.pe, nullptr) << "the UCB";
  EXPECT_EQ(first->fetchSize, 100u);
  EXPECT_STREQ(first->user, "qvclient");
  // The second calls from "qvclient" too, the third from a user made up for
  // it (with an entry in the resource file). Every user's entry gives the
  // same entity identity here, and the entity refuses a second invocation
  // of one: the environments stay, not activated.
  std::vector<RDA_CliHENV*> later;
  for (const char* user : {"qvclient", "user3"}) {
    RDA_CliHENV* e = nullptr;
    EXPECT_EQ(rda_cliAllocEnv(&e), -1) << user;
    ASSERT_NE(e, nullptr) << user;
    envs_.push_back(e);
    later.push_back(e);
    EXPECT_STREQ(e->user, user);
    EXPECT_EQ(e->flags & RDA_CLI_ENV_ACTIVATED, 0u) << user;
    EXPECT_EQ(lastDiag(e->errors).message, "RDA_AE_ERR_AE_ID_INUSE") << user;
  }
  RDA_CliHENV* second = later[0];
  RDA_CliHENV* third = later[1];
  EXPECT_EQ(henvList->count, 3u);
  for (RDA_CliHENV* e : {third, second, first}) EXPECT_EQ(rda_cliFreeEnv(e), 0);
  EXPECT_EQ(henvList, nullptr);
  EXPECT_EQ(QvGetRdaCliConfInfo(), nullptr) << "the stack stopped with the last";
  EXPECT_EQ(rda_cliFreeEnv(first), -2) << "a freed environment";
  ASSERT_NE(xm_init(), nullptr);

  RDA_CliHENV* again = env();
  ASSERT_NE(again, nullptr) << "the next allocation starts the stack again";
  EXPECT_EQ(again->flags & RDA_CLI_ENV_ACTIVATED, RDA_CLI_ENV_ACTIVATED);
  EXPECT_STREQ(again->user, "qvclient");
}

TEST_F(ClientHandles, ReleaseIsRefusedWhileBlocksRemain) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* c = conn(e);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(rda_cliFreeEnv(e), -1);
  EXPECT_EQ(lastDiag(e->errors).state, "S1010");
  EXPECT_EQ(lastDiag(e->errors).message, kSequence + "1 connection handles still exist under this environment handle");

  RDA_CliHSTMT* s = nullptr;
  EXPECT_EQ(rda_cliAllocStmt(c, &s), -1);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(lastDiag(c->errors).state, "08003") << "not associated";

  s = stmt(c);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(rda_cliFreeConnect(c), -1);
  EXPECT_EQ(lastDiag(c->errors).message, kSequence + " 1 statement handles still exist under this connection handle");
  c->state = RDA_CLI_ST_ASSOCIATED;
  EXPECT_EQ(rda_cliFreeConnect(c), -1);
  EXPECT_EQ(lastDiag(c->errors).state, "S1010");
  EXPECT_EQ(lastDiag(c->errors).message, kSequence + "Connection has not been released");
  c->state = 0;
  EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
  EXPECT_EQ(rda_cliFreeStmt(s, 1), -2) << "dropped";
  EXPECT_EQ(c->stmts.count, 0u);
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
  EXPECT_EQ(e->conns.count, 0u);
  EXPECT_EQ(rda_cliFreeConnect(c), -2) << "a freed connection";
}

TEST_F(ClientHandles, BadHandlesAreRefusedEverywhere) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* c = conn(e);
  RDA_CliHSTMT* s = stmt(c);
  auto* envAsConn = reinterpret_cast<RDA_CliHDBC*>(e);
  auto* connAsEnv = reinterpret_cast<RDA_CliHENV*>(c);
  auto* connAsStmt = reinterpret_cast<RDA_CliHSTMT*>(c);
  RDA_CliHDBC* none = nullptr;
  RDA_CliHDBC* out = reinterpret_cast<RDA_CliHDBC*>(1);
  RDA_CliHSTMT* outStmt = reinterpret_cast<RDA_CliHSTMT*>(1);
  const std::function<int32_t()> calls[] = {
      [&] { return rda_cliFreeEnv(nullptr); },
      [&] { return rda_cliFreeEnv(connAsEnv); },
      [&] { return rda_cliAllocConnect(connAsEnv, &out); },
      [&] { return rda_cliFreeConnect(none); },
      [&] { return rda_cliFreeConnect(envAsConn); },
      [&] { return rda_cliAllocStmt(envAsConn, &outStmt); },
      [&] { return rda_cliFreeStmt(connAsStmt, 0); },
      [&] { return rda_cliFreeStmt(nullptr, 1); },
      [&] { return rda_cliConnect(envAsConn, "rdatest", -3, "u", -3, "p", -3, nullptr); },
      [&] { return rda_cliDisconnect(nullptr); },
      [&] { return rda_cliSetStmtOption(connAsStmt, 0, 1); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), -2) << i;
  EXPECT_EQ(out, nullptr) << "the out handle is cleared";
  EXPECT_EQ(outStmt, nullptr);
  EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
  EXPECT_EQ(rda_cliFreeStmt(s, 0), -2) << "a freed statement";
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
}

TEST_F(ClientHandles, OperationIdsCountUpWithinAConnectionAndConnectionsStartAThousandApart) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* a = conn(e);
  RDA_CliHDBC* b = conn(e);
  EXPECT_EQ(b->opId - a->opId, 1000u);
  RDA_CliHSTMT* s1 = stmt(a);
  RDA_CliHSTMT* s2 = stmt(a);
  RDA_CliHSTMT* s3 = stmt(b);
  EXPECT_EQ(s1->opId, a->opId - 1);
  EXPECT_EQ(s2->opId, s1->opId + 1);
  EXPECT_EQ(s3->opId, s1->opId + 1000);
  EXPECT_EQ(RDA_cliGetStmtHndl(a, s2->opId), s2);
  EXPECT_EQ(RDA_cliGetStmtHndl(a, s3->opId), nullptr);
  for (RDA_CliHSTMT* s : {s1, s2, s3}) EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
  EXPECT_EQ(rda_cliFreeConnect(a), 0);
  EXPECT_EQ(rda_cliFreeConnect(b), 0);
}

TEST_F(ClientHandles, NewBlocksTakeTheirDefaults) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* c = conn(e);
  EXPECT_EQ(c->env, e);
  EXPECT_EQ(c->fetchSize, 100u);
  EXPECT_EQ(c->decimalPoint, '.');
  EXPECT_EQ(c->maxRowsSupport, 1u);
  EXPECT_EQ(c->stmtOptionsSupport, 3u);
  EXPECT_EQ(c->alwaysUseCursor, 1u);
  EXPECT_EQ(c->mapDefaultWcharAsChar, 0u);
  ASSERT_NE(c->tmpl, nullptr);
  EXPECT_EQ(c->tmpl->ue, e);
  EXPECT_EQ(c->tmpl->uc, c);
  EXPECT_EQ(c->tmpl->pe, e->tmpl.pe);
  EXPECT_EQ(c->tmpl->pc, nullptr);
  EXPECT_EQ(rda_cliSetConnectOption(c, 0, 30), 0);
  EXPECT_EQ(rda_cliSetConnectOption(c, 1, 500), 0);
  RDA_CliHSTMT* s = stmt(c);
  EXPECT_EQ(s->conn, c);
  EXPECT_EQ(s->fetchState, 1u);
  EXPECT_EQ(s->fetchSize, 100u);
  EXPECT_EQ(s->queryTimeOut, 30u);
  EXPECT_EQ(s->maxRows, 500u);
  EXPECT_EQ(s->optionFlags, RDA_CLI_STMT_OPTIONS_SUPPORT | RDA_CLI_STMT_OPT32);
  EXPECT_EQ(rda_cliSetStmtOptionsSupport(c, 1), 0);
  RDA_CliHSTMT* s2 = stmt(c);
  EXPECT_EQ(s2->optionFlags, RDA_CLI_STMT_OPT32) << "bit 1 from the connection's support word";
  for (RDA_CliHSTMT* x : {s, s2}) EXPECT_EQ(rda_cliFreeStmt(x, 1), 0);
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
}

TEST_F(ClientHandles, FreeStmtOptions) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* c = conn(e);
  RDA_CliHSTMT* s = stmt(c);
  auto addColumn = [&](uint32_t flags) {
    auto* r = static_cast<RDA_CliCol*>(_xm_allocItem(s->tree, sizeof(RDA_CliCol), XM_ZERO));
    r->flags = flags;
    RDA_cliRingAppend(&s->cols, &r->links);
  };
  addColumn(RDA_CLI_COL_BOUND);
  addColumn(RDA_CLI_COL_BOUND);
  auto* p = static_cast<RDA_CliParm*>(_xm_allocItem(s->tree, sizeof(RDA_CliParm), XM_ZERO));
  RDA_cliRingAppend(&s->params, &p->links);
  s->returnValues = 2;
  s->state = RDA_CLI_STMT_CURSOR_OPEN;
  EXPECT_EQ(rda_cliFreeStmt(s, 2), 0);
  ASSERT_EQ(s->cols.count, 2u) << "a cursor is open: the records stay";
  for (RdaCliLink* l = s->cols.head.next; l != &s->cols.head; l = l->next)
    EXPECT_EQ(reinterpret_cast<RDA_CliCol*>(l)->flags & RDA_CLI_COL_BOUND, 0u) << "unbound";
  // A cursor the server has closed itself (its end of data came at a
  // non-zero level): the close sends nothing.
  c->optLevel = 1;
  s->endOfData = 1;
  EXPECT_EQ(rda_cliFreeStmt(s, 0), 0);
  EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, 0u) << "closed";
  EXPECT_EQ(rda_cliFreeStmt(s, 2), 0);
  EXPECT_EQ(s->cols.count, 0u) << "no cursor: the records go";
  EXPECT_EQ(rda_cliFreeStmt(s, 3), 0);
  EXPECT_EQ(s->params.count, 0u);
  EXPECT_EQ(s->returnValues, 0u);
  for (int16_t bad : {int16_t{4}, int16_t{7}, int16_t{-1}}) {
    EXPECT_EQ(rda_cliFreeStmt(s, bad), -1) << bad;
    EXPECT_EQ(lastDiag(s->errors).state, "S1009");
    EXPECT_EQ(lastDiag(s->errors).message,
              "CLI error: Invalid argument value - SQLFreeStmt fOption " + std::to_string(bad) + " is invalid");
  }
  EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
}

TEST_F(ClientHandles, ConnectionOptions) {
  RDA_CliHENV* e = env();
  RDA_CliHDBC* c = conn(e);
  struct Setter {
    const char* what;
    std::function<int32_t(uint32_t)> set;
    std::function<uint32_t()> field;
  };
  const Setter setters[] = {
      {"decimal point", [&](uint32_t v) { return rda_cliSetDecimalPointOption(c, static_cast<char>(v)); },
       [&] { return static_cast<uint32_t>(c->decimalPoint); }},
      {"max rows support", [&](uint32_t v) { return rda_cliSetMaxRowsOption(c, v); }, [&] { return c->maxRowsSupport; }},
      {"statement options", [&](uint32_t v) { return rda_cliSetStmtOptionsSupport(c, v); },
       [&] { return c->stmtOptionsSupport; }},
      {"always a cursor", [&](uint32_t v) { return rda_cliSetConnOptionAlwaysUseCursor(c, v); },
       [&] { return c->alwaysUseCursor; }},
      {"product type", [&](uint32_t v) { return rda_cliSetProductType(c, v); }, [&] { return c->productType; }},
      {"wide as narrow", [&](uint32_t v) { return rda_cliSetMapDefaultWcharAsChar(c, v); },
       [&] { return c->mapDefaultWcharAsChar; }},
      {"option 0", [&](uint32_t v) { return rda_cliSetConnectOption(c, 0, v); }, [&] { return c->queryTimeOut; }},
      {"option 1", [&](uint32_t v) { return rda_cliSetConnectOption(c, 1, v); }, [&] { return c->maxRows; }},
      {"option 1000", [&](uint32_t v) { return rda_cliSetConnectOption(c, 1000, v); }, [&] { return c->option1000; }},
  };
  for (const Setter& s : setters) {
    EXPECT_EQ(s.set(44), 0) << s.what;
    EXPECT_EQ(s.field(), 44u) << s.what;
  }
  EXPECT_EQ(rda_cliSetConnectOption(c, 102, 5), 0);
  EXPECT_EQ(c->optionFlags, RDA_CLI_CONN_AUTOCOMMIT);
  EXPECT_EQ(rda_cliSetConnectOption(c, 1001, 2), 0);
  EXPECT_EQ(c->optionFlags, RDA_CLI_CONN_AUTOCOMMIT) << "1001 takes exactly 1";
  EXPECT_EQ(rda_cliSetConnectOption(c, 1001, 1), 0);
  EXPECT_EQ(c->optionFlags, RDA_CLI_CONN_AUTOCOMMIT | RDA_CLI_CONN_OPT1001);
  EXPECT_EQ(rda_cliSetConnectOption(c, 102, 0), 0);
  EXPECT_EQ(c->optionFlags, RDA_CLI_CONN_OPT1001);
  EXPECT_EQ(rda_cliSetConnectOption(c, 77, 1), 0) << "other options are ignored";
  uint32_t v = 9;
  EXPECT_EQ(rda_cliGetConnectOption(c, 0, &v), 0);
  EXPECT_EQ(v, 44u);
  EXPECT_EQ(rda_cliGetConnectOption(c, 1, &v), 0);
  EXPECT_EQ(v, 44u);
  EXPECT_EQ(rda_cliGetConnectOption(c, 1002, &v), 0);
  EXPECT_EQ(v, 0u) << "not associated";
  v = 9;
  EXPECT_EQ(rda_cliGetConnectOption(c, 77, &v), 0);
  EXPECT_EQ(v, 9u);
  EXPECT_EQ(rda_cliGetConnectOption(c, 0, nullptr), 0);
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
  EXPECT_EQ(rda_cliSetProductType(c, 5), 0) << "a freed connection is left alone";
}

}  // namespace
