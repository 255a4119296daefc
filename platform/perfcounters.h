// The performance-counter service, as far as the throughput sampler uses it:
// a locator that connects to the namespace "ROOT\CIMV2", a refresher with one
// high-performance enumerator over the class
// "win32_perfformatteddata_tcpip_networkinterface", and object access by
// property handle. docs/counters.md describes the back end.
//
// Instances: one per entry of the kernel's network-interface folder
// (/sys/class/net, replaceable with SetPerfNetRoot), named by the interface
// name; and, while the simulated WLAN back end is in use, one per simulated
// adapter, named by its description as the IP helper reports it. The three
// rates are whole bytes per second between the last two refreshes of the same
// refresher (0 at its first refresh, for an instance it did not see at the
// previous one, and when a counter went backwards).
//
// Objects follow the usual reference counting: whatever a call hands out with
// a reference (CoCreateInstance, QueryInterface, ConnectServer, AddEnum,
// GetObjects) is the caller's to Release. Objects of one refresher are used
// from one thread at a time.
#pragma once

#include <string>

#include "platform/wintypes.h"

using CLSID = GUID;
using IID = GUID;
using CIMTYPE = LONG;

extern const CLSID CLSID_WbemLocator;
extern const CLSID CLSID_WbemRefresher;
extern const IID IID_IUnknown;
extern const IID IID_IWbemLocator;
extern const IID IID_IWbemServices;
extern const IID IID_IWbemRefresher;
extern const IID IID_IWbemConfigureRefresher;

// CIM types of the properties.
constexpr CIMTYPE CIM_STRING = 8;
constexpr CIMTYPE CIM_UINT32 = 19;

// Apartment, context and security values (accepted; this service has no apartments or security).
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_CALL = 3;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD EOAC_NONE = 0;

constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT RPC_E_TOO_LATE = static_cast<HRESULT>(0x80010119u);
constexpr HRESULT WBEM_E_FAILED = static_cast<HRESULT>(0x80041001u);
constexpr HRESULT WBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002u);
constexpr HRESULT WBEM_E_TYPE_MISMATCH = static_cast<HRESULT>(0x80041005u);
constexpr HRESULT WBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008u);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100Eu);
constexpr HRESULT WBEM_E_INVALID_CLASS = static_cast<HRESULT>(0x80041010u);
constexpr HRESULT WBEM_E_BUFFER_TOO_SMALL = static_cast<HRESULT>(0x8004101Cu);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

struct IUnknown {
  virtual HRESULT QueryInterface(const IID& riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IWbemContext;  // never made here; calls take null

struct IWbemServices : IUnknown {
 protected:
  ~IWbemServices() = default;
};

struct IWbemLocator : IUnknown {
  // Connects to a namespace: only "ROOT\CIMV2" (any letter case) exists, else
  // WBEM_E_INVALID_NAMESPACE. User, password, locale, authority and context
  // must be null (WBEM_E_INVALID_PARAMETER otherwise).
  virtual HRESULT ConnectServer(LPCWSTR strNetworkResource, LPCWSTR strUser, LPCWSTR strPassword, LPCWSTR strLocale,
                                LONG lSecurityFlags, LPCWSTR strAuthority, IWbemContext* pCtx,
                                IWbemServices** ppNamespace) = 0;

 protected:
  ~IWbemLocator() = default;
};

struct IWbemObjectAccess : IUnknown {
  // Handles of "Name" (CIM_STRING) and of "BytesReceivedPersec",
  // "BytesSentPersec", "BytesTotalPersec" (CIM_UINT32); WBEM_E_NOT_FOUND for
  // any other name.
  virtual HRESULT GetPropertyHandle(LPCWSTR wszPropertyName, CIMTYPE* pType, LONG* plHandle) = 0;
  // Copies the string property with its terminator into pData (lNumBytes
  // bytes); *plNumBytes is the size it needs. Too small: WBEM_E_BUFFER_TOO_SMALL.
  virtual HRESULT ReadPropertyValue(LONG lHandle, LONG lNumBytes, LONG* plNumBytes, BYTE* pData) = 0;
  // Reads a CIM_UINT32 property; WBEM_E_TYPE_MISMATCH for the name.
  virtual HRESULT ReadDWORD(LONG lHandle, DWORD* pdw) = 0;

 protected:
  ~IWbemObjectAccess() = default;
};

struct IWbemHiPerfEnum : IUnknown {
  // The instances of the last refresh. *puReturned is their number; when it
  // exceeds uNumObjects the result is WBEM_E_BUFFER_TOO_SMALL and nothing is
  // written. Each object handed out carries a reference for the caller.
  virtual HRESULT GetObjects(LONG lFlags, ULONG uNumObjects, IWbemObjectAccess** apObj, ULONG* puReturned) = 0;

 protected:
  ~IWbemHiPerfEnum() = default;
};

struct IWbemConfigureRefresher : IUnknown {
  // Adds the enumerator of a class (only
  // "win32_perfformatteddata_tcpip_networkinterface", any letter case; else
  // WBEM_E_INVALID_CLASS). One enumerator per refresher.
  virtual HRESULT AddEnum(IWbemServices* pNamespace, LPCWSTR wszClassName, LONG lFlags, IWbemContext* pContext,
                          IWbemHiPerfEnum** ppEnum, LONG* plId) = 0;

 protected:
  ~IWbemConfigureRefresher() = default;
};

struct IWbemRefresher : IUnknown {
  // Reads every instance's counters and the rates since the previous refresh.
  virtual HRESULT Refresh(LONG lFlags) = 0;

 protected:
  ~IWbemRefresher() = default;
};

// The process's use count of the service: balanced calls, as on the other
// platform. Creating objects needs it above 0 (CO_E_NOTINITIALIZED).
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
void CoUninitialize();
// Accepted once per initialised process; later calls give RPC_E_TOO_LATE.
HRESULT CoInitializeSecurity(void* pSecDesc, LONG cAuthSvc, void* asAuthSvc, void* pReserved1, DWORD dwAuthnLevel,
                             DWORD dwImpLevel, void* pAuthList, DWORD dwCapabilities, void* pReserved3);
// CLSID_WbemLocator gives an IWbemLocator, CLSID_WbemRefresher an
// IWbemRefresher (which also answers IID_IWbemConfigureRefresher).
HRESULT CoCreateInstance(const CLSID& rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, const IID& riid, void** ppv);
// Accepts services made by ConnectServer (E_INVALIDARG otherwise).
HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc, WCHAR* pServerPrincName,
                          DWORD dwAuthnLevel, DWORD dwImpLevel, void* pAuthInfo, DWORD dwCapabilities);

// Test control: the folder holding one sub-folder per interface with
// statistics/rx_bytes and statistics/tx_bytes ("/sys/class/net"; empty
// restores it). Read at each refresh.
void SetPerfNetRoot(const std::string& root);
