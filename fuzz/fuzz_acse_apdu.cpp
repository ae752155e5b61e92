// ACSE APDUs decoded from arbitrary octets; an APDU that was read is written
// again, and what was written must read back and write again to the same
// octets.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64),
// octet 1 holds switches: bit 0 extensibility, bit 1 the counting codec of
// layer management instead of the plain one, bit 3 an empty buffer between
// the pieces; the rest is the encoding. User information and EXTERNAL
// authentication values of presentation context 1 carry INTEGERs.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/acse_lme.h"
#include "src/acse/acsetls.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (initAcseTLS() == 0 || init_buffers(20, 64) == 0) std::abort();  // the counters live in AcseTLS
  fuzzIntegerContext();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  data += 2;
  size -= 2;
  const uint32_t extensible = flags & 1;
  aaextensibility = extensible;
  const bool counting = (flags & 2) != 0;
  fuzzWriteReadWrite(data, size, piece, (flags & 8) != 0, counting ? aACSE : aApdu, counting ? fACSE : fApdu);
  if (aaextensibility != extensible) __builtin_trap();  // the decoder puts it back
  aaextensibility = 0;
  return 0;
}
