// Every operation of the WLAN service, the IP helper, the counters and the
// echo that the program uses, made to fail in turn with each error it can
// return while the main window runs. Each case runs the same steps twice,
// without and with the fault, and compares the logs: the fault may add only
// its documented failure line (or nothing). The fault must really fire, the
// window must fill its list and end a connection by its Disconnect command
// once the fault is cleared, and no block of the service may stay allocated.
// AERLUME_FAULT_TABLE=1 prints each case as a row of a Markdown table.
#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "eventlog/widgets/OutWnd.h"
#include "platform/icmpapi.h"
#include "platform/perfcounters.h"
#include "settings/Settings.h"
#include "tests/eventlog/LogReader.h"
#include "tests/ui/mainframe_fixture.h"
#include "ui/ConnectDialog.h"
#include "wlan/NativeWIFIDevice.h"
#include "wlan/NativeWIFIInterface.h"

namespace {

using wlansim::Op;

// When the fault is armed, and what the program is made to do meanwhile.
enum class Phase {
  Start,       // armed before the window is created: the client's start-up
  Idle,        // 1.5 s of the window's own timers (list refresh, status panel)
  Scan,        // the list's active scan, then 1 s of service time
  Connect,     // a connect dialog opened on "Tiny Cafe" and closed again
  Disconnect,  // Station > Disconnect on the connected station, then 5 s
  Renew,       // Adapter > Renew IP address
  Release,     // Adapter > Release IP address
  Exit,        // armed just before the window is destroyed
};
const char* const kPhaseNames[] = {"start", "idle", "scan", "connect", "disconnect", "renew", "release", "exit"};

// The echo's own test hooks stand beside the service's fault table.
enum class Echo { None, DropReplies, AlterReplies };

struct FaultCase {
  Op op;  // unused for echo faults
  const char* opName;
  DWORD error;
  const char* errorName;
  Phase phase;
  // The line the fault adds to the main log (for Phase::Connect, the main log
  // or the dialog's), without stamp and line end; null: none.
  const char* line;
  int rowsAfter = 3;  // the list once the fault is cleared (0: no adapter was ever found)
  Echo echo = Echo::None;
  std::optional<std::pair<Op, DWORD>> with = std::nullopt;  // armed alongside
};

#define OP(name) Op::name, #name
#define ERR(code) static_cast<DWORD>(code), #code

constexpr char kSaveUnknown[] = "Couldn't save profile Tiny Home, reason: The reason is not known.";
constexpr char kNoConnect[] = "ERROR: Could not initiate connection attempt.";

const FaultCase kCases[] = {
    {OP(OpenHandle), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr, 0},
    {OP(OpenHandle), ERR(ERROR_NOT_SUPPORTED), Phase::Start, nullptr, 0},
    {OP(OpenHandle), ERR(ERROR_SERVICE_NOT_ACTIVE), Phase::Start, nullptr, 0},
    {OP(OpenHandle), ERR(ERROR_REMOTE_SESSION_LIMIT_EXCEEDED), Phase::Start, nullptr, 0},
    {OP(CloseHandle), ERR(ERROR_INVALID_PARAMETER), Phase::Exit, nullptr},
    {OP(CloseHandle), ERR(ERROR_INVALID_HANDLE), Phase::Exit, nullptr},
    {OP(EnumInterfaces), ERR(ERROR_INVALID_PARAMETER), Phase::Start, "Couldn't find any wireless interfaces!", 0},
    {OP(EnumInterfaces), ERR(ERROR_INVALID_HANDLE), Phase::Start, "Couldn't find any wireless interfaces!", 0},
    {OP(EnumInterfaces), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Start, "Couldn't find any wireless interfaces!", 0},
    {OP(RegisterNotification), ERR(ERROR_INVALID_PARAMETER), Phase::Start,
     "Error 87 occured when registering ACM and MSM notifications."},
    {OP(RegisterNotification), ERR(ERROR_INVALID_HANDLE), Phase::Start,
     "Error 6 occured when registering ACM and MSM notifications."},
    {OP(RegisterNotification), ERR(ERROR_INVALID_PARAMETER), Phase::Exit,
     "Error 87 occurred when unregistering ACM and MSM notifications."},
    {OP(RegisterNotification), ERR(ERROR_INVALID_HANDLE), Phase::Exit,
     "Error 6 occurred when unregistering ACM and MSM notifications."},
    {OP(QueryInterface), ERR(ERROR_INVALID_PARAMETER), Phase::Idle, nullptr},
    {OP(QueryInterface), ERR(ERROR_INVALID_HANDLE), Phase::Idle, nullptr},
    {OP(QueryInterface), ERR(ERROR_NOT_FOUND), Phase::Idle, nullptr},
    {OP(QueryInterface), ERR(ERROR_INVALID_STATE), Phase::Idle, nullptr},
    {OP(QueryInterface), ERR(ERROR_NOT_SUPPORTED), Phase::Idle, nullptr},
    {OP(QueryInterface), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Idle, nullptr},
    {OP(SetInterface), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(SetInterface), ERR(ERROR_INVALID_HANDLE), Phase::Start, nullptr},
    {OP(SetInterface), ERR(ERROR_NOT_FOUND), Phase::Start, nullptr},
    {OP(SetInterface), ERR(ERROR_NOT_SUPPORTED), Phase::Start, nullptr},
    {OP(Scan), ERR(ERROR_INVALID_PARAMETER), Phase::Scan, nullptr},
    {OP(Scan), ERR(ERROR_INVALID_HANDLE), Phase::Scan, nullptr},
    {OP(Scan), ERR(ERROR_NOT_FOUND), Phase::Scan, nullptr},
    {OP(Scan), ERR(ERROR_NOT_READY), Phase::Scan, nullptr},
    {OP(GetAvailableNetworkList), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(GetAvailableNetworkList), ERR(ERROR_INVALID_HANDLE), Phase::Start, nullptr},
    {OP(GetAvailableNetworkList), ERR(ERROR_NOT_FOUND), Phase::Start, nullptr},
    {OP(GetAvailableNetworkList), ERR(ERROR_NOT_READY), Phase::Start, nullptr},
    {OP(GetAvailableNetworkList), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Start, nullptr},
    {OP(GetNetworkBssList), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(GetNetworkBssList), ERR(ERROR_INVALID_HANDLE), Phase::Start, nullptr},
    {OP(GetNetworkBssList), ERR(ERROR_NOT_FOUND), Phase::Start, nullptr},
    {OP(GetNetworkBssList), ERR(ERROR_NOT_READY), Phase::Start, nullptr},
    {OP(GetNetworkBssList), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Start, nullptr},
    {OP(GetProfileList), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(GetProfileList), ERR(ERROR_INVALID_HANDLE), Phase::Start, nullptr},
    {OP(GetProfileList), ERR(ERROR_NOT_FOUND), Phase::Start, nullptr},
    {OP(GetProfileList), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Start, nullptr},
    {OP(GetProfile), ERR(ERROR_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(GetProfile), ERR(ERROR_INVALID_HANDLE), Phase::Start, nullptr},
    {OP(GetProfile), ERR(ERROR_NOT_FOUND), Phase::Start, nullptr},
    {OP(GetProfile), ERR(ERROR_NOT_ENOUGH_MEMORY), Phase::Start, nullptr},
    {OP(SetProfile), ERR(ERROR_INVALID_PARAMETER), Phase::Connect, kSaveUnknown},
    {OP(SetProfile), ERR(ERROR_INVALID_HANDLE), Phase::Connect, kSaveUnknown},
    {OP(SetProfile), ERR(ERROR_NOT_FOUND), Phase::Connect, kSaveUnknown},
    {OP(SetProfile), ERR(ERROR_ACCESS_DENIED), Phase::Connect, kSaveUnknown},
    {OP(SetProfile), ERR(ERROR_BAD_PROFILE), Phase::Connect, kSaveUnknown},
    {OP(SetProfile), ERR(ERROR_ALREADY_EXISTS), Phase::Connect, kSaveUnknown},
    {OP(ProfileSave), ERR(WLAN_REASON_CODE_INVALID_PROFILE_SCHEMA), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: invalid profile schema"},
    {OP(ProfileSave), ERR(WLAN_REASON_CODE_INVALID_PROFILE_NAME), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: invalid profile name"},
    {OP(ProfileSave), ERR(WLAN_REASON_CODE_PROFILE_SSID_INVALID), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: profile ssid invalid"},
    {OP(Connect), ERR(ERROR_INVALID_PARAMETER), Phase::Connect, kNoConnect},
    {OP(Connect), ERR(ERROR_INVALID_HANDLE), Phase::Connect, kNoConnect},
    {OP(Connect), ERR(ERROR_NOT_FOUND), Phase::Connect, kNoConnect},
    {OP(Connect), ERR(ERROR_NOT_READY), Phase::Connect, kNoConnect},
    {OP(Connect), ERR(ERROR_BAD_PROFILE), Phase::Connect, kNoConnect},
    {OP(Disconnect), ERR(ERROR_INVALID_PARAMETER), Phase::Disconnect, nullptr},
    {OP(Disconnect), ERR(ERROR_INVALID_HANDLE), Phase::Disconnect, nullptr},
    {OP(Disconnect), ERR(ERROR_NOT_FOUND), Phase::Disconnect, nullptr},
    {OP(Disconnect), ERR(ERROR_NOT_READY), Phase::Disconnect, nullptr},
    // A refusal with a code that only the service can name (0x80015).
    {OP(ReasonCodeToString), ERR(ERROR_INVALID_PARAMETER), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: (The reason code is 0x80015).", 3, Echo::None,
     std::pair{Op::ProfileSave, DWORD{0x80015}}},
    {OP(ReasonCodeToString), ERR(ERROR_NOT_FOUND), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: (The reason code is 0x80015).", 3, Echo::None,
     std::pair{Op::ProfileSave, DWORD{0x80015}}},
    {OP(ReasonCodeToString), ERR(ERROR_INSUFFICIENT_BUFFER), Phase::Connect,
     "Couldn't save profile Tiny Home, reason: (The reason code is 0x80015).", 3, Echo::None,
     std::pair{Op::ProfileSave, DWORD{0x80015}}},
    {OP(AllocateMemory), 0, "null block", Phase::Connect, kNoConnect},
    {OP(ScanOutcome), ERR(WLAN_REASON_CODE_SCAN_CALL_FAIL), Phase::Scan, nullptr},
    {OP(ScanOutcome), ERR(WLAN_REASON_CODE_NETWORK_NOT_AVAILABLE), Phase::Scan, nullptr},
    {OP(GetAdaptersAddresses), ERR(ERROR_INVALID_PARAMETER), Phase::Idle, nullptr},
    {OP(GetAdaptersAddresses), ERR(ERROR_NOT_SUPPORTED), Phase::Idle, nullptr},
    {OP(GetAdaptersAddresses), ERR(ERROR_NO_DATA), Phase::Idle, nullptr},
    {OP(GetAdaptersAddresses), ERR(ERROR_BUFFER_OVERFLOW), Phase::Idle, nullptr},
    {OP(GetInterfaceInfo), ERR(ERROR_INVALID_PARAMETER), Phase::Renew, nullptr},
    {OP(GetInterfaceInfo), ERR(ERROR_NOT_SUPPORTED), Phase::Renew, nullptr},
    {OP(GetInterfaceInfo), ERR(ERROR_NO_DATA), Phase::Renew, nullptr},
    {OP(GetInterfaceInfo), ERR(ERROR_INSUFFICIENT_BUFFER), Phase::Release, nullptr},
    {OP(IpRenewAddress), ERR(ERROR_INVALID_PARAMETER), Phase::Renew, "DHCP lease renewal failed."},
    {OP(IpRenewAddress), ERR(ERROR_NOT_SUPPORTED), Phase::Renew, "DHCP lease renewal failed."},
    {OP(IpRenewAddress), ERR(ERROR_NOT_READY), Phase::Renew, "DHCP lease renewal failed."},
    {OP(IpReleaseAddress), ERR(ERROR_INVALID_PARAMETER), Phase::Release, "DHCP lease could not be released."},
    {OP(IpReleaseAddress), ERR(ERROR_NOT_SUPPORTED), Phase::Release, "DHCP lease could not be released."},
    {OP(IpReleaseAddress), ERR(ERROR_NOT_READY), Phase::Release, "DHCP lease could not be released."},
    {OP(PerfConnectServer), ERR(WBEM_E_INVALID_PARAMETER), Phase::Start, nullptr},
    {OP(PerfConnectServer), ERR(WBEM_E_INVALID_NAMESPACE), Phase::Start, nullptr},
    {OP(PerfRefresh), ERR(WBEM_E_FAILED), Phase::Idle, nullptr},
    {Op{}, "IcmpSendEcho", 0, "reply dropped", Phase::Idle, nullptr, 3, Echo::DropReplies},
    {Op{}, "IcmpSendEcho", 0, "reply data altered", Phase::Idle, nullptr, 3, Echo::AlterReplies},
};

#undef OP
#undef ERR

void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.opName << " " << c.errorName << " (" << kPhaseNames[static_cast<int>(c.phase)] << ")";
}

void Arm(const FaultCase& c) {
  switch (c.echo) {
    case Echo::None:
      wlansim::InjectFault(c.op, c.error);
      if (c.with) wlansim::InjectFault(c.with->first, c.with->second);
      return;
    case Echo::DropReplies:
      IcmpTestSetFaults({.dropReplies = true});
      return;
    case Echo::AlterReplies:
      IcmpTestSetFaults({.alterReplyData = true});
      return;
  }
}

int Hits(const FaultCase& c) { return c.echo == Echo::None ? wlansim::FaultHits(c.op) : IcmpTestFaultsFired(); }

void Disarm() {
  wlansim::ClearFaults();
  IcmpTestReset();
}

void Spin(std::chrono::milliseconds time) {
  testsupport::SpinUntil([] { return false; }, time);
}

// What one run of a case showed.
struct Outcome {
  std::vector<std::string> lines;  // logged while the fault was armed
  int hits = 0;
  int rowsAfter = -1;              // list rows once the fault was cleared
  bool disconnectedAfter = false;  // the Disconnect command worked once cleared
  long blocksLeft = 0;             // service blocks still allocated after the window was gone
};

// Lines of `run` that `baseline` does not have (each baseline line cancels one).
std::vector<std::string> Added(std::vector<std::string> run, const std::vector<std::string>& baseline) {
  for (const std::string& line : baseline)
    if (auto it = std::ranges::find(run, line); it != run.end()) run.erase(it);
  return run;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + ("\"" + line + "\"");
  return text;
}

class FaultSweepTest : public MainFrameTest, public testing::WithParamInterface<FaultCase> {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    std::string error;
    ASSERT_TRUE(wlansim::LoadWorldFile(testsupport::SourcePath("tests/worlds/small.json"), &m_world, &error))
        << error;
    // Loopback addresses, so the status panel's pings and the lease commands have something to work on.
    m_world.adapters.at(0).ip = {"127.0.10.2", "127.0.10.1", "127.0.10.53"};
    CSettings::m_bAutoRetry = false;  // one connection attempt per dialog
  }
  void TearDown() override {
    Disarm();
    MainFrameTest::TearDown();
  }

  Outcome Run(const FaultCase& c, bool armed);
  void Act(Phase phase, CMainFrame& frame, std::vector<std::string>* dialogLines);

  wlansim::World m_world;
  testlog::LogReader m_log;  // made before any output window, so it is the main log

 private:
  std::vector<std::string> TakeLog() {
    std::vector<std::string> lines = m_log.Take();
    for (std::string& line : lines)
      if (!line.empty() && line.back() == '\n') line.pop_back();
    return lines;
  }
};

void FaultSweepTest::Act(Phase phase, CMainFrame& frame, std::vector<std::string>* dialogLines) {
  switch (phase) {
    case Phase::Start:
    case Phase::Idle:
    case Phase::Exit:
      Spin(std::chrono::milliseconds(1500));
      return;
    case Phase::Scan:
      frame.GetView()->ScanAll();
      wlansim::AdvanceClock(1000);
      ASSERT_TRUE(wlansim::WaitForIdle());
      return;
    case Phase::Connect: {
      CStation* station = Station(frame, kOtherBssid);
      ASSERT_NE(station, nullptr);
      auto dialog = std::make_unique<CConnectDialog>(&frame, station);
      dialog->show();
      ASSERT_TRUE(testsupport::SpinUntil([&] { return !dialog->IsConnectThreadRunning(); }));
      // The attempt's first reports reach the dialog before it closes, in both runs.
      ASSERT_TRUE(wlansim::WaitForIdle());
      QCoreApplication::processEvents();
      const COutWnd* log = dialog->GetLog();
      for (int n = log->LineCount() - 1; n >= 0; --n)
        dialogLines->push_back(log->Line(n).substr(std::strlen(testlog::kConnectStamp)));
      return;
    }
    case Phase::Disconnect:
      frame.UpdateCommandUI();
      frame.GetCommand(CMD_DISCONNECT)->trigger();
      wlansim::AdvanceClock(5000);
      ASSERT_TRUE(wlansim::WaitForIdle());
      return;
    case Phase::Renew: {
      frame.OnCommand(CMD_RENEW_IP);
      CNativeWIFIDevice* device = frame.GetMonitoredDevice();
      ASSERT_TRUE(testsupport::SpinUntil([&] { return !device->IsLeaseWorkerRunning(); }));
      return;
    }
    case Phase::Release:
      frame.OnCommand(CMD_RELEASE_IP);
      return;
  }
}

Outcome FaultSweepTest::Run(const FaultCase& c, bool armed) {
  Outcome out;
  Disarm();
  UseWorld(m_world);
  const long blocksBefore = static_cast<long>(wlansim::OutstandingAllocations());
  TakeLog();
  if (armed && c.phase == Phase::Start) Arm(c);
  std::unique_ptr<CMainFrame> frame = MakeFrame();
  frame->show();
  if (c.phase != Phase::Start) {
    EXPECT_TRUE(WaitForRows(*frame, 3));
    TakeLog();
    if (armed && c.phase != Phase::Exit) Arm(c);
  }
  std::vector<std::string> dialogLines;
  if (c.phase != Phase::Exit) {
    Act(c.phase, *frame, &dialogLines);
    // A timer-driven fault may need a moment longer to meet its call.
    if (armed) testsupport::SpinUntil([&] { return Hits(c) > 0; }, std::chrono::seconds(5));
    // What the steps made due now (a connection's first reports) is in the log of both runs.
    EXPECT_TRUE(wlansim::WaitForIdle());
    out.hits = Hits(c);
    out.lines = TakeLog();
    Disarm();

    out.rowsAfter = c.rowsAfter > 0 && WaitForRows(*frame, c.rowsAfter)
                        ? c.rowsAfter
                        : frame->GetView()->GetList()->model()->rowCount();
    if (frame->GetWlanInterface()->GetDeviceCount() > 0) {
      Act(Phase::Disconnect, *frame, &dialogLines);
      out.disconnectedAfter = !wlansim::CurrentBssid(wlansim::AdapterGuid(0)).has_value();
    }
    frame.reset();
    TakeLog();
  } else {
    if (armed) Arm(c);
    // Service time moves on, so reports (signal quality) may be on their way
    // while the window goes: none may reach a monitor being deleted.
    wlansim::AdvanceClock(600);
    frame.reset();
    out.hits = Hits(c);
    out.lines = TakeLog();
    Disarm();
  }
  out.lines.insert(out.lines.end(), dialogLines.begin(), dialogLines.end());
  out.blocksLeft = static_cast<long>(wlansim::OutstandingAllocations()) - blocksBefore;
  return out;
}

TEST_P(FaultSweepTest, FailsWithItsDocumentedLineAndRecovers) {
  const FaultCase& c = GetParam();
  const Outcome baseline = Run(c, false);
  const Outcome faulted = Run(c, true);
  const std::vector<std::string> added = Added(faulted.lines, baseline.lines);
  const std::vector<std::string> lost = Added(baseline.lines, faulted.lines);

  EXPECT_GT(faulted.hits, 0) << "the fault never fired";
  if (c.line) {
    EXPECT_FALSE(added.empty()) << "expected: " << c.line;
    for (const std::string& line : added) EXPECT_EQ(line, c.line);
  } else {
    EXPECT_TRUE(added.empty()) << Joined(added);
  }
  if (c.phase != Phase::Exit) {
    EXPECT_EQ(faulted.rowsAfter, c.rowsAfter);
    EXPECT_EQ(faulted.disconnectedAfter, c.rowsAfter > 0);
  }
  EXPECT_EQ(faulted.blocksLeft, 0);

  if (std::getenv("AERLUME_FAULT_TABLE")) {
    static bool header = false;
    if (!header) {
      std::printf("| operation | error | during | logged | no longer logged |\n|---|---|---|---|---|\n");
      header = true;
    }
    std::printf("| %s | %s | %s | %s | %s |\n", c.opName, c.errorName, kPhaseNames[static_cast<int>(c.phase)],
                added.empty() ? "nothing" : Joined(added).c_str(), lost.empty() ? "" : Joined(lost).c_str());
  }
}

std::string CaseName(const testing::TestParamInfo<FaultCase>& info) {
  std::string name = std::string(info.param.opName) + "_" + info.param.errorName + "_" +
                     kPhaseNames[static_cast<int>(info.param.phase)];
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, FaultSweepTest, testing::ValuesIn(kCases), CaseName);

}  // namespace
