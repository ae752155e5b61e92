// The presentation connection record (Pmachine), the list of live
// connections, and the globals through which the codecs of a pass reach the
// connection they work for.
//
// The BER runtime's presentation-context entry points (src/asn1/
// ber_context.cpp, ber_external.cpp) read this record: this header, with
// what it includes, is the one thing the BER layer takes from the
// presentation layer. It brings the presentation error numbers along, which
// the record's error word holds and those entry points report.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/presentation/perrno.h"
#include "src/presentation/psyntax.h"
#include "src/presentation/users.h"

struct GIDU;
struct Smachine;
struct SessionBuffer;

inline constexpr int32_t kPsMaxContexts = 32;  // presentation context slots 0 .. 31
inline constexpr uint32_t kPmAbortBufferSize = 128;

// Results of a context and of the default context.
inline constexpr uint32_t kPcdtAccepted = 0;
inline constexpr uint32_t kPcdtUserRejected = 1;
inline constexpr uint32_t kPcdtProviderRejected = 2;

// Provider reasons of a rejected context.
inline constexpr int32_t kPcdtReasonNotSpecified = 0;
inline constexpr int32_t kPcdtReasonAsynNotSupported = 1;
inline constexpr int32_t kPcdtReasonTsynNotSupported = 2;

// One entry of the presentation context definition table, by slot.
struct PcdtEntry {
  int32_t ctxId;           // the context's identifier; -1 = slot free or not accepted
  int32_t asIdx;           // abstract-syntax index of the user's table; -1 = none
  int32_t tsIdx;           // transfer syntax; -1 = not settled
  uint32_t result;         // kPcdtAccepted, kPcdtUserRejected, kPcdtProviderRejected
  int32_t providerReason;  // kPcdtReason*; -1 = none
  uint32_t tsCount;        // transfer syntaxes proposed for the context
  int32_t tsSlots[kPsMaxTsyn];  // slot t holds t when transfer syntax t is proposed, else -1
};

// Connection states.
inline constexpr uint32_t STAI0 = 0;
inline constexpr uint32_t STAI1 = 1;
inline constexpr uint32_t STAI2 = 2;
inline constexpr uint32_t STAt0 = 3;

// One presentation connection: one XM tree.
struct Pmachine {
  Pmachine* next;  // plist
  Pmachine* prev;
  uint32_t state;
  uint32_t x410Mode;      // the connection runs without presentation contexts
  // The quick-abort indication, made with the machine in a subtree of its
  // own (with a buffer of kPmAbortBufferSize octets in `extra`), so that an
  // abort needs no memory; NULL once spent.
  GIDU* abortGidu;
  uint64_t userRef;       // the ue reference of every GIDU
  Smachine* s;            // session connection; NULL until S-CONNECT
  PsUser* user;
  uint32_t pRequirements;  // connection words copied at connection set-up
  uint32_t sRequirements;
  uint32_t connectWord;
  uint32_t tokenItem;
  uint32_t serialNumber;
  OctStgV localPsel;      // octets: kPselMaxLen of the machine's tree
  int32_t dfltAsIdx;      // default context; -1 = none
  int32_t dfltTsIdx;
  uint32_t dfltResult;    // kPcdtAccepted or kPcdtProviderRejected
  uint32_t definedCount;  // contexts of the defined context set
  int32_t lastError;      // error word of the last decode
  uint32_t sessVersion;   // chosen version (called side) or version bits (calling side)
  uint64_t connRef;       // the user's reference for the connection: the uc of every GIDU
  uint32_t relPending;
  uint32_t relCollision;
  uint32_t ctxMarks[kPsMaxContexts];  // 1: a context was defined in the slot
  SessionBuffer* heldChain;  // segments of an incomplete SSDU
  uint64_t heldLength;       // their octets
  uint32_t segSend;          // the last user data sent was not the end of its SSDU
  uint32_t preEncRcv;        // values come in through the pass-through
  uint32_t dataLimit;        // user-data limit; 0 = none
  uint32_t cnfSuppress;      // S-DATA confirms to swallow
  uint32_t expedited;
  PcdtEntry pcdt[kPsMaxContexts];
  int32_t idMap[kPsMaxContexts];  // the identifier the peer uses for each slot; -1 = none
  // Switches of the context entry points; 0 unless set.
  uint32_t passThrough;  // user data travels as pre-encoded octets
  uint32_t preEncFmt;    // a value went out through the pass-through
  uint32_t dfltOnce;     // the next simply-encoded parse takes the default context
};

// The machine list: first and last machine, and their number.
struct PmList {
  Pmachine* next;
  Pmachine* prev;
  uint32_t count;
};
extern PmList plist;

extern Pmachine* pP;          // connection of the pass in progress
extern uint32_t directMult;   // nonzero: an EXTERNAL carries one group per candidate transfer syntax
extern uint32_t pdvFmtPrs;    // error word of the data-value path

void set_Pcalled(Pmachine* pm);

// The abstract-syntax table of the machine's user; NULL without a user.
inline AbsSyntaxTable* pm_asTable(const Pmachine* pm) {
  return pm != nullptr && pm->user != nullptr ? &pm->user->asTable : nullptr;
}

// A new machine in STAI0 in a tree of its own, linked at the end of plist;
// its local selector a copy of `psel` (NULL: empty). NULL with PE_MALLOC,
// or PE_PSAP_INV for a selector over kPselMaxLen.
Pmachine* pm_alloc(const OctStgV* psel, Smachine* s, PsUser* user, uint64_t userRef);
void pm_dealloc(Pmachine* pm);
// All zero, default context -1, PCDT, identifier map and marks cleared.
void clear_ppm(Pmachine* pm);
void clear_pcdt(Pmachine* pm);
void clear_pcdt_entry(PcdtEntry* e);

Pmachine* find_pm_pm(const Pmachine* pm);
Pmachine* find_pm_apref(uint64_t connRef);
Pmachine* find_pm_sm(const Smachine* s);
Pmachine* find_pm_psapid(const OctStgV* psap);
// The machine's local selector; NULL when the machine is not in plist.
OctStgV* p_get_local_psel(Pmachine* pm);
