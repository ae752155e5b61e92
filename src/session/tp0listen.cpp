// The listening side of TP0 over TCP: the listening socket of a server-role
// thread, accepted connections (CR answered with CC, T-CONNECT indication
// to the session machine) and, with the fork switch on, one child process
// per connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/stimer.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"

int32_t giQuietMode = 0;
void (*tp0tcp_onEstablishCut)(const sockaddr_in* peer, int32_t crReceived) = nullptr;

namespace {

constexpr const char* kSrc = "src/tp0tcp";
constexpr int32_t kMaxListenQueue = 255;

// Children collected by the SIGCHLD handler, reported (and taken off the
// thread's count) by the next normal pass. The handler touches nothing but
// these: no lock, no stdio, no thread record.
constexpr uint32_t kReapRing = 64;
std::atomic<uint32_t> gReapHead{0};
uint32_t gReapTail = 0;  // read by the listening thread only
std::atomic<int32_t> gReapedPid[kReapRing];

int32_t everyThreadListens() { return 1; }

std::atomic<int32_t (*)()> gIsMainThread{everyThreadListens};
std::atomic<int32_t (*)()> gAcceptConnection{tp0tcp_procSocketConInd};

// Frees a connection record the session layer never took (or gave up),
// when it is still one of the thread's.
void releaseMachine(SessionTLS* t, Smachine* s) {
  if (s == nullptr || t == nullptr) return;
  if (!s_isLive(t, s)) return;
  const uint32_t released = t->released;
  s_release(s);
  t->released = released;
}

// A new child keeps only the connection it serves: every other endpoint
// the parent had in use is let go of (this process's copy of its socket
// closed, never written to; its buffers and tree freed). An accepted
// connection still waiting for its CR (the parent hands each connection to
// a child at its CR, so that is all a forking parent holds) has a record
// the session user never saw: it goes too, with its timers. The parent's
// children and the ends of children not yet reported are the parent's.
void keepOnlyOwnConnection(SessionTLS* t, TCEP* own) {
  Tp0Block& tp = t->tp0;
  for (TCEP& o : tp.tcep) {
    if (&o == own || o.state == kTcepFree) continue;
    Smachine* owner = o.owner;
    const bool unseen = owner != nullptr && owner->tcepId == tp0tcp_tcepId(&o) && o.state == kTcepCrSent &&
                        o.calledSide != 0;
    tp0tcp_forgetTcep(&o);
    if (unseen) releaseMachine(t, owner);
  }
  tp.cursor = own;
  t->children = 0;
  gReapTail = gReapHead.load(std::memory_order_acquire);
}

// Timer number of the establishment limit on an accepted connection's
// record (the session timer is number 0). The CONNECT SPDU cancels it with
// every other timer of the record, as does the record's release.
constexpr uint32_t kEstablishTimer = 1;

// The establishment limit ran out: a connection still without its CR, or
// with its CR and still without its CONNECT SPDU, is closed.
uint32_t establishExpired(uint64_t owner, uint32_t, uint64_t limit, uint32_t) {
  auto* s = reinterpret_cast<Smachine*>(owner);
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr || !s_isLive(t, s)) return 0;
  // No endpoint: in a child that serves another connection, the records
  // of the parent's connections are left without one.
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return 0;
  const bool crReceived = e->state != kTcepCrSent;
  if (crReceived && s->state != STA01C) return 0;
  char host[INET_ADDRSTRLEN] = "?";
  sockaddr_in peer{};
  std::memcpy(&peer, e->peerSockAddr, sizeof peer);
  (void)inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tConnection from %s:%d closed: no %s within %d seconds (TCEP %d).\n", host,
           static_cast<int>(ntohs(peer.sin_port)), crReceived ? "CONNECT SPDU" : "CR", static_cast<int>(limit),
           tp0tcp_tcepId(e));
  if (tp0tcp_onEstablishCut != nullptr) tp0tcp_onEstablishCut(&peer, crReceived ? 1 : 0);
  // Without a CR the record never reached the session user and goes with
  // the connection; after it, the session's own time-out ends both.
  if (crReceived) return s_fsm(s, nullptr, s->state, kEvTimer);
  tp0tcp_close_con(e);
  releaseMachine(t, s);
  return 0;
}

}  // namespace

uint32_t tp0tcp_reportReapedChildren() {
  SessionTLS* t = getSessionTLS(0);
  uint32_t n = 0;
  const uint32_t head = gReapHead.load(std::memory_order_acquire);
  while (gReapTail != head) {
    const int32_t pid = gReapedPid[gReapTail % kReapRing].load(std::memory_order_relaxed);
    ++gReapTail;
    ++n;
    if (t != nullptr && t->children > 0) --t->children;
    TM_TRACE(sess_TM_handle, 16, kSrc,
             "TPI:	Received Terminated proecess signal from child process #%d,\n\ttotal running processes are %d.\n",
             static_cast<int>(pid), t != nullptr ? static_cast<int>(t->children) : 0);
  }
  return n;
}

void tp0tcp_setThreadHooks(const Tp0ThreadHooks* hooks) {
  auto* isMain = hooks != nullptr ? hooks->isMainThread : nullptr;
  auto* accept = hooks != nullptr ? hooks->acceptConnection : nullptr;
  gIsMainThread.store(isMain != nullptr ? isMain : everyThreadListens, std::memory_order_release);
  gAcceptConnection.store(accept != nullptr ? accept : tp0tcp_procSocketConInd, std::memory_order_release);
}

int32_t tp0tcp_acceptWaiting() { return gAcceptConnection.load(std::memory_order_acquire)(); }

uint32_t tp0tcp_bind(TpLocalAddr* local, int32_t maxQueue) {
  if (gIsMainThread.load(std::memory_order_acquire)() == 0) return 0;
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return 32794;
  TSAPaddr none{};
  TSAPaddr* tsap = local != nullptr ? &local->tsap : &none;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_bind() called with tsap_id(%d,%d) and MaxQLen(%d)\n",
           tsap->sel[0], tsap->sel[1], maxQueue);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to create listening socket.\n\tsocket() failed: errno %d, %s\n",
             errno, std::strerror(errno));
    return 32794;
  }
  t->tp0.listenSocket = fd;
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to set socket option..\n\tsetsockopt() failed: errno %d, %s\n",
             errno, std::strerror(errno));
    return 32794;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (tsapd_port != -1) {
    addr.sin_port = htons(static_cast<uint16_t>(tsapd_port));
  } else if (cnvtTSAPToSocketPort(tsap, &addr.sin_port) == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tInvalid local TSAP.\n");
    return 32796;
  }
  const int shown = tsap->sel[0] * 256 + tsap->sel[1];
  if (giQuietMode == 0) {
    std::printf("Server is starting at port:%d\n", shown);
  } else {
    TM_TRACE(sess_TM_handle, 64, kSrc, "Server is starting at port:%d\n", shown);
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    TM_TRACE(sess_TM_handle, 8, kSrc,
             "TP0:\tUnable to bind local TSAP to listening socket.\n\tbind () failed: errno %d, %s\n", err,
             std::strerror(err));
    return err == EADDRNOTAVAIL || err == EADDRINUSE ? 32799 : 32796;
  }
  socklen_t len = sizeof addr;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc,
             "TP0:\tUnable to get socketname of the listening socket.\n\tbind () failed: errno %d, %s\n", errno,
             std::strerror(errno));
    return 32796;
  }
  // The selector holds the port actually used.
  (void)cnvtSocketPortToTSAP(tsap, addr.sin_port);
  if (local != nullptr) t->localAddr.tsap = local->tsap;
  const int queue = maxQueue < kMaxListenQueue ? maxQueue : kMaxListenQueue;
  TM_TRACE(sess_TM_handle, 64, kSrc, "Calling listen with MaxQLen:%d\n", queue);
  if (listen(fd, queue) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc,
             "TP0:\tCall to listen with MaxQLen %d failed.\n\tlisten () failed: errno %d, %s\n", queue, errno,
             std::strerror(errno));
    return 32796;
  }
  return 0;
}

uint32_t tp0tcp_unbind() {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_unbind() called\n");
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return 0;
  if (t->tp0.listenSocket != -1) (void)close(t->tp0.listenSocket);
  t->tp0.listenSocket = -1;
  return 0;
}

int32_t tp0tcp_procSocketConInd() {
  TM_TRACE(sess_TM_handle, 128, kSrc,
           "TP0:\ttp0tcp_procSocketConInd() called.\n\tProcessing transport connect indication.\n");
  SessionTLS* t = getSessionTLS(0);
  int fd = -1;
  Smachine* s = nullptr;
  sockaddr_in peer{};
  for (;;) {
    if (t == nullptr || t->tp0.listenSocket == -1) break;
    socklen_t len = sizeof peer;
    fd = accept(t->tp0.listenSocket, reinterpret_cast<sockaddr*>(&peer), &len);
    if (fd < 0) {
      if (errno != EAGAIN)
        TM_TRACE(sess_TM_handle, 8, kSrc,
                 "TP0:\t*** Connect indication rejected.\n\t*** Unable to accept connect indication.\n\t*** accept() "
                 "failed: errno %d, %s\n",
                 errno, std::strerror(errno));
      fd = -1;
      break;
    }
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_proc_Socket_conn_ind() Accepted new connection on Socket# [%d]\n",
             fd);
    // The poll loop waits with poll(), which takes socket numbers of any size.
    int32_t freeId = -1;
    for (int32_t i = 0; i < kTcepCount && freeId < 0; ++i)
      if (t->tp0.tcep[i].state == kTcepFree) freeId = i;
    if (freeId < 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TP0:\ttp0tcp_procSocketConInd() Connect indication rejected.\n\tToo many connections(MAX=%d)\n",
               kTcepCount);
      break;
    }
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_procSocketConInd() tcep_id=%d\n", freeId);
    s = s_alloc();
    if (s == nullptr) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect indication rejected.\n\tUnable to allocate S machine\n");
      break;
    }
    int on = 1;
    if (ioctl(fd, FIONBIO, &on) != 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TP0:\tConnect request failed.\n\tUnable to set non-blocking mode for socket.\n\tioctl() failed: errno "
               "%d, %s\n",
               errno, std::strerror(errno));
      break;
    }
    if (iKeepSocketAlive != 0 && setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to set socket option.\n\tsetsockopt() failed: errno %d %s\n",
               errno, std::strerror(errno));
      break;
    }
    if (!tp0tcp_setNoDelay(fd)) break;
    // The endpoint: waiting for the CR, with its tree, cipher contexts and
    // cipher buffer; the connection record at the tail of the thread's list.
    if (tp0tcp_openTcep(s, fd, kTcepCrSent) < 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect indication rejected.\n\tUnable to set up the connection\n");
      break;
    }
    TCEP* e = &t->tp0.tcep[s->tcepId];
    e->calledSide = 1;
    std::memcpy(e->peerSockAddr, &peer, sizeof e->peerSockAddr);
    s->next = &t->machines;
    s->prev = t->machines.prev;
    t->machines.prev->next = s;
    t->machines.prev = s;
    if (const int32_t limit = t->tpParams.establishLimit; limit > 0)
      newtimer(reinterpret_cast<uint64_t>(s), kEstablishTimer, limit, static_cast<uint64_t>(limit), 0,
               establishExpired);
    TM_TRACE(sess_TM_handle, 16, kSrc, "tp0tcp_procSocketConInd() socket connection success\n");
    return 0;
  }
  // Refused: nothing of the connection is kept.
  if (s != nullptr) {
    s->tcepId = -1;
    const uint32_t released = t->released;
    s_release(s);
    t->released = released;
  }
  if (fd >= 0) (void)close(fd);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_procSocketConInd() return 1.\n");
  return 1;
}

uint32_t procConInd(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TPI:\tprocConInd() called.\n\tProcessing transport connect indication.\n");
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr || s == nullptr) return 4099;
  const bool forking = t->tpParams.forkFlag != 0;
  if (forking) {
    (void)tp0tcp_reportReapedChildren();
    TM_TRACE(sess_TM_handle, 80, kSrc, "TPI:\tForking process.\n");
    if (t->children >= t->tpParams.processLimit) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\tMaximum number of processes already exists.\n");
      return 4096;
    }
    // Output the parent has buffered goes out once, not again from each
    // child that ends.
    (void)std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\tUnable to fork process.\n\tfork() failed: errno %d, %s\n", errno,
               std::strerror(errno));
      return 4097;
    }
    if (pid > 0) {
      ++t->children;
      return 4098;
    }
    if (t->tpParams.listenQLen > 0) (void)tp0tcp_unbind();  // the child does not listen
  }
  if (s_fsm(s, nullptr, s->state, kEvTConnectInd) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TPI:\tConnect indication rejected by session.\n");
    if (forking) _exit(1);
    return 4099;
  }
  TM_TRACE(sess_TM_handle, 80, kSrc, "TPI:\tTransport connection established (TCEP %d).\n", s->tcepId);
  (void)s_receive(s);
  return 0;
}

uint32_t tp0tcp_conn_ind(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_conn_ind() called\n");
  TCEP* e = tp0tcp_tcepOf(s);
  SessionTLS* t = getSessionTLS(0);
  if (e == nullptr || t == nullptr || e->inTpdu == nullptr) return 1;
  if (e->state != kTcepCrSent || e->calledSide == 0) {
    // Only an accepted connection waits for a CR; a calling one waiting for
    // its CC cannot take a T-CONNECT indication: refused, and it ends.
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_conn_ind() in wrong connect state (%d)\n",
             static_cast<int>(e->state));
    const int32_t r = tp0tcp_disconn_req(s, 0);
    if (e->state != kTcepFree && e->owner == s) tp0tcp_close_con(e);
    (void)s_fsm(s, nullptr, s->state, kEvTDisconnect);
    return r == 0 ? 1 : static_cast<uint32_t>(r);
  }

  // Parameters from octet 7 to the end of the header (LI + 1, which the
  // dispatcher found within the octets read); one running past the end
  // ends the walk.
  // Copied: a refusal or the connection's end frees the receive area.
  uint8_t cr[256] = {};
  std::memcpy(cr, e->inTpdu, e->inTpduLength < sizeof cr ? e->inTpduLength : sizeof cr);
  const uint32_t end = static_cast<uint32_t>(cr[0]) + 1;
  bool refused = false;
  for (uint32_t p = 7; p + 2 < end && !refused;) {
    const uint8_t code = cr[p];
    const uint32_t len = cr[p + 1];
    if (p + 2 + len > end) break;
    if (code == kTpParamSize && len >= 1) {
      const uint32_t size = cnvtTPDUopToTPDUsize(cr[p + 2]);
      TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_conn_ind() Requested TPDU size (%d)\n", static_cast<int>(size));
      if (size == 0 || size > t->tpParams.tpduSize) {
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_conn_ind() invalid TPDU size (%d)\n", static_cast<int>(size));
        e->state = kTcepFailed;
        refused = true;
      } else {
        TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_conn_ind() request TPDU size (%d)\n", static_cast<int>(size));
        e->tpduSize = size;
      }
    }
    p += 2 + len;
  }
  e->peerRef[0] = cr[4];
  e->peerRef[1] = cr[5];
  if (refused) {
    // DR, and the connection record that never reached the session user
    // goes with the connection.
    const int32_t r = tp0tcp_disconn_req(s, 0);
    if (e->state != kTcepFree && e->owner == s) tp0tcp_close_con(e);
    releaseMachine(t, s);
    return r == 0 ? 1 : static_cast<uint32_t>(r);
  }

  const uint32_t r = procConInd(s);
  TM_TRACE(sess_TM_handle, 16, kSrc, "Returned %d from tpi_user_conn_ind\n", static_cast<int>(r));
  if (r == 4098) {
    // The child serves the connection: this process lets go of its copy
    // of the socket, the endpoint and the connection record (with the
    // record's establishment timer).
    tp0tcp_forgetTcep(e);
    releaseMachine(t, s);
    return 0;
  }
  if (r != 0) {
    const int32_t d = tp0tcp_disconn_req(s, 0);
    if (e->state != kTcepFree && e->owner == s) tp0tcp_close_con(e);
    releaseMachine(t, s);
    return d == 0 ? 1 : static_cast<uint32_t>(d);
  }

  if (static_cast<int32_t>(getpid()) != parentPid) keepOnlyOwnConnection(t, e);

  TM_TRACE(sess_TM_handle, 16, kSrc, "Sending connect confirmation on socket %d\n", e->socket);
  e->state = kTcepOpen;
  const auto ref = static_cast<uint16_t>(e->socket);
  const uint8_t cc[10] = {9,    kTpduCC, cr[4], cr[5], static_cast<uint8_t>(ref & 0xFF), static_cast<uint8_t>(ref >> 8),
                          0x00, kTpParamSize, 1, static_cast<uint8_t>(cnvtTPDUsizeToTPDUop(e->tpduSize))};
  std::memcpy(e->header + kTpktHeaderSize, cc, sizeof cc);
  // The receive area made with the connection holds packets of any size
  // agreed.
  return static_cast<uint32_t>(tp0tcp_send_conpkt(s));
}

void processTermChld_handler(int sig) {
  // Signal context: waitpid and atomics only.
  if (sig != SIGCHLD || getpid() != parentPid) return;
  const int saved = errno;
  for (;;) {
    const pid_t pid = waitpid(-1, nullptr, WNOHANG);
    if (pid > 0) {
      const uint32_t i = gReapHead.fetch_add(1, std::memory_order_acq_rel);
      gReapedPid[i % kReapRing].store(static_cast<int32_t>(pid), std::memory_order_release);
      continue;
    }
    if (pid < 0 && errno == EINTR) continue;
    break;
  }
  errno = saved;
}
