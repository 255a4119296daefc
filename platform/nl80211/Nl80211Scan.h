// The kernel's list of access points an nl80211 wireless device has heard:
// the NL80211_CMD_GET_SCAN dump, which any user may read (only triggering a
// scan needs privilege). Standard C++ and the Linux netlink layouts; the
// socket part uses libnl-genl-3 when the build found it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Nl80211Bss {
  std::array<std::uint8_t, 6> bssid{};
  std::uint32_t frequencyKHz = 0;  // centre frequency: MHz * 1000 plus the kHz offset
  std::optional<int> signalMbm;  // 100 * dBm, when the device reports dBm
  std::optional<int> signalUnspec;  // 0..100, when it reports only a relative strength
  std::uint16_t beaconInterval = 0;  // time units of 1024 us
  std::uint16_t capability = 0;
  std::vector<std::uint8_t> elements;  // see DecodeScanMessage for which
  bool elementsFromProbeResponse = false;
  bool associated = false;  // the device is associated or joined to it
  std::uint32_t seenMsAgo = 0;

  // Signal in whole dBm (rounded toward zero), when reported in dBm.
  std::optional<int> SignalDbm() const {
    return signalMbm ? std::optional<int>(*signalMbm / 100) : std::nullopt;
  }
};

// One netlink message of the dump's reply (netlink header, generic netlink
// header, attributes) holding an NL80211_ATTR_BSS. Gives nothing for another
// message, a BSS without a BSSID, or bytes that do not hold together
// (lengths past the end); nothing outside [data, data + size) is read.
// The elements are NL80211_BSS_INFORMATION_ELEMENTS (the newest frame heard,
// a probe response when one came, which names a hidden network and carries
// everything the beacon does) and, when those are missing or empty,
// NL80211_BSS_BEACON_IES.
std::optional<Nl80211Bss> DecodeScanMessage(const std::uint8_t* data, std::size_t size);

// Every message in one read from the socket: appends the BSSes to `out`.
// Returns false on an error message (its errno text in `err`) or on bytes that
// do not hold together; sets `done` at the dump's end.
bool DecodeScanMessages(const std::uint8_t* data, std::size_t size, std::vector<Nl80211Bss>* out, bool* done,
                        std::string* err);

// Reads the scan dump of the interface with index `ifindex` (if_nametoindex)
// over a generic netlink socket. Nothing when the dump cannot be read: no
// nl80211 in this kernel or network namespace, no such interface, not a
// wireless one, no answer within two seconds, or a build without libnl; the
// reason in `err`.
std::optional<std::vector<Nl80211Bss>> ReadScanDump(int ifindex, std::string* err);
