#include "wlan/InformationElements.h"

#include <algorithm>
#include <initializer_list>

namespace {

constexpr std::uint8_t kSsid = 0, kRates = 1, kDsParameter = 3, kHtCapabilities = 45, kRsn = 48,
                       kExtendedRates = 50, kHtOperation = 61, kVhtCapabilities = 191, kVhtOperation = 192,
                       kVendor = 221, kExtension = 255;
constexpr std::uint8_t kExtHeCapabilities = 35, kExtHeOperation = 36, kExtEhtOperation = 106,
                       kExtEhtCapabilities = 108;

constexpr std::uint32_t kIeeeOui = 0x000FAC, kWpaOui = 0x0050F2;
constexpr std::uint16_t kCapabilityPrivacy = 0x0010;
constexpr std::uint16_t kRsnMfpr = 0x0040, kRsnMfpc = 0x0080;

std::uint32_t Suite(std::uint32_t oui, std::uint8_t type) { return oui << 8 | type; }

// Bounds-checked reading of one element's body.
class Reader {
 public:
  Reader(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}
  std::size_t Left() const { return m_n - m_at; }
  bool U8(std::uint8_t* v) {
    if (Left() < 1) return false;
    *v = m_p[m_at++];
    return true;
  }
  bool U16(std::uint16_t* v) {  // little-endian, as element fields are
    if (Left() < 2) return false;
    *v = static_cast<std::uint16_t>(m_p[m_at] | m_p[m_at + 1] << 8);
    m_at += 2;
    return true;
  }
  bool SuiteSel(std::uint32_t* v) {  // OUI in transmission order, then the type
    if (Left() < 4) return false;
    *v = Suite(static_cast<std::uint32_t>(m_p[m_at]) << 16 | m_p[m_at + 1] << 8 | m_p[m_at + 2], m_p[m_at + 3]);
    m_at += 4;
    return true;
  }
  bool Skip(std::size_t k) {
    if (Left() < k) return false;
    m_at += k;
    return true;
  }

 private:
  const std::uint8_t* m_p;
  std::size_t m_n;
  std::size_t m_at = 0;
};

// A suite list: a 16-bit count, then that many selectors.
bool SuiteList(Reader& r, std::vector<std::uint32_t>* out) {
  std::uint16_t count = 0;
  if (!r.U16(&count)) return false;
  if (r.Left() / 4 < count) return false;
  out->resize(count);
  for (auto& s : *out) r.SuiteSel(&s);
  return true;
}

// The security elements share one layout after their version: group cipher,
// pairwise list, AKM list, and (RSN only) capabilities. Each trailing field
// may be left out whole; a field cut short spoils the element.
struct SecurityFields {
  std::uint32_t group = 0;
  std::vector<std::uint32_t> pairwise, akms;
  std::uint16_t capabilities = 0;
};

bool ReadSecurity(Reader r, bool rsn, std::uint32_t defaultOui, SecurityFields* f) {
  std::uint16_t version = 0;
  if (!r.U16(&version) || version != 1) return false;
  // Absent fields take the defaults: CCMP (RSN) or TKIP (WPA), 802.1X.
  f->group = Suite(defaultOui, rsn ? 4 : 2);
  f->pairwise = {f->group};
  f->akms = {Suite(defaultOui, 1)};
  if (r.Left() == 0) return true;
  if (!r.SuiteSel(&f->group)) return false;
  if (r.Left() == 0) return true;
  if (!SuiteList(r, &f->pairwise)) return false;
  if (r.Left() == 0) return true;
  if (!SuiteList(r, &f->akms)) return false;
  if (!rsn || r.Left() == 0) return true;
  return r.U16(&f->capabilities);  // PMKID list and group management cipher follow; not needed
}

struct Operation {
  int widthMHz = 0;  // 0: not stated
  bool split = false;
};

// Width from a channel width code 0..3 (20, 40, 80, 160 or 80+80) and the two
// centre frequency segments; 160 and 80+80 share code 3 and differ by the
// distance of the segments (8 channels for one 160 MHz block).
Operation WidthOfSegments(int code, int ccfs0, int ccfs1) {
  switch (code) {
    case 0: return {20, false};
    case 1: return {40, false};
    case 2: return {80, false};
    default: {
      const int d = ccfs1 > ccfs0 ? ccfs1 - ccfs0 : ccfs0 - ccfs1;
      return d > 16 ? Operation{160, true} : Operation{160, false};
    }
  }
}

// The VHT operation information: width code 0 (20/40, see HT), 1 (80, or 160
// / 80+80 told by the second segment), 2 (160) and 3 (80+80), both deprecated.
Operation VhtOperationWidth(std::uint8_t code, std::uint8_t ccfs0, std::uint8_t ccfs1) {
  switch (code) {
    case 0: return {};
    case 1: {
      if (ccfs1 == 0) return {80, false};
      const int d = ccfs1 > ccfs0 ? ccfs1 - ccfs0 : ccfs0 - ccfs1;
      if (d == 8) return {160, false};
      return d > 16 ? Operation{160, true} : Operation{80, false};
    }
    case 2: return {160, false};
    case 3: return {160, true};
    default: return {};
  }
}

struct Parsed {
  WlanElementInfo info;
  bool haveRates = false, haveDs = false, haveHtOp = false, haveVhtOp = false, haveHeOp = false,
       haveEhtOp = false, haveRsn = false, haveWpa = false;
  int htPrimary = 0;
  Operation ht, vht, he, eht;
  int sixGhzPrimary = 0;
};

void ParseHeOperation(Reader r, Parsed* p) {
  std::uint8_t b0 = 0, b1 = 0, b2 = 0;
  if (!r.U8(&b0) || !r.U8(&b1) || !r.U8(&b2) || !r.Skip(1 + 2)) return;  // parameters, BSS colour, basic MCS
  const std::uint32_t params = b0 | b1 << 8 | static_cast<std::uint32_t>(b2) << 16;
  const bool vhtInfo = params & (1u << 14), coHosted = params & (1u << 15), sixGhzInfo = params & (1u << 17);
  Operation width;
  int primary = 0;
  if (vhtInfo) {
    std::uint8_t code = 0, c0 = 0, c1 = 0;
    if (!r.U8(&code) || !r.U8(&c0) || !r.U8(&c1)) return;
    width = VhtOperationWidth(code, c0, c1);
  }
  if (coHosted && !r.Skip(1)) return;
  if (sixGhzInfo) {
    std::uint8_t prim = 0, control = 0, c0 = 0, c1 = 0;
    if (!r.U8(&prim) || !r.U8(&control) || !r.U8(&c0) || !r.U8(&c1) || !r.Skip(1)) return;
    primary = prim;
    width = WidthOfSegments(control & 0x03, c0, c1);
  }
  p->haveHeOp = true;
  p->info.he = true;
  p->he = width;
  p->sixGhzPrimary = primary;
}

void ParseEhtOperation(Reader r, Parsed* p) {
  std::uint8_t params = 0;
  if (!r.U8(&params) || !r.Skip(4)) return;  // parameters, basic EHT-MCS and NSS set
  Operation width;
  if (params & 0x01) {
    std::uint8_t control = 0;
    if (!r.U8(&control) || !r.Skip(2)) return;  // control, CCFS0, CCFS1
    if ((params & 0x02) && !r.Skip(2)) return;  // disabled subchannel bitmap
    static constexpr int kWidths[] = {20, 40, 80, 160, 320};
    if ((control & 0x07) < 5) width = {kWidths[control & 0x07], false};
  }
  p->haveEhtOp = true;
  p->info.eht = true;
  p->eht = width;
}

void ParseExtension(const std::uint8_t* body, std::size_t len, Parsed* p) {
  if (len < 1) return;
  const Reader r(body + 1, len - 1);
  switch (body[0]) {
    case kExtHeCapabilities:
      if (len >= 1 + 6 + 11 + 4) p->info.he = true;  // MAC and PHY capabilities, the 80 MHz MCS set
      break;
    case kExtHeOperation:
      if (!p->haveHeOp) ParseHeOperation(r, p);
      break;
    case kExtEhtCapabilities:
      if (len >= 1 + 2 + 9 + 3) p->info.eht = true;  // MAC and PHY capabilities, one MCS set
      break;
    case kExtEhtOperation:
      if (!p->haveEhtOp) ParseEhtOperation(r, p);
      break;
    default: break;
  }
}

void ParseVendor(const std::uint8_t* body, std::size_t len, Parsed* p) {
  // The WPA element: OUI 00:50:F2, type 1, then the RSN-like fields.
  if (len < 4 || body[0] != 0x00 || body[1] != 0x50 || body[2] != 0xF2 || body[3] != 1 || p->haveWpa) return;
  SecurityFields f;
  if (!ReadSecurity(Reader(body + 4, len - 4), false, kWpaOui, &f)) return;
  p->haveWpa = p->info.wpa = true;
  p->info.wpaGroupCipher = f.group;
  p->info.wpaPairwise = std::move(f.pairwise);
  p->info.wpaAkms = std::move(f.akms);
}

void ParseElement(std::uint8_t id, const std::uint8_t* body, std::size_t len, Parsed* p) {
  WlanElementInfo& info = p->info;
  switch (id) {
    case kSsid:
      if (!info.hasSsid && len <= 32) {
        info.hasSsid = true;
        info.ssid.assign(reinterpret_cast<const char*>(body), len);
      }
      break;
    case kRates:
    case kExtendedRates:
      for (std::size_t i = 0; i < len; ++i) {
        // Rates run up to 54 Mbps (108); higher values with the basic bit are
        // membership selectors (HT, VHT, SAE hash-to-element ...).
        const std::uint8_t rate = body[i] & 0x7F;
        if (rate >= 1 && rate <= 108) info.rates.push_back(body[i]);
      }
      break;
    case kDsParameter:
      if (len >= 1 && !p->haveDs) {
        p->haveDs = true;
        info.dsChannel = body[0];
      }
      break;
    case kHtCapabilities:
      if (len >= 26) info.ht = true;
      break;
    case kHtOperation:
      if (len >= 22 && !p->haveHtOp) {
        p->haveHtOp = info.ht = true;
        p->htPrimary = body[0];
        const int offset = body[1] & 0x03;  // 1: above, 3: below the primary
        const bool anyWidth = body[1] & 0x04;
        p->ht = {(offset == 1 || offset == 3) && anyWidth ? 40 : 20, false};
      }
      break;
    case kVhtCapabilities:
      if (len >= 12) info.vht = true;
      break;
    case kVhtOperation:
      if (len >= 5 && !p->haveVhtOp) {
        p->haveVhtOp = info.vht = true;
        p->vht = VhtOperationWidth(body[0], body[1], body[2]);
      }
      break;
    case kRsn:
      if (!p->haveRsn) {
        SecurityFields f;
        if (ReadSecurity(Reader(body, len), true, kIeeeOui, &f)) {
          p->haveRsn = info.rsn = true;
          info.rsnGroupCipher = f.group;
          info.rsnPairwise = std::move(f.pairwise);
          info.rsnAkms = std::move(f.akms);
          info.rsnCapabilities = f.capabilities;
        }
      }
      break;
    case kVendor: ParseVendor(body, len, p); break;
    case kExtension: ParseExtension(body, len, p); break;
    default: break;
  }
}

bool HasRate(const std::vector<std::uint8_t>& rates, std::initializer_list<int> wanted) {
  return std::any_of(rates.begin(), rates.end(), [&](std::uint8_t r) {
    return std::find(wanted.begin(), wanted.end(), r & 0x7F) != wanted.end();
  });
}

WlanStandard LegacyStandard(const WlanElementInfo& info) {
  const bool dsss = HasRate(info.rates, {2, 4, 11, 22});
  const bool ofdm = HasRate(info.rates, {12, 18, 24, 36, 48, 72, 96, 108});
  if (info.band == WlanBand::k5GHz || info.band == WlanBand::k6GHz) return ofdm ? WlanStandard::k80211a : WlanStandard::kUnknown;
  if (info.band == WlanBand::k2_4GHz) return ofdm ? WlanStandard::k80211g : dsss ? WlanStandard::k80211b : WlanStandard::kUnknown;
  if (ofdm) return dsss ? WlanStandard::k80211g : WlanStandard::k80211a;
  return dsss ? WlanStandard::k80211b : WlanStandard::kUnknown;
}

bool Contains(const std::vector<std::uint32_t>& v, std::initializer_list<std::uint32_t> types, std::uint32_t oui) {
  return std::any_of(v.begin(), v.end(), [&](std::uint32_t s) {
    return (s >> 8) == oui && std::find(types.begin(), types.end(), s & 0xFF) != types.end();
  });
}

}  // namespace

WlanElementInfo ParseInformationElements(const std::uint8_t* data, std::size_t size,
                                         const WlanElementContext& context) {
  Parsed p;
  std::size_t at = 0;
  while (data && size - at >= 2) {
    const std::uint8_t id = data[at], len = data[at + 1];
    if (size - at - 2 < len) break;  // cut short: nothing after it can be trusted
    ParseElement(id, data + at + 2, len, &p);
    at += 2 + static_cast<std::size_t>(len);
  }

  WlanElementInfo& info = p.info;
  // Band and primary channel: the frequency where known, else what the
  // elements say (the 6 GHz operation information exists only there).
  const WlanChannel byFrequency = ChannelFromMHz(context.frequencyMHz);
  if (byFrequency.band != WlanBand::kNone) {
    info.band = byFrequency.band;
    info.primaryChannel = byFrequency.number;
  } else if (p.sixGhzPrimary != 0) {
    info.band = WlanBand::k6GHz;
    info.primaryChannel = p.sixGhzPrimary;
  } else if (const int ch = p.htPrimary ? p.htPrimary : info.dsChannel; ch != 0) {
    info.band = ch <= 14 ? WlanBand::k2_4GHz : WlanBand::k5GHz;
    info.primaryChannel = ch;
  } else if (info.vht) {
    info.band = WlanBand::k5GHz;
  }

  // Width: each newer operation element refines the older one when it states a width.
  for (const Operation& op : {p.ht, p.vht, p.he, p.eht}) {
    if (op.widthMHz != 0) {
      info.widthMHz = op.widthMHz;
      info.width80Plus80 = op.split;
    }
  }

  info.standard = info.eht ? WlanStandard::k80211be
                  : info.he ? WlanStandard::k80211ax
                  : info.vht ? WlanStandard::k80211ac
                  : info.ht ? WlanStandard::k80211n
                            : LegacyStandard(info);

  info.privacy = context.capability >= 0 && (context.capability & kCapabilityPrivacy);
  if (info.rsn && (info.rsnCapabilities & kRsnMfpc))
    info.pmf = (info.rsnCapabilities & kRsnMfpr) ? WlanPmf::kRequired : WlanPmf::kCapable;
  return info;
}

const char* WlanStandardText(WlanStandard standard) {
  switch (standard) {
    case WlanStandard::k80211b: return "802.11b";
    case WlanStandard::k80211g: return "802.11g";
    case WlanStandard::k80211a: return "802.11a";
    case WlanStandard::k80211n: return "802.11n";
    case WlanStandard::k80211ac: return "802.11ac";
    case WlanStandard::k80211ax: return "802.11ax";
    case WlanStandard::k80211be: return "802.11be";
    case WlanStandard::kUnknown: break;
  }
  return "";
}

const char* WlanPmfText(WlanPmf pmf) {
  switch (pmf) {
    case WlanPmf::kRequired: return "required";
    case WlanPmf::kCapable: return "capable";
    case WlanPmf::kNo: break;
  }
  return "no";
}

std::string WlanWidthText(const WlanElementInfo& info) {
  return info.width80Plus80 ? std::string("80+80 MHz") : std::to_string(info.widthMHz) + " MHz";
}

std::string WlanAuthenticationText(const WlanElementInfo& info) {
  if (info.rsn) {
    const auto& a = info.rsnAkms;
    // AKM suite types of the IEEE OUI.
    const bool suiteB192 = Contains(a, {12, 13}, kIeeeOui);
    const bool sae = Contains(a, {8, 9, 24, 25}, kIeeeOui);
    const bool psk = Contains(a, {2, 4, 6, 19, 20}, kIeeeOui);
    const bool eapLegacy = Contains(a, {1, 3}, kIeeeOui);
    const bool eapStrong = Contains(a, {5, 11, 22, 23}, kIeeeOui);
    const bool owe = Contains(a, {18}, kIeeeOui);
    if (suiteB192) return "WPA3-802.1X-192";
    if (sae && psk) return "WPA2/WPA3";
    if (sae) return "WPA3-SAE";
    if (psk) return info.wpa && Contains(info.wpaAkms, {2}, kWpaOui) ? "WPA/WPA2-PSK" : "WPA2-PSK";
    if (eapStrong && !eapLegacy && info.pmf == WlanPmf::kRequired) return "WPA3-802.1X";
    if (eapStrong || eapLegacy) return "WPA2-802.1X";
    if (owe) return "OWE";
    return "WPA2";
  }
  if (info.wpa) return Contains(info.wpaAkms, {2}, kWpaOui) ? "WPA-PSK" : "WPA-802.1X";
  return info.privacy ? "WEP" : "Open";
}

std::string WlanPairwiseCipherText(const WlanElementInfo& info) {
  const auto& list = info.rsn ? info.rsnPairwise : info.wpaPairwise;
  std::string text;
  for (std::uint32_t s : list) {
    const char* name = nullptr;
    if ((s >> 8) == kIeeeOui || (s >> 8) == kWpaOui) {
      switch (s & 0xFF) {
        case 1: name = "WEP-40"; break;
        case 2: name = "TKIP"; break;
        case 4: name = "CCMP"; break;
        case 5: name = "WEP-104"; break;
        case 8: name = (s >> 8) == kIeeeOui ? "GCMP" : nullptr; break;
        case 9: name = (s >> 8) == kIeeeOui ? "GCMP-256" : nullptr; break;
        case 10: name = (s >> 8) == kIeeeOui ? "CCMP-256" : nullptr; break;
        default: break;
      }
    }
    if (!name) continue;
    if (!text.empty()) text += "+";
    text += name;
  }
  return text;
}
