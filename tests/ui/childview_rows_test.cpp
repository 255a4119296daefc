// Station list rows: creation, the texts of every column, where new rows go
// and which one is selected, missing stations, the seen-time texts, sampling.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "tests/ui/childview_support.h"
#include "ui/StationColumns.h"

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using childviewtest::OpenProfile;
using testing::ElementsAre;

namespace {

TEST(ChildViewFormatElapsed, PiecesAppearFromTheFirstNonZeroOneOn) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {-5, "Now"},         {0, "Now"},         {1, "1"},          {7, "7"},
      {59, "59"},          {60, "1:00"},       {61, "1:01"},      {65, "1:05"},
      {599, "9:59"},       {3599, "59:59"},    {3600, "1:00:00"}, {3725, "1:02:05"},
      {36000, "10:00:00"}, {86399, "23:59:59"}, {86400, "1 Days 0:00:00"}, {90061, "1 Days 1:01:01"},
      {2 * 86400 + 59, "2 Days 0:00:59"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(stationlist::FormatElapsed(seconds), text) << seconds;
}

TEST_F(ChildViewTest, CreationLogsTwoLinesAndPlacesTheChildren) {
  wlantest::UseWorld(OneAdapter({}));
  CChildView view;
  EXPECT_EQ(m_log.Take(), (std::vector<std::string>{"Initializing...\n", "\n"}));
  view.resize(800, 500);
  view.show();
  const QWidget* panel = view.findChild<QWidget*>("statusPanel");
  const QWidget* graph = view.findChild<QWidget*>("graph");
  ASSERT_TRUE(panel && graph);
  EXPECT_EQ(panel, view.GetStatusPanel());
  EXPECT_EQ(graph, view.GetGraph());
  EXPECT_EQ(panel->geometry(), QRect(5, 5, 200, 200));
  EXPECT_EQ(graph->geometry(), QRect(210, 5, 585, 200));
  EXPECT_EQ(view.GetList()->geometry(), QRect(0, 210, 800, 290));
  EXPECT_EQ(view.GetSortState(), 0x80000005u);

  // The sixteen headings, widths and selection behaviour of the list.
  const char* headings[] = {"MAC Address",  "ESSID",         "Status",         "Channel",
                            "Security",     "Link Quality",  "RSSI",           "Priority",
                            "Auto Connect", "Auto Upgrade ", "Network Type",   "Beacon Period",
                            "Infrastructure", "Data Rates (Mbps)", "First Seen", "Last Seen"};
  const int widths[] = {110, 200, 100, 55, 60, 60, 50, 60, 60, 50, 110, 70, 100, 200, 100, 100};
  const bool right[] = {false, false, false, true, false, true, true, false,
                        true,  true,  false, true, false, false, true, true};
  QTableView* list = view.GetList();
  ASSERT_EQ(list->model()->columnCount(), 22);
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headings[c]);
    // At least the given width, and never narrower than the heading's text.
    EXPECT_GE(list->horizontalHeader()->sectionSize(c), widths[c]) << c;
    EXPECT_GT(list->horizontalHeader()->sectionSize(c),
              list->horizontalHeader()->fontMetrics().horizontalAdvance(QString::fromLatin1(headings[c])))
        << c;
    const auto align = list->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ((align & Qt::AlignRight) != 0, right[c]) << c;
  }
  // The radio's details follow, each heading with a tool tip.
  const char* details[] = {"Band", "Width", "Standard", "Authentication", "PMF", "Vendor"};
  for (int c = 16; c < 22; ++c) {
    EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString().toStdString(), details[c - 16]);
    EXPECT_FALSE(list->model()->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty()) << c;
    EXPECT_FALSE(list->horizontalHeader()->isSectionHidden(c)) << c;
  }
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_TRUE(list->horizontalHeader()->sectionsMovable());
  EXPECT_TRUE(list->horizontalHeader()->isSortIndicatorShown());

  // Without a client every periodic task does nothing.
  view.ScanAll();
  view.RefreshList();
  view.UpdateSeenTimes();
  view.SampleLinkQuality();
  EXPECT_EQ(view.GetModel()->RowCount(), 0);
}

TEST_F(ChildViewTest, RowTextsOfEveryColumn) {
  wlansim::AccessPoint home = Ap(1, "Home", -50);
  home.rates = {0x82, 0x84, 0x0B, 0x16};
  home.beaconPeriod = 102;
  wlansim::AccessPoint peer = Ap(2, "Kite", -75);
  peer.bssType = dot11_BSS_type_independent;
  peer.frequencyKHz = 5180000;
  peer.phyType = dot11_phy_type_ofdm;
  peer.rates = {0x8C, 0x12, 0x6C};
  peer.authAlgorithm = DOT11_AUTH_ALGO_80211_SHARED_KEY;
  peer.cipher = DOT11_CIPHER_ALGO_WEP104;
  peer.securityEnabled = true;
  Start(OneAdapter({home, peer}, {OpenProfile("Other", true, false), OpenProfile("Home", true, true)}, true));
  Settle();
  ASSERT_EQ(Model().RowCount(), 2);
  ExpectIndexConsistent();

  CStation* a = StationOf(1);
  const std::int64_t first = a->m_tFirstSeen;
  m_now = first + 3725;
  m_view->UpdateSeenTimes();
  const int row = RowOf(1);
  const int rssi = a->m_lRssi.load();
  EXPECT_GE(rssi, -52);
  EXPECT_LE(rssi, -48);
  const std::vector<std::string> expected = {"02:A7:1E:00:00:01",
                                             "Home",
                                             "Connected",
                                             "6",
                                             "",
                                             std::to_string(std::min(100, 2 * (rssi + 100))),
                                             std::to_string(rssi),
                                             "1",
                                             "Yes",
                                             "Yes",
                                             "802.11g - 54 Mbps",
                                             "102",
                                             "Infrastructure",
                                             "1, 2, 5.5, 11",
                                             stationlist::FormatElapsed(m_now - first),
                                             stationlist::FormatElapsed(m_now - a->m_tLastSeen.load())};
  for (int c = 0; c < 16; ++c) EXPECT_EQ(Text(row, c), expected[static_cast<std::size_t>(c)]) << "column " << c;
  EXPECT_EQ(Text(row, 14), "1:02:05");

  const int peerRow = RowOf(2);
  EXPECT_EQ(Text(peerRow, 0), "02:A7:1E:00:00:02");
  EXPECT_EQ(Text(peerRow, 2), "");
  EXPECT_EQ(Text(peerRow, 3), "36");  // 5180 MHz
  EXPECT_EQ(Text(peerRow, 4), "WEP104");
  EXPECT_EQ(Text(peerRow, 7), "");  // no profile: priority and both flags empty
  EXPECT_EQ(Text(peerRow, 8), "");
  EXPECT_EQ(Text(peerRow, 9), "");
  EXPECT_EQ(Text(peerRow, 10), "802.11a - 54 Mbps");
  EXPECT_EQ(Text(peerRow, 12), "Adhoc");
  EXPECT_EQ(Text(peerRow, 13), "6, 9, 54");

  // Item data and alignment as the view reads them.
  const QModelIndex index = Model().index(row, 5);
  EXPECT_EQ(Model().data(index, CStationTableModel::StationRole).value<quintptr>(), reinterpret_cast<quintptr>(a));
  EXPECT_TRUE(Model().data(index, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
  // Column 0 is drawn from the left although declared right-aligned.
  EXPECT_TRUE(Model().data(Model().index(row, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
}

TEST(ChildViewInfrastructureText, EveryBssType) {
  EXPECT_STREQ(stationlist::BssTypeText(1), "Infrastructure");
  EXPECT_STREQ(stationlist::BssTypeText(2), "Adhoc");
  EXPECT_STREQ(stationlist::BssTypeText(3), "Auto / Unknown");
  EXPECT_STREQ(stationlist::BssTypeText(0), "Unknown");
  EXPECT_STREQ(stationlist::BssTypeText(7), "Unknown");
}

TEST_F(ChildViewTest, ConnectedStationHeardFirstIsSelectedAndNewTopStationGoesToTheTop) {
  // "Top" is out of the air at first; it has the best signal of all.
  Start(OneAdapter({Ap(1, "Home", -60), Ap(2, "Mid", -75), Ap(3, "Low", -88), Ap(4, "Top", -45)},
                   {OpenProfile("Home", true, false)}, true));
  ASSERT_TRUE(wlansim::SetStationPresence(wlantest::TestGuid(1), childviewtest::MacOf(4), wlansim::Presence::Absent));
  EXPECT_EQ(m_view->GetSelectedStation(), nullptr);  // no rows yet
  Settle();
  ASSERT_EQ(Model().RowCount(), 3);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Home", "Mid", "Low"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(1));
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !m_frame->selected.empty(); }));
  EXPECT_EQ(m_frame->selected.back(), StationOf(1));

  ASSERT_TRUE(wlansim::SetStationPresence(wlantest::TestGuid(1), childviewtest::MacOf(4), wlansim::Presence::Present));
  Settle();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Top", "Home", "Mid", "Low"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(1));  // the selection stays on its station
  ExpectIndexConsistent();
}

TEST_F(ChildViewTest, NewStationsAndTheSelection) {
  Start(OneAdapter({Ap(1, "Home", -50), Ap(2, "Other", -60)}, {OpenProfile("Home", true, false)}, true), false);
  Device()->StartRefresh();
  WaitForWorkers();
  CStation* home = StationOf(1);
  CStation* other = StationOf(2);
  ASSERT_TRUE(home && other);

  // Another station first: nothing gets selected.
  m_view->SetWlanInterface(m_client.get());
  m_view->InsertStationRow(other);
  EXPECT_EQ(m_view->GetSelectedStation(), nullptr);
  // Then the connected one, with nothing selected: it takes the selection.
  m_view->InsertStationRow(home);
  EXPECT_EQ(m_view->GetSelectedStation(), home);
  EXPECT_EQ(Model().RowOf(home), 0);  // better link quality, above the other

  // A view where the user selected a station before the connected one came.
  delete m_view;
  m_view = new CChildView(m_frame.get());
  m_tester = std::make_unique<QAbstractItemModelTester>(m_view->GetModel(),
                                                        QAbstractItemModelTester::FailureReportingMode::Warning);
  m_view->SetWlanInterface(m_client.get());
  m_view->InsertStationRow(other);
  m_view->SelectStation(other);
  m_view->InsertStationRow(home);
  EXPECT_EQ(m_view->GetSelectedStation(), other);
  m_view->InsertStationRow(home);  // a station has at most one row
  EXPECT_EQ(Model().RowCount(), 2);

  // SetWlanInterface selects the connected station when nothing is selected.
  m_view->GetList()->selectionModel()->clearSelection();
  ASSERT_EQ(m_view->GetSelectedStation(), nullptr);
  m_view->SetWlanInterface(m_client.get());
  EXPECT_EQ(m_view->GetSelectedStation(), home);
}

TEST_F(ChildViewTest, MissingStationKeepsItsRowWithItsLastSeenGrowing) {
  Start(OneAdapter({Ap(1, "Stays", -60), Ap(2, "Leaves", -40), Ap(3, "Third", -70)}));
  Settle();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Leaves", "Stays", "Third"));
  CStation* leaves = StationOf(2);
  m_view->SelectStation(leaves);

  ASSERT_TRUE(wlansim::SetStationPresence(wlantest::TestGuid(1), childviewtest::MacOf(2), wlansim::Presence::Absent));
  Settle();
  ASSERT_EQ(Model().RowCount(), 3);
  const int row = RowOf(2);
  EXPECT_EQ(Text(row, 6), "-100");
  EXPECT_EQ(Text(row, 5), "0");
  // Link quality 0 sinks it under the initial order; the selection follows.
  EXPECT_EQ(row, 2);
  EXPECT_EQ(m_view->GetSelectedStation(), leaves);
  ExpectIndexConsistent();

  const std::int64_t lastSeen = leaves->m_tLastSeen.load();
  const std::pair<int, const char*> ticks[] = {{0, "Now"}, {59, "59"}, {60, "1:00"}, {61, "1:01"}, {3600, "1:00:00"}};
  for (const auto& [after, text] : ticks) {
    m_now = lastSeen + after;
    m_view->UpdateSeenTimes();
    EXPECT_EQ(Text(RowOf(2), 15), text);
  }
  EXPECT_EQ(leaves->m_tLastSeen.load(), lastSeen);  // nothing heard it meanwhile
}

TEST_F(ChildViewTest, RowsAreRewrittenOnlyWhenTheirStationChanged) {
  Start(OneAdapter({Ap(1, "One", -60)}));
  Settle();
  CStation* station = StationOf(1);
  const int row = RowOf(1);
  const QString before = Model().TextAt(row, 6);
  // A value changed without the changed flag is not shown...
  station->m_lRssi = -33;
  m_view->UpdateStationRow(station, false);
  EXPECT_EQ(Model().TextAt(row, 6), before);
  // ...until the flag says so, or the row is rewritten by force.
  station->m_bChanged = true;
  m_view->UpdateStationRow(station, false);
  EXPECT_EQ(Text(row, 6), "-33");
  EXPECT_FALSE(station->m_bChanged.load());
  station->m_lRssi = -34;
  m_view->UpdateStationRow(station, true);
  EXPECT_EQ(Text(row, 6), "-34");
}

TEST_F(ChildViewTest, SamplingAppendsEveryStationsLinkQuality) {
  Start(OneAdapter({Ap(1, "One", -60), Ap(2, "Two", -80)}));
  Settle();
  for (int tick = 0; tick < 3; ++tick) m_view->SampleLinkQuality();
  for (UCHAR last : {1, 2}) {
    const CStation* station = StationOf(last);
    ASSERT_EQ(station->m_lstLinkQuality.size(), 3u);
    EXPECT_EQ(station->m_lstLinkQuality.back(), static_cast<int>(station->m_uLinkQuality.load()));
  }
}

TEST_F(ChildViewTest, OffScreenTheSampleTimerWakesLessOftenButKeepsOneSamplePerPeriod) {
  std::int64_t clock = 1000;
  Start(OneAdapter({Ap(1, "One", -60)}));
  m_view->SetHoldClock([&] { return clock; });
  Settle();
  QTimer* timer = m_view->GetTimer(4);
  const CStation* station = StationOf(1);
  auto tick = [&](std::int64_t after) {
    clock += after;
    const std::size_t before = station->m_lstLinkQuality.size();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
    return station->m_lstLinkQuality.size() - before;
  };
  m_frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
  EXPECT_EQ(tick(20), 1u);
  EXPECT_EQ(timer->interval(), 20);

  m_frame->hide();
  EXPECT_EQ(tick(20), 1u);  // the first tick off screen: its own sample
  EXPECT_EQ(timer->interval(), 200);
  EXPECT_EQ(tick(200), 10u);
  EXPECT_EQ(tick(230), 11u);  // 10 ms left over
  EXPECT_EQ(tick(10), 1u);

  // Back on screen: what came due, then one a tick again.
  m_frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
  EXPECT_EQ(tick(140), 7u);
  EXPECT_EQ(timer->interval(), 20);
  EXPECT_EQ(tick(20), 1u);

  // Hours off screen (a suspended machine) fill the history, no more.
  m_frame->hide();
  tick(20);
  tick(10'000'000);
  EXPECT_EQ(station->m_lstLinkQuality.size(), CLinkQualityHistory::kDefaultCapacity);
}

}  // namespace
