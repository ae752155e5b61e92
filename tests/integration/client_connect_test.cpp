// The client's connect and disconnect road against rdapeer: what R-Initialize
// carries, how data resource names pick a server, and every way the road
// fails, each ending in a clean state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "src/odbc/alltls.h"
#include "src/rda/rda_idubuild.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_connect.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/rdaclient/rdacli_init.h"
#include "src/rdaclient/rdacli_sql.h"
#include "src/rdaclient/rdacli_trans.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/tp0tcp.h"
#include "support/cli_diag.h"
#include "support/client_env.h"
#include "support/peer_process.h"
#include "support/sandbox.h"
#include "support/stack.h"
#include "support/xm_count.h"

namespace {

using namespace std::chrono_literals;

// "KVO_RDA_CLIENT,<level>,<a.b.c.d>,<connect string>,V1" with four decimal
// numbers for the address.
bool isUserData(const std::string& data, const std::string& level, const std::string& connect) {
  const std::string head = "KVO_RDA_CLIENT," + level + ",";
  const std::string tail = "," + connect + ",V1";
  if (data.size() < head.size() + tail.size() || data.compare(0, head.size(), head) != 0 ||
      data.compare(data.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string address = data.substr(head.size(), data.size() - head.size() - tail.size());
  int parts = 0;
  size_t digits = 0;
  for (char c : address + ".") {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && digits > 0 && digits <= 3) {
      ++parts;
      digits = 0;
    } else {
      return false;
    }
  }
  return parts == 4;
}

std::string hexOf(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

using ClientConnect = ClientEnvTest;

TEST_F(ClientConnect, InitializeCarriesTheUserDataAndScrambledCredentials) {
  const auto record = dir("record");
  PeerProcess peer(dir("peer"), {"--user", "scott:abc", "--record", record.string()});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  ASSERT_EQ(connect(c, "rdatest", "DSN=rdatest;UID=scott;User Id=x; PWD=abc;Extra=1", "scott", "abc"), 0)
      << lastDiag(c->errors).message;
  EXPECT_EQ(c->state, RDA_CLI_ST_ASSOCIATED | RDA_CLI_ST_DIALOGUE | RDA_CLI_ST_RESOURCE_OPEN);
  EXPECT_EQ(c->optLevel, 1u) << "the peer answers with level word 65";
  EXPECT_EQ(c->numericFormat, 1u);
  EXPECT_EQ(rda_cliDisconnect(c), 0) << lastDiag(c->errors).message;
  EXPECT_EQ(c->state, 0u);

  const std::vector<PeerRecordLine> lines = readPeerRecord(record);
  ASSERT_EQ(lines.size(), 1u);
  const std::string data = lines[0].field("user-data").value_or("");
  EXPECT_TRUE(isUserData(data, "73", "DSN=rdatest;UID=*****;User Id=*; PWD=***;Extra=1")) << data;
  EXPECT_EQ(lines[0].field("auth"), hexOf("bdf")) << "a+1, b+2, c+3";
  EXPECT_EQ(lines[0].field("identity"), "terxy") << "scott scrambled: s+1 c+2 o+3 t+4 t+5";
}

TEST_F(ClientConnect, WithoutScramblingBitsTheCredentialsTravelAsGiven) {
  const auto record = dir("record");
  PeerProcess peer(dir("peer"), {"--user", "scott:abc", "--record", record.string()});
  ASSERT_GT(peer.port(), 0);
  start(peer.port(), 30, "RdaStmtOptimizeLevel=65\n");
  RDA_CliHDBC* c = conn();
  ASSERT_EQ(connect(c, "rdatest", nullptr, "scott", "abc"), 0) << lastDiag(c->errors).message;
  EXPECT_EQ(rda_cliDisconnect(c), 0);
  // Two connects in one second: different dialogue ids.
  ASSERT_EQ(connect(c, "rdatest", nullptr, "scott", "abc"), 0);
  EXPECT_EQ(rda_cliDisconnect(c), 0);
  const std::vector<PeerRecordLine> lines = readPeerRecord(record);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].field("auth"), hexOf("abc"));
  EXPECT_EQ(lines[0].field("identity"), "scott");
  EXPECT_TRUE(isUserData(lines[0].field("user-data").value_or(""), "65", ""));
  EXPECT_NE(lines[0].field("suffix"), lines[1].field("suffix"));
  EXPECT_GE(lines[0].field("suffix").value_or("").size(), 16u) << "at least the eight octets of time";

  // A wrong password is the server's refusal, and the association goes.
  EXPECT_EQ(connect(c, "rdatest", nullptr, "scott", "abd"), -1);
  EXPECT_EQ(lastDiag(c->errors).state, "HZ180");
  EXPECT_EQ(c->state, 0u);
}

TEST_F(ClientConnect, DataResourceNamesPickTheirServer) {
  PeerProcess peer(dir("peer"), {});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  // Every beginning of "DEFAULT", and whatever begins with it, names the
  // default server, which has no name here.
  struct Name {
    const char* text;
    int16_t length;
  };
  for (const Name& n : {Name{"DEFAULT", RDA_CLI_NTS}, Name{"DEFAULTX", RDA_CLI_NTS}, Name{"DEF", RDA_CLI_NTS},
                        Name{"DEFAULTXYZ", 4}, Name{"DEFAULTX", 8}, Name{nullptr, 0}, Name{"", RDA_CLI_NTS}}) {
    EXPECT_EQ(rda_cliConnect(c, n.text, n.length, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr), -1);
    EXPECT_EQ(lastDiag(c->errors).state, "08900") << (n.text != nullptr ? n.text : "none");
    EXPECT_EQ(lastDiag(c->errors).message, "Connection exception - Server lookup Failed - Database:");
    EXPECT_EQ(c->state, 0u);
  }
  EXPECT_EQ(connect(c, "nowhere"), -1);
  EXPECT_EQ(lastDiag(c->errors).message, "Connection exception - Server lookup Failed - Database:nowhere");
  const std::string there = "ADDRESS=127.0.0.1;PORT=" + std::to_string(peer.port());
  EXPECT_EQ(connect(c, "elsewhere", there.c_str()), 0) << "the connect string has what the file has not";
  EXPECT_EQ(rda_cliDisconnect(c), 0);
  EXPECT_EQ(rda_cliConnect(c, "rdatestXYZ", 7, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr), 0)
      << "a counted name";
  EXPECT_STREQ(c->server->rsrcName, "rdatest");
  EXPECT_EQ(rda_cliConnect(c, "rdatest", 7, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr), -1);
  EXPECT_EQ(lastDiag(c->errors).state, "08002") << "already connected";
  EXPECT_EQ(rda_cliDisconnect(c), 0);

  EXPECT_EQ(connect(c, std::string(300, 'n').c_str()), -1);
  EXPECT_EQ(lastDiag(c->errors).state, "08004");
  EXPECT_EQ(lastDiag(c->errors).message,
            "Connection exception - Connection failure - Invalid Database Resource Name");
}

TEST_F(ClientConnect, ArgumentsBeyondTheWorkBuffersAreRefused) {
  start(freeLoopbackPort());
  RDA_CliHDBC* c = conn();
  const std::string name(128, 'n');
  const std::string longCredential(528, 'c');
  const std::string longString(16400, 's');
  struct Case {
    int32_t rc;
    const char* text;
  };
  const Case cases[] = {
      {rda_cliConnect(c, name.c_str(), 128, "u", RDA_CLI_NTS, "p", RDA_CLI_NTS, nullptr),
       "Data resource name is longer than 127 bytes"},
      {connect(c, "rdatest", nullptr, longCredential.c_str()), "User name is longer than 527 bytes"},
      {connect(c, "rdatest", nullptr, "u", longCredential.c_str()), "Password is longer than 527 bytes"},
      {connect(c, "rdatest", longString.c_str()), "Connect string is longer than 16399 bytes"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(k.rc, -1) << k.text;
    (void)k;
  }
  // The last refusal is the one left on the connection.
  EXPECT_EQ(lastDiag(c->errors).state, "S1009");
  EXPECT_EQ(lastDiag(c->errors).message, std::string("CLI error: Invalid argument value - ") + cases[3].text);
  EXPECT_EQ(c->state, 0u);
}

TEST_F(ClientConnect, UnreachableOrRefusingServerLeavesTheConnectionUnassociated) {
  PeerProcess refusing(dir("refusing"), {"--refuse"});
  ASSERT_GT(refusing.port(), 0);
  start(refusing.port());
  RDA_CliHDBC* c = conn();
  const std::string refused = "Server is down or running on a different port or Incorrect IP Address";
  EXPECT_EQ(connect(c, "rdatest"), -1);
  std::vector<CliDiag> d = cliDiags(c->errors);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d[0].state, "HZ500");
  EXPECT_EQ(d[0].message, "RDA error: Connection establishment error - " + refused);
  EXPECT_EQ(c->state, 0u);

  const std::string closed = "ADDRESS=127.0.0.1;PORT=" + std::to_string(freeLoopbackPort());
  EXPECT_EQ(connect(c, "gone", closed.c_str()), -1);
  d = cliDiags(c->errors);
  ASSERT_FALSE(d.empty());
  const bool failed = d.back().message == "Connection exception - Client unable to establish connection - "
                                          "A-Asscciate request failed.";
  const bool refusal = d[0].message.find(refused) != std::string::npos;
  EXPECT_TRUE(failed || refusal) << d[0].state << " " << d[0].message;
  EXPECT_EQ(c->state, 0u);
}

TEST_F(ClientConnect, SilentServerEndsTheConnectAfterTheResponseTimeOut) {
  PeerProcess peer(dir("peer"), {"--mute"});
  ASSERT_GT(peer.port(), 0);
  // One pass of the stack's loop waits at most a second, so that a wait of
  // one second is not overrun by the poll.
  start(peer.port(), 1, "SessPollWaitTime=1\n");
  RDA_CliHDBC* c = conn();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(connect(c, "rdatest"), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
  EXPECT_EQ(lastDiag(c->errors).message,
            "Connection exception - Client unable to establish connection - R-Initialize request failed");
  EXPECT_EQ(c->state, 0u) << "aborted";
}

TEST_F(ClientConnect, LoadBalancingRefusalLeavesTheAssociationStanding) {
  PeerProcess peer(dir("peer"), {"--fail-init-text", "Try the next server [-2130706431]"});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  EXPECT_EQ(connect(c, "rdatest"), -1);
  EXPECT_EQ(lastDiag(c->errors).message, "RDA error: Operation aborted - Try the next server [-2130706431]");
  EXPECT_EQ(rda_cli_IsLoadBalancingError(c), 1);
  EXPECT_EQ(c->state, RDA_CLI_ST_ASSOCIATED) << "not aborted";
  EXPECT_EQ(rda_cliDisconnect(c), 0) << "released";
  EXPECT_EQ(c->state, 0u);

  PeerProcess plain(dir("plain"), {"--fail-init-text", "[-2130706431] at the start"});
  ASSERT_GT(plain.port(), 0);
  const std::string there = "ADDRESS=127.0.0.1;PORT=" + std::to_string(plain.port());
  EXPECT_EQ(connect(c, "other", there.c_str()), -1);
  EXPECT_EQ(rda_cli_IsLoadBalancingError(c), 0);
  EXPECT_EQ(c->state, 0u) << "aborted";
}

TEST_F(ClientConnect, OpenErrorsAreReportedAndEndInAnAbort) {
  struct Case {
    const char* option;
    const char* state;
    const char* message;
  };
  const Case cases[] = {
      {"10", "HZ090", "RDA error: Resource already open - data resource 1 is already opened"},
      {"11", "HZ100", "RDA error: Resource unknown - Database Name:opened is not valid on Server."},
      // The client's state table takes an R-Open error that names an
      // invalid sequence only while no dialogue is active: after R-Initialize
      // the client's own state check refuses it (a blank cell).
      {"17:4", "S4067", "RDA_ASE_ERR_BLANK_CELL"},
  };
  start(freeLoopbackPort());
  RDA_CliHDBC* c = conn();
  int n = 0;
  for (const Case& k : cases) {
    PeerProcess peer(dir("peer" + std::to_string(n++)), {"--open-error", k.option});
    ASSERT_GT(peer.port(), 0);
    const std::string there = "ADDRESS=127.0.0.1;PORT=" + std::to_string(peer.port());
    EXPECT_EQ(connect(c, "opened", there.c_str()), -1) << k.option;
    EXPECT_EQ(lastDiag(c->errors).state, k.state) << k.option;
    EXPECT_EQ(lastDiag(c->errors).message, k.message) << k.option;
    EXPECT_EQ(c->state & RDA_CLI_ST_ASSOCIATED, 0u) << k.option;
  }
}

TEST_F(ClientConnect, DisconnectWithoutConnectAndAFailingTerminate) {
  PeerProcess peer(dir("peer"), {"--fail-term"});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  EXPECT_EQ(rda_cliDisconnect(c), 1);
  EXPECT_EQ(lastDiag(c->errors).state, "08003");
  EXPECT_EQ(c->stmts.count, 0u);

  ASSERT_EQ(connect(c, "rdatest"), 0) << lastDiag(c->errors).message;
  EXPECT_EQ(rda_cliDisconnect(c), 1) << "the refused R-Terminate ends in an abort";
  EXPECT_EQ(lastDiag(c->errors).state, "HZ180");
  EXPECT_EQ(c->state & RDA_CLI_ST_ASSOCIATED, 0u);
  EXPECT_EQ(rda_cliFreeConnect(c), 0);
}

TEST_F(ClientConnect, ConnectDisconnectCyclesLeaveNoMemoryBehind) {
  PeerProcess peer(dir("peer"), {});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  RDA_CliHDBC* c = conn();
  long after = 0;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(connect(c, "rdatest", "UID=scott;PWD=tiger"), 0) << i << " " << lastDiag(c->errors).message;
    ASSERT_EQ(rda_cliDisconnect(c), 0) << i;
    if (i == 0) after = xmLive();
  }
  EXPECT_EQ(xmLive(), after);
}

TEST_F(ClientConnect, AbortOfTheWaitingConnectionEndsItsWait) {
  // The peer aborts an association at its third request; the other
  // connection's transport keeps the stack's loop busy meanwhile.
  PeerProcess peer(dir("peer"), {"--abort-after", "2"});
  ASSERT_GT(peer.port(), 0);
  start(peer.port(), 30);
  RDA_CliHDBC* a = conn();
  RDA_CliHDBC* b = conn();
  ASSERT_EQ(connect(a, "rdatest"), 0) << lastDiag(a->errors).message;
  ASSERT_EQ(connect(b, "rdatest"), 0) << lastDiag(b->errors).message;
  ASSERT_EQ(RDA_cliBgnTransOnConnection(a), 1);
  const OctStgV text{8, reinterpret_cast<uint8_t*>(const_cast<char*>("SELECT 1"))};
  const auto begin = std::chrono::steady_clock::now();
  RDA_cliSendEvent(rda_createSQLExecDBLReq(a->tmpl, static_cast<int32_t>(++a->opId), nullptr, nullptr, &text, 0,
                                           nullptr, 0, nullptr, 0, nullptr, 0, nullptr),
                   RDA_CLI_SEND_WAIT);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s) << "not the response time-out";
  EXPECT_EQ(a->state, 0u);
  EXPECT_EQ(lastDiag(a->errors).state, "HZ520");
  EXPECT_EQ(b->state & RDA_CLI_ST_RESOURCE_OPEN, RDA_CLI_ST_RESOURCE_OPEN) << "the other goes on";
  EXPECT_EQ(rda_cliDisconnect(a), 1) << "no longer connected";
  rda_cliDisconnect(b);  // the peer aborts it too, at its third request
  EXPECT_EQ(b->state, 0u);
}

}  // namespace

namespace {

// The records of one record set on the calling thread, with `ini` as its
// configuration file.
class OwnRecordSet {
 public:
  explicit OwnRecordSet(const char* ini) {
    ok_ = QvCreateAllTLS() == 1 && xm_init() != nullptr && qv_setInfo(QV_INFO_INIFILE, 0, ini) == 1;
  }
  ~OwnRecordSet() { QvRemoveAllTLS(); }
  OwnRecordSet(const OwnRecordSet&) = delete;
  OwnRecordSet& operator=(const OwnRecordSet&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Two connections of one environment, each on a thread of its own with its
// own record set and stack instance, as the ODBC layer runs them with
// multi-threading on: both connect and disconnect at once, twice.
TEST_F(ClientConnect, ConnectionsWithStackInstancesOfTheirOwnRunAtOnce) {
  PeerProcess peer(dir("peer"), {"--fork"});
  ASSERT_GT(peer.port(), 0);
  start(peer.port());
  const std::string ini = std::getenv("MIRODEL_INI");
  RDA_CliHDBC* connections[] = {conn(), conn()};
  std::string failures[2];
  auto run = [&](int n) {
    OwnRecordSet records(ini.c_str());
    if (!records.ok()) {
      failures[n] = "no record set";
      return;
    }
    uint32_t err = 0;
    if (RDA_cliDuvikInit(&err, RDA_CLI_MODE_CONNECTION) != 1) {
      failures[n] = "start-up failed: " + std::to_string(err);
      return;
    }
    RDA_CliHDBC* c = connections[n];
    for (int round = 0; round < 2 && failures[n].empty(); ++round) {
      if (rda_cliConnect(c, "rdatest", RDA_CLI_NTS, "scott", RDA_CLI_NTS, "tiger", RDA_CLI_NTS, nullptr) != 0)
        failures[n] = "connect: " + lastDiag(c->errors).state + " " + lastDiag(c->errors).message;
      else if (rda_cliDisconnect(c) != 0)
        failures[n] = "disconnect: " + lastDiag(c->errors).state + " " + lastDiag(c->errors).message;
    }
    RDA_cliDuvikTerm(RDA_CLI_MODE_CONNECTION);
  };
  std::thread a(run, 0);
  std::thread b(run, 1);
  a.join();
  b.join();
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(failures[1], "");
  for (RDA_CliHDBC* c : connections) EXPECT_EQ(c->state, 0u);
}

}  // namespace
