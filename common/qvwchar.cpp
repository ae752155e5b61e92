#include "common/qvwchar.h"

#include <climits>
#include <cstdlib>
#include <memory>

#include "src/runtime/xm.h"

// Definitions of the exported pointers (C linkage and visibility come from
// their declarations).
int (*gqv_wstrcmp)(const wchar_t*, const wchar_t*) = qvwcscmp;
int (*gqv_wstrncmp)(const wchar_t*, const wchar_t*, size_t) = qvwcsncmp;
int (*gqv_wstricmp)(const wchar_t*, const wchar_t*) = qvwcsicmp;
int (*gqv_wstrnicmp)(const wchar_t*, const wchar_t*, size_t) = qvwcsnicmp;
int (*gqv_wmemcmp)(const wchar_t*, const wchar_t*, size_t) = qvwmemcmp;
int (*gqv_wislower)(wchar_t) = qviswlower;
int (*gqv_wisupper)(wchar_t) = qviswupper;
wchar_t* (*gqv_wstrlwr)(wchar_t*) = qvwcslwr;
wchar_t* (*gqv_wstrupr)(wchar_t*) = qvwcsupr;
wchar_t (*gqv_wtolower)(wchar_t) = qvtowlower;
wchar_t (*gqv_wtoupper)(wchar_t) = qvtowupper;

wchar_t plib_wtolower(wchar_t c) { return gqv_wisupper(c) ? gqv_wtolower(c) : c; }

int plib_wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    const wchar_t ca = plib_wtolower(*a);
    const wchar_t cb = plib_wtolower(*b);
    if (ca != cb) {
      const int64_t d = static_cast<int64_t>(ca) - cb;
      return d > INT_MAX ? INT_MAX : d < INT_MIN ? INT_MIN : static_cast<int>(d);
    }
    if (*a == 0) return 0;
  }
  return 0;
}

const wchar_t* sl_wstristr(const wchar_t* text, const wchar_t* needle) {
  if (text == nullptr || needle == nullptr) return nullptr;
  if (const wchar_t* hit = qvwcsstr(text, needle)) return hit;
  // The needle's copy is sized to the needle, whatever its length.
  std::unique_ptr<wchar_t, decltype(&std::free)> n(qvwcsdup(needle), &std::free);
  if (n == nullptr) return nullptr;
  if (const wchar_t* hit = qvwcsstr(text, gqv_wstrlwr(n.get()))) return hit;
  if (const wchar_t* hit = qvwcsstr(text, gqv_wstrupr(n.get()))) return hit;
  // The text's copy is an item of the thread's root tree.
  const uint64_t bytes = (static_cast<uint64_t>(qvwcslen(text)) + 1) * sizeof(wchar_t);
  if (bytes > UINT32_MAX) return nullptr;
  auto* copy = static_cast<wchar_t*>(_xm_allocItem(nullptr, static_cast<uint32_t>(bytes), 0));
  if (copy == nullptr) return nullptr;
  qvwcscpy(copy, text);
  const wchar_t* hit = qvwcsstr(gqv_wstrupr(copy), n.get());
  const wchar_t* result = hit != nullptr ? text + (hit - copy) : nullptr;
  _xm_freeItem(copy);
  return result;
}
