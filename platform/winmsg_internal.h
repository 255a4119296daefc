// Internals of the window-message layer (winmsg.cpp, winmsg_dispatcher.cpp).
//
// One process-wide mutex guards the handle registry and every thread's
// queues; each thread has its own condition variable on that mutex, signalled
// when a sent message arrives for it or when a message it sent completes. No
// lock is held while a WindowProc runs.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/winmsg.h"

namespace winmsg_detail {

class Dispatcher;
struct ThreadState;

struct PostedMessage {
  HWND hWnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A SendMessage from another thread, waiting in the owner's sent queue.
struct SentCall {
  enum class Status { Pending, Delivered, Dropped };
  HWND hWnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  Status status = Status::Pending;
  // Kept alive until the call completes: completion signals its condvar.
  std::shared_ptr<ThreadState> sender;
};

// Message state of one thread; guarded by the global mutex unless noted.
struct ThreadState {
  std::deque<PostedMessage> posted;
  std::deque<std::shared_ptr<SentCall>> sent;
  std::condition_variable wake;
  // Lives in this thread; written only by this thread (under the mutex), so
  // this thread may read it without the lock.
  Dispatcher* dispatcher = nullptr;
  // A drain event is queued at the dispatcher and not yet started.
  bool drainPending = false;
};

struct WindowEntry {
  CMessageTarget* target;
  ThreadState* owner;  // entries are removed before their owner's state dies
};

struct Registry {
  std::mutex lock;
  std::unordered_map<HWND, WindowEntry> windows;
  std::vector<ThreadState*> threads;  // every live thread state
  std::uintptr_t nextHandle = 0x10000;
};

// Never destroyed, so it outlives the thread-exit clean-up of every thread.
Registry& Reg();

// The calling thread's state, created on first use.
ThreadState& Current();

// With the global lock held: signals the thread's condvar and makes sure a
// drain event is queued at its dispatcher.
void WakeLocked(ThreadState& state);

// Handles the calling thread's sent messages until its queue is empty.
// Returns how many it took from the queue.
int PumpSent(ThreadState& self);

// Takes the next posted message of the calling thread whose window still
// exists (dropping the others on the way) and delivers it. Returns 1 when a
// message was delivered, 0 when none was; *taken counts the messages removed.
int DeliverOnePosted(ThreadState& self, std::size_t* taken);

// The target of a live window owned by `self`, or null.
CMessageTarget* LiveTargetOf(ThreadState& self, HWND hWnd);

// Sent messages waiting for the calling thread (for tests).
std::size_t SentMessagesWaiting();

}  // namespace winmsg_detail
