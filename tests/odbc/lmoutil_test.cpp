#include "src/odbc/lmoutil.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(TypeChecks, ParameterCTypes) {
  const int16_t accepted[] = {1, 4, 5, 7, 8, 9, 10, 11, 99, -2, -6, -7, -8, -15, -16, -17, -18};
  for (int16_t t : accepted) EXPECT_EQ(CheckBufType(t), 0) << t;
  const int16_t refused[] = {-25, -27, 0, 2, 3, 6, 12, 91, 92, 93, -1, -3, -9, -11};
  for (int16_t t : refused) EXPECT_EQ(CheckBufType(t), 1) << t;
}

TEST(TypeChecks, ParameterSqlTypes) {
  const int16_t accepted[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1, -2, -3, -4, -6, -7, -8, -9, -10};
  for (int16_t t : accepted) EXPECT_EQ(CheckSQLType(t), 0) << t;
  const int16_t refused[] = {0, 13, 91, 92, 93, -5, -11, -25, 99};
  for (int16_t t : refused) EXPECT_EQ(CheckSQLType(t), 1) << t;
}

TEST(ValueLength, ByCType) {
  const char text[] = "hello";
  const wchar_t wide[] = L"ab";
  const int32_t number = 0;
  struct Case {
    int16_t cType;
    const void* value;
    int64_t length;
    int64_t expected;
  };
  const Case cases[] = {
      {-8, wide, -3, 8},     {-8, wide, 6, 6},       {1, text, -3, 5},    {1, text, 3, 3},
      {-2, text, 4, 4},      {4, &number, 0, 4},     {-18, &number, 0, 4}, {7, &number, 0, 4},
      {5, &number, 0, 2},    {-17, &number, 0, 2},   {-7, &number, 0, 1}, {-6, &number, 0, 1},
      {8, &number, 0, 8},    {9, &number, 0, 0},     {11, &number, 0, 0}, {-25, &number, 0, 0},
      {4, nullptr, 0, 0},    {4, &number, -1, 0},    {2, &number, 7, 0},
  };
  for (const Case& c : cases) {
    int64_t out = -99;
    GetDataLength(c.cType, c.value, c.length, &out);
    EXPECT_EQ(out, c.expected) << c.cType << " " << c.length;
  }
  GetDataLength(4, &number, 0, nullptr);  // no output: nothing happens
}

TEST(Rings, QDeleteFreesEveryRecord) {
  LmoLink head{};
  EXPECT_TRUE(lmoRingEmpty(&head));
  for (int i = 0; i < 3; ++i) {
    void* handle = nullptr;
    auto* r = static_cast<LmoMemRecord*>(GAllocMem(&handle, sizeof(LmoMemRecord) + 16));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(handle, r);
    r->memHandle = handle;
    lmoRingAppend(&head, &r->link);
  }
  EXPECT_FALSE(lmoRingEmpty(&head));
  QDelete(&head, kQDeletePlain);  // the sanitizer build sees a leak otherwise
  EXPECT_TRUE(lmoRingEmpty(&head));
  EXPECT_EQ(lmoRingPopFirst(&head), nullptr);
  QvFreeMem(nullptr);
}

}  // namespace
