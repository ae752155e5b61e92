#include "src/session/sessiontls.h"

#include "src/session/stimer.h"
#include "src/session/tp0tcp.h"

const StpParams qv_s_tpParams = {
    "TP0TCP",     // provider name
    255,          // listen queue length
    65531,        // TPDU size
    1,            // fork flag
    0xFFFFFFFFu,  // process limit: never reached
    1000,         // poll wait, seconds
    0,            // address selection
    1,            // provider kind
    0,            // transport class
    0,            // establishment limit: none
};

const StackInfo qv_s_stackInfo = {3, {{"TP0TCP", "duvik-1"}, {"TP4", "duvik-1"}, {"TP024", "duvik-1"}}};

TLSFamily<SessionTLS> gSessionTLS(&hSerializeSessionMutex,
                                  TLSMissTrace{&sess_TM_handle, 0, 9, "src/sinit",
                                               "Could not found Session TLS for %lX thread"});

namespace {

bool prepareSession(SessionTLS* t) {
  t->sessionError = 0;
  t->users.next = t->users.prev = &t->users;
  t->machines.next = t->machines.prev = &t->machines;
  Tp0Block& tp = t->tp0;
  tp.held.next = tp.held.prev = &tp.held;
  tp.listenSocket = -1;
  tp0tcp_resetTable(&tp);
  t->tpParams = qv_s_tpParams;
  t->stackInfo = qv_s_stackInfo;
  t->spdu.pendingEvent = -1;
  return true;
}

}  // namespace

void session_freeRecords(SessionTLS* t) {
  // The transport's endpoints point at the connection records: their
  // sockets go with them.
  tp0tcp_dropAll(&t->tp0);
  const bool haveTimers = gSystemTLS.getOwn(0, false) != nullptr;
  for (SmLink* l = t->machines.next; l != nullptr && l != &t->machines;) {
    SmLink* following = l->next;
    auto* s = static_cast<Smachine*>(l);
    if (haveTimers) STIMcan(s);
    delete s;
    l = following;
  }
  t->machines.next = t->machines.prev = &t->machines;
  for (SsLink* l = t->users.next; l != nullptr && l != &t->users;) {
    SsLink* following = l->next;
    delete static_cast<SsUser*>(l);
    l = following;
  }
  t->users.next = t->users.prev = &t->users;
}

int32_t initSessionTLS() { return gSessionTLS.init(prepareSession); }

SessionTLS* getSessionTLS(int32_t remove) { return gSessionTLS.getOwn(remove); }

void removeSessionTLS() {
  SessionTLS* t = gSessionTLS.getOwn(1);
  if (t == nullptr) return;
  session_freeRecords(t);
  if (t->tp0.listenSocket >= 0) (void)tp0tcp_closeSocket(t->tp0.listenSocket);
  delete t;
}

void destroySessionTLSCache() { gSessionTLS.destroyCache(); }
