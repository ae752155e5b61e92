// Helpers of the SPDU tests: hex octet strings, feeding a received unit to
// the reader as the transport does, recording which events the reader
// raises, and reading back what the builders queued.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "session_fixture.h"
#include "src/session/spdu.h"
#include "src/session/tp0addr.h"

// "0D 1E 05" -> octets; blanks are ignored.
inline std::string hex(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<char>(std::strtoul(byte.c_str(), nullptr, 16)));
  return out;
}

inline std::string toHex(const std::string& octets) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : octets) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// Every action records the event the reader chose and answers gEventResult.
inline std::vector<int32_t> gEvents;
inline uint32_t gEventResult = 0;
inline uint32_t recordEvent(Smachine*, SIDU*) {
  gEvents.push_back(getSessionTLS(0)->spdu.pendingEvent);
  return gEventResult;
}

class SpduTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    gEvents.clear();
    gEventResult = 0;
    recordTransport();
  }

  // Every cell's action records its event instead of running.
  void recordEvents() {
    actions_.fill(recordEvent);
    gSprocTable = actions_.data();
  }

  // Hands `octets` to the reader as one received unit, held as the transport
  // holds it, and frees what is held afterwards.
  void receive(Smachine* s, const std::string& octets, uint32_t kind = SPDU_NORMAL) {
    SessionBuffer* b = balloc(static_cast<int32_t>(octets.size()));
    ASSERT_NE(b, nullptr);
    std::memcpy(b->data, octets.data(), octets.size());
    SessionBuffer* held = &tls()->tp0.held;
    b->next = held;
    b->prev = held->prev;
    held->prev->next = b;
    held->prev = b;
    parse_SPDU(s, b, kind);
    reclaim_buf();
  }

  // The octets waiting in the connection's output queue, and the number of
  // units among them.
  std::string queued(Smachine* s, int* units = nullptr) {
    std::string out;
    int n = 0;
    for (SessionBuffer* b = s->outQ.head.next; b != &s->outQ.head; b = b->next) {
      out.append(reinterpret_cast<const char*>(b->data), b->length);
      if (b->endFlag != 0) ++n;
    }
    if (units != nullptr) *units = n;
    return out;
  }
};
