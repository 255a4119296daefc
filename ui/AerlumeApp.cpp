#include "ui/AerlumeApp.h"

#include <QFile>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "platform/appprofile.h"
#include "settings/Settings.h"
#include "ui/AboutTaskDialog.h"
#include "ui/ChildView.h"
#include "ui/MainFrame.h"
#include "ui/Resource.h"
#include "ui/StationTableModel.h"
#include "ui/SystemTray.h"

namespace {

constexpr int kDefaultScreenshotDelayMs = 3000;

// The station list as shown: the headings, then one line per row, cells
// separated by tabs (UTF-8). For whole-program tests, which cannot read the
// list off the screen.
bool WriteListTexts(CMainFrame* frame, const QString& path) {
  const CStationTableModel* model = frame->GetView() ? frame->GetView()->GetModel() : nullptr;
  QFile file(path);
  if (!model || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QStringList lines;
  QStringList cells;
  for (int column = 0; column < model->columnCount(); ++column)
    cells << model->headerData(column, Qt::Horizontal).toString();
  lines << cells.join(QLatin1Char('\t'));
  for (int row = 0; row < model->RowCount(); ++row) {
    cells.clear();
    for (int column = 0; column < model->columnCount(); ++column) cells << model->TextAt(row, column);
    lines << cells.join(QLatin1Char('\t'));
  }
  const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
  return file.write(text) == text.size();
}

}  // namespace

CAerlumeApp::CAerlumeApp(int& argc, char** argv) : CWinAppEx(argc, argv) {
  setApplicationVersion(QString::fromLatin1(kProductVersion));
  setDesktopFileName(QStringLiteral(AERLUME_APP_ID));
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
    const QString listPath = qEnvironmentVariable("AERLUME_LIST_TEXTS");
    if (!listPath.isEmpty() && !WriteListTexts(frame, listPath))
      std::fprintf(stderr, "aerlume: cannot write the list texts %s\n", listPath.toLocal8Bit().constData());
    frame->OnCommand(CMD_EXIT);
    if (!saved) exit(1);
  });
}
