// What the action routines of the protocol machine share: the token masks,
// the user-data limits and the recall of what was held while PR SPDUs were
// outstanding.
#pragma once

#include <cstdint>

#include "src/session/buffer_pool.h"
#include "src/session/session.h"

// Token bits, in every token field and mask.
enum : uint8_t {
  TK_DATA = 0x01,
  TK_MINOR = 0x04,
  TK_MAJOR = 0x10,  // major synchronisation and activity
  TK_RELEASE = 0x40,
  TK_ALL = 0x55,
};

// The tokens that the session requirements make available.
uint8_t s_tokensAvailable(uint32_t requirements);
// Sets AV from the requirements in use.
void s_setAvailable(Smachine* s);
// Sets OWNED and recomputes the masks that derive from AV and OWNED.
void s_setOwned(Smachine* s, uint8_t owned);
// The available tokens whose two-bit pair in a token setting or token item
// holds `side` (0 initiator, 1 acceptor).
uint8_t s_tokensOnSide(uint8_t av, uint8_t setting, uint8_t side);
// Whether any pair of a token setting for one of `tokens` holds 2 or 3.
bool s_tokensUnsettled(uint8_t setting, uint8_t tokens);

// The octets of a unit of user data: the buffer and every buffer after it
// in its ring; 0 for none.
uint32_t s_chainLength(const SessionBuffer* buf);
// The user data of a request over `limit` octets in version 1, or over
// `limit2` in any version (0: no such limit).
bool s_dataTooLong(const Smachine* s, const SIDU* sidu, uint32_t limit, uint32_t limit2 = 0);

// A builder's or the transport's result as an action's: S_NO_BUFFER as it
// is, a negative transport answer as S_UNSPECIFIED, else 0.
uint32_t s_sent(uint32_t r);

// Delivers the expedited data held while the connection was not yet in
// STA713 (or frees it): 0, or S_NO_EXPEDITED when expedited data is not in
// use.
uint32_t EXrecall(Smachine* s);
// Replays the state changes recorded while PR SPDUs were outstanding.
uint32_t PRrecall(Smachine* s);
// Connection and release checks of received CN and AC SPDUs: 0 or an error.
uint32_t acc_CN(Smachine* s);
uint32_t acc_AC(Smachine* s);

// An S-DATA (or, with `typed`, S-TYPED-DATA) request whose cell condition is
// `allowed`: a further buffer of a unit under way is queued as it is; else
// the condition must hold and the DT (TD) goes. 0 or an error.
uint32_t s_dataRequest(Smachine* s, SIDU* sidu, bool allowed, bool typed);

// Sends the SPDU that `build` writes in front of the request's user data
// (an empty buffer when it has none): 0, S_NO_BUFFER, or S_UNSPECIFIED when
// the transport refused. The request no longer holds what was sent.
template <class Build>
uint32_t s_request(SIDU* sidu, Build build) {
  SessionBuffer* d = sidu != nullptr && sidu->userData != nullptr ? sidu->userData : balloc(0);
  if (d == nullptr) return S_NO_BUFFER;
  const uint32_t r = build(d);
  if (r == S_NO_BUFFER) {
    if (sidu == nullptr || sidu->userData != d) bfree(d);
    return r;
  }
  if (sidu != nullptr && sidu->userData == d) sidu->userData = nullptr;
  return s_sent(r);
}

// A request checked and dropped where the connection waits for the peer:
// its user data is freed; S_EVENT_IGNORED.
uint32_t s_dropRequest(SIDU* sidu);

// The octets of a request's user data.
inline uint32_t s_requestLength(const SIDU* sidu) { return s_chainLength(sidu != nullptr ? sidu->userData : nullptr); }

// 1 when the pending resynchronisation or activity operation (Vrsp, Vrspnb)
// wins over a new one of `type` with serial number `sn`; `dflt` decides a tie.
uint32_t SPMwinner(Smachine* s, uint32_t type, uint64_t sn, uint32_t dflt);
