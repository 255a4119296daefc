// Connection, disconnection and link-loss sequences of the simulated service.
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

using wlansim::Mac;

class ConnectionTest : public SimFixture {};

TEST_F(ConnectionTest, SuccessfulConnectionSendsTheFullSequenceOnTheServiceThread) {
  ASSERT_EQ(State(), DWORD(wlan_interface_state_disconnected));
  ASSERT_EQ(ConnectProfile(u"Gate", "Locked Gate", &kGateBssid), ERROR_SUCCESS);
  Run(2000);
  const auto got = WithoutSignal(m_rec.Take());
  const std::vector<Code> expected = {{ACM, 9}, {MSM, 1}, {MSM, 2}, {MSM, 3}, {MSM, 4}, {ACM, 10}};
  ASSERT_EQ(Codes(got), expected);
  // The interface state seen from inside each callback follows the steps.
  const std::vector<DWORD> states = {4, 5, 5, 7, 1, 1};
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    const Received& r = got[i];
    EXPECT_NE(r.thread, std::this_thread::get_id());
    EXPECT_EQ(r.guid, m_guid);
    EXPECT_EQ(r.stateDuring, states[i]);
    EXPECT_EQ(r.payload.size(), r.source == ACM ? 572u : 580u);
    EXPECT_EQ(SsidOf(r.payload), "Locked Gate");
    EXPECT_EQ(BssTypeOf(r.payload), DWORD(dot11_BSS_type_infrastructure));
    EXPECT_EQ(ProfileNameOf(r.payload), "Gate");
    EXPECT_EQ(ModeOf(r.payload), DWORD(wlan_connection_mode_profile));
    if (r.source == ACM)
      EXPECT_EQ(ConnReasonOf(r.payload), 0u);
    else
      EXPECT_EQ(MsmMacOf(r.payload), kGateBssid);
  }
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kGateBssid);

  DWORD size = 0;
  PVOID data = nullptr;
  ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_current_connection, nullptr, &size, &data, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(size, sizeof(WLAN_CONNECTION_ATTRIBUTES));
  const auto* attr = static_cast<WLAN_CONNECTION_ATTRIBUTES*>(data);
  EXPECT_EQ(attr->isState, wlan_interface_state_connected);
  EXPECT_EQ(std::memcmp(attr->wlanAssociationAttributes.dot11Bssid, kGateBssid.data(), 6), 0);
  EXPECT_EQ(attr->wlanAssociationAttributes.dot11Ssid.uSSIDLength, 11u);
  EXPECT_EQ(attr->wlanSecurityAttributes.dot11CipherAlgorithm, DOT11_CIPHER_ALGO_CCMP);
  EXPECT_EQ(WideToUtf8(attr->strProfileName), "Gate");
  WlanFreeMemory(data);
  ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_channel_number, nullptr, &size, &data, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(*static_cast<ULONG*>(data), 36u);
  WlanFreeMemory(data);
}

TEST_F(ConnectionTest, WrongKeyFailsAfterAuthenticationWithThePskReason) {
  ASSERT_EQ(ConnectProfile(u"Gate Wrong Key"), ERROR_SUCCESS);
  Run(2000);
  const auto got = WithoutSignal(m_rec.Take());
  const std::vector<Code> expected = {{ACM, 9}, {MSM, 1}, {MSM, 2}, {MSM, 3}, {MSM, 10}, {ACM, 11}, {ACM, 10}};
  ASSERT_EQ(Codes(got), expected);
  EXPECT_EQ(MsmReasonOf(got[4].payload), WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED);
  EXPECT_EQ(got[4].stateDuring, DWORD(wlan_interface_state_disconnected));
  EXPECT_EQ(ConnReasonOf(got[5].payload), WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED);
  EXPECT_EQ(ConnReasonOf(got[6].payload), WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED);
  EXPECT_EQ(State(), DWORD(wlan_interface_state_disconnected));
  EXPECT_FALSE(wlansim::CurrentBssid(m_guid));
  DWORD size = 123;
  PVOID data = reinterpret_cast<PVOID>(1);
  EXPECT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_current_connection, nullptr, &size, &data, nullptr),
            ERROR_INVALID_STATE);
  EXPECT_EQ(data, nullptr);
}

TEST_F(ConnectionTest, RefusalsBeforeAssociationCarryTheirReason) {
  struct Case {
    const char* what;
    std::function<DWORD()> connect;
    WLAN_REASON_CODE reason;
    std::string ssid;
  };
  const std::vector<Case> cases = {
      {"unknown profile", [&] { return ConnectProfile(u"No Such Profile", "Open Door"); },
       WLAN_REASON_CODE_PROFILE_MISSING, "Open Door"},
      {"profile for another SSID", [&] { return ConnectProfile(u"Gate", "Open Door"); },
       WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE, "Open Door"},
      {"secure discovery without a key",
       [&] { return ConnectDiscovery(wlan_connection_mode_discovery_secure, "Locked Gate", dot11_BSS_type_any); },
       WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE, "Locked Gate"},
      {"network not in the air",
       [&] { return ConnectDiscovery(wlan_connection_mode_discovery_unsecure, "Far Away", dot11_BSS_type_any); },
       WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE, "Far Away"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.connect(), ERROR_SUCCESS);
    Run(1000);
    const auto got = WithoutSignal(m_rec.Take());
    const std::vector<Code> expected = {{ACM, 9}, {ACM, 11}, {ACM, 10}};
    ASSERT_EQ(Codes(got), expected);
    EXPECT_EQ(ConnReasonOf(got[0].payload), 0u);
    EXPECT_EQ(ConnReasonOf(got[1].payload), c.reason);
    EXPECT_EQ(ConnReasonOf(got[2].payload), c.reason);
    EXPECT_EQ(SsidOf(got[2].payload), c.ssid);
    EXPECT_EQ(State(), DWORD(wlan_interface_state_disconnected));
  }
  // The secured station leaves the air: the profile's network is not available.
  ASSERT_TRUE(wlansim::SetStationPresence(m_guid, kGateBssid, wlansim::Presence::Absent));
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(1000);
  const auto got = m_rec.Take();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(ConnReasonOf(got[2].payload), WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE);
}

TEST_F(ConnectionTest, DiscoveryToAnOpenNetworkStoresAndReportsTheProfile) {
  ASSERT_EQ(ConnectDiscovery(wlan_connection_mode_discovery_unsecure, "Open Door", dot11_BSS_type_infrastructure),
            ERROR_SUCCESS);
  Run(2000);
  const auto got = WithoutSignal(m_rec.Take());
  const std::vector<Code> expected = {{ACM, 9}, {MSM, 1}, {MSM, 2}, {MSM, 4}, {ACM, 10}};  // open: no MSM 3
  ASSERT_EQ(Codes(got), expected);
  EXPECT_EQ(ProfileNameOf(got[0].payload), "");
  EXPECT_EQ(ModeOf(got[0].payload), DWORD(wlan_connection_mode_discovery_unsecure));

  const auto stored = wlansim::GetProfileXml(m_guid, "Open Door");
  ASSERT_TRUE(stored);
  EXPECT_NE(stored->find("<connectionMode>auto</connectionMode>"), std::string::npos);
  const Received& done = got.back();
  const std::u16string wide = Utf8ToWide(*stored);
  ASSERT_EQ(done.payload.size(), 568 + 2 * (wide.size() + 1));
  EXPECT_EQ(ProfileNameOf(done.payload), "Open Door");
  EXPECT_EQ(WideToUtf8(reinterpret_cast<const WCHAR*>(done.payload.data() + 568)), *stored);
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kOpenBssid);
}

TEST_F(ConnectionTest, DisconnectSequenceAndDisconnectWhenIdle) {
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  m_rec.Take();
  ASSERT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_SUCCESS);
  Run(1000);
  const auto got = WithoutSignal(m_rec.Take());
  const std::vector<Code> expected = {{ACM, 20}, {MSM, 9}, {MSM, 10}, {ACM, 21}};
  ASSERT_EQ(Codes(got), expected);
  EXPECT_EQ(got[0].stateDuring, DWORD(wlan_interface_state_disconnecting));
  EXPECT_EQ(got[2].stateDuring, DWORD(wlan_interface_state_disconnected));
  EXPECT_EQ(MsmReasonOf(got[2].payload), WLAN_REASON_CODE_MSM_USER_DISCONNECT);
  EXPECT_EQ(ConnReasonOf(got[3].payload), WLAN_REASON_CODE_MSM_USER_DISCONNECT);
  EXPECT_EQ(SsidOf(got[3].payload), "Locked Gate");
  EXPECT_EQ(got[3].payload.size(), 572u);

  ASSERT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_SUCCESS);
  Run(5000);
  EXPECT_TRUE(m_rec.Take().empty());
}

TEST_F(ConnectionTest, ConnectingWhileConnectedDisconnectsFirst) {
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  m_rec.Take();
  ASSERT_EQ(ConnectDiscovery(wlan_connection_mode_discovery_unsecure, "Open Door", dot11_BSS_type_any), ERROR_SUCCESS);
  Run(3000);
  const auto got = WithoutSignal(m_rec.Take());
  const std::vector<Code> expected = {{ACM, 20}, {MSM, 9},  {MSM, 10}, {ACM, 21}, {ACM, 9},
                                      {MSM, 1},  {MSM, 2},  {MSM, 4},  {ACM, 10}};
  ASSERT_EQ(Codes(got), expected);
  EXPECT_EQ(SsidOf(got[3].payload), "Locked Gate");
  EXPECT_EQ(SsidOf(got[8].payload), "Open Door");
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kOpenBssid);
}

TEST_F(ConnectionTest, AdHocPeerFormsAnAdHocNetwork) {
  ASSERT_EQ(ConnectDiscovery(wlan_connection_mode_discovery_unsecure, "Picnic", dot11_BSS_type_independent),
            ERROR_SUCCESS);
  Run(2000);
  const auto got = WithoutSignal(m_rec.Take());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(Codes(got).back(), Code(ACM, 10));
  EXPECT_EQ(BssTypeOf(got.back().payload), DWORD(dot11_BSS_type_independent));
  EXPECT_EQ(ConnFlagsOf(got.back().payload), 1u);  // ad hoc network formed
  EXPECT_EQ(State(), DWORD(wlan_interface_state_ad_hoc_network_formed));
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kPeerBssid);
}

TEST_F(ConnectionTest, HiddenNetworkIsReachedThroughAProfileOnly) {
  wlansim::ProfileFields spec;
  spec.name = "Back Room";
  spec.ssid = "Back Room";
  spec.nonBroadcast = true;
  DWORD reason = 0;
  ASSERT_EQ(WlanSetProfile(m_handle, &m_guid, 0, Utf8ToWide(wlansim::BuildProfileXml(spec)).c_str(), nullptr, TRUE,
                           nullptr, &reason),
            ERROR_SUCCESS);
  ASSERT_EQ(ConnectProfile(u"Back Room"), ERROR_SUCCESS);
  Run(2000);
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kHiddenBssid);
}

TEST_F(ConnectionTest, SignalQualityIsReportedWhileConnectedWhenItChanges) {
  Run(20000);
  EXPECT_TRUE(m_rec.Take().empty()) << "nothing while disconnected";
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  m_rec.Take();
  Run(60000);
  const auto got = m_rec.Take();
  ASSERT_GE(got.size(), 3u);
  DWORD previous = 0xFFFFFFFF;
  for (const Received& r : got) {
    ASSERT_EQ(Code(r.source, r.code), Code(MSM, 8));
    ASSERT_EQ(r.payload.size(), 4u);
    const DWORD quality = DwordAt(r.payload, 0);
    EXPECT_LE(quality, 100u);
    EXPECT_NE(quality, previous);
    previous = quality;
  }
}

// The built-in world starts connected to "Lindenweg" (automatic profile).
class BuiltInConnectionTest : public SimFixture {
 protected:
  wlansim::World MakeWorld() override { return wlansim::BuiltInWorld(); }
  void SetAbsent(const char* ssid, wlansim::Presence presence) {
    const wlansim::World world = wlansim::BuiltInWorld();
    for (const auto& ap : world.adapters[0].stations)
      if (ap.ssid == ssid) {
        ASSERT_TRUE(wlansim::SetStationPresence(m_guid, ap.bssid, presence));
      }
  }
};

TEST_F(BuiltInConnectionTest, LostLinkReconnectsThroughTheFirstAutomaticProfileInTheAir) {
  ASSERT_EQ(State(), DWORD(wlan_interface_state_connected));
  SetAbsent("Lindenweg", wlansim::Presence::Absent);
  Run(500);
  auto got = WithoutSignal(m_rec.Take());
  ASSERT_EQ(Codes(got), (std::vector<Code>{{MSM, 10}, {ACM, 21}}));
  EXPECT_EQ(MsmReasonOf(got[0].payload), WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED);
  EXPECT_EQ(ConnReasonOf(got[1].payload), WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED);

  // Next automatic profile in the air is "Harbour Lights", whose key is wrong.
  Run(3000);
  got = WithoutSignal(m_rec.Take());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(ModeOf(got.front().payload), DWORD(wlan_connection_mode_auto));
  EXPECT_EQ(SsidOf(got.front().payload), "Harbour Lights");
  EXPECT_EQ(ConnReasonOf(got.back().payload), WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED);

  // Home comes back: the next attempt gets there.
  SetAbsent("Lindenweg", wlansim::Presence::Schedule);
  Run(12000);
  got = WithoutSignal(m_rec.Take());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(SsidOf(got.back().payload), "Lindenweg");
  EXPECT_EQ(ConnReasonOf(got.back().payload), 0u);
  EXPECT_EQ(ModeOf(got.back().payload), DWORD(wlan_connection_mode_auto));
  EXPECT_EQ(State(), DWORD(wlan_interface_state_connected));
}

TEST_F(BuiltInConnectionTest, NoAutomaticReconnectionWithAutoconfOff) {
  const BOOL off = FALSE;
  ASSERT_EQ(WlanSetInterface(m_handle, &m_guid, wlan_intf_opcode_autoconf_enabled, 4, const_cast<BOOL*>(&off), nullptr),
            ERROR_SUCCESS);
  SetAbsent("Lindenweg", wlansim::Presence::Absent);
  Run(60000);
  const auto got = WithoutSignal(m_rec.Take());
  EXPECT_EQ(Codes(got), (std::vector<Code>{{ACM, 2}, {MSM, 10}, {ACM, 21}}));
  EXPECT_EQ(State(), DWORD(wlan_interface_state_disconnected));
}

TEST_F(BuiltInConnectionTest, StationThatComesAndGoesDropsTheLinkWhenItLeaves) {
  ASSERT_EQ(ConnectDiscovery(wlan_connection_mode_discovery_unsecure, "Night Tram", dot11_BSS_type_infrastructure),
            ERROR_SUCCESS);
  Run(2000);
  ASSERT_EQ(wlansim::CurrentBssid(m_guid), (Mac{0x02, 0xA7, 0x1E, 0x00, 0x09, 0x06}));
  m_rec.Take();
  Run(17999);  // still there until 20 s
  EXPECT_TRUE(WithoutSignal(m_rec.Take()).empty());
  Run(1);
  const auto got = WithoutSignal(m_rec.Take());
  ASSERT_EQ(Codes(got), (std::vector<Code>{{MSM, 10}}));
  EXPECT_EQ(MsmReasonOf(got[0].payload), WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED);
}

}  // namespace
}  // namespace simtest
