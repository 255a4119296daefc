// One 20 ms link-quality sampling round: every station of a monitor gets its
// current link quality appended, with every history already at its cap; and
// the resident memory of many stations with full histories.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "wlan/Station.h"

namespace {

std::vector<std::unique_ptr<CStation>> FullStations(int count) {
  std::vector<std::unique_ptr<CStation>> stations;
  stations.reserve(count);
  const WLAN_RATE_SET rates{};
  for (int i = 0; i < count; ++i) {
    const DOT11_MAC_ADDRESS bssid = {0x02, 0, 0, 0, static_cast<UCHAR>(i >> 8), static_cast<UCHAR>(i)};
    auto station = std::make_unique<CStation>(nullptr, nullptr, bssid, "bench", 4, static_cast<ULONG>(i % 101), -60,
                                              3, 100, 2437000, 1, rates, 0);
    for (std::size_t s = 0; s < CLinkQualityHistory::kDefaultCapacity; ++s)
      station->AddLinkQualitySample(static_cast<int>(s % 101));
    stations.push_back(std::move(station));
  }
  return stations;
}

void BM_SamplingRound(benchmark::State& state) {
  auto stations = FullStations(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (auto& station : stations)
      station->AddLinkQualitySample(static_cast<int>(station->m_uLinkQuality.load(std::memory_order_relaxed)));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SamplingRound)->Arg(100)->Arg(2000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Resident memory of the process in bytes, from /proc/self/statm.
double ResidentBytes() {
  long pages = 0;
  if (std::FILE* file = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(file, "%*s %ld", &pages) != 1) pages = 0;
    std::fclose(file);
  }
  return static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// What state.range(0) stations with full histories add to the resident
// memory: the stations, their histories and the allocator's overhead.
void BM_FullHistoriesMemory(benchmark::State& state) {
  double grown = 0;
  for (auto _ : state) {
    const double before = ResidentBytes();
    auto stations = FullStations(static_cast<int>(state.range(0)));
    grown = ResidentBytes() - before;
    benchmark::DoNotOptimize(stations.data());
  }
  state.counters["resident_mb"] = grown / (1024.0 * 1024.0);
  state.counters["bytes_per_station"] = grown / static_cast<double>(state.range(0));
}
BENCHMARK(BM_FullHistoriesMemory)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
