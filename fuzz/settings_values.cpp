// The settings file as a user or another program may leave it: any bytes.
// Loading never fails, and what was loaded survives a save and a second load.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/appprofile.h"
#include "settings/Settings.h"

namespace {

std::string Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/aerlume-fuzz-settings-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    // The run list and the profile both stay inside the scratch folder.
    setenv("XDG_CONFIG_HOME", name, 1);
    setenv("XDG_CONFIG_DIRS", name, 1);
    return std::string(name);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = Folder() + "/Aerlume.ini";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  SetProfileFilePath(path);

  CSettings::Load();
  const int active = CSettings::m_nActiveScanInterval;
  const int passive = CSettings::m_nPassiveScanInterval;
  const bool retry = CSettings::m_bAutoRetry;
  const GUID device = CSettings::m_guidMonitorDevice;
  const std::uint32_t hidden = CSettings::m_uHiddenColumns;
  if (active <= 0 || passive <= 0) std::abort();

  CSettings::Save();
  CSettings::Load();
  if (CSettings::m_nActiveScanInterval != active || CSettings::m_nPassiveScanInterval != passive ||
      CSettings::m_bAutoRetry != retry || CSettings::m_uHiddenColumns != hidden ||
      std::memcmp(&CSettings::m_guidMonitorDevice, &device, sizeof device) != 0)
    std::abort();
  return 0;
}
