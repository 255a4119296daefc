// A scrolling, oscilloscope-like trace of one station's link-quality history:
// a bright line over a filled area on a black background with a grid that
// moves left one pixel per timer event, one pixel column per sample, the
// newest sample at the right edge. The graph samples nothing itself; it draws
// whatever history the station has when it paints.
//
// The repaint timer runs only while the graph can be seen: a tick that finds
// the graph hidden, its window minimised or not exposed (unmapped, hidden in
// the notification area) stops the timer, and the graph starts it again when
// it or its window is shown, restored or exposed, advancing the scroll count
// by the ticks it skipped, so the grid is where it would have been.
//
// Station lifetime: the station belongs to its adapter monitor and is deleted
// with it, possibly while it is shown. The graph holds it through a
// CStationWatch, which the station's destructor clears, so a repaint after
// that finds no station and draws the empty graph. Stations are created and
// deleted on the user-interface thread only (the monitors' workers never
// delete one), the thread that paints.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QPolygon>
#include <QSize>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wlan/Station.h"

class CMemDC;
class QWindow;

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
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

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
  // Stops the repaint timer and watches the window for its return.
  void PauseTimer();
  // Restarts a paused timer once the graph is on screen again.
  void ResumeTimer();

  // The plot (background, grid, trace and fill) drawn into `image` through
  // `painter`, the trace from the right edge down to column `xStop`.
  void DrawPlot(QPainter& painter, QImage* image, const QRect& client, int xStop);
  // Brings the kept plot up to date and copies it into the off-screen image;
  // false, with nothing drawn, where the image is not one the plot can be
  // copied into.
  bool PaintKeptPlot(CMemDC& dc, const QRect& client);
  // Draws the `count` rightmost columns of the plot anew into the kept plot.
  void RedrawRightColumns(const QRect& client, int count);

  // x of the vertical and y of the horizontal grid lines inside `client`.
  void GridLines(const QRect& client, std::vector<int>& xs, std::vector<int>& ys) const;
  void DrawGrid(QPainter& painter, const QRect& client);
  // Background and grid written straight into `image`; false (nothing done)
  // where the painter has to draw them.
  bool FillGrid(QPainter& painter, QImage* image, const QRect& client);
  void DrawTrace(QPainter& painter, QImage* image, const QRect& client, const CLinkQualityHistory& history, int xStop);
  // ORs m_crFill into column first + i from row m_tops[i] down to `bottom`.
  void FillBelow(QPainter& painter, QImage* image, int first, int bottom);

  // Reused from paint to paint: the trace, and the first filled row of each
  // column from the leftmost one that has fill.
  QPolygon m_trace;
  std::vector<int> m_tops;
  // The off-screen image, the grid lines and one background row with the
  // vertical lines, kept from paint to paint.
  QImage m_buffer;
  std::vector<int> m_gridX, m_gridY;
  std::vector<QRgb> m_row;

  // What a plot was drawn for. When only the scroll count and the samples
  // appended have grown, by the same d, the kept plot moves left by d
  // columns and only its right end is drawn anew.
  struct PlotSettings {
    QSize size;
    QRgb background = 0, grid = 0, line = 0, fill = 0;
    int rate = 0, stepX = 0, stepY = 0, offsetX = 0, offsetY = 0;
    const CLinkQualityHistory* history = nullptr;
    bool operator==(const PlotSettings&) const = default;
  };
  PlotSettings CurrentPlotSettings(const QRect& client) const;
  // The kept plot, a ring of columns: client column x is image column
  // (x + m_nPlotOrigin) mod width. Never holds overlay pixels.
  QImage m_plot;
  int m_nPlotOrigin = 0;
  bool m_bPlotValid = false;
  PlotSettings m_plotSettings;
  std::uint32_t m_nPlotScroll = 0;
  std::size_t m_nPlotSamples = 0;
  std::uint64_t m_nPlotAppended = 0;
  // The right end of the plot as last drawn anew, with a margin on its left.
  QImage m_strip;

  // Set while the repaint timer is stopped for want of a screen; the clock
  // runs from the pause.
  bool m_bPaused = false;
  QElapsedTimer m_pausedSince;
  // What is watched while paused: the top-level widget (shown, restored)
  // and its native window (exposed).
  QPointer<QWidget> m_pWatchedWidget;
  QPointer<QWindow> m_pWatchedWindow;
};
