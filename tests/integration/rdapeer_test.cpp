// The test peer program end to end: rdapeer is started on a free port of
// 127.0.0.1 and stopped again, and a client-role stack runs a whole dialogue
// against its SQLite database: associate, R-Initialize with a scrambled
// password, R-Open, a table made and filled with 1000 rows (one R-ExecuteDBL
// per row and one with a multi-row argument list), the rows read back in
// blocks, rollback and commit, the errors of SQLite as SQLSTATEs, R-Close,
// R-Terminate and A-RELEASE. Its misbehaviour modes give the client an
// abort, a time-out or an error confirm.
//
// The client side sends its requests through the event engine
// (RDA_cliSendEvent) and takes each confirm off the connection's queue
// itself, to read what it carries (support/peer_client.h).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "peer/peer_auth.h"
#include "peer/peer_server.h"
#include "src/acse/ai_rcv.h"
#include "src/acse/gidu_queue.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_erridu.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/runtime/xm.h"
#include "support/peer_client.h"
#include "support/peer_process.h"
#include "support/stack.h"
#include "support/tpkt_capture.h"

namespace {

using namespace std::chrono_literals;

// The row with key `id` as inserted and as it reads back.
std::vector<Val> rowValues(int id) {
  char amount[32];
  std::snprintf(amount, sizeof amount, "%d.%02d", id, id % 100);
  Val name = id % 7 == 0 ? Val{0, ""} : Val{RDA_SQLVAL_VARCHAR, "name " + std::to_string(id)};
  return {Val{RDA_SQLVAL_INTEGER, "", id}, name, Val{RDA_SQLVAL_NUMERIC, amount}, Val{RDA_SQLVAL_DOUBLE, "", 0, id / 8.0}};
}
std::vector<std::string> rowTexts(int id) {
  std::vector<std::string> out;
  for (const Val& v : rowValues(id)) {
    char buf[64];
    if (v.type == 0) out.push_back("NULL");
    else if (v.type == RDA_SQLVAL_INTEGER) out.push_back(std::to_string(v.integer));
    else if (v.type == RDA_SQLVAL_DOUBLE) out.push_back((std::snprintf(buf, sizeof buf, "%.6g", v.real), buf));
    else out.push_back(v.text);
  }
  return out;
}

#define CHECK(cond, what)            \
  do {                               \
    if (!(cond)) return (what);      \
  } while (0)

// A whole dialogue with `rows` rows read back in blocks of `block`; "" when
// every step gave what it should.
std::string dialogue(const std::string& ini, int rows, int block, bool controlled) {
  Client c(ini);
  if (std::string failed = c.associate(); !failed.empty()) return failed;

  Got g = c.call(initRequest(c, "scott", "tiger", 73, controlled));
  CHECK(g != nullptr && g->event == RDA_INIT_CNF, "R-Initialize: " + describe(g.get()));
  const RDAInit_Result& init = iduOf(g.get()).init_RC.result;
  CHECK(((init.mask & 1u) != 0) == controlled, "R-Initialize: control data where it was asked for");
  CHECK((init.mask & 4u) != 0 && std::string(reinterpret_cast<const char*>(init.sql.userData.octets),
                                             init.sql.userData.length) == peer::kServerUserData,
        "R-Initialize: the server's user data");
  g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "rdatest", nullptr, nullptr, nullptr, nullptr));
  CHECK(g != nullptr && g->event == RDA_OPEN_CNF, "R-Open: " + describe(g.get()));
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));

  ExecResult r = exec(c, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(40), amount NUMERIC(10,2), ratio DOUBLE)");
  CHECK(r.failure.empty() && r.count == 0, "CREATE TABLE " + r.failure);
  // Half the rows one request each, the other half in one request.
  const int half = rows / 2;
  for (int id = 1; id <= half; ++id) {
    r = exec(c, "INSERT INTO t VALUES (?, :name, :amount, ?)", {rowValues(id)}, 1);
    CHECK(r.failure.empty() && r.count == 1 && r.states.empty(), "insert " + std::to_string(id) + " " + r.failure);
  }
  std::vector<std::vector<Val>> many;
  for (int id = half + 1; id <= rows; ++id) many.push_back(rowValues(id));
  r = exec(c, "INSERT INTO t VALUES (?, ?, ?, ?)", many);
  CHECK(r.failure.empty() && r.count == rows - half, "multi-row insert " + r.failure);

  // Read back in blocks: the end is marked on the last one only.
  int last = 0;
  for (int b = 0; b < rows / block; ++b) {
    r = exec(c, "SELECT id, name, amount, ratio FROM t WHERE id > ? ORDER BY id", {{Val{RDA_SQLVAL_INTEGER, "", last}}},
             block);
    CHECK(r.failure.empty() && r.columns == 4 && r.rows.size() == static_cast<size_t>(block),
          "block " + std::to_string(b) + ": " + r.failure + " " + std::to_string(r.rows.size()) + " rows");
    const bool lastBlock = b == rows / block - 1;
    CHECK(r.states == (lastBlock ? std::vector<std::string>{"02000"} : std::vector<std::string>{}),
          "block " + std::to_string(b) + ": end marks");
    for (const auto& row : r.rows) {
      ++last;
      CHECK(row == rowTexts(last), "row " + std::to_string(last) + " reads back otherwise");
    }
  }
  r = exec(c, "SELECT id FROM t WHERE id > ?", {{Val{RDA_SQLVAL_INTEGER, "", last}}}, block);
  CHECK(r.rows.empty() && r.states == std::vector<std::string>{"02000"}, "after the last block");

  // A commit keeps, a rollback undoes. The client's confirm handlers begin
  // the next transaction after each.
  g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_COMMIT_CNF && iduOf(g.get()).commit_RC.result.value == 0,
        "R-Commit: " + describe(g.get()));
  r = exec(c, "DELETE FROM t WHERE id <= 10");
  CHECK(r.count == 10, "delete " + r.failure);
  g = c.call(rda_createSQLRollbackReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_ROLLBACK_CNF, "R-Rollback: " + describe(g.get()));
  r = exec(c, "SELECT count(*) FROM t", {{}}, 1);
  CHECK(r.rows.size() == 1 && r.rows[0] == std::vector<std::string>{std::to_string(rows)}, "rolled back " + r.failure);
  CHECK(exec(c, "DELETE FROM t WHERE id <= 10").count == 10, "delete again");
  g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_COMMIT_CNF, "second R-Commit: " + describe(g.get()));
  r = exec(c, "SELECT count(*) FROM t", {{}}, 1);
  CHECK(r.rows.size() == 1 && r.rows[0] == std::vector<std::string>{std::to_string(rows - 10)}, "committed");

  // SQLite's errors as SQLSTATEs; the dialogue goes on.
  r = exec(c, "INSERT INTO t (id) VALUES (?)", {{Val{RDA_SQLVAL_INTEGER, "", rows}}}, 1);
  CHECK(r.states == std::vector<std::string>{"23000"}, "duplicate key " + r.failure);
  r = exec(c, "SELEC id FROM t");
  CHECK(r.states == std::vector<std::string>{"42000"}, "bad statement " + r.failure);

  // The end as a disconnect ends: a rollback after which no transaction
  // begins.
  c.conn().state |= RDA_CLI_ST_DISCONNECTING;
  g = c.call(rda_createSQLRollbackReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_ROLLBACK_CNF, "last R-Rollback: " + describe(g.get()));
  g = c.call(rda_createSQLCloseReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_CLOSE_CNF, "R-Close: " + describe(g.get()));
  g = c.call(rda_createSQLTermReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_TERM_CNF, "R-Terminate: " + describe(g.get()));
  g = c.call(rda_createRelReq(c.tmpl(), nullptr));
  CHECK(g != nullptr && g->event == AL_A_RELEASE_CNF && c.conn().state == 0, "A-RELEASE: " + describe(g.get()));
  return "";
}

class RdaPeer : public StackTest {
 protected:
  // The client's configuration, naming the peer (or a relay) at `port`.
  // The time-out counts whole seconds of the clock: 1 may be over at once.
  std::string clientIni(int port, int responseTimeOut = 30) {
    StackConfig config;
    config.serverPort = port;
    config.responseTimeOut = responseTimeOut;
    return writeStackConfig(sandbox_.dir(), config);
  }
  std::filesystem::path peerDir() const { return sandbox_.dir() / "peer"; }

  // Dialogues in `clients` processes at once (each starts when all are
  // there), the second asking for the control service; each one's failure,
  // "" for success.
  std::vector<std::string> dialogues(const std::string& ini, int clients, int rows, int block) {
    int gate[2];
    if (pipe(gate) != 0) return std::vector<std::string>(static_cast<size_t>(clients), "no pipe");
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int n = 0; n < clients; ++n) {
      const std::string report = (sandbox_.dir() / ("client" + std::to_string(n))).string();
      children.push_back(std::make_unique<ChildProcess>([=](ChildProcess&) {
        close(gate[1]);
        char none = 0;
        (void)!read(gate[0], &none, 1);  // end of file: the gate opens
        close(gate[0]);
        const std::string failed = dialogue(ini, rows, block, n == 1);
        std::ofstream(report) << failed;
        return failed.empty() ? 0 : 1;
      }));
    }
    close(gate[0]);
    close(gate[1]);
    std::vector<std::string> out;
    for (int n = 0; n < clients; ++n) {
      const int status = children[static_cast<size_t>(n)]->wait(60s);
      std::ifstream in(sandbox_.dir() / ("client" + std::to_string(n)));
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      out.push_back(status == 0 ? text : "status " + std::to_string(status) + ": " + text);
    }
    return out;
  }
};

TEST_F(RdaPeer, DialogueWithTheDatabaseFromAssociationToRelease) {
  PeerProcess peer(peerDir(), {"--user", "scott:tiger"});
  ASSERT_GT(peer.port(), 0) << "the port on the first line";
  const std::string ini = clientIni(peer.port());
  EXPECT_EQ(dialogues(ini, 1, 1000, 100), std::vector<std::string>{""});
  EXPECT_TRUE(std::filesystem::exists(peerDir() / "rdatest.sqlite")) << "R-Open attached the resource's database";
  EXPECT_EQ(peer.stop(), 0) << "ends cleanly on SIGTERM";
}

// Eight clients connecting at the same moment: each association is served
// by a child of its own, completes its dialogue and is released.
TEST_F(RdaPeer, ForkingPeerServesEightClientsConnectingAtOnce) {
  PeerProcess peer(peerDir(), {"--fork", "--user", "scott:tiger"});
  ASSERT_GT(peer.port(), 0);
  const std::string ini = clientIni(peer.port());
  EXPECT_EQ(dialogues(ini, 8, 200, 50), std::vector<std::string>(8, ""));
  // Each connection's process ends with its connection.
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (peer.children() > 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(peer.children(), 0u);
  EXPECT_EQ(peer.stop(), 0);
}

// A forking peer that is stopped takes the processes of its connections
// with it: the client loses its association.
TEST_F(RdaPeer, StoppedForkingPeerTakesItsConnectionsWithIt) {
  PeerProcess peer(peerDir(), {"--fork"});
  ASSERT_GT(peer.port(), 0);
  Client c(clientIni(peer.port()));
  ASSERT_EQ(c.associate(), "");
  EXPECT_EQ(peer.children(), 1u);
  EXPECT_EQ(peer.stop(), 0);
  Got g = c.environmentEvent(5);
  ASSERT_NE(g, nullptr) << "the association ends";
  EXPECT_EQ(g->event, AL_A_PABORT_IND) << describe(g.get());
  EXPECT_EQ(c.conn().state, 0u);
}

// With a database file: what a dialogue committed is in the file, and what
// an aborted association had not committed is rolled back at once.
TEST_F(RdaPeer, DatabaseFileKeepsCommitsAndAnAbortRollsBack) {
  const std::string file = (sandbox_.dir() / "kept.sqlite").string();
  PeerProcess peer(peerDir(), {"--db", file});
  ASSERT_GT(peer.port(), 0);
  const std::string ini = clientIni(peer.port());
  ASSERT_EQ(dialogues(ini, 1, 20, 10), std::vector<std::string>{""});

  Client c(ini);
  ASSERT_EQ(c.associate(), "");
  Got g = c.call(initRequest(c, "scott", "tiger", 65));
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->event, RDA_INIT_CNF) << describe(g.get());
  // A resource name that names no file of the scratch directory is refused.
  g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "../kept", nullptr, nullptr, nullptr, nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->event, RDA_OPEN_ECNF) << describe(g.get());
  EXPECT_EQ(rda_getGenErr(g.get()), RDA_GENERR_OP_ABORTED);
  g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 1, "", nullptr, nullptr, nullptr, nullptr));
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->event, RDA_OPEN_CNF) << describe(g.get());
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
  EXPECT_EQ(exec(c, "INSERT INTO t (id, name) VALUES (?, 'aborted')", {{Val{RDA_SQLVAL_INTEGER, "", 99}}}, 1).count, 1);
  c.send(rda_createAbortReq(c.tmpl()));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  // Writing waits for the peer's lock: it goes once the peer has rolled back.
  sqlite3_busy_timeout(db, 3000);
  char* msg = nullptr;
  EXPECT_EQ(sqlite3_exec(db, "INSERT INTO t (id) VALUES (100)", nullptr, nullptr, &msg), SQLITE_OK) << msg;
  sqlite3_free(msg);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*), sum(id = 99) FROM t", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 11) << "10 committed rows and the one written here";
  EXPECT_EQ(sqlite3_column_int(s, 1), 0) << "the aborted row";
  sqlite3_finalize(s);
  sqlite3_close(db);
  EXPECT_EQ(peer.stop(), 0);
}

// The misbehaviour modes, each seen by the client as it should be, and
// fast.
TEST_F(RdaPeer, MisbehaviourReachesTheClientAsAbortTimeOutOrErrorConfirm) {
  const struct {
    const char* what;
    std::vector<std::string> options;
  } modes[] = {
      {"refuse", {"--refuse"}},
      {"abort after the first request", {"--abort-after", "1"}},
      {"mute", {"--mute"}},
      {"R-Initialize fails", {"--fail-init"}},
      {"wrong password", {"--user", "scott:lion"}},
  };
  for (const auto& m : modes) {
    SCOPED_TRACE(m.what);
    PeerProcess peer(peerDir(), m.options);
    ASSERT_GT(peer.port(), 0);
    const bool mute = m.options[0] == "--mute";
    Client c(clientIni(peer.port(), mute ? 2 : 30));
    const auto started = std::chrono::steady_clock::now();
    const std::string associated = c.associate();
    if (m.options[0] == "--refuse") {
      EXPECT_EQ(associated, "no association");
      EXPECT_GT(c.conn().errors.count, 0u) << "the refusal reported";
      EXPECT_EQ(peer.stop(), 0);
      continue;
    }
    ASSERT_EQ(associated, "");
    if (mute) {
      // The client's own wait ends at its response time-out.
      RDA_cliSendEvent(initRequest(c, "scott", "tiger", 73), RDA_CLI_SEND_WAIT);
      EXPECT_EQ(c.conn().state, RDA_CLI_ST_ASSOCIATED) << "no answer came";
      EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
      c.send(rda_createAbortReq(c.tmpl()));
      EXPECT_EQ(peer.stop(), 0);
      continue;
    }
    Got g = c.call(initRequest(c, "scott", "tiger", 73));
    if (m.options[0] == "--abort-after") {
      ASSERT_NE(g, nullptr);
      EXPECT_EQ(g->event, RDA_INIT_CNF);
      c.send(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "", nullptr, nullptr, nullptr, nullptr));
      g = c.environmentEvent();
      ASSERT_NE(g, nullptr) << "an abort indication";
      EXPECT_EQ(g->event, AL_A_ABORT_IND) << describe(g.get());
      EXPECT_EQ(c.conn().state, 0u) << "the association is gone";
    } else {
      ASSERT_NE(g, nullptr) << "an error confirm";
      EXPECT_EQ(g->event, RDA_INIT_ECNF) << describe(g.get());
      const RDAErr& err = iduOf(g.get()).init_RC.error;
      EXPECT_EQ(rda_getGenErr(g.get()), RDA_GENERR_OP_ABORTED);
      ASSERT_NE(err.diag.text, nullptr);
      EXPECT_STREQ(err.diag.text, m.options[0] == "--user" ? peer::kBadLogonText : peer::kInitRefusedText);
      c.send(rda_createAbortReq(c.tmpl()));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(peer.stop(), 0);
  }
}

// The options that answer one request of the dialogue with an error: the
// client gets the error confirm with the error's number and parameter.
// An invalid-sequence error (17) answering R-Open is one that the client's
// state check accepts in no state after R-Initialize: the client gets a
// local error instead.
TEST_F(RdaPeer, ErrorOptionsAnswerTheirRequestWithThatError) {
  enum Step { Init, Open, Term };
  const struct {
    std::vector<std::string> options;
    Step step;
    uint32_t error;
    const char* text;  // error 19's diagnostic
    int32_t parameter;  // error 10's handle, error 17's state
  } cases[] = {
      {{"--fail-init-text", "balance elsewhere [-2130706431]"}, Init, 19, "balance elsewhere [-2130706431]", 0},
      {{"--open-error", "10"}, Open, 10, nullptr, 1},
      {{"--open-error", "11"}, Open, 11, nullptr, 0},
      {{"--open-error", "17:3"}, Open, 17, nullptr, 3},
      {{"--fail-term"}, Term, 19, peer::kTermRefusedText, 0},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.options[0] + " " + (t.options.size() > 1 ? t.options[1] : ""));
    PeerProcess peer(peerDir(), t.options);
    ASSERT_GT(peer.port(), 0);
    Client c(clientIni(peer.port()));
    ASSERT_EQ(c.associate(), "");
    Got g = c.call(initRequest(c, "scott", "tiger", 65));
    ASSERT_NE(g, nullptr);
    if (t.step != Init) {
      ASSERT_EQ(g->event, RDA_INIT_CNF) << describe(g.get());
      g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "", nullptr, nullptr, nullptr, nullptr));
      ASSERT_NE(g, nullptr);
    }
    if (t.step == Term) {
      ASSERT_EQ(g->event, RDA_OPEN_CNF) << describe(g.get());
      g = c.call(rda_createSQLCloseReq(c.tmpl(), c.nextOp()));
      ASSERT_NE(g, nullptr);
      ASSERT_EQ(g->event, RDA_CLOSE_CNF) << describe(g.get());
      g = c.call(rda_createSQLTermReq(c.tmpl(), c.nextOp()));
      ASSERT_NE(g, nullptr);
    }
    if (t.error == 17) {
      EXPECT_EQ(g->event, static_cast<uint32_t>(AL_LOCERR_IND)) << describe(g.get());
      EXPECT_EQ(g->errNo, 52583u) << "refused by the client's state check";
      c.send(rda_createAbortReq(c.tmpl()));
      EXPECT_EQ(peer.stop(), 0);
      continue;
    }
    const uint32_t expected[] = {RDA_INIT_ECNF, RDA_OPEN_ECNF, RDA_TERM_ECNF};
    ASSERT_EQ(g->event, expected[t.step]) << describe(g.get());
    EXPECT_EQ(rda_getGenErr(g.get()), t.error);
    const RDAErr* err = rda_rcError(g->idu, RdaFamily::Xopen);
    ASSERT_NE(err, nullptr);
    if (t.text != nullptr) {
      ASSERT_NE(err->diag.text, nullptr);
      EXPECT_STREQ(err->diag.text, t.text);
    }
    if (t.error == 10) {
      EXPECT_EQ(err->alreadyOpen.handle, t.parameter);
    }
    c.send(rda_createAbortReq(c.tmpl()));
    EXPECT_EQ(peer.stop(), 0);
  }
}

// R-Initialize is answered with the user data of --init-data (none at all
// with "none"), and --record writes what the client sent.
TEST_F(RdaPeer, InitDataIsAnsweredAndTheRecordHoldsWhatCame) {
  const std::filesystem::path record = sandbox_.dir() / "record.txt";
  for (const char* data : {"KVO_RDA_SERVER,1,0,0,V1", "none"}) {
    SCOPED_TRACE(data);
    PeerProcess peer(peerDir(), {"--init-data", data, "--record", record.string()});
    ASSERT_GT(peer.port(), 0);
    Client c(clientIni(peer.port()));
    ASSERT_EQ(c.associate(), "");
    Got g = c.call(initRequest(c, "scott", "abc", 73));
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->event, RDA_INIT_CNF) << describe(g.get());
    const RDAInit_Result& init = iduOf(g.get()).init_RC.result;
    if (std::string(data) == "none") {
      EXPECT_EQ(init.mask & 4u, 0u) << "no user data";
    } else {
      ASSERT_NE(init.mask & 4u, 0u);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(init.sql.userData.octets), init.sql.userData.length), data);
    }
    c.send(rda_createAbortReq(c.tmpl()));
    EXPECT_EQ(peer.stop(), 0);

    // Level 73 scrambles: "scott" and "abc" travel as octet + 1, 2, 3, ...
    const std::vector<PeerRecordLine> lines = readPeerRecord(record);
    ASSERT_EQ(lines.size(), 1u) << "the file is emptied when the peer starts";
    EXPECT_EQ(lines[0].kind, "R-Initialize");
    EXPECT_EQ(lines[0].field("user-data"), "KVO_RDA_CLIENT,73,127.0.0.1,DSN=rdatest;PWD=*****,V1");
    EXPECT_EQ(lines[0].field("identity"), "terxy");
    EXPECT_EQ(lines[0].field("auth"), "626466");
    EXPECT_EQ(lines[0].field("suffix"), "7F0000010001020304050607");
  }
}

// Connections that do not complete their establishment are closed at the
// peer's limit, each with a line on its standard error: 25 that send
// nothing (more than its 20 endpoints), and, forking, 4 that stop after
// their CR (as many as it may have children). A real client then associates, and
// the idle end still comes. The two peers run side by side.
TEST_F(RdaPeer, ConnectionsThatNeverEstablishAreClosedAndTheIdleEndStillComes) {
  struct Case {
    std::vector<std::string> options;
    int connections;
    bool sendCr;
    const char* line;
  };
  const Case cases[] = {
      {{}, 25, false, "no CR within 1 s"},
      {{"--fork", "--max-children", "4"}, 4, true, "no CONNECT SPDU within 1 s"},
  };
  const std::string cr{3, 0, 0, 11, 6, static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0};
  std::vector<std::unique_ptr<PeerProcess>> peers;
  std::vector<std::vector<int>> held(std::size(cases));
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    std::vector<std::string> options = {"--establish-limit", "1", "--idle", "2"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    peers.push_back(std::make_unique<PeerProcess>(peerDir() / std::to_string(k), options));
    ASSERT_GT(peers[k]->port(), 0);
    for (int i = 0; i < c.connections; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      held[k].push_back(fd);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(peers[k]->port()));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
      if (c.sendCr) {
        ASSERT_EQ(send(fd, cr.data(), cr.size(), MSG_NOSIGNAL), static_cast<ssize_t>(cr.size()));
      }
    }
  }
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(cases[k].line);
    // Each is closed by the peer (after a CC and a DR, for those with a CR).
    const auto until = std::chrono::steady_clock::now() + 10s;
    size_t closed = 0;
    for (int fd : held[k]) {
      char buf[64];
      ssize_t n = 1;
      while (n > 0 && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) == 1) n = recv(fd, buf, sizeof buf, 0);
      }
      closed += n == 0 ? 1 : 0;
      close(fd);
    }
    EXPECT_EQ(closed, held[k].size());
    // The processes of cut connections end with them.
    while (peers[k]->children() > 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(peers[k]->children(), 0u);
    // A client that does establish is still served. Under a loaded
    // sanitizer build one may need longer than the 1-second limit: a few
    // tries.
    std::string associated = "no try";
    for (int attempt = 0; attempt < 5 && !associated.empty(); ++attempt) {
      Client client(clientIni(peers[k]->port()));
      associated = client.associate();
    }
    EXPECT_EQ(associated, "");
  }
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.line);
    EXPECT_EQ(peers[k]->wait(10s), 0) << "the idle end";
    const std::string log = peers[k]->errors();
    size_t lines = 0;
    for (size_t at = log.find(c.line); at != std::string::npos; at = log.find(c.line, at + 1)) ++lines;
    EXPECT_GE(lines, c.sendCr ? static_cast<size_t>(c.connections) : 20u) << log;
  }
}

TEST_F(RdaPeer, IdlePeerEndsByItselfAndBadOptionsAreRefused) {
  {
    PeerProcess peer(peerDir(), {"--idle", "1"});
    ASSERT_GT(peer.port(), 0);
    EXPECT_EQ(peer.wait(500ms), -1) << "still there within its idle time";
    EXPECT_EQ(peer.wait(5s), 0) << "gone after it";
  }
  // A usage message and status 2, without listening.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--port", "70000"},
        std::vector<std::string>{"--abort-after", "x"}, std::vector<std::string>{"--user", "nocolon"},
        std::vector<std::string>{"--max-children", "-1"}}) {
    PeerProcess peer(peerDir(), bad);
    EXPECT_EQ(peer.port(), 0) << bad[0];
    EXPECT_EQ(peer.wait(5s), 2) << bad[0];
  }
}

// Up to R-Open and an open transaction; "" when it got there. The R-Open
// names the character set, as the client's does: arguments described as
// CHARACTER without one of their own (the FETCH's) then pass the server's
// rules.
std::string openDialogue(Client& c, int level) {
  if (std::string failed = c.associate(); !failed.empty()) return failed;
  Got g = c.call(initRequest(c, "scott", "tiger", level));
  if (g == nullptr || g->event != RDA_INIT_CNF) return "R-Initialize: " + describe(g.get());
  const int32_t readWrite = 1;
  g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "", nullptr, &readWrite, rda_xopenChar8859_1,
                                  nullptr));
  if (g == nullptr || g->event != RDA_OPEN_CNF) return "R-Open: " + describe(g.get());
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
  return "";
}

// A prepared query read the client's way at level 1: PREPARE with the text
// as its argument, the optimised open with the first block, FETCHes for the
// rest; the record holds every text with its arguments.
TEST_F(RdaPeer, PreparedQueryIsFetchedInBlocksTheClientsWay) {
  const std::filesystem::path record = sandbox_.dir() / "record.txt";
  PeerProcess peer(peerDir(), {"--record", record.string()});
  ASSERT_GT(peer.port(), 0);
  Client c(clientIni(peer.port()));
  ASSERT_EQ(openDialogue(c, 65), "");
  ExecResult r = exec(c, "CREATE TABLE n (id INTEGER, label VARCHAR(10))");
  ASSERT_TRUE(r.failure.empty()) << r.failure;
  std::vector<std::vector<Val>> rows;
  for (int id = 1; id <= 250; ++id) rows.push_back({Val{RDA_SQLVAL_INTEGER, "", id}, Val{RDA_SQLVAL_VARCHAR, "n" + std::to_string(id)}});
  ASSERT_EQ(exec(c, "INSERT INTO n VALUES (?, ?)", rows).count, 250);

  r = exec(c, std::string("PREPARE stmt_id_3 FROM :H") + '\0',
           {{Val{RDA_SQLVAL_WCHAR, "SELECT id, label FROM n WHERE id > ? ORDER BY id"}}}, 1);
  EXPECT_EQ(r.names, (std::vector<std::string>{"id", "label", ""})) << "the columns and one parameter";
  r = exec(c, "DECLARE SQLCUR3  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=0' FOR stmt_id_3",
           {{Val{RDA_SQLVAL_INTEGER, "", 0}}}, 100);
  EXPECT_EQ(r.names, (std::vector<std::string>{"id", "label"}));
  size_t read = r.rows.size();
  EXPECT_EQ(read, 100u) << r.failure << (r.states.empty() ? "" : r.states[0]);
  EXPECT_TRUE(r.states.empty());
  for (const size_t block : {100u, 50u}) {
    r = exec(c, "FETCH SQLCUR3 INTO :H, :H", {{Val{0, ""}}}, 100, {ArgSpec{RDA_SQLTYPE_CHAR, 10}});
    ASSERT_EQ(r.rows.size(), block) << r.failure;
    EXPECT_EQ(r.rows.back()[0], std::to_string(read + block));
    read += block;
  }
  EXPECT_EQ(r.states, std::vector<std::string>{"02000"});
  c.send(rda_createAbortReq(c.tmpl()));
  EXPECT_EQ(peer.stop(), 0);

  const std::vector<PeerRecordLine> lines = readPeerRecord(record);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3].kind, "R-ExecuteDBL");
  EXPECT_EQ(lines[3].field("text"), std::string("PREPARE stmt_id_3 FROM :H") + '\0');
  EXPECT_EQ(lines[3].all("arg"), std::vector<std::string>{"WCHAR:SELECT id, label FROM n WHERE id > ? ORDER BY id"});
  EXPECT_EQ(lines[4].field("repetition"), "100");
  EXPECT_EQ(lines[4].all("arg"), std::vector<std::string>{"INTEGER:0"});
  EXPECT_EQ(lines[5].field("text"), "FETCH SQLCUR3 INTO :H, :H");
  EXPECT_EQ(lines[5].all("arg"), std::vector<std::string>{"NULL"});
  EXPECT_EQ(lines[2].all("row").size(), 250u) << "the multi-row form, row by row";
}

// The options of the SQL-text road, each seen by the client: QV_INFO
// values, the 8-byte numeric form, a peer that stops answering, a refused
// R-BeginTransaction and a commit turned into a rollback.
TEST_F(RdaPeer, SqlTextOptionsReachTheClient) {
  {
    SCOPED_TRACE("--info and the 8-byte form");
    PeerProcess peer(peerDir(), {"--info", "8196=1", "--info", "10002=NULL", "--init-data", "KVO_RDA_SERVER,1,0,0,V1"});
    ASSERT_GT(peer.port(), 0);
    Client c(clientIni(peer.port()));
    ASSERT_EQ(openDialogue(c, 1), "");
    ExecResult r = exec(c, "EXECUTE IMMEDIATE :H", {{Val{RDA_SQLVAL_WCHAR, "_QV_GET_INFO 8196 INFO_TEXT"}}}, 1,
                        {ArgSpec{RDA_SQLTYPE_WCHAR, 8192}});
    ASSERT_EQ(r.rows.size(), 1u) << r.failure;
    EXPECT_EQ(r.rows[0], std::vector<std::string>{"1"});
    r = exec(c, "SELECT INFO_TEXT FROM QV_INFO WHERE INFO_NUM = 10002");
    EXPECT_EQ(r.rows, std::vector<std::vector<std::string>>{{"NULL"}});
    // -12.50 at scale 2 in eight octets, both ways.
    const std::string eight("\x00\x00\x00\x80\xE2\x04\x00\x00", 8);
    ASSERT_EQ(exec(c, "CREATE TABLE m (amount NUMERIC(10,2))").failure, "");
    r = exec(c, "INSERT INTO m VALUES (?)", {{Val{RDA_SQLVAL_NUMERIC, eight}}}, 1, {ArgSpec{RDA_SQLTYPE_NUMERIC, 10, 2}});
    EXPECT_EQ(r.count, 1) << r.failure;
    r = exec(c, "SELECT amount, amount + 0.5 FROM m");
    ASSERT_EQ(r.rows.size(), 1u) << r.failure;
    EXPECT_EQ(r.rows[0][0], eight);
    EXPECT_EQ(r.rows[0][1], "-12") << "stored as the number it stands for";
    c.send(rda_createAbortReq(c.tmpl()));
    EXPECT_EQ(peer.stop(), 0);
  }
  {
    SCOPED_TRACE("--mute-after 1");
    PeerProcess peer(peerDir(), {"--mute-after", "1"});
    ASSERT_GT(peer.port(), 0);
    Client c(clientIni(peer.port()));
    ASSERT_EQ(openDialogue(c, 65), "");
    EXPECT_EQ(exec(c, "CREATE TABLE t (a)").failure, "");
    Got g = c.call(execRequest(c, "SELECT 1", {}, 0), 1);
    EXPECT_EQ(g, nullptr) << "no answer to the second R-ExecuteDBL: " << describe(g.get());
    c.send(rda_createAbortReq(c.tmpl()));
    EXPECT_EQ(peer.stop(), 0);
  }
  {
    SCOPED_TRACE("--fail-begin 2 and --commit-rollback 1");
    PeerProcess peer(peerDir(), {"--fail-begin", "2", "--commit-rollback", "1"});
    ASSERT_GT(peer.port(), 0);
    Client c(clientIni(peer.port()));
    ASSERT_EQ(openDialogue(c, 65), "");
    ASSERT_EQ(exec(c, "CREATE TABLE t (a)").failure, "");
    EXPECT_EQ(exec(c, "INSERT INTO t VALUES (1)").count, 1);
    Got g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->event, RDA_COMMIT_CNF) << describe(g.get());
    const auto& result = iduOf(g.get()).commit_RC.result;
    EXPECT_EQ(result.value, 7);
    ASSERT_NE(result.text, nullptr);
    EXPECT_EQ(std::string(result.text), "the commit was turned into a rollback");
    // The client's confirm handler begins the next transaction at once:
    // the second R-BeginTransaction, which gets an error confirm.
    g = c.next();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->event, RDA_BGNTRANS_ECNF) << describe(g.get());
    EXPECT_EQ(rda_getGenErr(g.get()), RDA_GENERR_OP_ABORTED);
    // The third goes through; the rolled-back insert and the table made in
    // the same transaction are gone.
    c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
    EXPECT_EQ(exec(c, "SELECT count(*) FROM t").states, std::vector<std::string>{"42000"});
    c.send(rda_createAbortReq(c.tmpl()));
    EXPECT_EQ(peer.stop(), 0);
  }
}

// The local addresses of the listening TCP sockets on `port`, as
// /proc/net/tcp shows them ("0100007F" is 127.0.0.1).
std::vector<std::string> listeners(int port) {
  std::ifstream in("/proc/net/tcp");
  std::vector<std::string> out;
  std::string line;
  std::getline(in, line);
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, "%04X", port);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() > 9 && local.substr(9) == wanted) out.push_back(local.substr(0, 8));
  }
  return out;
}

// The peer listens on 127.0.0.1 only, at the port it prints, and a client
// gets no file of its choosing written: ATTACH and VACUUM INTO are refused.
TEST_F(RdaPeer, ListensOnLoopbackAndRefusesFileStatements) {
  PeerProcess peer(peerDir(), {});
  ASSERT_GT(peer.port(), 0);
  EXPECT_EQ(listeners(peer.port()), std::vector<std::string>{"0100007F"});
  Client c(clientIni(peer.port()));
  ASSERT_EQ(c.associate(), "");
  Got g = c.call(initRequest(c, "scott", "tiger", 65));
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->event, RDA_INIT_CNF) << describe(g.get());
  g = c.call(rda_createSQLOpenReq(c.tmpl(), c.nextOp(), 0, "", nullptr, nullptr, nullptr, nullptr));
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->event, RDA_OPEN_CNF) << describe(g.get());
  const std::filesystem::path file = sandbox_.dir() / "elsewhere.sqlite";
  for (const std::string& text : {"ATTACH DATABASE '" + file.string() + "' AS x", "VACUUM INTO '" + file.string() + "'"}) {
    const ExecResult r = exec(c, text);
    EXPECT_EQ(r.states, std::vector<std::string>{"42000"}) << text << r.failure;
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  c.send(rda_createAbortReq(c.tmpl()));
  EXPECT_EQ(peer.stop(), 0);
}

// --dir writes only over the configuration files the peer wrote itself;
// anyone else's stop it with a word on standard error.
TEST_F(RdaPeer, ConfigurationFilesOfSomeoneElseAreLeftAlone) {
  for (const char* name : {"mirodel.ini", "schema/qvdrd.ini"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path dir = sandbox_.dir() / ("someone-" + std::to_string(name[0]));
    std::filesystem::create_directories(dir / "schema");
    const std::string mine = "[COMMON]\nmine=1\n";
    std::ofstream(dir / name) << mine;
    PeerProcess peer(dir, {});
    EXPECT_EQ(peer.port(), 0);
    EXPECT_EQ(peer.wait(5s), 2);
    EXPECT_NE(peer.errors().find("was not written by rdapeer"), std::string::npos) << peer.errors();
    std::ifstream in(dir / name);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), mine);
  }
  // Its own files it writes again at the next start.
  for (int start = 0; start < 2; ++start) {
    PeerProcess peer(peerDir(), {});
    EXPECT_GT(peer.port(), 0) << "start " << start << ": " << peer.errors();
    EXPECT_EQ(peer.stop(), 0);
  }
  // --help: the options on standard output, nothing else done.
  PeerProcess help(sandbox_.dir() / "help", {"--help"});
  EXPECT_EQ(help.wait(5s), 0);
  EXPECT_EQ(help.errors(), "");
  EXPECT_FALSE(std::filesystem::exists(sandbox_.dir() / "help" / "mirodel.ini"));
}

// One short dialogue through a recording relay, read by tshark's
// dissectors down to ACSE.
TEST_F(RdaPeer, CapturedDialogueDecodesCleanlyInTshark) {
  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  PeerProcess peer(peerDir(), {});
  ASSERT_GT(peer.port(), 0);
  RecordingRelay relay;
  ASSERT_TRUE(relay.ok());
  relay.start(peer.port());
  // In this process: a child forked while the relay's thread runs could
  // inherit a lock that thread holds.
  EXPECT_EQ(dialogue(clientIni(relay.port()), 20, 10, false), "");
  EXPECT_TRUE(relay.finish(5));
  const std::vector<std::string> what = {"    aarq\n", "    aare\n", "    rlrq", "    rlre", "result: accepted (0)"};
  auto times = decodeCleanly(relay.tpkts(), peer.port(), what);
  for (const std::string& w : what) EXPECT_EQ(times[w], 1u) << w;
  EXPECT_EQ(peer.stop(), 0);
}

}  // namespace
