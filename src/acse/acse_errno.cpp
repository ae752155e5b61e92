#include "src/acse/acse_errno.h"

const char* const acseErrorTab[kAcseErrorCount] = {ACSE_ERROR_LIST(OSI_ERRNO_NAME)};

namespace {
constexpr uint32_t kAcseNumbers[] = {ACSE_ERROR_LIST(OSI_ERRNO_NUMBER)};
static_assert(osiErrnoDense(kAcseNumbers, kAcseErrorBase), "each name sits at its number's offset");
}  // namespace
