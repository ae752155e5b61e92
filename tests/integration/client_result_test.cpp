// Result columns end to end against rdapeer through the rda_cli* calls, at
// each level the server may answer with: a column of every type the peer
// describes, described as declared, and the first row's values read into
// every C type of their matrix rows as they were inserted (numerics in both
// wire forms, NULLs, a wide text above U+FFFF); the row counts of INSERT,
// UPDATE and DELETE.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "integration/client_sql_fixture.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "support/c_values.h"

namespace {

class ClientResult : public ClientSql, public ::testing::WithParamInterface<int> {
 protected:
  // What the fetch does with a row: the head item of every column becomes
  // its current value.
  static void takeRow(RDA_CliHSTMT* s) {
    for (RdaCliLink* l = s->cols.head.next; l != &s->cols.head; l = l->next) {
      auto* col = reinterpret_cast<RDA_CliCol*>(l);
      ASSERT_NE(col->values.head.next, &col->values.head) << "a value for column " << col->colNum;
      auto* item = reinterpret_cast<RDA_CliValueItem*>(col->values.head.next);
      col->pos = col->totalLen = col->deliveredLen = 0;
      col->partsTaken = 0;
      col->curType = item->sqlType;
      col->curValue = col->startValue = item->data;
      RDA_cliRingRemove(&col->values, &item->links);
    }
  }
  static int64_t rowCount(RDA_CliHSTMT* s) {
    int64_t n = -9;
    EXPECT_EQ(rda_cliRowCount(s, &n), 0);
    return n;
  }
};

constexpr const char* kSelect = "SELECT i, d, v, w, b, n, dt, tm, ts FROM t ORDER BY i";

TEST_P(ClientResult, EveryTypeThePeerDescribesReadsBackAsInserted) {
  up({"--init-data", initData(GetParam())});
  ASSERT_EQ(c_->optLevel, GetParam() == 64 ? 0u : 1u);
  ASSERT_EQ(c_->numericFormat, GetParam() == 1 ? 0u : 1u);
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (i INTEGER NOT NULL, d DOUBLE, v VARCHAR(20), w NVARCHAR(10), b VARBINARY(8), "
                   "n NUMERIC(12,3), dt DATE, tm TIME, ts TIMESTAMP)"),
            0)
      << message(s);
  ASSERT_EQ(rda_cliExecDirectNew(s,
                                 L"INSERT INTO t VALUES (100, 2.5, '12.5', '\u00e9\U0001F600', X'0102FF', 12345.678, "
                                 L"'2024-02-29', '12:34:56', '2024-02-29 12:34:56')",
                                 NTS),
            0)
      << message(s);
  EXPECT_EQ(rowCount(s), 1);
  ASSERT_EQ(run(s, "INSERT INTO t (i) VALUES (200)"), 0) << message(s);
  ASSERT_EQ(run(s, "INSERT INTO t (i) VALUES (300)"), 0) << message(s);
  ASSERT_EQ(run(s, "UPDATE t SET v = 'x' WHERE i > 100"), 0) << message(s);
  EXPECT_EQ(rowCount(s), 2);
  ASSERT_EQ(run(s, "DELETE FROM t WHERE i = 300"), 0) << message(s);
  EXPECT_EQ(rowCount(s), 1);
  ASSERT_EQ(run(s, "UPDATE t SET v = NULL WHERE i = 200"), 0) << message(s);
  ASSERT_EQ(rda_cliTransact(nullptr, c_, RDA_CLI_COMMIT), 0) << lastDiag(c_->errors).message;

  // Prepared and opened: at level 0 DESCRIBE, OPEN and then a FETCH for
  // the rows; at level 1 the optimised open brings them.
  RDA_CliHSTMT* q = stmt();
  ASSERT_EQ(prepare(q, kSelect), 0) << message(q);
  ASSERT_EQ(rda_cliExecute(q), 0) << message(q);
  EXPECT_EQ(rowCount(q), -1) << "a query counts no rows";
  auto* first = reinterpret_cast<RDA_CliCol*>(q->cols.head.next);
  ASSERT_NE(&first->links, &q->cols.head);
  if (first->values.count == 0) {
    // The FETCH's answer brings both rows, and the end of the data with
    // them: its "02000" is the only diagnostic.
    if (RDA_cliFetchCol(q) == 0) {
      for (const CliDiag& d : cliDiags(q->errors)) EXPECT_EQ(d.state, "02000") << d.message;
    }
    RDA_cliClearErrorList(&q->errors);
  }
  ASSERT_EQ(first->values.count, 2u) << "both rows";

  int16_t count = 0;
  ASSERT_EQ(rda_cliNumResultCols(q, &count), 0);
  ASSERT_EQ(count, 9);
  struct Described {
    const char* name;
    int16_t type;
    uint64_t size;
    int16_t scale;
    int16_t nullable;
    const char* typeName;
  };
  const Described described[] = {
      {"i", RDA_CLI_SQL_INTEGER, 10, 0, 0, "INTEGER"},     {"d", RDA_CLI_SQL_DOUBLE, 15, 0, 1, "DOUBLE"},
      {"v", RDA_CLI_SQL_VARCHAR, 20, 0, 1, "VARCHAR"},     {"w", RDA_CLI_SQL_WVARCHAR, 10, 0, 1, "NVARCHAR"},
      {"b", RDA_CLI_SQL_VARBINARY, 8, 0, 1, "VARBINARY"},  {"n", RDA_CLI_SQL_NUMERIC, 12, 3, 1, "NUMERIC"},
      {"dt", RDA_CLI_SQL_DATE, 10, 0, 1, "DATE"},          {"tm", RDA_CLI_SQL_TIME, 8, 0, 1, "TIME"},
      {"ts", RDA_CLI_SQL_TIMESTAMP, 19, 0, 1, "TIMESTAMP"},
  };
  for (int16_t n = 1; n <= 9; ++n) {
    const Described& d = described[n - 1];
    wchar_t name[16];
    int16_t len = 0, type = 0, scale = -1, nullable = -1;
    uint64_t size = 0;
    ASSERT_EQ(rda_cliDescribeCol(q, n, name, 16, &len, &type, &size, &scale, &nullable), 0) << n;
    EXPECT_EQ(utf8(name), d.name);
    EXPECT_EQ(type, d.type) << d.name;
    EXPECT_EQ(size, d.size) << d.name;
    EXPECT_EQ(scale, d.scale) << d.name;
    EXPECT_EQ(nullable, d.nullable) << d.name;
    struct Part {
      uint16_t desc;
      std::string text;
    };
    for (const Part& p : {Part{RDA_CLI_ATTR_CATALOG_NAME, "main"}, Part{RDA_CLI_ATTR_SCHEMA_NAME, ""},
                          Part{RDA_CLI_ATTR_TABLE_NAME, "t"}, Part{RDA_CLI_ATTR_BASE_COLUMN, d.name},
                          Part{RDA_CLI_ATTR_LABEL, d.name}, Part{RDA_CLI_ATTR_TYPE_NAME, d.typeName}}) {
      wchar_t text[32] = L"#";
      EXPECT_GE(rda_cliColAttribute(q, n, p.desc, text, sizeof text, &len, nullptr), 0);
      EXPECT_EQ(utf8(text), p.text) << d.name << " attribute " << p.desc;
    }
  }

  // The first row into every C type of each column's matrix row.
  takeRow(q);
  struct Read {
    int16_t col;
    int16_t cType;
    const char* out;    // shown as `show` (the C type when 0); NULL: a diagnostic
    const char* state;  // of the diagnostic, when there is one
    int16_t show = 0;
  };
  const Read reads[] = {
      {1, RDA_CLI_C_ULONG, "100", ""},      {1, RDA_CLI_C_USHORT, "100", ""},  {1, RDA_CLI_C_SLONG, "100", ""},
      {1, RDA_CLI_C_SSHORT, "100", ""},     {1, RDA_CLI_C_BIT, nullptr, "22003"},
      {1, RDA_CLI_C_TINYINT, "100", ""},    {1, RDA_CLI_C_DEFAULT, "100", "", RDA_CLI_C_LONG},
      {1, RDA_CLI_C_CHAR, "100", ""},       {1, RDA_CLI_C_LONG, "100", ""},    {1, RDA_CLI_C_SHORT, "100", ""},
      {1, RDA_CLI_C_FLOAT, "100", ""},      {1, RDA_CLI_C_DOUBLE, "100", ""},
      {2, RDA_CLI_C_ULONG, "2", ""},        {2, RDA_CLI_C_USHORT, "2", ""},    {2, RDA_CLI_C_SLONG, "2", ""},
      {2, RDA_CLI_C_SSHORT, "2", ""},       {2, RDA_CLI_C_DEFAULT, "2.5", "", RDA_CLI_C_DOUBLE},
      {2, RDA_CLI_C_CHAR, "2.5", ""},       {2, RDA_CLI_C_LONG, "2", ""},      {2, RDA_CLI_C_SHORT, "2", ""},
      {2, RDA_CLI_C_FLOAT, "2.5", ""},      {2, RDA_CLI_C_DOUBLE, "2.5", ""},
      {3, RDA_CLI_C_ULONG, "12", ""},       {3, RDA_CLI_C_USHORT, "12", ""},   {3, RDA_CLI_C_SLONG, "12", ""},
      {3, RDA_CLI_C_SSHORT, "12", ""},      {3, RDA_CLI_C_BIT, "1", ""},       {3, RDA_CLI_C_TINYINT, "12", ""},
      {3, RDA_CLI_C_LONG, "12", ""},        {3, RDA_CLI_C_SHORT, "12", ""},    {3, RDA_CLI_C_FLOAT, "12.5", ""},
      {3, RDA_CLI_C_DOUBLE, "12.5", ""},    {3, RDA_CLI_C_DATE, nullptr, "22005"},
      {6, RDA_CLI_C_ULONG, "12345", ""},    {6, RDA_CLI_C_USHORT, "12345", ""}, {6, RDA_CLI_C_SLONG, "12345", ""},
      {6, RDA_CLI_C_SSHORT, "12345", ""},   {6, RDA_CLI_C_DEFAULT, "12345.678", "", RDA_CLI_C_CHAR},
      {6, RDA_CLI_C_CHAR, "12345.678", ""}, {6, RDA_CLI_C_LONG, "12345", ""},  {6, RDA_CLI_C_SHORT, "12345", ""},
      {6, RDA_CLI_C_FLOAT, "12345.68", ""}, {6, RDA_CLI_C_DOUBLE, "12345.678", ""},
      {7, RDA_CLI_C_BINARY, "2024-02-29", "", RDA_CLI_C_CHAR},   {7, RDA_CLI_C_DEFAULT, "2024-2-29", "", RDA_CLI_C_DATE},
      {7, RDA_CLI_C_CHAR, "2024-02-29", ""}, {7, RDA_CLI_C_DATE, "2024-2-29", ""},
      {7, RDA_CLI_C_TIMESTAMP, "2024-2-29 0:0:0.0", ""},
      {8, RDA_CLI_C_BINARY, "12:34:56", "", RDA_CLI_C_CHAR},     {8, RDA_CLI_C_DEFAULT, "12:34:56", "", RDA_CLI_C_TIME},
      {8, RDA_CLI_C_CHAR, "12:34:56", ""},   {8, RDA_CLI_C_TIME, "12:34:56", ""},
      {8, RDA_CLI_C_TIMESTAMP, "1970-1-1 12:34:56.0", ""},
      {9, RDA_CLI_C_BINARY, "2024-02-29 12:34:56", "", RDA_CLI_C_CHAR},
      {9, RDA_CLI_C_DEFAULT, "2024-2-29 12:34:56.0", "", RDA_CLI_C_TIMESTAMP},
      {9, RDA_CLI_C_CHAR, "2024-02-29 12:34:56", ""},          {9, RDA_CLI_C_DATE, "2024-2-29", ""},
      {9, RDA_CLI_C_TIME, "12:34:56", ""},                     {9, RDA_CLI_C_TIMESTAMP, "2024-2-29 12:34:56.0", ""},
  };
  for (const Read& r : reads) {
    char buf[64];
    std::memset(buf, 0, sizeof buf);
    int64_t ind = 0;
    const int32_t rc = rda_cliGetCol(q, static_cast<int16_t>(-r.col), r.cType, buf, sizeof buf, &ind);
    const std::string what = std::string(described[r.col - 1].name) + " as " + std::to_string(r.cType);
    if (r.out == nullptr) {
      EXPECT_EQ(rc, -1) << what;
      EXPECT_EQ(lastDiag(q->errors).state, r.state) << what;
      continue;
    }
    EXPECT_EQ(rc, 0) << what << ": " << message(q);
    EXPECT_EQ(shownAs(r.show != 0 ? r.show : r.cType, buf, sizeof buf), r.out) << what;
  }
  // The values whose readers come with the fetch, as they were queued.
  const auto* w = static_cast<const RDA_CliValueData*>(getCol(q, 4)->startValue);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::wstring(w->wtext.text, w->wtext.length), L"\u00e9\U0001F600") << "one character above U+FFFF";
  const auto* b = static_cast<const RDA_CliValueData*>(getCol(q, 5)->startValue);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->bits.octets), b->bits.count), std::string("\x01\x02\xFF", 3));

  // The second row: NULL in every column but the first, whatever the C type.
  takeRow(q);
  for (int16_t n = 2; n <= 9; ++n) {
    for (int16_t c : {RDA_CLI_C_CHAR, RDA_CLI_C_SLONG, RDA_CLI_C_DOUBLE, RDA_CLI_C_TIMESTAMP, RDA_CLI_C_WCHAR,
                      RDA_CLI_C_BINARY, RDA_CLI_C_DEFAULT}) {
      char buf[32];
      int64_t ind = 0;
      EXPECT_EQ(rda_cliGetCol(q, n, c, buf, sizeof buf, &ind), 0) << n << " as " << c;
      EXPECT_EQ(ind, -1) << n << " as " << c;
    }
  }
  ASSERT_EQ(rda_cliFreeStmt(q, 1), 0);
  ASSERT_EQ(rda_cliFreeStmt(s, 1), 0);
}

TEST_P(ClientResult, ANewBlockTakesTheValuesOfTheOldOneOffTheColumns) {
  up({"--init-data", initData(GetParam())});
  RDA_CliHSTMT* s = stmt();
  ASSERT_EQ(run(s, "CREATE TABLE t (i INTEGER, v VARCHAR(9))"), 0) << message(s);
  for (int i = 1; i <= 3; ++i)
    ASSERT_EQ(run(s, "INSERT INTO t VALUES (" + std::to_string(i) + ", 'v" + std::to_string(i) + "')"), 0);
  // Two rows per block; the next block is asked for while the first row
  // is current and the second still queued (as array elements nobody read
  // stay): their memory goes with the block's tree.
  RDA_CliHSTMT* q = stmt();
  q->fetchSize = 2;
  ASSERT_EQ(prepare(q, "SELECT i, v FROM t ORDER BY i"), 0) << message(q);
  ASSERT_EQ(rda_cliExecute(q), 0) << message(q);
  if (getCol(q, 1)->values.count == 0) {
    ASSERT_EQ(RDA_cliFetchCol(q), 1) << message(q);
  }
  ASSERT_EQ(getCol(q, 1)->values.count, 2u);
  takeRow(q);
  int32_t v = 0;
  int64_t ind = 0;
  ASSERT_EQ(rda_cliGetCol(q, 1, RDA_CLI_C_SLONG, &v, 4, &ind), 0);
  EXPECT_EQ(v, 1);
  // The last row, and the end of the data with it.
  if (RDA_cliFetchCol(q) == 0) {
    EXPECT_EQ(lastDiag(q->errors).state, "02000");
  }
  EXPECT_EQ(getCol(q, 1)->values.count, 1u) << "the new block's row alone";
  EXPECT_EQ(getCol(q, 2)->values.count, 1u);
  EXPECT_EQ(rda_cliGetCol(q, -1, RDA_CLI_C_SLONG, &v, 4, &ind), 0);
  EXPECT_EQ(ind, -1) << "no current value from a freed block";
  takeRow(q);
  EXPECT_EQ(rda_cliGetCol(q, 1, RDA_CLI_C_SLONG, &v, 4, &ind), 0);
  EXPECT_EQ(v, 3);
  ASSERT_EQ(rda_cliFreeStmt(q, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, ClientResult, ::testing::Values(64, 65, 1), [](const auto& info) {
  return info.param == 64 ? std::string("Level0") : info.param == 65 ? std::string("Level1Digits")
                                                                     : std::string("Level1EightByte");
});

}  // namespace
