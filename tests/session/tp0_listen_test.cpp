// A session connection end to end over TCP on 127.0.0.1: a server-role
// record set (listening) on one thread and a client-role record set on
// another, each with its own memory root, buffer pool and session user.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/qvcrypt.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/session.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/recordset.h"
#include "support/thread_records.h"

namespace {

constexpr int32_t kPoolSize = 1024;
constexpr uint32_t kTpduSize = 2048;
constexpr size_t kUnit = 5000;  // larger than a TPDU and than a pool buffer

std::string pattern(size_t n, int seed) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 13 + static_cast<size_t>(seed)) & 0xFF));
  return s;
}

// A unit of user data as a ring of pool buffers.
SessionBuffer* chainOf(const std::string& text) {
  SessionBuffer* first = nullptr;
  for (size_t at = 0; at < text.size(); at += 1000) {
    const size_t n = text.size() - at < 1000 ? text.size() - at : 1000;
    SessionBuffer* b = balloc(static_cast<int32_t>(n));
    if (b == nullptr) return first;
    std::memcpy(b->data, text.data() + at, n);
    if (first == nullptr) {
      first = b;
    } else {
      b->prev = first->prev;
      b->next = first;
      first->prev->next = b;
      first->prev = b;
    }
  }
  return first;
}

// What one side's session user saw.
struct Side {
  std::vector<uint32_t> events;
  std::string data;
  Smachine* conn = nullptr;
};
thread_local Side* tSide = nullptr;
std::string gIniFile;  // the configuration file each thread starts from

int32_t user(Smachine* s, SIDU* sidu) {
  if (tSide != nullptr) {
    tSide->events.push_back(sidu->event);
    tSide->conn = s;
    if (sidu->event == SI_DT_IND) {
      SessionBuffer* first = sidu->userData;
      for (SessionBuffer* b = first; b != nullptr;) {
        tSide->data.append(reinterpret_cast<const char*>(b->data), b->length);
        b = b->next != first ? b->next : nullptr;
      }
    }
  }
  s_freeChain(sidu->userData);
  return 0;
}

bool saw(const Side& side, uint32_t event) {
  for (uint32_t e : side.events)
    if (e == event) return true;
  return false;
}

const SSAPaddr kServerSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = 0x07;
  return a;
}();
const SSAPaddr kClientSel = [] {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = 0x01;
  return a;
}();

ThreadRecords::Options role(int32_t listenQueue) {
  ThreadRecords::Options o;
  o.listenQueue = listenQueue;
  o.tpduSize = kTpduSize;
  o.poolSize = kPoolSize;
  return o;
}

// Runs passes of the event loop until `done` or about ten seconds.
template <class Done>
bool runUntil(Done done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    // Credit for the next SPDU once the user has taken the last one.
    Smachine* s = tSide != nullptr ? tSide->conn : nullptr;
    if (s != nullptr && s_isLive(getSessionTLS(0), s) && s->credit == 0 && s->state != STA01) {
      SIDU more{};
      more.event = 33;
      more.credit = 1;
      (void)session(s, &more);
    }
    if (do_session_queue() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct Outcome {
  Side server;
  Side client;
  bool serverRan = false;
  bool clientRan = false;
};

// The server's part: accept the connection, answer the unit with a unit of
// its own, accept the release and wait for the transport to end.
void serveOnce(std::atomic<int>* port, Outcome* out, std::atomic<bool>* stop) {
  TpLocalAddr local{};
  uint32_t r = 1;
  ThreadRecords records(gIniFile, role(5), &local, &r);
  if (!records.ok()) {
    port->store(-1);
    return;
  }
  tSide = &out->server;
  (void)s_activate(&kServerSel, user);
  port->store(local.tsap.sel[0] * 256 + local.tsap.sel[1]);
  Side& me = out->server;
  bool ok = runUntil([&] { return saw(me, SI_CON_IND) || stop->load(); }) && !stop->load();
  if (ok) {
    SIDU acc{};
    acc.event = 13;
    acc.requirements = SR_DUPLEX;
    acc.credit = 1;
    ok = session(me.conn, &acc) == 1;
  }
  ok = ok && runUntil([&] { return me.data.size() >= kUnit || stop->load(); }) && !stop->load();
  if (ok) {
    SIDU dt{};
    dt.event = 15;
    dt.credit = 1;
    dt.userData = chainOf(pattern(kUnit, 2));
    ok = session(me.conn, &dt) == 1;
  }
  ok = ok && runUntil([&] { return saw(me, SI_REL_IND) || stop->load(); }) && !stop->load();
  if (ok) {
    SIDU rel{};
    rel.event = 20;
    rel.credit = 1;
    ok = session(me.conn, &rel) == 1;
  }
  // The client ends the transport connection after the DN.
  ok = ok && runUntil([&] { return getSessionTLS(0)->tp0.activeCount == 0 || stop->load(); });
  out->serverRan = ok;
  tSide = nullptr;
}

// The client's part: connect, send a unit, take the answer, release.
void callOnce(int port, Outcome* out) {
  TpLocalAddr local{};
  uint32_t r = 1;
  ThreadRecords records(gIniFile, role(0), &local, &r);
  if (!records.ok()) return;
  tSide = &out->client;
  (void)s_activate(&kClientSel, user);
  Side& me = out->client;
  SAddress address{};
  address.ssap = kServerSel.ssap;
  address.tsap.len = 2;
  address.tsap.sel[0] = static_cast<uint8_t>(port >> 8);
  address.tsap.sel[1] = static_cast<uint8_t>(port & 0xFF);
  address.nsap.len = 4;
  address.nsap.addr[0] = 127;
  address.nsap.addr[3] = 1;
  SIDU req{};
  req.callingSsap = &kClientSel;
  req.address = &address;
  req.requirements = SR_DUPLEX;
  req.version = 2;
  req.credit = 1;
  Smachine* s = s_connect(&req);
  bool ok = s != nullptr && runUntil([&] { return saw(me, SI_CON_CNF); });
  if (ok) {
    SIDU dt{};
    dt.event = 15;
    dt.credit = 1;
    dt.userData = chainOf(pattern(kUnit, 1));
    ok = session(s, &dt) == 1;
  }
  ok = ok && runUntil([&] { return me.data.size() >= kUnit; });
  if (ok) {
    SIDU rel{};
    rel.event = 19;
    rel.credit = 1;
    ok = session(s, &rel) == 1;
  }
  ok = ok && runUntil([&] { return saw(me, SI_REL_CNF); });
  out->clientRan = ok;
  tSide = nullptr;
}

class Tp0Listen : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    savedSwitch_ = QvMultiThread;
    QvSetMultiThread(1);
    ASSERT_EQ(QvCreateAllTLS(), 1);
    savedQuiet_ = giQuietMode;
    giQuietMode = 1;
    char tmpl[] = "/tmp/tp0listenXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    sigaction(SIGCHLD, nullptr, &savedChld_);
  }
  void TearDown() override {
    if (gEncrypt != 0) {
      qvcrypt_exit(-1);
      gEncrypt = 0;
    }
    sigaction(SIGCHLD, &savedChld_, nullptr);
    giQuietMode = savedQuiet_;
    std::filesystem::remove_all(dir_);
    QvRemoveAllTLS();
    QvSetMultiThread(savedSwitch_);
  }
  // The main configuration file with [COMMON] and [SERVER] lines.
  void configure(const std::string& common, const std::string& server = "") {
    const std::string file = dir_ + "/mirodel.ini";
    std::ofstream(file) << "[COMMON]\nqv_root=" << dir_ << "\n" << common << "[SERVER]\n" << server;
    gIniFile = file;
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, file.c_str()), 1);
  }

  // The whole dialogue between two threads of this process.
  void dialogue() {
    Outcome out;
    std::atomic<int> port{0};
    std::atomic<bool> stop{false};
    std::thread server(serveOnce, &port, &out, &stop);
    while (port.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (port.load() > 0) {
      std::thread client(callOnce, port.load(), &out);
      client.join();
    }
    if (!out.clientRan) stop.store(true);
    server.join();
    ASSERT_GT(port.load(), 0) << "the server could not listen";
    EXPECT_TRUE(out.clientRan);
    EXPECT_TRUE(out.serverRan);
    EXPECT_EQ(out.server.data.size(), kUnit);
    EXPECT_EQ(out.client.data.size(), kUnit);
    EXPECT_EQ(out.server.data, pattern(kUnit, 1));
    EXPECT_EQ(out.client.data, pattern(kUnit, 2));
    EXPECT_TRUE(saw(out.server, SI_CON_IND));
    EXPECT_TRUE(saw(out.client, SI_CON_CNF));
    EXPECT_TRUE(saw(out.client, SI_REL_CNF));
  }

  std::string dir_;
  int32_t savedSwitch_ = 1;
  int32_t savedQuiet_ = 0;
  struct sigaction savedChld_ {};
};

TEST_F(Tp0Listen, ConnectDataBothWaysAndReleaseBetweenTwoThreads) {
  configure("", "ForkOnConnect=0\n");
  dialogue();
}

TEST_F(Tp0Listen, TheSameDialogueEnciphered) {
  configure("EncryptionPackage=1\n", "ForkOnConnect=0\n");
  ASSERT_EQ(qvcrypt_init(-1), 1);
  ASSERT_EQ(qvcrypt_getmode(), 1);
  dialogue();
}

}  // namespace

namespace {

// A raw peer on the server thread: connects to the listening port, writes
// `cr` as a TPKT and gives back what the server answers.
std::string answerTo(const std::string& crTpdu, int* listenSocket, uint32_t* activeAfter) {
  std::string reply;
  TpLocalAddr local{};
  uint32_t r = 1;
  ThreadRecords records(gIniFile, role(5), &local, &r);
  if (!records.ok()) return "not started";
  *listenSocket = getSessionTLS(0)->tp0.listenSocket;
  const int port = local.tsap.sel[0] * 256 + local.tsap.sel[1];
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    std::string pkt{3, 0, 0, static_cast<char>(crTpdu.size() + 4)};
    pkt += crTpdu;
    (void)::send(fd, pkt.data(), pkt.size(), MSG_NOSIGNAL);
    for (int i = 0; i < 20 && reply.empty(); ++i) {
      (void)do_session_queue();
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0) {
        char buf[64];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) reply.assign(buf, static_cast<size_t>(n));
      }
    }
    for (int i = 0; i < 3; ++i) (void)do_session_queue();
  }
  *activeAfter = getSessionTLS(0)->tp0.activeCount;
  ::close(fd);
  return reply;
}

std::string hexOf(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%s%02X", out.empty() ? "" : " ", c);
    out += b;
  }
  return out;
}

TEST_F(Tp0Listen, ACrIsAnsweredByCcOrRefusedForAnOversizedTpdu) {
  configure("", "ForkOnConnect=0\n");
  struct Case {
    const char* what;
    std::string cr;
    std::string reply;  // from the TPDU code on, after the two references
    uint32_t active;
  };
  // CR: LI, E0, destination reference 0, source reference 12 34, class 0.
  const std::string head{'\0', static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0};
  const std::vector<Case> cases = {
      {"no size: the configured code", head, "09 D0 12 34", 1},
      {"size 1024 taken", head + std::string{static_cast<char>(0xC0), 1, 0x0A}, "09 D0 12 34", 1},
      {"size 8192 over the configured 2048", head + std::string{static_cast<char>(0xC0), 1, 0x0D}, "06 80 12 34", 0},
      {"size code 0 unknown", head + std::string{static_cast<char>(0xC0), 1, 0x00}, "06 80 12 34", 0},
  };
  for (const Case& c : cases) {
    std::string cr = c.cr;
    cr[0] = static_cast<char>(cr.size() - 1);
    int listening = -1;
    uint32_t active = 99;
    std::string reply;
    std::thread([&] { reply = answerTo(cr, &listening, &active); }).join();
    EXPECT_GE(listening, 0) << c.what;
    ASSERT_GE(reply.size(), 8u) << c.what << ": " << hexOf(reply);
    EXPECT_EQ(hexOf(reply.substr(4, 4)), c.reply) << c.what;
    if (c.reply[3] == 'D') {
      // Class 0, then the size code the connection uses.
      const std::string code = c.cr.size() > 7 ? hexOf(c.cr.substr(9, 1)) : "0B";
      EXPECT_EQ(hexOf(reply.substr(10)), "00 C0 01 " + code) << c.what;
    }
    EXPECT_EQ(active, c.active) << c.what << ": a refused connection is released";
  }
}

TEST_F(Tp0Listen, AClientRoleRecordSetMakesNoListeningSocket) {
  configure("", "");
  int32_t listening = 0;
  std::thread([&] {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(0), &local, &r);
    listening = records.ok() ? getSessionTLS(0)->tp0.listenSocket : -2;
  }).join();
  EXPECT_EQ(listening, -1);
}

}  // namespace
