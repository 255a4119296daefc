// Profiles saved while the program runs: what the client's list holds after
// a save, and saves that add profiles while refresh workers look profiles up
// (meant for the ThreadSanitizer run as much as for the assertions).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/WIFIProfile.h"

namespace {

wlansim::ProfileFields Fields(const std::string& name, const std::string& ssid, bool autoConnect) {
  wlansim::ProfileFields fields;
  fields.name = name;
  fields.ssid = ssid;
  fields.autoConnect = autoConnect;
  return fields;
}

TEST(ProfileSave, UpdatesTheSavedProfileInPlaceAppendsNewNamesAndKeepsAnotherAdaptersProfile) {
  wlantest::LogReader log;
  wlantest::RecordingObserver observer;
  wlansim::World world = wlantest::AdaptersWorld(2);
  world.adapters[0].profiles = {wlansim::BuildProfileXml(Fields("Home", "Home", true))};
  world.adapters[1].profiles = {wlansim::BuildProfileXml(Fields("Shared", "Shared", true))};
  world.adapters[0].profiles.push_back(wlansim::BuildProfileXml(Fields("Shared", "Shared", true)));
  wlantest::UseWorld(world);
  CNativeWIFIInterface client(observer.GetSafeHwnd());
  client.Initialize();
  ASSERT_EQ(client.GetProfileCount(), 2);  // "Shared" of adapter 0 only
  CWIFIProfile* home = client.FindProfile("Home");
  CWIFIProfile* shared = client.FindProfile("Shared");
  ASSERT_TRUE(home && shared && home->m_bAutoConnect);

  const std::string manual = wlansim::BuildProfileXml(Fields("Home", "Home", false));
  DWORD reason = 1;
  ASSERT_EQ(client.SaveProfile(client.GetDevice(0), manual, &reason), ERROR_SUCCESS);
  EXPECT_EQ(reason, 0u);
  EXPECT_EQ(client.FindProfile("Home"), home) << "updated in place";
  EXPECT_EQ(home->m_strXml, manual);
  EXPECT_FALSE(home->m_bAutoConnect);

  // Adapter 1 saves its own "Shared": the list keeps adapter 0's profile.
  const std::string sharedManual = wlansim::BuildProfileXml(Fields("Shared", "Shared", false));
  ASSERT_EQ(client.SaveProfile(client.GetDevice(1), sharedManual, &reason), ERROR_SUCCESS);
  EXPECT_TRUE(shared->m_bAutoConnect);
  EXPECT_EQ(shared->m_pDevice, client.GetDevice(0));

  ASSERT_EQ(client.SaveProfile(client.GetDevice(0), wlansim::BuildProfileXml(Fields("Office", "Office", true)), &reason),
            ERROR_SUCCESS);
  ASSERT_EQ(client.GetProfileCount(), 3);
  const CWIFIProfile* office = client.FindProfile("Office");
  ASSERT_NE(office, nullptr);
  EXPECT_EQ(office->m_nPosition, 2);
  EXPECT_EQ(office->m_pDevice, client.GetDevice(0));

  // Refused: the reason comes back and nothing changes.
  wlansim::RefuseProfileSaves(WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA);
  EXPECT_EQ(client.SaveProfile(client.GetDevice(0), wlansim::BuildProfileXml(Fields("Home", "Home", true)), &reason),
            ERROR_BAD_PROFILE);
  EXPECT_EQ(reason, static_cast<DWORD>(WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA));
  EXPECT_EQ(home->m_strXml, manual);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ProfileSave), 1);
  wlansim::ResetToDefault();
}

TEST(ProfileSave, SavesThatAddProfilesRunBesideRefreshWorkersThatLookProfilesUp) {
  wlantest::LogReader log;
  wlantest::RecordingObserver observer;
  // Networks keep appearing while the clock moves, so every refresh pass
  // looks profile names up.
  wlansim::World world = wlantest::AdaptersWorld(1);
  for (int i = 0; i < 80; ++i) {
    wlansim::AccessPoint ap;
    ap.bssid = {0x02, 0x20, 0x00, 0x00, 0x00, static_cast<UCHAR>(i)};
    ap.ssid = "Net" + std::to_string(i);
    // Away until 40 * i ms, then present for good.
    ap.presentMs = 1000000;
    ap.absentMs = static_cast<ULONG>(40 * i + 1);
    ap.presenceOffsetMs = 1000000;
    world.adapters[0].stations.push_back(ap);
  }
  wlantest::UseWorld(world);
  auto client = std::make_unique<CNativeWIFIInterface>(observer.GetSafeHwnd());
  client->Initialize();
  CNativeWIFIDevice* device = client->GetDevice(0);

  std::atomic<bool> stop{false};
  std::thread clock([&] {
    while (!stop) {
      wlansim::AdvanceClock(10);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int saves = 0;
  while (saves < 60) {
    device->StartRefresh();
    const std::string name = "Net" + std::to_string(saves);
    ASSERT_EQ(client->SaveProfile(device, wlansim::BuildProfileXml(Fields(name, name, saves % 2 == 0)), nullptr),
              ERROR_SUCCESS);
    ++saves;
    testsupport::SpinUntil([] { return false; }, std::chrono::milliseconds(2));
  }
  stop = true;
  clock.join();
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !device->IsRefreshRunning(); }));
  EXPECT_EQ(client->GetProfileCount(), 60);
  EXPECT_GT(device->GetNetworkCount(), 10) << "networks appeared during the saves";
  client.reset();
  wlansim::ResetToDefault();
}

}  // namespace
