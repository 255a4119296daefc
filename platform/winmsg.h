// Window messages over Qt's event loop.
//
// A CMessageTarget is anything with a window handle: it belongs to the thread
// that created its handle (the owner thread) and receives messages there.
//
// - PostMessage queues a message for the owner thread; the owner's event loop
//   delivers posted messages in the order they were posted.
// - SendMessage calls the target at once on its own thread; from another
//   thread it queues the call on the owner's queue of incoming sent messages,
//   wakes the owner and waits for the result.
// - Every thread drains its queue of incoming sent messages in its event loop
//   and wherever it blocks on another thread through this layer
//   (WaitPumpingSentMessages, CWorkerThread::Join). Only sent messages are
//   handled there, never posted ones or timers, so no handler is re-entered by
//   surprise. That is what keeps a sender from deadlocking with an owner that
//   is itself waiting for the sender.
//
// Handles are never reused, so a message for a destroyed window is dropped
// instead of reaching a newer one.
#pragma once

#include <atomic>
#include <functional>

#include "platform/wintypes.h"

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

class CMessageTarget {
 public:
  CMessageTarget() = default;
  CMessageTarget(const CMessageTarget&) = delete;
  CMessageTarget& operator=(const CMessageTarget&) = delete;
  // Destroys the handle if it still exists. Derived classes call
  // DestroyHandle first in their own destructors, so that no message reaches
  // an object whose derived part is already gone.
  virtual ~CMessageTarget();

  // Creates the handle on the calling thread, which becomes the owner thread.
  // Returns the existing handle when called twice.
  HWND CreateHandle();
  // Destroys the handle: later messages to it are dropped. Timers stop.
  // Must run on the owner thread. Sent messages already being handled finish;
  // senders still waiting for this window get FALSE from
  // SendMessageDelivered. Posted messages stay queued until delivery drops
  // them, so RemovePostedMessages can still release what they carry.
  void DestroyHandle();
  // Any thread may read the handle.
  HWND GetSafeHwnd() const { return m_hWnd.load(std::memory_order_acquire); }

  // Called on the owner thread for every message delivered to the handle.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

 private:
  std::atomic<HWND> m_hWnd{nullptr};
};

// Synchronous call of the target's WindowProc on its owner thread. Returns
// its result, or 0 when the window does not exist (or is destroyed before the
// call reached it).
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// As SendMessage, but tells whether the target handled the message. A message
// that carries ownership (a heap copy) is released by the sender when this
// returns FALSE.
BOOL SendMessageDelivered(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

// Queues a message for the owner thread. FALSE when the window does not exist.
BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// TRUE while the handle exists.
BOOL IsWindow(HWND hWnd);

// Removes the posted messages of one number queued for one window, handing
// each to `discard` (to release what it carries). Returns how many.
int RemovePostedMessages(HWND hWnd, UINT message, const std::function<void(WPARAM, LPARAM)>& discard);

// A message number unique to the process for a name, in 0xC000..0xFFFF; the
// same name (ASCII case ignored) gives the same number. 0 for an empty name.
UINT RegisterWindowMessage(const char* name);

// Numbered timers: WM_TIMER with wParam = id every `elapse` ms (at least
// 10), on the owner thread. Setting an existing id restarts it. Owner thread
// only: SetTimer returns 0 on another thread, for id 0, and on a thread
// without a Qt event dispatcher. Returns id on success.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapse);
BOOL KillTimer(HWND hWnd, UINT_PTR id);

// Handles every sent message waiting for the calling thread (also those that
// arrive meanwhile); returns how many.
int PumpSentMessages();

// Delivers the posted messages queued for windows of the calling thread
// (what the event loop does, sent messages first); for threads that run no Qt
// event loop. Delivers at most the messages queued when it was called, so a
// handler that posts again cannot keep it going. Returns how many were
// delivered (messages for destroyed windows are dropped, not counted).
int PumpPostedMessages();

// Blocks the calling thread until done() returns true, handling the sent
// messages that arrive for it meanwhile. done() is re-checked whenever a sent
// message arrives and at least every few milliseconds.
void WaitPumpingSentMessages(const std::function<bool()>& done);
