// Syntax registry: the process's transfer syntaxes (each with the BER
// runtime routines that implement it), the abstract syntaxes of each
// presentation user, their registration, and the lookups the presentation
// layer and the BER runtime use.
//
// Registration entries hold hSerializeGlobalMutex for their whole run and set
// osi_errno (0 on success). Lookups take no lock: their callers hold it.
#pragma once

#include <cstdint>

#include "src/asn1/ber_external.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ber_values.h"
#include "src/asn1/decode_tree.h"

struct PsUser;
struct Pmachine;

inline constexpr int32_t kPsMaxTsyn = 4;   // transfer syntaxes of the process
inline constexpr int32_t kPsMaxAsyn = 16;  // abstract syntaxes of one user
inline constexpr uint32_t kPsFreeEntry = 0xFFFF;  // arc count of a free table entry

// Encoding kinds of a transfer syntax (the alternative of an EXTERNAL or a
// presentation data value that carries its values).
inline constexpr uint32_t kEncSingleAsn1 = 16384;
inline constexpr uint32_t kEncOctetAligned = 16385;
inline constexpr uint32_t kEncArbitrary = 16386;

// The BER runtime routines that implement a transfer syntax, in table order.
struct TsRoutines {
  int64_t (*addAny)(const BerAny*);
  int64_t (*addBit)(uint32_t);
  int64_t (*addBits)(uint32_t, const uint32_t*);
  int64_t (*addBitv)(BitStgV*);
  int64_t (*addBitw)(uint32_t, uint32_t);
  int64_t (*addDouble)(double);
  int64_t (*addEoc)();
  int64_t (*addExternal)(ExternalValue*);
  int64_t (*addId)(uint32_t, int32_t, int64_t);
  int64_t (*addInt)(int32_t);
  int64_t (*addLong)(int32_t);
  int64_t (*addObj)(const ObjId*);
  int64_t (*addObjv)(ObjIdV*);
  int64_t (*addOcts)(const OctStg*);
  int64_t (*addOctv)(OctStgV*);
  int64_t (*addStg)(const char*);
  int64_t (*addStgv)(char*);
  int64_t (*addUtc)(const BerTime*);
  int64_t (*addTime)(const BerTime*);
  AaGetfFn getf;
  AaSetUpFn fSetUp;
  void (*mark)();
  void (*restore)();
  int32_t (*chkend)();
  uint32_t (*getAny)(BerAny*);
  void (*getBit)(uint32_t*);
  int32_t (*getBits)(int32_t, uint32_t*);
  uint32_t (*getBitv)(BitStgV*);
  uint32_t (*getBitw)(uint32_t*);
  void (*getDouble)(double*);
  uint64_t (*getExternal)(ExternalValue*);
  int64_t (*getId)(int32_t, int32_t);
  void (*getInt)(int32_t*);
  void (*getLong)(int32_t*);
  void (*getObj)(uint32_t, ObjId*);
  uint32_t (*getObjv)(ObjIdV*);
  uint32_t (*getOcts)(uint32_t, OctStg*);
  uint32_t (*getOctv)(OctStgV*);
  void (*getStg)(uint32_t, char*);
  char* (*getStgv)();
  void (*getUtc)(BerTime*);
  void (*getTime)(BerTime*);
  int32_t (*getType)();
  int32_t (*peekType)();
  AaSetUpFn aSetUp;
};
inline constexpr int32_t kTsRoutineCount = 45;
static_assert(sizeof(TsRoutines) == kTsRoutineCount * sizeof(void (*)()));

struct TsEntry {
  ObjId id;           // count kPsFreeEntry: free entry
  uint32_t encoding;  // kEncSingleAsn1, kEncOctetAligned or kEncArbitrary
  TsRoutines routines;
};

struct AbsSyntax {
  ObjId id;            // count kPsFreeEntry: free entry
  AaFormatFn format;   // both NULL: the values travel pre-encoded
  AaParseFn parse;
  uint32_t tsCount;    // associated transfer syntaxes
  int32_t tsSlots[kPsMaxTsyn];  // slot t holds t when transfer syntax t is associated, else -1
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

// ---------------------------------------------------------------------------
// Set-up

// Clears the current transfer syntaxes and registers the basic encoding
// rules {2 1 1} with the runtime's routines; ps_asn1_tsidx gets its index.
// 1, or 0 when no index results.
int32_t init_psyn();
void clear_p_ts();
void clear_tst();
void clear_ast(PsUser* user);

// ---------------------------------------------------------------------------
// Registration

// Index of the new transfer syntax, or -1.
int32_t p_txfrSynReg(uint32_t arcCount, const uint32_t* arcs, uint32_t encoding, const TsRoutines* routines);
int32_t p_tsyndereg(int32_t tsIdx);
// Index of the new abstract syntax of the user of `psap`, or -1. A
// pre-encoded syntax has no routines; any other has both.
int32_t p_asynreg(const OctStgV* psap, uint32_t arcCount, const uint32_t* arcs, AaParseFn parse, AaFormatFn format,
                  uint32_t preEncoded);
int32_t p_asyndereg(const OctStgV* psap, int32_t asIdx);
int32_t p_assoc(const OctStgV* psap, int32_t asIdx, int32_t tsIdx);
int32_t p_deassoc(const OctStgV* psap, int32_t asIdx, int32_t tsIdx);

// Slot allocators of the two tables (no checks, no lock).
int32_t alloc_ts();
void dealloc_ts(int32_t tsIdx);
int32_t alloc_as(PsUser* user);
void dealloc_as(PsUser* user, int32_t asIdx);

// ---------------------------------------------------------------------------
// Queries

// The object identifier of an abstract / transfer syntax into `arcs`, whose
// room *capacity gives; *capacity gets the arc count. 1; capacity - count
// (negative) when the room is too small, nothing copied; 0 on error.
int32_t p_get_asyn_id(const OctStgV* psap, int32_t asIdx, uint32_t* capacity, uint32_t* arcs);
int32_t p_get_tsyn_id(int32_t tsIdx, uint32_t* capacity, uint32_t* arcs);
// Index of the user's abstract syntax with that identifier; -1 when none.
int32_t p_get_id_asyn(const OctStgV* psap, const uint32_t* arcCount, const uint32_t* arcs);
int32_t p_find_asidx(const OctStgV* psap, uint32_t arcCount, const uint32_t* arcs);
int32_t p_find_tsidx(uint32_t arcCount, const uint32_t* arcs);

// Registered transfer syntax with that identifier (count and arcs); -1 when
// none. Free entries are skipped.
int32_t find_tsidx_obj(const ObjId* id);
int32_t find_tsidx_obj3(uint32_t arcCount, const uint32_t* arcs);
int32_t find_tsidx_num(int32_t tsIdx);
// Nonzero when transfer syntax tsIdx is associated with abstract syntax
// asIdx of the table; 0 otherwise, also for a free or unknown entry.
int32_t find_tsidx_as_ts(int32_t asIdx, int32_t tsIdx, const AbsSyntaxTable* table);
int32_t find_asidx_obj(const ObjId* id, const PsUser* user);
int32_t find_asidx_obj3(uint32_t arcCount, const uint32_t* arcs, const PsUser* user);
int32_t find_asidx_num(int32_t asIdx, const PsUser* user);
// Lowest transfer-syntax index set in both four-slot arrays; -1 when none.
int32_t locate_first_tsidx(const int32_t* proposed, const int32_t* supported);
// Value of the highest slot that is set; -1 when none.
int32_t find_tsidx_highest(const int32_t* slots);

// Abstract syntax of the context being formatted / parsed on pP; NULL for
// an identifier below 1 or a context without one.
AbsSyntax* get_format_pcontext();
AbsSyntax* get_parse_pcontext();
// The user's reference for connection pP, and pP itself.
uint64_t p_get_apref();
Pmachine* p_get_pcep_id();

// Switch the transfer syntax of formatting / parsing: nothing to do.
void switch_ts_fmt(uint32_t tsIdx);
void switch_ts_prs(uint32_t tsIdx);

// Every buffer of the chain back to the pool; NULL is ignored.
void P_free_session_buffers(SessionBuffer* chain);
// a when b is 0 and a is not, else b.
uint64_t P_tempConvert(uint64_t a, uint64_t b);
