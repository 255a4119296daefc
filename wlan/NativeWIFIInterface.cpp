#include "wlan/NativeWIFIInterface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "eventlog/Log.h"
#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "platform/wlanbackend.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NotificationLog.h"
#include "wlan/Station.h"
#include "wlan/WIFINetwork.h"
#include "wlan/WIFIProfile.h"
#include "wlan/WlanNames.h"
#include "wlan/WlanNotificationRecord.h"

CNativeWIFIInterface* g_pWifiInterface = nullptr;

CNativeWIFIInterface::CNativeWIFIInterface(HWND hWndObserver) {
  m_arrObservers.push_back(hWndObserver);
  g_pWifiInterface = this;
}

CNativeWIFIInterface::~CNativeWIFIInterface() {
  if (m_hClient) {
    // Returns only after a callback in progress has finished, so no
    // notification reaches the monitors deleted below.
    const DWORD result = WlanRegisterNotification(m_hClient, WLAN_NOTIFICATION_SOURCE_NONE, FALSE, nullptr, nullptr,
                                                  nullptr, nullptr);
    if (result == ERROR_SUCCESS) {
      LogPrintf("ACM and MSM notifications were successfully unregistered.\n");
    } else {
      LogPrintf("Error %d occurred when unregistering ACM and MSM notifications.\n", static_cast<int>(result));
      // Still registered: closing the handle ends the registration and waits
      // for a callback in progress, before the monitors it reaches are deleted.
      WlanCloseHandle(m_hClient, nullptr);
      m_hClient = nullptr;
    }
  }
  // Refresh workers look profiles up: they end before the profiles go.
  for (CNativeWIFIDevice* device : m_arrDevices) device->StopWorkers();
  {
    std::lock_guard<std::mutex> lock(m_csProfiles);
    for (CWIFIProfile* profile : m_arrProfiles) delete profile;
    m_arrProfiles.clear();
  }
  for (CNativeWIFIDevice* device : m_arrDevices) delete device;
  m_arrDevices.clear();
  if (m_hClient) {
    WlanCloseHandle(m_hClient, nullptr);
    m_hClient = nullptr;
  }
  if (g_pWifiInterface == this) g_pWifiInterface = nullptr;
}

int CNativeWIFIInterface::Initialize() {
  DWORD negotiated = 0;
  HANDLE client = nullptr;
  if (WlanOpenHandle(WLAN_API_VERSION_2_0, nullptr, &negotiated, &client) == ERROR_SUCCESS) {
    m_hClient = client;
    // Nobody should mistake the simulated world for their radio.
    for (const std::string& line : wlanbackend::Notices()) LogPrintf("%s\n", line.c_str());
    WLAN_INTERFACE_INFO_LIST* list = nullptr;
    if (WlanEnumInterfaces(m_hClient, nullptr, &list) != ERROR_SUCCESS) list = nullptr;
    if (list) {
      for (CNativeWIFIDevice* device : m_arrDevices) delete device;
      m_arrDevices.clear();
      for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
        const WLAN_INTERFACE_INFO& info = list->InterfaceInfo[i];
        if (info.isState == wlan_interface_state_not_ready) continue;
        WCHAR description[WLAN_MAX_NAME_LENGTH + 1] = {};
        std::memcpy(description, info.strInterfaceDescription, sizeof info.strInterfaceDescription);
        m_arrDevices.push_back(new CNativeWIFIDevice(WideToLogText(description), info.InterfaceGuid, this));
      }
      const int found = static_cast<int>(list->dwNumberOfItems);
      LogPrintf("Found %d wireless interface%s.\n", found, found > 1 ? "s" : "");
    }
    if (!list || list->dwNumberOfItems == 0) LogPrintf("Couldn't find any wireless interfaces!\n");
    if (list) WlanFreeMemory(list);

    const DWORD result = WlanRegisterNotification(m_hClient, WLAN_NOTIFICATION_SOURCE_ALL, FALSE,
                                                  &CNativeWIFIInterface::OnWlanNotification, this, nullptr, nullptr);
    if (result == ERROR_SUCCESS)
      LogPrintf("ACM and MSM notifications were successfully registered.\n");
    else
      LogPrintf("Error %d occured when registering ACM and MSM notifications.\n", static_cast<int>(result));
  }
  LoadProfiles();
  return 0;
}

int CNativeWIFIInterface::GetDeviceCount() const { return static_cast<int>(m_arrDevices.size()); }

CNativeWIFIDevice* CNativeWIFIInterface::FindDevice(const GUID& guid) const {
  for (CNativeWIFIDevice* device : m_arrDevices)
    if (device->GetGuid() == guid) return device;
  return nullptr;
}

CNativeWIFIDevice* CNativeWIFIInterface::GetDevice(int index) const {
  if (index < 0 || index >= GetDeviceCount()) throw std::invalid_argument("monitor index out of range");
  return m_arrDevices[static_cast<std::size_t>(index)];
}

int CNativeWIFIInterface::GetProfileCount() const {
  std::lock_guard<std::mutex> lock(m_csProfiles);
  return static_cast<int>(m_arrProfiles.size());
}

CWIFIProfile* CNativeWIFIInterface::GetProfile(int index) const {
  std::lock_guard<std::mutex> lock(m_csProfiles);
  if (index < 0 || static_cast<std::size_t>(index) >= m_arrProfiles.size())
    throw std::invalid_argument("profile index out of range");
  return m_arrProfiles[static_cast<std::size_t>(index)];
}

void CNativeWIFIInterface::AddObserver(HWND hWnd) {
  std::lock_guard<std::mutex> lock(m_csObservers);
  m_arrObservers.push_back(hWnd);
}

void CNativeWIFIInterface::RemoveObserver(HWND hWnd) {
  std::lock_guard<std::mutex> lock(m_csObservers);
  m_arrObservers.erase(std::remove(m_arrObservers.begin(), m_arrObservers.end(), hWnd), m_arrObservers.end());
}

std::vector<HWND> CNativeWIFIInterface::GetObservers() const {
  std::lock_guard<std::mutex> lock(m_csObservers);
  return m_arrObservers;
}

void CNativeWIFIInterface::BroadcastNotification(const WLAN_NOTIFICATION_DATA* pNotification) {
  struct FreeRecord {
    void operator()(WlanNotificationRecord* p) const { std::free(p); }
  };
  std::unique_ptr<WlanNotificationRecord, FreeRecord> record;
  if (pNotification) {
    const DWORD size = pNotification->dwDataSize;
    // Zero-filled, so a notification that claims a payload without giving
    // one never hands uninitialised bytes to the observers.
    record.reset(static_cast<WlanNotificationRecord*>(std::calloc(1, WlanNotificationRecordSize(size))));
    if (!record) throw std::bad_alloc();
    std::memcpy(record.get(), pNotification, WLAN_NOTIFICATION_HEADER_SIZE);
    if (size > 0 && pNotification->pData) std::memcpy(record->data, pNotification->pData, size);
  }
  // The list is copied so that the UI thread may change it during the sends.
  for (HWND observer : GetObservers())
    SendMessage(observer, WM_WLAN_NOTIFY, reinterpret_cast<WPARAM>(record.get()), 0);
}

void CNativeWIFIInterface::OnWlanNotification(WLAN_NOTIFICATION_DATA* pNotification, PVOID pContext) {
  if (!pNotification || !pContext) return;
  static_cast<CNativeWIFIInterface*>(pContext)->DispatchNotification(pNotification);
}

void CNativeWIFIInterface::DispatchNotification(const WLAN_NOTIFICATION_DATA* pNotification) {
  BroadcastNotification(pNotification);
  bool matched = false;
  for (CNativeWIFIDevice* device : m_arrDevices) {
    if (device->GetGuid() == pNotification->InterfaceGuid) {
      device->OnWlanNotification(pNotification);
      matched = true;
    }
  }
  if (!matched) LogUnmatchedNotification(*pNotification);
}

void CNativeWIFIInterface::LoadProfiles() {
  for (CNativeWIFIDevice* device : m_arrDevices) {
    WLAN_PROFILE_INFO_LIST* list = nullptr;
    const GUID guid = device->GetGuid();
    if (WlanGetProfileList(m_hClient, &guid, nullptr, &list) != ERROR_SUCCESS || !list) continue;
    for (DWORD k = 0; k < list->dwNumberOfItems; ++k) {
      const WLAN_PROFILE_INFO& info = list->ProfileInfo[k];
      WCHAR name[WLAN_MAX_NAME_LENGTH + 1] = {};
      std::memcpy(name, info.strProfileName, sizeof info.strProfileName);
      const std::string text = WideToLogText(name);
      if (FindProfile(text)) continue;
      // Read outside the lock: the document comes from the service.
      auto* profile = new CWIFIProfile(text, info.dwFlags, static_cast<int>(k), device);
      std::lock_guard<std::mutex> lock(m_csProfiles);
      m_arrProfiles.push_back(profile);
    }
    WlanFreeMemory(list);
  }
}

CWIFIProfile* CNativeWIFIInterface::FindProfile(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_csProfiles);
  for (CWIFIProfile* profile : m_arrProfiles)
    if (profile->m_strName == name) return profile;
  return nullptr;
}

DWORD CNativeWIFIInterface::SaveProfile(CNativeWIFIDevice* pDevice, const std::string& xml, DWORD* pReason) {
  DWORD reason = 0;
  if (pReason) *pReason = 0;
  if (!pDevice || !m_hClient) return ERROR_INVALID_PARAMETER;
  const GUID guid = pDevice->GetGuid();
  const std::u16string document = Utf8ToWide(xml);
  const DWORD result = WlanSetProfile(m_hClient, &guid, 0, document.c_str(), nullptr, TRUE, nullptr, &reason);
  if (pReason) *pReason = reason;
  if (result != ERROR_SUCCESS) return result;
  ReloadProfiles(pDevice);
  return ERROR_SUCCESS;
}

void CNativeWIFIInterface::ReloadProfiles(CNativeWIFIDevice* pDevice) {
  if (!pDevice) return;
  WLAN_PROFILE_INFO_LIST* list = nullptr;
  const GUID guid = pDevice->GetGuid();
  if (WlanGetProfileList(m_hClient, &guid, nullptr, &list) != ERROR_SUCCESS || !list) return;
  for (DWORD k = 0; k < list->dwNumberOfItems; ++k) {
    const WLAN_PROFILE_INFO& info = list->ProfileInfo[k];
    WCHAR name[WLAN_MAX_NAME_LENGTH + 1] = {};
    std::memcpy(name, info.strProfileName, sizeof info.strProfileName);
    const std::string text = WideToLogText(name);
    if (CWIFIProfile* known = FindProfile(text)) {
      if (known->m_pDevice != pDevice) continue;
      known->m_dwFlags = info.dwFlags;
      known->m_nPosition = static_cast<int>(k);
      known->LoadXml();
      continue;
    }
    auto* profile = new CWIFIProfile(text, info.dwFlags, static_cast<int>(k), pDevice);
    std::lock_guard<std::mutex> lock(m_csProfiles);
    m_arrProfiles.push_back(profile);
  }
  WlanFreeMemory(list);
  for (CNativeWIFIDevice* device : m_arrDevices)
    device->ForEachStation([pDevice](CStation* station) {
      const CWIFINetwork* network = station->m_pNetwork;
      if (network && network->m_pProfile && network->m_pProfile->m_pDevice == pDevice) station->MarkChanged();
    });
}
