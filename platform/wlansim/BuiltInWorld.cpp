// The world compiled into the simulated service: one adapter in a quiet
// street, eighteen stations on 2.4, 5 and 6 GHz that between them beacon
// every channel width and security kind, three stored profiles.
// docs/simulated-world.md describes it; tests rely on its shape.
#include "platform/wlansim/SimControl.h"

#include <cstdint>

namespace wlansim {
namespace {

// Locally administered addresses (second bit of the first byte set).
Mac Bssid(UCHAR a, UCHAR b) { return Mac{0x02, 0xA7, 0x1E, 0x00, a, b}; }
// Globally administered addresses under registered prefixes, so that the
// vendor of the access point can be looked up.
Mac Bssid(std::uint32_t oui, UCHAR a, UCHAR b) {
  return Mac{static_cast<UCHAR>(oui >> 16), static_cast<UCHAR>(oui >> 8), static_cast<UCHAR>(oui), 0x5A, a, b};
}

void Beacons(AccessPoint& ap, const char* standard, ULONG widthMHz, const char* akm = "") {
  ap.standard = standard;
  ap.widthMHz = widthMHz;
  ap.akm = akm;
}

AccessPoint Station(Mac bssid, const char* ssid, ULONG kHz, DOT11_PHY_TYPE phy, LONG rssi) {
  AccessPoint ap;
  ap.bssid = bssid;
  ap.ssid = ssid;
  ap.frequencyKHz = kHz;
  ap.phyType = phy;
  ap.rates = DefaultRates(phy, kHz);
  ap.baseRssi = rssi;
  return ap;
}

void Secure(AccessPoint& ap, DOT11_AUTH_ALGORITHM auth, DOT11_CIPHER_ALGORITHM cipher, const char* key) {
  ap.authAlgorithm = auth;
  ap.cipher = cipher;
  ap.securityEnabled = true;
  ap.key = key;
}

}  // namespace

World BuiltInWorld() {
  World world;
  world.seed = 20260101;

  Adapter ad;
  ad.guid = GUID{0x6A1E2F30, 0x4B5C, 0x4D6E, {0x8F, 0x70, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}};
  ad.description = "Aerlume Simulated Wireless Adapter";
  ad.connectAtStart = true;
  // Loopback addresses, so that pings to the gateway and DNS server are answered by this machine.
  ad.ip.address = "127.0.10.2";
  ad.ip.dhcpServer = "127.0.10.1";
  ad.ip.dnsServer = "127.0.10.53";

  // Home network: WPA2-PSK, one BSS on each band.
  AccessPoint home24 = Station(Bssid(0x06, 0x01), "Lindenweg", 2437000, dot11_phy_type_erp, -48);
  Secure(home24, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "linden-blossom-42");
  AccessPoint home5 = Station(Bssid(0x24, 0x01), "Lindenweg", 5180000, dot11_phy_type_ofdm, -57);
  Secure(home5, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "linden-blossom-42");
  home5.beaconPeriod = 102;

  AccessPoint harbour = Station(Bssid(0x01, 0x02), "Harbour Lights", 2412000, dot11_phy_type_erp, -67);
  Secure(harbour, DOT11_AUTH_ALGO_WPA_PSK, DOT11_CIPHER_ALGO_TKIP, "lighthouse-keeper");

  AccessPoint mill = Station(Bssid(0x03, 0x03), "Old Mill", 2422000, dot11_phy_type_hrdsss, -74);
  Secure(mill, DOT11_AUTH_ALGO_80211_OPEN, DOT11_CIPHER_ALGO_WEP40, "A1B2C3D4E5");

  AccessPoint tea = Station(Bssid(0x0B, 0x04), "Tea Garden", 2462000, dot11_phy_type_erp, -63);

  AccessPoint orchard = Station(Bssid(0x2C, 0x05), "Orchard Loft", 5220000, dot11_phy_type_ofdm, -61);
  Secure(orchard, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "pear-and-quince");

  // Comes and goes: 20 s in the air, 15 s away.
  AccessPoint tram = Station(Bssid(0x09, 0x06), "Night Tram", 2452000, dot11_phy_type_erp, -71);
  tram.presentMs = 20000;
  tram.absentMs = 15000;

  AccessPoint cellar = Station(Bssid(0x30, 0x07), "Cellar Stairs", 5240000, dot11_phy_type_ofdm, -69);
  Secure(cellar, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "down-the-steps");
  cellar.hidden = true;

  AccessPoint kite = Station(Bssid(0x0A, 0x08), "Kite Field", 2457000, dot11_phy_type_hrdsss, -77);
  kite.bssType = dot11_BSS_type_independent;

  AccessPoint pavilion = Station(Bssid(0x95, 0x09), "Blue Pavilion", 5745000, dot11_phy_type_ofdm, -82);
  Secure(pavilion, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "sky-over-the-lake");

  AccessPoint lantern = Station(Bssid(0x04, 0x0A), "Lantern Street", 2427000, dot11_phy_type_erp, -86);
  Secure(lantern, DOT11_AUTH_ALGO_80211_SHARED_KEY, DOT11_CIPHER_ALGO_WEP104, "0123456789ABCDEF0123456789");

  AccessPoint riverbank = Station(Bssid(0x01, 0x0B), "Riverbank Guest", 2412000, dot11_phy_type_erp, -70);

  // What the beacons advertise beyond the fields above.
  Beacons(home24, "n", 20);
  Beacons(home5, "ac", 80, "sae-transition");  // WPA2/WPA3 with PMF capable
  Beacons(tea, "n", 40);
  Beacons(orchard, "ax", 160);
  Beacons(pavilion, "ac", 80, "wpa2-8021x");

  // Newer networks, with registered BSSIDs.
  AccessPoint skylight = Station(Bssid(0xF09FC2, 0x25, 0x0C), "Skylight Studio", 6135000, dot11_phy_type_ofdm, -64);
  Secure(skylight, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP, "north-light-7");
  Beacons(skylight, "ax", 160, "sae");  // WPA3-SAE, PMF required
  AccessPoint observatory = Station(Bssid(0x3C7C3F, 0x35, 0x0D), "Observatory", 6215000, dot11_phy_type_ofdm, -73);
  Secure(observatory, DOT11_AUTH_ALGO_RSNA, DOT11_CIPHER_ALGO_CCMP, "");
  Beacons(observatory, "be", 320, "wpa3-8021x-192");
  AccessPoint library = Station(Bssid(0xB0C554, 0x34, 0x0E), "Library Commons", 5260000, dot11_phy_type_ofdm, -68);
  Secure(library, DOT11_AUTH_ALGO_RSNA, DOT11_CIPHER_ALGO_CCMP, "");
  Beacons(library, "ax", 80, "owe");
  AccessPoint ferry = Station(Bssid(0x74DA88, 0x64, 0x0F), "Ferry Terminal", 5500000, dot11_phy_type_ofdm, -79);
  Secure(ferry, DOT11_AUTH_ALGO_RSNA, DOT11_CIPHER_ALGO_CCMP, "");
  Beacons(ferry, "ac", 160, "wpa3-8021x");
  AccessPoint bakery = Station(Bssid(0xD8EC5E, 0x05, 0x10), "Bakery Corner", 2432000, dot11_phy_type_erp, -75);
  Secure(bakery, DOT11_AUTH_ALGO_WPA_PSK, DOT11_CIPHER_ALGO_TKIP, "warm-rolls");
  Beacons(bakery, "n", 20, "wpa-wpa2-psk");
  AccessPoint depot = Station(Bssid(0xC8D719, 0x0D, 0x11), "Tram Depot", 2472000, dot11_phy_type_erp, -84);
  Secure(depot, DOT11_AUTH_ALGO_WPA, DOT11_CIPHER_ALGO_TKIP, "");
  Beacons(depot, "g", 20, "wpa-8021x");

  ad.stations = {home24, home5,    harbour, mill,        tea,     orchard, tram,  cellar, kite,
                 pavilion, lantern, riverbank, skylight, observatory, library, ferry, bakery, depot};

  ProfileFields lindenweg;  // (a) automatic, switching allowed: connected at start
  lindenweg.name = "Lindenweg";
  lindenweg.ssid = "Lindenweg";
  lindenweg.autoConnect = true;
  lindenweg.autoSwitch = true;
  lindenweg.authentication = "WPA2PSK";
  lindenweg.encryption = "AES";
  lindenweg.key = "linden-blossom-42";

  ProfileFields orchardProfile;  // (b) manual
  orchardProfile.name = "Orchard Loft";
  orchardProfile.ssid = "Orchard Loft";
  orchardProfile.autoConnect = false;
  orchardProfile.authentication = "WPA2PSK";
  orchardProfile.encryption = "AES";
  orchardProfile.key = "pear-and-quince";

  ProfileFields harbourProfile;  // (c) automatic without switching; its key is wrong
  harbourProfile.name = "Harbour Lights";
  harbourProfile.ssid = "Harbour Lights";
  harbourProfile.autoConnect = true;
  harbourProfile.autoSwitch = false;
  harbourProfile.authentication = "WPAPSK";
  harbourProfile.encryption = "TKIP";
  harbourProfile.key = "lighthouse-keepr";

  ad.profiles = {BuildProfileXml(lindenweg), BuildProfileXml(orchardProfile), BuildProfileXml(harbourProfile)};
  world.adapters.push_back(std::move(ad));
  return world;
}

}  // namespace wlansim
