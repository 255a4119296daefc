// The command line, read before the toolkit starts: --help and --version
// answer without a display and without touching the single-instance lock; an
// unknown option is an error; the toolkit's own options (-platform, -style,
// ...) and file names pass through to it.
#pragma once

#include <string>
#include <vector>

namespace aerlume {

struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::string error;  // for Action::Error: what was wrong, one line
  std::string platform;  // the value of -platform, when given
  std::string display;   // the value of -display (the X server), when given
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string HelpText(const std::string& program);
std::string VersionText();

// True when the toolkit will need a window system that nothing names: no
// DISPLAY, WAYLAND_DISPLAY or -display, and no platform chosen (by -platform
// or QT_QPA_PLATFORM) that works without one (offscreen, vnc, ...).
bool LacksGraphicalSession(const CommandLine& line);

}  // namespace aerlume
