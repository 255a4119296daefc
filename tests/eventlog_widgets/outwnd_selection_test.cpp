// Selecting with the mouse and copying on release: the copied text is the
// highlighted text, CR LF between lines; a click copies nothing; the select
// timer follows a mouse held outside; clipboard failures are reported.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "tests/common/test_support.h"
#include "tests/eventlog_widgets/OutWndHarness.h"

using outwnd::Add;
using outwnd::CellHighlighted;
using outwnd::CellPoint;
using outwnd::Drag;
using outwnd::MoveTo;
using outwnd::Press;
using outwnd::Release;
using outwnd::Shot;
using outwnd::Tick;

namespace {

QString Clipboard() { return QGuiApplication::clipboard()->text(); }

template <class Window>
void ShowWithLines(Window& wnd, const std::string& text) {
  wnd.resize(480, 200);
  wnd.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&wnd));
  Add(wnd, text);
  Tick(wnd, COutWnd::kRefreshTimer);
}

TEST(OutWndSelection, DragOverThreeLinesCopiesTailMiddleAndHead) {
  COutWnd wnd;
  ShowWithLines(wnd, "first line text\nmiddle line\nlast line here\n");
  QGuiApplication::clipboard()->setText("sentinel");

  // From column 6 of the oldest line (2) to column 4 of the newest (0).
  Drag(wnd, CellPoint(wnd, 6, 2), CellPoint(wnd, 4, 0));
  EXPECT_EQ(Clipboard(), "line text\r\nmiddle line\r\nlast");
  EXPECT_EQ(wnd.SelectionStart(), COutWnd::CTextPos{});
  EXPECT_EQ(wnd.SelectionEnd(), COutWnd::CTextPos{});

  // Dragged the other way round: the same text.
  Drag(wnd, CellPoint(wnd, 4, 0), CellPoint(wnd, 6, 2));
  EXPECT_EQ(Clipboard(), "line text\r\nmiddle line\r\nlast");

  // On one line, from the smaller to the larger column; a column past the
  // end of the line counts as its end.
  Drag(wnd, CellPoint(wnd, 40, 1), CellPoint(wnd, 7, 1));
  EXPECT_EQ(Clipboard(), "line");
}

TEST(OutWndSelection, AClickCopiesNothing) {
  COutWnd wnd;
  ShowWithLines(wnd, "some text\n");
  QGuiApplication::clipboard()->setText("sentinel");
  Press(wnd, CellPoint(wnd, 3, 0));
  Release(wnd, CellPoint(wnd, 3, 0));
  EXPECT_EQ(Clipboard(), "sentinel");

  // Right button: consumed, nothing copied, nothing else happens.
  outwnd::Mouse(wnd, QEvent::MouseButtonPress, CellPoint(wnd, 1, 0), Qt::RightButton, Qt::RightButton);
  outwnd::Mouse(wnd, QEvent::MouseButtonRelease, CellPoint(wnd, 5, 0), Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(Clipboard(), "sentinel");
}

TEST(OutWndSelection, ScrolledSidewaysCopiesExactlyWhatIsHighlighted) {
  COutWnd wnd;
  std::string alphabet;
  for (int i = 0; i < 8; ++i) alphabet += "abcdefghijklmnopqrstuvwxyz0123456789";
  ShowWithLines(wnd, "0123456789" + alphabet + "\n" + alphabet + "\n");
  for (int i = 0; i < 10; ++i) wnd.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(wnd.ScrollColumn(), 10);

  // Visible columns 2..6 of the newest line: text columns 12..16.
  Press(wnd, CellPoint(wnd, 12, 0));
  MoveTo(wnd, CellPoint(wnd, 17, 0));
  const QImage shot = Shot(wnd);
  for (int visible = 0; visible < 10; ++visible)
    EXPECT_EQ(CellHighlighted(wnd, shot, visible, 0), visible >= 2 && visible < 7) << "visible column " << visible;
  Release(wnd, CellPoint(wnd, 17, 0));
  EXPECT_EQ(Clipboard().toStdString(), alphabet.substr(12, 5));

  // Over two lines: the older from the mouse column on, the newer up to it.
  Drag(wnd, CellPoint(wnd, 30, 1), CellPoint(wnd, 13, 0));
  EXPECT_EQ(Clipboard().toStdString(), ("0123456789" + alphabet).substr(30) + "\r\n" + alphabet.substr(0, 13));
}

TEST(OutWndSelection, HighlightFollowsTheMouseAcrossRows) {
  COutWnd wnd;
  ShowWithLines(wnd, "HHHHHHHHHH\nHHHHHHHHHH\nHHHHHHHHHH\n");
  Press(wnd, CellPoint(wnd, 5, 2));
  MoveTo(wnd, CellPoint(wnd, 3, 0));
  const QImage shot = Shot(wnd);
  EXPECT_FALSE(CellHighlighted(wnd, shot, 4, 2));
  EXPECT_TRUE(CellHighlighted(wnd, shot, 5, 2));
  EXPECT_TRUE(CellHighlighted(wnd, shot, 0, 1));
  EXPECT_TRUE(CellHighlighted(wnd, shot, 9, 1));
  EXPECT_TRUE(CellHighlighted(wnd, shot, 2, 0));
  EXPECT_FALSE(CellHighlighted(wnd, shot, 3, 0));
  Release(wnd, CellPoint(wnd, 3, 0));
  // Released: the highlight is gone.
  EXPECT_FALSE(CellHighlighted(wnd, Shot(wnd), 5, 2));
}

TEST(OutWndSelection, MouseHeldOutsideScrollsOneLinePerTick) {
  COutWnd wnd;
  std::string text;
  for (int i = 0; i < 40; ++i) text += "line " + std::to_string(i) + "\n";
  ShowWithLines(wnd, text);
  for (int i = 0; i < 5; ++i) wnd.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_EQ(wnd.ScrollLines(), 5);

  Press(wnd, CellPoint(wnd, 0, 6));  // "line 33"
  // Above the window by more than a row: towards the oldest.
  MoveTo(wnd, QPoint(2, -2 * wnd.LineHeight()));
  const int endLine = wnd.SelectionEnd().nLine;
  Tick(wnd, COutWnd::kSelectTimer);
  EXPECT_EQ(wnd.ScrollLines(), 6);
  EXPECT_EQ(wnd.SelectionEnd().nLine, endLine + 1);

  // Below the window: towards the newest.
  MoveTo(wnd, QPoint(2, wnd.viewport()->height() + 2 * wnd.LineHeight()));
  const int lowEnd = wnd.SelectionEnd().nLine;
  Tick(wnd, COutWnd::kSelectTimer);
  Tick(wnd, COutWnd::kSelectTimer);
  EXPECT_EQ(wnd.ScrollLines(), 4);
  EXPECT_EQ(wnd.SelectionEnd().nLine, lowEnd - 2);

  // Inside the window the timer does nothing.
  MoveTo(wnd, CellPoint(wnd, 4, 5));
  Tick(wnd, COutWnd::kSelectTimer);
  EXPECT_EQ(wnd.ScrollLines(), 4);

  // The copy is what the rows under the press and the release showed.
  Release(wnd, CellPoint(wnd, 4, 5));
  EXPECT_EQ(Clipboard(), "line 33\r\nline");
}

TEST(OutWndSelection, DraggingPastTheNewestLineCopiesItWhole) {
  COutWnd wnd;
  ShowWithLines(wnd, "older\nnewest\n");
  Press(wnd, CellPoint(wnd, 2, 1));
  MoveTo(wnd, QPoint(3, wnd.viewport()->height() + 3 * wnd.LineHeight()));
  Tick(wnd, COutWnd::kSelectTimer);
  Tick(wnd, COutWnd::kSelectTimer);
  const QImage shot = Shot(wnd);
  EXPECT_TRUE(CellHighlighted(wnd, shot, 5, 0)) << "the whole newest line is highlighted";
  Release(wnd, QPoint(3, wnd.viewport()->height() + 3 * wnd.LineHeight()));
  EXPECT_EQ(Clipboard(), "der\r\nnewest");
}

// Clipboard steps that fail on request.
class CFailingOutWnd : public COutWnd {
 public:
  enum class Fail { Open, Allocate, Close };
  explicit CFailingOutWnd(Fail fail) : m_fail(fail) {}

 protected:
  bool OpenClipboard() override { return m_fail != Fail::Open && COutWnd::OpenClipboard(); }
  bool AllocateClipboardText(std::string& buffer, std::size_t size) override {
    return m_fail != Fail::Allocate && COutWnd::AllocateClipboardText(buffer, size);
  }
  bool CloseClipboard() override { return m_fail != Fail::Close && COutWnd::CloseClipboard(); }

 private:
  Fail m_fail;
};

// Answers the next modal message box with OK and returns its text.
class MessageBoxAnswer : public QObject {
 public:
  MessageBoxAnswer() {
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      texts.push_back(box->text());
      buttons = box->standardButtons();
      box->button(QMessageBox::Ok)->click();
    });
    m_timer.start();
  }
  std::vector<QString> texts;
  QMessageBox::StandardButtons buttons;

 private:
  QTimer m_timer;
};

TEST(OutWndSelection, ClipboardFailuresShowTheirMessage) {
  struct Case {
    CFailingOutWnd::Fail fail;
    const char* message;
    const char* clipboard;
  };
  const Case cases[] = {
      {CFailingOutWnd::Fail::Open, "Unable to open clipboard", "sentinel"},
      {CFailingOutWnd::Fail::Allocate, "Couldn't allocate memory to copy to clipboard", ""},
      {CFailingOutWnd::Fail::Close, "Unable to close clipboard", "abc"},
  };
  // The offscreen platform says so for every dialog it shows.
  testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    CFailingOutWnd wnd(c.fail);
    ShowWithLines(wnd, "abcdef\n");
    QGuiApplication::clipboard()->setText("sentinel");
    MessageBoxAnswer answer;
    Drag(wnd, CellPoint(wnd, 0, 0), CellPoint(wnd, 3, 0));
    ASSERT_EQ(answer.texts.size(), 1u);
    EXPECT_EQ(answer.texts[0], c.message);
    EXPECT_TRUE(answer.buttons == QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(Clipboard(), c.clipboard);
    EXPECT_EQ(wnd.SelectionStart(), COutWnd::CTextPos{});
    EXPECT_EQ(wnd.SelectionEnd(), COutWnd::CTextPos{});
  }
}

}  // namespace
