// The service user's sequencing: its configuration hooks, the event and
// action tables of its state checks, the sequencing rule of the route, and
// the RDA elements of the user and association control blocks.
#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_asx.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_srvrules.h"
#include "src/rda/rda_statetbl.h"
#include "src/rda/rda_sur.h"
#include "src/rda/rda_surint.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasur";

unsigned long hexOf(const void* p) { return reinterpret_cast<unsigned long>(p); }

// SUR event tables by service number k: {request or indication, result
// response or confirm, error response or confirm}; -1 where the role has
// no row for the event.
struct ServiceRows {
  int32_t first, result, error;
};

constexpr ServiceRows kClientRows[kRdaServiceCount] = {
    {0, 1, 2},    {4, 5, 6},    {8, -1, 9},   {11, 12, 13}, {16, 17, 18}, {21, 22, 22}, {24, 25, 25},
    {27, 28, 28}, {30, 31, 31}, {33, 34, 34}, {37, 38, 38}, {40, 41, 41}, {44, 45, 45},
};
constexpr ServiceRows kServerRows[kRdaServiceCount] = {
    {0, 1, 2},    {3, 4, 5},    {7, -1, 8},   {9, 10, 11},  {13, 14, 15}, {17, 18, 18}, {19, 20, 20},
    {17, 22, 22}, {19, 24, 24}, {25, 26, 26}, {28, 29, 29}, {30, 31, 31}, {33, 34, 34},
};

// `delivered` adds the indication/confirm bit to the codes of the role's
// incoming primitives: the client's confirms, the server's indications.
constexpr RdaEventTbl surEventTable(const ServiceRows (&rows)[kRdaServiceCount], bool client) {
  RdaEventTbl t{};
  for (uint32_t& v : t) v = kRdaNoEvent;
  auto put = [&t](uint32_t code, int32_t value) {
    if (value >= 0) t[(code & AL_EV_CODE_MASK) >> 1] = static_cast<uint32_t>(value);
  };
  for (uint32_t k = 0; k < kRdaServiceCount; ++k) {
    const uint32_t in = client ? 0 : AL_EV_DELIVERED;   // requests go down, indications come up
    const uint32_t out = client ? AL_EV_DELIVERED : 0;  // confirms come up, responses go down
    put(rdaRequestEvent(k) + in, rows[k].first);
    put(rdaResponseEvent(k) + out, rows[k].result);
    put(rdaErrorEvent(k) + out, rows[k].error);
  }
  if (!client) put(0x80D4, 6);
  return t;
}

}  // namespace

// ---------------------------------------------------------------------------
// Hooks: the answers of this system.

int32_t rda_surCntlSvcAuth(const ObjIdV*, const RDADlgIDClientInvoc*, const OctStgV*, const RDAAuthData*,
                           const RDAAuthData*) {
  return 1;
}
int32_t rda_surIsSQLConformLevelValid(const ObjIdV*, const ObjIdV*) { return 1; }
int32_t rda_surIsSQLAccessControlValid(const ObjIdV*, const RDAAccessCntlData*, const char*, const char*) { return 1; }
int32_t rda_surIsSQLHostIdValid(const ObjIdV*, const RDASQLDBLStmt*) { return 1; }
int32_t rda_surIsSQLUsageModeValid(const ObjIdV*, uint32_t, const RDASQLDBLStmt*) { return 1; }
int32_t rda_surIsSQLTransStmt(const ObjIdV*, const RDASQLDBLStmt*) { return 0; }
int32_t rda_surIsSchemaStmt(const ObjIdV*, const RDASQLDBLStmt*) { return 1; }

RdaSurUserAuthTbl RDA_surUserAuth = {rda_surCntlSvcAuth};
RdaSurSQLRulesTbl RDA_surSQLRulesTable = {
    rda_surIsSQLConformLevelValid, rda_surIsSQLAccessControlValid, rda_surIsSQLHostIdValid,
    rda_surIsSQLUsageModeValid,    rda_surIsSQLTransStmt,          rda_surIsSchemaStmt,
};

// ---------------------------------------------------------------------------
// Tables.

extern constexpr RdaEventTbl RDA_surClientEventTbl = surEventTable(kClientRows, true);
extern constexpr RdaEventTbl RDA_surServerEventTbl = surEventTable(kServerRows, false);

#define GO RDA_surGoToNextState
const RdaStateAction surClientActionTbl[kRdaActionCount] = {
    RDA_surBlank, GO, GO, GO, GO, GO, RDA_surTransRBFalse,             // 0-6
    GO,           GO, GO, GO, GO, GO, GO, GO, GO, GO, GO, GO, GO, GO,  // 7-20
    GO,           GO, RDA_surTransRBTrue, GO, GO, GO, GO, RDA_surTransRBTrue, GO, GO,  // 21-30
};
const RdaStateAction surServerActionTbl[kRdaActionCount] = {
    RDA_surBlank, RDA_surBlank, RDA_surBlank, GO, GO, GO, GO, RDA_surTransRBFalse,  // 0-7
    GO,           GO,           GO,           GO, GO, GO, GO, GO, GO, GO, GO, GO, GO, GO, GO,  // 8-22
    RDA_surTransRBTrue, GO, GO, GO, GO, RDA_surTransRBTrue, GO, GO,  // 23-30
};
#undef GO

const RdaStateAction* RDA_surGetClientActionTbl(void*) {
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surGetClientActionTbl called\n");
  return surClientActionTbl;
}

const RdaStateAction* RDA_surGetServerActionTbl(void*) {
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surGetServerActionTbl() called\n");
  return surServerActionTbl;
}

// ---------------------------------------------------------------------------
// Element lookups.

RdaAcbElem* rda_surCurrentAcbElem(ACB* acb) {
  if (acb == nullptr) return nullptr;
  if ((acb->currentElem == nullptr || acb->currentElem->iduType != kRdaIduType) &&
      AL_surUpdateCurrentCB(kRdaIduType, acb) == 0)
    return nullptr;
  return acb->currentElem != nullptr ? static_cast<RdaAcbElem*>(acb->currentElem->rdaElem) : nullptr;
}

RdaUcbElem* rda_surUserElem(GIDU* gidu) {
  auto* acb = static_cast<ACB*>(gidu->uc);
  if (acb != nullptr && rda_surCurrentAcbElem(acb) != nullptr && acb->currentElem->ucbElem != nullptr)
    return static_cast<RdaUcbElem*>(acb->currentElem->ucbElem->rdaElem);
  UcbElem* e = AL_surGetUcbElem(kRdaIduType, static_cast<UCB*>(gidu->ue));
  return e != nullptr ? static_cast<RdaUcbElem*>(e->rdaElem) : nullptr;
}

void rda_surQuickAborts(GIDU* gidu, uint32_t errNo) {
  const AlSurConf* c = AL_surGetConf();
  QvSetOsiError(static_cast<int32_t>(errNo));
  if (c != nullptr) AL_surSendQuickAborts(gidu, c->opQueHndl, c->sendToAe, errNo);
  al_deleteGidu(gidu);
}

void rda_surToUser(GIDU* gidu) {
  const AlSurConf* c = AL_surGetConf();
  if (c != nullptr && c->opQueHndl != nullptr) c->opQueHndl(gidu);
  else al_deleteGidu(gidu);
}

void rda_surToAe(GIDU* gidu) {
  const AlSurConf* c = AL_surGetConf();
  if (c != nullptr && c->sendToAe != nullptr) c->sendToAe(gidu);
  else al_deleteGidu(gidu);
}

// ---------------------------------------------------------------------------
// Sequencing rule and actions.

void RDA_surSeqRules(GIDU* gidu) {
  AL_TRACE_GIDU(rda_surTMHandle, AL_TL_ENTRY, kSrc, "RDA_surSeqRules", gidu, 1);
  if (gidu->iduType != kRdaIduType) {
    AL_surRoute(gidu, AL_SUR_QUE, 0);
    return;
  }
  auto* acb = static_cast<ACB*>(gidu->uc);
  RdaAcbElem* elem = rda_surCurrentAcbElem(acb);
  RdaUcbElem* user = elem != nullptr && acb->currentElem->ucbElem != nullptr
                         ? static_cast<RdaUcbElem*>(acb->currentElem->ucbElem->rdaElem)
                         : nullptr;
  if (elem == nullptr || user == nullptr || user->stateCk == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** RDA_surSeqRules: can't find RDA acb elem\n");
    rda_surQuickAborts(gidu, RDA_SUR_ERR_NO_SUCH_ACB_ELEM);
    return;
  }
  const int32_t result = user->stateCk(elem->stateCk, gidu);
  if (result != 0) {
    QvSetOsiError(result);
    // The check ran no action: the GIDU is still ours.
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "RDA_surSeqRules: Can't validate input event, osi_errno=%x\n",
             static_cast<uint32_t>(result));
    rda_surQuickAborts(gidu, static_cast<uint32_t>(result));
  }
}

namespace {

// The role of the user whose association the state block belongs to.
bool serverRole(GIDU* gidu) {
  const RdaUcbElem* user = rda_surUserElem(gidu);
  return user != nullptr && user->role != RDA_SUR_CLIENT;
}

void storeNext(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  if (next == kRdaStateUnchanged) return;
  // A server has no state 7 of its own in the SUR's view: it stays in 2.
  cb->state = next == 7 && serverRole(gidu) ? 2 : next;
}

}  // namespace

int32_t RDA_surGoToNextState(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  storeNext(cb, gidu, next);
  AL_surRoute(gidu, AL_SUR_QUE, 0);
  return 0;
}

int32_t RDA_surTransRBFalse(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  storeNext(cb, gidu, next);
  cb->rollbackOnly = 0;
  AL_surRoute(gidu, AL_SUR_QUE, 0);
  return 0;
}

int32_t RDA_surTransRBTrue(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  storeNext(cb, gidu, next);
  cb->rollbackOnly = 1;
  AL_surRoute(gidu, AL_SUR_QUE, 0);
  return 0;
}

int32_t RDA_surBlank(stateCkCB*, GIDU* gidu, uint32_t) {
  const uint32_t form = gidu->event & 0x800F;
  const bool userPrimitive = gidu->event >= AL_EV_PRIMITIVE && gidu->iduType != AL_IDU_PRES &&
                             gidu->iduType != AL_IDU_PRES_RCV && (form == 0x8000 || form == 0x8002);
  QvSetOsiError(static_cast<int32_t>(RDA_SUR_ERR_INVALID_SEQ));
  if (userPrimitive) {
    const AlSurConf* c = AL_surGetConf();
    AL_surSendLocalError(gidu, RDA_SUR_ERR_INVALID_SEQ, c != nullptr ? c->opQueHndl : nullptr);
  } else {
    rda_surQuickAborts(gidu, RDA_SUR_ERR_INVALID_SEQ);
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Elements.

void* RDA_surCreateUCB(GIDU* gidu) {
  XmTree* tree = gidu != nullptr && gidu->ue != nullptr ? static_cast<UCB*>(gidu->ue)->tree : nullptr;
  auto* e = tree != nullptr ? static_cast<RdaUcbElem*>(_xm_allocItem(tree, sizeof(RdaUcbElem), XM_ZERO)) : nullptr;
  if (e == nullptr) {
    TM_TRACE(rda_surTMHandle, TM_FATAL, kSrc, "*** RDA_surCreateUCB: can't create ucb element\n");
    return nullptr;
  }
  // The role comes with the Activate request; anything else makes a client.
  const auto* idu = gidu->event == AL_ACT_REQ ? static_cast<const RDAIdu*>(gidu->idu) : nullptr;
  e->role = idu != nullptr && idu->activate.actData != nullptr ? idu->activate.actData->flag : RDA_SUR_CLIENT;
  if (e->role != RDA_SUR_CLIENT) {
    TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surCreateUCB: I'm a server\n");
    e->eventTbl = &RDA_surServerEventTbl;
    e->getActionTbl = RDA_surGetServerActionTbl;
    e->stateCk = RDA_serverStateCk;
  } else {
    TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surCreateUCB: I'm a client\n");
    e->eventTbl = &RDA_surClientEventTbl;
    e->getActionTbl = RDA_surGetClientActionTbl;
    e->stateCk = RDA_clientStateCk;
  }
  e->busy = 0;
  al_selfLink(&e->opQueue);
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surCreateUCB: RDA ucb elem 0x%lx created\n", hexOf(e));
  return e;
}

void RDA_surDeleteUCB(void* elem) {
  auto* e = static_cast<RdaUcbElem*>(elem);
  if (e == nullptr) return;
  rda_surPurgeOpQue(&e->opQueue, nullptr);
  _xm_freeItem(e);
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surDeleteUCB: RDA ucb elem 0x%lx deleted\n", hexOf(e));
}

namespace {

// The calling side of the A-ASSOCIATE APDU: the client of the association.
struct CallingSide {
  uint32_t presence;
  const UL_APTitle* apTitle;
  const UL_AEQual* aeQual;
  int32_t apInvoke;
  int32_t aeInvoke;
};

bool callingSide(const GIDU* gidu, CallingSide* out) {
  const auto* apdu = static_cast<const AcseApdu*>(gidu->idu);
  if (apdu == nullptr || apdu->code != AC_APDU_AARQ) return false;
  const AcAarq& q = apdu->aarq;
  *out = {q.presence, &q.callingApTitle, &q.callingAeQual, q.callingApInvoke, q.callingAeInvoke};
  return true;
}

}  // namespace

void* RDA_surCreateACB(GIDU* gidu) {
  auto* e = static_cast<RdaAcbElem*>(_xm_allocItemWithTree(sizeof(RdaAcbElem), XM_ZERO));
  if (e == nullptr) {
    TM_TRACE(rda_surTMHandle, TM_FATAL, kSrc, "*** RDA_surCreateACB: can't create acb element\n");
    return nullptr;
  }
  e->tree = xm_getParentOfItem(e);
  e->acb = static_cast<ACB*>(gidu->uc);
  auto fail = [e](const char* line) -> void* {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "%s", line);
    _xm_freeTree(e->tree);
    return nullptr;
  };
  CallingSide side{};
  const bool haveSide = callingSide(gidu, &side);
  if (haveSide && (side.presence & AC_AARQ_CALLING_AP_TITLE) != 0) {
    if (side.apTitle->kind != UL_TITLE_OBJID) return fail("*** RDA_surCreateACB: DN form of APTitle not supported\n");
    e->clientInvoc.apTitle.kind = UL_TITLE_OBJID;
  }
  if (haveSide && (side.presence & AC_AARQ_CALLING_AE_QUAL) != 0) {
    if (side.aeQual->kind != UL_QUAL_INTEGER) return fail("*** RDA_surCreateACB: DN form of AEQualifier not supported\n");
    e->clientInvoc.aeQual = *side.aeQual;
  }
  if (haveSide && (side.presence & AC_AARQ_CALLING_AP_INVOKE) != 0) e->clientInvoc.apInvokeId = side.apInvoke;
  if (haveSide && (side.presence & AC_AARQ_CALLING_AE_INVOKE) != 0) e->clientInvoc.aeInvokeId = side.aeInvoke;
  if (e->clientInvoc.apTitle.kind == UL_TITLE_OBJID && side.apTitle->objId.count > 0 &&
      ul_objidvcpy(&e->clientInvoc.apTitle.objId, &side.apTitle->objId, e->tree) == 0)
    return fail("*** RDA_surCreateACB: can't get memory for APTitle\n");
  UcbElem* ue = AL_surGetUcbElem(kRdaIduType, static_cast<UCB*>(gidu->ue));
  auto* user = ue != nullptr ? static_cast<RdaUcbElem*>(ue->rdaElem) : nullptr;
  if (user == nullptr) return fail("*** RDA_surCreateACB: can't find ucb elem for RDA\n");
  e->stateCk = RDA_initStateCk(user->eventTbl, user->getActionTbl(nullptr), RDA_IDU_IN_SLOT);
  if (e->stateCk == nullptr) return fail("*** rda_aseSnd: Can't create state info for RDA ASE\n");
  e->stateCk->family = rda_srvIsXopen(static_cast<ACB*>(gidu->uc)) ? RdaFamily::Xopen : RdaFamily::Iso;
  e->dlgEnt = nullptr;
  e->opList.links.next = e->opList.links.prev = &e->opList.links;
  e->opList.count = 0;
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surCreateACB: RDA acb elem 0x%lx created\n", hexOf(e));
  return e;
}

void RDA_surDeleteACB(void* elem) {
  auto* e = static_cast<RdaAcbElem*>(elem);
  if (e == nullptr) return;
  RDA_surDeleteDsm(e);
  // What of the association still waits for the server user goes with it.
  UcbElem* ue = e->acb != nullptr ? AL_surGetUcbElem(kRdaIduType, e->acb->ucb) : nullptr;
  if (auto* user = ue != nullptr ? static_cast<RdaUcbElem*>(ue->rdaElem) : nullptr)
    rda_surPurgeOpQue(&user->opQueue, e->acb);
  RDA_termStateCk(e->stateCk);
  e->stateCk = nullptr;
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "RDA_surDeleteACB: RDA acb elem 0x%lx deleted\n", hexOf(e));
  _xm_freeTree(e->tree);
}

// ---------------------------------------------------------------------------
// Start and end.

UL_Ring* rda_surUcbQueue() {
  RdaSurTLS* tls = getRdaSurTLS(0);
  return tls != nullptr ? tls->ucbQueue : nullptr;
}

namespace {

bool validateSurConf(const AlSurConf* c) {
  if (c == nullptr || c->opQueHndl == nullptr || c->sendToAe == nullptr || c->aeSnd == nullptr ||
      c->surRcv == nullptr || c->eventHndl == nullptr || c->ucbId == 0 || c->acbId == 0) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "validateSurConf: AL_surConf is not set up correctly\n");
    return false;
  }
  for (const SurEventHndl* h = c->eventHndl; h->iduType != 0; ++h) {
    if (h->routeTbl == nullptr || h->createUCB == nullptr || h->deleteUCB == nullptr || h->createACB == nullptr ||
        h->deleteACB == nullptr) {
      TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** validateSurConf: AL_surEventHndl is not set up correctly\n");
      return false;
    }
    if (h->routeTbl[0] == nullptr) {
      TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** validateSurConf: AL_surRouteTbl is not set up correctly\n");
      return false;
    }
  }
  const RdaSurSQLRulesTbl& q = RDA_surSQLRulesTable;
  if (RDA_surUserAuth.cntlSvcAuth == nullptr || q.isConformLevelValid == nullptr || q.isAccessControlValid == nullptr ||
      q.isHostIdValid == nullptr || q.isUsageModeValid == nullptr || q.isTransStmt == nullptr ||
      q.isSchemaStmt == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc,
             "*** validateSurConf: SQL Server configurable parameters are not set up correctly\n");
    return false;
  }
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "validateSurConf: configurable parameters are valid\n");
  return true;
}

int32_t failWith(uint32_t err) {
  QvSetOsiError(static_cast<int32_t>(err));
  return 0;
}

}  // namespace

int32_t rda_surInit() {
  TM_TRACE(rda_surTMHandle, AL_TL_ENTRY, kSrc, "rda_surInit() called\n");
  // A configuration registered beforehand (a test's doubles) is the one
  // checked and kept; otherwise the service user's own.
  const AlSurConf* c = AL_surGetConf();
  if (c == nullptr) c = &AL_surConf;
  if (!validateSurConf(c)) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surInit: SUR configurable parameters not valid\n");
    return failWith(RDA_SUR_ERR_BAD_CONFIG_PARAM);
  }
  RdaSurTLS* tls = getRdaSurTLS(0);
  if (tls == nullptr) return failWith(RDA_SUR_ERR_NO_RESOURCE);
  if (tls->ucbQueue != nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "rda_surInit: SUR has already been initialized\n");
    return failWith(RDA_SUR_ERR_INITIALIZED_ALREADY);
  }
  auto* head = static_cast<UL_Ring*>(_xm_allocItemWithTree(sizeof(UL_Ring), XM_ZERO));
  if (head == nullptr) {
    TM_TRACE(rda_surTMHandle, TM_FATAL, kSrc, "*** rda_surInit: Can't allocate memory for UCB Queue Head\n");
    return failWith(RDA_SUR_ERR_NO_RESOURCE);
  }
  head->links.next = head->links.prev = &head->links;
  head->count = 0;
  tls->ucbQueue = head;
  AL_surSetConf(c);
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "rda_surInit: SUR successfully initialized\n");
  return 1;
}

int32_t rda_surTerm() {
  TM_TRACE(rda_surTMHandle, AL_TL_ENTRY, kSrc, "rda_surTerm() called\n");
  RdaSurTLS* tls = getRdaSurTLS(0);
  if (tls == nullptr || tls->ucbQueue == nullptr) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "rda_surTerm: SUR has not been initialized yet\n");
    return failWith(RDA_SUR_ERR_NOT_INITIALIZED);
  }
  if (tls->ucbQueue->count != 0) {
    TM_TRACE(rda_surTMHandle, AL_TL_ERROR, kSrc, "*** rda_surTerm: %d Active users running\n",
             static_cast<int32_t>(tls->ucbQueue->count));
    return failWith(RDA_SUR_ERR_ACTIVE_USERS);
  }
  UL_Ring* head = tls->ucbQueue;
  tls->ucbQueue = nullptr;
  if (XmTree* tree = xm_getParentOfItem(head)) _xm_freeTree(tree);
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "rda_surTerm: SUR successfully terminated\n");
  return 1;
}

int32_t rda_surStart() {
  TM_TRACE(rda_surTMHandle, AL_TL_ENTRY, kSrc, "rda_surStart() called\n");
  TM_TRACE(rda_surTMHandle, AL_TL_RESULT, kSrc, "rda_surStart: This is a NOP function\n");
  return 1;
}
