// rdapeer: an RDA server on the stack's own server role with SQLite behind
// it, for tests that need a real database at the other end.
//
//   rdapeer --dir DIR [--address|--listen A.B.C.D] [--port N] [--db FILE]
//           [--fork [--max-children N]] [--user NAME:PASSWORD]... [--idle SECONDS]
//           [--init-data TEXT|none] [--record FILE] [--info N=VALUE]...
//           [misbehaviour option]...
//                                                         (--help lists them)
//
// DIR must exist. The configuration is written into it (mirodel.ini and
// schema/qvdrd.ini, which name the peer for clients too), but never over
// files of those names that the peer did not write: it then says so on
// standard error and ends with status 2. It listens on 127.0.0.1 (or the
// address given) at port N, binding its socket once; with 0 (the default)
// the system picks a free port. Peers on 127.0.0.1, .2 and .3 can so share
// one port, as the addresses of one database resource. Once it listens, the
// port is the first line of standard output. It ends cleanly on SIGTERM or SIGINT, when its parent
// goes, and after SECONDS (default 30) without a connection. With --fork
// each connection is served by a child of its own, which ends with its
// connection; with --max-children N, a connection that comes while N
// children run is refused (DR to its CR), else there is no such limit. A
// connection that has not sent its CR and its CONNECT SPDU within the
// establishment limit (default 10 s, 0: none) is closed, with a line on
// standard error.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "peer/peer_record.h"
#include "peer/peer_server.h"
#include "src/runtime/inifile.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0addr.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/recordset.h"
#include "support/server_user.h"
#include "support/stack.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

constexpr const char* kHelp =
    "usage: rdapeer --dir DIR [option]...\n"
    "  --dir DIR              an existing directory: the configuration is written into it\n"
    "                         (mirodel.ini, schema/qvdrd.ini), and R-Open attaches DIR/<name>.sqlite\n"
    "  --address A.B.C.D      the address to listen on (127.0.0.1); --listen is the same\n"
    "  --port N               the port to listen on; 0 (the default) takes a free one.\n"
    "                         The port is the first line of standard output.\n"
    "  --db FILE              one SQLite file for every association (default: a new\n"
    "                         in-memory database for each)\n"
    "  --fork                 each connection served by a child process of its own\n"
    "  --max-children N       with --fork: a connection that comes while N children run\n"
    "                         is refused (default: no limit)\n"
    "  --user NAME:PASSWORD   who may log on (repeatable; without it anyone may)\n"
    "  --idle SECONDS         end after so long without a connection (30)\n"
    "  --establish-limit SECONDS\n"
    "                         close a connection that has not sent its CR and its\n"
    "                         CONNECT SPDU within so long (10; 0: no limit)\n"
    "  --init-data TEXT|none  the user data of the R-Initialize answer\n"
    "                         (KVO_RDA_SERVER,65,0,0,V1), or none\n"
    "  --record FILE          one line per R-Initialize and R-ExecuteDBL received\n"
    "  --info N=VALUE         QV_INFO value of information type N (NULL: none); repeatable\n"
    "  --help                 this text\n"
    "misbehaviour for a client's error paths:\n"
    "  --refuse               every association refused\n"
    "  --abort-after N        an association aborted after N RDA requests\n"
    "  --mute                 RDA requests never answered\n"
    "  --fail-init            R-Initialize answered with error 19\n"
    "  --fail-init-text TEXT  the same, with TEXT as its diagnostic\n"
    "  --open-error 10|11|17:STATE\n"
    "                         R-Open answered with that error (10 with handle 1)\n"
    "  --fail-term            R-Terminate answered with error 19\n"
    "  --mute-after N         R-ExecuteDBL answered N times in an association, then never\n"
    "  --fail-begin N         the N-th R-BeginTransaction of an association gets error 19\n"
    "  --commit-rollback N    the N-th R-Commit of an association rolls back and answers code 7\n";

int usage(const char* why) {
  std::fprintf(stderr, "rdapeer: %s\n%s", why, kHelp);
  return 2;
}

// A whole number in [low, high] from an option's argument.
bool number(const char* text, long low, long high, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < low || v > high) return false;
  *out = v;
  return true;
}

// --open-error's argument: 10, 11 or 17:STATE.
bool openError(const char* text, peer::PeerOptions* p) {
  if (text == nullptr) return false;
  const std::string t = text;
  long state = 0;
  if (t == "10" || t == "11") {
    p->openError = static_cast<uint32_t>(std::stol(t));
  } else if (t.rfind("17:", 0) == 0 && number(t.c_str() + 3, INT32_MIN, INT32_MAX, &state)) {
    p->openError = 17;
    p->openErrorState = static_cast<int32_t>(state);
  } else {
    return false;
  }
  return true;
}

// --info's argument: N=VALUE, the word NULL for none.
bool info(const char* text, peer::PeerOptions* p) {
  const char* eq = text != nullptr ? std::strchr(text, '=') : nullptr;
  long n = 0;
  if (eq == nullptr || !number(std::string(text, eq).c_str(), INT32_MIN, INT32_MAX, &n)) return false;
  p->info[static_cast<int32_t>(n)] = std::strcmp(eq + 1, "NULL") == 0 ? std::nullopt : std::optional<std::string>(eq + 1);
  return true;
}

struct Settings {
  peer::PeerOptions peer;
  std::string record;
  std::filesystem::path dir;
  in_addr address{htonl(INADDR_LOOPBACK)};
  long port = 0;
  bool help = false;
  bool fork = false;
  uint32_t maxChildren = qv_s_tpParams.processLimit;  // none
  long idleSeconds = 30;
  long establishLimit = 10;
};

long gEstablishLimit = 0;

void reportCut(const sockaddr_in* peer, int32_t crReceived) {
  char host[INET_ADDRSTRLEN] = "?";
  (void)inet_ntop(AF_INET, &peer->sin_addr, host, sizeof host);
  std::fprintf(stderr, "rdapeer: closed the connection from %s:%d: no %s within %ld s\n", host, ntohs(peer->sin_port),
               crReceived != 0 ? "CONNECT SPDU" : "CR", gEstablishLimit);
  std::fflush(stderr);
}

// Reads the command line; "" when it is sound, else what is wrong.
std::string parse(int argc, char** argv, Settings* s) {
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    const char* arg = i + 1 < argc ? argv[i + 1] : nullptr;
    long n = 0;
    if (opt == "--help") {
      s->help = true;
      return "";
    } else if (opt == "--dir" && arg != nullptr) {
      s->dir = arg;
      ++i;
    } else if ((opt == "--address" || opt == "--listen") && arg != nullptr &&
               inet_pton(AF_INET, arg, &s->address) == 1) {
      ++i;
    } else if (opt == "--port" && number(arg, 0, 65535, &s->port)) {
      ++i;
    } else if (opt == "--db" && arg != nullptr && *arg != '\0') {
      s->peer.database = arg;
      ++i;
    } else if (opt == "--fork") {
      s->fork = true;
    } else if (opt == "--max-children" && number(arg, 0, INT32_MAX, &n)) {
      s->maxChildren = static_cast<uint32_t>(n);
      ++i;
    } else if (opt == "--user" && arg != nullptr && std::strchr(arg, ':') != nullptr && *arg != ':') {
      const char* colon = std::strchr(arg, ':');
      s->peer.users[std::string(arg, colon)] = colon + 1;
      ++i;
    } else if (opt == "--idle" && number(arg, 1, 86400, &s->idleSeconds)) {
      ++i;
    } else if (opt == "--establish-limit" && number(arg, 0, 86400, &s->establishLimit)) {
      ++i;
    } else if (opt == "--refuse") {
      s->peer.refuseAssociation = true;
    } else if (opt == "--abort-after" && number(arg, 0, 1000000, &n)) {
      s->peer.abortAfter = static_cast<int>(n);
      ++i;
    } else if (opt == "--mute") {
      s->peer.mute = true;
    } else if (opt == "--fail-init") {
      s->peer.failInitialize = true;
    } else if (opt == "--fail-init-text" && arg != nullptr) {
      s->peer.failInitialize = true;
      s->peer.failInitText = arg;
      ++i;
    } else if (opt == "--init-data" && arg != nullptr) {
      s->peer.initData = std::strcmp(arg, "none") == 0 ? std::nullopt : std::optional<std::string>(arg);
      ++i;
    } else if (opt == "--open-error" && openError(arg, &s->peer)) {
      ++i;
    } else if (opt == "--fail-term") {
      s->peer.failTerminate = true;
    } else if (opt == "--record" && arg != nullptr && *arg != '\0') {
      s->record = arg;
      ++i;
    } else if (opt == "--info" && info(arg, &s->peer)) {
      ++i;
    } else if (opt == "--mute-after" && number(arg, 0, 1000000, &n)) {
      s->peer.muteAfter = static_cast<int>(n);
      ++i;
    } else if (opt == "--fail-begin" && number(arg, 1, 1000000, &n)) {
      s->peer.failBegin = static_cast<int>(n);
      ++i;
    } else if (opt == "--commit-rollback" && number(arg, 1, 1000000, &n)) {
      s->peer.commitRollback = static_cast<int>(n);
      ++i;
    } else {
      return "bad option " + opt;
    }
  }
  if (s->dir.empty()) return "--dir is required";
  std::error_code ec;
  if (!std::filesystem::is_directory(s->dir, ec)) return "no directory " + s->dir.string();
  s->dir = std::filesystem::absolute(s->dir, ec);
  s->peer.scratch = s->dir;
  return "";
}

// The first line of the configuration files the peer writes: files with
// any other first line are someone else's and are never overwritten.
constexpr const char* kWrittenByPeer = "; written by rdapeer, which writes it again at every start\n";

bool writtenByPeer(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec) && !ec) return true;
  std::ifstream in(file);
  std::string first;
  std::getline(in, first);
  return in.good() && first + "\n" == kWrittenByPeer;
}

// The listening socket, bound once on `address` at `port` (0: a free one,
// whose number `bound` gets); -1 with `why` when it cannot be had.
int listenOn(in_addr address, int port, int* bound, std::string* why) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *why = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int on = 1;
  (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr = address;
  a.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    *why = std::string("cannot listen: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  *bound = ntohs(a.sin_port);
  return fd;
}

// The transport binds its listening socket through this hook while the
// stack starts: it takes the socket bound above instead of binding one of
// its own on every interface.
int gListenSocket = -1;
uint32_t takeListenSocket(const char*, const char*, void*) {
  SessionTLS* t = getSessionTLS(0);
  if (t == nullptr || gListenSocket < 0) return 32796;
  (void)QvSetListenSocket(gListenSocket);
  t->bound = 1;
  return 0;
}
const TpiHooks kTakeListenSocket = [] {
  TpiHooks h{};
  h.tpBind = takeListenSocket;
  return h;
}();

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (const std::string bad = parse(argc, argv, &settings); !bad.empty()) return usage(bad.c_str());
  if (settings.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }

  // Never outlive the process that started us.
  const pid_t starter = getppid();
  (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != starter) return 1;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  if (!settings.record.empty()) {
    settings.peer.record = peer::Recorder::open(settings.record);
    if (!settings.peer.record) return usage(("cannot write " + settings.record).c_str());
  }

  // Only the configuration written here is read, and it is written only
  // over files the peer wrote itself.
  if (chdir(settings.dir.c_str()) != 0) return usage("cannot enter the directory");
  const std::string ini = (settings.dir / "mirodel.ini").string();
  for (const std::filesystem::path& file : {settings.dir / "mirodel.ini", settings.dir / "schema" / "qvdrd.ini"}) {
    if (writtenByPeer(file)) continue;
    std::fprintf(stderr, "rdapeer: %s was not written by rdapeer: it is left as it is; give --dir a directory of its own\n",
                 file.c_str());
    return 2;
  }
  setenv("MIRODEL_INI", ini.c_str(), 1);
  setenv("HOME", settings.dir.c_str(), 1);
  unsetenv("OSID");
  std::string why;
  int port = 0;
  gListenSocket = listenOn(settings.address, static_cast<int>(settings.port), &port, &why);
  if (gListenSocket < 0) {
    std::fprintf(stderr, "rdapeer: %s\n", why.c_str());
    return 1;
  }
  StackConfig config;
  config.serverPort = port;
  config.header = kWrittenByPeer;
  try {
    writeStackConfig(settings.dir, config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rdapeer: cannot write the configuration: %s\n", e.what());
    return 1;
  }
  if (settings.fork) WritePrivateProfileString("SERVER", "ForkOnConnect", "1", ini.c_str());

  ensureProcessMutexes();
  QvSetMultiThread(1);
  giQuietMode = 1;
  gTpiHooks = &kTakeListenSocket;
  ServerUser server(ini);
  gTpiHooks = nullptr;
  peer::installPeer(server, settings.peer);
  if (!server.start()) {
    std::fprintf(stderr, "rdapeer: start-up failed: %s\n", server.error().c_str());
    return 1;
  }
  gEstablishLimit = settings.establishLimit;
  QvGetStpParams()->establishLimit = static_cast<int32_t>(settings.establishLimit);
  // The server side of the test stack starts with a small process limit of
  // its own; the peer's is the one of its options.
  QvGetStpParams()->processLimit = settings.maxChildren;
  tp0tcp_onEstablishCut = reportCut;
  std::printf("%d\n", server.port());
  std::fflush(stdout);

  const pid_t self = getpid();
  bool child = false;
  auto lastBusy = std::chrono::steady_clock::now();
  const auto idle = std::chrono::seconds(settings.idleSeconds);
  server.runUntil(
      [&] {
        const SessionTLS* t = getSessionTLS(0);
        if (gStop != 0 || t == nullptr) return true;
        if (!child && getpid() != self) {
          // A connection's own process: it goes with its parent and with
          // its connection.
          child = true;
          (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
          if (getppid() != self) return true;
        }
        if (child) return t->tp0.activeCount == 0 && server.live() == 0;
        if (getppid() != starter) return true;
        const auto now = std::chrono::steady_clock::now();
        if (server.live() > 0 || t->tp0.activeCount > 0 || t->children > 0) lastBusy = now;
        return now - lastBusy > idle;
      },
      std::chrono::hours(24 * 365));
  std::fflush(nullptr);
  return 0;
}
