// One paint of the network status panel (200 x 200) showing a connected
// adapter with all eleven lines: it asks the simulated service for the
// current connection, refreshes the IP configuration at most once a second
// and reads three pingers that ping loopback addresses. Target: well under
// 1 ms, so five paints a second cost the user-interface thread nothing
// noticeable.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTimerEvent>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/wlansim/SimControl.h"
#include "ui/NetworkStatusWnd.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

void BM_StatusPanelPaint(benchmark::State& state) {
  wlansim::World world;
  world.seed = 7;
  wlansim::Adapter adapter;
  adapter.guid.Data1 = 0x5A7A0001u;
  adapter.description = "Bench adapter";
  adapter.connectAtStart = true;
  adapter.ip = {"127.0.10.2", "127.0.10.1", "127.0.10.53"};
  wlansim::AccessPoint ap;
  ap.bssid = {0x02, 0x5A, 0x7A, 0x00, 0x00, 0x01};
  ap.ssid = "Bench network";
  adapter.stations.push_back(ap);
  wlansim::ProfileFields profile;
  profile.name = profile.ssid = ap.ssid;
  adapter.profiles.push_back(wlansim::BuildProfileXml(profile));
  world.adapters.push_back(adapter);
  wlansim::UseManualClock(true);
  std::string error;
  if (!wlansim::ResetWorld(world, &error)) {
    std::fprintf(stderr, "world refused: %s\n", error.c_str());
    std::abort();
  }
  CNativeWIFIInterface client(nullptr);
  client.Initialize();
  CNativeWIFIDevice* device = client.GetDevice(0);
  device->RefreshNetworks();
  device->RefreshStations();

  CNetworkStatusWnd panel;
  panel.resize(200, 200);
  QTimerEvent tick(0);
  QCoreApplication::sendEvent(&panel, &tick);  // starts the pingers
  QImage target(200, 200, QImage::Format_RGB32);
  for (auto _ : state) {
    panel.render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(BM_StatusPanelPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("AERLUME_INTERNET_HOST", "127.0.0.1");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
