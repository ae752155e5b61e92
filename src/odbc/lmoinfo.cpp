#include "src/odbc/lmoinfo.h"

#include <algorithm>

#include "src/odbc/lmo.h"

int32_t checkFunctionSupport(const LmoDbc* dbc, int32_t id) {
  const uint64_t flags = dbc != nullptr ? dbc->flags : 0;
  if ((id >= 1 && id <= 23) || (id >= 40 && id <= 54)) return 1;
  switch (id) {
    case 57: case 60: case 63: case 65: case 66: case 67: case 71: case 72:
    case 1001: case 1003: case 1005: case 1006: case 1007: case 1012: case 1014: case 1016: case 1019: case 1020:
      return 1;
    case 55: return (flags & kLmoDbcBrowseConnect) != 0 ? 1 : 0;
    case 58: return (flags & kLmoDbcDescribeParam) != 0 ? 1 : 0;
    case 59: return (flags & kLmoDbcExtendedFetch) != 0 ? 1 : 0;
    case 61: return (flags & kLmoDbcMoreResults) != 0 ? 1 : 0;
    case 1021: return (flags & kLmoDbcFetchScroll) != 0 ? 1 : 0;
    default: return 0;
  }
}

int16_t QVSQLGetFunctions(LmoDbc* dbc, uint16_t id, uint16_t* out) {
  if (out == nullptr) return 0;
  if (id == kApiOdbc3AllFunctions) {
    std::fill(out, out + kApiOdbc3AllFunctionsSize, 0);
    auto mark = [&](int32_t f) {
      if (checkFunctionSupport(dbc, f) != 0) out[f >> 4] = static_cast<uint16_t>(out[f >> 4] | (1u << (f & 15)));
    };
    for (int32_t f = 1; f <= 72; ++f) mark(f);
    for (int32_t f = 1001; f <= 1021; ++f) mark(f);
    return 0;
  }
  if (id == kApiAllFunctions) {
    for (int32_t f = 0; f < kApiAllFunctionsSize; ++f) out[f] = static_cast<uint16_t>(checkFunctionSupport(dbc, f));
    return 0;
  }
  *out = static_cast<uint16_t>(checkFunctionSupport(dbc, id));
  return 0;
}
