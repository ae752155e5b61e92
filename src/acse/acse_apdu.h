// ACSE APDUs (association control, ISO 8650) in memory, and their BER codec.
//
// One record, AcseApdu, holds any APDU: its code (the type code of the
// outer identifier) and the variant of that code. The A-ASSOCIATE request
// and response records also carry the presentation and session parameters
// of the service in a private extension ([PRIVATE 99]), which the
// APDU/PPDU conversion moves between the APDU and the P-CONNECT primitive.
//
// fApdu and aApdu are the format and parse routines of the ACSE abstract
// syntax; they run inside a BER pass. Every element is described by the
// descriptors of codec_table.h. Bit-string words hold the first contents
// octet in their low octet, bit 0 of the BIT STRING being its top bit: the
// protocol version version1 and the authentication requirement are 128.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/asn1/ber_external.h"
#include "src/asn1/codec_table.h"
#include "src/asn1/ul_types.h"

// ---------------------------------------------------------------------------
// APDU codes.

enum AcApduCode : uint32_t {
  AC_APDU_AARQ = 8192,   // [APPLICATION 0] A-ASSOCIATE request
  AC_APDU_AARE = 8193,   // [APPLICATION 1] A-ASSOCIATE response
  AC_APDU_RLRQ = 8194,   // [APPLICATION 2] A-RELEASE request
  AC_APDU_RLRE = 8195,   // [APPLICATION 3] A-RELEASE response
  AC_APDU_ABRT = 8196,   // [APPLICATION 4] A-ABORT
  AC_APDU_PABRT = 24581, // [PRIVATE 5] presentation provider abort for the ACSE user
};

inline constexpr uint32_t kAcProtocolVersion1 = 128;
inline constexpr uint32_t kAcAuthenticationFU = 128;  // ACSE requirements: authentication

// Result source of an AARE (the alternative of result-source-diagnostic).
inline constexpr uint32_t AC_SOURCE_USER = 16385;      // [1] acse-service-user
inline constexpr uint32_t AC_SOURCE_PROVIDER = 16386;  // [2] acse-service-provider

// AARE result.
inline constexpr uint32_t AC_RESULT_ACCEPTED = 0;
inline constexpr uint32_t AC_RESULT_REJECTED_PERMANENT = 1;
inline constexpr uint32_t AC_RESULT_REJECTED_TRANSIENT = 2;

// ABRT abort source.
inline constexpr uint32_t AC_ABORT_USER = 0;
inline constexpr uint32_t AC_ABORT_PROVIDER = 1;

// ---------------------------------------------------------------------------
// Shared members.

// Authentication value: kind 0 none, else UL_AUTH_STRING, UL_AUTH_BITSTRING,
// UL_AUTH_EXTERNAL or UL_AUTH_OTHER (whose contents the mechanism hooks own).
using AcAuthValue = UL_AuthVal;
// The value's storage holds the five 64-bit words a mechanism may use.
static_assert(sizeof(AcAuthValue) - offsetof(AcAuthValue, string) >= 5 * sizeof(uint64_t));

// User information: SEQUENCE OF EXTERNAL, at most four.
inline constexpr uint32_t kAcMaxUserInfo = 4;
struct AcUserInfo {
  uint32_t count;
  ExternalValue ext[kAcMaxUserInfo];
};

// Quality of service: six INTEGERs and an OBJECT IDENTIFIER, in wire order.
struct AcQos {
  int32_t value[6];
  ObjIdV objId;
};

inline constexpr uint32_t kAcMaxContexts = 32;

// Presentation and session parameters of an A-ASSOCIATE request.
inline constexpr uint32_t AC_CP_CONTEXTS = 1u << 3;
inline constexpr uint32_t AC_CP_DEFAULT_CONTEXT = 1u << 4;
inline constexpr uint32_t AC_CP_PRES_REQUIREMENTS = 1u << 6;
inline constexpr uint32_t AC_CP_SYNC_POINT = 1u << 8;
inline constexpr uint32_t AC_CP_TOKENS = 1u << 9;
inline constexpr uint32_t AC_CP_NSERVICE = 1u << 10;
inline constexpr uint32_t AC_CP_TCLASS = 1u << 11;

struct AcConnParams {
  uint32_t presence;            // AC_CP_* bits
  int32_t presentationMode;     // [0] 1 normal mode, 0 X.410-1984 mode
  UL_Paddress callingAddress;   // [1]
  UL_Paddress calledAddress;    // [2]
  uint32_t contextCount;        // [3] 1-32 abstract syntax names
  ObjIdV contexts[kAcMaxContexts];
  ObjIdV defaultContext;        // [4]
  AcQos qos;                    // [5]
  uint32_t presRequirements;    // [6] 2 bits
  uint32_t sessRequirements;    // [7] 16 bits
  int32_t initialSyncPoint;     // [8]
  int32_t initialTokens;        // [9]
  int32_t networkService;       // [10] 0 when absent
  int32_t transportClass;       // [11] 4 when absent
};

// Presentation and session results of an A-ASSOCIATE response.
inline constexpr uint32_t AC_CR_RESPONDING_ADDRESS = 1u << 0;
inline constexpr uint32_t AC_CR_PRES_REQUIREMENTS = 1u << 4;
inline constexpr uint32_t AC_CR_SYNC_POINT = 1u << 6;
inline constexpr uint32_t AC_CR_TOKENS = 1u << 7;

struct AcConnResult {
  uint32_t presence;               // AC_CR_* bits
  UL_Paddress respondingAddress;   // [0]
  int32_t contextResultCount;      // [1] 1-32
  int32_t contextResults[kAcMaxContexts];
  int32_t presentationResult;      // [2] 0 acceptance, 1 user rejection, 2 provider rejection
  AcQos qos;                       // [3]
  uint32_t presRequirements;       // [4] 2 bits
  uint32_t sessRequirements;       // [5] 16 bits
  int32_t initialSyncPoint;        // [6]
  int32_t initialTokens;           // [7]
};

// ---------------------------------------------------------------------------
// Variants.

inline constexpr uint32_t AC_AARQ_VERSION = 1u << 0;
inline constexpr uint32_t AC_AARQ_CALLED_AP_TITLE = 1u << 2;
inline constexpr uint32_t AC_AARQ_CALLED_AE_QUAL = 1u << 3;
inline constexpr uint32_t AC_AARQ_CALLED_AP_INVOKE = 1u << 4;
inline constexpr uint32_t AC_AARQ_CALLED_AE_INVOKE = 1u << 5;
inline constexpr uint32_t AC_AARQ_CALLING_AP_TITLE = 1u << 6;
inline constexpr uint32_t AC_AARQ_CALLING_AE_QUAL = 1u << 7;
inline constexpr uint32_t AC_AARQ_CALLING_AP_INVOKE = 1u << 8;
inline constexpr uint32_t AC_AARQ_CALLING_AE_INVOKE = 1u << 9;
inline constexpr uint32_t AC_AARQ_REQUIREMENTS = 1u << 10;
inline constexpr uint32_t AC_AARQ_MECHANISM = 1u << 11;
inline constexpr uint32_t AC_AARQ_AUTH_VALUE = 1u << 12;
inline constexpr uint32_t AC_AARQ_IMPL_INFO = 1u << 13;
inline constexpr uint32_t AC_AARQ_USER_INFO = 1u << 14;
inline constexpr uint32_t AC_AARQ_CONN_PARAMS = 1u << 15;

struct AcAarq {
  uint32_t presence;            // AC_AARQ_* bits
  uint32_t protocolVersion;     // [0] 1 bit; 128 when absent
  ObjIdV contextName;           // [1] application context name
  UL_APTitle calledApTitle;     // [2]
  UL_AEQual calledAeQual;       // [3]
  int32_t calledApInvoke;       // [4]
  int32_t calledAeInvoke;       // [5]
  UL_APTitle callingApTitle;    // [6]
  UL_AEQual callingAeQual;      // [7]
  int32_t callingApInvoke;      // [8]
  int32_t callingAeInvoke;      // [9]
  uint32_t acseRequirements;    // [10] 1 bit
  ObjIdV mechanismName;         // [11]
  AcAuthValue authValue;        // [12]
  char* implementationInfo;     // [29]
  AcUserInfo userInfo;          // [30]
  AcConnParams connParams;      // [PRIVATE 99]
};

inline constexpr uint32_t AC_AARE_VERSION = 1u << 0;
inline constexpr uint32_t AC_AARE_RESP_AP_TITLE = 1u << 4;
inline constexpr uint32_t AC_AARE_RESP_AE_QUAL = 1u << 5;
inline constexpr uint32_t AC_AARE_RESP_AP_INVOKE = 1u << 6;
inline constexpr uint32_t AC_AARE_RESP_AE_INVOKE = 1u << 7;
inline constexpr uint32_t AC_AARE_REQUIREMENTS = 1u << 8;
inline constexpr uint32_t AC_AARE_MECHANISM = 1u << 9;
inline constexpr uint32_t AC_AARE_AUTH_VALUE = 1u << 10;
inline constexpr uint32_t AC_AARE_IMPL_INFO = 1u << 11;
inline constexpr uint32_t AC_AARE_USER_INFO = 1u << 12;
inline constexpr uint32_t AC_AARE_CONN_RESULT = 1u << 13;

struct AcAare {
  uint32_t presence;            // AC_AARE_* bits
  uint32_t protocolVersion;     // [0] 1 bit; 128 when absent
  ObjIdV contextName;           // [1]
  uint32_t result;              // [2] AC_RESULT_*
  uint32_t resultSource;        // [3] AC_SOURCE_USER or AC_SOURCE_PROVIDER
  uint32_t diagnostic;          //     the INTEGER of that alternative
  UL_APTitle respApTitle;       // [4]
  UL_AEQual respAeQual;         // [5]
  int32_t respApInvoke;         // [6]
  int32_t respAeInvoke;         // [7]
  uint32_t acseRequirements;    // [8] 1 bit
  ObjIdV mechanismName;         // [9]
  AcAuthValue authValue;        // [10]
  char* implementationInfo;     // [29]
  AcUserInfo userInfo;          // [30]
  AcConnResult connResult;      // [PRIVATE 99]
};

inline constexpr uint32_t AC_RLS_REASON = 1u << 0;
inline constexpr uint32_t AC_RLS_USER_INFO = 1u << 1;
inline constexpr uint32_t AC_RLRE_RELEASE_RESULT = 1u << 2;

struct AcRlrq {
  uint32_t presence;    // AC_RLS_* bits
  int32_t reason;       // [0]
  AcUserInfo userInfo;  // [30]
};

struct AcRlre {
  uint32_t presence;      // AC_RLS_* bits and AC_RLRE_RELEASE_RESULT
  int32_t reason;         // [0]
  AcUserInfo userInfo;    // [30]
  int32_t releaseResult;  // [PRIVATE 99]: 0 release accepted, else refused
};

inline constexpr uint32_t AC_ABRT_DIAGNOSTIC = 1u << 1;
inline constexpr uint32_t AC_ABRT_USER_INFO = 1u << 2;

struct AcAbrt {
  uint32_t presence;     // AC_ABRT_* bits
  uint32_t source;       // [0] AC_ABORT_USER or AC_ABORT_PROVIDER
  uint32_t diagnostic;   // [1]
  AcUserInfo userInfo;   // [30]
};

struct AcPAbrt {
  int32_t reason;  // presentation provider-abort reason
};

struct AcseApdu {
  uint32_t code;  // AcApduCode, or an unknown code kept under extensibility
  union {
    AcAarq aarq;
    AcAare aare;
    AcRlrq rlrq;
    AcRlre rlre;
    AcAbrt abrt;
    AcPAbrt pabrt;
  };
};

// ---------------------------------------------------------------------------
// Codec (inside a BER pass).

// The descriptor of AcseApdu (a CHOICE over the six outer identifiers).
extern const CtType kAcseApdu;

// Writes the APDU at the format cursor; the octet count. A code that names
// no APDU fails the pass with 31.
int64_t fApdu(void* apdu);
// Reads the next element of the current level into a new record of the
// decode tree; NULL at the end of the level. An unknown outer identifier
// fails with NOTINCHOICE (7), or under aaextensibility is skipped and
// returned with its code. aaextensibility is as it was on return.
void* aApdu(void* unused = nullptr);

// Element codecs. The CHOICEs (titles, qualifiers, result source and
// diagnostic, authentication value) read and write their own identifier and
// their decoders answer 0 when the next element is not theirs; the others
// read the contents of an element the caller opened, and write contents the
// caller wraps. Decoders answer non-zero when they read the value.
uint32_t aAPTitle(UL_APTitle* title);
int64_t fAPTitle(UL_APTitle* title);
uint32_t aAEQualifier(UL_AEQual* qual);
int64_t fAEQualifier(UL_AEQual* qual);
uint32_t aAssocSrcDiag(AcAare* aare);  // the result source and diagnostic of aare
int64_t fAssocSrcDiag(AcAare* aare);
uint32_t aAssocInfo(AcUserInfo* info);
int64_t fAssocInfo(AcUserInfo* info);
uint32_t aQuality_Of_Service(AcQos* qos);
int64_t fQuality_Of_Service(AcQos* qos);
uint32_t aAARQ(AcAarq* aarq);
int64_t fAARQ(AcAarq* aarq);
uint32_t aAARE(AcAare* aare);
int64_t fAARE(AcAare* aare);
uint32_t aRLRQ(AcRlrq* rlrq);
int64_t fRLRQ(AcRlrq* rlrq);
uint32_t aRLRE(AcRlre* rlre);
int64_t fRLRE(AcRlre* rlre);
uint32_t aABRT(AcAbrt* abrt);
int64_t fABRT(AcAbrt* abrt);
uint32_t aPABRTReq(AcPAbrt* pabrt);
int64_t fPABRTReq(AcPAbrt* pabrt);
// An authentication value by itself: its other form ([3]) goes to the
// mechanism hooks without a mechanism name, so it reads nothing.
uint32_t aAuthVal(AcAuthValue* auth);
int64_t fAuthVal(AcAuthValue* auth);
