// Error numbers of the RDA service (0xCDxx) and their names in traces: the
// general family and those of the service user, the service element, the
// SACF, the application entity and the single-association object, each a
// list of (name, number) in table order (see src/acse/al_errno.h). The names
// stand as the tables give them, with their spellings.
#pragma once

#include "src/acse/al_errno.h"

// The stack reports a missing required parameter as 52484, an incomplete
// AE table entry as 52485 and a missing one as 52486, and the trace must
// name them so: those three sit at their numbers, and the state-table name,
// which nothing raises, takes the last place.
#define RDA_ERROR_LIST(X)                \
  X(RDA_ERR_NO_RESOURCE, 0xCD01)         \
  X(RDA_ERR_INVALID_EVENT_TYPE, 0xCD02)  \
  X(RDA_ERR_INVALID_EVENT_TBL, 0xCD03)   \
  X(RDA_ERR_NO_REQED_PARAM, 0xCD04)      \
  X(RDA_ERR_INCOMPLETE_AETABLE, 0xCD05)  \
  X(RDA_ERR_NO_AETABLE_ENTRY, 0xCD06)    \
  X(RDA_ERR_INVALID_STATE_TBL, 0xCD07)

#define RDA_SUR_ERROR_LIST(X)                    \
  X(RDA_SUR_ERR_INITIALIZED_ALREADY, 0xCD38)     \
  X(RDA_SUR_ERR_NOT_INITIALIZED, 0xCD39)         \
  X(RDA_SUR_ERR_ACTIVE_USERS, 0xCD3A)            \
  X(RDA_SUR_ERR_NO_SUCH_UCB, 0xCD3B)             \
  X(RDA_SUR_ERR_NO_SUCH_ACB, 0xCD3C)             \
  X(RDA_SUR_ERR_BAD_CONFIG_PARAM, 0xCD3D)        \
  X(RDA_SUR_ERR_ACTIVE_ASSN, 0xCD3E)             \
  X(RDA_SUR_ERR_INVALID_SEQ, 0xCD3F)             \
  X(RDA_SUR_ERR_DUP_RSP, 0xCD40)                 \
  X(RDA_SUR_ERR_INVALID_EVENT, 0xCD41)           \
  X(RDA_SUR_ERR_NO_SUCH_ACB_ELEM, 0xCD42)        \
  X(RDA_SUR_ERR_NO_SUCH_OP_ENT, 0xCD43)          \
  X(RDA_SUR_ERR_MISMATCH_OPID, 0xCD44)           \
  X(RDA_SUR_ERR_BAD_FUALLOW, 0xCD45)             \
  X(RDA_SUR_ERR_UNREQ_DATA_RSRC, 0xCD46)         \
  X(RDA_SUR_ERR_INTERNAL_ERROR, 0xCD47)          \
  X(RDA_SUR_ERR_UNREQ_CNTLDATA, 0xCD48)          \
  X(RDA_SUR_ERR_UNREQ_AUTHDATA, 0xCD49)          \
  X(RDA_SUR_ERR_MISSING_AUTHDATA, 0xCD4A)        \
  X(RDA_SUR_ERR_MISSING_CNTLDATA, 0xCD4B)        \
  X(RDA_SUR_ERR_NO_RESOURCE, 0xCD4C)

#define RDA_ASE_ERROR_LIST(X)                    \
  X(RDA_ASE_ERR_INITIALIZED_ALREADY, 0xCD60)     \
  X(RDA_ASE_ERR_NOT_INITIALIZED, 0xCD61)         \
  X(RDA_ASE_ERR_ACTIVE_USERS, 0xCD62)            \
  X(RDA_ASE_ERR_NO_SUCH_ASECB, 0xCD63)           \
  X(RDA_ASE_ERR_INTERNAL_ERROR, 0xCD64)          \
  X(RDA_ASE_ERR_MISSING_RDAIDU, 0xCD65)          \
  X(RDA_ASE_ERR_INVALID_SEQ, 0xCD66)             \
  X(RDA_ASE_ERR_BLANK_CELL, 0xCD67)              \
  X(RDA_ASE_ERR_NO_RESOURCE, 0xCD68)             \
  X(RDA_ASE_ERR_INVALID_PARAMETER, 0xCD69)

#define RDA_SACF_ERROR_LIST(X)                   \
  X(RDA_SACF_ERR_INITIALIZED_ALREADY, 0xCD88)    \
  X(RDA_SACF_ERR_NOT_INITIALIZED, 0xCD89)        \
  X(RDA_SACF_ERR_BAD_APDU, 0xCD8A)               \
  X(RDA_SACF_ERR_NO_RESOURCE, 0xCD8B)            \
  X(RDA_SACF_ERR_INVALID_EVENT_TYPE, 0xCD8C)     \
  X(RDA_SACF_ERR_INVLAID_EVENT_TBL, 0xCD8D)      \
  X(RDA_SACF_ERR_INVALID_STATE_TBL, 0xCD8E)      \
  X(RDA_SACF_ERR_CONFIG_VALUE, 0xCD8F)

#define RDA_AE_ERROR_LIST(X)                     \
  X(RDA_AE_ERR_INITIALIZED_ALREADY, 0xCDB0)      \
  X(RDA_AE_ERR_NOT_INITIALIZED, 0xCDB1)          \
  X(RDA_AE_ERR_AEI_ACTIVE, 0xCDB2)               \
  X(RDA_AE_ERR_BAD_SAOCB, 0xCDB3)                \
  X(RDA_AE_ERR_BAD_ACT_PARAM, 0xCDB4)            \
  X(RDA_AE_ERR_AE_ID_INUSE, 0xCDB5)              \
  X(RDA_AE_ERR_REG_FAILED, 0xCDB6)               \
  X(RDA_AE_ERR_ASX_FAILED, 0xCDB7)               \
  X(RDA_AE_ERR_ACTIVE_ASSOCS, 0xCDB8)            \
  X(RDA_AE_ERR_DEREG_FAILED, 0xCDB9)             \
  X(RDA_AE_ERR_NO_RESOURCE, 0xCDBA)

#define RDA_SAO_ERROR_LIST(X)                    \
  X(RDA_SAO_ERR_BAD_SAOCB, 0xCDD8)               \
  X(RDA_SAO_ERR_ASE_ESTAB_FAILED, 0xCDD9)        \
  X(RDS_SAO_ERR_NO_RESOURCE, 0xCDDA)

RDA_ERROR_LIST(OSI_ERRNO_CONSTANT)
RDA_SUR_ERROR_LIST(OSI_ERRNO_CONSTANT)
RDA_ASE_ERROR_LIST(OSI_ERRNO_CONSTANT)
RDA_SACF_ERROR_LIST(OSI_ERRNO_CONSTANT)
RDA_AE_ERROR_LIST(OSI_ERRNO_CONSTANT)
RDA_SAO_ERROR_LIST(OSI_ERRNO_CONSTANT)

inline constexpr uint32_t kRdaErrorBase = 0xCD01;
inline constexpr uint32_t kRdaSurErrorBase = 0xCD38;
inline constexpr uint32_t kRdaAseErrorBase = 0xCD60;
inline constexpr uint32_t kRdaSacfErrorBase = 0xCD88;
inline constexpr uint32_t kRdaAeErrorBase = 0xCDB0;
inline constexpr uint32_t kRdaSaoErrorBase = 0xCDD8;

inline constexpr size_t kRdaErrorCount = 0 RDA_ERROR_LIST(OSI_ERRNO_COUNT);
inline constexpr size_t kRdaSurErrorCount = 0 RDA_SUR_ERROR_LIST(OSI_ERRNO_COUNT);
inline constexpr size_t kRdaAseErrorCount = 0 RDA_ASE_ERROR_LIST(OSI_ERRNO_COUNT);
inline constexpr size_t kRdaSacfErrorCount = 0 RDA_SACF_ERROR_LIST(OSI_ERRNO_COUNT);
inline constexpr size_t kRdaAeErrorCount = 0 RDA_AE_ERROR_LIST(OSI_ERRNO_COUNT);
inline constexpr size_t kRdaSaoErrorCount = 0 RDA_SAO_ERROR_LIST(OSI_ERRNO_COUNT);

// Names by offset from each family's base.
extern const char* const rdaErrorTab[kRdaErrorCount];
extern const char* const rdaSurErrorTab[kRdaSurErrorCount];
extern const char* const rdaAseErrorTab[kRdaAseErrorCount];
extern const char* const rdaSacfErrorTab[kRdaSacfErrorCount];
extern const char* const rdaAeErrorTab[kRdaAeErrorCount];
extern const char* const rdaSaoErrorTab[kRdaSaoErrorCount];
