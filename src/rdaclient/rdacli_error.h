// Diagnostics of the RDA client: the first-in first-out lists of the
// environment, connection and statement blocks, the process-wide SQLSTATE
// table they are made from (built once from section "RDAC" of the message
// file qverror.bin, else from the built-in table), and the reading of the
// lists by the ODBC layer.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/rdaclient/qverror.h"

struct XmTree;
struct RDA_CliHENV;
struct RDA_CliHDBC;
struct RDA_CliHSTMT;

// Rows of the SQLSTATE table (RDA_cliErrorIndex) that the client names.
inline constexpr uint32_t RDA_CLI_ROW_NO_ERROR = 0;              // 00000
inline constexpr uint32_t RDA_CLI_ROW_DISCONNECT_ERROR = 1;      // 01002
inline constexpr uint32_t RDA_CLI_ROW_TRUNCATED = 2;             // 01004
inline constexpr uint32_t RDA_CLI_ROW_RESTRICTED_TYPE = 5;       // 07006
inline constexpr uint32_t RDA_CLI_ROW_DESCRIPTOR_COUNT = 6;      // 07008
inline constexpr uint32_t RDA_CLI_ROW_CANT_CONNECT = 7;          // 08001
inline constexpr uint32_t RDA_CLI_ROW_CONNECTION_IN_USE = 8;     // 08002
inline constexpr uint32_t RDA_CLI_ROW_NO_CONNECTION = 9;         // 08003
inline constexpr uint32_t RDA_CLI_ROW_CONNECTION_FAILURE = 10;   // 08004
inline constexpr uint32_t RDA_CLI_ROW_OUT_OF_RANGE = 16;         // 22003
inline constexpr uint32_t RDA_CLI_ROW_ASSIGNMENT = 17;           // 22005
inline constexpr uint32_t RDA_CLI_ROW_CURSOR_STATE = 20;         // 24000
inline constexpr uint32_t RDA_CLI_ROW_TRANS_ROLLED_BACK = 23;    // 25S03
inline constexpr uint32_t RDA_CLI_ROW_INVALID_CURSOR_NAME = 26;  // 34000
inline constexpr uint32_t RDA_CLI_ROW_ROLLBACK = 28;             // 40000
inline constexpr uint32_t RDA_CLI_ROW_COMPLETION_UNKNOWN = 29;   // 40001
inline constexpr uint32_t RDA_CLI_ROW_ASSOC_REFUSED_BY_USER = 61;  // HZ500
inline constexpr uint32_t RDA_CLI_ROW_RELEASE_REFUSED = 62;      // HZ510
inline constexpr uint32_t RDA_CLI_ROW_CONNECTION_LOST = 63;      // HZ520
inline constexpr uint32_t RDA_CLI_ROW_NO_MEMORY = 69;            // S1001
inline constexpr uint32_t RDA_CLI_ROW_INVALID_COLUMN = 70;       // S1002
inline constexpr uint32_t RDA_CLI_ROW_PROGRAM_TYPE = 71;         // S1003
inline constexpr uint32_t RDA_CLI_ROW_DATA_TYPE = 72;            // S1004
inline constexpr uint32_t RDA_CLI_ROW_INVALID_ARGUMENT = 74;     // S1009
inline constexpr uint32_t RDA_CLI_ROW_SEQUENCE = 75;             // S1010
inline constexpr uint32_t RDA_CLI_ROW_TRANSACTION_OPTION = 76;   // S1012
inline constexpr uint32_t RDA_CLI_ROW_ASSOC_REFUSED = 79;        // S1900, or S2xxx with a text
inline constexpr uint32_t RDA_CLI_ROW_STACK_ERROR = 80;          // S1901, or S3xxx-S8xxx with a text
inline constexpr uint32_t RDA_CLI_ROW_SERVER_LOOKUP = 81;        // 08900
inline constexpr uint32_t kRdaCliErrorRows = 82;

// The built-in table: row r is the diagnostic of RDA_cliErrorIndex r.
struct RdaCliStateText {
  const wchar_t* sqlState;
  const wchar_t* message;
};
extern const RdaCliStateText RDAC_gSQLStateTable[kRdaCliErrorRows];

// The process's table (kRdaCliErrorRows rows), NULL until
// rda_initErrorStateTable; and the message file's header and section while
// the table comes from the file (else NULL).
extern QvErrorRow* sQLStateTBL;
struct RdaBinHeader {
  QvErrorFileHeader* header;
  QvErrorSection* section;
};
extern RdaBinHeader gRDABinHeader;

// ---------------------------------------------------------------------------
// Lists

struct RDA_CliErrLink {
  RDA_CliErrLink* next;
  RDA_CliErrLink* prev;
};

// One diagnostic: an item of the tree of the block that owns its list.
struct RDA_CliError : RDA_CliErrLink {
  wchar_t sqlState[kQvSqlStateSize];
  int32_t nativeError;
  wchar_t message[kQvMessageSize];
};

// A ring through its head: ring.next is the oldest entry, ring.prev the
// newest, both the head itself when empty. A zero-filled list is empty too.
struct RDA_CliErrorList {
  RDA_CliErrLink ring;
  uint32_t count;
};

void RDA_cliInitErrorList(RDA_CliErrorList* list);
// The oldest entry, or NULL.
RDA_CliError* RDA_cliFirstError(const RDA_CliErrorList* list);

// Appends the diagnostic of row `errorIndex` with an optional 8-bit text;
// rows 79 and 80 with a text compute their SQLSTATE from the native error.
// The entry is an item of `tree` (NULL: the thread's root tree).
void RDA_cliAddError(RDA_CliErrorList* list, uint32_t errorIndex, int32_t nativeError, const char* text,
                     XmTree* tree);
// The same with a UTF-8 text.
void RDA_cliAddErrorUtf8(RDA_CliErrorList* list, uint32_t errorIndex, int32_t nativeError, const char* text,
                         XmTree* tree);
// Appends a diagnostic with the given SQLSTATE (up to 5 characters) and
// message (up to 2048; NULL: empty). 1, or 0 when no entry can be had.
int32_t RDA_cliAddSQLState(RDA_CliErrorList* list, const char* sqlState, int32_t nativeError, const char* message,
                           XmTree* tree);
int32_t RDA_cliAddSQLStateW(RDA_CliErrorList* list, const wchar_t* sqlState, int32_t nativeError,
                            const wchar_t* message, XmTree* tree);
int32_t RDA_cliAddSQLStateUtf8(RDA_CliErrorList* list, const char* sqlState, int32_t nativeError,
                               const char* message, XmTree* tree);
void RDA_cliClearErrorList(RDA_CliErrorList* list);
// Unlinks one entry of the list and frees it.
void RDA_cliRemoveError(RDA_CliErrorList* list, RDA_CliError* entry);

// ---------------------------------------------------------------------------
// Reading by the ODBC layer

// Pops the oldest diagnostic of the statement's list, else the
// connection's, else the environment's (missing handles are taken from the
// given ones). 0; 100 when there is none ("00000", native 0, length 0);
// -2 for a bad handle. The message is cut to messageSize - 1 characters and
// terminated; `*length` is -3 when it fitted, else its full length.
int32_t rda_cliError(RDA_CliHENV* henv, RDA_CliHDBC* hdbc, RDA_CliHSTMT* hstmt, wchar_t* sqlState,
                     int32_t* nativeError, wchar_t* message, int32_t messageSize, int32_t* length);
// Reads one diagnostic without removing it, through a cursor of the calling
// thread; `first` = 1 restarts at the oldest. A given statement's list is
// the only one read. Outputs are 8-bit (UTF-8): the SQLSTATE (6 octets) and
// the message cut to messageSize - 1 octets at a character boundary. 0, 100
// at the end, -2 for a bad handle or none.
int32_t rda_cliGetError(RDA_CliHENV* henv, RDA_CliHDBC* hdbc, RDA_CliHSTMT* hstmt, char* sqlState, char* message,
                        int32_t messageSize, int32_t first);
// 1 when the connection's oldest diagnostic is the server's load-balancing
// refusal (its message ends in "[-2130706431]"), else 0.
int32_t rda_cli_IsLoadBalancingError(RDA_CliHDBC* hdbc);
// Empties the connection's list.
void rda_cli_ClearPrevError(RDA_CliHDBC* hdbc);

// ---------------------------------------------------------------------------
// The table

// Builds sQLStateTBL once: 1, or 0 when not even the built-in table can be
// had. Under hSerializeGlobalMutex.
int32_t rda_initErrorStateTable();
// Frees the table and the file's header records.
void rda_freeErrorStateTable();
// Row `errorIndex` of the table in use (the built-in one before the table
// is built); NULL outside the table.
const wchar_t* rda_cliRowState(uint32_t errorIndex);
const wchar_t* rda_cliRowMessage(uint32_t errorIndex);
