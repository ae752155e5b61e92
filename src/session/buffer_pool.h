// Session buffer pool: the buffers in which every layer carries encoded data.
//
// One pool per SystemTLS record, with one buffer capacity for the whole pool.
// Each buffer is one XM item of the pool's tree, so the whole pool goes in
// one step at shut-down. Released buffers are kept on a free list of the
// record, up to the pool's configured count, and handed out again before
// the heap is asked. The buffer record and its rings are described in
// src/asn1/ber_buffer.h. Setting up a pool hands balloc and bfree to the BER
// runtime, which takes the buffers of its chains from them.
#pragma once

#include <cstdint>

#include "src/asn1/ber_buffer.h"

struct XmTree;

// Octets of an item beyond the data area: the header fields with spare room
// in front of the area, and spare octets behind it.
inline constexpr uint32_t kSbHeadRoom = 59;
inline constexpr uint32_t kSbTailRoom = 32;
inline constexpr uint32_t kSbOverhead = kSbHeadRoom + kSbTailRoom;  // 91
inline constexpr int32_t kSbMaxSize = 65539;

// [CLIENT] BUFFER_SIZE and NUM_OF_BUFFERS when the configuration names none.
inline constexpr int32_t kSbDefaultSize = 10240;
inline constexpr int32_t kSbDefaultCount = 20;

// Sets up the calling thread's pool: 1, or 0 (pool unchanged) for a size
// above 65539 or of 0 or below. Nothing is preallocated: `count` is the most
// released buffers the pool keeps for reuse.
int32_t init_buffers(int32_t count, int32_t size);
// Starts a new pool of `size`-octet buffers; a pool still set up is released
// first. Returns the pool's tree (NULL when it could not be made; the pool is
// then not set up).
XmTree* binit(uint32_t size);
// Preallocation hooks: nothing is made in advance.
int32_t bufinit();
void badd(SessionBuffer* buf);
// Releases every buffer of the pool at once. The pool is then not set up
// (balloc answers NULL) until the next binit; the count is left as it was.
void bclose();
int32_t close_buffers();

// A new buffer, or NULL. len < 0: a full buffer (data = area); len = 0: empty,
// data at the end of the area; 0 < len <= size: len octets at the area's end.
SessionBuffer* balloc(int32_t len);
// Unlinks `buf` from its ring (its neighbours are joined) and releases it;
// only that buffer. NULL is ignored. A buffer of the calling thread's pool
// goes on its free list while that has room, else back to the heap.
void bfree(SessionBuffer* buf);
uint32_t bsize(const SessionBuffer* buf);
uint32_t QvGetSbCount();
