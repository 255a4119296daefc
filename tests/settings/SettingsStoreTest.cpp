// Load and Save of the profile values: defaults, round trip, the forms the
// stored values may take, and the intervals that are not positive.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/appprofile.h"
#include "settings/Settings.h"
#include "tests/settings/SettingsFixture.h"

namespace {

class SettingsStoreTest : public SettingsFixture {
 protected:
  // Puts values in memory that differ from every default, so Load must set each.
  static void Scramble() {
    CSettings::m_nActiveScanInterval = 1;
    CSettings::m_nPassiveScanInterval = 2;
    CSettings::m_bAutoRetry = false;
    CSettings::m_bAutorun = true;
    CSettings::m_guidMonitorDevice = GUID{0xdeadbeef, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  }
  // Stores a value as text, as a hand-edited or foreign profile may hold it.
  static void Store(const char* section, const char* entry, const std::string& text) {
    ASSERT_TRUE(WriteProfileString(section, entry, text.c_str()));
  }
};

TEST_F(SettingsStoreTest, NothingStoredGivesTheDefaults) {
  Scramble();
  CSettings::Load();
  EXPECT_EQ(CSettings::m_nActiveScanInterval, 10000);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 100);
  EXPECT_TRUE(CSettings::m_bAutoRetry);
  EXPECT_FALSE(CSettings::m_bAutorun);
  EXPECT_EQ(CSettings::m_guidMonitorDevice, GUID{});
  EXPECT_FALSE(std::filesystem::exists(ProfileFile())) << "loading must not write";
}

TEST_F(SettingsStoreTest, SaveThenLoadRestoresEveryValue) {
  const GUID device{0x0123abcd, 0x4567, 0x89ef, {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10}};
  CSettings::m_nActiveScanInterval = 30000;
  CSettings::m_nPassiveScanInterval = 300;
  CSettings::m_bAutoRetry = false;
  CSettings::m_guidMonitorDevice = device;
  CSettings::m_bAutorun = true;
  CSettings::Save();

  // The values sit under the sections and names other tools expect.
  EXPECT_EQ(GetProfileInt("Scan", "Active Scan Interval", -1), 30000u);
  EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", -1), 300u);
  EXPECT_EQ(GetProfileInt("Connect", "Auto Retry", -1), 0u);
  EXPECT_EQ(GetProfileString("Monitor", "Device GUID"), "0123abcd-4567-89ef-fedc-ba9876543210");

  Scramble();
  CSettings::m_bAutorun = false;
  CSettings::Load();
  EXPECT_EQ(CSettings::m_nActiveScanInterval, 30000);
  EXPECT_EQ(CSettings::m_nPassiveScanInterval, 300);
  EXPECT_FALSE(CSettings::m_bAutoRetry);
  EXPECT_TRUE(CSettings::m_bAutorun);  // read back from the run list
  EXPECT_EQ(CSettings::m_guidMonitorDevice, device);

  CSettings::m_bAutoRetry = true;
  CSettings::Save();
  EXPECT_EQ(GetProfileInt("Connect", "Auto Retry", -1), 1u);
}

TEST_F(SettingsStoreTest, AutoRetryReadsAnyNonZeroAsOn) {
  for (const char* stored : {"7", "-1", "4294967295"}) {
    Store("Connect", "Auto Retry", stored);
    CSettings::m_bAutoRetry = false;
    CSettings::Load();
    EXPECT_TRUE(CSettings::m_bAutoRetry) << stored;
  }
  Store("Connect", "Auto Retry", "0");
  CSettings::Load();
  EXPECT_FALSE(CSettings::m_bAutoRetry);
  // Not a number at all: the value is unreadable and takes its default.
  Store("Connect", "Auto Retry", "yes please");
  CSettings::Load();
  EXPECT_TRUE(CSettings::m_bAutoRetry);
}

TEST_F(SettingsStoreTest, EmptyOrMalformedDeviceGuidGivesAllZero) {
  const char* texts[] = {
      "",
      "not a guid",
      "{0123abcd-4567-89ef-fedc-ba9876543210}",  // braces are not part of the form
      "0123abcd-4567-89ef-fedc-ba987654321",     // 35 characters
      "0123abcd-4567-89ef-fedc-ba98765432100",   // 37 characters
      "0123abcd-4567-89ef-fedcba-9876543210",    // hyphen out of place
      "0123abcg-4567-89ef-fedc-ba9876543210",    // not hexadecimal
      "0123abcd 4567 89ef fedc ba9876543210",
  };
  for (const char* text : texts) {
    ASSERT_TRUE(WriteProfileString("Monitor", "Device GUID", text));
    CSettings::m_guidMonitorDevice = GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    CSettings::Load();
    EXPECT_EQ(CSettings::m_guidMonitorDevice, GUID{}) << '"' << text << '"';
  }
}

TEST_F(SettingsStoreTest, DeviceGuidTextIsReadInEitherCaseAndWrittenInLowerCase) {
  ASSERT_TRUE(WriteProfileString("Monitor", "Device GUID", "A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90"));
  CSettings::Load();
  const GUID expected{0xa1b2c3d4, 0xe5f6, 0x0718, {0x29, 0x3a, 0x4b, 0x5c, 0x6d, 0x7e, 0x8f, 0x90}};
  EXPECT_EQ(CSettings::m_guidMonitorDevice, expected);
  CSettings::Save();
  EXPECT_EQ(GetProfileString("Monitor", "Device GUID"), "a1b2c3d4-e5f6-0718-293a-4b5c6d7e8f90");
}

// Zero, negative and unreadably large stored intervals fall back to the
// defaults; every positive value, on the dialog's lists or not, is kept as
// stored and written back unchanged by the next save.
TEST_F(SettingsStoreTest, StoredIntervalsAreKeptUnlessNotPositive) {
  struct Case {
    const char* active;
    const char* passive;
    int wantActive;
    int wantPassive;
  };
  const Case cases[] = {
      {"0", "0", 10000, 100},
      {"-5", "-100", 10000, 100},
      {"4294967295", "4294967295", 10000, 100},  // a DWORD of all ones is -1
      {"1", "1", 1, 1},
      {"500", "50", 500, 50},  // below the dialog's smallest items
      {"150", "150", 150, 150},  // off the dialog's lists
      {"30000", "60000", 30000, 60000},
  };
  for (const Case& c : cases) {
    Store("Scan", "Active Scan Interval", c.active);
    Store("Scan", "Passive Scan Interval", c.passive);
    CSettings::Load();
    EXPECT_EQ(CSettings::m_nActiveScanInterval, c.wantActive) << c.active;
    EXPECT_EQ(CSettings::m_nPassiveScanInterval, c.wantPassive) << c.passive;
    // A save for another reason (the autorun command) keeps them.
    CSettings::m_bAutorun = !CSettings::m_bAutorun;
    CSettings::Save();
    EXPECT_EQ(GetProfileInt("Scan", "Active Scan Interval", 0), static_cast<UINT>(c.wantActive)) << c.active;
    EXPECT_EQ(GetProfileInt("Scan", "Passive Scan Interval", 0), static_cast<UINT>(c.wantPassive)) << c.passive;
  }
}

TEST_F(SettingsStoreTest, ProfileLivesUnderTheRegistryKeyNameAndApplication) {
  SetProfileFilePath(std::string());
  const std::string path = GetProfileFilePath();
  SetProfileFilePath(ProfileFile());
  const std::string tail = "/Local AppWizard-Generated Applications/Aerlume.ini";
  ASSERT_GE(path.size(), tail.size());
  EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
}

TEST_F(SettingsStoreTest, ProfileIntegersOutside32BitsReadAsTheDefault) {
  Store("Scan", "A", "4294967296");
  Store("Scan", "B", "-2147483649");
  Store("Scan", "C", "-2147483648");
  Store("Scan", "D", " 42 ");
  EXPECT_EQ(GetProfileInt("Scan", "A", 7), 7u);
  EXPECT_EQ(GetProfileInt("Scan", "B", 7), 7u);
  EXPECT_EQ(GetProfileInt("Scan", "C", 7), 0x80000000u);
  EXPECT_EQ(GetProfileInt("Scan", "D", 7), 42u);
  EXPECT_EQ(GetProfileInt("Scan", "Missing", 7), 7u);
  EXPECT_EQ(GetProfileString("Nowhere", "Missing", "fallback"), "fallback");
}

}  // namespace
