// Which window receives the main log, what happens to the copies when it goes
// away, and hand-overs between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/Log.h"
#include "platform/workerthread.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"

using testlog::CCollectingWindow;
using testlog::kConnectStamp;
using testlog::kMainStamp;
using testsupport::SpinUntil;

namespace {

class LogWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogTimeSource(&testlog::FixedTime);
    ASSERT_EQ(g_pLogWnd, nullptr) << "a window of an earlier test is still registered";
  }
  void TearDown() override {
    SetLogTimeSource(nullptr);
    g_bLogLineStart = true;
    g_bConnectLogLineStart = true;
  }
};

TEST_F(LogWindowsTest, FirstRegisteredWindowKeepsTheMainLog) {
  CCollectingWindow first;
  CCollectingWindow second;
  first.CreateHandle();
  second.CreateHandle();
  RegisterLogWindow(&first);
  RegisterLogWindow(&second);
  EXPECT_EQ(g_pLogWnd, &first);

  UnregisterLogWindow(&second);  // not the main log: no effect
  EXPECT_EQ(g_pLogWnd, &first);
  LogPrintf("to the first\n");
  ASSERT_TRUE(SpinUntil([&] { return first.Count() == 1; }));

  UnregisterLogWindow(&first);
  EXPECT_EQ(g_pLogWnd, nullptr);
  RegisterLogWindow(&second);
  EXPECT_EQ(g_pLogWnd, &second);
  LogPrintf("to the second\n");
  ASSERT_TRUE(SpinUntil([&] { return second.Count() == 1; }));

  EXPECT_EQ(first.Texts(), std::vector<std::string>{std::string(kMainStamp) + "to the first\n"});
  EXPECT_EQ(second.Texts(), std::vector<std::string>{std::string(kMainStamp) + "to the second\n"});
}

// The copies posted but not yet delivered are released by the window's
// destroy step; pieces written after it are never copied. The leak checker
// of the sanitizer build reports any copy that is lost.
TEST_F(LogWindowsTest, CopiesWaitingForADestroyedWindowAreReleased) {
  CCollectingWindow log;
  log.CreateHandle();
  RegisterLogWindow(&log);
  for (int i = 0; i < 10; ++i) LogPrintf("queued %d\n", i);
  std::thread([] {
    for (int i = 0; i < 10; ++i) LogPrintf("queued by a worker %d\n", i);
  }).join();

  log.Destroy();
  EXPECT_EQ(g_pLogWnd, &log);  // still registered, but without a handle
  LogPrintf("after the destroy step\n");

  // A window created afterwards on the same thread proves the queue was
  // drained: what it receives was posted after everything above.
  UnregisterLogWindow(&log);
  CCollectingWindow next;
  next.CreateHandle();
  RegisterLogWindow(&next);
  LogPrintf("sentinel\n");
  ASSERT_TRUE(SpinUntil([&] { return next.Count() == 1; }));
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(next.Texts(), std::vector<std::string>{std::string(kMainStamp) + "sentinel\n"});
}

TEST_F(LogWindowsTest, PiecesOfEachThreadArriveInTheirOrder) {
  CCollectingWindow log;
  log.CreateHandle();
  RegisterLogWindow(&log);
  constexpr int kThreads = 4;
  constexpr int kLines = 250;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LogPrintf("writer %d line %d\n", t, i);
    });
  for (auto& writer : writers) writer.join();

  ASSERT_TRUE(SpinUntil([&] { return log.Count() == kThreads * kLines; })) << log.Count();
  int next[kThreads] = {};
  for (const auto& text : log.Texts()) {
    // Every piece ends a line, so every piece starts one and is stamped.
    ASSERT_EQ(text.rfind(kMainStamp, 0), 0u) << text;
    int writer = -1;
    int line = -1;
    ASSERT_EQ(std::sscanf(text.c_str() + std::strlen(kMainStamp), "writer %d line %d", &writer, &line), 2) << text;
    ASSERT_TRUE(writer >= 0 && writer < kThreads) << text;
    EXPECT_EQ(line, next[writer]) << "writer " << writer << " out of order";
    next[writer] = line + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines);
}

// The connect thread writes to a dialog's log while the owner of that window
// waits for the connect thread to end.
TEST_F(LogWindowsTest, ConnectLogFromAWorkerWhileTheOwnerJoinsIt) {
  CCollectingWindow dialog;
  dialog.CreateHandle();
  CWorkerThread connectThread;
  std::vector<std::size_t> seenAfterEachCall;
  ASSERT_TRUE(connectThread.Start([&] {
    for (int i = 0; i < 20; ++i) {
      ConnectLogPrintf(&dialog, "Step %d\n", i);
      seenAfterEachCall.push_back(dialog.Count());
    }
  }));
  connectThread.Join();

  ASSERT_EQ(dialog.Count(), 20u);
  const auto texts = dialog.Texts();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(texts[i], std::string(kConnectStamp) + "Step " + std::to_string(i) + "\n");
    // Synchronous: each text was appended before its call returned.
    EXPECT_EQ(seenAfterEachCall[i], static_cast<std::size_t>(i + 1));
  }
}

// While a connect thread's text waits for the user-interface thread, that
// thread must be able to take g_csLog (it does so in LogPrintf and in an
// output window's destroy step); a hand-over that kept the lock across the
// wait would deadlock the two. The dialog's handler runs on the
// user-interface thread while the sender is still waiting for it.
TEST_F(LogWindowsTest, LockIsFreeWhileAConnectLogTextWaitsForTheWindowThread) {
  CCollectingWindow mainLog;
  mainLog.CreateHandle();
  RegisterLogWindow(&mainLog);
  CCollectingWindow dialog;
  dialog.CreateHandle();
  std::atomic<int> lockedDuringSend{0};
  std::atomic<int> blockedDuringSend{0};
  dialog.onText = [&] {
    if (testlog::LockWithin(g_csLog, std::chrono::seconds(2))) {
      g_csLog.unlock();
      ++lockedDuringSend;
      LogPrintf("written by the window thread during a hand-over\n");
    } else {
      ++blockedDuringSend;
    }
  };

  // Other threads keep taking g_csLog meanwhile.
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 2; ++t)
    writers.emplace_back([&] {
      for (int i = 0; i < 2000 && !stop.load(); ++i) LogPrintf("background\n");
    });

  CWorkerThread connectThread;
  ASSERT_TRUE(connectThread.Start([&] {
    for (int i = 0; i < 5; ++i) ConnectLogPrintf(&dialog, "Connecting %d\n", i);
  }));
  connectThread.Join();
  stop = true;
  for (auto& writer : writers) writer.join();

  EXPECT_EQ(blockedDuringSend.load(), 0) << "g_csLog was held while the text waited for the window thread";
  EXPECT_EQ(lockedDuringSend.load(), 5);
  EXPECT_EQ(dialog.Count(), 5u);
  const std::string written = std::string(kMainStamp) + "written by the window thread during a hand-over\n";
  ASSERT_TRUE(SpinUntil([&] {
    int found = 0;
    for (const auto& text : mainLog.Texts()) found += text == written;
    return found == 5;
  }));
}

// The dialog's window is destroyed while the connect thread hands text to it:
// whether the text was already waiting or arrives after the destroy step, it
// is never shown, the connect thread returns, and the copy is released.
TEST_F(LogWindowsTest, ConnectLogToAWindowDestroyedDuringTheHandOver) {
  CCollectingWindow dialog;
  dialog.CreateHandle();
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  std::thread connectThread([&] {
    started = true;
    ConnectLogPrintf(&dialog, "never shown\n");
    ConnectLogPrintf(&dialog, "nor this\n");
    finished = true;
  });
  while (!started.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the first text be waiting

  // The destroy step takes g_csLog on this thread while the sender waits.
  bool locked = testlog::LockWithin(g_csLog, std::chrono::seconds(2));
  if (locked) g_csLog.unlock();
  EXPECT_TRUE(locked) << "g_csLog was held while the text waited for the window thread";
  if (!locked) SpinUntil([&] { return finished.load(); });  // release the sender before going on
  dialog.Destroy();
  EXPECT_TRUE(SpinUntil([&] { return finished.load(); }));
  connectThread.join();

  EXPECT_EQ(dialog.Count(), 0u);
}

}  // namespace
