// The error-number names of the RDA and application-layer families: each
// name at its number's offset, spellings as they stand.
#include <gtest/gtest.h>

#include <string>

#include "src/acse/al_errno.h"
#include "src/rda/rda_errno.h"

namespace {

TEST(OsiErrorNames, FamiliesHaveTheirSizesAndNamesAtTheirOffsets) {
  const struct {
    const char* const* table;
    size_t count;
    size_t expectedCount;
    uint32_t base;
    uint32_t number;
    const char* name;
  } cases[] = {
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52481, "RDA_ERR_NO_RESOURCE"},
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52482, "RDA_ERR_INVALID_EVENT_TYPE"},
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52484, "RDA_ERR_NO_REQED_PARAM"},
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52485, "RDA_ERR_INCOMPLETE_AETABLE"},
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52486, "RDA_ERR_NO_AETABLE_ENTRY"},
      {rdaErrorTab, kRdaErrorCount, 7, kRdaErrorBase, 52487, "RDA_ERR_INVALID_STATE_TBL"},
      {rdaSurErrorTab, kRdaSurErrorCount, 21, kRdaSurErrorBase, 0xCD38, "RDA_SUR_ERR_INITIALIZED_ALREADY"},
      {rdaSurErrorTab, kRdaSurErrorCount, 21, kRdaSurErrorBase, 0xCD45, "RDA_SUR_ERR_BAD_FUALLOW"},
      {rdaSurErrorTab, kRdaSurErrorCount, 21, kRdaSurErrorBase, 0xCD4C, "RDA_SUR_ERR_NO_RESOURCE"},
      {rdaAseErrorTab, kRdaAseErrorCount, 10, kRdaAseErrorBase, 0xCD69, "RDA_ASE_ERR_INVALID_PARAMETER"},
      {rdaSacfErrorTab, kRdaSacfErrorCount, 8, kRdaSacfErrorBase, 0xCD8D, "RDA_SACF_ERR_INVLAID_EVENT_TBL"},
      {rdaSacfErrorTab, kRdaSacfErrorCount, 8, kRdaSacfErrorBase, 0xCD8F, "RDA_SACF_ERR_CONFIG_VALUE"},
      {rdaAeErrorTab, kRdaAeErrorCount, 11, kRdaAeErrorBase, 0xCDB0, "RDA_AE_ERR_INITIALIZED_ALREADY"},
      {rdaAeErrorTab, kRdaAeErrorCount, 11, kRdaAeErrorBase, 0xCDBA, "RDA_AE_ERR_NO_RESOURCE"},
      {rdaSaoErrorTab, kRdaSaoErrorCount, 3, kRdaSaoErrorBase, 0xCDD8, "RDA_SAO_ERR_BAD_SAOCB"},
      {rdaSaoErrorTab, kRdaSaoErrorCount, 3, kRdaSaoErrorBase, 0xCDDA, "RDS_SAO_ERR_NO_RESOURCE"},
      {alErrorTab, kAlErrorCount, 14, kAlErrorBase, 0xCF00, "AL_ALERR"},
      {alErrorTab, kAlErrorCount, 14, kAlErrorBase, 0xCF07, "AL_ERR_NO_MEM"},
      {alErrorTab, kAlErrorCount, 14, kAlErrorBase, 0xCF0D, "AL_ERR_INV_RTE_SETTING"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.count, c.expectedCount) << c.name;
    ASSERT_LT(c.number - c.base, c.count) << c.name;
    EXPECT_STREQ(c.table[c.number - c.base], c.name);
  }
  // The constants carry the same numbers.
  EXPECT_EQ(RDA_ERR_NO_RESOURCE, 52481u);
  EXPECT_EQ(RDA_ERR_NO_REQED_PARAM, 52484u);
  EXPECT_EQ(RDA_ERR_NO_AETABLE_ENTRY, 52486u);
  EXPECT_EQ(RDA_SACF_ERR_INVLAID_EVENT_TBL, 0xCD8Du);
  EXPECT_EQ(RDS_SAO_ERR_NO_RESOURCE, 0xCDDAu);
  EXPECT_EQ(AL_ERR_BAD_PARAM, 52993u);
}

}  // namespace
