// The upper pane of the main window: the network status panel, the
// link-quality graph and the station list (one row per station any adapter
// has heard), plus the four timers that drive the program's periodic work.
//
// The list is a QTableView over CStationTableModel; the model keeps the rows'
// texts and the station -> row index, so matching a station to its row never
// scans the view.
//
// Timers are QTimer objects owned by the view (object names "scanTimer",
// "listTimer", "seenTimer", "sampleTimer"): their periods can be read back
// and they stop with the widget, which the numbered window timers of
// platform/winmsg.h would not offer.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/winmsg.h"
#include "ui/NetworkStatusWnd.h"
#include "ui/WIFIGraphWnd.h"

class CNativeWIFIDevice;
class CNativeWIFIInterface;
class CStation;
class CStationTableModel;
class QItemSelection;
class QMenu;
class QModelIndex;
class QPoint;
class QTableView;
class QTimer;

class CChildView : public QWidget, public CMessageTarget {
  Q_OBJECT

 public:
  // Link Quality, descending.
  static constexpr std::uint32_t kInitialSortState = 0x80000005u;
  static constexpr std::uint32_t kDescending = 0x80000000u;
  static constexpr int kSeenTimerPeriod = 1000;
  static constexpr int kSampleTimerPeriod = 20;
  // The sample timer's period while the view cannot be seen; each tick then
  // adds the samples of every kSampleTimerPeriod since the last one.
  static constexpr int kHiddenSamplePeriod = 200;
  // How long the rows hold still after a mouse press in the list.
  static constexpr int kHoldAfterPressMs = 1000;

  // Creates the handle, the list, the graph and status panel places, and
  // starts the four timers.
  explicit CChildView(QWidget* parent = nullptr);
  // Destroys the handle first, then stops the timers and deletes the list,
  // the graph and the status panel, in this order.
  ~CChildView() override;

  // Called once by the frame: stores the client and, when nothing is
  // selected, selects the station an adapter is associated with.
  void SetWlanInterface(CNativeWIFIInterface* pInterface);
  CNativeWIFIInterface* GetWlanInterface() const { return m_pWlanInterface; }
  // The station of the selected row, or null.
  CStation* GetSelectedStation() const;
  // Starts a connection attempt with the station (nothing for a station
  // without adapter). Used by double-click and by the frame's Connect command.
  void ConnectToStation(CStation* pStation, QWidget* owner);
  // The frame's "&Station" menu, shown on a right-click over a row.
  void SetStationMenu(QMenu* pMenu);

  // WM_SETTINGS_CHANGED restarts timers 1 and 2 with the current intervals;
  // WM_WLAN_NOTIFY is acknowledged. Both return 1.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The periodic work (timers 1 to 4 call these); each does nothing before
  // SetWlanInterface.
  void ScanAll();
  void RefreshList();
  void UpdateSeenTimes();
  // Appends `samples` copies of every station's current link quality.
  void SampleLinkQuality(int samples = 1);

  // Row operations.
  void InsertStationRow(CStation* pStation);
  void UpdateStationRow(CStation* pStation, bool forced);
  // Selects and focuses the station's row without scrolling it into view.
  void SelectStation(CStation* pStation);
  // One pass of at most one exchange per row; the selection stays on its
  // station. Skipped while the rows are held; the first call after a hold
  // sorts in full instead.
  void ResortPass();
  // What a click on the heading of `column` does: ascending, then
  // descending on the next click of the same column, and so on.
  void SortByColumn(int column);
  std::uint32_t GetSortState() const { return m_nSortState; }

  // Calendar time (seconds since 1970) used for the First/Last Seen texts;
  // std::time by default, an empty function restores it.
  void SetTimeSource(std::function<std::int64_t()> source);

  // Rows hold still while the pointer is over the list's rows and for
  // kHoldAfterPressMs after a mouse press in it, so a click lands on the
  // station aimed at: resort passes are skipped (rows are still rewritten in
  // place) and new stations are appended. When the hold ends the rows are
  // sorted at once. True while it holds.
  bool IsResortHeld() const;
  // Monotonic milliseconds for the hold and for the samples due off screen;
  // a steady clock by default, an empty function restores it. After changing the clock's time, ResortPass (or
  // the timers' work) applies the end of a hold.
  void SetHoldClock(std::function<std::int64_t()> clock);

  // Columns hidden from the heading's menu; the set is kept in the
  // settings. The first column is always shown.
  static bool IsColumnShown(int column);
  void SetColumnShown(int column, bool shown);
  // The heading's menu: a check item per column, in screen order.
  QMenu* CreateColumnMenu(QWidget* parent);

  QTableView* GetList() const { return m_pList; }
  CStationTableModel* GetModel() const { return m_pModel; }
  // The status panel's place and the link-quality graph.
  CNetworkStatusWnd* GetStatusPanel() const { return m_pStatusWnd; }
  CWIFIGraphWnd* GetGraph() const { return m_pGraphWnd; }
  // Timer 1..4, or null for another number.
  QTimer* GetTimer(int number) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The list's pointer and key events: the hold, Enter, the menu keys.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateList();
  void LayoutChildren();
  int ColumnPixelWidth(int column) const;
  void RestartScanTimers();
  std::int64_t Now() const;
  // The adapters' station tables, read under their locks.
  void CollectStations(CNativeWIFIDevice* pDevice);
  void OnDoubleClicked(const QModelIndex& index);
  void OnContextMenu(const QPoint& pos);
  void OnHeadingClicked(int column);
  void OnHeadingMenu(const QPoint& pos);
  void OnSampleTimer();
  void OnSelectionChanged();
  void UpdateSortIndicator();
  std::int64_t HoldNow() const;
  // Ends a hold that is over: sorts the rows and places appended stations.
  // While a press still holds them, arms the hold timer for the rest.
  void UpdateHold();
  // The Station menu below the selected row's first cell.
  void ShowStationMenuAtSelection();

  QTimer* m_pScanTimer = nullptr;
  QTimer* m_pListTimer = nullptr;
  QTimer* m_pSeenTimer = nullptr;
  QTimer* m_pSampleTimer = nullptr;
  std::uint32_t m_nSortState = kInitialSortState;
  unsigned m_nVendorGeneration = 0;
  std::int64_t m_nLastSample = 0;  // steady ms the history was sampled up to
  QTableView* m_pList = nullptr;
  CStationTableModel* m_pModel = nullptr;
  CWIFIGraphWnd* m_pGraphWnd = nullptr;
  CNativeWIFIInterface* m_pWlanInterface = nullptr;
  CNetworkStatusWnd* m_pStatusWnd = nullptr;
  QPointer<QMenu> m_pStationMenu;
  std::function<std::int64_t()> m_timeSource;
  std::function<std::int64_t()> m_holdClock;
  bool m_bPointerOver = false;
  bool m_bPressed = false;  // a press was seen; m_nLastPress is its time
  std::int64_t m_nLastPress = 0;
  bool m_bResortDeferred = false;  // a pass was skipped or a row appended
  QTimer* m_pHoldTimer = nullptr;
  QObject* m_pListViewport = nullptr;  // compared with, never called
  // Reused buffer for one adapter's stations.
  std::vector<CStation*> m_stations;
  // How many stations of each adapter's table a list refresh has gone
  // through: the tables only grow, so stations before that count have rows
  // and only those after it can be new.
  std::unordered_map<const CNativeWIFIDevice*, std::size_t> m_knownStations;
};
