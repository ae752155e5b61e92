// The presentation connection record the codecs of a pass work for, and the
// presentation-layer switches they read.
//
// Minimal version: only the fields the context entry points and the EXTERNAL
// codecs read or set; the presentation layer replaces it with its full
// connection record.
#pragma once

#include <cstdint>

#include "src/presentation/psyntax.h"

inline constexpr int32_t kPsMaxContexts = 32;  // presentation context ids 0 .. 31

// One entry of the presentation context definition table, by context id.
struct PcdtEntry {
  int32_t ctxId;     // the context's identifier; -1 = free entry
  int32_t asIdx;     // abstract-syntax index; -1 = none
  int32_t tsIdx;     // transfer syntax in force; -1 = not settled
  int32_t result;    // 0 = accepted
  int32_t altTsIdx;  // transfer syntax taken for simply-encoded data while tsIdx is -1
  uint32_t tsCount;  // transfer syntaxes proposed for the context
  int32_t tsSlots[kPsMaxTsyn];  // candidate transfer syntaxes; -1 = empty
};

struct Pmachine {
  uint32_t passThrough;     // nonzero: user data travels as pre-encoded octets
  AbsSyntaxTable* asTable;  // the presentation user's abstract syntaxes
  int32_t dfltAsIdx;        // default context; -1 = none
  int32_t dfltTsIdx;
  uint32_t definedSet;      // nonzero: the connection works with its defined context set
  uint32_t preEncFmt;       // a value went out through the pass-through
  uint32_t preEncPrs;       // a value came in through the pass-through
  uint32_t dfltOnce;        // the next simply-encoded parse takes the default context
  PcdtEntry pcdt[kPsMaxContexts];
};

extern Pmachine* pP;          // connection of the pass in progress
extern uint32_t directMult;   // nonzero: an EXTERNAL carries one group per candidate transfer syntax
extern uint32_t pdvFmtPrs;    // error word of the data-value path

void set_Pcalled(Pmachine* pm);
