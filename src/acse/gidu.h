// Generic interface data units (GIDU) and application-entity headers (AeHDR):
// the unit every layer of the stack between the RDA client and the
// presentation layer passes (the record itself, its event-code word and IDU
// types are the presentation layer's, src/presentation/pgidu.h), the ACSE
// primitives, and the creation and deletion of GIDUs and headers.
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
#include "src/presentation/pgidu.h"

struct XmTree;
struct PIDU;

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

// ---------------------------------------------------------------------------
// Records

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
