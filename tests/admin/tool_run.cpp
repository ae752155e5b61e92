#include "tool_run.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "admin/cfgtool.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

// Exit status of a child whose namespace could not be set up.
constexpr int kNoNamespace = 121;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The scratch directories live in the build tree, never under /tmp, so that
// a child can lay its own /tmp over the system's and still reach them.
fs::path scratchBase() { return fs::path(ADMIN_SCRATCH_DIR); }

bool underTmp(const fs::path& p) {
  const std::string s = fs::weakly_canonical(p).string();
  return s == "/tmp" || s.rfind("/tmp/", 0) == 0;
}

// In the child: a mount namespace of its own with `tmpDir` as /tmp and the
// read-only views asked for. False when the system refuses.
bool isolate(const fs::path& tmpDir, const RunOptions& options) {
  if (::unshare(CLONE_NEWNS) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  if (::mount(tmpDir.c_str(), "/tmp", nullptr, MS_BIND, nullptr) != 0) return false;
  for (const fs::path& d : options.readOnlyDirs) {
    if (::mount(d.c_str(), d.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    if (::mount(nullptr, d.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) return false;
  }
  // A bind mount starts with the flags of the mount it is made from.
  for (const fs::path& f : options.writableFiles) {
    if (::mount(f.c_str(), f.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    if (::mount(nullptr, f.c_str(), nullptr, MS_BIND | MS_REMOUNT, nullptr) != 0) return false;
  }
  return true;
}

}  // namespace

bool canIsolate() {
  static const bool ok = [] {
    if (underTmp(scratchBase())) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
      const bool done = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                        ::mount("tmpfs", "/tmp", "tmpfs", 0, nullptr) == 0;
      ::_exit(done ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return ok;
}

bool canMakeReadOnly() { return ::geteuid() != 0 || canIsolate(); }

AdminScratch::AdminScratch() {
  fs::create_directories(scratchBase());
  std::string tmpl = (scratchBase() / "adminXXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = tmpl;
  for (const char* d : {"work", "home", "tmp", "io"}) fs::create_directory(root_ / d);
}

AdminScratch::~AdminScratch() {
  std::error_code ec;
  // Modes a test took away come back so that everything can go.
  for (auto it = fs::recursive_directory_iterator(root_, ec); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

void AdminScratch::put(const fs::path& p, const std::string& text) const {
  const fs::path full = at(p);
  fs::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary | std::ios::trunc) << text;
}

std::string AdminScratch::get(const fs::path& p) const { return slurp(at(p)); }

ToolRun AdminScratch::run(const std::string& input, const RunOptions& options) const {
  const fs::path in = root_ / "io/in", out = root_ / "io/out", err = root_ / "io/err";
  std::ofstream(in, std::ios::binary | std::ios::trunc) << input;

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string kv = *e;
    if (kv.rfind("HOME=", 0) == 0 || kv.rfind("MIRODEL_INI=", 0) == 0) continue;
    if (options.env.count(kv.substr(0, kv.find('='))) != 0) continue;
    env.push_back(kv);
  }
  if (options.env.count("HOME") == 0) env.push_back("HOME=" + home().string());
  for (const auto& [k, v] : options.env) env.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& kv : env) envp.push_back(kv.data());
  envp.push_back(nullptr);

  std::vector<std::string> args{CFGTOOL_PATH};
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const bool isolated = canIsolate();
  if (!isolated) {
    // Without a namespace of its own, modes make the read-only views (which
    // hold only for a program that does not run as root).
    for (const fs::path& d : options.readOnlyDirs) {
      for (const auto& e : fs::directory_iterator(d)) {
        bool writable = false;
        for (const fs::path& f : options.writableFiles) writable = writable || fs::equivalent(f, e.path());
        if (e.is_regular_file() && !writable)
          fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                          fs::perm_options::remove);
      }
      fs::permissions(d, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    }
    for (const fs::path& f : options.writableFiles)
      fs::permissions(f, fs::perms::owner_write, fs::perm_options::add);
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int fdIn = ::open(in.c_str(), O_RDONLY);
    const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fdIn < 0 || fdOut < 0 || fdErr < 0) ::_exit(kNoNamespace);
    // Into the working directory only after the mounts, so that it is seen
    // through them.
    if (isolated && !isolate(tmp(), options)) ::_exit(kNoNamespace);
    if (::chdir(work().c_str()) != 0) ::_exit(kNoNamespace);
    ::dup2(fdIn, 0);
    ::dup2(fdOut, 1);
    ::dup2(fdErr, 2);
    // A program that waits for input it never gets is ended.
    ::alarm(60);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ToolRun r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

// ---- expected screens ------------------------------------------------------

std::string banner() {
  return std::string("Quenlow Varenta Administration Tool v") + getVersionString() + " (" + getBuildDateString() +
         ")\n\n";
}

std::string currentConfig(const std::string& path) { return "Current Configuration file: <" + path + ">\n"; }

const std::string kMainMenu =
    "\n    Main Menu\n    ==== ====\n\n    1. Add database entry\n    2. View/Edit/Delete database entries\n"
    "    3. Edit Trace Options\n    E. Exit\n\nChoice: ";
const std::string kFieldPrompt = std::string(14, ' ') + "> ";
const std::string kBrowsePrompt = "\n(N)ext, (E)dit, (D)elete, (Q)uit [N]: ";
const std::string kReadOnlyPrompt = "\n(N)ext, (Q)uit [N]: ";
const std::string kTraceMenu =
    "\nPlease select one of the following options:\n    1. No Tracing\n    2. Error Tracing\n    3. Major Tracing\n"
    "    4. Full Tracing\n    5. Verbose Tracing\n\n    Q. Quit to Main Menu\n\nChoice: ";

namespace {

constexpr const char* kFieldNames[] = {"DATABASE", "ADDRESS", "PORT", "CONNECT_STRING", "TYPE", "SCHEMA_PATH", "REMARKS"};

std::string field(const char* name, const std::optional<std::string>& value) {
  char head[32];
  std::snprintf(head, sizeof head, "%14s", name);
  return std::string(head) + (value ? ": [" + *value + "]\n" : ": NULL");
}

}  // namespace

std::string fields(const Row& row) {
  std::string s;
  for (size_t i = 0; i < row.size(); ++i) s += field(kFieldNames[i], row[i]);
  return s;
}

std::string rowScreen(int n, int count, const Row& row) {
  return "Row " + std::to_string(n) + " of " + std::to_string(count) + "\n\n" + fields(row);
}

std::string fieldAsked(const char* name, const std::optional<std::string>& value) {
  return field(name, value) + kFieldPrompt;
}
