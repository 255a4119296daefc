// A scrolling, oscilloscope-like trace of one station's link-quality history:
// a bright line over a filled area on a black background with a grid that
// moves left one pixel per timer event, one pixel column per sample, the
// newest sample at the right edge. The graph samples nothing itself; it draws
// whatever history the station has when it paints.
//
// Station lifetime: the station belongs to its adapter monitor and is deleted
// with it, possibly while it is shown. The graph holds it through a
// CStationWatch, which the station's destructor clears, so a repaint after
// that finds no station and draws the empty graph. Stations are created and
// deleted on the user-interface thread only (the monitors' workers never
// delete one), the thread that paints.
#pragma once

#include <QColor>
#include <QPolygon>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "wlan/Station.h"

class CMemDC;

class CGraphWnd : public QWidget {
  Q_OBJECT

 public:
  // Starts the repaint timer at 2 events per second.
  explicit CGraphWnd(QWidget* parent = nullptr);
  ~CGraphWnd() override;

  // Repaint timer events per second, kept within 1..1000 (the timer period
  // is 1000 / rate ms). Restarts the timer and requests a repaint.
  void SetRefreshRate(int nRate);
  // Distance between grid lines; a step below 1 draws no lines in that
  // direction. Requests a repaint.
  void SetGridSpacing(int nStepX, int nStepY);
  // x of the first vertical line while the scroll count is a multiple of the
  // x step; the first horizontal line lies at half the y offset.
  void SetGridOffset(int nOffsetX, int nOffsetY);
  // The station whose history is drawn; null for none. Requests a repaint.
  void SetStation(CStation* pStation);
  // The station shown, or null (also once it has been deleted).
  CStation* GetStation() const { return m_pStation.Get(); }

 protected:
  // Called at the end of every paint, after the trace, with the off-screen
  // context; does nothing here.
  virtual void DrawOverlay(CMemDC& dc);

  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

  CStationWatch m_pStation;
  int m_nTimer = 0;
  std::int32_t m_nScroll = 0;  // timer events so far (wraps)
  int m_nRate = 2;
  int m_nGridStepX = 12;
  int m_nGridStepY = 12;
  int m_nGridOffsetX = 6;
  int m_nGridOffsetY = 6;
  QColor m_crGrid{8, 128, 16};
  QColor m_crLine{0, 255, 0};
  QColor m_crFill{0, 98, 0};
  QColor m_crBackground{0, 0, 0};

 private:
  void DrawGrid(QPainter& painter, const QRect& client) const;
  void DrawTrace(CMemDC& dc, const QRect& client, const CLinkQualityHistory& history);
  // ORs m_crFill into column first + i from row m_tops[i] down to `bottom`.
  void FillBelow(CMemDC& dc, int first, int bottom);

  // Reused from paint to paint: the trace, and the first filled row of each
  // column from the leftmost one that has fill.
  QPolygon m_trace;
  std::vector<int> m_tops;
};
