// The client's receive entry: what it keeps in the environment and the
// connection, which queue the waiter finds each GIDU on, and the texts of
// the invalid-sequence states.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "src/acse/acse_apdu.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_confirm.h"
#include "src/rdaclient/rdacli_handles.h"
#include "support/cli_diag.h"
#include "support/xm_count.h"

namespace {

void* ref(uintptr_t v) { return reinterpret_cast<void*>(v); }

class ClientReceive : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    env.tag = RDA_CLI_TAG_HENV;
    al_selfLink(&env.tmpl);
    env.tmpl.ue = &env;
    conn.tag = RDA_CLI_TAG_HDBC;
    conn.env = &env;
    conn.tmpl = rda_createTemplateGidu(&env, &conn, ref(0x50), nullptr);
    ASSERT_NE(conn.tmpl, nullptr);
    RDA_cliInitErrorList(&env.errors);
    RDA_cliInitErrorList(&conn.errors);
    RDA_cliRingInit(&conn.stmts);
    ASSERT_EQ(RDA_cliLinkBlock(&env), 1);
    ASSERT_EQ(RDA_cliLinkBlock(&conn), 1);
  }
  void TearDown() override {
    RDA_cliUnlinkBlock(&env);
    RDA_cliUnlinkBlock(&conn);
    RDA_cliClearErrorList(&env.errors);
    RDA_cliClearErrorList(&conn.errors);
    RDA_cliPurgeEventQueue(&env.tmpl);
    if (conn.tmpl != nullptr) {
      RDA_cliPurgeEventQueue(conn.tmpl);
      al_deleteGidu(conn.tmpl);
    }
    XmCountTest::TearDown();
  }

  // A local event for the environment (and the connection when asked).
  GIDU* local(uint32_t event, uint32_t errNo, bool withConn = false) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_RDA, event);
    g->ue = &env;
    g->pe = ref(0x50);
    if (withConn) g->uc = &conn;
    g->errNo = errNo;
    return g;
  }
  // An ACSE event delivered to the connection, its APDU made by the
  // builder of the sending side's event.
  GIDU* acse(uint32_t builtAs, uint32_t event, AcseApdu** apdu) {
    void* body = nullptr;
    GIDU* g = rda_createGiduWithApdu(conn.tmpl, builtAs, &body);
    EXPECT_NE(g, nullptr);
    g->event = event;
    g->pc = ref(0x60);
    *apdu = static_cast<AcseApdu*>(g->idu);
    return g;
  }
  static size_t count(const GIDU* queue) {
    size_t n = 0;
    for (const GIDU* g = queue->next; g != queue; g = g->next) ++n;
    return n;
  }

  RDA_CliHENV env{};
  RDA_CliHDBC conn{};
};

TEST_F(ClientReceive, ActivationIsKeptInTheEnvironmentAndItsFailuresCounted) {
  cliRcv(local(AL_ACT_CNF, 0));
  EXPECT_EQ(env.flags & RDA_CLI_ENV_ACTIVATED, RDA_CLI_ENV_ACTIVATED);
  EXPECT_EQ(env.tmpl.pe, ref(0x50)) << "the UCB for later requests";
  EXPECT_EQ(count(&env.tmpl), 1u) << "no connection: the environment's queue";
  EXPECT_EQ(env.errors.count, 0u);

  cliRcv(local(AL_DEACT_CNF, 0));
  EXPECT_EQ(env.flags & RDA_CLI_ENV_ACTIVATED, 0u);
  EXPECT_EQ(env.tmpl.pe, nullptr);
  EXPECT_EQ(count(&env.tmpl), 1u) << "the later GIDU replaced the earlier";
  EXPECT_EQ(env.tmpl.next->event, uint32_t{AL_DEACT_CNF});

  cliRcv(local(AL_ACT_CNF, 52556));
  EXPECT_EQ(env.flags & RDA_CLI_ENV_ACTIVATED, 0u);
  EXPECT_EQ(env.errors.count, 2u) << "a stack error gives two diagnostics";
  const std::vector<CliDiag> d = cliDiags(env.errors);
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].state, "S1901") << "the first without a text";
  EXPECT_EQ(d[0].native, 52556);
  EXPECT_EQ(d[1].state, "S404c") << "the second with the error's name: class 0xCD";
  EXPECT_EQ(d[1].native, 52556);
  EXPECT_FALSE(d[1].message.empty());
}

TEST_F(ClientReceive, LocalErrorsGoToTheConnectionWhenThereIsOne) {
  cliRcv(local(AL_LOCERR_IND, 0, true));
  EXPECT_EQ(conn.errors.count, 0u) << "status 0 is no error";
  EXPECT_EQ(count(conn.tmpl), 1u);
  cliRcv(local(AL_LOCERR_IND, 52540, true));
  EXPECT_EQ(conn.errors.count, 2u);
  EXPECT_EQ(lastDiag(conn.errors).native, 52540);
  cliRcv(local(AL_LOCERR_IND, 52539));
  EXPECT_EQ(env.errors.count, 2u);
  EXPECT_EQ(lastDiag(env.errors).native, 52539);
}

TEST_F(ClientReceive, GiduWithoutAValidEnvironmentIsDeleted) {
  for (void* bad : {static_cast<void*>(nullptr), static_cast<void*>(&conn)}) {
    GIDU* g = local(AL_ACT_CNF, 0);
    g->ue = bad;
    cliRcv(g);  // XmCountTest finds a leak at the end
    EXPECT_EQ(env.flags, 0u);
    EXPECT_EQ(count(&env.tmpl), 0u);
  }
}

TEST_F(ClientReceive, AssociationConfirmsSetAndClearTheConnectionState) {
  const std::string refused = "Server is down or running on a different port or Incorrect IP Address";
  struct Case {
    const char* what;
    uint32_t result, source, diagnostic;
    uint32_t state;
    std::vector<std::pair<std::string, std::string>> diags;  // SQLSTATE, message
  };
  const Case cases[] = {
      {"accepted", AC_RESULT_ACCEPTED, AC_SOURCE_USER, 0, RDA_CLI_ST_ASSOCIATED, {}},
      {"refused by the user, no reason", AC_RESULT_REJECTED_PERMANENT, AC_SOURCE_USER, 1, 0,
       {{"HZ500", "RDA error: Connection establishment error - " + refused}}},
      {"refused by the provider", AC_RESULT_REJECTED_TRANSIENT, AC_SOURCE_PROVIDER, 2, 0,
       {{"S2002", refused},
        {"S2002", "Application context name that the client supplied is not compatible with the server"}}},
      {"refused, no source", AC_RESULT_REJECTED_PERMANENT, 0, 5, 0,
       {{"S2000", refused}, {"S2000", "Association request was accepted"}}},
      {"diagnostic without a name", AC_RESULT_REJECTED_PERMANENT, AC_SOURCE_USER, 15, 0, {{"S200f", refused}}},
  };
  for (const Case& c : cases) {
    conn.state = 0;
    RDA_cliClearErrorList(&conn.errors);
    conn.tmpl->pc = nullptr;
    AcseApdu* apdu = nullptr;
    GIDU* g = acse(AL_A_ASSOC_RSP, AL_A_ASSOC_CNF, &apdu);
    apdu->aare.result = c.result;
    apdu->aare.resultSource = c.source;
    apdu->aare.diagnostic = c.diagnostic;
    cliRcv(g);
    EXPECT_EQ(conn.state, c.state) << c.what;
    EXPECT_EQ(conn.tmpl->pc, c.state != 0 ? ref(0x60) : nullptr) << c.what;
    const std::vector<CliDiag> d = cliDiags(conn.errors);
    ASSERT_EQ(d.size(), c.diags.size()) << c.what;
    for (size_t i = 0; i < d.size(); ++i) {
      EXPECT_EQ(d[i].state, c.diags[i].first) << c.what << " " << i;
      EXPECT_EQ(d[i].message, c.diags[i].second) << c.what << " " << i;
    }
    EXPECT_EQ(count(conn.tmpl), 1u) << c.what;
  }

  // Release: accepted forgets the association, refused keeps it.
  conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE;
  conn.tmpl->pc = ref(0x60);
  RDA_cliClearErrorList(&conn.errors);
  AcseApdu* apdu = nullptr;
  GIDU* g = acse(AL_A_RELEASE_RSP, AL_A_RELEASE_CNF, &apdu);
  apdu->rlre.releaseResult = 1;
  cliRcv(g);
  EXPECT_EQ(conn.state, RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE);
  EXPECT_EQ(lastDiag(conn.errors).state, "HZ510");
  cliRcv(acse(AL_A_RELEASE_RSP, AL_A_RELEASE_CNF, &apdu));
  EXPECT_EQ(conn.state, 0u);
  EXPECT_EQ(conn.tmpl->pc, nullptr);
  EXPECT_EQ(count(conn.tmpl), 1u);
}

TEST_F(ClientReceive, AbortsEndTheAssociationAndQueueOnTheEnvironment) {
  for (uint32_t event : {uint32_t{AL_QABORT}, AL_A_ABORT_IND, AL_A_PABORT_IND}) {
    conn.state = RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_TRANSACTION;
    conn.tmpl->pc = ref(0x60);
    RDA_cliClearErrorList(&conn.errors);
    GIDU* g = nullptr;
    if (event == AL_QABORT) {
      g = local(AL_QABORT, 0, true);
    } else {
      AcseApdu* apdu = nullptr;
      g = acse(AL_A_ABORT_REQ, event, &apdu);
    }
    cliRcv(g);
    EXPECT_EQ(conn.state, 0u) << event;
    EXPECT_EQ(conn.tmpl->pc, nullptr) << event;
    EXPECT_EQ(conn.errors.count, 1u) << event;
    EXPECT_EQ(lastDiag(conn.errors).state, "HZ520") << event;
    EXPECT_EQ(count(conn.tmpl), 0u) << event;
    ASSERT_EQ(count(&env.tmpl), 1u) << event;
    EXPECT_EQ(env.tmpl.next, g);
  }
}

// The value of the error record that names RDA error number `n`.
uint32_t valueOf(uint32_t n) {
  for (uint32_t v = RDA_ERR_BASE; v < RDA_ERR_BASE + 34; ++v)
    if (rda_sqlErrOfValue(v) == n) return v;
  return 0;
}

TEST_F(ClientReceive, EachConfirmGoesToTheHandlerOfItsSlot) {
  struct Case {
    uint32_t event;
    uint32_t slot;
    RdaConfirmFn handler;
  };
  const Case cases[] = {
      {RDA_INIT_CNF, 0, procInitCnf},        {RDA_INIT_ECNF, 1, procEcnf},
      {RDA_TERM_CNF, 3, procTermCnf},        {RDA_TERM_ECNF, 4, procEcnf},
      {RDA_BGNTRANS_ECNF, 6, procBgnTransEcnf}, {RDA_COMMIT_CNF, 7, procCommitCnf},
      {RDA_COMMIT_ECNF, 8, procEcnf},        {RDA_ROLLBACK_CNF, 9, procRollbackCnf},
      {RDA_ROLLBACK_ECNF, 10, nullptr},      {RDA_OPEN_CNF, 15, procOpenCnf},
      {RDA_OPEN_ECNF, 16, procEcnf},         {RDA_CLOSE_CNF, 17, procCloseCnf},
      {RDA_CLOSE_ECNF, 18, procEcnf},        {RDA_EXECDBL_CNF, 19, procExecDBLCnf},
      {RDA_EXECDBL_ECNF, 20, procEcnf},
  };
  for (const Case& c : cases) {
    GIDU* g = rda_createGiduWithRdaIdu(conn.tmpl, c.event, 1, nullptr);
    ASSERT_NE(g, nullptr) << std::hex << c.event;
    uint32_t slot = 99;
    void* member = nullptr;
    ASSERT_TRUE(rda_cliConfirmSlot(g, &slot, &member)) << std::hex << c.event;
    EXPECT_EQ(slot, c.slot) << std::hex << c.event;
    EXPECT_EQ(rdaConfirm[slot], c.handler) << std::hex << c.event;
    EXPECT_EQ(member, &static_cast<RDAXOPENIdu*>(g->idu)->init_RC);
    al_deleteGidu(g);
  }
  GIDU* request = rda_createGiduWithRdaIdu(conn.tmpl, RDA_INIT_REQ, 1, nullptr);
  uint32_t slot = 0;
  void* member = nullptr;
  EXPECT_FALSE(rda_cliConfirmSlot(request, &slot, &member)) << "a request is no confirm";
  al_deleteGidu(request);
}

TEST_F(ClientReceive, ErrorConfirmsBecomeDiagnosticsOfTheirRows) {
  SrvrInfo server{};
  server.rsrcName = const_cast<char*>("salesdb");
  conn.server = &server;
  const std::string rda = "RDA error: ";
  struct Case {
    uint32_t n;
    const char* state;
    std::string message;
    int32_t native;
  };
  const Case cases[] = {
      {1, "HZ010", rda + "Access control violation", 0},
      {5, "00000", "No error", 0},
      {6, "HZ050", rda + "Resource handle not specified", 0},
      {9, "HZ080", rda + "Resource not available - disk full", 0},
      {10, "HZ090", rda + "Resource already open - data resource 7 is already opened", 0},
      {11, "HZ100", rda + "Resource unknown - Database Name:salesdb is not valid on Server.", 0},
      {17, "HZ160", rda + "Invalid sequence - RDA transaction not open", 0},
      {19, "HZ180", rda + "Operation aborted - disk full", 0},
      {20, "HZ190", rda + "Operation cancelled", 0},
      {22, "HZ200", rda + "Service not negotiated", 0},
      {24, "HZ220", rda + "User authentication failure", 0},
      {100, "HZ330", rda + "SQL access violation", 0},
      {108, "HZ320", rda + "Transaction not open", 0},
      {109, "HZ380", rda + "SQL usage violation", 0},
      {110, "S1901", "Duvik proprietary error: Implementation defined Duvik error", 110},
  };
  for (const Case& c : cases) {
    RDA_cliClearErrorList(&conn.errors);
    void* body = nullptr;
    GIDU* g = rda_createGiduWithRdaIdu(conn.tmpl, RDA_OPEN_ECNF, 1, &body);
    ASSERT_NE(g, nullptr);
    auto* err = static_cast<RDAErr*>(body);
    err->code = valueOf(c.n);
    if (c.n == 9 || c.n == 19) {
      err->diag.mask = 3;
      err->diag.text = const_cast<char*>("disk full");
    } else if (c.n == 10) {
      err->alreadyOpen.handle = 7;
    } else if (c.n == 17) {
      err->invSequence.mask = 1;
      err->invSequence.value = 4;
    }
    ASSERT_EQ(rda_getSQLErr(g), c.n);
    cliRcv(g);
    ASSERT_EQ(conn.errors.count, 1u) << c.n;
    const CliDiag d = lastDiag(conn.errors);
    EXPECT_EQ(d.state, c.state) << c.n;
    EXPECT_EQ(d.message, c.message) << c.n;
    EXPECT_EQ(d.native, c.native) << c.n;
    EXPECT_EQ(count(conn.tmpl), 1u) << c.n;
  }
  // Without their parameter 9 and 17 carry no text.
  RDA_cliClearErrorList(&conn.errors);
  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(conn.tmpl, RDA_OPEN_ECNF, 1, &body);
  static_cast<RDAErr*>(body)->code = valueOf(17);
  cliRcv(g);
  EXPECT_EQ(lastDiag(conn.errors).message, rda + "Invalid sequence");

  // Transaction rolled back: the connection's bit is set.
  RDA_cliClearErrorList(&conn.errors);
  g = rda_createGiduWithRdaIdu(conn.tmpl, RDA_COMMIT_ECNF, 1, &body);
  static_cast<RDAErr*>(body)->code = valueOf(23);
  cliRcv(g);
  EXPECT_EQ(lastDiag(conn.errors).state, "HZ210");
  EXPECT_EQ(conn.state & RDA_CLI_ST_ROLLED_BACK, RDA_CLI_ST_ROLLED_BACK);
  conn.server = nullptr;
}

TEST_F(ClientReceive, ExecuteErrorGoesToItsStatementOrNowhere) {
  RDA_CliHSTMT stmt{};
  stmt.tag = RDA_CLI_TAG_HSTMT;
  stmt.conn = &conn;
  stmt.opId = 5;
  RDA_cliInitErrorList(&stmt.errors);
  RDA_cliRingAppend(&conn.stmts, &stmt.links);
  for (int32_t op : {5, 6}) {
    void* body = nullptr;
    GIDU* g = rda_createGiduWithRdaIdu(conn.tmpl, RDA_EXECDBL_ECNF, op, &body);
    static_cast<RDAErr*>(body)->code = valueOf(101);
    cliRcv(g);
  }
  EXPECT_EQ(stmt.errors.count, 1u) << "op id 5 names the statement";
  EXPECT_EQ(lastDiag(stmt.errors).state, "HZ350");
  EXPECT_EQ(conn.errors.count, 0u) << "op id 6 names none: ignored";
  EXPECT_EQ(count(conn.tmpl), 1u) << "both queued for the waiter, the later kept";
  RDA_cliClearErrorList(&stmt.errors);
  RDA_cliRingRemove(&conn.stmts, &stmt.links);

  // Without a connection an RDA event goes to the environment's queue.
  GIDU* lost = rda_createGiduWithRdaIdu(conn.tmpl, RDA_INIT_CNF, 1, nullptr);
  lost->uc = nullptr;
  cliRcv(lost);
  EXPECT_EQ(count(&env.tmpl), 1u);
  EXPECT_EQ(conn.state, 0u);
}

TEST(ClientInvalidSequence, StateNamesItsTextAndOutOfRangeNamesNone) {
  EXPECT_STREQ(rda_cliInvSeqText(1), "RDA dialogue not active");
  EXPECT_STREQ(rda_cliInvSeqText(4), "RDA transaction not open");
  EXPECT_STREQ(rda_cliInvSeqText(7), "RDA dialogue terminating");
  for (uint32_t bad : {0u, 8u, 0xFFFFFFFFu}) EXPECT_EQ(rda_cliInvSeqText(bad), nullptr) << bad;
}

}  // namespace
