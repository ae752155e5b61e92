// Adding, browsing, editing and deleting database resources with cfgtool,
// as whole transcripts, and what the resource file holds afterwards.

#include <filesystem>
#include <string>

#include "src/runtime/inifile.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

std::string nullError(const char* field) { return std::string("ERROR: Field ") + field + " can't be NULL.\n"; }

class Resources : public CfgToolTest {
 protected:
  std::string value(const char* section, const char* key) {
    char buf[1200];
    GetPrivateProfileString(section, key, "(none)", buf, sizeof buf, drdPath().c_str());
    return buf;
  }
  // The editor's screens for one row: each field with its prompt.
  std::string asked(const Row& row) {
    constexpr const char* names[] = {"DATABASE", "ADDRESS", "PORT", "CONNECT_STRING", "TYPE", "SCHEMA_PATH",
                                     "REMARKS"};
    std::string s;
    for (size_t i = 0; i < row.size(); ++i) s += fieldAsked(names[i], row[i]);
    return s;
  }
  std::string privilegeError() {
    return "\nError: Insufficient privilege on Database Resource Directory file:<" + drdPath().string() + ">\n";
  }
  std::string writeError() {
    return "\nError: Unable to write Database Resource Directory file:<" + drdPath().string() + ">\n";
  }
};

// Section lines are read whole, a long one too; a commented one and
// brackets inside a value name no resource; a name loses its blanks.
TEST_F(Resources, SectionsAreFoundOnWholeLinesStartingWithABracket) {
  const std::string longName(200, 'x');
  install("[ db1 ]\nADDRESS=a\n;[old]\n[" + longName + "]\nADDRESS=far\nCONNECT_STRING=opt=[a]\n");
  const ToolRun r = run("2\n\n\nE\n");
  EXPECT_EQ(r.out, started() + rowScreen(1, 2, {"db1", "", "", "", "", "", ""}) + kBrowsePrompt +
                       rowScreen(2, 2, {longName, "far", "", "opt=[a]", "", "", ""}) + kBrowsePrompt + kMainMenu);
}

// DATABASE and ADDRESS refuse an empty value; PORT keeps its default; a
// single blank makes REMARKS NULL, written empty. The new section goes
// after what the file held.
TEST_F(Resources, AddingWithTheDefaults) {
  const std::string before = "; resources\n[old]\nADDRESS=o";
  install(before);
  const ToolRun r = run("1\n\ndb1\n\nhost\n\n\n\n\n \nE\n");
  EXPECT_EQ(r.out, started() + fieldAsked("DATABASE", "") + nullError("DATABASE") + kFieldPrompt +
                       fieldAsked("ADDRESS", "") + nullError("ADDRESS") + kFieldPrompt + fieldAsked("PORT", "1706") +
                       fieldAsked("CONNECT_STRING", "") + fieldAsked("TYPE", "") + fieldAsked("SCHEMA_PATH", "") +
                       fieldAsked("REMARKS", "") + "\nRecord successfully added.\n" + kMainMenu);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(s_.get(drdPath()), before +
                                   "\n[db1]\nADDRESS=host\nPORT=1706\nCONNECT_STRING=\nTYPE=\nSCHEMA_PATH=\nREMARKS=\n");
  EXPECT_EQ(value("db1", "PORT"), "1706");
  EXPECT_EQ(value("old", "ADDRESS"), "o");
}

// Input that would read back differently is refused and asked again: a
// name with brackets or a line break or too long for the reader, a value
// with a line break or too long for one line. A name loses its padding;
// brackets inside another value are fine and name no resource.
TEST_F(Resources, ValuesThatWouldReadBackDifferentlyAreAskedAgain) {
  install("");
  const std::string tooLongName(510, 'n'), tooLongValue(1016, 'v');
  const ToolRun r = run("1\na[b\nc]\nx\ry\n" + tooLongName + "\n  sales\t \nh\rx\n" + tooLongValue +
                        "\nh\n\na=[b]\n\n\n\n2\n\nE\n");
  const std::string brackets = "ERROR: Field DATABASE can't hold \"[\" or \"]\".\n";
  EXPECT_EQ(r.out, started() + fieldAsked("DATABASE", "") + brackets + kFieldPrompt + brackets + kFieldPrompt +
                       "ERROR: Field DATABASE can't hold a line break.\n" + kFieldPrompt +
                       "ERROR: Field DATABASE is too long.\n" + kFieldPrompt + fieldAsked("ADDRESS", "") +
                       "ERROR: Field ADDRESS can't hold a line break.\n" + kFieldPrompt +
                       "ERROR: Field ADDRESS is too long.\n" + kFieldPrompt + fieldAsked("PORT", "1706") +
                       fieldAsked("CONNECT_STRING", "") + fieldAsked("TYPE", "") + fieldAsked("SCHEMA_PATH", "") +
                       fieldAsked("REMARKS", "") + "\nRecord successfully added.\n" + kMainMenu +
                       rowScreen(1, 1, {"sales", "h", "1706", "a=[b]", "", "", ""}) + kBrowsePrompt + kMainMenu);
  EXPECT_EQ(value("sales", "CONNECT_STRING"), "a=[b]");
}

// Delete, rename and edit touch only their rows' six keys: comments, other
// keys and other sections stay where they were; a section left with no key
// loses its header; a renamed row moves to a section of the new name.
TEST_F(Resources, BrowseEditAndDeleteKeepEverythingElse) {
  install(
      "; database resources\n[db1]\n; the first one\nADDRESS=h1\nPORT=1\nOWNER=ops\n"
      "[db2]\nADDRESS=h2\nPORT=2\nTYPE=t2\n\n"
      "[db3]\nADDRESS=h3\nPORT=3\n; end\n");
  const Row db1{"db1", "h1", "1", "", "", "", ""};
  const Row db2{"db2", "h2", "2", "", "t2", "", ""};
  const Row db2new{"db2new", "newhost", "2", "", "t2", "", std::nullopt};
  const Row db3{"db3", "h3", "3", "", "", "", ""};
  const Row db3edited{"db3", "h3", "3", "cs", "t3", "", ""};
  const ToolRun r = run(
      "2\n"
      "d\n"                               // db1 goes; db2 becomes row 1 of 2
      "e\ndb2new\nnewhost\n\n\n\n\n \n"   // renamed, REMARKS NULL
      "n\n"                               //
      "e\n\n\n\ncs\nt3\n\n\n"              // db3 gains keys
      "\nE\n");
  EXPECT_EQ(r.out, started() + rowScreen(1, 3, db1) + kBrowsePrompt + rowScreen(1, 2, db2) + kBrowsePrompt +
                       asked(db2) + rowScreen(1, 2, db2new) + kBrowsePrompt + rowScreen(2, 2, db3) + kBrowsePrompt +
                       asked(db3) + rowScreen(2, 2, db3edited) + kBrowsePrompt + kMainMenu);
  EXPECT_EQ(s_.get(drdPath()),
            "; database resources\n[db1]\n; the first one\nOWNER=ops\n"
            "\n"
            "[db3]\nADDRESS=h3\nPORT=3\nCONNECT_STRING=cs\nTYPE=t3\nSCHEMA_PATH=\nREMARKS=\n; end\n"
            "[db2new]\nADDRESS=newhost\nPORT=2\nCONNECT_STRING=\nTYPE=t2\nSCHEMA_PATH=\nREMARKS=\n");
  EXPECT_EQ(value("db2", "ADDRESS"), "(none)");
  EXPECT_EQ(value("db3", "TYPE"), "t3");
}

// No limit on the number of sections: all of them load, and a delete keeps
// all the others.
TEST_F(Resources, ManySectionsLoadAndSurviveADelete) {
  std::string drd, rest;
  for (int i = 0; i < 600; ++i) {
    const std::string section = "[resource_" + std::to_string(1000 + i) + "]\nADDRESS=h" + std::to_string(i) + "\n";
    (i == 0 ? drd : rest) += section;
  }
  install(drd + rest);
  const ToolRun r = run("2\nd\nq\nE\n");
  EXPECT_EQ(r.out, started() + rowScreen(1, 600, {"resource_1000", "h0", "", "", "", "", ""}) + kBrowsePrompt +
                       rowScreen(1, 599, {"resource_1001", "h1", "", "", "", "", ""}) + kBrowsePrompt + kMainMenu);
  EXPECT_EQ(s_.get(drdPath()), rest);
}

// A file we may not write is browsed read-only: E and D are refused, and
// adding is refused at once.
TEST_F(Resources, ReadOnlyFileIsBrowsedOnly) {
  if (!canMakeReadOnly()) GTEST_SKIP() << "no read-only view for root";
  const std::string drd = "[a]\nADDRESS=h\n[b]\nADDRESS=i\n";
  install(drd);
  RunOptions o;
  o.readOnlyDirs = {schema()};
  const ToolRun r = run("1\n2\ne\nd\n\nn\nq\nE\n", o);
  const std::string notValid = "\nNot a valid option!\n(N)ext, (Q)uit [N]: ";
  EXPECT_EQ(r.out, started() + privilegeError() + kMainMenu + privilegeError() +
                       rowScreen(1, 2, {"a", "h", "", "", "", "", ""}) + kReadOnlyPrompt + notValid + notValid +
                       notValid + rowScreen(2, 2, {"b", "i", "", "", "", "", ""}) + kReadOnlyPrompt + kMainMenu);
  EXPECT_EQ(s_.get(drdPath()), drd);
}

// A write that fails is reported, never announced as done: adding offers
// retry or abort, an edit shows the row as the file still holds it.
TEST_F(Resources, FailedWritesAreReportedAndChangeNothing) {
  if (!canMakeReadOnly()) GTEST_SKIP() << "no read-only view for root";
  const std::string drd = "[a]\nADDRESS=h\nPORT=5\n";
  install(drd);
  RunOptions o;
  o.readOnlyDirs = {schema()};
  o.writableFiles = {drdPath()};
  const ToolRun r = run("1\nb\ni\n\n\n\n\n\nr\n\n\n\n\n\n\n\na\n2\ne\n\nnew\n\n\n\n\n\nd\nq\nE\n", o);
  const Row a{"a", "h", "5", "", "", "", ""};
  const Row b{"b", "i", "1706", "", "", "", ""};
  const std::string retry = "\n(R)etry, (A)bort [R]: ";
  EXPECT_EQ(r.out, started() + asked({"", "", "1706", "", "", "", ""}) + writeError() + retry + asked(b) +
                       writeError() + retry + kMainMenu + rowScreen(1, 1, a) + kBrowsePrompt + asked(a) +
                       writeError() + rowScreen(1, 1, a) + kBrowsePrompt + writeError() + rowScreen(1, 1, a) +
                       kBrowsePrompt + kMainMenu);
  EXPECT_EQ(s_.get(drdPath()), drd);
}

// Without the resource file, items 1 and 2 end the tool (status 0); the end
// of the input inside the editor writes nothing.
TEST_F(Resources, MissingFileEndsTheToolAndCutInputWritesNothing) {
  install("");
  fs::remove(drdPath());
  const std::string notFound =
      "\nError: Database Resource Directory file not found:<" + drdPath().string() + ">\n";
  for (const char* item : {"1\nE\n", "2\nE\n"}) {
    const ToolRun r = run(item);
    EXPECT_EQ(r.out, started() + notFound) << item;
    EXPECT_EQ(r.status, 0);
  }
  install("[a]\nADDRESS=h\n");
  const ToolRun r = run("1\nnewdb\n");
  EXPECT_EQ(r.out, started() + fieldAsked("DATABASE", "") + fieldAsked("ADDRESS", "") + kMainMenu);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(s_.get(drdPath()), "[a]\nADDRESS=h\n");
}

}  // namespace
