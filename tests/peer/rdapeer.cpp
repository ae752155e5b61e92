// rdapeer: an RDA server on the stack's own server role with SQLite behind
// it, for tests that need a real database at the other end.
//
//   rdapeer --dir DIR [--port N] [--db FILE] [--fork] [--user NAME:PASSWORD]...
//           [--idle SECONDS] [--establish-limit SECONDS]
//           [--refuse | --abort-after N | --mute | --fail-init]
//
// The configuration and the directory are written into DIR, which must
// exist. It listens on 127.0.0.1 at port N; with 0 (the default) it picks a
// free port. Once it listens, the port is the first line of standard output.
// It ends cleanly on SIGTERM or SIGINT, when its parent goes, and after
// SECONDS (default 30) without a connection. With --fork each connection is
// served by a child of its own, which ends with its connection. A
// connection that has not sent its CR and its CONNECT SPDU within the
// establishment limit (default 10 s, 0: none) is closed, with a line on
// standard error.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "peer/peer_server.h"
#include "src/runtime/inifile.h"
#include "src/session/sessiontls.h"
#include "src/session/tp0tcp.h"
#include "support/recordset.h"
#include "support/server_user.h"
#include "support/stack.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

int usage(const char* why) {
  std::fprintf(stderr,
               "rdapeer: %s\n"
               "usage: rdapeer --dir DIR [--port N] [--db FILE] [--fork] [--user NAME:PASSWORD]...\n"
               "               [--idle SECONDS] [--establish-limit SECONDS]\n"
               "               [--refuse | --abort-after N | --mute | --fail-init]\n",
               why);
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

struct Settings {
  peer::PeerOptions peer;
  std::filesystem::path dir;
  long port = 0;
  bool fork = false;
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
    if (opt == "--dir" && arg != nullptr) {
      s->dir = arg;
      ++i;
    } else if (opt == "--port" && number(arg, 0, 65535, &s->port)) {
      ++i;
    } else if (opt == "--db" && arg != nullptr && *arg != '\0') {
      s->peer.database = arg;
      ++i;
    } else if (opt == "--fork") {
      s->fork = true;
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

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (const std::string bad = parse(argc, argv, &settings); !bad.empty()) return usage(bad.c_str());

  // Never outlive the process that started us.
  const pid_t starter = getppid();
  (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != starter) return 1;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  // Only the configuration written here is read.
  if (chdir(settings.dir.c_str()) != 0) return usage("cannot enter the directory");
  const std::string ini = (settings.dir / "mirodel.ini").string();
  setenv("MIRODEL_INI", ini.c_str(), 1);
  setenv("HOME", settings.dir.c_str(), 1);
  unsetenv("OSID");
  StackConfig config;
  config.serverPort = settings.port != 0 ? static_cast<int>(settings.port) : freeLoopbackPort();
  if (config.serverPort == 0) return usage("no free port");
  writeStackConfig(settings.dir, config);
  if (settings.fork) WritePrivateProfileString("SERVER", "ForkOnConnect", "1", ini.c_str());

  ensureProcessMutexes();
  QvSetMultiThread(1);
  giQuietMode = 1;
  ServerUser server(ini);
  peer::installPeer(server, settings.peer);
  if (!server.start()) {
    std::fprintf(stderr, "rdapeer: start-up failed: %s\n", server.error().c_str());
    return 1;
  }
  gEstablishLimit = settings.establishLimit;
  QvGetStpParams()->establishLimit = static_cast<int32_t>(settings.establishLimit);
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
