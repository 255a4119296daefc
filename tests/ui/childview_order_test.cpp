// Station list order: the comparison rules, the resort pass (checked against
// the plain double loop), its convergence in the view, and sorting by real
// clicks on the headings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <random>

#include "tests/ui/childview_support.h"
#include "ui/StationOrder.h"

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using childviewtest::OpenProfile;
using stationlist::CompareSortKeys;
using stationlist::CSortKey;
using testing::ElementsAre;

namespace {

constexpr std::uint32_t kDesc = stationlist::kDescendingBit;

CSortKey Number(std::int64_t value) {
  CSortKey key;
  key.nValue = value;
  return key;
}
CSortKey Text(const std::string& text) {
  CSortKey key;
  key.strText = text;
  return key;
}
CSortKey NoProfile() {
  CSortKey key;
  key.bHasValue = false;
  return key;
}

// The pass as a plain double loop: the reference for ResortPassKeys.
std::vector<std::pair<int, int>> PlainPass(std::vector<CSortKey>& keys, std::uint32_t state) {
  std::vector<std::pair<int, int>> exchanges;
  const int n = static_cast<int>(keys.size());
  for (int i = 0; i + 1 < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (CompareSortKeys(keys[static_cast<std::size_t>(i)], keys[static_cast<std::size_t>(j)], state) > 0) {
        std::swap(keys[static_cast<std::size_t>(i)], keys[static_cast<std::size_t>(j)]);
        exchanges.emplace_back(i, j);
        break;
      }
  return exchanges;
}

std::vector<std::int64_t> Values(const std::vector<CSortKey>& keys) {
  std::vector<std::int64_t> values;
  for (const CSortKey& key : keys) values.push_back(key.bHasValue ? key.nValue : -1);
  return values;
}

TEST(ChildViewCompare, NumbersTextsAndDirection) {
  EXPECT_LT(CompareSortKeys(Number(3), Number(7), 5), 0);
  EXPECT_GT(CompareSortKeys(Number(3), Number(7), 5 | kDesc), 0);
  EXPECT_EQ(CompareSortKeys(Number(3), Number(3), 5 | kDesc), 0);
  // Whole 64-bit times, where a difference squeezed into an int would flip.
  EXPECT_LT(CompareSortKeys(Number(0), Number(std::int64_t{1} << 40), 14), 0);
  EXPECT_LT(CompareSortKeys(Number(-100), Number(-20), 6), 0);
  // Texts without regard to case; the empty status before "Connected".
  EXPECT_EQ(CompareSortKeys(Text("lindenweg"), Text("LINDENWEG"), 1), 0);
  EXPECT_LT(CompareSortKeys(Text("alpha"), Text("Bravo"), 1), 0);
  EXPECT_LT(CompareSortKeys(Text(""), Text("Connected"), 2), 0);
  EXPECT_GT(CompareSortKeys(Text("alpha"), Text("Bravo"), 1 | kDesc), 0);
  // A column past the last: everything equal.
  EXPECT_EQ(CompareSortKeys(Number(1), Number(2), stationlist::kColumnCount), 0);
}

TEST(ChildViewCompare, ProfileColumnsWithAndWithoutProfile) {
  for (std::uint32_t column : {7u, 8u, 9u}) {
    SCOPED_TRACE(column);
    // Ascending: a station without profile equals every other station.
    EXPECT_EQ(CompareSortKeys(Number(0), NoProfile(), column), 0);
    EXPECT_EQ(CompareSortKeys(NoProfile(), Number(1), column), 0);
    EXPECT_EQ(CompareSortKeys(NoProfile(), NoProfile(), column), 0);
    EXPECT_LT(CompareSortKeys(Number(0), Number(1), column), 0);
    // Descending: the one with a profile first; two without stay equal.
    EXPECT_LT(CompareSortKeys(Number(0), NoProfile(), column | kDesc), 0);
    EXPECT_GT(CompareSortKeys(NoProfile(), Number(0), column | kDesc), 0);
    EXPECT_EQ(CompareSortKeys(NoProfile(), NoProfile(), column | kDesc), 0);
    EXPECT_GT(CompareSortKeys(Number(0), Number(1), column | kDesc), 0);
  }
}

TEST(ChildViewResortPass, OneExchangePerRowOnACraftedOrder) {
  std::vector<CSortKey> keys = {Number(5), Number(3), Number(4), Number(1), Number(2)};
  std::vector<std::pair<int, int>> exchanges;
  stationlist::ResortPassKeys(keys, 5, [&](int i, int j) { exchanges.emplace_back(i, j); });
  EXPECT_THAT(Values(keys), ElementsAre(3, 4, 1, 2, 5));
  EXPECT_THAT(exchanges, ElementsAre(std::pair(0, 1), std::pair(1, 2), std::pair(2, 3), std::pair(3, 4)));
  stationlist::ResortPassKeys(keys, 5, nullptr);
  EXPECT_THAT(Values(keys), ElementsAre(1, 3, 2, 4, 5));
  stationlist::ResortPassKeys(keys, 5, nullptr);
  EXPECT_THAT(Values(keys), ElementsAre(1, 2, 3, 4, 5));
  exchanges.clear();
  stationlist::ResortPassKeys(keys, 5, [&](int i, int j) { exchanges.emplace_back(i, j); });
  EXPECT_TRUE(exchanges.empty());

  // Ascending priority: a row without profile is passed over, and a profiled
  // row behind it is still found.
  keys = {Number(1), NoProfile(), Number(0)};
  stationlist::ResortPassKeys(keys, 7, nullptr);
  EXPECT_THAT(Values(keys), ElementsAre(0, -1, 1));
}

TEST(ChildViewResortPass, SameExchangesAsThePlainLoopForEveryColumnAndDirection) {
  const unsigned seed = std::random_device{}();
  std::printf("resort pass seed %u\n", seed);
  std::mt19937 random(seed);
  const char* texts[] = {"", "alpha", "Alpha", "bravo", "Connected", "zulu"};
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t column = random() % 17;
    const std::uint32_t state = column | (random() % 2 ? kDesc : 0);
    const int count = 1 + static_cast<int>(random() % 40);
    std::vector<CSortKey> keys;
    for (int k = 0; k < count; ++k) {
      CSortKey key = Number(random() % 6);
      key.strText = texts[random() % 6];
      key.bHasValue = random() % 3 != 0;
      keys.push_back(key);
    }
    std::vector<CSortKey> plain = keys;
    const auto expected = PlainPass(plain, state);
    std::vector<std::pair<int, int>> exchanges;
    stationlist::ResortPassKeys(keys, state, [&](int i, int j) { exchanges.emplace_back(i, j); });
    ASSERT_EQ(exchanges, expected) << "seed " << seed << " round " << round << " state " << state;
  }
}

TEST(ChildViewSortedOrder, StableAndWellDefinedForEveryColumn) {
  // Descending priority: profiles first by position, then the rest in their
  // old order.
  std::vector<CSortKey> keys = {NoProfile(), Number(0), NoProfile(), Number(2), Number(1)};
  EXPECT_THAT(stationlist::SortedOrder(keys, 7 | kDesc), ElementsAre(3, 4, 1, 0, 2));
  // Equal keys keep their order.
  keys = {Number(2), Number(1), Number(2), Number(1)};
  EXPECT_THAT(stationlist::SortedOrder(keys, 5), ElementsAre(1, 3, 0, 2));
  EXPECT_THAT(stationlist::SortedOrder(keys, 5 | kDesc), ElementsAre(0, 2, 1, 3));
}

// The view's rows: a reversed signal converges over passes.
TEST_F(ChildViewTest, ResortPassMovesStationsBetweenRowsAndConverges) {
  auto world = [](bool reversed) {
    std::vector<wlansim::AccessPoint> stations;
    const char* names[] = {"A", "B", "C", "D", "E"};
    for (int i = 0; i < 5; ++i)
      stations.push_back(Ap(static_cast<UCHAR>(i + 1), names[i], reversed ? -90 + 10 * i : -60 - 10 * i));
    return OneAdapter(stations);
  };
  Start(world(false));
  Settle();
  ASSERT_THAT(ColumnTexts(1), ElementsAre("A", "B", "C", "D", "E"));
  m_view->SelectStation(StationOf(1));

  // Same adapter and stations, signals reversed. One refresh applies the new
  // values and runs exactly one pass.
  wlantest::UseWorld(world(true));
  Settle();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("B", "C", "D", "E", "A"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(1));
  EXPECT_EQ(m_view->GetList()->selectionModel()->selectedRows().front().row(), 4);
  ExpectIndexConsistent();
  // Rows were rewritten with their new stations' values.
  for (int row = 0; row < 5; ++row)
    EXPECT_EQ(Text(row, 5), Model().StationAt(row)->GetLinkQualityText()) << row;

  m_view->UpdateSeenTimes();  // one more pass
  EXPECT_THAT(ColumnTexts(1), ElementsAre("C", "D", "E", "B", "A"));
  for (int pass = 0; pass < 5; ++pass) m_view->ResortPass();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("E", "D", "C", "B", "A"));
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(1));
  ExpectIndexConsistent();
}

class ChildViewHeadingTest : public ChildViewTest {
 protected:
  void ClickHeading(int column) {
    QHeaderView* header = m_view->GetList()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
};

TEST_F(ChildViewHeadingTest, ClicksSortAscendingDescendingAscending) {
  Start(OneAdapter({Ap(1, "bravo", -70), Ap(2, "Alpha", -50), Ap(3, "charlie", -85)}));
  m_frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
  Settle();
  ASSERT_THAT(ColumnTexts(1), ElementsAre("Alpha", "bravo", "charlie"));  // link quality descending
  m_view->SelectStation(StationOf(1));

  // Link Quality first: ascending, because the start state is descending.
  ClickHeading(5);
  EXPECT_EQ(m_view->GetSortState(), 5u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("charlie", "bravo", "Alpha"));
  ClickHeading(5);
  EXPECT_EQ(m_view->GetSortState(), 0x80000005u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Alpha", "bravo", "charlie"));
  ClickHeading(5);
  EXPECT_EQ(m_view->GetSortState(), 5u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("charlie", "bravo", "Alpha"));

  // ESSID: case-insensitive, ascending then descending.
  ClickHeading(1);
  EXPECT_EQ(m_view->GetSortState(), 1u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Alpha", "bravo", "charlie"));
  ClickHeading(1);
  EXPECT_EQ(m_view->GetSortState(), 0x80000001u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("charlie", "bravo", "Alpha"));
  // Texts moved with their stations; the selection stayed on its station.
  ExpectIndexConsistent();
  EXPECT_EQ(m_view->GetSelectedStation(), StationOf(1));
  EXPECT_EQ(m_view->GetList()->horizontalHeader()->sortIndicatorSection(), 1);
  EXPECT_EQ(m_view->GetList()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ChildViewHeadingTest, ProfileColumnsWithStationsWithoutProfile) {
  // Profiles in preference order: "Work" position 0, "Home" position 1.
  Start(OneAdapter({Ap(1, "Cafe", -50), Ap(2, "Home", -55), Ap(3, "Street", -60), Ap(4, "Work", -65)},
                   {OpenProfile("Work", false, false), OpenProfile("Home", true, true)}));
  m_frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
  Settle();
  ASSERT_THAT(ColumnTexts(1), ElementsAre("Cafe", "Home", "Street", "Work"));
  EXPECT_THAT(ColumnTexts(7), ElementsAre("", "1", "", "0"));
  EXPECT_THAT(ColumnTexts(8), ElementsAre("", "Yes", "", ""));
  EXPECT_THAT(ColumnTexts(9), ElementsAre("", "Yes", "", ""));

  // Ascending: a station without profile equals all others, so here nothing
  // moves ahead of "Cafe", and "Work" (0) only passes "Home" (1).
  ClickHeading(7);
  EXPECT_EQ(m_view->GetSortState(), 7u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Cafe", "Home", "Street", "Work"));
  m_view->ResortPass();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Cafe", "Work", "Street", "Home"));
  // Descending: stations with a profile first, by position; the others keep
  // their order.
  ClickHeading(7);
  EXPECT_EQ(m_view->GetSortState(), 0x80000007u);
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Home", "Work", "Cafe", "Street"));
  m_view->ResortPass();
  EXPECT_THAT(ColumnTexts(1), ElementsAre("Home", "Work", "Cafe", "Street"));

  ClickHeading(8);  // Auto Connect ascending, then descending
  ClickHeading(8);
  EXPECT_THAT(ColumnTexts(8), ElementsAre("Yes", "", "", ""));
  EXPECT_EQ(Text(1, 1), "Work");  // with a profile, so ahead of the others
  ExpectIndexConsistent();
}

}  // namespace
