// The numbered dispatch: every ODBC call on a connection or statement runs
// on the execution context (LmoTLS) of the connection that owns its handle.
// The export stores a function number and its arguments as 64-bit words in
// the context, and an unpacker of QvOdbcFuncs takes them back out and calls
// the core. Pointers travel as themselves, scalars as the address of a copy
// in the export's frame.
//
// Single-threaded, one driver-wide mutex runs every call; multi-threaded,
// each connection's own mutex runs the calls on it one at a time, and for
// the call's duration the connection's record set carries the caller's
// thread id, so that every layer below finds the connection's records.
#pragma once

#include <cstdint>
#include <type_traits>

#include "common/qvmutexes.h"
#include "src/odbc/lmotls.h"

struct LmoEnv;
struct LmoDbc;
struct LmoStmt;

enum QvFuncNumber : int32_t {
  QV_FN_ALLOCSTMT = 1,
  QV_FN_BINDCOL = 2,
  QV_FN_CANCEL = 3,
  QV_FN_COLATTRIBUTES = 4,
  QV_FN_CONNECT = 5,
  QV_FN_DESCRIBECOL = 6,
  QV_FN_DISCONNECT = 7,
  QV_FN_ERROR = 8,
  QV_FN_EXECDIRECT = 9,
  QV_FN_EXECUTE = 10,
  QV_FN_FETCH = 11,
  QV_FN_FREECONNECT = 12,
  QV_FN_FREESTMT = 13,
  QV_FN_GETCURSORNAME = 14,
  QV_FN_NUMRESULTCOLS = 15,
  QV_FN_PREPARE = 16,
  QV_FN_ROWCOUNT = 17,
  QV_FN_SETCURSORNAME = 18,
  QV_FN_TRANSACT = 19,
  QV_FN_COLUMNS = 20,
  QV_FN_GETCONNECTOPTION = 21,
  QV_FN_GETDATA = 22,
  QV_FN_GETFUNCTIONS = 23,
  QV_FN_GETINFO = 24,
  QV_FN_GETSTMTOPTION = 25,
  QV_FN_GETTYPEINFO = 26,
  QV_FN_PARAMDATA = 27,
  QV_FN_PUTDATA = 28,
  QV_FN_SETCONNECTOPTION = 29,
  QV_FN_SETSTMTOPTION = 30,
  QV_FN_SPECIALCOLUMNS = 31,
  QV_FN_STATISTICS = 32,
  QV_FN_TABLES = 33,
  QV_FN_DRIVERCONNECT = 34,
  QV_FN_DESCRIBEPARAM = 35,
  QV_FN_FOREIGNKEYS = 36,
  QV_FN_NUMPARAMS = 37,
  QV_FN_PRIMARYKEYS = 38,
  QV_FN_PROCEDURECOLUMNS = 39,
  QV_FN_PROCEDURES = 40,
  QV_FN_BINDPARAMETER = 41,
  QV_FN_MORERESULTS = 42,
  QV_FN_EXTENDEDFETCH = 43,
  QV_FN_BROWSECONNECT = 44,
  QV_FN_STARTTRANSACTION = 45,
  QV_FN_PARAMATTRIBUTES = 46,
};

inline constexpr int32_t kQvOdbcFuncCount = 47;  // slot 0 is empty

using QvOdbcFunc = int16_t (*)(uint64_t* words);

extern const QvOdbcFunc QvOdbcFuncs[kQvOdbcFuncCount];
// The table the dispatch calls through: QvOdbcFuncs, or a test's own.
extern const QvOdbcFunc* gQvOdbcFuncTable;

// Runs call `number` on `ctx` with `wordCount` argument words; its result,
// or -1 for a number outside 1-46 (65535 is then left in the context).
int16_t QvExecFuncOnThread(LmoTLS* ctx, int32_t number, int32_t wordCount, const uint64_t* words);

// The context of the connection, else of the statement's connection; NULL
// when there is neither. The handles must be live records.
LmoTLS* QvGetWorkingTLS(LmoEnv* env, LmoDbc* dbc, LmoStmt* stmt);

// Every argument of a dispatched call as a word: a pointer as itself, a
// scalar only by the address of its copy.
template <class T>
uint64_t qvWord(T* p) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

template <class... A>
int16_t qvDispatch(LmoTLS* ctx, int32_t number, A*... args) {
  const uint64_t words[] = {qvWord(args)...};
  return QvExecFuncOnThread(ctx, number, static_cast<int32_t>(sizeof...(A)), words);
}

// The pointer and scalar arguments, read back by the unpackers.
template <class T>
T qvPtrArg(const uint64_t* words, int32_t i) {
  static_assert(std::is_pointer_v<T>);
  return reinterpret_cast<T>(static_cast<uintptr_t>(words[i]));
}

template <class T>
T qvScalarArg(const uint64_t* words, int32_t i) {
  return *reinterpret_cast<const T*>(static_cast<uintptr_t>(words[i]));
}
