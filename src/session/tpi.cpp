#include "src/session/tpi.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "common/qvstring.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "src/session/sessiontls.h"
#include "src/session/stimer.h"
#include "src/session/tp0tcp.h"

int32_t SessPollWaitTime = 1000;
int32_t parentPid = 0;
struct sigaction sigChldFunct {};
sigset_t SigCldMask{};
const TpiHooks* gTpiHooks = nullptr;

namespace {

constexpr const char* kSrc = "src/tpi";

template <class Fn>
Fn hook(Fn TpiHooks::*member) {
  return gTpiHooks != nullptr ? gTpiHooks->*member : nullptr;
}

bool isHandlerFunction(const struct sigaction& a) {
  if ((a.sa_flags & SA_SIGINFO) != 0) return a.sa_sigaction != nullptr;
  return a.sa_handler != SIG_DFL && a.sa_handler != SIG_IGN;
}

bool isOurChildHandler(const struct sigaction& a) {
  return (a.sa_flags & SA_SIGINFO) == 0 && a.sa_handler == processTermChld_handler;
}

// A write to a closed socket gives the transport an error instead of ending
// the process; a handler the host program installed stays.
void ignoreSigpipe() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction previous {};
  if (sigaction(SIGPIPE, &ignore, &previous) != 0) return;
  if (isHandlerFunction(previous)) (void)sigaction(SIGPIPE, &previous, nullptr);
}

// Collects the children that have ended (server role).
void reapChildren(SessionTLS* t) {
  for (;;) {
    const pid_t pid = waitpid(-1, nullptr, WNOHANG | WUNTRACED);
    if (pid == 0) return;
    if (pid > 0) {
      if (t->children > 0) --t->children;
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TPI:\tReceived Terminated proecess signal from child process #%d,\n\ttotal running processes are %d.\n",
               static_cast<int>(pid), static_cast<int>(t->children));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != ECHILD) TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\twaitpid() failed errno=%d.\n", errno);
    return;
  }
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
  ignoreSigpipe();

  if (const uint32_t r = tp0tcp_init(); r != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TPI :\ttp0tcp_init() has failed, Error Code (%d).\n", static_cast<int>(r));
    return r;
  }

  t->tpParams.forkFlag = 0;
  if (t->tpParams.listenQLen > 0) {
    char file[QV_PATH_SIZE] = "";
    (void)qv_getInfo(QV_INFO_INIFILE, 0, file, sizeof file, sess_TM_handle);
    const int32_t fork = GetPrivateProfileInt("SERVER", "ForkOnConnect", -1, file);
    if (fork != -1) t->tpParams.forkFlag = static_cast<uint32_t>(fork);
    TM_TRACE(sess_TM_handle, 16, kSrc, "TPI:\tForking is %s\n", t->tpParams.forkFlag != 0 ? "Enabled" : "Disabled");
  } else {
    TM_TRACE(sess_TM_handle, 16, kSrc, "TPI:\tRunning in Client Mode. Forking is %s\n",
             t->tpParams.forkFlag != 0 ? "Enabled" : "Disabled");
  }
  parentPid = static_cast<int32_t>(getpid());

  if (t->tpParams.forkFlag != 0) {
    struct sigaction handler {};
    handler.sa_handler = processTermChld_handler;
    sigemptyset(&handler.sa_mask);
    struct sigaction previous {};
    // A second start on the same process keeps the host's disposition, not
    // our own handler, as the one to put back.
    if (sigaction(SIGCHLD, &handler, &previous) == 0 && !isOurChildHandler(previous)) sigChldFunct = previous;
    sigemptyset(&SigCldMask);
    sigaddset(&SigCldMask, SIGCHLD);
  }
  TM_TRACE(sess_TM_handle, 64, kSrc, "TPI:\tInterface initialized.\n");
  return 0;
}

uint32_t close_ifc() {
  if (auto h = hook(&TpiHooks::closeIfc)) return h();
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tclose_ifc() called.\n\tclose interface.\n");
  (void)tp0tcp_unbind();
  SessionTLS* t = getSessionTLS(0);
  if (t != nullptr && t->tpParams.forkFlag != 0) {
    reapChildren(t);
    (void)sigaction(SIGCHLD, &sigChldFunct, nullptr);
  }
  (void)tp0tcp_shutdown();
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
  const uint32_t r = tp0tcp_bind(t->localParams, t->tpParams.listenQLen);
  if (r == 0) t->bound = 1;
  TM_TRACE(sess_TM_handle, 64, kSrc, "TPI:\ts_tp_bind() \tBinding local transport provider.\n");
  return r;
}

uint32_t TCONreq(Smachine* s) {
  if (auto h = hook(&TpiHooks::tconReq)) return h(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tTCONreq() called.\n\tCreating transport connection.\n");
  if (s == nullptr) return kTpiConnectFailed;
  s->tcepId = -1;
  if (SessionTLS* t = getSessionTLS(0)) t->tpParams.forkFlag = 0;
  if (const uint32_t r = tp0tcp_conn_req(s); r != 0) return r;
  (void)s_receive(s);
  TM_TRACE(sess_TM_handle, 64, kSrc, "TPI:\tTransport connection established (TCEP %d).\n", s->tcepId);
  return 0;
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
  if (s->tcepId == -1 || s->state == STA01 || s->state == STA01B) return 0;
  return static_cast<uint32_t>(tp0tcp_data_req(s));
}

uint32_t disconnect(Smachine* s) {
  if (auto h = hook(&TpiHooks::disconnect)) return h(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tdisconnect() called.\n");
  if (s == nullptr) return 1;
  const int32_t r = tp0tcp_disconn_req(s, 0);
  s->state = STA01;
  return static_cast<uint32_t>(r);
}

void TEXPreq(Smachine*, const uint8_t*, uint32_t) {}

int32_t do_session_queue() {
  (void)tp0tcp_reportReapedChildren();
  const int32_t r = tp0tcp_poll_events();
  if (r >= 0) do_timer_queue();
  return r;
}

void CloseCon(Smachine*) {
  const SessionTLS* t = getSessionTLS(0);
  if (t != nullptr && t->tpParams.forkFlag != 0)
    TM_TRACE(sess_TM_handle, 16, kSrc, "TPI:\tTerminating the current process ID=%d\n", static_cast<int>(getpid()));
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

void S_tpi_releaseBuffers(Smachine* s) {
  if (TCEP* e = tp0tcp_tcepOf(s)) tp0tcp_close_con(e);
}

uint32_t S_tpi_expeditedAvailable(Smachine*) { return 0; }
uint32_t S_tpi_invalidProviderGenericName(const char*) { return 0; }

uint32_t S_tpi_couldSendConnectResponseAndAllocateBuffer(Smachine*, SessionBuffer** out) {
  if (out != nullptr) *out = nullptr;
  return 1;
}

void S_tpi_postSpecialReceiveBuffer(Smachine*, SessionBuffer*) {}
void S_tpi_postReceiveBuffer(Smachine*) {}
uint32_t S_tpi_receiveBufferOutstanding(Smachine*) { return 1; }
uint32_t S_tpi_handleSReceiveRequest(Smachine*) { return 0; }
