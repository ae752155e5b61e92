#include "support/side_thread.h"

#include <chrono>
#include <optional>

#include "src/session/sessiontls.h"
#include "src/session/tpi.h"
#include "support/thread_records.h"

namespace {

thread_local int tSide = -1;

}  // namespace

SideThread::SideThread(int side, const std::string& iniFile, const SSAPaddr* selector, bool listens,
                       int32_t poolSize, SsIndication user)
    : side_(side) {
  thread_ = std::thread([=, this] { run(iniFile, selector, listens, poolSize, user); });
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return started_ != 0; });
}

SideThread::~SideThread() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  thread_.join();
}

uint32_t SideThread::call(std::function<uint32_t()> fn) {
  if (!ok()) return 0;
  std::packaged_task<uint32_t()> task(std::move(fn));
  std::future<uint32_t> done = task.get_future();
  {
    std::lock_guard<std::mutex> hold(lock_);
    tasks_.push_back(std::move(task));
  }
  return done.get();
}

int SideThread::current() { return tSide; }

void SideThread::run(const std::string& iniFile, const SSAPaddr* selector, bool listens, int32_t poolSize,
                     SsIndication user) {
  tSide = side_;
  ThreadRecords::Options o;
  o.listenQueue = listens ? 5 : 0;
  o.poolSize = poolSize;
  TpLocalAddr local{};
  uint32_t r = 1;
  {
    ThreadRecords records(iniFile, o, &local, &r);
    const bool up = records.ok() && s_activate(selector, user) == 1;
    {
      std::lock_guard<std::mutex> hold(lock_);
      port_ = local.tsap.sel[0] * 256 + local.tsap.sel[1];
      started_ = up ? 1 : -1;
    }
    changed_.notify_all();
    while (up) {
      std::optional<std::packaged_task<uint32_t()>> task;
      {
        std::lock_guard<std::mutex> hold(lock_);
        if (stop_ && tasks_.empty()) break;
        if (!tasks_.empty()) {
          task = std::move(tasks_.front());
          tasks_.pop_front();
        }
      }
      if (task) (*task)();
      if (do_session_queue() < 0 && !task) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  tSide = -1;
}

bool waitFor(const std::function<bool()>& what) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!what()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
