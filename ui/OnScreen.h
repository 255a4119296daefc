// Whether a widget can be seen at all: it is visible, its top-level window is
// not minimised and that window is exposed on the screen (mapped, not hidden
// in the notification area). Periodic repaints are skipped while it is not.
#pragma once

class QWidget;

bool IsOnScreen(const QWidget* widget);
