// The test peer program end to end: rdapeer is started on a free port of
// 127.0.0.1 and stopped again, and a client-role stack runs a whole dialogue
// against its SQLite database: associate, R-Initialize with a scrambled
// password, R-Open, a table made and filled with 1000 rows (one R-ExecuteDBL
// per row and one with a multi-row argument list), the rows read back in
// blocks, rollback and commit, the errors of SQLite as SQLSTATEs, R-Close,
// R-Terminate and A-RELEASE. Its misbehaviour modes give the client an
// abort, a time-out or an error confirm.
//
// The RDA client is not built yet: the client side sends its requests
// through the event engine's stand-ins (RDA_cliSendEvent) and takes each
// confirm off the connection's queue itself, to read what it carries.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
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
#include "support/stack.h"
#include "support/tpkt_capture.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// rdapeer as a process of the test: started with its options, its port read
// from the first line it writes; stopped with SIGTERM (killed if it does not
// go), and never left behind.
class PeerProcess {
 public:
  PeerProcess(const std::filesystem::path& dir, const std::vector<std::string>& options)
      : log_(dir.string() + ".log") {
    std::filesystem::create_directories(dir);
    std::vector<std::string> args = {RDAPEER_PATH, "--dir", dir.string(), "--idle", "60"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, RDAPEER_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The port, within a few seconds.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1 && read(out[0], &c, 1) == 1)
      line += c;
    close(out[0]);
    port_ = std::atoi(line.c_str());
  }
  ~PeerProcess() { (void)stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  int port() const { return port_; }
  // What it has written on standard error.
  std::string log() const {
    std::ifstream in(log_);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // The exit status once it has ended by itself within `limit`; -1 when it
  // has not (it goes on running) or is gone.
  int wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) return -1;
      std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The processes the peer has forked and that still run.
  size_t children() const {
    if (pid_ <= 0) return 0;
    std::ifstream in("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children");
    size_t n = 0;
    for (std::string word; in >> word;) ++n;
    return n;
  }
  // SIGTERM, then the exit status (-1: it had to be killed or was gone).
  int stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const int status = wait(5s);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    return status;
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

using Got = std::unique_ptr<GIDU, void (*)(GIDU*)>;

// A client-role stack with the event engine's blocks, associated with the
// peer through the database resource of its configuration.
class Client {
 public:
  explicit Client(const std::string& ini) : side_(StackSide::Role::Client, ini) {}

  // Up to the association; "" when it is there, else what failed.
  std::string associate() {
    if (!side_.ok() || side_.startRda() != 1) return "start-up: " + side_.error();
    if (!c_.activate()) return "no activation";
    if (!c_.associate()) return "no association";
    return "";
  }
  RDA_CliHDBC& conn() { return c_.conn; }
  GIDU* tmpl() { return c_.conn.tmpl; }
  int32_t nextOp() { return ++op_; }

  // Sends `req` and returns its answer.
  Got call(GIDU* req, int32_t seconds = 10) { return Got(c_.call(req, seconds), al_deleteGidu); }
  // What the environment gets next (an abort); NULL when nothing came.
  Got environmentEvent(int32_t seconds = 10) {
    int32_t status = 0;
    return Got(ai_do_rcv(&c_.env.tmpl, seconds, &status), al_deleteGidu);
  }
  void send(GIDU* req) { RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY); }

 private:
  StackSide side_;
  StackClient c_;
  int32_t op_ = 0;
};

const RDAXOPENIdu& iduOf(const GIDU* g) { return *static_cast<const RDAXOPENIdu*>(g->idu); }

std::string describe(const GIDU* g) {
  if (g == nullptr) return "nothing";
  std::ostringstream s;
  s << "event 0x" << std::hex << g->event << std::dec << " error " << g->errNo;
  if (g->iduType == AL_IDU_RDA) {
    s << " RDA error " << rda_getSQLErr(g);
    const RDAErr* err = rda_rcError(g->idu, RdaFamily::Xopen);
    if (err != nullptr && rda_getSQLErr(g) == RDA_GENERR_OP_ABORTED && err->diag.text != nullptr)
      s << " (" << err->diag.text << ")";
  }
  return s.str();
}

// R-Initialize as the client sends it: the level word in the user data and,
// with its scrambling bits, the user name and password scrambled.
GIDU* initRequest(Client& c, const std::string& user, const std::string& password, int level,
                  bool controlled = false) {
  const bool scrambled = peer::credentialsScrambled(level);
  const std::string name = scrambled ? peer::scramble(user) : user;
  std::string pass = scrambled ? peer::scramble(password) : password;
  std::string data = "KVO_RDA_CLIENT," + std::to_string(level) + ",127.0.0.1,DSN=rdatest;PWD=*****,V1";
  uint8_t suffix[] = {127, 0, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7};
  const OctStgV dlg{sizeof suffix, suffix};
  RDAAuthData auth{};
  auth.code = RDA_AUTH_TEXT;
  auth.text = pass.data();
  const OctStgV userData{static_cast<uint32_t>(data.size()), reinterpret_cast<uint8_t*>(data.data())};
  const uint32_t flag = 1;
  return rda_createSQLInitReq(c.tmpl(), c.nextOp(), &dlg, name.c_str(), &auth, controlled ? &flag : nullptr, 0xFE,
                              rda_xopenIntegrityYes, &userData);
}

// One argument value.
struct Val {
  uint32_t type;  // 0: NULL
  std::string text;
  int64_t integer = 0;
  double real = 0;
};

// R-ExecuteDBL of `sql` with `rows` of arguments (none: no argument part; one:
// the single-row form asking for `repetition` rows).
GIDU* execRequest(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows, int32_t repetition) {
  XmTree* vt = _xm_allocTree(nullptr);
  std::vector<RDASQLValList*> lists;
  for (const auto& row : rows) {
    RDASQLValList* l = rda_createSQLValList(vt);
    if (l == nullptr) return nullptr;
    for (const Val& v : row) {
      const OctStgV str{static_cast<uint32_t>(v.text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(v.text.data()))};
      if (rda_addXOPENSQLVal(vt, &l->values, v.type == 0 ? RDA_SQLVAL_VARCHAR : v.type, &str, 0, v.integer, &str,
                             nullptr, v.type == 0 ? -1 : 0, v.real) != 1)
        return nullptr;
    }
    lists.push_back(l);
  }
  const OctStgV stmt{static_cast<uint32_t>(sql.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(sql.data()))};
  return rda_createSQLExecDBLReq(c.tmpl(), c.nextOp(), nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr,
                                 static_cast<uint32_t>(lists.size()), lists.data(), repetition, vt);
}

// What an R-ExecuteDBL confirm carries: the rows as texts, the SQLSTATEs of
// its exceptions in order, and the last diagnostics number.
struct ExecResult {
  std::string failure;  // "" when an R-ExecuteDBL result came
  size_t columns = 0;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> states;
  int32_t count = -1;
};

std::string cellText(const RDAXOPENSQLVal* v) {
  if ((v->mask & 1u) == 0) return v->indicator == -1 ? "NULL" : "?";
  const RDAXOPENSQLValue& x = v->value;
  char buf[64];
  switch (x.code) {
    case RDA_SQLVAL_INTEGER:
      return std::to_string(x.integer);
    case RDA_SQLVAL_DOUBLE:
      std::snprintf(buf, sizeof buf, "%.6g", x.real);
      return buf;
    case RDA_SQLVAL_VARCHAR:
      return std::string(reinterpret_cast<const char*>(x.octets.octets), x.octets.length);
    case RDA_SQLVAL_NUMERIC:
      return std::string(reinterpret_cast<const char*>(x.numeric.octets), x.numeric.length);
    default:
      return "code " + std::to_string(x.code);
  }
}

ExecResult exec(Client& c, const std::string& sql, const std::vector<std::vector<Val>>& rows = {},
                int32_t repetition = 0) {
  ExecResult r;
  Got g = c.call(execRequest(c, sql, rows, repetition));
  if (g == nullptr || g->event != RDA_EXECDBL_CNF) {
    r.failure = sql + ": " + describe(g.get());
    return r;
  }
  const RDAExecDBL_Result& res = iduOf(g.get()).execDBL_RC.result;
  if ((res.mask & 1u) != 0) r.columns = res.resultSpecs.count;
  if ((res.mask & 2u) == 0 || rda_ringEmpty(res.rows)) return r;
  for (const UL_Link* p = res.rows.links.next; p != &res.rows.links; p = p->next) {
    const RDAXOPENResultVals& row = reinterpret_cast<const RDAXOPENResultNode*>(p)->row;
    if (row.exception != nullptr) {
      if ((row.exception->mask & 1u) != 0) r.states.push_back(row.exception->sqlState);
      if ((row.exception->diag.mask & 1u) != 0) r.count = row.exception->diag.number;
    }
    if ((row.mask & 2u) == 0) continue;
    std::vector<std::string> cells;
    const RDAList& vals = row.values.values;
    if (!rda_ringEmpty(vals))
      for (const UL_Link* q = vals.links.next; q != &vals.links; q = q->next)
        cells.push_back(cellText(static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(q)->val)));
    r.rows.push_back(cells);
  }
  return r;
}

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

  // A commit keeps, a rollback undoes.
  g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_COMMIT_CNF && iduOf(g.get()).commit_RC.result.value == 0,
        "R-Commit: " + describe(g.get()));
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
  r = exec(c, "DELETE FROM t WHERE id <= 10");
  CHECK(r.count == 10, "delete " + r.failure);
  g = c.call(rda_createSQLRollbackReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_ROLLBACK_CNF, "R-Rollback: " + describe(g.get()));
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
  r = exec(c, "SELECT count(*) FROM t", {{}}, 1);
  CHECK(r.rows.size() == 1 && r.rows[0] == std::vector<std::string>{std::to_string(rows)}, "rolled back " + r.failure);
  CHECK(exec(c, "DELETE FROM t WHERE id <= 10").count == 10, "delete again");
  g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_COMMIT_CNF, "second R-Commit: " + describe(g.get()));
  c.send(rda_createSQLBgnTransReq(c.tmpl(), c.nextOp()));
  r = exec(c, "SELECT count(*) FROM t", {{}}, 1);
  CHECK(r.rows.size() == 1 && r.rows[0] == std::vector<std::string>{std::to_string(rows - 10)}, "committed");

  // SQLite's errors as SQLSTATEs; the dialogue goes on.
  r = exec(c, "INSERT INTO t (id) VALUES (?)", {{Val{RDA_SQLVAL_INTEGER, "", rows}}}, 1);
  CHECK(r.states == std::vector<std::string>{"23000"}, "duplicate key " + r.failure);
  r = exec(c, "SELEC id FROM t");
  CHECK(r.states == std::vector<std::string>{"42000"}, "bad statement " + r.failure);

  g = c.call(rda_createSQLCommitReq(c.tmpl(), c.nextOp()));
  CHECK(g != nullptr && g->event == RDA_COMMIT_CNF, "last R-Commit: " + describe(g.get()));
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

  // Dialogues in `clients` processes at once, the second asking for the
  // control service; each one's failure, "" for success.
  std::vector<std::string> dialogues(const std::string& ini, int clients, int rows, int block) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int n = 0; n < clients; ++n) {
      const std::string report = (sandbox_.dir() / ("client" + std::to_string(n))).string();
      children.push_back(std::make_unique<ChildProcess>([=](ChildProcess&) {
        const std::string failed = dialogue(ini, rows, block, n == 1);
        std::ofstream(report) << failed;
        return failed.empty() ? 0 : 1;
      }));
    }
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

TEST_F(RdaPeer, ForkingPeerServesTwoClientsAtOnce) {
  PeerProcess peer(peerDir(), {"--fork", "--user", "scott:tiger"});
  ASSERT_GT(peer.port(), 0);
  const std::string ini = clientIni(peer.port());
  EXPECT_EQ(dialogues(ini, 2, 1000, 100), (std::vector<std::string>{"", ""}));
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

// Connections that do not complete their establishment are closed at the
// peer's limit, each with a line on its standard error: 25 that send
// nothing (more than its 20 endpoints), and, forking, 4 that stop after
// their CR (as many as its children). A real client then associates, and
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
      {{"--fork"}, 4, true, "no CONNECT SPDU within 1 s"},
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
    Client client(clientIni(peers[k]->port()));
    EXPECT_EQ(client.associate(), "");
  }
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.line);
    EXPECT_EQ(peers[k]->wait(10s), 0) << "the idle end";
    const std::string log = peers[k]->log();
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
        std::vector<std::string>{"--abort-after", "x"}, std::vector<std::string>{"--user", "nocolon"}}) {
    PeerProcess peer(peerDir(), bad);
    EXPECT_EQ(peer.port(), 0) << bad[0];
    EXPECT_EQ(peer.wait(5s), 2) << bad[0];
  }
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
