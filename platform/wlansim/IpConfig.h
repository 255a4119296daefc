// The IP configuration of the simulated adapters, as the IP helper stand-in
// (platform/iphlpapi.h) reads and changes it. An adapter holds its world's
// addresses (World.h, IpSettings) while it is connected or has formed an ad
// hoc network and its lease was not released on that association.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "platform/wlanbackend.h"

namespace wlansim {

using IpAdapterRecord = wlanbackend::IpAdapterRecord;

// Every adapter of the current world, in world order.
std::vector<IpAdapterRecord> IpAdapters();

// Lease operations. Both fail with ERROR_NOT_FOUND for an adapter the world
// does not have, ERROR_NOT_READY while it is not connected, and
// ERROR_NOT_SUPPORTED when it has no leased address (no valid address or no
// DHCP server). Releasing drops the address until the adapter renews or
// connects again; releasing twice succeeds.
DWORD RenewLease(const GUID& adapter);
DWORD ReleaseLease(const GUID& adapter);

// Host-order value of a dotted-decimal address in 127.0.0.0/8; 0 for any
// other text (malformed, or an address beyond this machine).
std::uint32_t ParseLoopbackAddress(const std::string& text);

}  // namespace wlansim
