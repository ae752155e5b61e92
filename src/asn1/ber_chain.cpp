// The buffer chain of a pass: moving over buffer boundaries while parsing,
// adding buffers in front while formatting, finding level ends across
// buffers, copying runs, and splicing pre-encoded buffers in and out.
#include <algorithm>
#include <cstring>

#include "src/asn1/ber_runtime.h"
#include "src/asn1/preencoded.h"

namespace {

constexpr const char* kSrcCfg = "src/rtp_cfg";

unsigned ptrWord(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

// Joins the ring of `first` in front of `before` (between before->prev and before).
void spliceInFront(SessionBuffer* first, SessionBuffer* before) {
  SessionBuffer* last = first->prev;
  SessionBuffer* prev = before->prev;
  prev->next = first;
  first->prev = prev;
  last->next = before;
  before->prev = last;
}

}  // namespace

void under_flow() {
  TM_TRACE(rtp_TM_handle, 128, kSrcCfg, "Entered under_flow()\n");
  SessionBuffer* b = currentBuffer;
  if (b != nullptr) {
    // Empty buffers are stepped over as well, so that a position between two
    // buffers always ends up at the start of the next buffer holding data.
    while (aapdu == aabuf && b->next != headOfBufferChain) {
      b = b->next;
      currentBuffer = b;
      aapdu = b->data;
      aabuf = b->data + b->length;
    }
  }
  if (aapdu == aabuf) TM_TRACE(rtp_TM_handle, 128, kSrcCfg, "Entered under_flow() and no new buffers:\n");
}

void over_flow() {
  TM_TRACE(rtp_TM_handle, 128, kSrcCfg, "Entered over_flow()\n");
  // Octets written into the room in front of a spliced buffer's data
  // (chainToFrontOfCurrent) become part of it before the buffer is left.
  if (SessionBuffer* left = currentBuffer; left != nullptr && afpdu < left->data) {
    left->length += static_cast<uint32_t>(left->data - afpdu);
    left->data = afpdu;
  }
  if (currentBuffer == headOfBufferChain) {
    SessionBuffer* b = allocateBuffer(-1);
    if (b == nullptr) aaRaise(AAE_NOMEM, kSrcCfg, 280);
    b->endFlag = 0;
    if (headOfBufferChain != nullptr) spliceInFront(b, headOfBufferChain);
    headOfBufferChain = currentBuffer = b;
  } else {
    currentBuffer = currentBuffer->prev;
  }
  afpdu = currentBuffer->data + currentBuffer->length;
  afbuf = currentBuffer->data;
}

uint8_t* findEnd(int64_t beyond) {
  SessionBuffer* cur = currentBuffer;
  if (cur == nullptr || beyond < 0) return nullptr;
  EopEnv& env = eopenv[lev];
  if (cur->next == headOfBufferChain) {
    if (beyond != 0) return nullptr;
    env.endBuffer = cur;
    env.bufferEnd = aabuf;
    return aabuf;
  }
  SessionBuffer* b = cur->next;
  while (b != headOfBufferChain && beyond >= static_cast<int64_t>(b->length)) {
    beyond -= b->length;
    b = b->next;
  }
  if (b == headOfBufferChain) {
    if (beyond != 0) return nullptr;
    b = headOfBufferChain->prev;
    env.endBuffer = b;
    env.bufferEnd = b->data + b->length;
    return env.bufferEnd;
  }
  env.endBuffer = b;
  env.bufferEnd = b->data + b->length;
  return b->data + beyond;
}

int64_t findLength(uint8_t* from, SessionBuffer* buffer) {
  if (eop[lev] == nullptr) return -1;
  const SessionBuffer* endBuffer = eopenv[lev].endBuffer;
  if (buffer == nullptr) aaRaise(AAE_LENERR, kSrcCfg, 456);
  if (endBuffer == buffer && eop[lev] >= from) return eop[lev] - from;
  int64_t sum = buffer->data + buffer->length - from;
  const SessionBuffer* b = buffer->next;
  if (b == headOfBufferChain) aaRaise(AAE_LENERR, kSrcCfg, 456);
  for (;;) {
    if (b == endBuffer) return sum + (eop[lev] - b->data);
    sum += b->length;
    b = b->next;
    if (b == headOfBufferChain) aaRaise(AAE_LENERR, kSrcCfg, 488);
  }
}

uint64_t copyFromBuffer(const void*, void* to, uint64_t n) {
  auto* dst = static_cast<uint8_t*>(to);
  uint64_t left = n;
  while (left > 0) {
    if (aapdu == aabuf) {
      underFlow();
      if (aapdu == aabuf) aa_readPastEnd();
    }
    const uint64_t run = std::min<uint64_t>(left, static_cast<uint64_t>(aabuf - aapdu));
    if (dst != nullptr) {
      std::memcpy(dst, aapdu, run);
      dst += run;
    }
    aapdu += run;
    left -= run;
  }
  return n;
}

uint64_t copyToBuffer(const void* from, void*, uint64_t n) {
  if (from == nullptr) return 0;
  const uint8_t* src = static_cast<const uint8_t*>(from) + n;
  uint64_t left = n;
  while (left > 0) {
    while (afpdu <= afbuf) overFlow();
    const uint64_t run = std::min<uint64_t>(left, static_cast<uint64_t>(afpdu - afbuf));
    afpdu -= run;
    src -= run;
    std::memcpy(afpdu, src, run);
    left -= run;
  }
  return n;
}

SessionBuffer* tearBufferFromCurrent() {
  aa_normalise();
  SessionBuffer* start = currentBuffer;
  if (start == nullptr) return nullptr;
  start->length = static_cast<uint32_t>(aabuf - aapdu);
  start->data = aapdu;
  if (rtp_testForPreEncoded != 0) return start;
  if (eopenv[lev].remaining > -1) {
    aa_toLevelEnd();
    return start;
  }
  aa_skip();
  if (lev < kAaMaxLevel) ++lev;
  // The contents end right before the two end-of-contents octets, which may
  // lie in the buffers before the one the read position is in.
  SessionBuffer* b = currentBuffer;
  b->length = static_cast<uint32_t>(aapdu - b->data);
  uint32_t cut = 2;
  for (;;) {
    const uint32_t take = std::min(cut, b->length);
    b->length -= take;
    cut -= take;
    if (cut == 0 || b == start) break;
    b = b->prev;
  }
  return start;
}

void chainToFrontOfCurrent(SessionBuffer* buf) {
  TM_TRACE(rtp_TM_handle, 128, kSrcCfg, "Entered with buffer = %x\n", ptrWord(buf));
  SessionBuffer* cur = currentBuffer;
  if (cur == nullptr) {
    TM_TRACE(rtp_TM_handle, 2, kSrcCfg, "chainToFrontOfCurrent: current buffer was NULL\n\n");
    return;
  }
  if (buf == nullptr) return;
  uint8_t* end = cur->data + cur->length;
  if (afpdu != end) {
    buf->prev->endFlag = 0;
    cur->length = static_cast<uint32_t>(end - afpdu);
    cur->data = afpdu;
    spliceInFront(buf, cur);
  } else {
    // Nothing written here: the buffer goes, and whatever was written before
    // it stays behind the pre-encoded octets.
    if (cur->next != cur) {
      buf->prev->endFlag = 0;
      spliceInFront(buf, cur);
    }
    deallocateBuffer(cur);
  }
  headOfBufferChain = currentBuffer = buf;
  afpdu = buf->data;
  afbuf = buf->area;
}
