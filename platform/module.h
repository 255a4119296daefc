// The running program's own executable.
#pragma once

#include "platform/wintypes.h"

using HMODULE = HANDLE;
using LPSTR = char*;
using LPCSTR = const char*;

// Copies the path of the process's main executable (hModule null; other
// modules are not supported and give 0) into lpFilename. Returns the number
// of characters copied without the NUL. When the path does not fit, the text
// is cut to nSize - 1 characters, still NUL-terminated, and nSize is returned,
// so a caller can tell truncation apart and retry with a larger buffer.
// 0 on failure. On Linux the path is /proc/self/exe's target; the kernel's
// " (deleted)" mark of a replaced executable is removed.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
