// Trace names of the presentation events 0-113, printed by the application
// layer's event tracer. Events with no name of their own (0, 1 and the
// session-side events 37-75) carry "???".
#pragma once

#include <cstdint>

inline constexpr uint32_t kPNamesCount = 114;

extern const char* const p_names[kPNamesCount];
