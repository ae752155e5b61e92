// OCTET STRING and character-string contents, primitive or segmented.
#include <cstdlib>
#include <cstring>

#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcOcts = "src/rtp_octs";
constexpr const char* kSrcChar = "src/rtp_char";

using AllocFn = void* (*)(uint64_t);

// Contents length of the element just opened: its own for a primitive one,
// the sum of its segments for a constructed one.
uint64_t valueLength(const char* file, uint32_t line) {
  // A test parse of a first segment accepts lengths that run past the data
  // at hand; memory is taken only for contents that lie in the chain.
  if (cons == 0 && eopenv[lev].remaining > 0 && eopenv[lev].endBuffer == nullptr) aaRaise(AAE_LENERR, file, line);
  const uint64_t n = ber_getlenOpt();
  if (n > UINT32_MAX) aaRaise(AAE_OVFLO, file, line);
  return n;
}

// n octets at p as contents: primitive below 4096 octets, otherwise
// segments of 4096 octets followed by the rest.
int64_t addSegmented(const uint8_t* p, uint32_t n) {
  if (p == nullptr) n = 0;
  const uint32_t tail = n % kBerSegment;
  const uint32_t pieces = n / kBerSegment;
  cons = 0;
  if (tail > 0) aa_copy(p + static_cast<size_t>(pieces) * kBerSegment, nullptr, tail);
  if (pieces == 0) return tail;
  int64_t total = 0;
  if (tail > 0) total += ber_addid(0, 4, tail);
  for (uint32_t i = pieces; i-- > 0;) {
    aa_copy(p + static_cast<size_t>(i) * kBerSegment, nullptr, kBerSegment);
    cons = 0;
    total += ber_addid(0, 4, kBerSegment);
  }
  return total;  // cons is 32: the caller's identifier is constructed
}

uint32_t getOctv(OctStgV* v, AllocFn alloc, uint32_t allocLine) {
  v->octets = nullptr;
  const uint64_t n = valueLength(kSrcOcts, allocLine);
  v->length = static_cast<uint32_t>(n);
  if (n == 0) {
    if (cons != 0) aa_skip();
    else aa_leaveLevel();
    return 0;
  }
  auto* p = static_cast<uint8_t*>(alloc(n));
  if (p == nullptr) aaRaise(AAE_NOMEM, kSrcOcts, allocLine);
  if (cons == 0) {
    aa_copy(nullptr, p, n);
    aa_leaveLevel();
  } else {
    getoctv_cons(p, p + n);
  }
  v->octets = p;
  return static_cast<uint32_t>(n);
}

char* getStgv(AllocFn alloc, uint32_t emptyLine, uint32_t allocLine) {
  const uint64_t n = valueLength(kSrcChar, allocLine);
  auto* s = static_cast<char*>(alloc(n + 1));
  if (s == nullptr) aaRaise(AAE_NOMEM, kSrcChar, n == 0 ? emptyLine : allocLine);
  if (n == 0) {
    if (cons != 0) aa_skip();
    else aa_leaveLevel();
  } else if (cons == 0) {
    aa_copy(nullptr, s, n);
    aa_leaveLevel();
  } else {
    getoctv_cons(reinterpret_cast<uint8_t*>(s), reinterpret_cast<uint8_t*>(s) + n);
  }
  s[n] = '\0';
  return s;
}

}  // namespace

uint8_t* getoctv_cons(uint8_t* dst, const uint8_t* dstEnd) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 4) < 0) aaRaise(AAE_NOTOCTS, kSrcOcts, 320);
    if (cons != 0) {
      dst = getoctv_cons(dst, dstEnd);
      continue;
    }
    const int64_t n = eopenv[lev].remaining;
    // The room was measured over the same segments; more means they changed.
    if (n > dstEnd - dst) aaRaise(AAE_OVFLO, kSrcOcts, __LINE__);
    aa_copy(nullptr, dst, static_cast<uint64_t>(n));
    dst += n;
    aa_leaveLevel();
  }
  return dst;
}

uint8_t* getocts_cons(uint32_t* room, uint8_t* dst) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 4) < 0) aaRaise(AAE_NOTOCTS, kSrcOcts, 260);
    if (cons != 0) {
      dst = getocts_cons(room, dst);
      continue;
    }
    int64_t n = eopenv[lev].remaining;
    if (n > *room) {
      if (aaextensibility == 0) aaRaise(AAE_OVFLO, kSrcOcts, 236);
      n = *room;
    }
    aa_copy(nullptr, dst, static_cast<uint64_t>(n));
    dst += n;
    *room -= static_cast<uint32_t>(n);
    aa_skip();
  }
  return dst;
}

uint32_t ber_getocts(uint32_t max, OctStg* v) {
  uint64_t n = valueLength(kSrcOcts, 90);
  if (n > max) {
    if (aaextensibility == 0) aaRaise(AAE_OVFLO, kSrcOcts, 90);
    n = max;
  }
  v->length = static_cast<uint32_t>(n);
  if (cons != 0) {
    uint32_t room = max;
    getocts_cons(&room, v->octets);
    return v->length;
  }
  if (n > 0) aa_copy(nullptr, v->octets, n);
  aa_skip();
  return v->length;
}

void ber_getstg(uint32_t max, char* buf) {
  uint64_t n = valueLength(kSrcChar, 95);
  if (n > max) {
    if (aaextensibility == 0) aaRaise(AAE_OVFLO, kSrcChar, 95);
    n = max;
  }
  auto* dst = reinterpret_cast<uint8_t*>(buf);
  if (cons != 0) {
    uint32_t room = max;
    *getocts_cons(&room, dst) = '\0';
    return;
  }
  if (n > 0) aa_copy(nullptr, dst, n);
  dst[n] = '\0';
  aa_skip();
}

uint32_t ber_getoctv(OctStgV* v) { return getOctv(v, aamalloc, 160); }
uint32_t ber_getoctv_page(OctStgV* v) { return getOctv(v, aamallocFromPage, 365); }
char* ber_getstgv() { return getStgv(aamalloc, 164, 178); }
char* ber_getstgv_page() { return getStgv(aamallocFromPage, 241, 254); }

int64_t ber_addocts(const OctStg* v) { return addSegmented(v->octets, v->length); }

int64_t ber_addoctv(OctStgV* v) {
  const int64_t n = addSegmented(v->octets, v->length);
  if (freeall != 0 && v->octets != nullptr) {
    std::free(v->octets);
    v->octets = nullptr;
  }
  return n;
}

int64_t ber_addstg(const char* s) {
  if (s == nullptr) return addSegmented(nullptr, 0);
  const size_t n = std::strlen(s);
  if (n > UINT32_MAX) aaRaise(AAE_OVFLO, kSrcChar, __LINE__);
  return addSegmented(reinterpret_cast<const uint8_t*>(s), static_cast<uint32_t>(n));
}

int64_t ber_addstgv(char* s) {
  const int64_t n = ber_addstg(s);
  if (freeall != 0) std::free(s);
  return n;
}
