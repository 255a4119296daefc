// The application's per-user profile: integers and texts by section and value
// name, kept under the registry key name and the application name.
//
// Linux store: an INI file read and written through QSettings, at
// $XDG_CONFIG_HOME/<registry key name>/<application name>.ini (for the
// program: "Local AppWizard-Generated Applications/Aerlume.ini"). Sections are
// INI groups. Every write reaches the file before the call returns. Only the
// user's own file is read: there are no system-wide fallbacks.
//
// Before SetRegistryKey the key name is the application name. Every failure is
// reported only by the result: a value that cannot be read gives the default.
// Calls are serialised, so any thread may use them.
#pragma once

#include <string>

#include "platform/wintypes.h"

// The registry key name (organisation folder) of the profile.
void SetRegistryKey(const char* keyName);
// The application name; "Aerlume" unless changed.
void SetProfileAppName(const char* appName);
std::string GetProfileAppName();
// Uses this INI file instead of the one under $XDG_CONFIG_HOME (tests, or a
// portable set-up). An empty path restores the default location. Needed
// because the default location is resolved once per process.
void SetProfileFilePath(const std::string& path);
// The INI file the profile reads and writes now.
std::string GetProfileFilePath();

// The stored integer, or nDefault when the value is absent or is not an
// integer that fits 32 bits (signed or unsigned). As a 32-bit value word:
// a stored -1 reads as 0xFFFFFFFF.
UINT GetProfileInt(const char* section, const char* entry, int nDefault);
BOOL WriteProfileInt(const char* section, const char* entry, int nValue);
// The stored text, or the default (null reads as "") when absent.
std::string GetProfileString(const char* section, const char* entry, const char* defaultText = nullptr);
// Writes the text; a null value removes the entry.
BOOL WriteProfileString(const char* section, const char* entry, const char* value);
