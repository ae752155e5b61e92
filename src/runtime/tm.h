// Trace manager: the diagnostic trace of the protocol stack and the RDA
// layers. Each layer registers a numbered module (option name, line prefix,
// mask of trace classes, format flags) and keeps its handle; a trace site
// writes one line to the one trace file of the process when its module's
// mask has one of the site's bits.
//
// Every line is written under hSerializeTmMutex, which is not recursive:
// nothing may trace while it is held.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

using TmHandle = int32_t;  // index of a module; -1 = not registered

// Trace classes: values of a module's mask and of the bits a site passes.
inline constexpr uint32_t TM_FATAL = 0x1;
inline constexpr uint32_t TM_SNO = 0x2;
inline constexpr uint32_t TM_PARM = 0x4;
inline constexpr uint32_t TM_ERRORS = 0x8;
inline constexpr uint32_t TM_MAJOR_EV = 0x10;
inline constexpr uint32_t TM_MINOR_EV = 0x20;
inline constexpr uint32_t TM_INFO = 0x40;
inline constexpr uint32_t TM_F_TRACE = 0x80;
inline constexpr uint32_t TM_TRIVIA = 0x100;
inline constexpr uint32_t TM_TIMESTAMP = 0x200;
inline constexpr uint32_t TM_UNICODE_HEX = 0x400;  // wide lines are also dumped in hex

// Module format flags.
inline constexpr uint32_t TM_FLAG_POSITION = 1;  // thread, time, file and line columns
inline constexpr uint32_t TM_FLAG_PREFIX = 2;    // prefix column

struct XmTree;

// One registered module; an XM item in a tree of its own under tmXmTree. The
// mask and flags are read by trace sites without the lock.
struct TmModuleCB {
  char* optName;
  char* prefix;
  std::atomic<uint32_t> mask;
  std::atomic<uint32_t> flags;
};

// The line hook: called with the site's bits and the composed line.
using TmOutFunc = void (*)(uint32_t bits, const char* text);

inline constexpr int32_t TM_FILE_NAME_SIZE = 512;

extern std::atomic<TmModuleCB*>* tmModule;  // tmNumModules slots; NULL = free
extern std::atomic<int32_t> tmNumModules;   // 0 before tm_init
extern std::atomic<int32_t> tmlocked;       // a module is being closed
extern FILE* tmFile;                        // current output; NULL = standard error
extern char sTmFileName[TM_FILE_NAME_SIZE]; // empty = standard error
extern int32_t bTmFileAppend;
extern int32_t bTmFileCloseAfterTrace;
extern int32_t giTmLogFileMaxSize;          // bytes; 0 = no cap
extern int32_t giTmTraceTruncationMessage;  // the truncation line is still to be written
extern int32_t bConfigInfoTraced;           // the configuration header was written
extern TmOutFunc tmOutFunc;
extern int32_t tmbufLen;
extern XmTree* tmXmTree;

// ---- Modules ----

int32_t tm_init(int32_t numModules);
int32_t tm_shutdown();
TmHandle tm_open(const char* prefix, const char* optName);
void tm_close(TmHandle handle);
int32_t TM_validMod(TmHandle handle);
void tm_setMask(TmHandle handle, uint32_t mask);
TmModuleCB* _tm_setFlags(TmHandle handle, uint32_t flags);
int32_t _tm_query(TmHandle handle, uint32_t bits);
// "name=hexmask" (or ':' / ',' as separator): sets the mask of the first
// module with that option name. The value is read from the leading
// hexadecimal digits (none: 0; more than 32 bits: all ones). 1 when a module
// matched, else 0.
int32_t tm_setAsciiLevel(const char* text);

// ---- Output ----

// Names the trace file (NULL: no change; "": standard error) and sets the
// append and close-after-trace flags. A name that does not fit keeps the
// previous output. Returns 1.
int32_t tm_output(const char* fileName, int32_t append, int32_t closeAfterTrace);
int32_t tm_register(int32_t bufLen, TmOutFunc func);
int64_t tm_filelength();
// One of ten 20-character buffers of the calling thread holding `value` as
// text; "TM: invalid buffer number" for a number outside 0..9.
const char* _tm_printAddr(const void* value, int32_t bufNum);

// ---- Configuration header ----

// Writes, once per process, the product version, platform and build, the
// contents of the three configuration files and the environment, before the
// first line that qualifies (bits & 15, or a module mask with a bit of
// 0xff0). Returns 1.
int32_t tm_traceConfigInfo(uint32_t bits);
// The main configuration file, and the database-resource and information
// files under the schema path, into three 512-byte buffers (empty when the
// calling thread has no configuration record or a name does not fit).
void tm_getIniFilenames(char* iniFile, char* drdFile, char* infoFile);

// ---- Writers (the caller holds hSerializeTmMutex) ----

void _tm_trace(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* format, va_list args);
void _tm_tracew(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const wchar_t* format,
                va_list args);

// Hex dump of `length` bytes under a title line; takes hSerializeTmMutex
// itself when `takeLock` is set.
void _tm_dumpHex(TmHandle handle, uint32_t bits, const char* title, const void* buffer, int32_t length,
                 const char* srcFile, int32_t line, int32_t takeLock);

// ---- Trace sites ----

// The cheap test of a site, made without the lock: `handle` names a
// registered module whose mask has one of `bits` and no module is being
// closed.
int32_t tm_siteOn(TmHandle handle, uint32_t bits);

// Writes one line for a site that tm_siteOn let through, under
// hSerializeTmMutex. `srcFile` is the site's source path; the line shows the
// part after the last '/'.
void tm_traceSite(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void tm_traceSiteW(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const wchar_t* format, ...);

#define TM_TRACE(handle, bits, srcFile, ...)                                  \
  do {                                                                        \
    const TmHandle tm_site_handle_ = (handle);                                \
    const uint32_t tm_site_bits_ = (bits);                                    \
    if (tm_siteOn(tm_site_handle_, tm_site_bits_))                            \
      tm_traceSite(tm_site_handle_, tm_site_bits_, (srcFile), __LINE__, __VA_ARGS__); \
  } while (0)

// Wide twin of TM_TRACE: the format is a wide string, the line is written in
// UTF-8.
#define TM_TRACEW(handle, bits, srcFile, ...)                                  \
  do {                                                                         \
    const TmHandle tm_site_handle_ = (handle);                                 \
    const uint32_t tm_site_bits_ = (bits);                                     \
    if (tm_siteOn(tm_site_handle_, tm_site_bits_))                             \
      tm_traceSiteW(tm_site_handle_, tm_site_bits_, (srcFile), __LINE__, __VA_ARGS__); \
  } while (0)

#define TM_DUMPHEX(handle, bits, srcFile, title, buffer, length) \
  _tm_dumpHex((handle), (bits), (title), (buffer), (length), (srcFile), __LINE__, 1)
