// The service user's control blocks and routing: one user control block
// (UCB) per registered user of the stack and one association control block
// (ACB) per association of that user, each with a list of elements, one per
// IDU type the service user serves, on which the records of that service
// hang (made and destroyed through the event-handler records of the
// service user's configuration). Within an association a GIDU passes a chain
// of handlers along a route table stepped by four; GIDUs that arrive while a
// pass runs wait in the ACB's input queue.
//
// GIDU references inside the service user: ue the UCB, uc the ACB. Handed to
// the user: ue the user's own reference, pe the UCB, uc the user's
// reference for the association, pc the ACB. Handed to the application
// entity: pe the entity's invocation block for the user, pc the
// association's SaoCB.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/asn1/decode_tree.h"
#include "src/asn1/ul_types.h"

struct XmTree;

inline constexpr uint32_t kSurRouteEntries = 16;  // handlers of a route table

// Element constructors return the service's record for the new element, or
// NULL to refuse it; destructors take that record.
using SurCtorFn = void* (*)(GIDU* gidu);
using SurDtorFn = void (*)(void* elem);

// One record per IDU type the service user serves; a record of IDU type 0
// ends the list.
struct SurEventHndl {
  uint32_t iduType;
  const AlGiduFn* routeTbl;  // kSurRouteEntries handlers
  SurCtorFn createUCB;
  SurDtorFn deleteUCB;
  SurCtorFn createACB;
  SurDtorFn deleteACB;
};

// The application entity's send entry; the upcall is given with the
// Activate request only.
using AeSndFn = void (*)(GIDU* gidu, AlGiduFn upcall);

struct AlSurConf {
  AlGiduFn opQueHndl;   // towards the user
  AlGiduFn sendToAe;    // towards the application entity
  AeSndFn aeSnd;        // the application entity's send entry
  AlGiduFn surRcv;      // the service user's receive entry, given to the entity with Activate
  const SurEventHndl* eventHndl;
  uint32_t ucbId;       // CB id of a live UCB
  uint32_t acbId;       // CB id of a live ACB
  // The calling thread's ring of UCBs, kept by the service user in its
  // per-thread record; NULL (or a NULL routine) leaves UCBs unlisted.
  UL_Ring* (*ucbQueue)();
};

// Registers the configuration the routines below read (the service user's
// own when it starts; a test's doubles); returns the one it replaces.
// Without one, blocks cannot be made and GIDUs for the entity are dropped.
const AlSurConf* AL_surSetConf(const AlSurConf* conf);
const AlSurConf* AL_surGetConf();

struct UcbElem : UL_Link {
  uint32_t iduType;
  void* rdaElem;  // the service's record for this element
};

struct AcbElem : UL_Link {
  uint32_t iduType;
  UcbElem* ucbElem;  // the UCB's element of the same IDU type
  void* rdaElem;
};

struct UCB : UL_Link {  // links in the thread's ring of UCBs
  uint32_t cbId;        // the configuration's UCB id; inverted once deleted
  XmTree* tree;
  uint32_t deleteFlag;  // while set, GIDUs delivered to the user carry pe 0
  void* userRef;        // delivered in ue
  void* aeUserRef;      // the entity's invocation block; handed on in pe
  UL_Ring acbList;      // of ACB
  AlGiduFn receiveEntry;
  UL_Ring elemList;     // of UcbElem
};

struct ACB : UL_Link {  // links in the owning UCB's ACB list
  uint32_t cbId;        // the configuration's ACB id; inverted once deleted
  XmTree* tree;
  ObjIdV appContext;    // of the A-ASSOCIATE that made the association
  UCB* ucb;
  uint32_t deleteFlag;  // the association is removed when its pass ends
  void* userAssocRef;   // delivered in uc
  void* aeAssocRef;     // the association's SaoCB; handed on in pc
  GIDU* qabortReq;      // reserved at creation, spent by the first quick abort
  GIDU* qabortInd;
  uint32_t passFlag;    // a pass runs: further GIDUs are queued
  uint32_t linkCount;   // passes running; the ACB is kept while above 0
  GIDU inputQueue;      // sentinel
  uint32_t inputCount;
  const AlGiduFn* routeTbl;  // of the IDU type being routed; NULL: none
  uint32_t routeLevel;
  AcbElem* currentElem;
  UL_Ring elemList;     // of AcbElem
};

// ---------------------------------------------------------------------------
// Blocks

// A UCB for the user, stored in the GIDU's ue and appended to the thread's
// ring: 1, or 0 (ue unchanged) for a NULL receive entry or when it cannot
// be made.
int32_t AL_surCreateUCB(GIDU* gidu, AlGiduFn receiveEntry, void* userReference);
// Deletes the UCB with its ACBs. An ACB that a pass still holds gets its
// delete flag and is left to that pass; the UCB then stays, unlisted and
// invalid, until its last ACB is deleted, which deletes it too.
void AL_surDeleteUCB(UCB* ucb);
// An ACB for the association of the A-ASSOCIATE APDU the GIDU carries, of
// the UCB in ue, stored in uc: 1, or 0 (uc unchanged, nothing left).
int32_t AL_surCreateACB(GIDU* gidu);
// Does nothing while a pass holds the ACB (link count above 0).
void AL_surDeleteACB(ACB* acb);
// 1 when `ucb` is one of the live UCBs of the process (made on any record
// set) and carries the UCB id; a block not among them is not read.
int32_t AL_surValidateUCB(const UCB* ucb);
// 1 when `ucb` is one of the live UCBs of the process (its deletion not
// begun); the block is not read.
int32_t AL_surUcbLive(const UCB* ucb);
// 1 when `acb` is one of `ucb`'s associations (any block, when `ucb` is
// NULL) and carries the ACB id; a block not in the list is not read. The
// list is read under hSerializeRdaSurMutex: associations of one user are
// made and ended on the record sets of its connections.
int32_t AL_surValidateACB(const ACB* acb, const UCB* ucb);
// The first of `ucb`'s associations for which `match` holds, looked for
// under hSerializeRdaSurMutex (`match` takes no lock and calls nothing that
// does); NULL when none.
ACB* AL_surFindACB(const UCB* ucb, bool (*match)(const ACB* acb, const void* arg), const void* arg);

// ---------------------------------------------------------------------------
// Element lists

int32_t AL_surCreateUcbElemList(GIDU* gidu);
int32_t AL_surCreateAcbElemList(GIDU* gidu);
void AL_surDeleteUcbElemList(UCB* ucb);
void AL_surDeleteAcbElemList(ACB* acb);
UcbElem* AL_surGetUcbElem(uint32_t iduType, UCB* ucb);
int32_t AL_surUpdateCurrentCB(uint32_t iduType, ACB* acb);
const SurEventHndl* AL_surGetEventHndl(uint32_t iduType);
const AlGiduFn* AL_surGetRouteTbl(uint32_t iduType);

// ---------------------------------------------------------------------------
// Routing (the ACB in the GIDU's uc)

inline constexpr int32_t AL_SUR_REVERSE = 0;  // qopt: reverse and queue
inline constexpr int32_t AL_SUR_QUE = 1;      // qopt with dir 1: queue

// qopt 0: reverse the direction and queue; qopt set and dir 1: queue as it
// is; otherwise call the next handler.
void AL_surRoute(GIDU* gidu, int32_t qopt, int32_t dir);
void AL_surRouteQ(GIDU* gidu);
// The next GIDU of the input queue with the route it was queued with, or
// NULL (the route unchanged).
GIDU* AL_surRouteDQ(ACB* acb);
void AL_surPurgeInputQue(ACB* acb);

// ---------------------------------------------------------------------------
// Delivery

// Gives the GIDU the user's view of its references and passes it to the
// UCB's receive entry; deleted when there is none.
void AL_surSendToUser(GIDU* gidu);
// Gives the GIDU the entity's view of its references and passes it to the
// entity's send entry.
void AL_surSendToAe(GIDU* gidu);
// Turns the GIDU into local event 7 with `errNo` (its unit freed) and
// passes it to `sendFn`.
void AL_surSendLocalError(GIDU* gidu, uint32_t errNo, AlGiduFn sendFn);
// Empties the input queue, marks the ACB for deletion and sends its two
// reserved quick-abort GIDUs, each once in the ACB's life.
void AL_surSendQuickAborts(GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t errNo);
