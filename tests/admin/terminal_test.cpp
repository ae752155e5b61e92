// cfgtool in a real terminal: a tmux server of the test's own (private
// socket) runs the program in a pane; the test types as an administrator
// would and reads the screen. Afterwards the files read back through the
// ini reader, and the driver's own lookup finds the edited resource.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "src/runtime/dbresource.h"
#include "src/runtime/inifile.h"
#include "src/runtime/qvinfo.h"
#include "support/recordset.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// One tmux server on a socket below a directory of the test's own; killed,
// with every process it ran, when the object goes.
class Tmux {
 public:
  explicit Tmux(const fs::path& dir) : socketDir_(dir / "tmux"), name_("cfgtool" + std::to_string(::getpid())) {
    fs::create_directories(socketDir_);
  }
  ~Tmux() { stop(); }
  Tmux(const Tmux&) = delete;
  Tmux& operator=(const Tmux&) = delete;

  static bool available() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("tmux", "tmux", "-V", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // Runs one tmux command against the server; its standard output in `out`.
  bool command(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), {"tmux", "-L", name_, "-f", "/dev/null"});
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return false;
    const std::string tmpdir = "TMUX_TMPDIR=" + socketDir_.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(pipeFds[1], 1);
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
      ::unsetenv("TMUX");
      ::putenv(const_cast<char*>(tmpdir.c_str()));
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp("tmux", argv.data());
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (out != nullptr) *out = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  bool start(const fs::path& cwd, const std::string& shellCommand) {
    if (!command({"new-session", "-d", "-s", "admin", "-x", "200", "-y", "50", "-c", cwd.string(), shellCommand}))
      return false;
    std::string out;
    if (command({"display-message", "-p", "-t", "admin", "#{pid} #{pane_pid}"}, &out))
      std::sscanf(out.c_str(), "%d %d", &serverPid_, &panePid_);
    return serverPid_ > 0;
  }

  // Types a line: the text as it stands, then Enter.
  void type(const std::string& text) {
    if (!text.empty()) command({"send-keys", "-t", "admin", "-l", "--", text});
    command({"send-keys", "-t", "admin", "Enter"});
  }

  // Waits until `needle` appears on the screen (history included) after
  // what the previous wait found.
  bool waitFor(const std::string& needle) {
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    do {
      std::string screen;
      command({"capture-pane", "-p", "-J", "-S", "-", "-t", "admin"}, &screen);
      const size_t at = screen.find(needle, seen_);
      if (at != std::string::npos) {
        seen_ = at + needle.size();
        return true;
      }
      last_ = screen;
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  const std::string& lastScreen() const { return last_; }

 private:
  void stop() {
    command({"kill-server"});
    // The server and the pane's process are not our children: wait for
    // them to go, by their ids.
    for (int pid : {panePid_, serverPid_}) {
      if (pid <= 0) continue;
      for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(20ms);
      if (::kill(pid, 0) == 0) ::kill(pid, SIGKILL);
    }
  }

  fs::path socketDir_;
  std::string name_;
  int serverPid_ = 0;
  int panePid_ = 0;
  size_t seen_ = 0;
  std::string last_;
};

class Terminal : public RecordSetTest {
 protected:
  std::string value(const fs::path& file, const char* section, const char* key) {
    char buf[256];
    GetPrivateProfileString(section, key, "(none)", buf, sizeof buf, file.c_str());
    return buf;
  }
  AdminScratch s_;
};

#define STEP(tmux, text) ASSERT_TRUE((tmux).waitFor(text)) << "waiting for: " << (text) << "\n" << (tmux).lastScreen()

TEST_F(Terminal, AdministratorSessionInTmux) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  const fs::path schema = s_.work() / "schema", config = s_.work() / "conf" / "mirodel.ini";
  s_.put(config, "[Common]\nqv_root=/opt/qv\nSchemaPath=" + schema.string() +
                     "\nLogFileMaxSize=100\nLogFileClose=1\n[TraceClient]\nAll=FATAL|SNO\n[ODBC32]\nTraceOptions=0\n");
  s_.put(schema / "qvdrd.ini", "; database resources\n");

  Tmux tmux(s_.root());
  const std::string cmd = "env HOME='" + s_.home().string() + "' MIRODEL_INI='" + config.string() + "' '" +
                          CFGTOOL_PATH + "'; echo \"cfgtool ended with $?\"; exec sleep 600";
  ASSERT_TRUE(tmux.start(s_.work(), cmd));
  STEP(tmux, "Current Configuration file: <" + config.string() + ">");

  // Two new resources.
  const std::vector<std::vector<std::string>> resources = {
      {"sales", "10.0.0.1", "", "DSN=x", "ora", "", "first"},
      {"hr", "10.0.0.2", "1800", "", "db2", "", ""},
  };
  // Answers the field editor, field by field.
  auto fill = [&tmux](const std::vector<std::string>& answers) {
    const char* labels[] = {"DATABASE:", "ADDRESS:", "PORT:", "CONNECT_STRING:", "TYPE:", "SCHEMA_PATH:", "REMARKS:"};
    for (size_t i = 0; i < answers.size(); ++i) {
      if (!tmux.waitFor(labels[i])) return false;
      tmux.type(answers[i]);
    }
    return true;
  };
  for (const auto& fields : resources) {
    STEP(tmux, "Choice:");
    tmux.type("1");
    ASSERT_TRUE(fill(fields)) << tmux.lastScreen();
    STEP(tmux, "Record successfully added.");
  }

  // Browse both.
  STEP(tmux, "Choice:");
  tmux.type("2");
  STEP(tmux, "Row 1 of 2");
  STEP(tmux, "DATABASE: [sales]");
  STEP(tmux, "[N]:");
  tmux.type("n");
  STEP(tmux, "Row 2 of 2");
  STEP(tmux, "DATABASE: [hr]");
  STEP(tmux, "[N]:");
  tmux.type("");

  // Edit the first one's ADDRESS, delete the second.
  STEP(tmux, "Choice:");
  tmux.type("2");
  STEP(tmux, "Row 1 of 2");
  STEP(tmux, "[N]:");
  tmux.type("e");
  ASSERT_TRUE(fill({"", "10.0.0.9 10.0.0.10", "", "", "", "", ""})) << tmux.lastScreen();
  STEP(tmux, "ADDRESS: [10.0.0.9 10.0.0.10]");
  STEP(tmux, "[N]:");
  tmux.type("n");
  STEP(tmux, "DATABASE: [hr]");
  STEP(tmux, "[N]:");
  tmux.type("d");

  // Trace level 3, then back to 1.
  STEP(tmux, "Choice:");
  tmux.type("3");
  STEP(tmux, "Current tracing option: 1 (No Tracing)");
  STEP(tmux, "Choice:");
  tmux.type("3");
  STEP(tmux, "Choice:");
  tmux.type("3");
  STEP(tmux, "Current tracing option: 3 (Major Tracing)");
  STEP(tmux, "Choice:");
  tmux.type("1");
  STEP(tmux, "Choice:");
  tmux.type("E");
  STEP(tmux, "cfgtool ended with 0");

  const fs::path drd = schema / "qvdrd.ini";
  EXPECT_EQ(value(drd, "sales", "ADDRESS"), "10.0.0.9 10.0.0.10");
  EXPECT_EQ(value(drd, "sales", "PORT"), "1706");
  EXPECT_EQ(value(drd, "sales", "REMARKS"), "first");
  EXPECT_EQ(value(drd, "hr", "ADDRESS"), "(none)");
  EXPECT_EQ(s_.get(drd).rfind("; database resources\n", 0), 0u);
  EXPECT_EQ(value(config, "TraceClient", "All"), "FATAL|SNO");
  EXPECT_EQ(value(config, "ODBC32", "TraceOptions"), "0");
  EXPECT_EQ(value(config, "Common", "LogFileMaxSize"), "100");
  EXPECT_EQ(value(config, "Common", "LogFileClose"), "1");

  // The driver's lookup of a database resource.
  ASSERT_EQ(qv_setInfo(QV_INFO_INIFILE, 0, config.c_str()), 1);
  char server[256], connect[256], type[64], schemaPath[512];
  ASSERT_EQ(qv_getDbResourceInfo("sales", server, sizeof server, connect, sizeof connect, type, sizeof type,
                                 schemaPath, sizeof schemaPath, -1, nullptr),
            1);
  EXPECT_STREQ(server, "sales");
  EXPECT_STREQ(connect, "DSN=x");
  EXPECT_STREQ(type, "ora");
  EXPECT_EQ(std::string(schemaPath), schema.string() + "/");
  EXPECT_EQ(qv_getDbResourceInfo("hr", server, sizeof server, nullptr, 0, type, sizeof type, nullptr, 0, -1, nullptr),
            0);
}

}  // namespace
