// Reading profile documents of the WLAN profile schema (with Qt's XML
// reader; attributes and namespaces are not looked at): the fields the
// simulated service acts on.
#pragma once

#include <string>

#include "platform/wlantypes.h"

namespace wlansim {

struct ParsedProfile {
  std::string name;
  std::string ssid;  // raw bytes, from <hex> when present, else <name>
  bool nonBroadcast = false;
  DOT11_BSS_TYPE bssType = dot11_BSS_type_infrastructure;
  bool autoConnect = false;  // connectionMode is "auto"
  bool autoSwitch = false;
  std::string authentication = "open";
  std::string encryption = "none";
  std::string key;

  bool SecurityEnabled() const { return authentication != "open" || encryption != "none"; }
  DOT11_AUTH_ALGORITHM AuthAlgorithm() const;
  DOT11_CIPHER_ALGORITHM CipherAlgorithm() const;
};

// Returns WLAN_REASON_CODE_SUCCESS and fills `out`, or the reason the
// service refuses the document with: not well-formed or not a WLANProfile
// (invalid schema), no or an over-long name (invalid name), no usable SSID
// (SSID invalid).
WLAN_REASON_CODE ParseProfileXml(const std::string& document, ParsedProfile* out);

// Escapes &, <, >, " and ' for element text; bytes that are not UTF-8 and
// characters XML does not allow become U+FFFD.
std::string XmlEscape(const std::string& text);

}  // namespace wlansim
