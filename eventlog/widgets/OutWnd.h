// COutWnd: the custom-drawn, read-only window that shows a log. Text arrives
// only as WM_OUTWND_ADDTEXT (a malloc'ed copy that this window then owns).
// Long lines wrap, at most m_nMaxLines lines are kept (newest first), new
// lines are scrolled in per 20 or every 200 ms, and a mouse selection is
// copied to the clipboard when the button is released.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QPoint>
#include <deque>
#include <string>

#include "eventlog/Log.h"
#include "platform/winmsg.h"

class QMouseEvent;
class QPaintEvent;
class QResizeEvent;
class QWheelEvent;
class QKeyEvent;
class QContextMenuEvent;

class COutWnd : public QAbstractScrollArea, public CMessageTarget {
  Q_OBJECT

 public:
  // A place in the text: column and line, lines counted from the newest (0).
  struct CTextPos {
    int nColumn = 0;
    int nLine = 0;
    bool operator==(const CTextPos&) const = default;
  };

  static constexpr UINT_PTR kSelectTimer = 1;
  static constexpr UINT kSelectTimerElapse = 100;
  static constexpr UINT_PTR kRefreshTimer = 2;
  static constexpr UINT kRefreshTimerElapse = 200;
  static constexpr int kDefaultMaxLines = 30000;
  static constexpr int kFixedWrapWidth = 512;
  static constexpr int kScrollInBatch = 20;
  // Posted to itself by the first text of a pass; it arrives after the texts
  // already queued, so a burst of texts costs one scroll-in of the whole
  // batches of 20 and one update of the scroll bars.
  static constexpr UINT kFlushMessage = WM_USER + 1;

  // Creates the window handle on the calling (UI) thread and becomes the
  // main log window if none is registered yet.
  explicit COutWnd(QWidget* parent = nullptr);
  ~COutWnd() override;

  // Clears the lines, positions, counters and colours; keeps the font and
  // the wrap options.
  void Reset();
  // Appends a heap copy (malloc) of a NUL-terminated text; takes ownership.
  void AddText(char* pText);
  // Measures m_logFont again (after an owner changed it): line height,
  // character width and columns; updates the scroll bars and repaints.
  void MeasureFont();
  // Sets m_logFont and measures it as above.
  void SetLogFont(const QFont& font);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Read access for owners and tests.
  int LineCount() const { return static_cast<int>(m_lines.size()); }
  // Line n, counted from the newest (0); empty outside the stored lines.
  std::string Line(int n) const;
  int LongestLine() const { return m_nLongestLine; }
  int ScrollLines() const { return m_nScrollLines; }
  int ScrollColumn() const { return m_nScrollColumn; }
  int PendingLines() const { return m_nPendingLines; }
  int LineHeight() const { return m_nLineHeight; }
  int CharWidth() const { return m_nCharWidth; }
  int VisibleColumns() const { return m_nVisibleColumns; }
  bool LineComplete() const { return m_bLineComplete; }
  bool Started() const { return m_bStarted; }
  CTextPos SelectionStart() const { return m_selStart; }
  CTextPos SelectionEnd() const { return m_selEnd; }

  // Options owners may set right after creating the window.
  QFont m_logFont;
  bool m_bWrapToWindow = false;
  bool m_bWordWrap = true;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

  // The clipboard steps of a copy. Each reports failure the way the copy
  // expects; virtual so that a test can make one fail.
  virtual bool OpenClipboard();
  virtual bool AllocateClipboardText(std::string& buffer, std::size_t size);
  virtual void SetClipboardText(const std::string& text);
  virtual bool CloseClipboard();
  // Shows a modal message box with an OK button.
  virtual void ShowClipboardError(const char* pMessage);

 private:
  void FirstUse();
  void AppendText(const char* pText, std::size_t length);
  void StoreLine(std::string& line, bool bIndented, bool bComplete, bool& bPreviousComplete);
  // Scrolls nLines of the pending lines (all by default) into view with one
  // block move.
  void BringLinesIntoView(int nLines = -1);
  void RequestFlush();
  void OnFlush();
  void UpdateScrollBars();
  void OnVScroll(int action);
  void OnHScroll(int action);
  void OnTimer(UINT_PTR id);
  void SetVerticalPosition(int nScrollLines);
  void SetHorizontalPosition(int nScrollColumn);
  void CopySelection();
  void ClearSelection();
  void EnsureLineHeight();
  // Line height, descent, character width and the drawing font of m_logFont.
  void Measure();

  CTextPos PointToText(const QPoint& pt) const;
  // The half-open range of line n's characters that the selection covers.
  bool SelectedRange(int n, int& nFrom, int& nTo) const;
  // Viewport rows: row 0 is the bottom row. The rows that show lines
  // nFirst..nLast (either order), clipped to the viewport.
  QRect RowsOfLines(int nFirst, int nLast) const;
  int ClientHeight() const;
  // Pixels that window-width wrapping may fill: the viewport's width beside
  // the vertical scroll bar, whether or not the bar is shown yet.
  int WrapWidth() const;
  int VisibleRows() const;  // client height / line height

  // Newest first: new lines go in at the front, the oldest leave at the back.
  std::deque<std::string> m_lines;
  // m_logFont with the letter spacing that makes every character advance
  // exactly m_nCharWidth pixels, so columns and pixels always agree.
  QFont m_drawFont;
  QColor m_crBack{255, 255, 255};
  QColor m_crText{0, 0, 0};
  int m_nMaxLines = kDefaultMaxLines;
  int m_nLongestLine = 0;
  int m_nScrollLines = 0;
  int m_nScrollColumn = 0;
  int m_nLineHeight = 0;
  int m_nDescent = 0;
  int m_nCharWidth = 1;
  int m_nVisibleColumns = 0;
  // The wrap width of window-width mode, in characters.
  int m_nWrapColumns = 0;
  int m_nPendingLines = 0;
  CTextPos m_selStart;
  CTextPos m_selEnd;
  QPoint m_ptMouse;
  bool m_bCaptured = false;
  bool m_bIndentWrapped = true;
  bool m_bLineComplete = true;
  // The newest line is a wrapped continuation: it begins with the two-blank
  // indent, which must not count as columns when the line is rebuilt.
  bool m_bNewestIndented = false;
  UINT_PTR m_nSelectTimer = 0;
  UINT_PTR m_nRefreshTimer = 0;
  // A kFlushMessage is queued and not yet delivered.
  bool m_bFlushPosted = false;
  // Lines were added since the scroll bars were last set.
  bool m_bScrollBarsStale = false;
  bool m_bStarted = false;
  bool m_bInScrollBarUpdate = false;
};
