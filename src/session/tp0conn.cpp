// TP0 over TCP: the endpoint table, start-up and the calling side (socket,
// connect with address fallback, CR, CC).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/qvcrypt.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"

int32_t tsapd_port = -1;
uint32_t encryptMode = 0;
void (*QvAtTerminateFuncPtr)() = nullptr;
Tp0Sys gTp0Sys = {::connect, ::poll};

namespace {

constexpr const char* kSrc = "src/tp0tcp";
constexpr uint32_t kAddrEntry = 5;  // 4 octets of IPv4 address and a separator

SessionTLS* tls() { return getSessionTLS(0); }

void selfLink(TcepLink* l) { l->next = l->prev = l; }

void appendActive(Tp0Block& tp, TCEP* e) {
  e->next = &tp.active;
  e->prev = tp.active.prev;
  tp.active.prev->next = e;
  tp.active.prev = e;
  ++tp.activeCount;
}

// Endpoint fields of a connection about to be made, as no data has moved.
void claim(TCEP* e, Smachine* s) {
  e->owner = s;
  e->confirmPending = 0;
  e->calledSide = 0;
  e->sendState = TxIdle;
  e->curUnit = nullptr;
  e->bytesToWrite = 0;
  e->writePtr = nullptr;
  e->assembly = nullptr;
  e->rcvBuf = nullptr;
  e->rxStart = e->rxEnd = 0;
  e->inTpdu = nullptr;
  e->inTpduLength = 0;
  e->txCount = 0;
  e->connTree = nullptr;
  e->encryptCtx = nullptr;
  e->decryptCtx = nullptr;
  e->cipherBuf = nullptr;
  e->segLeft = 0;
  e->eot = 0;
  e->peerRef[0] = e->peerRef[1] = 0;
  std::memset(e->peerSockAddr, 0, sizeof e->peerSockAddr);
}

TCEP* freeTcep(Tp0Block& tp) {
  for (TCEP& e : tp.tcep)
    if (e.state == kTcepFree) return &e;
  return nullptr;
}

// The size a CR asks for: the size its code stands for, so that both sides
// mean the same size when the CC confirms the request by leaving it out.
uint32_t requestedSize(uint32_t configured) { return cnvtTPDUopToTPDUsize(cnvtTPDUsizeToTPDUop(configured)); }

// The connection's tree with its receive area, cipher contexts and cipher
// buffer; false when one of them cannot be had (what was made is left for
// abandon()).
bool equip(TCEP* e) {
  e->connTree = _xm_allocTree(nullptr);
  if (e->connTree == nullptr) return false;
  e->rcvBuf = tp0tcp_allocBuf(e->connTree, kRxArea);
  if (e->rcvBuf == nullptr) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to allocate initial receive buffer\n");
    return false;
  }
  e->rxStart = e->rxEnd = 0;
  if (encryptMode == 0) return true;
  int32_t st = qvcrypt_CIPHER_CTX_init(&e->encryptCtx);
  if (st != 0) st = qvcrypt_EncryptInit_ex(e->encryptCtx);
  TM_TRACE(sess_TM_handle, 16, kSrc, "tp0tcp_conn_req: connection,EncryptInit status=%d\n", st);
  if (st == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_conn_req: connection,EncryptInit error=%d\n", st);
    return false;
  }
  st = qvcrypt_CIPHER_CTX_init(&e->decryptCtx);
  if (st != 0) st = qvcrypt_DecryptInit_ex(e->decryptCtx);
  TM_TRACE(sess_TM_handle, 16, kSrc, "tp0tcp_conn_req: connection,DecryptInit status=%d\n", st);
  if (st == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_conn_req: connection,DecryptInit error=%d\n", st);
    return false;
  }
  e->cipherBuf = balloc(-1);
  return e->cipherBuf != nullptr;
}

// Gives back an endpoint whose connection was never made whole: socket
// closed, everything it was given freed, free again and not in the list.
void abandon(TCEP* e) {
  if (e->socket != kNoSocket) (void)tp0tcp_closeSocket(e->socket);
  e->socket = kNoSocket;
  e->state = kTcepFree;
  if (e->owner != nullptr && e->owner->tcepId == tp0tcp_tcepId(e)) e->owner->tcepId = -1;
  bfree(e->cipherBuf);
  e->cipherBuf = nullptr;
  (void)qvcrypt_CIPHER_CTX_cleanup(&e->decryptCtx);
  (void)qvcrypt_CIPHER_CTX_cleanup(&e->encryptCtx);
  if (e->connTree != nullptr) _xm_freeTree(e->connTree);
  e->connTree = nullptr;
  e->rcvBuf = nullptr;
}

void traceConnectFailure(int err) {
  TM_TRACE(sess_TM_handle, 8, kSrc,
           "TP0:\tConnect request failed.\n\tUnable to connect to remote system.\n\tconnect() failed: errno %d, %s\n",
           err, std::strerror(err));
}

// connect() on the non-blocking socket; a connect in progress is waited
// for (the call stays synchronous) and its outcome read from SO_ERROR.
// 0 connected, else the errno of the failure.
int connectAndWait(int fd, const sockaddr_in& addr) {
  if (gTp0Sys.connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
  int err = errno;
  if (err == EISCONN) return 0;
  if (err != EINPROGRESS && err != EALREADY && err != EINTR) return err;
  for (;;) {
    pollfd p{fd, POLLOUT, 0};
    const int r = gTp0Sys.poll(&p, 1, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    break;
  }
  int soError = 0;
  socklen_t len = sizeof soError;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return errno;
  return soError;
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

void tp0tcp_resetTable(Tp0Block* tp) {
  for (TCEP& e : tp->tcep) {
    e = TCEP{};
    selfLink(&e);
    e.socket = kNoSocket;
    e.state = kTcepFree;
  }
  selfLink(&tp->active);
  tp->cursor = &tp->active;
  tp->activeCount = 0;
}

void tp0tcp_dropAll(Tp0Block* tp) {
  for (TCEP& e : tp->tcep) {
    if (e.socket != kNoSocket) (void)tp0tcp_closeSocket(e.socket);
    (void)qvcrypt_CIPHER_CTX_cleanup(&e.decryptCtx);
    (void)qvcrypt_CIPHER_CTX_cleanup(&e.encryptCtx);
  }
  tp0tcp_resetTable(tp);
}

int32_t tp0tcp_tcepId(const TCEP* e) {
  const SessionTLS* t = tls();
  if (t == nullptr || e < t->tp0.tcep || e >= t->tp0.tcep + kTcepCount) return -1;
  return static_cast<int32_t>(e - t->tp0.tcep);
}

TCEP* tp0tcp_tcepOf(Smachine* s) {
  if (s == nullptr || s->tcepId < 0 || s->tcepId >= kTcepCount) return nullptr;
  SessionTLS* t = tls();
  if (t == nullptr) return nullptr;
  TCEP* e = &t->tp0.tcep[s->tcepId];
  return e->state != kTcepFree && e->owner == s ? e : nullptr;
}

// ---------------------------------------------------------------------------
// Start-up

uint32_t tp0tcp_init() {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_init() called\n");
  SessionTLS* t = tls();
  if (t == nullptr) return 0;
  Tp0Block& tp = t->tp0;
  tp.held.next = tp.held.prev = &tp.held;
  // A second start finds no socket of the first left open.
  tp0tcp_dropAll(&tp);
  (void)init_tcp();
  char file[QV_PATH_SIZE] = "";
  (void)qv_getInfo(QV_INFO_INIFILE, 0, file, sizeof file, sess_TM_handle);
  tsapd_port = GetPrivateProfileInt("COMMON", "tsapd", -1, file);
  encryptMode = static_cast<uint32_t>(qvcrypt_getmode());
  TM_TRACE(sess_TM_handle, 64, kSrc, "tp0tcp_init():Encryption Package=%d\n", static_cast<int>(encryptMode));
  return 0;
}

uint32_t tp0tcp_shutdown() {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_shutdown() called\n");
  close_tcp();
  return 0;
}

bool tp0tcp_setNoDelay(int fd) {
  // A unit of several TPDUs goes out at once; without this its last
  // segment would wait for the peer's delayed acknowledgement.
  const int on = 1;
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0) return true;
  TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to set socket option.\n\tsetsockopt() failed: errno %d %s\n", errno,
           std::strerror(errno));
  return false;
}

uint32_t createNewSocket(TCEP* e, uint32_t nonBlocking) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "createNewSocket() called\n");
  if (e == nullptr) return kTp0ConnectFailed;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc,
             "TP0:\tConnect request failed.\n\tUnable to create calling socket.\n\tsocket() failed: errno %d, %s\n",
             errno, std::strerror(errno));
    e->socket = kNoSocket;
    return kTp0ConnectFailed;
  }
  // The poll loop waits with poll(), which takes socket numbers of any size.
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tcreateNewSocket() Connect Socket# [%d]\n", fd);
  if (iKeepSocketAlive != 0) {
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to set socket option.\n\tsetsockopt() failed: errno %d %s\n",
               errno, std::strerror(errno));
      close(fd);
      e->socket = kNoSocket;
      return kTp0ConnectFailed;
    }
  }
  if (!tp0tcp_setNoDelay(fd)) {
    close(fd);
    e->socket = kNoSocket;
    return kTp0ConnectFailed;
  }
  if (nonBlocking == 1) {
    int on = 1;
    if (ioctl(fd, FIONBIO, &on) != 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TP0:\tIOCTL request failed.\n\tUnable to set non-blocking mode for socket.\n\tioctl() failed: errno "
               "%d, %s\n",
               errno, std::strerror(errno));
      close(fd);
      e->socket = kNoSocket;
      return kTp0ConnectFailed;
    }
  }
  e->socket = fd;
  return 0;
}

// ---------------------------------------------------------------------------
// Connect

void tp0tcp_buildCR(TCEP* e, const uint8_t calling[2], const uint8_t called[2]) {
  uint8_t* cr = e->header + kTpktHeaderSize;
  const auto ref = static_cast<uint16_t>(e->socket);
  const uint8_t octets[kTpduHeaderRoom] = {
      17, kTpduCR, 0x00, 0x00, static_cast<uint8_t>(ref & 0xFF), static_cast<uint8_t>(ref >> 8), 0x00,
      kTpParamCalling, 2, calling[0], calling[1],
      kTpParamCalled, 2, called[0], called[1],
      kTpParamSize, 1, static_cast<uint8_t>(cnvtTPDUsizeToTPDUop(e->tpduSize)),
  };
  std::memcpy(cr, octets, sizeof octets);
}

uint32_t tp0tcp_conn_req(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_conn_req() called\n");
  SessionTLS* t = tls();
  if (t == nullptr || s == nullptr) return kTp0ConnectFailed;
  Tp0Block& tp = t->tp0;
  TCEP* e = freeTcep(tp);
  if (e == nullptr) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect request failed.\n\tToo many connections.\n");
    return kTp0ConnectFailed;
  }
  claim(e, s);
  const StpParams& params = t->tpParams;

  // The called address list: IPv4 addresses of 4 octets, 5 octets apart.
  const NSAPaddr list = s->peerAddr.nsap;
  const int32_t listLen = static_cast<int32_t>(list.len < kNsapMaxLen ? list.len : kNsapMaxLen);
  const int32_t count = (listLen + 1) / static_cast<int32_t>(kAddrEntry);
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\tNumber of IP Addresses = %d\n", count);
  if (count < 1) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect request failed.\n\tInvalid remote network address.\n");
    return kTp0ConnectFailed;
  }
  int32_t isLast = count == 1 ? 1 : 0;
  int32_t remaining = listLen;
  int32_t walk = 0;      // entry of the list the fallback walk stands on
  uint32_t step = 0;     // added to the base port for the next entry
  uint32_t first = 0;    // index of the address tried first
  auto useEntry = [&](int32_t at) {
    s->peerAddr.nsap.len = 4;
    std::memcpy(s->peerAddr.nsap.addr, list.addr + at, 4);
  };
  if (count > 1 && (params.addressSelection & 1) != 0) {
    const double r = qvrand() / 32767.0;
    first = static_cast<uint32_t>(count * r);
    if (first >= static_cast<uint32_t>(count)) first = static_cast<uint32_t>(count - 1);
    TM_TRACE(sess_TM_handle, 64, kSrc,
             "TP0:\tRandom address selection enabled. Total = %d Index selected = %d rValue=%f\n", count,
             static_cast<int>(first), r);
    useEntry(static_cast<int32_t>(first * kAddrEntry));
    // A failed random choice is followed by the whole list from its start.
    walk = -static_cast<int32_t>(kAddrEntry);
    step = 0;
  } else {
    useEntry(0);
    remaining = listLen - static_cast<int32_t>(kAddrEntry);
    step = 1;
  }

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (cnvtNSAPToSocketAddr(&s->peerAddr.nsap, &addr) == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect request failed.\n\tInvalid remote network address.\n");
    return kTp0ConnectFailed;
  }
  uint16_t basePort = 0;
  if (tsapd_port != -1) {
    if (tsapd_port < 0 || tsapd_port > 0xFFFF) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect request failed.\n\tInvalid remote port.\n");
      return kTp0ConnectFailed;
    }
    basePort = static_cast<uint16_t>(tsapd_port);
  } else {
    in_port_t port = 0;
    if (s->peerAddr.tsap.len != 2 || cnvtTSAPToSocketPort(&s->peerAddr.tsap, &port) == 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnect request failed.\n\tInvalid remote port.\n");
      return kTp0ConnectFailed;
    }
    basePort = ntohs(port);
  }
  const bool stepPorts = (params.addressSelection & 2) != 0;
  addr.sin_port = htons(static_cast<uint16_t>(basePort + (stepPorts ? first : 0)));

  if (createNewSocket(e, 1) != 0) return kTp0ConnectFailed;
  for (;;) {
    const int err = connectAndWait(e->socket, addr);
    if (err == 0) break;
    if (isLast != 0) {
      traceConnectFailure(err);
      abandon(e);
      return kTp0ConnectFailed;
    }
    walk += static_cast<int32_t>(kAddrEntry);
    (void)QvGetNextBinAddr(list.addr + (walk > 0 ? walk : 0), &isLast, &remaining);
    if (walk + 4 > listLen || list.addr[walk] == 0) {
      traceConnectFailure(err);
      abandon(e);
      return kTp0ConnectFailed;
    }
    char text[INET_ADDRSTRLEN] = "";
    (void)inet_ntop(AF_INET, list.addr + walk, text, sizeof text);
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\tTrying to connect using IP address %s\n", text);
    useEntry(walk);
    std::memcpy(&addr.sin_addr.s_addr, list.addr + walk, 4);
    if (stepPorts) {
      addr.sin_port = htons(static_cast<uint16_t>(basePort + step));
      TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\tPort Adjusted to = %x\n", static_cast<unsigned>(basePort + step));
      ++step;
    }
    (void)tp0tcp_closeSocket(e->socket);
    e->socket = kNoSocket;
    if (createNewSocket(e, 1) != 0) return kTp0ConnectFailed;
  }

  s->tcepId = tp0tcp_tcepId(e);
  s->texp = 0;  // class 0 has no expedited data
  e->state = kTcepCrSent;
  e->tpduSize = requestedSize(params.tpduSize);
  tp0tcp_buildCR(e, t->localAddr.tsap.sel, s->peerAddr.tsap.sel);
  if (const int32_t r = tp0tcp_send_conpkt(s); r != 0) {
    abandon(e);
    return static_cast<uint32_t>(r);
  }
  if (!equip(e)) {
    abandon(e);
    return kTp0ConnectFailed;
  }
  appendActive(tp, e);
  return 0;
}

int32_t tp0tcp_openTcep(Smachine* s, int32_t socket, uint32_t state) {
  SessionTLS* t = tls();
  if (t == nullptr || s == nullptr || socket < 0 || (state != kTcepCrSent && state != kTcepOpen)) return -1;
  TCEP* e = freeTcep(t->tp0);
  if (e == nullptr) return -1;
  claim(e, s);
  e->state = state;
  e->tpduSize = requestedSize(t->tpParams.tpduSize);
  s->tcepId = tp0tcp_tcepId(e);
  s->texp = 0;
  if (!equip(e)) {
    e->socket = kNoSocket;  // the caller's socket stays open
    abandon(e);
    s->tcepId = -1;
    return -1;
  }
  e->socket = socket;
  appendActive(t->tp0, e);
  return s->tcepId;
}

uint32_t tp0tcp_conn_cfm(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_conn_cfm() called\n");
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr || e->inTpdu == nullptr) return 1;
  if (e->state != kTcepCrSent || e->confirmPending != 0) {
    bfree(e->assembly);
    e->assembly = nullptr;
    e->state = kTcepFailed;
    return 1;
  }
  // Parameters from octet 7 to the end of the header (LI + 1, which the
  // dispatcher found within the octets read); one that runs past the end
  // ends the walk.
  const uint8_t* tpdu = e->inTpdu;
  const uint32_t end = static_cast<uint32_t>(tpdu[0]) + 1;
  const uint32_t requested = e->tpduSize;
  uint32_t size = requested;
  for (uint32_t p = 7; p + 2 < end;) {
    const uint8_t code = tpdu[p];
    const uint32_t len = tpdu[p + 1];
    if (p + 2 + len > end) break;
    if (code == kTpParamSize && len >= 1) {
      const uint32_t confirmed = cnvtTPDUopToTPDUsize(tpdu[p + 2]);
      if (confirmed == 0 || confirmed > requested) {
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_conn_cfm() incorrect TPDU size (%d)\n",
                 static_cast<int>(confirmed));
        e->state = kTcepFailed;
        return 1;
      }
      TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_conn_cfm() final TPDU size (%d)\n",
               static_cast<int>(confirmed));
      size = confirmed;
    }
    p += 2 + len;
  }
  // The receive area made with the connection holds packets of any size
  // agreed.
  e->tpduSize = size;
  TCONres(s);
  e->state = kTcepOpen;
  e->confirmPending = 1;
  (void)s_receive(s);
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_conn_cfm() Transport connection established (TCEP %d).\n",
           s->tcepId);
  return 0;
}
