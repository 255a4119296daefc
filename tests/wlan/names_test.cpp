// Names of the values the WLAN service reports, with the values around each
// table's edges and the ones the service defines without a text here.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "wlan/WlanNames.h"

namespace {

using Rows = std::vector<std::pair<DWORD, const char*>>;

void ExpectNames(std::string (*name)(DWORD), const Rows& rows, const char* what) {
  for (const auto& [value, text] : rows) EXPECT_EQ(name(value), text) << what << " " << value;
}

TEST(WlanNames, InterfaceStates) {
  ExpectNames(&InterfaceStateName,
              {{0, "Not ready"},
               {1, "Connected"},
               {2, "Adhoc network formed"},
               {3, "Disconnecting"},
               {4, "Disconnected"},
               {5, "Associating"},
               {6, "Discovering"},
               {7, "Authenticating"},
               {8, "Invalid interface state"},
               {0xFFFFFFFF, "Invalid interface state"}},
              "state");
}

TEST(WlanNames, AcmNotifications) {
  ExpectNames(&AcmNotificationName,
              {{0, "Unknown ACM notification"},
               {1, "Autoconf enabled"},
               {2, "Autoconf disabled"},
               {3, "Background scan enabled"},
               {4, "Background scan disabled"},
               {5, "Unknown ACM notification"},  // BSS type change: no text of its own
               {6, "Power setting changed"},
               {7, "Scan completed"},
               {8, "Scan failed"},
               {9, "Connection started"},
               {10, "Connection completed"},
               {11, "Connection failed"},
               {12, "Filter list changed"},
               {13, "Interface arrived"},
               {14, "Interface removed"},
               {15, "Profile changed"},
               {16, "Unknown ACM notification"},  // profile name change: no text of its own
               {17, "Profiles exhausted"},
               {18, "Network not available"},
               {19, "Networks are available"},
               {20, "Disconnecting"},
               {21, "Disconnected"},
               {22, "Adhoc network state changed"},
               {23, "Unknown ACM notification"},
               {0x80000000, "Unknown ACM notification"}},
              "ACM code");
}

TEST(WlanNames, MsmNotifications) {
  ExpectNames(&MsmNotificationName,
              {{0, "Unknown MSM notification"},
               {1, "Associating"},
               {2, "Associated"},
               {3, "Authenticating"},
               {4, "Connected"},
               {5, "Roaming started"},
               {6, "Roaming ended"},
               {7, "Radio state changed"},
               {8, "Signal quality changed"},
               {9, "Disassociating"},
               {10, "Disconnected"},
               {11, "A peer has joined the ad hoc network"},
               {12, "A peer has left the ad hoc network"},
               {13, "Adapter is in a bad state"},
               {14, "Unknown MSM notification"},  // operation mode change: no text of its own
               {15, "Unknown MSM notification"}},
              "MSM code");
}

TEST(WlanNames, ConnectionModesAndBssTypes) {
  ExpectNames(&ConnectionModeName,
              {{0, "Manual connection with a profile"},
               {1, "Manual connection with a temporary profile"},
               {2, "Manual connection to a secure network without a profile"},
               {3, "Manual connection to an unsecure network without a profile"},
               {4, "Automatic connection with a profile"},
               {5, "Invalid connection mode"},
               {0xFFFFFFFF, "Invalid connection mode"}},
              "mode");
  ExpectNames(&BssTypeName,
              {{0, "Unknown BSS type"}, {1, "Infrastructure"}, {2, "Ad hoc"}, {3, "Any"}, {4, "Unknown BSS type"}},
              "BSS type");
}

TEST(WlanNames, CipherAlgorithms) {
  const std::vector<std::pair<std::int32_t, const char*>> rows = {
      {0x00, "None"},
      {0x01, "WEP40"},
      {0x02, "TKIP"},
      {0x03, "Unknown algorithm"},
      {0x04, "AES"},
      {0x05, "WEP104"},
      {0x06, "Unknown algorithm"},
      {0xFF, "Unknown algorithm"},
      {0x100, "USE-GROUP"},
      {0x101, "WEP"},
      {0x102, "Unknown algorithm"},
      {INT32_MAX, "Unknown algorithm"},
      {INT32_MIN, "Vendor-specific algorithm"},  // start of the vendor range
      {INT32_MIN + 1, "Vendor-specific algorithm"},
      {INT32_MIN + 0x101, "Vendor-specific algorithm"},  // the sign decides, not the low bits
      {-1, "Vendor-specific algorithm"},  // end of the vendor range
  };
  for (const auto& [value, text] : rows) EXPECT_EQ(CipherAlgorithmName(value), text) << "cipher " << value;
}

TEST(WlanNames, WideTextBecomesUtf8) {
  EXPECT_EQ(WideToLogText(nullptr), "");
  const std::string empty = WideToLogText(u"");
  EXPECT_TRUE(empty.empty()) << "size " << empty.size();
  EXPECT_EQ(WideToLogText(u"Home network"), "Home network");
  EXPECT_EQ(WideToLogText(u"Caf\u00e9 \u00fcber"), "Caf\xC3\xA9 \xC3\xBC" "ber");
  EXPECT_EQ(WideToLogText(u"\U0001F4F6"), "\xF0\x9F\x93\xB6");  // a surrogate pair
  const WCHAR unpaired[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(WideToLogText(unpaired), "a\xEF\xBF\xBD" "b");  // replacement character
}

}  // namespace
