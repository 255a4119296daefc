#include "ui/SvgIcon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The icons live in a static library, whose resource registration the
// linker would drop unless something refers to it.
static void InitIconResources() { Q_INIT_RESOURCE(aerlume); }

QIcon LoadSvgIcon(const QString& path) {
  static const bool initialised = (InitIconResources(), true);
  (void)initialised;
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return QIcon();
  QIcon icon;
  for (int size : {16, 20, 22, 24, 32, 48, 64, 128}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}
