// The set of thirteen per-thread records that a thread (with multi-threading
// on: a connection) runs the stack on, and the transport's two hooks. The
// process mutexes come with it from their registry in common/. Each ODBC
// connection record holds one and passes its address to these calls.
#pragma once

#include <cstdint>

#include "common/qvmutexes.h"
#include "common/qvthread.h"
#include "common/timer2.h"
#include "src/acse/acsetls.h"
#include "src/acse/altls.h"
#include "src/odbc/lmotls.h"
#include "src/rda/rdatls.h"
#include "src/rdaclient/rdaclitls.h"
#include "src/runtime/xm.h"
#include "src/session/sessiontls.h"
#include "src/session/systemtls.h"

// The thirteen records of one set, in set order.
struct AllTLS {
  LmoTLS* lmo;
  XmTLS* xm;
  GutilTLS* gutil;
  RdaCliTLS* rdaCli;
  AlTLS* al;
  SystemTLS* system;
  RdaAseTLS* rdaAse;
  AcseAseTLS* acseAse;
  RdaAeTLS* rdaAe;
  RdaSacfTLS* rdaSacf;
  RdaSurTLS* rdaSur;
  AcseTLS* acse;
  SessionTLS* session;
};

// The transport's two hooks; start-up hands them to the transport with
// tp0tcp_setThreadHooks (src/session/tp0tcp.h).
int32_t QvIsMainThread();
// The transport's poll loop found its listening socket readable: hands the
// connection to the listening side (no thread is made). Its answer.
int32_t QvCreateThreadOrAcceptConnection();

// The set of the thread that ran the driver's start-up.
extern AllTLS MainTLS;

int32_t QvCreateAllTLS();
// As QvCreateAllTLS, for the families the calling thread has no record of
// yet (a start-up tried again after one that failed half-way).
int32_t QvCreateMissingTLS();
void QvRemoveAllTLS();
void QvRemoveAllTLSFromCache();
void QvGetAllTLS(AllTLS* set);
// Writes the id into each record of the set and its cache slot; the
// LmoTLS's previous owner id.
uint64_t QvChangeThreadIdInAllTLS(AllTLS* set, uint64_t threadId);
// The calling thread's records into MainTLS.
void QvGetAllMainTLS();
uint64_t QvChangeThreadIdInAllMainTLS(uint64_t threadId);
// Writes the id into MainTLS's cache slots only (the records keep their
// owner id); the LmoTLS's owner id.
uint64_t QvChangeThreadIdInAllMainTLSInCache(uint64_t threadId);
