// World files: any text is refused with a located message or loaded into a
// world the service accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/wlansim/SimControl.h"
#include "platform/wlansim/World.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  wlansim::World world;
  std::string error;
  if (!wlansim::LoadWorldText(text, "fuzz.json", &world, &error)) {
    // Every refusal names the file and a line.
    if (error.rfind("fuzz.json:", 0) != 0) std::abort();
    return 0;
  }
  // A loaded world passed validation, so the service must take it.
  if (!wlansim::ResetWorld(world, &error)) std::abort();
  return 0;
}
