#include "ui/SystemTray.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "ui/Messages.h"

namespace {

// Mouse messages for the activations that the frame does not act on.
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_MBUTTONDOWN = 0x0207;

// The tray host watch: a host that starts later, or restarts, is noticed
// within this time.
constexpr UINT_PTR kHostWatchTimer = 1;
constexpr UINT kHostWatchInterval = 1000;

constexpr int kAnimationMs = 220;
constexpr int kFallbackWidth = 150;
constexpr int kFallbackHeight = 30;
constexpr char kAnimationName[] = "AerlumeTrayAnimation";
constexpr int kOutlineWidth = 3;

// Tray objects alive, oldest first: GetTrayWndRect asks their icons where
// the notification area is.
std::vector<CSystemTray*>& Instances() {
  static std::vector<CSystemTray*> instances;
  return instances;
}

// A frameless rectangle outline that flies between the window and the tray.
// Its inside is cut away by a mask, so it is see-through without a
// compositing window manager; as a tool-tip window it bypasses the window
// manager, stays above other windows and never takes the focus.
class TrayOutline : public QWidget {
 public:
  TrayOutline()
      : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(kAnimationName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
  }
  void resizeEvent(QResizeEvent* event) override {
    const QRect all(QPoint(0, 0), event->size());
    const QRect inside = all.adjusted(kOutlineWidth, kOutlineWidth, -kOutlineWidth, -kOutlineWidth);
    setMask(inside.isEmpty() ? QRegion(all) : QRegion(all).subtracted(QRegion(inside)));
  }
};

std::function<bool()>& TrayHostProbe() {
  static std::function<bool()> probe;
  return probe;
}

// The outline in flight; a new move replaces an unfinished one.
QPointer<TrayOutline> g_outline;

// Flies an outline from one screen rectangle to another. Nothing waits for
// it: the window is hidden or shown at once, and the outline deletes itself
// when it arrives (or when the event loop quits).
void AnimateOutline(const QRect& from, const QRect& to) {
  if (from.isEmpty() || to.isEmpty()) return;
  delete g_outline;
  auto* outline = new TrayOutline;
  outline->setGeometry(from);
  outline->show();
  g_outline = outline;

  auto* animation = new QPropertyAnimation(outline, "geometry", outline);
  animation->setDuration(kAnimationMs);
  animation->setStartValue(from);
  animation->setEndValue(to);
  animation->setEasingCurve(QEasingCurve::InOutQuad);
  QObject::connect(animation, &QAbstractAnimation::finished, outline, &QObject::deleteLater);
  // Ending the program mid-flight must not leave the window behind.
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, outline, [outline] { delete outline; });
  animation->start();
}

}  // namespace

int CSystemTray::m_nMaxTooltipLength = 128;
const UINT CSystemTray::m_nTaskbarCreatedMsg = RegisterWindowMessage("TaskbarCreated");

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) { Instances().push_back(this); }

CSystemTray::~CSystemTray() {
  if (m_bEnabled && !m_bRemoved) {
    m_tnd.uFlags = 0;
    if (DeleteIcon()) {
      m_bHidden = TRUE;
      m_bRemoved = TRUE;
    }
  }
  DestroyHandle();
  auto& instances = Instances();
  instances.erase(std::remove(instances.begin(), instances.end(), this), instances.end());
  delete m_pIcon;
  m_pIcon = nullptr;
}

BOOL CSystemTray::Create(CMessageTarget* pNotifyWnd, const QIcon& icon) {
  // The icon needs a widget application; a console-only process has no tray.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    m_bEnabled = FALSE;
    return FALSE;
  }
  m_bEnabled = TRUE;
  m_nMaxTooltipLength = 128;

  const HWND own = CreateHandle();
  HWND notify = nullptr;
  if (pNotifyWnd) {
    notify = pNotifyWnd->GetSafeHwnd();
    if (!notify) notify = pNotifyWnd->CreateHandle();
  }

  m_tnd.hWnd = notify ? notify : own;
  m_tnd.uID = kTrayIconId;
  m_tnd.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_tnd.uCallbackMessage = WM_TRAY_NOTIFY;
  m_tnd.hIcon = icon;
  m_tnd.szTip = QStringLiteral("Aerlume").left(m_nMaxTooltipLength - 1);

  if (!m_pIcon) {
    m_pIcon = new QSystemTrayIcon(this);
    connect(m_pIcon, &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated);
  }
  m_pIcon->setIcon(m_tnd.hIcon);
  m_pIcon->setToolTip(m_tnd.szTip);

  m_bHidden = FALSE;
  m_uCreationFlags = m_tnd.uFlags;

  const BOOL added = AddIcon();
  m_bHidden = !added;
  m_bRemoved = !added;
  m_bShowIconPending = !added;

  m_bHostSeen = IsTrayHostAvailable();
  SetTimer(own, kHostWatchTimer, kHostWatchInterval);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    connect(screen, &QScreen::availableGeometryChanged, this,
            [this] { SendMessage(GetSafeHwnd(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0); });
  }
  return added;
}

void CSystemTray::DestroyWindow() { DestroyHandle(); }

BOOL CSystemTray::AddIcon() {
  if (!m_pIcon || !QSystemTrayIcon::isSystemTrayAvailable()) return FALSE;
  if (m_tnd.uFlags & NIF_ICON) m_pIcon->setIcon(m_tnd.hIcon);
  if (m_tnd.uFlags & NIF_TIP) m_pIcon->setToolTip(m_tnd.szTip);
  // Shown but without a place in a tray: the host that held it went away.
  // Hiding first makes the show below embed it anew.
  if (m_pIcon->isVisible() && m_pIcon->geometry().isEmpty()) m_pIcon->hide();
  m_pIcon->show();
  return TRUE;
}

BOOL CSystemTray::DeleteIcon() {
  if (!m_pIcon) return FALSE;
  m_pIcon->hide();
  return TRUE;
}

LRESULT CSystemTray::WindowProc(UINT message, WPARAM wParam, LPARAM) {
  if (message == m_nTaskbarCreatedMsg) return OnTaskbarCreated();
  switch (message) {
    case WM_TIMER:
      if (wParam == kHostWatchTimer) CheckTrayHost();
      return 0;
    case WM_SETTINGCHANGE:
      return OnSettingChange(wParam);
    default:
      return 0;
  }
}

LRESULT CSystemTray::OnTaskbarCreated() {
  // The icon is wanted when it was shown, or when its add failed (pending):
  // a host that starts after the program still gets the icon.
  const bool wanted = !m_bHidden || m_bShowIconPending;
  m_bShowIconPending = TRUE;
  if (wanted) {
    m_tnd.uFlags = m_uCreationFlags;
    const BOOL added = AddIcon();
    m_bHidden = !added;
    m_bShowIconPending = !added;
    // Once added the icon must be removed at destruction again.
    if (added) m_bRemoved = FALSE;
  }
  return 0;
}

LRESULT CSystemTray::OnSettingChange(WPARAM uFlags) {
  if (uFlags != SPI_SETWORKAREA) return 0;
  // The panel moved or changed size: make sure the icon is still in it. An
  // add that is still pending after a failure stays pending.
  m_bShowIconPending = m_bShowIconPending || !m_bHidden;
  if (!m_bHidden) {
    m_tnd.uFlags = m_uCreationFlags;
    const BOOL added = AddIcon();
    m_bHidden = !added;
    m_bShowIconPending = !added;
  }
  return 0;
}

void CSystemTray::CheckTrayHost() {
  const bool available = IsTrayHostAvailable();
  const bool appeared = available && !m_bHostSeen;
  m_bHostSeen = available;
  if (!appeared) return;
  SendMessage(GetSafeHwnd(), m_nTaskbarCreatedMsg, 0, 0);
  Q_EMIT trayHostAppeared();
}

bool CSystemTray::IsTrayHostAvailable() {
  const std::function<bool()>& probe = TrayHostProbe();
  return probe ? probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void CSystemTray::SetTrayHostProbe(std::function<bool()> probe) { TrayHostProbe() = std::move(probe); }

void CSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (!(m_tnd.uFlags & NIF_MESSAGE)) return;
  UINT mouse = 0;
  switch (reason) {
    case QSystemTrayIcon::DoubleClick:
      mouse = WM_LBUTTONDBLCLK;
      break;
    case QSystemTrayIcon::Context:
      mouse = WM_RBUTTONDOWN;
      break;
    case QSystemTrayIcon::Trigger:
      mouse = WM_LBUTTONDOWN;
      break;
    case QSystemTrayIcon::MiddleClick:
      mouse = WM_MBUTTONDOWN;
      break;
    case QSystemTrayIcon::Unknown:
      return;
  }
  SendMessage(m_tnd.hWnd, m_tnd.uCallbackMessage, m_tnd.uID, static_cast<LPARAM>(mouse));
}

bool CSystemTray::AnimationsEnabled() {
  const QByteArray off = qgetenv("AERLUME_NO_ANIMATION");
  if (!off.isEmpty() && off != "0") return false;
  return QApplication::isEffectEnabled(Qt::UI_General);
}

const char* CSystemTray::AnimationWindowName() { return kAnimationName; }

QRect CSystemTray::GetTrayWndRect() {
  for (const CSystemTray* tray : Instances()) {
    if (!tray->m_pIcon || tray->m_bHidden) continue;
    const QRect icon = tray->m_pIcon->geometry();
    if (icon.isValid() && !icon.isEmpty()) return icon;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect work = screen->availableGeometry();
  const QRect corner(work.x() + work.width() - kFallbackWidth, work.y() + work.height() - kFallbackHeight,
                     kFallbackWidth, kFallbackHeight);
  return corner.intersected(work);
}

void CSystemTray::MinimiseToTray(QWidget* pWnd) {
  if (!pWnd) return;
  if (AnimationsEnabled()) AnimateOutline(pWnd->frameGeometry(), GetTrayWndRect());
  // Unmapping withdraws the window, which also takes it off the task bar.
  pWnd->hide();
}

void CSystemTray::MaximiseFromTray(QWidget* pWnd) {
  if (!pWnd) return;
  if (AnimationsEnabled()) AnimateOutline(GetTrayWndRect(), pWnd->frameGeometry());
  pWnd->setWindowState(pWnd->windowState() & ~Qt::WindowMinimized);
  pWnd->show();
  pWnd->update();
  // The offscreen platform has no stacking order and warns on every raise.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) pWnd->raise();
  pWnd->activateWindow();
}
