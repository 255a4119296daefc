// Notification records of any size and content, handed to the client's
// callback as the WLAN service would: every observer and the adapter monitor
// that the record names read them and write their log lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/wlanapi.h"
#include "platform/wlansim/SimControl.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

CNativeWIFIInterface* Client() {
  static CNativeWIFIInterface* client = [] {
    setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
    wlansim::UseManualClock(true);  // nothing of the service's own runs meanwhile
    wlansim::ResetWorld(wlansim::BuiltInWorld());
    auto* created = new CNativeWIFIInterface(nullptr);
    created->Initialize();
    return created;
  }();
  return client;
}

const DWORD kSources[] = {WLAN_NOTIFICATION_SOURCE_ACM, WLAN_NOTIFICATION_SOURCE_MSM,
                          WLAN_NOTIFICATION_SOURCE_ONEX, WLAN_NOTIFICATION_SOURCE_NONE};

}  // namespace

// Input: source selector, 4 bytes of code, adapter selector, then the payload.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  CNativeWIFIInterface* client = Client();
  WLAN_NOTIFICATION_DATA record{};
  record.NotificationSource = kSources[data[0] % std::size(kSources)];
  std::memcpy(&record.NotificationCode, data + 1, sizeof(DWORD));
  // Mostly a known adapter, sometimes one the client has never seen.
  if (client->GetDeviceCount() > 0 && data[5] < 240)
    record.InterfaceGuid = client->GetDevice(data[5] % client->GetDeviceCount())->GetGuid();
  else
    record.InterfaceGuid.Data1 = data[5];
  // An exact-size heap copy, so that reading past the record's end is caught.
  const std::size_t payload = size - 6;
  std::unique_ptr<std::uint8_t[]> copy(payload ? new std::uint8_t[payload] : nullptr);
  if (payload) std::memcpy(copy.get(), data + 6, payload);
  record.dwDataSize = static_cast<DWORD>(payload);
  record.pData = copy.get();
  CNativeWIFIInterface::OnWlanNotification(&record, client);
  return 0;
}
