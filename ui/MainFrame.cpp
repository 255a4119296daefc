#include "ui/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <vector>

#include "eventlog/Log.h"
#include "platform/wlanbackend.h"
#include "settings/Settings.h"
#include "ui/AerlumeApp.h"
#include "ui/ChildView.h"
#include "ui/DataWnd.h"
#include "ui/Messages.h"
#include "ui/Resource.h"
#include "ui/SettingsDialog.h"
#include "ui/StationPropertiesSheet.h"
#include "ui/SvgIcon.h"
#include "ui/TestDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WlanNotificationRecord.h"

namespace {

QIcon AppIcon() { return LoadSvgIcon(QStringLiteral(":/icons/aerlume.svg")); }

// A command shows a check mark only while checked: an unchecked checkable
// item would show an empty box in menus that never had one.
void SetChecked(QAction* action, bool checked) {
  if (action->isCheckable() != checked) action->setCheckable(checked);
  if (checked) action->setChecked(true);
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_appIcon(AppIcon()) {
  CreateHandle();
  setObjectName(QStringLiteral("mainFrame"));
  setWindowIcon(m_appIcon);
  resize(kDefaultWidth, kDefaultHeight);

  CreateClient();
  // The WLAN back end is chosen as the client opens: the title says when the
  // simulated world stands in for a radio nobody asked to simulate.
  const std::string remark = wlanbackend::TitleRemark();
  setWindowTitle(remark.empty() ? QStringLiteral("Aerlume")
                                : QStringLiteral("Aerlume - %1").arg(QString::fromStdString(remark)));
  m_TrayIcon.Create(this, m_appIcon);
  // A window that went to the task bar for want of a tray goes into the tray
  // once there is one, as minimising would have done.
  connect(&m_TrayIcon, &CSystemTray::trayHostAppeared, this, [this] {
    if (isVisible() && isMinimized()) HideToTray();
  });
  CreateCommands();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  m_pView->SetStationMenu(m_pStationMenu);

  m_pUpdateTimer = new QTimer(this);
  m_pUpdateTimer->setObjectName(QStringLiteral("commandUpdateTimer"));
  connect(m_pUpdateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
  m_pUpdateTimer->start(kCommandUpdateMs);
  UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
  DestroyHandle();
  m_pUpdateTimer->stop();
  m_TrayIcon.DestroyWindow();
  // The splitter takes both panes with it: the view stops its timers and
  // lets go of the client before the client goes.
  delete m_pSplitter;
  m_pSplitter = nullptr;
  m_pView = nullptr;
  m_pDataWnd = nullptr;
  delete m_pWlanInterface;
  m_pWlanInterface = nullptr;
}

void CMainFrame::CreateClient() {
  m_pSplitter = new QSplitter(Qt::Vertical, this);
  m_pSplitter->setObjectName(QStringLiteral("splitter"));
  m_pSplitter->setProperty("childId", WND_SPLITTER);
  m_pSplitter->setChildrenCollapsible(false);
  m_pView = new CChildView(m_pSplitter);
  m_pDataWnd = new CDataWnd(m_pSplitter);
  m_pSplitter->addWidget(m_pView);
  m_pSplitter->addWidget(m_pDataWnd);
  // The log keeps its height when the window grows; the list takes the rest.
  m_pSplitter->setStretchFactor(0, 1);
  m_pSplitter->setStretchFactor(1, 0);
  m_pSplitter->setSizes({kDefaultHeight - kInfoPaneHeight, kInfoPaneHeight});
  setCentralWidget(m_pSplitter);

  m_pView->SetWlanInterface(GetWlanInterface());
  m_pView->setFocus();
}

CNativeWIFIInterface* CMainFrame::GetWlanInterface() {
  if (!m_pWlanInterface) {
    auto* client = new CNativeWIFIInterface(GetSafeHwnd());
    client->Initialize();
    m_pWlanInterface = client;
  }
  return m_pWlanInterface;
}

QAction* CMainFrame::AddCommand(UINT id, const QString& text, const char* prompt, const QString& iconName) {
  auto* action = new QAction(text, this);
  action->setData(id);
  if (prompt) {
    // "status-bar prompt\ntool tip"
    const QString both = QString::fromUtf8(prompt);
    const qsizetype lineBreak = both.indexOf(QLatin1Char('\n'));
    action->setStatusTip(both.left(lineBreak));
    if (lineBreak >= 0) action->setToolTip(both.mid(lineBreak + 1));
  }
  if (!iconName.isEmpty()) action->setIcon(LoadSvgIcon(QStringLiteral(":/icons/") + iconName + QStringLiteral(".svg")));
  connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  m_commands[id] = action;
  return action;
}

void CMainFrame::CreateCommands() {
  AddCommand(CMD_SETTINGS, QStringLiteral("&Settings..."), "View / change options and settings.\nOptions",
             QStringLiteral("settings"));
  AddCommand(CMD_AUTORUN, QStringLiteral("&Autorun at startup"), nullptr)->setCheckable(true);
  AddCommand(CMD_EXIT, QStringLiteral("E&xit"), "Quit the application; prompts to save documents\nExit");
  AddCommand(CMD_TRAY_EXIT, QStringLiteral("E&xit Program"), nullptr);
  AddCommand(CMD_CONNECT, QStringLiteral("&Connect"), "Connect to the selected station.\nConnect",
             QStringLiteral("connect"));
  AddCommand(CMD_DISCONNECT, QStringLiteral("&Disconnect"), "Disconnect from the selected station.\nDisconnect",
             QStringLiteral("disconnect"));
  AddCommand(CMD_PROPERTIES, QStringLiteral("&Properties"),
             "Show the selected station's properties.\nStation Properties", QStringLiteral("properties"));
  AddCommand(CMD_RELEASE_IP, QStringLiteral("Re&lease IP address"), "Release IP Address\nRelease IP Address",
             QStringLiteral("release"));
  AddCommand(CMD_RENEW_IP, QStringLiteral("Re&new IP address"), "Renew IP address\nRenew IP Address",
             QStringLiteral("renew"));
  AddCommand(CMD_VIEW_TOOLBAR, QStringLiteral("&Toolbar"), "Show or hide the toolbar\nToggle ToolBar")
      ->setCheckable(true);
  AddCommand(CMD_VIEW_STATUS_BAR, QStringLiteral("&Status Bar"), "Show or hide the status bar\nToggle StatusBar")
      ->setCheckable(true);
  AddCommand(CMD_ABOUT, QStringLiteral("&About Aerlume..."), "Show the program's name and version\nAbout",
             QStringLiteral("about"));
  AddCommand(CMD_SHOW_HIDE, QStringLiteral("Hide Window"), nullptr);
  // The test dialog has no menu item: only its shortcut reaches it.
  QAction* test = AddCommand(CMD_TEST_DIALOG, QStringLiteral("Test"), nullptr);
  test->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
  test->setShortcutContext(Qt::WindowShortcut);
  addAction(test);
}

void CMainFrame::CreateMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->addAction(GetCommand(CMD_SETTINGS));
  file->addAction(GetCommand(CMD_AUTORUN));
  file->addSeparator();
  file->addAction(GetCommand(CMD_EXIT));

  m_pStationMenu = bar->addMenu(QStringLiteral("&Station"));
  m_pStationMenu->addAction(GetCommand(CMD_CONNECT));
  m_pStationMenu->addAction(GetCommand(CMD_DISCONNECT));
  m_pStationMenu->addSeparator();
  m_pStationMenu->addAction(GetCommand(CMD_PROPERTIES));

  QMenu* adapter = bar->addMenu(QStringLiteral("&Adapter"));
  adapter->addAction(GetCommand(CMD_RELEASE_IP));
  adapter->addAction(GetCommand(CMD_RENEW_IP));

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  view->addAction(GetCommand(CMD_VIEW_TOOLBAR));
  view->addAction(GetCommand(CMD_VIEW_STATUS_BAR));

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->addAction(GetCommand(CMD_ABOUT));

  for (QMenu* menu : {file, m_pStationMenu, adapter, view, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    // No idle text: the prompt pane is empty again once the menu is gone.
    connect(menu, &QMenu::aboutToHide, this, [this] { statusBar()->clearMessage(); });
  }
}

void CMainFrame::CreateToolBar() {
  m_pToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
  m_pToolBar->setObjectName(QStringLiteral("toolBar"));
  m_pToolBar->setProperty("childId", WND_TOOLBAR);
  m_pToolBar->setMovable(true);
  m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
  m_pToolBar->setIconSize(QSize(24, 24));
  m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  // The bar's own show/hide item duplicates View > Toolbar.
  m_pToolBar->toggleViewAction()->setVisible(false);
  for (UINT id : {CMD_CONNECT, CMD_DISCONNECT, CMD_PROPERTIES, 0u, CMD_RELEASE_IP, CMD_RENEW_IP, 0u, CMD_SETTINGS, 0u,
                  CMD_ABOUT}) {
    if (id == 0)
      m_pToolBar->addSeparator();
    else
      m_pToolBar->addAction(GetCommand(id));
  }
  addToolBar(Qt::TopToolBarArea, m_pToolBar);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  bar->setProperty("childId", WND_STATUS_BAR);
  const std::pair<UINT, const char*> indicators[] = {{IND_CAPS, "CAP"}, {IND_NUM, "NUM"}, {IND_SCRL, "SCRL"}};
  for (const auto& [id, text] : indicators) {
    auto* label = new QLabel(bar);
    label->setObjectName(QString::fromLatin1(text));
    label->setProperty("indicatorText", QString::fromLatin1(text));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    // Room for the text whether it shows or not, so the panes never jump.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::fromLatin1(text)) + 14);
    bar->addPermanentWidget(label);
    m_indicators[id] = label;
  }
  UpdateIndicators();
}

QAction* CMainFrame::GetCommand(UINT id) const {
  auto it = m_commands.find(id);
  return it == m_commands.end() ? nullptr : it->second;
}

QLabel* CMainFrame::GetIndicator(UINT id) const {
  auto it = m_indicators.find(id);
  return it == m_indicators.end() ? nullptr : it->second;
}

CStation* CMainFrame::GetSelectedStation() const { return m_pView ? m_pView->GetSelectedStation() : nullptr; }

CNativeWIFIDevice* CMainFrame::GetMonitoredDevice() const {
  if (!m_pWlanInterface) return nullptr;
  if (CNativeWIFIDevice* device = m_pWlanInterface->FindDevice(CSettings::m_guidMonitorDevice)) return device;
  return m_pWlanInterface->GetDeviceCount() > 0 ? m_pWlanInterface->GetDevice(0) : nullptr;
}

bool CMainFrame::IsLeaseWorkerRunning(const CNativeWIFIDevice* pDevice) const {
  return pDevice && pDevice->IsLeaseWorkerRunning();
}

void CMainFrame::UpdateCommandUI() {
  CStation* station = GetSelectedStation();
  const bool connected = station && station->IsConnected();

  GetCommand(CMD_CONNECT)->setEnabled(station && !connected);
  SetChecked(GetCommand(CMD_CONNECT), connected);
  GetCommand(CMD_DISCONNECT)->setEnabled(connected);
  SetChecked(GetCommand(CMD_DISCONNECT), station && !connected);
  GetCommand(CMD_PROPERTIES)->setEnabled(station != nullptr);

  CNativeWIFIDevice* device = GetMonitoredDevice();
  const bool leaseCommands = m_pWlanInterface && device && !IsLeaseWorkerRunning(device);
  GetCommand(CMD_RELEASE_IP)->setEnabled(leaseCommands);
  GetCommand(CMD_RENEW_IP)->setEnabled(leaseCommands);

  GetCommand(CMD_AUTORUN)->setChecked(CSettings::m_bAutorun);
  GetCommand(CMD_VIEW_TOOLBAR)->setChecked(!m_pToolBar->isHidden());
  GetCommand(CMD_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
  GetCommand(CMD_SHOW_HIDE)->setText(isVisible() ? QStringLiteral("Hide Window") : QStringLiteral("Show Window"));

  // The lock indicators cost a round trip to the X server each; nobody sees
  // them while the window is hidden or minimised, and showing it reads them.
  if (isVisible() && !isMinimized()) UpdateIndicators();
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  UpdateIndicators();
}

void CMainFrame::UpdateIndicators() {
  const CKeyboardLocks::State locks = m_keyLocks.Read();
  const std::pair<UINT, bool> states[] = {{IND_CAPS, locks.caps}, {IND_NUM, locks.num}, {IND_SCRL, locks.scroll}};
  for (const auto& [id, on] : states) {
    QLabel* label = GetIndicator(id);
    if (!label) continue;
    const QString text = on ? label->property("indicatorText").toString() : QString();
    if (label->text() != text) label->setText(text);
  }
}

void CMainFrame::OnCommand(UINT id) {
  switch (id) {
    case CMD_SETTINGS:
      if (RunSettingsDialog()) SendSettingsChanged();
      break;
    case CMD_AUTORUN:
      OnAutorun();
      break;
    case CMD_EXIT:
    case CMD_TRAY_EXIT:
      OnExit();
      break;
    case CMD_CONNECT:
      OnConnect();
      break;
    case CMD_DISCONNECT:
      OnDisconnect();
      break;
    case CMD_PROPERTIES:
      ShowProperties(GetSelectedStation());
      break;
    case CMD_RELEASE_IP:
      // Blocks this thread until the IP helper answers.
      if (CNativeWIFIDevice* device = GetMonitoredDevice(); device && !IsLeaseWorkerRunning(device))
        device->ReleaseLease();
      break;
    case CMD_RENEW_IP:
      if (CNativeWIFIDevice* device = GetMonitoredDevice(); device && !IsLeaseWorkerRunning(device)) {
        LogPrintf("Spawning thread to perform DHCP lease renewal.\n");
        device->StartLeaseRenewal();
      }
      break;
    case CMD_VIEW_TOOLBAR:
      m_pToolBar->setVisible(m_pToolBar->isHidden());
      break;
    case CMD_VIEW_STATUS_BAR:
      statusBar()->setVisible(statusBar()->isHidden());
      break;
    case CMD_ABOUT:
      OnAbout();
      break;
    case CMD_SHOW_HIDE:
      ToggleTrayVisibility();
      break;
    case CMD_TEST_DIALOG: {
      CTestDialog dialog(this);
      dialog.exec();
      break;
    }
    default:
      break;
  }
  UpdateCommandUI();
}

bool CMainFrame::RunSettingsDialog() {
  CSettingsDialog dialog(this);
  return dialog.exec() == QDialog::Accepted;
}

void CMainFrame::SendSettingsChanged() {
  // Handles first: a handler may delete windows, and a message to a handle
  // that is gone is simply dropped.
  std::vector<HWND> targets;
  for (QWidget* child : findChildren<QWidget*>())
    if (auto* target = dynamic_cast<CMessageTarget*>(child))
      if (HWND hWnd = target->GetSafeHwnd()) targets.push_back(hWnd);
  for (HWND hWnd : targets) SendMessage(hWnd, WM_SETTINGS_CHANGED, 0, 0);
}

void CMainFrame::OnAutorun() {
  CSettings::m_bAutorun = !CSettings::m_bAutorun;
  CSettings::Save();
}

void CMainFrame::OnConnect() {
  if (CStation* station = GetSelectedStation()) m_pView->ConnectToStation(station, m_pView);
}

void CMainFrame::OnDisconnect() {
  CStation* station = GetSelectedStation();
  if (station && station->m_pDevice) station->m_pDevice->Disconnect();
}

void CMainFrame::OnAbout() { CAerlumeApp::ShowAbout(this); }

void CMainFrame::OnExit() {
  m_bExiting = true;
  close();
  QCoreApplication::quit();
}

void CMainFrame::HideToTray() {
  HideFloatingToolBar();
  // Without a notification area a hidden window could only come back by a
  // second start: it goes to the task bar instead.
  if (!CSystemTray::IsTrayHostAvailable()) {
    if (!isMinimized()) showMinimized();
    return;
  }
  CSystemTray::MinimiseToTray(this);
}

void CMainFrame::RestoreFromTray() {
  CSystemTray::MaximiseFromTray(this);
  if (isMinimized()) showNormal();
  ShowFloatingToolBar();
}

// A floating tool bar is a window of its own: it leaves and comes back with
// the main window instead of staying on the screen, clickable, without it.
void CMainFrame::HideFloatingToolBar() {
  if (m_pToolBar->isFloating() && m_pToolBar->isVisible()) {
    m_pToolBar->hide();
    m_bToolBarHiddenWithWindow = true;
  }
}

void CMainFrame::ShowFloatingToolBar() {
  if (!m_bToolBarHiddenWithWindow) return;
  m_bToolBarHiddenWithWindow = false;
  m_pToolBar->show();
}

void CMainFrame::ToggleTrayVisibility() {
  if (isVisible())
    HideToTray();
  else
    RestoreFromTray();
}

QMenu* CMainFrame::ShowTrayMenu(const QPoint& screenPos) {
  UpdateCommandUI();
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("trayMenu"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(GetCommand(CMD_SHOW_HIDE));
  menu->addSeparator();
  menu->addAction(GetCommand(CMD_AUTORUN));
  menu->addSeparator();
  menu->addAction(GetCommand(CMD_TRAY_EXIT));
  menu->popup(screenPos);
  return menu;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_WLAN_NOTIFY:
    case WM_STATION_SELECTED:
      return 1;
    case WM_TRAY_NOTIFY:
      switch (static_cast<UINT>(lParam) & 0xFFFF) {
        case WM_LBUTTONDBLCLK:
          ToggleTrayVisibility();
          break;
        case WM_RBUTTONDOWN:
          ShowTrayMenu(QCursor::pos());
          break;
        default:
          break;
      }
      return 1;
    default:
      return 0;
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (m_bExiting) {
    event->accept();
    return;
  }
  event->ignore();
  HideToTray();
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (isMinimized() && isVisible()) {
    // Hide once the state change is complete, not inside its notification.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized() && isVisible()) HideToTray();
    });
  } else if (!isMinimized() && isVisible()) {
    // Back from the task bar.
    ShowFloatingToolBar();
    UpdateIndicators();
  }
}

void CMainFrame::focusInEvent(QFocusEvent* event) {
  QMainWindow::focusInEvent(event);
  if (m_pView) m_pView->setFocus();
}
