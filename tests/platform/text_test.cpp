// UTF-8 and UTF-16 conversion edge cases where a converter's defaults would
// change the text: byte-order marks, a sequence cut off at the end,
// malformed and overlong sequences, unpaired surrogates.
#include <gtest/gtest.h>

#include <string>

#include "platform/widetext.h"

namespace {

TEST(WideText, Utf8ToUtf16KeepsEveryCharacterAndReplacesEachBadByte) {
  const struct {
    const char* name;
    std::string utf8;
    std::u16string wide;
  } cases[] = {
      {"leading U+FEFF is text", "\xEF\xBB\xBF" "abc", u"\uFEFFabc"},
      {"sequence cut off at the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80x", u"\uFFFD\uFFFD\uFFFDx"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"four-byte character", "\xF0\x9F\x93\xB6", u"\U0001F4F6"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.name;
}

TEST(WideText, Utf16ToUtf8KeepsMarksAndReplacesUnpairedSurrogates) {
  const struct {
    const char* name;
    std::u16string wide;
    std::string utf8;
  } cases[] = {
      {"leading U+FEFF is text", u"\uFEFFx", "\xEF\xBB\xBFx"},
      {"leading U+FFFE is text, not a swapped mark", u"\uFFFEx", "\xEF\xBF\xBEx"},
      {"low surrogate alone", std::u16string{u'a', char16_t(0xDC00)}, "a\xEF\xBF\xBD"},
      {"high surrogate before a letter", std::u16string{char16_t(0xD83D), u'b'}, "\xEF\xBF\xBD" "b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << c.name;
    EXPECT_EQ(WideToUtf8(c.wide.c_str()), c.utf8) << c.name << " (NUL-terminated)";
  }
}

}  // namespace
