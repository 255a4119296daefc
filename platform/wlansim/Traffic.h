// Byte counters of the simulated adapters, as the performance-counter service
// (platform/perfcounters.h) reads them. An adapter carries traffic while it
// is connected or has formed an ad hoc network: the adapter at world index i
// receives (24 + 8·i) KiB and sends (6 + 2·i) KiB per second of service time.
//
// The counters advance when they are read: the time between two reads counts
// when the adapter was up at both, so a run under the manual clock is
// deterministic. They never go backwards; a world reset (the clock back at 0)
// starts a new interval without counting anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wlansim {

struct TrafficRecord {
  std::string description;  // as the IP helper reports it, UTF-8
  std::uint64_t received = 0;  // bytes since the process started
  std::uint64_t sent = 0;
  std::int64_t at = 0;  // the service time of the reading, ms
};

// Every adapter of the current world, in world order.
std::vector<TrafficRecord> ReadAdapterTraffic();

// Per-second rates of the adapter at world index `index`.
std::uint64_t ReceiveRate(std::size_t index);
std::uint64_t SendRate(std::size_t index);

}  // namespace wlansim
