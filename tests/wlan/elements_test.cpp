#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "wlan/InformationElements.h"

// The element bytes below are beacon bodies (after the fixed fields) composed
// by hand from the IEEE 802.11 element layouts, with the values access points
// of each kind send.
namespace {

std::vector<std::uint8_t> Hex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string pair;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    pair += c;
    if (pair.size() == 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
      pair.clear();
    }
  }
  return bytes;
}

// 2.4 GHz, channel 6, 802.11n at 20 MHz, WPA2-PSK with CCMP, no PMF.
const char* const k24GhzWpa2 =
    "00 09 4c696e64656e776567"                  // SSID "Lindenweg"
    "01 08 82848b960c121824"                    // supported rates 1 2 5.5 11 6 9 12 18
    "03 01 06"                                  // DS parameter set: channel 6
    "05 04 00010000"                            // TIM
    "2a 01 00"                                  // ERP
    "32 04 3048606c"                            // extended rates 24 36 48 54
    "30 14 0100 000fac04 0100 000fac04 0100 000fac02 0c00"  // RSN: CCMP, PSK
    "2d 1a ad01 1b ffff0000000000000000000000000000 0000 00000000 00"  // HT capabilities
    "3d 16 06 00 0000 0000 00000000000000000000000000000000"  // HT operation: primary 6, no secondary
    "dd 18 0050f2 02 01 01 00 00 03a40000 27a40000 42435e00 62322f00";  // WMM

// 5 GHz, channel 36, VHT 80 MHz (centre 42), WPA2-PSK, PMF capable.
const char* const k5GhzVht80 =
    "00 0c 4f72636861726420 4c6f6674"           // SSID "Orchard Loft"
    "01 08 8c129824b048606c"                    // 6 9 12 18 24 36 48 54
    "30 14 0100 000fac04 0100 000fac04 0100 000fac02 8000"  // RSN: PSK, MFPC
    "2d 1a 6f00 1b ffff0000000000000000000000000000 0000 00000000 00"
    "3d 16 24 05 0000 0000 00000000000000000000000000000000"  // HT operation: primary 36, secondary above
    "bf 0c b179c333 faff0c03 faff0c03"          // VHT capabilities
    "c0 05 01 2a 00 fcff";                      // VHT operation: 80 MHz at 42

// 6 GHz, primary 37, HE 160 MHz (segments 39 and 47), WPA3-SAE with PMF required.
const char* const k6GhzHeSae =
    "00 0b 4c696e64656e776567 2036"             // SSID "Lindenweg 6"
    "01 08 8c129824b048606c"
    "30 14 0100 000fac04 0100 000fac04 0100 000fac08 c000"  // RSN: SAE, MFPC + MFPR
    "ff 1a 23 0901081a4000 0c701ec183c0080c000000 faff faff faff faff"  // HE capabilities
    "ff 0c 24 040002 01 fcff 25 03 27 2f 01"    // HE operation with 6 GHz information
    "ff 03 3b b836";                            // HE 6 GHz band capabilities

std::string Bytes(const char* hex) { return hex; }

struct Expect {
  const char* band;
  int channel;
  const char* width;
  const char* standard;
  const char* auth;
  const char* pmf;
};

void Check(const WlanElementInfo& info, const Expect& e) {
  EXPECT_STREQ(e.band, WlanBandText(info.band));
  EXPECT_EQ(e.channel, info.primaryChannel);
  EXPECT_EQ(e.width, WlanWidthText(info));
  EXPECT_STREQ(e.standard, WlanStandardText(info.standard));
  EXPECT_EQ(e.auth, WlanAuthenticationText(info));
  EXPECT_STREQ(e.pmf, WlanPmfText(info.pmf));
}

TEST(InformationElementsTest, AccessPointsOfEachBand) {
  const struct {
    const char* name;
    std::string hex;
    std::uint32_t mhz;
    Expect expect;
  } cases[] = {
      {"2.4 GHz WPA2", k24GhzWpa2, 2437, {"2.4 GHz", 6, "20 MHz", "802.11n", "WPA2-PSK", "no"}},
      {"2.4 GHz, frequency unknown", k24GhzWpa2, 0, {"2.4 GHz", 6, "20 MHz", "802.11n", "WPA2-PSK", "no"}},
      {"5 GHz VHT 80", k5GhzVht80, 5180, {"5 GHz", 36, "80 MHz", "802.11ac", "WPA2-PSK", "capable"}},
      {"5 GHz, frequency unknown", k5GhzVht80, 0, {"5 GHz", 36, "80 MHz", "802.11ac", "WPA2-PSK", "capable"}},
      {"6 GHz HE SAE", k6GhzHeSae, 6135, {"6 GHz", 37, "160 MHz", "802.11ax", "WPA3-SAE", "required"}},
      {"6 GHz, frequency unknown", k6GhzHeSae, 0, {"6 GHz", 37, "160 MHz", "802.11ax", "WPA3-SAE", "required"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Hex(c.hex);
    const WlanElementInfo info = ParseInformationElements(bytes.data(), bytes.size(), {c.mhz, 0x0411});
    Check(info, c.expect);
  }
  const auto bytes = Hex(k24GhzWpa2);
  const WlanElementInfo info = ParseInformationElements(bytes.data(), bytes.size());
  EXPECT_EQ("Lindenweg", info.ssid);
  EXPECT_EQ(std::vector<std::uint8_t>({0x82, 0x84, 0x8b, 0x96, 0x0c, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6c}),
            info.rates);
  EXPECT_EQ("CCMP", WlanPairwiseCipherText(info));
}

TEST(InformationElementsTest, WidthsAndGenerations) {
  const struct {
    const char* name;
    std::string hex;
    std::uint32_t mhz;
    const char* width;
    const char* standard;
  } cases[] = {
      {"b: DSSS rates only", "01 04 82848b96 03 01 01", 2412, "20 MHz", "802.11b"},
      {"g: OFDM rates on 2.4", "01 08 82848b960c121824 03 01 0b", 2462, "20 MHz", "802.11g"},
      {"a: OFDM on 5 GHz", "01 08 8c129824b048606c", 5745, "20 MHz", "802.11a"},
      {"no rates", "03 01 01", 2412, "20 MHz", ""},
      {"membership selectors are no rates", "01 02 fffe", 2412, "20 MHz", ""},
      {"HT 40 below", "3d 16 28 07 0000 0000 00000000000000000000000000000000", 5200, "40 MHz", "802.11n"},
      {"HT offset without width bit", "3d 16 24 01 0000 0000 00000000000000000000000000000000", 5180, "20 MHz",
       "802.11n"},
      {"VHT 160 by second segment", "c0 05 01 2a 32 fcff", 5180, "160 MHz", "802.11ac"},
      {"VHT 80+80", "c0 05 01 2a 9b fcff", 5180, "80+80 MHz", "802.11ac"},
      {"VHT 20/40 leaves HT width", "3d 16 24 05 0000 0000 00000000000000000000000000000000 c0 05 00 00 00 fcff",
       5180, "40 MHz", "802.11ac"},
      {"HE on 2.4 keeps HT width", "3d 16 01 05 0000 0000 00000000000000000000000000000000 ff 07 24 000000 01 fcff",
       2412, "40 MHz", "802.11ax"},
      {"HE 6 GHz 80", "ff 0c 24 000002 01 fcff 01 02 07 00 01", 5955, "80 MHz", "802.11ax"},
      {"HE 6 GHz 80+80", "ff 0c 24 000002 01 fcff 01 03 07 27 01", 5955, "80+80 MHz", "802.11ax"},
      {"EHT 320", "ff 0c 24 000002 01 fcff 25 03 27 2f 01 ff 09 6a 01 44444444 04 2f 3f", 6135, "320 MHz",
       "802.11be"},
      {"EHT capabilities only", "ff 0f 6c 0000 000000000000000000 222222", 6135, "20 MHz", "802.11be"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Hex(c.hex);
    const WlanElementInfo info = ParseInformationElements(bytes.data(), bytes.size(), {c.mhz, -1});
    EXPECT_EQ(c.width, WlanWidthText(info));
    EXPECT_STREQ(c.standard, WlanStandardText(info.standard));
  }
}

TEST(InformationElementsTest, AuthenticationAndPmf) {
  const struct {
    const char* name;
    std::string hex;
    int capability;
    const char* auth;
    const char* pmf;
    const char* ciphers;
  } cases[] = {
      {"open", "", 0x0001, "Open", "no", ""},
      {"WEP by privacy bit", "", 0x0011, "WEP", "no", ""},
      {"WPA-PSK TKIP", "dd 16 0050f201 0100 0050f202 0100 0050f202 0100 0050f202", 0x0011, "WPA-PSK", "no", "TKIP"},
      {"WPA 802.1X", "dd 16 0050f201 0100 0050f202 0100 0050f202 0100 0050f201", 0x0011, "WPA-802.1X", "no",
       "TKIP"},
      {"WPA and WPA2 PSK",
       "dd 1a 0050f201 0100 0050f202 0200 0050f202 0050f204 0100 0050f202"
       "30 18 0100 000fac02 0200 000fac02 000fac04 0100 000fac02 0000",
       0x0011, "WPA/WPA2-PSK", "no", "TKIP+CCMP"},
      {"WPA2/WPA3 transition", "30 18 0100 000fac04 0100 000fac04 0200 000fac02 000fac08 8000", 0x0011,
       "WPA2/WPA3", "capable", "CCMP"},
      {"OWE", "30 14 0100 000fac04 0100 000fac04 0100 000fac12 c000", 0x0011, "OWE", "required", "CCMP"},
      {"WPA2 enterprise", "30 14 0100 000fac04 0100 000fac04 0100 000fac01 0000", 0x0011, "WPA2-802.1X", "no",
       "CCMP"},
      {"WPA3 enterprise", "30 14 0100 000fac04 0100 000fac04 0100 000fac05 c000", 0x0011, "WPA3-802.1X",
       "required", "CCMP"},
      {"SHA-256 802.1X without PMF", "30 14 0100 000fac04 0100 000fac04 0100 000fac05 0000", 0x0011,
       "WPA2-802.1X", "no", "CCMP"},
      {"Suite B 192", "30 14 0100 000fac09 0100 000fac09 0100 000fac0c c000", 0x0011, "WPA3-802.1X-192",
       "required", "GCMP-256"},
      {"RSN of version only: defaults", "30 02 0100", 0x0011, "WPA2-802.1X", "no", "CCMP"},
      {"RSN unknown AKM", "30 14 0100 000fac04 0100 000fac04 0100 00aabb01 0000", 0x0011, "WPA2", "no", "CCMP"},
      {"RSN wrong version is skipped", "30 14 0200 000fac04 0100 000fac04 0100 000fac02 0000", 0x0011, "WEP", "no",
       ""},
      {"MFPR without MFPC", "30 14 0100 000fac04 0100 000fac04 0100 000fac08 4000", 0x0011, "WPA3-SAE", "no",
       "CCMP"},
      {"other vendor element is not WPA", "dd 16 0050f202 0100 0050f202 0100 0050f202 0100 0050f202", 0x0001,
       "Open", "no", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Hex(c.hex);
    const WlanElementInfo info = ParseInformationElements(bytes.data(), bytes.size(), {2437, c.capability});
    EXPECT_EQ(c.auth, WlanAuthenticationText(info));
    EXPECT_STREQ(c.pmf, WlanPmfText(info.pmf));
    EXPECT_EQ(c.ciphers, WlanPairwiseCipherText(info));
  }
}

// Truncated and malformed elements: the bad element is skipped whole, the
// well-formed ones around it still count, nothing past the end is read (the
// sanitizer builds catch a read past it; the copies below have no slack).
TEST(InformationElementsTest, TruncatedAndMalformedElements) {
  const struct {
    const char* name;
    std::string hex;
    const char* auth;
    const char* width;
    const char* standard;
  } cases[] = {
      {"HT operation cut at the end",
       Bytes(k24GhzWpa2).substr(0, Bytes(k24GhzWpa2).find("3d 16")) + "3d 16 06 05 0000", "WPA2-PSK", "20 MHz",
       "802.11n"},  // HT capabilities still there
      {"RSN counts more pairwise suites than it holds",
       "30 14 0100 000fac04 0500 000fac04 0100 000fac02 0000 3d 16 24 05 0000 0000 00000000000000000000000000000000",
       "Open", "40 MHz", "802.11n"},
      {"RSN AKM list cut", "30 0f 0100 000fac04 0100 000fac04 0100 00", "Open", "20 MHz", ""},
      {"HT operation too short", "3d 02 24 05", "Open", "20 MHz", ""},
      {"HE operation promising 6 GHz information it lacks", "ff 07 24 000002 01 fcff", "Open", "20 MHz", ""},
      {"EHT operation promising information it lacks", "ff 06 6a 01 44444444", "Open", "20 MHz", ""},
      {"empty extension element", "ff 00 3d 16 24 05 0000 0000 00000000000000000000000000000000", "Open", "40 MHz",
       "802.11n"},
      {"lone id byte", "01 04 82848b96 dd", "Open", "20 MHz", "802.11b"},
      {"length past the end", "01 04 82848b96 30 ff 0100", "Open", "20 MHz", "802.11b"},
      {"SSID longer than 32", "00 21 414141414141414141414141414141414141414141414141414141414141414141", "Open",
       "20 MHz", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto hex = Hex(c.hex);
    const std::vector<std::uint8_t> exact(hex.begin(), hex.end());
    const WlanElementInfo info = ParseInformationElements(exact.data(), exact.size(), {0, 0x0001});
    EXPECT_EQ(c.auth, WlanAuthenticationText(info));
    EXPECT_EQ(c.width, WlanWidthText(info));
    EXPECT_STREQ(c.standard, WlanStandardText(info.standard));
    EXPECT_FALSE(info.hasSsid && info.ssid.size() > 32);
  }
  EXPECT_EQ("Open", WlanAuthenticationText(ParseInformationElements(nullptr, 0)));
}

}  // namespace
