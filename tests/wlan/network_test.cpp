#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "wlan/WIFINetwork.h"

namespace {

WLAN_AVAILABLE_NETWORK MakeEntry(const std::string& ssid, int bssType = dot11_BSS_type_infrastructure,
                                 int cipher = DOT11_CIPHER_ALGO_CCMP, const std::u16string& profile = u"") {
  WLAN_AVAILABLE_NETWORK entry{};
  entry.dot11Ssid.uSSIDLength = static_cast<ULONG>(ssid.size());
  std::memcpy(entry.dot11Ssid.ucSSID, ssid.data(), ssid.size());
  entry.dot11BssType = static_cast<DOT11_BSS_TYPE>(bssType);
  entry.dot11DefaultCipherAlgorithm = static_cast<DOT11_CIPHER_ALGORITHM>(cipher);
  std::copy(profile.begin(), profile.end(), entry.strProfileName);
  return entry;
}

static_assert(std::has_virtual_destructor_v<CWIFINetwork>);

TEST(WIFINetworkTest, CopiesTheEntry) {
  WLAN_AVAILABLE_NETWORK entry = MakeEntry("Office", dot11_BSS_type_independent, DOT11_CIPHER_ALGO_TKIP,
                                           u"Caf\u00e9 \u2615 \U0001F4F6");
  entry.bSecurityEnabled = 2;  // any non-zero value
  auto* device = reinterpret_cast<CNativeWIFIDevice*>(&entry);  // only stored, never used
  int profileTag = 0;
  auto* profile = reinterpret_cast<CWIFIProfile*>(&profileTag);

  CWIFINetwork network(entry, device, profile);
  EXPECT_EQ("Office", network.GetSSID());
  EXPECT_EQ(6u, network.m_dot11Ssid.uSSIDLength);
  EXPECT_EQ(dot11_BSS_type_independent, network.m_nBssType);
  EXPECT_EQ(DOT11_CIPHER_ALGO_TKIP, network.m_nCipherAlgorithm);
  EXPECT_TRUE(network.m_bSecurityEnabled);
  EXPECT_EQ("Caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x93\xB6", network.m_strProfileName);
  EXPECT_EQ(device, network.m_pDevice);
  EXPECT_EQ(profile, network.m_pProfile);

  CWIFINetwork open(MakeEntry("Open", 7), nullptr, nullptr);
  EXPECT_FALSE(open.m_bSecurityEnabled);
  EXPECT_EQ("", open.m_strProfileName);
  EXPECT_EQ(nullptr, open.m_pProfile);
  EXPECT_EQ(7, open.m_nBssType);  // the network keeps the entry's value unmapped
}

TEST(WIFINetworkTest, OversizedFieldsAreReadWithinTheRecord) {
  // Alone in a heap block of its exact size: reads past it are caught by the
  // address sanitizer build.
  auto entry = std::make_unique<WLAN_AVAILABLE_NETWORK>();
  std::fill(std::begin(entry->strProfileName), std::end(entry->strProfileName), u'p');  // no NUL
  entry->dot11Ssid.uSSIDLength = 40;
  std::memset(entry->dot11Ssid.ucSSID, 's', DOT11_SSID_MAX_LENGTH);

  CWIFINetwork network(*entry, nullptr, nullptr);
  EXPECT_EQ(std::string(WLAN_MAX_NAME_LENGTH, 'p'), network.m_strProfileName);
  EXPECT_EQ(std::string(WLAN_MAX_NAME_LENGTH, 'p'), CWIFINetwork::ProfileNameText(*entry));
  EXPECT_EQ(std::string(32, 's'), network.GetSSID());
  // The stored record never claims more bytes than it holds.
  EXPECT_EQ(DOT11_SSID_MAX_LENGTH, network.m_dot11Ssid.uSSIDLength);
}

TEST(WIFINetworkTest, SameIdentity) {
  const CWIFINetwork network(MakeEntry("Home-Net 5G"), nullptr, nullptr);
  const CWIFINetwork accented(MakeEntry("Caf\xC3\xA9"), nullptr, nullptr);
  const struct {
    const char* name;
    const CWIFINetwork& network;
    WLAN_AVAILABLE_NETWORK entry;
    bool same;
  } cases[] = {
      {"identical", network, MakeEntry("Home-Net 5G"), true},
      {"ASCII case differs", network, MakeEntry("hOME-nET 5g"), true},
      {"other profile name", network, MakeEntry("Home-Net 5G", 1, DOT11_CIPHER_ALGO_CCMP, u"Work"), true},
      {"other cipher", network, MakeEntry("Home-Net 5G", 1, DOT11_CIPHER_ALGO_TKIP), false},
      {"other BSS type", network, MakeEntry("Home-Net 5G", 2), false},
      {"prefix", network, MakeEntry("Home-Net 5"), false},
      {"longer", network, MakeEntry("Home-Net 5G!"), false},
      {"one letter differs", network, MakeEntry("Home-Net 5H"), false},
      {"cut at NUL is shorter", network, MakeEntry(std::string("Home-Net\0 5G", 12)), false},
      {"bytes after a NUL ignored", network, MakeEntry(std::string("Home-Net 5G\0xyz", 15)), true},
      {"non-ASCII case not folded", accented, MakeEntry("CAF\xC3\x89"), false},
      {"ASCII folded beside non-ASCII", accented, MakeEntry("CAF\xC3\xA9"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.same, c.network.SameIdentity(c.entry));
  }

  // '[' and '{' are 0x20 apart like letter cases, but are not letters.
  const CWIFINetwork bracket(MakeEntry("a[b"), nullptr, nullptr);
  EXPECT_FALSE(bracket.SameIdentity(MakeEntry("a{b")));
  EXPECT_FALSE(bracket.SameIdentity(MakeEntry("A{B")));
  EXPECT_TRUE(bracket.SameIdentity(MakeEntry("A[B")));
}

}  // namespace
