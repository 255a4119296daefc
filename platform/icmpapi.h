// The ICMP echo service: open an echo handle, send one echo request to an
// IPv4 host and wait for its reply, close the handle. On Linux a handle is an
// ICMP datagram socket where net.ipv4.ping_group_range admits the process's
// group, or else a raw ICMP socket where the process may open one (root or
// CAP_NET_RAW); with neither the service is missing and IcmpCreateFile fails.
// Also here: the thread's last-error value, IPv4 name resolution for the
// pinger, and the test hooks (socket kind, faults, resolver). See docs/icmp.md.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// An IPv4 address in network byte order.
using IPAddr = ULONG;

#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#endif

constexpr DWORD ERROR_UNEXP_NET_ERR = 59;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

// Status values of an echo (the reply record's Status, and the last error of
// a failed IcmpSendEcho).
constexpr ULONG IP_SUCCESS = 0;
constexpr ULONG IP_BUF_TOO_SMALL = 11001;
constexpr ULONG IP_DEST_NET_UNREACHABLE = 11002;
constexpr ULONG IP_DEST_HOST_UNREACHABLE = 11003;
constexpr ULONG IP_REQ_TIMED_OUT = 11010;
constexpr ULONG IP_BAD_DESTINATION = 11018;
// Also given for a reply whose echoed data differs from the request's.
constexpr ULONG IP_GENERAL_FAILURE = 11050;

// The IP header's don't-fragment flag in IP_OPTION_INFORMATION::Flags.
constexpr UCHAR IP_FLAG_DF = 0x02;

struct IP_OPTION_INFORMATION {
  UCHAR Ttl;
  UCHAR Tos;
  UCHAR Flags;
  UCHAR OptionsSize;  // further IP options are not supported: must be 0
  UCHAR* OptionsData;
};

// One reply, stored at the start of the caller's reply buffer; the echoed
// data follows it in the same buffer and Data points there.
struct ICMP_ECHO_REPLY {
  IPAddr Address;        // the host that replied
  ULONG Status;          // IP_SUCCESS or one of the IP_ values above
  ULONG RoundTripTime;   // milliseconds
  USHORT DataSize;       // bytes of echoed data
  USHORT Reserved;
  PVOID Data;            // the echoed data, inside the reply buffer
  IP_OPTION_INFORMATION Options;  // Ttl: the reply's time-to-live where known
};

// Drops every capability of the calling thread except CAP_NET_RAW, which stays
// permitted but not effective, and, where allowed (CAP_SETPCAP), shrinks the
// bounding set to it; IcmpCreateFile makes it effective only while it opens a
// raw socket. Call first thing in main(), before any thread starts (threads
// inherit the sets of the thread that starts them). For a program given
// cap_net_raw as a file capability (so that ordinary users can ping), that is
// all the privilege it keeps. False when the sets could not be changed.
bool IcmpKeepOnlyEchoPrivilege();

// The calling thread's last-error value, set by the calls that say so.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Opens an echo handle. INVALID_HANDLE_VALUE when no ICMP socket may be
// opened (last error ERROR_ACCESS_DENIED when refused for want of rights,
// ERROR_NOT_SUPPORTED otherwise).
HANDLE IcmpCreateFile();

// Closes an echo handle. FALSE (last error ERROR_INVALID_HANDLE) for a handle
// that is not open, so closing twice is harmless.
BOOL IcmpCloseHandle(HANDLE IcmpHandle);

// Sends one echo request of RequestSize bytes from RequestData to
// DestinationAddress with RequestOptions (TTL, TOS, don't-fragment; null: the
// defaults of the system) and waits up to Timeout ms for the reply. The reply
// buffer needs room for one ICMP_ECHO_REPLY followed by max(RequestSize, 8)
// bytes. Returns 1 when a reply came back with the request's data; 0
// otherwise, with the last error set to the reason (ERROR_INVALID_HANDLE,
// ERROR_INVALID_PARAMETER, IP_BUF_TOO_SMALL, IP_BAD_DESTINATION for 0.0.0.0
// and 255.255.255.255, IP_REQ_TIMED_OUT, IP_DEST_*_UNREACHABLE,
// IP_GENERAL_FAILURE for altered data or a socket error); wherever the
// reply buffer is usable its record's Status carries that reason too. A handle
// serves one echo at a time; concurrent calls on it wait for each other.
DWORD IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, PVOID RequestData, WORD RequestSize,
                   IP_OPTION_INFORMATION* RequestOptions, PVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);

// Resolves a host text to an IPv4 address (network byte order): a dotted
// address as it stands, with no lookup; any other non-empty text through the
// name resolver (the system's, by getaddrinfo for IPv4, unless a test replaced
// it). False when the text is empty or the name does not resolve.
bool IcmpResolveHostIPv4(const char* host, IPAddr* address);

// ---- Test hooks. The settings are process-wide; tests set them and put them
// back (IcmpTestReset) before they end.

enum class IcmpSocketKind { None, Datagram, Raw };

// Which kinds IcmpCreateFile may open, tried in this order: datagram, raw.
// Both by default.
void IcmpTestAllowSocketKinds(bool datagram, bool raw);
// The kind of socket an open handle uses (None for a handle that is not open).
IcmpSocketKind IcmpTestSocketKind(HANDLE IcmpHandle);

// Faults applied to every later echo until cleared. dropReplies discards each
// matching reply, so the echo times out; alterReplyData flips the first
// echoed byte of a matching reply before it is compared with the request.
struct IcmpTestFaults {
  bool dropReplies = false;
  bool alterReplyData = false;
};
void IcmpTestSetFaults(const IcmpTestFaults& faults);
// How many replies the faults have acted on since the last IcmpTestReset, so
// a test can tell that its fault really met a reply.
int IcmpTestFaultsFired();

// Replaces the name resolver (null restores the system's). It gets a non-empty
// text that is not a dotted address and returns true with the address set.
using IcmpNameResolver = bool (*)(const char* name, IPAddr* address);
void IcmpTestSetNameResolver(IcmpNameResolver resolver);

// Both socket kinds allowed, no faults, fired count 0, the system resolver.
void IcmpTestReset();

// ---- Reading a received packet (used by IcmpSendEcho; a function of its own
// so that it can be tried on any bytes).

// An echo reply found in a packet; data points into the packet.
struct IcmpReply {
  IPAddr from = 0;
  int ttl = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// True when `packet` (size bytes, from `from` with `ttl` as the socket
// reported them) is the echo reply from `destination` to `sequence`. A raw
// socket's packet starts with the IP header, whose source and TTL then count,
// and its identifier must be rawId; a datagram socket's packet is the ICMP
// message alone, its identifier already matched by the kernel.
bool IcmpMatchReply(IcmpSocketKind kind, std::uint16_t rawId, const std::uint8_t* packet, std::size_t size,
                    IPAddr from, int ttl, IPAddr destination, std::uint16_t sequence, IcmpReply* reply);
