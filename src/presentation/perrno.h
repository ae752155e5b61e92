// Error numbers of the presentation layer (osi_errno family 0xA0xx) and
// their names, from one list: each entry gives the number, and its name is
// both the constant and the text of presErrorTab. Two numbers have an empty
// name and no constant.
#pragma once

#include <cstdint>

#define PRES_ERROR_LIST(NAMED, UNNAMED) \
  NAMED(0xA000, P_ERR_MASK)             \
  NAMED(0xA001, PE_PSAP_USED)           \
  NAMED(0xA002, PE_PSAP_NOT)            \
  NAMED(0xA003, PE_PSAP_INV)            \
  NAMED(0xA004, PE_ASYN_USED)           \
  NAMED(0xA005, PE_ASYN_NOT)            \
  NAMED(0xA006, PE_ASYN_INV)            \
  NAMED(0xA007, PE_TSYN_USED)           \
  NAMED(0xA008, PE_TSYN_NOT)            \
  NAMED(0xA009, PE_TSYN_INV)            \
  NAMED(0xA00A, PE_MISS_RTN)            \
  NAMED(0xA00B, PE_NO_RESOURCES)        \
  NAMED(0xA00C, PE_SEQUENCE)            \
  NAMED(0xA00D, PE_PCTXID_INV)          \
  NAMED(0xA00E, PE_PCTXID_NOT)          \
  NAMED(0xA00F, PE_PCTXID_CONS)         \
  NAMED(0xA010, PE_MALLOC)              \
  NAMED(0xA011, PE_MISS_DE)             \
  NAMED(0xA012, PE_DFLT_NOT)            \
  NAMED(0xA013, PE_ENC_INV)             \
  NAMED(0xA014, PE_APREF_NOT)           \
  NAMED(0xA015, PE_SLISTEN)             \
  NAMED(0xA016, PE_NODATA)              \
  NAMED(0xA017, PE_EVENT_INV)           \
  NAMED(0xA018, PE_BALLOC)              \
  NAMED(0xA019, PE_SCONNECT)            \
  NAMED(0xA01A, PE_SESSION)             \
  NAMED(0xA01B, PE_STATE_INV)           \
  NAMED(0xA01C, PE_PROP_CTX)            \
  NAMED(0xA01D, PE_DFLT_CTX)            \
  NAMED(0xA01E, PE_FUNCTIONAL)          \
  NAMED(0xA01F, PE_SESS_VERS)           \
  NAMED(0xA020, PE_MAX_DELEM)           \
  UNNAMED(0xA021)                       \
  UNNAMED(0xA022)                       \
  NAMED(0xA023, PE_NO_RTN)              \
  NAMED(0xA024, PE_NM30)                \
  NAMED(0xA025, PE_DATA_MAX)            \
  NAMED(0xA026, PE_NO_ATTR)             \
  NAMED(0xA027, PE_NO_INST)             \
  NAMED(0xA028, PE_MISS_PARM)           \
  NAMED(0xA029, PE_USER_SESS_INV)       \
  NAMED(0xA02A, PE_PCEP_INVALID)        \
  NAMED(0xA02B, PE_PSAP_NOT_CLONEABLE)  \
  NAMED(0xA02C, PE_DATA_USER_MAX)       \
  NAMED(0xA02D, PE_PSELECTOR)           \
  NAMED(0xA02E, PE_SSELECTOR)           \
  NAMED(0xA02F, PE_TSELECTOR)           \
  NAMED(0xA030, PE_NADDRESS)            \
  NAMED(0xA031, PE_ONE_X410)            \
  NAMED(0xA032, PE_NOT_PRE_ENC)         \
  NAMED(0xA033, PE_NSERVICE)            \
  NAMED(0xA034, PE_TCLASS)              \
  NAMED(0xA035, PE_ONE_DEFAULT)         \
  NAMED(0xA036, PE_X410_TAG_INV)

#define PRES_ERROR_CONSTANT(number, name) inline constexpr uint32_t name = number;
#define PRES_ERROR_NO_CONSTANT(number)
PRES_ERROR_LIST(PRES_ERROR_CONSTANT, PRES_ERROR_NO_CONSTANT)
#undef PRES_ERROR_CONSTANT
#undef PRES_ERROR_NO_CONSTANT

inline constexpr uint32_t kPresErrorBase = 0xA000;
inline constexpr uint32_t kPresErrorCount = 55;

// Name of number kPresErrorBase + n at entry n.
extern const char* const presErrorTab[kPresErrorCount];
