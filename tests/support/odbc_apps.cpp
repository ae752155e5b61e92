#include "support/odbc_apps.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Set by the build: the sanitizer runtimes (colon-separated) when the
// library is built with them, else empty.
#ifndef RDA_SANITIZER_PRELOAD
#define RDA_SANITIZER_PRELOAD ""
#endif

std::vector<std::string> environment(const fs::path& dir, bool preload,
                                     const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
  }
  env["ODBCSYSINI"] = dir.string();
  env["ODBCINI"] = (dir / "odbc.ini").string();
  env["HOME"] = dir.string();
  env["MIRODEL_INI"] = (dir / "mirodel.ini").string();
  env["LC_ALL"] = "C.UTF-8";
  env.erase("ODBCINSTINI");
  const std::string runtimes = RDA_SANITIZER_PRELOAD;
  if (preload && !runtimes.empty()) {
    env["LD_PRELOAD"] = runtimes;
    env["ASAN_OPTIONS"] = "detect_leaks=0";
  }
  for (const auto& [k, v] : extra) env[k] = v;
  std::vector<std::string> out;
  for (const auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

}  // namespace

OdbcAppSandbox::OdbcAppSandbox(const std::string& driverPath, const std::string& dsn, const std::string& mirodel) {
  std::string tmpl = (fs::temp_directory_path() / "rdaodbcXXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  std::ofstream(dir_ / "odbcinst.ini") << "[rdadriver]\nDescription=RDA driver under test\nDriver=" << driverPath
                                       << "\n";
  std::ofstream(dir_ / "odbc.ini") << "[" << dsn << "]\nDriver=rdadriver\nDescription=RDA data source under test\n";
  std::ofstream(dir_ / "mirodel.ini") << mirodel;
}

OdbcAppSandbox::~OdbcAppSandbox() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string OdbcAppSandbox::traceSection() const {
  return "[JDBC]\nTraceOptions=2\nCLITraceOptions=2\nTraceFile=" + traceFile().string() + "\n";
}

std::string OdbcAppSandbox::trace() const {
  std::ifstream in(traceFile());
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ProgramRun OdbcAppSandbox::run(const std::vector<std::string>& argv, const std::string& input,
                               std::chrono::milliseconds limit, bool preloadSanitizer) const {
  ProgramRun result;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  std::vector<std::string> env = environment(dir_, preloadSanitizer, extraEnv_);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  // The inputs of these programs are small: the pipe holds them whole, and
  // written before the program starts they cannot meet a closed pipe.
  (void)!write(in[1], input.data(), input.size());
  close(in[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  for (int fd : {in[0], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);

  const auto until = std::chrono::steady_clock::now() + limit;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = spawned == 0 ? 2 : 0;
  bool killed = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(out[0]);
  close(err[0]);
  if (spawned != 0) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  if (killed) result.status = -1;
  else if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
  return result;
}

void expectCleanRun(const ProgramRun& r, const std::string& what) {
  EXPECT_EQ(r.err.find("ERROR: AddressSanitizer"), std::string::npos) << what << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << what << r.err;
  EXPECT_LT(r.status, 128) << what << r.out << r.err;
}
