// Fixture and recording doubles of the session layer's tests: a record set
// with a buffer pool, a steered clock and timer queue, a recording session
// user, scripted action routines and a recording transport interface.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "src/session/buffer_pool.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"
#include "src/session/spm.h"
#include "src/session/stimer.h"
#include "src/session/tpi.h"
#include "support/clock.h"
#include "support/recordset.h"

// What the recording user saw of one indication or confirm.
struct SeenIndication {
  Smachine* s;
  SIDU sidu;                 // as given; its user data is freed afterwards
  uint32_t dataLength;       // of the user data, 0 when none
  bool dataStandsAlone;      // the user data was a ring of one
};
inline std::vector<SeenIndication> gSeen;

inline int32_t recordingUser(Smachine* s, SIDU* sidu) {
  SessionBuffer* d = sidu->userData;
  gSeen.push_back({s, *sidu, d != nullptr ? d->length : 0u, d != nullptr && d->next == d && d->prev == d});
  s_freeChain(d);
  return 7;
}

// A scripted action routine: counts its calls, may move the connection to a
// state and answers a given result.
struct ActionScript {
  int calls = 0;
  Smachine* s = nullptr;
  SIDU* sidu = nullptr;
  int newState = -1;  // -1: leave the state
  uint32_t result = 0;
};
inline ActionScript gScript;

inline uint32_t scriptedAction(Smachine* s, SIDU* sidu) {
  ++gScript.calls;
  gScript.s = s;
  gScript.sidu = sidu;
  if (gScript.newState >= 0) s->state = static_cast<uint8_t>(gScript.newState);
  return gScript.result;
}

// Records what the session layer asks of the transport interface.
struct TpiLog {
  std::vector<std::string> calls;
  TpLocalAddr* initParams = nullptr;
  uint32_t initResult = 0;
  std::string bindName;
  std::string bindDevice;
  uint32_t bindResult = 0;
  Smachine* receivedOn = nullptr;
  uint32_t creditAtReceive = 0;
};
inline TpiLog gTpi;

inline const TpiHooks kRecordingTpi = {
    [](TpLocalAddr* p) -> uint32_t {
      gTpi.calls.push_back("init_ifc");
      gTpi.initParams = p;
      return gTpi.initResult;
    },
    []() -> uint32_t {
      gTpi.calls.push_back("close_ifc");
      return 0;
    },
    [](const char* name, const char* device, void*) -> uint32_t {
      gTpi.calls.push_back("s_tp_bind");
      gTpi.bindName = name != nullptr ? name : "(null)";
      gTpi.bindDevice = device != nullptr ? device : "(null)";
      return gTpi.bindResult;
    },
    [](Smachine*) -> uint32_t {
      gTpi.calls.push_back("TCONreq");
      return 0;
    },
    [](Smachine*) -> uint32_t {
      gTpi.calls.push_back("s_transmit");
      return 0;
    },
    [](Smachine* s) -> uint32_t {
      gTpi.calls.push_back("disconnect");
      s->state = STA01;
      return 0;
    },
    [](Smachine* s) -> uint32_t {
      gTpi.calls.push_back("s_receive");
      gTpi.receivedOn = s;
      gTpi.creditAtReceive = s->credit;
      return 0;
    },
};

inline SSAPaddr selector(std::initializer_list<uint8_t> octets) {
  SSAPaddr a{};
  a.ssap.len = static_cast<uint8_t>(octets.size());
  std::memcpy(a.ssap.sel, octets.begin(), octets.size());
  return a;
}

class SessionTest : public RecordSetTest {
 protected:
  void SetUp() override {
    RecordSetTest::SetUp();
    ASSERT_EQ(init_buffers(20, 1024), 1);
    clock_.set(1000, 0);
    init_timers();
    gSeen.clear();
    gScript = ActionScript{};
    gTpi = TpiLog{};
    actions_ = Sproc;
  }
  void TearDown() override {
    gSprocTable = Sproc.data();
    gTpiHooks = nullptr;
    close_buffers();
    RecordSetTest::TearDown();
  }

  SessionTLS* tls() { return getSessionTLS(0); }

  // Dispatches `slot` to the scripted action for the rest of the test.
  void script(SprocSlot slot) {
    actions_[slot] = scriptedAction;
    gSprocTable = actions_.data();
  }
  void recordTransport() { gTpiHooks = &kRecordingTpi; }

  // A connection of this thread in `state`, owned by `user`.
  Smachine* connection(uint8_t state, SsUser* user = nullptr) {
    Smachine* s = s_alloc();
    EXPECT_NE(s, nullptr);
    SessionTLS* t = tls();
    s->next = &t->machines;
    s->prev = t->machines.prev;
    t->machines.prev->next = s;
    t->machines.prev = s;
    s->state = state;
    s->owner = user;
    return s;
  }

  size_t connectionCount() {
    size_t n = 0;
    for (SmLink* l = tls()->machines.next; l != &tls()->machines; l = l->next) ++n;
    return n;
  }

  SsUser* registerUser(const SSAPaddr& sel, SsIndication cb = recordingUser) {
    EXPECT_EQ(s_activate(&sel, cb), 1);
    return find_ss_user(&sel);
  }

  // A buffer holding `text`.
  SessionBuffer* bufferWith(const std::string& text) {
    SessionBuffer* b = balloc(static_cast<int32_t>(text.size()));
    EXPECT_NE(b, nullptr);
    std::memcpy(b->data, text.data(), text.size());
    return b;
  }

  ClockSteer clock_;
  std::array<SprocFn, kSprocSlots> actions_{};
};
