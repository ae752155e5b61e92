// cfgtool is linked from its own objects, the ini reader and writer and the
// string helpers, and nothing else of the library: its link map says so.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(CfgToolLink, OnlyTheIniFilesAndStringHelpersComeIn) {
  std::ifstream in(CFGTOOL_MAP);
  ASSERT_TRUE(in) << CFGTOOL_MAP;
  std::ostringstream text;
  text << in.rdbuf();
  const std::string map = text.str();

  // Every object of this build that the linker read.
  std::set<std::string> objects;
  const std::regex object(R"(CMakeFiles/[^\s()]+\.o)");
  for (auto it = std::sregex_iterator(map.begin(), map.end(), object); it != std::sregex_iterator(); ++it)
    objects.insert(it->str());

  const std::regex allowed(R"(CMakeFiles/cfgtool(_objs)?\.dir/(admin/\w+|src/runtime/inifile|common/qvstring)\.cpp\.o)");
  bool inifile = false, strings = false;
  for (const std::string& o : objects) {
    EXPECT_TRUE(std::regex_match(o, allowed)) << o;
    inifile = inifile || o.find("src/runtime/inifile") != std::string::npos;
    strings = strings || o.find("common/qvstring") != std::string::npos;
  }
  EXPECT_TRUE(inifile);
  EXPECT_TRUE(strings);
  EXPECT_EQ(map.find("librdacore"), std::string::npos);
  EXPECT_EQ(map.find("librdadriver"), std::string::npos);
}

}  // namespace
