#include "src/rdaclient/rdacli_sqltype.h"

namespace {
constexpr uint32_t kTagBase = 0x4000;
}  // namespace

// CHARACTER [5] .. datetime [13], CHARACTER VARYING [15], BIT VARYING [17],
// the variant [18], wide CHARACTER [19] and wide VARYING [20].
const int16_t tagToSQLTBL[kRdaCliTypeTags] = {
    0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 0, 12, 0, -3, -12, -8, -9,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

int16_t RDA_cliCvrtTagToSQLType(uint32_t tag) {
  if (tag < kTagBase || tag - kTagBase >= kRdaCliTypeTags) return 0;
  return tagToSQLTBL[tag - kTagBase];
}
