#include "connectivity/HostPinger.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "connectivity/IcmpLibrary.h"
#include "eventlog/Log.h"
#include "platform/icmpapi.h"
#include "platform/module.h"

namespace {

// The exit code of a thread that has not ended yet.
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD kStopPollMs = 200;
constexpr DWORD kPauseMs = 500;
constexpr std::uint8_t kEchoByte = 0x45;  // 'E', every byte of the request data

// Milliseconds of the monotonic clock, wrapping at 2^32. Never 0, since
// m_dwPingStart == 0 means that no echo is in flight.
DWORD TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  const DWORD tick = static_cast<DWORD>(ms.count());
  return tick != 0 ? tick : 1;
}

void SleepMs(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::atomic<bool> g_noEchoSocketTold{false};

// Without an echo socket every ping fails and reads as no answer, which looks
// like a network that is down: the log says once what is wrong and how to
// mend it.
void TellNoEchoSocketOnce(DWORD error) {
  if (g_noEchoSocketTold.exchange(true)) return;
  char path[4096] = {};
  const DWORD got = GetModuleFileNameA(nullptr, path, sizeof(path));
  const char* program = got > 0 && got < sizeof(path) ? path : "the program";
  if (error == ERROR_ACCESS_DENIED)
    LogPrintf("Pings cannot be sent: this user may open no ICMP socket. Allow it with "
              "\"sysctl net.ipv4.ping_group_range='0 2147483647'\" or \"setcap cap_net_raw+ep %s\" "
              "(as root).\n", program);
  else
    LogPrintf("Pings cannot be sent: this system offers no ICMP socket (error %lu).\n",
              static_cast<unsigned long>(error));
}

struct EchoResult {
  IPAddr Address = 0;  // network byte order
  DWORD dwRoundTripTime = 0;
  DWORD dwStatus = 0;
};

struct EchoRequest {
  std::uint8_t nTTL;
  std::uint8_t nTOS;
  bool bDontFragment;
  std::uint16_t nPacketSize;
  DWORD dwTimeout;
};

// One echo to `host` through the worker's library. False on failure, with
// the thread's last error set; the library's lookup-failed flag tells
// whether the host name did not resolve.
bool Echo(const std::string& host, CIcmpLibrary& library, const EchoRequest& request, EchoResult* result) {
  if (library.hLibrary == nullptr) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  // An empty host is nothing to ping rather than a name that failed to
  // resolve: no request goes out and the lookup is not reported as failed.
  if (host.empty()) {
    library.bLookupFailed = false;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  IPAddr target = 0;
  if (!IcmpResolveHostIPv4(host.c_str(), &target)) {
    library.bLookupFailed = true;
    return false;
  }
  library.bLookupFailed = false;

  const HANDLE handle = library.pfnIcmpCreateFile();
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    TellNoEchoSocketOnce(error);
    SetLastError(error);
    return false;
  }

  std::vector<std::uint8_t> data(request.nPacketSize, kEchoByte);
  IP_OPTION_INFORMATION options{};
  options.Ttl = request.nTTL;
  options.Tos = request.nTOS;
  options.Flags = request.bDontFragment ? IP_FLAG_DF : 0;
  options.OptionsSize = 0;
  options.OptionsData = nullptr;
  // One reply record followed by max(size, 8) bytes of echoed data; held as
  // records so the reply is suitably aligned.
  const std::size_t replySize = sizeof(ICMP_ECHO_REPLY) + std::max<std::size_t>(request.nPacketSize, 8);
  std::vector<ICMP_ECHO_REPLY> replyBuffer((replySize + sizeof(ICMP_ECHO_REPLY) - 1) / sizeof(ICMP_ECHO_REPLY));
  auto* const bufferStart = reinterpret_cast<const std::uint8_t*>(replyBuffer.data());

  const DWORD replies = library.pfnIcmpSendEcho(handle, target, data.empty() ? nullptr : data.data(),
                                                request.nPacketSize, &options, replyBuffer.data(),
                                                static_cast<DWORD>(replySize), request.dwTimeout);
  bool ok = replies == 1;
  const ICMP_ECHO_REPLY& reply = replyBuffer.front();
  if (ok && reply.DataSize > 0) {
    // The echoed data must lie inside the reply buffer before it is read.
    const auto* echoed = static_cast<const std::uint8_t*>(reply.Data);
    const bool inside = echoed != nullptr && echoed >= bufferStart &&
                        static_cast<std::size_t>(echoed - bufferStart) + reply.DataSize <= replySize;
    if (!inside || std::any_of(echoed, echoed + reply.DataSize, [](std::uint8_t b) { return b != kEchoByte; })) {
      SetLastError(ERROR_UNEXP_NET_ERR);
      ok = false;
    }
  }
  library.pfnIcmpCloseHandle(handle);
  if (ok) {
    result->Address = reply.Address;
    result->dwRoundTripTime = reply.RoundTripTime;
    result->dwStatus = reply.Status;
  }
  return ok;
}

}  // namespace

void CHostPinger::ResetNoEchoSocketNotice() { g_noEchoSocketTold = false; }

struct CHostPinger::CThread {
  std::thread thread;
  // What GetExitCodeThread would give: STILL_ACTIVE until the worker ends.
  std::atomic<DWORD> dwExitCode{STILL_ACTIVE};
};

CHostPinger::~CHostPinger() { Stop(); }

void CHostPinger::StartPinging(const std::string& strHost) {
  if (m_pThread != nullptr) return;  // started once only
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_strHost = strHost;
  }
  m_bStop = false;
  m_pThread = new CThread;
  m_pThread->thread = std::thread(&CHostPinger::WorkerMain, this, m_pThread);
}

void CHostPinger::SetHost(const std::string& strHost) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_strHost = strHost;
}

DWORD CHostPinger::GetPingingTime() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_dwPingStart != 0 ? TickCount() - m_dwPingStart : 0;
}

int CHostPinger::GetLastReply(bool* pbLookupFailed) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (pbLookupFailed != nullptr) *pbLookupFailed = m_bLookupFailed;
  return m_nLastReply;
}

void CHostPinger::Stop() {
  m_bStop = true;
  if (m_pThread == nullptr) return;
  DWORD dwExitCode;
  do {
    dwExitCode = m_pThread->dwExitCode.load();
    SleepMs(kStopPollMs);
  } while (dwExitCode == STILL_ACTIVE);
  m_pThread->thread.join();  // the body has returned or is returning
  delete m_pThread;
  m_pThread = nullptr;
}

void CHostPinger::WorkerMain(CHostPinger* pPinger, CThread* pThread) {
  // Linux sockets need no start-up call, so the worker never ends early here.
  CIcmpLibrary library;
  library.Load();
  const EchoRequest request{pPinger->m_nTTL, pPinger->m_nTOS, pPinger->m_bDontFragment, pPinger->m_nPacketSize,
                            pPinger->m_dwTimeout};
  if (!pPinger->m_bStop) {
    do {
      std::string host;  // the target of this cycle, whatever SetHost does meanwhile
      {
        std::lock_guard<std::mutex> guard(pPinger->m_lock);
        pPinger->m_dwPingStart = TickCount();
        host = pPinger->m_strHost;
      }
      EchoResult result;
      bool ok = Echo(host, library, request, &result);
      {
        std::lock_guard<std::mutex> guard(pPinger->m_lock);
        if (pPinger->m_strHost.empty()) ok = false;
        pPinger->m_bLookupFailed = library.bLookupFailed;
        pPinger->m_nLastReply =
            ok ? static_cast<std::int32_t>(std::clamp<DWORD>(result.dwRoundTripTime, 1, INT32_MAX)) : 0;
        pPinger->m_dwPingStart = 0;
      }
      SleepMs(kPauseMs);
    } while (!pPinger->m_bStop);
  }
  library.Free();
  pThread->dwExitCode.store(1);  // the pinger may be deleted from here on
}
