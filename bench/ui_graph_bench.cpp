// One frame of the link-quality graph at 1000 x 200 with a full history of
// 5,000 samples: the bare trace (CGraphWnd) and the graph as shown
// (CWIFIGraphWnd, whose overlay asks the simulated service for the adapter's
// connection on every frame), each drawn whole, and the usual frame on
// screen: one sample more and the grid one step on, where only the columns
// that moved in are drawn. Target: under 1 ms a frame, so 50 frames a
// second take under 5% of the user-interface thread.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/wlansim/SimControl.h"
#include "ui/GraphWnd.h"
#include "ui/WIFIGraphWnd.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"

namespace {

constexpr int kWidth = 1000, kHeight = 200;

// One adapter connected to the one access point it hears.
struct GraphSetup {
  std::unique_ptr<CNativeWIFIInterface> client;
  CStation* station = nullptr;

  GraphSetup() {
    wlansim::World world;
    world.seed = 11;
    wlansim::Adapter adapter;
    adapter.guid.Data1 = 0x6EA90001u;
    adapter.description = "Bench adapter";
    adapter.connectAtStart = true;
    wlansim::AccessPoint ap;
    ap.bssid = {0x02, 0x6E, 0xA9, 0x00, 0x00, 0x01};
    ap.ssid = "Bench network";
    ap.baseRssi = -55;
    adapter.stations.push_back(ap);
    wlansim::ProfileFields profile;
    profile.name = profile.ssid = ap.ssid;
    profile.autoConnect = true;
    adapter.profiles.push_back(wlansim::BuildProfileXml(profile));
    world.adapters.push_back(adapter);
    wlansim::UseManualClock(true);
    std::string error;
    if (!wlansim::ResetWorld(world, &error)) {
      std::fprintf(stderr, "world refused: %s\n", error.c_str());
      std::abort();
    }
    client = std::make_unique<CNativeWIFIInterface>(nullptr);
    client->Initialize();
    CNativeWIFIDevice* device = client->GetDevice(0);
    device->StartRefresh();
    while (device->IsRefreshRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    station = device->FindStation(ap.bssid.data());
    if (!station || !wlansim::CurrentBssid(adapter.guid)) {
      std::fprintf(stderr, "the bench station is not there or not connected\n");
      std::abort();
    }
    // A full history that moves over the whole height.
    for (int i = 0; i < 5000; ++i)
      station->AddLinkQualitySample(50 + static_cast<int>(45 * std::sin(i * 0.05) + 4 * std::sin(i * 1.3)));
  }
};

std::unique_ptr<GraphSetup> g_setup;

void Prepare(CGraphWnd& graph) {
  graph.resize(kWidth, kHeight);
  graph.SetRefreshRate(50);
  graph.SetGridSpacing(20, 20);
  graph.SetGridOffset(0, 0);
  graph.SetStation(g_setup->station);
}

void RenderFrames(benchmark::State& state, CGraphWnd& graph) {
  Prepare(graph);
  QImage target(kWidth, kHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    graph.SetGridOffset(0, 0);  // the whole plot drawn anew
    graph.render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
  state.counters["samples"] = static_cast<double>(g_setup->station->m_lstLinkQuality.size());
}

void BM_TraceFrame(benchmark::State& state) {
  CGraphWnd graph;
  RenderFrames(state, graph);
}
BENCHMARK(BM_TraceFrame)->Unit(benchmark::kMicrosecond);

void BM_GraphFrameWithOverlay(benchmark::State& state) {
  CWIFIGraphWnd graph;
  RenderFrames(state, graph);
}
BENCHMARK(BM_GraphFrameWithOverlay)->Unit(benchmark::kMicrosecond);

// The grid moved on by what one timer event does.
class ScrollingGraph : public CWIFIGraphWnd {
 public:
  void Tick() { m_nScroll = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nScroll) + 1u); }
};

void BM_ScrollingFrameWithOverlay(benchmark::State& state) {
  ScrollingGraph graph;
  Prepare(graph);
  QImage target(kWidth, kHeight, QImage::Format_RGB32);
  int i = 0;
  for (auto _ : state) {
    g_setup->station->AddLinkQualitySample(50 + static_cast<int>(45 * std::sin(++i * 0.05)));
    graph.Tick();
    graph.render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(BM_ScrollingFrameWithOverlay)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  g_setup = std::make_unique<GraphSetup>();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_setup.reset();
  return 0;
}
