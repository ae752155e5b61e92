// Prepare and execute against rdapeer through the rda_cli* calls: texts and
// lengths as callers give them, parameter counts, cursors in the way,
// driver commands, the transactions executions begin, texts longer than any
// fixed buffer, and a table filled, changed, committed and rolled back at
// each level the server may answer with.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "integration/client_sql_fixture.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/runtime/xm.h"
#include "support/cli_diag.h"
#include "support/locale.h"
#include "support/trace_capture.h"

namespace {

using ClientExec = ClientSql;

bool inTransaction(const RDA_CliHDBC* c) { return (c->state & RDA_CLI_ST_TRANSACTION) != 0; }
std::wstring sqlTextOf(const RDA_CliHSTMT* s) { return s->sqlText != nullptr ? s->sqlText : L"(none)"; }

TEST_F(ClientExec, LeadingBlanksAndLengthsAsCallersGiveThem) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(rda_cliPrepareW(s, L"   SELECT 1", 11), 0) << message(s);
  EXPECT_EQ(sqlTextOf(s), L"SELECT 1");
  ASSERT_EQ(rda_cliPrepare(s, "  SELECT 2 and more", 10), 0) << message(s);
  EXPECT_EQ(sqlTextOf(s), L"SELECT 2");
  EXPECT_EQ(texts().back(), "PREPARE stmt_id_" + id(s) + " STMT_OPTIONS 'op=34' FROM :H" + std::string(1, '\0'));
  EXPECT_EQ(received().size(), 0u);

  // The skip of blanks ends with a counted text.
  EXPECT_EQ(rda_cliPrepareW(s, L"    x", 2), -1) << "an empty statement";
  EXPECT_EQ(sqlTextOf(s), L"");
  texts();

  // Lengths below 0 other than NTS, and no text at all, are refused before
  // anything is read or sent.
  struct Call {
    const char* name;
    int32_t rc;
  };
  const Call calls[] = {
      {"rda_cliPrepare", rda_cliPrepare(s, "SELECT 1", -5)},
      {"rda_cliPrepareW", rda_cliPrepareW(s, L"SELECT 1", -1)},
      {"rda_cliExecDirectNew", rda_cliExecDirectNew(s, L"SELECT 1", -100)},
      {"rda_cliExecDirect", rda_cliExecDirect(s, L"SELECT 1", -2)},
      {"rda_cliExecImmediateSpecialCmd", rda_cliExecImmediateSpecialCmd(s, L"_QV_X", -4)},
      {"rda_cliPrepare NULL", rda_cliPrepare(s, nullptr, NTS)},
      {"rda_cliExecDirectNew NULL", rda_cliExecDirectNew(s, nullptr, 3)},
  };
  for (const Call& c : calls) EXPECT_EQ(c.rc, -1) << c.name;
  EXPECT_EQ(lastDiag(s->errors).state, "S1009");
  EXPECT_EQ(lastDiag(s->errors).message, "CLI error: Invalid argument value - SQL text is NULL");
  EXPECT_TRUE(texts().empty());
  EXPECT_EQ(rda_cliPrepare(s, "SELECT 1", -5), -1);
  EXPECT_EQ(lastDiag(s->errors).message, "CLI error: Invalid argument value - Invalid string length -5");

  // Not a statement.
  EXPECT_EQ(rda_cliPrepareW(reinterpret_cast<RDA_CliHSTMT*>(c_), L"SELECT 1", NTS), -2);
  EXPECT_EQ(rda_cliExecute(nullptr), -2);
  EXPECT_EQ(rda_cliMoreResults(reinterpret_cast<RDA_CliHSTMT*>(env_)), -2);
}

TEST_F(ClientExec, CountedAndTerminatedTextsConvertAlikeInTheLocale) {
  LocaleGuard utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  up({});
  RDA_CliHSTMT* s = stmt();
  const std::string sql = "SELECT 'caf\xC3\xA9'";
  ASSERT_EQ(rda_cliPrepare(s, sql.c_str(), NTS), 0) << message(s);
  EXPECT_EQ(sqlTextOf(s), L"SELECT 'caf\u00e9'");
  ASSERT_EQ(rda_cliPrepare(s, sql.c_str(), static_cast<int32_t>(sql.size())), 0) << message(s);
  EXPECT_EQ(sqlTextOf(s), L"SELECT 'caf\u00e9'") << "one character either way";
  const std::vector<PeerRecordLine> got = received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].all("arg"), std::vector<std::string>{"WCHAR:" + sql});
  EXPECT_EQ(got[1].all("arg"), got[0].all("arg"));

  // Bytes the locale cannot read.
  const std::string bad = "SELECT '\xFF'";
  EXPECT_EQ(rda_cliPrepare(s, bad.c_str(), NTS), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "22018");
  EXPECT_EQ(rda_cliPrepare(s, bad.c_str(), static_cast<int32_t>(bad.size())), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "22018");
  EXPECT_TRUE(texts().empty());
}

TEST_F(ClientExec, ParameterMarkersAreCountedUnlessTheServerDescribesThem) {
  // The peer describes no parameters.
  up({"--info", "8196=1"});
  const wchar_t* insert = L"INSERT INTO t VALUES (?, :a, 'x?y', ?)";
  RDA_CliHSTMT* s = stmt();
  int16_t n = -1;
  EXPECT_EQ(rda_cliNumParams(s, &n), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "S1010");
  EXPECT_EQ(lastDiag(s->errors).message, "CLI error: Function sequence error - SQL statement not prepared");
  ASSERT_EQ(run(s, "CREATE TABLE t (a, b, c, d)"), 0) << message(s);
  ASSERT_EQ(rda_cliPrepareW(s, insert, NTS), 0) << message(s);
  EXPECT_EQ(rda_cliNumParams(s, &n), 0);
  EXPECT_EQ(n, 0) << "the statement's options say the server describes them";
  rda_cliSetStmtOptionsSupport(c_, 1);
  RDA_CliHSTMT* counted = stmt();
  ASSERT_EQ(rda_cliPrepareW(counted, insert, NTS), 0) << message(counted);
  EXPECT_EQ(rda_cliNumParams(counted, &n), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(rda_cliNumParams(counted, nullptr), 0);
}

TEST_F(ClientExec, ParameterCountOfAServerThatDescribesThem) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (a, b, c, d)"), 0) << message(s);
  ASSERT_EQ(rda_cliPrepareW(s, L"INSERT INTO t VALUES (?, ?, 'x', ?)", NTS), 0) << message(s);
  int16_t n = -1;
  EXPECT_EQ(rda_cliNumParams(s, &n), 0);
  EXPECT_EQ(n, 3);
}

TEST_F(ClientExec, ACursorInTheWayIsRefused) {
  up({"--init-data", initData(64)});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(prepare(s, "SELECT 1 UNION ALL SELECT 2"), 0) << message(s);
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  ASSERT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN);
  texts();
  EXPECT_EQ(prepare(s, "SELECT 3"), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "24000");
  EXPECT_EQ(lastDiag(s->errors).message, "Invalid cursor state - Cursor is already open");
  EXPECT_EQ(run(s, "SELECT 3"), -1);
  EXPECT_EQ(lastDiag(s->errors).message, "Invalid cursor state - Cursor is already open");
  EXPECT_TRUE(texts().empty());
  // A driver command closes it first.
  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(s, L"_QV_NOTHING", NTS), 0) << message(s);
  EXPECT_EQ(texts(), (std::vector<std::string>{"CLOSE SQLCUR" + id(s), "EXECUTE IMMEDIATE :H"}));

  // At level 1 the open brings the first rows: they are pending.
  up({});
  RDA_CliHSTMT* rows = stmt();
  rows->fetchSize = 1;
  ASSERT_EQ(prepare(rows, "SELECT 1 UNION ALL SELECT 2"), 0) << message(rows);
  ASSERT_EQ(rda_cliExecute(rows), 0) << message(rows);
  EXPECT_EQ(rows->blockReceived, 1u);
  texts();
  EXPECT_EQ(rda_cliExecute(rows), -1);
  EXPECT_EQ(lastDiag(rows->errors).message, "Invalid cursor state - Pending result still exist");
  // The next result set closes the cursor, and with it the rows.
  EXPECT_EQ(rda_cliMoreResults(rows), 100);
  EXPECT_EQ(texts(), (std::vector<std::string>{"CLOSE SQLCUR" + id(rows), "DECLARE SQLCUR" + id(rows) +
                                               " NEXT CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR stmt_id_" +
                                               id(rows)}));
}

TEST_F(ClientExec, DriverCommandsUpToTheirLimit) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(rda_cliExecImmediateSpecialCmd(s, L"  _QV_SET_INFO SQL_AUTOCOMMIT '0'", NTS), 0) << message(s);
  std::vector<PeerRecordLine> got = received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].field("text"), "EXECUTE IMMEDIATE :H");
  EXPECT_EQ(got[0].all("arg"), std::vector<std::string>{"WCHAR:_QV_SET_INFO SQL_AUTOCOMMIT '0'"});
  EXPECT_TRUE(inTransaction(c_)) << "begun before the command";

  std::wstring longest = L"_QV_" + std::wstring(8188, L'x');
  ASSERT_EQ(rda_cliExecImmediateSpecialCmd(s, longest.c_str(), NTS), 0) << message(s);
  got = received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].all("arg"), std::vector<std::string>{"WCHAR:_QV_" + std::string(8188, 'x')});
  const std::wstring over = longest + L"y";
  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(s, over.c_str(), NTS), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "40001");
  EXPECT_EQ(lastDiag(s->errors).message, "Transaction rollback - Statement completion unknown - Length of internal "
                                         "command exceeds supported limit of 8192.");
  // A counted text is taken at its length.
  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(s, over.c_str(), 8192), 0) << message(s);
  EXPECT_TRUE(received().size() == 1u);

  // A command the server answers with rows leaves them for the fetch.
  ASSERT_EQ(rda_cliExecImmediateSpecialCmd(s, L"_QV_GET_INFO 8196 INFO_INT", NTS), 0) << message(s);
  EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN);
  ASSERT_EQ(s->cols.count, 1u);
}

TEST_F(ClientExec, AFailedXaCommandIsTracedAsAWarningAndAnyOtherAsAFailure) {
  // The peer has no transaction manager: it refuses XA commands.
  up({});
  RunningTraceCapture trace(rda_cliTMHandle, 8 | 32);
  RDA_CliHSTMT* s = stmt();
  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(s, L"_qv_set_info xa START", NTS), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "HYC00");
  EXPECT_TRUE(trace.contains("*** rda_cliExecDirect: executed with warning: _qv_set_info xa START"));
  EXPECT_FALSE(trace.contains("can't execute"));

  trace.clear();
  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(s, L"_QV_GET_INFO XA", NTS), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "42000");
  EXPECT_TRUE(trace.contains("*** rda_cliExecDirect: can't execute _QV_GET_INFO XA"));
  EXPECT_FALSE(trace.contains("executed with warning"));
}

TEST_F(ClientExec, TheFirstExecutionBeginsTheTransactionAndARefusedBeginEndsIt) {
  // The second R-BeginTransaction of each association is refused.
  up({"--fail-begin", "2"});
  RDA_CliHSTMT* s = stmt();
  ASSERT_FALSE(inTransaction(c_));
  uint32_t op = gdwRDAOpID;
  ASSERT_EQ(run(s, "CREATE TABLE t (a)"), 0) << message(s);
  EXPECT_TRUE(inTransaction(c_));
  EXPECT_EQ(gdwRDAOpID, op + 1) << "one R-BeginTransaction, not waited for";
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;
  // The commit's confirm began the next transaction; the peer refuses it,
  // and its refusal comes while the next request waits.
  EXPECT_TRUE(inTransaction(c_));
  // Whether the refusal ends the wait before the statement's own answer
  // comes depends on when it arrives; either way the connection has it.
  const int32_t rc = run(s, "INSERT INTO t VALUES (1)");
  EXPECT_TRUE(rc == 0 || rc == -1) << rc;
  EXPECT_FALSE(inTransaction(c_));
  EXPECT_EQ(lastDiag(c_->errors).state, "HZ180");
  EXPECT_EQ(lastDiag(c_->errors).message, "RDA error: Operation aborted - transaction refused");
  EXPECT_EQ(s->errors.count, 0u);
  // The next execution begins one again.
  RDA_cliClearErrorList(&c_->errors);
  op = gdwRDAOpID;
  EXPECT_EQ(run(s, "INSERT INTO t VALUES (2)"), 0) << message(s);
  EXPECT_TRUE(inTransaction(c_));
  EXPECT_EQ(gdwRDAOpID, op + 1);
}

TEST_F(ClientExec, WithOption1001ACommitClosesEveryCursorAndARollbackNone) {
  up({"--init-data", initData(64)});
  RDA_CliHSTMT* a = stmt();
  RDA_CliHSTMT* b = stmt();
  for (RDA_CliHSTMT* s : {a, b}) {
    ASSERT_EQ(prepare(s, "SELECT 1 UNION ALL SELECT 2"), 0) << message(s);
    ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  }
  rda_cliSetConnectOption(c_, RDA_CLI_CONN_OPT_1001, 1);
  texts();
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_ROLLBACK), 0) << lastDiag(c_->errors).message;
  EXPECT_TRUE(texts().empty());
  for (RDA_CliHSTMT* s : {a, b}) EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN);
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;
  EXPECT_EQ(texts(), (std::vector<std::string>{"CLOSE SQLCUR" + id(a), "CLOSE SQLCUR" + id(b)}));
  for (RDA_CliHSTMT* s : {a, b}) EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, 0u);

  // Without the option the cursors stay open.
  for (RDA_CliHSTMT* s : {a, b}) ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  rda_cliSetConnectOption(c_, RDA_CLI_CONN_OPT_1001, 0);
  texts();
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;
  EXPECT_TRUE(texts().empty());
  for (RDA_CliHSTMT* s : {a, b}) EXPECT_EQ(s->state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN);
}

TEST_F(ClientExec, TextsAndListsBeyondAnyFixedBufferGoOutWhole) {
  up({"--init-data", initData(64)});
  RDA_CliHSTMT* s = stmt();
  // A SELECT of 100,000 characters.
  const std::string literal(99990, 'q');
  const std::string select = "SELECT '" + literal + "'";
  ASSERT_EQ(run(s, select), 0) << message(s);
  EXPECT_EQ(texts(), std::vector<std::string>{"DECLARE SQLCUR" + id(s) + "  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=34' FOR " +
                                              select});
  ASSERT_EQ(rda_cliFreeStmt(s, 0), 0);

  // 10,000 parameters: the OPEN's USING list.
  constexpr int kMany = 10000;
  std::string sql = "SELECT count(*) FROM (VALUES (?)";
  for (int i = 1; i < kMany; ++i) sql += ",(?)";
  sql += ")";
  ASSERT_EQ(prepare(s, sql), 0) << message(s);
  std::vector<int32_t> values(kMany, 7);
  std::vector<int64_t> lengths(kMany, 4);
  for (int i = 0; i < kMany; ++i)
    ASSERT_EQ(rda_cliBindParam(s, i + 1, RDA_CLI_C_SLONG, RDA_CLI_SQL_INTEGER, 10, 0, &values[i], &lengths[i],
                               nullptr, RDA_CLI_PARAM_INPUT, 4),
              0);
  texts();
  ASSERT_EQ(rda_cliExecute(s), 0) << message(s);
  std::string open = "OPEN SQLCUR" + id(s) + " USING";
  for (int i = 0; i < kMany; ++i) open += i + 1 < kMany ? " :H," : " :H";
  const std::vector<std::string> t = texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], open);

  // 10,000 columns: the FETCH's INTO list. The peer's SQLite has no such
  // result; the statement's cursor of one column is given 9,999 more
  // records.
  for (int i = 2; i <= kMany; ++i) {
    auto* col = static_cast<RDA_CliCol*>(_xm_allocItem(s->tree, sizeof(RDA_CliCol), XM_ZERO));
    ASSERT_NE(col, nullptr);
    col->colNum = static_cast<int16_t>(i);
    RDA_cliRingInit(&col->values);
    RDA_cliRingAppend(&s->cols, &col->links);
  }
  ASSERT_EQ(s->cols.count, static_cast<uint32_t>(kMany));
  RDA_cliFetchCol(s);
  std::string fetch = "FETCH SQLCUR" + id(s) + " INTO";
  for (int i = 0; i < kMany; ++i) fetch += i + 1 < kMany ? " :H," : " :H";
  EXPECT_EQ(texts(), std::vector<std::string>{fetch});
}

TEST_F(ClientExec, ARequestThatCannotBeBuiltLeavesNothingBehind) {
  up({});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(prepare(s, "SELECT 1"), 0) << message(s);
  texts();
  // Each allocation of the PREPARE's request in turn; then the DESCRIBE's
  // first. (What the PREPARE received is dropped by the next request.)
  RDA_cliClearResult(s);
  const long before = xmLive();
  for (long n = 0; n < 4; ++n) {
    EXPECT_EQ(withBudget(n, [&] { return RDA_cliPrepareSQL(s); }), 0) << n;
    EXPECT_EQ(cliDiags(s->errors).size(), 1u) << n;
    EXPECT_EQ(lastDiag(s->errors).state, "S1001") << n;
    RDA_cliClearErrorList(&s->errors);
    EXPECT_EQ(xmLive(), before) << n;
  }
  EXPECT_EQ(withBudget(0, [&] { return RDA_cliDescribeSQL(s); }), 0);
  EXPECT_EQ(cliDiags(s->errors).size(), 1u) << "the builder's own, not a second";
  EXPECT_EQ(lastDiag(s->errors).state, "S1001");
  RDA_cliClearErrorList(&s->errors);
  EXPECT_EQ(xmLive(), before);
  EXPECT_TRUE(texts().empty()) << "nothing sent";
}

TEST_F(ClientExec, StatementsOfAConnectionTheServerAbortedEndQuickly) {
  // The peer aborts an association at its fourth request; another
  // connection's transport keeps the stack's loop busy meanwhile.
  up({"--abort-after", "3"});
  RDA_CliHDBC* other = conn();
  ASSERT_EQ(connect(other, "rdatest"), 0);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(prepare(s, "SELECT 1"), 0) << message(s);
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(run(s, "SELECT 2"), -1);
  EXPECT_EQ(c_->state & RDA_CLI_ST_ASSOCIATED, 0u);
  EXPECT_EQ(rda_cliFreeStmt(s, 0), 0);
  EXPECT_EQ(rda_cliFreeStmt(s, 1), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

// ---------------------------------------------------------------------------
// A table end to end, at each level the server may answer with.

class ClientTable : public ClientSql, public ::testing::WithParamInterface<int> {
 protected:
  // Rows of the peer's file, read beside it.
  int64_t count(const std::string& where = "") {
    sqlite3* db = nullptr;
    int64_t n = -1;
    if (sqlite3_open_v2(db_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* q = nullptr;
      const std::string sql = "SELECT count(*) FROM t" + where;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
        n = sqlite3_column_int64(q, 0);
      sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return n;
  }
  std::string db_;
};

TEST_P(ClientTable, FilledChangedCommittedAndRolledBack) {
  db_ = (dir("data") / "table.sqlite").string();
  std::filesystem::create_directories(dir("data"));
  up({"--init-data", initData(GetParam()), "--db", db_});
  ASSERT_EQ(c_->optLevel, GetParam() == 64 ? 0u : 1u);
  ASSERT_EQ(c_->numericFormat, GetParam() == 1 ? 0u : 1u);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (a INTEGER PRIMARY KEY, b VARCHAR(20), c NUMERIC(10,2))"), 0) << message(s);
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;

  // A thousand rows through one prepared INSERT.
  ASSERT_EQ(prepare(s, "INSERT INTO t VALUES (?, ?, ?)"), 0) << message(s);
  int32_t a = 0;
  char b[24] = "";
  char c[16] = "";
  int64_t aLen = 4;
  int64_t bLen = RDA_CLI_LEN_NTS;
  int64_t cLen = RDA_CLI_LEN_NTS;
  ASSERT_EQ(rda_cliBindParam(s, 1, RDA_CLI_C_SLONG, RDA_CLI_SQL_INTEGER, 10, 0, &a, &aLen, nullptr,
                             RDA_CLI_PARAM_INPUT, 4),
            0);
  ASSERT_EQ(rda_cliBindParam(s, 2, RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR, 20, 0, b, &bLen, nullptr, RDA_CLI_PARAM_INPUT,
                             sizeof b),
            0);
  ASSERT_EQ(rda_cliBindParam(s, 3, RDA_CLI_C_CHAR, RDA_CLI_SQL_NUMERIC, 10, 2, c, &cLen, nullptr, RDA_CLI_PARAM_INPUT,
                             sizeof c),
            0);
  for (a = 1; a <= 1000; ++a) {
    std::snprintf(b, sizeof b, "row %d", a);
    std::snprintf(c, sizeof c, "%d.%02d", a, a % 100);
    ASSERT_EQ(rda_cliExecute(s), 0) << a << " " << message(s);
  }
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;
  EXPECT_EQ(count(), 1000);
  EXPECT_EQ(count(" WHERE b = 'row 500' AND c = 500.00"), 1);

  // Changed, and committed.
  RDA_CliHSTMT* u = stmt();
  ASSERT_EQ(run(u, "UPDATE t SET b = 'even' WHERE a % 2 = 0"), 0) << message(u);
  EXPECT_EQ(u->rowCount, 500u);
  ASSERT_EQ(run(u, "DELETE FROM t WHERE a > 900"), 0) << message(u);
  EXPECT_EQ(u->rowCount, 100u);
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;
  EXPECT_EQ(count(), 900);
  EXPECT_EQ(count(" WHERE b = 'even'"), 450);

  // Deleted, and rolled back: the rows come back.
  ASSERT_EQ(run(u, "DELETE FROM t"), 0) << message(u);
  EXPECT_EQ(u->rowCount, 900u);
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_ROLLBACK), 0) << lastDiag(c_->errors).message;
  EXPECT_EQ(count(), 900);

  // The server's refusals, with its message.
  a = 1;
  EXPECT_EQ(rda_cliExecute(s), -1);
  EXPECT_EQ(lastDiag(s->errors).state, "23000");
  EXPECT_NE(lastDiag(s->errors).message.find("UNIQUE constraint failed: t.a"), std::string::npos)
      << lastDiag(s->errors).message;
  EXPECT_EQ(run(u, "SELEKT 1"), -1);
  EXPECT_EQ(lastDiag(u->errors).state, "42000");
  EXPECT_NE(lastDiag(u->errors).message.find("syntax error"), std::string::npos) << lastDiag(u->errors).message;

  EXPECT_EQ(rda_cliExecImmediateSpecialCmd(u, L"_QV_SET_INFO SQL_AUTOCOMMIT '0'", NTS), 0) << message(u);
  EXPECT_EQ(texts().back(), "EXECUTE IMMEDIATE :H");
}

INSTANTIATE_TEST_SUITE_P(Levels, ClientTable, ::testing::Values(64, 65, 1), [](const auto& info) {
  return info.param == 64 ? std::string("Level0") : info.param == 65 ? std::string("Level1Digits")
                                                                     : std::string("Level1EightByte");
});

}  // namespace
