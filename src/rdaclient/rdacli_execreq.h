// R-ExecuteDBL requests of the client: an SQL text and, per bound
// parameter, one argument (a data-type descriptor and its values). The
// request is built in a tree of its own that goes with the GIDU; it is not
// sent here. Every failure is a diagnostic on the statement, with NULL
// returned and nothing of the call left behind.
#pragma once

#include <cstdint>

struct GIDU;
struct RDA_CliHSTMT;
struct RdaCliRing;

// Attribute words ORed into an argument's descriptor.
inline constexpr int32_t RDA_CLI_ARG_FETCH_DATA = 1;  // an output parameter sent as fetch data
inline constexpr int32_t RDA_CLI_ARG_LONG = 8;        // LONGVARCHAR, LONGVARBINARY, WLONGVARCHAR
inline constexpr int32_t RDA_CLI_ARG_BINARY = 16;     // BINARY, TINYINT
inline constexpr int32_t RDA_CLI_ARG_BIT = 32;        // BIT
// The attribute word of an argument of `sqlType`.
int32_t RDA_cliArgAttributes(int16_t sqlType);

// `sqlText` (NUL-terminated) with one argument per parameter of `params`
// (a ring of RDA_CliParm; NULL or empty: no argument part), repetition
// count 1.
GIDU* RDA_cliCreateExecSQL(RDA_CliHSTMT* hstmt, const char* sqlText, const RdaCliRing* params);
// The same for the cursor open that also asks for the first `rowCount`
// rows: always one value list; output parameters go as NULL CHARACTER
// values flagged as fetch data, and their number becomes the statement's
// return-value count.
GIDU* RDA_opt_cliCreateExecSQLWithFetchData(RDA_CliHSTMT* hstmt, const char* sqlText, const RdaCliRing* params,
                                            int32_t rowCount);
// The FETCH of the next `rowCount` rows: one NULL CHARACTER(10) argument.
GIDU* RDA_cliCreateFetchSQL(RDA_CliHSTMT* hstmt, const char* sqlText, int32_t rowCount);
