// The values that survive a restart, and the program's entry in the user's
// log-on run list.
//
// The scan intervals, the retry switch and the monitored adapter live in the
// application's per-user profile (platform/appprofile.h), sections "Scan",
// "Connect" and "Monitor". Autorun is not stored as a value: it is the
// presence of an entry for this executable in the run list
// (platform/registry.h). The values are process-wide statics read directly by
// their users; load and save run on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

class CSettings {
 public:
  CSettings() = default;
  virtual ~CSettings() = default;

  // Reads every value; absent or unreadable values take their defaults, and
  // so does an interval of zero or less. Any positive interval is kept as it
  // was stored, so a later save writes back what the user set.
  static void Load();
  // Writes every value as it is in memory, then applies m_bAutorun to the
  // run list and reads it back, so m_bAutorun always tells what is on disk;
  // when the run list could not be changed, the log says why.
  static void Save();
  // True when the run list holds an entry for this executable among its
  // first kRunListScanLimit values (whether or not the list can be written).
  static bool IsAutorun();
  // Writes only m_uHiddenColumns (the list's heading menu saves at once).
  static void SaveHiddenColumns();
  // Makes sure an entry for this executable exists (on) or that the first one
  // found is gone (off). Nothing changes when the run list cannot be opened
  // for writing. False when the run list is not as asked afterwards; then
  // *why (if given) says why.
  static bool SetAutorun(bool on, std::string* why = nullptr);
  // The running executable's full path, or (full false) its file-name part.
  // Never cut to a fixed length: "" only when the platform gives no path.
  static std::string GetModulePath(bool full);

  // The file-name part of a path: the text after its last separator, or the
  // whole text without one. Both '/' (this platform) and '\\' count as
  // separators, so entries written with either kind of path are recognised.
  static std::string FileNamePart(const std::string& path);

  // The period a timer runs at for a stored interval, so that no timer ever
  // spins: zero or negative (nothing a user chose; e.g. a stored 0xFFFFFFFF
  // reads as -1) gives the default; a positive value below the floor gives
  // the floor. The floors are the smallest values the settings dialog offers
  // (1 s active, 0.1 s passive). Only the timers use this: the stored values
  // are never changed by it.
  static int SanitizeActiveScanInterval(int milliseconds);
  static int SanitizePassiveScanInterval(int milliseconds);

  static constexpr int kDefaultActiveScanInterval = 10000;
  static constexpr int kDefaultPassiveScanInterval = 100;
  static constexpr int kMinActiveScanInterval = 1000;
  static constexpr int kMinPassiveScanInterval = 100;
  // Run-list indices examined; an entry at a later index is not seen.
  static constexpr DWORD kRunListScanLimit = 100;

  static int m_nActiveScanInterval;   // ms between active scans
  static int m_nPassiveScanInterval;  // ms between reads of the station lists
  static bool m_bAutorun;             // an entry for this program is in the run list
  static bool m_bAutoRetry;           // the connect dialog retries a failed attempt
  static GUID m_guidMonitorDevice;    // adapter for connectivity checks; all zero: none chosen
  // The station list's hidden columns, bit n for column n (section "List");
  // bits of columns that do not exist are kept but mean nothing.
  static std::uint32_t m_uHiddenColumns;
};

// The one instance, alive for the whole process.
extern CSettings g_settings;
