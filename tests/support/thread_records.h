// The records of a new thread as the driver's start-up makes them (the
// thread's 13 records, an XM root tree, a buffer pool and the configuration
// file named for this thread), with the session layer started in the server
// role (listen queue above 0: listening socket bound) or the client role.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "src/session/tpi.h"

struct StpParams;

class ThreadRecords {
 public:
  struct Options {
    int32_t listenQueue = 0;
    uint32_t tpduSize = 2048;
    uint32_t processLimit = 4;
    int32_t poolBuffers = 20;
    int32_t poolSize = 1024;
    // Last word on the transport parameters before the session layer starts.
    std::function<void(StpParams*)> adjust;
  };

  // `iniFile` becomes this thread's configuration file; `result` gets the
  // session layer's start-up result.
  ThreadRecords(const std::string& iniFile, const Options& options, TpLocalAddr* local, uint32_t* result);
  ~ThreadRecords();
  ThreadRecords(const ThreadRecords&) = delete;
  ThreadRecords& operator=(const ThreadRecords&) = delete;

  bool ok() const { return ok_ && started_; }

 private:
  bool ok_ = false;
  bool started_ = false;
};
