// The error tables of the RDA service and the readers of received values.
#include <gtest/gtest.h>

#include <set>

#include "src/rda/rda_erridu.h"

namespace {

enum Svc : uint32_t { Init, Term, BgnTr, Commit, Rollb, Cancel, Status, Open, Close, Exec, Define, Invoke, Drop };

std::set<uint32_t> allBut(std::set<uint32_t> out) {
  std::set<uint32_t> s;
  for (uint32_t k = 0; k < RDA_SERVICES; ++k)
    if (out.count(k) == 0) s.insert(k);
  return s;
}

struct Row {
  uint32_t number;
  uint32_t value;  // 0: none
  std::set<uint32_t> services;
};

// The error lists of the services, number by number.
const Row kGeneric[] = {
    {0, 0, {}},
    {1, 8192, {Init}},
    {2, 8193, {Exec, Invoke}},
    {3, 8194, {Invoke}},
    {4, 8195, {Cancel, Status}},
    {5, 8196, {Cancel, Status}},
    {6, 8198, {Exec, Define}},
    {7, 8199, {Exec, Define}},
    {8, 8200, {Open}},
    {9, 8201, {Open}},
    {10, 8197, {Open}},
    {11, 8202, {Open}},
    {12, 8203, {Cancel, Status}},
    {13, 8204, {Define}},
    {14, 8205, {Open}},
    {15, 8206, {Init}},
    {16, 8207, allBut({Init})},
    {17, 8208, allBut({})},
    {18, 8209, {Exec, Define}},
    {19, 8210, allBut({Commit, Rollb})},
    {20, 8211, {Open, Close, Exec, Define, Invoke, Drop}},
    {21, 0, {}},
    {22, 8212, allBut({Init, Commit, Rollb})},
    {23, 8213, {Exec, Invoke}},
    {24, 8214, {Init}},
};
const Row kSql[] = {
    {100, 8219, {Open}},
    {101, 8221, {Exec, Invoke}},
    {102, 8222, {Exec, Invoke}},
    {103, 8224, {Exec, Define}},
    {104, 8220, {Open}},
    {105, 8215, {Exec, Define}},
    {106, 8216, {Open}},
    {107, 8223, {Exec, Define}},
    {108, 8217, {Exec, Invoke}},
    {109, 8218, {Open, Close}},
    {110, 8225, {Exec, Define, Invoke}},
};

TEST(RdaErrTab, GenericStateTableHoldsEachValueWhereItsServiceListsIt) {
  static_assert(std::size(kGeneric) == RDA_GEN_ERR_ROWS);
  for (const Row& r : kGeneric) {
    for (uint32_t k = 0; k < RDA_SERVICES; ++k) {
      EXPECT_EQ(rda_genErrStateTbl[r.number][k], r.services.count(k) != 0 ? r.value : 0u)
          << "number " << r.number << ", service " << k;
    }
  }
}

TEST(RdaErrTab, SqlStateTableHoldsEachValueWhereItsServiceListsIt) {
  static_assert(std::size(kSql) == RDA_SQL_ERR_ROWS);
  for (const Row& r : kSql) {
    for (uint32_t k = 0; k < RDA_SERVICES; ++k) {
      EXPECT_EQ(rda_sqlErrStateTbl[r.number - RDA_SQL_ERR_FIRST][k], r.services.count(k) != 0 ? r.value : 0u)
          << "number " << r.number << ", service " << k;
    }
  }
}

TEST(RdaErrTab, ReadersAreTheInverseOfTheStateTables) {
  for (const Row& r : kGeneric) {
    if (r.value == 0) continue;
    EXPECT_EQ(rda_genErrOfValue(r.value), r.number) << r.value;
    EXPECT_EQ(rda_sqlErrOfValue(r.value), r.number) << r.value;
  }
  for (const Row& r : kSql) {
    EXPECT_EQ(rda_sqlErrOfValue(r.value), r.number) << r.value;
    EXPECT_EQ(rda_genErrOfValue(r.value), 0u) << r.value;
  }
  for (uint32_t v : {0u, 8191u, 8226u, 0xFFFFFFFFu}) {
    EXPECT_EQ(rda_genErrOfValue(v), 0u) << v;
    EXPECT_EQ(rda_sqlErrOfValue(v), RDA_GENERR_OP_ABORTED) << "an error is never read as none: " << v;
  }
}

TEST(RdaErrTab, ServiceOfAnErrorEventCode) {
  for (uint32_t k = 0; k < RDA_SERVICES; ++k) {
    EXPECT_EQ(rda_errEventService(0x81A2 + 16 * k), k);
    EXPECT_EQ(rda_errEventService(0x81A6 + 16 * k), k);
    EXPECT_EQ(rda_errEventService(0x481A6 + 16 * k), k) << "flags above the low 15 bits";
    EXPECT_EQ(rda_errEventService(0x81AA + 16 * k), RDA_NO_SERVICE);
    EXPECT_EQ(rda_errEventService(0x8000 + 16 * k), RDA_NO_SERVICE);
    EXPECT_EQ(rda_errEventService(0x80D2 + 16 * k), RDA_NO_SERVICE);
  }
  EXPECT_EQ(rda_errEventService(0x8272), RDA_NO_SERVICE);
  EXPECT_EQ(rda_errEventService(0xFFFF), RDA_NO_SERVICE);
}

}  // namespace
