// Error numbers of the ACSE service element (osi_errno family 0xC060 ..)
// and their names in traces, in table order (the list form of
// src/acse/al_errno.h).
#pragma once

#include "src/acse/al_errno.h"

#define ACSE_ERROR_LIST(X)                        \
  X(AC_ASE_ERR_INITIALIZED_ALREADY, 0xC060)       \
  X(AC_ASE_ERR_NOT_INITIALIZED, 0xC061)           \
  X(AC_ASE_ERR_ACTIVE_USERS, 0xC062)              \
  X(AC_ASE_ERR_NO_RESOURCE, 0xC063)               \
  X(AC_ASE_ERR_NO_START, 0xC064)                  \
  X(AC_ASE_ERR_INVALID_CB, 0xC065)                \
  X(AC_ASE_ERR_INVALID_PARAMETERS, 0xC066)        \
  X(AC_ASE_ERR_INVALID_EVENT, 0xC067)             \
  X(AC_ASE_ERR_INVALID_EVENT_STATE, 0xC068)       \
  X(AC_ASE_ERR_INTERNAL_ERROR, 0xC069)            \
  X(AC_ASE_ERR_INVALID_STATE, 0xC06A)

ACSE_ERROR_LIST(OSI_ERRNO_CONSTANT)

inline constexpr uint32_t kAcseErrorBase = 0xC060;
inline constexpr size_t kAcseErrorCount = 0 ACSE_ERROR_LIST(OSI_ERRNO_COUNT);

// Names by offset from kAcseErrorBase.
extern const char* const acseErrorTab[kAcseErrorCount];
