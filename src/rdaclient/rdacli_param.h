// Parameters of a statement and their descriptions from the server.
#pragma once

#include <cstdint>

#include "src/asn1/rda_codec.h"

struct RDA_CliHSTMT;

// Keeps the parameter descriptions of an R-ExecuteDBL confirm's result
// description: 1, or 0 on failure.
int32_t updateParamSpec(RDA_CliHSTMT* hstmt, const RDAList* resultSpecs);
