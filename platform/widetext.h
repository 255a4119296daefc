// UTF-16 platform text and the program's narrow (UTF-8) text.
#pragma once

#include <string>

#include "platform/wintypes.h"

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
// Length of a NUL-terminated UTF-16 text; 0 for null.
std::size_t WideLength(const WCHAR* text);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD. Null gives "".
std::string WideToUtf8(const WCHAR* text);
std::string WideToUtf8(const std::u16string& text);
// UTF-8 -> UTF-16. Malformed sequences become U+FFFD.
std::u16string Utf8ToWide(const std::string& text);
// Copies `text` into a fixed buffer of `capacity` characters, cut to fit and
// always NUL-terminated (capacity > 0).
void CopyWide(WCHAR* dest, std::size_t capacity, const std::u16string& text);
