// World files: JSON read with Qt Core, converted to a World with strict
// checks. Every error names the file and a line: the parse error's line, or
// for a schema error the line where the offending value starts (found by
// walking the text along the error's JSON path).
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <variant>

#include "platform/wlansim/IpConfig.h"
#include "platform/wlansim/SimControl.h"

namespace wlansim {
namespace {

using PathElement = std::variant<std::string, int>;
using Path = std::vector<PathElement>;

std::string PathText(const Path& path) {
  std::string out;
  for (const PathElement& e : path) {
    if (const auto* key = std::get_if<std::string>(&e)) {
      if (!out.empty()) out += '.';
      out += *key;
    } else {
      out += "[" + std::to_string(std::get<int>(e)) + "]";
    }
  }
  return out.empty() ? "(document)" : out;
}

// Parses "adapters[0].stations[2].ssid" back into elements.
Path ParsePath(const std::string& text) {
  Path path;
  std::string key;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' || c == '[') {
      if (!key.empty()) path.emplace_back(key);
      key.clear();
      if (c == '[') {
        const std::size_t close = text.find(']', i);
        if (close == std::string::npos) break;
        path.emplace_back(std::stoi(text.substr(i + 1, close - i - 1)));
        i = close;
      }
    } else {
      key += c;
    }
  }
  if (!key.empty()) path.emplace_back(key);
  return path;
}

// Walks well-formed JSON text along a path to the offset where the value
// starts; stops at the deepest element it can reach.
class Locator {
 public:
  explicit Locator(const QByteArray& text) : m_s(text.constData()), m_n(static_cast<std::size_t>(text.size())) {}

  std::size_t Find(const Path& path) {
    m_pos = 0;
    Space();
    std::size_t best = m_pos;
    Descend(path, 0, best);
    return best;
  }

 private:
  char Peek() const { return m_pos < m_n ? m_s[m_pos] : '\0'; }
  void Space() {
    while (m_pos < m_n && (m_s[m_pos] == ' ' || m_s[m_pos] == '\t' || m_s[m_pos] == '\n' || m_s[m_pos] == '\r'))
      ++m_pos;
  }
  std::string String() {
    std::string out;
    ++m_pos;  // opening quote
    while (m_pos < m_n && m_s[m_pos] != '"') {
      if (m_s[m_pos] == '\\' && m_pos + 1 < m_n) {
        const char e = m_s[++m_pos];
        out += e == 'n' ? '\n' : e == 't' ? '\t' : e;  // \uXXXX keys are not matched exactly; rare in world files
      } else {
        out += m_s[m_pos];
      }
      ++m_pos;
    }
    ++m_pos;  // closing quote
    return out;
  }
  void Skip() {
    const char c = Peek();
    if (c == '"') {
      String();
    } else if (c == '{' || c == '[') {
      int depth = 0;
      while (m_pos < m_n) {
        const char d = m_s[m_pos];
        if (d == '"') {
          String();
          continue;
        }
        if (d == '{' || d == '[') ++depth;
        if (d == '}' || d == ']') {
          if (--depth == 0) {
            ++m_pos;
            return;
          }
        }
        ++m_pos;
      }
    } else {
      while (m_pos < m_n && m_s[m_pos] != ',' && m_s[m_pos] != '}' && m_s[m_pos] != ']') ++m_pos;
    }
  }
  void Descend(const Path& path, std::size_t depth, std::size_t& best) {
    best = m_pos;
    if (depth == path.size()) return;
    if (const auto* key = std::get_if<std::string>(&path[depth])) {
      if (Peek() != '{') return;
      ++m_pos;
      for (;;) {
        Space();
        if (Peek() != '"') return;
        const std::string k = String();
        Space();
        if (Peek() != ':') return;
        ++m_pos;
        Space();
        if (k == *key) return Descend(path, depth + 1, best);
        Skip();
        Space();
        if (Peek() != ',') return;
        ++m_pos;
      }
    }
    const int wanted = std::get<int>(path[depth]);
    if (Peek() != '[') return;
    ++m_pos;
    for (int i = 0;; ++i) {
      Space();
      if (Peek() == ']' || m_pos >= m_n) return;
      if (i == wanted) return Descend(path, depth + 1, best);
      Skip();
      Space();
      if (Peek() != ',') return;
      ++m_pos;
    }
  }

  const char* m_s;
  std::size_t m_n;
  std::size_t m_pos = 0;
};

int LineAt(const QByteArray& text, std::size_t offset) {
  int line = 1;
  for (std::size_t i = 0; i < offset && i < static_cast<std::size_t>(text.size()); ++i)
    if (text[static_cast<qsizetype>(i)] == '\n') ++line;
  return line;
}

struct SchemaError {
  Path path;
  std::string reason;
};

// Conversion of the parsed document, failing with the path of the first bad value.
class Converter {
 public:
  World Run(const QJsonDocument& doc) {
    World world;
    if (!doc.isObject()) Fail({}, "the document must be an object");
    const QJsonObject root = doc.object();
    Path at;
    Known(root, at, {"seed", "timing", "adapters", "comment"});
    if (root.contains("seed")) {
      const QJsonValue v = root.value("seed");
      Path p = Sub(at, "seed");
      if (v.isString()) {
        bool ok = false;
        world.seed = v.toString().toULongLong(&ok, 0);
        if (!ok) Fail(p, "expected an unsigned number");
      } else {
        world.seed = static_cast<std::uint64_t>(Number(v, p, 0, 9007199254740991.0));
      }
    }
    if (root.contains("timing")) {
      const Path p = Sub(at, "timing");
      const QJsonObject t = Object(root.value("timing"), p);
      Known(t, p, {"scanMs", "stepMs", "signalIntervalMs", "reconnectDelayMs", "reconnectRetryMs"});
      Timing& tm = world.timing;
      Opt(t, p, "scanMs", tm.scanMs);
      Opt(t, p, "stepMs", tm.stepMs);
      Opt(t, p, "signalIntervalMs", tm.signalIntervalMs);
      Opt(t, p, "reconnectDelayMs", tm.reconnectDelayMs);
      Opt(t, p, "reconnectRetryMs", tm.reconnectRetryMs);
    }
    if (root.contains("adapters")) {
      const Path p = Sub(at, "adapters");
      const QJsonArray list = Array(root.value("adapters"), p);
      for (int i = 0; i < list.size(); ++i) world.adapters.push_back(AdapterAt(list.at(i), Sub(p, i), i));
    }
    return world;
  }

 private:
  [[noreturn]] static void Fail(const Path& path, const std::string& reason) { throw SchemaError{path, reason}; }
  static Path Sub(Path p, PathElement e) {
    p.push_back(std::move(e));
    return p;
  }
  static void Known(const QJsonObject& o, const Path& p, std::initializer_list<const char*> keys) {
    std::set<QString> allowed;
    for (const char* k : keys) allowed.insert(QString::fromLatin1(k));
    for (auto it = o.begin(); it != o.end(); ++it)
      if (!allowed.count(it.key())) Fail(Sub(p, it.key().toStdString()), "unknown key '" + it.key().toStdString() + "'");
  }
  static QJsonObject Object(const QJsonValue& v, const Path& p) {
    if (!v.isObject()) Fail(p, "expected an object");
    return v.toObject();
  }
  static QJsonArray Array(const QJsonValue& v, const Path& p) {
    if (!v.isArray()) Fail(p, "expected an array");
    return v.toArray();
  }
  static double Number(const QJsonValue& v, const Path& p, double min, double max) {
    if (!v.isDouble()) Fail(p, "expected a number");
    const double d = v.toDouble();
    if (d != std::floor(d)) Fail(p, "expected a whole number");
    if (d < min || d > max)
      Fail(p, "must lie in " + std::to_string(static_cast<long long>(min)) + ".." +
                  std::to_string(static_cast<long long>(max)));
    return d;
  }
  static std::string String(const QJsonValue& v, const Path& p) {
    if (!v.isString()) Fail(p, "expected a string");
    return v.toString().toStdString();
  }
  static bool Bool(const QJsonValue& v, const Path& p) {
    if (!v.isBool()) Fail(p, "expected true or false");
    return v.toBool();
  }
  static void Opt(const QJsonObject& o, const Path& p, const char* key, ULONG& out) {
    if (o.contains(key)) out = static_cast<ULONG>(Number(o.value(key), Sub(p, key), 0, 4294967295.0));
  }
  static void Opt(const QJsonObject& o, const Path& p, const char* key, bool& out) {
    if (o.contains(key)) out = Bool(o.value(key), Sub(p, key));
  }
  static void Opt(const QJsonObject& o, const Path& p, const char* key, std::string& out) {
    if (o.contains(key)) out = String(o.value(key), Sub(p, key));
  }
  template <typename E>
  static E Choice(const QJsonValue& v, const Path& p, std::initializer_list<std::pair<const char*, E>> names) {
    const std::string s = String(v, p);
    std::string all;
    for (const auto& [name, value] : names) {
      if (s == name) return value;
      all += all.empty() ? name : std::string(", ") + name;
    }
    Fail(p, "'" + s + "' is not one of " + all);
  }
  static std::string Ssid(const QJsonObject& o, const Path& p) {
    if (o.contains("ssid") && o.contains("ssidHex")) Fail(Sub(p, "ssidHex"), "give ssid or ssidHex, not both");
    if (o.contains("ssidHex")) {
      const Path hp = Sub(p, "ssidHex");
      const QByteArray hex = QByteArray::fromStdString(String(o.value("ssidHex"), hp));
      for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(hp, "expected hexadecimal digits");
      if (hex.size() % 2) Fail(hp, "expected an even number of hexadecimal digits");
      return QByteArray::fromHex(hex).toStdString();
    }
    std::string ssid;
    Opt(o, p, "ssid", ssid);
    return ssid;
  }

  // A loopback address text; "" stands for none.
  static void OptAddress(const QJsonObject& o, const Path& p, const char* key, std::string& out) {
    if (!o.contains(key)) return;
    out = String(o.value(key), Sub(p, key));
    if (!out.empty() && !ParseLoopbackAddress(out))
      Fail(Sub(p, key), "expected a dotted IPv4 address in 127.0.0.0/8 such as 127.0.10.2, or \"\"");
  }

  Adapter AdapterAt(const QJsonValue& v, const Path& p, int index) {
    const QJsonObject o = Object(v, p);
    Known(o, p, {"guid", "description", "ready", "autoconf", "backgroundScan", "connectAtStart", "stations",
                 "profiles", "address", "dhcpServer", "dnsServer", "comment"});
    Adapter ad;
    if (!o.contains("guid")) Fail(p, "missing key 'guid'");
    if (!ParseGuid(String(o.value("guid"), Sub(p, "guid")), &ad.guid))
      Fail(Sub(p, "guid"), "expected a GUID such as {6A1E2F30-4B5C-4D6E-8F70-A1B2C3D4E5F6}");
    Opt(o, p, "description", ad.description);
    Opt(o, p, "ready", ad.ready);
    Opt(o, p, "autoconf", ad.autoconf);
    Opt(o, p, "backgroundScan", ad.backgroundScan);
    Opt(o, p, "connectAtStart", ad.connectAtStart);
    if (index < 246) ad.ip.address = "127.0." + std::to_string(10 + index) + ".2";
    OptAddress(o, p, "address", ad.ip.address);
    OptAddress(o, p, "dhcpServer", ad.ip.dhcpServer);
    OptAddress(o, p, "dnsServer", ad.ip.dnsServer);
    if (o.contains("stations")) {
      const Path sp = Sub(p, "stations");
      const QJsonArray list = Array(o.value("stations"), sp);
      for (int i = 0; i < list.size(); ++i) ad.stations.push_back(StationAt(list.at(i), Sub(sp, i)));
    }
    if (o.contains("profiles")) {
      const Path pp = Sub(p, "profiles");
      const QJsonArray list = Array(o.value("profiles"), pp);
      for (int i = 0; i < list.size(); ++i) ad.profiles.push_back(ProfileAt(list.at(i), Sub(pp, i)));
    }
    return ad;
  }

  AccessPoint StationAt(const QJsonValue& v, const Path& p) {
    const QJsonObject o = Object(v, p);
    Known(o, p, {"bssid", "ssid", "ssidHex", "hidden", "frequencyKHz", "phy", "rates", "beaconPeriod", "bssType",
                 "auth", "cipher", "security", "key", "rssi", "driftDb", "driftPeriodMs", "presentMs", "absentMs",
                 "presenceOffsetMs", "standard", "widthMHz", "akm", "pmf", "elementsHex", "comment"});
    AccessPoint ap;
    if (!o.contains("bssid")) Fail(p, "missing key 'bssid'");
    if (!ParseMac(String(o.value("bssid"), Sub(p, "bssid")), &ap.bssid))
      Fail(Sub(p, "bssid"), "expected six hexadecimal bytes such as 02:A7:1E:00:06:01");
    ap.ssid = Ssid(o, p);
    Opt(o, p, "hidden", ap.hidden);
    Opt(o, p, "frequencyKHz", ap.frequencyKHz);
    if (o.contains("phy"))
      ap.phyType = Choice<DOT11_PHY_TYPE>(o.value("phy"), Sub(p, "phy"),
                                          {{"fhss", dot11_phy_type_fhss},
                                           {"dsss", dot11_phy_type_dsss},
                                           {"irbaseband", dot11_phy_type_irbaseband},
                                           {"ofdm", dot11_phy_type_ofdm},
                                           {"hrdsss", dot11_phy_type_hrdsss},
                                           {"erp", dot11_phy_type_erp},
                                           {"ht", dot11_phy_type_ht},
                                           {"vht", dot11_phy_type_vht}});
    if (o.contains("rates")) {
      const Path rp = Sub(p, "rates");
      const QJsonArray list = Array(o.value("rates"), rp);
      for (int i = 0; i < list.size(); ++i)
        ap.rates.push_back(static_cast<USHORT>(Number(list.at(i), Sub(rp, i), 1, 255)));
    }
    if (o.contains("beaconPeriod"))
      ap.beaconPeriod = static_cast<USHORT>(Number(o.value("beaconPeriod"), Sub(p, "beaconPeriod"), 1, 65535));
    if (o.contains("bssType"))
      ap.bssType = Choice<DOT11_BSS_TYPE>(o.value("bssType"), Sub(p, "bssType"),
                                          {{"infrastructure", dot11_BSS_type_infrastructure},
                                           {"independent", dot11_BSS_type_independent}});
    if (o.contains("auth"))
      ap.authAlgorithm = Choice<DOT11_AUTH_ALGORITHM>(o.value("auth"), Sub(p, "auth"),
                                                      {{"open", DOT11_AUTH_ALGO_80211_OPEN},
                                                       {"shared", DOT11_AUTH_ALGO_80211_SHARED_KEY},
                                                       {"wpa", DOT11_AUTH_ALGO_WPA},
                                                       {"wpa-psk", DOT11_AUTH_ALGO_WPA_PSK},
                                                       {"wpa-none", DOT11_AUTH_ALGO_WPA_NONE},
                                                       {"rsna", DOT11_AUTH_ALGO_RSNA},
                                                       {"rsna-psk", DOT11_AUTH_ALGO_RSNA_PSK}});
    if (o.contains("cipher"))
      ap.cipher = Choice<DOT11_CIPHER_ALGORITHM>(o.value("cipher"), Sub(p, "cipher"),
                                                 {{"none", DOT11_CIPHER_ALGO_NONE},
                                                  {"wep40", DOT11_CIPHER_ALGO_WEP40},
                                                  {"tkip", DOT11_CIPHER_ALGO_TKIP},
                                                  {"ccmp", DOT11_CIPHER_ALGO_CCMP},
                                                  {"wep104", DOT11_CIPHER_ALGO_WEP104},
                                                  {"wep", DOT11_CIPHER_ALGO_WEP}});
    ap.securityEnabled = ap.cipher != DOT11_CIPHER_ALGO_NONE;
    Opt(o, p, "security", ap.securityEnabled);
    Opt(o, p, "key", ap.key);
    if (o.contains("rssi")) ap.baseRssi = static_cast<LONG>(Number(o.value("rssi"), Sub(p, "rssi"), -100, -20));
    if (o.contains("driftDb")) ap.driftDb = static_cast<LONG>(Number(o.value("driftDb"), Sub(p, "driftDb"), 0, 40));
    Opt(o, p, "driftPeriodMs", ap.driftPeriodMs);
    Opt(o, p, "presentMs", ap.presentMs);
    Opt(o, p, "absentMs", ap.absentMs);
    Opt(o, p, "presenceOffsetMs", ap.presenceOffsetMs);
    if (o.contains("standard"))
      ap.standard = Choice<std::string>(o.value("standard"), Sub(p, "standard"),
                                        {{"b", "b"}, {"g", "g"}, {"a", "a"}, {"n", "n"}, {"ac", "ac"}, {"ax", "ax"},
                                         {"be", "be"}});
    Opt(o, p, "widthMHz", ap.widthMHz);
    if (o.contains("akm")) {
      ap.akm = String(o.value("akm"), Sub(p, "akm"));
      const auto& names = AkmNames();
      if (std::find(names.begin(), names.end(), ap.akm) == names.end()) {
        std::string all;
        for (const std::string& n : names) all += (all.empty() ? "" : ", ") + n;
        Fail(Sub(p, "akm"), "'" + ap.akm + "' is not one of " + all);
      }
    }
    if (o.contains("pmf"))
      ap.pmf = Choice<std::string>(o.value("pmf"), Sub(p, "pmf"),
                                   {{"no", "no"}, {"capable", "capable"}, {"required", "required"}});
    if (o.contains("elementsHex")) {
      const Path hp = Sub(p, "elementsHex");
      const QByteArray hex = QByteArray::fromStdString(String(o.value("elementsHex"), hp));
      for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(hp, "expected hexadecimal digits");
      if (hex.size() % 2) Fail(hp, "expected an even number of hexadecimal digits");
      const QByteArray bytes = QByteArray::fromHex(hex);
      ap.rawElements = true;
      ap.elements.assign(bytes.begin(), bytes.end());
    }
    return ap;
  }

  std::string ProfileAt(const QJsonValue& v, const Path& p) {
    const QJsonObject o = Object(v, p);
    if (o.contains("xml")) {
      Known(o, p, {"xml", "comment"});
      return String(o.value("xml"), Sub(p, "xml"));
    }
    Known(o, p, {"name", "ssid", "ssidHex", "nonBroadcast", "connectionType", "connectionMode", "autoSwitch",
                 "authentication", "encryption", "keyType", "key", "comment"});
    ProfileFields spec;
    spec.ssid = Ssid(o, p);
    spec.name = spec.ssid;
    Opt(o, p, "name", spec.name);
    Opt(o, p, "nonBroadcast", spec.nonBroadcast);
    if (o.contains("connectionType"))
      spec.bssType = Choice<DOT11_BSS_TYPE>(o.value("connectionType"), Sub(p, "connectionType"),
                                            {{"ESS", dot11_BSS_type_infrastructure},
                                             {"IBSS", dot11_BSS_type_independent}});
    if (o.contains("connectionMode"))
      spec.autoConnect =
          Choice<bool>(o.value("connectionMode"), Sub(p, "connectionMode"), {{"auto", true}, {"manual", false}});
    Opt(o, p, "autoSwitch", spec.autoSwitch);
    if (o.contains("authentication"))
      spec.authentication = Choice<std::string>(
          o.value("authentication"), Sub(p, "authentication"),
          {{"open", "open"}, {"shared", "shared"}, {"WPAPSK", "WPAPSK"}, {"WPA2PSK", "WPA2PSK"}});
    if (o.contains("encryption"))
      spec.encryption = Choice<std::string>(o.value("encryption"), Sub(p, "encryption"),
                                            {{"none", "none"}, {"WEP", "WEP"}, {"TKIP", "TKIP"}, {"AES", "AES"}});
    if (o.contains("keyType"))
      spec.keyType = Choice<std::string>(o.value("keyType"), Sub(p, "keyType"),
                                         {{"networkKey", "networkKey"}, {"passPhrase", "passPhrase"}});
    Opt(o, p, "key", spec.key);
    return BuildProfileXml(spec);
  }
};

}  // namespace

bool LoadWorldFile(const std::string& path, World* world, std::string* error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = path + ":1: cannot read the world file: " + file.errorString().toStdString();
    return false;
  }
  return LoadWorldText(file.readAll(), path, world, error);
}

bool LoadWorldText(const QByteArray& text, const std::string& path, World* world, std::string* error) {
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(text, &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    if (error)
      *error = path + ":" + std::to_string(LineAt(text, static_cast<std::size_t>(std::max(0, parseError.offset)))) +
               ": " + parseError.errorString().toStdString();
    return false;
  }
  World loaded;
  try {
    loaded = Converter().Run(doc);
  } catch (const SchemaError& e) {
    if (error)
      *error = path + ":" + std::to_string(LineAt(text, Locator(text).Find(e.path))) + ": " + PathText(e.path) + ": " +
               e.reason;
    return false;
  }
  std::string where, reason;
  if (!ValidateWorld(loaded, &where, &reason)) {
    if (error)
      *error = path + ":" + std::to_string(LineAt(text, Locator(text).Find(ParsePath(where)))) + ": " + where + ": " +
               reason;
    return false;
  }
  *world = std::move(loaded);
  return true;
}

}  // namespace wlansim
