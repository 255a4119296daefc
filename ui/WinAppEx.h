// The application base: QApplication plus one copy per user session.
//
// The first copy holds a lock file and listens on a local socket, both named
// after the instance key (ui/InstanceChannel.h). A second copy finds the lock
// taken, hands over at most one file name (its first argument that is not an
// option) and ends before it creates any window, loads settings or opens the
// WLAN service. The running copy turns each well-formed activation into a
// posted message m_uActivateMsg to a hidden handle of its own, so activations
// are handled between other events and never re-enter a handler.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <memory>

#include "platform/winmsg.h"

class QWidget;
namespace instance {
class CInstanceGuard;
}

class CWinAppEx : public QApplication {
  Q_OBJECT

 public:
  CWinAppEx(int& argc, char** argv);
  // Destroys the main window if it is still there, then sets m_uActivateMsg
  // back to 0.
  ~CWinAppEx() override;

  // Start-up, the event loop, then the main window's destruction (before
  // QApplication goes). Returns the process's exit code; a copy that handed
  // over to the running one returns 0.
  int Run();

  // Start-up; true = run the event loop.
  virtual bool InitInstance();

  // True: this is the copy that runs on (also when no lock or socket can be
  // had: the check is skipped then). False: another copy runs and has been
  // told; this copy must end. A null key skips the check.
  virtual bool CheckSingleInstance(const char* key);
  // A second start arrived. wParam: heap QString* with the handed-over file
  // name, or 0; it is read and deleted (the program has no documents). Brings
  // the main window, or the modal dialog in front of it, to the front.
  virtual bool OnAnotherInstance(WPARAM wParam, LPARAM lParam);
  // Sends the activation to the running copy; true when it answered.
  bool BroadcastActivation(const QString& fileName);

  // Raises the last active window of the program (the modal dialog if one is
  // open, else the main window) and gives it the focus; shows the main window
  // in its normal state when it is hidden or minimised.
  static void BringToFront(QWidget* pMainWnd);
  // The first argument after the program name that is not an option ("-x").
  static QString FirstFileArgument(const QStringList& arguments);

  QWidget* GetMainWnd() const { return m_pMainWnd.get(); }
  // The socket the running copy listens on; empty in a second copy or when
  // the check was skipped.
  QString GetActivationSocket() const;

  // The message number registered for the instance key; 0 before the check.
  UINT m_uActivateMsg = 0;

 protected:
  // Set by InitInstance; destroyed by Run after the event loop ends.
  std::unique_ptr<QWidget> m_pMainWnd;

 private:
  // The hidden handle the activation message is posted to.
  class CActivationTarget : public CMessageTarget {
   public:
    explicit CActivationTarget(CWinAppEx* pApp) : m_pApp(pApp) {}
    ~CActivationTarget() override { DestroyHandle(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

   private:
    CWinAppEx* m_pApp;
  };

  void PostActivation(const QString& fileName);

  CActivationTarget m_activationTarget{this};
  std::unique_ptr<instance::CInstanceGuard> m_pInstance;
};
