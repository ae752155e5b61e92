// Action routines of connection establishment, orderly and negotiated
// release and abort, with the checks of received CN and AC SPDUs.
#include <cstring>

#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/spdu.h"
#include "src/session/spm.h"
#include "src/session/spm_actions.h"
#include "src/session/stimer.h"
#include "src/session/tp0addr.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/spmconn";

constexpr uint32_t kSyncUnits = SR_MINORSYNC | SR_MAJORSYNC | SR_RESYNC;
constexpr uint64_t kMaxSerial = 999999;
constexpr uint32_t kAbortDataV1 = 9;

SpduArea& area() { return getSessionTLS(0)->spdu; }

// Serial numbers matter only with synchronisation and without activities.
bool badIsn(uint32_t r, uint64_t isn) {
  return (r & SR_ACTIVITY) == 0 && (r & kSyncUnits) != 0 && isn > kMaxSerial;
}

// The user data of a request, or an empty buffer for one without.
SessionBuffer* requestData(SIDU* sidu) {
  if (sidu != nullptr && sidu->userData != nullptr) return sidu->userData;
  return balloc(0);
}

// After a builder took the request's buffer, the request no longer holds it.
void handedOver(SIDU* sidu, SessionBuffer* buf) {
  if (sidu != nullptr && sidu->userData == buf) sidu->userData = nullptr;
}

// A buffer made here for a request without data, given back when the
// builder could not take it.
void dropOwn(SIDU* sidu, SessionBuffer* buf) {
  if (sidu == nullptr || sidu->userData != buf) bfree(buf);
}

void dropRequest(SIDU* sidu) {
  if (sidu == nullptr) return;
  s_freeChain(sidu->userData);
  sidu->userData = nullptr;
}

// The peer address of an S-CONNECT request, copied within the record's
// fields. A network address list longer than the field is cut to the four
// whole addresses that fit (5 octets each, the last without separator).
void copyPeerAddress(SAddress* dst, const SAddress* src) {
  if (src == nullptr) {
    *dst = SAddress{};
    return;
  }
  *dst = *src;
  if (dst->ssap.len > kSsapMaxLen) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "session selector of %u octets cut to %u\n", static_cast<unsigned>(dst->ssap.len),
             static_cast<unsigned>(kSsapMaxLen));
    dst->ssap.len = kSsapMaxLen;
  }
  if (dst->tsap.len > kTsapMaxLen) {
    TM_TRACE(sess_TM_handle, 8, kSrc, "transport selector of %u octets cut to %u\n",
             static_cast<unsigned>(dst->tsap.len), static_cast<unsigned>(kTsapMaxLen));
    dst->tsap.len = kTsapMaxLen;
  }
  if (dst->nsap.len > kNsapMaxLen) {
    constexpr uint32_t kFourAddresses = 4 * 5 - 1;
    TM_TRACE(sess_TM_handle, 8, kSrc, "network address list of %u octets cut to %u (4 addresses)\n",
             static_cast<unsigned>(dst->nsap.len), static_cast<unsigned>(kFourAddresses));
    dst->nsap.len = kFourAddresses;
  }
}

// Checks 1 to 4 of an S-CONNECT request; the requirements as adjusted.
uint32_t connectChecks(const Smachine* s, const SIDU* sidu, uint32_t* reqOut) {
  uint32_t r = sidu->requirements;
  if ((r & (SR_DUPLEX | SR_EXCEPTIONS)) == (SR_DUPLEX | SR_EXCEPTIONS)) return S_BAD_FUS;
  if ((r & SR_CAPABILITY) != 0) r |= SR_ACTIVITY;
  if ((r & SR_EXCEPTIONS) != 0) r |= SR_HALFDUPLEX;
  if ((r & (SR_HALFDUPLEX | SR_DUPLEX)) == 0) return S_BAD_FUS;
  // No version at all could never be agreed on.
  if (sidu->version > 3 || sidu->version == 0) return S_BAD_VERSION;
  if ((r & kSrRefused) != 0) return S_BAD_FUS;
  const uint32_t len = s_chainLength(sidu->userData);
  if ((sidu->version == 1 && len > kUserDataV1Max) || len > kExtUserDataMax) return S_USER_DATA_OVERFLOW;
  if (badIsn(r, sidu->serial)) return S_INVALID_ISN;
  (void)s;
  *reqOut = r;
  return 0;
}

// Fresh data-transfer state of a connection just made.
void startTransfer(Smachine* s, uint64_t isn) {
  s->va = s->vm = isn;
  s->vr = 0;
  s->relCollision = 0;
  s->collisionAnswered = 0;
  s->vsc = 0;
  s->vact = 0;
  s->vrsp = 0;
  s->vrspnb = 0;
  s_setAvailable(s);
}

// An RF answering a CN that cannot be taken; false when no buffer could be
// had for it (nor for its header): the caller then disconnects, since a
// peer that is told nothing would wait for its answer.
bool refuse(Smachine* s, uint8_t reason) {
  SessionBuffer* b = balloc(0);
  if (b == nullptr) return false;
  if (pduRF(s, 0, nullptr, reason, b) == S_NO_BUFFER) {
    bfree(b);
    return false;
  }
  STIMreq(s, kStimRelease);
  s->state = STA16;
  return true;
}

bool v1(const Smachine* s) { return s->version == 1; }

// The received held buffers are freed; the area no longer points at them.
void freeHeld() {
  reclaim_buf();
  SpduArea& a = area();
  a.userData = nullptr;
  a.delivered = nullptr;
}

// FN checks in the data-transfer states: the peer holds every available
// token and no activity is in progress.
bool finishAllowed(const Smachine* s) {
  if ((s->notOwned & TK_ALL) != TK_ALL) return false;
  if ((s->requirements & SR_ACTIVITY) != 0 && s->vact != 0) return false;
  return true;
}

// The FN asks to keep the transport connection: only a called side without
// expedited transport may.
bool keepAllowed(const Smachine* s) { return s->acc == 1 && s->texp == 0; }

uint32_t releaseChecks(const Smachine* s, const SIDU* sidu) {
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  if ((s->usable & TK_ALL) != TK_ALL) return S_NO_EXPEDITED;
  if ((s->requirements & SR_ACTIVITY) != 0 && s->vact != 0) return S_NO_EXPEDITED;
  return 0;
}

uint32_t sendFN(Smachine* s, SIDU* sidu) {
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  const uint32_t r = pduFN(s, 0, d);
  if (r == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return r;
  }
  handedOver(sidu, d);
  return s_sent(r);
}

uint32_t userAbort(Smachine* s, SIDU* sidu) {
  const uint32_t len = s_chainLength(sidu != nullptr ? sidu->userData : nullptr);
  if (v1(s) && len > kAbortDataV1) return S_USER_DATA_OVERFLOW;
  SessionBuffer* d = sidu != nullptr ? sidu->userData : nullptr;
  if (d == nullptr && s->texp == 0) {
    d = balloc(0);
    if (d == nullptr) {
      (void)disconnect(s);
      return S_EVENT_IGNORED;
    }
  }
  if (!v1(s) && len > kAbortDataV1 && s->texp == 1) (void)pduPR(s, 4);
  const uint32_t r = pduAB(s, 3, d);
  if (r == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return r;
  }
  handedOver(sidu, d);
  STIMreq(s, kStimRelease);
  s->state = STA16;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers

uint8_t s_tokensAvailable(uint32_t r) {
  uint8_t av = 0;
  if ((r & SR_HALFDUPLEX) != 0) av |= TK_DATA;
  if ((r & SR_MINORSYNC) != 0) av |= TK_MINOR;
  if ((r & (SR_MAJORSYNC | SR_ACTIVITY)) != 0) av |= TK_MAJOR;
  if ((r & SR_NEGOTIATED_RELEASE) != 0) av |= TK_RELEASE;
  return av;
}

void s_setAvailable(Smachine* s) { s->av = s_tokensAvailable(s->requirements); }

void s_setOwned(Smachine* s, uint8_t owned) {
  s->owned = owned;
  s->usable = static_cast<uint8_t>(~s->av | owned);
  s->notOwned = static_cast<uint8_t>(~(s->av & owned));
  s->ownedAv = static_cast<uint8_t>(s->av & owned);
  s->peer = static_cast<uint8_t>(s->av & ~owned);
  TM_TRACE(sess_TM_handle, 64, kSrc, "AV=%02x OWNED=%02x ", static_cast<unsigned>(s->av),
           static_cast<unsigned>(s->owned));
}

uint8_t s_tokensOnSide(uint8_t av, uint8_t setting, uint8_t side) {
  uint8_t tokens = 0;
  for (uint32_t shift = 0; shift < 8; shift += 2) {
    const uint8_t bit = static_cast<uint8_t>(1u << shift);
    if ((av & bit) != 0 && ((setting >> shift) & 3u) == side) tokens |= bit;
  }
  return tokens;
}

bool s_tokensUnsettled(uint8_t setting, uint8_t tokens) {
  for (uint32_t shift = 0; shift < 8; shift += 2) {
    const uint8_t bit = static_cast<uint8_t>(1u << shift);
    if ((tokens & bit) != 0 && ((setting >> shift) & 2u) != 0) return true;
  }
  return false;
}

uint32_t s_chainLength(const SessionBuffer* buf) {
  if (buf == nullptr) return 0;
  uint32_t n = buf->length;
  for (const SessionBuffer* b = buf->next; b != nullptr && b != buf; b = b->next) n += b->length;
  return n;
}

bool s_dataTooLong(const Smachine* s, const SIDU* sidu, uint32_t limit, uint32_t limit2) {
  const uint32_t len = s_chainLength(sidu != nullptr ? sidu->userData : nullptr);
  if (v1(s) && len > limit) return true;
  return limit2 != 0 && len > limit2;
}

uint32_t s_sent(uint32_t r) {
  if (r == S_NO_BUFFER) return r;
  return static_cast<int32_t>(r) < 0 ? uint32_t{S_UNSPECIFIED} : 0u;
}

uint32_t EXrecall(Smachine* s) {
  if (sq_empty(&s->exQ)) return 0;
  if ((s->requirements & SR_EXPEDITED) == 0) return S_NO_EXPEDITED;
  while (SessionBuffer* b = sq_take(&s->exQ)) {
    if (s->state == STA713) (void)SEXind(s, b);
    else bfree(b);
  }
  return 0;
}

uint32_t PRrecall(Smachine* s) {
  if (s->prCount == 0) return 0;
  const uint32_t n = s->prCount < kPrMarkers ? s->prCount : kPrMarkers;
  for (uint32_t i = 0; i < n; ++i) {
    if (s->prMarkers[i] == 'F' && s->state == STA05A) {
      s->state = STA15C;
    } else if (s->prMarkers[i] == 'G') {
      if (s->state == STA05A) s->state = STA06;
      else if (s->state == STA713) s->state = STA15B;
    }
  }
  s->prCount = 0;
  if (s->state == STA06 || s->state == STA15A || s->state == STA15B || s->state == STA15C) ++s->credit;
  return 0;
}

uint32_t acc_CN(Smachine*) {
  const SpduArea& a = area();
  const uint32_t r = a.requirements;
  if (badIsn(r, a.serial)) return S_INVALID_ISN;
  if (a.serial <= kMaxSerial && (r & kSyncUnits) == 0) return S_INVALID_ISN;
  if (a.dataOverflow != 0) return S_NO_EXPEDITED;
  if ((r & (SR_HALFDUPLEX | SR_DUPLEX)) == 0) return S_BAD_FUS;
  return 0;
}

uint32_t acc_AC(Smachine* s) {
  const SpduArea& a = area();
  const uint32_t r = a.requirements;
  if ((s->version & a.version) == 0) return S_BAD_VERSION;
  if ((r & (SR_HALFDUPLEX | SR_DUPLEX)) == (SR_HALFDUPLEX | SR_DUPLEX)) return S_BAD_FUS;
  if (s_tokensUnsettled(a.tokenSetting, s_tokensAvailable(r))) return S_CONREQ_FAIL;
  if (badIsn(r, a.serial)) return S_INVALID_ISN;
  if ((r & SR_EXPEDITED) != 0 && s->texp == 0) return S_INVALID_TSI;
  if (a.calling.ssap.len != 0) {
    const SSel* own = s->owner != nullptr ? &s->owner->ssap.ssap : nullptr;
    if (ssap_cmp(&a.calling.ssap, own) != 0) return S_NO_EXPEDITED;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Connection set-up

// T-CONNECT indication in STA01.
uint32_t Str002(Smachine* s, SIDU*) {
  s->acc = 1;
  s->texp = 0;
  s->state = STA01C;
  STIMreq(s, kStimIdle);
  return 0;
}

// T-CONNECT confirm in STA01B: the CN waiting in the output queue goes.
uint32_t Str003(Smachine* s, SIDU*) {
  s->state = STA02A;
  if (s->texp == 0) s->requirements &= ~uint32_t{SR_EXPEDITED};
  return static_cast<int32_t>(s_transmit(s)) < 0 ? uint32_t{S_UNSPECIFIED} : 0u;
}

// S-CONNECT request in STA01.
uint32_t Str004(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  uint32_t req = 0;
  if (const uint32_t e = connectChecks(s, sidu, &req); e != 0) return e;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  copyPeerAddress(&s->peerAddr, sidu->address);
  s->requirements = req;
  s->version = sidu->version;
  s->userRef = sidu->userRef;
  // Expedited transport only where the transport offers it (TP0 does not):
  // otherwise every SPDU, short aborts included, goes as normal data.
  s->texp = S_tpi_expeditedAvailable(s) != 0 ? 1 : 0;
  s->acc = 0;
  const uint32_t r = TCONreq(s);
  if (r != 0) {
    dropOwn(sidu, d);
    return r;
  }
  s->state = STA01B;
  const uint32_t b = pduCN(s, sidu->tokens, &sidu->cid, sidu->serial, d);
  if (b == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return b;
  }
  handedOver(sidu, d);
  return 0;
}

// S-CONNECT request in STA01C, on an idle transport connection.
uint32_t Str005(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  uint32_t req = 0;
  if (const uint32_t e = connectChecks(s, sidu, &req); e != 0) return e;
  if (s->acc != 0) return S_NO_EXPEDITED;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  copyPeerAddress(&s->peerAddr, sidu->address);
  s->requirements = req;
  s->version = sidu->version;
  s->userRef = sidu->userRef;
  if (s->texp == 0) s->requirements &= ~uint32_t{SR_EXPEDITED};
  const uint32_t b = pduCN(s, sidu->tokens, &sidu->cid, sidu->serial, d);
  if (b == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return b;
  }
  handedOver(sidu, d);
  s->state = STA02A;
  STIMcan(s);
  return 0;
}

// S-CONNECT response, accept, in STA08.
uint32_t Str006(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  const uint32_t r = sidu->requirements;
  if ((sidu->tokens & 0xAA) != 0) return S_CONREQ_FAIL;
  if ((r & kSrRefused) != 0) return S_BAD_FUS;
  if ((r & SR_EXPEDITED) != 0 && s->texp == 0) return S_INVALID_TSI;
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  if (badIsn(r, sidu->serial)) return S_INVALID_ISN;
  const uint32_t mode = r & (SR_HALFDUPLEX | SR_DUPLEX);
  if (mode == 0 || mode == (SR_HALFDUPLEX | SR_DUPLEX)) return S_BAD_FUS;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;

  const uint32_t before = s->requirements;
  s->requirements &= r;
  const uint32_t b = pduAC(s, sidu->tokens, &sidu->cid, sidu->serial, d);
  if (b == S_NO_BUFFER) {
    s->requirements = before;
    dropOwn(sidu, d);
    return b;
  }
  handedOver(sidu, d);
  startTransfer(s, sidu->serial);
  s_setOwned(s, s_tokensOnSide(s->av, sidu->tokens, 1));
  s->state = STA713;
  return s_sent(b);
}

// S-CONNECT response, reject, in STA08.
uint32_t Str007(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  const uint32_t before = s->requirements;
  s->requirements = sidu->requirements;
  const uint32_t b = pduRF(s, 0, &sidu->cid, 2, d);
  if (b == S_NO_BUFFER) {
    s->requirements = before;
    dropOwn(sidu, d);
    return b;
  }
  handedOver(sidu, d);
  STIMreq(s, kStimRelease);
  s->state = STA16;
  return 0;
}

// CN in STA01C.
uint32_t Str008(Smachine* s, SIDU*) {
  SpduArea& a = area();
  uint32_t r = a.requirements;
  if ((r & SR_CAPABILITY) != 0) r |= SR_ACTIVITY;
  if ((r & SR_EXCEPTIONS) != 0) r |= SR_HALFDUPLEX;
  if (s->texp == 0) r &= ~uint32_t{SR_EXPEDITED};
  s->requirements = r;
  s->peerAddr.ssap = a.calling.ssap;
  STIMcan(s);
  if (s->acc == 0) {
    (void)disconnect(s);
    return 0;
  }
  SSAPaddr called{};
  called.ssap = a.called.ssap;
  SsUser* user = find_ss_user(&called);
  if (user == nullptr) {
    freeHeld();
    if (!refuse(s, 129)) (void)disconnect(s);
    return 0;
  }
  s->owner = user;
  if ((a.version & 0x02) != 0) {
    s->version = 2;
  } else if ((a.version & 0x01) != 0) {
    s->version = 1;
  } else {
    if (!refuse(s, 132)) (void)disconnect(s);
    return 0;
  }
  if (acc_CN(s) != 0) return S_NO_EXPEDITED;
  s->state = STA08;
  (void)SCONind(s);
  return 0;
}

// Any SPDU that ends an idle or ending connection, timer cancelled.
uint32_t Str009(Smachine* s, SIDU*) {
  STIMcan(s);
  (void)disconnect(s);
  return 0;
}

uint32_t Str010(Smachine* s, SIDU*) {
  (void)disconnect(s);
  return 0;
}

// AC in STA02A.
uint32_t Str011(Smachine* s, SIDU*) {
  if (const uint32_t e = acc_AC(s); e != 0) return e;
  const SpduArea& a = area();
  s->peerAddr.ssap = a.called.ssap;
  s->requirements &= a.requirements;
  // The highest version both sides offer.
  const uint8_t common = static_cast<uint8_t>(s->version & a.version);
  s->version = (common & 0x02) != 0 ? 2 : 1;
  startTransfer(s, a.serial);
  s_setOwned(s, s_tokensOnSide(s->av, a.tokenSetting, 0));
  s->state = STA713;
  (void)SCONcnf(s);
  if (const uint32_t e = EXrecall(s); e != 0) return e;
  return PRrecall(s);
}

namespace {

// RF in STA02A: the reason is the first octet of its user data.
uint32_t refused(Smachine* s) {
  SpduArea& a = area();
  uint32_t reason = 0;
  if (a.userData != nullptr && a.userData->length > 0) {
    reason = a.userData->data[0];
    ++a.userData->data;
    --a.userData->length;
    if (a.userData->length == 0) a.userData = nullptr;  // the held buffer goes with the unit
  }
  if (a.requirementsPresent != 0 && reason != 2) return S_NO_EXPEDITED;
  s->requirements = a.requirements;
  (void)disconnect(s);
  (void)SCONref(s, reason);
  return 0;
}

}  // namespace

uint32_t Str012(Smachine* s, SIDU*) { return refused(s); }
uint32_t Str013(Smachine* s, SIDU*) { return refused(s); }

// ---------------------------------------------------------------------------
// Release

// S-RELEASE request in STA713.
uint32_t Str014(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (const uint32_t e = releaseChecks(s, sidu); e != 0) return e;
  const uint32_t r = sendFN(s, sidu);
  if (r == S_NO_BUFFER) return r;
  s->state = STA03;
  return r;
}

// S-RELEASE request in STA09: a release collision.
uint32_t Str015(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  if (s->av != 0) return S_NO_EXPEDITED;
  const uint32_t r = sendFN(s, sidu);
  if (r == S_NO_BUFFER) return r;
  s->relCollision = 1;
  return r;
}

// S-RELEASE response, accept, in STA09.
uint32_t Str016(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  const bool open = s->relCollision != 0 && s->collisionAnswered == 0;
  if (open && s->acc != 0) return S_NO_EXPEDITED;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  const uint32_t r = pduDN(s, d);
  if (r == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return r;
  }
  handedOver(sidu, d);
  if (open) {
    s->state = STA03;
  } else {
    STIMreq(s, kStimRelease);
    s->state = STA16;
  }
  return s_sent(r);
}

namespace {

// FN in STA03 while our own FN is out: a collision.
uint32_t finishCollision(Smachine* s, bool keep) {
  if (s->av != 0) return S_NO_EXPEDITED;
  if (keep && !keepAllowed(s)) return S_NO_EXPEDITED;
  s->relCollision = 1;
  s->state = STA09;
  (void)SRELind(s);
  return 0;
}

uint32_t finishReceived(Smachine* s, bool keep) {
  if (!finishAllowed(s)) return S_NO_EXPEDITED;
  if (keep && !keepAllowed(s)) return S_NO_EXPEDITED;
  s->state = STA09;
  (void)SRELind(s);
  return 0;
}

uint32_t finishIgnored(Smachine* s, bool keep) {
  if (!finishAllowed(s)) return S_NO_EXPEDITED;
  if (keep && !keepAllowed(s)) return S_NO_EXPEDITED;
  ++s->credit;
  return 0;
}

}  // namespace

uint32_t Str017(Smachine* s, SIDU*) { return finishCollision(s, true); }
uint32_t Str018(Smachine* s, SIDU*) { return finishReceived(s, true); }
uint32_t Str019(Smachine* s, SIDU*) { return finishCollision(s, false); }
uint32_t Str020(Smachine* s, SIDU*) { return finishReceived(s, false); }

// DN in STA03: released.
uint32_t Str021(Smachine* s, SIDU*) {
  (void)disconnect(s);
  (void)SRELcnf(s);
  return 0;
}

// DN in STA09: the answer to our FN of a collision.
uint32_t Str022(Smachine* s, SIDU*) {
  if (s->relCollision == 0) return S_NO_EXPEDITED;
  s->collisionAnswered = 1;
  (void)SRELcnf(s);
  return 0;
}

// T-DISCONNECT indication in STA01A and STA16.
uint32_t Str023(Smachine* s, SIDU*) {
  STIMcan(s);
  s->state = STA01;
  return 0;
}

// T-DISCONNECT indication in a connected state.
uint32_t Str024(Smachine* s, SIDU*) {
  s->state = STA01;
  (void)SPABind(s, kPAbortTransport);
  return 0;
}

// ---------------------------------------------------------------------------
// Abort

uint32_t Str025(Smachine* s, SIDU* sidu) { return userAbort(s, sidu); }

// AA, or an AB keeping the transport, in STA01A.
uint32_t Str026(Smachine* s, SIDU*) {
  STIMcan(s);
  STIMreq(s, kStimIdle);
  s->state = STA01C;
  return 0;
}

// AB keeping the transport in STA01C.
uint32_t Str027(Smachine* s, SIDU*) {
  freeHeld();
  (void)disconnect(s);
  return 0;
}

// AB keeping the transport in a connected state.
uint32_t Str028(Smachine* s, SIDU*) {
  if (area().userData == nullptr) freeHeld();
  (void)disconnect(s);
  (void)SABind(s);
  return 0;
}

// AB releasing the transport in a connected state.
uint32_t Str029(Smachine* s, SIDU*) {
  (void)disconnect(s);
  (void)SABind(s);
  return 0;
}

// FN while a resynchronisation or exception is pending: checked, ignored.
uint32_t Str030(Smachine* s, SIDU*) { return finishIgnored(s, false); }
uint32_t Str031(Smachine* s, SIDU*) { return finishIgnored(s, true); }

uint32_t Str032(Smachine* s, SIDU* sidu) { return userAbort(s, sidu); }

// S-RELEASE request in STA15B: checked, dropped.
uint32_t Str033(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (const uint32_t e = releaseChecks(s, sidu); e != 0) return e;
  dropRequest(sidu);
  return S_EVENT_IGNORED;
}

// PR announcing an AB.
uint32_t Str034(Smachine* s, SIDU*) {
  if (v1(s)) return S_NO_EXPEDITED;
  s->state = STA15D;
  return 0;
}

// S-U-ABORT request in STA15D: the AB is on its way already.
uint32_t Str035(Smachine* s, SIDU* sidu) {
  STIMreq(s, kStimRelease);
  dropRequest(sidu);
  return S_EVENT_IGNORED;
}

// Receive request: the service entry adds the credit.
uint32_t Str036(Smachine*, SIDU*) { return 0; }

// ---------------------------------------------------------------------------
// Negotiated release

// S-RELEASE response, reject, in STA09.
uint32_t Str300(Smachine* s, SIDU* sidu) {
  if (sidu == nullptr) return S_INVALID_EVENT;
  if (v1(s) && s_chainLength(sidu->userData) > kUserDataV1Max) return S_USER_DATA_OVERFLOW;
  if ((s->requirements & SR_NEGOTIATED_RELEASE) == 0) return S_NO_EXPEDITED;
  SessionBuffer* d = requestData(sidu);
  if (d == nullptr) return S_NO_BUFFER;
  const uint32_t r = pduNF(s, d);
  if (r == S_NO_BUFFER) {
    dropOwn(sidu, d);
    return r;
  }
  handedOver(sidu, d);
  s->state = STA713;
  return s_sent(r);
}

// NF in STA03.
uint32_t Str301(Smachine* s, SIDU*) {
  if ((s->requirements & SR_NEGOTIATED_RELEASE) == 0) return S_NO_EXPEDITED;
  s->state = STA713;
  (void)SRELref(s);
  return 0;
}

// NF in STA15B.
uint32_t Str302(Smachine* s, SIDU*) {
  if ((s->requirements & SR_NEGOTIATED_RELEASE) == 0) return S_NO_EXPEDITED;
  (void)SRELref(s);
  return 0;
}
