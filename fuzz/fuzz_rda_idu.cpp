// RDA messages of both families decoded from arbitrary octets; a message
// that was read whole is written again, read back and written once more,
// and the two writings must be the same octets.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64),
// octet 1 holds switches (bit 0 extensibility, bit 1 the X/Open family
// instead of the ISO one, bit 2 an empty buffer between the pieces); the rest
// is the encoding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "src/asn1/ber.h"
#include "src/asn1/rda_idu.h"
#include "src/odbc/alltls.h"

namespace {

bool gXopen = false;

void* parseIdu(void*) { return gXopen ? aRDAXOPENIdu(nullptr) : aRDAIdu(nullptr); }
int64_t formatIdu(void* idu) { return gXopen ? fRDAXOPENIdu(idu) : fRDAIdu(idu); }

SessionBuffer* chainOf(const uint8_t* data, size_t size, size_t piece, bool emptyBetween) {
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
    if (b != nullptr && n > 0) std::memcpy(b->data, data + at, n);
    append(b);
    at += n;
    if (emptyBetween && at < size) append(balloc(0));
  } while (at < size);
  return head;
}

void freeChain(SessionBuffer* chain) {
  while (chain != nullptr) {
    SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
    bfree(chain);
    chain = next;
  }
}

std::vector<uint8_t> bytesOf(const SessionBuffer* chain) {
  std::vector<uint8_t> out;
  if (chain == nullptr) return out;
  const SessionBuffer* b = chain;
  do {
    out.insert(out.end(), b->data, b->data + b->length);
    b = b->next;
  } while (b != chain);
  return out;
}

// The message read from the chain, or null.
void* parseOnce(SessionBuffer* chain) {
  int32_t err = 0;
  rtp_setp(chain);
  void* idu = p_parse(parseIdu, nullptr, &err);
  if (err != 0) return nullptr;
  return idu;
}

// The octets of the message in *bytes; false when the record cannot be
// written. A record that was read must be writable, except for object
// identifiers with arcs the identifier encoder refuses (above 2^31 - 1),
// which its decoder takes.
bool formatOnce(void* idu, std::vector<uint8_t>* bytes) {
  rtp_setf(balloc(-1));
  uint32_t ferr = 0;
  p_format(formatIdu, idu, &ferr);
  SessionBuffer* out = nullptr;
  rtp_getf(&out);
  if (ferr != 0 && ferr != AAE_BADOBJID) __builtin_trap();
  *bytes = bytesOf(out);
  freeChain(out);
  return ferr == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  glMainThreadId = QvGetThreadHandle();
  hSerializeMutex = QvCreateMutex();
  if (QvCreateMutexes() == 0 || QvCreateAllTLS() == 0 || xm_init() == nullptr || init_buffers(20, 64) == 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  data += 2;
  size -= 2;
  aaextensibility = flags & 1;
  gXopen = (flags & 2) != 0;

  SessionBuffer* chain = chainOf(data, size, piece, (flags & 4) != 0);
  void* idu = parseOnce(chain);
  freeChain(chain);
  if (idu != nullptr) {
    // Written, read back (whole buffers, no extensibility needed) and written again.
    aaextensibility = 0;
    std::vector<uint8_t> first;
    if (formatOnce(idu, &first)) {
      SessionBuffer* again = chainOf(first.data(), first.size(), 64, false);
      void* back = parseOnce(again);
      freeChain(again);
      std::vector<uint8_t> second;
      if (back == nullptr || !formatOnce(back, &second) || second != first) __builtin_trap();
    }
  }
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  aaextensibility = 0;
  return 0;
}
