#include "src/session/buffer_pool.h"

#include "common/qvpoison.h"
#include "src/asn1/ber_runtime.h"
#include "src/runtime/xm.h"
#include "src/session/systemtls.h"

static_assert(sizeof(SessionBuffer) <= kSbHeadRoom, "buffer header must fit in front of the area");

namespace {

// Under AddressSanitizer the spare octets behind each data area are
// poisoned, so that an overrun of the area is caught although the heap
// block goes on; a buffer waiting on the free list is poisoned whole, so
// that a use after bfree is caught although the block is not freed.

size_t itemSize(uint32_t capacity) { return static_cast<size_t>(capacity) + kSbOverhead; }

// Forgets the free list; its buffers go with the pool's tree.
void dropFreeList(SystemTLS* s) {
  s->freeList = nullptr;
  s->freeCount = 0;
}

// A buffer from the free list, ready to be set up; NULL when it is empty.
uint8_t* takeFree(SystemTLS* s) {
  SessionBuffer* b = s->freeList;
  if (b == nullptr) return nullptr;
  qvUnpoison(b, itemSize(static_cast<uint32_t>(s->bufferSize)));
  s->freeList = b->next;
  --s->freeCount;
  return reinterpret_cast<uint8_t*>(b);
}

// Keeps a released buffer for reuse when it is one of this pool's, of its
// size, held by no one else, and the list has room; false otherwise.
bool keepFree(SystemTLS* s, SessionBuffer* b) {
  if (s->poolTree == nullptr || s->freeCount >= s->freeLimit || b->capacity != static_cast<uint32_t>(s->bufferSize))
    return false;
  XmItem* h = xm_header(b);
  if (h->owner != s->poolTree || h->refCount != 1) return false;
  b->next = s->freeList;
  s->freeList = b;
  ++s->freeCount;
  qvPoison(b, itemSize(b->capacity));
  return true;
}

}  // namespace

int32_t bufinit() { return 0; }

void badd(SessionBuffer*) {}

XmTree* binit(uint32_t size) {
  SystemTLS* s = getSystemTLS(0);
  if (s == nullptr) return nullptr;
  rtp_setBufferPool(balloc, bfree);
  if (s->poolTree != nullptr) {
    // A live pool: its buffers go with its tree, never left behind unowned.
    _xm_freeTree(s->poolTree);
    s->poolTree = nullptr;
  }
  dropFreeList(s);
  s->bufferCount = 0;
  s->poolTree = _xm_allocTree(nullptr);
  s->bufferSize = s->poolTree != nullptr ? static_cast<int32_t>(size) : 0;
  return s->poolTree;
}

int32_t init_buffers(int32_t count, int32_t size) {
  if (size > kSbMaxSize || size <= 0) return 0;
  if (binit(static_cast<uint32_t>(size)) == nullptr) return 0;
  (void)bufinit();  // no preallocated buffers to add with badd
  // Nothing is made in advance; the count bounds the released buffers kept.
  if (SystemTLS* s = getSystemTLS(0)) s->freeLimit = count > 0 ? count : 0;
  return 1;
}

void bclose() {
  SystemTLS* s = getSystemTLS(0);
  if (s == nullptr || s->poolTree == nullptr) return;
  dropFreeList(s);
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
  uint8_t* item = takeFree(s);
  if (item == nullptr) item = static_cast<uint8_t*>(_xm_allocItem(s->poolTree, size + kSbOverhead, 0));
  if (item == nullptr) return nullptr;
  auto* b = reinterpret_cast<SessionBuffer*>(item);
  b->next = b->prev = b;
  const uint32_t n = len < 0 ? size : static_cast<uint32_t>(len);
  b->area = item + kSbHeadRoom;
  b->capacity = size;
  b->length = n;
  b->data = b->area + size - n;
  b->endFlag = 1;
  qvPoison(b->area + size, kSbTailRoom);
  ++s->bufferCount;
  return b;
}

void bfree(SessionBuffer* buf) {
  if (buf == nullptr) return;
  buf->prev->next = buf->next;
  buf->next->prev = buf->prev;
  buf->next = buf->prev = buf;
  SystemTLS* s = getSystemTLS(0);
  if (s != nullptr) --s->bufferCount;
  if (s != nullptr && keepFree(s, buf)) return;
  _xm_freeItem(buf);  // the heap forgets the poisoned spare octets with the block
}

uint32_t bsize(const SessionBuffer* buf) { return buf != nullptr ? buf->length : 0; }

uint32_t QvGetSbCount() {
  const SystemTLS* s = getSystemTLS(0);
  return s != nullptr ? static_cast<uint32_t>(s->bufferCount) : 0;
}
