// Call-trace writer of the ODBC and JDBC layers.
#include "src/runtime/gutrace.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

#include "common/qvthread.h"
#include "common/qvunicode.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/tm.h"
#include "src/runtime/tracefile.h"

TraceCB gTraceCB{};
int32_t giTrTraceTruncationMessage = 1;
TrHandle htrODBC = nullptr;
TrHandle htrJDBC = nullptr;

namespace {

// Ends a file that has had its truncation line, so that a later run does not
// mark it again.
constexpr char gsTruncateMarker[5] = {0x0C, 0x0C, 0x0C, 0x0C, 0x0C};

// Shared by every line; hSerializeGutraceMutex guards them.
char szOutput[65536];
wchar_t wszOutput[65536];
char sUTF8PrintBuf[131072];

class GutraceLock {
 public:
  GutraceLock() { QvWaitForSingleObject(hSerializeGutraceMutex); }
  ~GutraceLock() { QvReleaseMutex(hSerializeGutraceMutex); }
  GutraceLock(const GutraceLock&) = delete;
  GutraceLock& operator=(const GutraceLock&) = delete;
};

FILE* out() { return gTraceCB.out != nullptr ? gTraceCB.out : stderr; }

void closeFile() {
  if (gTraceCB.out != nullptr && gTraceCB.out != stderr && gTraceCB.out != stdout) std::fclose(gTraceCB.out);
  gTraceCB.out = nullptr;
}

void copyBounded(char* dst, size_t size, const char* src) {
  const size_t n = src != nullptr ? strnlen(src, size - 1) : 0;
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// A handle is one of the control block's slots; anything else is refused.
bool isSlot(TrHandle h) {
  const auto p = reinterpret_cast<uintptr_t>(h);
  const auto base = reinterpret_cast<uintptr_t>(&gTraceCB.handles[0]);
  return p >= base && p < base + sizeof gTraceCB.handles && (p - base) % sizeof(TrHandleSlot) == 0;
}

TrHandle resolve(TrHandle h) {
  if (h == nullptr) return gTraceCB.defaultHandle;
  return isSlot(h) ? h : nullptr;
}

// The handle a line goes through, or NULL when it is not to be written.
TrHandle target(TrHandle h, uint64_t level) {
  if (gTraceCB.initialized == 0) return nullptr;
  TrHandle t = resolve(h);
  return t != nullptr && (t->mask & level) != 0 ? t : nullptr;
}

int32_t openOutput() {
  if (gTraceCB.fileName[0] == '\0') {
    closeFile();
    return 1;
  }
  if (gTraceCB.out != nullptr) return 1;
  FILE* f = qvOpenTraceFile(gTraceCB.fileName, "a+");
  if (f == nullptr) return 0;
  std::fseek(f, 0, SEEK_END);
  gTraceCB.out = f;
  return 1;
}

void closeOutput() {
  if (gTraceCB.closeAfterLine != 0) closeFile();
  else std::fflush(out());
}

void writeTruncateMessage() {
  if (giTrTraceTruncationMessage == 0) return;
  FILE* f = out();
  bool marked = false;
  if (f != stderr && f != stdout) {
    char last[sizeof gsTruncateMarker];
    marked = std::fseek(f, -static_cast<long>(sizeof last), SEEK_END) == 0 &&
             std::fread(last, 1, sizeof last, f) == sizeof last &&
             std::memcmp(last, gsTruncateMarker, sizeof last) == 0;
    std::fseek(f, 0, SEEK_END);
  }
  if (!marked) {
    std::fputs(kTraceTruncatedLine, f);
    std::fwrite(gsTruncateMarker, 1, sizeof gsTruncateMarker, f);
  }
  giTrTraceTruncationMessage = 0;
}

bool capReached() {
  if (giTmLogFileMaxSize == 0 || qvTracePosition(out()) < giTmLogFileMaxSize) return false;
  writeTruncateMessage();
  return true;
}

const char* unicodeClass(uint64_t level) {
  return (level & TR_LEVEL_ERROR) != 0 ? "<UNICODE>ERR: " : "<UNICODE>INFO: ";
}

void dumpLocked(TrHandle handle, uint64_t level, const char* title, const void* buffer, int32_t length) {
  TrHandle t = target(handle, level);
  if (t == nullptr) return;
  openOutput();
  if (!capReached()) {
    FILE* f = out();
    if ((gTraceCB.formatFlags & TR_FMT_NAME) != 0) std::fprintf(f, "%s:", t->name);
    if ((gTraceCB.formatFlags & TR_FMT_CLASS) != 0) std::fprintf(f, "%s:", unicodeClass(level));
    if ((level & TR_LEVEL_NO_THREAD) == 0)
      std::fprintf(f, "<UNICODE>[TID: %lX]:", static_cast<unsigned long>(QvGetThreadId()));
    std::fprintf(f, "%s\n", title != nullptr ? title : "");
    if (buffer != nullptr && length > 0) qvWriteHexRows(f, static_cast<const uint8_t*>(buffer), length);
  }
  closeOutput();
}

TrHandle openSlot(const char* name, uint64_t mask) {
  for (TrHandleSlot& s : gTraceCB.handles) {
    if (s.inUse != 0) continue;
    s.inUse = 1;
    copyBounded(s.name, sizeof s.name, name);
    s.mask = mask;
    ++gTraceCB.count;
    return &s;
  }
  return nullptr;
}

// Appends to szOutput at `used`, keeping the count within the buffer.
void appendOutput(size_t* used, int written) {
  if (written > 0) *used += static_cast<size_t>(written);
  if (*used >= sizeof szOutput) *used = sizeof szOutput - 1;
}

}  // namespace

int32_t tr_init(const char* programName, const char* fileName, uint64_t defaultMask, uint64_t formatFlags,
                int32_t closeAfterLine) {
  {
    GutraceLock lock;
    if (gTraceCB.initialized != 0) return 1;
    std::memset(gTraceCB.handles, 0, sizeof gTraceCB.handles);
    gTraceCB.count = 0;
    closeFile();
    copyBounded(gTraceCB.programName, sizeof gTraceCB.programName, programName);
    if (fileName == nullptr || fileName[0] == '\0') {
      gTraceCB.noFile = 1;
      gTraceCB.fileName[0] = '\0';
    } else {
      gTraceCB.noFile = 0;
      // A name cut short would be another file: keep none, and the lines
      // go to standard error.
      if (strnlen(fileName, sizeof gTraceCB.fileName) < sizeof gTraceCB.fileName)
        copyBounded(gTraceCB.fileName, sizeof gTraceCB.fileName, fileName);
      else
        gTraceCB.fileName[0] = '\0';
    }
    gTraceCB.defaultMask = defaultMask;
    gTraceCB.formatFlags = formatFlags;
    gTraceCB.append = 1;
    gTraceCB.closeAfterLine = closeAfterLine;
    gTraceCB.defaultHandle = openSlot("DEFAULT", defaultMask);
    gTraceCB.initialized = 1;
  }
  // Outside the lock: the configuration lookup may trace.
  QvReadLogFileTruncationOption();
  return 1;
}

TrHandle tr_open(const char* name, uint64_t mask) {
  GutraceLock lock;
  if (gTraceCB.initialized == 0) {
    EventLogMessage(0, "tr_open():Error: Trace Module was not initialized");
    return nullptr;
  }
  return openSlot(name, mask);
}

TrHandle tr_def_open(const char* name) {
  GutraceLock lock;
  if (gTraceCB.initialized == 0) {
    EventLogMessage(0, "tr_def_open():Error: Trace Module was not initialized");
    return nullptr;
  }
  return openSlot(name, gTraceCB.defaultMask);
}

void tr_options(TrHandle handle, uint64_t mask) {
  GutraceLock lock;
  if (gTraceCB.initialized == 0) return;
  if (TrHandle t = resolve(handle)) t->mask = mask;
}

void tr_close(TrHandle handle) {
  GutraceLock lock;
  if (gTraceCB.initialized == 0 || handle == nullptr || !isSlot(handle) || handle->inUse == 0) return;
  *handle = TrHandleSlot{};
  --gTraceCB.count;
}

void tr_shutdown() {
  GutraceLock lock;
  if (gTraceCB.initialized != 0) closeFile();
}

void tr_trace(const char* srcFile, int32_t line, TrHandle handle, uint64_t level, const char* format, ...) {
  GutraceLock lock;
  TrHandle t = target(handle, level);
  if (t == nullptr) return;
  size_t used = 0;
  if ((gTraceCB.formatFlags & TR_FMT_NAME) != 0)
    appendOutput(&used, std::snprintf(szOutput + used, sizeof szOutput - used, "%s: ", t->name));
  if ((gTraceCB.formatFlags & TR_FMT_CLASS) != 0)
    appendOutput(&used, std::snprintf(szOutput + used, sizeof szOutput - used, "%s",
                                      (level & TR_LEVEL_ERROR) != 0 ? "ERR:" : "INFO:"));
  appendOutput(&used, std::snprintf(szOutput + used, sizeof szOutput - used, " "));
  if ((level & TR_LEVEL_NO_THREAD) == 0)
    appendOutput(&used, std::snprintf(szOutput + used, sizeof szOutput - used, "[TID: %lX], %s:%d: ",
                                      static_cast<unsigned long>(QvGetThreadId()), qvTraceFileName(srcFile), line));
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(szOutput + used, sizeof szOutput - used, format, args);
    va_end(args);
  }
  if (gTraceCB.noFile != 0) {
    EventLogMessage(0, szOutput);
    return;
  }
  openOutput();
  if (!capReached()) {
    std::fputs(szOutput, out());
    std::fputc('\n', out());
  }
  closeOutput();
}

void tr_tracew(const char* srcFile, int32_t line, TrHandle handle, uint64_t level, const wchar_t* format, ...) {
  GutraceLock lock;
  TrHandle t = target(handle, level);
  if (t == nullptr) return;
  openOutput();
  if (capReached()) {
    closeOutput();
    return;
  }
  FILE* f = out();
  if ((gTraceCB.formatFlags & TR_FMT_NAME) != 0) std::fprintf(f, "%s:", t->name);
  if ((gTraceCB.formatFlags & TR_FMT_CLASS) != 0) std::fprintf(f, "%s:", unicodeClass(level));
  if ((level & TR_LEVEL_NO_THREAD) == 0)
    std::fprintf(f, "<UNICODE>[TID: %lX], %s:%d: ", static_cast<unsigned long>(QvGetThreadId()),
                 srcFile != nullptr ? srcFile : "", line);
  constexpr size_t kWide = sizeof wszOutput / sizeof wszOutput[0];
  wszOutput[0] = L'\0';
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    if (std::vswprintf(wszOutput, kWide, format, args) < 0) wszOutput[kWide - 1] = L'\0';
    va_end(args);
  }
  const size_t len = std::wcslen(wszOutput);
  // The worker, not wcstoutf8: nothing else may be locked or traced here.
  if (unix_wcstoutf8(wszOutput, static_cast<int32_t>(len + 1), sUTF8PrintBuf, sizeof sUTF8PrintBuf) > 0)
    std::fputs(sUTF8PrintBuf, f);
  else
    std::fputs("Error converting the trace message to UTF8\n", f);
  closeOutput();
  if ((t->mask & TR_MASK_HEX_DUMP) != 0)
    dumpLocked(t, level, "<Unicode Trace:Hex>", wszOutput, static_cast<int32_t>(len * sizeof(wchar_t)));
}

void tr_dumpHex(TrHandle handle, uint64_t level, const char* title, const void* buffer, int32_t length) {
  GutraceLock lock;
  dumpLocked(handle, level, title, buffer, length);
}

int64_t tr_fileLength(FILE* stream) {
  if (stream == nullptr) return 0;
  const long here = std::ftell(stream);
  if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(stream);
  std::fseek(stream, here, SEEK_SET);
  return end >= 0 ? end : 0;
}

void EventLogMessage(int32_t, const char* text) {
  std::fputs(text != nullptr ? text : "", stdout);
  std::fputc('\n', stdout);
}
