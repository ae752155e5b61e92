// Names of OSI error numbers across the families of every layer, and the
// form of the numbers that have none.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "src/rda/rda_perror.h"

namespace {

TEST(RdaPrintError, NamesAndUnknownNumbers) {
  struct Case {
    uint32_t number;
    const char* name;
  };
  const Case cases[] = {
      // BER runtime: 1-33, number 0 wraps.
      {1, "OVFLO"}, {33, "UNKNOWN_ANY"}, {34, "XX_0x21"}, {0, "XX_0xffffffff"},
      // Session layer.
      {0x8000, "S_NO_ERROR"}, {0x8001, "S_EVENT_IGNORED"}, {0x8016, "S_NO_RESOURCES"}, {0x8017, "XX_0x17"},
      // Presentation layer, with its two empty names.
      {0xA000, "P_ERR_MASK"}, {0xA008, "PE_TSYN_NOT"}, {0xA021, ""}, {0xA022, ""},
      {0xA036, "PE_X410_TAG_INV"}, {0xA037, "XX_0x37"},
      // ACSE: numbers below its base wrap.
      {0xC060, "AC_ASE_ERR_INITIALIZED_ALREADY"}, {0xC067, "AC_ASE_ERR_INVALID_EVENT"},
      {0xC06A, "AC_ASE_ERR_INVALID_STATE"}, {0xC06B, "XX_0xb"}, {0xC000, "XX_0xffffffa0"},
      // RDA: the sub-ranges from the top, each ending at its table.
      {52481, "RDA_ERR_NO_RESOURCE"}, {52484, "RDA_ERR_NO_REQED_PARAM"}, {52486, "RDA_ERR_NO_AETABLE_ENTRY"},
      {0xCD08, "XX_0x7"}, {0xCD37, "XX_0x36"}, {0xCD00, "XX_0xffffffff"},
      {0xCD38, "RDA_SUR_ERR_INITIALIZED_ALREADY"}, {0xCD4C, "RDA_SUR_ERR_NO_RESOURCE"}, {0xCD4D, "XX_0x15"},
      {0xCD69, "RDA_ASE_ERR_INVALID_PARAMETER"}, {0xCD6A, "XX_0xa"},
      {0xCD8D, "RDA_SACF_ERR_INVLAID_EVENT_TBL"}, {0xCD90, "XX_0x8"},
      {0xCDB0, "RDA_AE_ERR_INITIALIZED_ALREADY"}, {0xCDBA, "RDA_AE_ERR_NO_RESOURCE"},
      {0xCDDA, "RDS_SAO_ERR_NO_RESOURCE"}, {0xCDFF, "XX_0x27"},
      // Application layer.
      {0xCF00, "AL_ALERR"}, {0xCF0D, "AL_ERR_INV_RTE_SETTING"}, {0xCF0E, "XX_0xe"},
      // Any other high byte: the whole number.
      {0xD000, "XX_0xd000"}, {0x10000, "XX_0x10000"}, {0xFFFFFFFF, "XX_0xffffffff"}, {0x4000, "XX_0x4000"},
  };
  for (const Case& c : cases) {
    char buffer[kRdaErrorNameSize];
    std::memset(buffer, '#', sizeof buffer);
    const char* name = rda_printError(c.number, buffer);
    EXPECT_STREQ(name, c.name) << std::hex << c.number;
    const bool unknown = std::strncmp(c.name, "XX_", 3) == 0;
    EXPECT_EQ(name == buffer, unknown) << std::hex << c.number << ": the buffer only for an unknown number";
    if (!unknown) {
      EXPECT_EQ(buffer[0], '#') << std::hex << c.number;
    }
  }
  EXPECT_STREQ(rda_printError(0xD000, nullptr), "?");
  EXPECT_STREQ(rda_printError(1, nullptr), "OVFLO");
}

TEST(RdaPrintError, AnyThreadMayCallIt) {
  std::thread other([] {
    char buffer[kRdaErrorNameSize];
    EXPECT_STREQ(rda_printError(52481, buffer), "RDA_ERR_NO_RESOURCE");
  });
  other.join();
}

}  // namespace
