#include "ui/OnScreen.h"

#include <QWidget>
#include <QWindow>

bool IsOnScreen(const QWidget* widget) {
  if (!widget || !widget->isVisible()) return false;
  const QWidget* top = widget->window();
  if (top->isMinimized()) return false;
  const QWindow* handle = top->windowHandle();
  return handle && handle->isExposed();
}
