// cfgtool is linked from its own objects, the ini reader and writer and the
// string helpers, and nothing else of the library: its link map says so.

#include <gtest/gtest.h>

#include <fstream>
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

  // Every object of this build that the linker read: a word of the map
  // (words end at blanks and parentheses) that starts with CMakeFiles/.
  std::set<std::string> objects;
  std::string word;
  for (const char c : map + " ") {
    if (c != ' ' && c != '\n' && c != '\t' && c != '(' && c != ')') {
      word += c;
      continue;
    }
    const size_t at = word.find("CMakeFiles/");
    if (at != std::string::npos && word.size() > 2 && word.compare(word.size() - 2, 2, ".o") == 0)
      objects.insert(word.substr(at));
    word.clear();
  }

  auto allowed = [](const std::string& o) {
    for (const char* dir : {"CMakeFiles/cfgtool.dir/", "CMakeFiles/cfgtool_objs.dir/"}) {
      if (o.rfind(dir, 0) != 0) continue;
      const std::string source = o.substr(std::string(dir).size());
      return source.rfind("admin/", 0) == 0 || source == "src/runtime/inifile.cpp.o" ||
             source == "common/qvstring.cpp.o";
    }
    return false;
  };
  bool inifile = false, strings = false;
  for (const std::string& o : objects) {
    EXPECT_TRUE(allowed(o)) << o;
    inifile = inifile || o.find("src/runtime/inifile") != std::string::npos;
    strings = strings || o.find("common/qvstring") != std::string::npos;
  }
  EXPECT_TRUE(inifile);
  EXPECT_TRUE(strings);
  EXPECT_EQ(map.find("librdacore"), std::string::npos);
  EXPECT_EQ(map.find("librdadriver"), std::string::npos);
}

}  // namespace
