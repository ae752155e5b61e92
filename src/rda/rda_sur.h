// The RDA service user (SUR): the top of the RDA stack, between the RDA
// client (or a server user) and the application entity.
//
// Every GIDU the user hands down enters through rda_surSnd, every GIDU the
// entity hands up through rda_surRcv. The generic user and association
// control blocks of the application layer (src/acse/sur.h) carry one RDA
// element each (RdaUcbElem, RdaAcbElem); within an association an RDA GIDU
// follows the route table routeRdaTbl: sequencing rules (a state check per
// association), execution rules and SQL execution rules, then the entity
// (send chain) or the operation queue and the user (receive chain). In the
// server role the execution rules check every indication against the
// server entities (src/rda/rda_srvent.h), and the operation queue hands the
// server user one indication at a time.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/acse/sur.h"
#include "src/asn1/rda_codec.h"
#include "src/asn1/rda_sql.h"
#include "src/rda/rda_stateck.h"

struct DlgEnt;
struct OpEnt;

// Role word of the Activate parameters and of a user's RDA element.
inline constexpr uint32_t RDA_SUR_CLIENT = 0;  // any other value: server

// The RDA element of a UCB (one XM item in the UCB's tree).
struct RdaUcbElem {
  uint32_t role;                       // RDA_SUR_CLIENT, else server
  const RdaEventTbl* eventTbl;         // RDA_surClientEventTbl or RDA_surServerEventTbl
  const RdaStateAction* (*getActionTbl)(void* unused);
  int32_t (*stateCk)(stateCkCB* cb, GIDU* gidu);
  uint32_t busy;                       // an operation is with the server user
  GIDU opQueue;                        // sentinel of the operation queue
};

// The RDA element of an ACB (in an XM tree of its own).
struct RdaAcbElem {
  XmTree* tree;
  ACB* acb;  // the block it hangs on
  // The client invocation identifier of the association: the calling AP
  // title (object-identifier form; its arcs copied into `tree`), AE
  // qualifier (integer form) and the two invocation identifiers (0 when
  // absent).
  RDADlgIDClientInvoc clientInvoc;
  DlgEnt* dlgEnt;     // the server's dialogue entity, or NULL
  UL_Ring opList;     // the server's operation entities (OpEnt), in arrival order
  stateCkCB* stateCk; // the association's SUR state
};

// ---------------------------------------------------------------------------
// Configuration (constant).

// The route level of routeRdaTbl whose next steps are the sequencing rule
// and then the entity (slots 7 and 3): where an answer turned back after
// the execution rules of the receive chain goes on.
inline constexpr uint32_t kRdaSurLevelSeqToAe = 11;

inline constexpr uint32_t kRdaSurUcbId = 260;
inline constexpr uint32_t kRdaSurAcbId = 261;

// The hooks through which the system answers the server rules' policy
// questions, each asked with the application context of the association
// first; every answer nonzero = yes.
struct RdaSurUserAuthTbl {
  // (context, client invocation identifier, dialogue identifier suffix,
  // control authentication data of the request, that stored with the
  // dialogue) -> accepted
  int32_t (*cntlSvcAuth)(const ObjIdV* appCtx, const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix,
                         const RDAAuthData* given, const RDAAuthData* stored);
};

struct RdaSurSQLRulesTbl {
  int32_t (*isConformLevelValid)(const ObjIdV* appCtx, const ObjIdV* level);
  int32_t (*isAccessControlValid)(const ObjIdV* appCtx, const RDAAccessCntlData* data, const char* dataRsrcName,
                                  const char* identityOfUser);
  int32_t (*isHostIdValid)(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);
  int32_t (*isUsageModeValid)(const ObjIdV* appCtx, uint32_t usageMode, const RDASQLDBLStmt* stmt);
  int32_t (*isTransStmt)(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);
  int32_t (*isSchemaStmt)(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);
};

extern RdaSurUserAuthTbl RDA_surUserAuth;
extern RdaSurSQLRulesTbl RDA_surSQLRulesTable;

// The system's answers: every one yes, except that no statement is a
// transaction statement.
int32_t rda_surCntlSvcAuth(const ObjIdV* appCtx, const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix,
                           const RDAAuthData* given, const RDAAuthData* stored);
int32_t rda_surIsSQLConformLevelValid(const ObjIdV* appCtx, const ObjIdV* level);
int32_t rda_surIsSQLAccessControlValid(const ObjIdV* appCtx, const RDAAccessCntlData* data, const char* dataRsrcName,
                                       const char* identityOfUser);
int32_t rda_surIsSQLHostIdValid(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);
int32_t rda_surIsSQLUsageModeValid(const ObjIdV* appCtx, uint32_t usageMode, const RDASQLDBLStmt* stmt);
int32_t rda_surIsSQLTransStmt(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);
int32_t rda_surIsSchemaStmt(const ObjIdV* appCtx, const RDASQLDBLStmt* stmt);

// Event code -> row of the role's state table (clientStateTbl,
// serverStateTbl) for the primitives the SUR sees: requests and responses
// in service form, indications and confirms in their delivered form.
extern const RdaEventTbl RDA_surClientEventTbl;
extern const RdaEventTbl RDA_surServerEventTbl;
// The SUR's action tables, indexed by the action of a state-table cell.
extern const RdaStateAction surClientActionTbl[kRdaActionCount];
extern const RdaStateAction surServerActionTbl[kRdaActionCount];
// Both ignore their argument.
const RdaStateAction* RDA_surGetClientActionTbl(void* unused);
const RdaStateAction* RDA_surGetServerActionTbl(void* unused);

// ---------------------------------------------------------------------------
// Start and end of the calling thread's SUR: 1, or 0 with osi_errno set
// (52541 bad configuration, 52536 started already, 52537 not started,
// 52538 users still active, 52556 no memory).
int32_t rda_surInit();
int32_t rda_surTerm();
int32_t rda_surStart();
// The calling thread's ring of UCBs; NULL before rda_surInit.
UL_Ring* rda_surUcbQueue();

// Send and receive entries (take the GIDU over).
void rda_surSnd(GIDU* gidu, AlGiduFn userReceiveEntry);
void rda_surRcv(GIDU* gidu);

// Route steps.
void RDA_surSeqRules(GIDU* gidu);
void RDA_surOpQueHndl(GIDU* gidu);
void RDA_surExecRulesSnd(GIDU* gidu);
void RDA_surExecRulesRcv(GIDU* gidu);

// Actions of the SUR's state tables: (state-check block, GIDU, next state);
// next state 99 leaves the state as it is.
int32_t RDA_surBlank(stateCkCB* cb, GIDU* gidu, uint32_t next);
int32_t RDA_surGoToNextState(stateCkCB* cb, GIDU* gidu, uint32_t next);
int32_t RDA_surTransRBFalse(stateCkCB* cb, GIDU* gidu, uint32_t next);
int32_t RDA_surTransRBTrue(stateCkCB* cb, GIDU* gidu, uint32_t next);

// Element constructors and destructors of the event-handler record.
void* RDA_surCreateUCB(GIDU* gidu);
void RDA_surDeleteUCB(void* elem);
void* RDA_surCreateACB(GIDU* gidu);
void RDA_surDeleteACB(void* elem);
// Deletes the element's dialogue entity and every operation entity left.
void RDA_surDeleteDsm(RdaAcbElem* elem);
