// One RDA message in memory (RDAIdu for the ISO abstract syntax,
// RDAXOPENIdu for the X/Open one): the tag code of the top-level CHOICE
// alternative and the member record.
//
// aRDAIdu / aRDAXOPENIdu decode one message at the parse position into a new
// record of the decode tree; an identifier that is no alternative gives NULL
// without an error. fRDAIdu / fRDAXOPENIdu encode a record in front of what
// is already written and return the octets written; a tag code that is no
// alternative is error 31. They are the routines of the RDA rows of the
// abstract-syntax table and run inside a parse or format pass.
#pragma once

#include "src/asn1/rda_requests.h"

// Tag codes of the top-level alternatives: context [n] is 0x4000 + n.
inline constexpr uint32_t RDA_INIT_RI = 0x4000;
inline constexpr uint32_t RDA_INIT_RC = 0x4001;
inline constexpr uint32_t RDA_EMPTY = 0x4002;  // [2]: the identifier alone
inline constexpr uint32_t RDA_TERM_RI = 0x4003;
inline constexpr uint32_t RDA_TERM_RC = 0x4004;
inline constexpr uint32_t RDA_BGNTRANS_RI = 0x4005;
inline constexpr uint32_t RDA_BGNTRANS_RC = 0x4006;
inline constexpr uint32_t RDA_COMMIT_RI = 0x4007;
inline constexpr uint32_t RDA_COMMIT_RC = 0x4008;
inline constexpr uint32_t RDA_ROLLBACK_RI = 0x4009;
inline constexpr uint32_t RDA_ROLLBACK_RC = 0x400A;
inline constexpr uint32_t RDA_CANCEL_RI = 0x400B;
inline constexpr uint32_t RDA_CANCEL_RC = 0x400C;
inline constexpr uint32_t RDA_STATUS_RI = 0x400D;
inline constexpr uint32_t RDA_STATUS_RC = 0x400E;
inline constexpr uint32_t RDA_OPEN_RI = 0x400F;
inline constexpr uint32_t RDA_OPEN_RC = 0x4010;
inline constexpr uint32_t RDA_CLOSE_RI = 0x4011;
inline constexpr uint32_t RDA_CLOSE_RC = 0x4012;
inline constexpr uint32_t RDA_EXECDBL_RI = 0x4013;
inline constexpr uint32_t RDA_EXECDBL_RC = 0x4014;
inline constexpr uint32_t RDA_DEFINEDBL_RI = 0x4015;
inline constexpr uint32_t RDA_DEFINEDBL_RC = 0x4016;
inline constexpr uint32_t RDA_INVOKEDBL_RI = 0x4017;
inline constexpr uint32_t RDA_INVOKEDBL_RC = 0x4018;
inline constexpr uint32_t RDA_DROPDBL_RI = 0x4019;
inline constexpr uint32_t RDA_DROPDBL_RC = 0x401A;
inline constexpr uint32_t RDA_EMPTY_PRIVATE = 0x6037;  // PRIVATE 55: the identifier alone
inline constexpr uint32_t RDA_ACTIVATE_REQ = 0x6063;   // PRIVATE 99: local stack activation

struct RDAIdu {
  uint32_t tag;
  union {
    RDAInit_RI init_RI;
    RDAInit_RC init_RC;
    RDATerm_RI term_RI;
    RDATerm_RC term_RC;
    RDABgnTrans_RI bgnTrans_RI;
    RDABgnTrans_RC bgnTrans_RC;
    RDACommit_RI commit_RI;
    RDACommit_RC commit_RC;
    RDARollback_RI rollback_RI;
    RDARollback_RC rollback_RC;
    RDACancel_RI cancel_RI;
    RDACancel_RC cancel_RC;
    RDAStatus_RI status_RI;
    RDAStatus_RC status_RC;
    RDAOpen_RI open_RI;
    RDAOpen_RC open_RC;
    RDAClose_RI close_RI;
    RDAClose_RC close_RC;
    RDAExecDBL_RI execDBL_RI;
    RDAExecDBL_RC execDBL_RC;
    RDADefineDBL_RI defineDBL_RI;
    RDADefineDBL_RC defineDBL_RC;
    RDAInvokeDBL_RI invokeDBL_RI;
    RDAInvokeDBL_RC invokeDBL_RC;
    RDADropDBL_RI dropDBL_RI;
    RDADropDBL_RC dropDBL_RC;
    RDAActivate_Req activate;
  };
};

struct RDAXOPENIdu {
  uint32_t tag;
  union {
    RDAInit_RI init_RI;
    RDAInit_RC init_RC;
    RDATerm_RI term_RI;
    RDATerm_RC term_RC;
    RDABgnTrans_RI bgnTrans_RI;
    RDABgnTrans_RC bgnTrans_RC;
    RDACommit_RI commit_RI;
    RDAXOPENCommit_RC commit_RC;
    RDARollback_RI rollback_RI;
    RDARollback_RC rollback_RC;
    RDACancel_RI cancel_RI;
    RDACancel_RC cancel_RC;
    RDAStatus_RI status_RI;
    RDAStatus_RC status_RC;
    RDAOpen_RI open_RI;
    RDAOpen_RC open_RC;
    RDAClose_RI close_RI;
    RDAClose_RC close_RC;
    RDAExecDBL_RI execDBL_RI;
    RDAExecDBL_RC execDBL_RC;
    RDADefineDBL_RI defineDBL_RI;
    RDAXOPENDefineDBL_RC defineDBL_RC;
    RDAInvokeDBL_RI invokeDBL_RI;
    RDAInvokeDBL_RC invokeDBL_RC;
    RDADropDBL_RI dropDBL_RI;
    RDADropDBL_RC dropDBL_RC;
    RDAActivate_Req activate;
  };
};

// The top-level CHOICE of each family.
extern const CtType kRdaIdu;
extern const CtType kRdaXopenIdu;

// Routines of the abstract-syntax rows: the argument of the parse routine is
// not used; the format routine takes the record.
void* aRDAIdu(void* unused);
int64_t fRDAIdu(void* idu);
void* aRDAXOPENIdu(void* unused);
int64_t fRDAXOPENIdu(void* idu);
