// The radio model: signal over time, presence schedules, channel numbers.
// Everything is a pure function of the world seed, the station and the
// service's clock (milliseconds since the world was set), so a seed replays.
#pragma once

#include <cstdint>

#include "platform/wlansim/World.h"

namespace wlansim {

constexpr LONG kRssiFloor = -100;
constexpr LONG kRssiCeiling = -20;
constexpr std::int64_t kNoiseStepMs = 500;

// RSSI in dBm at time t: base + a slow sine swing with a per-station phase +
// up to +/-2 dB of hashed noise that changes every 500 ms, clamped to -100..-20.
LONG RssiAt(std::uint64_t seed, const AccessPoint& ap, std::int64_t t);

// Link quality 0..100 from RSSI: 2 * (rssi + 100), clamped.
ULONG QualityFromRssi(LONG rssi);

// Whether the presence schedule has the station in the air at time t.
bool ScheduledPresent(const AccessPoint& ap, std::int64_t t);

// The first time after t at which the schedule takes the station away, or
// -1 when it never leaves.
std::int64_t NextDeparture(const AccessPoint& ap, std::int64_t t);

// Channel number of a centre frequency (ChannelFromKHz), 0 if none.
ULONG ChannelOf(ULONG frequencyKHz);

// Highest rate of the set in kbps (for the association's rx/tx rates).
ULONG MaxRateKbps(const AccessPoint& ap);

}  // namespace wlansim
