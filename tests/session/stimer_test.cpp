#include "src/session/stimer.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "session_fixture.h"

namespace {

struct Fired {
  uint64_t owner;
  uint32_t id;
  uint64_t arg;
  uint32_t arg2;
  int64_t at;
};
std::vector<Fired> gFired;

uint32_t recordFire(uint64_t owner, uint32_t id, uint64_t arg, uint32_t arg2) {
  gFired.push_back({owner, id, arg, arg2, QvTime()});
  return 0;
}

class Timers : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    gFired.clear();
  }
  std::vector<int64_t> deltas() {
    std::vector<int64_t> out;
    TimerLink* head = &getSystemTLS(0)->timerQueue;
    for (TimerLink* l = head->next; l != head; l = l->next) out.push_back(static_cast<TimerEntry*>(l)->delta);
    return out;
  }
  std::vector<uint64_t> firedOwners() {
    std::vector<uint64_t> out;
    for (const Fired& f : gFired) out.push_back(f.owner);
    return out;
  }
  void at(long sec) { clock_.set(sec, 0); }
};

TEST_F(Timers, DeltasCountFromThePreviousDeadlineAndCancelHandsTheDeltaOn) {
  newtimer(1, 0, 10, 0, 0, recordFire);
  newtimer(2, 0, 60, 0, 0, recordFire);
  EXPECT_EQ(deltas(), (std::vector<int64_t>{10, 50}));
  cantimer(1, kTimerAnyId, kTimerAnyArg);
  EXPECT_EQ(deltas(), (std::vector<int64_t>{60}));
  at(1059);
  do_timer_queue();
  EXPECT_TRUE(gFired.empty());
  at(1060);
  do_timer_queue();
  ASSERT_EQ(gFired.size(), 1u);
  EXPECT_EQ(gFired[0].owner, 2u);
}

TEST_F(Timers, EqualDeadlinesFireInTheOrderTheyWereSet) {
  newtimer(1, 0, 5, 0, 0, recordFire);
  newtimer(2, 0, 5, 0, 0, recordFire);
  newtimer(3, 0, 2, 0, 0, recordFire);  // earlier deadline, set later
  newtimer(4, 0, 5, 0, 0, recordFire);
  EXPECT_EQ(deltas(), (std::vector<int64_t>{2, 3, 0, 0}));
  at(1005);
  do_timer_queue();
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{3, 1, 2, 4}));
}

TEST_F(Timers, ZeroSecondTimerFiresOnTheNextPassWithoutTimeMoving) {
  newtimer(9, 4, 0, 11, 12, recordFire);
  do_timer_queue();
  ASSERT_EQ(gFired.size(), 1u);
  EXPECT_EQ(gFired[0].owner, 9u);
  EXPECT_EQ(gFired[0].id, 4u);
  EXPECT_EQ(gFired[0].arg, 11u);
  EXPECT_EQ(gFired[0].arg2, 12u);
  EXPECT_TRUE(deltas().empty());
}

std::vector<int64_t> gDeltaSeenByFirst;
uint32_t noteRemainingDelta(uint64_t owner, uint32_t id, uint64_t arg, uint32_t arg2) {
  TimerLink* head = &getSystemTLS(0)->timerQueue;
  if (head->next != head) gDeltaSeenByFirst.push_back(static_cast<TimerEntry*>(head->next)->delta);
  return recordFire(owner, id, arg, arg2);
}

TEST_F(Timers, APassThreeSecondsLateCarriesTheOvershootToTheNextTimer) {
  gDeltaSeenByFirst.clear();
  newtimer(1, 0, 10, 0, 0, noteRemainingDelta);
  newtimer(2, 0, 12, 0, 0, recordFire);
  at(1013);
  do_timer_queue();
  EXPECT_EQ(gDeltaSeenByFirst, (std::vector<int64_t>{-1}));
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{1, 2}));
}

TEST_F(Timers, ATimerSetAfterAQuietSpellCountsFromItsOwnStart) {
  at(1005);  // no pass since the queue's reference time
  newtimer(1, 0, 10, 0, 0, recordFire);
  at(1014);
  do_timer_queue();
  EXPECT_TRUE(gFired.empty());
  at(1015);
  do_timer_queue();
  ASSERT_EQ(gFired.size(), 1u);
  EXPECT_EQ(gFired[0].at, 1015);
}

TEST_F(Timers, ACallbackMayStartTimersThatAreDueInTheSamePass) {
  static int restarts;
  restarts = 0;
  auto restart = [](uint64_t owner, uint32_t id, uint64_t arg, uint32_t arg2) -> uint32_t {
    if (restarts++ == 0) newtimer(owner + 100, id, 0, arg, arg2, recordFire);
    return recordFire(owner, id, arg, arg2);
  };
  newtimer(1, 0, 3, 0, 0, restart);
  newtimer(2, 0, 9, 0, 0, recordFire);
  at(1003);
  do_timer_queue();
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{1, 101}));
  EXPECT_EQ(deltas(), (std::vector<int64_t>{6}));
}

TEST_F(Timers, ACallbackMayCancelTimersDueInTheSamePass) {
  auto cancelSecond = [](uint64_t owner, uint32_t id, uint64_t arg, uint32_t arg2) -> uint32_t {
    cantimer(2, kTimerAnyId, kTimerAnyArg);
    return recordFire(owner, id, arg, arg2);
  };
  newtimer(1, 0, 1, 0, 0, cancelSecond);
  newtimer(2, 0, 2, 0, 0, recordFire);
  newtimer(3, 0, 3, 0, 0, recordFire);
  at(1010);
  do_timer_queue();
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{1, 3}));
}

TEST_F(Timers, CancelMatchesByOwnerIdAndArg) {
  using Left = std::vector<std::pair<uint64_t, int64_t>>;  // {arg, deadline} of what is left
  struct Case {
    const char* what;
    uint32_t id;
    uint64_t arg;
    Left left;
  };
  const Case cases[] = {
      {"any id removes every timer of the owner, whatever arg says", kTimerAnyId, 5, {{70, 25}, {80, 35}}},
      {"id 7 with any arg removes only id 7", 7, kTimerAnyArg, {{3, 10}, {70, 25}, {80, 35}}},
      {"id 7 with arg 4 removes only that one", 7, 4, {{3, 10}, {70, 25}, {5, 30}, {80, 35}}},
      {"no match removes nothing", 9, kTimerAnyArg, {{3, 10}, {4, 20}, {70, 25}, {5, 30}, {80, 35}}},
  };
  for (const Case& c : cases) {
    init_timers();
    newtimer(1, 6, 10, 3, 0, recordFire);
    newtimer(1, 7, 20, 4, 0, recordFire);
    newtimer(2, 7, 25, 70, 0, recordFire);
    newtimer(1, 7, 30, 5, 0, recordFire);
    newtimer(2, 8, 35, 80, 0, recordFire);
    cantimer(1, c.id, c.arg);
    Left left;
    int64_t deadline = 0;
    TimerLink* head = &getSystemTLS(0)->timerQueue;
    for (TimerLink* l = head->next; l != head; l = l->next) {
      auto* e = static_cast<TimerEntry*>(l);
      deadline += e->delta;
      left.push_back({e->arg, deadline});
    }
    EXPECT_EQ(left, c.left) << c.what << " (and what is left keeps its deadline)";
  }
  do_timer_queue();
  EXPECT_TRUE(gFired.empty()) << "cancelled callbacks are never called";
}

TEST_F(Timers, AClockThatStandsStillOrGoesBackChangesNothing) {
  newtimer(1, 0, 5, 0, 0, recordFire);
  at(990);
  do_timer_queue();
  EXPECT_EQ(getSystemTLS(0)->timerRefTime, 1000);
  EXPECT_EQ(deltas(), (std::vector<int64_t>{5}));
  at(1005);
  do_timer_queue();
  EXPECT_EQ(gFired.size(), 1u);
}

TEST_F(Timers, ExtremeDurationsNeitherOverflowNorFireEarly) {
  newtimer(1, 0, std::numeric_limits<int64_t>::max(), 0, 0, recordFire);
  newtimer(2, 0, std::numeric_limits<int64_t>::min(), 0, 0, recordFire);
  newtimer(3, 0, std::numeric_limits<int64_t>::max(), 0, 0, recordFire);
  at(1000 + 1000000);
  do_timer_queue();
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{2}));
  EXPECT_EQ(deltas().size(), 2u);
}

TEST_F(Timers, ASecondInitFreesWhatWasQueuedAndAFreshRecordNeedsNoInit) {
  newtimer(1, 0, 5, 0, 0, recordFire);
  newtimer(2, 0, 6, 0, 0, recordFire);
  EXPECT_EQ(init_timers(), 1000);
  EXPECT_TRUE(deltas().empty());  // and the sanitizer build sees no leak

  SystemTLS* sys = getSystemTLS(0);
  sys->timerQueue = TimerLink{nullptr, nullptr};  // as a new record holds it
  cantimer(1, kTimerAnyId, kTimerAnyArg);
  do_timer_queue();
  newtimer(3, 0, 1, 0, 0, recordFire);
  at(1001);
  do_timer_queue();
  EXPECT_EQ(firedOwners(), (std::vector<uint64_t>{3}));
  newtimer(4, 0, 60, 0, 0, recordFire);  // left queued: freed with the record
}

TEST_F(Timers, TheSessionTimerFeedsEventThirtyEightToTheMachine) {
  script(A_Str010);  // timer expiry in STA16
  gScript.newState = STA01;
  Smachine* s = connection(STA16);
  STIMreq(s, kStimRelease);
  at(1009);
  do_timer_queue();
  EXPECT_EQ(gScript.calls, 0);
  at(1010);
  do_timer_queue();
  EXPECT_EQ(gScript.calls, 1);
  EXPECT_EQ(gScript.s, s);
  EXPECT_EQ(gScript.sidu, nullptr);
  EXPECT_EQ(connectionCount(), 0u) << "the action left STA01, so the connection ended";
}

TEST_F(Timers, CancellingTheSessionTimerRemovesEveryTimerOfTheConnection) {
  script(A_Str010);
  Smachine* s = connection(STA16);
  Smachine* other = connection(STA01C);
  STIMreq(s, 10);
  STIMreq(other, 60);
  STIMreq(s, 30);
  STIMcan(s);
  EXPECT_EQ(deltas(), (std::vector<int64_t>{60}));
}

TEST_F(Timers, ATimerNeverFiresIntoAReleasedConnection) {
  script(A_Str023);  // T-DISCONNECT indication in STA16
  gScript.newState = STA01;
  actions_[A_Str010] = [](Smachine*, SIDU*) -> uint32_t {
    ADD_FAILURE() << "the timer of a released connection fired";
    return 0;
  };
  Smachine* s = connection(STA16);
  STIMreq(s, kStimRelease);
  EXPECT_EQ(s_fsm(s, nullptr, s->state, kEvTDisconnect), 0u);
  EXPECT_TRUE(deltas().empty());
  at(1010);
  do_timer_queue();
}

}  // namespace
