// SQL_C_WCHAR buffers in UTF-16 mode (unixODBC): the exports between the
// application's UTF-16 and the cores' 4-byte text, driven through a test
// function table whose fetch, column binding and SQLGetData stand for the
// client's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "src/odbc/odbcapi.h"
#include "src/odbc/odbcwide.h"

namespace {

// What the fake cores deliver: the current row's value of every column
// (NULL: absent), in 4-byte characters.
struct FakeResult {
  std::vector<const wchar_t*> row;  // by column - 1
  // SQLGetData's read position in the current value.
  int column = 0;
  size_t pos = 0;
  bool read = false;
  // The binding the core was given.
  wchar_t* bound = nullptr;
  int64_t boundBytes = 0;
  int64_t* boundInd = nullptr;
  int calls = 0;
};
FakeResult gFake;

// Writes as much of `value` from `from` as fits with a terminator, as the
// client's converters do: the bytes left as indicator; 1 when cut.
int16_t deliver(const wchar_t* value, size_t from, wchar_t* buffer, int64_t bytes, int64_t* ind, size_t* taken) {
  const size_t left = std::wcslen(value) - from;
  *ind = static_cast<int64_t>(left * sizeof(wchar_t));
  const size_t room = bytes >= 4 ? static_cast<size_t>(bytes / 4) - 1 : 0;
  const size_t n = std::min(left, room);
  if (bytes >= 4) {
    std::wmemcpy(buffer, value + from, n);
    buffer[n] = L'\0';
  }
  *taken = n;
  return n < left ? 1 : 0;
}

int16_t fakeBindCol(uint64_t* w) {
  EXPECT_EQ(qvScalarArg<int16_t>(w, 2), SQL_C_WCHAR);
  gFake.bound = qvPtrArg<wchar_t*>(w, 3);
  gFake.boundBytes = qvScalarArg<int64_t>(w, 4);
  gFake.boundInd = qvPtrArg<int64_t*>(w, 5);
  return 0;
}

int16_t fakeFetch(uint64_t* w) {
  auto* stmt = qvPtrArg<LmoStmt*>(w, 0);
  ++stmt->rowSerial;
  gFake.read = false;
  gFake.pos = 0;
  if (gFake.bound != nullptr) {
    const wchar_t* v = gFake.row[0];
    if (v == nullptr) {
      *gFake.boundInd = SQL_NULL_DATA;
      return 0;
    }
    size_t taken = 0;
    return deliver(v, 0, gFake.bound, gFake.boundBytes, gFake.boundInd, &taken);
  }
  return 0;
}

int16_t fakeGetData(uint64_t* w) {
  ++gFake.calls;
  const auto column = static_cast<int16_t>(qvScalarArg<uint16_t>(w, 1));
  EXPECT_EQ(qvScalarArg<int16_t>(w, 2), SQL_C_WCHAR);
  auto* buffer = qvPtrArg<wchar_t*>(w, 3);
  const int64_t bytes = qvScalarArg<int64_t>(w, 4);
  auto* ind = qvPtrArg<int64_t*>(w, 5);
  const int number = column < 0 ? -column : column;
  if (column < 0 || number != gFake.column) {
    gFake.column = number;
    gFake.pos = 0;
    gFake.read = false;
  }
  const wchar_t* v = gFake.row[static_cast<size_t>(number - 1)];
  if (gFake.read) return 100;
  if (v == nullptr) {
    *ind = SQL_NULL_DATA;
    gFake.read = true;
    return 0;
  }
  size_t taken = 0;
  const int16_t r = deliver(v, gFake.pos, buffer, bytes, ind, &taken);
  gFake.pos += taken;
  gFake.read = r == 0;
  return r;
}

class WideBuffers : public ::testing::Test {
 protected:
  void SetUp() override {
    attachDriverOnce();
    gFake = FakeResult{};
    table_[QV_FN_BINDCOL] = fakeBindCol;
    table_[QV_FN_FETCH] = fakeFetch;
    table_[QV_FN_GETDATA] = fakeGetData;
    QvSetWideUnitForTest(2);
  }
  void TearDown() override { QvSetWideUnitForTest(4); }

  struct Piece {
    SQLRETURN rc;
    std::u16string text;
    SQLLEN ind;
  };
  // SQLGetData of column `column` into a buffer of `bytes`, guarded on both
  // sides.
  Piece get(SQLUSMALLINT column, SQLLEN bytes) {
    std::vector<char16_t> b(static_cast<size_t>(bytes) / 2 + 4, u'#');
    Piece p{};
    p.ind = -99;
    p.rc = SQLGetData(stmt_.handle(), column, SQL_C_WCHAR, b.data() + 2, bytes, &p.ind);
    EXPECT_EQ(b[0], u'#');
    EXPECT_EQ(b[1], u'#');
    EXPECT_EQ(b[static_cast<size_t>(bytes) / 2 + 2 + (bytes % 2)], u'#') << "nothing past the buffer";
    if ((p.rc == SQL_SUCCESS || p.rc == SQL_SUCCESS_WITH_INFO) && p.ind != SQL_NULL_DATA) p.text = b.data() + 2;
    return p;
  }
  std::string firstState() {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR message[256];
    SQLSMALLINT length = 0;
    SQLError(nullptr, nullptr, stmt_.handle(), state, &native, message, sizeof message, &length);
    return reinterpret_cast<char*>(state);
  }

  TestConnection conn_;
  TestStatement stmt_{conn_};
  FuncTable table_;
};

TEST_F(WideBuffers, GetDataHandsTheValueOutInPiecesCutAtCharacters) {
  gFake.row = {L"ab\U0001F600cd", L"xyz", nullptr};
  ASSERT_EQ(SQLFetch(stmt_.handle()), SQL_SUCCESS);
  // Six UTF-16 units; a buffer of three takes two and a terminator.
  Piece p = get(1, 6);
  EXPECT_EQ(p.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(p.text, u"ab");
  EXPECT_EQ(p.ind, 12);
  EXPECT_EQ(firstState(), "01004");
  p = get(1, 6);
  EXPECT_EQ(p.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(p.text, u"\U0001F600");
  EXPECT_EQ(p.ind, 8);
  // Room for one unit: a pair does not fit, nothing is written.
  p = get(1, 4);
  EXPECT_EQ(p.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(p.text, u"c");
  EXPECT_EQ(p.ind, 4);
  p = get(1, 100);
  EXPECT_EQ(p.rc, SQL_SUCCESS);
  EXPECT_EQ(p.text, u"d");
  EXPECT_EQ(p.ind, 2);
  EXPECT_EQ(get(1, 100).rc, SQL_NO_DATA);
  EXPECT_EQ(gFake.calls, 1) << "the value was taken from the core once";

  // Another column, then a restart of the first by its negative number.
  p = get(2, 100);
  EXPECT_EQ(p.text, u"xyz");
  EXPECT_EQ(p.ind, 6);
  p = get(static_cast<SQLUSMALLINT>(-1), 8);
  EXPECT_EQ(p.text, u"ab") << "cut before a pair whose first half would fit";
  EXPECT_EQ(p.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(p.ind, 12);
  p = get(3, 100);
  EXPECT_EQ(p.rc, SQL_SUCCESS);
  EXPECT_EQ(p.ind, SQL_NULL_DATA);

  // A new row starts again.
  gFake.row = {L"\u00e9", L"", nullptr};
  ASSERT_EQ(SQLFetch(stmt_.handle()), SQL_SUCCESS);
  p = get(1, 100);
  EXPECT_EQ(p.text, u"\u00e9");
  EXPECT_EQ(p.ind, 2);
  p = get(2, 100);
  EXPECT_EQ(p.rc, SQL_SUCCESS);
  EXPECT_EQ(p.text, u"");
  EXPECT_EQ(p.ind, 0);
  EXPECT_EQ(get(2, 100).rc, SQL_NO_DATA);
}

// A value longer than the first read of the core comes whole.
TEST_F(WideBuffers, GetDataTakesALongValueWhole) {
  std::wstring big(10000, L'\u00e9');
  big += L'\U0001F600';
  gFake.row = {big.c_str()};
  ASSERT_EQ(SQLFetch(stmt_.handle()), SQL_SUCCESS);
  std::u16string all;
  for (int i = 0; i < 100; ++i) {
    const Piece p = get(1, 4096);
    if (p.rc == SQL_NO_DATA) break;
    all += p.text;
  }
  EXPECT_EQ(all, std::u16string(10000, u'\u00e9') + u"\U0001F600");
}

TEST_F(WideBuffers, BoundColumnsAreConvertedAfterEachFetch) {
  std::vector<char16_t> buffer(8, u'#');
  SQLLEN ind = -99;
  ASSERT_EQ(SQLBindCol(stmt_.handle(), 1, SQL_C_WCHAR, buffer.data(), 6 * 2, &ind), SQL_SUCCESS);
  EXPECT_EQ(gFake.boundBytes, 6 * 4) << "a 4-byte shadow of the same character capacity";
  const struct {
    const wchar_t* value;
    SQLRETURN rc;
    std::u16string text;
    SQLLEN ind;
  } rows[] = {
      {L"abc", SQL_SUCCESS, u"abc", 6},
      {L"\U0001F600\U0001F601\U0001F602", SQL_SUCCESS_WITH_INFO, u"\U0001F600\U0001F601", 12},
      {L"abcdefgh", SQL_SUCCESS_WITH_INFO, u"abcde", SQL_NO_TOTAL},
      {nullptr, SQL_SUCCESS, u"", SQL_NULL_DATA},
  };
  for (const auto& r : rows) {
    gFake.row = {r.value};
    std::fill(buffer.begin(), buffer.end(), u'#');
    // The fake core says nothing of a cut itself; the boundary does.
    const SQLRETURN rc = SQLFetch(stmt_.handle());
    const bool coreCut = r.value != nullptr && std::wcslen(r.value) > 5;
    EXPECT_EQ(rc, coreCut ? SQL_SUCCESS_WITH_INFO : r.rc);
    EXPECT_EQ(ind, r.ind);
    if (r.value != nullptr) {
      EXPECT_EQ(std::u16string(buffer.data()), r.text);
    }
    EXPECT_EQ(buffer[6], u'#') << "nothing past the buffer";
  }
  // Unbound, the buffer is left alone.
  ASSERT_EQ(SQLBindCol(stmt_.handle(), 1, SQL_C_WCHAR, nullptr, 0, nullptr), SQL_SUCCESS);
  gFake.bound = nullptr;
  buffer.assign(8, u'#');
  gFake.row = {L"abc"};
  EXPECT_EQ(SQLFetch(stmt_.handle()), SQL_SUCCESS);
  EXPECT_EQ(buffer[0], u'#');
}

}  // namespace
