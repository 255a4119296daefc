// The columns of the station list, one table: heading, alignment, width,
// the sample text it must fit, the text of a station and its sort key.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

class CNativeWIFIDevice;
class CNativeWIFIInterface;
class CStation;
class CWIFIProfile;

namespace stationlist {

enum Column : int {
  kColMac = 0,
  kColSsid,
  kColStatus,
  kColChannel,
  kColSecurity,
  kColLinkQuality,
  kColRssi,
  kColPriority,
  kColAutoConnect,
  kColAutoUpgrade,
  kColNetworkType,
  kColBeaconPeriod,
  kColInfrastructure,
  kColDataRates,
  kColFirstSeen,
  kColLastSeen,
  // What the beacon's elements and the BSSID's prefix say. New columns are
  // always appended: the stored set of hidden columns counts by position.
  kColBand,
  kColWidth,
  kColStandard,
  kColAuthentication,
  kColPmf,
  kColVendor,
  kColumnCount
};

// A station's value in a sort column, read once, so that a sort or a pass
// works on one consistent set of values while refresh workers keep writing
// the live ones.
struct CSortKey {
  bool bHasValue = true;  // false: the station's network has no profile (the profile columns)
  std::int64_t nValue = 0;
  std::string strText;  // text columns
};

struct CCellValues;

// How a column's sort keys compare: numbers by value, texts without regard
// to case, profile values as numbers that only stations with a profile have.
enum class KeyKind { kNumber, kText, kProfile };

// One column of the list: everything the model, the ordering and the view
// know of it.
struct ColumnInfo {
  const char* heading;
  bool rightAligned;  // as declared; column 0 is still drawn left-aligned
  int width;          // pixels
  const char* sample;  // a text the column must also fit, or null
  const char* toolTip;  // the heading's tool tip, or null
  KeyKind keyKind;
  // The station's text, its changing values taken from `values`.
  std::string (*text)(const CStation& station, const CCellValues& values);
  // The station's sort key (nValue, or strText for a text column).
  void (*key)(const CStation& station, const CCellValues& values, CSortKey* key);
};

// The column's row of the table; index 0..kColumnCount - 1.
const ColumnInfo& ColumnAt(int column);

// Elapsed seconds as "7", "1:05", "1:00:00", "1 Days 0:00:00"; "Now" for 0 or less.
std::string FormatElapsed(std::int64_t seconds);

// "Infrastructure", "Adhoc", "Auto / Unknown" or "Unknown" for a BSS type.
const char* BssTypeText(int bssType);

// The stored profile of the station's network, or null.
const CWIFIProfile* ProfileOf(const CStation& station);

// The BSSID each adapter is associated with, taken once per pass: asking the
// service for every row (as CStation::IsConnected does) would cost a query
// per station on every tick.
class CAssociations {
 public:
  void Take(CNativeWIFIInterface* pInterface);
  // Whether any adapter's association changed at a Take since the last call.
  bool TakeMoved() { return std::exchange(m_moved, false); }
  void Clear() { m_current.clear(); }
  // The station's BSSID equals its adapter's association at the last Take.
  bool IsConnected(const CStation& station) const;

 private:
  std::vector<std::pair<const CNativeWIFIDevice*, std::array<UCHAR, 6>>> m_current;
  bool m_moved = false;
};

// The values of a station that the list's changing columns show (Status,
// Link Quality, RSSI, the three profile columns, the two seen times), read
// at one moment; the other columns come from fields a station never changes.
struct CCellValues {
  bool bConnected = false;
  bool bHasProfile = false;
  bool bAutoConnect = false;
  bool bAutoSwitch = false;
  int nPriority = 0;
  ULONG uLinkQuality = 0;
  LONG lRssi = 0;
  std::int64_t tNow = 0;  // calendar time in seconds the seen times count to
  std::int64_t tLastSeen = 0;
};

// The station's changing values now; `now` is the calendar time in seconds.
CCellValues ReadCellValues(const CStation& station, std::int64_t now, const CAssociations& associations);

// The station's text in one column, the changing ones taken from `values`.
std::string CellText(const CStation& station, int column, const CCellValues& values);
// The same with the values read now.
std::string CellText(const CStation& station, int column, std::int64_t now, const CAssociations& associations);

}  // namespace stationlist
