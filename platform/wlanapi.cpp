// The WLAN service interface over its back ends. Today the only back end is
// the simulated service (platform/wlansim); AERLUME_WLAN_BACKEND names the
// back end when a handle is opened. Arguments are checked here the way the
// service checks them: null or malformed arguments and a non-null reserved
// pointer give ERROR_INVALID_PARAMETER before the handle is looked at.
#include "platform/wlanapi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/widetext.h"
#include "platform/wlansim/Faults.h"
#include "platform/wlansim/Memory.h"
#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/ReasonText.h"
#include "platform/wlansim/Service.h"

namespace {

using wlansim::Service;

bool SimulatedBackendSelected() {
  const char* name = std::getenv("AERLUME_WLAN_BACKEND");
  if (!name || !*name || std::strcmp(name, "simulated") == 0) return true;
  std::fprintf(stderr, "aerlume: WLAN back end '%s' is not available (known: simulated)\n", name);
  return false;
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
  if (!SimulatedBackendSelected()) return ERROR_SERVICE_NOT_ACTIVE;
  const DWORD result = Service::Instance().Open(phClientHandle);
  if (result == ERROR_SUCCESS) *pdwNegotiatedVersion = WLAN_API_VERSION_2_0;
  return result;
}

DWORD WlanCloseHandle(HANDLE hClientHandle, PVOID pReserved) {
  if (pReserved) return ERROR_INVALID_PARAMETER;
  return Service::Instance().Close(hClientHandle);
}

DWORD WlanEnumInterfaces(HANDLE hClientHandle, PVOID pReserved, WLAN_INTERFACE_INFO_LIST** ppInterfaceList) {
  if (ppInterfaceList) *ppInterfaceList = nullptr;
  if (pReserved || !ppInterfaceList) return ERROR_INVALID_PARAMETER;
  return Service::Instance().EnumInterfaces(hClientHandle, ppInterfaceList);
}

DWORD WlanRegisterNotification(HANDLE hClientHandle, DWORD dwNotifSource, BOOL /*bIgnoreDuplicate*/,
                               WLAN_NOTIFICATION_CALLBACK funcCallback, PVOID pCallbackContext, PVOID pReserved,
                               DWORD* pdwPrevNotifSource) {
  if (pReserved || (dwNotifSource & ~WLAN_NOTIFICATION_SOURCE_ALL) != 0) return ERROR_INVALID_PARAMETER;
  if (dwNotifSource != WLAN_NOTIFICATION_SOURCE_NONE && !funcCallback) return ERROR_INVALID_PARAMETER;
  return Service::Instance().Register(hClientHandle, dwNotifSource, funcCallback, pCallbackContext,
                                      pdwPrevNotifSource);
}

DWORD WlanQueryInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, PVOID pReserved,
                         DWORD* pdwDataSize, PVOID* ppData, WLAN_OPCODE_VALUE_TYPE* pWlanOpcodeValueType) {
  if (ppData) *ppData = nullptr;
  if (pdwDataSize) *pdwDataSize = 0;
  if (pReserved || !pInterfaceGuid || !pdwDataSize || !ppData) return ERROR_INVALID_PARAMETER;
  return Service::Instance().QueryInterface(hClientHandle, *pInterfaceGuid, OpCode, pdwDataSize, ppData,
                                            pWlanOpcodeValueType);
}

DWORD WlanSetInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, DWORD dwDataSize,
                       const PVOID pData, PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !pData || dwDataSize == 0) return ERROR_INVALID_PARAMETER;
  return Service::Instance().SetInterface(hClientHandle, *pInterfaceGuid, OpCode, dwDataSize, pData);
}

DWORD WlanScan(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid, const PVOID /*pIeData*/,
               PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !ValidSsid(pDot11Ssid)) return ERROR_INVALID_PARAMETER;
  return Service::Instance().Scan(hClientHandle, *pInterfaceGuid);
}

DWORD WlanGetAvailableNetworkList(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, PVOID pReserved,
                                  WLAN_AVAILABLE_NETWORK_LIST** ppAvailableNetworkList) {
  if (ppAvailableNetworkList) *ppAvailableNetworkList = nullptr;
  // Flags: include all ad hoc profiles (1), include all manual hidden profiles (2).
  if (pReserved || !pInterfaceGuid || !ppAvailableNetworkList || (dwFlags & ~0x3u) != 0)
    return ERROR_INVALID_PARAMETER;
  return Service::Instance().GetAvailableNetworkList(hClientHandle, *pInterfaceGuid, ppAvailableNetworkList);
}

DWORD WlanGetNetworkBssList(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid,
                            DOT11_BSS_TYPE dot11BssType, BOOL bSecurityEnabled, PVOID pReserved,
                            WLAN_BSS_LIST** ppWlanBssList) {
  if (ppWlanBssList) *ppWlanBssList = nullptr;
  if (pReserved || !pInterfaceGuid || !ppWlanBssList || !ValidSsid(pDot11Ssid)) return ERROR_INVALID_PARAMETER;
  if (pDot11Ssid && !ValidBssType(dot11BssType)) return ERROR_INVALID_PARAMETER;
  return Service::Instance().GetNetworkBssList(hClientHandle, *pInterfaceGuid, pDot11Ssid, dot11BssType,
                                               bSecurityEnabled != FALSE, ppWlanBssList);
}

DWORD WlanGetProfileList(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved,
                         WLAN_PROFILE_INFO_LIST** ppProfileList) {
  if (ppProfileList) *ppProfileList = nullptr;
  if (pReserved || !pInterfaceGuid || !ppProfileList) return ERROR_INVALID_PARAMETER;
  return Service::Instance().GetProfileList(hClientHandle, *pInterfaceGuid, ppProfileList);
}

DWORD WlanGetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, LPCWSTR strProfileName, PVOID pReserved,
                     LPWSTR* pstrProfileXml, DWORD* pdwFlags, DWORD* pdwGrantedAccess) {
  if (pstrProfileXml) *pstrProfileXml = nullptr;
  if (pReserved || !pInterfaceGuid || !strProfileName || !pstrProfileXml) return ERROR_INVALID_PARAMETER;
  return Service::Instance().GetProfile(hClientHandle, *pInterfaceGuid, WideToUtf8(strProfileName), pstrProfileXml,
                                        pdwFlags, pdwGrantedAccess);
}

DWORD WlanSetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, LPCWSTR strProfileXml,
                     LPCWSTR /*strAllUserProfileSecurity*/, BOOL bOverwrite, PVOID pReserved, DWORD* pdwReasonCode) {
  if (pdwReasonCode) *pdwReasonCode = WLAN_REASON_CODE_SUCCESS;
  if (pReserved || !pInterfaceGuid || !strProfileXml || !pdwReasonCode) return ERROR_INVALID_PARAMETER;
  return Service::Instance().SetProfile(hClientHandle, *pInterfaceGuid, dwFlags, WideToUtf8(strProfileXml),
                                        bOverwrite != FALSE, pdwReasonCode);
}

DWORD WlanConnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, const WLAN_CONNECTION_PARAMETERS* p,
                  PVOID pReserved) {
  if (pReserved || !pInterfaceGuid || !p) return ERROR_INVALID_PARAMETER;
  wlansim::ConnectRequest request;
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
      wlansim::Mac first;
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
  return Service::Instance().Connect(hClientHandle, *pInterfaceGuid, request);
}

DWORD WlanDisconnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved) {
  if (pReserved || !pInterfaceGuid) return ERROR_INVALID_PARAMETER;
  return Service::Instance().Disconnect(hClientHandle, *pInterfaceGuid);
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
