// What the window shows: new lines coming into view (per 20, or at the
// refresh tick), both scroll bars, and the painting that follows them.
#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/test_support.h"
#include "tests/eventlog_widgets/OutWndHarness.h"

using outwnd::Add;
using outwnd::InkColumns;
using outwnd::Shot;
using outwnd::Tick;

namespace {

constexpr int kRows = 10;

// Line i of a test is i letters 'H', so the ink width of a row names it.
std::string Hs(int count) { return std::string(static_cast<std::size_t>(count), 'H'); }

// Records the regions the viewport paints.
class PaintRecorder : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      painted += static_cast<QPaintEvent*>(event)->region();
      ++paints;
    }
    return false;
  }
  QRegion painted;
  int paints = 0;
};

class OutWndView : public ::testing::Test {
 protected:
  void SetUp() override {
    wnd.resize(480, 200);
    wnd.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wnd));
    ASSERT_GT(wnd.LineHeight(), 0);
    // Exactly kRows whole rows.
    wnd.resize(480, kRows * wnd.LineHeight());
    ASSERT_EQ(wnd.viewport()->height() / wnd.LineHeight(), kRows);
    Settle();
  }

  void AddLines(int from, int to) {
    for (int i = from; i <= to; ++i) Add(wnd, Hs(i) + "\n");
  }

  // Lets Qt deliver the pending paints to the window's backing store.
  void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }

  // The pixels the window has on screen (its backing store), as left by the
  // incremental paints: block moves plus repainted rows.
  QImage OnScreen() {
    Settle();
    const QImage whole = wnd.screen()->grabWindow(wnd.winId()).toImage();
    const QPoint origin = wnd.viewport()->mapTo(&wnd, QPoint(0, 0));
    return whole.copy(QRect(origin, wnd.viewport()->size())).convertToFormat(QImage::Format_RGB32);
  }

  // The same viewport painted from scratch.
  QImage Repainted() { return Shot(wnd).convertToFormat(QImage::Format_RGB32); }

  // Whether the screen shows what a full repaint would; names the first
  // row of pixels that differs.
  testing::AssertionResult ScreenMatchesRepaint() {
    const QImage screen = OnScreen();
    const QImage full = Repainted();
    if (screen.size() != full.size())
      return testing::AssertionFailure() << "sizes differ: " << screen.width() << "x" << screen.height() << " vs "
                                         << full.width() << "x" << full.height();
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x)
        if (screen.pixel(x, y) != full.pixel(x, y))
          return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs; line height "
                                             << wnd.LineHeight() << ", viewport height " << full.height();
    return testing::AssertionSuccess();
  }

  COutWnd wnd;
};

TEST_F(OutWndView, NewLinesComeInPerTwentyAndTheRestAtTheNextTick) {
  AddLines(1, 19);
  EXPECT_EQ(wnd.PendingLines(), 19);
  AddLines(20, 20);
  // The batch comes in once the texts queued with it have been delivered.
  PumpPostedMessages();
  EXPECT_EQ(wnd.PendingLines(), 0) << "the 20th line scrolls the batch in";
  AddLines(21, 25);
  EXPECT_EQ(wnd.PendingLines(), 5);

  // The five newest wait below the window; the bottom row shows line 20.
  QImage shot = Shot(wnd);
  EXPECT_EQ(InkColumns(wnd, shot, 0), 20);
  EXPECT_EQ(InkColumns(wnd, shot, kRows - 1), 11);

  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_EQ(wnd.PendingLines(), 0);
  shot = Shot(wnd);
  EXPECT_EQ(InkColumns(wnd, shot, 0), 25);
  EXPECT_EQ(InkColumns(wnd, shot, kRows - 1), 16);
}

// A burst of posted lines, delivered by the event loop as LogPrintf's are:
// one scroll-in and one scroll-bar update for the whole burst, not one per
// batch of 20 and one per line.
TEST_F(OutWndView, APostedBurstCostsOneRepaint) {
  ASSERT_EQ(g_pLogWnd, static_cast<CMessageTarget*>(&wnd));
  AddLines(1, 30);  // the vertical bar is up before the burst
  Tick(wnd, COutWnd::kRefreshTimer);
  Settle();
  PaintRecorder text;
  PaintRecorder bar;
  wnd.viewport()->installEventFilter(&text);
  wnd.verticalScrollBar()->installEventFilter(&bar);
  SetLogTimeSource([] { return static_cast<std::time_t>(-1); });  // no stamps: line i is its H's
  for (int i = 31; i <= 235; ++i) LogPrintf("%s\n", Hs(i % 50 + 1).c_str());
  SetLogTimeSource(nullptr);
  // Whole batches come in; the last 5 lines wait for the refresh tick (the
  // real one may come first, under load).
  ASSERT_TRUE(testsupport::SpinUntil([&] { return wnd.LineCount() == 235 && wnd.PendingLines() < 20; }));
  Settle();
  wnd.viewport()->removeEventFilter(&text);
  wnd.verticalScrollBar()->removeEventFilter(&bar);
  EXPECT_LE(text.paints, 2) << "one repaint for the burst (two if the refresh tick fell inside it)";
  EXPECT_LE(bar.paints, 2);
  EXPECT_EQ(wnd.verticalScrollBar()->maximum(), 235 - kRows);
  EXPECT_EQ(wnd.verticalScrollBar()->value(), 235 - kRows);
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_EQ(wnd.PendingLines(), 0);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 235 % 50 + 1) << "the newest line on the bottom row";
  EXPECT_TRUE(ScreenMatchesRepaint());
}

TEST_F(OutWndView, AppendingRepaintsOnlyTheUncoveredRows) {
  AddLines(1, 12);
  Tick(wnd, COutWnd::kRefreshTimer);
  Settle();
  PaintRecorder recorder;
  wnd.viewport()->installEventFilter(&recorder);
  AddLines(13, 15);
  Tick(wnd, COutWnd::kRefreshTimer);
  Settle();
  wnd.viewport()->removeEventFilter(&recorder);
  const QRect painted = recorder.painted.boundingRect();
  EXPECT_FALSE(painted.isEmpty());
  EXPECT_LE(painted.height(), 3 * wnd.LineHeight()) << "painted " << painted.height() << " px of "
                                                     << wnd.viewport()->height();
  EXPECT_TRUE(ScreenMatchesRepaint());
}

TEST_F(OutWndView, IncrementalPaintsMatchAFullRepaint) {
  AddLines(1, 7);
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_TRUE(ScreenMatchesRepaint());
  AddLines(8, 30);  // one batch of 20 in at once, 3 waiting
  EXPECT_TRUE(ScreenMatchesRepaint());
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_TRUE(ScreenMatchesRepaint());
  wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_TRUE(ScreenMatchesRepaint());
  // A line continued while scrolled up, then more lines.
  Add(wnd, "HH");
  Add(wnd, "H\n");
  AddLines(31, 33);
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_TRUE(ScreenMatchesRepaint());
  wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  Add(wnd, "HHHH");
  Add(wnd, "HH\n");
  EXPECT_TRUE(ScreenMatchesRepaint());
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_TRUE(ScreenMatchesRepaint());
  EXPECT_EQ(InkColumns(wnd, Repainted(), 0), 6);
}

TEST_F(OutWndView, VerticalBarTopShowsTheOldestAndBottomTheNewest) {
  AddLines(1, 50);
  Tick(wnd, COutWnd::kRefreshTimer);
  QScrollBar* bar = wnd.verticalScrollBar();
  const int extra = 50 - kRows;
  EXPECT_EQ(bar->maximum(), extra);
  EXPECT_EQ(bar->pageStep(), kRows);
  EXPECT_EQ(bar->value(), extra);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 50);

  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(wnd.ScrollLines(), extra);
  EXPECT_EQ(bar->value(), 0);
  QImage shot = Shot(wnd);
  EXPECT_EQ(InkColumns(wnd, shot, kRows - 1), 1) << "oldest line in the top row";
  EXPECT_EQ(InkColumns(wnd, shot, 0), kRows);
  EXPECT_TRUE(ScreenMatchesRepaint());

  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(wnd.ScrollLines(), 0);
  EXPECT_EQ(bar->value(), extra);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 50);

  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);  // line up
  EXPECT_EQ(wnd.ScrollLines(), 1);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);  // page up
  EXPECT_EQ(wnd.ScrollLines(), 1 + kRows);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 50 - 1 - kRows);
  EXPECT_TRUE(ScreenMatchesRepaint());
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // line down
  EXPECT_EQ(wnd.ScrollLines(), kRows);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);  // page down
  EXPECT_EQ(wnd.ScrollLines(), 0);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // already at the bottom
  EXPECT_EQ(wnd.ScrollLines(), 0);
  EXPECT_EQ(bar->value(), extra);

  bar->setSliderPosition(25);  // dragging the thumb
  EXPECT_EQ(wnd.ScrollLines(), extra - 25);
  EXPECT_EQ(bar->value(), 25);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 50 - (extra - 25));
  EXPECT_TRUE(ScreenMatchesRepaint());

  // New lines push the content up whatever the position.
  AddLines(51, 52);
  Tick(wnd, COutWnd::kRefreshTimer);
  EXPECT_EQ(wnd.ScrollLines(), extra - 25);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 0), 52 - (extra - 25));
  EXPECT_TRUE(ScreenMatchesRepaint());
}

TEST_F(OutWndView, HorizontalBarScrollsEveryLineSideways) {
  const int columns = wnd.VisibleColumns();
  Add(wnd, "HHH\n");
  Add(wnd, Hs(300) + "\n");
  Tick(wnd, COutWnd::kRefreshTimer);
  QScrollBar* bar = wnd.horizontalScrollBar();
  ASSERT_EQ(wnd.LongestLine(), 298);
  const int columnsNow = wnd.VisibleColumns();  // the bar may have taken some height, not width
  EXPECT_EQ(columnsNow, columns);
  const int maxColumn = 298 - columns + 2;
  EXPECT_EQ(bar->maximum(), maxColumn);
  EXPECT_EQ(bar->pageStep(), columns - 2);

  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(wnd.ScrollColumn(), 1);
  QImage shot = Shot(wnd);
  EXPECT_EQ(InkColumns(wnd, shot, 1), 2) << "the short line starts at its second character";
  EXPECT_TRUE(ScreenMatchesRepaint());

  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(wnd.ScrollColumn(), maxColumn);
  EXPECT_EQ(bar->value(), maxColumn);
  shot = Shot(wnd);
  EXPECT_EQ(InkColumns(wnd, shot, 1), 0) << "a line not longer than the scroll column is not drawn";
  EXPECT_EQ(InkColumns(wnd, shot, 0), 300 - maxColumn);
  EXPECT_TRUE(ScreenMatchesRepaint());

  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(wnd.ScrollColumn(), maxColumn - columns);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(wnd.ScrollColumn(), 0);
  EXPECT_EQ(InkColumns(wnd, Shot(wnd), 1), 3);
  EXPECT_TRUE(ScreenMatchesRepaint());
}

// Lines wrapped to the window, before and after the vertical bar appears,
// are drawn whole inside the viewport: none runs under the bar, and no
// horizontal bar comes up.
TEST_F(OutWndView, WindowWidthLinesFitBesideTheVerticalBar) {
  wnd.m_bWrapToWindow = true;
  std::string words;
  for (int i = 1; static_cast<int>(words.size()) < 150; ++i) words += Hs(i % 9 + 1) + " ";
  words.pop_back();
  Add(wnd, Hs(150) + "\n");  // no blank: cut at the width
  Add(wnd, words + "\n");
  Add(wnd, "HHH\tH\n");
  QCoreApplication::processEvents();
  ASSERT_FALSE(wnd.verticalScrollBar()->isVisible()) << "these lines came before the bar";
  AddLines(1, 12);
  Add(wnd, Hs(150) + "\n");
  Tick(wnd, COutWnd::kRefreshTimer);
  Settle();
  ASSERT_TRUE(wnd.verticalScrollBar()->isVisible());
  EXPECT_FALSE(wnd.horizontalScrollBar()->isVisible());

  // Every row shows all of its characters: its ink reaches its last one.
  const auto rowsDrawnWhole = [&] {
    const QImage shot = Shot(wnd);
    for (int row = 0; row < kRows; ++row) {
      const std::string line = wnd.Line(wnd.ScrollLines() + row);
      EXPECT_EQ(InkColumns(wnd, shot, row), static_cast<int>(line.size())) << "row " << row << ": " << line;
    }
  };
  rowsDrawnWhole();
  wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);  // the lines from before the bar
  ASSERT_EQ(wnd.ScrollLines(), wnd.LineCount() - kRows);
  rowsDrawnWhole();
}

// A connect dialog's log: its own font set after creation, texts sent
// synchronously from the connect thread.
TEST_F(OutWndView, FontSetAfterCreationAndTextsSentFromAnotherThread) {
  AddLines(1, 3);
  Tick(wnd, COutWnd::kRefreshTimer);
  Settle();
  QFont font(QStringLiteral("Arial"));  // another face stands in where it is missing
  font.setPixelSize(24);
  wnd.SetLogFont(font);
  EXPECT_GE(wnd.LineHeight(), 24);
  EXPECT_TRUE(ScreenMatchesRepaint()) << "the window repaints itself in the new font";

  wnd.Reset();
  std::atomic<bool> sent{false};
  std::thread connectThread([&] {
    ConnectLogPrintf(&wnd, "Connecting...\n");
    ConnectLogPrintf(&wnd, "Connected.\n");
    sent = true;
  });
  // The sender waits until this thread has appended each text.
  ASSERT_TRUE(testsupport::SpinUntil([&] { return sent.load(); }));
  connectThread.join();
  ASSERT_EQ(wnd.LineCount(), 2);
  EXPECT_NE(wnd.Line(1).find("Connecting..."), std::string::npos);
  EXPECT_NE(wnd.Line(0).find("Connected."), std::string::npos);
  EXPECT_GE(wnd.LineHeight(), 24) << "a reset keeps the font";
  Tick(wnd, COutWnd::kRefreshTimer);
  const QImage shot = Shot(wnd);
  EXPECT_GT(InkColumns(wnd, shot, 0), 0);
  EXPECT_GT(InkColumns(wnd, shot, 1), 0);
  EXPECT_EQ(InkColumns(wnd, shot, 2), 0);
  EXPECT_TRUE(ScreenMatchesRepaint());
}

TEST_F(OutWndView, WheelAndKeysDoNotScroll) {
  AddLines(1, 30);
  Tick(wnd, COutWnd::kRefreshTimer);
  QWheelEvent wheel(QPointF(10, 10), wnd.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(wnd.viewport(), &wheel);
  QTest::keyClick(&wnd, Qt::Key_PageUp);
  EXPECT_EQ(wnd.ScrollLines(), 0);
}

}  // namespace
