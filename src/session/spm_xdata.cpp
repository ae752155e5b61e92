// Action routines of the data-transfer phase beyond normal data: tokens,
// expedited, typed and capability data, and exception reports.
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/spm_actions.h"
#include "src/session/tpi.h"

namespace {

constexpr uint32_t kExpeditedMax = 14;
constexpr uint8_t kDataAndMinor = TK_DATA | TK_MINOR;

SpduArea& area() { return getSessionTLS(0)->spdu; }

bool uses(const Smachine* s, uint32_t unit) { return (s->requirements & unit) != 0; }
bool v1TooLong(const Smachine* s, const SIDU* sidu) { return s_dataTooLong(s, sidu, kUserDataV1Max); }
bool v1AnyData(const Smachine* s, const SIDU* sidu) { return s->version == 1 && s_requestLength(sidu) > 0; }

// The user information of the DT, TD or EX just read.
SessionBuffer* deliveredData() {
  SessionTLS* t = getSessionTLS(0);
  return t != nullptr ? t->spdu.delivered : nullptr;
}

// ---------------------------------------------------------------------------
// Tokens

// Every given available token leaves OWNED.
void giveAway(Smachine* s, uint8_t tokens) { s_setOwned(s, static_cast<uint8_t>(s->owned & ~(tokens & s->av))); }
void takeOver(Smachine* s, uint8_t tokens) { s_setOwned(s, static_cast<uint8_t>(s->owned | (tokens & s->av))); }

uint32_t giveChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1AnyData(s, sidu)) return S_USER_DATA_OVERFLOW;
  const uint8_t t = sidu->tokens;
  if (t == 0 || (s->ownedAv & t) != t) return S_NO_EXPEDITED;
  return 0;
}

uint32_t giveRequest(Smachine* s, SIDU* sidu, bool toTransfer) {
  if (const uint32_t e = giveChecks(s, sidu); e != 0) return e;
  const uint8_t t = sidu->tokens;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduGT(s, t, d); });
  if (r != 0) return r;
  if (toTransfer && (t & TK_DATA) != 0) s->state = STA713;
  giveAway(s, t);
  return 0;
}

uint32_t pleaseChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  const uint8_t t = sidu->tokens;
  if (t == 0 || (s->av & t) != t) return S_NO_EXPEDITED;
  return 0;
}

// A received GT: tokens not owned here, at least one of them available.
bool givenTokensFit(const Smachine* s, uint8_t t) { return (s->notOwned & t) == t && (t & s->av) != 0; }

// ---------------------------------------------------------------------------
// Expedited data

uint32_t expeditedChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  const uint32_t len = s_requestLength(sidu);
  if (len == 0) return S_PROTOCOL_ERROR;
  if (len > kExpeditedMax) return S_USER_DATA_OVERFLOW;
  if (!uses(s, SR_EXPEDITED)) return S_NO_EXPEDITED;
  return 0;
}

uint32_t expeditedRequest(Smachine* s, SIDU* sidu, bool allowed) {
  if (const uint32_t e = expeditedChecks(s, sidu); e != 0) return e;
  if (!allowed) return S_NO_EXPEDITED;
  return s_request(sidu, [&](SessionBuffer* d) { return pduEX(s, d); });
}

uint32_t expeditedReceived(Smachine* s, bool allowed) {
  if (!allowed) return S_NO_EXPEDITED;
  if (SessionBuffer* d = deliveredData()) (void)SEXind(s, d);
  return 0;
}

// Keeps the received expedited data on the connection until it reaches
// STA713 (EXrecall).
uint32_t holdExpedited(Smachine* s) {
  SpduArea& a = area();
  if (SessionBuffer* d = a.delivered) {
    sq_append(&s->exQ, d);  // off the transport's held ring
    a.delivered = nullptr;
    if (a.userData == d) a.userData = nullptr;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Typed data

uint32_t typedReceived(Smachine* s, bool allowed) {
  if (!allowed) return S_NO_EXPEDITED;
  if (SessionBuffer* d = deliveredData()) (void)STDind(s, d);
  return 0;
}

// ---------------------------------------------------------------------------
// Exceptions

bool exceptions(const Smachine* s) { return uses(s, SR_EXCEPTIONS); }
bool halfDuplexExceptions(const Smachine* s) { return exceptions(s) && uses(s, SR_HALFDUPLEX); }
// With activities, reports belong to an activity in progress.
bool activityRule(const Smachine* s) { return !uses(s, SR_ACTIVITY) || s->vact != 0; }

uint32_t reportChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!exceptions(s) || !activityRule(s) || (s->peer & TK_DATA) == 0) return S_NO_EXPEDITED;
  return 0;
}

int32_t indicateException(Smachine* s, bool user) { return user ? SUERind(s) : SPERind(s); }

// ED (user) or ER (provider) in STA03.
uint32_t exceptionIn03(Smachine* s, bool user) {
  if (!exceptions(s) || uses(s, SR_ACTIVITY) || (s->ownedAv & TK_DATA) == 0) return S_NO_EXPEDITED;
  s->state = STA20;
  (void)indicateException(s, user);
  return 0;
}

// In STA04A, STA04B (and STA21 for ER).
uint32_t exceptionIn04(Smachine* s, bool user) {
  if (!halfDuplexExceptions(s)) return S_NO_EXPEDITED;
  s->state = (s->usable & TK_DATA) != 0 ? STA20 : STA713;
  (void)indicateException(s, user);
  return 0;
}

uint32_t exceptionIn19(Smachine* s, bool user) {
  if (!exceptions(s) || !activityRule(s) || (s->peer & TK_DATA) == 0) return S_NO_EXPEDITED;
  (void)indicateException(s, user);
  return 0;
}

uint32_t exceptionIn713(Smachine* s, bool user) {
  if (!exceptions(s) || !activityRule(s)) return S_NO_EXPEDITED;
  if ((s->ownedAv & TK_DATA) != 0) {
    s->state = STA20;
  } else if ((s->peer & TK_DATA) == 0) {
    return S_NO_EXPEDITED;
  }
  (void)indicateException(s, user);
  return 0;
}

// ---------------------------------------------------------------------------
// Capability data

bool capabilityUnits(const Smachine* s) {
  return uses(s, SR_CAPABILITY) && uses(s, SR_ACTIVITY) && s->vact == 0;
}

}  // namespace

uint32_t s_dropRequest(SIDU* sidu) {
  if (sidu != nullptr) {
    s_freeChain(sidu->userData);
    sidu->userData = nullptr;
  }
  return S_EVENT_IGNORED;
}

// ---------------------------------------------------------------------------
// S-TOKEN-GIVE and S-TOKEN-PLEASE requests

uint32_t Str104(Smachine* s, SIDU* sidu) { return giveRequest(s, sidu, false); }
uint32_t Str113(Smachine* s, SIDU* sidu) { return giveRequest(s, sidu, true); }

uint32_t Str112(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = giveChecks(s, sidu); e != 0) return e;
  return s_dropRequest(sidu);
}

uint32_t Str105(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = pleaseChecks(s, sidu); e != 0) return e;
  const uint8_t t = sidu->tokens;
  return s_request(sidu, [&](SessionBuffer* d) { return pduPT(s, t, d); });
}

uint32_t Str114(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = pleaseChecks(s, sidu); e != 0) return e;
  return s_dropRequest(sidu);
}

// ---------------------------------------------------------------------------
// GT and PT received

uint32_t Str106(Smachine* s, SIDU*) {
  const uint8_t t = area().tokenItem;
  if (!givenTokensFit(s, t)) return S_NO_EXPEDITED;
  takeOver(s, t);
  (void)SGTind(s, t);
  return 0;
}

// GT while an exception is reported: the data token ends the report.
uint32_t Str115(Smachine* s, SIDU*) {
  const uint8_t t = area().tokenItem;
  if ((s->notOwned & t) != t) return S_NO_EXPEDITED;
  if ((t & TK_DATA) == 0 && (t & s->av) == 0) return S_NO_EXPEDITED;
  if ((t & TK_DATA) != 0) s->state = STA713;
  (void)SGTind(s, t);
  takeOver(s, t);
  return 0;
}

uint32_t Str108(Smachine* s, SIDU*) {
  if (!givenTokensFit(s, area().tokenItem)) return S_NO_EXPEDITED;
  ++s->credit;
  return 0;
}

uint32_t Str107(Smachine* s, SIDU*) {
  const uint8_t t = area().tokenItem;
  if ((t & s->av) == 0) return S_NO_EXPEDITED;
  (void)SPTind(s, t);
  return 0;
}

uint32_t Str109(Smachine* s, SIDU*) {
  if ((area().tokenItem & s->av) == 0) return S_NO_EXPEDITED;
  ++s->credit;
  return 0;
}

// ---------------------------------------------------------------------------
// Expedited data

uint32_t Str200(Smachine* s, SIDU* sidu) { return expeditedRequest(s, sidu, s->relCollision == 0); }
uint32_t Str201(Smachine* s, SIDU* sidu) { return expeditedRequest(s, sidu, true); }

uint32_t Str207(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = expeditedChecks(s, sidu); e != 0) return e;
  return s_dropRequest(sidu);
}

uint32_t Str202(Smachine* s, SIDU*) { return holdExpedited(s); }

uint32_t Str203(Smachine* s, SIDU*) { return expeditedReceived(s, uses(s, SR_EXPEDITED) && s->relCollision == 0); }
uint32_t Str204(Smachine* s, SIDU*) { return expeditedReceived(s, uses(s, SR_EXPEDITED)); }

uint32_t Str205(Smachine* s, SIDU*) { return uses(s, SR_EXPEDITED) ? 0u : uint32_t{S_NO_EXPEDITED}; }

uint32_t Str206(Smachine* s, SIDU*) {
  if (!uses(s, SR_EXPEDITED)) return S_NO_EXPEDITED;
  return holdExpedited(s);
}

// ---------------------------------------------------------------------------
// Typed data

uint32_t Str400(Smachine* s, SIDU* sidu) {
  return s_dataRequest(s, sidu, uses(s, SR_TYPEDDATA) && s->relCollision == 0, true);
}
uint32_t Str401(Smachine* s, SIDU* sidu) { return s_dataRequest(s, sidu, uses(s, SR_TYPEDDATA), true); }

uint32_t Str405(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (s_requestLength(sidu) == 0) return S_PROTOCOL_ERROR;
  if (!uses(s, SR_TYPEDDATA)) return S_NO_EXPEDITED;
  return s_dropRequest(sidu);
}

uint32_t Str402(Smachine* s, SIDU*) { return typedReceived(s, uses(s, SR_TYPEDDATA) && s->relCollision == 0); }
uint32_t Str403(Smachine* s, SIDU*) { return typedReceived(s, uses(s, SR_TYPEDDATA)); }

uint32_t Str404(Smachine* s, SIDU*) {
  ++s->credit;
  return 0;
}

// ---------------------------------------------------------------------------
// Capability data

uint32_t Str902(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!capabilityUnits(s)) return S_NO_EXPEDITED;
  if ((s->usable & kDataAndMinor) != kDataAndMinor || (s->owned & TK_MAJOR) == 0) return S_NO_EXPEDITED;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduCD(s, d); });
  if (r != 0) return r;
  s->state = STA21;
  return 0;
}

uint32_t Str900(Smachine* s, SIDU*) {
  if (!capabilityUnits(s)) return S_NO_EXPEDITED;
  if ((s->notOwned & kDataAndMinor) != kDataAndMinor || (s->notOwned & TK_MAJOR) == 0) return S_NO_EXPEDITED;
  s->state = STA22;
  (void)SCDind(s);
  return 0;
}

uint32_t Str903(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduCDA(s, d); });
  if (r != 0) return r;
  s->state = STA713;
  return 0;
}

uint32_t Str901(Smachine* s, SIDU*) {
  s->state = STA713;
  (void)SCDcnf(s);
  return 0;
}

// ---------------------------------------------------------------------------
// Exception reports

uint32_t StrA10(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = reportChecks(s, sidu); e != 0) return e;
  const uint8_t reason = static_cast<uint8_t>(sidu->reason);
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduED(s, reason, d); });
  if (r != 0) return r;
  s->state = STA19;
  return 0;
}

uint32_t StrA11(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = reportChecks(s, sidu); e != 0) return e;
  return s_dropRequest(sidu);
}

uint32_t StrA00(Smachine* s, SIDU*) { return exceptionIn03(s, true); }
uint32_t StrA05(Smachine* s, SIDU*) { return exceptionIn03(s, false); }
uint32_t StrA01(Smachine* s, SIDU*) { return exceptionIn04(s, true); }
uint32_t StrA06(Smachine* s, SIDU*) { return exceptionIn04(s, false); }
uint32_t StrA03(Smachine* s, SIDU*) { return exceptionIn19(s, true); }
uint32_t StrA08(Smachine* s, SIDU*) { return exceptionIn19(s, false); }
uint32_t StrA04(Smachine* s, SIDU*) { return exceptionIn713(s, true); }
uint32_t StrA09(Smachine* s, SIDU*) { return exceptionIn713(s, false); }

// ED while the connection waits for the peer: ignored.
uint32_t StrA02(Smachine* s, SIDU*) {
  if (halfDuplexExceptions(s)) ++s->credit;
  return 0;
}

uint32_t StrA07(Smachine* s, SIDU*) {
  if (!halfDuplexExceptions(s)) return S_NO_EXPEDITED;
  ++s->credit;
  return 0;
}
