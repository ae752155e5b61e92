// Presentation contexts of a connection: the context definition table
// (PCDT) filled from the initiating user's definition list, from a received
// CP, from the responding user's results and from a received CPA or CPR;
// the result list a responder sends; and the hooks the connection-PPDU
// decoders call while they parse, with the connection in pP.
//
// Slots: on the initiating side a context's slot is its identifier (odd, 1
// to 31) and the identifier map is the identity; on the responding side the
// contexts of a received CP take slots 1, 3, 5 ... in list order and the map
// records the peer's identifier of each. An accepted slot's identifier
// equals its map entry; a rejected slot has identifier -1 and keeps its map
// entry.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/presentation/pmachine.h"

inline constexpr uint32_t kPsMaxListItems = 32;  // items of a context or result list
// Contexts a received CP may define: one per odd slot.
inline constexpr uint32_t kPsMaxProposed = kPsMaxContexts / 2;

// Context-list item: identifier, abstract-syntax name and the transfer-syntax
// names proposed for it.
struct Context_list_item {
  int32_t pctxId;
  ObjId asName;
  uint32_t tsCount;
  ObjId tsNames[kPsMaxTsyn];
};

struct Context_list {
  uint32_t count;
  Context_list_item items[kPsMaxListItems];
};

// Result-list item; the presence word has one bit per optional member.
inline constexpr uint32_t kResultTsName = 1;
inline constexpr uint32_t kResultProviderReason = 2;

struct Result_list_item {
  uint32_t presence;
  uint32_t result;  // kPcdtAccepted, kPcdtUserRejected, kPcdtProviderRejected
  ObjId tsName;
  int32_t providerReason;
};

struct Result_list {
  uint32_t count;
  Result_list_item items[kPsMaxListItems];
};

// ---------------------------------------------------------------------------
// Filling the table: 1, or 0 with osi_errno; the table stays as far as it
// was filled.

// Initiator: abstract-syntax index (or -1) of each identifier 0 .. 31.
int32_t store_pcdl_pcdt(const int32_t* definitions, Pmachine* pm);
// Initiator: the requested default context (-1 = none).
int32_t store_dcn_pcdt(int32_t asIdx, Pmachine* pm);
// Responder: the contexts of a received CP. A list of more than
// kPsMaxProposed items is refused whole with PE_NO_RESOURCES (the local
// limit), before anything is stored.
int32_t store_prop_pcdt(const Context_list* list, Pmachine* pm);
// Responder: the responding user's result (0 accept, 1 reject) by slot.
int32_t store_pcrl_pcdt(const int32_t* results, Pmachine* pm);
// Initiator: the results of a received CPA or CPR, one per defined context.
int32_t store_rslt_pcdt(const Result_list* list, Pmachine* pm);
// Responder: the result list of the CPA or CPR it sends.
void set_pcdt_rslt(const Pmachine* pm, Result_list* out);

// ---------------------------------------------------------------------------
// Decode hooks: a failure leaves the parse (aa_jump_out) with its error
// number as the parse error; osi_errno is left alone.

// After the called selector of a CP: the called user and the local selector.
void hitCpCled(uint32_t length, const uint8_t* octets);
// After the context-definition list of a CP.
void hitCpProP(const Context_list* list);
// After the default-context-name of a CP.
void hitCpDflt(const ObjId* asName, const ObjId* tsName);
// After the result list of a CPA / a CPR.
void hitCpaProP(const Result_list* list);
void hitCprProP(const Result_list* list);
// After the default-context-result of a CPR.
void hitCprDflt(uint32_t result);
