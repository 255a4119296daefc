#include "eventlog/widgets/OutWnd.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char kSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXyZ";
constexpr int kSampleLength = 26;
constexpr char kIndent[] = "  ";
constexpr std::size_t kIndentLength = 2;
constexpr int kTabWidth = 8;

// The log's face: a fixed-pitch family, so that a column is a fixed number
// of pixels. DejaVu Sans Mono ships with every Debian desktop; the style hint
// lets fontconfig pick another monospace face where it is missing. 9 points
// is about 12 pixels at 96 dpi, a readable cell for a dense log.
QFont DefaultLogFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(9);
  return font;
}

struct FreeText {
  void operator()(char* p) const { std::free(p); }
};

}  // namespace

COutWnd::COutWnd(QWidget* parent) : QAbstractScrollArea(parent), m_logFont(DefaultLogFont()) {
  CreateHandle();
  RegisterLogWindow(this);

  setFrameStyle(QFrame::NoFrame);
  // The keyboard is not handled; the window never takes the focus.
  setFocusPolicy(Qt::NoFocus);
  // Every paint fills its whole region, which also lets Qt move pixels when
  // the content scrolls instead of repainting them.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setCursor(Qt::IBeamCursor);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &COutWnd::OnVScroll);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, &COutWnd::OnHScroll);
  verticalScrollBar()->setRange(0, 0);
  horizontalScrollBar()->setRange(0, 0);
  m_drawFont = m_logFont;
}

COutWnd::~COutWnd() {
  {
    // Under g_csLog no writer can hand a text over between the steps below.
    std::lock_guard<std::mutex> lock(g_csLog);
    const HWND hWnd = GetSafeHwnd();
    // Stops both timers; texts posted from now on are refused and freed by
    // their writer.
    DestroyHandle();
    m_nSelectTimer = 0;
    m_nRefreshTimer = 0;
    // Texts already queued for this window still own their copies. Only this
    // window's are taken: another output window of the thread (a connect
    // dialog's) keeps its own.
    if (hWnd)
      RemovePostedMessages(hWnd, WM_OUTWND_ADDTEXT,
                           [](WPARAM wParam, LPARAM) { std::free(reinterpret_cast<void*>(wParam)); });
  }
  UnregisterLogWindow(this);
}

LRESULT COutWnd::WindowProc(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_OUTWND_ADDTEXT:
      AddText(reinterpret_cast<char*>(wParam));
      return 0;
    case WM_TIMER:
      OnTimer(static_cast<UINT_PTR>(wParam));
      return 0;
    case kFlushMessage:
      OnFlush();
      return 0;
    default:
      return 0;
  }
}

std::string COutWnd::Line(int n) const {
  if (n < 0 || n >= LineCount()) return {};
  return m_lines[static_cast<std::size_t>(n)];
}

// ---------------------------------------------------------------- font

void COutWnd::SetLogFont(const QFont& font) {
  m_logFont = font;
  MeasureFont();
}

void COutWnd::MeasureFont() {
  Measure();
  const QSize size = viewport()->size();
  if (size.width() > 0 && size.height() > 0) {
    m_nVisibleColumns = size.width() / m_nCharWidth;
    m_nWrapColumns = WrapWidth() / m_nCharWidth;
  }
  UpdateScrollBars();
  viewport()->update();
}

void COutWnd::Measure() {
  const QFontMetrics metrics(m_logFont, viewport());
  m_nLineHeight = std::max(1, metrics.height());
  m_nDescent = metrics.descent();
  const QFontMetricsF exact(m_logFont, viewport());
  const qreal sampleWidth = exact.horizontalAdvance(QString::fromLatin1(kSample));
  m_nCharWidth = std::max(1, static_cast<int>(sampleWidth) / kSampleLength);
  // Make each character advance exactly m_nCharWidth, so a run drawn as one
  // string lands on the same pixels as the columns the mouse maps to.
  m_drawFont = m_logFont;
  m_drawFont.setLetterSpacing(QFont::AbsoluteSpacing, m_nCharWidth - sampleWidth / kSampleLength);
}

void COutWnd::EnsureLineHeight() {
  if (m_nLineHeight == 0) Measure();
}

int COutWnd::WrapWidth() const {
  // A log soon outgrows its window: lines wrap beside the vertical bar even
  // before it appears, so the lines wrapped until then still fit once it has.
  const QScrollBar* bar = verticalScrollBar();
  int nWidth = viewport()->width();
  if (!bar->isVisibleTo(this) && verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
    nWidth -= bar->sizeHint().width();
  return std::max(0, nWidth);
}

int COutWnd::ClientHeight() const { return viewport()->height(); }

int COutWnd::VisibleRows() const { return m_nLineHeight > 0 ? ClientHeight() / m_nLineHeight : 0; }

// ---------------------------------------------------------------- text

void COutWnd::FirstUse() {
  if (m_bStarted) return;
  m_bStarted = true;
  m_nRefreshTimer = SetTimer(GetSafeHwnd(), kRefreshTimer, kRefreshTimerElapse);
  Reset();
}

void COutWnd::Reset() {
  m_lines.clear();
  m_nScrollLines = 0;
  m_nScrollColumn = 0;
  m_nLongestLine = 0;
  m_nPendingLines = 0;
  m_crBack = QColor(255, 255, 255);
  m_crText = QColor(0, 0, 0);
  m_nMaxLines = kDefaultMaxLines;
  m_bLineComplete = true;
  m_bIndentWrapped = true;
  m_bNewestIndented = false;
  m_nLineHeight = 0;
  m_selStart = {};
  m_selEnd = {};
  if (GetSafeHwnd()) {
    viewport()->update();
    UpdateScrollBars();
  }
}

void COutWnd::AddText(char* pText) {
  const std::unique_ptr<char, FreeText> owned(pText);
  FirstUse();
  if (!pText || !*pText) return;
  AppendText(pText, std::strlen(pText));
  // The bars follow once per pass of the event loop, not per text: each
  // change of theirs is a repaint.
  m_bScrollBarsStale = true;
  RequestFlush();
}

void COutWnd::StoreLine(std::string& line, bool bIndented, bool bComplete, bool& bPreviousComplete) {
  if (bPreviousComplete) ++m_nPendingLines;
  m_nLongestLine = std::max(m_nLongestLine, static_cast<int>(line.size()) - 2);
  m_lines.push_front(std::move(line));
  line.clear();
  m_bNewestIndented = bIndented;
  bPreviousComplete = bComplete;
  while (static_cast<int>(m_lines.size()) > m_nMaxLines) m_lines.pop_back();
}

void COutWnd::AppendText(const char* pText, std::size_t length) {
  // In window-width mode the width is 0 until the window has had a size; a
  // width of at least one character keeps every append making progress.
  const int nWidth = std::max(1, m_bWrapToWindow ? m_nWrapColumns : kFixedWrapWidth);
  // In window-width mode the indent of a continuation line takes columns of
  // the window too, so that no display line is wider than the window.
  const auto limit = [&](bool bIndented) {
    return m_bWrapToWindow && bIndented ? std::max(1, nWidth - static_cast<int>(kIndentLength)) : nWidth;
  };

  // The display line being built. Its columns start after the indent of a
  // continuation line; nBreak is the index of its last blank, or npos.
  std::string line;
  line.reserve(static_cast<std::size_t>(nWidth) + kIndentLength + kTabWidth);
  bool bIndented = false;
  std::size_t nStart = 0;
  int nColumn = 0;
  std::size_t nBreak = std::string::npos;
  bool bPreviousComplete = m_bLineComplete;

  auto startLine = [&](bool bIndent) {
    line.clear();
    if (bIndent) line.append(kIndent, kIndentLength);
    bIndented = bIndent;
    nStart = line.size();
    nColumn = 0;
    nBreak = std::string::npos;
  };
  auto wrap = [&] {
    std::string carry;
    if (m_bWordWrap && nBreak != std::string::npos && nBreak > nStart) {
      // Cut before the last blank, drop the blank, carry the rest over.
      carry.assign(line, nBreak + 1, std::string::npos);
      line.resize(nBreak);
    }
    StoreLine(line, bIndented, true, bPreviousComplete);
    startLine(m_bIndentWrapped);
    line += carry;
    nColumn = static_cast<int>(carry.size());
  };
  auto append = [&](char c) {
    while (nColumn >= limit(bIndented)) wrap();
    line += c;
    ++nColumn;
    if (c == ' ') nBreak = line.size() - 1;
  };

  startLine(false);
  if (!m_bLineComplete && !m_lines.empty()) {
    // The newest line is unfinished: take it back and rebuild it together
    // with its continuation.
    viewport()->update(RowsOfLines(0, 0));
    std::string old = std::move(m_lines.front());
    m_lines.pop_front();
    const bool bOldIndented = m_bNewestIndented && old.compare(0, kIndentLength, kIndent) == 0;
    startLine(bOldIndented);
    for (std::size_t i = bOldIndented ? kIndentLength : 0; i < old.size(); ++i) append(old[i]);
    nBreak = std::string::npos;
  } else {
    bPreviousComplete = true;
  }

  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(pText[i]);
    if (c == '\r' || c == '\n') {
      StoreLine(line, bIndented, true, bPreviousComplete);
      startLine(false);
      // CR LF and LF CR are one line end.
      if (i + 1 < length) {
        const auto next = static_cast<unsigned char>(pText[i + 1]);
        if ((next == '\r' || next == '\n') && next != c) ++i;
      }
    } else if (c == '\t') {
      while (nColumn >= limit(bIndented)) wrap();
      const int nBlanks = kTabWidth - nColumn % kTabWidth;
      line.append(static_cast<std::size_t>(nBlanks), ' ');
      nColumn += nBlanks;
    } else if (c >= 0x20 && c <= 0x7E) {
      append(static_cast<char>(c));
    }
    // Every other byte (controls, DEL, 0x80..0xFF) is dropped.
  }

  const auto last = static_cast<unsigned char>(pText[length - 1]);
  m_bLineComplete = last == '\r' || last == '\n';
  // The text ends inside a line (perhaps one that holds nothing yet): store
  // it unfinished, so that the next text continues this line and not the
  // one before it.
  if (!m_bLineComplete) StoreLine(line, bIndented, false, bPreviousComplete);
}

// ---------------------------------------------------------------- view

void COutWnd::RequestFlush() {
  if (m_bFlushPosted) return;
  m_bFlushPosted = PostMessage(GetSafeHwnd(), kFlushMessage, 0, 0) != FALSE;
  // No queue to wait behind: flush now.
  if (!m_bFlushPosted) OnFlush();
}

void COutWnd::OnFlush() {
  m_bFlushPosted = false;
  // Whole batches of 20 come in with one block move; the rest waits for the
  // refresh tick.
  BringLinesIntoView(m_nPendingLines / kScrollInBatch * kScrollInBatch);
  if (m_bScrollBarsStale) UpdateScrollBars();
}

void COutWnd::BringLinesIntoView(int nLines) {
  if (nLines < 0 || nLines > m_nPendingLines) nLines = m_nPendingLines;
  if (nLines == 0) return;
  EnsureLineHeight();
  const int nPixels = nLines * m_nLineHeight;
  m_nPendingLines -= nLines;
  // One block move per batch; Qt repaints only the rows it uncovers. A batch
  // taller than the window replaces every row anyway.
  if (nPixels < ClientHeight())
    viewport()->scroll(0, -nPixels);
  else
    viewport()->update();
}

QRect COutWnd::RowsOfLines(int nFirst, int nLast) const {
  if (m_nLineHeight <= 0) return viewport()->rect();
  const int nLow = std::min(nFirst, nLast);
  const int nHigh = std::max(nFirst, nLast);
  // Line n is drawn with its bottom at height - (n - bottom line) * height;
  // lines still pending are below the window.
  const int nBottomLine = m_nScrollLines + m_nPendingLines;
  const int h = ClientHeight();
  const int nBottom = h - (nLow - nBottomLine) * m_nLineHeight;
  const int nTop = h - (nHigh - nBottomLine + 1) * m_nLineHeight;
  return QRect(0, nTop, viewport()->width(), nBottom - nTop).intersected(viewport()->rect());
}

void COutWnd::paintEvent(QPaintEvent* event) {
  FirstUse();
  EnsureLineHeight();
  QPainter painter(viewport());
  painter.fillRect(event->rect(), m_crBack);

  // Lines waiting to come into view stay below the window: every row is
  // painted where the pixels already are, so a paint needs no scroll-in of
  // its own (Qt interleaves paints with posted texts, and scrolling in at
  // each paint would cost one block move per line of a burst).

  painter.setFont(m_drawFont);
  const int h = ClientHeight();
  const int nBottomLine = m_nScrollLines + m_nPendingLines;
  const int nTopLine = std::min(LineCount() - 1, nBottomLine + VisibleRows());
  const int nColumns = viewport()->width() / m_nCharWidth + 1;
  const QRegion& region = event->region();
  for (int n = nTopLine; n >= nBottomLine; --n) {
    const int nBottom = h - (n - nBottomLine) * m_nLineHeight;
    const QRect row(0, nBottom - m_nLineHeight, viewport()->width(), m_nLineHeight);
    if (!region.intersects(row)) continue;
    const std::string& text = m_lines[static_cast<std::size_t>(n)];
    const int nLength = static_cast<int>(text.size());
    if (nLength <= m_nScrollColumn) continue;
    const int nFrom = m_nScrollColumn;
    const int nTo = std::min(nLength, nFrom + nColumns);
    int nSelFrom = 0;
    int nSelTo = 0;
    if (!SelectedRange(n, nSelFrom, nSelTo)) nSelFrom = nSelTo = nTo;
    nSelFrom = std::clamp(nSelFrom, nFrom, nTo);
    nSelTo = std::clamp(nSelTo, nSelFrom, nTo);
    // Runs of equal selection state; selected runs swap the colours.
    const int bounds[4] = {nFrom, nSelFrom, nSelTo, nTo};
    for (int run = 0; run < 3; ++run) {
      const int a = bounds[run];
      const int b = bounds[run + 1];
      if (a >= b) continue;
      const int x = (a - nFrom) * m_nCharWidth;
      const bool bSelected = run == 1;
      if (bSelected) painter.fillRect(QRect(x, row.top(), (b - a) * m_nCharWidth, m_nLineHeight), m_crText);
      painter.setPen(bSelected ? m_crBack : m_crText);
      painter.drawText(QPointF(x, nBottom - m_nDescent),
                       QString::fromLatin1(text.data() + a, static_cast<qsizetype>(b - a)));
    }
  }
}

void COutWnd::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const QSize size = viewport()->size();
  if (size.width() <= 0 || size.height() <= 0) return;
  Measure();
  m_nVisibleColumns = size.width() / m_nCharWidth;
  m_nWrapColumns = WrapWidth() / m_nCharWidth;
  UpdateScrollBars();
}

void COutWnd::scrollContentsBy(int, int) {
  // The bars only mirror the positions; OnVScroll and OnHScroll move the
  // content.
}

void COutWnd::UpdateScrollBars() {
  if (m_bInScrollBarUpdate) return;
  m_bInScrollBarUpdate = true;
  m_bScrollBarsStale = false;
  EnsureLineHeight();
  const int nCount = LineCount();
  const int nPage = std::min(nCount, VisibleRows());
  const int nExtra = nCount - nPage;
  m_nScrollLines = std::clamp(m_nScrollLines, 0, std::max(0, nExtra));
  QScrollBar* vertical = verticalScrollBar();
  if (nExtra > 0) {
    // Qt's maximum is the highest thumb position: count - page.
    vertical->setRange(0, nExtra);
    vertical->setPageStep(std::max(1, nPage));
    vertical->setValue(nExtra - m_nScrollLines);
  } else {
    vertical->setRange(0, 0);
    vertical->setValue(0);
  }

  const int nMaxColumn = std::max(0, m_nLongestLine - m_nVisibleColumns + 2);
  m_nScrollColumn = std::clamp(m_nScrollColumn, 0, nMaxColumn);
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, nMaxColumn);
  horizontal->setPageStep(std::max(1, m_nVisibleColumns - 2));
  horizontal->setValue(m_nScrollColumn);
  m_bInScrollBarUpdate = false;
}

void COutWnd::OnVScroll(int action) {
  EnsureLineHeight();
  const int nCount = LineCount();
  const int nPage = std::min(nCount, VisibleRows());
  const int nExtra = nCount - nPage;
  if (nExtra > 0) {
    int n = m_nScrollLines;
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub: n += 1; break;
      case QAbstractSlider::SliderSingleStepAdd: n -= 1; break;
      case QAbstractSlider::SliderPageStepSub: n += nPage; break;
      case QAbstractSlider::SliderPageStepAdd: n -= nPage; break;
      case QAbstractSlider::SliderMove: n = nExtra - verticalScrollBar()->sliderPosition(); break;
      case QAbstractSlider::SliderToMinimum: n = nExtra; break;
      case QAbstractSlider::SliderToMaximum: n = 0; break;
      default: break;
    }
    SetVerticalPosition(n);
  }
  // The bar applies its slider position after this slot: make it ours.
  verticalScrollBar()->setSliderPosition(nExtra > 0 ? nExtra - m_nScrollLines : 0);
}

void COutWnd::SetVerticalPosition(int nScrollLines) {
  EnsureLineHeight();
  const int nCount = LineCount();
  const int nPage = std::min(nCount, VisibleRows());
  const int nExtra = nCount - nPage;
  if (nExtra <= 0) return;
  nScrollLines = std::clamp(nScrollLines, 0, nExtra);
  const int nChange = nScrollLines - m_nScrollLines;
  if (nChange == 0) return;
  m_nScrollLines = nScrollLines;
  if (std::abs(nChange) < nPage)
    viewport()->scroll(0, nChange * m_nLineHeight);
  else
    viewport()->update();
  UpdateScrollBars();
}

void COutWnd::OnHScroll(int action) {
  int n = m_nScrollColumn;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: n -= 1; break;
    case QAbstractSlider::SliderSingleStepAdd: n += 1; break;
    case QAbstractSlider::SliderPageStepSub: n -= m_nVisibleColumns; break;
    case QAbstractSlider::SliderPageStepAdd: n += m_nVisibleColumns; break;
    case QAbstractSlider::SliderMove: n = horizontalScrollBar()->sliderPosition(); break;
    case QAbstractSlider::SliderToMinimum: n = 0; break;
    case QAbstractSlider::SliderToMaximum: n = kFixedWrapWidth; break;
    default: break;
  }
  SetHorizontalPosition(n);
  horizontalScrollBar()->setSliderPosition(m_nScrollColumn);
}

void COutWnd::SetHorizontalPosition(int nScrollColumn) {
  nScrollColumn = std::clamp(nScrollColumn, 0, std::max(0, m_nLongestLine - m_nVisibleColumns + 2));
  const int nChange = nScrollColumn - m_nScrollColumn;
  if (nChange == 0) return;
  m_nScrollColumn = nScrollColumn;
  if (std::abs(nChange) < m_nVisibleColumns)
    viewport()->scroll(-nChange * m_nCharWidth, 0);
  else
    viewport()->update();
  UpdateScrollBars();
}

void COutWnd::OnTimer(UINT_PTR id) {
  if (id == kRefreshTimer) {
    BringLinesIntoView();
    if (m_bScrollBarsStale) UpdateScrollBars();
    return;
  }
  if (id != kSelectTimer || !m_bCaptured) return;
  EnsureLineHeight();
  // While the mouse is held below or above the window, the view follows it
  // one line per tick and the selection grows with it.
  const int nRow = m_ptMouse.y() / m_nLineHeight;
  const CTextPos old = m_selEnd;
  if (nRow > VisibleRows()) {
    SetVerticalPosition(m_nScrollLines - 1);
    m_selEnd.nLine = std::max(-1, m_selEnd.nLine - 1);
  } else if (nRow < 0) {
    SetVerticalPosition(m_nScrollLines + 1);
    m_selEnd.nLine = std::min(LineCount(), m_selEnd.nLine + 1);
  }
  if (!(old == m_selEnd)) viewport()->update(RowsOfLines(old.nLine, m_selEnd.nLine));
}

// ---------------------------------------------------------------- mouse

COutWnd::CTextPos COutWnd::PointToText(const QPoint& pt) const {
  CTextPos pos;
  pos.nColumn = pt.x() / m_nCharWidth + m_nScrollColumn;
  pos.nLine = (ClientHeight() - pt.y()) / m_nLineHeight + m_nScrollLines;
  // Any line below the newest selects up to its end, any above the oldest
  // from its start: one step beyond each end says the same.
  pos.nLine = std::clamp(pos.nLine, -1, LineCount());
  return pos;
}

bool COutWnd::SelectedRange(int n, int& nFrom, int& nTo) const {
  nFrom = nTo = 0;
  if (m_selStart == m_selEnd) return false;
  // The upper end is the older line; on one line, the smaller column.
  const bool bStartUpper = m_selStart.nLine > m_selEnd.nLine ||
                           (m_selStart.nLine == m_selEnd.nLine && m_selStart.nColumn <= m_selEnd.nColumn);
  const CTextPos& upper = bStartUpper ? m_selStart : m_selEnd;
  const CTextPos& lower = bStartUpper ? m_selEnd : m_selStart;
  if (n > upper.nLine || n < lower.nLine || n < 0 || n >= LineCount()) return false;
  const int nLength = static_cast<int>(m_lines[static_cast<std::size_t>(n)].size());
  const auto column = [nLength](int c) { return std::clamp(c, 0, nLength); };
  if (upper.nLine == lower.nLine) {
    nFrom = column(upper.nColumn);
    nTo = column(lower.nColumn);
  } else if (n == upper.nLine) {
    nFrom = column(upper.nColumn);
    nTo = nLength;
  } else if (n == lower.nLine) {
    nTo = column(lower.nColumn);
  } else {
    nTo = nLength;
  }
  return nFrom < nTo;
}

void COutWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  // Rows under the mouse must be where the line numbers say they are.
  BringLinesIntoView();
  if (m_bScrollBarsStale) UpdateScrollBars();
  EnsureLineHeight();
  m_ptMouse = event->position().toPoint();
  m_selStart = m_selEnd = PointToText(m_ptMouse);
  m_bCaptured = true;
  m_nSelectTimer = SetTimer(GetSafeHwnd(), kSelectTimer, kSelectTimerElapse);
  event->accept();
}

void COutWnd::mouseMoveEvent(QMouseEvent* event) {
  if (!m_bCaptured) {
    event->ignore();
    return;
  }
  EnsureLineHeight();  // an owner's Reset may have forgotten it
  m_ptMouse = event->position().toPoint();
  const CTextPos old = m_selEnd;
  m_selEnd = PointToText(m_ptMouse);
  if (!(old == m_selEnd)) viewport()->update(RowsOfLines(old.nLine, m_selEnd.nLine));
  event->accept();
}

void COutWnd::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();  // no context menu
    return;
  }
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  event->accept();
  if (m_nSelectTimer) KillTimer(GetSafeHwnd(), m_nSelectTimer);
  m_nSelectTimer = 0;
  if (m_bCaptured) {
    EnsureLineHeight();
    m_bCaptured = false;
    m_ptMouse = event->position().toPoint();
    m_selEnd = PointToText(m_ptMouse);
  }
  if (m_selStart == m_selEnd) return;
  CopySelection();
  ClearSelection();
}

void COutWnd::wheelEvent(QWheelEvent* event) { event->ignore(); }

void COutWnd::keyPressEvent(QKeyEvent* event) { event->ignore(); }

void COutWnd::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

void COutWnd::ClearSelection() {
  m_selStart = {};
  m_selEnd = {};
  viewport()->update();
}

// ---------------------------------------------------------------- clipboard

void COutWnd::CopySelection() {
  if (!OpenClipboard()) {
    ShowClipboardError("Unable to open clipboard");
    return;
  }
  const bool bStartUpper = m_selStart.nLine > m_selEnd.nLine;
  const int nUpper = std::min(bStartUpper ? m_selStart.nLine : m_selEnd.nLine, LineCount() - 1);
  const int nLower = std::max(bStartUpper ? m_selEnd.nLine : m_selStart.nLine, 0);

  std::size_t nSize = 1;
  for (int n = nUpper; n >= nLower; --n) nSize += m_lines[static_cast<std::size_t>(n)].size() + 3;
  std::string text;
  if (!AllocateClipboardText(text, nSize)) {
    ShowClipboardError("Couldn't allocate memory to copy to clipboard");
    CloseClipboard();
    return;
  }
  // Oldest line first; every line but the lowest ends with CR LF. Exactly
  // the characters that the paint highlights.
  for (int n = nUpper; n >= nLower; --n) {
    int nFrom = 0;
    int nTo = 0;
    if (SelectedRange(n, nFrom, nTo))
      text.append(m_lines[static_cast<std::size_t>(n)], static_cast<std::size_t>(nFrom),
                  static_cast<std::size_t>(nTo - nFrom));
    if (n != nLower) text += "\r\n";
  }
  SetClipboardText(text);
  if (!CloseClipboard()) ShowClipboardError("Unable to close clipboard");
}

bool COutWnd::OpenClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  clipboard->clear();
  return true;
}

bool COutWnd::AllocateClipboardText(std::string& buffer, std::size_t size) {
  try {
    buffer.reserve(size);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void COutWnd::SetClipboardText(const std::string& text) {
  // Only 0x20..0x7E, CR and LF are ever stored, so Latin-1 is the text as is.
  if (QClipboard* clipboard = QGuiApplication::clipboard())
    clipboard->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

bool COutWnd::CloseClipboard() { return QGuiApplication::clipboard() != nullptr; }

void COutWnd::ShowClipboardError(const char* pMessage) {
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), QString::fromLatin1(pMessage),
                  QMessageBox::Ok, this);
  box.exec();
}
