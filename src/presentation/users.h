// Presentation users (the service access points above the layer), the
// layer's start-up, and the validators and selector helpers the layer uses.
//
// The layer's state is one set per process, reached under
// hSerializeGlobalMutex: the user table, the machine list, the catch-all
// user, the local session address and the management data. The start-up
// runs once; a connection on any thread finds its user by selector.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/asn1/ul_types.h"
#include "src/presentation/psyntax.h"
#include "src/session/session.h"

struct GIDU;

inline constexpr uint32_t kPsMaxUsers = 16;
inline constexpr uint32_t kPselMaxLen = 16;  // octets of a selector on the wire
inline constexpr uint32_t kPsapIdMaxLen = 15;  // octets of a registered selector

// p_activate modes.
inline constexpr uint32_t kPsModeNormal = 0;
inline constexpr uint32_t kPsModeX410 = 1;
inline constexpr uint32_t kPsModeDefault = 2;

// init_presentation flags (the mask of a presentation address).
inline constexpr uint32_t kPsInitSsel = 2;
inline constexpr uint32_t kPsInitTsel = 4;

// Receives every indication and confirm GIDU of the user's connections.
using PsIndication = int32_t (*)(GIDU* gidu);

// One selector of a user: the first inline in the user, further ones
// (clones) as items of the user's tree.
struct PsAddrEntry {
  PsAddrEntry* next;
  OctStgV psel;      // octets in an item of their own
  uint64_t userRef;  // handed back with connections to this selector
};

// A presentation user: one XM tree.
struct PsUser {
  PsUser* next;  // ring of psutab
  PsUser* prev;
  PsAddrEntry addr;
  AbsSyntaxTable asTable;
  PsIndication callback;
  uint32_t x410User;  // registered in mode 1
};

// A selector as the PPDU records hold it: a length and up to 16 octets.
struct PselBlock {
  uint32_t length;
  uint8_t octets[kPselMaxLen];
};

// The calling session address of outgoing connections.
struct PsLocalSsap {
  SSel ssel;
  TSAPaddr tsel;
  NSAPaddr naddr;
};

extern PsUser* psutab;  // first user of the ring; NULL = none
extern PsUser* catchAllPUser;
extern PsLocalSsap local_ssap;

// Counter report hook: attribute number of the counter, the remote address
// of the primitive, the report (a presentation address in its own XM tree,
// which the hook owns), the responding address and the reason.
using PsEventHook = void (*)(uint32_t attribute, const void* remote, UL_Paddress* report, const void* responding,
                             int32_t reason);

// ---------------------------------------------------------------------------
// Start-up and users

// Sets the layer up with the local address (mask kPsInitSsel / kPsInitTsel
// for the selectors given, the first network address if any), the event
// hook and the two 16-octet blocks (NULL: zeros). 1, or 0 with osi_errno.
int32_t init_presentation(const UL_Paddress* local, PsEventHook hook, const uint8_t* mfgInfo,
                          const uint8_t* optInfo);
// Empty user table and machine list, transfer-syntax table cleared.
void init_pmgmt();

int32_t p_activate(const OctStgV* psel, PsIndication callback, uint32_t mode, uint64_t userRef);
int32_t p_activate_clone(const OctStgV* newPsel, const OctStgV* existingPsel, uint64_t userRef);
// Refused (0, PE_PSAP_USED) while a connection machine belongs to a user the
// removal would free.
int32_t p_deactivate(const OctStgV* psel);
uint64_t p_getUserRef(const OctStgV* psel);

// The user of the calling selector of a P-CONNECT request, else the default
// user; NULL with PE_PSAP_NOT when neither exists.
PsUser* p_connect_user(const OctStgV* calling);

// ---------------------------------------------------------------------------
// Lookups

PsUser* find_ps_user(const OctStgV* psap);
PsUser* oct_find_ps_user(uint32_t length, const uint8_t* octets, uint64_t* userRef);
PsUser* getNullPsap();
void P_setCatchAllPUser(PsUser* user);
PsUser* P_getCatchAllPUser();

// ---------------------------------------------------------------------------
// Validators: 1 = invalid, with osi_errno set (val_objid sets none).

int32_t val_psapid(const OctStgV* psap);
int32_t val_tsidx(int32_t tsIdx);
int32_t val_asidx(int32_t asIdx);
int32_t val_pctxid(int32_t pctxId);
int32_t val_encode(uint32_t encoding);
int32_t val_pfu(uint32_t requirements);
int32_t val_objid(const uint32_t* arcs);

// ---------------------------------------------------------------------------
// Selectors

// -1 when the lengths differ, 0 for two empty ones, else the octet compare.
int32_t psap_cmp_os(const OctStgV* psel, uint32_t length, const uint8_t* octets);
// Octet block to a selector whose octets have room for kPselMaxLen, and back;
// 1, or 0 for a length over kPselMaxLen (nothing copied).
int32_t copy_oct_to_psap(OctStgV* dst, const PselBlock* src);
int32_t copy_psap_to_oct(PselBlock* dst, const OctStgV* src);
