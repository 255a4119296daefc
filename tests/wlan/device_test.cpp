// The adapter monitor on the simulated service: merging the lists into the
// tables, active scans, profile rewriting, notification handling and the
// connection requests it builds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/wlanapi.h"
#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"

using testing::ElementsAre;
using wlantest::LogReader;
using wlantest::RecordingObserver;
using wlantest::TestGuid;

namespace {

std::int64_t g_now = 1000000;
std::int64_t TestNow() { return g_now; }

wlansim::AccessPoint Ap(BYTE last, const std::string& ssid, DOT11_CIPHER_ALGORITHM cipher = DOT11_CIPHER_ALGO_NONE,
                        const std::string& key = "") {
  wlansim::AccessPoint ap;
  ap.bssid = {0x02, 0x00, 0x00, 0x00, 0x00, last};
  ap.ssid = ssid;
  ap.cipher = cipher;
  ap.securityEnabled = cipher != DOT11_CIPHER_ALGO_NONE;
  ap.authAlgorithm = cipher == DOT11_CIPHER_ALGO_CCMP   ? DOT11_AUTH_ALGO_RSNA_PSK
                     : cipher == DOT11_CIPHER_ALGO_NONE ? DOT11_AUTH_ALGO_80211_OPEN
                                                        : DOT11_AUTH_ALGO_80211_SHARED_KEY;
  ap.key = key;
  ap.driftDb = 0;
  ap.baseRssi = -50 - last;
  return ap;
}

std::string Profile(const std::string& name, const std::string& ssid, bool autoConnect, bool autoSwitch,
                    const std::string& key = "") {
  wlansim::ProfileFields spec;
  spec.name = name;
  spec.ssid = ssid;
  spec.autoConnect = autoConnect;
  spec.autoSwitch = autoSwitch;
  if (!key.empty()) {
    spec.authentication = "WPA2PSK";
    spec.encryption = "AES";
    spec.key = key;
  }
  return wlansim::BuildProfileXml(spec);
}

wlansim::World OneAdapter(std::vector<wlansim::AccessPoint> stations, std::vector<std::string> profiles = {}) {
  wlansim::World world = wlantest::AdaptersWorld(1);
  world.adapters[0].stations = std::move(stations);
  world.adapters[0].profiles = std::move(profiles);
  world.timing.stepMs = 10;
  world.timing.scanMs = 100;
  return world;
}

class DeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_log.Registered());
    SetDeviceTimeSource(&TestNow);
  }
  void TearDown() override {
    m_client.reset();
    SetDeviceTimeSource(nullptr);
    wlansim::ResetToDefault();
  }
  CNativeWIFIDevice& Start(const wlansim::World& world) {
    wlantest::UseWorld(world);
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    EXPECT_EQ(m_client->GetDeviceCount(), 1);
    m_log.Take();
    return *m_client->GetDevice(0);
  }
  static void Refresh(CNativeWIFIDevice& device) {
    device.RefreshNetworks();
    device.RefreshStations();
  }
  // Lets the service deliver what is due after `ms` and waits for it.
  void Advance(std::uint32_t ms) {
    wlansim::AdvanceClock(ms);
    ASSERT_TRUE(wlansim::WaitForIdle());
  }

  LogReader m_log;
  RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

TEST_F(DeviceTest, NetworksMergeByIdentityIgnoringAsciiCase) {
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "Cafe"), Ap(2, "CAFE"), Ap(3, "Cafe", DOT11_CIPHER_ALGO_CCMP, "k"),
                                                Ap(4, "caf\xC3\xA9"), Ap(5, "CAF\xC3\x89")}));
  Refresh(device);
  // Case-only ASCII differences make one network; another cipher another
  // one; bytes outside ASCII are compared exactly.
  ASSERT_EQ(device.GetNetworkCount(), 4);
  EXPECT_EQ(device.GetNetwork(3)->GetSSID(), "CAF\xC3\x89");
  EXPECT_EQ(device.GetNetwork(0)->GetSSID(), "Cafe");
  EXPECT_EQ(device.GetNetwork(1)->m_nCipherAlgorithm, DOT11_CIPHER_ALGO_CCMP);
  // BSS lists are asked with the SSID of the network's first entry, and the
  // service matches SSIDs exactly: the "CAFE" access point is not listed.
  ASSERT_EQ(device.GetStationCount(), 4);
  EXPECT_EQ(device.FindStation(Ap(2, "").bssid.data()), nullptr);
  EXPECT_EQ(device.FindStation(Ap(1, "").bssid.data())->m_pNetwork, device.GetNetwork(0));
  Refresh(device);
  EXPECT_EQ(device.GetNetworkCount(), 4);
  EXPECT_EQ(device.GetStationCount(), 4);
}

TEST_F(DeviceTest, ABssidHeardUnderTwoNetworksStaysOneStationAndIsNotMissing) {
  // The BSS list of a network is asked by SSID and security flag, so two
  // secured networks of one SSID with different ciphers both report every
  // secured BSSID of that SSID.
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "Lab", DOT11_CIPHER_ALGO_WEP40, "k"),
                                                Ap(2, "Lab", DOT11_CIPHER_ALGO_WEP104, "k")}));
  Refresh(device);
  ASSERT_EQ(device.GetNetworkCount(), 2);
  ASSERT_EQ(device.GetStationCount(), 2);
  CStation* first = device.GetStation(0);
  CStation* second = device.GetStation(1);
  EXPECT_EQ(first->m_pNetwork, device.GetNetwork(0));
  EXPECT_EQ(second->m_pNetwork, device.GetNetwork(0));  // the network that reported it first
  first->TakeChanged();
  second->TakeChanged();
  Refresh(device);
  EXPECT_EQ(device.GetStationCount(), 2);
  EXPECT_NE(first->m_lRssi.load(), CStation::kMissingRssi);
  EXPECT_NE(second->m_lRssi.load(), CStation::kMissingRssi);
  EXPECT_FALSE(first->TakeChanged());
}

TEST_F(DeviceTest, MissingStationKeepsItsRowAndComesBackWithItsFirstSighting) {
  wlansim::World world = OneAdapter({Ap(1, "Stay"), Ap(2, "Wander")});
  CNativeWIFIDevice& device = Start(world);
  g_now = 1000000;
  Refresh(device);
  CStation* wanderer = device.FindStation(world.adapters[0].stations[1].bssid.data());
  ASSERT_NE(wanderer, nullptr);
  const LONG rssi = wanderer->m_lRssi;
  wanderer->TakeChanged();

  // Heard again with the same values: not changed, but last seen advances.
  g_now += 5;
  Refresh(device);
  EXPECT_FALSE(wanderer->TakeChanged());
  EXPECT_EQ(wanderer->m_tLastSeen.load(), 1000005);

  // Gone for a pass: -100 / 0 and changed; the network stays and is asked again.
  ASSERT_TRUE(wlansim::SetStationPresence(TestGuid(1), world.adapters[0].stations[1].bssid, wlansim::Presence::Absent));
  g_now += 5;
  Refresh(device);
  EXPECT_EQ(wanderer->m_lRssi.load(), CStation::kMissingRssi);
  EXPECT_EQ(wanderer->m_uLinkQuality.load(), 0u);
  EXPECT_TRUE(wanderer->TakeChanged());
  EXPECT_EQ(wanderer->m_tLastSeen.load(), 1000005);
  EXPECT_EQ(device.GetStationCount(), 2);
  EXPECT_EQ(device.GetNetworkCount(), 2);

  ASSERT_TRUE(wlansim::SetStationPresence(TestGuid(1), world.adapters[0].stations[1].bssid, wlansim::Presence::Present));
  g_now += 5;
  Refresh(device);
  EXPECT_EQ(wanderer->m_lRssi.load(), rssi);
  EXPECT_TRUE(wanderer->TakeChanged());
  EXPECT_EQ(wanderer->m_tFirstSeen, 1000000);
  EXPECT_EQ(wanderer->m_tLastSeen.load(), 1000015);
}

TEST_F(DeviceTest, FirstListEntryOfAnIdentityDecidesTheProfileLink) {
  // Two stored profiles for one SSID: the service lists an entry for each,
  // in preference order, then the plain one; the first entry links.
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "Home"), Ap(2, "Guest")},
                                               {Profile("Second", "Home", true, false), Profile("Home", "Home", true, true)}));
  Refresh(device);
  ASSERT_EQ(device.GetNetworkCount(), 2);
  CWIFINetwork* home = device.GetNetwork(0);
  ASSERT_NE(home->m_pProfile, nullptr);
  EXPECT_EQ(home->m_pProfile->m_strName, "Second");
  EXPECT_EQ(home->m_pProfile->m_nPosition, 0);
  EXPECT_EQ(device.GetNetwork(1)->m_pProfile, nullptr);
  EXPECT_EQ(device.GetNetwork(1)->m_strProfileName, "");
}

TEST_F(DeviceTest, ActiveScanOnlyInQuietStatesAndOnlyOncePending) {
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "Any")}));
  // Every WlanScan call is counted by a fault that makes it fail.
  wlansim::InjectFault(wlansim::Op::Scan, ERROR_GEN_FAILURE);
  for (DWORD state = 0; state <= 7; ++state) {
    SCOPED_TRACE(state);
    device.m_bScanPending = false;
    device.m_nInterfaceState = state;
    const int callsBefore = wlansim::FaultHits(wlansim::Op::Scan);
    const std::size_t broadcastsBefore = m_observer.Count();
    device.RequestScan();
    device.RequestScan();
    const bool scans = state == 1 || state == 2 || state == 4;
    EXPECT_EQ(wlansim::FaultHits(wlansim::Op::Scan) - callsBefore, scans ? 1 : 0);
    EXPECT_EQ(m_observer.Count() - broadcastsBefore, scans ? 1u : 0u);
    // A failed call leaves the scan pending.
    EXPECT_EQ(device.m_bScanPending.load(), scans);
  }
  for (const auto& seen : m_observer.Seen()) EXPECT_TRUE(seen.scanRequest);

  // The service's scan-failed notification clears it; nothing is logged.
  wlansim::ClearFaults();
  wlansim::FailScans(0x2800A, 1);
  device.m_bScanPending = false;
  device.m_nInterfaceState = wlan_interface_state_disconnected;
  EXPECT_EQ(device.RequestScan(), ERROR_SUCCESS);
  Advance(100);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return !device.m_bScanPending; }));
  EXPECT_TRUE(m_log.Take().empty());
}

TEST_F(DeviceTest, ProfilesSwitchToManualAndBackInEveryCombination) {
  const std::vector<std::string> docs = {Profile("AutoOn", "A", true, true), Profile("AutoOff", "B", true, false),
                                         Profile("ManualOn", "C", false, true), Profile("ManualOff", "D", false, false)};
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "A"), Ap(2, "B"), Ap(3, "C"), Ap(4, "D")}, docs));
  Refresh(device);
  auto stored = [](const char* name) { return wlansim::GetProfileXml(TestGuid(1), name).value_or("(none)"); };
  auto has = [](const std::string& doc, const std::string& part) { return doc.find(part) != std::string::npos; };
  const std::string manual = "<connectionMode>manual</connectionMode>";
  const std::string automatic = "<connectionMode>auto</connectionMode>";
  const std::string switchOn = "<autoSwitch>true</autoSwitch>";
  const std::string switchOff = "<autoSwitch>false</autoSwitch>";

  // Each save the service accepts is announced with a profile-change notification.
  auto changes = [&](std::size_t count) {
    EXPECT_TRUE(wlansim::WaitForIdle());
    EXPECT_EQ(m_log.Take(), std::vector<std::string>(count, "ACM: Profile changed.\n"));
  };
  device.SetProfilesAutoConnect(false);
  changes(2);
  EXPECT_TRUE(has(stored("AutoOn"), manual) && has(stored("AutoOn"), switchOff));
  EXPECT_TRUE(has(stored("AutoOff"), manual) && has(stored("AutoOff"), switchOff));
  // Manual profiles are never rewritten or saved.
  EXPECT_EQ(stored("ManualOn"), docs[2]);
  EXPECT_EQ(stored("ManualOff"), docs[3]);

  device.SetProfilesAutoConnect(true);
  changes(2);
  EXPECT_EQ(stored("AutoOn"), docs[0]);
  EXPECT_TRUE(has(stored("AutoOff"), automatic) && has(stored("AutoOff"), switchOff));
  EXPECT_EQ(stored("AutoOff"), docs[1]);
  EXPECT_EQ(stored("ManualOn"), docs[2]);

  // A refused save is logged; the rewritten text is kept and saved next time.
  wlansim::RefuseProfileSaves(0x80001);
  device.SetProfilesAutoConnect(false);
  EXPECT_TRUE(wlansim::WaitForIdle());
  EXPECT_EQ(stored("AutoOn"), docs[0]);
  CWIFIProfile* autoOn = m_client->FindProfile("AutoOn");
  ASSERT_NE(autoOn, nullptr);
  EXPECT_TRUE(has(autoOn->m_strXml, manual));
  EXPECT_THAT(m_log.Take(), ElementsAre("Couldn't save profile AutoOn, reason: invalid profile schema\n",
                                        "Couldn't save profile AutoOff, reason: invalid profile schema\n"));
  wlansim::ClearFaults();
  device.SetProfilesAutoConnect(true);
  changes(2);
  EXPECT_EQ(stored("AutoOn"), docs[0]);
  EXPECT_TRUE(autoOn->m_bAutoConnect && autoOn->m_bAutoSwitch);
}

TEST_F(DeviceTest, SameProfileNameOnTwoAdaptersIsTheFirstAdaptersProfile) {
  wlansim::World world = wlantest::AdaptersWorld(2);
  world.adapters[0].profiles = {Profile("Other", "X", false, false), Profile("Shared", "S", true, true)};
  world.adapters[1].profiles = {Profile("Shared", "S", false, false)};
  wlantest::UseWorld(world);
  m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
  m_client->Initialize();
  ASSERT_EQ(m_client->GetProfileCount(), 2);
  CWIFIProfile* shared = m_client->FindProfile("Shared");
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->m_pDevice, m_client->GetDevice(0));
  EXPECT_EQ(shared->m_nPosition, 1);
  EXPECT_TRUE(shared->m_bAutoConnect);
  EXPECT_EQ(m_client->FindProfile("shared"), nullptr);  // names are case-sensitive
}

// Builds a connection notification payload of `size` bytes.
std::vector<BYTE> ConnectionPayload(DWORD size, WLAN_CONNECTION_MODE mode, const std::string& ssid, DWORD reason,
                                    const std::u16string& profile = u"Home", const std::u16string& xml = u"") {
  std::vector<BYTE> bytes(std::max<DWORD>(size, sizeof(WLAN_CONNECTION_NOTIFICATION_DATA)), 0);
  WLAN_CONNECTION_NOTIFICATION_DATA data{};
  data.wlanConnectionMode = mode;
  std::copy(profile.begin(), profile.end(), data.strProfileName);
  data.dot11Ssid.uSSIDLength = static_cast<ULONG>(ssid.size());
  std::memcpy(data.dot11Ssid.ucSSID, ssid.data(), ssid.size());
  data.dot11BssType = dot11_BSS_type_infrastructure;
  data.wlanReasonCode = reason;
  std::memcpy(bytes.data(), &data, sizeof data - sizeof(WCHAR));
  const std::size_t xmlAt = offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileXml);
  for (std::size_t i = 0; i < xml.size() && xmlAt + 2 * i + 1 < bytes.size(); ++i)
    std::memcpy(&bytes[xmlAt + 2 * i], &xml[i], sizeof(WCHAR));
  bytes.resize(size);
  return bytes;
}

TEST_F(DeviceTest, EveryNotificationRowOfTheMonitorTable) {
  CNativeWIFIDevice& device = Start(OneAdapter({Ap(1, "Home")}));
  auto send = [&](DWORD source, DWORD code, std::vector<BYTE> payload = {}) {
    WLAN_NOTIFICATION_DATA n{};
    n.NotificationSource = source;
    n.NotificationCode = code;
    n.InterfaceGuid = device.GetGuid();
    n.dwDataSize = static_cast<DWORD>(payload.size());
    n.pData = payload.empty() ? nullptr : payload.data();
    CNativeWIFIInterface::OnWlanNotification(&n, m_client.get());
  };
  const DWORD acm = WLAN_NOTIFICATION_SOURCE_ACM, msm = WLAN_NOTIFICATION_SOURCE_MSM;
  const std::u16string doc = u"<WLANProfile>\n\t<name>Home</name>\n</WLANProfile>";
  send(acm, 9, ConnectionPayload(572, wlan_connection_mode_auto, "Home", 0));
  send(acm, 9, ConnectionPayload(571, wlan_connection_mode_auto, "Home", 0));
  send(acm, 9, ConnectionPayload(580, wlan_connection_mode_auto, "Home", 0));
  send(acm, 10, ConnectionPayload(572, wlan_connection_mode_profile, "Home", 0, u"Home", u"<ignored/>"));
  send(acm, 10, ConnectionPayload(568 + 2 * static_cast<DWORD>(doc.size() + 1), wlan_connection_mode_discovery_unsecure,
                                  "Home", 0, u"Home", doc));
  send(acm, 10, ConnectionPayload(572, wlan_connection_mode_profile, "Home", 0x2800D));
  send(acm, 10, ConnectionPayload(571, wlan_connection_mode_profile, "Home", 0x2800D));
  send(acm, 7);
  send(acm, 8, {1, 0, 2, 0});
  send(acm, 18);
  send(acm, 19);
  send(acm, 5);
  send(acm, 21);
  send(msm, 8, {50, 0, 0, 0});
  send(msm, 2);
  send(msm, 14);
  send(WLAN_NOTIFICATION_SOURCE_SECURITY, 1);
  send(WLAN_NOTIFICATION_SOURCE_IHV, 1);
  EXPECT_THAT(m_log.Take(),
              ElementsAre("ACM: Connecting to Infrastructure network 'Home' using profile 'Home', via Automatic "
                          "connection with a profile.\n",
                          "ACM: The connection succeeded.\n", "ACM: The connection succeeded.\n",
                          "ACM: The profile used for this connection is as follows:\n",
                          "(no stamp) <WLANProfile>\n", "(no stamp) \t<name>Home</name>\n", "(no stamp) </WLANProfile>\n",
                          "ACM: The connection failed because: key mismatch\n",
                          "ACM: Unknown ACM notification.\n", "ACM: Disconnected.\n", "MSM: Associated.\n",
                          "MSM: Unknown MSM notification.\n"));
  EXPECT_EQ(m_observer.Count(), 18u);
}

TEST_F(DeviceTest, UnmatchedConnectionNotificationsAreLoggedLikeAMonitorsOnes) {
  Start(OneAdapter({Ap(1, "Home")}));
  auto send = [&](DWORD code, std::vector<BYTE> payload) {
    WLAN_NOTIFICATION_DATA n{};
    n.NotificationSource = WLAN_NOTIFICATION_SOURCE_ACM;
    n.NotificationCode = code;
    n.InterfaceGuid = TestGuid(99);
    n.dwDataSize = static_cast<DWORD>(payload.size());
    n.pData = payload.data();
    CNativeWIFIInterface::OnWlanNotification(&n, m_client.get());
  };
  send(9, ConnectionPayload(572, wlan_connection_mode_discovery_secure, "Cafe", 0, u""));
  send(9, ConnectionPayload(573, wlan_connection_mode_discovery_secure, "Cafe", 0, u""));
  send(10, ConnectionPayload(600, wlan_connection_mode_profile, "Cafe", 0x48014));
  EXPECT_THAT(m_log.Take(),
              ElementsAre("ACM: Connecting to Infrastructure network 'Cafe' using profile '', via Manual connection to "
                          "a secure network without a profile.\n",
                          "ACM: The connection failed because: PSK mismatch suspected\n"));
}

TEST_F(DeviceTest, ConnectionOnTheSimulatedServiceIsLoggedAndFollowedByTheMonitor) {
  wlansim::World world = OneAdapter({Ap(1, "Home", DOT11_CIPHER_ALGO_CCMP, "right"), Ap(2, "Open")},
                                    {Profile("Home", "Home", true, true, "right")});
  CNativeWIFIDevice& device = Start(world);
  Refresh(device);
  CStation* home = device.FindStation(world.adapters[0].stations[0].bssid.data());
  ASSERT_NE(home, nullptr);
  EXPECT_FALSE(home->IsConnected());
  EXPECT_EQ(home->GetStatusText(), "");
  ASSERT_EQ(device.Connect(home), 0);
  Advance(1000);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return device.m_nInterfaceState == wlan_interface_state_connected; }));
  EXPECT_TRUE(home->IsConnected());
  EXPECT_EQ(home->GetStatusText(), "Connected");
  EXPECT_THAT(m_log.Take(), ElementsAre("ACM: Connecting to Infrastructure network 'Home' using profile 'Home', via "
                                        "Manual connection with a profile.\n",
                                        "MSM: Associating.\n", "MSM: Associated.\n", "MSM: Authenticating.\n",
                                        "MSM: Connected.\n", "ACM: The connection succeeded.\n"));

  // The open network has no profile: discovery, and the service's new
  // profile document follows the success line.
  CStation* open = device.FindStation(world.adapters[0].stations[1].bssid.data());
  ASSERT_NE(open, nullptr);
  ASSERT_EQ(device.Connect(open), 0);
  Advance(2000);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return open->IsConnected(); }));
  const auto lines = m_log.Take();
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "ACM: Disconnecting.\n");
  EXPECT_THAT(lines, testing::Contains("ACM: Connecting to Infrastructure network 'Open' using profile '', via Manual "
                                       "connection to an unsecure network without a profile.\n"));
  EXPECT_THAT(lines, testing::Contains("ACM: The profile used for this connection is as follows:\n"));
  EXPECT_THAT(lines, testing::Contains("(no stamp) \t<name>Open</name>\n"));

  ASSERT_EQ(device.Disconnect(), 0);
  Advance(1000);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return device.m_nInterfaceState == wlan_interface_state_disconnected; }));
  const UCHAR* none = device.GetCurrentBssid();
  EXPECT_EQ(std::count(none, none + 6, 0), 6);
  EXPECT_FALSE(open->IsConnected());

  wlansim::InjectFault(wlansim::Op::Connect, ERROR_INVALID_STATE, 1);
  wlansim::InjectFault(wlansim::Op::Disconnect, ERROR_INVALID_STATE, 1);
  EXPECT_EQ(device.Connect(open), E_FAIL);
  EXPECT_EQ(device.Disconnect(), E_FAIL);
  m_log.Take();
}

}  // namespace

namespace {

TEST_F(DeviceTest, ConnectRequestsCarryBssidSsidAndTheRightMode) {
  wlansim::AccessPoint hidden = Ap(4, "Cellar", DOT11_CIPHER_ALGO_CCMP, "k");
  hidden.hidden = true;
  wlansim::AccessPoint peer = Ap(5, "Kites");
  peer.bssType = dot11_BSS_type_independent;
  wlansim::World world = OneAdapter({Ap(1, "Home", DOT11_CIPHER_ALGO_CCMP, "k"), Ap(2, "Locked", DOT11_CIPHER_ALGO_CCMP, "k"),
                                     Ap(3, "Open"), hidden, peer},
                                    {Profile("Home", "Home", true, true, "k")});
  CNativeWIFIDevice& device = Start(world);
  Refresh(device);
  auto request = [&](BYTE last) {
    CStation* station = device.FindStation(Ap(last, "").bssid.data());
    EXPECT_NE(station, nullptr);
    if (!station) return wlansim::ConnectRequest{};
    EXPECT_EQ(device.Connect(station), 0);
    return wlansim::LastConnectRequest(TestGuid(1)).value_or(wlansim::ConnectRequest{});
  };
  const wlansim::ConnectRequest home = request(1);
  EXPECT_EQ(home.mode, wlan_connection_mode_profile);
  EXPECT_EQ(home.profile, "Home");
  EXPECT_EQ(home.ssid, "Home");
  EXPECT_EQ(home.bssid, Ap(1, "").bssid);
  EXPECT_EQ(home.bssType, dot11_BSS_type_infrastructure);
  EXPECT_EQ(home.flags, WLAN_CONNECTION_HIDDEN_NETWORK);

  const wlansim::ConnectRequest locked = request(2);
  EXPECT_EQ(locked.mode, wlan_connection_mode_discovery_secure);
  EXPECT_EQ(locked.profile, "");
  EXPECT_EQ(locked.ssid, "Locked");

  const wlansim::ConnectRequest open = request(3);
  EXPECT_EQ(open.mode, wlan_connection_mode_discovery_unsecure);
  EXPECT_EQ(open.bssid, Ap(3, "").bssid);

  const wlansim::ConnectRequest adhoc = request(5);
  EXPECT_EQ(adhoc.bssType, dot11_BSS_type_independent);

  // A station heard without an SSID is asked for with an SSID of length 0;
  // the service refuses a discovery without one.
  CStation* cellar = device.FindStation(Ap(4, "").bssid.data());
  ASSERT_NE(cellar, nullptr);
  EXPECT_EQ(cellar->GetSSID(), "");
  EXPECT_EQ(device.Connect(cellar), E_FAIL);
  EXPECT_EQ(wlansim::OutstandingAllocations(), 0u);
  Advance(5000);
  m_log.Take();
}

}  // namespace
