// The output window's life: the first one constructed becomes the main log,
// first use starts the refresh timer, and destruction releases the texts
// still queued for it (LeakSanitizer reports any it misses) but not those of
// another window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "tests/common/test_support.h"
#include "tests/eventlog_widgets/OutWndHarness.h"

using outwnd::Add;

namespace {

char* Copy(const char* text) {
  char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  std::strcpy(copy, text);
  return copy;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(OutWndLifetime, TheFirstWindowConstructedBecomesTheMainLog) {
  ASSERT_EQ(g_pLogWnd, nullptr);
  auto first = std::make_unique<COutWnd>();
  COutWnd second;
  EXPECT_EQ(g_pLogWnd, static_cast<CMessageTarget*>(first.get()));

  LogPrintf("to the main log\n");
  ASSERT_TRUE(testsupport::SpinUntil([&] { return first->LineCount() == 1; }));
  EXPECT_TRUE(EndsWith(first->Line(0), "to the main log"));
  EXPECT_EQ(second.LineCount(), 0);

  first.reset();
  EXPECT_EQ(g_pLogWnd, nullptr) << "destruction unregisters the main log";
  LogPrintf("dropped\n");
  // A window constructed while none is registered takes the main log over;
  // the older `second` does not.
  COutWnd third;
  EXPECT_EQ(g_pLogWnd, static_cast<CMessageTarget*>(&third));
  LogPrintf("to the third\n");
  ASSERT_TRUE(testsupport::SpinUntil([&] { return third.LineCount() == 1; }));
  EXPECT_TRUE(EndsWith(third.Line(0), "to the third"));
  EXPECT_EQ(second.LineCount(), 0);
}

TEST(OutWndLifetime, DestructionReleasesTheTextsQueuedForItOnly) {
  ASSERT_EQ(g_pLogWnd, nullptr);
  auto main = std::make_unique<COutWnd>();
  COutWnd other;
  // Queued, not yet delivered: nothing runs the event loop in between.
  for (int i = 0; i < 5; ++i) LogPrintf("queued %d\n", i);
  std::thread writer([] { LogPrintf("from a worker\n"); });
  writer.join();
  ASSERT_TRUE(PostMessage(other.GetSafeHwnd(), WM_OUTWND_ADDTEXT, reinterpret_cast<WPARAM>(Copy("for the other\n")), 0));
  main.reset();

  // The other window's text survives and arrives.
  ASSERT_TRUE(testsupport::SpinUntil([&] { return other.LineCount() == 1; }));
  EXPECT_EQ(other.Line(0), "for the other");
  // Texts written after the destruction are dropped by the writer (the
  // other window's own flush, posted behind its text, goes first).
  PumpPostedMessages();
  LogPrintf("after\n");
  EXPECT_EQ(PumpPostedMessages(), 0);
  EXPECT_EQ(other.LineCount(), 1);
}

TEST(OutWndLifetime, FirstUseStartsTheRefreshTimer) {
  COutWnd wnd;
  EXPECT_FALSE(wnd.Started());
  Add(wnd, "one\ntwo\nthree\n");
  EXPECT_TRUE(wnd.Started());
  EXPECT_EQ(wnd.PendingLines(), 3);
  // The real 200 ms timer brings them in.
  EXPECT_TRUE(testsupport::SpinUntil([&] { return wnd.PendingLines() == 0; }));
}

}  // namespace
