// Texts of the values the WLAN service reports (interface states, ACM and MSM
// notification codes, connection modes, BSS types, ciphers), and wide
// platform text turned into the program's narrow text. Pure; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

std::string InterfaceStateName(DWORD state);
std::string AcmNotificationName(DWORD code);
std::string MsmNotificationName(DWORD code);
std::string ConnectionModeName(DWORD mode);
std::string BssTypeName(DWORD type);
// Signed: the vendor range of cipher values has the top bit set.
std::string CipherAlgorithmName(std::int32_t algorithm);

// UTF-16 text to the program's narrow text (UTF-8 here). Null or empty gives "".
std::string WideToLogText(const WCHAR* text);
