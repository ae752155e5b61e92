// Presentation data values: the PDV-list record with its encoder and
// decoder, the User-data CHOICE that carries PDV-lists (fully encoded) or
// one value of the default context (simply encoded), and the hooks of the
// simply-encoded form.
//
// Values are formatted and parsed by the abstract syntax of their context
// through the presentation-context entry points (aaformat / aaparse,
// asformat / asparse), which reach the context table of the connection in
// pP. A value that fails to parse does not fail the PPDU: its PDV-list keeps
// no value and the first such error is kept in pdvFmtPrs.
#pragma once

#include <cstdint>

#include "src/asn1/decode_tree.h"
#include "src/asn1/ul_types.h"

struct XmTree;

// Alternatives of User-data (type codes of their identifiers).
inline constexpr uint32_t kUserDataSimple = 8192;  // [APPLICATION 0] Simply-encoded-data
inline constexpr uint32_t kUserDataFull = 8193;    // [APPLICATION 1] Fully-encoded-data

// One PDV-list. A value carried octet-aligned or arbitrary may come in
// several segments, each a further record chained through `next`.
struct PdvType {
  PdvType* next;      // the next segment; NULL for the last
  uint32_t context;   // sending: the connection's slot (the peer's identifier once
                      // encoded); receiving: the slot of the received identifier
  ObjId tsName;       // count kObjIdAbsent: no transfer-syntax name
  uint32_t tsIdx;     // transfer syntax the value is written in while none is settled
  uint32_t encoding;  // kEncSingleAsn1, kEncOctetAligned or kEncArbitrary
  uint32_t error;     // error word of the value's format or parse routine
  uint32_t option;    // passed to the value's format routine (octets of a pre-encoded value)
  void* value;        // the value to encode, or the decoded value
};
static_assert(sizeof(PdvType) == 104);

// A node of the Fully-encoded-data ring.
struct PdvNode {
  UL_Link links;
  PdvType* pdv;
};

// SEQUENCE OF PDV-list: a ring of PdvNode (the first PDV-list is the ring's
// first node) and their number.
struct Fully_enc_data {
  UL_Ring list;
};

inline void pdvListInit(Fully_enc_data* d) {
  d->list.links.next = d->list.links.prev = &d->list.links;
  d->list.count = 0;
}
// Appends a node at the end of the ring.
inline void pdvListAppend(Fully_enc_data* d, PdvNode* node) {
  UL_Link* head = &d->list.links;
  node->links.next = head;
  node->links.prev = head->prev;
  head->prev->next = &node->links;
  head->prev = &node->links;
  ++d->list.count;
}

struct Simply_enc_data {
  void* value;
  uint32_t option;
};

// The User-data CHOICE; kind 0: no user data.
struct User_data {
  uint32_t kind;  // kUserDataSimple or kUserDataFull
  Simply_enc_data simple;
  Fully_enc_data full;
};

// 1 while the receiving side tests whether the user data of a first segment
// is pre-encoded: the PDV decoders parse only the control information of
// the first PDV-list and its first value, and refuse (PE_NOT_PRE_ENC) a
// value whose abstract syntax has parse routines.
extern uint32_t PS_pre_encoded_test;

// A new zeroed record with no transfer-syntax name, in `tree` (NULL: the
// current decode tree); chained after `prev` when given. NULL on no memory.
PdvType* newPdvType(PdvType* prev, XmTree* tree);

// Inside a format pass: one PDV-list, back to front; the octet count, or 0
// when a value's format routine left an error in its error word.
int64_t fPdv(PdvType* pdv);
// Inside a parse pass: the PDV-list at the parse position, in a sub-list of
// the decode tree of its own.
PdvType* aPdv();

// Contents of [APPLICATION 1]: every PDV-list of the ring, in ring order.
int64_t fFully_enc_data(Fully_enc_data* data);
// Contents of an opened [APPLICATION 1]; nonzero.
uint32_t aFully_enc_data(Fully_enc_data* data);

// The User-data element (identifier included). An unknown kind leaves the
// pass with NONSPEC.
int64_t fUser_data(User_data* data);
// The User-data element at the parse position: nonzero when one was read;
// 0 at the end of the enclosing element, the record unchanged. Another
// element is NOTINCHOICE, or skipped and counted as read under
// aaextensibility.
uint32_t aUser_data(User_data* data);

// The bare value of the default context, as simply-encoded data carries it
// (without the [APPLICATION 0] around it): octets written.
int64_t addSimply_enc_data(Simply_enc_data* data);
// The bare value of the default context at the parse position, stored in the
// record; NULL when it cannot be parsed.
void* getSimply_enc_data(Simply_enc_data* data);
