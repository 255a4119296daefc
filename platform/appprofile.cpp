#include "platform/appprofile.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <mutex>

namespace {

std::mutex g_profileLock;
std::string g_keyName;                 // empty: the application name is used
std::string g_appName = "Aerlume";
std::string g_pathOverride;

QString Text(const char* text) { return QString::fromUtf8(text != nullptr ? text : ""); }

// Caller holds g_profileLock.
QString ProfilePathLocked() {
  if (!g_pathOverride.empty()) return QString::fromStdString(g_pathOverride);
  const QString org = QString::fromStdString(g_keyName.empty() ? g_appName : g_keyName);
  // Only used to learn the location QSettings gives this organisation and
  // application; values are always read through the explicit file so that
  // system-wide fallback files are never consulted.
  const QSettings locator(QSettings::IniFormat, QSettings::UserScope, org, QString::fromStdString(g_appName));
  return locator.fileName();
}

QString Key(const char* section, const char* entry) { return Text(section) + QLatin1Char('/') + Text(entry); }

bool Flush(QSettings& settings) {
  settings.sync();
  return settings.status() == QSettings::NoError;
}

}  // namespace

void SetRegistryKey(const char* keyName) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  g_keyName = keyName != nullptr ? keyName : "";
}

void SetProfileAppName(const char* appName) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  g_appName = appName != nullptr ? appName : "";
}

std::string GetProfileAppName() {
  std::lock_guard<std::mutex> lock(g_profileLock);
  return g_appName;
}

void SetProfileFilePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  g_pathOverride = path;
}

std::string GetProfileFilePath() {
  std::lock_guard<std::mutex> lock(g_profileLock);
  return ProfilePathLocked().toStdString();
}

UINT GetProfileInt(const char* section, const char* entry, int nDefault) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  const QSettings settings(ProfilePathLocked(), QSettings::IniFormat);
  const QVariant value = settings.value(Key(section, entry));
  if (!value.isValid()) return static_cast<UINT>(nDefault);
  bool ok = false;
  const qlonglong number = value.toString().trimmed().toLongLong(&ok);
  if (!ok || number < INT32_MIN || number > static_cast<qlonglong>(UINT32_MAX)) return static_cast<UINT>(nDefault);
  return static_cast<UINT>(static_cast<std::uint32_t>(number));
}

BOOL WriteProfileInt(const char* section, const char* entry, int nValue) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  QSettings settings(ProfilePathLocked(), QSettings::IniFormat);
  settings.setValue(Key(section, entry), nValue);
  return Flush(settings) ? TRUE : FALSE;
}

std::string GetProfileString(const char* section, const char* entry, const char* defaultText) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  const QSettings settings(ProfilePathLocked(), QSettings::IniFormat);
  const QVariant value = settings.value(Key(section, entry));
  if (!value.isValid()) return defaultText != nullptr ? defaultText : "";
  return value.toString().toStdString();
}

BOOL WriteProfileString(const char* section, const char* entry, const char* value) {
  std::lock_guard<std::mutex> lock(g_profileLock);
  QSettings settings(ProfilePathLocked(), QSettings::IniFormat);
  if (value == nullptr)
    settings.remove(Key(section, entry));
  else
    settings.setValue(Key(section, entry), Text(value));
  return Flush(settings) ? TRUE : FALSE;
}
