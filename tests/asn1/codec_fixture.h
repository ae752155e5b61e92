// Helpers of the value-codec tests: encodings written as hex, one element
// read from a chain (whole or cut into buffers), and a format pass that
// reports its code.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "asn1/ber_fixture.h"

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// "02 01 FF" -> {0x02, 0x01, 0xFF}.
inline Bytes hex(const std::string& s) {
  Bytes out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::strtoul(s.substr(i, 2).c_str(), nullptr, 16)));
    i += 2;
  }
  return out;
}

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An element of definite length in the fewest length octets.
inline Bytes tlv(uint8_t id, const Bytes& contents) {
  Bytes h{id};
  const size_t n = contents.size();
  if (n < 128) {
    h.push_back(static_cast<uint8_t>(n));
  } else {
    Bytes len;
    for (size_t v = n; v != 0; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v));
    h.push_back(static_cast<uint8_t>(0x80 + len.size()));
    h = h + len;
  }
  return h + contents;
}

inline Bytes slice(const Bytes& b, size_t from, size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

// n octets 0, 1, 2, ... (mod 251, so that segment boundaries show).
inline Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i % 251);
  return b;
}

class CodecTest : public BerTest {
 protected:
  // Opens the one element of `bytes` (cut at `cuts`) and runs `read` on it;
  // the code of the pass. A read that succeeds must use up the input.
  static int32_t readOne(const Bytes& bytes, const std::function<void()>& read,
                         std::initializer_list<size_t> cuts = {}) {
    return readCut(bytes, read, std::vector<size_t>(cuts));
  }
  static int32_t readCut(const Bytes& bytes, const std::function<void()>& read, const std::vector<size_t>& cuts) {
    std::vector<Bytes> parts;
    size_t from = 0;
    for (size_t c : cuts) {
      parts.emplace_back(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(c));
      from = c;
    }
    parts.emplace_back(bytes.begin() + static_cast<long>(from), bytes.end());
    SessionBuffer* chain = chainOf(parts);
    const int32_t err = parse(chain, [&] {
      if (ber_gettype() == 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
      read();
      EXPECT_EQ(lev, 0);
      EXPECT_EQ(ber_peektype(), 0) << "input left over";
    });
    freeChain(chain);
    return err;
  }
  // Reads `bytes` cut into two buffers at every position; the first code
  // other than 0, with the cut in *where.
  static int32_t readAtEveryCut(const Bytes& bytes, const std::function<void()>& read, size_t* where = nullptr) {
    for (size_t c = 1; c < bytes.size(); ++c) {
      const int32_t err = readCut(bytes, read, {c});
      if (err != 0) {
        if (where != nullptr) *where = c;
        return err;
      }
    }
    return 0;
  }
  // The code of a format pass running `body`.
  static uint32_t formatError(std::function<int64_t()> body) {
    uint32_t err = 0;
    SessionBuffer* chain = nullptr;
    format(std::move(body), &err, &chain);
    freeChain(chain);
    return err;
  }
};
