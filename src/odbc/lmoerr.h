// Diagnostics of the ODBC layer: the first-in first-out list of each
// environment, connection and statement record, the process-wide SQLSTATE
// table they are made from (built-in, or read from the message file), the
// names of the return codes and the printing of a list into the call trace.
#pragma once

#include <cstdint>

#include "src/odbc/lmoutil.h"
#include "src/rdaclient/qverror.h"

struct LmoEnv;
struct LmoDbc;
struct LmoStmt;
struct RDA_CliHDBC;

inline constexpr int32_t kLmoSqlStateChars = 6;     // five characters and a terminator
inline constexpr int32_t kLmoMessageChars = 2049;   // 2048 characters and a terminator
inline constexpr int32_t kLmoAddErrorChars = 1023;  // longest message lmoAddError makes
inline constexpr int32_t kLmoErrorRows = 85;        // rows of the built-in table

// Rows of the SQLSTATE table that the driver's checks name.
inline constexpr int32_t kLmoErrTruncated = 4;        // 01004
inline constexpr int32_t kLmoErrGeneral = 51;         // S1000
inline constexpr int32_t kLmoErrMemory = 52;          // S1001
inline constexpr int32_t kLmoErrSequence = 58;        // S1010
inline constexpr int32_t kLmoErrBadLength = 61;       // S1090
inline constexpr int32_t kLmoErrDriverCompletion = 79;  // S1110
inline constexpr int32_t kLmoErrNotCapable = 80;      // S1C00
inline constexpr int32_t kLmoErrOptionChanged = 84;   // 01S02

// One diagnostic, a block of its own (GAllocMem).
struct LmoError {
  LmoLink link;
  void* memHandle;
  wchar_t sqlState[kLmoSqlStateChars];
  int32_t native;
  wchar_t message[kLmoMessageChars];
};

// head.next is the oldest entry, head.prev the newest.
struct LmoErrorList {
  LmoLink head;
  uint32_t count;
};

using LmoSqlStateRow = QvErrorRow;
static_assert(kQvSqlStateSize == kLmoSqlStateChars && kQvMessageSize == kLmoMessageChars);

struct LmoBuiltinRow {
  const wchar_t* sqlState;
  const wchar_t* message;
};

// The message file's header and the record of its "ODBC" section, one
// block kept while the driver runs.
struct LmoBinHeader {
  QvErrorFileHeader header;
  QvErrorSection section;
};

extern const LmoBuiltinRow ODBC_gSQLStateTable[kLmoErrorRows];
extern LmoSqlStateRow* gSQLStateTable;  // NULL until lmo_initErrorStateTable
extern int32_t giSQLStateTableRows;
extern void* hglb_gSQLStateTable;
extern LmoBinHeader* gBinHeader;
extern void* hglb_gBinHeader;

void lmoAddError(LmoErrorList* list, int32_t index, int32_t native, const char* text);
void lmoAddErrorW(LmoErrorList* list, int32_t index, int32_t native, const wchar_t* text);
// 0, or -1 when no block can be had.
int32_t lmoAddSQLState(LmoErrorList* list, const char* sqlState, int32_t native, const char* message);
int32_t lmoAddSQLStateW(LmoErrorList* list, const wchar_t* sqlState, int32_t native, const wchar_t* message);
void lmoClearErrorList(LmoErrorList* list);

// Pops the oldest entry of the statement's list when a statement is given,
// else the connection's, else the environment's. The message is cut to
// messageSize - 1 characters and terminated; *lengthOut gets its whole
// length. 0, 100 when that list is empty, -2 without a handle.
int16_t lmoError(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt, wchar_t* sqlStateOut, int32_t* nativeOut,
                 wchar_t* messageOut, int16_t messageSize, int16_t* lengthOut);

int32_t lmo_initErrorStateTable();
void lmo_freeErrorStateTable();
int32_t lmo_initErrorStateTableInternal();
// Section "ODBC" of the message file at the configured schema path: 1 when
// the table came from it.
int32_t lmo_initErrorStateTableFromCustomFile();

// A client message that ends in a bracketed decimal number ("... [123]")
// carries its native error there: the number goes to *native and the
// message is cut before the bracket. The message's new length, or -1 when
// it is left as it is.
int64_t lmoTakeBracketedNative(wchar_t* message, int32_t* native);

// Moves the RDA connection's oldest diagnostic into the driver connection's
// list: the pop's result when it is not 0, else the append's.
int32_t QvAddRdaCliErrorToLmo(RDA_CliHDBC* rdaDbc, LmoDbc* dbc);

const char* MapRetCodeToStr(int32_t code);
// Writes every entry of the chosen list to the call trace; 0, 100 when it
// is empty, -2 without a handle.
int16_t getOdbcError(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt);
// The error lists of a call for the call trace: the driver's, then the RDA
// client's of the matching handles. The code that ended the walk.
int16_t printErrList(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt);
