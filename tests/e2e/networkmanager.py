"""The whole program on the NetworkManager stand-in, under Xvfb.

A private dbus-daemon runs python3-dbusmock with tests/nm/nm_stand_in.py; the
program gets that bus as its system bus and neither AERLUME_WLAN_BACKEND nor
AERLUME_SIM_WORLD, so it must choose NetworkManager by itself.

1. It lists the stand-in's access points; a double-click on the open
   network's row connects to that BSSID through the connect dialog, and the
   station's Status reads "Connected" (list texts, AERLUME_LIST_TEXTS).
2. The stand-in stops while the program runs and comes back with the same
   device: the program survives and lists the access point again.

Needs dbus-daemon and Debian's python3-dbusmock (exit 77 without them).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import dbus
except ImportError:  # another python3 first on PATH: Debian's has the D-Bus module
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    sys.exit(77)

import harness
from connect_dialog import finish, open_dialog, visible_windows
from harness import check, wait_until

TEMPLATE = "dbusmock/templates/networkmanager.py"
BSSID = "02:00:00:00:00:01"


class StandIn:
    """A private bus with the NetworkManager stand-in on it."""

    def __init__(self, source_dir):
        self.source_dir = source_dir
        self.root = tempfile.mkdtemp(prefix="aerlume-nm-")
        self.daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                        f"--address=unix:path={self.root}/bus", "--print-address=1"],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.service = None
        self.bus = dbus.bus.BusConnection(self.address)

    def start(self):
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.service = subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "--template",
                                         os.path.join(self.source_dir, "tests", "nm", "nm_stand_in.py")],
                                        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(wait_until(lambda: self.bus.name_has_owner("org.freedesktop.NetworkManager"), 15),
              "the stand-in did not come up")
        mock = dbus.Interface(self.bus.get_object("org.freedesktop.NetworkManager", "/org/freedesktop"),
                              "org.freedesktop.DBus.Mock")
        device = mock.AddWifi("wlp2s0", "wlp2s0", dbus.UInt32(30), "00:11:22:33:44:55")
        mock.AddAccessPoint(device, "ap1", "Quay Side", BSSID, dbus.UInt32(2), dbus.UInt32(2437),
                            dbus.UInt32(54000), dbus.Byte(72), dbus.UInt32(0))
        mock.SetIp4(device, "127.0.20.2", "127.0.20.53", "127.0.20.1")

    def stop_service(self):
        if self.service and self.service.poll() is None:
            self.service.terminate()
            self.service.wait(5)
        check(wait_until(lambda: not self.bus.name_has_owner("org.freedesktop.NetworkManager"), 5),
              "the stand-in did not leave the bus")

    def close(self):
        if self.service and self.service.poll() is None:
            self.service.kill()
            self.service.wait(5)
        self.daemon.kill()
        self.daemon.wait(5)
        shutil.rmtree(self.root, ignore_errors=True)


def run_program(s, nm, delay_ms):
    listing = os.path.join(s.root, "list.txt")
    process = s.start(extra_env={"AERLUME_SCREENSHOT": os.path.join(s.root, "shot.png"),
                                 "AERLUME_SCREENSHOT_DELAY": str(delay_ms), "AERLUME_LIST_TEXTS": listing,
                                 "DBUS_SYSTEM_BUS_ADDRESS": nm.address})
    return process, listing, s.wait_visible(process)


def test(args):
    if not shutil.which("dbus-daemon") or not os.path.exists(os.path.join("/usr/lib/python3/dist-packages", TEMPLATE)):
        sys.exit(harness.SKIP)
    for name in ("AERLUME_WLAN_BACKEND", "AERLUME_SIM_WORLD"):
        os.environ.pop(name, None)

    nm = StandIn(args.source_dir)
    try:
        nm.start()
        with harness.Session(args.binary, args.source_dir, world=None) as s:
            process, listing, main = run_program(s, nm, 12000)
            title = subprocess.run(["xdotool", "getwindowname", str(main)], env=s.env(), capture_output=True,
                                   text=True).stdout.strip()
            check(title == "Aerlume", f"window title {title!r}: the simulated world was chosen")
            open_dialog(s, process, main)
            check(wait_until(lambda: visible_windows(s, process, "Connected"), 5), "no confirmation appeared")
            rows = finish(s, process, listing, 20)
            status = {(row["MAC Address"], row["ESSID"]): row["Status"] for row in rows}
            check(status == {(BSSID, "Quay Side"): "Connected"}, f"list: {status}")

        with harness.Session(args.binary, args.source_dir, world=None) as s:
            process, listing, main = run_program(s, nm, 9000)
            check(not wait_until(lambda: process.poll() is not None, 2), "the program ended early")
            nm.stop_service()
            check(not wait_until(lambda: process.poll() is not None, 2), "the program ended when the service left")
            nm.start()
            rows = finish(s, process, listing, 15)
            check([(row["MAC Address"], row["ESSID"]) for row in rows] == [(BSSID, "Quay Side")],
                  f"list after the service came back: {rows}")
    finally:
        nm.close()


if __name__ == "__main__":
    harness.main(test, timeout=90)
