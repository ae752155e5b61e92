// Trace modules of the application layer and of ACSE, and the rendering of
// a GIDU for trace lines.
//
// Every layer traces the GIDUs it handles with one function-entry line,
// "%s: %s, %s\n": the function's name, the primitive's name (al_traceEvent)
// and the references (al_traceRefs), at level 128 of its own module. Names
// are rendered only when the line will be written: use AL_TRACE_GIDU.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/runtime/dif.h"  // al_comTMHandle, defined with the directory
#include "src/runtime/tm.h"

struct GIDU;

extern TmHandle ac_aseTMHandle;  // ACSE service element; -1 = not registered

// Trace levels of the application layer's module.
inline constexpr uint32_t AL_TL_ENTRY = 128;   // function entry
inline constexpr uint32_t AL_TL_ROUTE = 64;    // routing and flow detail
inline constexpr uint32_t AL_TL_RESULT = 16;   // progress and results
inline constexpr uint32_t AL_TL_ERROR = 8;     // errors ("*** " lines)
inline constexpr uint32_t AL_TL_PARAM = 4;     // parameter errors
inline constexpr uint32_t AL_TL_TABLE = 2;     // table errors
inline constexpr uint32_t AL_TL_TRIVIA = 256;  // empty queues and rare detail

// Sizes of the buffers the renderers write into; the longest name or
// reference list fits with room to spare, and longer text is cut.
inline constexpr size_t AL_EVENT_TEXT_SIZE = 32;
inline constexpr size_t AL_REFS_TEXT_SIZE = 112;

// Name tables of the primitives.
extern const char* const adsTBL[8];        // suffixes by bits 1-3 of the event
extern const char* const rAdsTBL[8];       // suffixes of the RDA error responses
extern const char* const duvik_names[16];  // local events
extern const char* const acse_names[6];
extern const char* const rda_names[39];
extern const char* const ccr_names[13];
extern const char* const tp_names[56];

// The primitive's name, e.g. "R-INIT.cnf", "A-P-ABORT.ind", "P-DTA.req",
// "R-LOCERR.ind". Returns the buffer, or NULL (nothing written) for a NULL
// GIDU.
char* al_traceEvent(const GIDU* gidu, char (&buffer)[AL_EVENT_TEXT_SIZE]);

// "gidu=%lx ue=%lx pe=%lx uc=%lx pc=%lx" when `full`, else
// "gidu=%lx uc=%lx pc=%lx". Returns the buffer, or NULL for a NULL GIDU.
char* al_traceRefs(const GIDU* gidu, int32_t full, char (&buffer)[AL_REFS_TEXT_SIZE]);

// Writes the function-entry line of a site that tm_siteOn let through.
void al_traceGiduLine(TmHandle handle, uint32_t bits, const char* srcFile, int32_t line, const char* function,
                      const GIDU* gidu, int32_t full);

// The function-entry line "<function>: <event>, <references>\n" of `gidu`,
// rendered only when the module's mask lets the line through.
#define AL_TRACE_GIDU(handle, bits, srcFile, function, gidu, full)                       \
  do {                                                                                   \
    const TmHandle al_site_handle_ = (handle);                                           \
    const uint32_t al_site_bits_ = (bits);                                               \
    if (tm_siteOn(al_site_handle_, al_site_bits_))                                       \
      al_traceGiduLine(al_site_handle_, al_site_bits_, (srcFile), __LINE__, (function), (gidu), (full)); \
  } while (0)
