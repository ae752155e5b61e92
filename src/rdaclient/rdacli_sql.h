// SQL-text operations of the RDA client. The client has no protocol
// operation of its own for preparing, executing, opening, fetching or
// closing: each such step is an SQL text ("PREPARE stmt_id_5 FROM :H",
// "DECLARE SQLCUR5 CURSOR FOR stmt_id_5", "FETCH SQLCUR5 INTO :H, :H", ...)
// sent as the statement of one R-ExecuteDBL request and waited for. These
// primitives compose the texts, send them and judge the outcome; they
// return 1 on success and 0 on failure, with the diagnostics on the
// statement (or already on its connection).
#pragma once

#include <cstdint>
#include <cwchar>

struct RDA_CliErrorList;
struct RDA_CliHSTMT;
struct RdaCliRing;

// Modes of RDA_opt1_cliOpenCursor.
inline constexpr int32_t RDA_CLI_OPEN_FIRST = 0;   // the statement's (first) result set
inline constexpr int32_t RDA_CLI_OPEN_NEXT = 1;    // its next result set
inline constexpr int32_t RDA_CLI_OPEN_RESULT = 2;  // the output values of a procedure call

// DECLARE, then OPEN (with the parameters of `params` when it has any) of
// the statement's cursor for `sql`, or for the prepared statement when
// `sql` is NULL.
int32_t RDA_cliOpenCursor(RDA_CliHSTMT* hstmt, RdaCliRing* params, const char* sql);
// Declares and opens the cursor and asks for its first block of rows in
// one request.
int32_t RDA_opt1_cliOpenCursor(RDA_CliHSTMT* hstmt, RdaCliRing* params, const wchar_t* sql, int32_t mode);
// Closes the statement's cursor and drops its result.
int32_t RDA_cliCloseCursor(RDA_CliHSTMT* hstmt);
// Asks for the next block of rows of the open cursor.
int32_t RDA_cliFetchCol(RDA_CliHSTMT* hstmt);
// PREPARE of the statement's SQL text (and DESCRIBE of a query at
// optimisation level 0).
int32_t RDA_cliPrepareSQL(RDA_CliHSTMT* hstmt);
// EXECUTE of the prepared statement with its parameters.
int32_t RDA_cliExecSQL(RDA_CliHSTMT* hstmt);
// DESCRIBE of the prepared statement: the description comes with the
// confirm.
int32_t RDA_cliDescribeSQL(RDA_CliHSTMT* hstmt);
// RELEASE of the prepared statement at the server.
int32_t RDA_cliReleaseSQL(RDA_CliHSTMT* hstmt);
// Drops what the statement received (column descriptions and queued
// values); nothing when no confirm has come since the last time.
void RDA_cliClearResult(RDA_CliHSTMT* hstmt);

// Filters of a statement's diagnostics.
// Removes the "02000" (no data) entries from the oldest on, up to the first
// other one: 1 when the list is then empty.
int32_t noDataErrOnly(RDA_CliErrorList* list);
// Removes every "02001" (no further result set) entry: 1 when there was one.
int32_t lastResultSetErr(RDA_CliErrorList* list);
// 1 when the list is empty or holds only "01004" (truncation) entries.
int32_t RDA_cliTruncErrOnly(const RDA_CliErrorList* list);

// 1 when the text, past what precedes its first letter, begins with SELECT
// or CALL in any case.
int32_t RDA_cliCheckSelectStmtW(const wchar_t* sql);
