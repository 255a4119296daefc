// Helpers for driving an output window the way the program does: texts are
// handed over as WM_OUTWND_ADDTEXT with a malloc'ed copy, timer ticks arrive
// as WM_TIMER, the mouse sends real mouse events to the viewport, and what
// the window shows is read back from QWidget::grab.
#pragma once

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "eventlog/Log.h"
#include "eventlog/widgets/OutWnd.h"
#include "platform/winmsg.h"

namespace outwnd {

// Hands a copy of `text` to the window, as a log writer on its thread does.
inline void Add(COutWnd& wnd, const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  SendMessage(wnd.GetSafeHwnd(), WM_OUTWND_ADDTEXT, reinterpret_cast<WPARAM>(copy), 0);
}

inline void Tick(COutWnd& wnd, UINT_PTR id) { SendMessage(wnd.GetSafeHwnd(), WM_TIMER, id, 0); }

// The stored lines, oldest first.
inline std::vector<std::string> Lines(const COutWnd& wnd) {
  std::vector<std::string> lines;
  for (int n = wnd.LineCount() - 1; n >= 0; --n) lines.push_back(wnd.Line(n));
  return lines;
}

// A point inside the character cell at (column, line), given the window's
// current positions.
inline QPoint CellPoint(const COutWnd& wnd, int column, int line) {
  const int h = wnd.viewport()->height();
  const int x = (column - wnd.ScrollColumn()) * wnd.CharWidth() + 1;
  const int y = h - (line - wnd.ScrollLines()) * wnd.LineHeight() - 1;
  return {x, y};
}

inline void Mouse(COutWnd& wnd, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QWidget* target = wnd.viewport();
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}
inline void Press(COutWnd& wnd, QPoint pos) {
  Mouse(wnd, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
}
inline void MoveTo(COutWnd& wnd, QPoint pos) { Mouse(wnd, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton); }
inline void Release(COutWnd& wnd, QPoint pos) {
  Mouse(wnd, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}
inline void Drag(COutWnd& wnd, QPoint from, QPoint to) {
  Press(wnd, from);
  MoveTo(wnd, to);
  Release(wnd, to);
}

// What the viewport shows, painted now.
inline QImage Shot(COutWnd& wnd) { return wnd.viewport()->grab().toImage(); }

inline bool Dark(QRgb pixel) { return qGray(pixel) < 128; }

// Rows counted from the bottom of the viewport (0 = the bottom row).
inline int RowTop(const COutWnd& wnd, int row) {
  return wnd.viewport()->height() - (row + 1) * wnd.LineHeight();
}

// How many character cells of a row carry ink: the rightmost dark pixel's
// column + 1, or 0 for an empty row. Text drawn in 'H' keeps its ink inside
// each cell.
inline int InkColumns(const COutWnd& wnd, const QImage& shot, int row) {
  const int top = std::max(0, RowTop(wnd, row));
  const int bottom = RowTop(wnd, row) + wnd.LineHeight();
  int right = -1;
  for (int y = top; y < bottom && y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (Dark(shot.pixel(x, y))) right = std::max(right, x);
  return right < 0 ? 0 : right / wnd.CharWidth() + 1;
}

// Whether a cell is drawn highlighted: mostly dark (white text on black).
inline bool CellHighlighted(const COutWnd& wnd, const QImage& shot, int visibleColumn, int row) {
  const int top = RowTop(wnd, row);
  int dark = 0;
  int all = 0;
  for (int y = top; y < top + wnd.LineHeight(); ++y)
    for (int x = visibleColumn * wnd.CharWidth(); x < (visibleColumn + 1) * wnd.CharWidth(); ++x, ++all)
      if (Dark(shot.pixel(x, y))) ++dark;
  return dark * 2 > all;
}

}  // namespace outwnd
