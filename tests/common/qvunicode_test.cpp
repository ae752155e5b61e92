#include "common/qvunicode.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>
#include "support/locale.h"

namespace {

// Pins a UTF-8 locale for the locale-dependent calls and restores the old one.
class Utf8Locale : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(locale_.ok()); }
  LocaleGuard locale_{"C.UTF-8"};
};

constexpr wchar_t kGuard = 0x5A5A5A5A;

struct Utf8Case {
  const char* what;
  std::string bytes;
  int32_t len;  // explicit, or QV_NTS / -1
  int32_t result;
  std::vector<wchar_t> chars;  // what the destination holds
};

TEST(Utf8ToWide, DecodesUpToTheLastCodePointAndRefusesTheRest) {
  const std::vector<Utf8Case> cases = {
      {"euro sign", "\xE2\x82\xAC", 3, 1, {0x20AC}},
      {"mixed widths", "A\xC3\xA9\xDF\xBF\xEF\xBF\xBF", 8, 4, {0x41, 0xE9, 0x7FF, 0xFFFF}},
      {"terminated, -3", "abc", QV_NTS, 4, {'a', 'b', 'c', 0}},
      {"terminated, -1", "abc", -1, 4, {'a', 'b', 'c', 0}},
      {"overlong NUL", "\xC0\x80", 2, 0, {}},
      {"overlong three-byte", "\xE0\x9F\xBF", 3, 0, {}},
      {"four-byte form", "\xF0\x9F\x98\x80", 4, 1, {0x1F600}},
      {"last code point", "\xF4\x8F\xBF\xBF", 4, 1, {0x10FFFF}},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 4, 0, {}},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", 4, 0, {}},
      {"five-byte form", "\xF8\x88\x80\x80\x80", 5, 0, {}},
      {"bad continuation", "\xC3\x41", 2, 0, {}},
      {"cut by the end", "\xE2\x82", 2, 0, {}},
      {"cut after a character", "A\xE2\x82", 3, 1, {0x41}},
      {"stray continuation takes a slot", "a\x80z", 3, 3, {'a', 0xFFFD, 'z'}},
      {"0xFE and 0xFF take a slot each", "\xFE\xFF", 2, 2, {0xFFFD, 0xFFFD}},
      {"empty", "", 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<wchar_t> dst(8, kGuard);
    EXPECT_EQ(utf8towcs(c.bytes.c_str(), c.len, dst.data(), 7), c.result);
    for (size_t i = 0; i < c.chars.size(); ++i) EXPECT_EQ(dst[i], c.chars[i]) << "at " << i;
    EXPECT_EQ(dst[7], kGuard);
  }
}

TEST(Utf8ToWide, FailsWhenTheDestinationFillsFirst) {
  wchar_t dst[3] = {kGuard, kGuard, kGuard};
  EXPECT_EQ(utf8towcs("abc", 3, dst, 2), 0);
  EXPECT_EQ(dst[2], kGuard);
  EXPECT_EQ(utf8towcs("abc", QV_NTS, dst, 3), 0);  // the terminator does not fit
  EXPECT_EQ(utf8towcs("abc", 3, dst, 3), 3);
}

TEST(Utf8ToWide, SizingCountsCharactersAndBoundsTheConversion) {
  const struct {
    std::string bytes;
    int32_t len;
    int32_t count;
  } cases[] = {
      {"\xE2\x82\xAC", 3, 1},
      {"abc", QV_NTS, 4},
      {"A\xE2\x82", 3, 1},          // a sequence cut by the end is not counted
      {"\xE2\x41", 2, 2},           // ended early: counted, scan resumes at 'A'
      {"\x80\xFE\xFF", 3, 3},       // stray bytes count one each
      {"\xF0\x9F\x98\x80", 4, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(utf8towcs(c.bytes.c_str(), c.len, nullptr, 0), c.count);
    wchar_t dummy[1];
    EXPECT_EQ(utf8towcs(c.bytes.c_str(), c.len, dummy, 0), c.count);
  }
}

TEST(Utf8ToWide, RejectsBadArguments) {
  wchar_t dst[4];
  EXPECT_EQ(utf8towcs(nullptr, 3, dst, 4), 0);
  EXPECT_EQ(utf8towcs(nullptr, QV_NTS, nullptr, 0), 0);
  EXPECT_EQ(utf8towcs("abc", -2, dst, 4), 0);
  EXPECT_EQ(utf8towcs("abc", 3, dst, -1), 0);
}

struct WideCase {
  const char* what;
  std::vector<wchar_t> chars;
  int32_t len;
  std::string bytes;  // expected output; empty with result 0 = failure
  int32_t result;
};

TEST(WideToUtf8, EncodesAsStandardUtf8) {
  const std::vector<WideCase> cases = {
      {"euro sign", {0x20AC}, 1, "\xE2\x82\xAC", 3},
      {"every width", {0x41, 0xE9, 0x7FF, 0x800, 0xFFFF}, 5, "A\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", 11},
      {"supplementary plane", {0x1F600}, 1, "\xF0\x9F\x98\x80", 4},
      {"last code point", {0x10FFFF}, 1, "\xF4\x8F\xBF\xBF", 4},
      {"terminated", {'a', 'b', 0}, QV_NTS, std::string("ab\0", 3), 3},
      {"beyond the code space", {0x41, 0x110000}, 2, "", 0},
      {"negative", {0x41, -1}, 2, "", 0},
      {"empty", {}, 0, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string dst(16, '\x5A');
    EXPECT_EQ(wcstoutf8(c.chars.data(), c.len, dst.data(), 15), c.result);
    EXPECT_EQ(wcstoutf8(c.chars.data(), c.len, nullptr, 0), c.result) << "sizing pass";
    EXPECT_EQ(dst.substr(0, c.bytes.size()), c.bytes);
    EXPECT_EQ(dst[15], '\x5A');
  }
}

TEST(WideToUtf8, FailsWhenTheCharacterDoesNotFit) {
  const wchar_t euro[] = {0x20AC, 0};
  char dst[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(wcstoutf8(euro, 1, dst, 2), 0);
  EXPECT_EQ(dst[2], 'x');
  EXPECT_EQ(wcstoutf8(euro, 1, dst, 0), 3);
  EXPECT_EQ(wcstoutf8(euro, -1, nullptr, 0), 4);  // terminator included
  EXPECT_EQ(wcstoutf8(nullptr, 1, dst, 4), 0);
}

TEST(WideToUtf8, EveryCharacterRoundTrips) {
  std::vector<wchar_t> all;
  for (wchar_t c = 1; c <= 0x10FFFF; ++c) all.push_back(c);
  const auto n = static_cast<int32_t>(all.size());
  const int32_t bytes = wcstoutf8(all.data(), n, nullptr, 0);
  ASSERT_EQ(bytes, 127 + 2 * (0x800 - 0x80) + 3 * (0x10000 - 0x800) + 4 * (0x110000 - 0x10000));
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ASSERT_EQ(wcstoutf8(all.data(), n, utf8.data(), bytes), bytes);
  ASSERT_EQ(utf8towcs(utf8.data(), bytes, nullptr, 0), n);
  std::vector<wchar_t> back(all.size());
  ASSERT_EQ(utf8towcs(utf8.data(), bytes, back.data(), n), n);
  EXPECT_EQ(back, all);
}

TEST(Utf16, SurrogatePairsJoinAndOtherUnitsAreZeroExtended) {
  const uint16_t pair[] = {0x0041, 0xD83D, 0xDE00, 0};
  wchar_t dst[4] = {kGuard, kGuard, kGuard, kGuard};
  EXPECT_EQ(utf16towcs(pair, 3, dst, 4), 2);
  EXPECT_EQ(dst[0], 0x41);
  EXPECT_EQ(dst[1], 0x1F600);
  EXPECT_EQ(dst[2], kGuard);
  EXPECT_EQ(utf16towcs(pair, QV_NTS, dst, 4), 3);
  EXPECT_EQ(dst[2], 0);
  EXPECT_EQ(utf16towcs(pair, QV_NTS, nullptr, 0), 3);
  EXPECT_EQ(utf16towcs(pair, 3, dst, 0), 2);
  EXPECT_EQ(utf16towcs(pair, 3, dst, 1), 0);  // source not wholly copied
  EXPECT_EQ(utf16towcs(pair, 2, dst, 4), 2);  // the pair cut by the length
  EXPECT_EQ(dst[1], 0xD83D);
  EXPECT_EQ(utf16towcs(pair, -1, dst, 4), 0);  // only -3 means terminated
  EXPECT_EQ(utf16towcs(nullptr, 2, dst, 4), 0);

  // Surrogates without a partner stay characters of their own.
  const uint16_t unpaired[] = {0xDE00, 0xD83D, 0x0041, 0xD83D, 0xD83D, 0xDE00};
  wchar_t got[6] = {};
  ASSERT_EQ(utf16towcs(unpaired, 6, got, 6), 5);
  const wchar_t want[] = {0xDE00, 0xD83D, 0x41, 0xD83D, 0x1F600};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i], want[i]) << "at " << i;
}

TEST(Utf16, EveryCharacterRoundTrips) {
  std::vector<wchar_t> all;
  for (wchar_t c = 1; c <= 0x10FFFF; ++c)
    if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
  const auto n = static_cast<int32_t>(all.size());
  const int32_t units = wcstoutf16(all.data(), n, nullptr, 0);
  ASSERT_EQ(units, n + (0x110000 - 0x10000));
  std::vector<uint16_t> utf16(static_cast<size_t>(units));
  ASSERT_EQ(wcstoutf16(all.data(), n, utf16.data(), units), units);
  ASSERT_EQ(utf16towcs(utf16.data(), units, nullptr, 0), n);
  std::vector<wchar_t> back(all.size());
  ASSERT_EQ(utf16towcs(utf16.data(), units, back.data(), n), n);
  EXPECT_EQ(back, all);
}

TEST(Utf16, WideCharactersBecomeUnitsOrSurrogatePairs) {
  const wchar_t text[] = {0x41, 0xFFFF, 0x1F600, 0};
  uint16_t dst[6] = {0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
  EXPECT_EQ(wcstoutf16(text, QV_NTS, nullptr, 0), 5);
  EXPECT_EQ(wcstoutf16(text, QV_NTS, dst, 5), 5);
  const uint16_t want[] = {0x0041, 0xFFFF, 0xD83D, 0xDE00, 0x0000, 0x5A5A};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dst[i], want[i]) << "at " << i;
  EXPECT_EQ(wcstoutf16(text, 2, dst, 2), 2);
  EXPECT_EQ(wcstoutf16(text, 3, dst, 3), 0);  // the pair does not fit
  const wchar_t bad[] = {0x41, -23};
  EXPECT_EQ(wcstoutf16(bad, 2, dst, 6), 0);
  EXPECT_EQ(wcstoutf16(bad, 2, nullptr, 0), 0);
}

TEST(WideHelpers, MemoryCompareIsSigned) {
  const wchar_t a[] = {1, static_cast<wchar_t>(0x80000000)};
  const wchar_t b[] = {1, 5};
  EXPECT_EQ(qvwmemcmp(a, b, 2), -1);
  EXPECT_EQ(qvwmemcmp(b, a, 2), 1);
  EXPECT_EQ(qvwmemcmp(a, b, 1), 0);
  EXPECT_EQ(qvwmemcmp(a, b, 0), 0);
}

TEST(WideHelpers, MemsetIgnoresCountsBelowOne) {
  wchar_t buf[3] = {1, 2, 3};
  qvwmemset(buf, 9, 0);
  qvwmemset(buf, 9, -4);
  EXPECT_EQ(buf[0], 1);
  qvwmemset(buf, 9, 2);
  EXPECT_EQ(buf[1], 9);
  EXPECT_EQ(buf[2], 3);
}

TEST_F(Utf8Locale, CaseInsensitiveCompare) {
  EXPECT_EQ(qvwcsicmp(L"\u00C9cole", L"\u00E9COLE"), 0);
  EXPECT_LT(qvwcsicmp(L"abc", L"ABD"), 0);
  EXPECT_GT(qvwcsicmp(L"abc", L"AB"), 0);
  EXPECT_LT(qvwcsicmp(L"ab", L"ABC"), 0);
  EXPECT_EQ(qvwcsnicmp(L"abcX", L"ABCy", 3), 0);
  EXPECT_NE(qvwcsnicmp(L"abcX", L"ABCy", 4), 0);
  EXPECT_EQ(qvwcsnicmp(L"x", L"y", 0), 0);
  // Values outside the code space compare as they are, and a difference
  // beyond the range of int keeps its sign.
  const wchar_t big[] = {0x7FFFFFFF, 0};
  const wchar_t neg[] = {-1, 0};
  EXPECT_GT(qvwcsicmp(big, neg), 0);
  EXPECT_LT(qvwcsicmp(neg, big), 0);
}

TEST_F(Utf8Locale, CaseChangesAndClassTestsLeaveNonCharactersAlone) {
  wchar_t s[] = L"\u00C9cole 1";
  EXPECT_EQ(qvwcsupr(s), s);
  EXPECT_STREQ(s, L"\u00C9COLE 1");
  EXPECT_STREQ(qvwcslwr(s), L"\u00E9cole 1");
  EXPECT_EQ(qvtowupper(L'a'), L'A');
  EXPECT_EQ(qvtowlower(-23), -23);
  EXPECT_EQ(qvtowupper(0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(qviswupper(-1), 0);
  EXPECT_NE(qviswalpha(0xE9), 0);
  EXPECT_EQ(qviswascii(-5), 1);  // taken as signed
  EXPECT_EQ(qviswascii(127), 1);
  EXPECT_EQ(qviswascii(128), 0);
}

TEST_F(Utf8Locale, CaseInsensitiveSearch) {
  const wchar_t* text = L"select * from t";
  EXPECT_EQ(qvwcsistr(text, L"SELECT"), text);  // the lower-cased needle
  EXPECT_EQ(qvwcsistr(text, L"* FROM"), text + 7);
  const wchar_t* mixed = L"SeLeCt x";
  EXPECT_EQ(qvwcsistr(mixed, L"select"), mixed);  // only on the upper-cased copy
  EXPECT_EQ(qvwcsistr(mixed, L"where"), nullptr);
  EXPECT_EQ(qvwcsistr(nullptr, L"x"), nullptr);
  EXPECT_EQ(qvwcsistr(mixed, nullptr), nullptr);
  // A needle longer than any fixed buffer is searched whole.
  std::wstring longText(300, L'a');
  longText += L"TaIl";
  std::wstring needle(200, L'A');
  needle += L"tail";
  EXPECT_EQ(qvwcsistr(longText.c_str(), needle.c_str()), longText.c_str() + 100);
}

TEST_F(Utf8Locale, LocaleConversionsEmptyTheDestinationOnError) {
  wchar_t w[8] = {L'x', L'x'};
  EXPECT_EQ(qvmbstowcs(w, "a\xFF", 8), static_cast<size_t>(-1));
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(qvmbstowcs(nullptr, "h\xC3\xA9", 0), 2u);
  EXPECT_EQ(qvmbstowcs(w, nullptr, 8), static_cast<size_t>(-1));

  wchar_t t[4] = {kGuard, kGuard, kGuard, kGuard};
  EXPECT_EQ(_qvmbstowcs(t, "abcdef", 3), 3u);  // at most 3, then the terminator
  EXPECT_EQ(t[2], L'c');
  EXPECT_EQ(t[3], 0);

  char narrow[8] = "zzzzzzz";
  EXPECT_EQ(_qvwcstombs(narrow, L"h\u00E9", 7), 3u);
  EXPECT_STREQ(narrow, "h\xC3\xA9");
  const wchar_t lone[] = {L'a', 0xD800, 0};
  EXPECT_EQ(qvwcstombs(narrow, lone, 7), static_cast<size_t>(-1));

  char scratch[8];
  EXPECT_EQ(qvmbstowcs_l(w, 8, "abcdef", 3, scratch), 3u);
  EXPECT_STREQ(w, L"abc");
  EXPECT_EQ(qvmbstowcs_l(w, 8, "abcdef", 3, nullptr), 0u);

  EXPECT_EQ(qvWideCharToMultipByteFixUp(L"abc", 3, narrow, 0), -1);
  EXPECT_EQ(qvWideCharToMultipByteFixUp(L"h\u00E9", 2, narrow, 8), 3);
  EXPECT_STREQ(narrow, "h\xC3\xA9");
}

TEST_F(Utf8Locale, MultibyteBufferLength) {
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(L"h\u00E9llo", QV_NTS), 7);  // 6 bytes + terminator
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(L"h\u00E9llo", 2), 3);
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(L"abc", 0), 0);
  const wchar_t lone[] = {L'a', 0xD800, 0};
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(lone, QV_NTS), -1);
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(lone, 2), -1);
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(lone, 1), 1);
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(nullptr, 1), -1);
  EXPECT_EQ(qvGetBufLenForWideCharToMultiByteFixup(L"abc", -2), -1);
}

TEST(WideHelpers, DuplicateAndFormatting) {
  wchar_t* d = qvwcsdup(L"abc");
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, L"abc");
  std::free(d);
  EXPECT_EQ(qvwcsdup(nullptr), nullptr);
  wchar_t out[8] = {L'q', 0};
  EXPECT_EQ(qvwcsftime(out, 8, L"%Y", nullptr), 0u);
  EXPECT_EQ(out[0], L'q');
  wchar_t tok[] = L"a,b";
  wchar_t* state = nullptr;
  EXPECT_STREQ(qvwcstok(tok, L",", &state), L"a");
  EXPECT_STREQ(qvwcstok(nullptr, L",", &state), L"b");
  EXPECT_EQ(qvwcstok(nullptr, L",", &state), nullptr);
}

}  // namespace
