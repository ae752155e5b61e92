// What the fuzz targets share: the stack's start-up on the fuzzing thread,
// chains of pool buffers holding the input cut into pieces of a chosen size
// (optionally with empty buffers between them), so a decoder meets every
// way a unit can be split across buffers, a presentation connection for the
// EXTERNALs inside messages, and the write-read-write check of a codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/timer2.h"
#include "src/asn1/ber.h"
#include "src/presentation/pmachine.h"
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

inline std::vector<uint8_t> octetsOf(const SessionBuffer* chain) {
  std::vector<uint8_t> out;
  const SessionBuffer* b = chain;
  do {
    out.insert(out.end(), b->data, b->data + b->length);
    b = b->next;
  } while (b != chain);
  return out;
}

// A presentation connection whose context 1 carries INTEGER values in BER.
inline void fuzzIntegerContext() {
  static PsUser user;
  static Pmachine pm;
  tst[0].id = ObjId{3, {2, 1, 1}};
  tst[0].encoding = kEncSingleAsn1;
  ntst = 1;
  ps_asn1_tsidx = 0;
  clear_ast(&user);
  AbsSyntax& a = user.asTable.entries[0];
  a.id = ObjId{3, {1, 9, 0}};
  a.format = [](void* v) -> int64_t {
    if (v == nullptr) aaRaise(AAE_INVVALUE, "fuzz", __LINE__);  // a value whose parse failed
    return ber_addid(0, 2, ber_addint(*static_cast<int32_t*>(v)));
  };
  a.parse = [](void*) -> void* {
    if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "fuzz", __LINE__);
    auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
    if (v == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
    ber_getint(v);
    return v;
  };
  a.tsSlots[0] = 0;
  a.tsCount = 1;
  user.asTable.count = 1;
  clear_ppm(&pm);
  pm.user = &user;
  pm.pcdt[1] = PcdtEntry{1, 0, 0, kPcdtAccepted, -1, 1, {0, -1, -1, -1}};
  pm.idMap[1] = 1;
  pm.definedCount = 1;
  set_Pcalled(&pm);
}

// Codes with which a record that was read may fail to be written: an
// alternative kept only under extensibility (31), an identifier arc beyond
// 31 bits (12), an EXTERNAL whose context cannot format (15, presentation
// codes).
inline bool fuzzMayFailToWrite(uint32_t code) {
  return code == AAE_NONSPEC || code == AAE_BADOBJID || code == AAE_BADENC || code >= 0xA000;
}

// Reads one record from `data` cut into pieces; a record that was read is
// written, and what was written must read back, across buffers of the same
// size, and write again to the same octets. Every buffer must go back.
inline void fuzzWriteReadWrite(const uint8_t* data, size_t size, size_t piece, bool emptyBetween, AaParseFn decode,
                               AaFormatFn encode, bool (*mayFailToWrite)(uint32_t) = fuzzMayFailToWrite) {
  auto read = [decode](SessionBuffer* chain) {
    rtp_setp(chain);
    int32_t err = 0;
    void* record = p_parse(decode, nullptr, &err);
    if ((record != nullptr) != (err == 0)) __builtin_trap();
    freeChain(chain);
    return record;
  };
  auto write = [encode](void* record, uint32_t* err) {
    rtp_setf(balloc(-1));
    *err = 0;
    QvSetOsiError(0);
    p_format(encode, record, err);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    std::vector<uint8_t> octets = *err == 0 ? octetsOf(out) : std::vector<uint8_t>{};
    freeChain(out);
    return octets;
  };

  void* record = read(chainOf(data, size, piece, emptyBetween));
  if (record != nullptr) {
    uint32_t err = 0;
    const std::vector<uint8_t> first = write(record, &err);
    if (err != 0 && !mayFailToWrite(err)) __builtin_trap();
    if (err == 0) {
      void* back = read(chainOf(first.data(), first.size(), piece, false));
      if (back == nullptr) __builtin_trap();
      const std::vector<uint8_t> second = write(back, &err);
      if (err != 0 || second != first) __builtin_trap();
    }
  }
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();
}
