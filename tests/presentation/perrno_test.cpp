#include <gtest/gtest.h>

#include <string>

#include "src/presentation/perrno.h"

namespace {

TEST(PresentationErrors, NumbersAndNamesComeFromOneList) {
  struct Case {
    uint32_t number;
    const char* name;
  };
  const Case cases[] = {
      {P_ERR_MASK, "P_ERR_MASK"},       {PE_PSAP_USED, "PE_PSAP_USED"}, {PE_TSYN_NOT, "PE_TSYN_NOT"},
      {PE_PCTXID_INV, "PE_PCTXID_INV"}, {PE_DFLT_NOT, "PE_DFLT_NOT"},   {PE_MAX_DELEM, "PE_MAX_DELEM"},
      {PE_NO_RTN, "PE_NO_RTN"},         {PE_NO_ATTR, "PE_NO_ATTR"},     {PE_MISS_PARM, "PE_MISS_PARM"},
      {PE_SSELECTOR, "PE_SSELECTOR"},   {PE_ONE_X410, "PE_ONE_X410"},   {PE_X410_TAG_INV, "PE_X410_TAG_INV"},
  };
  const uint32_t numbers[] = {40960, 40961, 40968, 40973, 40978, 40992, 40995, 40998, 41000, 41006, 41009, 41014};
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(cases[i].number, numbers[i]) << cases[i].name;
    EXPECT_EQ(std::string(presErrorTab[cases[i].number - kPresErrorBase]), cases[i].name);
  }
  // 0xA021 and 0xA022 have empty names.
  EXPECT_EQ(std::string(presErrorTab[0x21]), "");
  EXPECT_EQ(std::string(presErrorTab[0x22]), "");
  EXPECT_EQ(kPresErrorBase + kPresErrorCount - 1, PE_X410_TAG_INV);
}

}  // namespace
