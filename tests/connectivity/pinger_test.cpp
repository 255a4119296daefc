// Pinger: real echoes to 127.0.0.1 where this machine allows an ICMP socket,
// and, through a replaced echo library, the outcome of each kind of reply,
// the request it sends, library look-up, name resolution, SetHost and Stop
// while an echo is held. Nothing here sends a packet beyond loopback; names
// go to a replaced resolver, never the machine's.
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

namespace {

using namespace std::chrono_literals;

IPAddr Addr(const char* dotted) { return inet_addr(dotted); }

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return pred();
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// ---- A replaced echo library: behaviour chosen per destination, every
// request recorded, and a gate that holds echoes until the test opens it.

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
  DWORD replySize;
  DWORD timeout;
};

struct FakeService {
  std::mutex lock;
  std::condition_variable gateChanged;
  std::map<IPAddr, Behaviour> behaviours;
  std::vector<Request> requests;
  std::map<std::string, int> lookups;  // names given to the resolver
  int creates = 0;
  int closes = 0;
  bool gateClosed = false;
  int held = 0;  // echoes waiting at the gate
};
FakeService g_fake;

template <typename T>
T Locked(const std::function<T()>& read) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  return read();
}

int RequestsTo(IPAddr to) {
  return Locked<int>([&] {
    int n = 0;
    for (const Request& r : g_fake.requests) n += r.to == to;
    return n;
  });
}

HANDLE FakeCreate() {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1000 + ++g_fake.creates));
}

HANDLE FakeCreateRefused() {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.creates;
  return INVALID_HANDLE_VALUE;
}

BOOL FakeClose(HANDLE) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.closes;
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
  reply->Address = to;
  reply->Status = IP_SUCCESS;
  reply->RoundTripTime = b.roundTrip;
  reply->DataSize = b.noData ? 0 : size;
  reply->Data = b.noData ? nullptr : echoed;
  return b.replies;
}

bool FakeResolver(const char* name, IPAddr* address) {
  std::lock_guard<std::mutex> guard(g_fake.lock);
  ++g_fake.lookups[name];
  if (std::string(name) != "known.test") return false;
  *address = Addr("127.0.0.20");
  return true;
}

void SetGate(bool closed) {
  {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.gateClosed = closed;
  }
  g_fake.gateChanged.notify_all();
}

// Declared after a pinger, so the gate opens before the pinger is stopped,
// even when an assertion ends the test early.
struct GateOpener {
  ~GateOpener() { SetGate(false); }
};

const CIcmpEntryPoints kFakeLibrary{&FakeCreate, &FakeSend, &FakeClose};

class Pinger : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAll();
    IcmpTestSetLibrary("Iphlpapi.dll", &kFakeLibrary);
    IcmpTestSetNameResolver(&FakeResolver);
  }
  void TearDown() override {
    {
      std::lock_guard<std::mutex> guard(g_fake.lock);
      EXPECT_EQ(g_fake.creates - (g_fake.closes + refusedCreates), 0) << "every opened echo handle is closed";
    }
    ResetAll();
  }
  static void ResetAll() {
    IcmpTestReset();
    IcmpTestResetLibraries();
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.behaviours.clear();
    g_fake.requests.clear();
    g_fake.lookups.clear();
    g_fake.creates = g_fake.closes = 0;
    g_fake.gateClosed = false;
  }
  static void Behave(const char* to, Behaviour b) {
    std::lock_guard<std::mutex> guard(g_fake.lock);
    g_fake.behaviours[Addr(to)] = b;
  }
  static bool EchoInFlight(CHostPinger& pinger) {
    std::lock_guard<std::mutex> guard(pinger.m_lock);
    return pinger.m_dwPingStart != 0;
  }
  int refusedCreates = 0;
};

TEST_F(Pinger, LoopbackRepliesAreStoredAndDroppedOrAlteredRepliesClearThem) {
  IcmpTestResetLibraries();  // the platform's echo service, real sockets
  const HANDLE probe = IcmpCreateFile();
  if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no ICMP socket kind allowed here";
  IcmpCloseHandle(probe);

  CHostPinger pinger;
  pinger.m_dwTimeout = 300;
  pinger.StartPinging("127.0.0.1");
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply() > 0; })) << "a loopback echo is answered";
  bool lookupFailed = true;
  EXPECT_GT(pinger.GetLastReply(&lookupFailed), 0);
  EXPECT_FALSE(lookupFailed);

  const struct {
    const char* name;
    IcmpTestFaults faults;
  } faults[] = {{"time-out", {.dropReplies = true}}, {"altered data", {.alterReplyData = true}}};
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    const int firedBefore = IcmpTestFaultsFired();
    IcmpTestSetFaults(f.faults);
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) == 0; })) << "the failed cycle stores 0";
    EXPECT_FALSE(lookupFailed);
    EXPECT_GT(IcmpTestFaultsFired(), firedBefore) << "the fault met a real reply";
    IcmpTestSetFaults({});
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply() > 0; })) << "replies are stored again";
  }
}

TEST_F(Pinger, EachKindOfReplyGivesItsResult) {
  const struct {
    const char* name;
    const char* to;
    Behaviour behaviour;
    int expected;
  } cases[] = {
      {"0 ms is stored as 1", "127.0.0.10", {.replies = 1, .roundTrip = 0}, 1},
      {"round trip kept", "127.0.0.11", {.replies = 1, .roundTrip = 7}, 7},
      {"altered echoed data", "127.0.0.12", {.replies = 1, .roundTrip = 5, .alterData = true}, 0},
      {"no echoed data passes", "127.0.0.13", {.replies = 1, .roundTrip = 4, .noData = true}, 4},
      {"two replies", "127.0.0.14", {.replies = 2, .roundTrip = 5}, 0},
      {"no reply", "127.0.0.15", {.replies = 0, .roundTrip = 0}, 0},
  };
  std::vector<std::unique_ptr<CHostPinger>> pingers;
  for (const auto& c : cases) {
    Behave(c.to, c.behaviour);
    pingers.push_back(std::make_unique<CHostPinger>());
    pingers.back()->StartPinging(c.to);
  }
  for (std::size_t i = 0; i < pingers.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    // A second request means the first cycle's result is stored.
    ASSERT_TRUE(WaitUntil([&] { return RequestsTo(Addr(cases[i].to)) >= 2; }));
    bool lookupFailed = true;
    EXPECT_EQ(pingers[i]->GetLastReply(&lookupFailed), cases[i].expected);
    EXPECT_FALSE(lookupFailed);
  }
  for (auto& p : pingers) p->m_bStop = true;  // let all pauses run out together
  pingers.clear();
}

TEST_F(Pinger, RequestCarriesTheDataPatternOptionsAndTimeOut) {
  CHostPinger standard;
  CHostPinger custom;
  custom.m_nTTL = 5;
  custom.m_nTOS = 0x10;
  custom.m_nPacketSize = 0;
  custom.m_bDontFragment = true;
  standard.StartPinging("127.0.0.16");
  custom.StartPinging("127.0.0.17");
  ASSERT_TRUE(WaitUntil([] { return RequestsTo(Addr("127.0.0.16")) >= 1 && RequestsTo(Addr("127.0.0.17")) >= 1; }));
  std::lock_guard<std::mutex> guard(g_fake.lock);
  for (const Request& r : g_fake.requests) {
    if (r.to == Addr("127.0.0.16")) {
      EXPECT_EQ(r.data, std::string(32, 'E'));
      EXPECT_EQ(r.options.Ttl, 30);
      EXPECT_EQ(r.options.Tos, 0);
      EXPECT_EQ(r.options.Flags, 0);
      EXPECT_EQ(r.replySize, sizeof(ICMP_ECHO_REPLY) + 32);
      EXPECT_EQ(r.timeout, 1000u);
    } else {
      EXPECT_EQ(r.data, "");
      EXPECT_EQ(r.options.Ttl, 5);
      EXPECT_EQ(r.options.Tos, 0x10);
      EXPECT_EQ(r.options.Flags, IP_FLAG_DF);
      EXPECT_EQ(r.replySize, sizeof(ICMP_ECHO_REPLY) + 8) << "room for 8 bytes at least";
    }
    EXPECT_EQ(r.options.OptionsSize, 0);
  }
  standard.m_bStop = custom.m_bStop = true;
}

TEST_F(Pinger, EchoLibraryIsTheFirstCompleteOne) {
  // Iphlpapi.dll without its send call: ICMP.DLL is used instead.
  const CIcmpEntryPoints incomplete{&FakeCreateRefused, nullptr, &FakeClose};
  IcmpTestSetLibrary("Iphlpapi.dll", &incomplete);
  IcmpTestSetLibrary("ICMP.DLL", &kFakeLibrary);
  Behave("127.0.0.18", {.replies = 1, .roundTrip = 8});
  {
    CHostPinger pinger;
    pinger.StartPinging("127.0.0.18");
    EXPECT_TRUE(WaitUntil([&] { return pinger.GetLastReply() == 8; }));
  }

  // A complete library whose handle cannot be opened: every cycle fails.
  const CIcmpEntryPoints refusing{&FakeCreateRefused, &FakeSend, &FakeClose};
  IcmpTestSetLibrary("Iphlpapi.dll", &refusing);
  IcmpTestSetLibrary("ICMP.DLL", nullptr);
  const int createsBefore = Locked<int>([] { return g_fake.creates; });
  {
    CHostPinger pinger;
    pinger.StartPinging("127.0.0.18");
    ASSERT_TRUE(WaitUntil([&] { return Locked<int>([] { return g_fake.creates; }) >= createsBefore + 2; }));
    bool lookupFailed = true;
    EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
    EXPECT_FALSE(lookupFailed);
    EXPECT_EQ(RequestsTo(Addr("127.0.0.18")), 1) << "only the echo through ICMP.DLL was sent";
    refusedCreates = Locked<int>([] { return g_fake.creates; }) - createsBefore;
  }

  // No library at all: no name is even looked up, so no lookup failure shows.
  IcmpTestSetLibrary("Iphlpapi.dll", nullptr);
  {
    CHostPinger pinger;
    pinger.StartPinging("unknown.test");
    std::this_thread::sleep_for(700ms);  // more than one cycle and its pause
    bool lookupFailed = true;
    EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
    EXPECT_FALSE(lookupFailed);
    EXPECT_EQ(Locked<int>([] { return static_cast<int>(g_fake.lookups.size()); }), 0);
  }
}

TEST_F(Pinger, UnresolvedNameSetsLookupFailedUntilANameResolvesAndAnEmptyHostIsNoLookupFailure) {
  Behave("127.0.0.20", {.replies = 1, .roundTrip = 6});
  CHostPinger pinger;
  pinger.StartPinging("unknown.test");
  ASSERT_TRUE(WaitUntil([] { return Locked<int>([] { return g_fake.lookups["unknown.test"]; }) >= 2; }));
  bool lookupFailed = false;
  EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
  EXPECT_TRUE(lookupFailed);
  EXPECT_EQ(Locked<int>([] { return static_cast<int>(g_fake.requests.size()); }), 0);

  pinger.SetHost("known.test");
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) == 6; }));
  EXPECT_FALSE(lookupFailed) << "cleared once the name resolves";

  pinger.SetHost("");
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply(&lookupFailed) == 0; }));
  EXPECT_FALSE(lookupFailed);
  const int sent = Locked<int>([] { return static_cast<int>(g_fake.requests.size()); });
  std::this_thread::sleep_for(600ms);  // another cycle with the empty host
  EXPECT_EQ(pinger.GetLastReply(&lookupFailed), 0);
  EXPECT_FALSE(lookupFailed);
  EXPECT_EQ(Locked<int>([] { return static_cast<int>(g_fake.requests.size()); }), sent) << "nothing is sent";
  pinger.m_bStop = true;
}

TEST_F(Pinger, SetHostDuringAnEchoTakesEffectFromTheNextCycle) {
  Behave("127.0.0.30", {.replies = 1, .roundTrip = 9});
  Behave("127.0.0.31", {.replies = 1, .roundTrip = 3});
  CHostPinger pinger;
  GateOpener opener;
  EXPECT_EQ(pinger.GetPingingTime(), 0u);
  SetGate(true);
  pinger.StartPinging("127.0.0.30");
  ASSERT_TRUE(WaitUntil([] { return Locked<int>([] { return g_fake.held; }) == 1; }));
  std::this_thread::sleep_for(60ms);
  EXPECT_GE(pinger.GetPingingTime(), 60u) << "the time of the echo in flight grows";

  pinger.SetHost("127.0.0.31");
  SetGate(false);
  ASSERT_TRUE(WaitUntil([&] { return !EchoInFlight(pinger); }));
  EXPECT_EQ(pinger.GetLastReply(), 9) << "the result of the echo under way is stored";
  EXPECT_EQ(pinger.GetPingingTime(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return pinger.GetLastReply() == 3; }));
  EXPECT_EQ(RequestsTo(Addr("127.0.0.30")), 1);

  // Emptied during an echo: that echo's reply no longer counts.
  SetGate(true);
  ASSERT_TRUE(WaitUntil([] { return Locked<int>([] { return g_fake.held; }) == 1; }));
  pinger.SetHost("");
  SetGate(false);
  ASSERT_TRUE(WaitUntil([&] { return !EchoInFlight(pinger); }));
  EXPECT_EQ(pinger.GetLastReply(), 0);
  pinger.m_bStop = true;
}

TEST_F(Pinger, StopDuringAnEchoWaitsForItAndSendsNoMore) {
  Behave("127.0.0.40", {.replies = 1, .roundTrip = 2});
  CHostPinger pinger;
  GateOpener opener;
  SetGate(true);
  pinger.StartPinging("127.0.0.40");
  ASSERT_TRUE(WaitUntil([] { return Locked<int>([] { return g_fake.held; }) == 1; }));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    pinger.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(300ms);  // past the first 200 ms poll
  EXPECT_FALSE(stopped) << "Stop returned while the echo was still out";
  SetGate(false);
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(RequestsTo(Addr("127.0.0.40")), 1) << "no echo after Stop";
  EXPECT_EQ(pinger.GetLastReply(), 2) << "the last cycle's result is kept";
  EXPECT_FALSE(EchoInFlight(pinger));
}

}  // namespace
