// The bridge's strings: Java strings into the library's 4-byte wide text and
// back (surrogate pairs joined going in and split coming out, limits
// counted in characters), 8-bit texts into Java strings, and joining.
#include <gtest/gtest.h>

#include <string>

#include "jni_fixture.h"
#include "src/jdbc/qvjni.h"
#include "src/odbc/lmoinit.h"

namespace {

class Strings : public JniTest {};

TEST_F(Strings, JavaStringsBecomeWideTextWithSurrogatePairsJoined) {
  struct Case {
    std::u16string java;
    size_t limit;
    QvjStr result;
    std::wstring wide;  // what the buffer holds
  };
  const std::wstring astral = L"\U0001F600";
  const Case cases[] = {
      {u"", 4, QvjStr::Ok, L""},
      {u"abc", 3, QvjStr::Ok, L"abc"},
      {u"abcd", 3, QvjStr::TooLong, L""},
      {u"a\U0001F600b", 3, QvjStr::Ok, L"a" + astral + L"b"},
      // Two characters in four units fit a limit of two.
      {u"\U0001F600\U0001F600", 2, QvjStr::Ok, astral + astral},
      {u"\U0001F600\U0001F600x", 2, QvjStr::TooLong, L""},
      // A lone surrogate passes as it is, also one before a pair.
      {std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00), 8, QvjStr::Ok,
       std::wstring(L"a") + wchar_t(0xD800) + L"b" + wchar_t(0xDC00)},
      {std::u16string(1, char16_t(0xD83D)) + u"\U0001F600", 2, QvjStr::Ok, wchar_t(0xD83D) + astral},
      // Past the stack buffer of 2048 units.
      {std::u16string(3000, u'x'), 3000, QvjStr::Ok, std::wstring(3000, L'x')},
      {std::u16string(3001, u'x'), 3000, QvjStr::TooLong, L""},
  };
  for (const Case& c : cases) {
    std::wstring buffer(c.limit + 1, L'#');
    size_t chars = 99;
    EXPECT_EQ(QvJstrToWstrUsingJchar(env(), buffer.data(), jvm_.str(c.java), c.limit, &chars), c.result)
        << narrow(c.java);
    EXPECT_EQ(std::wstring(buffer.c_str()), c.wide) << narrow(c.java);
    EXPECT_EQ(chars, c.result == QvjStr::Ok ? c.wide.size() : 0u);
  }
  // 5000 characters above U+FFFF are 10000 units.
  std::u16string many;
  for (int i = 0; i < 5000; ++i) many += u"\U0001F600";
  std::wstring buffer(5001, L'#');
  EXPECT_EQ(QvJstrToWstrUsingJchar(env(), buffer.data(), jvm_.str(many), 5000), QvjStr::Ok);
  EXPECT_EQ(std::wcslen(buffer.c_str()), 5000u);
  EXPECT_EQ(buffer[4999], astral[0]);
}

TEST_F(Strings, WideTextBecomesJavaStringsWithPairsSplit) {
  struct Case {
    std::wstring wide;
    std::u16string java;
  };
  const Case cases[] = {
      {L"", u""},
      {L"plain", u"plain"},
      {L"a\U0001F600b\U0010FFFF", u"a\U0001F600b\U0010FFFF"},
      // No UTF-16 form: the replacement character.
      {std::wstring(L"x") + wchar_t(0x110000) + L"y" + wchar_t(-1), u"x\uFFFDy\uFFFD"},
      {std::wstring(1, wchar_t(0xDC00)), std::u16string(1, char16_t(0xDC00))},
  };
  for (const Case& c : cases) {
    jstring s = NewStringFromWstr(env(), c.wide.c_str());
    EXPECT_EQ(jvm_.text(s), c.java);
    env()->DeleteLocalRef(s);
  }
  EXPECT_EQ(jvm_.text(NewStringFromWstr(env(), nullptr)), u"");
  // Past the stack buffer: 3000 characters of two units each.
  std::wstring wide;
  std::u16string java;
  for (int i = 0; i < 3000; ++i) {
    wide += L"\U0001F600";
    java += u"\U0001F600";
  }
  EXPECT_EQ(jvm_.text(NewStringFromWstr(env(), wide.c_str())), java);
}

TEST_F(Strings, EightBitTextsFollowThe8BitCharSetting) {
  const int32_t saved = gi8BitChar;
  for (int32_t setting : {1, 0}) {
    gi8BitChar = setting;
    jvm_.forgetLocals();
    EXPECT_EQ(QvCstrToJstr(env(), nullptr, -1), nullptr);
    EXPECT_EQ(jvm_.text(QvCstrToJstr(env(), "", -1)), u"");
    EXPECT_EQ(jvm_.text(QvCstrToJstr(env(), "Varenta \xc3\xa9", -1)), u"Varenta \u00e9");
    EXPECT_EQ(jvm_.text(QvCstrToJstr(env(), "abcdef", 3)), setting == 1 ? u"abc" : u"abcdef");
    // The byte array made on the way is gone again.
    EXPECT_EQ(jvm_.liveLocals(), 3) << "only the results remain";
  }
  gi8BitChar = saved;
}

TEST_F(Strings, ConcatJoinsTwoStrings) {
  jstring a = jvm_.str(u"ab\U0001F600");
  jstring b = jvm_.str(u"cd");
  EXPECT_EQ(jvm_.text(QvConcatJstr(env(), a, b)), u"ab\U0001F600cd");
  EXPECT_EQ(jvm_.text(QvByteArrayToJstr(env(), nullptr)), u"<null>");
}

TEST_F(Strings, ArgumentsOverTheirLimitThrowS1090NamingThem) {
  wchar_t buffer[4];
  EXPECT_FALSE(QvjTakeString(env(), jvm_.str(u"abcd"), buffer, 3, "setCatalog", "catalog name"));
  Thrown t = thrown();
  EXPECT_EQ(t.cls, "jdbc/sql/cli/qvcliexception");
  EXPECT_EQ(t.sqlState, u"S1090");
  EXPECT_EQ(t.code, 0);
  const std::u16string tail = u"Invalid string or buffer length - setCatalog: catalog name longer than 3 characters";
  ASSERT_GE(t.message.size(), tail.size());
  EXPECT_EQ(t.message.substr(t.message.size() - tail.size()), tail);
  // NULL is an empty argument.
  EXPECT_TRUE(QvjTakeString(env(), nullptr, buffer, 3, "setCatalog", "catalog name"));
  EXPECT_STREQ(buffer, L"");
}

}  // namespace
