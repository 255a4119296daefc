// Text of a WLAN reason code: the program's own wording first, then the
// service's description, then the number itself.
#pragma once

#include <span>
#include <string>

#include "platform/wintypes.h"

struct ReasonCodeEntry {
  DWORD code;
  const char* text;
};

// The program's own texts, in ascending code order.
std::span<const ReasonCodeEntry> ReasonCodeTable();

// Never empty: table text unchanged, else the service's description plus ".",
// else "(The reason code is 0x<hex>).".
std::string ReasonCodeText(DWORD code);

// Ends the current main-log line with the code's text and a line end.
void LogReasonLine(DWORD code);
