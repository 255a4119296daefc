#include "wlan/NativeWIFIDevice.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <unordered_set>

#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/NotificationLog.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"
#include "wlan/WlanNames.h"

std::mutex g_csRefresh;

namespace {
std::atomic<DeviceTimeSource> g_deviceTime{nullptr};
}  // namespace

void SetDeviceTimeSource(DeviceTimeSource source) { g_deviceTime = source; }

namespace {

// Releases a result of the WLAN service when it goes out of scope.
template <typename T>
struct WlanMemory {
  T* p = nullptr;
  ~WlanMemory() {
    if (p) WlanFreeMemory(p);
  }
};

DWORD SetInterfaceSwitch(HANDLE client, const GUID& guid, WLAN_INTF_OPCODE opcode, BOOL on) {
  BOOL value = on;
  return WlanSetInterface(client, &guid, opcode, sizeof value, &value, nullptr);
}

}  // namespace

CNativeWIFIDevice::CNativeWIFIDevice(const std::string& description, const GUID& guid, CNativeWIFIInterface* pInterface)
    : m_guid(guid), m_strDescription(description), m_pInterface(pInterface) {
  QueryInterfaceState();
  SetInterfaceSwitch(GetClientHandle(), m_guid, wlan_intf_opcode_autoconf_enabled, TRUE);
  SetInterfaceSwitch(GetClientHandle(), m_guid, wlan_intf_opcode_background_scan_enabled, TRUE);
}

CNativeWIFIDevice::~CNativeWIFIDevice() {
  StopWorkers();
  for (CStation* station : m_arrStations) delete station;
  for (CWIFINetwork* network : m_arrNetworks) delete network;
}

HANDLE CNativeWIFIDevice::GetClientHandle() const { return m_pInterface ? m_pInterface->GetClientHandle() : nullptr; }

void CNativeWIFIDevice::QueryInterfaceState() {
  WlanMemory<void> data;
  DWORD size = 0;
  if (WlanQueryInterface(GetClientHandle(), &m_guid, wlan_intf_opcode_interface_state, nullptr, &size, &data.p,
                         nullptr) == ERROR_SUCCESS &&
      data.p && size >= sizeof(DWORD)) {
    DWORD state;
    std::memcpy(&state, data.p, sizeof state);
    m_nInterfaceState = state;
  }
}

std::string CNativeWIFIDevice::GetInterfaceStateText() {
  QueryInterfaceState();
  return InterfaceStateName(m_nInterfaceState);
}

DWORD CNativeWIFIDevice::RequestScan() {
  const DWORD state = m_nInterfaceState;
  if (state != wlan_interface_state_connected && state != wlan_interface_state_ad_hoc_network_formed &&
      state != wlan_interface_state_disconnected)
    return 0;
  if (m_bScanPending.exchange(true)) return 0;
  m_pInterface->BroadcastNotification(nullptr);
  // A failed call leaves the scan pending until the service reports one.
  return WlanScan(GetClientHandle(), &m_guid, nullptr, nullptr, nullptr);
}

int CNativeWIFIDevice::StartRefresh() {
  {
    std::lock_guard<std::mutex> lock(g_csRefresh);
    if (m_bRefreshRunning || m_bStopped) return 0;
    m_bRefreshRunning = true;
  }
  if (!m_refreshThread.Start([this] { RefreshWorker(); })) {
    std::lock_guard<std::mutex> lock(g_csRefresh);
    m_bRefreshRunning = false;
  }
  return 0;
}

void CNativeWIFIDevice::RefreshWorker() {
  try {
    RefreshNetworks();
    RefreshStations();
  } catch (const std::exception&) {
    // Out of memory or an index out of range ends this pass only.
  }
  std::lock_guard<std::mutex> lock(g_csRefresh);
  m_bRefreshRunning = false;
}

bool CNativeWIFIDevice::IsRefreshRunning() const {
  std::lock_guard<std::mutex> lock(g_csRefresh);
  return m_bRefreshRunning;
}

void CNativeWIFIDevice::StopWorkers() {
  {
    std::lock_guard<std::mutex> lock(g_csRefresh);
    m_bStopped = true;
  }
  m_bStopRequested = true;
  m_refreshThread.Join();
}

std::uint64_t CNativeWIFIDevice::MacKey(const UCHAR* bssid) {
  std::uint64_t key = 0;
  for (int i = 0; i < 6; ++i) key = (key << 8) | bssid[i];
  return key;
}

std::string CNativeWIFIDevice::NetworkKey(const DOT11_SSID& ssid, int bssType, int cipher) {
  std::string key = CStation::SsidText(ssid);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  key.append(reinterpret_cast<const char*>(&bssType), sizeof bssType);
  key.append(reinterpret_cast<const char*>(&cipher), sizeof cipher);
  return key;
}

CWIFINetwork* CNativeWIFIDevice::FindNetwork(const WLAN_AVAILABLE_NETWORK& entry) const {
  const std::string key = NetworkKey(entry.dot11Ssid, entry.dot11BssType, entry.dot11DefaultCipherAlgorithm);
  std::lock_guard<std::mutex> lock(m_csTables);
  auto it = m_networkIndex.find(key);
  return it == m_networkIndex.end() ? nullptr : it->second;
}

CStation* CNativeWIFIDevice::FindStation(const UCHAR* bssid) const {
  std::lock_guard<std::mutex> lock(m_csTables);
  auto it = m_stationIndex.find(MacKey(bssid));
  return it == m_stationIndex.end() ? nullptr : it->second;
}

HRESULT CNativeWIFIDevice::RefreshNetworks() {
  WlanMemory<WLAN_AVAILABLE_NETWORK_LIST> list;
  if (WlanGetAvailableNetworkList(GetClientHandle(), &m_guid, 0, nullptr, &list.p) != ERROR_SUCCESS || !list.p)
    return E_FAIL;
  for (DWORD i = 0; i < list.p->dwNumberOfItems; ++i) {
    const WLAN_AVAILABLE_NETWORK& entry = list.p->Network[i];
    if (FindNetwork(entry)) continue;
    CWIFIProfile* profile = m_pInterface ? m_pInterface->FindProfile(CWIFINetwork::ProfileNameText(entry)) : nullptr;
    auto* network = new CWIFINetwork(entry, this, profile);
    std::lock_guard<std::mutex> lock(m_csTables);
    m_arrNetworks.push_back(network);
    m_networkIndex.emplace(NetworkKey(entry.dot11Ssid, entry.dot11BssType, entry.dot11DefaultCipherAlgorithm),
                           network);
  }
  return 0;
}

HRESULT CNativeWIFIDevice::RefreshStations() {
  const DeviceTimeSource source = g_deviceTime;
  const std::int64_t now = source ? source() : static_cast<std::int64_t>(std::time(nullptr));
  std::unordered_set<CStation*> heard;
  bool failed = false;
  for (int n = 0; n < GetNetworkCount() && !m_bStopRequested; ++n) {
    CWIFINetwork* network = GetNetwork(n);
    WlanMemory<WLAN_BSS_LIST> list;
    if (WlanGetNetworkBssList(GetClientHandle(), &m_guid, &network->m_dot11Ssid,
                              static_cast<DOT11_BSS_TYPE>(network->m_nBssType), network->m_bSecurityEnabled, nullptr,
                              &list.p) != ERROR_SUCCESS ||
        !list.p) {
      failed = true;
      continue;
    }
    for (DWORD i = 0; i < list.p->dwNumberOfItems; ++i) {
      const WLAN_BSS_ENTRY& entry = list.p->wlanBssEntries[i];
      if (CStation* station = FindStation(entry.dot11Bssid)) {
        station->UpdateSighting(entry.lRssi, entry.uLinkQuality, now);
        heard.insert(station);
        continue;
      }
      auto* station = new CStation(this, network, entry.dot11Bssid, CStation::SsidText(entry.dot11Ssid),
                                   network->m_nCipherAlgorithm, entry.uLinkQuality, entry.lRssi,
                                   CStation::PhyIndexOf(entry.dot11BssPhyType), entry.usBeaconPeriod,
                                   entry.ulChCenterFrequency, CStation::BssTypeOf(entry.dot11BssType),
                                   entry.wlanRateSet, now);
      {
        std::lock_guard<std::mutex> lock(m_csTables);
        m_arrStations.push_back(station);
        m_stationIndex.emplace(MacKey(entry.dot11Bssid), station);
      }
      heard.insert(station);
    }
  }
  std::lock_guard<std::mutex> lock(m_csTables);
  for (CStation* station : m_arrStations)
    if (!heard.count(station)) station->MarkMissing();
  return failed ? E_FAIL : 0;
}

int CNativeWIFIDevice::GetStationCount() const {
  std::lock_guard<std::mutex> lock(m_csTables);
  return static_cast<int>(m_arrStations.size());
}

CStation* CNativeWIFIDevice::GetStation(int index) const {
  std::lock_guard<std::mutex> lock(m_csTables);
  if (index < 0 || static_cast<std::size_t>(index) >= m_arrStations.size())
    throw std::invalid_argument("station index out of range");
  return m_arrStations[static_cast<std::size_t>(index)];
}

int CNativeWIFIDevice::GetNetworkCount() const {
  std::lock_guard<std::mutex> lock(m_csTables);
  return static_cast<int>(m_arrNetworks.size());
}

CWIFINetwork* CNativeWIFIDevice::GetNetwork(int index) const {
  std::lock_guard<std::mutex> lock(m_csTables);
  if (index < 0 || static_cast<std::size_t>(index) >= m_arrNetworks.size())
    throw std::invalid_argument("network index out of range");
  return m_arrNetworks[static_cast<std::size_t>(index)];
}

void CNativeWIFIDevice::ForEachStation(const std::function<void(CStation*)>& fn) const {
  std::lock_guard<std::mutex> lock(m_csTables);
  for (CStation* station : m_arrStations) fn(station);
}

int CNativeWIFIDevice::SetProfilesAutoConnect(bool restore) {
  std::vector<CWIFINetwork*> networks;
  {
    std::lock_guard<std::mutex> lock(m_csTables);
    networks = m_arrNetworks;
  }
  for (CWIFINetwork* network : networks)
    if (network->m_pProfile) network->m_pProfile->SetAutoConnect(restore);
  return 0;
}

HRESULT CNativeWIFIDevice::Connect(const CStation* pStation) {
  if (!pStation) return E_FAIL;
  auto* bssids = static_cast<DOT11_BSSID_LIST*>(WlanAllocateMemory(sizeof(DOT11_BSSID_LIST)));
  auto* ssid = static_cast<DOT11_SSID*>(WlanAllocateMemory(sizeof(DOT11_SSID)));
  WCHAR* profileName = nullptr;
  HRESULT result = E_FAIL;
  if (bssids && ssid) {
    std::memset(bssids, 0, sizeof *bssids);
    bssids->Header.Type = NDIS_OBJECT_TYPE_DEFAULT;
    bssids->Header.Revision = DOT11_BSSID_LIST_REVISION_1;
    bssids->Header.Size = sizeof(DOT11_BSSID_LIST);
    bssids->uNumOfEntries = 1;
    bssids->uTotalNumOfEntries = 1;
    std::memcpy(bssids->BSSIDs[0], pStation->m_bssid, sizeof(DOT11_MAC_ADDRESS));

    std::memset(ssid, 0, sizeof *ssid);
    const std::string& text = pStation->m_strSSID;
    ssid->uSSIDLength = static_cast<ULONG>(std::min<std::size_t>(text.size(), DOT11_SSID_MAX_LENGTH));
    std::memcpy(ssid->ucSSID, text.data(), ssid->uSSIDLength);

    WLAN_CONNECTION_PARAMETERS params{};
    const CWIFINetwork* network = pStation->m_pNetwork;
    const CWIFIProfile* profile = network ? network->m_pProfile : nullptr;
    if (profile && !profile->m_strName.empty()) {
      const std::u16string name = Utf8ToWide(profile->m_strName);
      const DWORD bytes = static_cast<DWORD>(2 * name.size() + 4);
      profileName = static_cast<WCHAR*>(WlanAllocateMemory(bytes));
      if (profileName) {
        std::memset(profileName, 0, bytes);
        std::copy(name.begin(), name.end(), profileName);
      }
      params.wlanConnectionMode = wlan_connection_mode_profile;
      params.strProfile = profileName;
    } else {
      params.wlanConnectionMode = network && network->m_bSecurityEnabled ? wlan_connection_mode_discovery_secure
                                                                         : wlan_connection_mode_discovery_unsecure;
      params.strProfile = nullptr;
    }
    params.pDot11Ssid = ssid;
    params.pDesiredBssidList = bssids;
    params.dot11BssType = static_cast<DOT11_BSS_TYPE>(pStation->m_nBssType);
    params.dwFlags = WLAN_CONNECTION_HIDDEN_NETWORK;
    if (params.wlanConnectionMode != wlan_connection_mode_profile || profileName)
      result = WlanConnect(GetClientHandle(), &m_guid, &params, nullptr) == ERROR_SUCCESS ? 0 : E_FAIL;
  }
  if (profileName) WlanFreeMemory(profileName);
  if (ssid) WlanFreeMemory(ssid);
  if (bssids) WlanFreeMemory(bssids);
  return result;
}

HRESULT CNativeWIFIDevice::Disconnect() {
  return WlanDisconnect(GetClientHandle(), &m_guid, nullptr) == ERROR_SUCCESS ? 0 : E_FAIL;
}

const UCHAR* CNativeWIFIDevice::GetCurrentBssid() {
  // One buffer per thread rather than per process: callers on different
  // threads cannot overwrite each other's answer.
  thread_local DOT11_MAC_ADDRESS current;
  std::memset(current, 0, sizeof current);
  WlanMemory<void> data;
  DWORD size = 0;
  if (WlanQueryInterface(GetClientHandle(), &m_guid, wlan_intf_opcode_current_connection, nullptr, &size, &data.p,
                         nullptr) == ERROR_SUCCESS &&
      data.p && size >= sizeof(WLAN_CONNECTION_ATTRIBUTES)) {
    const auto* attributes = static_cast<const WLAN_CONNECTION_ATTRIBUTES*>(data.p);
    std::memcpy(current, attributes->wlanAssociationAttributes.dot11Bssid, sizeof current);
  }
  return current;
}

void CNativeWIFIDevice::OnWlanNotification(const WLAN_NOTIFICATION_DATA* pNotification) {
  if (!pNotification) return;
  if (pNotification->NotificationSource == WLAN_NOTIFICATION_SOURCE_ACM &&
      (pNotification->NotificationCode == wlan_notification_acm_scan_complete ||
       pNotification->NotificationCode == wlan_notification_acm_scan_fail))
    m_bScanPending = false;
  LogMonitorNotification(*pNotification);
  QueryInterfaceState();
}
