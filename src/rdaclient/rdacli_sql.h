// SQL-text operations and transactions of the client: cursors, prepared
// statements, and the transaction calls the connection road and the
// confirm handlers use.
#pragma once

#include <cstdint>

struct RDA_CliHDBC;
struct RDA_CliHSTMT;

// Closes the statement's open cursor: 0, or -1 with diagnostics.
int32_t RDA_cliCloseCursor(RDA_CliHSTMT* hstmt);
// Releases the statement's prepared text: 0, or -1 with diagnostics.
int32_t RDA_cliReleaseSQL(RDA_CliHSTMT* hstmt);
// Rolls the connection's transaction back and waits for the confirm: 0,
// or -1 with diagnostics.
int32_t RDA_cliRollback(RDA_CliHDBC* hdbc);
// Begins a transaction on the connection without waiting (the server
// answers R-BeginTransaction only when it fails): 0, or -1.
int32_t RDA_cliBgnTransOnConnection(RDA_CliHDBC* hdbc);
// Drops the statement's result.
void RDA_cliClearResult(RDA_CliHSTMT* hstmt);
// Has the server describe the statement's prepared text: 1, or 0 with
// diagnostics.
int32_t RDA_cliDescribeSQL(RDA_CliHSTMT* hstmt);
