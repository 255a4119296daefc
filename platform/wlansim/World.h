// The radio world of the simulated WLAN service: adapters, the stations each
// one hears, its stored profiles, and the service's timing. A world is plain
// data: build one in code, take BuiltInWorld(), or read a JSON file
// (LoadWorldFile); hand it to the service with wlansim::ResetWorld.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wlantypes.h"

namespace wlansim {

using Mac = std::array<UCHAR, 6>;

// One access point or ad hoc peer as an adapter hears it.
struct AccessPoint {
  Mac bssid{};
  std::string ssid;  // raw SSID bytes, at most 32
  bool hidden = false;  // beacons carry an empty SSID
  ULONG frequencyKHz = 2437000;  // channel centre, 2.4 or 5 GHz band
  DOT11_PHY_TYPE phyType = dot11_phy_type_erp;
  // Rate set entries in 500 kbps units, 0x80 marking a basic rate. Empty:
  // the usual set of the PHY type (see DefaultRates).
  std::vector<USHORT> rates;
  USHORT beaconPeriod = 100;
  DOT11_BSS_TYPE bssType = dot11_BSS_type_infrastructure;
  DOT11_AUTH_ALGORITHM authAlgorithm = DOT11_AUTH_ALGO_80211_OPEN;
  DOT11_CIPHER_ALGORITHM cipher = DOT11_CIPHER_ALGO_NONE;
  bool securityEnabled = false;
  std::string key;  // what a profile's keyMaterial must equal to authenticate
  // What the beacons' information elements advertise (BuildElements). Empty
  // texts take the usual value of the PHY type and security above.
  std::string standard;  // "b" "g" "a" "n" "ac" "ax" "be"
  ULONG widthMHz = 20;  // 20 40 80 160 320; 80+80 is not offered
  std::string akm;  // see AkmNames(); what the RSN / WPA elements offer
  std::string pmf;  // "no" "capable" "required"
  // Raw element bytes instead of the built ones (world files: elementsHex).
  bool rawElements = false;
  std::vector<UCHAR> elements;  // the raw bytes; the service puts the built ones here
  LONG baseRssi = -60;  // dBm around which the signal drifts
  LONG driftDb = 6;  // amplitude of the slow swing
  ULONG driftPeriodMs = 60000;  // period of the slow swing
  // Presence schedule: in the air for presentMs, then away for absentMs,
  // repeating, shifted by presenceOffsetMs. Either length 0: always present.
  ULONG presentMs = 0;
  ULONG absentMs = 0;
  ULONG presenceOffsetMs = 0;
};

// IPv4 configuration the adapter gets while connected: dotted-decimal texts,
// empty for none. The simulated IP helper reports only loopback addresses
// (127.0.0.0/8) and treats any other text as none, so that pings to them
// never leave the machine.
struct IpSettings {
  std::string address;
  std::string dhcpServer;  // shown and pinged as the gateway; empty: the address is static
  std::string dnsServer;
};

struct Adapter {
  GUID guid{};
  std::string description;  // UTF-8
  bool ready = true;  // not ready: listed with state 0, refuses scans and connections
  bool autoconf = true;
  bool backgroundScan = true;
  // Start connected, without notifications, through the first automatic
  // profile whose network is in the air at time 0 (and whose key fits).
  bool connectAtStart = false;
  std::vector<AccessPoint> stations;
  std::vector<std::string> profiles;  // profile documents, preference order
  IpSettings ip;
};

// Delays of the service, in milliseconds of the service's clock.
struct Timing {
  ULONG scanMs = 1500;  // WlanScan to scan-complete / scan-fail
  ULONG stepMs = 120;  // between two notifications of one connection or disconnection
  ULONG signalIntervalMs = 3000;  // signal-quality check while connected
  ULONG reconnectDelayMs = 2000;  // link lost to the first automatic reconnection attempt
  ULONG reconnectRetryMs = 10000;  // between attempts while no automatic profile is in the air
};

struct World {
  std::uint64_t seed = 1;  // drives the signal; AERLUME_SIM_SEED overrides it for the default world
  Timing timing;
  std::vector<Adapter> adapters;
};

// The fields of a profile document in the WLAN profile schema.
struct ProfileFields {
  std::string name;  // UTF-8
  std::string ssid;  // raw SSID bytes
  bool nonBroadcast = false;
  DOT11_BSS_TYPE bssType = dot11_BSS_type_infrastructure;  // connectionType ESS / IBSS
  bool autoConnect = true;  // connectionMode auto / manual
  bool autoSwitch = false;
  std::string authentication = "open";  // open | shared | WPAPSK | WPA2PSK
  std::string encryption = "none";  // none | WEP | TKIP | AES
  std::string keyType = "passPhrase";  // networkKey | passPhrase
  std::string key;  // keyMaterial; no sharedKey element when empty
};

// The document for `spec`: tab-indented, one element per line, with
// "<connectionMode>auto</connectionMode>" / "<autoSwitch>true</autoSwitch>"
// written exactly so (the client rewrites them by substring replacement).
std::string BuildProfileXml(const ProfileFields& spec);

// The information elements of the station's beacons: SSID, rates, DS
// parameter (2.4 GHz), HT / VHT / HE / EHT capabilities and operation for its
// standard and width, RSN or WPA element for its AKM, in the usual order.
// With rawElements, its elements unchanged.
std::vector<UCHAR> BuildElements(const AccessPoint& ap);
// The AKM names a station may advertise: "none" "wep" "wpa-psk" "wpa-8021x"
// "wpa2-psk" "wpa-wpa2-psk" "wpa2-8021x" "sae" "sae-transition" "owe"
// "wpa3-8021x" "wpa3-8021x-192".
const std::vector<std::string>& AkmNames();

// The usual rate set of a PHY type on a band (frequency in kHz).
std::vector<USHORT> DefaultRates(DOT11_PHY_TYPE phy, ULONG frequencyKHz);

// Checks what the service relies on (SSID length, bands, unique GUIDs and
// BSSIDs, profile documents it accepts, positive intervals). On failure
// `path` names the offending element as a JSON path of the world file
// ("adapters[0].stations[2].ssid") and `reason` says what is wrong.
bool ValidateWorld(const World& world, std::string* path, std::string* reason);

// Reads a world file's text (JSON); `path` names it in the error, which has
// the form "<path>:<line>: <what>". The world is changed only on success.
bool LoadWorldText(const QByteArray& text, const std::string& path, World* world, std::string* error);

// Text forms used by world files and messages.
std::string MacToText(const Mac& mac);  // "02:A7:1E:00:06:01"
bool ParseMac(const std::string& text, Mac* mac);
std::string GuidToText(const GUID& guid);  // "{6A1E2F30-4B5C-4D6E-8F70-A1B2C3D4E5F6}"
bool ParseGuid(const std::string& text, GUID* guid);  // braces optional

}  // namespace wlansim
