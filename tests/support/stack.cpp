#include "support/stack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "common/timer2.h"
#include "src/acse/ai_rcv.h"
#include "src/presentation/pmachine.h"
#include "src/acse/gidu_queue.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_oid.h"
#include "src/rda/rda_stackbuild.h"
#include "src/rda/rda_sur.h"
#include "src/presentation/ps_ssu.h"
#include "src/presentation/users.h"
#include "src/runtime/dif.h"
#include "src/runtime/inifile.h"
#include "src/rdaclient/rdacli_blocks.h"
#include "src/rdaclient/rdacli_event.h"
#include "src/runtime/qvinfo.h"
#include "src/session/tp0tcp.h"
#include "src/session/tpi.h"
#include "support/recordset.h"
#include "support/thread_records.h"

namespace fs = std::filesystem;

std::string writeStackConfig(const fs::path& dir, const StackConfig& config) {
  fs::create_directories(dir / "schema");
  const fs::path ini = dir / "mirodel.ini";
  std::ofstream(ini) << config.header << "[COMMON]\nqv_root=" << dir.string() << "\nSchemaPath=" << (dir / "schema").string()
                     << "/\n"
                     << config.extraCommon << "[SERVER]\nport=" << config.serverPort
                     << "\nForkOnConnect=0\n[CLIENT]\nport=0\nRESPONSE_TIME_OUT=" << config.responseTimeOut << "\n";
  const int resourcePort = config.resourcePort != 0 ? config.resourcePort : config.serverPort;
  std::ofstream(dir / "schema" / "qvdrd.ini") << config.header << "[" << kStackResource << "]\nPORT=" << resourcePort
                                              << "\nADDRESS=127.0.0.1\n";
  return ini.string();
}

int freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

// ---------------------------------------------------------------------------

StackSide::StackSide(Role role, const std::string& iniFile, int32_t pollWait) : role_(role) {
  ThreadRecords::Options options;
  if (role == Role::Server) {
    options.listenQueue = 5;
    // The server listens where its directory entry says.
    const int32_t port = GetPrivateProfileInt("SERVER", "port", 0, iniFile.c_str());
    if (port <= 0 || port > 0xFFFF) {
      error_ = "bad server port " + std::to_string(port);
      return;
    }
    local_.tsap.len = 2;
    local_.tsap.sel[0] = static_cast<uint8_t>(port >> 8);
    local_.tsap.sel[1] = static_cast<uint8_t>(port & 0xFF);
  }
  uint32_t r = 1;
  records_ = std::make_unique<ThreadRecords>(iniFile, options, &local_, &r);
  if (!records_->ok()) {
    error_ = "session start-up failed: " + std::to_string(r);
    return;
  }
  QvGetStpParams()->pollWait = pollWait;

  // The presentation layer with the configured session selector, and
  // ps_ssu as the session user under it.
  char text[kDifTextSize] = "";
  qv_getInfo(QV_INFO_SSELECTOR, 0, text, sizeof text, -1);
  const int32_t n = DIFcvt_val(text, ssap_.ssap.sel, static_cast<int32_t>(sizeof ssap_.ssap.sel));
  if (n <= 0) {
    error_ = std::string("bad session selector ") + text;
    return;
  }
  ssap_.ssap.len = static_cast<uint8_t>(n);
  UL_Paddress local{};
  local.mask = kPsInitSsel;
  local.sSel = OctStgV{static_cast<uint32_t>(n), ssap_.ssap.sel};
  if (init_presentation(&local, nullptr, nullptr, nullptr) != 1) {
    error_ = "init_presentation failed: " + std::to_string(QvGetOsiError());
    return;
  }
  if (s_activate(&ssap_, ps_ssu) != 1) {
    error_ = "s_activate failed";
    return;
  }
  sessionUser_ = true;
}

StackSide::~StackSide() {
  if (rda_) {
    (void)rda_surTerm();
    (void)rda_aeTerm();
  }
  if (sessionUser_) (void)s_deactivate(&ssap_);
  init_pmgmt();
  pP = nullptr;
  records_.reset();
}

int32_t StackSide::startRda() {
  if (!ok()) return 0;
  if (rda_aeInit() != 1) {
    error_ = "rda_aeInit failed: " + std::to_string(QvGetOsiError());
    return 0;
  }
  if (rda_surInit() != 1) {
    error_ = "rda_surInit failed: " + std::to_string(QvGetOsiError());
    (void)rda_aeTerm();
    return 0;
  }
  rda_ = true;
  return 1;
}

bool StackSide::activate(AlGiduFn userEntry, void* userRef) {
  GIDU ref{};
  al_selfLink(&ref);
  ref.ue = userRef;
  const bool server = role_ == Role::Server;
  GIDU* g = rda_createActivateReq(&ref, server ? "qvserver" : "qvclient", server ? 1 : kRdaRoleClient);
  if (g == nullptr) {
    error_ = "no Activate request: " + std::to_string(QvGetOsiError());
    return false;
  }
  rda_surSnd(g, userEntry);
  return true;
}

int StackSide::port() const { return local_.tsap.sel[0] * 256 + local_.tsap.sel[1]; }

bool StackSide::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    // Nothing left to watch: the loop answers at once, so do not spin.
    if (do_session_queue() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// ---------------------------------------------------------------------------

StackClient::StackClient() {
  env.tag = RDA_CLI_TAG_HENV;
  al_selfLink(&env.tmpl);
  env.tmpl.ue = &env;
  conn.tag = RDA_CLI_TAG_HDBC;
  conn.env = &env;
  RDA_cliInitErrorList(&env.errors);
  RDA_cliInitErrorList(&conn.errors);
  RDA_cliRingInit(&env.conns);
  RDA_cliRingInit(&conn.stmts);
  RDA_cliLinkBlock(&env);
  RDA_cliLinkBlock(&conn);
}

StackClient::~StackClient() {
  RDA_cliUnlinkBlock(&conn);
  RDA_cliUnlinkBlock(&env);
  RDA_cliClearErrorList(&conn.errors);
  RDA_cliClearErrorList(&env.errors);
  if (conn.tmpl != nullptr) {
    RDA_cliPurgeEventQueue(conn.tmpl);
    al_deleteGidu(conn.tmpl);
  }
  RDA_cliPurgeEventQueue(&env.tmpl);
}

bool StackClient::activate() {
  GIDU* act = rda_createActivateReq(&env.tmpl, "qvclient", kRdaRoleClient);
  if (act == nullptr) return false;
  RDA_cliSendEvent(act, RDA_CLI_SEND_WAIT);
  if ((env.flags & RDA_CLI_ENV_ACTIVATED) == 0) return false;
  conn.tmpl = rda_createTemplateGidu(&env, &conn, env.tmpl.pe, nullptr);
  return conn.tmpl != nullptr;
}

bool StackClient::associate() {
  GIDU* req = rda_createAssocReq(conn.tmpl, "qvclient", kStackResource, rda_xopenAppCtxName, nullptr, SR_DUPLEX, nullptr);
  if (req == nullptr) return false;
  RDA_cliSendEvent(req, RDA_CLI_SEND_WAIT);
  return conn.state == RDA_CLI_ST_ASSOCIATED && conn.tmpl->pc != nullptr;
}

GIDU* StackClient::call(GIDU* req, int32_t seconds) {
  if (req == nullptr) return nullptr;
  RDA_cliSendEvent(req, RDA_CLI_SEND_ONLY);
  int32_t status = 0;
  return ai_do_rcv(conn.tmpl, seconds, &status);
}

// ---------------------------------------------------------------------------

ChildProcess::ChildProcess(Body body) {
  int fds[2];
  if (pipe(fds) != 0) return;
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    writeFd_ = fds[1];
    int status = 1;
    try {
      status = body(*this);
    } catch (...) {
      status = 2;
    }
    std::fflush(nullptr);
    _exit(status & 0xFF);
  }
  close(fds[1]);
  readFd_ = fds[0];
  if (pid_ < 0) {
    close(readFd_);
    readFd_ = -1;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (readFd_ >= 0) close(readFd_);
}

void ChildProcess::ready(int32_t word) {
  if (writeFd_ < 0) return;
  (void)!write(writeFd_, &word, sizeof word);
}

bool ChildProcess::awaitReady(std::chrono::milliseconds limit, int32_t* word) {
  if (readFd_ < 0) return false;
  pollfd p{readFd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(limit.count())) != 1) return false;
  int32_t w = 0;
  if (read(readFd_, &w, sizeof w) != static_cast<ssize_t>(sizeof w)) return false;
  if (word != nullptr) *word = w;
  return true;
}

int ChildProcess::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0 || reaped_) return -1;
  const auto until = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (r < 0 || std::chrono::steady_clock::now() > until) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------

void StackTest::SetUp() {
  ensureProcessMutexes();
  savedSwitch_ = QvMultiThread;
  QvSetMultiThread(1);
  savedQuiet_ = giQuietMode;
  giQuietMode = 1;
}

void StackTest::TearDown() {
  giQuietMode = savedQuiet_;
  QvSetMultiThread(savedSwitch_);
}
