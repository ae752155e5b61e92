// Builders of the GIDUs of the RDA services: dialogue (R-Initialize,
// R-Terminate), transactions (R-BeginTransaction, R-Commit, R-Rollback),
// data resources (R-Open, R-Close), DBL statements (R-ExecuteDBL,
// R-DefineDBL, R-InvokeDBL, R-DropDBL) and control (R-Cancel, R-Status).
//
// Each builder makes a GIDU of IDU type 200 for its event with the
// references of `ref` (normally the connection's TemplateGidu) and the
// operation identifier, and fills the RDAIdu for the wire; everything it
// copies lies in the IDU's tree, so that deleting the GIDU frees it all. It
// returns the GIDU, or NULL after tracing the failure and deleting what it
// built. None sets an OSI error number (rda_getAppCtxName excepted).
//
// The records are those of both families (RDAIdu and RDAXOPENIdu share
// their layout); where a list holds descriptors or rows, the arrays hold
// pointers to records of the family of the message.
#pragma once

#include <cstdint>
#include <cwchar>

#include "src/rda/rda_gidu.h"

struct XmTree;

// The tree of the RDAIdu a GIDU carries (the IDU itself, not wrapped).
XmTree* rda_iduTree(const GIDU* gidu);

// ---------------------------------------------------------------------------
// Dialogue and transactions.

// `dlgIDSuffix` and `identityOfUser` are required; `cntlFlag` NULL leaves
// the flag out; the SQL initialization argument is always sent.
GIDU* rda_createSQLInitReq(const GIDU* ref, int32_t opId, const OctStgV* dlgIDSuffix, const char* identityOfUser,
                           const RDAAuthData* userAuthData, const uint32_t* cntlFlag, uint32_t functionalUnits,
                           const ObjIdV* sQLConformLevelDef, const OctStgV* userData);
// In a controlled dialogue (`controlled` 1) whose control flag is absent or
// not 0, `cntlAuthData` is required: without it NULL, nothing built.
GIDU* rda_createSQLInitRsp(const GIDU* ref, int32_t opId, uint32_t controlled, const uint32_t* cntlFlag,
                           const RDAAuthData* cntlAuthData, uint32_t functionalUnits, const OctStgV* userData);
GIDU* rda_createSQLTermReq(const GIDU* ref, int32_t opId);
GIDU* rda_createSQLTermRsp(const GIDU* ref, int32_t opId);
GIDU* rda_createSQLBgnTransReq(const GIDU* ref, int32_t opId);
GIDU* rda_createSQLCommitReq(const GIDU* ref, int32_t opId);
// The message text (NULL: none) travels in UTF-8. The result record is the
// one the X/Open codec reads.
GIDU* rda_createSQLCommitRsp(const GIDU* ref, int32_t opId, int32_t value, const wchar_t* messageText);
GIDU* rda_createSQLRollbackReq(const GIDU* ref, int32_t opId);
GIDU* rda_createSQLRollbackRsp(const GIDU* ref, int32_t opId);

// ---------------------------------------------------------------------------
// Data resources and DBL statements.
//
// The request builders that take a value tree (the tree that holds the
// value lists) take it over: it is freed with the GIDU, or at once when the
// GIDU cannot be made. The response builders take it over once the GIDU
// exists and leave it to the caller when it cannot be made.

GIDU* rda_createSQLOpenReq(const GIDU* ref, int32_t opId, int32_t handle, const char* dataResourceName,
                           const RDAAccessCntlData* sQLAccessCntlData, const int32_t* usageMode, const ObjIdV* charSet,
                           const ObjIdV* sQLConformLevel);
GIDU* rda_createSQLOpenRsp(const GIDU* ref, int32_t opId, uint32_t flag, const ObjIdV* charSet,
                           const ObjIdV* sQLConformLevel);
GIDU* rda_createSQLCloseReq(const GIDU* ref, int32_t opId);
GIDU* rda_createSQLCloseRsp(const GIDU* ref, int32_t opId);

// Value lists: count 0 sends no arguments; count 1 the single-row form
// (a NULL or empty list: without values; a repetition count not 0 is sent);
// more the multi-row form of the lists that are not NULL.
GIDU* rda_createSQLExecDBLReq(const GIDU* ref, int32_t opId, const int32_t* handle, const ObjIdV* stmtCharSet,
                              const OctStgV* stmt, uint32_t argSpecCount, void* const* argSpecs,
                              uint32_t resultSpecCount, void* const* resultSpecs, uint32_t valListCount,
                              RDASQLValList* const* valLists, int32_t repetition, XmTree* valueTree);
GIDU* rda_createSQLExecDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                              uint32_t resultValCount, void* const* resultVals, XmTree* valueTree);
GIDU* rda_createSQLDefineDBLReq(const GIDU* ref, int32_t opId, int32_t cmdHandle, const int32_t* handle,
                                const ObjIdV* stmtCharSet, const OctStgV* stmt, uint32_t argSpecCount,
                                void* const* argSpecs, uint32_t resultSpecCount, void* const* resultSpecs,
                                XmTree* valueTree);
// `exception` (RDASQLDBLExcp* or RDAXOPENSQLDBLExcp*, NULL: none) is stored, not copied.
GIDU* rda_createSQLDefineDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                                void* exception, XmTree* valueTree);
GIDU* rda_createSQLInvokeDBLReq(const GIDU* ref, int32_t opId, int32_t cmdHandle, uint32_t valListCount,
                                RDASQLValList* const* valLists, int32_t repetition, XmTree* valueTree);
GIDU* rda_createSQLInvokeDBLRsp(const GIDU* ref, int32_t opId, uint32_t resultSpecCount, void* const* resultSpecs,
                                uint32_t resultValCount, void* const* resultVals, XmTree* valueTree);
GIDU* rda_createSQLDropDBLReq(const GIDU* ref, int32_t opId, uint32_t count, const int32_t* cmdHandles);
GIDU* rda_createSQLDropDBLRsp(const GIDU* ref, int32_t opId, uint32_t count, const int32_t* cmdHandles);

// ---------------------------------------------------------------------------
// Control.

// Either part of a controlled dialogue may be left out (NULL); a record
// without a suffix or control authentication data cannot be encoded.
GIDU* rda_createCancelReq(const GIDU* ref, int32_t opId, const RDADlgIDClientInvoc* clientInvoc,
                          const OctStgV* dlgIDSuffix, const RDAAuthData* cntlAuthData, uint32_t count,
                          const int32_t* opIds);
GIDU* rda_createCancelRsp(const GIDU* ref, int32_t opId);
GIDU* rda_createStatusReq(const GIDU* ref, int32_t opId, const RDADlgIDClientInvoc* clientInvoc,
                          const OctStgV* dlgIDSuffix, const RDAAuthData* cntlAuthData, uint32_t count,
                          const int32_t* opIds);

// One entry of an R-Status result: status code 0x4001..0x4006; the text
// is that of an aborted operation (0x4006) and may be NULL.
struct RDAStatusEntry {
  int32_t opId;
  uint32_t code;
  const char* text;
};
GIDU* rda_createStatusRsp(const GIDU* ref, int32_t opId, uint32_t count, const RDAStatusEntry* entries);

// Fills a controlled dialogue from whichever parts are given. 1, or 0 after
// a trace.
int32_t RDA_copyCntlledDlg(const RDADlgIDClientInvoc* clientInvoc, const OctStgV* dlgIDSuffix,
                           const RDAAuthData* cntlAuthData, XmTree* tree, RDACntlledDlg* dst);
// `dst` made a list of `count` operation identifiers in array order. 1, or
// 0 after a trace (the identifiers appended so far stay).
int32_t RDA_copyListOfOpID(uint32_t count, const int32_t* opIds, XmTree* tree, RDAList* dst);

// A local name record: its name, then the application context name.
struct RDALocalName {
  const char* name;
  ObjIdV appCtxName;
};
// The application context name of the record; NULL with OSI error 52484
// for a NULL record.
const ObjIdV* rda_getAppCtxName(const RDALocalName* localName);
