#include "ui/StationTableModel.h"

#include <algorithm>

#include "wlan/Station.h"

using namespace stationlist;

CStationTableModel::CStationTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int CStationTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CStationTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant CStationTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const Row& row = m_rows[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return RowText(row, index.column());
    case Qt::TextAlignmentRole: {
      // The first column is declared right-aligned but a list always draws
      // its first column from the left, so it is shown left-aligned.
      const bool right = index.column() != kColMac && ColumnAt(index.column()).rightAligned;
      return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    case StationRole:
      return QVariant::fromValue(reinterpret_cast<quintptr>(row.pStation));
    default:
      return {};
  }
}

QVariant CStationTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromLatin1(ColumnAt(section).heading);
    case Qt::TextAlignmentRole: {
      const bool right = section != kColMac && ColumnAt(section).rightAligned;
      return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    case Qt::ToolTipRole:
      if (const char* tip = ColumnAt(section).toolTip) return QString::fromLatin1(tip);
      return {};
    default:
      return {};
  }
}

void CStationTableModel::ColumnTextsChanged(int column) {
  if (m_rows.empty() || column < 0 || column >= kColumnCount) return;
  emit dataChanged(index(0, column), index(RowCount() - 1, column), {Qt::DisplayRole});
}

Qt::ItemFlags CStationTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

CStation* CStationTableModel::StationAt(int row) const {
  if (row < 0 || row >= RowCount()) return nullptr;
  return m_rows[static_cast<std::size_t>(row)].pStation;
}

int CStationTableModel::RowOf(const CStation* pStation) const {
  const auto it = m_rowOf.find(pStation);
  return it == m_rowOf.end() ? -1 : it->second;
}

QString CStationTableModel::TextAt(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0 || column >= kColumnCount) return {};
  return RowText(m_rows[static_cast<std::size_t>(row)], column);
}

QString CStationTableModel::RowText(const Row& row, int column) const {
  const bool shown = column == kColMac || row.bWritten ||
                     (row.bSeenWritten && (column == kColFirstSeen || column == kColLastSeen));
  if (!shown) return {};
  return QString::fromStdString(CellText(*row.pStation, column, row.values));
}

int CStationTableModel::InsertPosition(const CStation& station, std::uint32_t state) const {
  const CSortKey key = MakeSortKey(station, state, m_associations);
  for (int row = 0; row < RowCount(); ++row)
    if (CompareSortKeys(key, MakeSortKey(*m_rows[static_cast<std::size_t>(row)].pStation, state, m_associations),
                        state) < 0)
      return row;
  return RowCount();
}

void CStationTableModel::InsertStation(int row, CStation* pStation) {
  if (!pStation || m_rowOf.count(pStation)) return;
  row = std::clamp(row, 0, RowCount());
  beginInsertRows(QModelIndex(), row, row);
  Row added;
  added.pStation = pStation;
  m_rows.insert(m_rows.begin() + row, std::move(added));
  for (int i = row; i < RowCount(); ++i) m_rowOf[m_rows[static_cast<std::size_t>(i)].pStation] = i;
  endInsertRows();
}

bool CStationTableModel::UpdateStation(CStation* pStation, bool forced, std::int64_t now) {
  const int row = RowOf(pStation);
  if (row < 0) return false;
  // Take the flag before reading the values: they are then at least as new
  // as the change that set it.
  const bool changed = pStation->TakeChanged();
  if (changed || forced) WriteRow(row, forced, now);
  return true;
}

void CStationTableModel::UpdateDeviceRows(const CNativeWIFIDevice* pDevice, bool forced, std::int64_t now) {
  for (int row = 0; row < RowCount(); ++row) {
    CStation* station = m_rows[static_cast<std::size_t>(row)].pStation;
    if (station->m_pDevice != pDevice) continue;
    // As in UpdateStation: the flag first, then the values.
    if (station->TakeChanged() || forced) WriteRow(row, forced, now);
  }
}

void CStationTableModel::WriteRow(int row, bool forced, std::int64_t now) {
  Row& target = m_rows[static_cast<std::size_t>(row)];
  target.values = ReadCellValues(*target.pStation, now, m_associations);
  target.bWritten = true;
  target.bSeenWritten = true;
  // Forced rewrites include column 0 (already the station's MAC text).
  const int first = forced ? kColMac : kColSsid;
  emit dataChanged(index(row, first), index(row, kColumnCount - 1), {Qt::DisplayRole});
}

void CStationTableModel::UpdateSeenTimes(std::int64_t now) {
  if (m_rows.empty()) return;
  for (Row& row : m_rows) {
    row.values.tNow = now;
    row.values.tLastSeen = row.pStation->m_tLastSeen.load(std::memory_order_relaxed);
    row.bSeenWritten = true;
  }
  emit dataChanged(index(0, kColFirstSeen), index(RowCount() - 1, kColLastSeen), {Qt::DisplayRole});
}

std::vector<CSortKey> CStationTableModel::Keys(std::uint32_t state) const {
  std::vector<CSortKey> keys;
  keys.reserve(m_rows.size());
  for (const Row& row : m_rows) keys.push_back(MakeSortKey(*row.pStation, state, m_associations));
  return keys;
}

void CStationTableModel::ResortPass(std::uint32_t state, std::int64_t now) {
  std::vector<CSortKey> keys = Keys(state);
  ResortPassKeys(keys, state, [&](int i, int j) {
    Row& a = m_rows[static_cast<std::size_t>(i)];
    Row& b = m_rows[static_cast<std::size_t>(j)];
    std::swap(a, b);
    m_rowOf[a.pStation] = i;
    m_rowOf[b.pStation] = j;
    UpdateStation(a.pStation, true, now);
    UpdateStation(b.pStation, true, now);
  });
}

void CStationTableModel::Sort(std::uint32_t state) {
  if (m_rows.size() < 2) return;
  const std::vector<int> order = SortedOrder(Keys(state), state);
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<Row> sorted;
  sorted.reserve(m_rows.size());
  std::vector<int> newRowOf(m_rows.size());
  for (std::size_t to = 0; to < order.size(); ++to) {
    sorted.push_back(std::move(m_rows[static_cast<std::size_t>(order[to])]));
    newRowOf[static_cast<std::size_t>(order[to])] = static_cast<int>(to);
  }
  m_rows.swap(sorted);
  for (int i = 0; i < RowCount(); ++i) m_rowOf[m_rows[static_cast<std::size_t>(i)].pStation] = i;
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& old : before)
    after.push_back(index(newRowOf[static_cast<std::size_t>(old.row())], old.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
