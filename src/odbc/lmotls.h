// Per-thread record of the ODBC layer. With multi-threading on it is the
// execution context of one connection: the dispatch stores the number and
// the argument words of the call being run in it, and its connection mutex
// runs the calls on that connection one at a time.
#pragma once

#include <cstdint>
#include <cwchar>

#include "common/qvthread.h"
#include "common/tlsfamily.h"

struct LmoDbc;

inline constexpr int32_t kLmoArgWords = 25;
inline constexpr int32_t kLmoMsgBufBytes = 4096;
inline constexpr int32_t kLmoInfoScratch = 2048;

struct LmoTLS {
  uint64_t ownerThreadId;  // 0 while parked
  TLSCacheSlot* cacheSlot;
  // Attributes of the last driver or browse connect on this context.
  wchar_t dsn[129];
  wchar_t uid[513];
  wchar_t pwd[513];
  wchar_t database[129];
  wchar_t extendedFunctions[129];
  int32_t browseStep;
  uint64_t windowHandle;
  char infoScratch[kLmoInfoScratch];
  LmoDbc* servedDbc;     // single-threaded: the connection allocated last
  int32_t funcNumber;    // 1-46
  uint64_t args[kLmoArgWords];
  int16_t result;
  QvMutexHandle connMutex;  // multi-threaded only
  LmoTLS* next;
  // Scratch text: 4096 bytes or 1024 wide characters.
  alignas(wchar_t) char msgBuf[kLmoMsgBufBytes];
};

extern TLSFamily<LmoTLS> gLmoTLS;

int32_t initLmoTLS();
// The caller's record (with remove set, unlinked from list and cache); a
// miss is traced on the ODBC call trace.
LmoTLS* getLmoTLS(int32_t remove);
void removeLmoTLS();
void destroyLmoTLSCache();

char* qvGetLmoMsgBuf();
wchar_t* qvGetLmoMsgBufW();
