// The trace options editor: shows the installation's trace level and sets
// one of five levels across the trace keys of the main configuration file.
#pragma once

#include <cstdint>

// 1 No, 2 Error, 3 Major, 4 Full, 5 Verbose tracing; 0 a key that is absent
// (or empty), -1 a value that is none of a level's.
using ToolTraceLevel = int32_t;

// The components whose trace key follows the level.
enum TraceComponent { kTraceClient, kTraceOdbc, kTraceOledb, kTraceJdbc, kTraceDotNet, kTraceServer, kTraceComponents };

struct TraceOptions {
  ToolTraceLevel level[kTraceComponents];
  int32_t logFileMaxSize;  // -1 when absent
  bool logFileClose;       // [Common] LogFileClose is there
  ToolTraceLevel highest;
};

// The level a component's stored value stands for (compared exactly, case
// and blanks included).
ToolTraceLevel traceLevelOfValue(TraceComponent component, const char* value);

// Reads the trace keys of the main configuration file; returns the highest
// level.
ToolTraceLevel ReadTraceOptions(TraceOptions& options);

// Writes the level's values into the keys that are there. 1 for levels 1-5
// when every write succeeded; 0 for another level (nothing written) or when
// a write failed.
int32_t WriteTraceOptions(ToolTraceLevel level, const TraceOptions& options);

// Menu item 3.
void editTraceOptions();
