#include "app/CommandLine.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace aerlume {

namespace {

// The toolkit's generic and X11 options; QApplication takes them out of argv.
constexpr std::array<std::string_view, 12> kToolkitOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "display", "geometry", "style", "stylesheet", "session"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
  for (const auto candidate : names)
    if (candidate == name) return true;
  return false;
}

bool NonEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') continue;  // a file name
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-h" || argument == "--help") {
      if (line.action == CommandLine::Action::Run) line.action = CommandLine::Action::Help;
    } else if (argument == "--version") {
      if (line.action == CommandLine::Action::Run) line.action = CommandLine::Action::Version;
    } else {
      // The toolkit accepts its options with one dash or two, and values
      // either as the next argument or after '='.
      std::string_view name(argument);
      name.remove_prefix(name[1] == '-' ? 2 : 1);
      const std::size_t equals = name.find('=');
      const std::string_view bare = name.substr(0, equals);
      if (Contains(kToolkitOptionsWithValue, bare)) {
        std::string value;
        if (equals != std::string_view::npos) {
          value = std::string(name.substr(equals + 1));
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];
        } else {
          return {CommandLine::Action::Error, "option '" + argument + "' needs a value", {}, {}};
        }
        if (bare == "platform") line.platform = value;
        if (bare == "display") line.display = value;
      } else if (!Contains(kToolkitFlags, bare) || equals != std::string_view::npos) {
        return {CommandLine::Action::Error, "unknown option '" + argument + "'", {}, {}};
      }
    }
  }
  return line;
}

std::string HelpText(const std::string& program) {
  return "Usage: " + program +
         " [OPTION]... [FILE]\n"
         "Watches the Wi-Fi networks around this computer: lists the access points\n"
         "and peers each adapter hears, connects to them, graphs the link quality,\n"
         "logs the wireless events and checks that the connection reaches the internet.\n"
         "\n"
         "Runs once per user session: a second start brings the running copy to the\n"
         "front (handing it FILE, if given) and ends.\n"
         "\n"
         "  -h, --help     display this help and exit\n"
         "      --version  output version information and exit\n"
         "\n"
         "The toolkit's own options, such as -platform NAME or -style NAME, are accepted.\n";
}

std::string VersionText() { return std::string("Aerlume ") + AERLUME_PRODUCT_VERSION + "\n"; }

bool LacksGraphicalSession(const CommandLine& line) {
  if (NonEmpty("DISPLAY") || NonEmpty("WAYLAND_DISPLAY") || !line.display.empty()) return false;
  std::string platform = line.platform;
  if (platform.empty() && NonEmpty("QT_QPA_PLATFORM")) platform = std::getenv("QT_QPA_PLATFORM");
  // A list "a;b" is tried in order; the first entry decides here.
  platform = platform.substr(0, platform.find_first_of(";:"));
  if (platform.empty()) return true;
  return platform == "xcb" || platform.rfind("wayland", 0) == 0;
}

}  // namespace aerlume
