// Two session record sets on one thread, joined through an in-memory wire.
//
// Side A calls, side B is called. Each side has its own record set (memory
// root, buffer pool, timers, session record) with a registered session user
// that records every indication and confirm. The thread runs on one side at
// a time (enter): the other side's records are parked under an id of their
// own, as the driver parks a connection's records between calls.
//
// The transport interface is replaced: a unit that a side sends (its output
// queue, up to a buffer with the end flag) travels as octets to the other
// side, whose parse_SPDU reads it when the wire is pumped; a unit larger
// than a pool buffer arrives in pieces of a buffer, as the transport hands
// them up, each after the first only while the connection has receive
// credit. T-CONNECT and T-DISCONNECT travel the same way as events.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "src/odbc/alltls.h"
#include "src/session/session.h"
#include "src/session/tpi.h"
#include "support/clock.h"
#include "support/tpkt_capture.h"

class SessionWire {
 public:
  enum Side { A = 0, B = 1 };

  // What a side's user saw of one indication or confirm.
  struct Seen {
    SIDU sidu;          // as given; its user data was freed afterwards
    std::string data;   // the user data's octets
  };

  // `user` is each side's session user (NULL: the wire records what it
  // sees in seen()).
  explicit SessionWire(int32_t bufferSize = 1024, SsIndication user = nullptr);
  ~SessionWire();
  SessionWire(const SessionWire&) = delete;
  SessionWire& operator=(const SessionWire&) = delete;

  // When set, every buffer a side sends comes back to its user as a data
  // confirm once the wire is pumped, as the transport hands sent units back.
  bool confirms = false;

  // Runs the thread on the records of `side`.
  void enter(Side side);
  Side current() const { return current_; }

  // Side A's S-CONNECT request (its calling selector is filled in); the
  // connection or NULL.
  Smachine* connect(SIDU* request);
  // A request or response on the side's connection, on that side; the
  // result of `session`.
  int32_t request(Side side, SIDU* sidu);
  // Delivers everything in flight, both ways, until the wire is quiet;
  // the number of units and transport events delivered.
  size_t pump();
  // Runs the side's expired timers after moving the clock on.
  void advance(Side side, long seconds);

  Smachine* connection(Side side) const { return conn_[side]; }
  const SSAPaddr& selector(Side side) const { return sel_[side]; }
  std::vector<Seen>& seen(Side side) { return seen_[side]; }
  // Every unit each side put on the wire, in order.
  const std::vector<std::vector<uint8_t>>& sent(Side side) const { return sent_[side]; }
  // Appends the units put on the wire since the last call, A's then B's, to
  // `out` as TPKTs of one DT TPDU each, as they would have crossed TCP.
  void takeTpkts(std::vector<CapturedTpkt>* out);
  // Units in flight towards a side; tests may add their own.
  std::deque<std::vector<uint8_t>>& inbound(Side side) { return inbound_[side]; }
  // A buffer of the current side holding `octets`.
  SessionBuffer* buffer(const std::string& octets);

 private:
  friend struct SessionWireHooks;
  size_t tpktsTaken_[2] = {0, 0};
  void deliverUnit(Side to, const std::vector<uint8_t>& unit);
  bool deliverPiece(Side to);
  void transmit(Smachine* s);
  void forget(Side side);

  AllTLS set_[2]{};
  AllTLS own_{};
  bool haveOwn_ = false;
  int32_t savedSwitch_ = 1;
  Side current_ = A;
  Smachine* conn_[2] = {nullptr, nullptr};
  bool connected_[2] = {false, false};
  bool connectPending_ = false;
  bool disconnectPending_[2] = {false, false};
  SSAPaddr sel_[2]{};
  std::vector<Seen> seen_[2];
  std::vector<std::vector<uint8_t>> sent_[2];
  std::deque<std::vector<uint8_t>> inbound_[2];
  // Pieces of a unit under way towards a side, with their end flags.
  std::deque<std::pair<std::vector<uint8_t>, bool>> pieces_[2];
  int32_t bufferSize_ = 1024;
  std::vector<uint8_t> partial_[2];  // a unit whose last piece is still to come
  TpiHooks hooks_{};
  const TpiHooks* savedHooks_ = nullptr;
  ClockSteer clock_;
  long now_ = 5000;
};
