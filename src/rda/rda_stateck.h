// The RDA state checks: the state of one association in its role (client
// or server), the tables that say which RDA events each state allows and
// what follows them, and the check that runs an event through them.
//
// A check maps the GIDU's event code to an event number of its role through
// the event table of its control block, looks up the cell (event, current
// state) of the role's state table and calls the cell's action from the
// control block's action table with the next state. The service element
// and the service user's sequencing share the checks and the state tables;
// each brings its own event and action tables.
//
// Cells: action index in bits 8-15, next state in the low byte (99: state
// unchanged; 98 with action 0: refused). An action stores the next state
// itself, after the GIDU has gone on, so that whatever runs meanwhile (the
// rest of the pass, the user's callback) still sees the old state.
#pragma once

#include <array>
#include <cstdint>

#include "src/acse/gidu.h"
#include "src/rda/rda_erridu.h"

struct stateCkCB;

// An action of a cell: (control block, GIDU, next state); 0 to go on, a
// negative value when it disposed of the GIDU, or a positive OSI error.
using RdaStateAction = int32_t (*)(stateCkCB* cb, GIDU* gidu, uint32_t next);

inline constexpr uint32_t kRdaEventTblRows = 312;  // event codes 0x8000-0x8267, two to a row
inline constexpr uint32_t kRdaNoEvent = 255;       // the code is no event of the table
inline constexpr uint32_t kRdaActionCount = 31;    // entries of an action table
inline constexpr uint32_t kRdaStateUnchanged = 99;
inline constexpr uint32_t kRdaStateRefused = 98;

using RdaEventTbl = std::array<uint32_t, kRdaEventTblRows>;

// IDU position flag.
inline constexpr uint32_t RDA_IDU_IN_AEHDR = 1;  // the RDA IDU is wrapped by the GIDU's top AeHDR
inline constexpr uint32_t RDA_IDU_IN_SLOT = 0;   // the GIDU's idu slot holds the RDA IDU itself

// State of one association, in an XM tree of its own.
struct stateCkCB {
  uint32_t iduPosition;              // RDA_IDU_IN_AEHDR or RDA_IDU_IN_SLOT
  const RdaEventTbl* eventTbl;       // NULL until a role is set
  const RdaStateAction* actionTbl;   // kRdaActionCount entries; NULL until a role is set
  uint32_t rollbackOnly;             // 1 after an error value 8213 of R-ExecuteDBL or R-InvokeDBL
  uint32_t state;                    // current state of the role
  RdaFamily family;                  // of the association's RDA messages; how an error value is read
};

// A new control block with these tables, the rollback-only flag and the
// state 0, family ISO; NULL when memory runs out (traced).
stateCkCB* RDA_initStateCk(const RdaEventTbl* eventTbl, const RdaStateAction* actionTbl, uint32_t iduPosition);
// Installs the tables and sets the rollback-only flag and the state to 0.
void RDA_resetStateCk(stateCkCB* cb, const RdaEventTbl* eventTbl, const RdaStateAction* actionTbl);
// Frees the control block. NULL is ignored.
void RDA_termStateCk(stateCkCB* cb);

// The entry of an event-code table (indexed by the code with bit 15
// cleared, shifted right by one) for `event`; kRdaNoEvent for a code
// beyond the table or a NULL table.
uint32_t RDA_eventTblLookup(const RdaEventTbl* tbl, uint32_t event);

// The RDA IDU a GIDU carries, by the control block's position flag; NULL
// when there is none.
void* RDA_stateCkIdu(const stateCkCB* cb, const GIDU* gidu);
// The RDA error value of the error response a GIDU carries, read from the
// record of its service in the control block's family; 0 when it carries
// none.
uint32_t RDA_stateCkErrorValue(const stateCkCB* cb, const GIDU* gidu);

// ---------------------------------------------------------------------------
// Client role.

enum : uint32_t { RDA_C_I, RDA_CB, RDA_CA, RDA_CT, RDA_CN, RDA_CC, RDA_CR, RDA_CE };
inline constexpr uint32_t kRdaClientStates = 8;
inline constexpr uint32_t kRdaClientEvents = 47;

// Event code -> client event, for the service element: requests in service
// form, responses and error responses in APDU form.
extern const RdaEventTbl RDA_aseClientEventTbl;
// [event * 8 + state].
extern const std::array<uint32_t, kRdaClientEvents * kRdaClientStates> clientStateTbl;

// Runs the GIDU through the client state table: 0 when a cell's action ran
// (a refused cell too), 52482 (the GIDU untouched) when the event is no
// client event, 52483 without tables, 52487 for a state beyond the table.
int32_t RDA_clientStateCk(stateCkCB* cb, GIDU* gidu);
// The client event 0-46 of the GIDU, or 255. Error responses are told
// apart by their error value (8208 invalid sequence, 8213 for R-ExecuteDBL
// and R-InvokeDBL) and by the rollback-only flag (R-Commit, R-Rollback).
uint32_t getClientEventNo(GIDU* gidu, stateCkCB* cb);
// "C_I", "CB ", ... for 0-7; "C_NC" for 99, "CINV" for 98, else "INVALID".
const char* RDA_getClientState(uint32_t state);

// ---------------------------------------------------------------------------
// Server role.

enum : uint32_t { RDA_S_I, RDA_SB, RDA_SA, RDA_ST, RDA_SN, RDA_SC, RDA_SR, RDA_SS, RDA_SE };
inline constexpr uint32_t kRdaServerStates = 9;
inline constexpr uint32_t kRdaServerEvents = 35;
inline constexpr uint32_t kRdaServerInvSeqRows = 14;

// Event code -> server event, for the service element: received requests
// in APDU form, sent responses in service form.
extern const RdaEventTbl RDA_aseServerEventTbl;
extern const std::array<uint32_t, kRdaServerEvents * kRdaServerStates> serverStateTbl;
// Request code (APDU form) -> row of serverInvSeqTbl.
extern const RdaEventTbl serverInvSeqEventTbl;
// [row * 9 + state]: the invalid-sequence diagnostic, -1 none.
extern const std::array<int32_t, kRdaServerInvSeqRows * kRdaServerStates> serverInvSeqTbl;

// As RDA_clientStateCk over the server tables.
int32_t RDA_serverStateCk(stateCkCB* cb, GIDU* gidu);
// The server event 0-34 of the GIDU, or 255.
uint32_t getServerEventNo(GIDU* gidu, stateCkCB* cb);
// "S_I", "SB ", ... for 0-8; "S_NC" for 99, "SINV" for 98, else "INVALID".
const char* RDA_getServerState(uint32_t state);
// The invalid-sequence diagnostic of the GIDU's request in the current
// state, -1 when none or when the code is no request.
int32_t RDA_getServerInvSeqInfo(stateCkCB* cb, GIDU* gidu);
