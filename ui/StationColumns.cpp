#include "ui/StationColumns.h"

#include <cstring>

#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"

namespace stationlist {

namespace {

std::string TwoDigits(std::int64_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

std::string FormatElapsed(std::int64_t seconds) {
  if (seconds <= 0) return "Now";
  const std::int64_t days = seconds / 86400;
  const std::int64_t hours = seconds % 86400 / 3600;
  const std::int64_t minutes = seconds % 3600 / 60;
  const std::int64_t secs = seconds % 60;
  std::string text;
  bool before = false;
  if (days != 0) {
    text += std::to_string(days) + " Days ";
    before = true;
  }
  if (hours != 0 || before) {
    text += std::to_string(hours) + ":";
    before = true;
  }
  if (minutes != 0 || before) {
    text += (before ? TwoDigits(minutes) : std::to_string(minutes)) + ":";
    before = true;
  }
  text += before ? TwoDigits(secs) : std::to_string(secs);
  return text;
}

const char* BssTypeText(int bssType) {
  switch (bssType) {
    case 1:
      return "Infrastructure";
    case 2:
      return "Adhoc";
    case 3:
      return "Auto / Unknown";
    default:
      return "Unknown";
  }
}

const CWIFIProfile* ProfileOf(const CStation& station) {
  return station.m_pNetwork ? station.m_pNetwork->m_pProfile : nullptr;
}

void CAssociations::Take(CNativeWIFIInterface* pInterface) {
  const auto before = std::move(m_current);
  m_current.clear();
  if (!pInterface) {
    m_moved = m_moved || !before.empty();
    return;
  }
  const int count = pInterface->GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    CNativeWIFIDevice* device = pInterface->GetDevice(i);
    std::array<UCHAR, 6> bssid{};
    std::memcpy(bssid.data(), device->GetCurrentBssid(), bssid.size());
    // All zeros means "not associated"; such an adapter connects no station.
    if (bssid != std::array<UCHAR, 6>{}) m_current.emplace_back(device, bssid);
  }
  m_moved = m_moved || m_current != before;
}

bool CAssociations::IsConnected(const CStation& station) const {
  for (const auto& [device, bssid] : m_current)
    if (device == station.m_pDevice) return station.IsConnectedTo(bssid.data());
  return false;
}

CCellValues ReadCellValues(const CStation& station, std::int64_t now, const CAssociations& associations) {
  CCellValues values;
  values.bConnected = associations.IsConnected(station);
  if (const CWIFIProfile* profile = ProfileOf(station)) {
    values.bHasProfile = true;
    values.nPriority = profile->m_nPosition;
    values.bAutoConnect = profile->m_bAutoConnect;
    values.bAutoSwitch = profile->m_bAutoSwitch;
  }
  values.uLinkQuality = station.m_uLinkQuality.load(std::memory_order_relaxed);
  values.lRssi = station.m_lRssi.load(std::memory_order_relaxed);
  values.tNow = now;
  values.tLastSeen = station.m_tLastSeen.load(std::memory_order_relaxed);
  return values;
}

namespace {

using Values = CCellValues;

std::string Text(const char* text) { return text; }

// "Auto Upgrade " keeps its trailing blank: it is the heading users know.
const ColumnInfo kColumns[kColumnCount] = {
    {"MAC Address", true, 110, "00:00:00:00:00:00", nullptr, KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetMacText(); },
     [](const CStation& s, const Values&, CSortKey* k) {
       // The six bytes as one big-endian number: byte-wise unsigned order.
       for (UCHAR byte : s.m_bssid) k->nValue = k->nValue << 8 | byte;
     }},
    {"ESSID", false, 200, nullptr, nullptr, KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetSSID(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetSSID(); }},
    {"Status", false, 100, nullptr, nullptr, KeyKind::kText,
     [](const CStation&, const Values& v) { return Text(v.bConnected ? "Connected" : ""); },
     [](const CStation&, const Values& v, CSortKey* k) { k->strText = v.bConnected ? "Connected" : ""; }},
    {"Channel", true, 55, nullptr, nullptr, KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetChannelText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = s.GetChannel(); }},
    {"Security", false, 60, nullptr, nullptr, KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetCipherText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetCipherText(); }},
    {"Link Quality", true, 60, nullptr, nullptr, KeyKind::kNumber,
     [](const CStation&, const Values& v) { return std::to_string(v.uLinkQuality); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.uLinkQuality; }},
    {"RSSI", true, 50, nullptr, nullptr, KeyKind::kNumber,
     [](const CStation&, const Values& v) { return std::to_string(v.lRssi); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.lRssi; }},
    {"Priority", false, 60, nullptr, nullptr, KeyKind::kProfile,
     [](const CStation&, const Values& v) { return v.bHasProfile ? std::to_string(v.nPriority) : std::string(); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.nPriority; }},
    {"Auto Connect", true, 60, nullptr, nullptr, KeyKind::kProfile,
     [](const CStation&, const Values& v) { return Text(v.bAutoConnect ? "Yes" : ""); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.bAutoConnect ? 1 : 0; }},
    {"Auto Upgrade ", true, 50, nullptr, nullptr, KeyKind::kProfile,
     [](const CStation&, const Values& v) { return Text(v.bAutoSwitch ? "Yes" : ""); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.bAutoSwitch ? 1 : 0; }},
    {"Network Type", false, 110, "802.11g - 54 Mbps", nullptr, KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetPhyTypeText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetPhyTypeText(); }},
    {"Beacon Period", true, 70, nullptr, nullptr, KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetBeaconPeriodText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = s.m_usBeaconPeriod; }},
    {"Infrastructure", false, 100, nullptr, nullptr, KeyKind::kNumber,
     [](const CStation& s, const Values&) { return Text(BssTypeText(s.m_nBssType)); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = s.m_nBssType; }},
    {"Data Rates (Mbps)", false, 200, nullptr, nullptr, KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetDataRatesText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetDataRatesText(); }},
    {"First Seen", true, 100, "10 Days 00:00:00", nullptr, KeyKind::kNumber,
     [](const CStation& s, const Values& v) { return FormatElapsed(v.tNow - s.m_tFirstSeen); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = s.m_tFirstSeen; }},
    {"Last Seen", true, 100, "10 Days 00:00:00", nullptr, KeyKind::kNumber,
     [](const CStation&, const Values& v) { return FormatElapsed(v.tNow - v.tLastSeen); },
     [](const CStation&, const Values& v, CSortKey* k) { k->nValue = v.tLastSeen; }},
    {"Band", false, 60, "2.4 GHz", "The band of the channel: 2.4, 5 or 6 GHz", KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetBandText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = static_cast<int>(s.GetBand()); }},
    {"Width", true, 60, "80+80 MHz", "The channel width the access point announces", KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetWidthText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = s.GetWidthMHz(); }},
    {"Standard", false, 70, "802.11ax", "The newest Wi-Fi generation the access point speaks", KeyKind::kNumber,
     [](const CStation& s, const Values&) { return s.GetStandardText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->nValue = static_cast<int>(s.GetStandard()); }},
    {"Authentication", false, 100, "WPA3-802.1X-192",
     "How clients authenticate: Open, WEP, WPA, WPA2, WPA3, OWE, 802.1X", KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetAuthenticationText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetAuthenticationText(); }},
    {"PMF", false, 60, "required", "Protected management frames: required, capable or no", KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetPmfText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetPmfText(); }},
    {"Vendor", false, 200, nullptr, "The organisation the BSSID's prefix is registered to", KeyKind::kText,
     [](const CStation& s, const Values&) { return s.GetVendorText(); },
     [](const CStation& s, const Values&, CSortKey* k) { k->strText = s.GetVendorText(); }},
};

}  // namespace

const ColumnInfo& ColumnAt(int column) { return kColumns[column]; }

std::string CellText(const CStation& station, int column, const CCellValues& values) {
  if (column < 0 || column >= kColumnCount) return {};
  return kColumns[column].text(station, values);
}

std::string CellText(const CStation& station, int column, std::int64_t now, const CAssociations& associations) {
  return CellText(station, column, ReadCellValues(station, now, associations));
}

}  // namespace stationlist
