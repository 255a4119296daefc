// Test control of the simulated WLAN service (the default back end of
// platform/wlanapi.h). The service is process-wide: one world shared by all
// client handles, which survives closing the last handle.
//
// Typical test:
//
//   wlansim::World world = wlansim::BuiltInWorld();   // or build one
//   world.timing.scanMs = 100;
//   wlansim::UseManualClock(true);
//   wlansim::ResetWorld(world);                        // clock at 0, no notifications
//   wlansim::ClearFaults();
//   ... WlanOpenHandle / WlanRegisterNotification / WlanConnect ...
//   wlansim::AdvanceClock(1000);                       // let 1 s of service time pass
//   wlansim::WaitForIdle();                            // everything due is delivered
//
// With the manual clock nothing scheduled happens (scan completion,
// connection steps, signal changes, stations coming and going) until the
// clock is advanced, so a run is fully deterministic. With the real clock
// (the default) the same events happen in real time.
//
// Closing the last handle stops the notification thread: scheduled
// notifications are dropped, an attempt or disconnection in progress is
// settled at once (the adapter ends disconnected), and pending requests are
// forgotten. A connected adapter stays connected; opening a handle again
// resumes its signal watch and any pending automatic reconnection.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wlanbackend.h"
#include "platform/wlansim/World.h"

namespace wlansim {

// The world compiled into the service (docs/simulated-world.md lists it).
World BuiltInWorld();

// Reads a JSON world file (schema in docs/simulated-world.md). On failure
// returns false, leaves *world alone and sets *error to
// "<file>:<line>: <reason>".
bool LoadWorldFile(const std::string& path, World* world, std::string* error);

// Replaces the service's world and sets its clock to 0. Allowed at any time:
// with handles open, scheduled notifications and pending requests are
// dropped, registrations stay, and a callback already running finishes;
// clients should enumerate the adapters again. Faults and the clock mode are
// kept. An invalid world (ValidateWorld) is refused: false, *error says why.
bool ResetWorld(const World& world, std::string* error = nullptr);

// Back to the default world (AERLUME_SIM_WORLD's file, else the built-in
// world; AERLUME_SIM_SEED overrides its seed), the real clock and no faults.
void ResetToDefault();

// Manual clock: the service's time moves only by AdvanceClock. Switching
// keeps the current time.
void UseManualClock(bool manual);
// Moves the manual clock forward (no effect on the real clock). Returns at
// once; the notification thread then runs what fell due, in time order.
void AdvanceClock(std::uint32_t ms);
// The service's time: milliseconds since the world was set.
std::int64_t Now();

// Blocks until everything due by the current time has run and been
// delivered (handling messages sent to this thread meanwhile, so callbacks
// may SendMessage to it). False on timeout, or when called from inside a
// notification callback (it could never become idle there).
bool WaitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Operations that can be made to fail.
enum class Op {
  OpenHandle,
  CloseHandle,
  EnumInterfaces,
  RegisterNotification,
  QueryInterface,
  SetInterface,
  Scan,
  GetAvailableNetworkList,
  GetNetworkBssList,
  GetProfileList,
  GetProfile,
  SetProfile,
  Connect,
  Disconnect,
  ReasonCodeToString,
  AllocateMemory,  // WlanAllocateMemory returns null; the error is unused
  ScanOutcome,  // an accepted scan ends in scan-fail; the error is the payload's reason code
  ProfileSave,  // WlanSetProfile returns ERROR_BAD_PROFILE; the error is the reason code handed back
  // The simulated IP helper (platform/iphlpapi.h).
  GetAdaptersAddresses,
  GetInterfaceInfo,
  IpRenewAddress,
  IpReleaseAddress,
  // The performance-counter service (platform/perfcounters.h), whatever the back end.
  PerfConnectServer,  // IWbemLocator::ConnectServer; the error is its HRESULT
  PerfRefresh,  // IWbemRefresher::Refresh; the error is its HRESULT
};

// The next `count` calls of `op` (all of them when count < 0) fail with
// `error`. API faults fire after the arguments and the handle were checked
// and before anything happens. A later injection for the same op replaces
// the earlier one.
void InjectFault(Op op, DWORD error, int count = -1);
// Removes all faults and zeroes the hit counts.
void ClearFaults();
// How often the fault of `op` fired since the last ClearFaults.
int FaultHits(Op op);
// Shorthands for the two outcome faults.
inline void FailScans(WLAN_REASON_CODE reason, int count = -1) { InjectFault(Op::ScanOutcome, reason, count); }
inline void RefuseProfileSaves(WLAN_REASON_CODE reason, int count = -1) { InjectFault(Op::ProfileSave, reason, count); }

// Presence of a station: its schedule, or forced in or out of the air.
// A connected station that leaves is noticed at once (link lost, reason
// 0x3800B, then automatic reconnection when autoconf is on).
enum class Presence { Schedule, Present, Absent };
bool SetStationPresence(const GUID& adapter, const Mac& bssid, Presence presence);

// Blocks allocated by the service or WlanAllocateMemory and not yet freed.
std::size_t OutstandingAllocations();

// The stored document of a profile, or nullopt.
std::optional<std::string> GetProfileXml(const GUID& adapter, const std::string& name);
using ConnectRequest = wlanbackend::ConnectRequest;

// The last connection request a client made on the adapter, or nullopt.
std::optional<ConnectRequest> LastConnectRequest(const GUID& adapter);
// BSSID of the current association (connected or ad hoc formed), or nullopt.
std::optional<Mac> CurrentBssid(const GUID& adapter);
// Interface state as WlanQueryInterface reports it (not ready: 0; unknown adapter: 0).
WLAN_INTERFACE_STATE InterfaceState(const GUID& adapter);
// GUID of the adapter at `index` of the current world (a zero GUID when none).
GUID AdapterGuid(std::size_t index);
// Number of open client handles.
std::size_t OpenHandleCount();

}  // namespace wlansim
