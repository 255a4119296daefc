// The information elements a simulated station beacons, built from its world
// fields by the IEEE 802.11 element layouts.
#include <algorithm>

#include "platform/wlanchannel.h"
#include "platform/wlansim/World.h"

namespace wlansim {
namespace {

enum class Gen { kNone, kB, kG, kA, kN, kAc, kAx, kBe };

Gen GenOf(const AccessPoint& ap) {
  static const std::pair<const char*, Gen> kNames[] = {{"b", Gen::kB},   {"g", Gen::kG},   {"a", Gen::kA},
                                                       {"n", Gen::kN},   {"ac", Gen::kAc}, {"ax", Gen::kAx},
                                                       {"be", Gen::kBe}};
  for (const auto& [name, gen] : kNames)
    if (ap.standard == name) return gen;
  switch (ap.phyType) {
    case dot11_phy_type_fhss:
    case dot11_phy_type_dsss:
    case dot11_phy_type_irbaseband:
    case dot11_phy_type_hrdsss: return Gen::kB;
    case dot11_phy_type_erp: return Gen::kG;
    case dot11_phy_type_ofdm: return Gen::kA;
    case dot11_phy_type_ht: return Gen::kN;
    case dot11_phy_type_vht: return Gen::kAc;
    case dot11_phy_type_unknown: break;
  }
  return Gen::kNone;
}

std::string AkmOf(const AccessPoint& ap) {
  if (!ap.akm.empty()) return ap.akm;
  if (!ap.securityEnabled) return "none";
  switch (ap.authAlgorithm) {
    case DOT11_AUTH_ALGO_WPA: return "wpa-8021x";
    case DOT11_AUTH_ALGO_WPA_PSK:
    case DOT11_AUTH_ALGO_WPA_NONE: return "wpa-psk";
    case DOT11_AUTH_ALGO_RSNA: return "wpa2-8021x";
    case DOT11_AUTH_ALGO_RSNA_PSK: return "wpa2-psk";
    case DOT11_AUTH_ALGO_80211_OPEN:
    case DOT11_AUTH_ALGO_80211_SHARED_KEY: break;
  }
  return "wep";
}

// MFPC / MFPR bits of the RSN capabilities.
std::uint16_t PmfBits(const AccessPoint& ap, const std::string& akm) {
  std::string pmf = ap.pmf;
  if (pmf.empty()) {
    if (akm == "sae" || akm == "owe" || akm == "wpa3-8021x" || akm == "wpa3-8021x-192") pmf = "required";
    else if (akm == "sae-transition") pmf = "capable";
  }
  if (pmf == "required") return 0x00C0;
  if (pmf == "capable") return 0x0080;
  return 0;
}

class Writer {
 public:
  void Element(UCHAR id, std::initializer_list<UCHAR> body) { Element(id, std::vector<UCHAR>(body)); }
  void Element(UCHAR id, const std::vector<UCHAR>& body) {
    out.push_back(id);
    out.push_back(static_cast<UCHAR>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
  std::vector<UCHAR> out;
};

void Put16(std::vector<UCHAR>& b, unsigned v) {
  b.push_back(static_cast<UCHAR>(v & 0xFF));
  b.push_back(static_cast<UCHAR>(v >> 8));
}

void PutSuite(std::vector<UCHAR>& b, std::uint32_t oui, UCHAR type) {
  b.insert(b.end(), {static_cast<UCHAR>(oui >> 16), static_cast<UCHAR>(oui >> 8), static_cast<UCHAR>(oui), type});
}

// Version, group cipher, one or more pairwise ciphers, the AKMs, and (RSN)
// the capabilities.
std::vector<UCHAR> SecurityBody(std::uint32_t oui, UCHAR group, std::initializer_list<UCHAR> pairwise,
                                std::initializer_list<UCHAR> akms, int capabilities) {
  std::vector<UCHAR> b;
  Put16(b, 1);
  PutSuite(b, oui, group);
  Put16(b, static_cast<unsigned>(pairwise.size()));
  for (UCHAR p : pairwise) PutSuite(b, oui, p);
  Put16(b, static_cast<unsigned>(akms.size()));
  for (UCHAR a : akms) PutSuite(b, oui, a);
  if (capabilities >= 0) Put16(b, static_cast<unsigned>(capabilities));
  return b;
}

constexpr std::uint32_t kIeee = 0x000FAC, kWpa = 0x0050F2;
constexpr UCHAR kTkip = 2, kCcmp = 4, kGcmp256 = 9;

void SecurityElements(const AccessPoint& ap, Writer& w, std::vector<UCHAR>* wpaElement) {
  const std::string akm = AkmOf(ap);
  const UCHAR cipher = ap.cipher == DOT11_CIPHER_ALGO_TKIP ? kTkip : kCcmp;
  const int caps = PmfBits(ap, akm);
  auto rsn = [&](UCHAR group, std::initializer_list<UCHAR> pairwise, std::initializer_list<UCHAR> akms) {
    w.Element(48, SecurityBody(kIeee, group, pairwise, akms, caps));
  };
  auto wpa = [&](UCHAR akmType) {
    std::vector<UCHAR> body = {0x00, 0x50, 0xF2, 0x01};
    const std::vector<UCHAR> rest = SecurityBody(kWpa, kTkip, {kTkip}, {akmType}, -1);
    body.insert(body.end(), rest.begin(), rest.end());
    *wpaElement = body;
  };
  if (akm == "wpa2-psk") rsn(cipher, {cipher}, {2});
  else if (akm == "wpa2-8021x") rsn(cipher, {cipher}, {1});
  else if (akm == "wpa-wpa2-psk") rsn(kTkip, {kTkip, kCcmp}, {2}), wpa(2);
  else if (akm == "sae") rsn(kCcmp, {kCcmp}, {8});
  else if (akm == "sae-transition") rsn(kCcmp, {kCcmp}, {2, 8});
  else if (akm == "owe") rsn(kCcmp, {kCcmp}, {18});
  else if (akm == "wpa3-8021x") rsn(kCcmp, {kCcmp}, {5});
  else if (akm == "wpa3-8021x-192") rsn(kGcmp256, {kGcmp256}, {12});
  else if (akm == "wpa-psk") wpa(2);
  else if (akm == "wpa-8021x") wpa(1);
}

// Centre channel of the `widthMHz` block holding `primary`: 5 GHz blocks
// start at 36 (below 149) or 149, 6 GHz blocks at 1.
int Centre(WlanBand band, int primary, int widthMHz) {
  const int base = band == WlanBand::k6GHz ? 1 : primary < 149 ? 36 : 149;
  const int span = widthMHz / 5;  // channel numbers the block covers
  if (primary < base) return primary;
  return base + (primary - base) / span * span + span / 2 - 2;
}

}  // namespace

const std::vector<std::string>& AkmNames() {
  static const std::vector<std::string> names = {"none",       "wep",  "wpa-psk",        "wpa-8021x",
                                                 "wpa2-psk",   "wpa-wpa2-psk", "wpa2-8021x", "sae",
                                                 "sae-transition", "owe", "wpa3-8021x", "wpa3-8021x-192"};
  return names;
}

std::vector<UCHAR> BuildElements(const AccessPoint& ap) {
  if (ap.rawElements) return ap.elements;
  const WlanChannel channel = ChannelFromKHz(ap.frequencyKHz);
  const int primary = channel.number;
  const Gen gen = GenOf(ap);
  const int width = static_cast<int>(ap.widthMHz);
  Writer w;

  const std::string ssid = ap.hidden ? std::string() : ap.ssid.substr(0, 32);
  w.Element(0, std::vector<UCHAR>(ssid.begin(), ssid.end()));
  const std::vector<USHORT> rates = ap.rates.empty() ? DefaultRates(ap.phyType, ap.frequencyKHz) : ap.rates;
  std::vector<UCHAR> low, extended;
  for (USHORT r : rates) (low.size() < 8 ? low : extended).push_back(static_cast<UCHAR>(r));
  if (extended.size() > 255) extended.resize(255);
  w.Element(1, low);
  if (channel.band == WlanBand::k2_4GHz) w.Element(3, {static_cast<UCHAR>(primary)});
  if (!extended.empty()) w.Element(50, extended);

  std::vector<UCHAR> wpaElement;
  SecurityElements(ap, w, &wpaElement);

  const bool sixGhz = channel.band == WlanBand::k6GHz;
  if (gen >= Gen::kN && !sixGhz) {
    // HT capabilities: 40 MHz support when wider than 20; MCS 0-15.
    std::vector<UCHAR> cap(26, 0);
    cap[0] = width > 20 ? 0x6E : 0x6C;
    cap[2] = 0x17;
    cap[3] = cap[4] = 0xFF;
    w.Element(45, cap);
    // HT operation: the secondary channel above or below the primary.
    std::vector<UCHAR> op(22, 0);
    op[0] = static_cast<UCHAR>(primary);
    if (width >= 40) {
      const bool above = channel.band == WlanBand::k2_4GHz ? primary <= 7 : Centre(channel.band, primary, 40) > primary;
      op[1] = static_cast<UCHAR>((above ? 1 : 3) | 0x04);
    }
    w.Element(61, op);
  }
  if (gen >= Gen::kAc && channel.band == WlanBand::k5GHz) {
    w.Element(191, {static_cast<UCHAR>(width >= 160 ? 0xB6 : 0xB2), 0x79, 0xC3, 0x33, 0xFA, 0xFF, 0x0C, 0x03,
                    0xFA, 0xFF, 0x0C, 0x03});
    // VHT operation: 80 MHz code with the second segment telling 160.
    const UCHAR code = width >= 80 ? 1 : 0;
    const UCHAR ccfs0 = width >= 80 ? static_cast<UCHAR>(Centre(channel.band, primary, 80)) : 0;
    const UCHAR ccfs1 = width >= 160 ? static_cast<UCHAR>(Centre(channel.band, primary, 160)) : 0;
    w.Element(192, {code, ccfs0, ccfs1, 0xFC, 0xFF});
  }
  if (gen >= Gen::kAx) {
    std::vector<UCHAR> cap = {35, 0x09, 0x01, 0x08, 0x1A, 0x40, 0x00};
    const UCHAR widths = sixGhz || channel.band == WlanBand::k5GHz ? (width >= 160 ? 0x0C : 0x04) : 0x02;
    const std::vector<UCHAR> phy = {widths, 0x70, 0x1E, 0xC1, 0x83, 0xC0, 0x08, 0x0C, 0x00, 0x00, 0x00};
    cap.insert(cap.end(), phy.begin(), phy.end());
    cap.insert(cap.end(), {0xFA, 0xFF, 0xFA, 0xFF});
    if (width >= 160) cap.insert(cap.end(), {0xFA, 0xFF, 0xFA, 0xFF});
    w.Element(255, cap);
    std::vector<UCHAR> op = {36, 0x04, 0x00, static_cast<UCHAR>(sixGhz ? 0x02 : 0x00), 0x01, 0xFC, 0xFF};
    if (sixGhz) {
      // 6 GHz operation information; 320 MHz is told by the EHT operation,
      // the HE operation gives the 160 MHz half holding the primary.
      const int heWidth = std::min(width, 160);
      const UCHAR code = heWidth == 20 ? 0 : heWidth == 40 ? 1 : heWidth == 80 ? 2 : 3;
      const UCHAR ccfs0 = static_cast<UCHAR>(heWidth == 20 ? primary : Centre(channel.band, primary, std::min(heWidth, 80)));
      const UCHAR ccfs1 = heWidth == 160 ? static_cast<UCHAR>(Centre(channel.band, primary, 160)) : 0;
      op.insert(op.end(), {static_cast<UCHAR>(primary), code, ccfs0, ccfs1, 0x01});
    }
    w.Element(255, op);
  }
  if (gen >= Gen::kBe) {
    std::vector<UCHAR> cap = {108, 0x00, 0x00};
    cap.insert(cap.end(), {static_cast<UCHAR>(width == 320 ? 0x02 : 0x00), 0, 0, 0, 0, 0, 0, 0, 0});
    cap.insert(cap.end(), {0x44, 0x44, 0x44});
    w.Element(255, cap);
    const UCHAR code = width == 20 ? 0 : width == 40 ? 1 : width == 80 ? 2 : width == 160 ? 3 : 4;
    const UCHAR ccfs0 = static_cast<UCHAR>(width == 20 ? primary : Centre(channel.band, primary, std::min(width, 160)));
    const UCHAR ccfs1 = width == 320 ? static_cast<UCHAR>(Centre(channel.band, primary, 320)) : 0;
    w.Element(255, {106, 0x01, 0x44, 0x44, 0x44, 0x44, code, ccfs0, ccfs1});
  }
  if (!wpaElement.empty()) w.Element(221, wpaElement);
  return w.out;
}

}  // namespace wlansim
