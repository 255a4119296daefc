#include "platform/nm/NmBackend.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <net/if.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/nl80211/Nl80211Scan.h"
#include "platform/nm/NmCache.h"
#include "platform/nm/NmMapping.h"
#include "platform/widetext.h"
#include "platform/winmsg.h"
#include "platform/wlansim/Memory.h"
#include "platform/wlansim/Payloads.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/Radio.h"

Q_LOGGING_CATEGORY(lcNm, "aerlume.wlan.networkmanager", QtWarningMsg)

namespace nm {
namespace {

// Every call has this time-out: the API is called from the UI thread too.
constexpr int kCallTimeoutMs = 1000;
constexpr int kProbeTimeoutMs = 500;
constexpr DWORD kGrantedAccess = 0x00070023;  // read, execute and write access
constexpr std::size_t kMaxClients = 128;

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDeviceIface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWirelessIface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kApIface = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnectionIface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kPropsIface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPermissionDenied = QStringLiteral("org.freedesktop.NetworkManager.PermissionDenied");
constexpr unsigned kDeviceTypeWifi = 2;

using Settings = QMap<QString, QVariantMap>;

QString SystemBusAddress() {
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  return address && *address ? QString::fromUtf8(address)
                             : QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
}

// After a call times out NetworkManager is taken as stalled for a while: the
// UI thread's calls then fail at once instead of each waiting out its own
// time-out, so a hung service costs the window one time-out, not one per
// call. Other threads keep asking; an answer to any of them ends the stall.
constexpr std::int64_t kStallMs = 5000;
std::atomic<std::int64_t> g_stalledUntil{0};

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool OnUiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

QList<QDBusObjectPath> Paths(const QVariant& value) {
  if (value.canConvert<QDBusArgument>()) return qdbus_cast<QList<QDBusObjectPath>>(value);
  return value.value<QList<QDBusObjectPath>>();
}

QString PathOf(const QVariant& value) { return value.value<QDBusObjectPath>().path(); }

// The WLAN error code of a reply (ERROR_SUCCESS for an answer).
DWORD ErrorOf(const QDBusMessage& reply);

// Blocking calls on one connection, logged under aerlume.wlan.networkmanager.
// With a cache, property reads and the read-only listings are answered from
// it when they can be; `refresh` asks again and stores the new answer.
class Bus {
 public:
  explicit Bus(const QDBusConnection& connection, int timeoutMs = kCallTimeoutMs,
               std::shared_ptr<AnswerCache> cache = nullptr, bool refresh = false)
      : m_connection(connection), m_timeoutMs(timeoutMs), m_cache(std::move(cache)), m_refresh(refresh) {}

  bool Connected() const { return m_connection.isConnected(); }
  const QDBusConnection& Connection() const { return m_connection; }

  QDBusMessage Call(const QString& path, const QString& iface, const QString& method,
                    const QVariantList& args = {}) const {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, iface, method);
    message.setArguments(args);
    if (OnUiThread() && SteadyMs() < g_stalledUntil.load()) {
      qCDebug(lcNm) << "not asked (NetworkManager stalled):" << path << iface << method;
      return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                                      QStringLiteral("NetworkManager did not answer recently"));
    }
    qCDebug(lcNm) << "call" << path << iface << method << args;
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, m_timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
      qCDebug(lcNm) << "error" << reply.errorName() << reply.errorMessage();
      if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        g_stalledUntil.store(SteadyMs() + kStallMs);
    } else {
      qCDebug(lcNm) << "reply" << reply.arguments();
      g_stalledUntil.store(0);
    }
    return reply;
  }

  // The first value a read-only method without arguments answers, as plain
  // Qt types; *error says why there is none.
  QVariant Ask(const QString& path, const QString& iface, const QString& method, DWORD* error = nullptr) const {
    DWORD failure = ERROR_SUCCESS;
    const auto fetch = [&]() -> std::optional<QVariant> {
      const QDBusMessage reply = Call(path, iface, method);
      failure = ErrorOf(reply);
      if (failure || reply.arguments().isEmpty()) return std::nullopt;
      return AnswerCache::Plain(reply.arguments().front());
    };
    const std::optional<QVariant> answer = m_cache ? m_cache->Get(path, method, fetch, m_refresh) : fetch();
    if (error) *error = failure;
    return answer.value_or(QVariant());
  }

  // What this caller just changed must not be answered from before the change.
  void Drop(const QString& path, const QString& key) const {
    if (m_cache) m_cache->Drop(path, key);
  }

  QVariantMap Props(const QString& path, const QString& iface) const {
    const auto fetch = [&]() -> std::optional<QVariant> {
      const QDBusMessage reply = Call(path, kPropsIface, QStringLiteral("GetAll"), {iface});
      if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
      return AnswerCache::Plain(qdbus_cast<QVariantMap>(reply.arguments().front()));
    };
    const std::optional<QVariant> answer = m_cache ? m_cache->Get(path, iface, fetch, m_refresh) : fetch();
    return answer ? answer->toMap() : QVariantMap();
  }

 private:
  QDBusConnection m_connection;
  int m_timeoutMs;
  std::shared_ptr<AnswerCache> m_cache;
  bool m_refresh;
};

DWORD ErrorOf(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ErrorMessage) return ERROR_SUCCESS;
  if (reply.errorName() == kPermissionDenied) return ERROR_ACCESS_DENIED;
  if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
      reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
      reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
    return ERROR_SERVICE_NOT_ACTIVE;
  if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
      reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
    return ERROR_NOT_FOUND;
  return ERROR_GEN_FAILURE;
}

struct Device {
  QString path;
  GUID guid{};
  QString iface;
  unsigned state = kStateUnknown;
  bool adhoc = false;
  bool autoconnect = true;
  QString activeAp;  // "/" or empty: none
  QString activeConnection;
};

struct AccessPointInfo {
  QString path;
  QByteArray ssid;
  UCHAR bssid[6] = {};
  unsigned frequencyMHz = 0;
  unsigned maxBitrate = 0;  // kbit/s
  unsigned strength = 0;
  bool adhoc = false;
  ApSecurity security;
  unsigned wpaFlags = 0, rsnFlags = 0;
};

struct Profile {
  QString path;
  ProfileView view;
  DWORD flags = 0;
};

bool ReadDevice(const Bus& bus, const QString& path, Device* out) {
  const QVariantMap device = bus.Props(path, kDeviceIface);
  if (device.value(QStringLiteral("DeviceType")).toUInt() != kDeviceTypeWifi) return false;
  const QVariantMap wireless = bus.Props(path, kWirelessIface);
  Device d;
  d.path = path;
  d.iface = device.value(QStringLiteral("Interface")).toString();
  d.state = device.value(QStringLiteral("State")).toUInt();
  d.autoconnect = device.value(QStringLiteral("Autoconnect"), device.value(QStringLiteral("AutoConnect"), true)).toBool();
  d.activeConnection = PathOf(device.value(QStringLiteral("ActiveConnection")));
  d.adhoc = wireless.value(QStringLiteral("Mode")).toUInt() == kModeAdhoc;
  d.activeAp = PathOf(wireless.value(QStringLiteral("ActiveAccessPoint")));
  d.guid = DeviceGuid(wireless.value(QStringLiteral("PermHwAddress")).toString(), d.iface);
  *out = d;
  return true;
}

std::vector<Device> ReadDevices(const Bus& bus, DWORD* error) {
  std::vector<Device> out;
  const QVariant devices = bus.Ask(kManagerPath, kManagerIface, QStringLiteral("GetDevices"), error);
  if (*error) return out;
  for (const QDBusObjectPath& p : Paths(devices)) {
    Device d;
    if (ReadDevice(bus, p.path(), &d)) out.push_back(d);
  }
  return out;
}

bool ReadAccessPoint(const Bus& bus, const QString& path, AccessPointInfo* out) {
  const QVariantMap p = bus.Props(path, kApIface);
  if (p.isEmpty()) return false;  // gone meanwhile
  AccessPointInfo ap;
  ap.path = path;
  ap.ssid = p.value(QStringLiteral("Ssid")).toByteArray().left(DOT11_SSID_MAX_LENGTH);
  if (!ParseHwAddress(p.value(QStringLiteral("HwAddress")).toString(), ap.bssid)) return false;
  ap.frequencyMHz = p.value(QStringLiteral("Frequency")).toUInt();
  ap.maxBitrate = p.value(QStringLiteral("MaxBitrate")).toUInt();
  ap.strength = p.value(QStringLiteral("Strength")).toUInt();
  ap.adhoc = p.value(QStringLiteral("Mode")).toUInt() == kModeAdhoc;
  ap.wpaFlags = p.value(QStringLiteral("WpaFlags")).toUInt();
  ap.rsnFlags = p.value(QStringLiteral("RsnFlags")).toUInt();
  ap.security = SecurityOf(p.value(QStringLiteral("Flags")).toUInt(), ap.wpaFlags, ap.rsnFlags);
  *out = ap;
  return true;
}

std::vector<AccessPointInfo> ReadAccessPoints(const Bus& bus, const Device& device) {
  std::vector<AccessPointInfo> out;
  for (const QDBusObjectPath& p : Paths(bus.Ask(device.path, kWirelessIface, QStringLiteral("GetAllAccessPoints")))) {
    AccessPointInfo ap;
    if (ReadAccessPoint(bus, p.path(), &ap)) out.push_back(ap);
  }
  return out;
}

// The user's Wi-Fi connections usable on `device`, in NetworkManager's
// preference order (autoconnect priority, then the most recently used),
// names unique (a later connection of the same name is left out).
std::vector<Profile> ReadProfiles(const Bus& bus, const Device& device, DWORD* error) {
  std::vector<Profile> out;
  const QVariant connections = bus.Ask(kSettingsPath, kSettingsIface, QStringLiteral("ListConnections"), error);
  if (*error) return out;
  for (const QDBusObjectPath& p : Paths(connections)) {
    DWORD settingsError = 0;
    const QVariantMap answer = bus.Ask(p.path(), kConnectionIface, QStringLiteral("GetSettings"), &settingsError).toMap();
    if (settingsError) continue;
    Settings settings;
    for (auto it = answer.begin(); it != answer.end(); ++it) settings.insert(it.key(), it.value().toMap());
    Profile profile;
    profile.path = p.path();
    if (!ProfileFromSettings(settings, &profile.view)) continue;
    const QVariantMap connection = settings.value(QStringLiteral("connection"));
    const QString boundTo = connection.value(QStringLiteral("interface-name")).toString();
    if (!boundTo.isEmpty() && boundTo != device.iface) continue;
    if (!connection.value(QStringLiteral("permissions")).toStringList().isEmpty()) profile.flags = WLAN_PROFILE_USER;
    out.push_back(profile);
  }
  std::stable_sort(out.begin(), out.end(), [](const Profile& a, const Profile& b) {
    if (a.view.priority != b.view.priority) return a.view.priority > b.view.priority;
    return a.view.timestamp > b.view.timestamp;
  });
  std::vector<Profile> unique;
  for (const Profile& p : out) {
    const bool seen = std::any_of(unique.begin(), unique.end(), [&](const Profile& u) { return u.view.name == p.view.name; });
    if (seen)
      qCDebug(lcNm) << "connection" << p.path << "left out: its name" << p.view.name << "is taken";
    else
      unique.push_back(p);
  }
  return unique;
}

template <typename T>
T* Items(void* list, std::size_t offset) {
  return reinterpret_cast<T*>(static_cast<BYTE*>(list) + offset);
}

void* AllocateList(std::size_t header, std::size_t itemSize, std::size_t count) {
  return wlansim::AllocateBlock(header + itemSize * std::max<std::size_t>(count, 1));
}

void* AllocateValue(const void* value, DWORD size, DWORD* outSize) {
  void* block = wlansim::AllocateBlock(size);
  if (!block) return nullptr;
  std::memcpy(block, value, size);
  *outSize = size;
  return block;
}

std::string Bytes(const QByteArray& data) { return std::string(data.constData(), static_cast<std::size_t>(data.size())); }

// The supported and extended rates elements (ids 1 and 50) as a rate set:
// 0.5 Mbit/s units, 0x8000 for a basic rate; membership selectors left out.
void FillRateSet(const std::vector<std::uint8_t>& elements, WLAN_RATE_SET* out) {
  out->uRateSetLength = 0;
  std::size_t count = 0;
  for (std::size_t at = 0; at + 2 <= elements.size();) {
    const std::uint8_t id = elements[at], length = elements[at + 1];
    if (at + 2 + length > elements.size()) break;
    if (id == 1 || id == 50) {
      for (std::size_t i = 0; i < length && count < DOT11_RATE_SET_MAX_LENGTH; ++i) {
        const std::uint8_t rate = elements[at + 2 + i];
        if ((rate & 0x7F) >= 122) continue;  // a membership selector, not a rate
        out->usRateSet[count++] = static_cast<USHORT>((rate & 0x7F) | ((rate & 0x80) ? 0x8000 : 0));
      }
    }
    at += 2 + length;
  }
  out->uRateSetLength = static_cast<ULONG>(count * sizeof(USHORT));
}

using DumpByBssid = std::map<std::array<std::uint8_t, 6>, Nl80211Bss>;

// The kernel's scan results of each interface, read at most once a second:
// they add what NetworkManager does not publish (signal in dBm, beacon
// interval, capability, the information elements). Reading needs no
// privilege; where it fails (no nl80211 here, another network namespace)
// the result is empty and the reason is logged once.
class ScanDumps {
 public:
  std::shared_ptr<const DumpByBssid> For(const QString& iface) {
    std::lock_guard<std::mutex> guard(m_lock);
    Entry& entry = m_entries[iface];
    const std::int64_t now = SteadyMs();
    if (entry.dump && now - entry.at < kFreshMs) return entry.dump;
    auto dump = std::make_shared<DumpByBssid>();
    std::string error;
    const unsigned index = ::if_nametoindex(iface.toLocal8Bit().constData());
    if (const auto read = index ? ReadScanDump(static_cast<int>(index), &error) : std::nullopt) {
      for (const Nl80211Bss& bss : *read) dump->emplace(bss.bssid, bss);
      entry.reported = false;
    } else if (!entry.reported) {
      qCDebug(lcNm) << "no scan dump of" << iface << ":" << (index ? error.c_str() : "no such interface here");
      entry.reported = true;
    }
    entry.dump = dump;
    entry.at = now;
    return dump;
  }

 private:
  static constexpr std::int64_t kFreshMs = 1000;
  struct Entry {
    std::shared_ptr<const DumpByBssid> dump;
    std::int64_t at = 0;
    bool reported = false;
  };
  std::mutex m_lock;
  std::map<QString, Entry> m_entries;
};

USHORT Capabilities(const AccessPointInfo& ap) {
  USHORT caps = ap.adhoc ? 0x0002 : 0x0001;
  if (ap.security.enabled) caps |= 0x0010;
  return caps;
}

}  // namespace

class Backend;

// Receives NetworkManager's signals on the back end's thread and turns them
// into notifications.
class Watcher : public QObject {
  Q_OBJECT
 public:
  Watcher(Backend* backend, const QDBusConnection& connection, const std::shared_ptr<AnswerCache>& cache)
      : m_backend(backend), m_cache(cache), m_bus(connection, kCallTimeoutMs, cache),
        m_fresh(connection, kCallTimeoutMs, cache, true) {}

  // Subscribes and learns the current devices (run on the watcher's thread).
  void Start();
  void Stop();
  // Queues a scan failure for `guid` (delivered on the watcher's thread).
  void ScanFailed(const GUID& guid, WLAN_REASON_CODE reason);
  // Queues a profile-change notification.
  void ProfileChanged(const GUID& guid);
  // Queues an attempt refused before it began: start, attempt failed, complete.
  void AttemptRefused(const GUID& guid, const wlansim::ConnectionFacts& facts, WLAN_REASON_CODE reason);

 public Q_SLOTS:
  void OnStateChanged(const QDBusMessage& message);
  void OnPropertiesChanged(const QDBusMessage& message);
  void OnDeviceAdded(const QDBusMessage& message);
  void OnDeviceRemoved(const QDBusMessage& message);
  void OnNameOwnerChanged(const QDBusMessage& message);
  void OnListChanged(const QDBusMessage& message);
  void OnConnectionChanged(const QDBusMessage& message);

 private:
  void Subscribe(bool on);
  struct Known {
    GUID guid{};
    wlansim::ConnectionFacts facts;  // the connection in progress or up
    bool haveFacts = false;
    ULONG quality = 0;
  };
  void Emit(const GUID& guid, DWORD source, DWORD code, std::vector<BYTE> payload = {});
  void Learn(const QString& path);
  wlansim::ConnectionFacts FactsOf(const QString& devicePath);

  Backend* m_backend;
  std::shared_ptr<AnswerCache> m_cache;
  Bus m_bus;
  Bus m_fresh;  // asks again: what a state change is reported with must be current
  std::map<QString, Known> m_known;  // Wi-Fi devices by object path
};

class Backend final : public wlanbackend::Backend {
 public:
  DWORD Open(HANDLE* handle) override;
  DWORD Close(HANDLE handle) override;
  DWORD Register(HANDLE handle, DWORD sources, WLAN_NOTIFICATION_CALLBACK callback, PVOID context,
                 DWORD* previous) override;
  DWORD EnumInterfaces(HANDLE handle, WLAN_INTERFACE_INFO_LIST** list) override;
  DWORD QueryInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD* size, PVOID* data,
                       WLAN_OPCODE_VALUE_TYPE* valueType) override;
  DWORD SetInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD size, const void* data) override;
  DWORD Scan(HANDLE handle, const GUID& guid) override;
  DWORD GetAvailableNetworkList(HANDLE handle, const GUID& guid, WLAN_AVAILABLE_NETWORK_LIST** list) override;
  DWORD GetNetworkBssList(HANDLE handle, const GUID& guid, const DOT11_SSID* ssid, DOT11_BSS_TYPE type, bool security,
                          WLAN_BSS_LIST** list) override;
  DWORD GetProfileList(HANDLE handle, const GUID& guid, WLAN_PROFILE_INFO_LIST** list) override;
  DWORD GetProfile(HANDLE handle, const GUID& guid, const std::string& name, LPWSTR* xml, DWORD* flags,
                   DWORD* access) override;
  DWORD SetProfile(HANDLE handle, const GUID& guid, DWORD flags, const std::string& xml, bool overwrite,
                   DWORD* reason) override;
  DWORD Connect(HANDLE handle, const GUID& guid, const wlanbackend::ConnectRequest& request) override;
  DWORD Disconnect(HANDLE handle, const GUID& guid) override;
  std::vector<wlanbackend::IpAdapterRecord> IpAdapters() override;
  DWORD RenewLease(const GUID& adapter) override;
  DWORD ReleaseLease(const GUID& adapter) override;

  // Calls every client registered for `source`, one at a time (watcher thread).
  void Deliver(DWORD source, DWORD code, const GUID& guid, const std::vector<BYTE>& payload);

 private:
  struct Client {
    DWORD sources = 0;
    WLAN_NOTIFICATION_CALLBACK callback = nullptr;
    PVOID context = nullptr;
    bool inCallback = false;
    std::thread::id callbackThread;
  };
  // The bus connection and the watcher's thread, while handles are open.
  struct Session {
    QString name;
    QDBusConnection connection{QString()};
    QThread thread;
    Watcher* watcher = nullptr;
    std::shared_ptr<AnswerCache> cache = std::make_shared<AnswerCache>();
  };

  // The session's bus, or null with *error set when the handle is not open.
  std::unique_ptr<Bus> BusFor(HANDLE handle, DWORD* error);
  // The Wi-Fi device of `guid`.
  DWORD FindDevice(const Bus& bus, const GUID& guid, Device* out);
  void WaitForCallback(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Client>& client);
  void EndSessionLocked(std::unique_lock<std::mutex>& lock);
  // Runs `use` with the session's bus, or a short-lived connection when no handle is open.
  void WithBus(const std::function<void(const Bus&)>& use);
  DWORD LeaseCall(const GUID& adapter);

  std::mutex m_lock;
  std::map<std::uintptr_t, std::shared_ptr<Client>> m_clients;
  std::uintptr_t m_nextHandle = 0;
  std::unique_ptr<Session> m_session;
  int m_sessions = 0;
  ScanDumps m_dumps;
};

// ---------------------------------------------------------------------------
// Watcher

// Every signal the watcher follows: (path or all, interface, name, slot).
void Watcher::Subscribe(bool on) {
  struct Subscription {
    QString service, path, iface, name;
    const char* slot;
  };
  const QString bus = QStringLiteral("org.freedesktop.DBus");
  const Subscription subscriptions[] = {
      {kService, QString(), kDeviceIface, QStringLiteral("StateChanged"), SLOT(OnStateChanged(QDBusMessage))},
      {kService, QString(), kPropsIface, QStringLiteral("PropertiesChanged"), SLOT(OnPropertiesChanged(QDBusMessage))},
      {kService, kManagerPath, kManagerIface, QStringLiteral("DeviceAdded"), SLOT(OnDeviceAdded(QDBusMessage))},
      {kService, kManagerPath, kManagerIface, QStringLiteral("DeviceRemoved"), SLOT(OnDeviceRemoved(QDBusMessage))},
      {kService, QString(), kWirelessIface, QStringLiteral("AccessPointAdded"), SLOT(OnListChanged(QDBusMessage))},
      {kService, QString(), kWirelessIface, QStringLiteral("AccessPointRemoved"), SLOT(OnListChanged(QDBusMessage))},
      {kService, kSettingsPath, kSettingsIface, QStringLiteral("NewConnection"), SLOT(OnListChanged(QDBusMessage))},
      {kService, kSettingsPath, kSettingsIface, QStringLiteral("ConnectionRemoved"), SLOT(OnListChanged(QDBusMessage))},
      {kService, QString(), kConnectionIface, QStringLiteral("Updated"), SLOT(OnConnectionChanged(QDBusMessage))},
      {kService, QString(), kConnectionIface, QStringLiteral("Removed"), SLOT(OnConnectionChanged(QDBusMessage))},
      {bus, QStringLiteral("/org/freedesktop/DBus"), bus, QStringLiteral("NameOwnerChanged"),
       SLOT(OnNameOwnerChanged(QDBusMessage))},
  };
  QDBusConnection c = m_bus.Connection();
  for (const Subscription& s : subscriptions) {
    if (on)
      c.connect(s.service, s.path, s.iface, s.name, this, s.slot);
    else
      c.disconnect(s.service, s.path, s.iface, s.name, this, s.slot);
  }
}

void Watcher::Start() {
  Subscribe(true);
  DWORD error = 0;
  for (const Device& d : ReadDevices(m_bus, &error)) m_known[d.path].guid = d.guid;
}

void Watcher::Stop() { Subscribe(false); }

void Watcher::Emit(const GUID& guid, DWORD source, DWORD code, std::vector<BYTE> payload) {
  qCDebug(lcNm) << "notification" << source << code;
  m_backend->Deliver(source, code, guid, payload);
}

void Watcher::ScanFailed(const GUID& guid, WLAN_REASON_CODE reason) {
  QMetaObject::invokeMethod(
      this,
      [this, guid, reason] {
        Emit(guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_fail, wlansim::DwordPayload(reason));
      },
      Qt::QueuedConnection);
}

void Watcher::AttemptRefused(const GUID& guid, const wlansim::ConnectionFacts& facts, WLAN_REASON_CODE reason) {
  QMetaObject::invokeMethod(
      this,
      [this, guid, facts, reason] {
        constexpr DWORD kAcm = WLAN_NOTIFICATION_SOURCE_ACM;
        Emit(guid, kAcm, wlan_notification_acm_connection_start,
             wlansim::ConnectionPayload(facts, WLAN_REASON_CODE_SUCCESS));
        Emit(guid, kAcm, wlan_notification_acm_connection_attempt_fail, wlansim::ConnectionPayload(facts, reason));
        Emit(guid, kAcm, wlan_notification_acm_connection_complete, wlansim::ConnectionPayload(facts, reason));
      },
      Qt::QueuedConnection);
}

void Watcher::ProfileChanged(const GUID& guid) {
  QMetaObject::invokeMethod(
      this, [this, guid] { Emit(guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_profile_change); },
      Qt::QueuedConnection);
}

void Watcher::Learn(const QString& path) {
  Device d;
  if (!ReadDevice(m_fresh, path, &d)) return;
  const bool isNew = m_known.find(path) == m_known.end();
  m_known[path].guid = d.guid;
  if (isNew) Emit(d.guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_interface_arrival);
}

wlansim::ConnectionFacts Watcher::FactsOf(const QString& devicePath) {
  wlansim::ConnectionFacts facts;
  Device d;
  if (!ReadDevice(m_fresh, devicePath, &d)) return facts;
  facts.bssType = d.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
  AccessPointInfo ap;
  if (!d.activeAp.isEmpty() && d.activeAp != QLatin1String("/") && ReadAccessPoint(m_fresh, d.activeAp, &ap)) {
    facts.ssid = Bytes(ap.ssid);
    std::memcpy(facts.bssid.data(), ap.bssid, 6);
    facts.security = ap.security.enabled;
  }
  if (!d.activeConnection.isEmpty() && d.activeConnection != QLatin1String("/"))
    facts.profileName = m_fresh.Props(d.activeConnection, kActiveIface).value(QStringLiteral("Id")).toString().toStdString();
  return facts;
}

void Watcher::OnStateChanged(const QDBusMessage& message) {
  const auto it = m_known.find(message.path());
  if (it == m_known.end() || message.arguments().size() < 3) return;
  const unsigned now = message.arguments().at(0).toUInt();
  const unsigned before = message.arguments().at(1).toUInt();
  const WLAN_REASON_CODE reason = ReasonFromStateReason(message.arguments().at(2).toUInt());
  Known& k = it->second;
  const GUID guid = k.guid;
  constexpr DWORD kAcm = WLAN_NOTIFICATION_SOURCE_ACM;
  constexpr DWORD kMsm = WLAN_NOTIFICATION_SOURCE_MSM;
  const bool wasIdle = before <= kStateDisconnected || before >= kStateFailed;
  if (now > kStateDisconnected && now < kStateActivated && (wasIdle || !k.haveFacts)) {
    k.facts = FactsOf(message.path());
    k.haveFacts = true;
    Emit(guid, kAcm, wlan_notification_acm_connection_start, wlansim::ConnectionPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
  }
  switch (now) {
    case kStatePrepare:
      Emit(guid, kMsm, wlan_notification_msm_associating, wlansim::MsmPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      break;
    case kStateConfig:
      Emit(guid, kMsm, wlan_notification_msm_associated, wlansim::MsmPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      break;
    case kStateNeedAuth:
      Emit(guid, kMsm, wlan_notification_msm_authenticating, wlansim::MsmPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      break;
    case kStateActivated:
      k.facts = FactsOf(message.path());
      k.haveFacts = true;
      Emit(guid, kMsm, wlan_notification_msm_connected, wlansim::MsmPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      Emit(guid, kAcm, wlan_notification_acm_connection_complete,
           wlansim::ConnectionPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      break;
    case kStateDeactivating:
      Emit(guid, kAcm, wlan_notification_acm_disconnecting, wlansim::ConnectionPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      Emit(guid, kMsm, wlan_notification_msm_disassociating, wlansim::MsmPayload(k.facts, WLAN_REASON_CODE_SUCCESS));
      break;
    case kStateFailed: {
      const WLAN_REASON_CODE r = reason == WLAN_REASON_CODE_SUCCESS ? WLAN_REASON_CODE_UNKNOWN : reason;
      Emit(guid, kAcm, wlan_notification_acm_connection_attempt_fail, wlansim::ConnectionPayload(k.facts, r));
      Emit(guid, kAcm, wlan_notification_acm_connection_complete, wlansim::ConnectionPayload(k.facts, r));
      k.haveFacts = false;
      break;
    }
    case kStateDisconnected:
    case kStateUnavailable:
      if (before >= kStateActivated && before < kStateFailed) {
        Emit(guid, kMsm, wlan_notification_msm_disconnected, wlansim::MsmPayload(k.facts, reason));
        Emit(guid, kAcm, wlan_notification_acm_disconnected, wlansim::ConnectionPayload(k.facts, reason));
      } else if (before > kStateDisconnected && before < kStateActivated) {
        // An attempt ended before it completed.
        const WLAN_REASON_CODE r = reason == WLAN_REASON_CODE_SUCCESS ? WLAN_REASON_CODE_UNKNOWN : reason;
        Emit(guid, kAcm, wlan_notification_acm_connection_attempt_fail, wlansim::ConnectionPayload(k.facts, r));
        Emit(guid, kAcm, wlan_notification_acm_connection_complete, wlansim::ConnectionPayload(k.facts, r));
      }
      k.haveFacts = false;
      break;
    default:
      break;
  }
}

void Watcher::OnPropertiesChanged(const QDBusMessage& message) {
  if (message.arguments().size() < 2) return;
  const QString iface = message.arguments().at(0).toString();
  const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().at(1));
  const QStringList invalidated = message.arguments().value(2).toStringList();
  m_cache->Merge(message.path(), iface, changed, invalidated);
  // A listing that a property mirrors is asked again.
  if (iface == kManagerIface && changed.contains(QStringLiteral("Devices")))
    m_cache->Drop(kManagerPath, QStringLiteral("GetDevices"));
  else if (iface == kWirelessIface && changed.contains(QStringLiteral("AccessPoints")))
    m_cache->Drop(message.path(), QStringLiteral("GetAllAccessPoints"));
  else if (iface == kSettingsIface && changed.contains(QStringLiteral("Connections")))
    m_cache->Drop(kSettingsPath, QStringLiteral("ListConnections"));
  if (iface == kWirelessIface && changed.contains(QStringLiteral("LastScan"))) {
    const auto it = m_known.find(message.path());
    if (it != m_known.end())
      Emit(it->second.guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_complete);
  } else if (iface == kApIface && changed.contains(QStringLiteral("Strength"))) {
    const ULONG quality = std::min<unsigned>(changed.value(QStringLiteral("Strength")).toUInt(), 100);
    for (auto& [path, known] : m_known) {
      if (!known.haveFacts) continue;
      Device d;
      if (!ReadDevice(m_bus, path, &d) || d.activeAp != message.path() || d.state != kStateActivated) continue;
      if (known.quality == quality) continue;
      known.quality = quality;
      Emit(known.guid, WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_signalquality_change,
           wlansim::DwordPayload(quality));
    }
  }
}

void Watcher::OnDeviceAdded(const QDBusMessage& message) {
  m_cache->Drop(kManagerPath, QStringLiteral("GetDevices"));
  if (message.arguments().isEmpty()) return;
  Learn(PathOf(message.arguments().front()));
}

void Watcher::OnDeviceRemoved(const QDBusMessage& message) {
  m_cache->Drop(kManagerPath, QStringLiteral("GetDevices"));
  if (message.arguments().isEmpty()) return;
  m_cache->Forget(PathOf(message.arguments().front()));
  const auto it = m_known.find(PathOf(message.arguments().front()));
  if (it == m_known.end()) return;
  const GUID guid = it->second.guid;
  m_known.erase(it);
  Emit(guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_interface_removal);
}

// NetworkManager stopping removes every adapter; starting again brings them back.
void Watcher::OnNameOwnerChanged(const QDBusMessage& message) {
  if (message.arguments().size() < 3 || message.arguments().at(0).toString() != kService) return;
  m_cache->Clear();
  const bool gone = message.arguments().at(2).toString().isEmpty();
  if (gone) {
    std::map<QString, Known> known;
    known.swap(m_known);
    for (const auto& entry : known)
      Emit(entry.second.guid, WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_interface_removal);
    return;
  }
  DWORD error = 0;
  for (const Device& d : ReadDevices(m_bus, &error)) Learn(d.path);
}

// An access point or a connection came or went: the listing is asked again,
// and what was stored of an object that left is dropped.
void Watcher::OnListChanged(const QDBusMessage& message) {
  if (message.interface() == kWirelessIface)
    m_cache->Drop(message.path(), QStringLiteral("GetAllAccessPoints"));
  else
    m_cache->Drop(kSettingsPath, QStringLiteral("ListConnections"));
  if (message.member().endsWith(QLatin1String("Removed")) && !message.arguments().isEmpty())
    m_cache->Forget(PathOf(message.arguments().front()));
}

void Watcher::OnConnectionChanged(const QDBusMessage& message) {
  if (message.member() == QLatin1String("Removed")) {
    m_cache->Forget(message.path());
    m_cache->Drop(kSettingsPath, QStringLiteral("ListConnections"));
  } else {
    m_cache->Drop(message.path(), QStringLiteral("GetSettings"));
  }
}

// ---------------------------------------------------------------------------
// Backend: handles and delivery

DWORD Backend::Open(HANDLE* handle) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (m_clients.size() >= kMaxClients) return ERROR_REMOTE_SESSION_LIMIT_EXCEEDED;
  if (!m_session) {
    auto session = std::make_unique<Session>();
    session->name = QStringLiteral("aerlume-networkmanager-%1").arg(++m_sessions);
    g_stalledUntil.store(0);  // a new connection starts without the old one's verdict
    session->connection = QDBusConnection::connectToBus(SystemBusAddress(), session->name);
    if (!session->connection.isConnected()) {
      qCDebug(lcNm) << "no system bus:" << session->connection.lastError().message();
      QDBusConnection::disconnectFromBus(session->name);
      return ERROR_SERVICE_NOT_ACTIVE;
    }
    qDBusRegisterMetaType<Settings>();
    session->watcher = new Watcher(this, session->connection, session->cache);
    session->watcher->moveToThread(&session->thread);
    session->thread.setObjectName(QStringLiteral("aerlume-nm"));
    session->thread.start();
    Watcher* watcher = session->watcher;
    QMetaObject::invokeMethod(watcher, [watcher] { watcher->Start(); }, Qt::BlockingQueuedConnection);
    m_session = std::move(session);
  }
  const std::uintptr_t value = 0x4E4D0000u + (++m_nextHandle) * 16u;
  m_clients[value] = std::make_shared<Client>();
  *handle = reinterpret_cast<HANDLE>(value);
  return ERROR_SUCCESS;
}

void Backend::WaitForCallback(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Client>& client) {
  if (!client->inCallback || client->callbackThread == std::this_thread::get_id()) return;
  lock.unlock();
  WaitPumpingSentMessages([this, client] {
    std::lock_guard<std::mutex> guard(m_lock);
    return !client->inCallback;
  });
  lock.lock();
}

void Backend::EndSessionLocked(std::unique_lock<std::mutex>& lock) {
  if (!m_session) return;
  // A handle closed from a callback leaves the session to the next Open or Close.
  if (QThread::currentThread() == &m_session->thread) return;
  std::unique_ptr<Session> session = std::move(m_session);
  lock.unlock();
  Watcher* watcher = session->watcher;
  QMetaObject::invokeMethod(watcher, [watcher] { watcher->Stop(); }, Qt::BlockingQueuedConnection);
  session->thread.quit();
  session->thread.wait();
  delete watcher;
  session->connection = QDBusConnection(QString());
  QDBusConnection::disconnectFromBus(session->name);
  lock.lock();
}

DWORD Backend::Close(HANDLE handle) {
  std::unique_lock<std::mutex> lock(m_lock);
  const auto it = m_clients.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == m_clients.end()) return ERROR_INVALID_HANDLE;
  const std::shared_ptr<Client> client = it->second;
  m_clients.erase(it);
  client->callback = nullptr;
  client->sources = 0;
  WaitForCallback(lock, client);
  if (m_clients.empty()) EndSessionLocked(lock);
  return ERROR_SUCCESS;
}

DWORD Backend::Register(HANDLE handle, DWORD sources, WLAN_NOTIFICATION_CALLBACK callback, PVOID context,
                        DWORD* previous) {
  std::unique_lock<std::mutex> lock(m_lock);
  const auto it = m_clients.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == m_clients.end()) return ERROR_INVALID_HANDLE;
  const std::shared_ptr<Client> client = it->second;
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

void Backend::Deliver(DWORD source, DWORD code, const GUID& guid, const std::vector<BYTE>& payload) {
  std::unique_lock<std::mutex> lock(m_lock);
  std::vector<std::shared_ptr<Client>> targets;
  for (const auto& entry : m_clients)
    if (entry.second->sources & source) targets.push_back(entry.second);
  for (const auto& c : targets) {
    if (!(c->sources & source) || !c->callback) continue;
    const WLAN_NOTIFICATION_CALLBACK callback = c->callback;
    const PVOID context = c->context;
    c->inCallback = true;
    c->callbackThread = std::this_thread::get_id();
    lock.unlock();
    std::vector<BYTE> copy = payload;
    WLAN_NOTIFICATION_DATA data{};
    data.NotificationSource = source;
    data.NotificationCode = code;
    data.InterfaceGuid = guid;
    data.dwDataSize = static_cast<DWORD>(copy.size());
    data.pData = copy.empty() ? nullptr : copy.data();
    callback(&data, context);
    lock.lock();
    c->inCallback = false;
  }
}

std::unique_ptr<Bus> Backend::BusFor(HANDLE handle, DWORD* error) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_clients.find(reinterpret_cast<std::uintptr_t>(handle)) == m_clients.end() || !m_session) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return std::make_unique<Bus>(m_session->connection, kCallTimeoutMs, m_session->cache);
}

DWORD Backend::FindDevice(const Bus& bus, const GUID& guid, Device* out) {
  DWORD error = 0;
  for (const Device& d : ReadDevices(bus, &error)) {
    if (d.guid == guid) {
      *out = d;
      return ERROR_SUCCESS;
    }
  }
  return error ? error : ERROR_NOT_FOUND;
}

#define NM_OPEN_BUS()                                 \
  DWORD busError = 0;                                 \
  const std::unique_ptr<Bus> bus = BusFor(handle, &busError); \
  if (!bus) return busError;

#define NM_FIND_DEVICE(d)                                          \
  Device d;                                                        \
  if (const DWORD e = FindDevice(*bus, guid, &d)) return e;

// ---------------------------------------------------------------------------
// Backend: queries

DWORD Backend::EnumInterfaces(HANDLE handle, WLAN_INTERFACE_INFO_LIST** list) {
  NM_OPEN_BUS();
  DWORD error = 0;
  const std::vector<Device> devices = ReadDevices(*bus, &error);
  if (error) return error;
  constexpr std::size_t kHeader = offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo);
  void* block = AllocateList(kHeader, sizeof(WLAN_INTERFACE_INFO), devices.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_INTERFACE_INFO_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(devices.size());
  auto* items = Items<WLAN_INTERFACE_INFO>(block, kHeader);
  for (std::size_t i = 0; i < devices.size(); ++i) {
    items[i].InterfaceGuid = devices[i].guid;
    CopyWide(items[i].strInterfaceDescription, WLAN_MAX_NAME_LENGTH, Utf8ToWide(devices[i].iface.toStdString()));
    items[i].isState = InterfaceStateOf(devices[i].state, devices[i].adhoc);
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Backend::QueryInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD* size, PVOID* data,
                              WLAN_OPCODE_VALUE_TYPE* valueType) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  const WLAN_INTERFACE_STATE state = InterfaceStateOf(d.state, d.adhoc);
  const bool up = state == wlan_interface_state_connected || state == wlan_interface_state_ad_hoc_network_formed;
  AccessPointInfo ap;
  const bool haveAp = up && d.activeAp != QLatin1String("/") && ReadAccessPoint(*bus, d.activeAp, &ap);
  void* block = nullptr;
  WLAN_OPCODE_VALUE_TYPE type = wlan_opcode_value_type_query_only;
  switch (op) {
    case wlan_intf_opcode_autoconf_enabled: {
      const BOOL value = d.autoconnect ? TRUE : FALSE;
      block = AllocateValue(&value, sizeof value, size);
      type = wlan_opcode_value_type_set_by_user;
      break;
    }
    case wlan_intf_opcode_background_scan_enabled: {
      const BOOL value = TRUE;  // NetworkManager scans in the background on its own schedule
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_interface_state: {
      const DWORD value = static_cast<DWORD>(state);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_bss_type: {
      const DOT11_BSS_TYPE value = d.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_current_connection: {
      if (!haveAp) return ERROR_INVALID_STATE;
      WLAN_CONNECTION_ATTRIBUTES attr;
      std::memset(&attr, 0, sizeof attr);
      attr.isState = state;
      attr.wlanConnectionMode = wlan_connection_mode_profile;
      const QString id = bus->Props(d.activeConnection, kActiveIface).value(QStringLiteral("Id")).toString();
      CopyWide(attr.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(id.toStdString()));
      WLAN_ASSOCIATION_ATTRIBUTES& as = attr.wlanAssociationAttributes;
      wlansim::FillSsid(&as.dot11Ssid, Bytes(ap.ssid));
      as.dot11BssType = ap.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
      std::memcpy(as.dot11Bssid, ap.bssid, 6);
      as.dot11PhyType = PhyTypeOf(ap.frequencyMHz, ap.maxBitrate);
      as.wlanSignalQuality = std::min<unsigned>(ap.strength, 100);
      const ULONG rate = bus->Props(d.path, kWirelessIface).value(QStringLiteral("Bitrate")).toUInt();
      as.ulRxRate = as.ulTxRate = rate;
      WLAN_SECURITY_ATTRIBUTES& sec = attr.wlanSecurityAttributes;
      sec.bSecurityEnabled = ap.security.enabled ? TRUE : FALSE;
      sec.dot11AuthAlgorithm = ap.security.auth;
      sec.dot11CipherAlgorithm = ap.security.cipher;
      block = AllocateValue(&attr, sizeof attr, size);
      break;
    }
    case wlan_intf_opcode_channel_number: {
      if (!haveAp) return ERROR_INVALID_STATE;
      const ULONG value = wlansim::ChannelOf(ap.frequencyMHz * 1000);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_rssi: {
      if (!haveAp) return ERROR_INVALID_STATE;
      const LONG value = RssiFromStrength(ap.strength);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_media_streaming_mode:
    case wlan_intf_opcode_radio_state:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  *data = block;
  if (valueType) *valueType = type;
  return ERROR_SUCCESS;
}

DWORD Backend::SetInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD size, const void* data) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (op != wlan_intf_opcode_autoconf_enabled) {
    switch (op) {
      case wlan_intf_opcode_background_scan_enabled:
      case wlan_intf_opcode_media_streaming_mode:
      case wlan_intf_opcode_radio_state:
      case wlan_intf_opcode_bss_type:
      case wlan_intf_opcode_interface_state:
      case wlan_intf_opcode_current_connection:
      case wlan_intf_opcode_channel_number:
      case wlan_intf_opcode_rssi:
        return ERROR_NOT_SUPPORTED;
      default:
        return ERROR_INVALID_PARAMETER;
    }
  }
  if (size != sizeof(BOOL)) return ERROR_INVALID_PARAMETER;
  BOOL raw = FALSE;
  std::memcpy(&raw, data, sizeof raw);
  const QDBusMessage reply =
      bus->Call(d.path, kPropsIface, QStringLiteral("Set"),
                {kDeviceIface, QStringLiteral("Autoconnect"), QVariant::fromValue(QDBusVariant(raw != FALSE))});
  bus->Drop(d.path, kDeviceIface);
  return ErrorOf(reply);
}

DWORD Backend::Scan(HANDLE handle, const GUID& guid) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (d.state < kStateDisconnected) return ERROR_NOT_READY;
  const QDBusMessage reply = bus->Call(d.path, kWirelessIface, QStringLiteral("RequestScan"), {QVariantMap()});
  const DWORD error = ErrorOf(reply);
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_NOT_FOUND) return error;
  if (error) {
    // NetworkManager refused this scan (one running, or not allowed now): it fails the usual way.
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_session) m_session->watcher->ScanFailed(guid, WLAN_REASON_CODE_SCAN_CALL_FAIL);
  }
  return ERROR_SUCCESS;
}

DWORD Backend::GetAvailableNetworkList(HANDLE handle, const GUID& guid, WLAN_AVAILABLE_NETWORK_LIST** list) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (d.state < kStateDisconnected) return ERROR_NOT_READY;
  const std::vector<AccessPointInfo> aps = ReadAccessPoints(*bus, d);
  DWORD error = 0;
  const std::vector<Profile> profiles = ReadProfiles(*bus, d, &error);

  // Networks: access points grouped by (SSID, BSS type, security, cipher), in NetworkManager's order.
  struct Network {
    const AccessPointInfo* first;
    std::vector<const AccessPointInfo*> members;
  };
  std::vector<Network> networks;
  for (const AccessPointInfo& ap : aps) {
    auto it = std::find_if(networks.begin(), networks.end(), [&](const Network& n) {
      return n.first->ssid == ap.ssid && n.first->adhoc == ap.adhoc &&
             n.first->security.enabled == ap.security.enabled && n.first->security.cipher == ap.security.cipher;
    });
    if (it == networks.end()) {
      networks.push_back(Network{&ap, {}});
      it = networks.end() - 1;
    }
    it->members.push_back(&ap);
  }
  struct Entry {
    const Network* network;
    const Profile* profile;
    bool fits;
  };
  std::vector<Entry> entries;
  for (const Profile& p : profiles)
    for (const Network& n : networks)
      if (!n.first->ssid.isEmpty() && n.first->ssid == p.view.ssid && n.first->adhoc == p.view.adhoc)
        entries.push_back(Entry{&n, &p, (p.view.encryption != QLatin1String("none")) == n.first->security.enabled});
  for (const Network& n : networks) entries.push_back(Entry{&n, nullptr, true});

  const bool up = d.state == kStateActivated;
  const QString activeId =
      up ? bus->Props(d.activeConnection, kActiveIface).value(QStringLiteral("Id")).toString() : QString();
  const Entry* connected = nullptr;
  if (up) {
    for (const Entry& e : entries) {
      const bool holds = std::any_of(e.network->members.begin(), e.network->members.end(),
                                     [&](const AccessPointInfo* m) { return m->path == d.activeAp; });
      if (!holds) continue;
      if (e.profile && e.profile->view.name == activeId) {
        connected = &e;
        break;
      }
      if (!e.profile && !connected) connected = &e;
    }
  }

  constexpr std::size_t kHeader = offsetof(WLAN_AVAILABLE_NETWORK_LIST, Network);
  void* block = AllocateList(kHeader, sizeof(WLAN_AVAILABLE_NETWORK), entries.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_AVAILABLE_NETWORK_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(entries.size());
  auto* items = Items<WLAN_AVAILABLE_NETWORK>(block, kHeader);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    WLAN_AVAILABLE_NETWORK& n = items[i];
    if (e.profile) CopyWide(n.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(e.profile->view.name.toStdString()));
    wlansim::FillSsid(&n.dot11Ssid, Bytes(e.network->first->ssid));
    n.dot11BssType = e.network->first->adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
    n.uNumberOfBssids = static_cast<ULONG>(e.network->members.size());
    n.bNetworkConnectable = e.fits ? TRUE : FALSE;
    n.wlanNotConnectableReason = e.fits ? WLAN_REASON_CODE_SUCCESS : WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE;
    ULONG quality = 0;
    for (const AccessPointInfo* m : e.network->members) {
      quality = std::max<ULONG>(quality, std::min<unsigned>(m->strength, 100));
      const DOT11_PHY_TYPE phy = PhyTypeOf(m->frequencyMHz, m->maxBitrate);
      const auto end = n.dot11PhyTypes + n.uNumberOfPhyTypes;
      if (std::find(n.dot11PhyTypes, end, phy) != end) continue;
      if (n.uNumberOfPhyTypes < 8)
        n.dot11PhyTypes[n.uNumberOfPhyTypes++] = phy;
      else
        n.bMorePhyTypes = TRUE;
    }
    n.wlanSignalQuality = quality;
    n.bSecurityEnabled = e.network->first->security.enabled ? TRUE : FALSE;
    n.dot11DefaultAuthAlgorithm = e.network->first->security.auth;
    n.dot11DefaultCipherAlgorithm = e.network->first->security.cipher;
    if (e.profile) n.dwFlags |= WLAN_AVAILABLE_NETWORK_HAS_PROFILE;
    if (&e == connected) n.dwFlags |= WLAN_AVAILABLE_NETWORK_CONNECTED;
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Backend::GetNetworkBssList(HANDLE handle, const GUID& guid, const DOT11_SSID* ssid, DOT11_BSS_TYPE type,
                                 bool security, WLAN_BSS_LIST** list) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (d.state < kStateDisconnected) return ERROR_NOT_READY;
  std::vector<AccessPointInfo> matches;
  for (const AccessPointInfo& ap : ReadAccessPoints(*bus, d)) {
    if (ssid) {
      if (ap.ssid.size() != static_cast<qsizetype>(ssid->uSSIDLength) ||
          std::memcmp(ap.ssid.constData(), ssid->ucSSID, ssid->uSSIDLength) != 0)
        continue;
      const DOT11_BSS_TYPE apType = ap.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
      if (type != dot11_BSS_type_any && apType != type) continue;
      if (ap.security.enabled != security) continue;
    }
    matches.push_back(ap);
  }
  // What the kernel heard of each access point, when its scan dump can be
  // read; else the security elements NetworkManager's flags describe.
  const std::shared_ptr<const DumpByBssid> dump = m_dumps.For(d.iface);
  std::vector<const Nl80211Bss*> heard(matches.size(), nullptr);
  std::vector<std::vector<std::uint8_t>> fromFlags(matches.size());
  std::size_t elementBytes = 0;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    std::array<std::uint8_t, 6> bssid;
    std::memcpy(bssid.data(), matches[i].bssid, 6);
    const auto found = dump->find(bssid);
    if (found != dump->end()) heard[i] = &found->second;
    else fromFlags[i] = ElementsFromApFlags(matches[i].wpaFlags, matches[i].rsnFlags);
    elementBytes += heard[i] ? heard[i]->elements.size() : fromFlags[i].size();
  }
  constexpr std::size_t kHeader = offsetof(WLAN_BSS_LIST, wlanBssEntries);
  const std::size_t entriesEnd = kHeader + sizeof(WLAN_BSS_ENTRY) * matches.size();
  void* block = wlansim::AllocateBlock(std::max(entriesEnd + elementBytes, kHeader + sizeof(WLAN_BSS_ENTRY)));
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_BSS_LIST*>(block);
  out->dwTotalSize = static_cast<DWORD>(entriesEnd + elementBytes);
  out->dwNumberOfItems = static_cast<DWORD>(matches.size());
  auto* items = Items<WLAN_BSS_ENTRY>(block, kHeader);
  std::size_t elementsAt = entriesEnd;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    const AccessPointInfo& ap = matches[i];
    WLAN_BSS_ENTRY& e = items[i];
    wlansim::FillSsid(&e.dot11Ssid, Bytes(ap.ssid));
    std::memcpy(e.dot11Bssid, ap.bssid, 6);
    e.dot11BssType = ap.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
    e.dot11BssPhyType = PhyTypeOf(ap.frequencyMHz, ap.maxBitrate);
    e.uLinkQuality = std::min<unsigned>(ap.strength, 100);
    e.bInRegDomain = TRUE;
    const Nl80211Bss* k = heard[i];
    // Measured when the kernel reports dBm; else derived from the strength.
    e.lRssi = k && k->SignalDbm() ? *k->SignalDbm() : RssiFromStrength(ap.strength);
    e.usBeaconPeriod = k ? k->beaconInterval : 0;  // NetworkManager does not publish it
    e.usCapabilityInformation = k ? k->capability : Capabilities(ap);
    e.ulChCenterFrequency = k && k->frequencyKHz ? k->frequencyKHz : ap.frequencyMHz * 1000;
    const std::vector<std::uint8_t>& elements = k ? k->elements : fromFlags[i];
    FillRateSet(elements, &e.wlanRateSet);  // NetworkManager publishes only the highest rate
    std::copy(elements.begin(), elements.end(), static_cast<UCHAR*>(block) + elementsAt);
    e.ulIeOffset = static_cast<ULONG>(elementsAt - (reinterpret_cast<UCHAR*>(&e) - static_cast<UCHAR*>(block)));
    e.ulIeSize = static_cast<ULONG>(elements.size());
    elementsAt += elements.size();
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Backend::GetProfileList(HANDLE handle, const GUID& guid, WLAN_PROFILE_INFO_LIST** list) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  DWORD error = 0;
  const std::vector<Profile> profiles = ReadProfiles(*bus, d, &error);
  if (error) return error;
  constexpr std::size_t kHeader = offsetof(WLAN_PROFILE_INFO_LIST, ProfileInfo);
  void* block = AllocateList(kHeader, sizeof(WLAN_PROFILE_INFO), profiles.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_PROFILE_INFO_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(profiles.size());
  auto* items = Items<WLAN_PROFILE_INFO>(block, kHeader);
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    CopyWide(items[i].strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(profiles[i].view.name.toStdString()));
    items[i].dwFlags = profiles[i].flags;
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Backend::GetProfile(HANDLE handle, const GUID& guid, const std::string& name, LPWSTR* xml, DWORD* flags,
                          DWORD* access) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  DWORD error = 0;
  const std::vector<Profile> profiles = ReadProfiles(*bus, d, &error);
  if (error) return error;
  const auto it = std::find_if(profiles.begin(), profiles.end(),
                               [&](const Profile& p) { return p.view.name.toStdString() == name; });
  if (it == profiles.end()) return ERROR_NOT_FOUND;
  const std::u16string text = Utf8ToWide(ProfileDocument(it->view));
  auto* block = static_cast<WCHAR*>(wlansim::AllocateBlock(2 * (text.size() + 1)));
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  std::copy(text.begin(), text.end(), block);
  *xml = block;
  if (flags) *flags = it->flags;
  if (access) *access = kGrantedAccess;
  return ERROR_SUCCESS;
}

// A document for an existing connection changes only the settings whose
// fields changed (name, SSID, connection type, connection mode), by Update
// with the connection's own settings and the secrets NetworkManager stores
// for it. New security (open, or WPA/WPA2-PSK with the document's key
// material) replaces the old security setting; a new name creates a
// connection with it. Other security is not offered: ERROR_NOT_SUPPORTED.
namespace {

// Update replaces a connection whole, secrets included, and GetSettings
// never returns them: the secrets NetworkManager keeps itself are read with
// GetSecrets and sent along, so saving a changed connection mode does not
// lose the user's key. When they cannot be read the save is refused, unless
// every secret of the setting is kept by the user's agent (a non-zero
// "-flags" value), which an update does not touch.
DWORD AddStoredSecrets(const Bus& bus, const QString& path, Settings* settings) {
  for (const QString& section : {QStringLiteral("802-11-wireless-security"), QStringLiteral("802-1x")}) {
    if (!settings->contains(section)) continue;
    const QDBusMessage reply = bus.Call(path, kConnectionIface, QStringLiteral("GetSecrets"), {section});
    if (const DWORD error = ErrorOf(reply)) {
      const QVariantMap values = settings->value(section);
      bool agentOnly = false;
      for (auto it = values.begin(); it != values.end(); ++it) {
        if (!it.key().endsWith(QLatin1String("-flags"))) continue;
        agentOnly = it.value().toUInt() != 0;
        if (!agentOnly) break;
      }
      if (agentOnly) continue;
      qCDebug(lcNm) << "secrets of" << path << "not readable: save refused";
      return error;
    }
    const QVariantMap secrets = qdbus_cast<Settings>(reply.arguments().value(0)).value(section);
    for (auto it = secrets.begin(); it != secrets.end(); ++it) (*settings)[section].insert(it.key(), it.value());
  }
  return ERROR_SUCCESS;
}

// The security setting a document asks for: none for an open network,
// WPA/WPA2-PSK with the document's key; anything else is not offered.
DWORD SecurityFromDocument(const wlansim::ParsedProfile& doc, std::optional<QVariantMap>* out) {
  out->reset();
  if (!doc.SecurityEnabled()) return ERROR_SUCCESS;
  const bool psk = doc.authentication == "WPA2PSK" || doc.authentication == "WPAPSK";
  if (!psk || doc.key.empty()) return ERROR_NOT_SUPPORTED;
  QVariantMap security{{QStringLiteral("key-mgmt"), QStringLiteral("wpa-psk")},
                       {QStringLiteral("psk"), QString::fromStdString(doc.key)}};
  if (doc.authentication == "WPAPSK") security[QStringLiteral("proto")] = QStringList{QStringLiteral("wpa")};
  *out = security;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD Backend::SetProfile(HANDLE handle, const GUID& guid, DWORD flags, const std::string& xml, bool overwrite,
                          DWORD* reason) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (flags & WLAN_PROFILE_GROUP_POLICY) return ERROR_ACCESS_DENIED;
  if (flags & ~WLAN_PROFILE_USER) return ERROR_INVALID_PARAMETER;
  wlansim::ParsedProfile doc;
  if (const WLAN_REASON_CODE rc = wlansim::ParseProfileXml(xml, &doc); rc != WLAN_REASON_CODE_SUCCESS) {
    *reason = rc;
    return ERROR_BAD_PROFILE;
  }
  DWORD error = 0;
  const std::vector<Profile> profiles = ReadProfiles(*bus, d, &error);
  if (error) return error;
  const QString name = QString::fromStdString(doc.name);
  const auto it = std::find_if(profiles.begin(), profiles.end(), [&](const Profile& p) { return p.view.name == name; });
  const QByteArray ssid = QByteArray::fromStdString(doc.ssid);
  const bool adhoc = doc.bssType == dot11_BSS_type_independent;
  QDBusMessage reply;
  if (it != profiles.end()) {
    if (!overwrite) return ERROR_ALREADY_EXISTS;
    const ProfileView& v = it->view;
    const bool securityChanged = QString::fromStdString(doc.authentication) != v.authentication ||
                                 QString::fromStdString(doc.encryption) != v.encryption;
    std::optional<QVariantMap> security;
    if (securityChanged) {
      if (const DWORD e = SecurityFromDocument(doc, &security)) return e;
    }
    if (!securityChanged && ssid == v.ssid && adhoc == v.adhoc && doc.autoConnect == v.autoConnect)
      return ERROR_SUCCESS;
    const QDBusMessage current = bus->Call(it->path, kConnectionIface, QStringLiteral("GetSettings"));
    if (const DWORD e = ErrorOf(current)) return e;
    Settings settings = qdbus_cast<Settings>(current.arguments().value(0));
    const QString kSecurity = QStringLiteral("802-11-wireless-security");
    if (securityChanged) {
      // The new security replaces the old one whole, its key with it.
      settings.remove(kSecurity);
      if (security) settings[kSecurity] = *security;
    }
    if (ssid != v.ssid) settings[QStringLiteral("802-11-wireless")][QStringLiteral("ssid")] = ssid;
    if (adhoc != v.adhoc)
      settings[QStringLiteral("802-11-wireless")][QStringLiteral("mode")] =
          adhoc ? QStringLiteral("adhoc") : QStringLiteral("infrastructure");
    if (doc.autoConnect != v.autoConnect) settings[QStringLiteral("connection")][QStringLiteral("autoconnect")] = doc.autoConnect;
    if (!securityChanged) {
      if (const DWORD e = AddStoredSecrets(*bus, it->path, &settings)) return e;
    }
    reply = bus->Call(it->path, kConnectionIface, QStringLiteral("Update"), {QVariant::fromValue(settings)});
  } else {
    Settings settings;
    settings[QStringLiteral("connection")] = {{QStringLiteral("id"), name},
                                              {QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                                              {QStringLiteral("autoconnect"), doc.autoConnect}};
    settings[QStringLiteral("802-11-wireless")] = {
        {QStringLiteral("ssid"), ssid},
        {QStringLiteral("mode"), adhoc ? QStringLiteral("adhoc") : QStringLiteral("infrastructure")}};
    std::optional<QVariantMap> security;
    if (const DWORD e = SecurityFromDocument(doc, &security)) return e;
    if (security) settings[QStringLiteral("802-11-wireless-security")] = *security;
    reply = bus->Call(kSettingsPath, kSettingsIface, QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
  }
  bus->Drop(kSettingsPath, QStringLiteral("ListConnections"));
  if (it != profiles.end()) bus->Drop(it->path, QStringLiteral("GetSettings"));
  if (const DWORD e = ErrorOf(reply)) return e;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_session) m_session->watcher->ProfileChanged(guid);
  return ERROR_SUCCESS;
}

// A profile connection is activated on the chosen access point; without a
// profile, an open network gets a new connection for that SSID and access
// point, and a secured one fails as the simulated service fails it (no key to
// offer). Refusals known before anything starts come as the usual
// start / attempt-failed / complete sequence; the rest follows the device's
// state changes.
DWORD Backend::Connect(HANDLE handle, const GUID& guid, const wlanbackend::ConnectRequest& request) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (d.state < kStateDisconnected) return ERROR_NOT_READY;
  wlansim::ConnectionFacts facts;
  facts.mode = request.mode;
  facts.ssid = request.ssid;
  facts.bssType = request.bssType == dot11_BSS_type_any ? dot11_BSS_type_infrastructure : request.bssType;
  auto refuse = [&](WLAN_REASON_CODE reason) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_session) m_session->watcher->AttemptRefused(guid, facts, reason);
    return ERROR_SUCCESS;
  };

  // The access point: the desired BSSID, else any of the SSID (NetworkManager chooses).
  const std::vector<AccessPointInfo> aps = ReadAccessPoints(*bus, d);
  auto pick = [&](const QByteArray& ssid, const AccessPointInfo** out) {
    for (const AccessPointInfo& ap : aps) {
      if (ap.ssid != ssid) continue;
      if (request.bssid && std::memcmp(ap.bssid, request.bssid->data(), 6) != 0) continue;
      *out = &ap;
      return true;
    }
    return false;
  };

  QDBusMessage reply;
  if (request.mode == wlan_connection_mode_profile || request.mode == wlan_connection_mode_auto) {
    facts.profileName = request.profile;
    DWORD error = 0;
    const std::vector<Profile> profiles = ReadProfiles(*bus, d, &error);
    if (error) return error;
    const auto it = std::find_if(profiles.begin(), profiles.end(),
                                 [&](const Profile& p) { return p.view.name.toStdString() == request.profile; });
    if (it == profiles.end()) return refuse(WLAN_REASON_CODE_PROFILE_MISSING);
    facts.ssid = Bytes(it->view.ssid);
    facts.security = it->view.encryption != QLatin1String("none");
    if (!request.ssid.empty() && request.ssid != facts.ssid) return refuse(WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE);
    const AccessPointInfo* ap = nullptr;
    if (!pick(it->view.ssid, &ap) && request.bssid) return refuse(WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE);
    reply = bus->Call(kManagerPath, kManagerIface, QStringLiteral("ActivateConnection"),
                      {QVariant::fromValue(QDBusObjectPath(it->path)), QVariant::fromValue(QDBusObjectPath(d.path)),
                       QVariant::fromValue(QDBusObjectPath(ap ? ap->path : QStringLiteral("/")))});
  } else {
    // Discovery (and a temporary document, which names the SSID the same way).
    QByteArray ssid = QByteArray::fromStdString(request.ssid);
    if (request.mode == wlan_connection_mode_temporary_profile) {
      wlansim::ParsedProfile parsed;
      wlansim::ParseProfileXml(request.profile, &parsed);  // checked by WlanConnect
      ssid = QByteArray::fromStdString(parsed.ssid);
      facts.profileName = parsed.name;
    }
    facts.ssid = Bytes(ssid);
    const AccessPointInfo* ap = nullptr;
    if (!pick(ssid, &ap)) return refuse(WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE);
    facts.security = ap->security.enabled;
    std::memcpy(facts.bssid.data(), ap->bssid, 6);
    if (request.mode == wlan_connection_mode_discovery_unsecure && ap->security.enabled)
      return refuse(WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE);
    if (ap->security.enabled) return refuse(WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE);  // no key to offer
    QVariantMap wireless{{QStringLiteral("ssid"), ssid},
                         {QStringLiteral("mode"), ap->adhoc ? QStringLiteral("adhoc") : QStringLiteral("infrastructure")}};
    Settings settings;
    settings[QStringLiteral("802-11-wireless")] = wireless;
    reply = bus->Call(kManagerPath, kManagerIface, QStringLiteral("AddAndActivateConnection"),
                      {QVariant::fromValue(settings), QVariant::fromValue(QDBusObjectPath(d.path)),
                       QVariant::fromValue(QDBusObjectPath(ap->path))});
    bus->Drop(kSettingsPath, QStringLiteral("ListConnections"));  // it added a connection
  }
  const DWORD error = ErrorOf(reply);
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SERVICE_NOT_ACTIVE) return error;
  if (error) return refuse(WLAN_REASON_CODE_UNKNOWN);
  return ERROR_SUCCESS;
}

DWORD Backend::Disconnect(HANDLE handle, const GUID& guid) {
  NM_OPEN_BUS();
  NM_FIND_DEVICE(d);
  if (d.state < kStateDisconnected) return ERROR_NOT_READY;
  if (d.state == kStateDisconnected || d.state == kStateFailed) return ERROR_SUCCESS;  // nothing to end
  const QDBusMessage reply = bus->Call(d.path, kDeviceIface, QStringLiteral("Disconnect"));
  return ErrorOf(reply);
}

#undef NM_FIND_DEVICE
#undef NM_OPEN_BUS

// ---------------------------------------------------------------------------
// IP helper

namespace {

// "a.b.c.d" as a host-order address; 0 when malformed.
std::uint32_t Ipv4(const QString& text) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, text.toLatin1().constData(), &parsed) != 1) return 0;
  return ntohl(parsed.s_addr);
}

// The first address of an "aa{sv}" list of {"address": "a.b.c.d", ...}.
std::uint32_t FirstAddress(const QVariant& value) {
  const QList<QVariantMap> entries = value.canConvert<QDBusArgument>() ? qdbus_cast<QList<QVariantMap>>(value)
                                                                      : value.value<QList<QVariantMap>>();
  for (const QVariantMap& e : entries)
    if (const std::uint32_t a = Ipv4(e.value(QStringLiteral("address")).toString())) return a;
  return 0;
}

}  // namespace

std::vector<wlanbackend::IpAdapterRecord> Backend::IpAdapters() {
  std::vector<wlanbackend::IpAdapterRecord> out;
  WithBus([&](const Bus& bus) {
    DWORD error = 0;
    for (const Device& d : ReadDevices(bus, &error)) {
      wlanbackend::IpAdapterRecord r;
      r.guid = d.guid;
      r.description = d.iface.toStdString();
      r.up = d.state == kStateActivated;
      const QVariantMap device = bus.Props(d.path, kDeviceIface);
      const QString ip4 = PathOf(device.value(QStringLiteral("Ip4Config")));
      const QString dhcp4 = PathOf(device.value(QStringLiteral("Dhcp4Config")));
      r.dhcp = !dhcp4.isEmpty() && dhcp4 != QLatin1String("/");
      if (r.up && !ip4.isEmpty() && ip4 != QLatin1String("/")) {
        const QVariantMap config = bus.Props(ip4, QStringLiteral("org.freedesktop.NetworkManager.IP4Config"));
        r.address = FirstAddress(config.value(QStringLiteral("AddressData")));
        if (r.address) r.dnsServer = FirstAddress(config.value(QStringLiteral("NameserverData")));
      }
      if (r.address && r.dhcp) {
        const QVariantMap options = qdbus_cast<QVariantMap>(
            bus.Props(dhcp4, QStringLiteral("org.freedesktop.NetworkManager.DHCP4Config")).value(QStringLiteral("Options")));
        r.dhcpServer = Ipv4(options.value(QStringLiteral("dhcp_server_identifier")).toString());
      }
      out.push_back(r);
    }
  });
  return out;
}

// NetworkManager has no call that renews or releases a lease alone (only
// reconnecting or disconnecting the device, which does more): both fail
// honestly, after the usual checks.
DWORD Backend::RenewLease(const GUID& adapter) { return LeaseCall(adapter); }
DWORD Backend::ReleaseLease(const GUID& adapter) { return LeaseCall(adapter); }

DWORD Backend::LeaseCall(const GUID& adapter) {
  DWORD result = ERROR_NOT_FOUND;
  WithBus([&](const Bus& bus) {
    Device d;
    result = FindDevice(bus, adapter, &d);
    if (result) return;
    if (d.state != kStateActivated) {
      result = ERROR_NOT_READY;
      return;
    }
    result = ERROR_NOT_SUPPORTED;
  });
  return result;
}

void Backend::WithBus(const std::function<void(const Bus&)>& use) {
  std::optional<QDBusConnection> session;
  std::shared_ptr<AnswerCache> cache;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_session) {
      session = m_session->connection;
      cache = m_session->cache;
    }
  }
  if (session) {
    use(Bus(*session, kCallTimeoutMs, cache));
    return;
  }
  static std::atomic<int> count{0};
  const QString name = QStringLiteral("aerlume-networkmanager-ip-%1").arg(++count);
  {
    const QDBusConnection connection = QDBusConnection::connectToBus(SystemBusAddress(), name);
    if (connection.isConnected()) use(Bus(connection));
  }
  QDBusConnection::disconnectFromBus(name);
}

// ---------------------------------------------------------------------------

wlanbackend::Backend& Instance() {
  static Backend* backend = new Backend;  // the API may be called during static destruction
  return *backend;
}

bool HasWifiDevice() {
  // No socket, no bus: nothing to ask (and no D-Bus thread started for it).
  const QString address = SystemBusAddress();
  if (address.startsWith(QLatin1String("unix:path="))) {
    const QString socket = address.mid(10).section(QLatin1Char(','), 0, 0).section(QLatin1Char(';'), 0, 0);
    if (!QFileInfo::exists(socket)) {
      qCDebug(lcNm) << "probe: no system bus at" << socket;
      return false;
    }
  }
  static std::atomic<int> probes{0};
  const QString name = QStringLiteral("aerlume-networkmanager-probe-%1").arg(++probes);
  bool found = false;
  {
    const QDBusConnection connection = QDBusConnection::connectToBus(SystemBusAddress(), name);
    if (connection.isConnected()) {
      const Bus bus(connection, kProbeTimeoutMs);
      DWORD error = 0;
      found = !ReadDevices(bus, &error).empty();
    }
    qCDebug(lcNm) << "probe:" << (found ? "a Wi-Fi device answers" : "no Wi-Fi device");
  }
  QDBusConnection::disconnectFromBus(name);
  return found;
}

}  // namespace nm

#include "NmBackend.moc"
