// Vendor names of MAC address prefixes from the IEEE registry of
// organisationally unique identifiers as Debian's ieee-data package ships it
// (oui.csv). The file (about 30,000 lines) is read once, on a thread of its
// own, on the first look-up; until then, and when no file can be read,
// look-ups give empty text.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class COuiRegistry {
 public:
  // Files tried in order; the first that opens is read.
  explicit COuiRegistry(std::vector<std::string> paths = DefaultPaths());
  // Waits for a load in progress (it stops early).
  ~COuiRegistry();
  COuiRegistry(const COuiRegistry&) = delete;
  COuiRegistry& operator=(const COuiRegistry&) = delete;

  // $AERLUME_OUI_FILE when set, else /var/lib/ieee-data/oui.csv (where the
  // package's updater writes), then /usr/share/ieee-data/oui.csv.
  static std::vector<std::string> DefaultPaths();
  // The process-wide registry, with the default paths.
  static COuiRegistry& Instance();

  // The organisation of the address's first three octets. Empty for a
  // locally administered address (bit 1 of the first octet), an unknown
  // prefix, or while the file is being read; the first call starts reading.
  // Any thread.
  std::string Lookup(const std::uint8_t* mac);
  // 0 until the load has finished, then 1 (also when no file could be read):
  // a view that has shown empty vendors repaints when it changes.
  unsigned Generation() const { return m_loaded.load(std::memory_order_acquire) ? 1u : 0u; }
  // Called once on the loading thread when the load has finished; set it
  // before the first look-up.
  void SetLoadedCallback(std::function<void()> callback);
  // Starts the load if needed and waits for it and its callback (for tests and tools).
  void WaitLoaded();

 private:
  void StartLoad();
  void Load();

  std::vector<std::string> m_paths;
  std::mutex m_lock;  // the thread handle, the start flag, the callback, the wait
  std::condition_variable m_loadedChanged;
  std::thread m_loader;
  bool m_started = false;
  bool m_finished = false;  // the load and its callback are done
  std::function<void()> m_callback;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_loaded{false};
  // Written by the loader before m_loaded is set, read-only afterwards.
  std::unordered_map<std::uint32_t, std::string> m_names;
};

// COuiRegistry::Instance().Lookup(mac).
std::string OuiVendorName(const std::uint8_t* mac);
