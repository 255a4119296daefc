#include "settings/Settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eventlog/Log.h"
#include "platform/appprofile.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/textcase.h"
#include "platform/uuidtext.h"

int CSettings::m_nActiveScanInterval = CSettings::kDefaultActiveScanInterval;
int CSettings::m_nPassiveScanInterval = CSettings::kDefaultPassiveScanInterval;
bool CSettings::m_bAutorun = false;
bool CSettings::m_bAutoRetry = true;
GUID CSettings::m_guidMonitorDevice = {};
std::uint32_t CSettings::m_uHiddenColumns = 0;

CSettings g_settings;

namespace {

constexpr const char* kSectionScan = "Scan";
constexpr const char* kSectionConnect = "Connect";
constexpr const char* kSectionMonitor = "Monitor";
constexpr const char* kValueActive = "Active Scan Interval";
constexpr const char* kValuePassive = "Passive Scan Interval";
constexpr const char* kValueAutoRetry = "Auto Retry";
constexpr const char* kValueDevice = "Device GUID";
constexpr const char* kSectionList = "List";
constexpr const char* kValueHiddenColumns = "Hidden Columns";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run";

constexpr DWORD kNameChars = 260;
// Room for the data of an entry: at least a full Linux path, and always our
// own path, so that the entry this program writes is read back, however long
// its path (a shorter buffer would skip it and every save would add another).
constexpr DWORD kMinDataBytes = PATH_MAX;
// How many names after the computed one are tried before giving up.
constexpr int kFreeNameAttempts = 10000;

// One pass over the first kRunListScanLimit values. Returns true at the first
// entry whose data names this executable, leaving its name in *name; otherwise
// *name holds the name of the last value read (it starts as "0").
bool FindOwnEntry(HKEY key, const std::string& ownPath, std::string* name) {
  const std::string ownFile = CSettings::FileNamePart(ownPath);
  if (ownFile.empty()) return false;  // no path from the platform: nothing can match
  std::vector<BYTE> data(std::max<std::size_t>(kMinDataBytes, ownPath.size() + 1));
  char nameBuffer[kNameChars];
  for (DWORD index = 0; index < CSettings::kRunListScanLimit; ++index) {
    // The sizes are in/out arguments: reset them for every index.
    DWORD nameChars = kNameChars;
    DWORD dataBytes = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (RegEnumValueA(key, index, nameBuffer, &nameChars, nullptr, &type, data.data(), &dataBytes) != ERROR_SUCCESS)
      continue;  // a failing index (including past the end) is skipped, not a stop
    *name = nameBuffer;
    const auto* text = reinterpret_cast<const char*>(data.data());
    const std::string value(text, strnlen(text, dataBytes));
    if (Utf8CompareNoCase(CSettings::FileNamePart(value), ownFile) == 0) return true;
  }
  return false;
}

// The leading decimal integer of a name as atoi reads it (leading blanks and
// a sign allowed, no digits: 0), but saturated instead of overflowing.
long long LeadingNumber(const std::string& name) {
  errno = 0;
  const long long value = std::strtoll(name.c_str(), nullptr, 10);
  return errno == ERANGE ? (value < 0 ? LLONG_MIN : LLONG_MAX) : value;
}

// A stored interval of zero or less was never chosen by anyone: the default.
int PositiveOr(int milliseconds, int fallback) { return milliseconds > 0 ? milliseconds : fallback; }

bool NameTaken(HKEY key, const std::string& name) {
  DWORD bytes = 0;
  return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &bytes) != ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::string CSettings::FileNamePart(const std::string& path) {
  const std::size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

int CSettings::SanitizeActiveScanInterval(int milliseconds) {
  if (milliseconds <= 0) return kDefaultActiveScanInterval;
  return milliseconds < kMinActiveScanInterval ? kMinActiveScanInterval : milliseconds;
}

int CSettings::SanitizePassiveScanInterval(int milliseconds) {
  if (milliseconds <= 0) return kDefaultPassiveScanInterval;
  return milliseconds < kMinPassiveScanInterval ? kMinPassiveScanInterval : milliseconds;
}

void CSettings::Load() {
  m_nActiveScanInterval =
      PositiveOr(static_cast<int>(GetProfileInt(kSectionScan, kValueActive, kDefaultActiveScanInterval)),
                 kDefaultActiveScanInterval);
  m_nPassiveScanInterval =
      PositiveOr(static_cast<int>(GetProfileInt(kSectionScan, kValuePassive, kDefaultPassiveScanInterval)),
                 kDefaultPassiveScanInterval);
  m_bAutoRetry = GetProfileInt(kSectionConnect, kValueAutoRetry, 1) != 0;
  m_bAutorun = IsAutorun();

  std::string text = GetProfileString(kSectionMonitor, kValueDevice, "");
  GUID guid{};
  if (text.empty() || UuidFromStringA(reinterpret_cast<RPC_CSTR>(text.data()), &guid) != RPC_S_OK) guid = GUID{};
  m_guidMonitorDevice = guid;
  m_uHiddenColumns = static_cast<std::uint32_t>(GetProfileInt(kSectionList, kValueHiddenColumns, 0));
}

void CSettings::SaveHiddenColumns() {
  WriteProfileInt(kSectionList, kValueHiddenColumns, static_cast<int>(m_uHiddenColumns));
}

void CSettings::Save() {
  WriteProfileInt(kSectionScan, kValueActive, m_nActiveScanInterval);
  WriteProfileInt(kSectionScan, kValuePassive, m_nPassiveScanInterval);
  WriteProfileInt(kSectionConnect, kValueAutoRetry, m_bAutoRetry ? 1 : 0);

  RPC_CSTR text = nullptr;
  if (UuidToStringA(&m_guidMonitorDevice, &text) == RPC_S_OK) {
    WriteProfileString(kSectionMonitor, kValueDevice, reinterpret_cast<const char*>(text));
    RpcStringFreeA(&text);
  }
  SaveHiddenColumns();

  const bool wanted = m_bAutorun;
  std::string why;
  const bool applied = SetAutorun(wanted, &why);
  m_bAutorun = IsAutorun();
  if (!applied || m_bAutorun != wanted) {
    if (why.empty()) why = "the run list does not show the change";
    LogPrintf("Autorun could not be turned %s: %s.\n", wanted ? "on" : "off", why.c_str());
  }
}

bool CSettings::IsAutorun() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  std::string name = "0";
  const bool found = FindOwnEntry(key, GetModulePath(true), &name);
  RegCloseKey(key);
  return found;
}

bool CSettings::SetAutorun(bool on, std::string* why) {
  std::string failure;
  std::string name = "0";
  HKEY key = nullptr;
  bool done = false;
  const std::string path = GetModulePath(true);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
    // Nothing to remove from a list that cannot be opened: off is off.
    failure = RegLastFailureText();
    done = !on && !IsAutorun();
    key = nullptr;
  } else if (FindOwnEntry(key, path, &name)) {
    done = on || RegDeleteValueA(key, name.c_str()) == ERROR_SUCCESS;
    if (!done) failure = RegLastFailureText();
  } else if (!on) {
    done = true;
  } else if (path.empty()) {
    failure = "the program's own path is unknown";
  } else {
    // One more than the last name read; when that name is already used (the
    // last name was not a number, or a later value has it), the next free one,
    // so no other entry is ever overwritten.
    long long number = LeadingNumber(name);
    number = number == LLONG_MAX ? number : number + 1;
    std::string newName = std::to_string(number);
    int attempts = 0;
    while (NameTaken(key, newName) && ++attempts < kFreeNameAttempts && number < LLONG_MAX)
      newName = std::to_string(++number);
    if (NameTaken(key, newName)) {
      failure = "no free entry name";
    } else {
      done = RegSetValueExA(key, newName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                            static_cast<DWORD>(path.size() + 1)) == ERROR_SUCCESS;
      if (!done) failure = RegLastFailureText();
    }
  }
  if (key != nullptr) RegCloseKey(key);
  if (!done && why != nullptr) *why = failure;
  return done;
}

std::string CSettings::GetModulePath(bool full) {
  // The platform cuts a path that does not fit and says so by filling the
  // buffer; grow it until the whole path fits instead of comparing a cut name.
  std::vector<char> buffer(260);
  for (;;) {
    const DWORD got = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) return {};
    if (got < buffer.size()) break;
    if (buffer.size() >= 1u << 16) return {};
    buffer.resize(buffer.size() * 2);
  }
  const std::string path(buffer.data());
  return full ? path : FileNamePart(path);
}
