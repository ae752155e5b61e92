#include "src/acse/al_errno.h"

const char* const alErrorTab[kAlErrorCount] = {AL_ERROR_LIST(OSI_ERRNO_NAME)};

namespace {
constexpr uint32_t kAlNumbers[] = {AL_ERROR_LIST(OSI_ERRNO_NUMBER)};
static_assert(osiErrnoDense(kAlNumbers, kAlErrorBase), "each name sits at its number's offset");
}  // namespace
