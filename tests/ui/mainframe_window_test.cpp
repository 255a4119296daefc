// The main window as a window: closing and minimising hide it in the tray,
// the tray's double-click and menu, the menus, tool bar and status bar.
#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <vector>

#include "tests/ui/mainframe_fixture.h"
#include "ui/DataWnd.h"
#include "ui/Messages.h"
#include "ui/SystemTray.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

QMenu* OpenTrayMenu(CMainFrame& frame) {
  SendMessage(frame.GetSafeHwnd(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  QMenu* menu = frame.findChild<QMenu*>(QStringLiteral("trayMenu"));
  if (menu) {
    EXPECT_TRUE(testsupport::SpinUntil([&] { return menu->isVisible(); }));
  }
  return menu;
}

// Items of a menu as "text=id", separators as "-".
std::vector<std::string> Items(const QMenu* menu) {
  std::vector<std::string> items;
  for (QAction* action : menu->actions())
    items.push_back(action->isSeparator() ? "-"
                                          : action->text().toStdString() + "=" +
                                                std::to_string(action->data().toUInt()));
  return items;
}

}  // namespace

TEST_F(MainFrameTest, ClosingHidesTheWindowAndKeepsTheProgram) {
  auto frame = MakeFrame();
  frame->show();
  ASSERT_TRUE(frame->isVisible());
  bool lastClosed = false;
  QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { lastClosed = true; });

  EXPECT_FALSE(frame->close());
  EXPECT_FALSE(frame->isVisible());
  QCoreApplication::processEvents();
  EXPECT_FALSE(lastClosed);
  // Still whole: the WLAN client and the panes are there.
  EXPECT_NE(g_pWifiInterface, nullptr);
  EXPECT_NE(frame->GetView(), nullptr);

  frame->RestoreFromTray();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(frame->isMinimized());
}

TEST_F(MainFrameTest, MinimisingHidesTheWindowInTheTray) {
  auto frame = MakeFrame();
  frame->show();
  frame->setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(testsupport::SpinUntil([&] { return !frame->isVisible(); }));
  frame->RestoreFromTray();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(frame->isMinimized());
}

TEST_F(MainFrameTest, WithoutATrayHostCloseAndMinimiseGoToTheTaskBarUntilOneAppears) {
  bool host = false;
  CSystemTray::SetTrayHostProbe([&] { return host; });
  auto frame = MakeFrame();
  frame->show();

  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMinimized());
  frame->showNormal();
  frame->setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMinimized());

  // A host appears (the tray's watch notices it): the window goes into it.
  host = true;
  SendMessage(frame->GetTray().GetSafeHwnd(), WM_TIMER, 1, 0);
  EXPECT_FALSE(frame->isVisible());
  frame->RestoreFromTray();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(frame->close());
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainFrameTest, FloatingToolBarHidesAndComesBackWithTheWindow) {
  auto frame = MakeFrame();
  frame->show();
  QToolBar* bar = frame->GetToolBar();
  // Dragged out of the window: a tool window of its own.
  bar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
  bar->show();
  ASSERT_TRUE(bar->isFloating());

  frame->HideToTray();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_FALSE(bar->isVisible());
  frame->RestoreFromTray();
  EXPECT_TRUE(bar->isVisible());

  // One the user hid stays hidden.
  frame->GetCommand(CMD_VIEW_TOOLBAR)->trigger();
  frame->HideToTray();
  frame->RestoreFromTray();
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(MainFrameTest, TrayDoubleClickTogglesTheWindow) {
  auto frame = MakeFrame();
  frame->show();
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK), 1);
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(frame->isVisible());
  // Other mouse messages change nothing.
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), WM_TRAY_NOTIFY, kTrayIconId, 0x0201), 1);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->findChild<QMenu*>(QStringLiteral("trayMenu")), nullptr);
}

TEST_F(MainFrameTest, TrayMenuFirstItemFollowsVisibility) {
  auto frame = MakeFrame();
  frame->show();

  QMenu* menu = OpenTrayMenu(*frame);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(Items(menu), (std::vector<std::string>{"Hide Window=32782", "-", "&Autorun at startup=32786", "-",
                                                   "E&xit Program=32785"}));
  menu->actions().first()->trigger();
  menu->close();
  EXPECT_FALSE(frame->isVisible());
  ASSERT_TRUE(testsupport::SpinUntil([&] { return frame->findChild<QMenu*>(QStringLiteral("trayMenu")) == nullptr; }));

  menu = OpenTrayMenu(*frame);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Show Window"));
  menu->actions().first()->trigger();
  menu->close();
  EXPECT_TRUE(frame->isVisible());
}

TEST_F(MainFrameTest, OtherFrameMessagesAreAcknowledged) {
  auto frame = MakeFrame();
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), WM_STATION_SELECTED, 0, 0), 1);
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), 0x0917 /* WM_WLAN_NOTIFY */, 0, 0), 1);
  EXPECT_EQ(SendMessage(frame->GetSafeHwnd(), WM_SETTINGS_CHANGED, 0, 0), 0);
}

TEST_F(MainFrameTest, MenusToolBarAndShortcutsCarryTheirCommands) {
  auto frame = MakeFrame();
  std::vector<std::string> titles;
  std::vector<std::vector<std::string>> menus;
  for (QAction* action : frame->menuBar()->actions()) {
    titles.push_back(action->text().toStdString());
    menus.push_back(Items(action->menu()));
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Station", "&Adapter", "&View", "&Help"}));
  ASSERT_EQ(menus.size(), 5u);
  EXPECT_EQ(menus[0], (std::vector<std::string>{"&Settings...=32771", "&Autorun at startup=32786", "-", "E&xit=57665"}));
  EXPECT_EQ(menus[1], (std::vector<std::string>{"&Connect=32777", "&Disconnect=32778", "-", "&Properties=32780"}));
  EXPECT_EQ(menus[2], (std::vector<std::string>{"Re&lease IP address=32788", "Re&new IP address=32787"}));
  EXPECT_EQ(menus[3], (std::vector<std::string>{"&Toolbar=59392", "&Status Bar=59393"}));
  EXPECT_EQ(menus[4], (std::vector<std::string>{"&About Aerlume...=57664"}));

  std::vector<std::string> buttons;
  for (QAction* action : frame->GetToolBar()->actions()) {
    buttons.push_back(action->isSeparator() ? "-" : std::to_string(action->data().toUInt()));
    if (!action->isSeparator()) {
      EXPECT_FALSE(action->icon().isNull()) << action->data().toUInt();
    }
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"32777", "32778", "32780", "-", "32788", "32787", "-", "32771", "-",
                                               "57664"}));
  EXPECT_EQ(frame->GetToolBar()->allowedAreas(), Qt::AllToolBarAreas);
  EXPECT_TRUE(frame->GetToolBar()->isMovable());

  // Prompt before the line break, tool tip after it.
  EXPECT_EQ(frame->GetCommand(CMD_CONNECT)->statusTip(), QStringLiteral("Connect to the selected station."));
  EXPECT_EQ(frame->GetCommand(CMD_CONNECT)->toolTip(), QStringLiteral("Connect"));
  EXPECT_EQ(frame->GetCommand(CMD_EXIT)->statusTip(),
            QStringLiteral("Quit the application; prompts to save documents"));
  EXPECT_EQ(frame->GetCommand(CMD_PROPERTIES)->toolTip(), QStringLiteral("Station Properties"));
  EXPECT_EQ(frame->GetCommand(CMD_ABOUT)->toolTip(), QStringLiteral("About"));
  EXPECT_TRUE(frame->GetCommand(CMD_AUTORUN)->statusTip().isEmpty());

  QAction* test = frame->GetCommand(CMD_TEST_DIALOG);
  EXPECT_EQ(test->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+T")));
  EXPECT_TRUE(frame->actions().contains(test));
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Aerlume"));
  EXPECT_FALSE(frame->windowIcon().isNull());
}

TEST_F(MainFrameTest, HoveringAButtonShowsItsPromptAndLeavingClearsIt) {
  auto frame = MakeFrame();
  frame->show();
  QWidget* button = frame->GetToolBar()->widgetForAction(frame->GetCommand(CMD_RENEW_IP));
  ASSERT_NE(button, nullptr);
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Renew IP address"));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button, &leave);
  EXPECT_EQ(frame->statusBar()->currentMessage(), QString());
}

TEST_F(MainFrameTest, SplitterHoldsTheViewAboveTheLogPane) {
  auto frame = MakeFrame();
  frame->show();
  QSplitter* splitter = frame->GetSplitter();
  ASSERT_EQ(splitter->count(), 2);
  EXPECT_EQ(splitter->widget(0), frame->GetView());
  EXPECT_EQ(splitter->widget(1), static_cast<QWidget*>(frame->GetDataWnd()));
  EXPECT_EQ(splitter->orientation(), Qt::Vertical);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return splitter->sizes().value(1) > 0; }));
  EXPECT_EQ(splitter->sizes().value(1), kInfoPaneHeight);
  // Growing the window grows the list, not the log.
  frame->resize(frame->width(), frame->height() + 100);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return frame->GetView()->height() > 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(splitter->sizes().value(1), kInfoPaneHeight);
}

// Under the offscreen platform there is no X server to ask: lock keys are
// tracked from the presses the program sees.
TEST_F(MainFrameTest, LockIndicatorsFollowTheLockKeys) {
  auto frame = MakeFrame();
  frame->show();
  QLabel* caps = frame->GetIndicator(IND_CAPS);
  QLabel* num = frame->GetIndicator(IND_NUM);
  ASSERT_NE(caps, nullptr);
  ASSERT_NE(num, nullptr);
  ASSERT_NE(frame->GetIndicator(IND_SCRL), nullptr);
  frame->UpdateCommandUI();
  EXPECT_EQ(caps->text(), QString());

  QWidget* target = frame->focusWidget();  // where the keys go: the station list
  QKeyEvent press(QEvent::KeyPress, Qt::Key_CapsLock, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  frame->UpdateCommandUI();
  EXPECT_EQ(caps->text(), QStringLiteral("CAP"));
  EXPECT_EQ(num->text(), QString());
  QKeyEvent again(QEvent::KeyPress, Qt::Key_CapsLock, Qt::NoModifier);
  QApplication::sendEvent(target, &again);
  frame->UpdateCommandUI();
  EXPECT_EQ(caps->text(), QString());
}
