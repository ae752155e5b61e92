#include "common/charscpy.h"

#include <cstdlib>
#include <cstring>

#include "common/qvunicode.h"
#include "src/runtime/xm.h"

namespace {

// An item of `count` units of T, zero-filled; NULL when the size does not
// fit an item or memory is short.
template <class T>
T* allocUnits(XmTree* tree, uint64_t count) {
  const uint64_t bytes = count * sizeof(T);
  if (count == 0 || bytes / sizeof(T) != count || bytes > UINT32_MAX) return nullptr;
  return static_cast<T*>(_xm_allocItem(tree, static_cast<uint32_t>(bytes), XM_ZERO));
}

}  // namespace

char* ul_charscpy(const char* s, XmTree* tree) {
  if (s == nullptr) return nullptr;
  const size_t n = std::strlen(s);
  char* d = allocUnits<char>(tree, static_cast<uint64_t>(n) + 1);
  if (d != nullptr) std::memcpy(d, s, n);
  return d;
}

char* ul_charncpy(const char* src, int32_t n, XmTree* tree) {
  if (src == nullptr || n < 0) return nullptr;
  char* d = allocUnits<char>(tree, static_cast<uint64_t>(n) + 1);
  if (d != nullptr) std::strncpy(d, src, static_cast<size_t>(n));
  return d;
}

wchar_t* ul_wcharscpy(const wchar_t* s, XmTree* tree) {
  if (s == nullptr) return nullptr;
  const size_t n = std::wcslen(s);
  wchar_t* d = allocUnits<wchar_t>(tree, static_cast<uint64_t>(n) + 1);
  if (d != nullptr) std::wmemcpy(d, s, n);
  return d;
}

wchar_t* ul_wcharncpy(const wchar_t* src, int32_t n, XmTree* tree) {
  if (src == nullptr || n < 0) return nullptr;
  wchar_t* d = allocUnits<wchar_t>(tree, static_cast<uint64_t>(n) + 1);
  if (d != nullptr) std::wcsncpy(d, src, static_cast<size_t>(n));
  return d;
}

wchar_t* ul_mbstowcs(const char* s, XmTree* tree) {
  if (s == nullptr) return nullptr;
  const size_t n = std::strlen(s);
  wchar_t* d = allocUnits<wchar_t>(tree, static_cast<uint64_t>(n) + 1);
  if (d == nullptr) return nullptr;
  qvmbstowcs(d, s, n);  // a conversion error leaves the copy empty
  d[n] = 0;
  return d;
}

wchar_t* ul_mbsntowcs(const char* src, int32_t n, XmTree* tree) {
  if (src == nullptr || n < 0) return nullptr;
  wchar_t* d = allocUnits<wchar_t>(tree, static_cast<uint64_t>(n) + 1);
  if (d == nullptr) return nullptr;
  for (int32_t i = 0; i < n && src[i] != '\0'; ++i) d[i] = static_cast<signed char>(src[i]);
  return d;
}

// The copy gets one unit more than the conversion needs, so that it stays
// terminated when an explicit length leaves the terminator out.
char* ul_dupWcharToUtf8(XmTree* tree, const wchar_t* src, int32_t len) {
  if (src == nullptr) return nullptr;
  const int32_t size = wcstoutf8(src, len, nullptr, 0);
  if (size < 0 || (size == 0 && len != 0)) return nullptr;  // not convertible
  char* d = allocUnits<char>(tree, static_cast<uint64_t>(size) + 1);
  if (d == nullptr || size == 0) return d;
  if (wcstoutf8(src, len, d, size) == 0) {
    _xm_freeItem(d);
    return nullptr;
  }
  return d;
}

wchar_t* ul_dupUtf8ToWchar(XmTree* tree, const char* src, int32_t len) {
  if (src == nullptr) return nullptr;
  const int32_t count = utf8towcs(src, len, nullptr, 0);
  if (count < 0 || (count == 0 && len != 0)) return nullptr;
  wchar_t* d = allocUnits<wchar_t>(tree, static_cast<uint64_t>(count) + 1);
  if (d == nullptr || count == 0) return d;
  // The count bounds the conversion from above; the spare slot lets a
  // sequence cut by the end of the source stop the conversion as it would
  // in any larger buffer, and keeps the terminator.
  if (utf8towcs(src, len, d, count + 1) == 0) {
    _xm_freeItem(d);
    return nullptr;
  }
  return d;
}

int32_t ul_getBufferSizeForwcstombs(XmTree* tree, const wchar_t* src, int32_t len) {
  if (src == nullptr) return -1;
  size_t r;
  if (len == QV_NTS) {
    r = std::wcstombs(nullptr, src, 0);
  } else {
    if (len < 0) return -1;
    wchar_t* tmp = allocUnits<wchar_t>(tree, static_cast<uint64_t>(len) + 1);
    if (tmp == nullptr) return -1;
    std::wmemcpy(tmp, src, static_cast<size_t>(len));
    r = std::wcstombs(nullptr, tmp, 0);
    _xm_freeItem(tmp);
  }
  if (r == static_cast<size_t>(-1) || r > static_cast<size_t>(INT32_MAX)) return -1;
  return static_cast<int32_t>(r);
}
