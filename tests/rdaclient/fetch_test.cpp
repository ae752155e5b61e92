// The fetch on rows made in memory and fed to the confirm's handlers: its
// preconditions, rows into bound columns, long binary values over their
// parts, array and variant columns, the output values of a call, and its
// trace lines. (What it asks of the server runs end to end against rdapeer
// in test_integration.)
#include "src/rdaclient/rdacli_fetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rdaclient/fetch_fixture.h"
#include "src/rdaclient/rdacli_col.h"
#include "src/rdaclient/rdacli_column.h"
#include "src/rdaclient/rdacli_cvrt.h"
#include "src/rdaclient/rdacli_param.h"
#include "src/rdaclient/rdacli_sql.h"
#include "support/cli_diag.h"
#include "support/trace_capture.h"

namespace {

Descr* arrayOf(Descr* d) {
  d->mask |= 1u << 2;
  return d;
}

TEST_F(FetchTest, PreconditionsInTheirOrder) {
  RDASQLValList* r = row();
  addInt(r, 1);
  receive({integer()}, {r});
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::string message;
  };
  const Case cases[] = {
      {"no transaction", [&] { conn.state &= ~RDA_CLI_ST_TRANSACTION; },
       "Transaction rollback - Statement completion unknown - Transaction is not open"},
      {"no cursor", [&] { stmt.state &= ~RDA_CLI_STMT_CURSOR_OPEN; }, "Invalid cursor state - Cursor is not open"},
      {"no columns", [&] { RDA_cliFreeCols(&stmt); },
       "Dynamic SQL error - Invalid descriptor count - There are no columns to be fetched"},
  };
  for (const Case& c : cases) {
    conn.state |= RDA_CLI_ST_TRANSACTION;
    stmt.state |= RDA_CLI_STMT_CURSOR_OPEN;
    c.spoil();
    for (auto fetch : {rda_cliFetch, rda_cliFetchReturnVal}) {
      EXPECT_EQ(fetch(&stmt), -1) << c.name;
      ASSERT_EQ(stmt.errors.count, 1u) << c.name;
      EXPECT_EQ(lastDiag(stmt.errors).message, c.message);
    }
  }
  EXPECT_EQ(rda_cliFetch(nullptr), -2);
  EXPECT_EQ(rda_cliFetchReturnVal(reinterpret_cast<RDA_CliHSTMT*>(&conn)), -2);
}

TEST_F(FetchTest, RowsIntoBoundColumnsThenNoData) {
  RDASQLValList* r1 = row();
  addInt(r1, 7);
  addText(r1, "ab");
  addInt(r1, 70);
  RDASQLValList* r2 = row();
  addNull(r2);
  addText(r2, "abcdef");
  addInt(r2, 71);
  receive({integer(), varchar(), integer()}, {r1, r2});
  int32_t a = 0;
  char b[4];
  int64_t aInd = 0, bInd = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &a, 4, &aInd), 0);
  ASSERT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_CHAR, b, sizeof b, &bInd), 0);
  stmt.lastGetDataCol = 3;

  EXPECT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(aInd, 4);
  EXPECT_STREQ(b, "ab");
  EXPECT_EQ(bInd, 2);
  EXPECT_EQ(stmt.fetchState, 1u);
  EXPECT_EQ(stmt.lastGetDataCol, 0);
  int32_t c = 0;
  int64_t cInd = 0;
  EXPECT_EQ(rda_cliGetCol(&stmt, 3, RDA_CLI_C_LONG, &c, 4, &cInd), 0);
  EXPECT_EQ(c, 70);

  // A bound text cut to its buffer: the row answers 1 with 01004.
  EXPECT_EQ(rda_cliFetch(&stmt), 1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
  EXPECT_EQ(aInd, -1);
  EXPECT_STREQ(b, "abc");
  EXPECT_EQ(bInd, 6);
  EXPECT_EQ(rda_cliGetCol(&stmt, 3, RDA_CLI_C_LONG, &c, 4, &cInd), 0);
  EXPECT_EQ(c, 71);

  // The end of the data, and again.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rda_cliFetch(&stmt), 100);
    EXPECT_EQ(stmt.errors.count, 0u);
  }
}

TEST_F(FetchTest, ALongBinaryValueIsOneValueWhosePartsTheNextFetchDrops) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 128}});
  RDASQLValList* r1 = row();
  addBits(r1, 32000, 1);
  addBits(r1, 32000, 2);
  addBits(r1, 6000, 3);
  addInt(r1, 1);
  RDASQLValList* r2 = row();
  addBits(r2, 10, 4);
  addInt(r2, 2);
  receive({binary(), integer()}, {r1, r2});
  GuardedBuffer buf(100000);
  int64_t ind = 0;
  int32_t n = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_BINARY, buf.data(), 100000, &ind), 0);
  ASSERT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_LONG, &n, 4, nullptr), 0);

  EXPECT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
  EXPECT_EQ(ind, 70000);
  EXPECT_EQ(column(1)->totalLen, 70000u);
  EXPECT_EQ(column(1)->extraParts, 2);
  EXPECT_EQ(*buf.at(0), 1);
  EXPECT_EQ(*buf.at(32000), 2);
  EXPECT_EQ(*buf.at(69999), 3);
  EXPECT_TRUE(buf.guardsIntact());
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(trace.contains("rda_cliFetch(): Total items in value <2> total bytes in column is 70000"));
  EXPECT_EQ(column(1)->values.count, 3u) << "the parts and the next row's value";

  EXPECT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_EQ(ind, 10);
  EXPECT_EQ(*buf.at(0), 4);
  EXPECT_EQ(n, 2) << "the next row's values line up";
  EXPECT_EQ(column(1)->values.count, 0u);
  EXPECT_EQ(rda_cliFetch(&stmt), 100);
}

TEST_F(FetchTest, AValueEndsWhereTheReceivedPartsEnd) {
  // A last part of exactly 32000 octets with nothing after it.
  RDASQLValList* r = row();
  addBits(r, 32000, 1);
  addBits(r, 32000, 2);
  receive({binary()}, {r});
  RDA_CliCol* col = column(1);
  ASSERT_EQ(col->values.count, 3u) << "ended with an empty part when stored";
  RdaCliLink* empty = col->values.head.prev;
  RDA_cliRingRemove(&col->values, empty);

  ASSERT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_EQ(col->totalLen, 64000u);
  EXPECT_EQ(col->extraParts, 1);
  GuardedBuffer buf(70000);
  int64_t ind = 0;
  EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_BINARY, buf.data(), 70000, &ind), 0);
  EXPECT_EQ(ind, 64000);
  EXPECT_EQ(*buf.at(63999), 2);
  EXPECT_TRUE(buf.untouched() == false && buf.guardsIntact());
  // A count of parts beyond the queue takes what is there and no more.
  col->extraParts = 5;
  col->partsTaken = 0;
  EXPECT_EQ(rda_cliFetchNextPartOfColumnValue(&stmt, &col->bind, col), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rda_cliFetchNextPartOfColumnValue(&stmt, &col->bind, col), 100);
  col->extraParts = 0;
}

// The block of an array value: a 32-bit count, a pointer per element from
// byte 4 on, the elements from byte (count + 1) x 8 on.
struct ArrayBlock {
  const uint8_t* block = nullptr;
  uint32_t count() const {
    uint32_t n;
    std::memcpy(&n, block, 4);
    return n;
  }
  const uint8_t* element(uint32_t i) const {
    const uint8_t* p;
    std::memcpy(&p, block + 4 + 8 * i, 8);
    return p;
  }
  ptrdiff_t offset(uint32_t i) const { return element(i) - block; }
  int32_t integer(uint32_t i) const {
    int32_t v;
    std::memcpy(&v, element(i), 4);
    return v;
  }
};

TEST_F(FetchTest, AnArrayColumnGivesABlockAndItsElementsGoWithTheirRow) {
  RDASQLValList* r1 = row();
  addInt(r1, 1);
  for (int v : {3, 10}) addInt(r1, v);
  addNull(r1);
  addInt(r1, 30);
  RDASQLValList* r2 = row();
  addInt(r2, 2);
  for (int v : {1, 40}) addInt(r2, v);
  RDASQLValList* r3 = row();
  addInt(r3, 3);
  addNull(r3);
  receive({integer(), arrayOf(integer("A"))}, {r1, r2, r3});
  void* block = nullptr;
  int64_t ind = 0;
  int32_t id = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &id, 4, nullptr), 0);
  ASSERT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_ARRAY, &block, 8, &ind), 0);

  ASSERT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
  EXPECT_EQ(id, 1);
  EXPECT_EQ(ind, 8);
  ArrayBlock a{static_cast<const uint8_t*>(block)};
  ASSERT_EQ(a.count(), 3u);
  EXPECT_EQ(a.offset(0), 32);
  EXPECT_EQ(a.integer(0), 10);
  EXPECT_EQ(a.element(1), nullptr) << "a NULL element";
  EXPECT_EQ(a.offset(2), 36);
  EXPECT_EQ(a.integer(2), 30);
  std::free(block);

  ASSERT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
  EXPECT_EQ(id, 2) << "the elements went with their row";
  a = ArrayBlock{static_cast<const uint8_t*>(block)};
  ASSERT_EQ(a.count(), 1u);
  EXPECT_EQ(a.integer(0), 40);
  std::free(block);

  block = nullptr;
  ASSERT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_EQ(id, 3);
  EXPECT_EQ(ind, -1) << "a NULL array";
  EXPECT_EQ(rda_cliFetch(&stmt), 100);
}

TEST_F(FetchTest, ArrayElementsOfTextStayInTheirSlots) {
  RDASQLValList* r = row();
  addInt(r, 2);
  addWide(r, L"abc");
  addWide(r, L"x");
  addInt(r, 3);
  addText(r, "hi");
  addText(r, "world!");
  addText(r, "");
  receive({arrayOf(rda_createXOPENWVarCharType(msg, 1, "W", nullptr, 2)), arrayOf(varchar("V", 5))}, {r});
  void* wide = nullptr;
  void* narrow = nullptr;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_ARRAY, &wide, 8, nullptr), 0);
  ASSERT_EQ(rda_cliBindCol(&stmt, 2, RDA_CLI_C_ARRAY, &narrow, 8, nullptr), 0);
  EXPECT_EQ(rda_cliFetch(&stmt), 1) << "elements cut to their room";
  EXPECT_EQ(lastDiag(stmt.errors).state, "01004");

  // Wide elements get (size + 1) x 4 bytes: two characters and the NUL.
  ArrayBlock w{static_cast<const uint8_t*>(wide)};
  ASSERT_EQ(w.count(), 2u);
  EXPECT_EQ(w.offset(0), 24);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(w.element(0))), L"ab");
  EXPECT_EQ(w.offset(1), 24 + 12);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(w.element(1))), L"x");
  // Narrow ones take what they used of their size + 1 bytes.
  ArrayBlock n{static_cast<const uint8_t*>(narrow)};
  ASSERT_EQ(n.count(), 3u);
  EXPECT_STREQ(reinterpret_cast<const char*>(n.element(0)), "hi");
  EXPECT_EQ(n.offset(1) - n.offset(0), 3);
  EXPECT_STREQ(reinterpret_cast<const char*>(n.element(1)), "world");
  EXPECT_EQ(n.offset(2) - n.offset(1), 6);
  EXPECT_STREQ(reinterpret_cast<const char*>(n.element(2)), "");
  std::free(wide);
  std::free(narrow);
}

TEST_F(FetchTest, AnArrayOfATypeWithoutElementsIsRefused) {
  RDASQLValList* r = row();
  addInt(r, 1);
  addBits(r, 3, 7);
  receive({arrayOf(flagged(rda_createXOPENBitVaryingType(msg, 1, "B", 10), 0))}, {r});
  void* block = &block;
  int64_t ind = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_ARRAY, &block, 8, &ind), 0);
  EXPECT_EQ(rda_cliFetch(&stmt), -1);
  EXPECT_EQ(lastDiag(stmt.errors).state, "S1003");
  EXPECT_EQ(block, &block) << "no block handed out";
  EXPECT_EQ(rda_cliFetch(&stmt), 100);
  EXPECT_EQ(column(1)->values.count, 0u) << "the element went with its row";
}

TEST_F(FetchTest, AVariantGivesItsItemTypeThenItsValue) {
  RDASQLValList* r1 = row();
  addInt(r1, 7);
  RDASQLValList* r2 = row();
  addText(r2, "hi", RDA_SQLVAL_CHAR);
  RDASQLValList* r3 = row();
  addDouble(r3, 2.5);
  RDASQLValList* r4 = row();
  const wchar_t eAcute[] = L"\u00e9";
  const OctStgV wide{1, reinterpret_cast<uint8_t*>(const_cast<wchar_t*>(eAcute))};
  ASSERT_EQ(rda_addXOPENSQLVal(msg, &r4->values, RDA_SQLVAL_WCHAR, &wide, 0, 0, nullptr, nullptr, 0, 0), 1);
  RDASQLValList* r5 = row();
  addBytes(r5, std::string("\x01\x02\x03", 3));
  RDASQLValList* r6 = row();
  addNumeric(r6, "12.50");
  receive({rda_createXOPENVariantType(msg, 1, "X", 30)}, {r1, r2, r3, r4, r5, r6});
  struct Want {
    int64_t itemType;
    std::string value;  // the bytes after the item type, whole
  };
  const int32_t seven = 7;
  const double half = 2.5;
  const Want wants[] = {
      {4, std::string(reinterpret_cast<const char*>(&seven), 4)},
      {1, std::string("hi\0", 3)},
      {8, std::string(reinterpret_cast<const char*>(&half), 8)},
      {-8, std::string(reinterpret_cast<const char*>(eAcute), 8)},
      {-2, std::string("\x01\x02\x03", 3)},
      {1, std::string("12.50\0", 6)},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(w.itemType);
    ASSERT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
    const size_t whole = 8 + w.value.size();
    // Exactly the room the item type and the value take, and more.
    for (size_t size : {whole, whole + 12}) {
      GuardedBuffer buf(size);
      int64_t ind = 0;
      EXPECT_EQ(rda_cliGetCol(&stmt, -1, RDA_CLI_C_DEFAULT, buf.data(), static_cast<int64_t>(size), &ind), 0)
          << lastDiag(stmt.errors).message;
      EXPECT_EQ(ind, static_cast<int64_t>(size));
      int64_t type = 0;
      std::memcpy(&type, buf.at(0), 8);
      EXPECT_EQ(type, w.itemType);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.at(8)), w.value.size()), w.value);
      EXPECT_TRUE(buf.guardsIntact());
    }
    // A byte short of that, or not even room for the item type: nothing
    // written, 01004, and the indicator says what it takes.
    for (size_t size : {whole - 1, size_t{7}}) {
      GuardedBuffer shorter(size);
      int64_t ind = 0;
      EXPECT_EQ(rda_cliGetCol(&stmt, -1, RDA_CLI_C_DEFAULT, shorter.data(), static_cast<int64_t>(size), &ind), 1);
      EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
      EXPECT_EQ(ind, static_cast<int64_t>(whole));
      EXPECT_TRUE(shorter.untouched() && shorter.guardsIntact()) << size;
    }
  }
}

TEST_F(FetchTest, AVariantReadIntoTooSmallABufferIsLeftWholeForTheNextRead) {
  conn.numericFormat = 0;  // numerics in the 8-byte form
  const char v123[] = "\x00\x00\x00\x00\x7B\x00\x00\x00";
  RDASQLValList* r1 = row();
  addNumeric(r1, std::string(v123, 8));
  RDASQLValList* r2 = row();
  addText(r2, "hello", RDA_SQLVAL_CHAR);
  receive({rda_createXOPENVariantType(msg, 1, "X", 30)}, {r1, r2});
  for (const std::string want : {"123", "hello"}) {
    SCOPED_TRACE(want);
    ASSERT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
    const int64_t whole = 8 + static_cast<int64_t>(want.size()) + 1;
    GuardedBuffer buf(static_cast<size_t>(whole));
    int64_t ind = 0;
    EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_DEFAULT, buf.data(), whole - 1, &ind), 1);
    EXPECT_EQ(ind, whole);
    EXPECT_TRUE(buf.untouched());
    ASSERT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_DEFAULT, buf.data(), whole, &ind), 0) << lastDiag(stmt.errors).message;
    int64_t type = 0;
    std::memcpy(&type, buf.at(0), 8);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.at(8))), want);
    EXPECT_TRUE(buf.guardsIntact());
    EXPECT_EQ(rda_cliGetCol(&stmt, 1, RDA_CLI_C_DEFAULT, buf.data(), whole, &ind), 100);
  }
  conn.numericFormat = 1;
}

TEST_F(FetchTest, OutputValuesOfACallGoToTheOutputParameters) {
  int32_t in = 5, out = 0;
  char text[3];
  int64_t inInd = 4, outInd = 0, textInd = 0;
  ASSERT_EQ(rda_cliBindParam(&stmt, 1, RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 10, 0, &in, &inInd, nullptr,
                             RDA_CLI_PARAM_INPUT, 4),
            0);
  ASSERT_EQ(rda_cliBindParam(&stmt, 2, RDA_CLI_C_LONG, RDA_CLI_SQL_INTEGER, 10, 0, &out, &outInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, 4),
            0);
  ASSERT_EQ(rda_cliBindParam(&stmt, 3, RDA_CLI_C_CHAR, RDA_CLI_SQL_VARCHAR, 10, 0, text, &textInd, nullptr,
                             RDA_CLI_PARAM_OUTPUT, sizeof text),
            0);
  stmt.returnValues = 2;
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 16}});
  auto result = [&] {
    RDASQLValList* r = row();
    addNull(r);  // the return status
    addInt(r, 42);
    addText(r, "abc");
    receive({integer("RETURN_VALUE"), integer("b"), varchar("c")}, {r});
  };
  result();
  EXPECT_EQ(rda_cliFetchReturnVal(&stmt), 1);
  EXPECT_EQ(out, 42);
  EXPECT_EQ(outInd, 4);
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(textInd, 3);
  EXPECT_EQ(in, 5) << "an input parameter takes no column";
  EXPECT_TRUE(trace.contains("*** rda_cliFetchReturnVal: Skipping Return Status"));

  // More output parameters than values.
  stmt.returnValues = 3;
  result();
  EXPECT_EQ(rda_cliFetchReturnVal(&stmt), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message,
            "Dynamic SQL error - Invalid descriptor count - More parameters bound for output(3) then returned(2)");
  EXPECT_EQ(column(1)->flags & RDA_CLI_COL_DESCRIBED, 0u) << "the result is cleared";
  // No row at all.
  stmt.returnValues = 2;
  receive({integer("RETURN_VALUE"), integer("b"), varchar("c")}, {});
  EXPECT_EQ(rda_cliFetchReturnVal(&stmt), 100);
}

TEST_F(FetchTest, AColumnWithoutItsValueEndsTheResult) {
  RDASQLValList* r = row();
  addInt(r, 1);
  addInt(r, 2);
  receive({integer(), integer()}, {r});
  int32_t v = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 3, RDA_CLI_C_LONG, &v, 4, nullptr), 0) << "count + 1 may be bound";
  EXPECT_EQ(rda_cliFetch(&stmt), -1);
  EXPECT_EQ(lastDiag(stmt.errors).message,
            "Dynamic SQL error - Invalid descriptor count - There is no result for this column 3");
  EXPECT_EQ(column(1)->flags & RDA_CLI_COL_DESCRIBED, 0u);
  EXPECT_EQ(stmt.state & RDA_CLI_STMT_CURSOR_OPEN, RDA_CLI_STMT_CURSOR_OPEN) << "the cursor stays open";
}

TEST_F(FetchTest, ProductType2AnswersTheLastRowOfABlockWith110) {
  RDASQLValList* r1 = row();
  addInt(r1, 1);
  RDASQLValList* r2 = row();
  addInt(r2, 2);
  receive({integer()}, {r1, r2});
  conn.productType = 2;
  EXPECT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_EQ(rda_cliFetch(&stmt), RDA_CLI_ROWLIMIT_EXCEEDED);
  EXPECT_EQ(rda_cliFetch(&stmt), 100);
}

TEST_F(FetchTest, TraceLinesOfDeliveredValues) {
  TraceCapture trace({{&rda_cliTMHandle, "CLI : ", 64}});
  const RdaCliDate date{2024, 2, 29};
  const RdaCliTime time{13, 5, 9};
  const RdaCliTimestamp stamp{2024, 2, 29, 13, 5, 9, 123};
  const uint32_t big = 4000000000u;
  const int32_t negative = -7;
  const uint16_t ushort = 65535;
  const int16_t sshort = -2;
  const float f = 1.5f;
  const double d = 0.25;
  const uint8_t one = 1, tiny = 200;
  const wchar_t wide[] = {L'a', L'b', L'c'};  // no terminator
  const char text[] = {'a', 'b', 'c', 'd'};   // no terminator
  int64_t ind = 3;
  const int64_t nullInd = -1;
  struct Case {
    int16_t cType;
    const void* buffer;
    int64_t bufLen;
    const int64_t* ind;
    std::string line;  // empty: none
  };
  const Case cases[] = {
      {RDA_CLI_C_LONG, nullptr, 4, &ind, "rgbValue=<NULL>"},
      {RDA_CLI_C_LONG, &negative, 4, nullptr, "rgbValue=<Invalid pcbValue>"},
      {RDA_CLI_C_LONG, &negative, 4, &nullInd, "rgbValue=<NULL DATA>"},
      {RDA_CLI_C_ULONG, &big, 4, &ind, "rgbValue=<4000000000>"},
      {RDA_CLI_C_USHORT, &ushort, 2, &ind, "rgbValue=<65535>"},
      {RDA_CLI_C_SLONG, &negative, 4, &ind, "rgbValue=<-7>"},
      {RDA_CLI_C_LONG, &negative, 4, &ind, "rgbValue=<-7>"},
      {RDA_CLI_C_SSHORT, &sshort, 2, &ind, "rgbValue=<-2>"},
      {RDA_CLI_C_SHORT, &sshort, 2, &ind, "rgbValue=<-2>"},
      {RDA_CLI_C_WCHAR, wide, 8, &ind, "rgbValue=<ab>"},
      {RDA_CLI_C_BIT, &one, 1, &ind, "rgbValue=<1>"},
      {RDA_CLI_C_TINYINT, &tiny, 1, &ind, "rgbValue=<200>"},
      {RDA_CLI_C_BINARY, text, 4, &ind, "rgbValue=<Binary DATA>"},
      {RDA_CLI_C_CHAR, text, 3, &ind, "rgbValue=<abc>"},
      {RDA_CLI_C_FLOAT, &f, 4, &ind, "rgbValue=<1.500000>"},
      {RDA_CLI_C_DOUBLE, &d, 8, &ind, "rgbValue=<0.250000>"},
      {RDA_CLI_C_DATE, &date, 6, &ind, "rgbValue=<2024-02-29>"},
      {RDA_CLI_C_TIME, &time, 6, &ind, "rgbValue=<13:05:09>"},
      {RDA_CLI_C_TIMESTAMP, &stamp, 16, &ind, "rgbValue=<2024-02-29 13:05:09.000000123>"},
      {RDA_CLI_C_DEFAULT, text, 4, &ind, "rgbValue=<0x"},
      {RDA_CLI_C_ARRAY, text, 4, &ind, ""},
  };
  for (const Case& c : cases) {
    trace.clear();
    printRGBValue(c.cType, c.buffer, c.bufLen, c.ind);
    if (c.line.empty()) {
      EXPECT_TRUE(trace.lines().empty()) << c.cType;
      continue;
    }
    ASSERT_EQ(trace.lines().size(), 1u) << c.line;
    EXPECT_NE(trace.lines()[0].find(c.line), std::string::npos) << trace.lines()[0];
  }
  // A fetch writes both lines per bound column.
  RDASQLValList* r = row();
  addInt(r, 7);
  receive({integer()}, {r});
  int32_t v = 0;
  ASSERT_EQ(rda_cliBindCol(&stmt, 1, RDA_CLI_C_LONG, &v, 4, &ind), 0);
  trace.clear();
  ASSERT_EQ(rda_cliFetch(&stmt), 0);
  EXPECT_TRUE(trace.contains("rda_cliFetch(): Bound column=<1> fBufType=<4> pcbValue=<4>"));
  EXPECT_TRUE(trace.contains("rgbValue=<7>"));
}

}  // namespace
