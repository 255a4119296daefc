#include "platform/wlansim/IpConfig.h"

#include <arpa/inet.h>

#include "platform/wlansim/Service.h"

namespace wlansim {

std::uint32_t ParseLoopbackAddress(const std::string& text) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return 0;
  const std::uint32_t value = ntohl(parsed.s_addr);
  return (value >> 24) == 127 ? value : 0;
}

std::vector<IpAdapterRecord> IpAdapters() { return Service::Instance().IpAdapters(); }
DWORD RenewLease(const GUID& adapter) { return Service::Instance().RenewLease(adapter); }
DWORD ReleaseLease(const GUID& adapter) { return Service::Instance().ReleaseLease(adapter); }

namespace {

// Why a lease operation cannot run on `a`, or ERROR_SUCCESS.
template <typename State>
DWORD LeaseRefusal(const State* a) {
  if (!a) return ERROR_NOT_FOUND;
  if (!a->assoc) return ERROR_NOT_READY;
  if (!ParseLoopbackAddress(a->ip.address) || !ParseLoopbackAddress(a->ip.dhcpServer)) return ERROR_NOT_SUPPORTED;
  return ERROR_SUCCESS;
}

}  // namespace

std::vector<IpAdapterRecord> Service::IpAdapters() {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<IpAdapterRecord> out;
  out.reserve(m_adapters.size());
  for (const AdapterState& a : m_adapters) {
    IpAdapterRecord r;
    r.guid = a.guid;
    r.description = a.description;
    r.up = a.assoc.has_value();
    r.dhcp = ParseLoopbackAddress(a.ip.dhcpServer) != 0;
    const bool released = a.leaseReleased && a.leaseGeneration == a.linkGeneration;
    if (r.up && !released) r.address = ParseLoopbackAddress(a.ip.address);
    if (r.address) {
      r.dhcpServer = ParseLoopbackAddress(a.ip.dhcpServer);
      r.dnsServer = ParseLoopbackAddress(a.ip.dnsServer);
    }
    out.push_back(std::move(r));
  }
  return out;
}

DWORD Service::RenewLease(const GUID& adapter) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (const DWORD refusal = LeaseRefusal(a)) return refusal;
  a->leaseReleased = false;
  return ERROR_SUCCESS;
}

DWORD Service::ReleaseLease(const GUID& adapter) {
  std::lock_guard<std::mutex> guard(m_lock);
  AdapterState* a = FindAdapterLocked(adapter);
  if (const DWORD refusal = LeaseRefusal(a)) return refusal;
  a->leaseReleased = true;
  a->leaseGeneration = a->linkGeneration;
  return ERROR_SUCCESS;
}

}  // namespace wlansim
