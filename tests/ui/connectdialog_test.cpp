// The connect dialog on the simulated service with its manual clock: the
// attempt's log, success with the self-closing confirmation, failure with
// Retry and the automatic retry, the refusal of a second connect thread,
// notifications that must change nothing, the profiles' automatic mode while
// the dialog is open, and closing while the connect thread still runs.
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
#include <string>
#include <vector>

#include "eventlog/widgets/OutWnd.h"
#include "platform/wlansim/SimControl.h"
#include "settings/Settings.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"
#include "tests/wlan/WlanTestSupport.h"
#include "ui/ConnectDialog.h"
#include "ui/TaskDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WlanNotificationRecord.h"

namespace {

// The task dialog's clock: tests move it forward by hand.
std::atomic<DWORD> g_tick{1000};
DWORD TestTick() { return g_tick.load(); }

// Built-in world: connected to "Lindenweg"; "Harbour Lights" has a profile
// with a wrong key; "Orchard Loft" a manual profile with the right key.
constexpr char kHarbour[] = "Harbour Lights";
constexpr char kOrchard[] = "Orchard Loft";

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
    g_bConnectLogLineStart = true;
  }

  // A client on `world` whose monitor has read the stations once.
  void Start(const wlansim::World& world, bool refresh = true) {
    wlantest::UseWorld(world);
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    ASSERT_GE(m_client->GetDeviceCount(), 1);
    if (refresh) {
      Device()->StartRefresh();
      ASSERT_TRUE(testsupport::SpinUntil([&] { return !Device()->IsRefreshRunning(); }));
    }
  }
  CNativeWIFIDevice* Device() const { return m_client->GetDevice(0); }
  CStation* StationNamed(const std::string& ssid) const {
    CStation* found = nullptr;
    Device()->ForEachStation([&](CStation* s) {
      if (!found && s->GetSSID() == ssid) found = s;
    });
    return found;
  }

  // Shows the dialog for `station` and waits for its first connect thread.
  void Open(CStation* station, bool autoRetry = false) {
    ASSERT_NE(station, nullptr);
    CSettings::m_bAutoRetry = autoRetry;
    m_dialog = std::make_unique<CConnectDialog>(nullptr, station);
    m_dialog->show();
    WaitForThread();
  }
  void WaitForThread() {
    ASSERT_TRUE(testsupport::SpinUntil([&] { return !m_dialog->IsConnectThreadRunning(); }));
    QCoreApplication::processEvents();
  }
  // Lets `ms` of service time pass and delivers what fell due.
  void Advance(std::uint32_t ms) {
    wlansim::AdvanceClock(ms);
    ASSERT_TRUE(wlansim::WaitForIdle());
  }

  // The dialog's log, oldest line first, without the time stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    const COutWnd* log = m_dialog->GetLog();
    for (int n = log->LineCount() - 1; n >= 0; --n) {
      std::string line = log->Line(n);
      if (line.rfind(testlog::kConnectStamp, 0) == 0) line.erase(0, std::strlen(testlog::kConnectStamp));
      lines.push_back(line);
    }
    return lines;
  }
  int CountOf(const std::string& line) const {
    int count = 0;
    for (const auto& l : Log()) count += l == line;
    return count;
  }
  std::string LastLine() const {
    const auto lines = Log();
    return lines.empty() ? std::string() : lines.back();
  }

  template <typename T>
  T* Find(const char* name) const {
    return m_dialog->findChild<T*>(QString::fromLatin1(name));
  }
  QPushButton* Retry() const { return Find<QPushButton>("retryButton"); }
  bool Busy() const { return Find<QProgressBar>("progressBar")->maximum() == 0; }

  wlantest::LogReader m_mainLog;  // constructed first: the main log is not the dialog's
  wlantest::RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
  std::unique_ptr<CConnectDialog> m_dialog;
  bool m_savedAutoRetry = true;
};

TEST_F(ConnectDialogTest, TheDialogIsLaidOutAsItsTemplate) {
  Start(wlansim::BuiltInWorld());
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(StationNamed(kHarbour));
  EXPECT_EQ(m_dialog->windowTitle(), "Connect to a remote station");

  struct Expected {
    const char* name;
    int id;
    const char* text;
  };
  const Expected controls[] = {{"statusLabel", 1002, "Connecting to remote station..."},
                               {"progressBar", 1001, nullptr},
                               {"log", 1005, nullptr},
                               {"attemptLabel", 1006, "Attempt 1"},
                               {"autoRetry", 1003, "Auto Retry failed connection attempt"},
                               {"retryButton", 1007, "Retry"},
                               {"cancelButton", 2, "Cancel"}};
  std::vector<QRect> rects;
  for (const auto& c : controls) {
    auto* widget = Find<QWidget>(c.name);
    ASSERT_NE(widget, nullptr) << c.name;
    EXPECT_EQ(widget->property("controlId").toInt(), c.id) << c.name;
    EXPECT_TRUE(widget->isVisible()) << c.name;
    if (auto* label = qobject_cast<QLabel*>(widget); label && c.text) {
      EXPECT_EQ(label->text(), c.text);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && c.text) {
      EXPECT_EQ(button->text(), c.text);
    }
    EXPECT_TRUE(m_dialog->rect().contains(widget->geometry())) << c.name;
    for (const QRect& other : rects) EXPECT_FALSE(other.intersects(widget->geometry())) << c.name;
    rects.push_back(widget->geometry());
  }
  // Top to bottom in template order, the two buttons side by side at the
  // bottom right; 317 x 197 units at 1.4 to 2.2 pixels per unit.
  for (std::size_t i = 1; i + 1 < rects.size(); ++i) EXPECT_LE(rects[i - 1].bottom(), rects[i].top()) << i;
  EXPECT_EQ(rects[5].top(), rects[6].top());
  EXPECT_LT(rects[5].right(), rects[6].left());
  EXPECT_GT(m_dialog->width(), 317 * 1.4);
  EXPECT_LT(m_dialog->width(), 317 * 2.2);
  EXPECT_GT(m_dialog->height(), 197 * 1.4);
  EXPECT_LT(m_dialog->height(), 197 * 2.2);
  EXPECT_EQ(m_dialog->GetLog()->m_logFont.pixelSize(), 12);
  EXPECT_EQ(m_dialog->GetLog()->m_logFont.family(), "Arial");
}

TEST_F(ConnectDialogTest, WrongKeyLogsTheAttemptAndItsReasonAndOffersRetry) {
  Start(wlansim::BuiltInWorld());
  Open(StationNamed(kHarbour));
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateConnecting);
  EXPECT_TRUE(Busy());
  EXPECT_FALSE(Retry()->isEnabled());

  Advance(5000);
  const std::vector<std::string> expected = {
      "Ready.",
      "Connecting to Harbour Lights",
      // Leaving the network the adapter was on.
      "ACM: Disconnecting.",
      "MSM: Disassociating.",
      "MSM: Disconnected.",
      "ACM: Disconnected.",
      "ACM: Connecting to Infrastructure network 'Harbour Lights'",
      "MSM: Associating.",
      "MSM: Associated.",
      "MSM: Authenticating.",
      "MSM: Disconnected.",
      "ACM: Connection failed.",
      "ACM: The connection failed because: PSK mismatch suspected",
  };
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateFailed);
  EXPECT_TRUE(Retry()->isVisible());
  EXPECT_TRUE(Retry()->isEnabled());
  EXPECT_FALSE(Busy());
  // The dialog's lines stay out of the main log.
  for (const auto& line : m_mainLog.Take()) EXPECT_EQ(line.find("Tried"), std::string::npos);
}

// A failure restarts the attempt after 2000 ms when the box is ticked; when
// it is not, only Retry does.
struct RetryCase {
  const char* name;
  bool ticked;
};

class ConnectDialogRetryTest : public ConnectDialogTest, public testing::WithParamInterface<RetryCase> {};

TEST_P(ConnectDialogRetryTest, FailureRestartsAfterTwoSecondsOnlyWhenTicked) {
  Start(wlansim::BuiltInWorld());
  Open(StationNamed(kHarbour), GetParam().ticked);
  EXPECT_EQ(Find<QCheckBox>("autoRetry")->isChecked(), GetParam().ticked);
  QTimer* timer = m_dialog->GetRetryTimer();
  EXPECT_FALSE(timer->isActive());
  Advance(5000);
  ASSERT_EQ(m_dialog->GetState(), CConnectDialog::kStateFailed);
  EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 1);

  EXPECT_EQ(timer->isActive(), GetParam().ticked);
  if (GetParam().ticked) {
    EXPECT_EQ(timer->interval(), 2000);
    QTimerEvent fire(timer->timerId());
    QCoreApplication::sendEvent(timer, &fire);
    EXPECT_FALSE(timer->isActive());  // one shot per failure
  } else {
    // However long it waits, nothing starts by itself.
    Advance(10000);
    QCoreApplication::processEvents();
    EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 1);
    QTest::mouseClick(Retry(), Qt::LeftButton);
  }
  WaitForThread();
  EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 2);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateConnecting);
  EXPECT_FALSE(Retry()->isEnabled());
  // The second attempt fails the same way, and no limit stops the timer.
  Advance(5000);
  EXPECT_EQ(CountOf("ACM: The connection failed because: PSK mismatch suspected"), 2);
  EXPECT_EQ(timer->isActive(), GetParam().ticked);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectDialogRetryTest,
                         testing::Values(RetryCase{"Ticked", true}, RetryCase{"Unticked", false}),
                         [](const testing::TestParamInfo<RetryCase>& info) { return info.param.name; });

TEST_F(ConnectDialogTest, RetryWhileTheConnectThreadRunsIsRefused) {
  Start(wlansim::BuiltInWorld());
  Open(StationNamed(kHarbour));
  Advance(5000);
  ASSERT_TRUE(Retry()->isEnabled());

  // This thread handles nothing between the clicks, so the first click's
  // thread is still waiting to write its first line when the second comes.
  QTest::mouseClick(Retry(), Qt::LeftButton);
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  QTest::mouseClick(Retry(), Qt::LeftButton);
  EXPECT_EQ(LastLine(), "Tried to spawn a connect thread when there was already one!");
  WaitForThread();
  // The refusal came while the running thread's first line was waiting.
  const auto lines = Log();
  const auto failed = std::find(lines.begin(), lines.end(), "ACM: The connection failed because: PSK mismatch suspected");
  ASSERT_GE(lines.end() - failed, 3);
  EXPECT_EQ(failed[1], "Tried to spawn a connect thread when there was already one!");
  EXPECT_EQ(failed[2], "Connecting to Harbour Lights");
  EXPECT_EQ(CountOf("Connecting to Harbour Lights"), 2);
  Advance(5000);
  // One more attempt reached the service, not two.
  EXPECT_EQ(CountOf("ACM: Connecting to Infrastructure network 'Harbour Lights'"), 2);
  EXPECT_EQ(CountOf("Tried to spawn a connect thread when there was already one!"), 1);
}

TEST_F(ConnectDialogTest, SuccessShowsTheSelfClosingConfirmationAndThenCloses) {
  // What the offscreen platform says when the confirmation is shown.
  testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
  Start(wlansim::BuiltInWorld());
  Open(StationNamed(kOrchard));
  Advance(5000);
  EXPECT_EQ(LastLine(), "ACM: Connected.");
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateConnected);
  EXPECT_FALSE(Retry()->isEnabled());
  EXPECT_FALSE(Busy());

  // While the confirmation runs (its own modal loop), note what it shows and
  // move its clock past five seconds; it must then close by itself.
  QString title, instruction;
  bool parented = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != "taskDialog" || !w->isVisible() || !title.isEmpty()) continue;
      title = w->windowTitle();
      if (auto* label = w->findChild<QLabel*>("mainInstruction")) instruction = label->text();
      parented = w->parentWidget() == m_dialog.get();
      g_tick += 6000;
    }
  });
  watch.start(10);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !m_dialog->isVisible(); }));
  EXPECT_EQ(title, "Connected");
  EXPECT_EQ(instruction, "Connected to Orchard Loft (02:A7:1E:00:2C:05)");
  EXPECT_TRUE(parented);
  EXPECT_EQ(wlansim::CurrentBssid(Device()->GetGuid()).value_or(wlansim::Mac{})[5], 0x05);
}

TEST_F(ConnectDialogTest, ConfirmationNamesTheDialogsStationWhenTheAssociationIsNotInTheTable) {
  testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
  // No refresh: the monitor's table is empty, so the association is unknown.
  Start(wlansim::BuiltInWorld(), false);
  ASSERT_EQ(Device()->GetStationCount(), 0);
  const DOT11_MAC_ADDRESS bssid = {0x02, 0xA7, 0x1E, 0x00, 0x0B, 0x04};
  CStation station(Device(), nullptr, bssid, "Tea Garden", 0, 60, -63, 3, 100, 2462000, 1, WLAN_RATE_SET{}, 0);
  Open(&station);
  Advance(5000);
  ASSERT_EQ(LastLine(), "ACM: Connected.");
  QString instruction;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* label = w->findChild<QLabel*>("mainInstruction");
      if (w->objectName() != "taskDialog" || !w->isVisible() || !label || !instruction.isEmpty()) continue;
      instruction = label->text();
      g_tick += 6000;
    }
  });
  watch.start(10);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !m_dialog->isVisible(); }));
  EXPECT_EQ(instruction, "Connected to Tea Garden (02:A7:1E:00:0B:04)");
  m_dialog.reset();  // before the station goes
}

TEST_F(ConnectDialogTest, CompletionForAnotherSsidStopsAndOffersRetry) {
  Start(wlansim::BuiltInWorld());
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY, 1);
  Open(StationNamed(kHarbour));
  EXPECT_EQ(LastLine(), "ERROR: Could not initiate connection attempt.");
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateStopped);
  EXPECT_TRUE(Retry()->isEnabled());
  EXPECT_FALSE(Busy());

  // Something else connects the adapter elsewhere while the dialog waits.
  m_dialog->SetState(CConnectDialog::kStateConnecting);
  ASSERT_FALSE(Retry()->isEnabled());
  ASSERT_TRUE(Busy());
  ASSERT_EQ(Device()->Connect(StationNamed(kOrchard)), S_OK);
  Advance(5000);
  EXPECT_EQ(LastLine(), "Connected to a different station");
  EXPECT_EQ(CountOf("ACM: Connecting to Infrastructure network 'Orchard Loft'"), 0);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateStopped);
  EXPECT_TRUE(Retry()->isEnabled());
  EXPECT_FALSE(Busy());
  QCoreApplication::processEvents();
  EXPECT_TRUE(m_dialog->isVisible());
}

// Notifications that must leave the log and the state alone.
struct IgnoredCase {
  const char* name;
  int adapter;  // index in the world
  DWORD source, code;
  bool connectionPayload;  // a 572-byte success payload for the dialog's SSID
  DWORD size;
};

class ConnectDialogIgnoredTest : public ConnectDialogTest, public testing::WithParamInterface<IgnoredCase> {};

TEST_P(ConnectDialogIgnoredTest, NotificationChangesNothing) {
  std::string error;
  wlansim::World world;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/two-adapters.json"), &world, &error))
      << error;
  Start(world);
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(StationNamed("Garden Shed"));
  ASSERT_EQ(m_dialog->GetState(), CConnectDialog::kStateStopped);
  const auto before = Log();

  const IgnoredCase& c = GetParam();
  std::vector<BYTE> block(WlanNotificationRecordSize(c.size));
  auto* record = reinterpret_cast<WlanNotificationRecord*>(block.data());
  record->NotificationSource = c.source;
  record->NotificationCode = c.code;
  record->InterfaceGuid = wlansim::AdapterGuid(c.adapter);
  record->dwDataSize = c.size;
  if (c.connectionPayload) {
    WLAN_CONNECTION_NOTIFICATION_DATA data{};
    data.dot11Ssid.uSSIDLength = 11;
    std::memcpy(data.dot11Ssid.ucSSID, "GARDEN SHED", 11);  // case does not matter
    data.dot11BssType = dot11_BSS_type_infrastructure;
    std::memcpy(record->data, &data, sizeof data);
  }
  EXPECT_EQ(SendMessage(m_dialog->GetSafeHwnd(), WM_WLAN_NOTIFY, reinterpret_cast<WPARAM>(record), 0), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(Log(), before);
  EXPECT_EQ(m_dialog->GetState(), CConnectDialog::kStateStopped);
  EXPECT_TRUE(m_dialog->isVisible());

  // The same notification for the dialog's adapter, where it counts: a
  // signal-quality change is still not logged, the others are.
  if (c.adapter == 1) {
    record->InterfaceGuid = Device()->GetGuid();
    record->NotificationCode = c.source == WLAN_NOTIFICATION_SOURCE_ACM ? 11 : 7;
    SendMessage(m_dialog->GetSafeHwnd(), WM_WLAN_NOTIFY, reinterpret_cast<WPARAM>(record), 0);
    EXPECT_EQ(LastLine(), c.source == WLAN_NOTIFICATION_SOURCE_ACM ? "ACM: Connection failed."
                                                                   : "MSM: Radio state changed.");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectDialogIgnoredTest,
    testing::Values(IgnoredCase{"OtherAdapterConnectionComplete", 1, WLAN_NOTIFICATION_SOURCE_ACM, 10, true, 572},
                    IgnoredCase{"OtherAdapterAdapterRemoval", 1, WLAN_NOTIFICATION_SOURCE_MSM, 13, false, 580},
                    IgnoredCase{"SignalQuality", 0, WLAN_NOTIFICATION_SOURCE_MSM, 8, false, 4},
                    IgnoredCase{"ShortConnectionComplete", 0, WLAN_NOTIFICATION_SOURCE_ACM, 10, true, 571},
                    IgnoredCase{"ScanComplete", 0, WLAN_NOTIFICATION_SOURCE_ACM, 7, false, 0},
                    IgnoredCase{"MsmPastTheLastCode", 0, WLAN_NOTIFICATION_SOURCE_MSM, 15, false, 0},
                    IgnoredCase{"SecuritySource", 0, WLAN_NOTIFICATION_SOURCE_SECURITY, 10, true, 572}),
    [](const testing::TestParamInfo<IgnoredCase>& info) { return info.param.name; });

TEST_F(ConnectDialogTest, ProfilesAreManualWhileOpenAndTheCheckBoxIsKeptOnCancel) {
  Start(wlansim::BuiltInWorld());
  const GUID guid = Device()->GetGuid();
  auto xml = [&](const char* name) { return wlansim::GetProfileXml(guid, name).value_or(""); };
  auto has = [](const std::string& doc, const char* element) { return doc.find(element) != std::string::npos; };
  const std::string orchardBefore = xml(kOrchard);
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  Open(StationNamed(kHarbour), false);

  EXPECT_TRUE(has(xml("Lindenweg"), "<connectionMode>manual</connectionMode>"));
  EXPECT_TRUE(has(xml("Lindenweg"), "<autoSwitch>false</autoSwitch>"));
  EXPECT_TRUE(has(xml(kHarbour), "<connectionMode>manual</connectionMode>"));
  EXPECT_EQ(xml(kOrchard), orchardBefore);  // manual from the start: left alone

  QTest::mouseClick(Find<QCheckBox>("autoRetry"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>("cancelButton"), Qt::LeftButton);
  EXPECT_FALSE(m_dialog->isVisible());
  EXPECT_TRUE(CSettings::m_bAutoRetry);
  EXPECT_TRUE(has(xml("Lindenweg"), "<connectionMode>auto</connectionMode>"));
  EXPECT_TRUE(has(xml("Lindenweg"), "<autoSwitch>true</autoSwitch>"));
  EXPECT_TRUE(has(xml(kHarbour), "<connectionMode>auto</connectionMode>"));
  EXPECT_TRUE(has(xml(kHarbour), "<autoSwitch>false</autoSwitch>"));  // was off before
  // No longer an observer: nothing more reaches it.
  const auto observers = m_client->GetObservers();
  EXPECT_EQ(std::count(observers.begin(), observers.end(), m_dialog->GetSafeHwnd()), 0);
}

TEST_F(ConnectDialogTest, ClosingOrDeletingWhileTheConnectThreadRunsWaitsForIt) {
  Start(wlansim::BuiltInWorld());
  const GUID guid = Device()->GetGuid();
  CSettings::m_bAutoRetry = false;
  m_dialog = std::make_unique<CConnectDialog>(nullptr, StationNamed(kOrchard));
  // Shown and cancelled without handling anything in between: the thread is
  // still waiting to write its first line when the dialog closes.
  m_dialog->show();
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  QTest::mouseClick(Find<QPushButton>("cancelButton"), Qt::LeftButton);
  EXPECT_FALSE(m_dialog->IsConnectThreadRunning());
  EXPECT_FALSE(m_dialog->isVisible());
  EXPECT_EQ(CountOf("Connecting to Orchard Loft"), 1);
  m_dialog.reset();
  // The attempt was made all the same (closing does not cancel it), and its
  // notifications find no dialog.
  const auto request = wlansim::LastConnectRequest(guid);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->ssid, kOrchard);
  Advance(5000);
  EXPECT_EQ(wlansim::CurrentBssid(guid).value_or(wlansim::Mac{})[5], 0x05);

  // Deleted without being closed (its owner went): the same clean-up.
  m_dialog = std::make_unique<CConnectDialog>(nullptr, StationNamed(kHarbour));
  m_dialog->show();
  ASSERT_TRUE(m_dialog->IsConnectThreadRunning());
  EXPECT_NE(wlansim::GetProfileXml(guid, "Lindenweg").value_or("").find("<connectionMode>manual<"), std::string::npos);
  m_dialog.reset();
  EXPECT_NE(wlansim::GetProfileXml(guid, "Lindenweg").value_or("").find("<connectionMode>auto<"), std::string::npos);
  EXPECT_EQ(m_client->GetObservers().size(), 1u);
  Advance(5000);
}

}  // namespace
