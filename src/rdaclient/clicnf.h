// Filling the client configuration record from the configuration: the
// accessors of each field, and the trace masks of the stack's modules.
#pragma once

#include <cstdint>

struct RdaCliConfInfo;

// Reads the poll wait time and the keep-alive switch of the transport, then
// fills the calling thread's record. 1 on success, 0 with the record's
// error number set.
int32_t RDA_cliInitConfInfo();
// Runs the accessors in order, stopping at the first that fails, then sets
// the trace masks. 0, or 1 on failure.
int32_t RDA_cliIniParse();

// Appends a user of that name to the record: 0, or 1 with the record's
// error number set.
int32_t confAddUser(RdaCliConfInfo* c, const char* name);

// Accessors: 0, or 1 with the record's error number set.
int32_t GetTraceOutput(RdaCliConfInfo* c);
int32_t GetTransport(RdaCliConfInfo* c);
int32_t GetLocalName(RdaCliConfInfo* c);
int32_t GetNumOfBuffers(RdaCliConfInfo* c);
int32_t GetBufferSize(RdaCliConfInfo* c);
int32_t GetFetchBlockSize(RdaCliConfInfo* c);
int32_t GetRDAUserName(RdaCliConfInfo* c);
int32_t GetRspTimeOut(RdaCliConfInfo* c);
int32_t GetServerName(RdaCliConfInfo* c);
int32_t GetControl(RdaCliConfInfo* c);
int32_t GetConformLevel(RdaCliConfInfo* c);
int32_t GetCharSet(RdaCliConfInfo* c);
int32_t GetUsageMode(RdaCliConfInfo* c);
int32_t GetRsrcName(RdaCliConfInfo* c);

// ---- Trace masks ([TraceClient] <module>=words) ----

// A trace-mask word and its bits.
struct TraceMaskBits {
  const char* word;
  uint32_t bits;
};
inline constexpr int32_t kTraceMaskWords = 12;
extern const TraceMaskBits traceMaskBits[kTraceMaskWords];

// Sets the mask of each of the record's 14 trace rows from the
// configuration. 0.
int32_t SetTraceMask(RdaCliConfInfo* c);
// The mask of one module from the configuration into `*maskOut`; an empty
// value, or one whose words all match nothing, leaves it unchanged. 0.
int32_t GetTraceMask(const char* module, uint32_t* maskOut);
// ORs into `*mask` the bits of every word of `text` (cut at '|' and blanks)
// that matches a trace-mask word exactly. 0, or 1 for a NULL text.
int32_t parseTraceMask(const char* text, uint32_t* mask);
