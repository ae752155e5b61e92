// Per-thread record of the RDA client (with multi-threading on, of the
// connection whose record set the thread serves): the scratch buffers in
// which the client composes its texts, the stack start-up areas, and the
// thread's configuration record and server list.
#pragma once

#include <cstdint>
#include <cwchar>

#include "common/tlsfamily.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"

struct RdaCliConfInfo;
struct RdaSrvrList;

inline constexpr int32_t kRdaCliSqlTextSize = 32769;
inline constexpr int32_t kRdaCliNumTextSize = 44;
inline constexpr int32_t kRdaCliCmdSize = 8193;  // wide characters
inline constexpr int32_t kRdaCliMsgSize = 1024;

struct RdaCliTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  char sqlText[kRdaCliSqlTextSize];   // SQL statement being composed
  char numText[kRdaCliNumTextSize];   // numeric text, written backwards, NUL in the last octet
  uintptr_t diagCursor;               // entries of an error list rda_cliGetError has read
  wchar_t command[kRdaCliCmdSize];    // a driver command, at most 8192 characters and NUL
  TpLocalAddr sessParams;             // local transport address given to the session start-up
  SSAPaddr accessPoint;               // session selector registered at start-up
  RdaCliConfInfo* confInfo;           // the thread's client configuration record
  RdaSrvrList* srvrList;              // the thread's server list
  char msgBuf[kRdaCliMsgSize];        // diagnostic text being built
  RdaCliTLS* next;
};

extern TLSFamily<RdaCliTLS> gRdaCliTLS;

int32_t initRdaCliTLS();
// The calling thread's record; with `remove` set it is also unlinked from
// the list and the cache. A miss is traced, with a dump of the family.
RdaCliTLS* getRdaCliTLS(int32_t remove);
// As getRdaCliTLS, for callers to whom a missing record is normal: a miss
// writes one quiet line and no dump.
RdaCliTLS* check_and_getRdaCliTLS(int32_t remove);
void removeRdaCliTLS();
void destroyRdaCliTLSCache();
// The calling thread's message buffer (kRdaCliMsgSize octets); NULL without
// a record.
char* qvGetRdaCliMsgBuf();
// Writes the cache and the list of the family into the client's trace,
// under `title`. The caller holds hSerializeRdaCliMutex.
void traceRdaCliTLS(const char* title);
