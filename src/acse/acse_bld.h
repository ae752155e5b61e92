// Building and taking apart ACSE APDUs at the level of service-primitive
// parameters: one build function per APDU that fills a caller's record, and
// one tear function per APDU that hands a received record's parameters
// back. They copy values and pointers (arcs, names, strings and user values
// are shared with the caller or the record, not duplicated); they allocate,
// encode and send nothing.
//
// Build functions answer 1, or 0 with ac_errno set (AcErrorCode). An
// optional parameter is a pointer, NULL when absent; an AP title is passed
// by value and is absent with kind 0.
#pragma once

#include <cstdint>

#include "src/acse/acse_apdu.h"

// One user-information entry as the caller gives and receives it: the
// presentation context, the word handed with the value to that context's
// formatter, and the value.
struct AcUserData {
  uint32_t pctxId;
  uint32_t formatter;
  void* value;
};

int32_t ac_bldAARQ(AcseApdu* rec, const ObjIdV* contextName, UL_APTitle calledApTitle, const UL_AEQual* calledAeQual,
                   const int32_t* calledApInvoke, const int32_t* calledAeInvoke, UL_APTitle callingApTitle,
                   const UL_AEQual* callingAeQual, const int32_t* callingApInvoke, const int32_t* callingAeInvoke,
                   const uint32_t* requirements, const ObjIdV* mechanism, const AcAuthValue* auth, char* implInfo,
                   uint32_t userCount, const AcUserData* userData);
int32_t ac_bldAARE(AcseApdu* rec, const ObjIdV* contextName, uint32_t result, uint32_t resultSource,
                   uint32_t diagnostic, UL_APTitle respApTitle, const UL_AEQual* respAeQual,
                   const int32_t* respApInvoke, const int32_t* respAeInvoke, const uint32_t* requirements,
                   const ObjIdV* mechanism, const AcAuthValue* auth, char* implInfo, uint32_t userCount,
                   const AcUserData* userData);
// The reason is stored only when reasonFlag is exactly 1. The RLRE's
// release result (and its presence) is left as the record holds it.
int32_t ac_bldRLRQ(AcseApdu* rec, int32_t reasonFlag, int32_t reason, uint32_t userCount, const AcUserData* userData);
int32_t ac_bldRLRE(AcseApdu* rec, int32_t reasonFlag, int32_t reason, uint32_t userCount, const AcUserData* userData);
// The diagnostic is stored but not marked present, so it is not encoded.
int32_t ac_bldABRT(AcseApdu* rec, uint32_t source, uint32_t diagnostic, uint32_t userCount,
                   const AcUserData* userData);

// Copies an authentication value into a record's field; 0 when either is
// missing or the kind is 0 or unknown.
int32_t AC_setAuthValAARQ(const AcAuthValue* in, AcAuthValue* field);
int32_t AC_setAuthValAARE(const AcAuthValue* in, AcAuthValue* field);
// Fills a user-information list from count entries (at most four); 0 when
// there are none.
int32_t AC_setUser(const AcUserData* entries, uint32_t count, AcUserInfo* list);

// Tear functions: 0, writing nothing, when the record is missing or holds
// another APDU; else 1. Every output given receives the value, a pointer
// into the record, or NULL (kind 0 for titles and authentication values)
// when the field is absent. User data: *userCount holds the capacity of
// userData on entry and the number of entries copied on return.
int32_t ac_tearAARQ(const AcseApdu* rec, ObjIdV* contextName, UL_APTitle* calledApTitle,
                    const UL_AEQual** calledAeQual, const int32_t** calledApInvoke, const int32_t** calledAeInvoke,
                    UL_APTitle* callingApTitle, const UL_AEQual** callingAeQual, const int32_t** callingApInvoke,
                    const int32_t** callingAeInvoke, const uint32_t** requirements, const ObjIdV** mechanism,
                    AcAuthValue* auth, char** implInfo, uint32_t* userCount, AcUserData* userData);
// The result always; the result source and diagnostic only when the source
// is the service user or provider (else those outputs are untouched).
int32_t ac_tearAARE(const AcseApdu* rec, ObjIdV* contextName, uint32_t* result, uint32_t* resultSource,
                    uint32_t* diagnostic, UL_APTitle* respApTitle, const UL_AEQual** respAeQual,
                    const int32_t** respApInvoke, const int32_t** respAeInvoke, const uint32_t** requirements,
                    const ObjIdV** mechanism, AcAuthValue* auth, char** implInfo, uint32_t* userCount,
                    AcUserData* userData);
// A present reason sets *reasonFlag to 1 and *reason; an absent one leaves
// both untouched. The RLRE's release result is not returned.
int32_t ac_tearRLRQ(const AcseApdu* rec, int32_t* reasonFlag, int32_t* reason, uint32_t* userCount,
                    AcUserData* userData);
int32_t ac_tearRLRE(const AcseApdu* rec, int32_t* reasonFlag, int32_t* reason, uint32_t* userCount,
                    AcUserData* userData);
int32_t ac_tearABRT(const AcseApdu* rec, uint32_t* source, uint32_t* diagnostic, uint32_t* userCount,
                    AcUserData* userData);

// Copies a record's authentication value out; 0 when the output is missing
// or the kind is 0 or unknown.
int32_t AC_getAuthValAARQ(const AcAuthValue* field, AcAuthValue* out);
int32_t AC_getAuthValAARE(const AcAuthValue* field, AcAuthValue* out);
// Copies min(*count, entries of list) entries out and sets *count to that
// number (0 when list or entries is NULL).
void AC_GetUser(const AcUserInfo* list, uint32_t* count, AcUserData* entries);
