// Trace manager: modules, trace sites and the lines they write.
#include "src/runtime/tm.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <new>

#include "common/qvclock.h"
#include "common/qvstring.h"
#include "common/qvthread.h"
#include "common/qvunicode.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/tm_output.h"
#include "src/runtime/tracefile.h"
#include "src/runtime/xm.h"

std::atomic<TmModuleCB*>* tmModule = nullptr;
std::atomic<int32_t> tmNumModules{0};
std::atomic<int32_t> tmlocked{0};
TmOutFunc tmOutFunc = nullptr;
int32_t tmbufLen = 0;
XmTree* tmXmTree = nullptr;

namespace {

constexpr const char* kAllocError = "TM: Memory allocation error\n";
constexpr int32_t kMaxModules = 1 << 16;

int32_t initialized = 0;

// The module behind a handle, or NULL; read without the lock.
TmModuleCB* moduleOf(TmHandle handle) {
  if (handle < 0 || handle >= tmNumModules.load(std::memory_order_acquire)) return nullptr;
  if (tmlocked.load(std::memory_order_acquire) != 0 || tmModule == nullptr) return nullptr;
  return tmModule[handle].load(std::memory_order_acquire);
}

// A tree that belongs to no thread's root tree, so that it lives until the
// trace manager releases it whatever happens to the thread that made it.
XmTree* detachedTree() {
  XmTree* t = _xm_allocTree(nullptr);
  if (t != nullptr) _xm_moveItem(xm_user(&t->hdr), nullptr);
  return t;
}

char* copyText(XmTree* tree, const char* text) {
  const size_t len = std::strlen(text);
  if (len >= UINT32_MAX - 64) return nullptr;
  auto* copy = static_cast<char*>(_xm_allocItem(tree, static_cast<uint32_t>(len + 1), 0));
  if (copy != nullptr) std::memcpy(copy, text, len + 1);
  return copy;
}

// The time of a line: ctime's text with the milliseconds before the year,
// "Wed Jun 30 21:49:08.123 1993". ctime's names whatever the locale.
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct TimeNow {
  struct tm t;
  int32_t ms;
  bool ok;
};

TimeNow timeNow() {
  timeval tv{};
  QvTimeOfDay(&tv);
  TimeNow n{};
  const time_t s = tv.tv_sec;
  n.ok = localtime_r(&s, &n.t) != nullptr && n.t.tm_wday >= 0 && n.t.tm_wday < 7 && n.t.tm_mon >= 0 &&
         n.t.tm_mon < 12;
  const long usec = tv.tv_usec;
  n.ms = usec >= 0 && usec < 1000000 ? static_cast<int32_t>(usec / 1000) : 0;
  return n;
}

void lineTimeText(char* out, size_t size) {
  const TimeNow n = timeNow();
  if (!n.ok) {
    out[0] = '\0';
    return;
  }
  std::snprintf(out, size, "%.3s %.3s%3d %.2d:%.2d:%.2d.%03d %d", kDays[n.t.tm_wday], kMonths[n.t.tm_mon],
                n.t.tm_mday, n.t.tm_hour, n.t.tm_min, n.t.tm_sec, static_cast<int>(n.ms), n.t.tm_year + 1900);
}

// The line hook: the line composed into a buffer and handed over.
void hookLine(const TmModuleCB* m, uint32_t bits, const char* shown, int32_t line, const char* format,
              va_list args) {
  XmTree* t = _xm_allocTree(tmXmTree);
  const auto len = static_cast<uint32_t>(tmbufLen);
  char* text = t != nullptr ? static_cast<char*>(_xm_allocItem(t, len, 0)) : nullptr;
  char* stamp = text != nullptr ? static_cast<char*>(_xm_allocItem(t, len, 0)) : nullptr;
  if (stamp == nullptr) {
    _xm_freeTree(t);
    std::fputs(kAllocError, tmOut());
    return;
  }
  const uint32_t flags = m->flags.load(std::memory_order_relaxed);
  int n = 0;
  if ((flags & TM_FLAG_PREFIX) != 0 && (flags & TM_FLAG_POSITION) != 0)
    n = std::snprintf(text, len, "%s %s:%d ", m->prefix, shown, line);
  else if ((flags & TM_FLAG_PREFIX) != 0)
    n = std::snprintf(text, len, "%s ", m->prefix);
  else if ((flags & TM_FLAG_POSITION) != 0)
    n = std::snprintf(text, len, "%s:%d ", shown, line);
  else
    text[0] = '\0';
  if (n < 0) n = 0;
  if (static_cast<uint32_t>(n) >= len) n = static_cast<int>(len - 1);
  if (format != nullptr) std::vsnprintf(text + n, len - static_cast<uint32_t>(n), format, args);
  if ((bits & m->mask.load(std::memory_order_relaxed) & TM_TIMESTAMP) != 0) {
    const TimeNow now = timeNow();
    if (now.ok) {
      std::snprintf(stamp, len, "\tTIMESTAMP=(%d ms) %.3s %.3s%3d %.2d:%.2d:%.2d %d\n", static_cast<int>(now.ms),
                    kDays[now.t.tm_wday], kMonths[now.t.tm_mon], now.t.tm_mday, now.t.tm_hour, now.t.tm_min,
                    now.t.tm_sec, now.t.tm_year + 1900);
      const size_t used = std::strlen(text);
      std::snprintf(text + used, len - used, "%s", stamp);
    }
  }
  tmOutFunc(bits, text);
  _xm_freeTree(t);
}

// Steps shared by the narrow and the wide line up to the message: module
// check, configuration header, output, size cap, prefix and position
// columns. NULL when nothing is to be written.
TmModuleCB* beginLine(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, bool hook) {
  TmModuleCB* m = moduleOf(handle);
  if (m == nullptr || (m->mask.load(std::memory_order_relaxed) & bits) == 0) return nullptr;
  const uint64_t tid = QvGetThreadId();
  tmTraceConfigInfoLocked(bits);
  tmOpenOutput();
  if (tmCapReached()) return nullptr;
  if (hook) return m;
  const uint32_t mask = m->mask.load(std::memory_order_relaxed);
  const uint32_t flags = m->flags.load(std::memory_order_relaxed);
  char when[48] = "";
  if ((mask & TM_TIMESTAMP) != 0 || (bits & (TM_TIMESTAMP | 0xF)) != 0) lineTimeText(when, sizeof when);
  FILE* f = tmOut();
  if ((flags & TM_FLAG_PREFIX) != 0) std::fprintf(f, "%s ", m->prefix);
  if ((flags & TM_FLAG_POSITION) != 0) {
    std::fprintf(f, "[TID: %lX]:[%s] ", static_cast<unsigned long>(tid), when);
    std::fprintf(f, "%s:%d: ", qvTraceFileName(srcFile), line);
  }
  return m;
}

class TmLock {
 public:
  explicit TmLock(bool take = true) : taken_(take) {
    if (taken_) QvWaitForSingleObject(hSerializeTmMutex);
  }
  ~TmLock() {
    if (taken_) QvReleaseMutex(hSerializeTmMutex);
  }
  TmLock(const TmLock&) = delete;
  TmLock& operator=(const TmLock&) = delete;

 private:
  bool taken_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Modules

int32_t tm_init(int32_t numModules) {
  if (initialized != 0) return 1;
  if (numModules < 0 || numModules > kMaxModules) return 0;
  // Outside the lock: the configuration lookup may trace.
  QvReadLogFileTruncationOption();
  TmLock lock;
  if (initialized != 0) return 1;
  tmCloseFile();
  sTmFileName[0] = '\0';
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  tmXmTree = detachedTree();
  void* table = tmXmTree != nullptr
                    ? _xm_allocItem(tmXmTree, static_cast<uint32_t>(numModules * sizeof(std::atomic<TmModuleCB*>)), 0)
                    : nullptr;
  if (table == nullptr) {
    _xm_freeTree(tmXmTree);
    tmXmTree = nullptr;
    std::fputs(kAllocError, tmOut());
    return 0;
  }
  tmModule = static_cast<std::atomic<TmModuleCB*>*>(table);
  for (int32_t i = 0; i < numModules; ++i) new (&tmModule[i]) std::atomic<TmModuleCB*>(nullptr);
  tmNumModules.store(numModules, std::memory_order_release);
  initialized = 1;
  return 1;
}

int32_t tm_shutdown() {
  TmLock lock;
  if (initialized == 0) return 1;
  tmlocked.store(1, std::memory_order_release);
  tmNumModules.store(0, std::memory_order_release);
  _xm_freeTree(tmXmTree);
  tmXmTree = nullptr;
  tmModule = nullptr;
  tmCloseFile();
  tmlocked.store(0, std::memory_order_release);
  initialized = 0;
  return 1;
}

TmHandle tm_open(const char* prefix, const char* optName) {
  if (prefix == nullptr || optName == nullptr) return -1;
  TmLock lock;
  const int32_t n = tmNumModules.load(std::memory_order_relaxed);
  int32_t freeSlot = -1;
  for (int32_t i = 0; i < n; ++i) {
    const TmModuleCB* m = tmModule[i].load(std::memory_order_relaxed);
    if (m == nullptr) {
      freeSlot = i;
    } else if (gqv_strcmp(m->optName, optName) == 0) {
      tmWriteManagerMessage("TM: Duplicate getoptName\n");
      return -1;
    }
  }
  if (freeSlot < 0) {
    tmWriteManagerMessage("TM: All Modules in use\n");
    return -1;
  }
  XmTree* t = _xm_allocTree(tmXmTree);
  void* mem = t != nullptr ? _xm_allocItem(t, sizeof(TmModuleCB), 0) : nullptr;
  TmModuleCB* m = mem != nullptr ? new (mem) TmModuleCB{nullptr, nullptr, {0}, {TM_FLAG_POSITION | TM_FLAG_PREFIX}}
                                 : nullptr;
  if (m != nullptr) {
    m->optName = copyText(t, optName);
    m->prefix = copyText(t, prefix);
  }
  if (m == nullptr || m->optName == nullptr || m->prefix == nullptr) {
    _xm_freeTree(t);
    tmModule[freeSlot].store(nullptr, std::memory_order_release);
    tmWriteManagerMessage(kAllocError);
    return -1;
  }
  tmModule[freeSlot].store(m, std::memory_order_release);
  return freeSlot;
}

void tm_close(TmHandle handle) {
  TmLock lock;
  TmModuleCB* m = moduleOf(handle);
  if (m == nullptr) return;
  tmlocked.store(1, std::memory_order_release);
  tmModule[handle].store(nullptr, std::memory_order_release);
  _xm_freeTree(xm_getParentOfItem(m));
  tmlocked.store(0, std::memory_order_release);
}

int32_t TM_validMod(TmHandle handle) { return moduleOf(handle) != nullptr ? 1 : 0; }

void tm_setMask(TmHandle handle, uint32_t mask) {
  TmLock lock;
  if (TmModuleCB* m = moduleOf(handle)) m->mask.store(mask, std::memory_order_relaxed);
}

TmModuleCB* _tm_setFlags(TmHandle handle, uint32_t flags) {
  TmLock lock;
  TmModuleCB* m = moduleOf(handle);
  if (m != nullptr) m->flags.store(flags, std::memory_order_relaxed);
  return m;
}

int32_t _tm_query(TmHandle handle, uint32_t bits) {
  const TmModuleCB* m = moduleOf(handle);
  return m != nullptr && (m->mask.load(std::memory_order_relaxed) & bits) != 0 ? 1 : 0;
}

int32_t tm_setAsciiLevel(const char* text) {
  if (text == nullptr) return 0;
  const size_t nameLen = std::strcspn(text, "=:,");
  if (text[nameLen] == '\0') return 0;
  const char* value = text + nameLen + 1;
  uint64_t v = 0;
  for (;; ++value) {
    const char c = *value;
    uint64_t digit = 0;
    if (c >= '0' && c <= '9') digit = static_cast<uint64_t>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<uint64_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<uint64_t>(c - 'A' + 10);
    else break;
    v = v * 16 + digit;
    if (v > UINT32_MAX) v = UINT32_MAX + uint64_t{1};  // stays above the range whatever follows
  }
  const uint32_t mask = v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
  TmLock lock;
  const int32_t n = tmNumModules.load(std::memory_order_relaxed);
  for (int32_t i = 0; i < n; ++i) {
    TmModuleCB* m = tmModule[i].load(std::memory_order_relaxed);
    if (m == nullptr || std::strlen(m->optName) != nameLen) continue;
    if (gqv_strncmp(m->optName, text, nameLen) == 0) {
      m->mask.store(mask, std::memory_order_relaxed);
      return 1;
    }
  }
  return 0;
}

int32_t tm_register(int32_t bufLen, TmOutFunc func) {
  if (func == nullptr || bufLen <= 0) return 0;
  TmLock lock;
  tmbufLen = bufLen;
  tmOutFunc = func;
  return 1;
}

const char* _tm_printAddr(const void* value, int32_t bufNum) {
  thread_local char buffers[10][20];
  if (bufNum < 0 || bufNum > 9) return "TM: invalid buffer number";
  std::snprintf(buffers[bufNum], sizeof buffers[bufNum], "%p", value);
  return buffers[bufNum];
}

// ---------------------------------------------------------------------------
// Lines

void _tm_trace(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* format,
               va_list args) {
  const bool hook = tmOutFunc != nullptr;
  TmModuleCB* m = beginLine(handle, bits, srcFile, line, hook);
  if (m == nullptr) return;
  if (hook) hookLine(m, bits, qvTraceFileName(srcFile), line, format, args);
  else if (format != nullptr) std::vfprintf(tmOut(), format, args);
  tmCloseOutput();
}

void _tm_tracew(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const wchar_t* format,
                va_list args) {
  // Shared by every line; the trace mutex guards them.
  static wchar_t wide[4096];
  static char utf8[8192];
  TmModuleCB* m = beginLine(handle, bits, srcFile, line, false);
  if (m == nullptr) return;
  wide[0] = L'\0';
  if (format != nullptr && std::vswprintf(wide, sizeof wide / sizeof wide[0], format, args) < 0)
    wide[sizeof wide / sizeof wide[0] - 1] = L'\0';
  const size_t len = std::wcslen(wide);
  // The worker, not wcstoutf8: a failed conversion must not trace from here.
  if (unix_wcstoutf8(wide, static_cast<int32_t>(len + 1), utf8, sizeof utf8) > 0) std::fputs(utf8, tmOut());
  if ((m->mask.load(std::memory_order_relaxed) & TM_UNICODE_HEX) != 0)
    _tm_dumpHex(handle, bits, "<Unicode Trace:Hex>", wide, static_cast<int32_t>(len * sizeof(wchar_t)), srcFile,
                line, 0);
  tmCloseOutput();
}

void _tm_dumpHex(TmHandle handle, uint32_t bits, const char* title, const void* buffer, int32_t length,
                 const char* srcFile, int32_t line, int32_t takeLock) {
  if (!tm_siteOn(handle, bits & ~TM_TIMESTAMP)) return;
  TmLock lock(takeLock != 0);
  const TmModuleCB* m = moduleOf(handle);
  if (m == nullptr || (m->mask.load(std::memory_order_relaxed) & bits & ~TM_TIMESTAMP) == 0) return;
  tmOpenOutput();
  if (tmCapReached()) return;
  FILE* f = tmOut();
  const uint32_t flags = m->flags.load(std::memory_order_relaxed);
  if ((flags & TM_FLAG_PREFIX) != 0) std::fprintf(f, "%s ", m->prefix);
  if ((flags & TM_FLAG_POSITION) != 0) std::fprintf(f, "%s:%d ", srcFile != nullptr ? srcFile : "", line);
  std::fprintf(f, "%s\n", title != nullptr ? title : "");
  if (buffer != nullptr && length > 0) qvWriteHexRows(f, static_cast<const uint8_t*>(buffer), length);
  tmCloseOutput();
}

// ---------------------------------------------------------------------------
// Trace sites

int32_t tm_siteOn(TmHandle handle, uint32_t bits) {
  const TmModuleCB* m = moduleOf(handle);
  return m != nullptr && (m->mask.load(std::memory_order_relaxed) & bits) != 0 ? 1 : 0;
}

void tm_traceSite(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* format, ...) {
  TmLock lock;
  va_list args;
  va_start(args, format);
  _tm_trace(handle, bits, srcFile, line, format, args);
  va_end(args);
}

void tm_traceSiteW(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const wchar_t* format, ...) {
  TmLock lock;
  va_list args;
  va_start(args, format);
  _tm_tracew(handle, bits, srcFile, line, format, args);
  va_end(args);
}
