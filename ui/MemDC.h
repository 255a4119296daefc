// Off-screen drawing for custom-drawn windows: everything is painted into an
// image the size of the paint's clip box, and the image is copied to the
// target in one block when the CMemDC goes out of scope, so a window that
// repaints many times a second never shows a half-drawn frame.
//
//   void CMyWnd::paintEvent(QPaintEvent* event) {
//     QPainter screen(this);
//     CMemDC dc(screen, event->rect());
//     dc->fillRect(...);  // widget coordinates, as on screen
//   }
//
// For a printer or a recorded picture there is nothing to flicker: the
// CMemDC then draws straight through the target painter.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

// Whether `painter` draws into `image` so that its pixels can be written
// directly: an RGB32 image at one device pixel per logical one, with a
// transform that only moves. Elsewhere (a printer, a picture, a scaled
// screen) drawing has to go through the painter.
bool PixelsDirect(const QImage* image, const QPainter& painter);

class CMemDC {
 public:
  // `target` must be active; `clip` is the rectangle to draw (logical
  // coordinates of the target), normally the paint event's rectangle.
  CMemDC(QPainter& target, const QRect& clip);
  // The same, drawing into `buffer`, which is kept by the caller from paint
  // to paint and only reallocated when the clip box's size changes: a
  // window repainting 50 times a second then allocates nothing per frame.
  CMemDC(QPainter& target, const QRect& clip, QImage& buffer);
  // Copies the image to the target at the clip box (off-screen case).
  ~CMemDC();

  CMemDC(const CMemDC&) = delete;
  CMemDC& operator=(const CMemDC&) = delete;

  // The painter to draw with, in the target's coordinates.
  QPainter& Painter() { return m_bMemDC ? m_painter : m_target; }
  QPainter* operator->() { return &Painter(); }
  // The drawing rectangle (the clip box).
  const QRect& Rect() const { return m_rect; }
  // Whether drawing goes to an off-screen image.
  bool IsOffScreen() const { return m_bMemDC; }
  // The off-screen image (its top-left pixel is the clip box's), for
  // pixel work the painter does slowly; null when drawing directly.
  QImage* Image() { return m_bMemDC ? &m_image : nullptr; }

 private:
  QPainter& m_target;
  QRect m_rect;
  bool m_bMemDC;
  QImage m_ownImage;
  QImage& m_image;
  QPainter m_painter;
};
