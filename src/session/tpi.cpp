#include "src/session/tpi.h"

#include <cstring>

#include <unistd.h>

#include "common/qvstring.h"
#include "src/session/sessiontls.h"

int32_t SessPollWaitTime = 1000;
int32_t parentPid = 0;
const TpiHooks* gTpiHooks = nullptr;

namespace {

constexpr const char* kSrc = "src/tpi";

template <class Fn>
Fn hook(Fn TpiHooks::*member) {
  return gTpiHooks != nullptr ? gTpiHooks->*member : nullptr;
}

}  // namespace

uint32_t init_ifc(TpLocalAddr* params) {
  if (auto h = hook(&TpiHooks::initIfc)) return h(params);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tinit_ifc() called.Initializing interface. SessPollWaitTime=%d\n",
           SessPollWaitTime);
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return S_UNSPECIFIED;
  t->tpParams.pollWait = SessPollWaitTime;
  t->localAddr = params != nullptr ? *params : TpLocalAddr{};
  t->localParams = params;
  // No transport to start, and no listening side: the thread never forks.
  t->tpParams.forkFlag = 0;
  TM_TRACE(sess_TM_handle, 16, kSrc, "TPI:\tRunning in Client Mode. Forking is %s\n", "Disabled");
  parentPid = static_cast<int32_t>(getpid());
  TM_TRACE(sess_TM_handle, 64, kSrc, "TPI:\tInterface initialized.\n");
  return 0;
}

uint32_t close_ifc() {
  if (auto h = hook(&TpiHooks::closeIfc)) return h();
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tclose_ifc() called.\n\tclose interface.\n");
  return 0;
}

uint32_t s_tp_bind(const char* genericName, const char* deviceName, void* arg) {
  if (auto h = hook(&TpiHooks::tpBind)) return h(genericName, deviceName, arg);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\ts_tp_bind() called.");
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return S_UNSPECIFIED;
  if (genericName == nullptr || gqv_strcmp(genericName, "TP0TCP") != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\tNo device name for %s\n", genericName != nullptr ? genericName : "");
    return kTpiNoProvider;
  }
  if (t->bound != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\tAttempt to bind to %s more than once.\n", genericName);
    return kTpiAlreadyBound;
  }
  if (t->tpParams.listenQLen <= 0) return 0;  // client role: nothing to bind
  return kTpiListenFailed;                    // no listening side to open
}

uint32_t TCONreq(Smachine* s) {
  if (auto h = hook(&TpiHooks::tconReq)) return h(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tTCONreq() called.\n\tCreating transport connection.\n");
  if (s == nullptr) return kTpiConnectFailed;
  s->tcepId = -1;
  if (SessionTLS* t = getSessionTLS(0)) t->tpParams.forkFlag = 0;
  return kTpiConnectFailed;  // no transport to connect with
}

void TCONres(Smachine* s) {
  if (s == nullptr) return;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tTCONres() called (TCEP %d).\n", s->tcepId);
}

uint32_t s_receive(Smachine* s) {
  if (auto h = hook(&TpiHooks::receive)) return h(s);
  if (s == nullptr) return 0;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\ts_receive() called (TCEP %d).\n", s->tcepId);
  switch (s->state) {
    case STA01:
    case STA01B:
      break;
    case STA01A:
    case STA15D:
    case STA16:
      s->credit = 1;
      break;
    case STA01C:
      if (s->acc == 1) s->credit = 1;
      break;
    default:
      break;
  }
  return 0;
}

uint32_t s_transmit(Smachine* s) {
  if (auto h = hook(&TpiHooks::transmit)) return h(s);
  if (s == nullptr) return 0;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\ts_transmit() called (TCEP %d)\n", s->tcepId);
  return 0;  // no endpoint to write to: the output queue keeps its buffers
}

uint32_t disconnect(Smachine* s) {
  if (auto h = hook(&TpiHooks::disconnect)) return h(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tdisconnect() called.\n");
  if (s == nullptr) return 1;
  s->state = STA01;
  return 1;  // the connection has no transport endpoint
}

void TEXPreq(Smachine*, const uint8_t*, uint32_t) {}

int32_t do_session_queue() { return -1; }  // no socket alive, so no timer pass either

void CloseCon(Smachine*) {}

void reclaim_buf() {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return;
  SessionBuffer* head = &t->tp0.held;
  if (head->next == nullptr) return;
  while (head->next != head) bfree(head->next);
}

void s_destruct(Smachine* s) {
  if (s == nullptr) return;
  TM_TRACE(sess_TM_handle, 64, kSrc, "TPI:\tSimulating transport abort (TCEP %d).\n", s->tcepId);
}

uint32_t QvIsMultiProcessed() {
  const SessionTLS* t = getSessionTLS(0);
  return t != nullptr ? t->tpParams.forkFlag : 0;
}

void S_tpi_updateReceiveCreditAndPostReceiveBuffer(Smachine* s, uint32_t credit) {
  if (s == nullptr) return;
  s->credit += credit;
  (void)s_receive(s);
}

uint32_t S_tpi_forceCreditToNonZero(Smachine*) { return 0; }
void S_tpi_enable_input(Smachine*) {}
void S_tpi_disable_input(Smachine*) {}
void S_tpi_initSpmTInfo(Smachine*) {}
void S_tpi_releaseBuffers(Smachine*) {}
uint32_t S_tpi_invalidProviderGenericName(const char*) { return 0; }

uint32_t S_tpi_couldSendConnectResponseAndAllocateBuffer(Smachine*, SessionBuffer** out) {
  if (out != nullptr) *out = nullptr;
  return 1;
}

void S_tpi_postSpecialReceiveBuffer(Smachine*, SessionBuffer*) {}
void S_tpi_postReceiveBuffer(Smachine*) {}
uint32_t S_tpi_receiveBufferOutstanding(Smachine*) { return 1; }
uint32_t S_tpi_handleSReceiveRequest(Smachine*) { return 0; }
