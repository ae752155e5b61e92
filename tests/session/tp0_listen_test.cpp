// A session connection end to end over TCP on 127.0.0.1: a server-role
// record set (listening) on one thread and a client-role record set on
// another, each with its own memory root, buffer pool and session user.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <atomic>
#include <iterator>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/qvcrypt.h"
#include "support/clock.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/session.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/stimer.h"
#include "src/session/systemtls.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/recordset.h"
#include "support/thread_records.h"
#include "support/tpkt_capture.h"

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

  // The whole dialogue between two threads of this process; with `relay`,
  // the client reaches the server through it. Gives the server's port.
  int dialogue(RecordingRelay* relay = nullptr) {
    Outcome out;
    std::atomic<int> port{0};
    std::atomic<bool> stop{false};
    std::thread server(serveOnce, &port, &out, &stop);
    while (port.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (port.load() > 0) {
      if (relay != nullptr) relay->start(port.load());
      std::thread client(callOnce, relay != nullptr ? relay->port() : port.load(), &out);
      client.join();
    }
    if (!out.clientRan) stop.store(true);
    server.join();
    checkOutcome(port.load(), out);
    return port.load();
  }
  void checkOutcome(int port, const Outcome& out) {
    ASSERT_GT(port, 0) << "the server could not listen";
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

// The octets of the same dialogue, taken by a relay between the two threads,
// read by tshark: every TPDU and SPDU well formed and in the expected order.
TEST_F(Tp0Listen, TheDialoguesOctetsDecodeAsWellFormedTpktCotpAndSession) {
  configure("", "ForkOnConnect=0\n");
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{});
  };
  const auto before = openDescriptors();
  int port = 0;
  std::vector<CapturedTpkt> packets;
  {
    RecordingRelay relay;
    ASSERT_TRUE(relay.ok()) << "no relay socket";
    port = dialogue(&relay);
    EXPECT_TRUE(relay.finish(5)) << "both sides end their transport connection";
    ASSERT_TRUE(relay.connected());
    packets = relay.tpkts();
  }
  EXPECT_EQ(openDescriptors(), before) << "a socket was left open";
  ASSERT_GT(port, 0);
  ASSERT_FALSE(packets.empty());

  if (!tsharkAvailable()) GTEST_SKIP() << "tshark and text2pcap are not installed";
  const TsharkView view = decodeTpktTraffic(packets, dir_, port);
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Warning"), std::string::npos) << view.detail;
  // One line per TPKT: the COTP type, then the SPDU types tshark found once
  // the TPDUs of a unit were joined (at the one with the end mark). Each
  // unit of 5000 octets left as five DT TPDUs, one per pool buffer.
  const std::string unit = "0x0f;\n0x0f;\n0x0f;\n0x0f;\n0x0f;1,1\n";  // GT + DT
  EXPECT_EQ(view.fields,
            "0x0e;\n"    // CR
            "0x0d;\n"    // CC
            "0x0f;13\n"  // DT: CN
            "0x0f;14\n" +  // DT: AC
                unit +     // the client's unit
                unit +     // the server's answer
                "0x0f;9\n"   // DT: FN
                "0x0f;10\n"  // DT: DN
                "0x08;\n")   // DR from the client
      << view.detail;
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

namespace {

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

size_t machineCount(SessionTLS* t) {
  size_t n = 0;
  for (SmLink* l = t->machines.next; l != &t->machines; l = l->next) ++n;
  return n;
}

void say(int fd, const std::string& text) { (void)!::write(fd, text.data(), text.size()); }

std::string readAll(int fd) {
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

// Waits for `pid` for up to `seconds`; kills it when it overstays. Its
// exit status, or -1 when it had to be killed.
int finish(pid_t pid, int seconds) {
  int status = 0;
  for (int i = 0; i < seconds * 100; ++i) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  (void)::waitpid(pid, &status, 0);
  return -1;
}

// Connections other than the served one that are open in the server when
// its child is made; they send nothing.
constexpr int kOthersAtFork = 3;

// Timers in the calling thread's queue that belong to someone other than
// `own`.
size_t timersNotOf(const Smachine* own) {
  const SystemTLS* sys = getSystemTLS(0);
  size_t n = 0;
  if (sys == nullptr || sys->timerQueue.next == nullptr) return 0;
  for (const TimerLink* l = sys->timerQueue.next; l != &sys->timerQueue; l = l->next)
    if (static_cast<const TimerEntry*>(l)->owner != reinterpret_cast<uint64_t>(own)) ++n;
  return n;
}

// The forking server, on its own thread of the server process: every
// accepted connection is served by a child, and every accepted connection
// gets cipher contexts and a cipher buffer and is under an establishment
// limit. The parent writes its port and then 'A' (all the other
// connections accepted) on `control`; both processes write what they found
// on `report`, "ok" when all was as it should be.
void forkingServer(int control, int report) {
  TpLocalAddr local{};
  uint32_t r = 1;
  ThreadRecords::Options o = role(5);
  o.adjust = [](StpParams* p) { p->establishLimit = 60; };
  ThreadRecords records(gIniFile, o, &local, &r);
  int port = records.ok() ? local.tsap.sel[0] * 256 + local.tsap.sel[1] : -1;
  (void)!::write(control, &port, sizeof port);
  if (port < 0) return;
  Side me;
  tSide = &me;
  (void)s_activate(&kServerSel, user);
  SessionTLS* t = getSessionTLS(0);
  const pid_t self = getpid();
  std::vector<int> before;  // sockets this process had before the fork
  bool acceptedSaid = false;
  bool forked = false;
  const int listening = t->tp0.listenSocket;
  const bool done = runUntil([&] {
    if (getpid() != self) return saw(me, SI_CON_IND);
    before.clear();
    for (const TCEP& e : t->tp0.tcep)
      if (e.state != kTcepFree) before.push_back(e.socket);
    if (!acceptedSaid && t->tp0.activeCount >= kOthersAtFork) {
      acceptedSaid = true;
      (void)!::write(control, "A", 1);
    }
    if (t->children > 0) forked = true;
    return forked && t->children == 0 && t->tp0.activeCount == 0;
  });

  if (getpid() != self) {
    // The child: it alone serves the connection.
    std::string found;
    if (!done) found += "child: no S-CONNECT indication; ";
    if (t->tp0.listenSocket != -1 || ::fcntl(listening, F_GETFD) != -1) found += "child still listens; ";
    if (t->tp0.activeCount != 1) found += "child keeps other connections; ";
    if (machineCount(t) != 1) found += "child keeps the records of other connections; ";
    if (timersNotOf(me.conn) != 0) found += "child keeps the timers of other connections; ";
    if (t->children != 0) found += "child counts the parent's children; ";
    const int own = me.conn != nullptr && me.conn->tcepId >= 0 ? t->tp0.tcep[me.conn->tcepId].socket : -1;
    size_t others = 0;
    for (int fd : before) {
      if (fd == own) continue;
      ++others;
      if (::fcntl(fd, F_GETFD) != -1) found += "child keeps socket " + std::to_string(fd) + "; ";
    }
    if (others != kOthersAtFork) found += std::to_string(others) + " other connections were open at the fork; ";
    bool ok = found.empty();
    if (ok) {
      SIDU acc{};
      acc.event = 13;
      acc.requirements = SR_DUPLEX;
      acc.credit = 1;
      ok = session(me.conn, &acc) == 1 && runUntil([&] { return me.data.size() >= kUnit; });
    }
    if (ok) {
      SIDU dt{};
      dt.event = 15;
      dt.credit = 1;
      dt.userData = chainOf(pattern(kUnit, 2));
      ok = session(me.conn, &dt) == 1 && runUntil([&] { return saw(me, SI_REL_IND); });
    }
    if (ok) {
      SIDU rel{};
      rel.event = 20;
      rel.credit = 1;
      ok = session(me.conn, &rel) == 1 && runUntil([&] { return t->tp0.activeCount == 0; });
    }
    if (ok && me.data != pattern(kUnit, 1)) found += "child: wrong data; ";
    if (!ok) found += "child: the dialogue stopped; ";
    // Its connection gone, the child holds no buffer of any connection.
    if (ok && QvGetSbCount() != 0) found += "child: " + std::to_string(QvGetSbCount()) + " pool buffers still out; ";
    say(report, found.empty() ? "child ok\n" : found + "\n");
    std::fflush(stdout);  // as the end of a process does
    _exit(0);
  }

  std::string found;
  if (!done) found += "parent: the child was not reaped or a connection stayed; ";
  if (!me.events.empty()) found += "parent saw indications; ";
  if (machineCount(t) != 0) found += "parent keeps connection records; ";
  if (t->tp0.listenSocket != listening) found += "parent stopped listening; ";
  say(report, found.empty() ? "parent ok\n" : found + "\n");
  tSide = nullptr;
}

// The child keeps nothing of the connections it does not serve (sockets,
// records, timers, buffers, the parent's children), the parent nothing of
// the child's; the server's start-up line, on a pipe, comes once.
TEST_F(Tp0Listen, WithForkOnConnectAChildServesTheConnectionAndIsReaped) {
  configure("EncryptionPackage=1\n", "ForkOnConnect=1\n");
  ASSERT_EQ(qvcrypt_init(-1), 1);
  ASSERT_EQ(qvcrypt_getmode(), 1);
  int control[2];
  int report[2];
  int console[2];
  ASSERT_EQ(::pipe(control), 0);
  ASSERT_EQ(::pipe(report), 0);
  ASSERT_EQ(::pipe(console), 0);
  std::fflush(nullptr);
  const pid_t server = fork();
  ASSERT_GE(server, 0);
  if (server == 0) {
    ::close(control[0]);
    ::close(report[0]);
    ::close(console[0]);
    (void)::dup2(console[1], STDOUT_FILENO);
    ::close(console[1]);
    giQuietMode = 0;
    std::thread(forkingServer, control[1], report[1]).join();
    // Nothing of the server's may be left behind.
    while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    std::fflush(stdout);
    _exit(0);
  }
  ::close(control[1]);
  ::close(report[1]);
  ::close(console[1]);
  int port = -1;
  ASSERT_EQ(::read(control[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
  // Other connections, open in the server when the child is made.
  std::vector<int> others;
  for (int i = 0; port > 0 && i < kOthersAtFork; ++i) others.push_back(connectTo(port));
  char accepted = 0;
  const bool ready = port > 0 && std::count(others.begin(), others.end(), -1) == 0 &&
                     ::read(control[0], &accepted, 1) == 1;
  Outcome out;
  if (ready) std::thread(callOnce, port, &out).join();
  for (int fd : others)
    if (fd >= 0) ::close(fd);
  EXPECT_EQ(finish(server, 60), 0);
  const std::string found = readAll(report[0]);
  const std::string said = readAll(console[0]);
  ::close(control[0]);
  ::close(report[0]);
  ::close(console[0]);
  // The selector asked for no port: the line names 0.
  EXPECT_EQ(said, "Server is starting at port:0\n");
  ASSERT_GT(port, 0) << "the server could not listen";
  ASSERT_TRUE(ready);
  EXPECT_TRUE(out.clientRan);
  EXPECT_EQ(out.client.data, pattern(kUnit, 2));
  EXPECT_TRUE(saw(out.client, SI_CON_CNF));
  EXPECT_TRUE(saw(out.client, SI_REL_CNF));
  EXPECT_NE(found.find("child ok\n"), std::string::npos) << found;
  EXPECT_NE(found.find("parent ok\n"), std::string::npos) << found;
}

}  // namespace

namespace {

// On the server thread: a raw peer sends `crTpdu` as a TPKT on `fd`; the
// passes of the event loop run until the peer has the answer and, when
// `untilClosed`, until the server has ended the connection too.
std::string exchange(int fd, const std::string& crTpdu, bool untilClosed, bool* closed) {
  std::string pkt{3, 0, 0, static_cast<char>(crTpdu.size() + 4)};
  pkt += crTpdu;
  (void)::send(fd, pkt.data(), pkt.size(), MSG_NOSIGNAL);
  std::string reply;
  *closed = false;
  for (int i = 0; i < 200 && (reply.empty() || (untilClosed && !*closed)); ++i) {
    (void)do_session_queue();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      char buf[64];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n > 0) reply.append(buf, static_cast<size_t>(n));
      if (n == 0) *closed = true;
    }
  }
  return reply;
}

const std::string kCr8192{9, static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0, static_cast<char>(0xC0), 1, 0x0D};

TEST_F(Tp0Listen, AtTheProcessLimitTheCrIsRefusedWithoutAChild) {
  configure("", "ForkOnConnect=1\n");
  const std::string cr{6, static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0};
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t server = fork();
  ASSERT_GE(server, 0);
  if (server == 0) {
    ::close(report[0]);
    std::thread([&] {
      ThreadRecords::Options o = role(5);
      o.processLimit = 0;
      TpLocalAddr local{};
      uint32_t r = 1;
      ThreadRecords records(gIniFile, o, &local, &r);
      if (!records.ok()) return say(report[1], "not started");
      SessionTLS* t = getSessionTLS(0);
      const int fd = connectTo(local.tsap.sel[0] * 256 + local.tsap.sel[1]);
      bool closed = false;
      const std::string reply = exchange(fd, cr, true, &closed);
      std::string found = hexOf(reply.substr(0, 8));
      if (!closed) found += " still open";
      if (t->children != 0) found += " counted a child";
      if (::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD) found += " made a child";
      if (t->tp0.activeCount != 0 || machineCount(t) != 0) found += " kept the connection";
      ::close(fd);
      say(report[1], found);
    }).join();
    _exit(0);
  }
  ::close(report[1]);
  EXPECT_EQ(finish(server, 30), 0);
  const std::string found = readAll(report[0]);
  ::close(report[0]);
  // DR: LI 6, code 80, the CR's source reference as destination.
  EXPECT_EQ(found.substr(0, 23), "03 00 00 0B 06 80 12 34") << found;
  EXPECT_EQ(found.size(), 23u) << found;
}

TEST_F(Tp0Listen, TheTsapdPortIsListenedOnAndWrittenIntoTheSelector) {
  // A port nobody uses just now.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const int port = ntohs(a.sin_port);
  ::close(probe);
  configure("tsapd=" + std::to_string(port) + "\n", "ForkOnConnect=0\n");
  int bound = -1;
  TpLocalAddr local{};
  TSAPaddr kept{};
  std::thread([&] {
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(5), &local, &r);
    if (!records.ok()) return;
    sockaddr_in b{};
    socklen_t n = sizeof b;
    if (::getsockname(getSessionTLS(0)->tp0.listenSocket, reinterpret_cast<sockaddr*>(&b), &n) == 0)
      bound = ntohs(b.sin_port);
    kept = getSessionTLS(0)->localAddr.tsap;
  }).join();
  tsapd_port = -1;
  EXPECT_EQ(bound, port);
  EXPECT_EQ(local.tsap.len, 2u);
  EXPECT_EQ(local.tsap.sel[0] * 256 + local.tsap.sel[1], port);
  EXPECT_EQ(kept.sel[0] * 256 + kept.sel[1], port);
}

TEST_F(Tp0Listen, TheTwentyFirstConnectionIsClosedAtOnce) {
  configure("", "ForkOnConnect=0\n");
  std::string found = "not started";
  std::thread([&] {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(30), &local, &r);
    if (!records.ok()) return;
    SessionTLS* t = getSessionTLS(0);
    const int port = local.tsap.sel[0] * 256 + local.tsap.sel[1];
    std::vector<int> peers;
    for (int i = 0; i < 21; ++i) peers.push_back(connectTo(port));
    bool lastClosed = false;
    for (int i = 0; i < 300 && !lastClosed; ++i) {
      (void)do_session_queue();
      char c;
      lastClosed = ::recv(peers[20], &c, 1, MSG_DONTWAIT) == 0;
      if (!lastClosed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    found.clear();
    if (!lastClosed) found += "the 21st is still open; ";
    for (int i = 0; i < 20; ++i) {
      char c;
      if (::recv(peers[i], &c, 1, MSG_DONTWAIT) != -1 || errno != EAGAIN) found += std::to_string(i) + " closed; ";
    }
    if (t->tp0.activeCount != 20) found += "active " + std::to_string(t->tp0.activeCount) + "; ";
    if (machineCount(t) != 20) found += "records " + std::to_string(machineCount(t)) + "; ";
    for (int fd : peers) ::close(fd);
  }).join();
  EXPECT_EQ(found, "");
}

// An incoming connection has the configured time, counted from accept, to
// bring its CR and then its CONNECT SPDU: one that sends nothing and one
// that stops after its CR are closed when it runs out (and reported to the
// host's hook), while one that completed its establishment stays.
struct EstablishCut {
  int port;
  int32_t crReceived;
};
std::vector<EstablishCut> gCuts;
void noteCut(const sockaddr_in* peer, int32_t crReceived) { gCuts.push_back({ntohs(peer->sin_port), crReceived}); }

int localPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  return ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? ntohs(a.sin_port) : -1;
}

// What has come on `fd` so far, without waiting; `ended` tells whether the
// other side has closed.
std::string takeWaiting(int fd, bool* ended) {
  std::string out;
  char buf[256];
  *ended = false;
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) out.append(buf, static_cast<size_t>(n));
    if (n == 0) *ended = true;
    if (n <= 0) return out;
  }
}

// A CR without parameters (TPKT, LI 6, CR, references 0 and 12 34, class
// 0), and a DT carrying a CN to the server's selector that asks for duplex:
// version 2, requirements 00 02, calling 00 01, called 00 07.
const std::string kPlainCr{3, 0, 0, 11, 6, static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0};
const std::string kDuplexCn = std::string{3, 0, 0, 29, 2, static_cast<char>(0xF0), static_cast<char>(0x80)} +
                              std::string{0x0D, 0x14, 0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, 0x14,
                                          0x02, 0x00, 0x02, 0x33, 0x02, 0x00, 0x01, 0x34, 0x02, 0x00, 0x07};

TEST_F(Tp0Listen, ConnectionsThatDoNotCompleteTheirEstablishmentInTimeAreClosed) {
  configure("", "ForkOnConnect=0\n");
  ClockSteer clock;
  clock.set(5000, 0);
  gCuts.clear();
  tp0tcp_onEstablishCut = noteCut;
  const std::string& cr = kPlainCr;
  const std::string& cn = kDuplexCn;
  std::string found = "not started";
  int silent = -1, crOnly = -1, complete = -1;
  std::thread([&] {
    Side side;
    tSide = &side;
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords::Options o = role(5);
    o.adjust = [](StpParams* p) { p->establishLimit = 10; };
    ThreadRecords records(gIniFile, o, &local, &r);
    if (!records.ok()) return;
    (void)s_activate(&kServerSel, user);
    found.clear();
    SessionTLS* t = getSessionTLS(0);
    const int port = local.tsap.sel[0] * 256 + local.tsap.sel[1];
    silent = connectTo(port);
    crOnly = connectTo(port);
    complete = connectTo(port);
    say(crOnly, cr);
    say(complete, cr);
    auto pump = [&](auto done) {
      for (int i = 0; i < 500 && !done(); ++i)
        if (do_session_queue() < 0 || !done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return done();
    };
    bool ended = false;
    std::string ccs[2];
    if (!pump([&] {
          ccs[0] += takeWaiting(crOnly, &ended);
          ccs[1] += takeWaiting(complete, &ended);
          return t->tp0.activeCount == 3 && ccs[0].size() >= 5 && ccs[1].size() >= 5;
        }))
      found += "not all three accepted and answered; ";
    say(complete, cn);
    if (!pump([&] { return saw(side, SI_CON_IND); })) found += "the CN did not arrive; ";
    auto closedByServer = [&](int fd) {
      (void)takeWaiting(fd, &ended);
      return ended;
    };
    clock.set(5009, 999999);
    for (int i = 0; i < 20; ++i) (void)do_session_queue();
    if (t->tp0.activeCount != 3 || closedByServer(silent) || closedByServer(crOnly)) found += "closed too early; ";
    clock.set(5010, 0);
    if (!pump([&] { return closedByServer(silent) && closedByServer(crOnly); })) found += "not closed at the limit; ";
    if (t->tp0.activeCount != 1 || machineCount(t) != 1) found += "the completed connection is not the one left; ";
    if (closedByServer(complete)) found += "the completed connection was closed; ";
    std::sort(gCuts.begin(), gCuts.end(),
              [](const EstablishCut& x, const EstablishCut& y) { return x.crReceived < y.crReceived; });
    if (gCuts.size() != 2 || gCuts[0].port != localPort(silent) || gCuts[0].crReceived != 0 ||
        gCuts[1].port != localPort(crOnly) || gCuts[1].crReceived != 1)
      found += "the hook was not told of exactly those two; ";
    tSide = nullptr;
  }).join();
  tp0tcp_onEstablishCut = nullptr;
  for (int fd : {silent, crOnly, complete})
    if (fd >= 0) ::close(fd);
  EXPECT_EQ(found, "");
}

// A peer that sends its CN right behind its CR, without waiting for the CC:
// what the parent read past the CR goes with the connection to its child,
// whose session user gets the S-CONNECT indication; the parent has none.
TEST_F(Tp0Listen, ACnSentWithTheCrReachesTheForkedChild) {
  configure("", "ForkOnConnect=1\n");
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t server = fork();
  ASSERT_GE(server, 0);
  if (server == 0) {
    ::close(report[0]);
    std::thread([&] {
      TpLocalAddr local{};
      uint32_t r = 1;
      ThreadRecords records(gIniFile, role(5), &local, &r);
      if (!records.ok()) return say(report[1], "not started");
      Side side;
      tSide = &side;
      (void)s_activate(&kServerSel, user);
      const pid_t self = getpid();
      SessionTLS* t = getSessionTLS(0);
      const int fd = connectTo(local.tsap.sel[0] * 256 + local.tsap.sel[1]);
      say(fd, kPlainCr + kDuplexCn);
      bool forked = false;
      const bool done = runUntil([&] {
        if (getpid() != self) return saw(side, SI_CON_IND);
        forked = forked || t->children > 0;
        return forked && t->children == 0;
      });
      if (getpid() != self) {
        say(report[1], done ? "child: S-CONNECT indication\n" : "child: no S-CONNECT indication\n");
        _exit(0);
      }
      ::close(fd);
      std::string found = forked ? "" : "parent: no child; ";
      if (!side.events.empty()) found += "parent saw indications; ";
      say(report[1], found);
      tSide = nullptr;
    }).join();
    _exit(0);
  }
  ::close(report[1]);
  EXPECT_EQ(finish(server, 30), 0);
  const std::string found = readAll(report[0]);
  ::close(report[0]);
  EXPECT_EQ(found, "child: S-CONNECT indication\n");
}

// The layer that owns the threads answers, through the transport's hooks,
// whether a thread may listen and how a waiting connection is taken.
TEST_F(Tp0Listen, TheHooksOfTheThreadOwnerDecideWhoListensAndTakeWaitingConnections) {
  configure("", "ForkOnConnect=0\n");
  static std::atomic<int> asked{0};
  std::string found = "not started";
  std::thread([&] {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(5), &local, &r);
    if (!records.ok()) return;
    found.clear();
    SessionTLS* t = getSessionTLS(0);
    const Tp0ThreadHooks hooks{[]() -> int32_t { return 0; },
                               []() -> int32_t {
                                 ++asked;
                                 return tp0tcp_procSocketConInd();
                               }};
    tp0tcp_setThreadHooks(&hooks);
    const int port = local.tsap.sel[0] * 256 + local.tsap.sel[1];
    const int peer = connectTo(port);
    for (int i = 0; i < 300 && t->tp0.activeCount == 0; ++i) {
      (void)do_session_queue();
      if (t->tp0.activeCount == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (asked.load() != 1 || t->tp0.activeCount != 1) found += "the accept hook did not take the connection; ";
    (void)tp0tcp_unbind();
    if (tp0tcp_bind(&local, 5) != 0 || t->tp0.listenSocket != -1) found += "a thread that may not listen bound; ";
    tp0tcp_setThreadHooks(nullptr);
    if (tp0tcp_bind(&local, 5) != 0 || t->tp0.listenSocket == -1) found += "the default does not listen; ";
    ::close(peer);
  }).join();
  EXPECT_EQ(found, "");
}

TEST_F(Tp0Listen, ACrAskingForMoreThanTheConfiguredSizeGetsADrAndTheConnectionEnds) {
  configure("", "ForkOnConnect=0\n");
  std::string reply;
  bool closed = false;
  uint32_t active = 99;
  size_t left = 99;
  std::thread([&] {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(5), &local, &r);
    if (!records.ok()) return;
    const int fd = connectTo(local.tsap.sel[0] * 256 + local.tsap.sel[1]);
    reply = exchange(fd, kCr8192, true, &closed);
    active = getSessionTLS(0)->tp0.activeCount;
    left = machineCount(getSessionTLS(0));
    ::close(fd);
  }).join();
  ASSERT_EQ(reply.size(), 11u) << hexOf(reply);
  EXPECT_EQ(hexOf(reply.substr(0, 8)), "03 00 00 0B 06 80 12 34");
  EXPECT_TRUE(closed) << "the transport connection ends after the DR";
  EXPECT_EQ(active, 0u);
  EXPECT_EQ(left, 0u);
}

}  // namespace

namespace {

// The listening side takes sockets of any number (poll() has no limit of
// 1024) and sends on them without delay.
TEST_F(Tp0Listen, AnAcceptedSocketNumberedAbove1024IsServedWithoutDelay) {
  configure("", "ForkOnConnect=0\n");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  if (saved.rlim_max < 1100) GTEST_SKIP() << "cannot open 1100 descriptors";
  rlimit more = saved;
  more.rlim_cur = std::max<rlim_t>(saved.rlim_cur, 1100);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &more), 0);
  std::string reply;
  int accepted = -1;
  int noDelay = 0;
  std::thread([&] {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(5), &local, &r);
    if (!records.ok()) return;
    const int port = local.tsap.sel[0] * 256 + local.tsap.sel[1];
    const int fd = connectTo(port);
    if (fd < 0) return;
    // Every number up to 1024 taken: the accepted socket gets a higher one.
    std::vector<int> filler;
    for (int d = ::dup(0); d >= 0 && d <= 1024; d = ::dup(0)) filler.push_back(d);
    const std::string cr{6, static_cast<char>(0xE0), 0, 0, 0x12, 0x34, 0};
    const std::string pkt = std::string{3, 0, 0, static_cast<char>(cr.size() + 4)} + cr;
    (void)::send(fd, pkt.data(), pkt.size(), MSG_NOSIGNAL);
    for (int i = 0; i < 50 && reply.empty(); ++i) {
      (void)do_session_queue();
      for (const TCEP& e : getSessionTLS(0)->tp0.tcep) {
        if (e.state == kTcepFree) continue;
        accepted = e.socket;
        socklen_t len = sizeof noDelay;
        (void)getsockopt(e.socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, &len);
      }
      pollfd p{fd, POLLIN, 0};
      char buf[64];
      if (::poll(&p, 1, 10) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) reply.assign(buf, static_cast<size_t>(n));
      }
    }
    for (int d : filler) ::close(d);
    ::close(fd);
  }).join();
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_GT(accepted, 1024);
  EXPECT_EQ(noDelay, 1);
  ASSERT_GE(reply.size(), 8u);
  EXPECT_EQ(hexOf(reply.substr(4, 4)), "09 D0 12 34") << "answered by CC";
}

}  // namespace
