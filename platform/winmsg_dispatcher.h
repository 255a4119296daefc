// The Qt side of a thread's message queues: a QObject living in the owner
// thread that drains the queues when its drain event arrives and turns Qt
// timers into WM_TIMER messages.
#pragma once

#include <QObject>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/winmsg_internal.h"

class QTimerEvent;

namespace winmsg_detail {

class Dispatcher : public QObject {
 public:
  // QObject's destructor stops the timers still running.
  explicit Dispatcher(ThreadState& state);

  // The custom event type that asks the dispatcher to drain its queues.
  static int DrainEventType();

  // Owner thread only (Qt timers belong to the dispatcher's thread).
  UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapse);
  bool KillTimer(HWND hWnd, UINT_PTR id);
  void KillWindowTimers(HWND hWnd);

 protected:
  bool event(QEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  using TimerKey = std::pair<HWND, UINT_PTR>;
  void Forget(int qtTimer);

  ThreadState& m_state;
  std::map<TimerKey, int> m_byKey;            // (window, id) -> Qt timer
  std::unordered_map<int, TimerKey> m_byQt;   // Qt timer -> (window, id)
};

}  // namespace winmsg_detail
