// TPKT and TPDU on the wire: size codes, segmentation of units to the TPDU
// size, partial writes, reassembly of packets read in pieces, packets that
// end the connection, and packet encryption.
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tp0_fixture.h"

namespace {

class Tpkt : public Tp0Test {};

TEST(TpduSize, CodesAndSizes) {
  const std::pair<uint32_t, uint32_t> toCode[] = {
      {65531, 255}, {65530, 15}, {65535, 255}, {0xFFFFFFFF, 255}, {32768, 15}, {16384, 14}, {8192, 13},
      {4096, 12},   {2048, 11},  {2047, 10},   {1024, 10},        {512, 9},    {256, 8},    {255, 7}, {0, 7}};
  for (const auto& [size, code] : toCode) EXPECT_EQ(cnvtTPDUsizeToTPDUop(size), code) << size;
  const std::pair<uint32_t, uint32_t> toSize[] = {{7, 128}, {11, 2048}, {15, 32768}, {255, 65531},
                                                  {16, 0},  {6, 0},     {0, 0},       {254, 0}};
  for (const auto& [code, size] : toSize) EXPECT_EQ(cnvtTPDUopToTPDUsize(code), size) << code;
}

// The packets of one unit as the peer reads them: their DT headers, and the
// user data joined.
struct Received {
  std::vector<std::string> headers;  // TPKT and DT header of each packet, in hex
  std::string data;
};

Received readPackets(const PeerFd& peer, size_t count) {
  Received r;
  for (size_t i = 0; i < count; ++i) {
    const std::string p = peer.readTpkt();
    if (p.size() < 7) break;
    r.headers.push_back(toHex(p.substr(0, 7)));
    r.data += p.substr(7);
  }
  return r;
}

TEST_F(Tpkt, AUnitIsCutIntoPacketsOfTheTpduSize) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  struct Case {
    size_t length;
    bool end;
    std::vector<std::string> headers;
  };
  const Case cases[] = {
      {4082, true, {"03 00 08 00 02 F0 00", "03 00 08 00 02 F0 80"}},
      {4083, true, {"03 00 08 00 02 F0 00", "03 00 08 00 02 F0 00", "03 00 00 08 02 F0 80"}},
      {2041, true, {"03 00 08 00 02 F0 80"}},
      {10, false, {"03 00 00 11 02 F0 00"}},  // the unit goes on in the next buffer
      {0, true, {"03 00 00 07 02 F0 80"}},
  };
  for (const Case& c : cases) {
    const std::string text = queueUnit(s, c.length, c.end);
    EXPECT_EQ(s_transmit(s), 0u);
    const Received r = readPackets(peer, c.headers.size());
    EXPECT_EQ(r.headers, c.headers) << c.length;
    EXPECT_EQ(r.data, text) << c.length;
    EXPECT_TRUE(sq_empty(&s->outQ));
  }
  EXPECT_EQ(s->cnfQ.count, 5u);
  // The sent units go back to the user at the next pass.
  gSeen.clear();
  EXPECT_EQ(passNow(), 0);
  EXPECT_EQ(seenEvents(), std::vector<uint32_t>(5, SI_DT_CNF));
  EXPECT_TRUE(sq_empty(&s->cnfQ));
}

TEST_F(Tpkt, WhatTheSocketCannotTakeAtOnceIsWrittenByThePollLoop) {
  // Small buffers on both sides, the peer's from before the connection is
  // made: how much a socket takes at once follows the window the peer has
  // offered, and a window offered (or grown by the kernel's tuning, which
  // depends on timing) before a later SO_RCVBUF can let all four units go
  // at once.
  const int small = 4096;
  Listener l("127.0.0.1", small);
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  setsockopt(tcep(s)->socket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  s->credit = 0;  // only the writes are waited for
  std::string sent;
  for (int i = 0; i < 4; ++i) sent += queueUnit(s, 10000);
  EXPECT_EQ(s_transmit(s), 0u);
  EXPECT_NE(tcep(s)->sendState, TxIdle) << "the socket took part of it";

  // The peer takes what has arrived and cuts whole packets out of it; the
  // rest of a packet comes once the poll loop has written it.
  std::string data;
  std::string stream;
  size_t packets = 0;
  for (int round = 0; round < 2000 && data.size() < sent.size(); ++round) {
    pollfd p{peer.get(), POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      char chunk[65536];
      const ssize_t got = ::recv(peer.get(), chunk, sizeof chunk, 0);
      ASSERT_GT(got, 0);
      stream.append(chunk, static_cast<size_t>(got));
    }
    while (stream.size() >= 4) {
      const size_t len = static_cast<size_t>(static_cast<uint8_t>(stream[2])) << 8 | static_cast<uint8_t>(stream[3]);
      ASSERT_GE(len, 7u);
      if (stream.size() < len) break;
      ++packets;
      EXPECT_LE(len, 2048u);
      data += stream.substr(7, len - 7);
      stream.erase(0, len);
    }
    if (tcep(s)->sendState != TxIdle) {
      ASSERT_EQ(do_session_queue(), 0);
    }
  }
  EXPECT_EQ(data, sent);
  EXPECT_EQ(packets, 4u * 5u);  // 10000 octets: four packets of 2041 and one of 1836
  EXPECT_EQ(tcep(s)->sendState, TxIdle);
}

// S-DATA SPDUs (GT then DT with user data) in one DT TPDU each.
std::string dataPacket(const std::string& text) { return dtPacket(hex("01 00 01 00") + text); }

TEST_F(Tpkt, CallingSocketSendsWithoutDelay) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  int on = 0;
  socklen_t len = sizeof on;
  ASSERT_EQ(getsockopt(tcep(s)->socket, IPPROTO_TCP, TCP_NODELAY, &on, &len), 0);
  EXPECT_EQ(on, 1);
}

TEST_F(Tpkt, EveryPacketOfOneReadIsHandledAndPiecesAreJoinedAcrossReads) {
  const std::string stream = dataPacket("first") + dataPacket(std::string(2000, 'x')) + dataPacket("third");
  // How the stream is cut into the peer's writes: all at once, or in pieces
  // that end inside headers and bodies of the packets.
  const std::vector<std::vector<size_t>> cuts = {{}, {3, 12, 20, 1500, 2015, 2030, 2033}, {1, 2, 3, 4, 5, 6, 7}};
  for (const std::vector<size_t>& cut : cuts) {
    Listener l;
    Smachine* s = nullptr;
    PeerFd peer = openConnection(l, &s);
    gData.clear();
    gSeen.clear();
    size_t at = 0;
    for (size_t end : cut) {
      peer.write(stream.substr(at, end - at));
      at = end;
      s->credit = 10;
      EXPECT_EQ(tp0tcp_rcv_pkt(s) >= 0, true);
    }
    peer.write(stream.substr(at));
    s->credit = 10;
    for (int i = 0; i < 50 && gData.size() < 3; ++i) EXPECT_GE(do_session_queue(), 0);
    EXPECT_EQ(gData, (std::vector<std::string>{"first", std::string(2000, 'x'), "third"})) << cut.size();
    if (cut.empty()) {
      EXPECT_EQ(tcep(s)->rxEnd, stream.size()) << "one read took all three";
      EXPECT_EQ(tcep(s)->rxStart, tcep(s)->rxEnd) << "and all were handled";
    }
    tp0tcp_close_con(tcep(s));
  }
}

TEST_F(Tpkt, PacketsReadAheadWaitForCreditAndComeWithoutNewData) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  gData.clear();
  peer.write(dataPacket("one") + dataPacket("two"));
  s->credit = 1;
  for (int i = 0; i < 50 && gData.empty(); ++i) EXPECT_GE(do_session_queue(), 0);
  ASSERT_EQ(gData, std::vector<std::string>{"one"});
  EXPECT_EQ(s->credit, 0u);
  EXPECT_GT(tcep(s)->rxEnd - tcep(s)->rxStart, 0u) << "the second packet was read with the first";
  EXPECT_EQ(passNow(), -1) << "no credit: nothing to wait for";
  EXPECT_EQ(gData.size(), 1u);
  // Credit given: the next pass hands it up although the socket is quiet.
  s->credit = 1;
  QvGetStpParams()->pollWait = 5;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "not waited for the socket";
  EXPECT_EQ(gData, (std::vector<std::string>{"one", "two"}));
}

TEST_F(Tpkt, TheBuffersOfAUnitGoOutTogetherEachWithItsPacketHeaders) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  // Three buffers of one unit: 5000 octets (packets of 2041, 2041 and 918
  // octets of data at TPDU size 2048), 10 octets, and 3 octets closing it.
  std::string text = queueUnit(s, 5000, false);
  text += queueUnit(s, 10, false);
  text += queueUnit(s, 3, true);
  EXPECT_EQ(s_transmit(s), 0u);
  EXPECT_EQ(tcep(s)->sendState, TxIdle);
  EXPECT_EQ(s->cnfQ.count, 3u) << "every buffer written whole";
  const Received r = readPackets(peer, 5);
  EXPECT_EQ(r.headers, (std::vector<std::string>{"03 00 08 00 02 F0 00", "03 00 08 00 02 F0 00",
                                                  "03 00 03 9D 02 F0 00", "03 00 00 11 02 F0 00",
                                                  "03 00 00 0A 02 F0 80"}));
  EXPECT_EQ(r.data, text);
}

TEST_F(Tpkt, AHeaderArrivingOneOctetAtATimeIsAssembled) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  const std::string packet = dtPacket(hex("01 00 01 00") + "hello");
  for (size_t i = 0; i < 4; ++i) {
    peer.write(packet.substr(i, 1));
    EXPECT_EQ(do_session_queue(), 0);
    EXPECT_EQ(tcep(s)->rxEnd - tcep(s)->rxStart, i + 1) << "kept until the packet is whole: " << i;
  }
  peer.write(packet.substr(4, 3));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_TRUE(gData.empty()) << "the TPDU is not whole yet";
  peer.write(packet.substr(7));
  EXPECT_EQ(do_session_queue(), 0);
  ASSERT_EQ(seenEvents(), std::vector<uint32_t>{SI_DT_IND});
  EXPECT_EQ(gData.back(), "hello");
}

TEST_F(Tpkt, PacketsThatCannotBeTakenCloseTheConnection) {
  struct Case {
    const char* what;
    std::string octets;
  };
  const Case cases[] = {
      {"version 2", tpkt(hex("02 F0 80 01 00 01 00"), 2)},
      {"length 4: no TPDU", hex("03 00 00 04")},
      {"length 3", hex("03 00 00 03")},
      {"length 0", hex("03 00 00 00")},
      {"LI past the octets read", hex("03 00 00 08 0A F0 80 01")},
      {"DT LI below its fixed part", hex("03 00 00 07 01 F0 80")},
      {"DR LI below its fixed part", hex("03 00 00 09 04 80 00 00 00")},
      {"CC LI below its fixed part", hex("03 00 00 09 04 D0 00 00 00")},
      {"longer than the size agreed", hex("03 00 08 05") + std::string(2049, '\x01')},
  };
  for (const Case& c : cases) {
    Listener l;
    Smachine* s = nullptr;
    PeerFd peer = openConnection(l, &s);
    gSeen.clear();
    peer.write(c.octets);
    EXPECT_EQ(do_session_queue(), 0) << c.what;
    const std::vector<uint32_t> seen = seenEvents();
    ASSERT_FALSE(seen.empty()) << c.what;
    EXPECT_EQ(seen.back(), SI_PAB_IND) << c.what;
    EXPECT_EQ(gSeen.back().sidu.reason, kPAbortTransport) << c.what;
    EXPECT_EQ(tls()->tp0.activeCount, 0u) << c.what;
    EXPECT_TRUE(peer.closedByOther()) << c.what;
    EXPECT_EQ(do_session_queue(), -1) << c.what << ": nothing is read again";
  }
  // The oversize packet was announced before the connection went.
  EXPECT_EQ(seenEvents(), (std::vector<uint32_t>{SI_FLO_IND, SI_PAB_IND}));
}

TEST_F(Tpkt, AnUnknownTpduIsDroppedAndTheConnectionGoesOn) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  peer.write(tpkt(hex("02 10 80 AA")));  // ED: not in class 0
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(tcep(s)->state, kTcepOpen);
  peer.write(dtPacket(hex("01 00 01 00") + "after"));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(gData.back(), "after");
}

// ---------------------------------------------------------------------------
// Packet encryption (mode 1): libcrypto through the wrapper; `openssl enc`
// is the outside judge of the ciphertext.

bool haveOpenssl() { return std::system("command -v openssl >/dev/null 2>&1") == 0; }

std::string keyHex() {
  std::string k;
  char b[3];
  for (unsigned char c : __gQvCrypt__) {
    std::snprintf(b, sizeof b, "%02X", c);
    k += b;
  }
  return k;
}

// Runs `openssl enc` on `in` (-e or -d) with the built-in key.
std::string opensslEnc(const std::string& dir, const char* mode, const std::string& in) {
  const std::string from = dir + "/enc.in";
  const std::string to = dir + "/enc.out";
  std::ofstream(from, std::ios::binary) << in;
  const std::string cmd = "openssl enc " + std::string(mode) + " -aes-128-ecb -K " + keyHex() + " -in " + from +
                          " -out " + to + " 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return "(openssl failed)";
  std::ifstream f(to, std::ios::binary);
  std::ostringstream o;
  o << f.rdbuf();
  return o.str();
}

class TpktEncrypted : public Tpkt {
 protected:
  void SetUp() override {
    Tpkt::SetUp();
    configure("EncryptionPackage=1\n");
    if (qvcrypt_init(-1) != 1) GTEST_SKIP() << "libcrypto is not installed";
    ASSERT_EQ(tp0tcp_init(), 0u);
    ASSERT_EQ(encryptMode, 1u);
    version_ = 4;
  }
};

TEST_F(TpktEncrypted, AUnitGoesOutEncipheredWholeInClearHeaders) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  EXPECT_EQ(cr_.substr(0, 1), "\x04") << "CR: version 4, in clear";
  const std::string text = queueUnit(s, 100);
  EXPECT_EQ(s_transmit(s), 0u);
  const std::string p = peer.readTpkt();
  ASSERT_EQ(p.size(), 119u);
  EXPECT_EQ(toHex(p.substr(0, 7)), "04 00 00 77 02 F0 80");
  const std::string cipher = p.substr(7);
  EXPECT_EQ(cipher.size(), 112u);
  EXPECT_NE(cipher.substr(0, 100), text);
  if (!haveOpenssl()) GTEST_SKIP() << "openssl is not installed";
  EXPECT_EQ(opensslEnc(dir_, "-d", cipher), text);

  // Each unit starts a new cipher stream: the same unit again, the same
  // octets.
  queueUnit(s, 100);
  EXPECT_EQ(s_transmit(s), 0u);
  EXPECT_EQ(peer.readTpkt().substr(7), cipher);

  // The connection's cipher contexts go with it.
  TCEP* e = tcep(s);
  EXPECT_NE(e->encryptCtx, nullptr);
  EXPECT_NE(e->decryptCtx, nullptr);
  tp0tcp_close_con(e);
  EXPECT_EQ(e->encryptCtx, nullptr);
  EXPECT_EQ(e->decryptCtx, nullptr);
  EXPECT_EQ(e->cipherBuf, nullptr);
}

TEST_F(TpktEncrypted, ReceivedCiphertextIsDecipheredIntoPoolBuffers) {
  if (!haveOpenssl()) GTEST_SKIP() << "openssl is not installed";
  ASSERT_EQ(init_buffers(20, 4096), 1);
  QvGetStpParams()->tpduSize = 8192;
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s, 0x0D);
  ASSERT_EQ(tcep(s)->tpduSize, 8192u);
  s->credit = 2;
  // A DT of 5000 octets of user data: 5008 octets of ciphertext in one
  // TPDU, more than one pool buffer holds.
  std::string text;
  for (int i = 0; i < 5000; ++i) text.push_back(static_cast<char>('a' + i % 26));
  const std::string cipher = opensslEnc(dir_, "-e", hex("01 00 01 00") + text);
  ASSERT_EQ(cipher.size(), 5008u);
  peer.write(dtPacket(cipher, true, 4));
  EXPECT_EQ(do_session_queue(), 0);
  ASSERT_EQ(seenEvents(), (std::vector<uint32_t>{SI_DT_IND, SI_DT_IND}));
  EXPECT_EQ(gData[0] + gData[1], text);
  EXPECT_EQ(s->rcvPending, 0);

  // A unit cut into several TPDUs deciphers the same.
  gData.clear();
  gSeen.clear();
  s->credit = 2;
  const std::string unit = opensslEnc(dir_, "-e", hex("01 00 01 00") + text.substr(0, 300));
  peer.write(dtPacket(unit.substr(0, 100), false, 4) + dtPacket(unit.substr(100, 7), false, 4) +
             dtPacket(unit.substr(107), true, 4));
  EXPECT_EQ(do_session_queue(), 0);
  ASSERT_EQ(seenEvents(), std::vector<uint32_t>{SI_DT_IND});
  EXPECT_EQ(gData[0], text.substr(0, 300));
}

TEST_F(TpktEncrypted, AClearPacketClosesTheConnection) {
  Listener l;
  Smachine* s = nullptr;
  PeerFd peer = openConnection(l, &s);
  peer.write(dtPacket(hex("01 00 01 00") + "clear", true, 3));
  EXPECT_EQ(do_session_queue(), 0);
  EXPECT_EQ(seenEvents().back(), SI_PAB_IND);
  EXPECT_TRUE(traced("TP0:\twrong TPDU version number (3), TCEP ID="));
  EXPECT_TRUE(peer.closedByOther());
}

}  // namespace
