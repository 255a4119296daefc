#include "platform/module.h"

#include <climits>
#include <cstring>
#include <string_view>
#include <unistd.h>

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (hModule != nullptr || lpFilename == nullptr || nSize == 0) return 0;
  char path[PATH_MAX];
  const ssize_t got = readlink("/proc/self/exe", path, sizeof(path));
  if (got <= 0 || static_cast<std::size_t>(got) >= sizeof(path)) return 0;
  std::string_view text(path, static_cast<std::size_t>(got));
  // An executable replaced on disk while running (an upgrade) is reported
  // with this suffix; the path the program was started from is what counts.
  constexpr std::string_view kDeleted = " (deleted)";
  if (text.size() > kDeleted.size() && text.substr(text.size() - kDeleted.size()) == kDeleted)
    text.remove_suffix(kDeleted.size());
  if (text.size() < nSize) {
    std::memcpy(lpFilename, text.data(), text.size());
    lpFilename[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
  }
  std::memcpy(lpFilename, text.data(), nSize - 1);
  lpFilename[nSize - 1] = '\0';
  return nSize;
}
