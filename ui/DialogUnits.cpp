#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

DialogUnits DialogUnits::Of(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int average = (letters / 26 + 1) / 2;
  return {average / 4.0, metrics.height() / 8.0};
}

int DialogUnits::Cx(int units) const { return qRound(units * x); }

int DialogUnits::Cy(int units) const { return qRound(units * y); }

QRect DialogUnits::Map(int left, int top, int width, int height) const {
  return QRect(Cx(left), Cy(top), Cx(width), Cy(height));
}
