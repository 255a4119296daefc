// Received ICMP packets: whatever arrives on an echo socket (raw sockets see
// every ICMP message of the host) is read without going past its end, and a
// packet taken as the reply lies wholly inside what was received.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/icmpapi.h"

// Input: kind, raw identifier (2), sequence (2), then the packet.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const IcmpSocketKind kind = data[0] & 1 ? IcmpSocketKind::Raw : IcmpSocketKind::Datagram;
  const auto rawId = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
  const auto sequence = static_cast<std::uint16_t>(data[3] << 8 | data[4]);
  const std::size_t length = size - 5;
  // An exact-size copy, so that a read past the packet is caught.
  std::unique_ptr<std::uint8_t[]> packet(new std::uint8_t[length ? length : 1]);
  std::memcpy(packet.get(), data + 5, length);
  const IPAddr destination = 0x0100007f;  // 127.0.0.1
  IcmpReply reply;
  if (IcmpMatchReply(kind, rawId, packet.get(), length, destination, 64, destination, sequence, &reply)) {
    if (reply.from != destination || reply.data < packet.get() || reply.data + reply.size > packet.get() + length)
      std::abort();
  }
  return 0;
}
