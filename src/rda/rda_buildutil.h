// Steps the RDA IDU builders share: making the GIDU with its entry and
// failure traces, giving up on a half-built one, and moving a value list
// into a record.
#pragma once

#include <cstdint>

#include "src/rda/rda_gidu.h"

// Traces "<fn>() called", then makes the GIDU for `event`; NULL after the
// trace "*** <fn>: can't create gidu with RDA IDU".
GIDU* rda_buildGidu(const char* fn, const GIDU* ref, RdaEventCode event, int32_t opId, void** body);
// Traces "*** <fn>: <what>" at `mask`, deletes the GIDU; NULL.
GIDU* rda_buildFailed(GIDU* gidu, uint32_t mask, const char* fn, const char* what);
// Moves the values of `src` into `dst` (code and ring); `src` is left an
// empty list.
void rda_moveValList(RDASQLValList* dst, RDASQLValList* src);
