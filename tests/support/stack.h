// Start-up of whole protocol stacks for end-to-end tests over loopback TCP.
//
// A StackSide is one side's stack on the calling thread, brought up as the
// client's start-up brings it up: the thread's records with a buffer pool,
// the session layer (in the server role with a listen queue above 0 and the
// transport attached, listening on the configured server port), the
// presentation layer with the configured session selector, and ps_ssu as the
// session user. The configuration both sides read is written by
// writeStackConfig into a sandbox directory: the server's and the client's
// directory entries and a database resource that names the server.
//
// Above that, startRda() starts the application entity and the service
// user, and activate()
// puts the stack into its role with the side's own directory entry
// ("qvserver" or "qvclient") and the user's receive entry.
//
// The server side of a test runs in a child process (ChildProcess), since
// the presentation layer is one per process and both sides register the
// same selectors.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "src/acse/gidu.h"
#include "src/rdaclient/rdacli_handles.h"
#include "src/session/session.h"
#include "src/session/sessiontls.h"
#include "support/sandbox.h"

class ThreadRecords;

// The database resource of the sandbox configuration: the server on
// 127.0.0.1 at the server port.
inline constexpr const char* kStackResource = "rdatest";

struct StackConfig {
  int serverPort = 0;
  int resourcePort = 0;      // where the client finds the server; 0: serverPort (a relay's port otherwise)
  int responseTimeOut = 30;  // seconds; [CLIENT] RESPONSE_TIME_OUT
  std::string extraCommon;   // more lines of [COMMON]
  std::string header;        // lines written first in both files (comments)
};

// Writes `dir`/mirodel.ini and `dir`/schema/qvdrd.ini; the path of the
// first.
std::string writeStackConfig(const std::filesystem::path& dir, const StackConfig& config);

// A port of 127.0.0.1 that nobody listened on a moment ago; 0 when none
// could be had.
int freeLoopbackPort();

class StackSide {
 public:
  enum class Role { Client, Server };
  // `iniFile` becomes the thread's configuration; the server listens on its
  // [SERVER] port. `pollWait` is the longest wait of one pass of the event
  // loop, in seconds.
  StackSide(Role role, const std::string& iniFile, int32_t pollWait = 1);
  ~StackSide();
  StackSide(const StackSide&) = delete;
  StackSide& operator=(const StackSide&) = delete;

  bool ok() const { return error_.empty(); }
  // What failed, when something did.
  const std::string& error() const { return error_; }
  Role role() const { return role_; }
  // The port the server listens on (server role).
  int port() const;

  // The application entity and the service user of the stack: 1, or 0 with
  // osi_errno.
  int32_t startRda();
  // The Activate request of the side's role, built from its own directory
  // entry, with `userRef` as the user's reference; the Activate confirm
  // comes to `userEntry`. False when the request could not be built.
  bool activate(AlGiduFn userEntry, void* userRef);

  // Passes of the event loop until `done` or `limit`; true when done.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

 private:
  Role role_;
  TpLocalAddr local_{};
  SSAPaddr ssap_{};
  std::unique_ptr<ThreadRecords> records_;
  bool sessionUser_ = false;
  bool rda_ = false;
  std::string error_;
};

// The environment and connection blocks of the client's event engine, as
// the RDA client keeps them (entered in the set of live blocks for their
// lifetime), for a client-role stack whose entity and service user have
// started: activate() and associate() go through RDA_cliSendEvent and wait
// for their confirms.
struct StackClient {
  StackClient();
  ~StackClient();
  StackClient(const StackClient&) = delete;
  StackClient& operator=(const StackClient&) = delete;

  // Activates from the "qvclient" entry; true when the environment is
  // activated and its connection template made.
  bool activate();
  // Associates with the database resource in "X/OPEN Basic"; true when
  // associated.
  bool associate();
  // Sends `req` through the event engine without waiting in it and takes
  // the first GIDU queued for the connection within `seconds`; NULL when
  // none came (an abort goes to the environment's queue). The caller
  // deletes what it gets.
  GIDU* call(GIDU* req, int32_t seconds = 10);

  RDA_CliHENV env{};
  RDA_CliHDBC conn{};
};

// A forked child that runs `body` and ends with its result as exit status.
// The parent waits for the child's ready() before it goes on; the child is
// killed and reaped when the object goes, if it has not ended by then.
class ChildProcess {
 public:
  using Body = std::function<int(ChildProcess&)>;
  explicit ChildProcess(Body body);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // In the child: tells the parent that start-up is done, with a word.
  void ready(int32_t word);
  // In the parent: the child's word, or nullopt-like false when it did not
  // come within `limit` (the child failed or hangs).
  bool awaitReady(std::chrono::milliseconds limit, int32_t* word);
  // In the parent: the child's exit status (-1 when killed or when it did
  // not end within `limit`, in which case it is killed).
  int wait(std::chrono::milliseconds limit);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int readFd_ = -1;
  int writeFd_ = -1;
  bool reaped_ = false;
};

// Fixture of the tests that bring up whole stacks: the process mutexes, the
// multi-threading switch on and the console quiet while the test runs, and
// a configuration sandbox for writeStackConfig.
class StackTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ConfigSandbox sandbox_{"MIRODEL_INI", "HOME", "OSID"};

 private:
  int32_t savedSwitch_ = 1;
  int32_t savedQuiet_ = 0;
};
