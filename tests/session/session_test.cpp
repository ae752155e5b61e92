#include "src/session/session.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include <unistd.h>

#include "session_fixture.h"
#include "src/session/session_ind.h"

namespace {

using SessionEntry = SessionTest;

TEST_F(SessionEntry, ANewRecordStartsFromTheTemplates) {
  SessionTLS* t = tls();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->sessionError, 0u);
  EXPECT_EQ(t->tp0.listenSocket, -1);
  EXPECT_EQ(t->tp0.tcep[19].socket, kNoSocket);
  EXPECT_EQ(t->users.next, &t->users);
  EXPECT_EQ(t->machines.next, &t->machines);
  StpParams* p = QvGetStpParams();
  ASSERT_EQ(p, &t->tpParams);
  EXPECT_STREQ(p->providerName, "TP0TCP");
  EXPECT_EQ(p->listenQLen, 255);
  EXPECT_EQ(p->processLimit, 0xFFFFFFFFu);
  EXPECT_EQ(t->stackInfo.count, 3);
  EXPECT_STREQ(t->stackInfo.entry[2].genericName, "TP024");
  EXPECT_STREQ(t->stackInfo.entry[2].deviceName, "duvik-1");
  EXPECT_STREQ(s_errorName(32779), "S_BAD_FUS");
  EXPECT_STREQ(s_errorName(32793), "?");
}

TEST_F(SessionEntry, AnEmptySelectorRegistersOnlyWhenNoUserExists) {
  const SSAPaddr empty{};
  const SSAPaddr a = selector({0x01, 0x02});
  EXPECT_EQ(s_activate(&empty, recordingUser), 1);
  EXPECT_EQ(QvGetSessionError(), 0u);
  EXPECT_EQ(s_activate(&empty, recordingUser), 0) << "a second empty selector";
  EXPECT_EQ(QvGetSessionError(), S_SSAP_IN_USE);
  EXPECT_EQ(s_activate(&a, recordingUser), 1) << "a named selector beside the empty one";
  EXPECT_EQ(s_activate(&a, recordingUser), 0) << "the same selector twice";
  EXPECT_EQ(QvGetSessionError(), S_SSAP_IN_USE);

  SsUser* u = find_ss_user(&empty);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->ssap.ssap.len, 0);
  EXPECT_EQ(find_ss_user(nullptr), u) << "no selector counts as the empty one";
  EXPECT_EQ(find_ss_user(&a)->ssap.ssap.len, 2);
  const SSAPaddr b = selector({0x01, 0x03});
  EXPECT_EQ(find_ss_user(&b), nullptr);

  EXPECT_EQ(s_deactivate(&empty), 1);
  EXPECT_EQ(s_activate(&empty, recordingUser), 0) << "users exist, so an empty selector is refused";
  EXPECT_EQ(QvGetSessionError(), S_SSAP_IN_USE);
}

TEST_F(SessionEntry, DeactivateRefusesUsersWithLiveConnections) {
  const SSAPaddr a = selector({0xAA});
  const SSAPaddr unknown = selector({0xBB});
  SsUser* u = registerUser(a);
  EXPECT_EQ(s_deactivate(&unknown), 0);
  EXPECT_EQ(QvGetSessionError(), S_SSAP_NOT_IN_USE);

  Smachine* live = connection(STA713, u);
  EXPECT_EQ(s_deactivate(&a), 0);
  EXPECT_EQ(QvGetSessionError(), S_SSAP_BUSY);
  EXPECT_EQ(find_ss_user(&a), u) << "the user stays registered";
  EXPECT_EQ(live->owner, u);
}

TEST_F(SessionEntry, DeactivateLeavesEndingConnectionsWithoutAUser) {
  const SSAPaddr a = selector({0xAA});
  SsUser* u = registerUser(a);
  Smachine* idle = connection(STA01C, u);
  Smachine* closing = connection(STA16, u);
  EXPECT_EQ(s_deactivate(&a), 1);
  EXPECT_EQ(QvGetSessionError(), 0u);
  EXPECT_EQ(find_ss_user(&a), nullptr);
  EXPECT_EQ(idle->owner, nullptr);
  EXPECT_EQ(closing->owner, nullptr);

  // A data confirm and an abort on the ownerless connection reach nobody,
  // and the confirmed buffer goes back to the pool.
  const uint32_t before = QvGetSbCount();
  EXPECT_EQ(SDTcnf(closing, bufferWith("sent")), 0);
  EXPECT_EQ(SPABind(closing, kPAbortTransport), 0);
  EXPECT_EQ(QvGetSbCount(), before);
  EXPECT_TRUE(gSeen.empty());
}

TEST_F(SessionEntry, SessionRefusesMissingConnectionsAndEventsOutOfRange) {
  SIDU req{};
  req.event = 15;
  req.trailing = 0xDEAD;
  EXPECT_EQ(session(nullptr, &req), 0);
  EXPECT_EQ(QvGetSessionError(), S_INVALID_STATE);
  EXPECT_EQ(req.trailing, 0u) << "cleared on entry";

  Smachine* foreign = s_alloc();  // not one of this thread's connections
  EXPECT_EQ(session(foreign, &req), 0);
  EXPECT_EQ(QvGetSessionError(), S_INVALID_STATE);
  delete foreign;

  Smachine* s = connection(STA713);
  for (uint32_t ev : {0u, 84u, 0xFFFFFFFFu}) {
    req.event = ev;
    EXPECT_EQ(session(s, &req), 0) << ev;
    EXPECT_EQ(QvGetSessionError(), S_INVALID_EVENT) << ev;
  }
  EXPECT_EQ(session(s, nullptr), 0);
  EXPECT_EQ(QvGetSessionError(), S_INVALID_EVENT);
  EXPECT_EQ(connectionCount(), 1u);
}

TEST_F(SessionEntry, AcceptedRequestsGrantTheirCreditAndPostAReceive) {
  recordTransport();
  script(A_Str101);  // S-DATA request in STA713
  struct Case {
    uint32_t result;
    int ok;
    bool credited;
  };
  for (const Case& c : {Case{0, 1, true}, Case{S_EVENT_IGNORED, 0, true}, Case{S_NO_EXPEDITED, 0, false}}) {
    gTpi = TpiLog{};
    gScript.result = c.result;
    Smachine* s = connection(STA713);
    s->credit = 2;
    SIDU req{};
    req.event = 15;
    req.credit = 3;
    EXPECT_EQ(session(s, &req), c.ok) << c.result;
    EXPECT_EQ(QvGetSessionError(), c.result);
    EXPECT_EQ(s->credit, c.credited ? 5u : 2u) << c.result;
    EXPECT_EQ(gTpi.receivedOn, c.credited ? s : nullptr) << c.result;
    if (c.credited) {
      EXPECT_EQ(gTpi.creditAtReceive, 5u);
    }
  }
}

TEST_F(SessionEntry, ARequestThatEndsTheConnectionLeavesItAlone) {
  recordTransport();
  script(A_Str010);  // S-U-ABORT request in STA01B
  gScript.newState = STA01;
  Smachine* s = connection(STA01B);
  SIDU req{};
  req.event = kEvUserAbort;
  req.credit = 1;
  EXPECT_EQ(session(s, &req), 1);
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(gTpi.receivedOn, nullptr) << "no credit step on the released record";
}

TEST_F(SessionEntry, ConnectNeedsARegisteredCallingSelector) {
  const SSAPaddr a = selector({0x31});
  SIDU req{};
  req.callingSsap = &a;
  EXPECT_EQ(s_connect(&req), nullptr);
  EXPECT_EQ(QvGetSessionError(), S_SSAP_NOT_IN_USE);
  EXPECT_EQ(s_connect(nullptr), nullptr);
  EXPECT_EQ(QvGetSessionError(), S_INVALID_EVENT);
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(SessionEntry, ARefusedConnectLeavesTheConnectionListAsItWas) {
  const SSAPaddr a = selector({0x31});
  SsUser* u = registerUser(a);
  Smachine* existing = connection(STA713, u);
  script(A_Str004);
  gScript.result = S_BAD_FUS;  // e.g. duplex with exceptions
  SIDU req{};
  req.callingSsap = &a;
  req.requirements = SR_DUPLEX | SR_EXCEPTIONS;
  req.userData = bufferWith("hello");
  EXPECT_EQ(s_connect(&req), nullptr);
  EXPECT_EQ(QvGetSessionError(), S_BAD_FUS);
  EXPECT_EQ(gScript.calls, 1);
  ASSERT_EQ(connectionCount(), 1u);
  EXPECT_EQ(tls()->machines.next, existing);
  s_freeChain(req.userData);
}

TEST_F(SessionEntry, AnAcceptedConnectJoinsTheListWithTheRequestsCredit) {
  const SSAPaddr a = selector({0x31});
  SsUser* u = registerUser(a);
  Smachine* first = connection(STA713, u);
  script(A_Str004);
  gScript.newState = STA01B;
  SIDU req{};
  req.callingSsap = &a;
  req.credit = 4;
  req.trailing = 9;
  Smachine* s = s_connect(&req);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(QvGetSessionError(), 0u);
  EXPECT_EQ(gScript.sidu, &req);
  EXPECT_EQ(s->state, STA01B);
  EXPECT_EQ(s->owner, u);
  EXPECT_EQ(s->credit, 4u);
  EXPECT_EQ(req.credit, 0) << "the credit moved into the connection";
  EXPECT_EQ(req.trailing, 0u);
  EXPECT_EQ(tls()->machines.next, first);
  EXPECT_EQ(tls()->machines.prev, s) << "linked at the tail";
}

TEST_F(SessionEntry, AConnectRequestTheMachineRefusesLeavesNoConnection) {
  const SSAPaddr a = selector({0x31});
  registerUser(a);
  SIDU req{};
  req.callingSsap = &a;  // neither half-duplex nor duplex asked for
  EXPECT_EQ(s_connect(&req), nullptr);
  EXPECT_EQ(QvGetSessionError(), S_BAD_FUS);
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(SessionEntry, UnitDataIsNotOffered) {
  EXPECT_EQ(s_unitdata(), 0);
  EXPECT_EQ(QvGetSessionError(), S_INVALID_EVENT);
}

TEST_F(SessionEntry, SelectorsCompareByLengthThenOctets) {
  const SSAPaddr a = selector({1, 2, 3});
  const SSAPaddr a2 = selector({1, 2, 3});
  const SSAPaddr b = selector({1, 2, 4});
  const SSAPaddr shortA = selector({1, 2});
  const SSAPaddr empty{};
  EXPECT_EQ(ssap_cmp(&a.ssap, &a2.ssap), 0);
  EXPECT_NE(ssap_cmp(&a.ssap, &b.ssap), 0);
  EXPECT_EQ(ssap_cmp(&a.ssap, &shortA.ssap), -1);
  EXPECT_EQ(ssap_cmp(&empty.ssap, &empty.ssap), -1) << "two empty selectors are never equal";
  SSAPaddr bogus = a;
  bogus.ssap.len = 200;
  EXPECT_EQ(ssap_cmp(&bogus.ssap, &bogus.ssap), -1) << "a length beyond the field is never equal";

  TSAPaddr t1{2, {0x13, 0x88}};
  TSAPaddr t2{2, {0x13, 0x88}};
  EXPECT_EQ(tsap_cmp(&t1, &t2), 0);
  t2.len = 0;
  EXPECT_EQ(tsap_cmp(&t2, &t2), -1);
  NSAPaddr n1{4, {127, 0, 0, 1}};
  NSAPaddr n2{4, {127, 0, 0, 2}};
  EXPECT_NE(nsap_cmp(&n1, &n2), 0);
  n2.len = 4000;
  EXPECT_EQ(nsap_cmp(&n2, &n2), -1);
}

TEST_F(SessionEntry, DumpssapPrintsAtMostTheSixteenOctetsOfTheRecord) {
  char text[kDumpSsapSize];
  EXPECT_STREQ(dumpssap(nullptr, text, sizeof text), "0, NULL");
  const SSAPaddr a = selector({0x01, 0xAB, 0x20});
  EXPECT_STREQ(dumpssap(&a.ssap, text, sizeof text), "3,  1 ab 20 ");
  SSAPaddr big{};
  big.ssap.len = 200;
  for (uint8_t i = 0; i < kSsapMaxLen; ++i) big.ssap.sel[i] = static_cast<uint8_t>(0x10 + i);
  EXPECT_STREQ(dumpssap(&big.ssap, text, sizeof text), "200, 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f ");

  char small[8];
  std::memset(small, '#', sizeof small);
  EXPECT_STREQ(dumpssap(&big.ssap, small, sizeof small), "200, 10");
}

TEST_F(SessionEntry, InitSessionEmptiesTheRegistriesOnlyWhenTheTransportStarted) {
  recordTransport();
  const SSAPaddr a = selector({0x31});
  registerUser(a);
  TpLocalAddr local{};
  gTpi.initResult = 32797;
  EXPECT_EQ(init_session(&local), 32797u);
  EXPECT_EQ(gTpi.initParams, &local);
  EXPECT_NE(find_ss_user(&a), nullptr);

  connection(STA713, find_ss_user(&a));
  gTpi.initResult = 0;
  EXPECT_EQ(init_session(&local), 0u);
  EXPECT_EQ(find_ss_user(&a), nullptr);
  EXPECT_EQ(connectionCount(), 0u);
  term_session();
  EXPECT_EQ(gTpi.calls.back(), "close_ifc");
}

TEST_F(SessionEntry, TheInterfaceKeepsTheLocalAddressAndThePollWait) {
  TpLocalAddr local{};
  local.tsap.len = 2;
  local.tsap.sel[0] = 0x13;
  local.tsap.sel[1] = 0x88;
  local.word = 77;
  SessPollWaitTime = 5;
  EXPECT_EQ(init_session(&local), 0u);
  SessPollWaitTime = 1000;
  SessionTLS* t = tls();
  EXPECT_EQ(t->localParams, &local);
  EXPECT_EQ(t->localAddr.tsap.len, 2u);
  EXPECT_EQ(t->localAddr.tsap.sel[1], 0x88);
  EXPECT_EQ(t->localAddr.word, 77u);
  EXPECT_EQ(t->tpParams.pollWait, 5);
  EXPECT_EQ(QvIsMultiProcessed(), 0u);
  EXPECT_EQ(do_session_queue(), -1) << "no transport, so no socket is alive";
}

class AttachTransport : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    if (const char* v = std::getenv("OSID")) savedOsid_ = v;
    char tmpl[] = "/tmp/osidXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("OSID", (dir_ + "/osid.cfg").c_str(), 1);  // no such file yet
  }
  void TearDown() override {
    if (savedOsid_) setenv("OSID", savedOsid_->c_str(), 1);
    else unsetenv("OSID");
    std::remove((dir_ + "/osid.cfg").c_str());
    rmdir(dir_.c_str());
    SessionTest::TearDown();
  }
  std::string dir_;
  std::optional<std::string> savedOsid_;
};

TEST_F(AttachTransport, TheDeviceComesFromTheOsiFileElseTheDefault) {
  recordTransport();
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
  EXPECT_EQ(gTpi.bindName, "TP0TCP");
  EXPECT_EQ(gTpi.bindDevice, "duvik-1");

  tls()->stackInfo.count = 3;
  std::ofstream(dir_ + "/osid.cfg") << "TP0TCP tp_provider=/dev/tp0\n";
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
  EXPECT_EQ(gTpi.bindDevice, "/dev/tp0");
}

TEST_F(AttachTransport, ProvidersAreCountedUpToFour) {
  recordTransport();
  EXPECT_EQ(s_attach_transport("TP4"), 0u);
  EXPECT_EQ(s_attach_transport("TP024"), 0u);
  EXPECT_EQ(tls()->stackInfo.count, 3) << "TP4 and TP024 are not counted";
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
  EXPECT_EQ(tls()->stackInfo.count, 4);
  gTpi.calls.clear();
  EXPECT_EQ(s_attach_transport("TP0TCP"), uint32_t{S_NO_TOKEN_SPECIFIED});
  EXPECT_TRUE(gTpi.calls.empty()) << "refused before binding";
  EXPECT_EQ(s_attach_transport(nullptr), kSessErrNoProvider);
}

TEST_F(AttachTransport, StoppingTheLayerLetsTheNextStartAttachAgain) {
  recordTransport();
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
  EXPECT_EQ(s_attach_transport("TP0TCP"), uint32_t{S_NO_TOKEN_SPECIFIED}) << "not twice without a stop";
  term_session();
  EXPECT_EQ(tls()->stackInfo.count, 3);
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
}

TEST_F(AttachTransport, ABindFailureIsPassedOnAndNotCounted) {
  recordTransport();
  gTpi.bindResult = 32794;
  EXPECT_EQ(s_attach_transport("TP0TCP"), 32794u);
  EXPECT_EQ(tls()->stackInfo.count, 3);
}

TEST_F(AttachTransport, OnlyTheTcpProviderBindsAndAClientBindsNoSocket) {
  EXPECT_EQ(s_attach_transport("TP4"), kTpiNoProvider);
  QvGetStpParams()->listenQLen = 0;
  EXPECT_EQ(s_attach_transport("TP0TCP"), 0u);
  EXPECT_EQ(tls()->stackInfo.count, 4);
  EXPECT_EQ(tls()->tp0.listenSocket, -1);
  tls()->bound = 1;
  EXPECT_EQ(s_tp_bind("TP0TCP", "duvik-1", nullptr), kTpiAlreadyBound);
}

TEST_F(SessionEntry, ReceiveCreditIsGrantedOnlyWhereASingleSpduIsAwaited) {
  struct Case {
    uint8_t state;
    uint8_t acc;
    uint32_t credit;  // after s_receive, from 0
  };
  const Case cases[] = {
      {STA01, 0, 0},  {STA01B, 0, 0}, {STA01A, 0, 1}, {STA15D, 0, 1}, {STA16, 0, 1},
      {STA01C, 1, 1}, {STA01C, 0, 0}, {STA713, 0, 0}, {STA02A, 1, 0},
  };
  for (const Case& c : cases) {
    Smachine* s = connection(c.state);
    s->acc = c.acc;
    s_receive(s);
    EXPECT_EQ(s->credit, c.credit) << s_stateName(c.state) << " acc=" << int(c.acc);
  }
}

TEST_F(SessionEntry, TransportRequestsWithoutATransport) {
  Smachine* s = connection(STA713);
  SessionBuffer* b = bufferWith("SPDU");
  sq_append(&s->outQ, b);
  EXPECT_EQ(s_transmit(s), 0u);
  EXPECT_EQ(s->outQ.count, 1u) << "the queue keeps its buffers";
  EXPECT_EQ(TCONreq(s), kTpiConnectFailed);
  EXPECT_EQ(s->tcepId, -1);
  EXPECT_EQ(disconnect(s), 1u);
  EXPECT_EQ(s->state, STA01) << "STA01 whatever the transport answers";
}

TEST_F(SessionEntry, ReleaseFreesTheQueuedBuffersOfTheConnection) {
  const uint32_t before = QvGetSbCount();
  Smachine* s = connection(STA713);
  sq_append(&s->outQ, bufferWith("a"));
  sq_append(&s->cnfQ, bufferWith("b"));
  sq_append(&s->exQ, bufferWith("c"));
  sq_append(&s->exQ, bufferWith("d"));
  EXPECT_EQ(s->exQ.count, 2u);
  EXPECT_EQ(QvGetSbCount(), before + 4);
  s_release(s);
  EXPECT_EQ(QvGetSbCount(), before);
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(tls()->released, 1u);
}

}  // namespace
