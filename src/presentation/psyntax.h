// Transfer and abstract syntaxes: the process's transfer-syntax table, a
// presentation user's abstract-syntax table, and the lookups and switch hooks
// the BER runtime calls around values of a presentation context.
//
// Minimal version: the tables and the lookups the context entry points and
// the EXTERNAL codecs use; registration, the routine table of a transfer
// syntax and the rest of the registry come with the presentation layer.
#pragma once

#include <cstdint>

#include "src/asn1/ber_runtime.h"
#include "src/asn1/decode_tree.h"

inline constexpr int32_t kPsMaxTsyn = 4;   // transfer syntaxes of the process
inline constexpr int32_t kPsMaxAsyn = 16;  // abstract syntaxes of one user

// Encoding kinds of a transfer syntax (the alternative of an EXTERNAL or a
// presentation data value that carries its values).
inline constexpr uint32_t kEncSingleAsn1 = 16384;
inline constexpr uint32_t kEncOctetAligned = 16385;
inline constexpr uint32_t kEncArbitrary = 16386;

struct TsEntry {
  ObjId id;           // count 0xFFFF: free entry
  uint32_t encoding;  // kEncSingleAsn1, kEncOctetAligned or kEncArbitrary
};

struct AbsSyntax {
  ObjId id;            // count 0xFFFF: free entry
  AaFormatFn format;   // both NULL: the values travel pre-encoded
  AaParseFn parse;
  uint32_t tsCount;    // associated transfer syntaxes
  int32_t tsSlots[kPsMaxTsyn];  // slot t holds t when transfer syntax t is associated, else -1
  uint32_t dfltTsPresent;       // the default transfer syntax below is set
  int32_t dfltTsIdx;
};

struct AbsSyntaxTable {
  uint32_t count;
  AbsSyntax entries[kPsMaxAsyn];
};

extern TsEntry tst[kPsMaxTsyn];
extern uint32_t ntst;
extern int32_t ps_asn1_tsidx;      // the basic encoding rules; -1 until registered
extern int32_t current_fmt_tsidx;  // in force for formatting; -1 = none
extern int32_t current_prs_tsidx;  // in force for parsing; -1 = none

// Index of the first transfer syntax of entries 0 .. ntst - 1 whose object
// identifier equals id; -1 when none does.
int32_t find_tsidx_obj(const ObjId* id);
// Nonzero when transfer syntax tsIdx is associated with abstract syntax
// asIdx of the table; 0 otherwise, also for a free or unknown entry.
int32_t find_tsidx_as_ts(int32_t asIdx, int32_t tsIdx, const AbsSyntaxTable* table);
// Switch the transfer syntax of formatting / parsing: nothing to do.
void switch_ts_fmt(uint32_t tsIdx);
void switch_ts_prs(uint32_t tsIdx);
