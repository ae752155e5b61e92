#include "src/session/buffer_pool.h"

#include "src/runtime/xm.h"
#include "src/session/systemtls.h"

static_assert(sizeof(SessionBuffer) <= kSbHeadRoom, "buffer header must fit in front of the area");

int32_t bufinit() { return 0; }

void badd(SessionBuffer*) {}

XmTree* binit(uint32_t size) {
  SystemTLS* s = getSystemTLS(0);
  if (s == nullptr) return nullptr;
  if (s->poolTree != nullptr) {
    // A live pool: its buffers go with its tree, never left behind unowned.
    _xm_freeTree(s->poolTree);
    s->poolTree = nullptr;
  }
  s->bufferCount = 0;
  s->poolTree = _xm_allocTree(nullptr);
  s->bufferSize = s->poolTree != nullptr ? static_cast<int32_t>(size) : 0;
  return s->poolTree;
}

int32_t init_buffers(int32_t count, int32_t size) {
  (void)count;
  if (size > kSbMaxSize || size <= 0) return 0;
  if (binit(static_cast<uint32_t>(size)) == nullptr) return 0;
  (void)bufinit();  // no preallocated buffers to add with badd
  return 1;
}

void bclose() {
  SystemTLS* s = getSystemTLS(0);
  if (s == nullptr || s->poolTree == nullptr) return;
  _xm_freeTree(s->poolTree);
  s->poolTree = nullptr;
}

int32_t close_buffers() {
  bclose();
  return 1;
}

SessionBuffer* balloc(int32_t len) {
  SystemTLS* s = getSystemTLS(0);
  if (s == nullptr || s->bufferSize <= 0 || s->poolTree == nullptr || len > s->bufferSize) return nullptr;
  const uint32_t size = static_cast<uint32_t>(s->bufferSize);
  auto* item = static_cast<uint8_t*>(_xm_allocItem(s->poolTree, size + kSbOverhead, 0));
  if (item == nullptr) return nullptr;
  auto* b = reinterpret_cast<SessionBuffer*>(item);
  b->next = b->prev = b;
  const uint32_t n = len < 0 ? size : static_cast<uint32_t>(len);
  b->area = item + kSbHeadRoom;
  b->capacity = size;
  b->length = n;
  b->data = b->area + size - n;
  b->endFlag = 1;
  ++s->bufferCount;
  return b;
}

void bfree(SessionBuffer* buf) {
  if (buf == nullptr) return;
  buf->prev->next = buf->next;
  buf->next->prev = buf->prev;
  buf->next = buf->prev = buf;
  _xm_freeItem(buf);
  if (SystemTLS* s = getSystemTLS(0)) --s->bufferCount;
}

uint32_t bsize(const SessionBuffer* buf) { return buf != nullptr ? buf->length : 0; }

uint32_t QvGetSbCount() {
  const SystemTLS* s = getSystemTLS(0);
  return s != nullptr ? static_cast<uint32_t>(s->bufferCount) : 0;
}
