// The station list's radio-detail columns: the heading's menu that hides and
// shows columns (kept in the settings), their sort order, and the vendor
// names drawn again once the registry has loaded.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QContextMenuEvent>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/appprofile.h"
#include "settings/Settings.h"
#include "tests/ui/childview_support.h"
#include "ui/StationColumns.h"
#include "wlan/OuiRegistry.h"

using childviewtest::Ap;
using childviewtest::ChildViewTest;
using childviewtest::OneAdapter;
using namespace stationlist;

namespace {

class ChildViewColumnsTest : public ChildViewTest {
 protected:
  void SetUp() override {
    m_profile = ::testing::TempDir() + "columns-test.ini";
    std::remove(m_profile.c_str());
    SetProfileFilePath(m_profile);
    CSettings::m_uHiddenColumns = 0;
  }
  void TearDown() override {
    ChildViewTest::TearDown();
    CSettings::m_uHiddenColumns = 0;
    std::remove(m_profile.c_str());
  }
  QHeaderView* Headings() const { return m_view->GetList()->horizontalHeader(); }
  static QAction* ActionNamed(QMenu* menu, const char* text) {
    for (QAction* action : menu->actions())
      if (action->text() == QLatin1String(text)) return action;
    return nullptr;
  }

  std::string m_profile;
};

TEST_F(ChildViewColumnsTest, HeadingMenuHidesAndShowsColumnsAndTheSettingsKeepThem) {
  // What the offscreen platform says about a popup menu.
  testsupport::ExpectQtWarning("This plugin does not support raise()");
  testsupport::ExpectQtWarning("This plugin does not support grabbing the keyboard");
  Start(OneAdapter({Ap(1, "Harbour", -50)}));
  m_frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));

  // A context-menu request on a heading (what a right-click or the menu key
  // sends) opens the menu: one check item per column.
  const QPoint onChannel(Headings()->sectionViewportPosition(kColChannel) + 5, 5);
  QContextMenuEvent request(QContextMenuEvent::Mouse, onChannel, Headings()->viewport()->mapToGlobal(onChannel));
  QApplication::sendEvent(Headings()->viewport(), &request);
  QMenu* menu = nullptr;
  ASSERT_TRUE(testsupport::SpinUntil([&] {
    menu = m_view->findChild<QMenu*>(QStringLiteral("columnMenu"));
    return menu && menu->isVisible();
  }));
  ASSERT_EQ(menu->actions().size(), kColumnCount);
  EXPECT_EQ(menu->actions()[kColSsid]->text(), "ESSID");
  EXPECT_EQ(menu->actions()[kColAutoUpgrade]->text(), "Auto Upgrade");  // the heading's blank trimmed
  for (QAction* action : menu->actions()) EXPECT_TRUE(action->isChecked()) << action->text().toStdString();
  // The first column names the row: it cannot be hidden.
  EXPECT_FALSE(ActionNamed(menu, "MAC Address")->isEnabled());
  EXPECT_TRUE(ActionNamed(menu, "Vendor")->isEnabled());

  ActionNamed(menu, "Band")->trigger();
  ActionNamed(menu, "Beacon Period")->trigger();
  menu->close();
  EXPECT_TRUE(Headings()->isSectionHidden(kColBand));
  EXPECT_TRUE(Headings()->isSectionHidden(kColBeaconPeriod));
  EXPECT_FALSE(Headings()->isSectionHidden(kColWidth));
  const UINT stored = GetProfileInt("List", "Hidden Columns", -1);
  EXPECT_EQ(stored, (1u << kColBand) | (1u << kColBeaconPeriod));

  // The next start reads them back.
  CSettings::m_uHiddenColumns = 0;
  CSettings::Load();
  CChildView second(m_frame.get());
  QHeaderView* headings = second.GetList()->horizontalHeader();
  EXPECT_TRUE(headings->isSectionHidden(kColBand));
  EXPECT_TRUE(headings->isSectionHidden(kColBeaconPeriod));
  EXPECT_FALSE(headings->isSectionHidden(kColMac));

  // Shown again, a column hidden since start-up gets its width back.
  std::unique_ptr<QMenu> again(second.CreateColumnMenu(nullptr));
  QAction* band = ActionNamed(again.get(), "Band");
  EXPECT_FALSE(band->isChecked());
  band->trigger();
  EXPECT_FALSE(headings->isSectionHidden(kColBand));
  EXPECT_GE(headings->sectionSize(kColBand), 60);
  EXPECT_EQ(GetProfileInt("List", "Hidden Columns", -1), 1u << kColBeaconPeriod);
}

TEST(ChildViewColumnSet, StoredHiddenSetsAreReadSafely) {
  const std::uint32_t saved = CSettings::m_uHiddenColumns;
  const struct {
    const char* name;
    std::uint32_t stored;
    bool macShown, ssidShown, vendorShown;
  } cases[] = {
      {"nothing hidden", 0, true, true, true},
      {"every bit set", 0xFFFFFFFFu, true, false, false},
      {"only the first column's bit", 1u, true, true, true},
      {"only bits of columns that do not exist", ~0u << kColumnCount, true, true, true},
  };
  for (const auto& c : cases) {
    CSettings::m_uHiddenColumns = c.stored;
    EXPECT_EQ(CChildView::IsColumnShown(kColMac), c.macShown) << c.name;
    EXPECT_EQ(CChildView::IsColumnShown(kColSsid), c.ssidShown) << c.name;
    EXPECT_EQ(CChildView::IsColumnShown(kColVendor), c.vendorShown) << c.name;
    EXPECT_FALSE(CChildView::IsColumnShown(kColumnCount)) << c.name;
  }
  CSettings::m_uHiddenColumns = saved;
}

TEST_F(ChildViewColumnsTest, WidthAndStandardSortByValueNotByText) {
  wlansim::AccessPoint a = Ap(1, "A", -50), b = Ap(2, "B", -50), c = Ap(3, "C", -50);
  a.frequencyKHz = b.frequencyKHz = c.frequencyKHz = 5180000;
  a.standard = "ac", a.widthMHz = 160;
  b.standard = "a";
  c.standard = "ax", c.widthMHz = 80;
  Start(OneAdapter({a, b, c}));
  Settle();
  ASSERT_EQ(Model().RowCount(), 3);

  m_view->SortByColumn(kColWidth);
  EXPECT_EQ(ColumnTexts(kColWidth), (std::vector<std::string>{"20 MHz", "80 MHz", "160 MHz"}));
  m_view->SortByColumn(kColWidth);
  EXPECT_EQ(ColumnTexts(kColWidth), (std::vector<std::string>{"160 MHz", "80 MHz", "20 MHz"}));
  // By generation: 802.11a, then ac, then ax.
  m_view->SortByColumn(kColStandard);
  EXPECT_EQ(ColumnTexts(kColStandard), (std::vector<std::string>{"802.11a", "802.11ac", "802.11ax"}));
}

TEST_F(ChildViewColumnsTest, VendorColumnIsDrawnAgainOnceTheRegistryHasLoaded) {
  // Under ctest each test runs in a process of its own, so the registry
  // reads this file.
  const std::string path = ::testing::TempDir() + "columns-oui.csv";
  std::ofstream(path) << "Registry,Assignment,Organization Name,Organization Address\n"
                         "MA-L,00D0EF,Plain Name Ltd,1 Street Town\n";
  setenv("AERLUME_OUI_FILE", path.c_str(), 1);
  wlansim::AccessPoint known = Ap(1, "Known", -50), local = Ap(2, "Local", -60);
  known.bssid = {0x00, 0xD0, 0xEF, 0x01, 0x02, 0x03};
  Start(OneAdapter({known, local}));
  QSignalSpy changes(m_view->GetModel(), &QAbstractItemModel::dataChanged);
  Settle();
  COuiRegistry::Instance().WaitLoaded();
  m_view->RefreshList();
  m_view->RefreshList();

  // Exactly one change covered the vendor column of every row.
  int wholeColumn = 0;
  for (const QList<QVariant>& change : changes) {
    const auto from = change[0].toModelIndex(), to = change[1].toModelIndex();
    if (from.column() == kColVendor && to.column() == kColVendor && from.row() == 0 &&
        to.row() == Model().RowCount() - 1)
      ++wholeColumn;
  }
  EXPECT_EQ(wholeColumn, 1);
  const int knownRow = Model().RowOf(Device()->FindStation(known.bssid.data()));
  // The registry's own reading is tested with it; here the row shows its name
  // (ours, unless an earlier test in this process loaded the system's file).
  const std::string vendor = COuiRegistry::Instance().Lookup(known.bssid.data());
  EXPECT_FALSE(vendor.empty());
  EXPECT_EQ(Text(knownRow, kColVendor), vendor);
  EXPECT_EQ(Text(RowOf(2), kColVendor), "");  // a locally administered address
  unsetenv("AERLUME_OUI_FILE");
}

}  // namespace
