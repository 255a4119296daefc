#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <pwd.h>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appprofile.h"
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

// <$XDG_CONFIG_HOME, default ~/.config>/autostart: the user's own log-on
// entries. Read on every call so that a changed environment takes effect at
// once. A relative XDG_CONFIG_HOME is invalid and ignored. "" when there is
// no home folder either.
std::string RunListFolder() {
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
    if (homeDir.empty()) {
      std::vector<char> buffer(16384);
      passwd entry{};
      passwd* found = nullptr;
      if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
          found->pw_dir != nullptr && found->pw_dir[0] == '/')
        homeDir = found->pw_dir;
    }
    if (homeDir.empty()) return {};
    base = homeDir + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/autostart";
}

// Why the last failing call of this thread failed, for the caller's log.
thread_local std::string t_failure;

bool Fail(const std::string& why) {
  t_failure = why;
  return false;
}

std::string SystemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The folder itself or, when it does not exist yet, the nearest folder above
// it that does: the one a new entry's folders would be created in.
std::string NearestExisting(std::string folder) {
  struct stat st{};
  while (!folder.empty() && stat(folder.c_str(), &st) != 0) {
    const std::size_t slash = folder.find_last_of('/');
    folder = slash == 0 ? "/" : slash == std::string::npos ? "" : folder.substr(0, slash);
  }
  return folder;
}

// mkdir -p with mode 0700 for every folder made (the XDG rule for the
// configuration base folder; the entries need no more).
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return Fail(SystemError("cannot create " + part, errno));
    if (slash == std::string::npos) break;
  }
  return true;
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

// The desktop-entry rules for Exec: an argument holding a reserved character
// is put in double quotes, inside which '"', '`', '$' and '\\' are escaped
// with a backslash; a literal '%' is written "%%" everywhere.
constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";

std::string QuoteExec(std::string_view data) {
  std::string out;
  const bool quote = data.find_first_of(kReserved) != std::string_view::npos;
  if (quote) out += '"';
  for (const char c : data) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

// Undoes QuoteExec: an Exec that is one quoted argument reads as that
// argument. Any other command is read as it stands ("%%" as '%'), so an entry
// with arguments keeps them and is never taken for a bare path.
std::string UnquoteExec(std::string_view exec) {
  std::string out;
  if (exec.size() >= 2 && exec.front() == '"') {
    bool closed = false;
    std::size_t i = 1;
    for (; i < exec.size(); ++i) {
      char c = exec[i];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
        c = exec[++i];
      else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%')
        ++i;
      out += c;
    }
    if (closed && i + 1 == exec.size()) return out;
  }
  out.clear();
  for (std::size_t i = 0; i < exec.size(); ++i) {
    out += exec[i];
    if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
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
    *data = UnquoteExec(UnescapeValue(value));
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
// place, so a reader never sees half an entry. The entry's Name is the
// program's name; its file name is the value name. A missing folder is made.
bool WriteEntry(const std::string& folder, const std::string& name, const std::string& data) {
  std::string title = GetProfileAppName();
  if (title.empty()) title = name;
  const std::string content = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(title) +
                              "\nExec=" + EscapeValue(QuoteExec(data)) + "\n";
  struct stat st{};
  if (stat(folder.c_str(), &st) != 0 && !MakeFolders(folder)) return false;
  std::string temp = folder + "/.runentry-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Fail(SystemError("cannot write in " + folder, errno));
  const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, content);
  int error = written ? 0 : errno;
  if (close(fd) != 0 && error == 0) error = errno ? errno : EIO;
  if (!written || error != 0 || rename(temp.c_str(), EntryPath(folder, name).c_str()) != 0) {
    if (error == 0) error = errno;
    unlink(temp.c_str());
    return Fail(SystemError("cannot write " + EntryPath(folder, name), error));
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
  if (folder.empty()) {
    Fail("no home folder: set HOME or XDG_CONFIG_HOME");
    return ERROR_FILE_NOT_FOUND;
  }
  struct stat st{};
  const bool exists = stat(folder.c_str(), &st) == 0;
  if (exists && !S_ISDIR(st.st_mode)) {
    Fail(folder + " is not a folder");
    return ERROR_FILE_NOT_FOUND;
  }
  const bool writing = (samDesired & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
  if (!exists) {
    // A folder not made yet is an empty list; writing makes it, where the
    // nearest existing folder above it can be written.
    const std::string parent = NearestExisting(folder);
    struct stat parentStat{};
    if (!writing || parent.empty() || stat(parent.c_str(), &parentStat) != 0) {
      Fail(folder + " does not exist");
      return ERROR_FILE_NOT_FOUND;
    }
    if (!FolderWritable(parent, parentStat)) {
      Fail(SystemError("cannot create " + folder + " in " + parent, EACCES));
      return ERROR_ACCESS_DENIED;
    }
  } else {
    if ((samDesired & (KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS)) != 0 && access(folder.c_str(), R_OK | X_OK) != 0) {
      Fail(SystemError("cannot read " + folder, errno));
      return ERROR_ACCESS_DENIED;
    }
    if (writing && !FolderWritable(folder, st)) {
      Fail(SystemError("cannot write in " + folder, EACCES));
      return ERROR_ACCESS_DENIED;
    }
  }

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
  if (unlink(EntryPath(hKey->folder, *name).c_str()) == 0) return ERROR_SUCCESS;
  Fail(SystemError("cannot remove " + EntryPath(hKey->folder, *name), errno));
  return ERROR_ACCESS_DENIED;
}

const char* RegLastFailureText() { return t_failure.c_str(); }

LSTATUS RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  {
    std::lock_guard<std::mutex> lock(g_keysLock);
    if (g_openKeys.erase(hKey) == 0) return ERROR_INVALID_HANDLE;
  }
  delete hKey;
  return ERROR_SUCCESS;
}
