// Argument checks, back-end selection, fault injection, reason texts and the
// accounting of result blocks.
#include <cstdlib>

#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

class ApiTest : public SimFixture {};

TEST_F(ApiTest, ArgumentsAreCheckedBeforeTheHandleAndTheHandleBeforeTheAdapter) {
  WLAN_INTERFACE_INFO_LIST* ifs = nullptr;
  int dummy = 0;
  EXPECT_EQ(WlanEnumInterfaces(m_handle, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanEnumInterfaces(m_handle, &dummy, &ifs), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanEnumInterfaces(nullptr, nullptr, &ifs), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanEnumInterfaces(reinterpret_cast<HANDLE>(0x1234), nullptr, &ifs), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ifs, nullptr);

  const GUID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  WLAN_BSS_LIST* bss = nullptr;
  EXPECT_EQ(WlanGetNetworkBssList(m_handle, &unknown, nullptr, dot11_BSS_type_any, FALSE, nullptr, &bss),
            ERROR_NOT_FOUND);
  EXPECT_EQ(WlanGetNetworkBssList(m_handle, nullptr, nullptr, dot11_BSS_type_any, FALSE, nullptr, &bss),
            ERROR_INVALID_PARAMETER);
  DOT11_SSID tooLong{};
  tooLong.uSSIDLength = 33;
  EXPECT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, &tooLong, dot11_BSS_type_any, FALSE, nullptr, &bss),
            ERROR_INVALID_PARAMETER);
  const DOT11_SSID ok = Ssid("Open Door");
  EXPECT_EQ(WlanGetNetworkBssList(m_handle, &m_guid, &ok, static_cast<DOT11_BSS_TYPE>(9), FALSE, nullptr, &bss),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanScan(m_handle, &unknown, nullptr, nullptr, nullptr), ERROR_NOT_FOUND);
  EXPECT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ACM, FALSE, nullptr, nullptr, nullptr,
                                     nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reason = 0;
  EXPECT_EQ(WlanSetProfile(m_handle, &m_guid, 0, u"<x/>", nullptr, TRUE, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanSetProfile(m_handle, &m_guid, WLAN_PROFILE_GROUP_POLICY, u"<x/>", nullptr, TRUE, nullptr, &reason),
            ERROR_ACCESS_DENIED);

  // Connection parameters.
  WLAN_CONNECTION_PARAMETERS p{};
  p.wlanConnectionMode = wlan_connection_mode_profile;
  p.dot11BssType = dot11_BSS_type_infrastructure;
  EXPECT_EQ(WlanConnect(m_handle, &m_guid, &p, nullptr), ERROR_INVALID_PARAMETER) << "profile mode needs a name";
  p.wlanConnectionMode = wlan_connection_mode_discovery_unsecure;
  EXPECT_EQ(WlanConnect(m_handle, &m_guid, &p, nullptr), ERROR_INVALID_PARAMETER) << "discovery needs an SSID";
  p.wlanConnectionMode = wlan_connection_mode_auto;
  p.strProfile = u"Gate";
  EXPECT_EQ(WlanConnect(m_handle, &m_guid, &p, nullptr), ERROR_INVALID_PARAMETER) << "auto is the service's own";
  p.wlanConnectionMode = wlan_connection_mode_temporary_profile;
  p.strProfile = u"<not a profile";
  EXPECT_EQ(WlanConnect(m_handle, &m_guid, &p, nullptr), ERROR_BAD_PROFILE);
  p.wlanConnectionMode = wlan_connection_mode_profile;
  p.strProfile = u"Gate";
  DOT11_BSSID_LIST list{};
  list.Header.Type = 0;  // not a valid object header
  list.uNumOfEntries = list.uTotalNumOfEntries = 1;
  p.pDesiredBssidList = &list;
  EXPECT_EQ(WlanConnect(m_handle, &m_guid, &p, nullptr), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(wlansim::WaitForIdle());
  EXPECT_TRUE(m_rec.Take().empty()) << "refused calls change nothing";
}

TEST_F(ApiTest, OpenChecksVersionAndBackEndAndClosedHandlesAreInvalid) {
  DWORD version = 0;
  HANDLE h = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(WlanOpenHandle(3, nullptr, &version, &h), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(WlanOpenHandle(2, nullptr, nullptr, &h), ERROR_INVALID_PARAMETER);

  ::setenv("AERLUME_WLAN_BACKEND", "no-such-backend", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_SERVICE_NOT_ACTIVE);
  const std::string err = testing::internal::GetCapturedStderr();
  ::unsetenv("AERLUME_WLAN_BACKEND");
  EXPECT_NE(err.find("no-such-backend"), std::string::npos);
  EXPECT_EQ(h, nullptr);

  ::setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
  ASSERT_EQ(WlanOpenHandle(1, nullptr, &version, &h), ERROR_SUCCESS);
  ::unsetenv("AERLUME_WLAN_BACKEND");
  EXPECT_EQ(version, 2u);
  EXPECT_NE(h, m_handle);
  EXPECT_EQ(wlansim::OpenHandleCount(), 2u);
  ASSERT_EQ(WlanCloseHandle(h, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WlanCloseHandle(h, nullptr), ERROR_INVALID_HANDLE);
  WLAN_PROFILE_INFO_LIST* profiles = nullptr;
  EXPECT_EQ(WlanGetProfileList(h, &m_guid, nullptr, &profiles), ERROR_INVALID_HANDLE);
}

TEST_F(ApiTest, InjectedFaultsFireForTheirCountAndAreCounted) {
  wlansim::InjectFault(wlansim::Op::EnumInterfaces, ERROR_GEN_FAILURE, 2);
  WLAN_INTERFACE_INFO_LIST* ifs = nullptr;
  EXPECT_EQ(WlanEnumInterfaces(m_handle, nullptr, &ifs), ERROR_GEN_FAILURE);
  EXPECT_EQ(WlanEnumInterfaces(m_handle, nullptr, &ifs), ERROR_GEN_FAILURE);
  EXPECT_EQ(ifs, nullptr);
  ASSERT_EQ(WlanEnumInterfaces(m_handle, nullptr, &ifs), ERROR_SUCCESS);
  WlanFreeMemory(ifs);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::EnumInterfaces), 2);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::Scan), 0);

  // Always failing: a refused connection sends nothing.
  wlansim::InjectFault(wlansim::Op::Connect, ERROR_NOT_READY);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ConnectProfile(u"Gate"), ERROR_NOT_READY);
  Run(3000);
  EXPECT_TRUE(m_rec.Take().empty());
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::Connect), 3);

  // The fault fires after argument checks: a bad call does not use it up.
  wlansim::InjectFault(wlansim::Op::Disconnect, ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(WlanDisconnect(m_handle, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WlanDisconnect(m_handle, &m_guid, nullptr), ERROR_SUCCESS);

  wlansim::InjectFault(wlansim::Op::RegisterNotification, ERROR_GEN_FAILURE, 1);
  EXPECT_EQ(WlanRegisterNotification(m_handle, 0, FALSE, nullptr, nullptr, nullptr, nullptr), ERROR_GEN_FAILURE);
  wlansim::InjectFault(wlansim::Op::AllocateMemory, 0, 1);
  EXPECT_EQ(WlanAllocateMemory(16), nullptr);
  void* block = WlanAllocateMemory(16);
  ASSERT_NE(block, nullptr);
  WlanFreeMemory(block);

  wlansim::InjectFault(wlansim::Op::OpenHandle, ERROR_REMOTE_SESSION_LIMIT_EXCEEDED, 1);
  DWORD version = 0;
  HANDLE h = nullptr;
  EXPECT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_REMOTE_SESSION_LIMIT_EXCEEDED);
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::OpenHandle), 1);

  wlansim::ClearFaults();
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::Connect), 0);
  EXPECT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
}

TEST_F(ApiTest, ReasonCodeTextsAndBufferSize) {
  WCHAR buffer[256];
  ASSERT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_SUCCESS, 256, buffer, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WideToUtf8(buffer), "The operation was successful");
  ASSERT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED, 256, buffer, nullptr), 0u);
  EXPECT_FALSE(WideToUtf8(buffer).empty());
  EXPECT_EQ(WlanReasonCodeToString(0x7777777, 256, buffer, nullptr), ERROR_NOT_FOUND);
  EXPECT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_SUCCESS, 5, buffer, nullptr), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_SUCCESS, 0, buffer, nullptr), ERROR_INVALID_PARAMETER);
  // Exactly fits: the text and its terminator.
  const DWORD needed = static_cast<DWORD>(std::char_traits<char16_t>::length(u"The operation was successful") + 1);
  EXPECT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_SUCCESS, needed, buffer, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WlanReasonCodeToString(WLAN_REASON_CODE_SUCCESS, needed - 1, buffer, nullptr), ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(ApiTest, OutstandingBlocksAreCountedAndForeignPointersRefused) {
  const std::size_t before = wlansim::OutstandingAllocations();
  WLAN_AVAILABLE_NETWORK_LIST* nets = nullptr;
  ASSERT_EQ(WlanGetAvailableNetworkList(m_handle, &m_guid, 0, nullptr, &nets), ERROR_SUCCESS);
  void* mine = WlanAllocateMemory(100);
  EXPECT_EQ(wlansim::OutstandingAllocations(), before + 2);
  WlanFreeMemory(nets);
  WlanFreeMemory(mine);
  WlanFreeMemory(nullptr);
  int local = 0;
  testing::internal::CaptureStderr();
  WlanFreeMemory(&local);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("did not allocate"), std::string::npos);
  EXPECT_EQ(wlansim::OutstandingAllocations(), before);
}

}  // namespace
}  // namespace simtest
