// The RDA application service element: the element of an association that
// carries RDA APDUs. The SACF reaches it through the two RDA rows of
// RDA_asxTBL (ISO and X/Open), which share its six entries.
//
// On the send pass rda_aseSnd checks each RDA event of the local user
// against the state table of the association's role and, when the table
// allows it, passes it on downward in its APDU form; on the receive pass
// rda_aseRcv does the same for each received APDU and passes it up in its
// indication or confirm form. What the table refuses becomes a local error
// for the user (send side, and refused APDUs), or ends the association with
// quick aborts (an APDU that is no event of the role).
//
// The role is fixed by the first RDA event of an association: an
// R-Initialize request sent makes it a client association, an APDU
// received first a server association.
//
// Each thread keeps its control blocks on a list under an RDA_AseCBHead,
// found through its RdaAseTLS.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/rda/rda_stateck.h"
#include "src/runtime/xm.h"

struct PctxEntry;
struct SaoCB;

inline constexpr uint32_t kRdaAseCbId = 259;  // inverted when the block is released

enum : uint32_t { RDA_ASE_ROLE_NONE = 0, RDA_ASE_ROLE_CLIENT = 1, RDA_ASE_ROLE_SERVER = 2 };

struct RDA_AseCB;

// One per thread, in an XM tree of its own; the sentinel of the list.
struct RDA_AseCBHead {
  RDA_AseCB* next;
  RDA_AseCB* prev;
  uint32_t count;  // established control blocks
  XmTree* tree;
};

// One per association that carries RDA, in a tree of its own under the
// head's tree.
struct RDA_AseCB {
  RDA_AseCB* next;
  RDA_AseCB* prev;
  uint32_t id;  // kRdaAseCbId
  stateCkCB* stateCk;
  int32_t (*stateCheck)(stateCkCB*, GIDU*);  // NULL until the role is set
  uint32_t role;                             // RDA_ASE_ROLE_*
  XmTree* tree;
};

// Entries of RDA_asxTBL. The send and receive entries take the GIDU over;
// the association's context table, the element's block for the
// association (its RDA_AseCB) and the association come from the SACF.
void rda_aseSnd(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB* sao);
void rda_aseRcv(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB* sao);
// 1, or 0 with osi_errno: 52576 when already initialised, 52584 when
// memory runs out.
int32_t rda_aseInit();
// 1, or 0 with osi_errno: 52577 not initialised, 52578 control blocks
// still established.
int32_t rda_aseTerm();
// A new control block (an RDA_AseCB, role none), or NULL with osi_errno
// 52577 or 52584.
void* rda_aseEstab();
// Mode 0 releases the control block, mode 1 resets it to role none. 1, or
// 0 with osi_errno: 52577 not initialised, 52579 no such control block,
// 52585 another mode.
int32_t rda_aseRel(void* aseCB, int32_t mode);

// Only traces; nothing calls it.
int32_t rda_aseStart(RDA_AseCB* cb);
// 1 when the element is initialised on the calling thread.
int32_t RDA_isAseInitialized();
// 1 when the block carries the element's id.
int32_t RDA_aseValidateCB(const RDA_AseCB* cb);
