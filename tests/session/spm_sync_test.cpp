// Action routines of minor synchronisation, activity start and resume and
// PR SPDUs, and the choice between crossing resynchronisations.
#include "spdu_fixture.h"
#include "src/session/session_ind.h"
#include "src/session/spm_actions.h"

namespace {

constexpr uint32_t kEvActivityResume = 7;
constexpr uint32_t kEvActivityStart = 8;
constexpr uint32_t kEvMinorReq = 28;
constexpr uint32_t kEvMinorRsp = 29;

class SyncActions : public SpduTest {
 protected:
  void SetUp() override {
    SpduTest::SetUp();
    user_ = registerUser(own_);
  }
  Smachine* connected(uint32_t requirements, uint8_t owned, uint8_t state = STA713) {
    Smachine* s = connection(state, user_);
    s->requirements = requirements;
    s->version = 2;
    s_setAvailable(s);
    s_setOwned(s, owned);
    return s;
  }
  uint32_t run(Smachine* s, uint32_t event, SIDU* sidu) { return s_fsm(s, sidu, s->state, event); }
  const SSAPaddr own_ = selector({0x00, 0x01});
  SsUser* user_ = nullptr;
};

TEST_F(SyncActions, PendingOperationWinsByKindThenBySerialNumber) {
  struct Case {
    uint8_t vrsp;
    uint64_t vrspnb;
    uint32_t type;
    uint64_t sn;
    uint32_t dflt;
    uint32_t win;
  };
  const Case cases[] = {
      {1, 5, 1, 5, 1, 1},  // crossing restarts, same serial number: the default decides
      {1, 5, 1, 5, 0, 0},
      {1, 4, 1, 5, 0, 1},  // the lower restart point wins
      {1, 6, 1, 5, 1, 0},
      {1, 5, 5, 0, 1, 0},  // a discard beats any resynchronisation
      {3, 0, 5, 0, 1, 0},
      {4, 0, 3, 0, 0, 1},  // an interrupt beats an abandon
      {2, 0, 2, 0, 1, 1},
  };
  Smachine* s = connection(STA11A);
  for (const Case& c : cases) {
    s->vrsp = c.vrsp;
    s->vrspnb = c.vrspnb;
    EXPECT_EQ(SPMwinner(s, c.type, c.sn, c.dflt), c.win) << int(c.vrsp) << " " << c.type;
  }
}

TEST_F(SyncActions, MinorSyncPointsNumberAndConfirm) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC, TK_DATA | TK_MINOR);
  s->va = s->vm = 7;
  SIDU mip{};
  mip.event = kEvMinorReq;
  ASSERT_EQ(run(s, kEvMinorReq, &mip), 0u);
  EXPECT_EQ(mip.serial, 7u);
  EXPECT_EQ(s->vm, 8u);
  // GT, then MIP with serial number "7".
  EXPECT_EQ(toHex(queued(s)), "01 00 31 03 2A 01 37");

  // The peer confirms 7.
  tls()->spdu.serial = 7;
  ASSERT_EQ(run(s, EV_MIA, nullptr), 0u);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].sidu.event, SI_SYNMI_CNF);
  EXPECT_EQ(s->va, 8u);
}

TEST_F(SyncActions, MinorResponseForTheLastPointIsRefusedAfterAMajorSyncPoint) {
  for (uint8_t state : {STA10A, STA713}) {
    Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_MAJORSYNC, 0, state);
    s->va = 3;
    s->vm = 6;
    s->vsc = 1;
    SIDU rsp{};
    rsp.event = kEvMinorRsp;
    rsp.serial = 5;
    EXPECT_EQ(run(s, kEvMinorRsp, &rsp), state == STA10A ? uint32_t{S_NO_EXPEDITED} : 0u);
    EXPECT_EQ(s->va, state == STA10A ? 3u : 6u);
    rsp.serial = 2;  // below V(A)
    EXPECT_EQ(run(s, kEvMinorRsp, &rsp), S_NO_EXPEDITED);
  }
}

TEST_F(SyncActions, ActivityStartAndResumeSetTheSerialNumbers) {
  const uint32_t units = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  Smachine* s = connected(units, TK_ALL);
  s->va = s->vm = s->vr = 9;
  SIDU start{};
  start.event = kEvActivityStart;
  start.activityId.len = 1;
  start.activityId.id[0] = 'a';
  ASSERT_EQ(run(s, kEvActivityStart, &start), 0u);
  EXPECT_EQ(s->vact, 1);
  EXPECT_EQ(s->va, 1u);
  EXPECT_EQ(s->vm, 1u);
  EXPECT_EQ(s->vr, 1u);
  EXPECT_EQ(run(s, kEvActivityStart, &start), S_NO_EXPEDITED) << "one activity at a time";

  Smachine* r = connected(units, TK_ALL);
  SIDU resume{};
  resume.event = kEvActivityResume;
  resume.serial = 41;
  ASSERT_EQ(run(r, kEvActivityResume, &resume), 0u);
  EXPECT_EQ(r->va, 42u);
  EXPECT_EQ(r->vm, 42u);
  EXPECT_EQ(r->vr, 1u);

  Smachine* peer = connected(units, 0);
  tls()->spdu.serial = 41;
  ASSERT_EQ(run(peer, EV_AR, nullptr), 0u);
  EXPECT_EQ(peer->vm, 42u);
  EXPECT_EQ(peer->vr, 1u);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_ACTR_IND);
}

TEST_F(SyncActions, PrMarkersAreReplayedAndAFullListFailsTheEvent) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_RESYNC, 0, STA06);
  for (uint32_t i = 0; i < kPrMarkers; ++i) ASSERT_EQ(run(s, EV_PR_RA, nullptr), 0u) << i;
  EXPECT_EQ(s->prCount, kPrMarkers);
  EXPECT_EQ(run(s, EV_PR_RA, nullptr), S_NO_EXPEDITED) << "a 29th marker has no room";
  EXPECT_EQ(s->prCount, kPrMarkers);

  s->state = STA05A;
  const uint32_t credit = s->credit;
  EXPECT_EQ(PRrecall(s), 0u);
  EXPECT_EQ(s->state, STA15C);
  EXPECT_EQ(s->prCount, 0u);
  EXPECT_EQ(s->credit, credit + 1);
}

TEST_F(SyncActions, PrAnnouncingAResynchronisationHoldsTheReceiver) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_RESYNC, 0, STA713);
  ASSERT_EQ(run(s, EV_PR_RS, nullptr), 0u);
  EXPECT_EQ(s->state, STA15B);
  Smachine* c = connected(SR_HALFDUPLEX | SR_RESYNC, 0, STA03);
  c->relCollision = 1;
  EXPECT_EQ(run(c, EV_PR_RS, nullptr), S_NO_EXPEDITED);
  Smachine* a = connected(SR_HALFDUPLEX | SR_ACTIVITY, 0, STA713);
  ASSERT_EQ(run(a, EV_PR_RS, nullptr), 0u);
  EXPECT_EQ(a->state, STA713);
  EXPECT_EQ(a->prCount, 1u);
}

}  // namespace
