// rdapeer (tests/peer) as a process of a test: started with its options in
// a directory of the test, its port read from the first line it writes,
// stopped with SIGTERM (killed if it does not go) and never left behind.
// Test programs that use it depend on the rdapeer target.
//
//   PeerProcess peer(sandbox.dir() / "peer", {"--user", "scott:tiger"});
//   ASSERT_GT(peer.port(), 0);
//   ... clients connect to 127.0.0.1:peer.port() ...
//   EXPECT_EQ(peer.stop(), 0);
//
// readPeerRecord reads the file of its --record option.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class PeerProcess {
 public:
  // rdapeer --dir `dir` --idle 60 and `options` (a later --idle wins);
  // `dir` is made when it is missing. Waits up to 5 s for the port.
  PeerProcess(const std::filesystem::path& dir, const std::vector<std::string>& options);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // The port it listens on; 0 when it did not start.
  int port() const { return port_; }
  // The exit status once it has ended by itself within `limit`; -1 when it
  // has not (it goes on running) or is gone.
  int wait(std::chrono::milliseconds limit);
  // The processes the peer has forked and that still run.
  size_t children() const;
  // SIGTERM, then the exit status (-1: it had to be killed or was gone).
  int stop();
  // What it has written on standard error so far (shown on the test's
  // standard error when the object goes).
  std::string errors() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::filesystem::path errFile_;
};

// One line of the peer's record: its kind ("R-Initialize", "R-ExecuteDBL")
// and its fields in order, values unescaped ("row" fields have none).
struct PeerRecordLine {
  std::string kind;
  std::vector<std::pair<std::string, std::string>> fields;
  // The first field of that name.
  std::optional<std::string> field(const std::string& name) const;
  // The values of every field of that name, in order.
  std::vector<std::string> all(const std::string& name) const;
};
std::vector<PeerRecordLine> readPeerRecord(const std::filesystem::path& file);
