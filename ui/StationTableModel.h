// The station list's rows: one per station, in list order, each holding its
// station and the values last written for it. A row changes only when it is
// written (a changed station, a new row, a resort exchange, the seen-time
// tick), as the list shows what was last written rather than live values;
// the texts are formatted from those values when they are asked for (the
// view asks only for the rows it paints). A station -> row index keeps every
// look-up constant-time.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ui/StationColumns.h"
#include "ui/StationOrder.h"

class CNativeWIFIDevice;
class CStation;

class CStationTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Item data of every cell: the row's CStation* (as a pointer-sized integer).
  static constexpr int StationRole = Qt::UserRole + 1;

  explicit CStationTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  int RowCount() const { return static_cast<int>(m_rows.size()); }
  CStation* StationAt(int row) const;
  // The station's row, or -1.
  int RowOf(const CStation* pStation) const;
  QString TextAt(int row, int column) const;

  // The adapters' associations, for the Status column and its sort.
  stationlist::CAssociations& Associations() { return m_associations; }
  const stationlist::CAssociations& Associations() const { return m_associations; }

  // Where a new station goes: before the first row it sorts before, else at
  // the end.
  int InsertPosition(const CStation& station, std::uint32_t state) const;
  // A new row at `row` with the station's MAC text in column 0.
  void InsertStation(int row, CStation* pStation);
  // Rewrites the station's row when the station changed (its flag is taken)
  // or when forced; forced also rewrites column 0. False when it has no row.
  bool UpdateStation(CStation* pStation, bool forced, std::int64_t now);
  // UpdateStation for every row of the adapter's stations, in row order.
  void UpdateDeviceRows(const CNativeWIFIDevice* pDevice, bool forced, std::int64_t now);
  // Rewrites First Seen and Last Seen of every row, as one change.
  void UpdateSeenTimes(std::int64_t now);
  // One resort pass: exchanged rows keep their places, their stations swap
  // and both rows are rewritten in full.
  void ResortPass(std::uint32_t state, std::int64_t now);
  // Tells the view that every row's text in `column` may read differently
  // now (the vendor names once the registry has loaded).
  void ColumnTextsChanged(int column);
  // Sorts all rows (texts move with their stations).
  void Sort(std::uint32_t state);

 private:
  // A row's values belong to its station: they move with it in an exchange
  // or a sort. Before its first write a row shows only the MAC address (and
  // the seen times once the seen-time tick has written them).
  struct Row {
    CStation* pStation = nullptr;
    bool bWritten = false;
    bool bSeenWritten = false;
    stationlist::CCellValues values;
  };
  QString RowText(const Row& row, int column) const;
  void WriteRow(int row, bool forced, std::int64_t now);
  std::vector<stationlist::CSortKey> Keys(std::uint32_t state) const;

  std::vector<Row> m_rows;
  std::unordered_map<const CStation*, int> m_rowOf;
  stationlist::CAssociations m_associations;
};
