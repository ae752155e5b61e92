// TPKT and TPDU: the writers of control TPDUs and of data, the reader of
// packets and the dispatcher of received TPDUs.
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "common/qvcrypt.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/tp0tcp";

uint8_t tpktVersion() { return static_cast<uint8_t>(kTpktVersion + encryptMode); }

bool wouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// The connection still belongs to `s` and is open or waiting for its CC.
bool usable(const TCEP* e, const Smachine* s) {
  return e->owner == s && (e->state == kTcepOpen || e->state == kTcepCrSent);
}

// The peer broke the protocol, or the connection broke under us: closed and
// reported to the session machine as T-DISCONNECT indication.
void dropConnection(TCEP* e) {
  Smachine* s = e->owner;
  tp0tcp_close_con(e);
  if (s != nullptr) (void)s_fsm(s, nullptr, s->state, kEvTDisconnect);
}

// Outcomes of a write.
enum class Wrote { Whole, Blocked, Nothing, Part, Closed };

// The outcome of a failed send: traced, and a write error closes the
// connection.
Wrote writeFailed(TCEP* e, const char* who, uint32_t toWrite) {
  const int err = errno;
  if (wouldBlock(err)) {
    TM_TRACE(sess_TM_handle, 32, kSrc, "TP0:\t%s(): Write of %d blocks of data will block\n", who,
             static_cast<int>(toWrite));
    return Wrote::Blocked;
  }
  TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnection write error, TCEP ID=%d\n\tsend() failed: errno %d, %s\n",
           tp0tcp_tcepId(e), err, std::strerror(err));
  tp0tcp_close_con(e);
  return Wrote::Closed;
}

void traceNothingWritten(TCEP* e) {
  TM_TRACE(sess_TM_handle, 8, kSrc,
           "TP0:\tConnection write error (ignored), TCEP ID=%d\n\tsend() failed: errno %d, %s\n",
           tp0tcp_tcepId(e), errno, std::strerror(errno));
}

// Writes what is left of the control TPDU in hand, on until the socket
// would block.
Wrote writeTpdu(TCEP* e, const char* who) {
  for (;;) {
    if (e->socket == kNoSocket) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tsend():Invalid socket (NOSOCKET)\n");
      return Wrote::Closed;
    }
    const ssize_t n = send(e->socket, e->writePtr, e->bytesToWrite, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return writeFailed(e, who, e->bytesToWrite);
    if (n == 0) {
      traceNothingWritten(e);
      return Wrote::Nothing;
    }
    e->bytesToWrite -= static_cast<uint32_t>(n);
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\t%s() Data:  Sent = %d To be Sent = %d\n", who, static_cast<int>(n),
             static_cast<int>(e->bytesToWrite));
    TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 sent", e->writePtr, static_cast<int32_t>(n));
    e->writePtr += n;
    if (e->bytesToWrite == 0) return Wrote::Whole;
  }
}

// Moves the unit just sent from the output queue to the confirm queue.
void unitSent(Smachine* s, SessionBuffer* unit) {
  if (s->outQ.head.next == unit) {
    (void)sq_take(&s->outQ);
  } else {
    unit->prev->next = unit->next;
    unit->next->prev = unit->prev;
    unit->next = unit->prev = unit;
    if (s->outQ.count > 0) --s->outQ.count;
  }
  sq_append(&s->cnfQ, unit);
}

// Enciphers the unit into the connection's cipher buffer; false when a
// cipher call failed (the unit stays queued).
bool encipher(TCEP* e, SessionBuffer* unit) {
  SessionBuffer* c = e->cipherBuf;
  if (c == nullptr || unit->length > c->capacity) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - no room to encipher %d octets\n",
             static_cast<int>(unit->length));
    return false;
  }
  tp0tcp_initBuf(c);
  int32_t out = 0;
  int32_t st = qvcrypt_EncryptUpdate(e->encryptCtx, c->data, &out, unit->data, static_cast<int32_t>(unit->length));
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Update status %d outlen %d\n", st,
           out);
  if (st == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Update error %d\n", st);
    return false;
  }
  e->segLeft = static_cast<uint32_t>(out);
  if (unit->endFlag != 0) {
    int32_t out2 = 0;
    st = qvcrypt_EncryptFinal_ex(e->encryptCtx, c->data + out, &out2);
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Final status %d outlen %d\n", st,
             out2);
    if (st == 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Final error %d\n", st);
      return false;
    }
    e->segLeft += static_cast<uint32_t>(out2);
    st = qvcrypt_EncryptInit_ex(e->encryptCtx);
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Initialize status %d\n", st);
    if (st == 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle - Encryption-Initialize error %d\n", st);
      return false;
    }
  }
  e->writePtr = c->data;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Size codes

uint32_t cnvtTPDUsizeToTPDUop(uint32_t size) {
  if (size > 65530) return 255;
  uint32_t code = 15;
  while (code > 7 && size < (uint32_t{1} << code)) --code;
  return code;
}

uint32_t cnvtTPDUopToTPDUsize(uint32_t code) {
  if (code >= 7 && code <= 15) return uint32_t{1} << code;
  if (code == 255) return kTpduSizeMax;
  return 0;
}

// ---------------------------------------------------------------------------
// Writing

int32_t tp0tcp_send_conpkt(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_send_conpkt() called\n");
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return -1;
  if (e->sendState != TxIdle) return 0;  // a data packet is in progress
  const uint32_t length = static_cast<uint32_t>(e->header[kTpktHeaderSize]) + 1 + kTpktHeaderSize;
  e->header[0] = tpktVersion();
  e->header[1] = 0;
  e->header[2] = static_cast<uint8_t>(length >> 8);
  e->header[3] = static_cast<uint8_t>(length & 0xFF);
  e->bytesToWrite = length;
  e->writePtr = e->header;
  e->curUnit = nullptr;
  e->txCount = 0;
  e->sendState = TxTPDU;
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_conpkt() TxTPDU of length = %d\n", static_cast<int>(length));
  switch (writeTpdu(e, "tp0tcp_send_conpkt")) {
    case Wrote::Whole:
      e->sendState = TxIdle;
      return 0;
    case Wrote::Closed:
      return -1;
    default:
      return 1;  // the rest goes out from the poll loop
  }
}

int32_t tp0tcp_data_req(Smachine* s) { return tp0tcp_send_pkt(s); }

namespace {

// Takes the next queued buffer as the one to frame (enciphered into the
// cipher buffer when encryption is on). 0 taken; 1 a cipher call failed or
// the mode is invalid (the buffer stays queued).
int32_t takeUnit(TCEP* e, SessionBuffer* unit) {
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle\n");
  e->curUnit = unit;
  e->segLeft = unit->length;
  e->eot = unit->endFlag;
  e->writePtr = unit->data;
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() TxSDU data length (%d),eosdu (%d)\n",
           static_cast<int>(unit->length), static_cast<int>(unit->endFlag));
  if (tm_siteOn(sess_TM_handle, 64))
    TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 unit", unit->data, static_cast<int32_t>(unit->length));
  if ((encryptMode & 1) != 0) {
    if (encipher(e, unit)) return 0;
  } else if (encryptMode == 0) {
    return 0;
  } else {
    TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_send_pkt: Invalid encryption mode=%d\n", static_cast<int>(encryptMode));
  }
  e->curUnit = nullptr;
  return 1;
}

// Frames the queued data into DT TPDUs for one gathering write: up to
// kTxBatch TPDUs, each no longer than the TPDU size, the last of a buffer
// with EOT when the buffer ends its unit. With encryption on, one buffer
// at a time (the cipher buffer holds one). 0 with txCount TPDUs framed
// (none when the queue is empty); 1 when a buffer cannot be enciphered.
int32_t frameBatch(TCEP* e, Smachine* s) {
  e->txCount = e->txDoneCount = e->txIovCount = e->txIovAt = 0;
  const uint32_t room = e->tpduSize - kDtHeaderSize;
  SessionBuffer* const end = &s->outQ.head;
  SessionBuffer* next = e->curUnit != nullptr ? e->curUnit->next : s->outQ.head.next;
  while (e->txCount < kTxBatch) {
    if (e->curUnit == nullptr) {
      if (next == end || (encryptMode != 0 && e->txCount > 0)) break;
      if (const int32_t r = takeUnit(e, next); r != 0) return e->txCount > 0 ? 0 : r;
      next = next->next;
    }
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxSeg data length (%d),tpduSize(%d)\n",
             static_cast<int>(e->segLeft), static_cast<int>(e->tpduSize));
    const bool last = e->segLeft <= room;
    const uint32_t n = last ? e->segLeft : room;
    const uint32_t length = n + kDtHeaderSize;
    uint8_t* h = e->txHeader[e->txCount];
    const uint8_t header[kDtHeaderSize] = {tpktVersion(), 0, static_cast<uint8_t>(length >> 8),
                                           static_cast<uint8_t>(length & 0xFF), 2, kTpduDT,
                                           static_cast<uint8_t>(last && e->eot != 0 ? kTpduEOT : 0)};
    std::memcpy(h, header, kDtHeaderSize);
    e->txIov[e->txIovCount++] = iovec{h, kDtHeaderSize};
    if (n > 0) e->txIov[e->txIovCount++] = iovec{e->writePtr, n};
    e->txIovEnd[e->txCount] = e->txIovCount;
    e->txCompletes[e->txCount] = last ? e->curUnit : nullptr;
    ++e->txCount;
    e->writePtr += n;
    e->segLeft -= n;
    if (last) e->curUnit = nullptr;
  }
  return 0;
}

// Writes what is left of the batch with one gathering call; buffers whose
// TPDUs have all gone move to the confirm queue.
Wrote writeBatch(TCEP* e, Smachine* s) {
  for (;;) {
    if (e->socket == kNoSocket) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tsend():Invalid socket (NOSOCKET)\n");
      return Wrote::Closed;
    }
    size_t toWrite = 0;
    for (uint32_t i = e->txIovAt; i < e->txIovCount; ++i) toWrite += e->txIov[i].iov_len;
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxTPDU of length = %d, eosTPDU(%d)\n",
             static_cast<int>(toWrite), static_cast<int>(e->eot));
    msghdr m{};
    m.msg_iov = e->txIov + e->txIovAt;
    m.msg_iovlen = e->txIovCount - e->txIovAt;
    ssize_t n = sendmsg(e->socket, &m, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return writeFailed(e, "tp0tcp_send_pkt", static_cast<uint32_t>(toWrite));
    if (n == 0) {
      traceNothingWritten(e);
      return Wrote::Nothing;
    }
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() Data:  Sent = %d To be Sent = %d\n",
             static_cast<int>(n), static_cast<int>(toWrite - static_cast<size_t>(n)));
    const bool dump = tm_siteOn(sess_TM_handle, 64);
    while (n > 0) {
      iovec& v = e->txIov[e->txIovAt];
      const size_t k = static_cast<size_t>(n) < v.iov_len ? static_cast<size_t>(n) : v.iov_len;
      if (dump) TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 sent", v.iov_base, static_cast<int32_t>(k));
      v.iov_base = static_cast<uint8_t*>(v.iov_base) + k;
      v.iov_len -= k;
      n -= static_cast<ssize_t>(k);
      if (v.iov_len == 0) ++e->txIovAt;
    }
    while (e->txDoneCount < e->txCount && e->txIovEnd[e->txDoneCount] <= e->txIovAt) {
      if (SessionBuffer* unit = e->txCompletes[e->txDoneCount]) unitSent(s, unit);
      ++e->txDoneCount;
    }
    // What the socket did not take waits for the poll loop.
    return e->txIovAt == e->txIovCount ? Wrote::Whole : Wrote::Part;
  }
}

}  // namespace

int32_t tp0tcp_send_pkt(Smachine* s) {
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return -1;
  for (;;) {
    if (e->sendState == TxTPDU && e->txCount == 0) {
      // A control TPDU the socket could not take at once.
      switch (writeTpdu(e, "tp0tcp_send_pkt")) {
        case Wrote::Closed: return -1;
        case Wrote::Nothing: return 1;
        case Wrote::Whole: e->sendState = TxIdle; break;
        default: return 0;
      }
      continue;
    }
    if (e->sendState == TxTPDU) {
      switch (writeBatch(e, s)) {
        case Wrote::Closed: return -1;
        case Wrote::Nothing: return 1;
        case Wrote::Whole: break;
        default: return 0;
      }
      e->txCount = 0;
      e->sendState = e->curUnit != nullptr ? TxSeg : TxIdle;
      continue;
    }
    if (const int32_t r = frameBatch(e, s); r != 0) {
      e->sendState = TxIdle;
      return r;
    }
    if (e->txCount == 0) {
      e->sendState = TxIdle;
      return 0;
    }
    e->sendState = TxTPDU;
  }
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// What the octets read so far hold next.
enum class Staged { Packet, Need, Gone };

// Takes the next whole TPKT out of the receive area into inTpdu, after
// checking its header; Need when it has not arrived whole; Gone when the
// header ended the connection (reported).
Staged nextPacket(TCEP* e, Smachine* s) {
  const uint32_t have = e->rxEnd - e->rxStart;
  if (have < kTpktHeaderSize) return Staged::Need;
  const uint8_t* p = e->rcvBuf->area + e->rxStart;
  if (p[0] != tpktVersion()) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\twrong TPDU version number (%d), TCEP ID=%d\n\t\n", p[0], s->tcepId);
    dropConnection(e);
    return Staged::Gone;
  }
  const uint32_t length = static_cast<uint32_t>(p[2]) << 8 | p[3];
  if (length <= kTpktHeaderSize) {
    // Not even the LI octet of a TPDU.
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tinvalid TPKT length (%d), TCEP ID=%d\n", static_cast<int>(length),
             s->tcepId);
    dropConnection(e);
    return Staged::Gone;
  }
  // Once the size is agreed no packet may be longer; before, the CR or CC
  // that agrees it may be as long as a TPKT can be.
  if (e->state == kTcepOpen && length - kTpktHeaderSize > e->tpduSize) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tactual data size (%d) is larger than negosiated size (%d)\n",
             static_cast<int>(length - kTpktHeaderSize), static_cast<int>(e->tpduSize));
    (void)SFLOind(s);
    // Its body is never taken: the connection cannot go on.
    if (usable(e, s)) dropConnection(e);
    return Staged::Gone;
  }
  if (have < length) return Staged::Need;
  e->inTpdu = p + kTpktHeaderSize;
  e->inTpduLength = length - kTpktHeaderSize;
  e->rxStart += length;
  TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() Data: Read = %d; To be Read = %d\n",
           static_cast<int>(length), 0);
  return Staged::Packet;
}

// Room for the next read: what is left of a partly read packet moves to
// the front of the area when the room behind it has become small.
uint32_t makeRoom(TCEP* e) {
  const uint32_t cap = e->rcvBuf->capacity;
  if (e->rxStart == e->rxEnd) e->rxStart = e->rxEnd = 0;
  if (e->rxStart > 0 && cap - e->rxEnd < cap / 2) {
    std::memmove(e->rcvBuf->area, e->rcvBuf->area + e->rxStart, e->rxEnd - e->rxStart);
    e->rxEnd -= e->rxStart;
    e->rxStart = 0;
  }
  return cap - e->rxEnd;
}

}  // namespace

bool tp0tcp_packetWaiting(const TCEP* e) {
  if (e->rcvBuf == nullptr || e->rxEnd - e->rxStart < kTpktHeaderSize) return false;
  const uint8_t* p = e->rcvBuf->area + e->rxStart;
  const uint32_t length = static_cast<uint32_t>(p[2]) << 8 | p[3];
  // A header that ends the connection counts too: it is dealt with at once.
  return length <= kTpktHeaderSize || e->rxEnd - e->rxStart >= length || p[0] != tpktVersion();
}

int32_t tp0tcp_rcv_pkt(Smachine* s) {
  TCEP* e = tp0tcp_tcepOf(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_rcv_pkt() called with rcvCount = %d\n",
           e != nullptr ? static_cast<int>(e->rxEnd - e->rxStart) : 0);
  if (e == nullptr || !usable(e, s) || e->rcvBuf == nullptr) return 1;

  // Every whole TPDU already read is handled before the socket is read
  // again, and the socket is read until it has no more.
  bool drained = false;
  for (;;) {
    if (s->credit == 0 && e->state == kTcepOpen) {
      // Nothing is handed up without credit; only a peer that went is
      // noticed when nothing waits here.
      if (e->rxEnd != e->rxStart) return 0;
      uint8_t probe = 0;
      const ssize_t n = recv(e->socket, &probe, 1, MSG_PEEK);
      if (n == 0) {
        dropConnection(e);
        return 0;
      }
      if (n < 0 && !wouldBlock(errno) && errno != EINTR) {
        dropConnection(e);
        return -1;
      }
      return 0;
    }
    const Staged next = nextPacket(e, s);
    if (next == Staged::Gone) return 0;
    if (next == Staged::Packet) {
      if (const int32_t r = tp0tcp_parse_pkt(e, e->inTpdu, e->inTpduLength); r != 0) return r;
      if (e->owner != s || e->state != kTcepOpen) return 1;
      (void)s_receive(s);
      continue;
    }
    // A short read emptied the socket a moment ago: the poll loop tells
    // when more comes.
    if (drained) return 1;
    const uint32_t room = makeRoom(e);
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() rcvData of length = %d\n", static_cast<int>(room));
    const ssize_t n = recv(e->socket, e->rcvBuf->area + e->rxEnd, room, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && wouldBlock(errno)) {
      TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() rcvPCI none received\n");
      return 1;
    }
    if (n == 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tDisconnect indication received, TCEP ID=%d\n", s->tcepId);
      dropConnection(e);
      return 0;
    }
    if (n < 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TP0:\tConnection read error (connection broken), TCEP ID=%d\n\trecv() failed: errno %d, %s\n",
               s->tcepId, errno, std::strerror(errno));
      dropConnection(e);
      return -1;
    }
    e->rxEnd += static_cast<uint32_t>(n);
    drained = static_cast<uint32_t>(n) < room;
  }
}

int32_t tp0tcp_parse_pkt(TCEP* e, const uint8_t* tpdu, uint32_t read) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_parse_pkt() called\n");
  if (e == nullptr || tpdu == nullptr) return 1;
  Smachine* s = e->owner;
  e->inTpdu = tpdu;
  e->inTpduLength = read;
  // The header must lie within the octets read, and be as long as its code
  // asks, before anything of it is taken.
  const uint8_t code = read >= 2 ? tpdu[1] : 0;
  uint32_t least = 1;
  if (code == kTpduCR || code == kTpduCC || code == kTpduDR) least = kTpduFixedCRCCDR;
  if (code == kTpduDT) least = kTpduFixedDT;
  if (read < 2 || static_cast<uint32_t>(tpdu[0]) + 1 > read || tpdu[0] < least) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tinvalid TPDU header (LI %d, %d octets), TCEP ID=%d\n",
             read > 0 ? tpdu[0] : 0, static_cast<int>(read), tp0tcp_tcepId(e));
    dropConnection(e);
    return 1;
  }

  int32_t r = 1;
  switch (code) {
    case kTpduCR: r = static_cast<int32_t>(tp0tcp_conn_ind(s)); break;
    case kTpduCC: r = static_cast<int32_t>(tp0tcp_conn_cfm(s)); break;
    case kTpduDR: r = static_cast<int32_t>(tp0tcp_disconn_ind(s)); break;
    case kTpduDT: r = static_cast<int32_t>(tp0tcp_data_ind(s)); break;
    default:
      TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tTPDU code 0x%02x dropped, TCEP ID=%d\n", code, tp0tcp_tcepId(e));
      r = 1;
      break;
  }
  if (e->owner == s) {
    e->inTpdu = nullptr;
    e->inTpduLength = 0;
  }
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_parse_pkt() called end\n");
  return r;
}
