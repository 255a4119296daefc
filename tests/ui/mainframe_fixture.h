// A main window over the simulated WLAN service, with a private profile file
// and run-list folder (XDG_CONFIG_HOME) in a temporary folder, the manual
// service clock and no hide/restore animation.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QTableView>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/wlansim/SimControl.h"
#include "tests/common/test_support.h"
#include "ui/ChildView.h"
#include "ui/MainFrame.h"
#include "ui/Resource.h"

class MainFrameTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // tests/worlds/<name> as the service's world (clock at 0).
  void UseWorldFile(const std::string& name);
  void UseWorld(const wlansim::World& world);

  // A frame over the current world, its list filled with `stations` rows.
  std::unique_ptr<CMainFrame> MakeFrame(int stations = 0);
  template <class Frame>
  std::unique_ptr<Frame> MakeFrameOf(int stations);
  bool WaitForRows(CMainFrame& frame, int rows);

  // The station with this BSSID ("02:5E:11:00:00:01") on the first adapter.
  static CStation* Station(CMainFrame& frame, const char* bssid);

  std::filesystem::path RunDir() const { return m_root / "xdg" / "autostart"; }
  int RunEntryCount() const;

  static bool Enabled(CMainFrame& frame, UINT id) { return frame.GetCommand(id)->isEnabled(); }
  static bool Checked(CMainFrame& frame, UINT id) {
    QAction* action = frame.GetCommand(id);
    return action->isCheckable() && action->isChecked();
  }

  // tests/worlds/small.json: adapter connected to "Tiny Home".
  static constexpr char kConnectedBssid[] = "02:5E:11:00:00:01";
  static constexpr char kOtherBssid[] = "02:5E:11:00:00:02";

 private:
  std::filesystem::path m_root;
  std::string m_savedDirs;
  bool m_hadDirs = false;
};

template <class Frame>
std::unique_ptr<Frame> MainFrameTest::MakeFrameOf(int stations) {
  auto frame = std::make_unique<Frame>();
  if (stations > 0) {
    EXPECT_TRUE(WaitForRows(*frame, stations));
  }
  return frame;
}
