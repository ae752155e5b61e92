// The ACSE protocol machine as a table of (event, state) -> (result, new
// state), every cell, and the paths an association takes through it.
#include <map>
#include <thread>
#include <utility>

#include "src/acse/acpm.h"
#include "src/acse/acsetls.h"
#include "support/recordset.h"

namespace {

class Acpm : public RecordSetTest {};

struct Cell {
  int32_t result;
  int32_t state;  // -1: unchanged
};

// The valid cells; every other cell refuses the event and keeps the state.
std::map<std::pair<int32_t, int32_t>, Cell> validCells() {
  std::map<std::pair<int32_t, int32_t>, Cell> m;
  m[{1, 0}] = {3, 1};
  m[{2, 2}] = {4, 5};
  m[{3, 2}] = {5, 0};
  m[{4, 5}] = {11, 3};
  m[{5, 4}] = {12, 0};
  m[{5, 6}] = {12, 3};
  m[{6, 4}] = {13, 5};
  for (int32_t s = 1; s <= 7; ++s) m[{7, s}] = {17, 0};
  m[{8, 5}] = {21, -1};
  for (int32_t s = 0; s <= 7; ++s) m[{9, s}] = {20, -1};
  m[{10, 0}] = {6, 2};
  m[{11, 1}] = {8, 5};
  m[{12, 1}] = {9, 0};
  m[{13, 3}] = {14, 6};  // on the initiator; 7 on the responder
  m[{13, 5}] = {14, 4};
  m[{14, 3}] = {15, 0};
  m[{14, 7}] = {15, 4};
  m[{15, 3}] = {16, 5};
  for (int32_t s = 1; s <= 7; ++s) m[{16, s}] = {18, 0};
  m[{17, 1}] = {9, 0};
  for (int32_t s = 1; s <= 7; ++s) m[{18, s}] = {19, 0};
  for (int32_t s = 0; s <= 7; ++s) m[{19, s}] = {22, -1};
  for (int32_t s = 0; s <= 7; ++s) m[{20, s}] = {23, -1};
  return m;
}

TEST_F(Acpm, EveryCellOfTheTable) {
  const auto valid = validCells();
  for (int32_t event = 0; event < kAcpmEvents; ++event) {
    for (int32_t state = 0; state < kAcpmStates; ++state) {
      for (uint32_t initiator : {0u, 1u}) {
        AcpmRecord pm{state, initiator};
        QvSetAcError(0);
        const int32_t result = acseFsm(&pm, event);
        const auto it = valid.find({event, state});
        Cell want = it != valid.end() ? it->second : Cell{event <= 8 ? 1 : 2, -1};
        if (event == 13 && state == 3 && initiator == 0) want.state = 7;
        const int32_t wantState = want.state < 0 ? state : want.state;
        EXPECT_EQ(result, want.result) << "event " << event << ", state " << state << ", initiator " << initiator;
        EXPECT_EQ(pm.state, wantState) << "event " << event << ", state " << state << ", initiator " << initiator;
        EXPECT_EQ(QvGetAcError(), result == 1 ? 3u : 0u) << "event " << event << ", state " << state;
        const uint32_t wantInitiator = event == 1 && state == 0 ? 1u : event == 10 && state == 0 ? 0u : initiator;
        EXPECT_EQ(pm.initiator, wantInitiator) << "event " << event << ", state " << state;
      }
    }
  }
}

TEST_F(Acpm, PathsOfAnAssociation) {
  // Initiator: associate, release collision, answer, then the RLRE.
  AcpmRecord pm{ACPM_IDLE, 0};
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_ASC_REQ), ACPM_SEND_AARQ);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLS_REQ), ACPM_INVALID_USER) << "A-RELEASE before the AARE";
  EXPECT_EQ(QvGetAcError(), AC_ERR_INVALID_USER_EVENT);
  EXPECT_EQ(pm.state, ACPM_AWAIT_AARE);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_AARE_ACC), ACPM_ASC_CNF_ACC);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLS_REQ), ACPM_SEND_RLRQ);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLRQ), ACPM_RLS_IND);
  EXPECT_EQ(pm.state, ACPM_COLLISION_INIT);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLS_RSP_ACC), ACPM_SEND_RLRE_ACC);
  EXPECT_EQ(pm.state, ACPM_AWAIT_RLRE);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLRE_ACC), ACPM_RLS_CNF_ACC);
  EXPECT_EQ(pm.state, ACPM_IDLE);

  // Responder of the same collision.
  pm = {ACPM_IDLE, 1};
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_AARQ), ACPM_ASC_IND);
  EXPECT_EQ(pm.initiator, 0u);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_ASC_RSP_ACC), ACPM_SEND_AARE_ACC);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLS_REQ), ACPM_SEND_RLRQ);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLRQ), ACPM_RLS_IND);
  EXPECT_EQ(pm.state, ACPM_COLLISION_RESP);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLRE_ACC), ACPM_RLS_CNF_ACC);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_RLS_RSP_ACC), ACPM_SEND_RLRE_ACC);
  EXPECT_EQ(pm.state, ACPM_IDLE);

  // A refused P-CONNECT ends the attempt like a rejecting AARE; once
  // associated it is refused.
  pm = {ACPM_IDLE, 0};
  acseFsm(&pm, ACPM_EV_ASC_REQ);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_PCON_REFUSED), ACPM_ASC_CNF_REJ);
  EXPECT_EQ(pm.state, ACPM_IDLE);
  pm = {ACPM_ASSOCIATED, 1};
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_PCON_REFUSED), ACPM_INVALID_PEER);
  EXPECT_EQ(pm.state, ACPM_ASSOCIATED);

  // Aborting with no association is a user error, not a no-op.
  pm = {ACPM_IDLE, 0};
  QvSetAcError(0);
  EXPECT_EQ(acseFsm(&pm, ACPM_EV_ABRT_REQ), ACPM_INVALID_USER);
  EXPECT_EQ(QvGetAcError(), AC_ERR_INVALID_USER_EVENT);
}

TEST_F(Acpm, NoRecordAndOutOfRangeInput) {
  QvSetAcError(0);
  EXPECT_EQ(acseFsm(nullptr, ACPM_EV_ASC_REQ), ACPM_NO_RECORD);
  EXPECT_EQ(QvGetAcError(), AC_ERR_NO_MACHINE);
  // Outside the table: refused, nothing read beyond it.
  for (auto [event, state] : {std::pair{21, 0}, std::pair{-1, 0}, std::pair{1, 8}, std::pair{1, -1}}) {
    AcpmRecord pm{state, 0};
    QvSetAcError(0);
    EXPECT_EQ(acseFsm(&pm, event), ACPM_INVALID_USER) << event << "/" << state;
    EXPECT_EQ(pm.state, state);
    EXPECT_EQ(QvGetAcError(), AC_ERR_INVALID_USER_EVENT);
  }
}

TEST_F(Acpm, DiagnosticTexts) {
  EXPECT_STREQ(acse_printUserError(0), "Association request was accepted");
  EXPECT_STREQ(acse_printUserError(14), "Authentication required");
  EXPECT_EQ(acse_printUserError(15), nullptr);
  EXPECT_STREQ(acse_printProviderError(2), "The server's version of ACSE is incompatible with the client's");
  EXPECT_EQ(acse_printProviderError(3), nullptr);
}

TEST_F(Acpm, AcErrorOfAThreadWithoutRecordsIsNoFault) {
  QvSetAcError(7);
  std::thread other([] {
    QvSetAcError(5);
    EXPECT_EQ(QvGetAcError(), 0u);
    EXPECT_EQ(acseFsm(nullptr, ACPM_EV_ASC_REQ), ACPM_NO_RECORD);
  });
  other.join();
  EXPECT_EQ(QvGetAcError(), 7u) << "the other thread's errors are not ours";
}

}  // namespace
