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

// Outcomes of writing the TPDU in hand.
enum class Wrote { Whole, Blocked, Nothing, Part, Closed };

// Writes what is left of the TPDU in hand. A control TPDU is written on
// until the socket would block; a data packet stops after a partial write
// (the poll loop writes the rest when the socket can take it).
Wrote writeTpdu(TCEP* e, const char* who) {
  for (;;) {
    if (e->socket == kNoSocket) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tsend():Invalid socket (NOSOCKET)\n");
      return Wrote::Closed;
    }
    const ssize_t n = send(e->socket, e->writePtr, e->bytesToWrite, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && wouldBlock(errno)) {
      TM_TRACE(sess_TM_handle, 32, kSrc, "TP0:\t%s(): Write of %d blocks of data will block\n", who,
               static_cast<int>(e->bytesToWrite));
      return Wrote::Blocked;
    }
    if (n == 0) {
      TM_TRACE(sess_TM_handle, 8, kSrc,
               "TP0:\tConnection write error (ignored), TCEP ID=%d\n\tsend() failed: errno %d, %s\n",
               tp0tcp_tcepId(e), errno, std::strerror(errno));
      return Wrote::Nothing;
    }
    if (n < 0) {
      const int err = errno;
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tConnection write error, TCEP ID=%d\n\tsend() failed: errno %d, %s\n",
               tp0tcp_tcepId(e), err, std::strerror(err));
      tp0tcp_close_con(e);
      return Wrote::Closed;
    }
    e->bytesToWrite -= static_cast<uint32_t>(n);
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\t%s() Data:  Sent = %d To be Sent = %d\n", who, static_cast<int>(n),
             static_cast<int>(e->bytesToWrite));
    TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 sent", e->writePtr, static_cast<int32_t>(n));
    e->writePtr += n;
    if (e->bytesToWrite == 0) return Wrote::Whole;
    if (e->curUnit != nullptr) return Wrote::Part;
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

int32_t tp0tcp_send_pkt(Smachine* s) {
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return -1;
  uint8_t dt[kDtHeaderSize] = {tpktVersion(), 0, 0, 0, 2, kTpduDT, 0};
  for (;;) {
    switch (e->sendState) {
      case TxIdle: {
        TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxIdle\n");
        if (sq_empty(&s->outQ)) return 0;
        SessionBuffer* unit = s->outQ.head.next;
        e->curUnit = unit;
        e->segLeft = unit->length;
        e->eot = unit->endFlag;
        e->writePtr = unit->data;
        TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() TxSDU data length (%d),eosdu (%d)\n",
                 static_cast<int>(unit->length), static_cast<int>(unit->endFlag));
        TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 unit", unit->data, static_cast<int32_t>(unit->length));
        if ((encryptMode & 1) != 0) {
          if (!encipher(e, unit)) {
            e->curUnit = nullptr;
            return 1;
          }
        } else if (encryptMode != 0) {
          TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_send_pkt: Invalid encryption mode=%d\n",
                   static_cast<int>(encryptMode));
          e->curUnit = nullptr;
          return 1;
        }
        e->sendState = TxSeg;
        break;
      }
      case TxSeg: {
        TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxSeg data length (%d),tpduSize(%d)\n",
                 static_cast<int>(e->segLeft), static_cast<int>(e->tpduSize));
        const uint32_t room = e->tpduSize - kDtHeaderSize;
        uint32_t length = 0;
        if (e->segLeft > room) {
          length = e->tpduSize;
          dt[6] = 0;
        } else {
          length = e->segLeft + kDtHeaderSize;
          dt[6] = e->eot != 0 ? kTpduEOT : 0;
        }
        dt[2] = static_cast<uint8_t>(length >> 8);
        dt[3] = static_cast<uint8_t>(length & 0xFF);
        // The session buffers keep room in front of the data for this.
        e->writePtr -= kDtHeaderSize;
        std::memcpy(e->writePtr, dt, kDtHeaderSize);
        e->bytesToWrite = length;
        e->sendState = TxTPDU;
        break;
      }
      case TxTPDU: {
        TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_send_pkt() TxTPDU of length = %d, eosTPDU(%d)\n",
                 static_cast<int>(e->bytesToWrite), static_cast<int>(e->eot));
        switch (writeTpdu(e, "tp0tcp_send_pkt")) {
          case Wrote::Closed: return -1;
          case Wrote::Nothing: return 1;
          case Wrote::Blocked:
          case Wrote::Part: return 0;
          case Wrote::Whole: break;
        }
        if (e->curUnit == nullptr) {  // a control TPDU finished from the poll loop
          e->sendState = TxIdle;
          break;
        }
        const uint32_t room = e->tpduSize - kDtHeaderSize;
        if (e->segLeft > room) {
          e->segLeft -= room;
          e->sendState = TxSeg;
          TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_send_pkt() remind TxSeg data length = %d\n",
                   static_cast<int>(e->segLeft));
          break;
        }
        unitSent(s, e->curUnit);
        e->curUnit = nullptr;
        e->sendState = TxIdle;
        break;
      }
      default:
        e->sendState = TxIdle;
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Reading

int32_t tp0tcp_rcv_pkt(Smachine* s) {
  TCEP* e = tp0tcp_tcepOf(s);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_rcv_pkt() called with rcvCount = %d\n",
           e != nullptr ? static_cast<int>(e->bytesToRead) : 0);
  if (e == nullptr || !usable(e, s)) return 1;

  if (s->credit == 0 && e->state == kTcepOpen) {
    // Nothing is read without credit; only a peer that went is noticed.
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

  for (;;) {
    if (e->rcvPhase == rcvPCI) {
      TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() rcvPCI of length = %d\n",
               static_cast<int>(e->bytesToRead));
      const ssize_t n = recv(e->socket, e->readPtr, e->bytesToRead, 0);
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
      e->bytesToRead -= static_cast<uint32_t>(n);
      e->readPtr += n;
      if (e->bytesToRead > 0) {
        TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() rcvPCI. STill to read PCI of length = %d \n",
                 static_cast<int>(e->bytesToRead));
        return 0;
      }
      if (e->rcvHeader[0] != tpktVersion()) {
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\twrong TPDU version number (%d), TCEP ID=%d\n\t\n",
                 e->rcvHeader[0], s->tcepId);
        dropConnection(e);
        return 0;
      }
      const uint32_t length = static_cast<uint32_t>(e->rcvHeader[2]) << 8 | e->rcvHeader[3];
      if (length <= kTpktHeaderSize) {
        // Not even the LI octet of a TPDU.
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tinvalid TPKT length (%d), TCEP ID=%d\n", static_cast<int>(length),
                 s->tcepId);
        dropConnection(e);
        return 0;
      }
      e->bytesToRead = length - kTpktHeaderSize;
      e->rcvPhase = rcvData;
      if (e->state == kTcepCrSent) {
        // Before the CC the TPDU size is not agreed: a buffer of its own.
        tp0tcp_freeBuf(e->rcvBuf);
        e->rcvBuf = tp0tcp_allocBuf(e->connTree, e->bytesToRead + 1);
        if (e->rcvBuf == nullptr) {
          TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to allocate initial receive buffer\n");
          (void)SFLOind(s);
          if (usable(e, s)) dropConnection(e);
          return 0;
        }
      } else if (e->rcvBuf == nullptr || e->bytesToRead > e->rcvBuf->capacity) {
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tactual data size (%d) is larger than negosiated size (%d)\n",
                 static_cast<int>(e->bytesToRead), static_cast<int>(e->tpduSize));
        (void)SFLOind(s);
        // Its body is never read: the connection cannot go on.
        if (usable(e, s)) dropConnection(e);
        return 0;
      }
    }

    SessionBuffer* b = e->rcvBuf;
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() rcvData of length = %d\n",
             static_cast<int>(e->bytesToRead));
    const uint32_t want = b->length < e->bytesToRead ? b->length : e->bytesToRead;
    const ssize_t n = recv(e->socket, b->data, want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && wouldBlock(errno)) return 1;
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
    e->bytesToRead -= static_cast<uint32_t>(n);
    b->length -= static_cast<uint32_t>(n);
    b->data += n;
    TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\ttp0tcp_rcv_pkt() Data: Read = %d; To be Read = %d\n",
             static_cast<int>(n), static_cast<int>(e->bytesToRead));
    if (e->bytesToRead > 0) return 0;  // the rest of the TPDU later

    e->bytesToRead = kTpktHeaderSize;
    e->readPtr = e->rcvHeader;
    e->rcvPhase = rcvPCI;
    if (const int32_t r = tp0tcp_parse_pkt(e, b); r != 0) return r;
    if (e->owner != s || e->state != kTcepOpen) return 1;
    (void)s_receive(s);
    if (s->credit == 0) return 0;
  }
}

int32_t tp0tcp_parse_pkt(TCEP* e, SessionBuffer* rcvBuf) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_parse_pkt() called\n");
  if (e == nullptr || rcvBuf == nullptr) return 1;
  Smachine* s = e->owner;
  const uint8_t* tpdu = rcvBuf->area;
  const uint32_t read = rcvBuf->capacity - rcvBuf->length;
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
    case kTpduCR: r = static_cast<int32_t>(tp0tcp_conn_ind(s, &e->rcvBuf)); break;
    case kTpduCC: r = static_cast<int32_t>(tp0tcp_conn_cfm(s, &e->rcvBuf)); break;
    case kTpduDR: r = static_cast<int32_t>(tp0tcp_disconn_ind(s)); break;
    case kTpduDT: r = static_cast<int32_t>(tp0tcp_data_ind(s)); break;
    default:
      TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tTPDU code 0x%02x dropped, TCEP ID=%d\n", code, tp0tcp_tcepId(e));
      r = 1;
      break;
  }
  // Ready for the next TPDU while the connection is still the owner's.
  if (e->state != kTcepFree && e->owner == s && e->rcvBuf != nullptr) tp0tcp_initBuf(e->rcvBuf);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_parse_pkt() called end\n");
  return r;
}
