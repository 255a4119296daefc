// Case-insensitive comparison of the program's narrow (UTF-8) texts.
#pragma once

#include <string_view>

// Compares two UTF-8 texts without regard to case, character by character
// (not byte by byte), using Unicode simple case folding. Returns <0, 0 or >0.
// A text that is not valid UTF-8 (file names on Linux may be any bytes) is
// compared byte by byte with only ASCII letters folded, so two different
// malformed texts never compare equal through replacement characters.
int Utf8CompareNoCase(std::string_view a, std::string_view b);
