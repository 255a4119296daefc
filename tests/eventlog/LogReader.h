// The main log read back as lines, for tests of code that logs.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "eventlog/Log.h"
#include "tests/common/test_support.h"
#include "tests/eventlog/CollectingWindow.h"

namespace testlog {

// The main log, read back as lines without their stamps.
class LogReader {
 public:
  LogReader() {
    SetLogTimeSource(&FixedTime);
    m_window.CreateHandle();
    RegisterLogWindow(&m_window);
  }
  ~LogReader() {
    m_window.Destroy();
    UnregisterLogWindow(&m_window);
    SetLogTimeSource(nullptr);
    g_bLogLineStart = true;
  }
  bool Registered() const { return g_pLogWnd == &m_window; }

  // The lines logged since the previous call. A sentinel line is written and
  // waited for, so every piece written before the call is in. A line that
  // lacks its stamp is returned with "(no stamp) " in front.
  std::vector<std::string> Take() {
    if (!g_bLogLineStart) LogPrintf("(unterminated)\n");
    LogPrintf("--end--\n");
    testsupport::SpinUntil([&] { return m_window.Joined().size() > m_consumed &&
                                        m_window.Joined().find("--end--\n", m_consumed) != std::string::npos; });
    const std::string all = m_window.Joined();
    std::vector<std::string> lines;
    std::size_t start = m_consumed;
    while (start < all.size()) {
      std::size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size() - 1;
      std::string line = all.substr(start, end - start + 1);
      start = end + 1;
      if (line.rfind(kMainStamp, 0) == 0) line.erase(0, std::strlen(kMainStamp));
      else line = "(no stamp) " + line;
      if (line == "--end--\n") break;
      lines.push_back(line);
    }
    m_consumed = start;
    return lines;
  }

 private:
  CCollectingWindow m_window;
  std::size_t m_consumed = 0;
};

// One WM_WLAN_NOTIFY as an observer saw it.
}  // namespace testlog
