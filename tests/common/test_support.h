// Helpers shared by the test suites.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace testsupport {

// The project's source folder (for test data such as tests/worlds/).
std::string SourcePath(const std::string& relative);

// Runs the Qt event loop of the calling thread (posted and sent messages)
// until pred() holds or the timeout passes; returns pred().
bool SpinUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Lets the test expect a Qt warning (substring); unexpected ones fail the test.
void ExpectQtWarning(const std::string& substring);

}  // namespace testsupport
