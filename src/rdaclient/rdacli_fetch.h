// Fetch of the RDA client: rows of a cursor into the application's buffers.
//
// Every row of a received block lies on the column queues as one value item
// per column (rdacli_col.h); a long binary value or an array value takes
// further items after its first (its parts, or its elements). The fetch
// takes one row, makes each column's first item its current value, converts
// the values of bound columns into their buffers, and asks the server for
// the next block when the queues have run dry.
#pragma once

#include <cstdint>

struct RDA_CliHSTMT;
struct RDA_CliBind;
struct RDA_CliCol;

// What a fetch answers beside the common codes: the last row of a block,
// for a server of product type 2.
inline constexpr int32_t RDA_CLI_ROWLIMIT_EXCEEDED = 110;

// The next row of the open cursor into the bound columns: 0; 1 when only
// truncations were reported; 100 at the end of the data (at the end of the
// last result set of a call, after the output parameters are filled); 110
// (see above); -1 with diagnostics; -2 for a bad handle.
int32_t rda_cliFetch(RDA_CliHSTMT* hstmt);

// Delivers the output values of a procedure call, received as the one row
// of its RESULT cursor, into the output parameters' buffers: 0, 1 with
// truncations, 100 when there is no row, -1 with diagnostics, -2.
int32_t rda_cliFetchReturnVal(RDA_CliHSTMT* hstmt);

// Makes the next part of the column's current value (a further part of a
// long value, the next element of an array) current, its read position at
// its start: 0; 100 when the value has no further part, or the part is
// NULL.
int32_t rda_cliFetchNextPartOfColumnValue(RDA_CliHSTMT* hstmt, RDA_CliBind* bind, RDA_CliCol* col);

// One trace line (mask 64 of the client's module) of a value delivered
// into a buffer of `bufLen` bytes of C type `cType` with the indicator
// `ind`: numbers as numbers, dates and times as text, texts no further than
// the buffer.
void printRGBValue(int16_t cType, const void* buffer, int64_t bufLen, const int64_t* ind);
