// The WLAN client: opens the service, keeps one monitor per ready adapter and
// the stored profiles, and hands every notification to the observer windows
// and then to the monitor of its adapter.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/winmsg.h"
#include "platform/wlantypes.h"

class CNativeWIFIDevice;
class CWIFIProfile;

class CNativeWIFIInterface {
 public:
  // The given window becomes observer 0; g_pWifiInterface points here.
  explicit CNativeWIFIInterface(HWND hWndObserver);
  // Unregisters notifications, deletes profiles and monitors, closes the handle.
  virtual ~CNativeWIFIInterface();

  CNativeWIFIInterface(const CNativeWIFIInterface&) = delete;
  CNativeWIFIInterface& operator=(const CNativeWIFIInterface&) = delete;

  // Opens the client, builds the monitors, registers notifications, loads the
  // profiles. Always 0; failures show only in the log.
  virtual int Initialize();
  virtual int GetDeviceCount() const;
  // First monitor whose interface GUID equals `guid`, or null.
  virtual CNativeWIFIDevice* FindDevice(const GUID& guid) const;
  // The monitor at `index`; throws std::invalid_argument outside 0..count-1.
  virtual CNativeWIFIDevice* GetDevice(int index) const;

  void AddObserver(HWND hWnd);
  // Removes every occurrence of the handle.
  void RemoveObserver(HWND hWnd);
  // Sends WM_WLAN_NOTIFY with a copy of the notification (or wParam 0 for
  // none) to every observer in list order, waiting for each.
  void BroadcastNotification(const WLAN_NOTIFICATION_DATA* pNotification);

  // The callback registered with the WLAN service; context is the client.
  static void OnWlanNotification(WLAN_NOTIFICATION_DATA* pNotification, PVOID pContext);

  // Stored profiles of all adapters, one per name.
  void LoadProfiles();
  CWIFIProfile* FindProfile(const std::string& name) const;
  int GetProfileCount() const { return static_cast<int>(m_arrProfiles.size()); }
  // Throws std::invalid_argument outside 0..count-1.
  CWIFIProfile* GetProfile(int index) const;

  HANDLE GetClientHandle() const { return m_hClient; }
  std::vector<HWND> GetObservers() const;

 private:
  void DispatchNotification(const WLAN_NOTIFICATION_DATA* pNotification);

  HANDLE m_hClient = nullptr;
  // Changed on the UI thread while the notification thread walks it: the
  // walk copies the list under this lock and sends outside it.
  mutable std::mutex m_csObservers;
  std::vector<HWND> m_arrObservers;
  // Fixed by Initialize before notifications are registered, and only
  // emptied after they are unregistered, so the notification thread may
  // read it without a lock.
  std::vector<CNativeWIFIDevice*> m_arrDevices;
  std::vector<CWIFIProfile*> m_arrProfiles;
};

// The one WLAN client while the main window exists; UI thread.
extern CNativeWIFIInterface* g_pWifiInterface;
