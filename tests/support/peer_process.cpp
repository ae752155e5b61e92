#include "support/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The escapes of the record: \\, \t, \n, \r and \xHH.
std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 't') {
      out += '\t';
    } else if (c == 'n') {
      out += '\n';
    } else if (c == 'r') {
      out += '\r';
    } else if (c == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

PeerProcess::PeerProcess(const std::filesystem::path& dir, const std::vector<std::string>& options) {
  std::filesystem::create_directories(dir);
  std::vector<std::string> args = {RDAPEER_PATH, "--dir", dir.string(), "--idle", "60"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Standard error goes to a file of the test's own, outside the peer's directory.
  std::string errTemplate = (std::filesystem::temp_directory_path() / "rdapeer-err-XXXXXX").string();
  const int err = mkstemp(errTemplate.data());
  if (err >= 0) errFile_ = errTemplate;
  int out[2];
  if (pipe(out) != 0) {
    if (err >= 0) close(err);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  if (posix_spawn(&pid_, RDAPEER_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (err >= 0) close(err);
  // The port, within a few seconds.
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1 && read(out[0], &c, 1) == 1)
    line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
}

PeerProcess::~PeerProcess() {
  (void)stop();
  // What the peer said (a sanitizer's report among it) is shown with the
  // test's own output.
  if (const std::string said = errors(); !said.empty()) std::fprintf(stderr, "%s", said.c_str());
  if (!errFile_.empty()) {
    std::error_code ec;
    std::filesystem::remove(errFile_, ec);
  }
}

int PeerProcess::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return -1;
  int status = 0;
  const auto until = std::chrono::steady_clock::now() + limit;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) return -1;
    std::this_thread::sleep_for(5ms);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t PeerProcess::children() const {
  if (pid_ <= 0) return 0;
  std::ifstream in("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children");
  size_t n = 0;
  for (std::string word; in >> word;) ++n;
  return n;
}

int PeerProcess::stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const int status = wait(5s);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  return status;
}

std::string PeerProcess::errors() const {
  std::ifstream in(errFile_);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::optional<std::string> PeerRecordLine::field(const std::string& name) const {
  for (const auto& f : fields)
    if (f.first == name) return f.second;
  return std::nullopt;
}

std::vector<std::string> PeerRecordLine::all(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& f : fields)
    if (f.first == name) out.push_back(f.second);
  return out;
}

std::vector<PeerRecordLine> readPeerRecord(const std::filesystem::path& file) {
  std::vector<PeerRecordLine> out;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    PeerRecordLine r;
    std::getline(fields, r.kind, '\t');
    for (std::string f; std::getline(fields, f, '\t');) {
      const size_t eq = f.find('=');
      if (eq == std::string::npos) r.fields.emplace_back(f, "");
      else r.fields.emplace_back(f.substr(0, eq), unescape(f.substr(eq + 1)));
    }
    out.push_back(std::move(r));
  }
  return out;
}
