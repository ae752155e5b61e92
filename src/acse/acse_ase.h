// The ACSE service element of the application layer: its entries in the
// ASE table (send, receive, init, establish, release, terminate), one
// control block per association with the ACSE protocol machine, and the
// paths by which refused events become local errors and aborts.
//
// The send entry takes the user's A-ASSOCIATE, A-RELEASE and A-ABORT
// primitives, runs the machine, turns the GIDU into the APDU form with the
// presentation primitive it is to travel in, and passes it on down the
// SACF send pass; the receive entry does the reverse for received APDUs and
// for the presentation primitives that end or refuse a connection. Both
// continue the running SACF pass through the SaoCB's SACF entries, so that
// the GIDU still meets the sequence check, flow control and the
// conversions; quick aborts take the SACF entries' own shortcut.
//
// A GIDU's uc is its SaoCB, whose current ASE block is the element's
// control block while an entry runs. Every entry consumes its GIDU.
#pragma once

#include <cstdint>

#include "src/acse/acsetls.h"
#include "src/acse/gidu.h"

struct PctxEntry;
struct SaoCB;

// ACSE GIDU events in APDU form.
inline constexpr uint32_t AC_EV_AARQ = 0x8008;
inline constexpr uint32_t AC_EV_AARE = 0x800A;
inline constexpr uint32_t AC_EV_RLRQ = 0x8028;
inline constexpr uint32_t AC_EV_RLRE = 0x802A;
inline constexpr uint32_t AC_EV_ABRT = 0x8048;

// Header origin of what the element rewrites or makes.
inline constexpr uint32_t AC_ORIGIN_ACSE = 7;

// Entries of the ACSE row of the ASE table.
void ac_aseSnd(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB* sao);
void ac_aseRcv(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB* sao);
// 1, or 0 with osi_errno 49248 (already initialised) or 49251.
int32_t ac_aseInit();
// A new control block (state 0) at the tail of the thread's list; NULL
// with osi_errno 49249 (not initialised) or 49251.
void* ac_aseEstab();
// Mode 0 frees the control block, mode 1 leaves it as it is; 1, or 0 with
// osi_errno 49249, 49253 (not in the list) or 49254 (another mode).
int32_t ac_aseRel(void* aseCB, int32_t mode);
// 1, or 0 with osi_errno 49249 or 49250 (control blocks remain).
int32_t ac_aseTerm();
// Not offered: 0 with osi_errno 49252.
int32_t ac_aseStart();

// Error paths, shared with the tests.
inline constexpr int32_t AC_ERR_MODE_LOCAL = 0;  // a local error for the user
inline constexpr int32_t AC_ERR_MODE_QUICK = 1;  // quick aborts both ways
// Sets osi_errno to `error` and turns the GIDU into a local error going up,
// or sends the association's quick aborts and deletes it.
void AC_aseCreateErr(GIDU* gidu, uint32_t error, int32_t mode);
// Ends the association both ways: the GIDU becomes an A-ABORT indication
// going up, and a new ABRT of the service provider goes down.
void AC_aseCreateAbt(GIDU* gidu, uint32_t error);
// Answers the received AARQ the GIDU carries with a rejecting AARE of the
// service provider (no reason given), sent down.
void AC_aseCreateAarqN(GIDU* gidu);
// The same with a rejection by the service user for `diagnostic`; marks
// the association for deletion.
void AC_aseCreateAarqNWithReason(GIDU* gidu, uint32_t diagnostic);
