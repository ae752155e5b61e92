#include "src/odbc/odbcwide.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/qvunicode.h"
#include "src/runtime/gutrace.h"

namespace {

constexpr const char* kSrc = "src/odbcwide";

// 0 = not looked yet.
std::atomic<int32_t> gWideUnit{0};

// Finds a loaded libodbc.so* that has uodbc_get_stats. The driver manager
// may have been loaded RTLD_LOCAL (python3-pyodbc does), so a global lookup
// would miss it: each loaded object is opened by name without loading.
int findUnixOdbc(dl_phdr_info* info, size_t, void* data) {
  const char* name = info->dlpi_name;
  if (name == nullptr || name[0] == '\0') return 0;
  const char* slash = std::strrchr(name, '/');
  const char* base = slash != nullptr ? slash + 1 : name;
  if (std::strncmp(base, "libodbc.so", 10) != 0) return 0;
  void* h = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
  if (h == nullptr) return 0;
  const bool has = dlsym(h, "uodbc_get_stats") != nullptr;
  dlclose(h);
  if (!has) return 0;
  *static_cast<bool*>(data) = true;
  return 1;
}

bool terminated(int64_t len) { return len == -3; }

template <class Ch>
int64_t measure(const Ch* s) {
  int64_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

void QvDetectWideUnit() {
  if (gWideUnit.load(std::memory_order_acquire) != 0) return;
  bool utf16 = false;
  dl_iterate_phdr(findUnixOdbc, &utf16);
  int32_t expected = 0;
  if (gWideUnit.compare_exchange_strong(expected, utf16 ? 2 : 4, std::memory_order_acq_rel)) {
    if (utf16)
      TR_TRACE(kSrc, htrODBC, 16, "Wide characters at the ODBC interface: UTF-16 (unixODBC driver manager)");
    else
      TR_TRACE(kSrc, htrODBC, 16, "Wide characters at the ODBC interface: 4-byte wchar_t");
  }
}

int32_t QvWideUnitSize() {
  const int32_t u = gWideUnit.load(std::memory_order_acquire);
  return u == 2 ? 2 : 4;
}

void QvSetWideUnitForTest(int32_t unit) { gWideUnit.store(unit == 2 || unit == 4 ? unit : 0, std::memory_order_release); }

// ---------------------------------------------------------------------------

int32_t QvWidenText(const char* src, int64_t len, wchar_t* dst, int32_t dstChars) {
  if (dst == nullptr || dstChars <= 0) return 0;
  if (src == nullptr) {
    dst[0] = L'\0';
    return 0;
  }
  const int64_t n = terminated(len) || len < 0 ? static_cast<int64_t>(std::strlen(src)) : len;
  std::mbstate_t state{};
  int64_t i = 0;
  int32_t out = 0;
  while (i < n && out < dstChars - 1) {
    wchar_t c = 0;
    const size_t r = std::mbrtowc(&c, src + i, static_cast<size_t>(n - i), &state);
    if (r == 0) break;  // an embedded NUL ends the text
    if (r == static_cast<size_t>(-1) || r == static_cast<size_t>(-2)) {
      c = static_cast<wchar_t>(static_cast<unsigned char>(src[i]));
      state = std::mbstate_t{};
      i += 1;
    } else {
      i += static_cast<int64_t>(r);
    }
    dst[out++] = c;
  }
  dst[out] = L'\0';
  return out;
}

namespace {

// The bytes of one character; 0 when it has none (it is then dropped).
size_t narrowOne(wchar_t c, char* buf) {
  std::mbstate_t state{};
  const size_t r = std::wcrtomb(buf, c, &state);
  if (r != static_cast<size_t>(-1)) return r;
  buf[0] = c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?';
  return 1;
}

}  // namespace

int32_t QvNarrowText(const wchar_t* src, int64_t len, char* dst, int32_t dstBytes) {
  if (dst == nullptr || dstBytes <= 0) return 0;
  int32_t out = 0;
  if (src != nullptr) {
    const int64_t n = terminated(len) || len < 0 ? measure(src) : len;
    char buf[MB_LEN_MAX];
    for (int64_t i = 0; i < n && src[i] != L'\0'; ++i) {
      const size_t r = narrowOne(src[i], buf);
      if (static_cast<int64_t>(out) + static_cast<int64_t>(r) > dstBytes - 1) break;
      std::memcpy(dst + out, buf, r);
      out += static_cast<int32_t>(r);
    }
  }
  dst[out] = '\0';
  return out;
}

int64_t QvNarrowLength(const wchar_t* src, int64_t len) {
  if (src == nullptr) return 0;
  const int64_t n = terminated(len) || len < 0 ? measure(src) : len;
  int64_t total = 0;
  char buf[MB_LEN_MAX];
  for (int64_t i = 0; i < n && src[i] != L'\0'; ++i) total += static_cast<int64_t>(narrowOne(src[i], buf));
  return total;
}

void QvToUtf8(const wchar_t* src, char* dst, int32_t dstBytes) {
  if (dst == nullptr || dstBytes <= 0) return;
  int32_t out = 0;
  if (src != nullptr) {
    for (const wchar_t* p = src; *p != L'\0'; ++p) {
      char buf[4];
      const int32_t r = unix_wcstoutf8(p, 1, buf, sizeof buf);
      if (r <= 0) continue;
      if (out + r > dstBytes - 1) break;
      std::memcpy(dst + out, buf, static_cast<size_t>(r));
      out += r;
    }
  }
  dst[out] = '\0';
}

wchar_t* QvMbsToWcs(const char* text, int64_t length) {
  if (text == nullptr) return QvAllocateWstr(1);
  const int64_t n = terminated(length) || length < 0 ? static_cast<int64_t>(std::strlen(text)) : length;
  if (n >= INT32_MAX) return nullptr;
  wchar_t* w = QvAllocateWstr(n + 1);
  if (w == nullptr) return nullptr;
  QvWidenText(text, n, w, static_cast<int32_t>(n + 1));
  return w;
}

char* QvWcsToMbs(const wchar_t* text, int64_t length) {
  if (text == nullptr) return nullptr;
  const int64_t bytes = QvNarrowLength(text, length);
  if (bytes >= INT32_MAX) return nullptr;
  auto* s = static_cast<char*>(std::malloc(static_cast<size_t>(bytes) + 1));
  if (s == nullptr) return nullptr;
  QvNarrowText(text, length, s, static_cast<int32_t>(bytes + 1));
  return s;
}

char* QvSQLCnvrtWideCharToMultiBytes(const wchar_t* wide, int64_t wideLength, char* out, int64_t outSize,
                                     int32_t* spill) {
  if (spill != nullptr) *spill = 0;
  if (out != nullptr && outSize > 0) out[0] = '\0';
  if (wide == nullptr) return nullptr;
  if (wideLength == 65533) wideLength = -3;  // -3 as a 16-bit length
  const int64_t needed = QvNarrowLength(wide, wideLength);
  if (needed < outSize || spill == nullptr) {
    if (out != nullptr && outSize > 0)
      QvNarrowText(wide, wideLength, out, static_cast<int32_t>(outSize > INT32_MAX ? INT32_MAX : outSize));
    return out;
  }
  char* whole = QvWcsToMbs(wide, wideLength);
  if (whole == nullptr) return out;
  *spill = 1;
  return whole;
}

void QvSQLCnvrtMultiBytesToWideChar(wchar_t* out, int64_t outSize, const char* text, int64_t length) {
  if (out == nullptr || text == nullptr || outSize <= 0) return;
  QvWidenText(text, length, out, static_cast<int32_t>(outSize > INT32_MAX ? INT32_MAX : outSize));
}

// ---------------------------------------------------------------------------

WideIn::WideIn(const void* text, int64_t length) {
  if (!QvWideIsUtf16() || text == nullptr) {
    text_ = static_cast<wchar_t*>(const_cast<void*>(text));
    length_ = length;
    return;
  }
  const auto* units = static_cast<const uint16_t*>(text);
  int64_t n = 0;
  if (length == -3) n = measure(units);
  else if (length > 0) n = length;
  if (n >= INT32_MAX) {
    failed_ = true;
    return;
  }
  // A character takes at least one unit: n + 1 characters always suffice.
  text_ = QvAllocateWstr(n + 1);
  if (text_ == nullptr) {
    failed_ = true;
    return;
  }
  owned_ = true;
  const int32_t chars = n > 0 ? utf16towcs(units, static_cast<int32_t>(n), text_, static_cast<int32_t>(n + 1)) : 0;
  text_[chars] = L'\0';
  length_ = length == -3 ? -3 : length < 0 ? length : chars;
}

WideIn::~WideIn() {
  if (owned_) QvReleaseWstr(text_);
}

namespace {

template <class Unit>
WideOut putUnits(const wchar_t* text, int64_t chars, Unit* dst, int64_t dstUnits) {
  const int64_t n = text == nullptr ? 0 : chars < 0 ? measure(text) : chars;
  int64_t total = 0;
  int64_t written = 0;
  bool full = false;
  for (int64_t i = 0; i < n; ++i) {
    const wchar_t c = text[i];
    const int64_t w = sizeof(Unit) == 2 && c > 0xFFFF && c <= 0x10FFFF ? 2 : 1;
    total += w;
    if (dst == nullptr || full) continue;
    if (written + w > dstUnits - 1) {
      full = true;
      continue;
    }
    if (w == 2) {
      const uint32_t v = static_cast<uint32_t>(c) - 0x10000;
      dst[written++] = static_cast<Unit>(0xD800 | (v >> 10));
      dst[written++] = static_cast<Unit>(0xDC00 | (v & 0x3FF));
    } else {
      dst[written++] = static_cast<Unit>(c);
    }
  }
  if (dst != nullptr && dstUnits > 0) dst[written] = 0;
  return WideOut{total, dst != nullptr && total + 1 > dstUnits};
}

}  // namespace

WideOut QvPutAppWide(const wchar_t* text, int64_t chars, void* dst, int64_t dstUnits) {
  if (QvWideIsUtf16()) return putUnits(text, chars, static_cast<uint16_t*>(dst), dstUnits);
  return putUnits(text, chars, static_cast<wchar_t*>(dst), dstUnits);
}

WideOut QvPutWide(const wchar_t* text, int64_t chars, wchar_t* dst, int64_t dstChars) {
  return putUnits(text, chars, dst, dstChars);
}
