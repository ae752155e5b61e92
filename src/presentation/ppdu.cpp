// PPDU descriptors for the table-driven codecs, the list codecs, the hooks
// wired into the connection PPDUs, and the named routines.
#include "src/presentation/ppdu.h"

#include <cstddef>

#include "src/asn1/ber.h"
#include "src/asn1/codec_table.h"
#include "src/presentation/pcodec.h"

CP_type cp;
CPA_PPDU cpa;
CPR_PPDU cpr;
Abort_type abrt;
RS_PPDU rs;
RSA_PPDU rsa;
User_data inf;
Typed_data_type ttd;

namespace {

constexpr const char* kSrc = "src/ps_ppdu";

[[noreturn]] void fail(uint32_t code, uint32_t line) { aaRaise(code, kSrc, line); }

template <class T>
T* as(void* v) {
  return static_cast<T*>(v);
}

// ---------------------------------------------------------------------------
// Values held in place: an object identifier of at most 16 arcs.

uint32_t parseObjId(void* v) {
  ber_getobj(kObjIdMaxArcs, as<ObjId>(v));
  return 1;
}
int64_t formatObjId(void* v) { return ber_addobj(as<const ObjId>(v)); }
constexpr CtCustom kObjIdPair{false, parseObjId, formatObjId};
constexpr CtType kObjId = ctCustomType(kObjIdPair, sizeof(ObjId));

constexpr CtType kSelector = ctOcts(kPselMaxLen);
constexpr CtType kBits1 = ctBitW(1);
constexpr CtType kBits2 = ctBitW(2);
constexpr CtType kBits11 = ctBitW(11);
constexpr CtType kBits16 = ctBitW(16);

// ---------------------------------------------------------------------------
// SEQUENCE OF held as a count word and an array of items.

struct ArrayDesc {
  uint32_t max;
  uint32_t stride;
  uint32_t itemsOffset;  // of the first item, from the count word
  bool emptyOk;
  CtField element;  // the element of an item, at offset 0
};

uint32_t parseArray(const ArrayDesc& d, void* v) {
  auto& count = *as<uint32_t>(v);
  uint8_t* items = as<uint8_t>(v) + d.itemsOffset;
  count = 0;
  while (!ps_levelEnds()) {
    if (count == d.max) fail(AAE_SEQOFOVFLO, __LINE__);
    if (ct_parseField(d.element, items + static_cast<size_t>(count) * d.stride, kSrc) == 0)
      fail(AAE_MSGPARAM, __LINE__);
    ++count;
  }
  if (count == 0 && !d.emptyOk) fail(AAE_OVFLO, __LINE__);
  return 1;
}

int64_t formatArray(const ArrayDesc& d, void* v) {
  const uint32_t count = *as<uint32_t>(v);
  if (count > d.max) fail(AAE_SEQOFOVFLO, __LINE__);
  uint8_t* items = as<uint8_t>(v) + d.itemsOffset;
  int64_t n = 0;
  for (uint32_t i = count; i-- > 0;) n += ct_formatField(d.element, items + static_cast<size_t>(i) * d.stride, kSrc);
  return n;
}

// Transfer-syntax names of a context-list item: the count word and its four
// names.
constexpr ArrayDesc kTsNames{kPsMaxTsyn, sizeof(ObjId),
                             offsetof(Context_list_item, tsNames) - offsetof(Context_list_item, tsCount), false,
                             ctField(ctUniv(6), kObjId)};
uint32_t parseTsNames(void* v) { return parseArray(kTsNames, v); }
int64_t formatTsNames(void* v) { return formatArray(kTsNames, v); }
constexpr CtCustom kTsNamesPair{false, parseTsNames, formatTsNames};
constexpr CtType kTsNamesType = ctCustomType(kTsNamesPair);

constexpr CtField kContextItemFields[] = {
    ctField(ctUniv(2), ctInt, offsetof(Context_list_item, pctxId)),
    ctField(ctUniv(6), kObjId, offsetof(Context_list_item, asName)),
    ctField(ctUniv(16), kTsNamesType, offsetof(Context_list_item, tsCount)).constructed(),
};
constexpr CtSeq kContextItemSeq{kContextItemFields, -1, CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kContextItem = ctSeqType(kContextItemSeq, sizeof(Context_list_item));
constexpr ArrayDesc kContextList{kPsMaxListItems, sizeof(Context_list_item), offsetof(Context_list, items), false,
                                 ctField(ctUniv(16), kContextItem)};

constexpr CtField kResultItemFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(Result_list_item, result)),
    ctField(ctCtx(1), kObjId, offsetof(Result_list_item, tsName)).optional(kResultTsName),
    ctField(ctCtx(2), ctInt, offsetof(Result_list_item, providerReason)).optional(kResultProviderReason),
};
constexpr CtSeq kResultItemSeq{kResultItemFields, offsetof(Result_list_item, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kResultItem = ctSeqType(kResultItemSeq, sizeof(Result_list_item));
constexpr ArrayDesc kResultList{kPsMaxListItems, sizeof(Result_list_item), offsetof(Result_list, items), false,
                                ctField(ctUniv(16), kResultItem)};

constexpr CtField kCtxIdItemFields[] = {
    ctField(ctUniv(2), ctInt, offsetof(P_CtxIdItem, pctxId)),
    ctField(ctUniv(6), kObjId, offsetof(P_CtxIdItem, tsName)),
};
constexpr CtSeq kCtxIdItemSeq{kCtxIdItemFields, -1, CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kCtxIdItem = ctSeqType(kCtxIdItemSeq, sizeof(P_CtxIdItem));
constexpr ArrayDesc kCtxIdList{kPsMaxListItems, sizeof(P_CtxIdItem), offsetof(P_CtxIdLst, items), false,
                               ctField(ctUniv(16), kCtxIdItem)};

constexpr ArrayDesc kDeletionList{kPsMaxListItems, sizeof(int32_t), offsetof(P_CtxDelLst, ids), false,
                                  ctField(ctUniv(2), ctInt)};
constexpr ArrayDesc kDeletionResults{kPpduMaxDeletionResults, sizeof(int32_t), offsetof(P_CtxDelRslt, results), true,
                                     ctField(ctUniv(2), ctInt)};

template <const ArrayDesc& D>
uint32_t parseList(void* v) {
  return parseArray(D, v);
}
template <const ArrayDesc& D>
int64_t formatList(void* v) {
  return formatArray(D, v);
}
template <const ArrayDesc& D>
constexpr CtCustom kListPair{false, parseList<D>, formatList<D>};

constexpr CtType kContextListType = ctCustomType(kListPair<kContextList>);
constexpr CtType kResultListType = ctCustomType(kListPair<kResultList>);
constexpr CtType kCtxIdListType = ctCustomType(kListPair<kCtxIdList>);
constexpr CtType kDeletionListType = ctCustomType(kListPair<kDeletionList>);
constexpr CtType kDeletionResultsType = ctCustomType(kListPair<kDeletionResults>);

// Default-context-name.
constexpr CtField kDfltCtxFields[] = {
    ctField(ctCtx(0), kObjId, offsetof(DfltCtx, asName)),
    ctField(ctCtx(1), kObjId, offsetof(DfltCtx, tsName)),
};
constexpr CtSeq kDfltCtxSeq{kDfltCtxFields, -1, CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kDfltCtxType = ctSeqType(kDfltCtxSeq, sizeof(DfltCtx));

// Mode-selector.
constexpr CtField kModeFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(Mode_selector, value)).required(kModeValue),
};
constexpr CtSeq kModeSeq{kModeFields, offsetof(Mode_selector, presence), CT_SET};
constexpr CtType kModeType = ctSeqType(kModeSeq, sizeof(Mode_selector));

// User-data, read and written whole.
uint32_t parseUserData(void* v) { return aUser_data(as<User_data>(v)); }
int64_t formatUserData(void* v) { return fUser_data(as<User_data>(v)); }
constexpr CtCustom kUserDataPair{true, parseUserData, formatUserData};
constexpr CtType kUserDataType = ctCustomType(kUserDataPair, sizeof(User_data));

// ---------------------------------------------------------------------------
// Members that call a context hook as soon as they are read.

uint32_t parseCalled(void* v) {
  auto* sel = as<PselBlock>(v);
  ber_getocts(kPselMaxLen, reinterpret_cast<OctStg*>(sel));
  hitCpCled(sel->length, sel->octets);
  return 1;
}
int64_t formatSelector(void* v) { return ct_formatType(kSelector, v, kSrc); }
constexpr CtCustom kCalledPair{false, parseCalled, formatSelector};
constexpr CtType kCalledType = ctCustomType(kCalledPair, sizeof(PselBlock));

uint32_t parseProposed(void* v) {
  parseArray(kContextList, v);
  hitCpProP(as<Context_list>(v));
  return 1;
}
constexpr CtCustom kProposedPair{false, parseProposed, formatList<kContextList>};
constexpr CtType kProposedType = ctCustomType(kProposedPair);

uint32_t parseDefault(void* v) {
  auto* d = as<DfltCtx>(v);
  ct_parseType(kDfltCtxType, d, kSrc);
  hitCpDflt(&d->asName, &d->tsName);
  return 1;
}
int64_t formatDefault(void* v) { return ct_formatType(kDfltCtxType, v, kSrc); }
constexpr CtCustom kDefaultPair{false, parseDefault, formatDefault};
constexpr CtType kDefaultType = ctCustomType(kDefaultPair, sizeof(DfltCtx));

uint32_t parseCpaResults(void* v) {
  parseArray(kResultList, v);
  hitCpaProP(as<Result_list>(v));
  return 1;
}
constexpr CtCustom kCpaResultsPair{false, parseCpaResults, formatList<kResultList>};
constexpr CtType kCpaResultsType = ctCustomType(kCpaResultsPair);

uint32_t parseCprResults(void* v) {
  parseArray(kResultList, v);
  hitCprProP(as<Result_list>(v));
  return 1;
}
constexpr CtCustom kCprResultsPair{false, parseCprResults, formatList<kResultList>};
constexpr CtType kCprResultsType = ctCustomType(kCprResultsPair);

uint32_t parseDefaultResult(void* v) {
  ber_getint(as<int32_t>(v));
  hitCprDflt(static_cast<uint32_t>(*as<int32_t>(v)));
  return 1;
}
int64_t formatDefaultResult(void* v) { return ber_addint(*as<int32_t>(v)); }
constexpr CtCustom kDefaultResultPair{false, parseDefaultResult, formatDefaultResult};
constexpr CtType kDefaultResultType = ctCustomType(kDefaultResultPair, sizeof(int32_t));

// ---------------------------------------------------------------------------
// X.410-mode members.

uint32_t parseConnData(void* v) { return aRtsConnectionData(as<RtsConnectionData>(v)); }
int64_t formatConnData(void* v) { return fRtsConnectionData(as<RtsConnectionData>(v)); }
constexpr CtCustom kConnDataPair{true, parseConnData, formatConnData};
constexpr CtType kConnData = ctCustomType(kConnDataPair, sizeof(RtsConnectionData));

constexpr CtField kRtorqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(PsRtorq, checkpointSize)).filled(kRqCheckpoint, 0),
    ctField(ctCtx(1), ctInt, offsetof(PsRtorq, windowSize)).filled(kRqWindow, RTS_DEFAULT_WINDOW),
    ctField(ctCtx(2), ctInt, offsetof(PsRtorq, dialogueMode)).filled(kRqDialogue, 0),
    ctField(ctCtx(3), kConnData, offsetof(PsRtorq, connectionData)).explicitOver(CT_SELF).constructed().required(kRqConnData),
    ctField(ctCtx(4), ctInt, offsetof(PsRtorq, applicationProtocol)).optional(kRqAppProtocol),
};
constexpr CtSeq kRtorqSeq{kRtorqFields, offsetof(PsRtorq, presence), CT_SET};
constexpr CtType kRtorqType = ctSeqType(kRtorqSeq, sizeof(PsRtorq));

constexpr CtField kRtoacFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(PsRtoac, checkpointSize)).filled(kAcCheckpoint, 0),
    ctField(ctCtx(1), ctInt, offsetof(PsRtoac, windowSize)).filled(kAcWindow, RTS_DEFAULT_WINDOW),
    ctField(ctCtx(2), kConnData, offsetof(PsRtoac, connectionData)).explicitOver(CT_SELF).constructed().required(kAcConnData),
};
constexpr CtSeq kRtoacSeq{kRtoacFields, offsetof(PsRtoac, presence), CT_SET};
constexpr CtType kRtoacType = ctSeqType(kRtoacSeq, sizeof(PsRtoac));

constexpr CtField kRtorjFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(PsRtorj, refuseReason)).required(kRjReason),
    ctField(ctCtx(1), ctAny, offsetof(PsRtorj, userData)).explicitOver(CT_SELF).constructed().optional(kRjUserData),
};
constexpr CtSeq kRtorjSeq{kRtorjFields, offsetof(PsRtorj, presence), CT_SET};
constexpr CtType kRtorjType = ctSeqType(kRtorjSeq, sizeof(PsRtorj));

constexpr CtField kRtabFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(PsRtab, abortReason)).optional(kAbReason),
    ctField(ctCtx(1), kBits16, offsetof(PsRtab, reflectedParameter)).optional(kAbReflected),
    ctField(ctCtx(2), ctAny, offsetof(PsRtab, userData)).explicitOver(CT_SELF).constructed().optional(kAbUserData),
};
constexpr CtSeq kRtabSeq{kRtabFields, offsetof(PsRtab, presence), CT_SET};
constexpr CtType kRtabType = ctSeqType(kRtabSeq, sizeof(PsRtab));

// ---------------------------------------------------------------------------
// CP-type.

constexpr CtField kCpNormalFields[] = {
    ctField(ctCtx(0), kBits1, offsetof(CP_normal, protocolVersion)).optional(kCpVersion),
    ctField(ctCtx(1), kSelector, offsetof(CP_normal, calling)).optional(kCpCalling),
    ctField(ctCtx(2), kCalledType, offsetof(CP_normal, called)).optional(kCpCalled),
    ctField(ctCtx(4), kProposedType, offsetof(CP_normal, contexts)).constructed().optional(kCpContexts),
    ctField(ctCtx(6), kDefaultType, offsetof(CP_normal, defaultContext)).constructed().optional(kCpDefault),
    ctField(ctCtx(8), kBits2, offsetof(CP_normal, presRequirements)).optional(kCpPresRequirements),
    ctField(ctCtx(9), kBits11, offsetof(CP_normal, userSessRequirements)).optional(kCpUserSessRequirements),
    ctField(CT_SELF, kUserDataType, offsetof(CP_normal, userData)).optional(kCpUserData),
};
constexpr CtSeq kCpNormalSeq{kCpNormalFields, offsetof(CP_normal, presence), CT_SEQUENCE, CT_END_EXTENS};
constexpr CtType kCpNormalType = ctSeqType(kCpNormalSeq, sizeof(CP_normal));

constexpr CtField kCpFields[] = {
    ctField(ctCtx(0), kModeType, offsetof(CP_type, mode)).required(kCpMode),
    ctField(ctCtx(1), kRtorqType, offsetof(CP_type, x410)).optional(kCpX410),
    ctField(ctCtx(2), kCpNormalType, offsetof(CP_type, normal)).optional(kCpNormal),
};
constexpr CtSeq kCpSeq{kCpFields, offsetof(CP_type, presence), CT_SET};
constexpr CtType kCpType = ctSeqType(kCpSeq, sizeof(CP_type));
constexpr CtField kCpField = ctField(ctUniv(17), kCpType);

// ---------------------------------------------------------------------------
// CPA-PPDU.

constexpr CtField kCpaNormalFields[] = {
    ctField(ctCtx(0), kBits1, offsetof(CPA_normal, protocolVersion)).optional(kCpaVersion),
    ctField(ctCtx(3), kSelector, offsetof(CPA_normal, responding)).optional(kCpaResponding),
    ctField(ctCtx(5), kCpaResultsType, offsetof(CPA_normal, results)).constructed().optional(kCpaResults),
    ctField(ctCtx(8), kBits2, offsetof(CPA_normal, presRequirements)).optional(kCpaPresRequirements),
    ctField(ctCtx(9), kBits11, offsetof(CPA_normal, userSessRequirements)).optional(kCpaUserSessRequirements),
    ctField(CT_SELF, kUserDataType, offsetof(CPA_normal, userData)).optional(kCpaUserData),
};
constexpr CtSeq kCpaNormalSeq{kCpaNormalFields, offsetof(CPA_normal, presence)};
constexpr CtType kCpaNormalType = ctSeqType(kCpaNormalSeq, sizeof(CPA_normal));

constexpr CtField kCpaFields[] = {
    ctField(ctCtx(0), kModeType, offsetof(CPA_PPDU, mode)).required(kCpaMode),
    ctField(ctCtx(1), kRtoacType, offsetof(CPA_PPDU, x410)).optional(kCpaX410),
    ctField(ctCtx(2), kCpaNormalType, offsetof(CPA_PPDU, normal)).optional(kCpaNormal),
};
constexpr CtSeq kCpaSeq{kCpaFields, offsetof(CPA_PPDU, presence), CT_SET};
constexpr CtType kCpaType = ctSeqType(kCpaSeq, sizeof(CPA_PPDU));
constexpr CtField kCpaField = ctField(ctUniv(17), kCpaType);

// ---------------------------------------------------------------------------
// CPR-PPDU.

constexpr CtField kCprNormalFields[] = {
    ctField(ctCtx(0), kBits1, offsetof(CPR_normal, protocolVersion)).optional(kCprVersion),
    ctField(ctCtx(3), kSelector, offsetof(CPR_normal, responding)).optional(kCprResponding),
    ctField(ctCtx(5), kCprResultsType, offsetof(CPR_normal, results)).constructed().optional(kCprResults),
    ctField(ctCtx(7), kDefaultResultType, offsetof(CPR_normal, defaultResult)).optional(kCprDefaultResult),
    ctField(ctCtx(10), ctInt, offsetof(CPR_normal, providerReason)).optional(kCprProviderReason),
    ctField(CT_SELF, kUserDataType, offsetof(CPR_normal, userData)).optional(kCprUserData),
};
constexpr CtSeq kCprNormalSeq{kCprNormalFields, offsetof(CPR_normal, presence)};
constexpr CtType kCprNormalType = ctSeqType(kCprNormalSeq, sizeof(CPR_normal));

constexpr CtField kCprAlts[] = {
    ctField(ctUniv(17), kRtorjType, offsetof(CPR_PPDU, x410)),
    ctField(ctUniv(16), kCprNormalType, offsetof(CPR_PPDU, normal)),
};
constexpr CtChoice kCprChoice{kCprAlts, offsetof(CPR_PPDU, kind)};
constexpr CtType kCprType = ctChoiceType(kCprChoice, sizeof(CPR_PPDU));

// ---------------------------------------------------------------------------
// Abort-type.

constexpr CtField kAruNormalFields[] = {
    ctField(ctCtx(0), kCtxIdListType, offsetof(ARU_normal, contextIds)).constructed().optional(kAruContextIds),
    ctField(CT_SELF, kUserDataType, offsetof(ARU_normal, userData)).optional(kAruUserData),
};
constexpr CtSeq kAruNormalSeq{kAruNormalFields, offsetof(ARU_normal, presence)};
constexpr CtType kAruNormalType = ctSeqType(kAruNormalSeq, sizeof(ARU_normal));

constexpr CtField kArpFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(ARP_PPDU, providerReason)).optional(kArpReason),
    ctField(ctCtx(1), ctInt, offsetof(ARP_PPDU, eventId)).optional(kArpEvent),
};
constexpr CtSeq kArpSeq{kArpFields, offsetof(ARP_PPDU, presence)};
constexpr CtType kArpType = ctSeqType(kArpSeq, sizeof(ARP_PPDU));
constexpr CtField kArpField = ctField(ctUniv(16), kArpType);

constexpr CtField kAbortAlts[] = {
    ctField(ctUniv(17), kRtabType, offsetof(Abort_type, x410)),
    ctField(ctCtx(0), kAruNormalType, offsetof(Abort_type, aru)),
    ctField(ctUniv(16), kArpType, offsetof(Abort_type, arp)),
};
constexpr CtChoice kAbortChoice{kAbortAlts, offsetof(Abort_type, kind)};
constexpr CtType kAbortType = ctChoiceType(kAbortChoice, sizeof(Abort_type));

// ---------------------------------------------------------------------------
// RS-PPDU and RSA-PPDU.

constexpr CtField kRsFields[] = {
    ctField(ctCtx(0), kCtxIdListType, offsetof(RS_PPDU, contextIds)).constructed().optional(kRsContextIds),
    ctField(CT_SELF, kUserDataType, offsetof(RS_PPDU, userData)).optional(kRsUserData),
};
constexpr CtSeq kRsSeq{kRsFields, offsetof(RS_PPDU, presence)};
constexpr CtType kRsType = ctSeqType(kRsSeq, sizeof(RS_PPDU));
constexpr CtField kRsField = ctField(ctUniv(16), kRsType);

// ---------------------------------------------------------------------------
// Typed-data-type: AC-PPDU and ACA-PPDU; TTD is User-data.

constexpr CtField kAcFields[] = {
    ctField(ctCtx(0), kContextListType, offsetof(AC_PPDU, additions)).constructed().optional(kAcAdditions),
    ctField(ctCtx(1), kDeletionListType, offsetof(AC_PPDU, deletions)).constructed().optional(kAcDeletions),
    ctField(CT_SELF, kUserDataType, offsetof(AC_PPDU, userData)).optional(kAcUserData),
};
constexpr CtSeq kAcSeq{kAcFields, offsetof(AC_PPDU, presence)};
constexpr CtType kAcType = ctSeqType(kAcSeq, sizeof(AC_PPDU));

constexpr CtField kAcaFields[] = {
    ctField(ctCtx(0), kResultListType, offsetof(ACA_PPDU, additions)).constructed().optional(kAcaAdditions),
    ctField(ctCtx(1), kDeletionResultsType, offsetof(ACA_PPDU, deletions)).constructed().optional(kAcaDeletions),
    ctField(CT_SELF, kUserDataType, offsetof(ACA_PPDU, userData)).optional(kAcaUserData),
};
constexpr CtSeq kAcaSeq{kAcaFields, offsetof(ACA_PPDU, presence)};
constexpr CtType kAcaType = ctSeqType(kAcaSeq, sizeof(ACA_PPDU));

constexpr CtField kTypedAlts[] = {
    ctField(ctCtx(0), kAcType, offsetof(Typed_data_type, ac)),
    ctField(ctCtx(1), kAcaType, offsetof(Typed_data_type, aca)),
};
constexpr CtChoice kTypedChoice{kTypedAlts, offsetof(Typed_data_type, kind)};
constexpr CtType kTypedType = ctChoiceType(kTypedChoice, sizeof(Typed_data_type));

// An absent protocol-version is version-1.
void versionOne(uint32_t presence, uint32_t bit, uint32_t* version) {
  if ((presence & bit) == 0) *version = kProtocolVersion1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Format routines

int64_t fCP_type(CP_type* p) { return ct_formatField(kCpField, p, kSrc); }
int64_t fCPA_PPDU(CPA_PPDU* p) { return ct_formatField(kCpaField, p, kSrc); }
int64_t fCPR_PPDU(CPR_PPDU* p) { return ct_formatType(kCprType, p, kSrc); }
int64_t fCPC_type(User_data* p) { return fUser_data(p); }
int64_t fAbort_type(Abort_type* p) { return ct_formatType(kAbortType, p, kSrc); }
int64_t fARP_PPDU(ARP_PPDU* p) { return ct_formatField(kArpField, p, kSrc); }
int64_t fRS_PPDU(RS_PPDU* p) { return ct_formatField(kRsField, p, kSrc); }
int64_t fRSA_PPDU(RSA_PPDU* p) { return ct_formatField(kRsField, p, kSrc); }

int64_t fTyped_data_type(Typed_data_type* p) {
  if (p != nullptr && (p->kind == kUserDataSimple || p->kind == kUserDataFull)) {
    p->ttd.kind = p->kind;
    return fUser_data(&p->ttd);
  }
  return ct_formatType(kTypedType, p, kSrc);
}

int64_t fAC_PPDU(AC_PPDU* p) { return ct_formatType(kAcType, p, kSrc); }
int64_t fACA_PPDU(ACA_PPDU* p) { return ct_formatType(kAcaType, p, kSrc); }
int64_t fContext_list(Context_list* p) { return formatArray(kContextList, p); }
int64_t fResult_list(Result_list* p) { return formatArray(kResultList, p); }
int64_t fDfltCtx(DfltCtx* p) { return ct_formatType(kDfltCtxType, p, kSrc); }
int64_t fMode_selector(Mode_selector* p) { return ct_formatType(kModeType, p, kSrc); }
int64_t fP_CtxIdLst(P_CtxIdLst* p) { return formatArray(kCtxIdList, p); }
int64_t fP_CtxDelLst(P_CtxDelLst* p) { return formatArray(kDeletionList, p); }
int64_t fP_CtxDelRslt(P_CtxDelRslt* p) { return formatArray(kDeletionResults, p); }

// ---------------------------------------------------------------------------
// Parse routines

uint32_t aCP_type(CP_type* p) {
  PsExtensibility on(1);
  p->normal.presence = 0;
  p->x410.presence = 0;
  const uint32_t r = ct_parseField(kCpField, p, kSrc);
  if (r != 0) versionOne(p->normal.presence, kCpVersion, &p->normal.protocolVersion);
  return r;
}

uint32_t aCPA_PPDU(CPA_PPDU* p) {
  p->normal.presence = 0;
  p->x410.presence = 0;
  const uint32_t r = ct_parseField(kCpaField, p, kSrc);
  if (r != 0) versionOne(p->normal.presence, kCpaVersion, &p->normal.protocolVersion);
  return r;
}

uint32_t aCPR_PPDU(CPR_PPDU* p) {
  p->normal.presence = 0;
  p->x410.presence = 0;
  const uint32_t r = ct_parseType(kCprType, p, kSrc);
  if (r != 0) versionOne(p->normal.presence, kCprVersion, &p->normal.protocolVersion);
  return r;
}

uint32_t aCPC_type(User_data* p) {
  if (aUser_data(p) == 0) fail(AAE_MSGPARAM, __LINE__);
  return 1;
}

uint32_t aAbort_type(Abort_type* p) {
  p->x410.presence = 0;
  p->aru.presence = 0;
  p->arp.presence = 0;
  return ct_parseType(kAbortType, p, kSrc);
}

uint32_t aARP_PPDU(ARP_PPDU* p) { return ct_parseField(kArpField, p, kSrc); }
uint32_t aRS_PPDU(RS_PPDU* p) { return ct_parseField(kRsField, p, kSrc); }
uint32_t aRSA_PPDU(RSA_PPDU* p) { return ct_parseField(kRsField, p, kSrc); }

uint32_t aTyped_data_type(Typed_data_type* p) {
  const int32_t code = ber_peektype();
  if (code == static_cast<int32_t>(kUserDataSimple) || code == static_cast<int32_t>(kUserDataFull)) {
    aUser_data(&p->ttd);
    p->kind = p->ttd.kind;
    return 1;
  }
  p->ac.presence = 0;
  p->aca.presence = 0;
  return ct_parseType(kTypedType, p, kSrc);
}

uint32_t aAC_PPDU(AC_PPDU* p) { return ct_parseType(kAcType, p, kSrc); }
uint32_t aACA_PPDU(ACA_PPDU* p) { return ct_parseType(kAcaType, p, kSrc); }
uint32_t aContext_list(Context_list* p) { return parseArray(kContextList, p); }
uint32_t aResult_list(Result_list* p) { return parseArray(kResultList, p); }
uint32_t aDfltCtx(DfltCtx* p) { return ct_parseType(kDfltCtxType, p, kSrc); }
uint32_t aMode_selector(Mode_selector* p) { return ct_parseType(kModeType, p, kSrc); }
uint32_t aP_CtxIdLst(P_CtxIdLst* p) { return parseArray(kCtxIdList, p); }
uint32_t aP_CtxDelLst(P_CtxDelLst* p) { return parseArray(kDeletionList, p); }
uint32_t aP_CtxDelRslt(P_CtxDelRslt* p) { return parseArray(kDeletionResults, p); }

// ---------------------------------------------------------------------------
// Pass entries

void* psParseCP(void* r) { return aCP_type(static_cast<CP_type*>(r)) != 0 ? r : nullptr; }
void* psParseCPA(void* r) { return aCPA_PPDU(static_cast<CPA_PPDU*>(r)) != 0 ? r : nullptr; }
void* psParseCPR(void* r) { return aCPR_PPDU(static_cast<CPR_PPDU*>(r)) != 0 ? r : nullptr; }
void* psParseAbort(void* r) { return aAbort_type(static_cast<Abort_type*>(r)) != 0 ? r : nullptr; }
void* psParseRS(void* r) { return aRS_PPDU(static_cast<RS_PPDU*>(r)) != 0 ? r : nullptr; }
void* psParseRSA(void* r) { return aRSA_PPDU(static_cast<RSA_PPDU*>(r)) != 0 ? r : nullptr; }
void* psParseTyped(void* r) { return aTyped_data_type(static_cast<Typed_data_type*>(r)) != 0 ? r : nullptr; }

void* psParseUserData(void* r) {
  aUser_data(static_cast<User_data*>(r));
  return r;
}

void* psParseSimple(void* r) {
  auto* d = static_cast<User_data*>(r);
  d->kind = kUserDataSimple;
  return getSimply_enc_data(&d->simple) != nullptr ? r : nullptr;
}

int64_t psFormatCP(void* r) { return fCP_type(static_cast<CP_type*>(r)); }
int64_t psFormatCPA(void* r) { return fCPA_PPDU(static_cast<CPA_PPDU*>(r)); }
int64_t psFormatCPR(void* r) { return fCPR_PPDU(static_cast<CPR_PPDU*>(r)); }
int64_t psFormatAbort(void* r) { return fAbort_type(static_cast<Abort_type*>(r)); }
int64_t psFormatRS(void* r) { return fRS_PPDU(static_cast<RS_PPDU*>(r)); }
int64_t psFormatRSA(void* r) { return fRSA_PPDU(static_cast<RSA_PPDU*>(r)); }
int64_t psFormatUserData(void* r) { return fUser_data(static_cast<User_data*>(r)); }
int64_t psFormatSimple(void* r) { return addSimply_enc_data(&static_cast<User_data*>(r)->simple); }
