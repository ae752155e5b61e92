// In-place re-segmentation of embedded values: the writer turns the octets
// of a value just formatted into OCTET STRING or BIT STRING segments of 4096
// octets, the reader joins the segments of a constructed one into one run.
// Both work on the chain as it is, walking it by (buffer, position); headers
// and segments may straddle buffers anywhere.
#include <algorithm>
#include <cstring>

#include "src/asn1/ber_external.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ber_values.h"

StrEnv strenv[kExtMaxSegments] = {};

namespace {

constexpr const char* kSrcExt = "src/rtp_ext_";

struct Cursor {
  SessionBuffer* buf;
  uint8_t* p;
};

uint8_t* dataEnd(const SessionBuffer* b) { return b->data + b->length; }

// Moves c over n octets forward.
void advance(Cursor& c, uint64_t n, uint32_t line) {
  while (n > 0) {
    while (c.p == dataEnd(c.buf))
      if (goToNextBuffer(&c.buf, &c.p) == 0) aaRaise(AAE_OVFLO, kSrcExt, line);
    const uint64_t run = std::min<uint64_t>(n, static_cast<uint64_t>(dataEnd(c.buf) - c.p));
    c.p += run;
    n -= run;
  }
}

// Writes octets forward at c.
void putForward(Cursor& c, const uint8_t* octets, uint32_t n, uint32_t line) {
  for (uint32_t i = 0; i < n; ++i) {
    while (c.p == dataEnd(c.buf))
      if (goToNextBuffer(&c.buf, &c.p) == 0) aaRaise(AAE_OVFLO, kSrcExt, line);
    *c.p++ = octets[i];
  }
}

// Identifier and length octets of a primitive segment, then (BIT STRING)
// its unused-bits octet 0.
uint32_t segmentHeader(uint8_t* out, bool bits, uint32_t contents) {
  uint32_t k = 0;
  out[k++] = bits ? 0x03 : 0x04;
  const uint32_t len = bits ? contents + 1 : contents;
  if (len < 128) {
    out[k++] = static_cast<uint8_t>(len);
  } else {
    uint32_t octets = 0;
    for (uint32_t v = len; v != 0; v >>= 8) ++octets;
    out[k++] = static_cast<uint8_t>(0x80 + octets);
    for (uint32_t i = octets; i-- > 0;) out[k++] = static_cast<uint8_t>(len >> (8 * i));
  }
  if (bits) out[k++] = 0x00;
  return k;
}

// Joins the ring of `first` in front of `before`.
void spliceInFront(SessionBuffer* first, SessionBuffer* before) {
  SessionBuffer* last = first->prev;
  SessionBuffer* prev = before->prev;
  prev->next = first;
  first->prev = prev;
  last->next = before;
  before->prev = last;
}

// The n octets in front of afpdu become segments of 4096 octets and a tail,
// each with its header: the headers' room is made in front, and the pieces
// move towards the front into place one after the other.
int64_t resegment(int64_t n, bool bits, uint32_t lineStart, uint32_t lineWalk) {
  const uint64_t pieces = static_cast<uint64_t>(n) / kBerSegment;
  const uint32_t tail = static_cast<uint32_t>(static_cast<uint64_t>(n) % kBerSegment);
  const uint64_t pieceHead = bits ? aalenid(kBerSegment + 1) + 1 : aalenid(kBerSegment);
  const uint64_t tailHead = tail == 0 ? 0 : bits ? aalenid(tail + 1) + 1 : aalenid(tail);
  const uint64_t room = pieceHead * pieces + tailHead;

  SessionBuffer* cur = currentBuffer;
  // Formatting always writes into the head; the value starts at afpdu in it.
  if (cur == nullptr || cur != headOfBufferChain || afpdu < afbuf || afpdu > dataEnd(cur))
    aaRaise(AAE_OVFLO, kSrcExt, lineStart);
  Cursor front{cur, nullptr};
  if (static_cast<uint64_t>(afpdu - afbuf) >= room) {
    front.p = afpdu - room;
  } else {
    cur->length = static_cast<uint32_t>(dataEnd(cur) - afpdu);
    cur->data = afpdu;
    uint64_t need = room;
    for (;;) {
      SessionBuffer* b = allocateBuffer(-1);
      if (b == nullptr) aaRaise(AAE_NOMEM, kSrcExt, lineStart);
      b->endFlag = 0;
      spliceInFront(b, headOfBufferChain);
      headOfBufferChain = currentBuffer = b;
      if (need <= b->length) {
        front = Cursor{b, dataEnd(b) - need};
        afbuf = b->data;
        break;
      }
      need -= b->length;
    }
  }
  // The front buffer's data begins at the latest at the front.
  if (front.p < front.buf->data) {
    front.buf->length += static_cast<uint32_t>(front.buf->data - front.p);
    front.buf->data = front.p;
  }

  Cursor dst = front;
  Cursor src = front;
  advance(src, room, lineWalk);
  uint8_t head[8];
  for (uint64_t i = 0; i < pieces; ++i) {
    putForward(dst, head, segmentHeader(head, bits, kBerSegment), lineWalk);
    aa_copy_frwrd(&src.p, &src.buf, &dst.p, &dst.buf, kBerSegment);
  }
  // The tail is in place already: its header fills the rest of the room.
  if (tail > 0) putForward(dst, head, segmentHeader(head, bits, tail), lineWalk);

  currentBuffer = headOfBufferChain = front.buf;
  afpdu = front.p;
  cons = 32;
  return static_cast<int64_t>(pieces * (pieceHead + kBerSegment) + (tail > 0 ? tailHead + tail : 0));
}

// Copies the recorded segments backwards so that they form one run ending
// at the read position (just after the element), then opens a level over
// the run (and, for a bit string, its unused-bits octet in front).
void joinAndOpen(int32_t count, bool bits, uint32_t unused, uint32_t lineChain) {
  aa_normalise();
  const Cursor after{currentBuffer, aapdu};
  if (after.buf == nullptr) aaRaise(AAE_OVFLO, kSrcExt, lineChain);
  Cursor dst = after;
  int64_t total = 0;
  for (int32_t i = count; i-- > 0;) {
    StrEnv& s = strenv[i];
    if (s.endBuffer == nullptr) aaRaise(AAE_OVFLO, kSrcExt, lineChain);
    uint8_t* src = s.end;
    SessionBuffer* srcBuf = s.endBuffer;
    aa_copy_bckwrd(&src, &srcBuf, &dst.p, &dst.buf, static_cast<uint64_t>(s.length));
    total += s.length;
  }
  if (bits) {
    Cursor u = dst;
    while (u.p == u.buf->data)
      if (goToPrevBuffer(&u.buf, &u.p) == 0) aaRaise(AAE_OVFLO, kSrcExt, lineChain);
    *--u.p = static_cast<uint8_t>(unused);
  }
  if (lev >= kAaMaxLevel) aaRaise(AAE_MAX_NESTING, kSrcExt, lineChain);
  ++lev;
  eop[lev] = after.p;
  eopenv[lev] = EopEnv{total, after.buf, dataEnd(after.buf)};
  currentBuffer = dst.buf;
  aapdu = dst.p;
  aabuf = dataEnd(dst.buf);
  aa_normalise();
}

}  // namespace

// ---------------------------------------------------------------------------
// Walking the chain

SessionBuffer* findBufferFwd(const uint8_t* position) {
  SessionBuffer* b = currentBuffer;
  if (b == nullptr) return nullptr;
  for (;;) {
    if (position >= b->data && position <= dataEnd(b)) return b;
    b = b->next;
    if (b == headOfBufferChain) return nullptr;
  }
}

SessionBuffer* findBufferBck(const uint8_t* position, SessionBuffer* buffer) {
  SessionBuffer* b = buffer;
  if (b == nullptr) return nullptr;
  for (;;) {
    if (position >= b->data && position <= dataEnd(b)) return b;
    if (b == headOfBufferChain) return nullptr;
    b = b->prev;
  }
}

int32_t goToNextBuffer(SessionBuffer** buffer, uint8_t** position) {
  SessionBuffer* next = (*buffer)->next;
  if (next == headOfBufferChain) return 0;
  *buffer = next;
  *position = next->data;
  return 1;
}

int32_t goToPrevBuffer(SessionBuffer** buffer, uint8_t** position) {
  if (*buffer == headOfBufferChain) return 0;
  SessionBuffer* prev = (*buffer)->prev;
  *buffer = prev;
  *position = dataEnd(prev);
  return 1;
}

void aa_copy_frwrd(uint8_t** src, SessionBuffer** srcBuf, uint8_t** dst, SessionBuffer** dstBuf, uint64_t n) {
  while (n > 0) {
    while (*src == dataEnd(*srcBuf))
      if (goToNextBuffer(srcBuf, src) == 0) aaRaise(AAE_OVFLO, kSrcExt, 1090);
    while (*dst == dataEnd(*dstBuf))
      if (goToNextBuffer(dstBuf, dst) == 0) aaRaise(AAE_OVFLO, kSrcExt, 1101);
    const uint64_t run = std::min<uint64_t>(
        {n, static_cast<uint64_t>(dataEnd(*srcBuf) - *src), static_cast<uint64_t>(dataEnd(*dstBuf) - *dst)});
    std::memmove(*dst, *src, run);
    *src += run;
    *dst += run;
    n -= run;
  }
}

void aa_copy_bckwrd(uint8_t** src, SessionBuffer** srcBuf, uint8_t** dst, SessionBuffer** dstBuf, uint64_t n) {
  while (n > 0) {
    while (*src == (*srcBuf)->data)
      if (goToPrevBuffer(srcBuf, src) == 0) aaRaise(AAE_OVFLO, kSrcExt, 1039);
    while (*dst == (*dstBuf)->data)
      if (goToPrevBuffer(dstBuf, dst) == 0) aaRaise(AAE_OVFLO, kSrcExt, 1050);
    const uint64_t run = std::min<uint64_t>(
        {n, static_cast<uint64_t>(*src - (*srcBuf)->data), static_cast<uint64_t>(*dst - (*dstBuf)->data)});
    *src -= run;
    *dst -= run;
    std::memmove(*dst, *src, run);
    n -= run;
  }
}

// ---------------------------------------------------------------------------
// Format side

int64_t afadjoct(int64_t n) {
  if (n <= static_cast<int64_t>(kBerSegment)) {
    cons = 0;
    return n;
  }
  return resegment(n, false, 796, 816);
}

int64_t afadjbit(int64_t n) {
  if (n <= static_cast<int64_t>(kBerSegment)) {
    aa_putOctet(0x00);
    cons = 0;
    return n + 1;
  }
  return resegment(n, true, 585, 605);
}

// ---------------------------------------------------------------------------
// Parse side

int32_t ber_getoctn(int32_t count) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 4) < 0) aaRaise(AAE_NOTOCTS, kSrcExt, 473);
    if (cons != 0) {
      count = ber_getoctn(count);
      continue;
    }
    if (count >= kExtMaxSegments) aaRaise(AAE_FILE_NOT_AVAIL, kSrcExt, 463);
    aa_normalise();
    strenv[count++] = StrEnv{eopenv[lev].remaining, aapdu, currentBuffer, eop[lev], eopenv[lev].endBuffer};
    aa_toLevelEnd();
    aa_leaveLevel();
  }
  return count;
}

int32_t ber_getbitn(int32_t count, uint32_t* unused) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 3) < 0) aaRaise(AAE_NOTOCTS, kSrcExt, 295);
    if (cons != 0) {
      count = ber_getbitn(count, unused);
      continue;
    }
    if (*unused != 0) aaRaise(AAE_RESIDUE, kSrcExt, 258);
    if (count >= kExtMaxSegments) aaRaise(AAE_FILE_NOT_AVAIL, kSrcExt, 285);
    const int64_t len = eopenv[lev].remaining;
    if (len < 1) aaRaise(AAE_LENERR, kSrcExt, __LINE__);
    const uint8_t u = aa_getOctet(eop[lev]);
    if (u > 7) aaRaise(AAE_UNKNOWN_ANY, kSrcExt, __LINE__);
    aa_normalise();
    strenv[count++] = StrEnv{len - 1, aapdu, currentBuffer, eop[lev], eopenv[lev].endBuffer};
    *unused = u;
    aa_toLevelEnd();
    aa_leaveLevel();
  }
  return count;
}

void aaadjoct() {
  if (cons == 0) return;
  const int32_t count = ber_getoctn(0);
  if (count == 0) aaRaise(AAE_BADENC, kSrcExt, 342);
  joinAndOpen(count, false, 0, 389);
}

void aaadjbit() {
  if (cons == 0) {
    // Read in place, from the first octet after the unused-bits octet.
    if (eopenv[lev].remaining < 1) aaRaise(AAE_LENERR, kSrcExt, __LINE__);
    const uint8_t u = aa_getOctet(eop[lev]);
    if (u > 7) aaRaise(AAE_UNKNOWN_ANY, kSrcExt, __LINE__);
    --eopenv[lev].remaining;
    return;
  }
  uint32_t unused = 0;
  const int32_t count = ber_getbitn(0, &unused);
  if (count == 0) aaRaise(AAE_BADENC, kSrcExt, 127);
  joinAndOpen(count, true, unused, 174);
}
