#include "connectivity/IcmpLibrary.h"

#include <mutex>
#include <string_view>

namespace {

constexpr const char* kIpHelperLibrary = "Iphlpapi.dll";
constexpr const char* kIcmpLibrary = "ICMP.DLL";

struct LibraryTable {
  std::mutex lock;
  bool bIpHelperPresent = true;
  CIcmpEntryPoints ipHelper{&IcmpCreateFile, &IcmpSendEcho, &IcmpCloseHandle};
  bool bIcmpPresent = false;
  CIcmpEntryPoints icmp;
};

LibraryTable& Table() {
  static LibraryTable table;
  return table;
}

// The library's entry points; false when no library of that name exists.
bool LoadLibraryEntries(const char* name, CIcmpEntryPoints* entries) {
  LibraryTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  const std::string_view which(name);
  if (which == kIpHelperLibrary && table.bIpHelperPresent) {
    *entries = table.ipHelper;
    return true;
  }
  if (which == kIcmpLibrary && table.bIcmpPresent) {
    *entries = table.icmp;
    return true;
  }
  return false;
}

}  // namespace

void CIcmpLibrary::Load() {
  for (const char* name : {kIpHelperLibrary, kIcmpLibrary}) {
    CIcmpEntryPoints entries;
    if (!LoadLibraryEntries(name, &entries)) continue;
    if (entries.pfnIcmpCreateFile && entries.pfnIcmpSendEcho && entries.pfnIcmpCloseHandle) {
      hLibrary = name;
      pfnIcmpCreateFile = entries.pfnIcmpCreateFile;
      pfnIcmpSendEcho = entries.pfnIcmpSendEcho;
      pfnIcmpCloseHandle = entries.pfnIcmpCloseHandle;
      break;
    }
    Free();  // an incomplete library is let go and the record cleared
  }
  bLookupFailed = false;
}

void CIcmpLibrary::Free() {
  hLibrary = nullptr;
  pfnIcmpCreateFile = nullptr;
  pfnIcmpSendEcho = nullptr;
  pfnIcmpCloseHandle = nullptr;
}

void IcmpTestSetLibrary(const char* name, const CIcmpEntryPoints* entries) {
  LibraryTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  const std::string_view which(name);
  bool* present = which == kIpHelperLibrary ? &table.bIpHelperPresent
                  : which == kIcmpLibrary   ? &table.bIcmpPresent
                                            : nullptr;
  if (present == nullptr) return;
  CIcmpEntryPoints* slot = which == kIpHelperLibrary ? &table.ipHelper : &table.icmp;
  *present = entries != nullptr;
  *slot = entries != nullptr ? *entries : CIcmpEntryPoints{};
}

void IcmpTestResetLibraries() {
  LibraryTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  table.bIpHelperPresent = true;
  table.ipHelper = CIcmpEntryPoints{&IcmpCreateFile, &IcmpSendEcho, &IcmpCloseHandle};
  table.bIcmpPresent = false;
  table.icmp = CIcmpEntryPoints{};
}
