// What NetworkManager last said of its objects, kept current by its change
// signals, so that a query in steady state costs no D-Bus round trip.
//
// An entry is an object path and a key: an interface name (the answer of
// Properties.GetAll, which PropertiesChanged updates in place) or the name of
// a read-only method without arguments (GetDevices, GetSettings, ...), which
// the signal watcher drops when the signal that says it changed arrives.
// Values are stored as plain Qt types (never QDBusArgument), so any thread
// may read them any number of times.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace nm {

class AnswerCache {
 public:
  // Asks the service; nullopt when it did not answer (nothing is stored).
  using Fetch = std::function<std::optional<QVariant>()>;

  // The stored answer, else fetch()'s, stored unless a change of `path` was
  // reported while it was being asked. `refresh` asks even when one is stored.
  std::optional<QVariant> Get(const QString& path, const QString& key, const Fetch& fetch, bool refresh = false);

  // PropertiesChanged of `iface` on `path`: changed values are merged into a
  // stored property map; a name reported invalidated drops the map.
  void Merge(const QString& path, const QString& iface, const QVariantMap& changed, const QStringList& invalidated);
  // One stored answer is out of date.
  void Drop(const QString& path, const QString& key);
  // The object went away.
  void Forget(const QString& path);
  // The service left or came back: nothing stored holds.
  void Clear();

  std::size_t Size() const;

  // `value` with every D-Bus container turned into plain Qt types.
  static QVariant Plain(const QVariant& value);

 private:
  mutable std::mutex m_lock;
  std::map<QString, std::map<QString, QVariant>> m_entries;
  // Changes reported per path, for paths asked about; a fetch stores its
  // answer only if the count (and the epoch) did not move meanwhile.
  std::map<QString, std::uint64_t> m_changes;
  std::uint64_t m_epoch = 0;
};

}  // namespace nm
