// The whole stack end to end over loopback TCP: a client-role stack on this
// thread and a scripted server user (canned answers, no SQL) in a child
// process. The client activates, associates in "X/OPEN Basic" and runs a
// dialogue with a data resource and two transactions, statements with and
// without parameters and a result of 1000 rows, then releases; a server
// abort reaches the client as an A-ABORT indication, and a server that stops
// answering gives the client its response time-out. A relay between the
// two keeps the octets, which tshark reads down to the ACSE APDUs.
//
// The client side goes through the client's event engine (RDA_cliSendEvent,
// cliRcv and the receive loop): each request is sent without waiting and
// its confirm taken from the connection's queue with ai_do_rcv, as the
// engine's own wait does, so that the test can read what came back; the
// engine's wait deletes the confirm.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/timer2.h"
#include "src/acse/ai_rcv.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/runtime/xm.h"
#include "src/session/sessiontls.h"
#include "support/cli_diag.h"
#include "support/server_user.h"
#include "support/stack.h"
#include "support/tpkt_capture.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kAllUnits = 0xFE;  // every functional unit but the reserved bit
constexpr int32_t kHandle = 1;        // the data resource's handle
constexpr int kRows = 1000;
const char* const kRowsStmt = "SELECT n, text, half FROM t";
const char* const kRefusedStmt = "SELECT * FROM nowhere";

OctStgV octets(const char* s) {
  return OctStgV{static_cast<uint32_t>(std::strlen(s)), reinterpret_cast<uint8_t*>(const_cast<char*>(s))};
}

std::string rowText(int i) { return "row " + std::to_string(i) + " of the result, padded to span buffers"; }

template <typename Node>
Node* first(const RDAList& list) {
  return list.links.next == &list.links ? nullptr : reinterpret_cast<Node*>(list.links.next);
}
template <typename Node>
Node* after(const RDAList& list, const Node* node) {
  return node->links.next == &list.links ? nullptr : reinterpret_cast<Node*>(node->links.next);
}

// ---------------------------------------------------------------------------
// The server.

// 1000 rows of (INTEGER n, VARCHAR text, DOUBLE half), half NULL in every
// seventh row.
GIDU* answerRows(ServerCall& call) {
  XmTree* vt = _xm_allocTree(nullptr);
  void* specs[] = {rda_createXOPENIntegerType(vt, 0, "n", 10, 0),
                   rda_createXOPENVarCharType(vt, 1, "text", nullptr, 80),
                   rda_createXOPENDoublePrecisionType(vt, 1, "half", 15, 0)};
  std::vector<void*> rows(kRows);
  for (int i = 0; i < kRows; ++i) {
    RDASQLValList* l = rda_createSQLValList(vt);
    const std::string text = rowText(i);
    const OctStgV t{static_cast<uint32_t>(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()))};
    rda_addXOPENSQLVal(vt, &l->values, RDA_SQLVAL_INTEGER, nullptr, 0, i, nullptr, nullptr, 0, 0);
    rda_addXOPENSQLVal(vt, &l->values, RDA_SQLVAL_VARCHAR, &t, 0, 0, nullptr, nullptr, 0, 0);
    rda_addXOPENSQLVal(vt, &l->values, RDA_SQLVAL_DOUBLE, nullptr, 0, 0, nullptr, nullptr, i % 7 == 0 ? -1 : 0,
                       i * 0.5);
    rows[i] = rda_createResultVal(vt, nullptr, l);
  }
  GIDU* g = rda_createSQLExecDBLRsp(call.ind, call.opId(), 3, specs, kRows, rows.data(), vt);
  if (g == nullptr) _xm_freeTree(vt);
  return g;
}

// A row of argument values (integers, varchars and NULLs) copied into a
// new value list of `vt`.
RDASQLValList* echoRow(XmTree* vt, const RDAList& values) {
  RDASQLValList* echo = rda_createSQLValList(vt);
  for (auto* n = first<RDAValNode>(values); n != nullptr; n = after(values, n)) {
    const auto* v = static_cast<const RDAXOPENSQLVal*>(n->val);
    if ((v->mask & 1) == 0)
      rda_addXOPENSQLVal(vt, &echo->values, RDA_SQLVAL_INTEGER, nullptr, 0, 0, nullptr, nullptr, -1, 0);
    else if (v->value.code == RDA_SQLVAL_INTEGER)
      rda_addXOPENSQLVal(vt, &echo->values, RDA_SQLVAL_INTEGER, nullptr, 0, v->value.integer, nullptr, nullptr, 0, 0);
    else if (v->value.code == RDA_SQLVAL_VARCHAR)
      rda_addXOPENSQLVal(vt, &echo->values, RDA_SQLVAL_VARCHAR, &v->value.octets, 0, 0, nullptr, nullptr, 0, 0);
  }
  return echo;
}

// The statement's rows of arguments sent back as result rows; with no
// arguments, an empty result; one statement is refused.
GIDU* answerExecute(ServerCall& call) {
  const RDAExecDBL_Req& req = static_cast<const RDAIdu*>(call.ind->idu)->execDBL_RI.req;
  const std::string stmt(reinterpret_cast<const char*>(req.stmt.text.octets), req.stmt.text.length);
  if (stmt == kRowsStmt) return answerRows(call);
  if (stmt == kRefusedStmt) {
    // The error builder turns the indication into the error response.
    GIDU* err = rda_createSQLErrIdu(call.ind, RDA_SQLDBLStmtNotAllowed, nullptr);
    call.taken = err != nullptr;
    return err;
  }
  XmTree* vt = _xm_allocTree(nullptr);
  std::vector<void*> rows;
  if ((req.mask & (1u << 4)) != 0 && req.args.code == RDA_EXEC_SINGLE_ROW) {
    rows.push_back(rda_createResultVal(vt, nullptr, echoRow(vt, req.args.single.values.values)));
  } else if ((req.mask & (1u << 4)) != 0 && req.args.code == RDA_EXEC_MULTI_ROW) {
    const RDAList& list = req.args.multi.rows;
    for (auto* r = first<RDARowNode>(list); r != nullptr; r = after(list, r))
      rows.push_back(rda_createResultVal(vt, nullptr, echoRow(vt, r->row.values)));
  }
  GIDU* g =
      rda_createSQLExecDBLRsp(call.ind, call.opId(), 0, nullptr, static_cast<uint32_t>(rows.size()), rows.data(), vt);
  if (g == nullptr) _xm_freeTree(vt);
  return g;
}

enum class Script { Dialogue, AbortOnInitialize, ExitOnInitialize, SilentOnInitialize, ThreeAssociations };

// What the server saw of the dialogue script, in order.
const std::vector<uint32_t> kDialogueEvents = {
    AL_ACT_CNF,      AL_A_ASSOC_IND,   RDA_INIT_IND,    RDA_OPEN_IND,    RDA_BGNTRANS_IND, RDA_EXECDBL_IND,
    RDA_EXECDBL_IND, RDA_EXECDBL_IND,  RDA_EXECDBL_IND, RDA_EXECDBL_IND, RDA_COMMIT_IND,   RDA_BGNTRANS_IND,
    RDA_EXECDBL_IND, RDA_ROLLBACK_IND, RDA_CLOSE_IND,   RDA_TERM_IND,    AL_A_RELEASE_IND};

// The server of one association: 0 when it went as the script says and the
// transport connection is gone.
int serve(ChildProcess& me, const std::string& ini, Script script) {
  ServerUser server(ini);
  server.on(AL_IDU_RDA, RDA_EXECDBL_IND, answerExecute);
  if (script == Script::AbortOnInitialize)
    server.on(AL_IDU_RDA, RDA_INIT_IND, [](ServerCall& call) { return rda_createAbortReq(call.ind); });
  if (script == Script::ExitOnInitialize)
    server.on(AL_IDU_RDA, RDA_INIT_IND, [](ServerCall&) -> GIDU* {
      std::fflush(nullptr);
      _exit(0);
    });
  if (script == Script::SilentOnInitialize)
    server.on(AL_IDU_RDA, RDA_INIT_IND, [](ServerCall&) -> GIDU* { return nullptr; });
  if (!server.start()) {
    std::fprintf(stderr, "server: %s\n", server.error().c_str());
    return 10;
  }
  me.ready(server.port());
  const uint32_t associations = script == Script::ThreeAssociations ? 3 : 1;
  const bool ended =
      server.runUntil([&] { return server.ended() == associations && getSessionTLS(0)->tp0.activeCount == 0; }, 20s);
  std::vector<uint32_t> events;
  for (const auto& [event, errNo] : server.seen()) {
    events.push_back(event);
    if (errNo != 0) std::fprintf(stderr, "server: event 0x%x error %u\n", event, errNo);
  }
  if (script == Script::Dialogue && events != kDialogueEvents) {
    for (uint32_t e : events) std::fprintf(stderr, "server saw 0x%x\n", e);
    return 11;
  }
  return ended ? 0 : 12;
}

// ---------------------------------------------------------------------------
// The client.

using Owned = std::unique_ptr<GIDU, void (*)(GIDU*)>;

class RdaDialogue : public StackTest {
 protected:
  // The server in its process, a relay in front of it (when `relayed`;
  // the relay carries one connection), and the client's stack activated
  // and associated through it.
  void start(Script script, int responseTimeOut = 30, bool relayed = true) {
    StackConfig config;
    config.serverPort = freeLoopbackPort();
    config.responseTimeOut = responseTimeOut;
    ASSERT_NE(config.serverPort, 0);
    std::string ini = writeStackConfig(sandbox_.dir(), config);
    server_ = std::make_unique<ChildProcess>([ini, script](ChildProcess& me) { return serve(me, ini, script); });
    ASSERT_TRUE(server_->awaitReady(10s, nullptr)) << "server start-up: " << server_->wait(1s);
    if (relayed) {
      // The relay's thread after the fork.
      relay_ = std::make_unique<RecordingRelay>();
      ASSERT_TRUE(relay_->ok());
      relay_->start(config.serverPort);
      config.resourcePort = relay_->port();
      ini = writeStackConfig(sandbox_.dir(), config);
    }
    side_ = std::make_unique<StackSide>(StackSide::Role::Client, ini);
    ASSERT_TRUE(side_->ok()) << side_->error();
    ASSERT_EQ(side_->startRda(), 1) << side_->error();
    client_ = std::make_unique<StackClient>();
    ASSERT_TRUE(client_->activate());
    ASSERT_TRUE(client_->associate()) << lastDiag(client_->conn.errors).state << " " << lastDiag(client_->conn.errors).native;
  }
  void stop() {
    client_.reset();
    side_.reset();
    if (relay_ != nullptr) relay_->finish(1);
    relay_.reset();
    server_.reset();
  }
  void TearDown() override {
    stop();
    StackTest::TearDown();
  }

  // Sends `req` through the event engine and takes what comes back for the
  // connection within `seconds`.
  Owned call(GIDU* req, int32_t seconds = 10) {
    EXPECT_NE(req, nullptr) << QvGetOsiError();
    return Owned(client_->call(req, seconds), al_deleteGidu);
  }
  // A confirm of `event` without error.
  void expectConfirm(const Owned& cnf, RdaEventCode event, const char* what) {
    ASSERT_NE(cnf, nullptr) << what << ": no confirm";
    EXPECT_EQ(cnf->event, event) << what << ": error " << rda_getGenErr(cnf.get()) << "/" << rda_getSQLErr(cnf.get());
    EXPECT_EQ(cnf->iduType, uint32_t{AL_IDU_RDA}) << what;
    EXPECT_EQ(rda_getGenErr(cnf.get()), 0u) << what << ": error " << rda_getSQLErr(cnf.get());
  }
  GIDU* tmpl() { return client_->conn.tmpl; }
  int32_t nextOp() { return ++op_; }

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<RecordingRelay> relay_;
  std::unique_ptr<StackSide> side_;
  std::unique_ptr<StackClient> client_;
  int32_t op_ = 0;
};

const RDADBLResult& resultOf(const Owned& cnf) { return static_cast<const RDAIdu*>(cnf->idu)->execDBL_RC.result; }

// The values of one result row.
std::vector<const RDAXOPENSQLVal*> valuesOf(const RDAXOPENResultNode* row) {
  std::vector<const RDAXOPENSQLVal*> out;
  const RDAList& l = row->row.values.values;
  for (auto* n = first<RDAValNode>(l); n != nullptr; n = after(l, n))
    out.push_back(static_cast<const RDAXOPENSQLVal*>(n->val));
  return out;
}

TEST_F(RdaDialogue, DialogueTransactionsStatementsAndReleaseOverLoopback) {
  start(Script::Dialogue);
  ASSERT_FALSE(HasFatalFailure());

  static uint8_t suffix[] = {0x01, 0x02};
  const OctStgV dlg{2, suffix};
  expectConfirm(call(rda_createSQLInitReq(tmpl(), nextOp(), &dlg, "tester", nullptr, nullptr, kAllUnits,
                                          rda_xopenIntegrityNo, nullptr)),
                RDA_INIT_CNF, "R-Initialize");
  // The resource's default character set lets character parameters leave
  // theirs out.
  expectConfirm(call(rda_createSQLOpenReq(tmpl(), nextOp(), kHandle, kStackResource, nullptr, nullptr,
                                          rda_xopenChar8859_1, nullptr)),
                RDA_OPEN_CNF, "R-Open");
  // R-BeginTransaction has no positive answer: nothing to wait for.
  RDA_cliSendEvent(rda_createSQLBgnTransReq(tmpl(), nextOp()), RDA_CLI_SEND_ONLY);

  const int32_t handle = kHandle;
  const OctStgV update = octets("UPDATE t SET n = n + 1");
  Owned cnf = call(rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &update, 0, nullptr, 0, nullptr, 0,
                                           nullptr, 0, nullptr));
  expectConfirm(cnf, RDA_EXECDBL_CNF, "R-ExecuteDBL without parameters");
  if (cnf != nullptr) {
    EXPECT_EQ(resultOf(cnf).rows.count, 0u);
  }

  {
    // Parameters: 42, "forty-two" and NULL, which the server sends back.
    XmTree* vt = _xm_allocTree(nullptr);
    void* specs[] = {rda_createXOPENIntegerType(vt, 0, "a", 10, 0), rda_createXOPENVarCharType(vt, 1, "b", nullptr, 20),
                     rda_createXOPENIntegerType(vt, 1, "c", 10, 0)};
    RDASQLValList* args = rda_createSQLValList(vt);
    const OctStgV fortyTwo = octets("forty-two");
    rda_addXOPENSQLVal(vt, &args->values, RDA_SQLVAL_INTEGER, nullptr, 0, 42, nullptr, nullptr, 0, 0);
    rda_addXOPENSQLVal(vt, &args->values, RDA_SQLVAL_VARCHAR, &fortyTwo, 0, 0, nullptr, nullptr, 0, 0);
    rda_addXOPENSQLVal(vt, &args->values, RDA_SQLVAL_INTEGER, nullptr, 0, 0, nullptr, nullptr, -1, 0);
    RDASQLValList* lists[] = {args};
    const OctStgV insert = octets("INSERT INTO t VALUES (?, ?, ?)");
    cnf = call(
        rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &insert, 3, specs, 0, nullptr, 1, lists, 0, vt));
    expectConfirm(cnf, RDA_EXECDBL_CNF, "R-ExecuteDBL with parameters");
    ASSERT_NE(cnf, nullptr);
    ASSERT_EQ(resultOf(cnf).rows.count, 1u);
    const auto v = valuesOf(first<RDAXOPENResultNode>(resultOf(cnf).rows));
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0]->value.code, RDA_SQLVAL_INTEGER);
    EXPECT_EQ(v[0]->value.integer, 42);
    EXPECT_EQ(v[1]->value.code, RDA_SQLVAL_VARCHAR);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(v[1]->value.octets.octets), v[1]->value.octets.length),
              "forty-two");
    EXPECT_EQ(v[2]->mask & 1, 0u) << "NULL";
    EXPECT_EQ(v[2]->indicator, -1);
  }

  {
    // 1000 rows of parameters (n, text, 2n or NULL in every seventh row)
    // in many pool buffers the other way; the server sends them back.
    XmTree* vt = _xm_allocTree(nullptr);
    void* specs[] = {rda_createXOPENIntegerType(vt, 0, "n", 10, 0), rda_createXOPENVarCharType(vt, 1, "t", nullptr, 80),
                     rda_createXOPENIntegerType(vt, 1, "m", 10, 0)};
    std::vector<RDASQLValList*> lists(kRows);
    for (int i = 0; i < kRows; ++i) {
      lists[i] = rda_createSQLValList(vt);
      const std::string text = rowText(i);
      const OctStgV t{static_cast<uint32_t>(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()))};
      rda_addXOPENSQLVal(vt, &lists[i]->values, RDA_SQLVAL_INTEGER, nullptr, 0, i, nullptr, nullptr, 0, 0);
      rda_addXOPENSQLVal(vt, &lists[i]->values, RDA_SQLVAL_VARCHAR, &t, 0, 0, nullptr, nullptr, 0, 0);
      rda_addXOPENSQLVal(vt, &lists[i]->values, RDA_SQLVAL_INTEGER, nullptr, 0, 2 * i, nullptr, nullptr,
                         i % 7 == 0 ? -1 : 0, 0);
    }
    const OctStgV insert = octets("INSERT INTO t VALUES (?, ?, ?)");
    cnf = call(rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &insert, 3, specs, 0, nullptr, kRows,
                                       lists.data(), 0, vt));
    expectConfirm(cnf, RDA_EXECDBL_CNF, "R-ExecuteDBL with 1000 rows of parameters");
    ASSERT_NE(cnf, nullptr);
    const RDAList& echoed = resultOf(cnf).rows;
    ASSERT_EQ(echoed.count, uint32_t{kRows});
    int i = 0;
    int wrong = 0;
    for (auto* r = first<RDAXOPENResultNode>(echoed); r != nullptr && wrong < 5; r = after(echoed, r), ++i) {
      const auto v = valuesOf(r);
      const bool ok = v.size() == 3 && v[0]->value.code == RDA_SQLVAL_INTEGER && v[0]->value.integer == i &&
                      v[1]->value.code == RDA_SQLVAL_VARCHAR &&
                      std::string(reinterpret_cast<const char*>(v[1]->value.octets.octets),
                                  v[1]->value.octets.length) == rowText(i) &&
                      (i % 7 == 0 ? (v[2]->mask & 1) == 0 && v[2]->indicator == -1
                                  : v[2]->value.code == RDA_SQLVAL_INTEGER && v[2]->value.integer == 2 * i);
      if (!ok) ++wrong;
      EXPECT_TRUE(ok) << "row " << i;
    }
    EXPECT_EQ(i, kRows);
  }

  const OctStgV select = octets(kRowsStmt);
  cnf = call(rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &select, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                     nullptr));
  expectConfirm(cnf, RDA_EXECDBL_CNF, "R-ExecuteDBL of 1000 rows");
  ASSERT_NE(cnf, nullptr);
  const RDADBLResult& rows = resultOf(cnf);
  EXPECT_EQ(rows.resultSpecs.count, 3u);
  ASSERT_EQ(rows.rows.count, uint32_t{kRows});
  int i = 0;
  int wrong = 0;
  for (auto* r = first<RDAXOPENResultNode>(rows.rows); r != nullptr && wrong < 5; r = after(rows.rows, r), ++i) {
    const auto v = valuesOf(r);
    const std::string text = rowText(i);
    const bool ok =
        v.size() == 3 && v[0]->value.code == RDA_SQLVAL_INTEGER && v[0]->value.integer == i &&
        v[1]->value.code == RDA_SQLVAL_VARCHAR &&
        std::string(reinterpret_cast<const char*>(v[1]->value.octets.octets), v[1]->value.octets.length) == text &&
        (i % 7 == 0 ? (v[2]->mask & 1) == 0 && v[2]->indicator == -1
                    : v[2]->value.code == RDA_SQLVAL_DOUBLE && v[2]->value.real == i * 0.5);
    if (!ok) ++wrong;
    EXPECT_TRUE(ok) << "row " << i;
  }
  EXPECT_EQ(i, kRows);

  // A refused statement: the error reaches the client and the transaction
  // goes on. No statement of the client carries its operation id, so the
  // error confirm leaves no diagnostic.
  const OctStgV refused = octets(kRefusedStmt);
  cnf = call(rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &refused, 0, nullptr, 0, nullptr, 0, nullptr,
                                     0, nullptr));
  ASSERT_NE(cnf, nullptr);
  EXPECT_EQ(cnf->event, RDA_EXECDBL_ECNF);
  EXPECT_EQ(rda_getSQLErr(cnf.get()), uint32_t{RDA_SQLDBLStmtNotAllowed});
  EXPECT_EQ(client_->conn.errors.count, 0u);
  cnf.reset();

  // The commit's confirm handler begins the next transaction itself.
  expectConfirm(call(rda_createSQLCommitReq(tmpl(), nextOp())), RDA_COMMIT_CNF, "R-Commit");
  expectConfirm(call(rda_createSQLExecDBLReq(tmpl(), nextOp(), &handle, nullptr, &update, 0, nullptr, 0, nullptr, 0,
                                             nullptr, 0, nullptr)),
                RDA_EXECDBL_CNF, "R-ExecuteDBL in the second transaction");
  // As at a disconnect: the rollback's handler begins no new transaction.
  client_->conn.state |= RDA_CLI_ST_DISCONNECTING;
  expectConfirm(call(rda_createSQLRollbackReq(tmpl(), nextOp())), RDA_ROLLBACK_CNF, "R-Rollback");
  expectConfirm(call(rda_createSQLCloseReq(tmpl(), nextOp())), RDA_CLOSE_CNF, "R-Close");
  expectConfirm(call(rda_createSQLTermReq(tmpl(), nextOp())), RDA_TERM_CNF, "R-Terminate");

  RDA_cliSendEvent(rda_createRelReq(tmpl(), nullptr), RDA_CLI_SEND_WAIT);
  EXPECT_EQ(client_->conn.state, 0u) << "released";
  EXPECT_EQ(client_->conn.errors.count, 0u);
  EXPECT_EQ(server_->wait(10s), 0);
  EXPECT_TRUE(relay_->finish(5)) << "both sides end the transport connection";
  size_t fromServer = 0;
  size_t octetsFromServer = 0;
  for (const CapturedTpkt& p : relay_->tpkts()) {
    if (p.fromClient) continue;
    ++fromServer;
    octetsFromServer += p.octets.size();
  }
  // The stack's pool buffers hold 1024 octets and its TPDUs 2048.
  EXPECT_GT(octetsFromServer, size_t{64 * 1024}) << "the rows filled more than 64 pool buffers";
  EXPECT_GT(fromServer, 32u);

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  const auto times = decodeCleanly(relay_->tpkts(), relay_->port(),
                                   {"    aarq\n", "    aare\n", "    rlrq", "    rlre", "result: accepted (0)",
                                    "aSO-context-name: 1.2.826.0.1050.3.2.2.1"});
  EXPECT_EQ(times.at("    aarq\n"), 1u);
  EXPECT_EQ(times.at("    aare\n"), 1u);
  EXPECT_EQ(times.at("    rlrq"), 1u);
  EXPECT_EQ(times.at("    rlre"), 1u);
  EXPECT_EQ(times.at("result: accepted (0)"), 1u);
  EXPECT_EQ(times.at("aSO-context-name: 1.2.826.0.1050.3.2.2.1"), 2u);
}

// Instead of answering R-Initialize the server user aborts the
// association, or the server's process ends: the client gets an A-ABORT or
// an A-P-ABORT indication and forgets the association.
TEST_F(RdaDialogue, AbortOrLostServerReachesTheClient) {
  struct Case {
    const char* what;
    Script script;
    uint32_t event;
  };
  const Case cases[] = {
      {"A-ABORT from the server user", Script::AbortOnInitialize, AL_A_ABORT_IND},
      {"the server's process ends", Script::ExitOnInitialize, AL_A_PABORT_IND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    start(c.script);
    ASSERT_FALSE(HasFatalFailure());
    static uint8_t suffix[] = {0x01};
    const OctStgV dlg{1, suffix};
    RDA_cliSendEvent(
        rda_createSQLInitReq(tmpl(), nextOp(), &dlg, "tester", nullptr, nullptr, kAllUnits, nullptr, nullptr),
        RDA_CLI_SEND_ONLY);
    // An abort goes to the environment's queue, which outlives the connection.
    int32_t status = 0;
    Owned abort(ai_do_rcv(&client_->env.tmpl, 10, &status), al_deleteGidu);
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(abort->event, c.event);
    EXPECT_EQ(client_->conn.state, 0u);
    EXPECT_EQ(client_->conn.tmpl->pc, nullptr) << "the association is forgotten";
    EXPECT_EQ(lastDiag(client_->conn.errors).state, "HZ520");
    abort.reset();  // before its stack goes
    EXPECT_EQ(server_->wait(10s), 0);
    if (c.event == AL_A_ABORT_IND && tsharkAvailable()) {
      EXPECT_TRUE(relay_->finish(5));
      const auto times =
          decodeCleanly(relay_->tpkts(), relay_->port(), {"    abrt\n", "abort-source: service-user (0)"});
      EXPECT_EQ(times.at("    abrt\n"), 1u);
      EXPECT_EQ(times.at("abort-source: service-user (0)"), 1u);
    }
    stop();
  }
}

// A server that takes R-Initialize and never answers: the client's wait ends
// with its configured response time-out.
TEST_F(RdaDialogue, SilentServerGivesTheClientItsResponseTimeOut) {
  start(Script::SilentOnInitialize, 2);
  ASSERT_FALSE(HasFatalFailure());
  static uint8_t suffix[] = {0x01};
  const OctStgV dlg{1, suffix};
  const auto t0 = std::chrono::steady_clock::now();
  RDA_cliSendEvent(
      rda_createSQLInitReq(tmpl(), nextOp(), &dlg, "tester", nullptr, nullptr, kAllUnits, nullptr, nullptr),
      RDA_CLI_SEND_WAIT);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, 1s) << "two whole seconds last at least one";
  EXPECT_LT(took, 5s);
  EXPECT_TRUE(al_queueEmpty(client_->conn.tmpl)) << "nothing came";
  EXPECT_EQ(client_->conn.state, uint32_t{RDA_CLI_ST_ASSOCIATED}) << "the association itself stands";
}

// Two associations of one client at once, each with a dialogue of its own,
// their requests interleaved, then a third after one is released, which
// the client aborts: the server user keeps each association apart, is
// handed one indication at a time across all of them, and counts three
// ended.
TEST_F(RdaDialogue, ServerKeepsConcurrentAssociationsApart) {
  // The relay carries one connection only.
  start(Script::ThreeAssociations, 30, false);
  ASSERT_FALSE(HasFatalFailure());
  RDA_CliHDBC second{};
  second.tag = RDA_CLI_TAG_HDBC;
  second.env = &client_->env;
  RDA_cliInitErrorList(&second.errors);
  RDA_cliRingInit(&second.stmts);
  ASSERT_EQ(RDA_cliLinkBlock(&second), 1);
  const std::unique_ptr<RDA_CliHDBC, void (*)(RDA_CliHDBC*)> live(&second, [](RDA_CliHDBC* c) {
    RDA_cliClearErrorList(&c->errors);
    RDA_cliUnlinkBlock(c);
  });
  second.tmpl = rda_createTemplateGidu(&client_->env, &second, client_->env.tmpl.pe, nullptr);
  ASSERT_NE(second.tmpl, nullptr);
  const std::unique_ptr<GIDU, void (*)(GIDU*)> keep(second.tmpl, [](GIDU* t) {
    RDA_cliPurgeEventQueue(t);
    al_deleteGidu(t);
  });
  auto associate = [&] {
    RDA_cliSendEvent(
        rda_createAssocReq(second.tmpl, "qvclient", kStackResource, rda_xopenAppCtxName, nullptr, SR_DUPLEX, nullptr),
        RDA_CLI_SEND_WAIT);
    return second.state == RDA_CLI_ST_ASSOCIATED;
  };
  ASSERT_TRUE(associate());

  // A dialogue identifier is the server's key of a dialogue: each its own.
  static uint8_t suffixA[] = {0x0A};
  static uint8_t suffixB[] = {0x0B};
  const OctStgV dlgA{1, suffixA};
  const OctStgV dlgB{1, suffixB};
  auto init = [&](GIDU* t, const OctStgV* dlg) {
    RDA_cliSendEvent(
        rda_createSQLInitReq(t, 1, dlg, "tester", nullptr, nullptr, kAllUnits, rda_xopenIntegrityNo, nullptr),
        RDA_CLI_SEND_ONLY);
  };
  auto next = [](GIDU* t) {
    int32_t status = 0;
    return Owned(ai_do_rcv(t, 10, &status), al_deleteGidu);
  };
  init(tmpl(), &dlgA);
  init(second.tmpl, &dlgB);
  expectConfirm(next(tmpl()), RDA_INIT_CNF, "first R-Initialize");
  expectConfirm(next(second.tmpl), RDA_INIT_CNF, "second R-Initialize");
  RDA_cliSendEvent(rda_createSQLTermReq(second.tmpl, 2), RDA_CLI_SEND_ONLY);
  expectConfirm(call(rda_createSQLTermReq(tmpl(), 2)), RDA_TERM_CNF, "first R-Terminate");
  expectConfirm(next(second.tmpl), RDA_TERM_CNF, "second R-Terminate");

  RDA_cliSendEvent(rda_createRelReq(second.tmpl, nullptr), RDA_CLI_SEND_WAIT);
  EXPECT_EQ(second.state, 0u);
  ASSERT_TRUE(associate()) << "a new association after a release";
  init(second.tmpl, &dlgB);
  expectConfirm(next(second.tmpl), RDA_INIT_CNF, "R-Initialize on the new association");
  // Aborted in the middle of its dialogue; the server forgets it.
  RDA_cliSendEvent(rda_createAbortReq(second.tmpl), RDA_CLI_SEND_ONLY);
  RDA_cliSendEvent(rda_createRelReq(tmpl(), nullptr), RDA_CLI_SEND_WAIT);
  EXPECT_EQ(client_->conn.state, 0u);
  EXPECT_EQ(second.errors.count + client_->conn.errors.count, 0u);
  EXPECT_EQ(server_->wait(10s), 0) << "three associations served and ended";
}

}  // namespace
