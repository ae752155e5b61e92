#include "src/acse/acse_bld.h"

#include <algorithm>

#include "src/acse/acsetls.h"

namespace {

bool knownAuthKind(uint32_t kind) {
  return kind == UL_AUTH_STRING || kind == UL_AUTH_BITSTRING || kind == UL_AUTH_EXTERNAL || kind == UL_AUTH_OTHER;
}

// The kind and the whole value (the string, the bit word, the EXTERNAL
// record, or the words of a mechanism); a string keeps its terminating NUL.
int32_t copyAuth(const AcAuthValue* in, AcAuthValue* out) {
  if (in == nullptr || out == nullptr || !knownAuthKind(in->kind)) return 0;
  *out = *in;
  if (out->kind == UL_AUTH_STRING) out->string[sizeof out->string - 1] = '\0';
  return 1;
}

int32_t fail(uint32_t acErrno) {
  QvSetAcError(acErrno);
  return 0;
}

bool emptyName(const ObjIdV* name) { return name == nullptr || name->count == 0; }

// Optional members given by pointer: copied and marked when given.
template <class T>
void optional(const T* given, T& field, uint32_t& presence, uint32_t bit) {
  if (given == nullptr) return;
  field = *given;
  presence |= bit;
}
void optionalTitle(const UL_APTitle& given, UL_APTitle& field, uint32_t& presence, uint32_t bit) {
  if (given.kind == 0) return;
  field = given;
  presence |= bit;
}

// Mechanism name, authentication value, implementation information and user
// data, common to the AARQ and the AARE; their bits in that order.
template <class Rec>
void authAndUser(Rec& r, const uint32_t bits[4], const ObjIdV* mechanism, const AcAuthValue* auth, char* implInfo,
                 uint32_t userCount, const AcUserData* userData) {
  optional(mechanism, r.mechanismName, r.presence, bits[0]);
  if (copyAuth(auth, &r.authValue) == 1) r.presence |= bits[1];
  if (implInfo != nullptr) {
    r.implementationInfo = implInfo;
    r.presence |= bits[2];
  }
  if (AC_setUser(userData, userCount, &r.userInfo) == 1) r.presence |= bits[3];
}

template <class Rec>
int32_t bldRelease(AcseApdu* rec, uint32_t code, Rec& r, uint32_t keep, int32_t reasonFlag, int32_t reason,
                   uint32_t userCount, const AcUserData* userData) {
  rec->code = code;
  r.presence &= keep;
  if (reasonFlag == 1) {
    r.reason = reason;
    r.presence |= AC_RLS_REASON;
  }
  if (userCount > kAcMaxUserInfo) return fail(AC_ERR_TOO_MANY_USER_DATA);
  if (AC_setUser(userData, userCount, &r.userInfo) == 1) r.presence |= AC_RLS_USER_INFO;
  return 1;
}

// Outputs of the tear functions.
template <class T>
void out(T* dst, const T& value) {
  if (dst != nullptr) *dst = value;
}
template <class T>
void outPtr(const T** dst, const T& field, uint32_t presence, uint32_t bit) {
  if (dst != nullptr) *dst = (presence & bit) != 0 ? &field : nullptr;
}
void outTitle(UL_APTitle* dst, const UL_APTitle& field, uint32_t presence, uint32_t bit) {
  if (dst == nullptr) return;
  if ((presence & bit) != 0) {
    *dst = field;
  } else {
    *dst = UL_APTitle{};
  }
}
void outAuth(AcAuthValue* dst, const AcAuthValue& field, uint32_t presence, uint32_t bit) {
  if (dst == nullptr) return;
  if ((presence & bit) == 0 || AC_getAuthValAARQ(&field, dst) == 0) dst->kind = 0;
}
void outUser(const AcUserInfo& list, uint32_t presence, uint32_t bit, uint32_t* count, AcUserData* entries) {
  AC_GetUser((presence & bit) != 0 ? &list : nullptr, count, entries);
}

template <class Rec>
void tearRelease(const Rec& r, int32_t* reasonFlag, int32_t* reason, uint32_t* userCount, AcUserData* userData) {
  if ((r.presence & AC_RLS_REASON) != 0) {
    out(reasonFlag, 1);
    out(reason, r.reason);
  }
  outUser(r.userInfo, r.presence, AC_RLS_USER_INFO, userCount, userData);
}

}  // namespace

int32_t AC_setAuthValAARQ(const AcAuthValue* in, AcAuthValue* field) { return copyAuth(in, field); }
int32_t AC_setAuthValAARE(const AcAuthValue* in, AcAuthValue* field) { return copyAuth(in, field); }
int32_t AC_getAuthValAARQ(const AcAuthValue* field, AcAuthValue* out) { return copyAuth(field, out); }
int32_t AC_getAuthValAARE(const AcAuthValue* field, AcAuthValue* out) { return copyAuth(field, out); }

int32_t AC_setUser(const AcUserData* entries, uint32_t count, AcUserInfo* list) {
  if (entries == nullptr || count == 0 || list == nullptr) return 0;
  list->count = std::min(count, kAcMaxUserInfo);
  for (uint32_t i = 0; i < list->count; ++i) {
    ExternalValue& e = list->ext[i];
    e = ExternalValue{};
    e.context = static_cast<int32_t>(entries[i].pctxId);
    e.directRef.count = kObjIdAbsent;
    e.encoding = 0;  // chosen by the encoder for the context
    e.argument = entries[i].formatter;
    e.value = entries[i].value;
  }
  return 1;
}

void AC_GetUser(const AcUserInfo* list, uint32_t* count, AcUserData* entries) {
  if (count == nullptr) return;
  if (list == nullptr || entries == nullptr) {
    *count = 0;
    return;
  }
  *count = std::min({*count, list->count, kAcMaxUserInfo});
  for (uint32_t i = 0; i < *count; ++i) {
    const ExternalValue& e = list->ext[i];
    entries[i] = AcUserData{static_cast<uint32_t>(e.context), e.argument, e.value};
  }
}

int32_t ac_bldAARQ(AcseApdu* rec, const ObjIdV* contextName, UL_APTitle calledApTitle, const UL_AEQual* calledAeQual,
                   const int32_t* calledApInvoke, const int32_t* calledAeInvoke, UL_APTitle callingApTitle,
                   const UL_AEQual* callingAeQual, const int32_t* callingApInvoke, const int32_t* callingAeInvoke,
                   const uint32_t* requirements, const ObjIdV* mechanism, const AcAuthValue* auth, char* implInfo,
                   uint32_t userCount, const AcUserData* userData) {
  if (rec == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  rec->code = AC_APDU_AARQ;
  AcAarq& q = rec->aarq;
  q.presence = AC_AARQ_VERSION;
  q.protocolVersion = kAcProtocolVersion1;
  if (emptyName(contextName)) return fail(AC_ERR_NO_CONTEXT_NAME);
  q.contextName = *contextName;
  optionalTitle(calledApTitle, q.calledApTitle, q.presence, AC_AARQ_CALLED_AP_TITLE);
  optional(calledAeQual, q.calledAeQual, q.presence, AC_AARQ_CALLED_AE_QUAL);
  optional(calledApInvoke, q.calledApInvoke, q.presence, AC_AARQ_CALLED_AP_INVOKE);
  optional(calledAeInvoke, q.calledAeInvoke, q.presence, AC_AARQ_CALLED_AE_INVOKE);
  optionalTitle(callingApTitle, q.callingApTitle, q.presence, AC_AARQ_CALLING_AP_TITLE);
  optional(callingAeQual, q.callingAeQual, q.presence, AC_AARQ_CALLING_AE_QUAL);
  optional(callingApInvoke, q.callingApInvoke, q.presence, AC_AARQ_CALLING_AP_INVOKE);
  optional(callingAeInvoke, q.callingAeInvoke, q.presence, AC_AARQ_CALLING_AE_INVOKE);
  optional(requirements, q.acseRequirements, q.presence, AC_AARQ_REQUIREMENTS);
  if (userCount > kAcMaxUserInfo) return fail(AC_ERR_TOO_MANY_USER_DATA);
  static constexpr uint32_t kBits[4] = {AC_AARQ_MECHANISM, AC_AARQ_AUTH_VALUE, AC_AARQ_IMPL_INFO, AC_AARQ_USER_INFO};
  authAndUser(q, kBits, mechanism, auth, implInfo, userCount, userData);
  return 1;
}

int32_t ac_bldAARE(AcseApdu* rec, const ObjIdV* contextName, uint32_t result, uint32_t resultSource,
                   uint32_t diagnostic, UL_APTitle respApTitle, const UL_AEQual* respAeQual,
                   const int32_t* respApInvoke, const int32_t* respAeInvoke, const uint32_t* requirements,
                   const ObjIdV* mechanism, const AcAuthValue* auth, char* implInfo, uint32_t userCount,
                   const AcUserData* userData) {
  if (rec == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  rec->code = AC_APDU_AARE;
  AcAare& r = rec->aare;
  r.presence = AC_AARE_VERSION;
  r.protocolVersion = kAcProtocolVersion1;
  if (emptyName(contextName)) return fail(AC_ERR_NO_CONTEXT_NAME);
  r.contextName = *contextName;
  r.result = result;
  if (resultSource != AC_SOURCE_USER && resultSource != AC_SOURCE_PROVIDER) return fail(AC_ERR_BAD_RESULT_SOURCE);
  r.resultSource = resultSource;
  r.diagnostic = diagnostic;
  optionalTitle(respApTitle, r.respApTitle, r.presence, AC_AARE_RESP_AP_TITLE);
  optional(respAeQual, r.respAeQual, r.presence, AC_AARE_RESP_AE_QUAL);
  optional(respApInvoke, r.respApInvoke, r.presence, AC_AARE_RESP_AP_INVOKE);
  optional(respAeInvoke, r.respAeInvoke, r.presence, AC_AARE_RESP_AE_INVOKE);
  optional(requirements, r.acseRequirements, r.presence, AC_AARE_REQUIREMENTS);
  if (userCount > kAcMaxUserInfo) return fail(AC_ERR_TOO_MANY_USER_DATA);
  static constexpr uint32_t kBits[4] = {AC_AARE_MECHANISM, AC_AARE_AUTH_VALUE, AC_AARE_IMPL_INFO, AC_AARE_USER_INFO};
  authAndUser(r, kBits, mechanism, auth, implInfo, userCount, userData);
  return 1;
}

int32_t ac_bldRLRQ(AcseApdu* rec, int32_t reasonFlag, int32_t reason, uint32_t userCount, const AcUserData* userData) {
  if (rec == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  return bldRelease(rec, AC_APDU_RLRQ, rec->rlrq, 0, reasonFlag, reason, userCount, userData);
}

int32_t ac_bldRLRE(AcseApdu* rec, int32_t reasonFlag, int32_t reason, uint32_t userCount, const AcUserData* userData) {
  if (rec == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  return bldRelease(rec, AC_APDU_RLRE, rec->rlre, AC_RLRE_RELEASE_RESULT, reasonFlag, reason, userCount, userData);
}

int32_t ac_bldABRT(AcseApdu* rec, uint32_t source, uint32_t diagnostic, uint32_t userCount,
                   const AcUserData* userData) {
  if (rec == nullptr) return fail(AC_ERR_NULL_PARAMETER);
  rec->code = AC_APDU_ABRT;
  AcAbrt& a = rec->abrt;
  a.presence = 0;
  a.source = source;
  a.diagnostic = diagnostic;
  if (userCount > kAcMaxUserInfo) return fail(AC_ERR_TOO_MANY_USER_DATA);
  if (AC_setUser(userData, userCount, &a.userInfo) == 1) a.presence |= AC_ABRT_USER_INFO;
  return 1;
}

int32_t ac_tearAARQ(const AcseApdu* rec, ObjIdV* contextName, UL_APTitle* calledApTitle,
                    const UL_AEQual** calledAeQual, const int32_t** calledApInvoke, const int32_t** calledAeInvoke,
                    UL_APTitle* callingApTitle, const UL_AEQual** callingAeQual, const int32_t** callingApInvoke,
                    const int32_t** callingAeInvoke, const uint32_t** requirements, const ObjIdV** mechanism,
                    AcAuthValue* auth, char** implInfo, uint32_t* userCount, AcUserData* userData) {
  if (rec == nullptr || rec->code != AC_APDU_AARQ) return 0;
  const AcAarq& q = rec->aarq;
  const uint32_t p = q.presence;
  out(contextName, q.contextName);
  outTitle(calledApTitle, q.calledApTitle, p, AC_AARQ_CALLED_AP_TITLE);
  outPtr(calledAeQual, q.calledAeQual, p, AC_AARQ_CALLED_AE_QUAL);
  outPtr(calledApInvoke, q.calledApInvoke, p, AC_AARQ_CALLED_AP_INVOKE);
  outPtr(calledAeInvoke, q.calledAeInvoke, p, AC_AARQ_CALLED_AE_INVOKE);
  outTitle(callingApTitle, q.callingApTitle, p, AC_AARQ_CALLING_AP_TITLE);
  outPtr(callingAeQual, q.callingAeQual, p, AC_AARQ_CALLING_AE_QUAL);
  outPtr(callingApInvoke, q.callingApInvoke, p, AC_AARQ_CALLING_AP_INVOKE);
  outPtr(callingAeInvoke, q.callingAeInvoke, p, AC_AARQ_CALLING_AE_INVOKE);
  outPtr(requirements, q.acseRequirements, p, AC_AARQ_REQUIREMENTS);
  outPtr(mechanism, q.mechanismName, p, AC_AARQ_MECHANISM);
  outAuth(auth, q.authValue, p, AC_AARQ_AUTH_VALUE);
  out(implInfo, (p & AC_AARQ_IMPL_INFO) != 0 ? q.implementationInfo : nullptr);
  outUser(q.userInfo, p, AC_AARQ_USER_INFO, userCount, userData);
  return 1;
}

int32_t ac_tearAARE(const AcseApdu* rec, ObjIdV* contextName, uint32_t* result, uint32_t* resultSource,
                    uint32_t* diagnostic, UL_APTitle* respApTitle, const UL_AEQual** respAeQual,
                    const int32_t** respApInvoke, const int32_t** respAeInvoke, const uint32_t** requirements,
                    const ObjIdV** mechanism, AcAuthValue* auth, char** implInfo, uint32_t* userCount,
                    AcUserData* userData) {
  if (rec == nullptr || rec->code != AC_APDU_AARE) return 0;
  const AcAare& r = rec->aare;
  const uint32_t p = r.presence;
  out(contextName, r.contextName);
  out(result, r.result);
  if (r.resultSource == AC_SOURCE_USER || r.resultSource == AC_SOURCE_PROVIDER) {
    out(resultSource, r.resultSource);
    out(diagnostic, r.diagnostic);
  }
  outTitle(respApTitle, r.respApTitle, p, AC_AARE_RESP_AP_TITLE);
  outPtr(respAeQual, r.respAeQual, p, AC_AARE_RESP_AE_QUAL);
  outPtr(respApInvoke, r.respApInvoke, p, AC_AARE_RESP_AP_INVOKE);
  outPtr(respAeInvoke, r.respAeInvoke, p, AC_AARE_RESP_AE_INVOKE);
  outPtr(requirements, r.acseRequirements, p, AC_AARE_REQUIREMENTS);
  outPtr(mechanism, r.mechanismName, p, AC_AARE_MECHANISM);
  outAuth(auth, r.authValue, p, AC_AARE_AUTH_VALUE);
  out(implInfo, (p & AC_AARE_IMPL_INFO) != 0 ? r.implementationInfo : nullptr);
  outUser(r.userInfo, p, AC_AARE_USER_INFO, userCount, userData);
  return 1;
}

int32_t ac_tearRLRQ(const AcseApdu* rec, int32_t* reasonFlag, int32_t* reason, uint32_t* userCount,
                    AcUserData* userData) {
  if (rec == nullptr || rec->code != AC_APDU_RLRQ) return 0;
  tearRelease(rec->rlrq, reasonFlag, reason, userCount, userData);
  return 1;
}

int32_t ac_tearRLRE(const AcseApdu* rec, int32_t* reasonFlag, int32_t* reason, uint32_t* userCount,
                    AcUserData* userData) {
  if (rec == nullptr || rec->code != AC_APDU_RLRE) return 0;
  tearRelease(rec->rlre, reasonFlag, reason, userCount, userData);
  return 1;
}

int32_t ac_tearABRT(const AcseApdu* rec, uint32_t* source, uint32_t* diagnostic, uint32_t* userCount,
                    AcUserData* userData) {
  if (rec == nullptr || rec->code != AC_APDU_ABRT) return 0;
  const AcAbrt& a = rec->abrt;
  out(source, a.source);
  out(diagnostic, a.diagnostic);
  outUser(a.userInfo, a.presence, AC_ABRT_USER_INFO, userCount, userData);
  return 1;
}
