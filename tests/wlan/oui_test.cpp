#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>

#include "wlan/OuiRegistry.h"

namespace {

std::string WriteRegistry(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(OuiRegistryTest, LooksUpPrefixesOnceLoaded) {
  const std::string path = WriteRegistry("oui-test.csv",
                                         "Registry,Assignment,Organization Name,Organization Address\n"
                                         "MA-L,00D0EF,Plain Name Ltd,1 Street Town\r\n"
                                         "MA-L,f4bd9e,\"Comma, and \"\"Quote\"\" Inc\",\"2 Road, City\"\n"
                                         "MA-L,XYZ123,Damaged Line,\n"
                                         "MA-L,001B2F,Trailing Spaces   ,3 Lane\n");
  std::atomic<int> calls{0};
  COuiRegistry registry({::testing::TempDir() + "absent-oui.csv", path});
  registry.SetLoadedCallback([&] { ++calls; });
  const std::uint8_t known[6] = {0x00, 0xD0, 0xEF, 0x12, 0x34, 0x56};
  EXPECT_EQ(0u, registry.Generation());
  registry.WaitLoaded();
  EXPECT_EQ(1u, registry.Generation());
  EXPECT_EQ(1, calls.load());

  const struct {
    const char* name;
    std::uint8_t mac[6];
    const char* vendor;
  } cases[] = {
      {"known", {0x00, 0xD0, 0xEF, 0x12, 0x34, 0x56}, "Plain Name Ltd"},
      {"quoted, lower-case prefix", {0xF4, 0xBD, 0x9E, 0, 0, 1}, "Comma, and \"Quote\" Inc"},
      {"trailing spaces cut", {0x00, 0x1B, 0x2F, 0, 0, 1}, "Trailing Spaces"},
      {"unknown", {0x00, 0xD0, 0xEE, 0, 0, 1}, ""},
      {"locally administered", {0x02, 0xD0, 0xEF, 0x12, 0x34, 0x56}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.vendor, registry.Lookup(c.mac));
  }
  EXPECT_EQ("", registry.Lookup(nullptr));
  EXPECT_EQ("Plain Name Ltd", registry.Lookup(known));
}

TEST(OuiRegistryTest, FirstLookupStartsTheLoadAndAMissingFileLeavesItEmpty) {
  const std::string path = WriteRegistry("oui-first.csv", "MA-L,00D0EF,Plain Name Ltd,x\n");
  const std::uint8_t mac[6] = {0x00, 0xD0, 0xEF, 0, 0, 1};
  {
    COuiRegistry registry({path});
    // Until the file is read the look-up is empty and does not wait.
    EXPECT_EQ("", registry.Lookup(mac));
    registry.WaitLoaded();
    EXPECT_EQ("Plain Name Ltd", registry.Lookup(mac));
  }
  COuiRegistry missing({::testing::TempDir() + "no-such-oui.csv"});
  EXPECT_EQ("", missing.Lookup(mac));
  missing.WaitLoaded();
  EXPECT_EQ(1u, missing.Generation());
  EXPECT_EQ("", missing.Lookup(mac));
}

}  // namespace
