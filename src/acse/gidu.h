// Generic interface data units (GIDU) and application-entity headers (AeHDR):
// the unit every layer of the stack between the RDA client and the
// presentation layer passes, its event-code word and IDU types, and their
// creation and deletion.
//
// Ownership: every GIDU is the only item allocated directly in an XM tree of
// its own (a child of the thread's root tree). Headers are items of that
// tree; a PIDU lives in a child tree of it; a carried IDU or APDU is moved
// under it. Freeing the GIDU's tree (al_deleteGidu) frees all of them, so a
// GIDU is deleted without popping its headers first. A GIDU belongs to the
// layer that holds it: the layer that originates a primitive creates it, the
// layer that consumes it deletes it, and a layer that refuses it turns it
// into a local error (AL_createLocalError) and sends that back up instead.
#pragma once

#include <cstdint>

#include "src/asn1/ul_types.h"

struct XmTree;
struct PIDU;

// ---------------------------------------------------------------------------
// Event code: bit 15 set for a service primitive, else a local stack event
// whose number (0-15) is the whole word. Of a primitive, bits 4-14 hold the
// service number, bit 3 the APDU form, bit 2 the delivered form (indication
// or confirm), bit 1 the response side; bits 16 and up are flags that every
// table lookup and trace name ignores.

inline constexpr uint32_t AL_EV_PRIMITIVE = 0x8000;
inline constexpr uint32_t AL_EV_APDU = 0x8;
inline constexpr uint32_t AL_EV_DELIVERED = 0x4;
inline constexpr uint32_t AL_EV_RESPONSE = 0x2;
inline constexpr uint32_t AL_EV_CODE_MASK = 0x7FFF;  // what lookups see

constexpr bool al_isPrimitive(uint32_t event) { return (event & AL_EV_PRIMITIVE) != 0; }
// The service number of a primitive.
constexpr uint32_t al_serviceOf(uint32_t event) { return (event & AL_EV_CODE_MASK) >> 4; }

// Local stack events.
enum : uint32_t {
  AL_ACT_REQ = 0,
  AL_ACT_CNF = 1,
  AL_DEACT_REQ = 2,
  AL_DEACT_CNF = 3,
  AL_FDEACT_REQ = 4,
  AL_FDEACT_CNF = 5,
  AL_QABORT = 6,
  AL_LOCERR_IND = 7,
  AL_PSTOP_REQ = 8,
  AL_PSTART_REQ = 9,
  AL_USTOP_IND = 10,
  AL_USTART_IND = 11,
  AL_RESTART_REQ = 12,
  AL_RESTART_RSP = 13,
  AL_RESTART_IND = 14,
  AL_RESTART_CNF = 15,
};
inline constexpr uint32_t kAlLocalEventCount = 16;

// ACSE primitives (services 0-5).
inline constexpr uint32_t AL_A_ASSOC_REQ = 0x8000;
inline constexpr uint32_t AL_A_ASSOC_IND = 0x8004;
inline constexpr uint32_t AL_A_ASSOC_RSP = 0x8012;
inline constexpr uint32_t AL_A_ASSOC_CNF = 0x8016;
inline constexpr uint32_t AL_A_RELEASE_REQ = 0x8020;
inline constexpr uint32_t AL_A_RELEASE_IND = 0x8024;
inline constexpr uint32_t AL_A_RELEASE_RSP = 0x8032;
inline constexpr uint32_t AL_A_RELEASE_CNF = 0x8036;
inline constexpr uint32_t AL_A_ABORT_REQ = 0x8040;
inline constexpr uint32_t AL_A_ABORT_IND = 0x8044;
inline constexpr uint32_t AL_A_PABORT_FLAG = 0x40000;  // always carried by the A-P-ABORT indication
inline constexpr uint32_t AL_A_PABORT_IND = 0x48054;

// IDU types: what a GIDU carries.
enum : uint32_t {
  AL_IDU_NONE = 0,        // a local event of the application layer itself
  AL_IDU_PRES = 20,       // idu is a PIDU
  AL_IDU_PRES_RCV = 21,   // idu is an AeHDR wrapping a received PIDU
  AL_IDU_TP = 180,        // transaction processing (named in traces only)
  AL_IDU_UDT = 181,
  AL_IDU_INTERNAL = 182,
  AL_IDU_RDA = 200,       // idu is the AeHDR chain over an RDA IDU, or the IDU itself
  AL_IDU_CCR = 220,       // commitment (named in traces only)
  AL_IDU_ACSE = 240,      // idu is the AeHDR chain over an ACSE APDU
};

// ---------------------------------------------------------------------------
// Records

struct GIDU {
  GIDU* next;  // queue links; a GIDU in no queue points to itself
  GIDU* prev;
  uint32_t event;
  void* ue;    // user entity
  void* pe;    // provider entity
  void* uc;    // user connection
  void* pc;    // provider connection
  uint32_t errNo;  // OSI error number of a local error event
  void* extra;     // only the quick-abort GIDU of a presentation connection hangs a buffer here
  uint32_t iduType;
  void* idu;       // top AeHDR, PIDU or the IDU itself
};

// Application-entity header, stacked over the APDU of a GIDU.
struct AeHDR {
  void* wrapped;       // what the GIDU's idu held before this header was pushed
  uint32_t hdrWord1;   // presentation event the APDU travels in
  uint32_t hdrWord2;   // second parameter of that presentation primitive
  uint32_t hdrWord3;   // trigger request of the service element
  uint32_t hdrOrigin;  // layer or case that pushed or last rewrote the header
  uint32_t pctxId;     // presentation context id of the wrapped APDU
  uint32_t hdrWord6;   // tokens
  uint32_t hdrWord7;   // synchronisation-point serial number
};

// Makes a GIDU a queue of its own (or an empty queue head).
inline void al_selfLink(GIDU* g) { g->next = g->prev = g; }

// A routine that takes a GIDU over: a route step, a layer's entry or exit.
using AlGiduFn = void (*)(GIDU* gidu);

// ---------------------------------------------------------------------------
// Creation and deletion. Each writes its function-entry trace line at level
// 128 of the application layer's module.

// A zeroed GIDU in a new tree, self-linked, with `event` and `iduType`, and
// the four references of `ref` when given. NULL when memory runs out.
GIDU* al_createGidu(const GIDU* ref, uint32_t iduType, uint32_t event);
// Pushes a zeroed header over the GIDU's idu; NULL (GIDU unchanged) when
// memory runs out.
AeHDR* AL_createAeHDR(GIDU* gidu);
// A reset PIDU in a new child tree of the GIDU's tree; the caller stores it.
PIDU* AL_createPidu(GIDU* gidu);
// al_createGidu with a PIDU in idu; NULL (nothing left) on failure.
GIDU* al_createGiduWithPidu(const GIDU* ref, uint32_t iduType, uint32_t event);
// al_createGidu with one header pushed; NULL (nothing left) on failure.
GIDU* AL_createGiduWithAeHDR(const GIDU* ref, uint32_t iduType, uint32_t event);
// Frees the GIDU's tree with every header, PIDU and IDU under it. NULL is
// ignored.
void al_deleteGidu(GIDU* gidu);
// Pops the top header of a service primitive that is not of type 20 and has
// an idu; otherwise does nothing.
void AL_deleteAeHDR(GIDU* gidu);
void AL_deleteGiduWithAeHDR(GIDU* gidu);
// Frees the unit the GIDU carries (the XM tree of its own that holds it, or
// the item alone when it lies in the GIDU's tree) and clears idu.
void al_freeUnit(GIDU* gidu);
// Turns the GIDU into local event 7 (LOCERR.ind) with `errNo` in place: pops
// the top header, frees the carried unit and clears idu; references and IDU
// type stay. Returns the GIDU.
GIDU* AL_createLocalError(GIDU* gidu, uint32_t errNo);

// AE title in object-identifier form (kind 6) in `tree`: the AP title's arcs
// followed by the AE qualifier's integer value. NULL with OSI error 52993
// when the parts are missing or not in those forms, or memory runs out.
UL_APTitle* al_createAeTitle(const UL_APTitle* apTitle, const UL_AEQual* aeQualifier, XmTree* tree);
