#include "src/session/spm.h"

#include <map>
#include <string>

#include "session_fixture.h"

namespace {

std::string cell(uint32_t state, uint32_t event) { return trname[Stable[state + kSessStates * (event - 1)]]; }

// A whole row: the action of every state, from the given exceptions to a
// default.
std::map<uint32_t, std::string> rowOf(uint32_t event) {
  std::map<uint32_t, std::string> r;
  for (uint32_t st = 0; st < kSessStates; ++st) r[st] = cell(st, event);
  return r;
}
std::map<uint32_t, std::string> expectRow(const std::string& otherwise,
                                         std::initializer_list<std::pair<uint32_t, const char*>> cells) {
  std::map<uint32_t, std::string> r;
  for (uint32_t st = 0; st < kSessStates; ++st) r[st] = otherwise;
  for (const auto& [st, name] : cells) r[st] = name;
  return r;
}

TEST(SessionTable, SlotsHoldTheirRoutinesInOrder) {
  const std::pair<uint32_t, const char*> slots[] = {
      {0, "Str000"},   {1, "Str001"},   {36, "Str036"},  {37, "Str100"},  {54, "Str117"},  {55, "Str200"},
      {62, "Str207"},  {63, "Str300"},  {65, "Str302"},  {66, "Str400"},  {71, "Str405"},  {72, "Str500"},
      {84, "Str512"},  {85, "Str600"},  {90, "Str605"},  {91, "StrB05"},  {92, "Str607"},  {94, "Str609"},
      {95, "Str700"},  {113, "Str718"}, {114, "StrB00"}, {118, "StrB04"}, {119, "Str724"}, {139, "Str744"},
      {140, "Str800"}, {177, "Str837"}, {178, "Str900"}, {181, "Str903"}, {182, "StrA00"}, {193, "StrA11"},
      {194, "Str000"}, {195, "Str000"},
  };
  for (const auto& [slot, name] : slots) EXPECT_STREQ(trname[slot], name) << slot;
  EXPECT_EQ(Sproc[A_Str001], &Str001);
  EXPECT_EQ(Sproc[A_StrB05], &StrB05);
  EXPECT_EQ(Sproc[194], &Str000);
  EXPECT_EQ(Sproc[195], &Str000);
  EXPECT_STREQ(stname[0], "STA01");
  EXPECT_STREQ(stname[STA15D], "STA15D");
  EXPECT_STREQ(stname[31], "STA713");
}

TEST(SessionTable, EventsWithoutAPrimitiveAreValidNowhere) {
  for (uint32_t ev : {34u, 80u, 81u, 83u}) EXPECT_EQ(rowOf(ev), expectRow("Str000", {})) << ev;
}

TEST(SessionTable, NoConnectionAcceptsOnlyConnectRequestAndTransportConnectIndication) {
  for (uint32_t ev = 1; ev <= kSessEvents; ++ev) {
    const char* expected = ev == 12 ? "Str004" : ev == 35 ? "Str002" : "Str000";
    EXPECT_EQ(cell(STA01, ev), expected) << ev;
  }
}

TEST(SessionTable, AfterAnAbortPrepareRequestsAreDroppedButAbortAndConnectStayRefused) {
  for (uint32_t ev = 1; ev <= 32; ++ev) {
    const char* expected = ev == 8 || ev == 12 ? "Str000" : ev == 31 ? "Str035" : "Str001";
    EXPECT_EQ(cell(STA15D, ev), expected) << ev;
  }
}

TEST(SessionTable, ReceiveRequestsNeedAConnectedState) {
  EXPECT_EQ(rowOf(33),
            expectRow("Str036", {{STA01, "Str000"}, {STA01A, "Str000"}, {STA01B, "Str000"}, {STA01C, "Str000"},
                                 {STA16, "Str000"}}));
}

TEST(SessionTable, UserAbortRow) {
  EXPECT_EQ(rowOf(31), expectRow("Str025", {{STA01, "Str000"},
                                            {STA01A, "Str000"},
                                            {STA01B, "Str010"},
                                            {STA01C, "Str000"},
                                            {STA01D, "Str000"},
                                            {STA02B, "Str000"},
                                            {STA06, "Str032"},
                                            {STA15A, "Str032"},
                                            {STA15B, "Str032"},
                                            {STA15C, "Str032"},
                                            {STA15D, "Str035"},
                                            {STA16, "Str000"}}));
}

TEST(SessionTable, TransportDisconnectAndTimerRows) {
  EXPECT_EQ(rowOf(37), expectRow("Str024", {{STA01, "Str000"},
                                            {STA01A, "Str023"},
                                            {STA01C, "Str009"},
                                            {STA01D, "Str000"},
                                            {STA02B, "Str000"},
                                            {STA16, "Str023"}}));
  EXPECT_EQ(rowOf(38),
            expectRow("Str000", {{STA01A, "Str010"}, {STA01C, "Str010"}, {STA15D, "Str010"}, {STA16, "Str010"}}));
}

TEST(SessionTable, AbortSpduRows) {
  EXPECT_EQ(rowOf(40), expectRow("Str029", {{STA01, "Str000"},
                                            {STA01A, "Str009"},
                                            {STA01B, "Str000"},
                                            {STA01C, "Str009"},
                                            {STA01D, "Str000"},
                                            {STA02B, "Str000"},
                                            {STA16, "Str009"}}));
  EXPECT_EQ(rowOf(82), expectRow("Str034", {{STA01, "Str000"},
                                            {STA01A, "Str000"},
                                            {STA01B, "Str000"},
                                            {STA01C, "Str010"},
                                            {STA01D, "Str000"},
                                            {STA15D, "Str000"},
                                            {STA16, "Str009"}}));
}

TEST(SessionTable, SampledCells) {
  struct Sample {
    uint32_t event;
    uint32_t state;
    const char* action;
  };
  const Sample samples[] = {
      {1, STA713, "Str814"},  {1, STA20, "Str822"},   {12, STA01C, "Str005"}, {13, STA08, "Str006"},
      {15, STA18, "Str111"},  {16, STA18, "Str201"},  {24, STA15A, "Str715"}, {27, STA15B, "Str001"},
      {27, STA10B, "Str000"}, {29, STA09, "Str502"},  {36, STA01B, "Str003"}, {36, STA02A, "Str000"},
      {42, STA02A, "Str011"}, {46, STA15C, "Str001"}, {48, STA16, "Str000"},  {53, STA01C, "Str008"},
      {55, STA19, "Str001"},  {55, STA21, "Str117"},  {58, STA15D, "Str000"}, {66, STA16, "Str000"},
      {69, STA04B, "StrB05"}, {70, STA06, "StrB01"},  {71, STA05A, "StrB04"}, {71, STA02A, "StrB02"},
      {74, STA15D, "Str000"}, {77, STA05C, "Str727"}, {79, STA19, "Str404"},  {79, STA713, "Str403"},
  };
  for (const Sample& s : samples) EXPECT_EQ(cell(s.state, s.event), s.action) << s.event << " " << stname[s.state];
}

using SessionMachine = SessionTest;

TEST_F(SessionMachine, AnEventOutOfRangeIsRefusedBeforeTheStateIsLookedAt) {
  Smachine* s = connection(STA713);
  EXPECT_EQ(s_fsm(s, nullptr, 99, 0), S_INVALID_EVENT);
  EXPECT_EQ(s_fsm(s, nullptr, 99, 84), S_INVALID_EVENT);
  EXPECT_EQ(s_fsm(s, nullptr, 32, 1), S_INVALID_STATE);
  EXPECT_EQ(s_fsm(nullptr, nullptr, STA713, 15), S_INVALID_STATE);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(connectionCount(), 1u);
}

TEST_F(SessionMachine, TheEmptyCellAnswersInvalidTransitionAndChangesNothing) {
  Smachine* s = connection(STA713);
  for (uint32_t ev : {34u, 80u, 81u, 83u})
    for (uint32_t st = 0; st < kSessStates; ++st) EXPECT_EQ(s_fsm(s, nullptr, st, ev), S_INV_TRANSITION);
  SIDU req{};
  req.event = kEvReceive;
  for (uint32_t st : {STA01, STA01A, STA01B, STA01C}) EXPECT_EQ(s_fsm(s, &req, st, kEvReceive), S_INV_TRANSITION);
  EXPECT_EQ(s->state, STA713);
  EXPECT_EQ(connectionCount(), 1u);
}

TEST_F(SessionMachine, AMajorSyncRequestWithoutTheMajorTokenIsRefusedInPlace) {
  Smachine* s = connection(STA713);
  SIDU req{};
  req.event = 26;  // S-SYNC-MAJOR request: Str601
  EXPECT_EQ(s_fsm(s, &req, s->state, 26), S_NO_EXPEDITED);
  EXPECT_EQ(s->state, STA713);
}

TEST_F(SessionMachine, ACellRunsItsActionWithTheConnectionAndThePrimitive) {
  script(A_Str814);  // S-ACTIVITY-DISCARD request in STA713
  gScript.newState = STA05C;
  Smachine* s = connection(STA713);
  SIDU req{};
  req.event = 1;
  EXPECT_EQ(s_fsm(s, &req, s->state, 1), 0u);
  EXPECT_EQ(gScript.calls, 1);
  EXPECT_EQ(gScript.s, s);
  EXPECT_EQ(gScript.sidu, &req);
  EXPECT_EQ(s->state, STA05C);
}

TEST_F(SessionMachine, AFailingActionLeavesTheConnection) {
  script(A_Str004);
  gScript.result = S_BAD_FUS;
  Smachine* s = connection(STA713);
  SIDU req{};
  EXPECT_EQ(s_fsm(s, &req, STA01, kEvConnectReq), S_BAD_FUS);
  EXPECT_EQ(connectionCount(), 1u) << "the connection's own state is STA713";
}

TEST_F(SessionMachine, AnActionThatReachesSta01EndsTheConnectionInsideTheCall) {
  script(A_Str023);  // T-DISCONNECT indication in STA16
  gScript.newState = STA01;
  const uint32_t before = QvGetSbCount();
  Smachine* s = connection(STA16);
  sq_append(&s->outQ, bufferWith("AB"));
  STIMreq(s, kStimRelease);
  EXPECT_EQ(s_fsm(s, nullptr, s->state, kEvTDisconnect), 0u);
  EXPECT_EQ(gScript.calls, 1);
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(QvGetSbCount(), before) << "its queued SPDU went with it";
  TimerLink* q = &getSystemTLS(0)->timerQueue;
  EXPECT_EQ(q->next, q) << "and its timer";
  EXPECT_EQ(tls()->released, 1u);
}

// An action that hands an indication to a user who aborts the connection
// from inside the callback.
uint32_t indicateAndLetTheUserAbort(Smachine* s, SIDU*) {
  SIDU abort{};
  abort.event = kEvUserAbort;
  EXPECT_EQ(session(s, &abort), 1);  // runs Str025 (scripted) and ends the connection
  return 0;
}

TEST_F(SessionMachine, AConnectionEndedFromInsideAnActionIsNotTouchedAfterwards) {
  actions_[A_Str103] = indicateAndLetTheUserAbort;  // DT SPDU in STA713
  script(A_Str025);  // S-U-ABORT request in STA713
  gScript.newState = STA01;
  Smachine* s = connection(STA713);
  EXPECT_EQ(s_fsm(s, nullptr, STA713, 55), 0u);  // the sanitizer build sees no use after free
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(SessionMachine, AnIgnoredRequestFreesItsUserData) {
  Smachine* s = connection(STA15D);
  const uint32_t before = QvGetSbCount();
  SessionBuffer* a = bufferWith("first");
  SessionBuffer* b = bufferWith("second");
  b->next = a;  // a chain of two
  b->prev = a;
  a->next = b;
  a->prev = b;
  SIDU req{};
  req.event = 15;  // S-DATA request in STA15D: Str001
  req.userData = a;
  EXPECT_EQ(s_fsm(s, &req, s->state, 15), S_EVENT_IGNORED);
  EXPECT_EQ(req.userData, nullptr);
  EXPECT_EQ(QvGetSbCount(), before);
  EXPECT_EQ(s->state, STA15D);

  req.userData = bufferWith("third");
  req.credit = 2;
  EXPECT_EQ(session(s, &req), 0) << "ignored counts as a failed call";
  EXPECT_EQ(QvGetSessionError(), S_EVENT_IGNORED);
  EXPECT_EQ(s->credit, 1u) << "credit granted, then STA15D's receive sets it to one";
  EXPECT_EQ(QvGetSbCount(), before);
}

TEST_F(SessionMachine, AnIgnoredSpduGivesItsCreditBack) {
  Smachine* s = connection(STA16);
  s->credit = 0;
  EXPECT_EQ(s_fsm(s, nullptr, s->state, 42), 0u);  // AC SPDU in STA16: Str001
  EXPECT_EQ(s->credit, 1u);
  EXPECT_EQ(s->state, STA16);
  EXPECT_EQ(connectionCount(), 1u);
}

}  // namespace
