// The client's SQL-text protocol as the test peer answers it, in process:
// the texts a client sends at optimisation levels 0 and 1, the catalog and
// information queries of the driver, procedures, long values and the 8-byte
// numeric form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peer/peer_fixture.h"
#include "peer/peer_texts.h"

namespace {

using peer::ExecAnswer;

// One step of a dialogue: the text, its arguments, the rows asked for, and
// the shape of the answer: column descriptors, value rows, exceptions.
struct Step {
  std::string text;
  std::vector<Arg> args;
  int32_t repetition;
  size_t columns;
  size_t rows;
  std::vector<std::string> states;
  int32_t count = -1;  // the row count of a statement without result
};

class PeerTexts : public PeerSql {
 protected:
  void SetUp() override {
    PeerSql::SetUp();
    catalog();
  }
  // n rows 1..n in table n(id).
  void numbers(int n) {
    sql("CREATE TABLE n (id INTEGER)");
    sql(("WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k WHERE x < " + std::to_string(n) +
         ") INSERT INTO n SELECT x FROM k")
            .c_str());
  }
  // The procedure twosets(IN a INTEGER, OUT b INTEGER, OUT c VARCHAR(10)):
  // two result sets over n, and b = 2a, c = 'x' || a.
  void twoSets() {
    sql("INSERT INTO rdapeer_procedures VALUES ('twosets', 'IN', 1, 'a INTEGER'), "
        "('twosets', 'OUT', 2, 'b INTEGER'), ('twosets', 'OUT', 3, 'c VARCHAR(10)'), "
        "('twosets', 'RESULT', 1, 'SELECT id FROM n WHERE id <= ?1 ORDER BY id'), "
        "('twosets', 'RESULT', 2, 'SELECT id, ''second'' AS s FROM n WHERE id > ?1 ORDER BY id'), "
        "('twosets', 'OUTPUT', 1, 'SELECT ?1 * 2 AS b, ''x'' || ?1 AS c')");
  }
  void run(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      SCOPED_TRACE(s.text);
      const ExecAnswer a =
          exec(s.text, s.args.empty() && s.repetition == 0 ? std::vector<std::vector<Arg>>{}
                                                           : std::vector<std::vector<Arg>>{s.args},
               s.repetition);
      EXPECT_EQ(columnNames(a).size(), s.columns);
      EXPECT_EQ(valueRows(a), s.rows);
      EXPECT_EQ(states(a), s.states);
      if (s.count >= 0) {
        EXPECT_EQ(rowCount(a), s.count);
      }
    }
  }
};

const std::string kPrepare = std::string("PREPARE stmt_id_5 FROM :H") + '\0';

TEST_F(PeerTexts, TheClientsTextsAtLevelZero) {
  numbers(250);
  session_.level = 0;
  const std::vector<Step> steps = {
      // A prepared query: no description with the PREPARE at level 0.
      {kPrepare, {w("SELECT id FROM n ORDER BY id")}, 1, 0, 0, {}},
      {"DESCRIBE stmt_id_5", {}, 0, 1, 0, {}},
      {"DECLARE SQLCUR5 CURSOR FOR stmt_id_5", {}, 0, 0, 0, {}},
      {"OPEN SQLCUR5", {}, 0, 1, 0, {}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 100, {}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 100, {}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 50, {"02000"}},
      // At level 0 the cursor lives until CLOSE.
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 0, {"02000"}},
      {"DECLARE SQLCUR5  CURSOR FOR stmt_id_5", {}, 100, 0, 0, {"24000"}},
      {"CLOSE SQLCUR5", {}, 0, 0, 0, {}},
      {"DECLARE SQLCUR5  CURSOR FOR stmt_id_5", {}, 300, 1, 250, {"02000"}},
      {"CLOSE SQLCUR5", {}, 0, 0, 0, {}},
      // A cursor declared on SQL text, opened with an argument.
      {"DECLARE C1 CURSOR FOR SELECT id FROM n WHERE id > :H", {}, 0, 0, 0, {}},
      {"OPEN C1 USING :H", {i(240)}, 1, 1, 0, {}},
      {"FETCH C1 INTO :H", {null()}, 100, 0, 10, {"02000"}},
      {"CLOSE C1", {}, 0, 0, 0, {}},
      // A prepared statement without result.
      {std::string("PREPARE stmt_id_6 FROM :H") + '\0', {w("INSERT INTO n VALUES (?)")}, 1, 0, 0, {}},
      {"EXECUTE stmt_id_6 USING :H", {i(251)}, 1, 0, 0, {}, 1},
      {"RELEASE stmt_id_6", {}, 0, 0, 0, {}},
      {"EXECUTE stmt_id_6 USING :H", {i(252)}, 1, 0, 0, {"26000"}},
      {"RELEASE stmt_id_6", {}, 0, 0, 0, {}},
  };
  run(steps);
}

TEST_F(PeerTexts, TheClientsTextsAtLevelOne) {
  numbers(250);
  session_.level = 1;
  const std::vector<Step> steps = {
      // The PREPARE describes the query; the optimised open brings the
      // first block, the FETCHes the rest; after "02000" the peer closes
      // the cursor itself.
      {kPrepare, {w("SELECT id FROM n ORDER BY id")}, 1, 1, 0, {}},
      {"DECLARE SQLCUR5  CURSOR STMT_OPTIONS 'mrows=0;qt=0;op=0' FOR stmt_id_5", {}, 100, 1, 100, {}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 100, {}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 50, {"02000"}},
      {"FETCH SQLCUR5 INTO :H", {null()}, 100, 0, 0, {"24000"}},
      {"DECLARE SQLCUR5  CURSOR FOR stmt_id_5", {}, 100, 1, 100, {}},
      {"CLOSE SQLCUR5", {}, 0, 0, 0, {}},
      // A direct execution; a stmt_id never prepared is the text of its
      // cursor SQLCUR<N>; row limits.
      {"DECLARE SQLCUR9  CURSOR FOR SELECT id FROM n WHERE id > ?", {i(200)}, 100, 1, 50, {"02000"}},
      {"DECLARE SQLCUR9  CURSOR MAXROWS 10 FOR stmt_id_9", {i(0)}, 100, 1, 10, {"02000"}},
      {"DECLARE SQLCUR9  CURSOR STMT_OPTIONS 'mrows=3;qt=0;op=0' FOR stmt_id_9", {i(0)}, 2, 1, 2, {}},
      {"FETCH SQLCUR9 INTO :H", {null()}, 2, 0, 1, {"02000"}},
      {"DECLARE SQLCUR10  CURSOR FOR INSERT INTO n VALUES (?)", {i(300)}, 100, 0, 0, {}, 1},
      {"DECLARE SQLCUR10  CURSOR FOR INSERT INTO n VALUES (?)", {i(301)}, 100, 0, 0, {}, 1},
      // No further result set and no output parameters.
      {"DECLARE SQLCUR10 NEXT CURSOR FOR stmt_id_10", {}, 100, 0, 0, {"02001"}},
      {"DECLARE SQLCUR10 RESULT CURSOR FOR stmt_id_10", {}, 100, 0, 0, {"02000"}},
      // Driver commands and direct SQL through EXECUTE IMMEDIATE.
      {"EXECUTE IMMEDIATE :H", {w("_QV_SET_INFO SQL_AUTOCOMMIT '0'")}, 1, 0, 0, {}},
      {"EXECUTE IMMEDIATE :H", {w("_qv_set_info SQL_CURRENT_QUALIFIER 'main'")}, 1, 0, 0, {}},
      {"EXECUTE IMMEDIATE :H", {w("_QV_GET_INFO 8196 INFO_TEXT")}, 1, 1, 1, {"02000"}},
      {"EXECUTE IMMEDIATE :H", {w("DELETE FROM n WHERE id > 250")}, 1, 0, 0, {}, 2},
      {"CLOSE ", {}, 0, 0, 0, {}},
  };
  run(steps);
  EXPECT_EQ(cells(row(exec("EXECUTE IMMEDIATE :H", {{w("_QV_GET_INFO 23 INFO_INT")}}, 1), 0)), (Cells{"i:2"}));
}

// Steps that do not fit the dialogue are answered with an SQLSTATE.
TEST_F(PeerTexts, MalformedStepsAnswerAnSqlState) {
  numbers(3);
  const struct {
    std::string text;
    std::vector<Arg> args;
    const char* state;
  } cases[] = {
      {"FETCH NOSUCH INTO :H", {null()}, "24000"},
      {"OPEN NOSUCH", {}, "34000"},
      {"EXECUTE stmt_id_77", {}, "26000"},
      {"DESCRIBE stmt_id_77", {}, "26000"},
      {"DECLARE C2  CURSOR FOR stmt_id_77", {}, "26000"},
      {"PREPARE stmt_id_8 FROM :H", {}, "07001"},
      {"PREPARE stmt_id_8 FROM :H", {w("SELEC 1")}, "42000"},
      {"EXECUTE IMMEDIATE :H", {i(1)}, "07001"},
      {"EXECUTE IMMEDIATE :H", {w("_QV_GET_INFO x INFO_TEXT")}, "42000"},
      {"DECLARE C3  CURSOR FOR CALL nosuch(?)", {i(1)}, "42000"},
      // Not one of the client's forms: SQLite reads it.
      {"FETCH C1", {}, "42000"},
      {"DECLARE C4 CURSOR", {}, "42000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ExecAnswer a = exec(c.text, c.args.empty() ? std::vector<std::vector<Arg>>{} : std::vector<std::vector<Arg>>{c.args}, 1);
    EXPECT_EQ(states(a), std::vector<std::string>{c.state});
    EXPECT_TRUE(a.specs.empty());
  }
  EXPECT_EQ(session_.prepared.count(8), 0u) << "a refused PREPARE keeps nothing";
}

// Every beginning of the client's texts, run as a text of its own, gets an
// answer that goes onto the wire, and never takes the peer down.
TEST_F(PeerTexts, EveryBeginningOfATextIsAnswered) {
  numbers(3);
  twoSets();
  const std::string texts[] = {
      std::string("PREPARE stmt_id_5 STMT_OPTIONS 'op=0' FROM :H") + '\0',
      "DECLARE SQLCUR5 RESULT CURSOR STMT_OPTIONS 'mrows=4;qt=0;op=1' FOR stmt_id_5",
      "DECLARE SQLCUR6 NEXT CURSOR MAXROWS 7 FOR CALL twosets(?, ?, ?)",
      "EXECUTE stmt_id_5 USING :H, :H",
      "FETCH SQLCUR5 INTO :H, :H",
      "OPEN SQLCUR5 USING :H",
      "SELECT * FROM SYS.QV_TABLES WHERE TABLE_NAME LIKE N'n%' ESCAPE '\\'",
  };
  for (const std::string& text : texts) {
    for (size_t n = 0; n <= text.size(); ++n) {
      SCOPED_TRACE(text.substr(0, n));
      GIDU* ind = execDBLRequest(tmpl_, 3, text.substr(0, n),
                                 {{Val{RDA_SQLVAL_WCHAR, "SELECT id FROM n"}, Val{RDA_SQLVAL_INTEGER, "", 1}}}, 2);
      ASSERT_NE(ind, nullptr);
      requests_.push_back(ind);
      GIDU* rsp = peer::answerExecDBL(session_, ind);
      ASSERT_NE(rsp, nullptr);
      requests_.push_back(rsp);
      const Bytes wire = wireOf(rsp);
      EXPECT_FALSE(wire.empty());
      EXPECT_NE(decoded(wire), nullptr);
      session_.cursors.clear();
    }
  }
}

TEST(PeerTextForms, TheClientsFormsAreToldApart) {
  using peer::TextForm;
  const struct {
    std::string text;
    TextForm form;
    const char* cursor;
    int mode;
    int64_t limit;
  } cases[] = {
      {std::string("PREPARE stmt_id_2 STMT_OPTIONS 'op=0' FROM :H") + '\0', TextForm::Prepare, "", 0, 0},
      {"EXECUTE stmt_id_2 USING :H, :H, :H", TextForm::Execute, "", 0, 0},
      {"EXECUTE stmt_id_2", TextForm::Execute, "", 0, 0},
      {"EXECUTE IMMEDIATE :H", TextForm::Immediate, "", 0, 0},
      {"DECLARE SQLCUR2 CURSOR FOR stmt_id_2", TextForm::Declare, "SQLCUR2", 0, 0},
      {"DECLARE SQLCUR2  CURSOR FOR stmt_id_2", TextForm::DeclareRows, "SQLCUR2", 0, 0},
      {"DECLARE SQLCUR2 NEXT CURSOR MAXROWS 7 FOR stmt_id_2", TextForm::DeclareRows, "SQLCUR2", 1, 7},
      {"DECLARE SQLCUR2 RESULT CURSOR STMT_OPTIONS 'mrows=4;qt=0;op=1' FOR stmt_id_2", TextForm::DeclareRows, "SQLCUR2", 2, 4},
      {"OPEN SQLCUR2 USING :H, :H", TextForm::Open, "SQLCUR2", 0, 0},
      {"FETCH SQLCUR2 INTO :H, :H, :H", TextForm::Fetch, "SQLCUR2", 0, 0},
      {"CLOSE SQLCUR2", TextForm::Close, "SQLCUR2", 0, 0},
      {"describe stmt_id_2", TextForm::Describe, "", 0, 0},
      {"RELEASE stmt_id_2", TextForm::Release, "", 0, 0},
      // SQLite's own statements of those words stay plain.
      {"RELEASE SAVEPOINT a", TextForm::Plain, "", 0, 0},
      {"EXECUTE stmt_id_2 USING :H,", TextForm::Plain, "", 0, 0},
      {"DECLARE SQLCUR2 SCROLL CURSOR FOR x", TextForm::Plain, "", 0, 0},
      {"PREPARE stmt_id_x FROM :H", TextForm::Plain, "", 0, 0},
  };
  for (const auto& c : cases) {
    const peer::ClientText t = peer::parseClientText(c.text);
    EXPECT_EQ(t.form, c.form) << c.text;
    if (t.form == TextForm::Plain) continue;
    EXPECT_EQ(t.cursor, c.cursor) << c.text;
    EXPECT_EQ(t.mode, c.mode) << c.text;
    EXPECT_EQ(t.limit, c.limit) << c.text;
  }
  EXPECT_EQ(peer::parseClientText("DECLARE C CURSOR FOR SELECT 1").body, "SELECT 1");
  EXPECT_EQ(peer::parseClientText("EXECUTE stmt_id_12").id, 12);
}

// With QV_INFO 8196 holding the value 2, PREPARE and DESCRIBE describe the
// parameter markers after the columns: VARCHAR(999), attribute bit 30 and
// the direction; without it, nothing but the columns.
TEST_F(PeerTexts, ParameterMarkersAreDescribedWhenTheInformationSaysSo) {
  numbers(3);
  twoSets();
  session_.level = 1;
  for (const char* value : {"3", "1"}) {
    SCOPED_TRACE(value);
    sql((std::string("UPDATE QV_INFO SET INFO_TEXT = '") + value + "' WHERE INFO_NUM = 8196").c_str());
    const bool described = std::string(value) == "3";
    ExecAnswer a = exec(kPrepare, {{w("SELECT id FROM n WHERE id > ? AND id < :b")}}, 1);
    ASSERT_EQ(a.specs.size(), described ? 3u : 1u);
    EXPECT_EQ(columnNames(a), std::vector<std::string>{"id"});
    for (size_t p = 1; p < a.specs.size(); ++p) {
      EXPECT_EQ(spec(a, p)->number, (1 << 30) | 1);
      EXPECT_EQ(spec(a, p)->type.code, RDA_SQLTYPE_VARCHAR);
      EXPECT_EQ(spec(a, p)->type.varChar.maxLength, 999);
      EXPECT_EQ(spec(a, p)->mask & 1u, 0u) << "nullable";
    }
    a = exec("DESCRIBE stmt_id_5");
    EXPECT_EQ(a.specs.size(), described ? 3u : 1u);
    // A procedure's output positions are described as such.
    a = exec(kPrepare, {{w("{CALL twosets(?, ?, ?)}")}}, 1);
    ASSERT_EQ(a.specs.size(), described ? 4u : 1u) << "its first result set and three markers";
    if (described) {
      EXPECT_EQ(spec(a, 1)->number & 7, 1);
      EXPECT_EQ(spec(a, 2)->number & 7, 4);
      EXPECT_EQ(spec(a, 3)->number & 7, 4);
    }
  }
}

// A procedure with two result sets and two output parameters: the open
// brings the first set, NEXT the second (the last, so "02001" after its
// "02000"), NEXT then "02001" alone, and RESULT the output parameters after
// a NULL return status.
TEST_F(PeerTexts, ProcedureAnswersItsSetsAndThenItsOutputParameters) {
  numbers(6);
  twoSets();
  session_.level = 1;
  const Spec in{RDA_SQLTYPE_INTEGER, 10};
  const Spec out{RDA_SQLTYPE_CHAR, 10, 0, 1};
  ExecAnswer a = exec("DECLARE SQLCUR7  CURSOR FOR CALL twosets(?, ?, ?)", {{i(2), null(), null()}}, 100, {in, out, out});
  EXPECT_EQ(columnNames(a), std::vector<std::string>{"id"});
  ASSERT_EQ(valueRows(a), 2u);
  EXPECT_EQ(cells(row(a, 1)), (Cells{"i:2"}));
  EXPECT_EQ(states(a), std::vector<std::string>{"02000"});
  a = exec("DECLARE SQLCUR7 NEXT CURSOR FOR stmt_id_7", {{}}, 100);
  EXPECT_EQ(columnNames(a), (std::vector<std::string>{"id", "s"}));
  ASSERT_EQ(valueRows(a), 4u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:3", "v:second"}));
  EXPECT_EQ(states(a), (std::vector<std::string>{"02000", "02001"}));
  a = exec("DECLARE SQLCUR7 NEXT CURSOR FOR stmt_id_7", {{}}, 100);
  EXPECT_TRUE(a.specs.empty());
  EXPECT_EQ(states(a), std::vector<std::string>{"02001"});
  a = exec("DECLARE SQLCUR7 RESULT CURSOR FOR stmt_id_7", {{}}, 100);
  EXPECT_EQ(columnNames(a), (std::vector<std::string>{"RETURN_VALUE", "b", "c"}));
  ASSERT_EQ(valueRows(a), 1u);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"NULL", "i:4", "v:x2"}));
  EXPECT_EQ(states(a), std::vector<std::string>{"02000"});

  // At level 0 through DECLARE and OPEN, the sets read with FETCH: the last
  // one ends with "02001".
  session_.level = 0;
  a = exec("DECLARE C9 CURSOR FOR CALL twosets(5, ?, ?)");
  a = exec("OPEN C9 USING :H, :H", {{null(), null()}}, 1);
  EXPECT_EQ(columnNames(a), std::vector<std::string>{"id"});
  a = exec("FETCH C9 INTO :H", {{null()}}, 100);
  EXPECT_EQ(valueRows(a), 5u);
  EXPECT_EQ(states(a), std::vector<std::string>{"02000"});
  exec("CLOSE C9");
  a = exec("DECLARE C9 NEXT CURSOR FOR stmt_id_9", {{}}, 100);
  EXPECT_EQ(valueRows(a), 1u);
  EXPECT_EQ(states(a), (std::vector<std::string>{"02000", "02001"}));
  a = exec("DECLARE C9 RESULT CURSOR FOR stmt_id_9", {{}}, 100);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"NULL", "i:10", "v:x5"}));
}

// Long values: a binary argument given in parts of 32000 octets binds as
// one value, and comes back in parts; an exact multiple of 32000 octets
// ends with a part of none, both ways.
TEST_F(PeerTexts, LongValuesTravelInPartsOf32000) {
  sql("CREATE TABLE blobs (id INTEGER, b BLOB, t TEXT)");
  for (const size_t size : {70000u, 64000u}) {
    SCOPED_TRACE(size);
    std::string data(size, '\0');
    for (size_t k = 0; k < size; ++k) data[k] = static_cast<char>(k * 7 % 251);
    std::vector<Arg> args = {i(static_cast<int>(size))};
    for (size_t at = 0; at < size; at += peer::kLongPart) args.push_back({RDA_SQLVAL_BITVARYING, data.substr(at, peer::kLongPart)});
    if (size % peer::kLongPart == 0) args.push_back(null());
    // A long character value too, in two parts.
    const std::string text(peer::kLongPart + 5, 'q');
    args.push_back(v(text.substr(0, peer::kLongPart)));
    args.push_back(v(text.substr(peer::kLongPart)));
    ExecAnswer a = exec("INSERT INTO blobs VALUES (?, ?, ?)", {args}, 1,
                        {{RDA_SQLTYPE_INTEGER, 10}, {RDA_SQLTYPE_BITVARYING, 0, 0, 8}, {RDA_SQLTYPE_VARCHAR, 0, 0, 8}});
    EXPECT_EQ(rowCount(a), 1) << (states(a).empty() ? "" : states(a)[0]);

    a = exec("SELECT b, length(t) FROM blobs WHERE id = ?", {{i(static_cast<int>(size))}}, 10);
    ASSERT_EQ(a.specs.size(), 2u);
    EXPECT_EQ(spec(a, 0)->type.code, RDA_SQLTYPE_BITVARYING);
    EXPECT_EQ(spec(a, 0)->number & 4, 4) << "described as long";
    ASSERT_EQ(valueRows(a), 1u);
    const Cells c = cells(row(a, 0));
    std::vector<size_t> parts;
    std::string back;
    for (size_t k = 0; k + 1 < c.size(); ++k) {
      const std::string hex = c[k].substr(2);
      parts.push_back(hex.size() / 2);
      for (size_t h = 0; h < hex.size(); h += 2) back += static_cast<char>(std::stoi(hex.substr(h, 2), nullptr, 16));
    }
    EXPECT_EQ(parts, size == 70000 ? (std::vector<size_t>{32000, 32000, 6000}) : (std::vector<size_t>{32000, 32000, 0}));
    EXPECT_TRUE(back == data) << "the value comes back whole";
    EXPECT_EQ(c.back(), "i:" + std::to_string(text.size()));
  }
}

// In the 8-byte form NUMERIC values go out with their column's scale, and a
// NUMERIC argument of 8 octets that are no decimal text is read with the
// scale of its descriptor.
TEST_F(PeerTexts, NumericValuesRoundTripInTheEightByteForm) {
  // Worked by hand: -12.50 at scale 2 is the magnitude 1250 = 0x4E2, sign
  // set: high word 0x80000000, low word 0x000004E2, each little-endian.
  uint8_t bytes[8];
  ASSERT_TRUE(peer::encodeNumeric8("-12.50", bytes));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), std::string("\x00\x00\x00\x80\xE2\x04\x00\x00", 8));
  EXPECT_EQ(peer::decodeNumeric8(bytes, 2), "-12.50");
  const uint8_t small[8] = {0, 0, 0, 0, 0x7B, 0, 0, 0};
  EXPECT_EQ(peer::decodeNumeric8(small, 3), "0.123");
  EXPECT_FALSE(peer::encodeNumeric8("9223372036854775808", bytes)) << "beyond 63 bits";

  session_.eightByteNumerics = true;
  sql("CREATE TABLE money (id INTEGER, amount NUMERIC(12,2))");
  ASSERT_TRUE(peer::encodeNumeric8("123456.78", bytes));
  const std::string eight(reinterpret_cast<char*>(bytes), 8);
  ExecAnswer a = exec("INSERT INTO money VALUES (?, ?), (?, ?)",
                      {{i(1), {RDA_SQLVAL_NUMERIC, eight}, i(2), {RDA_SQLVAL_NUMERIC, "-0.5"}}}, 1,
                      {{RDA_SQLTYPE_INTEGER, 10}, {RDA_SQLTYPE_NUMERIC, 12, 2}, {RDA_SQLTYPE_INTEGER, 10},
                       {RDA_SQLTYPE_NUMERIC, 12, 2}});
  EXPECT_EQ(rowCount(a), 2);
  a = exec("SELECT amount, amount = 123456.78 FROM money ORDER BY id");
  ASSERT_EQ(valueRows(a), 2u);
  const RDAXOPENSQLVal* first =
      static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(row(a, 0)->values.values.links.next)->val);
  ASSERT_EQ(first->value.numeric.length, 8u);
  EXPECT_EQ(peer::decodeNumeric8(first->value.numeric.octets, 2), "123456.78");
  EXPECT_EQ(cells(row(a, 0))[1], "i:1") << "stored as the number it stands for";
  const RDAXOPENSQLVal* second =
      static_cast<const RDAXOPENSQLVal*>(reinterpret_cast<const RDAValNode*>(row(a, 1)->values.values.links.next)->val);
  EXPECT_EQ(peer::decodeNumeric8(second->value.numeric.octets, 2), "-0.50");
}

// Wide columns come as wide values, each column with its attribute text.
TEST_F(PeerTexts, WideColumnsAndAttributeTexts) {
  sql("CREATE TABLE names (id INTEGER, name NVARCHAR(20), note VARCHAR(5))");
  sql("INSERT INTO names VALUES (1, 'Zoë', 'x')");
  const ExecAnswer a = exec("SELECT id, name AS label, note, 1 + 1 FROM names");
  ASSERT_EQ(a.specs.size(), 4u);
  EXPECT_EQ(spec(a, 1)->type.code, RDA_SQLTYPE_WVARCHAR);
  EXPECT_EQ(cells(row(a, 0)), (Cells{"i:1", "w:Zoë", "v:x", "i:2"}));
  const char* expected[] = {"main||names|id|id|INTEGER", "main||names|name|label|NVARCHAR",
                            "main||names|note|note|VARCHAR", "||||1 + 1|INTEGER"};
  for (size_t c = 0; c < 4; ++c) {
    ASSERT_NE(spec(a, c)->mask & (1u << 4), 0u);
    EXPECT_STREQ(spec(a, c)->name, expected[c]);
  }
}

}  // namespace

// rdapeer_diagnostics fails with the records its literal triples give: the
// first as the answer's exception with its code, the others behind it.
TEST_F(PeerTexts, TheDiagnosticsProcedureAnswersTheRecordsItIsGiven) {
  peer::ExecAnswer a = exec(
      "DECLARE SQLCUR5  CURSOR FOR CALL rdapeer_diagnostics('42000', 7, 'first', '40001', 0, 'dead\xC3\xA9', "
      "'HY000', 0, 'third')");
  ASSERT_EQ(states(a), std::vector<std::string>{"42000"});
  const RDAXOPENSQLDBLExcp* e = row(a, 0)->exception;
  EXPECT_EQ(e->code, 7);
  EXPECT_STREQ(e->errText, "first");
  std::vector<std::string> more;
  for (const UL_Link* l = e->diag.exceptions.links.next; l != &e->diag.exceptions.links; l = l->next) {
    const RDAXOPENExcpInfo& x = reinterpret_cast<const RDAExcpNode*>(l)->info;
    more.push_back(std::string(x.returnedSQLState) + " " + x.messageText);
  }
  EXPECT_EQ(more, (std::vector<std::string>{"40001 dead\xC3\xA9", "HY000 third"}));
  for (const char* text : {"DECLARE C6  CURSOR FOR CALL rdapeer_diagnostics('42000', 7)",
                           "DECLARE C7  CURSOR FOR CALL rdapeer_diagnostics(?, 7, 'x')"}) {
    a = exec(text, {{i(1)}}, 1);
    EXPECT_EQ(states(a), std::vector<std::string>{"07001"}) << text;
  }
}
