// The test peer's SQLite side, in memory: R-ExecuteDBL requests built with
// the stack's own builders are run on an in-memory database, and the
// descriptors, rows and exceptions of the answer are read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "peer/peer_auth.h"
#include "peer/peer_fixture.h"
#include "peer/peer_sql.h"
#include "support/credentials.h"

namespace {

using peer::ColType;
using peer::ExecAnswer;

// Named markers become positional, N'x' literals plain ones and the owner
// of a catalog table goes, all outside literals, quoted names and comments.
TEST(PeerMarkers, TextsAreMadeWhatSQLiteReads) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"INSERT INTO t VALUES (:H, :H, ?)", "INSERT INTO t VALUES (?, ?, ?)"},
      {"SELECT ':x', \"a:b\", [c:d], `e:f` FROM t WHERE a = :a_1", "SELECT ':x', \"a:b\", [c:d], `e:f` FROM t WHERE a = ?"},
      {"SELECT 'it''s :x' || :y", "SELECT 'it''s :x' || ?"},
      {"SELECT 1 -- :x\n, :y /* :z */", "SELECT 1 -- :x\n, ? /* :z */"},
      {"SELECT :1, 'open :x", "SELECT :1, 'open :x"},
      {"SELECT * FROM SYS.QV_TABLES  WHERE TABLE_NAME LIKE N'T%' ", "SELECT * FROM QV_TABLES  WHERE TABLE_NAME LIKE 'T%' "},
      {"SELECT main.t.a, IN'x', 'N''y', N'z',n'' FROM main.t", "SELECT main.t.a, IN'x', 'N''y', 'z','' FROM main.t"},
      {"SELECT 1 FROM \"SYS\".QV_INFO, owner.qv_types, a.b.QV_FKEYS", "SELECT 1 FROM \"SYS\".QV_INFO, qv_types, a.QV_FKEYS"},
  };
  for (const auto& c : cases) EXPECT_EQ(peer::sqliteText(c.in), c.out) << c.in;
}

TEST(PeerTypes, DeclaredTypeChoosesTheDescription) {
  const struct {
    const char* decl;
    int storage;
    ColType type;
    int32_t precision;
    int32_t scale;
  } cases[] = {
      {"INTEGER", SQLITE_TEXT, ColType::Integer, 10, 0},
      {"bigint", SQLITE_NULL, ColType::Integer, 10, 0},
      {"NUMERIC(10,2)", SQLITE_NULL, ColType::Numeric, 10, 2},
      {"decimal(7)", SQLITE_NULL, ColType::Numeric, 7, 0},
      {"NUMERIC", SQLITE_NULL, ColType::Numeric, 38, 0},
      {"VARCHAR(20)", SQLITE_INTEGER, ColType::VarChar, 20, 0},
      {"TEXT", SQLITE_NULL, ColType::VarChar, 255, 0},
      {"long varchar", SQLITE_NULL, ColType::VarChar, 255, 0},
      {"VARBINARY(16)", SQLITE_NULL, ColType::VarBinary, 16, 0},
      {"BLOB", SQLITE_NULL, ColType::VarBinary, 0, 0},
      {"NVARCHAR(8)", SQLITE_NULL, ColType::WVarChar, 8, 0},
      {"NCHAR", SQLITE_TEXT, ColType::WVarChar, 255, 0},
      {"NTEXT", SQLITE_NULL, ColType::WVarChar, 255, 0},
      {"DOUBLE PRECISION", SQLITE_NULL, ColType::Double, 15, 0},
      {"DATE", SQLITE_NULL, ColType::Date, 0, 0},
      {"TIME", SQLITE_NULL, ColType::Time, 0, 0},
      {"TIMESTAMP", SQLITE_NULL, ColType::Timestamp, 0, 0},
      {"DATETIME", SQLITE_NULL, ColType::Timestamp, 0, 0},
      {"TIMESTAMP(9)", SQLITE_NULL, ColType::Timestamp, 9, 0},
      // Without a telling declaration: the first value's storage class.
      {nullptr, SQLITE_INTEGER, ColType::Integer, 10, 0},
      {nullptr, SQLITE_FLOAT, ColType::Double, 15, 0},
      {nullptr, SQLITE_BLOB, ColType::VarBinary, 0, 0},
      {"BOOLEAN", SQLITE_NULL, ColType::VarChar, 255, 0},
  };
  for (const auto& c : cases) {
    const peer::ColumnType t = peer::columnTypeOf(c.decl, c.storage);
    const bool longText = c.decl != nullptr && std::string(c.decl) == "long varchar";
    EXPECT_EQ(t.isLong, (c.type == ColType::VarBinary && c.precision == 0) || longText) << (c.decl ? c.decl : "(none)");
    EXPECT_EQ(t.type, c.type) << (c.decl ? c.decl : "(none)");
    EXPECT_EQ(t.precision, c.precision) << (c.decl ? c.decl : "(none)");
    EXPECT_EQ(t.scale, c.scale) << (c.decl ? c.decl : "(none)");
  }
}

TEST_F(PeerSql, QueryDescribesItsColumnsAndCoercesEveryValue) {
  sql("CREATE TABLE t (id INTEGER NOT NULL, d DOUBLE, s VARCHAR(20), b BLOB, n NUMERIC(10,2), dt DATE, tm TIME, "
      "ts TIMESTAMP)");
  sql("INSERT INTO t VALUES (1, 2.5, 'abc', x'00FF', 12.5, '2024-02-29', '23:59:01', '2024-02-29 23:59:01.5')");
  sql("INSERT INTO t VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  // Values of another storage class than the declared type.
  sql("INSERT INTO t VALUES (3, '7', 42, 'xy', '-0012.3', '2024-01-01', '10:00:00', '2024-01-01 10:00:00')");
  const ExecAnswer a = exec("SELECT * FROM t ORDER BY id");
  ASSERT_EQ(a.specs.size(), 8u);
  const uint32_t codes[] = {RDA_SQLTYPE_INTEGER,    RDA_SQLTYPE_DOUBLE,  RDA_SQLTYPE_VARCHAR,  RDA_SQLTYPE_BITVARYING,
                            RDA_SQLTYPE_NUMERIC,    RDA_SQLTYPE_DATETIME, RDA_SQLTYPE_DATETIME, RDA_SQLTYPE_DATETIME};
  for (size_t c = 0; c < 8; ++c) EXPECT_EQ(spec(a, c)->type.code, codes[c]) << c;
  EXPECT_STREQ(spec(a, 0)->colName, "id");
  EXPECT_EQ(spec(a, 0)->mask & 1u, 1u) << "NOT NULL: sent";
  EXPECT_EQ(spec(a, 0)->nullable, 0u);
  EXPECT_EQ(spec(a, 1)->mask & 1u, 0u) << "nullable: left to the default";
  EXPECT_EQ(spec(a, 0)->type.number.second, 1) << "decimal radix";
  EXPECT_EQ(spec(a, 2)->type.varChar.maxLength, 20);
  EXPECT_EQ(spec(a, 4)->type.number.first, 10);
  EXPECT_EQ(spec(a, 4)->type.number.second, 2);
  EXPECT_EQ(spec(a, 5)->type.dateTime.kind, 1);
  EXPECT_EQ(spec(a, 6)->type.dateTime.kind, 2);
  EXPECT_EQ(spec(a, 7)->type.dateTime.kind, 3);

  ASSERT_EQ(a.rows.size(), 4u) << "three rows and the end";
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:1", "d:2.5", "v:abc", "b:00FF", "n:12.50", "t:2024-02-29", "t:23:59:01",
                                     "t:2024-02-29 23:59:01.5"}));
  EXPECT_EQ(cells(row(a, 1)), (Cells{"i:2", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(cells(row(a, 2)), (Cells{"i:3", "d:7", "v:42", "b:7879", "n:-12.30", "t:2024-01-01", "t:10:00:00",
                                     "t:2024-01-01 10:00:00"}));
  EXPECT_EQ(state(row(a, 2)), "");
  EXPECT_EQ(state(row(a, 3)), "02000");
  EXPECT_TRUE(cells(row(a, 3)).empty());
}

TEST_F(PeerSql, RowsComeUpToTheRepetitionCountAndTheEndIsMarked) {
  sql("CREATE TABLE t (id INTEGER)");
  sql("INSERT INTO t VALUES (1), (2), (3), (4), (5)");
  const struct {
    const char* what;
    const char* text;
    int32_t repetition;
    size_t rows;
    bool end;
  } cases[] = {
      {"fewer than there are", "SELECT id FROM t ORDER BY id", 2, 2, false},
      {"exactly as many", "SELECT id FROM t ORDER BY id", 5, 5, true},
      {"more than there are", "SELECT id FROM t WHERE id > 3 ORDER BY id", 100, 2, true},
      {"none", "SELECT id FROM t WHERE id > 9", 10, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ExecAnswer a = exec(c.text, {{}}, c.repetition);
    ASSERT_EQ(a.specs.size(), 1u) << "described also without rows";
    EXPECT_EQ(spec(a, 0)->type.code, RDA_SQLTYPE_INTEGER);
    ASSERT_EQ(a.rows.size(), c.rows + (c.end ? 1 : 0));
    for (size_t r = 0; r < c.rows; ++r) EXPECT_EQ(state(row(a, r)), "");
    EXPECT_EQ(c.end ? lastState(a) : "", c.end ? "02000" : state(row(a, a.rows.size() - 1)));
  }
  // Without an argument part the peer's own block size holds.
  sql("WITH RECURSIVE n(x) AS (SELECT 6 UNION ALL SELECT x + 1 FROM n WHERE x < 150) INSERT INTO t SELECT x FROM n");
  EXPECT_EQ(exec("SELECT id FROM t").rows.size(), static_cast<size_t>(peer::kDefaultRowsPerResponse));
}

TEST_F(PeerSql, ArgumentsAreBoundInOrderAndChangesAreCounted) {
  sql("CREATE TABLE t (id INTEGER PRIMARY KEY, s VARCHAR(10), r DOUBLE)");
  // One row; the same name twice is two parameters.
  ExecAnswer a = exec("INSERT INTO t VALUES (?, :s, :s)", {{i(1), v("one"), {RDA_SQLVAL_DOUBLE, "1.5"}}});
  ASSERT_EQ(a.rows.size(), 1u);
  const RDAXOPENResultVals* r = row(a, 0);
  ASSERT_NE(r->exception, nullptr);
  EXPECT_EQ(r->exception->mask, 1u << 3) << "no SQLSTATE, the diagnostics number";
  EXPECT_EQ(r->exception->diag.number, 1);
  ASSERT_EQ(r->exception->diag.exceptions.count, 1u);
  EXPECT_STREQ(reinterpret_cast<const RDAExcpNode*>(r->exception->diag.exceptions.links.next)->info.returnedSQLState,
               "00000");
  // Many rows in the multi-row form, a NULL among them.
  a = exec("INSERT INTO t VALUES (?, ?, NULL)", {{i(2), v("two")}, {i(3), null()}, {i(4), v("four")}});
  ASSERT_EQ(a.rows.size(), 1u);
  EXPECT_EQ(row(a, 0)->exception->diag.number, 3);
  a = exec("UPDATE t SET r = ? WHERE id > ?", {{{RDA_SQLVAL_DOUBLE, "0.25"}, i(2)}}, 1);
  EXPECT_EQ(row(a, 0)->exception->diag.number, 2);
  a = exec("CREATE INDEX ix ON t (s)");
  EXPECT_EQ(row(a, 0)->exception->diag.number, 0);

  a = exec("SELECT id, s, r FROM t WHERE id >= :low ORDER BY id", {{i(1)}}, 10);
  ASSERT_EQ(a.rows.size(), 5u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:1", "v:one", "d:1.5"}));
  EXPECT_EQ(cells(row(a, 1)), (Cells{"i:2", "v:two", "NULL"}));
  EXPECT_EQ(cells(row(a, 2)), (Cells{"i:3", "NULL", "d:0.25"}));
  EXPECT_EQ(cells(row(a, 3)), (Cells{"i:4", "v:four", "d:0.25"}));
  // A NUMERIC argument arrives as a digit string.
  a = exec("SELECT ? + 1", {{{RDA_SQLVAL_NUMERIC, "41"}}}, 1);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:42"}));
}

TEST_F(PeerSql, FailuresAnswerWithTheirSqlStateAndMessage) {
  sql("CREATE TABLE t (id INTEGER PRIMARY KEY, s VARCHAR(10))");
  sql("INSERT INTO t VALUES (1, 'a')");
  sql("CREATE TABLE strict (x INTEGER NOT NULL)");
  sql("CREATE TABLE loose (i INTEGER, n NUMERIC(5,1), d DATE)");
  sql("INSERT INTO loose VALUES ('abc', 'x', 5)");
  sql("INSERT INTO loose VALUES (3000000000, 1, '2024-01-01')");
  const struct {
    const char* what;
    std::string text;
    std::vector<std::vector<Arg>> args;
    const char* state;
    const char* inMessage;
  } cases[] = {
      {"duplicate key", "INSERT INTO t VALUES (1, 'b')", {}, "23000", "UNIQUE"},
      {"NOT NULL", "INSERT INTO strict VALUES (NULL)", {}, "23000", "NOT NULL"},
      {"two statements", "DELETE FROM t; DELETE FROM loose", {}, "42000", "one statement"},
      {"syntax", "SELEC * FROM t", {}, "42000", "syntax error"},
      {"unknown table", "SELECT * FROM missing", {}, "42000", "no such table"},
      {"unknown column", "SELECT nope FROM t", {}, "42000", "no such column"},
      {"integer from text", "SELECT i FROM loose", {}, "22018", "column 1"},
      {"decimal from text", "SELECT n FROM loose", {}, "22018", "column 1"},
      {"date from a number", "SELECT d FROM loose", {}, "22018", "column 1"},
      {"integer out of range", "SELECT i FROM loose WHERE rowid = 2", {}, "22003", "out of range"},
      {"datatype mismatch", "INSERT INTO t VALUES ('x', 'y')", {}, "22018", "mismatch"},
      {"too few values", "SELECT * FROM t WHERE id = ?", {{}}, "HY000", "1 parameter markers, 0 values"},
      {"run-time error", "SELECT abs(-9223372036854775807 - 1)", {}, "HY000", "overflow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ExecAnswer a = exec(c.text, c.args, c.args.empty() ? 0 : 1);
    EXPECT_TRUE(a.specs.empty());
    ASSERT_EQ(a.rows.size(), 1u);
    const RDAXOPENResultVals* r = row(a, 0);
    EXPECT_EQ(state(r), c.state);
    ASSERT_NE(r->exception->errText, nullptr);
    EXPECT_NE(std::string(r->exception->errText).find(c.inMessage), std::string::npos) << r->exception->errText;
  }
  // The failed statements changed nothing.
  EXPECT_EQ(cells(row(exec("SELECT count(*) FROM t"), 0)), (Cells{"i:1"}));
}

// A client cannot make the peer write a database file of its choosing:
// ATTACH, VACUUM INTO and DETACH are refused with 42000; the peer's own
// attach goes through, and so does a plain VACUUM.
TEST_F(PeerSql, FileStatementsAreRefusedWith42000) {
  peer::FileGuard& guard = session_.guard;
  peer::guardFiles(db_, &guard);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("peer-guard-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string attached = (dir / "attached.db").string();
  const std::string vacuumed = (dir / "vacuumed.db").string();
  sql("CREATE TABLE t (a)");
  for (const std::string& text : {"ATTACH DATABASE '" + attached + "' AS x", "VACUUM INTO '" + vacuumed + "'",
                                  std::string("DETACH DATABASE temp"), "ATTACH 'file:" + attached + "?mode=rwc' AS y"}) {
    SCOPED_TRACE(text);
    const ExecAnswer a = exec(text);
    ASSERT_EQ(a.rows.size(), 1u);
    EXPECT_EQ(state(row(a, 0)), "42000");
    ASSERT_NE(row(a, 0)->exception->errText, nullptr);
    EXPECT_STREQ(row(a, 0)->exception->errText, peer::kFileStatementsRefused);
  }
  EXPECT_FALSE(std::filesystem::exists(attached));
  EXPECT_FALSE(std::filesystem::exists(vacuumed));
  EXPECT_EQ(lastState(exec("VACUUM")), "") << "a plain VACUUM writes no file of the client's";
  guard.own = true;
  sql(("ATTACH DATABASE '" + attached + "' AS own").c_str());
  sql("DETACH DATABASE own");
  guard.own = false;
  EXPECT_TRUE(std::filesystem::exists(attached));
  std::filesystem::remove_all(dir);
}

TEST(PeerAuth, ScrambledCredentialsComeBackInClear) {
  // Octet i plus k, k = 1, 2, ..., 9, 1, ... modulo 256, worked by hand.
  const struct {
    std::string clear;
    std::string scrambled;
  } cases[] = {
      {"secret", "tgfvjz"},
      {"aaaaaaaaaaa", "bcdefghijbc"},
      {"\xFF\xFE", std::string("\x00\x00", 2)},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scrambleCredential(c.clear), c.scrambled) << c.clear;
    EXPECT_EQ(unscrambleCredential(c.scrambled), c.clear) << c.clear;
  }
  const struct {
    const char* data;
    int level;  // -1: not of the client's form
    bool scrambled;
  } levels[] = {
      {"KVO_RDA_CLIENT,73,10.0.0.1,DSN=x;PWD=***,V1", 73, true},
      {"KVO_RDA_CLIENT,65,0.0.0.0,,V1", 65, false},
      {"KVO_RDA_CLIENT,8", 8, true},
      {"KVO_RDA_CLIENT,x,", -1, false},
      {"KVO_RDA_SERVER,73,0,0,V1", -1, false},
      {"", -1, false},
  };
  for (const auto& l : levels) {
    const auto word = peer::clientLevelWord(l.data);
    EXPECT_EQ(word.value_or(-1), l.level) << l.data;
    EXPECT_EQ(word.has_value() && credentialsScrambled(*word), l.scrambled) << l.data;
  }
}

TEST(PeerAuth, LevelAndNumericFormAreNegotiatedAsTheClientReadsThem) {
  const struct {
    const char* client;  // nullptr: no user data
    const char* server;
    int level;
    bool eightBytes;
  } cases[] = {
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", "KVO_RDA_SERVER,65,0,0,V1", 1, false},
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", "KVO_RDA_SERVER,1,0,0,V1", 1, true},
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", "KVO_RDA_SERVER,3,0,0,V1", 0, true},
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", "KVO_RDA_SERVER,64,0,0,V1", 0, false},
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", nullptr, 0, false},
      {"KVO_RDA_CLIENT,1,0.0.0.0,,V1", "KVO_RDA_SERVER", 0, false},
      {"KVO_RDA_CLIENT,73,0.0.0.0,,V1", "KVO_RDA_SERVER,1", 1, true},
      {"KVO_RDA_CLIENT,0,0.0.0.0,,V1", "KVO_RDA_SERVER,1,0,0,V1", 0, false},
      {nullptr, "KVO_RDA_SERVER,1,0,0,V1", 0, false},
  };
  for (const auto& c : cases) {
    const auto n = peer::negotiate(c.client != nullptr ? std::optional<std::string_view>(c.client) : std::nullopt,
                                   c.server != nullptr ? std::optional<std::string_view>(c.server) : std::nullopt);
    EXPECT_EQ(n.level, c.level) << (c.client ? c.client : "-") << " / " << (c.server ? c.server : "-");
    EXPECT_EQ(n.eightByteNumerics, c.eightBytes) << (c.client ? c.client : "-") << " / " << (c.server ? c.server : "-");
  }
}

}  // namespace

namespace {

// Every kind of answer goes onto the wire and reads back.
TEST_F(PeerSql, AnswersEncodeAndDecode) {
  sql("CREATE TABLE t (id INTEGER, s VARCHAR(5), n NUMERIC(4,1), b BLOB, d DATE)");
  sql("INSERT INTO t VALUES (1, 'a', 2.5, x'01', '2024-01-01'), (2, NULL, NULL, NULL, NULL)");
  const char* texts[] = {"SELECT * FROM t", "SELECT * FROM t WHERE id > 5", "UPDATE t SET id = id", "SELEC"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const OctStgV stmt{static_cast<uint32_t>(std::strlen(text)), reinterpret_cast<uint8_t*>(const_cast<char*>(text))};
    GIDU* ind = rda_createSQLExecDBLReq(tmpl_, 3, nullptr, nullptr, &stmt, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                        nullptr);
    ASSERT_NE(ind, nullptr);
    requests_.push_back(ind);
    GIDU* rsp = peer::answerExecDBL(session_, ind);
    ASSERT_NE(rsp, nullptr);
    requests_.push_back(rsp);
    const Bytes wire = wireOf(rsp);
    ASSERT_FALSE(wire.empty()) << "encodes";
    EXPECT_NE(decoded(wire), nullptr) << "decodes";
  }
}

}  // namespace
