// The single-instance activation message as the running copy reads it from
// its socket: any bytes, in any number of pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ui/InstanceChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray message(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QString name;
  const instance::ParseResult result = instance::ParseActivation(message, &name);
  if (result == instance::ParseResult::Complete) {
    // What was read travels again unchanged.
    QString again;
    if (instance::ParseActivation(instance::EncodeActivation(name), &again) != instance::ParseResult::Complete ||
        again != name)
      std::abort();
  }
  // The server reads as bytes arrive: a message that is complete as a whole
  // must not look malformed at any earlier point, or it would be dropped.
  if (result == instance::ParseResult::Complete) {
    for (qsizetype cut = 0; cut < message.size() && cut < 256; ++cut) {
      QString part;
      if (instance::ParseActivation(message.left(cut), &part) == instance::ParseResult::Malformed) std::abort();
    }
  }
  return 0;
}
