// The WLAN client: start-up lines, monitors per ready adapter, registration,
// the notification copy and its dispatch, shutdown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/workerthread.h"
#include "platform/wlanapi.h"
#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

using testing::ElementsAre;
using wlantest::LogReader;
using wlantest::RecordingObserver;
using wlantest::SeenRecord;
using wlantest::TestGuid;

namespace {

constexpr char kRegistered[] = "ACM and MSM notifications were successfully registered.\n";
constexpr char kUnregistered[] = "ACM and MSM notifications were successfully unregistered.\n";

class InterfaceTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_log.Registered()); }
  void TearDown() override {
    m_client.reset();
    wlansim::ResetToDefault();
  }

  // A client on `world` with the test's observer window as observer 0.
  CNativeWIFIInterface& Start(const wlansim::World& world) {
    wlantest::UseWorld(world);
    m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
    m_client->Initialize();
    return *m_client;
  }

  LogReader m_log;
  RecordingObserver m_observer;
  std::unique_ptr<CNativeWIFIInterface> m_client;
};

TEST_F(InterfaceTest, FoundLineCountsEveryAdapterAndMonitorsOnlyReadyOnes) {
  struct Case {
    int adapters;
    std::vector<int> notReady;
    int monitors;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {0, {}, 0, {"Found 0 wireless interface.\n", "Couldn't find any wireless interfaces!\n", kRegistered}},
      {1, {}, 1, {"Found 1 wireless interface.\n", kRegistered}},
      {2, {}, 2, {"Found 2 wireless interfaces.\n", kRegistered}},
      {3, {0}, 2, {"Found 3 wireless interfaces.\n", kRegistered}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.adapters);
    CNativeWIFIInterface& client = Start(wlantest::AdaptersWorld(c.adapters, c.notReady));
    EXPECT_EQ(m_log.Take(), c.lines);
    ASSERT_EQ(client.GetDeviceCount(), c.monitors);
    if (c.adapters == 3) {
      // The first adapter is not ready: the monitors are the second and third.
      EXPECT_EQ(client.GetDevice(0)->GetGuid(), TestGuid(2));
      EXPECT_EQ(client.GetDevice(1)->GetGuid(), TestGuid(3));
      EXPECT_EQ(client.GetDevice(0)->GetDescription(), "Test adapter 2");
      EXPECT_EQ(client.FindDevice(TestGuid(1)), nullptr);
    }
    m_client.reset();
    EXPECT_EQ(m_log.Take(), std::vector<std::string>{kUnregistered});
    EXPECT_EQ(g_pWifiInterface, nullptr);
  }
}

TEST_F(InterfaceTest, TwoAdapterWorldFileGivesOneMonitor) {
  wlansim::World world;
  std::string error;
  ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/two-adapters.json"), &world, &error))
      << error;
  CNativeWIFIInterface& client = Start(world);
  EXPECT_EQ(m_log.Take(), (std::vector<std::string>{"Found 2 wireless interfaces.\n", kRegistered}));
  EXPECT_EQ(client.GetDeviceCount(), 1);
}

TEST_F(InterfaceTest, ServiceFailuresShowOnlyInTheLog) {
  // No service: nothing logged, no monitors, and nothing at shutdown either.
  wlantest::UseWorld(wlantest::AdaptersWorld(1));
  wlansim::InjectFault(wlansim::Op::OpenHandle, ERROR_SERVICE_NOT_ACTIVE);
  m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
  EXPECT_EQ(m_client->Initialize(), 0);
  EXPECT_EQ(m_client->GetDeviceCount(), 0);
  m_client.reset();
  EXPECT_TRUE(m_log.Take().empty());
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::OpenHandle), 1);

  // Enumeration fails: the handle is open, so registration still happens.
  wlansim::ClearFaults();
  wlansim::InjectFault(wlansim::Op::EnumInterfaces, ERROR_NOT_ENOUGH_MEMORY);
  m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
  m_client->Initialize();
  EXPECT_EQ(m_log.Take(), (std::vector<std::string>{"Couldn't find any wireless interfaces!\n", kRegistered}));
  m_client.reset();
  m_log.Take();

  // Registration and unregistration fail: their error lines, odd spelling kept.
  wlansim::ClearFaults();
  wlansim::InjectFault(wlansim::Op::RegisterNotification, ERROR_ACCESS_DENIED);
  m_client = std::make_unique<CNativeWIFIInterface>(m_observer.GetSafeHwnd());
  m_client->Initialize();
  EXPECT_EQ(m_log.Take(), (std::vector<std::string>{"Found 1 wireless interface.\n",
                                                    "Error 5 occured when registering ACM and MSM notifications.\n"}));
  m_client.reset();
  EXPECT_EQ(m_log.Take(),
            std::vector<std::string>{"Error 5 occurred when unregistering ACM and MSM notifications.\n"});
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::RegisterNotification), 2);
  EXPECT_EQ(wlansim::OpenHandleCount(), 0u);
}

TEST_F(InterfaceTest, DeviceLookupsAreBoundsChecked) {
  CNativeWIFIInterface& client = Start(wlantest::AdaptersWorld(2));
  EXPECT_EQ(client.FindDevice(TestGuid(2)), client.GetDevice(1));
  EXPECT_EQ(client.FindDevice(TestGuid(9)), nullptr);
  EXPECT_THROW(client.GetDevice(-1), std::invalid_argument);
  EXPECT_THROW(client.GetDevice(2), std::invalid_argument);
  m_client.reset();

  CNativeWIFIInterface& empty = Start(wlantest::AdaptersWorld(0));
  EXPECT_EQ(empty.FindDevice(TestGuid(1)), nullptr);
  EXPECT_THROW(empty.GetDevice(0), std::invalid_argument);
}

TEST_F(InterfaceTest, RecordCopiesHeaderAndPayloadForEveryObserverInOrder) {
  CNativeWIFIInterface& client = Start(wlantest::AdaptersWorld(1));
  m_log.Take();
  RecordingObserver second;
  client.AddObserver(second.GetSafeHwnd());
  std::vector<int> order;
  m_observer.onRecord = [&](const SeenRecord&) { order.push_back(0); };
  second.onRecord = [&](const SeenRecord&) { order.push_back(1); };

  BYTE payload[7] = {1, 2, 3, 4, 5, 6, 7};
  WLAN_NOTIFICATION_DATA n{};
  n.NotificationSource = WLAN_NOTIFICATION_SOURCE_ACM;
  n.NotificationCode = wlan_notification_acm_power_setting_change;
  n.InterfaceGuid = TestGuid(1);
  n.dwDataSize = sizeof payload;
  n.pData = payload;
  // Delivered from another thread, as the service does; the join serves the sends.
  CWorkerThread thread;
  thread.Start([&] { CNativeWIFIInterface::OnWlanNotification(&n, &client); });
  thread.Join();

  ASSERT_EQ(m_observer.Count(), 1u);
  ASSERT_EQ(second.Count(), 1u);
  EXPECT_EQ(order, (std::vector<int>{0, 1}));
  const SeenRecord seen = second.Seen()[0];
  EXPECT_EQ(0, std::memcmp(seen.header.data(), &n, WLAN_NOTIFICATION_HEADER_SIZE));
  EXPECT_EQ(seen.payload, std::vector<BYTE>(payload, payload + sizeof payload));
  // The monitor acted after the observers: its line is in the log.
  EXPECT_EQ(m_log.Take(), std::vector<std::string>{"ACM: Power setting changed.\n"});

  // An empty payload still reaches the observers; a null notification reaches nobody.
  n.dwDataSize = 0;
  n.pData = nullptr;
  CNativeWIFIInterface::OnWlanNotification(&n, &client);
  CNativeWIFIInterface::OnWlanNotification(nullptr, &client);
  ASSERT_EQ(second.Count(), 2u);
  EXPECT_EQ(second.Seen()[1].size, 0u);
  EXPECT_TRUE(second.Seen()[1].payload.empty());
  EXPECT_EQ(m_log.Take(), std::vector<std::string>{"ACM: Power setting changed.\n"});

  // A size without data gives zeros, never stray bytes.
  n.dwDataSize = 4;
  CNativeWIFIInterface::OnWlanNotification(&n, &client);
  EXPECT_EQ(second.Seen()[2].payload, std::vector<BYTE>(4, 0));

  // Removed observers are not served; every occurrence goes.
  client.AddObserver(second.GetSafeHwnd());
  client.RemoveObserver(second.GetSafeHwnd());
  CNativeWIFIInterface::OnWlanNotification(&n, &client);
  EXPECT_EQ(second.Count(), 3u);
  EXPECT_EQ(m_observer.Count(), 4u);
  m_log.Take();
}

TEST_F(InterfaceTest, ObserversSeeANotificationBeforeTheMonitorActsOnIt) {
  CNativeWIFIInterface& client = Start(wlantest::AdaptersWorld(1));
  CNativeWIFIDevice* device = client.GetDevice(0);
  device->m_bScanPending = true;
  bool pendingWhenObserved = false;
  m_observer.onRecord = [&](const SeenRecord&) { pendingWhenObserved = device->m_bScanPending; };

  WLAN_NOTIFICATION_DATA n{};
  n.NotificationSource = WLAN_NOTIFICATION_SOURCE_ACM;
  n.NotificationCode = wlan_notification_acm_scan_complete;
  n.InterfaceGuid = TestGuid(1);
  CNativeWIFIInterface::OnWlanNotification(&n, &client);
  EXPECT_TRUE(pendingWhenObserved);
  EXPECT_FALSE(device->m_bScanPending);
}

TEST_F(InterfaceTest, NotificationWithoutMonitorIsBroadcastThenLoggedAtInterfaceLevel) {
  CNativeWIFIInterface& client = Start(wlantest::AdaptersWorld(1));
  m_log.Take();
  auto deliver = [&](DWORD source, DWORD code, const void* data, DWORD size) {
    WLAN_NOTIFICATION_DATA n{};
    n.NotificationSource = source;
    n.NotificationCode = code;
    n.InterfaceGuid = TestGuid(7);  // an adapter that arrived after start
    n.dwDataSize = size;
    n.pData = const_cast<void*>(data);
    CNativeWIFIInterface::OnWlanNotification(&n, &client);
  };
  const DWORD reason = 0x2800A;
  deliver(WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_fail, &reason, sizeof reason);
  deliver(WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_fail, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_complete, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_network_available, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_signalquality_change, &reason, 4);
  deliver(WLAN_NOTIFICATION_SOURCE_MSM, wlan_notification_msm_adapter_removal, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_SECURITY, 3, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_IHV, 12, nullptr, 0);
  deliver(WLAN_NOTIFICATION_SOURCE_ONEX, 1, nullptr, 0);
  EXPECT_EQ(m_observer.Count(), 9u);
  EXPECT_THAT(m_log.Take(), ElementsAre("ACM: Scan failed because: scan call fail\n", "ACM: Scan failed.\n",
                                        "ACM: Scan completed.\n", "MSM: Adapter is in a bad state.\n", "Sec: 3.\n",
                                        "IHV: 12.\n"));
}

TEST_F(InterfaceTest, ScanOnTheSimulatedServiceEndsWithScanComplete) {
  wlansim::World world = wlantest::AdaptersWorld(1);
  world.adapters[0].stations.push_back(wlansim::AccessPoint{});
  world.adapters[0].stations[0].ssid = "Anything";
  world.timing.scanMs = 500;
  CNativeWIFIInterface& client = Start(world);
  CNativeWIFIDevice* device = client.GetDevice(0);
  ASSERT_EQ(device->m_nInterfaceState.load(), static_cast<DWORD>(wlan_interface_state_disconnected));
  EXPECT_EQ(device->RequestScan(), ERROR_SUCCESS);
  EXPECT_EQ(device->RequestScan(), ERROR_SUCCESS);  // pending: neither scanned nor broadcast again
  ASSERT_EQ(m_observer.Count(), 1u);
  EXPECT_TRUE(m_observer.Seen()[0].scanRequest);
  EXPECT_TRUE(device->m_bScanPending);
  wlansim::AdvanceClock(500);
  ASSERT_TRUE(wlansim::WaitForIdle());
  ASSERT_TRUE(testsupport::SpinUntil([&] { return !device->m_bScanPending; }));
  ASSERT_EQ(m_observer.Count(), 2u);
  EXPECT_EQ(m_observer.Seen()[1].code, static_cast<DWORD>(wlan_notification_acm_scan_complete));
}

TEST_F(InterfaceTest, ShutdownWhileTheServiceIsSendingToTheUiThreadDoesNotDeadlock) {
  wlansim::World world = wlantest::AdaptersWorld(1);
  wlantest::UseWorld(world);
  // Observer 0 lives on a helper thread that serves its sends; when it has
  // seen the notification, the callback's next send is to this thread, which
  // by then is inside the destructor, unregistering.
  std::atomic<bool> firstSeen{false}, stop{false};
  std::atomic<HWND> firstHwnd{nullptr};
  std::thread helper([&] {
    RecordingObserver first;
    first.onRecord = [&](const SeenRecord&) { firstSeen = true; };
    firstHwnd = first.GetSafeHwnd();
    while (!stop) {
      PumpSentMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  while (!firstHwnd) std::this_thread::yield();
  m_client = std::make_unique<CNativeWIFIInterface>(firstHwnd.load());
  m_client->Initialize();
  m_client->AddObserver(m_observer.GetSafeHwnd());
  BOOL off = FALSE;
  WlanSetInterface(m_client->GetClientHandle(), &world.adapters[0].guid, wlan_intf_opcode_autoconf_enabled,
                   sizeof off, &off, nullptr);
  wlansim::AdvanceClock(1000);
  while (!firstSeen) std::this_thread::yield();  // no pumping here: the send to us stays pending
  m_client.reset();  // must return: its wait serves the pending send
  EXPECT_EQ(m_observer.Count(), 1u);
  stop = true;
  helper.join();
}

}  // namespace
