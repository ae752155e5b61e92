// Result columns of a statement and the values received for them: the
// description and the rows of an R-ExecuteDBL confirm made into the
// statement's column records and their value queues.
#pragma once

#include <cstdint>

#include "src/asn1/rda_codec.h"

struct RDA_CliHSTMT;
struct RDA_CliCol;
struct RDAXOPENSQLVal;
struct XmTree;

// Builds or refreshes the statement's column records from the result
// description of an R-ExecuteDBL confirm (nodes RDADescrNode of
// RDAXOPENSQLDataTypeDescr): 1, or 0 on failure (the records of the failed
// description are dropped; bound ones keep their binding).
int32_t updateColSpec(RDA_CliHSTMT* hstmt, const RDAList* resultSpecs);
// Takes the rows of an R-ExecuteDBL confirm (nodes RDAXOPENResultNode): the
// exception part of each into the statement's diagnostics and row count,
// the values onto the column queues. 1, or 0 on failure.
int32_t updateColVal(RDA_CliHSTMT* hstmt, const RDAList* rows);
// Queues one received value on the column, its item from `tree`: 1, or 0
// with a diagnostic.
int32_t copyValFromResult(RDA_CliHSTMT* hstmt, RDA_CliCol* col, const RDAXOPENSQLVal* val, XmTree* tree);

// The column part of clearing a statement's result: every described column
// loses its description, its queued values and its current value; the
// hidden-column count goes to 0. Bindings stay.
void RDA_cliClearColumns(RDA_CliHSTMT* hstmt);
// Takes every queued value and every current value off the columns (the
// values go with the tree they came from): called before the cursor's
// result tree is freed.
void RDA_cliDropQueuedValues(RDA_CliHSTMT* hstmt);
// Frees every column record of the statement, with its values.
void RDA_cliFreeCols(RDA_CliHSTMT* hstmt);
