// The parts of the SQL-text operations that need no server: the filters of
// a statement's diagnostics, the query test of a text, the count of its
// parameter markers and the transactions' operation ids.
#include "src/rdaclient/rdacli_sql.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/rdaclient/rdacli_error.h"
#include "src/rdaclient/rdacli_exec.h"
#include "src/rdaclient/rdacli_trans.h"
#include "support/cli_diag.h"
#include "support/xm_count.h"

namespace {

class ClientSqlFilters : public XmCountTest {
 protected:
  void TearDown() override {
    RDA_cliClearErrorList(&list);
    XmCountTest::TearDown();
  }
  void fill(const std::vector<const char*>& states) {
    RDA_cliClearErrorList(&list);
    for (const char* s : states) ASSERT_EQ(RDA_cliAddSQLState(&list, s, 0, s, nullptr), 1);
  }
  std::vector<std::string> left() const {
    std::vector<std::string> out;
    for (const CliDiag& d : cliDiags(list)) out.push_back(d.state);
    return out;
  }
  RDA_CliErrorList list{};
};

TEST_F(ClientSqlFilters, EachFilterRemovesWhatItStandsForAndSaysWhatWasThere) {
  using States = std::vector<const char*>;
  using Left = std::vector<std::string>;
  struct Case {
    States states;
    int32_t noData;  // noDataErrOnly
    Left afterNoData;
    int32_t last;  // lastResultSetErr
    Left afterLast;
    int32_t trunc;  // RDA_cliTruncErrOnly
  };
  const Case cases[] = {
      {{}, 1, {}, 0, {}, 1},
      {{"02000"}, 1, {}, 0, {"02000"}, 0},
      {{"02000", "02000"}, 1, {}, 0, {"02000", "02000"}, 0},
      // The walk stops at the first other entry: what follows it stays.
      {{"02000", "42000", "02000"}, 0, {"42000", "02000"}, 0, {"02000", "42000", "02000"}, 0},
      {{"42000", "02000"}, 0, {"42000", "02000"}, 0, {"42000", "02000"}, 0},
      {{"02001", "02000", "02001"}, 0, {"02001", "02000", "02001"}, 1, {"02000"}, 0},
      {{"01004", "01004"}, 0, {"01004", "01004"}, 0, {"01004", "01004"}, 1},
      {{"01004", "02000"}, 0, {"01004", "02000"}, 0, {"01004", "02000"}, 0},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const char* s : c.states) name += std::string(s) + " ";
    SCOPED_TRACE(name);
    fill(c.states);
    EXPECT_EQ(RDA_cliTruncErrOnly(&list), c.trunc);
    EXPECT_EQ(list.count, c.states.size()) << "the truncation test removes nothing";
    EXPECT_EQ(noDataErrOnly(&list), c.noData);
    EXPECT_EQ(left(), c.afterNoData);
    EXPECT_EQ(list.count, c.afterNoData.size());
    fill(c.states);
    EXPECT_EQ(lastResultSetErr(&list), c.last);
    EXPECT_EQ(left(), c.afterLast);
  }
  // A list never used (zero-filled) is empty to each of them.
  RDA_CliErrorList blank{};
  EXPECT_EQ(noDataErrOnly(&blank), 1);
  EXPECT_EQ(lastResultSetErr(&blank), 0);
  EXPECT_EQ(RDA_cliTruncErrOnly(&blank), 1);
}

TEST(ClientSqlText, QueriesAreTheTextsThatBeginWithSelectOrCall) {
  struct Case {
    const wchar_t* text;
    int32_t query;
  };
  const Case cases[] = {
      {L"SELECT 1", 1},        {L"  (select a from t)", 1}, {L"call x", 1},   {L"{CALL p(?)}", 1},
      {L"Selected", 1},        {L"update t set a = 1", 0},  {L"INSERT", 0},   {L"SELEC", 0},
      {L"CAL", 0},             {L"", 0},                    {L"  (( ", 0},    {L"1 select", 1},
      {L"\t\nselect *", 1},    {L"WITH x AS (SELECT 1)", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RDA_cliCheckSelectStmtW(c.text), c.query) << utf8(c.text);
  EXPECT_EQ(RDA_cliCheckSelectStmtW(nullptr), 0);
}

TEST(ClientSqlText, ParameterMarkersAreCountedOutsideQuotes) {
  struct Case {
    const wchar_t* text;
    uint32_t count;
  };
  const Case cases[] = {
      {L"INSERT INTO T VALUES (?, :a, 'x?y', ?)", 3},
      {L"SELECT 1", 0},
      {L"SELECT ?", 1},
      {L"?,?,?", 3},
      {L"SELECT 'it''s ?' , ?", 1},  // a doubled quote stays inside the literal
      {L"SELECT '' , ?", 1},        // an empty literal
      {L"SELECT \"a?b\", ?", 1},
      {L"SELECT \"it's\", ?", 1},   // a single quote inside double quotes opens nothing
      {L"SELECT 'say \"?\"', ?", 1},
      {L"UPDATE t SET a = :new WHERE b = :old", 2},
      {L"CALL p(:a,:b)", 2},
      {L"SELECT :a?", 1},  // the name runs on to a comma, blank or parenthesis
      {L"SELECT 'open ? :x", 0},
      {L"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RDAutil_getParamCount(c.text), c.count) << utf8(c.text);
  EXPECT_EQ(RDAutil_getParamCount(nullptr), 0u);
}

TEST(ClientSqlText, TransactionOperationIdsWrapAfter2147483646) {
  const uint32_t saved = gdwRDAOpID;
  gdwRDAOpID = 2147483645;
  EXPECT_EQ(RDAutil_generateOpID(), 2147483645u);
  EXPECT_EQ(RDAutil_generateOpID(), 2147483646u);
  EXPECT_EQ(RDAutil_generateOpID(), 65536u);
  EXPECT_EQ(RDAutil_generateOpID(), 65537u);
  gdwRDAOpID = saved;
}

}  // namespace
