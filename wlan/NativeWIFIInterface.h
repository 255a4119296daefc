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
  // Any thread.
  CWIFIProfile* FindProfile(const std::string& name) const;
  int GetProfileCount() const;
  // Throws std::invalid_argument outside 0..count-1.
  CWIFIProfile* GetProfile(int index) const;

  // Hands a profile document to the service for the monitor's adapter
  // (overwriting a profile of the same name). On success re-reads that
  // adapter's profiles (ReloadProfiles) and returns ERROR_SUCCESS; otherwise
  // returns the service's error with its reason code in *pReason and changes
  // nothing. User-interface thread.
  DWORD SaveProfile(CNativeWIFIDevice* pDevice, const std::string& xml, DWORD* pReason);
  // Re-reads the adapter's profile list: the adapter's own profiles take
  // their new position, flags and document (and with it both automatic
  // flags); names not yet known are appended; a name that belongs to another
  // adapter's profile is left alone. Stations whose network links one of the
  // adapter's profiles are marked changed so that the list rewrites their
  // rows. Profiles are never removed or replaced, so pointers to them stay
  // valid. User-interface thread.
  void ReloadProfiles(CNativeWIFIDevice* pDevice);

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
  // Refresh workers look names up while the user-interface thread may append
  // a profile after a save: the list itself is read and grown under this
  // lock. The profiles' fields need none: a name never changes, and the rest
  // is read and written on the user-interface thread only.
  mutable std::mutex m_csProfiles;
  std::vector<CWIFIProfile*> m_arrProfiles;
};

// The one WLAN client while the main window exists; UI thread.
extern CNativeWIFIInterface* g_pWifiInterface;
