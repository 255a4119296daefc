// Test entry: a Qt application object for the event loop, and a message
// handler that fails the running test when Qt prints a warning the test did
// not announce with testsupport::ExpectQtWarning.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "tests/common/test_support.h"

#ifdef AERLUME_WIDGET_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
using TestApplication = QCoreApplication;
#endif

namespace {

std::mutex g_expectedLock;
std::vector<std::string> g_expected;

void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  const std::string message = text.toStdString();
  {
    std::lock_guard<std::mutex> lock(g_expectedLock);
    for (const auto& expected : g_expected)
      if (message.find(expected) != std::string::npos) return;
  }
  ADD_FAILURE() << "Unexpected Qt message: " << message;
}

class ExpectationReset : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> lock(g_expectedLock);
    g_expected.clear();
  }
};

}  // namespace

namespace testsupport {
void ExpectQtWarning(const std::string& substring) {
  std::lock_guard<std::mutex> lock(g_expectedLock);
  g_expected.push_back(substring);
}
}  // namespace testsupport

// Suites run without a display and often without a session: windows go to
// the offscreen platform, and a private runtime folder keeps Qt from warning
// (and the single-instance files from meeting the user's); the internet
// pinger's host is loopback.
void PrepareEnvironment() {
  // The status panel's internet pings stay on this machine.
  setenv("AERLUME_INTERNET_HOST", "127.0.0.1", 1);
  setenv("AERLUME_INTERNET_LABEL", "Loopback", 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The simulated service unless a suite asks otherwise; the machine's system
  // bus is never asked (a suite that needs NetworkManager starts its own bus).
  setenv("AERLUME_WLAN_BACKEND", "simulated", 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/aerlume-tests-use-a-private-bus", 1);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) {
    static char folder[] = "/tmp/aerlume-test-runtime-XXXXXX";
    if (mkdtemp(folder)) setenv("XDG_RUNTIME_DIR", folder, 1);
  }
}

int main(int argc, char** argv) {
  PrepareEnvironment();
  testing::InitGoogleTest(&argc, argv);
  qInstallMessageHandler(QtMessages);
  TestApplication app(argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ExpectationReset);
  return RUN_ALL_TESTS();
}
