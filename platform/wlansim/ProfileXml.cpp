#include "platform/wlansim/ProfileXml.h"

#include <cctype>
#include <memory>
#include <vector>

#include "platform/widetext.h"

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

// A small recursive-descent reader; any deviation from well-formedness fails.
class Reader {
 public:
  explicit Reader(const std::string& s) : m_s(s) {}

  std::unique_ptr<Node> Document() {
    SkipMisc();
    if (!At('<')) return nullptr;
    auto root = Element(0);
    if (!root) return nullptr;
    SkipMisc();
    if (m_pos != m_s.size()) return nullptr;
    return root;
  }

 private:
  bool At(char c) const { return m_pos < m_s.size() && m_s[m_pos] == c; }
  bool StartsWith(const char* p) const { return m_s.compare(m_pos, std::char_traits<char>::length(p), p) == 0; }
  void SkipSpace() {
    while (m_pos < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[m_pos]))) ++m_pos;
  }
  bool SkipPast(const char* end) {
    const std::size_t at = m_s.find(end, m_pos);
    if (at == std::string::npos) return false;
    m_pos = at + std::char_traits<char>::length(end);
    return true;
  }
  // Whitespace, comments, processing instructions and a DOCTYPE between elements.
  bool SkipMisc() {
    for (;;) {
      SkipSpace();
      if (StartsWith("<?")) {
        if (!SkipPast("?>")) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipPast("-->")) return false;
      } else if (StartsWith("<!DOCTYPE")) {
        if (!SkipPast(">")) return false;
      } else {
        return true;
      }
    }
  }
  std::string Name() {
    const std::size_t b = m_pos;
    while (m_pos < m_s.size()) {
      const unsigned char c = static_cast<unsigned char>(m_s[m_pos]);
      if (std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == ':' || c >= 0x80)
        ++m_pos;
      else
        break;
    }
    return m_s.substr(b, m_pos - b);
  }
  static std::string LocalName(const std::string& qname) {
    const std::size_t colon = qname.find(':');
    return colon == std::string::npos ? qname : qname.substr(colon + 1);
  }
  bool Attributes() {
    for (;;) {
      SkipSpace();
      if (At('>') || At('/')) return true;
      if (Name().empty()) return false;
      SkipSpace();
      if (!At('=')) return false;
      ++m_pos;
      SkipSpace();
      if (!At('"') && !At('\'')) return false;
      const char quote = m_s[m_pos++];
      const std::size_t end = m_s.find(quote, m_pos);
      if (end == std::string::npos) return false;
      m_pos = end + 1;
    }
  }
  bool Entity(std::string& out) {
    const std::size_t semi = m_s.find(';', m_pos);
    if (semi == std::string::npos || semi - m_pos > 10) return false;
    const std::string ent = m_s.substr(m_pos + 1, semi - m_pos - 1);
    m_pos = semi + 1;
    if (ent == "amp") out += '&';
    else if (ent == "lt") out += '<';
    else if (ent == "gt") out += '>';
    else if (ent == "quot") out += '"';
    else if (ent == "apos") out += '\'';
    else if (ent.size() > 1 && ent[0] == '#') {
      const bool hex = ent[1] == 'x' || ent[1] == 'X';
      const std::string digits = ent.substr(hex ? 2 : 1);
      if (digits.empty()) return false;
      unsigned long cp = 0;
      for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (hex && std::isxdigit(static_cast<unsigned char>(c))) ? (std::tolower(c) - 'a' + 10)
                                                                               : -1;
        if (d < 0) return false;
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
        if (cp > 0x10FFFF) return false;
      }
      AppendUtf8(out, cp);
    } else {
      return false;
    }
    return true;
  }
  std::unique_ptr<Node> Element(int depth) {
    if (depth > 32 || !At('<')) return nullptr;
    ++m_pos;
    const std::string qname = Name();
    if (qname.empty() || !Attributes()) return nullptr;
    auto node = std::make_unique<Node>();
    node->name = LocalName(qname);
    if (At('/')) {
      ++m_pos;
      if (!At('>')) return nullptr;
      ++m_pos;
      return node;
    }
    ++m_pos;  // '>'
    std::string text;
    for (;;) {
      if (m_pos >= m_s.size()) return nullptr;
      if (StartsWith("</")) {
        m_pos += 2;
        if (Name() != qname) return nullptr;
        SkipSpace();
        if (!At('>')) return nullptr;
        ++m_pos;
        node->text = Trim(text);
        return node;
      }
      if (StartsWith("<!--")) {
        if (!SkipPast("-->")) return nullptr;
      } else if (StartsWith("<![CDATA[")) {
        m_pos += 9;
        const std::size_t end = m_s.find("]]>", m_pos);
        if (end == std::string::npos) return nullptr;
        text += m_s.substr(m_pos, end - m_pos);
        m_pos = end + 3;
      } else if (StartsWith("<?")) {
        if (!SkipPast("?>")) return nullptr;
      } else if (At('<')) {
        auto child = Element(depth + 1);
        if (!child) return nullptr;
        node->children.push_back(std::move(child));
      } else if (At('&')) {
        if (!Entity(text)) return nullptr;
      } else {
        text += m_s[m_pos++];
      }
    }
  }

  const std::string& m_s;
  std::size_t m_pos = 0;
};

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
  Reader reader(document);
  const auto root = reader.Document();
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
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace wlansim
