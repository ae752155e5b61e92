// What the two trace writers (the trace manager and the call-trace writer)
// share: how a trace file is opened, where the file name of a line comes
// from, the hex-dump rows and the truncation line.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr char kTraceTruncatedLine[] = "================ LOG FILE TRUNCATED ================\n";

// Opens a trace file with the stdio mode "w", "a" or "a+". A file it creates
// is readable by its owner only, and a symbolic link at the last component is
// not followed (the open fails). NULL on failure.
FILE* qvOpenTraceFile(const char* path, const char* mode);

// The part of a source path after its last '/'.
const char* qvTraceFileName(const char* path);

// Position of a trace stream for the size cap: 0 for standard output,
// standard error and streams that cannot tell.
int64_t qvTracePosition(FILE* f);

// The dump rows: every 16 bytes the offset ("%5x: "), each byte "%02x ",
// then "  |  " and the row's printable characters ('.' for the others); a
// last partial row is padded with three blanks per missing byte. Returns
// false at the first failing write.
bool qvWriteHexRows(FILE* f, const uint8_t* buffer, int32_t length);
