// Application-entity invocations (AeiCB), the single-association object
// control block of each association (SaoCB) with its presentation-context
// table (PctxTBL), the checks of activation parameters and of an incoming
// association request, and the choice of the invocation that answers it.
//
// Each block lives in an XM tree of its own. A SaoCB reserves two
// quick-abort GIDUs when it is made, so that an association can be aborted
// towards both sides when no memory is left (src/acse/abort.h).
#pragma once

#include <cstdint>

#include "src/acse/acse_apdu.h"
#include "src/acse/al_tables.h"
#include "src/acse/gidu.h"
#include "src/asn1/ul_types.h"

struct XmTree;

inline constexpr int32_t kPctxEntries = 32;  // by presentation context id; odd ids 1-31 used

// One entry of the presentation-context table.
struct PctxEntry {
  const AsxEntry* ase;  // the element's row of the thread's ASE table; NULL: entry empty
  uint32_t aseId;
  void* aseBlock;       // the element's block for this association
  uint32_t trigger;     // set while a trigger of the element is armed
};

// What AL_createAeiCB makes an invocation of.
struct AeiDescriptor {
  uint32_t blockSize;  // at least sizeof(AeiCB) is allocated
  uint32_t cbId;
  const ActxEntry* actxTable;
  const AsxEntry* asxTable;  // the thread's copy
  UL_AEId* actParams;        // the activation parameters
};

struct SaoCB;

struct AeiCB : UL_Link {   // links in the entity's list of invocations
  uint32_t cbId;           // inverted on deletion
  UL_AEId* actParams;      // their tree hangs under the AeiCB's, with a reference
  void* presRef;           // the entity's presentation reference; handed on in pe
  void* ucb;               // the service user's block that activated the entity
  UL_Ring saoList;         // of SaoCB, kept by the entity
  AlGiduFn userEntry;      // the AE user's receive entry
  const ActxEntry* actxTable;
  const AsxEntry* asxTable;
};

// Identity flags of a SaoCB.
inline constexpr uint32_t SAO_ID_AEINVOKE = 1;
inline constexpr uint32_t SAO_ID_APINVOKE = 2;
inline constexpr uint32_t SAO_ID_TCLASS = 4;
inline constexpr uint32_t SAO_ID_NSERVICE = 8;

// SAO flags.
inline constexpr uint32_t SAO_DELETE_PENDING = 1;
inline constexpr uint32_t SAO_SACF_BUSY = 2;
inline constexpr uint32_t SAO_SAO_BUSY = 4;

inline constexpr uint32_t SAO_ROLE_RESPONDER = 0;
inline constexpr uint32_t SAO_ROLE_INITIATOR = 1;

struct SaoCB : UL_Link {  // links in the invocation's SAO list
  uint32_t tag;           // the context row's tag; inverted on deletion
  uint32_t idFlags;       // SAO_ID_*
  AeiCB* aeiCB;
  void* acb;              // the service user's ACB of the association
  void* pconn;            // the presentation connection
  GIDU* qabortInd;        // reserved quick aborts, each spent once
  GIDU* qabortReq;
  void* curAseBlock;      // block of the element being called
  GIDU saoQueue;          // sentinel of the SAO event queue
  PctxEntry* pctxTbl;     // kPctxEntries entries
  uint32_t saoFlags;      // SAO_DELETE_PENDING, SAO_SACF_BUSY, SAO_SAO_BUSY
  uint32_t refCount;      // deletion is refused while above 0
  uint32_t role;          // SAO_ROLE_*
  UL_APTitle peerTitle;   // AE title in object-identifier form; count 0: none
  UL_APTitle localTitle;
  ObjIdV appContext;
  uint32_t peerAeInvoke;
  uint32_t peerApInvoke;
  UL_Paddress peerAddress;
  uint32_t tClass;
  uint32_t nService;
  // From the context row.
  AlGiduFn saoSnd;
  AlGiduFn saoRcv;
  AlGiduFn sacfSnd;
  AlGiduFn sacfRcv;
  AlGiduFn aeUp;
  AlExitFn aeDown;
  AlCvrtFn cvrtPpdu;
  AlCvrtFn cvrtApdu;
  uint32_t badContextError;
  // SACF routing.
  GIDU sacfQueue;         // sentinel of the SACF event queue
  const AlGiduFn* routeTbl;
  int32_t routeIdx;
  int32_t lastRouteIdx;
  // Flow control.
  GIDU pStopQueue;        // received ASE GIDUs held back while the provider is stopped
  int32_t pStopCount;
  uint32_t pStopped;
  GIDU uStopQueue;        // presentation GIDUs held back while the user is stopped
  uint32_t uStopped;
  int32_t outstanding;    // data requests not yet confirmed
  uint32_t triggerArmed;
  int32_t credit;
  uint32_t sacfState;
};

// ---------------------------------------------------------------------------
// Invocations

// 1 when the activation parameters are complete: a presentation address
// with P-selector and network address (else 53005), AP title (53006) in
// object-identifier form, AE qualifier (53007) in integer form, AE
// invocation id (53008); else 0 with the last failure as the OSI error.
int32_t AL_chkActParams(const UL_AEId* params);
// A new invocation, UCB from the GIDU's ue; NULL with 53009 when memory
// runs out.
AeiCB* AL_createAeiCB(GIDU* gidu, AlGiduFn userEntry, const AeiDescriptor* descriptor);
int32_t AL_deleteAeiCB(AeiCB* aei);

// The A-ASSOCIATE request a P-CONNECT indication carries as the user data
// of its first data element; NULL when it has none.
AcAarq* al_pconnAssocParams(const GIDU* gidu);
// Checks the A-ASSOCIATE request of a P-CONNECT indication: 52992 when
// acceptable, else the code of the first fault (returned, not stored).
uint32_t AL_chkAAssocParams(const GIDU* gidu);
// The invocation of the list (a ring of AeiCB) that answers the P-CONNECT
// indication, or NULL with the OSI error of the filter that left none.
AeiCB* AL_assignAEI(const GIDU* gidu, UL_Ring* aeiList);

// ---------------------------------------------------------------------------
// SAO control blocks

// The block of a new association of the invocation in the GIDU's ue: of a
// P-CONNECT indication (GIDU of IDU type 20, responder) or of the user's
// A-ASSOCIATE request (initiator). NULL with the OSI error set.
SaoCB* AL_createSaoCB(GIDU* gidu, const AcAarq* params);
// Takes the responding side's identity from a P-CONNECT confirm (GIDU of
// IDU type 20) and its A-ASSOCIATE response. Always 1.
int32_t AL_updateSaoCB(GIDU* gidu, const AcAare* params);
// Does nothing while references are held; otherwise deletes every queued
// GIDU and the unspent quick aborts and frees the block. Always 1.
int32_t AL_deleteSaoCB(SaoCB* sao);
void AL_refSaoCB(SaoCB* sao);
void AL_derefSaoCB(SaoCB* sao);

// Makes the block's context table: from the proposed list of a P-CONNECT
// indication (abstract-syntax index by context id, -1 = none), or without
// one the syntaxes of the context row under ids 1, 3, 5, ... by their rows
// of the ASE table. 1, or 0 with the OSI error set.
int32_t AL_createPctxTBL(const ObjIdV* appContext, const int32_t* proposed, SaoCB* sao);
// The lowest odd context id whose element serves `iduType`; 0 when none.
uint32_t AL_cnvrtIduType(const SaoCB* sao, uint32_t iduType);
// The context row of the table with that name; NULL when none.
const ActxEntry* al_findActx(const ActxEntry* table, const ObjIdV* name);
