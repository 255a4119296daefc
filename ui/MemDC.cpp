#include "ui/MemDC.h"

#include <QPaintDevice>
#include <QTransform>

namespace {

bool DrawsDirectly(const QPainter& target) {
  const QPaintDevice* device = target.device();
  const int type = device ? device->devType() : QInternal::UnknownDevice;
  return type == QInternal::Printer || type == QInternal::Picture;
}

}  // namespace

bool PixelsDirect(const QImage* image, const QPainter& painter) {
  return image && image->format() == QImage::Format_RGB32 && image->devicePixelRatio() == 1.0 &&
         painter.transform().type() <= QTransform::TxTranslate;
}

CMemDC::CMemDC(QPainter& target, const QRect& clip) : CMemDC(target, clip, m_ownImage) {}

CMemDC::CMemDC(QPainter& target, const QRect& clip, QImage& buffer)
    : m_target(target), m_rect(clip), m_bMemDC(!DrawsDirectly(target)), m_image(buffer) {
  if (!m_bMemDC || m_rect.isEmpty()) {
    m_bMemDC = false;
    return;
  }
  // Device pixels, so that a scaled screen gets a sharp copy.
  const qreal ratio = target.device()->devicePixelRatioF();
  const QSize size = m_rect.size() * ratio;
  if (m_image.size() != size || m_image.format() != QImage::Format_RGB32) m_image = QImage(size, QImage::Format_RGB32);
  m_image.setDevicePixelRatio(ratio);
  m_painter.begin(&m_image);
  m_painter.setFont(target.font());
  // Logical origin of the image: the clip box's top-left corner.
  m_painter.translate(-m_rect.topLeft());
}

CMemDC::~CMemDC() {
  if (!m_bMemDC) return;
  m_painter.end();
  m_target.save();
  m_target.setCompositionMode(QPainter::CompositionMode_Source);
  m_target.drawImage(m_rect.topLeft(), m_image);
  m_target.restore();
}
