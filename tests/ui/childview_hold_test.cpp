// The station list as a user handles it: rows that hold still under the
// pointer and after a click, the sort indicator, and the keyboard (initial
// focus, Enter, the menu keys, Tab).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Pointer input goes through the window, as the window system delivers it,
// so that moving over the list and away from it makes enter and leave events.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "tests/ui/childview_support.h"
#include "tests/ui/mainframe_fixture.h"

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using testing::ElementsAre;

namespace {

// Rejects every modal dialog once it shows, so that a connection attempt
// (which runs the connect dialog modally) comes back to the test.
class CModalRejecter {
 public:
  CModalRejecter() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ++m_nRejected;
        dialog->reject();
      }
    });
    m_timer.start(5);
  }
  int Rejected() const { return m_nRejected; }

 private:
  QTimer m_timer;
  int m_nRejected = 0;
};

// Runs `work` on the first mouse release that reaches the watched object.
class COnFirstRelease : public QObject {
 public:
  explicit COnFirstRelease(std::function<void()> work) : m_work(std::move(work)) {}
  bool Ran() const { return m_bRan; }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease && !m_bRan) {
      m_bRan = true;
      m_work();
    }
    return false;
  }

 private:
  std::function<void()> m_work;
  bool m_bRan = false;
};

std::vector<std::string> ConnectLines(const std::vector<std::string>& lines) {
  std::vector<std::string> found;
  for (const std::string& line : lines)
    if (line.rfind("Connecting to ", 0) == 0) found.push_back(line);
  return found;
}

// Stations A, B, C by falling signal; `reversed` turns the signals round and
// `withD` adds D, the strongest of all.
wlansim::World Abc(bool reversed, bool withD = false) {
  std::vector<wlansim::AccessPoint> stations;
  const char* names[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i)
    stations.push_back(Ap(static_cast<UCHAR>(i + 1), names[i], reversed ? -80 + 10 * i : -50 - 10 * i));
  if (withD) stations.push_back(Ap(4, "D", -40));
  return OneAdapter(stations);
}

class ChildViewHoldTest : public ChildViewTest {
 protected:
  void ShowWith(const wlansim::World& world) {
    Start(world);
    m_view->SetHoldClock([this] { return m_ms; });
    m_frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    Settle();
    QCoreApplication::processEvents();  // the table lays out new rows
  }
  QWidget* Viewport() const { return m_view->GetList()->viewport(); }
  QPoint CentreOfRow(int row) const { return m_view->GetList()->visualRect(Model().index(row, 1)).center(); }
  // The pointer comes from the status panel onto the row, as a hand moves
  // it. (A single move straight onto a row of a newly shown window did not
  // always reach the rows as an enter, depending on the tests run before.)
  void PointAtRow(int row) {
    PointAway();
    QTest::mouseMove(Viewport(), CentreOfRow(row));
  }
  // The pointer onto the status panel, away from the list.
  void PointAway() {
    QTest::mouseMove(m_view->GetStatusPanel(), m_view->GetStatusPanel()->rect().center());
    QCoreApplication::processEvents();
  }
  // Every row's Link Quality text is its own station's.
  void ExpectLinkQualityCurrent() const {
    for (int row = 0; row < Model().RowCount(); ++row)
      EXPECT_EQ(Text(row, 5), Model().StationAt(row)->GetLinkQualityText()) << "row " << row;
  }

  std::int64_t m_ms = 5'000'000;
};

TEST_F(ChildViewHoldTest, PointerOverTheListHoldsTheRowsAndLeavingSortsThem) {
  ShowWith(Abc(false));
  ASSERT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C"));
  const std::string before = Text(0, 5);
  PointAtRow(0);

  // The signals turn round and D appears: values change in place, the rows
  // keep their stations, D comes last.
  wlantest::UseWorld(Abc(true, true));
  Settle();
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C", "D"));
  EXPECT_NE(Text(0, 5), before);
  ExpectLinkQualityCurrent();
  ExpectIndexConsistent();

  // Leaving sorts at once, in full, without waiting for a timer.
  PointAway();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("D", "C", "B", "A"));
  ExpectLinkQualityCurrent();
  ExpectIndexConsistent();
}

TEST_F(ChildViewHoldTest, AClickHoldsTheRowsForASecondAfterThePointerLeaves) {
  ShowWith(Abc(false));
  m_view->SelectStation(StationOf(3));
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(1));
  ASSERT_EQ(m_view->GetSelectedStation(), StationOf(2));
  PointAway();

  wlantest::UseWorld(Abc(true));
  Settle();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C"));
  m_ms += CChildView::kHoldAfterPressMs - 1;
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C"));
  ExpectLinkQualityCurrent();

  m_ms += 1;  // the second is over: the next tick sorts in full
  m_view->UpdateSeenTimes();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("C", "B", "A"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(2));
  // Passes run again as before.
  wlantest::UseWorld(Abc(false));
  Settle();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("B", "A", "C"));
}

TEST_F(ChildViewHoldTest, DoubleClickWhileValuesChangeConnectsTheStationUnderThePointer) {
  ShowWith(Abc(false));
  m_log.Take();
  CModalRejecter rejecter;
  // Between the two presses of the double-click a refresh brings reversed
  // signals, which without the hold would put B on the row under the pointer.
  COnFirstRelease refresh([&] {
    wlantest::UseWorld(Abc(true));
    Settle();
  });
  Viewport()->installEventFilter(&refresh);
  PointAtRow(0);
  QTest::mouseDClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(0));
  Viewport()->removeEventFilter(&refresh);
  ASSERT_TRUE(refresh.Ran());
  EXPECT_THAT(ConnectLines(m_log.Take()), ElementsAre("Connecting to A...\n"));
  EXPECT_EQ(rejecter.Rejected(), 1);
}

class ChildViewKeyboardTest : public ChildViewHoldTest {
 protected:
  // The frame shown and active, with a line edit after the view in the focus
  // chain, and the focus given to the view as the main window does.
  void ShowFocused(const wlansim::World& world) {
    ShowWith(world);
    m_edit = new QLineEdit(m_frame.get());
    m_edit->setGeometry(900, 5, 90, 24);
    m_edit->show();
    m_view->setFocus();
    Reactivate();
  }
  // The offscreen platform gives no window the activation back when a
  // dialog or a menu closes, as a desktop does; the frame takes it again and
  // its focus widget with it.
  void Reactivate() {
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();  // where the keyboard goes
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
  }
  QPoint BelowFirstCell(int row) const {
    return Viewport()->mapToGlobal(m_view->GetList()->visualRect(Model().index(row, 0)).bottomLeft());
  }

  QLineEdit* m_edit = nullptr;
};

TEST_F(ChildViewKeyboardTest, EnterConnectsTheSelectedStationAndTabLeavesTheList) {
  ShowFocused(Abc(false));
  EXPECT_EQ(QApplication::focusWidget(), m_view->GetList());
  m_log.Take();
  CModalRejecter rejecter;

  Key(Qt::Key_Return);  // nothing selected: nothing
  m_view->SelectStation(StationOf(2));
  Key(Qt::Key_Return);
  Reactivate();
  m_view->SelectStation(StationOf(3));
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  Reactivate();
  EXPECT_THAT(ConnectLines(m_log.Take()), ElementsAre("Connecting to B...\n", "Connecting to C...\n"));
  EXPECT_EQ(rejecter.Rejected(), 2);

  // Tab goes on to the next control without moving the current cell; Shift+
  // Tab comes back.
  const QModelIndex current = m_view->GetList()->currentIndex();
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), m_edit);
  EXPECT_EQ(m_view->GetList()->currentIndex(), current);
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), m_view->GetList());
  EXPECT_EQ(m_view->GetList()->currentIndex(), current);
}

TEST_F(ChildViewKeyboardTest, MenuKeyAndShiftF10OpenTheStationMenuBelowTheSelectedRow) {
  // What the offscreen platform says about a popup menu.
  testsupport::ExpectQtWarning("This plugin does not support raise()");
  testsupport::ExpectQtWarning("This plugin does not support grabbing the keyboard");
  ShowFocused(Abc(false));
  QMenu menu("&Station");
  menu.addAction("&Connect");
  m_view->SetStationMenu(&menu);
  PointAtRow(0);  // the pointer is elsewhere than the selected row

  Key(Qt::Key_Menu);  // nothing selected: no menu
  QCoreApplication::processEvents();
  EXPECT_FALSE(menu.isVisible());

  m_view->SelectStation(StationOf(2));
  for (const auto& [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers(Qt::NoModifier)},
                                       std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
    SCOPED_TRACE(key);
    Key(key, modifiers);
    ASSERT_TRUE(testsupport::SpinUntil([&] { return menu.isVisible(); }));
    EXPECT_LE((menu.pos() - BelowFirstCell(1)).manhattanLength(), 2);
    menu.close();
    Reactivate();
  }
}

TEST_F(ChildViewHoldTest, SortIndicatorFollowsTheSortState) {
  ShowWith(Abc(false));
  // A click on a row holds the rows for a second of the hold clock, which
  // stands still here.
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(0));
  QHeaderView* header = m_view->GetList()->horizontalHeader();
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), 5);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  auto click = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                             header->height() / 2));
  };
  click(5);
  EXPECT_EQ(header->sortIndicatorSection(), 5);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  click(1);
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  click(1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  // A heading click sorts at once, even while the rows are held.
  EXPECT_THAT(ColumnTexts(1), ElementsAre("C", "B", "A"));
  // The frame's way in, without the header's own click handling.
  m_view->SortByColumn(6);
  EXPECT_EQ(header->sortIndicatorSection(), 6);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

// The real main window: the list has the keyboard focus when it opens.
TEST_F(MainFrameTest, StationListHasTheFocusWhenTheWindowOpens) {
  UseWorldFile("small.json");
  auto frame = MakeFrame();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  EXPECT_EQ(QApplication::focusWidget(), frame->findChild<QTableView*>("stationList"));
}

}  // namespace
