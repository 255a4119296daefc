#include <linux/netlink.h>
#include <linux/nl80211.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/nl80211/Nl80211Scan.h"

namespace {

constexpr std::size_t kAlign = 4;
constexpr std::size_t Align(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

template <typename T>
T Read(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // netlink fields are in host order, not aligned for us
  return v;
}

struct Attr {
  std::uint16_t type = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// Walks a run of netlink attributes; false when one claims more than is there.
template <typename F>
bool ForEachAttr(const std::uint8_t* p, std::size_t n, F&& f) {
  std::size_t at = 0;
  while (n - at >= sizeof(nlattr)) {
    const auto len = Read<std::uint16_t>(p + at);
    const auto type = Read<std::uint16_t>(p + at + 2);
    if (len < sizeof(nlattr) || len > n - at) return false;
    f(Attr{static_cast<std::uint16_t>(type & NLA_TYPE_MASK), p + at + sizeof(nlattr), len - sizeof(nlattr)});
    at += std::min(Align(len), n - at);
  }
  return true;
}

std::optional<Nl80211Bss> DecodeBss(const Attr& bss) {
  Nl80211Bss out;
  bool haveBssid = false;
  std::vector<std::uint8_t> ies, beaconIes;
  std::uint32_t mhz = 0, offsetKHz = 0;
  const bool whole = ForEachAttr(bss.data, bss.size, [&](const Attr& a) {
    switch (a.type) {
      case NL80211_BSS_BSSID:
        if (a.size == 6) {
          std::memcpy(out.bssid.data(), a.data, 6);
          haveBssid = true;
        }
        break;
      case NL80211_BSS_FREQUENCY:
        if (a.size == 4) mhz = Read<std::uint32_t>(a.data);
        break;
      case NL80211_BSS_FREQUENCY_OFFSET:
        if (a.size == 4) offsetKHz = Read<std::uint32_t>(a.data);
        break;
      case NL80211_BSS_BEACON_INTERVAL:
        if (a.size == 2) out.beaconInterval = Read<std::uint16_t>(a.data);
        break;
      case NL80211_BSS_CAPABILITY:
        if (a.size == 2) out.capability = Read<std::uint16_t>(a.data);
        break;
      case NL80211_BSS_SIGNAL_MBM:
        if (a.size == 4) out.signalMbm = Read<std::int32_t>(a.data);
        break;
      case NL80211_BSS_SIGNAL_UNSPEC:
        if (a.size == 1) out.signalUnspec = a.data[0];
        break;
      case NL80211_BSS_STATUS:
        if (a.size == 4) {
          const auto status = Read<std::uint32_t>(a.data);
          out.associated = status == NL80211_BSS_STATUS_ASSOCIATED || status == NL80211_BSS_STATUS_IBSS_JOINED;
        }
        break;
      case NL80211_BSS_SEEN_MS_AGO:
        if (a.size == 4) out.seenMsAgo = Read<std::uint32_t>(a.data);
        break;
      case NL80211_BSS_INFORMATION_ELEMENTS: ies.assign(a.data, a.data + a.size); break;
      case NL80211_BSS_BEACON_IES: beaconIes.assign(a.data, a.data + a.size); break;
      case NL80211_BSS_PRESP_DATA: out.elementsFromProbeResponse = true; break;
      default: break;
    }
  });
  if (!whole || !haveBssid) return std::nullopt;
  if (mhz > (UINT32_MAX - offsetKHz) / 1000) return std::nullopt;
  out.frequencyKHz = mhz * 1000 + offsetKHz;
  if (!ies.empty()) {
    out.elements = std::move(ies);
  } else {
    out.elements = std::move(beaconIes);
    out.elementsFromProbeResponse = false;
  }
  return out;
}

}  // namespace

std::optional<Nl80211Bss> DecodeScanMessage(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeaders = NLMSG_HDRLEN + Align(4);  // netlink and generic netlink headers
  if (!data || size < kHeaders) return std::nullopt;
  const auto len = Read<std::uint32_t>(data);
  if (len < kHeaders || len > size) return std::nullopt;
  if (data[NLMSG_HDRLEN] != NL80211_CMD_NEW_SCAN_RESULTS) return std::nullopt;
  std::optional<Nl80211Bss> found;
  const bool whole = ForEachAttr(data + kHeaders, len - kHeaders, [&](const Attr& a) {
    if (a.type == NL80211_ATTR_BSS && !found) found = DecodeBss(a);
  });
  return whole ? found : std::nullopt;
}

bool DecodeScanMessages(const std::uint8_t* data, std::size_t size, std::vector<Nl80211Bss>* out, bool* done,
                        std::string* err) {
  std::size_t at = 0;
  while (size - at >= NLMSG_HDRLEN) {
    const auto len = Read<std::uint32_t>(data + at);
    const auto type = Read<std::uint16_t>(data + at + 4);
    if (len < NLMSG_HDRLEN || len > size - at) {
      if (err) *err = "netlink message cut short";
      return false;
    }
    if (type == NLMSG_DONE) {
      *done = true;
      return true;
    }
    if (type == NLMSG_ERROR) {
      if (len < NLMSG_HDRLEN + 4) {
        if (err) *err = "netlink error message cut short";
        return false;
      }
      const int code = Read<std::int32_t>(data + at + NLMSG_HDRLEN);
      if (code == 0) {  // an acknowledgement
        at += std::min<std::size_t>(NLMSG_ALIGN(len), size - at);
        continue;
      }
      // The kernel sends a negative errno; anything else is no errno at all.
      if (err) *err = code < 0 && code > -4096 ? std::strerror(-code) : "netlink error " + std::to_string(code);
      return false;
    }
    if (type >= NLMSG_MIN_TYPE)
      if (auto bss = DecodeScanMessage(data + at, len)) out->push_back(std::move(*bss));
    at += std::min<std::size_t>(NLMSG_ALIGN(len), size - at);
  }
  return true;
}
