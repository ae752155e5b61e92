// Debugging dump of an encoding: the rest of the current parse level, one
// element per line, to standard output.
#include <algorithm>
#include <cstdio>

#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"

namespace {

const char* universalName(int32_t tag) {
  static constexpr const char* kLow[] = {"BOOLEAN", "INTEGER", "BIT STRING", "OCTET STRING",
                                         "NULL", "OBJECT IDENTIFIER", "OBJECT DESCRIPTOR", "EXTERNAL"};
  static constexpr const char* kHigh[] = {"SEQUENCE", "SET", "NumericString", "PrintableString",
                                          "TeletexString", "VideotexString", "IA5String", "UTCTime",
                                          "GeneralizedTime", "GraphicString", "VisibleString", "GeneralString"};
  if (tag >= 1 && tag <= 8) return kLow[tag - 1];
  if (tag >= 16 && tag <= 27) return kHigh[tag - 16];
  return nullptr;
}

constexpr const char* kClassText[] = {"[UNIVERSAL ", "[APPLICATION ", "context-specific [", "[PRIVATE "};

void dumpObjectId(int32_t depth, int64_t n) {
  std::putchar('\n');
  ind(depth);
  uint64_t arc = 0;
  int32_t arcs = 0;
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t o = aa_getOctet();
    arc = (arc << 7) | (o & 0x7F);
    if ((o & 0x80) != 0) continue;
    if (arcs == 0) {
      const uint64_t first = arc < 80 ? arc / 40 : 2;
      std::printf(" %d %d", static_cast<int>(first), static_cast<int>(arc - first * 40));
      arcs = 2;
    } else if (arcs < 16) {
      std::printf(" %d", static_cast<int>(arc));
      ++arcs;
    }
    arc = 0;
  }
}

void dumpOctets(int32_t depth, int64_t n) {
  const int32_t perLine = std::max(1, 26 - depth);
  uint8_t* pdu = aapdu;
  uint8_t* buf = aabuf;
  SessionBuffer* cur = currentBuffer;
  for (int64_t i = 0; i < n; ++i) {
    if (i % perLine == 0) {
      std::putchar('\n');
      ind(depth);
    }
    std::printf("%2.2x ", aa_getOctet());
  }
  aapdu = pdu;
  aabuf = buf;
  currentBuffer = cur;
  for (int64_t i = 0; i < n; ++i) {
    if (i % perLine == 0) {
      std::putchar('\n');
      ind(depth);
    }
    const uint8_t o = aa_getOctet();
    if (o > 31) std::printf("%c  ", o);
    else std::fputs(".  ", stdout);
  }
}

}  // namespace

void ind(int32_t depth) {
  for (int32_t i = 0; i < depth; ++i) std::fputs("   ", stdout);
}

void disp(int32_t depth) {
  int32_t code;
  while ((code = ber_gettype()) != 0) {
    std::putchar('\n');
    ind(depth);
    const int32_t cls = code >> 13;
    const int32_t number = code & 0x1FFF;
    const char* name = cls == 0 ? universalName(number) : nullptr;
    if (name != nullptr) std::fputs(name, stdout);
    else std::printf("%s%d]", kClassText[cls & 3], number);
    const int64_t n = eopenv[lev].remaining;
    if (n < 0) std::fputs(" (indefinite length):", stdout);
    else std::printf(" (%d octets):", static_cast<int>(n));
    if (cons != 0) {
      disp(depth + 1);
      continue;
    }
    if (cls == 0 && number == 6) dumpObjectId(depth, n);
    else dumpOctets(depth, n);
    aa_leaveLevel();
  }
}

void display() {
  disp(0);
  std::putchar('\n');
  std::fflush(stdout);
}
