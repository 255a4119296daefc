// Interface queries and settings, scans, the network and BSS lists, profiles.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "platform/widetext.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/Memory.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/Radio.h"
#include "platform/wlansim/Service.h"

namespace wlansim {
namespace {

constexpr DWORD kGrantedAccess = 0x00070023;  // read, execute and write access
// FILETIME (100 ns units since 1601) of 2026-01-01: the host clock of world time 0.
constexpr ULONGLONG kHostEpoch = 134116992000000000ull;

template <typename T>
T* Items(void* list, std::size_t offset) {
  return reinterpret_cast<T*>(static_cast<BYTE*>(list) + offset);
}

// Allocates a list of `count` items after an 8-byte header (room for one at least).
void* AllocateList(std::size_t header, std::size_t itemSize, std::size_t count) {
  return AllocateBlock(header + itemSize * std::max<std::size_t>(count, 1));
}

void* AllocateValue(const void* value, DWORD size, DWORD* outSize) {
  void* block = AllocateBlock(size);
  if (!block) return nullptr;
  std::memcpy(block, value, size);
  *outSize = size;
  return block;
}

USHORT Capabilities(const AccessPoint& ap) {
  USHORT caps = ap.bssType == dot11_BSS_type_independent ? 0x0002 : 0x0001;
  if (ap.securityEnabled) caps |= 0x0010;
  if (ap.frequencyKHz < 4900000) caps |= 0x0020;  // short preamble
  if (ap.phyType == dot11_phy_type_erp || ap.phyType == dot11_phy_type_ht) caps |= 0x0400;  // short slot time
  return caps;
}

}  // namespace

#define WLANSIM_CHECK(op)                                      \
  if (const DWORD e = CheckClientLocked(handle)) return e;     \
  if (DWORD fault = 0; FaultFires(op, &fault)) return fault;

DWORD Service::EnumInterfaces(HANDLE handle, WLAN_INTERFACE_INFO_LIST** list) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::EnumInterfaces);
  constexpr std::size_t kHeader = offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo);
  void* block = AllocateList(kHeader, sizeof(WLAN_INTERFACE_INFO), m_adapters.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_INTERFACE_INFO_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(m_adapters.size());
  out->dwIndex = 0;
  auto* items = Items<WLAN_INTERFACE_INFO>(block, kHeader);
  for (std::size_t i = 0; i < m_adapters.size(); ++i) {
    items[i].InterfaceGuid = m_adapters[i].guid;
    CopyWide(items[i].strInterfaceDescription, WLAN_MAX_NAME_LENGTH, Utf8ToWide(m_adapters[i].description));
    items[i].isState = m_adapters[i].state;
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Service::QueryInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD* size, PVOID* data,
                              WLAN_OPCODE_VALUE_TYPE* valueType) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::QueryInterface);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  const std::int64_t now = m_clock.Now();
  const Station* st = a->assoc ? &a->stations[static_cast<std::size_t>(a->assocStation)] : nullptr;
  void* block = nullptr;
  WLAN_OPCODE_VALUE_TYPE type = wlan_opcode_value_type_query_only;
  switch (op) {
    case wlan_intf_opcode_autoconf_enabled:
    case wlan_intf_opcode_background_scan_enabled: {
      const BOOL value = (op == wlan_intf_opcode_autoconf_enabled ? a->autoconf : a->backgroundScan) ? TRUE : FALSE;
      block = AllocateValue(&value, sizeof value, size);
      type = wlan_opcode_value_type_set_by_user;
      break;
    }
    case wlan_intf_opcode_interface_state: {
      const DWORD value = static_cast<DWORD>(a->state);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_bss_type: {
      const DOT11_BSS_TYPE value = a->assoc ? a->assoc->bssType : dot11_BSS_type_infrastructure;
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_current_connection: {
      if (!st) return ERROR_INVALID_STATE;
      WLAN_CONNECTION_ATTRIBUTES attr;
      std::memset(&attr, 0, sizeof attr);
      attr.isState = a->state;
      attr.wlanConnectionMode = a->assoc->mode;
      CopyWide(attr.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(a->assoc->profileName));
      WLAN_ASSOCIATION_ATTRIBUTES& as = attr.wlanAssociationAttributes;
      FillSsid(&as.dot11Ssid, a->assoc->ssid);
      as.dot11BssType = a->assoc->bssType;
      std::memcpy(as.dot11Bssid, a->assoc->bssid.data(), 6);
      as.dot11PhyType = st->ap.phyType;
      as.uDot11PhyIndex = 0;
      as.wlanSignalQuality = QualityFromRssi(RssiAt(m_seed, st->ap, now));
      as.ulRxRate = as.ulTxRate = MaxRateKbps(st->ap);
      WLAN_SECURITY_ATTRIBUTES& sec = attr.wlanSecurityAttributes;
      sec.bSecurityEnabled = st->ap.securityEnabled ? TRUE : FALSE;
      sec.bOneXEnabled = FALSE;
      sec.dot11AuthAlgorithm = st->ap.authAlgorithm;
      sec.dot11CipherAlgorithm = st->ap.cipher;
      block = AllocateValue(&attr, sizeof attr, size);
      break;
    }
    case wlan_intf_opcode_channel_number: {
      if (!st) return ERROR_INVALID_STATE;
      const ULONG value = ChannelOf(st->ap.frequencyKHz);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_rssi: {
      if (!st) return ERROR_INVALID_STATE;
      const LONG value = RssiAt(m_seed, st->ap, now);
      block = AllocateValue(&value, sizeof value, size);
      break;
    }
    case wlan_intf_opcode_media_streaming_mode:
    case wlan_intf_opcode_radio_state:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  *data = block;
  if (valueType) *valueType = type;
  return ERROR_SUCCESS;
}

DWORD Service::SetInterface(HANDLE handle, const GUID& guid, WLAN_INTF_OPCODE op, DWORD size, const void* data) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::SetInterface);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (op != wlan_intf_opcode_autoconf_enabled && op != wlan_intf_opcode_background_scan_enabled) {
    switch (op) {
      case wlan_intf_opcode_media_streaming_mode:
      case wlan_intf_opcode_radio_state:
      case wlan_intf_opcode_bss_type:
      case wlan_intf_opcode_interface_state:
      case wlan_intf_opcode_current_connection:
      case wlan_intf_opcode_channel_number:
      case wlan_intf_opcode_rssi:
        return ERROR_NOT_SUPPORTED;
      default:
        return ERROR_INVALID_PARAMETER;
    }
  }
  if (size != sizeof(BOOL)) return ERROR_INVALID_PARAMETER;
  BOOL raw = FALSE;
  std::memcpy(&raw, data, sizeof raw);
  const bool value = raw != FALSE;
  const bool autoconf = op == wlan_intf_opcode_autoconf_enabled;
  bool& current = autoconf ? a->autoconf : a->backgroundScan;
  if (current == value) return ERROR_SUCCESS;
  current = value;
  const DWORD code = autoconf ? (value ? wlan_notification_acm_autoconf_enabled : wlan_notification_acm_autoconf_disabled)
                              : (value ? wlan_notification_acm_background_scan_enabled
                                       : wlan_notification_acm_background_scan_disabled);
  const std::size_t index = IndexOf(*a);
  const std::int64_t now = m_clock.Now();
  At(now, [this, index, code](std::int64_t) { Emit(m_adapters[index], WLAN_NOTIFICATION_SOURCE_ACM, code); });
  if (autoconf && value && a->autoReconnect && !a->assoc) ScheduleReconnect(index, now + m_timing.reconnectDelayMs);
  return ERROR_SUCCESS;
}

DWORD Service::Scan(HANDLE handle, const GUID& guid) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::Scan);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (!a->ready) return ERROR_NOT_READY;
  DWORD reason = 0;
  const bool fails = FaultFires(Op::ScanOutcome, &reason);
  const std::size_t index = IndexOf(*a);
  At(m_clock.Now() + m_timing.scanMs, [this, index, fails, reason](std::int64_t) {
    if (fails)
      Emit(m_adapters[index], WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_fail, DwordPayload(reason));
    else
      Emit(m_adapters[index], WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_scan_complete);
  });
  return ERROR_SUCCESS;
}

DWORD Service::GetAvailableNetworkList(HANDLE handle, const GUID& guid, WLAN_AVAILABLE_NETWORK_LIST** list) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::GetAvailableNetworkList);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (!a->ready) return ERROR_NOT_READY;
  const std::int64_t now = m_clock.Now();

  // Networks: the stations in the air grouped by (SSID as beaconed, BSS type,
  // security, cipher), in the order the world lists their first station.
  struct Network {
    std::string ssid;
    const AccessPoint* first;
    std::vector<std::size_t> stations;
  };
  std::vector<Network> networks;
  // Network of each (SSID, BSS type, security, cipher) key, so that grouping
  // thousands of stations stays linear.
  std::unordered_map<std::string, std::size_t> networkOf;
  for (std::size_t s = 0; s < a->stations.size(); ++s) {
    const AccessPoint& ap = a->stations[s].ap;
    if (!OnAir(*a, a->stations[s], now)) continue;
    const std::string ssid = ap.hidden ? std::string() : ap.ssid;
    std::string key = ssid;
    const std::int32_t tail[] = {static_cast<std::int32_t>(ap.bssType), ap.securityEnabled ? 1 : 0,
                                 static_cast<std::int32_t>(ap.cipher)};
    key.append(reinterpret_cast<const char*>(tail), sizeof tail);
    const auto [it, added] = networkOf.try_emplace(std::move(key), networks.size());
    if (added) networks.push_back(Network{ssid, &ap, {}});
    networks[it->second].stations.push_back(s);
  }

  // Entries: one per (profile, network) match in profile order first, then one per network.
  struct Entry {
    const Network* network;
    const StoredProfile* profile;
    bool profileFits;
  };
  std::vector<Entry> entries;
  for (const StoredProfile& p : a->profiles) {
    ParsedProfile parsed;
    if (ParseProfileXml(p.xml, &parsed) != WLAN_REASON_CODE_SUCCESS) continue;
    for (const Network& n : networks)
      if (!n.ssid.empty() && n.ssid == parsed.ssid && n.first->bssType == parsed.bssType)
        entries.push_back(Entry{&n, &p, parsed.SecurityEnabled() == n.first->securityEnabled});
  }
  for (const Network& n : networks) entries.push_back(Entry{&n, nullptr, true});

  // The connected flag goes to the entry of the profile in use, else to the network's plain entry.
  const Entry* connected = nullptr;
  if (a->assoc) {
    for (const Entry& e : entries) {
      const auto& st = e.network->stations;
      if (std::find(st.begin(), st.end(), static_cast<std::size_t>(a->assocStation)) == st.end()) continue;
      if (e.profile && e.profile->name == a->assoc->profileName) {
        connected = &e;
        break;
      }
      if (!e.profile && !connected) connected = &e;
    }
  }

  constexpr std::size_t kHeader = offsetof(WLAN_AVAILABLE_NETWORK_LIST, Network);
  void* block = AllocateList(kHeader, sizeof(WLAN_AVAILABLE_NETWORK), entries.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_AVAILABLE_NETWORK_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(entries.size());
  auto* items = Items<WLAN_AVAILABLE_NETWORK>(block, kHeader);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    WLAN_AVAILABLE_NETWORK& n = items[i];
    if (e.profile) CopyWide(n.strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(e.profile->name));
    FillSsid(&n.dot11Ssid, e.network->ssid);
    n.dot11BssType = e.network->first->bssType;
    n.uNumberOfBssids = static_cast<ULONG>(e.network->stations.size());
    n.bNetworkConnectable = e.profileFits ? TRUE : FALSE;
    n.wlanNotConnectableReason = e.profileFits ? WLAN_REASON_CODE_SUCCESS : WLAN_REASON_CODE_NETWORK_NOT_COMPATIBLE;
    ULONG quality = 0;
    for (std::size_t s : e.network->stations) {
      const AccessPoint& ap = a->stations[s].ap;
      quality = std::max(quality, QualityFromRssi(RssiAt(m_seed, ap, now)));
      const auto end = n.dot11PhyTypes + n.uNumberOfPhyTypes;
      if (std::find(n.dot11PhyTypes, end, ap.phyType) != end) continue;
      if (n.uNumberOfPhyTypes < 8)
        n.dot11PhyTypes[n.uNumberOfPhyTypes++] = ap.phyType;
      else
        n.bMorePhyTypes = TRUE;
    }
    n.wlanSignalQuality = quality;
    n.bSecurityEnabled = e.network->first->securityEnabled ? TRUE : FALSE;
    n.dot11DefaultAuthAlgorithm = e.network->first->authAlgorithm;
    n.dot11DefaultCipherAlgorithm = e.network->first->cipher;
    if (e.profile) n.dwFlags |= WLAN_AVAILABLE_NETWORK_HAS_PROFILE;
    if (&e == connected) n.dwFlags |= WLAN_AVAILABLE_NETWORK_CONNECTED;
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Service::GetNetworkBssList(HANDLE handle, const GUID& guid, const DOT11_SSID* ssid, DOT11_BSS_TYPE type,
                                 bool security, WLAN_BSS_LIST** list) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::GetNetworkBssList);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (!a->ready) return ERROR_NOT_READY;
  const std::int64_t now = m_clock.Now();

  std::vector<const AccessPoint*> matches;
  if (ssid) {
    // Only the stations beaconing this SSID, through the index. A length
    // above 32 matches nothing, as no beaconed SSID is that long.
    if (ssid->uSSIDLength <= DOT11_SSID_MAX_LENGTH) {
      const std::string beaconed(reinterpret_cast<const char*>(ssid->ucSSID), ssid->uSSIDLength);
      if (const auto it = a->stationsBySsid.find(beaconed); it != a->stationsBySsid.end()) {
        for (std::size_t index : it->second) {
          const Station& s = a->stations[index];
          if (type != dot11_BSS_type_any && s.ap.bssType != type) continue;
          if (s.ap.securityEnabled != security) continue;
          if (OnAir(*a, s, now)) matches.push_back(&s.ap);
        }
      }
    }
  } else {
    for (const Station& s : a->stations)
      if (OnAir(*a, s, now)) matches.push_back(&s.ap);
  }

  constexpr std::size_t kHeader = offsetof(WLAN_BSS_LIST, wlanBssEntries);
  // The entries' information elements follow the entries, in their order.
  std::size_t elementBytes = 0;
  for (const AccessPoint* ap : matches) elementBytes += ap->elements.size();
  const std::size_t entriesEnd = kHeader + sizeof(WLAN_BSS_ENTRY) * matches.size();
  void* block = AllocateBlock(std::max(entriesEnd + elementBytes, kHeader + sizeof(WLAN_BSS_ENTRY)));  // room for one
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_BSS_LIST*>(block);
  out->dwTotalSize = static_cast<DWORD>(entriesEnd + elementBytes);
  std::size_t elementsAt = entriesEnd;
  out->dwNumberOfItems = static_cast<DWORD>(matches.size());
  auto* items = Items<WLAN_BSS_ENTRY>(block, kHeader);
  for (std::size_t i = 0; i < matches.size(); ++i) {
    const AccessPoint& ap = *matches[i];
    WLAN_BSS_ENTRY& e = items[i];
    FillSsid(&e.dot11Ssid, ap.hidden ? std::string() : ap.ssid);
    e.uPhyId = 0;
    std::memcpy(e.dot11Bssid, ap.bssid.data(), 6);
    e.dot11BssType = ap.bssType;
    e.dot11BssPhyType = ap.phyType;
    e.lRssi = RssiAt(m_seed, ap, now);
    e.uLinkQuality = QualityFromRssi(e.lRssi);
    e.bInRegDomain = TRUE;
    e.usBeaconPeriod = ap.beaconPeriod;
    // The station's own timer (microseconds), started at a BSSID-dependent moment.
    const ULONGLONG uptimeMs = 3600000ull * (1 + ap.bssid[5] % 48);
    e.ullTimestamp = (uptimeMs + static_cast<ULONGLONG>(std::max<std::int64_t>(now, 0))) * 1000ull;
    e.ullHostTimestamp = kHostEpoch + static_cast<ULONGLONG>(std::max<std::int64_t>(now, 0)) * 10000ull;
    e.usCapabilityInformation = Capabilities(ap);
    e.ulChCenterFrequency = ap.frequencyKHz;
    e.wlanRateSet.uRateSetLength = static_cast<ULONG>(2 * ap.rates.size());
    std::copy(ap.rates.begin(), ap.rates.end(), e.wlanRateSet.usRateSet);
    // The offset counts from the entry's own start.
    std::copy(ap.elements.begin(), ap.elements.end(), static_cast<UCHAR*>(block) + elementsAt);
    e.ulIeOffset = static_cast<ULONG>(elementsAt - (reinterpret_cast<UCHAR*>(&e) - static_cast<UCHAR*>(block)));
    e.ulIeSize = static_cast<ULONG>(ap.elements.size());
    elementsAt += ap.elements.size();
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Service::GetProfileList(HANDLE handle, const GUID& guid, WLAN_PROFILE_INFO_LIST** list) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::GetProfileList);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  constexpr std::size_t kHeader = offsetof(WLAN_PROFILE_INFO_LIST, ProfileInfo);
  void* block = AllocateList(kHeader, sizeof(WLAN_PROFILE_INFO), a->profiles.size());
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* out = static_cast<WLAN_PROFILE_INFO_LIST*>(block);
  out->dwNumberOfItems = static_cast<DWORD>(a->profiles.size());
  auto* items = Items<WLAN_PROFILE_INFO>(block, kHeader);
  for (std::size_t i = 0; i < a->profiles.size(); ++i) {
    CopyWide(items[i].strProfileName, WLAN_MAX_NAME_LENGTH, Utf8ToWide(a->profiles[i].name));
    items[i].dwFlags = a->profiles[i].flags;
  }
  *list = out;
  return ERROR_SUCCESS;
}

DWORD Service::GetProfile(HANDLE handle, const GUID& guid, const std::string& name, LPWSTR* xml, DWORD* flags,
                          DWORD* access) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::GetProfile);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  const int at = FindProfileLocked(*a, name);
  if (at < 0) return ERROR_NOT_FOUND;
  const StoredProfile& p = a->profiles[static_cast<std::size_t>(at)];
  const std::u16string text = Utf8ToWide(p.xml);
  auto* block = static_cast<WCHAR*>(AllocateBlock(2 * (text.size() + 1)));
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  std::copy(text.begin(), text.end(), block);
  *xml = block;
  if (flags) *flags = p.flags;
  if (access) *access = kGrantedAccess;
  return ERROR_SUCCESS;
}

DWORD Service::SetProfile(HANDLE handle, const GUID& guid, DWORD flags, const std::string& xml, bool overwrite,
                          DWORD* reason) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::SetProfile);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (flags & WLAN_PROFILE_GROUP_POLICY) return ERROR_ACCESS_DENIED;
  if (flags & ~WLAN_PROFILE_USER) return ERROR_INVALID_PARAMETER;
  if (DWORD refusal = 0; FaultFires(Op::ProfileSave, &refusal)) {
    *reason = refusal;
    return ERROR_BAD_PROFILE;
  }
  ParsedProfile parsed;
  if (const WLAN_REASON_CODE rc = ParseProfileXml(xml, &parsed); rc != WLAN_REASON_CODE_SUCCESS) {
    *reason = rc;
    return ERROR_BAD_PROFILE;
  }
  if (!overwrite && FindProfileLocked(*a, parsed.name) >= 0) return ERROR_ALREADY_EXISTS;
  StoreProfileLocked(*a, parsed.name, xml, flags);
  const std::size_t index = IndexOf(*a);
  At(m_clock.Now(), [this, index](std::int64_t) {
    Emit(m_adapters[index], WLAN_NOTIFICATION_SOURCE_ACM, wlan_notification_acm_profile_change);
  });
  return ERROR_SUCCESS;
}

DWORD Service::Connect(HANDLE handle, const GUID& guid, const ConnectRequest& request) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::Connect);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (!a->ready) return ERROR_NOT_READY;
  a->autoReconnect = false;  // the user chose
  a->lastClientConnect = request;
  Request r;
  r.kind = RequestKind::Connect;
  r.connect = request;
  EnqueueLocked(*a, std::move(r), m_clock.Now());
  return ERROR_SUCCESS;
}

DWORD Service::Disconnect(HANDLE handle, const GUID& guid) {
  std::lock_guard<std::mutex> guard(m_lock);
  WLANSIM_CHECK(Op::Disconnect);
  AdapterState* a = FindAdapterLocked(guid);
  if (!a) return ERROR_NOT_FOUND;
  if (!a->ready) return ERROR_NOT_READY;
  a->autoReconnect = false;
  Request r;
  r.kind = RequestKind::Disconnect;
  EnqueueLocked(*a, std::move(r), m_clock.Now());
  return ERROR_SUCCESS;
}

#undef WLANSIM_CHECK

}  // namespace wlansim
