// TP0 over TCP, calling side: endpoints, address choice and fallback, the
// port, the CR on the wire and the CC that opens or fails the connection.
#include <arpa/inet.h>

#include <cerrno>

#include "src/session/tp0addr.h"
#include "tp0_fixture.h"

namespace {

class Tp0Connect : public Tp0Test {};

std::string octetHex(uint8_t o) { return toHex(std::string(1, static_cast<char>(o))); }

TEST_F(Tp0Connect, TheCrAsksForTheSizeAndNamesBothSelectors) {
  // Socket 7, local selector 00 01, called selector 13 88, size 2048.
  TCEP e{};
  e.socket = 7;
  e.tpduSize = 2048;
  const uint8_t local[2] = {0x00, 0x01};
  const uint8_t called[2] = {0x13, 0x88};
  tp0tcp_buildCR(&e, local, called);
  EXPECT_EQ(toHex(std::string(reinterpret_cast<const char*>(e.header) + 4, 18)),
            "11 E0 00 00 07 00 00 C1 02 00 01 C2 02 13 88 C0 01 0B");

  // On the wire, with its TPKT header, from the socket the connection got.
  Listener l;
  Smachine* s = calling(l.port());
  ASSERT_EQ(TCONreq(s), 0u);
  PeerFd peer = l.accept();
  const std::string cr = peer.readTpkt();
  const int sock = tcep(s)->socket;
  EXPECT_EQ(toHex(cr), "03 00 00 16 11 E0 00 00 " + octetHex(sock & 0xFF) + " " + octetHex((sock >> 8) & 0xFF) +
                           " 00 C1 02 00 01 C2 02 " + octetHex(l.port() >> 8) + " " + octetHex(l.port() & 0xFF) +
                           " C0 01 0B");
  EXPECT_EQ(tcep(s)->state, kTcepCrSent);
  EXPECT_EQ(s->texp, 0);
}

TEST_F(Tp0Connect, TheSizeAskedForIsTheSizeItsCodeStandsFor) {
  struct Case {
    uint32_t configured;
    uint32_t asked;
    const char* code;
  };
  const Case cases[] = {{2048, 2048, "0B"}, {3000, 2048, "0B"}, {65531, 65531, "FF"}, {100, 128, "07"}};
  for (const Case& c : cases) {
    QvGetStpParams()->tpduSize = c.configured;
    Listener l;
    Smachine* s = calling(l.port());
    ASSERT_EQ(TCONreq(s), 0u);
    PeerFd peer = l.accept();
    const std::string cr = peer.readTpkt();
    EXPECT_EQ(toHex(cr.substr(21)), c.code) << c.configured;
    EXPECT_EQ(tcep(s)->tpduSize, c.asked) << c.configured;
  }
}

TEST_F(Tp0Connect, ATwentyFirstConnectionIsRefused) {
  Listener l;
  for (int i = 0; i < kTcepCount; ++i) {
    Smachine* s = calling(l.port());
    ASSERT_EQ(TCONreq(s), 0u) << i;
    EXPECT_EQ(s->tcepId, i);
  }
  const int fds = openFds();
  Smachine* s = calling(l.port());
  EXPECT_EQ(TCONreq(s), kTp0ConnectFailed);
  EXPECT_TRUE(traced("TP0:\tConnect request failed.\n\tToo many connections.\n"));
  EXPECT_EQ(s->tcepId, -1);
  EXPECT_EQ(tls()->tp0.activeCount, 20u);
  EXPECT_EQ(openFds(), fds);
}

struct Attempt {
  std::string address;
  uint16_t port;
  bool operator==(const Attempt&) const = default;
};
std::vector<Attempt> gAttempts;

int refuseAll(int, const sockaddr* a, socklen_t) {
  const auto* in = reinterpret_cast<const sockaddr_in*>(a);
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  gAttempts.push_back({text, ntohs(in->sin_port)});
  errno = ECONNREFUSED;
  return -1;
}

TEST_F(Tp0Connect, AddressesAreTriedInListOrderEachOnANewSocket) {
  gTp0Sys.connect = refuseAll;
  struct Case {
    uint32_t selection;
    uint32_t seed;  // 8257: the first draw picks the third of three
    std::vector<Attempt> tried;
  };
  const Case cases[] = {
      {0, 1, {{"10.0.0.1", 5000}, {"10.0.0.2", 5000}, {"10.0.0.3", 5000}}},
      {2, 1, {{"10.0.0.1", 5000}, {"10.0.0.2", 5001}, {"10.0.0.3", 5002}}},
      {1, 8257, {{"10.0.0.3", 5000}, {"10.0.0.1", 5000}, {"10.0.0.2", 5000}, {"10.0.0.3", 5000}}},
      {3, 8257, {{"10.0.0.3", 5002}, {"10.0.0.1", 5000}, {"10.0.0.2", 5001}, {"10.0.0.3", 5002}}},
  };
  const int fds = openFds();
  for (const Case& c : cases) {
    gAttempts.clear();
    qvsrand(c.seed);
    QvGetStpParams()->addressSelection = c.selection;
    Smachine* s = calling(5000, {{10, 0, 0, 1}, {10, 0, 0, 2}, {10, 0, 0, 3}});
    EXPECT_EQ(TCONreq(s), kTp0ConnectFailed);
    EXPECT_EQ(gAttempts, c.tried) << "selection " << c.selection;
    EXPECT_EQ(s->tcepId, -1);
    EXPECT_EQ(tls()->tp0.activeCount, 0u);
  }
  EXPECT_EQ(openFds(), fds) << "every socket of a failed attempt is closed";
  EXPECT_TRUE(traced("TP0:\tConnect request failed.\n\tUnable to connect to remote system.\n\tconnect() failed: errno "));
  qvsrand(1);
}

TEST_F(Tp0Connect, ARefusedAddressGivesWayToTheNext) {
  Listener l("127.0.0.1");
  Smachine* s = calling(l.port(), {{127, 0, 0, 2}, {127, 0, 0, 3}, {127, 0, 0, 1}});
  ASSERT_EQ(TCONreq(s), 0u);
  PeerFd peer = l.accept();
  EXPECT_GE(peer.get(), 0);
  EXPECT_EQ(peer.readTpkt().size(), 22u);
  EXPECT_TRUE(traced("TP0:\tTrying to connect using IP address 127.0.0.3\n"));
  EXPECT_EQ(s->peerAddr.nsap.len, 4u) << "the address that answered";
  EXPECT_EQ(s->peerAddr.nsap.addr[3], 1);
}

int gConnects = 0;
int gWaits = 0;

TEST_F(Tp0Connect, AConnectInProgressIsWaitedForNotRetried) {
  gConnects = 0;
  gWaits = 0;
  gTp0Sys.connect = [](int fd, const sockaddr* a, socklen_t len) {
    ++gConnects;
    if (::connect(fd, a, len) != 0 && errno != EINPROGRESS) return -1;
    errno = EINPROGRESS;  // as a connect that has not finished at once
    return -1;
  };
  gTp0Sys.poll = [](pollfd* fds, nfds_t n, int ms) {
    ++gWaits;
    return ::poll(fds, n, ms);
  };
  Listener l;
  Smachine* s = calling(l.port());
  ASSERT_EQ(TCONreq(s), 0u);
  EXPECT_EQ(gConnects, 1);
  EXPECT_EQ(gWaits, 1);

  // Nobody listening: the outcome read after the wait is the failure.
  uint16_t port = 0;
  {
    Listener gone;
    port = gone.port();
  }
  Smachine* s2 = calling(port);
  EXPECT_EQ(TCONreq(s2), kTp0ConnectFailed);
  EXPECT_EQ(s2->tcepId, -1);
}

TEST_F(Tp0Connect, TsapdIsThePortWhateverTheSelectorHolds) {
  Listener l;
  configure("tsapd=" + std::to_string(l.port()) + "\n");
  ASSERT_EQ(tp0tcp_init(), 0u);
  EXPECT_EQ(tsapd_port, l.port());
  Smachine* s = calling(1);
  s->peerAddr.tsap.len = 0;
  ASSERT_EQ(TCONreq(s), 0u);
  PeerFd peer = l.accept();
  EXPECT_GE(peer.get(), 0);
}

TEST_F(Tp0Connect, AnEmptySelectorWithoutTsapdIsRefusedBeforeAnySocket) {
  Smachine* s = calling(1);
  s->peerAddr.tsap.len = 0;
  gTraceLines.clear();
  EXPECT_EQ(TCONreq(s), kTp0ConnectFailed);
  EXPECT_TRUE(traced("TP0:\tConnect request failed.\n\tInvalid remote port.\n"));
  EXPECT_FALSE(traced("createNewSocket() called"));
  // Nor is an empty address list taken for an address.
  Smachine* s2 = calling(5000, {});
  EXPECT_EQ(TCONreq(s2), kTp0ConnectFailed);
  EXPECT_TRUE(traced("TP0:\tConnect request failed.\n\tInvalid remote network address.\n"));
}

TEST_F(Tp0Connect, TheCcSetsTheSizeOrFailsTheConnection) {
  struct Case {
    uint8_t code;  // of the size parameter; 0: none
    bool opens;
    uint32_t size;
  };
  const Case cases[] = {{0x0A, true, 1024}, {0x0B, true, 2048}, {0, true, 2048}, {0x0C, false, 0}, {0x05, false, 0}};
  for (const Case& c : cases) {
    Listener l;
    Smachine* s = nullptr;
    PeerFd peer = connectTo(l, &s, c.code);
    gSeen.clear();
    EXPECT_EQ(do_session_queue(), 0);
    if (c.opens) {
      EXPECT_EQ(tcep(s)->state, kTcepOpen) << int(c.code);
      EXPECT_EQ(tcep(s)->tpduSize, c.size) << int(c.code);
      EXPECT_GE(tcep(s)->rcvBuf->capacity, c.size + 4) << "the receive area takes the longest packet";
      EXPECT_EQ(s->state, STA01B) << "the confirm comes with the next pass";
      (void)do_session_queue();
      EXPECT_EQ(s->state, STA02A) << int(c.code);
      tp0tcp_close_con(tcep(s));
    } else {
      EXPECT_EQ(tcep(s)->state, kTcepFailed) << int(c.code);
      EXPECT_TRUE(seenEvents().empty());
      EXPECT_EQ(do_session_queue(), -1) << "reported, and nothing left to watch";
      EXPECT_EQ(seenEvents(), std::vector<uint32_t>{SI_PAB_IND}) << int(c.code);
      EXPECT_EQ(tls()->tp0.activeCount, 0u);
      EXPECT_TRUE(peer.closedByOther());
    }
  }
}

TEST_F(Tp0Connect, ASecondCcFailsTheConnection) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = connectTo(l, &s);
  (void)do_session_queue();
  (void)do_session_queue();
  ASSERT_EQ(s->state, STA02A);
  s->credit = 1;
  peer.write(ccPacket(cr_));
  gSeen.clear();
  (void)do_session_queue();
  EXPECT_EQ(tcep(s)->state, kTcepFailed);
  (void)do_session_queue();
  EXPECT_EQ(seenEvents(), std::vector<uint32_t>{SI_PAB_IND});
  EXPECT_TRUE(peer.closedByOther());
}

TEST_F(Tp0Connect, ACcWithCreditBitsIsDroppedAndTheConnectionWaitsOn) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = connectTo(l, &s, 0x0B, 0xD1);
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(tcep(s)->state, kTcepCrSent);
  EXPECT_EQ(tcep(s)->confirmPending, 0);
  peer.write(ccPacket(cr_));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(tcep(s)->state, kTcepOpen);
}

TEST_F(Tp0Connect, ACcParameterRunningPastTheHeaderEndsTheWalk) {
  Listener l;
  Smachine* s = calling(l.port());
  ASSERT_EQ(TCONreq(s), 0u);
  PeerFd peer = l.accept();
  const std::string cr = peer.readTpkt();
  // LI 9: the size parameter claims 5 octets where 1 is left.
  peer.write(tpkt(hex("09 D0") + cr.substr(8, 2) + hex("00 09 00 C0 05 0A")));
  (void)do_session_queue();
  EXPECT_EQ(tcep(s)->state, kTcepOpen);
  EXPECT_EQ(tcep(s)->tpduSize, 2048u);
}

}  // namespace
