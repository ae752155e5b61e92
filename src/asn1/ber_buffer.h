// The buffer in which every layer carries encoded data, and on whose chains
// the BER runtime decodes and encodes. The session layer's pool
// (src/session/buffer_pool.h) hands the buffers out and takes them back.
//
// Buffers are linked into circular doubly linked rings; a buffer that
// belongs to no chain is a ring of one. Data is right-aligned in a new
// buffer: data + length = area + capacity.
#pragma once

#include <cstdint>

struct SessionBuffer {
  SessionBuffer* next;
  SessionBuffer* prev;
  uint8_t* area;      // first octet of the data area
  uint8_t* data;      // first octet of the data held
  uint32_t capacity;  // size of the data area
  uint32_t length;    // data octets from `data` on
  uint32_t endFlag;   // 1 = this buffer closes a unit of data
};
