// Helpers for the message-layer tests: a window that records what it gets,
// and waits that either run the Qt event loop or only guard against hangs.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/winmsg.h"

namespace winmsgtest {

// Generous bound that only turns a deadlock into a failure.
constexpr auto kHangGuard = std::chrono::seconds(20);

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

class Recorder : public CMessageTarget {
 public:
  ~Recorder() override { DestroyHandle(); }

  // Runs after the message is recorded; its result is WindowProc's.
  std::function<LRESULT(UINT, WPARAM, LPARAM)> onMessage;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_received.push_back(Received{message, wParam, lParam, std::this_thread::get_id()});
    }
    return onMessage ? onMessage(message, wParam, lParam) : 0;
  }

  std::vector<Received> All() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_received;
  }
  std::vector<WPARAM> WParams(UINT message) const {
    std::vector<WPARAM> out;
    for (const Received& r : All())
      if (r.message == message) out.push_back(r.wParam);
    return out;
  }
  std::size_t Count(UINT message) const { return WParams(message).size(); }

 private:
  mutable std::mutex m_lock;
  std::vector<Received> m_received;
};

// Runs only Qt's event loop (no direct pumping) until pred() holds.
inline bool RunEventsUntil(const std::function<bool()>& pred,
                           std::chrono::milliseconds timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kHangGuard)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

inline void RunEventsFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Waits without handling anything. A hang cannot be recovered from (threads
// are stuck on the test's stack), so it ends the run with a message.
inline void WaitOrAbort(const std::function<bool()>& pred, const char* what) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      std::fprintf(stderr, "Hang: %s\n", what);
      std::fflush(stderr);
      std::abort();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Ends the run with a message if it is still armed after kHangGuard: for
// tests whose own thread blocks in a call that could deadlock.
class Watchdog {
 public:
  explicit Watchdog(const char* what)
      : m_thread([this, what] {
          std::unique_lock<std::mutex> lock(m_lock);
          if (!m_disarmed.wait_for(lock, kHangGuard, [this] { return m_done; })) {
            std::fprintf(stderr, "Hang: %s\n", what);
            std::fflush(stderr);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_done = true;
    }
    m_disarmed.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_disarmed;
  bool m_done = false;
  std::thread m_thread;
};

}  // namespace winmsgtest
