// The program's icon in the desktop's notification area (the system tray),
// and the moves of a window into the notification area and back.
//
// The icon is a QSystemTrayIcon. Its activations reach the window to notify as
// the callback message (WM_TRAY_NOTIFY), sent with the icon id as wParam and
// the mouse message as lParam: 0x0203 for a double click, 0x0204 for the
// context request (right button), 0x0201 for a single left click and 0x0207
// for a middle click.
//
// Each tray object has a hidden message handle of its own. A slow timer on
// that handle watches for a tray host: when one appears (the desktop's panel
// starts, or restarts after a crash) the handle receives the message
// registered as "TaskbarCreated" and adds the icon again. An icon whose add
// failed because no host was running is added then, too.
#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

#include "platform/winmsg.h"

class QWidget;

// Flags of the icon record: which of its members are valid.
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

// The desktop's setting-change broadcast and its work-area code.
constexpr UINT WM_SETTINGCHANGE = 0x001A;
constexpr UINT SPI_SETWORKAREA = 47;

// What the icon is added with; kept to add it again after the host restarts.
struct TrayIconRecord {
  HWND hWnd = nullptr;  // window to notify
  UINT uID = 0;
  UINT uFlags = 0;
  UINT uCallbackMessage = 0;
  QIcon hIcon;
  QString szTip;
};

class CSystemTray : public QObject, public CMessageTarget {
  Q_OBJECT

 public:
  explicit CSystemTray(QObject* parent = nullptr);
  // Removes the icon if it is present, then destroys the message handle.
  ~CSystemTray() override;

  // Adds the icon with tip "Aerlume" and id 2114; its activations go to
  // pNotifyWnd (to the tray's own handle when null). TRUE when a tray host
  // took it. Without a host the program runs without the icon until one
  // appears.
  BOOL Create(CMessageTarget* pNotifyWnd, const QIcon& icon);

  // Destroys the message handle only (the frame does this first when it is
  // destroyed); the icon stays until the tray object is destroyed, but is no
  // longer re-added.
  void DestroyWindow();

  // Hides the window into the notification area: an outline flies from the
  // window to the tray (unless animations are off), then the window is
  // unmapped, which also takes it off the task bar.
  static void MinimiseToTray(QWidget* pWnd);
  // The reverse: the window is shown again, not minimised, raised and
  // activated, while an outline flies from the tray to it.
  static void MaximiseFromTray(QWidget* pWnd);
  // The screen rectangle of the notification area: the icon's own geometry
  // when a tray host reports it, else a 150x30 area at the bottom right of
  // the primary screen's work area. Empty without a screen.
  static QRect GetTrayWndRect();
  // Whether hiding and restoring animate: the desktop's general UI-effects
  // switch, overridden by the environment variable AERLUME_NO_ANIMATION
  // (any value but "" and "0" turns the animations off).
  static bool AnimationsEnabled();
  // Object name of the animated outline window, for tests and debugging.
  static const char* AnimationWindowName();

  // Whether the desktop has a notification area to hide windows in: Qt's
  // answer, or the probe's while one is set (null restores Qt's; for tests).
  static bool IsTrayHostAvailable();
  static void SetTrayHostProbe(std::function<bool()> probe);

  // The number registered for "TaskbarCreated": sent to the tray's handle when
  // a tray host appears.
  static UINT TaskbarCreatedMessage() { return m_nTaskbarCreatedMsg; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The icon object; null before Create.
  QSystemTrayIcon* GetIcon() const { return m_pIcon; }

 Q_SIGNALS:
  // The host watch saw a tray host appear (after the icon was added again).
  void trayHostAppeared();

 protected:
  TrayIconRecord m_tnd;
  // Notification icons are supported by this build of the toolkit.
  BOOL m_bEnabled = FALSE;
  // The icon is not shown.
  BOOL m_bHidden = TRUE;
  // The icon has been removed (or was never added).
  BOOL m_bRemoved = TRUE;
  // An add of the icon is wanted: set when a host appears, and kept after a
  // failed add so that the next host to appear gets the icon.
  BOOL m_bShowIconPending = FALSE;
  // The record flags the icon was created with; used again to re-add it.
  UINT m_uCreationFlags = 0;

  // Tip capacity including the terminating NUL of the original record.
  static int m_nMaxTooltipLength;
  static const UINT m_nTaskbarCreatedMsg;

 private:
  // Shows the icon when a tray host is running; TRUE when it is shown.
  BOOL AddIcon();
  BOOL DeleteIcon();
  LRESULT OnTaskbarCreated();
  LRESULT OnSettingChange(WPARAM uFlags);
  void CheckTrayHost();
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  QSystemTrayIcon* m_pIcon = nullptr;
  // A tray host was seen at the last check.
  bool m_bHostSeen = false;
};
