#include "platform/wlanbackend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/nm/NmBackend.h"
#include "platform/wlansim/Service.h"

namespace wlanbackend {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

struct State {
  std::mutex lock;
  bool haveCurrent = false;
  Choice current;
  // The last probe of NetworkManager and the environment it was made in.
  bool probed = false;
  std::string probedAddress;
  bool probeResult = false;
};

State& TheState() {
  static State* state = new State;  // the API may be called during static destruction
  return *state;
}

bool ProbeCached() {
  State& s = TheState();
  const std::string address = Env("DBUS_SYSTEM_BUS_ADDRESS");
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.probed && s.probedAddress == address) return s.probeResult;
  }
  const bool result = NetworkManagerHasWifi();
  std::lock_guard<std::mutex> guard(s.lock);
  s.probed = true;
  s.probedAddress = address;
  s.probeResult = result;
  return result;
}

}  // namespace

Choice Select() {
  Choice choice;
  const std::string name = Env("AERLUME_WLAN_BACKEND");
  if (name == "simulated") return choice;
  if (name == "networkmanager") {
    choice.kind = Kind::NetworkManager;
    return choice;
  }
  if (!name.empty()) {
    choice.kind = Kind::Missing;
    choice.requested = name;
    return choice;
  }
  if (!Env("AERLUME_SIM_WORLD").empty()) return choice;
  if (ProbeCached()) {
    choice.kind = Kind::NetworkManager;
    return choice;
  }
  choice.fallback = true;
  return choice;
}

Backend* Instance(Kind kind) {
  switch (kind) {
    case Kind::Simulated:
      return &wlansim::Service::Instance();
    case Kind::NetworkManager:
      return &nm::Instance();
    case Kind::Missing:
      return nullptr;
  }
  return nullptr;
}

Choice Current() {
  {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.haveCurrent) return s.current;
  }
  return Select();
}

void SetCurrent(const Choice& choice) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.current = choice;
  s.haveCurrent = true;
}

std::vector<std::string> Notices() {
  std::vector<std::string> lines;
  const Choice choice = Current();
  if (choice.kind != Kind::Simulated) return lines;
  if (choice.fallback)
    lines.push_back("No Wi-Fi device of NetworkManager answered: the simulated world is shown, not your radio.");
  const std::string error = wlansim::Service::Instance().WorldFileError();
  if (!error.empty()) lines.push_back("The world file was refused (" + error + "); the built-in world is shown.");
  return lines;
}

std::string TitleRemark() {
  const Choice choice = Current();
  return choice.kind == Kind::Simulated && choice.fallback ? "simulated world" : "";
}

bool NetworkManagerHasWifi() { return nm::HasWifiDevice(); }

}  // namespace wlanbackend
