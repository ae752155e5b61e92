// The RDA client's control blocks, one for each kind of ODBC handle below
// it: the environment, the connection and the statement. Every block is a
// zero-filled XM item with a tree of its own, and begins alike: the ring
// links, the 32-bit tag, the block's tree. Freeing a block frees its tree.
//
// A block's template GIDU carries the four references that every GIDU made
// for the block copies, and its links are the head of the block's event
// queue, on which the receive entry leaves what arrives for the waiter.
//
// A handle is trusted only while the block is in the process-wide set of
// live blocks (src/rdaclient/rdacli_blocks.h); a freed block keeps its
// complemented tag as well.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/acse/gidu.h"
#include "src/rdaclient/rdacli_conf.h"
#include "src/rdaclient/rdacli_error.h"

struct XmTree;

inline constexpr uint32_t RDA_CLI_TAG_HENV = 264;
inline constexpr uint32_t RDA_CLI_TAG_HDBC = 265;
inline constexpr uint32_t RDA_CLI_TAG_HSTMT = 266;

// Status of the rda_cli* calls.
inline constexpr int32_t RDA_CLI_SUCCESS = 0;
inline constexpr int32_t RDA_CLI_SUCCESS_WITH_INFO = 1;
inline constexpr int32_t RDA_CLI_NO_DATA = 100;
inline constexpr int32_t RDA_CLI_ERROR = -1;
inline constexpr int32_t RDA_CLI_INVALID_HANDLE = -2;

// A ring of blocks with its count.
struct RdaCliRing {
  RdaCliLink head;
  uint32_t count;
};

// Environment flags.
inline constexpr uint32_t RDA_CLI_ENV_ACTIVATED = 1;

// Connection state bits.
inline constexpr uint32_t RDA_CLI_ST_ASSOCIATED = 1;
inline constexpr uint32_t RDA_CLI_ST_DIALOGUE = 2;
inline constexpr uint32_t RDA_CLI_ST_TRANSACTION = 4;
inline constexpr uint32_t RDA_CLI_ST_ROLLED_BACK = 8;
inline constexpr uint32_t RDA_CLI_ST_RESOURCE_OPEN = 16;
inline constexpr uint32_t RDA_CLI_ST_DISCONNECTING = 128;

// Connection option flags.
inline constexpr uint32_t RDA_CLI_CONN_OPT1001 = 1;
inline constexpr uint32_t RDA_CLI_CONN_AUTOCOMMIT = 2;

// Statement state bits.
inline constexpr uint32_t RDA_CLI_STMT_CURSOR_OPEN = 1;
inline constexpr uint32_t RDA_CLI_STMT_PREPARED = 2;
inline constexpr uint32_t RDA_CLI_STMT_CONFIRMED = 4;
// The text was run, not only prepared: the answer said whether there is a
// result, so a result without a description has no columns to ask for.
inline constexpr uint32_t RDA_CLI_STMT_EXECUTED = 8;

// Statement option flags.
inline constexpr uint32_t RDA_CLI_STMT_UNIQUEROW = 1;
inline constexpr uint32_t RDA_CLI_STMT_OPTIONS_SUPPORT = 2;  // from the connection's support word
inline constexpr uint32_t RDA_CLI_STMT_OPT32 = 32;           // set at allocation

// A cursor name: at most 128 characters and its NUL.
inline constexpr uint32_t kRdaCliCursorNameSize = 136;

// Result kind of a statement whose row count is known.
inline constexpr uint32_t RDA_CLI_RESULT_ROWCOUNT = 2;

struct RDA_CliHENV {
  RdaCliLink links;     // in henvList
  uint32_t tag;         // RDA_CLI_TAG_HENV
  XmTree* tree;
  GIDU tmpl;            // ue = this block, pe = the UCB once activated; its links are the event queue
  RdaCliRing conns;     // of RDA_CliHDBC
  uint32_t flags;       // RDA_CLI_ENV_ACTIVATED
  const char* user;     // the RDA user this environment calls from
  uint32_t fetchSize;
  RDA_CliErrorList errors;
};

struct RDA_CliHDBC {
  RdaCliLink links;     // in the environment's ring
  uint32_t tag;         // RDA_CLI_TAG_HDBC
  uint32_t productType;
  XmTree* tree;
  GIDU* tmpl;           // ue, pe = the environment's UCB, uc = this block, pc = the ACB; NULL after an abort
  RDA_CliHENV* env;
  SrvrInfo* server;     // chosen at connect
  uint32_t opId;        // running operation id: each new statement takes the next
  uint32_t state;       // RDA_CLI_ST_* bits
  uint32_t fetchSize;
  RdaCliRing stmts;     // of RDA_CliHSTMT
  RDA_CliErrorList errors;
  uint32_t optLevel;       // negotiated statement optimisation level
  uint32_t numericFormat;  // 1 digit strings, 0 8-byte integers
  char decimalPoint;
  uint32_t option1000;
  uint32_t maxRowsSupport;
  uint32_t stmtOptionsSupport;
  uint32_t alwaysUseCursor;
  uint32_t mapDefaultWcharAsChar;
  uint32_t transStarts;
  uint32_t optionFlags;    // RDA_CLI_CONN_* bits
  uint32_t maxRows;
  uint32_t queryTimeOut;
  // The event engine's wait on this connection: a request is outstanding,
  // its answer has come, an abort of the association has been handled.
  uint32_t awaiting;
  uint32_t answered;
  uint32_t abortSeen;
};

// Column state flag (RDA_CliCol, rdacli_col.h): bound by rda_cliBindCol.
inline constexpr uint32_t RDA_CLI_COL_BOUND = 1;

struct RDA_CliHSTMT {
  RdaCliLink links;     // in the connection's ring
  uint32_t tag;         // RDA_CLI_TAG_HSTMT
  XmTree* tree;
  XmTree* resultTree;   // the open cursor's result data; NULL when none
  RDA_CliHDBC* conn;
  uint32_t queryFlag;   // the prepared text is a query
  uint32_t state;       // RDA_CLI_STMT_* bits
  uint32_t opId;        // names the statement in confirms
  RdaCliRing params;    // of RDA_CliParm (rdacli_param.h), in ascending number
  uint32_t fetchState;
  RdaCliRing cols;      // of RDA_CliCol (rdacli_col.h)
  uint32_t hiddenCols;  // described columns marked hidden
  int16_t lastGetDataCol;  // column number of the last SQLGetData
  uint32_t resultKind;  // RDA_CLI_RESULT_ROWCOUNT: rowCount is known
  uint32_t rowCount;
  uint32_t fetchSize;
  RDA_CliErrorList errors;
  uint32_t maxRows;       // option 1
  uint32_t returnValues;  // output values of the last call
  uint32_t queryTimeOut;  // option 0
  uint32_t optionFlags;   // RDA_CLI_STMT_* option bits
  RdaCliRing paramDescs;  // of RDA_CliParamSpec: descriptions received from the server
  uint32_t paramCount;    // parameter markers: described by the server, or counted in the text

  // The SQL-text operations: the cursor's name, the prepared text, and what
  // the last answers said of the result sets.
  char cursorName[kRdaCliCursorNameSize];  // NUL-terminated; "" until set or generated
  wchar_t* sqlText;        // item of the statement's tree; NULL when none
  uint32_t endOfData;      // the last answer carried only "02000"
  uint32_t moreResults;    // no "02001" (no further result set) yet
  uint32_t blockReceived;  // the last open or FETCH brought rows
};

// ---------------------------------------------------------------------------
// Rings

void RDA_cliRingInit(RdaCliRing* ring);
void RDA_cliRingAppend(RdaCliRing* ring, RdaCliLink* link);
void RDA_cliRingRemove(RdaCliRing* ring, RdaCliLink* link);

// ---------------------------------------------------------------------------
// Allocation and release

// The ring of all environments; NULL while there is none.
extern RdaCliRing* henvList;

int32_t rda_cliAllocEnv(RDA_CliHENV** out);
int32_t rda_cliFreeEnv(RDA_CliHENV* henv);
int32_t rda_cliAllocConnect(RDA_CliHENV* henv, RDA_CliHDBC** out);
int32_t rda_cliFreeConnect(RDA_CliHDBC* hdbc);
int32_t rda_cliAllocStmt(RDA_CliHDBC* hdbc, RDA_CliHSTMT** out);
// Option 0 close, 1 drop, 2 unbind, 3 reset parameters.
int32_t rda_cliFreeStmt(RDA_CliHSTMT* hstmt, int16_t option);
// The connection's statement with `opId`, or NULL.
RDA_CliHSTMT* RDA_cliGetStmtHndl(RDA_CliHDBC* hdbc, uint32_t opId);
// Empties the event queue of the connection's environment. Always 0.
int32_t rda_cliPurgeEnvQueue(RDA_CliHDBC* hdbc);

// Frees a statement block (unlinked from its connection, tag complemented).
void RDA_cliDropStmt(RDA_CliHSTMT* hstmt);
// Frees every record of a ring of columns, parameters or parameter
// descriptions (items whose links come first).
void RDA_cliFreeRecords(RdaCliRing* ring);

// ---------------------------------------------------------------------------
// Connection options

inline constexpr int32_t RDA_CLI_CONN_OPT_QUERY_TIMEOUT = 0;
inline constexpr int32_t RDA_CLI_CONN_OPT_MAX_ROWS = 1;
inline constexpr int32_t RDA_CLI_CONN_OPT_AUTOCOMMIT = 102;
inline constexpr int32_t RDA_CLI_CONN_OPT_1000 = 1000;
inline constexpr int32_t RDA_CLI_CONN_OPT_1001 = 1001;
inline constexpr int32_t RDA_CLI_CONN_OPT_ASSOCIATED = 1002;

int32_t rda_cliSetConnectOption(RDA_CliHDBC* hdbc, int32_t option, uint32_t value);
int32_t rda_cliGetConnectOption(RDA_CliHDBC* hdbc, int32_t option, uint32_t* value);
int32_t rda_cliSetDecimalPointOption(RDA_CliHDBC* hdbc, char value);
int32_t rda_cliSetMaxRowsOption(RDA_CliHDBC* hdbc, uint32_t value);
int32_t rda_cliSetStmtOptionsSupport(RDA_CliHDBC* hdbc, uint32_t value);
int32_t rda_cliSetConnOptionAlwaysUseCursor(RDA_CliHDBC* hdbc, uint32_t value);
int32_t rda_cliSetProductType(RDA_CliHDBC* hdbc, uint32_t value);
int32_t rda_cliSetMapDefaultWcharAsChar(RDA_CliHDBC* hdbc, uint32_t value);
