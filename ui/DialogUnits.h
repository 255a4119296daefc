// Dialog units: the font-relative measure the dialog layouts are given in.
// One horizontal unit is a quarter of the dialog font's average letter width
// (half the width of the 52 letters over 26, rounded up, in whole pixels);
// one vertical unit is an eighth of its line height.
#pragma once

#include <QFont>
#include <QRect>

struct DialogUnits {
  double x = 1.0;
  double y = 1.0;

  static DialogUnits Of(const QFont& font);
  int Cx(int units) const;
  int Cy(int units) const;
  QRect Map(int left, int top, int width, int height) const;
};
