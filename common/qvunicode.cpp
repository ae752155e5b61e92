#include "common/qvunicode.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>

#include "src/runtime/tm.h"

namespace {

// Continuation bytes that follow a lead byte, indexed by lead byte - 0x80.
// 0x80-0xBF (stray continuation bytes), 0xFE and 0xFF start no sequence.
constexpr auto makeLengthTable() {
  struct Table {
    uint8_t v[128];
  } t{};
  for (int b = 0x80; b <= 0xFF; ++b) {
    uint8_t n = 0;
    if (b >= 0xC0 && b <= 0xDF) n = 1;
    else if (b >= 0xE0 && b <= 0xEF) n = 2;
    else if (b >= 0xF0 && b <= 0xF7) n = 3;
    else if (b >= 0xF8 && b <= 0xFB) n = 4;
    else if (b >= 0xFC && b <= 0xFD) n = 5;
    t.v[b - 0x80] = n;
  }
  return t;
}
constexpr auto utf8_length_array = makeLengthTable();
// Payload bits of the lead byte, by continuation count.
constexpr uint32_t utf8_mask_array[6] = {0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
// Smallest value a sequence of that length may carry; less is overlong.
constexpr uint32_t utf8_minval_array[6] = {0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

// Stored for a byte that starts no sequence; it takes one character.
constexpr wchar_t kReplacementChar = 0xFFFD;
constexpr wchar_t kMaxCodePoint = 0x10FFFF;

constexpr const char* kSrcFile = "common/qvunicode";

bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The C library's wide class and case tables are meant for characters; a
// value outside the code space (a negative one in particular) is left as it
// is rather than handed to them.
bool inCodeSpace(wchar_t c) { return c >= 0 && c <= kMaxCodePoint; }

int clampDiff(int64_t d) {
  if (d > INT_MAX) return INT_MAX;
  if (d < INT_MIN) return INT_MIN;
  return static_cast<int>(d);
}

// strlen / wcslen + 1 for the NUL-terminated convention; -1 when it does
// not fit the length type.
template <class Ch>
int32_t terminatedLength(const Ch* s) {
  size_t n = 0;
  while (s[n] != 0) {
    if (n >= static_cast<size_t>(INT32_MAX) - 1) return -1;
    ++n;
  }
  return static_cast<int32_t>(n + 1);
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using WideBuffer = std::unique_ptr<wchar_t, FreeDeleter>;

}  // namespace

// ---- Wrappers ----

wchar_t* qvwcscpy(wchar_t* dst, const wchar_t* src) { return std::wcscpy(dst, src); }
wchar_t* qvwcsncpy(wchar_t* dst, const wchar_t* src, size_t n) { return std::wcsncpy(dst, src, n); }
wchar_t* qvwcscat(wchar_t* dst, const wchar_t* src) { return std::wcscat(dst, src); }
wchar_t* qvwcsncat(wchar_t* dst, const wchar_t* src, size_t n) { return std::wcsncat(dst, src, n); }

wchar_t* qvwcsdup(const wchar_t* s) {
  if (s == nullptr) return nullptr;
  const size_t n = std::wcslen(s);
  auto* d = static_cast<wchar_t*>(std::calloc(n + 1, sizeof(wchar_t)));
  if (d == nullptr) return nullptr;
  std::wmemcpy(d, s, n);
  return d;
}

wchar_t* QvAllocateWstr(int64_t chars) {
  if (chars < 0 || static_cast<uint64_t>(chars) > SIZE_MAX / sizeof(wchar_t)) return nullptr;
  return static_cast<wchar_t*>(std::calloc(chars > 0 ? static_cast<size_t>(chars) : 1, sizeof(wchar_t)));
}

void QvReleaseWstr(wchar_t* s) { std::free(s); }

int qvwcscmp(const wchar_t* a, const wchar_t* b) { return std::wcscoll(a, b); }
int qvwcsncmp(const wchar_t* a, const wchar_t* b, size_t n) { return std::wcsncmp(a, b, n); }

int qvwcsnicmp(const wchar_t* a, const wchar_t* b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    const wchar_t ca = qvtowlower(*a);
    const wchar_t cb = qvtowlower(*b);
    if (ca != cb || *a == 0) return clampDiff(static_cast<int64_t>(ca) - cb);
  }
  return 0;
}

int qvwcsicmp(const wchar_t* a, const wchar_t* b) { return qvwcsnicmp(a, b, SIZE_MAX); }

wchar_t* qvwcschr(const wchar_t* s, wchar_t c) { return const_cast<wchar_t*>(std::wcschr(s, c)); }
wchar_t* qvwcsrchr(const wchar_t* s, wchar_t c) { return const_cast<wchar_t*>(std::wcsrchr(s, c)); }
size_t qvwcscspn(const wchar_t* s, const wchar_t* reject) { return std::wcscspn(s, reject); }
wchar_t* qvwcspbrk(const wchar_t* s, const wchar_t* accept) { return const_cast<wchar_t*>(std::wcspbrk(s, accept)); }
size_t qvwcsspn(const wchar_t* s, const wchar_t* accept) { return std::wcsspn(s, accept); }
wchar_t* qvwcsstr(const wchar_t* haystack, const wchar_t* needle) {
  return const_cast<wchar_t*>(std::wcsstr(haystack, needle));
}
wchar_t* qvwcstok(wchar_t* s, const wchar_t* delim, wchar_t** state) { return std::wcstok(s, delim, state); }

wchar_t qvtowlower(wchar_t c) { return inCodeSpace(c) ? static_cast<wchar_t>(std::towlower(c)) : c; }
wchar_t qvtowupper(wchar_t c) { return inCodeSpace(c) ? static_cast<wchar_t>(std::towupper(c)) : c; }

wchar_t* qvwcslwr(wchar_t* s) {
  if (s != nullptr)
    for (wchar_t* p = s; *p != 0; ++p) *p = qvtowlower(*p);
  return s;
}

wchar_t* qvwcsupr(wchar_t* s) {
  if (s != nullptr)
    for (wchar_t* p = s; *p != 0; ++p) *p = qvtowupper(*p);
  return s;
}

wchar_t* qvwmemcpy(wchar_t* dst, const wchar_t* src, size_t n) { return std::wmemcpy(dst, src, n); }
wchar_t* qvwmemmove(wchar_t* dst, const wchar_t* src, size_t n) { return std::wmemmove(dst, src, n); }

wchar_t* qvwmemset(wchar_t* dst, wchar_t c, int32_t n) {
  for (int32_t i = 0; i < n; ++i) dst[i] = c;
  return dst;
}

int qvwmemcmp(const wchar_t* a, const wchar_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int32_t ca = a[i];
    const int32_t cb = b[i];
    if (ca != cb) return ca > cb ? 1 : -1;
  }
  return 0;
}

double qvwcstod(const wchar_t* s, wchar_t** end) { return std::wcstod(s, end); }
long qvwcstol(const wchar_t* s, wchar_t** end, int base) { return std::wcstol(s, end, base); }
unsigned long qvwcstoul(const wchar_t* s, wchar_t** end, int base) { return std::wcstoul(s, end, base); }
size_t qvwcsftime(wchar_t*, size_t, const wchar_t*, const struct tm*) { return 0; }

int qviswalnum(wchar_t c) { return inCodeSpace(c) ? std::iswalnum(c) : 0; }
int qviswalpha(wchar_t c) { return inCodeSpace(c) ? std::iswalpha(c) : 0; }
int qviswdigit(wchar_t c) { return inCodeSpace(c) ? std::iswdigit(c) : 0; }
int qviswlower(wchar_t c) { return inCodeSpace(c) ? std::iswlower(c) : 0; }
int qviswupper(wchar_t c) { return inCodeSpace(c) ? std::iswupper(c) : 0; }
int qviswpunct(wchar_t c) { return inCodeSpace(c) ? std::iswpunct(c) : 0; }
int qviswspace(wchar_t c) { return inCodeSpace(c) ? std::iswspace(c) : 0; }
int qviswascii(wchar_t c) { return static_cast<int32_t>(c) < 128 ? 1 : 0; }

size_t qvwcslen(const wchar_t* s) { return std::wcslen(s); }
char* qvsetlocale(int category, const char* locale) { return std::setlocale(category, locale); }
size_t qvmbstrlen(const char* s) { return std::strlen(s); }

// ---- Locale conversions ----

size_t qvmbstowcs(wchar_t* dst, const char* src, size_t n) {
  if (src == nullptr) return static_cast<size_t>(-1);
  const size_t r = std::mbstowcs(dst, src, n);
  if (r == static_cast<size_t>(-1) && dst != nullptr && n > 0) dst[0] = 0;
  return r;
}

size_t qvmbstowcs_l(wchar_t* dst, size_t n, const char* src, int32_t srcBytes, char* scratch) {
  if (scratch == nullptr) return 0;
  if (src == nullptr || srcBytes < 0) return static_cast<size_t>(-1);
  std::memcpy(scratch, src, static_cast<size_t>(srcBytes));
  scratch[srcBytes] = '\0';
  return std::mbstowcs(dst, scratch, n);
}

size_t qvwcstombs(char* dst, const wchar_t* src, size_t n) {
  if (dst != nullptr && n != 0) dst[0] = '\0';
  if (src == nullptr) return static_cast<size_t>(-1);
  return std::wcstombs(dst, src, n);
}

size_t _qvmbstowcs(wchar_t* dst, const char* src, size_t n) {
  const size_t r = qvmbstowcs(dst, src, n);
  if (dst != nullptr && r != static_cast<size_t>(-1)) dst[r] = 0;
  return r;
}

size_t _qvwcstombs(char* dst, const wchar_t* src, size_t n) {
  const size_t r = qvwcstombs(dst, src, n);
  if (dst != nullptr && r != static_cast<size_t>(-1)) dst[r] = '\0';
  return r;
}

int32_t qvWideCharToMultipByteFixUp(const wchar_t* src, int32_t, char* dst, int32_t dstLen) {
  if (dstLen == 0) return -1;
  if (dst == nullptr || dstLen < 0) return -1;
  dst[0] = '\0';
  const size_t r = qvwcstombs(dst, src, static_cast<size_t>(dstLen));
  return r == static_cast<size_t>(-1) ? -1 : static_cast<int32_t>(r);
}

int32_t qvGetBufLenForWideCharToMultiByteFixup(const wchar_t* src, int32_t len) {
  if (src == nullptr) return -1;
  size_t r;
  if (len == QV_NTS) {
    r = std::wcstombs(nullptr, src, 0);
    if (r == static_cast<size_t>(-1)) return -1;
    ++r;  // the terminator
  } else {
    if (len < 0) return -1;
    WideBuffer tmp(static_cast<wchar_t*>(std::calloc(static_cast<size_t>(len) + 1, sizeof(wchar_t))));
    if (tmp == nullptr) return -1;
    std::wmemcpy(tmp.get(), src, static_cast<size_t>(len));
    r = std::wcstombs(nullptr, tmp.get(), 0);
    if (r == static_cast<size_t>(-1)) return -1;
  }
  return r > static_cast<size_t>(INT32_MAX) ? -1 : static_cast<int32_t>(r);
}

// ---- Unicode conversions ----

int32_t unix_utf8towcslen(const char* src, int32_t srcLen) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  int32_t count = 0;
  int32_t i = 0;
  while (i < srcLen) {
    const uint8_t b = s[i];
    const int n = b < 0xC0 ? 0 : utf8_length_array.v[b - 0x80];
    if (n == 0) {  // ASCII, a stray continuation byte, 0xFE or 0xFF
      ++count;
      ++i;
      continue;
    }
    int k = 1;
    while (k <= n && i + k < srcLen && isContinuation(s[i + k])) ++k;
    if (k <= n && i + k >= srcLen) break;  // cut by the end: not counted
    ++count;  // complete, or ended early by a byte that starts anew
    i += k;
  }
  return count;
}

int32_t unix_utf8towcs(const char* src, int32_t srcLen, wchar_t* dst, int32_t dstLen) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  int32_t i = 0;
  int32_t out = 0;
  while (i < srcLen && out < dstLen) {
    const uint8_t b = s[i];
    if (b < 0x80) {
      dst[out++] = b;
      ++i;
      continue;
    }
    const int n = utf8_length_array.v[b - 0x80];
    if (n == 0) {
      dst[out++] = kReplacementChar;
      ++i;
      continue;
    }
    uint32_t value = b & utf8_mask_array[n];
    for (int k = 1; k <= n; ++k) {
      if (i + k >= srcLen) return out;  // the source ends inside the sequence
      if (!isContinuation(s[i + k])) return 0;
      value = (value << 6) | (s[i + k] & 0x3F);
    }
    if (value < utf8_minval_array[n] || value > static_cast<uint32_t>(kMaxCodePoint)) return 0;
    dst[out++] = static_cast<wchar_t>(value);
    i += n + 1;
  }
  return i < srcLen ? 0 : out;  // the destination filled before the source ended
}

namespace {

// UTF-8 bytes of one character; 0 when it has no UTF-8 form.
int utf8Width(wchar_t c) {
  if (c < 0 || c > kMaxCodePoint) return 0;
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return 3;
  return 4;
}

}  // namespace

int32_t unix_wcstoutf8len(const wchar_t* src, int32_t srcLen) {
  int64_t total = 0;
  for (int32_t i = 0; i < srcLen; ++i) {
    const int w = utf8Width(src[i]);
    if (w == 0) return 0;
    total += w;
    if (total > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(total);
}

int32_t unix_wcstoutf8(const wchar_t* src, int32_t srcLen, char* dst, int32_t dstLen) {
  auto* d = reinterpret_cast<uint8_t*>(dst);
  int32_t out = 0;
  for (int32_t i = 0; i < srcLen; ++i) {
    const wchar_t c = src[i];
    const int w = utf8Width(c);
    if (w == 0 || dstLen - out < w) return 0;
    const auto u = static_cast<uint32_t>(c);
    switch (w) {
      case 1:
        d[out] = static_cast<uint8_t>(u);
        break;
      case 2:
        d[out] = static_cast<uint8_t>(0xC0 | (u >> 6));
        d[out + 1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        break;
      case 3:
        d[out] = static_cast<uint8_t>(0xE0 | (u >> 12));
        d[out + 1] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
        d[out + 2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        break;
      default:
        d[out] = static_cast<uint8_t>(0xF0 | (u >> 18));
        d[out + 1] = static_cast<uint8_t>(0x80 | ((u >> 12) & 0x3F));
        d[out + 2] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
        d[out + 3] = static_cast<uint8_t>(0x80 | (u & 0x3F));
        break;
    }
    out += w;
  }
  return out;
}

int32_t utf8towcs(const char* src, int32_t srcLen, wchar_t* dst, int32_t dstLen) {
  int32_t len = srcLen;
  if (src != nullptr && (len == QV_NTS || len == -1)) len = terminatedLength(src);
  int32_t result = 0;
  if (src != nullptr && len >= 0 && dstLen >= 0) {
    result = (dst == nullptr || dstLen == 0) ? unix_utf8towcslen(src, len) : unix_utf8towcs(src, len, dst, dstLen);
  }
  if (result == 0 && len != 0) {
    TM_TRACE(1, 64, kSrcFile, "utf8towcs conversion failed.\n");
    TM_TRACE(1, 64, kSrcFile,
             "utf8towcs called with szSqlStr = %p ,cbMultiByte= %d ,wszSqlStr = %p ,cchWideChar = %d)\n",
             static_cast<const void*>(src), srcLen, static_cast<void*>(dst), dstLen);
  }
  return result;
}

int32_t wcstoutf8(const wchar_t* src, int32_t srcLen, char* dst, int32_t dstLen) {
  int32_t len = srcLen;
  if (src != nullptr && (len == QV_NTS || len == -1)) len = terminatedLength(src);
  int32_t result = 0;
  if (src != nullptr && len >= 0 && dstLen >= 0) {
    result = (dst == nullptr || dstLen == 0) ? unix_wcstoutf8len(src, len) : unix_wcstoutf8(src, len, dst, dstLen);
  }
  if (result == 0 && len != 0) {
    TM_TRACE(1, 64, kSrcFile, "wcstoutf8 conversion failed.\n");
    TM_TRACE(1, 64, kSrcFile,
             "wcstoutf8 called with wszSqlStr = %p, cchWideChar = %d, szSqlStr = %p , cbMultiByte = %d\n",
             static_cast<const void*>(src), srcLen, static_cast<void*>(dst), dstLen);
  }
  return result;
}

int32_t utf16towcs(const uint16_t* src, int32_t srcLen, wchar_t* dst, int32_t dstLen) {
  if (src == nullptr || dstLen < 0) return 0;
  const int32_t len = srcLen == QV_NTS ? terminatedLength(src) : srcLen;
  if (len < 0) return 0;
  const bool sizing = dst == nullptr || dstLen == 0;
  int32_t out = 0;
  for (int32_t i = 0; i < len; ++out) {
    uint32_t c = src[i++];
    // A high surrogate followed by a low one is one character; a surrogate
    // without its partner stays a character of its own.
    if (c >= 0xD800 && c <= 0xDBFF && i < len && src[i] >= 0xDC00 && src[i] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i++] - 0xDC00u);
    if (sizing) continue;
    if (out == dstLen) return 0;  // the source does not fit
    dst[out] = static_cast<wchar_t>(c);
  }
  return out;
}

int32_t wcstoutf16(const wchar_t* src, int32_t srcLen, uint16_t* dst, int32_t dstLen) {
  if (src == nullptr || dstLen < 0) return 0;
  const int32_t len = srcLen == QV_NTS ? terminatedLength(src) : srcLen;
  if (len < 0) return 0;
  const bool sizing = dst == nullptr || dstLen == 0;
  int64_t out = 0;
  for (int32_t i = 0; i < len; ++i) {
    const wchar_t c = src[i];
    if (!inCodeSpace(c)) return 0;
    const int w = c > 0xFFFF ? 2 : 1;
    if (sizing) {
      out += w;
      continue;
    }
    if (dstLen - out < w) return 0;
    if (w == 1) {
      dst[out++] = static_cast<uint16_t>(c);
    } else {
      const uint32_t v = static_cast<uint32_t>(c) - 0x10000;
      dst[out++] = static_cast<uint16_t>(0xD800 | (v >> 10));
      dst[out++] = static_cast<uint16_t>(0xDC00 | (v & 0x3FF));
    }
  }
  return out > INT32_MAX ? 0 : static_cast<int32_t>(out);
}

// ---- Case-insensitive search ----

wchar_t* qvwcsistr(const wchar_t* haystack, const wchar_t* needle) {
  if (haystack == nullptr || needle == nullptr) return nullptr;
  if (wchar_t* hit = qvwcsstr(haystack, needle)) return hit;
  // The needle's copy is sized to the needle, whatever its length.
  WideBuffer n(qvwcsdup(needle));
  if (n == nullptr) return nullptr;
  if (wchar_t* hit = qvwcsstr(haystack, qvwcslwr(n.get()))) return hit;
  if (wchar_t* hit = qvwcsstr(haystack, qvwcsupr(n.get()))) return hit;
  WideBuffer copy(qvwcsdup(haystack));
  if (copy == nullptr) return nullptr;
  const wchar_t* hit = qvwcsstr(qvwcsupr(copy.get()), n.get());
  return hit != nullptr ? const_cast<wchar_t*>(haystack) + (hit - copy.get()) : nullptr;
}
