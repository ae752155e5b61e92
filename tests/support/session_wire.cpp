#include "support/session_wire.h"

#include <gtest/gtest.h>

#include <cstring>

#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/stimer.h"
#include "src/session/tp0addr.h"
#include "support/recordset.h"

namespace {

SessionWire* gWire = nullptr;

// Ids under which the parked record sets wait.
constexpr uint64_t kParkedSide[2] = {0x5E55'0000'000Aull, 0x5E55'0000'000Bull};
constexpr uint64_t kParkedOwn = 0x5E55'0000'000Cull;

}  // namespace

// The transport interface entries the wire replaces.
struct SessionWireHooks {
  static uint32_t tconReq(Smachine* s) {
    SessionWire& w = *gWire;
    s->tcepId = 1;
    w.conn_[w.current_] = s;  // also when the user called s_connect itself
    w.connectPending_ = true;
    return 0;
  }
  static uint32_t transmit(Smachine* s) {
    gWire->transmit(s);
    return 0;
  }
  static uint32_t disconnect(Smachine* s) {
    SessionWire& w = *gWire;
    const SessionWire::Side side = w.current_;
    const SessionWire::Side other = side == SessionWire::A ? SessionWire::B : SessionWire::A;
    s->state = STA01;
    if (w.connected_[side]) {
      w.connected_[side] = false;
      if (w.conn_[other] != nullptr) w.disconnectPending_[other] = true;
    }
    w.conn_[side] = nullptr;  // released by the machine
    return 0;
  }
  static int32_t user(Smachine*, SIDU* sidu) {
    SessionWire& w = *gWire;
    SessionWire::Seen seen{*sidu, {}};
    for (SessionBuffer* b = sidu->userData; b != nullptr;) {
      seen.data.append(reinterpret_cast<const char*>(b->data), b->length);
      b = b->next != sidu->userData ? b->next : nullptr;
    }
    s_freeChain(sidu->userData);
    seen.sidu.userData = nullptr;
    w.seen_[w.current_].push_back(seen);
    return 0;
  }
};

SessionWire::SessionWire(int32_t bufferSize, SsIndication user) : bufferSize_(bufferSize) {
  ensureProcessMutexes();
  savedSwitch_ = QvMultiThread;
  QvSetMultiThread(1);
  gWire = this;
  hooks_.tconReq = &SessionWireHooks::tconReq;
  hooks_.transmit = &SessionWireHooks::transmit;
  hooks_.disconnect = &SessionWireHooks::disconnect;
  savedHooks_ = gTpiHooks;
  gTpiHooks = &hooks_;
  clock_.set(now_, 0);

  // A record set the thread already runs on waits aside meanwhile.
  if (gSessionTLS.getOwn(0, false) != nullptr) {
    QvGetAllTLS(&own_);
    QvChangeThreadIdInAllTLS(&own_, kParkedOwn);
    haveOwn_ = true;
  }
  sel_[A] = SSAPaddr{};
  sel_[A].ssap.len = 2;
  sel_[A].ssap.sel[0] = 0x00;
  sel_[A].ssap.sel[1] = 0x01;
  sel_[B] = SSAPaddr{};
  sel_[B].ssap.len = 2;
  sel_[B].ssap.sel[0] = 0x00;
  sel_[B].ssap.sel[1] = 0x02;
  for (Side side : {A, B}) {
    EXPECT_EQ(QvCreateAllTLS(), 1);
    QvGetAllTLS(&set_[side]);
    EXPECT_NE(xm_init(), nullptr);
    EXPECT_EQ(init_buffers(20, bufferSize), 1);
    TpLocalAddr local{};
    local.tsap.len = 2;
    local.tsap.sel[0] = 0x04;
    local.tsap.sel[1] = static_cast<uint8_t>(0x50 + side);
    EXPECT_EQ(init_session(&local), 0u);
    EXPECT_EQ(s_activate(&sel_[side], user != nullptr ? user : &SessionWireHooks::user), 1);
    QvChangeThreadIdInAllTLS(&set_[side], kParkedSide[side]);
  }
  current_ = A;
  QvChangeThreadIdInAllTLS(&set_[A], QvGetThreadId());
}

SessionWire::~SessionWire() {
  // The side the thread runs on goes first, then the parked one.
  const Side order[2] = {current_, current_ == A ? B : A};
  for (int i = 0; i < 2; ++i) {
    if (i == 1) QvChangeThreadIdInAllTLS(&set_[order[1]], QvGetThreadId());
    close_buffers();
    xm_shutdown();
    QvRemoveAllTLS();
  }
  if (haveOwn_) QvChangeThreadIdInAllTLS(&own_, QvGetThreadId());
  gTpiHooks = savedHooks_;
  gWire = nullptr;
  QvSetMultiThread(savedSwitch_);
}

void SessionWire::enter(Side side) {
  if (side == current_) return;
  QvChangeThreadIdInAllTLS(&set_[current_], kParkedSide[current_]);
  QvChangeThreadIdInAllTLS(&set_[side], QvGetThreadId());
  current_ = side;
}

SessionBuffer* SessionWire::buffer(const std::string& octets) {
  SessionBuffer* b = balloc(static_cast<int32_t>(octets.size()));
  EXPECT_NE(b, nullptr);
  if (b != nullptr && !octets.empty()) std::memcpy(b->data, octets.data(), octets.size());
  return b;
}

Smachine* SessionWire::connect(SIDU* request) {
  enter(A);
  request->callingSsap = &sel_[A];
  conn_[A] = s_connect(request);
  return conn_[A];
}

int32_t SessionWire::request(Side side, SIDU* sidu) {
  enter(side);
  Smachine* s = conn_[side];
  const int32_t r = session(s, sidu);
  forget(side);
  return r;
}

// Drops the side's connection when the machine has released it.
void SessionWire::forget(Side side) {
  SessionTLS* t = getSessionTLS(0);
  if (conn_[side] != nullptr && !s_isLive(t, conn_[side])) conn_[side] = nullptr;
}

void SessionWire::transmit(Smachine* s) {
  const Side side = current_;
  if (!connected_[side]) return;  // no transport connection yet: the queue waits
  // A unit given in pieces goes on the wire once its last piece is queued.
  std::vector<uint8_t>& unit = partial_[side];
  while (SessionBuffer* b = sq_take(&s->outQ)) {
    unit.insert(unit.end(), b->data, b->data + b->length);
    const bool end = b->endFlag != 0;
    if (confirms) sq_append(&s->cnfQ, b);
    else bfree(b);
    if (end) {
      sent_[side].push_back(unit);
      inbound_[side == A ? B : A].push_back(unit);
      unit.clear();
    }
  }
}

void SessionWire::deliverUnit(Side to, const std::vector<uint8_t>& unit) {
  const size_t piece = static_cast<size_t>(bufferSize_);
  for (size_t at = 0; at < unit.size() || at == 0; at += piece) {
    const size_t n = unit.size() - at < piece ? unit.size() - at : piece;
    pieces_[to].emplace_back(std::vector<uint8_t>(unit.begin() + static_cast<long>(at),
                                                  unit.begin() + static_cast<long>(at + n)),
                             at + n >= unit.size());
    if (unit.empty()) break;
  }
  while (deliverPiece(to)) {
  }
}

// The next piece towards a side, as the transport hands a received buffer
// up: the first of a unit to the SPDU parser, the later ones as further data
// of the indication it gave, each only while the connection has credit.
bool SessionWire::deliverPiece(Side to) {
  if (pieces_[to].empty()) return false;
  enter(to);
  Smachine* s = conn_[to];
  if (s == nullptr) {  // nobody there any more
    pieces_[to].clear();
    return false;
  }
  const bool first = s->rcvPending == 0;
  if (!first && s->credit == 0) return false;
  auto [octets, end] = pieces_[to].front();
  pieces_[to].pop_front();
  SessionBuffer* b = balloc(static_cast<int32_t>(octets.size()));
  EXPECT_NE(b, nullptr);
  if (b == nullptr) return false;
  if (!octets.empty()) std::memcpy(b->data, octets.data(), octets.size());
  b->endFlag = end ? 1 : 0;
  if (s->credit > 0) --s->credit;
  if (first) {
    if (!end) {
      s->rcvPending = 1;
      s->lastDataKind = 0;
    }
    // Held until the unit is handled, as the transport does.
    SessionBuffer* held = &getSessionTLS(0)->tp0.held;
    b->next = held;
    b->prev = held->prev;
    held->prev->next = b;
    held->prev = b;
    parse_SPDU(s, b, SPDU_NORMAL);
    reclaim_buf();
  } else {
    if (end) s->rcvPending = 0;
    if (s->lastDataKind == 'h') (void)SDTind(s, b);
    else if (s->lastDataKind == 'x') (void)STDind(s, b);
    else bfree(b);
  }
  forget(to);
  return true;
}

size_t SessionWire::pump() {
  size_t delivered = 0;
  for (bool busy = true; busy;) {
    busy = false;
    if (connectPending_) {
      connectPending_ = false;
      enter(B);
      Smachine* s = s_alloc();
      SessionTLS* t = getSessionTLS(0);
      s->next = &t->machines;
      s->prev = t->machines.prev;
      t->machines.prev->next = s;
      t->machines.prev = s;
      s->tcepId = 1;
      conn_[B] = s;
      connected_[B] = true;
      (void)s_fsm(s, nullptr, s->state, kEvTConnectInd);
      forget(B);
      enter(A);
      connected_[A] = true;
      if (conn_[A] != nullptr) (void)s_fsm(conn_[A], nullptr, conn_[A]->state, kEvTConnectCnf);
      forget(A);
      busy = true;
      ++delivered;
    }
    for (Side side : {A, B}) {
      if (confirms && conn_[side] != nullptr && !sq_empty(&conn_[side]->cnfQ)) {
        enter(side);
        Smachine* s = conn_[side];
        while (s_isLive(getSessionTLS(0), s) && !sq_empty(&s->cnfQ)) (void)SDTcnf(s, sq_take(&s->cnfQ));
        forget(side);
        busy = true;
      }
      if (deliverPiece(side)) {
        busy = true;
        ++delivered;
      }
      if (pieces_[side].empty() && !inbound_[side].empty()) {
        const std::vector<uint8_t> unit = inbound_[side].front();
        inbound_[side].pop_front();
        deliverUnit(side, unit);
        busy = true;
        ++delivered;
      }
      if (disconnectPending_[side]) {
        disconnectPending_[side] = false;
        enter(side);
        connected_[side] = false;
        if (Smachine* s = conn_[side]) {
          conn_[side] = nullptr;
          (void)s_fsm(s, nullptr, s->state, kEvTDisconnect);
          // a machine that did not end keeps its record
          if (s_isLive(getSessionTLS(0), s)) conn_[side] = s;
        }
        busy = true;
        ++delivered;
      }
    }
  }
  return delivered;
}

void SessionWire::advance(Side side, long seconds) {
  enter(side);
  now_ += seconds;
  clock_.set(now_, 0);
  do_timer_queue();
  forget(side);
}

void SessionWire::takeTpkts(std::vector<CapturedTpkt>* out) {
  for (Side side : {A, B}) {
    const auto& units = sent_[side];
    for (size_t i = tpktsTaken_[side]; i < units.size(); ++i) {
      std::string p = {'\x03', '\x00', '\x00', '\x00', '\x02', '\xF0', '\x80'};
      p.append(units[i].begin(), units[i].end());
      p[2] = static_cast<char>(p.size() >> 8);
      p[3] = static_cast<char>(p.size() & 0xFF);
      out->push_back(CapturedTpkt{side == A, p});
    }
    tpktsTaken_[side] = units.size();
  }
}
