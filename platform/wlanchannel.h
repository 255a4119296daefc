// Channel numbers of IEEE 802.11 centre frequencies on the 2.4, 5 (with
// 4.9) and 6 GHz bands. Plain C++, shared by the core, the simulated service
// and the kernel scan reader.
#pragma once

#include <cstdint>

enum class WlanBand { kNone, k2_4GHz, k5GHz, k6GHz };

struct WlanChannel {
  WlanBand band = WlanBand::kNone;
  int number = 0;  // 0: the frequency is no channel
};

// 2.4 GHz: 2412 + 5 (n - 1) MHz is channel n = 1..13, 2484 MHz is 14.
// 5 GHz: 5000 + 5 n MHz up to 5920 MHz; 4.9 GHz: 4000 + 5 n MHz for 4910..4980.
// 6 GHz: 5935 MHz is channel 2, then 5950 + 5 n MHz for n = 1..233.
// Anything else, or a frequency off the 5 MHz raster, is no channel.
WlanChannel ChannelFromMHz(std::uint32_t mhz);
// The same for kHz; a frequency that is not a whole number of MHz is no channel.
WlanChannel ChannelFromKHz(std::uint32_t khz);

// "2.4 GHz", "5 GHz", "6 GHz", or empty.
const char* WlanBandText(WlanBand band);
