// Server entities of the RDA service user: per association, the model of
// what the client has asked for. One dialogue entity (DlgEnt) per dialogue
// opened by R-Initialize, one operation entity (OpEnt) per received
// indication not yet answered, one data-resource entity (RsrcEnt) per data
// resource opened by R-Open and one command entity (DBLEnt) per command
// defined by R-DefineDBL. The server rules check every received indication
// against this model, answer it with an error response of their own when a
// check fails, and change the model when the server user answers.
//
// Memory: every entity is an item in an XM tree of its own; the trees of
// data-resource and command entities are moved under the dialogue's tree, so
// that freeing the dialogue frees them too. Reference items (a resource's
// children, the close and drop lists) live in the tree of the list they
// belong to.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/acse/sur.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_sur.h"

struct XmTree;
struct DlgEnt;

// ---------------------------------------------------------------------------
// The RDA elements of the service user's control blocks (src/rda/rda_sur.h).

// The RDA element of the ACB, made the ACB's current element; NULL when
// the ACB has none.
RdaAcbElem* rda_srvAcbElem(ACB* acb);
// The RDA element of the UCB; NULL when it has none.
RdaUcbElem* rda_srvUcbElem(UCB* ucb);

// ---------------------------------------------------------------------------
// Records.

// Operation status, as reported in an R-Status response.
inline constexpr uint32_t RDA_OPST_UNKNOWN = 0x4001;    // reported only, never stored
inline constexpr uint32_t RDA_OPST_ARRIVED = 0x4002;    // not yet taken by the server user
inline constexpr uint32_t RDA_OPST_TAKEN = 0x4003;      // handed to the server user
inline constexpr uint32_t RDA_OPST_ANSWERED = 0x4004;   // its answer is known
inline constexpr uint32_t RDA_OPST_CANCELLED = 0x4005;  // cancelled by R-Cancel
inline constexpr uint32_t RDA_OPST_REFUSED = 0x4006;    // refused or purged

// Functional units of a dialogue (low octet of the set).
inline constexpr uint32_t RDA_FU_TERM = 0x80;
inline constexpr uint32_t RDA_FU_TRANS = 0x40;    // R-BeginTransaction, R-Commit, R-Rollback
inline constexpr uint32_t RDA_FU_CANCEL = 0x20;
inline constexpr uint32_t RDA_FU_STATUS = 0x10;
inline constexpr uint32_t RDA_FU_OPEN = 0x08;     // R-Open, R-Close
inline constexpr uint32_t RDA_FU_EXEC = 0x04;
inline constexpr uint32_t RDA_FU_DBL = 0x02;      // R-DefineDBL, R-InvokeDBL, R-DropDBL

inline constexpr uint32_t RDA_TRANS_NONE = 1;
inline constexpr uint32_t RDA_TRANS_OPEN = 2;

// What an operation made or acts on.
enum OpEntRefKind : uint32_t {
  OPREF_NONE = 0,
  OPREF_DLG_MADE = 1,    // the dialogue this R-Initialize made
  OPREF_DLG_ENDED = 2,   // the dialogue this R-Terminate ends
  OPREF_RSRC_MADE = 3,   // the resource this R-Open made
  OPREF_CLOSE_LIST = 4,  // the RefList of this R-Close
  OPREF_DBL_MADE = 5,    // the command this R-DefineDBL made
  OPREF_DROP_LIST = 6,   // the RefList of this R-DropDBL
};

struct OpEnt : UL_Link {  // in the association's operation list
  DlgEnt* dlgEnt;         // NULL until the association has a dialogue
  uint32_t opID;
  uint32_t opStatus;
  uint32_t event;         // of the indication
  GIDU* rsp;              // the answer waiting to be sent in order
  uint32_t rspOfRules;    // rsp was made by the rules, not given by the server user
  GIDU* heldInd;          // the indication while it waits in the operation queue
  uint32_t refKind;       // OpEntRefKind
  void* ref;
  UL_Ring* list;          // the operation list the entity is in
};

// SQL extension of a data resource, in its tree.
struct RsrcSQLExt {
  ObjIdV* conformLevel;
  uint32_t usageMode;  // 0 or 1
  ObjIdV* clientDefCharSet;
  ObjIdV* serverDefCharSet;
};

// SQL extension of a command: a copy of its statement (flags, text and,
// with flag 0x02, its character set), in its tree.
using DBLSQLExt = RDASQLDBLStmt;

struct RsrcEnt : UL_Link {  // in the dialogue's data-resource list
  XmTree* tree;
  DlgEnt* dlgEnt;
  uint32_t dataRsrcHndl;
  RsrcEnt* parent;        // the open resource this one was opened through
  UL_Ring children;       // RefItem of the resources opened through this one
  char* name;             // NULL when the R-Open gave none
  RsrcSQLExt* sql;
};

struct DBLEnt : UL_Link {  // in the dialogue's command list
  XmTree* tree;
  DlgEnt* dlgEnt;
  RsrcEnt* rsrc;           // the resource the command runs against
  uint32_t cmdHndl;
  DBLSQLExt* sql;
};

struct RefItem : UL_Link {
  void* ent;
};

// A close or drop list: an item in a tree of its own.
struct RefList {
  UL_Ring list;  // RefItem
  XmTree* tree;
};

struct DlgEnt {
  XmTree* tree;
  uint32_t dlgIDForm;  // left 0
  OctStgV dlgIDSuffix;
  char* identityOfUser;
  uint32_t cntlSvcRequested;  // 1 = requested
  uint32_t cntlSvcAllowed;    // set by the R-Initialize response
  RDAAuthData cntlAuthData;   // of the R-Initialize response
  uint32_t fuSet;
  uint32_t transState;        // RDA_TRANS_*
  uint32_t transRolledBack;
  UL_Ring* opList;            // the association's operation list
  UL_Ring rsrcList;           // RsrcEnt
  UL_Ring dblList;            // DBLEnt
  ObjIdV* sqlConformLevelDef; // of the R-Initialize's SQL part; NULL when absent
  RdaAcbElem* assoc;          // whose dialogue it is; cleared there when it is deleted
};

// ---------------------------------------------------------------------------
// Creation. The indication GIDU carries the decoded RDAIdu in idu and the
// ACB in uc. A create function that fails a check leaves a generic error
// response (which consumed the indication) in the operation's rsp and
// returns NULL; NULL without an rsp is a failure of memory, after which the
// operation entity may be gone too (see each).

// The operation entity of an indication, linked at the tail of the
// association's list; the GIDU's pc is set to it unless its operation id is
// already in use (then it carries generic error 16 and status 0x4006).
// NULL when memory runs out.
OpEnt* RDA_surCreateOpEnt(GIDU* ind);
// R-Initialize. Error 15 when a dialogue of this thread has the same client
// invocation identifier and suffix.
DlgEnt* RDA_surCreateDlgEnt(GIDU* ind, OpEnt* op);
// R-Open. Errors 14, 21, 10; on a failure of memory (or of the error
// response) the operation entity is deleted.
RsrcEnt* RDA_surCreateRsrcEnt(GIDU* ind, OpEnt* op);
// R-DefineDBL. Errors 13, 7, 6, 18; the same on failures.
DBLEnt* RDA_surCreateDBLEnt(GIDU* ind, OpEnt* op);

// ---------------------------------------------------------------------------
// Deletion.

void RDA_surDeleteOpEnt(OpEnt* op);
// Deletes every operation of the association, every resource and command,
// then the dialogue, and clears the association's dialogue pointer.
void RDA_surDeleteDlgEnt(DlgEnt* dlg);
// With every resource opened through it.
void RDA_surDeleteRsrcEnt(RsrcEnt* r);
void RDA_surDeleteDBLEnt(DBLEnt* d);

// ---------------------------------------------------------------------------
// Lookups (first match).

// Across every association of the calling thread's service user.
DlgEnt* RDA_surGetDlgEnt(const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix);
OpEnt* RDA_surGetOpEnt(uint32_t opID, const DlgEnt* dlg);
RsrcEnt* RDA_surGetRsrcEnt(uint32_t dataRsrcHndl, const DlgEnt* dlg);
DBLEnt* RDA_surGetDBLEnt(uint32_t cmdHndl, const DlgEnt* dlg);
// 1 equal, 0 different (directory-name forms never compare equal).
int32_t clientInvocIDCmp(const RDADlgIDClientInvoc* a, const RDADlgIDClientInvoc* b);

// Whether the entity is still in its dialogue's list.
bool rda_srvRsrcListed(const DlgEnt* dlg, const RsrcEnt* r);
bool rda_srvDBLListed(const DlgEnt* dlg, const DBLEnt* d);

// ---------------------------------------------------------------------------
// Ordered sending.

// Routes the answers that are first in line (from the head of the
// association's operation list, or only `op`'s without a dialogue) with
// AL_surRoute(answer, qopt, dir), deleting each operation once routed; an
// R-BeginTransaction that got no response is passed over once a later
// operation is answered (and dropped unless its indication still waits for
// the server user). Every answer starts from the ACB's route position
// as it was on entry, and that position is restored at the end.
void RDA_surSendNextRsp(DlgEnt* dlg, OpEnt* op, int32_t dir, int32_t qopt);
