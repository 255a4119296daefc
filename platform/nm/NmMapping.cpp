#include "platform/nm/NmMapping.h"

#include <QUuid>

#include "platform/wlansim/World.h"

namespace nm {
namespace {

// NM80211ApFlags / NM80211ApSecurityFlags.
constexpr unsigned kApPrivacy = 0x1;
constexpr unsigned kPairTkip = 0x4;
constexpr unsigned kPairCcmp = 0x8;
constexpr unsigned kGroupWep40 = 0x10;
constexpr unsigned kGroupWep104 = 0x20;
constexpr unsigned kKeyMgmtPsk = 0x100;
constexpr unsigned kKeyMgmt8021x = 0x200;
constexpr unsigned kKeyMgmtSae = 0x400;
constexpr unsigned kGroupTkip = 0x40;
constexpr unsigned kGroupCcmp = 0x80;
constexpr unsigned kKeyMgmtOwe = 0x800;
constexpr unsigned kKeyMgmtSuiteB192 = 0x2000;

// The namespace of adapter GUIDs (a random UUID fixed once for this program).
const QUuid kGuidNamespace(QStringLiteral("{6f3c2a51-94d0-4c7e-b1a8-2d5e7c90a4f3}"));

}  // namespace

WLAN_INTERFACE_STATE InterfaceStateOf(unsigned state, bool adhoc) {
  if (state >= kStateFailed) return wlan_interface_state_disconnected;
  if (state >= kStateDeactivating) return wlan_interface_state_disconnecting;
  if (state >= kStateActivated) return adhoc ? wlan_interface_state_ad_hoc_network_formed : wlan_interface_state_connected;
  if (state >= kStateNeedAuth) return wlan_interface_state_authenticating;
  if (state >= kStatePrepare) return wlan_interface_state_associating;
  if (state >= kStateDisconnected) return wlan_interface_state_disconnected;
  return wlan_interface_state_not_ready;
}

GUID DeviceGuid(const QString& permanentHwAddress, const QString& interfaceName) {
  UCHAR mac[6];
  const bool haveMac = ParseHwAddress(permanentHwAddress, mac) &&
                       (mac[0] | mac[1] | mac[2] | mac[3] | mac[4] | mac[5]) != 0;
  const QByteArray name = haveMac ? QByteArrayLiteral("hw:") + permanentHwAddress.toUpper().toLatin1()
                                  : QByteArrayLiteral("if:") + interfaceName.toUtf8();
  const QUuid uuid = QUuid::createUuidV5(kGuidNamespace, name);
  GUID guid{};
  guid.Data1 = uuid.data1;
  guid.Data2 = uuid.data2;
  guid.Data3 = uuid.data3;
  for (int i = 0; i < 8; ++i) guid.Data4[i] = uuid.data4[i];
  return guid;
}

ApSecurity SecurityOf(unsigned flags, unsigned wpaFlags, unsigned rsnFlags) {
  ApSecurity s;
  const unsigned wpa = rsnFlags ? rsnFlags : wpaFlags;
  if (wpa) {
    s.enabled = true;
    const bool rsn = rsnFlags != 0;
    if (wpa & (kKeyMgmtPsk | kKeyMgmtSae))
      s.auth = rsn ? DOT11_AUTH_ALGO_RSNA_PSK : DOT11_AUTH_ALGO_WPA_PSK;
    else if (wpa & kKeyMgmt8021x)
      s.auth = rsn ? DOT11_AUTH_ALGO_RSNA : DOT11_AUTH_ALGO_WPA;
    else
      s.auth = rsn ? DOT11_AUTH_ALGO_RSNA_PSK : DOT11_AUTH_ALGO_WPA_PSK;
    s.cipher = (wpa & kPairCcmp) ? DOT11_CIPHER_ALGO_CCMP
               : (wpa & kPairTkip) ? DOT11_CIPHER_ALGO_TKIP
                                   : DOT11_CIPHER_ALGO_CCMP;
    return s;
  }
  if (flags & kApPrivacy) {
    s.enabled = true;
    s.cipher = (wpaFlags & kGroupWep40) ? DOT11_CIPHER_ALGO_WEP40
               : (wpaFlags & kGroupWep104) ? DOT11_CIPHER_ALGO_WEP104
                                           : DOT11_CIPHER_ALGO_WEP;
  }
  return s;
}

std::vector<std::uint8_t> ElementsFromApFlags(unsigned wpaFlags, unsigned rsnFlags) {
  // A suite selector: an organisation identifier and a type.
  struct Suite {
    std::uint8_t oui[3];
    std::uint8_t type;
  };
  const auto element = [](std::vector<std::uint8_t>* out, const std::vector<std::uint8_t>& body, bool vendorWpa,
                          unsigned f, const std::uint8_t oui[3], std::uint8_t akm8021x, std::uint8_t akmPsk,
                          bool rsn) {
    std::vector<Suite> pairwise, akms;
    if (f & kPairCcmp) pairwise.push_back({{oui[0], oui[1], oui[2]}, 4});
    if (f & kPairTkip) pairwise.push_back({{oui[0], oui[1], oui[2]}, 2});
    if (f & kKeyMgmt8021x) akms.push_back({{oui[0], oui[1], oui[2]}, akm8021x});
    if (f & kKeyMgmtPsk) akms.push_back({{oui[0], oui[1], oui[2]}, akmPsk});
    if (rsn && (f & kKeyMgmtSae)) akms.push_back({{oui[0], oui[1], oui[2]}, 8});
    if (rsn && (f & kKeyMgmtOwe)) akms.push_back({{oui[0], oui[1], oui[2]}, 18});
    if (rsn && (f & kKeyMgmtSuiteB192)) akms.push_back({{oui[0], oui[1], oui[2]}, 12});
    if (akms.empty()) return;
    const std::uint8_t group = (f & kGroupCcmp) ? 4 : (f & kGroupTkip) ? 2 : pairwise.empty() ? 4 : pairwise.front().type;
    std::vector<std::uint8_t> e = body;
    e.insert(e.end(), {1, 0, oui[0], oui[1], oui[2], group});  // version 1, group cipher
    const auto suites = [&e](const std::vector<Suite>& list) {
      e.push_back(static_cast<std::uint8_t>(list.size()));
      e.push_back(0);
      for (const Suite& s : list) e.insert(e.end(), {s.oui[0], s.oui[1], s.oui[2], s.type});
    };
    suites(pairwise);
    suites(akms);
    if (rsn) {
      const bool sae = f & kKeyMgmtSae, psk = f & kKeyMgmtPsk, owe = f & kKeyMgmtOwe;
      std::uint8_t caps = 0;
      if ((sae && !psk) || owe) caps = 0xC0;  // MFPR | MFPC
      else if (sae) caps = 0x80;              // MFPC
      e.insert(e.end(), {caps, 0});
    }
    out->push_back(vendorWpa ? 221 : 48);
    out->push_back(static_cast<std::uint8_t>(e.size()));
    out->insert(out->end(), e.begin(), e.end());
  };
  std::vector<std::uint8_t> out;
  static constexpr std::uint8_t kIeee[3] = {0x00, 0x0F, 0xAC};
  static constexpr std::uint8_t kWpaOui[3] = {0x00, 0x50, 0xF2};
  element(&out, {}, false, rsnFlags, kIeee, 1, 2, true);
  element(&out, {0x00, 0x50, 0xF2, 0x01}, true, wpaFlags, kWpaOui, 1, 2, false);
  return out;
}

LONG RssiFromStrength(unsigned strength) {
  if (strength > 100) strength = 100;
  return static_cast<LONG>(strength) / 2 - 100;
}

DOT11_PHY_TYPE PhyTypeOf(unsigned frequencyMHz, unsigned maxBitrateKbps) {
  const bool fiveGHz = frequencyMHz >= 4900;
  if (maxBitrateKbps > 600000) return dot11_phy_type_vht;
  if (maxBitrateKbps > 54000) return dot11_phy_type_ht;
  if (fiveGHz) return dot11_phy_type_ofdm;
  if (maxBitrateKbps > 11000) return dot11_phy_type_erp;
  return dot11_phy_type_hrdsss;
}

bool ParseHwAddress(const QString& text, UCHAR out[6]) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() != 6) return false;
  for (int i = 0; i < 6; ++i) {
    if (parts[i].size() != 2) return false;
    bool ok = false;
    const uint value = parts[i].toUInt(&ok, 16);
    if (!ok) return false;
    out[i] = static_cast<UCHAR>(value);
  }
  return true;
}

bool ProfileFromSettings(const QMap<QString, QVariantMap>& settings, ProfileView* out) {
  const QVariantMap connection = settings.value(QStringLiteral("connection"));
  if (connection.value(QStringLiteral("type")).toString() != QLatin1String("802-11-wireless")) return false;
  const QVariantMap wireless = settings.value(QStringLiteral("802-11-wireless"));
  ProfileView v;
  v.name = connection.value(QStringLiteral("id")).toString();
  v.uuid = connection.value(QStringLiteral("uuid")).toString();
  v.ssid = wireless.value(QStringLiteral("ssid")).toByteArray();
  v.adhoc = wireless.value(QStringLiteral("mode")).toString() == QLatin1String("adhoc");
  // Absent means the default: connect automatically.
  v.autoConnect = connection.value(QStringLiteral("autoconnect"), true).toBool();
  v.timestamp = connection.value(QStringLiteral("timestamp")).toLongLong();
  v.priority = connection.value(QStringLiteral("autoconnect-priority")).toInt();
  const QVariantMap security = settings.value(QStringLiteral("802-11-wireless-security"));
  if (!security.isEmpty()) {
    const QString keyMgmt = security.value(QStringLiteral("key-mgmt")).toString();
    const QStringList proto = security.value(QStringLiteral("proto")).toStringList();
    if (keyMgmt == QLatin1String("none")) {  // static WEP
      v.authentication = security.value(QStringLiteral("auth-alg")).toString() == QLatin1String("shared")
                             ? QStringLiteral("shared")
                             : QStringLiteral("open");
      v.encryption = QStringLiteral("WEP");
    } else if (keyMgmt == QLatin1String("wpa-psk") || keyMgmt == QLatin1String("sae")) {
      const bool wpaOnly = proto.size() == 1 && proto.front() == QLatin1String("wpa");
      v.authentication = wpaOnly ? QStringLiteral("WPAPSK") : QStringLiteral("WPA2PSK");
      v.encryption = wpaOnly ? QStringLiteral("TKIP") : QStringLiteral("AES");
    } else if (keyMgmt == QLatin1String("wpa-eap")) {
      v.authentication = QStringLiteral("WPA2");
      v.encryption = QStringLiteral("AES");
    }
  }
  *out = v;
  return true;
}

std::string ProfileDocument(const ProfileView& view) {
  wlansim::ProfileFields f;
  f.name = view.name.toStdString();
  f.ssid = view.ssid.toStdString();
  f.bssType = view.adhoc ? dot11_BSS_type_independent : dot11_BSS_type_infrastructure;
  f.autoConnect = view.autoConnect;
  f.authentication = view.authentication.toStdString();
  f.encryption = view.encryption.toStdString();
  f.key.clear();  // secrets stay with NetworkManager
  return wlansim::BuildProfileXml(f);
}

WLAN_REASON_CODE ReasonFromStateReason(unsigned reason) {
  switch (reason) {
    case 0:  // none
      return WLAN_REASON_CODE_SUCCESS;
    case 7:  // no secrets
      return WLAN_REASON_CODE_MSMSEC_UI_REQUEST_FAILURE;
    case 8:  // supplicant disconnected (typically a rejected key)
    case 10:  // supplicant failed
      return WLAN_REASON_CODE_MSMSEC_PSK_MISMATCH_SUSPECTED;
    case 9:  // supplicant configuration failed
      return WLAN_REASON_CODE_PROFILE_NOT_COMPATIBLE;
    case 11:  // supplicant timed out
      return WLAN_REASON_CODE_MSM_ASSOCIATION_TIMEOUT;
    case 36:  // device removed
    case 40:  // carrier (link) lost
      return WLAN_REASON_CODE_MSM_DRIVER_DISCONNECTED;
    case 38:  // the connection was deleted
      return WLAN_REASON_CODE_PROFILE_MISSING;
    case 39:  // user requested
      return WLAN_REASON_CODE_MSM_USER_DISCONNECT;
    case 53:  // SSID not found
      return WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE;
    default:
      return WLAN_REASON_CODE_UNKNOWN;
  }
}

}  // namespace nm
