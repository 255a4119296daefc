// The event log: printf-style pieces from any thread, each new line stamped
// with the UTC time, handed to the registered output window.
#pragma once

#include <atomic>
#include <ctime>
#include <mutex>

#include "platform/winmsg.h"

// wParam: heap copy (malloc) of the NUL-terminated piece, owned by the receiver.
constexpr UINT WM_OUTWND_ADDTEXT = 0x0F1F;

// Guards g_pLogWnd and every hand-over of text to an output window.
extern std::mutex g_csLog;
// The output window that shows the main log, or null (texts are then dropped).
extern CMessageTarget* g_pLogWnd;
// Set when the last piece written to that destination ended a line.
extern std::atomic<bool> g_bLogLineStart;
extern std::atomic<bool> g_bConnectLogLineStart;

// Appends a piece to the main log; never waits for the window.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends a piece to a connect dialog's log window; returns after the window
// has appended it (or at once when the window does not exist).
void ConnectLogPrintf(CMessageTarget* pDialogLogWnd, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Called by output windows on construction and destruction: the first one
// constructed becomes the main log window.
void RegisterLogWindow(CMessageTarget* pWnd);
void UnregisterLogWindow(CMessageTarget* pWnd);

// Where the stamps take the current calendar time from (std::time by default;
// null restores it). A source that returns -1 means "no time": empty stamp.
using LogTimeSource = std::time_t (*)();
void SetLogTimeSource(LogTimeSource source);
