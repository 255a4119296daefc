// The link-quality graph, read back from its painted pixels: the trace and
// its fill for known histories, the grid and its movement, the overlay, the
// graph as the station view places and drives it, and a station deleted
// while it is shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/ui/childview_support.h"
#include "ui/GraphWnd.h"
#include "ui/WIFIGraphWnd.h"

namespace {

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using childviewtest::OpenProfile;

// The colours as a viewer sees them.
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGrid = qRgb(8, 128, 16);
const QRgb kLine = qRgb(0, 255, 0);
const QRgb kFill = qRgb(0, 98, 0);
const QRgb kGridUnderFill = qRgb(8, 226, 16);  // (8,128,16) | (0,98,0)
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kOrange = qRgb(255, 165, 0);

std::unique_ptr<CStation> MakeStation(const std::vector<int>& history, CNativeWIFIDevice* device = nullptr) {
  const DOT11_MAC_ADDRESS bssid = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
  WLAN_RATE_SET rates{};
  auto station = std::make_unique<CStation>(device, nullptr, bssid, "Bench", 0, 50, -60, 0, 100, 2437000, 1, rates, 0);
  for (int value : history) station->AddLinkQualitySample(value);
  return station;
}

QImage Picture(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Pixels of exactly `colour` in the rectangle.
int Count(const QImage& image, const QRect& area, QRgb colour) {
  int count = 0;
  const QRect box = area.intersected(image.rect());
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) count += image.pixel(x, y) == colour;
  return count;
}

// A bare graph, 100 x 101 pixels: with rows 0..100, a quality of q% lies on
// row 100 - q.
class GraphPaintTest : public testing::Test {
 protected:
  GraphPaintTest() {
    m_graph.resize(100, 101);
    // Lines off the window unless a test asks for a grid.
    m_graph.SetGridSpacing(1000, 1000);
    m_graph.SetGridOffset(-1, -4);
  }
  CGraphWnd m_graph;
};

TEST_F(GraphPaintTest, FlatHistoryDrawsTheTraceAtItsRowAndFillsBelowIt) {
  const struct {
    const char* name;
    int quality;
    int row;
  } cases[] = {{"full", 100, 0}, {"none", 0, 100}, {"half", 50, 50}, {"above range", 130, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto station = MakeStation(std::vector<int>(300, c.quality));
    m_graph.SetStation(station.get());
    const QImage image = Picture(m_graph);
    for (int x : {0, 37, 99}) {
      SCOPED_TRACE(x);
      EXPECT_EQ(image.pixel(x, c.row), kLine);
      EXPECT_EQ(Count(image, QRect(x, 0, 1, c.row), kBlack), c.row);
      EXPECT_EQ(Count(image, QRect(x, c.row + 1, 1, 100 - c.row), kFill), 100 - c.row);
    }
    m_graph.SetStation(nullptr);
  }
}

TEST_F(GraphPaintTest, NewestSampleAtTheRightEdgeAndShortHistoryLeavesTheLeftEmpty) {
  std::vector<int> history(30, 20);
  history.back() = 90;
  auto station = MakeStation(history);
  m_graph.SetStation(station.get());
  const QImage image = Picture(m_graph);
  EXPECT_EQ(image.pixel(99, 10), kLine);  // newest
  EXPECT_EQ(image.pixel(98, 80), kLine);
  EXPECT_EQ(image.pixel(70, 80), kLine);  // oldest of 30
  EXPECT_EQ(Count(image, QRect(70, 81, 1, 20), kFill), 20);
  // The fill ends one column left of the oldest sample, at the bottom;
  // further left there is nothing but background.
  EXPECT_EQ(image.pixel(69, 100), kFill);
  EXPECT_EQ(Count(image, QRect(69, 0, 1, 81), kBlack), 81);
  EXPECT_EQ(Count(image, QRect(0, 0, 69, 101), kBlack), 69 * 101);
}

TEST_F(GraphPaintTest, OneSampleDrawsNoTrace) {
  auto station = MakeStation({60});
  m_graph.SetStation(station.get());
  m_graph.SetGridSpacing(10, 10);
  m_graph.SetGridOffset(0, 0);
  const QImage image = Picture(m_graph);
  EXPECT_EQ(Count(image, image.rect(), kLine) + Count(image, image.rect(), kFill), 0);
  EXPECT_EQ(image.pixel(10, 5), kGrid);
  EXPECT_EQ(image.pixel(5, 5), kBlack);
}

TEST_F(GraphPaintTest, SettingsThatWouldDivideByZeroOrNeverEndDrawWithoutThoseLines) {
  const struct {
    const char* name;
    int stepX, stepY, offsetX, offsetY, rate;
    int gridPixels;  // vertical lines at x = 0 and 50 with a 50-pixel step
  } cases[] = {{"no steps", 0, 0, 0, 0, 0, 0},
               {"negative steps", -20, -20, 0, 0, -5, 0},
               {"offset far to the left", 50, 0, -2'000'000'000, 0, 5000, 2 * 101}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_graph.SetRefreshRate(c.rate);
    m_graph.SetGridSpacing(c.stepX, c.stepY);
    m_graph.SetGridOffset(c.offsetX, c.offsetY);
    const QImage image = Picture(m_graph);
    EXPECT_EQ(Count(image, image.rect(), kGrid), c.gridPixels);
    EXPECT_EQ(Count(image, image.rect(), kBlack), 100 * 101 - c.gridPixels);
  }
}

TEST_F(GraphPaintTest, GridShowsThroughTheFillWhichLeavesTheTraceAlone) {
  m_graph.SetGridSpacing(10, 10);
  m_graph.SetGridOffset(0, 0);  // lines at x = 0, 10, ... and y = 0, 10, ...
  auto station = MakeStation(std::vector<int>(200, 45));  // row 55
  m_graph.SetStation(station.get());
  const QImage image = Picture(m_graph);
  EXPECT_EQ(image.pixel(20, 35), kGrid);  // above the trace
  EXPECT_EQ(image.pixel(35, 30), kGrid);
  EXPECT_EQ(image.pixel(20, 75), kGridUnderFill);  // below it
  EXPECT_EQ(image.pixel(35, 70), kGridUnderFill);
  EXPECT_EQ(image.pixel(35, 75), kFill);
  EXPECT_EQ(image.pixel(20, 55), kLine);  // the trace crossing a grid line
  EXPECT_EQ(image.pixel(35, 55), kLine);

  // The same on a screen of two device pixels per pixel.
  QImage scaled(200, 202, QImage::Format_RGB32);
  scaled.setDevicePixelRatio(2);
  m_graph.render(&scaled);
  EXPECT_EQ(scaled.pixel(40, 70), kGrid);
  EXPECT_EQ(scaled.pixel(40, 150), kGridUnderFill);
  EXPECT_EQ(scaled.pixel(71, 151), kFill);
  EXPECT_EQ(scaled.pixel(71, 110), kLine);
  EXPECT_EQ(scaled.pixel(71, 104), kBlack);
}

TEST_F(GraphPaintTest, VerticalGridMovesOnePixelLeftPerTimerEvent) {
  m_graph.SetGridSpacing(20, 20);
  m_graph.SetGridOffset(0, 0);
  m_graph.SetRefreshRate(1);  // one event a second
  // The timer only runs while the graph is on the screen.
  m_graph.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_graph));
  // x of the first vertical line (row 5 has no horizontal one).
  auto firstLine = [&] {
    const QImage image = Picture(m_graph);
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, 5) == kGrid) return x;
    return -1;
  };
  const int before = firstLine();
  ASSERT_GE(before, 0);
  int after = before;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (after = firstLine()) != before; }, 5000));
  EXPECT_EQ(after, (before + 19) % 20);
  const QImage image = Picture(m_graph);
  EXPECT_EQ(image.pixel(after + 20, 5), kGrid);
  EXPECT_EQ(image.pixel(5, 20), kGrid);  // horizontal lines stay
}

// Paint events reaching the graph.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

// Hidden or minimised, the graph's timer paints nothing; shown or restored,
// it scrolls again.
TEST_F(GraphPaintTest, NoPaintingWhileOffTheScreen) {
  m_graph.SetRefreshRate(50);
  PaintCounter counter;
  m_graph.installEventFilter(&counter);
  m_graph.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_graph));
  ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 3; }, 5000));

  const struct {
    const char* name;
    void (QWidget::*leave)();
    void (QWidget::*back)();
  } cases[] = {{"hidden", &QWidget::hide, &QWidget::show}, {"minimised", &QWidget::showMinimized, &QWidget::showNormal}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    (m_graph.*c.leave)();
    QTest::qWait(100);  // lets a pending paint through
    counter.paints = 0;
    QTest::qWait(300);  // 15 timer periods
    EXPECT_EQ(counter.paints, 0);
    (m_graph.*c.back)();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 3; }, 5000));
  }
}

// The title, kept as a layer between frames, lands on the screen as the
// painter draws it straight onto the graph, over the background and over
// grid lines.
TEST(GraphOverlay, KeptTitleIsThePaintersText) {
  const struct {
    const char* name;
    int step, offset;  // step 1: a grid line on every pixel
    QRgb beneath;
  } cases[] = {{"on the background", 1000, -4, kBlack}, {"on grid lines", 1, 0, kGrid}};
  auto station = MakeStation({});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CWIFIGraphWnd graph;
    graph.resize(500, 60);
    graph.SetGridSpacing(c.step, c.step);
    graph.SetGridOffset(c.offset, c.offset);
    graph.SetStation(station.get());
    QImage expected(500, 60, QImage::Format_RGB32);
    expected.fill(c.beneath);
    {
      QPainter painter(&expected);
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setStyleHint(QFont::SansSerif);
      font.setPixelSize(11);
      painter.setFont(font);
      painter.setPen(QColor(kYellow));
      painter.setBackgroundMode(Qt::OpaqueMode);
      painter.setBackground(QColor(kBlack));
      painter.drawText(QRect(QPoint(5, 5), QPoint(249, 59)), Qt::AlignLeft | Qt::AlignTop,
                       QStringLiteral("Viewing Link Quality for station: Bench (02:00:00:00:00:01)"));
    }
    for (int frame = 0; frame < 2; ++frame) EXPECT_EQ(Picture(graph), expected) << frame;
  }
}

// A graph whose grid the test moves as a timer event does, one scroll step
// at a time: the real timer's ticks cannot be timed against the samples.
class SteppedGraph : public CWIFIGraphWnd {
 public:
  void Tick() {
    m_nScroll = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nScroll) + 1u);
    update();
  }
  void SetScroll(std::int32_t scroll) { m_nScroll = scroll; }
};

// Between frames the graph only draws what has moved in; frame after frame
// it must show what a graph painting everything anew shows, through samples
// arriving in step with the grid or not, station changes, resizes, a cleared
// or replaced history, a short history growing past the width, and the
// scroll count wrapping.
TEST(GraphScrolling, EveryFrameMatchesTheWholeRedraw) {
  auto first = MakeStation({70, 20, 90});
  auto second = MakeStation(std::vector<int>(4990, 50));  // soon full: the oldest samples drop out
  SteppedGraph kept, whole;
  for (SteppedGraph* graph : {&kept, &whole}) {
    graph->resize(160, 90);
    graph->SetRefreshRate(50);
    graph->SetGridSpacing(20, 20);
    graph->SetGridOffset(0, 0);
    graph->SetStation(first.get());
    graph->SetScroll(-400);  // wraps past 2^32 on the way
  }
  std::mt19937 random(20261209);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  auto sample = [&] {
    const int kind = static_cast<int>(random() % 4);
    return kind == 0 ? 0 : kind == 1 ? 100 : static_cast<int>(random() % 101);
  };
  CStation* shown = first.get();
  for (int frame = 0; frame < 2500; ++frame) {
    if (chance(1)) {
      CStation* next[] = {first.get(), second.get(), nullptr};
      shown = next[random() % 3];
      for (SteppedGraph* graph : {&kept, &whole}) graph->SetStation(shown);
    }
    if (chance(1)) {
      const QSize sizes[] = {{160, 90}, {203, 71}, {97, 120}};
      const QSize size = sizes[random() % 3];
      for (SteppedGraph* graph : {&kept, &whole}) graph->resize(size);
    }
    if (shown && chance(1)) {
      if (chance(50)) {
        shown->m_lstLinkQuality.clear();
      } else {  // as many samples seen as the one it replaces, other values
        CLinkQualityHistory other;
        for (std::uint64_t i = 0; i < shown->m_lstLinkQuality.appended(); ++i) other.push_back(sample());
        shown->m_lstLinkQuality = std::move(other);
      }
    }
    // Mostly one or two samples per grid step, as on screen; now and then
    // the two apart.
    int samples = 1, ticks = 1;
    if (const int kind = static_cast<int>(random() % 20); kind < 3) {
      samples = ticks = 2;
    } else if (kind < 5) {
      samples = ticks = 0;
    } else if (kind < 8) {
      samples = static_cast<int>(random() % 4);
      ticks = static_cast<int>(random() % 3);
    }
    for (int i = 0; i < samples && shown; ++i) shown->AddLinkQualitySample(sample());
    for (int i = 0; i < ticks; ++i)
      for (SteppedGraph* graph : {&kept, &whole}) graph->Tick();

    whole.SetGridOffset(0, 0);  // a setting call: the next paint draws everything
    const QImage expected = Picture(whole);
    const QImage actual = Picture(kept);
    if (actual == expected) continue;
    ASSERT_EQ(actual.size(), expected.size()) << "frame " << frame;
    for (int y = 0; y < actual.height(); ++y)
      for (int x = 0; x < actual.width(); ++x)
        ASSERT_EQ(actual.pixel(x, y), expected.pixel(x, y)) << "frame " << frame << " at " << x << ", " << y;
    FAIL() << "frame " << frame << ": the pictures differ beyond their pixels";
  }
}

TEST_F(ChildViewTest, GraphOverTheViewShowsTheSelectedStationAndFollowsTheSelection) {
  // An SSID long enough to push the title past half the graph's width.
  const std::string ssid(32, 'W');
  Start(OneAdapter({Ap(1, ssid, -50), Ap(2, "Other", -70)}, {OpenProfile(ssid, true, false)}, true));
  Settle();
  m_frame->show();
  ASSERT_EQ(m_view->GetSelectedStation(), StationOf(1));
  CWIFIGraphWnd* graph = m_view->GetGraph();
  ASSERT_EQ(graph->geometry(), QRect(210, 5, 785, 200));
  const int half = 785 / 2;

  QImage image = Picture(*graph);
  // The owner's grid: 20 pixels apart. The vertical lines scroll left one
  // pixel per timer event, and a loaded machine may let one pass before the
  // picture, so their phase is read from the picture.
  int phase = 0;
  while (phase < 20 && image.pixel(phase, 150) != kGrid) ++phase;
  ASSERT_LT(phase, 20);
  for (int x : {0, 20, 400, 760}) EXPECT_EQ(image.pixel(phase + x, 150), kGrid) << x;
  for (int y : {100, 180}) EXPECT_EQ(image.pixel(500, y), kGrid) << y;
  EXPECT_EQ(image.pixel(phase + 10, 150), kBlack);

  // Title in yellow up to half the width, then cut; labels in yellow end
  // before x = 56, values in orange begin at x = 60.
  EXPECT_GT(Count(image, QRect(5, 0, half - 5, 18), kYellow), 0);
  EXPECT_GT(Count(image, QRect(half - 20, 0, 20, 18), kYellow), 0);
  EXPECT_EQ(Count(image, QRect(half, 0, 785 - half, 18), kYellow), 0);
  EXPECT_GT(Count(image, QRect(0, 18, 56, 60), kYellow), 0);
  EXPECT_EQ(Count(image, QRect(56, 18, 729, 60), kYellow), 0);
  EXPECT_EQ(Count(image, QRect(0, 18, 60, 60), kOrange), 0);
  EXPECT_GT(Count(image, QRect(60, 18, 725, 60), kOrange), 0);

  // "Connected to <ssid> (<bssid>)" reaches much further right than the
  // state text that replaces it once the adapter has disconnected.
  auto rightmostOrange = [&](const QImage& picture) {
    for (int x = 784; x >= 0; --x)
      if (Count(picture, QRect(x, 18, 1, 60), kOrange) > 0) return x;
    return -1;
  };
  const int connectedExtent = rightmostOrange(image);
  EXPECT_GT(connectedExtent, 300);
  ASSERT_EQ(Device()->Disconnect(), 0);
  wlansim::AdvanceClock(5000);
  ASSERT_TRUE(wlansim::WaitForIdle());
  ASSERT_FALSE(wlansim::CurrentBssid(wlantest::TestGuid(1)).has_value());
  image = Picture(*graph);
  EXPECT_LT(rightmostOrange(image), 250);
  EXPECT_GT(rightmostOrange(image), 60);

  // No selection: the prompt alone, in yellow, no value rows.
  m_view->GetList()->clearSelection();
  image = Picture(*graph);
  EXPECT_GT(Count(image, QRect(5, 0, 200, 18), kYellow), 0);
  EXPECT_EQ(Count(image, image.rect(), kOrange), 0);
}

TEST(GraphStationLifetime, StationDeletedWhileShownLeavesAnEmptyGraph) {
  wlantest::UseWorld(OneAdapter({Ap(1, "Home", -50)}));
  auto client = std::make_unique<CNativeWIFIInterface>(nullptr);
  client->Initialize();
  ASSERT_EQ(client->GetDeviceCount(), 1);
  CNativeWIFIDevice* device = client->GetDevice(0);
  device->StartRefresh();
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !device->IsRefreshRunning(); }));
  CStation* station = device->FindStation(childviewtest::MacOf(1).data());
  ASSERT_NE(station, nullptr);
  CWIFIGraphWnd graph;
  graph.resize(300, 120);
  graph.SetStation(station);
  for (int i = 0; i < 400; ++i) station->AddLinkQualitySample(20);  // below the overlay
  QImage image = Picture(graph);
  ASSERT_GT(Count(image, image.rect(), kLine), 250);
  ASSERT_GT(Count(image, image.rect(), kOrange), 0);

  // The client deletes its monitors and with them their stations.
  client.reset();
  EXPECT_EQ(graph.GetStation(), nullptr);
  image = Picture(graph);
  EXPECT_EQ(Count(image, image.rect(), kLine), 0);
  EXPECT_EQ(Count(image, image.rect(), kOrange), 0);
  EXPECT_GT(Count(image, QRect(5, 0, 145, 18), kYellow), 0);  // the prompt
  wlansim::ResetToDefault();
}

}  // namespace
