// Pinger: real echoes to 127.0.0.1 where this machine allows an ICMP socket,
// and, through replaced echo calls, each kind of reply, the request, library
// look-up, names, SetHost and Stop while an echo is held. Nothing here sends
// a packet beyond loopback; names go to a replaced resolver.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "connectivity/HostPinger.h"
#include "connectivity/IcmpLibrary.h"
#include "tests/eventlog/LogReader.h"

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!pred() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  return pred();
}

// Replaced echo calls: the reply is chosen per destination, each request is
// recorded, and echoes wait at a gate while the test keeps it closed.
struct Behaviour {
  DWORD replies = 1;
  DWORD roundTrip = 5;
  bool alterData = false;
  bool noData = false;
};
struct Request {
  IPAddr to;
  std::string data;
  IP_OPTION_INFORMATION options;
  DWORD replySize, timeout;
};
struct Fake {
  std::mutex lock;
  std::condition_variable gateChanged;
  std::map<IPAddr, Behaviour> behaviours;
  std::vector<Request> requests;
  std::map<std::string, int> lookups;
  int opened = 0, refused = 0, closed = 0, held = 0;
  bool gateClosed = false;
} g_fake;

int Count(const std::function<int()>& read) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  return read();
}
int RequestsTo(const char* to) {
  return Count([&] {
    int n = 0;
    for (const Request& r : g_fake.requests) n += r.to == inet_addr(to);
    return n;
  });
}
int Held() { return Count([] { return g_fake.held; }); }

HANDLE FakeCreate() {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1000 + ++g_fake.opened));
}
HANDLE FakeCreateRefused() {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.refused;
  return INVALID_HANDLE_VALUE;
}
BOOL FakeClose(HANDLE) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.closed;
  return TRUE;
}
DWORD FakeSend(HANDLE, IPAddr to, PVOID data, WORD size, IP_OPTION_INFORMATION* options, PVOID replyBuffer,
               DWORD replySize, DWORD timeout) {
  std::unique_lock<std::mutex> guard(g_fake.lock);
  const std::string sent = data != nullptr ? std::string(static_cast<const char*>(data), size) : std::string();
  g_fake.requests.push_back({to, sent, *options, replySize, timeout});
  ++g_fake.held;
  g_fake.gateChanged.wait(guard, [] { return !g_fake.gateClosed; });
  --g_fake.held;
  const Behaviour b = g_fake.behaviours[to];
  auto* reply = static_cast<ICMP_ECHO_REPLY*>(replyBuffer);
  auto* echoed = reinterpret_cast<char*>(reply + 1);
  std::memcpy(echoed, sent.data(), sent.size());
  if (b.alterData && size > 0) echoed[size - 1] = 'F';
  *reply = ICMP_ECHO_REPLY{};
  reply->Address = to;
  reply->RoundTripTime = b.roundTrip;
  reply->DataSize = b.noData ? 0 : size;
  reply->Data = b.noData ? nullptr : echoed;
  return b.replies;
}
bool FakeResolver(const char* name, IPAddr* address) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.lookups[name];
  *address = inet_addr("127.0.0.20");
  return std::string(name) == "known.test";
}
void SetGate(bool closed) {
  {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.gateClosed = closed;
  }
  g_fake.gateChanged.notify_all();
}
// Declared after a pinger: opens the gate before the pinger stops, even when
// an assertion ends the test early.
struct GateOpener {
  ~GateOpener() { SetGate(false); }
};

const CIcmpEntryPoints kFake{&FakeCreate, &FakeSend, &FakeClose};

class Pinger : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    IcmpTestSetLibrary("Iphlpapi.dll", &kFake);
    IcmpTestSetNameResolver(&FakeResolver);
  }
  void TearDown() override {
    EXPECT_EQ(Count([] { return g_fake.opened - g_fake.closed; }), 0) << "every opened handle is closed";
    Reset();
  }
  static void Reset() {
    IcmpTestReset();
    IcmpTestResetLibraries();
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.behaviours.clear();
    g_fake.requests.clear();
    g_fake.lookups.clear();
    g_fake.opened = g_fake.refused = g_fake.closed = 0;
    g_fake.gateClosed = false;
  }
  static void Behave(const char* to, Behaviour b) {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.behaviours[inet_addr(to)] = b;
  }
  static bool InFlight(CHostPinger& pinger) {
    std::lock_guard<std::mutex> guard(pinger.m_lock);
    return pinger.m_dwPingStart != 0;
  }
};

TEST_F(Pinger, LoopbackRepliesAreStoredAndDroppedOrAlteredRepliesClearThem) {
  IcmpTestResetLibraries();  // the platform's echo calls, real sockets
  const HANDLE probe = IcmpCreateFile();
  if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no ICMP socket kind allowed here";
  IcmpCloseHandle(probe);

  CHostPinger pinger;
  pinger.m_dwTimeout = 300;
  pinger.StartPinging("127.0.0.1");
  bool lookupFailed = true;
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) > 0; }));
  EXPECT_LE(pinger.GetLastReply(), 300) << "a real round trip, within the time-out";
  EXPECT_FALSE(lookupFailed);
  for (const IcmpTestFaults faults : {IcmpTestFaults{.dropReplies = true}, IcmpTestFaults{.alterReplyData = true}}) {
    SCOPED_TRACE(faults.dropReplies ? "time-out" : "altered data");
    const int firedBefore = IcmpTestFaultsFired();
    IcmpTestSetFaults(faults);
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) == 0; }));
    EXPECT_FALSE(lookupFailed);
    EXPECT_GT(IcmpTestFaultsFired(), firedBefore) << "the fault met a real reply";
    IcmpTestSetFaults({});
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply() > 0; })) << "replies are stored again";
  }
}

TEST_F(Pinger, EachKindOfReplyGivesItsResultAndTheRequestIsAsConfigured) {
  const struct {
    const char* name;
    const char* to;
    Behaviour behaviour;
    int expected;
  } cases[] = {
      {"0 ms is stored as 1", "127.0.0.10", {.roundTrip = 0}, 1},
      {"round trip kept", "127.0.0.11", {.roundTrip = 7}, 7},
      {"altered echoed data", "127.0.0.12", {.alterData = true}, 0},
      {"no echoed data passes", "127.0.0.13", {.roundTrip = 4, .noData = true}, 4},
      {"two replies", "127.0.0.14", {.replies = 2}, 0},
      {"no reply", "127.0.0.15", {.replies = 0}, 0},
  };
  std::vector<std::unique_ptr<CHostPinger>> pingers;
  for (const auto& c : cases) {
    Behave(c.to, c.behaviour);
    pingers.push_back(std::make_unique<CHostPinger>());
    pingers.back()->StartPinging(c.to);
  }
  for (std::size_t i = 0; i < pingers.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    // A second request means that the first cycle's result is stored.
    ASSERT_TRUE(WaitUntil([&] { return RequestsTo(cases[i].to) >= 2; }));
    bool lookupFailed = true;
    EXPECT_EQ(pingers[i]->GetLastReply(&lookupFailed), cases[i].expected);
    EXPECT_FALSE(lookupFailed);
  }
  for (auto& p : pingers) p->m_bStop = true;  // let the pauses run out together
  pingers.clear();

  std::lock_guard<std::mutex> guard(g_fake.lock);
  const Request& r = g_fake.requests.front();
  EXPECT_EQ(r.data, std::string(32, 'E'));
  EXPECT_EQ(r.options.Ttl, 30);
  EXPECT_EQ(r.options.Tos, 0);
  EXPECT_EQ(r.options.Flags, 0);
  EXPECT_EQ(r.options.OptionsSize, 0);
  EXPECT_EQ(r.replySize, sizeof(ICMP_ECHO_REPLY) + 32);
  EXPECT_EQ(r.timeout, 1000u);
}

TEST_F(Pinger, EchoCallsComeFromTheFirstCompleteLibrary) {
  const CIcmpEntryPoints withoutSend{&FakeCreateRefused, nullptr, &FakeClose};
  IcmpTestSetLibrary("Iphlpapi.dll", &withoutSend);
  IcmpTestSetLibrary("ICMP.DLL", &kFake);
  Behave("127.0.0.18", {.roundTrip = 8});
  {
    CHostPinger pinger;
    pinger.StartPinging("127.0.0.18");
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply() == 8; })) << "ICMP.DLL is used";
  }

  const CIcmpEntryPoints refusing{&FakeCreateRefused, &FakeSend, &FakeClose};
  IcmpTestSetLibrary("Iphlpapi.dll", &refusing);
  const int sentBefore = RequestsTo("127.0.0.18");
  {
    CHostPinger pinger;
    pinger.StartPinging("127.0.0.18");
    ASSERT_TRUE(WaitUntil([] { return Count([] { return g_fake.refused; }) >= 2; }));
    bool lookupFailed = true;
    EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0) << "no handle, no reply";
    EXPECT_FALSE(lookupFailed);
    EXPECT_EQ(RequestsTo("127.0.0.18"), sentBefore) << "nothing is sent without a handle";
  }

  IcmpTestSetLibrary("Iphlpapi.dll", nullptr);
  IcmpTestSetLibrary("ICMP.DLL", nullptr);
  {
    CHostPinger pinger;
    pinger.StartPinging("unknown.test");
    std::this_thread::sleep_for(700ms);  // more than a cycle and its pause
    bool lookupFailed = true;
    EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
    EXPECT_FALSE(lookupFailed) << "without echo calls no name is looked up";
    EXPECT_EQ(Count([] { return static_cast<int>(g_fake.lookups.size()); }), 0);
  }
}

HANDLE FakeCreateDenied() {
  FakeCreateRefused();
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

// Without an echo socket every cycle fails; the log says why once, not once
// per cycle, and for want of rights it names both ways to grant them.
TEST_F(Pinger, NoEchoSocketIsLoggedOnceWithItsRemedy) {
  testlog::LogReader log;
  CHostPinger::ResetNoEchoSocketNotice();
  const CIcmpEntryPoints denying{&FakeCreateDenied, &FakeSend, &FakeClose};
  IcmpTestSetLibrary("Iphlpapi.dll", &denying);
  {
    CHostPinger first, second;
    first.StartPinging("127.0.0.18");
    second.StartPinging("127.0.0.19");
    ASSERT_TRUE(WaitUntil([] { return Count([] { return g_fake.refused; }) >= 4; }));
  }
  const std::vector<std::string> lines = log.Take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Pings cannot be sent: this user may open no ICMP socket.", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("sysctl net.ipv4.ping_group_range='0 2147483647'"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("setcap cap_net_raw+ep /"), std::string::npos) << lines[0];

  // The real service with neither socket kind allowed: the other reason.
  CHostPinger::ResetNoEchoSocketNotice();
  IcmpTestResetLibraries();
  IcmpTestAllowSocketKinds(false, false);
  {
    CHostPinger pinger;
    pinger.StartPinging("127.0.0.1");
    std::this_thread::sleep_for(1200ms);  // two cycles and their pauses
  }
  EXPECT_EQ(log.Take(), std::vector<std::string>{"Pings cannot be sent: this system offers no ICMP socket (error 50).\n"});
  CHostPinger::ResetNoEchoSocketNotice();
}

TEST_F(Pinger, UnresolvedNameSetsLookupFailedUntilANameResolvesAndAnEmptyHostSendsNothing) {
  Behave("127.0.0.20", {.roundTrip = 6});
  CHostPinger pinger;
  pinger.StartPinging("unknown.test");
  ASSERT_TRUE(WaitUntil([] { return Count([] { return g_fake.lookups["unknown.test"]; }) >= 2; }));
  bool lookupFailed = false;
  EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
  EXPECT_TRUE(lookupFailed);

  pinger.SetHost("known.test");
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) == 6; }));
  EXPECT_FALSE(lookupFailed) << "cleared once the name resolves";

  pinger.SetHost("");
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply() == 0; }));
  const int sent = Count([] { return static_cast<int>(g_fake.requests.size()); });
  std::this_thread::sleep_for(600ms);  // another cycle with the empty host
  EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
  EXPECT_FALSE(lookupFailed) << "an empty host is no failed lookup";
  EXPECT_EQ(Count([] { return static_cast<int>(g_fake.requests.size()); }), sent);
  pinger.m_bStop = true;
}

TEST_F(Pinger, SetHostDuringAnEchoTakesEffectFromTheNextCycle) {
  Behave("127.0.0.30", {.roundTrip = 9});
  Behave("127.0.0.31", {.roundTrip = 3});
  CHostPinger pinger;
  GateOpener opener;
  EXPECT_EQ(pinger.GetPingingTime(), 0u);
  SetGate(true);
  pinger.StartPinging("127.0.0.30");
  ASSERT_TRUE(WaitUntil([] { return Held() == 1; }));
  std::this_thread::sleep_for(60ms);
  EXPECT_GE(pinger.GetPingingTime(), 60u) << "the time of the echo in flight grows";

  pinger.SetHost("127.0.0.31");
  SetGate(false);
  ASSERT_TRUE(WaitUntil([&] { return !InFlight(pinger); }));
  EXPECT_EQ(pinger.GetLastReply(), 9) << "the result of the echo under way is stored";
  EXPECT_EQ(pinger.GetPingingTime(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply() == 3; }));
  EXPECT_EQ(RequestsTo("127.0.0.30"), 1);

  SetGate(true);  // emptied during an echo: that echo's reply no longer counts
  ASSERT_TRUE(WaitUntil([] { return Held() == 1; }));
  pinger.SetHost("");
  SetGate(false);
  ASSERT_TRUE(WaitUntil([&] { return !InFlight(pinger); }));
  EXPECT_EQ(pinger.GetLastReply(), 0);
  pinger.m_bStop = true;
}

TEST_F(Pinger, StopDuringAnEchoWaitsForItAndSendsNoMore) {
  Behave("127.0.0.40", {.roundTrip = 2});
  CHostPinger pinger;
  GateOpener opener;
  SetGate(true);
  pinger.StartPinging("127.0.0.40");
  ASSERT_TRUE(WaitUntil([] { return Held() == 1; }));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    pinger.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(300ms);  // past the first 200 ms look
  EXPECT_FALSE(stopped) << "Stop returned while the echo was out";
  SetGate(false);
  stopper.join();
  EXPECT_EQ(RequestsTo("127.0.0.40"), 1) << "no echo after Stop";
  EXPECT_EQ(pinger.GetLastReply(), 2) << "the last cycle's result is kept";
  EXPECT_FALSE(InFlight(pinger));
}

}  // namespace
