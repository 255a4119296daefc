// Log lines for WLAN notifications, for adapters with a monitor and for
// those without one.
#pragma once

#include <string>

#include "platform/wlantypes.h"

// The fields of a connection notification's payload that the log shows.
struct ConnectionPayload {
  WLAN_CONNECTION_MODE mode = wlan_connection_mode_profile;
  std::string profileName;
  std::string ssid;
  DWORD bssType = 0;
  WLAN_REASON_CODE reason = 0;
  std::string profileXml;  // empty when the payload carries none
};

// Reads a WLAN_CONNECTION_NOTIFICATION_DATA of `size` bytes (at least 572).
// Texts are cut at their buffers and at the payload's end, never read past.
ConnectionPayload ReadConnectionPayload(const void* payload, DWORD size);

// "ACM: Connecting to ..." in three pieces; only for a 572-byte payload.
void LogConnectionStart(const WLAN_NOTIFICATION_DATA& n);
// "ACM: The connection succeeded/failed ..."; only for a payload of 572 bytes or more.
void LogConnectionComplete(const WLAN_NOTIFICATION_DATA& n);

// The log lines of a notification for an adapter that has a monitor (state
// changes are the monitor's business).
void LogMonitorNotification(const WLAN_NOTIFICATION_DATA& n);
// The log lines of a notification for which no monitor matched: the scan
// results and the security and vendor sources differ, the rest is as above.
void LogUnmatchedNotification(const WLAN_NOTIFICATION_DATA& n);
