// The adapter monitor's throughput sampler over the simulated adapters'
// traffic (manual clock): rates while connected and none while disconnected,
// failed set-up and failed refreshes, a buffer that must grow, and the
// instance-name normalisation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/perfcounters.h"
#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

using wlantest::RecordingObserver;

namespace {

namespace fs = std::filesystem;

const GUID kOnGuid{0x7a000001, 0x1111, 0x4111, {0x81, 0, 0, 0, 0, 0, 0, 0x01}};
const GUID kOffGuid{0x7a000002, 0x2222, 0x4222, {0x82, 0, 0, 0, 0, 0, 0, 0x02}};

wlansim::Adapter MakeAdapter(const GUID& guid, const std::string& description, BYTE n, bool connected) {
  const std::string net = "127.0.20.";
  return wlantest::OneNetworkAdapter(guid, description, n, connected,
                                     {net + std::to_string(n), net + "1", net + "53"});
}

class ThroughputTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_net);
    SetPerfNetRoot(m_net.string());  // no kernel interfaces unless a test adds them
    wlansim::World world;
    world.adapters = {MakeAdapter(kOnGuid, "Sim (Radio) 1/A", 1, true), MakeAdapter(kOffGuid, "Sim Radio 2", 2, false)};
    wlantest::UseWorld(world);
  }
  void TearDown() override {
    m_client.reset();
    SetPerfNetRoot("");
    fs::remove_all(m_net);
    wlansim::ResetToDefault();
  }
  void Start() {
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    ASSERT_EQ(m_client->GetDeviceCount(), 2);
  }
  void AddInterface(const std::string& name) {
    fs::create_directories(m_net / name / "statistics");
    std::ofstream(m_net / name / "statistics" / "rx_bytes") << 5 << "\n";
    std::ofstream(m_net / name / "statistics" / "tx_bytes") << 5 << "\n";
  }
  CNativeWIFIDevice& On() { return *m_client->FindDevice(kOnGuid); }
  CNativeWIFIDevice& Off() { return *m_client->FindDevice(kOffGuid); }
  void Pass(std::uint32_t ms) {
    wlansim::AdvanceClock(ms);
    ASSERT_TRUE(wlansim::WaitForIdle());
  }

  fs::path m_net = fs::temp_directory_path() / ("aerlume-tp-" + std::to_string(getpid()));
  RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

TEST_F(ThroughputTest, ConnectedAdapterCarriesTrafficDisconnectedNone) {
  Start();
  EXPECT_EQ(On().m_dwBytesTotalPerSec, 0u) << "the first sample has nothing to compare with";
  Pass(1000);
  EXPECT_EQ(On().SampleThroughput(), S_OK);
  EXPECT_EQ(Off().SampleThroughput(), S_OK);
  // Adapter 0 of the world: 24 KiB received and 6 KiB sent per second.
  EXPECT_EQ(On().m_dwBytesReceivedPerSec, 24u * 1024);
  EXPECT_EQ(On().m_dwBytesSentPerSec, 6u * 1024);
  EXPECT_EQ(On().m_dwBytesTotalPerSec, 30u * 1024);
  EXPECT_EQ(Off().m_dwBytesTotalPerSec, 0u);

  ASSERT_EQ(On().Disconnect(), S_OK);
  Pass(1000);
  ASSERT_EQ(wlansim::InterfaceState(kOnGuid), wlan_interface_state_disconnected);
  EXPECT_EQ(On().SampleThroughput(), S_OK);
  EXPECT_EQ(On().m_dwBytesReceivedPerSec, 0u);
  EXPECT_EQ(On().m_dwBytesTotalPerSec, 0u);
}

TEST_F(ThroughputTest, FailedSetUpAndFailedRefreshesChangeNothing) {
  wlansim::InjectFault(wlansim::Op::PerfConnectServer, static_cast<DWORD>(WBEM_E_FAILED), 1);
  Start();  // the first monitor's set-up fails, the second's succeeds
  Pass(1000);
  EXPECT_EQ(On().SampleThroughput(), E_FAIL);
  EXPECT_EQ(On().m_dwBytesTotalPerSec, 0u);

  m_client.reset();
  wlansim::ClearFaults();
  Start();
  Pass(1000);
  ASSERT_EQ(On().SampleThroughput(), S_OK);
  ASSERT_EQ(On().m_dwBytesTotalPerSec, 30u * 1024);
  ASSERT_EQ(On().Disconnect(), S_OK);
  Pass(1000);
  wlansim::InjectFault(wlansim::Op::PerfRefresh, static_cast<DWORD>(WBEM_E_FAILED), 1);
  EXPECT_EQ(On().SampleThroughput(), WBEM_E_FAILED);
  EXPECT_EQ(On().m_dwBytesTotalPerSec, 30u * 1024) << "a failed refresh keeps the previous values";
}

TEST_F(ThroughputTest, OneSampleGrowsTheBufferAndStillReadsTheAdaptersInstance) {
  Start();
  for (int i = 0; i < 40; ++i) AddInterface("veth" + std::to_string(i));  // listed before the adapters
  Pass(1000);
  EXPECT_EQ(On().SampleThroughput(), S_OK);
  EXPECT_EQ(On().m_dwBytesReceivedPerSec, 24u * 1024);
}

TEST(NormalizeInstanceName, MatchesOnlyWhereOnlyNonAlphanumericsDiffer) {
  EXPECT_EQ(NormalizeInstanceName("Sim (Radio) 1/A-\xC3\xA9"), "Sim__Radio__1_A___");
  const struct {
    const char* what;
    const char* a;
    const char* b;
    bool match;
  } kCases[] = {
      {"parenthesis against square bracket", "Radio (2.4GHz)", "Radio [2_4GHz]", true},
      {"slash against underscore", "Radio 1/A", "Radio 1_A", true},
      {"letter case", "Radio 1/A", "radio 1/a", false},
      {"one character longer", "Radio 1", "Radio 1 ", false},
      {"digit against letter", "Radio 1", "Radio l", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(NormalizeInstanceName(c.a) == NormalizeInstanceName(c.b), c.match) << c.what;
}

}  // namespace
