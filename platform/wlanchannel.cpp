#include "platform/wlanchannel.h"

WlanChannel ChannelFromMHz(std::uint32_t f) {
  if (f == 2484) return {WlanBand::k2_4GHz, 14};
  if (f >= 2412 && f <= 2472) {
    if ((f - 2407) % 5 != 0) return {};
    return {WlanBand::k2_4GHz, static_cast<int>((f - 2407) / 5)};
  }
  if (f % 5 != 0) return {};
  if (f >= 4910 && f <= 4980) return {WlanBand::k5GHz, static_cast<int>((f - 4000) / 5)};
  if (f > 5000 && f <= 5920) return {WlanBand::k5GHz, static_cast<int>((f - 5000) / 5)};
  if (f == 5935) return {WlanBand::k6GHz, 2};
  if (f > 5950 && f <= 7115) return {WlanBand::k6GHz, static_cast<int>((f - 5950) / 5)};
  return {};
}

WlanChannel ChannelFromKHz(std::uint32_t khz) { return khz % 1000 != 0 ? WlanChannel{} : ChannelFromMHz(khz / 1000); }

const char* WlanBandText(WlanBand band) {
  switch (band) {
    case WlanBand::k2_4GHz: return "2.4 GHz";
    case WlanBand::k5GHz: return "5 GHz";
    case WlanBand::k6GHz: return "6 GHz";
    case WlanBand::kNone: break;
  }
  return "";
}
