// Call-trace writer of the ODBC and JDBC layers.
//
// Minimal version: the handles and the trace call exist, nothing is written.
#pragma once

#include <cstdint>

using TrHandle = int32_t;

extern TrHandle htrODBC;
extern TrHandle htrJDBC;

void tr_trace(TrHandle handle, uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
