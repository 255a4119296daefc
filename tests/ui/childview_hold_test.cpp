// The station list as a user handles it: rows that hold still under the
// pointer and after a click, the sort indicator, and the keyboard.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Pointer input goes through the window, so moves make enter/leave events.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "tests/ui/childview_support.h"
#include "tests/ui/mainframe_fixture.h"

using childviewtest::Ap;
using childviewtest::OneAdapter;
using testing::ElementsAre;

namespace {

// Stations A, B, C by falling signal; `reversed` turns the signals round and
// `withD` adds D, the strongest.
wlansim::World Abc(bool reversed, bool withD = false) {
  std::vector<wlansim::AccessPoint> stations;
  for (int i = 0; i < 3; ++i)
    stations.push_back(Ap(static_cast<UCHAR>(i + 1), std::string(1, 'A' + i), reversed ? -80 + 10 * i : -50 - 10 * i));
  if (withD) stations.push_back(Ap(4, "D", -40));
  return OneAdapter(stations);
}

// Runs `work` at the first mouse release: between a double-click's presses.
struct COnFirstRelease : QObject {
  std::function<void()> work;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease && work) std::exchange(work, nullptr)();
    return false;
  }
};

class ChildViewHoldTest : public childviewtest::ChildViewTest {
 protected:
  void ShowWith(const wlansim::World& world) {
    Start(world);
    m_view->SetHoldClock([this] { return m_ms; });
    m_frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    Settle();
    QCoreApplication::processEvents();  // the table lays out new rows
    // A connection attempt runs the connect dialog modally: cancel it.
    QObject::connect(&m_rejecter, &QTimer::timeout, [this] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ++m_nDialogs;
        dialog->reject();
        m_frame->activateWindow();  // offscreen gives the activation back to no one
      }
    });
    m_rejecter.start(5);
  }
  QWidget* Viewport() const { return m_view->GetList()->viewport(); }
  QPoint CentreOfRow(int row) const { return m_view->GetList()->visualRect(Model().index(row, 1)).center(); }
  // Over from the status panel, as a hand moves it (a single move straight
  // onto a row of a newly shown window did not always make an enter).
  void PointAtRow(int row) {
    PointAway();
    QTest::mouseMove(Viewport(), CentreOfRow(row));
  }
  void PointAway() {
    QTest::mouseMove(m_view->GetStatusPanel(), m_view->GetStatusPanel()->rect().center());
    QCoreApplication::processEvents();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  std::vector<std::string> ConnectLines() {
    std::vector<std::string> lines = m_log.Take();
    std::erase_if(lines, [](const std::string& line) { return line.rfind("Connecting to ", 0) != 0; });
    return lines;
  }

  std::int64_t m_ms = 5'000'000;
  QTimer m_rejecter;
  int m_nDialogs = 0;
};

TEST_F(ChildViewHoldTest, RowsHoldUnderThePointerAndForASecondAfterAClick) {
  ShowWith(Abc(false));
  const std::string before = Text(0, 5);
  PointAtRow(0);
  // Signals turn round and D appears: values change in place, D comes last.
  wlantest::UseWorld(Abc(true, true));
  Settle();
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C", "D"));
  EXPECT_NE(Text(0, 5), before);
  EXPECT_EQ(Text(0, 5), StationOf(1)->GetLinkQualityText());
  PointAway();  // leaving sorts in full at once
  EXPECT_THAT(ColumnTexts(1), ElementsAre("D", "C", "B", "A"));
  ExpectIndexConsistent();

  // A click holds them for a second after the pointer has left.
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(1));
  PointAway();
  wlantest::UseWorld(Abc(false, true));
  Settle();
  m_ms += CChildView::kHoldAfterPressMs - 1;
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("D", "C", "B", "A"));
  m_ms += 1;
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("D", "A", "B", "C"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(3));  // the clicked station
}

TEST_F(ChildViewHoldTest, DoubleClickWhileValuesChangeConnectsTheStationUnderThePointer) {
  ShowWith(Abc(false));
  m_log.Take();
  // Between the presses a refresh reverses the signals; a pass would then
  // put B on the row under the pointer.
  COnFirstRelease refresh;
  refresh.work = [&] {
    wlantest::UseWorld(Abc(true));
    Settle();
  };
  Viewport()->installEventFilter(&refresh);
  PointAtRow(0);
  QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(0));
  ASSERT_FALSE(refresh.work);
  EXPECT_THAT(ConnectLines(), ElementsAre("Connecting to A...\n"));
}

TEST_F(ChildViewHoldTest, SortIndicatorFollowsTheSortState) {
  ShowWith(Abc(false));
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(0));  // holds the rows
  QHeaderView* header = m_view->GetList()->horizontalHeader();
  auto indicator = [&] { return std::pair(header->sortIndicatorSection(), header->sortIndicatorOrder()); };
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(indicator(), std::pair(5, Qt::DescendingOrder));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
  EXPECT_EQ(indicator(), std::pair(1, Qt::AscendingOrder));
  EXPECT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C"));  // sorted at once, held or not
  m_view->SortByColumn(1);
  EXPECT_EQ(indicator(), std::pair(1, Qt::DescendingOrder));
  EXPECT_THAT(ColumnTexts(1), ElementsAre("C", "B", "A"));
}

TEST_F(ChildViewHoldTest, EnterConnectsMenuKeysOpenTheStationMenuAtTheRowTabLeaves) {
  // What the offscreen platform says about a popup menu.
  testsupport::ExpectQtWarning("This plugin does not support raise()");
  testsupport::ExpectQtWarning("This plugin does not support grabbing the keyboard");
  ShowWith(Abc(false));
  auto* edit = new QLineEdit(m_frame.get());  // the next control
  edit->show();
  QMenu menu("&Station");
  menu.addAction("&Connect");
  m_view->SetStationMenu(&menu);
  m_view->setFocus();  // as the main window does
  m_frame->activateWindow();
  m_log.Take();

  Key(Qt::Key_Return);  // nothing selected: nothing
  Key(Qt::Key_Menu);
  EXPECT_FALSE(menu.isVisible());
  m_view->SelectStation(StationOf(2));
  Key(Qt::Key_Return);
  m_view->SelectStation(StationOf(3));
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_THAT(ConnectLines(), ElementsAre("Connecting to B...\n", "Connecting to C...\n"));
  EXPECT_EQ(m_nDialogs, 2);

  // Below the selected row's first cell, not at the pointer (over row 0).
  PointAtRow(0);
  const QPoint below = Viewport()->mapToGlobal(m_view->GetList()->visualRect(Model().index(2, 0)).bottomLeft());
  for (auto [key, modifier] : {std::pair(Qt::Key_Menu, Qt::NoModifier), std::pair(Qt::Key_F10, Qt::ShiftModifier)}) {
    Key(key, modifier);
    ASSERT_TRUE(testsupport::SpinUntil([&] { return menu.isVisible(); })) << key;
    EXPECT_LE((menu.pos() - below).manhattanLength(), 2) << key;
    menu.close();
    m_frame->activateWindow();
  }

  const QModelIndex current = m_view->GetList()->currentIndex();
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), edit);
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), m_view->GetList());
  EXPECT_EQ(m_view->GetList()->currentIndex(), current);
}

TEST_F(MainFrameTest, StationListHasTheFocusWhenTheWindowOpens) {
  UseWorldFile("small.json");
  auto frame = MakeFrame();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  EXPECT_EQ(QApplication::focusWidget(), frame->findChild<QTableView*>("stationList"));
}

}  // namespace
