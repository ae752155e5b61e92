// Error numbers of the application layer (0xCF00 ..) and their names in
// traces, in table order.
//
// Each family of OSI error numbers is one X-macro list of (name, number)
// in table order; the list gives the constants, the table size and, in the
// source, the name table. The helpers below serve every family.
#pragma once

#include <cstddef>
#include <cstdint>

#define OSI_ERRNO_CONSTANT(name, number) inline constexpr uint32_t name = number;
#define OSI_ERRNO_COUNT(name, number) +1
#define OSI_ERRNO_NAME(name, number) #name,
#define OSI_ERRNO_NUMBER(name, number) number,

// True when the i-th number of a list is base + i.
template <size_t N>
constexpr bool osiErrnoDense(const uint32_t (&numbers)[N], uint32_t base) {
  for (size_t i = 0; i < N; ++i)
    if (numbers[i] != base + i) return false;
  return true;
}

#define AL_ERROR_LIST(X)              \
  X(AL_ALERR, 0xCF00)                 \
  X(AL_ERR_BAD_PARAM, 0xCF01)         \
  X(AL_ERR_BAD_ACT_PARAM, 0xCF02)     \
  X(AL_ERR_BAD_ACT_PSAP, 0xCF03)      \
  X(AL_ERR_BAD_ACT_APTITLE, 0xCF04)   \
  X(AL_ERR_BAD_ACT_AEQUAL, 0xCF05)    \
  X(AL_ERR_BAD_ACT_AEID, 0xCF06)      \
  X(AL_ERR_NO_MEM, 0xCF07)            \
  X(AL_ERR_BAD_AEIC, 0xCF08)          \
  X(AL_ERR_ACTIVE_ASSOCS, 0xCF09)     \
  X(AL_ERR_BAD_SAOCB, 0xCF0A)         \
  X(AL_ERR_INVALID_APDU, 0xCF0B)      \
  X(AL_ERR_BAD_PPDU, 0xCF0C)          \
  X(AL_ERR_INV_RTE_SETTING, 0xCF0D)

AL_ERROR_LIST(OSI_ERRNO_CONSTANT)

inline constexpr uint32_t kAlErrorBase = 0xCF00;
inline constexpr size_t kAlErrorCount = 0 AL_ERROR_LIST(OSI_ERRNO_COUNT);

// Names by offset from kAlErrorBase.
extern const char* const alErrorTab[kAlErrorCount];

// The numbers the application layer raises, by what they mean. The name
// table above goes by position from kAlErrorBase and does not describe them
// (numbers from 0xCF0E on have no name there at all).
// AL_ERR_BAD_PARAM (52993) stands for missing user data, no candidate
// invocation, and copy or memory failures of the association blocks.
inline constexpr uint32_t AL_ASSOC_ACCEPTABLE = AL_ALERR;   // an association request passed its checks (a result)
inline constexpr uint32_t AL_ERR_UNKNOWN_CONTEXT = 52994;   // application context not in the table
inline constexpr uint32_t AL_ERR_CALLING_APTITLE = 52995;   // missing or not an object identifier
inline constexpr uint32_t AL_ERR_CALLING_AEQUAL = 52997;    // missing or not an integer
inline constexpr uint32_t AL_ERR_CALLED_APTITLE = 52999;    // not an object identifier, or matches no invocation
inline constexpr uint32_t AL_ERR_CALLED_APINVOKE = 53000;   // without AP title, or matches no invocation
inline constexpr uint32_t AL_ERR_CALLED_AEQUAL = 53001;     // not an integer, or matches no invocation
inline constexpr uint32_t AL_ERR_CALLED_AEINVOKE = 53002;   // matches no invocation
inline constexpr uint32_t AL_ERR_ACT_PSAP = 53005;          // activation: address, P-selector or network address missing
inline constexpr uint32_t AL_ERR_ACT_APTITLE = 53006;       // activation: AP title missing or not an object identifier
inline constexpr uint32_t AL_ERR_ACT_AEQUAL = 53007;        // activation: AE qualifier missing or not an integer
inline constexpr uint32_t AL_ERR_ACT_AEINVOKE = 53008;      // activation: no AE invocation id
inline constexpr uint32_t AL_ERR_NO_MEMORY = 53009;
inline constexpr uint32_t AL_ERR_NO_PRES_PARAMS = 53013;   // an ACSE record without its presentation parameters
inline constexpr uint32_t AL_ERR_BAD_PPDU_DATA = 53014;    // a received PPDU unreadable, or without the ACSE APDU it needs
inline constexpr uint32_t AL_ERR_ROUTE_HOW = 53016;         // unknown way of setting the SACF route
