// Window messages across threads: synchronous sends to a busy or waiting
// owner, sends in both directions at once, windows that die while a call
// waits, and windows owned by threads other than the main one.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/winmsg.h"
#include "platform/winmsg_internal.h"
#include "platform/workerthread.h"
#include "tests/platform/winmsg_test_util.h"

using namespace winmsgtest;

namespace {

constexpr UINT WM_ASK = WM_USER + 10;
constexpr UINT WM_CALLBACK = WM_USER + 11;
constexpr UINT WM_NOTE = WM_USER + 12;

std::size_t SentWaitingHere() { return winmsg_detail::SentMessagesWaiting(); }

TEST(WinMsgCrossThread, SendWaitsForBusyMainThreadAndRunsThere) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  const auto mainId = std::this_thread::get_id();
  w.onMessage = [](UINT, WPARAM wParam, LPARAM) -> LRESULT { return static_cast<LRESULT>(wParam) * 2; };

  // Posted first, but a sent message goes ahead of it once the loop runs.
  PostMessage(hWnd, WM_NOTE, 0, 0);
  std::atomic<bool> returned{false};
  BOOL delivered = FALSE;
  LRESULT result = 0;
  std::thread worker([&] {
    delivered = SendMessageDelivered(hWnd, WM_ASK, 21, 0, &result);
    returned = true;
  });

  // The main thread is busy: the call waits in its queue, the sender with it.
  WaitOrAbort([] { return SentWaitingHere() == 1; }, "send never reached the main thread's queue");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(w.All().empty());

  // Back in the event loop, it is handled.
  ASSERT_TRUE(RunEventsUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(result, 42);
  ASSERT_TRUE(RunEventsUntil([&] { return w.All().size() == 2; }));
  const auto got = w.All();
  EXPECT_EQ(got[0].message, WM_ASK);
  EXPECT_EQ(got[0].thread, mainId);
  EXPECT_EQ(got[1].message, WM_NOTE);
}

// The owner waits for the sender (a shutdown joining its worker): the wait
// serves the send, and only the send, not the posted message queued before.
TEST(WinMsgCrossThread, OwnerJoiningTheSenderServesItsSend) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  const auto mainId = std::this_thread::get_id();
  w.onMessage = [](UINT, WPARAM wParam, LPARAM) -> LRESULT { return static_cast<LRESULT>(wParam) + 1; };
  PostMessage(hWnd, WM_NOTE, 0, 0);

  CWorkerThread worker;
  LRESULT results[3] = {};
  ASSERT_TRUE(worker.Start([&] {
    for (int i = 0; i < 3; ++i) results[i] = SendMessage(hWnd, WM_ASK, static_cast<WPARAM>(i * 10), 0);
  }));
  {
    Watchdog guard("a join did not serve the worker's send");
    worker.Join();
  }
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_EQ(results[0], 1);
  EXPECT_EQ(results[1], 11);
  EXPECT_EQ(results[2], 21);
  EXPECT_EQ(w.WParams(WM_ASK), (std::vector<WPARAM>{0, 10, 20}));
  for (const Received& r : w.All()) EXPECT_EQ(r.thread, mainId);
  EXPECT_EQ(w.Count(WM_NOTE), 0u) << "a join must not deliver posted messages";

  ASSERT_TRUE(RunEventsUntil([&] { return w.Count(WM_NOTE) == 1; }));
}

// Two threads without event loops send to each other at the same moment, and
// one handler calls back into the thread that is waiting for it.
TEST(WinMsgCrossThread, MutualSendsDoNotDeadlock) {
  struct Side {
    Recorder window;
    std::atomic<HWND> hWnd{nullptr};
    std::atomic<bool> finished{false};
    BOOL delivered = FALSE;
    LRESULT result = 0;
    std::thread::id thread;
  };
  Side a;
  Side b;
  std::atomic<int> ready{0};

  auto run = [&ready](Side& self, Side& other, WPARAM ask) {
    self.thread = std::this_thread::get_id();
    self.window.onMessage = [&self, &other](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
      if (message == WM_ASK && wParam == 2) {
        // Calls back into the other thread, which is waiting for this one.
        return SendMessage(other.hWnd.load(), WM_CALLBACK, 7, 0) + 100;
      }
      if (message == WM_CALLBACK) return static_cast<LRESULT>(wParam) * 3;
      return static_cast<LRESULT>(wParam) + 1000;
    };
    self.hWnd = self.window.CreateHandle();
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    self.delivered = SendMessageDelivered(other.hWnd.load(), WM_ASK, ask, 0, &self.result);
    self.finished = true;
    // Keep serving until the other side is done too.
    WaitPumpingSentMessages([&other] { return other.finished.load(); });
    self.window.DestroyHandle();
  };
  std::thread ta([&] { run(a, b, 1); });
  std::thread tb([&] { run(b, a, 2); });
  WaitOrAbort([&] { return a.finished.load() && b.finished.load(); }, "mutual sends deadlocked");
  ta.join();
  tb.join();

  EXPECT_TRUE(a.delivered);
  EXPECT_TRUE(b.delivered);
  EXPECT_EQ(a.result, 1001);      // b's window answered a's ask
  EXPECT_EQ(b.result, 21 + 100);  // a's window answered b's ask after calling back
  // a's handler called back into b while b was waiting for a.
  EXPECT_EQ(b.window.WParams(WM_CALLBACK), (std::vector<WPARAM>{7}));
  EXPECT_EQ(a.window.Count(WM_CALLBACK), 0u);
  for (const Received& r : a.window.All()) EXPECT_EQ(r.thread, a.thread);
  for (const Received& r : b.window.All()) EXPECT_EQ(r.thread, b.thread);
}

TEST(WinMsgCrossThread, CallWaitingForADestroyedWindowIsNotDelivered) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  std::atomic<bool> returned{false};
  BOOL delivered = TRUE;
  LRESULT result = 5;
  std::thread worker([&] {
    char* copy = strdup("payload");
    delivered = SendMessageDelivered(hWnd, WM_ASK, reinterpret_cast<WPARAM>(copy), 0, &result);
    if (!delivered) std::free(copy);  // ownership never passed
    returned = true;
  });
  WaitOrAbort([] { return SentWaitingHere() == 1; }, "send never reached the main thread's queue");
  w.DestroyHandle();
  // The sender is released by the destruction, not by a later pump.
  WaitOrAbort([&] { return returned.load(); }, "sender still waits for a destroyed window");
  worker.join();
  EXPECT_FALSE(delivered);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(PumpSentMessages(), 0);
  EXPECT_TRUE(w.All().empty());
}

TEST(WinMsgCrossThread, WindowsDieWithTheirThread) {
  auto w = std::make_unique<Recorder>();
  HWND hWnd = nullptr;
  UINT_PTR timer = 99;
  std::thread([&] {
    hWnd = w->CreateHandle();
    PostMessage(hWnd, WM_NOTE, 0, 0);
    timer = SetTimer(hWnd, 1, 10);  // no Qt event loop on this thread
  }).join();
  EXPECT_EQ(timer, 0u);
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_FALSE(PostMessage(hWnd, WM_NOTE, 0, 0));
  EXPECT_FALSE(SendMessageDelivered(hWnd, WM_ASK, 0, 0, nullptr));
  w.reset();  // its destructor finds the handle gone
}

// A worker thread that runs a Qt event loop owns a window: posted and sent
// messages and its timers arrive on that thread.
TEST(WinMsgCrossThread, WindowOnAThreadWithItsOwnEventLoop) {
  Recorder w;
  std::atomic<HWND> hWnd{nullptr};
  std::thread::id ownerId;
  UINT_PTR timerId = 0;
  std::atomic<bool> done{false};
  std::thread owner([&] {
    QEventLoop loop;  // gives the thread an event dispatcher before SetTimer
    ownerId = std::this_thread::get_id();
    w.onMessage = [&](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
      if (message == WM_CLOSE) loop.quit();
      if (message == WM_TIMER && w.Count(WM_TIMER) == 3) KillTimer(w.GetSafeHwnd(), wParam);
      return message == WM_ASK ? 77 : 0;
    };
    const HWND h = w.CreateHandle();
    timerId = SetTimer(h, 5, 10);
    hWnd = h;
    loop.exec();
    w.DestroyHandle();
    done = true;
  });
  WaitOrAbort([&] { return hWnd.load() != nullptr; }, "owner thread did not start");
  for (WPARAM i = 0; i < 50; ++i) PostMessage(hWnd, WM_NOTE, i, 0);
  EXPECT_EQ(SendMessage(hWnd, WM_ASK, 0, 0), 77);
  WaitOrAbort([&] { return w.Count(WM_TIMER) >= 3 && w.Count(WM_NOTE) == 50; }, "owner thread did not deliver");
  PostMessage(hWnd, WM_CLOSE, 0, 0);
  WaitOrAbort([&] { return done.load(); }, "owner thread did not quit");
  owner.join();

  EXPECT_EQ(timerId, 5u);
  std::vector<WPARAM> expected(50);
  for (WPARAM i = 0; i < 50; ++i) expected[i] = i;
  EXPECT_EQ(w.WParams(WM_NOTE), expected);
  EXPECT_EQ(w.Count(WM_TIMER), 3u);
  for (const Received& r : w.All()) EXPECT_EQ(r.thread, ownerId);
}

TEST(WinMsgCrossThread, PostsFromManyThreadsKeepEachThreadsOrder) {
  Recorder w;
  const HWND hWnd = w.CreateHandle();
  constexpr int kThreads = 4;
  constexpr WPARAM kEach = 300;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([hWnd, t] {
      for (WPARAM i = 0; i < kEach; ++i) PostMessage(hWnd, WM_NOTE, i, t);
    });
  // Deliver while they post.
  ASSERT_TRUE(RunEventsUntil([&] { return w.Count(WM_NOTE) == kThreads * kEach; }));
  for (auto& p : posters) p.join();
  std::vector<WPARAM> next(kThreads, 0);
  for (const Received& r : w.All()) {
    ASSERT_EQ(r.wParam, next[static_cast<std::size_t>(r.lParam)]) << "thread " << r.lParam;
    ++next[static_cast<std::size_t>(r.lParam)];
  }
}

}  // namespace
