#include "platform/wlansim/Memory.h"

#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace wlansim {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_set<void*> live;
};

// Never destroyed: callers may free results while static objects are torn down.
Registry& Blocks() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

void* AllocateBlock(std::size_t size) {
  void* block = std::calloc(size == 0 ? 1 : size, 1);
  if (!block) return nullptr;
  Registry& r = Blocks();
  std::lock_guard<std::mutex> guard(r.lock);
  r.live.insert(block);
  return block;
}

bool FreeBlock(void* block) {
  if (!block) return true;
  Registry& r = Blocks();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.live.erase(block) == 0) return false;
  }
  std::free(block);
  return true;
}

std::size_t LiveBlocks() {
  Registry& r = Blocks();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.live.size();
}

}  // namespace wlansim
