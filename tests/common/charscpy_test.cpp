#include "common/charscpy.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "common/qvunicode.h"
#include "support/recordset.h"
#include "support/locale.h"

namespace {

// A record set with a root tree, a tree of the test's own, and a UTF-8
// locale for the locale conversions.
class Charscpy : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    ASSERT_TRUE(locale_.ok());
    tree = _xm_allocTree(nullptr);
    ASSERT_NE(tree, nullptr);
  }
  void TearDown() override {
    _xm_freeTree(tree);
    RecordSetTest::TearDown();
  }
  XmTree* tree = nullptr;
  LocaleGuard locale_{"C.UTF-8"};
};

TEST_F(Charscpy, NarrowAndWideCopiesAreItemsOfTheTree) {
  char* a = ul_charscpy("hello", tree);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a, "hello");
  EXPECT_EQ(xm_getParentOfItem(a), tree);

  char* b = ul_charncpy("abcdef", 3, tree);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b, "abc");
  char* c = ul_charncpy("ab", 5, tree);  // padded as strncpy does
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::memcmp(c, "ab\0\0\0\0", 6), 0);

  wchar_t* w = ul_wcharscpy(L"wide \u20AC", tree);
  ASSERT_NE(w, nullptr);
  EXPECT_STREQ(w, L"wide \u20AC");
  EXPECT_EQ(xm_getParentOfItem(w), tree);
  wchar_t* wn = ul_wcharncpy(L"abcdef", 2, tree);
  ASSERT_NE(wn, nullptr);
  EXPECT_STREQ(wn, L"ab");
  wchar_t* empty = ul_wcharncpy(L"abc", 0, tree);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
}

TEST_F(Charscpy, BadArgumentsGiveNull) {
  EXPECT_EQ(ul_charscpy(nullptr, tree), nullptr);
  EXPECT_EQ(ul_charncpy("abc", -1, tree), nullptr);
  EXPECT_EQ(ul_wcharscpy(nullptr, tree), nullptr);
  EXPECT_EQ(ul_wcharncpy(L"abc", -1, tree), nullptr);
  EXPECT_EQ(ul_mbstowcs(nullptr, tree), nullptr);
  EXPECT_EQ(ul_mbsntowcs(nullptr, 3, tree), nullptr);
  EXPECT_EQ(ul_mbsntowcs("abc", -3, tree), nullptr);
  EXPECT_EQ(ul_dupWcharToUtf8(tree, nullptr, QV_NTS), nullptr);
  EXPECT_EQ(ul_dupUtf8ToWchar(tree, nullptr, QV_NTS), nullptr);
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, nullptr, QV_NTS), -1);
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, L"abc", -2), -1);
}

TEST_F(Charscpy, BytesWidenWithTheirSign) {
  wchar_t* w = ul_mbsntowcs("\xE9", 1, tree);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w[0], -23);
  EXPECT_EQ(w[1], 0);
  wchar_t* cut = ul_mbsntowcs("abcdef", 3, tree);
  ASSERT_NE(cut, nullptr);
  EXPECT_STREQ(cut, L"abc");
  wchar_t* stop = ul_mbsntowcs("ab\0cd", 5, tree);
  ASSERT_NE(stop, nullptr);
  EXPECT_STREQ(stop, L"ab");
  EXPECT_EQ(stop[4], 0);
}

TEST_F(Charscpy, LocaleConversionOfANarrowString) {
  wchar_t* w = ul_mbstowcs("h\xC3\xA9llo", tree);
  ASSERT_NE(w, nullptr);
  EXPECT_STREQ(w, L"h\u00E9llo");
  wchar_t* bad = ul_mbstowcs("a\xFF", tree);
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad[0], 0);  // not convertible: an empty copy
}

TEST_F(Charscpy, WideToUtf8CopiesAreTerminated) {
  char* t = ul_dupWcharToUtf8(tree, L"a\u20AC", QV_NTS);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t, "a\xE2\x82\xAC");
  EXPECT_EQ(xm_getParentOfItem(t), tree);
  // An explicit length leaves the terminator out of the conversion; the
  // copy still ends in one.
  char* part = ul_dupWcharToUtf8(tree, L"a\u20ACzz", 2);
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, "a\xE2\x82\xAC");
  char* empty = ul_dupWcharToUtf8(tree, L"abc", 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  const wchar_t bad[] = {L'a', -5, 0};
  EXPECT_EQ(ul_dupWcharToUtf8(tree, bad, QV_NTS), nullptr);
}

TEST_F(Charscpy, Utf8ToWideCopiesAreTerminated) {
  wchar_t* w = ul_dupUtf8ToWchar(tree, "a\xE2\x82\xAC", QV_NTS);
  ASSERT_NE(w, nullptr);
  EXPECT_STREQ(w, L"a\u20AC");
  wchar_t* part = ul_dupUtf8ToWchar(tree, "a\xE2\x82\xACzz", 4);
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(part, L"a\u20AC");
  // A sequence cut by the end stops the copy after what came before it.
  wchar_t* cut = ul_dupUtf8ToWchar(tree, "A\xE2\x82", 3);
  ASSERT_NE(cut, nullptr);
  EXPECT_STREQ(cut, L"A");
  EXPECT_EQ(ul_dupUtf8ToWchar(tree, "\xC0\x80", 2), nullptr);
  EXPECT_EQ(ul_dupUtf8ToWchar(tree, "\xE2\x82", 2), nullptr);
  wchar_t* empty = ul_dupUtf8ToWchar(tree, "", 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
}

TEST_F(Charscpy, BufferSizeForTheLocaleForm) {
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, L"h\u00E9llo", QV_NTS), 6);  // no terminator
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, L"h\u00E9llo", 2), 3);
  const wchar_t lone[] = {L'a', 0xD800, 0};
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, lone, QV_NTS), -1);
  EXPECT_EQ(ul_getBufferSizeForwcstombs(tree, lone, 1), 1);
}

}  // namespace
