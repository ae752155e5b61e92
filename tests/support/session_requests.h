// Stands in for the session service under the presentation layer's senders:
// every S-CONNECT request and every other request or response is recorded
// with its parameters and the octets of its user data, which it takes over
// and frees as the session layer would. S-CONNECT answers a connection of
// its own (a record that is never used as one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/presentation/psend.h"
#include "src/session/session.h"

class SessionRequests {
 public:
  struct Request {
    Smachine* s;
    SIDU sidu;          // as given; its user data pointer is cleared
    std::string data;   // the user data's octets
    std::vector<uint32_t> endFlags;  // of each buffer of the user data
    SAddress called;    // S-CONNECT: the called address
    SSAPaddr calling;   // S-CONNECT: the calling selector
  };

  // Puts itself in psSessionService; the destructor puts the previous back.
  SessionRequests();
  ~SessionRequests();
  SessionRequests(const SessionRequests&) = delete;
  SessionRequests& operator=(const SessionRequests&) = delete;

  std::vector<Request> requests;
  // The answer of every request: 0 fails it with session error `error`,
  // leaving the user data to the caller unless the error is 32769.
  int32_t result = 1;
  uint32_t error = 0;
  // S-CONNECT answers NULL when false.
  bool connectSucceeds = true;

  Smachine* connection() { return reinterpret_cast<Smachine*>(&fakeConnection_); }
  // The events of the recorded requests, in order.
  std::vector<uint32_t> events() const;

 private:
  static int32_t request(Smachine* s, SIDU* sidu);
  static Smachine* connect(SIDU* sidu);
  Request take(Smachine* s, SIDU* sidu);

  PsSessionService service_{};
  const PsSessionService* saved_ = nullptr;
  SessionRequests* outer_ = nullptr;
  alignas(Smachine) unsigned char fakeConnection_[sizeof(Smachine)] = {};
};
