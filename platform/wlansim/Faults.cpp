#include "platform/wlansim/Faults.h"

#include <atomic>

namespace wlansim {
namespace {

std::atomic<FaultSource> g_source{nullptr};

}  // namespace

bool FaultFires(Op op, DWORD* error) {
  const FaultSource source = g_source.load(std::memory_order_acquire);
  return source && source(op, error);
}

void InstallFaultSource(FaultSource source) { g_source.store(source, std::memory_order_release); }

}  // namespace wlansim
