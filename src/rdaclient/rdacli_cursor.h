// Cursor names and cancel: the RDA halves of SQLSetCursorName,
// SQLGetCursorName and SQLCancel.
//
// A statement's cursor is declared at the server under its name (the
// DECLARE, OPEN, FETCH and CLOSE texts); an application may set one before
// the first open, else the first open generates "SQLCUR<operation id>".
// Cancel sends nothing: it hands the statement's operation id to a hook that
// a host may install.
#pragma once

#include <cstdint>

#include "common/export.h"

struct RDA_CliHSTMT;

// The longest cursor name, in bytes.
inline constexpr int32_t kRdaCliMaxCursorName = 128;

// The cancel hook: set by a host that can cancel a statement's work, NULL
// otherwise. Takes the statement's operation id; its result is the cancel's.
QV_EXPORT int (*gQv_sql_cancel)(unsigned int opId);

// Names the statement's cursor: `length` bytes of `name`, or the whole
// NUL-terminated name for -3. 0; -1 (24000 with the cursor open, 34000 for
// a name that is empty, too long, reserved or already another's, S1009 for
// a missing name or a bad length); -2.
int32_t rda_cliSetCursorName(RDA_CliHSTMT* hstmt, const char* name, int16_t length);
// The cursor's name into `buffer` of `size` bytes, always NUL-terminated
// when there is room: 0 (with -3 in `*length` when it fitted, 0 when there
// is no name yet); 1 with 01004 when it was cut (`*length` the name's full
// length); -2.
int32_t rda_cliGetCursorName(RDA_CliHSTMT* hstmt, char* buffer, int16_t size, int16_t* length);
// The hook's result for the statement's operation id; 0 without a hook; -2.
int32_t rda_cliCancel(RDA_CliHSTMT* hstmt);
