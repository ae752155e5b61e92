// The session layer over TP0 over TCP against a peer on loopback: connect,
// data both ways and release, aborts in both directions, and an outside
// decoder's view of the traffic.
#include <algorithm>

#include "support/tpkt_capture.h"
#include "tp0_fixture.h"

namespace {

class Tp0Stack : public Tp0Test {
 protected:
  // A packet the peer reads, kept.
  std::string peerReads(const PeerFd& peer) {
    std::string p = peer.readTpkt();
    if (!p.empty()) traffic_.push_back({true, p});
    return p;
  }
  void peerWrites(const PeerFd& peer, const std::string& p) {
    traffic_.push_back({false, p});
    peer.write(p);
  }
  // A request or response of the user on its connection, with credit 1.
  int32_t request(Smachine* s, uint32_t event, const std::string& data = "") {
    SIDU x{};
    x.event = event;
    x.credit = 1;
    if (!data.empty()) x.userData = bufferWith(data);
    return session(s, &x);
  }

  // S-CONNECT over TCP, accepted by the peer with a hand-written AC.
  Smachine* establish(const Listener& l, PeerFd* peer) {
    address_ = SAddress{};
    address_.ssap.len = 2;
    address_.ssap.sel[1] = 0x02;
    address_.tsap.len = 2;
    address_.tsap.sel[0] = static_cast<uint8_t>(l.port() >> 8);
    address_.tsap.sel[1] = static_cast<uint8_t>(l.port() & 0xFF);
    address_.nsap.len = 4;
    address_.nsap.addr[0] = 127;
    address_.nsap.addr[3] = 1;
    SIDU req{};
    const SSAPaddr own = selector({0x00, 0x01});
    req.callingSsap = &own;
    req.address = &address_;
    req.requirements = SR_DUPLEX;
    req.version = 2;
    req.credit = 1;
    req.userData = bufferWith("hello CN");
    Smachine* s = s_connect(&req);
    EXPECT_NE(s, nullptr);
    if (s == nullptr) return nullptr;
    EXPECT_EQ(s->texp, 0) << "TP0 offers no expedited flow";
    *peer = l.accept();
    const std::string cr = peerReads(*peer);
    peerWrites(*peer, ccPacket(cr));
    EXPECT_EQ(do_session_queue(), 0);  // CC
    (void)passNow();                   // T-CONNECT confirm: the CN goes
    const std::string cn = peerReads(*peer);
    EXPECT_EQ(toHex(cn.substr(7, 1)), "0D") << "CN";
    // AC: version 2, duplex.
    peerWrites(*peer, dtPacket(hex("0E 0C 05 06 13 01 00 16 01 02 14 02 00 02")));
    EXPECT_EQ(do_session_queue(), 0);
    EXPECT_EQ(s->state, STA713);
    EXPECT_EQ(seenEvents().back(), SI_CON_CNF);
    return s;
  }

  SAddress address_{};
  std::vector<CapturedTpkt> traffic_;
};

TEST_F(Tp0Stack, ConnectDataAndRelease) {
  Listener l;
  PeerFd peer;
  Smachine* s = establish(l, &peer);
  ASSERT_NE(s, nullptr);

  ASSERT_EQ(request(s, 15, "ping"), 1);  // S-DATA
  EXPECT_EQ(toHex(peerReads(peer)), "03 00 00 0F 02 F0 80 01 00 01 00 70 69 6E 67");
  peerWrites(peer, dtPacket(hex("01 00 01 00") + "pong"));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(gData.back(), "pong");
  const std::vector<uint32_t> seen = seenEvents();
  EXPECT_NE(std::find(seen.begin(), seen.end(), SI_DT_CNF), seen.end()) << "the sent unit came back";

  ASSERT_EQ(request(s, 19), 1);  // S-RELEASE
  EXPECT_EQ(toHex(peerReads(peer).substr(7)), "09 03 11 01 01") << "FN";
  peerWrites(peer, dtPacket(hex("0A 00")));  // DN
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(seenEvents().back(), SI_REL_CNF);
  const std::string dr = peerReads(peer);
  EXPECT_EQ(toHex(dr.substr(0, 6)), "03 00 00 0B 06 80") << "the client ends the transport connection with DR";
  EXPECT_TRUE(peer.closedByOther());
  EXPECT_EQ(connectionCount(), 0u);
  EXPECT_EQ(QvGetSbCount(), 0u);

  // The same traffic through tshark's TPKT, COTP and session dissectors.
  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  const TsharkView view = decodeTpktTraffic(traffic_, dir_, l.port());
  ASSERT_EQ(view.error, "");
  const std::string& fields = view.fields;
  const std::string& detail = view.detail;
  EXPECT_EQ(detail.find("Malformed"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("Expert Info (Error"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("Expert Info (Warning"), std::string::npos) << detail;
  // One line per packet: the COTP type, then the SPDU type(s).
  EXPECT_EQ(fields,
            "0x0e;\n"      // CR
            "0x0d;\n"      // CC
            "0x0f;13\n"    // DT: CN
            "0x0f;14\n"    // DT: AC
            "0x0f;1,1\n"   // DT: GT + DT
            "0x0f;1,1\n"
            "0x0f;9\n"     // DT: FN
            "0x0f;10\n"    // DT: DN
            "0x08;\n")     // DR
      << detail;
}

TEST_F(Tp0Stack, AShortUserAbortCrossesToThePeer) {
  Listener l;
  PeerFd peer;
  Smachine* s = establish(l, &peer);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(request(s, 31), 1);  // S-U-ABORT without data
  EXPECT_EQ(toHex(peerReads(peer)), "03 00 00 0C 02 F0 80 19 03 11 01 03");
  EXPECT_EQ(s->state, STA16);
  peer.reset();  // the peer ends the transport connection
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(connectionCount(), 0u);
}

TEST_F(Tp0Stack, APeersShortAbortReachesTheUserAsItsAbort) {
  Listener l;
  PeerFd peer;
  Smachine* s = establish(l, &peer);
  ASSERT_NE(s, nullptr);
  s->credit = 1;
  peerWrites(peer, dtPacket(hex("19 03 11 01 03")));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(seenEvents().back(), SI_UAB_IND) << "S-U-ABORT, not a protocol error";
  EXPECT_EQ(toHex(peerReads(peer).substr(4, 2)), "06 80") << "DR";
  EXPECT_TRUE(peer.closedByOther());
  EXPECT_EQ(connectionCount(), 0u);
}

}  // namespace
