// The connect dialog on the simulated service's built-in world (connected to
// "Lindenweg"; "Harbour Lights" has a profile with a wrong key; "Orchard
// Loft" a manual profile with the right one), on the manual clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "eventlog/widgets/OutWnd.h"
#include "settings/Settings.h"
#include "tests/eventlog/CollectingWindow.h"
#include "tests/wlan/WlanTestSupport.h"
#include "ui/ConnectDialog.h"
#include "ui/TaskDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"

namespace {

std::atomic<DWORD> g_tick{1000};  // the confirmation's clock
DWORD TestTick() { return g_tick.load(); }

constexpr char kHarbour[] = "Harbour Lights";
constexpr char kOrchard[] = "Orchard Loft";
constexpr char kFailed[] = "ACM: The connection failed because: PSK mismatch suspected";
constexpr char kRefused[] = "Tried to spawn a connect thread when there was already one!";

class ConnectDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    m_savedAutoRetry = CSettings::m_bAutoRetry;
    CTaskDialog::SetTickSource(&TestTick);
  }
  void TearDown() override {
    m_dialog.reset();
    m_client.reset();
    wlansim::ResetToDefault();
    CTaskDialog::SetTickSource(nullptr);
    CSettings::m_bAutoRetry = m_savedAutoRetry;
  }

  // A client whose monitor has read the stations once (unless `refresh` is false).
  void Start(const wlansim::World& world = wlansim::BuiltInWorld(), bool refresh = true) {
    wlantest::UseWorld(world);
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    if (!refresh) return;
    Device()->StartRefresh();
    ASSERT_TRUE(testsupport::SpinUntil([&] { return !Device()->IsRefreshRunning(); }));
  }
  CNativeWIFIDevice* Device() const { return m_client->GetDevice(0); }
  CStation* Named(const std::string& ssid) const {
    CStation* found = nullptr;
    Device()->ForEachStation([&](CStation* s) { found = !found && s->GetSSID() == ssid ? s : found; });
    return found;
  }
  // Shows the dialog; `wait` lets its first connect thread finish.
  void Open(CStation* station, bool autoRetry = false, bool wait = true) {
    CSettings::m_bAutoRetry = autoRetry;
    m_dialog = std::make_unique<CConnectDialog>(nullptr, station);
    m_dialog->show();
    if (wait) WaitForThread();
  }
  void WaitForThread() {
    ASSERT_TRUE(testsupport::SpinUntil([&] { return !m_dialog->IsConnectThreadRunning(); }));
  }
  void Advance(std::uint32_t ms = 5000) {
    wlansim::AdvanceClock(ms);
    ASSERT_TRUE(wlansim::WaitForIdle());
  }
  // The dialog's log, oldest line first, without the stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    for (int n = m_dialog->GetLog()->LineCount() - 1; n >= 0; --n)
      lines.push_back(m_dialog->GetLog()->Line(n).substr(std::strlen(testlog::kConnectStamp)));
    return lines;
  }
  int CountOf(const std::string& line) const { return static_cast<int>(std::ranges::count(Log(), line)); }
  std::string LastLine() const { return Log().back(); }
  QPushButton* Button(const char* name) const { return m_dialog->findChild<QPushButton*>(name); }
  bool RetryEnabled() const { return Button("retryButton")->isEnabled(); }
  bool Busy() const { return m_dialog->findChild<QProgressBar*>("progressBar")->maximum() == 0; }

  // Runs the confirmation that success brings: notes its title and main
  // instruction, moves its clock past five seconds and waits for the dialog
  // to close behind it.
  std::pair<QString, QString> RunConfirmation() {
    testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");  // offscreen
    std::pair<QString, QString> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* label = w->findChild<QLabel*>("mainInstruction");
        if (w->objectName() != "taskDialog" || !w->isVisible() || !label || !seen.first.isEmpty()) continue;
        seen = {w->windowTitle(), label->text()};
        g_tick += 6000;
      }
    });
    watch.start(10);
    EXPECT_TRUE(testsupport::SpinUntil([&] { return !m_dialog->isVisible(); }));
    return seen;
  }

  wlantest::LogReader m_mainLog;  // first: the main log is not the dialog's log window
  wlantest::RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
  std::unique_ptr<CConnectDialog> m_dialog;
  bool m_savedAutoRetry = true;
};

TEST_F(ConnectDialogTest, ControlsFollowTheTemplateWithoutOverlapping) {
  Start();
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(Named(kHarbour));
  EXPECT_EQ(m_dialog->windowTitle(), "Connect to a remote station");
  const std::pair<const char*, int> controls[] = {{"statusLabel", 1002}, {"progressBar", 1001}, {"log", 1005},
                                                  {"attemptLabel", 1006}, {"autoRetry", 1003},
                                                  {"retryButton", 1007}, {"cancelButton", 2}};
  QRect previous;
  for (const auto& [name, id] : controls) {
    auto* w = m_dialog->findChild<QWidget*>(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_EQ(w->property("controlId").toInt(), id);
    EXPECT_TRUE(m_dialog->rect().contains(w->geometry())) << name;
    EXPECT_FALSE(previous.intersects(w->geometry())) << name;
    previous = w->geometry();
  }
  EXPECT_GE(m_dialog->width(), 317 * 1.4);
  EXPECT_LE(m_dialog->height(), 197 * 2.2);
  EXPECT_EQ(m_dialog->GetLog()->m_logFont.family(), "Arial");
}

TEST_F(ConnectDialogTest, WrongKeyLogsTheWholeAttemptAndOffersRetry) {
  Start();
  Open(Named(kHarbour));
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateConnecting);
  EXPECT_TRUE(Busy());
  EXPECT_FALSE(RetryEnabled());
  Advance();
  const std::vector<std::string> expected = {
      "Ready.", "Connecting to Harbour Lights",
      "ACM: Disconnecting.", "MSM: Disassociating.", "MSM: Disconnected.", "ACM: Disconnected.",  // leaving Lindenweg
      "ACM: Connecting to Infrastructure network 'Harbour Lights'", "MSM: Associating.", "MSM: Associated.",
      "MSM: Authenticating.", "MSM: Disconnected.", "ACM: Connection failed.", kFailed};
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateFailed);
  EXPECT_TRUE(RetryEnabled());
  EXPECT_FALSE(Busy());
}

// Ticked, a failure restarts the attempt after 2000 ms, every time; unticked
// only Retry does.
class ConnectDialogRetryTest : public ConnectDialogTest, public testing::WithParamInterface<bool> {};

TEST_P(ConnectDialogRetryTest, FailureRestartsAfterTwoSecondsOnlyWhenTicked) {
  const bool ticked = GetParam();
  Start();
  Open(Named(kHarbour), ticked);
  QTimer* timer = m_dialog->GetRetryTimer();
  Advance();
  ASSERT_EQ(LastLine(), kFailed);
  EXPECT_EQ(timer->isActive(), ticked);
  EXPECT_EQ(timer->interval(), 2000);
  if (ticked) {
    QTimerEvent fire(timer->timerId());
    QCoreApplication::sendEvent(timer, &fire);
    EXPECT_FALSE(timer->isActive());
  } else {
    Advance(10000);
    EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 1);
    QTest::mouseClick(Button("retryButton"), Qt::LeftButton);
  }
  WaitForThread();
  EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 2);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateConnecting);
  Advance();
  EXPECT_EQ(CountOf(kFailed), 2);
  EXPECT_EQ(timer->isActive(), ticked);
}

INSTANTIATE_TEST_SUITE_P(Box, ConnectDialogRetryTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });

TEST_F(ConnectDialogTest, RetryWhileTheConnectThreadRunsIsRefused) {
  Start();
  Open(Named(kHarbour));
  Advance();
  // The first click's thread waits for this thread to take its first line,
  // so it still runs when the second click comes; the refusal is written at
  // once (the thread's line may come before or after it).
  QTest::mouseClick(Button("retryButton"), Qt::LeftButton);
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  QTest::mouseClick(Button("retryButton"), Qt::LeftButton);
  EXPECT_EQ(CountOf(kRefused), 1);
  WaitForThread();
  Advance();
  EXPECT_EQ(CountOf(kRefused), 1);
  EXPECT_EQ(CountOf("ACM: Connecting to Infrastructure network 'Harbour Lights'"), 2);  // one more, not two
}

TEST_F(ConnectDialogTest, AnOutcomeBeforeTheThreadsReportStaysShown) {
  Start();
  Open(Named(kHarbour), true, false);
  // The thread waits to write its first line; the failure of its attempt is
  // handled first, then the thread's "connecting" report arrives.
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  std::vector<BYTE> block(WlanNotificationRecordSize(572));
  auto* record = reinterpret_cast<WlanNotificationRecord*>(block.data());
  *record = {WLAN_NOTIFICATION_SOURCE_ACM, 10, Device()->GetGuid(), 572, {}};
  auto* data = reinterpret_cast<WLAN_CONNECTION_NOTIFICATION_DATA*>(record->data);
  data->dot11Ssid.uSSIDLength = 14;
  std::memcpy(data->dot11Ssid.ucSSID, kHarbour, 14);
  data->wlanReasonCode = 0x48014;
  SendMessage(m_dialog->GetSafeHwnd(), WM_WLAN_NOTIFY, reinterpret_cast<WPARAM>(record), 0);
  WaitForThread();
  EXPECT_EQ(CountOf(kFailed), 1);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateFailed);
  EXPECT_TRUE(RetryEnabled());
  EXPECT_FALSE(Busy());
  EXPECT_TRUE(m_dialog->GetRetryTimer()->isActive());
}

TEST_F(ConnectDialogTest, SuccessShowsTheSelfClosingConfirmationThenCloses) {
  Start();
  Open(Named(kOrchard));
  Advance();
  EXPECT_EQ(LastLine(), "ACM: Connected.");
  EXPECT_FALSE(RetryEnabled());
  EXPECT_FALSE(Busy());
  const auto [title, text] = RunConfirmation();
  EXPECT_EQ(title, "Connected");
  EXPECT_EQ(text, "Connected to Orchard Loft (02:A7:1E:00:2C:05)");
}

TEST_F(ConnectDialogTest, ConfirmationNamesTheDialogsStationWhenTheAssociationIsNotInTheTable) {
  Start(wlansim::BuiltInWorld(), false);  // no refresh: an empty table
  const DOT11_MAC_ADDRESS bssid = {0x02, 0xA7, 0x1E, 0x00, 0x0B, 0x04};
  CStation station(Device(), nullptr, bssid, "Tea Garden", 0, 60, -63, 3, 100, 2462000, 1, WLAN_RATE_SET{}, 0);
  Open(&station);
  Advance();
  EXPECT_EQ(RunConfirmation().second, "Connected to Tea Garden (02:A7:1E:00:0B:04)");
  m_dialog.reset();
}

TEST_F(ConnectDialogTest, CompletionForAnotherSsidStopsAndOffersRetry) {
  Start();
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY, 1);
  Open(Named(kHarbour));
  EXPECT_EQ(LastLine(), "ERROR: Could not initiate connection attempt.");
  EXPECT_TRUE(RetryEnabled());
  m_dialog->SetState(CConnectDialog::kStateConnecting);
  ASSERT_FALSE(RetryEnabled());
  ASSERT_EQ(Device()->Connect(Named(kOrchard)), S_OK);  // someone else connects elsewhere
  Advance();
  EXPECT_EQ(LastLine(), "Connected to a different station");
  EXPECT_EQ(CountOf("ACM: Connecting to Infrastructure network 'Orchard Loft'"), 0);
  EXPECT_TRUE(RetryEnabled());
  EXPECT_FALSE(Busy());
}

// Notifications that change nothing; the first two name the world's second adapter.
struct IgnoredCase {
  const char* name;
  int adapter;
  DWORD source, code, size;
};

class ConnectDialogIgnoredTest : public ConnectDialogTest, public testing::WithParamInterface<IgnoredCase> {};

TEST_P(ConnectDialogIgnoredTest, NotificationChangesNothing) {
  wlansim::World world;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/two-adapters.json"), &world, &error));
  Start(world);
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(Named("Garden Shed"));
  const auto before = Log();
  const IgnoredCase& c = GetParam();
  // A success payload for the dialog's SSID, in other letter case.
  std::vector<BYTE> block(WlanNotificationRecordSize(std::max<DWORD>(c.size, 572)));
  auto* record = reinterpret_cast<WlanNotificationRecord*>(block.data());
  *record = {c.source, c.code, wlansim::AdapterGuid(c.adapter), c.size, {}};
  auto* data = reinterpret_cast<WLAN_CONNECTION_NOTIFICATION_DATA*>(record->data);
  data->dot11Ssid.uSSIDLength = 11;
  std::memcpy(data->dot11Ssid.ucSSID, "GARDEN SHED", 11);
  EXPECT_EQ(SendMessage(m_dialog->GetSafeHwnd(), WM_WLAN_NOTIFY, reinterpret_cast<WPARAM>(record), 0), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Log(), before);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateStopped);
  EXPECT_TRUE(m_dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectDialogIgnoredTest,
    testing::Values(IgnoredCase{"OtherAdapterConnected", 1, WLAN_NOTIFICATION_SOURCE_ACM, 10, 572},
                    IgnoredCase{"OtherAdapterRemoved", 1, WLAN_NOTIFICATION_SOURCE_MSM, 13, 580},
                    IgnoredCase{"SignalQuality", 0, WLAN_NOTIFICATION_SOURCE_MSM, 8, 4},
                    IgnoredCase{"ShortConnectionComplete", 0, WLAN_NOTIFICATION_SOURCE_ACM, 10, 571},
                    IgnoredCase{"ScanComplete", 0, WLAN_NOTIFICATION_SOURCE_ACM, 7, 0},
                    IgnoredCase{"MsmPastTheLastCode", 0, WLAN_NOTIFICATION_SOURCE_MSM, 15, 0},
                    IgnoredCase{"SecuritySource", 0, WLAN_NOTIFICATION_SOURCE_SECURITY, 10, 572}),
    [](const auto& info) { return info.param.name; });

TEST_F(ConnectDialogTest, ProfilesAreManualWhileOpenAndTheCheckBoxIsKeptOnCancel) {
  Start();
  const GUID guid = Device()->GetGuid();
  auto has = [&](const char* profile, const char* element) {
    return wlansim::GetProfileXml(guid, profile).value_or("").find(element) != std::string::npos;
  };
  const auto orchard = wlansim::GetProfileXml(guid, kOrchard);
  CSettings::m_bAutoRetry = true;
  { CConnectDialog(nullptr, Named(kHarbour)); }  // never shown: changes nothing
  EXPECT_TRUE(CSettings::m_bAutoRetry);
  EXPECT_TRUE(has("Lindenweg", "<connectionMode>auto<"));
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(Named(kHarbour), false);
  EXPECT_TRUE(has("Lindenweg", "<connectionMode>manual<") && has("Lindenweg", "<autoSwitch>false<"));
  EXPECT_TRUE(has(kHarbour, "<connectionMode>manual<"));
  EXPECT_EQ(wlansim::GetProfileXml(guid, kOrchard), orchard);  // manual from the start

  QTest::mouseClick(m_dialog->findChild<QCheckBox*>("autoRetry"), Qt::LeftButton);
  QTest::mouseClick(Button("cancelButton"), Qt::LeftButton);
  EXPECT_FALSE(m_dialog->isVisible());
  EXPECT_TRUE(CSettings::m_bAutoRetry);
  EXPECT_TRUE(has("Lindenweg", "<connectionMode>auto<") && has("Lindenweg", "<autoSwitch>true<"));
  EXPECT_TRUE(has(kHarbour, "<connectionMode>auto<") && has(kHarbour, "<autoSwitch>false<"));
  EXPECT_EQ(m_client->GetObservers().size(), 1u);
}

TEST_F(ConnectDialogTest, ClosingOrDeletingWhileTheConnectThreadRunsWaitsForIt) {
  Start();
  const GUID guid = Device()->GetGuid();
  // Cancelled before anything is handled: the thread still waits to write
  // its first line. The attempt goes on without the dialog.
  Open(Named(kOrchard), false, false);
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  QTest::mouseClick(Button("cancelButton"), Qt::LeftButton);
  EXPECT_FALSE(m_dialog->IsConnectThreadRunning());
  EXPECT_EQ(CountOf("Connecting to Orchard Loft"), 1);
  m_dialog.reset();
  Advance();
  EXPECT_EQ(wlansim::CurrentBssid(guid).value_or(wlansim::Mac{})[5], 0x05);

  // Deleted without closing (its owner went): the same clean-up.
  Open(Named(kHarbour), false, false);
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  m_dialog.reset();
  EXPECT_NE(wlansim::GetProfileXml(guid, "Lindenweg").value_or("").find("<connectionMode>auto<"), std::string::npos);
  EXPECT_EQ(m_client->GetObservers().size(), 1u);
  Advance();
}

}  // namespace
