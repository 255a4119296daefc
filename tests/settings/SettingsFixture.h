// A private world for settings tests: a temporary folder with its own
// profile file and its own run-list folder (XDG_CONFIG_HOME points at it), so
// no test reads or writes the user's configuration.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

class SettingsFixture : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The run-list folder (<temp>/xdg/autostart); created by SetUp.
  std::string RunDir() const { return (m_xdg / "autostart").string(); }
  std::string XdgDir() const { return m_xdg.string(); }
  std::string Root() const { return m_root.string(); }
  std::string ProfileFile() const { return (m_root / "profile.ini").string(); }

  // Writes a run-list entry file directly, as another program would.
  void AddEntry(const std::string& name, const std::string& exec) const;
  // name -> Exec of every *.desktop file in the run-list folder, read directly.
  std::map<std::string, std::string> Entries() const;
  // Every file name in the run-list folder (to show nothing else appeared).
  std::map<std::string, std::uintmax_t> FolderListing() const;

  // This process's executable, read directly from the kernel.
  static std::string OwnPath();
  static std::string OwnFileName();

 private:
  std::filesystem::path m_root;
  std::filesystem::path m_xdg;
  bool m_ownRoot = true;
  std::map<std::string, std::string> m_savedEnv;
};
