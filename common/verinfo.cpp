#include "common/verinfo.h"

#include <cstdio>

#include "src/runtime/tm.h"

namespace {

constexpr const char* kProductVersion = "1.0.0.0";

constexpr const char* kCompileFlags[] = {
    "EXPORTDLL",   "TM_TRACE",    "OPTIMIZE_TM_TRACE",        "LINT_ARGS",
    "PACK_PACKET", "MEASURE_TURN_AROUND_TIME", "SUPPORT_SESS_FORK", "MEASURE_TIME",
};

}  // namespace

const char* QvGetProductVersion() { return kProductVersion; }

void traceVersionInfo() { TM_TRACE(1, 16, "common/verinfo", "Product Version: %s\n", QvGetProductVersion()); }

void versionInfo() {
  std::printf("Product Version: %s\n", QvGetProductVersion());
  std::printf("Compiled with the following flags:\n");
  for (const char* flag : kCompileFlags) std::printf("%s\t", flag);
  std::printf("\n");
  std::printf("Compiled on %s,%s\n", __TIME__, __DATE__);
}
