// The readers of text, binary, variant and array values: a value read in
// pieces by repeated SQLGetData calls (rda_cliGetCol) after a fetch made it
// current, each read's bytes, indicator and result; and what a buffer too
// small for even a terminator receives.
#include "src/rdaclient/rdacli_deliver.h"

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
#include "src/rdaclient/rdacli_fetch.h"
#include "support/cli_diag.h"
#include "support/locale.h"

namespace {

// What one read must leave.
enum class Show { Text, Wide, Bytes, Untouched };
struct Read {
  std::string out;  // Text, Wide (as UTF-8), Bytes: what the buffer holds
  int64_t ind;
  int32_t rc;
  Show show = Show::Text;
};
Read done() { return Read{"", 0, 100}; }

struct Case {
  const char* name;
  std::function<Descr*(XmTree*)> column;
  std::function<void(FetchTest*, RDASQLValList*)> value;
  int16_t cType;
  int64_t bufLen;
  std::vector<Read> reads;
  const char* locale = "C.UTF-8";
  uint32_t mapNarrow = 0;  // MapDefaultWcharAsChar
};

std::string runOf(std::initializer_list<std::pair<size_t, char>> runs) {
  std::string out;
  for (const auto& [n, c] : runs) out.append(n, c);
  return out;
}

class Readers : public FetchTest {
 protected:
  void check(const Case& k) {
    SCOPED_TRACE(k.name);
    LocaleGuard locale(k.locale);
    ASSERT_TRUE(locale.ok()) << k.locale;
    conn.mapDefaultWcharAsChar = k.mapNarrow;
    RDASQLValList* r = row();
    k.value(this, r);
    receive({k.column(msg)}, {r});
    ASSERT_EQ(rda_cliFetch(&stmt), 0) << lastDiag(stmt.errors).message;
    GuardedBuffer buf(k.bufLen > 0 ? static_cast<size_t>(k.bufLen) : 0);
    for (size_t i = 0; i < k.reads.size(); ++i) {
      const Read& want = k.reads[i];
      SCOPED_TRACE("read " + std::to_string(i + 1));
      buf.reset();
      int64_t ind = -77;
      const int32_t rc = rda_cliGetCol(&stmt, 1, k.cType, buf.data(), k.bufLen, &ind);
      EXPECT_EQ(rc, want.rc) << lastDiag(stmt.errors).message;
      EXPECT_TRUE(buf.guardsIntact());
      if (want.rc == 100) {
        EXPECT_TRUE(buf.untouched());
        continue;
      }
      EXPECT_EQ(ind, want.ind);
      if (want.rc == 1) {
        EXPECT_EQ(lastDiag(stmt.errors).state, "01004");
      }
      switch (want.show) {
        case Show::Text: EXPECT_EQ(buf.text(), want.out); break;
        case Show::Wide: EXPECT_EQ(utf8(buf.wide().c_str()), want.out); break;
        case Show::Bytes: EXPECT_EQ(buf.bytes(want.out.size()), want.out); break;
        case Show::Untouched: EXPECT_TRUE(buf.untouched()); break;
      }
    }
    conn.mapDefaultWcharAsChar = 0;
  }
};

Descr* varcharCol(XmTree* t) { return rda_createXOPENVarCharType(t, 1, "V", nullptr, 20); }
Descr* wvarcharCol(XmTree* t) { return rda_createXOPENWVarCharType(t, 1, "W", nullptr, 20); }
Descr* wcharCol(XmTree* t) { return rda_createXOPENWCharType(t, 1, "W", nullptr, 20, 0); }
Descr* varbinaryCol(XmTree* t) { return rda_createXOPENBitVaryingType(t, 1, "B", 100); }
Descr* longBinaryCol(XmTree* t) {
  Descr* d = rda_createXOPENBitVaryingType(t, 1, "B", 100000);
  d->number = 4;  // long
  return d;
}
Descr* integerCol(XmTree* t) { return rda_createXOPENIntegerType(t, 1, "I", 10, 1); }
Descr* timestampCol(XmTree* t) { return rda_createXOPENDateTimeType(t, 1, "T", 3, nullptr); }

auto text(std::string s) {
  return [s](FetchTest* f, RDASQLValList* r) { f->addText(r, s); };
}
auto wide(std::wstring s) {
  return [s](FetchTest* f, RDASQLValList* r) { f->addWide(r, s.c_str()); };
}
auto bytes(std::string s) {
  return [s](FetchTest* f, RDASQLValList* r) { f->addBytes(r, s); };
}

std::string repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kThree = "\xAB\x01\xFF";

TEST_F(Readers, ValuesReadInPieces) {
  const Case cases[] = {
      {"VARCHAR into 3 bytes", varcharCol, text("abc"), RDA_CLI_C_CHAR, 3,
       {{"ab", 3, 1}, {"c", 1, 0}, done()}},
      {"VARCHAR as binary", varcharCol, text("abc"), RDA_CLI_C_BINARY, 8, {{"abc", 3, 0}, done()}},
      {"long binary of three parts read with 50,000 bytes", longBinaryCol,
       [](FetchTest* f, RDASQLValList* r) {
         f->addBits(r, 32000, 1);
         f->addBits(r, 32000, 2);
         f->addBits(r, 10, 3);
       },
       RDA_CLI_C_BINARY, 50000,
       {{runOf({{32000, '\1'}, {18000, '\2'}}), 64010, 1, Show::Bytes},
        {runOf({{14000, '\2'}, {10, '\3'}}), 14010, 0, Show::Bytes},
        done()}},
      {"binary in pieces", varbinaryCol, bytes(kThree), RDA_CLI_C_BINARY, 2,
       {{"\xAB\x01", 3, 1, Show::Bytes}, {"\xFF", 1, 0, Show::Bytes}, done()}},
      {"binary as hex text", varbinaryCol, bytes(kThree), RDA_CLI_C_CHAR, 64, {{"ab01ff", 6, 0}, done()}},
      {"binary as hex text in pieces", varbinaryCol, bytes(kThree), RDA_CLI_C_CHAR, 4,
       {{"ab", 6, 1}, {"01", 4, 1}, {"ff", 2, 0}, done()}},
      {"binary as wide hex", varbinaryCol, bytes(kThree), RDA_CLI_C_WCHAR, 64, {{"ab01ff", 24, 0, Show::Wide}, done()}},
      {"binary as wide hex in pieces", varbinaryCol, bytes(kThree), RDA_CLI_C_WCHAR, 12,
       {{"ab", 24, 1, Show::Wide}, {"01", 16, 1, Show::Wide}, {"ff", 8, 0, Show::Wide}, done()}},
      {"long binary as hex over its parts", longBinaryCol,
       [](FetchTest* f, RDASQLValList* r) {
         f->addBits(r, 32000, 0x0F);
         f->addBits(r, 1, 0xF0);
       },
       RDA_CLI_C_CHAR, 64003, {{repeat("0f", 32000) + "f0", 64002, 0}, done()}},
      {"text as wide text in pieces", varcharCol, text("abc"), RDA_CLI_C_WCHAR, 8,
       {{"a", 12, 1, Show::Wide}, {"b", 8, 1, Show::Wide}, {"c", 4, 0, Show::Wide}, done()}},
      {"UTF-8 text as wide text", varcharCol, text("h\xC3\xA9"), RDA_CLI_C_WCHAR, 64,
       {{"h\xC3\xA9", 8, 0, Show::Wide}, done()}},
      {"bytes the locale cannot widen are Latin-1", varcharCol, text("\xE9t\xE9"),
       RDA_CLI_C_WCHAR, 64, {{"\xC3\xA9t\xC3\xA9", 12, 0, Show::Wide}, done()}},
      {"an empty text as wide text leaves the buffer", varcharCol, text(""), RDA_CLI_C_WCHAR,
       8, {{"", 0, 0, Show::Untouched}, done()}},
      {"wide text in pieces", wvarcharCol, wide(L"\u00e9\u20ac"), RDA_CLI_C_WCHAR, 8,
       {{"\xC3\xA9", 8, 1, Show::Wide}, {"\xE2\x82\xAC", 4, 0, Show::Wide}, done()}},
      {"wide text the C locale cannot narrow", wvarcharCol, wide(L"\u00e9"), RDA_CLI_C_CHAR, 8, {{"?", 4, 0}, done()}, "C"},
      {"wide text narrowed in whole characters", wvarcharCol, wide(L"\u00e9\u20acx"), RDA_CLI_C_CHAR, 4,
       {{"\xC3\xA9", 6, 1}, {"\xE2\x82\xAC", 4, 1}, {"x", 1, 0}, done()}},
      {"wide text into 1 byte: the NUL alone", wvarcharCol, wide(L"ab"), RDA_CLI_C_CHAR, 1, {{"", 2, 1}}},
      {"SQL_C_DEFAULT on WCHAR reads wide text", wcharCol, wide(L"ab"), RDA_CLI_C_DEFAULT, 64,
       {{"ab", 8, 0, Show::Wide}, done()}},
      {"SQL_C_DEFAULT on WCHAR mapped to narrow", wcharCol, wide(L"ab"), RDA_CLI_C_DEFAULT, 64, {{"ab", 2, 0}, done()},
       "C.UTF-8", 1},
      {"integer as wide text", integerCol, [](FetchTest* f, RDASQLValList* r) { f->addInt(r, 12345); }, RDA_CLI_C_WCHAR,
       12, {{"12", 20, 1, Show::Wide}, {"34", 12, 1, Show::Wide}, {"5", 4, 0, Show::Wide}, done()}},
      {"timestamp as wide text", timestampCol, [](FetchTest* f, RDASQLValList* r) {
         f->addText(r, "2024-02-29 13:45:01", RDA_SQLVAL_DATETIME);
       },
       RDA_CLI_C_WCHAR, 128, {{"2024-02-29 13:45:01", 76, 0, Show::Wide}, done()}},
      {"double as wide text", [](XmTree* t) { return rda_createXOPENDoublePrecisionType(t, 1, "D", 15, 0); },
       [](FetchTest* f, RDASQLValList* r) { f->addDouble(r, 2.5); }, RDA_CLI_C_WCHAR, 64,
       {{"2.5", 12, 0, Show::Wide}, done()}},
  };
  for (const Case& k : cases) check(k);
}

// A buffer without room for a terminator receives nothing: the indicator
// says how much is left, the value stays to be read.
TEST_F(Readers, BuffersWithoutRoomForATerminatorReceiveNothing) {
  const Case cases[] = {
      {"text, no bytes", varcharCol, text("abc"), RDA_CLI_C_CHAR, 0,
       {{"", 3, 1, Show::Untouched}, {"", 3, 1, Show::Untouched}}},
      {"text, a byte", varcharCol, text("abc"), RDA_CLI_C_CHAR, 1, {{"", 3, 1}}},
      {"wide text, 3 bytes", wvarcharCol, wide(L"ab"), RDA_CLI_C_WCHAR, 3, {{"", 8, 1, Show::Untouched}}},
      {"wide text narrowed, no bytes", wvarcharCol, wide(L"ab"), RDA_CLI_C_CHAR, 0, {{"", 2, 1, Show::Untouched}}},
      {"text widened, 3 bytes", varcharCol, text("ab"), RDA_CLI_C_WCHAR, 3,
       {{"", 8, 1, Show::Untouched}}},
      {"binary as hex, no bytes", varbinaryCol, bytes(kThree), RDA_CLI_C_CHAR, 0, {{"", 6, 1, Show::Untouched}}},
      {"binary as hex, a byte", varbinaryCol, bytes(kThree), RDA_CLI_C_CHAR, 1, {{"", 6, 1}}},
      {"binary as wide hex, 3 bytes", varbinaryCol, bytes(kThree), RDA_CLI_C_WCHAR, 3, {{"", 24, 1, Show::Untouched}}},
      {"binary, no bytes", varbinaryCol, bytes(kThree), RDA_CLI_C_BINARY, 0,
       {{"", 3, 1, Show::Untouched}, {"", 3, 1, Show::Untouched}}},
  };
  for (const Case& k : cases) check(k);
}

TEST(HexText, TwoLowerCaseDigitsPerByteAndATerminator) {
  const uint8_t in[] = {0x00, 0x9A, 0xFF, 0x10};
  char text[9];
  std::memset(text, '#', sizeof text);
  cvrtBin2Hex(text, in, 4);
  EXPECT_EQ(std::string(text, 9), std::string("009aff10\0", 9));
  wchar_t wide[9];
  cvrtBin2WHex(wide, in, 4);
  EXPECT_EQ(std::wstring(wide, 9), std::wstring(L"009aff10\0", 9));
}

}  // namespace
