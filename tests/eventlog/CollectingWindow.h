// Test windows that receive log pieces the way an output window does: they
// keep each text handed over with WM_OUTWND_ADDTEXT and release the copy, and
// their destroy step releases the copies still queued, under g_csLog.
#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/Log.h"
#include "platform/winmsg.h"

namespace testlog {

// 2007-11-23 14:05:09 UTC.
constexpr std::time_t kStampTime = 1195826709;
inline std::time_t FixedTime() { return kStampTime; }
constexpr char kMainStamp[] = "07/11/23 14:05:09 ";
constexpr char kConnectStamp[] = "14:05:09 ";

// Takes the mutex if it becomes free within `timeout`; the caller unlocks.
inline bool LockWithin(std::mutex& mutex, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!mutex.try_lock()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class CCollectingWindow : public CMessageTarget {
 public:
  ~CCollectingWindow() override {
    Destroy();
    UnregisterLogWindow(this);
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    if (message != WM_OUTWND_ADDTEXT) return 0;
    char* text = reinterpret_cast<char*>(wParam);
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_texts.emplace_back(text);
    }
    std::free(text);
    if (onText) onText();
    return 1;
  }

  // The output window's destroy step.
  void Destroy() {
    if (!GetSafeHwnd()) return;
    std::lock_guard<std::mutex> lock(g_csLog);
    RemovePostedMessages(GetSafeHwnd(), WM_OUTWND_ADDTEXT,
                         [](WPARAM wParam, LPARAM) { std::free(reinterpret_cast<void*>(wParam)); });
    DestroyHandle();
  }

  std::vector<std::string> Texts() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts.size();
  }
  std::string Joined() const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::string all;
    for (const auto& text : m_texts) all += text;
    return all;
  }

  // Runs on the owner thread after each text is stored.
  std::function<void()> onText;

 private:
  mutable std::mutex m_lock;
  std::vector<std::string> m_texts;
};

}  // namespace testlog
