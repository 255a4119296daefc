// The WLAN service interface over its back ends (platform/wlanbackend.h):
// the back end is chosen when a handle is opened, and every later call with
// that handle goes to it. Arguments are checked here the way the service
// checks them: null or malformed arguments and a non-null reserved pointer
// give ERROR_INVALID_PARAMETER before the handle is looked at.
#include "platform/wlanapi.h"

#include <QLoggingCategory>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/widetext.h"
#include "platform/wlanbackend.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/Memory.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/ReasonText.h"

Q_LOGGING_CATEGORY(lcWlanSimulated, "aerlume.wlan.simulated", QtWarningMsg)

namespace {

using wlanbackend::Backend;
using wlanbackend::Kind;

struct Handles {
  std::mutex lock;
  std::map<HANDLE, Kind> kinds;
};

Handles& TheHandles() {
  static Handles* handles = new Handles;  // the API may be called during static destruction
  return *handles;
}

Kind KindOf(HANDLE handle) {
  Handles& h = TheHandles();
  std::lock_guard<std::mutex> guard(h.lock);
  const auto it = h.kinds.find(handle);
  // A handle no back end gave out goes to the simulated service, which refuses it.
  return it == h.kinds.end() ? Kind::Simulated : it->second;
}

Backend& For(HANDLE handle) { return *wlanbackend::Instance(KindOf(handle)); }

// Logs a call of the simulated service (the NetworkManager back end logs its own D-Bus traffic).
DWORD Logged(HANDLE handle, const char* call, DWORD result) {
  if (KindOf(handle) == Kind::Simulated) qCDebug(lcWlanSimulated, "%s -> %lu", call, static_cast<unsigned long>(result));
  return result;
}

bool ValidSsid(const DOT11_SSID* ssid) { return !ssid || ssid->uSSIDLength <= DOT11_SSID_MAX_LENGTH; }

bool ValidBssType(DOT11_BSS_TYPE type) {
  return type == dot11_BSS_type_infrastructure || type == dot11_BSS_type_independent || type == dot11_BSS_type_any;
}

}  // namespace

DWORD WlanOpenHandle(DWORD dwClientVersion, PVOID pReserved, DWORD* pdwNegotiatedVersion, HANDLE* phClientHandle) {
  if (phClientHandle) *phClientHandle = nullptr;
  if (pReserved || !pdwNegotiatedVersion || !phClientHandle) return ERROR_INVALID_PARAMETER;
  if (dwClientVersion != 1 && dwClientVersion != WLAN_API_VERSION_2_0) return ERROR_NOT_SUPPORTED;
  const wlanbackend::Choice choice = wlanbackend::Select();
  Backend* backend = wlanbackend::Instance(choice.kind);
  if (!backend) {
    std::fprintf(stderr, "aerlume: WLAN back end '%s' is not available (known: networkmanager, simulated)\n",
                 choice.requested.c_str());
    return ERROR_SERVICE_NOT_ACTIVE;
  }
  const DWORD result = backend->Open(phClientHandle);
  if (result != ERROR_SUCCESS) return result;
  {
    Handles& h = TheHandles();
    std::lock_guard<std::mutex> guard(h.lock);
    h.kinds[*phClientHandle] = choice.kind;
  }
  wlanbackend::SetCurrent(choice);
  *pdwNegotiatedVersion = WLAN_API_VERSION_2_0;
  return Logged(*phClientHandle, "WlanOpenHandle", result);
}

DWORD WlanCloseHandle(HANDLE hClientHandle, PVOID pReserved) {
  if (pReserved) return ERROR_INVALID_PARAMETER;
  const DWORD result = Logged(hClientHandle, "WlanCloseHandle", For(hClientHandle).Close(hClientHandle));
  if (result == ERROR_SUCCESS) {
    Handles& h = TheHandles();
    std::lock_guard<std::mutex> guard(h.lock);
    h.kinds.erase(hClientHandle);
  }
  return result;
}

DWORD WlanEnumInterfaces(HANDLE hClientHandle, PVOID pReserved, WLAN_INTERFACE_INFO_LIST** ppInterfaceList) {
  if (ppInterfaceList) *ppInterfaceList = nullptr;
  if (pReserved || !ppInterfaceList) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanEnumInterfaces", For(hClientHandle).EnumInterfaces(hClientHandle, ppInterfaceList));
}

DWORD WlanRegisterNotification(HANDLE hClientHandle, DWORD dwNotifSource, BOOL /*bIgnoreDuplicate*/,
                               WLAN_NOTIFICATION_CALLBACK funcCallback, PVOID pCallbackContext, PVOID pReserved,
                               DWORD* pdwPrevNotifSource) {
  if (pReserved || (dwNotifSource & ~WLAN_NOTIFICATION_SOURCE_ALL) != 0) return ERROR_INVALID_PARAMETER;
  if (dwNotifSource != WLAN_NOTIFICATION_SOURCE_NONE && !funcCallback) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanRegister", For(hClientHandle).Register(hClientHandle, dwNotifSource, funcCallback, pCallbackContext,
                                      pdwPrevNotifSource));
}

DWORD WlanQueryInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, PVOID pReserved,
                         DWORD* pdwDataSize, PVOID* ppData, WLAN_OPCODE_VALUE_TYPE* pWlanOpcodeValueType) {
  if (ppData) *ppData = nullptr;
  if (pdwDataSize) *pdwDataSize = 0;
  if (pReserved || !pInterfaceGuid || !pdwDataSize || !ppData) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanQueryInterface", For(hClientHandle).QueryInterface(hClientHandle, *pInterfaceGuid, OpCode, pdwDataSize, ppData,
                                            pWlanOpcodeValueType));
}

DWORD WlanSetInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, DWORD dwDataSize,
                       const PVOID pData, PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !pData || dwDataSize == 0) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanSetInterface", For(hClientHandle).SetInterface(hClientHandle, *pInterfaceGuid, OpCode, dwDataSize, pData));
}

DWORD WlanScan(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid, const PVOID /*pIeData*/,
               PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !ValidSsid(pDot11Ssid)) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanScan", For(hClientHandle).Scan(hClientHandle, *pInterfaceGuid));
}

DWORD WlanGetAvailableNetworkList(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, PVOID pReserved,
                                  WLAN_AVAILABLE_NETWORK_LIST** ppAvailableNetworkList) {
  if (ppAvailableNetworkList) *ppAvailableNetworkList = nullptr;
  // Flags: include all ad hoc profiles (1), include all manual hidden profiles (2).
  if (pReserved || !pInterfaceGuid || !ppAvailableNetworkList || (dwFlags & ~0x3u) != 0)
    return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanGetAvailableNetworkList", For(hClientHandle).GetAvailableNetworkList(hClientHandle, *pInterfaceGuid, ppAvailableNetworkList));
}

DWORD WlanGetNetworkBssList(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid,
                            DOT11_BSS_TYPE dot11BssType, BOOL bSecurityEnabled, PVOID pReserved,
                            WLAN_BSS_LIST** ppWlanBssList) {
  if (ppWlanBssList) *ppWlanBssList = nullptr;
  if (pReserved || !pInterfaceGuid || !ppWlanBssList || !ValidSsid(pDot11Ssid)) return ERROR_INVALID_PARAMETER;
  if (pDot11Ssid && !ValidBssType(dot11BssType)) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanGetNetworkBssList", For(hClientHandle).GetNetworkBssList(hClientHandle, *pInterfaceGuid, pDot11Ssid, dot11BssType,
                                               bSecurityEnabled != FALSE, ppWlanBssList));
}

DWORD WlanGetProfileList(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved,
                         WLAN_PROFILE_INFO_LIST** ppProfileList) {
  if (ppProfileList) *ppProfileList = nullptr;
  if (pReserved || !pInterfaceGuid || !ppProfileList) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanGetProfileList", For(hClientHandle).GetProfileList(hClientHandle, *pInterfaceGuid, ppProfileList));
}

DWORD WlanGetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, LPCWSTR strProfileName, PVOID pReserved,
                     LPWSTR* pstrProfileXml, DWORD* pdwFlags, DWORD* pdwGrantedAccess) {
  if (pstrProfileXml) *pstrProfileXml = nullptr;
  if (pReserved || !pInterfaceGuid || !strProfileName || !pstrProfileXml) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanGetProfile", For(hClientHandle).GetProfile(hClientHandle, *pInterfaceGuid, WideToUtf8(strProfileName), pstrProfileXml,
                                        pdwFlags, pdwGrantedAccess));
}

DWORD WlanSetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, LPCWSTR strProfileXml,
                     LPCWSTR /*strAllUserProfileSecurity*/, BOOL bOverwrite, PVOID pReserved, DWORD* pdwReasonCode) {
  if (pdwReasonCode) *pdwReasonCode = WLAN_REASON_CODE_SUCCESS;
  if (pReserved || !pInterfaceGuid || !strProfileXml || !pdwReasonCode) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanSetProfile", For(hClientHandle).SetProfile(hClientHandle, *pInterfaceGuid, dwFlags, WideToUtf8(strProfileXml),
                                        bOverwrite != FALSE, pdwReasonCode));
}

DWORD WlanConnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, const WLAN_CONNECTION_PARAMETERS* p,
                  PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !p) return ERROR_INVALID_PARAMETER;
  wlanbackend::ConnectRequest request;
  request.mode = p->wlanConnectionMode;
  request.bssType = p->dot11BssType;
  request.flags = p->dwFlags;
  if (!ValidBssType(p->dot11BssType) || !ValidSsid(p->pDot11Ssid)) return ERROR_INVALID_PARAMETER;
  if (p->pDot11Ssid)
    request.ssid.assign(reinterpret_cast<const char*>(p->pDot11Ssid->ucSSID), p->pDot11Ssid->uSSIDLength);
  if (const DOT11_BSSID_LIST* list = p->pDesiredBssidList) {
    if (list->Header.Type != NDIS_OBJECT_TYPE_DEFAULT || list->uNumOfEntries > list->uTotalNumOfEntries)
      return ERROR_INVALID_PARAMETER;
    if (list->uNumOfEntries > 0) {
      std::array<UCHAR, 6> first;
      std::memcpy(first.data(), list->BSSIDs[0], 6);
      request.bssid = first;
    }
  }
  switch (p->wlanConnectionMode) {
    case wlan_connection_mode_profile:
      if (!p->strProfile || !*p->strProfile) return ERROR_INVALID_PARAMETER;
      request.profile = WideToUtf8(p->strProfile);
      break;
    case wlan_connection_mode_temporary_profile: {
      if (!p->strProfile) return ERROR_INVALID_PARAMETER;
      request.profile = WideToUtf8(p->strProfile);
      wlansim::ParsedProfile parsed;
      if (wlansim::ParseProfileXml(request.profile, &parsed) != WLAN_REASON_CODE_SUCCESS) return ERROR_BAD_PROFILE;
      break;
    }
    case wlan_connection_mode_discovery_secure:
    case wlan_connection_mode_discovery_unsecure:
      // Without a profile the SSID is all the service has to look for.
      if (request.ssid.empty()) return ERROR_INVALID_PARAMETER;
      break;
    case wlan_connection_mode_auto:  // the service's own mode, not a client's
    case wlan_connection_mode_invalid:
    default:
      return ERROR_INVALID_PARAMETER;
  }
  return Logged(hClientHandle, "WlanConnect", For(hClientHandle).Connect(hClientHandle, *pInterfaceGuid, request));
}

DWORD WlanDisconnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved) {
  if (pReserved || !pInterfaceGuid) return ERROR_INVALID_PARAMETER;
  return Logged(hClientHandle, "WlanDisconnect", For(hClientHandle).Disconnect(hClientHandle, *pInterfaceGuid));
}

DWORD WlanReasonCodeToString(DWORD dwReasonCode, DWORD dwBufferSize, WCHAR* pStringBuffer, PVOID pReserved) {
  if (pReserved || !pStringBuffer || dwBufferSize == 0) return ERROR_INVALID_PARAMETER;
  if (DWORD fault = 0; wlansim::FaultFires(wlansim::Op::ReasonCodeToString, &fault)) return fault;
  const char16_t* text = wlansim::ReasonText(dwReasonCode);
  if (!text) return ERROR_NOT_FOUND;
  const std::size_t length = std::char_traits<char16_t>::length(text);
  if (length + 1 > dwBufferSize) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(pStringBuffer, text, 2 * (length + 1));
  return ERROR_SUCCESS;
}

PVOID WlanAllocateMemory(DWORD dwMemorySize) {
  if (wlansim::FaultFires(wlansim::Op::AllocateMemory, nullptr)) return nullptr;
  return wlansim::AllocateBlock(dwMemorySize);
}

void WlanFreeMemory(PVOID pMemory) {
  if (!wlansim::FreeBlock(pMemory))
    std::fprintf(stderr, "aerlume: WlanFreeMemory ignored %p, which the WLAN service did not allocate\n", pMemory);
}
