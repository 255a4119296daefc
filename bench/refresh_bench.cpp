// One refresh pass of an adapter monitor (available-network list and BSS
// lists merged into the tables) against the simulated service, in steady
// state (every station already known), for 100, 2,000 and 10,000 stations.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/wlanapi.h"
#include "platform/wlansim/SimControl.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/WIFINetwork.h"

namespace {

wlansim::World WorldOf(int stations) {
  wlansim::World world;
  wlansim::Adapter adapter;
  adapter.guid.Data1 = 0xBE7C4000u;
  adapter.description = "Benchmark adapter";
  for (int i = 0; i < stations; ++i) {
    wlansim::AccessPoint ap;
    ap.bssid = {0x02, 0x20, 0x00, 0x00, static_cast<UCHAR>(i >> 8), static_cast<UCHAR>(i)};
    // About ten stations per network, as in a dense building.
    ap.ssid = "Floor " + std::to_string(i / 10);
    ap.frequencyKHz = i % 2 ? 2437000 : 5180000;
    ap.phyType = i % 2 ? dot11_phy_type_erp : dot11_phy_type_ofdm;
    adapter.stations.push_back(ap);
  }
  world.adapters.push_back(adapter);
  return world;
}

// A client on a world of state.range(0) stations whose monitor has made its
// first pass; the service goes back to its default world afterwards.
class MonitorOnWorld {
 public:
  explicit MonitorOnWorld(benchmark::State& state) {
    wlansim::UseManualClock(true);
    std::string error;
    if (!wlansim::ResetWorld(WorldOf(static_cast<int>(state.range(0))), &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    m_client = std::make_unique<CNativeWIFIInterface>(nullptr);
    m_client->Initialize();
    device = m_client->GetDevice(0);
    device->RefreshNetworks();
    device->RefreshStations();
  }
  ~MonitorOnWorld() {
    m_client.reset();
    wlansim::ResetToDefault();
  }
  HANDLE Client() const { return m_client->GetClientHandle(); }

  CNativeWIFIDevice* device = nullptr;

 private:
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

void BM_RefreshPass(benchmark::State& state) {
  MonitorOnWorld world(state);
  if (!world.device) return;
  for (auto _ : state) {
    world.device->RefreshNetworks();
    world.device->RefreshStations();
  }
  state.counters["stations"] = world.device->GetStationCount();
}
BENCHMARK(BM_RefreshPass)->Arg(100)->Arg(2000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The service's share of a pass: the same list and BSS-list queries with
// nothing merged, so the monitor's own cost is the difference.
void BM_ServiceQueriesOnly(benchmark::State& state) {
  MonitorOnWorld world(state);
  if (!world.device) return;
  const GUID guid = world.device->GetGuid();
  for (auto _ : state) {
    WLAN_AVAILABLE_NETWORK_LIST* list = nullptr;
    WlanGetAvailableNetworkList(world.Client(), &guid, 0, nullptr, &list);
    WlanFreeMemory(list);
    for (int n = 0; n < world.device->GetNetworkCount(); ++n) {
      CWIFINetwork* network = world.device->GetNetwork(n);
      WLAN_BSS_LIST* bss = nullptr;
      WlanGetNetworkBssList(world.Client(), &guid, &network->m_dot11Ssid,
                            static_cast<DOT11_BSS_TYPE>(network->m_nBssType), network->m_bSecurityEnabled, nullptr, &bss);
      WlanFreeMemory(bss);
    }
  }
}
BENCHMARK(BM_ServiceQueriesOnly)->Arg(100)->Arg(2000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// One BSS-list query for one network (about ten stations) of a large world:
// what a query costs should follow what it returns, not the world's size.
void BM_OneNetworkBssList(benchmark::State& state) {
  MonitorOnWorld world(state);
  if (!world.device) return;
  const GUID guid = world.device->GetGuid();
  CWIFINetwork* network = world.device->GetNetwork(world.device->GetNetworkCount() / 2);
  ULONG returned = 0;
  for (auto _ : state) {
    WLAN_BSS_LIST* bss = nullptr;
    WlanGetNetworkBssList(world.Client(), &guid, &network->m_dot11Ssid, static_cast<DOT11_BSS_TYPE>(network->m_nBssType),
                          network->m_bSecurityEnabled, nullptr, &bss);
    returned = bss ? bss->dwNumberOfItems : 0;
    WlanFreeMemory(bss);
  }
  state.counters["entries"] = returned;
}
BENCHMARK(BM_OneNetworkBssList)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
