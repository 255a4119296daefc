// Window messages on one thread: posting, sending, destruction, removal of
// queued messages, timers and registered message numbers.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "platform/winmsg.h"
#include "tests/platform/winmsg_test_util.h"

using namespace winmsgtest;
using namespace std::chrono_literals;

namespace {

constexpr UINT WM_A = WM_USER + 1;
constexpr UINT WM_B = WM_USER + 2;
constexpr UINT WM_C = WM_USER + 3;

TEST(WinMsgPost, EventLoopDeliversInPostOrderAndNotBefore) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  ASSERT_NE(hWnd, nullptr);
  EXPECT_EQ(w.CreateHandle(), hWnd);
  EXPECT_TRUE(IsWindow(hWnd));

  for (WPARAM i = 0; i < 200; ++i) ASSERT_TRUE(PostMessage(hWnd, i % 2 ? WM_A : WM_B, i, static_cast<LPARAM>(i) * 3));
  EXPECT_TRUE(w.All().empty()) << "posting must not deliver";

  ASSERT_TRUE(RunEventsUntil([&] { return w.All().size() == 200; }));
  const auto got = w.All();
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].wParam, i);
    EXPECT_EQ(got[i].message, i % 2 ? WM_A : WM_B);
    EXPECT_EQ(got[i].lParam, static_cast<LPARAM>(i) * 3);
    EXPECT_EQ(got[i].thread, std::this_thread::get_id());
  }

  EXPECT_FALSE(PostMessage(nullptr, WM_A, 0, 0));
  EXPECT_FALSE(IsWindow(nullptr));
}

TEST(WinMsgPost, PumpPostedMessagesDeliversWhatWasQueued) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  // A handler that posts again must not keep one pump call going for ever.
  w.onMessage = [&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_A) PostMessage(hWnd, WM_B, wParam, 0);
    return 0;
  };
  PostMessage(hWnd, WM_A, 1, 0);
  PostMessage(hWnd, WM_A, 2, 0);
  EXPECT_EQ(PumpPostedMessages(), 2);
  EXPECT_EQ(w.WParams(WM_A), (std::vector<WPARAM>{1, 2}));
  EXPECT_EQ(w.Count(WM_B), 0u);
  EXPECT_EQ(PumpPostedMessages(), 2);
  EXPECT_EQ(w.WParams(WM_B), (std::vector<WPARAM>{1, 2}));
  EXPECT_EQ(PumpPostedMessages(), 0);
}

TEST(WinMsgSend, SameThreadSendRunsAtOnceAheadOfQueuedPosts) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  w.onMessage = [](UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    return message == WM_B ? static_cast<LRESULT>(wParam) + lParam : 0;
  };
  PostMessage(hWnd, WM_A, 1, 0);
  EXPECT_EQ(SendMessage(hWnd, WM_B, 40, 2), 42);
  LRESULT result = 0;
  EXPECT_TRUE(SendMessageDelivered(hWnd, WM_B, 5, 5, &result));
  EXPECT_EQ(result, 10);
  ASSERT_EQ(w.All().size(), 2u);
  EXPECT_EQ(w.All()[0].message, WM_B);

  ASSERT_TRUE(RunEventsUntil([&] { return w.Count(WM_A) == 1; }));
  EXPECT_EQ(w.All().back().message, WM_A);
}

// A handler that runs a nested event loop (as a modal dialog does) must not
// stall the queue: later posted messages arrive inside it, in order.
TEST(WinMsgPost, NestedEventLoopInHandlerKeepsDelivering) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  QEventLoop* nested = nullptr;
  std::vector<std::string> trace;
  w.onMessage = [&](UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_A) {
      trace.push_back("A begin");
      QEventLoop loop;
      nested = &loop;
      QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(kHangGuard), &loop, [&] {
        trace.push_back("guard");
        loop.quit();
      });
      loop.exec();
      nested = nullptr;
      trace.push_back("A end");
    } else if (message == WM_B) {
      trace.push_back("B");
      if (nested) nested->quit();
    } else if (message == WM_C) {
      trace.push_back("C");
    }
    return 0;
  };
  PostMessage(hWnd, WM_A, 0, 0);
  PostMessage(hWnd, WM_B, 0, 0);
  PostMessage(hWnd, WM_C, 0, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.Count(WM_C) == 1 && std::count(trace.begin(), trace.end(), "A end") == 1; }));
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[0], "A begin");
  EXPECT_EQ(trace[1], "B");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "guard"), 0);
  // C comes after B, wherever A's nested loop ended.
  EXPECT_LT(std::find(trace.begin(), trace.end(), "B"), std::find(trace.begin(), trace.end(), "C"));
}

TEST(WinMsgDestroy, MessagesToADestroyedWindowAreDropped) {
  Recorder gone;
  Recorder alive;
  const HWND hGone = gone.CreateHandle();
  const HWND hAlive = alive.CreateHandle();
  PostMessage(hGone, WM_A, 1, 0);
  PostMessage(hGone, WM_A, 2, 0);
  gone.DestroyHandle();
  EXPECT_EQ(gone.GetSafeHwnd(), nullptr);
  EXPECT_FALSE(IsWindow(hGone));
  EXPECT_FALSE(PostMessage(hGone, WM_A, 3, 0));
  LRESULT result = 99;
  EXPECT_FALSE(SendMessageDelivered(hGone, WM_B, 0, 0, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(SendMessage(hGone, WM_B, 0, 0), 0);

  // Posted after the dropped ones: once it arrives they have been processed.
  PostMessage(hAlive, WM_C, 0, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return alive.Count(WM_C) == 1; }));
  EXPECT_TRUE(gone.All().empty());

  // Handles are never reused.
  std::set<HWND> seen{hGone, hAlive};
  for (int i = 0; i < 50; ++i) {
    Recorder r;
    EXPECT_TRUE(seen.insert(r.CreateHandle()).second);
  }
  // A destroyed target may create a fresh handle; the old one stays dead.
  const HWND again = gone.CreateHandle();
  EXPECT_NE(again, hGone);
  EXPECT_FALSE(IsWindow(hGone));
  EXPECT_TRUE(IsWindow(again));
}

TEST(WinMsgDestroy, HandlerMayDestroyItsOwnWindow) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  w.onMessage = [&](UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_A) w.DestroyHandle();
    return 0;
  };
  PostMessage(hWnd, WM_A, 0, 0);
  PostMessage(hWnd, WM_B, 0, 0);
  EXPECT_EQ(PumpPostedMessages(), 1);
  EXPECT_EQ(w.Count(WM_B), 0u);
}

TEST(WinMsgRemove, RemovesOneNumberForOneWindowAlsoAfterDestruction) {
  Recorder w1;
  Recorder w2;
  const HWND h1 = w1.CreateHandle();
  const HWND h2 = w2.CreateHandle();
  PostMessage(h1, WM_A, 1, 10);
  PostMessage(h1, WM_B, 2, 0);
  PostMessage(h1, WM_A, 3, 30);
  PostMessage(h2, WM_A, 4, 0);

  std::vector<std::pair<WPARAM, LPARAM>> discarded;
  const auto discard = [&](WPARAM wParam, LPARAM lParam) { discarded.emplace_back(wParam, lParam); };
  EXPECT_EQ(RemovePostedMessages(h1, WM_A, discard), 2);
  EXPECT_EQ(discarded, (std::vector<std::pair<WPARAM, LPARAM>>{{1, 10}, {3, 30}}));
  EXPECT_EQ(RemovePostedMessages(h1, WM_A, discard), 0);

  EXPECT_EQ(PumpPostedMessages(), 2);
  EXPECT_EQ(w1.WParams(WM_B), (std::vector<WPARAM>{2}));
  EXPECT_EQ(w1.Count(WM_A), 0u);
  EXPECT_EQ(w2.WParams(WM_A), (std::vector<WPARAM>{4}));

  // A window being destroyed releases the heap copies still queued for it.
  for (const char* text : {"one", "two"})
    PostMessage(h1, WM_C, reinterpret_cast<WPARAM>(strdup(text)), 0);
  w1.DestroyHandle();
  std::vector<std::string> released;
  EXPECT_EQ(RemovePostedMessages(h1, WM_C,
                                 [&](WPARAM wParam, LPARAM) {
                                   char* copy = reinterpret_cast<char*>(wParam);
                                   released.emplace_back(copy);
                                   std::free(copy);
                                 }),
            2);
  EXPECT_EQ(released, (std::vector<std::string>{"one", "two"}));
}

TEST(WinMsgTimer, FiresRestartsStopsAndBelongsToItsThread) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();

  EXPECT_EQ(SetTimer(hWnd, 1, 10), 1u);
  ASSERT_TRUE(RunEventsUntil([&] { return w.Count(WM_TIMER) >= 3; }));
  for (const Received& r : w.All()) {
    EXPECT_EQ(r.message, WM_TIMER);
    EXPECT_EQ(r.wParam, 1u);
  }

  // Setting the same id again replaces the old interval.
  EXPECT_EQ(SetTimer(hWnd, 1, 3600 * 1000), 1u);
  const std::size_t afterRestart = w.Count(WM_TIMER);
  RunEventsFor(150ms);
  EXPECT_EQ(w.Count(WM_TIMER), afterRestart);
  EXPECT_TRUE(KillTimer(hWnd, 1));
  EXPECT_FALSE(KillTimer(hWnd, 1));

  // Two ids run side by side; killing one leaves the other.
  EXPECT_EQ(SetTimer(hWnd, 2, 10), 2u);
  EXPECT_EQ(SetTimer(hWnd, 3, 10), 3u);
  ASSERT_TRUE(RunEventsUntil([&] {
    const auto ids = w.WParams(WM_TIMER);
    return std::count(ids.begin(), ids.end(), 2u) >= 1 && std::count(ids.begin(), ids.end(), 3u) >= 1;
  }));
  EXPECT_TRUE(KillTimer(hWnd, 2));
  auto countOf = [&](WPARAM id) {
    const auto ids = w.WParams(WM_TIMER);
    return std::count(ids.begin(), ids.end(), id);
  };
  const auto twos = countOf(2);
  const auto threes = countOf(3);
  ASSERT_TRUE(RunEventsUntil([&] { return countOf(3) >= threes + 3; }));
  EXPECT_EQ(countOf(2), twos);

  // Only the owner thread may set them.
  UINT_PTR fromWorker = 99;
  std::thread([&] { fromWorker = SetTimer(hWnd, 4, 10); }).join();
  EXPECT_EQ(fromWorker, 0u);
  EXPECT_EQ(SetTimer(hWnd, 0, 10), 0u);

  // Destroying the window stops its timers.
  w.DestroyHandle();
  const std::size_t atDestroy = w.Count(WM_TIMER);
  RunEventsFor(150ms);
  EXPECT_EQ(w.Count(WM_TIMER), atDestroy);
  EXPECT_EQ(SetTimer(hWnd, 1, 10), 0u);
}

TEST(WinMsgRegister, SameNameSameNumberInTheRegisteredRange) {
  const UINT taskbar = RegisterWindowMessage("TaskbarCreated");
  const UINT instance = RegisterWindowMessage("{73B17E14-A8D3-479f-886E-509ED6A0D888}");
  EXPECT_GE(taskbar, 0xC000u);
  EXPECT_LE(taskbar, 0xFFFFu);
  EXPECT_GE(instance, 0xC000u);
  EXPECT_LE(instance, 0xFFFFu);
  EXPECT_NE(taskbar, instance);
  EXPECT_EQ(RegisterWindowMessage("TaskbarCreated"), taskbar);
  EXPECT_EQ(RegisterWindowMessage("taskbarcreated"), taskbar) << "names ignore case";
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);

  // Threads registering the same new name agree on its number.
  std::vector<UINT> numbers(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < numbers.size(); ++i)
    threads.emplace_back([&numbers, i] { numbers[i] = RegisterWindowMessage("WinMsgRegister.Concurrent"); });
  for (auto& t : threads) t.join();
  for (UINT n : numbers) EXPECT_EQ(n, numbers[0]);
  EXPECT_EQ(RegisterWindowMessage("WinMsgRegister.Concurrent"), numbers[0]);
}

}  // namespace
