// The program's entry: the command line is answered first (help, version,
// errors, no graphical session) without starting the toolkit; then the
// application object runs start-up, the event loop and shutdown.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "platform/icmpapi.h"
#include "ui/AerlumeApp.h"

int main(int argc, char** argv) {
  // Before any thread exists: every later thread inherits the reduced sets.
  IcmpKeepOnlyEchoPrivilege();
  const std::vector<std::string> arguments(argv, argv + argc);
  const std::string program = argc > 0 && argv[0][0] != '\0' ? argv[0] : "aerlume";
  const aerlume::CommandLine line = aerlume::ParseCommandLine(arguments);
  switch (line.action) {
    case aerlume::CommandLine::Action::Help:
      std::fputs(aerlume::HelpText(program).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case aerlume::CommandLine::Action::Version:
      std::fputs(aerlume::VersionText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case aerlume::CommandLine::Action::Error:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(), line.error.c_str(),
                   program.c_str());
      return 2;
    case aerlume::CommandLine::Action::Run:
      break;
  }
  if (aerlume::LacksGraphicalSession(line)) {
    std::fprintf(stderr, "%s: needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set\n",
                 program.c_str());
    return 1;
  }
  CAerlumeApp app(argc, argv);
  return app.Run();
}
