// The program's entry: the application object runs start-up, the event loop
// and shutdown.
#include "ui/AerlumeApp.h"

int main(int argc, char** argv) {
  CAerlumeApp app(argc, argv);
  return app.Run();
}
