// Action routines of normal data transfer: S-DATA requests and received DT
// SPDUs.
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/spm_actions.h"
#include "src/session/tpi.h"

namespace {

bool duplex(const Smachine* s) { return (s->requirements & SR_DUPLEX) != 0; }
bool dataTokenUsable(const Smachine* s) { return (s->usable & TK_DATA) != 0; }
bool dataTokenNotHere(const Smachine* s) { return (s->notOwned & TK_DATA) != 0; }

}  // namespace

// An S-DATA or S-TYPED-DATA request whose cell condition is `allowed`.
uint32_t s_dataRequest(Smachine* s, SIDU* sidu, bool allowed, bool typed) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  SessionBuffer* d = sidu->userData;
  if (s_chainLength(d) == 0) return S_PROTOCOL_ERROR;
  const bool endOfUnit = d->prev == nullptr || d->prev->endFlag != 0;
  if (s->segmenting != 0) {
    // A further piece of a unit already under way: no header, no checks.
    SessionBuffer* last = d->prev != nullptr ? d->prev : d;
    for (SessionBuffer* b = d;;) {
      SessionBuffer* following = b->next;
      const bool end = b == last;
      sq_append(&s->outQ, b);
      if (end) break;
      b = following;
    }
    sidu->userData = nullptr;
    if (endOfUnit) s->segmenting = 0;
    return static_cast<int32_t>(s_transmit(s)) < 0 ? uint32_t{S_UNSPECIFIED} : 0u;
  }
  if (!allowed) return S_NO_EXPEDITED;
  const uint32_t r = typed ? pduTD(s, d) : pduDT(s, d);
  if (r == S_NO_BUFFER) return r;
  sidu->userData = nullptr;
  if (!endOfUnit) s->segmenting = 1;
  return s_sent(r);
}

namespace {

uint32_t dataRequest(Smachine* s, SIDU* sidu, bool allowed) { return s_dataRequest(s, sidu, allowed, false); }

uint32_t dataReceived(Smachine* s, bool allowed) {
  if (!allowed) return S_NO_EXPEDITED;
  SessionTLS* t = getSessionTLS(0);
  SessionBuffer* d = t != nullptr ? t->spdu.delivered : nullptr;
  if (d != nullptr) (void)SDTind(s, d);
  return 0;
}

}  // namespace

uint32_t Str100(Smachine* s, SIDU* sidu) { return dataRequest(s, sidu, duplex(s) && s->relCollision == 0); }
uint32_t Str101(Smachine* s, SIDU* sidu) { return dataRequest(s, sidu, dataTokenUsable(s)); }
uint32_t Str111(Smachine* s, SIDU* sidu) { return dataRequest(s, sidu, duplex(s)); }

// S-DATA request in STA15B: checked, dropped.
uint32_t Str110(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (s_chainLength(sidu->userData) == 0) return S_PROTOCOL_ERROR;
  if (!dataTokenUsable(s)) return S_NO_EXPEDITED;
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
  return S_EVENT_IGNORED;
}

uint32_t Str102(Smachine* s, SIDU*) { return dataReceived(s, dataTokenNotHere(s) && s->relCollision == 0); }
uint32_t Str103(Smachine* s, SIDU*) { return dataReceived(s, dataTokenNotHere(s)); }
uint32_t Str117(Smachine* s, SIDU*) { return dataReceived(s, duplex(s)); }

// DT while a resynchronisation or exception is pending: checked, ignored.
uint32_t Str116(Smachine* s, SIDU*) {
  if (!dataTokenNotHere(s)) return S_NO_EXPEDITED;
  ++s->credit;
  return 0;
}
