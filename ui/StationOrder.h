// The order of the station list: what a station sorts by in one column, the
// comparison of two stations under a sort state, one resort pass, and the
// full sort of a heading click.
//
// A sort state holds the column in bits 0-30 and "descending" in bit 31.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/StationColumns.h"

class CStation;

namespace stationlist {

class CAssociations;

constexpr std::uint32_t kDescendingBit = 0x80000000u;

CSortKey MakeSortKey(const CStation& station, std::uint32_t state, const CAssociations& associations);

// <0 when a sorts before b, 0 when equal, >0 after. Texts compare without
// regard to case; numbers by value (never by a difference that could
// overflow). Columns 7-9: two stations without profile are equal; with
// exactly one profile they are equal ascending, while descending the one with
// a profile comes first. Other columns are reversed by the descending bit.
int CompareSortKeys(const CSortKey& a, const CSortKey& b, std::uint32_t state);
int CompareStations(const CStation& a, const CStation& b, std::uint32_t state, const CAssociations& associations);

// One resort pass over `keys`: for each i from the top, the first j > i with
// Compare(keys[i], keys[j]) > 0 is exchanged with i (keys swapped, then
// exchanged(i, j) called) and the pass goes on with i + 1. The result is that
// of the plain double loop, found in O(n log n) comparisons rather than
// O(n^2): a tree of range minima tells where the first smaller key lies.
void ResortPassKeys(std::vector<CSortKey>& keys, std::uint32_t state, const std::function<void(int, int)>& exchanged);

// The rows' order after a full sort: a stable merge sort that moves a row
// ahead only when it compares strictly before, so it is well defined even
// for the non-transitive "equal" of the profile columns ascending.
std::vector<int> SortedOrder(const std::vector<CSortKey>& keys, std::uint32_t state);

}  // namespace stationlist
