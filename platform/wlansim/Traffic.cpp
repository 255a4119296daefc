#include "platform/wlansim/Traffic.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/wlansim/IpConfig.h"
#include "platform/wlansim/Service.h"
#include "platform/wlansim/SimControl.h"

namespace wlansim {
namespace {

struct Meter {
  std::int64_t lastAt = 0;
  bool lastUp = false;
  std::uint64_t received = 0;
  std::uint64_t sent = 0;
  // Remainders below one byte, in byte-milliseconds, so short intervals lose nothing.
  std::uint64_t receivedRest = 0;
  std::uint64_t sentRest = 0;
};

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct Meters {
  std::mutex lock;
  std::map<GUID, Meter, GuidLess> byAdapter;
};

Meters& AllMeters() {
  static Meters* meters = new Meters;  // outlives static destruction, as the counters may be read then
  return *meters;
}

void Advance(std::uint64_t rate, std::int64_t ms, std::uint64_t& bytes, std::uint64_t& rest) {
  rest += rate * static_cast<std::uint64_t>(ms);
  bytes += rest / 1000;
  rest %= 1000;
}

}  // namespace

std::uint64_t ReceiveRate(std::size_t index) { return (24 + 8 * index) * 1024; }
std::uint64_t SendRate(std::size_t index) { return (6 + 2 * index) * 1024; }

std::vector<TrafficRecord> ReadAdapterTraffic() {
  const std::int64_t now = Service::Instance().Now();
  const std::vector<IpAdapterRecord> adapters = IpAdapters();
  Meters& meters = AllMeters();
  std::lock_guard<std::mutex> guard(meters.lock);
  std::vector<TrafficRecord> out;
  out.reserve(adapters.size());
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const IpAdapterRecord& adapter = adapters[i];
    auto [it, fresh] = meters.byAdapter.try_emplace(adapter.guid);
    Meter& m = it->second;
    // A reset world starts its clock at 0 again: begin a new interval there.
    if (!fresh && now >= m.lastAt && m.lastUp && adapter.up) {
      Advance(ReceiveRate(i), now - m.lastAt, m.received, m.receivedRest);
      Advance(SendRate(i), now - m.lastAt, m.sent, m.sentRest);
    }
    m.lastAt = now;
    m.lastUp = adapter.up;
    out.push_back({adapter.description, m.received, m.sent, now});
  }
  return out;
}

}  // namespace wlansim
