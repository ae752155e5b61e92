// The presentation protocol machine: the state table of 76 events by 7
// states, whose cells name the action routine of the event (or an invalid
// cell), and the entries through which the user's primitives reach it: psp
// for every primitive but P-CONNECT request, which enters through p_connect.
#pragma once

#include <cstdint>

#include "src/presentation/pactions.h"
#include "src/presentation/pevents.h"

struct GIDU;

inline constexpr uint32_t kPStates = 7;  // STAI0 .. STAac2

// Cell [event * 7 + state]: the index of the action in Pproc; 0 paINVALID
// and 1 psINVALID for invalid cells.
extern const uint8_t Ptable[kPfsmEvents * kPStates];
extern const PAction Pproc[kPfsmEvents];
extern const char* const ptrname[kPfsmEvents];
extern const char* const states[kPStates];

// Runs the event of the PIDU on the machine: the action's result, or 0 with
// PE_EVENT_INV for an event of 76 or more.
uint32_t p_fsm(Pmachine* pm, PIDU* pidu);

// A primitive of the user in a presentation GIDU (its PIDU, its machine in
// pc or found by the user's connection reference): 1, or 0 with osi_errno.
// The GIDU is freed with its PIDU in every case; a quick abort (event 6)
// needs no PIDU.
uint32_t psp(GIDU* gidu);

// P-CONNECT request: a new machine for the user of the PIDU's calling
// selector (else the default user), running event 14. The machine, or NULL
// with osi_errno; the GIDU is freed in every case.
Pmachine* p_connect(GIDU* gidu);

// Frees a PIDU that did not go down: pre-encoded values (session buffers of
// a context whose abstract syntax has no routines) go back to the pool.
void P_free_pidu_error(PIDU* pidu, Pmachine* pm);

// Hands the machine's session connection to s_destruct; NULL is ignored.
void p_destruct(Pmachine* pm);
