// Command ids and resource numbers of the main window, its menus and the tray
// menu. The numbers are fixed: commands are known by them (QAction data).
#pragma once

#include "platform/wintypes.h"

constexpr UINT RES_MAINFRAME = 128;  // menu, tool bar, title "Aerlume"
constexpr UINT RES_TRAYMENU = 139;   // tray menu
constexpr UINT RES_APPICON = 140;    // application icon (window, tray)

constexpr UINT CMD_SETTINGS = 32771;
constexpr UINT CMD_CONNECT = 32777;
constexpr UINT CMD_DISCONNECT = 32778;
constexpr UINT CMD_PROPERTIES = 32780;
constexpr UINT CMD_SHOW_HIDE = 32782;
constexpr UINT CMD_TRAY_EXIT = 32785;
constexpr UINT CMD_AUTORUN = 32786;
constexpr UINT CMD_RENEW_IP = 32787;
constexpr UINT CMD_RELEASE_IP = 32788;
constexpr UINT CMD_TEST_DIALOG = 32797;
constexpr UINT CMD_ABOUT = 57664;
constexpr UINT CMD_EXIT = 57665;
constexpr UINT CMD_VIEW_TOOLBAR = 59392;
constexpr UINT CMD_VIEW_STATUS_BAR = 59393;

// Status-bar indicators.
constexpr UINT IND_CAPS = 59137;
constexpr UINT IND_NUM = 59138;
constexpr UINT IND_SCRL = 59139;

// Child ids of the frame's bars and splitter.
constexpr UINT WND_TOOLBAR = 0xE800;
constexpr UINT WND_STATUS_BAR = 0xE801;
constexpr UINT WND_SPLITTER = 0xE900;

// The log pane's height when the window opens.
constexpr int kInfoPaneHeight = 140;
