// Presentation protocol data units (connection-oriented presentation
// protocol in BER, normal mode and X.410-1984 mode): the in-memory records,
// their format routines (back to front, inside a format pass) and their
// parse routines (inside a parse pass).
//
// Every record is a presence word, one bit per optional member in member
// order from bit 0, followed by its members; a CHOICE is a discriminant word
// holding the type code of its alternative (universal n = n, application
// n = 8192 + n, context n = 16384 + n). The X.410-mode members are RTSE
// APDUs; their presence words use the top bits, the last member in bit 31
// and each earlier member one bit lower, in the records and in the X.410
// parameters a user gives with a request.
//
// Parse routines answer nonzero when they read their element and 0 when the
// next element is not theirs (the record's discriminant is then left as it
// was). Malformed input leaves the pass through aaRaise with a BER runtime
// code; a hook that refuses the connection leaves it with an OSI error
// number (aa_jump_out). A SET takes its members in any order, a member twice
// is DUPPARAM, an unknown one NOTINSET; a SEQUENCE with elements left over
// is REQEOC. A CP-type is parsed with aaextensibility on, so that unknown
// members of its SETs and trailing elements of its SEQUENCEs are skipped;
// every other routine keeps the caller's setting.
//
// The connection PPDUs call the context hooks (contexts.h) on pP as soon as
// their members are read: the called selector and the context-definition
// list and default context of a CP, the result lists of a CPA and a CPR and
// the default-context result of a CPR.
#pragma once

#include <cstdint>

#include "src/asn1/ber_values.h"
#include "src/asn1/rtse.h"
#include "src/presentation/contexts.h"
#include "src/presentation/pdv.h"
#include "src/presentation/users.h"

// Discriminants of the PPDU CHOICEs.
inline constexpr uint32_t kPpduSequence = 16;    // normal-mode CPR, ARP
inline constexpr uint32_t kPpduSet = 17;         // X.410-mode CPR (RTORJ) and ARU (RTAB)
inline constexpr uint32_t kPpduAruNormal = 16384;  // [0] normal-mode ARU
inline constexpr uint32_t kPpduAc = 16384;       // [0] AC-PPDU of Typed-data-type
inline constexpr uint32_t kPpduAca = 16385;      // [1] ACA-PPDU of Typed-data-type

// Mode-selector values.
inline constexpr int32_t kModeX410 = 0;
inline constexpr int32_t kModeNormal = 1;

// Protocol-version {version-1}; an absent protocol-version is read as it.
inline constexpr uint32_t kProtocolVersion1 = 128;

// Limits of the lists.
inline constexpr uint32_t kPpduMaxDeletionResults = 16;

// ---------------------------------------------------------------------------
// Members shared by several PPDUs

// Mode-selector: SET { [0] IMPLICIT INTEGER mode-value }.
inline constexpr uint32_t kModeValue = 1;  // set when the mode-value was read
struct Mode_selector {
  uint32_t presence;
  int32_t value;  // kModeX410 or kModeNormal
};

// Default-context-name: SEQUENCE { [0] abstract-syntax-name, [1] transfer-syntax-name }.
struct DfltCtx {
  ObjId asName;
  ObjId tsName;
};

// Presentation-context-identifier-list: SEQUENCE OF SEQUENCE { INTEGER,
// transfer-syntax-name }.
struct P_CtxIdItem {
  int32_t pctxId;
  ObjId tsName;
};
struct P_CtxIdLst {
  uint32_t count;
  P_CtxIdItem items[kPsMaxListItems];
};

// Presentation-context-deletion-list and -deletion-result-list: SEQUENCE OF
// INTEGER.
struct P_CtxDelLst {
  uint32_t count;
  int32_t ids[kPsMaxListItems];
};
struct P_CtxDelRslt {
  uint32_t count;
  int32_t results[kPpduMaxDeletionResults];  // 0 acceptance, 1 user-rejection
};

// ---------------------------------------------------------------------------
// X.410-mode members (RTSE APDUs)

// RTORQapdu of a CP-type.
inline constexpr uint32_t kRqCheckpoint = 1u << 27;
inline constexpr uint32_t kRqWindow = 1u << 28;
inline constexpr uint32_t kRqDialogue = 1u << 29;
inline constexpr uint32_t kRqConnData = 1u << 30;  // always written; set when read
inline constexpr uint32_t kRqAppProtocol = 1u << 31;
struct PsRtorq {
  uint32_t presence;
  int32_t checkpointSize;  // [0]; 0 when absent
  int32_t windowSize;      // [1]; 3 when absent
  int32_t dialogueMode;    // [2]; 0 when absent
  RtsConnectionData connectionData;  // [3] explicit
  int32_t applicationProtocol;       // [4]
};

// RTOACapdu of a CPA-PPDU.
inline constexpr uint32_t kAcCheckpoint = 1u << 29;
inline constexpr uint32_t kAcWindow = 1u << 30;
inline constexpr uint32_t kAcConnData = 1u << 31;  // always written; set when read
struct PsRtoac {
  uint32_t presence;
  int32_t checkpointSize;
  int32_t windowSize;
  RtsConnectionData connectionData;  // [2] explicit
};

// RTORJapdu of a CPR-PPDU.
inline constexpr uint32_t kRjReason = 1u << 30;  // always written; set when read
inline constexpr uint32_t kRjUserData = 1u << 31;
struct PsRtorj {
  uint32_t presence;
  int32_t refuseReason;  // [0]
  BerAny userData;       // [1] explicit ANY
};

// RTABapdu of an ARU-PPDU.
inline constexpr uint32_t kAbReason = 1u << 29;
inline constexpr uint32_t kAbReflected = 1u << 30;
inline constexpr uint32_t kAbUserData = 1u << 31;
struct PsRtab {
  uint32_t presence;
  int32_t abortReason;          // [0]
  uint32_t reflectedParameter;  // [1] BIT STRING, written with 16 bits
  BerAny userData;              // [2] explicit ANY
};

// The X.410-mode parameters a user gives with a request; the mode word says
// which record follows (an abort's RTAB record is taken as it is).
inline constexpr uint32_t kX410Rtorq = 0;
inline constexpr uint32_t kX410Rtoac = 1;
inline constexpr uint32_t kX410Rtorj = 2;
struct PsX410Params {
  uint32_t mode;
  union {
    PsRtorq rtorq;
    PsRtoac rtoac;
    PsRtorj rtorj;
    PsRtab rtab;
  };
};

// ---------------------------------------------------------------------------
// CP-type: SET { [0] mode-selector, [1] x410-mode-parameters, [2]
// normal-mode-parameters }.

inline constexpr uint32_t kCpVersion = 1;           // [0] protocol-version
inline constexpr uint32_t kCpCalling = 2;           // [1] calling-presentation-selector
inline constexpr uint32_t kCpCalled = 4;            // [2] called-presentation-selector
inline constexpr uint32_t kCpContexts = 8;          // [4] presentation-context-definition-list
inline constexpr uint32_t kCpDefault = 16;          // [6] default-context-name
inline constexpr uint32_t kCpPresRequirements = 32;  // [8]
inline constexpr uint32_t kCpUserSessRequirements = 64;  // [9]
inline constexpr uint32_t kCpUserData = 128;
struct CP_normal {
  uint32_t presence;
  uint32_t protocolVersion;      // BIT STRING word (bit 0 of the string = 128)
  PselBlock calling;
  PselBlock called;
  Context_list contexts;
  DfltCtx defaultContext;
  uint32_t presRequirements;      // 2 bits: context-management, restoration
  uint32_t userSessRequirements;  // 11 bits: half-duplex, duplex, ... typed-data
  User_data userData;
};

inline constexpr uint32_t kCpX410 = 1;
inline constexpr uint32_t kCpNormal = 2;
inline constexpr uint32_t kCpMode = 4;  // the mode-selector (required); set when read
struct CP_type {
  uint32_t presence;
  Mode_selector mode;
  PsRtorq x410;
  CP_normal normal;
};

// ---------------------------------------------------------------------------
// CPA-PPDU: SET { [0] mode-selector, [1] x410-mode-parameters, [2]
// normal-mode-parameters }.

inline constexpr uint32_t kCpaVersion = 1;              // [0]
inline constexpr uint32_t kCpaResponding = 2;           // [3] responding-presentation-selector
inline constexpr uint32_t kCpaResults = 4;              // [5] context-definition-result-list
inline constexpr uint32_t kCpaPresRequirements = 8;     // [8]
inline constexpr uint32_t kCpaUserSessRequirements = 16;  // [9]
inline constexpr uint32_t kCpaUserData = 32;
struct CPA_normal {
  uint32_t presence;
  uint32_t protocolVersion;
  PselBlock responding;
  Result_list results;
  uint32_t presRequirements;
  uint32_t userSessRequirements;
  User_data userData;
};

inline constexpr uint32_t kCpaX410 = 1;
inline constexpr uint32_t kCpaNormal = 2;
inline constexpr uint32_t kCpaMode = 4;
struct CPA_PPDU {
  uint32_t presence;
  Mode_selector mode;
  PsRtoac x410;
  CPA_normal normal;
};

// ---------------------------------------------------------------------------
// CPR-PPDU: CHOICE { RTORJapdu (SET), normal-mode SEQUENCE }.

inline constexpr uint32_t kCprVersion = 1;         // [0]
inline constexpr uint32_t kCprResponding = 2;      // [3]
inline constexpr uint32_t kCprResults = 4;         // [5]
inline constexpr uint32_t kCprDefaultResult = 8;   // [7] default-context-result
inline constexpr uint32_t kCprProviderReason = 16;  // [10]
inline constexpr uint32_t kCprUserData = 32;
struct CPR_normal {
  uint32_t presence;
  uint32_t protocolVersion;
  PselBlock responding;
  Result_list results;
  int32_t defaultResult;   // 0 acceptance, 1 user-rejection, 2 provider-rejection
  int32_t providerReason;  // 0-7
  User_data userData;
};

struct CPR_PPDU {
  uint32_t kind;  // kPpduSet or kPpduSequence
  PsRtorj x410;
  CPR_normal normal;
};

// ---------------------------------------------------------------------------
// Abort-type: CHOICE { ARU-PPDU (RTABapdu SET, or [0] normal mode), ARP-PPDU }.

inline constexpr uint32_t kAruContextIds = 1;  // [0] presentation-context-identifier-list
inline constexpr uint32_t kAruUserData = 2;
struct ARU_normal {
  uint32_t presence;
  P_CtxIdLst contextIds;
  User_data userData;
};

inline constexpr uint32_t kArpReason = 1;  // [0] provider-reason
inline constexpr uint32_t kArpEvent = 2;   // [1] event-identifier
struct ARP_PPDU {
  uint32_t presence;
  int32_t providerReason;
  int32_t eventId;
};

struct Abort_type {
  uint32_t kind;  // kPpduSet (X.410 ARU), kPpduAruNormal, kPpduSequence (ARP)
  PsRtab x410;
  ARU_normal aru;
  ARP_PPDU arp;
};

// ---------------------------------------------------------------------------
// RS-PPDU and RSA-PPDU: SEQUENCE { [0] presentation-context-identifier-list,
// User-data }.

inline constexpr uint32_t kRsContextIds = 1;
inline constexpr uint32_t kRsUserData = 2;
struct RS_PPDU {
  uint32_t presence;
  P_CtxIdLst contextIds;
  User_data userData;
};
using RSA_PPDU = RS_PPDU;

// ---------------------------------------------------------------------------
// Typed-data-type: CHOICE { [0] AC-PPDU, [1] ACA-PPDU, TTD (User-data) }.

inline constexpr uint32_t kAcAdditions = 1;  // [0] context-addition-list
inline constexpr uint32_t kAcDeletions = 2;  // [1] context-deletion-list
inline constexpr uint32_t kAcUserData = 4;
struct AC_PPDU {
  uint32_t presence;
  Context_list additions;
  P_CtxDelLst deletions;
  User_data userData;
};

inline constexpr uint32_t kAcaAdditions = 1;  // [0] context-addition-result-list
inline constexpr uint32_t kAcaDeletions = 2;  // [1] context-deletion-result-list
inline constexpr uint32_t kAcaUserData = 4;
struct ACA_PPDU {
  uint32_t presence;
  Result_list additions;
  P_CtxDelRslt deletions;
  User_data userData;
};

struct Typed_data_type {
  uint32_t kind;  // kPpduAc, kPpduAca, kUserDataSimple or kUserDataFull (TTD)
  AC_PPDU ac;
  ACA_PPDU aca;
  User_data ttd;
};

// ---------------------------------------------------------------------------
// The PPDU records, one per kind, overwritten by each build or decode; they
// are used under hSerializeGlobalMutex.

extern CP_type cp;
extern CPA_PPDU cpa;
extern CPR_PPDU cpr;
extern Abort_type abrt;
extern RS_PPDU rs;
extern RSA_PPDU rsa;
extern User_data inf;         // User-data of TD, TE, TC, TCC, TTD and the release PPDUs
extern Typed_data_type ttd;  // a received Typed-data-type

// ---------------------------------------------------------------------------
// Format routines: octets written in front of what is there. An unknown
// discriminant leaves the pass with NONSPEC.

int64_t fCP_type(CP_type* p);
int64_t fCPA_PPDU(CPA_PPDU* p);
int64_t fCPR_PPDU(CPR_PPDU* p);
int64_t fCPC_type(User_data* p);
int64_t fAbort_type(Abort_type* p);
int64_t fARP_PPDU(ARP_PPDU* p);
int64_t fRS_PPDU(RS_PPDU* p);
int64_t fRSA_PPDU(RSA_PPDU* p);
int64_t fTyped_data_type(Typed_data_type* p);
// Contents of the element an enclosing routine writes around them: the
// [0] / [1] of Typed-data-type, and the implicitly tagged members.
int64_t fAC_PPDU(AC_PPDU* p);
int64_t fACA_PPDU(ACA_PPDU* p);
int64_t fContext_list(Context_list* p);
int64_t fResult_list(Result_list* p);
int64_t fDfltCtx(DfltCtx* p);
int64_t fMode_selector(Mode_selector* p);
int64_t fP_CtxIdLst(P_CtxIdLst* p);
int64_t fP_CtxDelLst(P_CtxDelLst* p);
int64_t fP_CtxDelRslt(P_CtxDelRslt* p);

// Parse routines of whole elements (identifier included).
uint32_t aCP_type(CP_type* p);
uint32_t aCPA_PPDU(CPA_PPDU* p);
uint32_t aCPR_PPDU(CPR_PPDU* p);
uint32_t aCPC_type(User_data* p);  // the User-data is required (MSGPARAM)
uint32_t aAbort_type(Abort_type* p);
uint32_t aARP_PPDU(ARP_PPDU* p);
uint32_t aRS_PPDU(RS_PPDU* p);
uint32_t aRSA_PPDU(RSA_PPDU* p);
uint32_t aTyped_data_type(Typed_data_type* p);
// Parse routines of contents, after the enclosing element was opened;
// nonzero.
uint32_t aAC_PPDU(AC_PPDU* p);
uint32_t aACA_PPDU(ACA_PPDU* p);
uint32_t aContext_list(Context_list* p);
uint32_t aResult_list(Result_list* p);
uint32_t aDfltCtx(DfltCtx* p);
uint32_t aMode_selector(Mode_selector* p);
uint32_t aP_CtxIdLst(P_CtxIdLst* p);
uint32_t aP_CtxDelLst(P_CtxDelLst* p);
uint32_t aP_CtxDelRslt(P_CtxDelRslt* p);

// ---------------------------------------------------------------------------
// Pass entries for p_parse and p_format: the record is the pass argument.
// A parse entry answers NULL when the data holds no such PPDU (p_parse then
// reports error 32); the User-data entries answer the record also when no
// User-data is there (kind unchanged), which is legitimate.

void* psParseCP(void* record);
void* psParseCPA(void* record);
void* psParseCPR(void* record);
void* psParseAbort(void* record);
void* psParseRS(void* record);
void* psParseRSA(void* record);
void* psParseTyped(void* record);
void* psParseUserData(void* record);
void* psParseSimple(void* record);  // the bare simply-encoded value of the whole data

int64_t psFormatCP(void* record);
int64_t psFormatCPA(void* record);
int64_t psFormatCPR(void* record);
int64_t psFormatAbort(void* record);
int64_t psFormatRS(void* record);
int64_t psFormatRSA(void* record);
int64_t psFormatUserData(void* record);
int64_t psFormatSimple(void* record);  // the bare simply-encoded value
