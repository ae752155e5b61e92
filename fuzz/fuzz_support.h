// What the fuzz targets share: the stack's start-up on the fuzzing thread,
// and chains of pool buffers holding the input cut into pieces of a chosen
// size (optionally with empty buffers between them), so a decoder meets
// every way a unit can be split across buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "src/runtime/startup.h"
#include "src/session/buffer_pool.h"
#include "src/session/sessiontls.h"
#include "src/session/systemtls.h"

// The runtime base and this thread's session records, as the driver's
// start-up makes them; aborts when any cannot be had.
inline void fuzzStartRecordSet() {
  if (qv_startRuntime({initSystemTLS, initSessionTLS}) == 0) std::abort();
}

inline SessionBuffer* chainOf(const uint8_t* data, size_t size, size_t piece, bool emptyBetween) {
  SessionBuffer* head = nullptr;
  auto append = [&head](SessionBuffer* b) {
    if (b == nullptr) std::abort();
    if (head == nullptr) {
      head = b;
      return;
    }
    b->prev = head->prev;
    b->next = head;
    head->prev->next = b;
    head->prev = b;
  };
  size_t at = 0;
  do {
    const size_t n = size - at < piece ? size - at : piece;
    SessionBuffer* b = balloc(static_cast<int32_t>(n));
    if (b == nullptr) std::abort();
    if (n > 0) std::memcpy(b->data, data + at, n);
    append(b);
    at += n;
    if (emptyBetween && at < size) append(balloc(0));
  } while (at < size);
  return head;
}

inline void freeChain(SessionBuffer* chain) {
  while (chain != nullptr) {
    SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
    bfree(chain);
    chain = next;
  }
}
