#include "platform/wlansim/Radio.h"

#include "platform/wlanchannel.h"

#include <algorithm>
#include <cmath>

namespace wlansim {
namespace {

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t MacBits(const Mac& m) {
  std::uint64_t v = 0;
  for (UCHAR b : m) v = (v << 8) | b;
  return v;
}

// Floor division for negative times (before the world was set).
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

LONG RssiAt(std::uint64_t seed, const AccessPoint& ap, std::int64_t t) {
  constexpr double kTwoPi = 6.283185307179586;
  const std::uint64_t stationKey = Mix(seed ^ Mix(MacBits(ap.bssid)));
  const double phase = static_cast<double>(stationKey % 100000) / 100000.0 * kTwoPi;
  const double period = static_cast<double>(std::max<ULONG>(ap.driftPeriodMs, 1));
  const double swing = ap.driftDb * std::sin(kTwoPi * static_cast<double>(t) / period + phase);
  const std::uint64_t noiseKey = Mix(stationKey ^ static_cast<std::uint64_t>(FloorDiv(t, kNoiseStepMs)));
  const long noise = static_cast<long>(noiseKey % 5) - 2;  // -2..+2 dB
  const long rssi = std::lround(ap.baseRssi + swing) + noise;
  return static_cast<LONG>(std::clamp<long>(rssi, kRssiFloor, kRssiCeiling));
}

ULONG QualityFromRssi(LONG rssi) { return static_cast<ULONG>(std::clamp<LONG>(2 * (rssi + 100), 0, 100)); }

bool ScheduledPresent(const AccessPoint& ap, std::int64_t t) {
  if (ap.presentMs == 0 || ap.absentMs == 0) return true;
  const std::int64_t cycle = static_cast<std::int64_t>(ap.presentMs) + ap.absentMs;
  std::int64_t pos = (t + ap.presenceOffsetMs) % cycle;
  if (pos < 0) pos += cycle;
  return pos < static_cast<std::int64_t>(ap.presentMs);
}

std::int64_t NextDeparture(const AccessPoint& ap, std::int64_t t) {
  if (ap.presentMs == 0 || ap.absentMs == 0) return -1;
  const std::int64_t cycle = static_cast<std::int64_t>(ap.presentMs) + ap.absentMs;
  std::int64_t pos = (t + ap.presenceOffsetMs) % cycle;
  if (pos < 0) pos += cycle;
  const std::int64_t present = ap.presentMs;
  return pos < present ? t + (present - pos) : t + (cycle - pos) + present;
}

ULONG ChannelOf(ULONG f) { return static_cast<ULONG>(ChannelFromKHz(f).number); }

ULONG MaxRateKbps(const AccessPoint& ap) {
  const std::vector<USHORT> rates = ap.rates.empty() ? DefaultRates(ap.phyType, ap.frequencyKHz) : ap.rates;
  ULONG best = 0;
  for (USHORT r : rates) best = std::max<ULONG>(best, (r & 0x7F) * 500u);
  return best;
}

}  // namespace wlansim
