// Window messages that travel between the program's own windows.
#pragma once

#include "platform/winmsg.h"

// Station list -> main frame, posted when the selection changes.
// wParam: the selected CStation* or 0; lParam: 0.
constexpr UINT WM_STATION_SELECTED = 0x0BBE;
// Main frame -> every descendant window after the settings dialog ended with
// OK, sent. wParam 0, lParam 0.
constexpr UINT WM_SETTINGS_CHANGED = 0x0C91;
// Tray icon -> main frame. wParam: the icon id (2114); lParam: the mouse
// message (0x0203 left double-click, 0x0204 right button down).
constexpr UINT WM_TRAY_NOTIFY = 0x8065;
constexpr UINT kTrayIconId = 2114;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
