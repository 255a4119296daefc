// ICMP echo service: real echoes to 127.0.0.1 through each socket kind this
// machine allows (skipped, with the reason, where a kind is refused), faults,
// refused arguments, the missing service and host resolution. Nothing here
// sends a packet beyond loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/icmpapi.h"

namespace {

const IPAddr kLoopback = htonl(INADDR_LOOPBACK);

struct EchoOutcome {
  DWORD result = 0;
  DWORD error = 0;
  ICMP_ECHO_REPLY record{};
  std::string data;  // the echoed bytes, read through record.Data
};

// One echo of `size` bytes of 'E' with TTL 30, with room for max(size, 8)
// bytes beyond the record, as the pinger asks.
EchoOutcome Echo(HANDLE handle, IPAddr to, WORD size = 32, DWORD timeout = 1000) {
  std::string request(size, 'E');
  std::vector<std::uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + std::max<int>(size, 8));
  IP_OPTION_INFORMATION options{30, 0, 0, 0, nullptr};
  EchoOutcome out;
  SetLastError(0);
  out.result = IcmpSendEcho(handle, to, request.data(), size, &options, buffer.data(),
                            static_cast<DWORD>(buffer.size()), timeout);
  out.error = GetLastError();
  std::memcpy(&out.record, buffer.data(), sizeof(out.record));
  if (out.record.Data != nullptr) out.data.assign(static_cast<const char*>(out.record.Data), out.record.DataSize);
  return out;
}

void ExpectLoopbackReply(const EchoOutcome& echo) {
  EXPECT_EQ(echo.result, 1u) << "last error " << echo.error;
  EXPECT_EQ(echo.record.Status, IP_SUCCESS);
  EXPECT_EQ(echo.record.Address, kLoopback);
  EXPECT_LE(echo.record.RoundTripTime, 1000u) << "the round trip lies within the time-out";
  EXPECT_EQ(echo.data, std::string(32, 'E'));
  EXPECT_GT(echo.record.Options.Ttl, 0) << "the reply's TTL is reported";
}

class Icmp : public ::testing::Test {
 protected:
  void SetUp() override { IcmpTestReset(); }
  void TearDown() override { IcmpTestReset(); }
  // An open handle of any kind, or null when this machine allows none.
  HANDLE OpenAny() {
    const HANDLE handle = IcmpCreateFile();
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }
};

TEST_F(Icmp, RawSocketEchoesLoopbackAndEachHandleTakesOnlyItsOwnReplies) {
  IcmpTestAllowSocketKinds(false, true);
  const HANDLE probe = IcmpCreateFile();
  if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "raw ICMP sockets refused here (needs root or CAP_NET_RAW)";
  EXPECT_EQ(IcmpTestSocketKind(probe), IcmpSocketKind::Raw);
  ExpectLoopbackReply(Echo(probe, kLoopback));
  ExpectLoopbackReply(Echo(probe, kLoopback));  // the next sequence number on the same handle
  EXPECT_TRUE(IcmpCloseHandle(probe));

  // Every raw socket sees every reply: three handles, all open before any
  // echo, echoing at once with different data sizes each, must take their own
  // replies and skip the others' queued beside them.
  std::vector<HANDLE> handles;
  for (int i = 0; i < 3; ++i) handles.push_back(IcmpCreateFile());
  std::vector<std::thread> threads;
  std::atomic<bool> go{false};
  std::atomic<int> good{0};
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([handle = handles[i], size = static_cast<WORD>(16 * (i + 1)), &go, &good] {
      while (!go.load()) std::this_thread::yield();
      for (int n = 0; n < 5; ++n) {
        const EchoOutcome echo = Echo(handle, kLoopback, size);
        if (echo.result == 1 && echo.data == std::string(size, 'E')) ++good;
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (HANDLE handle : handles) EXPECT_TRUE(IcmpCloseHandle(handle));
  EXPECT_EQ(good.load(), 15);
}

TEST_F(Icmp, DatagramSocketEchoesLoopback) {
  IcmpTestAllowSocketKinds(true, false);
  const HANDLE handle = IcmpCreateFile();
  if (handle == INVALID_HANDLE_VALUE) {
    std::string range;
    std::getline(std::ifstream("/proc/sys/net/ipv4/ping_group_range"), range);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    GTEST_SKIP() << "ICMP datagram sockets refused: net.ipv4.ping_group_range is \"" << range
                 << "\", group " << getgid();
  }
  EXPECT_EQ(IcmpTestSocketKind(handle), IcmpSocketKind::Datagram);
  ExpectLoopbackReply(Echo(handle, kLoopback));
  EXPECT_TRUE(IcmpCloseHandle(handle));
}

// Exit codes of the child below: 0 all good, 77 no namespace of its own,
// others the step that failed.
int DatagramEchoInOwnNetworkNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return 77;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq lo{};
  std::strcpy(lo.ifr_name, "lo");
  if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &lo) != 0) return 10;
  lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
  if (ioctl(fd, SIOCSIFFLAGS, &lo) != 0) return 11;
  close(fd);
  const int range = open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC);
  const char all[] = "0 2147483647";
  if (range < 0 || write(range, all, sizeof(all) - 1) != static_cast<ssize_t>(sizeof(all) - 1)) return 12;
  close(range);
  const HANDLE handle = IcmpCreateFile();  // both kinds allowed: the datagram socket comes first
  if (handle == INVALID_HANDLE_VALUE) return 13;
  if (IcmpTestSocketKind(handle) != IcmpSocketKind::Datagram) return 14;
  const EchoOutcome echo = Echo(handle, kLoopback);
  if (echo.result != 1 || echo.record.Address != kLoopback || echo.data != std::string(32, 'E') ||
      echo.record.Options.Ttl == 0)
    return 15;
  // This namespace has no route but loopback's: nothing leaves, the send fails.
  const EchoOutcome unrouted = Echo(handle, htonl(0x0A000001));
  if (unrouted.result != 0 || unrouted.error != IP_DEST_NET_UNREACHABLE) return 16;
  if (Echo(handle, kLoopback).result != 1) return 17;
  return IcmpCloseHandle(handle) ? 0 : 18;
}

TEST_F(Icmp, DatagramSocketEchoesLoopbackInANetworkNamespaceThatAdmitsEveryGroup) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(DatagramEchoInOwnNetworkNamespace());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace of our own (needs root or CAP_SYS_ADMIN)";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed step, see DatagramEchoInOwnNetworkNamespace";
}

// The calling thread's effective and permitted capability sets, from the kernel.
bool ThreadCapabilities(std::uint64_t* effective, std::uint64_t* permitted) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  *effective = data[0].effective | static_cast<std::uint64_t>(data[1].effective) << 32;
  *permitted = data[0].permitted | static_cast<std::uint64_t>(data[1].permitted) << 32;
  return true;
}

// Exit codes of the child below: 0 all good, 77 CAP_NET_RAW not held to begin
// with, others the step that failed.
int RawEchoWithOnlyTheEchoPrivilege() {
  std::uint64_t effective = 0, permitted = 0;
  if (!ThreadCapabilities(&effective, &permitted)) return 10;
  if ((permitted & (1ull << CAP_NET_RAW)) == 0) return 77;
  const bool couldShrinkBounds = (effective & (1ull << CAP_SETPCAP)) != 0;
  if (!IcmpKeepOnlyEchoPrivilege()) return 11;
  if (!ThreadCapabilities(&effective, &permitted) || effective != 0 || permitted != 1ull << CAP_NET_RAW) return 12;
  if (couldShrinkBounds && (prctl(PR_CAPBSET_READ, CAP_SYS_ADMIN, 0, 0, 0) != 0 ||
                            prctl(PR_CAPBSET_READ, CAP_NET_RAW, 0, 0, 0) != 1))
    return 18;
  // A privilege that is gone: a network namespace of our own needs CAP_SYS_ADMIN.
  if (unshare(CLONE_NEWNET) == 0 || errno != EPERM) return 13;
  IcmpTestAllowSocketKinds(false, true);
  const HANDLE handle = IcmpCreateFile();
  if (handle == INVALID_HANDLE_VALUE || IcmpTestSocketKind(handle) != IcmpSocketKind::Raw) return 14;
  if (!ThreadCapabilities(&effective, &permitted) || effective != 0) return 15;  // lowered again
  const EchoOutcome echo = Echo(handle, kLoopback);
  if (echo.result != 1 || echo.data != std::string(32, 'E')) return 16;
  return IcmpCloseHandle(handle) ? 0 : 17;
}

TEST_F(Icmp, RawSocketOpensWithOnlyTheEchoPrivilegeLeft) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(RawEchoWithOnlyTheEchoPrivilege());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "CAP_NET_RAW is not held here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed step, see RawEchoWithOnlyTheEchoPrivilege";
}

TEST_F(Icmp, FaultsFailTheEchoOnlyWhileSetAndMeetARealReply) {
  const HANDLE handle = OpenAny();
  if (handle == nullptr) GTEST_SKIP() << "no ICMP socket kind allowed here";

  IcmpTestSetFaults({.dropReplies = true});
  const EchoOutcome dropped = Echo(handle, kLoopback, 32, 300);
  EXPECT_EQ(dropped.result, 0u);
  EXPECT_EQ(dropped.error, IP_REQ_TIMED_OUT);
  EXPECT_EQ(dropped.record.Status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(IcmpTestFaultsFired(), 1) << "the reply arrived and was dropped";

  IcmpTestSetFaults({.alterReplyData = true});
  const EchoOutcome altered = Echo(handle, kLoopback);
  EXPECT_EQ(altered.result, 0u);
  EXPECT_EQ(altered.error, IP_GENERAL_FAILURE);
  EXPECT_EQ(altered.record.Status, IP_GENERAL_FAILURE);
  EXPECT_EQ(altered.data, std::string(1, static_cast<char>('E' ^ 0xFF)) + std::string(31, 'E'));
  EXPECT_EQ(IcmpTestFaultsFired(), 2);

  IcmpTestSetFaults({});
  ExpectLoopbackReply(Echo(handle, kLoopback));
  IcmpCloseHandle(handle);
}

TEST_F(Icmp, RefusedEchoesAndHandles) {
  const HANDLE handle = OpenAny();
  if (handle == nullptr) GTEST_SKIP() << "no ICMP socket kind allowed here";
  std::string request(32, 'E');
  std::vector<std::uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + 32);
  const auto room = static_cast<DWORD>(buffer.size());
  const struct Case {
    const char* name;
    IPAddr to;
    void* data;
    WORD size;
    DWORD bufferSize;
    DWORD error;
  } cases[] = {
      // Linux would answer 0.0.0.0 from this host itself.
      {"zero address", 0, request.data(), 32, room, IP_BAD_DESTINATION},
      {"broadcast", 0xFFFFFFFFu, request.data(), 32, room, IP_BAD_DESTINATION},
      {"reply buffer one byte short", kLoopback, request.data(), 32, room - 1, IP_BUF_TOO_SMALL},
      {"less than 8 bytes beyond the record", kLoopback, request.data(), 4, sizeof(ICMP_ECHO_REPLY) + 7,
       IP_BUF_TOO_SMALL},
      {"no request data", kLoopback, nullptr, 32, room, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(IcmpSendEcho(handle, c.to, c.data, c.size, nullptr, buffer.data(), c.bufferSize, 300), 0u) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }

  EXPECT_TRUE(IcmpCloseHandle(handle));
  EXPECT_EQ(Echo(handle, kLoopback).error, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(IcmpCloseHandle(handle)) << "closing twice";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Icmp, MissingServiceGivesAnInvalidHandleWithTheReason) {
  IcmpTestAllowSocketKinds(false, false);
  SetLastError(0);
  EXPECT_EQ(IcmpCreateFile(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

std::atomic<int> g_resolverCalls{0};

bool FakeResolver(const char* name, IPAddr* address) {
  ++g_resolverCalls;
  if (std::string(name) != "gateway.test") return false;
  *address = htonl(0x0A010203);
  return true;
}

TEST_F(Icmp, HostResolution) {
  IcmpTestSetNameResolver(&FakeResolver);
  struct Case {
    const char* name;
    const char* host;
    bool resolves;
    IPAddr address;
    int lookups;  // calls of the name resolver
  } cases[] = {
      {"dotted address, no lookup", "127.0.0.1", true, kLoopback, 0},
      {"zero address is an address", "0.0.0.0", true, 0, 0},
      {"name", "gateway.test", true, htonl(0x0A010203), 1},
      {"name that does not resolve", "no.such.host.invalid", false, 0, 1},
      {"empty text", "", false, 0, 0},
      {"no text", nullptr, false, 0, 0},
  };
  for (const Case& c : cases) {
    g_resolverCalls = 0;
    IPAddr address = 0x5A5A5A5A;
    EXPECT_EQ(IcmpResolveHostIPv4(c.host, &address), c.resolves) << c.name;
    if (c.resolves) {
      EXPECT_EQ(address, c.address) << c.name;
    }
    EXPECT_EQ(g_resolverCalls.load(), c.lookups) << c.name;
  }
}

}  // namespace
