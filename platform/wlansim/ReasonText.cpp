#include "platform/wlansim/ReasonText.h"

namespace wlansim {

const char16_t* ReasonText(WLAN_REASON_CODE code) {
  struct Entry {
    WLAN_REASON_CODE code;
    const char16_t* text;
  };
  static const Entry kTexts[] = {
      {WLAN_REASON_CODE_SUCCESS, u"The operation was successful"},
      {WLAN_REASON_CODE_UNKNOWN, u"The reason is not known"},
      {WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE, u"The network does not support the security the profile asks for"},
      {WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE, u"The profile does not fit the network that was asked for"},
      {WLAN_REASON_CODE_NOT_VISIBLE, u"The network cannot be seen"},
      {WLAN_REASON_CODE_SCAN_CALL_FAIL, u"The scan could not be carried out"},
      {WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE, u"The network is not in range"},
      {WLAN_REASON_CODE_KEY_MISMATCH, u"The network key does not match"},
      {WLAN_REASON_CODE_MSM_USER_DISCONNECT, u"The connection was ended on request"},
      {WLAN_REASON_CODE_MSM_ASSOCIATION_TIMEOUT, u"The access point did not answer in time"},
      {WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED, u"The adapter lost the connection"},
      {WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED, u"The network key is probably wrong"},
      {WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE, u"No key was available for the secured network"},
      {WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA, u"The profile document is not valid"},
      {WLAN_REASON_CODE_PROFILE_MISSING, u"No profile of that name is stored"},
      {WLAN_REASON_CODE_INVALID_PROFILE_NAME, u"The profile has no valid name"},
      {WLAN_REASON_CODE_PROFILE_SSID_INVALID, u"The profile has no valid SSID"},
  };
  for (const Entry& e : kTexts)
    if (e.code == code) return e.text;
  return nullptr;
}

}  // namespace wlansim
