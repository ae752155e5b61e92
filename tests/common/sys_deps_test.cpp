#include "common/sys_deps.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/verinfo.h"

namespace {

// Matches `text` against `pattern`, where '9' stands for a digit, 'A' for
// an upper-case and 'a' for a lower-case letter, '?' for a blank or a digit
// and every other character for itself.
bool matchesShape(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (pattern[i]) {
      case '9': if (!std::isdigit(c)) return false; break;
      case 'A': if (!std::isupper(c)) return false; break;
      case 'a': if (!std::islower(c)) return false; break;
      case '?': if (c != ' ' && !std::isdigit(c)) return false; break;
      default: if (text[i] != pattern[i]) return false;
    }
  }
  return true;
}

TEST(Platform, ThisBuildIsLinux) {
  EXPECT_EQ(QvGetPlatform(), 5);
  EXPECT_STREQ(QvGetPlatformName(), "ILINUX");
  EXPECT_STREQ(QvGetPlatformFolderName(), "ilinux");
  EXPECT_STREQ(QvGetBuildName(), "Unicode");
}

TEST(Platform, NamesOfEveryCode) {
  const struct {
    int32_t code;
    const char* name;
    const char* folder;
  } table[] = {
      {1, "IWINDOWS32", "iwinnt"}, {2, "SSUNOS5", "ssunos5"},   {3, "PHPUX", "phpux"},
      {4, "AUNIX", "aunix"},       {5, "ILINUX", "ilinux"},     {6, "ISCOUNIX", "iscounix"},
      {7, "AVMS", "avms"},         {8, "RAIX", "raix"},         {9, "OS390", "os390"},
      {10, "IWINDOWS64", "iwinnt"}, {0, "UNKNOWN PLATFORM", "unknown_platform"},
      {11, "UNKNOWN PLATFORM", "unknown_platform"}, {-5, "UNKNOWN PLATFORM", "unknown_platform"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.code);
    const QvPlatformNames n = QvPlatformNamesOf(row.code);
    EXPECT_STREQ(n.name, row.name);
    EXPECT_STREQ(n.folder, row.folder);
  }
}

TEST(Version, ProductVersionIsFourNumbers) {
  const std::string v = QvGetProductVersion();
  int parts = 0;
  size_t at = 0;
  for (;;) {
    const size_t dot = v.find('.', at);
    const std::string part = v.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    EXPECT_FALSE(part.empty()) << v;
    for (const char c : part) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << v;
    ++parts;
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  EXPECT_EQ(parts, 4) << v;
}

TEST(Version, VersionInfoWritesTheVersionFlagsAndBuildTime) {
  testing::internal::CaptureStdout();
  versionInfo();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string head = std::string("Product Version: ") + QvGetProductVersion() +
                           "\nCompiled with the following flags:\n"
                           "EXPORTDLL\tTM_TRACE\tOPTIMIZE_TM_TRACE\tLINT_ARGS\tPACK_PACKET\t"
                           "MEASURE_TURN_AROUND_TIME\tSUPPORT_SESS_FORK\tMEASURE_TIME\t\n";
  ASSERT_EQ(out.substr(0, head.size()), head);
  EXPECT_TRUE(matchesShape(out.substr(head.size()), "Compiled on 99:99:99,Aaa ?9 9999\n"))
      << out.substr(head.size());
}

TEST(Version, TracesAreQuietWhileHandleOneIsNotRegistered) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  TraceSystemInfo();
  traceVersionInfo();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
