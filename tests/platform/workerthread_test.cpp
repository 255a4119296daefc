// Worker threads: start, running state, joins from the owner and from the
// worker itself, destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/workerthread.h"
#include "tests/platform/winmsg_test_util.h"

using namespace winmsgtest;

namespace {

TEST(WorkerThread, RunsOneBodyAtATime) {
  CWorkerThread worker;
  EXPECT_FALSE(worker.IsRunning());
  worker.Join();  // nothing started: returns

  std::atomic<bool> release{false};
  std::atomic<int> runs{0};
  std::atomic<bool> sawItself{false};
  ASSERT_TRUE(worker.Start([&] {
    sawItself = worker.IsCurrentThread();
    while (!release.load()) std::this_thread::yield();
    ++runs;
  }));
  EXPECT_TRUE(worker.IsRunning());
  EXPECT_FALSE(worker.IsCurrentThread());
  EXPECT_FALSE(worker.Start([&] { runs += 100; })) << "a second body while one runs";
  release = true;
  worker.Join();
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(sawItself.load());

  // A finished thread makes room for the next body.
  ASSERT_TRUE(worker.Start([&] { ++runs; }));
  WaitOrAbort([&] { return !worker.IsRunning(); }, "second body did not finish");
  ASSERT_TRUE(worker.Start([&] { ++runs; }));  // joins the finished one first
  worker.Join();
  EXPECT_EQ(runs.load(), 3);
}

TEST(WorkerThread, JoinFromTheWorkerItselfReturns) {
  CWorkerThread worker;
  std::atomic<bool> after{false};
  ASSERT_TRUE(worker.Start([&] {
    worker.Join();
    after = true;
  }));
  worker.Join();
  EXPECT_TRUE(after.load());
}

TEST(WorkerThread, DestructionWaitsForTheBodyOrDetachesFromWithin) {
  std::atomic<bool> finished{false};
  {
    CWorkerThread worker;
    worker.Start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    });
  }
  EXPECT_TRUE(finished.load()) << "the destructor joins a running body";

  // A body that deletes its own worker object: no self-join.
  auto* self = new CWorkerThread;
  std::atomic<bool> deleted{false};
  ASSERT_TRUE(self->Start([&] {
    delete self;
    deleted = true;
  }));
  WaitOrAbort([&] { return deleted.load(); }, "worker deleting itself hung");
}

}  // namespace
