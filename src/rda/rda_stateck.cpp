#include "src/rda/rda_stateck.h"

#include "src/acse/al_trace.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdastck";

constexpr uint32_t kInvSequence = RDA_ERR_INV_SEQUENCE;  // 8208: the server's answer out of sequence
constexpr uint32_t kRollbackOnly = RDA_ERR_BASE + 21;    // 8213: the transaction can only be rolled back

// The first code of the error responses; below it requests and responses.
constexpr uint32_t kFirstErrorService = 26;

bool isErrorResponse(uint32_t event) { return al_serviceOf(event) >= kFirstErrorService; }

const char* const clientState[kRdaClientStates] = {"C_I", "CB ", "CA ", "CT ", "CN ", "CC ", "CR ", "CE "};
const char* const serverState[kRdaServerStates] = {"S_I", "SB ", "SA ", "ST ", "SN ", "SC ", "SR ", "SS ", "SE "};

// What tells the client and the server check apart.
struct Role {
  const char* check;    // routine name in traces
  const char* invalid;  // its line for an event that is no event of the role
  uint32_t (*eventNo)(GIDU*, stateCkCB*);
  const uint32_t* cells;
  uint32_t events;
  uint32_t states;
  const char* (*stateName)(uint32_t);
};

int32_t runStateCk(const Role& role, stateCkCB* cb, GIDU* gidu) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, role.check, gidu, 0);
  if (cb == nullptr || gidu == nullptr || cb->eventTbl == nullptr || cb->actionTbl == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** %s: no state tables\n", role.check);
    return static_cast<int32_t>(RDA_ERR_INVALID_EVENT_TBL);
  }
  char refs[AL_REFS_TEXT_SIZE];
  TM_TRACE(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "Input_State: %s; %s\n", role.stateName(cb->state),
           al_traceRefs(gidu, 0, refs));
  const uint32_t event = role.eventNo(gidu, cb);
  if (event == kRdaNoEvent) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "%s", role.invalid);
    return static_cast<int32_t>(RDA_ERR_INVALID_EVENT_TYPE);
  }
  if (event >= role.events || cb->state >= role.states) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** %s: event %u or state %u beyond the state table\n", role.check,
             event, cb->state);
    return static_cast<int32_t>(RDA_ERR_INVALID_STATE_TBL);
  }
  const void* uc = gidu->uc;
  const uint32_t cell = role.cells[event * role.states + cb->state];
  cb->actionTbl[(cell >> 8) & 0xFF](cb, gidu, cell & 0xFF);
  TM_TRACE(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "Output_State: %s; uc=%lx\n", role.stateName(cb->state),
           reinterpret_cast<unsigned long>(uc));
  return 0;
}

constexpr Role kClient{"RDA_clientStateCk", "*** RDA_clientStateCk: invalid event for Client State Table\n",
                       getClientEventNo,    clientStateTbl.data(),
                       kRdaClientEvents,    kRdaClientStates,
                       RDA_getClientState};
constexpr Role kServer{"RDA_serverStateCk", "*** RDA_serverStateCk: invalid event for Server State Table\n",
                       getServerEventNo,    serverStateTbl.data(),
                       kRdaServerEvents,    kRdaServerStates,
                       RDA_getServerState};

}  // namespace

// ---------------------------------------------------------------------------
// Control block

stateCkCB* RDA_initStateCk(const RdaEventTbl* eventTbl, const RdaStateAction* actionTbl, uint32_t iduPosition) {
  auto* cb = static_cast<stateCkCB*>(_xm_allocItemWithTree(sizeof(stateCkCB), XM_ZERO));
  if (cb == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** RDA_initstateCk: can't allocate memory for stateCkCB\n");
    return nullptr;
  }
  cb->iduPosition = iduPosition;
  cb->family = RdaFamily::Iso;
  RDA_resetStateCk(cb, eventTbl, actionTbl);
  TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "RDA_initStateCk: stateCkCB (0x%lx) successfully established\n",
           reinterpret_cast<unsigned long>(cb));
  return cb;
}

void RDA_resetStateCk(stateCkCB* cb, const RdaEventTbl* eventTbl, const RdaStateAction* actionTbl) {
  if (cb == nullptr) return;
  cb->eventTbl = eventTbl;
  cb->actionTbl = actionTbl;
  cb->rollbackOnly = 0;
  cb->state = 0;
}

void RDA_termStateCk(stateCkCB* cb) {
  if (cb == nullptr) return;
  if (XmTree* tree = xm_getParentOfItem(cb)) _xm_freeTree(tree);
  else _xm_freeItem(cb);
}

uint32_t RDA_eventTblLookup(const RdaEventTbl* tbl, uint32_t event) {
  const uint32_t row = (event & AL_EV_CODE_MASK) >> 1;
  if (tbl == nullptr || row >= kRdaEventTblRows) return kRdaNoEvent;
  return (*tbl)[row];
}

void* RDA_stateCkIdu(const stateCkCB* cb, const GIDU* gidu) {
  if (cb == nullptr || gidu == nullptr || gidu->idu == nullptr) return nullptr;
  if (cb->iduPosition != RDA_IDU_IN_AEHDR) return gidu->idu;
  return static_cast<const AeHDR*>(gidu->idu)->wrapped;
}

uint32_t RDA_stateCkErrorValue(const stateCkCB* cb, const GIDU* gidu) {
  const RDAErr* err = rda_rcError(RDA_stateCkIdu(cb, gidu), cb->family);
  return err != nullptr ? err->code : 0;
}

// ---------------------------------------------------------------------------
// Client

int32_t RDA_clientStateCk(stateCkCB* cb, GIDU* gidu) { return runStateCk(kClient, cb, gidu); }

uint32_t getClientEventNo(GIDU* gidu, stateCkCB* cb) {
  const uint32_t event = RDA_eventTblLookup(cb->eventTbl, gidu->event);
  if (event == kRdaNoEvent) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** getClientEventNo: invalid event for Client State Table(%x,%x)\n",
             gidu->event, (gidu->event & AL_EV_CODE_MASK) >> 1);
    return kRdaNoEvent;
  }
  if (!isErrorResponse(gidu->event)) return event;
  const uint32_t value = RDA_stateCkErrorValue(cb, gidu);
  if (value == kInvSequence) return event + 1;
  switch (event) {
    case 13:  // R-Commit error
    case 18:  // R-Rollback error
      return cb->rollbackOnly != 0 ? event + 2 : event;
    case 34:  // R-ExecuteDBL error
    case 41:  // R-InvokeDBL error
      return value == kRollbackOnly ? event + 2 : event;
    default:
      return event;
  }
}

const char* RDA_getClientState(uint32_t state) {
  if (state == kRdaStateUnchanged) return "C_NC";
  if (state == kRdaStateRefused) return "CINV";
  return state < kRdaClientStates ? clientState[state] : "INVALID";
}

// ---------------------------------------------------------------------------
// Server

int32_t RDA_serverStateCk(stateCkCB* cb, GIDU* gidu) { return runStateCk(kServer, cb, gidu); }

uint32_t getServerEventNo(GIDU* gidu, stateCkCB* cb) {
  const uint32_t event = RDA_eventTblLookup(cb->eventTbl, gidu->event);
  if (event == kRdaNoEvent) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** getServerEventNo: invalid event for Server State Table\n");
    return kRdaNoEvent;
  }
  if (!isErrorResponse(gidu->event)) return event;
  switch (event) {
    case 11:  // R-Commit error
    case 15:  // R-Rollback error
      return cb->rollbackOnly != 0 ? event + 1 : event;
    case 26:  // R-ExecuteDBL error
    case 31:  // R-InvokeDBL error
      return RDA_stateCkErrorValue(cb, gidu) == kRollbackOnly ? event + 1 : event;
    default:
      return event;
  }
}

const char* RDA_getServerState(uint32_t state) {
  if (state == kRdaStateUnchanged) return "S_NC";
  if (state == kRdaStateRefused) return "SINV";
  return state < kRdaServerStates ? serverState[state] : "INVALID";
}

int32_t RDA_getServerInvSeqInfo(stateCkCB* cb, GIDU* gidu) {
  if (cb == nullptr || gidu == nullptr) return -1;
  const uint32_t row = RDA_eventTblLookup(&serverInvSeqEventTbl, gidu->event);
  if (row == kRdaNoEvent || cb->state >= kRdaServerStates) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** RDA_getServerInvSeqInfo: invalid event for Server State Table\n");
    return -1;
  }
  const int32_t result = serverInvSeqTbl[row * kRdaServerStates + cb->state];
  TM_TRACE(rda_aseTMHandle, TM_INFO, kSrc, "*** RDA_getServerInvSeqInfo: eventNo=<%x>,currentStat=<%x>, result=<%x>\n",
           row, cb->state, static_cast<uint32_t>(result));
  return result;
}
