// The session layer over TP0 over TCP on 127.0.0.1 against plain TCP moving
// the same octets in the same units, in one program: S-DATA units of 1 KiB
// and 64 KiB streamed on 1 and 8 connections, and a ping-pong of 100-octet
// and 20,000-octet units. Each connection is a pair of threads with record
// sets of their own (a listening server and a calling client), with the
// product's defaults: TPDU size 65531, pool buffers of 10240 octets. At the
// end the session's rate is printed as a share of plain TCP's, and the
// process's CPU time per octet moved as a multiple of plain TCP's.
//
// Both sides do the same work around the transport: each writes its
// octets once and sends them again and again (plain TCP from one vector,
// the session from pool buffers that were filled when they were made and
// come back through the pool's free list), and each receiver only counts.
// Each session benchmark runs right before its plain TCP twin; with
// --benchmark_repetitions the ratios are those of the medians.
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "src/odbc/alltls.h"
#include "src/session/buffer_pool.h"
#include "src/session/session.h"
#include "src/session/session_ind.h"
#include "src/session/sessiontls.h"
#include "src/session/systemtls.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/thread_records.h"

namespace {

constexpr int32_t kPoolSize = 10240;
constexpr uint32_t kTpduSize = 65531;
constexpr int kStreamOctets = 4 << 20;  // octets each connection moves per iteration

// ---------------------------------------------------------------------------
// Start-up of the process and of each thread

std::string gIniFile;

void setUpProcess() {
  static std::once_flag once;
  std::call_once(once, [] {
    glMainThreadId = QvGetThreadHandle();
    hSerializeMutex = QvCreateMutex();
    if (QvCreateMutexes() == 0) std::abort();
    QvSetMultiThread(1);
    giQuietMode = 1;  // the listening port goes to the trace, not to standard output
    char tmpl[] = "/tmp/benchsessXXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    const std::string dir = tmpl;
    gIniFile = dir + "/mirodel.ini";
    std::ofstream(gIniFile) << "[COMMON]\nqv_root=" << dir << "\n[SERVER]\nForkOnConnect=0\n";
    std::atexit([] { std::filesystem::remove_all(std::filesystem::path(gIniFile).parent_path()); });
  });
}

ThreadRecords::Options role(int32_t listenQueue) {
  ThreadRecords::Options o;
  o.listenQueue = listenQueue;
  o.tpduSize = kTpduSize;
  o.poolSize = kPoolSize;
  o.poolBuffers = 20;
  return o;
}

SSAPaddr selector(uint8_t last) {
  SSAPaddr a{};
  a.ssap.len = 2;
  a.ssap.sel[1] = last;
  return a;
}
const SSAPaddr kServerSel = selector(0x07);
const SSAPaddr kClientSel = selector(0x01);

// ---------------------------------------------------------------------------
// What a session user of either side sees, per thread

struct UserState {
  Smachine* conn = nullptr;
  bool connected = false;
  bool ended = false;
  uint64_t received = 0;   // user data octets of S-DATA indications
  uint64_t units = 0;      // S-DATA units complete (a buffer with the end flag)
  bool echo = false;       // the server answers every unit with one as long
  uint64_t unitLength = 0;
  uint32_t echoesDue = 0;  // units to answer after the pass
  std::atomic<uint64_t>* counter = nullptr;  // the server's count, read by the client thread
};
thread_local UserState* tUser = nullptr;

constexpr uint8_t kFill = 0x5A;

// Fills the free list of the thread's pool with buffers whose whole area
// holds octets, so that units need not be filled one by one.
void fillFreeList() {
  std::vector<SessionBuffer*> made;
  for (int i = 0; i < role(0).poolBuffers; ++i) {
    SessionBuffer* b = balloc(-1);
    if (b == nullptr) break;
    std::memset(b->area, kFill, b->capacity);
    made.push_back(b);
  }
  for (SessionBuffer* b : made) bfree(b);
}

// A unit of `n` octets in pool buffers. A buffer from the free list holds
// octets already (see fillFreeList); one the heap had to make is filled.
SessionBuffer* unitOf(size_t n) {
  SessionBuffer* first = nullptr;
  for (size_t at = 0; at < n || first == nullptr;) {
    const size_t k = n - at < static_cast<size_t>(kPoolSize) ? n - at : static_cast<size_t>(kPoolSize);
    const SystemTLS* pool = getSystemTLS(0);
    const bool fresh = pool == nullptr || pool->freeCount == 0;
    SessionBuffer* b = balloc(static_cast<int32_t>(k));
    if (b == nullptr) std::abort();
    if (fresh) std::memset(b->area, kFill, b->capacity);
    if (first == nullptr) {
      first = b;
    } else {
      b->prev = first->prev;
      b->next = first;
      first->prev->next = b;
      first->prev = b;
    }
    at += k;
  }
  return first;
}

bool sendUnit(Smachine* s, size_t n) {
  SIDU dt{};
  dt.event = 15;
  dt.userData = unitOf(n);
  return session(s, &dt) == 1;
}

void giveCredit(Smachine* s) {
  if (s == nullptr || s->credit >= 16 || s->state == STA01) return;
  SIDU more{};
  more.event = 33;
  more.credit = 64;
  (void)session(s, &more);
}

int32_t user(Smachine* s, SIDU* sidu) {
  UserState* u = tUser;
  if (u != nullptr) {
    u->conn = s;
    switch (sidu->event) {
      case SI_CON_IND: {
        SIDU acc{};
        acc.event = 13;
        acc.requirements = SR_DUPLEX;
        acc.credit = 64;
        (void)session(s, &acc);
        u->connected = true;
        break;
      }
      case SI_CON_CNF:
        u->connected = true;
        break;
      case SI_DT_IND: {
        SessionBuffer* first = sidu->userData;
        bool end = false;
        for (SessionBuffer* b = first; b != nullptr;) {
          u->received += b->length;
          end = b->endFlag != 0;
          b = b->next != first ? b->next : nullptr;
        }
        if (end) ++u->units;
        if (u->counter != nullptr) u->counter->store(u->received, std::memory_order_release);
        if (u->echo && end) ++u->echoesDue;
        break;
      }
      case SI_UAB_IND:
      case SI_PAB_IND:
        u->ended = true;
        break;
      default:
        break;
    }
  }
  s_freeChain(sidu->userData);
  return 0;
}

// ---------------------------------------------------------------------------
// One connection of each kind: a server thread and the client on the
// calling (benchmark) thread.

class Pair {
 public:
  virtual ~Pair() = default;
  // Streams `octets` in units of `unit` and returns when the server has
  // them all.
  virtual void stream(size_t unit, uint64_t octets) = 0;
  // One unit of `unit` octets there, and one back.
  virtual void pingPong(size_t unit) = 0;
};

// Waits until the server has counted `target` octets.
void awaitCount(const std::atomic<uint64_t>& counter, uint64_t target) {
  while (counter.load(std::memory_order_acquire) < target) std::this_thread::yield();
}

class SessionPair : public Pair {
 public:
  SessionPair(bool echo, size_t unitLength) {
    server_ = std::thread([this, echo, unitLength] { serve(echo, unitLength); });
    while (port_.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (port_.load() < 0) std::abort();
    TpLocalAddr local{};
    uint32_t r = 1;
    client_ = std::make_unique<ThreadRecords>(gIniFile, role(0), &local, &r);
    if (!client_->ok()) std::abort();
    fillFreeList();
    QvGetStpParams()->pollWait = 1;
    tUser = &me_;
    (void)s_activate(&kClientSel, user);
    SAddress address{};
    address.ssap = kServerSel.ssap;
    address.tsap.len = 2;
    address.tsap.sel[0] = static_cast<uint8_t>(port_ >> 8);
    address.tsap.sel[1] = static_cast<uint8_t>(port_ & 0xFF);
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
    if (s == nullptr) std::abort();
    while (!me_.connected) {
      if (do_session_queue() < 0 && me_.ended) std::abort();
    }
    conn_ = me_.conn;
  }
  ~SessionPair() override {
    stop_.store(true);
    client_.reset();  // its connection ends with its records: the server wakes
    server_.join();
    tUser = nullptr;
  }

  void stream(size_t unit, uint64_t octets) override {
    const uint64_t target = sent_ + octets;
    for (uint64_t done = 0; done < octets; done += unit) {
      if (!sendUnit(conn_, unit)) std::abort();
      sent_ += unit;
      flush();
    }
    awaitCount(count_, target);
  }

  void pingPong(size_t unit) override {
    const uint64_t want = me_.received + unit;
    giveCredit(conn_);
    if (!sendUnit(conn_, unit)) std::abort();
    while (me_.received < want) {
      if (do_session_queue() < 0 || me_.ended) std::abort();
      giveCredit(conn_);
    }
  }

 private:
  // Writes what the socket did not take at once and hands the sent units
  // back (the client has no credit: nothing to read).
  void flush() {
    for (;;) {
      const TCEP* e = tp0tcp_tcepOf(conn_);
      const bool pending = !sq_empty(&conn_->outQ) || !sq_empty(&conn_->cnfQ) || (e != nullptr && e->sendState != TxIdle);
      if (!pending) return;
      (void)do_session_queue();
    }
  }

  void serve(bool echo, size_t unitLength) {
    TpLocalAddr local{};
    uint32_t r = 1;
    ThreadRecords records(gIniFile, role(5), &local, &r);
    if (!records.ok()) {
      port_.store(-1);
      return;
    }
    UserState u;
    u.echo = echo;
    u.unitLength = unitLength;
    u.counter = &count_;
    tUser = &u;
    fillFreeList();
    (void)s_activate(&kServerSel, user);
    port_.store(local.tsap.sel[0] * 256 + local.tsap.sel[1]);
    QvGetStpParams()->pollWait = 1;
    while (!stop_.load()) {
      giveCredit(u.conn);
      (void)do_session_queue();
      for (; u.echoesDue > 0; --u.echoesDue) (void)sendUnit(u.conn, u.unitLength);
    }
    tUser = nullptr;
  }

  std::thread server_;
  std::atomic<int> port_{0};
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> count_{0};
  std::unique_ptr<ThreadRecords> client_;
  UserState me_;
  Smachine* conn_ = nullptr;
  uint64_t sent_ = 0;
};

// Plain TCP: blocking sockets with TCP_NODELAY, one send() per unit.
class TcpPair : public Pair {
 public:
  TcpPair(bool echo, size_t unitLength) : data_(unitLength, kFill), back_(unitLength) {
    const int l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(l, 1) != 0) std::abort();
    socklen_t len = sizeof a;
    ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::abort();
    const int peer = ::accept(l, nullptr, nullptr);
    ::close(l);
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    server_ = std::thread([this, peer, echo, unitLength] { serve(peer, echo, unitLength); });
  }
  ~TcpPair() override {
    ::shutdown(fd_, SHUT_RDWR);
    server_.join();
    ::close(fd_);
  }

  void stream(size_t unit, uint64_t octets) override {
    const uint64_t target = sent_ + octets;
    for (uint64_t done = 0; done < octets; done += unit) {
      writeAll(fd_, data_.data(), unit);
      sent_ += unit;
    }
    awaitCount(count_, target);
  }

  void pingPong(size_t unit) override {
    writeAll(fd_, data_.data(), unit);
    readAll(fd_, back_.data(), unit);
  }

 private:
  static void writeAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
      const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
      if (k <= 0) std::abort();
      p += k;
      n -= static_cast<size_t>(k);
    }
  }
  static bool readAll(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
      const ssize_t k = ::recv(fd, p, n, 0);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  void serve(int peer, bool echo, size_t unitLength) {
    std::vector<uint8_t> buf(echo ? unitLength : 256 * 1024);
    uint64_t total = 0;
    for (;;) {
      if (echo) {
        if (!readAll(peer, buf.data(), unitLength)) break;
        writeAll(peer, buf.data(), unitLength);
        continue;
      }
      const ssize_t k = ::recv(peer, buf.data(), buf.size(), 0);
      if (k <= 0) break;
      total += static_cast<uint64_t>(k);
      count_.store(total, std::memory_order_release);
    }
    ::close(peer);
  }

  std::vector<uint8_t> data_;  // the octets of every unit sent
  std::vector<uint8_t> back_;  // where the echo goes
  int fd_ = -1;
  std::thread server_;
  std::atomic<uint64_t> count_{0};
  uint64_t sent_ = 0;
};

std::unique_ptr<Pair> makePair(bool session, bool echo, size_t unit) {
  if (session) return std::make_unique<SessionPair>(echo, unit);
  return std::make_unique<TcpPair>(echo, unit);
}

// ---------------------------------------------------------------------------
// Benchmarks: argument 0 is the unit length; the thread count is the
// number of connections.

int64_t processCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The CPU time of the whole process (every sending and receiving thread)
// per KiB moved, taken by the first thread over its timed loop; the other
// threads run theirs at the same time.
class CpuPerKiB {
 public:
  explicit CpuPerKiB(const benchmark::State& state) : first_(state.thread_index() == 0), start_(first_ ? processCpuNs() : 0) {}
  void report(benchmark::State& state, uint64_t octets) const {
    if (!first_ || octets == 0) return;
    const double ns = static_cast<double>(processCpuNs() - start_);
    state.counters["cpu_ns_per_KiB"] = ns * 1024.0 / static_cast<double>(octets);
  }

 private:
  bool first_;
  int64_t start_;
};

template <bool Session>
void BM_Stream(benchmark::State& state) {
  setUpProcess();
  const size_t unit = static_cast<size_t>(state.range(0));
  std::unique_ptr<Pair> pair = makePair(Session, false, unit);
  const uint64_t octets = (kStreamOctets / unit) * unit;
  CpuPerKiB cpu(state);
  for (auto _ : state) pair->stream(unit, octets);
  cpu.report(state, state.iterations() * octets * static_cast<uint64_t>(state.threads()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * octets));
  pair.reset();
}

template <bool Session>
void BM_PingPong(benchmark::State& state) {
  setUpProcess();
  const size_t unit = static_cast<size_t>(state.range(0));
  std::unique_ptr<Pair> pair = makePair(Session, true, unit);
  CpuPerKiB cpu(state);
  for (auto _ : state) pair->pingPong(unit);
  cpu.report(state, state.iterations() * unit * 2);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * unit * 2));
  pair.reset();
}

// Each session benchmark runs just before its plain TCP twin, so that the
// two of a ratio see the machine in much the same state.
void registerAll() {
  for (const int64_t unit : {1024, 65536}) {
    for (const int threads : {1, 8}) {
      benchmark::RegisterBenchmark("Session/Stream", BM_Stream<true>)
          ->Arg(unit)->Threads(threads)->UseRealTime()->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("PlainTcp/Stream", BM_Stream<false>)
          ->Arg(unit)->Threads(threads)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
  }
  for (const int64_t unit : {100, 20000}) {
    benchmark::RegisterBenchmark("Session/PingPong", BM_PingPong<true>)
        ->Arg(unit)->UseRealTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("PlainTcp/PingPong", BM_PingPong<false>)
        ->Arg(unit)->UseRealTime()->Unit(benchmark::kMicrosecond);
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The console report, then each session rate as a share of plain TCP's and
// its CPU time per octet as a multiple of plain TCP's; with repetitions,
// of the medians.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      if (const auto it = r.counters.find("bytes_per_second"); it != r.counters.end())
        rates_[r.benchmark_name()].push_back(it->second.value);
      if (const auto it = r.counters.find("cpu_ns_per_KiB"); it != r.counters.end())
        cpu_[r.benchmark_name()].push_back(it->second.value);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nSession rate as a share of plain TCP's (CPU time per octet as a multiple of plain TCP's):\n");
    for (const auto& [name, rates] : rates_) {
      if (name.rfind("Session/", 0) != 0) continue;
      const std::string other = "PlainTcp/" + name.substr(8);
      const auto plain = rates_.find(other);
      if (plain == rates_.end() || median(plain->second) <= 0) continue;
      std::printf("  %-40s %.2fx", name.substr(8).c_str(), median(rates) / median(plain->second));
      const auto cpu = cpu_.find(name);
      const auto plainCpu = cpu_.find(other);
      if (cpu != cpu_.end() && plainCpu != cpu_.end() && median(plainCpu->second) > 0)
        std::printf("  (CPU %.2fx)", median(cpu->second) / median(plainCpu->second));
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, std::vector<double>> rates_;
  std::map<std::string, std::vector<double>> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
