#include "src/rdaclient/rdacli_blocks.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace {

// Leaf lock: nothing else is taken while it is held.
std::mutex& blocksMutex() {
  static std::mutex m;
  return m;
}

std::unordered_set<const void*>& liveBlocks() {
  static auto* set = new std::unordered_set<const void*>();
  return *set;
}

// Every block begins with two ring links and its tag.
struct BlockHead {
  void* next;
  void* prev;
  uint32_t tag;
};

}  // namespace

int32_t RDA_cliLinkBlock(const void* block) {
  if (block == nullptr) return 0;
  std::lock_guard<std::mutex> lock(blocksMutex());
  try {
    liveBlocks().insert(block);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

void RDA_cliUnlinkBlock(const void* block) {
  std::lock_guard<std::mutex> lock(blocksMutex());
  liveBlocks().erase(block);
}

bool RDA_cliIsLiveBlock(const void* block, uint32_t tag) {
  if (block == nullptr) return false;
  std::lock_guard<std::mutex> lock(blocksMutex());
  const auto& set = liveBlocks();
  return set.find(block) != set.end() && static_cast<const BlockHead*>(block)->tag == tag;
}
