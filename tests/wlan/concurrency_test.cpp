// Refresh workers against the simulated service while other threads read the
// tables and the UI thread samples histories; the client is destroyed with a
// worker still running. Meant for the ThreadSanitizer run as much as for the
// assertions.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "tests/wlan/WlanTestSupport.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"

namespace {

wlansim::World BusyWorld(int stations) {
  wlansim::World world = wlantest::AdaptersWorld(2);
  for (auto& adapter : world.adapters) {
    for (int i = 0; i < stations; ++i) {
      wlansim::AccessPoint ap;
      ap.bssid = {0x02, 0x10, adapter.guid.Data4[7], 0x00, static_cast<UCHAR>(i >> 8), static_cast<UCHAR>(i)};
      ap.ssid = "Net" + std::to_string(i % 17);
      ap.frequencyKHz = i % 2 ? 2412000 + 5000 * static_cast<ULONG>(i % 11) : 5180000;
      ap.phyType = i % 2 ? dot11_phy_type_erp : dot11_phy_type_ofdm;
      if (i % 3 == 0) {  // comes and goes
        ap.presentMs = 300;
        ap.absentMs = 200;
        ap.presenceOffsetMs = static_cast<ULONG>(i * 37);
      }
      adapter.stations.push_back(ap);
    }
  }
  world.timing.signalIntervalMs = 100;
  return world;
}

TEST(MonitorConcurrency, WorkersReadersAndSamplerRunTogetherAndShutdownWaitsForWorkers) {
  wlantest::LogReader log;
  wlantest::RecordingObserver observer;
  wlantest::UseWorld(BusyWorld(120));
  auto client = std::make_unique<CNativeWIFIInterface>(observer.GetSafeHwnd());
  client->Initialize();
  ASSERT_EQ(client->GetDeviceCount(), 2);

  std::atomic<bool> stop{false};
  std::atomic<long> reads{0};
  // Moves the service's time so that stations come and go under the workers.
  std::thread clock([&] {
    while (!stop) {
      wlansim::AdvanceClock(50);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  // Another reader of the tables, as a property page or the status panel would be.
  std::thread reader([&] {
    while (!stop) {
      for (int d = 0; d < client->GetDeviceCount(); ++d) {
        CNativeWIFIDevice* device = client->GetDevice(d);
        const int count = device->GetStationCount();
        for (int i = 0; i < count; ++i) {
          CStation* station = device->GetStation(i);
          EXPECT_EQ(device->FindStation(station->m_bssid), station);
          reads += static_cast<long>(station->GetRssiText().size() + station->GetMacText().size());
        }
        for (int n = 0; n < device->GetNetworkCount(); ++n) reads += static_cast<long>(device->GetNetwork(n)->GetSSID().size());
      }
    }
  });

  // The UI thread: start refreshes, rewrite changed rows, sample histories.
  std::size_t samples = 0;
  int seenStations = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline && (samples < 20000 || seenStations < 200)) {
    seenStations = 0;
    for (int d = 0; d < client->GetDeviceCount(); ++d) {
      CNativeWIFIDevice* device = client->GetDevice(d);
      device->StartRefresh();
      device->ForEachStation([&](CStation* station) {
        if (station->TakeChanged()) (void)station->GetLinkQualityText();
        station->AddLinkQualitySample(static_cast<int>(station->m_uLinkQuality.load()));
        ++samples;
        ++seenStations;
        EXPECT_LE(station->m_lstLinkQuality.size(), 5000u);
      });
    }
    testsupport::SpinUntil([] { return false; }, std::chrono::milliseconds(1));
  }
  stop = true;
  reader.join();
  clock.join();
  EXPECT_GE(seenStations, 200);
  EXPECT_GT(reads.load(), 0);

  // Destroyed while workers run: the destructor waits for them.
  for (int d = 0; d < client->GetDeviceCount(); ++d) client->GetDevice(d)->StartRefresh();
  client.reset();
  EXPECT_EQ(wlansim::OpenHandleCount(), 0u);
  wlansim::ResetToDefault();
}

}  // namespace
