#include "ui/WIFIGraphWnd.h"

#include <QPainter>
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

void CWIFIGraphWnd::DrawOverlay(CMemDC& dc) {
  QPainter& painter = dc.Painter();
  painter.save();
  painter.setFont(m_font);
  painter.setPen(m_crLabel);
  // Text cells are painted opaque, over the trace and the grid.
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(m_crBackground);

  const QRect client = rect();
  // From (5, 5) to half the width; the text is cut there.
  const QRect titleRect(QPoint(5, 5), QPoint(client.width() / 2 - 1, client.bottom()));
  const CStation* station = GetStation();
  if (station) {
    const QString title = QStringLiteral("Viewing Link Quality for station: %1 (%2)")
                              .arg(Text(station->GetSSID()), Text(station->GetMacText()));
    QRect drawn;
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignTop, title, &drawn);
    int y = 5 + drawn.height();
    if (CNativeWIFIDevice* device = station->m_pDevice) {
      y = DrawLabelRow(painter, QStringLiteral("Interface"), Text(device->GetDescription()), y);
      QString status;
      if (const CStation* current = device->FindStation(device->GetCurrentBssid()))
        status = QStringLiteral("Connected to %1 (%2)").arg(Text(current->GetSSID()), Text(current->GetMacText()));
      else
        status = Text(device->GetInterfaceStateText());
      y = DrawLabelRow(painter, QStringLiteral("Status"), status, y);
      DrawLabelRow(painter, QStringLiteral("TX/RX"),
                   device->m_bScanPending ? QStringLiteral("Scanning") : QStringLiteral("Communicating"), y);
    }
  } else {
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("To view signal information, select a station from the list"));
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
