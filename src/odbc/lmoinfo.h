// Which ODBC functions the driver offers (SQLGetFunctions).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

struct LmoDbc;
struct LmoStmt;

inline constexpr int32_t kApiAllFunctions = 0;       // 100 booleans
inline constexpr int32_t kApiOdbc3AllFunctions = 999;  // a bitmap of 250 words
inline constexpr int32_t kApiOdbc3AllFunctionsSize = 250;
inline constexpr int32_t kApiAllFunctionsSize = 100;

// 1 when the driver offers the function of that id, else 0; five of them
// depend on the connection's information flags.
int32_t checkFunctionSupport(const LmoDbc* dbc, int32_t id);
// Answers one id, all ids below 100 as booleans (id 0) or all ids as a
// bitmap (id 999). Always 0.
int16_t QVSQLGetFunctions(LmoDbc* dbc, uint16_t id, uint16_t* out);

// ---------------------------------------------------------------------------
// SQLGetInfo and the server's information (lmogetinfo.cpp)

// C types of the information requests.
inline constexpr int16_t kQvInfoCChar = 1;
inline constexpr int16_t kQvInfoCLong = 4;
inline constexpr int16_t kQvInfoCShort = 5;

// The longest command the special-command road sends, terminator included.
inline constexpr int32_t kQvInfoCommandSize = 1024;

// How the driver answers an information type.
enum class QvInfoKind : uint8_t {
  Refused,     // S1C00
  Local,       // by the driver itself
  Short,       // 16-bit, column INFO_INT, cached
  Long,        // 32-bit, column INFO_BITMASK, cached
  Text,        // column INFO_TEXT, cached
  AlwaysText,  // 8192: asked every time
  AlwaysLong,  // 8193: asked every time
};
QvInfoKind QvInfoKindOf(uint16_t type);

// The text that asks the server for one information value: "<key> <column>"
// for the special command, else the query on QV_INFO (with the schema
// owner in front of the table when one is set).
std::string QvBuildQvInfoQuery(const LmoDbc* dbc, const char* column, const char* key);

// Asks the server for one value on a statement of its own: the query (or,
// with the special-command flag, the key text of _QV_GET_INFO) is run and
// column 1 of its first row fetched as `cType` into `buffer` of `length`
// bytes (NULL or an empty text buffer: a local one). 0 (or 110) with
// *indicator set; 1 when the value was cut (*indicator: its whole length);
// 100 when the server has no row; the failing step's result otherwise, its
// diagnostics then on the connection. Runs on the connection's context
// (inside a dispatched call).
int16_t QvRequestInfo(LmoDbc* dbc, void* buffer, int64_t length, int64_t* indicator, const char* text, int16_t cType);
// The special command "_QV_GET_INFO <key text>"; one of 1,024 characters
// or more is refused with -1.
int16_t QvRequestInfoSpecialCmd(LmoDbc* dbc, void* buffer, int64_t length, int64_t* indicator, const char* key,
                                int16_t cType);

// ---------------------------------------------------------------------------
// Connection and statement options (lmooption.cpp)

// What SQLGetConnectOption (SQL_CURRENT_QUALIFIER) may write: the database
// name, terminator included.
inline constexpr int32_t kQvQualifierOutBytes = 256;

// The RDA connection is associated.
bool lmoConnectionOpen(LmoDbc* dbc);

// Runs `body` on the connection's context as the dispatch runs a core: under
// the connection's mutex (single-threaded: the driver-wide one), with the
// connection's records keyed to the calling thread. For the exported
// helpers that make requests of their own.
template <class F>
int16_t QvRunOnConnection(LmoDbc* dbc, F&& body);
int16_t QvRunOnConnectionFn(LmoDbc* dbc, int16_t (*fn)(void*), void* arg);
template <class F>
int16_t QvRunOnConnection(LmoDbc* dbc, F&& body) {
  using Body = std::remove_reference_t<F>;
  return QvRunOnConnectionFn(dbc, [](void* p) -> int16_t { return (*static_cast<Body*>(p))(); }, &body);
}
// Moves the statement's diagnostics (the driver's, then the RDA client's)
// onto its connection's list, before the statement is dropped.
void lmoMoveStmtErrors(LmoStmt* stmt, LmoDbc* dbc);
// Runs a driver command on a statement of its own: the execution's result
// when it failed (its diagnostics then on the connection), else the drop's.
// Runs on the connection's context.
int16_t QvExecuteCustomCommand(LmoDbc* dbc, const char* command);
