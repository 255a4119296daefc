#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/wlanchannel.h"
#include "wlan/LinkQualityHistory.h"
#include "wlan/Station.h"

namespace {

constexpr DOT11_MAC_ADDRESS kBssid = {0x00, 0x1B, 0x2F, 0x0A, 0xFF, 0x01};
constexpr std::int64_t kNow = 1700000000;

struct StationValues {
  int cipher = DOT11_CIPHER_ALGO_CCMP;
  ULONG linkQuality = 80;
  LONG rssi = -55;
  int phy = 3;
  UINT beaconPeriod = 100;
  ULONG frequency = 2437000;
  int bssType = 1;
  WLAN_RATE_SET rates{};
};

std::unique_ptr<CStation> MakeStation(const StationValues& v = {}, const DOT11_MAC_ADDRESS& bssid = kBssid) {
  return std::make_unique<CStation>(nullptr, nullptr, bssid, "HomeNet", v.cipher, v.linkQuality, v.rssi, v.phy,
                                    v.beaconPeriod, v.frequency, v.bssType, v.rates, kNow);
}

std::vector<int> Contents(const CLinkQualityHistory& history) { return {history.begin(), history.end()}; }

TEST(StationTest, ConstructionStoresValuesAndStartsAsChangedWithEmptyHistory) {
  StationValues v;
  v.rates.uRateSetLength = 4;
  v.rates.usRateSet[0] = 0x82;
  v.rates.usRateSet[125] = 0x6C;
  auto station = MakeStation(v);

  EXPECT_EQ(0, std::memcmp(station->m_bssid, kBssid, 6));
  EXPECT_EQ("HomeNet", station->GetSSID());
  EXPECT_EQ(-55, station->m_lRssi.load());
  EXPECT_EQ(80u, station->m_uLinkQuality.load());
  EXPECT_EQ(kNow, station->m_tFirstSeen);
  EXPECT_EQ(kNow, station->m_tLastSeen.load());
  EXPECT_TRUE(station->m_bChanged.load());
  EXPECT_TRUE(station->m_lstLinkQuality.empty());
  EXPECT_EQ(nullptr, station->m_pPropertiesWnd);
  // The rate set is kept whole, not only the entries the length covers.
  EXPECT_EQ(4u, station->m_uRateSetLength);
  EXPECT_EQ(0x6C, station->m_usRateSet[125]);
}

// The standard numbering on every band, with the edges of each band and
// frequencies between or off the 5 MHz raster.
TEST(StationTest, ChannelAndBandOfCentreFrequency) {
  const struct { const char* name; ULONG kHz; int channel; const char* band; } cases[] = {
      {"2.4 first", 2412000, 1, "2.4 GHz"},         {"2.4 middle", 2437000, 6, "2.4 GHz"},
      {"2.4 twelve", 2467000, 12, "2.4 GHz"},        {"2.4 thirteen", 2472000, 13, "2.4 GHz"},
      {"2.4 fourteen", 2484000, 14, "2.4 GHz"},      {"between 13 and 14", 2477000, 0, ""},
      {"below 2.4", 2407000, 0, ""},                 {"off raster", 2413000, 0, ""},
      {"not whole MHz", 2412001, 0, ""},             {"4.9 first", 4910000, 182, "5 GHz"},
      {"4.9 last", 4980000, 196, "5 GHz"},           {"below 4.9", 4905000, 0, ""},
      {"5 base", 5000000, 0, ""},                    {"5 GHz 36", 5180000, 36, "5 GHz"},
      {"5 GHz 149", 5745000, 149, "5 GHz"},          {"5 GHz 177", 5885000, 177, "5 GHz"},
      {"5 GHz top", 5920000, 184, "5 GHz"},          {"gap before 6", 5925000, 0, ""},
      {"6 GHz channel 2", 5935000, 2, "6 GHz"},      {"6 base", 5950000, 0, ""},
      {"6 GHz first", 5955000, 1, "6 GHz"},          {"6 GHz 37", 6135000, 37, "6 GHz"},
      {"6 GHz last", 7115000, 233, "6 GHz"},         {"above 6", 7120000, 0, ""},
      {"zero", 0, 0, ""},                            {"largest", 0xFFFFFFFF, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StationValues v;
    v.frequency = c.kHz;
    auto station = MakeStation(v);
    EXPECT_EQ(c.channel, station->GetChannel());
    EXPECT_EQ(std::to_string(c.channel), station->GetChannelText());
    EXPECT_STREQ(c.band, WlanBandText(ChannelFromKHz(c.kHz).band));
    if (c.kHz % 1000 == 0) {
      EXPECT_EQ(c.channel, ChannelFromMHz(c.kHz / 1000).number);
    }
  }
}

TEST(StationTest, MacTextIsUpperCaseColonSeparated) {
  EXPECT_EQ("00:1B:2F:0A:FF:01", MakeStation()->GetMacText());
  const DOT11_MAC_ADDRESS all = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ("FF:FF:FF:FF:FF:FF", MakeStation({}, all)->GetMacText());
  const DOT11_MAC_ADDRESS zero = {};
  EXPECT_EQ("00:00:00:00:00:00", MakeStation({}, zero)->GetMacText());
}

TEST(StationTest, NumberTexts) {
  StationValues v;
  v.rssi = -100;
  v.linkQuality = 0;
  v.beaconPeriod = 65535;
  auto station = MakeStation(v);
  EXPECT_EQ("-100", station->GetRssiText());
  EXPECT_EQ("0", station->GetLinkQualityText());
  EXPECT_EQ("65535", station->GetBeaconPeriodText());
  station->m_lRssi = -42;
  station->m_uLinkQuality = 100;
  EXPECT_EQ("-42", station->GetRssiText());
  EXPECT_EQ("100", station->GetLinkQualityText());
}

TEST(StationTest, DataRatesText) {
  const struct {
    const char* name;
    ULONG length;
    std::vector<USHORT> entries;
    std::string expected;
  } cases[] = {
      {"empty", 0, {0x82, 0x84}, ""},
      {"all zero", 8, {0, 0, 0, 0}, ""},
      {"basic bit masked, odd rates with one decimal", 8, {0x82, 0x84, 0x0B, 0x16}, "1, 2, 5.5, 11"},
      {"54", 2, {0x6C}, "54"},
      {"zero entries skipped without separator", 8, {0, 0x0C, 0, 0x12}, "6, 9"},
      {"high byte ignored", 4, {0x1282, 0xFF16}, "1, 11"},
      {"largest rate", 2, {0xFF}, "63.5"},
      {"odd length counts whole entries", 5, {0x02, 0x04, 0x0B}, "1, 2"},
      {"length 1 is no entry", 1, {0x02}, ""},
      {"length beyond the array", 0xFFFFFFFF, {0x02}, "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StationValues v;
    v.rates.uRateSetLength = c.length;
    std::copy(c.entries.begin(), c.entries.end(), v.rates.usRateSet);
    EXPECT_EQ(c.expected, MakeStation(v)->GetDataRatesText());
  }
}

TEST(StationTest, DataRatesOfAFullSetStopAtTheArray) {
  StationValues v;
  v.rates.uRateSetLength = 2 * DOT11_RATE_SET_MAX_LENGTH + 2;  // 127 entries claimed, 126 held
  std::fill(std::begin(v.rates.usRateSet), std::end(v.rates.usRateSet), USHORT{0x02});
  const std::string text = MakeStation(v)->GetDataRatesText();
  EXPECT_EQ(DOT11_RATE_SET_MAX_LENGTH - 1, static_cast<ULONG>(std::count(text.begin(), text.end(), ',')));
  EXPECT_EQ(3 * DOT11_RATE_SET_MAX_LENGTH - 2, text.size());  // "1" plus 125 x ", 1"
}

TEST(StationTest, CipherText) {
  const struct { int cipher; const char* text; } cases[] = {
      {0, ""}, {1, "WEP40"}, {2, "TKIP"}, {3, ""}, {4, "CCMP"}, {5, "WEP104"}, {6, ""},
      {0x100, "WPA"}, {0x101, "WEP"}, {0x102, ""}, {DOT11_CIPHER_ALGO_IHV_START, ""}, {-1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cipher);
    StationValues v;
    v.cipher = c.cipher;
    EXPECT_EQ(c.text, MakeStation(v)->GetCipherText());
  }
}

TEST(StationTest, PhyIndexAndText) {
  const struct { int dot11Phy; int index; const char* text; } cases[] = {
      {dot11_phy_type_fhss, 0, "FH"},
      {dot11_phy_type_hrdsss, 1, "802.11b - 11 Mbps"},
      {dot11_phy_type_ofdm, 2, "802.11a - 54 Mbps"},
      {dot11_phy_type_erp, 3, "802.11g - 54 Mbps"},
      {dot11_phy_type_unknown, 4, "Unknown"},
      {dot11_phy_type_dsss, 4, "Unknown"},
      {dot11_phy_type_irbaseband, 4, "Unknown"},
      {dot11_phy_type_ht, 4, "Unknown"},
      {dot11_phy_type_vht, 4, "Unknown"},
      {-1, 4, "Unknown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dot11Phy);
    EXPECT_EQ(c.index, CStation::PhyIndexOf(c.dot11Phy));
    StationValues v;
    v.phy = CStation::PhyIndexOf(c.dot11Phy);
    EXPECT_EQ(c.text, MakeStation(v)->GetPhyTypeText());
  }
  StationValues outOfRange;
  outOfRange.phy = 7;
  EXPECT_EQ("Unknown", MakeStation(outOfRange)->GetPhyTypeText());
}

TEST(StationTest, BssTypeMapping) {
  const struct { int dot11; int mapped; } cases[] = {{1, 1}, {2, 2}, {3, 3}, {0, 3}, {4, 3}, {-1, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dot11);
    EXPECT_EQ(c.mapped, CStation::BssTypeOf(c.dot11));
  }
}

TEST(StationTest, SsidTextCutAtLengthAndFirstNul) {
  const struct {
    const char* name;
    ULONG length;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"length 0", 0, "abc", ""},
      {"whole", 3, "abc", "abc"},
      {"cut at length, no NUL", 4, "abcdef", "abcd"},
      {"NUL inside", 5, std::string("ab\0cd", 5), "ab"},
      {"NUL first", 3, std::string("\0bc", 3), ""},
      {"32 bytes, no NUL", 32, std::string(32, 'x'), std::string(32, 'x')},
      {"high bytes kept", 4, "caf\xC3", "caf\xC3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DOT11_SSID ssid{};
    ssid.uSSIDLength = c.length;
    std::memcpy(ssid.ucSSID, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(c.expected, CStation::SsidText(ssid));
  }
}

TEST(StationTest, SsidLengthAbove32StaysInsideTheRecord) {
  // The record is alone in a heap block of its exact size, so a read past it
  // is caught by the address sanitizer build.
  auto ssid = std::make_unique<DOT11_SSID>();
  ssid->uSSIDLength = 40;
  std::memset(ssid->ucSSID, 'y', sizeof ssid->ucSSID);
  EXPECT_EQ(std::string(32, 'y'), CStation::SsidText(*ssid));
  ssid->uSSIDLength = 0xFFFFFFFF;
  EXPECT_EQ(std::string(32, 'y'), CStation::SsidText(*ssid));
}

TEST(StationTest, SightingUpdatesMarkChangedOnlyWhenSignalDiffers) {
  auto station = MakeStation();
  ASSERT_TRUE(station->TakeChanged());
  EXPECT_FALSE(station->TakeChanged());

  station->UpdateSighting(-55, 80, kNow + 5);  // same values
  EXPECT_FALSE(station->m_bChanged.load());
  EXPECT_EQ(kNow + 5, station->m_tLastSeen.load());

  station->UpdateSighting(-60, 80, kNow + 6);
  EXPECT_TRUE(station->TakeChanged());
  station->UpdateSighting(-60, 79, kNow + 7);
  EXPECT_TRUE(station->TakeChanged());

  station->MarkMissing();
  EXPECT_TRUE(station->TakeChanged());
  EXPECT_EQ("-100", station->GetRssiText());
  EXPECT_EQ("0", station->GetLinkQualityText());
  EXPECT_EQ(kNow + 7, station->m_tLastSeen.load());  // a missing station keeps its last sighting
  station->MarkMissing();  // still away: nothing new to show
  EXPECT_FALSE(station->TakeChanged());

  station->UpdateSighting(-50, 90, kNow + 9);
  EXPECT_TRUE(station->TakeChanged());
  EXPECT_EQ(-50, station->m_lRssi.load());
  EXPECT_EQ(90u, station->m_uLinkQuality.load());
  EXPECT_EQ(kNow, station->m_tFirstSeen);
}

// The refresh worker updates the signal while the user-interface thread
// renders and samples it; the thread sanitizer build checks for races.
TEST(StationTest, WorkerUpdatesWhileUiThreadReadsAndSamples) {
  auto station = MakeStation();
  constexpr int kRounds = 20000;
  // VHT operation elements of 80 and of 20/40 MHz, heard in turns.
  const std::uint8_t wide[] = {0xC0, 0x05, 0x01, 0x2A, 0x00, 0xFC, 0xFF};
  const std::uint8_t narrow[] = {0xC0, 0x05, 0x00, 0x00, 0x00, 0xFC, 0xFF};
  std::thread worker([&] {
    for (int i = 1; i <= kRounds; ++i) {
      station->UpdateElements((i / 100) % 2 ? wide : narrow, sizeof wide, 0x0001);
      station->UpdateSighting(-i % 100, static_cast<ULONG>(i % 101), kNow + i);
    }
  });
  std::size_t changes = 0;
  for (int i = 0; i < kRounds; ++i) {
    if (station->TakeChanged()) ++changes;
    (void)station->GetRssiText();
    const std::string width = station->GetWidthText();
    EXPECT_TRUE(width == "" || width == "20 MHz" || width == "80 MHz") << width;
    station->AddLinkQualitySample(static_cast<int>(station->m_uLinkQuality.load(std::memory_order_relaxed)));
  }
  worker.join();
  EXPECT_GT(changes, 0u);
  EXPECT_EQ(kNow + kRounds, station->m_tLastSeen.load());
  EXPECT_EQ(static_cast<ULONG>(kRounds % 101), station->m_uLinkQuality.load());
  EXPECT_EQ(CLinkQualityHistory::kDefaultCapacity, station->m_lstLinkQuality.size());
  for (int sample : station->m_lstLinkQuality) ASSERT_LE(sample, 100);
}

class RecordingWindow : public CStationWindow {
 public:
  explicit RecordingWindow(CStation*& station) : m_station(station) {}
  void DestroyStationWindow() override {
    ++m_nDestroyed;
    // Still readable while the window closes.
    m_nHistorySeen = m_station->m_lstLinkQuality.size();
    m_bPointerCleared = m_station->m_pPropertiesWnd == nullptr;
  }
  CStation*& m_station;
  int m_nDestroyed = 0;
  std::size_t m_nHistorySeen = 0;
  bool m_bPointerCleared = false;
};

TEST(StationTest, DestructorClosesPropertiesWindowBeforeTheHistoryGoes) {
  CStation* station = MakeStation().release();
  RecordingWindow window(station);
  for (int i = 0; i < 3; ++i) station->AddLinkQualitySample(i);
  station->m_pPropertiesWnd = &window;
  delete station;
  EXPECT_EQ(1, window.m_nDestroyed);
  EXPECT_EQ(3u, window.m_nHistorySeen);
  EXPECT_TRUE(window.m_bPointerCleared);
}

TEST(StationTest, AddLinkQualitySampleKeepsTheNewest5000) {
  auto station = MakeStation();
  for (int i = 1; i <= 5001; ++i) station->AddLinkQualitySample(i % 101);
  const CLinkQualityHistory& history = station->m_lstLinkQuality;
  ASSERT_EQ(5000u, history.size());
  EXPECT_EQ(2, history.front());  // the 5001st sample removed the first
  EXPECT_EQ(5001 % 101, history.back());
}

TEST(LinkQualityHistoryTest, NeverHoldsMoreThanTheCap) {
  CLinkQualityHistory history;
  EXPECT_EQ(5000u, history.capacity());
  for (int i = 0; i < 12345; ++i) {
    history.push_back(i);
    ASSERT_EQ(std::min<std::size_t>(i + 1, 5000), history.size()) << "after sample " << i;
  }
}

TEST(LinkQualityHistoryTest, OrderKeptAfterWrappingManyTimes) {
  for (std::size_t cap : {std::size_t{1}, std::size_t{2}, std::size_t{7}, CLinkQualityHistory::kDefaultCapacity}) {
    SCOPED_TRACE(cap);
    CLinkQualityHistory history(cap);
    const int total = static_cast<int>(cap * 13 + 3);
    // Samples are percentages: 0..100 over and over, so that every run of
    // up to 101 samples is distinct.
    for (int i = 0; i < total; ++i) history.push_back(i % 101);

    std::vector<int> expected(cap);
    for (std::size_t k = 0; k < cap; ++k) expected[k] = (total - static_cast<int>(cap) + static_cast<int>(k)) % 101;
    EXPECT_EQ(expected, Contents(history));
    for (std::size_t k = 0; k < cap; ++k) ASSERT_EQ(expected[k], history[k]);
    std::vector<int> backwards;
    for (auto it = history.end(); it != history.begin();) backwards.push_back(*--it);
    EXPECT_TRUE(std::equal(backwards.rbegin(), backwards.rend(), expected.begin(), expected.end()));
  }
}

TEST(LinkQualityHistoryTest, SamplesOutsideAPercentageAreKeptAtTheNearerEnd) {
  const struct {
    const char* name;
    int value;
    int kept;
  } cases[] = {{"lowest", 0, 0},           {"highest", 100, 100}, {"negative", -1, 0},
               {"just above", 101, 100},   {"a byte's wrap", 256, 100}, {"far below", -100000, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CLinkQualityHistory history(2);
    history.push_back(c.value);
    EXPECT_EQ(c.kept, history.back());
  }
}

TEST(LinkQualityHistoryTest, PartlyFilledKeepsInsertionOrder) {
  CLinkQualityHistory history(5);
  EXPECT_TRUE(history.empty());
  EXPECT_EQ(history.begin(), history.end());
  history.push_back(30);
  history.push_back(10);
  history.push_back(20);
  EXPECT_EQ((std::vector<int>{30, 10, 20}), Contents(history));
}

TEST(LinkQualityHistoryTest, CheckedAccessRejectsIndexesPastTheSamples) {
  CLinkQualityHistory history(4);
  EXPECT_THROW(history.at(0), std::out_of_range);
  for (int i = 0; i < 6; ++i) history.push_back(i);
  EXPECT_EQ(2, history.at(0));
  EXPECT_EQ(5, history.at(3));
  EXPECT_THROW(history.at(4), std::out_of_range);
}

TEST(LinkQualityHistoryTest, ZeroCapacityKeepsTheNewestSample) {
  CLinkQualityHistory history(0);
  history.push_back(1);
  history.push_back(2);
  EXPECT_EQ((std::vector<int>{2}), Contents(history));
}

TEST(LinkQualityHistoryTest, ClearAndMoveLeaveAnEmptyUsableHistory) {
  CLinkQualityHistory history(3);
  for (int i = 0; i < 5; ++i) history.push_back(i);
  CLinkQualityHistory moved(std::move(history));
  EXPECT_EQ((std::vector<int>{2, 3, 4}), Contents(moved));
  EXPECT_TRUE(history.empty());  // NOLINT(bugprone-use-after-move): moved-from state is specified
  history.push_back(9);
  EXPECT_EQ((std::vector<int>{9}), Contents(history));

  moved.clear();
  EXPECT_TRUE(moved.empty());
  moved.push_back(7);
  moved.push_back(8);
  EXPECT_EQ((std::vector<int>{7, 8}), Contents(moved));
}

}  // namespace

namespace {

// A 5 GHz access point's elements: SSID, rates, RSN (PSK, MFPC), VHT 80 MHz.
const std::vector<std::uint8_t> kVht80Elements = {
    0x00, 0x04, 'H',  'o',  'm',  'e',  0x01, 0x08, 0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C,
    0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00,
    0x00, 0x0F, 0xAC, 0x02, 0x80, 0x00, 0xC0, 0x05, 0x01, 0x2A, 0x00, 0xFC, 0xFF};

}  // namespace

TEST(StationTest, ElementTextsFollowTheElementsAndMarkChangesOnlyWhenTheySayMore) {
  StationValues v;
  v.frequency = 5180000;
  auto station = MakeStation(v);
  EXPECT_EQ("5 GHz", station->GetBandText());
  // Nothing heard yet: no guesses.
  EXPECT_FALSE(station->HasElements());
  EXPECT_EQ("", station->GetWidthText());
  EXPECT_EQ("", station->GetStandardText());
  EXPECT_EQ("", station->GetAuthenticationText());
  EXPECT_EQ("", station->GetPmfText());
  ASSERT_TRUE(station->TakeChanged());

  station->UpdateElements(kVht80Elements.data(), kVht80Elements.size(), 0x0011);
  EXPECT_TRUE(station->TakeChanged());
  EXPECT_EQ("80 MHz", station->GetWidthText());
  EXPECT_EQ("802.11ac", station->GetStandardText());
  EXPECT_EQ("WPA2-PSK", station->GetAuthenticationText());
  EXPECT_EQ("capable", station->GetPmfText());
  EXPECT_EQ(36, station->GetElementInfo().primaryChannel);

  // Security elements alone (a service's flags, not a heard frame) name the
  // authentication but neither width nor protection.
  auto flagsOnly = MakeStation(v);
  const std::vector<std::uint8_t> rsnOnly(kVht80Elements.begin() + 16, kVht80Elements.begin() + 38);
  flagsOnly->UpdateElements(rsnOnly.data(), rsnOnly.size(), 0x0011);
  EXPECT_EQ("WPA2-PSK", flagsOnly->GetAuthenticationText());
  EXPECT_EQ("", flagsOnly->GetWidthText());
  EXPECT_EQ("", flagsOnly->GetPmfText());

  // The same bytes again, or bytes that differ only in what changes with
  // every beacon (the TIM's DTIM count): the row stays.
  station->UpdateElements(kVht80Elements.data(), kVht80Elements.size(), 0x0011);
  EXPECT_FALSE(station->TakeChanged());
  std::vector<std::uint8_t> withTim = kVht80Elements;
  withTim.insert(withTim.end(), {0x05, 0x04, 0x00, 0x03, 0x00, 0x00});
  station->UpdateElements(withTim.data(), withTim.size(), 0x0011);
  station->TakeChanged();
  withTim[withTim.size() - 4] = 0x01;
  station->UpdateElements(withTim.data(), withTim.size(), 0x0011);
  EXPECT_FALSE(station->TakeChanged());

  // Width down to 20 MHz: changed.
  std::vector<std::uint8_t> narrow = kVht80Elements;
  narrow[narrow.size() - 5] = 0x00;
  station->UpdateElements(narrow.data(), narrow.size(), 0x0011);
  EXPECT_TRUE(station->TakeChanged());
  EXPECT_EQ("20 MHz", station->GetWidthText());

  // Elements gone (a back end without them): back to no guesses.
  station->UpdateElements(nullptr, 0, 0x0011);
  EXPECT_TRUE(station->TakeChanged());
  EXPECT_EQ("", station->GetAuthenticationText());
}
