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

// Every code of the table with its exact text.
const std::vector<std::pair<DWORD, std::string>> kReasonTexts = {
      {0x20001, "network not compatible"},
      {0x20002, "profile not compatible"},
      {0x28001, "no auto connection"},
      {0x28002, "not visible"},
      {0x28003, "gp denied"},
      {0x28004, "user denied"},
      {0x28005, "bss type not allowed"},
      {0x28006, "in failed list"},
      {0x28007, "in blocked list"},
      {0x28008, "ssid list too long"},
      {0x28009, "connect call fail"},
      {0x2800A, "scan call fail"},
      {0x2800B, "network not available"},
      {0x2800C, "profile changed or deleted"},
      {0x2800D, "key mismatch"},
      {0x2800E, "user not respond"},
      {0x30001, "unsupported security set by os"},
      {0x30002, "unsupported security set"},
      {0x30003, "bss type unmatch"},
      {0x30004, "phy type unmatch"},
      {0x30005, "datarate unmatch"},
      {0x38001, "user called to disconnect"},
      {0x38002, "got disconnect while associating"},
      {0x38003, "timeout for association"},
      {0x38004, "pre-association security completed with failure"},
      {0x38005, "fail to start post-association security"},
      {0x38006, "post-association security completed with failure"},
      {0x38007, "security watchdog timeout"},
      {0x38008, "got disconnect from driver when roaming"},
      {0x38009, "failed to start security for roaming"},
      {0x3800A, "failed to start security for adhoc-join"},
      {0x3800B, "got disconnection from driver"},
      {0x3800C, "driver operation failed"},
      {0x3800D, "Ihv service is not available"},
      {0x3800E, "Response from ihv timed out"},
      {0x3800F, "Timed out waiting for driver to disconnect"},
      {0x38010, "An internal error prevented the operation from being completed."},
      {0x38011, "UI Request timed out."},
      {0x38012, "Roaming too often, post security is not completed after 5 times."},
      {0x40001, "Key index specified is not valid"},
      {0x40002, "Key required, PSK present"},
      {0x40003, "Invalid key length"},
      {0x40004, "Invalid PSK length"},
      {0x40005, "No auth/cipher specified"},
      {0x40006, "Too many auth/cipher specified"},
      {0x40007, "Profile contains duplicate auth/cipher"},
      {0x40008, "Profile raw data is invalid (1x or key data)"},
      {0x40009, "Invalid auth/cipher combination"},
      {0x4000A, "802.1x disabled when it's required to be enabled"},
      {0x4000B, "802.1x enabled when it's required to be disabled"},
      {0x40011, "PreAuth enabled when PMK cache is disabled"},
      {0x40012, "Capability matching failed at network"},
      {0x40013, "Capability matching failed at NIC"},
      {0x40014, "Capability matching failed at profile"},
      {0x40015, "Network does not support specified discovery type"},
      {0x40016, "Passphrase contains invalid character"},
      {0x40017, "Key material contains invalid character"},
      {0x40018, "Wrong key type specified for the auth/cipher pair"},
      {0x40019, "Mixed cell suspected (AP not beaconing privacy, we have privacy enabled profile)"},
      {0x4001A, "Auth timers or number of timeouts in profile is incorrect"},
      {0x4001B, "Group key update interval in profile is incorrect"},
      {0x4001C, "Transition network suspected, trying legacy 802.11 security"},
      {0x4001D, "Key contains characters which do not map to ASCII"},
      {0x4001E, "Capability matching failed at profile (auth not found)"},
      {0x4001F, "Capability matching failed at profile (cipher not found)"},
      {0x48001, "Failed to queue UI request"},
      {0x48002, "802.1x authentication did not start within configured time"},
      {0x48003, "802.1x authentication did not complete within configured time"},
      {0x48004, "Dynamic key exchange did not start within configured time"},
      {0x48005, "Dynamic key exchange did not succeed within configured time"},
      {0x48006, "Message 3 of 4 way handshake has no key data (RSN/WPA)"},
      {0x48007, "Message 3 of 4 way handshake has no IE (RSN/WPA)"},
      {0x48008, "Message 3 of 4 way handshake has no Group Key (RSN)"},
      {0x48009, "Matching security capabilities of IE in M3 failed (RSN/WPA)"},
      {0x4800A, "Matching security capabilities of Secondary IE in M3 failed (RSN)"},
      {0x4800B, "Required a pairwise key but AP configured only group keys"},
      {0x4800C, "Message 1 of group key handshake has no key data (RSN/WPA)"},
      {0x4800D, "Message 1 of group key handshake has no group key"},
      {0x4800E, "AP reset secure bit after connection was secured"},
      {0x4800F, "802.1x indicated there is no authenticator but profile requires 802.1x"},
      {0x48010, "Plumbing settings to NIC failed"},
      {0x48011, "Operation was cancelled by caller"},
      {0x48012, "Key was in incorrect format"},
      {0x48013, "Security downgrade detected"},
      {0x48014, "PSK mismatch suspected"},
      {0x48015, "Forced failure because connection method was not secure"},
      {0x48016, "ui request couldn't be queued or user pressed cancel"},
      {0x80001, "invalid profile schema"},
      {0x80002, "profile missing"},
      {0x80003, "invalid profile name"},
      {0x80004, "invalid profile type"},
      {0x80005, "invalid phy type"},
      {0x80006, "msm security missing"},
      {0x80007, "ihv security not supported"},
      {0x80008, "ihv oui mismatch"},
      {0x80009, "ihv oui not present but there is ihv settings in profile"},
      {0x8000A, "ihv oui is present but there is no ihv settings in profile"},
      {0x8000B, "both/conflict msmsec and ihv security settings exist in profile"},
      {0x8000C, "no ihv or msmsec security settings in profile"},
      {0x8000D, "invalid bss type"},
      {0x8000E, "invalid adhoc connection mode"},
      {0x8000F, "non broadcast set for adhoc"},
      {0x80010, "auto switch set for adhoc"},
      {0x80011, "auto switch set for manual connection"},
      {0x80012, "ihv security onex missing"},
      {0x80013, "profile ssid invalid"},
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

TEST(ReasonCodes, EveryTableCodeHasItsOwnTextUnchanged) {
  EXPECT_EQ(ReasonCodeTable().size(), 107u);
  EXPECT_EQ(kReasonTexts.size(), 107u);
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
