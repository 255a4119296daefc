// The main window's commands: their enable and check rules against the
// selection and the adapters, what Disconnect and Autorun do, and the
// settings-changed message after the settings dialog.
#include <sys/stat.h>

#include <QItemSelectionModel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <fstream>
#include <mutex>

#include "eventlog/Log.h"
#include "platform/appprofile.h"
#include "platform/wlansim/IpConfig.h"
#include "settings/Settings.h"
#include "tests/ui/mainframe_fixture.h"
#include "ui/DataWnd.h"
#include "ui/Messages.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"

namespace {

struct StationCommands {
  bool connectEnabled, connectChecked, disconnectEnabled, disconnectChecked, propertiesEnabled;
  bool operator==(const StationCommands&) const = default;
};

std::ostream& operator<<(std::ostream& out, const StationCommands& c) {
  return out << "connect " << c.connectEnabled << "/" << c.connectChecked << ", disconnect " << c.disconnectEnabled
             << "/" << c.disconnectChecked << ", properties " << c.propertiesEnabled;
}

StationCommands Read(CMainFrame& frame) {
  auto checked = [&](UINT id) {
    QAction* action = frame.GetCommand(id);
    return action->isCheckable() && action->isChecked();
  };
  return {frame.GetCommand(CMD_CONNECT)->isEnabled(), checked(CMD_CONNECT),
          frame.GetCommand(CMD_DISCONNECT)->isEnabled(), checked(CMD_DISCONNECT),
          frame.GetCommand(CMD_PROPERTIES)->isEnabled()};
}

}  // namespace

TEST_F(MainFrameTest, StationCommandsFollowTheSelection) {
  auto frame = MakeFrame(3);
  CChildView* view = frame->GetView();
  CStation* connected = Station(*frame, kConnectedBssid);
  CStation* other = Station(*frame, kOtherBssid);
  ASSERT_NE(connected, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(connected->IsConnected());

  // The view selects the connected station by itself.
  ASSERT_EQ(view->GetSelectedStation(), connected);
  frame->UpdateCommandUI();
  EXPECT_EQ(Read(*frame), (StationCommands{false, true, true, false, true})) << "connected station selected";
  // The tool bar shows the same state as the menu.
  auto* connectButton = qobject_cast<QToolButton*>(frame->GetToolBar()->widgetForAction(frame->GetCommand(CMD_CONNECT)));
  ASSERT_NE(connectButton, nullptr);
  EXPECT_FALSE(connectButton->isEnabled());
  EXPECT_TRUE(connectButton->isChecked());

  view->SelectStation(other);
  ASSERT_EQ(view->GetSelectedStation(), other);
  frame->UpdateCommandUI();
  EXPECT_EQ(Read(*frame), (StationCommands{true, false, false, true, true})) << "other station selected";

  view->GetList()->selectionModel()->clearSelection();
  ASSERT_EQ(view->GetSelectedStation(), nullptr);
  frame->UpdateCommandUI();
  EXPECT_EQ(Read(*frame), (StationCommands{false, false, false, false, false})) << "no selection";
}

TEST_F(MainFrameTest, OpeningTheStationMenuRefreshesItsStates) {
  auto frame = MakeFrame(3);
  frame->UpdateCommandUI();
  ASSERT_FALSE(frame->GetCommand(CMD_CONNECT)->isEnabled());
  // Nothing else runs between the selection change and the menu opening.
  frame->findChild<QTimer*>(QStringLiteral("commandUpdateTimer"))->stop();
  frame->GetView()->SelectStation(Station(*frame, kOtherBssid));
  QMenu* menu = frame->GetStationMenu();
  menu->popup(QPoint(10, 10));
  EXPECT_TRUE(frame->GetCommand(CMD_CONNECT)->isEnabled());
  EXPECT_FALSE(frame->GetCommand(CMD_DISCONNECT)->isEnabled());
  menu->hide();
}

TEST_F(MainFrameTest, DisconnectEndsTheConnectionOfTheSelectedStation) {
  auto frame = MakeFrame(3);
  CStation* connected = Station(*frame, kConnectedBssid);
  ASSERT_EQ(frame->GetView()->GetSelectedStation(), connected);
  const GUID adapter = wlansim::AdapterGuid(0);
  ASSERT_TRUE(wlansim::CurrentBssid(adapter).has_value());

  frame->UpdateCommandUI();
  frame->GetCommand(CMD_DISCONNECT)->trigger();
  wlansim::AdvanceClock(5000);
  ASSERT_TRUE(wlansim::WaitForIdle());
  EXPECT_FALSE(wlansim::CurrentBssid(adapter).has_value());
  frame->UpdateCommandUI();
  EXPECT_EQ(Read(*frame), (StationCommands{true, false, false, true, true}));
}

TEST_F(MainFrameTest, LeaseCommandsNeedAnAdapter) {
  {
    auto frame = MakeFrame();
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(*frame, CMD_RELEASE_IP));
    EXPECT_TRUE(Enabled(*frame, CMD_RENEW_IP));
    // A chosen adapter that is not there falls back to the first one.
    CSettings::m_guidMonitorDevice = GUID{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(frame->GetMonitoredDevice(), frame->GetWlanInterface()->GetDevice(0));
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(*frame, CMD_RELEASE_IP));
  }
  {
    wlansim::World world;
    std::string error;
    ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/small.json"), &world, &error)) << error;
    wlansim::Adapter second = world.adapters.at(0);
    second.guid.Data1 ^= 0xFF;
    for (auto& station : second.stations) station.bssid[5] ^= 0x10;
    world.adapters.push_back(second);
    UseWorld(world);
    auto frame = MakeFrame();
    ASSERT_EQ(frame->GetWlanInterface()->GetDeviceCount(), 2);
    CSettings::m_guidMonitorDevice = frame->GetWlanInterface()->GetDevice(1)->GetGuid();
    EXPECT_EQ(frame->GetMonitoredDevice(), frame->GetWlanInterface()->GetDevice(1));
  }
  {
    wlansim::World empty;
    UseWorld(empty);
    auto frame = MakeFrame();
    ASSERT_EQ(frame->GetWlanInterface()->GetDeviceCount(), 0);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->GetMonitoredDevice(), nullptr);
    EXPECT_FALSE(Enabled(*frame, CMD_RELEASE_IP));
    EXPECT_FALSE(Enabled(*frame, CMD_RENEW_IP));
    // Issued anyway, they do nothing.
    frame->OnCommand(CMD_RELEASE_IP);
    frame->OnCommand(CMD_RENEW_IP);
  }
}

// A lease worker that runs disables both lease commands; they come back when
// it ends.
TEST_F(MainFrameTest, LeaseCommandsWaitForTheRenewalWorker) {
  struct Frame : CMainFrame {
    bool running = false;
    bool IsLeaseWorkerRunning(const CNativeWIFIDevice*) const override { return running; }
  };
  auto frame = MakeFrameOf<Frame>(0);
  frame->running = true;
  frame->UpdateCommandUI();
  EXPECT_FALSE(Enabled(*frame, CMD_RELEASE_IP));
  EXPECT_FALSE(Enabled(*frame, CMD_RENEW_IP));
  frame->running = false;
  frame->UpdateCommandUI();
  EXPECT_TRUE(Enabled(*frame, CMD_RELEASE_IP));
  EXPECT_TRUE(Enabled(*frame, CMD_RENEW_IP));
}

// The lease commands act on the monitored adapter's lease: Release at once,
// Renew on the adapter's worker, during which both are disabled.
TEST_F(MainFrameTest, LeaseCommandsReleaseAndRenewTheMonitoredAdaptersLease) {
  wlansim::World world;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/small.json"), &world, &error)) << error;
  world.adapters.at(0).ip = {"127.0.10.2", "127.0.10.1", "127.0.10.53"};
  UseWorld(world);
  auto frame = MakeFrame();
  CNativeWIFIDevice* device = frame->GetMonitoredDevice();
  ASSERT_NE(device, nullptr);
  auto leased = [] { return wlansim::IpAdapters().at(0).address != 0; };
  ASSERT_TRUE(leased());

  {
    // While the log lock is held the worker waits at its first log line.
    std::lock_guard<std::mutex> hold(g_csLog);
    ASSERT_TRUE(device->StartLeaseRenewal());
    frame->UpdateCommandUI();
    EXPECT_FALSE(Enabled(*frame, CMD_RELEASE_IP));
    EXPECT_FALSE(Enabled(*frame, CMD_RENEW_IP));
  }
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !device->IsLeaseWorkerRunning(); }));
  frame->UpdateCommandUI();
  EXPECT_TRUE(Enabled(*frame, CMD_RELEASE_IP));
  EXPECT_TRUE(Enabled(*frame, CMD_RENEW_IP));

  frame->OnCommand(CMD_RELEASE_IP);
  ASSERT_FALSE(leased());
  frame->OnCommand(CMD_RENEW_IP);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return leased() && !device->IsLeaseWorkerRunning(); }));
}

TEST_F(MainFrameTest, AutorunTogglesTheRunListEntry) {
  auto frame = MakeFrame();
  QAction* autorun = frame->GetCommand(CMD_AUTORUN);
  frame->UpdateCommandUI();
  ASSERT_FALSE(autorun->isChecked());
  ASSERT_EQ(RunEntryCount(), 0);

  autorun->trigger();
  EXPECT_TRUE(CSettings::m_bAutorun);
  EXPECT_TRUE(autorun->isChecked());
  ASSERT_EQ(RunEntryCount(), 1);
  EXPECT_TRUE(CSettings::IsAutorun());
  // The whole set of settings is written with it.
  EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", 0), 100u);

  autorun->trigger();
  EXPECT_FALSE(CSettings::m_bAutorun);
  EXPECT_FALSE(autorun->isChecked());
  EXPECT_EQ(RunEntryCount(), 0);
}

// A run list the user cannot write: the check mark stays as the disk has it.
TEST_F(MainFrameTest, AutorunCheckMarkShowsTheRunListWhenItCannotBeWritten) {
  auto frame = MakeFrame();
  QAction* autorun = frame->GetCommand(CMD_AUTORUN);
  ASSERT_EQ(chmod(RunDir().c_str(), 0555), 0);
  autorun->trigger();
  EXPECT_FALSE(CSettings::m_bAutorun);
  EXPECT_FALSE(autorun->isChecked());
  EXPECT_EQ(RunEntryCount(), 0);
  ASSERT_EQ(chmod(RunDir().c_str(), 0755), 0);
}

namespace {

// A program window deep inside the information pane.
class SettingsProbe : public QWidget, public CMessageTarget {
 public:
  explicit SettingsProbe(QWidget* parent) : QWidget(parent) { CreateHandle(); }
  ~SettingsProbe() override { DestroyHandle(); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SETTINGS_CHANGED && wParam == 0 && lParam == 0) ++received;
    return 1;
  }
  int received = 0;
};

}  // namespace

TEST_F(MainFrameTest, SettingsChangedReachesTheViewAndEveryProgramWindow) {
  auto frame = MakeFrame();
  auto* holder = new QWidget(frame->GetDataWnd());
  auto* probe = new SettingsProbe(holder);
  CChildView* view = frame->GetView();
  ASSERT_EQ(view->GetTimer(2)->interval(), 100);

  CSettings::m_nPassiveScanInterval = 300;
  CSettings::m_nActiveScanInterval = 20000;
  frame->SendSettingsChanged();
  EXPECT_EQ(probe->received, 1);
  EXPECT_EQ(view->GetTimer(2)->interval(), 300);
  EXPECT_EQ(view->GetTimer(1)->interval(), 20000);
}

TEST_F(MainFrameTest, ViewCommandsShowAndHideTheBars) {
  auto frame = MakeFrame();
  frame->show();
  frame->UpdateCommandUI();
  EXPECT_TRUE(Checked(*frame, CMD_VIEW_TOOLBAR));
  EXPECT_TRUE(Checked(*frame, CMD_VIEW_STATUS_BAR));
  frame->GetCommand(CMD_VIEW_TOOLBAR)->trigger();
  EXPECT_FALSE(frame->GetToolBar()->isVisible());
  EXPECT_FALSE(frame->GetCommand(CMD_VIEW_TOOLBAR)->isChecked());
  frame->GetCommand(CMD_VIEW_STATUS_BAR)->trigger();
  EXPECT_FALSE(frame->statusBar()->isVisible());
  EXPECT_FALSE(frame->GetCommand(CMD_VIEW_STATUS_BAR)->isChecked());
  frame->GetCommand(CMD_VIEW_TOOLBAR)->trigger();
  EXPECT_TRUE(frame->GetToolBar()->isVisible());
  EXPECT_TRUE(frame->GetCommand(CMD_VIEW_TOOLBAR)->isChecked());
}

TEST_F(MainFrameTest, DestroyingTheFrameClosesTheWlanClient) {
  auto frame = MakeFrame(3);
  ASSERT_EQ(g_pWifiInterface, frame->GetWlanInterface());
  ASSERT_EQ(wlansim::OpenHandleCount(), 1u);
  frame.reset();
  EXPECT_EQ(g_pWifiInterface, nullptr);
  EXPECT_EQ(wlansim::OpenHandleCount(), 0u);
}
