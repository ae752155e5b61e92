// RTSE APDU descriptors and their named routines.
#include "src/asn1/rtse.h"

#include "src/asn1/ber_runtime.h"
#include "src/asn1/decode_tree.h"

namespace {

constexpr const char* kSrc = "src/rtse";

constexpr CtType kText15 = ctTextBuf(15);
constexpr CtType kOcts16 = ctOcts(16);
constexpr CtType kBits16 = ctBitW(16);

// Calling SS-user reference: CHOICE { T61String, OCTET STRING }.
constexpr CtField kCallingRefAlts[] = {
    ctField(ctUniv(20), kText15, offsetof(RtsCallingRef, text)),
    ctField(ctUniv(4), kOcts16, offsetof(RtsCallingRef, octets)),
};
constexpr CtChoice kCallingRefChoice{kCallingRefAlts, offsetof(RtsCallingRef, kind)};
constexpr CtType kCallingRef = ctChoiceType(kCallingRefChoice, sizeof(RtsCallingRef));

// SessionConnectionIdentifier ::= SEQUENCE { reference, UTCTime, [0] T61String OPTIONAL }
constexpr CtField kSessConnIdFields[] = {
    ctField(CT_SELF, kCallingRef, offsetof(RtsSessConnId, callingRef)).missingIs(AAE_NOTINCHOICE),
    ctField(ctUniv(23), ctUtc, offsetof(RtsSessConnId, commonRef)),
    ctField(ctCtx(0), kText15, offsetof(RtsSessConnId, additional)).optional(RTS_SCI_ADDITIONAL),
};
constexpr CtSeq kSessConnIdSeq{kSessConnIdFields, offsetof(RtsSessConnId, mask), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kSessConnId = ctSeqType(kSessConnIdSeq, sizeof(RtsSessConnId));

// ConnectionData ::= CHOICE { open [0] ANY, recover [1] IMPLICIT SessionConnectionIdentifier }
constexpr CtField kConnectionDataAlts[] = {
    ctField(ctCtx(0), ctAny, offsetof(RtsConnectionData, open)).explicitOver(CT_SELF).constructed(),
    ctField(ctCtx(1), kSessConnId, offsetof(RtsConnectionData, recover)).constructed(),
};
constexpr CtChoice kConnectionDataChoice{kConnectionDataAlts, offsetof(RtsConnectionData, kind), CT_UNKNOWN_EXTENS};
constexpr CtType kConnectionData = ctChoiceType(kConnectionDataChoice, sizeof(RtsConnectionData));

constexpr CtField kRtoRQFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RtoRQapdu, checkpointSize)).filled(RTS_RQ_CHECKPOINT, 0),
    ctField(ctCtx(1), ctInt, offsetof(RtoRQapdu, windowSize)).filled(RTS_RQ_WINDOW, RTS_DEFAULT_WINDOW),
    ctField(ctCtx(2), ctInt, offsetof(RtoRQapdu, dialogueMode)).filled(RTS_RQ_DIALOGUE, 0),
    ctField(ctCtx(3), kConnectionData, offsetof(RtoRQapdu, connectionData)).explicitOver(CT_SELF).required(RTS_RQ_CONNDATA),
    ctField(ctCtx(4), ctInt, offsetof(RtoRQapdu, applicationProtocol)).optional(RTS_RQ_APPPROTOCOL),
};
constexpr CtSeq kRtoRQSeq{kRtoRQFields, offsetof(RtoRQapdu, mask), CT_SET};
constexpr CtType kRtoRQ = ctSeqType(kRtoRQSeq, sizeof(RtoRQapdu));

constexpr CtField kRtoACFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RtoACapdu, checkpointSize)).filled(RTS_AC_CHECKPOINT, 0),
    ctField(ctCtx(1), ctInt, offsetof(RtoACapdu, windowSize)).filled(RTS_AC_WINDOW, RTS_DEFAULT_WINDOW),
    ctField(ctCtx(2), kConnectionData, offsetof(RtoACapdu, connectionData)).explicitOver(CT_SELF).required(RTS_AC_CONNDATA),
};
constexpr CtSeq kRtoACSeq{kRtoACFields, offsetof(RtoACapdu, mask), CT_SET};
constexpr CtType kRtoAC = ctSeqType(kRtoACSeq, sizeof(RtoACapdu));

constexpr CtField kRtoRJFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RtoRJapdu, refuseReason)).required(RTS_RJ_REASON),
    ctField(ctCtx(1), ctAny, offsetof(RtoRJapdu, userData)).explicitOver(CT_SELF).optional(RTS_RJ_USERDATA),
};
constexpr CtSeq kRtoRJSeq{kRtoRJFields, offsetof(RtoRJapdu, mask), CT_SET};
constexpr CtType kRtoRJ = ctSeqType(kRtoRJSeq, sizeof(RtoRJapdu));

constexpr CtField kRtoABFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RtoABapdu, abortReason)).optional(RTS_AB_REASON),
    ctField(ctCtx(1), kBits16, offsetof(RtoABapdu, reflectedParameter)).optional(RTS_AB_REFLECTED),
    ctField(ctCtx(2), ctAny, offsetof(RtoABapdu, userData)).explicitOver(CT_SELF).optional(RTS_AB_USERDATA),
};
constexpr CtSeq kRtoABSeq{kRtoABFields, offsetof(RtoABapdu, mask), CT_SET};
constexpr CtType kRtoAB = ctSeqType(kRtoABSeq, sizeof(RtoABapdu));

constexpr CtField kApdusAlts[] = {
    ctField(ctUniv(2), ctInt, offsetof(RTS_apdus, rttp)),
    ctField(ctUniv(4), kOcts16, offsetof(RTS_apdus, rttr)),
    ctField(ctCtx(16), kRtoRQ, offsetof(RTS_apdus, rtorq)).constructed(),
    ctField(ctCtx(17), kRtoAC, offsetof(RTS_apdus, rtoac)).constructed(),
    ctField(ctCtx(18), kRtoRJ, offsetof(RTS_apdus, rtorj)).constructed(),
    ctField(ctCtx(22), kRtoAB, offsetof(RTS_apdus, rtab)).constructed(),
};
constexpr CtChoice kApdusChoice{kApdusAlts, offsetof(RTS_apdus, kind), CT_UNKNOWN_EXTENS};

// Every parse routine leaves aaextensibility as it found it.
class ExtensibilityKept {
 public:
  ExtensibilityKept() : saved_(aaextensibility) {}
  ~ExtensibilityKept() { aaextensibility = saved_; }
  ExtensibilityKept(const ExtensibilityKept&) = delete;
  ExtensibilityKept& operator=(const ExtensibilityKept&) = delete;

 private:
  uint32_t saved_;
};

uint32_t parse(const CtType& t, void* value) {
  ExtensibilityKept kept;
  return ct_parseType(t, value, kSrc);
}

}  // namespace

extern const CtType kRtsApdus;
constexpr CtType kRtsApdus = ctChoiceType(kApdusChoice, sizeof(RTS_apdus));

RTS_apdus* aRTS_apdus() {
  ExtensibilityKept kept;
  auto* apdu = static_cast<RTS_apdus*>(aamalloc(sizeof(RTS_apdus)));
  if (apdu == nullptr) aaRaise(AAE_NOMEM, kSrc, __LINE__);
  return ct_parseType(kRtsApdus, apdu, kSrc) != 0 ? apdu : nullptr;
}
int64_t fRTS_apdus(RTS_apdus* apdu) { return ct_formatType(kRtsApdus, apdu, kSrc); }

uint32_t aRtoRQapdu(RtoRQapdu* rq) { return parse(kRtoRQ, rq); }
int64_t fRtoRQapdu(RtoRQapdu* rq) { return ct_formatType(kRtoRQ, rq, kSrc); }
uint32_t aRtoACapdu(RtoACapdu* ac) { return parse(kRtoAC, ac); }
int64_t fRtoACapdu(RtoACapdu* ac) { return ct_formatType(kRtoAC, ac, kSrc); }
uint32_t aRtoRJapdu(RtoRJapdu* rj) { return parse(kRtoRJ, rj); }
int64_t fRtoRJapdu(RtoRJapdu* rj) { return ct_formatType(kRtoRJ, rj, kSrc); }
uint32_t aRtoABapdu(RtoABapdu* ab) { return parse(kRtoAB, ab); }
int64_t fRtoABapdu(RtoABapdu* ab) { return ct_formatType(kRtoAB, ab, kSrc); }
uint32_t aRtsConnectionData(RtsConnectionData* cd) { return parse(kConnectionData, cd); }
int64_t fRtsConnectionData(RtsConnectionData* cd) { return ct_formatType(kConnectionData, cd, kSrc); }
uint32_t aRtsSessConnId(RtsSessConnId* sci) { return parse(kSessConnId, sci); }
int64_t fRtsSessConnId(RtsSessConnId* sci) { return ct_formatType(kSessConnId, sci, kSrc); }
