"""The connect dialog in the whole program, under Xvfb.

1. On a world that starts disconnected with one open access point, a
   double-click on the station's row opens the connect dialog; the "Connected"
   confirmation appears and closes itself, then the dialog closes, and the
   station's Status reads "Connected" (read from the list texts that the
   program writes when it takes its screenshot, AERLUME_LIST_TEXTS).
2. On a world whose only station refuses the stored key, the dialog stays
   open retrying; the program's exit (as File > Exit or the tray menu's Exit
   Program) comes while it is open and ends the program cleanly.
"""

import os
import subprocess

import harness
from harness import check, wait_until

DIALOG = "Connect to a remote station"
ROW0 = (180, 295)  # inside the first row of the station list, window coordinates


def visible_windows(s, process, title):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(process.pid), "--name", f"^{title}$"],
                           env=s.env(), capture_output=True, text=True).stdout.split()
    names = [subprocess.run(["xdotool", "getwindowname", w], env=s.env(), capture_output=True, text=True).stdout.strip()
             for w in found]
    return [w for w, name in zip(found, names) if name == title]


def open_dialog(s, process, main):
    # The list fills on its first refresh ticks; then a double-click on row 0.
    time_to_fill = 1.5
    check(not wait_until(lambda: process.poll() is not None, time_to_fill), "the program ended early")
    subprocess.run(["xdotool", "mousemove", "--window", str(main), *map(str, ROW0),
                    "click", "--repeat", "2", "--delay", "80", "1"], env=s.env(), check=True)
    check(wait_until(lambda: visible_windows(s, process, DIALOG), 5), "the connect dialog did not appear")


def run_program(s, delay_ms):
    listing = os.path.join(s.root, "list.txt")
    process = s.start(extra_env={"AERLUME_SCREENSHOT": os.path.join(s.root, "shot.png"),
                                 "AERLUME_SCREENSHOT_DELAY": str(delay_ms), "AERLUME_LIST_TEXTS": listing})
    return process, listing, s.wait_visible(process)


def finish(s, process, listing, timeout):
    try:
        code = process.wait(timeout)
    except subprocess.TimeoutExpired:
        raise harness.TestFailure("the program did not end at its screenshot time")
    output = s.output(process)
    check(code == 0 and "ERROR: AddressSanitizer" not in output and "runtime error" not in output,
          f"the program ended with {code}:\n{output}")
    check(os.path.exists(listing), f"no list texts were written:\n{output}")
    with open(listing, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    return [dict(zip(rows[0], row)) for row in rows[1:]]


def test(args):
    with harness.Session(args.binary, args.source_dir, world="connect.json") as s:
        process, listing, main = run_program(s, 20000)
        open_dialog(s, process, main)
        check(wait_until(lambda: visible_windows(s, process, "Connected"), 5), "no confirmation appeared")
        # It counts down five seconds, then closes itself and the dialog.
        check(wait_until(lambda: not visible_windows(s, process, "Connected"), 8), "the confirmation stayed")
        check(wait_until(lambda: not visible_windows(s, process, DIALOG), 2), "the connect dialog stayed")
        rows = finish(s, process, listing, 25)
        status = {row["ESSID"]: row["Status"] for row in rows}
        check(status.get("Quay Side") == "Connected", f"Status column: {status}")

    with harness.Session(args.binary, args.source_dir, world="connect-wrong-key.json") as s:
        process, listing, main = run_program(s, 5000)
        open_dialog(s, process, main)
        check(not wait_until(lambda: not visible_windows(s, process, DIALOG), 1.5), "the failing dialog closed")
        rows = finish(s, process, listing, 10)
        check([row["ESSID"] for row in rows] == ["Locked Shed"], f"list: {rows}")


if __name__ == "__main__":
    harness.main(test, timeout=90)
