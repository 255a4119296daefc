// Helpers for the simulated WLAN service's tests: a recording callback, a
// fixture on the manual clock, payload readers and a small world.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "platform/wlansim/SimControl.h"

namespace simtest {

struct Received {
  DWORD source = 0;
  DWORD code = 0;
  GUID guid{};
  std::vector<BYTE> payload;
  std::thread::id thread;
  DWORD stateDuring = 0xFFFFFFFF;  // interface state queried from inside the callback
};

// Records every notification; queries the interface state from inside the
// callback (the service must allow calls back into it there).
class Recorder {
 public:
  HANDLE handle = nullptr;

  static void Callback(WLAN_NOTIFICATION_DATA* data, PVOID context) {
    auto* self = static_cast<Recorder*>(context);
    Received r;
    r.source = data->NotificationSource;
    r.code = data->NotificationCode;
    r.guid = data->InterfaceGuid;
    if (data->dwDataSize) {
      const BYTE* p = static_cast<const BYTE*>(data->pData);
      r.payload.assign(p, p + data->dwDataSize);
    }
    r.thread = std::this_thread::get_id();
    DWORD size = 0;
    PVOID value = nullptr;
    if (self->handle && WlanQueryInterface(self->handle, &r.guid, wlan_intf_opcode_interface_state, nullptr, &size,
                                           &value, nullptr) == ERROR_SUCCESS) {
      std::memcpy(&r.stateDuring, value, 4);
      WlanFreeMemory(value);
    }
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_items.push_back(std::move(r));
  }

  std::vector<Received> Take() {
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_items, {});
  }

 private:
  std::mutex m_lock;
  std::vector<Received> m_items;
};

using Code = std::pair<DWORD, DWORD>;  // (source, code)
constexpr DWORD ACM = WLAN_NOTIFICATION_SOURCE_ACM;
constexpr DWORD MSM = WLAN_NOTIFICATION_SOURCE_MSM;

inline std::vector<Code> Codes(const std::vector<Received>& items) {
  std::vector<Code> out;
  for (const auto& r : items) out.emplace_back(r.source, r.code);
  return out;
}

// Removes signal-quality changes, which arrive on their own schedule.
inline std::vector<Received> WithoutSignal(std::vector<Received> items) {
  std::erase_if(items, [](const Received& r) { return r.source == MSM && r.code == 8; });
  return items;
}

inline DWORD DwordAt(const std::vector<BYTE>& p, std::size_t offset) {
  DWORD v = 0;
  if (p.size() >= offset + 4) std::memcpy(&v, p.data() + offset, 4);
  return v;
}
inline std::string SsidOf(const std::vector<BYTE>& p) {  // connection and MSM payloads alike
  const DWORD len = DwordAt(p, 516);
  return std::string(reinterpret_cast<const char*>(p.data() + 520), len > 32 ? 32 : len);
}
inline DWORD ModeOf(const std::vector<BYTE>& p) { return DwordAt(p, 0); }
inline DWORD BssTypeOf(const std::vector<BYTE>& p) { return DwordAt(p, 552); }
inline DWORD ConnReasonOf(const std::vector<BYTE>& p) { return DwordAt(p, 560); }
inline DWORD ConnFlagsOf(const std::vector<BYTE>& p) { return DwordAt(p, 564); }
inline DWORD MsmReasonOf(const std::vector<BYTE>& p) { return DwordAt(p, 576); }
inline wlansim::Mac MsmMacOf(const std::vector<BYTE>& p) {
  wlansim::Mac m{};
  std::memcpy(m.data(), p.data() + 556, 6);
  return m;
}
inline std::string ProfileNameOf(const std::vector<BYTE>& p) {
  return WideToUtf8(reinterpret_cast<const WCHAR*>(p.data() + 4));
}

inline DOT11_SSID Ssid(const std::string& s) {
  DOT11_SSID out{};
  out.uSSIDLength = static_cast<ULONG>(s.size());
  std::memcpy(out.ucSSID, s.data(), s.size());
  return out;
}

inline wlansim::AccessPoint Ap(wlansim::Mac bssid, const std::string& ssid, ULONG kHz = 2437000) {
  wlansim::AccessPoint ap;
  ap.bssid = bssid;
  ap.ssid = ssid;
  ap.frequencyKHz = kHz;
  return ap;
}

inline const GUID kSmallGuid{0x11112222, 0x3333, 0x4444, {0x55, 0x55, 0x66, 0x66, 0x77, 0x77, 0x88, 0x88}};
inline const wlansim::Mac kOpenBssid{0x02, 0, 0, 0, 0, 0x01};
inline const wlansim::Mac kGateBssid{0x02, 0, 0, 0, 0, 0x02};
inline const wlansim::Mac kPeerBssid{0x02, 0, 0, 0, 0, 0x03};
inline const wlansim::Mac kHiddenBssid{0x02, 0, 0, 0, 0, 0x04};

// One adapter, disconnected at start: an open network, a secured one, an
// ad hoc peer and a hidden network; profiles for the secured network with
// the right key ("Gate") and a wrong one ("Gate Wrong Key").
inline wlansim::World SmallWorld() {
  wlansim::World w;
  w.seed = 7;
  w.timing.scanMs = 1500;
  w.timing.stepMs = 100;
  w.timing.signalIntervalMs = 3000;
  wlansim::Adapter a;
  a.guid = kSmallGuid;
  a.description = "Small Test Adapter";
  wlansim::AccessPoint open = Ap(kOpenBssid, "Open Door", 2412000);
  wlansim::AccessPoint gate = Ap(kGateBssid, "Locked Gate", 5180000);
  gate.phyType = dot11_phy_type_ofdm;
  gate.securityEnabled = true;
  gate.authAlgorithm = DOT11_AUTH_ALGO_RSNA_PSK;
  gate.cipher = DOT11_CIPHER_ALGO_CCMP;
  gate.key = "right key";
  wlansim::AccessPoint peer = Ap(kPeerBssid, "Picnic", 2462000);
  peer.bssType = dot11_BSS_type_independent;
  wlansim::AccessPoint hidden = Ap(kHiddenBssid, "Back Room", 2437000);
  hidden.hidden = true;
  a.stations = {open, gate, peer, hidden};
  wlansim::ProfileFields good;
  good.name = "Gate";
  good.ssid = "Locked Gate";
  good.autoConnect = false;
  good.authentication = "WPA2PSK";
  good.encryption = "AES";
  good.key = "right key";
  wlansim::ProfileFields bad = good;
  bad.name = "Gate Wrong Key";
  bad.key = "wrong key";
  a.profiles = {wlansim::BuildProfileXml(good), wlansim::BuildProfileXml(bad)};
  w.adapters.push_back(a);
  return w;
}

// A fixture on the manual clock with one open handle registered for all
// sources, and a check that every result block was freed.
class SimFixture : public ::testing::Test {
 protected:
  virtual wlansim::World MakeWorld() { return SmallWorld(); }

  void SetUp() override {
    wlansim::UseManualClock(true);
    std::string error;
    ASSERT_TRUE(wlansim::ResetWorld(MakeWorld(), &error)) << error;
    wlansim::ClearFaults();
    m_blocksBefore = wlansim::OutstandingAllocations();
    DWORD version = 0;
    ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &m_handle), ERROR_SUCCESS);
    m_rec.handle = m_handle;
    ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &Recorder::Callback, &m_rec,
                                       nullptr, nullptr),
              ERROR_SUCCESS);
    m_guid = wlansim::AdapterGuid(0);
  }

  void TearDown() override {
    if (m_handle) {
      EXPECT_EQ(WlanCloseHandle(m_handle, nullptr), ERROR_SUCCESS);
    }
    wlansim::ClearFaults();
    EXPECT_EQ(wlansim::OutstandingAllocations(), m_blocksBefore) << "result blocks not freed";
  }

  // Lets `ms` of service time pass and waits until everything due is delivered.
  void Run(std::uint32_t ms) {
    wlansim::AdvanceClock(ms);
    ASSERT_TRUE(wlansim::WaitForIdle());
  }

  DWORD State() {
    DWORD size = 0;
    PVOID data = nullptr;
    if (WlanQueryInterface(m_handle, &m_guid, wlan_intf_opcode_interface_state, nullptr, &size, &data, nullptr) != 0)
      return 0xFFFFFFFF;
    DWORD state = 0;
    std::memcpy(&state, data, 4);
    WlanFreeMemory(data);
    return state;
  }

  DWORD ConnectProfile(const std::u16string& profile, const std::string& ssid = {},
                       const wlansim::Mac* bssid = nullptr) {
    DOT11_SSID s = Ssid(ssid);
    DOT11_BSSID_LIST list{};
    list.Header = {NDIS_OBJECT_TYPE_DEFAULT, DOT11_BSSID_LIST_REVISION_1, sizeof(DOT11_BSSID_LIST)};
    list.uNumOfEntries = list.uTotalNumOfEntries = 1;
    if (bssid) std::memcpy(list.BSSIDs[0], bssid->data(), 6);
    WLAN_CONNECTION_PARAMETERS p{};
    p.wlanConnectionMode = wlan_connection_mode_profile;
    p.strProfile = profile.c_str();
    p.pDot11Ssid = ssid.empty() ? nullptr : &s;
    p.pDesiredBssidList = bssid ? &list : nullptr;
    p.dot11BssType = dot11_BSS_type_any;
    p.dwFlags = WLAN_CONNECTION_HIDDEN_NETWORK;
    return WlanConnect(m_handle, &m_guid, &p, nullptr);
  }

  DWORD ConnectDiscovery(WLAN_CONNECTION_MODE mode, const std::string& ssid, DOT11_BSS_TYPE type) {
    DOT11_SSID s = Ssid(ssid);
    WLAN_CONNECTION_PARAMETERS p{};
    p.wlanConnectionMode = mode;
    p.pDot11Ssid = &s;
    p.dot11BssType = type;
    return WlanConnect(m_handle, &m_guid, &p, nullptr);
  }

  HANDLE m_handle = nullptr;
  GUID m_guid{};
  Recorder m_rec;
  std::size_t m_blocksBefore = 0;
};

}  // namespace simtest
