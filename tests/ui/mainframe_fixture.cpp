#include "tests/ui/mainframe_fixture.h"

#include <cstdlib>

#include "platform/appprofile.h"
#include "settings/Settings.h"
#include "ui/SystemTray.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace fs = std::filesystem;

void MainFrameTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "aerlume-frame-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  m_root = pattern;
  fs::create_directories(RunDir());
  if (const char* home = std::getenv("XDG_CONFIG_HOME")) {
    m_hadDirs = true;
    m_savedDirs = home;
  }
  setenv("XDG_CONFIG_HOME", (m_root / "xdg").c_str(), 1);
  setenv("AERLUME_NO_ANIMATION", "1", 1);
  // The offscreen platform has no notification area; these tests assume a
  // desktop with one unless they say otherwise.
  CSystemTray::SetTrayHostProbe([] { return true; });
  // The offscreen platform cannot size, raise or grab windows; it says so.
  testsupport::ExpectQtWarning("This plugin does not support");
  SetRegistryKey("Local AppWizard-Generated Applications");
  SetProfileFilePath((m_root / "profile.ini").string());
  CSettings::m_nActiveScanInterval = CSettings::kDefaultActiveScanInterval;
  CSettings::m_nPassiveScanInterval = CSettings::kDefaultPassiveScanInterval;
  CSettings::m_bAutorun = false;
  CSettings::m_bAutoRetry = true;
  CSettings::m_guidMonitorDevice = GUID{};

  wlansim::UseManualClock(true);
  wlansim::ClearFaults();
  UseWorldFile("small.json");
}

void MainFrameTest::TearDown() {
  wlansim::ResetToDefault();
  CSystemTray::SetTrayHostProbe(nullptr);
  SetProfileFilePath(std::string());
  if (m_hadDirs)
    setenv("XDG_CONFIG_HOME", m_savedDirs.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  std::error_code ec;
  fs::remove_all(m_root, ec);
}

void MainFrameTest::UseWorldFile(const std::string& name) {
  wlansim::World world;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/" + name), &world, &error)) << error;
  UseWorld(world);
}

void MainFrameTest::UseWorld(const wlansim::World& world) {
  std::string error;
  ASSERT_TRUE(wlansim::ResetWorld(world, &error)) << error;
}

std::unique_ptr<CMainFrame> MainFrameTest::MakeFrame(int stations) { return MakeFrameOf<CMainFrame>(stations); }

bool MainFrameTest::WaitForRows(CMainFrame& frame, int rows) {
  // The view's list timer starts the adapters' refresh workers and merges
  // their tables; the manual clock keeps the world as it was at time 0.
  return testsupport::SpinUntil([&] { return frame.GetView()->GetList()->model()->rowCount() >= rows; });
}

CStation* MainFrameTest::Station(CMainFrame& frame, const char* bssid) {
  UCHAR mac[6] = {};
  unsigned parts[6] = {};
  if (std::sscanf(bssid, "%x:%x:%x:%x:%x:%x", &parts[0], &parts[1], &parts[2], &parts[3], &parts[4], &parts[5]) != 6)
    return nullptr;
  for (int i = 0; i < 6; ++i) mac[i] = static_cast<UCHAR>(parts[i]);
  CNativeWIFIInterface* client = frame.GetWlanInterface();
  return client->GetDeviceCount() > 0 ? client->GetDevice(0)->FindStation(mac) : nullptr;
}

int MainFrameTest::RunEntryCount() const {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(RunDir(), ec))
    if (entry.path().extension() == ".desktop") ++count;
  return count;
}
