#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/textcase.h"

struct HKEY__ {
  std::string folder;
  REGSAM access = 0;
};

namespace {

constexpr std::string_view kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run";
constexpr std::string_view kSuffix = ".desktop";
constexpr std::size_t kMaxFileName = 255;

// Keys handed out and not yet closed; anything else is an invalid handle.
std::mutex g_keysLock;
std::set<HKEY> g_openKeys;

bool IsOpenKey(HKEY key) {
  std::lock_guard<std::mutex> lock(g_keysLock);
  return g_openKeys.count(key) != 0;
}

bool IsPredefined(HKEY key) { return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE; }

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// <first absolute entry of $XDG_CONFIG_DIRS, default /etc/xdg>/autostart,
// read on every call so that a changed environment takes effect at once.
std::string RunListFolder() {
  std::string base = "/etc/xdg";
  if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
    std::string_view rest(dirs);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const std::string_view entry = rest.substr(0, colon);
      if (!entry.empty() && entry.front() == '/') {  // relative entries are invalid and ignored
        base.assign(entry);
        break;
      }
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/autostart";
}

bool FolderWritable(const std::string& folder, const struct stat& st) {
  if (access(folder.c_str(), W_OK | X_OK) != 0) return false;
  if (geteuid() != 0) return true;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool HasSuffix(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The value names of the folder, in byte order of their file names: every
// "<name>.desktop" regular file (or link to one) with a non-empty name.
std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {};
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() <= kSuffix.size() || !HasSuffix(name, kSuffix)) continue;
    struct stat st{};
    const std::string path = folder + "/" + std::string(name);
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    files.emplace_back(name);
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  for (auto& file : files) file.resize(file.size() - kSuffix.size());
  return files;
}

// The existing value whose name equals `name` without case; an exact match
// wins over one that differs only in case.
std::optional<std::string> FindName(const std::string& folder, std::string_view name) {
  std::optional<std::string> found;
  for (const auto& candidate : ListNames(folder)) {
    if (candidate == name) return candidate;
    if (!found && Utf8CompareNoCase(candidate, name) == 0) found = candidate;
  }
  return found;
}

std::string EntryPath(const std::string& folder, const std::string& name) {
  return folder + "/" + name + std::string(kSuffix);
}

// Escapes what a desktop-entry value cannot hold literally.
std::string EscapeValue(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
  std::size_t last = text.size();
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool edge = i < first || i >= last;
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case ' ': out += edge ? "\\s" : " "; break;
      default: out += c; break;
    }
  }
  return out;
}

std::string UnescapeValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default:  // not an escape a desktop entry defines: kept as written
        out += '\\';
        out += next;
        break;
    }
  }
  return out;
}

bool ReadFile(const std::string& path, std::string* content) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  content->clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return false;
    }
    if (got == 0) break;
    content->append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return true;
}

// The Exec value of the [Desktop Entry] group ("" when it has none).
bool ReadData(const std::string& path, std::string* data) {
  std::string content;
  if (!ReadFile(path, &content)) return false;
  data->clear();
  bool inEntry = false;
  std::string_view rest(content);
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (key != "Exec") continue;
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    *data = UnescapeValue(value);
    return true;
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Writes the entry to a hidden temporary file first and renames it into
// place, so a reader never sees half an entry.
bool WriteEntry(const std::string& folder, const std::string& name, const std::string& data) {
  const std::string content = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(name) +
                              "\nExec=" + EscapeValue(data) + "\n";
  std::string temp = folder + "/.runentry-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, content);
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temp.c_str(), EntryPath(folder, name).c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

LSTATUS CopyOut(const std::string& name, const std::string& data, LPSTR lpValueName, LPDWORD lpcchValueName,
                LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  const DWORD dataBytes = static_cast<DWORD>(data.size() + 1);
  if (lpValueName != nullptr && name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
  if (lpData != nullptr && dataBytes > *lpcbData) {
    *lpcbData = dataBytes;
    return ERROR_MORE_DATA;
  }
  if (lpValueName != nullptr) {
    std::memcpy(lpValueName, name.c_str(), name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(name.size());
  }
  if (lpType != nullptr) *lpType = REG_SZ;
  if (lpData != nullptr) std::memcpy(lpData, data.c_str(), dataBytes);
  if (lpcbData != nullptr) *lpcbData = dataBytes;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr || ulOptions != 0) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (hKey != HKEY_LOCAL_MACHINE) return IsPredefined(hKey) || IsOpenKey(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  if (lpSubKey == nullptr || !EqualsNoCaseAscii(lpSubKey, kRunKeyPath)) return ERROR_FILE_NOT_FOUND;

  const std::string folder = RunListFolder();
  struct stat st{};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  if ((samDesired & (KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS)) != 0 && access(folder.c_str(), R_OK | X_OK) != 0)
    return ERROR_ACCESS_DENIED;
  if ((samDesired & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0 && !FolderWritable(folder, st))
    return ERROR_ACCESS_DENIED;

  auto* key = new HKEY__{folder, samDesired};
  {
    std::lock_guard<std::mutex> lock(g_keysLock);
    g_openKeys.insert(key);
  }
  *phkResult = key;
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!IsOpenKey(hKey)) return ERROR_INVALID_HANDLE;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  if ((hKey->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const std::vector<std::string> names = ListNames(hKey->folder);
  if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& name = names[dwIndex];
  std::string data;
  if (!ReadData(EntryPath(hKey->folder, name), &data)) return ERROR_ACCESS_DENIED;
  return CopyOut(name, data, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
  if (!IsOpenKey(hKey)) return ERROR_INVALID_HANDLE;
  if (lpValueName == nullptr || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  if ((hKey->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const std::optional<std::string> name = FindName(hKey->folder, lpValueName);
  if (!name) return ERROR_FILE_NOT_FOUND;
  std::string data;
  if (!ReadData(EntryPath(hKey->folder, *name), &data)) return ERROR_ACCESS_DENIED;
  return CopyOut(*name, data, nullptr, nullptr, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (!IsOpenKey(hKey)) return ERROR_INVALID_HANDLE;
  if (Reserved != 0 || lpValueName == nullptr || dwType != REG_SZ) return ERROR_INVALID_PARAMETER;
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if ((hKey->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const std::string_view requested(lpValueName);
  if (requested.empty() || requested.find('/') != std::string_view::npos ||
      requested.size() + kSuffix.size() > kMaxFileName)
    return ERROR_INVALID_PARAMETER;
  std::string data;
  if (lpData != nullptr) {
    const auto* text = reinterpret_cast<const char*>(lpData);
    data.assign(text, strnlen(text, cbData));
  }
  // Replacing a value keeps the name it already has, as the registry does.
  const std::string name = FindName(hKey->folder, requested).value_or(std::string(requested));
  return WriteEntry(hKey->folder, name, data) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  if (!IsOpenKey(hKey)) return ERROR_INVALID_HANDLE;
  if (lpValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if ((hKey->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const std::optional<std::string> name = FindName(hKey->folder, lpValueName);
  if (!name) return ERROR_FILE_NOT_FOUND;
  return unlink(EntryPath(hKey->folder, *name).c_str()) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  {
    std::lock_guard<std::mutex> lock(g_keysLock);
    if (g_openKeys.erase(hKey) == 0) return ERROR_INVALID_HANDLE;
  }
  delete hKey;
  return ERROR_SUCCESS;
}
