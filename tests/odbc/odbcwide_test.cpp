#include "src/odbc/odbcwide.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/qvunicode.h"
#include "support/locale.h"

namespace {

// Fixes the application's wide form for a test and looks again afterwards.
class WideUnit {
 public:
  explicit WideUnit(int32_t unit) { QvSetWideUnitForTest(unit); }
  ~WideUnit() { QvSetWideUnitForTest(0); }
};

constexpr uint16_t kGuard16 = 0xBEEF;
constexpr wchar_t kGuard32 = 0x7EADBEEF;

TEST(NarrowToWide, LocaleSequencesElseByteValues) {
  {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    wchar_t* w = QvMbsToWcs("\xC3\xA9x", -3);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w, L"\u00E9x");
    QvReleaseWstr(w);
    w = QvMbsToWcs("a\xFF" "b", 3);  // not UTF-8: the byte's value
    EXPECT_STREQ(w, L"a\u00FF" L"b");
    QvReleaseWstr(w);
  }
  LocaleGuard c("C");
  wchar_t* w = QvMbsToWcs("\xE9\x80", -3);
  EXPECT_EQ(w[0], 0xE9);
  EXPECT_EQ(w[1], 0x80);
  EXPECT_EQ(w[2], 0);
  QvReleaseWstr(w);
  w = QvMbsToWcs(nullptr, -3);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w[0], 0);
  QvReleaseWstr(w);
  w = QvMbsToWcs("abcdef", 2);
  EXPECT_STREQ(w, L"ab");
  QvReleaseWstr(w);
}

TEST(WideToNarrow, CutsAtCharacterBoundaryAndSpillsOnRequest) {
  LocaleGuard utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  char out[5];
  std::memset(out, '#', sizeof out);
  int32_t spill = 7;
  // "aé😀": 1 + 2 + 4 bytes.
  EXPECT_EQ(QvSQLCnvrtWideCharToMultiBytes(L"a\u00E9\U0001F600", -3, out, 4, nullptr), out);
  EXPECT_STREQ(out, "a\xC3\xA9");
  EXPECT_EQ(out[4], '#');
  char* whole = QvSQLCnvrtWideCharToMultiBytes(L"a\u00E9\U0001F600", 65533, out, 4, &spill);
  ASSERT_NE(whole, out);
  EXPECT_EQ(spill, 1);
  EXPECT_STREQ(whole, "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(out[0], '\0');
  std::free(whole);
  EXPECT_EQ(QvSQLCnvrtWideCharToMultiBytes(L"ab", -3, out, 4, &spill), out);
  EXPECT_EQ(spill, 0);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(QvSQLCnvrtWideCharToMultiBytes(nullptr, -3, out, 4, &spill), nullptr);

  LocaleGuard c("C");
  char narrow[8];
  EXPECT_EQ(QvNarrowText(L"\u00E9\u4E2D", -3, narrow, sizeof narrow), 2);
  EXPECT_STREQ(narrow, "\xE9?");
}

TEST(WideToNarrow, MultiByteToWideCutsToTheBuffer) {
  wchar_t out[4];
  std::fill(std::begin(out), std::end(out), kGuard32);
  QvSQLCnvrtMultiBytesToWideChar(out, 3, "abcdef", -3);
  EXPECT_STREQ(out, L"ab");
  EXPECT_EQ(out[3], kGuard32);
  QvSQLCnvrtMultiBytesToWideChar(out, 3, nullptr, -3);  // nothing
  EXPECT_STREQ(out, L"ab");
}

// "a😀b" from each kind of application, and back into buffers of every
// size around it: never a split pair, always a terminator, the whole
// length in the application's units.
TEST(AppBoundary, InputsInBothForms) {
  const uint16_t utf16[] = {'a', 0xD83D, 0xDE00, 'b', 0};
  {
    WideUnit u(2);
    WideIn nts(utf16, -3);
    EXPECT_STREQ(nts.text(), L"a\U0001F600b");
    EXPECT_EQ(nts.length(), -3);
    WideIn counted(utf16, 3);  // the first three units: a and the pair
    EXPECT_STREQ(counted.text(), L"a\U0001F600");
    EXPECT_EQ(counted.length(), 2);
    WideIn bad(utf16, -5);
    EXPECT_EQ(bad.length(), -5);
    WideIn none(nullptr, 4);
    EXPECT_EQ(none.text(), nullptr);
  }
  WideUnit u(4);
  const wchar_t wide[] = L"a\U0001F600b";
  WideIn same(wide, 3);
  EXPECT_EQ(same.text(), wide);
  EXPECT_EQ(same.length(), 3);
}

TEST(AppBoundary, OutputsInBothForms) {
  const wchar_t* text = L"a\U0001F600b";
  struct Case {
    int64_t units;
    std::vector<uint32_t> written;  // up to and with the terminator
    bool truncated;
  };
  const Case utf16Cases[] = {
      {5, {'a', 0xD83D, 0xDE00, 'b', 0}, false}, {4, {'a', 0xD83D, 0xDE00, 0}, true},
      {3, {'a', 0}, true},  // the pair would not fit with the terminator
      {2, {'a', 0}, true},  {1, {0}, true},      {0, {}, true},
  };
  {
    WideUnit u(2);
    for (const Case& c : utf16Cases) {
      std::vector<uint16_t> buf(8, kGuard16);
      const WideOut r = QvPutAppWide(text, -3, buf.data() + 1, c.units);
      EXPECT_EQ(r.units, 4) << c.units;
      EXPECT_EQ(r.truncated, c.truncated) << c.units;
      EXPECT_EQ(buf[0], kGuard16);
      for (size_t i = 0; i < c.written.size(); ++i) EXPECT_EQ(buf[1 + i], c.written[i]) << c.units << " " << i;
      for (size_t i = 1 + c.written.size(); i < buf.size(); ++i) EXPECT_EQ(buf[i], kGuard16) << c.units;
    }
    EXPECT_EQ(QvPutAppWide(text, -3, nullptr, 0).units, 4);
    EXPECT_FALSE(QvPutAppWide(text, -3, nullptr, 0).truncated);
  }
  const Case wideCases[] = {
      {4, {'a', 0x1F600, 'b', 0}, false}, {3, {'a', 0x1F600, 0}, true}, {1, {0}, true}, {0, {}, true}};
  WideUnit u(4);
  for (const Case& c : wideCases) {
    std::vector<wchar_t> buf(6, kGuard32);
    const WideOut r = QvPutAppWide(text, 3, buf.data() + 1, c.units);
    EXPECT_EQ(r.units, 3);
    EXPECT_EQ(r.truncated, c.truncated) << c.units;
    EXPECT_EQ(buf[0], kGuard32);
    for (size_t i = 0; i < c.written.size(); ++i)
      EXPECT_EQ(static_cast<uint32_t>(buf[1 + i]), c.written[i]) << c.units << " " << i;
    for (size_t i = 1 + c.written.size(); i < buf.size(); ++i) EXPECT_EQ(buf[i], kGuard32) << c.units;
  }
}

// A message longer than unixODBC's 513-unit buffer, given as 512 units.
TEST(AppBoundary, LongMessageIntoDriverManagersBuffer) {
  WideUnit u(2);
  const std::wstring message(600, L'm');
  std::vector<uint16_t> buf(515, kGuard16);
  const WideOut r = QvPutAppWide(message.c_str(), static_cast<int64_t>(message.size()), buf.data() + 1, 512);
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(r.units, 600);
  EXPECT_EQ(buf[511], 'm');
  EXPECT_EQ(buf[512], 0);
  EXPECT_EQ(buf[513], kGuard16);
}

}  // namespace
