// The listening side of TP0 over TCP: the listening socket of a server-role
// thread.
//
// Minimal version: serving accepted connections (CR, CC, one process per
// connection) is not built yet. An accepted connection is closed at once,
// a CR reaching a calling connection is answered with DR, and the SIGCHLD
// handler only collects ended children.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "src/odbc/alltls.h"
#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"

int32_t giQuietMode = 0;

namespace {

constexpr const char* kSrc = "src/tp0tcp";
constexpr int32_t kMaxListenQueue = 255;

}  // namespace

uint32_t tp0tcp_bind(TpLocalAddr* local, int32_t maxQueue) {
  if (QvIsMainThread() == 0) return 0;
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
  if (t != nullptr && t->tp0.listenSocket != -1) {
    const int fd = accept(t->tp0.listenSocket, nullptr, nullptr);
    if (fd >= 0) (void)close(fd);
  }
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_procSocketConInd() return 1.\n");
  return 1;
}

uint32_t tp0tcp_conn_ind(Smachine* s, SessionBuffer**) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_conn_ind() called\n");
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return 1;
  // A calling connection waiting for its CC: its session machine cannot
  // take a T-CONNECT indication, so the CR is refused and the connection
  // ends.
  TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_conn_ind() in wrong connect state (%d)\n",
           static_cast<int>(e->state));
  const int32_t r = tp0tcp_disconn_req(s, 0);
  if (e->state != kTcepFree && e->owner == s) tp0tcp_close_con(e);
  (void)s_fsm(s, nullptr, s->state, kEvTDisconnect);
  return r == 0 ? 1 : static_cast<uint32_t>(r);
}

void processTermChld_handler(int sig) {
  if (sig != SIGCHLD) return;
  const int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}
