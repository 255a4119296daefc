// One entry of the service's available-network list as a monitor keeps it:
// SSID, BSS type and default cipher (its identity), the security flag, and
// the stored profile that went with it when it first appeared.
#pragma once

#include <string>

#include "platform/wlantypes.h"

class CNativeWIFIDevice;
class CWIFIProfile;

// Created by the refresh worker and fixed from then on, so readers on other
// threads need no lock once the record has been published to them.
class CWIFINetwork {
 public:
  // pProfile: the stored profile whose name equals the entry's, or null.
  CWIFINetwork(const WLAN_AVAILABLE_NETWORK& entry, CNativeWIFIDevice* pDevice, CWIFIProfile* pProfile);
  virtual ~CWIFINetwork();

  CWIFINetwork(const CWIFINetwork&) = delete;
  CWIFINetwork& operator=(const CWIFINetwork&) = delete;

  // The entry's profile name as narrow text, read within the record's
  // fixed array even when the service left it without a NUL.
  static std::string ProfileNameText(const WLAN_AVAILABLE_NETWORK& entry);

  // SSID text: the bytes up to the first NUL, at most the SSID length.
  std::string GetSSID() const;
  // Same network: SSID texts equal ignoring ASCII letter case (other bytes
  // compare exactly), same BSS type, same default cipher.
  bool SameIdentity(const WLAN_AVAILABLE_NETWORK& entry) const;

  // Copied from the entry, with uSSIDLength limited to the 32 bytes the
  // record holds, so whoever passes it on never reads past it.
  DOT11_SSID m_dot11Ssid;
  int m_nBssType;
  int m_nCipherAlgorithm;
  CNativeWIFIDevice* m_pDevice;
  CWIFIProfile* m_pProfile;
  std::string m_strProfileName;
  bool m_bSecurityEnabled;
};
