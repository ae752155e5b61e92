// Trace manager: numbered modules, each with a mask of trace classes; a trace
// site writes one line when its module's mask has one of the site's bits.
//
// Minimal version: the sites and their interface are final, the manager
// behind them has no modules yet, so every site is off and writes nothing.
#pragma once

#include <cstdint>

using TmHandle = int32_t;  // index of a module; -1 = not registered

extern int32_t tmNumModules;
extern int32_t giTmLogFileMaxSize;  // bytes; 0 = no cap

// 1 when `handle` names a registered module whose mask has one of `bits`.
int32_t tm_siteOn(TmHandle handle, uint32_t bits);

// Writes one line for a site that tm_siteOn let through. `srcFile` is the
// site's source path; the line shows the part after the last '/'.
void tm_traceSite(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

#define TM_TRACE(handle, bits, srcFile, ...)                                  \
  do {                                                                        \
    const TmHandle tm_site_handle_ = (handle);                                \
    const uint32_t tm_site_bits_ = (bits);                                    \
    if (tm_siteOn(tm_site_handle_, tm_site_bits_))                            \
      tm_traceSite(tm_site_handle_, tm_site_bits_, (srcFile), __LINE__, __VA_ARGS__); \
  } while (0)
