// The simulated WLAN service: one process-wide world, the client handles and
// their registrations, a clock, a time-ordered queue of scheduled events and
// the notification thread that runs them and delivers what they emit.
//
// Locking: one mutex guards everything here. Events run with it held and
// only queue notifications; callbacks are always called with it released,
// so a callback may call back into the API. The thread alternates: deliver
// every queued notification, then run the earliest due event, so a client
// that queries the service from its callback sees the state that belongs to
// the notification it is handling.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/wlansim/IpConfig.h"
#include "platform/wlansim/Payloads.h"
#include "platform/wlansim/SimControl.h"

namespace wlansim {

class Service final : public wlanbackend::Backend {
 public:
  static Service& Instance();
  ~Service() override;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Client API (arguments already checked for null pointers by wlanapi.cpp).
  DWORD Open(HANDLE* handle) override;
  DWORD Close(HANDLE handle) override;
  DWORD Register(HANDLE handle, DWORD sources, WLAN_NOTIFICATION_CALLBACK callback, PVOID context, DWORD* previous) override;
  DWORD EnumInterfaces(HANDLE handle, WLAN_INTERFACE_INFO_LIST** list) override;
  DWORD QueryInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD* size, PVOID* data,
                       WLAN_OPCODE_VALUE_TYPE* valueType) override;
  DWORD SetInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD size, const void* data) override;
  DWORD Scan(HANDLE handle, const GUID& guid) override;
  DWORD GetAvailableNetworkList(HANDLE handle, const GUID& guid, WLAN_AVAILABLE_NETWORK_LIST** list) override;
  DWORD GetNetworkBssList(HANDLE handle, const GUID& guid, const DOT11_SSID* ssid, DOT11_BSS_TYPE type,
                          bool security, WLAN_BSS_LIST** list) override;
  DWORD GetProfileList(HANDLE handle, const GUID& guid, WLAN_PROFILE_INFO_LIST** list) override;
  DWORD GetProfile(HANDLE handle, const GUID& guid, const std::string& name, LPWSTR* xml, DWORD* flags,
                   DWORD* access) override;
  DWORD SetProfile(HANDLE handle, const GUID& guid, DWORD flags, const std::string& xml, bool overwrite,
                   DWORD* reason) override;
  DWORD Connect(HANDLE handle, const GUID& guid, const ConnectRequest& request) override;
  DWORD Disconnect(HANDLE handle, const GUID& guid) override;

  // Control (SimControl.h).
  bool ResetWorld(const World& world, std::string* error);
  void ResetToDefault();
  void UseManualClock(bool manual);
  void AdvanceClock(std::uint32_t ms);
  std::int64_t Now();
  bool WaitForIdle(std::chrono::milliseconds timeout);
  bool SetStationPresence(const GUID& adapter, const Mac& bssid, Presence presence);
  std::optional<std::string> ProfileXml(const GUID& adapter, const std::string& name);
  std::optional<Mac> CurrentBssid(const GUID& adapter);
  std::optional<ConnectRequest> LastConnectRequest(const GUID& adapter);
  WLAN_INTERFACE_STATE InterfaceState(const GUID& adapter);
  GUID AdapterGuid(std::size_t index);
  std::size_t OpenHandleCount();
  // The error of the world file the default world last refused ("" when none).
  std::string WorldFileError();

  // IP configuration (IpConfig.cpp).
  std::vector<IpAdapterRecord> IpAdapters() override;
  DWORD RenewLease(const GUID& adapter) override;
  DWORD ReleaseLease(const GUID& adapter) override;

 private:
  struct Client {
    HANDLE handle = nullptr;
    DWORD sources = 0;
    WLAN_NOTIFICATION_CALLBACK callback = nullptr;
    PVOID context = nullptr;
    bool inCallback = false;
    std::thread::id callbackThread;
  };
  struct Station {
    AccessPoint ap;
    Presence presence = Presence::Schedule;
  };
  struct StoredProfile {
    std::string name;
    std::string xml;
    DWORD flags = 0;
  };
  enum class RequestKind { Connect, Disconnect, LinkLoss, AutoConnect };
  struct Request {
    RequestKind kind = RequestKind::Connect;
    ConnectRequest connect;
  };
  struct AdapterState {
    GUID guid{};
    std::string description;
    bool ready = true;
    bool autoconf = true;
    bool backgroundScan = true;
    std::vector<Station> stations;
    // Indexes of the stations by beaconed SSID (empty for a hidden one), in
    // world order: a BSS-list query for one network visits only its stations.
    std::unordered_map<std::string, std::vector<std::size_t>> stationsBySsid;
    std::vector<StoredProfile> profiles;
    WLAN_INTERFACE_STATE state = wlan_interface_state_disconnected;
    // The association while connected or ad hoc formed.
    std::optional<ConnectionFacts> assoc;
    int assocStation = -1;
    std::optional<ConnectRequest> lastClientConnect;  // the last request a client made
    std::uint64_t linkGeneration = 0;  // changes with every association; stale link watches drop out
    ULONG reportedQuality = 0;
    // Connection requests run one after another; `busy` while one runs or is about to.
    std::deque<Request> requests;
    bool busy = false;
    bool autoReconnect = false;  // the link was lost; reconnect through an automatic profile
    IpSettings ip;
    // A released lease holds for the association it was released on
    // (linkGeneration at the release); connecting again brings the address back.
    bool leaseReleased = false;
    std::uint64_t leaseGeneration = 0;
  };
  struct Event {
    std::int64_t due;
    std::uint64_t seq;
    std::function<void(std::int64_t)> run;
  };
  struct Notification {
    DWORD source;
    DWORD code;
    GUID guid;
    std::vector<BYTE> payload;
  };
  struct Clock {
    bool manual = false;
    std::int64_t manualNow = 0;
    std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    std::int64_t Now() const;
    std::chrono::steady_clock::time_point SteadyAt(std::int64_t t) const;
  };
  using Step = std::function<void(AdapterState&, std::int64_t)>;
  using Plan = std::vector<std::pair<ULONG, Step>>;  // (delay after the previous step, step)

  Service();

  // Thread and delivery.
  void StartThreadLocked();
  void StopThreadLocked();
  void JoinFinished();
  void ThreadMain(std::uint64_t generation, std::shared_ptr<std::atomic<bool>> done);
  void Loop(std::uint64_t generation);
  void DeliverLocked(std::unique_lock<std::mutex>& lock, const Notification& n, std::uint64_t generation);
  bool IdleLocked() const;
  void WaitForCallback(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Client>& client);
  void SettleLocked();
  void RearmLocked();

  // Scheduling.
  void At(std::int64_t due, std::function<void(std::int64_t)> run);
  void Emit(const AdapterState& a, DWORD source, DWORD code, std::vector<BYTE> payload = {});

  // World.
  void InstallLocked(const World& world);
  World DefaultWorld();
  DWORD CheckClientLocked(HANDLE handle) const;
  AdapterState* FindAdapterLocked(const GUID& guid);
  std::size_t IndexOf(const AdapterState& a) const;
  bool OnAir(const AdapterState& a, const Station& s, std::int64_t t) const;
  int FindProfileLocked(const AdapterState& a, const std::string& name) const;
  void StoreProfileLocked(AdapterState& a, const std::string& name, const std::string& xml, DWORD flags);
  bool ConnectSilentlyLocked(AdapterState& a);

  // Connections (ServiceConnect.cpp).
  void EnqueueLocked(AdapterState& a, Request request, std::int64_t t);
  void StartNextLocked(std::size_t index, std::int64_t t);
  void RunPlanLocked(std::size_t index, Plan plan, std::int64_t t);
  Plan PlanConnect(AdapterState& a, const ConnectRequest& request, std::int64_t t);
  Plan PlanDisconnect(AdapterState& a, WLAN_REASON_CODE reason, bool announce);
  Plan PlanAutoConnect(AdapterState& a, std::int64_t t);
  void AssociateLocked(AdapterState& a, const ConnectionFacts& facts, int station, std::int64_t t);
  void DropAssociationLocked(AdapterState& a);
  void WatchLinkLocked(std::size_t index, std::int64_t t);
  void ScheduleLinkTick(std::size_t index, std::uint64_t generation, std::int64_t due);
  // `follow`: when the station is still there, check again at its next scheduled departure.
  void ScheduleLinkCheck(std::size_t index, std::uint64_t generation, std::int64_t due, bool follow);
  void ScheduleReconnect(std::size_t index, std::int64_t due);
  std::optional<std::size_t> ChooseStation(const AdapterState& a, const std::string& ssid, DOT11_BSS_TYPE type,
                                           bool hiddenAllowed, const std::optional<Mac>& desired,
                                           std::int64_t t) const;

  mutable std::mutex m_lock;
  std::condition_variable m_wake;
  Clock m_clock;
  std::uint64_t m_seed = 1;
  Timing m_timing;
  std::vector<AdapterState> m_adapters;

  std::map<std::uintptr_t, std::shared_ptr<Client>> m_clients;  // by handle value: open order
  std::uintptr_t m_nextHandle = 0;

  std::vector<Event> m_events;  // min-heap on (due, seq)
  std::uint64_t m_nextSeq = 0;
  std::deque<Notification> m_deliveries;
  int m_delivering = 0;  // threads inside DeliverLocked (a stopped one may still finish a callback)

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;  // set as the thread's last act
  };
  Worker m_thread;
  std::vector<Worker> m_finished;  // stopped threads not yet joined
  bool m_running = false;
  std::mutex m_worldErrorLock;
  std::string m_worldError;
  std::uint64_t m_threadGeneration = 0;
};

}  // namespace wlansim
