// Information elements of beacons and probe responses, as any radio in range
// may send them: the parser reads only the given bytes and its results stay
// in their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "wlan/InformationElements.h"

// Input: frequency in MHz (2, little-endian), capability (2), then the elements.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  WlanElementContext context;
  context.frequencyMHz = static_cast<std::uint32_t>(data[0] | data[1] << 8);
  context.capability = data[2] | data[3] << 8;
  const std::size_t length = size - 4;
  // An exact-size copy, so that a read past the elements is caught.
  std::unique_ptr<std::uint8_t[]> elements(new std::uint8_t[length ? length : 1]);
  std::memcpy(elements.get(), data + 4, length);
  const WlanElementInfo info = ParseInformationElements(elements.get(), length, context);

  const int w = info.widthMHz;
  if (w != 20 && w != 40 && w != 80 && w != 160 && w != 320) std::abort();
  if (info.width80Plus80 && w != 160) std::abort();
  if (info.ssid.size() > 32 || info.rates.size() > length) std::abort();
  if (info.pmf != WlanPmf::kNo && !info.rsn) std::abort();
  if (WlanAuthenticationText(info).empty() || WlanWidthText(info).empty()) std::abort();
  (void)WlanPairwiseCipherText(info);
  (void)WlanStandardText(info.standard);
  return 0;
}
