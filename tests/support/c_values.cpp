#include "support/c_values.h"

#include <cstdio>
#include <cstring>

#include "src/rdaclient/rdacli_cvrt.h"

std::string shownAs(int16_t c, const void* buffer, size_t size) {
  char out[96];
  auto as = [&](auto v) {
    std::memcpy(&v, buffer, sizeof v);
    return v;
  };
  switch (c) {
    case RDA_CLI_C_ULONG: std::snprintf(out, sizeof out, "%u", as(uint32_t{})); break;
    case RDA_CLI_C_USHORT: std::snprintf(out, sizeof out, "%u", unsigned{as(uint16_t{})}); break;
    case RDA_CLI_C_SLONG:
    case RDA_CLI_C_LONG: std::snprintf(out, sizeof out, "%d", as(int32_t{})); break;
    case RDA_CLI_C_SSHORT:
    case RDA_CLI_C_SHORT: std::snprintf(out, sizeof out, "%d", int{as(int16_t{})}); break;
    case RDA_CLI_C_BIT:
    case RDA_CLI_C_TINYINT:
    case RDA_CLI_C_BINARY: std::snprintf(out, sizeof out, "%u", unsigned{as(uint8_t{})}); break;
    case RDA_CLI_C_FLOAT: std::snprintf(out, sizeof out, "%.7g", double{as(float{})}); break;
    case RDA_CLI_C_DOUBLE: std::snprintf(out, sizeof out, "%.15g", as(double{})); break;
    case RDA_CLI_C_DATE: {
      const auto d = as(RdaCliDate{});
      std::snprintf(out, sizeof out, "%d-%d-%d", d.year, d.month, d.day);
      break;
    }
    case RDA_CLI_C_TIME: {
      const auto t = as(RdaCliTime{});
      std::snprintf(out, sizeof out, "%d:%d:%d", t.hour, t.minute, t.second);
      break;
    }
    case RDA_CLI_C_TIMESTAMP: {
      const auto t = as(RdaCliTimestamp{});
      std::snprintf(out, sizeof out, "%d-%d-%d %d:%d:%d.%u", t.year, t.month, t.day, t.hour,
                    t.minute, t.second, t.fraction);
      break;
    }
    default: {
      const auto* text = static_cast<const char*>(buffer);
      return std::string(text, strnlen(text, size));
    }
  }
  return out;
}
