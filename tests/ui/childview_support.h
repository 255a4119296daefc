// Shared pieces of the station list tests: a stand-in main window that keeps
// the messages posted to it, small simulated worlds, and a fixture that puts
// a station view over a WLAN client on the simulated service with the
// manual clock, its timers stopped so that each test drives the work itself.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wlansim/SimControl.h"
#include "tests/common/test_support.h"
#include "tests/wlan/WlanTestSupport.h"
#include "ui/ChildView.h"
#include "ui/Messages.h"
#include "ui/StationTableModel.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WlanNotificationRecord.h"

namespace childviewtest {

// The main window as the view sees it: a top-level widget with a handle.
class CFrameStandIn : public QWidget, public CMessageTarget {
 public:
  CFrameStandIn() { CreateHandle(); }
  ~CFrameStandIn() override { DestroyHandle(); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_STATION_SELECTED) {
      EXPECT_EQ(lParam, 0);
      selected.push_back(reinterpret_cast<CStation*>(wParam));
    }
    return 1;
  }

  std::vector<CStation*> selected;  // wParam of every WM_STATION_SELECTED
};

inline wlansim::Mac MacOf(UCHAR last) { return {0x02, 0xA7, 0x1E, 0x00, 0x00, last}; }

// An access point on channel 6 whose signal stays within 2 dB of `rssi`.
inline wlansim::AccessPoint Ap(UCHAR last, const std::string& ssid, LONG rssi) {
  wlansim::AccessPoint ap;
  ap.bssid = MacOf(last);
  ap.ssid = ssid;
  ap.baseRssi = rssi;
  ap.driftDb = 0;
  return ap;
}

// One adapter hearing `stations`, with `profiles` stored.
inline wlansim::World OneAdapter(std::vector<wlansim::AccessPoint> stations,
                                 std::vector<wlansim::ProfileFields> profiles = {}, bool connectAtStart = false) {
  wlansim::World world;
  world.seed = 42;
  wlansim::Adapter adapter;
  adapter.guid = wlantest::TestGuid(1);
  adapter.description = "List test adapter";
  adapter.connectAtStart = connectAtStart;
  adapter.stations = std::move(stations);
  for (const auto& fields : profiles) adapter.profiles.push_back(wlansim::BuildProfileXml(fields));
  world.adapters.push_back(adapter);
  return world;
}

inline wlansim::ProfileFields OpenProfile(const std::string& ssid, bool autoConnect, bool autoSwitch) {
  wlansim::ProfileFields fields;
  fields.name = ssid;
  fields.ssid = ssid;
  fields.autoConnect = autoConnect;
  fields.autoSwitch = autoSwitch;
  return fields;
}

class ChildViewTest : public testing::Test {
 protected:
  void TearDown() override {
    m_tester.reset();
    delete m_view;
    m_view = nullptr;
    m_client.reset();
    m_frame.reset();
    wlansim::ResetToDefault();
  }

  // The view inside a shown stand-in frame, over a client on `world`.
  // `attach` false leaves SetWlanInterface to the test.
  void Start(const wlansim::World& world, bool attach = true) {
    wlantest::UseWorld(world);
    m_frame = std::make_unique<CFrameStandIn>();
    m_frame->resize(1000, 600);
    m_view = new CChildView(m_frame.get());
    m_view->setGeometry(0, 0, 1000, 600);
    for (int timer = 1; timer <= 4; ++timer) m_view->GetTimer(timer)->stop();
    m_view->SetTimeSource([this] { return m_now; });
    m_tester = std::make_unique<QAbstractItemModelTester>(m_view->GetModel(),
                                                          QAbstractItemModelTester::FailureReportingMode::Warning);
    m_client = std::make_unique<CNativeWIFIInterface>(m_frame->GetSafeHwnd());
    m_client->Initialize();
    ASSERT_EQ(m_client->GetDeviceCount(), 1);
    if (attach) m_view->SetWlanInterface(m_client.get());
  }

  CNativeWIFIDevice* Device() const { return m_client->GetDevice(0); }

  void WaitForWorkers() {
    ASSERT_TRUE(testsupport::SpinUntil([&] { return !Device()->IsRefreshRunning(); }));
  }
  // A refresh as the timer does it, then one that shows what the first one's
  // worker read; returns when the second worker has finished too.
  void Settle() {
    m_view->RefreshList();
    WaitForWorkers();
    m_view->RefreshList();
    WaitForWorkers();
  }

  CStation* StationOf(UCHAR last) const {
    const wlansim::Mac mac = MacOf(last);
    return Device()->FindStation(mac.data());
  }
  CStationTableModel& Model() const { return *m_view->GetModel(); }
  int RowOf(UCHAR last) const { return Model().RowOf(StationOf(last)); }
  std::string Text(int row, int column) const { return Model().TextAt(row, column).toStdString(); }
  // Column `column` of every row, top to bottom.
  std::vector<std::string> ColumnTexts(int column) const {
    std::vector<std::string> texts;
    for (int row = 0; row < Model().RowCount(); ++row) texts.push_back(Text(row, column));
    return texts;
  }
  // The row index kept by the model agrees with the rows.
  void ExpectIndexConsistent() const {
    for (int row = 0; row < Model().RowCount(); ++row) {
      CStation* station = Model().StationAt(row);
      EXPECT_EQ(Model().RowOf(station), row);
      EXPECT_EQ(Text(row, 0), station->GetMacText()) << "row " << row;
    }
  }

  wlantest::LogReader m_log;
  std::int64_t m_now = 1'800'000'000;
  std::unique_ptr<CFrameStandIn> m_frame;
  CChildView* m_view = nullptr;
  std::unique_ptr<QAbstractItemModelTester> m_tester;
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

}  // namespace childviewtest
