// A session connection in any state fed a sequence of steps: received
// units handed to the SPDU reader, and user requests and responses through
// the session entry, with the real action routines behind both.
//
// Input: octet 0 picks the state (0..31); octet 1 holds switches (bit 0 the
// transport-expedited flag, bit 1 the acceptor flag, bit 2 version 1 instead
// of 2); octet 2 picks the functional units in use (half-duplex or duplex,
// and more); octet 3 the tokens owned. Then steps, each led by one octet:
// - below 0x80: a received unit of kind (octet & 3), its length in the next
//   two octets (high first, cut to what is left), then the unit;
// - 0x80 and up: a request or response, event 1 + (octet & 0x7F) % 33 (an
//   S-CONNECT request, which only s_connect takes, becomes a receive
//   request); then eight octets: tokens, synchronisation type, reason,
//   serial number, credit, activity identifier length, connection
//   identifier length, user data length; then the user data.
// The steps stop when the connection is gone. Every buffer must be back in
// the pool afterwards.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "src/session/buffer_pool.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm_actions.h"
#include "src/session/stimer.h"
#include "src/session/tp0addr.h"
#include "src/session/tpi.h"

namespace {

constexpr int32_t kBufferSize = 10240;

// A transport that takes everything and sends nothing.
const TpiHooks kSink = {
    nullptr,
    nullptr,
    nullptr,
    [](Smachine*) -> uint32_t { return 0; },
    [](Smachine* s) -> uint32_t {
      sq_freeAll(&s->outQ);
      return 0;
    },
    [](Smachine* s) -> uint32_t {
      s->state = STA01;
      return 0;
    },
    nullptr,
};

int32_t user(Smachine*, SIDU* sidu) {
  s_freeChain(sidu->userData);
  return 0;
}

SSAPaddr gSelector{};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, kBufferSize) == 0) std::abort();
  init_timers();
  gTpiHooks = &kSink;
  gSelector.ssap.len = 2;
  gSelector.ssap.sel[1] = 0x02;
  if (s_activate(&gSelector, user) != 1) std::abort();
  return 0;
}

namespace {

constexpr int kMaxSteps = 32;
constexpr uint32_t kEvConnectRequest = 12;
constexpr uint32_t kEvReceiveRequest = 33;

// Input read from the front; past the end every read gives 0.
struct Cursor {
  const uint8_t* at;
  size_t left;
  uint8_t octet() {
    if (left == 0) return 0;
    --left;
    return *at++;
  }
  size_t take(size_t n) { return n < left ? n : left; }
};

// A buffer of the pool holding `n` octets of the input.
SessionBuffer* bufferOf(Cursor& in, size_t n) {
  SessionBuffer* b = balloc(static_cast<int32_t>(n));
  if (b == nullptr) std::abort();
  if (n > 0) std::memcpy(b->data, in.at, n);
  in.at += n;
  in.left -= n;
  return b;
}

void receive(SessionTLS* t, Smachine* s, uint8_t lead, Cursor& in) {
  const size_t want = static_cast<size_t>(in.octet()) << 8 | in.octet();
  const size_t n = in.take(want < static_cast<size_t>(kBufferSize) ? want : kBufferSize);
  SessionBuffer* b = bufferOf(in, n);
  SessionBuffer* held = &t->tp0.held;
  b->next = held;
  b->prev = held->prev;
  held->prev->next = b;
  held->prev = b;
  parse_SPDU(s, b, lead & 3u);
  reclaim_buf();
}

void request(Smachine* s, uint8_t lead, Cursor& in) {
  static SAddress address{};
  static const uint8_t kPattern[64] = {'s', 'e', 's', 's', 'i', 'o', 'n', '-', 'f', 'u', 'z', 'z'};
  SIDU sidu{};
  sidu.event = 1 + (lead & 0x7Fu) % 33;
  if (sidu.event == kEvConnectRequest) sidu.event = kEvReceiveRequest;
  sidu.callingSsap = &gSelector;
  sidu.address = &address;
  sidu.requirements = s->requirements;
  sidu.tokens = in.octet();
  sidu.syncType = in.octet();
  sidu.reason = in.octet();
  sidu.serial = in.octet();
  sidu.credit = in.octet() & 3;
  sidu.version = s->version;
  // Lengths as the caller gives them, also beyond their fields.
  sidu.activityId.len = in.octet() % 16;
  std::memcpy(sidu.activityId.id, kPattern, sizeof sidu.activityId.id);
  sidu.oldActivityId = sidu.activityId;
  const uint32_t cidLen = in.octet() % 80;
  sidu.cid.calledLen = sidu.cid.callingLen = sidu.cid.commonLen = cidLen;
  sidu.cid.additionalLen = cidLen % 8;
  std::memcpy(sidu.cid.called, kPattern, sizeof kPattern);
  std::memcpy(sidu.cid.calling, kPattern, sizeof kPattern);
  std::memcpy(sidu.cid.common, kPattern, sizeof kPattern);
  const size_t n = in.take(in.octet());
  sidu.userData = n > 0 ? bufferOf(in, n) : nullptr;
  (void)session(s, &sidu);
  s_freeChain(sidu.userData);  // what the machine did not take stays the caller's
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  SessionTLS* t = getSessionTLS(0);
  Smachine* s = s_alloc();
  if (t == nullptr || s == nullptr) std::abort();
  s->next = &t->machines;
  s->prev = t->machines.prev;
  t->machines.prev->next = s;
  t->machines.prev = s;
  s->owner = find_ss_user(&gSelector);
  s->state = static_cast<uint8_t>(data[0] % kSessStates);
  s->texp = data[1] & 1;
  s->acc = (data[1] >> 1) & 1;
  s->version = (data[1] & 4) != 0 ? 1 : 2;
  s->requirements = (data[2] & 1) != 0 ? SR_DUPLEX : SR_HALFDUPLEX;
  s->requirements |= static_cast<uint32_t>(data[2] & 0xFE) << 2;  // minor sync and up
  s->credit = 1;
  s_setAvailable(s);
  s_setOwned(s, data[3] & s->av);

  Cursor in{data + 4, size - 4};
  for (int step = 0; step < kMaxSteps && in.left > 0 && s_isLive(t, s); ++step) {
    const uint8_t lead = in.octet();
    if (lead < 0x80) receive(t, s, lead, in);
    else request(s, lead, in);
  }

  if (s_isLive(t, s)) s_release(s);
  if (QvGetSbCount() != 0) __builtin_trap();  // a buffer went astray
  return 0;
}
