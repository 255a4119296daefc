// The IP helper over the WLAN back ends (platform/wlanbackend.h): it follows
// the same choice as WlanOpenHandle and hands back the adapter records of the
// chosen back end. Arguments are checked first, then an injected fault of the
// simulated service fires, then the back end is asked.
#include "platform/iphlpapi.h"

#include <arpa/inet.h>

#include <atomic>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/uuidtext.h"
#include "platform/widetext.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlanbackend.h"

namespace {

using Record = wlanbackend::IpAdapterRecord;

// Interface indexes of the adapters, in list order; 1 is commonly the loopback interface's.
constexpr DWORD kFirstIfIndex = 11;

// The chosen back end, or null (ERROR_NOT_SUPPORTED) when it is not available.
wlanbackend::Backend* ChosenBackend(bool* simulated) {
  const wlanbackend::Choice choice = wlanbackend::Select();
  *simulated = choice.kind == wlanbackend::Kind::Simulated;
  if (choice.kind == wlanbackend::Kind::Missing) {
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
      std::fprintf(stderr, "aerlume: IP helper back end '%s' is not available (known: networkmanager, simulated)\n",
                   choice.requested.c_str());
  }
  return wlanbackend::Instance(choice.kind);
}

// The adapters, unless the back end is missing or `fault` fires.
DWORD ReadAdapters(wlansim::Op fault, std::vector<Record>* out) {
  bool simulated = false;
  wlanbackend::Backend* backend = ChosenBackend(&simulated);
  if (!backend) return ERROR_NOT_SUPPORTED;
  if (DWORD error = 0; simulated && wlansim::FaultFires(fault, &error)) return error;
  *out = backend->IpAdapters();
  return ERROR_SUCCESS;
}

std::string GuidText(const GUID& guid) {
  RPC_CSTR text = nullptr;
  if (UuidToStringA(&guid, &text) != RPC_S_OK) return {};
  std::string out = "{" + std::string(reinterpret_cast<const char*>(text)) + "}";
  RpcStringFreeA(&text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Places records one after another in the caller's buffer, each 8-byte
// aligned; without a buffer it only counts the bytes.
class Arena {
 public:
  explicit Arena(char* base) : m_base(base) {}
  bool Writing() const { return m_base != nullptr; }
  std::size_t Used() const { return m_used; }

  // `count` zeroed objects of T, or null while counting.
  template <typename T>
  T* New(std::size_t count = 1) {
    static_assert(alignof(T) <= kAlign);
    const std::size_t at = m_used;
    m_used += (count * sizeof(T) + kAlign - 1) / kAlign * kAlign;
    if (!m_base) return nullptr;
    T* first = reinterpret_cast<T*>(m_base + at);
    for (std::size_t i = 0; i < count; ++i) new (first + i) T{};
    return first;
  }

 private:
  static constexpr std::size_t kAlign = 8;
  char* m_base;
  std::size_t m_used = 0;
};

SOCKET_ADDRESS Ipv4(Arena& arena, std::uint32_t address) {
  sockaddr_in* in = arena.New<sockaddr_in>();
  if (!in) return {nullptr, 0};
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = htonl(address);
  return {reinterpret_cast<sockaddr*>(in), static_cast<INT>(sizeof(sockaddr_in))};
}

void LayOutAdapters(const std::vector<Record>& records, bool ipv4, ULONG flags, Arena& arena) {
  IP_ADAPTER_ADDRESSES* previous = nullptr;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    IP_ADAPTER_ADDRESSES* entry = arena.New<IP_ADAPTER_ADDRESSES>();
    const std::string name = GuidText(r.guid);
    char* nameAt = arena.New<char>(name.size() + 1);
    const std::u16string description = Utf8ToWide(r.description);
    WCHAR* descriptionAt = arena.New<WCHAR>(description.size() + 1);
    const bool unicast = ipv4 && r.address && !(flags & GAA_FLAG_SKIP_UNICAST);
    const bool dns = ipv4 && r.dnsServer && !(flags & GAA_FLAG_SKIP_DNS_SERVER);
    const bool dhcp = ipv4 && r.dhcpServer;
    IP_ADAPTER_UNICAST_ADDRESS* unicastAt = unicast ? arena.New<IP_ADAPTER_UNICAST_ADDRESS>() : nullptr;
    const SOCKET_ADDRESS unicastAddress = unicast ? Ipv4(arena, r.address) : SOCKET_ADDRESS{};
    IP_ADAPTER_DNS_SERVER_ADDRESS* dnsAt = dns ? arena.New<IP_ADAPTER_DNS_SERVER_ADDRESS>() : nullptr;
    const SOCKET_ADDRESS dnsAddress = dns ? Ipv4(arena, r.dnsServer) : SOCKET_ADDRESS{};
    const SOCKET_ADDRESS dhcpAddress = dhcp ? Ipv4(arena, r.dhcpServer) : SOCKET_ADDRESS{};
    if (!arena.Writing()) continue;

    entry->Length = sizeof(IP_ADAPTER_ADDRESSES);
    entry->IfIndex = kFirstIfIndex + static_cast<DWORD>(i);
    std::memcpy(nameAt, name.c_str(), name.size() + 1);
    entry->AdapterName = nameAt;
    std::memcpy(descriptionAt, description.c_str(), 2 * (description.size() + 1));
    entry->Description = descriptionAt;
    if (unicastAt) {
      unicastAt->Length = sizeof(IP_ADAPTER_UNICAST_ADDRESS);
      unicastAt->Address = unicastAddress;
      entry->FirstUnicastAddress = unicastAt;
    }
    if (dnsAt) {
      dnsAt->Length = sizeof(IP_ADAPTER_DNS_SERVER_ADDRESS);
      dnsAt->Address = dnsAddress;
      entry->FirstDnsServerAddress = dnsAt;
    }
    entry->Dhcpv4Server = dhcpAddress;
    entry->Flags = r.dhcp ? IP_ADAPTER_DHCP_ENABLED : 0;
    entry->IfType = IF_TYPE_IEEE80211;
    entry->OperStatus = r.up ? IfOperStatusUp : IfOperStatusDown;
    if (previous) previous->Next = entry;
    previous = entry;
  }
}

// The adapter behind an interface-table entry, by its index.
const Record* ByIndex(const std::vector<Record>& records, const IP_ADAPTER_INDEX_MAP& entry) {
  if (entry.Index < kFirstIfIndex || entry.Index - kFirstIfIndex >= records.size()) return nullptr;
  return &records[entry.Index - kFirstIfIndex];
}

// Renew or release: find the adapter, then the fault, then the back end.
DWORD LeaseCall(IP_ADAPTER_INDEX_MAP* entry, wlansim::Op fault, bool renew) {
  if (!entry) return ERROR_INVALID_PARAMETER;
  bool simulated = false;
  wlanbackend::Backend* backend = ChosenBackend(&simulated);
  if (!backend) return ERROR_NOT_SUPPORTED;
  const std::vector<Record> records = backend->IpAdapters();
  const Record* adapter = ByIndex(records, *entry);
  if (!adapter) return ERROR_INVALID_PARAMETER;
  if (DWORD error = 0; simulated && wlansim::FaultFires(fault, &error)) return error;
  return renew ? backend->RenewLease(adapter->guid) : backend->ReleaseLease(adapter->guid);
}

}  // namespace

ULONG GetAdaptersAddresses(ULONG Family, ULONG Flags, PVOID Reserved, IP_ADAPTER_ADDRESSES* AdapterAddresses,
                           ULONG* SizePointer) {
  if (Reserved || !SizePointer || (Family != AF_INET && Family != AF_UNSPEC && Family != AF_INET6))
    return ERROR_INVALID_PARAMETER;
  std::vector<Record> records;
  if (const DWORD error = ReadAdapters(wlansim::Op::GetAdaptersAddresses, &records)) return error;
  if (records.empty()) return ERROR_NO_DATA;
  const bool ipv4 = Family != AF_INET6;
  Arena counter(nullptr);
  LayOutAdapters(records, ipv4, Flags, counter);
  if (!AdapterAddresses || *SizePointer < counter.Used()) {
    *SizePointer = static_cast<ULONG>(counter.Used());
    return ERROR_BUFFER_OVERFLOW;
  }
  Arena writer(reinterpret_cast<char*>(AdapterAddresses));
  LayOutAdapters(records, ipv4, Flags, writer);
  return ERROR_SUCCESS;
}

DWORD GetInterfaceInfo(IP_INTERFACE_INFO* pIfTable, ULONG* dwOutBufLen) {
  if (!dwOutBufLen) return ERROR_INVALID_PARAMETER;
  std::vector<Record> records;
  if (const DWORD error = ReadAdapters(wlansim::Op::GetInterfaceInfo, &records)) return error;
  if (records.empty()) return ERROR_NO_DATA;
  const std::size_t needed = offsetof(IP_INTERFACE_INFO, Adapter) + records.size() * sizeof(IP_ADAPTER_INDEX_MAP);
  if (*dwOutBufLen < needed) {
    *dwOutBufLen = static_cast<ULONG>(needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (!pIfTable) return ERROR_INVALID_PARAMETER;
  char* base = reinterpret_cast<char*>(pIfTable);
  std::memset(base, 0, needed);
  pIfTable->NumAdapters = static_cast<LONG>(records.size());
  auto* entries = reinterpret_cast<IP_ADAPTER_INDEX_MAP*>(base + offsetof(IP_INTERFACE_INFO, Adapter));
  for (std::size_t i = 0; i < records.size(); ++i) {
    entries[i].Index = kFirstIfIndex + static_cast<ULONG>(i);
    CopyWide(entries[i].Name, MAX_ADAPTER_NAME, Utf8ToWide("\\DEVICE\\TCPIP_" + GuidText(records[i].guid)));
  }
  return ERROR_SUCCESS;
}

DWORD IpRenewAddress(IP_ADAPTER_INDEX_MAP* AdapterInfo) {
  return LeaseCall(AdapterInfo, wlansim::Op::IpRenewAddress, true);
}

DWORD IpReleaseAddress(IP_ADAPTER_INDEX_MAP* AdapterInfo) {
  return LeaseCall(AdapterInfo, wlansim::Op::IpReleaseAddress, false);
}
