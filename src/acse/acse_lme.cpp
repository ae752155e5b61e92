#include "src/acse/acse_lme.h"

#include "src/acse/acse_apdu.h"

namespace {

uint32_t& attr(AcseTLS* tls, uint32_t id) { return tls->lmeAttr[id - kAcLmeFirstAttr]; }

bool isThreshold(uint32_t id) {
  switch (id) {
    case AC_LME_REJ_RCV_PROVIDER_THR:
    case AC_LME_REJ_SND_PROVIDER_THR:
    case AC_LME_ABRT_RCV_PROVIDER_THR:
    case AC_LME_ABRT_SND_PROVIDER_THR:
    case AC_LME_P_ABORTS_THR:
    case AC_LME_P_REJECTS_THR:
      return true;
    default:
      return false;
  }
}

// One more; a counter followed by a threshold calls the manager at each
// multiple of a non-zero threshold.
void count(uint32_t id, bool withThreshold) {
  AcseTLS* tls = getAcseTLS(0);
  if (tls == nullptr) return;
  const uint32_t n = ++attr(tls, id);
  if (!withThreshold) return;
  const uint32_t threshold = attr(tls, id + 1);
  if (threshold == 0 || n % threshold != 0) return;
  if (tls->lmeCallback != nullptr) tls->lmeCallback(id, n, 0, tls);
}

int32_t fail(uint32_t acErrno) {
  QvSetAcError(acErrno);
  return 0;
}

bool rejecting(uint32_t result) {
  return result == AC_RESULT_REJECTED_PERMANENT || result == AC_RESULT_REJECTED_TRANSIENT;
}

}  // namespace

namespace {

// Rejecting AAREs and provider ABRTs, sent or received.
void countApdu(const AcseApdu& apdu, bool sent) {
  if (apdu.code == AC_APDU_AARE && rejecting(apdu.aare.result)) {
    sent ? acAggAsRejSnd() : acAggAsRejRcv();
    if (apdu.aare.resultSource == AC_SOURCE_PROVIDER) sent ? acAcpmRejSnd() : acAcpmRejRcv();
  } else if (apdu.code == AC_APDU_ABRT && apdu.abrt.source == AC_ABORT_PROVIDER) {
    sent ? acAcpmAbrSnd() : acAcpmAbrRcv();
  }
}

}  // namespace

void ac_lme_init(AcLmeCallback callback, const uint64_t profileA[2], const uint64_t profileB[2]) {
  AcseTLS* tls = getAcseTLS(0);
  if (tls == nullptr) return;
  tls->lmeCallback = callback;
  for (int i = 0; i < 2; ++i) {
    tls->profileA[i] = profileA != nullptr ? profileA[i] : 0;
    tls->profileB[i] = profileB != nullptr ? profileB[i] : 0;
  }
}

int32_t ac_lme_get_profile(uint64_t profileA[2], uint64_t profileB[2]) {
  if (profileA == nullptr || profileB == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  const AcseTLS* tls = getAcseTLS(0);
  for (int i = 0; i < 2; ++i) {
    profileA[i] = tls != nullptr ? tls->profileA[i] : 0;
    profileB[i] = tls != nullptr ? tls->profileB[i] : 0;
  }
  return 1;
}

int32_t ac_lme_get_attr(uint32_t attribute, uint32_t* value) {
  if (value == nullptr || attribute == 0) return fail(AC_ERR_NULL_PARAMETER);
  if (attribute < kAcLmeFirstAttr || attribute >= kAcLmeFirstAttr + kAcLmeAttrCount) return fail(AC_ERR_BAD_ATTRIBUTE);
  AcseTLS* tls = getAcseTLS(0);
  *value = tls != nullptr ? attr(tls, attribute) : 0;
  return 1;
}

int32_t ac_lme_set_attr(uint32_t attribute, uint32_t value) {
  if (attribute == 0) return fail(AC_ERR_NULL_PARAMETER);
  if (!isThreshold(attribute)) return fail(AC_ERR_BAD_ATTRIBUTE);
  if (AcseTLS* tls = getAcseTLS(0)) attr(tls, attribute) = value;
  return 1;
}

void acAcpmRejRcv() { count(AC_LME_REJ_RCV_PROVIDER, true); }
void acAcpmRejSnd() { count(AC_LME_REJ_SND_PROVIDER, true); }
void acAggAsRejRcv() { count(AC_LME_REJ_RCV, false); }
void acAggAsRejSnd() { count(AC_LME_REJ_SND, false); }
void acAcpmAbrRcv() { count(AC_LME_ABRT_RCV_PROVIDER, true); }
void acAcpmAbrSnd() { count(AC_LME_ABRT_SND_PROVIDER, true); }
void acaPAborts() { count(AC_LME_P_ABORTS, true); }
void acaAsPRej() { count(AC_LME_P_REJECTS, true); }

int64_t fACSE(void* record) {
  const int64_t n = fApdu(record);
  if (n > 0) countApdu(*static_cast<const AcseApdu*>(record), true);
  return n;
}

void* aACSE(void*) {
  auto* apdu = static_cast<AcseApdu*>(aApdu(nullptr));
  if (apdu != nullptr) countApdu(*apdu, false);
  return apdu;
}
