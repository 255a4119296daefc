#include "ui/StationColumns.h"

#include <cstring>

#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"

namespace stationlist {

namespace {

// "Auto Upgrade " keeps its trailing blank: it is the heading users know.
constexpr ColumnInfo kColumns[kColumnCount] = {
    {"MAC Address", true, 110},   {"ESSID", false, 200},          {"Status", false, 100},
    {"Channel", true, 55},        {"Security", false, 60},        {"Link Quality", true, 60},
    {"RSSI", true, 50},           {"Priority", false, 60},        {"Auto Connect", true, 60},
    {"Auto Upgrade ", true, 50},  {"Network Type", false, 110},   {"Beacon Period", true, 70},
    {"Infrastructure", false, 100}, {"Data Rates (Mbps)", false, 200}, {"First Seen", true, 100},
    {"Last Seen", true, 100},
};

std::string TwoDigits(std::int64_t value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

const ColumnInfo& ColumnAt(int column) { return kColumns[column]; }

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
    if (device == station.m_pDevice) return std::memcmp(bssid.data(), station.m_bssid, bssid.size()) == 0;
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

std::string CellText(const CStation& station, int column, const CCellValues& values) {
  switch (static_cast<Column>(column)) {
    case kColMac:
      return station.GetMacText();
    case kColSsid:
      return station.GetSSID();
    case kColStatus:
      return values.bConnected ? "Connected" : "";
    case kColChannel:
      return station.GetChannelText();
    case kColSecurity:
      return station.GetCipherText();
    case kColLinkQuality:
      return std::to_string(values.uLinkQuality);
    case kColRssi:
      return std::to_string(values.lRssi);
    case kColPriority:
      return values.bHasProfile ? std::to_string(values.nPriority) : "";
    case kColAutoConnect:
      return values.bAutoConnect ? "Yes" : "";
    case kColAutoUpgrade:
      return values.bAutoSwitch ? "Yes" : "";
    case kColNetworkType:
      return station.GetPhyTypeText();
    case kColBeaconPeriod:
      return station.GetBeaconPeriodText();
    case kColInfrastructure:
      return BssTypeText(station.m_nBssType);
    case kColDataRates:
      return station.GetDataRatesText();
    case kColFirstSeen:
      return FormatElapsed(values.tNow - station.m_tFirstSeen);
    case kColLastSeen:
      return FormatElapsed(values.tNow - values.tLastSeen);
    case kColumnCount:
      break;
  }
  return {};
}

std::string CellText(const CStation& station, int column, std::int64_t now, const CAssociations& associations) {
  return CellText(station, column, ReadCellValues(station, now, associations));
}

}  // namespace stationlist
