#include "platform/winmsg.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "platform/winmsg_dispatcher.h"
#include "platform/winmsg_internal.h"

namespace winmsg_detail {

namespace {

// How often a thread blocked in WaitPumpingSentMessages re-checks its
// condition when no sent message arrives.
constexpr auto kWaitPoll = std::chrono::milliseconds(2);

void ShutdownThread(const std::shared_ptr<ThreadState>& state);

// Owns the calling thread's state; its destructor runs at thread exit, before
// Qt's own per-thread data goes away, so the dispatcher can still be deleted.
struct ThreadHolder {
  std::shared_ptr<ThreadState> state;
  ~ThreadHolder() {
    if (state) ShutdownThread(state);
  }
};
thread_local ThreadHolder t_holder;
// The calling thread's state while it exists; trivially destructible, so it
// can still be read by destructors that run after the clean-up (statics at
// exit destroying their windows).
thread_local ThreadState* t_self = nullptr;

const std::shared_ptr<ThreadState>& CurrentShared() {
  if (!t_holder.state) {
    auto state = std::make_shared<ThreadState>();
    std::lock_guard<std::mutex> lock(Reg().lock);
    Reg().threads.push_back(state.get());
    t_holder.state = std::move(state);
    t_self = t_holder.state.get();
  }
  return t_holder.state;
}

// With the lock held: finishes a sent call and wakes its sender.
void CompleteLocked(const std::shared_ptr<SentCall>& call, SentCall::Status status, LRESULT result) {
  call->status = status;
  call->result = result;
  call->sender->wake.notify_all();
  call->sender.reset();
}

// With the lock held: asks the thread's event loop to drain its queues.
void RequestDrainLocked(ThreadState& state) {
  if (state.dispatcher && !state.drainPending) {
    state.drainPending = true;
    QCoreApplication::postEvent(state.dispatcher, new QEvent(static_cast<QEvent::Type>(Dispatcher::DrainEventType())));
  }
}

// Takes the first sent message of `self` and handles it. Entered and left with
// the lock held; the lock is released while the WindowProc runs.
void HandleOneSentLocked(std::unique_lock<std::mutex>& lk, ThreadState& self) {
  std::shared_ptr<SentCall> call = std::move(self.sent.front());
  self.sent.pop_front();
  const auto it = Reg().windows.find(call->hWnd);
  if (it == Reg().windows.end() || it->second.owner != &self) {
    CompleteLocked(call, SentCall::Status::Dropped, 0);
    return;
  }
  CMessageTarget* target = it->second.target;
  lk.unlock();
  LRESULT result = 0;
  try {
    result = target->WindowProc(call->message, call->wParam, call->lParam);
  } catch (...) {
    // The sender must not wait forever for a handler that threw.
    lk.lock();
    CompleteLocked(call, SentCall::Status::Delivered, 0);
    throw;
  }
  lk.lock();
  CompleteLocked(call, SentCall::Status::Delivered, result);
}

// Drops sent calls queued at `owner` for a window that no longer exists.
void DropSentForLocked(ThreadState& owner, HWND hWnd) {
  auto& queue = owner.sent;
  for (auto it = queue.begin(); it != queue.end();) {
    if ((*it)->hWnd == hWnd) {
      CompleteLocked(*it, SentCall::Status::Dropped, 0);
      it = queue.erase(it);
    } else {
      ++it;
    }
  }
}

// At thread exit the thread's windows cease to exist: their handles are
// unregistered, waiting senders are released and queued posts dropped.
void ShutdownThread(const std::shared_ptr<ThreadState>& state) {
  t_self = nullptr;
  Dispatcher* dispatcher = nullptr;
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    auto& threads = Reg().threads;
    threads.erase(std::remove(threads.begin(), threads.end(), state.get()), threads.end());
    for (auto it = Reg().windows.begin(); it != Reg().windows.end();) {
      if (it->second.owner == state.get())
        it = Reg().windows.erase(it);
      else
        ++it;
    }
    for (auto& call : state->sent) CompleteLocked(call, SentCall::Status::Dropped, 0);
    state->sent.clear();
    state->posted.clear();
    dispatcher = state->dispatcher;
    state->dispatcher = nullptr;
    state->drainPending = false;
  }
  // Nobody can post to it any more; deleting it also discards its queued
  // drain event and stops its timers.
  delete dispatcher;
}

}  // namespace

Registry& Reg() {
  static Registry* registry = new Registry;
  return *registry;
}

ThreadState& Current() { return *CurrentShared(); }

void WakeLocked(ThreadState& state) {
  state.wake.notify_all();
  RequestDrainLocked(state);
}

int PumpSent(ThreadState& self) {
  std::unique_lock<std::mutex> lk(Reg().lock);
  int handled = 0;
  while (!self.sent.empty()) {
    HandleOneSentLocked(lk, self);
    ++handled;
  }
  return handled;
}

int DeliverOnePosted(ThreadState& self, std::size_t* taken) {
  *taken = 0;
  CMessageTarget* target = nullptr;
  PostedMessage message{};
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    while (!self.posted.empty() && !target) {
      message = self.posted.front();
      self.posted.pop_front();
      ++*taken;
      const auto it = Reg().windows.find(message.hWnd);
      if (it != Reg().windows.end() && it->second.owner == &self) target = it->second.target;
    }
    if (!self.posted.empty()) RequestDrainLocked(self);
  }
  // Only this thread destroys its windows, so the target stays alive until
  // the call below.
  if (!target) return 0;
  target->WindowProc(message.message, message.wParam, message.lParam);
  return 1;
}

CMessageTarget* LiveTargetOf(ThreadState& self, HWND hWnd) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  const auto it = Reg().windows.find(hWnd);
  if (it == Reg().windows.end() || it->second.owner != &self) return nullptr;
  return it->second.target;
}

std::size_t SentMessagesWaiting() {
  ThreadState& self = Current();
  std::lock_guard<std::mutex> lock(Reg().lock);
  return self.sent.size();
}

}  // namespace winmsg_detail

using namespace winmsg_detail;

CMessageTarget::~CMessageTarget() { DestroyHandle(); }

HWND CMessageTarget::CreateHandle() {
  if (HWND existing = GetSafeHwnd()) return existing;
  ThreadState& self = Current();
  // The dispatcher is created here so that it lives in the owner thread.
  Dispatcher* created = self.dispatcher ? nullptr : new Dispatcher(self);
  std::lock_guard<std::mutex> lock(Reg().lock);
  if (created) self.dispatcher = created;
  const HWND hWnd = reinterpret_cast<HWND>(Reg().nextHandle++);
  Reg().windows.emplace(hWnd, WindowEntry{this, &self});
  m_hWnd.store(hWnd, std::memory_order_release);
  return hWnd;
}

void CMessageTarget::DestroyHandle() {
  const HWND hWnd = m_hWnd.exchange(nullptr, std::memory_order_acq_rel);
  if (!hWnd) return;
  ThreadState* self = t_self;
  ThreadState* owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    const auto it = Reg().windows.find(hWnd);
    if (it == Reg().windows.end()) return;  // its thread has ended
    owner = it->second.owner;
    Reg().windows.erase(it);
    DropSentForLocked(*owner, hWnd);
  }
  // From another thread the timers cannot be stopped here; the owner's
  // dispatcher stops each one when it next fires for a window that is gone.
  if (owner == self && self->dispatcher) self->dispatcher->KillWindowTimers(hWnd);
}

BOOL SendMessageDelivered(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (pResult) *pResult = 0;
  const std::shared_ptr<ThreadState>& self = CurrentShared();
  std::unique_lock<std::mutex> lk(Reg().lock);
  const auto it = Reg().windows.find(hWnd);
  if (it == Reg().windows.end()) return FALSE;
  ThreadState* owner = it->second.owner;
  if (owner == self.get()) {
    CMessageTarget* target = it->second.target;
    lk.unlock();
    const LRESULT result = target->WindowProc(message, wParam, lParam);
    if (pResult) *pResult = result;
    return TRUE;
  }
  auto call = std::make_shared<SentCall>();
  call->hWnd = hWnd;
  call->message = message;
  call->wParam = wParam;
  call->lParam = lParam;
  call->sender = self;
  owner->sent.push_back(call);
  WakeLocked(*owner);
  // While waiting, serve the calls other threads send to this one: the owner
  // may itself be waiting for this thread.
  while (call->status == SentCall::Status::Pending) {
    if (!self->sent.empty())
      HandleOneSentLocked(lk, *self);
    else
      self->wake.wait(lk);
  }
  if (pResult) *pResult = call->result;
  return call->status == SentCall::Status::Delivered ? TRUE : FALSE;
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  SendMessageDelivered(hWnd, message, wParam, lParam, &result);
  return result;
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  const auto it = Reg().windows.find(hWnd);
  if (it == Reg().windows.end()) return FALSE;
  ThreadState& owner = *it->second.owner;
  owner.posted.push_back(PostedMessage{hWnd, message, wParam, lParam});
  RequestDrainLocked(owner);
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  if (!hWnd) return FALSE;
  std::lock_guard<std::mutex> lock(Reg().lock);
  return Reg().windows.count(hWnd) ? TRUE : FALSE;
}

int RemovePostedMessages(HWND hWnd, UINT message, const std::function<void(WPARAM, LPARAM)>& discard) {
  std::vector<PostedMessage> removed;
  {
    // The window may be gone already, so its owner is unknown: look in every
    // thread's queue.
    std::lock_guard<std::mutex> lock(Reg().lock);
    for (ThreadState* state : Reg().threads) {
      auto& queue = state->posted;
      const auto keep = std::stable_partition(queue.begin(), queue.end(), [&](const PostedMessage& m) {
        return !(m.hWnd == hWnd && m.message == message);
      });
      removed.insert(removed.end(), keep, queue.end());
      queue.erase(keep, queue.end());
    }
  }
  if (discard)
    for (const PostedMessage& m : removed) discard(m.wParam, m.lParam);
  return static_cast<int>(removed.size());
}

UINT RegisterWindowMessage(const char* name) {
  if (!name || !*name) return 0;
  // Names compare without regard to ASCII case, as atom names do.
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  static std::mutex lock;
  static std::map<std::string, UINT> numbers;
  static UINT next = 0xC000;
  std::lock_guard<std::mutex> guard(lock);
  const auto it = numbers.find(key);
  if (it != numbers.end()) return it->second;
  if (next > 0xFFFF) return 0;  // the range is used up
  numbers.emplace(std::move(key), next);
  return next++;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapse) {
  if (id == 0) return 0;
  ThreadState& self = Current();
  if (!LiveTargetOf(self, hWnd)) return 0;  // no window, or another thread's
  if (!self.dispatcher || !QAbstractEventDispatcher::instance()) return 0;
  return self.dispatcher->SetTimer(hWnd, id, elapse);
}

BOOL KillTimer(HWND hWnd, UINT_PTR id) {
  ThreadState& self = Current();
  if (!self.dispatcher) return FALSE;
  return self.dispatcher->KillTimer(hWnd, id) ? TRUE : FALSE;
}

int PumpSentMessages() { return PumpSent(Current()); }

int PumpPostedMessages() {
  ThreadState& self = Current();
  std::size_t budget = 0;
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    budget = self.posted.size();
  }
  int delivered = 0;
  while (budget > 0) {
    PumpSent(self);
    std::size_t taken = 0;
    delivered += DeliverOnePosted(self, &taken);
    if (taken == 0) break;
    budget -= std::min(taken, budget);
  }
  return delivered;
}

void WaitPumpingSentMessages(const std::function<bool()>& done) {
  ThreadState& self = Current();
  for (;;) {
    if (done()) return;
    std::unique_lock<std::mutex> lk(Reg().lock);
    if (!self.sent.empty())
      HandleOneSentLocked(lk, self);
    else
      self.wake.wait_for(lk, kWaitPoll);
  }
}
