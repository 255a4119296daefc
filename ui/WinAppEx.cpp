#include "ui/WinAppEx.h"

#include <QWidget>

#include "ui/InstanceChannel.h"

namespace {

// How long a second copy waits for the running copy's answer.
constexpr int kHandOverTimeoutMs = 3000;

}  // namespace

CWinAppEx::CWinAppEx(int& argc, char** argv) : QApplication(argc, argv) {
  // Hiding the main window into the tray must never end the program, nor may
  // closing the last dialog while it is hidden: only the Exit commands do.
  setQuitOnLastWindowClosed(false);
}

CWinAppEx::~CWinAppEx() {
  m_pMainWnd.reset();
  m_pInstance.reset();
  const HWND hWnd = m_activationTarget.GetSafeHwnd();
  m_activationTarget.DestroyHandle();
  // Activations still queued carry a heap copy of their file name.
  RemovePostedMessages(hWnd, m_uActivateMsg, [](WPARAM wParam, LPARAM) { delete reinterpret_cast<QString*>(wParam); });
  m_uActivateMsg = 0;
}

int CWinAppEx::Run() {
  if (!InitInstance()) return 0;
  const int result = exec();
  // The main window goes while the application object still exists.
  m_pMainWnd.reset();
  return result;
}

bool CWinAppEx::InitInstance() { return true; }

bool CWinAppEx::CheckSingleInstance(const char* key) {
  if (!key) return true;
  m_uActivateMsg = RegisterWindowMessage(key);
  m_activationTarget.CreateHandle();
  m_pInstance = std::make_unique<instance::CInstanceGuard>(QString::fromLatin1(key));
  switch (m_pInstance->Acquire()) {
    case instance::CInstanceGuard::Result::First:
      if (instance::CActivationServer* server = m_pInstance->Server())
        connect(server, &instance::CActivationServer::activationReceived, this, &CWinAppEx::PostActivation);
      return true;
    case instance::CInstanceGuard::Result::Unchecked:
      return true;
    case instance::CInstanceGuard::Result::Another:
      // A failed hand-over ends this copy all the same.
      BroadcastActivation(FirstFileArgument(arguments()));
      return false;
  }
  return true;
}

bool CWinAppEx::BroadcastActivation(const QString& fileName) {
  if (!m_pInstance || m_pInstance->SocketPath().isEmpty()) return false;
  return instance::SendActivation(m_pInstance->SocketPath(), fileName, kHandOverTimeoutMs);
}

QString CWinAppEx::GetActivationSocket() const {
  return m_pInstance && m_pInstance->Server() ? m_pInstance->Server()->SocketPath() : QString();
}

QString CWinAppEx::FirstFileArgument(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i)
    if (!arguments[i].isEmpty() && !arguments[i].startsWith(QLatin1Char('-'))) return arguments[i];
  return QString();
}

void CWinAppEx::PostActivation(const QString& fileName) {
  auto* name = fileName.isEmpty() ? nullptr : new QString(fileName);
  if (!PostMessage(m_activationTarget.GetSafeHwnd(), m_uActivateMsg, reinterpret_cast<WPARAM>(name), 0)) delete name;
}

LRESULT CWinAppEx::CActivationTarget::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == m_pApp->m_uActivateMsg && message != 0) return m_pApp->OnAnotherInstance(wParam, lParam) ? 1 : 0;
  return 0;
}

bool CWinAppEx::OnAnotherInstance(WPARAM wParam, LPARAM) {
  // The handed-over name is read and dropped: there are no documents to open.
  delete reinterpret_cast<QString*>(wParam);
  BringToFront(m_pMainWnd.get());
  return true;
}

void CWinAppEx::BringToFront(QWidget* pMainWnd) {
  if (!pMainWnd) return;
  QWidget* pPopup = QApplication::activeModalWidget();
  if (!pPopup) pPopup = pMainWnd;
  pPopup->raise();
  if (!pMainWnd->isVisible() || pMainWnd->isMinimized()) pMainWnd->showNormal();
  pPopup->raise();
  pPopup->activateWindow();
}
