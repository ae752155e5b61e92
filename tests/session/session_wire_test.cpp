// Whole dialogues between two session record sets over the in-memory wire,
// and an outside decoder's view of the SPDUs they exchange.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "src/session/session_ind.h"
#include "src/session/spdu.h"
#include "src/session/sessiontls.h"
#include "support/recordset.h"
#include "support/session_wire.h"

namespace {

std::string hexOf(const std::vector<uint8_t>& octets) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (uint8_t c : octets) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

std::vector<uint32_t> events(const std::vector<SessionWire::Seen>& seen) {
  std::vector<uint32_t> out;
  for (const auto& x : seen) out.push_back(x.sidu.event);
  return out;
}

// Connects A to B with duplex and both versions offered, B accepting.
void establish(SessionWire& w, SAddress* peer) {
  *peer = SAddress{};
  peer->ssap = w.selector(SessionWire::B).ssap;
  SIDU req{};
  req.requirements = SR_DUPLEX;
  req.version = 3;
  req.address = peer;
  w.enter(SessionWire::A);
  req.userData = w.buffer("hello CN");
  ASSERT_NE(w.connect(&req), nullptr);
  w.pump();
  ASSERT_EQ(events(w.seen(SessionWire::B)), (std::vector<uint32_t>{SI_CON_IND}));
  EXPECT_EQ(w.seen(SessionWire::B)[0].data, "hello CN");
  EXPECT_EQ(w.connection(SessionWire::B)->state, STA08);

  SIDU acc{};
  acc.event = 13;
  acc.requirements = SR_DUPLEX;
  w.enter(SessionWire::B);
  acc.userData = w.buffer("hello AC");
  ASSERT_EQ(w.request(SessionWire::B, &acc), 1);
  w.pump();
  ASSERT_EQ(events(w.seen(SessionWire::A)), (std::vector<uint32_t>{SI_CON_CNF}));
  EXPECT_EQ(w.seen(SessionWire::A)[0].data, "hello AC");
  EXPECT_EQ(w.connection(SessionWire::A)->state, STA713);
  EXPECT_EQ(w.connection(SessionWire::B)->state, STA713);
  EXPECT_EQ(w.connection(SessionWire::A)->version, 2);
  EXPECT_EQ(w.connection(SessionWire::B)->version, 2);
}

int32_t sendData(SessionWire& w, SessionWire::Side side, const std::string& text) {
  w.enter(side);
  SIDU dt{};
  dt.event = 15;
  dt.userData = w.buffer(text);
  return w.request(side, &dt);
}

TEST(SessionWireDialogue, ConnectDataAndRelease) {
  SessionWire w;
  SAddress peer{};
  establish(w, &peer);

  ASSERT_EQ(sendData(w, SessionWire::A, "0123456789"), 1);
  ASSERT_EQ(sendData(w, SessionWire::B, "answer"), 1);
  w.pump();
  ASSERT_EQ(w.seen(SessionWire::B).size(), 2u);
  EXPECT_EQ(w.seen(SessionWire::B)[1].sidu.event, SI_DT_IND);
  EXPECT_EQ(w.seen(SessionWire::B)[1].data, "0123456789");
  ASSERT_EQ(w.seen(SessionWire::A).size(), 2u);
  EXPECT_EQ(w.seen(SessionWire::A)[1].data, "answer");

  SIDU rel{};
  rel.event = 19;
  ASSERT_EQ(w.request(SessionWire::A, &rel), 1);
  w.pump();
  EXPECT_EQ(w.seen(SessionWire::B).back().sidu.event, SI_REL_IND);
  EXPECT_EQ(w.connection(SessionWire::B)->state, STA09);

  SIDU relAcc{};
  relAcc.event = 20;
  ASSERT_EQ(w.request(SessionWire::B, &relAcc), 1);
  w.pump();
  EXPECT_EQ(w.seen(SessionWire::A).back().sidu.event, SI_REL_CNF);
  EXPECT_EQ(w.connection(SessionWire::A), nullptr) << "released with the DN";
  EXPECT_EQ(w.connection(SessionWire::B), nullptr) << "released with the transport";

  // The octets each side sent, in order.
  const auto& a = w.sent(SessionWire::A);
  const auto& b = w.sent(SessionWire::B);
  ASSERT_EQ(a.size(), 3u);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(hexOf(a[0]),
            "0D 1E 05 06 13 01 00 16 01 03 14 02 00 02 33 02 00 01 34 02 00 02 C1 08 68 65 6C 6C 6F 20 43 4E");
  EXPECT_EQ(hexOf(b[0]),
            "0E 1E 05 06 13 01 00 16 01 02 14 02 00 02 33 02 00 01 34 02 00 02 C1 08 68 65 6C 6C 6F 20 41 43");
  EXPECT_EQ(hexOf(a[1]), "01 00 01 00 30 31 32 33 34 35 36 37 38 39");
  EXPECT_EQ(hexOf(a[2]), "09 03 11 01 01");
  EXPECT_EQ(hexOf(b[2]), "0A 00");
  w.enter(SessionWire::A);
  EXPECT_EQ(QvGetSbCount(), 0);
  w.enter(SessionWire::B);
  EXPECT_EQ(QvGetSbCount(), 0);
}

TEST(SessionWireDialogue, UserAbortWithDataReachesThePeer) {
  SessionWire w;
  SAddress peer{};
  establish(w, &peer);

  SIDU ab{};
  ab.event = 31;
  w.enter(SessionWire::A);
  ab.userData = w.buffer("0123456789");  // over 9 octets: normal flow in version 2
  ASSERT_EQ(w.request(SessionWire::A, &ab), 1);
  EXPECT_EQ(w.connection(SessionWire::A)->state, STA16);
  w.pump();
  ASSERT_EQ(w.seen(SessionWire::B).size(), 2u);
  EXPECT_EQ(w.seen(SessionWire::B)[1].sidu.event, SI_UAB_IND);
  EXPECT_EQ(w.seen(SessionWire::B)[1].data, "0123456789");
  EXPECT_EQ(w.connection(SessionWire::B), nullptr);
  EXPECT_EQ(w.connection(SessionWire::A), nullptr) << "the transport went, STA16 ends";
  EXPECT_EQ(hexOf(w.sent(SessionWire::A).back()), "19 0F 11 01 03 C1 0A 30 31 32 33 34 35 36 37 38 39");
}

TEST(SessionWireDialogue, CalledSideAbortEndsBothSides) {
  SessionWire w;
  SAddress peer{};
  establish(w, &peer);

  SIDU ab{};
  ab.event = 31;
  ASSERT_EQ(w.request(SessionWire::B, &ab), 1);
  EXPECT_EQ(hexOf(w.sent(SessionWire::B).back()), "19 03 11 01 03");
  w.pump();
  // Without expedited transport the short AB comes as normal data, and A's
  // user learns of the peer's abort.
  ASSERT_EQ(w.seen(SessionWire::A).size(), 2u);
  EXPECT_EQ(w.seen(SessionWire::A)[1].sidu.event, SI_UAB_IND);
  EXPECT_EQ(w.connection(SessionWire::A), nullptr);
  EXPECT_EQ(w.connection(SessionWire::B), nullptr);
}

TEST(SessionWireDialogue, RefusedConnectGivesTheReasonAndUserData) {
  SessionWire w;
  SAddress peer{};
  peer.ssap = w.selector(SessionWire::B).ssap;
  SIDU req{};
  req.requirements = SR_HALFDUPLEX;
  req.version = 2;
  req.address = &peer;
  ASSERT_NE(w.connect(&req), nullptr);
  w.pump();
  SIDU rej{};
  rej.event = 14;
  rej.requirements = SR_HALFDUPLEX;
  w.enter(SessionWire::B);
  rej.userData = w.buffer("no");
  ASSERT_EQ(w.request(SessionWire::B, &rej), 1);
  w.pump();
  ASSERT_EQ(events(w.seen(SessionWire::A)), (std::vector<uint32_t>{SI_CON_REF}));
  EXPECT_EQ(w.seen(SessionWire::A)[0].sidu.reason, 2u);
  EXPECT_EQ(w.seen(SessionWire::A)[0].data, "no");
  EXPECT_EQ(w.connection(SessionWire::A), nullptr);
  EXPECT_EQ(w.connection(SessionWire::B), nullptr);
}

class SessionWireBesideOwnRecords : public RecordSetTest {};

TEST_F(SessionWireBesideOwnRecords, TheThreadsOwnRecordsWaitAsideAndComeBack) {
  SessionTLS* own = getSessionTLS(0);
  ASSERT_NE(own, nullptr);
  {
    SessionWire w;
    SAddress peer{};
    establish(w, &peer);
    EXPECT_NE(getSessionTLS(0), own);
  }
  EXPECT_EQ(getSessionTLS(0), own);
}

// ---------------------------------------------------------------------------
// An outside decoder: tshark's session dissector reads our SPDUs, each put
// in a TPKT and a COTP data TPDU on TCP port 102.

bool haveTool(const char* name) {
  const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(SessionWireOutsideDecoder, TsharkDecodesOurSpdus) {
  if (!haveTool("tshark") || !haveTool("text2pcap")) GTEST_SKIP() << "tshark and text2pcap are not installed";
  // The SPDUs of a dialogue: CN, AC, DT, FN, DN and an AB with user data.
  std::vector<std::vector<uint8_t>> units;
  {
    SessionWire w;
    SAddress peer{};
    establish(w, &peer);
    ASSERT_EQ(sendData(w, SessionWire::A, "0123456789"), 1);
    SIDU rel{};
    rel.event = 19;
    ASSERT_EQ(w.request(SessionWire::A, &rel), 1);
    w.pump();
    SIDU relAcc{};
    relAcc.event = 20;
    ASSERT_EQ(w.request(SessionWire::B, &relAcc), 1);
    w.pump();
    for (const auto& u : w.sent(SessionWire::A)) units.push_back(u);
    for (const auto& u : w.sent(SessionWire::B)) units.push_back(u);
  }
  {
    SessionWire w;
    SAddress peer{};
    establish(w, &peer);
    SIDU ab{};
    ab.event = 31;
    w.enter(SessionWire::A);
    ab.userData = w.buffer("0123456789");
    ASSERT_EQ(w.request(SessionWire::A, &ab), 1);
    units.push_back(w.sent(SessionWire::A).back());
  }
  ASSERT_EQ(units.size(), 6u);  // CN, DT, FN; AC, DN; AB

  char dir[] = "/tmp/sesdecodeXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string text = std::string(dir) + "/units.txt";
  const std::string pcap = std::string(dir) + "/units.pcap";
  {
    std::ofstream out(text);
    for (const auto& spdu : units) {
      std::vector<uint8_t> pkt = {0x03, 0x00, 0, 0, 0x02, 0xF0, 0x80};
      pkt.insert(pkt.end(), spdu.begin(), spdu.end());
      pkt[2] = static_cast<uint8_t>(pkt.size() >> 8);
      pkt[3] = static_cast<uint8_t>(pkt.size());
      char line[32];
      for (size_t i = 0; i < pkt.size(); ++i) {
        if (i % 16 == 0) {
          std::snprintf(line, sizeof line, "%s%04zx", i == 0 ? "" : "\n", i);
          out << line;
        }
        std::snprintf(line, sizeof line, " %02x", pkt[i]);
        out << line;
      }
      out << "\n\n";
    }
  }
  ASSERT_EQ(std::system(("text2pcap -q -T 40000,102 " + text + " " + pcap + " >/dev/null 2>&1").c_str()), 0);
  const std::string fields = run("tshark -n -r " + pcap +
                                 " --disable-protocol pres -T fields -E 'separator=;' -e ses.type -e ses.length "
                                 "-e _ws.expert.severity 2>/dev/null");
  const std::string detail = run("tshark -n -r " + pcap + " --disable-protocol pres -V 2>/dev/null");
  std::system(("rm -rf " + std::string(dir)).c_str());

  EXPECT_EQ(fields.find("Malformed"), std::string::npos) << fields;
  EXPECT_EQ(detail.find("Malformed"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("Expert Info (Error"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("Expert Info (Warning"), std::string::npos) << detail;
  // One line per packet: the SPDU type(s) and length(s).
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < fields.size()) {
    const size_t nl = fields.find('\n', at);
    lines.push_back(fields.substr(at, nl - at));
    if (nl == std::string::npos) break;
    at = nl + 1;
  }
  ASSERT_GE(lines.size(), 6u) << fields;
  EXPECT_EQ(lines[0], "13;30;") << "CN";
  EXPECT_EQ(lines[1], "1,1;0,0;") << "GT + DT";
  EXPECT_EQ(lines[2], "9;3;") << "FN";
  EXPECT_EQ(lines[3], "14;30;") << "AC";
  EXPECT_EQ(lines[4], "10;0;") << "DN";
  EXPECT_EQ(lines[5], "25;15;") << "AB";
  // Items the dissector names.
  EXPECT_NE(detail.find("Calling Session Selector"), std::string::npos);
  EXPECT_NE(detail.find("Called Session Selector"), std::string::npos);
  EXPECT_NE(detail.find("Session Requirement"), std::string::npos);
  EXPECT_NE(detail.find("Version Number"), std::string::npos);
  EXPECT_NE(detail.find("Transport_Disconnect"), std::string::npos);
}

}  // namespace
