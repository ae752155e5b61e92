// The client's SQL-text operations against rdapeer, through the rda_cli*
// calls only: the texts as the peer receives them, the outcome of each
// primitive (a diagnostic left on the connection, an answer that never
// comes, a request that cannot be built), the cursors and result sets of
// prepared and direct executions, driver commands, and a table filled,
// changed, committed and rolled back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "asn1/codec_fixture.h"
#include "integration/client_sql_fixture.h"
#include "rda/rda_fixture.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "support/cli_diag.h"
#include "support/client_env.h"
#include "support/locale.h"
#include "support/peer_process.h"
#include "support/tpkt_capture.h"

namespace {

using namespace std::chrono_literals;

TEST_F(ClientSql, TextsAtLevel0GoOutWordForWord) {
  up({"--init-data", initData(64)});
  ASSERT_EQ(c_->optLevel, 0u);
  rda_cliSetStmtOptionsSupport(c_, 0);
  RDA_cliBgnTransOnConnection(c_);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(s->optionFlags, 32u) << "no options support";
  const std::string n = id(s);
  const std::string cursor = "SQLCUR" + n;
  const std::string prepared = "PREPARE stmt_id_" + n + " FROM :H" + std::string(1, '\0');

  ASSERT_EQ(run(s, "CREATE TABLE t (a INTEGER, b INTEGER, c INTEGER)"), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"DECLARE " + cursor + "  CURSOR MAXROWS 0 FOR CREATE TABLE t (a "
                                              "INTEGER, b INTEGER, c INTEGER)"});
  EXPECT_EQ(std::string(s->cursorName), cursor) << "named at its first open";

  // A query: the direct execution left the statement prepared, so the
  // server releases the old one; PREPARE and, at level 0, DESCRIBE;
  // DECLARE and OPEN; FETCH; CLOSE.
  ASSERT_EQ(prepare(s, "SELECT a, b, c FROM t"), 0) << message(s);
  std::vector<PeerRecordLine> got = received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].field("text"), "RELEASE stmt_id_" + n);
  EXPECT_EQ(got[1].field("text"), prepared);
  EXPECT_EQ(got[1].all("arg"), std::vector<std::string>{"WCHAR:SELECT a, b, c FROM t"});
  EXPECT_EQ(got[2].field("text"), "DESCRIBE stmt_id_" + n);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  EXPECT_EQ(texts(), (std::vector<std::string>{"DECLARE " + cursor + " CURSOR FOR stmt_id_" + n, "OPEN " + cursor}));
  ASSERT_EQ(s->cols.count, 3u);
  // The table is empty: the end of the data is left for the fetch to read.
  EXPECT_EQ(RDA_cliFetchCol(s), 0);
  EXPECT_EQ(lastDiag(s->errors).state, "02000");
  EXPECT_EQ(texts(), std::vector<std::string>{"FETCH " + cursor + " INTO :H, :H, :H"});
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  EXPECT_EQ(texts(), std::vector<std::string>{"CLOSE " + cursor});

  // An INSERT with three parameters: RELEASE of the old statement, PREPARE;
  // EXECUTE when the connection need not always use a cursor.
  ASSERT_EQ(prepare(s, "INSERT INTO t VALUES (?, :b, ?)"), 0) << message(s);
  EXPECT_EQ(texts(), (std::vector<std::string>{"RELEASE stmt_id_" + n, prepared}));
  int16_t markers = 0;
  EXPECT_EQ(rda_cliNumParams(s, &markers), 0);
  EXPECT_EQ(markers, 3) << "counted in the text";
  Ints values;
  values.bind(s);
  rda_cliSetConnOptionAlwaysUseCursor(c_, 0);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"EXECUTE stmt_id_" + n + " USING :H, :H, :H"});
  ASSERT_EQ(prepare(s, "DELETE FROM t"), 0);
  ASSERT_EQ(rda_cliFreeStmt(s, 3), 0);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  EXPECT_EQ(texts().back(), "EXECUTE stmt_id_" + n);
  // With a cursor always, the INSERT is opened as one.
  rda_cliSetConnOptionAlwaysUseCursor(c_, 1);
  ASSERT_EQ(prepare(s, "INSERT INTO t VALUES (?, ?, ?)"), 0);
  values.bind(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  EXPECT_EQ(texts().back(), "OPEN " + cursor + " USING :H, :H, :H");
  EXPECT_EQ(std::string(s->cursorName), cursor) << "the name stays";

  // A plain open of a text of its own.
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  texts();
  ASSERT_EQ(RDA_cliOpenCursor(s, nullptr, "SELECT a FROM t"), 1) << message(s);
  EXPECT_EQ(texts(), (std::vector<std::string>{"DECLARE " + cursor + " CURSOR FOR SELECT a FROM t", "OPEN " + cursor}));
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);

  // With options support the PREPARE carries the statement's option flags.
  rda_cliSetStmtOptionsSupport(c_, 3);
  RDA_CliHSTMT* o = stmt();
  ASSERT_EQ(prepare(o, "DELETE FROM t"), 0) << message(o);
  EXPECT_EQ(texts().back(), "PREPARE stmt_id_" + id(o) + " STMT_OPTIONS 'op=34' FROM :H" + std::string(1, '\0'));
}

TEST_F(ClientSql, TextsOfTheOptimisedOpenFollowTheConnectionsWords) {
  up({});
  ASSERT_EQ(c_->optLevel, 1u);
  RDA_CliHSTMT* s = stmt();
  const std::string n = id(s);
  const std::string cursor = "SQLCUR" + n;
  ASSERT_EQ(run(s, "SELECT 1"), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"DECLARE " + cursor +
                                              "  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR SELECT 1"});
  EXPECT_EQ(s->state & RDA_CLI_STMT_PREPARED, RDA_CLI_STMT_PREPARED) << "a direct execution leaves it prepared";
  ASSERT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN);
  EXPECT_EQ(s->endOfData, 1u) << "the one row came with the end of the data";
  EXPECT_EQ(s->errors.count, 0u) << "02000 removed";
  // The server has closed it already: no CLOSE.
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, 0u);
  EXPECT_TRUE(texts().empty());

  struct Words {
    uint32_t options;
    uint32_t maxRows;
    std::string text;
  };
  const Words words[] = {
      {3, 1, "DECLARE " + cursor + "  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR stmt_id_" + n},
      {3, 0, "DECLARE " + cursor + "  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR stmt_id_" + n},
      {0, 1, "DECLARE " + cursor + "  CURSOR MAXROWS 0 FOR stmt_id_" + n},
      {0, 0, "DECLARE " + cursor + "  CURSOR FOR stmt_id_" + n},
  };
  for (const Words& w : words) {
    rda_cliSetStmtOptionsSupport(c_, w.options);
    rda_cliSetMaxRowsOption(c_, w.maxRows);
    ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
    EXPECT_EQ(texts(), std::vector<std::string>{w.text});
    ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  }
  rda_cliSetStmtOptionsSupport(c_, 3);

  // An answer of "02000" alone: no rows, and no failure.
  ASSERT_EQ(run(s, "SELECT 1 WHERE 0"), 0) << message(s);
  EXPECT_EQ(s->endOfData, 1u);
  EXPECT_EQ(s->errors.count, 0u) << "the 02000 is removed";
  EXPECT_EQ(s->blockReceived, 0u);
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);
  texts();

  // A prepared query runs as one optimised DECLARE.
  ASSERT_EQ(prepare(s, "SELECT 2"), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"PREPARE stmt_id_" + n + " STMT_OPTIONS 'op=34' FROM :H" +
                                              std::string(1, '\0')})
      << "no DESCRIBE: the PREPARE's confirm describes the result";
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  EXPECT_EQ(texts().size(), 1u);
}

TEST_F(ClientSql, ResultSetsOfAProcedureCallAndItsOutputValues) {
  up({});
  RDA_CliHSTMT* s = stmt();
  const std::string n = id(s);
  const std::string options = " CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR stmt_id_" + n;
  ASSERT_EQ(run(s, "INSERT INTO rdapeer_procedures VALUES ('two', 'RESULT', 1, 'SELECT 1'), "
                   "('two', 'RESULT', 2, 'SELECT 2'), ('outp', 'OUT', 1, 'x INTEGER'), "
                   "('outp', 'OUTPUT', 1, 'SELECT 42')"),
            0)
      << message(s);
  ASSERT_EQ(run(s, "CALL two"), 0) << message(s);
  EXPECT_EQ(s->moreResults, 1u);
  texts();
  EXPECT_EQ(rda_cliMoreResults(s), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"DECLARE SQLCUR" + n + " NEXT" + options});
  EXPECT_EQ(s->moreResults, 0u) << "the last set ended with 02001";
  EXPECT_EQ(s->errors.count, 0u);
  EXPECT_EQ(rda_cliMoreResults(s), 100);
  EXPECT_TRUE(texts().empty()) << "no request";

  // An output parameter: the call's own open asks for it as fetch data,
  // then the RESULT cursor brings it.
  int32_t out = 0;
  int64_t outInd = 0;
  ASSERT_EQ(rda_cliBindParam(s, 1, RDA_CLI_C_SLONG, RDA_CLI_SQL_INTEGER, 10, 0, &out, &outInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, 4),
            0);
  ASSERT_EQ(run(s, "CALL outp(?)"), 0) << message(s);
  const std::vector<std::string> t = texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], "DECLARE SQLCUR" + n + " RESULT" + options);
}

// ---------------------------------------------------------------------------
// Outcomes

TEST_F(ClientSql, AStaleConnectionDiagnosticFailsTheNextPrimitiveWithoutANewOne) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(prepare(s, "SELECT 1"), 0);
  RDA_cliAddError(&c_->errors, RDA_CLI_ROW_CONNECTION_LOST, 0, nullptr, c_->tree);
  EXPECT_EQ(RDA_cliDescribeSQL(s), 0);
  EXPECT_EQ(s->errors.count, 0u);
  EXPECT_EQ(c_->errors.count, 1u);
  EXPECT_EQ(texts().back(), "DESCRIBE stmt_id_" + id(s)) << "sent, and answered";
  // The release counts its confirm first.
  EXPECT_EQ(RDA_cliReleaseSQL(s), 1);
}

TEST_F(ClientSql, AnAnswerThatNeverComesFailsEachPrimitiveWithItsOwnText) {
  // Each association's first R-ExecuteDBL is answered, then none.
  up({"--mute-after", "1"}, 1, "SessPollWaitTime=1\n");
  struct Case {
    const char* name;
    int32_t (*call)(RDA_CliHSTMT*);
    const char* text;
  };
  const Case cases[] = {
      {"DECLARE", [](RDA_CliHSTMT* s) { return RDA_cliOpenCursor(s, nullptr, nullptr); }, "No confirmation received"},
      {"PREPARE", RDA_cliPrepareSQL, "No response from server within the timeout period"},
      {"EXECUTE", RDA_cliExecSQL, "No response from server within the timeout period."},
      {"optimised DECLARE", [](RDA_CliHSTMT* s) { return RDA_opt1_cliOpenCursor(s, nullptr, nullptr, 0); },
       "No confirmation received within the timeout period."},
      {"FETCH", RDA_cliFetchCol, "No response from server within the timeout period"},
  };
  bool first = true;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    if (!first) {
      c_ = conn();
      ASSERT_EQ(connect(c_, "rdatest"), 0);
    }
    first = false;
    RDA_CliHSTMT* s = stmt();
    s->fetchSize = 1;
    // Two answered: a query whose first row came, the second pending.
    ASSERT_EQ(run(s, "SELECT 1 UNION ALL SELECT 2"), 0) << message(s);
    s->sqlText = nullptr;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(k.call(s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    EXPECT_EQ(lastDiag(s->errors).state, "40001");
    EXPECT_EQ(lastDiag(s->errors).message, std::string("Transaction rollback - Statement completion unknown - ") + k.text);
    s->state &= ~RDA_CLI_STMT_CURSOR_OPEN;
    // A request is still outstanding: the association goes.
    abortConnection(c_);
    EXPECT_EQ(rda_cliDisconnect(c_), 1) << "frees the statements of a connection no longer associated";
  }
}

// ---------------------------------------------------------------------------
// On the wire, through a relay between the client and the peer.

class ClientSqlWire : public ClientEnvTest {
 protected:
  // The peer behind a relay steered by `steer`, the client's environment and
  // a connection connected through the relay.
  void up(RecordingRelay::Steer steer, int responseTimeOut = 30) {
    peer_ = std::make_unique<PeerProcess>(dir("peer"), std::vector<std::string>{});
    ASSERT_GT(peer_->port(), 0);
    relay_ = std::make_unique<RecordingRelay>();
    ASSERT_TRUE(relay_->ok());
    relay_->steerFromServer(std::move(steer));
    relay_->start(peer_->port());
    start(peer_->port(), responseTimeOut, "SessPollWaitTime=1\n");
    c_ = conn();
    const std::string there = "ADDRESS=127.0.0.1;PORT=" + std::to_string(relay_->port());
    ASSERT_EQ(connect(c_, "relayed", there.c_str()), 0) << lastDiag(c_->errors).message;
  }
  // Every octet the client has sent, in order.
  std::string sent() const {
    std::string out;
    for (const CapturedTpkt& t : relay_->tpkts())
      if (t.fromClient) out += t.octets;
    return out;
  }

  std::unique_ptr<PeerProcess> peer_;
  std::unique_ptr<RecordingRelay> relay_;
  RDA_CliHDBC* c_ = nullptr;
};

bool inTransaction(const RDA_CliHDBC* c) { return (c->state & RDA_CLI_ST_TRANSACTION) != 0; }

// The minimal two's-complement contents of a positive INTEGER.
Bytes integerContents(uint32_t v) {
  Bytes out;
  do {
    out.insert(out.begin(), static_cast<uint8_t>(v & 0xFF));
    v >>= 8;
  } while (v != 0);
  if ((out.front() & 0x80) != 0) out.insert(out.begin(), 0);
  return out;
}

TEST_F(ClientSqlWire, PrepareSendsItsTextWithAZeroOctetAndTheSqlAsOneWideCharacterArgument) {
  up(nullptr);
  RDA_CliHSTMT* s = nullptr;
  ASSERT_EQ(rda_cliAllocStmt(c_, &s), 0);
  ASSERT_EQ(rda_cliPrepareW(s, L"SELECT 1", NTS), 0) << lastDiag(s->errors).message;
  const std::string text = "PREPARE stmt_id_" + std::to_string(s->opId) + " STMT_OPTIONS 'op=34' FROM :H";
  // R-ExecuteDBL: [19] { operation id, [0] { [1] statement { [0] the text
  // and its zero octet }, [2] { [0] argument descriptors { WCHAR(8),
  // nullable left out, second flag FALSE } }, [4] { repetition 1, [1] {
  // one value list { [13] the SQL in UTF-8 } } } } }.
  const Bytes statement = cx(1, tlv(0x80, Bytes(text.begin(), text.end()) + hex("00")));
  const Bytes spec = seq(cx(19, hex("02 01 08 01 01 00")));
  const Bytes values = cx(1, tlv(0xA1, seq(px(13, Bytes{'S', 'E', 'L', 'E', 'C', 'T', ' ', '1'}))));
  const Bytes idu = cx(19, tlv(0x02, integerContents(s->opId)) +
                               cx(0, statement + cx(2, cx(0, spec)) + cx(4, hex("80 01 01") + values)));
  const std::string wire = sent();
  EXPECT_NE(wire.find(std::string(idu.begin(), idu.end())), std::string::npos);
}

TEST_F(ClientSqlWire, ACommitThatIsNeverAnsweredIsNoSuccess) {
  // The server's TPKTs: 0 the transport's connect confirm, 1 the session
  // accept, 2 and 3 the answers of R-Initialize and R-Open; R-BeginTransaction
  // has none, so 4 answers the R-Commit.
  up([](size_t i, const std::string& t) { return i == 4 ? std::string() : t; }, 1);
  ASSERT_EQ(RDA_cliBgnTransOnConnection(c_), 1);
  EXPECT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), -1);
  EXPECT_EQ(lastDiag(c_->errors).state, "40001");
  EXPECT_EQ(lastDiag(c_->errors).message,
            "Transaction rollback - Statement completion unknown - No confirmation received");
  EXPECT_TRUE(inTransaction(c_)) << "still the one the server never ended";
}

}  // namespace
