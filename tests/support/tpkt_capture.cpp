#include "support/tpkt_capture.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::string runCommand(const std::string& cmd) {
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

int loopbackSocket(int port, bool listening) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = listening ? ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 1) == 0
                            : ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

bool tsharkAvailable() {
  return std::system("command -v tshark >/dev/null 2>&1 && command -v text2pcap >/dev/null 2>&1") == 0;
}

TsharkView decodeTpktTraffic(const std::vector<CapturedTpkt>& packets, const std::string& dir, int serverPort,
                             const TsharkDecode& how) {
  TsharkView view;
  const std::string text = dir + "/traffic.txt";
  const std::string pcap = dir + "/traffic.pcap";
  {
    // text2pcap's hex dump: an offset per 16 octets, "I" or "O" before the
    // first line of a packet for its direction (-D).
    std::ofstream out(text);
    for (const CapturedTpkt& p : packets) {
      char line[32];
      for (size_t i = 0; i < p.octets.size(); ++i) {
        if (i % 16 == 0) {
          std::snprintf(line, sizeof line, "%s%s%04zx", i == 0 ? "" : "\n", i == 0 ? (p.fromClient ? "I " : "O ") : "",
                        i);
          out << line;
        }
        std::snprintf(line, sizeof line, " %02x", static_cast<uint8_t>(p.octets[i]));
        out << line;
      }
      out << "\n\n";
    }
    if (!out) {
      view.error = "cannot write " + text;
      return view;
    }
  }
  const std::string port = std::to_string(serverPort);
  if (std::system(("text2pcap -q -D -T 40000," + port + " " + text + " " + pcap + " >/dev/null 2>&1").c_str()) != 0) {
    view.error = "text2pcap failed on " + text;
    return view;
  }
  const std::string decode = "tshark -n -r " + pcap + " -d tcp.port==" + port + ",tpkt" +
                             (how.presentation ? "" : " --disable-protocol pres");
  std::string fields;
  for (const std::string& f : how.fields) fields += " -e " + f;
  view.fields = runCommand(decode + " -T fields -E separator=';'" + fields + " 2>/dev/null");
  view.detail = runCommand(decode + " -V 2>/dev/null");
  if (view.detail.empty()) view.error = "tshark read nothing from " + pcap;
  return view;
}

RecordingRelay::RecordingRelay() {
  listenFd_ = loopbackSocket(0, true);
  if (listenFd_ < 0) return;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    return;
  }
  port_ = ntohs(a.sin_port);
}

RecordingRelay::~RecordingRelay() {
  (void)finish(0);
  if (listenFd_ >= 0) ::close(listenFd_);
}

void RecordingRelay::start(int serverPort) {
  if (listenFd_ < 0 || thread_.joinable()) return;
  thread_ = std::thread(&RecordingRelay::run, this, serverPort);
}

bool RecordingRelay::finish(int seconds) {
  if (!thread_.joinable()) return done_.load();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done_.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const bool byThemselves = done_.load();
  stop_.store(true);
  thread_.join();
  return byThemselves;
}

void RecordingRelay::run(int serverPort) {
  // side[0] faces the client, side[1] the server.
  int side[2] = {-1, -1};
  while (!stop_.load() && side[0] < 0) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) side[0] = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  if (side[0] >= 0) side[1] = loopbackSocket(serverPort, false);
  connected_.store(side[1] >= 0);
  bool open[2] = {side[1] >= 0, side[1] >= 0};  // each direction still carrying octets
  while (!stop_.load() && (open[0] || open[1])) {
    pollfd p[2];
    for (int i = 0; i < 2; ++i) p[i] = pollfd{open[i] ? side[i] : -1, POLLIN, 0};
    if (::poll(p, 2, 20) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!open[i] || p[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::recv(side[i], buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        chunks_.push_back({i == 0, std::string(buf, static_cast<size_t>(n))});
        if (i == 1 && steer_) {
          // Whole TPKTs go through the steering function.
          fromServer_.append(buf, static_cast<size_t>(n));
          bool sent = true;
          while (sent && fromServer_.size() >= 4) {
            const size_t len = static_cast<size_t>(static_cast<uint8_t>(fromServer_[2])) << 8 |
                               static_cast<uint8_t>(fromServer_[3]);
            if (len >= 4 && fromServer_.size() < len) break;
            const size_t take = len >= 4 ? len : fromServer_.size();
            const std::string out = steer_(serverTpkts_++, fromServer_.substr(0, take));
            fromServer_.erase(0, take);
            sent = out.empty() || sendAll(side[0], out.data(), out.size());
          }
          if (sent) continue;
        } else if (sendAll(side[1 - i], buf, static_cast<size_t>(n))) {
          continue;
        }
      }
      // The end of this direction (or a reset) passes on as the end of the
      // other side's incoming stream.
      open[i] = false;
      (void)::shutdown(side[1 - i], SHUT_WR);
    }
  }
  for (int fd : side)
    if (fd >= 0) ::close(fd);
  done_.store(!open[0] && !open[1]);
}

std::vector<CapturedTpkt> RecordingRelay::tpkts() const {
  std::vector<CapturedTpkt> out;
  std::string pending[2];
  for (const Chunk& c : chunks_) {
    std::string& b = pending[c.fromClient ? 0 : 1];
    b += c.octets;
    while (b.size() >= 4) {
      const size_t len = static_cast<size_t>(static_cast<uint8_t>(b[2])) << 8 | static_cast<uint8_t>(b[3]);
      if (len >= 4 && b.size() < len) break;
      const size_t take = len >= 4 ? len : b.size();
      out.push_back({c.fromClient, b.substr(0, take)});
      b.erase(0, take);
    }
  }
  for (int i = 0; i < 2; ++i)
    if (!pending[i].empty()) out.push_back({i == 0, pending[i]});
  return out;
}

std::map<std::string, size_t> decodeCleanly(const std::vector<CapturedTpkt>& traffic, int serverPort,
                                            const std::vector<std::string>& what, std::string* fields) {
  std::map<std::string, size_t> times;
  char dir[] = "/tmp/tpktXXXXXX";
  if (mkdtemp(dir) == nullptr) {
    ADD_FAILURE() << "no directory for the capture";
    return times;
  }
  TsharkDecode how;
  how.presentation = true;
  how.fields = {"cotp.type", "ses.type", "pres.mode_value"};
  const TsharkView view = decodeTpktTraffic(traffic, dir, serverPort, how);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(view.error, "");
  EXPECT_EQ(view.detail.find("Malformed"), std::string::npos) << view.detail;
  EXPECT_EQ(view.detail.find("Expert Info (Error"), std::string::npos) << view.detail;
  const std::string noDissector = "BER: Dissector for OID not implemented";
  for (size_t at = view.detail.find("Expert Info (Warning"); at != std::string::npos;
       at = view.detail.find("Expert Info (Warning", at + 1))
    EXPECT_NE(view.detail.substr(at, view.detail.find('\n', at) - at).find(noDissector), std::string::npos)
        << view.detail.substr(at, 200);
  for (const std::string& w : what) {
    size_t n = 0;
    for (size_t at = view.detail.find(w); at != std::string::npos; at = view.detail.find(w, at + 1)) ++n;
    times[w] = n;
  }
  if (fields != nullptr) *fields = view.fields;
  return times;
}
