// The settings dialog (what the stored intervals select, what OK stores, the
// timers restarted, the adapter list) and the test dialog (background
// scanning switched on the chosen adapter of the simulated service).
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <functional>

#include "platform/appprofile.h"
#include "platform/wlanapi.h"
#include "settings/Settings.h"
#include "tests/ui/mainframe_fixture.h"
#include "tests/wlan/WlanTestSupport.h"
#include "ui/SettingsDialog.h"
#include "ui/TestDialog.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

// Runs `act` on the modal dialog of type T as soon as it is the active modal
// widget: the test's hand inside the dialog's own modal loop.
template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(dialog);
    }
  });
  timer->start(5);
}

void Choose(QComboBox* list, const char* text) {
  const int at = list->findText(QString::fromLatin1(text), Qt::MatchExactly);
  ASSERT_GE(at, 0) << text;
  list->setCurrentIndex(at);
}

// The background-scan switch of an adapter, as the service reports it.
bool BackgroundScan(const GUID& adapter) {
  DWORD version = 0;
  HANDLE handle = nullptr;
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &handle), ERROR_SUCCESS);
  DWORD size = 0;
  PVOID data = nullptr;
  EXPECT_EQ(WlanQueryInterface(handle, &adapter, wlan_intf_opcode_background_scan_enabled, nullptr, &size, &data,
                               nullptr),
            ERROR_SUCCESS);
  BOOL value = FALSE;
  if (data && size >= sizeof value) std::memcpy(&value, data, sizeof value);
  WlanFreeMemory(data);
  WlanCloseHandle(handle, nullptr);
  return value != FALSE;
}

// Two ready adapters whose descriptions sort the other way round.
wlansim::World TwoAdapters() {
  wlansim::World world = wlantest::AdaptersWorld(2);
  world.adapters[0].description = "wireless Second";
  world.adapters[1].description = "Attic adapter";
  return world;
}

class SettingsDialogTest : public MainFrameTest {};

}  // namespace

TEST_F(SettingsDialogTest, StoredIntervalsSelectTheFirstItemBeginningWithTheirSeconds) {
  struct Case {
    const char* name;
    int passive, active;
    const char* wantPassive;
    const char* wantActive;
  };
  const Case cases[] = {
      {"defaults", 100, 10000, ".1", "10"},
      {"one second is not ten", 1000, 1000, "1", "1"},
      {"six seconds select sixty", 6000, 7000, "60", "7"},
      {"fractions and the largest", 300, 30000, ".3", "30"},
      {"off the lists: nothing", 150, 500, "", ""},
  };
  for (const Case& c : cases) {
    CSettings::m_nPassiveScanInterval = c.passive;
    CSettings::m_nActiveScanInterval = c.active;
    CSettingsDialog dialog;
    EXPECT_EQ(dialog.GetPassiveList()->currentText(), QString::fromLatin1(c.wantPassive)) << c.name;
    EXPECT_EQ(dialog.GetActiveList()->currentText(), QString::fromLatin1(c.wantActive)) << c.name;
  }
}

TEST_F(SettingsDialogTest, OkStoresTheChoicesAndRestartsTheTimersCancelChangesNothing) {
  CSettings::m_nPassiveScanInterval = 6000;
  auto frame = MakeFrame();
  CChildView* view = frame->GetView();

  // "60" stands selected for 6 s; OK takes it as 60 s.
  WhenModal<CSettingsDialog>([](CSettingsDialog* dialog) {
    Choose(dialog->GetActiveList(), "20");
    dialog->GetOkButton()->click();
  });
  frame->OnCommand(CMD_SETTINGS);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 60000);
  EXPECT_EQ(CSettings::m_nActiveScanInterval, 20000);
  EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", 0), 60000u);
  EXPECT_EQ(GetProfileInt("Scan", "Active Scan Interval", 0), 20000u);
  EXPECT_EQ(view->GetTimer(2)->interval(), 60000);
  EXPECT_EQ(view->GetTimer(1)->interval(), 20000);

  WhenModal<CSettingsDialog>([](CSettingsDialog* dialog) {
    Choose(dialog->GetPassiveList(), ".3");
    dialog->GetOkButton()->click();
  });
  frame->OnCommand(CMD_SETTINGS);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 300);
  EXPECT_EQ(view->GetTimer(2)->interval(), 300);

  WhenModal<CSettingsDialog>([](CSettingsDialog* dialog) {
    Choose(dialog->GetPassiveList(), "2");
    dialog->reject();
  });
  frame->OnCommand(CMD_SETTINGS);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 300);
  EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", 0), 300u);
  EXPECT_EQ(view->GetTimer(2)->interval(), 300);
}

TEST_F(SettingsDialogTest, IntervalWithoutSelectionAsksForANumberAndKeepsTheDialogOpen) {
  CSettings::m_nPassiveScanInterval = 150;
  CSettingsDialog dialog;
  dialog.show();
  QString prompt;
  bool stillOpen = false;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    prompt = box->text();
    stillOpen = dialog.isVisible();
    box->accept();
  });
  dialog.GetOkButton()->click();
  EXPECT_EQ(prompt, QStringLiteral("Please enter a number."));
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 150);
  EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", 0), 0u) << "nothing may be saved";

  Choose(dialog.GetPassiveList(), "5");
  dialog.GetOkButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 5000);
}

TEST_F(SettingsDialogTest, AdapterListIsSortedShowsTheChosenAdapterAndOkStoresIt) {
  UseWorld(TwoAdapters());
  const GUID first = wlantest::TestGuid(1), second = wlantest::TestGuid(2);
  auto frame = MakeFrame();

  CSettings::m_guidMonitorDevice = second;
  {
    CSettingsDialog dialog;
    QComboBox* list = dialog.GetAdapterList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), QStringLiteral("Attic adapter"));
    EXPECT_EQ(list->itemText(1), QStringLiteral("wireless Second"));
    EXPECT_EQ(list->currentText(), QStringLiteral("Attic adapter"));
    Choose(list, "wireless Second");
    dialog.GetOkButton()->click();
    EXPECT_EQ(CSettings::m_guidMonitorDevice, first);
  }

  // A GUID of no present adapter shows the first adapter; OK stores it.
  CSettings::m_guidMonitorDevice = wlantest::TestGuid(9);
  CSettingsDialog dialog;
  EXPECT_EQ(dialog.GetAdapterList()->currentText(), QStringLiteral("wireless Second"));
  dialog.GetOkButton()->click();
  EXPECT_EQ(CSettings::m_guidMonitorDevice, first);
  EXPECT_EQ(GetProfileString("Monitor", "Device GUID"), "5eed0001-0000-0000-0000-000000000001");
}

TEST_F(SettingsDialogTest, TestDialogSwitchesBackgroundScanningOfTheMonitoredAdapter) {
  UseWorld(TwoAdapters());
  const GUID first = wlantest::TestGuid(1), second = wlantest::TestGuid(2);
  // The first log window made is the main log: this one, not the frame's.
  wlantest::LogReader log;
  auto frame = MakeFrame();
  ASSERT_TRUE(wlansim::WaitForIdle());
  log.Take();
  ASSERT_TRUE(BackgroundScan(first));
  ASSERT_TRUE(BackgroundScan(second));

  // Ctrl+Alt+T's command; each button press, then OK.
  auto run = [&](const char* button) {
    WhenModal<CTestDialog>([button](CTestDialog* dialog) {
      dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
      dialog->GetOkButton()->click();
    });
    frame->OnCommand(CMD_TEST_DIALOG);
    ASSERT_TRUE(wlansim::WaitForIdle());
  };

  CSettings::m_guidMonitorDevice = second;
  run("disableButton");
  EXPECT_TRUE(BackgroundScan(first));
  EXPECT_FALSE(BackgroundScan(second));
  // The service's own notification is the only line.
  EXPECT_EQ(log.Take(), std::vector<std::string>{"ACM: Background scan disabled.\n"});

  // A GUID that matches no adapter: the first one.
  CSettings::m_guidMonitorDevice = wlantest::TestGuid(9);
  run("disableButton");
  EXPECT_FALSE(BackgroundScan(first));
  run("enableButton");
  EXPECT_TRUE(BackgroundScan(first));
  EXPECT_FALSE(BackgroundScan(second));
}
