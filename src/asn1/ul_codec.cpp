// Upper-layer naming value descriptors and their named routines.
#include "src/asn1/ul_codec.h"

#include "src/asn1/authmech.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"

namespace {

constexpr const char* kSrc = "src/ul_codec";

constexpr CtType kText15 = ctTextBuf(15);  // 16-octet buffer with its NUL
constexpr CtType kBits16 = ctBitW(16);

// Network addresses: SET OF OCTET STRING.
constexpr CtList kNaddrList{ctField(ctUniv(4), ctOctv, offsetof(UL_NaddrEntry, addr)), sizeof(UL_NaddrEntry)};
constexpr CtType kNaddrs = ctListType(kNaddrList);

constexpr CtField kPaddrFields[] = {
    ctField(ctCtx(0), ctOctv, offsetof(UL_Paddress, pSel)).explicitOver(ctUniv(4)).optional(UL_PADDR_PSEL),
    ctField(ctCtx(1), ctOctv, offsetof(UL_Paddress, sSel)).explicitOver(ctUniv(4)).optional(UL_PADDR_SSEL),
    ctField(ctCtx(2), ctOctv, offsetof(UL_Paddress, tSel)).explicitOver(ctUniv(4)).optional(UL_PADDR_TSEL),
    ctField(ctCtx(3), kNaddrs, offsetof(UL_Paddress, nAddrs)).explicitOver(ctUniv(17)),
};
constexpr CtSeq kPaddrSeq{kPaddrFields, offsetof(UL_Paddress, mask)};
constexpr CtType kPaddr = ctSeqType(kPaddrSeq, sizeof(UL_Paddress));

// AttributeValueAssertion ::= SEQUENCE { OBJECT IDENTIFIER, ANY }
constexpr CtCustom kAttrValCustom{
    true,
    [](void* v) -> uint32_t { return getattrVal(static_cast<BerAny*>(v)); },
    [](void* v) -> int64_t { return addattrVal(static_cast<BerAny*>(v)); },
};
constexpr CtType kAttrVal = ctCustomType(kAttrValCustom, sizeof(BerAny));
constexpr CtField kAvaFields[] = {
    ctField(ctUniv(6), ctObjIdV, offsetof(UL_AVA, type)),
    ctField(CT_SELF, kAttrVal, offsetof(UL_AVA, value)),
};
constexpr CtSeq kAvaSeq{kAvaFields};
constexpr CtType kAva = ctSeqType(kAvaSeq, sizeof(UL_AVA));

// RelativeDistinguishedName ::= SET OF AVA (at least one);
// DistinguishedName ::= SEQUENCE OF RDN (may be empty).
constexpr CtList kRdnList{ctField(ctUniv(16), kAva, offsetof(UL_RDNEntry, ava)), sizeof(UL_RDNEntry)};
constexpr CtType kRdn = ctListType(kRdnList);
constexpr CtList kDnList{ctField(ctUniv(17), kRdn, offsetof(UL_DNEntry, rdn)).indirect(), sizeof(UL_DNEntry),
                         CT_EMPTY_OK};
constexpr CtType kDn = ctListType(kDnList);

constexpr CtField kApTitleAlts[] = {
    ctField(ctUniv(6), ctObjIdV, offsetof(UL_APTitle, objId)),
    ctField(ctUniv(16), kDn, offsetof(UL_APTitle, dn)).indirect(),
};
constexpr CtChoice kApTitleChoice{kApTitleAlts, offsetof(UL_APTitle, kind)};

constexpr CtField kAeQualAlts[] = {
    ctField(ctUniv(2), ctInt64, offsetof(UL_AEQual, integer)),
    ctField(ctUniv(17), kRdn, offsetof(UL_AEQual, rdn)).indirect(),
};
constexpr CtChoice kAeQualChoice{kAeQualAlts, offsetof(UL_AEQual, kind)};

// The other-mechanism form goes to the mechanism hooks; no mechanism is
// named, so they decode and encode nothing and a [3] read is error 3.
constexpr ObjIdV kNoMechanism{0, nullptr};
constexpr CtCustom kOtherCustom{
    false,
    [](void* v) -> uint32_t { return getother(v, &kNoMechanism) != 0 ? 1u : 0u; },
    [](void* v) -> int64_t { return addother(v, &kNoMechanism); },
};
constexpr CtType kOther = ctCustomType(kOtherCustom);

constexpr CtField kAuthValAlts[] = {
    ctField(ctCtx(0), kText15, offsetof(UL_AuthVal, string)),
    ctField(ctCtx(1), kBits16, offsetof(UL_AuthVal, bits)),
    ctField(ctCtx(2), ctExternal, offsetof(UL_AuthVal, external)).constructed(),
    ctField(ctCtx(3), kOther, offsetof(UL_AuthVal, string)),
};
constexpr CtChoice kAuthValChoice{kAuthValAlts, offsetof(UL_AuthVal, kind)};
constexpr CtType kAuthVal = ctChoiceType(kAuthValChoice, sizeof(UL_AuthVal));

}  // namespace

extern const CtType kUlApTitle;
extern const CtType kUlAeQual;
extern const CtType kUlAeId;
constexpr CtType kUlApTitle = ctChoiceType(kApTitleChoice, sizeof(UL_APTitle));
constexpr CtType kUlAeQual = ctChoiceType(kAeQualChoice, sizeof(UL_AEQual));

namespace {

constexpr CtField kAeIdFields[] = {
    ctField(ctCtx(0), kPaddr, offsetof(UL_AEId, pAddress)).explicitOver(ctUniv(16)),
    ctField(ctCtx(1), kUlApTitle, offsetof(UL_AEId, apTitle)).explicitOver(CT_SELF).optional(UL_AEID_APTITLE),
    ctField(ctCtx(2), kUlAeQual, offsetof(UL_AEId, aeQual)).explicitOver(CT_SELF).optional(UL_AEID_AEQUAL),
    ctField(ctCtx(3), ctInt, offsetof(UL_AEId, apInvokeId)).explicitOver(ctUniv(2)).optional(UL_AEID_APINVOKE),
    ctField(ctCtx(4), ctInt, offsetof(UL_AEId, aeInvokeId)).explicitOver(ctUniv(2)).optional(UL_AEID_AEINVOKE),
    ctField(ctCtx(5), ctInt, offsetof(UL_AEId, nService))
        .explicitOver(ctUniv(2))
        .filled(UL_AEID_NSERVICE, UL_NSERVICE_DEFAULT),
    ctField(ctCtx(6), ctInt, offsetof(UL_AEId, tClass)).explicitOver(ctUniv(2)).filled(UL_AEID_TCLASS, UL_TCLASS_DEFAULT),
    ctField(ctCtx(7), ctInt, offsetof(UL_AEId, integer7)).explicitOver(ctUniv(2)).optional(UL_AEID_INTEGER7),
    ctField(ctCtx(8), ctObjIdV, offsetof(UL_AEId, objId8)).explicitOver(ctUniv(6)).optional(UL_AEID_OBJID8),
    ctField(ctCtx(9), kAuthVal, offsetof(UL_AEId, authVal)).explicitOver(CT_SELF).optional(UL_AEID_AUTHVAL),
};
constexpr CtSeq kAeIdSeq{kAeIdFields, offsetof(UL_AEId, mask)};

// The routines read and write whole elements: each is a field of its own.
constexpr CtField kPaddrElem = ctField(ctUniv(16), kPaddr);
constexpr CtField kNaddrElem = ctField(ctUniv(17), kNaddrs);
constexpr CtField kApTitleElem = ctField(CT_SELF, kUlApTitle);
constexpr CtField kAeQualElem = ctField(CT_SELF, kUlAeQual);
constexpr CtField kDnElem = ctField(ctUniv(16), kDn);
constexpr CtField kRdnElem = ctField(ctUniv(17), kRdn);
constexpr CtField kAvaElem = ctField(ctUniv(16), kAva);
constexpr CtField kAuthValElem = ctField(CT_SELF, kAuthVal);
constexpr CtField kIntElem = ctField(ctUniv(2), ctInt);

uint32_t parse(const CtField& f, void* value) { return ct_parseField(f, value, kSrc); }
int64_t format(const CtField& f, void* value) { return ct_formatField(f, value, kSrc); }

// A record of its own for the element of f; NULL when it is not there.
void* parseAllocated(const CtField& f) {
  void* slot = nullptr;
  const CtField indirect = f.indirect();
  ct_parseField(indirect, &slot, kSrc);
  return slot;
}

}  // namespace

constexpr CtType kUlAeId = ctSeqType(kAeIdSeq, sizeof(UL_AEId));

uint32_t getattrVal(BerAny* value) { return ber_getany(value); }
int64_t addattrVal(BerAny* value) { return ber_addany(value); }

uint32_t aUL_Paddress(UL_Paddress* pa) { return parse(kPaddrElem, pa); }
int64_t fUL_Paddress(UL_Paddress* pa) { return format(kPaddrElem, pa); }
uint32_t aUL_Naddress(UL_Ring* ring) { return parse(kNaddrElem, ring); }
int64_t fUL_Naddress(UL_Ring* ring) { return format(kNaddrElem, ring); }
uint32_t aUL_APTitle(UL_APTitle* title) { return parse(kApTitleElem, title); }
int64_t fUL_APTitle(UL_APTitle* title) { return format(kApTitleElem, title); }
uint32_t aUL_AETitle(UL_APTitle* title) { return parse(kApTitleElem, title); }
int64_t fUL_AETitle(UL_APTitle* title) { return format(kApTitleElem, title); }
uint32_t aUL_AETitleDummy(UL_APTitle* title) {
  if (parse(kApTitleElem, title) == 0) aaRaise(AAE_MSGPARAM, kSrc, __LINE__);
  return UINT32_MAX;
}
int64_t fUL_AETitleDummy(UL_APTitle* title) { return format(kApTitleElem, title); }
uint32_t aUL_AEQual(UL_AEQual* qual) { return parse(kAeQualElem, qual); }
int64_t fUL_AEQual(UL_AEQual* qual) { return format(kAeQualElem, qual); }
UL_Ring* aUL_DN() { return static_cast<UL_Ring*>(parseAllocated(kDnElem)); }
int64_t fUL_DN(UL_Ring* dn) { return format(kDnElem, dn); }
UL_Ring* aUL_RDN() { return static_cast<UL_Ring*>(parseAllocated(kRdnElem)); }
int64_t fUL_RDN(UL_Ring* rdn) { return format(kRdnElem, rdn); }
uint32_t aUL_AVA(UL_AVA* ava) { return parse(kAvaElem, ava); }
int64_t fUL_AVA(UL_AVA* ava) { return format(kAvaElem, ava); }
uint32_t aUL_AuthVal(UL_AuthVal* auth) { return parse(kAuthValElem, auth); }
int64_t fUL_AuthVal(UL_AuthVal* auth) { return format(kAuthValElem, auth); }
uint32_t aUL_NService(int32_t* v) { return parse(kIntElem, v); }
int64_t fUL_NService(int32_t* v) { return format(kIntElem, v); }
uint32_t aUL_TClass(int32_t* v) { return parse(kIntElem, v); }
int64_t fUL_TClass(int32_t* v) { return format(kIntElem, v); }
UL_AEId* aUL_AEId() { return static_cast<UL_AEId*>(parseAllocated(ctField(ctUniv(16), kUlAeId))); }
int64_t fUL_AEId(UL_AEId* id) { return format(ctField(ctUniv(16), kUlAeId), id); }
