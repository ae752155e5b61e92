// The client's receive entry: what it keeps in the environment and the
// connection, which queue the waiter finds each GIDU on, and the texts of
// the invalid-sequence states.
#include <gtest/gtest.h>

#include <cstring>

#include "src/acse/acse_apdu.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_event.h"
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
  }
  void TearDown() override {
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
  struct Case {
    const char* what;
    uint32_t result, source, diagnostic;
    uint32_t state, diags;
    const char* sqlState;
    int32_t native;
  };
  const Case cases[] = {
      {"accepted", AC_RESULT_ACCEPTED, AC_SOURCE_USER, 0, RDA_CLI_ST_ASSOCIATED, 0, "", 0},
      {"refused by the user, no reason", AC_RESULT_REJECTED_PERMANENT, AC_SOURCE_USER, 1, 0, 1, "HZ500", 1},
      {"refused by the provider", AC_RESULT_REJECTED_TRANSIENT, AC_SOURCE_PROVIDER, 2, 0, 1, "S1900", 2},
      {"refused, no source", AC_RESULT_REJECTED_PERMANENT, 0, 5, 0, 1, "S1900", 0},
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
    EXPECT_EQ(conn.errors.count, c.diags) << c.what;
    EXPECT_EQ(lastDiag(conn.errors).state, c.sqlState) << c.what;
    EXPECT_EQ(lastDiag(conn.errors).native, c.native) << c.what;
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

TEST_F(ClientReceive, RdaErrorConfirmIsCountedWithItsNumber) {
  GIDU* req = rda_createGiduWithRdaIdu(conn.tmpl, RDA_INIT_REQ, 1, nullptr);
  ASSERT_NE(req, nullptr);
  GIDU* err = rda_createGenErrIdu(req, 5, nullptr);
  ASSERT_NE(err, nullptr);
  const uint32_t number = rda_getSQLErr(err);
  ASSERT_NE(number, 0u);
  cliRcv(err);
  EXPECT_EQ(conn.errors.count, 1u);
  EXPECT_EQ(lastDiag(conn.errors).native, static_cast<int32_t>(number));
  EXPECT_EQ(count(conn.tmpl), 1u);

  // Without a connection an RDA event goes to the environment's queue.
  GIDU* lost = rda_createGiduWithRdaIdu(conn.tmpl, RDA_INIT_CNF, 1, nullptr);
  lost->uc = nullptr;
  cliRcv(lost);
  EXPECT_EQ(count(&env.tmpl), 1u);
  EXPECT_EQ(conn.errors.count, 1u);
}

TEST(ClientInvalidSequence, StateNamesItsTextAndOutOfRangeNamesNone) {
  EXPECT_STREQ(rda_cliInvSeqText(1), "RDA dialogue not active");
  EXPECT_STREQ(rda_cliInvSeqText(4), "RDA transaction not open");
  EXPECT_STREQ(rda_cliInvSeqText(7), "RDA dialogue terminating");
  for (uint32_t bad : {0u, 8u, 0xFFFFFFFFu}) EXPECT_EQ(rda_cliInvSeqText(bad), nullptr) << bad;
}

}  // namespace
