// The back ends behind the WLAN service interface (platform/wlanapi.h), the
// IP helper (platform/iphlpapi.h) and the adapters' counters
// (platform/perfcounters.h): the simulated service (platform/wlansim) and
// NetworkManager over the D-Bus system bus (platform/nm).
//
// The choice is made when a client handle is opened and holds for that
// handle; the IP helper and the counters follow the current choice.
// AERLUME_WLAN_BACKEND=networkmanager|simulated names the back end; unset or
// empty, AERLUME_SIM_WORLD set means simulated, else NetworkManager when it
// answers on the system bus with at least one Wi-Fi device, else simulated.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wlantypes.h"

namespace wlanbackend {

// A connection request as WlanConnect validated it (or as a service makes one).
struct ConnectRequest {
  WLAN_CONNECTION_MODE mode = wlan_connection_mode_profile;
  std::string profile;  // profile name (mode 0) or document (mode 1), UTF-8
  std::string ssid;  // raw bytes; empty: not given
  std::optional<std::array<UCHAR, 6>> bssid;  // first desired BSSID
  DOT11_BSS_TYPE bssType = dot11_BSS_type_any;
  DWORD flags = 0;
};

// One adapter as the IP helper reports it. Addresses are IPv4 in host byte
// order; 0 means none.
struct IpAdapterRecord {
  GUID guid{};
  std::string description;  // UTF-8
  bool up = false;  // connected or ad hoc network formed
  bool dhcp = false;  // the address is leased
  std::uint32_t address = 0;
  std::uint32_t dhcpServer = 0;  // only with an address
  std::uint32_t dnsServer = 0;  // only with an address
};

// The operations every back end serves. Arguments arrive checked for null
// pointers and malformed values (wlanapi.cpp); handles are the back end's own.
class Backend {
 public:
  virtual ~Backend() = default;

  virtual DWORD Open(HANDLE* handle) = 0;
  virtual DWORD Close(HANDLE handle) = 0;
  virtual DWORD Register(HANDLE handle, DWORD sources, WLAN_NOTIFICATION_CALLBACK callback, PVOID context,
                         DWORD* previous) = 0;
  virtual DWORD EnumInterfaces(HANDLE handle, WLAN_INTERFACE_INFO_LIST** list) = 0;
  virtual DWORD QueryInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD* size, PVOID* data,
                               WLAN_OPCODE_VALUE_TYPE* valueType) = 0;
  virtual DWORD SetInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD size, const void* data) = 0;
  virtual DWORD Scan(HANDLE handle, const GUID& guid) = 0;
  virtual DWORD GetAvailableNetworkList(HANDLE handle, const GUID& guid, WLAN_AVAILABLE_NETWORK_LIST** list) = 0;
  virtual DWORD GetNetworkBssList(HANDLE handle, const GUID& guid, const DOT11_SSID* ssid, DOT11_BSS_TYPE type,
                                  bool security, WLAN_BSS_LIST** list) = 0;
  virtual DWORD GetProfileList(HANDLE handle, const GUID& guid, WLAN_PROFILE_INFO_LIST** list) = 0;
  virtual DWORD GetProfile(HANDLE handle, const GUID& guid, const std::string& name, LPWSTR* xml, DWORD* flags,
                           DWORD* access) = 0;
  virtual DWORD SetProfile(HANDLE handle, const GUID& guid, DWORD flags, const std::string& xml, bool overwrite,
                           DWORD* reason) = 0;
  virtual DWORD Connect(HANDLE handle, const GUID& guid, const ConnectRequest& request) = 0;
  virtual DWORD Disconnect(HANDLE handle, const GUID& guid) = 0;

  // The IP helper's view of the adapters, in enumeration order.
  virtual std::vector<IpAdapterRecord> IpAdapters() = 0;
  virtual DWORD RenewLease(const GUID& adapter) = 0;
  virtual DWORD ReleaseLease(const GUID& adapter) = 0;
};

enum class Kind { Simulated, NetworkManager, Missing };

struct Choice {
  Kind kind = Kind::Simulated;
  // The simulated service was taken because NetworkManager did not answer
  // with a Wi-Fi device, not because it was asked for.
  bool fallback = false;
  std::string requested;  // AERLUME_WLAN_BACKEND as given (for Missing)
};

// The back end the environment selects now. The NetworkManager probe runs
// once per process and environment (variables and system bus address).
Choice Select();

// The back end of a kind (null for Missing). Both live for the whole process.
Backend* Instance(Kind kind);

// The choice of the last WlanOpenHandle, or Select() when none was opened.
Choice Current();
void SetCurrent(const Choice& choice);

// Lines the program's log should start with for the current choice: that the
// simulated world is shown when it was not asked for, and a world file the
// simulated service refused, with its error. Empty when there is nothing to say.
std::vector<std::string> Notices();

// The window title's remark for the current choice ("" when none).
std::string TitleRemark();

// The NetworkManager probe: true when it answers on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS, else the standard address) with at least one
// Wi-Fi device. Bounded by short time-outs.
bool NetworkManagerHasWifi();

}  // namespace wlanbackend
