// Transactions of the RDA client. A connection keeps one transaction open
// while its statements run: R-BeginTransaction goes before the first
// execute (it has no positive confirm, so it is sent without waiting), and
// the confirm handlers begin the next one right after every commit and
// rollback. R-Commit and R-Rollback are sent and waited for.
#pragma once

#include <cstdint>

struct RDA_CliHENV;
struct RDA_CliHDBC;
struct RDA_CliHSTMT;

// The process-wide counter of the transaction requests' operation ids:
// they run 65536 ... 2147483646 and then start again. Under
// hSerializeRdaCliMutex.
extern uint32_t gdwRDAOpID;
inline constexpr uint32_t kRdaCliFirstTransOpId = 65536;
inline constexpr uint32_t kRdaCliTransOpIdEnd = 2147483647;
// The next transaction operation id.
uint32_t RDAutil_generateOpID();

// Begins a transaction for the statement's connection: 1 (the connection's
// transaction-open bit set), or 0 with diagnostics on the statement (or
// already on the connection).
int32_t RDA_cliBgnTrans(RDA_CliHSTMT* hstmt);
// The same for a connection: 1, or 0 with diagnostics on the connection.
int32_t RDA_cliBgnTransOnConnection(RDA_CliHDBC* hdbc);
// Commits the connection's transaction and waits for the confirm (with
// option 1001 set the connection's open cursors are closed then): 1, or 0
// with diagnostics on the connection.
int32_t RDA_cliCommit(RDA_CliHDBC* hdbc);
// Rolls the connection's transaction back and waits for the confirm: 1, or
// 0 with diagnostics on the connection.
int32_t RDA_cliRollback(RDA_CliHDBC* hdbc);

// Completion types of rda_cliTransact.
inline constexpr int16_t RDA_CLI_COMMIT = 0;
inline constexpr int16_t RDA_CLI_ROLLBACK = 1;

// Ends the transaction of the connection, or with no connection those of
// every connection of the environment: 0, -1 with diagnostics, -2 for a
// bad handle.
int32_t rda_cliTransact(RDA_CliHENV* henv, RDA_CliHDBC* hdbc, int16_t type);
// Counts an application's start of a transaction; nothing is sent (the
// client begins transactions itself). 0, or -2 for a bad handle.
int32_t rda_cliStartTransaction(RDA_CliHDBC* hdbc);
