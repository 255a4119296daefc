// What an access point's beacon or probe response says about itself: the
// information elements (IEEE 802.11 element layouts) read into band, channel
// width, Wi-Fi generation and security. Pure standard C++; any thread.
//
// Elements are read one by one; an element whose length runs past the end of
// the bytes ends the walk, and an element too short for the fields it must
// carry (or whose counts claim more than it holds) is skipped whole. Nothing
// is read outside the given bytes. Of elements that may appear only once, the
// first well-formed one counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wlanchannel.h"

enum class WlanStandard { kUnknown, k80211b, k80211g, k80211a, k80211n, k80211ac, k80211ax, k80211be };
enum class WlanPmf { kNo, kCapable, kRequired };

// What is known besides the elements. Either may be unknown.
struct WlanElementContext {
  std::uint32_t frequencyMHz = 0;  // 0: unknown; the band and channel then come from the elements
  int capability = -1;  // the capability information field, -1: unknown
};

struct WlanElementInfo {
  bool hasSsid = false;
  std::string ssid;  // raw bytes, at most 32
  // Supported and extended rates in 500 kbps units with 0x80 marking a basic
  // rate; membership selectors left out.
  std::vector<std::uint8_t> rates;
  int dsChannel = 0;  // DS parameter set, 0: none

  bool ht = false, vht = false, he = false, eht = false;  // capabilities or operation seen
  WlanBand band = WlanBand::kNone;
  int primaryChannel = 0;  // from the frequency, else the 6 GHz operation information, HT operation or DS
  int widthMHz = 20;  // 20, 40, 80, 160 or 320
  bool width80Plus80 = false;  // two separate 80 MHz segments (widthMHz is then 160)
  WlanStandard standard = WlanStandard::kUnknown;

  // Security. Cipher and AKM suites as 32-bit selectors: OUI << 8 | type.
  bool privacy = false;  // the capability's privacy bit
  bool rsn = false, wpa = false;  // a well-formed RSN element / vendor WPA element was seen
  std::uint32_t rsnGroupCipher = 0;
  std::vector<std::uint32_t> rsnPairwise, rsnAkms;
  std::uint16_t rsnCapabilities = 0;
  std::uint32_t wpaGroupCipher = 0;
  std::vector<std::uint32_t> wpaPairwise, wpaAkms;
  WlanPmf pmf = WlanPmf::kNo;

  bool operator==(const WlanElementInfo&) const = default;
};

WlanElementInfo ParseInformationElements(const std::uint8_t* data, std::size_t size,
                                         const WlanElementContext& context = {});

// "802.11b" ... "802.11be", or empty when unknown.
const char* WlanStandardText(WlanStandard standard);
// "required", "capable", "no".
const char* WlanPmfText(WlanPmf pmf);
// "20 MHz" ... "320 MHz", "80+80 MHz".
std::string WlanWidthText(const WlanElementInfo& info);

// The authentication an access point offers, one of:
//   "Open"             no privacy, no RSN or WPA element
//   "WEP"              privacy bit without RSN or WPA element
//   "OWE"              RSN with only the opportunistic wireless encryption AKM
//   "WPA-PSK", "WPA-802.1X"             vendor WPA element only
//   "WPA/WPA2-PSK"     PSK in both the WPA and the RSN element
//   "WPA2-PSK"         RSN with PSK AKMs only
//   "WPA3-SAE"         RSN with SAE AKMs only
//   "WPA2/WPA3"        RSN with both PSK and SAE AKMs (transition mode)
//   "WPA2-802.1X"      RSN with 802.1X AKMs
//   "WPA3-802.1X"      RSN with only the SHA-256/384 802.1X AKMs and PMF required
//   "WPA3-802.1X-192"  RSN with a Suite B 192-bit AKM
//   "WPA2"             RSN whose AKMs are none of the above
// When an access point offers several kinds, 802.1X-192 comes before SAE and
// PSK, those before 802.1X and OWE.
std::string WlanAuthenticationText(const WlanElementInfo& info);
// Pairwise ciphers of the RSN element (else the WPA element), "CCMP",
// "TKIP", "GCMP-256" ..., joined by "+"; empty when none.
std::string WlanPairwiseCipherText(const WlanElementInfo& info);
