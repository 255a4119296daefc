#include "wlan/Station.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/wlanchannel.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/OuiRegistry.h"

namespace {

std::string FormatInt(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return text;
}

}  // namespace

CStation::CStation(CNativeWIFIDevice* pDevice, CWIFINetwork* pNetwork, const DOT11_MAC_ADDRESS& bssid,
                   std::string strSSID, int nCipherAlgorithm, ULONG uLinkQuality, LONG lRssi, int nPhyType,
                   UINT usBeaconPeriod, ULONG ulCenterFrequency, int nBssType, const WLAN_RATE_SET& rateSet,
                   std::int64_t tNow)
    : m_strSSID(std::move(strSSID)),
      m_nCipherAlgorithm(nCipherAlgorithm),
      m_lRssi(lRssi),
      m_uLinkQuality(uLinkQuality),
      m_nPhyType(nPhyType),
      m_usBeaconPeriod(usBeaconPeriod),
      m_ulCenterFrequency(ulCenterFrequency),
      m_nBssType(nBssType),
      m_uRateSetLength(rateSet.uRateSetLength),
      m_pDevice(pDevice),
      m_pNetwork(pNetwork),
      m_tFirstSeen(tNow),
      m_tLastSeen(tNow),
      m_bChanged(true) {
  std::memcpy(m_bssid, bssid, sizeof m_bssid);
  std::memcpy(m_usRateSet, rateSet.usRateSet, sizeof m_usRateSet);
}

CStation::~CStation() {
  // Cleared before the call so a window that resets the pointer while
  // closing finds the station still whole.
  if (CStationWindow* wnd = std::exchange(m_pPropertiesWnd, nullptr)) wnd->DestroyStationWindow();
  for (CStationWatch* watch : m_watches) watch->m_pStation = nullptr;
}

void CStationWatch::Reset(CStation* pStation) {
  if (pStation == m_pStation) return;
  if (m_pStation) std::erase(m_pStation->m_watches, this);
  m_pStation = pStation;
  if (pStation) pStation->m_watches.push_back(this);
}

int CStation::PhyIndexOf(int dot11BssPhyType) {
  switch (dot11BssPhyType) {
    case dot11_phy_type_fhss: return 0;
    case dot11_phy_type_hrdsss: return 1;
    case dot11_phy_type_ofdm: return 2;
    case dot11_phy_type_erp: return 3;
    default: return 4;
  }
}

int CStation::BssTypeOf(int dot11BssType) {
  if (dot11BssType == dot11_BSS_type_infrastructure || dot11BssType == dot11_BSS_type_independent)
    return dot11BssType;
  return dot11_BSS_type_any;
}

std::string_view CStation::SsidView(const DOT11_SSID& ssid) {
  const std::size_t limit = std::min<std::size_t>(ssid.uSSIDLength, DOT11_SSID_MAX_LENGTH);
  const auto* bytes = reinterpret_cast<const char*>(ssid.ucSSID);
  return std::string_view(bytes, std::find(bytes, bytes + limit, '\0') - bytes);
}

std::string CStation::GetMacText() const {
  char text[18];
  std::snprintf(text, sizeof text, "%2.2X:%2.2X:%2.2X:%2.2X:%2.2X:%2.2X", m_bssid[0], m_bssid[1], m_bssid[2],
                m_bssid[3], m_bssid[4], m_bssid[5]);
  return text;
}

int CStation::GetChannel() const { return ChannelFromKHz(m_ulCenterFrequency).number; }

std::string CStation::GetChannelText() const { return FormatInt(GetChannel()); }

std::string CStation::GetRssiText() const { return FormatInt(m_lRssi.load(std::memory_order_relaxed)); }

std::string CStation::GetLinkQualityText() const {
  return FormatInt(static_cast<int>(m_uLinkQuality.load(std::memory_order_relaxed)));
}

std::string CStation::GetBeaconPeriodText() const { return FormatInt(static_cast<int>(m_usBeaconPeriod)); }

std::string CStation::GetPhyTypeText() const {
  switch (m_nPhyType) {
    case 0: return "FH";
    case 1: return "802.11b - 11 Mbps";
    case 2: return "802.11a - 54 Mbps";
    case 3: return "802.11g - 54 Mbps";
    default: return "Unknown";
  }
}

std::string CStation::GetDataRatesText() const {
  std::string text;
  // The length counts bytes, two per entry; a length beyond the array (or an
  // odd one) is cut to the whole entries the record holds.
  const std::size_t entries = std::min<std::size_t>(m_uRateSetLength / 2, DOT11_RATE_SET_MAX_LENGTH);
  for (std::size_t i = 0; i < entries; ++i) {
    const unsigned r = m_usRateSet[i] & 0x7F;  // low byte without the basic-rate bit, in 0.5 Mbps units
    if (r == 0) continue;
    char rate[16];
    std::snprintf(rate, sizeof rate, (r % 2) ? "%.1f" : "%.0f", r * 0.5);
    if (!text.empty()) text += ", ";
    text += rate;
  }
  return text;
}

std::string CStation::GetCipherText() const {
  switch (m_nCipherAlgorithm) {
    case DOT11_CIPHER_ALGO_WEP40: return "WEP40";
    case DOT11_CIPHER_ALGO_TKIP: return "TKIP";
    case DOT11_CIPHER_ALGO_CCMP: return "CCMP";
    case DOT11_CIPHER_ALGO_WEP104: return "WEP104";
    case DOT11_CIPHER_ALGO_WPA_USE_GROUP: return "WPA";
    case DOT11_CIPHER_ALGO_WEP: return "WEP";
    default: return "";
  }
}

std::string CStation::GetBandText() const { return WlanBandText(ChannelFromKHz(m_ulCenterFrequency).band); }

namespace {

// Elements of a heard beacon or probe response always carry the supported
// rates; the security elements a service built from its own flags do not,
// and say nothing of the channel width or management-frame protection.
bool FromHeardFrame(const WlanElementInfo& info) {
  return !info.rates.empty() || info.ht || info.vht || info.he || info.eht;
}

}  // namespace

std::string CStation::GetWidthText() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements && FromHeardFrame(m_elementInfo) ? WlanWidthText(m_elementInfo) : std::string();
}

std::string CStation::GetStandardText() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements ? WlanStandardText(m_elementInfo.standard) : "";
}

std::string CStation::GetAuthenticationText() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements ? WlanAuthenticationText(m_elementInfo) : std::string();
}

std::string CStation::GetPmfText() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements && FromHeardFrame(m_elementInfo) ? WlanPmfText(m_elementInfo.pmf) : "";
}

WlanBand CStation::GetBand() const { return ChannelFromKHz(m_ulCenterFrequency).band; }

int CStation::GetWidthMHz() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  if (!m_bHasElements || !FromHeardFrame(m_elementInfo)) return 0;
  return m_elementInfo.widthMHz + (m_elementInfo.width80Plus80 ? 1 : 0);
}

WlanStandard CStation::GetStandard() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements ? m_elementInfo.standard : WlanStandard::kUnknown;
}

std::string CStation::GetVendorText() const { return OuiVendorName(m_bssid); }

bool CStation::HasElements() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_bHasElements;
}

WlanElementInfo CStation::GetElementInfo() const {
  std::lock_guard<std::mutex> lock(m_csElements);
  return m_elementInfo;
}

void CStation::UpdateElements(const std::uint8_t* data, std::size_t size, int capability) {
  if (!data) size = 0;
  if (capability == m_nCapability && size == m_elements.size() &&
      (size == 0 || std::memcmp(data, m_elements.data(), size) == 0))
    return;
  m_elements.assign(data, data + size);
  m_nCapability = capability;
  WlanElementContext context;
  if (m_ulCenterFrequency % 1000 == 0) context.frequencyMHz = m_ulCenterFrequency / 1000;
  context.capability = capability;
  WlanElementInfo info = ParseInformationElements(m_elements.data(), m_elements.size(), context);
  const bool has = size != 0;
  {
    std::lock_guard<std::mutex> lock(m_csElements);
    if (has == m_bHasElements && info == m_elementInfo) return;
    m_bHasElements = has;
    m_elementInfo = std::move(info);
  }
  SetChanged();
}

void CStation::UpdateSighting(LONG lRssi, ULONG uLinkQuality, std::int64_t tNow) {
  // Only this thread writes the values, so the exchanges return the ones the
  // row may be showing.
  const bool rssiDiffers = m_lRssi.exchange(lRssi, std::memory_order_relaxed) != lRssi;
  const bool qualityDiffers = m_uLinkQuality.exchange(uLinkQuality, std::memory_order_relaxed) != uLinkQuality;
  m_tLastSeen.store(tNow, std::memory_order_relaxed);
  if (rssiDiffers || qualityDiffers) SetChanged();
}

void CStation::MarkMissing() {
  // As for a sighting: a station already shown missing is not rewritten on
  // every pass it stays away.
  const bool rssiDiffers = m_lRssi.exchange(kMissingRssi, std::memory_order_relaxed) != kMissingRssi;
  const bool qualityDiffers = m_uLinkQuality.exchange(0, std::memory_order_relaxed) != 0;
  if (rssiDiffers || qualityDiffers) SetChanged();
}

bool CStation::IsConnectedTo(const UCHAR currentBssid[6]) const {
  // All zeros means "not associated": such an adapter connects no station.
  static constexpr UCHAR kNone[6] = {};
  return std::memcmp(currentBssid, kNone, sizeof kNone) != 0 && std::memcmp(currentBssid, m_bssid, sizeof m_bssid) == 0;
}

bool CStation::IsConnected() const { return m_pDevice && IsConnectedTo(m_pDevice->GetCurrentBssid()); }

std::string CStation::GetStatusText() const { return IsConnected() ? "Connected" : std::string(); }
