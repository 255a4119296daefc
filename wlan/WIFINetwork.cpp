#include "wlan/WIFINetwork.h"

#include <algorithm>
#include <string_view>

#include "platform/widetext.h"
#include "wlan/Station.h"

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace

CWIFINetwork::CWIFINetwork(const WLAN_AVAILABLE_NETWORK& entry, CNativeWIFIDevice* pDevice, CWIFIProfile* pProfile)
    : m_dot11Ssid(entry.dot11Ssid),
      m_nBssType(entry.dot11BssType),
      m_nCipherAlgorithm(entry.dot11DefaultCipherAlgorithm),
      m_pDevice(pDevice),
      m_pProfile(pProfile),
      m_strProfileName(ProfileNameText(entry)),
      m_bSecurityEnabled(entry.bSecurityEnabled != 0) {
  m_dot11Ssid.uSSIDLength = std::min<ULONG>(m_dot11Ssid.uSSIDLength, DOT11_SSID_MAX_LENGTH);
}

CWIFINetwork::~CWIFINetwork() = default;

std::string CWIFINetwork::ProfileNameText(const WLAN_AVAILABLE_NETWORK& entry) {
  const WCHAR* name = entry.strProfileName;
  const WCHAR* end = std::find(name, name + WLAN_MAX_NAME_LENGTH, u'\0');
  return WideToUtf8(std::u16string(name, end));
}

std::string CWIFINetwork::GetSSID() const { return CStation::SsidText(m_dot11Ssid); }

bool CWIFINetwork::SameIdentity(const WLAN_AVAILABLE_NETWORK& entry) const {
  return m_nBssType == entry.dot11BssType && m_nCipherAlgorithm == entry.dot11DefaultCipherAlgorithm &&
         EqualIgnoringAsciiCase(CStation::SsidView(m_dot11Ssid), CStation::SsidView(entry.dot11Ssid));
}
