#include "platform/wlansim/SimControl.h"

#include "platform/wlansim/Memory.h"
#include "platform/wlansim/Service.h"

namespace wlansim {

bool ResetWorld(const World& world, std::string* error) { return Service::Instance().ResetWorld(world, error); }
void ResetToDefault() {
  ClearFaults();
  Service::Instance().ResetToDefault();
}
void UseManualClock(bool manual) { Service::Instance().UseManualClock(manual); }
void AdvanceClock(std::uint32_t ms) { Service::Instance().AdvanceClock(ms); }
std::int64_t Now() { return Service::Instance().Now(); }
bool WaitForIdle(std::chrono::milliseconds timeout) { return Service::Instance().WaitForIdle(timeout); }
bool SetStationPresence(const GUID& adapter, const Mac& bssid, Presence presence) {
  return Service::Instance().SetStationPresence(adapter, bssid, presence);
}
std::size_t OutstandingAllocations() { return LiveBlocks(); }
std::optional<std::string> GetProfileXml(const GUID& adapter, const std::string& name) {
  return Service::Instance().ProfileXml(adapter, name);
}
std::optional<Mac> CurrentBssid(const GUID& adapter) { return Service::Instance().CurrentBssid(adapter); }
WLAN_INTERFACE_STATE InterfaceState(const GUID& adapter) { return Service::Instance().InterfaceState(adapter); }
std::optional<ConnectRequest> LastConnectRequest(const GUID& adapter) {
  return Service::Instance().LastConnectRequest(adapter);
}
GUID AdapterGuid(std::size_t index) { return Service::Instance().AdapterGuid(index); }
std::size_t OpenHandleCount() { return Service::Instance().OpenHandleCount(); }

}  // namespace wlansim
