// Indications and confirms to the presentation user: the PIDU that came up
// from the session layer gets the indication's event, what the peer's PPDU
// carried and its user data as data elements, and goes to the user's
// callback wrapped in a new GIDU (P_encapsulate) that the user owns. A
// builder that cannot make the GIDU or copy the data ends the connection
// with PquickAbort.
#pragma once

#include <cstdint>

struct Pmachine;
struct PIDU;
struct User_data;
struct GIDU;
struct SessionBuffer;

// The received chain whose buffers hold the pre-encoded values of the event
// being taken up; NULL when there is none. P_deliver clears it when the
// PIDU it hands to the user carries one of those values (the chain is then
// the user's); an event that ends with it still set frees the chain.
extern SessionBuffer* p_keptChain;

// The PIDU (its XM tree moved under the new GIDU's) in a new presentation
// GIDU: event 0x8000, IDU type 20, uc = connRef, pc = pm, ue = userRef,
// errNo = osi_errno. NULL with PE_MALLOC.
GIDU* P_encapsulate(PIDU* pidu, Pmachine* pm, uint64_t connRef, uint64_t userRef);

// The PIDU to the machine's user as indication or confirm `event`. Without
// a user (or its callback) the PIDU is freed, and the buffers of its
// pre-encoded values are left to whoever holds them (see p_keptChain). false when the GIDU could not
// be made: the connection was then ended with PquickAbort.
bool P_deliver(Pmachine* pm, PIDU* pidu, uint32_t event);

// Decoded User-data into data elements of the PIDU; 1, or 0 with PE_MALLOC.
int32_t get_userdata(Pmachine* pm, PIDU* pidu, User_data* record);

// User-session-requirements as decoded (first octet in the low byte) to the
// session requirements word; 0 with PE_USER_SESS_INV when a bit beyond the
// eleven functional units is set.
uint32_t cnvtUsrSesReq(uint32_t bits);
// The session version of a P-CONNECT: 2 when bit 1 is set, else 1 when bit
// 0 is; 0 with PE_SESS_VERS.
uint32_t pvSess(Pmachine* pm, uint32_t bits);
// The version bits when bit 0 or 1 is set (kept in the machine); 0 with
// PE_SESS_VERS.
uint32_t pvSessChk(Pmachine* pm, uint32_t bits);

// The indications and confirms whose user data is the decoded User-data in
// inf (activity, capability data, control give, exception reports, data,
// expedited data, tokens, release, synchronisation): `event` 76-111.
void P_indicate(Pmachine* pm, PIDU* pidu, uint32_t event);

void PCONind(Pmachine* pm, PIDU* pidu);
void PCONcnf(Pmachine* pm, PIDU* pidu);
void PCONref(Pmachine* pm, PIDU* pidu);
void PCONref2(Pmachine* pm, PIDU* pidu);
void PPABind(Pmachine* pm, PIDU* pidu);
void PUABind(Pmachine* pm, PIDU* pidu);
void PSABind(Pmachine* pm, PIDU* pidu);
void PRABind(Pmachine* pm, PIDU* pidu);
void RSYNind(Pmachine* pm, PIDU* pidu);
void RSYNcnf(Pmachine* pm, PIDU* pidu);
void PTDind(Pmachine* pm, PIDU* pidu);
