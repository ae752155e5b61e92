#include "src/rda/rda_errno.h"

const char* const rdaErrorTab[kRdaErrorCount] = {RDA_ERROR_LIST(OSI_ERRNO_NAME)};
const char* const rdaSurErrorTab[kRdaSurErrorCount] = {RDA_SUR_ERROR_LIST(OSI_ERRNO_NAME)};
const char* const rdaAseErrorTab[kRdaAseErrorCount] = {RDA_ASE_ERROR_LIST(OSI_ERRNO_NAME)};
const char* const rdaSacfErrorTab[kRdaSacfErrorCount] = {RDA_SACF_ERROR_LIST(OSI_ERRNO_NAME)};
const char* const rdaAeErrorTab[kRdaAeErrorCount] = {RDA_AE_ERROR_LIST(OSI_ERRNO_NAME)};
const char* const rdaSaoErrorTab[kRdaSaoErrorCount] = {RDA_SAO_ERROR_LIST(OSI_ERRNO_NAME)};

namespace {
constexpr uint32_t kRdaNumbers[] = {RDA_ERROR_LIST(OSI_ERRNO_NUMBER)};
constexpr uint32_t kSurNumbers[] = {RDA_SUR_ERROR_LIST(OSI_ERRNO_NUMBER)};
constexpr uint32_t kAseNumbers[] = {RDA_ASE_ERROR_LIST(OSI_ERRNO_NUMBER)};
constexpr uint32_t kSacfNumbers[] = {RDA_SACF_ERROR_LIST(OSI_ERRNO_NUMBER)};
constexpr uint32_t kAeNumbers[] = {RDA_AE_ERROR_LIST(OSI_ERRNO_NUMBER)};
constexpr uint32_t kSaoNumbers[] = {RDA_SAO_ERROR_LIST(OSI_ERRNO_NUMBER)};
static_assert(osiErrnoDense(kRdaNumbers, kRdaErrorBase));
static_assert(osiErrnoDense(kSurNumbers, kRdaSurErrorBase));
static_assert(osiErrnoDense(kAseNumbers, kRdaAseErrorBase));
static_assert(osiErrnoDense(kSacfNumbers, kRdaSacfErrorBase));
static_assert(osiErrnoDense(kAeNumbers, kRdaAeErrorBase));
static_assert(osiErrnoDense(kSaoNumbers, kRdaSaoErrorBase));
// Each family stays below the next one's base.
static_assert(kRdaErrorBase + kRdaErrorCount <= kRdaSurErrorBase);
static_assert(kRdaSurErrorBase + kRdaSurErrorCount <= kRdaAseErrorBase);
static_assert(kRdaAseErrorBase + kRdaAseErrorCount <= kRdaSacfErrorBase);
static_assert(kRdaSacfErrorBase + kRdaSacfErrorCount <= kRdaAeErrorBase);
static_assert(kRdaAeErrorBase + kRdaAeErrorCount <= kRdaSaoErrorBase);
}  // namespace
