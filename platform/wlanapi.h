// The native WLAN service interface. The back end is chosen when a client
// handle is opened, by AERLUME_WLAN_BACKEND ("simulated", the default, is the
// built-in simulated service). Results the service allocates are released
// with WlanFreeMemory; buffers passed in come from WlanAllocateMemory or the
// caller. Notifications reach the registered callback on a thread of the
// service, one at a time, in order.
#pragma once

#include "platform/wlantypes.h"

DWORD WlanOpenHandle(DWORD dwClientVersion, PVOID pReserved, DWORD* pdwNegotiatedVersion, HANDLE* phClientHandle);
DWORD WlanCloseHandle(HANDLE hClientHandle, PVOID pReserved);
DWORD WlanEnumInterfaces(HANDLE hClientHandle, PVOID pReserved, WLAN_INTERFACE_INFO_LIST** ppInterfaceList);
// dwNotifSource 0 unregisters; it returns only after a callback in progress
// on another thread has finished (handling sent messages while it waits).
DWORD WlanRegisterNotification(HANDLE hClientHandle, DWORD dwNotifSource, BOOL bIgnoreDuplicate,
                               WLAN_NOTIFICATION_CALLBACK funcCallback, PVOID pCallbackContext, PVOID pReserved,
                               DWORD* pdwPrevNotifSource);
DWORD WlanQueryInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, PVOID pReserved,
                         DWORD* pdwDataSize, PVOID* ppData, WLAN_OPCODE_VALUE_TYPE* pWlanOpcodeValueType);
DWORD WlanSetInterface(HANDLE hClientHandle, const GUID* pInterfaceGuid, WLAN_INTF_OPCODE OpCode, DWORD dwDataSize,
                       const PVOID pData, PVOID pReserved);
DWORD WlanScan(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid, const PVOID pIeData,
               PVOID pReserved);
DWORD WlanGetAvailableNetworkList(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, PVOID pReserved,
                                  WLAN_AVAILABLE_NETWORK_LIST** ppAvailableNetworkList);
DWORD WlanGetNetworkBssList(HANDLE hClientHandle, const GUID* pInterfaceGuid, const DOT11_SSID* pDot11Ssid,
                            DOT11_BSS_TYPE dot11BssType, BOOL bSecurityEnabled, PVOID pReserved,
                            WLAN_BSS_LIST** ppWlanBssList);
DWORD WlanGetProfileList(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved,
                         WLAN_PROFILE_INFO_LIST** ppProfileList);
DWORD WlanGetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, LPCWSTR strProfileName, PVOID pReserved,
                     LPWSTR* pstrProfileXml, DWORD* pdwFlags, DWORD* pdwGrantedAccess);
DWORD WlanSetProfile(HANDLE hClientHandle, const GUID* pInterfaceGuid, DWORD dwFlags, LPCWSTR strProfileXml,
                     LPCWSTR strAllUserProfileSecurity, BOOL bOverwrite, PVOID pReserved, DWORD* pdwReasonCode);
DWORD WlanConnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, const WLAN_CONNECTION_PARAMETERS* pConnectionParameters,
                  PVOID pReserved);
DWORD WlanDisconnect(HANDLE hClientHandle, const GUID* pInterfaceGuid, PVOID pReserved);
DWORD WlanReasonCodeToString(DWORD dwReasonCode, DWORD dwBufferSize, WCHAR* pStringBuffer, PVOID pReserved);
PVOID WlanAllocateMemory(DWORD dwMemorySize);
void WlanFreeMemory(PVOID pMemory);
