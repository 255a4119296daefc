#include "wlan/NativeWIFIDevice.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <utility>

#include "eventlog/Log.h"
#include "platform/iphlpapi.h"
#include "platform/perfcounters.h"
#include "platform/uuidtext.h"
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
std::atomic<DeviceTickSource> g_deviceTick{nullptr};

DWORD CurrentTick() {
  if (const DeviceTickSource source = g_deviceTick) return source();
  // Milliseconds of the monotonic clock, wrapping like a 32-bit tick count.
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
}  // namespace

void SetDeviceTickSource(DeviceTickSource source) { g_deviceTick = source; }

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
  InitThroughputSampler();  // reads the IP configuration first
  m_dwLastIPRefresh = CurrentTick();
  SetInterfaceSwitch(GetClientHandle(), m_guid, wlan_intf_opcode_background_scan_enabled, TRUE);
  SampleThroughput();
}

CNativeWIFIDevice::~CNativeWIFIDevice() {
  StopWorkers();
  ReleaseThroughputSampler();
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
  m_dhcpWorker.Join();
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

namespace {

// The information elements of a BSS entry: ulIeSize bytes at ulIeOffset from
// the entry's start. A span that leaves the list's block gives none.
std::pair<const std::uint8_t*, std::size_t> EntryElements(const WLAN_BSS_LIST& list, const WLAN_BSS_ENTRY& entry) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(&list);
  const auto* at = reinterpret_cast<const std::uint8_t*>(&entry);
  const std::size_t entryOffset = static_cast<std::size_t>(at - base);
  const std::size_t total = list.dwTotalSize;
  if (entry.ulIeSize == 0 || entryOffset > total || entry.ulIeOffset > total - entryOffset ||
      entry.ulIeSize > total - entryOffset - entry.ulIeOffset)
    return {nullptr, 0};
  return {at + entry.ulIeOffset, entry.ulIeSize};
}

}  // namespace

HRESULT CNativeWIFIDevice::RefreshStations() {
  const DeviceTimeSource source = g_deviceTime;
  const std::int64_t now = source ? source() : static_cast<std::int64_t>(std::time(nullptr));
  // The stations heard in this pass, sorted at the end: thousands of them
  // per pass cost one allocation rather than one each.
  std::vector<CStation*> heard;
  heard.reserve(static_cast<std::size_t>(GetStationCount()));
  std::vector<CStation*> known;
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
    // The list's known stations in one look-up pass under the lock.
    known.assign(list.p->dwNumberOfItems, nullptr);
    {
      std::lock_guard<std::mutex> lock(m_csTables);
      for (DWORD i = 0; i < list.p->dwNumberOfItems; ++i) {
        const auto it = m_stationIndex.find(MacKey(list.p->wlanBssEntries[i].dot11Bssid));
        if (it != m_stationIndex.end()) known[i] = it->second;
      }
    }
    for (DWORD i = 0; i < list.p->dwNumberOfItems; ++i) {
      const WLAN_BSS_ENTRY& entry = list.p->wlanBssEntries[i];
      const auto [elements, elementsSize] = EntryElements(*list.p, entry);
      // A BSSID new to the table may have been added by an earlier entry of this list.
      if (CStation* station = known[i] ? known[i] : FindStation(entry.dot11Bssid)) {
        station->UpdateElements(elements, elementsSize, entry.usCapabilityInformation);
        station->UpdateSighting(entry.lRssi, entry.uLinkQuality, now);
        heard.push_back(station);
        continue;
      }
      auto* station = new CStation(this, network, entry.dot11Bssid, CStation::SsidText(entry.dot11Ssid),
                                   network->m_nCipherAlgorithm, entry.uLinkQuality, entry.lRssi,
                                   CStation::PhyIndexOf(entry.dot11BssPhyType), entry.usBeaconPeriod,
                                   entry.ulChCenterFrequency, CStation::BssTypeOf(entry.dot11BssType),
                                   entry.wlanRateSet, now);
      station->UpdateElements(elements, elementsSize, entry.usCapabilityInformation);
      {
        std::lock_guard<std::mutex> lock(m_csTables);
        m_arrStations.push_back(station);
        m_stationIndex.emplace(MacKey(entry.dot11Bssid), station);
      }
      heard.push_back(station);
    }
  }
  const std::less<CStation*> order;  // a total order of pointers
  std::sort(heard.begin(), heard.end(), order);
  std::lock_guard<std::mutex> lock(m_csTables);
  for (CStation* station : m_arrStations)
    if (!std::binary_search(heard.begin(), heard.end(), station, order)) station->MarkMissing();
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

namespace {

// Dotted-decimal text of an IPv4 socket address; empty for none or another
// family. inet_ntop rather than inet_ntoa: no buffer shared between threads.
std::string DottedText(const SOCKET_ADDRESS& address) {
  if (!address.lpSockaddr || address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in)) ||
      address.lpSockaddr->sa_family != AF_INET)
    return "";
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(address.lpSockaddr);
  return inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? text : "";
}

// A buffer for the IP helper's records, aligned for them.
std::vector<std::max_align_t> RecordBuffer(ULONG bytes) {
  return std::vector<std::max_align_t>(bytes / sizeof(std::max_align_t) + 1);
}

}  // namespace

std::string CNativeWIFIDevice::GetGuidText() const {
  RPC_CSTR text = nullptr;
  if (UuidToStringA(&m_guid, &text) != RPC_S_OK || !text) return "";
  std::string result = "{" + std::string(reinterpret_cast<const char*>(text)) + "}";
  RpcStringFreeA(&text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string CNativeWIFIDevice::GetTcpipDeviceName() const { return "\\DEVICE\\TCPIP_" + GetGuidText(); }

void CNativeWIFIDevice::RefreshIPConfiguration() {
  std::vector<std::max_align_t> buffer;
  IP_ADAPTER_ADDRESSES* list = nullptr;
  ULONG size = 0;
  ULONG result = GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size);
  for (int call = 1; call < 5 && result == ERROR_BUFFER_OVERFLOW; ++call) {
    try {
      buffer = RecordBuffer(size);
    } catch (const std::bad_alloc&) {
      result = ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    result = GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size);
  }
  m_strIPAddress.clear();
  if (result != ERROR_SUCCESS) return;
  const std::string name = GetGuidText();
  for (const IP_ADAPTER_ADDRESSES* adapter = list; adapter; adapter = adapter->Next) {
    if (name.empty() || !adapter->AdapterName || name != adapter->AdapterName) continue;
    m_strAdapterDescription = WideToUtf8(adapter->Description);
    m_strGateway = DottedText(adapter->Dhcpv4Server);
    m_strDnsServer = adapter->FirstDnsServerAddress ? DottedText(adapter->FirstDnsServerAddress->Address) : "";
    m_strIPAddress = adapter->FirstUnicastAddress ? DottedText(adapter->FirstUnicastAddress->Address) : "";
  }
}

namespace {
// Whether more than a second passed since `last`: elapsed time in unsigned
// arithmetic, so the 32-bit tick counter's wrap does not stop the refreshes.
bool SecondPassed(DWORD last, DWORD now) { return static_cast<DWORD>(now - last) > 1000; }
}  // namespace

void CNativeWIFIDevice::RefreshIPConfigurationIfStale() {
  const DWORD now = CurrentTick();
  if (!SecondPassed(m_dwLastIPRefresh, now)) return;
  m_dwLastIPRefresh = now;
  RefreshIPConfiguration();
}

std::string CNativeWIFIDevice::GetIPAddress() {
  RefreshIPConfigurationIfStale();
  return m_strIPAddress;
}

std::string CNativeWIFIDevice::GetGatewayAddress() {
  RefreshIPConfigurationIfStale();
  return m_strGateway;
}

std::string CNativeWIFIDevice::GetDnsServerAddress() {
  RefreshIPConfigurationIfStale();
  return m_strDnsServer;
}

DWORD CNativeWIFIDevice::RenewLease() { return ChangeLease(true); }

DWORD CNativeWIFIDevice::ReleaseLease() { return ChangeLease(false); }

DWORD CNativeWIFIDevice::ChangeLease(bool renew) {
  LogPrintf("%s", renew ? "Performing DHCP lease renewal...\n" : "Releasing DHCP lease...\n");

  std::vector<std::max_align_t> buffer;
  ULONG size = 0;
  DWORD result;
  try {
    buffer = RecordBuffer(264);
    result = GetInterfaceInfo(reinterpret_cast<IP_INTERFACE_INFO*>(buffer.data()), &size);
    if (result == ERROR_INSUFFICIENT_BUFFER) buffer = RecordBuffer(size);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  auto* table = reinterpret_cast<IP_INTERFACE_INFO*>(buffer.data());
  result = GetInterfaceInfo(table, &size);
  if (result != ERROR_SUCCESS) return result;

  const std::string device = GetTcpipDeviceName();
  // Never read past what the call filled, whatever count it reports.
  const std::size_t room = size > offsetof(IP_INTERFACE_INFO, Adapter)
                               ? (size - offsetof(IP_INTERFACE_INFO, Adapter)) / sizeof(IP_ADAPTER_INDEX_MAP)
                               : 0;
  const std::size_t count = table->NumAdapters > 0 ? std::min<std::size_t>(table->NumAdapters, room) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    IP_ADAPTER_INDEX_MAP& entry = table->Adapter[i];
    // The name need not end within its array.
    const WCHAR* name = entry.Name;
    if (WideToUtf8(std::u16string(name, std::find(name, name + MAX_ADAPTER_NAME, u'\0'))) != device) continue;
    if (renew)
      LogPrintf("%s", IpRenewAddress(&entry) ? "DHCP lease renewal failed.\n" : "DHCP lease renewal suceeeded.\n");
    else
      LogPrintf("%s", IpReleaseAddress(&entry) ? "DHCP lease could not be released.\n"
                                               : "DHCP lease successfully released.\n");
  }
  return 0;
}

bool CNativeWIFIDevice::StartLeaseRenewal() {
  if (m_pDhcpThread.load(std::memory_order_acquire) || m_bStopRequested) return false;
  // A worker that has just cleared the handle may not have returned yet.
  m_dhcpWorker.Join();
  m_pDhcpThread.store(&m_dhcpWorker, std::memory_order_release);
  if (m_dhcpWorker.Start([this] { LeaseWorker(); })) return true;
  m_pDhcpThread.store(nullptr, std::memory_order_release);
  return false;
}

void CNativeWIFIDevice::LeaseWorker() {
  try {
    RenewLease();
  } catch (...) {
    // An exception ends the renewal quietly.
  }
  m_pDhcpThread.store(nullptr, std::memory_order_release);
}

bool CNativeWIFIDevice::IsLeaseWorkerRunning() const {
  return m_pDhcpThread.load(std::memory_order_acquire) != nullptr;
}

// Throughput sampler.

struct CWmiConnection {
  IWbemLocator* m_pLocator = nullptr;
  IWbemServices* m_pServices = nullptr;
  // Whether this monitor's CoInitializeEx still counts: the destructor
  // balances only an initialisation that succeeded and was not undone after
  // a refused CoInitializeSecurity, so one monitor never ends another's use.
  bool m_bInitialised = false;
};

struct CPerfRefresher {
  IWbemRefresher* m_pRefresher = nullptr;
  IWbemHiPerfEnum* m_pEnum = nullptr;
  IWbemObjectAccess** m_apObjects = nullptr;
  CWmiConnection* m_pConnection = nullptr;  // not owned
  ULONG m_nCapacity = 0;
  std::vector<std::string> m_arrPropertyNames;
  std::vector<LONG> m_arrHandles;
  std::vector<CIMTYPE> m_arrTypes;
};

namespace {
constexpr std::size_t kPropertyCount = 4;  // Name, received, sent, total
}  // namespace

std::string NormalizeInstanceName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) c = '_';
  }
  return out;
}

HRESULT CNativeWIFIDevice::InitThroughputSampler() {
  RefreshIPConfiguration();
  m_pWmiConnection = new CWmiConnection;
  if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    m_pWmiConnection->m_bInitialised = true;
    if (FAILED(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr))) {
      CoUninitialize();
      m_pWmiConnection->m_bInitialised = false;
    }
  }

  CWmiConnection& connection = *m_pWmiConnection;
  if (!connection.m_pLocator &&
      FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&connection.m_pLocator))))
    return E_FAIL;
  if (connection.m_pServices) {
    connection.m_pServices->Release();
    connection.m_pServices = nullptr;
  }
  HRESULT hr = connection.m_pLocator->ConnectServer(u"ROOT\\CIMV2", nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                                    &connection.m_pServices);
  if (FAILED(hr)) return hr;
  hr = CoSetProxyBlanket(connection.m_pServices, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    connection.m_pServices->Release();
    connection.m_pServices = nullptr;
    return hr;
  }

  m_pPerfRefresher = new CPerfRefresher;
  CPerfRefresher& refresher = *m_pPerfRefresher;
  refresher.m_pConnection = m_pWmiConnection;
  hr = CoCreateInstance(CLSID_WbemRefresher, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemRefresher,
                        reinterpret_cast<void**>(&refresher.m_pRefresher));
  if (FAILED(hr)) return hr;
  IWbemConfigureRefresher* configure = nullptr;
  hr = refresher.m_pRefresher->QueryInterface(IID_IWbemConfigureRefresher, reinterpret_cast<void**>(&configure));
  if (FAILED(hr)) return hr;
  LONG id = 0;
  hr = configure->AddEnum(connection.m_pServices, u"win32_perfformatteddata_tcpip_networkinterface", 0, nullptr,
                          &refresher.m_pEnum, &id);
  configure->Release();
  if (FAILED(hr)) return hr;

  refresher.m_arrPropertyNames = {"Name", "BytesReceivedPersec", "BytesSentPersec", "BytesTotalPersec"};
  refresher.m_arrHandles.clear();
  refresher.m_arrTypes.clear();

  ULONG count = 0;
  hr = RefreshCounters(&count);
  if (FAILED(hr)) return hr;
  // Handles come from a returned object; with none the sampler stays unusable.
  if (count == 0) return E_FAIL;
  for (const std::string& name : refresher.m_arrPropertyNames) {
    CIMTYPE type = 0;
    LONG handle = 0;
    hr = refresher.m_apObjects[0]->GetPropertyHandle(Utf8ToWide(name).c_str(), &type, &handle);
    if (FAILED(hr)) break;
    refresher.m_arrTypes.push_back(type);
    refresher.m_arrHandles.push_back(handle);
  }
  for (ULONG i = 0; i < count; ++i) {
    refresher.m_apObjects[i]->Release();
    refresher.m_apObjects[i] = nullptr;
  }
  return hr;
}

// Refreshes and fills the object buffer, growing it to the enumerator's count
// when it is too small. Each object returned carries a reference.
HRESULT CNativeWIFIDevice::RefreshCounters(ULONG* pnObjects) {
  *pnObjects = 0;
  CPerfRefresher* refresher = m_pPerfRefresher;
  if (!refresher || !refresher->m_pRefresher || !refresher->m_pEnum) return E_FAIL;
  HRESULT hr = refresher->m_pRefresher->Refresh(0);
  if (FAILED(hr)) return hr;
  ULONG count = 0;
  hr = refresher->m_pEnum->GetObjects(0, refresher->m_nCapacity, refresher->m_apObjects, &count);
  if (hr == WBEM_E_BUFFER_TOO_SMALL && count > refresher->m_nCapacity) {
    delete[] refresher->m_apObjects;
    refresher->m_apObjects = new IWbemObjectAccess*[count]();
    refresher->m_nCapacity = count;
    hr = refresher->m_pEnum->GetObjects(0, refresher->m_nCapacity, refresher->m_apObjects, &count);
  }
  if (SUCCEEDED(hr)) *pnObjects = count;
  return hr;
}

HRESULT CNativeWIFIDevice::SampleThroughput() {
  if (!m_pPerfRefresher || m_pPerfRefresher->m_arrHandles.size() != kPropertyCount) return E_FAIL;
  ULONG count = 0;
  const HRESULT hr = RefreshCounters(&count);
  if (FAILED(hr)) return hr;
  const std::vector<LONG>& handles = m_pPerfRefresher->m_arrHandles;
  const std::string description = NormalizeInstanceName(m_strAdapterDescription);
  for (ULONG i = 0; i < count; ++i) {
    IWbemObjectAccess* object = m_pPerfRefresher->m_apObjects[i];
    alignas(WCHAR) BYTE name[2048] = {};
    LONG length = 0;
    if (SUCCEEDED(object->ReadPropertyValue(handles[0], sizeof name - sizeof(WCHAR), &length, name)) &&
        NormalizeInstanceName(WideToUtf8(reinterpret_cast<const WCHAR*>(name))) == description) {
      object->ReadDWORD(handles[1], &m_dwBytesReceivedPerSec);
      object->ReadDWORD(handles[2], &m_dwBytesSentPerSec);
      object->ReadDWORD(handles[3], &m_dwBytesTotalPerSec);
    }
    object->Release();
    m_pPerfRefresher->m_apObjects[i] = nullptr;
  }
  return hr;
}

void CNativeWIFIDevice::ReleaseThroughputSampler() {
  if (CPerfRefresher* refresher = m_pPerfRefresher) {
    if (refresher->m_pRefresher) refresher->m_pRefresher->Release();
    if (refresher->m_pEnum) refresher->m_pEnum->Release();
    delete[] refresher->m_apObjects;
    delete refresher;
    m_pPerfRefresher = nullptr;
  }
  if (CWmiConnection* connection = m_pWmiConnection) {
    if (connection->m_pServices) connection->m_pServices->Release();
    if (connection->m_pLocator) connection->m_pLocator->Release();
    if (connection->m_bInitialised) CoUninitialize();
    delete connection;
    m_pWmiConnection = nullptr;
  }
}
