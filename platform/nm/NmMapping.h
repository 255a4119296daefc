// How NetworkManager's D-Bus values become the WLAN service's values
// (docs/networkmanager.md has the tables and the reasons).
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <vector>

#include "platform/wlantypes.h"

namespace nm {

// NMDeviceState.
enum DeviceState : unsigned {
  kStateUnknown = 0,
  kStateUnmanaged = 10,
  kStateUnavailable = 20,
  kStateDisconnected = 30,
  kStatePrepare = 40,
  kStateConfig = 50,
  kStateNeedAuth = 60,
  kStateIpConfig = 70,
  kStateIpCheck = 80,
  kStateSecondaries = 90,
  kStateActivated = 100,
  kStateDeactivating = 110,
  kStateFailed = 120,
};

// NM80211Mode.
constexpr unsigned kModeAdhoc = 1;
constexpr unsigned kModeInfra = 2;

// The interface state of a device in `state`; `adhoc` when its mode is ad hoc.
WLAN_INTERFACE_STATE InterfaceStateOf(unsigned state, bool adhoc);

// An adapter's GUID: a name-based (SHA-1) UUID of its permanent hardware
// address, or of its interface name when it has none. Stable across
// restarts of the program and of NetworkManager.
GUID DeviceGuid(const QString& permanentHwAddress, const QString& interfaceName);

// Security of an access point from its Flags, WpaFlags and RsnFlags.
struct ApSecurity {
  bool enabled = false;
  DOT11_AUTH_ALGORITHM auth = DOT11_AUTH_ALGO_80211_OPEN;
  DOT11_CIPHER_ALGORITHM cipher = DOT11_CIPHER_ALGO_NONE;
};
ApSecurity SecurityOf(unsigned flags, unsigned wpaFlags, unsigned rsnFlags);

// Security elements of an access point whose own elements cannot be read
// (no scan dump): an RSN element from RsnFlags and a vendor WPA element from
// WpaFlags, naming the pairwise and group ciphers and the key management
// NetworkManager reports. Management-frame protection is not reported: it
// is set only where the key management requires it (SAE alone or OWE:
// required; SAE beside PSK: capable). Empty for an open or WEP access point.
std::vector<std::uint8_t> ElementsFromApFlags(unsigned wpaFlags, unsigned rsnFlags);

// The RSSI (dBm) this program shows for a strength of 0..100 percent: the
// inverse of its own quality rule (quality = 2 * (rssi + 100)), so that the
// quality shown equals NetworkManager's strength. Derived, not measured.
LONG RssiFromStrength(unsigned strength);

// The PHY type suggested by the band and the highest rate (kbit/s).
DOT11_PHY_TYPE PhyTypeOf(unsigned frequencyMHz, unsigned maxBitrateKbps);

// "02:A7:1E:00:06:01" to bytes; false when malformed.
bool ParseHwAddress(const QString& text, UCHAR out[6]);

// A Wi-Fi connection's settings (GetSettings, never secrets) as the fields
// of a profile document; false when it is not a Wi-Fi connection.
struct ProfileView {
  QString name;  // connection.id
  QByteArray ssid;
  bool adhoc = false;
  bool autoConnect = true;
  QString authentication = QStringLiteral("open");
  QString encryption = QStringLiteral("none");
  qint64 timestamp = 0;  // last activation, seconds
  int priority = 0;  // autoconnect-priority
  QString uuid;
};
bool ProfileFromSettings(const QMap<QString, QVariantMap>& settings, ProfileView* out);

// The profile document (WLAN profile schema) of a connection, without key material.
std::string ProfileDocument(const ProfileView& view);

// NetworkManager's device state-change reason (NMDeviceStateReason) as a WLAN reason code.
WLAN_REASON_CODE ReasonFromStateReason(unsigned reason);

}  // namespace nm
