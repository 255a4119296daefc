#include "ui/ChildView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QResizeEvent>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "eventlog/Log.h"
#include "settings/Settings.h"
#include "ui/ConnectDialog.h"
#include "ui/Messages.h"
#include "ui/NetworkStatusWnd.h"
#include "ui/OnScreen.h"
#include "ui/StationTableModel.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"
#include "wlan/OuiRegistry.h"
#include "wlan/Station.h"
#include "wlan/WlanNotificationRecord.h"

using namespace stationlist;

namespace {

constexpr int kStatusPanelId = 2116;
constexpr int kGraphId = 2115;
constexpr int kListId = 2112;
constexpr int kTopHeight = 210;  // the panel and the graph above the list

}  // namespace

CChildView::CChildView(QWidget* parent) : QWidget(parent) {
  CreateHandle();
  // Erasing paints the button-face colour.
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(backgroundRole(), colours.color(QPalette::Button));
  setPalette(colours);

  LogPrintf("Initializing...\n");
  CreateList();
  m_pGraphWnd = new CWIFIGraphWnd(this);
  m_pGraphWnd->setObjectName(QStringLiteral("graph"));
  m_pGraphWnd->setProperty("controlId", kGraphId);
  // 50 repaints a second (one pixel of scrolling per 20 ms sample), a
  // 20-pixel grid from the top-left corner.
  m_pGraphWnd->SetRefreshRate(50);
  m_pGraphWnd->SetGridSpacing(20, 20);
  m_pGraphWnd->SetGridOffset(0, 0);
  m_pGraphWnd->show();
  m_pStatusWnd = new CNetworkStatusWnd(this);
  m_pStatusWnd->setObjectName(QStringLiteral("statusPanel"));
  m_pStatusWnd->setProperty("controlId", kStatusPanelId);
  m_pStatusWnd->show();
  LogPrintf("\n");

  auto makeTimer = [this](const char* name, int period, auto work) {
    auto* timer = new QTimer(this);
    timer->setObjectName(QString::fromLatin1(name));
    connect(timer, &QTimer::timeout, this, work);
    timer->start(period);
    return timer;
  };
  m_pScanTimer = makeTimer("scanTimer", CSettings::SanitizeActiveScanInterval(CSettings::m_nActiveScanInterval), [this] {
    ScanAll();
    RefreshList();
  });
  m_pListTimer = makeTimer("listTimer", CSettings::SanitizePassiveScanInterval(CSettings::m_nPassiveScanInterval),
                           [this] { RefreshList(); });
  m_pSeenTimer = makeTimer("seenTimer", kSeenTimerPeriod, [this] { UpdateSeenTimes(); });
  m_pSampleTimer = makeTimer("sampleTimer", kSampleTimerPeriod, [this] { OnSampleTimer(); });

  ScanAll();
  RefreshList();
  LayoutChildren();
}

CChildView::~CChildView() {
  DestroyHandle();
  for (QTimer* timer : {m_pScanTimer, m_pListTimer, m_pSeenTimer, m_pSampleTimer}) timer->stop();
  delete m_pList;
  m_pList = nullptr;
  delete m_pModel;
  m_pModel = nullptr;
  delete m_pGraphWnd;
  m_pGraphWnd = nullptr;
  delete m_pStatusWnd;
  m_pStatusWnd = nullptr;
}

void CChildView::CreateList() {
  m_pModel = new CStationTableModel(this);
  m_pList = new QTableView(this);
  m_pList->setObjectName(QStringLiteral("stationList"));
  m_pList->setProperty("controlId", kListId);
  m_pList->setModel(m_pModel);
  m_pList->setShowGrid(true);
  m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_pList->setSortingEnabled(false);
  m_pList->setWordWrap(false);
  m_pList->setTabKeyNavigation(false);
  m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
  QHeaderView* rows = m_pList->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(m_pList->fontMetrics().height() + 4);
  QHeaderView* headings = m_pList->horizontalHeader();
  headings->setSectionsMovable(true);
  headings->setSectionsClickable(true);
  headings->setSortIndicatorShown(true);
  headings->setHighlightSections(false);
  headings->setStretchLastSection(false);
  headings->setSectionResizeMode(QHeaderView::Interactive);
  for (int column = 0; column < kColumnCount; ++column) {
    headings->resizeSection(column, ColumnPixelWidth(column));
    headings->setSectionHidden(column, !IsColumnShown(column));
  }
  headings->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(headings, &QWidget::customContextMenuRequested, this, &CChildView::OnHeadingMenu);
  UpdateSortIndicator();
  // Focus given to the view (the frame does so when it opens) goes to the
  // list, so the keys work at once.
  setFocusProxy(m_pList);
  m_pHoldTimer = new QTimer(this);
  m_pHoldTimer->setObjectName(QStringLiteral("holdTimer"));
  m_pHoldTimer->setSingleShot(true);
  connect(m_pHoldTimer, &QTimer::timeout, this, &CChildView::UpdateHold);
  m_pListViewport = m_pList->viewport();
  m_pList->installEventFilter(this);
  m_pListViewport->installEventFilter(this);

  connect(m_pList, &QAbstractItemView::doubleClicked, this, &CChildView::OnDoubleClicked);
  connect(m_pList, &QWidget::customContextMenuRequested, this, &CChildView::OnContextMenu);
  connect(headings, &QHeaderView::sectionClicked, this, &CChildView::OnHeadingClicked);
  connect(m_pList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CChildView::OnSelectionChanged);
  m_pList->show();
}

// The column widths are given for a small dialog font. With the desktop's
// font a column is widened where its heading or a typical text (a MAC
// address, a PHY name, an elapsed time) would otherwise be cut.
int CChildView::ColumnPixelWidth(int column) const {
  const QFontMetrics text = m_pList->fontMetrics();
  const QFontMetrics heading = m_pList->horizontalHeader()->fontMetrics();
  const ColumnInfo& info = ColumnAt(column);
  int width = std::max(info.width, heading.horizontalAdvance(QString::fromLatin1(info.heading)) + 24);
  if (info.sample) width = std::max(width, text.horizontalAdvance(QString::fromLatin1(info.sample)) + 16);
  return width;
}

bool CChildView::IsColumnShown(int column) {
  if (column == kColMac) return true;  // the first column identifies the row
  if (column < 0 || column >= kColumnCount) return false;
  return (CSettings::m_uHiddenColumns >> column & 1u) == 0;
}

void CChildView::SetColumnShown(int column, bool shown) {
  if (column <= kColMac || column >= kColumnCount || IsColumnShown(column) == shown) return;
  CSettings::m_uHiddenColumns ^= 1u << column;
  CSettings::SaveHiddenColumns();
  QHeaderView* headings = m_pList->horizontalHeader();
  headings->setSectionHidden(column, !shown);
  // A section hidden at start-up has no size yet; give it its own width.
  if (shown && headings->sectionSize(column) == 0) headings->resizeSection(column, ColumnPixelWidth(column));
}

QMenu* CChildView::CreateColumnMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("columnMenu"));
  const QHeaderView* headings = m_pList->horizontalHeader();
  // In the order the columns stand on screen.
  for (int visual = 0; visual < kColumnCount; ++visual) {
    const int column = headings->logicalIndex(visual);
    if (column < 0) continue;
    QAction* action = menu->addAction(QString::fromLatin1(ColumnAt(column).heading).trimmed());
    action->setCheckable(true);
    action->setChecked(IsColumnShown(column));
    action->setEnabled(column != kColMac);
    connect(action, &QAction::toggled, this, [this, column](bool on) { SetColumnShown(column, on); });
  }
  return menu;
}

void CChildView::OnHeadingMenu(const QPoint& pos) {
  QMenu* menu = CreateColumnMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(m_pList->horizontalHeader()->mapToGlobal(pos));
}

void CChildView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutChildren();
}

void CChildView::LayoutChildren() {
  const int cx = width(), cy = height();
  if (m_pStatusWnd) m_pStatusWnd->setGeometry(5, 5, 200, 200);
  if (m_pGraphWnd) m_pGraphWnd->setGeometry(210, 5, std::max(0, cx - 215), 200);
  if (m_pList) m_pList->setGeometry(0, kTopHeight, cx, std::max(0, cy - kTopHeight));
}

QTimer* CChildView::GetTimer(int number) const {
  switch (number) {
    case 1:
      return m_pScanTimer;
    case 2:
      return m_pListTimer;
    case 3:
      return m_pSeenTimer;
    case 4:
      return m_pSampleTimer;
    default:
      return nullptr;
  }
}

void CChildView::RestartScanTimers() {
  m_pScanTimer->stop();
  m_pScanTimer->start(CSettings::SanitizeActiveScanInterval(CSettings::m_nActiveScanInterval));
  m_pListTimer->stop();
  m_pListTimer->start(CSettings::SanitizePassiveScanInterval(CSettings::m_nPassiveScanInterval));
}

LRESULT CChildView::WindowProc(UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_SETTINGS_CHANGED:
      RestartScanTimers();
      return 1;
    case WM_WLAN_NOTIFY:
      return 1;
    default:
      return 0;
  }
}

void CChildView::SetTimeSource(std::function<std::int64_t()> source) { m_timeSource = std::move(source); }

std::int64_t CChildView::Now() const {
  return m_timeSource ? m_timeSource() : static_cast<std::int64_t>(std::time(nullptr));
}

void CChildView::CollectStations(CNativeWIFIDevice* pDevice) {
  // The refresh worker appends to the table on its own thread: copy the
  // pointers under the table's lock, then work on the copy without it.
  m_stations.clear();
  pDevice->ForEachStation([this](CStation* station) { m_stations.push_back(station); });
}

void CChildView::SetWlanInterface(CNativeWIFIInterface* pInterface) {
  m_pWlanInterface = pInterface;
  m_knownStations.clear();
  if (!pInterface || GetSelectedStation()) return;
  m_pModel->Associations().Take(pInterface);
  const int count = pInterface->GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    CNativeWIFIDevice* device = pInterface->GetDevice(i);
    if (CStation* station = device->FindStation(device->GetCurrentBssid())) {
      SelectStation(station);
      break;
    }
  }
}

void CChildView::ScanAll() {
  if (!m_pWlanInterface) return;
  const int count = m_pWlanInterface->GetDeviceCount();
  for (int i = 0; i < count; ++i) m_pWlanInterface->GetDevice(i)->RequestScan();
}

void CChildView::RefreshList() {
  if (!m_pWlanInterface) return;
  // Vendor names read empty until the registry has loaded; then the column
  // is drawn again.
  const unsigned vendors = COuiRegistry::Instance().Generation();
  if (vendors != m_nVendorGeneration) {
    m_nVendorGeneration = vendors;
    m_pModel->ColumnTextsChanged(kColVendor);
  }
  // A row's Status follows the associations even when none of its station's
  // values changed (a steady signal).
  m_pModel->Associations().Take(m_pWlanInterface);
  const bool associationsMoved = m_pModel->Associations().TakeMoved();
  const int count = m_pWlanInterface->GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    CNativeWIFIDevice* device = m_pWlanInterface->GetDevice(i);
    device->StartRefresh();
    CollectStations(device);
    // The rows first (a pass over the model, no look-up per station), then
    // the stations the table gained since the last refresh.
    m_pModel->UpdateDeviceRows(device, associationsMoved, Now());
    std::size_t& known = m_knownStations[device];
    for (std::size_t k = std::min(known, m_stations.size()); k < m_stations.size(); ++k)
      if (m_pModel->RowOf(m_stations[k]) < 0) InsertStationRow(m_stations[k]);
    known = m_stations.size();
    ResortPass();
  }
}

void CChildView::UpdateSeenTimes() {
  if (!m_pWlanInterface) return;
  // Every row belongs to a station of some adapter's table, so rewriting the
  // rows is rewriting the stations that have one.
  m_pModel->Associations().Take(m_pWlanInterface);
  m_pModel->UpdateSeenTimes(Now());
  ResortPass();
}

void CChildView::SampleLinkQuality(int samples) {
  if (!m_pWlanInterface) return;
  const int count = m_pWlanInterface->GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    CollectStations(m_pWlanInterface->GetDevice(i));
    for (CStation* station : m_stations) {
      const int value = static_cast<int>(station->m_uLinkQuality.load(std::memory_order_relaxed));
      for (int k = 0; k < samples; ++k) station->AddLinkQualitySample(value);
    }
  }
}

void CChildView::OnSampleTimer() {
  const std::int64_t now = HoldNow();
  // On screen: one sample a tick, as the graph draws them. Off screen (hidden
  // in the tray, minimised) nobody watches the graph, so the timer wakes ten
  // times less often and each tick adds the samples due since the last one:
  // the history keeps one sample per period without 50 wake-ups a second.
  const bool seen = IsOnScreen(this);
  const bool wasSeen = m_pSampleTimer->interval() == kSampleTimerPeriod;
  if (seen != wasSeen) m_pSampleTimer->setInterval(seen ? kSampleTimerPeriod : kHiddenSamplePeriod);
  if (seen && wasSeen) {
    m_nLastSample = now;
    SampleLinkQuality();
    return;
  }
  // The first tick off screen adds its own sample; later ones (and the first
  // back on screen) what came due. A history holds kDefaultCapacity samples:
  // more after a long stall (a suspended machine) would only overwrite each other.
  const std::int64_t due =
      wasSeen ? 1
              : std::clamp<std::int64_t>((now - m_nLastSample) / kSampleTimerPeriod, 0,
                                         static_cast<std::int64_t>(CLinkQualityHistory::kDefaultCapacity));
  m_nLastSample = wasSeen ? now : m_nLastSample + due * kSampleTimerPeriod;
  if (now - m_nLastSample >= kSampleTimerPeriod) m_nLastSample = now;
  if (due > 0) SampleLinkQuality(static_cast<int>(due));
}

void CChildView::InsertStationRow(CStation* pStation) {
  if (!pStation || m_pModel->RowOf(pStation) >= 0) return;
  CStation* selected = GetSelectedStation();
  // While the rows hold still a new station is appended, which moves no row
  // under the pointer; the sort at the end of the hold puts it in its place.
  const bool held = IsResortHeld();
  if (held) m_bResortDeferred = true;
  m_pModel->InsertStation(held ? m_pModel->RowCount() : m_pModel->InsertPosition(*pStation, m_nSortState), pStation);
  UpdateStationRow(pStation, true);
  // A new station takes the selection only when it is the connected one and
  // nothing was selected.
  if (selected || !m_pModel->Associations().IsConnected(*pStation))
    SelectStation(selected);
  else
    SelectStation(pStation);
}

void CChildView::UpdateStationRow(CStation* pStation, bool forced) {
  if (pStation) m_pModel->UpdateStation(pStation, forced, Now());
}

void CChildView::SelectStation(CStation* pStation) {
  if (!pStation) return;
  const int row = m_pModel->RowOf(pStation);
  if (row < 0) return;
  // A current-index change scrolls the view to it; selecting a station must
  // leave the scroll position alone.
  const bool autoScroll = m_pList->hasAutoScroll();
  m_pList->setAutoScroll(false);
  m_pList->selectionModel()->setCurrentIndex(m_pModel->index(row, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  m_pList->setAutoScroll(autoScroll);
}

CStation* CChildView::GetSelectedStation() const {
  if (!m_pList) return nullptr;
  const QModelIndexList rows = m_pList->selectionModel()->selectedRows();
  return rows.isEmpty() ? nullptr : m_pModel->StationAt(rows.first().row());
}

void CChildView::ResortPass() {
  if (IsResortHeld()) {
    m_bResortDeferred = true;
    return;
  }
  if (m_bResortDeferred) {
    UpdateHold();  // the hold has ended: one full sort instead of a pass
    return;
  }
  CStation* selected = GetSelectedStation();
  m_pModel->ResortPass(m_nSortState, Now());
  SelectStation(selected);
}

void CChildView::SortByColumn(int column) {
  if (column < 0) return;
  const std::uint32_t current = m_nSortState & ~kDescending;
  const bool ascending = (m_nSortState & kDescending) == 0;
  m_nSortState = static_cast<std::uint32_t>(column) | (current == static_cast<std::uint32_t>(column) && ascending ? kDescending : 0);
  CStation* selected = GetSelectedStation();
  m_pModel->Associations().Take(m_pWlanInterface);
  m_pModel->Sort(m_nSortState);
  m_bResortDeferred = false;  // sorted in full, appended rows included
  SelectStation(selected);
  UpdateSortIndicator();
}

void CChildView::UpdateSortIndicator() {
  const int column = static_cast<int>(m_nSortState & ~kDescending);
  m_pList->horizontalHeader()->setSortIndicator(
      column, (m_nSortState & kDescending) ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CChildView::OnHeadingClicked(int column) { SortByColumn(column); }

void CChildView::OnDoubleClicked(const QModelIndex& index) {
  // The station of the row double-clicked, which the hold keeps under the
  // pointer between the presses.
  if (CStation* station = index.isValid() ? m_pModel->StationAt(index.row()) : nullptr)
    ConnectToStation(station, this);
}

void CChildView::SetHoldClock(std::function<std::int64_t()> clock) { m_holdClock = std::move(clock); }

std::int64_t CChildView::HoldNow() const {
  if (m_holdClock) return m_holdClock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool CChildView::IsResortHeld() const {
  return m_bPointerOver || (m_bPressed && HoldNow() - m_nLastPress < kHoldAfterPressMs);
}

void CChildView::UpdateHold() {
  if (IsResortHeld()) {
    // Only a recent press holds: come back when its second is over.
    if (!m_bPointerOver)
      m_pHoldTimer->start(static_cast<int>(std::clamp<std::int64_t>(kHoldAfterPressMs - (HoldNow() - m_nLastPress), 1,
                                                                    kHoldAfterPressMs)));
    return;
  }
  m_pHoldTimer->stop();
  m_bPressed = false;
  if (!m_bResortDeferred) return;
  m_bResortDeferred = false;
  CStation* selected = GetSelectedStation();
  m_pModel->Associations().Take(m_pWlanInterface);
  m_pModel->Sort(m_nSortState);
  SelectStation(selected);
}

bool CChildView::eventFilter(QObject* watched, QEvent* event) {
  // Events come here while the list is being destroyed too (it leaves, hides
  // and loses the focus): only pointers are compared, the list is not asked.
  // The hold follows the rows' area: over the headings or the scroll bars
  // no click can land on a moving row.
  if (watched == m_pListViewport) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        m_bPressed = true;
        m_nLastPress = HoldNow();
        break;
      case QEvent::Enter:
        m_bPointerOver = true;
        break;
      case QEvent::Leave:
      case QEvent::Hide:
        // Ended from the event loop, not here: the list also leaves and
        // hides while it is being destroyed.
        m_bPointerOver = false;
        m_pHoldTimer->start(0);
        break;
      default:
        break;
    }
  } else if (watched == m_pList) {
    switch (event->type()) {
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
          if (CStation* selected = GetSelectedStation()) ConnectToStation(selected, this);
          return true;
        }
        if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
          ShowStationMenuAtSelection();
          return true;
        }
        break;
      }
      case QEvent::ContextMenu:
        // A context menu asked for by the keyboard belongs at the selected
        // row, not at the pointer.
        if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
          ShowStationMenuAtSelection();
          return true;
        }
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CChildView::ShowStationMenuAtSelection() {
  CStation* selected = GetSelectedStation();
  if (!selected || !m_pStationMenu || m_pStationMenu->isVisible()) return;
  // The row's first cell as shown, which dragging the headings may have
  // changed; scrolled into view so the menu opens beside it.
  const QModelIndex cell = m_pModel->index(m_pModel->RowOf(selected), m_pList->horizontalHeader()->logicalIndex(0));
  m_pList->scrollTo(cell);
  const QRect rect = m_pList->visualRect(cell);
  m_pStationMenu->popup(m_pList->viewport()->mapToGlobal(rect.bottomLeft() + QPoint(0, 1)));
}

void CChildView::ConnectToStation(CStation* pStation, QWidget* owner) {
  if (!pStation || !pStation->m_pDevice) return;
  LogPrintf("Connecting to %s...\n", pStation->GetSSID().c_str());
  // Held by a guarded pointer: should the owner go while the dialog runs, it
  // takes the dialog with it, and the delete below does nothing.
  QPointer<CConnectDialog> dialog = new CConnectDialog(owner, pStation);
  dialog->exec();
  delete dialog;
  // Back to the window the attempt came from, with its focus as it was,
  // also where no window manager hands the activation back.
  if (QPointer<QWidget> window = owner ? owner->window() : nullptr; window && window->isVisible())
    window->activateWindow();
}

void CChildView::SetStationMenu(QMenu* pMenu) { m_pStationMenu = pMenu; }

void CChildView::OnContextMenu(const QPoint& pos) {
  // Only over a row; a right-click on empty space does nothing.
  if (!m_pList->indexAt(pos).isValid() || !m_pStationMenu) return;
  m_pStationMenu->popup(m_pList->viewport()->mapToGlobal(pos));
}

void CChildView::OnSelectionChanged() {
  CStation* selected = GetSelectedStation();
  if (m_pGraphWnd) m_pGraphWnd->SetStation(selected);
  auto* frame = dynamic_cast<CMessageTarget*>(window());
  if (frame && frame != this)
    PostMessage(frame->GetSafeHwnd(), WM_STATION_SELECTED, reinterpret_cast<WPARAM>(selected), 0);
}
