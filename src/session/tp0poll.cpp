// The poll loop of the thread's transport connections, received user data
// on its way to the SPDU reader, and disconnection.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/qvcrypt.h"
#include "src/runtime/xm.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/tp0tcp";

// Octets a decipher call may write beyond its input (a held-back block),
// and what the closing call writes: kept free in the assembly buffer.
constexpr uint32_t kCipherSlack = 16;

bool inUse(const TCEP* e, const Smachine* s) { return e->state != kTcepFree && e->owner == s; }

void reportDisconnect(Smachine* s) {
  if (s != nullptr) (void)s_fsm(s, nullptr, s->state, kEvTDisconnect);
}

// Writes DR, closes the connection and tells the session machine: for
// received data that cannot be taken.
void abortConnection(TCEP* e, Smachine* s) {
  (void)tp0tcp_disconn_req(s, 0);
  if (e->state != kTcepFree && e->owner == s) tp0tcp_close_con(e);
  reportDisconnect(s);
}

// Hands every sent unit back to the session user. False when the
// connection went meanwhile.
bool reportConfirms(TCEP* e, Smachine* s, uint32_t bits) {
  while (inUse(e, s) && !sq_empty(&s->cnfQ)) {
    TM_TRACE(sess_TM_handle, bits, kSrc, "TP0:\tGenerating data confirm (TCEP %d).\n", s->tcepId);
    (void)SDTcnf(s, sq_take(&s->cnfQ));
  }
  return inUse(e, s);
}

// A new assembly buffer, empty: its length counts the room left.
SessionBuffer* newAssembly(TCEP* e) {
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_data_ind() allocate new session buffer\n");
  SessionBuffer* a = balloc(-1);
  if (a == nullptr) return nullptr;
  a->data = a->area;
  a->length = a->capacity;
  e->assembly = a;
  return a;
}

// Room for deciphering: `room` less what the cipher may write beyond its
// input, and what its closing call needs.
uint32_t cipherRoom(uint32_t room) { return room > 2 * kCipherSlack ? room - 2 * kCipherSlack : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Small entries

uint32_t tp0tcp_closeSocket(int32_t socket) {
  if (socket == kNoSocket) return 1;
  (void)close(socket);
  return 0;
}

int32_t tp0tcp_getSocket(Smachine* s) {
  const TCEP* e = tp0tcp_tcepOf(s);
  return e != nullptr ? e->socket : kNoSocket;
}

// ---------------------------------------------------------------------------
// Closing

void tp0tcp_forgetTcep(TCEP* e) {
  if (e == nullptr) return;
  const int32_t id = tp0tcp_tcepId(e);
  (void)tp0tcp_closeSocket(e->socket);
  e->socket = kNoSocket;
  if (SessionTLS* t = getSessionTLS(0)) {
    Tp0Block& tp = t->tp0;
    if (tp.cursor == e) tp.cursor = e->next;
    if (e->next != e) {
      e->prev->next = e->next;
      e->next->prev = e->prev;
      e->next = e->prev = e;
      if (tp.activeCount > 0) --tp.activeCount;
    }
  }
  e->state = kTcepFree;
  if (e->owner != nullptr && e->owner->tcepId == id) {
    e->owner->tcepId = -1;
    e->owner->credit = 0;
  }

  bfree(e->assembly);
  e->assembly = nullptr;
  bfree(e->cipherBuf);
  e->cipherBuf = nullptr;
  if (e->decryptCtx != nullptr || e->encryptCtx != nullptr) {
    int32_t st = qvcrypt_CIPHER_CTX_cleanup(&e->decryptCtx);
    TM_TRACE(sess_TM_handle, 64, kSrc, "Closing connection, Decrypt cipher cleanup status=%d\n", st);
    if (st == 0) TM_TRACE(sess_TM_handle, 8, kSrc, "Closing connection, Decrypt cipher cleanup error=%d\n", st);
    st = qvcrypt_CIPHER_CTX_cleanup(&e->encryptCtx);
    TM_TRACE(sess_TM_handle, 64, kSrc, "Closing connection, Encrypt cipher cleanup status=%d\n", st);
    if (st == 0) TM_TRACE(sess_TM_handle, 8, kSrc, "Closing connection, Encrypt cipher cleanup error=%d\n", st);
  }
  if (e->connTree != nullptr) {
    _xm_freeTree(e->connTree);  // the receive buffer goes with it
  } else {
    tp0tcp_freeBuf(e->rcvBuf);
  }
  e->connTree = nullptr;
  e->rcvBuf = nullptr;
  e->rxStart = e->rxEnd = 0;
  e->inTpdu = nullptr;
  e->inTpduLength = 0;
  e->sendState = TxIdle;
  e->curUnit = nullptr;
  e->txCount = 0;
  e->confirmPending = 0;
}

void tp0tcp_close_con(TCEP* e) {
  if (e == nullptr) return;
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tClosing connection, TCEP ID=%d\n", tp0tcp_tcepId(e));
  if (e->socket == kNoSocket && e->state == kTcepFree) {
    TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tConnection is already closed. So not doing it again.\n");
    return;
  }
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tSocket=%d.\n", e->socket);
  if (e->state != kTcepCrSent) CloseCon(e->owner);
  tp0tcp_forgetTcep(e);
  if (QvAtTerminateFuncPtr != nullptr) QvAtTerminateFuncPtr();
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\tClosed connection\n");
}

int32_t tp0tcp_disconn_req(Smachine* s, int32_t reason) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_diconn_req() called with reason (%d)\n", reason);
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return 1;
  uint8_t* dr = e->header + kTpktHeaderSize;
  const auto ref = static_cast<uint16_t>(e->socket);
  const uint8_t octets[7] = {6, kTpduDR, e->peerRef[0], e->peerRef[1], static_cast<uint8_t>(ref & 0xFF),
                             static_cast<uint8_t>(ref >> 8), 0x00};
  std::memcpy(dr, octets, sizeof octets);
  const int32_t r = tp0tcp_send_conpkt(s);
  // A DR that would block is not waited for.
  if (r != -1) tp0tcp_close_con(e);
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_diconn_req() has called tp0tcp_close_con(%d). RC=%d\n",
           tp0tcp_tcepId(e), r);
  return r;
}

uint32_t tp0tcp_disconn_ind(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_disconn_ind() called.\n");
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr) return 1;
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\tDisconnecting transport connection (TCEP %d).\n", s->tcepId);
  tp0tcp_close_con(e);
  reportDisconnect(s);
  return 0;
}

// ---------------------------------------------------------------------------
// Received data

uint32_t tp0tcp_data_ind(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "TP0:\ttp0tcp_data_ind() called\n");
  TCEP* e = tp0tcp_tcepOf(s);
  if (e == nullptr || e->inTpdu == nullptr) return 1;
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return 1;
  const SessionBuffer* in = e->rcvBuf;
  const uint8_t* tpdu = e->inTpdu;
  const uint32_t read = e->inTpduLength;

  if ((tpdu[2] & 0x7F) != 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc,
             "TP0:\ttp0tcp_data_ind() expedited TPDU Id numner is not support by RFC1006 version 3 (%x)\n", tpdu[2]);
    abortConnection(e, s);
    return 1;
  }
  const bool eot = (tpdu[2] & kTpduEOT) != 0;
  TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_data_ind() End of TSDU (%d)\n", eot ? 1 : 0);
  if (encryptMode > 1) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_data_ind: Invalid encryption mode=%d\n", static_cast<int>(encryptMode));
    abortConnection(e, s);
    return 1;
  }
  const bool cipher = encryptMode == 1;

  // The reader hands up whole TPDUs: the user data runs from LI + 1 to the
  // last octet read (the dispatcher checked LI against the octets read).
  const uint8_t* data = tpdu + tpdu[0] + 1;
  uint32_t left = read - tpdu[0] - 1;

  for (;;) {
    SessionBuffer* a = e->assembly;
    if (a == nullptr && (left > 0 || (eot && s->rcvPending != 0))) a = newAssembly(e);
    if (a == nullptr) {
      if (left == 0) break;  // nothing to deliver: an empty unit, or more to come
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tUnable to allocate receive buffer, TCEP ID=%d\n", s->tcepId);
      (void)SFLOind(s);
      if (inUse(e, s)) abortConnection(e, s);
      return 1;
    }
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_data_ind()  session buffer info(%lx,%lx,%d,%d)\n",
             reinterpret_cast<unsigned long>(a->area), reinterpret_cast<unsigned long>(a->data),
             static_cast<int>(a->capacity), static_cast<int>(a->length));
    const uint32_t room = cipher ? cipherRoom(a->length) : a->length;
    const bool last = left <= room;
    const uint32_t n = last ? left : room;
    const bool endOfUnit = last && eot;
    const uint32_t held = a->capacity - a->length;
    if (!last && n == 0 && held == 0) {
      // Even an empty pool buffer cannot take a deciphered octet.
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tReceive buffer too small for the cipher, TCEP ID=%d\n", s->tcepId);
      abortConnection(e, s);
      return 1;
    }

    if (!cipher) {
      if (n > 0) std::memcpy(a->data, data, n);
      a->data += n;
      a->length -= n;
    } else {
      int32_t out = 0;
      int32_t st = 1;
      if (n > 0) {
        st = qvcrypt_DecryptUpdate(e->decryptCtx, a->data, &out, data, static_cast<int32_t>(n));
        TM_TRACE(sess_TM_handle, 16, kSrc, "tp0tcp_data_ind: DecryptUpdate status=%d\n", st);
        if (st == 0 || out < 0 || static_cast<uint32_t>(out) > a->length) {
          TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_data_ind: DecryptUpdate error=%d\n", st);
          abortConnection(e, s);
          return 1;
        }
        a->data += out;
        a->length -= static_cast<uint32_t>(out);
      }
      if (endOfUnit) {
        int32_t out2 = 0;
        st = qvcrypt_DecryptFinal_ex(e->decryptCtx, a->data, &out2);
        TM_TRACE(sess_TM_handle, 64, kSrc, "tp0tcp_data_ind: DecryptFinal status=%d\n", st);
        if (st == 0 || out2 < 0 || static_cast<uint32_t>(out2) > a->length) {
          TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_data_ind: DecryptFinal error=%d\n", st);
          abortConnection(e, s);
          return 1;
        }
        a->data += out2;
        a->length -= static_cast<uint32_t>(out2);
        st = qvcrypt_DecryptInit_ex(e->decryptCtx);
        TM_TRACE(sess_TM_handle, 64, kSrc, "tp0tcp_data_ind: DecryptInit status=%d\n", st);
        if (st == 0) {
          TM_TRACE(sess_TM_handle, 8, kSrc, "tp0tcp_data_ind: DecryptInit error=%d\n", st);
          abortConnection(e, s);
          return 1;
        }
      }
    }
    data += n;
    left -= n;

    if (!endOfUnit && last) break;  // the buffer collects the next TPDU's data
    if (endOfUnit && a->length == a->capacity && s->rcvPending == 0) break;  // an empty unit: nothing to say

    // Up it goes: the unit's end, or a full buffer.
    a->length = a->capacity - a->length;
    a->data = a->area;
    a->endFlag = endOfUnit ? 1 : 0;
    e->assembly = nullptr;
    if (s->credit > 0) --s->credit;
    TM_TRACE(sess_TM_handle, 64, kSrc, "TP0:\ttp0tcp_data_ind()  send session buffer(%d,%d) up\n",
             static_cast<int>(a->length), static_cast<int>(a->endFlag));
    TM_DUMPHEX(sess_TM_handle, 64, kSrc, "TP0 unit received", a->data, static_cast<int32_t>(a->length));
    if (s->rcvPending == 0) {
      if (a->endFlag == 0) {
        s->rcvPending = 1;
        s->lastDataKind = 0;  // the indication the first part gives notes its kind
      }
      SessionBuffer* h = &t->tp0.held;
      a->next = h;
      a->prev = h->prev;
      h->prev->next = a;
      h->prev = a;
      parse_SPDU(s, a, SPDU_NORMAL);
      reclaim_buf();
    } else {
      if (a->endFlag != 0) s->rcvPending = 0;
      if (s->state == STA15D) {
        bfree(a);
      } else if (s->lastDataKind == 'h') {
        (void)SDTind(s, a);
      } else if (s->lastDataKind == 'x') {
        (void)STDind(s, a);
      } else {
        // The first part gave no data indication to continue.
        TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\ttp0tcp_data_ind() no indication to continue (%x), TCEP ID=%d\n",
                 s->lastDataKind, s->tcepId);
        bfree(a);
        abortConnection(e, s);
        return 1;
      }
    }
    // The reader, the machine or the user may have ended the connection:
    // its receive buffer is gone with it.
    if (!inUse(e, s) || e->rcvBuf != in) return 0;
    if (last) break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Poll loop

int32_t tp0tcp_poll_events() {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr) return -1;
  Tp0Block& tp = t->tp0;
  pollfd fds[1 + kTcepCount];
  TCEP* who[1 + kTcepCount] = {};
  nfds_t nfds = 0;
  int32_t alive = 0;
  if (tp.listenSocket != -1) {
    fds[nfds++] = pollfd{tp.listenSocket, POLLIN, 0};
    ++alive;
  }

  // What the transport learnt since the last pass. The list is taken first:
  // what is reported may open or close connections.
  TCEP* list[kTcepCount];
  uint32_t listed = 0;
  // Connections with a whole packet already read: served without waiting.
  bool waiting[kTcepCount] = {};
  bool anyWaiting = false;
  for (TcepLink* l = tp.active.next; l != &tp.active && listed < kTcepCount; l = l->next)
    list[listed++] = static_cast<TCEP*>(l);
  for (uint32_t i = 0; i < listed; ++i) {
    TCEP* e = list[i];
    Smachine* s = e->owner;
    if (e->state == kTcepFree || e->next == e) continue;  // closed meanwhile
    if (e->state == kTcepFailed) {
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tGenerating disconnect indication for failed connection, TCEP ID=%d\n",
               tp0tcp_tcepId(e));
      tp0tcp_close_con(e);
      reportDisconnect(s);
      continue;
    }
    if (e->confirmPending != 0) {
      TM_TRACE(sess_TM_handle, 16, kSrc, "TP0:\tGenerating connect confirm (TCEP %d socket %d).\n",
               tp0tcp_tcepId(e), e->socket);
      const uint32_t r = s_fsm(s, nullptr, s->state, kEvTConnectCnf);
      if (!inUse(e, s)) continue;
      if (r != 0) {
        // The session machine could not take the connection.
        tp0tcp_close_con(e);
        reportDisconnect(s);
        continue;
      }
      e->confirmPending = 0;
    }
    if (!reportConfirms(e, s, 16)) continue;
    short events = 0;
    if (s->credit != 0 || e->state == kTcepCrSent) {
      events |= POLLIN;
      ++alive;
      if (tp0tcp_packetWaiting(e)) waiting[tp0tcp_tcepId(e)] = anyWaiting = true;
    }
    if (e->sendState != TxIdle) {
      events |= POLLOUT;
      ++alive;
    }
    if (events != 0) {
      who[nfds] = e;
      fds[nfds++] = pollfd{e->socket, events, 0};
    }
  }

  TM_TRACE(sess_TM_handle, 16, kSrc, "Total alive socket = %d\n", alive);
  if (alive == 0) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "No socket alive\n");
    return -1;
  }
  const int32_t seconds = t->tpParams.pollWait;
  int timeoutMs = seconds < 0 ? -1 : (seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
  if (anyWaiting) timeoutMs = 0;
  const int ready = gTp0Sys.poll(fds, nfds, timeoutMs);
  if (ready < 0) {
    const int err = errno;
    TM_TRACE(sess_TM_handle, err == EINTR || err == EINVAL ? 16 : 8, kSrc,
             "TP0:\tUnable to poll transport provider.\n\tselect() failed: errno %d, %s\n", err, std::strerror(err));
    return err == EINTR ? 0 : -1;
  }

  // Revents of each endpoint, for the socket it was polled with.
  short revents[kTcepCount] = {};
  short asked[kTcepCount] = {};
  int32_t polledSocket[kTcepCount];
  for (int32_t& p : polledSocket) p = kNoSocket;
  bool bad = false;
  bool accept = false;
  for (nfds_t i = 0; i < nfds; ++i) {
    if (who[i] == nullptr) {
      accept = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
      continue;
    }
    const int32_t id = tp0tcp_tcepId(who[i]);
    if ((fds[i].revents & POLLNVAL) != 0) {
      // A socket closed behind the transport's back.
      TM_TRACE(sess_TM_handle, 8, kSrc, "TP0:\tClosing bad socket connection.\n");
      Smachine* s = who[i]->owner;
      tp0tcp_close_con(who[i]);
      reportDisconnect(s);
      bad = true;
      continue;
    }
    revents[id] = fds[i].revents;
    asked[id] = fds[i].events;
    polledSocket[id] = fds[i].fd;
  }
  if (bad) return -1;
  if (accept && tp0tcp_acceptWaiting() != 0) return -1;

  // Round-robin service from the cursor, which stays where a pass that
  // ended early left it.
  for (uint32_t served = 0; served < tp.activeCount; ++served) {
    if (tp.cursor == &tp.active) tp.cursor = tp.active.next;
    if (tp.cursor == &tp.active) break;
    auto* e = static_cast<TCEP*>(tp.cursor);
    tp.cursor = e->next;
    Smachine* s = e->owner;
    const int32_t id = tp0tcp_tcepId(e);
    const short re = polledSocket[id] == e->socket ? revents[id] : 0;
    const short want = polledSocket[id] == e->socket ? asked[id] : 0;
    const bool readable = (re & (POLLIN | POLLHUP | POLLERR)) != 0 || (waiting[id] && tp0tcp_packetWaiting(e));
    if ((want & POLLIN) != 0 && readable) {
      TM_TRACE(sess_TM_handle, 16, kSrc, "do_session_queue detects data to be read on %d\n", e->socket);
      if (tp0tcp_rcv_pkt(s) < 0) return -1;
      if (e->owner != s || (e->state != kTcepOpen && e->state != kTcepCrSent)) continue;
    }
    if ((want & POLLOUT) != 0 && (re & (POLLOUT | POLLHUP | POLLERR)) != 0) {
      const int32_t r = e->sendState == TxIdle ? tp0tcp_data_req(s) : tp0tcp_send_pkt(s);
      if (r < 0) return -1;
      if (e->owner != s || (e->state != kTcepOpen && e->state != kTcepCrSent)) continue;
    }
    (void)reportConfirms(e, s, 64);
  }
  return 0;
}
