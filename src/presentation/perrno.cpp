#include "src/presentation/perrno.h"

namespace {

struct NamedNumber {
  uint32_t number;
  const char* name;
};

#define PRES_ERROR_ENTRY(number, name) NamedNumber{number, #name},
#define PRES_ERROR_EMPTY(number) NamedNumber{number, ""},
constexpr NamedNumber kList[] = {PRES_ERROR_LIST(PRES_ERROR_ENTRY, PRES_ERROR_EMPTY)};
#undef PRES_ERROR_ENTRY
#undef PRES_ERROR_EMPTY

static_assert(sizeof kList / sizeof kList[0] == kPresErrorCount);

// Every number sits at its own offset, so the table is indexed by offset.
constexpr bool inOrder() {
  for (uint32_t i = 0; i < kPresErrorCount; ++i)
    if (kList[i].number != kPresErrorBase + i) return false;
  return true;
}
static_assert(inOrder());

}  // namespace

#define PRES_ERROR_TEXT(number, name) #name,
#define PRES_ERROR_EMPTY_TEXT(number) "",
const char* const presErrorTab[kPresErrorCount] = {PRES_ERROR_LIST(PRES_ERROR_TEXT, PRES_ERROR_EMPTY_TEXT)};
#undef PRES_ERROR_TEXT
#undef PRES_ERROR_EMPTY_TEXT
