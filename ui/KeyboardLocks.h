// The state of the Caps, Num and Scroll Lock keys for the status bar.
//
// Under X11 the state is read from the server's keyboard indicators ("Caps
// Lock", "Num Lock", "Scroll Lock") through XKB, using the display connection
// the toolkit already has; the X library is looked up at run time (it is
// already loaded by the toolkit's X11 platform), so the program does not link
// it. Elsewhere (Wayland, the offscreen platform of tests) the keys are
// tracked: each press seen by this program toggles its lock, starting off.
#pragma once

#include <QObject>

class CKeyboardLocks : public QObject {
 public:
  struct State {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const State&) const = default;
  };

  explicit CKeyboardLocks(QObject* parent = nullptr);
  ~CKeyboardLocks() override;

  // The current state (asks the server when it can; cheap enough for a
  // few calls a second).
  State Read();
  // True when Read asks the X server rather than tracking key presses.
  bool ReadsServer() const { return m_pServer != nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Server;
  Server* m_pServer = nullptr;
  State m_tracked;
};
