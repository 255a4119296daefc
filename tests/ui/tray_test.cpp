// The tray icon under the offscreen platform, which has no tray host: the
// notifications the icon sends, the state after its add failed, and the
// moves of a window into the tray and back with and without animation.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>
#include <memory>
#include <vector>

#include "tests/common/test_support.h"
#include "ui/Messages.h"
#include "ui/SystemTray.h"

namespace {

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class RecordingWindow : public CMessageTarget {
 public:
  ~RecordingWindow() override { DestroyHandle(); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    received.push_back({message, wParam, lParam});
    return 1;
  }
  std::vector<Received> received;
};

// Opens the tray object's fields to the tests.
class TrayProbe : public CSystemTray {
 public:
  using CSystemTray::m_bEnabled;
  using CSystemTray::m_bHidden;
  using CSystemTray::m_bRemoved;
  using CSystemTray::m_bShowIconPending;
  using CSystemTray::m_tnd;
  using CSystemTray::m_uCreationFlags;
};

QIcon TestIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::darkBlue);
  return QIcon(pixmap);
}

QWidget* FindOutline() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String(CSystemTray::AnimationWindowName())) return widget;
  return nullptr;
}

int CountOutlines() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String(CSystemTray::AnimationWindowName())) ++count;
  return count;
}

}  // namespace

TEST(TrayIcon, ActivationsReachTheNotifyWindowAsTrayNotifications) {
  RecordingWindow frame;  // no handle yet: Create gives it one
  TrayProbe tray;
  tray.Create(&frame, TestIcon());
  ASSERT_NE(frame.GetSafeHwnd(), nullptr);
  ASSERT_NE(tray.GetIcon(), nullptr);

  emit tray.GetIcon()->activated(QSystemTrayIcon::DoubleClick);
  emit tray.GetIcon()->activated(QSystemTrayIcon::Context);
  emit tray.GetIcon()->activated(QSystemTrayIcon::Trigger);
  emit tray.GetIcon()->activated(QSystemTrayIcon::MiddleClick);
  emit tray.GetIcon()->activated(QSystemTrayIcon::Unknown);

  ASSERT_EQ(frame.received.size(), 4u);
  const LPARAM expected[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, 0x0201, 0x0207};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(frame.received[i].message, WM_TRAY_NOTIFY) << i;
    EXPECT_EQ(frame.received[i].wParam, 2114u) << i;
    EXPECT_EQ(frame.received[i].lParam, expected[i]) << i;
  }
}

TEST(TrayIcon, WithoutNotifyWindowTheTrayHandleGetsTheNotifications) {
  RecordingWindow bystander;
  bystander.CreateHandle();
  TrayProbe tray;
  tray.Create(nullptr, TestIcon());
  EXPECT_EQ(tray.m_tnd.hWnd, tray.GetSafeHwnd());
  emit tray.GetIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(bystander.received.empty());
}

TEST(TrayIcon, NotificationsForADestroyedFrameAreDropped) {
  auto frame = std::make_unique<RecordingWindow>();
  frame->CreateHandle();
  TrayProbe tray;
  tray.Create(frame.get(), TestIcon());
  frame.reset();
  // The send goes to a dead handle, never to the deleted object (the
  // sanitizer build catches a use after free here).
  ASSERT_NE(tray.m_tnd.hWnd, nullptr);
  EXPECT_FALSE(IsWindow(tray.m_tnd.hWnd));
  emit tray.GetIcon()->activated(QSystemTrayIcon::Context);
}

TEST(TrayIcon, FailedAddWithoutTrayHostLeavesTheIconWantedAndTheRecordFilled) {
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has no tray";
  RecordingWindow frame;
  frame.CreateHandle();
  TrayProbe tray;
  EXPECT_TRUE(tray.m_bHidden);
  EXPECT_TRUE(tray.m_bRemoved);
  EXPECT_FALSE(tray.m_bShowIconPending);

  EXPECT_FALSE(tray.Create(&frame, TestIcon()));
  EXPECT_TRUE(tray.m_bEnabled);
  EXPECT_TRUE(tray.m_bHidden);
  EXPECT_TRUE(tray.m_bRemoved);
  EXPECT_TRUE(tray.m_bShowIconPending);
  EXPECT_EQ(tray.m_uCreationFlags, 7u);
  EXPECT_EQ(tray.m_tnd.hWnd, frame.GetSafeHwnd());
  EXPECT_EQ(tray.m_tnd.uID, 2114u);
  EXPECT_EQ(tray.m_tnd.uCallbackMessage, 0x8065u);
  EXPECT_EQ(tray.m_tnd.szTip, QStringLiteral("Aerlume"));
  EXPECT_EQ(tray.GetIcon()->toolTip(), QStringLiteral("Aerlume"));
  EXPECT_FALSE(tray.GetIcon()->isVisible());
  EXPECT_NE(tray.GetSafeHwnd(), nullptr);
}

TEST(TrayIcon, PendingAddSurvivesHostAnnouncementsAndWorkAreaChangesWithoutHost) {
  TrayProbe tray;
  tray.Create(nullptr, TestIcon());
  ASSERT_TRUE(tray.m_bShowIconPending);

  // A host announcement whose add fails again keeps the icon wanted.
  EXPECT_EQ(SendMessage(tray.GetSafeHwnd(), CSystemTray::TaskbarCreatedMessage(), 0, 0), 0);
  EXPECT_TRUE(tray.m_bHidden);
  EXPECT_TRUE(tray.m_bShowIconPending);
  EXPECT_TRUE(tray.m_bRemoved);

  // So does a change of the work area: the next host still gets the icon.
  SendMessage(tray.GetSafeHwnd(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  EXPECT_TRUE(tray.m_bHidden);
  EXPECT_TRUE(tray.m_bShowIconPending);
  EXPECT_FALSE(tray.GetIcon()->isVisible());
}

TEST(TrayIcon, DestructionAndDestroyWindowEndTheMessageHandle) {
  HWND own = nullptr;
  {
    TrayProbe tray;
    tray.Create(nullptr, TestIcon());
    own = tray.GetSafeHwnd();
    ASSERT_TRUE(IsWindow(own));
  }
  EXPECT_FALSE(IsWindow(own));

  RecordingWindow frame;
  TrayProbe tray;
  tray.Create(&frame, TestIcon());
  own = tray.GetSafeHwnd();
  tray.DestroyWindow();
  EXPECT_FALSE(IsWindow(own));
  EXPECT_EQ(tray.GetSafeHwnd(), nullptr);
  // The icon still reports to the frame until the tray object goes.
  emit tray.GetIcon()->activated(QSystemTrayIcon::Context);
  EXPECT_EQ(frame.received.size(), 1u);
}

TEST(TrayRect, FallbackIsTheBottomRightCornerOfTheWorkArea) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect rect = CSystemTray::GetTrayWndRect();
  const QRect work = screen->availableGeometry();
  EXPECT_EQ(rect.size(), QSize(150, 30));
  EXPECT_TRUE(work.contains(rect)) << rect.x() << "," << rect.y();
  EXPECT_TRUE(screen->geometry().contains(rect));
  EXPECT_EQ(rect.right(), work.right());
  EXPECT_EQ(rect.bottom(), work.bottom());

  // A tray object without a shown icon does not change it.
  TrayProbe tray;
  tray.Create(nullptr, TestIcon());
  EXPECT_EQ(CSystemTray::GetTrayWndRect(), rect);
}

class TrayMoves : public testing::Test {
 protected:
  void SetUp() override {
    m_effects = QApplication::isEffectEnabled(Qt::UI_General);
    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("Aerlume"));
    m_window->setGeometry(100, 120, 400, 300);
    m_window->show();
    m_window->activateWindow();
    ASSERT_TRUE(testsupport::SpinUntil([&] { return QApplication::activeWindow() == m_window.get(); }));
  }
  void TearDown() override {
    qunsetenv("AERLUME_NO_ANIMATION");
    QApplication::setEffectEnabled(Qt::UI_General, m_effects);
    testsupport::SpinUntil([] { return CountOutlines() == 0; });
  }
  // The user works in another window while ours is in the tray; restoring
  // must take the activation from it.
  void ActivateOther() {
    m_other = std::make_unique<QWidget>();
    m_other->setGeometry(600, 100, 200, 200);
    m_other->show();
    m_other->activateWindow();
    ASSERT_TRUE(testsupport::SpinUntil([&] { return QApplication::activeWindow() == m_other.get(); }));
  }
  void AnimationsOff() {
    qputenv("AERLUME_NO_ANIMATION", "1");
    QApplication::setEffectEnabled(Qt::UI_General, true);  // the override wins
    ASSERT_FALSE(CSystemTray::AnimationsEnabled());
  }
  void AnimationsOn() {
    // The outline is a masked tool-tip window, which Qt raises when shown;
    // the offscreen platform can neither mask nor raise and says so.
    testsupport::ExpectQtWarning("does not support setting window masks");
    testsupport::ExpectQtWarning("does not support raise()");
    qunsetenv("AERLUME_NO_ANIMATION");
    QApplication::setEffectEnabled(Qt::UI_General, true);
    ASSERT_TRUE(CSystemTray::AnimationsEnabled());
  }
  bool RestoredAndActive() const {
    return m_window->isVisible() && !m_window->isMinimized() && QApplication::activeWindow() == m_window.get();
  }
  // Records where the outline in flight ends its flight.
  void WatchLanding(QWidget* outline) {
    auto* animation = outline->findChild<QPropertyAnimation*>();
    ASSERT_NE(animation, nullptr);
    QObject::connect(animation, &QAbstractAnimation::finished, outline,
                     [this, outline] { m_landing = outline->geometry(); });
  }

  bool m_effects = false;
  std::unique_ptr<QWidget> m_window;
  std::unique_ptr<QWidget> m_other;
  QRect m_landing;
};

TEST_F(TrayMoves, WithoutAnimationHideAndRestoreAtOnce) {
  AnimationsOff();
  CSystemTray::MinimiseToTray(m_window.get());
  EXPECT_FALSE(m_window->isVisible());
  EXPECT_EQ(FindOutline(), nullptr);

  ActivateOther();
  CSystemTray::MaximiseFromTray(m_window.get());
  EXPECT_EQ(FindOutline(), nullptr);
  EXPECT_TRUE(m_window->isVisible());
  EXPECT_TRUE(testsupport::SpinUntil([&] { return RestoredAndActive(); }));

  // A window minimised before it went to the tray comes back normal.
  m_window->showMinimized();
  CSystemTray::MinimiseToTray(m_window.get());
  EXPECT_FALSE(m_window->isVisible());
  ActivateOther();
  CSystemTray::MaximiseFromTray(m_window.get());
  EXPECT_FALSE(m_window->isMinimized());
  EXPECT_TRUE(testsupport::SpinUntil([&] { return RestoredAndActive(); }));
  EXPECT_EQ(m_window->geometry(), QRect(100, 120, 400, 300));
}

TEST_F(TrayMoves, AnimatedHideFliesFromTheWindowToTheTray) {
  AnimationsOn();
  const QRect from = m_window->frameGeometry();
  CSystemTray::MinimiseToTray(m_window.get());
  EXPECT_FALSE(m_window->isVisible());

  QWidget* outline = FindOutline();
  ASSERT_NE(outline, nullptr);
  EXPECT_TRUE(outline->isVisible());
  EXPECT_TRUE(outline->isWindow());
  EXPECT_EQ(outline->geometry(), from);
  // Only the rim is drawn: the desktop shows through the inside.
  EXPECT_TRUE(outline->mask().contains(QPoint(0, 0)));
  EXPECT_FALSE(outline->mask().contains(outline->rect().center()));
  WatchLanding(outline);

  EXPECT_TRUE(testsupport::SpinUntil([] { return FindOutline() == nullptr; }, std::chrono::seconds(3)));
  EXPECT_EQ(m_landing, CSystemTray::GetTrayWndRect());
  EXPECT_FALSE(m_window->isVisible());
}

TEST_F(TrayMoves, AnimatedRestoreFliesFromTheTrayToTheWindow) {
  AnimationsOff();
  CSystemTray::MinimiseToTray(m_window.get());
  AnimationsOn();

  ActivateOther();
  CSystemTray::MaximiseFromTray(m_window.get());
  QWidget* outline = FindOutline();
  ASSERT_NE(outline, nullptr);
  EXPECT_EQ(outline->geometry(), CSystemTray::GetTrayWndRect());
  WatchLanding(outline);
  EXPECT_TRUE(m_window->isVisible());

  EXPECT_TRUE(testsupport::SpinUntil([] { return FindOutline() == nullptr; }, std::chrono::seconds(3)));
  EXPECT_EQ(m_landing, m_window->frameGeometry());
  EXPECT_TRUE(testsupport::SpinUntil([&] { return RestoredAndActive(); }));
}

TEST_F(TrayMoves, QuickHideAndRestoreKeepOneOutline) {
  AnimationsOn();
  ActivateOther();
  CSystemTray::MinimiseToTray(m_window.get());
  CSystemTray::MaximiseFromTray(m_window.get());
  EXPECT_EQ(CountOutlines(), 1);
  EXPECT_TRUE(testsupport::SpinUntil([] { return CountOutlines() == 0; }, std::chrono::seconds(3)));
  EXPECT_TRUE(testsupport::SpinUntil([&] { return RestoredAndActive(); }));
}
