// Arbitrary octets handed to the SPDU reader as one received unit, on a
// connection in any state, with the real action routines behind it.
//
// Input: octet 0 picks the state (0..31); octet 1 holds switches (bit 0 the
// transport-expedited flag, bit 1 the acceptor flag, bit 2 version 1 instead
// of 2, bits 3-4 the kind of unit); octet 2 picks the functional units in
// use (half-duplex or duplex, and more); octet 3 the tokens owned; the rest
// is the unit. Every buffer must be back in the pool afterwards.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size - 4 > static_cast<size_t>(kBufferSize)) return 0;
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
  const uint32_t kind = (data[1] >> 3) & 3;
  s->requirements = (data[2] & 1) != 0 ? SR_DUPLEX : SR_HALFDUPLEX;
  s->requirements |= static_cast<uint32_t>(data[2] & 0xFE) << 2;  // minor sync and up
  s->credit = 1;
  s_setAvailable(s);
  s_setOwned(s, data[3] & s->av);

  const size_t n = size - 4;
  SessionBuffer* b = balloc(static_cast<int32_t>(n));
  if (b == nullptr) std::abort();
  if (n > 0) std::memcpy(b->data, data + 4, n);
  SessionBuffer* held = &t->tp0.held;
  b->next = held;
  b->prev = held->prev;
  held->prev->next = b;
  held->prev = b;
  parse_SPDU(s, b, kind);
  reclaim_buf();

  if (s_isLive(t, s)) s_release(s);
  if (QvGetSbCount() != 0) __builtin_trap();  // a buffer went astray
  return 0;
}
