// Presentation interface data unit (PIDU) and its user-data elements (DElem).
//
// A presentation primitive travels between the application layer and the
// presentation layer as a PIDU inside a GIDU of IDU type 20. The PIDU lives in
// an XM tree of its own: the application layer makes it a child tree of the
// GIDU's tree (AL_createPidu), so that freeing the GIDU frees the PIDU, and
// freeing the PIDU (p_free_pidu) frees the whole GIDU with it.
#pragma once

#include <cstdint>

#include "src/asn1/ul_types.h"
#include "src/session/session.h"

inline constexpr int32_t kPiduCtxCount = 32;  // context lists, indexed by context id

// A presentation selector; length -1 = absent.
struct PSelector {
  int32_t length;
  uint8_t* octets;
};

// Ring links of the data-element list; the PIDU holds the head.
struct DElemLink {
  DElemLink* next;
  DElemLink* prev;
};

// One data element: an APDU to send or a received PDV.
struct DElem : DElemLink {
  int32_t pctxId;     // presentation context id; -1 = none
  uint32_t encoding;  // value encoding
  uint32_t flags;
  void* value;        // the decoded APDU, or for pre-encoded data the ring of
                      // SessionBuffers that holds it
};

inline constexpr uint8_t kPiduLocalTClassGiven = 64;  // local address flag: transportClass is set

struct PiduLocalAddr {
  PSelector pSel;
  uint8_t flags;  // kPiduLocalTClassGiven
};

struct PiduRespondingAddr {
  uint32_t flags;
  PSelector pSel;
};

// Activity identifier as the presentation user sees it.
struct PActivityId {
  uint64_t value;
  uint32_t length;
};

struct PIDU {
  uint32_t userRef;  // the user's connection reference, read when the GIDU's uc is 0
  uint32_t event;    // presentation event 0-113
  // Request: calling address; indication: called address.
  PiduLocalAddr local;
  // Request: called address; indication: calling address. The selectors'
  // lengths are read as signed: -1 = absent.
  UL_Paddress remote;
  uint32_t transportKind;  // 1 "TP024", 2 "TP0TCP", any other "TP4"
  uint32_t transportClass;
  PiduRespondingAddr responding;
  int32_t ctxDefList[kPiduCtxCount];     // abstract-syntax index by context id; -1 = none
  int32_t ctxResultList[kPiduCtxCount];  // result by context id; 0 after reset
  int32_t ctxSpareList[kPiduCtxCount];   // reset to -1, not otherwise used
  int32_t ctxIdList[kPiduCtxCount];      // -1 = not listed; filled from a received ARU
  int32_t dfltCtx;                       // abstract-syntax index; -1 = none
  int32_t dfltResult;
  uint32_t userError;   // decoding or PDV error of a received primitive
  uint32_t failedInd;   // failing indication number
  uint32_t presRequirements;
  uint32_t eventId;     // event identifier of a provider abort
  uint32_t flag1;       // 1 after reset; set by connect indications and confirms
  uint32_t flag2;       // 1 after reset; cleared by an X.410-mode connect indication
  DElemLink dataList;   // ring of DElem; empty: self-linked
  uint32_t sessRequirements;
  uint32_t tokenItem;
  uint8_t syncType;
  int32_t reason;       // -1 = absent
  uint64_t serial;
  uint32_t credit;
  PActivityId activityId;
  PActivityId oldActivityId;
  ScidBlock cid;
  uint32_t connectWord;
  uint32_t endOfSdu;       // 1 after reset; 0 when more segments of the same SSDU follow
  uint32_t sessVersion;    // bit 0 version 1, bit 1 version 2
  uint32_t userDataLimit;  // 0 = none
  void* x410Params;        // X.410-mode parameter record (its first word says which); NULL in normal mode
};

// Resets a PIDU: all zero, the definition, spare and identifier lists -1
// (the result list stays 0), the selectors absent, no default context, no
// reason, no user data, end of SDU, session version 2, both flag words 1.
// NULL is ignored.
void p_clear_pidu(PIDU* pidu);

// Frees the topmost XM tree that holds the PIDU (the tree right below the
// thread's root tree): for a PIDU inside a GIDU, the whole GIDU. NULL is
// ignored.
void p_free_pidu(PIDU* pidu);

// Resets a data element: zero, no context, self-linked. NULL is ignored.
void p_clear_delem(DElem* delem);


// Activity identifiers between the PIDU and the session layer: the session
// carries up to 6 octets, the PIDU a value whose `length` low octets they
// are, the first octet the most significant.
inline void p_actIdToSession(const PActivityId& from, ActId* to) {
  const uint32_t n = from.length < sizeof to->id ? from.length : static_cast<uint32_t>(sizeof to->id);
  *to = ActId{};
  to->len = n;
  for (uint32_t i = 0; i < n; ++i) to->id[i] = static_cast<uint8_t>(from.value >> (8 * (n - 1 - i)));
}
inline PActivityId p_actIdFromSession(const ActId& from) {
  const uint32_t n = from.len < sizeof from.id ? from.len : static_cast<uint32_t>(sizeof from.id);
  PActivityId to{0, n};
  for (uint32_t i = 0; i < n; ++i) to.value = (to.value << 8) | from.id[i];
  return to;
}
