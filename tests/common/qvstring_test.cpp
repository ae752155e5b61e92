#include "common/qvstring.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include "support/locale.h"

namespace {

// Pins the C locale for the locale-dependent calls and restores the old one.
class CLocale : public ::testing::Test {
 protected:
  LocaleGuard locale_{"C"};
};

TEST_F(CLocale, StricmpComparesLowerCasedBytes) {
  const char* s = "whatever";
  EXPECT_EQ(stricmp(s, s), 0);
  EXPECT_EQ(stricmp(nullptr, nullptr), 0);  // same pointer: nothing is read
  EXPECT_LT(stricmp("ABC", "abd"), 0);
  EXPECT_EQ(stricmp("MiXeD", "mixed"), 0);
  EXPECT_GT(stricmp("abc", "AB"), 0);
  EXPECT_LT(stricmp("ab", "abc"), 0);
}

TEST_F(CLocale, CaseMappingLeavesOutOfRangeValuesAlone) {
  EXPECT_EQ(qv_toupper(300), 300);
  EXPECT_EQ(qv_toupper(97), 65);
  EXPECT_EQ(qv_tolower(65), 97);
  EXPECT_EQ(qv_toupper(-129), -129);
  EXPECT_EQ(qv_toupper(-56), -56);  // a high byte taken as signed, unchanged in "C"
  EXPECT_EQ(qv_isupper(-56), 0);
  EXPECT_EQ(plib_tolower('Q'), 'q');
  EXPECT_EQ(plib_tolower('1'), '1');
}

TEST_F(CLocale, PlibCompareHonoursTheCount) {
  EXPECT_EQ(plib_strnicmp("Abcx", "aBcy", 3), 0);
  EXPECT_LT(plib_strnicmp("Abcx", "aBcy", 4), 0);
  EXPECT_EQ(plib_strnicmp("x", "y", 0), 0);
  EXPECT_EQ(plib_strnicmp("ab", "AB", 10), 0);
  EXPECT_EQ(plib_stricmp("[Common]", "[COMMON]"), 0);
  EXPECT_NE(plib_stricmp("[Common]", "[COMMON] "), 0);
  EXPECT_NE(plib_stricmp("a\xC8", "a"), 0);  // high bytes compare without faulting
}

TEST_F(CLocale, InPlaceCaseChanges) {
  char a[] = "Hello, World 1";
  EXPECT_EQ(strupr(a), a);
  EXPECT_STREQ(a, "HELLO, WORLD 1");
  EXPECT_STREQ(strlwr(a), "hello, world 1");
  char b[] = "MiX\xC8";
  EXPECT_STREQ(plib_strlwr(b), "mix\xC8");
  EXPECT_STREQ(plib_strupr(b), "MIX\xC8");
}

TEST_F(CLocale, StristrFindsTheNeedleInAnyCase) {
  const char* text = "SeLeCt * from t";
  EXPECT_EQ(sl_stristr(text, "select"), text);  // found only on the upper-cased copy
  EXPECT_EQ(sl_stristr(text, "FROM"), text + 9);
  EXPECT_EQ(sl_stristr(text, "* from"), text + 7);
  EXPECT_EQ(sl_stristr(text, "where"), nullptr);
  EXPECT_EQ(sl_stristr(nullptr, "x"), nullptr);
  EXPECT_EQ(sl_stristr(text, nullptr), nullptr);
  // Needles longer than any fixed buffer are searched whole.
  std::string longText(300, 'a');
  longText += "TAIL";
  std::string needle(200, 'A');
  needle += "tail";
  EXPECT_EQ(sl_stristr(longText.c_str(), needle.c_str()), longText.c_str() + 100);
}

TEST(StringFunctionSet, StartsWithTheLibraryHelpers) {
  EXPECT_EQ(gqv_stricmp, &qv_stricmp);
  EXPECT_EQ(gqv_strnicmp, &qv_strnicmp);
  EXPECT_EQ(gqv_toupper, &qv_toupper);
  EXPECT_EQ(gqv_tolower, &qv_tolower);
  EXPECT_EQ(gqv_strlwr, &strlwr);
  EXPECT_EQ(gqv_strupr, &strupr);
  EXPECT_EQ(gqv_stricmp("AbC", "aBc"), 0);
  EXPECT_EQ(gqv_memcmp("ab", "ab", 2), 0);
}

}  // namespace
