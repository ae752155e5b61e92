// Per-thread (with multi-threading on: per-connection) record of the ODBC layer.
//
// Minimal version: only the fields every per-thread record has; the layer adds
// its own fields when it is built.
#pragma once

#include "common/tlsfamily.h"

QV_DECLARE_MINIMAL_TLS(Lmo)
