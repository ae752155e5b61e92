// Identifier and length octets: opening, recognising and closing elements
// while parsing, and wrapping contents while formatting.
#include "src/asn1/ber_length.h"

#include "src/asn1/ber_runtime.h"
#include "src/asn1/preencoded.h"

namespace {

constexpr const char* kSrcType = "src/rtp_type";
constexpr const char* kSrcLeng = "src/rtp_leng";

// End of a level whose length runs past the data at hand (only while the
// presentation layer test-parses a first segment). No read position ever
// equals it.
uint8_t gBeyondChain = 0;

// The part of the cursor that opening an identifier may move.
struct Pos {
  uint8_t* pdu;
  uint8_t* buf;
  SessionBuffer* cur;
  uint32_t cons;
  int32_t lev;
};

Pos savePos() { return Pos{aapdu, aabuf, currentBuffer, cons, lev}; }

void restorePos(const Pos& p) {
  aapdu = p.pdu;
  aabuf = p.buf;
  currentBuffer = p.cur;
  cons = p.cons;
  lev = p.lev;
}

// Nearest level above 0, at or below `from`, whose end is known.
int32_t boundLevel(int32_t from) {
  for (int32_t l = from; l > 0; --l)
    if (eop[l] != nullptr) return l;
  return 0;
}

// Whether the end (ebuf, e) lies at or before the end of level `bound`,
// walking forward from the current buffer, which holds neither end beyond
// the read position.
bool endWithin(const SessionBuffer* ebuf, const uint8_t* e, int32_t bound) {
  const SessionBuffer* bbuf = eopenv[bound].endBuffer;
  if (bbuf == nullptr) return true;  // the enclosing level runs past the data at hand
  if (ebuf == nullptr) return false;
  const SessionBuffer* b = currentBuffer;
  for (;;) {
    if (b == ebuf) return b != bbuf || e <= eop[bound];
    if (b == bbuf) return false;
    b = b->next;
    if (b == headOfBufferChain) return false;
  }
}

// Subsequent octets of a high-tag number: at most two, below 8192.
int32_t highTagNumber(const uint8_t* limit, uint32_t line) {
  uint8_t o = aa_getOctet(limit);
  int32_t number = o & 0x7F;
  if ((o & 0x80) != 0) {
    o = aa_getOctet(limit);
    number = (number << 7) | (o & 0x7F);
    if ((o & 0x80) != 0) aaRaise(AAE_IDERR, kSrcType, line);  // a third octet: far beyond the limit
  }
  if (number >= kBerMaxTag) aaRaise(AAE_IDERR, kSrcType, line);
  return number;
}

// After a matching identifier: the length, stored as the new level's remaining.
int64_t openMatched(uint32_t line) {
  const int64_t len = igetlen();
  eopenv[lev].remaining = len;
  if (len != -1) return len;
  if (cons == 0) aaRaise(AAE_LENERR, kSrcType, line);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Parse side

int64_t igetlen() {
  if (lev >= kAaMaxLevel) aaRaise(AAE_MAX_NESTING, kSrcLeng, 55);
  const int32_t bound = boundLevel(lev);
  const uint8_t* limit = bound > 0 ? eop[bound] : nullptr;
  const uint8_t first = aa_getOctet(limit);
  if (first >= 0x85) aaRaise(AAE_LENERR, kSrcLeng, 101);
  int64_t len = -1;
  uint32_t line = 85;
  if (first < 0x80) {
    len = first;
  } else if (first > 0x80) {
    len = 0;
    for (int32_t i = first & 0x7F; i > 0; --i) len = (len << 8) | aa_getOctet(limit);
    line = 137;
  }
  aa_normalise();
  ++lev;
  EopEnv& env = eopenv[lev];
  env.endBuffer = currentBuffer;
  env.bufferEnd = aabuf;
  if (len < 0) {
    eop[lev] = nullptr;
    return -1;
  }
  const int64_t inBuffer = aabuf - aapdu;
  if (len < inBuffer) {
    eop[lev] = aapdu + len;
  } else {
    uint8_t* end = getEndOfData(len - inBuffer);
    if (end == nullptr) {
      if (rtp_testForPreEncoded == 0) aaRaise(AAE_LENERR, kSrcLeng, line);
      end = &gBeyondChain;
      env.endBuffer = nullptr;
      env.bufferEnd = nullptr;
    }
    eop[lev] = end;
  }
  // Contents may not run past the element that holds them.
  if (bound > 0 && !endWithin(env.endBuffer, eop[lev], bound)) aaRaise(AAE_LENERR, kSrcLeng, line);
  return len;
}

int32_t ber_chkend() {
  TM_TRACE(rtp_TM_handle, 128, kSrcLeng, "Entered ber_chkend()\n");
  aa_normalise();
  if (eop[lev] == aapdu) {
    aa_leaveLevel();
    return 1;
  }
  if (aapdu == aabuf || *aapdu != 0x00) return 0;
  const uint8_t* limit = aa_levelLimit();
  (void)aa_getOctet(limit);
  (void)aa_getOctet(limit);
  aa_normalise();
  aa_leaveLevel();
  return 2;
}

int32_t get_type() {
  if (ber_chkend() != 0) return 0;
  const uint8_t* limit = aa_levelLimit();
  const uint8_t o = aa_getOctet(limit);
  cons = o & 0x20;
  int32_t code;
  if ((o & 0x1F) < 31) code = ((o & 0xC0) << 7) + (o & 0x1F);
  else code = ((o & 0xC0) << 7) | highTagNumber(limit, 331);
  // UNIVERSAL 0 belongs to the end-of-contents octets; as an element it
  // would read as the end of the level.
  if (code == 0) aaRaise(AAE_IDERR, kSrcType, 331);
  return code;
}

int32_t ber_gettype() {
  TM_TRACE(rtp_TM_handle, 128, kSrcType, "Entered ber_gettype()\n");
  const int32_t code = get_type();
  if (code == 0) return 0;
  const int64_t len = igetlen();
  eopenv[lev].remaining = len;
  if (len == -1 && cons == 0) aaRaise(AAE_LENERR, kSrcType, __LINE__);
  return code;
}

int32_t ber_peektype() {
  const Pos p = savePos();
  const int32_t code = get_type();
  restorePos(p);
  return code;
}

int32_t ber_peektypeVal() {
  aa_normalise();
  if (aapdu == aabuf) aa_readPastEnd();
  const uint8_t o = *aapdu;
  if ((o & 0x1F) == 0x1F) aaRaise(AAE_IDERR, kSrcType, __LINE__);
  return ((o & 0xC0) << 7) + (o & 0x1F);
}

int64_t ber_getid(int32_t cls, int32_t tag) {
  TM_TRACE(rtp_TM_handle, 128, kSrcType, "Entered ber_getid()\n");
  aa_normalise();
  if (eop[lev] == aapdu) return -1;
  const Pos p = savePos();
  const uint8_t* limit = aa_levelLimit();
  const uint8_t o = aa_getOctet(limit);
  cons = o & 0x20;
  if (tag > 30) {
    if ((o & 0xDF) != cls + 31) {
      restorePos(p);
      return -3;
    }
    if (highTagNumber(limit, 127) != tag) {
      restorePos(p);
      return -4;
    }
  } else if ((o & 0xDF) != cls + tag) {
    restorePos(p);
    return -2;
  }
  return openMatched(154);
}

int64_t ber_getidForVal(int32_t cls, int32_t tag) {
  if (tag > 30) aaRaise(AAE_LENERR, kSrcType, __LINE__);
  aa_normalise();
  if (eop[lev] == aapdu) return -1;
  const Pos p = savePos();
  const uint8_t o = aa_getOctet(aa_levelLimit());
  if ((o & 0xDF) != cls + tag) {
    restorePos(p);
    return -2;
  }
  cons = o & 0x20;
  return openMatched(__LINE__);
}

uint64_t aadatalen() {
  if (cons == 0) {
    const int64_t remaining = eopenv[lev].remaining;
    if (remaining < 0) aaRaise(AAE_LENERR, kSrcLeng, __LINE__);
    aa_toLevelEnd();
    aa_leaveLevel();
    return static_cast<uint64_t>(remaining);
  }
  uint64_t sum = 0;
  while (ber_gettype() != 0) sum += aadatalen();
  return sum;
}

int64_t ber_getlen() {
  const Pos p = savePos();
  const uint64_t n = aadatalen();
  restorePos(p);
  return static_cast<int64_t>(n);
}

uint64_t ber_getlenOpt() {
  if (cons == 0) return static_cast<uint64_t>(eopenv[lev].remaining);
  return static_cast<uint64_t>(ber_getlen());
}

// ---------------------------------------------------------------------------
// Format side

int64_t ber_addid(uint32_t cls, int32_t tag, int64_t len) {
  TM_TRACE(rtp_TM_handle, 128, kSrcLeng, "Entered ber_addid()\n");
  if (len == 0) cons = 0;
  int64_t written = 0;
  if (len < 0) {
    aa_putOctet(0x80);
    written = 1;
  } else if (len <= 127) {
    aa_putOctet(static_cast<uint8_t>(len));
    written = 1;
  } else {
    uint64_t v = static_cast<uint64_t>(len);
    uint8_t count = 0;
    while (v != 0) {
      aa_putOctet(static_cast<uint8_t>(v));
      v >>= 8;
      ++count;
    }
    aa_putOctet(static_cast<uint8_t>(0x80 + count));
    written = count + 1;
  }
  if (tag <= 30) {
    aa_putOctet(static_cast<uint8_t>(cls | static_cast<uint32_t>(tag) | cons));
    ++written;
  } else {
    uint32_t t = static_cast<uint32_t>(tag);
    aa_putOctet(static_cast<uint8_t>(t & 0x7F));
    ++written;
    for (t >>= 7; t != 0; t >>= 7) {
      aa_putOctet(static_cast<uint8_t>(t | 0x80));
      ++written;
    }
    aa_putOctet(static_cast<uint8_t>(cls | cons | 0x1F));
    ++written;
  }
  cons = 32;
  return len + written;
}

int64_t ber_addeoc() {
  TM_TRACE(rtp_TM_handle, 128, kSrcLeng, "Entered ber_addeoc()\n");
  if (afpdu - afbuf < 2) aaRaise(AAE_BUFOVFLO, kSrcLeng, __LINE__);
  *--afpdu = 0x00;
  *--afpdu = 0x00;
  cons = 0;
  return 0;
}

uint64_t aalenid(int64_t n) {
  if (n == 0) return 0;
  if (n < 128) return 2;
  if (n < 256) return 3;
  if (n < 65536) return 4;
  if (n <= 0xFFFFFF) return 5;
  return 6;
}
