// The application: one copy per user session, settings loaded, the main
// window created and shown; the About command.
#pragma once

#include "ui/WinAppEx.h"

class CAerlumeApp : public CWinAppEx {
  Q_OBJECT

 public:
  // Names the lock file, the socket and the activation message.
  static constexpr char kInstanceKey[] = "{73B17E14-A8D3-479f-886E-509ED6A0D888}";
  // The profile store's key name (the settings' organisation folder).
  static constexpr char kRegistryKey[] = "Local AppWizard-Generated Applications";
  static constexpr char kProductVersion[] = AERLUME_PRODUCT_VERSION;  // the CMake project version

  CAerlumeApp(int& argc, char** argv);

  // In this order: the single-instance check (a second copy ends here), the
  // profile store's key, the settings, the main window, shown. With
  // AERLUME_SCREENSHOT=<file.png> set, the main window is saved to that file
  // AERLUME_SCREENSHOT_DELAY ms (default 3000) after it appears, the path is
  // printed on standard output and the program ends as by Exit (exit code 1
  // when the file cannot be written).
  bool InitInstance() override;
  // Restores the main window from the tray when it is hidden there, then
  // brings the program to the front.
  bool OnAnotherInstance(WPARAM wParam, LPARAM lParam) override;

  // The About box, modal, owned by `owner`.
  static void ShowAbout(QWidget* owner);

 private:
  void ScheduleScreenshot(const QString& path);
};
