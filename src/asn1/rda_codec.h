// The codec pattern of the RDA IDUs, ISO (aRDA<T>/fRDA<T>, errors traced as
// "src/rdaidu") and X/Open (aRDAXOPEN<T>/fRDAXOPEN<T>, "src/rdaxidu"), and the
// small types that many services share: operation ids and handles, the error
// alternatives of every <Svc>_Err, invalid sequence, diagnostics, the
// dialogue identifiers and authentication data, the activation request and
// the lists of INTEGERs.
//
// Every RDA type is a record and a constant descriptor (codec_table.h); one
// engine parses and formats all of them. The two families share a
// descriptor wherever their wire forms agree and differ only where the wire
// differs.
//
// How to add a member type T
// --------------------------
// 1. Write its record: a plain struct. A type with OPTIONAL or DEFAULT
//    elements begins with `uint32_t mask` (bit k = 1u << k, as the type's
//    table gives it); a CHOICE begins with `uint32_t code` (the type code of
//    the alternative) followed by an anonymous union of the alternatives;
//    lists are RDAList heads whose nodes begin with UL_Link.
// 2. Write its descriptor next to it, one line per element, in wire order
//    (here Open_Result, over the SQLOpenResult type it carries):
//
//      struct RDAOpen_Result { uint32_t mask; RDASQLOpenResult sql; };
//      inline constexpr CtField kRdaOpen_ResultFields[] = {
//          ctField(ctCtx(30), kRdaSQLOpenResult, offsetof(RDAOpen_Result, sql)).optional(1u << 0),
//      };
//      inline constexpr CtSeq kRdaOpen_ResultSeq{kRdaOpen_ResultFields, offsetof(RDAOpen_Result, mask)};
//      inline constexpr CtType kRdaOpen_Result = ctSeqType(kRdaOpen_ResultSeq, sizeof(RDAOpen_Result));
//
//    - implicit [n]: ctField(ctCtx(n), type, offset); explicit [n] around a
//      tagged element: .explicitOver(inner code) (CT_SELF for a CHOICE);
//      a universal element: ctUniv(tag); an untagged CHOICE: CT_SELF.
//    - OPTIONAL: .optional(bit); DEFAULT: .byDefault(bit, value);
//      X/Open "written when nonzero": .whenNonZero(); a pointer written
//      when set: .indirect().whenSet().
//    - a record of its own (SQLVal, SQLDataTypeDescr, SQLDBLExcp): the field
//      is .indirect() and the type's size is the record's; memory from the
//      page allocator: give the type CT_PAGE (ctSeqType(..., CT_PAGE), or
//      ctTextPage / ctOctvPage for strings).
//    - a type that reads its own SEQUENCE identifier (StatusInfo, SQLVal,
//      ResultVals, ...) stands in its list or field as ctField(ctUniv(16),
//      type, ...); lists: CtList{element field, sizeof(node)}, typed with
//      ctListType (an empty list is error 1).
//    - an error CHOICE other than those below: RdaErrChoice<n...>::type.
//    - the hot value path may probe with .valueProbe() (tags below 31).
// 3. An RI or RC member needs no descriptor of its own: RdaRequest<Record,
//    request type>::type, RdaEmptyRequest<Record>::type,
//    RdaResponse<Record, result type, error type>::type or
//    RdaEmptyResponse<Record, error type>::type, with the member names
//    opId, req / outcome, result, error.
// 4. Where the X/Open wire form differs, write a second record and
//    descriptor named RDAXOPEN<T> / kRdaXopen<T> and use it in the X/Open
//    table; otherwise both families use the one descriptor.
// 5. A top-level member goes into the union of RDAIdu / RDAXOPENIdu
//    (rda_idu.h) and, as member(RDA_<TAG>, kRda<T>, offsetof(RDAIdu, x)),
//    into kRdaIsoAlts / kRdaXopenAlts (rda_idu.cpp).
// 6. Named functions: RDA_CODECS(T, iso record, X/Open record) in the header
//    and RDA_CODECS_DEF(T, iso record, X/Open record, iso type, X/Open type)
//    in the source give aRDA<T>, fRDA<T>, aRDAXOPEN<T>, fRDAXOPEN<T>. A
//    type whose parse allocates its record (aRDASQLVal() and the like) is
//    written as aRDAActData in rda_codec.cpp, or parses an .indirect()
//    field into a local pointer (aUL_AEId in ul_codec.cpp).
// 7. tests/asn1: ct_valid on the family's top-level type checks every
//    descriptor it reaches; wire tests against octets worked out by hand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "src/asn1/ber_runtime.h"
#include "src/asn1/codec_table.h"
#include "src/asn1/ul_codec.h"

inline constexpr const char* kRdaIsoSrc = "src/rdaidu";
inline constexpr const char* kRdaXopenSrc = "src/rdaxidu";

// Named parse and format functions of type T in both families: parse
// answers non-zero when it read the value (a CHOICE or a self-identifying
// type: 0 when its element is not there), format the octets it wrote.
#define RDA_CODECS(T, IsoRec, XopenRec) \
  uint32_t aRDA##T(IsoRec* record);     \
  int64_t fRDA##T(IsoRec* record);      \
  uint32_t aRDAXOPEN##T(XopenRec* record); \
  int64_t fRDAXOPEN##T(XopenRec* record);

#define RDA_CODECS_DEF(T, IsoRec, XopenRec, isoType, xopenType)                                        \
  uint32_t aRDA##T(IsoRec* record) { return ct_parseType(isoType, record, kRdaIsoSrc); }               \
  int64_t fRDA##T(IsoRec* record) { return ct_formatType(isoType, record, kRdaIsoSrc); }              \
  uint32_t aRDAXOPEN##T(XopenRec* record) { return ct_parseType(xopenType, record, kRdaXopenSrc); }   \
  int64_t fRDAXOPEN##T(XopenRec* record) { return ct_formatType(xopenType, record, kRdaXopenSrc); }

// ---------------------------------------------------------------------------
// Lists: a ring head {next, previous, count}; nodes begin with their links.

using RDAList = UL_Ring;

// Node of a list of INTEGERs (ListOfOpID, ListOfCmdHndl, ListOfDataRsrcHndl).
struct RDAIntNode {
  UL_Link links;
  int32_t value;
};

inline constexpr CtList kRdaIntList{ctField(ctUniv(2), ctInt, offsetof(RDAIntNode, value)), sizeof(RDAIntNode)};
inline constexpr CtType kRdaListOfOpID = ctListType(kRdaIntList);
inline constexpr CtType kRdaListOfCmdHndl = ctListType(kRdaIntList);
inline constexpr CtType kRdaListOfDataRsrcHndl = ctListType(kRdaIntList);

// Operation id, command handle, data resource handle: INTEGER, 32-bit.
inline constexpr const CtType& kRdaOpID = ctInt;
inline constexpr const CtType& kRdaCmdHndl = ctInt;
inline constexpr const CtType& kRdaDataRsrcHndl = ctInt;

// ---------------------------------------------------------------------------
// Error alternatives.

// InvSequence: SEQUENCE { [0] INTEGER OPTIONAL }.
struct RDAInvSequence {
  uint32_t mask;  // bit 0: [0]
  int32_t value;
};
inline constexpr CtField kRdaInvSequenceFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAInvSequence, value)).optional(1u << 0),
};
inline constexpr CtSeq kRdaInvSequenceSeq{kRdaInvSequenceFields, offsetof(RDAInvSequence, mask)};
inline constexpr CtType kRdaInvSequence = ctSeqType(kRdaInvSequenceSeq, sizeof(RDAInvSequence));

// ErrDiag: SEQUENCE { [0] INTEGER DEFAULT 0, [1] character string OPTIONAL }.
struct RDAErrDiag {
  uint32_t mask;  // bit 0: [0] (also when defaulted); bit 1: [1]
  int32_t code;
  char* text;
};
inline constexpr CtField kRdaErrDiagFields[] = {
    ctField(ctCtx(0), ctInt, offsetof(RDAErrDiag, code)).byDefault(1u << 0, 0),
    ctField(ctCtx(1), ctText, offsetof(RDAErrDiag, text)).optional(1u << 1),
};
inline constexpr CtSeq kRdaErrDiagSeq{kRdaErrDiagFields, offsetof(RDAErrDiag, mask)};
inline constexpr CtType kRdaErrDiag = ctSeqType(kRdaErrDiagSeq, sizeof(RDAErrDiag));

// DataRsrcAlreadyOpen: SEQUENCE { [0] DataRsrcHndl }.
struct RDADataRsrcAlreadyOpen {
  int32_t handle;
};
inline constexpr CtField kRdaDataRsrcAlreadyOpenFields[] = {
    ctField(ctCtx(0), kRdaDataRsrcHndl, offsetof(RDADataRsrcAlreadyOpen, handle)),
};
inline constexpr CtSeq kRdaDataRsrcAlreadyOpenSeq{kRdaDataRsrcAlreadyOpenFields};
inline constexpr CtType kRdaDataRsrcAlreadyOpen = ctSeqType(kRdaDataRsrcAlreadyOpenSeq, sizeof(RDADataRsrcAlreadyOpen));

// The RDA error values: [APPLICATION n] carries 8192 + n.
inline constexpr uint32_t RDA_ERR_BASE = 0x2000;
inline constexpr uint32_t RDA_ERR_DATA_RSRC_ALREADY_OPEN = RDA_ERR_BASE + 5;
inline constexpr uint32_t RDA_ERR_OPEN_DIAG = RDA_ERR_BASE + 9;
inline constexpr uint32_t RDA_ERR_INV_SEQUENCE = RDA_ERR_BASE + 16;
inline constexpr uint32_t RDA_ERR_DIAG = RDA_ERR_BASE + 18;

// One error of any service: the error value, then its parameter where the
// alternative has one.
struct RDAErr {
  uint32_t code;  // RDA_ERR_BASE + n
  union {
    RDAInvSequence invSequence;             // [APPLICATION 16]
    RDAErrDiag diag;                        // [APPLICATION 18], Open_Err [APPLICATION 9]
    RDADataRsrcAlreadyOpen alreadyOpen;     // Open_Err [APPLICATION 5]
  };
};

// Alternative [APPLICATION n]: constructed around its parameter, or empty.
constexpr CtField rdaErrAlt(uint16_t n) {
  switch (n) {
    case 5:
      return ctField(ctApp(n), kRdaDataRsrcAlreadyOpen, offsetof(RDAErr, alreadyOpen)).constructed();
    case 9:
    case 18:
      return ctField(ctApp(n), kRdaErrDiag, offsetof(RDAErr, diag)).constructed();
    case 16:
      return ctField(ctApp(n), kRdaInvSequence, offsetof(RDAErr, invSequence)).constructed();
    default:
      return ctField(ctApp(n), ctNull);
  }
}

// The error CHOICE that accepts [APPLICATION n] for the listed n.
template <uint16_t... N>
struct RdaErrChoice {
  static constexpr CtField alts[] = {rdaErrAlt(N)...};
  static constexpr CtChoice choice{alts, offsetof(RDAErr, code)};
  static constexpr CtType type = ctChoiceType(choice, sizeof(RDAErr));
};

inline constexpr const CtType& kRdaInit_Err = RdaErrChoice<0, 14, 16, 18, 22>::type;
inline constexpr const CtType& kRdaTerm_Err = RdaErrChoice<15, 16, 18, 20>::type;
inline constexpr const CtType& kRdaBgnTrans_Err = RdaErrChoice<15, 16, 18, 20>::type;
inline constexpr const CtType& kRdaCommit_Err = RdaErrChoice<15, 16>::type;
inline constexpr const CtType& kRdaRollback_Err = RdaErrChoice<15, 16>::type;
inline constexpr const CtType& kRdaCancel_Err = RdaErrChoice<3, 4, 11, 15, 16, 18, 20>::type;
inline constexpr const CtType& kRdaStatus_Err = RdaErrChoice<3, 4, 11, 15, 16, 18, 20>::type;
inline constexpr const CtType& kRdaOpen_Err =
    RdaErrChoice<5, 8, 9, 10, 13, 15, 16, 18, 19, 20, 24, 26, 27, 28>::type;
inline constexpr const CtType& kRdaClose_Err = RdaErrChoice<15, 16, 18, 19, 20, 26>::type;
inline constexpr const CtType& kRdaExecDBL_Err =
    RdaErrChoice<1, 6, 7, 15, 16, 17, 18, 19, 20, 21, 23, 25, 29, 30, 31, 32, 33>::type;
inline constexpr const CtType& kRdaDefineDBL_Err =
    RdaErrChoice<6, 7, 12, 15, 16, 17, 18, 19, 20, 23, 31, 32, 33>::type;
inline constexpr const CtType& kRdaInvokeDBL_Err = RdaErrChoice<1, 2, 15, 16, 18, 19, 20, 21, 25, 29, 30, 33>::type;
inline constexpr const CtType& kRdaDropDBL_Err = RdaErrChoice<15, 16, 18, 19, 20>::type;

// ---------------------------------------------------------------------------
// Dialogues.

// AuthData and AccessCntlData: CHOICE { [0] character string, [1] OCTET
// STRING, [2] BIT STRING }.
inline constexpr uint32_t RDA_AUTH_TEXT = 0x4000;
inline constexpr uint32_t RDA_AUTH_OCTETS = 0x4001;
inline constexpr uint32_t RDA_AUTH_BITS = 0x4002;
struct RDAAuthData {
  uint32_t code;  // RDA_AUTH_*
  union {
    char* text;
    OctStgV octets;
    BitStgV bits;
  };
};
using RDAAccessCntlData = RDAAuthData;
inline constexpr CtField kRdaAuthDataAlts[] = {
    ctField(ctCtx(0), ctText, offsetof(RDAAuthData, text)),
    ctField(ctCtx(1), ctOctv, offsetof(RDAAuthData, octets)),
    ctField(ctCtx(2), ctBitV, offsetof(RDAAuthData, bits)),
};
inline constexpr CtChoice kRdaAuthDataChoice{kRdaAuthDataAlts, offsetof(RDAAuthData, code)};
inline constexpr CtType kRdaAuthData = ctChoiceType(kRdaAuthDataChoice, sizeof(RDAAuthData));
inline constexpr const CtType& kRdaAccessCntlData = kRdaAuthData;

// DlgIDSuffix: CHOICE { [0] OCTET STRING }.
struct RDADlgIDSuffix {
  uint32_t code;  // 0x4000
  OctStgV octets;
};
inline constexpr CtField kRdaDlgIDSuffixAlts[] = {
    ctField(ctCtx(0), ctOctv, offsetof(RDADlgIDSuffix, octets)),
};
inline constexpr CtChoice kRdaDlgIDSuffixChoice{kRdaDlgIDSuffixAlts, offsetof(RDADlgIDSuffix, code)};
inline constexpr CtType kRdaDlgIDSuffix = ctChoiceType(kRdaDlgIDSuffixChoice, sizeof(RDADlgIDSuffix));

// DlgIDClientInvoc: SEQUENCE { [0] AP title, [1] AE qualifier, [2] INTEGER,
// [3] INTEGER }, [0] and [1] explicit.
struct RDADlgIDClientInvoc {
  UL_APTitle apTitle;
  UL_AEQual aeQual;
  int32_t apInvokeId;
  int32_t aeInvokeId;
};
inline constexpr CtField kRdaDlgIDClientInvocFields[] = {
    ctField(ctCtx(0), kUlApTitle, offsetof(RDADlgIDClientInvoc, apTitle)).explicitOver(CT_SELF),
    ctField(ctCtx(1), kUlAeQual, offsetof(RDADlgIDClientInvoc, aeQual)).explicitOver(CT_SELF),
    ctField(ctCtx(2), ctInt, offsetof(RDADlgIDClientInvoc, apInvokeId)),
    ctField(ctCtx(3), ctInt, offsetof(RDADlgIDClientInvoc, aeInvokeId)),
};
inline constexpr CtSeq kRdaDlgIDClientInvocSeq{kRdaDlgIDClientInvocFields};
inline constexpr CtType kRdaDlgIDClientInvoc = ctSeqType(kRdaDlgIDClientInvocSeq, sizeof(RDADlgIDClientInvoc));

// CntlledDlg: SEQUENCE { [0] DlgIDClientInvoc OPTIONAL, [1] DlgIDSuffix,
// [2] AuthData }, [1] and [2] explicit.
struct RDACntlledDlg {
  uint32_t mask;  // bit 0: [0]
  RDADlgIDClientInvoc clientInvoc;
  RDADlgIDSuffix suffix;
  RDAAuthData authData;
};
inline constexpr CtField kRdaCntlledDlgFields[] = {
    ctField(ctCtx(0), kRdaDlgIDClientInvoc, offsetof(RDACntlledDlg, clientInvoc)).optional(1u << 0),
    ctField(ctCtx(1), kRdaDlgIDSuffix, offsetof(RDACntlledDlg, suffix)).explicitOver(CT_SELF),
    ctField(ctCtx(2), kRdaAuthData, offsetof(RDACntlledDlg, authData)).explicitOver(CT_SELF),
};
inline constexpr CtSeq kRdaCntlledDlgSeq{kRdaCntlledDlgFields, offsetof(RDACntlledDlg, mask)};
inline constexpr CtType kRdaCntlledDlg = ctSeqType(kRdaCntlledDlgSeq, sizeof(RDACntlledDlg));

// ---------------------------------------------------------------------------
// Stack activation (local to the stack, never sent).

// ActData: SEQUENCE { [0] BOOLEAN }, a record of its own.
struct RDAActData {
  uint32_t flag;
};
inline constexpr CtField kRdaActDataFields[] = {
    ctField(ctCtx(0), ctBool, offsetof(RDAActData, flag)),
};
inline constexpr CtSeq kRdaActDataSeq{kRdaActDataFields};
inline constexpr CtType kRdaActData = ctSeqType(kRdaActDataSeq, sizeof(RDAActData));

// Activate_Req: SEQUENCE { [0] AE identifier, [1] ActData }: [0] explicit
// around the AE identifier's SEQUENCE, [1] in place of ActData's.
struct RDAActivate_Req {
  UL_AEId* aeId;
  RDAActData* actData;
};
inline constexpr CtField kRdaActivate_ReqFields[] = {
    ctField(ctCtx(0), kUlAeId, offsetof(RDAActivate_Req, aeId)).explicitOver(ctUniv(16)).indirect(),
    ctField(ctCtx(1), kRdaActData, offsetof(RDAActivate_Req, actData)).indirect(),
};
inline constexpr CtSeq kRdaActivate_ReqSeq{kRdaActivate_ReqFields};
inline constexpr CtType kRdaActivate_Req = ctSeqType(kRdaActivate_ReqSeq, sizeof(RDAActivate_Req));

// ---------------------------------------------------------------------------
// RI and RC members.

inline constexpr uint32_t RDA_OUTCOME_RESULT = 0x4000;
inline constexpr uint32_t RDA_OUTCOME_ERROR = 0x4001;

// RI: SEQUENCE { OpID, [0] request } (record {opId, req}).
template <class Rec, const CtType& Req>
struct RdaRequest {
  static constexpr CtField fields[] = {
      ctField(ctUniv(2), kRdaOpID, offsetof(Rec, opId)),
      ctField(ctCtx(0), Req, offsetof(Rec, req)),
  };
  static constexpr CtSeq seq{fields};
  static constexpr CtType type = ctSeqType(seq, sizeof(Rec));
};

// RI whose [0] is empty (record {opId}).
template <class Rec>
struct RdaEmptyRequest {
  static constexpr CtField fields[] = {
      ctField(ctUniv(2), kRdaOpID, offsetof(Rec, opId)),
      ctField(ctCtx(0), ctNull),
  };
  static constexpr CtSeq seq{fields};
  static constexpr CtType type = ctSeqType(seq, sizeof(Rec));
};

// RC: SEQUENCE { OpID, CHOICE { [0] result, [1] error } }, the error
// explicit around its [APPLICATION n] (record {opId, outcome, result/error}).
// A second element that is neither is error 7.
template <class Rec, const CtType& Result, const CtType& Err>
struct RdaResponse {
  static constexpr CtField alts[] = {
      ctField(ctCtx(0), Result, offsetof(Rec, result)),
      ctField(ctCtx(1), Err, offsetof(Rec, error)).explicitOver(CT_SELF),
  };
  static constexpr CtChoice outcome{alts, offsetof(Rec, outcome)};
  static constexpr CtType outcomeType = ctChoiceType(outcome, sizeof(Rec));
  static constexpr CtField fields[] = {
      ctField(ctUniv(2), kRdaOpID, offsetof(Rec, opId)),
      ctField(CT_SELF, outcomeType).missingIs(AAE_NOTINCHOICE),
  };
  static constexpr CtSeq seq{fields};
  static constexpr CtType type = ctSeqType(seq, sizeof(Rec));
};

// RC whose result [0] is empty (record {opId, outcome, error}).
template <class Rec, const CtType& Err>
struct RdaEmptyResponse {
  static constexpr CtField alts[] = {
      ctField(ctCtx(0), ctNull),
      ctField(ctCtx(1), Err, offsetof(Rec, error)).explicitOver(CT_SELF),
  };
  static constexpr CtChoice outcome{alts, offsetof(Rec, outcome)};
  static constexpr CtType outcomeType = ctChoiceType(outcome, sizeof(Rec));
  static constexpr CtField fields[] = {
      ctField(ctUniv(2), kRdaOpID, offsetof(Rec, opId)),
      ctField(CT_SELF, outcomeType).missingIs(AAE_NOTINCHOICE),
  };
  static constexpr CtSeq seq{fields};
  static constexpr CtType type = ctSeqType(seq, sizeof(Rec));
};

// ---------------------------------------------------------------------------
// Named functions of the shared types.

RDA_CODECS(OpID, int32_t, int32_t)
RDA_CODECS(CmdHndl, int32_t, int32_t)
RDA_CODECS(DataRsrcHndl, int32_t, int32_t)
RDA_CODECS(ListOfOpID, RDAList, RDAList)
RDA_CODECS(ListOfCmdHndl, RDAList, RDAList)
RDA_CODECS(ListOfDataRsrcHndl, RDAList, RDAList)
RDA_CODECS(InvSequence, RDAInvSequence, RDAInvSequence)
RDA_CODECS(ErrDiag, RDAErrDiag, RDAErrDiag)
RDA_CODECS(DataRsrcAlreadyOpen, RDADataRsrcAlreadyOpen, RDADataRsrcAlreadyOpen)
RDA_CODECS(AuthData, RDAAuthData, RDAAuthData)
RDA_CODECS(AccessCntlData, RDAAccessCntlData, RDAAccessCntlData)
RDA_CODECS(DlgIDSuffix, RDADlgIDSuffix, RDADlgIDSuffix)
RDA_CODECS(DlgIDClientInvoc, RDADlgIDClientInvoc, RDADlgIDClientInvoc)
RDA_CODECS(CntlledDlg, RDACntlledDlg, RDACntlledDlg)
RDA_CODECS(Activate_Req, RDAActivate_Req, RDAActivate_Req)
// ActData is a record of its own: the contents of the opened element.
RDAActData* aRDAActData();
int64_t fRDAActData(RDAActData* record);
RDAActData* aRDAXOPENActData();
int64_t fRDAXOPENActData(RDAActData* record);
RDA_CODECS(Init_Err, RDAErr, RDAErr)
RDA_CODECS(Term_Err, RDAErr, RDAErr)
RDA_CODECS(BgnTrans_Err, RDAErr, RDAErr)
RDA_CODECS(Commit_Err, RDAErr, RDAErr)
RDA_CODECS(Rollback_Err, RDAErr, RDAErr)
RDA_CODECS(Cancel_Err, RDAErr, RDAErr)
RDA_CODECS(Status_Err, RDAErr, RDAErr)
RDA_CODECS(Open_Err, RDAErr, RDAErr)
RDA_CODECS(Close_Err, RDAErr, RDAErr)
RDA_CODECS(ExecDBL_Err, RDAErr, RDAErr)
RDA_CODECS(DefineDBL_Err, RDAErr, RDAErr)
RDA_CODECS(InvokeDBL_Err, RDAErr, RDAErr)
RDA_CODECS(DropDBL_Err, RDAErr, RDAErr)
