// A NetworkManager stand-in for tests: a private D-Bus daemon (never the
// machine's system bus) running python3-dbusmock with tests/nm/nm_stand_in.py.
// Starting it points DBUS_SYSTEM_BUS_ADDRESS of this process at the private
// bus; stopping it restores the address the tests run with.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wlantypes.h"

namespace nmtest {

class StandIn {
 public:
  StandIn() = default;
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Why the stand-in cannot run here ("" when the tools are installed).
  static std::string MissingTools();

  // Starts the bus and the stand-in; false with *error set on failure.
  bool Start(std::string* error);
  // Stops the stand-in only (NetworkManager going away); the bus stays.
  void StopService();
  // Starts the stand-in again on the same bus.
  bool StartService(std::string* error);
  void Stop();
  // Stops or resumes the stand-in's process (a hung NetworkManager).
  void Freeze(bool frozen);

  // A call of the mock interface; fails the test on an error reply.
  QDBusMessage Mock(const QString& method, const QVariantList& args = {});
  // The same, returning the first string or object path of the reply.
  QString MockText(const QString& method, const QVariantList& args = {});

  QDBusConnection& Bus() { return *m_bus; }

 private:
  QTemporaryDir m_dir;
  QProcess m_daemon;
  QProcess m_service;
  QString m_address;
  QString m_connectionName;
  std::unique_ptr<QDBusConnection> m_bus;
  std::string m_savedAddress;
  bool m_haveSaved = false;
};

// Records notifications (code, adapter, payload) from any thread.
class Recorder {
 public:
  struct Item {
    DWORD source;
    DWORD code;
    GUID guid;
    std::vector<BYTE> payload;
  };
  static void Callback(WLAN_NOTIFICATION_DATA* data, PVOID context) {
    auto* self = static_cast<Recorder*>(context);
    Item item{data->NotificationSource, data->NotificationCode, data->InterfaceGuid, {}};
    if (data->dwDataSize) {
      const BYTE* p = static_cast<const BYTE*>(data->pData);
      item.payload.assign(p, p + data->dwDataSize);
    }
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_items.push_back(std::move(item));
  }
  // The first notification of `code` for `guid` within 5 s.
  bool WaitFor(DWORD code, const GUID& guid, Item* out = nullptr) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
      {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const Item& i : m_items)
          if (i.code == code && i.guid == guid) {
            if (out) *out = i;
            return true;
          }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_items.clear();
  }
  std::vector<Item> Items() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_items;
  }

 private:
  std::mutex m_lock;
  std::vector<Item> m_items;
};

// NetworkManager's device states and access-point security flags used by the tests.
constexpr unsigned kDisconnected = 30;
constexpr unsigned kPrepare = 40;
constexpr unsigned kConfig = 50;
constexpr unsigned kActivated = 100;
constexpr unsigned kDeactivating = 110;
constexpr unsigned kFailed = 120;
constexpr unsigned kPairCcmpPsk = 0x8 | 0x80 | 0x100;  // CCMP pair and group, PSK key management

}  // namespace nmtest
