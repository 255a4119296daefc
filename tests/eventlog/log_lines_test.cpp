// Stamping, line joining and hand-over of log pieces.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/Log.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"

using testlog::CCollectingWindow;
using testlog::kConnectStamp;
using testlog::kMainStamp;
using testsupport::SpinUntil;

namespace {

// Empty formats are passed as a run-time text so that the compiler's check of
// zero-length formats stays quiet.
const std::string kEmpty;

class LogLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogTimeSource(&testlog::FixedTime);
    m_log.CreateHandle();
    RegisterLogWindow(&m_log);
    ASSERT_EQ(g_pLogWnd, &m_log) << "a window of an earlier test is still registered";
  }
  void TearDown() override {
    SetLogTimeSource(nullptr);
    g_bLogLineStart = true;
    g_bConnectLogLineStart = true;
  }

  // Waits until the main log window holds `count` texts.
  std::vector<std::string> Received(std::size_t count) {
    EXPECT_TRUE(SpinUntil([&] { return m_log.Count() >= count; })) << "got " << m_log.Count() << " of " << count;
    return m_log.Texts();
  }

  CCollectingWindow m_log;
};

TEST(LogFlags, BothDestinationsStartAtLineStart) {
  EXPECT_TRUE(g_bLogLineStart.load());
  EXPECT_TRUE(g_bConnectLogLineStart.load());
}

TEST_F(LogLinesTest, MainStampIsUtcDateAndTime) {
  // A zone five hours west of UTC: a local-time stamp would read 09:05:09.
  const char* oldZone = std::getenv("TZ");
  const std::string saved = oldZone ? oldZone : "";
  setenv("TZ", "XST+05", 1);
  tzset();
  LogPrintf("Initializing...\n");
  SetLogTimeSource([]() -> std::time_t { return 1230865445; });  // 2009-01-02 03:04:05 UTC
  LogPrintf("Found %d wireless interface%s.\n", 2, "s");
  if (oldZone) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();

  const auto texts = Received(2);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "07/11/23 14:05:09 Initializing...\n");
  EXPECT_EQ(texts[1], "09/01/02 03:04:05 Found 2 wireless interfaces.\n");
}

TEST_F(LogLinesTest, LineBuiltFromTwoPiecesHasOneStamp) {
  LogPrintf("ACM: Connecting to %s network '%s'", "infrastructure", "home");
  EXPECT_FALSE(g_bLogLineStart.load());
  LogPrintf(", via %s.\n", "a profile");
  EXPECT_TRUE(g_bLogLineStart.load());
  LogPrintf("Next\n");

  const auto texts = Received(3);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], std::string(kMainStamp) + "ACM: Connecting to infrastructure network 'home'");
  EXPECT_EQ(texts[1], ", via a profile.\n");
  EXPECT_EQ(texts[2], std::string(kMainStamp) + "Next\n");
}

TEST_F(LogLinesTest, PieceOfSeveralLinesIsStampedOnce) {
  LogPrintf("ACM: The profile used for this connection is as follows:\n%s\n", "<WLANProfile>\n</WLANProfile>");
  LogPrintf("after\nthe last line is left open ");  // only the piece's end decides
  LogPrintf("and closed\n");

  const auto texts = Received(3);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], std::string(kMainStamp) +
                          "ACM: The profile used for this connection is as follows:\n<WLANProfile>\n</WLANProfile>\n");
  EXPECT_EQ(texts[1], std::string(kMainStamp) + "after\nthe last line is left open ");
  EXPECT_EQ(texts[2], "and closed\n");
}

TEST_F(LogLinesTest, UnfinishedLineIsContinuedByAnotherThread) {
  std::thread([] { LogPrintf("first part "); }).join();
  std::thread([] { LogPrintf("second part\n"); }).join();

  const auto texts = Received(2);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], std::string(kMainStamp) + "first part ");
  EXPECT_EQ(texts[1], "second part\n");
}

TEST_F(LogLinesTest, LongPiecesArriveWhole) {
  // Around the first buffer's size and its doublings, up to a 5,000-character piece.
  const std::vector<std::size_t> lengths = {2046, 2047, 2048, 2049, 4095, 4096, 4097, 5000};
  std::vector<std::string> bodies;
  for (std::size_t length : lengths) {
    std::string body;
    for (std::size_t i = 0; i + 1 < length; ++i) body += static_cast<char>('a' + i % 26);
    bodies.push_back(body);
    LogPrintf("%s\n", body.c_str());  // piece of exactly `length` characters before the stamp
  }

  const auto texts = Received(lengths.size());
  ASSERT_EQ(texts.size(), lengths.size());
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    EXPECT_EQ(texts[i].size(), lengths[i] + std::strlen(kMainStamp)) << "length " << lengths[i];
    EXPECT_EQ(texts[i], std::string(kMainStamp) + bodies[i] + "\n") << "length " << lengths[i];
  }
}

TEST_F(LogLinesTest, EmptyFormatAtLineStartGivesTheStampAloneAndLeavesTheLineOpen) {
  LogPrintf(kEmpty.c_str());
  EXPECT_FALSE(g_bLogLineStart.load());
  LogPrintf("rest\n");
  LogPrintf("%s", "");  // an empty piece at line start is stamped the same way
  LogPrintf(kEmpty.c_str());  // empty and unstamped: the line stays open

  const auto texts = Received(4);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], kMainStamp);
  EXPECT_EQ(texts[1], "rest\n");
  EXPECT_EQ(texts[2], kMainStamp);
  EXPECT_EQ(texts[3], "");
  EXPECT_FALSE(g_bLogLineStart.load());
}

TEST_F(LogLinesTest, PiecesWithoutAWindowAreDroppedButStillMoveTheFlag) {
  UnregisterLogWindow(&m_log);
  ASSERT_EQ(g_pLogWnd, nullptr);
  LogPrintf("dropped, line left open ");
  EXPECT_FALSE(g_bLogLineStart.load());

  // Registered but without a window handle: dropped as well.
  CCollectingWindow noHandle;
  RegisterLogWindow(&noHandle);
  LogPrintf("also dropped\n");
  EXPECT_TRUE(g_bLogLineStart.load());
  LogPrintf("dropped again ");
  UnregisterLogWindow(&noHandle);

  RegisterLogWindow(&m_log);
  LogPrintf("continues the dropped line\n");
  LogPrintf("new line\n");

  const auto texts = Received(2);
  EXPECT_EQ(texts, (std::vector<std::string>{"continues the dropped line\n", std::string(kMainStamp) + "new line\n"}));
  EXPECT_EQ(noHandle.Count(), 0u);
}

TEST_F(LogLinesTest, StampIsEmptyWhenTheTimeIsUnknown) {
  SetLogTimeSource([]() -> std::time_t { return -1; });
  LogPrintf("no time\n");
  // Beyond what the calendar conversion can represent.
  SetLogTimeSource([]() -> std::time_t { return static_cast<std::time_t>(LLONG_MAX); });
  LogPrintf("too late ");
  EXPECT_FALSE(g_bLogLineStart.load());
  LogPrintf("to stamp\n");
  ConnectLogPrintf(&m_log, "connect log\n");
  EXPECT_TRUE(g_bLogLineStart.load());

  const auto texts = Received(4);
  // The connect-log text is sent synchronously and so arrives before the
  // posted ones are delivered.
  EXPECT_EQ(texts, (std::vector<std::string>{"connect log\n", "no time\n", "too late ", "to stamp\n"}));
}

TEST_F(LogLinesTest, ConnectLogHasItsOwnStampAndLineFlag) {
  CCollectingWindow dialog;
  dialog.CreateHandle();
  LogPrintf("main log line left open ");

  ConnectLogPrintf(&dialog, "Connecting to %s...\n", "home");
  // Synchronous: the text is there when the call returns.
  ASSERT_EQ(dialog.Count(), 1u);
  ConnectLogPrintf(&dialog, "Attempt %d ", 1);
  ConnectLogPrintf(&dialog, "failed\n");
  ConnectLogPrintf(&dialog, kEmpty.c_str());
  EXPECT_FALSE(g_bConnectLogLineStart.load());
  EXPECT_FALSE(g_bLogLineStart.load()) << "the connect log moved the main log's flag";

  LogPrintf("closed\n");
  EXPECT_EQ(dialog.Texts(), (std::vector<std::string>{std::string(kConnectStamp) + "Connecting to home...\n",
                                                      std::string(kConnectStamp) + "Attempt 1 ", "failed\n",
                                                      kConnectStamp}));
  const auto texts = Received(2);
  EXPECT_EQ(texts, (std::vector<std::string>{std::string(kMainStamp) + "main log line left open ", "closed\n"}));
}

TEST_F(LogLinesTest, ConnectLogWithoutAWindowDropsThePieceButMovesTheFlag) {
  CCollectingWindow noHandle;
  ConnectLogPrintf(&noHandle, "dropped ");
  ConnectLogPrintf(nullptr, "dropped too ");
  EXPECT_FALSE(g_bConnectLogLineStart.load());

  CCollectingWindow destroyed;
  destroyed.CreateHandle();
  destroyed.Destroy();
  ConnectLogPrintf(&destroyed, "still dropped\n");
  EXPECT_TRUE(g_bConnectLogLineStart.load());

  EXPECT_EQ(noHandle.Count() + destroyed.Count(), 0u);
}

}  // namespace
