#include "ui/StationOrder.h"

#include <algorithm>

#include "platform/textcase.h"
#include "ui/StationColumns.h"
#include "wlan/Station.h"
#include "wlan/WIFIProfile.h"

namespace stationlist {

namespace {

std::uint32_t ColumnOf(std::uint32_t state) { return state & ~kDescendingBit; }
bool IsDescending(std::uint32_t state) { return (state & kDescendingBit) != 0; }
KeyKind KindOf(std::uint32_t column) {
  return column < kColumnCount ? ColumnAt(static_cast<int>(column)).keyKind : KeyKind::kNumber;
}
bool IsProfileColumn(std::uint32_t column) { return KindOf(column) == KeyKind::kProfile; }
bool IsTextColumn(std::uint32_t column) { return KindOf(column) == KeyKind::kText; }

int Sign(int value) { return (value > 0) - (value < 0); }

// The strict weak order the tree of minima is built on. It is the list's
// order except for the profile columns ascending, whose "equal" between a
// station with and one without profile is not transitive: there the stations
// without profile are put above every other key, which never makes them
// "smaller" than a row and keeps the rows with profiles comparable.
bool TreeLess(const CSortKey& a, const CSortKey& b, std::uint32_t state) {
  if (IsProfileColumn(ColumnOf(state)) && !IsDescending(state)) {
    if (!a.bHasValue) return false;
    if (!b.bHasValue) return true;
    return a.nValue < b.nValue;
  }
  return CompareSortKeys(a, b, state) < 0;
}

// Minimum (by TreeLess, leftmost among equals) of each range of rows.
class CMinimumTree {
 public:
  CMinimumTree(const std::vector<CSortKey>& keys, std::uint32_t state)
      : m_keys(keys), m_state(state), m_count(static_cast<int>(keys.size())) {
    while (m_leaves < m_count) m_leaves *= 2;
    m_nodes.assign(2 * static_cast<std::size_t>(m_leaves), -1);
    for (int i = 0; i < m_count; ++i) m_nodes[static_cast<std::size_t>(m_leaves + i)] = i;
    for (int node = m_leaves - 1; node >= 1; --node) Pull(node);
  }

  void Update(int row) {
    for (int node = (m_leaves + row) / 2; node >= 1; node /= 2) Pull(node);
  }

  // First row j > row with Compare(keys[row], keys[j]) > 0, or -1.
  int FirstSmallerAfter(int row) const { return Find(1, 0, m_leaves - 1, row + 1, m_keys[static_cast<std::size_t>(row)]); }

 private:
  int Better(int a, int b) const {
    if (a < 0) return b;
    if (b < 0) return a;
    return TreeLess(m_keys[static_cast<std::size_t>(b)], m_keys[static_cast<std::size_t>(a)], m_state) ? b : a;
  }
  void Pull(int node) {
    m_nodes[static_cast<std::size_t>(node)] =
        Better(m_nodes[static_cast<std::size_t>(2 * node)], m_nodes[static_cast<std::size_t>(2 * node + 1)]);
  }
  int Find(int node, int lo, int hi, int from, const CSortKey& key) const {
    const int best = m_nodes[static_cast<std::size_t>(node)];
    if (hi < from || best < 0) return -1;
    // No key in this range sorts before `key` when its minimum does not.
    if (CompareSortKeys(key, m_keys[static_cast<std::size_t>(best)], m_state) <= 0) return -1;
    if (lo == hi) return lo;
    const int mid = lo + (hi - lo) / 2;
    const int left = Find(2 * node, lo, mid, from, key);
    return left >= 0 ? left : Find(2 * node + 1, mid + 1, hi, from, key);
  }

  const std::vector<CSortKey>& m_keys;
  const std::uint32_t m_state;
  const int m_count;
  int m_leaves = 1;
  std::vector<int> m_nodes;
};

}  // namespace

CSortKey MakeSortKey(const CStation& station, std::uint32_t state, const CAssociations& associations) {
  CSortKey key;
  const std::uint32_t column = ColumnOf(state);
  if (column >= kColumnCount) return key;  // any other column: all stations equal
  const CCellValues values = ReadCellValues(station, 0, associations);
  const ColumnInfo& info = ColumnAt(static_cast<int>(column));
  if (info.keyKind == KeyKind::kProfile) key.bHasValue = values.bHasProfile;
  if (key.bHasValue) info.key(station, values, &key);
  return key;
}

int CompareSortKeys(const CSortKey& a, const CSortKey& b, std::uint32_t state) {
  const std::uint32_t column = ColumnOf(state);
  const bool descending = IsDescending(state);
  if (column >= kColumnCount) return 0;
  if (IsProfileColumn(column) && !(a.bHasValue && b.bHasValue)) {
    if (a.bHasValue == b.bHasValue) return 0;
    if (!descending) return 0;
    return a.bHasValue ? -1 : 1;
  }
  const int result = IsTextColumn(column) ? Sign(Utf8CompareNoCase(a.strText, b.strText))
                                          : (a.nValue < b.nValue ? -1 : (a.nValue > b.nValue ? 1 : 0));
  return descending ? -result : result;
}

int CompareStations(const CStation& a, const CStation& b, std::uint32_t state, const CAssociations& associations) {
  return CompareSortKeys(MakeSortKey(a, state, associations), MakeSortKey(b, state, associations), state);
}

void ResortPassKeys(std::vector<CSortKey>& keys, std::uint32_t state, const std::function<void(int, int)>& exchanged) {
  const int count = static_cast<int>(keys.size());
  if (count < 2 || ColumnOf(state) >= kColumnCount) return;
  // Under a strict weak order, rows that are in order pairwise are in order
  // as a whole and the pass would exchange nothing: one linear check spares
  // the tree in the steady state. The profile columns ascending are not such
  // an order (their "equal" is not transitive).
  if (!(IsProfileColumn(ColumnOf(state)) && !IsDescending(state))) {
    int i = 0;
    while (i + 1 < count &&
           CompareSortKeys(keys[static_cast<std::size_t>(i)], keys[static_cast<std::size_t>(i + 1)], state) <= 0)
      ++i;
    if (i + 1 == count) return;
  }
  CMinimumTree tree(keys, state);
  for (int i = 0; i + 1 < count; ++i) {
    const int j = tree.FirstSmallerAfter(i);
    if (j < 0) continue;
    std::swap(keys[static_cast<std::size_t>(i)], keys[static_cast<std::size_t>(j)]);
    tree.Update(i);
    tree.Update(j);
    if (exchanged) exchanged(i, j);
  }
}

std::vector<int> SortedOrder(const std::vector<CSortKey>& keys, std::uint32_t state) {
  const std::size_t count = keys.size();
  std::vector<int> order(count), buffer(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<int>(i);
  for (std::size_t width = 1; width < count; width *= 2) {
    for (std::size_t lo = 0; lo < count; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, count), hi = std::min(lo + 2 * width, count);
      std::size_t l = lo, r = mid, out = lo;
      while (l < mid && r < hi) {
        const bool rightFirst =
            CompareSortKeys(keys[static_cast<std::size_t>(order[r])], keys[static_cast<std::size_t>(order[l])], state) < 0;
        buffer[out++] = rightFirst ? order[r++] : order[l++];
      }
      while (l < mid) buffer[out++] = order[l++];
      while (r < hi) buffer[out++] = order[r++];
    }
    order.swap(buffer);
  }
  return order;
}

}  // namespace stationlist
