// The trace options editor: the level a configuration shows, the values a
// chosen level writes, and the menu itself.

#include <string>
#include <utility>
#include <vector>

#include "admin/traceopt.h"
#include "src/runtime/inifile.h"
#include "tool_run.h"

namespace {

TEST(TraceLevel, StoredValuesAreComparedExactly) {
  const struct {
    TraceComponent component;
    const char* value;
    ToolTraceLevel level;
  } cases[] = {
      {kTraceClient, "", 0},
      {kTraceClient, "FATAL|SNO", 1},
      {kTraceClient, "FATAL|SNO|PARM|ERRORS", 2},
      {kTraceClient, "FATAL|SNO|PARM|ERRORS|MAJOR_EV|MINOR_EV|TIMESTAMP", 3},
      {kTraceClient, "MAX", 4},
      {kTraceClient, "MAX_PLUS", 5},
      {kTraceClient, "FATAL|SNO ", -1},
      {kTraceClient, "max", -1},
      {kTraceOdbc, "0", 1},
      {kTraceJdbc, "1", 3},
      {kTraceOledb, "2", 4},
      {kTraceDotNet, "3", 5},
      {kTraceOdbc, "4", -1},
      {kTraceOdbc, "01", -1},
      {kTraceServer, "all:3", 1},
      {kTraceServer, "all:f", 2},
      {kTraceServer, "all:23f", 3},
      {kTraceServer, "all:2ff", 4},
      {kTraceServer, "all:7ff", 5},
      {kTraceServer, "ALL:3", -1},
      {kTraceServer, "", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(traceLevelOfValue(c.component, c.value), c.level) << c.value;
}

class TraceOptionsMenu : public CfgToolTest {
 protected:
  std::string value(const char* section, const char* key) {
    char buf[256];
    GetPrivateProfileString(section, key, "(none)", buf, sizeof buf, s_.at("mirodel.ini").c_str());
    return buf;
  }
  std::string shown(const std::string& level) {
    return started() + "\nCurrent tracing option: " + level + kTraceMenu + kMainMenu;
  }
};

using Keys = std::vector<std::pair<std::string, std::string>>;  // "Section/Key", value ("(none)": absent)

// (keys present, choice) -> (level shown, keys afterwards). Only keys that
// are there are written; a stored value no level writes stays.
TEST_F(TraceOptionsMenu, LevelShownAndValuesWritten) {
  const struct {
    const char* what;
    std::string config;  // lines after [Common]'s qv_root and SchemaPath
    const char* choice;
    const char* shown;
    Keys after;
  } cases[] = {
      {"highest level wins, quit writes nothing",
       "[TraceClient]\nAll=MAX\n[Server]\nTraceOptions=all:3\n", "q", "4 (Full Tracing) ",
       {{"TraceClient/All", "MAX"}, {"Server/TraceOptions", "all:3"}}},
      {"a section without the key stays without it",
       "[ODBC32]\nTraceOptions=1\n[JDBC]\nOther=x\n", "2", "3 (Major Tracing)",
       {{"ODBC32/TraceOptions", "0"}, {"JDBC/TraceOptions", "(none)"}, {"JDBC/Other", "x"}}},
      {"full tracing lifts the size limit and keeps the file open",
       "LogFileMaxSize=5000\nLogFileClose=1\n[TraceClient]\nAll=FATAL|SNO\n", "4", "1 (No Tracing)",
       {{"TraceClient/All", "MAX"}, {"Common/LogFileMaxSize", "0"}, {"Common/LogFileClose", "0"}}},
      {"no tracing keeps the size limit and closes the file",
       "LogFileMaxSize=0\nLogFileClose=0\n[TraceClient]\nAll=MAX\n", "1", "4 (Full Tracing) ",
       {{"TraceClient/All", "FATAL|SNO"}, {"Common/LogFileMaxSize", "0"}, {"Common/LogFileClose", "1"}}},
      {"every component, major tracing",
       "[TraceClient]\nAll=MAX_PLUS\n[ODBC32]\nTraceOptions=3\n[OLEDB]\nTraceOptions=3\n[JDBC]\nTraceOptions=3\n"
       "[.NET]\nTraceOptions=3\n[Server]\nTraceOptions=all:7ff\n",
       "3", "5 (Verbose Tracing) ",
       {{"TraceClient/All", "FATAL|SNO|PARM|ERRORS|MAJOR_EV|MINOR_EV|TIMESTAMP"},
        {"ODBC32/TraceOptions", "1"},
        {"OLEDB/TraceOptions", "1"},
        {"JDBC/TraceOptions", "1"},
        {".NET/TraceOptions", "1"},
        {"Server/TraceOptions", "all:23f"},
        {"Common/LogFileMaxSize", "(none)"},
        {"Common/LogFileClose", "(none)"}}},
      {"an unknown value is shown as such and kept",
       "[TraceClient]\nAll=FATAL|SNO\t\n[Server]\nTraceOptions=all:f\n", "5", "2 (Error Tracing)",
       {{"TraceClient/All", "FATAL|SNO\t"}, {"Server/TraceOptions", "all:7ff"}}},
      {"no trace key at all", "", "5", "Unknown", {{"TraceClient/All", "(none)"}, {"Common/LogFileClose", "(none)"}}},
  };
  for (const auto& c : cases) {
    install("", c.config);
    const ToolRun r = run(std::string("3\n") + c.choice + "\nE\n");
    EXPECT_EQ(r.out, shown(c.shown)) << c.what;
    for (const auto& [where, expected] : c.after) {
      const std::string section = where.substr(0, where.find('/')), key = where.substr(where.find('/') + 1);
      EXPECT_EQ(value(section.c_str(), key.c_str()), expected) << c.what << ": " << where;
    }
  }
}

TEST_F(TraceOptionsMenu, UnknownChoiceShowsTheOptionsAgain) {
  install("");
  const std::string before = s_.get("mirodel.ini");
  const ToolRun r = run("3\n x\n\n Q\nE\n");
  EXPECT_EQ(r.out, started() + "\nCurrent tracing option: Unknown" + kTraceMenu + "Invalid choice.\n" + kTraceMenu +
                       "Invalid choice.\n" + kTraceMenu + kMainMenu);
  EXPECT_EQ(s_.get("mirodel.ini"), before);
}

// A configuration we may not write is refused before the menu; a write
// that fails is reported.
TEST_F(TraceOptionsMenu, ReadOnlyOrUnwritableConfiguration) {
  if (!canMakeReadOnly()) GTEST_SKIP() << "no read-only view for root";
  install("", "[TraceClient]\nAll=MAX\n");
  const std::string before = s_.get("mirodel.ini");
  RunOptions o;
  o.readOnlyDirs = {s_.work()};
  ToolRun r = run("3\nE\n", o);
  EXPECT_EQ(r.out, started() + "\nError: Insufficient privilege on Configuration file:<./mirodel.ini>\n" + kMainMenu);

  o.writableFiles = {s_.at("mirodel.ini")};
  r = run("3\n1\nE\n", o);
  EXPECT_EQ(r.out, started() + "\nCurrent tracing option: 4 (Full Tracing) " + kTraceMenu +
                       "\nError: Unable to write Configuration file:<./mirodel.ini>\n" + kMainMenu);
  EXPECT_EQ(s_.get("mirodel.ini"), before);
}

}  // namespace
