#include "platform/wlansim/World.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/wlansim/ProfileXml.h"

namespace wlansim {

std::string BuildProfileXml(const ProfileFields& spec) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : spec.ssid) {
    hex += kHex[c >> 4];
    hex += kHex[c & 0x0F];
  }
  std::string x;
  x += "<?xml version=\"1.0\"?>\n";
  x += "<WLANProfile>\n";
  x += "\t<name>" + XmlEscape(spec.name) + "</name>\n";
  x += "\t<SSIDConfig>\n";
  x += "\t\t<SSID>\n";
  x += "\t\t\t<hex>" + hex + "</hex>\n";
  x += "\t\t\t<name>" + XmlEscape(spec.ssid) + "</name>\n";
  x += "\t\t</SSID>\n";
  x += std::string("\t\t<nonBroadcast>") + (spec.nonBroadcast ? "true" : "false") + "</nonBroadcast>\n";
  x += "\t</SSIDConfig>\n";
  x += std::string("\t<connectionType>") +
       (spec.bssType == dot11_BSS_type_independent ? "IBSS" : "ESS") + "</connectionType>\n";
  x += std::string("\t<connectionMode>") + (spec.autoConnect ? "auto" : "manual") + "</connectionMode>\n";
  x += std::string("\t<autoSwitch>") + (spec.autoSwitch ? "true" : "false") + "</autoSwitch>\n";
  x += "\t<MSM>\n";
  x += "\t\t<security>\n";
  x += "\t\t\t<authEncryption>\n";
  x += "\t\t\t\t<authentication>" + XmlEscape(spec.authentication) + "</authentication>\n";
  x += "\t\t\t\t<encryption>" + XmlEscape(spec.encryption) + "</encryption>\n";
  x += "\t\t\t\t<useOneX>false</useOneX>\n";
  x += "\t\t\t</authEncryption>\n";
  if (!spec.key.empty()) {
    x += "\t\t\t<sharedKey>\n";
    x += "\t\t\t\t<keyType>" + XmlEscape(spec.keyType) + "</keyType>\n";
    x += "\t\t\t\t<protected>false</protected>\n";
    x += "\t\t\t\t<keyMaterial>" + XmlEscape(spec.key) + "</keyMaterial>\n";
    x += "\t\t\t</sharedKey>\n";
  }
  x += "\t\t</security>\n";
  x += "\t</MSM>\n";
  x += "</WLANProfile>";
  return x;
}

std::vector<USHORT> DefaultRates(DOT11_PHY_TYPE phy, ULONG frequencyKHz) {
  const bool fiveGHz = frequencyKHz >= 4900000;
  switch (phy) {
    case dot11_phy_type_fhss:
    case dot11_phy_type_dsss:
    case dot11_phy_type_irbaseband:
      return {0x82, 0x84};
    case dot11_phy_type_hrdsss:
      return {0x82, 0x84, 0x8B, 0x96};
    case dot11_phy_type_ofdm:
      return {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
    case dot11_phy_type_erp:
      return {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
    case dot11_phy_type_ht:
    case dot11_phy_type_vht:
      if (fiveGHz) return {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
      return {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
    case dot11_phy_type_unknown:
      break;
  }
  return {};
}

namespace {
// The element fields a station's beacons can carry: "<.field>: <reason>" in `why`.
bool ElementFieldsValid(const AccessPoint& st, std::string* why) {
  static const std::set<std::string> kStandards = {"", "b", "g", "a", "n", "ac", "ax", "be"};
  if (!kStandards.count(st.standard)) return *why = ".standard: not one of b g a n ac ax be", false;
  if (!st.akm.empty() && std::find(AkmNames().begin(), AkmNames().end(), st.akm) == AkmNames().end())
    return *why = ".akm: not a known AKM name", false;
  if (!st.pmf.empty() && st.pmf != "no" && st.pmf != "capable" && st.pmf != "required")
    return *why = ".pmf: not one of no capable required", false;
  if (st.elements.size() > 4096) return *why = ".elementsHex: more than 4096 bytes", false;
  const ULONG w = st.widthMHz;
  if (w != 20 && w != 40 && w != 80 && w != 160 && w != 320)
    return *why = ".widthMHz: not one of 20 40 80 160 320", false;
  if (w == 20 || st.rawElements) return true;
  // Wider channels need the generation that brought them, on a band that has them.
  const std::string& s = st.standard;
  const bool n = s == "n" || (s.empty() && st.phyType == dot11_phy_type_ht);
  const bool ac = s == "ac" || (s.empty() && st.phyType == dot11_phy_type_vht);
  const bool ax = s == "ax", be = s == "be";
  const bool twoFour = st.frequencyKHz < 4900000, six = st.frequencyKHz >= 5925000;
  const bool ok = w == 40    ? n || ac || ax || be
                  : w == 320 ? be && six
                             : !twoFour && (six ? ax || be : ac || ax || be);
  if (!ok) return *why = ".widthMHz: " + std::to_string(w) + " MHz is not offered by that standard on that band", false;
  return true;
}

bool InBand(ULONG kHz) {
  return (kHz >= 2400000 && kHz <= 2500000) || (kHz >= 4900000 && kHz <= 5900000) ||
         (kHz >= 5925000 && kHz <= 7125000);
}
}  // namespace

bool ValidateWorld(const World& world, std::string* path, std::string* reason) {
  auto fail = [&](const std::string& p, const std::string& r) {
    if (path) *path = p;
    if (reason) *reason = r;
    return false;
  };
  const Timing& t = world.timing;
  if (t.signalIntervalMs < 100) return fail("timing.signalIntervalMs", "must be at least 100");
  if (t.reconnectRetryMs < 100) return fail("timing.reconnectRetryMs", "must be at least 100");
  const ULONG kDayMs = 24u * 3600u * 1000u;
  if (t.scanMs > kDayMs || t.stepMs > kDayMs || t.signalIntervalMs > kDayMs || t.reconnectDelayMs > kDayMs ||
      t.reconnectRetryMs > kDayMs)
    return fail("timing", "delays must not exceed one day");

  std::set<std::string> guids;
  for (std::size_t a = 0; a < world.adapters.size(); ++a) {
    const Adapter& ad = world.adapters[a];
    const std::string ap = "adapters[" + std::to_string(a) + "]";
    if (!guids.insert(GuidToText(ad.guid)).second) return fail(ap + ".guid", "duplicate adapter GUID");
    if (ad.description.size() >= WLAN_MAX_NAME_LENGTH) return fail(ap + ".description", "longer than 255 bytes");

    std::set<Mac> bssids;
    for (std::size_t s = 0; s < ad.stations.size(); ++s) {
      const AccessPoint& st = ad.stations[s];
      const std::string sp = ap + ".stations[" + std::to_string(s) + "]";
      if (!bssids.insert(st.bssid).second) return fail(sp + ".bssid", "duplicate BSSID on this adapter");
      if (st.ssid.size() > DOT11_SSID_MAX_LENGTH) return fail(sp + ".ssid", "SSID longer than 32 bytes");
      if (!InBand(st.frequencyKHz)) return fail(sp + ".frequencyKHz", "not in the 2.4, 5 or 6 GHz band");
      if (st.bssType != dot11_BSS_type_infrastructure && st.bssType != dot11_BSS_type_independent)
        return fail(sp + ".bssType", "must be infrastructure or independent");
      if (st.rates.size() > DOT11_RATE_SET_MAX_LENGTH) return fail(sp + ".rates", "more than 126 entries");
      std::string why;
      if (!ElementFieldsValid(st, &why)) return fail(sp + why.substr(0, why.find(':')), why.substr(why.find(':') + 2));
      if (st.beaconPeriod == 0) return fail(sp + ".beaconPeriod", "must be positive");
      if (st.baseRssi < -100 || st.baseRssi > -20) return fail(sp + ".rssi", "must lie in -100..-20 dBm");
      if (st.driftDb < 0 || st.driftDb > 40) return fail(sp + ".driftDb", "must lie in 0..40 dB");
      if (st.driftPeriodMs == 0) return fail(sp + ".driftPeriodMs", "must be positive");
      if (st.securityEnabled == (st.cipher == DOT11_CIPHER_ALGO_NONE))
        return fail(sp + ".security", "a secured station needs a cipher and an open one none");
    }

    std::set<std::string> names;
    for (std::size_t p = 0; p < ad.profiles.size(); ++p) {
      const std::string pp = ap + ".profiles[" + std::to_string(p) + "]";
      ParsedProfile parsed;
      const WLAN_REASON_CODE rc = ParseProfileXml(ad.profiles[p], &parsed);
      if (rc != WLAN_REASON_CODE_SUCCESS) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "profile document refused (reason 0x%X)", rc);
        return fail(pp, buf);
      }
      if (!names.insert(parsed.name).second) return fail(pp, "duplicate profile name '" + parsed.name + "'");
    }
  }
  return true;
}

std::string MacToText(const Mac& mac) {
  char buf[18];
  std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return buf;
}

bool ParseMac(const std::string& text, Mac* mac) {
  if (text.size() != 17) return false;
  Mac m{};
  for (std::size_t i = 0; i < 6; ++i) {
    const char a = text[i * 3], b = text[i * 3 + 1];
    if (!std::isxdigit(static_cast<unsigned char>(a)) || !std::isxdigit(static_cast<unsigned char>(b))) return false;
    if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return false;
    m[i] = static_cast<UCHAR>(std::stoi(text.substr(i * 3, 2), nullptr, 16));
  }
  *mac = m;
  return true;
}

std::string GuidToText(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

bool ParseGuid(const std::string& text, GUID* guid) {
  std::string t = text;
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return false;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (i != 8 && i != 13 && i != 18 && i != 23 && !std::isxdigit(static_cast<unsigned char>(t[i]))) return false;
  auto hex = [&](std::size_t pos, std::size_t len) { return std::stoul(t.substr(pos, len), nullptr, 16); };
  GUID g{};
  g.Data1 = static_cast<DWORD>(hex(0, 8));
  g.Data2 = static_cast<WORD>(hex(9, 4));
  g.Data3 = static_cast<WORD>(hex(14, 4));
  g.Data4[0] = static_cast<BYTE>(hex(19, 2));
  g.Data4[1] = static_cast<BYTE>(hex(21, 2));
  for (std::size_t i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<BYTE>(hex(24 + 2 * i, 2));
  *guid = g;
  return true;
}

}  // namespace wlansim
