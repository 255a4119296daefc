// The monitor of one wireless adapter: its station and network tables, kept
// up to date by a refresh worker that polls the WLAN service; active scans;
// the interface state; connection control; the adapter's IPv4 configuration
// and its DHCP lease.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/workerthread.h"
#include "platform/wlantypes.h"

class CNativeWIFIInterface;
class CStation;
class CWIFINetwork;
struct CWmiConnection;
struct CPerfRefresher;

// Guards only the start and the end of refresh workers (all monitors).
extern std::mutex g_csRefresh;

// Where refresh passes take the calendar time of a sighting from (seconds
// since 1970; std::time by default, null restores it). For tests.
using DeviceTimeSource = std::int64_t (*)();
void SetDeviceTimeSource(DeviceTimeSource source);

// Where the IP configuration's once-a-second refresh takes its tick count from
// (milliseconds, wrapping at 32 bits; the monotonic clock by default, null
// restores it). For tests.
using DeviceTickSource = DWORD (*)();
void SetDeviceTickSource(DeviceTickSource source);

// The instance-name form the throughput sampler compares: every character
// that is not an ASCII letter or digit becomes '_'; the length is kept.
std::string NormalizeInstanceName(const std::string& name);

class CNativeWIFIDevice {
 public:
  // Queries the state, switches automatic configuration on, reads the IP
  // configuration, switches background scanning on.
  CNativeWIFIDevice(const std::string& description, const GUID& guid, CNativeWIFIInterface* pInterface);
  // Stops the refresh and lease-renewal workers, then deletes every station
  // and every network.
  virtual ~CNativeWIFIDevice();

  CNativeWIFIDevice(const CNativeWIFIDevice&) = delete;
  CNativeWIFIDevice& operator=(const CNativeWIFIDevice&) = delete;

  // Starts the refresh worker unless one runs for this monitor. Returns 0.
  virtual int StartRefresh();
  // Asks for one active scan when the adapter is connected, has formed an ad
  // hoc network or is disconnected, and no scan is pending.
  virtual DWORD RequestScan();
  // Connection control: 0 when the service accepted the request, else E_FAIL.
  virtual HRESULT Connect(const CStation* pStation);
  virtual HRESULT Disconnect();
  // BSSID of the current association, all zeros when there is none. The
  // buffer is shared by all monitors and valid until the next call.
  virtual const UCHAR* GetCurrentBssid();
  virtual std::string GetDescription() const { return m_strDescription; }

  HRESULT RefreshNetworks();
  HRESULT RefreshStations();
  void QueryInterfaceState();
  std::string GetInterfaceStateText();

  // First network with the entry's identity (SSID without ASCII case, BSS
  // type, default cipher), or null.
  CWIFINetwork* FindNetwork(const WLAN_AVAILABLE_NETWORK& entry) const;
  // First station with these BSSID bytes, or null.
  CStation* FindStation(const UCHAR* bssid) const;

  // Rewrites the automatic profiles of this adapter's networks to manual
  // connection (restore false) or back (restore true). Returns 0.
  int SetProfilesAutoConnect(bool restore);

  // Called on the notification thread for every notification of this adapter.
  void OnWlanNotification(const WLAN_NOTIFICATION_DATA* pNotification);

  // Table readers (any thread). The tables only grow; records never move.
  int GetStationCount() const;
  // Throws std::invalid_argument outside 0..count-1.
  CStation* GetStation(int index) const;
  int GetNetworkCount() const;
  CWIFINetwork* GetNetwork(int index) const;
  // Calls fn for each station in table order while the table cannot grow.
  void ForEachStation(const std::function<void(CStation*)>& fn) const;

  // IP configuration (user-interface thread only). Reads the adapter's
  // address, DHCP server (shown as the gateway), first DNS server and
  // description. A failed read empties the address and keeps the rest.
  void RefreshIPConfiguration();
  // Refresh first when more than 1000 ms passed since the last refresh.
  std::string GetIPAddress();
  std::string GetGatewayAddress();
  std::string GetDnsServerAddress();
  std::string GetAdapterDescription() const { return m_strAdapterDescription; }
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the IP helper
  // names the adapter; empty when the GUID cannot be converted.
  std::string GetGuidText() const;
  // "\DEVICE\TCPIP_" followed by the GUID text: the interface-table name.
  std::string GetTcpipDeviceName() const;
  // Renew or release the adapter's DHCP lease and log the outcome. 0, or the
  // error of reading the interface table.
  DWORD RenewLease();
  DWORD ReleaseLease();
  // Starts the lease-renewal worker (it runs RenewLease) unless one runs or
  // the workers were stopped. User-interface thread only.
  bool StartLeaseRenewal();
  // Any thread.
  bool IsLeaseWorkerRunning() const;

  // Waits for the refresh and lease-renewal workers to end (handling sent
  // messages meanwhile); no new one starts afterwards.
  void StopWorkers();
  bool IsRefreshRunning() const;

  // Throughput sampler (user-interface thread, or the constructing thread
  // during construction). Set-up reads the IP configuration first; its
  // result is that of the step that ended it (negative on failure).
  HRESULT InitThroughputSampler();
  // Refreshes the counters and stores the three rates of the instance named
  // by the adapter's description; E_FAIL or the refresh's failure changes
  // nothing.
  HRESULT SampleThroughput();

  const GUID& GetGuid() const { return m_guid; }
  HANDLE GetClientHandle() const;
  CNativeWIFIInterface* GetInterface() const { return m_pInterface; }

  const GUID m_guid;
  std::atomic<bool> m_bScanPending{false};
  const std::string m_strDescription;
  CNativeWIFIInterface* const m_pInterface;
  std::atomic<DWORD> m_nInterfaceState{0};
  // The latest rates of the adapter's counters instance, bytes per second;
  // sampled and read on the user-interface thread.
  DWORD m_dwBytesTotalPerSec = 0;
  DWORD m_dwBytesSentPerSec = 0;
  DWORD m_dwBytesReceivedPerSec = 0;

 private:
  // RefreshIPConfiguration when more than 1000 ms passed since the last one.
  void RefreshIPConfigurationIfStale();
  static std::uint64_t MacKey(const UCHAR* bssid);
  static std::string NetworkKey(const DOT11_SSID& ssid, int bssType, int cipher);
  void RefreshWorker();
  void LeaseWorker();
  DWORD ChangeLease(bool renew);

  // Appended by the refresh worker, read by everyone: appends and readers'
  // passes take this lock, so no reader sees a table in the middle of growing.
  mutable std::mutex m_csTables;
  std::vector<CStation*> m_arrStations;
  std::vector<CWIFINetwork*> m_arrNetworks;
  // Indexes over the tables (first entry of each key), so that a pass over
  // thousands of BSS entries stays linear.
  std::unordered_map<std::uint64_t, CStation*> m_stationIndex;
  std::unordered_map<std::string, CWIFINetwork*> m_networkIndex;

  // Guarded by g_csRefresh: a worker runs for this monitor.
  bool m_bRefreshRunning = false;
  bool m_bStopped = false;
  std::atomic<bool> m_bStopRequested{false};
  CWorkerThread m_refreshThread;

  // IP configuration: user-interface thread only.
  std::string m_strGateway;
  std::string m_strIPAddress;
  std::string m_strDnsServer;
  std::string m_strAdapterDescription;
  DWORD m_dwLastIPRefresh = 0;
  // The running lease-renewal worker, or null. Only the user-interface thread
  // sets it (before the worker starts) and only the worker clears it (as its
  // last step), so an atomic with release stores and acquire loads is enough.
  std::atomic<CWorkerThread*> m_pDhcpThread{nullptr};
  CWorkerThread m_dhcpWorker;

  // Throughput sampler: owned; the refresher stays null when set-up stops before it.
  CWmiConnection* m_pWmiConnection = nullptr;
  CPerfRefresher* m_pPerfRefresher = nullptr;
  HRESULT RefreshCounters(ULONG* pnObjects);
  void ReleaseThroughputSampler();
};
