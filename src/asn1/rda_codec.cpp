// Named parse and format functions of the RDA types both families share.
#include "src/asn1/rda_codec.h"

RDA_CODECS_DEF(OpID, int32_t, int32_t, kRdaOpID, kRdaOpID)
RDA_CODECS_DEF(CmdHndl, int32_t, int32_t, kRdaCmdHndl, kRdaCmdHndl)
RDA_CODECS_DEF(DataRsrcHndl, int32_t, int32_t, kRdaDataRsrcHndl, kRdaDataRsrcHndl)
RDA_CODECS_DEF(ListOfOpID, RDAList, RDAList, kRdaListOfOpID, kRdaListOfOpID)
RDA_CODECS_DEF(ListOfCmdHndl, RDAList, RDAList, kRdaListOfCmdHndl, kRdaListOfCmdHndl)
RDA_CODECS_DEF(ListOfDataRsrcHndl, RDAList, RDAList, kRdaListOfDataRsrcHndl, kRdaListOfDataRsrcHndl)
RDA_CODECS_DEF(InvSequence, RDAInvSequence, RDAInvSequence, kRdaInvSequence, kRdaInvSequence)
RDA_CODECS_DEF(ErrDiag, RDAErrDiag, RDAErrDiag, kRdaErrDiag, kRdaErrDiag)
RDA_CODECS_DEF(DataRsrcAlreadyOpen, RDADataRsrcAlreadyOpen, RDADataRsrcAlreadyOpen, kRdaDataRsrcAlreadyOpen,
               kRdaDataRsrcAlreadyOpen)
RDA_CODECS_DEF(AuthData, RDAAuthData, RDAAuthData, kRdaAuthData, kRdaAuthData)
RDA_CODECS_DEF(AccessCntlData, RDAAccessCntlData, RDAAccessCntlData, kRdaAccessCntlData, kRdaAccessCntlData)
RDA_CODECS_DEF(DlgIDSuffix, RDADlgIDSuffix, RDADlgIDSuffix, kRdaDlgIDSuffix, kRdaDlgIDSuffix)
RDA_CODECS_DEF(DlgIDClientInvoc, RDADlgIDClientInvoc, RDADlgIDClientInvoc, kRdaDlgIDClientInvoc,
               kRdaDlgIDClientInvoc)
RDA_CODECS_DEF(CntlledDlg, RDACntlledDlg, RDACntlledDlg, kRdaCntlledDlg, kRdaCntlledDlg)
RDA_CODECS_DEF(Activate_Req, RDAActivate_Req, RDAActivate_Req, kRdaActivate_Req, kRdaActivate_Req)

namespace {

RDAActData* parseActData(const char* src) {
  auto* act = static_cast<RDAActData*>(aamalloc(sizeof(RDAActData)));
  if (act == nullptr) aaRaise(AAE_NOMEM, src, __LINE__);
  ct_parseType(kRdaActData, act, src);
  return act;
}

}  // namespace

RDAActData* aRDAActData() { return parseActData(kRdaIsoSrc); }
int64_t fRDAActData(RDAActData* record) { return ct_formatType(kRdaActData, record, kRdaIsoSrc); }
RDAActData* aRDAXOPENActData() { return parseActData(kRdaXopenSrc); }
int64_t fRDAXOPENActData(RDAActData* record) { return ct_formatType(kRdaActData, record, kRdaXopenSrc); }

RDA_CODECS_DEF(Init_Err, RDAErr, RDAErr, kRdaInit_Err, kRdaInit_Err)
RDA_CODECS_DEF(Term_Err, RDAErr, RDAErr, kRdaTerm_Err, kRdaTerm_Err)
RDA_CODECS_DEF(BgnTrans_Err, RDAErr, RDAErr, kRdaBgnTrans_Err, kRdaBgnTrans_Err)
RDA_CODECS_DEF(Commit_Err, RDAErr, RDAErr, kRdaCommit_Err, kRdaCommit_Err)
RDA_CODECS_DEF(Rollback_Err, RDAErr, RDAErr, kRdaRollback_Err, kRdaRollback_Err)
RDA_CODECS_DEF(Cancel_Err, RDAErr, RDAErr, kRdaCancel_Err, kRdaCancel_Err)
RDA_CODECS_DEF(Status_Err, RDAErr, RDAErr, kRdaStatus_Err, kRdaStatus_Err)
RDA_CODECS_DEF(Open_Err, RDAErr, RDAErr, kRdaOpen_Err, kRdaOpen_Err)
RDA_CODECS_DEF(Close_Err, RDAErr, RDAErr, kRdaClose_Err, kRdaClose_Err)
RDA_CODECS_DEF(ExecDBL_Err, RDAErr, RDAErr, kRdaExecDBL_Err, kRdaExecDBL_Err)
RDA_CODECS_DEF(DefineDBL_Err, RDAErr, RDAErr, kRdaDefineDBL_Err, kRdaDefineDBL_Err)
RDA_CODECS_DEF(InvokeDBL_Err, RDAErr, RDAErr, kRdaInvokeDBL_Err, kRdaInvokeDBL_Err)
RDA_CODECS_DEF(DropDBL_Err, RDAErr, RDAErr, kRdaDropDBL_Err, kRdaDropDBL_Err)
