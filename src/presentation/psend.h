// Session requests of the presentation layer. A sender encodes the PPDU
// record its builder filled (cp, cpa, cpr, abrt, rs, rsa) or the User-data
// in inf into a chain of session buffers, checks the size, fills a SIDU with
// the session event and the PIDU's parameters and hands it to the session
// layer: s_connect for S-CONNECT request, `session` through ps_session for
// everything else. ps_session sends a data unit that fills several buffers
// as one session primitive per buffer. The quick-abort senders end a
// connection without a PPDU.
//
// Every sender answers 1 when the primitive went down, else 0 with osi_errno;
// the buffers made for the primitive are then freed.
#pragma once

#include <cstdint>

struct Pmachine;
struct PIDU;
struct SIDU;
struct Smachine;
struct SessionBuffer;

// The PPDU builders' requests, dispatched to the senders below.
enum class PsRequest : uint32_t {
  ConnectRequest,      // CP-type in S-CONNECT request
  ConnectAccept,       // CPA-PPDU in the positive S-CONNECT response
  ConnectRefuse,       // CPR-PPDU in the negative S-CONNECT response
  UserAbort,           // ARU in S-U-ABORT request
  ProviderAbort,       // ARP in S-U-ABORT request
  Data,                // TD in S-DATA request
  Expedited,           // TE in S-EXPEDITED-DATA request
  CapabilityRequest,   // TC in S-CAPABILITY-DATA request
  CapabilityResponse,  // TCC in S-CAPABILITY-DATA response
  TypedData,           // TTD in S-TYPED-DATA request
  ResyncAbandon,       // RS in S-RESYNCHRONIZE request (abandon)
  ResyncRestart,       // RS in S-RESYNCHRONIZE request (restart)
  ResyncSet,           // RS in S-RESYNCHRONIZE request (set)
  ResyncResponse,      // RSA in S-RESYNCHRONIZE response
  QuickAbort,          // S-U-ABORT request without a PPDU
};

// 1 when the request went down; 0 with osi_errno. noData: the request
// carries no user data (capability data).
using PsSendFn = int32_t (*)(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData);

// The sender the builders call: ps_send_request, or a test's stand-in.
extern PsSendFn psSend;

// The sender of each request.
int32_t ps_send_request(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData);

// The session service the senders reach: `session` and `s_connect`. A test
// may point it at a stand-in.
struct PsSessionService {
  int32_t (*request)(Smachine* s, SIDU* sidu);
  Smachine* (*connect)(SIDU* sidu);
};
extern const PsSessionService* psSessionService;

// Largest user data of a session of version 1, and of expedited data.
inline constexpr uint32_t kPsDataMaxV1 = 512;
inline constexpr uint32_t kPsExpeditedMax = 14;

// The first octets of the quick-abort GIDU's buffer.
inline constexpr uint8_t kPsQuickAbortTag[7] = {0x00, 0x80, 0x00, 0x07, 0xA0, 0x10, 0x00};

// pP = pm, directMult 0, a session buffer of the pool's default size as the
// SIDU's user data and a format pass started on it. 0 with PE_BALLOC.
int32_t px_setup(Pmachine* pm, SIDU* sidu);
// The size checks of a chain for the presentation event: 1, or 0 with
// PE_DATA_MAX or PE_DATA_USER_MAX.
int32_t pvDataMax(Pmachine* pm, SessionBuffer* chain, uint32_t event);
int32_t pvDataAbr(Pmachine* pm, uint32_t length);

// The senders; noData set: the primitive carries no user data.
int32_t pxACTDREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTDRSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTEREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTERSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTIREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTIRSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTRREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxACTSREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPCDREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPCDRSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxCGREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPCONREQ(Pmachine* pm, PIDU* pidu);
int32_t pxPCONACC(Pmachine* pm, PIDU* pidu);
int32_t pxPCONREJ(Pmachine* pm, PIDU* pidu);
int32_t pxPDTREQ(Pmachine* pm, PIDU* pidu);
int32_t pxPEXREQ(Pmachine* pm, PIDU* pidu);
int32_t pxPGTREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPPTREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPRELREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPRELACC(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPRELREJ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxRSYNAB(Pmachine* pm, PIDU* pidu);
int32_t pxRSYNRES(Pmachine* pm, PIDU* pidu);
int32_t pxRSYNSET(Pmachine* pm, PIDU* pidu);
int32_t pxRSYNRSP(Pmachine* pm, PIDU* pidu);
int32_t pxSYNMREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxSYNMRSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxSYNREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPTDREQ(Pmachine* pm, PIDU* pidu);
int32_t pxPPABREQ(Pmachine* pm, PIDU* pidu);
int32_t pxPUABREQ(Pmachine* pm, PIDU* pidu);
int32_t pxUERREQ(Pmachine* pm, PIDU* pidu, uint32_t noData);
int32_t pxPRECEIVE(Pmachine* pm, PIDU* pidu);

// One session request on connection s. A data unit (S-DATA, S-TYPED-DATA)
// in several buffers goes as one primitive per buffer, the later ones with
// credit 0, and the machine that owns s swallows the extra data confirms.
int32_t ps_session(Smachine* s, SIDU* sidu);

// S-U-ABORT without user data on the machine's session connection (none:
// nothing to send). 0 with PE_PCEP_INVALID for a machine not in plist.
int32_t PsendQabortDown(Pmachine* pm);
// PsendQabortDown, then the machine's reserved GIDU goes to its user as a
// quick-abort indication; the PIDU (may be NULL) is freed and the machine
// released.
void PquickAbort(Pmachine* pm, PIDU* pidu);
