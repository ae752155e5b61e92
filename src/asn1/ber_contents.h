// Reading the contents of the primitive element just opened, shared by the
// value codecs.
#pragma once

#include <cstdint>

#include "src/asn1/ber_runtime.h"

// The contents of the current level, octet by octet. Never reads past the
// length the element declared, nor past the data of the chain.
class ContentsReader {
 public:
  ContentsReader() : left_(eopenv[lev].remaining), end_(eop[lev]) {
    if (left_ < 0) left_ = 0;
  }
  int64_t left() const { return left_; }
  bool more() const { return left_ > 0; }
  uint8_t next() {
    if (left_ <= 0) aa_readPastEnd();
    --left_;
    return aa_getOctet(end_);
  }
  // The next octet without consuming it; only while more().
  uint8_t peek() const {
    if (left_ <= 0) aa_readPastEnd();
    aa_normalise();
    if (aapdu == aabuf || aapdu == end_) aa_readPastEnd();
    return *aapdu;
  }
  // Consumes n octets into dst (NULL: skips them).
  void copy(uint8_t* dst, int64_t n) {
    if (n < 0 || n > left_) aa_readPastEnd();
    aa_copy(nullptr, dst, static_cast<uint64_t>(n));
    left_ -= n;
  }

 private:
  int64_t left_;
  const uint8_t* end_;
};

