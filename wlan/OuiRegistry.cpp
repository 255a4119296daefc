#include "wlan/OuiRegistry.h"

#include <cstdlib>
#include <fstream>
#include <utility>

namespace {

// The next comma-separated field of a CSV line from `at`, with the quoting
// of RFC 4180 ("" inside quotes is one quote). Moves `at` past the comma.
std::string NextField(const std::string& line, std::size_t& at) {
  std::string field;
  bool quoted = at < line.size() && line[at] == '"';
  if (quoted) ++at;
  while (at < line.size()) {
    const char c = line[at++];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (at < line.size() && line[at] == '"') {
        field += '"';
        ++at;
      } else {
        quoted = false;
      }
    } else if (c == ',') {
      return field;
    } else if (c != '\r') {
      field += c;
    }
  }
  return field;
}

bool ParsePrefix(const std::string& text, std::uint32_t* prefix) {
  if (text.size() != 6) return false;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return false;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  *prefix = value;
  return true;
}

}  // namespace

COuiRegistry::COuiRegistry(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

COuiRegistry::~COuiRegistry() {
  m_stop = true;
  std::thread loader;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    loader = std::move(m_loader);
  }
  // Joined without the lock, which the loader takes once at its end.
  if (loader.joinable()) loader.join();
}

std::vector<std::string> COuiRegistry::DefaultPaths() {
  if (const char* file = std::getenv("AERLUME_OUI_FILE"); file && *file) return {file};
  return {"/var/lib/ieee-data/oui.csv", "/usr/share/ieee-data/oui.csv"};
}

COuiRegistry& COuiRegistry::Instance() {
  static COuiRegistry registry;
  return registry;
}

void COuiRegistry::SetLoadedCallback(std::function<void()> callback) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_callback = std::move(callback);
}

void COuiRegistry::StartLoad() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_started) return;
  m_started = true;
  m_loader = std::thread([this] { Load(); });
}

void COuiRegistry::WaitLoaded() {
  StartLoad();
  std::unique_lock<std::mutex> guard(m_lock);
  m_loadedChanged.wait(guard, [this] { return m_finished; });
}

void COuiRegistry::Load() {
  for (const std::string& path : m_paths) {
    std::ifstream in(path);
    if (!in) continue;
    std::string line;
    while (!m_stop.load(std::memory_order_relaxed) && std::getline(in, line)) {
      // Registry,Assignment,Organization Name,Organization Address
      std::size_t at = 0;
      NextField(line, at);
      std::uint32_t prefix = 0;
      if (!ParsePrefix(NextField(line, at), &prefix)) continue;  // the heading, or a damaged line
      std::string name = NextField(line, at);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
      if (!name.empty()) m_names.emplace(prefix, std::move(name));
    }
    break;
  }
  std::function<void()> callback;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_loaded.store(true, std::memory_order_release);
    callback = m_callback;
  }
  if (callback) callback();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_finished = true;
  }
  m_loadedChanged.notify_all();
}

std::string COuiRegistry::Lookup(const std::uint8_t* mac) {
  if (!mac || (mac[0] & 0x02)) return {};
  if (!m_loaded.load(std::memory_order_acquire)) {
    StartLoad();
    return {};
  }
  auto it = m_names.find(static_cast<std::uint32_t>(mac[0]) << 16 | mac[1] << 8 | mac[2]);
  return it == m_names.end() ? std::string() : it->second;
}

std::string OuiVendorName(const std::uint8_t* mac) { return COuiRegistry::Instance().Lookup(mac); }
