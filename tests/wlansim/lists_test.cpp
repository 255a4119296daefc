// Interfaces, interface settings, scans, the available-network and BSS lists.
#include <algorithm>
#include <set>

#include "tests/common/test_support.h"
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

using wlansim::Mac;

class BuiltInListsTest : public SimFixture {
 protected:
  wlansim::World MakeWorld() override { return wlansim::BuiltInWorld(); }

  std::vector<WLAN_AVAILABLE_NETWORK> Networks() {
    WLAN_AVAILABLE_NETWORK_LIST* list = nullptr;
    EXPECT_EQ(WlanGetAvailableNetworkList(m_handle, &m_guid, 0, nullptr, &list), ERROR_SUCCESS);
    if (!list) return {};
    std::vector<WLAN_AVAILABLE_NETWORK> out(list->Network, list->Network + list->dwNumberOfItems);
    WlanFreeMemory(list);
    return out;
  }

  // The entries, and (when asked) each entry's information elements, which
  // must lie inside the list's block.
  std::vector<WLAN_BSS_ENTRY> Bss(const DOT11_SSID* ssid, DOT11_BSS_TYPE type, BOOL security,
                                  DWORD* totalSize = nullptr, std::vector<std::string>* elements = nullptr) {
    WLAN_BSS_LIST* list = nullptr;
    EXPECT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, ssid, type, security, nullptr, &list), ERROR_SUCCESS);
    if (!list) return {};
    std::vector<WLAN_BSS_ENTRY> out(list->wlanBssEntries, list->wlanBssEntries + list->dwNumberOfItems);
    if (totalSize) *totalSize = list->dwTotalSize;
    for (DWORD i = 0; elements && i < list->dwNumberOfItems; ++i) {
      const auto* entry = reinterpret_cast<const char*>(&list->wlanBssEntries[i]);
      const std::size_t start = static_cast<std::size_t>(entry - reinterpret_cast<const char*>(list)) +
                                list->wlanBssEntries[i].ulIeOffset;
      EXPECT_LE(start + list->wlanBssEntries[i].ulIeSize, list->dwTotalSize);
      elements->emplace_back(entry + list->wlanBssEntries[i].ulIeOffset, list->wlanBssEntries[i].ulIeSize);
    }
    WlanFreeMemory(list);
    return out;
  }
};

std::string SsidText(const DOT11_SSID& s) { return std::string(reinterpret_cast<const char*>(s.ucSSID), s.uSSIDLength); }

TEST_F(BuiltInListsTest, AvailableNetworksListProfileEntriesFirstAndHiddenWithoutSsid) {
  const auto nets = Networks();
  ASSERT_GE(nets.size(), 13u);
  // Profile entries, in the profiles' preference order, come first.
  EXPECT_EQ(WideToUtf8(nets[0].strProfileName), "Lindenweg");
  EXPECT_EQ(WideToUtf8(nets[1].strProfileName), "Orchard Loft");
  EXPECT_EQ(WideToUtf8(nets[2].strProfileName), "Harbour Lights");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(nets[i].dwFlags & WLAN_AVAILABLE_NETWORK_HAS_PROFILE);
  EXPECT_EQ(nets[0].dwFlags & WLAN_AVAILABLE_NETWORK_CONNECTED, WLAN_AVAILABLE_NETWORK_CONNECTED);

  int connected = 0;
  bool sawPlainLindenweg = false, sawHidden = false, sawAdhoc = false;
  for (std::size_t i = 3; i < nets.size(); ++i) {
    const auto& n = nets[i];
    EXPECT_EQ(n.strProfileName[0], u'\0');
    EXPECT_FALSE(n.dwFlags & WLAN_AVAILABLE_NETWORK_HAS_PROFILE);
    const std::string ssid = SsidText(n.dot11Ssid);
    if (ssid == "Lindenweg") {
      sawPlainLindenweg = true;
      EXPECT_EQ(n.uNumberOfBssids, 2u);
      EXPECT_EQ(n.uNumberOfPhyTypes, 2u);
      EXPECT_EQ(n.dot11DefaultCipherAlgorithm, DOT11_CIPHER_ALGO_CCMP);
      EXPECT_EQ(n.dot11DefaultAuthAlgorithm, DOT11_AUTH_ALGO_RSNA_PSK);
      EXPECT_TRUE(n.bSecurityEnabled);
    }
    if (n.dot11Ssid.uSSIDLength == 0) {
      sawHidden = true;
      EXPECT_TRUE(n.bSecurityEnabled);
    }
    if (n.dot11BssType == dot11_BSS_type_independent) sawAdhoc = ssid == "Kite Field";
    EXPECT_LE(n.wlanSignalQuality, 100u);
    EXPECT_TRUE(n.bNetworkConnectable);
  }
  for (const auto& n : nets) connected += (n.dwFlags & WLAN_AVAILABLE_NETWORK_CONNECTED) ? 1 : 0;
  EXPECT_EQ(connected, 1);
  EXPECT_TRUE(sawPlainLindenweg);
  EXPECT_TRUE(sawHidden);
  EXPECT_TRUE(sawAdhoc);
}

TEST_F(BuiltInListsTest, BssListsSelectBySsidTypeAndSecurity) {
  const DOT11_SSID home = Ssid("Lindenweg");
  DWORD total = 0;
  std::vector<std::string> elements;
  const auto entries = Bss(&home, dot11_BSS_type_infrastructure, TRUE, &total, &elements);
  ASSERT_EQ(entries.size(), 2u);
  // The elements follow the entries, each starting with the SSID element.
  EXPECT_EQ(total, 8u + 2u * sizeof(WLAN_BSS_ENTRY) + entries[0].ulIeSize + entries[1].ulIeSize);
  for (const std::string& e : elements) EXPECT_EQ(e.substr(0, 11), std::string("\x00\x09Lindenweg", 11));
  std::set<ULONG> bands;
  for (const auto& e : entries) {
    bands.insert(e.ulChCenterFrequency);
    EXPECT_EQ(SsidText(e.dot11Ssid), "Lindenweg");
    EXPECT_GE(e.lRssi, -100);
    EXPECT_LE(e.lRssi, -20);
    EXPECT_EQ(e.uLinkQuality, static_cast<ULONG>(std::clamp(2 * (e.lRssi + 100), 0, 100)));
    EXPECT_GT(e.usBeaconPeriod, 0);
    EXPECT_GT(e.wlanRateSet.uRateSetLength, 0u);
    EXPECT_EQ(e.wlanRateSet.uRateSetLength % 2, 0u);
    EXPECT_GT(e.ulIeSize, 11u);
    EXPECT_TRUE(e.usCapabilityInformation & 0x0010);  // privacy
  }
  EXPECT_EQ(bands, (std::set<ULONG>{2437000, 5180000}));
  const auto& g = entries[0].ulChCenterFrequency == 2437000 ? entries[0] : entries[1];
  EXPECT_EQ(g.dot11BssPhyType, dot11_phy_type_erp);
  EXPECT_EQ(g.wlanRateSet.usRateSet[0], 0x82);  // 1 Mbps, basic

  EXPECT_TRUE(Bss(&home, dot11_BSS_type_infrastructure, FALSE).empty()) << "security flag must match";
  EXPECT_TRUE(Bss(&home, dot11_BSS_type_independent, TRUE).empty()) << "BSS type must match";
  EXPECT_EQ(Bss(&home, dot11_BSS_type_any, TRUE).size(), 2u);

  const DOT11_SSID empty = Ssid("");
  std::vector<std::string> hiddenElements;
  const auto hidden = Bss(&empty, dot11_BSS_type_infrastructure, TRUE, nullptr, &hiddenElements);
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_EQ(hidden[0].dot11Ssid.uSSIDLength, 0u);
  EXPECT_EQ(hiddenElements[0].substr(0, 2), std::string("\x00\x00", 2)) << "a hidden station beacons an empty SSID";
  EXPECT_EQ(Mac({hidden[0].dot11Bssid[0], hidden[0].dot11Bssid[1], hidden[0].dot11Bssid[2], hidden[0].dot11Bssid[3],
                 hidden[0].dot11Bssid[4], hidden[0].dot11Bssid[5]}),
            (Mac{0x02, 0xA7, 0x1E, 0x00, 0x30, 0x07}));
  const DOT11_SSID hiddenName = Ssid("Cellar Stairs");
  DWORD emptyTotal = 0;
  EXPECT_TRUE(Bss(&hiddenName, dot11_BSS_type_any, TRUE, &emptyTotal).empty());
  EXPECT_EQ(emptyTotal, 8u) << "an empty list is its header alone";

  EXPECT_EQ(Bss(nullptr, dot11_BSS_type_any, FALSE).size(), 18u);  // everything in the air at time 0
}

TEST_F(BuiltInListsTest, StationWithAScheduleComesAndGoes) {
  const DOT11_SSID tram = Ssid("Night Tram");
  EXPECT_EQ(Bss(&tram, dot11_BSS_type_infrastructure, FALSE).size(), 1u);
  Run(20000);
  EXPECT_TRUE(Bss(&tram, dot11_BSS_type_infrastructure, FALSE).empty());
  EXPECT_EQ(Bss(nullptr, dot11_BSS_type_any, FALSE).size(), 17u);
  Run(15000);
  EXPECT_EQ(Bss(&tram, dot11_BSS_type_infrastructure, FALSE).size(), 1u);
}

TEST_F(BuiltInListsTest, QueryInterfaceAnswersEachOpcode) {
  DWORD size = 0;
  PVOID data = nullptr;
  WLAN_OPCODE_VALUE_TYPE type = wlan_opcode_value_type_invalid;
  ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_interface_state, nullptr, &size, &data, &type), 0u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(*static_cast<DWORD*>(data), DWORD(wlan_interface_state_connected));
  EXPECT_EQ(type, wlan_opcode_value_type_query_only);
  WlanFreeMemory(data);
  for (WLAN_INTF_OPCODE op : {wlan_intf_opcode_autoconf_enabled, wlan_intf_opcode_background_scan_enabled}) {
    ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, op, nullptr, &size, &data, &type), 0u);
    EXPECT_EQ(size, sizeof(BOOL));
    EXPECT_EQ(*static_cast<BOOL*>(data), TRUE);
    EXPECT_EQ(type, wlan_opcode_value_type_set_by_user);
    WlanFreeMemory(data);
  }
  ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_channel_number, nullptr, &size, &data, nullptr), 0u);
  EXPECT_EQ(*static_cast<ULONG*>(data), 6u);  // Lindenweg's 2.4 GHz BSS
  WlanFreeMemory(data);
  ASSERT_EQ(WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_rssi, nullptr, &size, &data, nullptr), 0u);
  EXPECT_GE(*static_cast<LONG*>(data), -100);
  EXPECT_LE(*static_cast<LONG*>(data), -20);
  WlanFreeMemory(data);
  EXPECT_EQ(WlanQueryInterface(m_handle, &m_guid, static_cast<WLAN_INTF_OPCODE>(0x777), nullptr, &size, &data, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(data, nullptr);
}

TEST_F(BuiltInListsTest, SwitchesNotifyOnlyWhenTheyChange) {
  auto set = [&](WLAN_INTF_OPCODE op, BOOL value, DWORD size = 4) {
    return WlanSetInterface(m_handle, &m_guid, op, size, &value, nullptr);
  };
  EXPECT_EQ(set(wlan_intf_opcode_autoconf_enabled, TRUE), 0u);  // already on: silent
  EXPECT_EQ(set(wlan_intf_opcode_autoconf_enabled, FALSE), 0u);
  EXPECT_EQ(set(wlan_intf_opcode_background_scan_enabled, FALSE), 0u);
  EXPECT_EQ(set(wlan_intf_opcode_background_scan_enabled, TRUE), 0u);
  EXPECT_EQ(set(wlan_intf_opcode_autoconf_enabled, 7), 0u);  // any non-zero value is TRUE
  EXPECT_EQ(set(wlan_intf_opcode_autoconf_enabled, FALSE, 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(set(wlan_intf_opcode_interface_state, FALSE), ERROR_NOT_SUPPORTED);
  ASSERT_TRUE(wlansim::WaitForIdle());
  const auto got = WithoutSignal(m_rec.Take());
  EXPECT_EQ(Codes(got), (std::vector<Code>{{ACM, 2}, {ACM, 4}, {ACM, 3}, {ACM, 1}}));
  for (const auto& r : got) EXPECT_TRUE(r.payload.empty());
}

TEST_F(BuiltInListsTest, ScanCompletesAfterItsDelayOrFailsWithTheInjectedReason) {
  ASSERT_EQ(WlanScan(m_handle, &m_guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  Run(1499);
  EXPECT_TRUE(WithoutSignal(m_rec.Take()).empty());
  Run(1);
  auto got = WithoutSignal(m_rec.Take());
  ASSERT_EQ(Codes(got), (std::vector<Code>{{ACM, 7}}));
  EXPECT_TRUE(got[0].payload.empty());

  wlansim::FailScans(WLAN_REASON_CODE_SCAN_CALL_FAIL, 1);
  ASSERT_EQ(WlanScan(m_handle, &m_guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(WlanScan(m_handle, &m_guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  Run(1500);
  got = WithoutSignal(m_rec.Take());
  ASSERT_EQ(Codes(got), (std::vector<Code>{{ACM, 8}, {ACM, 7}}));
  ASSERT_EQ(got[0].payload.size(), 4u);
  EXPECT_EQ(DwordAt(got[0].payload, 0), WLAN_REASON_CODE_SCAN_CALL_FAIL);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ScanOutcome), 1);
}

// One SSID beaconed by stations that differ in security and BSS type, among
// other networks, and by a hidden station: the lists keep world order within
// a network and tell the networks apart by everything that makes one.
class SharedSsidTest : public BuiltInListsTest {
 protected:
  static wlansim::AccessPoint Secured(wlansim::AccessPoint ap) {
    ap.securityEnabled = true;
    ap.authAlgorithm = DOT11_AUTH_ALGO_RSNA_PSK;
    ap.cipher = DOT11_CIPHER_ALGO_CCMP;
    return ap;
  }
  wlansim::World MakeWorld() override {
    wlansim::World w = SmallWorld();
    wlansim::AccessPoint peer = Ap(Bssid(5), "Mill");
    peer.bssType = dot11_BSS_type_independent;
    wlansim::AccessPoint hidden = Secured(Ap(Bssid(6), "Mill"));
    hidden.hidden = true;
    wlansim::AccessPoint away = Secured(Ap(Bssid(7), "Mill"));
    away.presentMs = 1000;
    away.absentMs = 1000;
    away.presenceOffsetMs = 1000;  // away for the first second
    w.adapters[0].stations = {Secured(Ap(Bssid(1), "Mill")), Ap(Bssid(2), "Barn"), Ap(Bssid(3), "Mill"),
                              away, Secured(Ap(Bssid(4), "Mill")), peer, hidden};
    w.adapters[0].profiles.clear();
    return w;
  }
  static wlansim::Mac Bssid(UCHAR last) { return {0x02, 0x10, 0, 0, 0, last}; }
  static std::vector<int> Lasts(const std::vector<WLAN_BSS_ENTRY>& entries) {
    std::vector<int> out;
    for (const auto& e : entries) out.push_back(e.dot11Bssid[5]);
    return out;
  }
};

TEST_F(SharedSsidTest, BssListsAndNetworksFollowWorldOrderWithinAnSsid) {
  const DOT11_SSID mill = Ssid("Mill");
  const DOT11_SSID none = Ssid("");
  const struct {
    const char* name;
    const DOT11_SSID* ssid;
    DOT11_BSS_TYPE type;
    BOOL security;
    std::vector<int> bssids;
  } cases[] = {
      {"secured, any type", &mill, dot11_BSS_type_any, TRUE, {1, 4}},
      {"open, any type", &mill, dot11_BSS_type_any, FALSE, {3, 5}},
      {"open infrastructure", &mill, dot11_BSS_type_infrastructure, FALSE, {3}},
      {"open ad hoc", &mill, dot11_BSS_type_independent, FALSE, {5}},
      {"hidden", &none, dot11_BSS_type_any, TRUE, {6}},
      {"no station of that security", &none, dot11_BSS_type_any, FALSE, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lasts(Bss(c.ssid, c.type, c.security)), c.bssids) << c.name;

  Run(1000);  // the scheduled station comes into the air after the first one
  EXPECT_EQ(Lasts(Bss(&mill, dot11_BSS_type_any, TRUE)), (std::vector<int>{1, 7, 4}));

  std::vector<std::pair<std::string, ULONG>> networks;
  for (const auto& n : Networks()) networks.emplace_back(SsidText(n.dot11Ssid), n.uNumberOfBssids);
  EXPECT_EQ(networks, (std::vector<std::pair<std::string, ULONG>>{
                          {"Mill", 3}, {"Barn", 1}, {"Mill", 1}, {"Mill", 1}, {"", 1}}));
}

class TwoAdaptersTest : public SimFixture {
 protected:
  wlansim::World MakeWorld() override {
    wlansim::World w;
    std::string error;
    EXPECT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/two-adapters.json"), &w, &error))
        << error;
    return w;
  }
};

TEST_F(TwoAdaptersTest, EnumeratesReadyAndNotReadyAdapters) {
  WLAN_INTERFACE_INFO_LIST* list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SUCCESS);
  ASSERT_EQ(list->dwNumberOfItems, 2u);
  const WLAN_INTERFACE_INFO* items = list->InterfaceInfo;
  EXPECT_EQ(items[0].InterfaceGuid, wlansim::AdapterGuid(0));
  EXPECT_EQ(items[1].InterfaceGuid, wlansim::AdapterGuid(1));
  EXPECT_EQ(items[0].isState, wlan_interface_state_connected);
  EXPECT_EQ(items[1].isState, wlan_interface_state_not_ready);
  EXPECT_EQ(WideToUtf8(items[0].strInterfaceDescription), "Front Room Adapter");
  EXPECT_EQ(WideToUtf8(items[1].strInterfaceDescription), "Spare Adapter (switched off)");
  WlanFreeMemory(list);

  const GUID second = wlansim::AdapterGuid(1);
  EXPECT_EQ(WlanScan(m_handle, &second, nullptr, nullptr, nullptr), ERROR_NOT_READY);
  WLAN_AVAILABLE_NETWORK_LIST* nets = nullptr;
  EXPECT_EQ(WlanGetAvailableNetworkList(m_handle, &second, 0, nullptr, &nets), ERROR_NOT_READY);
  EXPECT_EQ(nets, nullptr);
}

}  // namespace
}  // namespace simtest
