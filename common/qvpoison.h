// Marking memory that is kept for reuse, but must not be touched meanwhile,
// as unaddressable under AddressSanitizer; nothing in other builds.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QV_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_POISON 1
#endif
#endif

#ifdef QV_POISON
#include <sanitizer/asan_interface.h>
#endif

inline void qvPoison(const void* at, size_t n) {
#ifdef QV_POISON
  ASAN_POISON_MEMORY_REGION(at, n);
#else
  (void)at;
  (void)n;
#endif
}

inline void qvUnpoison(const void* at, size_t n) {
#ifdef QV_POISON
  ASAN_UNPOISON_MEMORY_REGION(at, n);
#else
  (void)at;
  (void)n;
#endif
}
