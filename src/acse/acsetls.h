// Per-thread records of ACSE and of its service element.
//
// Minimal version: only the fields every per-thread record has; the layer adds
// its own fields when it is built.
#pragma once

#include "common/tlsfamily.h"

QV_DECLARE_MINIMAL_TLS(Acse)
QV_DECLARE_MINIMAL_TLS(AcseAse)
