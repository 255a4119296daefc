// Profile documents: the simulated service's reader, the document writer and
// the client's rewriting of the automatic-connection elements.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/wlansim/ProfileXml.h"
#include "platform/wlansim/World.h"
#include "wlan/WIFIProfile.h"

namespace {

// A document the reader accepted, written again from its fields, must read
// back to the same fields.
void CheckRoundTrip(const wlansim::ParsedProfile& parsed) {
  wlansim::ProfileFields fields;
  fields.name = parsed.name;
  fields.ssid = parsed.ssid;
  fields.nonBroadcast = parsed.nonBroadcast;
  fields.bssType = parsed.bssType;
  fields.autoConnect = parsed.autoConnect;
  fields.autoSwitch = parsed.autoSwitch;
  fields.authentication = parsed.authentication;
  fields.encryption = parsed.encryption;
  fields.key = parsed.key;
  wlansim::ParsedProfile again;
  if (wlansim::ParseProfileXml(wlansim::BuildProfileXml(fields), &again) != 0) std::abort();
  if (again.name != parsed.name || again.ssid != parsed.ssid || again.autoConnect != parsed.autoConnect ||
      again.autoSwitch != parsed.autoSwitch || again.bssType != parsed.bssType || again.key != parsed.key)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string document(reinterpret_cast<const char*>(data), size);
  wlansim::ParsedProfile parsed;
  if (wlansim::ParseProfileXml(document, &parsed) == 0) CheckRoundTrip(parsed);

  // The client switches automatic connection off and on by substring
  // replacement; any document must survive both directions.
  std::string manual = ReplaceAll(document, "<connectionMode>auto</connectionMode>", "<connectionMode>manual</connectionMode>");
  manual = ReplaceAll(manual, "<autoSwitch>true</autoSwitch>", "<autoSwitch>false</autoSwitch>");
  const std::string restored =
      ReplaceAll(manual, "<connectionMode>manual</connectionMode>", "<connectionMode>auto</connectionMode>");
  wlansim::ParsedProfile rewritten;
  (void)wlansim::ParseProfileXml(restored, &rewritten);

  (void)wlansim::XmlEscape(document);
  return 0;
}
