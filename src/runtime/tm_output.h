// The trace manager's output stream, size cap and configuration header, as
// its writers use them. Every call here expects hSerializeTmMutex held.
#pragma once

#include <cstdint>
#include <cstdio>

FILE* tmOut();          // the current stream (standard error without a file)
void tmCloseFile();     // closes an open trace file; output = standard error
int32_t tmOpenOutput(); // 1, or 0 when the named file cannot be opened
void tmCloseOutput();   // closes (close-after-trace) or flushes
// Applies the size cap after tmOpenOutput: true when the output is at or
// beyond it; the truncation line is then written once and the output closed.
bool tmCapReached();
// A message of the manager itself, straight to the output.
void tmWriteManagerMessage(const char* text);
void tmTraceConfigInfoLocked(uint32_t bits);
