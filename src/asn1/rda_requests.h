// Members of the RDA top-level CHOICE that carry requests and results:
// R-Initialize, R-Cancel, R-Status, R-Open, R-Close and the four DBL
// services, with the SQL argument types inside them (the dialogue,
// authentication and activation types are in rda_codec.h). The two families
// differ in the DBL requests (X/Open [6] flag) and wherever an SQL type
// differs (rda_sql.h).
#pragma once

#include "src/asn1/rda_services.h"
#include "src/asn1/rda_sql.h"

// ---------------------------------------------------------------------------
// R-Initialize.

struct RDASQLInitArg {
  uint32_t mask;  // bit 0: [0]; bit 1: [1]
  ObjIdV conformLevel;
  OctStgV userData;
};
inline constexpr CtField kRdaSQLInitArgFields[] = {
    ctField(ctCtx(0), ctObjIdV, offsetof(RDASQLInitArg, conformLevel)).optional(1u << 0),
    ctField(ctCtx(1), ctOctv, offsetof(RDASQLInitArg, userData)).optional(1u << 1),
};
inline constexpr CtSeq kRdaSQLInitArgSeq{kRdaSQLInitArgFields, offsetof(RDASQLInitArg, mask)};
inline constexpr CtType kRdaSQLInitArg = ctSeqType(kRdaSQLInitArgSeq, sizeof(RDASQLInitArg));

inline constexpr uint32_t RDA_FU_BITS = 7;  // functional units: a BIT STRING of 7 bits

struct RDAInit_Req {
  uint32_t mask;  // bit 0: [PRIVATE 0]; bit 3: [2]; bit 4: [3] (also when defaulted); bit 6: [30]
  RDADlgIDClientInvoc client;
  RDADlgIDSuffix suffix;
  char* identityOfUser;
  RDAAuthData userAuthData;
  uint32_t flag;  // [3]
  uint32_t functionalUnits;
  RDASQLInitArg sql;
};
inline constexpr CtType kRdaFunctionalUnits = ctBitW(RDA_FU_BITS);
inline constexpr CtField kRdaInit_ReqFields[] = {
    ctField(ctPriv(0), kRdaDlgIDClientInvoc, offsetof(RDAInit_Req, client)).constructed().optional(1u << 0),
    ctField(ctCtx(0), kRdaDlgIDSuffix, offsetof(RDAInit_Req, suffix)).explicitOver(CT_SELF),
    ctField(ctCtx(1), ctText, offsetof(RDAInit_Req, identityOfUser)),
    ctField(ctCtx(2), kRdaAuthData, offsetof(RDAInit_Req, userAuthData)).explicitOver(CT_SELF).optional(1u << 3),
    ctField(ctCtx(3), ctBool, offsetof(RDAInit_Req, flag)).byDefault(1u << 4, 0),
    ctField(ctCtx(4), kRdaFunctionalUnits, offsetof(RDAInit_Req, functionalUnits)),
    ctField(ctCtx(30), kRdaSQLInitArg, offsetof(RDAInit_Req, sql)).constructed().optional(1u << 6),
};
inline constexpr CtSeq kRdaInit_ReqSeq{kRdaInit_ReqFields, offsetof(RDAInit_Req, mask)};
inline constexpr CtType kRdaInit_Req = ctSeqType(kRdaInit_ReqSeq, sizeof(RDAInit_Req));

// Init_Result [0]: SEQUENCE { [0] BOOLEAN DEFAULT TRUE, [1] AuthData OPTIONAL }.
struct RDAInitControl {
  uint32_t mask;  // bit 0: [0] (also when defaulted); bit 1: [1]
  uint32_t flag;
  RDAAuthData cntlAuthData;
};
inline constexpr CtField kRdaInitControlFields[] = {
    ctField(ctCtx(0), ctBool, offsetof(RDAInitControl, flag)).byDefault(1u << 0, 1),
    ctField(ctCtx(1), kRdaAuthData, offsetof(RDAInitControl, cntlAuthData)).explicitOver(CT_SELF).optional(1u << 1),
};
inline constexpr CtSeq kRdaInitControlSeq{kRdaInitControlFields, offsetof(RDAInitControl, mask)};
inline constexpr CtType kRdaInitControl = ctSeqType(kRdaInitControlSeq, sizeof(RDAInitControl));

struct RDASQLInitResult {
  uint32_t mask;  // bit 0: [0]
  OctStgV userData;
};
inline constexpr CtField kRdaSQLInitResultFields[] = {
    ctField(ctCtx(0), ctOctv, offsetof(RDASQLInitResult, userData)).optional(1u << 0),
};
inline constexpr CtSeq kRdaSQLInitResultSeq{kRdaSQLInitResultFields, offsetof(RDASQLInitResult, mask)};
inline constexpr CtType kRdaSQLInitResult = ctSeqType(kRdaSQLInitResultSeq, sizeof(RDASQLInitResult));

struct RDAInit_Result {
  uint32_t mask;  // bit 0: [0]; bit 2: [30]
  RDAInitControl control;
  uint32_t functionalUnits;
  RDASQLInitResult sql;
};
inline constexpr CtField kRdaInit_ResultFields[] = {
    ctField(ctCtx(0), kRdaInitControl, offsetof(RDAInit_Result, control)).constructed().optional(1u << 0),
    ctField(ctCtx(1), kRdaFunctionalUnits, offsetof(RDAInit_Result, functionalUnits)),
    ctField(ctCtx(30), kRdaSQLInitResult, offsetof(RDAInit_Result, sql)).constructed().optional(1u << 2),
};
inline constexpr CtSeq kRdaInit_ResultSeq{kRdaInit_ResultFields, offsetof(RDAInit_Result, mask)};
inline constexpr CtType kRdaInit_Result = ctSeqType(kRdaInit_ResultSeq, sizeof(RDAInit_Result));

struct RDAInit_RI {
  int32_t opId;
  RDAInit_Req req;
};
struct RDAInit_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAInit_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaInit_RI = RdaRequest<RDAInit_RI, kRdaInit_Req>::type;
inline constexpr const CtType& kRdaInit_RC = RdaResponse<RDAInit_RC, kRdaInit_Result, kRdaInit_Err>::type;

// ---------------------------------------------------------------------------
// R-Cancel and R-Status: requests of the same form.

struct RDACancel_Req {
  uint32_t mask;  // bit 0: [0]; bit 1: [1]
  RDACntlledDlg dialogue;
  RDAList opIds;  // nodes RDAIntNode
};
inline constexpr CtField kRdaCancel_ReqFields[] = {
    ctField(ctCtx(0), kRdaCntlledDlg, offsetof(RDACancel_Req, dialogue)).constructed().optional(1u << 0),
    ctField(ctCtx(1), kRdaListOfOpID, offsetof(RDACancel_Req, opIds)).constructed().optional(1u << 1),
};
inline constexpr CtSeq kRdaCancel_ReqSeq{kRdaCancel_ReqFields, offsetof(RDACancel_Req, mask)};
inline constexpr CtType kRdaCancel_Req = ctSeqType(kRdaCancel_ReqSeq, sizeof(RDACancel_Req));
using RDAStatus_Req = RDACancel_Req;
inline constexpr const CtType& kRdaStatus_Req = kRdaCancel_Req;

struct RDACancel_RI {
  int32_t opId;
  RDACancel_Req req;
};
struct RDACancel_RC {
  int32_t opId;
  uint32_t outcome;
  RDAErr error;
};
inline constexpr const CtType& kRdaCancel_RI = RdaRequest<RDACancel_RI, kRdaCancel_Req>::type;
inline constexpr const CtType& kRdaCancel_RC = RdaEmptyResponse<RDACancel_RC, kRdaCancel_Err>::type;

// StatusInfo: SEQUENCE { [0] INTEGER, CHOICE { [1]..[5] empty, [6] text } }.
struct RDAStatusInfo {
  int32_t opId;
  uint32_t code;  // 0x4001..0x4006
  char* text;     // [6]
};
inline constexpr CtField kRdaStatusAlts[] = {
    ctField(ctCtx(1), ctNull), ctField(ctCtx(2), ctNull), ctField(ctCtx(3), ctNull),
    ctField(ctCtx(4), ctNull), ctField(ctCtx(5), ctNull),
    ctField(ctCtx(6), ctText, offsetof(RDAStatusInfo, text) - offsetof(RDAStatusInfo, code)),
};
inline constexpr CtChoice kRdaStatusChoice{kRdaStatusAlts};
inline constexpr CtType kRdaStatusCode = ctChoiceType(kRdaStatusChoice, sizeof(RDAStatusInfo) - offsetof(RDAStatusInfo, code));
inline constexpr CtField kRdaStatusInfoFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAStatusInfo, opId)),
    ctField(CT_SELF, kRdaStatusCode, offsetof(RDAStatusInfo, code)).missingIs(AAE_NOTINCHOICE),
};
inline constexpr CtSeq kRdaStatusInfoSeq{kRdaStatusInfoFields};
inline constexpr CtType kRdaStatusInfo = ctSeqType(kRdaStatusInfoSeq, sizeof(RDAStatusInfo));

struct RDAStatusNode {
  UL_Link links;
  RDAStatusInfo info;
};
inline constexpr CtList kRdaStatusList{ctField(ctUniv(16), kRdaStatusInfo, offsetof(RDAStatusNode, info)),
                                       sizeof(RDAStatusNode)};
inline constexpr CtType kRdaListOfStatusInfo = ctListType(kRdaStatusList);

struct RDAStatus_Result {
  uint32_t mask;  // bit 0: [0]
  RDAList infos;  // nodes RDAStatusNode
};
inline constexpr CtField kRdaStatus_ResultFields[] = {
    ctField(ctCtx(0), kRdaListOfStatusInfo, offsetof(RDAStatus_Result, infos)).constructed().optional(1u << 0),
};
inline constexpr CtSeq kRdaStatus_ResultSeq{kRdaStatus_ResultFields, offsetof(RDAStatus_Result, mask)};
inline constexpr CtType kRdaStatus_Result = ctSeqType(kRdaStatus_ResultSeq, sizeof(RDAStatus_Result));

struct RDAStatus_RI {
  int32_t opId;
  RDAStatus_Req req;
};
struct RDAStatus_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAStatus_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaStatus_RI = RdaRequest<RDAStatus_RI, kRdaStatus_Req>::type;
inline constexpr const CtType& kRdaStatus_RC = RdaResponse<RDAStatus_RC, kRdaStatus_Result, kRdaStatus_Err>::type;

// ---------------------------------------------------------------------------
// R-Open.

struct RDASQLOpenArg {
  uint32_t mask;  // bit 0: [0]; bit 1: [1]
  ObjIdV charSet;
  ObjIdV conformLevel;
};
inline constexpr CtField kRdaSQLOpenArgFields[] = {
    ctField(ctCtx(0), ctObjIdV, offsetof(RDASQLOpenArg, charSet)).optional(1u << 0),
    ctField(ctCtx(1), ctObjIdV, offsetof(RDASQLOpenArg, conformLevel)).optional(1u << 1),
};
inline constexpr CtSeq kRdaSQLOpenArgSeq{kRdaSQLOpenArgFields, offsetof(RDASQLOpenArg, mask)};
inline constexpr CtType kRdaSQLOpenArg = ctSeqType(kRdaSQLOpenArgSeq, sizeof(RDASQLOpenArg));

struct RDAOpen_Req {
  uint32_t mask;  // bits 1..5: [1]..[4], [30]
  int32_t handle;
  int32_t secondHandle;
  char* dataResourceName;
  RDAAccessCntlData accessCntlData;
  int32_t usageMode;
  RDASQLOpenArg sql;
};
inline constexpr CtField kRdaOpen_ReqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAOpen_Req, handle)),
    ctField(ctCtx(1), ctInt, offsetof(RDAOpen_Req, secondHandle)).optional(1u << 1),
    ctField(ctCtx(2), ctText, offsetof(RDAOpen_Req, dataResourceName)).optional(1u << 2),
    ctField(ctCtx(3), kRdaAccessCntlData, offsetof(RDAOpen_Req, accessCntlData)).explicitOver(CT_SELF).optional(1u << 3),
    ctField(ctCtx(4), ctInt, offsetof(RDAOpen_Req, usageMode)).optional(1u << 4),
    ctField(ctCtx(30), kRdaSQLOpenArg, offsetof(RDAOpen_Req, sql)).constructed().optional(1u << 5),
};
inline constexpr CtSeq kRdaOpen_ReqSeq{kRdaOpen_ReqFields, offsetof(RDAOpen_Req, mask)};
inline constexpr CtType kRdaOpen_Req = ctSeqType(kRdaOpen_ReqSeq, sizeof(RDAOpen_Req));

struct RDASQLOpenResult {
  uint32_t mask;  // bit 0: [0]; bit 1: [1] (also when defaulted); bit 2: [2]
  ObjIdV charSet;
  uint32_t flag;
  ObjIdV conformLevel;
};
inline constexpr CtField kRdaSQLOpenResultFields[] = {
    ctField(ctCtx(0), ctObjIdV, offsetof(RDASQLOpenResult, charSet)).optional(1u << 0),
    ctField(ctCtx(1), ctBool, offsetof(RDASQLOpenResult, flag)).byDefault(1u << 1, 0),
    ctField(ctCtx(2), ctObjIdV, offsetof(RDASQLOpenResult, conformLevel)).optional(1u << 2),
};
inline constexpr CtSeq kRdaSQLOpenResultSeq{kRdaSQLOpenResultFields, offsetof(RDASQLOpenResult, mask)};
inline constexpr CtType kRdaSQLOpenResult = ctSeqType(kRdaSQLOpenResultSeq, sizeof(RDASQLOpenResult));

struct RDAOpen_Result {
  uint32_t mask;  // bit 0: [30]
  RDASQLOpenResult sql;
};
inline constexpr CtField kRdaOpen_ResultFields[] = {
    ctField(ctCtx(30), kRdaSQLOpenResult, offsetof(RDAOpen_Result, sql)).constructed().optional(1u << 0),
};
inline constexpr CtSeq kRdaOpen_ResultSeq{kRdaOpen_ResultFields, offsetof(RDAOpen_Result, mask)};
inline constexpr CtType kRdaOpen_Result = ctSeqType(kRdaOpen_ResultSeq, sizeof(RDAOpen_Result));

struct RDAOpen_RI {
  int32_t opId;
  RDAOpen_Req req;
};
struct RDAOpen_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAOpen_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaOpen_RI = RdaRequest<RDAOpen_RI, kRdaOpen_Req>::type;
inline constexpr const CtType& kRdaOpen_RC = RdaResponse<RDAOpen_RC, kRdaOpen_Result, kRdaOpen_Err>::type;

// ---------------------------------------------------------------------------
// R-Close and R-DropDBL: lists of handles, exceptions per handle.

// CloseExcp, DropDBLExcp: SEQUENCE { [0] INTEGER, CHOICE { [1] empty } }.
struct RDAHandleExcp {
  int32_t handle;
  uint32_t code;  // 0x4001
};
inline constexpr CtField kRdaHandleExcpAlts[] = {ctField(ctCtx(1), ctNull)};
inline constexpr CtChoice kRdaHandleExcpChoice{kRdaHandleExcpAlts};
inline constexpr CtType kRdaHandleExcpCode = ctChoiceType(kRdaHandleExcpChoice, sizeof(uint32_t));
inline constexpr CtField kRdaHandleExcpFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAHandleExcp, handle)),
    ctField(CT_SELF, kRdaHandleExcpCode, offsetof(RDAHandleExcp, code)),
};
inline constexpr CtSeq kRdaHandleExcpSeq{kRdaHandleExcpFields};
inline constexpr CtType kRdaHandleExcp = ctSeqType(kRdaHandleExcpSeq, sizeof(RDAHandleExcp));
using RDACloseExcp = RDAHandleExcp;
using RDADropDBLExcp = RDAHandleExcp;
inline constexpr const CtType& kRdaCloseExcp = kRdaHandleExcp;
inline constexpr const CtType& kRdaDropDBLExcp = kRdaHandleExcp;

struct RDAHandleExcpNode {
  UL_Link links;
  RDAHandleExcp excp;
};
inline constexpr CtList kRdaHandleExcpList{ctField(ctUniv(16), kRdaHandleExcp, offsetof(RDAHandleExcpNode, excp)),
                                           sizeof(RDAHandleExcpNode)};
inline constexpr CtType kRdaListOfCloseExcp = ctListType(kRdaHandleExcpList);
inline constexpr CtType kRdaListOfDropDBLExcp = ctListType(kRdaHandleExcpList);

// Close_Req, Close_Result, DropDBL_Req, DropDBL_Result: SEQUENCE { [0] list OPTIONAL }.
struct RDAListSeq {
  uint32_t mask;  // bit 0: [0]
  RDAList list;
};
template <const CtType& L>
struct RdaOptionalList {
  static constexpr CtField fields[] = {
      ctField(ctCtx(0), L, offsetof(RDAListSeq, list)).constructed().optional(1u << 0),
  };
  static constexpr CtSeq seq{fields, offsetof(RDAListSeq, mask)};
  static constexpr CtType type = ctSeqType(seq, sizeof(RDAListSeq));
};
using RDAClose_Req = RDAListSeq;      // handles: RDAIntNode
using RDAClose_Result = RDAListSeq;   // RDAHandleExcpNode
using RDADropDBL_Req = RDAListSeq;    // command handles: RDAIntNode
using RDADropDBL_Result = RDAListSeq; // RDAHandleExcpNode
inline constexpr const CtType& kRdaClose_Req = RdaOptionalList<kRdaListOfDataRsrcHndl>::type;
inline constexpr const CtType& kRdaClose_Result = RdaOptionalList<kRdaListOfCloseExcp>::type;
inline constexpr const CtType& kRdaDropDBL_Req = RdaOptionalList<kRdaListOfCmdHndl>::type;
inline constexpr const CtType& kRdaDropDBL_Result = RdaOptionalList<kRdaListOfDropDBLExcp>::type;

struct RDAListRI {
  int32_t opId;
  RDAListSeq req;
};
struct RDAListRC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAListSeq result;
    RDAErr error;
  };
};
using RDAClose_RI = RDAListRI;
using RDAClose_RC = RDAListRC;
using RDADropDBL_RI = RDAListRI;
using RDADropDBL_RC = RDAListRC;
inline constexpr const CtType& kRdaClose_RI = RdaRequest<RDAListRI, kRdaClose_Req>::type;
inline constexpr const CtType& kRdaClose_RC = RdaResponse<RDAListRC, kRdaClose_Result, kRdaClose_Err>::type;
inline constexpr const CtType& kRdaDropDBL_RI = RdaRequest<RDAListRI, kRdaDropDBL_Req>::type;
inline constexpr const CtType& kRdaDropDBL_RC = RdaResponse<RDAListRC, kRdaDropDBL_Result, kRdaDropDBL_Err>::type;

// ---------------------------------------------------------------------------
// R-ExecuteDBL.

struct RDAExecDBL_Req {
  uint32_t mask;  // bit 0: [0]; bit 2: [2]; bit 3: [3]; bit 4: [4]/[5]; X/Open bit 5: [6]
  int32_t handle;
  RDASQLDBLStmt stmt;
  RDAList argSpecs;     // nodes RDADescrNode
  RDAList resultSpecs;  // nodes RDADescrNode
  RDADBLArgs args;      // code 0x4004 single row, 0x4005 multi row
  uint32_t flag;        // X/Open [6]
};
inline constexpr CtField kRdaExecDBL_ReqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAExecDBL_Req, handle)).optional(1u << 0),
    ctField(ctCtx(1), kRdaSQLDBLStmt, offsetof(RDAExecDBL_Req, stmt)).constructed(),
    ctField(ctCtx(2), kRdaSQLDBLArgSpec, offsetof(RDAExecDBL_Req, argSpecs)).constructed().optional(1u << 2),
    ctField(ctCtx(3), kRdaSQLDBLResultSpec, offsetof(RDAExecDBL_Req, resultSpecs)).constructed().optional(1u << 3),
    ctField(CT_SELF, kRdaExecDBLArgs, offsetof(RDAExecDBL_Req, args)).optional(1u << 4),
};
inline constexpr CtField kRdaXopenExecDBL_ReqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAExecDBL_Req, handle)).optional(1u << 0),
    ctField(ctCtx(1), kRdaXopenSQLDBLStmt, offsetof(RDAExecDBL_Req, stmt)).constructed(),
    ctField(ctCtx(2), kRdaXopenSQLDBLArgSpec, offsetof(RDAExecDBL_Req, argSpecs)).constructed().optional(1u << 2),
    ctField(ctCtx(3), kRdaXopenSQLDBLResultSpec, offsetof(RDAExecDBL_Req, resultSpecs)).constructed().optional(1u << 3),
    ctField(CT_SELF, kRdaXopenExecDBLArgs, offsetof(RDAExecDBL_Req, args)).optional(1u << 4),
    ctField(ctCtx(6), ctBool, offsetof(RDAExecDBL_Req, flag)).byDefault(1u << 5, 0),
};
inline constexpr CtSeq kRdaExecDBL_ReqSeq{kRdaExecDBL_ReqFields, offsetof(RDAExecDBL_Req, mask)};
inline constexpr CtSeq kRdaXopenExecDBL_ReqSeq{kRdaXopenExecDBL_ReqFields, offsetof(RDAExecDBL_Req, mask)};
inline constexpr CtType kRdaExecDBL_Req = ctSeqType(kRdaExecDBL_ReqSeq, sizeof(RDAExecDBL_Req));
inline constexpr CtType kRdaXopenExecDBL_Req = ctSeqType(kRdaXopenExecDBL_ReqSeq, sizeof(RDAExecDBL_Req));

// ExecDBL_Result and InvokeDBL_Result: [r] SQLDBLResultSpec OPTIONAL, [2] ListOfResultVals OPTIONAL.
struct RDADBLResult {
  uint32_t mask;  // bit 0: result specs; bit 1: rows
  RDAList resultSpecs;  // nodes RDADescrNode
  RDAList rows;         // nodes RDAResultNode (X/Open: RDAXOPENResultNode)
};
template <uint16_t R, const CtType& Spec, const CtType& Rows>
struct RdaDBLResult {
  static constexpr CtField fields[] = {
      ctField(ctCtx(R), Spec, offsetof(RDADBLResult, resultSpecs)).constructed().optional(1u << 0),
      ctField(ctCtx(2), Rows, offsetof(RDADBLResult, rows)).constructed().optional(1u << 1),
  };
  static constexpr CtSeq seq{fields, offsetof(RDADBLResult, mask)};
  static constexpr CtType type = ctSeqType(seq, sizeof(RDADBLResult));
};
using RDAExecDBL_Result = RDADBLResult;
using RDAInvokeDBL_Result = RDADBLResult;
inline constexpr const CtType& kRdaExecDBL_Result =
    RdaDBLResult<1, kRdaSQLDBLResultSpec, kRdaListOfResultVals>::type;
inline constexpr const CtType& kRdaXopenExecDBL_Result =
    RdaDBLResult<1, kRdaXopenSQLDBLResultSpec, kRdaXopenListOfResultVals>::type;
inline constexpr const CtType& kRdaInvokeDBL_Result =
    RdaDBLResult<0, kRdaSQLDBLResultSpec, kRdaListOfResultVals>::type;
inline constexpr const CtType& kRdaXopenInvokeDBL_Result =
    RdaDBLResult<0, kRdaXopenSQLDBLResultSpec, kRdaXopenListOfResultVals>::type;

struct RDAExecDBL_RI {
  int32_t opId;
  RDAExecDBL_Req req;
};
struct RDAExecDBL_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAExecDBL_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaExecDBL_RI = RdaRequest<RDAExecDBL_RI, kRdaExecDBL_Req>::type;
inline constexpr const CtType& kRdaXopenExecDBL_RI = RdaRequest<RDAExecDBL_RI, kRdaXopenExecDBL_Req>::type;
inline constexpr const CtType& kRdaExecDBL_RC =
    RdaResponse<RDAExecDBL_RC, kRdaExecDBL_Result, kRdaExecDBL_Err>::type;
inline constexpr const CtType& kRdaXopenExecDBL_RC =
    RdaResponse<RDAExecDBL_RC, kRdaXopenExecDBL_Result, kRdaExecDBL_Err>::type;

// ---------------------------------------------------------------------------
// R-DefineDBL.

struct RDADefineDBL_Req {
  uint32_t mask;  // bit 1: [1]; bit 3: [3]; bit 4: [4]
  int32_t cmdHandle;
  int32_t handle;
  RDASQLDBLStmt stmt;
  RDAList argSpecs;
  RDAList resultSpecs;
};
template <const CtType& Stmt, const CtType& Spec>
struct RdaDefineDBLReq {
  static constexpr CtField fields[] = {
      ctField(ctCtx(0), ctInt, offsetof(RDADefineDBL_Req, cmdHandle)),
      ctField(ctCtx(1), ctInt, offsetof(RDADefineDBL_Req, handle)).optional(1u << 1),
      ctField(ctCtx(2), Stmt, offsetof(RDADefineDBL_Req, stmt)).constructed(),
      ctField(ctCtx(3), Spec, offsetof(RDADefineDBL_Req, argSpecs)).constructed().optional(1u << 3),
      ctField(ctCtx(4), Spec, offsetof(RDADefineDBL_Req, resultSpecs)).constructed().optional(1u << 4),
  };
  static constexpr CtSeq seq{fields, offsetof(RDADefineDBL_Req, mask)};
  static constexpr CtType type = ctSeqType(seq, sizeof(RDADefineDBL_Req));
};
inline constexpr const CtType& kRdaDefineDBL_Req = RdaDefineDBLReq<kRdaSQLDBLStmt, kRdaSQLDBLArgSpec>::type;
inline constexpr const CtType& kRdaXopenDefineDBL_Req =
    RdaDefineDBLReq<kRdaXopenSQLDBLStmt, kRdaXopenSQLDBLArgSpec>::type;

template <class Excp>
struct RDADefineDBLResultOf {
  uint32_t mask;  // bit 0: [0]; bit 1: [1]
  RDAList resultSpecs;
  Excp* exception;
};
using RDADefineDBL_Result = RDADefineDBLResultOf<RDASQLDBLExcp>;
using RDAXOPENDefineDBL_Result = RDADefineDBLResultOf<RDAXOPENSQLDBLExcp>;
template <class Rec, const CtType& Spec, const CtType& Excp>
struct RdaDefineDBLResult {
  static constexpr CtField fields[] = {
      ctField(ctCtx(0), Spec, offsetof(Rec, resultSpecs)).constructed().optional(1u << 0),
      ctField(ctCtx(1), Excp, offsetof(Rec, exception)).constructed().indirect().optional(1u << 1),
  };
  static constexpr CtSeq seq{fields, offsetof(Rec, mask)};
  static constexpr CtType type = ctSeqType(seq, sizeof(Rec));
};
inline constexpr const CtType& kRdaDefineDBL_Result =
    RdaDefineDBLResult<RDADefineDBL_Result, kRdaSQLDBLResultSpec, kRdaSQLDBLExcp>::type;
inline constexpr const CtType& kRdaXopenDefineDBL_Result =
    RdaDefineDBLResult<RDAXOPENDefineDBL_Result, kRdaXopenSQLDBLResultSpec, kRdaXopenSQLDBLExcp>::type;

struct RDADefineDBL_RI {
  int32_t opId;
  RDADefineDBL_Req req;
};
template <class Result>
struct RDADefineDBL_RCOf {
  int32_t opId;
  uint32_t outcome;
  union {
    Result result;
    RDAErr error;
  };
};
using RDADefineDBL_RC = RDADefineDBL_RCOf<RDADefineDBL_Result>;
using RDAXOPENDefineDBL_RC = RDADefineDBL_RCOf<RDAXOPENDefineDBL_Result>;
inline constexpr const CtType& kRdaDefineDBL_RI = RdaRequest<RDADefineDBL_RI, kRdaDefineDBL_Req>::type;
inline constexpr const CtType& kRdaXopenDefineDBL_RI = RdaRequest<RDADefineDBL_RI, kRdaXopenDefineDBL_Req>::type;
inline constexpr const CtType& kRdaDefineDBL_RC =
    RdaResponse<RDADefineDBL_RC, kRdaDefineDBL_Result, kRdaDefineDBL_Err>::type;
inline constexpr const CtType& kRdaXopenDefineDBL_RC =
    RdaResponse<RDAXOPENDefineDBL_RC, kRdaXopenDefineDBL_Result, kRdaDefineDBL_Err>::type;

// ---------------------------------------------------------------------------
// R-InvokeDBL.

struct RDAInvokeDBL_Req {
  uint32_t mask;  // bit 1: arguments; X/Open bit 2: [6]
  int32_t cmdHandle;
  RDADBLArgs args;  // code 0x4001 single row, 0x4002 multi row
  uint32_t flag;    // X/Open [6]
};
inline constexpr CtField kRdaInvokeDBL_ReqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAInvokeDBL_Req, cmdHandle)),
    ctField(CT_SELF, kRdaDBLArgs, offsetof(RDAInvokeDBL_Req, args)).optional(1u << 1),
};
inline constexpr CtField kRdaXopenInvokeDBL_ReqFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAInvokeDBL_Req, cmdHandle)),
    ctField(CT_SELF, kRdaXopenDBLArgs, offsetof(RDAInvokeDBL_Req, args)).optional(1u << 1),
    ctField(ctCtx(6), ctBool, offsetof(RDAInvokeDBL_Req, flag)).byDefault(1u << 2, 0),
};
inline constexpr CtSeq kRdaInvokeDBL_ReqSeq{kRdaInvokeDBL_ReqFields, offsetof(RDAInvokeDBL_Req, mask)};
inline constexpr CtSeq kRdaXopenInvokeDBL_ReqSeq{kRdaXopenInvokeDBL_ReqFields, offsetof(RDAInvokeDBL_Req, mask)};
inline constexpr CtType kRdaInvokeDBL_Req = ctSeqType(kRdaInvokeDBL_ReqSeq, sizeof(RDAInvokeDBL_Req));
inline constexpr CtType kRdaXopenInvokeDBL_Req = ctSeqType(kRdaXopenInvokeDBL_ReqSeq, sizeof(RDAInvokeDBL_Req));

struct RDAInvokeDBL_RI {
  int32_t opId;
  RDAInvokeDBL_Req req;
};
struct RDAInvokeDBL_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAInvokeDBL_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaInvokeDBL_RI = RdaRequest<RDAInvokeDBL_RI, kRdaInvokeDBL_Req>::type;
inline constexpr const CtType& kRdaXopenInvokeDBL_RI = RdaRequest<RDAInvokeDBL_RI, kRdaXopenInvokeDBL_Req>::type;
inline constexpr const CtType& kRdaInvokeDBL_RC =
    RdaResponse<RDAInvokeDBL_RC, kRdaInvokeDBL_Result, kRdaInvokeDBL_Err>::type;
inline constexpr const CtType& kRdaXopenInvokeDBL_RC =
    RdaResponse<RDAInvokeDBL_RC, kRdaXopenInvokeDBL_Result, kRdaInvokeDBL_Err>::type;

// ---------------------------------------------------------------------------
// Named functions.

RDA_CODECS(SQLInitArg, RDASQLInitArg, RDASQLInitArg)
RDA_CODECS(Init_Req, RDAInit_Req, RDAInit_Req)
RDA_CODECS(SQLInitResult, RDASQLInitResult, RDASQLInitResult)
RDA_CODECS(Init_Result, RDAInit_Result, RDAInit_Result)
RDA_CODECS(Init_RI, RDAInit_RI, RDAInit_RI)
RDA_CODECS(Init_RC, RDAInit_RC, RDAInit_RC)
RDA_CODECS(Cancel_Req, RDACancel_Req, RDACancel_Req)
RDA_CODECS(Cancel_RI, RDACancel_RI, RDACancel_RI)
RDA_CODECS(Cancel_RC, RDACancel_RC, RDACancel_RC)
RDA_CODECS(Status_Req, RDAStatus_Req, RDAStatus_Req)
RDA_CODECS(ListOfStatusInfo, RDAList, RDAList)
RDA_CODECS(Status_Result, RDAStatus_Result, RDAStatus_Result)
RDA_CODECS(Status_RI, RDAStatus_RI, RDAStatus_RI)
RDA_CODECS(Status_RC, RDAStatus_RC, RDAStatus_RC)
RDA_CODECS(SQLOpenArg, RDASQLOpenArg, RDASQLOpenArg)
RDA_CODECS(Open_Req, RDAOpen_Req, RDAOpen_Req)
RDA_CODECS(SQLOpenResult, RDASQLOpenResult, RDASQLOpenResult)
RDA_CODECS(Open_Result, RDAOpen_Result, RDAOpen_Result)
RDA_CODECS(Open_RI, RDAOpen_RI, RDAOpen_RI)
RDA_CODECS(Open_RC, RDAOpen_RC, RDAOpen_RC)
RDA_CODECS(Close_Req, RDAClose_Req, RDAClose_Req)
RDA_CODECS(ListOfCloseExcp, RDAList, RDAList)
RDA_CODECS(Close_Result, RDAClose_Result, RDAClose_Result)
RDA_CODECS(Close_RI, RDAClose_RI, RDAClose_RI)
RDA_CODECS(Close_RC, RDAClose_RC, RDAClose_RC)
RDA_CODECS(ExecDBL_Req, RDAExecDBL_Req, RDAExecDBL_Req)
RDA_CODECS(ExecDBL_Result, RDAExecDBL_Result, RDAExecDBL_Result)
RDA_CODECS(ExecDBL_RI, RDAExecDBL_RI, RDAExecDBL_RI)
RDA_CODECS(ExecDBL_RC, RDAExecDBL_RC, RDAExecDBL_RC)
RDA_CODECS(DefineDBL_Req, RDADefineDBL_Req, RDADefineDBL_Req)
RDA_CODECS(DefineDBL_Result, RDADefineDBL_Result, RDAXOPENDefineDBL_Result)
RDA_CODECS(DefineDBL_RI, RDADefineDBL_RI, RDADefineDBL_RI)
RDA_CODECS(DefineDBL_RC, RDADefineDBL_RC, RDAXOPENDefineDBL_RC)
RDA_CODECS(InvokeDBL_Req, RDAInvokeDBL_Req, RDAInvokeDBL_Req)
RDA_CODECS(InvokeDBL_Result, RDAInvokeDBL_Result, RDAInvokeDBL_Result)
RDA_CODECS(InvokeDBL_RI, RDAInvokeDBL_RI, RDAInvokeDBL_RI)
RDA_CODECS(InvokeDBL_RC, RDAInvokeDBL_RC, RDAInvokeDBL_RC)
RDA_CODECS(DropDBL_Req, RDADropDBL_Req, RDADropDBL_Req)
RDA_CODECS(ListOfDropDBLExcp, RDAList, RDAList)
RDA_CODECS(DropDBL_Result, RDADropDBL_Result, RDADropDBL_Result)
RDA_CODECS(DropDBL_RI, RDADropDBL_RI, RDADropDBL_RI)
RDA_CODECS(DropDBL_RC, RDADropDBL_RC, RDADropDBL_RC)
uint32_t aRDAStatusInfo(RDAStatusInfo* record);
int64_t fRDAStatusInfo(RDAStatusInfo* record);
uint32_t aRDAXOPENStatusInfo(RDAStatusInfo* record);
int64_t fRDAXOPENStatusInfo(RDAStatusInfo* record);
uint32_t aRDACloseExcp(RDACloseExcp* record);
int64_t fRDACloseExcp(RDACloseExcp* record);
uint32_t aRDAXOPENCloseExcp(RDACloseExcp* record);
int64_t fRDAXOPENCloseExcp(RDACloseExcp* record);
uint32_t aRDADropDBLExcp(RDADropDBLExcp* record);
int64_t fRDADropDBLExcp(RDADropDBLExcp* record);
uint32_t aRDAXOPENDropDBLExcp(RDADropDBLExcp* record);
int64_t fRDAXOPENDropDBLExcp(RDADropDBLExcp* record);
