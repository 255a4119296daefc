// The information pane: its log window fills the pane at once when the
// pane is resized (by the splitter), wraps at the pane's width, and is the
// main log window.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <QSplitter>
#include <QTest>

#include "eventlog/Log.h"
#include "eventlog/widgets/OutWnd.h"
#include "tests/common/test_support.h"
#include "ui/DataWnd.h"

namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

TEST(DataWnd, HoldsTheMainLogWindowWrappingAtItsWidth) {
  ASSERT_EQ(g_pLogWnd, nullptr);
  CDataWnd pane;
  ASSERT_NE(pane.m_pOutWnd, nullptr);
  EXPECT_EQ(pane.m_pOutWnd->parentWidget(), &pane);
  EXPECT_EQ(pane.m_pOutWnd->property("childId").toInt(), 2112);
  EXPECT_TRUE(pane.m_pOutWnd->m_bWrapToWindow);
  EXPECT_TRUE(pane.m_pOutWnd->m_bWordWrap);
  EXPECT_EQ(g_pLogWnd, static_cast<CMessageTarget*>(pane.m_pOutWnd));

  pane.resize(300, CDataWnd::kInitialHeight);
  pane.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
  EXPECT_TRUE(pane.m_pOutWnd->isVisible());
  const int columns = pane.m_pOutWnd->VisibleColumns();
  ASSERT_GT(columns, 0);
  const std::size_t total = static_cast<std::size_t>(columns) * 3;
  LogPrintf("%s\n", std::string(total, 'x').c_str());
  // Word wrap breaks after the stamp's time; the x's run on in whole lines
  // that fit beside the vertical scroll bar, so no horizontal bar appears.
  ASSERT_TRUE(testsupport::SpinUntil([&] { return pane.m_pOutWnd->LineCount() >= 4; }));
  QCoreApplication::processEvents();
  const QScrollBar* vertical = pane.m_pOutWnd->verticalScrollBar();
  const int besideBar = (pane.m_pOutWnd->width() - 2 * pane.m_pOutWnd->frameWidth() -
                         (vertical->isVisible() ? 0 : vertical->sizeHint().width())) /
                        pane.m_pOutWnd->CharWidth();
  std::size_t xs = 0;
  for (int n = 0; n < pane.m_pOutWnd->LineCount(); ++n) {
    const std::string line = pane.m_pOutWnd->Line(n);
    EXPECT_LE(static_cast<int>(line.size()), besideBar) << line;
    xs += static_cast<std::size_t>(std::count(line.begin(), line.end(), 'x'));
  }
  EXPECT_EQ(xs, total);
  EXPECT_FALSE(pane.m_pOutWnd->horizontalScrollBar()->isVisible());
}

TEST(DataWnd, DraggingTheSplitterResizesTheLogWindowAtOnce) {
  // The offscreen platform says so for a top-level splitter.
  testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
  QSplitter splitter(Qt::Vertical);
  auto* top = new QWidget;
  auto* pane = new CDataWnd;
  splitter.addWidget(top);
  splitter.addWidget(pane);
  splitter.resize(400, 400);
  splitter.setSizes({260, CDataWnd::kInitialHeight});
  splitter.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splitter));
  const int before = pane->height();
  EXPECT_NEAR(before, CDataWnd::kInitialHeight, 2);
  EXPECT_EQ(pane->m_pOutWnd->geometry(), pane->rect());

  // Drag the bar 60 pixels up: the pane grows and its log window with it,
  // before any further event is processed.
  QWidget* handle = splitter.handle(1);
  const QPoint grip = handle->rect().center();
  SendMouse(handle, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
  SendMouse(handle, QEvent::MouseMove, grip - QPoint(0, 60), Qt::NoButton, Qt::LeftButton);
  SendMouse(handle, QEvent::MouseButtonRelease, grip - QPoint(0, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(pane->height(), before + 60);
  EXPECT_EQ(pane->m_pOutWnd->geometry(), pane->rect());

  // Resized directly, narrower: the log window's columns follow.
  const int columns = pane->m_pOutWnd->VisibleColumns();
  splitter.resize(200, 400);
  EXPECT_EQ(pane->m_pOutWnd->geometry(), pane->rect());
  EXPECT_LT(pane->m_pOutWnd->VisibleColumns(), columns);
  EXPECT_EQ(pane->m_pOutWnd->VisibleColumns(), pane->m_pOutWnd->viewport()->width() / pane->m_pOutWnd->CharWidth());
}

}  // namespace
