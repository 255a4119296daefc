// The three pages of a station's properties window: the station itself, the
// network it was found through, and the XML document of that network's
// stored profile. Each page copies what it shows when it is constructed and
// never reads the records again (the pages show the moment the window opened).
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "platform/wlantypes.h"

class CStation;
class CWIFINetwork;
class QPlainTextEdit;
class QPushButton;

// "%c" of the local time of `t` (seconds since 1970), at most 127 bytes;
// empty when the time cannot be converted or formatted.
std::string FormatStationTime(std::int64_t t);

// Tab "&Station": BSSID, data rates, RSSI, link quality, beacon period,
// channel, first and last seen, in read-only edit fields.
class CStationPPStation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int IDD = 134;
  static constexpr int IDC_MAC_ADDRESS = 1008;
  static constexpr int IDC_DATA_RATES = 1009;
  static constexpr int IDC_RSSI = 1010;
  static constexpr int IDC_LINK_QUALITY = 1011;
  static constexpr int IDC_BEACON_PERIOD = 1012;
  static constexpr int IDC_CHANNEL = 1013;
  static constexpr int IDC_FIRST_SEEN = 1014;
  static constexpr int IDC_LAST_SEEN = 1015;
  static constexpr int IDC_BAND = 1040;
  static constexpr int IDC_WIDTH = 1041;
  static constexpr int IDC_STANDARD = 1042;
  static constexpr int IDC_AUTHENTICATION = 1043;
  static constexpr int IDC_PMF = 1044;
  static constexpr int IDC_VENDOR = 1045;

  CStationPPStation(const CStation& station, QWidget* parent = nullptr);

  std::string m_strMacAddress;
  std::string m_strDataRates;
  int m_nRssi;
  int m_nLinkQuality;
  int m_nBeaconPeriod;
  int m_nChannel;
  std::string m_strFirstSeen;
  std::string m_strLastSeen;
  // What the beacon's elements and the BSSID's prefix say, as in the list.
  std::string m_strBand;
  std::string m_strWidth;
  std::string m_strStandard;
  std::string m_strAuthentication;
  std::string m_strPmf;
  std::string m_strVendor;
};

// Tab "&Network": SSID, BSS type, security and cipher of the station's
// network, and two check boxes that are disabled and never ticked (the
// profile's flags are shown in the station list). A station without a
// network record gets empty fields.
class CStationPPNetwork : public QWidget {
  Q_OBJECT

 public:
  static constexpr int IDD = 135;
  static constexpr int IDC_SSID = 1008;
  static constexpr int IDC_BSS_TYPE = 1009;
  static constexpr int IDC_SECURE = 1010;
  static constexpr int IDC_CIPHER = 1011;
  static constexpr int IDC_AUTO_CONNECT = 1012;
  static constexpr int IDC_AUTO_SWITCH = 1013;

  CStationPPNetwork(const CWIFINetwork* pNetwork, QWidget* parent = nullptr);

  std::string m_strSsid;
  std::string m_strBssType;
  std::string m_strSecure;
  std::string m_strCipher;
  bool m_bAutoConnect = false;
  bool m_bAutoSwitch = false;
};

// Tab "&Profile XML": the profile's document as it was when the window
// opened, read-only, and "&Edit", which opens the profile editor for the
// profile's name and adapter. Built only for a network whose profile has a
// document.
class CProfilePropPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int IDD = 136;
  static constexpr int IDC_XML = 1017;
  static constexpr int IDC_EDIT = 1020;

  CProfilePropPage(const CWIFINetwork& network, QWidget* parent = nullptr);

  // Whether a network's profile page is shown at all.
  static bool HasProfileXml(const CWIFINetwork* pNetwork);

  std::string m_strXml;

 private:
  void OnEdit();

  std::string m_strProfileName;
  GUID m_guidDevice{};
};
