"""Shared start/stop helpers of the whole-program tests.

A Session gives one test a world of its own and tears all of it down:

    with harness.Session(args.binary, world="small.json") as s:
        first = s.start()                  # the program, on the session's display
        s.wait_visible(first)              # its main window is mapped
        s.close_window(first)              # WM_DELETE_WINDOW, as a title-bar close
        s.wait_hidden(first)
        done = s.run(["notes.txt"])        # a second start; waits for it to end
        ...

What a session owns:
- an Xvfb server on a display number it picks itself (-displayfd), so
  sessions may run in parallel; 1280x800x24, no TCP, -noreset (without it
  the server resets whenever its last client leaves, and refuses the next
  one for a moment);
- a temporary folder with a private XDG_RUNTIME_DIR (mode 0700), its own
  XDG_CONFIG_HOME (the profile store and the run list) and XDG_CONFIG_DIRS, so
  nothing of the user's is read or written;
- AERLUME_SIM_WORLD set to a world of tests/worlds/, AERLUME_SIM_SEED fixed,
  AERLUME_NO_ANIMATION=1;
- every process started through it, killed (SIGTERM, then SIGKILL) on exit.

Tools: Xvfb, xdotool (window search and keys), xwininfo; the X library is
called through ctypes for the close request. Only the standard library is
used. A test script takes --binary (the built program) and --source-dir, and
ends with exit code 0 (pass), 1 (fail) or 77 (a tool is missing: skipped).
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

INSTANCE_KEY = "{73B17E14-A8D3-479f-886E-509ED6A0D888}"
SKIP = 77


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--source-dir", required=True)
    return parser.parse_args()


def main(test, timeout=60):
    """Runs test(args) with an overall time limit and maps the outcome to an exit code."""
    for tool in ("Xvfb", "xdotool", "xwininfo"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed")
            sys.exit(SKIP)

    def expire(signum, frame):
        raise TestFailure(f"the test ran longer than {timeout} s")

    signal.signal(signal.SIGALRM, expire)
    signal.alarm(timeout)
    try:
        test(parse_args())
    except TestFailure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
    finally:
        signal.alarm(0)
    print("PASS")
    sys.exit(0)


def wait_until(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while True:
        if predicate():
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(step)


class Session:
    def __init__(self, binary, source_dir=None, world="small.json", seed=7):
        self.binary = binary
        self.source_dir = source_dir or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        self.world = world
        self.seed = seed
        self.processes = []
        self.xvfb = None
        self.display = None
        self.root = None

    # -- set-up and tear-down -------------------------------------------------

    def __enter__(self):
        self.root = tempfile.mkdtemp(prefix="aerlume-e2e-")
        self.runtime_dir = os.path.join(self.root, "run")
        self.config_home = os.path.join(self.root, "config")
        self.config_dirs = os.path.join(self.root, "xdg")
        os.mkdir(self.runtime_dir, 0o700)
        os.makedirs(self.config_home)
        os.makedirs(os.path.join(self.config_dirs, "autostart"))
        try:
            self._start_xvfb()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            _stop(process)
        if self.xvfb is not None:
            _stop(self.xvfb)
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
        return False

    def _start_xvfb(self):
        # -displayfd: the server picks a free display number itself and writes
        # it to the pipe once it accepts clients, so sessions running in
        # parallel never race for a number.
        log = open(os.path.join(self.root, "xvfb.log"), "w")
        read_end, write_end = os.pipe()
        try:
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                                     "-nolisten", "tcp", "-noreset"],
                                    stdout=log, stderr=subprocess.STDOUT, pass_fds=(write_end,))
        finally:
            os.close(write_end)
        self.xvfb = xvfb
        self.xvfb_log = log.name
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        check(number.strip().isdigit() and xvfb.poll() is None,
              f"Xvfb did not start:\n{open(self.xvfb_log).read()}")
        self.display = f":{number.decode().strip()}"
        check(wait_until(lambda: self._x_ready(), 5), "Xvfb did not accept clients")

    def _x_ready(self):
        result = subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env(), capture_output=True)
        return result.returncode == 0

    # -- the program ----------------------------------------------------------

    def env(self, extra=None):
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "AERLUME_SCREENSHOT", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        env.update({
            "DISPLAY": self.display or "",
            "QT_QPA_PLATFORM": "xcb",
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "XDG_CONFIG_HOME": self.config_home,
            "XDG_CONFIG_DIRS": self.config_dirs,
            "AERLUME_SIM_SEED": str(self.seed),
            "AERLUME_NO_ANIMATION": "1",
            # The status panel's internet pings stay on this machine.
            "AERLUME_INTERNET_HOST": "127.0.0.1",
            "AERLUME_INTERNET_LABEL": "Loopback",
        })
        if self.world:
            env["AERLUME_SIM_WORLD"] = os.path.join(self.source_dir, "tests", "worlds", self.world)
        if env.get("ASAN_OPTIONS"):
            # Full allocation stacks: the toolkit's D-Bus thread allocates
            # through a library without frame pointers, and only a full
            # stack shows that thread (tests/sanitizers/lsan.supp).
            env["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"
        if extra:
            env.update(extra)
        return env

    def start(self, args=(), extra_env=None):
        """Starts the program; it is killed with the session."""
        index = len(self.processes)
        out = open(os.path.join(self.root, f"program-{index}.out"), "w")
        process = subprocess.Popen([self.binary, *args], env=self.env(extra_env), stdout=out, stderr=subprocess.STDOUT)
        process.log_path = out.name
        self.processes.append(process)
        return process

    def run(self, args=(), timeout=10, extra_env=None):
        """Starts the program and waits for it to end; returns (exit code, seconds taken)."""
        began = time.monotonic()
        process = self.start(args, extra_env)
        try:
            code = process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure(f"the program did not end within {timeout} s")
        return code, time.monotonic() - began

    def output(self, process):
        with open(process.log_path) as log:
            return log.read()

    def socket_path(self):
        return self._instance_base() + ".sock"

    def lock_path(self):
        return self._instance_base() + ".lock"

    def _instance_base(self):
        # One copy per display: the session's display is part of the names.
        display = self.display.replace(":", "%3A")
        return os.path.join(self.runtime_dir, f"aerlume-{INSTANCE_KEY}-{os.getuid()}-x11-{display}")

    # -- windows --------------------------------------------------------------

    def windows(self, process, visible=True):
        """X ids of the process's main windows (title "Aerlume"), mapped ones only by default."""
        command = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + \
                  ["--pid", str(process.pid), "--name", "^Aerlume$"]
        result = subprocess.run(command, env=self.env(), capture_output=True, text=True)
        # xdotool matches names without case: the tray icon's window ("aerlume")
        # would match too, so the exact title is checked here.
        found = []
        for line in result.stdout.split():
            name = subprocess.run(["xdotool", "getwindowname", line], env=self.env(), capture_output=True, text=True)
            if name.stdout.strip() == "Aerlume":
                found.append(int(line))
        return found

    def wait_visible(self, process, timeout=15):
        check(wait_until(lambda: self.windows(process) or process.poll() is not None, timeout)
              and process.poll() is None,
              f"the main window of program-{self.processes.index(process)} did not appear "
              f"(exit code {process.poll()}):\n{self.output(process)}"
              f"X server log:\n{open(self.xvfb_log).read()}")
        return self.windows(process)[0]

    def wait_hidden(self, process, timeout=5):
        check(wait_until(lambda: not self.windows(process), timeout), "the main window is still shown")

    def close_window(self, window):
        """Asks the window to close, as a title-bar close button does (WM_DELETE_WINDOW)."""
        _send_delete_window(self.display, window)

    def key(self, window, *keys):
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window)], env=self.env(), check=False)
        subprocess.run(["xdotool", "key", "--delay", "80", *keys], env=self.env(), check=True)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env(), check=True)

    # -- the activation socket ------------------------------------------------

    def raw_client(self):
        """A connection to the running copy's socket that sends nothing by itself."""
        client = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        client.connect(self.socket_path())
        return client


def closed_by_peer(client, timeout):
    """True when the other side closes the connection within the time."""
    client.settimeout(timeout)
    try:
        while True:
            data = client.recv(4096)
            if not data:
                return True
    except (socket.timeout, TimeoutError):
        return False
    except ConnectionResetError:
        return True


def _stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(3)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(3)


# -- X library through ctypes: the close request --------------------------------

class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def _send_delete_window(display, window):
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = xlib.XOpenDisplay(display.encode())
    check(dpy, f"cannot open display {display}")
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = xlib.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        xlib.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
        xlib.XFlush(dpy)
    finally:
        xlib.XCloseDisplay(dpy)
