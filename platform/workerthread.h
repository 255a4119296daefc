// A worker thread whose owner can wait for it without deadlocking: Join()
// keeps handling the messages sent to the waiting thread (see winmsg.h).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class CWorkerThread {
 public:
  CWorkerThread() = default;
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;
  // Joins a thread that was started and not yet joined.
  ~CWorkerThread();

  // Starts `body` on a new thread. Returns false (and starts nothing) while a
  // previous body still runs; a finished previous thread is joined first.
  bool Start(std::function<void()> body);
  // True from Start until the body has returned.
  bool IsRunning() const;
  // Waits for the body to return, handling sent messages meanwhile. Called
  // from the worker itself it returns at once (the thread is detached later).
  void Join();
  bool IsCurrentThread() const;

 private:
  std::thread m_thread;
  std::shared_ptr<std::atomic<bool>> m_finished;
  // The worker's id, set before its body starts; cleared when it is joined.
  std::atomic<std::thread::id> m_id{};
};
