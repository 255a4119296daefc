// The fault table of the simulated service, one slot per operation.
#include <array>
#include <mutex>

#include "platform/wlansim/Faults.h"

namespace wlansim {
namespace {

constexpr std::size_t kOps = static_cast<std::size_t>(Op::PerfRefresh) + 1;  // the last Op

struct Slot {
  bool armed = false;
  DWORD error = 0;
  int remaining = 0;  // < 0: every call
  int hits = 0;
};

struct Table {
  std::mutex lock;
  std::array<Slot, kOps> slots;
};

bool Fires(Op op, DWORD* error);

Table& Faults() {
  static Table* table = [] {
    auto* t = new Table;  // outlives static destruction, as the API may be called then
    InstallFaultSource(&Fires);
    return t;
  }();
  return *table;
}

bool Fires(Op op, DWORD* error) {
  Table& t = Faults();
  std::lock_guard<std::mutex> guard(t.lock);
  Slot& s = t.slots[static_cast<std::size_t>(op)];
  if (!s.armed) return false;
  if (s.remaining > 0 && --s.remaining == 0) s.armed = false;
  ++s.hits;
  if (error) *error = s.error;
  return true;
}

}  // namespace

void InjectFault(Op op, DWORD error, int count) {
  Table& t = Faults();
  std::lock_guard<std::mutex> guard(t.lock);
  Slot& s = t.slots[static_cast<std::size_t>(op)];
  s.armed = count != 0;
  s.error = error;
  s.remaining = count < 0 ? -1 : count;
}

void ClearFaults() {
  Table& t = Faults();
  std::lock_guard<std::mutex> guard(t.lock);
  t.slots = {};
}

int FaultHits(Op op) {
  Table& t = Faults();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.slots[static_cast<std::size_t>(op)].hits;
}

}  // namespace wlansim
