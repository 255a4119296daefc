#include "wlan/NotificationLog.h"

#include <cstring>

#include "eventlog/Log.h"
#include "platform/widetext.h"
#include "wlan/ReasonCodes.h"
#include "wlan/Station.h"
#include "wlan/WlanNames.h"

namespace {

constexpr DWORD kConnectionPayloadSize = sizeof(WLAN_CONNECTION_NOTIFICATION_DATA);

// A wide text stored in `count` characters at `p`, cut at the first NUL.
std::string BoundedWideText(const BYTE* p, std::size_t count) {
  std::u16string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    WCHAR c;
    std::memcpy(&c, p + 2 * i, sizeof c);
    if (c == 0) break;
    text += c;
  }
  return WideToUtf8(text);
}

}  // namespace

ConnectionPayload ReadConnectionPayload(const void* payload, DWORD size) {
  ConnectionPayload out;
  if (!payload || size < kConnectionPayloadSize) return out;
  const auto* base = static_cast<const BYTE*>(payload);
  WLAN_CONNECTION_NOTIFICATION_DATA data;
  std::memcpy(&data, base, kConnectionPayloadSize);
  out.mode = data.wlanConnectionMode;
  out.profileName = BoundedWideText(base + offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileName),
                                    WLAN_MAX_NAME_LENGTH);
  out.ssid = CStation::SsidText(data.dot11Ssid);
  out.bssType = static_cast<DWORD>(data.dot11BssType);
  out.reason = data.wlanReasonCode;
  const std::size_t xmlOffset = offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileXml);
  out.profileXml = BoundedWideText(base + xmlOffset, (size - xmlOffset) / sizeof(WCHAR));
  return out;
}

void LogConnectionStart(const WLAN_NOTIFICATION_DATA& n) {
  if (n.dwDataSize != kConnectionPayloadSize || !n.pData) return;
  const ConnectionPayload p = ReadConnectionPayload(n.pData, n.dwDataSize);
  LogPrintf("ACM: Connecting to %s network '%s'", BssTypeName(p.bssType).c_str(), p.ssid.c_str());
  LogPrintf(" using profile '%s'", p.profileName.c_str());
  LogPrintf(", via %s.\n", ConnectionModeName(static_cast<DWORD>(p.mode)).c_str());
}

void LogConnectionComplete(const WLAN_NOTIFICATION_DATA& n) {
  if (n.dwDataSize < kConnectionPayloadSize || !n.pData) return;
  const ConnectionPayload p = ReadConnectionPayload(n.pData, n.dwDataSize);
  if (p.reason != 0) {
    LogPrintf("ACM: The connection failed because: ");
    LogReasonLine(p.reason);
    return;
  }
  LogPrintf("ACM: The connection succeeded.\n");
  if (p.mode == wlan_connection_mode_discovery_secure || p.mode == wlan_connection_mode_discovery_unsecure)
    LogPrintf("ACM: The profile used for this connection is as follows:\n%s\n", p.profileXml.c_str());
}

void LogMonitorNotification(const WLAN_NOTIFICATION_DATA& n) {
  switch (n.NotificationSource) {
    case WLAN_NOTIFICATION_SOURCE_ACM:
      switch (n.NotificationCode) {
        case wlan_notification_acm_scan_complete:
        case wlan_notification_acm_scan_fail:
        case wlan_notification_acm_network_not_available:
        case wlan_notification_acm_network_available:
          break;
        case wlan_notification_acm_connection_start:
          LogConnectionStart(n);
          break;
        case wlan_notification_acm_connection_complete:
          LogConnectionComplete(n);
          break;
        default:
          LogPrintf("ACM: %s.\n", AcmNotificationName(n.NotificationCode).c_str());
      }
      break;
    case WLAN_NOTIFICATION_SOURCE_MSM:
      if (n.NotificationCode != wlan_notification_msm_signalquality_change)
        LogPrintf("MSM: %s.\n", MsmNotificationName(n.NotificationCode).c_str());
      break;
    default:
      break;
  }
}

void LogUnmatchedNotification(const WLAN_NOTIFICATION_DATA& n) {
  switch (n.NotificationSource) {
    case WLAN_NOTIFICATION_SOURCE_ACM:
      if (n.NotificationCode == wlan_notification_acm_scan_fail) {
        // The reason is the payload's first 32-bit value; without one there
        // is nothing to explain, so the plain line is written.
        if (n.pData && n.dwDataSize >= sizeof(WLAN_REASON_CODE)) {
          WLAN_REASON_CODE reason;
          std::memcpy(&reason, n.pData, sizeof reason);
          LogPrintf("ACM: %s because: ", AcmNotificationName(n.NotificationCode).c_str());
          LogReasonLine(reason);
        } else {
          LogPrintf("ACM: %s.\n", AcmNotificationName(n.NotificationCode).c_str());
        }
      } else if (n.NotificationCode == wlan_notification_acm_scan_complete) {
        LogPrintf("ACM: %s.\n", AcmNotificationName(n.NotificationCode).c_str());
      } else {
        LogMonitorNotification(n);
      }
      break;
    case WLAN_NOTIFICATION_SOURCE_SECURITY:
      LogPrintf("Sec: %d.\n", static_cast<int>(n.NotificationCode));
      break;
    case WLAN_NOTIFICATION_SOURCE_IHV:
      LogPrintf("IHV: %d.\n", static_cast<int>(n.NotificationCode));
      break;
    default:
      // ACM and MSM codes other than the scan results read as for a monitor.
      LogMonitorNotification(n);
  }
}
