// Action routines of synchronisation, activities and PR SPDUs, and the
// choice between crossing resynchronisations.
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/spm_actions.h"
#include "src/session/tp0addr.h"
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

// Announces the SPDU that follows with a PR of `type`, where the transport
// carries expedited data.
uint32_t announce(Smachine* s, uint8_t type) {
  if (s->texp != 1) return 0;
  return pduPR(s, type) == 0 ? 0u : uint32_t{S_NO_BUFFER};
}

bool v1WithData(const Smachine* s, const SIDU* sidu) { return s->version == 1 && s_requestLength(sidu) != 0; }

uint8_t receivedSerialOk(const Smachine* s) { return area().serial + 1 == s->vm ? 1 : 0; }

// After a major synchronisation point or an activity end has been confirmed.
void majorDone(Smachine* s, uint8_t vact) {
  s->vact = vact;
  s->va = s->vr = s->vm;
  s->state = STA713;
}

constexpr uint8_t kSyncTokens = TK_DATA | TK_MINOR;

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

// ---------------------------------------------------------------------------
// Major synchronisation

namespace {

uint32_t majorRequestChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!activityRule(s) || (s->usable & kSyncTokens) != kSyncTokens || (s->owned & TK_MAJOR) == 0)
    return S_NO_EXPEDITED;
  return 0;
}

bool mapTokens(const Smachine* s) {
  return activityRule(s) && (s->notOwned & kSyncTokens) == kSyncTokens && (s->peer & TK_MAJOR) != 0;
}

// A received MAP (or AE) for V(M): the serial numbers move on.
uint32_t majorPointUpdate(Smachine* s, bool tokens) {
  if (!tokens) return S_NO_EXPEDITED;
  const uint64_t sn = area().serial;
  if (sn != s->vm) return S_NO_EXPEDITED;
  if (s->vsc == 0) s->va = sn;
  ++s->vm;
  return 0;
}

// The confirm of the own major synchronisation point or activity end.
uint32_t majorConfirmChecks(const Smachine* s, bool needNoTexp) {
  if (needNoTexp && s->texp != 0) return S_NO_EXPEDITED;
  return receivedSerialOk(s) != 0 ? 0u : uint32_t{S_NO_EXPEDITED};
}

}  // namespace

uint32_t Str601(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = majorRequestChecks(s, sidu); e != 0) return e;
  const uint64_t vm = s->vm;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduMAP(s, vm, d); });
  if (r != 0) return r;
  sidu->serial = vm;
  s->vnextact = 1;
  if (s->vsc != 0) s->va = vm;
  s->vsc = 0;
  ++s->vm;
  s->state = STA04A;
  return 0;
}

uint32_t Str600(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = majorRequestChecks(s, sidu); e != 0) return e;
  sidu->serial = s->vm;
  return s_dropRequest(sidu);
}

uint32_t Str602(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (const uint32_t e = announce(s, 1); e != 0) return e;
  const uint64_t sn = s->vm - 1;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduMAA(s, sn, d); });
  if (r != 0) return r;
  majorDone(s, s->vnextact);
  return 0;
}

uint32_t Str605(Smachine* s, SIDU*) {
  if (const uint32_t e = majorPointUpdate(s, mapTokens(s)); e != 0) return e;
  s->vnextact = 1;
  s->state = STA10A;
  (void)SSYNMAind(s);
  return 0;
}

uint32_t Str604(Smachine* s, SIDU*) {
  if (const uint32_t e = majorPointUpdate(s, mapTokens(s)); e != 0) return e;
  return ignored(s);
}

uint32_t Str603(Smachine* s, SIDU*) { return mapTokens(s) ? ignored(s) : uint32_t{S_NO_EXPEDITED}; }

uint32_t Str607(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, true); e != 0) return e;
  majorDone(s, s->vnextact);
  (void)SSYNMAcnf(s);
  return 0;
}

uint32_t Str608(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, false); e != 0) return e;
  if (!uses(s, SR_ACTIVITY) || s->vnextact == 1) {
    majorDone(s, s->vnextact);
    (void)SSYNMAcnf(s);
  } else {
    majorDone(s, 0);
    (void)SACTEcnf(s);
  }
  return recall(s);
}

uint32_t Str609(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, false); e != 0) return e;
  return ignored(s);
}

// ---------------------------------------------------------------------------
// Activity end

namespace {

uint32_t endRequestChecks(const Smachine* s, const SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!uses(s, SR_ACTIVITY) || s->vact == 0) return S_NO_EXPEDITED;
  if ((s->usable & kSyncTokens) != kSyncTokens || (s->owned & TK_MAJOR) == 0) return S_NO_EXPEDITED;
  return 0;
}

bool aeTokens(const Smachine* s) {
  return uses(s, SR_ACTIVITY) && s->vact != 0 && (s->notOwned & kSyncTokens) == kSyncTokens &&
         (s->peer & TK_MAJOR) != 0;
}

}  // namespace

uint32_t Str806(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = endRequestChecks(s, sidu); e != 0) return e;
  const uint64_t vm = s->vm;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduAE(s, vm, d); });
  if (r != 0) return r;
  sidu->serial = vm;
  s->vnextact = 0;
  if (s->vsc != 0) s->va = vm;
  ++s->vm;
  s->state = STA04B;
  return 0;
}

uint32_t Str805(Smachine* s, SIDU* sidu) {
  if (const uint32_t e = endRequestChecks(s, sidu); e != 0) return e;
  sidu->serial = s->vm;
  return s_dropRequest(sidu);
}

uint32_t Str804(Smachine* s, SIDU*) {
  if (const uint32_t e = majorPointUpdate(s, aeTokens(s)); e != 0) return e;
  s->vnextact = 0;
  s->state = STA10B;
  (void)SACTEind(s);
  return 0;
}

uint32_t Str803(Smachine* s, SIDU*) {
  if (const uint32_t e = majorPointUpdate(s, aeTokens(s)); e != 0) return e;
  return ignored(s);
}

uint32_t Str802(Smachine* s, SIDU*) { return aeTokens(s) ? ignored(s) : uint32_t{S_NO_EXPEDITED}; }

uint32_t Str807(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (const uint32_t e = announce(s, 1); e != 0) return e;
  const uint64_t sn = s->vm - 1;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduAEA(s, sn, d); });
  if (r != 0) return r;
  majorDone(s, s->vnextact);
  return 0;
}

uint32_t Str800(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, true); e != 0) return e;
  majorDone(s, s->vnextact);
  (void)SSYNMAcnf(s);
  return 0;
}

uint32_t Str801(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, true); e != 0) return e;
  majorDone(s, s->vnextact);
  (void)SACTEcnf(s);
  return 0;
}

uint32_t Str831(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, false); e != 0) return e;
  if (!uses(s, SR_ACTIVITY) || s->vnextact != 0) return S_NO_EXPEDITED;
  majorDone(s, 0);
  (void)SACTEcnf(s);
  return recall(s);
}

uint32_t Str837(Smachine* s, SIDU*) {
  if (const uint32_t e = majorConfirmChecks(s, false); e != 0) return e;
  return ignored(s);
}

// ---------------------------------------------------------------------------
// Activity interrupt and discard

namespace {

enum class Cond { Active, ActiveNoVrsp, Owner, OwnerAnyUnits, None };

bool interruptAllowed(const Smachine* s, Cond c) {
  const bool owner = (s->owned & TK_MAJOR) != 0;
  switch (c) {
    case Cond::Active: return uses(s, SR_ACTIVITY) && s->vact != 0 && owner;
    case Cond::ActiveNoVrsp: return uses(s, SR_ACTIVITY) && s->vact != 0 && owner && s->vrsp == 0;
    case Cond::Owner: return s->vact != 0 && owner;
    case Cond::OwnerAnyUnits: return uses(s, SR_ACTIVITY) && owner;
    case Cond::None: return true;
  }
  return false;
}

// S-ACTIVITY-INTERRUPT (`discard` false) or S-ACTIVITY-DISCARD request.
uint32_t leaveActivity(Smachine* s, SIDU* sidu, bool discard, Cond c) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1WithData(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!interruptAllowed(s, c)) return S_NO_EXPEDITED;
  const bool recallAfter = s->state == STA15A;
  if (const uint32_t e = announce(s, 2); e != 0) return e;
  const uint8_t reason = static_cast<uint8_t>(sidu->reason);
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) {
    return discard ? pduAD(s, reason, d) : pduAI(s, reason, d);
  });
  if (r != 0) return r;
  s->vrsp = discard ? 5 : 4;
  s->state = discard ? STA05C : STA05B;
  return recallAfter ? recall(s) : 0u;
}

// AI or AD received.
uint32_t activityLeft(Smachine* s, bool discard, int texp) {
  if (texp >= 0) {
    if (!uses(s, SR_ACTIVITY) || (s->peer & TK_MAJOR) == 0 || s->texp != texp) return S_NO_EXPEDITED;
  }
  s->vrsp = discard ? 5 : 4;
  s->state = discard ? STA11C : STA11B;
  const uint32_t reason = area().reason;
  (void)(discard ? SACTDind(s, reason) : SACTIind(s, reason));
  return 0;
}

// S-ACTIVITY-INTERRUPT or -DISCARD response: the tokens go to the peer.
uint32_t activityLeftResponse(Smachine* s, SIDU* sidu, bool discard) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1WithData(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (const uint32_t e = announce(s, 3); e != 0) return e;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return discard ? pduADA(s, d) : pduAIA(s, d); });
  if (r != 0) return r;
  s_setOwned(s, static_cast<uint8_t>(s->owned & ~s->av));
  s->vact = 0;
  s->vrsp = 0;
  s->state = STA713;
  return 0;
}

// AIA or ADA received: the tokens are all here.
uint32_t activityLeftConfirm(Smachine* s, bool discard) {
  const bool held = s->state == STA15C;
  if (held ? (s->texp != 1 || (s->vrsp != 4 && s->vrsp != 5)) : s->texp != 0) return S_NO_EXPEDITED;
  s_setOwned(s, static_cast<uint8_t>(s->owned | s->av));
  s->vact = 0;
  s->vrsp = 0;
  s->state = STA713;
  if (held) {
    if (const uint32_t e = recall(s); e != 0) return e;
  }
  (void)(discard ? SACTDcnf(s) : SACTIcnf(s));
  return 0;
}

}  // namespace

uint32_t Str816(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::Active); }
uint32_t Str817(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::Owner); }
uint32_t Str824(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::ActiveNoVrsp); }
uint32_t Str825(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::OwnerAnyUnits); }
uint32_t Str832(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::Active); }
uint32_t Str833(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, false, Cond::None); }
uint32_t Str814(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, true, Cond::Active); }
uint32_t Str815(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, true, Cond::Owner); }
uint32_t Str821(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, true, Cond::ActiveNoVrsp); }
uint32_t Str822(Smachine* s, SIDU* sidu) { return leaveActivity(s, sidu, true, Cond::OwnerAnyUnits); }

uint32_t Str811(Smachine* s, SIDU*) { return activityLeft(s, false, 0); }
uint32_t Str812(Smachine* s, SIDU*) { return activityLeft(s, false, 1); }
uint32_t Str834(Smachine* s, SIDU*) { return activityLeft(s, false, -1); }
uint32_t Str808(Smachine* s, SIDU*) { return activityLeft(s, true, 0); }
uint32_t Str809(Smachine* s, SIDU*) { return activityLeft(s, true, 1); }

uint32_t Str818(Smachine* s, SIDU* sidu) { return activityLeftResponse(s, sidu, false); }
uint32_t Str823(Smachine* s, SIDU* sidu) { return activityLeftResponse(s, sidu, true); }

uint32_t Str813(Smachine* s, SIDU*) { return activityLeftConfirm(s, false); }
uint32_t Str810(Smachine* s, SIDU*) { return activityLeftConfirm(s, true); }
uint32_t Str820(Smachine* s, SIDU*) { return activityLeftConfirm(s, false); }
uint32_t Str819(Smachine* s, SIDU*) { return activityLeftConfirm(s, true); }

// ---------------------------------------------------------------------------
// Control give

uint32_t Str830(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1WithData(s, sidu)) return S_USER_DATA_OVERFLOW;
  if (!uses(s, SR_ACTIVITY) || s->vact != 0 || s->ownedAv != s->av) return S_NO_EXPEDITED;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduGTC(s, d); });
  if (r != 0) return r;
  s_setOwned(s, 0);
  ++s->credit;
  s->state = STA18;
  return 0;
}

uint32_t Str835(Smachine* s, SIDU*) {
  if (!uses(s, SR_ACTIVITY) || s->vact != 0 || s->ownedAv != 0) return S_NO_EXPEDITED;
  SpduArea& a = area();
  if (a.userData == nullptr) {
    reclaim_buf();
    a.delivered = nullptr;
  }
  if (const uint32_t r = s_request(nullptr, [&](SessionBuffer* d) { return pduGTA(s, d); }); r != 0) return r;
  s_setOwned(s, static_cast<uint8_t>(s->owned | s->av));
  (void)SCGind(s);
  return 0;
}

uint32_t Str836(Smachine* s, SIDU*) {
  ++s->credit;
  s->state = STA713;
  return recall(s);
}

// ---------------------------------------------------------------------------
// Resynchronisation

namespace {

// Resynchronisation types as the RS carries them, and as Vrsp holds them.
enum : uint8_t { RS_RESTART = 0, RS_ABANDON = 1, RS_SET = 2 };
enum : uint8_t { VRSP_RESTART = 1, VRSP_SET = 2, VRSP_ABANDON = 3 };
constexpr uint64_t kSerialMax = 999999;

uint8_t pendingKind(uint8_t rsType) {
  return rsType == RS_RESTART ? VRSP_RESTART : rsType == RS_ABANDON ? VRSP_ABANDON : VRSP_SET;
}

bool syncUnits(const Smachine* s) { return uses(s, SR_MINORSYNC | SR_MAJORSYNC); }
bool noCollision(const Smachine* s) { return s->relCollision == 0; }
bool majorRule(const Smachine* s) { return !uses(s, SR_ACTIVITY) || s->vnextact == 1; }

// The serial number of a request of `rsType`, or an error.
uint32_t requestSerial(const Smachine* s, const SIDU* sidu, uint8_t rsType, uint64_t* sn) {
  switch (rsType) {
    case RS_ABANDON: *sn = s->vm; return 0;
    case RS_RESTART:
      *sn = sidu->serial;
      return sidu->serial >= s->vr && sidu->serial <= s->vm ? 0u : uint32_t{S_NO_EXPEDITED};
    default:
      *sn = sidu->serial;
      return sidu->serial <= kSerialMax ? 0u : uint32_t{S_NO_EXPEDITED};
  }
}

// S-RESYNCHRONIZE request whose cell condition is `allowed`.
uint32_t resyncRequest(Smachine* s, SIDU* sidu, uint8_t rsType, bool allowed) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  uint64_t sn = 0;
  if (const uint32_t e = requestSerial(s, sidu, rsType, &sn); e != 0) return e;
  const uint8_t kind = pendingKind(rsType);
  // Over a resynchronisation the peer asked for, the own one goes only
  // when the pending one does not win.
  if (s->state == STA11A) allowed = SPMwinner(s, kind, sn, s->acc) == 0;
  if (!allowed) return S_NO_EXPEDITED;
  const bool held = s->state == STA15A;
  const uint8_t next = s->state == STA15B ? STA06 : STA05A;
  if (const uint32_t e = announce(s, 2); e != 0) return e;
  const uint8_t tokens = sidu->tokens;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduRS(s, rsType, tokens, sn, d); });
  if (r != 0) return r;
  s->vrsp = kind;
  if (rsType == RS_RESTART) s->vrspnb = sn;
  s->state = next;
  return held ? recall(s) : 0u;
}

// An RS received: the peer's resynchronisation is taken.
uint32_t takeResync(Smachine* s, uint8_t rsType) {
  const uint64_t sn = area().serial;
  uint64_t shown = sn;
  switch (rsType) {
    case RS_ABANDON:
      if (sn > s->vm) s->vm = sn;
      shown = s->vm;
      break;
    case RS_RESTART:
      s->vrspnb = sn;
      break;
    default:
      break;
  }
  s->vrsp = pendingKind(rsType);
  s->state = STA11A;
  (void)SRSYNind(s, shown);
  return 0;
}

bool restartPointOk(const Smachine* s, uint8_t rsType) { return rsType != RS_RESTART || area().serial >= s->vr; }

uint32_t resyncReceived(Smachine* s, uint8_t rsType, bool allowed) {
  if (!allowed || !restartPointOk(s, rsType)) return S_NO_EXPEDITED;
  return takeResync(s, rsType);
}

// An RS crossing the own one: the one that wins goes on.
uint32_t resyncCrossing(Smachine* s, uint8_t rsType) {
  if (!uses(s, SR_RESYNC) || !restartPointOk(s, rsType)) return S_NO_EXPEDITED;
  const bool held = s->state == STA06;
  if (!held && s->texp != 0) return S_NO_EXPEDITED;
  if (SPMwinner(s, pendingKind(rsType), area().serial, s->acc != 0 ? 0u : 1u) != 0) {
    ++s->credit;
    if (held) s->state = STA05A;
  } else {
    (void)takeResync(s, rsType);
  }
  return held ? recall(s) : 0u;
}

bool rsReceivable(const Smachine* s) { return uses(s, SR_RESYNC) && s->texp == 0; }
bool rsIn03(const Smachine* s) { return rsReceivable(s) && noCollision(s) && !uses(s, SR_ACTIVITY); }
bool rsIn713(const Smachine* s) { return rsReceivable(s) && activityRule(s); }
bool rsIn15B(const Smachine* s) { return uses(s, SR_RESYNC) && activityRule(s); }

// The serial number that settles the resynchronisation under way.
bool settlingSerial(const Smachine* s, uint64_t sn, bool atLeast) {
  switch (s->vrsp) {
    case VRSP_RESTART: return sn == s->vrspnb;
    case VRSP_ABANDON: return atLeast ? sn >= s->vm : sn == s->vm;
    case VRSP_SET: return true;
    default: return false;
  }
}

void resyncDone(Smachine* s, uint64_t sn) {
  s->va = s->vm = sn;
  if (s->vrsp != VRSP_RESTART) s->vr = 0;
  s->vrsp = 0;
  s->state = STA713;
}

uint32_t resyncConfirm(Smachine* s, int texp) {
  if (!uses(s, SR_RESYNC) || s->texp != texp) return S_NO_EXPEDITED;
  const SpduArea& a = area();
  if (!settlingSerial(s, a.serial, true)) return S_NO_EXPEDITED;
  resyncDone(s, a.serial);
  s_setOwned(s, s_tokensOnSide(s->av, a.tokenSetting, 0));
  (void)SRSYNcnf(s);
  return texp == 1 ? recall(s) : 0u;
}

}  // namespace

// Abandon.
uint32_t Str700(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_ABANDON, uses(s, SR_RESYNC)); }
uint32_t Str701(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_ABANDON, noCollision(s) && uses(s, SR_RESYNC) && !uses(s, SR_ACTIVITY));
}
uint32_t Str702(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_ABANDON, false); }
uint32_t Str703(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_ABANDON, uses(s, SR_RESYNC) && majorRule(s));
}
uint32_t Str704(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_ABANDON, s->vrsp == 0 && uses(s, SR_RESYNC));
}
uint32_t Str705(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_ABANDON, activityRule(s) && uses(s, SR_RESYNC));
}

// Restart.
uint32_t Str706(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_RESTART,
                       noCollision(s) && syncUnits(s) && uses(s, SR_RESYNC) && !uses(s, SR_ACTIVITY));
}
uint32_t Str707(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_RESTART, syncUnits(s) && uses(s, SR_RESYNC));
}
uint32_t Str708(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_RESTART, false); }
uint32_t Str709(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_RESTART, s->vrsp == 0 && syncUnits(s) && uses(s, SR_RESYNC));
}
uint32_t Str710(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_RESTART, activityRule(s) && syncUnits(s) && uses(s, SR_RESYNC));
}

// Set.
uint32_t Str711(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_SET, uses(s, SR_RESYNC)); }
uint32_t Str712(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_SET,
                       noCollision(s) && syncUnits(s) && uses(s, SR_RESYNC) && !uses(s, SR_ACTIVITY));
}
uint32_t Str713(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_SET, syncUnits(s) && uses(s, SR_RESYNC));
}
uint32_t Str714(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_SET, false); }
uint32_t Str715(Smachine* s, SIDU* sidu) { return resyncRequest(s, sidu, RS_SET, uses(s, SR_RESYNC) && majorRule(s)); }
uint32_t Str716(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_SET, s->vrsp == 0 && uses(s, SR_RESYNC));
}
uint32_t Str717(Smachine* s, SIDU* sidu) {
  return resyncRequest(s, sidu, RS_SET, activityRule(s) && uses(s, SR_RESYNC));
}

// S-RESYNCHRONIZE response.
uint32_t Str718(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1TooLong(s, sidu)) return S_USER_DATA_OVERFLOW;
  const uint8_t tokens = sidu->tokens;
  const uint64_t sn = sidu->serial;
  if (s_tokensUnsettled(tokens, TK_ALL) || !settlingSerial(s, sn, false)) return S_NO_EXPEDITED;
  if (const uint32_t e = announce(s, 3); e != 0) return e;
  const uint32_t r = s_request(sidu, [&](SessionBuffer* d) { return pduRA(s, tokens, sn, d); });
  if (r != 0) return r;
  resyncDone(s, sn);
  s_setOwned(s, s_tokensOnSide(s->av, tokens, 1));
  return 0;
}

// RS received: abandon, restart, set.
uint32_t Str724(Smachine* s, SIDU*) { return resyncReceived(s, RS_ABANDON, rsIn03(s)); }
uint32_t Str725(Smachine* s, SIDU*) { return resyncReceived(s, RS_ABANDON, rsReceivable(s)); }
uint32_t Str729(Smachine* s, SIDU*) { return resyncReceived(s, RS_ABANDON, rsIn15B(s)); }
uint32_t Str730(Smachine* s, SIDU*) { return resyncReceived(s, RS_ABANDON, rsIn713(s)); }
uint32_t Str731(Smachine* s, SIDU*) { return resyncReceived(s, RS_RESTART, rsIn03(s)); }
uint32_t Str732(Smachine* s, SIDU*) { return resyncReceived(s, RS_RESTART, rsReceivable(s)); }
uint32_t Str735(Smachine* s, SIDU*) { return resyncReceived(s, RS_RESTART, rsIn15B(s)); }
uint32_t Str736(Smachine* s, SIDU*) { return resyncReceived(s, RS_RESTART, rsIn713(s)); }
uint32_t Str737(Smachine* s, SIDU*) { return resyncReceived(s, RS_SET, rsIn03(s)); }
uint32_t Str738(Smachine* s, SIDU*) { return resyncReceived(s, RS_SET, rsReceivable(s)); }
uint32_t Str741(Smachine* s, SIDU*) { return resyncReceived(s, RS_SET, rsIn15B(s)); }
uint32_t Str742(Smachine* s, SIDU*) { return resyncReceived(s, RS_SET, rsIn713(s)); }

uint32_t Str727(Smachine* s, SIDU*) { return uses(s, SR_RESYNC) ? ignored(s) : uint32_t{S_NO_EXPEDITED}; }

uint32_t Str726(Smachine* s, SIDU*) { return resyncCrossing(s, RS_ABANDON); }
uint32_t Str728(Smachine* s, SIDU*) { return resyncCrossing(s, RS_ABANDON); }
uint32_t Str733(Smachine* s, SIDU*) { return resyncCrossing(s, RS_RESTART); }
uint32_t Str734(Smachine* s, SIDU*) { return resyncCrossing(s, RS_RESTART); }
uint32_t Str739(Smachine* s, SIDU*) { return resyncCrossing(s, RS_SET); }
uint32_t Str740(Smachine* s, SIDU*) { return resyncCrossing(s, RS_SET); }

// RA received.
uint32_t Str743(Smachine* s, SIDU*) { return resyncConfirm(s, 0); }
uint32_t Str744(Smachine* s, SIDU*) { return resyncConfirm(s, 1); }
