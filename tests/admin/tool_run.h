// Runs the cfgtool program on piped input in a scratch directory and
// collects what it printed, with the expected texts of its screens.
//
// Layout of the scratch directory: work/ is the program's working
// directory, home/ its HOME, tmp/ the /tmp it sees (when the machine lets
// a child have a mount namespace of its own, so that no /tmp/mirodel.ini
// of the machine gets in the way), io/ its input and output.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ToolRun {
  std::string out;  // standard output
  std::string err;  // standard error (sanitizer reports land here)
  int status = -1;  // exit status, or 128 + signal
};

struct RunOptions {
  std::vector<std::string> args;
  // Environment beside the inherited one (HOME and MIRODEL_INI are always
  // replaced: by these when given, else HOME by home/ and MIRODEL_INI unset).
  std::map<std::string, std::string> env;
  // Directories the program may read but not write, and files below them
  // it may still write in place (needs a private mount namespace as root).
  std::vector<std::filesystem::path> readOnlyDirs;
  std::vector<std::filesystem::path> writableFiles;
};

class AdminScratch {
 public:
  AdminScratch();
  ~AdminScratch();
  AdminScratch(const AdminScratch&) = delete;
  AdminScratch& operator=(const AdminScratch&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path work() const { return root_ / "work"; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path tmp() const { return root_ / "tmp"; }

  // Files by path relative to work/ (or absolute).
  void put(const std::filesystem::path& p, const std::string& text) const;
  std::string get(const std::filesystem::path& p) const;
  std::filesystem::path at(const std::filesystem::path& p) const { return p.is_absolute() ? p : work() / p; }

  ToolRun run(const std::string& input, const RunOptions& options = {}) const;

 private:
  std::filesystem::path root_;
};

// True when a child may have a mount namespace of its own (a private /tmp,
// read-only views); tests that need one skip without it.
bool canIsolate();

// A read-only view of a directory needs a private mount namespace as root;
// otherwise file modes do.
bool canMakeReadOnly();

// ---- expected screens ------------------------------------------------------

std::string banner();
std::string currentConfig(const std::string& path);
extern const std::string kMainMenu;
extern const std::string kFieldPrompt;
extern const std::string kBrowsePrompt;
extern const std::string kReadOnlyPrompt;
extern const std::string kTraceMenu;

// The values of a row, DATABASE first; nullopt shows as NULL.
using Row = std::vector<std::optional<std::string>>;
// The fields of a row as the browser and the editor show them.
std::string fields(const Row& row);
std::string rowScreen(int n, int count, const Row& row);
// One field as the editor shows it, with its prompt.
std::string fieldAsked(const char* name, const std::optional<std::string>& value);

// ---- fixture -----------------------------------------------------------------

class CfgToolTest : public ::testing::Test {
 protected:
  // Runs the program; its standard error must stay empty.
  ToolRun run(const std::string& input, const RunOptions& options = {}) {
    ToolRun r = s_.run(input, options);
    EXPECT_EQ(r.err, "");
    return r;
  }
  // work/mirodel.ini with qv_root and SchemaPath=work/schema (plus `extra`
  // lines), and work/schema/qvdrd.ini holding `drd`.
  void install(const std::string& drd, const std::string& extra = "") {
    s_.put("mirodel.ini", "[Common]\nqv_root=/opt/qv\nSchemaPath=" + schema().string() + "\n" + extra);
    s_.put(drdPath(), drd);
  }
  std::filesystem::path schema() const { return s_.work() / "schema"; }
  std::filesystem::path drdPath() const { return schema() / "qvdrd.ini"; }
  // The screen up to the first main menu of a start on ./mirodel.ini.
  std::string started() const { return banner() + currentConfig("./mirodel.ini") + kMainMenu; }

  AdminScratch s_;
};
