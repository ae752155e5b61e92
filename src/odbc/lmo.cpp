#include "src/odbc/lmo.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

LmoEnv* gLmoShareVars = nullptr;

namespace {

// Handles are looked up on every call from any thread; records come and go
// with allocations, which are rare beside them.
struct Registry {
  std::shared_mutex lock;
  std::unordered_map<const void*, LmoKind> live;
};

Registry& registry() {
  static Registry* r = new Registry;  // outlives every static destructor that may still free a handle
  return *r;
}

}  // namespace

int32_t lmoRegister(LmoKind kind, const void* record) {
  if (record == nullptr) return 0;
  Registry& r = registry();
  try {
    std::unique_lock guard(r.lock);
    r.live[record] = kind;
  } catch (...) {
    return 0;
  }
  return 1;
}

void lmoUnregister(const void* record) {
  Registry& r = registry();
  std::unique_lock guard(r.lock);
  r.live.erase(record);
}

bool lmoIsLive(LmoKind kind, const void* record) {
  if (record == nullptr) return false;
  Registry& r = registry();
  std::shared_lock guard(r.lock);
  const auto it = r.live.find(record);
  return it != r.live.end() && it->second == kind;
}

LmoEnv* lmoLiveEnv(const void* handle) {
  return lmoIsLive(LmoKind::Env, handle) ? static_cast<LmoEnv*>(const_cast<void*>(handle)) : nullptr;
}

LmoDbc* lmoLiveDbc(const void* handle) {
  return lmoIsLive(LmoKind::Dbc, handle) ? static_cast<LmoDbc*>(const_cast<void*>(handle)) : nullptr;
}

LmoStmt* lmoLiveStmt(const void* handle) {
  return lmoIsLive(LmoKind::Stmt, handle) ? static_cast<LmoStmt*>(const_cast<void*>(handle)) : nullptr;
}
