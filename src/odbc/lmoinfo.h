// Which ODBC functions the driver offers (SQLGetFunctions).
#pragma once

#include <cstdint>

struct LmoDbc;

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
