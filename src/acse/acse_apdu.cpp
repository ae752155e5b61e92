// Descriptors of the ACSE APDUs and their named routines.
#include "src/acse/acse_apdu.h"

#include <cstring>

#include "src/asn1/authmech.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/codec_table.h"
#include "src/asn1/ul_codec.h"

namespace {

constexpr const char* kSrc = "src/acse_apdu";

constexpr CtType kBits1 = ctBitW(1);
constexpr CtType kBits2 = ctBitW(2);
constexpr CtType kBits16 = ctBitW(16);
constexpr CtType kText15 = ctTextBuf(15);  // 16-octet buffer with its NUL

// ---------------------------------------------------------------------------
// SEQUENCE OF held in place as {count, items[max]}: the contents of an
// element the caller opened. More than `max` items: SEQOFOVFLO; none, where
// the list must have one: OVFLO.

struct Bounded {
  const CtField* element;  // at offset 0 of each item
  uint32_t itemsOffset;    // from the count word
  uint32_t stride;
  uint32_t max;
  bool emptyOk;
};

uint32_t parseBounded(const Bounded& b, void* rec) {
  auto& count = *static_cast<uint32_t*>(rec);
  uint8_t* const items = static_cast<uint8_t*>(rec) + b.itemsOffset;
  count = 0;
  while (!ct_atEnd()) {
    if (count == b.max) aaRaise(AAE_SEQOFOVFLO, kSrc, __LINE__);
    if (ct_parseField(*b.element, items + count * b.stride, kSrc) == 0) aaRaise(AAE_MSGPARAM, kSrc, __LINE__);
    ++count;
  }
  if (count == 0 && !b.emptyOk) aaRaise(AAE_OVFLO, kSrc, __LINE__);
  return 1;
}

int64_t formatBounded(const Bounded& b, void* rec) {
  const uint32_t count = *static_cast<uint32_t*>(rec);
  if (count > b.max) aaRaise(AAE_SEQOFOVFLO, kSrc, __LINE__);
  uint8_t* const items = static_cast<uint8_t*>(rec) + b.itemsOffset;
  int64_t n = 0;
  for (uint32_t i = count; i-- > 0;) n += ct_formatField(*b.element, items + i * b.stride, kSrc);
  return n;
}

template <const Bounded& B>
constexpr CtCustom boundedCustom() {
  return CtCustom{
      false,
      [](void* v) -> uint32_t { return parseBounded(B, v); },
      [](void* v) -> int64_t { return formatBounded(B, v); },
  };
}

// User information: SEQUENCE OF EXTERNAL, each in a universal constructed
// EXTERNAL identifier.
constexpr CtField kExternalElem = ctField(ctUniv(8), ctExternal).constructed();
constexpr Bounded kUserInfoList{&kExternalElem, offsetof(AcUserInfo, ext), sizeof(ExternalValue), kAcMaxUserInfo,
                                true};
constexpr CtCustom kUserInfoCustom = boundedCustom<kUserInfoList>();
constexpr CtType kUserInfo = ctCustomType(kUserInfoCustom, sizeof(AcUserInfo));

// Context list: SEQUENCE OF OBJECT IDENTIFIER; context results: SEQUENCE OF
// INTEGER; 1-32 items each.
constexpr CtField kObjIdElem = ctField(ctUniv(6), ctObjIdV);
constexpr Bounded kContextList{&kObjIdElem, offsetof(AcConnParams, contexts) - offsetof(AcConnParams, contextCount),
                               sizeof(ObjIdV), kAcMaxContexts, false};
constexpr CtCustom kContextListCustom = boundedCustom<kContextList>();
constexpr CtType kContexts = ctCustomType(kContextListCustom);

constexpr CtField kIntElem = ctField(ctUniv(2), ctInt);
constexpr Bounded kResultList{&kIntElem,
                              offsetof(AcConnResult, contextResults) - offsetof(AcConnResult, contextResultCount),
                              sizeof(int32_t), kAcMaxContexts, false};
constexpr CtCustom kResultListCustom = boundedCustom<kResultList>();
constexpr CtType kContextResults = ctCustomType(kResultListCustom);

// Presentation address, through the upper-layer codec.
constexpr CtCustom kPaddrCustom{
    true,
    [](void* v) -> uint32_t { return aUL_Paddress(static_cast<UL_Paddress*>(v)); },
    [](void* v) -> int64_t { return fUL_Paddress(static_cast<UL_Paddress*>(v)); },
};
constexpr CtType kPaddr = ctCustomType(kPaddrCustom, sizeof(UL_Paddress));

// Quality of service.
constexpr CtField kQosFields[] = {
    ctField(ctUniv(2), ctInt, offsetof(AcQos, value[0])), ctField(ctUniv(2), ctInt, offsetof(AcQos, value[1])),
    ctField(ctUniv(2), ctInt, offsetof(AcQos, value[2])), ctField(ctUniv(2), ctInt, offsetof(AcQos, value[3])),
    ctField(ctUniv(2), ctInt, offsetof(AcQos, value[4])), ctField(ctUniv(2), ctInt, offsetof(AcQos, value[5])),
    ctField(ctUniv(6), ctObjIdV, offsetof(AcQos, objId)),
};
constexpr CtSeq kQosSeq{kQosFields, -1, CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kQos = ctSeqType(kQosSeq, sizeof(AcQos));

// ---------------------------------------------------------------------------
// Authentication value. The CHOICE is laid over the mechanism name that
// precedes the value in the AARQ and the AARE, so that the other form's
// hooks get both.

constexpr size_t kAuthDelta = offsetof(AcAarq, authValue) - offsetof(AcAarq, mechanismName);
static_assert(offsetof(AcAare, authValue) - offsetof(AcAare, mechanismName) == kAuthDelta);

struct MechAuth {
  ObjIdV* mechanism;
  AcAuthValue* value;
};
MechAuth mechAuthAt(void* mechanism) {
  return {static_cast<ObjIdV*>(mechanism), reinterpret_cast<AcAuthValue*>(static_cast<uint8_t*>(mechanism) + kAuthDelta)};
}

constexpr CtCustom kOtherCustom{
    false,
    [](void* v) -> uint32_t {
      const MechAuth m = mechAuthAt(v);
      return getother(m.value, m.mechanism) != 0 ? 1u : 0u;
    },
    [](void* v) -> int64_t {
      const MechAuth m = mechAuthAt(v);
      return addother(m.value, m.mechanism);
    },
};
constexpr CtType kOther = ctCustomType(kOtherCustom);

constexpr CtField kAuthAlts[] = {
    ctField(ctCtx(0), kText15, kAuthDelta + offsetof(AcAuthValue, string)),
    ctField(ctCtx(1), kBits16, kAuthDelta + offsetof(AcAuthValue, bits)),
    ctField(ctCtx(2), ctExternal, kAuthDelta + offsetof(AcAuthValue, external)).constructed(),
    ctField(ctCtx(3), kOther, 0),
};
constexpr CtChoice kAuthChoice{kAuthAlts, kAuthDelta + offsetof(AcAuthValue, kind), CT_UNKNOWN_EXTENS};
constexpr CtType kAuth = ctChoiceType(kAuthChoice, kAuthDelta + sizeof(AcAuthValue));

// ---------------------------------------------------------------------------
// Result source and diagnostic: CHOICE {[1] INTEGER, [2] INTEGER}, laid over
// the result source word; the diagnostic follows it.

constexpr size_t kDiagDelta = offsetof(AcAare, diagnostic) - offsetof(AcAare, resultSource);
constexpr CtField kSrcDiagAlts[] = {
    ctField(ctCtx(1), ctInt, kDiagDelta).explicitOver(ctUniv(2)),
    ctField(ctCtx(2), ctInt, kDiagDelta).explicitOver(ctUniv(2)),
};
constexpr CtChoice kSrcDiagChoice{kSrcDiagAlts, 0, CT_UNKNOWN_EXTENS};
constexpr CtType kSrcDiag = ctChoiceType(kSrcDiagChoice, kDiagDelta + sizeof(uint32_t));

// Explicit [n] around a universal element.
constexpr CtField wrapped(uint16_t n, const CtType& t, size_t offset, uint16_t inner) {
  return ctField(ctCtx(n), t, offset).explicitOver(inner);
}

// ---------------------------------------------------------------------------
// Connection parameters and result (inside [PRIVATE 99]).

constexpr CtField kConnParamsFields[] = {
    wrapped(0, ctInt, offsetof(AcConnParams, presentationMode), ctUniv(2)),
    wrapped(1, kPaddr, offsetof(AcConnParams, callingAddress), CT_SELF),
    wrapped(2, kPaddr, offsetof(AcConnParams, calledAddress), CT_SELF),
    wrapped(3, kContexts, offsetof(AcConnParams, contextCount), ctUniv(16)).optional(AC_CP_CONTEXTS),
    wrapped(4, ctObjIdV, offsetof(AcConnParams, defaultContext), ctUniv(6)).optional(AC_CP_DEFAULT_CONTEXT),
    wrapped(5, kQos, offsetof(AcConnParams, qos), ctUniv(16)),
    wrapped(6, kBits2, offsetof(AcConnParams, presRequirements), ctUniv(3)).optional(AC_CP_PRES_REQUIREMENTS),
    wrapped(7, kBits16, offsetof(AcConnParams, sessRequirements), ctUniv(3)),
    wrapped(8, ctInt, offsetof(AcConnParams, initialSyncPoint), ctUniv(2)).optional(AC_CP_SYNC_POINT),
    wrapped(9, ctInt, offsetof(AcConnParams, initialTokens), ctUniv(2)).optional(AC_CP_TOKENS),
    wrapped(10, ctInt, offsetof(AcConnParams, networkService), ctUniv(2))
        .filled(AC_CP_NSERVICE, UL_NSERVICE_DEFAULT),
    wrapped(11, ctInt, offsetof(AcConnParams, transportClass), ctUniv(2)).filled(AC_CP_TCLASS, UL_TCLASS_DEFAULT),
};
constexpr CtSeq kConnParamsSeq{kConnParamsFields, offsetof(AcConnParams, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kConnParams = ctSeqType(kConnParamsSeq, sizeof(AcConnParams));

constexpr CtField kConnResultFields[] = {
    wrapped(0, kPaddr, offsetof(AcConnResult, respondingAddress), CT_SELF).optional(AC_CR_RESPONDING_ADDRESS),
    wrapped(1, kContextResults, offsetof(AcConnResult, contextResultCount), ctUniv(16)),
    wrapped(2, ctInt, offsetof(AcConnResult, presentationResult), ctUniv(2)),
    wrapped(3, kQos, offsetof(AcConnResult, qos), ctUniv(16)),
    wrapped(4, kBits2, offsetof(AcConnResult, presRequirements), ctUniv(3)).optional(AC_CR_PRES_REQUIREMENTS),
    wrapped(5, kBits16, offsetof(AcConnResult, sessRequirements), ctUniv(3)),
    wrapped(6, ctInt, offsetof(AcConnResult, initialSyncPoint), ctUniv(2)).optional(AC_CR_SYNC_POINT),
    wrapped(7, ctInt, offsetof(AcConnResult, initialTokens), ctUniv(2)).optional(AC_CR_TOKENS),
};
constexpr CtSeq kConnResultSeq{kConnResultFields, offsetof(AcConnResult, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kConnResult = ctSeqType(kConnResultSeq, sizeof(AcConnResult));

// ---------------------------------------------------------------------------
// The APDUs.

constexpr CtField kAarqFields[] = {
    ctField(ctCtx(0), kBits1, offsetof(AcAarq, protocolVersion)).optional(AC_AARQ_VERSION),
    wrapped(1, ctObjIdV, offsetof(AcAarq, contextName), ctUniv(6)),
    wrapped(2, kUlApTitle, offsetof(AcAarq, calledApTitle), CT_SELF).optional(AC_AARQ_CALLED_AP_TITLE),
    wrapped(3, kUlAeQual, offsetof(AcAarq, calledAeQual), CT_SELF).optional(AC_AARQ_CALLED_AE_QUAL),
    wrapped(4, ctInt, offsetof(AcAarq, calledApInvoke), ctUniv(2)).optional(AC_AARQ_CALLED_AP_INVOKE),
    wrapped(5, ctInt, offsetof(AcAarq, calledAeInvoke), ctUniv(2)).optional(AC_AARQ_CALLED_AE_INVOKE),
    wrapped(6, kUlApTitle, offsetof(AcAarq, callingApTitle), CT_SELF).optional(AC_AARQ_CALLING_AP_TITLE),
    wrapped(7, kUlAeQual, offsetof(AcAarq, callingAeQual), CT_SELF).optional(AC_AARQ_CALLING_AE_QUAL),
    wrapped(8, ctInt, offsetof(AcAarq, callingApInvoke), ctUniv(2)).optional(AC_AARQ_CALLING_AP_INVOKE),
    wrapped(9, ctInt, offsetof(AcAarq, callingAeInvoke), ctUniv(2)).optional(AC_AARQ_CALLING_AE_INVOKE),
    ctField(ctCtx(10), kBits1, offsetof(AcAarq, acseRequirements)).optional(AC_AARQ_REQUIREMENTS),
    ctField(ctCtx(11), ctObjIdV, offsetof(AcAarq, mechanismName)).optional(AC_AARQ_MECHANISM),
    wrapped(12, kAuth, offsetof(AcAarq, mechanismName), CT_SELF).optional(AC_AARQ_AUTH_VALUE),
    ctField(ctCtx(29), ctText, offsetof(AcAarq, implementationInfo)).optional(AC_AARQ_IMPL_INFO),
    ctField(ctCtx(30), kUserInfo, offsetof(AcAarq, userInfo)).constructed().optional(AC_AARQ_USER_INFO),
    ctField(ctPriv(99), kConnParams, offsetof(AcAarq, connParams))
        .explicitOver(ctUniv(16))
        .optional(AC_AARQ_CONN_PARAMS),
};
constexpr CtSeq kAarqSeq{kAarqFields, offsetof(AcAarq, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kAarq = ctSeqType(kAarqSeq, sizeof(AcAarq));

constexpr CtField kAareFields[] = {
    ctField(ctCtx(0), kBits1, offsetof(AcAare, protocolVersion)).optional(AC_AARE_VERSION),
    wrapped(1, ctObjIdV, offsetof(AcAare, contextName), ctUniv(6)),
    wrapped(2, ctInt, offsetof(AcAare, result), ctUniv(2)),
    wrapped(3, kSrcDiag, offsetof(AcAare, resultSource), CT_SELF),
    wrapped(4, kUlApTitle, offsetof(AcAare, respApTitle), CT_SELF).optional(AC_AARE_RESP_AP_TITLE),
    wrapped(5, kUlAeQual, offsetof(AcAare, respAeQual), CT_SELF).optional(AC_AARE_RESP_AE_QUAL),
    wrapped(6, ctInt, offsetof(AcAare, respApInvoke), ctUniv(2)).optional(AC_AARE_RESP_AP_INVOKE),
    wrapped(7, ctInt, offsetof(AcAare, respAeInvoke), ctUniv(2)).optional(AC_AARE_RESP_AE_INVOKE),
    ctField(ctCtx(8), kBits1, offsetof(AcAare, acseRequirements)).optional(AC_AARE_REQUIREMENTS),
    ctField(ctCtx(9), ctObjIdV, offsetof(AcAare, mechanismName)).optional(AC_AARE_MECHANISM),
    wrapped(10, kAuth, offsetof(AcAare, mechanismName), CT_SELF).optional(AC_AARE_AUTH_VALUE),
    ctField(ctCtx(29), ctText, offsetof(AcAare, implementationInfo)).optional(AC_AARE_IMPL_INFO),
    ctField(ctCtx(30), kUserInfo, offsetof(AcAare, userInfo)).constructed().optional(AC_AARE_USER_INFO),
    ctField(ctPriv(99), kConnResult, offsetof(AcAare, connResult))
        .explicitOver(ctUniv(16))
        .optional(AC_AARE_CONN_RESULT),
};
constexpr CtSeq kAareSeq{kAareFields, offsetof(AcAare, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kAare = ctSeqType(kAareSeq, sizeof(AcAare));

constexpr CtField kRlrqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(AcRlrq, reason)).optional(AC_RLS_REASON),
    ctField(ctCtx(30), kUserInfo, offsetof(AcRlrq, userInfo)).constructed().optional(AC_RLS_USER_INFO),
};
constexpr CtSeq kRlrqSeq{kRlrqFields, offsetof(AcRlrq, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kRlrq = ctSeqType(kRlrqSeq, sizeof(AcRlrq));

// A SEQUENCE holding one INTEGER.
constexpr CtField kOneIntFields[] = {ctField(ctUniv(2), ctInt)};
constexpr CtSeq kOneIntSeq{kOneIntFields, -1, CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kOneInt = ctSeqType(kOneIntSeq, sizeof(int32_t));

constexpr CtField kRlreFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(AcRlre, reason)).optional(AC_RLS_REASON),
    ctField(ctCtx(30), kUserInfo, offsetof(AcRlre, userInfo)).constructed().optional(AC_RLS_USER_INFO),
    ctField(ctPriv(99), kOneInt, offsetof(AcRlre, releaseResult))
        .explicitOver(ctUniv(16))
        .optional(AC_RLRE_RELEASE_RESULT),
};
constexpr CtSeq kRlreSeq{kRlreFields, offsetof(AcRlre, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kRlre = ctSeqType(kRlreSeq, sizeof(AcRlre));

constexpr CtField kAbrtFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(AcAbrt, source)),
    ctField(ctCtx(1), ctInt, offsetof(AcAbrt, diagnostic)).optional(AC_ABRT_DIAGNOSTIC),
    ctField(ctCtx(30), kUserInfo, offsetof(AcAbrt, userInfo)).constructed().optional(AC_ABRT_USER_INFO),
};
constexpr CtSeq kAbrtSeq{kAbrtFields, offsetof(AcAbrt, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kAbrt = ctSeqType(kAbrtSeq, sizeof(AcAbrt));

constexpr const CtType& kPAbrt = kOneInt;

// The outer CHOICE; every APDU is constructed, also when empty.
constexpr CtField kApduAlts[] = {
    ctField(ctApp(0), kAarq, offsetof(AcseApdu, aarq)).constructed(),
    ctField(ctApp(1), kAare, offsetof(AcseApdu, aare)).constructed(),
    ctField(ctApp(2), kRlrq, offsetof(AcseApdu, rlrq)).constructed(),
    ctField(ctApp(3), kRlre, offsetof(AcseApdu, rlre)).constructed(),
    ctField(ctApp(4), kAbrt, offsetof(AcseApdu, abrt)).constructed(),
    ctField(ctPriv(5), kPAbrt, offsetof(AcseApdu, pabrt)).constructed(),
};
constexpr CtChoice kApduChoice{kApduAlts, offsetof(AcseApdu, code), CT_UNKNOWN_EXTENS};

// Puts aaextensibility back as it was, however the decoder is left.
class ExtensibilityGuard {
 public:
  ExtensibilityGuard() : saved_(aaextensibility) {}
  ~ExtensibilityGuard() { aaextensibility = saved_; }
  ExtensibilityGuard(const ExtensibilityGuard&) = delete;
  ExtensibilityGuard& operator=(const ExtensibilityGuard&) = delete;

 private:
  uint32_t saved_;
};

template <class Rec>
uint32_t parseContents(const CtType& t, Rec* rec) {
  ExtensibilityGuard guard;
  return ct_parseType(t, rec, kSrc);
}
template <class Rec>
int64_t formatContents(const CtType& t, Rec* rec) {
  return ct_formatType(t, rec, kSrc);
}

}  // namespace

constexpr CtType kAcseApdu = ctChoiceType(kApduChoice, sizeof(AcseApdu));

int64_t fApdu(void* apdu) { return ct_formatType(kAcseApdu, apdu, kSrc); }

void* aApdu(void*) {
  ExtensibilityGuard guard;
  if (ber_peektype() == 0) return nullptr;
  auto* apdu = static_cast<AcseApdu*>(aamalloc(sizeof(AcseApdu)));
  if (apdu == nullptr) aaRaise(AAE_NOMEM, kSrc, __LINE__);
  // An absent protocol version reads as version1. Both variants keep it
  // right after their presence word.
  static_assert(offsetof(AcAarq, protocolVersion) == offsetof(AcAare, protocolVersion));
  apdu->aarq.protocolVersion = kAcProtocolVersion1;
  return ct_parseType(kAcseApdu, apdu, kSrc) != 0 ? apdu : nullptr;
}

uint32_t aAPTitle(UL_APTitle* title) { return aUL_APTitle(title); }
int64_t fAPTitle(UL_APTitle* title) { return fUL_APTitle(title); }
uint32_t aAEQualifier(UL_AEQual* qual) { return aUL_AEQual(qual); }
int64_t fAEQualifier(UL_AEQual* qual) { return fUL_AEQual(qual); }
uint32_t aAssocSrcDiag(AcAare* aare) { return parseContents(kSrcDiag, &aare->resultSource); }
int64_t fAssocSrcDiag(AcAare* aare) { return formatContents(kSrcDiag, &aare->resultSource); }
uint32_t aAssocInfo(AcUserInfo* info) { return parseContents(kUserInfo, info); }
int64_t fAssocInfo(AcUserInfo* info) { return formatContents(kUserInfo, info); }
uint32_t aQuality_Of_Service(AcQos* qos) { return parseContents(kQos, qos); }
int64_t fQuality_Of_Service(AcQos* qos) { return formatContents(kQos, qos); }
uint32_t aAARQ(AcAarq* aarq) {
  aarq->protocolVersion = kAcProtocolVersion1;
  return parseContents(kAarq, aarq);
}
int64_t fAARQ(AcAarq* aarq) { return formatContents(kAarq, aarq); }
uint32_t aAARE(AcAare* aare) {
  aare->protocolVersion = kAcProtocolVersion1;
  return parseContents(kAare, aare);
}
int64_t fAARE(AcAare* aare) { return formatContents(kAare, aare); }
uint32_t aRLRQ(AcRlrq* rlrq) { return parseContents(kRlrq, rlrq); }
int64_t fRLRQ(AcRlrq* rlrq) { return formatContents(kRlrq, rlrq); }
uint32_t aRLRE(AcRlre* rlre) { return parseContents(kRlre, rlre); }
int64_t fRLRE(AcRlre* rlre) { return formatContents(kRlre, rlre); }
uint32_t aABRT(AcAbrt* abrt) { return parseContents(kAbrt, abrt); }
int64_t fABRT(AcAbrt* abrt) { return formatContents(kAbrt, abrt); }
uint32_t aPABRTReq(AcPAbrt* pabrt) { return parseContents(kPAbrt, &pabrt->reason); }
int64_t fPABRTReq(AcPAbrt* pabrt) { return formatContents(kPAbrt, &pabrt->reason); }
uint32_t aAuthVal(AcAuthValue* auth) { return aUL_AuthVal(auth); }
int64_t fAuthVal(AcAuthValue* auth) { return fUL_AuthVal(auth); }
