// Result columns: the description and rows of an R-ExecuteDBL confirm made
// into column records and value queues, and the column calls of the client
// (bind, get, count, describe, attributes). Descriptions and rows are made
// in memory with the RDA builders, as the confirm's decoder leaves them.
#include "src/rdaclient/rdacli_result.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "rdaclient/result_fixture.h"
#include "src/asn1/rda_sql.h"
#include "src/rda/rda_sqlbuild.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/runtime/xm.h"
#include "support/cli_blocks.h"
#include "support/cli_diag.h"
#include "support/trace_capture.h"

namespace {

// ---------------------------------------------------------------------------
// Descriptions

TEST_F(ResultColumns, DescriptionRefinesTypesSizesAndScales) {
  const int32_t three = 3, zero = 0;
  struct Case {
    Descr* d;
    int16_t type;
    uint32_t size;
    int16_t scale;
  };
  const Case cases[] = {
      {rda_createXOPENVariantType(msg, 1, "c", 30), RDA_CLI_SQL_VARIANT, 30, 0},
      {rda_createXOPENWVarCharType(msg, 1, "c", nullptr, 40), RDA_CLI_SQL_WVARCHAR, 40, 0},
      {flagged(rda_createXOPENWVarCharType(msg, 1, "c", nullptr, 40), 4), RDA_CLI_SQL_WLONGVARCHAR, 40, 0},
      {rda_createXOPENWCharType(msg, 1, "c", nullptr, 10, 0), RDA_CLI_SQL_WCHAR, 10, 0},
      {rda_createXOPENBitVaryingType(msg, 1, "c", 100), RDA_CLI_SQL_VARBINARY, 100, 0},
      {flagged(rda_createXOPENBitVaryingType(msg, 1, "c", 100), 4), RDA_CLI_SQL_LONGVARBINARY, 100, 0},
      {flagged(rda_createXOPENBitVaryingType(msg, 1, "c", 100), 8), RDA_CLI_SQL_BINARY, 100, 0},
      {rda_createXOPENCharType(msg, 1, "c", nullptr, 20, 0), RDA_CLI_SQL_CHAR, 20, 0},
      {flagged(rda_createXOPENCharType(msg, 1, "c", nullptr, 20, 0), 16), RDA_CLI_SQL_UNKNOWN, 20, 0},
      {rda_createXOPENNumericType(msg, 1, "c", 12, 3), RDA_CLI_SQL_NUMERIC, 12, 3},
      {rda_createXOPENDecimalType(msg, 1, "c", 7, 0x10002), RDA_CLI_SQL_DECIMAL, 7, 2},
      {rda_createXOPENIntegerType(msg, 1, "c", 10, 1), RDA_CLI_SQL_INTEGER, 10, 0},
      {rda_createXOPENSmallIntType(msg, 1, "c", 5, 1), RDA_CLI_SQL_SMALLINT, 5, 0},
      {flagged(rda_createXOPENSmallIntType(msg, 1, "c", 1, 1), 16), RDA_CLI_SQL_BIT, 1, 0},
      {flagged(rda_createXOPENSmallIntType(msg, 1, "c", 3, 1), 8), RDA_CLI_SQL_TINYINT, 3, 0},
      {rda_createXOPENFloatType(msg, 1, "c", 15, 0), RDA_CLI_SQL_FLOAT, 15, 0},
      {rda_createXOPENRealType(msg, 1, "c", 7, 0), RDA_CLI_SQL_REAL, 7, 0},
      {rda_createXOPENDoublePrecisionType(msg, 1, "c", 15, 0), RDA_CLI_SQL_DOUBLE, 15, 0},
      {rda_createXOPENDateTimeType(msg, 1, "c", 1, nullptr), RDA_CLI_SQL_DATE, 10, 0},
      {rda_createXOPENDateTimeType(msg, 1, "c", 2, nullptr), RDA_CLI_SQL_TIME, 8, 0},
      {rda_createXOPENDateTimeType(msg, 1, "c", 3, nullptr), RDA_CLI_SQL_TIMESTAMP, 19, 0},
      {rda_createXOPENDateTimeType(msg, 1, "c", 3, &three), RDA_CLI_SQL_TIMESTAMP, 23, 3},
      {rda_createXOPENDateTimeType(msg, 1, "c", 3, &zero), RDA_CLI_SQL_TIMESTAMP, 19, 0},
      {rda_createXOPENVarCharType(msg, 1, "c", nullptr, 50), RDA_CLI_SQL_VARCHAR, 50, 0},
      {flagged(rda_createXOPENVarCharType(msg, 1, "c", nullptr, 50), 4), RDA_CLI_SQL_LONGVARCHAR, 50, 0},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.d, nullptr);
    ASSERT_EQ(updateColSpec(&stmt, descrs({c.d})), 1) << c.type;
    RDA_CliCol* col = column(1);
    ASSERT_NE(col, nullptr);
    EXPECT_EQ(col->sqlType, c.type);
    EXPECT_EQ(col->colSize, c.size) << c.type;
    EXPECT_EQ(col->scale, c.scale) << c.type;
    EXPECT_EQ(col->flags, RDA_CLI_COL_DESCRIBED);
  }
  EXPECT_EQ(stmt.state & RDA_CLI_STMT_CONFIRMED, RDA_CLI_STMT_CONFIRMED);
}

TEST_F(ResultColumns, DescriptionNumbersNamesNullabilityAndHiddenColumns) {
  Descr* skipped = flagged(varchar("skipped"), RDA_CLI_DESC_SKIP);
  Descr* hidden = flagged(rda_createXOPENIntegerType(msg, 0, "ROWID", 10, 1), RDA_CLI_DESC_HIDDEN);
  Descr* array = varchar("\xC3\xA9t\xC3\xA9");  // "été"
  array->mask |= 1u << 2;
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer("ID"), skipped, hidden, array})), 1);
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3})) << "a skipped descriptor takes no number";
  EXPECT_EQ(utf8(column(1)->name), "ID");
  EXPECT_EQ(column(1)->nullable, 1) << "nullable when the description says nothing";
  EXPECT_EQ(column(2)->nullable, 0);
  EXPECT_EQ(column(3)->sqlType, RDA_CLI_SQL_VARCHAR);
  EXPECT_EQ(std::wstring(column(3)->name), L"\u00e9t\u00e9");
  EXPECT_EQ(column(3)->arrayFlag, 1);
  EXPECT_EQ(stmt.hiddenCols, 1u);
  int16_t count = -1;
  EXPECT_EQ(rda_cliNumResultCols(&stmt, &count), 0);
  EXPECT_EQ(count, 2) << "hidden columns are not counted";
  int64_t all = -1;
  int16_t len = 0;
  EXPECT_EQ(rda_cliColAttribute(&stmt, 1, RDA_CLI_ATTR_COUNT, nullptr, 0, &len, &all), 0);
  EXPECT_EQ(all, 3) << "descriptor 0 counts them";
  EXPECT_EQ(len, 4);
}

TEST_F(ResultColumns, DescriptionErrors) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  struct Case {
    Descr* bad;
    const char* state;
    int32_t native;
    const char* message;
    const char* traced;
  };
  Descr* interval = integer();
  interval->type.code = 0x400E;  // an interval: no SQL type of the client
  const Case cases[] = {
      {rda_createXOPENIntegerType(msg, 1, "b", 10, 2), "00000", RDA_CLI_ERR_BINARY_RADIX, "No error",
       "*** updateColSpec: integer type with binary base is not supported"},
      {rda_createXOPENSmallIntType(msg, 1, "b", 5, 0), "00000", RDA_CLI_ERR_BINARY_RADIX, "No error",
       "*** updateColSpec: smallInt type with binary base is not supported"},
      {interval, "S1004", 0, "CLI error: Data type out of range - Invalid fSQLType 0 for column 2", nullptr},
  };
  for (const Case& c : cases) {
    RDA_cliClearErrorList(&stmt.errors);
    trace.clear();
    EXPECT_EQ(updateColSpec(&stmt, descrs({integer(), c.bad})), 0);
    ASSERT_EQ(stmt.errors.count, 1u);
    EXPECT_EQ(lastDiag(stmt.errors).state, c.state);
    EXPECT_EQ(lastDiag(stmt.errors).native, c.native);
    EXPECT_EQ(lastDiag(stmt.errors).message, c.message);
    if (c.traced != nullptr) {
      EXPECT_TRUE(trace.contains(c.traced)) << c.traced;
    }
    EXPECT_TRUE(numbers().empty()) << "the records of a failed description go";
  }
  const RDAList* one = descrs({integer()});
  const long before = xmLive();
  EXPECT_EQ(withBudget(0, [&] { return updateColSpec(&stmt, one); }), 0);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1001");
  EXPECT_TRUE(trace.contains("Cannot create column"));
  EXPECT_EQ(xmLive(), before + 1) << "the diagnostic alone";
}

TEST_F(ResultColumns, AttributeTextSplitsIntoItsParts) {
  struct Case {
    const char* text;
    std::vector<const char*> parts;  // catalog, schema, table, base, label, type; NULL: absent
  };
  const Case cases[] = {
      {"cat|sch|tab|base|lab|typ", {"cat", "sch", "tab", "base", "lab", "typ"}},
      {"||T", {"", "", "T", nullptr, nullptr, nullptr}},
      {"a|b|c|d|e|f|g|h|i|j|k|l|m", {"a", "b", "c", "d", "e", "f"}},
      {"", {"", nullptr, nullptr, nullptr, nullptr, nullptr}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(updateColSpec(&stmt, descrs({flagged(integer(), 0, c.text)})), 1) << c.text;
    const RDA_CliCol* col = column(1);
    const wchar_t* got[] = {col->catalogName, col->schemaName, col->tableName, col->baseColName, col->label,
                            col->typeName};
    for (size_t i = 0; i < 6; ++i) {
      if (c.parts[i] == nullptr) {
        EXPECT_EQ(got[i], nullptr) << c.text << " part " << i;
      } else {
        ASSERT_NE(got[i], nullptr) << c.text << " part " << i;
        EXPECT_EQ(utf8(got[i]), c.parts[i]) << c.text << " part " << i;
      }
    }
  }
}

TEST_F(ResultColumns, BindingAndTheDescription) {
  int32_t a = 0, b = 0;
  int64_t ind = 0;
  EXPECT_EQ(rda_cliBindCol(&stmt, 1, 3, &a, 4, &ind), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "CLI error: Program type out of range - BindCol: invalid fBufType 3");
  EXPECT_EQ(rda_cliBindCol(&stmt, 0, RDA_CLI_C_LONG, &a, 4, &ind), -1) << "no column 0";
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1002");
  // Binding before any description makes the record, and the description
  // keeps it with its binding.
  EXPECT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_STINYINT, &b, 1, nullptr), 0);
  EXPECT_EQ(stmt.errors.count, 0u);
  RDA_CliCol* bound = column(2);
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(bound->bind.cType, RDA_CLI_C_TINYINT);
  EXPECT_EQ(bound->bind.ind, &bound->spareInd) << "no indicator: the spare word";
  EXPECT_EQ(rda_cliBindCol(&stmt, 7, RDA_CLI_C_LONG, &a, 4, &ind), 0) << "no description yet: any number";
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer("A"), varchar("B"), integer("C")})), 1);
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3})) << "in number order; column 7 is gone";
  EXPECT_EQ(column(2), bound);
  EXPECT_EQ(bound->flags, RDA_CLI_COL_BOUND | RDA_CLI_COL_DESCRIBED);
  EXPECT_EQ(bound->bind.buffer, &b);
  EXPECT_EQ(utf8(bound->name), "B");
  // Above count + 1 of a described result is refused, count + 1 accepted.
  EXPECT_EQ(rda_cliBindCol(&stmt, 5, RDA_CLI_C_LONG, &a, 4, &ind), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1002");
  EXPECT_EQ(rda_cliBindCol(&stmt, 4, RDA_CLI_C_LONG, &a, 4, &ind), 0);
  EXPECT_EQ(stmt.cols.count, 4u);
  // Unbinding.
  EXPECT_EQ(rda_cliBindCol(&stmt, 9, RDA_CLI_C_LONG, nullptr, 0, nullptr), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "CLI error: Invalid column name - BindCol: invalid column number 9");
  EXPECT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_LONG, nullptr, 0, nullptr), 0);
  EXPECT_EQ(bound->flags, RDA_CLI_COL_DESCRIBED);
  // A description that fails keeps the bindings, undescribed.
  ASSERT_EQ(rda_cliBindCol(&stmt, 3, RDA_CLI_C_LONG, &a, 4, &ind), 0);
  EXPECT_EQ(updateColSpec(&stmt, descrs({integer(), rda_createXOPENIntegerType(msg, 1, "x", 10, 2)})), 0);
  EXPECT_EQ(numbers(), (std::vector<int>{3, 4}));
  EXPECT_EQ(column(3)->flags, RDA_CLI_COL_BOUND);
  EXPECT_EQ(column(3)->name, nullptr);
  EXPECT_EQ(withBudget(0, [&] { return rda_cliBindCol(&stmt, 8, RDA_CLI_C_LONG, &a, 4, &ind); }), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1001");
  EXPECT_EQ(getCol(&stmt, 8), nullptr);
  EXPECT_EQ(rda_cliBindCol(reinterpret_cast<RDA_CliHSTMT*>(&conn), 1, RDA_CLI_C_LONG, &a, 4, &ind), -2);
}

// ---------------------------------------------------------------------------
// Rows

TEST_F(ResultColumns, RowsAreSplitOntoTheColumnQueues) {
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), varchar(), rda_createXOPENWVarCharType(msg, 1, "W", nullptr, 9)})),
            1);
  RDASQLValList* r1 = row();
  addInt(r1, 7);
  addText(r1, "seven");
  addWide(r1, L"\U0001F600x");
  RDASQLValList* r2 = row();
  addNull(r2);
  addNull(r2);
  addText(r2, "", RDA_SQLVAL_WVARCHAR);
  ASSERT_EQ(updateColVal(&stmt, rows({r1, r2})), 1);
  EXPECT_EQ(stmt.errors.count, 0u);
  std::vector<RDA_CliValueItem*> q1 = queue(1), q2 = queue(2), q3 = queue(3);
  ASSERT_EQ(q1.size(), 2u);
  ASSERT_EQ(q2.size(), 2u);
  ASSERT_EQ(q3.size(), 2u);
  EXPECT_EQ(column(1)->values.count, 2u);
  EXPECT_EQ(q1[0]->data->integer, 7);
  EXPECT_EQ(q1[0]->sqlType, RDA_CLI_SQL_INTEGER);
  EXPECT_EQ(q1[1]->data, nullptr) << "NULL";
  EXPECT_EQ(q2[0]->sqlType, RDA_CLI_SQL_VARCHAR);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(q2[0]->data->text.text), q2[0]->data->text.length), "seven");
  EXPECT_EQ(q2[0]->data->text.text[5], 0) << "a NUL after the bytes";
  EXPECT_EQ(q3[0]->sqlType, RDA_CLI_SQL_WVARCHAR);
  EXPECT_EQ(q3[0]->data->wtext.length, 2u) << "one character above U+FFFF and one below";
  EXPECT_EQ(std::wstring(q3[0]->data->wtext.text), L"\U0001F600x");
  EXPECT_EQ(q3[1]->data->wtext.length, 0u) << "an empty text is a value";
}

TEST_F(ResultColumns, LongBinaryValuesRunOverTheirParts) {
  ASSERT_EQ(updateColSpec(&stmt, descrs({binary(), integer()})), 1);
  ASSERT_EQ(column(1)->sqlType, RDA_CLI_SQL_LONGVARBINARY);
  RDASQLValList* r1 = row();
  for (uint32_t n : {32000u, 32000u, 6000u}) addBits(r1, n, 0x5A);
  addInt(r1, 1);
  RDASQLValList* r2 = row();
  for (uint32_t n : {32000u, 32000u, 0u}) addBits(r2, n, 0xA5);
  addInt(r2, 2);
  ASSERT_EQ(updateColVal(&stmt, rows({r1, r2})), 1);
  std::vector<uint32_t> parts;
  for (RDA_CliValueItem* i : queue(1)) parts.push_back(i->data->bits.count);
  EXPECT_EQ(parts, (std::vector<uint32_t>{32000, 32000, 6000, 32000, 32000, 0}));
  std::vector<RDA_CliValueItem*> q2 = queue(2);
  ASSERT_EQ(q2.size(), 2u) << "the next column's value comes after the parts";
  EXPECT_EQ(q2[0]->data->integer, 1);
  EXPECT_EQ(q2[1]->data->integer, 2);
  EXPECT_EQ(queue(1)[3]->data->bits.octets[31999], 0xA5);
}

TEST_F(ResultColumns, RowsThatDoNotMatchTheColumns) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 8}});
  // A long value whose row ends after a full part gets an empty last part.
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), binary()})), 1);
  RDASQLValList* cut = row();
  addInt(cut, 1);
  addBits(cut, 32000, 1);
  ASSERT_EQ(updateColVal(&stmt, rows({cut})), 1);
  ASSERT_EQ(queue(2).size(), 2u);
  EXPECT_EQ(queue(2)[1]->data->bits.count, 0u);
  EXPECT_TRUE(trace.contains("the row ends inside a long value"));

  // An array column takes its count of elements, no further than the row.
  Descr* array = integer("A");
  array->mask |= 1u << 2;
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), array})), 1);
  RDASQLValList* a1 = row();
  addInt(a1, 1);
  addInt(a1, 2);
  addInt(a1, 10);
  addInt(a1, 20);
  RDASQLValList* a2 = row();
  addInt(a2, 2);
  addInt(a2, 5);
  addInt(a2, 30);
  RDASQLValList* a3 = row();
  addInt(a3, 3);
  addNull(a3);
  ASSERT_EQ(updateColVal(&stmt, rows({a1, a2, a3})), 1);
  std::vector<int32_t> got;
  for (RDA_CliValueItem* i : queue(2)) got.push_back(i->data != nullptr ? i->data->integer : -1);
  EXPECT_EQ(got, (std::vector<int32_t>{2, 10, 20, 1, 30, -1})) << "a count beyond the row is what the row holds";
  std::vector<int32_t> first;
  for (RDA_CliValueItem* i : queue(1)) first.push_back(i->data->integer);
  EXPECT_EQ(first, (std::vector<int32_t>{1, 2, 3})) << "each row's first value is its own";
  EXPECT_TRUE(trace.contains("the row ends after 1 of 5 elements"));

  // Surplus values are left; a short row fails before a value reaches the
  // wrong column.
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), integer()})), 1);
  RDASQLValList* longer = row();
  for (int v : {1, 2, 3}) addInt(longer, v);
  trace.clear();
  EXPECT_EQ(updateColVal(&stmt, rows({longer})), 1);
  EXPECT_TRUE(trace.contains("values beyond the last column ignored"));
  EXPECT_EQ(queue(2).size(), 1u);
  RDASQLValList* shorter = row();
  addInt(shorter, 1);
  EXPECT_EQ(updateColVal(&stmt, rows({shorter})), 0);
  EXPECT_EQ(lastDiag(stmt.errors).state, "07008");
  EXPECT_EQ(lastDiag(stmt.errors).message,
            "Dynamic SQL error - Invalid descriptor count - There is no result for this column 2");
}

TEST_F(ResultColumns, ValuesTheClientCannotStore) {
  ASSERT_EQ(updateColSpec(&stmt, descrs({varchar()})), 1);
  struct Case {
    const char* what;
    void (*spoil)(RDAXOPENSQLVal*);
    const char* state;
    const char* message;
  };
  const Case cases[] = {
      {"short text [9]", [](RDAXOPENSQLVal* v) { v->value.code = 0x4009; }, "07006", nullptr},
      {"bits [11]", [](RDAXOPENSQLVal* v) { v->value.code = 0x400B; }, "07006", nullptr},
      {"boolean [27]", [](RDAXOPENSQLVal* v) { v->value.code = 0x401B; }, "07006", nullptr},
      {"tag beyond the table", [](RDAXOPENSQLVal* v) { v->value.code = 0x4040; }, "07006", nullptr},
      {"neither value nor NULL", [](RDAXOPENSQLVal* v) { v->mask = 0; }, "S1009",
       "CLI error: Invalid argument value - Invalid mask 0, neither dataItem nor indicator for NULL is present"},
      {"indicator other than -1 alone", [](RDAXOPENSQLVal* v) {
         v->mask = 2;
         v->indicator = -2;
       },
       "S1009", nullptr},
  };
  for (const Case& c : cases) {
    RDA_cliClearErrorList(&stmt.errors);
    RDASQLValList* r = row();
    c.spoil(addText(r, "x"));
    EXPECT_EQ(updateColVal(&stmt, rows({r})), 0) << c.what;
    ASSERT_EQ(stmt.errors.count, 1u) << c.what;
    EXPECT_EQ(lastDiag(stmt.errors).state, c.state) << c.what;
    if (c.message != nullptr) {
      EXPECT_EQ(lastDiag(stmt.errors).message, c.message) << c.what;
    }
    EXPECT_TRUE(queue(1).empty()) << c.what;
  }
  // Malformed UTF-8 in a wide text is no empty text.
  ASSERT_EQ(updateColSpec(&stmt, descrs({rda_createXOPENWVarCharType(msg, 1, "W", nullptr, 9)})), 1);
  RDASQLValList* r = row();
  addText(r, "\xC3")->value.code = RDA_SQLVAL_WVARCHAR;
  EXPECT_EQ(updateColVal(&stmt, rows({r})), 0);
  EXPECT_EQ(lastDiag(stmt.errors).state, "07006");
  // A value the server cut is stored with a warning.
  ASSERT_EQ(updateColSpec(&stmt, descrs({varchar()})), 1);
  RDA_cliClearErrorList(&stmt.errors);
  r = row();
  RDAXOPENSQLVal* v = addText(r, "abc");
  v->mask |= 2;
  v->indicator = -5;
  EXPECT_EQ(updateColVal(&stmt, rows({r})), 1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
  EXPECT_EQ(queue(1).size(), 1u);
}

TEST_F(ResultColumns, ResultWithoutColumnsTakesTheFirstExceptionThatSaysSomething) {
  RDAXOPENSQLDBLExcp empty{};
  RDAXOPENSQLDBLExcp failed{};
  failed.mask = 1;
  failed.sqlState = const_cast<char*>("23000");
  std::vector<void*> v = {rda_createResultVal(msg, &empty, nullptr), rda_createResultVal(msg, &failed, nullptr)};
  RDAList list{};
  ASSERT_EQ(RDA_copyListOfResultVals(2, v.data(), msg, &list), 1);
  EXPECT_EQ(updateColVal(&stmt, &list), 1);
  ASSERT_EQ(stmt.errors.count, 1u);
  EXPECT_EQ(lastDiag(stmt.errors).state, "23000");
}

TEST_F(ResultColumns, ValueItemsGoWithTheirTreeOrOneByOne) {
  const int32_t saved = giEnablePaging;
  for (int32_t paging : {1, 0}) {
    giEnablePaging = paging;
    RDASQLValList* r = row();
    addInt(r, 1);
    addText(r, std::string(3000, 'x'));
    addBits(r, 100, 1);
    RDASQLValList* r2 = row();
    addNull(r2);
    addText(r2, "y");
    addBits(r2, 0, 0);
    const RDAList* rs = rows({r, r2});
    const RDAList* spec = descrs({integer(), varchar(), binary()});
    stmt.resultTree = _xm_allocTree(stmt.tree);
    ASSERT_EQ(updateColSpec(&stmt, spec), 1);
    const long described = xmLive();
    ASSERT_EQ(updateColVal(&stmt, rs), 1);
    if (paging == 0) {
      EXPECT_EQ(xmLive(), described + 6) << "an item of its own per value";
    }
    EXPECT_GT(xmLive(), described);
    RDA_cliClearResult(&stmt);
    if (paging == 0) {
      EXPECT_EQ(xmLive(), described - 3) << "each item freed when the result is cleared, with the three names";
    }
    _xm_freeTree(stmt.resultTree);
    stmt.resultTree = nullptr;
    EXPECT_LE(xmLive(), described) << "paging " << paging;
    // Out of memory while values are stored: S1001, and nothing queued.
    stmt.resultTree = _xm_allocTree(stmt.tree);
    ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), varchar()})), 1);
    RDASQLValList* r3 = row();
    addInt(r3, 1);
    addText(r3, "z");
    const RDAList* rs3 = rows({r3});
    EXPECT_EQ(withBudget(0, [&] { return updateColVal(&stmt, rs3); }), 0);
    EXPECT_EQ(lastDiag(stmt.errors).state, "S1001");
    RDA_cliClearErrorList(&stmt.errors);
    _xm_freeTree(stmt.resultTree);
    stmt.resultTree = nullptr;
  }
  giEnablePaging = saved;
}

// ---------------------------------------------------------------------------
// The column calls

TEST_F(ResultColumns, GetColReadsTheCurrentValue) {
  ASSERT_EQ(updateColSpec(&stmt, descrs({integer(), integer(), rda_createXOPENDoublePrecisionType(msg, 1, "D", 15, 0)})),
            1);
  int32_t v = 0;
  int64_t ind = 0;
  EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, &ind), 0);
  EXPECT_EQ(ind, -1) << "before the first fetch the column reads as NULL";
  RDASQLValList* r = row();
  addNull(r);
  addInt(r, 42);
  RDAXOPENSQLVal* d = addInt(r, 0);
  d->value.code = RDA_SQLVAL_DOUBLE;
  d->value.real = 3.14159;
  ASSERT_EQ(updateColVal(&stmt, rows({r})), 1);
  takeRow();

  for (int i = 0; i < 2; ++i) {
    ind = 0;
    EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, &ind), 0) << "NULL, and again";
    EXPECT_EQ(ind, -1);
  }
  EXPECT_EQ(rda_cliGetCol(&stmt, 2, RDA_CLI_C_LONG, &v, 4, &ind), 0);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(ind, 4);
  EXPECT_EQ(rda_cliGetCol(&stmt, 2, RDA_CLI_C_LONG, &v, 4, &ind), 100) << "read whole";
  v = 0;
  EXPECT_EQ(rda_cliGetCol(&stmt, -2, RDA_CLI_C_CHAR, &v, 4, &ind), 0) << "a negated number reads it again";
  EXPECT_STREQ(reinterpret_cast<char*>(&v), "42");
  EXPECT_EQ(stmt.lastGetDataCol, 2);

  // A value cut to the buffer: with nothing delivered it stays current,
  // delivered in part it is read.
  char text[16];
  EXPECT_EQ(rda_cliGetCol(&stmt, 3, RDA_CLI_C_CHAR, text, 0, &ind), 1);
  EXPECT_EQ(ind, 7);
  EXPECT_EQ(rda_cliGetCol(&stmt, 3, RDA_CLI_C_CHAR, text, 5, &ind), 1);
  EXPECT_STREQ(text, "3.14");
  EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
  EXPECT_EQ(rda_cliGetCol(&stmt, 3, RDA_CLI_C_CHAR, text, 16, &ind), 100);
  EXPECT_EQ(rda_cliGetCol(&stmt, -3, RDA_CLI_C_LONG, &v, 4, &ind), 0);
  EXPECT_EQ(v, 3);
  // A failed conversion.
  EXPECT_EQ(rda_cliGetCol(&stmt, -3, RDA_CLI_C_DATE, text, 16, &ind), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1003");

  struct Refusal {
    int16_t col;
    int16_t cType;
    const char* message;
  };
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, &ind), 0);
  const Refusal refusals[] = {
      {1, RDA_CLI_C_LONG, "CLI error: Invalid column name - GetCol: Col:1 is invalid"},
      {-9, RDA_CLI_C_LONG, "CLI error: Invalid column name - GetCol: Col:9 is invalid"},
      {2, RDA_CLI_C_ARRAY, "CLI error: Program type out of range"},
      {2, 3, "CLI error: Program type out of range"},
  };
  for (const Refusal& f : refusals) {
    EXPECT_EQ(rda_cliGetCol(&stmt, f.col, f.cType, &v, 4, &ind), -1) << f.message;
    EXPECT_EQ(lastDiag(stmt.errors).message, f.message);
  }
  RDA_cliClearResult(&stmt);
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, nullptr, 0, nullptr), 0);
  EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, &ind), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "CLI error: Function sequence error - GetCol: Fetch was not called");
}

TEST_F(ResultColumns, CountsAndRowCount) {
  int16_t n = -1;
  EXPECT_EQ(rda_cliNumResultCols(&stmt, &n), 0);
  EXPECT_EQ(n, 0) << "no columns";
  int32_t v = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, nullptr), 0);
  EXPECT_EQ(rda_cliNumResultCols(&stmt, &n), 0);
  EXPECT_EQ(n, 0) << "bound, not described, not prepared";
  // Prepared: the server is asked for the description first; these blocks
  // have no server, and the DESCRIBE's failure is the answer.
  stmt.state |= RDA_CLI_STMT_PREPARED;
  EXPECT_EQ(rda_cliNumResultCols(&stmt, &n), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "40001");
  stmt.state &= ~RDA_CLI_STMT_PREPARED;

  int64_t rows = 0;
  stmt.resultKind = RDA_CLI_RESULT_ROWCOUNT;
  stmt.rowCount = 7;
  EXPECT_EQ(rda_cliRowCount(&stmt, &rows), 0);
  EXPECT_EQ(rows, 7);
  stmt.resultKind = 0;
  EXPECT_EQ(rda_cliRowCount(&stmt, &rows), 0);
  EXPECT_EQ(rows, -1);
  EXPECT_EQ(rda_cliRowCount(nullptr, &rows), -2);
  EXPECT_EQ(rda_cliNumResultCols(reinterpret_cast<RDA_CliHSTMT*>(&env), &n), -2);
}

TEST_F(ResultColumns, DescribeCol) {
  ASSERT_EQ(updateColSpec(&stmt, descrs({rda_createXOPENNumericType(msg, 0, "PRICE", 12, 2), integer(nullptr)})), 1);
  wchar_t name[16];
  int16_t len = 0, type = 0, scale = 0, nullable = 9;
  uint64_t size = 0;
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, name, 16, &len, &type, &size, &scale, &nullable), 0);
  EXPECT_EQ(std::wstring(name), L"PRICE");
  EXPECT_EQ(len, -3) << "the caller measures a name that fitted";
  EXPECT_EQ(type, RDA_CLI_SQL_NUMERIC);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(scale, 2);
  EXPECT_EQ(nullable, 0);
  // A name of exactly the buffer length is cut.
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, name, 5, &len, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(std::wstring(name), L"PRIC");
  EXPECT_EQ(len, 4);
  EXPECT_EQ(lastDiag(stmt.errors).message,
            "Success with warning - string data, right truncation - Column name of result column 1 right truncated");
  // A buffer without room for the NUL receives nothing.
  wchar_t guard[2] = {L'#', L'#'};
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, guard, 0, &len, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(guard[0], L'#');
  EXPECT_EQ(len, 5);
  EXPECT_EQ(stmt.errors.count, 2u) << "describe keeps earlier diagnostics";
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, nullptr, 0, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(len, 5) << "without a buffer: the name's length";
  name[0] = L'#';
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 2, name, 16, &len, &type, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(len, 0) << "no name";
  EXPECT_EQ(name[0], L'\0');
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 3, name, 16, &len, &type, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1002");
  // Not described and not prepared: nothing.
  RDA_cliClearResult(&stmt);
  int32_t v;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, nullptr), 0);
  type = 77;
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, name, 16, &len, &type, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(type, 77);
  stmt.state |= RDA_CLI_STMT_PREPARED;
  EXPECT_EQ(rda_cliDescribeCol(&stmt, 1, name, 16, &len, &type, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message,
            "CLI error: Function sequence error - DescribeCol: result not available for column 1");
}

TEST_F(ResultColumns, ColAttributeAnswers) {
  Descr* hidden = flagged(rda_createXOPENIntegerType(msg, 0, "H", 10, 1), RDA_CLI_DESC_HIDDEN | RDA_CLI_DESC_TYPE2201);
  Descr* wide = flagged(rda_createXOPENWVarCharType(msg, 1, "NAME", nullptr, 30), 0, "db|dbo|PEOPLE|NAME|Name|nvarchar");
  wide->mask |= 1u << 2;
  ASSERT_EQ(updateColSpec(&stmt, descrs({rda_createXOPENNumericType(msg, 1, "N", 12, 2), wide, hidden,
                                         rda_createXOPENDateTimeType(msg, 1, "T", 3, nullptr)})),
            1);
  struct Num {
    int16_t col;
    uint16_t desc;
    int64_t value;
  };
  const Num nums[] = {
      {1, RDA_CLI_ATTR_TYPE, RDA_CLI_SQL_NUMERIC}, {1, RDA_CLI_ATTR_LENGTH, 14},  {1, RDA_CLI_ATTR_OCTET_LENGTH, 14},
      {1, RDA_CLI_ATTR_PRECISION, 12},        {1, RDA_CLI_ATTR_SCALE, 2},     {1, RDA_CLI_ATTR_NULLABLE, 1},
      {2, RDA_CLI_ATTR_LENGTH, 30},           {2, RDA_CLI_ATTR_OCTET_LENGTH, 120},
      {2, RDA_CLI_ATTR_ARRAY, 1},             {1, RDA_CLI_ATTR_ARRAY, 0},     {3, RDA_CLI_ATTR_NULLABLE, 0},
      {3, RDA_CLI_ATTR_LENGTH, 4},            {3, RDA_CLI_ATTR_VISIBLE, 0},   {2, RDA_CLI_ATTR_VISIBLE, 1},
      {3, RDA_CLI_ATTR_TYPE2201, 1},          {2, RDA_CLI_ATTR_TYPE2201, 0},  {3, RDA_CLI_ATTR_FLAGS, 3},
      {1, RDA_CLI_ATTR_HIDDEN_COUNT, 1},      {4, RDA_CLI_ATTR_LENGTH, 16},   {4, RDA_CLI_ATTR_PRECISION, 19},
      {9, RDA_CLI_ATTR_COUNT, 4},
  };
  for (const Num& n : nums) {
    int64_t value = -99;
    int16_t len = 0;
    EXPECT_EQ(rda_cliColAttribute(&stmt, n.col, n.desc, nullptr, 0, &len, &value), 0) << n.desc;
    EXPECT_EQ(value, n.value) << "column " << n.col << " descriptor " << n.desc;
    EXPECT_EQ(len, 4);
  }
  struct Str {
    uint16_t desc;
    const char* text;
    const char* cut;  // the truncation text
  };
  const Str strs[] = {
      {RDA_CLI_ATTR_NAME, "NAME", "Column name of result column 2 right truncated"},
      {RDA_CLI_ATTR_TYPE_NAME, "nvarchar", "Column type name of result column 2 right truncated"},
      {RDA_CLI_ATTR_TABLE_NAME, "PEOPLE", "Column table name of result column 2 right truncated"},
      {RDA_CLI_ATTR_SCHEMA_NAME, "dbo", "Column name of result column 2 right truncated"},
      {RDA_CLI_ATTR_CATALOG_NAME, "db", "Column catalog name of result column 2 right truncated"},
      {RDA_CLI_ATTR_BASE_COLUMN, "NAME", "Column base name of result column 2 right truncated"},
      {RDA_CLI_ATTR_LABEL, "Name", "Column name of result column 2 right truncated"},
  };
  for (const Str& s : strs) {
    wchar_t buf[16];
    int16_t len = 0;
    const auto full = static_cast<int16_t>(std::strlen(s.text) * 4);
    EXPECT_EQ(rda_cliColAttribute(&stmt, 2, s.desc, buf, sizeof buf, &len, nullptr), 0) << s.text;
    EXPECT_EQ(utf8(buf), s.text);
    EXPECT_EQ(len, -3);
    EXPECT_EQ(rda_cliColAttribute(&stmt, 2, s.desc, buf, 8, &len, nullptr), 1) << s.text;
    EXPECT_EQ(utf8(buf), std::string(s.text, 1)) << "two characters: one and the NUL";
    EXPECT_EQ(len, full);
    EXPECT_EQ(lastDiag(stmt.errors).message,
              std::string("Success with warning - string data, right truncation - ") + s.cut);
    buf[0] = L'#';
    EXPECT_EQ(rda_cliColAttribute(&stmt, 2, s.desc, buf, 3, &len, nullptr), 1) << "no room for a character";
    EXPECT_EQ(buf[0], L'#');
    EXPECT_EQ(len, full);
  }
  wchar_t buf[8] = {L'#'};
  int16_t len = 9;
  EXPECT_EQ(rda_cliColAttribute(&stmt, 1, RDA_CLI_ATTR_TABLE_NAME, buf, sizeof buf, &len, nullptr), 0);
  EXPECT_EQ(len, 0) << "no attribute text";
  EXPECT_EQ(buf[0], L'\0');
  EXPECT_EQ(rda_cliColAttribute(&stmt, 1, 99, buf, sizeof buf, &len, nullptr), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message, "CLI error: Invalid argument value - ColAttribute: fDescType 99 is invalid");
  EXPECT_EQ(rda_cliColAttribute(&stmt, 5, RDA_CLI_ATTR_TYPE, buf, sizeof buf, &len, nullptr), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1002");
  RDA_cliClearResult(&stmt);
  int32_t v;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, nullptr), 0);
  len = 9;
  EXPECT_EQ(rda_cliColAttribute(&stmt, 1, RDA_CLI_ATTR_TYPE, buf, sizeof buf, &len, nullptr), 0);
  EXPECT_EQ(len, 0) << "not described";
}

}  // namespace
