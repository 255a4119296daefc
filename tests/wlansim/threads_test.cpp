// Delivery and registration across threads: unregistering while a callback
// is blocked sending to the unregistering thread, from inside a callback,
// several clients, and stopping the service when the last handle closes.
#include <atomic>

#include "platform/winmsg.h"
#include "tests/common/test_support.h"
#include "tests/wlansim/sim_test_util.h"

namespace simtest {
namespace {

constexpr UINT kPing = WM_APP + 1;

class Window : public CMessageTarget {
 public:
  std::atomic<int> handled{0};
  LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
    if (message == kPing) ++handled;
    return 1;
  }
};

class ThreadsTest : public SimFixture {};

struct Blocker {
  HWND window = nullptr;
  std::atomic<bool> entered{false};
  std::atomic<bool> returned{false};
  std::atomic<int> calls{0};
  LRESULT result = 0;
};

void SendingCallback(WLAN_NOTIFICATION_DATA*, PVOID context) {
  auto* b = static_cast<Blocker*>(context);
  ++b->calls;
  b->entered = true;
  b->result = SendMessage(b->window, kPing, 0, 0);  // waits for the test thread
  b->returned = true;
}

TEST_F(ThreadsTest, UnregisteringWhileTheCallbackSendsToUsDoesNotDeadlock) {
  Window window;
  Blocker blocker;
  blocker.window = window.CreateHandle();
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ACM, FALSE, &SendingCallback, &blocker,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  const BOOL off = FALSE;
  ASSERT_EQ(WlanSetInterface(m_handle, &m_guid, wlan_intf_opcode_autoconf_enabled, 4, const_cast<BOOL*>(&off), nullptr),
            ERROR_SUCCESS);
  // Wait (without handling messages) until the callback is blocked in its send.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!blocker.entered && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(blocker.entered);
  EXPECT_FALSE(blocker.returned);

  DWORD previous = 0;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_NONE, FALSE, nullptr, nullptr, nullptr,
                                     &previous),
            ERROR_SUCCESS);
  EXPECT_EQ(previous, WLAN_NOTIFICATION_SOURCE_ACM);
  EXPECT_TRUE(blocker.returned) << "unregistration returned before its callback finished";
  EXPECT_EQ(blocker.result, 1);
  EXPECT_EQ(window.handled, 1);

  // Nothing reaches the unregistered client any more.
  const BOOL on = TRUE;
  ASSERT_EQ(WlanSetInterface(m_handle, &m_guid, wlan_intf_opcode_autoconf_enabled, 4, const_cast<BOOL*>(&on), nullptr),
            ERROR_SUCCESS);
  ASSERT_TRUE(wlansim::WaitForIdle());
  EXPECT_EQ(blocker.calls, 1);
}

TEST_F(ThreadsTest, ClosingTheHandleWaitsForItsCallbackToo) {
  Window window;
  Blocker blocker;
  blocker.window = window.CreateHandle();
  HANDLE second = nullptr;
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &second), ERROR_SUCCESS);
  ASSERT_EQ(WlanRegisterNotification(second, WLAN_NOTIFICATION_SOURCE_ACM, FALSE, &SendingCallback, &blocker, nullptr,
                                     nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(WlanScan(m_handle, &m_guid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  wlansim::AdvanceClock(2000);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!blocker.entered && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(blocker.entered);
  ASSERT_EQ(WlanCloseHandle(second, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(blocker.returned);
  ASSERT_TRUE(wlansim::WaitForIdle());
  // The first client, earlier in delivery order, got the completion too.
  EXPECT_EQ(Codes(m_rec.Take()), (std::vector<Code>{{ACM, 7}}));
}

struct SelfRemover {
  HANDLE handle = nullptr;
  std::atomic<int> calls{0};
  std::atomic<DWORD> result{0xFFFFFFFF};
  std::atomic<bool> idleRefused{false};
};

void RemovingCallback(WLAN_NOTIFICATION_DATA*, PVOID context) {
  auto* s = static_cast<SelfRemover*>(context);
  ++s->calls;
  s->idleRefused = !wlansim::WaitForIdle(std::chrono::milliseconds(50));
  s->result = WlanRegisterNotification(s->handle, 0, FALSE, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(ThreadsTest, UnregisteringFromInsideTheCallbackReturnsAtOnce) {
  SelfRemover remover;
  remover.handle = m_handle;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &RemovingCallback, &remover,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);  // six notifications
  Run(3000);
  EXPECT_EQ(remover.calls, 1);
  EXPECT_EQ(remover.result, ERROR_SUCCESS);
  EXPECT_TRUE(remover.idleRefused);
}

TEST_F(ThreadsTest, EachClientGetsItsSourcesWithItsOwnContextInOrder) {
  Recorder msmOnly;
  HANDLE second = nullptr;
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &second), ERROR_SUCCESS);
  ASSERT_EQ(WlanRegisterNotification(second, WLAN_NOTIFICATION_SOURCE_MSM, FALSE, &Recorder::Callback, &msmOnly,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  EXPECT_EQ(Codes(WithoutSignal(msmOnly.Take())), (std::vector<Code>{{MSM, 1}, {MSM, 2}, {MSM, 3}, {MSM, 4}}));
  EXPECT_EQ(WithoutSignal(m_rec.Take()).size(), 6u);
  EXPECT_EQ(WlanCloseHandle(second, nullptr), ERROR_SUCCESS);
}

TEST_F(ThreadsTest, ClosingTheLastHandleStopsTheServiceAndSettlesAnAttempt) {
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(150);  // ACM 9 and MSM 1 are out: associating
  EXPECT_EQ(State(), DWORD(wlan_interface_state_associating));
  ASSERT_EQ(WlanCloseHandle(m_handle, nullptr), ERROR_SUCCESS);
  m_handle = nullptr;
  EXPECT_EQ(wlansim::OpenHandleCount(), 0u);
  EXPECT_EQ(wlansim::InterfaceState(m_guid), wlan_interface_state_disconnected);
  m_rec.Take();

  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &m_handle), ERROR_SUCCESS);
  m_rec.handle = m_handle;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &Recorder::Callback, &m_rec,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  Run(5000);
  EXPECT_TRUE(m_rec.Take().empty()) << "nothing of the abandoned attempt arrives later";
  // The world persisted: the profile saved before is still there, the service works.
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  EXPECT_EQ(wlansim::CurrentBssid(m_guid), kGateBssid);
}

struct SelfCloser {
  HANDLE handle = nullptr;
  std::atomic<int> calls{0};
  std::atomic<DWORD> result{0xFFFFFFFF};
};

void ClosingCallback(WLAN_NOTIFICATION_DATA*, PVOID context) {
  auto* s = static_cast<SelfCloser*>(context);
  if (++s->calls == 1) s->result = WlanCloseHandle(s->handle, nullptr);
}

TEST_F(ThreadsTest, TheLastHandleMayBeClosedFromItsOwnCallback) {
  SelfCloser closer;
  closer.handle = m_handle;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &ClosingCallback, &closer,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return closer.result != 0xFFFFFFFF; }));
  m_handle = nullptr;
  EXPECT_EQ(closer.result, ERROR_SUCCESS);
  EXPECT_EQ(wlansim::OpenHandleCount(), 0u);

  // A new handle gets a fresh thread (the old one is joined on the way).
  DWORD version = 0;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &m_handle), ERROR_SUCCESS);
  m_rec.handle = m_handle;
  ASSERT_EQ(WlanRegisterNotification(m_handle, WLAN_NOTIFICATION_SOURCE_ALL, FALSE, &Recorder::Callback, &m_rec,
                                     nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(ConnectProfile(u"Gate"), ERROR_SUCCESS);
  Run(2000);
  EXPECT_EQ(Codes(WithoutSignal(m_rec.Take())).size(), 6u);
  EXPECT_EQ(closer.calls, 1);
}

TEST(RealClock, ScanCompletesInRealTime) {
  wlansim::World w = SmallWorld();
  w.timing.scanMs = 30;
  wlansim::UseManualClock(false);
  ASSERT_TRUE(wlansim::ResetWorld(w));
  DWORD version = 0;
  HANDLE h = nullptr;
  ASSERT_EQ(WlanOpenHandle(2, nullptr, &version, &h), ERROR_SUCCESS);
  Recorder rec;
  ASSERT_EQ(WlanRegisterNotification(h, WLAN_NOTIFICATION_SOURCE_ACM, FALSE, &Recorder::Callback, &rec, nullptr,
                                     nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(WlanScan(h, &kSmallGuid, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  std::vector<Received> got;
  EXPECT_TRUE(testsupport::SpinUntil([&] {
    auto more = rec.Take();
    got.insert(got.end(), more.begin(), more.end());
    return !got.empty();
  }));
  EXPECT_EQ(Codes(got), (std::vector<Code>{{ACM, 7}}));
  EXPECT_EQ(WlanCloseHandle(h, nullptr), ERROR_SUCCESS);
  wlansim::ResetToDefault();
}

}  // namespace
}  // namespace simtest
