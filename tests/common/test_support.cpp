#include "tests/common/test_support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

#include "platform/winmsg.h"

namespace testsupport {

std::string SourcePath(const std::string& relative) { return std::string(AERLUME_SOURCE_DIR) + "/" + relative; }

bool SpinUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    PumpSentMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testsupport
