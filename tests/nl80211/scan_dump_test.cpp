// The nl80211 scan-dump decoding on dump messages composed here byte by byte
// by the netlink and nl80211 layouts (host byte order, 4-byte alignment), as
// the kernel sends them for NL80211_CMD_GET_SCAN.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/nl80211/Nl80211Scan.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint16_t v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
Bytes U16(std::uint16_t v) { Bytes b; Put16(b, v); return b; }
Bytes U32(std::uint32_t v) { Bytes b; Put32(b, v); return b; }

// One attribute: length (header included, padding not), type, value, padding.
Bytes Attr(std::uint16_t type, const Bytes& value) {
  Bytes b;
  Put16(b, static_cast<std::uint16_t>(4 + value.size()));
  Put16(b, type);
  b.insert(b.end(), value.begin(), value.end());
  while (b.size() % 4) b.push_back(0);
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// A netlink message: header (length, type, flags, sequence, port), generic
// netlink header (command, version, reserved), attributes.
Bytes Message(std::uint16_t type, std::uint8_t command, const Bytes& attrs) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(16 + 4 + attrs.size()));
  Put16(b, type);
  Put16(b, 0x0002);  // NLM_F_MULTI
  Put32(b, 7);
  Put32(b, 0);
  b.insert(b.end(), {command, 1, 0, 0});
  b.insert(b.end(), attrs.begin(), attrs.end());
  return b;
}

constexpr std::uint16_t kFamily = 0x1C;  // as the controller might assign it
constexpr std::uint8_t kNewScanResults = 34;
constexpr std::uint16_t kAttrIfindex = 3, kAttrBss = 47, kNested = 0x8000;
enum : std::uint16_t {
  kBssid = 1, kFrequency = 2, kBeaconInterval = 4, kCapability = 5, kIes = 6, kSignalMbm = 7, kSignalUnspec = 8,
  kStatus = 9, kSeenMsAgo = 10, kBeaconIes = 11, kPrespData = 14, kFrequencyOffset = 20,
};

const Bytes kBssidBytes = {0xF0, 0x9F, 0xC2, 0x5A, 0x25, 0x0C};
const Bytes kProbeIes = {0x00, 0x03, 'S', 'k', 'y', 0x01, 0x01, 0x8C};
const Bytes kBeaconIesBytes = {0x00, 0x00, 0x01, 0x01, 0x8C, 0x05, 0x04, 0x00, 0x01, 0x00, 0x00};

Bytes BssMessage(const Bytes& inner) {
  return Message(kFamily, kNewScanResults, Cat({Attr(kAttrIfindex, U32(4)), Attr(kAttrBss | kNested, inner)}));
}

Bytes FullBss() {
  return Cat({Attr(kBssid, kBssidBytes), Attr(kFrequency, U32(6135)), Attr(kBeaconInterval, U16(100)),
              Attr(kCapability, U16(0x1411)), Attr(kSignalMbm, U32(static_cast<std::uint32_t>(-6750))),
              Attr(kStatus, U32(1)), Attr(kSeenMsAgo, U32(1200)), Attr(kIes, kProbeIes),
              Attr(kBeaconIes, kBeaconIesBytes), Attr(kPrespData, {})});
}

TEST(ScanDumpTest, DecodesABss) {
  const Bytes msg = BssMessage(FullBss());
  const auto bss = DecodeScanMessage(msg.data(), msg.size());
  ASSERT_TRUE(bss);
  EXPECT_EQ(Bytes(bss->bssid.begin(), bss->bssid.end()), kBssidBytes);
  EXPECT_EQ(bss->frequencyKHz, 6135000u);
  EXPECT_EQ(bss->signalMbm, -6750);
  EXPECT_EQ(bss->SignalDbm(), -67);
  EXPECT_FALSE(bss->signalUnspec);
  EXPECT_EQ(bss->beaconInterval, 100);
  EXPECT_EQ(bss->capability, 0x1411);
  EXPECT_TRUE(bss->associated);
  EXPECT_EQ(bss->seenMsAgo, 1200u);
  EXPECT_EQ(bss->elements, kProbeIes);  // the probe response's, which name the network
  EXPECT_TRUE(bss->elementsFromProbeResponse);

  // Without the newest frame's elements the beacon's serve; a kHz offset and a
  // relative signal are kept as such.
  const Bytes beaconOnly = BssMessage(Cat({Attr(kBssid, kBssidBytes), Attr(kFrequency, U32(2412)),
                                           Attr(kFrequencyOffset, U32(500)), Attr(kSignalUnspec, {73}),
                                           Attr(kStatus, U32(0)), Attr(kIes, {}), Attr(kBeaconIes, kBeaconIesBytes),
                                           Attr(kPrespData, {})}));
  const auto other = DecodeScanMessage(beaconOnly.data(), beaconOnly.size());
  ASSERT_TRUE(other);
  EXPECT_EQ(other->frequencyKHz, 2412500u);
  EXPECT_FALSE(other->SignalDbm());
  EXPECT_EQ(other->signalUnspec, 73);
  EXPECT_FALSE(other->associated);
  EXPECT_EQ(other->elements, kBeaconIesBytes);
  EXPECT_FALSE(other->elementsFromProbeResponse);
}

TEST(ScanDumpTest, MessagesThatDoNotHoldTogetherGiveNothing) {
  const Bytes good = BssMessage(FullBss());
  Bytes longerThanBuffer = good;
  longerThanBuffer[0] += 4;
  Bytes innerPastEnd = BssMessage(Cat({Attr(kBssid, kBssidBytes), Attr(kFrequency, U32(2412))}));
  innerPastEnd[innerPastEnd.size() - 8] = 0x40;  // the frequency attribute claims 64 bytes
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"message longer than the buffer", longerThanBuffer},
      {"attribute past the end of its nest", innerPastEnd},
      {"no BSSID", BssMessage(Cat({Attr(kFrequency, U32(2412))}))},
      {"BSSID of five bytes", BssMessage(Cat({Attr(kBssid, Bytes(5, 1))}))},
      {"another command", Message(kFamily, 33, Cat({Attr(kAttrBss | kNested, FullBss())}))},
      {"headers only, cut", Bytes(good.begin(), good.begin() + 18)},
      {"attribute length below its header", BssMessage(Cat({Bytes{2, 0, 1, 0}}))},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes exact = c.bytes;  // no slack after the bytes
    EXPECT_FALSE(DecodeScanMessage(exact.data(), exact.size()));
  }
}

TEST(ScanDumpTest, ReadsAWholeReplyUntilDoneOrError) {
  const Bytes second = BssMessage(Cat({Attr(kBssid, Bytes{2, 0, 0, 0, 0, 9}), Attr(kFrequency, U32(5180))}));
  Bytes done;
  Put32(done, 20);
  Put16(done, 3);  // NLMSG_DONE
  Put16(done, 2);
  Put32(done, 7);
  Put32(done, 0);
  Put32(done, 0);
  const Bytes reply = Cat({BssMessage(FullBss()), second, done});
  std::vector<Nl80211Bss> found;
  bool finished = false;
  std::string err;
  EXPECT_TRUE(DecodeScanMessages(reply.data(), reply.size(), &found, &finished, &err));
  EXPECT_TRUE(finished);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].frequencyKHz, 5180000u);

  Bytes error;
  Put32(error, 36);
  Put16(error, 2);  // NLMSG_ERROR, then the errno and the request's header
  Put16(error, 0);
  Put32(error, 7);
  Put32(error, 0);
  Put32(error, static_cast<std::uint32_t>(-ENODEV));
  error.resize(36, 0);
  found.clear();
  finished = false;
  EXPECT_FALSE(DecodeScanMessages(error.data(), error.size(), &found, &finished, &err));
  EXPECT_EQ(err, std::strerror(ENODEV));
  EXPECT_FALSE(finished);

  const Bytes cut(reply.begin(), reply.end() - 30);
  EXPECT_FALSE(DecodeScanMessages(cut.data(), cut.size(), &found, &finished, &err));
}

// The socket part asks the kernel only (netlink, no radio traffic): an
// interface index no device has gives nothing and a reason.
TEST(ScanDumpTest, NoSuchInterfaceGivesAReason) {
  std::string err;
  EXPECT_FALSE(ReadScanDump(999999, &err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
