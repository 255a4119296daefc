#include "platform/winmsg_dispatcher.h"

#include <QEvent>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

namespace winmsg_detail {

namespace {
// Shortest timer interval: a zero interval would spin the event loop.
constexpr UINT kMinimumElapse = 10;
}  // namespace

Dispatcher::Dispatcher(ThreadState& state) : m_state(state) {}

int Dispatcher::DrainEventType() {
  static const int type = QEvent::registerEventType();
  return type;
}

bool Dispatcher::event(QEvent* e) {
  // A drain event is built by the posting thread under the registry lock;
  // reading it under the same lock orders the two for any checker that does
  // not see the event loop's own (futex-based) locking.
  bool drain = false;
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    drain = e->type() == static_cast<QEvent::Type>(DrainEventType());
    if (drain) m_state.drainPending = false;
  }
  if (!drain) return QObject::event(e);
  // Sent messages first (their senders are blocked), then one posted message;
  // DeliverOnePosted queues another drain event while more are waiting, so a
  // nested event loop inside the handler keeps the queue moving.
  PumpSent(m_state);
  std::size_t taken = 0;
  DeliverOnePosted(m_state, &taken);
  return true;
}

void Dispatcher::timerEvent(QTimerEvent* e) {
  const int qtTimer = e->timerId();
  const auto it = m_byQt.find(qtTimer);
  if (it == m_byQt.end()) {
    killTimer(qtTimer);
    return;
  }
  const TimerKey key = it->second;
  CMessageTarget* target = LiveTargetOf(m_state, key.first);
  if (!target) {
    // The window went away without its timers being killed here (destroyed
    // from another thread): stop the timer now.
    killTimer(qtTimer);
    Forget(qtTimer);
    return;
  }
  target->WindowProc(WM_TIMER, key.second, 0);
}

UINT_PTR Dispatcher::SetTimer(HWND hWnd, UINT_PTR id, UINT elapse) {
  const TimerKey key{hWnd, id};
  if (const auto it = m_byKey.find(key); it != m_byKey.end()) {
    killTimer(it->second);
    Forget(it->second);
  }
  const int interval = static_cast<int>(std::clamp<UINT>(elapse, kMinimumElapse, INT_MAX));
  const int qtTimer = startTimer(interval);
  if (qtTimer == 0) return 0;
  m_byKey[key] = qtTimer;
  m_byQt[qtTimer] = key;
  return id;
}

bool Dispatcher::KillTimer(HWND hWnd, UINT_PTR id) {
  const auto it = m_byKey.find(TimerKey{hWnd, id});
  if (it == m_byKey.end()) return false;
  const int qtTimer = it->second;
  killTimer(qtTimer);
  Forget(qtTimer);
  return true;
}

void Dispatcher::KillWindowTimers(HWND hWnd) {
  auto it = m_byKey.lower_bound(TimerKey{hWnd, 0});
  while (it != m_byKey.end() && it->first.first == hWnd) {
    killTimer(it->second);
    m_byQt.erase(it->second);
    it = m_byKey.erase(it);
  }
}

void Dispatcher::Forget(int qtTimer) {
  const auto it = m_byQt.find(qtTimer);
  if (it == m_byQt.end()) return;
  m_byKey.erase(it->second);
  m_byQt.erase(it);
}

}  // namespace winmsg_detail
