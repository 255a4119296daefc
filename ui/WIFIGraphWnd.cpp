#include "ui/WIFIGraphWnd.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>

#include "ui/MemDC.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/Station.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CWIFIGraphWnd::CWIFIGraphWnd(QWidget* parent) : CGraphWnd(parent) {
  // A small sans-serif face, 11 pixels high: DejaVu Sans, which this desktop
  // has; the style hint picks another sans-serif face where it is missing.
  m_font.setFamily(QStringLiteral("DejaVu Sans"));
  m_font.setStyleHint(QFont::SansSerif);
  m_font.setPixelSize(11);
}

QStringList CWIFIGraphWnd::OverlayTexts() const {
  const CStation* station = GetStation();
  if (!station) return {QStringLiteral("To view signal information, select a station from the list")};
  QStringList texts{QStringLiteral("Viewing Link Quality for station: %1 (%2)")
                        .arg(Text(station->GetSSID()), Text(station->GetMacText()))};
  if (CNativeWIFIDevice* device = station->m_pDevice) {
    texts << Text(device->GetDescription());
    if (const CStation* current = device->FindStation(device->GetCurrentBssid()))
      texts << QStringLiteral("Connected to %1 (%2)").arg(Text(current->GetSSID()), Text(current->GetMacText()));
    else
      texts << Text(device->GetInterfaceStateText());
    texts << (device->m_bScanPending ? QStringLiteral("Scanning") : QStringLiteral("Communicating"));
  }
  return texts;
}

void CWIFIGraphWnd::DrawOverlay(CMemDC& dc) {
  const QStringList texts = OverlayTexts();
  QPainter& painter = dc.Painter();
  QImage* image = dc.Image();
  if (PixelsDirect(image, painter)) {
    const std::vector<QRgb> colours = {m_crLabel.rgba(), m_crValue.rgba(), m_crBackground.rgba(), m_crGrid.rgba(),
                                       m_crLine.rgba(), m_crFill.rgba()};
    if (texts != m_overlayTexts || size() != m_overlaySize || m_nLabelWidth != m_nOverlayLabelWidth ||
        colours != m_overlayColours) {
      m_overlayColours = colours;
      BuildOverlay(texts);
    }
    if (DrawKeptOverlay(*image, painter)) return;
  }
  PaintOverlay(painter, texts);
}

std::vector<QRgb> CWIFIGraphWnd::BaseColours() const {
  std::vector<QRgb> colours;
  for (const QColor& colour : {m_crBackground, m_crGrid, m_crLine})
    for (QRgb fill : {QRgb{0}, m_crFill.rgb() & RGB_MASK}) {
      const QRgb base = (colour.rgb() | fill) & RGB_MASK;
      if (std::find(colours.begin(), colours.end(), base) == colours.end()) colours.push_back(base);
    }
  return colours;
}

void CWIFIGraphWnd::BuildOverlay(const QStringList& texts) {
  m_overlayTexts = texts;
  m_overlaySize = size();
  m_nOverlayLabelWidth = m_nLabelWidth;
  m_overlayBase = BaseColours();
  m_overlay = QImage();
  m_partialAt.clear();
  m_partialOut.clear();
  if (m_overlaySize.isEmpty()) return;
  const std::size_t count = m_overlayBase.size();
  std::vector<QImage> painted;
  for (QRgb base : m_overlayBase) {
    QImage image(m_overlaySize, QImage::Format_RGB32);
    image.fill(QColor(base));
    QPainter painter(&image);
    PaintOverlay(painter, texts);
    painter.end();
    painted.push_back(std::move(image));
  }
  QImage layer(m_overlaySize, QImage::Format_ARGB32_Premultiplied);
  QRect used;
  std::vector<QRgb> out(count);
  for (int y = 0; y < m_overlaySize.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
    for (int x = 0; x < m_overlaySize.width(); ++x) {
      bool same = true, untouched = true;
      for (std::size_t i = 0; i < count; ++i) {
        out[i] = reinterpret_cast<const QRgb*>(painted[i].constScanLine(y))[x] | ~RGB_MASK;
        same = same && out[i] == out[0];
        untouched = untouched && out[i] == (m_overlayBase[i] | ~RGB_MASK);
      }
      line[x] = 0;
      if (untouched) continue;
      if (same) {
        line[x] = out[0];
        used |= QRect(x, y, 1, 1);
      } else {
        m_partialAt.emplace_back(x, y);
        m_partialOut.insert(m_partialOut.end(), out.begin(), out.end());
      }
    }
  }
  if (!used.isEmpty()) {
    m_overlay = layer.copy(used);
    m_overlayAt = used.topLeft();
  }
}

bool CWIFIGraphWnd::DrawKeptOverlay(QImage& image, QPainter& painter) {
  const int dx = qRound(painter.transform().dx()), dy = qRound(painter.transform().dy());
  const std::size_t count = m_overlayBase.size();
  // Where each partly covered pixel lies on the image and which base colour
  // is there, all looked up before anything is drawn.
  std::vector<std::pair<QRgb*, QRgb>> partial;
  partial.reserve(m_partialAt.size());
  for (std::size_t p = 0; p < m_partialAt.size(); ++p) {
    const QPoint at = m_partialAt[p] + QPoint(dx, dy);
    if (!image.rect().contains(at)) continue;
    QRgb* pixel = reinterpret_cast<QRgb*>(image.scanLine(at.y())) + at.x();
    const auto base = std::find(m_overlayBase.begin(), m_overlayBase.end(), *pixel & RGB_MASK);
    if (base == m_overlayBase.end()) return false;
    partial.emplace_back(pixel, m_partialOut[p * count + static_cast<std::size_t>(base - m_overlayBase.begin())]);
  }
  if (!m_overlay.isNull()) painter.drawImage(m_overlayAt, m_overlay);
  for (const auto& [pixel, colour] : partial) *pixel = colour;
  return true;
}

void CWIFIGraphWnd::PaintOverlay(QPainter& painter, const QStringList& texts) const {
  painter.save();
  painter.setFont(m_font);
  painter.setPen(m_crLabel);
  // Text cells are painted opaque, over the trace and the grid.
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(m_crBackground);

  const QRect client = rect();
  // From (5, 5) to half the width; the text is cut there.
  const QRect titleRect(QPoint(5, 5), QPoint(client.width() / 2 - 1, client.bottom()));
  QRect drawn;
  painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignTop, texts.value(0), &drawn);
  if (texts.size() == 4) {
    int y = 5 + drawn.height();
    y = DrawLabelRow(painter, QStringLiteral("Interface"), texts[1], y);
    y = DrawLabelRow(painter, QStringLiteral("Status"), texts[2], y);
    DrawLabelRow(painter, QStringLiteral("TX/RX"), texts[3], y);
  }
  painter.restore();
}

int CWIFIGraphWnd::DrawLabelRow(QPainter& painter, const QString& label, const QString& value, int y) const {
  const QString labelText = label + QLatin1Char(':');
  const QRect client = rect();
  QRect labelRect(QPoint(client.left(), y), QPoint(m_nLabelWidth - 4 - 1, client.bottom()));
  QRect valueRect(QPoint(m_nLabelWidth, y), QPoint(client.right(), client.bottom()));
  const int labelFlags = Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap;
  const int valueFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

  const int height = std::max(painter.boundingRect(labelRect, labelFlags, labelText).height(),
                              painter.boundingRect(valueRect, valueFlags, value).height());
  const int rowBottom = y + height;
  labelRect.setBottom(rowBottom - 1);
  valueRect.setBottom(rowBottom - 1);
  painter.setPen(m_crLabel);
  painter.drawText(labelRect, labelFlags, labelText);
  painter.setPen(m_crValue);
  painter.drawText(valueRect, valueFlags, value);
  painter.setPen(m_crLabel);
  return rowBottom;
}
