// Start of cfgtool: arguments, the search for the main configuration file
// and the main menu, as whole transcripts.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRooted = "[Common]\nqv_root=/opt/qv\n";

// "@" in a text stands for the scratch directory.
std::string at(std::string text, const fs::path& root) {
  for (size_t p; (p = text.find('@')) != std::string::npos;) text.replace(p, 1, root.string());
  return text;
}

struct StartCase {
  const char* what;
  std::vector<std::pair<const char*, const char*>> files;  // relative to work/, or "@/..."
  std::map<std::string, std::string> env;
  std::vector<std::string> args;
  std::string expected;  // after the banner; "" = nothing at all, banner included
  int status;
};

class Start : public CfgToolTest {
 protected:
  void check(const StartCase& c) {
    AdminScratch s;
    for (const auto& [path, text] : c.files) s.put(at(path, s.root()), text);
    RunOptions o;
    o.args = c.args;
    for (const auto& [k, v] : c.env) o.env[k] = at(v, s.root());
    const ToolRun r = s.run("E\n", o);
    EXPECT_EQ(r.err, "") << c.what;
    EXPECT_EQ(r.out, c.expected.empty() ? "" : banner() + at(c.expected, s.root())) << c.what;
    EXPECT_EQ(r.status, c.status) << c.what;
  }
};

TEST_F(Start, ArgumentsAndTheConfigurationSearch) {
  auto error = [&](const std::string& path) { return "\nError: Configuration file:<" + path + "> not found\n"; };
  const StartCase cases[] = {
      {"-c ends at once", {{"mirodel.ini", kRooted}}, {}, {"-c", "x"}, "", 0},
      {"-s ends at once", {}, {}, {"-s", "a", "b"}, "", 0},
      {"-c alone is no option", {{"mirodel.ini", kRooted}}, {}, {"-c"}, currentConfig("./mirodel.ini") + kMainMenu, 0},
      {"-i names a missing file", {{"mirodel.ini", kRooted}}, {}, {"-i", "missing/x.ini"}, error("missing/x.ini"), 255},
      {"-i takes a file without qv_root", {{"given.ini", "[Common]\n"}}, {}, {"-i", "given.ini"},
       currentConfig("given.ini") + kMainMenu, 0},
      {"-i does not take a directory", {{"d/x", ""}}, {}, {"-i", "d"}, error("d"), 255},
      {"working directory beats MIRODEL_INI and HOME",
       {{"mirodel.ini", kRooted}, {"@/conf/m.ini", kRooted}, {"@/home/mirodel.ini", kRooted}},
       {{"MIRODEL_INI", "@/conf/m.ini"}},
       {},
       currentConfig("./mirodel.ini") + kMainMenu,
       0},
      {"MIRODEL_INI beats HOME",
       {{"@/conf/m.ini", kRooted}, {"@/home/mirodel.ini", kRooted}},
       {{"MIRODEL_INI", "@/conf/m.ini"}},
       {},
       currentConfig("@/conf/m.ini") + kMainMenu,
       0},
      {"HOME after a MIRODEL_INI that is not there",
       {{"@/home/mirodel.ini", kRooted}},
       {{"MIRODEL_INI", "@/conf/none.ini"}},
       {},
       currentConfig("@/home/mirodel.ini") + kMainMenu,
       0},
      {"the first file found must hold qv_root",
       {{"mirodel.ini", "[Common]\nSchemaPath=/x\n"}, {"@/conf/m.ini", kRooted}},
       {{"MIRODEL_INI", "@/conf/m.ini"}},
       {},
       error("./mirodel.ini"),
       255},
      {"an empty qv_root is refused", {{"mirodel.ini", "[Common]\nqv_root=\n"}}, {}, {}, error("./mirodel.ini"), 255},
  };
  for (const StartCase& c : cases) check(c);
}

// A /tmp/mirodel.ini is taken only from its owner (or root), and only when
// nobody else may change it; otherwise the search ends on the bare name.
TEST_F(Start, SharedTemporaryDirectoryFileOnlyWhenTrusted) {
  if (!canIsolate()) GTEST_SKIP() << "no private /tmp for the program";
  const std::string error = banner() + "\nError: Configuration file:<mirodel.ini> not found\n";
  const std::string found = banner() + currentConfig("/tmp/mirodel.ini") + kMainMenu;
  struct Case {
    const char* what;
    mode_t mode;
    bool otherOwner;
    bool symlink;
    const std::string& expected;
  } cases[] = {
      {"ours, 0644", 0644, false, false, found},
      {"group may write", 0664, false, false, error},
      {"anyone may write", 0646, false, false, error},
      {"another owner", 0644, true, false, error},
      {"a symbolic link", 0644, false, true, error},
  };
  for (const Case& c : cases) {
    if (c.otherOwner && ::geteuid() != 0) continue;  // only root can give a file away
    AdminScratch s;
    const fs::path file = s.tmp() / (c.symlink ? "target.ini" : "mirodel.ini");
    s.put(file, kRooted);
    fs::permissions(file, static_cast<fs::perms>(c.mode));
    if (c.otherOwner) {
      ASSERT_EQ(::chown(file.c_str(), 4242, 4242), 0);
    }
    if (c.symlink) fs::create_symlink("/tmp/target.ini", s.tmp() / "mirodel.ini");
    RunOptions o;
    o.env["MIRODEL_INI"] = (s.root() / "none.ini").string();
    const ToolRun r = s.run("E\n", o);
    EXPECT_EQ(r.out, c.expected) << c.what;
    EXPECT_EQ(r.status, c.expected == found ? 0 : 255) << c.what;
  }
}

// "  2" picks item 2, anything unknown is refused, a line too long for the
// buffer is one cut answer (its tail is no second answer), and the end of
// the input ends the tool like E.
TEST_F(Start, MainMenuChoices) {
  install("[db1]\nADDRESS=h\nPORT=1\n");
  const std::string longLine = std::string(1100, ' ') + "2";
  const ToolRun r = run("  2\nq\nx\n" + longLine + "\n");
  const Row db1{"db1", "h", "1", "", "", "", ""};
  EXPECT_EQ(r.out, started() + rowScreen(1, 1, db1) + kBrowsePrompt + kMainMenu + "Invalid choice.\n" + kMainMenu +
                       "Invalid choice.\n" + kMainMenu);
  EXPECT_EQ(r.status, 0);
}

}  // namespace
