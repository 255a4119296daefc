// Shared pieces of the WLAN client tests: a main-log window read back as
// lines, an observer window that keeps copies of the notification records it
// is sent, and small simulated worlds.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "eventlog/Log.h"
#include "platform/wlansim/SimControl.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"
#include "tests/eventlog/LogReader.h"
#include "wlan/WlanNotificationRecord.h"

namespace wlantest {

// The main log, read back as lines without their stamps.
using LogReader = testlog::LogReader;

struct SeenRecord {
  bool scanRequest = false;  // wParam 0
  DWORD source = 0, code = 0, size = 0;
  GUID guid{};
  std::vector<BYTE> payload;
  std::vector<BYTE> header;  // the first 28 bytes as sent
};

// An observer window on the creating thread that keeps every record.
class RecordingObserver : public CMessageTarget {
 public:
  RecordingObserver() { CreateHandle(); }
  ~RecordingObserver() override { DestroyHandle(); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_WLAN_NOTIFY) return 0;
    SeenRecord seen;
    EXPECT_EQ(lParam, 0);
    if (wParam == 0) {
      seen.scanRequest = true;
    } else {
      const auto* record = reinterpret_cast<const WlanNotificationRecord*>(wParam);
      seen.source = record->NotificationSource;
      seen.code = record->NotificationCode;
      seen.guid = record->InterfaceGuid;
      seen.size = record->dwDataSize;
      const auto* bytes = reinterpret_cast<const BYTE*>(record);
      seen.header.assign(bytes, bytes + WLAN_NOTIFICATION_HEADER_SIZE);
      seen.payload.assign(record->data, record->data + record->dwDataSize);
    }
    if (onRecord) onRecord(seen);
    std::lock_guard<std::mutex> lock(m_lock);
    m_seen.push_back(std::move(seen));
    return 1;
  }

  std::vector<SeenRecord> Seen() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_seen;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_seen.size();
  }

  std::function<void(const SeenRecord&)> onRecord;

 private:
  mutable std::mutex m_lock;
  std::vector<SeenRecord> m_seen;
};

inline GUID TestGuid(BYTE n) {
  GUID guid{};
  guid.Data1 = 0x5EED0000u + n;
  guid.Data4[7] = n;
  return guid;
}

// A world of `count` adapters with no stations; those listed in
// `notReady` are not ready.
inline wlansim::World AdaptersWorld(int count, std::vector<int> notReady = {}) {
  wlansim::World world;
  for (int i = 0; i < count; ++i) {
    wlansim::Adapter adapter;
    adapter.guid = TestGuid(static_cast<BYTE>(i + 1));
    adapter.description = "Test adapter " + std::to_string(i + 1);
    for (int n : notReady)
      if (n == i) adapter.ready = false;
    world.adapters.push_back(adapter);
  }
  return world;
}

// An adapter that hears one open network, "Net <n>" (with its profile), and
// has the IPv4 settings `ip`; connected at start when `connected`.
inline wlansim::Adapter OneNetworkAdapter(const GUID& guid, const std::string& description, BYTE n, bool connected,
                                          wlansim::IpSettings ip) {
  wlansim::Adapter adapter;
  adapter.guid = guid;
  adapter.description = description;
  adapter.connectAtStart = connected;
  wlansim::AccessPoint ap;
  ap.bssid = {0x02, 0x1e, 0, 0, 0, n};
  ap.ssid = "Net " + std::to_string(n);
  adapter.stations = {ap};
  wlansim::ProfileFields open;
  open.name = open.ssid = ap.ssid;
  adapter.profiles = {wlansim::BuildProfileXml(open)};
  adapter.ip = std::move(ip);
  return adapter;
}

// Sets the service to `world` on the manual clock with no faults.
inline void UseWorld(const wlansim::World& world) {
  wlansim::UseManualClock(true);
  std::string error;
  ASSERT_TRUE(wlansim::ResetWorld(world, &error)) << error;
  wlansim::ClearFaults();
}

}  // namespace wlantest
