// One throughput sample of a monitor while 50 kernel interfaces (a fake
// interface folder) and the simulated adapters are instances.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/perfcounters.h"
#include "platform/wlansim/SimControl.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

namespace fs = std::filesystem;

void BM_SampleThroughput50Interfaces(benchmark::State& state) {
  const fs::path root = fs::temp_directory_path() / ("aerlume-bench-net-" + std::to_string(getpid()));
  for (int i = 0; i < 50; ++i) {
    const fs::path statistics = root / ("eth" + std::to_string(i)) / "statistics";
    fs::create_directories(statistics);
    std::ofstream(statistics / "rx_bytes") << 1000 * i << "\n";
    std::ofstream(statistics / "tx_bytes") << 500 * i << "\n";
  }
  SetPerfNetRoot(root.string());
  wlansim::UseManualClock(true);
  wlansim::ResetWorld(wlansim::BuiltInWorld());
  {
    CNativeWIFIInterface client(nullptr);
    client.Initialize();
    CNativeWIFIDevice* device = client.GetDeviceCount() > 0 ? client.GetDevice(0) : nullptr;
    if (!device) state.SkipWithError("no adapter in the built-in world");
    for (auto _ : state) {
      wlansim::AdvanceClock(1000);
      benchmark::DoNotOptimize(device->SampleThroughput());
    }
  }
  SetPerfNetRoot("");
  fs::remove_all(root);
  wlansim::ResetToDefault();
}
BENCHMARK(BM_SampleThroughput50Interfaces)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
