// Appending 100,000 log lines to a shown output window (offscreen platform),
// the paints they cause included.
//   BM_AppendLines/0: short log lines, fixed 512-column wrap;
//   BM_AppendLines/1: 200-character lines wrapped at the window's width;
//   BM_LogPrintfLines: through LogPrintf, posted and delivered by the event
//   loop, as the program's writers do;
//   BM_LogPrintfBaseline: the same to a window that only frees the texts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "eventlog/Log.h"
#include "eventlog/widgets/OutWnd.h"

namespace {

constexpr int kLines = 100000;

std::vector<std::string> MakeLines(bool bLong) {
  std::vector<std::string> lines;
  lines.reserve(kLines);
  char buffer[256];
  for (int i = 0; i < kLines; ++i) {
    std::snprintf(buffer, sizeof buffer, "07/11/23 14:05:09 ACM: Connection completed, SSID 'station-%d', reason %d.\n",
                  i % 97, i);
    std::string line(buffer);
    if (bLong) line.insert(line.size() - 1, std::string(200 - line.size(), '.'));
    lines.push_back(std::move(line));
  }
  return lines;
}

// Counts the paints a widget receives.
class CPaintCounter : public QObject {
 public:
  explicit CPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  long paints = 0;
};

char* HeapCopy(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void BM_AppendLines(benchmark::State& state) {
  const bool bWindowWrap = state.range(0) != 0;
  const std::vector<std::string> lines = MakeLines(bWindowWrap);
  COutWnd wnd;
  wnd.m_bWrapToWindow = bWindowWrap;
  wnd.resize(800, 140);
  wnd.show();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    wnd.Reset();
    for (const std::string& line : lines) wnd.AddText(HeapCopy(line));
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(wnd.LineCount());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.counters["stored_lines"] = wnd.LineCount();
}
BENCHMARK(BM_AppendLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LogPrintfLines(benchmark::State& state) {
  COutWnd wnd;
  wnd.resize(800, 140);
  wnd.show();
  QCoreApplication::processEvents();
  CPaintCounter text(wnd.viewport());
  CPaintCounter bar(wnd.verticalScrollBar());
  for (auto _ : state) {
    wnd.Reset();
    for (int i = 0; i < kLines; ++i) LogPrintf("ACM: Connection completed, SSID 'station-%d', reason %d.\n", i % 97, i);
    // Every line has arrived once the newest one says so.
    const std::string last = "reason " + std::to_string(kLines - 1) + ".";
    while (wnd.LineCount() == 0 || wnd.Line(0).find(last) == std::string::npos)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    benchmark::DoNotOptimize(wnd.LineCount());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  // Paints per run of 100,000 lines: the cost that coalescing keeps down.
  state.counters["text_paints"] = benchmark::Counter(static_cast<double>(text.paints), benchmark::Counter::kAvgIterations);
  state.counters["bar_paints"] = benchmark::Counter(static_cast<double>(bar.paints), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LogPrintfLines)->Unit(benchmark::kMillisecond);

// The same posts to a window that only frees each text: the share of the
// message layer and LogPrintf in BM_LogPrintfLines.
class CDiscardingWindow : public CMessageTarget {
 public:
  CDiscardingWindow() {
    CreateHandle();
    RegisterLogWindow(this);
  }
  ~CDiscardingWindow() override {
    DestroyHandle();
    UnregisterLogWindow(this);
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_OUTWND_ADDTEXT) {
      std::free(reinterpret_cast<void*>(wParam));
      ++received;
    }
    return 0;
  }
  int received = 0;
};

void BM_LogPrintfBaseline(benchmark::State& state) {
  CDiscardingWindow wnd;
  for (auto _ : state) {
    wnd.received = 0;
    for (int i = 0; i < kLines; ++i) LogPrintf("ACM: Connection completed, SSID 'station-%d', reason %d.\n", i % 97, i);
    while (wnd.received < kLines) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_LogPrintfBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  QApplication app(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
