#include "src/rda/rda_perror.h"

#include <cstdio>

#include "src/acse/acse_errno.h"
#include "src/acse/al_errno.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/perrno.h"
#include "src/rda/rda_errno.h"
#include "src/session/session.h"

namespace {

// A family's table: the name at `offset`, NULL beyond its end.
template <size_t N>
const char* at(const char* const (&table)[N], uint32_t offset) {
  return offset < N ? table[offset] : nullptr;
}

struct Lookup {
  uint32_t offset;
  const char* name;  // NULL: unknown
};

Lookup rdaFamily(uint32_t number) {
  struct Range {
    uint32_t base;
    const char* (*name)(uint32_t);
  };
  static constexpr Range kRanges[] = {
      {kRdaSaoErrorBase, [](uint32_t o) { return at(rdaSaoErrorTab, o); }},
      {kRdaAeErrorBase, [](uint32_t o) { return at(rdaAeErrorTab, o); }},
      {kRdaSacfErrorBase, [](uint32_t o) { return at(rdaSacfErrorTab, o); }},
      {kRdaAseErrorBase, [](uint32_t o) { return at(rdaAseErrorTab, o); }},
      {kRdaSurErrorBase, [](uint32_t o) { return at(rdaSurErrorTab, o); }},
  };
  for (const Range& r : kRanges)
    if (number >= r.base) return {number - r.base, r.name(number - r.base)};
  const uint32_t offset = number - kRdaErrorBase;  // wraps below the base
  return {offset, at(rdaErrorTab, offset)};
}

Lookup lookup(uint32_t number) {
  switch (number >> 8) {
    case 0x00: {
      const uint32_t offset = number - 1;  // 0 wraps to 0xFFFFFFFF
      return {offset, at(rtpErrorTab, offset)};
    }
    case 0x80: {
      const uint32_t offset = number - 0x8000;
      return {offset, offset <= S_NO_RESOURCES - S_NO_ERROR ? s_errorName(number) : nullptr};
    }
    case 0xA0:
      return {number - kPresErrorBase, at(presErrorTab, number - kPresErrorBase)};
    case 0xC0:
      return {number - kAcseErrorBase, at(acseErrorTab, number - kAcseErrorBase)};
    case 0xCD:
      return rdaFamily(number);
    case 0xCF:
      return {number - kAlErrorBase, at(alErrorTab, number - kAlErrorBase)};
    default:
      return {number, nullptr};
  }
}

}  // namespace

const char* rda_printError(uint32_t number, char* buffer) {
  const Lookup l = lookup(number);
  if (l.name != nullptr) return l.name;
  if (buffer == nullptr) return "?";
  std::snprintf(buffer, kRdaErrorNameSize, "XX_0x%lx", static_cast<unsigned long>(l.offset));
  return buffer;
}
