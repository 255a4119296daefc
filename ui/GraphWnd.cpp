#include "ui/GraphWnd.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "ui/MemDC.h"

namespace {

// value * numerator / denominator rounded to the nearest integer, halves
// away from zero (all three non-negative here).
int MulDiv(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  return static_cast<int>((2 * product + denominator) / (2 * static_cast<std::int64_t>(denominator)));
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
}

void CGraphWnd::SetRefreshRate(int nRate) {
  // A rate of 0 or below would divide by zero, one above 1000 would give a
  // period of 0 ms and a timer that never lets the event loop rest.
  m_nRate = std::clamp(nRate, 1, 1000);
  if (m_nTimer) {
    killTimer(m_nTimer);
    m_nTimer = 0;
  }
  update();
  m_nTimer = startTimer(1000 / m_nRate);
}

void CGraphWnd::SetGridSpacing(int nStepX, int nStepY) {
  m_nGridStepX = nStepX;
  m_nGridStepY = nStepY;
  update();
}

void CGraphWnd::SetGridOffset(int nOffsetX, int nOffsetY) {
  m_nGridOffsetX = nOffsetX;
  m_nGridOffsetY = nOffsetY;
  update();
}

void CGraphWnd::SetStation(CStation* pStation) {
  m_pStation.Reset(pStation);
  update();
}

void CGraphWnd::DrawOverlay(CMemDC&) {}

void CGraphWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_nTimer) {
    QWidget::timerEvent(event);
    return;
  }
  // Wraps instead of overflowing after 2^31 events.
  m_nScroll = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_nScroll) + 1u);
  update();
}

void CGraphWnd::paintEvent(QPaintEvent* event) {
  QPainter screen(this);
  CMemDC dc(screen, event->rect());
  QPainter& painter = dc.Painter();
  const QRect client = rect();

  painter.fillRect(client, m_crBackground);
  DrawGrid(painter, client);
  if (const CStation* station = m_pStation.Get(); station && station->m_lstLinkQuality.size() > 1)
    DrawTrace(painter, client, station->m_lstLinkQuality);

  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::NoBrush);
  DrawOverlay(dc);
}

void CGraphWnd::DrawGrid(QPainter& painter, const QRect& client) const {
  std::vector<QLine> lines;
  if (m_nGridStepX > 0) {
    // Unsigned, so a scroll count that has wrapped still gives 0..step-1.
    const int shift = static_cast<int>(static_cast<std::uint32_t>(m_nScroll) % static_cast<std::uint32_t>(m_nGridStepX));
    for (int x = m_nGridOffsetX - shift; x <= client.right(); x += m_nGridStepX)
      if (x >= client.left()) lines.emplace_back(x, client.top(), x, client.bottom());
  }
  if (m_nGridStepY > 0) {
    for (int y = m_nGridOffsetY / 2; y <= client.bottom(); y += m_nGridStepY)
      if (y >= client.top()) lines.emplace_back(client.left(), y, client.right(), y);
  }
  painter.setPen(ThinPen(m_crGrid));
  painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

// The edges are the last pixel row and column themselves, so that a quality
// of 0 and the newest sample are visible: 100 lies on the top row, 0 on the
// bottom row.
void CGraphWnd::DrawTrace(QPainter& painter, const QRect& client, const CLinkQualityHistory& history) {
  const int h = client.bottom() - client.top();
  // A quality is a percentage; anything outside is drawn at the nearer edge.
  auto yOf = [&](int value) { return client.bottom() - MulDiv(std::clamp(value, 0, 100), h, 100); };

  // Newest sample at the right edge, one column per older sample, down to
  // m_nRate columns left of the window.
  m_trace.clear();
  const int xStop = client.left() - m_nRate;
  int x = client.right();
  for (std::size_t i = history.size(); i > 0 && x >= xStop; --x) m_trace.append(QPoint(x, yOf(history[--i])));
  const int xEnd = x;  // one column left of the oldest sample drawn

  painter.setPen(ThinPen(m_crLine));
  painter.drawPolyline(m_trace);
  // A polyline leaves out its last pixel; that is the oldest sample's.
  painter.drawPoint(m_trace.last());

  // The area below the trace. Fills take the pixels whose centres lie
  // inside the outline, so each vertex is put on the centre of its column at
  // the top edge of its row: column x is filled from its sample's row down
  // to the last row, and the right edge closes beyond the newest column. On
  // the left the outline slants down to the bottom one column further left.
  const qreal below = client.bottom() + 1;
  const qreal beyond = client.right() + 1;
  m_fill.clear();
  m_fill.append(QPointF(beyond, m_trace.first().y()));
  for (const QPoint& point : m_trace) m_fill.append(QPointF(point.x() + 0.5, point.y()));
  m_fill.append(QPointF(xEnd, below));
  m_fill.append(QPointF(beyond, below));

  // OR-ed with what lies beneath: grid lines show through the fill, and the
  // trace, whose colour already holds the fill's bits, stays as it is.
  painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
  painter.setPen(Qt::NoPen);
  painter.setBrush(m_crFill);
  painter.drawPolygon(m_fill, Qt::WindingFill);
}
