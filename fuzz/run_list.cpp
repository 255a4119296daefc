// Run-list entries as other programs or the user may leave them in the
// autostart folder: any bytes in a numbered entry. Reading never fails, and
// switching autorun on or off either works (and reads back so) or says why.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/Settings.h"

namespace {

std::string Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/aerlume-fuzz-runlist-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    setenv("XDG_CONFIG_HOME", name, 1);
    const std::string autostart = std::string(name) + "/autostart";
    if (mkdir(autostart.c_str(), 0700) != 0) std::abort();
    return autostart;
  }();
  return folder;
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

// Input: the first byte picks the entry's number and whether to switch on or
// off; the rest is the entry.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string folder = Folder();
  for (int n = 0; n < 16; ++n) std::remove((folder + "/" + std::to_string(n) + ".desktop").c_str());
  Write(folder + "/" + std::to_string(data[0] % 4) + ".desktop", data + 1, size - 1);

  (void)CSettings::IsAutorun();
  const bool on = data[0] & 0x80;
  std::string why;
  if (CSettings::SetAutorun(on, &why)) {
    if (CSettings::IsAutorun() != on) std::abort();
  } else if (why.empty()) {
    std::abort();  // a failure always says why
  }
  return 0;
}
