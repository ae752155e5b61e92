// Members of the RDA top-level CHOICE: the RI and RC records of the services
// and the request, result and error types inside them (see rda_codec.h for
// how a member is added).
#pragma once

#include "src/asn1/rda_codec.h"

// ---------------------------------------------------------------------------
// R-Terminate: [0] empty in both directions.

struct RDATerm_RI {
  int32_t opId;
};
struct RDATerm_RC {
  int32_t opId;
  uint32_t outcome;  // RDA_OUTCOME_RESULT or RDA_OUTCOME_ERROR
  RDAErr error;
};
inline constexpr const CtType& kRdaTerm_RI = RdaEmptyRequest<RDATerm_RI>::type;
inline constexpr const CtType& kRdaTerm_RC = RdaEmptyResponse<RDATerm_RC, kRdaTerm_Err>::type;

// ---------------------------------------------------------------------------
// R-BeginTransaction: the response is always an error, [0] explicit around it.

struct RDABgnTrans_RI {
  int32_t opId;
};
struct RDABgnTrans_RC {
  int32_t opId;
  RDAErr error;
};
inline constexpr const CtType& kRdaBgnTrans_RI = RdaEmptyRequest<RDABgnTrans_RI>::type;
inline constexpr CtField kRdaBgnTrans_RCFields[] = {
    ctField(ctUniv(2), kRdaOpID, offsetof(RDABgnTrans_RC, opId)),
    ctField(ctCtx(0), kRdaBgnTrans_Err, offsetof(RDABgnTrans_RC, error)).explicitOver(CT_SELF),
};
inline constexpr CtSeq kRdaBgnTrans_RCSeq{kRdaBgnTrans_RCFields};
inline constexpr CtType kRdaBgnTrans_RC = ctSeqType(kRdaBgnTrans_RCSeq, sizeof(RDABgnTrans_RC));

// ---------------------------------------------------------------------------
// R-Commit: the result differs between the families.

struct RDACommit_RI {
  int32_t opId;
};
inline constexpr const CtType& kRdaCommit_RI = RdaEmptyRequest<RDACommit_RI>::type;

// ISO: SEQUENCE { [0] INTEGER }. The record begins as the X/Open one, so
// that the value a builder writes lies where either codec reads it; the
// mask word is not read or written by the ISO codec.
struct RDACommit_Result {
  uint32_t mask;
  int32_t value;
};
inline constexpr CtField kRdaCommit_ResultFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDACommit_Result, value)),
};
inline constexpr CtSeq kRdaCommit_ResultSeq{kRdaCommit_ResultFields};
inline constexpr CtType kRdaCommit_Result = ctSeqType(kRdaCommit_ResultSeq, sizeof(RDACommit_Result));

// X/Open: SEQUENCE { [0] INTEGER, [1] messageText OPTIONAL }.
struct RDAXOPENCommit_Result {
  uint32_t mask;  // bit 0: [1]
  int32_t value;
  char* text;
};
inline constexpr CtField kRdaXopenCommit_ResultFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAXOPENCommit_Result, value)),
    ctField(ctCtx(1), ctText, offsetof(RDAXOPENCommit_Result, text)).optional(1u << 0),
};
inline constexpr CtSeq kRdaXopenCommit_ResultSeq{kRdaXopenCommit_ResultFields, offsetof(RDAXOPENCommit_Result, mask)};
inline constexpr CtType kRdaXopenCommit_Result = ctSeqType(kRdaXopenCommit_ResultSeq, sizeof(RDAXOPENCommit_Result));
static_assert(offsetof(RDACommit_Result, value) == offsetof(RDAXOPENCommit_Result, value));

struct RDACommit_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDACommit_Result result;
    RDAErr error;
  };
};
struct RDAXOPENCommit_RC {
  int32_t opId;
  uint32_t outcome;
  union {
    RDAXOPENCommit_Result result;
    RDAErr error;
  };
};
inline constexpr const CtType& kRdaCommit_RC = RdaResponse<RDACommit_RC, kRdaCommit_Result, kRdaCommit_Err>::type;
inline constexpr const CtType& kRdaXopenCommit_RC =
    RdaResponse<RDAXOPENCommit_RC, kRdaXopenCommit_Result, kRdaCommit_Err>::type;

// ---------------------------------------------------------------------------
// R-Rollback: [0] empty in both directions.

struct RDARollback_RI {
  int32_t opId;
};
struct RDARollback_RC {
  int32_t opId;
  uint32_t outcome;
  RDAErr error;
};
inline constexpr const CtType& kRdaRollback_RI = RdaEmptyRequest<RDARollback_RI>::type;
inline constexpr const CtType& kRdaRollback_RC = RdaEmptyResponse<RDARollback_RC, kRdaRollback_Err>::type;

// ---------------------------------------------------------------------------

RDA_CODECS(Term_RI, RDATerm_RI, RDATerm_RI)
RDA_CODECS(Term_RC, RDATerm_RC, RDATerm_RC)
RDA_CODECS(BgnTrans_RI, RDABgnTrans_RI, RDABgnTrans_RI)
RDA_CODECS(BgnTrans_RC, RDABgnTrans_RC, RDABgnTrans_RC)
RDA_CODECS(Commit_RI, RDACommit_RI, RDACommit_RI)
RDA_CODECS(Commit_Result, RDACommit_Result, RDAXOPENCommit_Result)
RDA_CODECS(Commit_RC, RDACommit_RC, RDAXOPENCommit_RC)
RDA_CODECS(Rollback_RI, RDARollback_RI, RDARollback_RI)
RDA_CODECS(Rollback_RC, RDARollback_RC, RDARollback_RC)
