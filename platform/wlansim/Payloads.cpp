#include "platform/wlansim/Payloads.h"

#include <algorithm>
#include <cstring>

#include "platform/widetext.h"

namespace wlansim {

void FillSsid(DOT11_SSID* out, const std::string& ssid) {
  std::memset(out, 0, sizeof *out);
  out->uSSIDLength = static_cast<ULONG>(std::min<std::size_t>(ssid.size(), DOT11_SSID_MAX_LENGTH));
  std::memcpy(out->ucSSID, ssid.data(), out->uSSIDLength);
}

std::vector<BYTE> ConnectionPayload(const ConnectionFacts& f, WLAN_REASON_CODE reason, DWORD flags,
                                    const std::string* profileXml) {
  WLAN_CONNECTION_NOTIFICATION_DATA d;
  std::memset(&d, 0, sizeof d);
  d.wlanConnectionMode = f.mode;
  CopyWide(d.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(f.profileName));
  FillSsid(&d.dot11Ssid, f.ssid);
  d.dot11BssType = f.bssType;
  d.bSecurityEnabled = f.security ? TRUE : FALSE;
  d.wlanReasonCode = reason;
  d.dwFlags = flags;
  const BYTE* raw = reinterpret_cast<const BYTE*>(&d);
  if (!profileXml) return std::vector<BYTE>(raw, raw + sizeof d);

  const std::u16string xml = Utf8ToWide(*profileXml);
  constexpr std::size_t kXmlOffset = offsetof(WLAN_CONNECTION_NOTIFICATION_DATA, strProfileXml);
  std::vector<BYTE> out(kXmlOffset + 2 * (xml.size() + 1), 0);
  std::memcpy(out.data(), raw, kXmlOffset);
  std::memcpy(out.data() + kXmlOffset, xml.data(), 2 * xml.size());
  return out;
}

std::vector<BYTE> MsmPayload(const ConnectionFacts& f, WLAN_REASON_CODE reason, bool firstPeer, bool lastPeer) {
  WLAN_MSM_NOTIFICATION_DATA d;
  std::memset(&d, 0, sizeof d);
  d.wlanConnectionMode = f.mode;
  CopyWide(d.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(f.profileName));
  FillSsid(&d.dot11Ssid, f.ssid);
  d.dot11BssType = f.bssType;
  std::memcpy(d.dot11MacAddr, f.bssid.data(), 6);
  d.bSecurityEnabled = f.security ? TRUE : FALSE;
  d.bFirstPeer = firstPeer ? TRUE : FALSE;
  d.bLastPeer = lastPeer ? TRUE : FALSE;
  d.wlanReasonCode = reason;
  const BYTE* raw = reinterpret_cast<const BYTE*>(&d);
  return std::vector<BYTE>(raw, raw + sizeof d);
}

std::vector<BYTE> DwordPayload(DWORD value) {
  std::vector<BYTE> out(4);
  std::memcpy(out.data(), &value, 4);
  return out;
}

}  // namespace wlansim
