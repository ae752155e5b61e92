// Start-up and shut-down of the protocol stack under the RDA client. One
// instance runs per record set: the process's first environment starts the
// first (mode 0), which also owns what is process-wide (the trace manager
// and its modules, the SQLSTATE table, the presentation address, the random
// seed, packet encryption); with multi-threading on every connection starts
// one of its own (mode 1).
#pragma once

#include <cstdint>

#include "src/asn1/ul_types.h"
#include "src/session/session.h"

inline constexpr int32_t RDA_CLI_MODE_FIRST = 0;       // the first instance of the process
inline constexpr int32_t RDA_CLI_MODE_CONNECTION = 1;  // a connection's own instance

// Error of a start-up whose trace modules cannot be registered.
inline constexpr uint32_t RDA_ERR_TRACE_MODULE = 52506;

// The presentation address of the process, set by the first instance and
// copied into the local entity of every later one; its octets live in the
// first instance's configuration record.
extern UL_Paddress gQvPaddress;
// The main configuration file's path, as the start-up read it.
inline constexpr int32_t kLumaroInitFileSize = 512;
extern char gpLumaroInitFile[kLumaroInitFileSize];
// [COMMON] RdaStmtOptimizeLevel: bits 0-2 the level the client asks for,
// bits 3-5 credentials scrambled.
extern int32_t giRdaStmtOptimizeLevel;
// The trace file of the start-up: DEFAULT_TRACE_OUTPUT, else "qvstart.log".
extern char gszRdaCliStartupTrace[TM_FILE_NAME_SIZE];

// Brings the calling thread's stack up: 1, or 0 with the reason (an
// osi_errno value, RDA_ERR_NO_RESOURCE or RDA_ERR_TRACE_MODULE) in `*err`.
// A failed start-up leaves nothing of itself started.
int32_t RDA_cliDuvikInit(uint32_t* err, int32_t mode);
// Takes it down, stopping with a trace at the first step that fails.
void RDA_cliDuvikTerm(int32_t mode);

// The entries of the layers that start-up and shut-down call where a step
// can fail; tests point gRdaCliStackOps elsewhere to make one fail.
struct RdaCliStackOps {
  int32_t (*sActivate)(const SSAPaddr* selector, SsIndication callback);
  int32_t (*sDeactivate)(const SSAPaddr* selector);
  int32_t (*aeInit)();
  int32_t (*surInit)();
  int32_t (*aeTerm)();
  int32_t (*surTerm)();
};
extern const RdaCliStackOps kRdaCliStackOps;
extern const RdaCliStackOps* gRdaCliStackOps;
