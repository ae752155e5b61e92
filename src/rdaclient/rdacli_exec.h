// Prepare and execute: the RDA halves of SQLPrepare, SQLNumParams,
// SQLExecute, SQLExecDirect, SQLMoreResults and of the driver's internal
// commands. They check the statement, keep its SQL text, make sure a
// transaction is open and choose the SQL-text operation that carries the
// work (rdacli_sql.h).
//
// Text lengths are character counts; RDA_CLI_NTS (-3) stands for a
// NUL-terminated text. Results: 0 success, 100 no data, -1 error (with
// diagnostics on the statement), -2 invalid handle.
#pragma once

#include <cstdint>
#include <cwchar>

struct RDA_CliHSTMT;

// The longest driver command, in characters.
inline constexpr int32_t kRdaCliMaxCommand = 8192;

// Prepares an 8-bit text (converted in the current locale).
int32_t rda_cliPrepare(RDA_CliHSTMT* hstmt, const char* sql, int32_t length);
int32_t rda_cliPrepareW(RDA_CliHSTMT* hstmt, const wchar_t* sql, int32_t length);
// The parameter markers of the prepared statement: 0, or -1 when it is not
// prepared.
int32_t rda_cliNumParams(RDA_CliHSTMT* hstmt, int16_t* count);
// Executes the prepared statement.
int32_t rda_cliExecute(RDA_CliHSTMT* hstmt);
// Executes a text directly; the statement is prepared with it afterwards.
int16_t rda_cliExecDirect(RDA_CliHSTMT* hstmt, const wchar_t* sql, int32_t length);
int32_t rda_cliExecDirectNew(RDA_CliHSTMT* hstmt, const wchar_t* sql, int32_t length);
// Runs a driver command (a text beginning with "_QV_") at the server.
int32_t rda_cliExecImmediateSpecialCmd(RDA_CliHSTMT* hstmt, const wchar_t* command, int32_t length);
// Closes the current result set and opens the next one: 0, or 100 when
// there is none.
int32_t rda_cliMoreResults(RDA_CliHSTMT* hstmt);
// Fetches the output parameters of a procedure call.
int32_t rda_cliGetReturnValue(RDA_CliHSTMT* hstmt);

// The parameter markers ('?' and ':name') of a text, outside its quotes.
uint32_t RDAutil_getParamCount(const wchar_t* sql);
