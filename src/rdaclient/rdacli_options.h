// Options of the client's statements (and, with the handles, of its
// connections).
#pragma once

#include <cstdint>

struct RDA_CliHSTMT;

inline constexpr int32_t RDA_CLI_OPT_QUERY_TIMEOUT = 0;
inline constexpr int32_t RDA_CLI_OPT_MAX_ROWS = 1;
inline constexpr int32_t QV_SQL_UNIQUEROW = 1001;

// Option 0 query time-out, 1 max rows, 1001 the unique-row flag (set by a
// non-zero value): 0; any other option -1; a bad handle -2.
int32_t rda_cliSetStmtOption(RDA_CliHSTMT* hstmt, int32_t option, uint32_t value);
// Options 0 and 1 into `*value`: 0; -1 for another option or no value;
// -2 for a bad handle.
int32_t rda_cliGetStmtOption(RDA_CliHSTMT* hstmt, int32_t option, uint32_t* value);
