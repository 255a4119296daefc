#include "ui/AerlumeApp.h"

#include <QTimer>
#include <cstdio>

#include "platform/appprofile.h"
#include "settings/Settings.h"
#include "ui/AboutTaskDialog.h"
#include "ui/MainFrame.h"
#include "ui/Resource.h"
#include "ui/SystemTray.h"

namespace {

constexpr int kDefaultScreenshotDelayMs = 3000;

}  // namespace

CAerlumeApp::CAerlumeApp(int& argc, char** argv) : CWinAppEx(argc, argv) {
  setApplicationVersion(QString::fromLatin1(kProductVersion));
  setDesktopFileName(QStringLiteral("aerlume"));
}

bool CAerlumeApp::InitInstance() {
  if (!CheckSingleInstance(kInstanceKey)) return false;
  SetRegistryKey(kRegistryKey);
  CSettings::Load();

  auto* frame = new CMainFrame;
  m_pMainWnd.reset(frame);
  frame->show();

  const QString screenshot = qEnvironmentVariable("AERLUME_SCREENSHOT");
  if (!screenshot.isEmpty()) ScheduleScreenshot(screenshot);
  return true;
}

bool CAerlumeApp::OnAnotherInstance(WPARAM wParam, LPARAM lParam) {
  if (QWidget* frame = GetMainWnd(); frame && !frame->isVisible()) CSystemTray::MaximiseFromTray(frame);
  return CWinAppEx::OnAnotherInstance(wParam, lParam);
}

void CAerlumeApp::ShowAbout(QWidget* owner) {
  CAboutTaskDialog about(owner);
  about.DoModal();
}

void CAerlumeApp::ScheduleScreenshot(const QString& path) {
  bool ok = false;
  int delay = qEnvironmentVariableIntValue("AERLUME_SCREENSHOT_DELAY", &ok);
  if (!ok || delay < 0) delay = kDefaultScreenshotDelayMs;
  QTimer::singleShot(delay, this, [this, path] {
    auto* frame = static_cast<CMainFrame*>(GetMainWnd());
    if (!frame) return;
    const bool saved = frame->grab().save(path, "PNG");
    if (saved)
      std::printf("%s\n", path.toLocal8Bit().constData());
    else
      std::fprintf(stderr, "aerlume: cannot write the screenshot %s\n", path.toLocal8Bit().constData());
    std::fflush(stdout);
    frame->OnCommand(CMD_EXIT);
    if (!saved) exit(1);
  });
}
