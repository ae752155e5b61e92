// General-utility per-thread record: stopwatch, configuration file paths,
// the re-entrant global-lock count and the stack's last error number.
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct GutilTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  int64_t startSec;
  int64_t startUsec;
  int64_t stopSec;
  int64_t stopUsec;
  char schemaPath[512];
  char iniFile[512];      // main configuration file found for this thread
  char drdFile[512];      // database-resource file
  char infoFile[512];     // information file
  int32_t schemaPathSet;  // the schema path has been read
  int32_t globalLockCount;
  int32_t osiErrno;
  char serverAddress[128];
  GutilTLS* next;
  char portOverride[32];
};

extern TLSFamily<GutilTLS> gGutilTLS;

int32_t initGutilTLS();
GutilTLS* getSpecificGutilTLS(uint64_t threadId, int32_t remove);
GutilTLS* getGutilTLS(int32_t remove);
void removeGutilTLS();
void destroyGutilTLSCache();

int32_t QvGetGlobalMutexLockCount();
int32_t QvIncGlobalMutexLockCount();
int32_t QvDecGlobalMutexLockCount();

void QvSetOsiError(int32_t err);
int32_t QvGetOsiError();

void timerStart();
double timerStop();
