#include "wlan/WlanNames.h"

#include "platform/widetext.h"
#include "platform/wlantypes.h"

std::string WideToLogText(const WCHAR* text) {
  if (!text || !*text) return {};
  return WideToUtf8(text);
}

std::string InterfaceStateName(DWORD state) {
  const WCHAR* text = u"Invalid interface state";
  switch (state) {
    case wlan_interface_state_not_ready: text = u"Not ready"; break;
    case wlan_interface_state_connected: text = u"Connected"; break;
    case wlan_interface_state_ad_hoc_network_formed: text = u"Adhoc network formed"; break;
    case wlan_interface_state_disconnecting: text = u"Disconnecting"; break;
    case wlan_interface_state_disconnected: text = u"Disconnected"; break;
    case wlan_interface_state_associating: text = u"Associating"; break;
    case wlan_interface_state_discovering: text = u"Discovering"; break;
    case wlan_interface_state_authenticating: text = u"Authenticating"; break;
    default: break;
  }
  return WideToLogText(text);
}

// bss_type_change (5) and profile_name_change (16) have no text of their own.
std::string AcmNotificationName(DWORD code) {
  const WCHAR* text = u"Unknown ACM notification";
  switch (code) {
    case wlan_notification_acm_autoconf_enabled: text = u"Autoconf enabled"; break;
    case wlan_notification_acm_autoconf_disabled: text = u"Autoconf disabled"; break;
    case wlan_notification_acm_background_scan_enabled: text = u"Background scan enabled"; break;
    case wlan_notification_acm_background_scan_disabled: text = u"Background scan disabled"; break;
    case wlan_notification_acm_power_setting_change: text = u"Power setting changed"; break;
    case wlan_notification_acm_scan_complete: text = u"Scan completed"; break;
    case wlan_notification_acm_scan_fail: text = u"Scan failed"; break;
    case wlan_notification_acm_connection_start: text = u"Connection started"; break;
    case wlan_notification_acm_connection_complete: text = u"Connection completed"; break;
    case wlan_notification_acm_connection_attempt_fail: text = u"Connection failed"; break;
    case wlan_notification_acm_filter_list_change: text = u"Filter list changed"; break;
    case wlan_notification_acm_interface_arrival: text = u"Interface arrived"; break;
    case wlan_notification_acm_interface_removal: text = u"Interface removed"; break;
    case wlan_notification_acm_profile_change: text = u"Profile changed"; break;
    case wlan_notification_acm_profiles_exhausted: text = u"Profiles exhausted"; break;
    case wlan_notification_acm_network_not_available: text = u"Network not available"; break;
    case wlan_notification_acm_network_available: text = u"Networks are available"; break;
    case wlan_notification_acm_disconnecting: text = u"Disconnecting"; break;
    case wlan_notification_acm_disconnected: text = u"Disconnected"; break;
    case wlan_notification_acm_adhoc_network_state_change: text = u"Adhoc network state changed"; break;
    default: break;
  }
  return WideToLogText(text);
}

// adapter_operation_mode_change (14) has no text of its own.
std::string MsmNotificationName(DWORD code) {
  const WCHAR* text = u"Unknown MSM notification";
  switch (code) {
    case wlan_notification_msm_associating: text = u"Associating"; break;
    case wlan_notification_msm_associated: text = u"Associated"; break;
    case wlan_notification_msm_authenticating: text = u"Authenticating"; break;
    case wlan_notification_msm_connected: text = u"Connected"; break;
    case wlan_notification_msm_roaming_start: text = u"Roaming started"; break;
    case wlan_notification_msm_roaming_end: text = u"Roaming ended"; break;
    case wlan_notification_msm_radio_state_change: text = u"Radio state changed"; break;
    case wlan_notification_msm_signalquality_change: text = u"Signal quality changed"; break;
    case wlan_notification_msm_disassociating: text = u"Disassociating"; break;
    case wlan_notification_msm_disconnected: text = u"Disconnected"; break;
    case wlan_notification_msm_peer_join: text = u"A peer has joined the ad hoc network"; break;
    case wlan_notification_msm_peer_leave: text = u"A peer has left the ad hoc network"; break;
    case wlan_notification_msm_adapter_removal: text = u"Adapter is in a bad state"; break;
    default: break;
  }
  return WideToLogText(text);
}

std::string ConnectionModeName(DWORD mode) {
  const WCHAR* text = u"Invalid connection mode";
  switch (mode) {
    case wlan_connection_mode_profile: text = u"Manual connection with a profile"; break;
    case wlan_connection_mode_temporary_profile: text = u"Manual connection with a temporary profile"; break;
    case wlan_connection_mode_discovery_secure: text = u"Manual connection to a secure network without a profile"; break;
    case wlan_connection_mode_discovery_unsecure:
      text = u"Manual connection to an unsecure network without a profile";
      break;
    case wlan_connection_mode_auto: text = u"Automatic connection with a profile"; break;
    default: break;
  }
  return WideToLogText(text);
}

std::string BssTypeName(DWORD type) {
  const WCHAR* text = u"Unknown BSS type";
  switch (type) {
    case dot11_BSS_type_infrastructure: text = u"Infrastructure"; break;
    case dot11_BSS_type_independent: text = u"Ad hoc"; break;
    case dot11_BSS_type_any: text = u"Any"; break;
    default: break;
  }
  return WideToLogText(text);
}

// The sign test comes after 0x100 and 0x101: the vendor range is every value
// with the top bit set.
std::string CipherAlgorithmName(std::int32_t algorithm) {
  switch (algorithm) {
    case DOT11_CIPHER_ALGO_NONE: return "None";
    case DOT11_CIPHER_ALGO_WEP40: return "WEP40";
    case DOT11_CIPHER_ALGO_TKIP: return "TKIP";
    case DOT11_CIPHER_ALGO_CCMP: return "AES";
    case DOT11_CIPHER_ALGO_WEP104: return "WEP104";
    case DOT11_CIPHER_ALGO_WPA_USE_GROUP: return "USE-GROUP";
    case DOT11_CIPHER_ALGO_WEP: return "WEP";
    default: break;
  }
  return algorithm < 0 ? "Vendor-specific algorithm" : "Unknown algorithm";
}
