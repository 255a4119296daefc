// The program's one top-level window: menu bar, tool bar, status bar, and a
// splitter with the station view above and the information pane (the log)
// below. It owns the WLAN client and the tray icon, and routes every menu,
// tool-bar and tray command by its numeric id (ui/Resource.h).
//
// Closing or minimising the window hides it in the notification area (on the
// task bar while the desktop has none); only the Exit commands end the program. Enable and check states of the commands
// are recomputed when a menu opens and on a short timer, so the tool bar
// follows the selection too.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QPoint>
#include <map>

#include "platform/winmsg.h"
#include "ui/KeyboardLocks.h"
#include "ui/SystemTray.h"

class CChildView;
class CDataWnd;
class CNativeWIFIDevice;
class CNativeWIFIInterface;
class CStation;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow, public CMessageTarget {
  Q_OBJECT

 public:
  static constexpr int kDefaultWidth = 1000;
  static constexpr int kDefaultHeight = 700;
  // Period of the enable/check refresh while no menu is open.
  static constexpr int kCommandUpdateMs = 250;

  // Creates, in this order: the panes, the WLAN client (handed to the station
  // view), the tray icon, the commands with menu and tool bar, the status bar.
  explicit CMainFrame(QWidget* parent = nullptr);
  // Destroys the tray's handle, the splitter with both panes, then the WLAN
  // client; the tray icon goes last with the members.
  ~CMainFrame() override;

  // The WLAN client, created and started on the first call (the frame is its
  // first observer window).
  CNativeWIFIInterface* GetWlanInterface();

  // WM_WLAN_NOTIFY and WM_STATION_SELECTED: nothing to do, 1. WM_TRAY_NOTIFY:
  // double-click toggles hidden/shown, right button opens the tray menu; 1.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Runs a command by id, as a menu, button, shortcut or the tray menu does.
  void OnCommand(UINT id);
  // Recomputes every command's enabled and checked state.
  void UpdateCommandUI();
  // The action of a command id, or null.
  QAction* GetCommand(UINT id) const;

  // The station of the list's selected row, or null.
  virtual CStation* GetSelectedStation() const;
  // The adapter the lease commands act on: the one chosen in the settings,
  // else the first; null without any.
  CNativeWIFIDevice* GetMonitoredDevice() const;
  // Whether the adapter's lease-renewal worker runs.
  virtual bool IsLeaseWorkerRunning(const CNativeWIFIDevice* pDevice) const;

  // Sends WM_SETTINGS_CHANGED to every descendant window that is a message
  // target (after the settings dialog ended with OK).
  void SendSettingsChanged();

  // Hidden in the tray <-> shown. Without a tray host (no notification area)
  // hiding minimises to the task bar instead. A floating tool bar hides and
  // comes back with the window.
  void HideToTray();
  void RestoreFromTray();
  void ToggleTrayVisibility();
  // Opens the tray menu at a screen point; it deletes itself when closed.
  QMenu* ShowTrayMenu(const QPoint& screenPos);

  CChildView* GetView() const { return m_pView; }
  CDataWnd* GetDataWnd() const { return m_pDataWnd; }
  QSplitter* GetSplitter() const { return m_pSplitter; }
  QToolBar* GetToolBar() const { return m_pToolBar; }
  QMenu* GetStationMenu() const { return m_pStationMenu; }
  CSystemTray& GetTray() { return m_TrayIcon; }
  // The status-bar indicator of IND_CAPS / IND_NUM / IND_SCRL.
  QLabel* GetIndicator(UINT id) const;
  const QIcon& GetAppIcon() const { return m_appIcon; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  void CreateClient();
  void CreateCommands();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  QAction* AddCommand(UINT id, const QString& text, const char* prompt, const QString& iconName = QString());
  void UpdateIndicators();
  void OnExit();
  void OnAutorun();
  void OnConnect();
  void OnDisconnect();
  void OnAbout();
  void HideFloatingToolBar();
  void ShowFloatingToolBar();
  // The settings dialog; true when it ended with OK.
  bool RunSettingsDialog();

  // Declared first so that they go last: the application icon and the tray
  // icon outlive the panes and the WLAN client.
  QIcon m_appIcon;
  CSystemTray m_TrayIcon;
  QSplitter* m_pSplitter = nullptr;
  CChildView* m_pView = nullptr;
  CDataWnd* m_pDataWnd = nullptr;
  CNativeWIFIInterface* m_pWlanInterface = nullptr;
  QToolBar* m_pToolBar = nullptr;
  QMenu* m_pStationMenu = nullptr;
  std::map<UINT, QAction*> m_commands;
  std::map<UINT, QLabel*> m_indicators;
  CKeyboardLocks m_keyLocks;
  QTimer* m_pUpdateTimer = nullptr;
  // Set by Exit: the next close is real.
  bool m_bExiting = false;
  // The tool bar floated and was hidden with the window.
  bool m_bToolBarHiddenWithWindow = false;
};
