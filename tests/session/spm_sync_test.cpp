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
constexpr uint32_t kEvActivityDiscard = 1;
constexpr uint32_t kEvActivityEnd = 3;
constexpr uint32_t kEvActivityInterrupt = 5;
constexpr uint32_t kEvActivityInterruptRsp = 6;
constexpr uint32_t kEvControlGive = 11;
constexpr uint32_t kEvResyncAbandon = 22;
constexpr uint32_t kEvResyncRestart = 23;
constexpr uint32_t kEvResyncRsp = 25;
constexpr uint32_t kEvMajorReq = 26;
constexpr uint32_t kEvMajorRsp = 27;

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

TEST_F(SyncActions, MajorSyncPointIsSentAndConfirmed) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_MAJORSYNC, TK_DATA | TK_MINOR | TK_MAJOR);
  s->va = s->vm = s->vr = 7;
  SIDU req{};
  req.event = kEvMajorReq;
  ASSERT_EQ(run(s, kEvMajorReq, &req), 0u);
  EXPECT_EQ(req.serial, 7u);
  EXPECT_EQ(s->state, STA04A);
  EXPECT_EQ(s->vm, 8u);
  // GT, then MAP (SI 41): sync type item "not the end of an activity",
  // serial number "7".
  EXPECT_EQ(toHex(queued(s)), "01 00 29 06 0F 01 01 2A 01 37");

  tls()->spdu.serial = 6;  // not V(M) - 1
  EXPECT_EQ(run(s, EV_MAA, nullptr), S_NO_EXPEDITED);
  s->state = STA04A;
  tls()->spdu.serial = 7;
  ASSERT_EQ(run(s, EV_MAA, nullptr), 0u);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->va, 8u);
  EXPECT_EQ(s->vr, 8u);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_SYNMA_CNF);
}

TEST_F(SyncActions, ReceivedMajorSyncPointIsAnsweredWithItsSerialNumber) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_MAJORSYNC, 0);
  s->va = s->vm = 3;
  tls()->spdu.serial = 3;
  ASSERT_EQ(run(s, EV_MAP, nullptr), 0u);
  EXPECT_EQ(s->state, STA10A);
  EXPECT_EQ(s->vm, 4u);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_SYNMA_IND);
  SIDU rsp{};
  rsp.event = kEvMajorRsp;
  ASSERT_EQ(run(s, kEvMajorRsp, &rsp), 0u);
  // PT, then MAA (SI 42) for V(M) - 1 = 3.
  EXPECT_EQ(toHex(queued(s)), "02 00 2A 03 2A 01 33");
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->va, 4u);
  EXPECT_EQ(s->vr, 4u);
}

TEST_F(SyncActions, MinorSyncAckInStA713IsTakenOnlyForAnOutstandingPoint) {
  // No MIP outstanding: an MIA for 7 is a protocol error.
  Smachine* idle = connected(SR_HALFDUPLEX | SR_MINORSYNC, TK_DATA | TK_MINOR);
  idle->va = idle->vm = 7;
  tls()->spdu.serial = 7;
  EXPECT_EQ(run(idle, EV_MIA, nullptr), S_NO_EXPEDITED);

  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC, TK_DATA | TK_MINOR);
  s->va = s->vm = 7;
  gSeen.clear();
  SIDU mip{};
  mip.event = kEvMinorReq;
  ASSERT_EQ(run(s, kEvMinorReq, &mip), 0u);
  receive(s, hex("02 00 32 03 2A 01 37"));  // PT, then MIA with serial number "7"
  EXPECT_EQ(s->state, STA713);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_SYNMI_CNF);
  EXPECT_EQ(s->va, 8u);

  // An MIA standing alone, without the PT in front, is not a valid unit.
  Smachine* lone = connected(SR_HALFDUPLEX | SR_MINORSYNC, TK_DATA | TK_MINOR);
  lone->va = lone->vm = 7;
  ASSERT_EQ(run(lone, kEvMinorReq, &mip), 0u);
  gSeen.clear();
  receive(lone, hex("32 03 2A 01 37"));
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_PAB_IND);
}

TEST_F(SyncActions, AbandonRequestSendsRsWithVm) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, TK_DATA | TK_MINOR);
  s->va = s->vm = 5;
  SIDU req{};
  req.event = kEvResyncAbandon;
  ASSERT_EQ(run(s, kEvResyncAbandon, &req), 0u);
  EXPECT_EQ(s->state, STA05A);
  EXPECT_EQ(s->vrsp, 3);
  // GT, then RS (SI 53): token setting 0, type 1 (abandon), serial number "5".
  EXPECT_EQ(toHex(queued(s)), "01 00 35 09 1A 01 00 1B 01 01 2A 01 35");
}

TEST_F(SyncActions, RestartRequestNeedsASerialBetweenVrAndVm) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, TK_DATA | TK_MINOR);
  s->vr = 3;
  s->va = s->vm = 6;
  SIDU req{};
  req.event = kEvResyncRestart;
  for (uint64_t sn : {2u, 7u}) {
    req.serial = sn;
    EXPECT_EQ(run(s, kEvResyncRestart, &req), S_NO_EXPEDITED) << sn;
  }
  req.serial = 4;
  ASSERT_EQ(run(s, kEvResyncRestart, &req), 0u);
  EXPECT_EQ(s->vrsp, 1);
  EXPECT_EQ(s->vrspnb, 4u);
}

TEST_F(SyncActions, ReceivedAbandonBelowVmIsIndicatedWithVm) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, 0);
  s->va = s->vm = 9;
  tls()->spdu.serial = 4;
  tls()->spdu.resyncType = 1;
  ASSERT_EQ(run(s, EV_RS_ABANDON, nullptr), 0u);
  EXPECT_EQ(s->state, STA11A);
  EXPECT_EQ(s->vm, 9u);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_RSYN_IND);
  EXPECT_EQ(gSeen.back().sidu.serial, 9u);
}

TEST_F(SyncActions, CrossingRestartsWithTheSameSerialLetTheAcceptorYield) {
  for (uint8_t acc : {0, 1}) {
    // Own restart at 5 outstanding, the peer's restart at 5 arrives.
    Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, 0, STA05A);
    s->acc = acc;
    s->vr = 1;
    s->vm = 8;
    s->vrsp = 1;
    s->vrspnb = 5;
    const uint32_t credit = s->credit;
    tls()->spdu.serial = 5;
    ASSERT_EQ(run(s, EV_RS_RESTART, nullptr), 0u);
    EXPECT_EQ(s->state, acc == 1 ? STA11A : STA05A) << int(acc);
    EXPECT_EQ(s->credit, acc == 1 ? credit : credit + 1) << int(acc);

    // A restart of our own over the peer's pending one at 5.
    Smachine* p = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, 0, STA11A);
    p->acc = acc;
    p->vr = 1;
    p->vm = 8;
    p->vrsp = 1;
    p->vrspnb = 5;
    SIDU req{};
    req.event = kEvResyncRestart;
    req.serial = 5;
    EXPECT_EQ(run(p, kEvResyncRestart, &req), acc == 1 ? uint32_t{S_NO_EXPEDITED} : 0u) << int(acc);
  }
}

TEST_F(SyncActions, DiscardAfterAResyncIndicationAlwaysGoes) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC | SR_ACTIVITY, TK_ALL, STA11A);
  s->vact = 1;
  s->vrsp = 3;
  SIDU req{};
  req.event = kEvActivityDiscard;
  req.reason = 2;
  ASSERT_EQ(run(s, kEvActivityDiscard, &req), 0u);
  EXPECT_EQ(s->state, STA05C);
  EXPECT_EQ(s->vrsp, 5);
  // GT, then AD (SI 57) with reason code 2.
  EXPECT_EQ(toHex(queued(s)), "01 00 39 03 32 01 02");
}

TEST_F(SyncActions, ResyncResponseChecksTheSerialAndTokensAndSplitsTheTokens) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, 0, STA11A);
  s->vr = 2;
  s->vm = 9;
  s->vrsp = 1;
  s->vrspnb = 4;
  SIDU rsp{};
  rsp.event = kEvResyncRsp;
  rsp.serial = 5;
  EXPECT_EQ(run(s, kEvResyncRsp, &rsp), S_NO_EXPEDITED) << "a restart answers with its own point";
  rsp.serial = 4;
  rsp.tokens = 0x02;  // data token pair 2: undecided
  EXPECT_EQ(run(s, kEvResyncRsp, &rsp), S_NO_EXPEDITED);
  rsp.tokens = 0x01;  // data token to the acceptor, minor token to the initiator
  ASSERT_EQ(run(s, kEvResyncRsp, &rsp), 0u);
  // PT, then RA (SI 34): token setting 1, serial number "4".
  EXPECT_EQ(toHex(queued(s)), "02 00 22 06 1A 01 01 2A 01 34");
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->va, 4u);
  EXPECT_EQ(s->vm, 4u);
  EXPECT_EQ(s->vr, 2u) << "a restart keeps V(R)";
  EXPECT_EQ(s->owned, TK_DATA);
  EXPECT_EQ(s->vrsp, 0);
}

TEST_F(SyncActions, ResyncConfirmTakesTheSerialAndTheInitiatorsTokens) {
  Smachine* s = connected(SR_HALFDUPLEX | SR_MINORSYNC | SR_RESYNC, TK_DATA | TK_MINOR, STA05A);
  s->vr = 2;
  s->vm = 9;
  s->vrsp = 3;  // abandon: at least V(M)
  tls()->spdu.serial = 8;
  EXPECT_EQ(run(s, EV_RA, nullptr), S_NO_EXPEDITED);
  s->state = STA05A;
  tls()->spdu.serial = 12;
  tls()->spdu.tokenSetting = 0x01;  // data token to the acceptor
  ASSERT_EQ(run(s, EV_RA, nullptr), 0u);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->vm, 12u);
  EXPECT_EQ(s->vr, 0u);
  EXPECT_EQ(s->owned, TK_MINOR);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_RSYN_CNF);
}

TEST_F(SyncActions, ActivityEndRoundTrip) {
  const uint32_t units = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  Smachine* s = connected(units, TK_ALL);
  s->vact = 1;
  s->va = s->vm = 2;
  SIDU req{};
  req.event = kEvActivityEnd;
  ASSERT_EQ(run(s, kEvActivityEnd, &req), 0u);
  EXPECT_EQ(s->state, STA04B);
  EXPECT_EQ(req.serial, 2u);
  tls()->spdu.serial = 2;
  ASSERT_EQ(run(s, EV_AEA, nullptr), 0u);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->vact, 0);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_ACTE_CNF);
  EXPECT_EQ(run(s, kEvActivityEnd, &req), S_NO_EXPEDITED) << "no activity to end";
}

TEST_F(SyncActions, ActivityInterruptMovesEveryTokenToTheRequester) {
  const uint32_t units = SR_HALFDUPLEX | SR_MINORSYNC | SR_ACTIVITY;
  Smachine* s = connected(units, TK_ALL);
  s->vact = 1;
  SIDU req{};
  req.event = kEvActivityInterrupt;
  req.version = 1;
  ASSERT_EQ(run(s, kEvActivityInterrupt, &req), 0u);
  EXPECT_EQ(s->state, STA05B);
  ASSERT_EQ(run(s, EV_AIA, nullptr), 0u);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(s->vact, 0);
  EXPECT_EQ(s->ownedAv, s->av);

  Smachine* peer = connected(units, 0);
  peer->vact = 1;
  tls()->spdu.reason = 3;
  ASSERT_EQ(run(peer, EV_AI, nullptr), 0u);
  EXPECT_EQ(peer->state, STA11B);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_ACTI_IND);
  EXPECT_EQ(gSeen.back().sidu.reason, 3u);
  SIDU rsp{};
  rsp.event = kEvActivityInterruptRsp;
  ASSERT_EQ(run(peer, kEvActivityInterruptRsp, &rsp), 0u);
  EXPECT_EQ(peer->state, STA713);
  EXPECT_EQ(peer->ownedAv, 0);

  Smachine* v1 = connected(units, TK_ALL);
  v1->version = 1;
  v1->vact = 1;
  req.userData = balloc(1);
  ASSERT_NE(req.userData, nullptr);
  EXPECT_EQ(run(v1, kEvActivityInterrupt, &req), S_USER_DATA_OVERFLOW) << "no user data in version 1";
  s_freeChain(req.userData);
}

TEST_F(SyncActions, ControlGiveHandsEveryTokenOver) {
  const uint32_t units = SR_HALFDUPLEX | SR_ACTIVITY;
  Smachine* s = connected(units, TK_ALL);
  SIDU req{};
  req.event = kEvControlGive;
  ASSERT_EQ(run(s, kEvControlGive, &req), 0u);
  EXPECT_EQ(s->state, STA18);
  EXPECT_EQ(s->owned, 0);
  ASSERT_EQ(run(s, EV_GTA, nullptr), 0u);
  EXPECT_EQ(s->state, STA713);

  Smachine* peer = connected(units, 0);
  ASSERT_EQ(run(peer, EV_GTC, nullptr), 0u);
  EXPECT_EQ(peer->ownedAv, peer->av);
  // GTA (SI 22).
  EXPECT_EQ(toHex(queued(peer)), "16 00");
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().sidu.event, SI_CG_IND);
}

}  // namespace
