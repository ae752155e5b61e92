// BER identifier and length octets (X.690) on the cursor of the BER runtime.
//
// A type code is ((first identifier octet AND 0xC0) << 7) + tag number:
// UNIVERSAL n = n, APPLICATION n = 0x2000 + n, context [n] = 0x4000 + n,
// PRIVATE n = 0x6000 + n. The constructed bit is not part of it; reading an
// identifier sets `cons` instead. Type code 0 means the level has ended.
// Class arguments: 0, 0x40, 0x80, 0xC0 (format: optionally with 0x20).
#pragma once

#include <cstdint>

inline constexpr int32_t kBerMaxTag = 8192;  // high-tag numbers read must stay below

// Parse side.
int64_t ber_getid(int32_t cls, int32_t tag);
int64_t ber_getidForVal(int32_t cls, int32_t tag);
int32_t ber_gettype();
int32_t get_type();
int32_t ber_peektype();
int32_t ber_peektypeVal();
int32_t ber_chkend();
int64_t ber_getlen();
uint64_t ber_getlenOpt();
uint64_t aadatalen();
int64_t igetlen();

// Format side.
int64_t ber_addid(uint32_t cls, int32_t tag, int64_t len);
int64_t ber_addeoc();
uint64_t aalenid(int64_t n);
