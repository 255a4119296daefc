// How texts become stored lines: wrapping, continuation, line ends, tabs,
// dropped characters and the line limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/eventlog_widgets/OutWndHarness.h"

using outwnd::Add;
using outwnd::Lines;
using Strings = std::vector<std::string>;

namespace {

TEST(OutWndText, LongLinesWrapAt512WithAnIndentedContinuation) {
  COutWnd wnd;
  // No blank to break at: the cut falls at 512 and nothing is lost.
  const std::string text(600, 'x');
  Add(wnd, text + "\n");
  EXPECT_EQ(Lines(wnd), (Strings{std::string(512, 'x'), "  " + std::string(88, 'x')}));
  EXPECT_TRUE(wnd.LineComplete());

  // Without word wrap blanks do not matter either.
  COutWnd hard;
  hard.m_bWordWrap = false;
  std::string spaced;
  for (int i = 0; i < 60; ++i) spaced += "abcdefgh i";
  Add(hard, spaced + "\n");
  ASSERT_EQ(hard.LineCount(), 2);
  EXPECT_EQ(hard.Line(1), spaced.substr(0, 512));
  EXPECT_EQ(hard.Line(0), "  " + spaced.substr(512));
}

TEST(OutWndText, WordWrapBreaksAfterTheLastWordThatFits) {
  COutWnd wnd;
  // Columns 0..505 'x', blank, "aaa" at 507..509, blank at 510, then b's:
  // the 512-column limit is reached inside the b's.
  const std::string head = std::string(506, 'x') + " aaa";
  Add(wnd, head + " " + std::string(20, 'b') + "\n");
  EXPECT_EQ(Lines(wnd), (Strings{head, "  " + std::string(20, 'b')}));
}

// Window-width wrapping fills the viewport beside the vertical scroll bar,
// continuation indent included, so no display line is wider than it.
TEST(OutWndText, WindowWidthWrapFillsTheViewportBesideTheVerticalBar) {
  COutWnd wnd;
  wnd.m_bWrapToWindow = true;
  wnd.resize(400, 200);
  wnd.show();
  for (int i = 0; i < 30; ++i) Add(wnd, "x\n");
  outwnd::Tick(wnd, COutWnd::kRefreshTimer);
  QCoreApplication::processEvents();  // the area shows its bar
  ASSERT_TRUE(wnd.verticalScrollBar()->isVisible());
  const int columns = wnd.viewport()->width() / wnd.CharWidth();
  ASSERT_GT(columns, 10);

  wnd.Reset();
  Add(wnd, std::string(columns * 2 + 5, 'z') + "\n");
  EXPECT_EQ(Lines(wnd),
            (Strings{std::string(columns, 'z'), "  " + std::string(columns - 2, 'z'), "  " + std::string(7, 'z')}));

  // Word wrap in window width: "one two three ..." breaks at blanks only.
  wnd.Reset();
  std::string words;
  while (static_cast<int>(words.size()) < columns * 3) words += "word ";
  words.pop_back();
  Add(wnd, words + "\n");
  ASSERT_GE(wnd.LineCount(), 3);
  for (const std::string& line : Lines(wnd)) {
    EXPECT_LE(static_cast<int>(line.size()), columns) << line;
    EXPECT_EQ(line.back(), 'd') << "broken inside a word: " << line;
  }
}

TEST(OutWndText, WindowWidthBeforeAnySizeStillMakesProgress) {
  COutWnd wnd;
  wnd.m_bWrapToWindow = true;  // never shown: no columns yet
  ASSERT_EQ(wnd.VisibleColumns(), 0);
  Add(wnd, "abc\n");
  EXPECT_EQ(Lines(wnd), (Strings{"a", "  b", "  c"}));
}

TEST(OutWndText, PiecesWithoutALineEndContinueTheNewestLine) {
  COutWnd wnd;
  Add(wnd, "abc");
  EXPECT_FALSE(wnd.LineComplete());
  Add(wnd, "");  // an empty text changes nothing
  Add(wnd, "def\n");
  Add(wnd, "ghi\n");
  EXPECT_EQ(Lines(wnd), (Strings{"abcdef", "ghi"}));

  // A text that ends on a dropped character after its line end leaves an
  // open, empty line: the next text goes there, not onto "jkl".
  Add(wnd, "jkl\n\x07");
  Add(wnd, "mno\n");
  EXPECT_EQ(Lines(wnd), (Strings{"abcdef", "ghi", "jkl", "mno"}));
}

TEST(OutWndText, ARebuiltContinuationKeepsItsIndentOutOfTheColumns) {
  COutWnd wnd;
  // 512 + 510 characters: the second display line is "  " + 510 and open.
  Add(wnd, std::string(1022, 'x'));
  ASSERT_EQ(wnd.LineCount(), 2);
  // Two more characters fill the continuation to exactly 512 columns.
  Add(wnd, "cc\n");
  EXPECT_EQ(Lines(wnd), (Strings{std::string(512, 'x'), "  " + std::string(510, 'x') + "cc"}));
  EXPECT_EQ(wnd.LongestLine(), 512);
}

TEST(OutWndText, LineEnds) {
  COutWnd wnd;
  Add(wnd, "one\r\ntwo\r\n");
  EXPECT_EQ(Lines(wnd), (Strings{"one", "two"}));
  Add(wnd, "three\n\n");
  EXPECT_EQ(Lines(wnd), (Strings{"one", "two", "three", ""}));
  Add(wnd, "four\n\rfive\r\r");
  EXPECT_EQ(Lines(wnd), (Strings{"one", "two", "three", "", "four", "five", ""}));
}

TEST(OutWndText, TabsAdvanceToTheNextMultipleOfEight) {
  COutWnd wnd;
  Add(wnd, "abc\tX\n");
  Add(wnd, "12345678\tY\n");
  Add(wnd, "\tZ\n");
  EXPECT_EQ(Lines(wnd), (Strings{"abc     X", "12345678        Y", "        Z"}));
}

TEST(OutWndText, OnlyPrintableAsciiIsKept) {
  COutWnd wnd;
  std::string every;
  for (int c = 1; c < 256; ++c)
    if (c != '\t' && c != '\r' && c != '\n') every += static_cast<char>(c);
  Add(wnd, every + "\n");
  std::string printable;
  for (int c = 0x20; c <= 0x7E; ++c) printable += static_cast<char>(c);
  EXPECT_EQ(Lines(wnd), (Strings{printable}));
}

TEST(OutWndText, KeepsTheNewest30000Lines) {
  COutWnd wnd;
  std::string text;
  for (int i = 1; i <= 30001; ++i) text += "line " + std::to_string(i) + "\n";
  Add(wnd, text);
  ASSERT_EQ(wnd.LineCount(), 30000);
  EXPECT_EQ(wnd.Line(0), "line 30001");
  EXPECT_EQ(wnd.Line(29999), "line 2");

  // One at a time the oldest still leaves first.
  Add(wnd, "line 30002\n");
  EXPECT_EQ(wnd.LineCount(), 30000);
  EXPECT_EQ(wnd.Line(29999), "line 3");
}

TEST(OutWndText, ResetForgetsTheLinesButNotTheOptions) {
  COutWnd wnd;
  wnd.m_bWrapToWindow = true;
  wnd.m_bWordWrap = false;
  Add(wnd, "open line");
  wnd.Reset();
  EXPECT_EQ(wnd.LineCount(), 0);
  EXPECT_TRUE(wnd.LineComplete());
  EXPECT_EQ(wnd.LongestLine(), 0);
  EXPECT_TRUE(wnd.m_bWrapToWindow);
  EXPECT_FALSE(wnd.m_bWordWrap);
  Add(wnd, "x\n");
  EXPECT_EQ(Lines(wnd), (Strings{"x"}));
}

}  // namespace
