#include "tests/settings/SettingsFixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/appprofile.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;

// A parent test may run this binary again with AERLUME_TEST_XDG_DIR naming
// the run-list root it wants the child to use.
void SettingsFixture::SetUp() {
  if (const char* given = std::getenv("AERLUME_TEST_XDG_DIR")) {
    m_xdg = given;
    m_root = m_xdg.parent_path();
    m_ownRoot = false;
  } else {
    std::string pattern = (fs::temp_directory_path() / "aerlume-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_xdg = m_root / "xdg";
    fs::create_directories(m_xdg / "autostart");
  }
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
    if (const char* value = std::getenv(name)) m_savedEnv[name] = value;
  setenv("XDG_CONFIG_HOME", m_xdg.c_str(), 1);
  // The machine-wide folders are never used for the run list.
  setenv("XDG_CONFIG_DIRS", (m_root / "machine").c_str(), 1);
  SetRegistryKey("Local AppWizard-Generated Applications");
  SetProfileFilePath(ProfileFile());

  CSettings::m_nActiveScanInterval = CSettings::kDefaultActiveScanInterval;
  CSettings::m_nPassiveScanInterval = CSettings::kDefaultPassiveScanInterval;
  CSettings::m_bAutorun = false;
  CSettings::m_bAutoRetry = true;
  CSettings::m_guidMonitorDevice = GUID{};
}

void SettingsFixture::TearDown() {
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
    const auto saved = m_savedEnv.find(name);
    if (saved != m_savedEnv.end())
      setenv(name, saved->second.c_str(), 1);
    else
      unsetenv(name);
  }
  SetProfileFilePath(std::string());
  if (m_ownRoot && !m_root.empty()) {
    std::error_code ec;
    // Folders a test closed must be opened again before they can be removed.
    for (const auto& entry : fs::recursive_directory_iterator(m_root, ec))
      if (entry.is_directory(ec)) chmod(entry.path().c_str(), 0755);
    chmod(m_root.c_str(), 0755);
    fs::remove_all(m_root, ec);
  }
}

void SettingsFixture::AddEntry(const std::string& name, const std::string& exec) const {
  std::ofstream out(RunDir() + "/" + name + ".desktop");
  out << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << exec << "\n";
  ASSERT_TRUE(out.good());
}

std::map<std::string, std::string> SettingsFixture::Entries() const {
  std::map<std::string, std::string> result;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(RunDir(), ec)) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".desktop") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::string exec;
    while (std::getline(in, line))
      if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
    result[file.substr(0, file.size() - 8)] = exec;
  }
  return result;
}

std::map<std::string, std::uintmax_t> SettingsFixture::FolderListing() const {
  std::map<std::string, std::uintmax_t> result;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(m_xdg, ec))
    result[entry.path().string()] = entry.is_regular_file(ec) ? entry.file_size(ec) : 0;
  return result;
}

std::string SettingsFixture::OwnPath() { return fs::read_symlink("/proc/self/exe").string(); }

std::string SettingsFixture::OwnFileName() { return fs::path(OwnPath()).filename().string(); }
