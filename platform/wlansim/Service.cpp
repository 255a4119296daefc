#include "platform/wlansim/Service.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/winmsg.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/Radio.h"

namespace wlansim {
namespace {

// Set on the notification thread; WaitForIdle refuses to wait there.
thread_local bool t_onNotificationThread = false;

constexpr std::size_t kMaxClients = 64;

bool Later(const std::int64_t dueA, std::uint64_t seqA, const std::int64_t dueB, std::uint64_t seqB) {
  return dueA != dueB ? dueA > dueB : seqA > seqB;
}

}  // namespace

std::int64_t Service::Clock::Now() const {
  if (manual) return manualNow;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin).count();
}

std::chrono::steady_clock::time_point Service::Clock::SteadyAt(std::int64_t t) const {
  return origin + std::chrono::milliseconds(t);
}

Service& Service::Instance() {
  static Service service;
  return service;
}

Service::Service() { InstallLocked(DefaultWorld()); }

Service::~Service() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_running = false;
    ++m_threadGeneration;
    m_wake.notify_all();
    if (m_thread.thread.joinable()) m_finished.push_back(std::move(m_thread));
  }
  // At exit a plain join: every client callback has returned or never will.
  for (Worker& w : m_finished) {
    if (!w.thread.joinable()) continue;
    if (w.thread.get_id() == std::this_thread::get_id())
      w.thread.detach();  // the process is ending from inside a callback
    else
      w.thread.join();
  }
}

// ---------------------------------------------------------------------------
// Notification thread

void Service::StartThreadLocked() {
  if (m_running) return;
  m_running = true;
  const std::uint64_t generation = ++m_threadGeneration;
  if (m_thread.thread.joinable()) m_finished.push_back(std::move(m_thread));
  m_thread.done = std::make_shared<std::atomic<bool>>(false);
  m_thread.thread = std::thread(&Service::ThreadMain, this, generation, m_thread.done);
  RearmLocked();
}

void Service::StopThreadLocked() {
  m_running = false;
  ++m_threadGeneration;
  SettleLocked();
  m_wake.notify_all();
  if (m_thread.thread.joinable()) m_finished.push_back(std::move(m_thread));
}

// Joins stopped threads, except the calling one (a callback that closed the
// last handle); that one is joined by the next start or at exit. A stopped
// thread may still be finishing a callback that sends to this thread, so the
// wait handles sent messages.
void Service::JoinFinished() {
  std::vector<Worker> toJoin;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_finished.begin(); it != m_finished.end();) {
      if (it->thread.get_id() == std::this_thread::get_id()) {
        ++it;
      } else {
        toJoin.push_back(std::move(*it));
        it = m_finished.erase(it);
      }
    }
  }
  for (Worker& w : toJoin) {
    WaitPumpingSentMessages([&w] { return w.done->load(); });
    w.thread.join();
  }
}

void Service::ThreadMain(std::uint64_t generation, std::shared_ptr<std::atomic<bool>> done) {
  t_onNotificationThread = true;
  Loop(generation);
  *done = true;
}

void Service::Loop(std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(m_lock);
  while (generation == m_threadGeneration) {
    if (!m_deliveries.empty()) {
      Notification n = std::move(m_deliveries.front());
      m_deliveries.pop_front();
      DeliverLocked(lock, n, generation);
      continue;
    }
    if (!m_events.empty() && m_events.front().due <= m_clock.Now()) {
      std::pop_heap(m_events.begin(), m_events.end(),
                    [](const Event& a, const Event& b) { return Later(a.due, a.seq, b.due, b.seq); });
      Event e = std::move(m_events.back());
      m_events.pop_back();
      e.run(e.due);
      continue;
    }
    if (m_events.empty() || m_clock.manual)
      m_wake.wait(lock);
    else
      m_wake.wait_until(lock, m_clock.SteadyAt(m_events.front().due));
  }
}

// Calls each registered client in handle order, one at a time, with the lock
// released. A client unregistered meanwhile is skipped.
void Service::DeliverLocked(std::unique_lock<std::mutex>& lock, const Notification& n, std::uint64_t generation) {
  ++m_delivering;
  std::vector<std::shared_ptr<Client>> targets;
  for (const auto& entry : m_clients)
    if (entry.second->sources & n.source) targets.push_back(entry.second);
  for (const auto& c : targets) {
    if (generation != m_threadGeneration) break;
    if (!(c->sources & n.source) || !c->callback) continue;
    const WLAN_NOTIFICATION_CALLBACK callback = c->callback;
    const PVOID context = c->context;
    c->inCallback = true;
    c->callbackThread = std::this_thread::get_id();
    lock.unlock();
    std::vector<BYTE> payload = n.payload;  // each client gets its own copy
    WLAN_NOTIFICATION_DATA data{};
    data.NotificationSource = n.source;
    data.NotificationCode = n.code;
    data.InterfaceGuid = n.guid;
    data.dwDataSize = static_cast<DWORD>(payload.size());
    data.pData = payload.empty() ? nullptr : payload.data();
    callback(&data, context);
    lock.lock();
    c->inCallback = false;
  }
  --m_delivering;
}

bool Service::IdleLocked() const {
  if (!m_running) return true;
  return m_deliveries.empty() && m_delivering == 0 && (m_events.empty() || m_events.front().due > m_clock.Now());
}

// Waits until the client's callback in progress on another thread returns,
// handling messages sent to this thread: the callback may be blocked sending
// to it.
void Service::WaitForCallback(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Client>& client) {
  if (!client->inCallback || client->callbackThread == std::this_thread::get_id()) return;
  lock.unlock();
  WaitPumpingSentMessages([this, client] {
    std::lock_guard<std::mutex> guard(m_lock);
    return !client->inCallback;
  });
  lock.lock();
}

// The thread stops: nothing scheduled survives, so settle what was under way.
void Service::SettleLocked() {
  m_events.clear();
  m_deliveries.clear();
  for (AdapterState& a : m_adapters) {
    a.requests.clear();
    a.busy = false;
    if (!a.ready) continue;
    if (a.state == wlan_interface_state_disconnecting) DropAssociationLocked(a);
    if (a.state == wlan_interface_state_associating || a.state == wlan_interface_state_authenticating ||
        a.state == wlan_interface_state_discovering)
      a.state = wlan_interface_state_disconnected;
  }
}

// The thread starts: resume link watches and automatic reconnection.
void Service::RearmLocked() {
  const std::int64_t now = m_clock.Now();
  for (std::size_t i = 0; i < m_adapters.size(); ++i) {
    AdapterState& a = m_adapters[i];
    if (a.assoc)
      WatchLinkLocked(i, now);
    else if (a.autoReconnect)
      ScheduleReconnect(i, now + m_timing.reconnectDelayMs);
  }
}

// ---------------------------------------------------------------------------
// Scheduling

void Service::At(std::int64_t due, std::function<void(std::int64_t)> run) {
  if (!m_running) return;
  m_events.push_back(Event{due, m_nextSeq++, std::move(run)});
  std::push_heap(m_events.begin(), m_events.end(),
                 [](const Event& a, const Event& b) { return Later(a.due, a.seq, b.due, b.seq); });
  m_wake.notify_all();
}

void Service::Emit(const AdapterState& a, DWORD source, DWORD code, std::vector<BYTE> payload) {
  m_deliveries.push_back(Notification{source, code, a.guid, std::move(payload)});
}

// ---------------------------------------------------------------------------
// World

World Service::DefaultWorld() {
  World world = BuiltInWorld();
  {
    std::lock_guard<std::mutex> guard(m_worldErrorLock);
    m_worldError.clear();
  }
  if (const char* path = std::getenv("AERLUME_SIM_WORLD"); path && *path) {
    World loaded;
    std::string error;
    if (LoadWorldFile(path, &loaded, &error)) {
      world = std::move(loaded);
    } else {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::fprintf(stderr, "aerlume: simulated WLAN service uses its built-in world\n");
    }
    std::lock_guard<std::mutex> guard(m_worldErrorLock);
    m_worldError = error;
  }
  if (const char* seed = std::getenv("AERLUME_SIM_SEED"); seed && *seed) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(seed, &end, 0);
    if (end && *end == '\0')
      world.seed = value;
    else
      std::fprintf(stderr, "aerlume: AERLUME_SIM_SEED '%s' is not a number; seed %llu kept\n", seed,
                   static_cast<unsigned long long>(world.seed));
  }
  return world;
}

void Service::InstallLocked(const World& world) {
  m_events.clear();
  m_deliveries.clear();
  m_seed = world.seed;
  m_timing = world.timing;
  m_clock.manualNow = 0;
  m_clock.origin = std::chrono::steady_clock::now();
  m_adapters.clear();
  for (const Adapter& ad : world.adapters) {
    AdapterState a;
    a.guid = ad.guid;
    a.description = ad.description;
    a.ready = ad.ready;
    a.autoconf = ad.autoconf;
    a.backgroundScan = ad.backgroundScan;
    a.ip = ad.ip;
    for (const AccessPoint& ap : ad.stations) {
      Station s;
      s.ap = ap;
      if (s.ap.rates.empty()) s.ap.rates = DefaultRates(ap.phyType, ap.frequencyKHz);
      s.ap.elements = BuildElements(s.ap);  // once, not on every list
      a.stationsBySsid[s.ap.hidden ? std::string() : s.ap.ssid].push_back(a.stations.size());
      a.stations.push_back(std::move(s));
    }
    for (const std::string& xml : ad.profiles) {
      ParsedProfile parsed;
      if (ParseProfileXml(xml, &parsed) == WLAN_REASON_CODE_SUCCESS) a.profiles.push_back({parsed.name, xml, 0});
    }
    a.state = ad.ready ? wlan_interface_state_disconnected : wlan_interface_state_not_ready;
    m_adapters.push_back(std::move(a));
    if (ad.ready && ad.connectAtStart) ConnectSilentlyLocked(m_adapters.back());
  }
  if (m_running) RearmLocked();
  m_wake.notify_all();
}

bool Service::ConnectSilentlyLocked(AdapterState& a) {
  for (const StoredProfile& p : a.profiles) {
    ParsedProfile parsed;
    if (ParseProfileXml(p.xml, &parsed) != WLAN_REASON_CODE_SUCCESS || !parsed.autoConnect) continue;
    const auto station = ChooseStation(a, parsed.ssid, parsed.bssType, parsed.nonBroadcast, std::nullopt, 0);
    if (!station) continue;
    const AccessPoint& ap = a.stations[*station].ap;
    if (parsed.SecurityEnabled() != ap.securityEnabled) continue;
    if (ap.securityEnabled && parsed.key != ap.key) continue;
    ConnectionFacts facts;
    facts.mode = wlan_connection_mode_auto;
    facts.profileName = parsed.name;
    facts.ssid = parsed.ssid;
    facts.bssType = ap.bssType;
    facts.security = ap.securityEnabled;
    facts.bssid = ap.bssid;
    AssociateLocked(a, facts, static_cast<int>(*station), 0);
    return true;
  }
  return false;
}

DWORD Service::CheckClientLocked(HANDLE handle) const {
  if (!handle) return ERROR_INVALID_PARAMETER;
  return m_clients.count(reinterpret_cast<std::uintptr_t>(handle)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

Service::AdapterState* Service::FindAdapterLocked(const GUID& guid) {
  for (AdapterState& a : m_adapters)
    if (a.guid == guid) return &a;
  return nullptr;
}

std::size_t Service::IndexOf(const AdapterState& a) const { return static_cast<std::size_t>(&a - m_adapters.data()); }

bool Service::OnAir(const AdapterState& a, const Station& s, std::int64_t t) const {
  if (!a.ready) return false;
  switch (s.presence) {
    case Presence::Present:
      return true;
    case Presence::Absent:
      return false;
    case Presence::Schedule:
      return ScheduledPresent(s.ap, t);
  }
  return false;
}

int Service::FindProfileLocked(const AdapterState& a, const std::string& name) const {
  for (std::size_t i = 0; i < a.profiles.size(); ++i)
    if (a.profiles[i].name == name) return static_cast<int>(i);
  return -1;
}

void Service::StoreProfileLocked(AdapterState& a, const std::string& name, const std::string& xml, DWORD flags) {
  const int at = FindProfileLocked(a, name);
  if (at >= 0)
    a.profiles[static_cast<std::size_t>(at)] = StoredProfile{name, xml, flags};
  else
    a.profiles.push_back(StoredProfile{name, xml, flags});
}

// ---------------------------------------------------------------------------
// Client handles

DWORD Service::Open(HANDLE* handle) {
  DWORD error = 0;
  if (FaultFires(Op::OpenHandle, &error)) return error;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_clients.size() >= kMaxClients) return ERROR_REMOTE_SESSION_LIMIT_EXCEEDED;
    auto client = std::make_shared<Client>();
    const std::uintptr_t value = 0x5A1E0000u + (++m_nextHandle) * 16u;
    client->handle = reinterpret_cast<HANDLE>(value);
    m_clients[value] = client;
    StartThreadLocked();
    *handle = client->handle;
  }
  JoinFinished();
  return ERROR_SUCCESS;
}

DWORD Service::Close(HANDLE handle) {
  {
    std::unique_lock<std::mutex> lock(m_lock);
    if (const DWORD e = CheckClientLocked(handle)) return e;
    DWORD error = 0;
    if (FaultFires(Op::CloseHandle, &error)) return error;
    const auto it = m_clients.find(reinterpret_cast<std::uintptr_t>(handle));
    const std::shared_ptr<Client> client = it->second;
    m_clients.erase(it);
    client->sources = 0;
    client->callback = nullptr;
    client->context = nullptr;
    WaitForCallback(lock, client);
    if (m_clients.empty() && m_running) StopThreadLocked();
  }
  JoinFinished();
  return ERROR_SUCCESS;
}

DWORD Service::Register(HANDLE handle, DWORD sources, WLAN_NOTIFICATION_CALLBACK callback, PVOID context,
                        DWORD* previous) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (const DWORD e = CheckClientLocked(handle)) return e;
  DWORD error = 0;
  if (FaultFires(Op::RegisterNotification, &error)) return error;
  const std::shared_ptr<Client> client = m_clients.at(reinterpret_cast<std::uintptr_t>(handle));
  if (previous) *previous = client->sources;
  if (sources == WLAN_NOTIFICATION_SOURCE_NONE) {
    client->sources = 0;
    client->callback = nullptr;
    client->context = nullptr;
    WaitForCallback(lock, client);
  } else {
    client->sources = sources;
    client->callback = callback;
    client->context = context;
  }
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Control

bool Service::ResetWorld(const World& world, std::string* error) {
  std::string path, reason;
  if (!ValidateWorld(world, &path, &reason)) {
    if (error) *error = path + ": " + reason;
    return false;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  InstallLocked(world);
  return true;
}

void Service::ResetToDefault() {
  const World world = DefaultWorld();
  std::lock_guard<std::mutex> guard(m_lock);
  m_clock.manual = false;
  InstallLocked(world);
}

void Service::UseManualClock(bool manual) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (manual == m_clock.manual) return;
  if (manual) {
    m_clock.manualNow = m_clock.Now();
  } else {
    m_clock.origin = std::chrono::steady_clock::now() - std::chrono::milliseconds(m_clock.manualNow);
  }
  m_clock.manual = manual;
  m_wake.notify_all();
}

void Service::AdvanceClock(std::uint32_t ms) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_clock.manual) return;
  m_clock.manualNow += ms;
  m_wake.notify_all();
}

std::int64_t Service::Now() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_clock.Now();
}

bool Service::WaitForIdle(std::chrono::milliseconds timeout) {
  if (t_onNotificationThread) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool idle = false;
  WaitPumpingSentMessages([&] {
    std::lock_guard<std::mutex> guard(m_lock);
    idle = IdleLocked();
    return idle || std::chrono::steady_clock::now() >= deadline;
  });
  return idle;
}

bool Service::SetStationPresence(const GUID& adapter, const Mac& bssid, Presence presence) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (!a) return false;
  for (std::size_t s = 0; s < a->stations.size(); ++s) {
    if (a->stations[s].ap.bssid != bssid) continue;
    a->stations[s].presence = presence;
    if (a->assoc && a->assocStation == static_cast<int>(s))
      ScheduleLinkCheck(IndexOf(*a), a->linkGeneration, m_clock.Now(), false);
    return true;
  }
  return false;
}

std::optional<std::string> Service::ProfileXml(const GUID& adapter, const std::string& name) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (!a) return std::nullopt;
  const int at = FindProfileLocked(*a, name);
  if (at < 0) return std::nullopt;
  return a->profiles[static_cast<std::size_t>(at)].xml;
}

std::optional<Mac> Service::CurrentBssid(const GUID& adapter) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (!a || !a->assoc) return std::nullopt;
  return a->assoc->bssid;
}

std::optional<ConnectRequest> Service::LastConnectRequest(const GUID& adapter) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (!a) return std::nullopt;
  return a->lastClientConnect;
}

WLAN_INTERFACE_STATE Service::InterfaceState(const GUID& adapter) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  return a ? a->state : wlan_interface_state_not_ready;
}

GUID Service::AdapterGuid(std::size_t index) {
  std::lock_guard<std::mutex> guard(m_lock);
  return index < m_adapters.size() ? m_adapters[index].guid : GUID{};
}

std::string Service::WorldFileError() {
  std::lock_guard<std::mutex> guard(m_worldErrorLock);
  return m_worldError;
}

std::size_t Service::OpenHandleCount() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_clients.size();
}

}  // namespace wlansim
