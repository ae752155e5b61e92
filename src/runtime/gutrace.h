// Call-trace writer of the ODBC and JDBC layers: one process-wide control
// block with up to 25 named handles, each with a 64-bit level mask, writing
// printf-style and wide-character lines to one call-trace file (standard
// output when none is named) under the trace-file size cap.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr int32_t TR_MAX_HANDLES = 25;
inline constexpr int32_t TR_NAME_SIZE = 28;  // 27 characters and the terminator
inline constexpr int32_t TR_TEXT_SIZE = 256;

// Line-format flags.
inline constexpr uint64_t TR_FMT_NAME = 1;   // handle-name column
inline constexpr uint64_t TR_FMT_CLASS = 4;  // "ERR:"/"INFO:" column

// Level bits with a meaning of their own.
inline constexpr uint64_t TR_LEVEL_ERROR = 0x0F;     // any of them: an error line
inline constexpr uint64_t TR_LEVEL_NO_THREAD = 32;   // no thread and source columns
inline constexpr uint64_t TR_MASK_HEX_DUMP = 0x200;  // wide lines are also dumped in hex

struct TrHandleSlot {
  int32_t inUse;
  char name[TR_NAME_SIZE];
  uint64_t mask;
};
using TrHandle = TrHandleSlot*;

struct TraceCB {
  int32_t initialized;
  char programName[TR_TEXT_SIZE];
  int32_t noFile;
  char fileName[TR_TEXT_SIZE];
  uint64_t defaultMask;
  uint64_t formatFlags;
  FILE* out;  // NULL = standard error
  int32_t append;
  int32_t closeAfterLine;
  TrHandleSlot handles[TR_MAX_HANDLES];
  int32_t count;
  TrHandle defaultHandle;
};

extern TraceCB gTraceCB;
extern int32_t giTrTraceTruncationMessage;

// The driver's two handles (JDBC and ODBC calls), opened by its trace
// start-up.
extern TrHandle htrODBC;
extern TrHandle htrJDBC;

// Once per process; later calls answer 1 and change nothing. A file name
// that does not fit in the control block sends the lines to standard error.
int32_t tr_init(const char* programName, const char* fileName, uint64_t defaultMask, uint64_t formatFlags,
                int32_t closeAfterLine);
TrHandle tr_open(const char* name, uint64_t mask);  // 0 when full or not initialised
TrHandle tr_def_open(const char* name);
void tr_options(TrHandle handle, uint64_t mask);  // NULL = the default handle
void tr_close(TrHandle handle);
void tr_shutdown();

void tr_trace(const char* srcFile, int32_t line, TrHandle handle, uint64_t level, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void tr_tracew(const char* srcFile, int32_t line, TrHandle handle, uint64_t level, const wchar_t* format, ...);
void tr_dumpHex(TrHandle handle, uint64_t level, const char* title, const void* buffer, int32_t length);

int64_t tr_fileLength(FILE* stream);
// Writes the text and a newline to standard output.
void EventLogMessage(int32_t type, const char* text);

#define TR_TRACE(srcFile, handle, level, ...) tr_trace((srcFile), __LINE__, (handle), (level), __VA_ARGS__)
#define TR_TRACEW(srcFile, handle, level, ...) tr_tracew((srcFile), __LINE__, (handle), (level), __VA_ARGS__)
