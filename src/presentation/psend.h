// The session requests through which the PPDU builders send: a request
// encodes the PPDU record its builder filled (cp, cpa, cpr, abrt, rs, rsa or
// inf) into session user data and issues the session primitive with the
// PIDU's parameters. Builders call them through psSend.
#pragma once

#include <cstdint>

struct Pmachine;
struct PIDU;

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

// Minimal version: the session requests are not built yet; every request
// fails with PE_SESSION.
int32_t ps_send_request(PsRequest request, Pmachine* pm, PIDU* pidu, uint32_t noData);
