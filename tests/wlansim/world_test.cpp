// World files, world checks, the default world and determinism under a seed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/wlansim/Radio.h"
#include "tests/common/test_support.h"
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

std::string WriteTemp(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(WorldFile, ShippedWorldsLoad) {
  wlansim::World w;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/small.json"), &w, &error)) << error;
  EXPECT_EQ(w.seed, 99u);
  EXPECT_EQ(w.timing.stepMs, 10u);
  ASSERT_EQ(w.adapters.size(), 1u);
  const auto& a = w.adapters[0];
  EXPECT_EQ(wlansim::GuidToText(a.guid), "{5E11A000-0000-4000-8000-00000000000A}");
  ASSERT_EQ(a.stations.size(), 3u);
  EXPECT_EQ(a.stations[2].ssid, "Tiny Peer");  // from ssidHex
  EXPECT_EQ(a.stations[2].bssType, dot11_BSS_type_independent);
  EXPECT_TRUE(a.stations[0].securityEnabled);
  EXPECT_FALSE(a.stations[1].securityEnabled);
  EXPECT_EQ(a.stations[1].presentMs, 5000u);
  ASSERT_EQ(a.profiles.size(), 2u);
  EXPECT_NE(a.profiles[1].find("<connectionMode>manual</connectionMode>"), std::string::npos);

  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/two-adapters.json"), &w, &error)) << error;
  ASSERT_EQ(w.adapters.size(), 2u);
  EXPECT_FALSE(w.adapters[1].ready);
}

TEST(WorldFile, ErrorsNameTheFileAndTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* mentions;
  };
  const Case cases[] = {
      // Syntax: a missing comma on line 4.
      {"{\n  \"seed\": 1,\n  \"adapters\": [\n    {\"guid\": \"{0A1B2C3D-0000-4000-8000-000000000001}\" \"x\": 1}\n  ]\n}",
       4, ""},
      // Schema: a frequency outside both bands, on line 6.
      {"{\n  \"adapters\": [\n    {\n      \"guid\": \"{0A1B2C3D-0000-4000-8000-000000000001}\",\n"
       "      \"stations\": [ {\"bssid\": \"02:00:00:00:00:01\",\n        \"frequencyKHz\": 3000000} ]\n    }\n  ]\n}",
       6, "adapters[0].stations[0].frequencyKHz"},
      // Schema: an unknown AKM name, on line 6.
      {"{\n  \"adapters\": [\n    {\n      \"guid\": \"{0A1B2C3D-0000-4000-8000-000000000001}\",\n"
       "      \"stations\": [ {\"bssid\": \"02:00:00:00:00:01\",\n        \"akm\": \"wpa4\"} ]\n    }\n  ]\n}",
       6, "adapters[0].stations[0].akm: 'wpa4' is not one of none, wep"},
      // Schema: wrong type, on line 3.
      {"{\n  \"timing\": {\n    \"scanMs\": \"fast\"\n  }\n}", 3, "timing.scanMs: expected a number"},
      // Schema: unknown key, on line 2.
      {"{\n  \"adapter\": []\n}", 2, "unknown key 'adapter'"},
      // Schema: an SSID of 33 bytes, on line 5.
      {"{\"adapters\": [{\n \"guid\": \"0A1B2C3D-0000-4000-8000-000000000001\",\n \"stations\": [\n  {\"bssid\": "
       "\"02:00:00:00:00:01\",\n   \"ssid\": \"123456789012345678901234567890123\"}]}]}",
       5, "SSID longer than 32 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = WriteTemp("bad-world.json", c.text);
    wlansim::World w;
    w.seed = 555;
    std::string error;
    EXPECT_FALSE(wlansim::LoadWorldFile(path, &w, &error));
    EXPECT_EQ(error.rfind(path + ":" + std::to_string(c.line) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_EQ(w.seed, 555u) << "the world is left alone";
  }
}

TEST(WorldFile, UnreadableOrBrokenDefaultWorldFallsBackToTheBuiltInOne) {
  const GUID builtIn = wlansim::BuiltInWorld().adapters[0].guid;
  const std::string missing = ::testing::TempDir() + "no-such-world.json";
  ::setenv("AERLUME_SIM_WORLD", missing.c_str(), 1);
  testing::internal::CaptureStderr();
  wlansim::ResetToDefault();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind(missing + ":1: ", 0), 0u) << err;
  EXPECT_EQ(wlansim::AdapterGuid(0), builtIn);

  const std::string broken = WriteTemp("broken-world.json", "{\n\n  \"seed\": ,\n}");
  ::setenv("AERLUME_SIM_WORLD", broken.c_str(), 1);
  testing::internal::CaptureStderr();
  wlansim::ResetToDefault();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind(broken + ":3: ", 0), 0u) << err;
  EXPECT_EQ(wlansim::AdapterGuid(0), builtIn);

  ::setenv("AERLUME_SIM_WORLD", testsupport::SourcePath("tests/worlds/small.json").c_str(), 1);
  wlansim::ResetToDefault();
  ::unsetenv("AERLUME_SIM_WORLD");
  GUID tiny{};
  ASSERT_TRUE(wlansim::ParseGuid("{5E11A000-0000-4000-8000-00000000000A}", &tiny));
  EXPECT_EQ(wlansim::AdapterGuid(0), tiny);
  EXPECT_EQ(wlansim::InterfaceState(tiny), wlan_interface_state_connected);
  wlansim::ResetToDefault();
}

TEST(WorldFile, InvalidWorldsAreRefusedWithTheirPath) {
  wlansim::World w = SmallWorld();
  w.adapters[0].stations[1].bssid = w.adapters[0].stations[0].bssid;
  std::string error;
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  EXPECT_EQ(error, "adapters[0].stations[1].bssid: duplicate BSSID on this adapter");
  w = SmallWorld();
  w.adapters[0].profiles.push_back("<WLANProfile/>");
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  EXPECT_NE(error.find("adapters[0].profiles[2]"), std::string::npos);
  w = SmallWorld();
  w.timing.signalIntervalMs = 0;
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  // Beacons can only advertise a width their standard has on their band.
  w = SmallWorld();
  w.adapters[0].stations[0].frequencyKHz = 2437000;
  w.adapters[0].stations[0].standard = "ax";
  w.adapters[0].stations[0].widthMHz = 80;
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  EXPECT_EQ(error, "adapters[0].stations[0].widthMHz: 80 MHz is not offered by that standard on that band");
  w.adapters[0].stations[0].frequencyKHz = 6135000;
  EXPECT_TRUE(wlansim::ResetWorld(w, &error)) << error;
  w.adapters[0].stations[0].widthMHz = 320;
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  w.adapters[0].stations[0].standard = "be";
  EXPECT_TRUE(wlansim::ResetWorld(w, &error)) << error;
  w.adapters[0].stations[0].akm = "wpa4";
  EXPECT_FALSE(wlansim::ResetWorld(w, &error));
  EXPECT_EQ(error, "adapters[0].stations[0].akm: not a known AKM name");
  wlansim::ResetToDefault();
}

// A run of the service under the manual clock: signal samples and
// notifications over a minute of service time.
std::vector<std::string> Replay(std::uint64_t seed) {
  wlansim::World w = wlansim::BuiltInWorld();
  w.seed = seed;
  wlansim::UseManualClock(true);
  EXPECT_TRUE(wlansim::ResetWorld(w));
  const GUID guid = wlansim::AdapterGuid(0);
  DWORD version = 0;
  HANDLE h = nullptr;
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_SUCCESS);
  Recorder rec;
  EXPECT_EQ(WlanRegisterNotification(h, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &Recorder::Callback, &rec, nullptr,
                                     nullptr),
            ERROR_SUCCESS);
  std::vector<std::string> trace;
  for (int step = 0; step < 60; ++step) {
    WLAN_BSS_LIST* list = nullptr;
    EXPECT_EQ(WlanGetNetworkBssList(h, &guid, nullptr, dot11_BSS_type_any, FALSE, nullptr, &list), ERROR_SUCCESS);
    std::string line;
    for (DWORD i = 0; list && i < list->dwNumberOfItems; ++i)
      line += std::to_string(list->wlanBssEntries[i].lRssi) + ",";
    WlanFreeMemory(list);
    trace.push_back(line);
    wlansim::AdvanceClock(1000);
    EXPECT_TRUE(wlansim::WaitForIdle());
  }
  for (const Received& r : rec.Take())
    trace.push_back(std::to_string(r.source) + "/" + std::to_string(r.code) + "/" + std::to_string(DwordAt(r.payload, 0)));
  EXPECT_EQ(WlanCloseHandle(h, nullptr), ERROR_SUCCESS);
  return trace;
}

TEST(Determinism, SameSeedReplaysAndAnotherSeedDiffers) {
  const auto first = Replay(1234);
  const auto second = Replay(1234);
  EXPECT_EQ(first, second);
  EXPECT_GT(first.size(), 60u) << "signal-quality notifications were part of the run";
  EXPECT_NE(first, Replay(4321));
  wlansim::ResetToDefault();
}

TEST(Determinism, SeedFromTheEnvironmentOverridesTheDefaultWorld) {
  ::setenv("AERLUME_SIM_SEED", "1234", 1);
  wlansim::ResetToDefault();
  ::unsetenv("AERLUME_SIM_SEED");
  wlansim::UseManualClock(true);  // keeps time 0 of the reset world
  const GUID guid = wlansim::AdapterGuid(0);
  DWORD version = 0;
  HANDLE h = nullptr;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_SUCCESS);
  DWORD size = 0;
  PVOID data = nullptr;
  ASSERT_EQ(WlanQueryInterface(h, &guid, wlan_intf_opcode_rssi, nullptr, &size, &data, nullptr), ERROR_SUCCESS);
  const LONG rssi = *static_cast<LONG*>(data);
  WlanFreeMemory(data);
  const std::int64_t now = wlansim::Now();
  EXPECT_EQ(rssi, wlansim::RssiAt(1234, wlansim::BuiltInWorld().adapters[0].stations[0], now));
  EXPECT_EQ(WlanCloseHandle(h, nullptr), ERROR_SUCCESS);
  wlansim::ResetToDefault();
}

TEST(Radio, SignalStaysInRangeAndPresenceFollowsItsSchedule) {
  wlansim::AccessPoint ap;
  ap.baseRssi = -22;
  ap.driftDb = 20;
  ap.bssid = {2, 0, 0, 0, 0, 9};
  for (std::int64_t t = -5000; t < 120000; t += 250) {
    const LONG rssi = wlansim::RssiAt(3, ap, t);
    ASSERT_GE(rssi, -100);
    ASSERT_LE(rssi, -20);
    ASSERT_EQ(wlansim::QualityFromRssi(rssi), static_cast<ULONG>(std::min(100, 2 * (rssi + 100))));
  }
  EXPECT_EQ(wlansim::QualityFromRssi(-100), 0u);
  EXPECT_EQ(wlansim::QualityFromRssi(-50), 100u);
  EXPECT_EQ(wlansim::QualityFromRssi(-75), 50u);

  ap.presentMs = 20000;
  ap.absentMs = 15000;
  EXPECT_TRUE(wlansim::ScheduledPresent(ap, 0));
  EXPECT_TRUE(wlansim::ScheduledPresent(ap, 19999));
  EXPECT_FALSE(wlansim::ScheduledPresent(ap, 20000));
  EXPECT_FALSE(wlansim::ScheduledPresent(ap, 34999));
  EXPECT_TRUE(wlansim::ScheduledPresent(ap, 35000));
  EXPECT_EQ(wlansim::NextDeparture(ap, 0), 20000);
  EXPECT_EQ(wlansim::NextDeparture(ap, 25000), 55000);
  EXPECT_EQ(wlansim::ChannelOf(2412000), 1u);
  EXPECT_EQ(wlansim::ChannelOf(2484000), 14u);
  EXPECT_EQ(wlansim::ChannelOf(5745000), 149u);
}

}  // namespace
}  // namespace simtest
