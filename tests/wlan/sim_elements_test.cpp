// The simulated service's BSS lists carry each station's information
// elements, and the built-in world shows every band, width and security kind.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/wlanapi.h"
#include "platform/wlansim/SimControl.h"
#include "wlan/InformationElements.h"

namespace {

TEST(SimulatedElementsTest, BuiltInWorldBeaconsEveryBandWidthAndSecurityKind) {
  ASSERT_TRUE(wlansim::ResetWorld(wlansim::BuiltInWorld()));
  DWORD version = 0;
  HANDLE h = nullptr;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_SUCCESS);
  const GUID guid = wlansim::AdapterGuid(0);
  WLAN_BSS_LIST* list = nullptr;
  ASSERT_EQ(WlanGetNetworkBssList(h, &guid, nullptr, dot11_BSS_type_any, FALSE, nullptr, &list), ERROR_SUCCESS);
  ASSERT_NE(list, nullptr);

  std::set<std::string> bands, widths, standards, auths;
  std::map<std::string, std::string> byName;  // SSID -> "band width standard auth pmf"
  for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
    const WLAN_BSS_ENTRY& e = list->wlanBssEntries[i];
    const auto* start = reinterpret_cast<const std::uint8_t*>(&e) + e.ulIeOffset;
    ASSERT_LE(start + e.ulIeSize, reinterpret_cast<const std::uint8_t*>(list) + list->dwTotalSize);
    const WlanElementInfo info = ParseInformationElements(start, e.ulIeSize, {e.ulChCenterFrequency / 1000, e.usCapabilityInformation});
    const std::string band = WlanBandText(info.band), width = WlanWidthText(info);
    const std::string standard = WlanStandardText(info.standard), auth = WlanAuthenticationText(info);
    bands.insert(band);
    widths.insert(width);
    standards.insert(standard);
    auths.insert(auth);
    byName[info.ssid] = band + " " + width + " " + standard + " " + auth + " " + WlanPmfText(info.pmf);
  }
  WlanFreeMemory(list);
  WlanCloseHandle(h, nullptr);
  wlansim::ResetToDefault();

  EXPECT_EQ(bands, (std::set<std::string>{"2.4 GHz", "5 GHz", "6 GHz"}));
  EXPECT_EQ(widths, (std::set<std::string>{"20 MHz", "40 MHz", "80 MHz", "160 MHz", "320 MHz"}));
  EXPECT_EQ(standards, (std::set<std::string>{"802.11b", "802.11g", "802.11a", "802.11n", "802.11ac", "802.11ax",
                                              "802.11be"}));
  EXPECT_EQ(auths, (std::set<std::string>{"Open", "WEP", "WPA-PSK", "WPA-802.1X", "WPA/WPA2-PSK", "WPA2-PSK",
                                          "WPA2/WPA3", "WPA3-SAE", "OWE", "WPA2-802.1X", "WPA3-802.1X",
                                          "WPA3-802.1X-192"}));
  EXPECT_EQ(byName["Skylight Studio"], "6 GHz 160 MHz 802.11ax WPA3-SAE required");
  EXPECT_EQ(byName["Observatory"], "6 GHz 320 MHz 802.11be WPA3-802.1X-192 required");
  EXPECT_EQ(byName["Tea Garden"], "2.4 GHz 40 MHz 802.11n Open no");
  EXPECT_EQ(byName["Orchard Loft"], "5 GHz 160 MHz 802.11ax WPA2-PSK no");
  EXPECT_EQ(byName[""], "5 GHz 20 MHz 802.11a WPA2-PSK no");  // the hidden station
}

}  // namespace
