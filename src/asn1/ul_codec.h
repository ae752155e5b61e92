// Codecs of the upper-layer naming values: presentation addresses, AP and
// AE titles, AE qualifiers with their directory-name forms, authentication
// values and the AE identifier (records in ul_types.h).
//
// Every routine reads or writes the whole element, identifier included.
// Routines that fill a caller's record answer all ones when they read it
// and 0 when the next element is not theirs (a CHOICE then leaves its kind
// as it was), so that the caller can take the element as absent; those that
// allocate their record return it, or NULL on the same condition.
#pragma once

#include "src/asn1/codec_table.h"
#include "src/asn1/ul_types.h"

uint32_t aUL_Paddress(UL_Paddress* pa);
int64_t fUL_Paddress(UL_Paddress* pa);
uint32_t aUL_Naddress(UL_Ring* ring);  // SET OF OCTET STRING, at least one
int64_t fUL_Naddress(UL_Ring* ring);
uint32_t aUL_APTitle(UL_APTitle* title);
int64_t fUL_APTitle(UL_APTitle* title);
uint32_t aUL_AETitle(UL_APTitle* title);
int64_t fUL_AETitle(UL_APTitle* title);
// An AE title that must be there: error 3 when it is not.
uint32_t aUL_AETitleDummy(UL_APTitle* title);
int64_t fUL_AETitleDummy(UL_APTitle* title);
uint32_t aUL_AEQual(UL_AEQual* qual);
int64_t fUL_AEQual(UL_AEQual* qual);
UL_Ring* aUL_DN();   // ring of UL_DNEntry; may be empty
int64_t fUL_DN(UL_Ring* dn);
UL_Ring* aUL_RDN();  // ring of UL_RDNEntry; at least one
int64_t fUL_RDN(UL_Ring* rdn);
uint32_t aUL_AVA(UL_AVA* ava);
int64_t fUL_AVA(UL_AVA* ava);
uint32_t aUL_AuthVal(UL_AuthVal* auth);
int64_t fUL_AuthVal(UL_AuthVal* auth);
uint32_t aUL_NService(int32_t* v);  // universal INTEGER
int64_t fUL_NService(int32_t* v);
uint32_t aUL_TClass(int32_t* v);
int64_t fUL_TClass(int32_t* v);
UL_AEId* aUL_AEId();
int64_t fUL_AEId(UL_AEId* id);

// The attribute value of an AVA: the whole element as it stands.
uint32_t getattrVal(BerAny* value);
int64_t addattrVal(BerAny* value);

// Descriptors for the codecs that carry these values: the AE identifier
// (SEQUENCE contents), the AP/AE title and the AE qualifier (CHOICEs).
extern const CtType kUlAeId;
extern const CtType kUlApTitle;
extern const CtType kUlAeQual;
