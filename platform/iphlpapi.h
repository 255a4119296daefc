// The IP helper: the IPv4 configuration of the wireless adapters and their
// DHCP leases. The back end follows AERLUME_WLAN_BACKEND, as the adapters are
// the WLAN service's: "simulated" (the default) reads the simulated world
// (docs/simulated-world.md); any other name gives ERROR_NOT_SUPPORTED from
// every call.
//
// Adapters are named by the upper-case braced text of their interface GUID
// ("{6A1E2F30-4B5C-4D6E-8F70-A1B2C3D4E5F6}"); the interface table names them
// "\DEVICE\TCPIP_" followed by that text. Addresses are IPv4 socket
// addresses (sockaddr_in), readable with inet_ntoa.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/wintypes.h"

// GetAdaptersAddresses flags honoured here; the others are accepted and ignored.
constexpr ULONG GAA_FLAG_SKIP_UNICAST = 0x0001;
constexpr ULONG GAA_FLAG_SKIP_DNS_SERVER = 0x0008;

// IP_ADAPTER_ADDRESSES::Flags
constexpr DWORD IP_ADAPTER_DHCP_ENABLED = 0x0004;
// IP_ADAPTER_ADDRESSES::IfType of a wireless adapter
constexpr DWORD IF_TYPE_IEEE80211 = 71;

enum IF_OPER_STATUS { IfOperStatusUp = 1, IfOperStatusDown = 2 };

struct SOCKET_ADDRESS {
  sockaddr* lpSockaddr;  // null: no address
  INT iSockaddrLength;
};

struct IP_ADAPTER_UNICAST_ADDRESS {
  ULONG Length;  // size of this record
  DWORD Flags;
  IP_ADAPTER_UNICAST_ADDRESS* Next;
  SOCKET_ADDRESS Address;
};

struct IP_ADAPTER_DNS_SERVER_ADDRESS {
  ULONG Length;
  DWORD Reserved;
  IP_ADAPTER_DNS_SERVER_ADDRESS* Next;
  SOCKET_ADDRESS Address;
};

// One adapter; the records form a list through Next. Every pointer points
// into the caller's buffer.
struct IP_ADAPTER_ADDRESSES {
  ULONG Length;  // size of this record
  DWORD IfIndex;  // the Index of the adapter's interface-table entry
  IP_ADAPTER_ADDRESSES* Next;
  char* AdapterName;  // upper-case braced GUID text
  IP_ADAPTER_UNICAST_ADDRESS* FirstUnicastAddress;  // null: no address
  IP_ADAPTER_DNS_SERVER_ADDRESS* FirstDnsServerAddress;  // null: none
  WCHAR* Description;
  DWORD Flags;
  DWORD IfType;
  IF_OPER_STATUS OperStatus;
  SOCKET_ADDRESS Dhcpv4Server;  // lpSockaddr null: none
};

constexpr int MAX_ADAPTER_NAME = 128;

struct IP_ADAPTER_INDEX_MAP {
  ULONG Index;
  WCHAR Name[MAX_ADAPTER_NAME];  // "\DEVICE\TCPIP_{GUID}"
};

// Declared with one entry; NumAdapters entries follow in the caller's buffer.
struct IP_INTERFACE_INFO {
  LONG NumAdapters;
  IP_ADAPTER_INDEX_MAP Adapter[1];
};

// Fills the caller's buffer of *SizePointer bytes with the adapter list
// (Family AF_INET or AF_UNSPEC; AF_INET6 lists the adapters without
// addresses). Buffer null or too small: *SizePointer is set to the size
// needed and the result is ERROR_BUFFER_OVERFLOW. No adapters: ERROR_NO_DATA.
// Null SizePointer, a non-null Reserved or another family:
// ERROR_INVALID_PARAMETER.
ULONG GetAdaptersAddresses(ULONG Family, ULONG Flags, PVOID Reserved, IP_ADAPTER_ADDRESSES* AdapterAddresses,
                           ULONG* SizePointer);

// Fills the caller's buffer of *dwOutBufLen bytes with the interface table.
// Too small: *dwOutBufLen is set to the size needed and the result is
// ERROR_INSUFFICIENT_BUFFER. No adapters: ERROR_NO_DATA. Null dwOutBufLen,
// or a null table with enough size: ERROR_INVALID_PARAMETER.
DWORD GetInterfaceInfo(IP_INTERFACE_INFO* pIfTable, ULONG* dwOutBufLen);

// Renew or release the DHCP lease of the adapter of an interface-table entry
// (found by its Index). ERROR_SUCCESS, or the failure: ERROR_INVALID_PARAMETER
// for a null entry or an index no adapter has, ERROR_NOT_READY while the
// adapter is not connected, ERROR_NOT_SUPPORTED when its address is not
// leased. A released adapter has no address until it renews or connects again.
DWORD IpRenewAddress(IP_ADAPTER_INDEX_MAP* AdapterInfo);
DWORD IpReleaseAddress(IP_ADAPTER_INDEX_MAP* AdapterInfo);
