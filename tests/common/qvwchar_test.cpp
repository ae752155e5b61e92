#include "common/qvwchar.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "support/recordset.h"
#include "support/locale.h"

namespace {

// A record set (the search copies the text into the root tree) and the
// UTF-8 locale for the wide class and case tables.
class WideStringSet : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    ASSERT_TRUE(locale_.ok());
  }
  LocaleGuard locale_{"C.UTF-8"};
};

TEST(StringFunctionSet, WideMembersStartWithTheLibraryHelpers) {
  EXPECT_EQ(gqv_wstrcmp, &qvwcscmp);
  EXPECT_EQ(gqv_wstrncmp, &qvwcsncmp);
  EXPECT_EQ(gqv_wstricmp, &qvwcsicmp);
  EXPECT_EQ(gqv_wstrnicmp, &qvwcsnicmp);
  EXPECT_EQ(gqv_wmemcmp, &qvwmemcmp);
  EXPECT_EQ(gqv_wislower, &qviswlower);
  EXPECT_EQ(gqv_wisupper, &qviswupper);
  EXPECT_EQ(gqv_wstrlwr, &qvwcslwr);
  EXPECT_EQ(gqv_wstrupr, &qvwcsupr);
  EXPECT_EQ(gqv_wtolower, &qvtowlower);
  EXPECT_EQ(gqv_wtoupper, &qvtowupper);
}

TEST_F(WideStringSet, PlibCompareHonoursTheCount) {
  EXPECT_EQ(plib_wtolower(L'Q'), L'q');
  EXPECT_EQ(plib_wtolower(L'1'), L'1');
  EXPECT_EQ(plib_wtolower(0xC9), 0xE9);
  EXPECT_EQ(plib_wtolower(-23), -23);
  EXPECT_EQ(plib_wcsnicmp(L"Abcx", L"aBcy", 3), 0);
  EXPECT_LT(plib_wcsnicmp(L"Abcx", L"aBcy", 4), 0);
  EXPECT_EQ(plib_wcsnicmp(L"x", L"y", 0), 0);
  EXPECT_EQ(plib_wcsnicmp(L"ab", L"AB", 10), 0);
  EXPECT_GT(plib_wcsnicmp(L"abc", L"AB", 10), 0);
  const wchar_t big[] = {0x7FFFFFFF, 0};
  const wchar_t neg[] = {-1, 0};
  EXPECT_GT(plib_wcsnicmp(big, neg, 1), 0);  // the sign survives the difference
}

TEST_F(WideStringSet, PlibLowerCaseGoesThroughThePointers) {
  // A host's replacement is used from the next call on.
  auto* savedIsUpper = gqv_wisupper;
  gqv_wisupper = [](wchar_t) { return 0; };
  EXPECT_EQ(plib_wtolower(L'Q'), L'Q');
  EXPECT_NE(plib_wcsnicmp(L"A", L"a", 1), 0);
  gqv_wisupper = savedIsUpper;
  EXPECT_EQ(plib_wcsnicmp(L"A", L"a", 1), 0);
}

TEST_F(WideStringSet, StristrFindsTheNeedleInAnyCase) {
  const wchar_t* text = L"SeLeCt * from t";
  EXPECT_EQ(sl_wstristr(text, L"select"), text);  // found only on the upper-cased copy
  EXPECT_EQ(sl_wstristr(text, L"FROM"), text + 9);
  EXPECT_EQ(sl_wstristr(text, L"* from"), text + 7);
  EXPECT_EQ(sl_wstristr(text, L"where"), nullptr);
  EXPECT_EQ(sl_wstristr(nullptr, L"x"), nullptr);
  EXPECT_EQ(sl_wstristr(text, nullptr), nullptr);
  // Needles longer than any fixed buffer are searched whole.
  std::wstring longText(300, L'a');
  longText += L"TAIL";
  std::wstring needle(200, L'A');
  needle += L"tail";
  EXPECT_EQ(sl_wstristr(longText.c_str(), needle.c_str()), longText.c_str() + 100);
}

TEST_F(WideStringSet, StristrReleasesItsCopyOfTheText) {
  XmTree* root = getXmTLS(0)->rootTree;
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->children.next, &root->children);
  const wchar_t* text = L"SeLeCt x";
  EXPECT_EQ(sl_wstristr(text, L"select"), text);
  EXPECT_EQ(sl_wstristr(text, L"nowhere"), nullptr);
  EXPECT_EQ(root->children.next, &root->children);
}

}  // namespace
