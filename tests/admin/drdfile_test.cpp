// In-place section edits of the resource file: what changes and what stays,
// line for line.

#include "admin/drdfile.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tool_run.h"

namespace {

namespace fs = std::filesystem;

const std::vector<DrdKeyValue> kKeys{{"ADDRESS", "h"}, {"PORT", "7"}};
const std::vector<const char*> kNames{"ADDRESS", "PORT"};

class DrdFile : public ::testing::Test {
 protected:
  std::string path() const { return (s_.work() / "qvdrd.ini").string(); }
  AdminScratch s_;
};

TEST_F(DrdFile, WriteAndRemoveChangeOnlyTheirLines) {
  const std::string mixed = "; top\n[db]\n address = old \nX=1\nADDRESS=second\n;ADDRESS=c\n\n[next]\nPORT=9\n";
  const struct {
    const char* what;
    std::string before;
    std::optional<std::string> oldName;  // nullopt: a new row
    const char* newName;                 // nullptr: remove oldName's keys
    std::string after;
  } cases[] = {
      {"a key is replaced where the reader finds it, a missing one goes after the last key line", mixed,
       std::string("db"), "db",
       "; top\n[db]\nADDRESS=h\nX=1\nADDRESS=second\nPORT=7\n;ADDRESS=c\n\n[next]\nPORT=9\n"},
      {"the first section of the name, without regard to case", "[DB]\nPORT=1\n[db]\nPORT=2\n", std::nullopt, "db",
       "[DB]\nPORT=7\nADDRESS=h\n[db]\nPORT=2\n"},
      {"a name that differs in case only renames the header", "[db1]\nPORT=1\n[z]\n", std::string("db1"), "DB1",
       "[DB1]\nPORT=7\nADDRESS=h\n[z]\n"},
      {"a new section after a last line without a line feed", "[a]\nX=1", std::nullopt, "b",
       "[a]\nX=1\n[b]\nADDRESS=h\nPORT=7\n"},
      {"a key after a last line without a line feed", "[a]\nX=1", std::nullopt, "a", "[a]\nX=1\nADDRESS=h\nPORT=7\n"},
      {"a header with blanks is not the section", "[ a ]\nPORT=1\n", std::nullopt, "a",
       "[ a ]\nPORT=1\n[a]\nADDRESS=h\nPORT=7\n"},
      {"a rename leaves the old section's other keys", mixed, std::string("db"), "new",
       "; top\n[db]\nX=1\n;ADDRESS=c\n\n[next]\nPORT=9\n[new]\nADDRESS=h\nPORT=7\n"},
      {"a rename onto another section joins it and drops the emptied header", "[a]\nPORT=1\n; a's\n[b]\nX=2\n",
       std::string("a"), "b", "; a's\n[b]\nX=2\nADDRESS=h\nPORT=7\n"},
      {"a remove drops every line of the keys and the emptied header, comments stay",
       "[a]\n; note\nPORT=1\nPORT=2\n[b]\nPORT=3\n", std::string("a"), nullptr, "; note\n[b]\nPORT=3\n"},
      {"a remove keeps a header with other keys", mixed, std::string("db"), nullptr,
       "; top\n[db]\nX=1\n;ADDRESS=c\n\n[next]\nPORT=9\n"},
      {"a remove of a missing section changes nothing", mixed, std::string("none"), nullptr, mixed},
  };
  for (const auto& c : cases) {
    s_.put(path(), c.before);
    const bool ok = c.newName == nullptr
                        ? drdRemoveKeys(path(), *c.oldName, kNames)
                        : drdWriteSection(path(), c.oldName ? &*c.oldName : nullptr, c.newName, kKeys);
    EXPECT_TRUE(ok) << c.what;
    EXPECT_EQ(s_.get(path()), c.after) << c.what;
  }
}

TEST_F(DrdFile, RefusedInputLeavesTheFileAlone) {
  const std::string before = "[a]\nPORT=1\n";
  s_.put(path(), before);
  const std::string refusedNames[] = {"a[", "b]", "c\nd", "e\rf", std::string(510, 'n')};
  for (const std::string& name : refusedNames) EXPECT_FALSE(drdWriteSection(path(), nullptr, name, kKeys)) << name;
  EXPECT_FALSE(drdWriteSection(path(), nullptr, "a", {{"ADDRESS", "x\ny"}}));
  // A key line the reader cannot take whole (1023 bytes at most).
  EXPECT_FALSE(drdWriteSection(path(), nullptr, "a", {{"ADDRESS", std::string(1016, 'v')}}));
  EXPECT_EQ(s_.get(path()), before);
  EXPECT_TRUE(drdWriteSection(path(), nullptr, std::string(509, 'n'), {{"ADDRESS", std::string(1015, 'v')}}));
  fs::create_directory(s_.work() / "dir");
  EXPECT_FALSE(drdWriteSection((s_.work() / "dir").string(), nullptr, "a", kKeys)) << "a directory";
}

// The file is replaced through a new file: its mode stays, a symbolic link
// stays a link to the rewritten file, a missing file is created, and no
// temporary file is left.
TEST_F(DrdFile, ReplacementKeepsModeAndLinks) {
  const fs::path real = s_.work() / "real.ini", link = s_.work() / "qvdrd.ini";
  s_.put(real, "[a]\n");
  fs::permissions(real, static_cast<fs::perms>(0640));
  fs::create_symlink("real.ini", link);
  ASSERT_TRUE(drdWriteSection(link.string(), nullptr, "a", kKeys));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(s_.get(real), "[a]\nADDRESS=h\nPORT=7\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, static_cast<fs::perms>(0640));

  const fs::path fresh = s_.work() / "fresh.ini";
  ASSERT_TRUE(drdWriteSection(fresh.string(), nullptr, "b", kKeys));
  EXPECT_EQ(s_.get(fresh), "[b]\nADDRESS=h\nPORT=7\n");
  EXPECT_TRUE(drdRemoveKeys((s_.work() / "none.ini").string(), "b", kNames));
  for (const auto& e : fs::directory_iterator(s_.work())) EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos);
}

}  // namespace
