// Execution rules of the server role of the RDA service user: the checks of
// every received indication against the server entities (rda_srvent.h), the
// changes the server user's answers make to them, and the rules of the SQL
// specialization, with the hooks through which the system answers its
// policy questions.
//
// A rule takes the IDU content, the operation entity and the GIDU and
// returns 0 to go on (an error response may then stand in the operation's
// rsp), a negative value when it has disposed of everything itself, or a
// positive OSI error number that ends the association with quick aborts.
#pragma once

#include <cstdint>

#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_srvent.h"

// Generic error numbers the rules answer with.
inline constexpr uint32_t RDA_GENERR_REPCOUNT = 2;         // repetition count not positive
inline constexpr uint32_t RDA_GENERR_NO_CMD_HNDL = 3;      // no such command handle
inline constexpr uint32_t RDA_GENERR_CNTL_AUTH = 4;        // control authentication failed
inline constexpr uint32_t RDA_GENERR_CNTL_NOT_ALLOWED = 5; // control service not allowed
inline constexpr uint32_t RDA_GENERR_RSRC_AMBIGUOUS = 6;   // no resource named, several open
inline constexpr uint32_t RDA_GENERR_NO_RSRC_HNDL = 7;     // no such data resource handle
inline constexpr uint32_t RDA_GENERR_NO_CNTL_DLG = 12;     // no such controlled dialogue
inline constexpr uint32_t RDA_GENERR_DUP_CMD_HNDL = 13;
inline constexpr uint32_t RDA_GENERR_DUP_RSRC_HNDL = 14;
inline constexpr uint32_t RDA_GENERR_DUP_DLGID = 15;
inline constexpr uint32_t RDA_GENERR_DUP_OPID = 16;
inline constexpr uint32_t RDA_GENERR_NO_RSRC_OPEN = 18;
inline constexpr uint32_t RDA_GENERR_CANCELLED = 20;
inline constexpr uint32_t RDA_GENERR_NO_PARENT = 21;
inline constexpr uint32_t RDA_GENERR_NOT_NEGOTIATED = 22;  // RDA_ServiceNotNegotiated
inline constexpr uint32_t RDA_GENERR_ROLLED_BACK = 23;

// SQL error numbers.
inline constexpr uint32_t RDA_SQLAccessCntlViolation = 100;
inline constexpr uint32_t RDA_SQLArgCountMismatch = 101;
inline constexpr uint32_t RDA_SQLArgTypeMismatch = 102;
inline constexpr uint32_t RDA_SQLDBLStmtNotAllowed = 103;
inline constexpr uint32_t RDA_SQLDataRsrcAlreadyOpen = 104;
inline constexpr uint32_t RDA_SQLHostIdError = 105;
inline constexpr uint32_t RDA_SQLINvSQLConformLevel = 106;
inline constexpr uint32_t RDA_SQLNoCharSet = 107;
inline constexpr uint32_t RDA_SQLTransNotOpen = 108;
inline constexpr uint32_t RDA_SQLTransOpen = 109;
inline constexpr uint32_t RDA_SQLUsageModeViolation = 110;

// An R-DropDBL answer that keeps a command the indication did not drop (the
// number has no name among the service user's errors).
inline constexpr uint32_t kRdaSurErrUnreqCmd = 52557;

// Presence bits of the request records the rules read.
inline constexpr uint32_t RDA_INIT_CNTL_FLAG = 1u << 4;  // RDAInit_Req [3]
inline constexpr uint32_t RDA_INIT_SQL = 1u << 6;        // RDAInit_Req [30]
inline constexpr uint32_t RDA_OPEN_PARENT = 1u << 1;     // RDAOpen_Req [1]
inline constexpr uint32_t RDA_OPEN_NAME = 1u << 2;       // RDAOpen_Req [2]
inline constexpr uint32_t RDA_OPEN_ACCESS = 1u << 3;     // RDAOpen_Req [3]
inline constexpr uint32_t RDA_OPEN_USAGE = 1u << 4;      // RDAOpen_Req [4]
inline constexpr uint32_t RDA_OPEN_SQL = 1u << 5;        // RDAOpen_Req [30]
inline constexpr uint32_t RDA_EXEC_RSRC = 1u << 0;       // RDAExecDBL_Req [0]
inline constexpr uint32_t RDA_EXEC_ARGSPEC = 1u << 2;    // RDAExecDBL_Req [2]
inline constexpr uint32_t RDA_EXEC_ARGS = 1u << 4;       // RDAExecDBL_Req arguments
inline constexpr uint32_t RDA_DEFINE_RSRC = 1u << 1;     // RDADefineDBL_Req [1]
inline constexpr uint32_t RDA_DEFINE_ARGSPEC = 1u << 3;  // RDADefineDBL_Req [3]
inline constexpr uint32_t RDA_INVOKE_ARGS = 1u << 1;     // RDAInvokeDBL_Req arguments
inline constexpr uint32_t RDA_CNTL_DLG = 1u << 0;        // RDACancel_Req [0]
inline constexpr uint32_t RDA_CNTL_OPIDS = 1u << 1;      // RDACancel_Req [1]
inline constexpr uint32_t RDA_CNTL_CLIENT = 1u << 0;     // RDACntlledDlg [0]
inline constexpr uint32_t RDA_LIST_PRESENT = 1u << 0;    // RDAListSeq [0]
inline constexpr uint32_t RDA_INITRSP_CNTL = 1u << 0;    // RDAInit_Result [0]
inline constexpr uint32_t RDA_INITCNTL_AUTH = 1u << 1;   // RDAInitControl [1]

// Forms of DBL arguments: single row of R-ExecuteDBL and R-InvokeDBL.
inline constexpr uint32_t RDA_EXEC_SINGLE_ROW = 0x4004;
inline constexpr uint32_t RDA_EXEC_MULTI_ROW = 0x4005;
inline constexpr uint32_t RDA_INVOKE_SINGLE_ROW = 0x4001;

// Most entries of an R-Status response.
inline constexpr uint32_t RDA_STATUS_MAX = 32;

// ---------------------------------------------------------------------------
// Entry points (route steps of the server role).

// A received indication: makes its operation entity, runs the rule of its
// service, and either passes it on towards the server user or answers it.
void RDA_surExecCkServerRcv(GIDU* ind);
// A response of the server user: applies it to the entities, or refuses it
// with a local error back to the server user, and sends it in turn.
void RDA_surExecCkServerSnd(GIDU* rsp);
// Route modules of the SQL specialization.
void RDA_surSQLExecRulesRcv(GIDU* gidu);
void RDA_surSQLExecRulesSnd(GIDU* gidu);

// 1 when the argument description names a character set for each of its
// character items, else 0 (also for an empty list).
int32_t checkForCharSet(const RDAList* argSpec, bool xopen);
// 0, or SQL error 101 (count) / 102 (type) when the argument values do not
// match their description.
uint32_t cmpTypeNVal(bool specPresent, const RDAList* spec, bool valsPresent, const RDADBLArgs* vals, bool xopen);

// ---------------------------------------------------------------------------
// Shared steps.

// The error GIDU answering *ind (generic numbers below 100, SQL numbers from
// 100); on success *ind is cleared, the indication having been consumed. On
// NULL the indication is still the caller's.
GIDU* rda_srvGenErr(GIDU** ind, uint32_t number, const void* diag);
// Takes the operation's held indication out of its queue, its parked delete
// flags given back to the ACB and UCB; NULL when none.
GIDU* rda_srvReleaseHeldInd(OpEnt* op);
bool rda_srvOpListed(const UL_Ring* list, const OpEnt* op);
// Turns a response back towards the client and queues it, leaving the
// ACB's route position as it was for whatever is routed after it.
void rda_srvRouteBack(GIDU* rsp);
// Whether the association speaks the X/Open family of RDA.
bool rda_srvIsXopen(const ACB* acb);
