// What every WLAN back end must do, written once and run against the
// simulated service and against NetworkManager (on the stand-in). Both are
// given the same small world: one adapter "wlan0", an open network "Cafe"
// (one BSS at 2412 MHz) and a WPA2-PSK network "Home" (two BSSs at
// 5180 MHz), and one saved profile "Home".
#include <gtest/gtest.h>

#include <QDBusMetaType>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/iphlpapi.h"
#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/SimControl.h"
#include "tests/nm/NmStandIn.h"
#include "wlan/InformationElements.h"

namespace {

enum class Kind { Simulated, NetworkManager };

const char* const kCafe = "02:00:00:00:00:01";
const char* const kHome1 = "02:00:00:00:00:02";
const char* const kHome2 = "02:00:00:00:00:03";

std::string MacText(const UCHAR* mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

std::string SsidText(const DOT11_SSID& ssid) {
  return std::string(reinterpret_cast<const char*>(ssid.ucSSID), ssid.uSSIDLength);
}

wlansim::World SimulatedWorld() {
  wlansim::World world;
  world.timing.scanMs = 100;
  world.timing.stepMs = 20;
  wlansim::Adapter a;
  wlansim::ParseGuid("{3D1F6C2A-8B44-4E0F-9A51-77C2E5D10B01}", &a.guid);
  a.description = "wlan0";
  a.ip = {"127.0.10.2", "127.0.10.1", "127.0.10.53"};
  auto station = [](const char* mac, const char* ssid, ULONG khz, bool secure) {
    wlansim::AccessPoint ap;
    wlansim::ParseMac(mac, &ap.bssid);
    ap.ssid = ssid;
    ap.frequencyKHz = khz;
    if (secure) {
      ap.securityEnabled = true;
      ap.authAlgorithm = DOT11_AUTH_ALGO_RSNA_PSK;
      ap.cipher = DOT11_CIPHER_ALGO_CCMP;
      ap.key = "secret-key";
    }
    return ap;
  };
  a.stations = {station(kCafe, "Cafe", 2412000, false), station(kHome1, "Home", 5180000, true),
                station(kHome2, "Home", 5180000, true)};
  wlansim::ProfileFields home;
  home.name = "Home";
  home.ssid = "Home";
  home.authentication = "WPA2PSK";
  home.encryption = "AES";
  home.key = "secret-key";
  a.profiles = {wlansim::BuildProfileXml(home)};
  world.adapters = {a};
  return world;
}

using Settings = QMap<QString, QVariantMap>;

class BackendContract : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::Simulated) {
      setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
      std::string error;
      ASSERT_TRUE(wlansim::ResetWorld(SimulatedWorld(), &error)) << error;
    } else {
      const std::string missing = nmtest::StandIn::MissingTools();
      if (!missing.empty()) GTEST_SKIP() << "NetworkManager stand-in not available: " << missing;
      std::string error;
      ASSERT_TRUE(m_nm.Start(&error)) << error;
      StockStandIn();
      setenv("AERLUME_WLAN_BACKEND", "networkmanager", 1);
    }
    DWORD version = 0;
    ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &m_handle), ERROR_SUCCESS);
    WLAN_INTERFACE_INFO_LIST* list = nullptr;
    ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SUCCESS);
    ASSERT_EQ(list->dwNumberOfItems, 1u);
    m_guid = list->InterfaceInfo[0].InterfaceGuid;
    WlanFreeMemory(list);
  }

  void TearDown() override {
    if (m_handle) {
      EXPECT_EQ(WlanCloseHandle(m_handle, nullptr), ERROR_SUCCESS);
    }
    m_nm.Stop();
    setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
    if (GetParam() == Kind::Simulated) wlansim::ResetToDefault();
  }

  void StockStandIn() {
    qDBusRegisterMetaType<Settings>();
    m_device = m_nm.MockText(QStringLiteral("AddWifi"), {QStringLiteral("wlan0dev"), QStringLiteral("wlan0"),
                                                          nmtest::kDisconnected, QStringLiteral("00:11:22:33:44:55")});
    auto ap = [&](const char* name, const char* ssid, const char* mac, uint mhz, uint rate, uchar strength, uint sec) {
      m_nm.Mock(QStringLiteral("AddAccessPoint"),
                {m_device, QString::fromLatin1(name), QString::fromLatin1(ssid), QString::fromLatin1(mac), 2u, mhz,
                 rate, QVariant::fromValue(strength), sec});
      // The template gives WPA and RSN the same flags; these access points speak RSN (WPA2) only.
      QDBusMessage wpa = QDBusMessage::createMethodCall(
          QStringLiteral("org.freedesktop.NetworkManager"),
          QStringLiteral("/org/freedesktop/NetworkManager/AccessPoint/") + QString::fromLatin1(name),
          QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
      wpa.setArguments({QStringLiteral("org.freedesktop.NetworkManager.AccessPoint"), QStringLiteral("WpaFlags"),
                        QVariant::fromValue(QDBusVariant(0u))});
      m_nm.Bus().call(wpa);
    };
    ap("ap1", "Cafe", kCafe, 2412, 54000, 80, 0);
    ap("ap2", "Home", kHome1, 5180, 300000, 60, nmtest::kPairCcmpPsk);
    ap("ap3", "Home", kHome2, 5180, 300000, 40, nmtest::kPairCcmpPsk);
    Settings home;
    home[QStringLiteral("connection")] = {{QStringLiteral("id"), QStringLiteral("Home")},
                                          {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                                          {QStringLiteral("uuid"), QStringLiteral("5b1c0c56-1a43-4e6b-9d0e-2f4c1a7d9e01")}};
    home[QStringLiteral("802-11-wireless")] = {{QStringLiteral("ssid"), QByteArray("Home")},
                                               {QStringLiteral("mode"), QStringLiteral("infrastructure")}};
    home[QStringLiteral("802-11-wireless-security")] = {{QStringLiteral("key-mgmt"), QStringLiteral("wpa-psk")}};
    m_nm.Mock(QStringLiteral("AddConnection"), {QStringLiteral("home"), QVariant::fromValue(home)});
    m_nm.Mock(QStringLiteral("SetIp4"), {m_device, QStringLiteral("127.0.10.2"), QStringLiteral("127.0.10.53"),
                                         QStringLiteral("127.0.10.1")});
  }

  nmtest::StandIn m_nm;
  QString m_device;
  HANDLE m_handle = nullptr;
  GUID m_guid{};
};


TEST_P(BackendContract, EnumeratesTheAdapterWithAStableGuid) {
  WLAN_INTERFACE_INFO_LIST* list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SUCCESS);
  ASSERT_EQ(list->dwNumberOfItems, 1u);
  EXPECT_EQ(WideToUtf8(list->InterfaceInfo[0].strInterfaceDescription), "wlan0");
  EXPECT_EQ(list->InterfaceInfo[0].isState, wlan_interface_state_disconnected);
  WlanFreeMemory(list);

  // A second client sees the same adapter under the same GUID.
  HANDLE other = nullptr;
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &other), ERROR_SUCCESS);
  ASSERT_EQ(WlanEnumInterfaces(other, nullptr, &list), ERROR_SUCCESS);
  ASSERT_EQ(list->dwNumberOfItems, 1u);
  EXPECT_TRUE(list->InterfaceInfo[0].InterfaceGuid == m_guid);
  WlanFreeMemory(list);
  EXPECT_EQ(WlanCloseHandle(other, nullptr), ERROR_SUCCESS);

  GUID unknown{};
  PVOID data = nullptr;
  DWORD size = 0;
  EXPECT_EQ(WlanQueryInterface(m_handle, &unknown, wlan_intf_opcode_interface_state, nullptr, &size, &data, nullptr),
            ERROR_NOT_FOUND);
}

TEST_P(BackendContract, ScanCompletes) {
  nmtest::Recorder seen;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ACM, FALSE, &nmtest::Recorder::Callback, &seen, nullptr,
                                     nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(WlanScan(m_handle, &m_guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(seen.WaitFor(wlan_notification_acm_scan_complete, m_guid));
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_NONE, FALSE, nullptr, nullptr, nullptr,
                                     nullptr),
            ERROR_SUCCESS);
}

TEST_P(BackendContract, ListsNetworksWithProfileEntriesFirst) {
  WLAN_AVAILABLE_NETWORK_LIST* list = nullptr;
  ASSERT_EQ(WlanGetAvailableNetworkList(m_handle, &m_guid, 0, nullptr, &list), ERROR_SUCCESS);
  // (SSID, profile, BSS count, secured, auth, cipher) in list order.
  using Row = std::tuple<std::string, std::string, ULONG, bool, int, int>;
  std::vector<Row> rows;
  for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
    const WLAN_AVAILABLE_NETWORK& n = list->Network[i];
    rows.emplace_back(SsidText(n.dot11Ssid), WideToUtf8(n.strProfileName), n.uNumberOfBssids,
                      n.bSecurityEnabled != FALSE, n.dot11DefaultAuthAlgorithm, n.dot11DefaultCipherAlgorithm);
    EXPECT_LE(n.wlanSignalQuality, 100u);
    EXPECT_EQ(n.dot11BssType, dot11_BSS_type_infrastructure);
    EXPECT_EQ((n.dwFlags & WLAN_AVAILABLE_NETWORK_HAS_PROFILE) != 0, n.strProfileName[0] != 0);
    EXPECT_EQ(n.dwFlags & WLAN_AVAILABLE_NETWORK_CONNECTED, 0u);
  }
  WlanFreeMemory(list);
  const std::vector<Row> expected = {
      {"Home", "Home", 2, true, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
      {"Cafe", "", 1, false, DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_NONE},
      {"Home", "", 2, true, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
  };
  EXPECT_EQ(rows, expected);
}

TEST_P(BackendContract, ListsEveryBssAndFiltersByNetwork) {
  WLAN_BSS_LIST* list = nullptr;
  ASSERT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, nullptr, dot11_BSS_type_any, FALSE, nullptr, &list),
            ERROR_SUCCESS);
  std::set<std::tuple<std::string, std::string, ULONG, std::string>> all;
  for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
    const WLAN_BSS_ENTRY& e = list->wlanBssEntries[i];
    // The entry's elements lie inside the list and name its security.
    const std::size_t at = reinterpret_cast<const BYTE*>(&e) - reinterpret_cast<const BYTE*>(list) + e.ulIeOffset;
    ASSERT_LE(at + e.ulIeSize, list->dwTotalSize);
    const WlanElementInfo info = ParseInformationElements(reinterpret_cast<const std::uint8_t*>(list) + at,
                                                          e.ulIeSize, {0, e.usCapabilityInformation});
    all.emplace(MacText(e.dot11Bssid), SsidText(e.dot11Ssid), e.ulChCenterFrequency, WlanAuthenticationText(info));
    EXPECT_LE(e.uLinkQuality, 100u);
    EXPECT_GE(e.lRssi, -100);
    EXPECT_LE(e.lRssi, 0);
  }
  WlanFreeMemory(list);
  const std::set<std::tuple<std::string, std::string, ULONG, std::string>> expected = {
      {kCafe, "Cafe", 2412000, "Open"}, {kHome1, "Home", 5180000, "WPA2-PSK"}, {kHome2, "Home", 5180000, "WPA2-PSK"}};
  EXPECT_EQ(all, expected);

  DOT11_SSID home{};
  home.uSSIDLength = 4;
  std::memcpy(home.ucSSID, "Home", 4);
  ASSERT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, &home, dot11_BSS_type_infrastructure, TRUE, nullptr, &list),
            ERROR_SUCCESS);
  EXPECT_EQ(list->dwNumberOfItems, 2u);
  WlanFreeMemory(list);
  ASSERT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, &home, dot11_BSS_type_infrastructure, FALSE, nullptr, &list),
            ERROR_SUCCESS);
  EXPECT_EQ(list->dwNumberOfItems, 0u);
  WlanFreeMemory(list);
}

TEST_P(BackendContract, ProfileListAndDocument) {
  WLAN_PROFILE_INFO_LIST* list = nullptr;
  ASSERT_EQ(WlanGetProfileList(m_handle, &m_guid, nullptr, &list), ERROR_SUCCESS);
  ASSERT_EQ(list->dwNumberOfItems, 1u);
  EXPECT_EQ(WideToUtf8(list->ProfileInfo[0].strProfileName), "Home");
  WlanFreeMemory(list);

  LPWSTR xml = nullptr;
  DWORD flags = 0, access = 0;
  ASSERT_EQ(WlanGetProfile(m_handle, &m_guid, u"Home", nullptr, &xml, &flags, &access), ERROR_SUCCESS);
  const std::string document = WideToUtf8(xml);
  WlanFreeMemory(xml);
  wlansim::ParsedProfile parsed;
  ASSERT_EQ(wlansim::ParseProfileXml(document, &parsed), WLAN_REASON_CODE_SUCCESS) << document;
  EXPECT_EQ(parsed.name, "Home");
  EXPECT_EQ(parsed.ssid, "Home");
  EXPECT_EQ(parsed.bssType, dot11_BSS_type_infrastructure);
  EXPECT_TRUE(parsed.autoConnect);
  EXPECT_EQ(parsed.authentication, "WPA2PSK");
  EXPECT_EQ(parsed.encryption, "AES");

  xml = nullptr;
  EXPECT_EQ(WlanGetProfile(m_handle, &m_guid, u"Nowhere", nullptr, &xml, nullptr, nullptr), ERROR_NOT_FOUND);
  EXPECT_EQ(xml, nullptr);
}

TEST_P(BackendContract, ProfileDocumentRoundTrip) {
  auto read = [&] {
    LPWSTR xml = nullptr;
    EXPECT_EQ(WlanGetProfile(m_handle, &m_guid, u"Home", nullptr, &xml, nullptr, nullptr), ERROR_SUCCESS);
    const std::string document = xml ? WideToUtf8(xml) : std::string();
    WlanFreeMemory(xml);
    return document;
  };
  std::string document = read();
  const std::string from = "<connectionMode>auto</connectionMode>";
  ASSERT_NE(document.find(from), std::string::npos) << document;
  document.replace(document.find(from), from.size(), "<connectionMode>manual</connectionMode>");
  DWORD reason = 0;
  ASSERT_EQ(WlanSetProfile(m_handle, &m_guid, 0, Utf8ToWide(document).c_str(), nullptr, TRUE, nullptr, &reason),
            ERROR_SUCCESS);
  wlansim::ParsedProfile parsed;
  ASSERT_EQ(wlansim::ParseProfileXml(read(), &parsed), WLAN_REASON_CODE_SUCCESS);
  EXPECT_FALSE(parsed.autoConnect);
  EXPECT_EQ(parsed.ssid, "Home");
  EXPECT_EQ(parsed.authentication, "WPA2PSK");
  // Saving it again without overwrite is refused.
  EXPECT_EQ(WlanSetProfile(m_handle, &m_guid, 0, Utf8ToWide(document).c_str(), nullptr, FALSE, nullptr, &reason),
            ERROR_ALREADY_EXISTS);
}

// The connection notifications of one adapter: (code, reason) of ACM start,
// attempt failed, complete, disconnected.
std::vector<std::pair<DWORD, DWORD>> AttemptOf(nmtest::Recorder& seen, const GUID& guid) {
  std::vector<std::pair<DWORD, DWORD>> out;
  for (const auto& item : seen.Items()) {
    if (item.source != WLAN_NOTIFICATION_SOURCE_ACM || !(item.guid == guid)) continue;
    if (item.code != wlan_notification_acm_connection_start && item.code != wlan_notification_acm_connection_attempt_fail &&
        item.code != wlan_notification_acm_connection_complete && item.code != wlan_notification_acm_disconnected)
      continue;
    DWORD reason = 0;
    std::memcpy(&reason, item.payload.data() + offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, wlanReasonCode), 4);
    out.emplace_back(item.code, reason);
  }
  return out;
}

class ConnectContract : public BackendContract {
 protected:
  void SetUp() override {
    BackendContract::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &nmtest::Recorder::Callback,
                                       &m_seen, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (m_handle) {
      EXPECT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_NONE, FALSE, nullptr, nullptr, nullptr,
                                         nullptr),
                ERROR_SUCCESS);
    }
    BackendContract::TearDown();
  }

  DWORD Connect(WLAN_CONNECTION_MODE mode, const char16_t* profile, const char* ssid, const char* bssid) {
    DOT11_SSID dot11{};
    dot11.uSSIDLength = static_cast<ULONG>(std::strlen(ssid));
    std::memcpy(dot11.ucSSID, ssid, dot11.uSSIDLength);
    DOT11_BSSID_LIST list{};
    list.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    list.uNumOfEntries = list.uTotalNumOfEntries = 1;
    wlansim::Mac mac;
    wlansim::ParseMac(bssid, &mac);
    std::memcpy(list.BSSIDs[0], mac.data(), 6);
    WLAN_CONNECTION_PARAMETERS p{};
    p.wlanConnectionMode = mode;
    p.strProfile = profile;
    p.pDot11Ssid = &dot11;
    p.pDesiredBssidList = &list;
    p.dot11BssType = dot11_BSS_type_infrastructure;
    return WlanConnect(m_handle, &m_guid, &p, nullptr);
  }

  std::string CurrentBssid() {
    DWORD size = 0;
    PVOID data = nullptr;
    if (WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_current_connection, nullptr, &size, &data, nullptr) !=
        ERROR_SUCCESS)
      return "";
    const auto* attr = static_cast<WLAN_CONNECTION_ATTRIBUTES*>(data);
    const std::string text = MacText(attr->wlanAssociationAttributes.dot11Bssid);
    WlanFreeMemory(data);
    return text;
  }

  nmtest::Recorder m_seen;
};

using Attempt = std::vector<std::pair<DWORD, DWORD>>;

TEST_P(ConnectContract, ProfileOnTheChosenBssidThenDisconnect) {
  ASSERT_EQ(Connect(wlan_connection_mode_profile, u"Home", "Home", kHome2), ERROR_SUCCESS);
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, m_guid));
  EXPECT_EQ(AttemptOf(m_seen, m_guid), (Attempt{{wlan_notification_acm_connection_start, 0},
                                                {wlan_notification_acm_connection_complete, 0}}));
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_msm_connected, m_guid));
  EXPECT_EQ(CurrentBssid(), kHome2);

  ASSERT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_SUCCESS);
  nmtest::Recorder::Item gone;
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_disconnected, m_guid, &gone));
  EXPECT_EQ(AttemptOf(m_seen, m_guid).back(),
            std::make_pair(DWORD{wlan_notification_acm_disconnected}, DWORD{WLAN_REASON_CODE_MSM_USER_DISCONNECT}));
  EXPECT_EQ(CurrentBssid(), "");
}

TEST_P(ConnectContract, OpenNetworkWithoutProfile) {
  ASSERT_EQ(Connect(wlan_connection_mode_discovery_unsecure, nullptr, "Cafe", kCafe), ERROR_SUCCESS);
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, m_guid));
  EXPECT_EQ(AttemptOf(m_seen, m_guid), (Attempt{{wlan_notification_acm_connection_start, 0},
                                                {wlan_notification_acm_connection_complete, 0}}));
  EXPECT_EQ(CurrentBssid(), kCafe);
}

std::string Dotted(const SOCKET_ADDRESS& a) {
  if (!a.lpSockaddr) return "";
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a.lpSockaddr)->sin_addr, text, sizeof text);
  return text;
}

TEST_P(ConnectContract, IpConfigurationWhileConnected) {
  auto read = [](std::vector<char>* buffer) -> IP_ADAPTER_ADDRESSES* {
    ULONG size = 0;
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW) return nullptr;
    buffer->assign(size, 0);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer->data());
    return GetAdaptersAddresses(AF_INET, 0, nullptr, first, &size) == ERROR_SUCCESS ? first : nullptr;
  };
  std::vector<char> buffer;
  IP_ADAPTER_ADDRESSES* down = read(&buffer);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->OperStatus, IfOperStatusDown);
  EXPECT_EQ(down->FirstUnicastAddress, nullptr);

  ASSERT_EQ(Connect(wlan_connection_mode_discovery_unsecure, nullptr, "Cafe", kCafe), ERROR_SUCCESS);
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, m_guid));
  IP_ADAPTER_ADDRESSES* up = read(&buffer);
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->Next, nullptr);
  EXPECT_EQ(up->OperStatus, IfOperStatusUp);
  EXPECT_EQ(WideToUtf8(up->Description), "wlan0");
  EXPECT_TRUE(up->Flags & IP_ADAPTER_DHCP_ENABLED);
  ASSERT_NE(up->FirstUnicastAddress, nullptr);
  EXPECT_EQ(Dotted(up->FirstUnicastAddress->Address), "127.0.10.2");
  ASSERT_NE(up->FirstDnsServerAddress, nullptr);
  EXPECT_EQ(Dotted(up->FirstDnsServerAddress->Address), "127.0.10.53");
  EXPECT_EQ(Dotted(up->Dhcpv4Server), "127.0.10.1");
}

TEST_P(ConnectContract, FailuresBeforeAnythingStarts) {
  struct Case {
    const char* name;
    WLAN_CONNECTION_MODE mode;
    const char16_t* profile;
    const char* ssid;
    const char* bssid;
    DWORD reason;
  };
  const Case cases[] = {
      {"secured network without a profile", wlan_connection_mode_discovery_secure, nullptr, "Home", kHome1,
       WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE},
      {"unknown profile", wlan_connection_mode_profile, u"Nowhere", "Nowhere", kCafe, WLAN_REASON_CODE_PROFILE_MISSING},
      {"SSID not in the air", wlan_connection_mode_discovery_unsecure, nullptr, "Gone", kCafe,
       WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE},
  };
  for (const Case& c : cases) {
    m_seen.Clear();
    ASSERT_EQ(Connect(c.mode, c.profile, c.ssid, c.bssid), ERROR_SUCCESS) << c.name;
    ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, m_guid)) << c.name;
    EXPECT_EQ(AttemptOf(m_seen, m_guid), (Attempt{{wlan_notification_acm_connection_start, 0},
                                                  {wlan_notification_acm_connection_attempt_fail, c.reason},
                                                  {wlan_notification_acm_connection_complete, c.reason}}))
        << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ConnectContract, testing::Values(Kind::Simulated, Kind::NetworkManager),
                         [](const testing::TestParamInfo<Kind>& info) {
                           return info.param == Kind::Simulated ? "Simulated" : "NetworkManager";
                         });

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, testing::Values(Kind::Simulated, Kind::NetworkManager),
                         [](const testing::TestParamInfo<Kind>& info) {
                           return info.param == Kind::Simulated ? "Simulated" : "NetworkManager";
                         });

}  // namespace
