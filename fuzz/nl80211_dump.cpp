// Replies of the kernel's nl80211 scan dump: the decoder reads only the
// bytes it is given, whatever their lengths claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/nl80211/Nl80211Scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read past the reply is caught.
  std::unique_ptr<std::uint8_t[]> reply(new std::uint8_t[size ? size : 1]);
  std::memcpy(reply.get(), data, size);
  std::vector<Nl80211Bss> found;
  bool done = false;
  std::string err;
  DecodeScanMessages(reply.get(), size, &found, &done, &err);
  for (const Nl80211Bss& bss : found)
    if (bss.elements.size() > size) std::abort();
  if (auto one = DecodeScanMessage(reply.get(), size); one && one->elements.size() > size) std::abort();
  return 0;
}
