"""Tray helpers of the whole-program tests, on top of harness.Session.

- start_tray_host / stop_tray_host: trayer, a real XEmbed system-tray host,
  docked at the bottom right of the session's screen;
- program_env: what the program needs to use that host (no D-Bus session
  bus, so the icon is embedded over X and not offered over D-Bus);
- find_icon / wait_icon: the program's icon window embedded under trayer's
  panel window, with its screen rectangle (read from `xwininfo -root -tree`);
- open_menu / click_item: the tray menu that a right click on the icon
  opens, found as the program's new mapped override-redirect window;
- wait_main_window / wait_mapped / wait_unmapped: the main window by its
  exact title and its map state. (A search by name alone also finds the icon
  window, whose name is "aerlume": xdotool matches names without regard to
  case.)

Only the standard library, Xvfb, trayer, xdotool and xwininfo are used.
"""

import os
import re
import shutil
import subprocess
import sys

import harness
from harness import check

# A tree line: indentation, id, name (or "(has no name)"), class, size, and
# the absolute position at the end: `0x400006 "aerlume": ("aerlume" "aerlume")  22x22+0+0  +1001+745`.
_TREE_LINE = re.compile(r'^(\s*)(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((.*)\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)$')


class Window:
    def __init__(self, wid, depth, name, wm_class, x, y, width, height):
        self.id = wid
        self.depth = depth
        self.name = name
        self.wm_class = wm_class
        self.x, self.y, self.width, self.height = x, y, width, height

    def center(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def __repr__(self):
        return f"{self.id:#x} {self.name!r} {self.wm_class!r} {self.width}x{self.height}+{self.x}+{self.y}"


def require_tools():
    """Exits with the skip code when trayer is missing (the harness checks the rest)."""
    if shutil.which("trayer") is None:
        print("SKIP: trayer is not installed")
        sys.exit(harness.SKIP)


def program_env(session):
    # A bus address that leads nowhere: Qt then uses the X11 tray protocol.
    return {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(session.root, "no-bus")}


def _run(session, command):
    return subprocess.run(command, env=session.env(), capture_output=True, text=True)


def tree(session):
    """Every window of the display, parents before children, with its depth."""
    result = _run(session, ["xwininfo", "-root", "-tree"])
    windows = []
    for line in result.stdout.splitlines():
        match = _TREE_LINE.match(line)
        if not match:
            continue
        indent, wid, name, wm_class, width, height, x, y = match.groups()
        windows.append(Window(int(wid, 16), len(indent), name, wm_class, int(x), int(y), int(width), int(height)))
    return windows


def is_viewable(session, wid):
    return "IsViewable" in _run(session, ["xwininfo", "-id", str(wid)]).stdout


def _panels(windows):
    return [w for w in windows if w.name == "panel" and '"trayer"' in w.wm_class]


def start_tray_host(session, timeout=10):
    """Starts trayer on the session's display; it is stopped with the session."""
    log = open(os.path.join(session.root, f"trayer-{len(session.processes)}.log"), "w")
    env = session.env()
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    host = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                             "--height", "24"],
                            env=env, stdout=log, stderr=subprocess.STDOUT)
    session.processes.append(host)
    check(harness.wait_until(lambda: _panels(tree(session)) or host.poll() is not None, timeout)
          and host.poll() is None, f"trayer did not show its panel (exit code {host.poll()})")
    return host


def start_with_tray_host(session):
    """Starts a tray host and then the program, so that closing the window
    hides it in the tray (without a host it goes to the task bar)."""
    require_tools()
    start_tray_host(session)
    return session.start(extra_env=program_env(session))


def stop_tray_host(session, host, timeout=5):
    host.terminate()
    try:
        host.wait(timeout)
    except subprocess.TimeoutExpired:
        host.kill()
        host.wait(timeout)
    check(harness.wait_until(lambda: not _panels(tree(session)), timeout), "trayer's panel is still there")


def find_icon(session, wm_class='"aerlume" "aerlume"'):
    """The program's mapped icon window inside trayer's panel, or None."""
    windows = tree(session)
    for index, window in enumerate(windows):
        if window not in _panels(windows):
            continue
        # The panel's subtree: the lines after it that are indented deeper.
        for inner in windows[index + 1:]:
            if inner.depth <= window.depth:
                break
            if inner.wm_class == wm_class and is_viewable(session, inner.id):
                return inner
    return None


def wait_icon(session, timeout=10):
    found = []
    harness.wait_until(lambda: found.append(find_icon(session)) or found[-1] is not None, timeout, step=0.2)
    check(found and found[-1] is not None, f"the program's icon did not appear in the tray within {timeout} s")
    return found[-1]


def click(session, x, y, button=1, repeat=1):
    # No --sync: it waits for the pointer to move, for ever when it is already
    # there. The server handles the move before the click that follows it.
    command = ["xdotool", "mousemove", str(x), str(y), "click"]
    if repeat > 1:
        command += ["--repeat", str(repeat), "--delay", "120"]
    subprocess.run(command + [str(button)], env=session.env(), check=True)


def _popups(session, process, known):
    """The program's mapped override-redirect top-level windows, apart from the known ones."""
    result = _run(session, ["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name", ".*"])
    found = []
    for wid in (int(line) for line in result.stdout.split()):
        if wid in known:
            continue
        info = _run(session, ["xwininfo", "-id", str(wid)]).stdout
        if "Override Redirect State: yes" not in info:
            continue
        numbers = {key: int(value) for key, value in
                   re.findall(r"(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)", info)}
        found.append(Window(wid, 0, "", "", numbers["Absolute upper-left X"], numbers["Absolute upper-left Y"],
                            numbers["Width"], numbers["Height"]))
    return found


def open_menu(session, process, icon, known=(), timeout=5):
    """Right-clicks the icon and returns the tray menu window that opens."""
    known = set(known) | {icon.id}
    x, y = icon.center()
    click(session, x, y, button=3)
    menus = []
    harness.wait_until(lambda: menus.extend(_popups(session, process, known)) or menus, timeout, step=0.1)
    check(menus, "right-clicking the tray icon opened no menu")
    menu = max(menus, key=lambda w: w.width * w.height)
    # Items are at least 16 pixels high: 10 pixels inside the menu's top and
    # bottom edges lie in its first and last item.
    check(menu.height >= 40, f"the tray menu is too small: {menu}")
    return menu


def click_item(session, menu, which):
    """Clicks the first or the last item of an open menu."""
    y = menu.y + 10 if which == "first" else menu.y + menu.height - 10
    click(session, menu.x + min(40, menu.width // 2), y)


def exit_from_menu(session, process, icon, window):
    """Chooses the tray menu's last item, Exit Program, and checks that the program ended with 0."""
    menu = open_menu(session, process, icon, known=[window])
    click_item(session, menu, "last")
    harness.check(harness.wait_until(lambda: process.poll() is not None, 10), "Exit Program did not end the program")
    harness.check(process.returncode == 0, f"exit code {process.returncode}:\n{session.output(process)}")


def wait_main_window(session, process, timeout=15):
    """The program's mapped main window: title exactly "Aerlume", managed (not override-redirect)."""
    def find():
        result = _run(session, ["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name", "^Aerlume$"])
        for wid in (int(line) for line in result.stdout.split()):
            name = _run(session, ["xdotool", "getwindowname", str(wid)]).stdout.strip()
            info = _run(session, ["xwininfo", "-id", str(wid)]).stdout
            if name == "Aerlume" and "Override Redirect State: no" in info:
                return wid
        return None
    found = []
    harness.wait_until(lambda: found.append(find()) or found[-1] is not None or process.poll() is not None, timeout)
    check(found and found[-1] is not None,
          f"the main window did not appear (exit code {process.poll()}):\n{session.output(process)}")
    return found[-1]


def wait_mapped(session, wid, timeout=5):
    check(harness.wait_until(lambda: is_viewable(session, wid), timeout), "the main window is not shown")


def wait_unmapped(session, wid, timeout=5):
    check(harness.wait_until(lambda: not is_viewable(session, wid), timeout), "the main window is still shown")


def focused_window(session):
    result = _run(session, ["xdotool", "getwindowfocus"])
    return int(result.stdout.strip() or 0)
