// Result columns of a statement and the values received for them.
#pragma once

#include <cstdint>

#include "src/asn1/rda_codec.h"

struct RDA_CliHSTMT;

// Builds or refreshes the statement's column records from the result
// description of an R-ExecuteDBL confirm: 1, or 0 on failure.
int32_t updateColSpec(RDA_CliHSTMT* hstmt, const RDAList* resultSpecs);
// Takes the rows of an R-ExecuteDBL confirm (nodes RDAXOPENResultNode): the
// exception part of each into the statement's diagnostics and row count,
// the values into the column queues. 1, or 0 on failure.
int32_t updateColVal(RDA_CliHSTMT* hstmt, const RDAList* rows);
