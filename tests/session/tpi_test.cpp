// The transport provider interface: start-up with its fork switch and
// signal dispositions, binding, transport requests, and the event loop pass.
#include <sys/socket.h>

#include "src/session/stimer.h"
#include "tp0_fixture.h"

namespace {

class Tpi : public Tp0Test {};

TEST_F(Tpi, AClientThreadReadsNoForkSwitchAndBindsNothing) {
  configure("", "[SERVER]\nForkOnConnect=1\n");
  TpLocalAddr local{};
  ASSERT_EQ(init_ifc(&local), 0u);
  EXPECT_EQ(QvIsMultiProcessed(), 0u);
  EXPECT_TRUE(traced("TPI:\tRunning in Client Mode. Forking is Disabled\n"));
  EXPECT_EQ(s_tp_bind("TP0TCP", "duvik-1", nullptr), 0u);
  EXPECT_EQ(tls()->tp0.listenSocket, -1);
  EXPECT_EQ(tls()->bound, 0u);
  EXPECT_EQ(close_ifc(), 0u);
}

TEST_F(Tpi, AServerThreadTakesTheForkSwitchFromTheConfiguration) {
  struct Case {
    const char* server;
    uint32_t fork;
  };
  const Case cases[] = {
      {"", 0},
      {"[SERVER]\nForkOnConnect=0\n", 0},
      {"[SERVER]\nForkOnConnect=1\n", 1},
  };
  for (const Case& c : cases) {
    configure("", c.server);
    QvGetStpParams()->listenQLen = 255;
    TpLocalAddr local{};
    ASSERT_EQ(init_ifc(&local), 0u);
    EXPECT_EQ(QvIsMultiProcessed(), c.fork) << c.server;
    struct sigaction now {};
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler == processTermChld_handler, c.fork == 1) << c.server;
    EXPECT_EQ(close_ifc(), 0u);
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_NE(now.sa_handler, processTermChld_handler) << "the previous disposition is back";
  }

  // A thread that makes an outgoing connection never forks afterwards.
  TpLocalAddr local{};
  ASSERT_EQ(init_ifc(&local), 0u);
  ASSERT_EQ(QvIsMultiProcessed(), 1u);
  Smachine* s = calling(1, {});
  EXPECT_EQ(TCONreq(s), kTpiConnectFailed);
  EXPECT_EQ(QvIsMultiProcessed(), 0u);
  EXPECT_EQ(close_ifc(), 0u);
}

TEST_F(Tpi, TheTcpProviderBindsOnceAndOnlyByItsName) {
  EXPECT_EQ(s_tp_bind("TP4", "duvik-1", nullptr), kTpiNoProvider);
  QvGetStpParams()->listenQLen = 255;
  giQuietMode = 1;
  TpLocalAddr local{};  // empty selector: a port of the system's choice
  ASSERT_EQ(init_ifc(&local), 0u);
  EXPECT_EQ(s_tp_bind("TP0TCP", "duvik-1", nullptr), 0u);
  const int listening = tls()->tp0.listenSocket;
  ASSERT_GE(listening, 0);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ASSERT_EQ(getsockname(listening, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ASSERT_EQ(local.tsap.len, 2u) << "the selector holds the port used";
  EXPECT_EQ(local.tsap.sel[0] << 8 | local.tsap.sel[1], ntohs(a.sin_port));
  EXPECT_EQ(s_tp_bind("TP0TCP", "duvik-1", nullptr), kTpiAlreadyBound);
  EXPECT_TRUE(traced("TPI:\tAttempt to bind to TP0TCP more than once.\n"));
  EXPECT_EQ(close_ifc(), 0u);
  EXPECT_EQ(tls()->tp0.listenSocket, -1);
  giQuietMode = 0;
}

TEST_F(Tpi, TransmitWithoutEndpointLeavesTheUnitQueued) {
  Smachine* s = connection(STA713, user_);
  queueUnit(s, 10);
  EXPECT_EQ(s_transmit(s), 0u);
  EXPECT_EQ(s->outQ.count, 1u);
  EXPECT_TRUE(sq_empty(&s->cnfQ));
}

TEST_F(Tpi, DisconnectEndsInSta01EvenWhenTheDrCannotBeWritten) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  ASSERT_EQ(shutdown(tcep(s)->socket, SHUT_WR), 0);  // every write fails from now on
  EXPECT_EQ(static_cast<int32_t>(disconnect(s)), -1);
  EXPECT_EQ(s->state, STA01);
  EXPECT_EQ(s->tcepId, -1);
  EXPECT_EQ(tls()->tp0.activeCount, 0u);
  EXPECT_TRUE(peer.closedByOther());
}

int gPolls = 0;
int gFired = 0;

TEST_F(Tpi, WithoutASocketThePassEndsAtOnceAndNoTimerRuns) {
  gPolls = 0;
  gFired = 0;
  gTp0Sys.poll = [](pollfd*, nfds_t, int) {
    ++gPolls;
    return 0;
  };
  newtimer(1, 1, 0, 0, 0, [](uint64_t, uint32_t, uint64_t, uint32_t) -> uint32_t {
    ++gFired;
    return 0;
  });
  EXPECT_EQ(do_session_queue(), -1);
  EXPECT_EQ(gPolls, 0) << "nothing to wait for";
  EXPECT_EQ(gFired, 0) << "no timer after a failed pass";
  EXPECT_TRUE(traced("No socket alive\n"));

  // With a socket to watch, the pass is followed by the timers.
  gTp0Sys.poll = ::poll;
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  EXPECT_EQ(passNow(), 0);
  EXPECT_EQ(gFired, 1);
}

void hostHandler(int) {}

TEST_F(Tpi, AHostSigpipeHandlerSurvivesOtherwiseSigpipeIsIgnored) {
  struct sigaction a {};
  a.sa_handler = hostHandler;
  sigemptyset(&a.sa_mask);
  ASSERT_EQ(sigaction(SIGPIPE, &a, nullptr), 0);
  TpLocalAddr local{};
  ASSERT_EQ(init_ifc(&local), 0u);
  struct sigaction now {};
  sigaction(SIGPIPE, nullptr, &now);
  EXPECT_EQ(now.sa_handler, hostHandler);

  a.sa_handler = SIG_DFL;
  ASSERT_EQ(sigaction(SIGPIPE, &a, nullptr), 0);
  ASSERT_EQ(init_ifc(&local), 0u);
  sigaction(SIGPIPE, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
}

}  // namespace
