#include "platform/icmpapi.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// The calling thread's capability sets (the kernel keeps them per thread).
struct Capabilities {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool ReadCapabilities(Capabilities* caps) {
  return syscall(SYS_capget, &caps->header, caps->data) == 0;
}

bool WriteCapabilities(Capabilities* caps) {
  return syscall(SYS_capset, &caps->header, caps->data) == 0;
}

constexpr std::uint32_t kNetRawBit = 1u << CAP_NET_RAW;  // CAP_NET_RAW (13) lies in the first word

// Opens a raw ICMP socket with CAP_NET_RAW effective for just this call, when
// the thread holds it as permitted; the effective set is put back after.
int OpenRawSocket() {
  Capabilities caps;
  const bool raise = ReadCapabilities(&caps) && (caps.data[0].permitted & kNetRawBit) != 0 &&
                     (caps.data[0].effective & kNetRawBit) == 0;
  if (raise) {
    caps.data[0].effective |= kNetRawBit;
    WriteCapabilities(&caps);
  }
  const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  const int error = errno;
  if (raise) {
    caps.data[0].effective &= ~kNetRawBit;
    WriteCapabilities(&caps);
  }
  errno = error;
  return fd;
}

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kIcmpHeader = 8;
// The most echo data one IPv4 datagram carries (65535 less the IP and ICMP headers).
constexpr WORD kMaxRequestSize = 65507;

std::atomic<bool> g_allowDatagram{true};
std::atomic<bool> g_allowRaw{true};
std::atomic<bool> g_dropReplies{false};
std::atomic<bool> g_alterReplyData{false};
std::atomic<int> g_faultsFired{0};
std::atomic<IcmpNameResolver> g_resolver{nullptr};

// One open echo handle. The registry below owns it; an echo in progress holds
// a reference of its own, so closing the handle meanwhile cannot pull the
// socket away from under it.
struct EchoSocket {
  int fd = -1;
  IcmpSocketKind kind = IcmpSocketKind::None;
  std::uint16_t id = 0;  // raw sockets only: the kernel picks it for datagram ones
  std::uint16_t nextSequence = 0;
  std::mutex echoLock;  // one echo at a time per handle
  ~EchoSocket() {
    if (fd >= 0) ::close(fd);
  }
};

std::mutex g_handlesLock;
std::unordered_map<HANDLE, std::shared_ptr<EchoSocket>> g_handles;

std::shared_ptr<EchoSocket> FindHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(g_handlesLock);
  const auto it = g_handles.find(handle);
  return it == g_handles.end() ? nullptr : it->second;
}

std::uint16_t RandomWord() {
  static std::mutex lock;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<std::uint16_t>(generator());
}

std::uint16_t Checksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

ULONG StatusOfErrno(int error) {
  switch (error) {
    case ENETUNREACH:
      return IP_DEST_NET_UNREACHABLE;
    case EHOSTUNREACH:
    case ECONNREFUSED:
      return IP_DEST_HOST_UNREACHABLE;
    default:
      return IP_GENERAL_FAILURE;
  }
}

// Sets the per-echo IP options on the socket. A TTL of 0 leaves the system's.
bool ApplyOptions(int fd, const IP_OPTION_INFORMATION* options) {
  const int ttl = options != nullptr && options->Ttl != 0 ? options->Ttl : -1;
  const int tos = options != nullptr ? options->Tos : 0;
  const int pmtu = options != nullptr && (options->Flags & IP_FLAG_DF) != 0 ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  return setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof(ttl)) == 0 &&
         setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof(tos)) == 0 &&
         setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof(pmtu)) == 0;
}

// Writes the record to the start of the reply buffer (which need not be aligned).
void StoreRecord(PVOID buffer, const ICMP_ECHO_REPLY& record) { std::memcpy(buffer, &record, sizeof(record)); }

DWORD FailEcho(ULONG status, PVOID buffer, DWORD bufferSize, ICMP_ECHO_REPLY record = {}) {
  if (buffer != nullptr && bufferSize >= sizeof(ICMP_ECHO_REPLY)) {
    record.Status = status;
    StoreRecord(buffer, record);
  }
  SetLastError(status);
  return 0;
}

bool SystemResolve(const char* name, IPAddr* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  for (const addrinfo* entry = found; entry != nullptr && !ok; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in in{};
    std::memcpy(&in, entry->ai_addr, sizeof(in));
    *address = in.sin_addr.s_addr;
    ok = true;
  }
  freeaddrinfo(found);
  return ok;
}

}  // namespace

// A datagram socket delivers the ICMP message alone, already matched to its
// identifier by the kernel; a raw socket delivers the IP header too, and every
// ICMP message of the host, our own request on loopback among them.
bool IcmpMatchReply(IcmpSocketKind kind, std::uint16_t rawId, const std::uint8_t* packet, std::size_t size,
                    IPAddr from, int ttl, IPAddr destination, std::uint16_t sequence, IcmpReply* reply) {
  if (kind == IcmpSocketKind::Raw) {
    if (size < 20 || (packet[0] >> 4) != 4) return false;
    const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (headerSize < 20 || headerSize > size || packet[9] != IPPROTO_ICMP) return false;
    ttl = packet[8];
    std::memcpy(&from, packet + 12, sizeof(from));
    packet += headerSize;
    size -= headerSize;
  }
  if (from != destination) return false;
  if (size < kIcmpHeader || packet[0] != kEchoReply || packet[1] != 0) return false;
  const auto id = static_cast<std::uint16_t>(packet[4] << 8 | packet[5]);
  const auto seq = static_cast<std::uint16_t>(packet[6] << 8 | packet[7]);
  if (seq != sequence || (kind == IcmpSocketKind::Raw && id != rawId)) return false;
  reply->from = from;
  reply->ttl = ttl;
  reply->data = packet + kIcmpHeader;
  reply->size = size - kIcmpHeader;
  return true;
}


bool IcmpKeepOnlyEchoPrivilege() {
  Capabilities caps;
  if (!ReadCapabilities(&caps)) return false;
  // The bounding set too, where this process may shrink it (CAP_SETPCAP, as
  // root has): programs started later cannot gain what is dropped here.
  if ((caps.data[0].effective & (1u << CAP_SETPCAP)) != 0)
    for (int cap = 0; prctl(PR_CAPBSET_READ, cap, 0, 0, 0) >= 0; ++cap)
      if (cap != CAP_NET_RAW) prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
  const std::uint32_t keep = caps.data[0].permitted & kNetRawBit;
  for (auto& word : caps.data) word = __user_cap_data_struct{};
  caps.data[0].permitted = keep;
  // Nothing passes to programs this one starts.
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  return WriteCapabilities(&caps);
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

HANDLE IcmpCreateFile() {
  auto echo = std::make_shared<EchoSocket>();
  int error = ENOTSUP;
  if (g_allowDatagram.load()) {
    echo->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (echo->fd >= 0) {
      echo->kind = IcmpSocketKind::Datagram;
      const int on = 1;
      setsockopt(echo->fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof(on));
    } else {
      error = errno;
    }
  }
  if (echo->fd < 0 && g_allowRaw.load()) {
    echo->fd = OpenRawSocket();
    if (echo->fd >= 0) {
      echo->kind = IcmpSocketKind::Raw;
      echo->id = RandomWord();
      // Let the kernel drop every ICMP type but echo replies before they queue up.
      icmp_filter filter{};
      filter.data = ~(1u << kEchoReply);
      setsockopt(echo->fd, SOL_RAW, ICMP_FILTER, &filter, sizeof(filter));
    } else {
      error = errno;
    }
  }
  if (echo->fd < 0) {
    SetLastError(error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  echo->nextSequence = RandomWord();
  const HANDLE handle = echo.get();
  std::lock_guard<std::mutex> guard(g_handlesLock);
  g_handles.emplace(handle, std::move(echo));
  return handle;
}

BOOL IcmpCloseHandle(HANDLE IcmpHandle) {
  std::shared_ptr<EchoSocket> closing;
  {
    std::lock_guard<std::mutex> guard(g_handlesLock);
    const auto it = g_handles.find(IcmpHandle);
    if (it == g_handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    closing = std::move(it->second);
    g_handles.erase(it);
  }
  return TRUE;  // the socket closes with its last reference, outside the lock
}

DWORD IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, PVOID RequestData, WORD RequestSize,
                   IP_OPTION_INFORMATION* RequestOptions, PVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout) {
  const std::shared_ptr<EchoSocket> echo = FindHandle(IcmpHandle);
  if (!echo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if ((RequestData == nullptr && RequestSize != 0) || RequestSize > kMaxRequestSize ||
      (RequestOptions != nullptr && RequestOptions->OptionsSize != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t needed = sizeof(ICMP_ECHO_REPLY) + std::max<std::size_t>(RequestSize, 8);
  if (ReplyBuffer == nullptr || ReplySize < needed) return FailEcho(IP_BUF_TOO_SMALL, ReplyBuffer, ReplySize);
  // 0.0.0.0 would reach this host on Linux and report a reply from nowhere.
  if (DestinationAddress == 0 || DestinationAddress == 0xFFFFFFFFu)
    return FailEcho(IP_BAD_DESTINATION, ReplyBuffer, ReplySize);

  std::lock_guard<std::mutex> echoGuard(echo->echoLock);
  // Reading the pending error clears it: an unreachable report that came in
  // after an earlier echo gave up must not fail this one.
  int stale = 0;
  socklen_t staleSize = sizeof(stale);
  getsockopt(echo->fd, SOL_SOCKET, SO_ERROR, &stale, &staleSize);
  if (!ApplyOptions(echo->fd, RequestOptions)) return FailEcho(StatusOfErrno(errno), ReplyBuffer, ReplySize);

  const std::uint16_t sequence = echo->nextSequence++;
  std::vector<std::uint8_t> request(kIcmpHeader + RequestSize);
  request[0] = kEchoRequest;
  request[4] = static_cast<std::uint8_t>(echo->id >> 8);
  request[5] = static_cast<std::uint8_t>(echo->id);
  request[6] = static_cast<std::uint8_t>(sequence >> 8);
  request[7] = static_cast<std::uint8_t>(sequence);
  if (RequestSize != 0) std::memcpy(request.data() + kIcmpHeader, RequestData, RequestSize);
  const std::uint16_t sum = Checksum(request.data(), request.size());  // datagram sockets fill their own
  request[2] = static_cast<std::uint8_t>(sum >> 8);
  request[3] = static_cast<std::uint8_t>(sum);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = DestinationAddress;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point sent = Clock::now();
  const Clock::time_point deadline = sent + std::chrono::milliseconds(Timeout);
  if (::sendto(echo->fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) < 0)
    return FailEcho(StatusOfErrno(errno), ReplyBuffer, ReplySize);

  std::vector<std::uint8_t> packet(65536);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd waiting{echo->fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return FailEcho(StatusOfErrno(errno), ReplyBuffer, ReplySize);
    if (ready == 0) {
      if (left > INT_MAX) continue;  // a time-out beyond one poll
      return FailEcho(IP_REQ_TIMED_OUT, ReplyBuffer, ReplySize);
    }

    sockaddr_in from{};
    alignas(cmsghdr) std::uint8_t control[CMSG_SPACE(sizeof(int))];
    iovec part{packet.data(), packet.size()};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof(from);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    const ssize_t got = ::recvmsg(echo->fd, &message, MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return FailEcho(StatusOfErrno(errno), ReplyBuffer, ReplySize);
    }
    int ttl = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int)))
        std::memcpy(&ttl, CMSG_DATA(c), sizeof(int));
    }
    IcmpReply reply;
    const bool ours = IcmpMatchReply(echo->kind, echo->id, packet.data(), static_cast<std::size_t>(got),
                                     from.sin_addr.s_addr, ttl, DestinationAddress, sequence, &reply);
    if (ours && g_dropReplies.load()) ++g_faultsFired;
    if (!ours || g_dropReplies.load()) {
      // Other traffic never stretches the wait beyond the time-out.
      if (Clock::now() >= deadline) return FailEcho(IP_REQ_TIMED_OUT, ReplyBuffer, ReplySize);
      continue;
    }
    if (g_alterReplyData.load() && reply.size != 0) {
      packet[static_cast<std::size_t>(reply.data - packet.data())] ^= 0xFF;
      ++g_faultsFired;
    }

    const auto roundTrip = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    auto* const dataOut = static_cast<std::uint8_t*>(ReplyBuffer) + sizeof(ICMP_ECHO_REPLY);
    const std::size_t copied = std::min<std::size_t>(reply.size, ReplySize - sizeof(ICMP_ECHO_REPLY));
    if (copied != 0) std::memcpy(dataOut, reply.data, copied);
    ICMP_ECHO_REPLY record{};
    record.Address = reply.from;
    record.RoundTripTime = static_cast<ULONG>(std::min<long long>(roundTrip, std::numeric_limits<ULONG>::max()));
    record.DataSize = static_cast<USHORT>(copied);
    record.Data = dataOut;
    record.Options.Ttl = static_cast<UCHAR>(reply.ttl);
    const bool intact = reply.size == RequestSize &&
                        (RequestSize == 0 || std::memcmp(reply.data, RequestData, RequestSize) == 0);
    if (!intact) return FailEcho(IP_GENERAL_FAILURE, ReplyBuffer, ReplySize, record);
    record.Status = IP_SUCCESS;
    StoreRecord(ReplyBuffer, record);
    return 1;
  }
}

bool IcmpResolveHostIPv4(const char* host, IPAddr* address) {
  if (host == nullptr || *host == '\0' || address == nullptr) return false;
  in_addr dotted{};
  if (inet_pton(AF_INET, host, &dotted) == 1) {
    *address = dotted.s_addr;
    return true;
  }
  const IcmpNameResolver resolver = g_resolver.load();
  IPAddr found = 0;
  if (!(resolver != nullptr ? resolver(host, &found) : SystemResolve(host, &found))) return false;
  *address = found;
  return true;
}

void IcmpTestAllowSocketKinds(bool datagram, bool raw) {
  g_allowDatagram = datagram;
  g_allowRaw = raw;
}

IcmpSocketKind IcmpTestSocketKind(HANDLE IcmpHandle) {
  const std::shared_ptr<EchoSocket> echo = FindHandle(IcmpHandle);
  return echo ? echo->kind : IcmpSocketKind::None;
}

void IcmpTestSetFaults(const IcmpTestFaults& faults) {
  g_dropReplies = faults.dropReplies;
  g_alterReplyData = faults.alterReplyData;
}

int IcmpTestFaultsFired() { return g_faultsFired.load(); }

void IcmpTestSetNameResolver(IcmpNameResolver resolver) { g_resolver = resolver; }

void IcmpTestReset() {
  IcmpTestAllowSocketKinds(true, true);
  IcmpTestSetFaults({});
  g_faultsFired = 0;
  g_resolver = nullptr;
}
