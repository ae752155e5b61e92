// Named parse and format functions of the request and result members.
#include "src/asn1/rda_requests.h"

namespace {

// A type that reads its own universal SEQUENCE identifier.
template <const CtType& T>
inline constexpr CtField kWhole = ctField(ctUniv(16), T, 0);

}  // namespace

RDA_CODECS_DEF(SQLInitArg, RDASQLInitArg, RDASQLInitArg, kRdaSQLInitArg, kRdaSQLInitArg)
RDA_CODECS_DEF(Init_Req, RDAInit_Req, RDAInit_Req, kRdaInit_Req, kRdaInit_Req)
RDA_CODECS_DEF(SQLInitResult, RDASQLInitResult, RDASQLInitResult, kRdaSQLInitResult, kRdaSQLInitResult)
RDA_CODECS_DEF(Init_Result, RDAInit_Result, RDAInit_Result, kRdaInit_Result, kRdaInit_Result)
RDA_CODECS_DEF(Init_RI, RDAInit_RI, RDAInit_RI, kRdaInit_RI, kRdaInit_RI)
RDA_CODECS_DEF(Init_RC, RDAInit_RC, RDAInit_RC, kRdaInit_RC, kRdaInit_RC)
RDA_CODECS_DEF(Cancel_Req, RDACancel_Req, RDACancel_Req, kRdaCancel_Req, kRdaCancel_Req)
RDA_CODECS_DEF(Cancel_RI, RDACancel_RI, RDACancel_RI, kRdaCancel_RI, kRdaCancel_RI)
RDA_CODECS_DEF(Cancel_RC, RDACancel_RC, RDACancel_RC, kRdaCancel_RC, kRdaCancel_RC)
RDA_CODECS_DEF(Status_Req, RDAStatus_Req, RDAStatus_Req, kRdaStatus_Req, kRdaStatus_Req)
RDA_CODECS_DEF(ListOfStatusInfo, RDAList, RDAList, kRdaListOfStatusInfo, kRdaListOfStatusInfo)
RDA_CODECS_DEF(Status_Result, RDAStatus_Result, RDAStatus_Result, kRdaStatus_Result, kRdaStatus_Result)
RDA_CODECS_DEF(Status_RI, RDAStatus_RI, RDAStatus_RI, kRdaStatus_RI, kRdaStatus_RI)
RDA_CODECS_DEF(Status_RC, RDAStatus_RC, RDAStatus_RC, kRdaStatus_RC, kRdaStatus_RC)
RDA_CODECS_DEF(SQLOpenArg, RDASQLOpenArg, RDASQLOpenArg, kRdaSQLOpenArg, kRdaSQLOpenArg)
RDA_CODECS_DEF(Open_Req, RDAOpen_Req, RDAOpen_Req, kRdaOpen_Req, kRdaOpen_Req)
RDA_CODECS_DEF(SQLOpenResult, RDASQLOpenResult, RDASQLOpenResult, kRdaSQLOpenResult, kRdaSQLOpenResult)
RDA_CODECS_DEF(Open_Result, RDAOpen_Result, RDAOpen_Result, kRdaOpen_Result, kRdaOpen_Result)
RDA_CODECS_DEF(Open_RI, RDAOpen_RI, RDAOpen_RI, kRdaOpen_RI, kRdaOpen_RI)
RDA_CODECS_DEF(Open_RC, RDAOpen_RC, RDAOpen_RC, kRdaOpen_RC, kRdaOpen_RC)
RDA_CODECS_DEF(Close_Req, RDAClose_Req, RDAClose_Req, kRdaClose_Req, kRdaClose_Req)
RDA_CODECS_DEF(ListOfCloseExcp, RDAList, RDAList, kRdaListOfCloseExcp, kRdaListOfCloseExcp)
RDA_CODECS_DEF(Close_Result, RDAClose_Result, RDAClose_Result, kRdaClose_Result, kRdaClose_Result)
RDA_CODECS_DEF(Close_RI, RDAClose_RI, RDAClose_RI, kRdaClose_RI, kRdaClose_RI)
RDA_CODECS_DEF(Close_RC, RDAClose_RC, RDAClose_RC, kRdaClose_RC, kRdaClose_RC)
RDA_CODECS_DEF(ExecDBL_Req, RDAExecDBL_Req, RDAExecDBL_Req, kRdaExecDBL_Req, kRdaXopenExecDBL_Req)
RDA_CODECS_DEF(ExecDBL_Result, RDAExecDBL_Result, RDAExecDBL_Result, kRdaExecDBL_Result, kRdaXopenExecDBL_Result)
RDA_CODECS_DEF(ExecDBL_RI, RDAExecDBL_RI, RDAExecDBL_RI, kRdaExecDBL_RI, kRdaXopenExecDBL_RI)
RDA_CODECS_DEF(ExecDBL_RC, RDAExecDBL_RC, RDAExecDBL_RC, kRdaExecDBL_RC, kRdaXopenExecDBL_RC)
RDA_CODECS_DEF(DefineDBL_Req, RDADefineDBL_Req, RDADefineDBL_Req, kRdaDefineDBL_Req, kRdaXopenDefineDBL_Req)
RDA_CODECS_DEF(DefineDBL_Result, RDADefineDBL_Result, RDAXOPENDefineDBL_Result, kRdaDefineDBL_Result,
               kRdaXopenDefineDBL_Result)
RDA_CODECS_DEF(DefineDBL_RI, RDADefineDBL_RI, RDADefineDBL_RI, kRdaDefineDBL_RI, kRdaXopenDefineDBL_RI)
RDA_CODECS_DEF(DefineDBL_RC, RDADefineDBL_RC, RDAXOPENDefineDBL_RC, kRdaDefineDBL_RC, kRdaXopenDefineDBL_RC)
RDA_CODECS_DEF(InvokeDBL_Req, RDAInvokeDBL_Req, RDAInvokeDBL_Req, kRdaInvokeDBL_Req, kRdaXopenInvokeDBL_Req)
RDA_CODECS_DEF(InvokeDBL_Result, RDAInvokeDBL_Result, RDAInvokeDBL_Result, kRdaInvokeDBL_Result,
               kRdaXopenInvokeDBL_Result)
RDA_CODECS_DEF(InvokeDBL_RI, RDAInvokeDBL_RI, RDAInvokeDBL_RI, kRdaInvokeDBL_RI, kRdaXopenInvokeDBL_RI)
RDA_CODECS_DEF(InvokeDBL_RC, RDAInvokeDBL_RC, RDAInvokeDBL_RC, kRdaInvokeDBL_RC, kRdaXopenInvokeDBL_RC)
RDA_CODECS_DEF(DropDBL_Req, RDADropDBL_Req, RDADropDBL_Req, kRdaDropDBL_Req, kRdaDropDBL_Req)
RDA_CODECS_DEF(ListOfDropDBLExcp, RDAList, RDAList, kRdaListOfDropDBLExcp, kRdaListOfDropDBLExcp)
RDA_CODECS_DEF(DropDBL_Result, RDADropDBL_Result, RDADropDBL_Result, kRdaDropDBL_Result, kRdaDropDBL_Result)
RDA_CODECS_DEF(DropDBL_RI, RDADropDBL_RI, RDADropDBL_RI, kRdaDropDBL_RI, kRdaDropDBL_RI)
RDA_CODECS_DEF(DropDBL_RC, RDADropDBL_RC, RDADropDBL_RC, kRdaDropDBL_RC, kRdaDropDBL_RC)

#define RDA_WHOLE_DEF(T, Rec, type)                                                                      \
  uint32_t aRDA##T(Rec* record) { return ct_parseField(kWhole<type>, record, kRdaIsoSrc); }            \
  int64_t fRDA##T(Rec* record) { return ct_formatField(kWhole<type>, record, kRdaIsoSrc); }            \
  uint32_t aRDAXOPEN##T(Rec* record) { return ct_parseField(kWhole<type>, record, kRdaXopenSrc); }     \
  int64_t fRDAXOPEN##T(Rec* record) { return ct_formatField(kWhole<type>, record, kRdaXopenSrc); }

RDA_WHOLE_DEF(StatusInfo, RDAStatusInfo, kRdaStatusInfo)
RDA_WHOLE_DEF(CloseExcp, RDACloseExcp, kRdaCloseExcp)
RDA_WHOLE_DEF(DropDBLExcp, RDADropDBLExcp, kRdaDropDBLExcp)
