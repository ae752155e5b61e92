// Action routines of synchronisation, activities and PR SPDUs, and the
// choice between crossing resynchronisations.
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/spm_actions.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/spmsync";
constexpr uint8_t kActivityTokens = TK_DATA | TK_MINOR | TK_MAJOR;

SpduArea& area() { return getSessionTLS(0)->spdu; }

bool uses(const Smachine* s, uint32_t unit) { return (s->requirements & unit) != 0; }
bool v1TooLong(const Smachine* s, const SIDU* sidu) { return s_dataTooLong(s, sidu, kUserDataV1Max); }
// With activities, synchronisation belongs to an activity in progress.
bool activityRule(const Smachine* s) { return !uses(s, SR_ACTIVITY) || s->vact != 0; }

// Both recalls; the first failure is the result.
uint32_t recall(Smachine* s) {
  if (const uint32_t e = EXrecall(s); e != 0) return e;
  return PRrecall(s);
}

// Notes a state change to replay once the outstanding PR SPDUs are done.
// The list holds kPrMarkers entries; one more would be lost, so the event
// fails instead and the connection is aborted.
uint32_t mark(Smachine* s, uint8_t marker) {
  if (s->prCount >= kPrMarkers) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "PR marker list full (%u)\n", static_cast<unsigned>(s->prCount));
    return S_NO_EXPEDITED;
  }
  s->prMarkers[s->prCount++] = marker;
  return 0;
}

uint32_t ignored(Smachine* s) {
  ++s->credit;
  return 0;
}

// ---------------------------------------------------------------------------
// Minor synchronisation

uint32_t minorRequestChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!activityRule(s) || (s->usable & TK_DATA) == 0 || (s->owned & TK_MINOR) == 0) return S_NO_EXPEDITED;
  return 0;
}

uint32_t minorResponseChecks(const Smachine* s, const SIDU* sidu, bool notLast) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  const uint64_t sn = sidu->serial;
  if (sn < s->va || sn >= s->vm || !activityRule(s)) return S_NO_EXPEDITED;
  if (!uses(s, SR_MINORSYNC) || s->vsc != 1) return S_NO_EXPEDITED;
  if (notLast && sn == s->vm - 1) return S_NO_EXPEDITED;
  return 0;
}

uint32_t minorResponse(Smachine* s, SIDU* sidu, bool notLast) {
  if (const uint32_t e = minorResponseChecks(s, sidu, notLast); e != 0) return e;
  const uint64_t sn = sidu->serial;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduMIA(s, sn, d); });
  if (r != 0) return r;
  s->va = sn + 1;
  return 0;
}

bool mipTokens(const Smachine* s) {
  return activityRule(s) && (s->notOwned & TK_DATA) != 0 && (s->peer & TK_MINOR) != 0;
}

// A received MIP for V(M): the serial numbers move on.
uint32_t mipUpdate(Smachine* s) {
  if (!mipTokens(s)) return S_NO_EXPEDITED;
  const uint64_t sn = area().serial;
  if (sn != s->vm) return S_NO_EXPEDITED;
  if (s->vsc == 0) s->va = sn;
  s->vsc = 1;
  ++s->vm;
  return 0;
}

bool miaUnits(const Smachine* s) { return activityRule(s) && uses(s, SR_MINORSYNC) && s->vsc == 0; }

uint32_t miaUpdate(Smachine* s, bool notLast) {
  if (!miaUnits(s)) return S_NO_EXPEDITED;
  const uint64_t sn = area().serial;
  if (sn < s->va || sn >= s->vm) return S_NO_EXPEDITED;
  if (notLast && sn == s->vm - 1) return S_NO_EXPEDITED;
  s->va = sn + 1;
  return 0;
}

// ---------------------------------------------------------------------------
// Activities

uint32_t activityRequestChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!uses(s, SR_ACTIVITY) || s->vact != 0) return S_NO_EXPEDITED;
  if ((s->usable & kActivityTokens) != kActivityTokens) return S_NO_EXPEDITED;
  return 0;
}

bool activityStartReceivable(const Smachine* s) {
  return uses(s, SR_ACTIVITY) && s->vact == 0 && (s->notOwned & kActivityTokens) == kActivityTokens;
}

void startActivity(Smachine* s, uint64_t first, uint64_t restart) {
  s->vact = 1;
  s->va = s->vm = first;
  s->vr = restart;
}

}  // namespace

uint32_t SPMwinner(Smachine* s, uint32_t type, uint64_t sn, uint32_t dflt) {
  uint32_t win;
  if (s->vrsp == 1 && type == 1) {
    win = s->vrspnb < sn ? 1u : s->vrspnb > sn ? 0u : dflt;
  } else {
    win = s->vrsp > type ? 1u : s->vrsp == type ? dflt : 0u;
  }
  TM_TRACE(sess_TM_handle, 4095, kSrc, "\nSPMwinner: vrsp,vrspnb = %u,%u next = %u,%u default=%u\n",
           static_cast<unsigned>(s->vrsp), static_cast<unsigned>(s->vrspnb), static_cast<unsigned>(type),
           static_cast<unsigned>(sn), static_cast<unsigned>(dflt));
  return win;
}

// ---------------------------------------------------------------------------
// S-SYNC-MINOR request and response

uint32_t Str501(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = minorRequestChecks(s, sidu); e != 0) return e;
  const uint64_t vm = s->vm;
  const uint32_t type = sidu->syncType;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduMIP(s, vm, type, d); });
  if (r != 0) return r;
  sidu->serial = vm;
  if (s->vsc != 0) s->va = vm;
  s->vsc = 0;
  ++s->vm;
  return 0;
}

uint32_t Str500(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = minorRequestChecks(s, sidu); e != 0) return e;
  sidu->serial = s->vm;
  return s_dropRequest(sidu);
}

uint32_t Str502(Smachine* s, SIDU* sidu) { return minorResponse(s, sidu, false); }
uint32_t Str503(Smachine* s, SIDU* sidu) { return minorResponse(s, sidu, true); }

uint32_t Str504(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = minorResponseChecks(s, sidu, false); e != 0) return e;
  return s_dropRequest(sidu);
}

// ---------------------------------------------------------------------------
// MIP and MIA received

uint32_t Str507(Smachine* s, SIDU*) {
  if (const uint32_t e = mipUpdate(s); e != 0) return e;
  (void)SSYNmind(s);
  return 0;
}

uint32_t Str506(Smachine* s, SIDU*) {
  if (const uint32_t e = mipUpdate(s); e != 0) return e;
  return ignored(s);
}

uint32_t Str505(Smachine* s, SIDU*) { return mipTokens(s) ? ignored(s) : uint32_t{S_NO_EXPEDITED}; }

uint32_t Str508(Smachine* s, SIDU*) {
  if (const uint32_t e = miaUpdate(s, false); e != 0) return e;
  (void)SSYNmcnf(s);
  return 0;
}

uint32_t Str509(Smachine* s, SIDU*) {
  if (const uint32_t e = miaUpdate(s, true); e != 0) return e;
  (void)SSYNmcnf(s);
  return 0;
}

uint32_t Str511(Smachine* s, SIDU*) {
  if (const uint32_t e = miaUpdate(s, false); e != 0) return e;
  return ignored(s);
}

uint32_t Str510(Smachine* s, SIDU*) {
  if (!uses(s, SR_MINORSYNC) || s->vsc != 0) return S_NO_EXPEDITED;
  return ignored(s);
}

uint32_t Str512(Smachine* s, SIDU*) {
  if (!miaUnits(s)) return S_NO_EXPEDITED;
  const uint64_t sn = area().serial;
  if (sn < s->va || sn >= s->vm) return S_NO_EXPEDITED;
  return ignored(s);
}

// ---------------------------------------------------------------------------
// Activity start and resume

uint32_t Str829(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = activityRequestChecks(s, sidu); e != 0) return e;
  const ActId id = sidu->activityId;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduAS(s, &id, d); });
  if (r != 0) return r;
  startActivity(s, 1, 1);
  s->state = STA713;
  return 0;
}

uint32_t Str828(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = activityRequestChecks(s, sidu); e != 0) return e;
  const uint64_t sn = sidu->serial;
  const uint32_t r = s_request(
      sidu, [&](SessionBuffer* d) { return pduAR(s, &sidu->cid, &sidu->oldActivityId, &sidu->activityId, sn, d); });
  if (r != 0) return r;
  startActivity(s, sn + 1, 1);
  return 0;
}

uint32_t Str827(Smachine* s, SIDU*) {
  if (!activityStartReceivable(s)) return S_NO_EXPEDITED;
  startActivity(s, 1, 1);
  if (s->state == STA713) {
    if (const uint32_t e = recall(s); e != 0) return e;
  }
  (void)SACTSind(s);
  return 0;
}

uint32_t Str826(Smachine* s, SIDU*) {
  if (!activityStartReceivable(s)) return S_NO_EXPEDITED;
  startActivity(s, area().serial + 1, 1);
  (void)SACTRind(s);
  return s->state == STA713 ? recall(s) : 0u;
}

// ---------------------------------------------------------------------------
// PR received

// PR announcing an MAA or AEA.
uint32_t StrB05(Smachine* s, SIDU*) {
  ++s->credit;
  s->state = STA15A;
  return 0;
}

// PR announcing an RA, AIA or ADA.
uint32_t StrB00(Smachine* s, SIDU*) {
  ++s->credit;
  s->state = STA15C;
  return 0;
}
uint32_t StrB01(Smachine* s, SIDU*) { return mark(s, 'F'); }

// PR announcing an RS, AD or AI.
uint32_t StrB02(Smachine* s, SIDU*) { return mark(s, 'G'); }

uint32_t StrB03(Smachine* s, SIDU*) {
  if (s->state == STA713 && uses(s, SR_ACTIVITY) && s->vact == 0) return mark(s, 'G');
  if (s->state == STA03 && s->relCollision != 0) return S_NO_EXPEDITED;
  ++s->credit;
  s->state = STA15B;
  return 0;
}

uint32_t StrB04(Smachine* s, SIDU*) {
  ++s->credit;
  s->state = STA06;
  return 0;
}
