#include "platform/wlansim/ProfileXml.h"

#include <cctype>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QXmlStreamReader>

namespace wlansim {
namespace {

struct Node {
  std::string name;  // local name, namespace prefix dropped
  std::string text;  // concatenated character data, trimmed
  std::vector<std::unique_ptr<Node>> children;

  const Node* Child(const char* wanted) const {
    for (const auto& c : children)
      if (c->name == wanted) return c.get();
    return nullptr;
  }
};

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// The document as a tree of elements, or null when it is not well-formed
// XML or nests deeper than 32 levels.
std::unique_ptr<Node> ReadDocument(const std::string& document) {
  QXmlStreamReader reader(QByteArray::fromRawData(document.data(), static_cast<qsizetype>(document.size())));
  std::unique_ptr<Node> root;
  std::vector<Node*> open;  // the elements from the root to the current one
  std::vector<std::string> texts;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement: {
        if (open.size() > 32) return nullptr;
        auto node = std::make_unique<Node>();
        node->name = reader.name().toString().toStdString();
        Node* added = node.get();
        if (open.empty())
          root = std::move(node);
        else
          open.back()->children.push_back(std::move(node));
        open.push_back(added);
        texts.emplace_back();
        break;
      }
      case QXmlStreamReader::EndElement:
        open.back()->text = Trim(texts.back());
        open.pop_back();
        texts.pop_back();
        break;
      case QXmlStreamReader::Characters:
        if (!texts.empty()) texts.back() += reader.text().toString().toStdString();
        break;
      default:
        break;
    }
  }
  if (reader.hasError() || !root) return nullptr;
  return root;
}

bool HexToBytes(const std::string& hex, std::string* out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
      return false;
    out->push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return true;
}

}  // namespace

DOT11_AUTH_ALGORITHM ParsedProfile::AuthAlgorithm() const {
  if (authentication == "shared") return DOT11_AUTH_ALGO_80211_SHARED_KEY;
  if (authentication == "WPA") return DOT11_AUTH_ALGO_WPA;
  if (authentication == "WPAPSK") return DOT11_AUTH_ALGO_WPA_PSK;
  if (authentication == "WPA2") return DOT11_AUTH_ALGO_RSNA;
  if (authentication == "WPA2PSK") return DOT11_AUTH_ALGO_RSNA_PSK;
  return DOT11_AUTH_ALGO_80211_OPEN;
}

DOT11_CIPHER_ALGORITHM ParsedProfile::CipherAlgorithm() const {
  if (encryption == "WEP") return DOT11_CIPHER_ALGO_WEP;
  if (encryption == "TKIP") return DOT11_CIPHER_ALGO_TKIP;
  if (encryption == "AES") return DOT11_CIPHER_ALGO_CCMP;
  return DOT11_CIPHER_ALGO_NONE;
}

WLAN_REASON_CODE ParseProfileXml(const std::string& document, ParsedProfile* out) {
  const auto root = ReadDocument(document);
  if (!root || root->name != "WLANProfile") return WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA;

  ParsedProfile p;
  const Node* name = root->Child("name");
  if (!name || name->text.empty() || name->text.size() >= WLAN_MAX_NAME_LENGTH)
    return WLAN_REASON_CODE_INVALID_PROFILE_NAME;
  p.name = name->text;

  const Node* ssidConfig = root->Child("SSIDConfig");
  const Node* ssid = ssidConfig ? ssidConfig->Child("SSID") : nullptr;
  if (!ssid) return WLAN_REASON_CODE_PROFILE_SSID_INVALID;
  if (const Node* hex = ssid->Child("hex")) {
    if (!HexToBytes(hex->text, &p.ssid)) return WLAN_REASON_CODE_PROFILE_SSID_INVALID;
  } else if (const Node* ssidName = ssid->Child("name")) {
    p.ssid = ssidName->text;
  } else {
    return WLAN_REASON_CODE_PROFILE_SSID_INVALID;
  }
  if (p.ssid.empty() || p.ssid.size() > DOT11_SSID_MAX_LENGTH) return WLAN_REASON_CODE_PROFILE_SSID_INVALID;
  if (const Node* nb = ssidConfig->Child("nonBroadcast")) p.nonBroadcast = nb->text == "true";

  if (const Node* type = root->Child("connectionType")) {
    if (type->text == "IBSS")
      p.bssType = dot11_BSS_type_independent;
    else if (type->text != "ESS")
      return WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA;
  }
  // The service's default connection mode is automatic.
  const Node* mode = root->Child("connectionMode");
  p.autoConnect = !mode || mode->text == "auto";
  if (const Node* sw = root->Child("autoSwitch")) p.autoSwitch = sw->text == "true";

  if (const Node* msm = root->Child("MSM")) {
    if (const Node* security = msm->Child("security")) {
      if (const Node* ae = security->Child("authEncryption")) {
        if (const Node* a = ae->Child("authentication")) p.authentication = a->text;
        if (const Node* e = ae->Child("encryption")) p.encryption = e->text;
      }
      if (const Node* sk = security->Child("sharedKey"))
        if (const Node* km = sk->Child("keyMaterial")) p.key = km->text;
    }
  }
  *out = std::move(p);
  return WLAN_REASON_CODE_SUCCESS;
}

std::string XmlEscape(const std::string& text) {
  // Bytes that are not UTF-8, and characters that XML 1.0 does not allow in
  // a document, become U+FFFD so that the result is always well-formed.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
  const QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  QString out;
  out.reserve(decoded.size());
  for (const QChar c : decoded) {
    const char16_t u = c.unicode();
    switch (u) {
      case '&': out += QLatin1String("&amp;"); break;
      case '<': out += QLatin1String("&lt;"); break;
      case '>': out += QLatin1String("&gt;"); break;
      case '"': out += QLatin1String("&quot;"); break;
      case '\'': out += QLatin1String("&apos;"); break;
      default:
        out += (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF
                   ? QChar(QChar::ReplacementCharacter)
                   : c;
    }
  }
  return out.toStdString();
}

}  // namespace wlansim
