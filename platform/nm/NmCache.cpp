#include "platform/nm/NmCache.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace nm {
namespace {

QVariant Read(const QDBusArgument& arg);

QVariantMap ReadMap(const QDBusArgument& arg) {
  QVariantMap map;
  arg.beginMap();
  while (!arg.atEnd()) {
    arg.beginMapEntry();
    const QVariant key = Read(arg);
    const QVariant value = Read(arg);
    arg.endMapEntry();
    map.insert(key.toString(), value);
  }
  arg.endMap();
  return map;
}

// Reads one value of any shape, leaving the argument after it.
QVariant Read(const QDBusArgument& arg) {
  const QString signature = arg.currentSignature();
  switch (arg.currentType()) {
    case QDBusArgument::BasicType:
      return arg.asVariant();
    case QDBusArgument::VariantType: {
      QDBusVariant inner;
      arg >> inner;
      return AnswerCache::Plain(inner.variant());
    }
    case QDBusArgument::MapType:
      return ReadMap(arg);
    case QDBusArgument::ArrayType: {
      if (signature == QLatin1String("ay")) {
        QByteArray bytes;
        arg >> bytes;
        return bytes;
      }
      if (signature == QLatin1String("ao")) {
        QList<QDBusObjectPath> paths;
        arg >> paths;
        return QVariant::fromValue(paths);
      }
      if (signature == QLatin1String("as")) {
        QStringList strings;
        arg >> strings;
        return strings;
      }
      if (signature == QLatin1String("aa{sv}")) {
        QList<QVariantMap> maps;
        arg.beginArray();
        while (!arg.atEnd()) maps.append(ReadMap(arg));
        arg.endArray();
        return QVariant::fromValue(maps);
      }
      QVariantList items;
      arg.beginArray();
      while (!arg.atEnd()) items.append(Read(arg));
      arg.endArray();
      return items;
    }
    case QDBusArgument::StructureType: {
      QVariantList fields;
      arg.beginStructure();
      while (!arg.atEnd()) fields.append(Read(arg));
      arg.endStructure();
      return fields;
    }
    default:
      return {};
  }
}

}  // namespace

QVariant AnswerCache::Plain(const QVariant& value) {
  if (value.userType() == qMetaTypeId<QDBusArgument>()) return Read(value.value<QDBusArgument>());
  if (value.userType() == QMetaType::QVariantMap) {
    QVariantMap map = value.toMap();
    for (auto it = map.begin(); it != map.end(); ++it) it.value() = Plain(it.value());
    return map;
  }
  return value;
}

std::optional<QVariant> AnswerCache::Get(const QString& path, const QString& key, const Fetch& fetch, bool refresh) {
  std::uint64_t changes = 0, epoch = 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!refresh) {
      const auto object = m_entries.find(path);
      if (object != m_entries.end()) {
        const auto entry = object->second.find(key);
        if (entry != object->second.end()) return entry->second;
      }
    }
    changes = m_changes[path];
    epoch = m_epoch;
  }
  std::optional<QVariant> answer = fetch();
  if (!answer) return answer;
  std::lock_guard<std::mutex> guard(m_lock);
  const auto counted = m_changes.find(path);
  if (epoch == m_epoch && counted != m_changes.end() && counted->second == changes) m_entries[path][key] = *answer;
  return answer;
}

void AnswerCache::Merge(const QString& path, const QString& iface, const QVariantMap& changed,
                        const QStringList& invalidated) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto counted = m_changes.find(path);
  if (counted == m_changes.end()) return;  // never asked about: nothing to keep current
  ++counted->second;
  const auto object = m_entries.find(path);
  if (object == m_entries.end()) return;
  const auto entry = object->second.find(iface);
  if (entry == object->second.end()) return;
  if (!invalidated.isEmpty()) {
    object->second.erase(entry);
    return;
  }
  QVariantMap props = entry->second.toMap();
  for (auto it = changed.begin(); it != changed.end(); ++it) props.insert(it.key(), Plain(it.value()));
  entry->second = props;
}

void AnswerCache::Drop(const QString& path, const QString& key) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto counted = m_changes.find(path);
  if (counted == m_changes.end()) return;
  ++counted->second;
  const auto object = m_entries.find(path);
  if (object != m_entries.end()) object->second.erase(key);
}

void AnswerCache::Forget(const QString& path) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_entries.erase(path);
  if (m_changes.erase(path)) ++m_epoch;
}

void AnswerCache::Clear() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_entries.clear();
  m_changes.clear();
  ++m_epoch;
}

std::size_t AnswerCache::Size() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::size_t n = 0;
  for (const auto& object : m_entries) n += object.second.size();
  return n;
}

}  // namespace nm
