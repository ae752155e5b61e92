// Fixture of the transport tests: a record set with a registered session
// user, the transport started from a configuration file of the test's own,
// the session module's trace lines captured, and a peer written in the test
// on raw sockets of 127.0.0.1, on ports the kernel chooses.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/qvcrypt.h"
#include "session_fixture.h"
#include "spdu_fixture.h"
#include "src/runtime/qvinfo.h"
#include "src/runtime/tm.h"
#include "src/session/session_ind.h"
#include "src/session/spm_actions.h"
#include "src/session/tp0tcp.h"

inline std::vector<std::string> gTraceLines;
inline void captureTrace(uint32_t, const char* text) { gTraceLines.push_back(text); }

// A socket of the test's peer, closed with the object.
class PeerFd {
 public:
  PeerFd() = default;
  explicit PeerFd(int fd) : fd_(fd) {}
  PeerFd(PeerFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  PeerFd& operator=(PeerFd&& o) noexcept {
    reset();
    fd_ = o.fd_;
    o.fd_ = -1;
    return *this;
  }
  PeerFd(const PeerFd&) = delete;
  PeerFd& operator=(const PeerFd&) = delete;
  ~PeerFd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  void write(const std::string& octets) const {
    size_t done = 0;
    while (done < octets.size()) {
      const ssize_t n = ::send(fd_, octets.data() + done, octets.size() - done, MSG_NOSIGNAL);
      ASSERT_GT(n, 0) << "peer write failed";
      done += static_cast<size_t>(n);
    }
  }
  // Exactly n octets, waiting at most `ms` for each piece; fewer when the
  // connection ends or nothing comes.
  std::string read(size_t n, int ms = 5000) const {
    std::string out;
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, ms) <= 0) break;
      char buf[65536];
      const size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
      const ssize_t got = ::recv(fd_, buf, want, 0);
      if (got <= 0) break;
      out.append(buf, static_cast<size_t>(got));
    }
    return out;
  }
  // One TPKT, header included; empty when none comes.
  std::string readTpkt(int ms = 5000) const {
    std::string h = read(4, ms);
    if (h.size() < 4) return "";
    const size_t len = static_cast<size_t>(static_cast<uint8_t>(h[2])) << 8 | static_cast<uint8_t>(h[3]);
    return len < 4 ? h : h + read(len - 4, ms);
  }
  // Whether the other side has closed (an orderly end, or a reset).
  bool closedByOther(int ms = 2000) const {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char c;
    return ::recv(fd_, &c, 1, MSG_PEEK) <= 0;
  }

 private:
  int fd_ = -1;
};

// A listening socket on 127.0.0.1, on a port the kernel chooses. With
// `receiveBuffer`, the sockets it accepts have that receive buffer from the
// start, so that the window they offer stays as small as that from the
// handshake on (set later, the window already offered, and grown by the
// kernel's tuning meanwhile, is not taken back).
class Listener {
 public:
  explicit Listener(const char* address = "127.0.0.1", int receiveBuffer = 0) {
    fd_ = PeerFd(::socket(AF_INET, SOCK_STREAM, 0));
    if (receiveBuffer > 0) ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &a.sin_addr);
    EXPECT_EQ(::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd_.get(), 64), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  uint16_t port() const { return port_; }
  PeerFd accept(int ms = 5000) const {
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return PeerFd();
    return PeerFd(::accept(fd_.get(), nullptr, nullptr));
  }

 private:
  PeerFd fd_;
  uint16_t port_ = 0;
};

// TPKT of `version` around a TPDU.
inline std::string tpkt(const std::string& tpdu, uint8_t version = 3) {
  const size_t len = tpdu.size() + 4;
  std::string out{static_cast<char>(version), 0, static_cast<char>(len >> 8), static_cast<char>(len & 0xFF)};
  return out + tpdu;
}

// A DT TPDU in its TPKT.
inline std::string dtPacket(const std::string& data, bool eot = true, uint8_t version = 3) {
  return tpkt(std::string{2, static_cast<char>(0xF0), static_cast<char>(eot ? 0x80 : 0x00)} + data, version);
}

// The CC answering a CR (its source reference comes back as destination
// reference), with a size parameter when `sizeCode` is not 0.
inline std::string ccPacket(const std::string& cr, uint8_t sizeCode = 0x0B, uint8_t code = 0xD0,
                            uint8_t version = 3) {
  std::string tpdu{6, static_cast<char>(code), cr.size() > 9 ? cr[8] : '\0', cr.size() > 9 ? cr[9] : '\0',
                   0x00, 0x09, 0x00};
  if (sizeCode != 0) tpdu += std::string{static_cast<char>(0xC0), 1, static_cast<char>(sizeCode)};
  tpdu[0] = static_cast<char>(tpdu.size() - 1);
  return tpkt(tpdu, version);
}

// Records every indication as the recording user does, and keeps the user
// data of each.
inline std::vector<std::string> gData;
inline int32_t dataUser(Smachine* s, SIDU* sidu) {
  std::string text;
  SessionBuffer* first = sidu->userData;
  for (SessionBuffer* b = first; b != nullptr;) {
    text.append(reinterpret_cast<const char*>(b->data), b->length);
    b = b->next != first ? b->next : nullptr;
  }
  gData.push_back(text);
  return recordingUser(s, sidu);
}

// Open descriptors of the process.
inline int openFds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// The session user's indications, by event.
inline std::vector<uint32_t> seenEvents() {
  std::vector<uint32_t> out;
  for (const SeenIndication& x : gSeen) out.push_back(x.sidu.event);
  return out;
}

class Tp0Test : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    ASSERT_EQ(init_buffers(20, 10240), 1);
    sigaction(SIGPIPE, nullptr, &savedPipe_);
    sigaction(SIGCHLD, nullptr, &savedChld_);
    char tmpl[] = "/tmp/tp0testXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    savedHeader_ = bConfigInfoTraced;
    bConfigInfoTraced = 1;
    ASSERT_EQ(tm_init(1), 1);
    sess_TM_handle = tm_open("SESS: ", "sess");
    tm_setMask(sess_TM_handle, 0xFFFFFFFF);
    tm_output((dir_ + "/trace.log").c_str(), 0, 0);  // hex dumps go there
    ASSERT_EQ(tm_register(4096, captureTrace), 1);
    gTraceLines.clear();
    configure("");
    gData.clear();
    user_ = registerUser(selector({0x00, 0x01}), dataUser);
    StpParams* p = QvGetStpParams();
    p->listenQLen = 0;
    p->tpduSize = 2048;
    p->pollWait = 1;  // a pass returns as soon as a socket is ready
    p->addressSelection = 0;
    tls()->localAddr.tsap.len = 2;
    tls()->localAddr.tsap.sel[0] = 0x00;
    tls()->localAddr.tsap.sel[1] = 0x01;
    ASSERT_EQ(tp0tcp_init(), 0u);
  }
  void TearDown() override {
    gTp0Sys = Tp0Sys{::connect, ::poll};
    tp0tcp_dropAll(&tls()->tp0);
    encryptMode = 0;
    tsapd_port = -1;
    if (gEncrypt != 0) {
      qvcrypt_exit(-1);
      gEncrypt = 0;
    }
    tm_shutdown();
    tm_output("", 0, 0);
    tmOutFunc = nullptr;
    sess_TM_handle = -1;
    bConfigInfoTraced = savedHeader_;
    std::filesystem::remove_all(dir_);
    sigaction(SIGPIPE, &savedPipe_, nullptr);
    sigaction(SIGCHLD, &savedChld_, nullptr);
    SessionTest::TearDown();
  }

  // The main configuration file: [COMMON] with qv_root and `common`, then
  // `rest`.
  void configure(const std::string& common, const std::string& rest = "") {
    const std::string file = dir_ + "/mirodel.ini";
    std::ofstream(file) << "[COMMON]\nqv_root=" << dir_ << "\n" << common << rest;
    ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, file.c_str()), 1);
  }

  bool traced(const std::string& text) const {
    for (const std::string& l : gTraceLines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  // A connection record of the user in `state`, naming the server at `port`
  // of the given addresses.
  Smachine* calling(uint16_t port, const std::vector<std::array<uint8_t, 4>>& addresses = {{127, 0, 0, 1}},
                    uint8_t state = STA01B) {
    Smachine* s = connection(state, user_);
    s->peerAddr.tsap.len = 2;
    s->peerAddr.tsap.sel[0] = static_cast<uint8_t>(port >> 8);
    s->peerAddr.tsap.sel[1] = static_cast<uint8_t>(port & 0xFF);
    uint32_t len = 0;
    for (const auto& a : addresses) {
      if (len > 0) s->peerAddr.nsap.addr[len++] = '+';
      for (uint8_t o : a) s->peerAddr.nsap.addr[len++] = o;
    }
    s->peerAddr.nsap.len = len;
    return s;
  }

  TCEP* tcep(const Smachine* s) { return &tls()->tp0.tcep[s->tcepId]; }

  // Connects a new connection record to the listener: the CR is read and
  // answered with a CC of the given size code (none when 0), code octet and
  // TPKT version. The peer's end.
  PeerFd connectTo(const Listener& l, Smachine** out, uint8_t sizeCode = 0x0B, uint8_t code = 0xD0) {
    Smachine* s = calling(l.port());
    *out = s;
    EXPECT_EQ(TCONreq(s), 0u);
    PeerFd peer = l.accept();
    EXPECT_GE(peer.get(), 0);
    cr_ = peer.readTpkt();
    EXPECT_EQ(cr_.size(), 22u);
    peer.write(ccPacket(cr_, sizeCode, code, version_));
    return peer;
  }

  // A pass of the event loop that does not wait: for passes in which
  // nothing is to arrive.
  int32_t passNow() {
    StpParams* p = QvGetStpParams();
    const int32_t wait = p->pollWait;
    p->pollWait = 0;
    const int32_t r = do_session_queue();
    p->pollWait = wait;
    return r;
  }

  // An open connection in data transfer (STA713, duplex, credit 1): CC
  // taken, T-CONNECT confirm fed.
  PeerFd openConnection(const Listener& l, Smachine** out, uint8_t sizeCode = 0x0B) {
    PeerFd peer = connectTo(l, out, sizeCode);
    Smachine* s = *out;
    (void)do_session_queue();  // the CC
    (void)passNow();           // the T-CONNECT confirm
    EXPECT_EQ(s->tcepId >= 0 ? tcep(s)->state : 99u, kTcepOpen);
    s->state = STA713;
    s->requirements = SR_DUPLEX;
    s->version = 2;
    s_setAvailable(s);
    s_setOwned(s, 0);
    s->credit = 1;
    return peer;
  }

  // Queues `length` octets of a counting pattern (the end flag as given)
  // and asks the transport to send.
  std::string queueUnit(Smachine* s, size_t length, bool end = true) {
    SessionBuffer* b = balloc(static_cast<int32_t>(length));
    EXPECT_NE(b, nullptr);
    std::string text;
    for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(i * 7 + 1));
    if (length > 0) std::memcpy(b->data, text.data(), length);
    b->endFlag = end ? 1 : 0;
    sq_append(&s->outQ, b);
    return text;
  }

  std::string dir_;
  uint8_t version_ = 3;  // TPKT version the peer speaks
  SsUser* user_ = nullptr;
  std::string cr_;
  int32_t savedHeader_ = 0;
  struct sigaction savedPipe_ {};
  struct sigaction savedChld_ {};
};
