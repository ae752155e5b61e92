// One side of a connection over loopback TCP on a thread of its own: the
// thread's records (session layer listening or not, buffer pool, memory
// root) with a registered session user. The thread runs the event loop and,
// between passes, the calls given to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "src/session/session.h"

class SideThread {
 public:
  // `side` tags what happens on the thread (current()); `listens` makes it
  // the called side.
  SideThread(int side, const std::string& iniFile, const SSAPaddr* selector, bool listens, int32_t poolSize,
             SsIndication user);
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  bool ok() const { return started_ > 0; }
  int port() const { return port_; }
  // Runs `fn` on the side's thread; its result (0 when the side is down).
  uint32_t call(std::function<uint32_t()> fn);

  // The side of the calling thread; -1 on a thread of no side.
  static int current();

 private:
  void run(const std::string& iniFile, const SSAPaddr* selector, bool listens, int32_t poolSize, SsIndication user);

  const int side_;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::packaged_task<uint32_t()>> tasks_;
  int started_ = 0;
  bool stop_ = false;
  int port_ = 0;
};

// Waits up to ten seconds for `what`.
bool waitFor(const std::function<bool()>& what);
