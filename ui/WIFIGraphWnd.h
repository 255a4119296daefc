// The link-quality graph as the station view shows it: the scrolling trace
// of CGraphWnd with a text overlay naming the station, its adapter, the
// adapter's connection state and whether it is scanning.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "ui/GraphWnd.h"

class QPainter;

class CWIFIGraphWnd : public CGraphWnd {
  Q_OBJECT

 public:
  explicit CWIFIGraphWnd(QWidget* parent = nullptr);

 protected:
  // The title and the rows "Interface", "Status" and "TX/RX" for the station
  // shown, or a prompt to select one. Asks the WLAN service for the adapter's
  // current connection (and its state when not connected) on every paint.
  void DrawOverlay(CMemDC& dc) override;

  int m_nLabelWidth = 60;
  QColor m_crLabel{255, 255, 0};
  QColor m_crValue{255, 165, 0};

 private:
  // One row: the label right-aligned and word-wrapped in the column ending
  // 4 pixels before m_nLabelWidth, the value left-aligned and word-wrapped
  // from m_nLabelWidth to the right edge. Returns the y of the next row.
  int DrawLabelRow(QPainter& painter, const QString& label, const QString& value, int y) const;

  QFont m_font;
};
