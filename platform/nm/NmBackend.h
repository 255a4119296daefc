// The WLAN service over NetworkManager's D-Bus API (written against
// NetworkManager 1.42, the version of Debian 12; docs/networkmanager.md).
// The system bus is DBUS_SYSTEM_BUS_ADDRESS when set, else the standard
// socket. Calls are blocking with a short time-out, so no caller (the UI
// thread included) waits long; signals are received on the back end's own
// thread, which delivers the notifications.
#pragma once

#include "platform/wlanbackend.h"

namespace nm {

wlanbackend::Backend& Instance();

// Whether NetworkManager answers on the system bus with at least one Wi-Fi device.
bool HasWifiDevice();

}  // namespace nm
