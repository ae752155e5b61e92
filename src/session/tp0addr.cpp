#include "src/session/tp0addr.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>

#include "src/runtime/xm.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"

namespace {

constexpr const char* kSrc = "src/tp0tcp";

// The state word is shared by every thread without a lock: two threads may
// draw the same number, which only changes which address is tried first.
std::atomic<uint32_t> gRandState{1};

}  // namespace

static_assert(sizeof(SessionBuffer) == kTpBufHeader);

int32_t iKeepSocketAlive = 1;

uint32_t cnvtNSAPToSocketAddr(const NSAPaddr* nsap, sockaddr_in* addr) {
  if (nsap == nullptr || addr == nullptr) return 0;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tConvert NSAP (%d.%d.%d.%d) to SocketAddr.\n", nsap->addr[0],
           nsap->addr[1], nsap->addr[2], nsap->addr[3]);
  if (nsap->len != 4) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tInvalid NSAP length (must be exactly 4 octets).\n");
    return 0;
  }
  std::memcpy(&addr->sin_addr.s_addr, nsap->addr, 4);
  return 1;
}

uint32_t cnvtTSAPToSocketPort(const TSAPaddr* tsap, in_port_t* port) {
  if (tsap == nullptr || port == nullptr) return 0;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tConvert TSAP (%d.%d) to SocketAddr Port.\n", tsap->sel[0],
           tsap->sel[1]);
  switch (tsap->len) {
    case 0:
      *port = 0;
      return 1;
    case 2:
      *port = htons(static_cast<uint16_t>(tsap->sel[0] << 8 | tsap->sel[1]));
      return 1;
    default:
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tInvalid TSAP length (must be 0 or 2 octets).\n");
      return 0;
  }
}

uint32_t cnvtSocketPortToTSAP(TSAPaddr* tsap, in_port_t port) {
  if (tsap == nullptr) return 0;
  const uint16_t host = ntohs(port);
  tsap->len = 2;
  tsap->sel[0] = static_cast<uint8_t>(host >> 8);
  tsap->sel[1] = static_cast<uint8_t>(host & 0xFF);
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tHost Port = %d; addr[0] = %d; addr[1] = %d\n", host, tsap->sel[0],
           tsap->sel[1]);
  return 1;
}

SessionBuffer* tp0tcp_allocBuf(XmTree* tree, uint32_t size) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_allocBuf(%d) called\n", static_cast<int>(size));
  if (size > UINT32_MAX - kTpBufHeader) return nullptr;
  void* item = _xm_allocItem(tree, size + kTpBufHeader, 0);
  if (item == nullptr) return nullptr;
  auto* buf = static_cast<SessionBuffer*>(item);
  buf->next = buf->prev = buf;
  buf->area = buf->data = reinterpret_cast<uint8_t*>(buf + 1);
  buf->capacity = buf->length = size;
  buf->endFlag = 1;
  return buf;
}

void tp0tcp_freeBuf(SessionBuffer* buf) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_freeBuf() called\n");
  if (buf == nullptr) return;
  buf->prev->next = buf->next;
  buf->next->prev = buf->prev;
  buf->next = buf->prev = buf;
  _xm_freeItem(buf);
}

void tp0tcp_initBuf(SessionBuffer* buf) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_initBuf() called\n");
  if (buf == nullptr) return;
  buf->length = buf->capacity;
  buf->data = buf->area;
  buf->endFlag = 1;
}

void reclaim_buf() {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return;
  SessionBuffer* head = &t->tp0.held;
  if (head->next == nullptr) return;
  while (head->next != head) bfree(head->next);
}

int32_t init_tcp() { return 0; }

void close_tcp() {}

int32_t QvSetListenSocket(int32_t sock) {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return -1;
  const int32_t previous = t->tp0.listenSocket;
  t->tp0.listenSocket = sock;
  return previous;
}

void qvsrand(uint32_t seed) { gRandState.store(seed, std::memory_order_relaxed); }

int32_t qvrand() {
  const uint32_t next = gRandState.load(std::memory_order_relaxed) * 214013u + 2531011u;
  gRandState.store(next, std::memory_order_relaxed);
  return static_cast<int32_t>((next >> 16) & 0x7FFF);
}
