// Builders of the GIDUs that put the stack into its role and set up and end
// associations: the stack-control requests of IDU type 200 (Activate,
// Deactivate, forced Deactivate, quick abort, provider stop and start, the
// service user's next-event request) and the ACSE primitives of the RDA
// user (A-ASSOCIATE request and response, A-RELEASE request and response,
// A-ABORT request; IDU type 240).
//
// Each builder takes the reference GIDU whose four references the new GIDU
// copies (a TemplateGidu or a GIDU) and returns the GIDU, or NULL after
// tracing the failure and deleting what it built. Everything a builder
// allocates lies in the tree of the IDU or APDU it made, so deleting the GIDU
// frees it all. The Activate and ACSE builders set the OSI error number of a
// failure: 52481 no resource, 52484 a required parameter missing, 52485 an
// incomplete AE table entry, 52486 a directory failure.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/asn1/decode_tree.h"

struct UL_AEId;

// Event 0: an RDAIdu with the Activate alternative, holding the AE
// identifier of `localName` from the directory (AP and AE invocation
// identifiers 0, marked present) and the activation data with `role`.
GIDU* rda_createActivateReq(const GIDU* ref, const char* localName, uint32_t role);

// Bare GIDUs of type 200 for the events 2, 4, 6, 8, 9 and 0x8370. They set no
// OSI error number.
GIDU* rda_createDeactivateReq(const GIDU* ref);
GIDU* rda_createForcedDeactReq(const GIDU* ref);
GIDU* rda_createQabortReq(const GIDU* ref);
GIDU* rda_createProvStopReq(const GIDU* ref);
GIDU* rda_createProvStartReq(const GIDU* ref);
GIDU* rda_createSurNextEventReq(const GIDU* ref);

// A-ASSOCIATE request (0x8000): an AARQ from `localName` to `peerName`, both
// looked up in the directory with `dirArg` (the user's connection string,
// may be NULL). `presRequirements` (NULL: not given) is the 2-bit
// presentation-requirements word; `sessRequirements` must not be 0.
GIDU* rda_createAssocReq(const GIDU* ref, const char* localName, const char* peerName, const ObjIdV* appCtxName,
                         const uint32_t* presRequirements, uint32_t sessRequirements, const char* dirArg);

// A-ASSOCIATE response (0x8012): an AARE with `result`, source ACSE service
// user, diagnostic 0 when accepted, else 1 or the given reason.
GIDU* rda_createAssocRsp(const GIDU* ref, const ObjIdV* appCtxName, uint32_t result,
                         const uint32_t* presRequirements, uint32_t sessRequirements);
GIDU* rda_createAssocRspWithReason(const GIDU* ref, const ObjIdV* appCtxName, uint32_t result,
                                   const uint32_t* presRequirements, uint32_t sessRequirements, uint32_t reason);

// A-RELEASE request (0x8020) and response (0x8032): the reason when given;
// the response always carries `releaseResult` (0: release accepted).
GIDU* rda_createRelReq(const GIDU* ref, const int32_t* reason);
GIDU* rda_createRelRsp(const GIDU* ref, const int32_t* reason, int32_t releaseResult);

// A-ABORT request (0x8040): abort source ACSE service user, nothing else.
GIDU* rda_createAbortReq(const GIDU* ref);

// 0 when the directory entry of `name` has what an association needs (AP
// title, AE qualifier and transport class), else 52485 after the trace
// "*** rda_createAssocReq: __AETABLE__ entry for <name> is not complete".
uint32_t rda_checkAeTableEntry(const UL_AEId& entry, const char* name);
