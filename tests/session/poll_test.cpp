// The poll loop: sockets to watch, the wait, round-robin service, credit,
// received units handed up across pool buffers, and disconnection.
#include <sys/socket.h>

#include <chrono>

#include "tp0_fixture.h"

namespace {

class Poll : public Tp0Test {};

int gPolls = 0;

TEST_F(Poll, WithoutASocketThePassEndsWithoutWaiting) {
  gPolls = 0;
  gTp0Sys.poll = [](pollfd*, nfds_t, int) {
    ++gPolls;
    return 0;
  };
  EXPECT_EQ(tp0tcp_poll_events(), -1);
  EXPECT_EQ(gPolls, 0);
  ASSERT_FALSE(gTraceLines.empty());
  EXPECT_NE(gTraceLines.back().find("No socket alive\n"), std::string::npos);
}

TEST_F(Poll, AWaitWithNothingArrivingEndsAfterThePollWait) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  QvGetStpParams()->pollWait = 1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(do_session_queue(), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST_F(Poll, ConnectionsAreServedInTurnAndAnEarlyEndResumesWithTheNext) {
  Listener l;
  Smachine* s[3] = {};
  PeerFd peer[3];
  for (int i = 0; i < 3; ++i) peer[i] = openConnection(l, &s[i]);
  auto dataFrom = [&](int i) { peer[i].write(dtPacket(hex("01 00 01 00") + std::string(1, static_cast<char>('A' + i)))); };
  auto order = [&] {
    std::string o;
    for (size_t k = 0; k < gSeen.size(); ++k)
      if (gSeen[k].sidu.event == SI_DT_IND) o += gData[k];
    return o;
  };

  for (int i = 0; i < 3; ++i) dataFrom(i);
  gSeen.clear();
  gData.clear();
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(order(), "ABC");

  // B's read fails: the pass ends there, and the next one begins with C.
  for (int i = 0; i < 3; ++i) s[i]->credit = 1;
  dataFrom(0);
  dataFrom(2);
  linger reset{1, 0};
  setsockopt(peer[1].get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  peer[1].reset();  // the connection is reset: its read fails
  gSeen.clear();
  gData.clear();
  EXPECT_EQ(do_session_queue(), -1);
  EXPECT_EQ(order(), "A");
  EXPECT_EQ(seenEvents().back(), SI_PAB_IND) << "B's user learns its connection went";
  s[0]->credit = 1;
  dataFrom(0);
  gSeen.clear();
  gData.clear();
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(order(), "CA");
}

TEST_F(Poll, WithoutCreditNothingIsReadUntilCreditIsGiven) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  s->credit = 0;
  peer.write(dtPacket(hex("01 00 01 00") + "waits"));
  pollfd arrived{tcep(s)->socket, POLLIN, 0};
  ASSERT_EQ(::poll(&arrived, 1, 2000), 1);
  EXPECT_EQ(tp0tcp_poll_events(), -1) << "the socket is not watched";
  EXPECT_EQ(tp0tcp_rcv_pkt(s), 0) << "data waiting without credit is no failure";
  EXPECT_TRUE(gData.empty());
  s->credit = 1;
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(gData.back(), "waits");

  // A peer that leaves is noticed without credit.
  s->credit = 0;
  arrived.fd = tcep(s)->socket;
  peer.reset();
  ASSERT_EQ(::poll(&arrived, 1, 2000), 1);
  EXPECT_EQ(tp0tcp_rcv_pkt(s), 0);
  EXPECT_EQ(seenEvents().back(), SI_PAB_IND);
}

TEST_F(Poll, AUnitLongerThanAPoolBufferReachesTheReaderAndTheDataIndication) {
  ASSERT_EQ(init_buffers(20, 4096), 1);
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  s->credit = 2;
  std::string text;
  for (int i = 0; i < 5000; ++i) text.push_back(static_cast<char>('0' + i % 10));
  const std::string spdu = hex("01 00 01 00") + text;  // 5004 octets: three TPDUs of 2048 at most
  peer.write(dtPacket(spdu.substr(0, 2041), false) + dtPacket(spdu.substr(2041, 2041), false) +
             dtPacket(spdu.substr(4082), true));
  EXPECT_EQ(do_session_queue(), 0);
  ASSERT_EQ(seenEvents(), (std::vector<uint32_t>{SI_DT_IND, SI_DT_IND}));
  EXPECT_EQ(gData[0].size(), 4092u) << "a full buffer, its SPDU header read";
  EXPECT_EQ(gData[0] + gData[1], text);
  EXPECT_EQ(s->rcvPending, 0);
  EXPECT_EQ(s->credit, 0u) << "one unit of credit for each buffer";
}

TEST_F(Poll, ADtWithATpduNumberIsAnsweredWithDrAndEndsTheConnection) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  const int sock = tcep(s)->socket;
  peer.write(tpkt(hex("02 F0 81 01 00 01 00")));
  EXPECT_EQ(do_session_queue(), 0);
  const std::string dr = peer.readTpkt();
  EXPECT_EQ(toHex(dr), "03 00 00 0B 06 80 00 00 " + toHex(std::string{static_cast<char>(sock & 0xFF)}) + " " +
                           toHex(std::string{static_cast<char>(sock >> 8)}) + " 00");
  EXPECT_TRUE(peer.closedByOther());
  EXPECT_EQ(seenEvents().back(), SI_PAB_IND);
  EXPECT_EQ(tls()->tp0.activeCount, 0u);
}

TEST_F(Poll, TheEndOfAConnectionReachesTheSessionMachine) {
  struct Case {
    const char* what;
    std::string octets;  // empty: the peer closes
  };
  const Case cases[] = {{"DR", tpkt(hex("06 80 00 00 09 00 00"))}, {"peer closes", ""}};
  for (const Case& c : cases) {
    Listener l;
    Smachine* s = nullptr;
    PeerFd peer = openConnection(l, &s);
    gSeen.clear();
    if (c.octets.empty()) {
      peer.reset();
    } else {
      peer.write(c.octets);
    }
    EXPECT_EQ(do_session_queue(), 0) << c.what;
    EXPECT_EQ(seenEvents(), std::vector<uint32_t>{SI_PAB_IND}) << c.what;
    EXPECT_EQ(tls()->tp0.activeCount, 0u) << c.what;
  }
}

TEST_F(Poll, ClosingTwiceOnlyTracesTheSecondTime) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  TCEP* e = tcep(s);
  tp0tcp_close_con(e);
  EXPECT_EQ(s->tcepId, -1);
  EXPECT_EQ(s->credit, 0u);
  EXPECT_EQ(e->socket, kNoSocket);
  EXPECT_EQ(e->state, kTcepFree);
  EXPECT_TRUE(peer.closedByOther());
  gTraceLines.clear();
  tp0tcp_close_con(e);
  EXPECT_TRUE(traced("TP0:\tConnection is already closed. So not doing it again.\n"));
  EXPECT_FALSE(traced("TP0:\tClosed connection\n"));
}

TEST_F(Poll, AConnectionReleasedWithoutDisconnectIsClosed) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  const int32_t id = s->tcepId;
  s_release(s);
  EXPECT_EQ(tls()->tp0.tcep[id].state, kTcepFree) << "no endpoint keeps the freed record";
  EXPECT_TRUE(peer.closedByOther());
  EXPECT_EQ(do_session_queue(), -1);
}

}  // namespace
