// The copy of a WLAN notification that travels with WM_WLAN_NOTIFY: the
// 28-byte notification header followed by the payload, stored inline where
// the payload pointer stood.
#pragma once

#include <cstddef>

#include "platform/winmsg.h"
#include "platform/wlantypes.h"

// wParam: const WlanNotificationRecord*, or 0 when an active scan was just
// requested. lParam: 0. Always sent; the record belongs to the sender.
constexpr UINT WM_WLAN_NOTIFY = 0x0917;

struct WlanNotificationRecord {
  DWORD NotificationSource;
  DWORD NotificationCode;
  GUID InterfaceGuid;
  DWORD dwDataSize;
  BYTE data[4];  // dwDataSize bytes in the allocated block

  const BYTE* Payload() const { return data; }
};
static_assert(offsetof(WlanNotificationRecord, NotificationSource) == 0);
static_assert(offsetof(WlanNotificationRecord, NotificationCode) == 4);
static_assert(offsetof(WlanNotificationRecord, InterfaceGuid) == 8);
static_assert(offsetof(WlanNotificationRecord, dwDataSize) == 24);
static_assert(offsetof(WlanNotificationRecord, data) == WLAN_NOTIFICATION_HEADER_SIZE);
static_assert(sizeof(WlanNotificationRecord) == 32);

// Bytes allocated for a record with the given payload: payload + 32.
constexpr std::size_t WlanNotificationRecordSize(DWORD dataSize) { return std::size_t{dataSize} + 32; }
