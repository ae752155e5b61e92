#include "admin/traceopt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "admin/cfgtool.h"
#include "src/runtime/inifile.h"

namespace {

constexpr int32_t kValueSize = 1024;
constexpr int kLevels = 5;

struct ComponentKey {
  const char* section;
  const char* key;
  // The values written for levels 1 to 5.
  const char* const* values;
};

constexpr const char* kClientValues[kLevels] = {
    "FATAL|SNO", "FATAL|SNO|PARM|ERRORS", "FATAL|SNO|PARM|ERRORS|MAJOR_EV|MINOR_EV|TIMESTAMP", "MAX", "MAX_PLUS"};
constexpr const char* kCallTraceValues[kLevels] = {"0", "0", "1", "2", "3"};
constexpr const char* kServerValues[kLevels] = {"all:3", "all:f", "all:23f", "all:2ff", "all:7ff"};

constexpr ComponentKey kComponents[kTraceComponents] = {
    {"TraceClient", "All", kClientValues},        {"ODBC32", "TraceOptions", kCallTraceValues},
    {"OLEDB", "TraceOptions", kCallTraceValues},  {"JDBC", "TraceOptions", kCallTraceValues},
    {".NET", "TraceOptions", kCallTraceValues},   {"Server", "TraceOptions", kServerValues},
};

constexpr const char* kLogFileClose[kLevels] = {"1", "1", "0", "0", "0"};

constexpr const char* kLevelText[kLevels] = {"1 (No Tracing)", "2 (Error Tracing)", "3 (Major Tracing)",
                                             "4 (Full Tracing) ", "5 (Verbose Tracing) "};

std::string readValue(const char* section, const char* key) {
  char value[kValueSize];
  GetPrivateProfileString(section, key, "", value, sizeof value, gszMirodelINI.c_str());
  return value;
}

bool write(const char* section, const char* key, const char* value) {
  return WritePrivateProfileString(section, key, value, gszMirodelINI.c_str()) == 1;
}

}  // namespace

ToolTraceLevel traceLevelOfValue(TraceComponent component, const char* value) {
  if (*value == '\0') return 0;
  if (component == kTraceOdbc || component == kTraceOledb || component == kTraceJdbc || component == kTraceDotNet) {
    // Levels 1 and 2 store the same "0"; it reads as 1.
    constexpr const char* kRead[] = {"0", "1", "2", "3"};
    constexpr ToolTraceLevel kLevel[] = {1, 3, 4, 5};
    for (int i = 0; i < 4; ++i)
      if (std::strcmp(value, kRead[i]) == 0) return kLevel[i];
    return -1;
  }
  for (int i = 0; i < kLevels; ++i)
    if (std::strcmp(value, kComponents[component].values[i]) == 0) return i + 1;
  return -1;
}

ToolTraceLevel ReadTraceOptions(TraceOptions& options) {
  options.highest = -1;
  for (int c = 0; c < kTraceComponents; ++c) {
    const std::string value = readValue(kComponents[c].section, kComponents[c].key);
    options.level[c] = traceLevelOfValue(static_cast<TraceComponent>(c), value.c_str());
    if (c == 0 || options.level[c] > options.highest) options.highest = options.level[c];
  }
  const std::string size = readValue("Common", "LogFileMaxSize");
  options.logFileMaxSize = size.empty() ? -1 : static_cast<int32_t>(std::strtol(size.c_str(), nullptr, 10));
  options.logFileClose = !readValue("Common", "LogFileClose").empty();
  return options.highest;
}

int32_t WriteTraceOptions(ToolTraceLevel level, const TraceOptions& options) {
  if (level < 1 || level > kLevels) return 0;
  bool ok = true;
  for (int c = 0; c < kTraceComponents; ++c)
    if (options.level[c] > 0) ok = write(kComponents[c].section, kComponents[c].key, kComponents[c].values[level - 1]) && ok;
  // Full and verbose tracing lift the size limit; the lower levels keep it.
  if (level >= 4 && options.logFileMaxSize != -1) ok = write("Common", "LogFileMaxSize", "0") && ok;
  if (options.logFileClose) ok = write("Common", "LogFileClose", kLogFileClose[level - 1]) && ok;
  return ok ? 1 : 0;
}

void editTraceOptions() {
  if (CheckForFilePermission(gszMirodelINI) == 0) {
    printError(kErrConfigPrivilege, gszMirodelINI);
    return;
  }
  TraceOptions options;
  const ToolTraceLevel highest = ReadTraceOptions(options);
  std::printf("\nCurrent tracing option: %s", highest >= 1 && highest <= kLevels ? kLevelText[highest - 1] : "Unknown");
  for (;;) {
    std::printf("\nPlease select one of the following options:\n");
    std::puts("    1. No Tracing");
    std::puts("    2. Error Tracing");
    std::puts("    3. Major Tracing");
    std::puts("    4. Full Tracing");
    std::puts("    5. Verbose Tracing");
    std::puts("");
    std::puts("    Q. Quit to Main Menu\n");
    std::printf("Choice: ");
    std::string line;
    if (!readInputLine(line)) return;
    const char c = firstNonBlank(line);
    if (c >= '1' && c <= '5') {
      if (WriteTraceOptions(c - '0', options) != 1) printError(kErrConfigWrite, gszMirodelINI);
      return;
    }
    if (c == 'q' || c == 'Q') return;
    std::puts("Invalid choice.");
  }
}
