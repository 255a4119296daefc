// The link-quality graph as the station view shows it: the scrolling trace
// of CGraphWnd with a text overlay naming the station, its adapter, the
// adapter's connection state and whether it is scanning.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

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
  // On the off-screen image the text is drawn once into a kept layer and
  // copied from there until a text, the size or a colour changes.
  void DrawOverlay(CMemDC& dc) override;

  int m_nLabelWidth = 60;
  QColor m_crLabel{255, 255, 0};
  QColor m_crValue{255, 165, 0};

 private:
  // The texts to show: the title alone (or the prompt), or the title and
  // the values of the rows "Interface", "Status" and "TX/RX".
  QStringList OverlayTexts() const;
  void PaintOverlay(QPainter& painter, const QStringList& texts) const;
  // The colours the graph can have beneath the text: background, grid and
  // trace, each with and without the fill OR-ed in.
  std::vector<QRgb> BaseColours() const;
  // Paints the texts onto one plain image per base colour. Pixels that come
  // out the same on all of them (the text and its opaque cells) go into the
  // layer; pixels left as they were are transparent; for the few a glyph's
  // edge covers only in part, what each base colour becomes is kept.
  void BuildOverlay(const QStringList& texts);
  // Draws the kept layer; false, with nothing drawn, when a partly covered
  // pixel lies on a colour other than the base colours.
  bool DrawKeptOverlay(QImage& image, QPainter& painter);

  // One row: the label right-aligned and word-wrapped in the column ending
  // 4 pixels before m_nLabelWidth, the value left-aligned and word-wrapped
  // from m_nLabelWidth to the right edge. Returns the y of the next row.
  int DrawLabelRow(QPainter& painter, const QString& label, const QString& value, int y) const;

  QFont m_font;

  // The kept text layer (opaque or fully transparent pixels) and where it
  // goes, for the texts, size, label width and colours it was made with;
  // the partly covered pixels with what each base colour turns into there.
  QStringList m_overlayTexts;
  QSize m_overlaySize;
  int m_nOverlayLabelWidth = -1;
  std::vector<QRgb> m_overlayColours;
  std::vector<QRgb> m_overlayBase;
  QImage m_overlay;
  QPoint m_overlayAt;
  std::vector<QPoint> m_partialAt;
  std::vector<QRgb> m_partialOut;  // m_overlayBase.size() per pixel
};
