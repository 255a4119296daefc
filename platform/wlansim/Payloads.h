// Payload records of the notifications the simulated service sends, as bytes.
#pragma once

#include <string>
#include <vector>

#include "platform/wlansim/World.h"

namespace wlansim {

// What connection and MSM payloads say about the connection concerned.
struct ConnectionFacts {
  WLAN_CONNECTION_MODE mode = wlan_connection_mode_profile;
  std::string profileName;  // UTF-8, may be empty
  std::string ssid;  // raw bytes
  DOT11_BSS_TYPE bssType = dot11_BSS_type_infrastructure;
  bool security = false;
  Mac bssid{};
};

// WLAN_CONNECTION_NOTIFICATION_DATA flag: an ad hoc network was formed.
constexpr DWORD kConnectionFlagAdhocFormed = 0x00000001;

// 572 bytes; with a profile document (UTF-8, converted to UTF-16) the
// document follows at strProfileXml and the size is 568 + 2 * (length + 1).
std::vector<BYTE> ConnectionPayload(const ConnectionFacts& facts, WLAN_REASON_CODE reason, DWORD flags = 0,
                                    const std::string* profileXml = nullptr);
// 580 bytes.
std::vector<BYTE> MsmPayload(const ConnectionFacts& facts, WLAN_REASON_CODE reason, bool firstPeer = false,
                             bool lastPeer = false);
// 4 bytes.
std::vector<BYTE> DwordPayload(DWORD value);

void FillSsid(DOT11_SSID* out, const std::string& ssid);

}  // namespace wlansim
