// The NetworkManager back end on the stand-in: what only it does (GUIDs from
// hardware addresses, refusals, devices and the service coming and going,
// state changes as notifications, no secrets in documents) and the choice of
// the back end.
#include <gtest/gtest.h>

#include <QDBusMetaType>
#include <QTemporaryDir>

#include <fstream>

#include <string>
#include <thread>
#include <vector>

#include "platform/iphlpapi.h"
#include "platform/nm/NmMapping.h"
#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "platform/wlanbackend.h"
#include "platform/wlansim/SimControl.h"
#include "tests/nm/NmStandIn.h"
#include "wlan/InformationElements.h"

namespace {

using Settings = QMap<QString, QVariantMap>;

DWORD ConnReasonOf(const std::vector<BYTE>& payload) {
  DWORD value = 0;
  if (payload.size() >= offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, dwFlags))
    std::memcpy(&value, payload.data() + offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, wlanReasonCode), 4);
  return value;
}

class NetworkManagerBackend : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = nmtest::StandIn::MissingTools();
    if (!missing.empty()) GTEST_SKIP() << "NetworkManager stand-in not available: " << missing;
    std::string error;
    ASSERT_TRUE(m_nm.Start(&error)) << error;
    qDBusRegisterMetaType<Settings>();
    setenv("AERLUME_WLAN_BACKEND", "networkmanager", 1);
  }
  void TearDown() override {
    if (m_handle) {
      EXPECT_EQ(WlanCloseHandle(m_handle, nullptr), ERROR_SUCCESS);
    }
    m_nm.Stop();
    setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
    unsetenv("AERLUME_SIM_WORLD");
  }

  QString AddWifi(const char* name, const char* iface, const char* permanent) {
    return m_nm.MockText(QStringLiteral("AddWifi"), {QString::fromLatin1(name), QString::fromLatin1(iface),
                                                     nmtest::kDisconnected, QString::fromLatin1(permanent)});
  }

  // An open access point of the network "Cafe" (2412 MHz) with the given
  // strength; returns its object path.
  QString AddCafe(const QString& device, const char* name, const char* bssid, uchar strength) {
    return m_nm.MockText(QStringLiteral("AddAccessPoint"),
                         {device, QString::fromLatin1(name), QStringLiteral("Cafe"), QString::fromLatin1(bssid), 2u,
                          2412u, 54000u, QVariant::fromValue(strength), 0u});
  }

  // Connects to the open network "Cafe", on one BSSID when given.
  DWORD ConnectCafe(const GUID& guid, const DOT11_BSSID_LIST* bssids = nullptr) {
    DOT11_SSID ssid{4, {'C', 'a', 'f', 'e'}};
    WLAN_CONNECTION_PARAMETERS p{};
    p.wlanConnectionMode = wlan_connection_mode_discovery_unsecure;
    p.pDot11Ssid = &ssid;
    p.pDesiredBssidList = const_cast<DOT11_BSSID_LIST*>(bssids);
    p.dot11BssType = dot11_BSS_type_infrastructure;
    return WlanConnect(m_handle, &guid, &p, nullptr);
  }

  void Open() {
    DWORD version = 0;
    ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &m_handle), ERROR_SUCCESS);
  }

  std::vector<GUID> Guids() {
    std::vector<GUID> out;
    WLAN_INTERFACE_INFO_LIST* list = nullptr;
    if (WlanEnumInterfaces(m_handle, nullptr, &list) != ERROR_SUCCESS) return out;
    for (DWORD i = 0; i < list->dwNumberOfItems; ++i) out.push_back(list->InterfaceInfo[i].InterfaceGuid);
    WlanFreeMemory(list);
    return out;
  }

  void Listen() {
    ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &nmtest::Recorder::Callback,
                                       &m_seen, nullptr, nullptr),
              ERROR_SUCCESS);
  }

  nmtest::StandIn m_nm;
  nmtest::Recorder m_seen;
  HANDLE m_handle = nullptr;
};

TEST_F(NetworkManagerBackend, GuidsFollowTheHardwareAddressAcrossRestarts) {
  AddWifi("first", "wlan0", "00:11:22:33:44:55");
  AddWifi("second", "wlan1", "");  // no permanent address: the interface name decides
  Open();
  const std::vector<GUID> before = Guids();
  ASSERT_EQ(before.size(), 2u);
  EXPECT_FALSE(before[0] == before[1]);

  // NetworkManager restarts; its object paths differ, the adapters do not.
  EXPECT_EQ(WlanCloseHandle(m_handle, nullptr), ERROR_SUCCESS);
  m_handle = nullptr;
  m_nm.StopService();
  std::string error;
  ASSERT_TRUE(m_nm.StartService(&error)) << error;
  AddWifi("renamed", "wlan7", "00:11:22:33:44:55");
  AddWifi("other", "wlan1", "");
  Open();
  const std::vector<GUID> after = Guids();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_TRUE(after[0] == before[0]);
  EXPECT_TRUE(after[1] == before[1]);
}

TEST_F(NetworkManagerBackend, RefusedScans) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  m_nm.Mock(QStringLiteral("RefuseScans"), {device, QStringLiteral("org.freedesktop.NetworkManager.PermissionDenied")});
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);

  // Refused for another reason (a scan already running): the scan fails the usual way.
  m_nm.Mock(QStringLiteral("RefuseScans"), {device, QStringLiteral("org.freedesktop.NetworkManager.Device.NotAllowed")});
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  nmtest::Recorder::Item failed;
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_scan_fail, guid, &failed));
  ASSERT_EQ(failed.payload.size(), 4u);
  DWORD reason = 0;
  std::memcpy(&reason, failed.payload.data(), 4);
  EXPECT_EQ(reason, WLAN_REASON_CODE_SCAN_CALL_FAIL);
}

TEST_F(NetworkManagerBackend, StateChangesBecomeTheConnectionSequence) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  for (unsigned state : {nmtest::kPrepare, nmtest::kConfig, nmtest::kActivated})
    m_nm.Mock(QStringLiteral("SetDeviceState"), {device, state, 0u});
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, guid));
  std::vector<std::pair<DWORD, DWORD>> codes;
  for (const auto& item : m_seen.Items()) codes.emplace_back(item.source, item.code);
  const std::vector<std::pair<DWORD, DWORD>> expected = {
      {WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_connection_start},
      {WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_associating},
      {WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_associated},
      {WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_connected},
      {WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_connection_complete},
  };
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(Guids().size(), 1u);

  // Link lost: disconnected with the mapped reason (40, carrier).
  m_nm.Mock(QStringLiteral("SetDeviceState"), {device, nmtest::kDisconnected, 40u});
  nmtest::Recorder::Item lost;
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_disconnected, guid, &lost));
  EXPECT_EQ(ConnReasonOf(lost.payload), WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED);
}

TEST_F(NetworkManagerBackend, StrengthOfTheActiveAccessPointIsTheSignalQuality) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  const QString ap = AddCafe(device, "ap1", "02:00:00:00:00:01", 70);
  const QString other = AddCafe(device, "ap2", "02:00:00:00:00:02", 40);
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  DOT11_BSSID_LIST bssids{};
  bssids.Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
  bssids.uNumOfEntries = bssids.uTotalNumOfEntries = 1;
  const UCHAR first[6] = {0x02, 0, 0, 0, 0, 0x01};
  std::memcpy(bssids.BSSIDs[0], first, 6);
  ASSERT_EQ(ConnectCafe(guid, &bssids), ERROR_SUCCESS);
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_complete, guid));
  m_nm.Mock(QStringLiteral("SetStrength"), {other, QVariant::fromValue(uchar(90))});  // not ours: no news
  m_nm.Mock(QStringLiteral("SetStrength"), {ap, QVariant::fromValue(uchar(33))});
  nmtest::Recorder::Item change;
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_msm_signalquality_change, guid, &change));
  ASSERT_EQ(change.payload.size(), 4u);
  DWORD quality = 0;
  std::memcpy(&quality, change.payload.data(), 4);
  EXPECT_EQ(quality, 33u);
  int changes = 0;
  for (const auto& item : m_seen.Items()) changes += item.code == wlan_notification_msm_signalquality_change;
  EXPECT_EQ(changes, 1);
}

TEST_F(NetworkManagerBackend, FailedAttemptCarriesTheMappedReason) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  m_nm.Mock(QStringLiteral("SetDeviceState"), {device, nmtest::kPrepare, 0u});
  m_nm.Mock(QStringLiteral("SetDeviceState"), {device, nmtest::kFailed, 53u});  // SSID not found
  nmtest::Recorder::Item failed;
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_attempt_fail, guid, &failed));
  EXPECT_EQ(ConnReasonOf(failed.payload), WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE);
}

TEST_F(NetworkManagerBackend, AdaptersLeaveAndReturnWithTheService) {
  const QString first = AddWifi("first", "wlan0", "00:11:22:33:44:55");
  AddWifi("second", "wlan1", "00:11:22:33:44:66");
  Open();
  Listen();
  const std::vector<GUID> guids = Guids();
  ASSERT_EQ(guids.size(), 2u);

  m_nm.Mock(QStringLiteral("DropDevice"), {first});
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_acm_interface_removal, guids[0]));
  EXPECT_EQ(Guids().size(), 1u);

  // The service stops: the rest go; calls fail without hanging; it comes back with its adapter.
  m_nm.StopService();
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_acm_interface_removal, guids[1]));
  WLAN_INTERFACE_INFO_LIST* list = nullptr;
  EXPECT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(WlanScan(m_handle, &guids[1], nullptr, nullptr, nullptr), ERROR_SERVICE_NOT_ACTIVE);
  std::string error;
  ASSERT_TRUE(m_nm.StartService(&error)) << error;
  AddWifi("back", "wlan1", "00:11:22:33:44:66");
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_acm_interface_arrival, guids[1]));
  EXPECT_EQ(Guids(), std::vector<GUID>{guids[1]});
}

TEST_F(NetworkManagerBackend, ProfileDocumentsCarryNoSecrets) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Settings s;
  s[QStringLiteral("connection")] = {{QStringLiteral("id"), QStringLiteral("Office & Lab")},
                                     {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                                     {QStringLiteral("autoconnect"), false}};
  s[QStringLiteral("802-11-wireless")] = {{QStringLiteral("ssid"), QByteArray("Office")}};
  s[QStringLiteral("802-11-wireless-security")] = {{QStringLiteral("key-mgmt"), QStringLiteral("wpa-psk")},
                                                   {QStringLiteral("psk"), QStringLiteral("hunter2hunter2")}};
  m_nm.Mock(QStringLiteral("AddConnection"), {QStringLiteral("office"), QVariant::fromValue(s)});
  Open();
  const GUID guid = Guids().at(0);
  LPWSTR xml = nullptr;
  ASSERT_EQ(WlanGetProfile(m_handle, &guid, u"Office & Lab", nullptr, &xml, nullptr, nullptr), ERROR_SUCCESS);
  const std::string document = WideToUtf8(xml);
  WlanFreeMemory(xml);
  EXPECT_EQ(document.find("hunter2"), std::string::npos) << document;
  EXPECT_EQ(document.find("keyMaterial"), std::string::npos) << document;
  EXPECT_NE(document.find("<name>Office &amp; Lab</name>"), std::string::npos) << document;
  EXPECT_NE(document.find("<connectionMode>manual</connectionMode>"), std::string::npos) << document;
}

TEST_F(NetworkManagerBackend, LeasesCannotBeRenewedOrReleasedAlone) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  IP_ADAPTER_INDEX_MAP entry{11, {}};  // the first adapter of the interface table
  EXPECT_EQ(IpRenewAddress(&entry), ERROR_NOT_READY);
  m_nm.Mock(QStringLiteral("SetDeviceState"), {device, nmtest::kActivated, 0u});
  EXPECT_EQ(IpRenewAddress(&entry), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(IpReleaseAddress(&entry), ERROR_NOT_SUPPORTED);
  IP_ADAPTER_INDEX_MAP missing{12, {}};
  EXPECT_EQ(IpRenewAddress(&missing), ERROR_INVALID_PARAMETER);
}

TEST_F(NetworkManagerBackend, PermissionRefusalsAreAccessDenied) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  AddCafe(device, "ap1", "02:00:00:00:00:01", 70);
  m_nm.Mock(QStringLiteral("RefuseActivations"), {QStringLiteral("org.freedesktop.NetworkManager.PermissionDenied")});
  Open();
  const GUID guid = Guids().at(0);
  EXPECT_EQ(ConnectCafe(guid), ERROR_ACCESS_DENIED);
}

TEST_F(NetworkManagerBackend, DeviceLeavingDuringAnAttempt) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  AddCafe(device, "ap1", "02:00:00:00:00:01", 70);
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  ASSERT_EQ(ConnectCafe(guid), ERROR_SUCCESS);
  ASSERT_TRUE(m_seen.WaitFor(wlan_notification_acm_connection_start, guid));
  m_nm.Mock(QStringLiteral("DropDevice"), {device});
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_acm_interface_removal, guid));
  EXPECT_TRUE(Guids().empty());
  EXPECT_EQ(WlanDisconnect(m_handle, &guid, nullptr), ERROR_NOT_FOUND);
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_NOT_FOUND);
}

// A hung NetworkManager costs the UI thread one time-out, not one per call;
// an answer on another thread ends the stall.
TEST_F(NetworkManagerBackend, HungServiceIsAskedOnceFromTheUiThread) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Open();
  auto deviceCalls = [&](const char* method) {
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.NetworkManager"), device,
                                                    QStringLiteral("org.freedesktop.DBus.Mock"),
                                                    QString::fromLatin1(method));
    return m_nm.Bus().call(m, QDBus::Block, 5000);
  };
  WLAN_INTERFACE_INFO_LIST* list = nullptr;
  ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SUCCESS);
  const GUID guid = list->InterfaceInfo[0].InterfaceGuid;
  WlanFreeMemory(list);
  deviceCalls("ClearCalls");
  m_nm.Freeze(true);
  // What was read before is answered from what the signals kept current.
  ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &list), ERROR_SUCCESS);
  WlanFreeMemory(list);
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_SERVICE_NOT_ACTIVE);  // waits out the time-out
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_SERVICE_NOT_ACTIVE);  // not asked
  m_nm.Freeze(false);
  const QDBusMessage calls = deviceCalls("GetCalls");
  ASSERT_EQ(calls.type(), QDBusMessage::ReplyMessage);
  // The first request reaches the service once it runs again; the second never went out.
  EXPECT_EQ(qdbus_cast<QVariantList>(calls.arguments().value(0)).size(), 1);

  DWORD fromWorker = 0;
  std::thread worker([&] { fromWorker = WlanScan(m_handle, &guid, nullptr, nullptr, nullptr); });
  worker.join();
  EXPECT_EQ(fromWorker, ERROR_SUCCESS);
  EXPECT_EQ(WlanScan(m_handle, &guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

// Listings and properties are kept current by the change signals: asking
// again costs the service nothing, and a change shows in the next answers.
TEST_F(NetworkManagerBackend, AnswersFollowChangeSignalsWithoutAskingAgain) {
  const QString device = AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  const QString first = AddCafe(device, "first", "02:00:00:00:00:01", 40);
  Open();
  const GUID guid = Guids().at(0);
  // (BSS count, link quality of the first) as listed now.
  auto listed = [&] {
    WLAN_BSS_LIST* list = nullptr;
    if (WlanGetNetworkBssList(m_handle, &guid, nullptr, dot11_BSS_type_any, FALSE, nullptr, &list) != ERROR_SUCCESS)
      return std::pair<DWORD, ULONG>(0, 0);
    const std::pair<DWORD, ULONG> seen(list->dwNumberOfItems, list->wlanBssEntries[0].uLinkQuality);
    WlanFreeMemory(list);
    return seen;
  };
  auto calls = [&](const QString& object, const char* method) {
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.NetworkManager"), object,
                                                    QStringLiteral("org.freedesktop.DBus.Mock"),
                                                    QString::fromLatin1(method));
    return qdbus_cast<QVariantList>(m_nm.Bus().call(m).arguments().value(0)).size();
  };
  auto settles = [&](std::pair<DWORD, ULONG> expected) {
    for (int i = 0; i < 200 && listed() != expected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return listed() == expected;
  };
  ASSERT_EQ(listed(), std::make_pair(DWORD{1}, ULONG{40}));
  calls(device, "ClearCalls");
  calls(QStringLiteral("/org/freedesktop/NetworkManager"), "ClearCalls");
  for (int i = 0; i < 20; ++i) listed();
  Guids();
  EXPECT_EQ(calls(device, "GetCalls"), 0);  // GetAllAccessPoints not asked again
  EXPECT_EQ(calls(QStringLiteral("/org/freedesktop/NetworkManager"), "GetCalls"), 0);  // nor GetDevices

  m_nm.Mock(QStringLiteral("SetStrength"), {first, QVariant::fromValue(uchar(80))});
  EXPECT_TRUE(settles({1, 80}));
  AddCafe(device, "second", "02:00:00:00:00:02", 60);
  EXPECT_TRUE(settles({2, 80}));
  m_nm.Mock(QStringLiteral("RemoveAccessPoint"), {device, first});
  EXPECT_TRUE(settles({1, 60}));
}

TEST_F(NetworkManagerBackend, SavingADocumentChangesOnlyWhatChanged) {
  AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  Settings s;
  s[QStringLiteral("connection")] = {{QStringLiteral("id"), QStringLiteral("Home")},
                                     {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                                     {QStringLiteral("uuid"), QStringLiteral("0d9c2b8e-6f0a-4c55-9a43-1e2f3a4b5c6d")}};
  s[QStringLiteral("802-11-wireless")] = {{QStringLiteral("ssid"), QByteArray("Home")},
                                          {QStringLiteral("powersave"), 2u}};
  s[QStringLiteral("802-11-wireless-security")] = {{QStringLiteral("key-mgmt"), QStringLiteral("wpa-psk")},
                                                   {QStringLiteral("psk"), QStringLiteral("correct horse")}};
  s[QStringLiteral("ipv4")] = {{QStringLiteral("method"), QStringLiteral("auto")}};
  const QString path = m_nm.MockText(QStringLiteral("AddConnection"), {QStringLiteral("home"), QVariant::fromValue(s)});
  Open();
  Listen();
  const GUID guid = Guids().at(0);
  LPWSTR xml = nullptr;
  ASSERT_EQ(WlanGetProfile(m_handle, &guid, u"Home", nullptr, &xml, nullptr, nullptr), ERROR_SUCCESS);
  std::string document = WideToUtf8(xml);
  WlanFreeMemory(xml);
  // The connect dialog suspends automatic connection by rewriting connectionMode.
  const std::string from = "<connectionMode>auto</connectionMode>";
  ASSERT_NE(document.find(from), std::string::npos);
  document.replace(document.find(from), from.size(), "<connectionMode>manual</connectionMode>");
  DWORD reason = 0;
  ASSERT_EQ(WlanSetProfile(m_handle, &guid, 0, Utf8ToWide(document).c_str(), nullptr,
                           TRUE, nullptr, &reason),
            ERROR_SUCCESS);
  EXPECT_TRUE(m_seen.WaitFor(wlan_notification_acm_profile_change, guid));

  QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.NetworkManager"), path,
                                                    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"),
                                                    QStringLiteral("GetSettings"));
  const QDBusMessage reply = m_nm.Bus().call(get);
  Settings after = qdbus_cast<Settings>(reply.arguments().value(0));
  EXPECT_EQ(after[QStringLiteral("connection")].value(QStringLiteral("autoconnect")).toBool(), false);
  after[QStringLiteral("connection")].remove(QStringLiteral("autoconnect"));
  EXPECT_EQ(after[QStringLiteral("802-11-wireless")].value(QStringLiteral("powersave")).toUInt(), 2u);
  EXPECT_EQ(after.keys(), s.keys());
  EXPECT_EQ(after[QStringLiteral("connection")].keys(), s[QStringLiteral("connection")].keys());
  // Update replaces the whole connection, secrets included: the key must have been sent along.
  QDBusMessage ask = QDBusMessage::createMethodCall(get.service(), path, get.interface(), QStringLiteral("GetSecrets"));
  ask.setArguments({QStringLiteral("802-11-wireless-security")});
  const Settings secrets = qdbus_cast<Settings>(m_nm.Bus().call(ask).arguments().value(0));
  EXPECT_EQ(secrets[QStringLiteral("802-11-wireless-security")].value(QStringLiteral("psk")).toString(),
            QStringLiteral("correct horse"));

  // Refused by NetworkManager's policy: access denied, the connection as it was.
  m_nm.Mock(QStringLiteral("RefuseActivations"), {QStringLiteral("org.freedesktop.NetworkManager.PermissionDenied")});
  document.replace(document.find("manual"), 6, "auto");
  EXPECT_EQ(WlanSetProfile(m_handle, &guid, 0, Utf8ToWide(document).c_str(), nullptr,
                           TRUE, nullptr, &reason),
            ERROR_ACCESS_DENIED);

  // New security replaces the old setting whole; a secured one needs its key.
  m_nm.Mock(QStringLiteral("RefuseActivations"), {QString()});
  auto replace = [&](const std::string& from, const std::string& to) {
    ASSERT_NE(document.find(from), std::string::npos) << document;
    document.replace(document.find(from), from.size(), to);
  };
  replace("<authentication>WPA2PSK</authentication>", "<authentication>open</authentication>");
  replace("<encryption>AES</encryption>", "<encryption>none</encryption>");
  ASSERT_EQ(WlanSetProfile(m_handle, &guid, 0, Utf8ToWide(document).c_str(), nullptr, TRUE, nullptr, &reason),
            ERROR_SUCCESS);
  after = qdbus_cast<Settings>(m_nm.Bus().call(get).arguments().value(0));
  EXPECT_FALSE(after.contains(QStringLiteral("802-11-wireless-security")));
  replace("<authentication>open</authentication>", "<authentication>WPA2PSK</authentication>");
  replace("<encryption>none</encryption>", "<encryption>AES</encryption>");
  EXPECT_EQ(WlanSetProfile(m_handle, &guid, 0, Utf8ToWide(document).c_str(), nullptr, TRUE, nullptr, &reason),
            ERROR_NOT_SUPPORTED);
}

// The choice without AERLUME_WLAN_BACKEND.
TEST_F(NetworkManagerBackend, ChosenWhenItHasAWifiDevice) {
  AddWifi("dev", "wlan0", "00:11:22:33:44:55");
  unsetenv("AERLUME_WLAN_BACKEND");
  EXPECT_EQ(wlanbackend::Select().kind, wlanbackend::Kind::NetworkManager);
  setenv("AERLUME_SIM_WORLD", "/nonexistent/world.json", 1);
  const wlanbackend::Choice asked = wlanbackend::Select();
  EXPECT_EQ(asked.kind, wlanbackend::Kind::Simulated);
  EXPECT_FALSE(asked.fallback);
}

TEST_F(NetworkManagerBackend, WithoutAWifiDeviceTheSimulatedWorldSaysSo) {
  unsetenv("AERLUME_WLAN_BACKEND");
  const wlanbackend::Choice choice = wlanbackend::Select();
  EXPECT_EQ(choice.kind, wlanbackend::Kind::Simulated);
  EXPECT_TRUE(choice.fallback);
  Open();
  EXPECT_EQ(wlanbackend::TitleRemark(), "simulated world");
  const std::vector<std::string> notices = wlanbackend::Notices();
  ASSERT_FALSE(notices.empty());
  EXPECT_NE(notices.front().find("simulated world is shown"), std::string::npos);
}

TEST(BackendChoice, RefusedWorldFileIsNamedInTheLog) {
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("broken.json")).toStdString();
  std::ofstream(path) << "{\n  \"adapters\": [\n";
  setenv("AERLUME_SIM_WORLD", path.c_str(), 1);
  testing::internal::CaptureStderr();
  wlansim::ResetToDefault();
  testing::internal::GetCapturedStderr();
  HANDLE handle = nullptr;
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &handle), ERROR_SUCCESS);
  const std::vector<std::string> notices = wlanbackend::Notices();
  EXPECT_EQ(WlanCloseHandle(handle, nullptr), ERROR_SUCCESS);
  unsetenv("AERLUME_SIM_WORLD");
  wlansim::ResetToDefault();
  ASSERT_EQ(notices.size(), 1u);  // asked for by the world file: no word of a fallback
  EXPECT_NE(notices[0].find("world file was refused (" + path + ":"), std::string::npos) << notices[0];
}

TEST(NetworkManagerMapping, SecurityFromAccessPointFlags) {
  struct Case {
    const char* name;
    unsigned flags, wpa, rsn;
    bool enabled;
    DOT11_AUTH_ALGORITHM auth;
    DOT11_CIPHER_ALGORITHM cipher;
  };
  const Case cases[] = {
      {"open", 0, 0, 0, false, DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_NONE},
      {"static WEP (privacy only)", 1, 0, 0, true, DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_WEP},
      {"WPA-PSK TKIP", 1, 0x4 | 0x40 | 0x100, 0, true, DOT11_AUTH_ALGO_WPA_PSK, DOT11_CIPHER_ALGO_TKIP},
      {"WPA2-PSK CCMP", 1, 0, 0x8 | 0x80 | 0x100, true, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
      {"WPA2 mixed with WPA: RSN wins", 1, 0x4 | 0x100, 0x8 | 0x100, true, DOT11_AUTH_ALGO_RSNA_PSK,
       DOT11_CIPHER_ALGO_CCMP},
      {"WPA2-Enterprise", 1, 0, 0x8 | 0x200, true, DOT11_AUTH_ALGO_RSNA, DOT11_CIPHER_ALGO_CCMP},
      {"WPA3-SAE", 1, 0, 0x8 | 0x400, true, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
  };
  for (const Case& c : cases) {
    const nm::ApSecurity s = nm::SecurityOf(c.flags, c.wpa, c.rsn);
    EXPECT_EQ(s.enabled, c.enabled) << c.name;
    EXPECT_EQ(s.auth, c.auth) << c.name;
    EXPECT_EQ(s.cipher, c.cipher) << c.name;
  }
}

// Without the kernel's scan dump, the security elements come from the flags;
// read back by the element parser they must name the same security.
TEST(NetworkManagerMapping, SecurityElementsFromAccessPointFlags) {
  struct Case {
    const char* name;
    unsigned wpa, rsn;
    const char* authentication;
    const char* pmf;
    const char* ciphers;
  };
  const Case cases[] = {
      {"open", 0, 0, "Open", "no", ""},
      {"WPA-PSK TKIP", 0x4 | 0x40 | 0x100, 0, "WPA-PSK", "no", "TKIP"},
      {"WPA2-PSK CCMP", 0, 0x8 | 0x80 | 0x100, "WPA2-PSK", "no", "CCMP"},
      {"WPA and WPA2 PSK", 0x4 | 0x40 | 0x100, 0x8 | 0x4 | 0x40 | 0x100, "WPA/WPA2-PSK", "no", "CCMP+TKIP"},
      {"WPA2-Enterprise", 0, 0x8 | 0x80 | 0x200, "WPA2-802.1X", "no", "CCMP"},
      {"WPA3-SAE", 0, 0x8 | 0x80 | 0x400, "WPA3-SAE", "required", "CCMP"},
      {"WPA3 transition", 0, 0x8 | 0x80 | 0x100 | 0x400, "WPA2/WPA3", "capable", "CCMP"},
      {"OWE", 0, 0x8 | 0x80 | 0x800, "OWE", "required", "CCMP"},
      {"Suite B 192", 0, 0x80 | 0x2000, "WPA3-802.1X-192", "no", ""},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> bytes = nm::ElementsFromApFlags(c.wpa, c.rsn);
    const WlanElementInfo info = ParseInformationElements(bytes.data(), bytes.size(), {2412, c.wpa | c.rsn ? 0x11 : 0x01});
    EXPECT_EQ(WlanAuthenticationText(info), c.authentication) << c.name;
    EXPECT_STREQ(WlanPmfText(info.pmf), c.pmf) << c.name;
    EXPECT_EQ(WlanPairwiseCipherText(info), c.ciphers) << c.name;
  }
}

TEST(NetworkManagerMapping, InterfaceStateFromDeviceState) {
  struct Case {
    const char* name;
    unsigned state;
    bool adhoc;
    WLAN_INTERFACE_STATE expected;
  };
  const Case cases[] = {
      {"unmanaged", 10, false, wlan_interface_state_not_ready},
      {"unavailable (radio off)", 20, false, wlan_interface_state_not_ready},
      {"disconnected", 30, false, wlan_interface_state_disconnected},
      {"prepare", 40, false, wlan_interface_state_associating},
      {"need-auth", 60, false, wlan_interface_state_authenticating},
      {"ip-config (link up, no address yet)", 70, false, wlan_interface_state_authenticating},
      {"activated", 100, false, wlan_interface_state_connected},
      {"activated ad hoc", 100, true, wlan_interface_state_ad_hoc_network_formed},
      {"deactivating", 110, false, wlan_interface_state_disconnecting},
      {"failed", 120, false, wlan_interface_state_disconnected},
  };
  for (const Case& c : cases) EXPECT_EQ(nm::InterfaceStateOf(c.state, c.adhoc), c.expected) << c.name;
}

}  // namespace
