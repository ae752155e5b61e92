// Action routines of the presentation protocol machine, one per event, and
// the checks they make. `pa` routines serve the user's requests and
// responses: they check the parameters, build the PPDU and send it, and
// change the state; they never free the PIDU. `ps` routines serve the events
// derived from session indications and confirms: they check what the peer's
// PPDU carried and hand the indication or confirm to the user (the PIDU goes
// with it); a failing check aborts the connection.
//
// Each routine is called as routine(machine, PIDU, cell of the state table)
// and answers nonzero for success, 0 with osi_errno.
#pragma once

#include <cstdint>

struct Pmachine;
struct PIDU;
struct User_data;
struct Result_list;
struct Context_list;
struct Abort_type;

using PAction = uint32_t (*)(Pmachine* pm, PIDU* pidu, uint32_t cell);

// Checks: 1 when they pass, else 0 with osi_errno.
int32_t consistent_pctxid(int32_t id, int32_t first);
int32_t p07_delem(Pmachine* pm, PIDU* pidu);
int32_t p06_delem(PIDU* pidu);
int32_t p06_rcvd(const User_data* data);
int32_t p07_info(Pmachine* pm, const User_data* data);
int32_t p07_aru(Pmachine* pm, const Abort_type* aru);
int32_t p09_user(Pmachine* pm, PIDU* pidu);
int32_t p09_defn(Pmachine* pm, const Context_list* list);
int32_t p09_rslt(const User_data* data, const Result_list* results, Pmachine* pm);

// Sends an ARP with the reason and event identifier (-1: left out), gives
// the user the PIDU as a P-P-ABORT indication and releases the machine.
void abortInvalidPpdu(Pmachine* pm, PIDU* pidu, int32_t reason, int32_t eventId);
// Moves the machine to the user of the PIDU's responding selector; 1, or 0
// with PE_PSAP_NOT, PE_PROP_CTX or PE_DFLT_CTX.
int32_t new_puser(Pmachine* pm, PIDU* pidu);
// Releases the machine when it is still live and in STAI0.
void releaseIfIdle(Pmachine* pm);

// Invalid cells: a user request in the wrong state (PE_STATE_INV), and a
// session-side event in the wrong state (the connection is aborted).
uint32_t paINVALID(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psINVALID(Pmachine* pm, PIDU* pidu, uint32_t cell);

uint32_t paACTDREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTDRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTEREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTERSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTIREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTIRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTRREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paACTSREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCDREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCDRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCGREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paUERREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCONREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCONACC(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paCONREJ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paDTREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paEXREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRECEIVE(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paGTREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paPTREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paUABREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRELREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRELACC(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRELREF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRSYNAB(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRSYNRES(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRSYNSET(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paRSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paSYNMREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paSYNMRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paSYNREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t paTDREQ(Pmachine* pm, PIDU* pidu, uint32_t cell);

uint32_t psACTDIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTDCNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTEIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTECNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTIIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTICNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTRIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psACTSIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCDIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCDCNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCGIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psPERIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psUERIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCPA(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCONREF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psCPR(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psTD(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psTE(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psTF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psFC(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psGTIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psPTIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psARP(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psARU(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psSABIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRABIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRELIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRELCNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRELREF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRS(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psRSA(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psSYNMIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psSYNMCNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psSYNIND(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psSYNCNF(Pmachine* pm, PIDU* pidu, uint32_t cell);
uint32_t psTTD(Pmachine* pm, PIDU* pidu, uint32_t cell);
