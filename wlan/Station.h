// One access point or ad hoc peer as an adapter monitor has heard it,
// identified by its BSSID, with the text renderings every window uses.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wlantypes.h"
#include "wlan/InformationElements.h"
#include "wlan/LinkQualityHistory.h"

class CNativeWIFIDevice;
class CStation;
class CWIFINetwork;

// The open properties window of a station, as the core sees it. The window
// itself lives with the widgets; the station only asks it to close when the
// station goes away.
class CStationWindow {
 public:
  virtual ~CStationWindow() = default;
  // Closes the window; afterwards it must not touch the station again.
  virtual void DestroyStationWindow() = 0;
};

// A pointer to a station that the station clears when it is deleted, for
// windows that show a station for longer than they can vouch for it (the
// monitor that owns the station may be deleted meanwhile). User-interface
// thread only, like the station's creation and deletion.
class CStationWatch {
 public:
  CStationWatch() = default;
  ~CStationWatch() { Reset(nullptr); }
  CStationWatch(const CStationWatch&) = delete;
  CStationWatch& operator=(const CStationWatch&) = delete;

  // Watches `pStation` (null: nothing) instead of the station watched so far.
  void Reset(CStation* pStation);
  // The station, or null when none is watched or it has been deleted.
  CStation* Get() const { return m_pStation; }

 private:
  friend class CStation;
  CStation* m_pStation = nullptr;
};

// Threads: the monitor's refresh worker writes m_lRssi, m_uLinkQuality,
// m_tLastSeen and m_bChanged while the user-interface thread reads them, so
// those four are atomics. The information elements are the refresh worker's
// alone; what they say is read under m_csElements. Everything else is fixed
// at construction or (the history, the properties window) touched by the
// user-interface thread only.
class CStation {
 public:
  static constexpr LONG kMissingRssi = -100;

  CStation(CNativeWIFIDevice* pDevice, CWIFINetwork* pNetwork, const DOT11_MAC_ADDRESS& bssid, std::string strSSID,
           int nCipherAlgorithm, ULONG uLinkQuality, LONG lRssi, int nPhyType, UINT usBeaconPeriod,
           ULONG ulCenterFrequency, int nBssType, const WLAN_RATE_SET& rateSet, std::int64_t tNow);
  // Closes the properties window first (it may still read the station), then
  // clears the watches; the history goes with the members.
  ~CStation();

  CStation(const CStation&) = delete;
  CStation& operator=(const CStation&) = delete;

  // PHY index 0..4 of a BSS entry's dot11BssPhyType.
  static int PhyIndexOf(int dot11BssPhyType);
  // BSS type of a BSS entry's dot11BssType: 1 and 2 kept, anything else 3.
  static int BssTypeOf(int dot11BssType);
  // SSID bytes as narrow text, cut at uSSIDLength (at most 32) and at the
  // first NUL. A claimed length above 32 never reads past the record.
  static std::string SsidText(const DOT11_SSID& ssid) { return std::string(SsidView(ssid)); }
  // The same bytes as a view into the record.
  static std::string_view SsidView(const DOT11_SSID& ssid);

  std::string GetMacText() const;
  std::string GetSSID() const { return m_strSSID; }
  // The primary channel of the centre frequency on the 2.4, 5 (and 4.9) or
  // 6 GHz band (ChannelFromKHz), 0 when the frequency is no channel.
  int GetChannel() const;
  std::string GetChannelText() const;
  std::string GetRssiText() const;
  std::string GetLinkQualityText() const;
  std::string GetBeaconPeriodText() const;
  std::string GetPhyTypeText() const;
  std::string GetDataRatesText() const;
  std::string GetCipherText() const;
  // What the beacon's information elements say; empty while none were heard
  // (the band comes from the frequency and is always known).
  std::string GetBandText() const;  // "2.4 GHz", "5 GHz", "6 GHz"
  std::string GetWidthText() const;  // "20 MHz" ... "320 MHz", "80+80 MHz"
  std::string GetStandardText() const;  // "802.11b" ... "802.11be"
  std::string GetAuthenticationText() const;  // WlanAuthenticationText
  std::string GetPmfText() const;  // "required", "capable", "no"
  // The organisation that registered the BSSID's OUI; empty for a locally
  // administered address, an unknown prefix, or while the registry loads.
  std::string GetVendorText() const;
  // The same as numbers for sorting: the band, the width in MHz (0 where the
  // text is empty, 80+80 after 160) and the generation.
  WlanBand GetBand() const;
  int GetWidthMHz() const;
  WlanStandard GetStandard() const;
  // Whether elements were heard, and what they say.
  bool HasElements() const;
  WlanElementInfo GetElementInfo() const;

  // Refresh worker (or before the station is shared): the BSS entry's
  // information elements and capability field. They are parsed only when the
  // bytes differ from the last ones; the row is marked changed only when
  // what they say differs.
  void UpdateElements(const std::uint8_t* data, std::size_t size, int capability);

  // True when the monitor's current association is this station's BSSID.
  // Asks the service, so it is not for hot loops over many stations.
  bool IsConnected() const;
  // The one rule of "connected": `currentBssid` is the adapter's association
  // (all zeros: none) and it is this station's BSSID.
  bool IsConnectedTo(const UCHAR currentBssid[6]) const;
  // "Connected" when IsConnected, otherwise empty.
  std::string GetStatusText() const;

  // User-interface thread, every 20 ms: appends to the history (capped).
  void AddLinkQualitySample(int value) { m_lstLinkQuality.push_back(value); }

  // Refresh worker: the station was heard again. Marks it changed when RSSI
  // or link quality differ; the last-seen time always advances.
  void UpdateSighting(LONG lRssi, ULONG uLinkQuality, std::int64_t tNow);
  // Refresh worker: the station was not heard in this pass. Marks it
  // changed when it was not shown missing already.
  void MarkMissing();
  // User-interface thread: clears the changed flag and tells whether it was
  // set. Call it before reading the values for the row: the flag is set with
  // release after the values are stored, so values read afterwards are at
  // least as new as the change that set it.
  // A plain load first: most stations are unchanged on most ticks.
  bool TakeChanged() {
    return m_bChanged.load(std::memory_order_acquire) && m_bChanged.exchange(false, std::memory_order_acq_rel);
  }
  // Something the row shows besides the sighting changed (its network's
  // profile was saved): the list rewrites the row.
  void MarkChanged() { SetChanged(); }

  DOT11_MAC_ADDRESS m_bssid;
  std::string m_strSSID;
  int m_nCipherAlgorithm;
  std::atomic<LONG> m_lRssi;
  std::atomic<ULONG> m_uLinkQuality;
  int m_nPhyType;
  UINT m_usBeaconPeriod;
  ULONG m_ulCenterFrequency;
  int m_nBssType;
  ULONG m_uRateSetLength;
  USHORT m_usRateSet[DOT11_RATE_SET_MAX_LENGTH];
  CNativeWIFIDevice* m_pDevice;
  CWIFINetwork* m_pNetwork;
  std::int64_t m_tFirstSeen;
  std::atomic<std::int64_t> m_tLastSeen;
  std::atomic<bool> m_bChanged;
  CLinkQualityHistory m_lstLinkQuality;
  CStationWindow* m_pPropertiesWnd = nullptr;

 private:
  friend class CStationWatch;
  void SetChanged() { m_bChanged.store(true, std::memory_order_release); }

  std::vector<std::uint8_t> m_elements;  // refresh worker only
  int m_nCapability = -1;  // refresh worker only
  mutable std::mutex m_csElements;
  bool m_bHasElements = false;  // guarded by m_csElements
  WlanElementInfo m_elementInfo;  // guarded by m_csElements

  // The watches pointing here; usually none or one (the graph).
  std::vector<CStationWatch*> m_watches;
};

static_assert(std::atomic<LONG>::is_always_lock_free && std::atomic<ULONG>::is_always_lock_free &&
              std::atomic<std::int64_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
