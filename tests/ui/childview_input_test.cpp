// Station list input and messages: settings changes restart the scan
// timers, double-click and right-click over rows and over empty space, the
// selection posted to the main window, selecting without scrolling.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Mouse input goes through the window, as the window system delivers it, so
// that a right-click makes a context-menu event and two presses a double-click.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include "settings/Settings.h"
#include "tests/ui/childview_support.h"

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using childviewtest::OpenProfile;

namespace {

class ChildViewInputTest : public ChildViewTest {
 protected:
  void SetUp() override {
    m_active = CSettings::m_nActiveScanInterval;
    m_passive = CSettings::m_nPassiveScanInterval;
  }
  void TearDown() override {
    CSettings::m_nActiveScanInterval = m_active;
    CSettings::m_nPassiveScanInterval = m_passive;
    ChildViewTest::TearDown();
  }
  // Shows the frame with the rows of a settled list.
  void ShowWith(const wlansim::World& world) {
    Start(world);
    m_frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    Settle();
    // The table lays out inserted rows on its next turn of the event loop.
    QCoreApplication::processEvents();
  }
  QWidget* Viewport() const { return m_view->GetList()->viewport(); }
  QPoint CentreOfRow(int row) const {
    return m_view->GetList()->visualRect(Model().index(row, 1)).center();
  }
  QPoint EmptySpace() const { return QPoint(20, Viewport()->height() - 5); }
  static int Period(int timer, const CChildView& view) { return view.GetTimer(timer)->interval(); }

  int m_active = 0, m_passive = 0;
};

TEST_F(ChildViewInputTest, SettingsChangedRestartsBothScanTimersWithTheCurrentIntervals) {
  CSettings::m_nActiveScanInterval = 10000;
  CSettings::m_nPassiveScanInterval = 100;
  wlantest::UseWorld(OneAdapter({}));
  CChildView view;
  EXPECT_EQ(Period(1, view), 10000);
  EXPECT_EQ(Period(2, view), 100);
  EXPECT_EQ(Period(3, view), 1000);
  EXPECT_EQ(Period(4, view), 20);
  for (int timer = 1; timer <= 4; ++timer) EXPECT_TRUE(view.GetTimer(timer)->isActive()) << timer;

  // Changed values take effect only with the message.
  CSettings::m_nActiveScanInterval = 5000;
  CSettings::m_nPassiveScanInterval = 250;
  EXPECT_EQ(Period(2, view), 100);
  EXPECT_EQ(SendMessage(view.GetSafeHwnd(), WM_SETTINGS_CHANGED, 0, 0), 1);
  EXPECT_EQ(Period(1, view), 5000);
  EXPECT_EQ(Period(2, view), 250);
  EXPECT_EQ(Period(3, view), 1000);
  EXPECT_EQ(Period(4, view), 20);
  EXPECT_TRUE(view.GetTimer(1)->isActive());
  EXPECT_TRUE(view.GetTimer(2)->isActive());

  // A value no timer can run at (zero, negative) falls back to the default
  // instead of spinning the event loop.
  CSettings::m_nActiveScanInterval = -1;
  CSettings::m_nPassiveScanInterval = 0;
  view.WindowProc(WM_SETTINGS_CHANGED, 0, 0);
  EXPECT_EQ(Period(1, view), CSettings::kDefaultActiveScanInterval);
  EXPECT_EQ(Period(2, view), CSettings::kDefaultPassiveScanInterval);

  EXPECT_EQ(SendMessage(view.GetSafeHwnd(), WM_WLAN_NOTIFY, 0, 0), 1);
  EXPECT_EQ(view.WindowProc(WM_USER + 77, 0, 0), 0);
}

TEST_F(ChildViewInputTest, DoubleClickOnARowConnectsAndOnEmptySpaceDoesNothing) {
  ShowWith(OneAdapter({Ap(1, "Harbour", -50), Ap(2, "Mill", -70)}));
  m_log.Take();
  // Each connection attempt runs the modal connect dialog; cancel each one
  // as soon as it shows.
  int dialogs = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog && dialog->objectName() == "connectDialog" && dialog->isVisible()) {
        ++dialogs;
        dialog->reject();
      }
    }
  });
  closer.start(10);

  QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, EmptySpace());
  EXPECT_TRUE(m_log.Take().empty());

  QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(1));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(2));
  // The monitor's lines of the attempt come too, whenever the service sends them.
  auto connecting = [](const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const auto& line : lines)
      if (line.rfind("Connecting to", 0) == 0) kept.push_back(line);
    return kept;
  };
  EXPECT_EQ(connecting(m_log.Take()), std::vector<std::string>{"Connecting to Mill...\n"});

  // The frame's Connect command goes the same way; no station, no adapter:
  // nothing.
  m_view->ConnectToStation(StationOf(1), m_view);
  m_view->ConnectToStation(nullptr, m_view);
  EXPECT_EQ(connecting(m_log.Take()), std::vector<std::string>{"Connecting to Harbour...\n"});
  EXPECT_EQ(dialogs, 2);
}

TEST_F(ChildViewInputTest, RightClickOverARowShowsTheStationMenuAndOnEmptySpaceNothing) {
  // What the offscreen platform says about a popup menu.
  testsupport::ExpectQtWarning("This plugin does not support raise()");
  testsupport::ExpectQtWarning("This plugin does not support grabbing the keyboard");
  ShowWith(OneAdapter({Ap(1, "Harbour", -50), Ap(2, "Mill", -70)}));
  QMenu menu("&Station");
  menu.addAction("&Connect");
  m_view->SetStationMenu(&menu);

  QTest::mouseClick(Viewport(), Qt::RightButton, Qt::NoModifier, EmptySpace());
  QCoreApplication::processEvents();
  EXPECT_FALSE(menu.isVisible());

  QTest::mouseClick(Viewport(), Qt::RightButton, Qt::NoModifier, CentreOfRow(1));
  ASSERT_TRUE(testsupport::SpinUntil([&] { return menu.isVisible(); }));
  // The menu opens at the click and the clicked row is the selected one, so
  // the menu's commands apply to it.
  EXPECT_LE((menu.pos() - Viewport()->mapToGlobal(CentreOfRow(1))).manhattanLength(), 2);
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(2));
  menu.close();

  // Without a menu nothing happens either.
  m_view->SetStationMenu(nullptr);
  QTest::mouseClick(Viewport(), Qt::RightButton, Qt::NoModifier, CentreOfRow(0));
  QCoreApplication::processEvents();
  EXPECT_FALSE(menu.isVisible());
}

TEST_F(ChildViewInputTest, SelectionChangesArePostedToTheMainWindow) {
  ShowWith(OneAdapter({Ap(1, "Home", -50), Ap(2, "Other", -70)}, {OpenProfile("Home", true, false)}, true));
  // The connected station was selected when its row came.
  ASSERT_TRUE(testsupport::SpinUntil([&] { return m_frame->selected.size() == 1; }));
  EXPECT_EQ(m_frame->selected[0], StationOf(1));

  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(RowOf(2)));
  ASSERT_TRUE(testsupport::SpinUntil([&] { return m_frame->selected.size() == 2; }));
  EXPECT_EQ(m_frame->selected[1], StationOf(2));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(2));

  m_view->GetList()->selectionModel()->clearSelection();
  ASSERT_TRUE(testsupport::SpinUntil([&] { return m_frame->selected.size() == 3; }));
  EXPECT_EQ(m_frame->selected[2], nullptr);

  // Refreshes that change no selection post nothing.
  Settle();
  m_view->UpdateSeenTimes();
  QCoreApplication::processEvents();
  EXPECT_EQ(m_frame->selected.size(), 3u);
}

TEST_F(ChildViewInputTest, SelectingAStationDoesNotScroll) {
  std::vector<wlansim::AccessPoint> stations;
  for (int i = 0; i < 60; ++i) stations.push_back(Ap(static_cast<UCHAR>(i + 1), "Net " + std::to_string(i), -40 - i));
  ShowWith(OneAdapter(stations));
  ASSERT_EQ(Model().RowCount(), 60);
  QScrollBar* bar = m_view->GetList()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);  // the rows do not fit
  bar->setValue(0);
  CStation* last = Model().StationAt(59);
  m_view->SelectStation(last);
  QCoreApplication::processEvents();
  EXPECT_EQ(m_view->GetSelectedStation(), last);
  EXPECT_EQ(m_view->GetList()->currentIndex().row(), 59);
  EXPECT_EQ(bar->value(), 0);
}

}  // namespace
