// Reason-code texts: the program's own table, then the service's description,
// then the number; and the log line they end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "eventlog/Log.h"
#include "platform/widetext.h"
#include "platform/wlanapi.h"
#include "platform/wlansim/SimControl.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"
#include "wlan/ReasonCodes.h"

namespace {

// The first and last code of each range of the table, and its texts of odd
// spelling and capitals, exactly as the program must show them.
const std::vector<std::pair<DWORD, std::string>> kReasonTexts = {
    {0x20001, "network not compatible"},
    {0x20002, "profile not compatible"},
    {0x28001, "no auto connection"},
    {0x2800E, "user not respond"},
    {0x30001, "unsupported security set by os"},
    {0x30005, "datarate unmatch"},
    {0x38001, "user called to disconnect"},
    {0x38012, "Roaming too often, post security is not completed after 5 times."},
    {0x40001, "Key index specified is not valid"},
    {0x4000B, "802.1x enabled when it's required to be disabled"},
    {0x40011, "PreAuth enabled when PMK cache is disabled"},
    {0x4001F, "Capability matching failed at profile (cipher not found)"},
    {0x48001, "Failed to queue UI request"},
    {0x48016, "ui request couldn't be queued or user pressed cancel"},
    {0x80001, "invalid profile schema"},
    {0x80014, "too many ssid"},
};

// What a code outside the table must give: the service's description with a
// full stop, or the number when the service does not know it.
std::string FromService(DWORD code) {
  WCHAR description[256] = {};
  if (WlanReasonCodeToString(code, 256, description, nullptr) == ERROR_SUCCESS) return WideToUtf8(description) + ".";
  char fallback[64];
  std::snprintf(fallback, sizeof fallback, "(The reason code is 0x%X).", static_cast<unsigned>(code));
  return fallback;
}

TEST(ReasonCodes, TableCodesHaveTheirOwnTextUnchanged) {
  EXPECT_EQ(ReasonCodeTable().size(), 107u);
  for (const auto& [code, text] : kReasonTexts) EXPECT_EQ(ReasonCodeText(code), text) << std::hex << code;
}

TEST(ReasonCodes, CodesOutsideTheTableGoToTheService) {
  const std::vector<DWORD> outside = {
      0,  // success
      0x10001,
      // just before and just past each range
      0x20000, 0x20003, 0x28000, 0x2800F, 0x30000, 0x30006, 0x38000, 0x38013, 0x40000, 0x40020, 0x48000, 0x48017,
      0x80000, 0x80015,
      // the gap inside the security-module range
      0x4000C, 0x4000D, 0x4000E, 0x4000F, 0x40010,
      0xFFFFFFFF};
  for (DWORD code : outside) {
    const std::string text = ReasonCodeText(code);
    EXPECT_EQ(text, FromService(code)) << std::hex << code;
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '.') << std::hex << code;
  }
  // The service describes success, so that path is really taken.
  EXPECT_NE(ReasonCodeText(0).rfind("(The reason code", 0), 0u) << ReasonCodeText(0);
}

TEST(ReasonCodes, NumberWhenTheServiceCannotDescribeTheCode) {
  wlansim::ClearFaults();
  wlansim::InjectFault(wlansim::Op::ReasonCodeToString, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ReasonCodeText(10), "(The reason code is 0xA).");
  EXPECT_EQ(ReasonCodeText(0), "(The reason code is 0x0).");
  EXPECT_EQ(ReasonCodeText(0x4000C), "(The reason code is 0x4000C).");
  EXPECT_EQ(ReasonCodeText(0xFFFFFFFF), "(The reason code is 0xFFFFFFFF).");
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ReasonCodeToString), 4);
  // Table codes never ask the service.
  EXPECT_EQ(ReasonCodeText(0x2800D), "key mismatch");
  EXPECT_EQ(wlansim::FaultHits(wlansim::Op::ReasonCodeToString), 4);
  wlansim::ClearFaults();
}

TEST(ReasonCodes, ReasonLineEndsTheCurrentLogLine) {
  SetLogTimeSource(&testlog::FixedTime);
  testlog::CCollectingWindow log;
  log.CreateHandle();
  RegisterLogWindow(&log);
  ASSERT_EQ(g_pLogWnd, &log);

  LogPrintf("ACM: The connection failed because: ");
  LogReasonLine(0x2800D);
  LogReasonLine(0x38010);
  ASSERT_TRUE(testsupport::SpinUntil([&] { return log.Count() == 3; }));
  SetLogTimeSource(nullptr);

  EXPECT_EQ(log.Joined(), std::string(testlog::kMainStamp) +
                              "ACM: The connection failed because: key mismatch\n" + testlog::kMainStamp +
                              "An internal error prevented the operation from being completed.\n");
  EXPECT_TRUE(g_bLogLineStart.load());
}

}  // namespace
