// The station list's periodic work with 2,000 stations (or as many as
// AERLUME_BENCH_STATIONS says) on one adapter of the simulated service: one passive-refresh tick (RefreshList), one seen-times
// tick (UpdateSeenTimes) and one link-quality sampling tick.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/wlansim/SimControl.h"
#include "ui/ChildView.h"
#include "ui/StationTableModel.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"

namespace {

int StationCount() {
  const int count = qEnvironmentVariableIntValue("AERLUME_BENCH_STATIONS");
  return count > 0 ? count : 2000;
}
constexpr int kPerNetwork = 8;  // BSSIDs per SSID

// A frame-less host: the view's selection messages go nowhere.
struct ListSetup {
  std::unique_ptr<QWidget> host;
  CChildView* view = nullptr;
  std::unique_ptr<CNativeWIFIInterface> client;
  std::int64_t now = 0;

  ListSetup() {
    wlansim::World world;
    world.seed = 7;
    wlansim::Adapter adapter;
    adapter.guid.Data1 = 0xBE7C0001u;
    adapter.description = "Bench adapter";
    for (int i = 0, count = StationCount(); i < count; ++i) {
      wlansim::AccessPoint ap;
      ap.bssid = {0x02, 0xBE, 0x7C, 0x00, static_cast<UCHAR>(i >> 8), static_cast<UCHAR>(i)};
      ap.ssid = "Net " + std::to_string(i / kPerNetwork);
      ap.frequencyKHz = 2412000 + 5000 * static_cast<ULONG>(i % 11);
      ap.baseRssi = -40 - (i % 55);
      ap.driftDb = 8;
      ap.driftPeriodMs = 20000 + 37 * static_cast<ULONG>(i);
      adapter.stations.push_back(ap);
    }
    world.adapters.push_back(adapter);
    wlansim::UseManualClock(true);
    std::string error;
    if (!wlansim::ResetWorld(world, &error)) {
      std::fprintf(stderr, "world refused: %s\n", error.c_str());
      std::abort();
    }
    host = std::make_unique<QWidget>();
    host->resize(1200, 800);
    view = new CChildView(host.get());
    view->setGeometry(0, 0, 1200, 800);
    for (int timer = 1; timer <= 4; ++timer) view->GetTimer(timer)->stop();
    now = static_cast<std::int64_t>(std::time(nullptr));
    view->SetTimeSource([this] { return now; });
    host->show();
    client = std::make_unique<CNativeWIFIInterface>(nullptr);
    client->Initialize();
    view->SetWlanInterface(client.get());

    const auto start = std::chrono::steady_clock::now();
    view->RefreshList();
    WaitForWorker();
    const auto read = std::chrono::steady_clock::now();
    view->RefreshList();
    const auto filled = std::chrono::steady_clock::now();
    WaitForWorker();
    QCoreApplication::processEvents();
    std::printf("rows %d; first refresh worker %.1f ms; first fill of the list (inserting every row) %.1f ms\n",
                view->GetModel()->RowCount(), std::chrono::duration<double, std::milli>(read - start).count(),
                std::chrono::duration<double, std::milli>(filled - read).count());
  }

  ~ListSetup() {
    delete view;
    client.reset();
    host.reset();
  }

  CNativeWIFIDevice* Device() const { return client->GetDevice(0); }
  void WaitForWorker() const {
    while (Device()->IsRefreshRunning()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
};

// Made in main after the application object and destroyed before it.
std::unique_ptr<ListSetup> g_setup;
ListSetup& Setup() { return *g_setup; }

int CountChanged() {
  int changed = 0;
  Setup().Device()->ForEachStation([&](CStation* s) { changed += s->m_bChanged.load() ? 1 : 0; });
  return changed;
}

// One timer-2 tick. Before it (not timed) the previous tick's worker has
// finished over a world whose clock moved by `advance` ms, so with 500 ms
// nearly every station has new values; with 0 none has.
void BM_RefreshListTick(benchmark::State& state) {
  ListSetup& setup = Setup();
  const auto advance = static_cast<std::uint32_t>(state.range(0));
  double changed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    setup.WaitForWorker();
    wlansim::AdvanceClock(advance);
    wlansim::WaitForIdle();
    setup.Device()->StartRefresh();
    setup.WaitForWorker();
    QCoreApplication::processEvents();
    changed += CountChanged();
    state.ResumeTiming();
    setup.view->RefreshList();
  }
  setup.WaitForWorker();
  state.counters["rows"] = setup.view->GetModel()->RowCount();
  state.counters["changed_rows"] = changed / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RefreshListTick)->Arg(500)->Arg(0)->Unit(benchmark::kMillisecond);

// One timer-3 tick: First/Last Seen of every row, then one resort pass.
void BM_SeenTimesTick(benchmark::State& state) {
  ListSetup& setup = Setup();
  for (auto _ : state) {
    ++setup.now;
    setup.view->UpdateSeenTimes();
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  state.counters["rows"] = setup.view->GetModel()->RowCount();
}
BENCHMARK(BM_SeenTimesTick)->Unit(benchmark::kMillisecond);

// One timer-4 tick: every station's link quality appended to its history.
void BM_SampleTick(benchmark::State& state) {
  ListSetup& setup = Setup();
  for (auto _ : state) setup.view->SampleLinkQuality();
  state.counters["stations"] = setup.Device()->GetStationCount();
}
BENCHMARK(BM_SampleTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  g_setup = std::make_unique<ListSetup>();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_setup.reset();
  return 0;
}
