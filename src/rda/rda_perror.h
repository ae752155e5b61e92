// Symbolic names of OSI error numbers (osi_errno), for traces and for the
// messages written when the stack cannot be started, stopped or driven.
#pragma once

#include <cstdint>

// Room a caller's buffer needs: "XX_0x", eight hexadecimal digits and the
// terminating zero.
inline constexpr uint32_t kRdaErrorNameSize = 14;

// The name of `number` in the table of its family (the buffer untouched),
// or "XX_0x%lx" of its offset from that family's base written into
// `buffer` (at least kRdaErrorNameSize characters) and `buffer` returned.
// Without a buffer an unknown number gives "?". Reads only constant
// tables; any thread may call it.
const char* rda_printError(uint32_t number, char* buffer);
