#include "ui/GraphWnd.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "ui/MemDC.h"
#include "ui/OnScreen.h"

namespace {

// value * numerator / denominator rounded to the nearest integer, halves
// away from zero (all three non-negative here).
int MulDiv(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  return static_cast<int>((2 * product + denominator) / (2 * static_cast<std::int64_t>(denominator)));
}

// ORs `bits` into line[i] wherever tops[i] <= y. Branch-free, in blocks of
// eight, and with the promise that the two arrays do not overlap, so that
// the compiler handles several pixels per instruction.
void OrBelow(QRgb* __restrict line, const int* __restrict tops, int n, int y, QRgb bits) {
  auto below = [&](int i) { return bits & ~static_cast<QRgb>((y - tops[i]) >> 31); };
  int i = 0;
  for (; i + 8 <= n; i += 8)
    for (int j = 0; j < 8; ++j) line[i + j] |= below(i + j);
  for (; i < n; ++i) line[i] |= below(i);
}

QPen ThinPen(const QColor& colour) {
  QPen pen(colour);
  pen.setWidth(1);
  pen.setCosmetic(true);
  return pen;
}

}  // namespace

CGraphWnd::CGraphWnd(QWidget* parent) : QWidget(parent) {
  // Every paint covers every pixel: nothing is erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  SetRefreshRate(2);
}

CGraphWnd::~CGraphWnd() {
  if (m_nTimer) killTimer(m_nTimer);
  m_nTimer = 0;
  if (m_pWatchedWidget) m_pWatchedWidget->removeEventFilter(this);
  if (m_pWatchedWindow) m_pWatchedWindow->removeEventFilter(this);
}

void CGraphWnd::SetRefreshRate(int nRate) {
  // A rate of 0 or below would divide by zero, one above 1000 would give a
  // period of 0 ms and a timer that never lets the event loop rest.
  m_nRate = std::clamp(nRate, 1, 1000);
  if (m_nTimer) {
    killTimer(m_nTimer);
    m_nTimer = 0;
  }
  m_bPaused = false;
  m_bPlotValid = false;
  update();
  m_nTimer = startTimer(1000 / m_nRate);
}

void CGraphWnd::SetGridSpacing(int nStepX, int nStepY) {
  m_nGridStepX = nStepX;
  m_nGridStepY = nStepY;
  m_bPlotValid = false;
  update();
}

void CGraphWnd::SetGridOffset(int nOffsetX, int nOffsetY) {
  m_nGridOffsetX = nOffsetX;
  m_nGridOffsetY = nOffsetY;
  m_bPlotValid = false;
  update();
}

void CGraphWnd::SetStation(CStation* pStation) {
  m_pStation.Reset(pStation);
  m_bPlotValid = false;
  update();
}

void CGraphWnd::DrawOverlay(CMemDC&) {}

void CGraphWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_nTimer) {
    QWidget::timerEvent(event);
    return;
  }
  if (!IsOnScreen(this)) {
    PauseTimer();
    return;
  }
  // Wraps instead of overflowing after 2^31 events.
  m_nScroll = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nScroll) + 1u);
  update();
}

void CGraphWnd::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ResumeTimer();
}

bool CGraphWnd::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::WindowStateChange:
    case QEvent::Expose:
      ResumeTimer();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void CGraphWnd::PauseTimer() {
  if (m_nTimer) killTimer(m_nTimer);
  m_nTimer = 0;
  m_bPaused = true;
  m_pausedSince.start();
  // The top-level widget and its native window may both have changed since
  // the last pause; a filter installed twice is only called once.
  QWidget* top = window();
  if (m_pWatchedWidget != top) {
    if (m_pWatchedWidget) m_pWatchedWidget->removeEventFilter(this);
    m_pWatchedWidget = top;
  }
  if (top != this) top->installEventFilter(this);
  QWindow* handle = top->windowHandle();
  if (m_pWatchedWindow != handle) {
    if (m_pWatchedWindow) m_pWatchedWindow->removeEventFilter(this);
    m_pWatchedWindow = handle;
  }
  if (handle) handle->installEventFilter(this);
}

void CGraphWnd::ResumeTimer() {
  if (!m_bPaused || !IsOnScreen(this)) return;
  m_bPaused = false;
  if (m_pWatchedWidget && m_pWatchedWidget != this) m_pWatchedWidget->removeEventFilter(this);
  if (m_pWatchedWindow) m_pWatchedWindow->removeEventFilter(this);
  m_pWatchedWidget = nullptr;
  m_pWatchedWindow = nullptr;
  // The ticks missed while paused, so that the grid stands where it would
  // have stood had the timer run on.
  const qint64 period = 1000 / m_nRate;
  const qint64 missed = m_pausedSince.elapsed() / period;
  m_nScroll = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nScroll) + static_cast<std::uint32_t>(missed));
  m_nTimer = startTimer(static_cast<int>(period));
  m_bPlotValid = false;
  update();
}

void CGraphWnd::paintEvent(QPaintEvent* event) {
  QPainter screen(this);
  CMemDC dc(screen, event->rect(), m_buffer);
  QPainter& painter = dc.Painter();
  const QRect client = rect();

  if (!PaintKeptPlot(dc, client)) {
    m_bPlotValid = false;
    DrawPlot(painter, dc.Image(), client, client.left() - m_nRate);
  }

  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::NoBrush);
  DrawOverlay(dc);
}

void CGraphWnd::DrawPlot(QPainter& painter, QImage* image, const QRect& client, int xStop) {
  if (!FillGrid(painter, image, client)) {
    painter.fillRect(client, m_crBackground);
    DrawGrid(painter, client);
  }
  if (const CStation* station = m_pStation.Get();
      station && station->m_lstLinkQuality.size() > 1 && !client.isEmpty())
    DrawTrace(painter, image, client, station->m_lstLinkQuality, xStop);
}

CGraphWnd::PlotSettings CGraphWnd::CurrentPlotSettings(const QRect& client) const {
  const CStation* station = m_pStation.Get();
  return {client.size(), m_crBackground.rgba(), m_crGrid.rgba(), m_crLine.rgba(), m_crFill.rgba(),
          m_nRate, m_nGridStepX, m_nGridStepY, m_nGridOffsetX, m_nGridOffsetY,
          station ? &station->m_lstLinkQuality : nullptr};
}

// Between two frames the grid usually moves left by one or two columns and
// the trace by as many samples; the kept plot then moves left as a whole
// (its origin in the ring moves right) and only the columns that came in at
// the right edge, and the one where the newest line segment meets the old
// trace, are drawn anew. Anything else draws the whole plot.
bool CGraphWnd::PaintKeptPlot(CMemDC& dc, const QRect& client) {
  QImage* image = dc.Image();
  const QTransform transform = dc.Painter().transform();
  if (!PixelsDirect(image, dc.Painter()) || client.isEmpty() || client.topLeft() != QPoint(0, 0)) return false;
  for (const QColor& colour : {m_crBackground, m_crGrid, m_crLine, m_crFill})
    if (colour.alpha() != 255) return false;

  const PlotSettings settings = CurrentPlotSettings(client);
  const auto scroll = static_cast<std::uint32_t>(m_nScroll);
  const std::size_t samples = settings.history ? settings.history->size() : 0;
  const std::uint64_t appended = settings.history ? settings.history->appended() : 0;
  const int width = client.width();

  bool full = true;
  if (m_bPlotValid && settings == m_plotSettings && scroll >= m_nPlotScroll &&
      appended >= m_nPlotAppended) {
    // Neither count wraps back: a scroll count that wraps changes the grid's
    // phase, and the history count only grows.
    const std::uint64_t movedGrid = scroll - m_nPlotScroll, movedTrace = appended - m_nPlotAppended;
    // With no trace in either frame, or the trace reaching past the left
    // edge in both (and the history longer than the move, so it was not
    // cleared or replaced), every column is the one d columns to its right
    // before.
    const bool traceless = samples <= 1 && m_nPlotSamples <= 1;
    const auto reaches = static_cast<std::size_t>(width) + static_cast<std::size_t>(m_nRate);
    const bool traceMoved = movedTrace == movedGrid && m_nPlotSamples >= reaches && samples >= reaches &&
                            samples > movedTrace;
    if (movedGrid == 0 && (traceless || (movedTrace == 0 && samples == m_nPlotSamples))) {
      full = false;
    } else if (movedGrid >= 1 && movedGrid < static_cast<std::uint64_t>(width / 4) && (traceless || traceMoved)) {
      const int moved = static_cast<int>(movedGrid);
      m_nPlotOrigin = (m_nPlotOrigin + moved) % width;
      RedrawRightColumns(client, moved + 1);
      full = false;
    }
  }
  if (full) {
    if (m_plot.size() != client.size()) m_plot = QImage(client.size(), QImage::Format_RGB32);
    m_nPlotOrigin = 0;
    QPainter painter(&m_plot);
    DrawPlot(painter, &m_plot, client, client.left() - m_nRate);
  }
  m_bPlotValid = true;
  m_plotSettings = settings;
  m_nPlotScroll = scroll;
  m_nPlotSamples = samples;
  m_nPlotAppended = appended;

  // The part of the plot the off-screen image covers, row by row in at most
  // two pieces of the ring.
  const int dx = qRound(transform.dx()), dy = qRound(transform.dy());
  const QRect area = client.translated(dx, dy).intersected(image->rect());
  if (area.isEmpty()) return true;
  const int start = (area.left() - dx + m_nPlotOrigin) % width;
  const int firstPiece = std::min(area.width(), width - start);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const QRgb* from = reinterpret_cast<const QRgb*>(m_plot.constScanLine(y - dy));
    QRgb* to = reinterpret_cast<QRgb*>(image->scanLine(y)) + area.left();
    std::copy(from + start, from + start + firstPiece, to);
    std::copy(from, from + (area.width() - firstPiece), to + firstPiece);
  }
  return true;
}

void CGraphWnd::RedrawRightColumns(const QRect& client, int count) {
  // The strip is drawn by the same code as the whole plot, with the trace
  // cut a little left of it. A line clipped at the strip's left edge may
  // differ there from the whole one; the margin keeps that out of the
  // columns taken.
  constexpr int kMargin = 4;
  const int width = client.width();
  // A strip wider than needed is drawn whole, so that it is not made anew
  // each time the count changes.
  const int needed = std::min(width, count + kMargin);
  if (m_strip.height() != client.height() || m_strip.width() < needed || m_strip.width() > width)
    m_strip = QImage(std::min(width, 2 * needed), client.height(), QImage::Format_RGB32);
  const int stripWidth = m_strip.width();
  const int stripLeft = client.right() - stripWidth + 1;
  {
    QPainter painter(&m_strip);
    painter.translate(-stripLeft, -client.top());
    DrawPlot(painter, &m_strip, client, stripLeft - 1);
  }
  const int taken = std::min(count, stripWidth);
  const int start = (client.right() - taken + 1 - client.left() + m_nPlotOrigin) % width;
  const int firstPiece = std::min(taken, width - start);
  for (int y = 0; y < client.height(); ++y) {
    const QRgb* from = reinterpret_cast<const QRgb*>(m_strip.constScanLine(y)) + (stripWidth - taken);
    QRgb* to = reinterpret_cast<QRgb*>(m_plot.scanLine(y));
    std::copy(from, from + firstPiece, to + start);
    std::copy(from + firstPiece, from + taken, to);
  }
}

void CGraphWnd::GridLines(const QRect& client, std::vector<int>& xs, std::vector<int>& ys) const {
  // Lines at start, start + step, ... that fall inside [low, high]; the
  // first visible one is found directly, however far off the offset lies.
  auto each = [](std::int64_t start, int step, int low, int high, std::vector<int>& out) {
    out.clear();
    if (start < low) start += (low - start + step - 1) / step * step;
    for (std::int64_t at = start; at <= high; at += step) out.push_back(static_cast<int>(at));
  };
  xs.clear();
  ys.clear();
  if (m_nGridStepX > 0) {
    // Unsigned, so a scroll count that has wrapped still gives 0..step-1.
    const auto shift = static_cast<std::uint32_t>(m_nScroll) % static_cast<std::uint32_t>(m_nGridStepX);
    each(std::int64_t{m_nGridOffsetX} - shift, m_nGridStepX, client.left(), client.right(), xs);
  }
  if (m_nGridStepY > 0) each(m_nGridOffsetY / 2, m_nGridStepY, client.top(), client.bottom(), ys);
}

void CGraphWnd::DrawGrid(QPainter& painter, const QRect& client) {
  GridLines(client, m_gridX, m_gridY);
  std::vector<QLine> lines;
  for (int x : m_gridX) lines.emplace_back(x, client.top(), x, client.bottom());
  for (int y : m_gridY) lines.emplace_back(client.left(), y, client.right(), y);
  painter.setPen(ThinPen(m_crGrid));
  painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

// The background and the grid's full-length one-pixel lines written into
// the off-screen image row by row: one row with the vertical lines is built
// once and copied to every row that has no horizontal line. These are the
// pixels the painter's fill and lines give, at a fraction of the cost.
bool CGraphWnd::FillGrid(QPainter& painter, QImage* image, const QRect& client) {
  const QTransform transform = painter.transform();
  if (!PixelsDirect(image, painter) || m_crBackground.alpha() != 255 || m_crGrid.alpha() != 255) return false;
  const int dx = qRound(transform.dx()), dy = qRound(transform.dy());
  // The client rectangle in image pixels, cut to the image.
  const QRect area = client.translated(dx, dy).intersected(image->rect());
  if (area.isEmpty()) return true;
  GridLines(client, m_gridX, m_gridY);
  const QRgb background = m_crBackground.rgb(), grid = m_crGrid.rgb();
  m_row.assign(static_cast<std::size_t>(area.width()), background);
  for (int x : m_gridX)
    if (x + dx >= area.left() && x + dx <= area.right()) m_row[static_cast<std::size_t>(x + dx - area.left())] = grid;
  auto ys = m_gridY.begin();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image->scanLine(y)) + area.left();
    while (ys != m_gridY.end() && *ys + dy < y) ++ys;
    if (ys != m_gridY.end() && *ys + dy == y)
      std::fill(line, line + area.width(), grid);
    else
      std::copy(m_row.begin(), m_row.end(), line);
  }
  return true;
}

// The edges are the last pixel row and column themselves, so that a quality
// of 0 and the newest sample are visible: 100 lies on the top row, 0 on the
// bottom row.
void CGraphWnd::DrawTrace(QPainter& painter, QImage* image, const QRect& client, const CLinkQualityHistory& history,
                          int xStop) {
  const int h = client.bottom() - client.top();
  // A quality is a percentage; anything outside is drawn at the nearer edge.
  auto yOf = [&](int value) { return client.bottom() - MulDiv(std::clamp(value, 0, 100), h, 100); };

  // Newest sample at the right edge, one column per older sample, down to
  // xStop (m_nRate columns left of the window for the whole plot).
  m_trace.clear();
  int x = client.right();
  std::size_t i = history.size();
  for (; i > 0 && x >= xStop; --x) m_trace.append(QPoint(x, yOf(history[--i])));
  const int xEnd = x;  // one column left of the oldest sample drawn

  painter.setPen(ThinPen(m_crLine));
  painter.drawPolyline(m_trace);
  // A polyline leaves out its last pixel; that is the oldest sample's.
  painter.drawPoint(m_trace.last());

  // The area below the trace, as the first row filled in each column: from
  // each sample's row down to the bottom; when the history ends inside the
  // window, the edge slants down to the bottom over one more column on the
  // left, so the fill ends one pixel left of the oldest sample.
  const int first = std::max(client.left(), xEnd);
  m_tops.assign(static_cast<std::size_t>(client.right() - first + 1), client.bottom() + 1);
  for (const QPoint& point : m_trace)
    if (point.x() >= first) m_tops[static_cast<std::size_t>(point.x() - first)] = point.y();
  if (i == 0 && xEnd >= client.left()) {
    const int oldest = m_trace.last().y();
    m_tops[0] = oldest + (client.bottom() + 1 - oldest) * 2 / 3;
  }
  FillBelow(painter, image, first, client.bottom());
}

// OR-ed with what lies beneath: grid lines show through the fill, and the
// trace, whose colour already holds the fill's bits, stays as it is. On the
// off-screen image the bits are combined directly (a raster operation through
// the painter costs several times more per pixel); elsewhere the painter
// does it.
void CGraphWnd::FillBelow(QPainter& painter, QImage* image, int first, int bottom) {
  const QTransform transform = painter.transform();
  if (PixelsDirect(image, painter)) {
    const int dx = qRound(transform.dx()), dy = qRound(transform.dy());
    const int last = first + static_cast<int>(m_tops.size()) - 1;
    const int x0 = std::max(first, -dx), x1 = std::min(last, image->width() - 1 - dx);
    const int top = *std::min_element(m_tops.begin(), m_tops.end());
    const int y0 = std::max(top, -dy), y1 = std::min(bottom, image->height() - 1 - dy);
    const QRgb bits = m_crFill.rgb() & RGB_MASK;
    const int* tops = m_tops.data() + (x0 - first);
    for (int y = y0; y <= y1; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(image->scanLine(y + dy)) + (x0 + dx);
      OrBelow(line, tops, x1 - x0 + 1, y, bits);
    }
    return;
  }
  std::vector<QLine> columns;
  for (std::size_t i = 0; i < m_tops.size(); ++i) {
    const int column = first + static_cast<int>(i);
    if (m_tops[i] <= bottom) columns.emplace_back(column, m_tops[i], column, bottom);
  }
  painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
  painter.setPen(ThinPen(m_crFill));
  painter.drawLines(columns.data(), static_cast<int>(columns.size()));
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}
