// The registry calls the settings code uses, for the one key this program
// needs outside its own profile: the machine-wide log-on run list
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\policies\Explorer\Run
// (the key path is compared without case, as registry paths are).
//
// Linux store: the user's XDG autostart folder <$XDG_CONFIG_HOME, default
// ~/.config>/autostart, read from the environment on every open (a relative
// XDG_CONFIG_HOME is ignored). One value is one "<name>.desktop" file:
//     [Desktop Entry]
//     Type=Application
//     Name=<the program's name, GetProfileAppName()>
//     Exec=<data>
// The data is taken as one program path: in Exec it is quoted by the
// desktop-entry rules where it holds a reserved character (a space, a quote,
// ...), '%' is doubled, and the value escapes follow (backslash, line breaks,
// tab). It reads back exactly. An Exec that is not one quoted argument reads
// as it stands ("%%" as '%'), so a command with arguments is never taken for a
// bare path. Values are enumerated in the byte order of their file names, so
// indices are deterministic. Value names are matched without case, as the
// registry does. Only REG_SZ data is stored.
//
// A folder that does not exist yet opens for writing when the nearest
// existing folder above it can be written; the first value written creates
// it (mode 0700 for each folder made). Opened only for reading it is
// ERROR_FILE_NOT_FOUND. A folder the process cannot write cannot be opened for
// writing (ERROR_ACCESS_DENIED). Writability is access(W_OK) and, because
// the superuser passes that check for every folder on a writable file system,
// for the superuser also at least one write bit in the folder's mode: a
// folder that nobody may write (e.g. mode 0555) counts as closed for root too.
// After a failure, RegLastFailureText() says why (with the folder or file).
#pragma once

#include "platform/module.h"
#include "platform/wintypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;

// The predefined roots are fixed handle values, never allocated keys.
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM KEY_READ = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;  // 0x20019
constexpr REGSAM KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;                   // 0x20006

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

// Opens a subkey. Only the run-list key under HKEY_LOCAL_MACHINE exists;
// every other path gives ERROR_FILE_NOT_FOUND. ulOptions must be 0.
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Reads the value at dwIndex: its name into lpValueName (*lpcchValueName
// characters including the NUL on entry; the name's length without NUL on
// return), its type, and its data (*lpcbData bytes on entry; the data's size
// including the NUL on return; lpData may be null to ask only the size).
// ERROR_NO_MORE_ITEMS past the last value; ERROR_MORE_DATA when the name or
// the data does not fit (then *lpcbData holds the size needed and nothing
// else is written); ERROR_ACCESS_DENIED when the entry cannot be read. On any
// failure the name and data buffers are left as they were.
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Reads one value by name, with the buffer rules of RegEnumValueA.
// ERROR_FILE_NOT_FOUND when no value has that name.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);

// Creates or replaces a value. REG_SZ only; the data ends at its first NUL or
// after cbData bytes. The name must be non-empty and a valid file name.
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);

// Removes a value. ERROR_FILE_NOT_FOUND when no value has that name.
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Closes a key from RegOpenKeyExA (closing a predefined root is a no-op).
LSTATUS RegCloseKey(HKEY hKey);

// Why the calling thread's last failing open, write or removal failed, e.g.
// "cannot write in /home/u/.config/autostart: Permission denied".
const char* RegLastFailureText();
