// The adapter monitor's IP configuration on the simulated IP helper: what a
// monitor reads at construction, the getters' once-a-second refresh, the
// lease operations' log lines and the lease-renewal worker.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "eventlog/Log.h"
#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

using wlantest::LogReader;
using wlantest::RecordingObserver;

namespace {

DWORD g_tick = 0;
DWORD TestTick() { return g_tick; }

// Lower-case hexadecimal letters in the standard text form of each GUID.
const GUID kLeasedGuid{0x0a1b2c3d, 0x4e5f, 0x4a6b, {0x8c, 0x7d, 0x9e, 0x0f, 0xa1, 0xb2, 0xc3, 0xd4}};
const GUID kStaticGuid{0xbeef0001, 0xcafe, 0x4001, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
const GUID kIdleGuid{0xbeef0002, 0xcafe, 0x4002, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};
const GUID kStrayGuid{0xbeef0003, 0xcafe, 0x4003, {0x80, 0, 0, 0, 0, 0, 0, 0x03}};  // in no world

wlansim::Adapter MakeAdapter(const GUID& guid, const std::string& description, BYTE n, bool connected,
                             wlansim::IpSettings ip) {
  return wlantest::OneNetworkAdapter(guid, description, n, connected, std::move(ip));
}

// A connected adapter with a leased address, a connected one with a static
// address (no DHCP server), and a disconnected one.
wlansim::World IpWorld() {
  wlansim::World world;
  world.adapters = {MakeAdapter(kLeasedGuid, "Leased Adapter", 1, true, {"127.0.10.2", "127.0.10.1", "127.0.10.53"}),
                    MakeAdapter(kStaticGuid, "Static Adapter", 2, true, {"127.0.11.2", "", "127.0.11.53"}),
                    MakeAdapter(kIdleGuid, "Idle Adapter", 3, false, {"127.0.12.2", "127.0.12.1", "127.0.12.53"})};
  return world;
}

const std::vector<std::string> kRenewed{"Performing DHCP lease renewal...\n", "DHCP lease renewal suceeeded.\n"};

class IpConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_log.Registered());
    SetDeviceTickSource(&TestTick);
    g_tick = 5000;
  }
  void TearDown() override {
    m_client.reset();
    SetDeviceTickSource(nullptr);
    wlansim::ResetToDefault();
  }
  // A fresh world and client; the monitors read their configuration at g_tick.
  void Start() {
    m_client.reset();
    wlantest::UseWorld(IpWorld());
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    ASSERT_EQ(m_client->GetDeviceCount(), 3);
    m_log.Take();
  }
  CNativeWIFIDevice& Device(const GUID& guid) { return *m_client->FindDevice(guid); }

  LogReader m_log;
  RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

TEST_F(IpConfigTest, ConstructionReadsEachAdaptersConfiguration) {
  struct Case {
    const char* name;
    GUID guid;
    const char *address, *gateway, *dns, *description;
  };
  const Case cases[] = {
      {"leased address", kLeasedGuid, "127.0.10.2", "127.0.10.1", "127.0.10.53", "Leased Adapter"},
      {"static address: no DHCP server, no gateway", kStaticGuid, "127.0.11.2", "", "127.0.11.53", "Static Adapter"},
      {"disconnected: nothing but the description", kIdleGuid, "", "", "", "Idle Adapter"},
  };
  Start();
  // The IP helper is not asked again within the second: these are the values read at construction.
  wlansim::InjectFault(wlansim::Op::GetAdaptersAddresses, ERROR_GEN_FAILURE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CNativeWIFIDevice& device = Device(c.guid);
    EXPECT_EQ(device.GetIPAddress(), c.address);
    EXPECT_EQ(device.GetGatewayAddress(), c.gateway);
    EXPECT_EQ(device.GetDnsServerAddress(), c.dns);
    EXPECT_EQ(device.GetAdapterDescription(), c.description);
  }
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::GetAdaptersAddresses), 0);

  // The IP helper names adapters by the upper-case text only.
  CNativeWIFIDevice& leased = Device(kLeasedGuid);
  EXPECT_EQ(leased.GetGuidText(), "{0A1B2C3D-4E5F-4A6B-8C7D-9E0FA1B2C3D4}");
  EXPECT_EQ(leased.GetTcpipDeviceName(), "\\DEVICE\\TCPIP_{0A1B2C3D-4E5F-4A6B-8C7D-9E0FA1B2C3D4}");
}

// Whether the getters read the IP helper again, `later` ms after construction.
// Every read fails (and is counted), which empties the address and keeps the
// gateway and DNS texts.
TEST_F(IpConfigTest, GettersRefreshAtMostOnceASecond) {
  struct Case {
    const char* name;
    DWORD start, later;
    bool refreshes;
  };
  const Case cases[] = {
      {"same tick", 1000000, 0, false},
      {"999 ms later", 1000000, 999, false},
      {"exactly 1000 ms later", 1000000, 1000, false},
      {"1001 ms later", 1000000, 1001, true},
      {"near the tick counter's start, same tick", 100, 0, false},
      {"across the tick counter's wrap, 500 ms later", 0xFFFFFF00u, 500, false},
      {"across the tick counter's wrap, 2256 ms later", 0xFFFFFF00u, 2256, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_tick = c.start;
    Start();
    CNativeWIFIDevice& device = Device(kLeasedGuid);
    wlansim::InjectFault(wlansim::Op::GetAdaptersAddresses, ERROR_GEN_FAILURE);
    g_tick = c.start + c.later;
    const std::string address = device.GetIPAddress();
    EXPECT_EQ(device.GetGatewayAddress(), "127.0.10.1");
    EXPECT_EQ(device.GetDnsServerAddress(), "127.0.10.53");
    EXPECT_EQ(device.GetIPAddress(), address);
    EXPECT_EQ(address, c.refreshes ? "" : "127.0.10.2");
    EXPECT_EQ(wlansim::FaultHits(wlansim::Op::GetAdaptersAddresses), c.refreshes ? 1 : 0);
  }
}

// What one renewal or release logs and returns, and what it leaves of the
// adapter's address.
TEST_F(IpConfigTest, LeaseOperationsLogTheirOutcome) {
  const std::string renewing = "Performing DHCP lease renewal...\n";
  const std::string releasing = "Releasing DHCP lease...\n";
  const wlansim::Op none = wlansim::Op::OpenHandle;
  struct Case {
    const char* name;
    GUID guid;
    bool renew;
    wlansim::Op fault;  // `none`: no fault
    DWORD result;
    std::vector<std::string> lines;
    const char* addressAfter;
  };
  const Case cases[] = {
      {"renewal", kLeasedGuid, true, none, 0, kRenewed, "127.0.10.2"},
      {"renewal refused", kLeasedGuid, true, wlansim::Op::IpRenewAddress, 0,
       {renewing, "DHCP lease renewal failed.\n"}, "127.0.10.2"},
      {"renewal of a static address", kStaticGuid, true, none, 0, {renewing, "DHCP lease renewal failed.\n"},
       "127.0.11.2"},
      {"renewal, interface table unreadable", kLeasedGuid, true, wlansim::Op::GetInterfaceInfo, ERROR_GEN_FAILURE,
       {renewing}, "127.0.10.2"},
      {"renewal, adapter not in the interface table", kStrayGuid, true, none, 0, {renewing}, ""},
      {"release", kLeasedGuid, false, none, 0, {releasing, "DHCP lease successfully released.\n"}, ""},
      {"release refused", kLeasedGuid, false, wlansim::Op::IpReleaseAddress, 0,
       {releasing, "DHCP lease could not be released.\n"}, "127.0.10.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    std::unique_ptr<CNativeWIFIDevice> stray;
    CNativeWIFIDevice* device = m_client->FindDevice(c.guid);
    if (!device) device = (stray = std::make_unique<CNativeWIFIDevice>("Stray", c.guid, m_client.get())).get();
    if (c.fault != none) wlansim::InjectFault(c.fault, ERROR_GEN_FAILURE);
    EXPECT_EQ(c.renew ? device->RenewLease() : device->ReleaseLease(), c.result);
    EXPECT_EQ(m_log.Take(), c.lines);
    if (c.fault != none) {
      EXPECT_GE(wlansim::FaultHits(c.fault), 1);
    }
    wlansim::ClearFaults();
    g_tick += 1001;
    EXPECT_EQ(device->GetIPAddress(), c.addressAfter);
  }
}

TEST_F(IpConfigTest, RenewalWorkerRunsOneAtATimeAndIsJoinedOnDestruction) {
  Start();
  CNativeWIFIDevice& device = Device(kLeasedGuid);
  ASSERT_FALSE(device.IsLeaseWorkerRunning());
  {
    // While the log lock is held the worker waits at its first log line.
    std::lock_guard<std::mutex> hold(g_csLog);
    ASSERT_TRUE(device.StartLeaseRenewal());
    EXPECT_TRUE(device.IsLeaseWorkerRunning());
    EXPECT_FALSE(device.StartLeaseRenewal()) << "a second worker while one runs";
  }
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !device.IsLeaseWorkerRunning(); }));
  EXPECT_EQ(m_log.Take(), kRenewed) << "one renewal";

  // A new worker once that one ended; deleting the monitors waits for it.
  {
    std::lock_guard<std::mutex> hold(g_csLog);
    ASSERT_TRUE(device.StartLeaseRenewal());
  }
  m_client.reset();
  std::vector<std::string> lines = m_log.Take();
  std::erase(lines, "ACM and MSM notifications were successfully unregistered.\n");
  EXPECT_EQ(lines, kRenewed);
}

}  // namespace
