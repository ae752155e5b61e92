// The client and server state tables as the checks see them: every event
// code of each role is run through the check in every state with a table
// of recording actions, and the action and next state the check chose are
// compared with the cells written out below. Error responses carry their
// error value in the record of their own service, in either family.
#include <array>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "rda/rda_fixture.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_stateck.h"

namespace {

struct Ran {
  int index = -1;
  uint32_t next = 0;
};
Ran gRan;

template <size_t I>
int32_t record(stateCkCB*, GIDU*, uint32_t next) {
  gRan = {static_cast<int>(I), next};
  return 0;
}
template <size_t... I>
constexpr std::array<RdaStateAction, kRdaActionCount> recorders(std::index_sequence<I...>) {
  return {record<I>...};
}
constexpr auto kRecorders = recorders(std::make_index_sequence<kRdaActionCount>());

constexpr uint32_t kRollback = 1u << 31;  // in Row::value: the rollback-only flag is set

// One event of a role: a code that yields it, the error value its IDU
// carries (0 none) or kRollback, and its cells by state: "." refused,
// "a>S" action a and next state S, "a=" action a, state unchanged, "a>n"
// a next state by number.
struct Row {
  uint32_t event;
  RdaEventCode code;
  uint32_t value;
  const char* cells;
};

class StateTbl : public RdaGiduTest {
 protected:
  GIDU* gidu(RdaEventCode code, uint32_t value) { return rdaElementGidu(tmpl_, code, value); }

  // Runs every row through `check` in every state of the role.
  void verify(const std::vector<Row>& rows, const RdaEventTbl* events, int32_t (*check)(stateCkCB*, GIDU*),
              uint32_t (*eventNo)(GIDU*, stateCkCB*), const char* (*name)(uint32_t), uint32_t states) {
    for (RdaFamily family : {RdaFamily::Iso, RdaFamily::Xopen}) {
      stateCkCB* cb = RDA_initStateCk(events, kRecorders.data(), RDA_IDU_IN_AEHDR);
      ASSERT_NE(cb, nullptr);
      cb->family = family;
      for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "code " << std::hex << r.code << " family " << static_cast<int>(family));
        std::istringstream cells(r.cells);
        for (uint32_t s = 0; s < states; ++s) {
          std::string want;
          cells >> want;
          GIDU* g = gidu(r.code, r.value & ~kRollback);
          ASSERT_NE(g, nullptr);
          cb->state = s;
          cb->rollbackOnly = (r.value & kRollback) != 0 ? 1 : 0;
          EXPECT_EQ(eventNo(g, cb), r.event);
          gRan = {};
          EXPECT_EQ(check(cb, g), 0);
          EXPECT_EQ(cellText(gRan, name), want) << "in " << name(s);
          EXPECT_EQ(cb->state, s) << "the recording actions store nothing";
          al_deleteGidu(g);
        }
      }
      RDA_termStateCk(cb);
    }
  }

  static std::string cellText(const Ran& ran, const char* (*name)(uint32_t)) {
    if (ran.index == 0 && ran.next == kRdaStateRefused) return ".";
    std::string t = std::to_string(ran.index);
    if (ran.next == kRdaStateUnchanged) return t + "=";
    std::string n = name(ran.next);
    if (n == "INVALID") n = std::to_string(ran.next);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return t + ">" + n;
  }
};

constexpr uint32_t k8208 = RDA_ERR_INV_SEQUENCE;
constexpr uint32_t k8213 = RDA_ERR_BASE + 21;
constexpr uint32_t kOther = RDA_ERR_BASE + 18;  // any error value but those two

TEST_F(StateTbl, ClientCellsOfEveryEvent) {
  //                    C_I   CB    CA    CT    CN    CC    CR    CE
  const std::vector<Row> rows = {
      {0, 0x8000, 0, "     2>CB  .     .     .     .     .     .     .    "},
      {1, 0x80DA, 0, "     .     3>CA  .     .     .     .     .     .    "},
      {2, 0x81AA, kOther, ".     3>C_I .     .     .     .     .     .    "},
      {3, 0x81AA, k8208, " .     3>C_I 3=    3=    3=    3=    3=    3=   "},
      {4, 0x8010, 0, "     .     .     4>CE  .     .     .     .     .    "},
      {5, 0x80EA, 0, "     .     .     .     .     .     .     .     5>C_I"},
      {6, 0x81BA, kOther, ".     .     .     .     .     .     .     5>CA "},
      {7, 0x81BA, k8208, " .     5=    .     5=    5=    5=    5=    5>CA "},
      {8, 0x8020, 0, "     .     .     6>CT  .     .     .     .     .    "},
      {9, 0x81CA, kOther, ".     .     .     8>CA  .     8>CA  8>CA  .    "},
      {10, 0x81CA, k8208, ".     7=    .     7=    7=    7=    7=    7=   "},
      {11, 0x8030, 0, "    .     .     .     9>CC  9>CC  .     .     .    "},
      {12, 0x810A, 0, "    .     .     .     .     .     10>CA .     .    "},
      {13, 0x81DA, kOther, ".    .     .     .     .     10>CT .     .    "},
      {14, 0x81DA, k8208, ".     10=   10=   .     .     10>CT 10=   10=  "},
      {15, 0x81DA, kRollback | kOther, ". . .     .     .     10>CN .     .    "},
      {16, 0x8040, 0, "    .     .     .     11>CR 11>CR .     .     .    "},
      {17, 0x811A, 0, "    .     .     .     .     .     .     12>CA .    "},
      {18, 0x81EA, kOther, ".    .     .     .     .     .     12>CT .    "},
      {19, 0x81EA, k8208, ".     12=   12=   .     .     12=   12>CT 12=  "},
      {20, 0x81EA, kRollback, ".   .     .     .     .     .     12>CN .    "},
      {21, 0x8050, 0, "    .     .     13=   13=   .     .     .     .    "},
      {22, 0x812A, 0, "    .     .     14=   14=   .     14=   14=   14=  "},
      {22, 0x81FA, kOther, ".    .     14=   14=   .     14=   14=   14=  "},
      {23, 0x81FA, k8208, ".     14=   .     .     .     14=   14=   14=  "},
      {24, 0x8060, 0, "    .     .     15=   15=   .     .     .     .    "},
      {25, 0x813A, 0, "    .     .     16=   16=   .     16=   16=   16=  "},
      {25, 0x820A, kOther, ".    .     16=   16=   .     16=   16=   16=  "},
      {26, 0x820A, k8208, ".     16=   .     .     .     16=   16=   16=  "},
      {27, 0x8070, 0, "    .     .     17=   17=   .     .     .     .    "},
      {28, 0x814A, 0, "    .     .     18=   18=   .     18=   18=   18=  "},
      {28, 0x821A, kOther, ".    .     18=   18=   .     18=   18=   18=  "},
      {29, 0x821A, k8208, ".     18=   .     .     .     18=   18=   18=  "},
      {30, 0x8080, 0, "    .     .     19=   19=   .     .     .     .    "},
      {31, 0x815A, 0, "    .     .     20=   20=   .     20=   20=   20=  "},
      {31, 0x822A, kOther, ".    .     20=   20=   .     20=   20=   20=  "},
      {32, 0x822A, k8208, ".     20=   .     .     .     20=   20=   20=  "},
      {33, 0x8090, 0, "    .     .     21=   21=   .     .     .     .    "},
      {34, 0x816A, 0, "    .     .     22=   22=   .     22=   22=   22=  "},
      {34, 0x823A, kOther, ".    .     22=   22=   .     22=   22=   22=  "},
      {35, 0x823A, k8208, ".     22=   .     .     .     22=   22=   22=  "},
      {36, 0x823A, k8213, ".     .     .     23>CN .     23=   23=   22=  "},
      {37, 0x80A0, 0, "    .     .     24=   24=   .     .     .     .    "},
      {38, 0x817A, 0, "    .     .     25=   25=   .     25=   25=   25=  "},
      {38, 0x824A, kOther, ".    .     25=   25=   .     25=   25=   25=  "},
      {39, 0x824A, k8208, ".     0>145 .     .     .     25=   25=   25=  "},  // as stored
      {40, 0x80B0, 0, "    .     .     26=   26=   .     .     .     .    "},
      {41, 0x818A, 0, "    .     .     27=   27=   .     27=   27=   27=  "},
      {41, 0x825A, kOther, ".    .     27=   27=   .     27=   27=   27=  "},
      {42, 0x825A, k8208, ".     27=   .     .     .     27=   27=   27=  "},
      {43, 0x825A, k8213, ".     .     .     28>CN .     28=   28=   .    "},
      {44, 0x80C0, 0, "    .     .     29=   29=   .     .     .     .    "},
      {45, 0x819A, 0, "    .     .     30=   30=   .     30=   30=   30=  "},
      {45, 0x826A, kOther, ".    .     30=   30=   .     30=   30=   30=  "},
      {46, 0x826A, k8208, ".     30=   .     .     .     30=   30=   30=  "},
  };
  verify(rows, &RDA_aseClientEventTbl, RDA_clientStateCk, getClientEventNo, RDA_getClientState, kRdaClientStates);
}

TEST_F(StateTbl, ServerCellsOfEveryEvent) {
  //                    S_I   SB    SA    ST    SN    SC    SR    SS    SE
  const std::vector<Row> rows = {
      {0, 0x8008, 0, "     3>SB  2=    2=    2=    1=    2=    2=    1=    2=   "},
      {1, 0x80D2, 0, "     .     4>SA  .     .     .     .     .     .     .    "},
      {2, 0x81A2, kOther, ".     4>S_I .     .     .     .     .     .     .    "},
      {3, 0x8018, 0, "     2=    2=    5>SE  2=    1=    2=    2=    1=    2=   "},
      {4, 0x80E2, 0, "     .     .     .     .     .     .     .     .     6>S_I"},
      {5, 0x81B2, kOther, ".     .     .     .     .     .     .     .     6>SA "},
      {6, 0x80D8, 0, "     .     .     .     .     .     .     .     1>SA  .    "},
      {7, 0x8028, 0, "     2=    2=    7>ST  2=    1=    2=    2=    1=    2=   "},
      {8, 0x81C2, kOther, ".     .     .     8>SS  .     8>SS  8>SS  .     .    "},
      {9, 0x8038, 0, "     2=    2=    2=    9>SC  9>SC  2=    2=    1=    2=   "},
      {10, 0x8102, 0, "    .     .     .     .     .     10>SA .     .     .    "},
      {11, 0x81D2, k8208, ".     .     .     .     .     10>ST .     .     .    "},
      {12, 0x81D2, kRollback, ".   .     .     .     .     10>SN .     .     .    "},
      {13, 0x8048, 0, "    2=    2=    2=    11>SR 11>SR 2=    2=    1=    2=   "},
      {14, 0x8112, 0, "    .     .     .     .     .     .     12>SA .     .    "},
      {15, 0x81E2, kOther, ".    .     .     .     .     .     12>ST .     .    "},
      {16, 0x81E2, kRollback, ".   .     .     .     .     .     12>SN .     .    "},
      {17, 0x8058, 0, "    2=    2=    13=   13=   1=    2=    2=    1=    2=   "},
      {17, 0x8078, 0, "    2=    2=    13=   13=   1=    2=    2=    1=    2=   "},
      {18, 0x8122, 0, "    .     .     14=   14=   .     14=   14=   .     14=  "},
      {18, 0x81F2, k8208, ".     .     14=   14=   .     14=   14=   .     14=  "},
      {19, 0x8068, 0, "    2=    2=    15=   15=   1=    2=    2=    1=    2=   "},
      {19, 0x8088, 0, "    2=    2=    15=   15=   1=    2=    2=    1=    2=   "},
      {20, 0x8132, 0, "    .     .     16=   16=   .     16=   16=   .     16=  "},
      {20, 0x8202, kOther, ".    .     16=   16=   .     16=   16=   .     16=  "},
      {22, 0x8142, 0, "    .     .     18=   18=   .     18=   18=   .     18=  "},
      {22, 0x8212, kOther, ".    .     18=   18=   .     18=   18=   .     18=  "},
      {24, 0x8152, 0, "    .     .     20=   20=   .     20=   20=   .     20=  "},
      {24, 0x8222, kOther, ".    .     20=   20=   .     20=   20=   .     20=  "},
      {25, 0x8098, 0, "    2=    2=    21=   21=   1=    2=    2=    1=    2=   "},
      {26, 0x8162, 0, "    .     .     22=   22=   .     22=   22=   .     22=  "},
      {26, 0x8232, k8208, ".     .     22=   22=   .     22=   22=   .     22=  "},
      {27, 0x8232, k8213, ".     .     .     23>SN .     23=   23=   .     .    "},
      {28, 0x80A8, 0, "    2=    2=    24=   24=   1=    2=    2=    1=    2=   "},
      {29, 0x8172, 0, "    .     .     25=   25=   .     25=   25=   .     25=  "},
      {29, 0x8242, kOther, ".    .     25=   25=   .     25=   25=   .     25=  "},
      {30, 0x80B8, 0, "    2=    2=    26=   26=   1=    2=    2=    1=    2=   "},
      {31, 0x8182, 0, "    .     .     27=   27=   .     27=   27=   .     27=  "},
      {31, 0x8252, kOther, ".    .     27=   27=   .     27=   27=   .     27=  "},
      {32, 0x8252, k8213, ".     .     .     28>SN .     28=   28=   .     .    "},
      {33, 0x80C8, 0, "    2=    2=    29=   29=   1=    2=    2=    1=    2=   "},
      {34, 0x8192, 0, "    .     .     30=   30=   .     30=   30=   .     30=  "},
      {34, 0x8262, kOther, ".    .     30=   30=   .     30=   30=   .     30=  "},
  };
  verify(rows, &RDA_aseServerEventTbl, RDA_serverStateCk, getServerEventNo, RDA_getServerState, kRdaServerStates);
  // No code reaches rows 21 and 23 (R-Open and R-Close requests use rows
  // 17 and 19); they hold the same cells with actions of their own.
  const std::pair<uint32_t, const char*> unreached[] = {
      {21, "2=    2=    17=   17=   1=    2=    2=    1=    2=   "},
      {23, "2=    2=    19=   19=   1=    2=    2=    1=    2=   "},
  };
  for (const auto& [event, want] : unreached) {
    std::istringstream cells(want);
    for (uint32_t s = 0; s < kRdaServerStates; ++s) {
      std::string w;
      cells >> w;
      const uint32_t cell = serverStateTbl[event * kRdaServerStates + s];
      EXPECT_EQ(cellText({static_cast<int>(cell >> 8), cell & 0xFF}, RDA_getServerState), w) << event;
    }
  }
}

TEST_F(StateTbl, ServerInvalidSequenceDiagnosticsOfEveryRequest) {
  //                         S_I SB SA ST SN SC SR SS SE
  const std::vector<std::pair<RdaEventCode, std::array<int32_t, 9>>> rows = {
      {0x8008, {-1, 2, 3, 3, -1, 3, 3, -1, 7}},
      {0x8018, {1, 2, -1, 5, -1, 6, 6, -1, 7}},
      {0x8028, {1, 2, -1, 5, -1, 6, 6, -1, 7}},
      {0x8038, {1, 2, 4, -1, -1, 6, 6, -1, 7}},
      {0x8048, {1, 2, 4, -1, -1, 6, 6, -1, 7}},
      {0x8058, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x8068, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x8078, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x8088, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x8098, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x80A8, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x80B8, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x80C8, {1, 2, -1, -1, -1, 6, 6, -1, 7}},
      {0x80D8, {-1, -1, -1, -1, -1, -1, -1, -1, -1}},
      {0x8102, {-1, -1, -1, -1, -1, -1, -1, -1, -1}},  // a response: no request of the table
  };
  stateCkCB* cb = RDA_initStateCk(&RDA_aseServerEventTbl, kRecorders.data(), RDA_IDU_IN_AEHDR);
  ASSERT_NE(cb, nullptr);
  GIDU g{};
  for (const auto& [code, want] : rows) {
    g.event = code;
    for (uint32_t s = 0; s < kRdaServerStates; ++s) {
      cb->state = s;
      EXPECT_EQ(RDA_getServerInvSeqInfo(cb, &g), want[s]) << std::hex << code << " in " << RDA_getServerState(s);
    }
  }
  RDA_termStateCk(cb);
  EXPECT_TRUE(traced("*** RDA_getServerInvSeqInfo: invalid event for Server State Table"));
}

// Any tag can be decoded from the wire, and getting an event code for it
// must not read beyond the 312 rows: a private [99] received becomes
// 0x18318, whose row would be 396.
TEST_F(StateTbl, EventCodesBeyondTheTablesAreNoEventsOfEitherRole) {
  stateCkCB* client = RDA_initStateCk(&RDA_aseClientEventTbl, kRecorders.data(), RDA_IDU_IN_AEHDR);
  stateCkCB* server = RDA_initStateCk(&RDA_aseServerEventTbl, kRecorders.data(), RDA_IDU_IN_AEHDR);
  ASSERT_NE(client, nullptr);
  ASSERT_NE(server, nullptr);
  for (RdaEventCode code : {0x18318u, 0x8270u, 0xFFFFu, 0x7FFFu}) {
    SCOPED_TRACE(testing::Message() << std::hex << code);
    EXPECT_EQ(RDA_eventTblLookup(&RDA_aseClientEventTbl, code), kRdaNoEvent);
    GIDU* g = gidu(0x8000, 0);
    ASSERT_NE(g, nullptr);
    g->event = code;
    void* idu = g->idu;
    gRan = {};
    EXPECT_EQ(RDA_clientStateCk(client, g), static_cast<int32_t>(RDA_ERR_INVALID_EVENT_TYPE));
    EXPECT_EQ(RDA_serverStateCk(server, g), static_cast<int32_t>(RDA_ERR_INVALID_EVENT_TYPE));
    EXPECT_EQ(RDA_getServerInvSeqInfo(server, g), -1);
    EXPECT_EQ(gRan.index, -1) << "no action ran";
    EXPECT_EQ(g->event, code);
    EXPECT_EQ(g->idu, idu) << "the GIDU is untouched";
    al_deleteGidu(g);
  }
  // The last row is still read.
  EXPECT_EQ(RDA_eventTblLookup(&RDA_aseClientEventTbl, 0x826A), 45u);
  EXPECT_EQ(RDA_eventTblLookup(&RDA_aseClientEventTbl, 0x826F), kRdaNoEvent);
  EXPECT_TRUE(traced("*** RDA_clientStateCk: invalid event for Client State Table"));
  EXPECT_TRUE(traced("*** RDA_serverStateCk: invalid event for Server State Table"));
  RDA_termStateCk(client);
  RDA_termStateCk(server);
}

TEST_F(StateTbl, StateNames) {
  EXPECT_STREQ(RDA_getClientState(RDA_C_I), "C_I");
  EXPECT_STREQ(RDA_getClientState(RDA_CE), "CE ");
  EXPECT_STREQ(RDA_getClientState(kRdaStateUnchanged), "C_NC");
  EXPECT_STREQ(RDA_getClientState(kRdaStateRefused), "CINV");
  EXPECT_STREQ(RDA_getClientState(8), "INVALID");
  EXPECT_STREQ(RDA_getServerState(RDA_SS), "SS ");
  EXPECT_STREQ(RDA_getServerState(RDA_SE), "SE ");
  EXPECT_STREQ(RDA_getServerState(kRdaStateUnchanged), "S_NC");
  EXPECT_STREQ(RDA_getServerState(kRdaStateRefused), "SINV");
  EXPECT_STREQ(RDA_getServerState(9), "INVALID");
}

}  // namespace
