// Fetch of the RDA client: rows of a cursor into the application's buffers.
#pragma once

#include <cstdint>

struct RDA_CliHSTMT;

// Delivers the output values of a procedure call, received as the one row
// of its RESULT cursor, into the output parameters' buffers: 0, 1 with
// warnings, -1 with diagnostics.
int32_t rda_cliFetchReturnVal(RDA_CliHSTMT* hstmt);
